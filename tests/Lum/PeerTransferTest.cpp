// Peer-to-peer transfer between two endpoints of this process over loopback,
// with a real main window and the stand-in rendezvous server: the main
// window's object offers and serves (the sending client), a contact's object
// fetches (the receiving client). Also hostile requests and names, broken
// and stalled peers, a failing rendezvous server, and the main window's
// transfer messages (hole notice, peer address, progress, notices).
#include "Lum/chat/DlgChatMsgList.h"
#include "Lum/KivApp.h"
#include "Lum/KivDlg.h"
#include "Lum/chat/KivDlgChat.h"
#include "Lum/KivMessages.h"
#include "Lum/LumResource.h"
#include "Lum/chat/MessageBody.h"
#include "Lum/transfer/PeerTransfer.h"
#include "Lum/protocol/LumService.h"
#include "platform/config.h"
#include "platform/files.h"
#include "platform/socket.h"
#include "platform/uiapp.h"
#include "tests/platform/ProgramSpeed.h"
#include "tests/platform/TempDir.h"
#include "tests/platform/TestServices.h"
#include "tests/platform/UiWait.h"
#include "tests/standin/RendezvousServer.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <netinet/in.h>
#include <random>
#include <string>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;

const int kSender = 10001;    // the contact that offers
const int kReceiver = 10002;  // the own user of this process when fetching

uint64_t Checksum(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    uint64_t h = 1469598103934665603ull;
    std::vector<char> block(1 << 16);
    while (in) {
        in.read(block.data(), static_cast<std::streamsize>(block.size()));
        for (std::streamsize i = 0; i < in.gcount(); ++i) {
            h ^= static_cast<unsigned char>(block[static_cast<size_t>(i)]);
            h *= 1099511628211ull;
        }
    }
    return h;
}

void WriteRandom(const std::string& path, size_t size)
{
    std::ofstream out(path, std::ios::binary);
    std::mt19937_64 rng(42);
    std::vector<uint64_t> block(8192);
    while (size > 0) {
        for (auto& v : block) v = rng();
        const size_t n = std::min(size, block.size() * sizeof(uint64_t));
        out.write(reinterpret_cast<const char*>(block.data()), static_cast<std::streamsize>(n));
        size -= n;
    }
}

