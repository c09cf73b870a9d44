// Peer transfer commands, over real loopback connections, on the three sides
// that read what another machine sends. The first byte picks the side:
//   0: the file server: the rest is what a peer sends to it (requests for
//      sizes and files, answered as the server answers them);
//   1: fetching a file: the rest is what the peer's file server answers to
//      the size request, followed by the bytes of the file;
//   2: the rendezvous step: the rest is what the rendezvous server answers.
// The server side offers one file ("offered.txt", named as the seeds name it:
// the target works in a folder of its own) and one chat picture ("pic.png")
// to peer 10002, so that requests that name them are served.
#include "Lum/transfer/PeerTransfer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

namespace {

namespace fs = std::filesystem;

const int kOwnId = 10001, kPeerId = 10002;

std::string g_dir;          // work folder
std::string g_files;        // the files folder, ending with '/'
std::string g_save;         // where fetched files go, ending with '/'
CPeerLink* g_server = nullptr;
int g_serverPort = 0;       // the file server's port
int g_standIn = -1;         // a listening socket that answers with the input
int g_standInPort = 0;
int g_baseThreads = 0;

int ListenLoopback(int* port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(fd, 16) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0)
        abort();
    *port = ntohs(a.sin_port);
    return fd;
}

int FreePort()
{
    int port = 0;
    ::close(ListenLoopback(&port));
    return port;
}

bool SendAllBytes(int fd, const char* data, size_t size)
{
    while (size > 0) {
        const ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
        if (n <= 0) return false;
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

// Reads until the other side closes; false when it does not within the
// wait (a connection left hanging).
bool DrainUntilClosed(int fd, int waitMs)
{
    char block[65536];
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now()).count();
        if (left <= 0) return false;
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left)) <= 0) continue;
        const ssize_t n = ::recv(fd, block, sizeof block, 0);
        if (n <= 0) return true;
    }
}

// The stand-in peer or rendezvous server: accepts one connection, reads the
// client's command, answers with `answer`, ends its sending side and waits
// for the client to close.
void AnswerOnce(const std::string& answer)
{
    pollfd p{g_standIn, POLLIN, 0};
    if (::poll(&p, 1, 5000) <= 0) return;  // the client never came
    const int fd = ::accept(g_standIn, nullptr, nullptr);
    if (fd < 0) return;
    std::string got;
    char block[4096];
    while (got.find("</q>") == std::string::npos) {
        pollfd q{fd, POLLIN, 0};
        if (::poll(&q, 1, 5000) <= 0) break;
        const ssize_t n = ::recv(fd, block, sizeof block, 0);
        if (n <= 0) break;
        got.append(block, static_cast<size_t>(n));
    }
    SendAllBytes(fd, answer.data(), answer.size());
    ::shutdown(fd, SHUT_WR);
    DrainUntilClosed(fd, 10000);
    ::close(fd);
}

void Offer()
{
    PeerClearOffers();
    PeerOfferFile(kPeerId, "F1", "offered.txt");
    PeerOfferPictures(kPeerId, "<img src=\"file:///pic.png\"/>");
}

void WaitForTransferThreads()
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (PeerRunningThreads() > g_baseThreads) {
        if (std::chrono::steady_clock::now() > until) {
            fprintf(stderr, "a transfer thread is still running 10 s after its connection ended\n");
            abort();
        }
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
}

void ToFileServer(const std::string& bytes)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<uint16_t>(g_serverPort));
    if (fd < 0 || ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        // Says which: the machine out of sockets or ports, or the file
        // server no longer listening.
        fprintf(stderr, "no connection to the file server: %s\n", std::strerror(errno));
        abort();
    }
    SendAllBytes(fd, bytes.data(), bytes.size());
    ::shutdown(fd, SHUT_WR);
    if (!DrainUntilClosed(fd, 10000)) {
        fprintf(stderr, "the file server kept a connection open after the peer had finished\n");
        abort();
    }
    ::close(fd);
    WaitForTransferThreads();
}

void FetchFromPeer(const std::string& answer)
{
    std::thread peer([&] { AnswerOnce(answer); });
    {
        CPeerLink link;
        link.m_nLocalPort = static_cast<unsigned short>(FreePort());
        if (link.ConnectPeer("127.0.0.1", g_standInPort)) {
            const unsigned long long size = link.RequestSize("offered.txt", kOwnId);
            if (size > 0 && size <= 1024 * 1024) {
                CString saved;
                link.RequestFile("F1", kOwnId, 5, "offered.txt", g_save.c_str(), nullptr, size, &saved);
            }
        }
    }
    peer.join();
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(g_save, ec)) fs::remove(e.path(), ec);
}

void AskRendezvous(const std::string& answer)
{
    std::thread server([&] { AnswerOnce(answer); });
    {
        CPeerLink link;
        link.Rendezvous(kOwnId, kPeerId, 5, 11);
    }
    server.join();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    char pattern[] = "/tmp/lum-fuzz-peer-XXXXXX";
    if (!mkdtemp(pattern)) abort();
    g_dir = pattern;
    g_files = g_dir + "/files/";
    g_save = g_dir + "/save/";
    fs::create_directories(g_files);
    fs::create_directories(g_save);
    std::ofstream(g_dir + "/offered.txt") << "the offered file";
    std::ofstream(g_files + "pic.png") << "a picture";
    if (chdir(g_dir.c_str()) != 0) abort();

    PeerTimings& t = GetPeerTimings();
    t.rendezvousWaitMs = 2000;
    t.connectMs = 2000;
    t.ioMs = 2000;
    t.listenSettleMs = 0;
    t.blockSize = 4096;

    PeerContext& c = GetPeerContext();
    c.ownId = [] { return kOwnId; };
    c.filesFolder = [] { return CString(g_files.c_str()); };
    c.rendezvous = [](CString* host, int* port) {
        *host = "127.0.0.1";
        *port = g_standInPort;
    };
    c.holeNotice = [](XMLNode&) {};
    c.notice = [](const CString&) {};
    c.serveProgress = [](const PeerTransferRecord&, int) {};

    g_standIn = ListenLoopback(&g_standInPort);
    static HANDLE stop = CreateEvent(nullptr, TRUE, FALSE, nullptr);
    PeerTransferStart(stop);
    g_server = MainPeerLink();
    g_serverPort = FreePort();
    g_server->m_nLocalPort = static_cast<unsigned short>(g_serverPort);
    if (!g_server->EnsureListener()) abort();
    // The listener is up once it accepts a connection.
    for (int tries = 0;; ++tries) {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = htons(static_cast<uint16_t>(g_serverPort));
        const bool up = ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
        ::close(fd);
        if (up) break;
        if (tries > 500) abort();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    g_baseThreads = 1;  // the listener
    WaitForTransferThreads();
    atexit([] {
        PeerTransferStop();
        std::error_code ec;
        fs::remove_all(g_dir, ec);
    });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1) return 0;
    const std::string rest(reinterpret_cast<const char*>(data + 1), size - 1);
    Offer();
    switch (data[0] % 3) {
    case 0: ToFileServer(rest); break;
    case 1: FetchFromPeer(rest); break;
    default: AskRendezvous(rest); break;
    }
    return 0;
}
