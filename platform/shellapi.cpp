// Tray icons through the toolkit's task bar icon, hotkeys as key grabs on the
// root window, idle time from the display server's screen saver counter.
//
// Key grabs and the idle query use a display connection of their own, so
// that grab errors and key events never mix with the toolkit's connection.
// Its events are read on the UI thread by a timer that runs while any hotkey
// is registered.
#include "platform/shellapi.h"

#include "platform/codepage.h"
#include "platform/gdi_internal.h"
#include "platform/threads.h"
#include "platform/uiapp.h"

#include <wx/bitmap.h>
#include <wx/bmpbndl.h>
#include <wx/eventfilter.h>
#include <wx/icon.h>
#include <wx/image.h>
#include <wx/taskbar.h>
#include <wx/timer.h>

#include <X11/Xlib.h>
#include <X11/extensions/scrnsaver.h>
#include <gio/gio.h>
#include <X11/keysym.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <map>
#include <mutex>
#include <utility>
#include <vector>

namespace {

// ---------------------------------------------------------------- input seen by the program

std::atomic<DWORD> g_lastInput{GetTickCount()};  // the program's start until input comes
std::atomic<bool> g_inputSeen{false};
std::atomic<long> g_idleOverride{-1};

// Notes the time of every keyboard and pointer event the toolkit delivers,
// for displays without an idle counter.
class InputWatch : public wxEventFilter {
public:
    int FilterEvent(wxEvent& event) override
    {
        const wxEventType t = event.GetEventType();
        if (t == wxEVT_KEY_DOWN || t == wxEVT_KEY_UP || t == wxEVT_MOTION || t == wxEVT_LEFT_DOWN ||
            t == wxEVT_LEFT_UP || t == wxEVT_RIGHT_DOWN || t == wxEVT_RIGHT_UP || t == wxEVT_MIDDLE_DOWN ||
            t == wxEVT_MOUSEWHEEL) {
            g_lastInput = GetTickCount();
            g_inputSeen = true;
        }
        return Event_Skip;
    }
};

// Installs the watch once, on the UI thread (the filter list is the UI's).
void watchInput()
{
    static bool installed = false;
    if (installed || !lumui::IsUiThread()) return;
    installed = true;
    // Lives as long as the process: the toolkit keeps a pointer to it.
    wxEvtHandler::AddFilter(new InputWatch);
}

// ---------------------------------------------------------------- own display connection

std::mutex g_xLock;  // guards g_display and everything done on it
Display* g_display = nullptr;
bool g_displayTried = false;
int g_screenSaver = -1;  // 1 when the idle counter is there, 0 when not, -1 unknown

// The connection (caller holds g_xLock); null without a display.
Display* display()
{
    if (!g_displayTried) {
        g_displayTried = true;
        g_display = XOpenDisplay(nullptr);
    }
    return g_display;
}

// Idle milliseconds by the display server, or -1 when it cannot tell.
long serverIdle()
{
    std::lock_guard<std::mutex> lock(g_xLock);
    Display* d = display();
    if (!d) return -1;
    if (g_screenSaver < 0) {
        int eventBase = 0, errorBase = 0;
        g_screenSaver = XScreenSaverQueryExtension(d, &eventBase, &errorBase) ? 1 : 0;
    }
    if (!g_screenSaver) return -1;
    XScreenSaverInfo* info = XScreenSaverAllocInfo();
    if (!info) return -1;
    long idle = -1;
    if (XScreenSaverQueryInfo(d, DefaultRootWindow(d), info)) idle = static_cast<long>(info->idle);
    XFree(info);
    return idle;
}

// ---------------------------------------------------------------- idle time from the desktop

// Displays without the screen-saver extension (XWayland, in a Wayland
// session) do not count the user's input in other programs. There the
// desktop is asked instead: GNOME's idle monitor, else the freedesktop
// screen saver. Calls are asynchronous on the UI thread's main loop; while
// someone reads the idle time a fresh answer is asked for every two seconds,
// and each read uses the newest answer.
enum class DesktopIdle { Unknown, Mutter, FreeDesktop, Nobody };

struct DesktopIdleState {
    DesktopIdle source = DesktopIdle::Unknown;
    GDBusConnection* bus = nullptr;
    bool connecting = false;
    bool asking = false;
    long idleMs = -1;      // the newest answer
    DWORD answeredAt = 0;  // GetTickCount() when it came
    DWORD askedAt = 0;     // when the last question went out
    DWORD readAt = 0;      // when the idle time was last read
    DWORD gaveUpAt = 0;    // when no source answered (asked again a minute later)
    guint poll = 0;
} g_desktopIdle;  // UI thread

void askDesktop();

void onIdleAnswer(GObject* source, GAsyncResult* result, gpointer)
{
    DesktopIdleState& st = g_desktopIdle;
    st.asking = false;
    GError* error = nullptr;
    GVariant* reply = g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), result, &error);
    if (!reply) {
        // The next source is tried; with none left, own input counts.
        if (error) g_error_free(error);
        st.source = st.source == DesktopIdle::Mutter ? DesktopIdle::FreeDesktop : DesktopIdle::Nobody;
        st.idleMs = -1;
        st.gaveUpAt = GetTickCount();
        if (st.source != DesktopIdle::Nobody) askDesktop();
        return;
    }
    if (st.source == DesktopIdle::Mutter && g_variant_is_of_type(reply, G_VARIANT_TYPE("(t)"))) {
        guint64 ms = 0;
        g_variant_get(reply, "(t)", &ms);
        st.idleMs = static_cast<long>(std::min<guint64>(ms, 0x7fffffff));
    } else if (st.source == DesktopIdle::FreeDesktop && g_variant_is_of_type(reply, G_VARIANT_TYPE("(u)"))) {
        guint32 seconds = 0;
        g_variant_get(reply, "(u)", &seconds);
        st.idleMs = static_cast<long>(std::min<guint64>(guint64(seconds) * 1000, 0x7fffffff));
    }
    st.answeredAt = GetTickCount();
    g_variant_unref(reply);
}

