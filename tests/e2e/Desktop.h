// Driving the real program from outside, as a person would: the program runs
// as its own process from a copy of the build in a temporary folder (with its
// own Lum.ini), its windows are found on the X display, and input is typed
// and clicked with xdotool.
#pragma once

#include <chrono>
#include <cstdint>
#include <set>
#include <string>
#include <sys/types.h>
#include <thread>
#include <vector>

namespace e2e {

// The program's login dialog and main window.
const int kLoginWidth = 237, kLoginHeight = 589, kMainWidth = 202, kMainHeight = 521;

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

// Visible top-level windows on the display: those the window manager
// manages, bottom to top, then unmanaged popups (menus).
std::vector<ScreenWindow> VisibleWindows();
// The first visible window of that size, polling up to `timeoutMs`.
bool WaitForWindow(int width, int height, int timeoutMs, ScreenWindow* found);
// The first visible window that `match` accepts, polling up to `timeoutMs`.
template <class Match> bool WaitForWindowWhere(Match match, int timeoutMs, ScreenWindow* found)
{
    return waitFor(
        [&] {
            for (const ScreenWindow& w : VisibleWindows())
                if (match(w)) {
                    if (found) *found = w;
                    return true;
                }
            return false;
        },
        timeoutMs);
}
// The visible popups no window manager handles (menus), oldest first.
std::vector<ScreenWindow> Popups();
// Waits until exactly `count` popups are on the screen; the newest in `last`.
bool WaitForPopups(size_t count, int timeoutMs, ScreenWindow* last = nullptr);
// Whether the window manager shows the window minimised (WM_STATE iconic).
bool IsMinimised(unsigned long id);
// Whether the window asks to stay out of the task list.
bool SkipsTaskList(unsigned long id);
// Brings a window back as a task list does (_NET_ACTIVE_WINDOW).
bool Activate(unsigned long id);
// Drags with the left button from one screen point to another in `steps`
// pointer moves, at a person's pace.
bool Drag(int fromX, int fromY, int toX, int toY, int steps = 8);
// Whether the window is visible now; waits up to `timeoutMs` for it to go.
bool IsVisible(unsigned long id);
bool WaitForGone(unsigned long id, int timeoutMs);
// The ids of the visible windows (of a size).
std::set<unsigned long> VisibleIds();
std::set<unsigned long> VisibleIdsOfSize(int width, int height);
// The window's UTF-8 title (_NET_WM_NAME, else WM_NAME).
std::string Title(unsigned long id);

// Asks the window manager to move a top-level window, and waits for the move.
bool MoveWindow(unsigned long id, int x, int y);
// Moves the window and keeps `w`'s place up to date.
bool MoveWindow(ScreenWindow& w, int x, int y);
// Asks a top-level window to close, as a window manager's close button does.
bool CloseWindow(unsigned long id);
// The pixels of a rectangle of the screen as shown, 0xRRGGBB, row by row;
// empty when the rectangle is not on the screen.
std::vector<uint32_t> GrabScreen(int x, int y, int width, int height);
// The rectangle once it has not changed for 800 ms (at most 10 s).
std::vector<uint32_t> SettledScreen(int x, int y, int width, int height);

// Pointer and keyboard through xdotool (waits for each command).
bool Click(int x, int y);
bool DoubleClick(int x, int y);
bool RightClick(int x, int y);
// Moves the pointer without clicking.
bool PointAt(int x, int y);
// The left button held down at a point, and let go where the pointer is: a
// drag a test follows step by step (PointAt moves the held pointer).
bool ButtonDown(int x, int y);
bool ButtonUp();
// Whether a program holds the pointer (an active grab, as a window holds it
// while it follows a drag).
bool PointerHeld();
// Whether the display gives the pointer, where it is now, to the window (or
// one of its children): the window is there and takes input at that point.
bool PointerOver(unsigned long id);
// Where the pointer is and the windows it lies in, from the root down (for
// a test that says why a window did not get the pointer).
std::string UnderPointer();
bool Type(const std::string& text, int delayMs = 20);
bool Key(const std::string& key);
// Gives a window the keyboard, as the window manager does for the window a
// person clicks.
bool Focus(unsigned long id);
// Questions to the program about a window of its own (the program runs with
// LUM_TEST_QUERIES; see platform/testquery.cpp). Each waits for the answer
// up to `timeoutMs`.
struct Control {
    int id = 0;
    std::string className;
    bool visible = false;
    int x = 0, y = 0, width = 0, height = 0;  // on the screen
    std::string text;
};
// The window's controls (child windows with an id), where they are now.
std::vector<Control> Controls(const ScreenWindow& window, int timeoutMs = 5000);
// The visible control `id` of the window; false when there is none.
bool FindControl(const ScreenWindow& window, int id, Control* found, int timeoutMs = 5000);
// Clicks the middle of a visible control, as a person does.
bool ClickControl(const ScreenWindow& window, int id);
// Where the first element matching `selector` of the page shown in the
// window is on the screen; false when the page has none (yet).
bool ElementRect(const ScreenWindow& window, const std::string& selector, ScreenWindow* rect, int timeoutMs = 5000);
// Clicks the middle of the element, waiting up to `timeoutMs` for it.
bool ClickElement(const ScreenWindow& window, const std::string& selector, int timeoutMs = 10000);
// The text of the element (its value for a form field); empty when none.
std::string ElementText(const ScreenWindow& window, const std::string& selector, int timeoutMs = 5000);
// Whether the page shown in the window has loaded its document, waiting up
// to `timeoutMs` for it.
bool PageLoaded(const ScreenWindow& window, int timeoutMs = 20000);
// A row of a list control or an entry of a popup menu, on the screen.
struct Item {
    int x = 0, y = 0, width = 0, height = 0;
    std::string text;
    int command = 0;  // a menu entry's command id (-1: a submenu, 0: a separator)
};
// The rows of the list control `id` of the window (rows scrolled out of
// sight lie outside the list), or with `id` 0 the entries of the popup menu
// the window is.
std::vector<Item> Items(const ScreenWindow& window, int id, int timeoutMs = 5000);
// Waits up to `timeoutMs` for a row (entry) that `match` takes; in `found`.
template <class Match>
bool WaitForItem(const ScreenWindow& window, int id, Match match, int timeoutMs, Item* found)
{
    return waitFor(
        [&] {
            for (const Item& item : Items(window, id))
                if (item.height > 0 && match(item)) {
                    if (found) *found = item;
                    return true;
                }
            return false;
        },
        timeoutMs);
}

// Whether the window manager has given the window the keyboard.
bool HasFocus(unsigned long id);
// Clicks a point of a window and waits until the window has the keyboard.
bool ClickToType(const ScreenWindow& window, int x, int y);
// Types the account and password into the login dialog and presses its
// login button.
bool TypeLogin(const ScreenWindow& login, const std::string& account, const std::string& password);

// A copy of the program folder (the program, its libraries and data) in a
// new temporary folder; returns the folder.
std::string CopyProgramFolder(const std::string& binDir);
// Starts `program` with no arguments in its folder; returns its pid or -1.
pid_t Start(const std::string& program);
// Ends the process (TERM, then KILL after `graceMs`) and reaps it.
void Stop(pid_t pid, int graceMs = 2000);
// Removes a stopped program's folder, waiting (up to 5 s) for what it left
// running to be gone: a folder still written into cannot be removed at once.
void RemoveFolder(const std::string& folder);
bool IsRunning(pid_t pid);

}  // namespace e2e