std::vector<std::string> Names(const std::string& folder)
{
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(folder)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// A plain TCP client for speaking to the file server by hand.
// Takes a local port as another program's server does (address reuse: the
// link's own connection from it may still be winding down when the link
// closed it first); -1 when the port could not be taken.
int TakePort(int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    const int reuse = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_ANY);
    a.sin_port = htons(static_cast<uint16_t>(port));
    if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(fd, 1) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Takes `port` as another program would, once the system lets go of it: the
// link's own connection from that port may still be closing when its call
// returns. -1 when the port stays taken.
int TakePortOnceFree(int port)
{
    int fd = -1;
    lumui::PumpUntil([&] { return (fd = TakePort(port)) >= 0; }, 5000);
    return fd;
}

// A free local port below the range the system hands out to sockets that
// ask for any port: no other program's connection is given it meanwhile,
// as a port of that range may be while the link does not hold it. 0 when
// there is none.
int PortNobodyIsGiven()
{
    int low = 32768;
    std::ifstream range("/proc/sys/net/ipv4/ip_local_port_range");
    range >> low;
    for (int port = std::min(low, 30000) - 1; port > 20000; --port) {
        const int fd = TakePort(port);
        if (fd < 0) continue;
        ::close(fd);
        return port;
    }
    return 0;
}

struct RawClient {
    int fd = -1;
    explicit RawClient(int port)
    {
        fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = htons(static_cast<uint16_t>(port));
        if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
            ::close(fd);
            fd = -1;
        }
        timeval tv{2, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    }
    ~RawClient()
    {
        if (fd >= 0) ::close(fd);
    }
    void Send(const std::string& text) { ::send(fd, text.data(), text.size(), MSG_NOSIGNAL); }
    // How many bytes have arrived and wait to be read.
    int Waiting() const
    {
        int n = 0;
        return ::ioctl(fd, FIONREAD, &n) == 0 ? n : 0;
    }
    // What arrives within the receive time-out; "<closed>" appended when the
    // server ended the connection.
    std::string Receive()
    {
        std::string got;
        char buffer[4096];
        for (;;) {
            const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
            if (n == 0) return got + "<closed>";
            if (n < 0) return got;
            got.append(buffer, static_cast<size_t>(n));
            if (got.find("</q>") != std::string::npos) return got;
        }
    }
    // What arrives until `want` has arrived whole, or the time-out.
    std::string ReceiveUpTo(const std::string& want)
    {
        std::string got;
        char buffer[4096];
        while (got.size() < want.size()) {
            const ssize_t n = ::recv(fd, buffer, want.size() - got.size(), 0);
            if (n <= 0) break;
            got.append(buffer, static_cast<size_t>(n));
        }
        return got;
    }
};

// A peer that answers a file request with part of the file and then either
// closes or stalls.
class BrokenPeer {
public:
    BrokenPeer(size_t sendBytes, bool stall) : sendBytes_(sendBytes), stall_(stall)
    {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        ::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::listen(fd_, 4);
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len);
        port_ = ntohs(a.sin_port);
        thread_ = std::thread([this] { Run(); });
    }
    ~BrokenPeer()
    {
        done_ = true;
        ::shutdown(fd_, SHUT_RDWR);
        if (thread_.joinable()) thread_.join();
        ::close(fd_);
    }
    int port() const { return port_; }

private:
    void Run()
    {
        const int c = ::accept(fd_, nullptr, nullptr);
        if (c < 0) return;
        char buffer[2048];
        ::recv(c, buffer, sizeof buffer, 0);  // the file request
        std::vector<char> bytes(sendBytes_, 'x');
        ::send(c, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        while (stall_ && !done_) std::this_thread::sleep_for(std::chrono::milliseconds(20));
        ::close(c);
    }
    int fd_ = -1, port_ = 0;
    size_t sendBytes_;
    bool stall_;
    std::atomic<bool> done_{false};
    std::thread thread_;
};

class PeerTransferTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(lumui::Start());
        services_.SetProgramFolder(dir_.path() + "/");
        ASSERT_GT(rendezvous_.Start(0), 0);
        const std::string ini = dir_.file("Lum.ini");
        WritePrivateProfileString("Rendezvous", "Host", "127.0.0.1", ini.c_str());
        WritePrivateProfileString("Rendezvous", "Port", std::to_string(rendezvous_.Port()).c_str(), ini.c_str());
        fs::create_directories(dir_.file("files"));
        fs::create_directories(dir_.file("save"));
        fs::create_directories(dir_.file("offer"));

        PeerTimings& t = GetPeerTimings();
        t.rendezvousWaitMs = 300;
        t.acceptIntervalMs = 100;
        t.acceptTries = 8;
        t.ioMs = 1500;
        t.connectMs = 2000;
        t.listenSettleMs = 0;

        services_.SetExitWaitMs(10);
        CKivUsersListCtrl::s_loadHead = [](CDataUser*) {};
        CKivUsersListCtrl::s_createChat = CreateUserChatWindow;
        app_ = std::make_unique<CKivApp>();
        main_ = std::make_unique<CKivDlg>();
        app_->m_pMainWnd = main_.get();
        ASSERT_TRUE(main_->Create(IDD_KIV_DIALOG, nullptr));
        main_->KillTimer(2023);
        app_->SetOwnUserId(kReceiver);
        app_->m_userSelf.m_nId = kReceiver;
        app_->SetUserPath((dir_.file("files") + "/").c_str());
        ASSERT_NE(MainPeerLink(), nullptr);

        // Completion notices are counted here and still reach the main window.
        PeerContext& c = GetPeerContext();
        auto toMain = c.notice;
        c.notice = [this, toMain](const CString& command) {
            {
                std::lock_guard<std::mutex> lock(mutex_);
                notices_.push_back(command.str());
            }
            toMain(command);
        };
        auto progressToMain = c.serveProgress;
        c.serveProgress = [this, progressToMain](const PeerTransferRecord& r, int percent) {
            {
                std::lock_guard<std::mutex> lock(mutex_);
                served_.push_back(percent);
            }
            progressToMain(r, percent);
        };
    }

    void TearDown() override
    {
        // The records take their chat windows with them.
        main_->m_listFriend.DeleteAllUsers();
        app_->m_pMainWnd = nullptr;
        main_->DestroyWindow();
        main_.reset();  // stops every transfer thread
        EXPECT_EQ(PeerRunningThreads(), 0);
        uiwait::QueuedWorkDone();
        app_.reset();
        rendezvous_.Stop();
        ResetPeerContext();
        PeerClearOffers();
        GetPeerTimings() = PeerTimings();
        CKivUsersListCtrl::s_createChat = nullptr;
        CDlgChatMsgList::s_acceptFile = nullptr;
        CKivDlgChatUser::s_startPeerTransfer = nullptr;
        CKivDlgChatUser::s_peerAddressKnown = nullptr;
    }

    // The sending side: the offer, and this client reachable at its port.
    void Offer(const std::string& path, const char* fileId)
    {
        const size_t before = rendezvous_.Requests().size();
        PeerFileOffered(kReceiver, 1, fileId, path.c_str());
        // Asked the server, and the file server accepts connections.
        ASSERT_TRUE(lumui::PumpUntil([&] { return rendezvous_.Requests().size() > before; }, 5000))
            << "the rendezvous server was not asked (" << rendezvous_.Accepted() << " connections accepted, "
            << PeerRunningThreads() << " transfer threads running, the program's server at "
            << GetEndpointConfig().rendezvousHost.GetString() << ":" << GetEndpointConfig().rendezvousPort << ")";
        ASSERT_TRUE(lumui::PumpUntil([&] { return MainPeerLink()->m_nLocalPort != 0; }, 5000))
            << "no local port was learned";
        ASSERT_TRUE(lumui::PumpUntil([&] { return RawClient(MainPeerLink()->m_nLocalPort).fd >= 0; }, 5000))
            << "the file server does not accept connections at port " << MainPeerLink()->m_nLocalPort;
    }

    CDataUser* AddFriend(int id, const char* name)
    {
        CDataUser rec;
        rec.m_nId = id;
        rec.m_bstrName = name;
        rec.m_nGroupId = 1;
        main_->m_listFriend.AddUser(&rec, 0);
        return static_cast<CDataUser*>(main_->m_listFriend.GetUser(id));
    }

    CKivDlgChatUser* OpenChat(CDataUser* rec)
    {
        main_->SendMessage(UM_OPEN_CHAT, reinterpret_cast<WPARAM>(rec), 0);
        auto* chat = dynamic_cast<CKivDlgChatUser*>(rec->m_dlgChat);
        EXPECT_NE(chat, nullptr);
        if (chat) {
            EXPECT_TRUE(lumui::PumpUntil([&] { return chat->m_dlgMsgList.m_nDocComplete != 0; }, 15000));
        }
        return chat;
    }

    static CString History(CDlgChatMsgList& pane)
    {
        CString out;
        pane.InvokeScriptMethod("eval", {"document.getElementById('MsgHistoryIFrame').contentDocument.body.innerHTML"},
                                &out);
        return out;
    }

    // The width the pane drew its last picture `id` with, once the picture
    // has loaded or failed (0: a broken picture; -1: none drawn in time).
    // `area`: the history or the write area.
    static int DrawnWidth(CDlgChatMsgList& pane, const std::string& id, const char* area = "MsgHistoryIFrame")
    {
        const std::string script = std::string("(function(){var a=document.getElementById('") + area +
                                   "').contentDocument.getElementsByTagName('img');for(var i=a.length-1;i>=0;--i)"
                                   "if(a[i].id==='" + id + "')return a[i].complete?a[i].naturalWidth:-1;return -1;})()";
        CString out = "-1";
        lumui::PumpUntil([&] {
            pane.InvokeScriptMethod("eval", {script.c_str()}, &out);
            return out != "-1";
        }, 5000);
        return std::atoi(out);
    }

    bool WaitNotice(const std::string& part, int timeoutMs = 15000)
    {
        return lumui::PumpUntil(
            [&] {
                std::lock_guard<std::mutex> lock(mutex_);
                for (const std::string& n : notices_)
                    if (n.find(part) != std::string::npos) return true;
                return false;
            },
            timeoutMs);
    }

    TempDir dir_;
    TestServices services_;
    standin::RendezvousServer rendezvous_;
    std::unique_ptr<CKivApp> app_;
    std::unique_ptr<CKivDlg> main_;
    std::mutex mutex_;
    std::vector<std::string> notices_;
    std::vector<int> served_;
};

