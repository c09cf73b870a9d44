// Two copies of the real program: A offers a file to friend B from the chat
// window's send-file button, B opens the chat from the read-message hotkey,
// clicks the offer's accept link and picks a folder; the file comes straight
// from A after the stand-in rendezvous server told B where A is. A relay of
// the test's own sits between them and slows the bytes down, so that the
// transfer can be seen in progress.
#include "tests/e2e/Clipboard.h"
#include "tests/e2e/TwoClients.h"
#include "tests/standin/RendezvousServer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <netinet/in.h>
#include <poll.h>
#include <random>
#include <sys/time.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;
using e2e::Client;
using e2e::waitFor;

// The send-file button in the row under the chat window's title.
const int kSendFileX = 270, kSendFileY = 46;
const size_t kFileSize = 24u * 1024 * 1024;

// Forwards connections to a target, the target's bytes at about 4 MB/s.
class SlowRelay {
public:
    explicit SlowRelay(int targetPort) : target_(targetPort)
    {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        ::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::listen(fd_, 8);
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len);
        port_ = ntohs(a.sin_port);
        thread_ = std::thread([this] { Accept(); });
    }
    ~SlowRelay()
    {
        done_ = true;
        ::shutdown(fd_, SHUT_RDWR);
        thread_.join();
        for (std::thread& t : pipes_) t.join();
        ::close(fd_);
    }
    int port() const { return port_; }

private:
    void Accept()
    {
        while (!done_) {
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, 50) <= 0) continue;
            const int client = ::accept(fd_, nullptr, nullptr);
            if (client < 0) continue;
            const int server = ::socket(AF_INET, SOCK_STREAM, 0);
            sockaddr_in a{};
            a.sin_family = AF_INET;
            a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            a.sin_port = htons(static_cast<uint16_t>(target_));
            if (::connect(server, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
                ::close(client);
                ::close(server);
                continue;
            }
            pipes_.emplace_back([this, client, server] { Pipe(client, server); });
        }
    }
    // Sends all of it, unless the relay is closing: a peer that stops
    // reading never holds the relay (and the test) for good.
    bool SendAll(int fd, const char* data, size_t size)
    {
        while (size > 0 && !done_) {
            const ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
            if (n > 0) {
                data += n;
                size -= static_cast<size_t>(n);
            } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
                continue;
            } else {
                return false;
            }
        }
        return size == 0;
    }
    void Pipe(int client, int server)
    {
        const timeval wait{0, 100 * 1000};
        for (int fd : {client, server}) ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &wait, sizeof wait);
        std::vector<char> buffer(16 * 1024);
        while (!done_) {
            pollfd p[2] = {{client, POLLIN, 0}, {server, POLLIN, 0}};
            if (::poll(p, 2, 50) <= 0) continue;
            if (p[0].revents) {
                const ssize_t n = ::recv(client, buffer.data(), buffer.size(), 0);
                if (n <= 0 || !SendAll(server, buffer.data(), static_cast<size_t>(n))) break;
            }
            if (p[1].revents) {
                const ssize_t n = ::recv(server, buffer.data(), buffer.size(), 0);
                if (n <= 0 || !SendAll(client, buffer.data(), static_cast<size_t>(n))) break;
                std::this_thread::sleep_for(std::chrono::milliseconds(4));
            }
        }
        ::close(client);
        ::close(server);
    }
    int fd_ = -1, port_ = 0, target_;
    std::atomic<bool> done_{false};
    std::thread thread_;
    std::vector<std::thread> pipes_;
};

uint64_t Checksum(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    uint64_t h = 1469598103934665603ull;
    char c;
    std::vector<char> block(1 << 16);
    while (in) {
        in.read(block.data(), static_cast<std::streamsize>(block.size()));
        for (std::streamsize i = 0; i < in.gcount(); ++i) {
            c = block[static_cast<size_t>(i)];
            h ^= static_cast<unsigned char>(c);
            h *= 1099511628211ull;
        }
    }
    return h;
}

class TransferTest : public e2e::TwoClientsTest {
protected:
    void SetUp() override
    {
        e2e::TwoClientsTest::SetUp();
        ASSERT_GT(rendezvous_.Start(0), 0);
    }
    void TearDown() override
    {
        e2e::TwoClientsTest::TearDown();
        rendezvous_.Stop();
    }