void askDesktop()
{
    DesktopIdleState& st = g_desktopIdle;
    if (!st.bus || st.asking || st.source == DesktopIdle::Nobody) return;
    if (st.source == DesktopIdle::Unknown) st.source = DesktopIdle::Mutter;
    st.asking = true;
    st.askedAt = GetTickCount();
    const bool mutter = st.source == DesktopIdle::Mutter;
    g_dbus_connection_call(st.bus, mutter ? "org.gnome.Mutter.IdleMonitor" : "org.freedesktop.ScreenSaver",
                           mutter ? "/org/gnome/Mutter/IdleMonitor/Core" : "/org/freedesktop/ScreenSaver",
                           mutter ? "org.gnome.Mutter.IdleMonitor" : "org.freedesktop.ScreenSaver",
                           mutter ? "GetIdletime" : "GetSessionIdleTime", nullptr, nullptr,
                           G_DBUS_CALL_FLAGS_NO_AUTO_START, 2000, nullptr, onIdleAnswer, nullptr);
}

void onBus(GObject*, GAsyncResult* result, gpointer)
{
    DesktopIdleState& st = g_desktopIdle;
    st.connecting = false;
    st.bus = g_dbus_connection_new_for_address_finish(result, nullptr);
    if (!st.bus) {
        st.source = DesktopIdle::Nobody;
        st.gaveUpAt = GetTickCount();
        return;
    }
    askDesktop();
}

gboolean onIdlePoll(gpointer)
{
    DesktopIdleState& st = g_desktopIdle;
    // Nobody has read the idle time for a minute: no more questions.
    if (st.source == DesktopIdle::Nobody || GetTickCount() - st.readAt > 60000) {
        st.poll = 0;
        return G_SOURCE_REMOVE;
    }
    askDesktop();
    return G_SOURCE_CONTINUE;
}

// Idle milliseconds by the desktop as last answered (-1: no answer), asking
// anew in the background. UI thread.
long desktopIdle(DWORD now)
{
    DesktopIdleState& st = g_desktopIdle;
    st.readAt = now;
    // A desktop that did not answer may have started its service since.
    if (st.source == DesktopIdle::Nobody && st.bus && now - st.gaveUpAt > 60000) st.source = DesktopIdle::Unknown;
    if (st.source == DesktopIdle::Nobody) return -1;
    if (!st.bus && !st.connecting) {
        // A connection of its own, to the session bus the environment names
        // now.
        gchar* address = g_dbus_address_get_for_bus_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
        if (!address) {
            st.source = DesktopIdle::Nobody;
            return -1;
        }
        st.connecting = true;
        g_dbus_connection_new_for_address(
            address, static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                                      G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
            nullptr, nullptr, onBus, nullptr);
        g_free(address);
    }
    if (!st.poll) st.poll = g_timeout_add(2000, onIdlePoll, nullptr);
    if (st.idleMs < 0) return -1;
    // The answer grows older by the time since it came.
    return st.idleMs + static_cast<long>(now - st.answeredAt);
}