// 50 MB offered by one side arrive intact at the other through the
// rendezvous server's answer; progress runs to 100 on both sides and both
// chat panes show the completion line.
TEST_F(PeerTransferTest, LargeFileArrivesIntactWithProgressAndNotices)
{
    CDataUser* sender = AddFriend(kSender, "发送者");
    CDataUser* receiver = AddFriend(kReceiver, "接收者");
    CKivDlgChatUser* senderChat = OpenChat(sender);
    CKivDlgChatUser* receiverChat = OpenChat(receiver);
    ASSERT_TRUE(senderChat && receiverChat);

    const std::string source = dir_.file("offer/big <&> file.bin");
    WriteRandom(source, 50u * 1024 * 1024);
    // The sender's rendezvous request is "from the sender to the receiver".
    MainPeerLink()->Rendezvous(kSender, kReceiver, 1, 11);
    Offer(source, "F1");

    PeerFetchOffered(kSender, 1, senderChat->m_dlgMsgList.m_hWnd, "F1", source.c_str(),
                     (dir_.file("save") + "/").c_str());
    // Moving 50 MB is the program's own work: an instrumented build takes longer.
    ASSERT_TRUE(WaitNotice("已经传输完成！", lumtest::ProgramMs(60000))) << "the receiver never completed";
    ASSERT_TRUE(WaitNotice("已经传输完成!", lumtest::ProgramMs(5000))) << "the sender never completed";

    const std::string saved = dir_.file("save/big <&> file.bin");
    ASSERT_TRUE(fs::exists(saved));
    EXPECT_EQ(fs::file_size(saved), 50u * 1024 * 1024);
    EXPECT_EQ(Checksum(saved), Checksum(source));
    EXPECT_EQ(Names(dir_.file("save")), std::vector<std::string>{"big <&> file.bin"});
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ASSERT_FALSE(served_.empty());
        EXPECT_EQ(served_.back(), 100);
        EXPECT_TRUE(std::is_sorted(served_.begin(), served_.end()));
    }
    // The server answered the receiver's request with the sender's address.
    const auto requests = rendezvous_.Requests();
    EXPECT_TRUE(std::any_of(requests.begin(), requests.end(), [](const standin::RendezvousServer::Request& r) {
        return r.cmd == 11 && r.fromid == kReceiver && r.toid == kSender && r.ip == "127.0.0.1";
    }));

    // Both panes: the receiver's (the chat with the sender) shows progress
    // at 100% and the completion; the names are escaped.
    EXPECT_TRUE(lumui::PumpUntil([&] {
        return History(senderChat->m_dlgMsgList).Find("已经传输完成！") != -1 &&
               History(receiverChat->m_dlgMsgList).Find("已经传输完成!") != -1;
    }));
    const CString inSenderChat = History(senderChat->m_dlgMsgList);
    EXPECT_NE(inSenderChat.Find("big &lt;&amp;&gt; file.bin 已经传输完成！"), -1) << inSenderChat.str();
    const CString inReceiverChat = History(receiverChat->m_dlgMsgList);
    EXPECT_NE(inReceiverChat.Find("big &lt;&amp;&gt; file.bin 已经传输完成!"), -1) << inReceiverChat.str();
    EXPECT_EQ(inSenderChat.Find("<&>"), -1);
}