    void PointAtRendezvous(const Client& c)
    {
        std::ofstream ini(c.folder + "/Lum.ini", std::ios::app);
        ini << "[Rendezvous]\nHost=127.0.0.1\nPort=" << rendezvous_.Port() << "\n";
    }

    // A window that is neither main window nor one of `known` (a dialog).
    bool WaitForNewWindow(const std::vector<unsigned long>& known, e2e::ScreenWindow* found, int timeoutMs = 10000)
    {
        return e2e::WaitForWindowWhere(
            [&](const e2e::ScreenWindow& w) {
                return w.id != a_.main.id && w.id != b_.main.id &&
                       std::find(known.begin(), known.end(), w.id) == known.end();
            },
            timeoutMs, found);
    }

    // Types a full path into a file dialog and returns once the dialog's
    // location entry holds exactly that path. The "/" it starts with opens
    // the location entry in the dialog's folder view, whichever view the
    // dialog opened in; keys typed while the dialog still sets the entry up
    // can be lost, and TypeLanded types the path again then.
    bool TypeLocation(const e2e::ScreenWindow& dialog, const std::string& path)
    {
        if (!e2e::Focus(dialog.id) || !e2e::Type(path)) return false;
        std::string shown;
        if (e2e::TypeLanded(path, &shown)) return true;
        ADD_FAILURE() << "the dialog's location shows [" << shown << "], not [" << path << "]";
        return false;
    }

    standin::RendezvousServer rendezvous_;
};

}  // namespace