// ---------------------------------------------------------------- hotkeys

struct HotKey {
    HWND hwnd;
    int id;
    UINT modifiers;
    UINT vk;
    KeyCode code;
    unsigned xmods;  // ShiftMask / ControlMask / Mod1Mask
};
std::vector<HotKey> g_hotkeys;  // UI thread

KeySym keySymOf(UINT vk)
{
    if (vk >= 'A' && vk <= 'Z') return XK_a + (vk - 'A');
    if (vk >= '0' && vk <= '9') return XK_0 + (vk - '0');
    if (vk >= VK_F1 && vk < VK_F1 + 12) return XK_F1 + (vk - VK_F1);
    if (vk == VK_SPACE) return XK_space;
    return NoSymbol;
}

unsigned xModifiers(UINT modifiers)
{
    unsigned m = 0;
    if (modifiers & MOD_SHIFT) m |= ShiftMask;
    if (modifiers & MOD_CONTROL) m |= ControlMask;
    if (modifiers & MOD_ALT) m |= Mod1Mask;
    return m;
}

// The modifier bit Num Lock sets on this display (0 when none).
unsigned numLockMask(Display* d)
{
    unsigned mask = 0;
    const KeyCode numLock = XKeysymToKeycode(d, XK_Num_Lock);
    XModifierKeymap* map = XGetModifierMapping(d);
    if (!map) return 0;
    for (int mod = 0; mod < 8 && numLock; ++mod)
        for (int k = 0; k < map->max_keypermod; ++k)
            if (map->modifiermap[mod * map->max_keypermod + k] == numLock) mask = 1u << mod;
    XFreeModifiermap(map);
    return mask;
}

// The state bits a grab is repeated with, so Caps Lock and Num Lock do not
// hide the key.
std::vector<unsigned> lockVariants(Display* d)
{
    const unsigned num = numLockMask(d);
    std::vector<unsigned> v{0, LockMask};
    if (num) {
        v.push_back(num);
        v.push_back(num | LockMask);
    }
    return v;
}

bool g_grabFailed = false;
int onGrabError(Display*, XErrorEvent*)
{
    g_grabFailed = true;
    return 0;
}

void postHotKey(const HotKey& k)
{
    ::PostMessage(k.hwnd, WM_HOTKEY, static_cast<WPARAM>(k.id),
                  MAKELPARAM(static_cast<WORD>(k.modifiers), static_cast<WORD>(k.vk)));
}

// Reads the grabbed key presses off the connection.
class HotKeyPoll : public wxTimer {
public:
    void Notify() override
    {
        std::vector<HotKey> hits;
        {
            std::lock_guard<std::mutex> lock(g_xLock);
            Display* d = display();
            if (!d) return;
            while (XPending(d)) {
                XEvent e;
                XNextEvent(d, &e);
                if (e.type != KeyPress) continue;
                const unsigned mods = e.xkey.state & (ShiftMask | ControlMask | Mod1Mask);
                for (const HotKey& k : g_hotkeys)
                    if (k.code == e.xkey.keycode && k.xmods == mods) hits.push_back(k);
            }
        }
        for (const HotKey& k : hits) postHotKey(k);
    }
};
HotKeyPoll* g_poll = nullptr;

void updatePolling()
{
    if (g_hotkeys.empty()) {
        if (g_poll) g_poll->Stop();
        return;
    }
    if (!g_poll) g_poll = new HotKeyPoll;
    if (!g_poll->IsRunning()) g_poll->Start(50);
}

void ungrab(Display* d, const HotKey& k)
{
    const Window root = DefaultRootWindow(d);
    for (unsigned extra : lockVariants(d)) XUngrabKey(d, k.code, k.xmods | extra, root);
    XSync(d, False);
}

// ---------------------------------------------------------------- tray

struct TrayIcon {
    UINT callback = 0;
    HICON icon = nullptr;
    CString tip;
    wxTaskBarIcon* shown = nullptr;  // null where the desktop has no tray
};
std::map<std::pair<HWND, UINT>, TrayIcon> g_tray;  // UI thread

