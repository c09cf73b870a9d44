// The stand-in service as a program: listens on loopback, prints its port,
// serves until it is killed.
//
//   standin_service PORT SEED.json [WEBPORT WEBROOT]    (port 0 picks a free one)
//
// With WEBPORT and WEBROOT it also runs the stand-in web server on the same
// data (files below WEBROOT and the web API), so that a change made through a
// page shows in the client; its port is printed on a second line.
//
// A line on its standard input ends a user's session, to try how a client
// takes it: "drop UID elsewhere" (a login elsewhere) or "drop UID timeout".
#include "tests/standin/StandinService.h"
#include "tests/standin/StandinWeb.h"
#include "tests/standin/WebApi.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <sstream>
#include <string>
#include <thread>
#include <unistd.h>

int main(int argc, char** argv)
{
    if (argc != 3 && argc != 5) {
        std::fprintf(stderr, "usage: %s PORT SEED.json [WEBPORT WEBROOT]\n", argv[0]);
        return 2;
    }
    char* end = nullptr;
    long port = std::strtol(argv[1], &end, 10);
    if (end == argv[1] || *end != 0 || port < 0 || port > 65535) {
        std::fprintf(stderr, "bad port: %s\n", argv[1]);
        return 2;
    }
    // Blocked before any thread starts, so that only sigwait takes them.
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    standin::StandinService service;
    std::string error;
    if (!service.LoadSeedFile(argv[2], &error)) {
        std::fprintf(stderr, "bad seed file %s: %s\n", argv[2], error.c_str());
        return 1;
    }
    int bound = service.Start(static_cast<int>(port));
    if (bound < 0) {
        std::fprintf(stderr, "cannot listen on 127.0.0.1:%ld\n", port);
        return 1;
    }
    std::printf("%d\n", bound);
    standin::StandinWeb web(&service);
    if (argc == 5) {
        standin::RegisterWebApi(web, service);
        const int webPort = web.Start(std::atoi(argv[3]), argv[4]);
        if (webPort < 0) {
            std::fprintf(stderr, "cannot serve %s on 127.0.0.1:%s\n", argv[4], argv[3]);
            return 1;
        }
        std::printf("%d\n", webPort);
    }
    std::fflush(stdout);

    std::thread([&service] {
        std::string line;
        while (std::getline(std::cin, line)) {
            std::istringstream in(line);
            std::string command, how;
            long uid = 0;
            if (!(in >> command >> uid >> how) || command != "drop" || (how != "elsewhere" && how != "timeout")) {
                std::printf("usage: drop UID elsewhere|timeout\n");
            } else {
                const bool dropped = service.DropSession(static_cast<int32_t>(uid), how == "elsewhere");
                std::printf(dropped ? "dropped %ld\n" : "no session for %ld\n", uid);
            }
            std::fflush(stdout);
        }
    }).detach();

    int sig = 0;
    sigwait(&set, &sig);
    web.Stop();
    service.Stop();
    return 0;
}
