// The session as workers read it, without a window: a snapshot a worker holds
// stays as it was while the UI thread moves on, and no reader ever sees the
// key of one session with the id or folder of another.
#include "Lum/session/SessionState.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace {

void LogIn(SessionState& session, int id)
{
    session.Change([&](SessionSnapshot& s) {
        s.key = "key-" + std::to_string(id);
        s.ownId = id;
        s.userFolder = "/program/" + std::to_string(id) + "/";
    });
}

}  // namespace

TEST(SessionTest, AWorkersSnapshotStaysWhileTheSessionChanges)
{
    SessionState session;
    EXPECT_EQ(session.Now()->ownId, 0);
    EXPECT_EQ(session.Now()->key, "");
    LogIn(session, 10001);
    const auto worker = session.Now();
    // Offline, then another account logs in.
    session.Change([](SessionSnapshot& s) { s.key.clear(); });
    EXPECT_EQ(session.Now()->key, "");
    EXPECT_EQ(session.Now()->ownId, 10001);
    LogIn(session, 10002);
    EXPECT_EQ(worker->key, "key-10001");
    EXPECT_EQ(worker->ownId, 10001);
    EXPECT_EQ(worker->userFolder, "/program/10001/");
    EXPECT_EQ(session.Now()->userFolder, "/program/10002/");
}

TEST(SessionTest, ReadersNeverSeeTwoSessionsMixed)
{
    SessionState session;
    LogIn(session, 1);
    std::atomic<bool> done{false};
    std::atomic<int> mixed{0}, reads{0};
    std::vector<std::thread> readers;
    for (int r = 0; r < 4; ++r) {
        readers.emplace_back([&] {
            while (!done) {
                const auto s = session.Now();
                const std::string id = std::to_string(s->ownId);
                if (s->key != "key-" + id || s->userFolder != "/program/" + id + "/") ++mixed;
                ++reads;
            }
        });
    }
    for (int id = 2; id < 20000; ++id) LogIn(session, id);
    done = true;
    for (std::thread& t : readers) t.join();
    EXPECT_EQ(mixed, 0) << "of " << reads << " reads";
}