// The icon's picture for the toolkit; fully transparent for a null icon so
// the icon keeps its place while blank.
wxIcon toolkitIcon(HICON icon)
{
    int hotX = 0, hotY = 0;
    cairo_surface_t* s = icon ? IconSurface(icon, &hotX, &hotY) : nullptr;
    wxImage image;
    if (s && cairo_surface_get_type(s) == CAIRO_SURFACE_TYPE_IMAGE) {
        cairo_surface_flush(s);
        const int w = cairo_image_surface_get_width(s);
        const int h = cairo_image_surface_get_height(s);
        const int stride = cairo_image_surface_get_stride(s);
        const unsigned char* data = cairo_image_surface_get_data(s);
        image.Create(w, h);
        image.InitAlpha();
        for (int y = 0; y < h; ++y) {
            const auto* row = reinterpret_cast<const uint32_t*>(data + y * stride);
            for (int x = 0; x < w; ++x) {
                const uint32_t p = row[x];
                const unsigned a = p >> 24;
                auto un = [a](unsigned c) { return static_cast<unsigned char>(a ? (c * 255 + a / 2) / a : 0); };
                image.SetRGB(x, y, un((p >> 16) & 0xFF), un((p >> 8) & 0xFF), un(p & 0xFF));
                image.SetAlpha(x, y, static_cast<unsigned char>(a));
            }
        }
    } else {
        image.Create(16, 16);
        image.InitAlpha();
        memset(image.GetAlpha(), 0, 16 * 16);
    }
    wxIcon result;
    result.CopyFromBitmap(wxBitmap(image));
    return result;
}

void showTray(HWND hwnd, UINT id, TrayIcon& t)
{
    if (!t.shown) {
        if (!wxTaskBarIcon::IsAvailable()) return;
        t.shown = new wxTaskBarIcon;
        auto click = [hwnd, id](UINT message) { return [hwnd, id, message](wxTaskBarIconEvent&) {
            lumui::ClickTray(hwnd, id, message);
        }; };
        t.shown->Bind(wxEVT_TASKBAR_LEFT_DOWN, click(WM_LBUTTONDOWN));
        t.shown->Bind(wxEVT_TASKBAR_RIGHT_UP, click(WM_RBUTTONUP));
        // The desktop's menu gesture (a right click on most trays).
        t.shown->Bind(wxEVT_TASKBAR_CLICK, click(WM_RBUTTONUP));
    }
    t.shown->SetIcon(wxBitmapBundle(toolkitIcon(t.icon)), wxString::FromUTF8(AnsiToUtf8(t.tip).GetString()));
}

void applyFields(TrayIcon& t, const NOTIFYICONDATA& data)
{
    if (data.uFlags & NIF_MESSAGE) t.callback = data.uCallbackMessage;
    if (data.uFlags & NIF_ICON) t.icon = data.hIcon;
    if (data.uFlags & NIF_TIP) {
        size_t n = 0;
        while (n < sizeof(data.szTip) && data.szTip[n]) ++n;
        t.tip = CString(std::string(data.szTip, n).c_str());
    }
}

}  // namespace

// ---------------------------------------------------------------- tray

BOOL Shell_NotifyIcon(DWORD message, PNOTIFYICONDATA data)
{
    if (!data) return FALSE;
    if (!lumui::IsUiThread()) {
        BOOL result = FALSE;
        lumui::RunOnUiThread([&] { result = Shell_NotifyIcon(message, data); });
        return result;
    }
    watchInput();
    const auto key = std::make_pair(data->hWnd, data->uID);
    auto it = g_tray.find(key);
    switch (message) {
    case NIM_ADD: {
        if (it != g_tray.end()) return FALSE;
        TrayIcon& t = g_tray[key];
        applyFields(t, *data);
        showTray(data->hWnd, data->uID, t);
        return TRUE;
    }
    case NIM_MODIFY:
        if (it == g_tray.end()) return FALSE;
        applyFields(it->second, *data);
        showTray(data->hWnd, data->uID, it->second);
        return TRUE;
    case NIM_DELETE:
        if (it == g_tray.end()) return FALSE;
        if (it->second.shown) {
            it->second.shown->RemoveIcon();
            it->second.shown->Destroy();
        }
        g_tray.erase(it);
        return TRUE;
    default:
        return FALSE;
    }
}

BOOL IsTrayAvailable()
{
    if (!lumui::IsUiThread()) {
        BOOL result = FALSE;
        lumui::RunOnUiThread([&] { result = IsTrayAvailable(); });
        return result;
    }
    return wxTaskBarIcon::IsAvailable() ? TRUE : FALSE;
}

// ---------------------------------------------------------------- hotkeys

