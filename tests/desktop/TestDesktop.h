// A desktop of the test program's own: a virtual X display (Xvfb), a private
// session bus and GNOME's window manager (mutter) on it, as people's desktops
// have one. The windows a suite opens are placed, mapped, focused and
// stacked by a real window manager, and suites running side by side never
// share a screen, a pointer or a keyboard focus.
#pragma once

#include <string>
#include <sys/types.h>

namespace testdesktop {

class Desktop {
public:
    Desktop() = default;
    ~Desktop();
    Desktop(const Desktop&) = delete;
    Desktop& operator=(const Desktop&) = delete;

    // Starts the display, the bus and the window manager and points this
    // process's environment at them (DISPLAY, DBUS_SESSION_BUS_ADDRESS; no
    // WAYLAND_DISPLAY). `windowManager` false starts the display and bus
    // only; `screenSaver` false leaves out the display's idle counter (the
    // screen-saver extension), as XWayland does. Empty when all went well,
    // else what failed.
    std::string Start(bool windowManager = true, bool screenSaver = true);
    // Ends what Start began (also done by the destructor).
    void Stop();

    const std::string& Display() const { return display_; }
    const std::string& BusAddress() const { return bus_; }

private:
    pid_t xvfb_ = -1, bus_pid_ = -1, wm_ = -1;
    std::string display_, bus_;
};

// Whether a window manager runs on the display this process uses (it owns
// the root window's _NET_SUPPORTING_WM_CHECK).
bool WindowManagerRuns();

}  // namespace testdesktop
