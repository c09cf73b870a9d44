// The stand-in web server as a program: serves a folder and the web API on
// loopback, prints its port, runs until it is killed.
//
//   standin_web PORT ROOT [SEED.json]     (PORT 0 picks a free port)
//
// The program runs apart from the stand-in service program, so the API
// answers from data of its own, loaded from SEED.json (the same seed file
// the service program starts from); changes made through one are not seen
// by the other. Tests that need both to share data run StandinService and
// StandinWeb in one process instead.
#include "tests/standin/StandinService.h"
#include "tests/standin/StandinWeb.h"
#include "tests/standin/WebApi.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <pthread.h>
#include <string>

int main(int argc, char** argv)
{
    if (argc != 3 && argc != 4) {
        std::fprintf(stderr, "usage: %s PORT ROOT [SEED.json]\n", argv[0]);
        return 2;
    }
    // Blocked before any thread starts, so that only sigwait takes them.
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    // Not started: it only holds the data the API answers from.
    standin::StandinService data;
    if (argc == 4) {
        std::string error;
        if (!data.LoadSeedFile(argv[3], &error)) {
            std::fprintf(stderr, "bad seed file %s: %s\n", argv[3], error.c_str());
            return 1;
        }
    }
    standin::StandinWeb web(argc == 4 ? &data : nullptr);
    if (argc == 4) standin::RegisterWebApi(web, data);
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