BOOL RegisterHotKey(HWND hwnd, int id, UINT modifiers, UINT vk)
{
    if (!lumui::IsUiThread()) {
        BOOL result = FALSE;
        lumui::RunOnUiThread([&] { result = RegisterHotKey(hwnd, id, modifiers, vk); });
        return result;
    }
    watchInput();
    const KeySym sym = keySymOf(vk);
    const unsigned xmods = xModifiers(modifiers);
    if (sym == NoSymbol) return FALSE;
    for (const HotKey& k : g_hotkeys)
        if ((k.hwnd == hwnd && k.id == id) || (k.vk == vk && k.xmods == xmods)) return FALSE;

    std::lock_guard<std::mutex> lock(g_xLock);
    Display* d = display();
    if (!d) return FALSE;
    const KeyCode code = XKeysymToKeycode(d, sym);
    if (!code) return FALSE;
    HotKey k{hwnd, id, modifiers, vk, code, xmods};
    // A combination another program holds fails with BadAccess; the error
    // handler is swapped only around this synchronous exchange.
    g_grabFailed = false;
    XErrorHandler previous = XSetErrorHandler(onGrabError);
    const Window root = DefaultRootWindow(d);
    for (unsigned extra : lockVariants(d)) XGrabKey(d, code, xmods | extra, root, False, GrabModeAsync, GrabModeAsync);
    XSync(d, False);
    XSetErrorHandler(previous);
    if (g_grabFailed) {
        previous = XSetErrorHandler(onGrabError);
        ungrab(d, k);
        XSetErrorHandler(previous);
        return FALSE;
    }
    g_hotkeys.push_back(k);
    updatePolling();
    return TRUE;
}

BOOL UnregisterHotKey(HWND hwnd, int id)
{
    if (!lumui::IsUiThread()) {
        BOOL result = FALSE;
        lumui::RunOnUiThread([&] { result = UnregisterHotKey(hwnd, id); });
        return result;
    }
    for (auto it = g_hotkeys.begin(); it != g_hotkeys.end(); ++it) {
        if (it->hwnd != hwnd || it->id != id) continue;
        {
            std::lock_guard<std::mutex> lock(g_xLock);
            if (Display* d = display()) ungrab(d, *it);
        }
        g_hotkeys.erase(it);
        updatePolling();
        return TRUE;
    }
    return FALSE;
}

// ---------------------------------------------------------------- idle time

BOOL GetLastInputInfo(PLASTINPUTINFO info)
{
    if (!info) return FALSE;
    watchInput();
    const DWORD now = GetTickCount();
    long idle = g_idleOverride;
    if (idle < 0) idle = serverIdle();
    if (idle >= 0) {
        info->dwTime = now - static_cast<DWORD>(idle);
        return TRUE;
    }
    // Without the display's counter: the desktop's answer, or this
    // program's own input when that is newer (the answer may be two seconds
    // old), or the program's own input alone when nobody answers.
    const DWORD own = g_lastInput.load();
    DWORD last = own;
    const long desktop = lumui::IsUiThread() ? desktopIdle(now) : -1;
    if (desktop >= 0) {
        last = now - static_cast<DWORD>(desktop);
        if (g_inputSeen && static_cast<LONG>(own - last) > 0) last = own;
    }
    info->dwTime = last;
    return TRUE;
}

// ---------------------------------------------------------------- test hooks

namespace lumui {

TrayIconState TrayState(HWND hwnd, UINT id)
{
    TrayIconState state;
    RunOnUiThread([&] {
        auto it = g_tray.find(std::make_pair(hwnd, id));
        if (it == g_tray.end()) return;
        state.exists = true;
        state.icon = it->second.icon;
        state.tip = it->second.tip;
    });
    return state;
}

bool ClickTray(HWND hwnd, UINT id, UINT mouseMessage)
{
    bool found = false;
    RunOnUiThread([&] {
        auto it = g_tray.find(std::make_pair(hwnd, id));
        if (it == g_tray.end()) return;
        found = true;
        g_lastInput = GetTickCount();
        g_inputSeen = true;
        if (it->second.callback) ::PostMessage(hwnd, it->second.callback, id, mouseMessage);
    });
    return found;
}

bool FireHotKey(HWND hwnd, int id)
{
    bool found = false;
    RunOnUiThread([&] {
        for (const HotKey& k : g_hotkeys)
            if (k.hwnd == hwnd && k.id == id) {
                found = true;
                g_lastInput = GetTickCount();
                g_inputSeen = true;
                postHotKey(k);
                break;
            }
    });
    return found;
}

void SetIdleTimeOverride(long idleMs)
{
    g_idleOverride = idleMs;
}

}  // namespace lumui
