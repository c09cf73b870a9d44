// Driving the real program from outside, as a person would: the program runs
// as its own process from a copy of the build in a temporary folder (with its
// own Lum.ini), its windows are found on the X display, and input is typed
// and clicked with xdotool.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <sys/types.h>
#include <thread>
#include <vector>

namespace e2e {

// Polls `done` every 50 ms until it holds or `timeoutMs` has passed.
template <class F> bool waitFor(F done, int timeoutMs)
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() > until) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

struct ScreenWindow {
    unsigned long id = 0;
    int x = 0, y = 0, width = 0, height = 0;
    std::string title;
};

// Visible top-level windows on the display.
std::vector<ScreenWindow> VisibleWindows();
// The first visible window of that size, polling up to `timeoutMs`.
bool WaitForWindow(int width, int height, int timeoutMs, ScreenWindow* found);

// Moves a top-level window (there is no window manager to ask).
bool MoveWindow(unsigned long id, int x, int y);
// Asks a top-level window to close, as a window manager's close button does.
bool CloseWindow(unsigned long id);
// The pixels of a rectangle of the screen as shown, 0xRRGGBB, row by row;
// empty when the rectangle is not on the screen.
std::vector<uint32_t> GrabScreen(int x, int y, int width, int height);

// Pointer and keyboard through xdotool (waits for each command).
bool Click(int x, int y);
bool Type(const std::string& text);
bool Key(const std::string& key);

// A copy of the program folder (the program, its libraries and data) in a
// new temporary folder; returns the folder.
std::string CopyProgramFolder(const std::string& binDir);
// Starts `program` with no arguments in its folder; returns its pid or -1.
pid_t Start(const std::string& program);
// Ends the process (TERM, then KILL after `graceMs`) and reaps it.
void Stop(pid_t pid, int graceMs = 2000);
bool IsRunning(pid_t pid);

}  // namespace e2e
