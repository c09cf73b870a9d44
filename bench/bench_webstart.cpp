// The web engine's one-time start while a window waits for the user: a
// window of the login window's size is up, the layer starts the web engine
// (lumui::StartWebEngineSoon, as the program does when its first window is
// up), and a 1 ms timer on the UI thread measures the longest time the loop
// did not come round until the engine has started and a second after (busy,
// less the time the thread waited for a processor or its loop for events;
// see tests/platform/UiProbe.h; and on the wall clock). The baseline is the
// same window and loop in the same run with no engine start. Each run is a
// process of its own, as the start happens once a process, on a test desktop
// of the benchmark's own (display, session bus and window manager, as
// people's desktops have them). Run it with
// WEBKIT_DISABLE_SANDBOX_THIS_IS_DANGEROUS=1 where the web view's sandbox
// cannot start.
//
//   bench_webstart [runs, default 5]
#include "platform/dhtml.h"
#include "platform/uiapp.h"
#include "tests/desktop/TestDesktop.h"
#include "tests/platform/UiProbe.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

struct Figures {
    double block = 0, wall = 0, start = 0;
};

// One run in this process: prints "block wall start" in milliseconds.
int runOnce(bool engine)
{
    if (!lumui::Start()) {
        std::fprintf(stderr, "no display\n");
        return 1;
    }
    CWnd window;
    if (!window.CreateEx(0, nullptr, "start", WS_POPUP | WS_VISIBLE, 100, 100, 237, 589, nullptr, 0)) return 1;
    UiProbe probe;
    if (!probe.Start()) return 1;
    // The window's first frames are not counted.
    lumui::Pump(300);
    probe.Arm();
    const auto t0 = Clock::now();
    double start = 0;
    if (engine) {
        lumui::StartWebEngineSoon();
        if (!lumui::PumpUntil([] { return lumui::WebEngineStarted(); }, 30000)) {
            std::fprintf(stderr, "the web engine did not start\n");
            return 1;
        }
        start = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
    }
    // What the start left for the loop (the web process coming up) is counted too.
    lumui::Pump(engine ? 1000 : 2000);
    std::printf("%.3f %.3f %.3f\n", probe.Longest(), probe.LongestWall(), start);
    probe.Stop();
    window.DestroyWindow();
    return 0;
}

bool runChild(const char* self, bool engine, Figures* f)
{
    int out[2];
    if (pipe(out) != 0) return false;
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(out[1], 1);
        close(out[0]);
        close(out[1]);
        execl(self, self, "--run", engine ? "engine" : "bare", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(out[1]);
    std::string text;
    char buf[256];
    for (ssize_t n; (n = read(out[0], buf, sizeof buf)) > 0;) text.append(buf, static_cast<size_t>(n));
    close(out[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 &&
           std::sscanf(text.c_str(), "%lf %lf %lf", &f->block, &f->wall, &f->start) == 3;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && std::strcmp(argv[1], "--run") == 0) return runOnce(std::strcmp(argv[2], "engine") == 0);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    testdesktop::Desktop desktop;
    const std::string failed = desktop.Start();
    if (!failed.empty()) {
        std::fprintf(stderr, "no test desktop: %s\n", failed.c_str());
        return 1;
    }
    std::vector<double> bareBlock, bareWall, block, wall, start;
    for (int i = 0; i < runs; ++i) {
        Figures bare, engine;
        if (!runChild("/proc/self/exe", false, &bare) || !runChild("/proc/self/exe", true, &engine)) {
            std::fprintf(stderr, "run %d failed\n", i + 1);
            return 1;
        }
        bareBlock.push_back(bare.block);
        bareWall.push_back(bare.wall);
        block.push_back(engine.block);
        wall.push_back(engine.wall);
        start.push_back(engine.start);
    }
    std::printf("longest UI block (median of %d runs; busy / wall clock)\n", runs);
    std::printf("  bare window, no engine:   %8.1f ms / %8.1f ms\n", median(bareBlock), median(bareWall));
    std::printf("  web engine's start:       %8.1f ms / %8.1f ms\n", median(block), median(wall));
    std::printf("  worst run's engine start: %8.1f ms / %8.1f ms\n", *std::max_element(block.begin(), block.end()),
                *std::max_element(wall.begin(), wall.end()));
    std::printf("from the start's call to the engine started: %8.1f ms\n", median(start));
    return 0;
}