// What the file server refuses: paths never offered (absolute, "..", links),
// offers of another peer or id, pictures never sent; an unknown command gets
// no answer and the connection stays usable.
TEST_F(PeerTransferTest, ServerAnswersOnlyOfferedFiles)
{
    const std::string offered = dir_.file("offer/report.txt");
    std::ofstream(offered) << "offered content";
    std::ofstream(dir_.file("offer/secret.txt")) << "secret";
    std::ofstream(dir_.file("files/pic.png")) << "picture";
    GetPeerTimings().ioMs = 5000;  // the connection below idles for a while
    fs::create_symlink(dir_.file("offer/secret.txt"), dir_.file("offer/link.txt"));
    Offer(offered, "F9");
    const int port = MainPeerLink()->m_nLocalPort;

    auto size = [&](RawClient& c, const std::string& path, int userid) {
        c.Send("<q cmd='13'><file userid='" + std::to_string(userid) + "'>" + path + "</file></q>");
        return c.Receive();
    };
    RawClient c(port);
    ASSERT_GE(c.fd, 0);
    EXPECT_NE(size(c, offered, kReceiver).find("size=\"15\""), std::string::npos);
    EXPECT_NE(size(c, "/etc/passwd", kReceiver).find("size=\"0\""), std::string::npos);
    EXPECT_NE(size(c, dir_.file("offer/../offer/secret.txt"), kReceiver).find("size=\"0\""), std::string::npos);
    EXPECT_NE(size(c, dir_.file("offer/link.txt"), kReceiver).find("size=\"0\""), std::string::npos);
    EXPECT_NE(size(c, offered, 10003).find("size=\"0\""), std::string::npos) << "offered to another peer";
    EXPECT_NE(size(c, "../offer/secret.txt", 0).find("size=\"0\""), std::string::npos);
    EXPECT_NE(size(c, "pic.png", 0).find("size=\"0\""), std::string::npos) << "a picture never sent";
    // An unknown command: no answer, and the next request is still answered.
    c.Send("<q cmd='15'><file userid='10002'>x</file></q>");
    EXPECT_EQ(c.Receive(), "");
    EXPECT_NE(size(c, offered, kReceiver).find("size=\"15\""), std::string::npos);
    // A picture sent in a line may be fetched by name.
    PeerOfferPictures(kReceiver, "<img id='pic.png' src='file:///pic.png'/>");
    EXPECT_NE(size(c, "pic.png", 0).find("size=\"7\""), std::string::npos);

    // A file request for something else, or with another id, ends the
    // connection without a byte.
    RawClient d(port);
    d.Send("<q cmd='14'><file id='F9' userid='10002' gid='1'>" + dir_.file("offer/secret.txt") + "</file></q>");
    EXPECT_EQ(d.Receive(), "<closed>");
    RawClient e(port);
    e.Send("<q cmd='14'><file id='OTHER' userid='10002' gid='1'>" + offered + "</file></q>");
    EXPECT_EQ(e.Receive(), "<closed>");
    RawClient f(port);
    f.Send("<q cmd='14'><file id='F9' userid='10002' gid='1'>" + offered + "</file></q>");
    EXPECT_EQ(f.Receive(), "offered content");
}

// A fetch of something the peer refuses ends at once with the failure
// notice and leaves nothing in the folder.
// The file server serves a few peers at once and drops a peer that sends
// nothing; others are turned away at once, and a real fetch still works
// once the idle ones went.
TEST_F(PeerTransferTest, FileServerTakesFewPeersAndDropsIdleOnes)
{
    const std::string offered = dir_.file("offer/report.txt");
    std::ofstream(offered) << "offered content";
    Offer(offered, "F9");
    const int port = MainPeerLink()->m_nLocalPort;
    // The connections Offer made to see the server up may still wait to be
    // accepted: a fetch answered after them shows they were taken, and then
    // they have gone. Only then are the limits lowered, so that none of them
    // takes a place meant for the peers below.
    {
        RawClient flush(port);
        flush.Send("<q cmd='14'><file id='F9' userid='10002' gid='1'>" + offered + "</file></q>");
        ASSERT_EQ(flush.ReceiveUpTo("offered content"), "offered content");
    }
    ASSERT_TRUE(lumui::PumpUntil([] { return PeerServedCount() == 0; }, 3000));
    PeerTimings& t = GetPeerTimings();
    t.ioMs = 30000;
    t.idleMs = 400;
    t.maxServed = 3;

    std::vector<std::unique_ptr<RawClient>> idle;
    for (int i = 0; i < 3; ++i) {
        idle.push_back(std::make_unique<RawClient>(port));
        ASSERT_GE(idle.back()->fd, 0);
    }
    ASSERT_TRUE(lumui::PumpUntil([] { return PeerServedCount() == 3; }, 3000));
    // A fourth is turned away without an answer.
    RawClient extra(port);
    EXPECT_EQ(extra.Receive(), "<closed>");
    // The idle three are dropped well before the transfer's stall limit.
    const auto start = std::chrono::steady_clock::now();
    for (auto& c : idle) EXPECT_EQ(c->Receive(), "<closed>");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1900));
    idle.clear();

    // A peer that asks at once is served.
    RawClient peer(port);
    peer.Send("<q cmd='14'><file id='F9' userid='10002' gid='1'>" + offered + "</file></q>");
    EXPECT_EQ(peer.Receive(), "offered content");
}

TEST_F(PeerTransferTest, RefusedOfferEndsWithFailureAndNoFile)
{
    const std::string offered = dir_.file("offer/a.txt");
    std::ofstream(offered) << "a";
    MainPeerLink()->Rendezvous(kSender, kReceiver, 1, 11);
    Offer(offered, "F1");
    PeerFetchOffered(kSender, 1, nullptr, "F2", dir_.file("offer/../offer/a.txt").c_str(),
                     (dir_.file("save") + "/").c_str());
    ASSERT_TRUE(WaitNotice("a.txt 传输失败!"));
    EXPECT_TRUE(Names(dir_.file("save")).empty());
}

// An offer's markup keeps any path as it stands.
TEST_F(PeerTransferTest, OfferMarkupCarriesAnyPath)
{
    const CString path = "/home/u/课程 <1> & 'x\".bin";
    const CString markup = PeerOfferMarkup("F<1>", path);
    EXPECT_EQ(markup.Find("<1>"), -1) << markup.str();
    XMLNode file = XMLNode::parseString(CString("<msg>" + markup + "</msg>").GetString(), "msg").getChildNode("file");
    ASSERT_FALSE(file.isEmpty()) << markup.str();
    EXPECT_STREQ(file.getAttribute("id"), "F<1>");
    EXPECT_STREQ(file.getText(), path.GetString());
}

