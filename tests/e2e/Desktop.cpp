#include "tests/e2e/Desktop.h"

#include "Lum/LumResource.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <spawn.h>
#include <sys/wait.h>
#include <sstream>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace e2e {

namespace {

int run(const std::vector<std::string>& args)
{
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return -1;
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The xdotool words that bring the pointer to (x, y) and wait until it is
// there; none when it is there already (a move to where the pointer is
// would wait for motion that never comes).
std::vector<std::string> moveTo(int x, int y)
{
    std::vector<std::string> args{"xdotool"};
    if (Display* display = XOpenDisplay(nullptr)) {
        Window root = 0, child = 0;
        int rx = -1, ry = -1, wx = 0, wy = 0;
        unsigned int mask = 0;
        XQueryPointer(display, DefaultRootWindow(display), &root, &child, &rx, &ry, &wx, &wy, &mask);
        XCloseDisplay(display);
        if (rx == x && ry == y) return args;
    }
    args.insert(args.end(), {"mousemove", "--sync", std::to_string(x), std::to_string(y)});
    return args;
}

}  // namespace

namespace {

// A window property as 32-bit items (windows, atoms, cardinals).
std::vector<unsigned long> longProperty(Display* d, Window w, const char* name)
{
    std::vector<unsigned long> out;
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(d, w, XInternAtom(d, name, False), 0, 65536, False, AnyPropertyType, &type, &format, &count,
                           &after, &data) == Success &&
        data) {
        if (format == 32) out.assign(reinterpret_cast<unsigned long*>(data), reinterpret_cast<unsigned long*>(data) + count);
        XFree(data);
    }
    return out;
}

// A window property as UTF-8 text.
std::string textProperty(Display* d, Window w, const char* name)
{
    std::string text;
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(d, w, XInternAtom(d, name, False), 0, 1 << 20, False, AnyPropertyType, &type, &format,
                           &count, &after, &data) == Success &&
        data) {
        if (format == 8) text.assign(reinterpret_cast<char*>(data), count);
        XFree(data);
    }
    return text;
}

std::string titleOf(Display* d, Window w)
{
    std::string title = textProperty(d, w, "_NET_WM_NAME");
    return title.empty() ? textProperty(d, w, "WM_NAME") : title;
}

// Whether the window manager keeps the window out of sight (minimised).
bool hiddenByManager(Display* d, Window w)
{
    const Atom hidden = XInternAtom(d, "_NET_WM_STATE_HIDDEN", False);
    for (unsigned long a : longProperty(d, w, "_NET_WM_STATE"))
        if (a == hidden) return true;
    return false;
}

}  // namespace

// The windows the window manager manages, bottom to top, then the windows it
// does not (menus and other popups), each where it is on the screen.
std::vector<ScreenWindow> VisibleWindows()
{
    std::vector<ScreenWindow> out;
    Display* display = XOpenDisplay(nullptr);
    if (!display) return out;
    const Window root = DefaultRootWindow(display);
    std::vector<unsigned long> candidates = longProperty(display, root, "_NET_CLIENT_LIST_STACKING");
    if (candidates.empty()) candidates = longProperty(display, root, "_NET_CLIENT_LIST");
    Window rootBack = 0, parent = 0, *children = nullptr;
    unsigned int count = 0;
    if (XQueryTree(display, root, &rootBack, &parent, &children, &count)) {
        for (unsigned int i = 0; i < count; ++i) {
            XWindowAttributes a;
            // Programs' own popups (they carry their process id), not the
            // window manager's helper windows (a pixel, off the screen).
            if (XGetWindowAttributes(display, children[i], &a) && a.override_redirect && a.map_state == IsViewable &&
                a.width > 1 && a.height > 1 && a.x + a.width > 0 && a.y + a.height > 0 &&
                !longProperty(display, children[i], "_NET_WM_PID").empty())
                candidates.push_back(children[i]);
        }
        if (children) XFree(children);
    }
    for (unsigned long id : candidates) {
        XWindowAttributes a;
        if (!XGetWindowAttributes(display, id, &a) || a.map_state != IsViewable || hiddenByManager(display, id)) continue;
        ScreenWindow w;
        w.id = id;
        Window child;
        XTranslateCoordinates(display, id, root, 0, 0, &w.x, &w.y, &child);
        w.width = a.width;
        w.height = a.height;
        w.title = titleOf(display, id);
        out.push_back(w);
    }
    XCloseDisplay(display);
    return out;
}

