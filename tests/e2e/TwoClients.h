// Two copies of the real program against one stand-in service and web
// server: each client runs from a folder of its own with its own Lum.ini and
// is logged in by typing into its login dialog.
#pragma once

#include "platform/uiapp.h"
#include "tests/e2e/Desktop.h"
#include "tests/standin/StandinService.h"
#include "tests/standin/StandinWeb.h"
#include "tests/standin/WebApi.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>

namespace e2e {

const int kLoginWidth = 237, kLoginHeight = 589, kMainWidth = 202, kMainHeight = 521;
// In the main window: the friends tab.
const int kFriendsTabX = 99, kFriendsTabY = 144;

struct Client {
    std::string folder;
    pid_t pid = -1;
    ScreenWindow main;
};

class TwoClientsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(service_.LoadSeedFile(LUM_SEED_FILE));
        ASSERT_GT(service_.Start(0), 0);
        // Files (heads, topic line) and the web API over the service's data.
        standin::RegisterWebApi(web_, service_);
        ASSERT_GT(web_.Start(0, LUM_STANDIN_WWW), 0);
        ASSERT_TRUE(lumui::Start());
        std::filesystem::create_directories(LUM_SCREENSHOT_DIR);
    }

    void TearDown() override
    {
        for (Client* c : {&a_, &b_}) {
            Stop(c->pid, 500);
            if (!c->folder.empty()) std::filesystem::remove_all(c->folder);
        }
        web_.Stop();
    }

    // Starts a copy of the program in a folder of its own (`prepare` may put
    // files there first), types the account and password into its login
    // dialog and waits for its main window.
    void LogIn(Client& c, const std::string& account, int32_t uid,
               const std::function<void(const std::string&)>& prepare = nullptr)
    {
        c.folder = CopyProgramFolder(LUM_BIN_DIR);
        ASSERT_FALSE(c.folder.empty());
        if (prepare) prepare(c.folder);
        {
            std::ofstream ini(c.folder + "/Lum.ini");
            ini << "[Service]\nHost=127.0.0.1\nPort=" << service_.Port() << "\n[Web]\nBaseUrl=" << web_.BaseUrl()
                << "\n";
        }
        c.pid = Start(c.folder + "/Lum");
        ASSERT_GT(c.pid, 0);
        ScreenWindow login;
        ASSERT_TRUE(WaitForWindow(kLoginWidth, kLoginHeight, 20000, &login)) << "no login dialog for " << account;
        ASSERT_TRUE(Click(login.x + 110, login.y + 222));
        ASSERT_TRUE(Type(account));
        ASSERT_TRUE(Click(login.x + 110, login.y + 262));
        ASSERT_TRUE(Type("123456"));
        ASSERT_TRUE(Click(login.x + 118, login.y + 340));
        ASSERT_TRUE(waitFor([&] { return service_.IsOnline(uid); }, 15000)) << account << " did not log in";
        // The main window that is not the other client's.
        const unsigned long other = (&c == &a_ ? b_ : a_).main.id;
        ASSERT_TRUE(waitFor(
            [&] {
                for (const ScreenWindow& w : VisibleWindows())
                    if (w.width == kMainWidth && w.height == kMainHeight && w.id != other) {
                        c.main = w;
                        return true;
                    }
                return false;
            },
            15000))
            << "no main window for " << account;
    }

    standin::StandinService service_;
    standin::StandinWeb web_{&service_};
    Client a_, b_;
};

}  // namespace e2e