// Received names stay in the folder and never replace a file there.
TEST_F(PeerTransferTest, HostileNamesStayInFolderAndNothingIsOverwritten)
{
    EXPECT_EQ(PeerSafeName("/home/u/../../etc/passwd"), "passwd");
    EXPECT_EQ(PeerSafeName("C:\\Users\\x\\..\\evil.exe"), "evil.exe");
    EXPECT_EQ(PeerSafeName(".."), "file");
    EXPECT_EQ(PeerSafeName("/x/..."), "file");
    EXPECT_EQ(PeerSafeName("/x/"), "file");
    EXPECT_EQ(PeerSafeName("..bashrc"), "bashrc");
    EXPECT_EQ(PeerSafeName("a\nb\tc.txt"), "abc.txt");
    const std::string folder = dir_.file("save") + "/";
    std::ofstream(folder + "n.txt") << "old";
    std::ofstream(folder + "(1)n.txt") << "old1";
    EXPECT_EQ(PeerFreeName(folder.c_str(), "n.txt"), CString((folder + "(2)n.txt").c_str()));

    // A peer offering "..\..\n.txt": the file lands beside the existing ones
    // under the next free name; theirs are unchanged.
    const std::string offered = dir_.file("offer/..n.txt");
    std::ofstream(offered) << "new";
    MainPeerLink()->Rendezvous(kSender, kReceiver, 1, 11);
    Offer(offered, "F1");
    PeerFetchOffered(kSender, 1, nullptr, "F1", offered.c_str(), folder.c_str());
    ASSERT_TRUE(WaitNotice("已经传输完成！"));
    EXPECT_EQ(Names(dir_.file("save")), (std::vector<std::string>{"(1)n.txt", "(2)n.txt", "n.txt"}));
    std::string text;
    std::ifstream(folder + "n.txt") >> text;
    EXPECT_EQ(text, "old");
    std::ifstream(folder + "(2)n.txt") >> text;
    EXPECT_EQ(text, "new");
}

// A peer that breaks off or stalls mid-file: the fetch fails (after the
// time-out for the stall) and no file, partial or temporary, is left.
TEST_F(PeerTransferTest, BrokenOrStalledPeerLeavesNoFile)
{
    const std::string folder = dir_.file("save") + "/";
    for (bool stall : {false, true}) {
        BrokenPeer peer(300000, stall);
        CPeerLink link;
        ASSERT_EQ(link.Rendezvous(kReceiver, kSender, 1, 11), 1);  // learns a local port
        ASSERT_EQ(link.ConnectPeer("127.0.0.1", peer.port()), 1);
        const auto start = std::chrono::steady_clock::now();
        CString saved;
        EXPECT_EQ(link.RequestFile("F1", kReceiver, 1, "/x/movie.bin", folder.c_str(), nullptr, 1000000, &saved), 0);
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
        EXPECT_LT(ms.count(), 5000) << (stall ? "stalled" : "closed");
        EXPECT_TRUE(Names(dir_.file("save")).empty()) << (stall ? "stalled" : "closed");
    }
}

// The local port learned from the rendezvous server taken by another
// program by the time the peer is called: the path is open already, so the
// connection is made from any port instead of failing.
TEST_F(PeerTransferTest, ALocalPortTakenMeanwhileStillReachesThePeer)
{
    BrokenPeer peer(10, false);
    CPeerLink link;
    ASSERT_EQ(link.Rendezvous(kReceiver, kSender, 1, 11), 1);
    const int other = TakePortOnceFree(link.m_nLocalPort);
    ASSERT_GE(other, 0);
    EXPECT_EQ(link.ConnectPeer("127.0.0.1", peer.port()), 1);
    ::close(other);
}

// The learned local port taken by another program before the link's next
// request to the rendezvous server (nothing of the link holds it between
// requests): the request goes out from a new port, which the link learns,
// instead of never reaching the server.
TEST_F(PeerTransferTest, ALearnedPortTakenBeforeTheNextRendezvousIsReplacedByANewOne)
{
    CPeerLink link;
    ASSERT_EQ(link.Rendezvous(kReceiver, kSender, 1, 11), 1);
    const int learned = link.m_nLocalPort;
    ASSERT_NE(learned, 0);
    const int other = TakePortOnceFree(learned);
    ASSERT_GE(other, 0);

    const size_t before = rendezvous_.Requests().size();
    EXPECT_EQ(link.Rendezvous(kReceiver, kSender, 1, 11), 1);
    EXPECT_TRUE(lumui::PumpUntil([&] { return rendezvous_.Requests().size() > before; }, 5000))
        << "the rendezvous server was not asked";
    EXPECT_NE(link.m_nLocalPort, learned);
    EXPECT_NE(link.m_nLocalPort, 0);
    ::close(other);
}

// The rendezvous server refusing connections or never answering: the fetch
// ends with the failure notice within its tries, nothing hangs.
TEST_F(PeerTransferTest, FailingRendezvousServerEndsTheFetch)
{
    rendezvous_.SetFault(standin::RendezvousServer::Fault::kSilent);
    PeerFetchOffered(kSender, 1, nullptr, "F1", "/x/a.txt", (dir_.file("save") + "/").c_str());
    ASSERT_TRUE(WaitNotice("a.txt 传输失败!", 10000));
    rendezvous_.Stop();
    CPeerLink link;
    EXPECT_EQ(link.Rendezvous(kReceiver, kSender, 1, 11), 0);
    EXPECT_EQ(link.m_nLocalPort, 0);
    PeerFetchOffered(kSender, 1, nullptr, "F3", "/x/b.txt", (dir_.file("save") + "/").c_str());
    ASSERT_TRUE(WaitNotice("b.txt 传输失败!", 10000));
    EXPECT_TRUE(Names(dir_.file("save")).empty());
}