std::vector<ScreenWindow> Popups()
{
    std::vector<ScreenWindow> out;
    Display* display = XOpenDisplay(nullptr);
    if (!display) return out;
    for (const ScreenWindow& w : VisibleWindows()) {
        XWindowAttributes a;
        if (XGetWindowAttributes(display, w.id, &a) && a.override_redirect) out.push_back(w);
    }
    XCloseDisplay(display);
    return out;
}

bool WaitForPopups(size_t count, int timeoutMs, ScreenWindow* last)
{
    return waitFor(
        [&] {
            const std::vector<ScreenWindow> popups = Popups();
            if (popups.size() != count) return false;
            if (last && !popups.empty()) *last = popups.back();
            return true;
        },
        timeoutMs);
}

bool IsMinimised(unsigned long id)
{
    Display* display = XOpenDisplay(nullptr);
    if (!display) return false;
    const std::vector<unsigned long> state = longProperty(display, id, "WM_STATE");
    const bool iconic = !state.empty() && state[0] == IconicState;
    XCloseDisplay(display);
    return iconic;
}

bool SkipsTaskList(unsigned long id)
{
    Display* display = XOpenDisplay(nullptr);
    if (!display) return false;
    const Atom skip = XInternAtom(display, "_NET_WM_STATE_SKIP_TASKBAR", False);
    bool found = false;
    for (unsigned long a : longProperty(display, id, "_NET_WM_STATE"))
        if (a == skip) found = true;
    XCloseDisplay(display);
    return found;
}

bool Activate(unsigned long id)
{
    return run({"xdotool", "windowactivate", std::to_string(id)}) == 0;
}

bool Drag(int fromX, int fromY, int toX, int toY, int steps)
{
    // At a person's pace: a hand takes some 30 ms between pointer moves.
    std::vector<std::string> args = moveTo(fromX, fromY);
    args.insert(args.end(), {"mousedown", "1", "sleep", "0.1"});
    for (int i = 1; i <= steps; ++i) {
        args.insert(args.end(), {"mousemove", "--sync", std::to_string(fromX + (toX - fromX) * i / steps),
                                 std::to_string(fromY + (toY - fromY) * i / steps), "sleep", "0.03"});
    }
    args.insert(args.end(), {"sleep", "0.1", "mouseup", "1"});
    return run(args) == 0;
}

bool WaitForWindow(int width, int height, int timeoutMs, ScreenWindow* found)
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    do {
        for (const ScreenWindow& w : VisibleWindows()) {
            if (w.width == width && w.height == height) {
                if (found) *found = w;
                return true;
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    } while (std::chrono::steady_clock::now() < until);
    return false;
}

bool IsVisible(unsigned long id)
{
    for (const ScreenWindow& w : VisibleWindows())
        if (w.id == id) return true;
    return false;
}

bool WaitForGone(unsigned long id, int timeoutMs)
{
    return waitFor([&] { return !IsVisible(id); }, timeoutMs);
}

std::set<unsigned long> VisibleIds()
{
    std::set<unsigned long> ids;
    for (const ScreenWindow& w : VisibleWindows()) ids.insert(w.id);
    return ids;
}

std::set<unsigned long> VisibleIdsOfSize(int width, int height)
{
    std::set<unsigned long> ids;
    for (const ScreenWindow& w : VisibleWindows())
        if (w.width == width && w.height == height) ids.insert(w.id);
    return ids;
}

std::string Title(unsigned long id)
{
    Display* display = XOpenDisplay(nullptr);
    if (!display) return std::string();
    const std::string title = titleOf(display, id);
    XCloseDisplay(display);
    return title;
}

bool MoveWindow(unsigned long id, int x, int y)
{
    return run({"xdotool", "windowmove", "--sync", std::to_string(id), std::to_string(x), std::to_string(y)}) == 0;
}

bool MoveWindow(ScreenWindow& w, int x, int y)
{
    if (!MoveWindow(w.id, x, y)) return false;
    w.x = x;
    w.y = y;
    return true;
}

bool CloseWindow(unsigned long id)
{
    Display* display = XOpenDisplay(nullptr);
    if (!display) return false;
    XEvent e{};
    e.xclient.type = ClientMessage;
    e.xclient.window = id;
    e.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    e.xclient.format = 32;
    e.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
    e.xclient.data.l[1] = CurrentTime;
    const bool sent = XSendEvent(display, id, False, NoEventMask, &e) != 0;
    XCloseDisplay(display);  // flushes the event
    return sent;
}

std::vector<uint32_t> GrabScreen(int x, int y, int width, int height)
{
    std::vector<uint32_t> out;
    Display* display = XOpenDisplay(nullptr);
    if (!display) return out;
    // A rectangle beyond the screen would be an X error, which ends the program.
    const int screen = DefaultScreen(display);
    if (x < 0 || y < 0 || width <= 0 || height <= 0 || x + width > DisplayWidth(display, screen) ||
        y + height > DisplayHeight(display, screen)) {
        XCloseDisplay(display);
        return out;
    }
    XImage* image = XGetImage(display, DefaultRootWindow(display), x, y, static_cast<unsigned>(width),
                              static_cast<unsigned>(height), AllPlanes, ZPixmap);
    if (image) {
        out.reserve(static_cast<size_t>(width) * static_cast<size_t>(height));
        for (int row = 0; row < height; ++row)
            for (int col = 0; col < width; ++col) out.push_back(XGetPixel(image, col, row) & 0xFFFFFF);
        XDestroyImage(image);
    }
    XCloseDisplay(display);
    return out;
}

std::vector<uint32_t> SettledScreen(int x, int y, int width, int height)
{
    std::vector<uint32_t> last = GrabScreen(x, y, width, height);
    auto since = std::chrono::steady_clock::now();
    const auto until = since + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < until) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        std::vector<uint32_t> now = GrabScreen(x, y, width, height);
        if (now != last) {
            last = now;
            since = std::chrono::steady_clock::now();
        } else if (std::chrono::steady_clock::now() - since > std::chrono::milliseconds(800)) {
            break;
        }
    }
    return last;
}

