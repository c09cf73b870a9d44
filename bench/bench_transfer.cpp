// Peer-to-peer transfer benchmark: one file fetched from a peer's file
// server over loopback (connect, size request, file request, written under a
// temporary name and renamed) against a plain socket copy of the same file
// (connect, read, send, receive, write) in the same run. Prints MB/s for
// both and the ratio. The rendezvous round trips before the transfer are not
// counted: they do not grow with the file.
//
//   bench_transfer [megabytes] [rounds] [block]
//   (defaults: 500, 3, the client's block size; the best round counts)
#include "Lum/transfer/PeerTransfer.h"
#include "platform/threads.h"
#include "tests/standin/RendezvousServer.h"

#include <arpa/inet.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <netinet/in.h>
#include <random>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

double seconds(Clock::time_point from)
{
    return std::chrono::duration<double>(Clock::now() - from).count();
}

void makeFile(const std::string& path, size_t size)
{
    std::ofstream out(path, std::ios::binary);
    std::mt19937_64 rng(7);
    std::vector<uint64_t> block(1 << 13);
    while (size > 0) {
        for (auto& v : block) v = rng();
        const size_t n = std::min(size, block.size() * sizeof(uint64_t));
        out.write(reinterpret_cast<const char*>(block.data()), static_cast<std::streamsize>(n));
        size -= n;
    }
}

// The bare baseline: a listening socket that sends the file to whoever
// connects, and a client that writes what it receives to a file.
double plainCopy(const std::string& source, const std::string& target, size_t size)
{
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    ::bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::listen(listener, 1);
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&a), &len);
    std::thread server([&] {
        const int c = ::accept(listener, nullptr, nullptr);
        FILE* f = fopen(source.c_str(), "rb");
        std::vector<char> block(64 * 1024);
        size_t n;
        while ((n = fread(block.data(), 1, block.size(), f)) > 0) {
            size_t sent = 0;
            while (sent < n) {
                const ssize_t k = ::send(c, block.data() + sent, n - sent, MSG_NOSIGNAL);
                if (k <= 0) break;
                sent += static_cast<size_t>(k);
            }
        }
        fclose(f);
        ::close(c);
    });
    const auto start = Clock::now();
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    ::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
    FILE* out = fopen(target.c_str(), "wb");
    std::vector<char> block(64 * 1024);
    size_t received = 0;
    ssize_t k;
    while ((k = ::recv(s, block.data(), block.size(), 0)) > 0) {
        fwrite(block.data(), 1, static_cast<size_t>(k), out);
        received += static_cast<size_t>(k);
    }
    fclose(out);
    const double t = seconds(start);
    ::close(s);
    server.join();
    ::close(listener);
    if (received != size) std::fprintf(stderr, "plain copy: %zu of %zu bytes\n", received, size);
    return t;
}

}  // namespace

int main(int argc, char** argv)
{
    const size_t megabytes = argc > 1 ? static_cast<size_t>(std::atol(argv[1])) : 500;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 3;
    const size_t size = megabytes * 1024 * 1024;
    if (argc > 3) GetPeerTimings().blockSize = std::atoi(argv[3]);
    const fs::path dir = fs::temp_directory_path() / ("bench_transfer_" + std::to_string(getpid()));
    fs::create_directories(dir / "save");
    const std::string source = (dir / "source.bin").string();
    makeFile(source, size);

    standin::RendezvousServer rendezvous;
    const int port = rendezvous.Start(0);
    PeerContext& c = GetPeerContext();
    c.ownId = [] { return 2; };
    c.filesFolder = [dir] { return CString((dir.string() + "/").c_str()); };
    c.rendezvous = [port](CString* host, int* p) {
        *host = "127.0.0.1";
        *p = port;
    };
    c.holeNotice = [](XMLNode&) {};
    c.notice = [](const CString&) {};
    c.serveProgress = [](const PeerTransferRecord&, int) {};

    // The sending client: reachable through the server, serving its offer.
    HANDLE stop = CreateEvent(nullptr, TRUE, FALSE, nullptr);
    PeerTransferStart(stop);
    MainPeerLink()->Rendezvous(1, 2, 1, 11);
    MainPeerLink()->EnsureListener();
    PeerOfferFile(2, "B", source.c_str());
    // The receiving client learns the sender's address from the server.
    CPeerLink receiver;
    receiver.Rendezvous(2, 1, 1, 11);
    CString address;
    int peerPort = 0;
    if (!PeerKnownAddress(1, &address, &peerPort)) {
        std::fprintf(stderr, "the rendezvous server gave no address\n");
        return 1;
    }

    // The listener thread is up once a connection succeeds.
    for (int i = 0; i < 200 && !receiver.ConnectPeer(address, peerPort); ++i) Sleep(10);

    double bestPlain = 1e9, bestPeer = 1e9;
    for (int r = 0; r < rounds; ++r) {
        const std::string plainTarget = (dir / "plain.bin").string();
        bestPlain = std::min(bestPlain, plainCopy(source, plainTarget, size));
        fs::remove(plainTarget);

        const auto start = Clock::now();
        CString saved;
        const int step = !receiver.ConnectPeer(address, peerPort)                ? 1
                         : receiver.RequestSize(source.c_str(), 2) != size ? 2
                         : !receiver.RequestFile("B", 2, 1, source.c_str(), (dir.string() + "/save/").c_str(),
                                                 nullptr, size, &saved)
                             ? 3
                             : 0;
        const double t = seconds(start);
        if (step != 0 || fs::file_size(saved.GetString()) != size) {
            std::fprintf(stderr, "peer transfer failed (step %d)\n", step);
            return 1;
        }
        bestPeer = std::min(bestPeer, t);
        fs::remove(saved.GetString());
    }

    const double mb = static_cast<double>(size) / (1024.0 * 1024.0);
    std::printf("file: %zu MB over loopback, best of %d rounds, blocks of %d bytes\n", megabytes, rounds,
                GetPeerTimings().blockSize);
    std::printf("plain socket copy: %.3f s, %.0f MB/s\n", bestPlain, mb / bestPlain);
    std::printf("peer transfer:     %.3f s, %.0f MB/s\n", bestPeer, mb / bestPeer);
    std::printf("ratio (peer / plain throughput): %.0f%%\n", 100.0 * bestPlain / bestPeer);

    PeerTransferStop();
    CloseHandle(stop);
    rendezvous.Stop();
    fs::remove_all(dir);
    return 0;
}