TEST_F(TransferTest, AFileOfferedByOneFriendArrivesAtTheOther)
{
    ASSERT_NO_FATAL_FAILURE(LogIn(a_, "13800000001", 10001));
    ASSERT_TRUE(e2e::MoveWindow(a_.main, a_.main.x - 320, a_.main.y));
    ASSERT_NO_FATAL_FAILURE(LogIn(b_, "13800000002", 10002, [](const std::string& folder) {
        ASSERT_TRUE(e2e::GiveReadMsgHotKey(folder, 10002));
    }));
    PointAtRendezvous(a_);
    PointAtRendezvous(b_);

    // The file to offer, and B's folder to save into.
    const std::string offered = a_.folder + "/offer/课程资料 <1>.bin";
    fs::create_directories(a_.folder + "/offer");
    {
        std::ofstream out(offered, std::ios::binary);
        std::mt19937 rng(3);
        std::vector<char> block(1 << 16);
        for (size_t done = 0; done < kFileSize; done += block.size()) {
            for (char& ch : block) ch = static_cast<char>(rng());
            out.write(block.data(), static_cast<std::streamsize>(block.size()));
        }
    }
    const std::string saveFolder = b_.folder + "/save";
    fs::create_directories(saveFolder);

    // A opens the chat with B and offers the file through the file dialog.
    e2e::ScreenWindow chatA;
    ASSERT_NO_FATAL_FAILURE(OpenFirstChat(a_, e2e::kFriendsTabX, e2e::kFriendsTabY, &chatA));
    // The two chats one above the other, left of the main windows.
    ASSERT_TRUE(e2e::MoveWindow(chatA, 0, 0));
    ASSERT_TRUE(e2e::Click(chatA.x + kSendFileX, chatA.y + kSendFileY));
    e2e::ScreenWindow fileDialog;
    ASSERT_TRUE(WaitForNewWindow({chatA.id}, &fileDialog)) << "no file dialog";
    ASSERT_TRUE(TypeLocation(fileDialog, offered));
    ASSERT_TRUE(e2e::Key("Return"));
    ASSERT_TRUE(e2e::WaitForGone(fileDialog.id, 10000)) << "the file dialog stays after the file was chosen";
    Screenshot("transfer-e2e-offered.png");

    // A asked the rendezvous server to be reached; the relay goes in front
    // of A's file server.
    ASSERT_TRUE(waitFor(
        [&] {
            for (const auto& r : rendezvous_.Requests())
                if (r.fromid == 10001 && r.toid == 10002) return true;
            return false;
        },
        10000))
        << "A never asked the rendezvous server";
    int portA = 0;
    for (const auto& r : rendezvous_.Requests())
        if (r.fromid == 10001 && r.toid == 10002) portA = r.port;
    SlowRelay relay(portA);
    rendezvous_.SetAnswerAddress(10001, "127.0.0.1", relay.port());

    // B's heartbeat takes the offer; the hotkey opens the chat with A.
    // (The offer waits at the service only until B's next heartbeat, which
    // may take it before the test looks.)
    ASSERT_TRUE(waitFor([&] { return !service_.Pending(10002).empty() || !service_.Fetched(10002).empty(); }, 5000))
        << "the offer did not reach the service";
    ASSERT_TRUE(waitFor([&] { return !service_.Fetched(10002).empty(); }, 10000)) << "B did not fetch the offer";
    // B has the offer once its heartbeat has handed it to the main window,
    // which the service does not see: a hotkey pressed before that finds no
    // unread line and opens nothing, and is pressed again, as a person would.
    e2e::ScreenWindow chatB;
    bool opened = false;
    for (int press = 0; press < 3 && !opened; ++press) {
        ASSERT_TRUE(e2e::Key("ctrl+alt+z"));
        opened = WaitForChat(chatA.id, &chatB, 5000);
    }
    ASSERT_TRUE(opened) << "the hotkey opened no chat on B";
    ASSERT_TRUE(e2e::MoveWindow(chatB, 0, 510));

    // The accept link ("接收") is the first link of the offer line: found by
    // its colour in B's history area once the page has settled there (the
    // page lays its lines out again after the window was moved).
    int linkX = -1, linkY = -1;
    ASSERT_TRUE(waitFor(
        [&] {
            const int w = chatB.width - 200, h = 200;
            const std::vector<uint32_t> pixels = e2e::SettledScreen(chatB.x, chatB.y + 70, w, h);
            for (int y = 0; y < h && linkX < 0; ++y)
                for (int x = 0; x < w; ++x) {
                    const uint32_t p = pixels.empty() ? 0 : pixels[static_cast<size_t>(y * w + x)];
                    const int r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
                    if (b - r > 80 && b > g) {  // the links' blue
                        linkX = chatB.x + x + 3;
                        linkY = chatB.y + 70 + y + 2;
                        break;
                    }
                }
            return linkX >= 0;
        },
        20000))
        << "no accept link in B's chat";
    Screenshot("transfer-e2e-offer-received.png");
    ASSERT_TRUE(e2e::Click(linkX, linkY));

    // The folder dialog: B types the folder and opens it with Enter (a folder
    // typed with its "/" is opened, not chosen), then chooses the open
    // folder with Enter on the emptied location.
    e2e::ScreenWindow folderDialog;
    if (!WaitForNewWindow({chatA.id, chatB.id}, &folderDialog)) {
        Screenshot("transfer-e2e-no-folder-dialog.png");
        FAIL() << "no folder dialog after a click on the accept link at " << linkX << "," << linkY;
    }
    ASSERT_TRUE(TypeLocation(folderDialog, saveFolder + "/"));
    ASSERT_TRUE(e2e::Key("Return"));
    Screenshot("transfer-e2e-folder.png");
    ASSERT_TRUE(e2e::Key("Return"));
    ASSERT_TRUE(e2e::WaitForGone(folderDialog.id, 10000)) << "the folder dialog stays after the folder was chosen";

    // In progress: a temporary file grows in the folder, no final file yet.
    auto partSize = [&] {
        uintmax_t size = 0;
        for (const auto& e : fs::directory_iterator(saveFolder))
            if (e.path().extension() == ".part") size = fs::file_size(e.path());
        return size;
    };
    const std::string saved = saveFolder + "/课程资料 <1>.bin";
    ASSERT_TRUE(waitFor([&] { return partSize() > kFileSize / 4; }, 20000)) << "the transfer did not start";
    EXPECT_FALSE(fs::exists(saved)) << "the final name exists before the file is complete";
    Screenshot("transfer-e2e-progress.png");

    ASSERT_TRUE(waitFor([&] { return fs::exists(saved); }, 30000)) << "the file never arrived";
    EXPECT_EQ(fs::file_size(saved), kFileSize);
    EXPECT_EQ(Checksum(saved), Checksum(offered));
    EXPECT_EQ(partSize(), 0u);
    Screenshot("transfer-e2e-done.png");
}