bool Click(int x, int y)
{
    std::vector<std::string> args = moveTo(x, y);
    args.insert(args.end(), {"click", "1"});
    return run(args) == 0;
}

bool DoubleClick(int x, int y)
{
    std::vector<std::string> args = moveTo(x, y);
    args.insert(args.end(), {"click", "--repeat", "2", "--delay", "80", "1"});
    return run(args) == 0;
}

bool RightClick(int x, int y)
{
    std::vector<std::string> args = moveTo(x, y);
    args.insert(args.end(), {"click", "3"});
    return run(args) == 0;
}

bool PointAt(int x, int y)
{
    const std::vector<std::string> args = moveTo(x, y);
    return args.size() == 1 || run(args) == 0;
}

bool ButtonDown(int x, int y)
{
    std::vector<std::string> args = moveTo(x, y);
    args.insert(args.end(), {"mousedown", "1"});
    return run(args) == 0;
}

bool ButtonUp()
{
    return run({"xdotool", "mouseup", "1"}) == 0;
}

bool PointerOver(unsigned long id)
{
    Display* display = XOpenDisplay(nullptr);
    if (!display) return false;
    bool over = false;
    // From the root down through the windows that contain the pointer, as the
    // display itself finds where input goes (input shapes included).
    Window at = DefaultRootWindow(display);
    for (int depth = 0; depth < 16 && at && !over; ++depth) {
        Window root = 0, child = 0;
        int rx = 0, ry = 0, wx = 0, wy = 0;
        unsigned int mask = 0;
        if (!XQueryPointer(display, at, &root, &child, &rx, &ry, &wx, &wy, &mask)) break;
        over = child == id;
        at = child;
    }
    XCloseDisplay(display);
    return over;
}

std::string UnderPointer()
{
    Display* display = XOpenDisplay(nullptr);
    if (!display) return "no display";
    std::ostringstream out;
    Window at = DefaultRootWindow(display);
    for (int depth = 0; depth < 16 && at; ++depth) {
        Window root = 0, child = 0;
        int rx = 0, ry = 0, wx = 0, wy = 0;
        unsigned int mask = 0;
        if (!XQueryPointer(display, at, &root, &child, &rx, &ry, &wx, &wy, &mask)) break;
        if (depth == 0) out << "pointer at " << rx << "," << ry << ":";
        if (!child) break;
        char* name = nullptr;
        XWindowAttributes a{};
        XGetWindowAttributes(display, child, &a);
        XFetchName(display, child, &name);
        out << " 0x" << std::hex << child << std::dec << " '" << (name ? name : "") << "' " << a.width << "x"
            << a.height << "+" << a.x << "+" << a.y;
        if (name) XFree(name);
        at = child;
    }
    XCloseDisplay(display);
    return out.str();
}

