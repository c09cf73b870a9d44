// The stand-in rendezvous server as a program: listens on loopback, prints
// its port, serves until it is killed.
//
//   standin_rendezvous PORT     (PORT 0 picks a free port; the client's
//                                default in Lum.ini is 9839)
#include "tests/standin/RendezvousServer.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <pthread.h>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s PORT\n", argv[0]);
        return 2;
    }
    char* end = nullptr;
    const long port = std::strtol(argv[1], &end, 10);
    if (end == argv[1] || *end != 0 || port < 0 || port > 65535) {
        std::fprintf(stderr, "bad port: %s\n", argv[1]);
        return 2;
    }
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    standin::RendezvousServer server;
    const int bound = server.Start(static_cast<int>(port));
    if (bound <= 0) {
        std::fprintf(stderr, "cannot listen on 127.0.0.1:%ld\n", port);
        return 1;
    }
    std::printf("%d\n", bound);
    std::fflush(stdout);
    int signal = 0;
    sigwait(&set, &signal);
    server.Stop();
    return 0;
}
