#include "tests/desktop/TestDesktop.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace testdesktop {

namespace {

// Starts a program with its output discarded (or, for `keepFd`, that
// descriptor left open in the child); it ends when this process ends.
pid_t spawn(const std::vector<std::string>& args, int keepFd = -1)
{
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid != 0) return pid;
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (getppid() != parent) _exit(127);
    const int null = open("/dev/null", O_RDWR);
    dup2(null, 0);
    dup2(null, 1);
    if (!getenv("LUM_TEST_DESKTOP_LOG")) dup2(null, 2);
    for (int fd = 3; fd < 1024; ++fd)
        if (fd != keepFd) close(fd);
    execvp(argv[0], argv.data());
    _exit(127);
}

// One line written by a child to the pipe, within `timeoutMs`.
std::string readLine(int fd, int timeoutMs)
{
    std::string out;
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < until) {
        pollfd p{fd, POLLIN, 0};
        const int left = static_cast<int>(
            std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now()).count());
        if (poll(&p, 1, std::max(left, 1)) <= 0) continue;
        char c;
        const ssize_t n = read(fd, &c, 1);
        if (n <= 0) break;
        if (c == '\n') return out;
        out += c;
    }
    return out;
}

void end(pid_t& pid)
{
    if (pid <= 0) return;
    kill(pid, SIGTERM);
    for (int i = 0; i < 100; ++i) {
        if (waitpid(pid, nullptr, WNOHANG) == pid) {
            pid = -1;
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    pid = -1;
}

bool wmOn(::Display* d)
{
    const Atom check = XInternAtom(d, "_NET_SUPPORTING_WM_CHECK", False);
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    bool found = false;
    if (XGetWindowProperty(d, DefaultRootWindow(d), check, 0, 1, False, XA_WINDOW, &type, &format, &count, &after,
                           &data) == Success &&
        data) {
        found = count == 1;
        XFree(data);
    }
    return found;
}

}  // namespace

Desktop::~Desktop()
{
    Stop();
}

std::string Desktop::Start(bool windowManager, bool screenSaver)
{
    int pipeFd[2];
    if (pipe(pipeFd) != 0) return "no pipe";
    std::vector<std::string> xvfb{"Xvfb",         "-displayfd", std::to_string(pipeFd[1]), "-screen", "0",
                                  "1280x1024x24", "-nolisten",  "tcp",                     "-noreset"};
    if (!screenSaver) {
        xvfb.push_back("-extension");
        xvfb.push_back("MIT-SCREEN-SAVER");
    }
    xvfb_ = spawn(xvfb, pipeFd[1]);
    close(pipeFd[1]);
    const std::string number = readLine(pipeFd[0], 20000);
    close(pipeFd[0]);
    if (xvfb_ <= 0 || number.empty()) return "the virtual display (Xvfb) did not start";
    display_ = ":" + number;

    if (pipe(pipeFd) != 0) return "no pipe";
    bus_pid_ = spawn({"dbus-daemon", "--session", "--nofork", "--print-address=" + std::to_string(pipeFd[1])},
                     pipeFd[1]);
    close(pipeFd[1]);
    bus_ = readLine(pipeFd[0], 20000);
    close(pipeFd[0]);
    if (bus_pid_ <= 0 || bus_.empty()) return "the session bus (dbus-daemon) did not start";

    setenv("DISPLAY", display_.c_str(), 1);
    setenv("DBUS_SESSION_BUS_ADDRESS", bus_.c_str(), 1);
    unsetenv("WAYLAND_DISPLAY");
    // No accessibility bus runs on the test desktop: the toolkit would wait
    // for it at every start.
    setenv("NO_AT_BRIDGE", "1", 1);
    if (!windowManager) return std::string();

    wm_ = spawn({"mutter", "--x11", "--replace", "--sm-disable"});
    if (wm_ <= 0) return "the window manager (mutter) did not start";
    ::Display* d = XOpenDisplay(display_.c_str());
    if (!d) return "cannot open " + display_;
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    bool up = false;
    while (!(up = wmOn(d)) && std::chrono::steady_clock::now() < until) {
        if (waitpid(wm_, nullptr, WNOHANG) == wm_) {
            wm_ = -1;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    XCloseDisplay(d);
    return up ? std::string() : "the window manager (mutter) did not take the display";
}

void Desktop::Stop()
{
    end(wm_);
    end(bus_pid_);
    end(xvfb_);
}

bool WindowManagerRuns()
{
    ::Display* d = XOpenDisplay(nullptr);
    if (!d) return false;
    const bool up = wmOn(d);
    XCloseDisplay(d);
    return up;
}

}  // namespace testdesktop