bool PointerHeld()
{
    Display* display = XOpenDisplay(nullptr);
    if (!display) return false;
    const int grabbed = XGrabPointer(display, DefaultRootWindow(display), False, 0, GrabModeAsync, GrabModeAsync,
                                     None, None, CurrentTime);
    if (grabbed == GrabSuccess) XUngrabPointer(display, CurrentTime);
    XCloseDisplay(display);
    return grabbed == AlreadyGrabbed;
}

namespace {

// The Unicode code point of the UTF-8 character at the start of `c`.
unsigned long codePoint(const std::string& c)
{
    const auto b = [&](size_t i) { return static_cast<unsigned long>(static_cast<unsigned char>(c[i])); };
    if (c.size() >= 4 && (b(0) & 0xF8) == 0xF0) return ((b(0) & 0x07) << 18) | ((b(1) & 0x3F) << 12) | ((b(2) & 0x3F) << 6) | (b(3) & 0x3F);
    if (c.size() >= 3 && (b(0) & 0xF0) == 0xE0) return ((b(0) & 0x0F) << 12) | ((b(1) & 0x3F) << 6) | (b(2) & 0x3F);
    if (c.size() >= 2 && (b(0) & 0xE0) == 0xC0) return ((b(0) & 0x1F) << 6) | (b(1) & 0x3F);
    return b(0);
}

// Types one character that is on no key: a spare key is mapped to it and
// struck. Programs may read the new mapping only when they translate the
// key, so the mapping stays: the spare keys are taken in turn and each is
// mapped anew only many characters later.
bool typeOffKeys(const std::string& character, int delayMs)
{
    Display* display = XOpenDisplay(nullptr);
    if (!display) return false;
    int minCode = 0, maxCode = 0, perCode = 0;
    XDisplayKeycodes(display, &minCode, &maxCode);
    KeySym* map = XGetKeyboardMapping(display, static_cast<KeyCode>(minCode), maxCode - minCode + 1, &perCode);
    static std::vector<int> spare;
    if (spare.empty() && map) {
        for (int code = maxCode; code >= minCode && spare.size() < 16; --code) {
            bool empty = true;
            for (int i = 0; i < perCode; ++i) empty = empty && map[(code - minCode) * perCode + i] == NoSymbol;
            if (empty) spare.push_back(code);
        }
    }
    if (map) XFree(map);
    static size_t next = 0;
    bool ok = !spare.empty();
    if (ok) {
        const int code = spare[next++ % spare.size()];
        const unsigned long cp = codePoint(character);
        KeySym sym[2];
        sym[0] = sym[1] = cp < 0x100 ? cp : (0x01000000UL | cp);
        XChangeKeyboardMapping(display, code, 2, sym, 1);
        XSync(display, False);
        ok = XTestFakeKeyEvent(display, static_cast<unsigned>(code), True, CurrentTime) &&
             XTestFakeKeyEvent(display, static_cast<unsigned>(code), False, CurrentTime);
        XSync(display, False);
    }
    XCloseDisplay(display);
    std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
    return ok;
}

}  // namespace

bool Type(const std::string& text, int delayMs)
{
    // The keyboard's own characters go in runs; others one by one.
    size_t at = 0;
    while (at < text.size()) {
        const bool onKeys = static_cast<unsigned char>(text[at]) < 0x80;
        size_t end = at + 1;
        if (onKeys) {
            while (end < text.size() && static_cast<unsigned char>(text[end]) < 0x80) ++end;
        } else {
            while (end < text.size() && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) ++end;
        }
        const std::string part = text.substr(at, end - at);
        const bool typed = onKeys ? run({"xdotool", "type", "--delay", std::to_string(delayMs), part}) == 0
                                  : typeOffKeys(part, delayMs);
        if (!typed) return false;
        at = end;
    }
    return true;
}

bool Key(const std::string& key)
{
    return run({"xdotool", "key", key}) == 0;
}

bool Focus(unsigned long id)
{
    return run({"xdotool", "windowactivate", "--sync", std::to_string(id)}) == 0;
}

