// The stand-in web server as a program: serves a folder on loopback, prints
// its port, runs until it is killed.
//
//   standin_web PORT ROOT     (PORT 0 picks a free port)
#include "tests/standin/StandinWeb.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <pthread.h>

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s PORT ROOT\n", argv[0]);
        return 2;
    }
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    standin::StandinWeb web;
    const int port = web.Start(std::atoi(argv[1]), argv[2]);
    if (port < 0) {
        std::fprintf(stderr, "cannot serve %s on 127.0.0.1:%s\n", argv[2], argv[1]);
        return 1;
    }
    std::printf("%d\n", port);
    std::fflush(stdout);
    int sig = 0;
    sigwait(&set, &sig);
    web.Stop();
    return 0;
}