// A rendezvous server that keeps its side open until the client goes (one
// that holds its connections, or one slow to close on a busy machine): the
// client leaves first once it has waited for an answer, and its next request
// from the same port still reaches the server.
TEST_F(PeerTransferTest, TheNextRendezvousFromTheSamePortReachesAServerTheClientLeftFirst)
{
    rendezvous_.SetFault(standin::RendezvousServer::Fault::kSilent);
    CPeerLink link;
    // The link's port is one no other test's connection can be given
    // between the two requests.
    link.m_nLocalPort = PortNobodyIsGiven();
    ASSERT_NE(link.m_nLocalPort, 0);
    ASSERT_EQ(link.Rendezvous(kReceiver, kSender, 1, 11), 1);
    rendezvous_.SetFault(standin::RendezvousServer::Fault::kNone);
    const int port = link.m_nLocalPort;
    EXPECT_EQ(link.Rendezvous(kReceiver, kSender, 1, 11), 1);
    EXPECT_EQ(link.m_nLocalPort, port);
    const auto requests = rendezvous_.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[1].port, port);
}

// The hole notice (2035, sent here as nothing in the system sends it):
// incomplete or foreign notices are ignored; one for this user answers the
// server with command 12 and starts the listener on the learned port.
TEST_F(PeerTransferTest, HoleNoticeAnswersServerAndListens)
{
    auto send = [&](const char* text) {
        XMLNode q = XMLNode::parseString(text, "q");
        main_->SendMessage(UM_PEER_HOLE, 0, reinterpret_cast<LPARAM>(&q));
    };
    const int running = PeerRunningThreads();
    send("<q cmd='11'><hole fromid='10001' fromip='127.0.0.1' fromport='1' toid='10002'/></q>");  // no gid
    send("<q cmd='11'><hole fromid='10001' fromip='127.0.0.1' fromport='1' toid='10009' gid='1'/></q>");
    // Nothing was set off: no thread to punch, and the first request the
    // server sees is the answer to the complete notice below.
    EXPECT_EQ(PeerRunningThreads(), running);
    EXPECT_TRUE(uiwait::QueuedWorkDone());
    EXPECT_TRUE(rendezvous_.Requests().empty());

    BrokenPeer peer(0, false);  // something to punch towards
    CString text;
    text.Format("<q cmd='11'><hole fromid='10001' fromip='127.0.0.1' fromport='%d' toid='10002' gid='1'/></q>",
                peer.port());
    send(text);
    ASSERT_TRUE(lumui::PumpUntil([&] { return !rendezvous_.Requests().empty(); }, 5000));
    const auto r = rendezvous_.Requests().front();
    EXPECT_EQ(r.cmd, 12);
    EXPECT_EQ(r.fromid, 10001);
    EXPECT_EQ(r.toid, 10002);
    EXPECT_EQ(r.gid, 1);
    // The file server now answers on the learned port.
    ASSERT_TRUE(lumui::PumpUntil([] { return MainPeerLink()->m_nLocalPort != 0; }, 5000));
    std::ofstream(dir_.file("offer/h.txt")) << "hole";
    PeerOfferFile(kReceiver, "H", dir_.file("offer/h.txt").c_str());
    ASSERT_TRUE(lumui::PumpUntil(
        [&] {
            RawClient c(MainPeerLink()->m_nLocalPort);
            if (c.fd < 0) return false;
            c.Send("<q cmd='13'><file userid='10002'>" + dir_.file("offer/h.txt") + "</file></q>");
            return c.Receive().find("size=\"4\"") != std::string::npos;
        },
        5000));
}

// The peer address (2036) reaches the contact's chat window; progress
// records (3046) reach the right pane; a notice naming nobody is dropped.
TEST_F(PeerTransferTest, AddressProgressAndNoticesReachTheContactsPane)
{
    CDataUser* sender = AddFriend(kSender, "发送者");
    CKivDlgChatUser* chat = OpenChat(sender);
    ASSERT_NE(chat, nullptr);
    XMLNode q = XMLNode::parseString(
        "<q cmd='11'><hole fromid='10001' fromip='10.1.2.3' fromport='4321' toid='10002' gid='1'/></q>", "q");
    main_->SendMessage(UM_PEER_ADDRESS, 0, reinterpret_cast<LPARAM>(&q));
    EXPECT_EQ(chat->m_dlgMsgList.m_strPeerAddr, "10.1.2.3");
    EXPECT_EQ(chat->m_dlgMsgList.m_nPeerPort, 4321);
    CString address;
    int port = 0;
    ASSERT_TRUE(PeerKnownAddress(kSender, &address, &port));
    EXPECT_EQ(port, 4321);
    // Port 0 or another receiver: ignored.
    XMLNode bad = XMLNode::parseString(
        "<q cmd='11'><hole fromid='10001' fromip='10.9.9.9' fromport='0' toid='10002' gid='1'/></q>", "q");
    main_->SendMessage(UM_PEER_ADDRESS, 0, reinterpret_cast<LPARAM>(&bad));
    EXPECT_EQ(chat->m_dlgMsgList.m_strPeerAddr, "10.1.2.3");

    chat->m_dlgMsgList.AppendHistoryLine(
        "<div id='P1_out'><div id='P1_pro' style='width:1px'></div></div>");
    PeerTransferRecord record;
    record.fileId = "P1";
    record.userId = kSender;
    record.gid = 1;
    main_->SendMessage(UM_FILE_PROGRESS, reinterpret_cast<WPARAM>(&record), 37);
    EXPECT_TRUE(lumui::PumpUntil([&] { return History(chat->m_dlgMsgList).Find("37%") != -1; }))
        << History(chat->m_dlgMsgList).str();

    const CString hostile = PeerNoticeCommand(kSender, kReceiver, 1, "<img src=x onerror=alert(1)> 已经传输完成!");
    EXPECT_EQ(main_->SendMessage(UM_PEER_NOTICE, reinterpret_cast<WPARAM>(hostile.GetString()), 0), 1);
    const CString nobody = PeerNoticeCommand(10077, kReceiver, 1, "x");
    EXPECT_EQ(main_->SendMessage(UM_PEER_NOTICE, reinterpret_cast<WPARAM>(nobody.GetString()), 0), 0);
    EXPECT_TRUE(lumui::PumpUntil([&] { return History(chat->m_dlgMsgList).Find("已经传输完成!") != -1; }));
    const CString shown = History(chat->m_dlgMsgList);
    EXPECT_NE(shown.Find("&lt;img src=x onerror=alert(1)&gt; 已经传输完成!"), -1) << shown.str();
    EXPECT_EQ(shown.Find("<img src=\"x\""), -1);
}