namespace {

// Asks the program a question about one of its windows and waits for the
// answer with the question's number.
bool ask(unsigned long window, const std::string& question, std::string* reply, int timeoutMs)
{
    static int counter = 0;
    const std::string number = std::to_string(++counter) + "-" + std::to_string(getpid());
    Display* display = XOpenDisplay(nullptr);
    if (!display) return false;
    const std::string text = number + " " + question;
    XChangeProperty(display, window, XInternAtom(display, "_LUM_QUERY", False),
                    XInternAtom(display, "UTF8_STRING", False), 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(text.data()), static_cast<int>(text.size()));
    XFlush(display);
    const bool answered = waitFor(
        [&] {
            const std::string answer = textProperty(display, window, "_LUM_ANSWER");
            if (answer.compare(0, number.size() + 1, number + "\n") != 0) return false;
            *reply = answer.substr(number.size() + 1);
            return true;
        },
        timeoutMs);
    XCloseDisplay(display);
    return answered;
}

}  // namespace

std::vector<Control> Controls(const ScreenWindow& window, int timeoutMs)
{
    std::vector<Control> out;
    std::string reply;
    if (!ask(window.id, "controls", &reply, timeoutMs)) return out;
    std::istringstream lines(reply);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        Control c;
        std::string id, visible, x, y, w, h;
        if (!std::getline(fields, id, '\t') || !std::getline(fields, c.className, '\t') ||
            !std::getline(fields, visible, '\t') || !std::getline(fields, x, '\t') || !std::getline(fields, y, '\t') ||
            !std::getline(fields, w, '\t') || !std::getline(fields, h, '\t'))
            continue;
        std::getline(fields, c.text);
        c.id = std::atoi(id.c_str());
        c.visible = visible == "1";
        c.x = window.x + std::atoi(x.c_str());
        c.y = window.y + std::atoi(y.c_str());
        c.width = std::atoi(w.c_str());
        c.height = std::atoi(h.c_str());
        out.push_back(c);
    }
    return out;
}

bool FindControl(const ScreenWindow& window, int id, Control* found, int timeoutMs)
{
    return waitFor(
        [&] {
            for (const Control& c : Controls(window, timeoutMs))
                if (c.id == id && c.visible) {
                    if (found) *found = c;
                    return true;
                }
            return false;
        },
        timeoutMs);
}

bool ClickControl(const ScreenWindow& window, int id)
{
    Control c;
    return FindControl(window, id, &c) && Click(c.x + c.width / 2, c.y + c.height / 2);
}

bool ElementRect(const ScreenWindow& window, const std::string& selector, ScreenWindow* rect, int timeoutMs)
{
    return waitFor(
        [&] {
            std::string reply;
            if (!ask(window.id, "element " + selector, &reply, timeoutMs)) return false;
            int x = 0, y = 0, w = 0, h = 0;
            if (std::sscanf(reply.c_str(), "%d %d %d %d", &x, &y, &w, &h) != 4 || w <= 0 || h <= 0) return false;
            rect->x = window.x + x;
            rect->y = window.y + y;
            rect->width = w;
            rect->height = h;
            return true;
        },
        timeoutMs);
}

bool ClickElement(const ScreenWindow& window, const std::string& selector, int timeoutMs)
{
    ScreenWindow r;
    return ElementRect(window, selector, &r, timeoutMs) && Click(r.x + r.width / 2, r.y + r.height / 2);
}

std::string ElementText(const ScreenWindow& window, const std::string& selector, int timeoutMs)
{
    std::string reply;
    return ask(window.id, "text " + selector, &reply, timeoutMs) ? reply : std::string();
}

bool PageLoaded(const ScreenWindow& window, int timeoutMs)
{
    return waitFor(
        [&] {
            std::string reply;
            return ask(window.id, "page", &reply, timeoutMs) && reply.compare(0, 7, "loaded ") == 0;
        },
        timeoutMs);
}

std::vector<Item> Items(const ScreenWindow& window, int id, int timeoutMs)
{
    std::vector<Item> out;
    std::string reply;
    if (!ask(window.id, "items " + std::to_string(id), &reply, timeoutMs)) return out;
    std::istringstream lines(reply);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string x, y, w, h;
        Item item;
        if (!std::getline(fields, x, '\t') || !std::getline(fields, y, '\t') || !std::getline(fields, w, '\t') ||
            !std::getline(fields, h, '\t'))
            continue;
        std::getline(fields, item.text, '\t');
        std::string command;
        if (std::getline(fields, command)) item.command = std::atoi(command.c_str());
        item.x = window.x + std::atoi(x.c_str());
        item.y = window.y + std::atoi(y.c_str());
        item.width = std::atoi(w.c_str());
        item.height = std::atoi(h.c_str());
        out.push_back(item);
    }
    return out;
}

