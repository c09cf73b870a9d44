#include "tests/e2e/Clipboard.h"

#include "tests/e2e/Desktop.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <chrono>
#include <thread>

namespace e2e {

std::string ClipboardText(int timeoutMs)
{
    Display* display = XOpenDisplay(nullptr);
    if (!display) return std::string();
    const Atom clipboard = XInternAtom(display, "CLIPBOARD", False);
    const Atom utf8 = XInternAtom(display, "UTF8_STRING", False);
    const Atom property = XInternAtom(display, "LUM_TEST_CLIPBOARD", False);
    std::string text;
    if (XGetSelectionOwner(display, clipboard) != None) {
        const Window window = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 1, 1, 0, 0, 0);
        XConvertSelection(display, clipboard, utf8, property, window, CurrentTime);
        XFlush(display);
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        bool answered = false;
        while (!answered && std::chrono::steady_clock::now() < until) {
            XEvent event;
            if (!XCheckTypedWindowEvent(display, window, SelectionNotify, &event)) {
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
                continue;
            }
            answered = true;
            if (event.xselection.property == None) break;
            Atom type = None;
            int format = 0;
            unsigned long count = 0, left = 0;
            unsigned char* data = nullptr;
            if (XGetWindowProperty(display, window, property, 0, 1 << 20, True, AnyPropertyType, &type, &format,
                                   &count, &left, &data) == Success &&
                data) {
                if (format == 8) text.assign(reinterpret_cast<const char*>(data), count);
                XFree(data);
            }
        }
        XDestroyWindow(display, window);
    }
    XCloseDisplay(display);
    return text;
}

bool TypeLanded(const std::string& text, std::string* shown)
{
    std::string last;
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (!Key("ctrl+a") || !Type(text) || !Key("ctrl+a") || !Key("ctrl+c")) break;
        if (waitFor([&] { return (last = ClipboardText()) == text; }, 5000)) {
            if (shown) *shown = last;
            return true;
        }
    }
    if (shown) *shown = last;
    return false;
}

}  // namespace e2e