// A chat picture the receiver does not have: the pane shows the loading
// picture until the picture came from the sender, then the picture itself
// from the own files folder.
TEST_F(PeerTransferTest, AChatPictureComesFromTheSenderAndReplacesTheLoadingPicture)
{
    CDataUser* sender = AddFriend(kSender, "发送者");
    CKivDlgChatUser* chat = OpenChat(sender);
    ASSERT_NE(chat, nullptr);

    // The sending side: the picture in its files folder, sent to the
    // receiver, and the sender reachable through the rendezvous server.
    fs::create_directories(dir_.file("sender"));
    // Named as the sender's pane names pictures.
    const std::string name = "3E9#1A$2B@4C.png";
    fs::copy_file(PICTURE_FILE, dir_.file("sender/" + name));
    const std::string senderFolder = dir_.file("sender") + "/";
    GetPeerContext().filesFolder = [senderFolder] { return CString(senderFolder.c_str()); };
    // As the sender's pane sends it: the name escaped as in a file address.
    PeerOfferPictures(kReceiver, "<img id='3E9#1A$2B@4C.png' src='file:///3E9%231A%242B%404C.png'/>");
    MainPeerLink()->Rendezvous(kSender, kReceiver, 1, 11);
    ASSERT_TRUE(MainPeerLink()->EnsureListener());

    lum_thrift::StructMessage msg;
    msg.fromid = kSender;
    msg.toid = kReceiver;
    msg.gid = 1;
    msg.sendTime = "2024-05-06 07:08:09";
    msg.content = "<span>看图<img id='3E9#1A$2B@4C.png' src='file:///3E9%25231A%25242B%25404C.png'/></span>";
    main_->SendMessage(UM_USER_MESSAGE, 0, reinterpret_cast<LPARAM>(&msg));

    // The receiver asked the server for the sender, fetched the picture
    // into its own files folder and shows it from there.
    const std::string received = dir_.file("files/" + name);
    ASSERT_TRUE(lumui::PumpUntil([&] { return fs::exists(received); }, 15000)) << "the picture never arrived";
    EXPECT_EQ(Checksum(received), Checksum(PICTURE_FILE));
    EXPECT_TRUE(lumui::PumpUntil([&] { return History(chat->m_dlgMsgList).Find("files/3E9%231A$2B@4C.png") != -1; }, 5000))
        << History(chat->m_dlgMsgList).str();
    EXPECT_EQ(History(chat->m_dlgMsgList).Find("imgloading.gif"), -1);
    const auto requests = rendezvous_.Requests();
    EXPECT_TRUE(std::any_of(requests.begin(), requests.end(), [](const standin::RendezvousServer::Request& r) {
        return r.cmd == 11 && r.fromid == kReceiver && r.toid == kSender;
    }));
    // The person sees the picture itself.
    EXPECT_GT(DrawnWidth(chat->m_dlgMsgList, name), 0) << "the received picture shows as a broken picture";
    // The page has drawn the line since (for its picture).
    auto eval = [&](const char* script) {
        CString out;
        chat->m_dlgMsgList.InvokeScriptMethod("eval", {script}, &out);
        return out.str();
    };
    eval("window.framesDrawn=0,requestAnimationFrame(function(){requestAnimationFrame(function(){"
         "window.framesDrawn=2;});}),1");
    EXPECT_TRUE(lumui::PumpUntil([&] { return eval("window.framesDrawn") == "2"; }, 5000));
    fs::create_directories(SCREENSHOT_DIR);
    lumui::SaveScreenImage(SCREENSHOT_DIR "/peer-picture-received.png");
}