bool HasFocus(unsigned long id)
{
    Display* display = XOpenDisplay(nullptr);
    if (!display) return false;
    const std::vector<unsigned long> active = longProperty(display, DefaultRootWindow(display), "_NET_ACTIVE_WINDOW");
    // The window manager names the active window before the program takes
    // the keyboard (it is asked to, and does so when it gets to it): keys
    // sent in between go wherever the keyboard was. The display's own focus
    // says where keys go now; the toolkit puts it on a window inside its
    // top-level one.
    bool keyboard = false;
    if (!active.empty() && active[0] == id) {
        Window focus = None;
        int revert = 0;
        XGetInputFocus(display, &focus, &revert);
        while (focus != None && focus != PointerRoot && !keyboard) {
            if (focus == id) {
                keyboard = true;
                break;
            }
            Window root = None, parent = None, *children = nullptr;
            unsigned int count = 0;
            if (!XQueryTree(display, focus, &root, &parent, &children, &count)) break;
            if (children) XFree(children);
            focus = parent == root ? None : parent;
        }
    }
    XCloseDisplay(display);
    return keyboard;
}

bool ClickToType(const ScreenWindow& window, int x, int y)
{
    // The window manager gives the keyboard to the window clicked; typing
    // waits for that, as a person sees the caret before typing.
    return Click(x, y) && waitFor([&] { return HasFocus(window.id); }, 5000);
}

bool TypeLogin(const ScreenWindow& login, const std::string& account, const std::string& password)
{
    Control accountBox, passwordBox;
    return FindControl(login, IDC_EDIT_ACCOUNT, &accountBox) && FindControl(login, IDC_EDIT_PASSWORD, &passwordBox) &&
           ClickToType(login, accountBox.x + accountBox.width / 2, accountBox.y + accountBox.height / 2) &&
           Type(account) &&
           ClickToType(login, passwordBox.x + passwordBox.width / 2, passwordBox.y + passwordBox.height / 2) &&
           Type(password) && ClickControl(login, IDC_BTN_LOGIN);
}

std::string CopyProgramFolder(const std::string& binDir)
{
    std::string pattern = (std::filesystem::temp_directory_path() / "lum-e2e-XXXXXX").string();
    if (!mkdtemp(&pattern[0])) return std::string();
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(binDir, ec)) {
        // The program and its libraries; data files and user folders stay behind.
        if (!entry.is_regular_file()) continue;
        const std::string name = entry.path().filename().string();
        if (name == "Lum.ini" || name == "KivSys.dll") continue;
        std::filesystem::copy_file(entry.path(), std::filesystem::path(pattern) / name, ec);
    }
    return pattern;
}

pid_t Start(const std::string& program)
{
    const std::string folder = std::filesystem::path(program).parent_path().string();
    pid_t pid = fork();
    if (pid == 0) {
        // A process group of its own, so that Stop also ends what the program
        // started (the updater beside it, the web engine's processes).
        setpgid(0, 0);
        if (chdir(folder.c_str()) != 0) _exit(127);
        // The program answers the tests' questions about its windows.
        setenv("LUM_TEST_QUERIES", "1", 1);
        execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    return pid;
}

bool IsRunning(pid_t pid)
{
    return pid > 0 && waitpid(pid, nullptr, WNOHANG) == 0;
}

void Stop(pid_t pid, int graceMs)
{
    if (pid <= 0) return;
    kill(pid, SIGTERM);
    bool ended = false;
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(graceMs);
    while (!ended && std::chrono::steady_clock::now() < until) {
        ended = waitpid(pid, nullptr, WNOHANG) == pid;
        if (!ended) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (!ended) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
    // What the program started and left running ends with it: it would go
    // on writing into the program's folder while the test removes it.
    kill(-pid, SIGKILL);
}

void RemoveFolder(const std::string& folder)
{
    if (folder.empty()) return;
    waitFor(
        [&] {
            std::error_code ec;
            std::filesystem::remove_all(folder, ec);
            return !ec && !std::filesystem::exists(folder, ec);
        },
        5000);
}

}  // namespace e2e