// The panes show the pictures of the own files folder as they are typed,
// sent and shown from the history (which names them by their whole path),
// and no file from outside that folder.
TEST_F(PeerTransferTest, PicturesOfTheFilesFolderDrawInThePaneAndNoOtherFileDoes)
{
    CDataUser* user = AddFriend(kSender, "好友");
    CKivDlgChatUser* chat = OpenChat(user);
    ASSERT_NE(chat, nullptr);
    CDlgChatMsgList& pane = chat->m_dlgMsgList;
    const std::string files = dir_.file("files") + "/";
    fs::copy_file(PICTURE_FILE, files + "3E9#1A$2B@4C.png");
    fs::copy_file(PICTURE_FILE, files + "stored 1.png");
    fs::create_directories(dir_.file("elsewhere"));
    fs::copy_file(PICTURE_FILE, dir_.file("elsewhere/outside.png"));

    // Typed into the write area, then sent: the own line shows it too.
    pane.InsertWriteText(("<img id='3E9#1A$2B@4C.png' src='" +
                          std::string(FileUrl((files + "3E9#1A$2B@4C.png").c_str()).GetString()) + "'>").c_str());
    EXPECT_GT(DrawnWidth(pane, "3E9#1A$2B@4C.png", "MsgWriteIFrame"), 0) << "the typed picture is broken";
    pane.SendTyped();
    EXPECT_GT(DrawnWidth(pane, "3E9#1A$2B@4C.png"), 0) << "the sent picture is broken";

    // A line of the history names the picture by "file:///" and the folder.
    chat->ShowUserMessage(("<span>存的<img id='stored.png' src='file:///" + files + "stored 1.png'/></span>").c_str(),
                          "2024-05-06 07:08:09", nullptr);
    EXPECT_GT(DrawnWidth(pane, "stored.png"), 0) << "the stored picture is broken";

    // Pictures outside the files folder stay broken, however they are named.
    const std::string outside = dir_.file("elsewhere/outside.png");
    const std::string up = files + "../elsewhere/outside.png";
    const std::string lines[][2] = {
        {"out1", std::string(FileUrl(outside.c_str()).GetString())},
        {"out2", "file://" + up},
        {"out3", "lumfile://" + outside},
        {"out4", "lumfile://" + files + "..%2Felsewhere%2Foutside.png"},
        {"out5", "lumfile://" + files + "%2E%2E/elsewhere/outside.png"},
    };
    for (const auto& line : lines) {
        chat->ShowUserMessage(("<img id='" + line[0] + "' src='" + line[1] + "'/>").c_str(), "2024-05-06 07:08:10",
                              nullptr);
        EXPECT_EQ(DrawnWidth(pane, line[0]), 0) << line[1];
    }
}

// A file offer is no picture: receiving one asks the sender for nothing
// until the offer is accepted.
TEST_F(PeerTransferTest, AFileOfferIsNotFetchedAsAPicture)
{
    CDataUser* sender = AddFriend(kSender, "发送者");
    CKivDlgChatUser* chat = OpenChat(sender);
    ASSERT_NE(chat, nullptr);
    lum_thrift::StructMessage msg;
    msg.fromid = kSender;
    msg.toid = kReceiver;
    msg.gid = 1;
    msg.sendTime = "2024-05-06 07:08:09";
    msg.content = "<file id='F7'>/home/a/report.txt</file>";
    main_->SendMessage(UM_USER_MESSAGE, 0, reinterpret_cast<LPARAM>(&msg));
    // The offer line with its links shows; nobody is asked for "F7".
    EXPECT_TRUE(lumui::PumpUntil([&] { return History(chat->m_dlgMsgList).Find("F7_span") != -1; }, 5000));
    // Nothing was set off by then: no transfer thread, no request.
    EXPECT_TRUE(uiwait::QueuedWorkDone());
    EXPECT_EQ(PeerRunningThreads(), 0);
    EXPECT_TRUE(rendezvous_.Requests().empty());
    EXPECT_TRUE(sender->m_pTransMap == nullptr || sender->m_pTransMap->empty());
}

// Sending a line with a picture makes the sender reachable for the
// receiver's fetch: the rendezvous server hears of it at once.
TEST_F(PeerTransferTest, SendingAPictureMakesTheSenderReachable)
{
    CDataUser* receiver = AddFriend(kSender, "好友");
    CKivDlgChatUser* chat = OpenChat(receiver);
    ASSERT_NE(chat, nullptr);
    std::ofstream(dir_.file("files/me.png")) << "png";
    chat->m_dlgMsgList.InsertWriteText(
        ("<img id='me.png' src='" + std::string(FileUrl(dir_.file("files/me.png").c_str()).GetString()) + "'>").c_str());
    chat->m_dlgMsgList.SendTyped();
    EXPECT_TRUE(lumui::PumpUntil(
        [&] {
            for (const auto& r : rendezvous_.Requests())
                if (r.cmd == 11 && r.fromid == kReceiver && r.toid == kSender) return true;
            return false;
        },
        5000))
        << "the rendezvous server never heard of the sender";
    EXPECT_TRUE(lumui::PumpUntil([] { return MainPeerLink()->m_nLocalPort != 0; }, 5000));
}

// Quitting during a transfer: the main window's end stops the listener and
// every transfer thread, none left running.
TEST_F(PeerTransferTest, QuittingDuringTransferStopsEveryThread)
{
    const std::string source = dir_.file("offer/slow.bin");
    WriteRandom(source, 8u * 1024 * 1024);
    MainPeerLink()->Rendezvous(kSender, kReceiver, 1, 11);
    Offer(source, "F1");
    // A receiver that asks for the file and then reads nothing: the server
    // thread blocks in its sends (for a minute, were it not stopped).
    GetPeerTimings().ioMs = 60000;
    RawClient c(MainPeerLink()->m_nLocalPort);
    c.Send("<q cmd='14'><file id='F1' userid='10002' gid='1'>" + source + "</file></q>");
    ASSERT_TRUE(lumui::PumpUntil([] { return PeerRunningThreads() >= 2; }, 5000));
    // The file is on its way: its first bytes wait unread at the receiver.
    ASSERT_TRUE(lumui::PumpUntil([&] { return c.Waiting() > 0; }, 5000));
    const auto start = std::chrono::steady_clock::now();
    app_->m_pMainWnd = nullptr;
    main_->DestroyWindow();
    main_.reset();
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    EXPECT_EQ(PeerRunningThreads(), 0);
    EXPECT_LT(ms.count(), 3000);
    main_ = std::make_unique<CKivDlg>();  // for TearDown
    app_->m_pMainWnd = main_.get();
    ASSERT_TRUE(main_->Create(IDD_KIV_DIALOG, nullptr));
    main_->KillTimer(2023);
}

}  // namespace
