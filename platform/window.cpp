// The window layer over wxWidgets (GTK 3): records, handles, message
// dispatch, cross-thread messages, timers, painting into back buffers,
// mouse and key translation, moving and sizing, modal loops.
#include "platform/window_internal.h"

#include "platform/codepage.h"
#include "platform/uiapp.h"

#include <glib.h>
#include <wx/evtloop.h>
#include <wx/frame.h>
#include <wx/msgdlg.h>
#include <wx/region.h>
#include <wx/textctrl.h>
#include <wx/timer.h>
#include <wx/weakref.h>
#include <wx/wx.h>

#include <algorithm>
#include <cmath>
#include <atomic>
#include <chrono>
#include <deque>
#include <mutex>
#include <future>
#include <thread>
#include <vector>

#include "platform/gdi_internal.h"

#include <gdk/gdk.h>
#include <gtk/gtk.h>

namespace lumui {

namespace {

std::recursive_mutex g_tableLock;
std::map<HWND, std::unique_ptr<WindowRecord>> g_windows;
uintptr_t g_nextHandle = 0x10000;
std::thread::id g_uiThread;
std::atomic<bool> g_started{false};

POINT g_cursor;                 // last pointer position seen, screen coordinates
bool g_testPointer = false;     // the last pointer event came from a test, not the display
POINT g_realAtTest;             // where the display had the pointer then

GdkDevice* pointerDevice()
{
    GdkDisplay* display = gdk_display_get_default();
    GdkSeat* seat = display ? gdk_display_get_default_seat(display) : nullptr;
    return seat ? gdk_seat_get_pointer(seat) : nullptr;
}

// Where the display has the pointer (UI thread); false without a display.
bool realPointer(POINT* p)
{
    GdkDevice* pointer = pointerDevice();
    if (!pointer) return false;
    int x = 0, y = 0;
    gdk_device_get_position(pointer, nullptr, &x, &y);
    p->x = x;
    p->y = y;
    return true;
}
HCURSOR g_currentCursor = nullptr;
HWND g_capture = nullptr;
HWND g_focus = nullptr;
HWND g_foreground = nullptr;
HWND g_hoverWindow = nullptr;   // window under the pointer
bool g_leftDown = false;        // the left button as the layer last saw it
POINT g_pressAt;                // where it last went down, screen coordinates
POINT g_releaseAt;              // where it last went up, screen coordinates
bool g_pressDragged = false;    // the last press started a drag (or was moved for)
guint32 g_userTime = 0;         // the display's time stamp of the user's latest input to the program

// Notes the time stamp of the input event being handled (none for input a
// test makes).
void noteUserTime()
{
    if (const guint32 t = gtk_get_current_event_time()) g_userTime = t;
}

// Brings a top-level window to the front as the user's doing, with the time
// of the user's latest input: a window manager keeps windows that come
// without one below the active window.
void presentTopLevel(WindowRecord* rec)
{
    if (!rec || !rec->widget || !rec->widget->IsTopLevel()) return;
    if (rec->className == kMenuClass) {
        rec->widget->Raise();
        return;
    }
    gtk_window_present_with_time(GTK_WINDOW(rec->widget->GetHandle()), g_userTime ? g_userTime : GDK_CURRENT_TIME);
}
std::atomic<bool> g_quit{false};
std::vector<wxGUIEventLoop*> g_loops;

// Moving and sizing a window with the mouse.
struct Tracking {
    enum Mode { None, Move, Size } mode = None;
    HWND hwnd = nullptr;
    int edge = 0;  // WMSZ edge: 1 left, 2 right, 3 top, 4 top-left, 5 top-right, 6 bottom, 7 bottom-left, 8 bottom-right
    POINT start;
    RECT startRect;
} g_track;

thread_local std::vector<MSG> t_current;

// Advances whenever a window paints or the window tree changes in a way
// that may need painting (created, shown or hidden, moved or sized,
// reparented). An invalidation made in the current epoch still stands:
// nothing has painted the windows it marked since.
std::atomic<unsigned long long> g_paintEpoch{1};

void nextPaintEpoch()
{
    g_paintEpoch.fetch_add(1, std::memory_order_relaxed);
}

bool onUiThread()
{
    return g_started && std::this_thread::get_id() == g_uiThread;
}

CWnd* objectOf(HWND hwnd)
{
    std::lock_guard<std::recursive_mutex> lock(g_tableLock);
    auto it = g_windows.find(hwnd);
    return it == g_windows.end() ? nullptr : it->second->wnd;
}

std::vector<HWND> childrenOf(HWND parent)
{
    std::vector<HWND> out;
    std::lock_guard<std::recursive_mutex> lock(g_tableLock);
    for (auto& kv : g_windows)
        if (kv.second->parent == parent) out.push_back(kv.first);
    return out;  // handles grow, so this is creation order
}

bool isTopLevel(const WindowRecord* rec)
{
    return !(rec->style & WS_CHILD);
}

// Screen position of a window's top-left corner, computed from the layer's
// own positions so that it does not depend on the display server's timing.
wxPoint screenOrigin(const WindowRecord* rec)
{
    if (!rec) return wxPoint();
    if (isTopLevel(rec)) return wxPoint(rec->x, rec->y);
    return screenOrigin(Find(rec->parent)) + wxPoint(rec->x, rec->y);
}

LPARAM pointParam(POINT p)
{
    return MAKELPARAM(static_cast<WORD>(static_cast<short>(p.x)), static_cast<WORD>(static_cast<short>(p.y)));
}

UINT vkFromWx(int code)
{
    switch (code) {
    case WXK_BACK: return VK_BACK;
    case WXK_TAB: return VK_TAB;
    case WXK_RETURN:
    case WXK_NUMPAD_ENTER: return VK_RETURN;
    case WXK_ESCAPE: return VK_ESCAPE;
    case WXK_SPACE: return VK_SPACE;
    case WXK_PAGEUP: return VK_PRIOR;
    case WXK_PAGEDOWN: return VK_NEXT;
    case WXK_END: return VK_END;
    case WXK_HOME: return VK_HOME;
    case WXK_LEFT: return VK_LEFT;
    case WXK_UP: return VK_UP;
    case WXK_RIGHT: return VK_RIGHT;
    case WXK_DOWN: return VK_DOWN;
    case WXK_DELETE: return VK_DELETE;
    case WXK_SHIFT: return VK_SHIFT;
    case WXK_CONTROL: return VK_CONTROL;
    case WXK_ALT: return VK_MENU;
    default: break;
    }
    if (code >= WXK_F1 && code <= WXK_F12) return VK_F1 + (code - WXK_F1);
    if (code >= 'a' && code <= 'z') return static_cast<UINT>(code - 'a' + 'A');
    if (code > 0 && code < 128) return static_cast<UINT>(code);
    return 0;
}

// ---------------------------------------------------------------- timers

class LayerTimer : public wxTimer {
public:
    LayerTimer(HWND hwnd, UINT_PTR id, UINT message) : hwnd_(hwnd), id_(id), message_(message) {}
    void Notify() override
    {
        if (message_ == WM_MOUSEHOVER) {
            WindowRecord* rec = Find(hwnd_);
            if (!rec || !(rec->trackFlags & TME_HOVER)) return;
            rec->trackFlags &= ~TME_HOVER;
            POINT p = g_cursor;
            wxPoint o = screenOrigin(rec);
            p.x -= o.x;
            p.y -= o.y;
            Dispatch(hwnd_, WM_MOUSEHOVER, 0, pointParam(p));
            return;
        }
        if (Find(hwnd_)) {
            MSG m;
            m.hwnd = hwnd_;
            m.message = WM_TIMER;
            m.wParam = id_;
            if (!PreTranslate(m)) Dispatch(hwnd_, WM_TIMER, id_, 0);
        }
    }

private:
    HWND hwnd_;
    UINT_PTR id_;
    UINT message_;
};

// ---------------------------------------------------------------- widgets

void onPaint(HWND hwnd, wxWindow* widget);
void bindInput(HWND hwnd, wxWindow* widget);

// Gives a top-level window its opacity (the toolkit's own call refuses a
// window that already has its GDK window). A fully transparent window is not
// shown to the user, so it takes no input either: its input shape is emptied
// (the pointer reaches what lies below) and given back when it becomes
// visible again.
void applyInputShape(WindowRecord* rec)
{
    GdkWindow* gw = rec && rec->widget ? gtk_widget_get_window(rec->widget->GetHandle()) : nullptr;
    if (!gw || !isTopLevel(rec)) return;
    if (rec->alpha == 0) {
        cairo_region_t* none = cairo_region_create();
        gdk_window_input_shape_combine_region(gw, none, 0, 0);
        cairo_region_destroy(none);
    } else {
        gdk_window_input_shape_combine_region(gw, rec->region, 0, 0);  // null: the whole window
    }
}

// On a display that composes nothing (no compositing window manager) a
// window's opacity does not show: a fully transparent top-level window would
// show as an opaque one, so it is kept off the screen while it is fully
// transparent, and the program still counts it as shown.
bool keptOffScreen(WindowRecord* rec)
{
    if (!rec || !rec->widget || !isTopLevel(rec) || rec->alpha != 0) return false;
    GdkScreen* screen = gtk_widget_get_screen(rec->widget->GetHandle());
    return screen && !gdk_screen_is_composited(screen);
}

void applyAlpha(WindowRecord* rec)
{
    if (!rec || !rec->widget || !isTopLevel(rec)) return;
    GtkWidget* w = rec->widget->GetHandle();
    gtk_widget_set_opacity(w, rec->alpha / 255.0);
    applyInputShape(rec);
    // Nor does it take the keyboard from the window the user sees.
    gtk_window_set_accept_focus(GTK_WINDOW(w), rec->alpha != 0);
    gtk_window_set_focus_on_map(GTK_WINDOW(w), rec->alpha != 0);
    if (!rec->visible) return;
    if (keptOffScreen(rec)) {
        if (rec->widget->IsShown()) rec->widget->Hide();
    } else if (!rec->widget->IsShown()) {
        rec->widget->Show();
        rec->widget->SetSize(rec->x, rec->y, std::max(rec->cx, 1), std::max(rec->cy, 1));
    }
}

// ---------------------------------------------------------------- window manager

// Window managers keep ordinary windows on the screen. A topmost window the
// program puts partly beyond the screen's edge (a panel docked to an edge and
// slid away) is typed as a dock while it is there, which window managers
// leave where the program puts it; back on the screen it takes its own type
// again.
void updateDockHint(WindowRecord* rec)
{
    GdkWindow* gw = rec->widget ? gtk_widget_get_window(rec->widget->GetHandle()) : nullptr;
    if (!gw || rec->className == kMenuClass) return;
    const int sw = GetSystemMetrics(SM_CXSCREEN), sh = GetSystemMetrics(SM_CYSCREEN);
    const bool beyond = rec->x < 0 || rec->y < 0 || rec->x + rec->cx > sw || rec->y + rec->cy > sh;
    const bool dock = beyond && rec->topmost;
    if (dock == rec->dockHint) return;
    if (dock) rec->normalHint = gdk_window_get_type_hint(gw);
    rec->dockHint = dock;
    gdk_window_set_type_hint(gw, dock ? GDK_WINDOW_TYPE_HINT_DOCK : static_cast<GdkWindowTypeHint>(rec->normalHint));
}

void followWindowManager(HWND hwnd);

gboolean recheckPosition(gpointer data)
{
    const HWND hwnd = static_cast<HWND>(data);
    if (WindowRecord* rec = Find(hwnd)) {
        rec->recheckDue = false;
        followWindowManager(hwnd);
    }
    return G_SOURCE_REMOVE;
}

// A top-level window the window manager put elsewhere than the program asked
// (kept on the screen, placed by its own rules) is where the window manager
// says: the layer's position follows, and the window hears of it. A position
// reported soon after the program asked for another may be older than the
// request; it is looked at again once moves have settled.
void followWindowManager(HWND hwnd)
{
    WindowRecord* rec = Find(hwnd);
    if (!rec || !rec->widget || rec->className == kMenuClass || !rec->visible || rec->iconic) return;
    if (g_track.mode != Tracking::None && g_track.hwnd == hwnd) return;  // the drag places it
    const wxPoint real = rec->widget->GetPosition();
    if (real == wxPoint(rec->x, rec->y)) return;
    const auto settle = std::chrono::milliseconds(300);
    if (std::chrono::steady_clock::now() - rec->moveAskedAt < settle) {
        if (!rec->recheckDue) {
            rec->recheckDue = true;
            g_timeout_add(static_cast<guint>(settle.count()), recheckPosition, hwnd);
        }
        return;
    }
    nextPaintEpoch();
    rec->x = real.x;
    rec->y = real.y;
    Dispatch(hwnd, WM_MOVE, 0, MAKELPARAM(real.x, real.y));
}

// ---------------------------------------------------------------- input grabs

// The pointer (and for menus the keyboard) is grabbed through GDK directly,
// not through the toolkit's capture stack: under a window manager a new
// top-level window is mapped some time after it is shown, the display
// refuses a grab for a window not yet on screen, and a refused grab must
// leave nothing behind. A grab asked for such a window is made when the
// window maps; one the display breaks (another program grabbed) is simply
// gone.
struct InputGrab {
    HWND hwnd = nullptr;
    bool keyboard = false;
    bool held = false;
} g_grab;

GdkWindow* gdkWindowOf(const WindowRecord* rec)
{
    if (!rec || !rec->widget) return nullptr;
    GdkWindow* w = rec->widget->GTKGetDrawingWindow();
    return w ? w : gtk_widget_get_window(rec->widget->GetHandle());
}

bool tryGrab()
{
    GdkWindow* w = gdkWindowOf(Find(g_grab.hwnd));
    if (!w || !gdk_window_is_viewable(w)) return false;
    GdkSeat* seat = gdk_display_get_default_seat(gdk_window_get_display(w));
    if (!seat) return false;
    const GdkSeatCapabilities caps = static_cast<GdkSeatCapabilities>(
        g_grab.keyboard ? GDK_SEAT_CAPABILITY_ALL_POINTING | GDK_SEAT_CAPABILITY_KEYBOARD : GDK_SEAT_CAPABILITY_ALL_POINTING);
    g_grab.held = gdk_seat_grab(seat, w, caps, TRUE, nullptr, nullptr, nullptr, nullptr) == GDK_GRAB_SUCCESS;
    return g_grab.held;
}

// The top-level window a window belongs to.
HWND topLevelOf(HWND hwnd)
{
    for (WindowRecord* rec = Find(hwnd); rec; rec = Find(rec->parent))
        if (isTopLevel(rec)) return rec->handle;
    return nullptr;
}

gboolean onTopLevelMapped(GtkWidget*, GdkEvent*, gpointer data)
{
    const HWND top = static_cast<HWND>(data);
    if (g_grab.hwnd && !g_grab.held && topLevelOf(g_grab.hwnd) == top) tryGrab();
    if (WindowRecord* rec = Find(top)) {
        // A map the window manager made after the program had hidden the
        // window again is undone.
        if (!rec->visible || keptOffScreen(rec)) {
            rec->widget->Hide();
            return FALSE;
        }
        // The toolkit gives a window its whole input area when it maps it.
        if (rec->alpha == 0) applyInputShape(rec);
    }
    return FALSE;
}

gboolean onGrabBroken(GtkWidget*, GdkEvent*, gpointer)
{
    g_grab.held = false;
    return FALSE;
}

class TopFrame : public wxFrame {
public:
    TopFrame(HWND hwnd, const wxString& title, const wxPoint& pos, const wxSize& size, long style)
        : wxFrame(nullptr, wxID_ANY, title, pos, size, style), hwnd_(hwnd)
    {
        SetBackgroundStyle(wxBG_STYLE_PAINT);
        Bind(wxEVT_PAINT, [this](wxPaintEvent&) { onPaint(hwnd_, this); });
        Bind(wxEVT_CLOSE_WINDOW, [this](wxCloseEvent& e) {
            // The window manager's close goes through the window's own WM_CLOSE.
            if (Find(hwnd_)) {
                e.Veto();
                PostMessage(hwnd_, WM_CLOSE, 0, 0);
            } else {
                e.Skip();
            }
        });
        Bind(wxEVT_ACTIVATE, [this](wxActivateEvent& e) {
            if (e.GetActive()) g_foreground = hwnd_;
            e.Skip();
        });
        bindInput(hwnd_, this);
        // A window gets its GDK window now: the toolkit would otherwise make
        // it only when a window manager has answered, and nothing could be
        // grabbed or shaped until then.
        gtk_widget_realize(GetHandle());
        // Nor does the toolkit hold a show back until the window manager has
        // told it the size of the window's frame (these windows have none):
        // a show held back that way happened later on its own, even for a
        // window the program had hidden again meanwhile. The toolkit's watch
        // of the frame's size goes, and with it every held-back show.
        g_signal_handlers_disconnect_matched(
            GetHandle(), static_cast<GSignalMatchType>(G_SIGNAL_MATCH_ID | G_SIGNAL_MATCH_DATA),
            g_signal_lookup("property-notify-event", GTK_TYPE_WIDGET), 0, nullptr, nullptr,
            static_cast<wxTopLevelWindowGTK*>(this));
        m_deferShow = false;
        g_signal_connect(GetHandle(), "map-event", G_CALLBACK(onTopLevelMapped), hwnd_);
        g_signal_connect(GetHandle(), "grab-broken-event", G_CALLBACK(onGrabBroken), nullptr);
        AnswerTestQueries(hwnd_, GetHandle());
        Bind(wxEVT_MOVE, [this](wxMoveEvent& e) {
            followWindowManager(hwnd_);
            e.Skip();
        });
        // Minimised or brought back by the desktop (its task list, its
        // window switcher): the window hears of it as of its own.
        Bind(wxEVT_ICONIZE, [this](wxIconizeEvent& e) {
            WindowRecord* rec = Find(hwnd_);
            if (rec && rec->iconic != e.IsIconized()) {
                rec->iconic = e.IsIconized();
                Dispatch(hwnd_, WM_SIZE, rec->iconic ? SIZE_MINIMIZED : SIZE_RESTORED,
                         rec->iconic ? 0 : MAKELPARAM(rec->cx, rec->cy));
            }
            e.Skip();
        });
    }

private:
    HWND hwnd_;
};

class ChildPanel : public wxWindow {
public:
    ChildPanel(HWND hwnd, wxWindow* parent, const wxPoint& pos, const wxSize& size)
        : wxWindow(parent, wxID_ANY, pos, size, wxBORDER_NONE | wxWANTS_CHARS | wxFULL_REPAINT_ON_RESIZE),
          hwnd_(hwnd)
    {
        SetBackgroundStyle(wxBG_STYLE_PAINT);
        Bind(wxEVT_PAINT, [this](wxPaintEvent&) { onPaint(hwnd_, this); });
        bindInput(hwnd_, this);
    }
    bool AcceptsFocus() const override { return true; }

private:
    HWND hwnd_;
};

class EditControl : public wxTextCtrl {
public:
    EditControl(HWND hwnd, wxWindow* parent, const wxPoint& pos, const wxSize& size, long style)
        : wxTextCtrl(parent, wxID_ANY, wxEmptyString, pos, size, style), hwnd_(hwnd)
    {
        Bind(wxEVT_TEXT, [this](wxCommandEvent&) { notifyParent(EN_CHANGE); });
        Bind(wxEVT_SET_FOCUS, [this](wxFocusEvent& e) {
            g_focus = hwnd_;
            notifyParent(EN_SETFOCUS);
            e.Skip();
        });
        Bind(wxEVT_KILL_FOCUS, [this](wxFocusEvent& e) {
            notifyParent(EN_KILLFOCUS);
            e.Skip();
        });
        Bind(wxEVT_KEY_DOWN, [this](wxKeyEvent& e) {
            UINT vk = vkFromWx(e.GetKeyCode());
            if (!vk || !DeliverKey(hwnd_, WM_KEYDOWN, vk)) e.Skip();
        });
    }
    void notifyParent(UINT code)
    {
        WindowRecord* rec = Find(hwnd_);
        if (!rec || !rec->parent || suppress_) return;
        Dispatch(rec->parent, WM_COMMAND, MAKEWPARAM(rec->id, code), reinterpret_cast<LPARAM>(hwnd_));
    }
    bool suppress_ = false;

private:
    HWND hwnd_;
};

// ---------------------------------------------------------------- painting

void blit(WindowRecord* rec, wxWindow* widget)
{
    wxPaintDC dc(widget);
    cairo_t* cr = static_cast<cairo_t*>(dc.GetImpl()->GetCairoContext());
    if (!cr || !rec->back) return;
    cairo_save(cr);
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    cairo_set_source_surface(cr, rec->back, 0, 0);
    cairo_paint(cr);
    cairo_restore(cr);
}

void onPaint(HWND hwnd, wxWindow* widget)
{
    nextPaintEpoch();
    WindowRecord* rec = Find(hwnd);
    if (!rec) {
        wxPaintDC dc(widget);
        return;
    }
    // An exposed window shows its buffer again; only a window that was
    // invalidated (or has no buffer yet) paints anew.
    if (rec->dirty || !rec->back) PaintIntoBackBuffer(rec);
    rec = Find(hwnd);  // the handler may have destroyed the window
    if (!rec) {
        wxPaintDC dc(widget);
        return;
    }
    blit(rec, widget);
}

// ---------------------------------------------------------------- input

UINT keyState(const wxMouseState& s)
{
    UINT k = 0;
    if (s.LeftIsDown()) k |= MK_LBUTTON;
    if (s.RightIsDown()) k |= MK_RBUTTON;
    if (s.ShiftDown()) k |= MK_SHIFT;
    if (s.ControlDown()) k |= MK_CONTROL;
    return k;
}

// The screen point of a pointer event. While a window is being dragged it is
// taken from the event itself, exact whatever the window manager has done with
// the window meanwhile; otherwise from the window's place, so that it agrees
// with the client point the window is given.
POINT eventScreenPoint(const WindowRecord* rec, const wxMouseEvent& e)
{
    POINT p;
    if (g_track.mode != Tracking::None)
        if (GdkEvent* ge = gtk_get_current_event()) {
            gdouble rx = 0, ry = 0;
            const bool ok = gdk_event_get_root_coords(ge, &rx, &ry);
            gdk_event_free(ge);
            if (ok) {
                p.x = static_cast<LONG>(std::lround(rx));
                p.y = static_cast<LONG>(std::lround(ry));
                return p;
            }
        }
    const wxPoint o = screenOrigin(rec);
    p.x = o.x + e.GetX();
    p.y = o.y + e.GetY();
    return p;
}

void bindInput(HWND hwnd, wxWindow* widget)
{
    auto mouse = [hwnd](UINT message) {
        return [hwnd, message](wxMouseEvent& e) {
            WindowRecord* rec = Find(hwnd);
            if (!rec) return;
            g_testPointer = false;
            DeliverMouse(hwnd, message, eventScreenPoint(rec, e), keyState(e));
        };
    };
    widget->Bind(wxEVT_MOTION, mouse(WM_MOUSEMOVE));
    widget->Bind(wxEVT_LEFT_DOWN, mouse(WM_LBUTTONDOWN));
    widget->Bind(wxEVT_LEFT_UP, mouse(WM_LBUTTONUP));
    widget->Bind(wxEVT_LEFT_DCLICK, mouse(WM_LBUTTONDBLCLK));
    widget->Bind(wxEVT_RIGHT_DOWN, mouse(WM_RBUTTONDOWN));
    widget->Bind(wxEVT_RIGHT_UP, mouse(WM_RBUTTONUP));
    widget->Bind(wxEVT_ENTER_WINDOW, [hwnd](wxMouseEvent&) {
        if (WindowRecord* rec = Find(hwnd)) rec->mouseInside = true;
    });
    widget->Bind(wxEVT_LEAVE_WINDOW, [hwnd](wxMouseEvent& e) {
        WindowRecord* rec = Find(hwnd);
        if (!rec) return;
        wxPoint o = screenOrigin(rec);
        g_cursor.x = o.x + e.GetX();
        g_cursor.y = o.y + e.GetY();
        rec->mouseInside = false;
        if (g_capture != hwnd && g_track.mode == Tracking::None && (rec->trackFlags & TME_LEAVE)) {
            rec->trackFlags &= ~(TME_LEAVE | TME_HOVER);
            Dispatch(hwnd, WM_MOUSELEAVE, 0, 0);
        }
    });
    widget->Bind(wxEVT_MOUSEWHEEL, [hwnd](wxMouseEvent& e) {
        WindowRecord* rec = Find(hwnd);
        if (!rec) return;
        wxPoint o = screenOrigin(rec);
        POINT screen;
        screen.x = o.x + e.GetX();
        screen.y = o.y + e.GetY();
        short delta = static_cast<short>(e.GetWheelRotation() > 0 ? 120 : -120);
        Dispatch(hwnd, WM_MOUSEWHEEL, MAKEWPARAM(keyState(e), static_cast<WORD>(delta)), pointParam(screen));
    });
    widget->Bind(wxEVT_KEY_DOWN, [hwnd](wxKeyEvent& e) {
        UINT vk = vkFromWx(e.GetKeyCode());
        if (!vk || !DeliverKey(hwnd, WM_KEYDOWN, vk)) e.Skip();
    });
    widget->Bind(wxEVT_SET_FOCUS, [hwnd](wxFocusEvent& e) {
        HWND old = g_focus;
        g_focus = hwnd;
        if (old != hwnd) Dispatch(hwnd, WM_SETFOCUS, reinterpret_cast<WPARAM>(old), 0);
        e.Skip();
    });
    widget->Bind(wxEVT_KILL_FOCUS, [hwnd](wxFocusEvent& e) {
        if (Find(hwnd)) Dispatch(hwnd, WM_KILLFOCUS, 0, 0);
        e.Skip();
    });
}

void setCursorShape(HCURSOR cursor)
{
    WindowRecord* rec = Find(g_hoverWindow);
    if (!rec || !rec->widget || rec->cursor == cursor) return;
    rec->cursor = cursor;
    wxStockCursor stock = wxCURSOR_ARROW;
    switch (reinterpret_cast<uintptr_t>(cursor)) {
    case 32513: stock = wxCURSOR_IBEAM; break;
    case 32514: stock = wxCURSOR_WAIT; break;
    case 32642: stock = wxCURSOR_SIZENWSE; break;
    case 32643: stock = wxCURSOR_SIZENESW; break;
    case 32644: stock = wxCURSOR_SIZEWE; break;
    case 32645: stock = wxCURSOR_SIZENS; break;
    case 32649: stock = wxCURSOR_HAND; break;
    default: break;
    }
    rec->widget->SetCursor(wxCursor(stock));
}

// The window rectangle of a top-level or child window in screen coordinates.
RECT windowRect(const WindowRecord* rec)
{
    RECT r;
    if (!rec || !rec->widget) return r;
    wxPoint o = screenOrigin(rec);
    r.left = o.x;
    r.top = o.y;
    r.right = o.x + rec->cx;
    r.bottom = o.y + rec->cy;
    return r;
}

void applyRect(HWND hwnd, const RECT& r, bool move, bool size)
{
    WindowRecord* rec = Find(hwnd);
    if (!rec) return;
    int x = r.left, y = r.top;
    if (!isTopLevel(rec)) {
        // Children are placed in their parent's client coordinates.
        wxPoint po = screenOrigin(Find(rec->parent));
        x -= po.x;
        y -= po.y;
    }
    UINT flags = SWP_NOZORDER | SWP_NOACTIVATE;
    if (!move) flags |= SWP_NOMOVE;
    if (!size) flags |= SWP_NOSIZE;
    rec->wnd->SetWindowPos(nullptr, x, y, r.right - r.left, r.bottom - r.top, flags);
}

void trackMouse(POINT screen, UINT message)
{
    HWND hwnd = g_track.hwnd;
    WindowRecord* rec = Find(hwnd);
    if (!rec) {
        g_track = Tracking();
        return;
    }
    const int dx = screen.x - g_track.start.x, dy = screen.y - g_track.start.y;
    // The button's release counts as a last move: motion can be merged or
    // still on its way when the release comes, and the window belongs where
    // the button went up.
    if (message == WM_MOUSEMOVE || message == WM_LBUTTONUP) {
        RECT r = g_track.startRect;
        if (g_track.mode == Tracking::Move) {
            OffsetRect(&r, dx, dy);
            Dispatch(hwnd, WM_MOVING, 0, reinterpret_cast<LPARAM>(&r));
            if (Find(hwnd)) applyRect(hwnd, r, true, false);
        } else {
            const int e = g_track.edge;
            if (e == 1 || e == 4 || e == 7) r.left += dx;
            if (e == 2 || e == 5 || e == 8) r.right += dx;
            if (e == 3 || e == 4 || e == 5) r.top += dy;
            if (e == 6 || e == 7 || e == 8) r.bottom += dy;
            MINMAXINFO mmi;
            Dispatch(hwnd, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&mmi));
            const LONG minW = std::max<LONG>(mmi.ptMinTrackSize.x, 1), minH = std::max<LONG>(mmi.ptMinTrackSize.y, 1);
            if (r.right - r.left < minW) {
                if (e == 1 || e == 4 || e == 7) r.left = r.right - minW;
                else r.right = r.left + minW;
            }
            if (r.bottom - r.top < minH) {
                if (e == 3 || e == 4 || e == 5) r.top = r.bottom - minH;
                else r.bottom = r.top + minH;
            }
            if (Find(hwnd)) applyRect(hwnd, r, true, true);
        }
    }
    if (message == WM_LBUTTONUP) {
        ReleaseInput(hwnd);
        g_track = Tracking();
    }
}

// `atPress`: asked for by the press itself (a caption press, posted when
// the button went down).
void beginTracking(HWND hwnd, Tracking::Mode mode, int edge, bool atPress = false)
{
    WindowRecord* rec = Find(hwnd);
    if (!rec) return;
    if (!g_leftDown) {
        // Asked for after the button went up: a quick click does not start a
        // drag; a whole drag handled before the request (a busy window) is
        // not lost either: the window goes where the button went up, once.
        const int dx = g_releaseAt.x - g_pressAt.x, dy = g_releaseAt.y - g_pressAt.y;
        if (atPress && mode == Tracking::Move && !g_pressDragged && (dx != 0 || dy != 0)) {
            g_pressDragged = true;
            RECT r = windowRect(rec);
            OffsetRect(&r, dx, dy);
            Dispatch(hwnd, WM_MOVING, 0, reinterpret_cast<LPARAM>(&r));
            if (Find(hwnd)) applyRect(hwnd, r, true, false);
        }
        return;
    }
    g_pressDragged = true;
    g_track.mode = mode;
    g_track.hwnd = hwnd;
    g_track.edge = edge;
    // Measured from where the button went down: the drag may start a few
    // moves later (it is asked for by a posted message).
    g_track.start = g_pressAt;
    g_track.startRect = windowRect(rec);
    GrabInput(hwnd, false);
}

}  // namespace

// ---------------------------------------------------------------- test input

void DeliverTestMouse(HWND target, UINT message, POINT screen, UINT keys)
{
    g_testPointer = realPointer(&g_realAtTest);
    DeliverMouse(target, message, screen, keys);
}

// ---------------------------------------------------------------- grabs

void GrabInput(HWND hwnd, bool keyboard)
{
    ReleaseInput(nullptr);
    if (!Find(hwnd)) return;
    g_grab.hwnd = hwnd;
    g_grab.keyboard = keyboard;
    tryGrab();
}

void ReleaseInput(HWND hwnd)
{
    if (hwnd && g_grab.hwnd != hwnd) return;
    if (g_grab.held) {
        if (GdkDisplay* display = gdk_display_get_default())
            if (GdkSeat* seat = gdk_display_get_default_seat(display)) gdk_seat_ungrab(seat);
    }
    g_grab = InputGrab();
}

HWND KeyboardGrabWindow()
{
    return g_grab.keyboard && Find(g_grab.hwnd) ? g_grab.hwnd : nullptr;
}

// ---------------------------------------------------------------- records

WindowRecord* Find(HWND hwnd)
{
    if (!hwnd) return nullptr;
    std::lock_guard<std::recursive_mutex> lock(g_tableLock);
    auto it = g_windows.find(hwnd);
    return it == g_windows.end() ? nullptr : it->second.get();
}

std::vector<std::pair<HWND, CWnd*>> LiveWindows()
{
    std::vector<std::pair<HWND, CWnd*>> out;
    std::lock_guard<std::recursive_mutex> lock(g_tableLock);
    for (auto& kv : g_windows) out.emplace_back(kv.first, kv.second->wnd);
    return out;
}

WindowRecord* Find(const CWnd* wnd)
{
    return wnd ? Find(wnd->m_hWnd) : nullptr;
}

HWND CreateWindowRecord(CWnd* wnd, DWORD exStyle, LPCTSTR className, LPCTSTR text, DWORD style, int x, int y, int w,
                        int h, HWND parent, UINT id)
{
    if (!g_started || !onUiThread()) return nullptr;
    WindowRecord* parentRec = Find(parent);
    if ((style & WS_CHILD) && !parentRec) return nullptr;

    auto rec = std::make_unique<WindowRecord>();
    HWND hwnd;
    {
        std::lock_guard<std::recursive_mutex> lock(g_tableLock);
        hwnd = reinterpret_cast<HWND>(g_nextHandle);
        g_nextHandle += 0x10;
    }
    rec->handle = hwnd;
    rec->wnd = wnd;
    rec->className = className ? className : "";
    rec->text = text ? text : "";
    rec->style = style & ~WS_VISIBLE;
    rec->exStyle = exStyle;
    rec->id = id;
    rec->topmost = (exStyle & WS_EX_TOPMOST) != 0;
    rec->x = x;
    rec->y = y;
    rec->cx = std::max(w, 0);
    rec->cy = std::max(h, 0);
    const wxString title = wxString::FromUTF8(AnsiToUtf8(rec->text).GetString());
    const wxSize size(std::max(w, 1), std::max(h, 1));

    if (style & WS_CHILD) {
        rec->parent = parent;
        if (rec->className.CompareNoCase("Edit") == 0) {
            long ws = wxBORDER_NONE;
            if (style & 0x0020 /* ES_PASSWORD */) ws |= wxTE_PASSWORD;
            if (style & 0x0004 /* ES_MULTILINE */) ws |= wxTE_MULTILINE;
            auto* edit = new EditControl(hwnd, parentRec->widget, wxPoint(x, y), size, ws);
            edit->suppress_ = true;
            edit->ChangeValue(title);
            edit->suppress_ = false;
            rec->widget = edit;
            rec->kind = WidgetKind::Edit;
        } else {
            rec->widget = new ChildPanel(hwnd, parentRec->widget, wxPoint(x, y), size);
        }
    } else {
        rec->owner = parent;
        // Borderless, yet minimisable: a window manager minimises only a
        // window that says it may be (the program's own minimise buttons
        // ask it to).
        long ws = wxBORDER_NONE | wxFRAME_SHAPED | wxMINIMIZE_BOX;
        // A tool window stays out of the task list. It is not a utility
        // window: window managers keep those above every other window of the
        // program, and a tool window stacks like any other.
        if (exStyle & WS_EX_TOOLWINDOW) ws |= wxFRAME_NO_TASKBAR;
        if (rec->topmost) ws |= wxSTAY_ON_TOP;
        // A borderless frame is shown first and then given its size: shown
        // before, the toolkit would leave it one pixel wide.
        rec->widget = new TopFrame(hwnd, title, wxPoint(x, y), size, ws);
        if (rec->className == kMenuClass) {
            gdk_window_set_override_redirect(gtk_widget_get_window(rec->widget->GetHandle()), TRUE);
        } else if (WindowRecord* owner = Find(topLevelOf(parent))) {
            // An owned window stays above its owner, as the window manager
            // keeps a window above the one it is transient for.
            gtk_window_set_transient_for(GTK_WINDOW(rec->widget->GetHandle()), GTK_WINDOW(owner->widget->GetHandle()));
        }
    }
    if (!isTopLevel(rec.get())) rec->widget->Hide();
    {
        std::lock_guard<std::recursive_mutex> lock(g_tableLock);
        g_windows[hwnd] = std::move(rec);
    }
    nextPaintEpoch();
    wnd->m_hWnd = hwnd;
    return hwnd;
}

LRESULT Dispatch(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    CWnd* wnd = objectOf(hwnd);
    if (!wnd) return 0;
    MSG m;
    m.hwnd = hwnd;
    m.message = message;
    m.wParam = wParam;
    m.lParam = lParam;
    t_current.push_back(m);
    LRESULT r = wnd->WindowProc(message, wParam, lParam);
    t_current.pop_back();
    return r;
}

bool PreTranslate(MSG& msg)
{
    for (HWND h = msg.hwnd; h;) {
        CWnd* w = objectOf(h);
        if (!w) break;
        if (w->PreTranslateMessage(&msg)) return true;
        WindowRecord* rec = Find(h);
        if (!rec) break;
        h = rec->parent;
    }
    if (CWinApp* app = AfxGetApp()) {
        CWnd* main = app->m_pMainWnd;
        // The main window sees what its own tree did not take (for instance
        // input to a window of another module).
        bool inMainTree = false;
        for (HWND h = msg.hwnd; h; h = Find(h) ? Find(h)->parent : nullptr)
            if (main && h == main->m_hWnd) inMainTree = true;
        if (main && !inMainTree && Find(main->m_hWnd) && main->PreTranslateMessage(&msg)) return true;
        if (app->PreTranslateMessage(&msg)) return true;
    }
    return false;
}

void DeliverMouse(HWND target, UINT message, POINT screen, UINT keys)
{
    noteUserTime();
    g_cursor = screen;
    if (message == WM_LBUTTONDOWN || message == WM_LBUTTONDBLCLK) {
        g_leftDown = true;
        g_pressAt = screen;
        g_pressDragged = false;
    }
    if (message == WM_LBUTTONUP) {
        g_leftDown = false;
        g_releaseAt = screen;
    }
    if (g_track.mode != Tracking::None) {
        trackMouse(screen, message);
        return;
    }
    if (g_capture && Find(g_capture)) target = g_capture;
    WindowRecord* rec = Find(target);
    if (!rec) return;
    g_hoverWindow = target;

    LRESULT hit = g_capture == target ? HTCLIENT : Dispatch(target, WM_NCHITTEST, 0, pointParam(screen));
    if (!Find(target)) return;
    if (message == WM_MOUSEMOVE || message == WM_LBUTTONDOWN || message == WM_RBUTTONDOWN)
        Dispatch(target, WM_SETCURSOR, reinterpret_cast<WPARAM>(target),
                 MAKELPARAM(static_cast<WORD>(static_cast<short>(hit)), static_cast<WORD>(message)));
    if (!Find(target)) return;

    MSG m;
    m.hwnd = target;
    m.pt = screen;
    if (hit == HTCLIENT) {
        wxPoint o = screenOrigin(rec);
        POINT client;
        client.x = screen.x - o.x;
        client.y = screen.y - o.y;
        m.message = message;
        m.wParam = keys;
        m.lParam = pointParam(client);
        if (message == WM_MOUSEMOVE && (rec->trackFlags & TME_HOVER) && rec->hoverTimer)
            rec->hoverTimer->StartOnce(static_cast<int>(std::max<DWORD>(rec->hoverTime, 1)));
        rec->mouseInside = true;
    } else {
        UINT nc = message == WM_LBUTTONDOWN ? WM_NCLBUTTONDOWN
                  : message == WM_LBUTTONUP ? WM_NCLBUTTONUP
                  : message == WM_MOUSEMOVE ? WM_NCMOUSEMOVE
                                            : 0;
        if (!nc) return;
        m.message = nc;
        m.wParam = static_cast<WPARAM>(hit);
        m.lParam = pointParam(screen);
    }
    if (PreTranslate(m)) return;
    Dispatch(target, m.message, m.wParam, m.lParam);
}

bool DeliverKey(HWND target, UINT message, UINT vk)
{
    noteUserTime();
    // An open menu takes the keyboard, wherever the focus is.
    if (HWND menu = KeyboardGrabWindow()) {
        Dispatch(menu, message, vk, 0);
        return true;
    }
    MSG m;
    m.hwnd = target;
    m.message = message;
    m.wParam = vk;
    m.pt = g_cursor;
    if (PreTranslate(m)) return true;
    if (!Find(target)) return true;
    // Dialog keys: Enter is the default button, Escape cancels.
    if (message == WM_KEYDOWN && (vk == VK_RETURN || vk == VK_ESCAPE)) {
        for (HWND h = target; h;) {
            WindowRecord* rec = Find(h);
            if (!rec) break;
            if (rec->isDialog) {
                UINT id = vk == VK_RETURN ? rec->defaultId : IDCANCEL;
                Dispatch(h, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0);
                return true;
            }
            h = rec->parent;
        }
    }
    Dispatch(target, message, vk, 0);
    return false;
}

void PaintIntoBackBuffer(WindowRecord* rec)
{
    if (!rec || !rec->widget || rec->kind != WidgetKind::Plain) return;
    HWND hwnd = rec->handle;
    nextPaintEpoch();
    rec->dirty = false;
    const int w = std::max(rec->cx, 1), h = std::max(rec->cy, 1);
    if (!rec->back || cairo_image_surface_get_width(rec->back) != w || cairo_image_surface_get_height(rec->back) != h) {
        if (rec->back) cairo_surface_destroy(rec->back);
        rec->back = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
        rec->needErase = true;
    }
    cairo_surface_reference(rec->back);
    cairo_surface_t* back = rec->back;
    cairo_t* cr = cairo_create(back);
    HDC dc = CreateCairoDC(cr, w, h);
    rec->paintDC = dc;
    if (rec->needErase) {
        rec->needErase = false;
        Dispatch(hwnd, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    }
    if (Find(hwnd)) Dispatch(hwnd, WM_PAINT, 0, 0);
    if (WindowRecord* still = Find(hwnd)) still->paintDC = nullptr;
    DeleteCairoDC(dc);
    cairo_destroy(cr);
    cairo_surface_flush(back);
    cairo_surface_destroy(back);
}

cairo_surface_t* BackBuffer(HWND hwnd)
{
    WindowRecord* rec = Find(hwnd);
    if (!rec) return nullptr;
    if (!rec->back) PaintIntoBackBuffer(rec);
    rec = Find(hwnd);
    return rec ? rec->back : nullptr;
}

cairo_surface_t* Compose(HWND hwnd)
{
    WindowRecord* rec = Find(hwnd);
    if (!rec || !rec->widget) return nullptr;
    PaintIntoBackBuffer(rec);
    rec = Find(hwnd);
    if (!rec) return nullptr;
    cairo_surface_t* out = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, std::max(rec->cx, 1), std::max(rec->cy, 1));
    cairo_t* cr = cairo_create(out);
    if (rec->back) {
        cairo_set_source_surface(cr, rec->back, 0, 0);
        cairo_paint(cr);
    } else if (rec->kind == WidgetKind::Edit) {
        // A native edit field: white with its text, as it appears.
        cairo_set_source_rgb(cr, 1, 1, 1);
        cairo_paint(cr);
    }
    for (HWND child : childrenOf(hwnd)) {
        WindowRecord* c = Find(child);
        if (!c || !c->widget || !c->visible) continue;
        cairo_surface_t* img = Compose(child);
        if (!img) continue;
        cairo_set_source_surface(cr, img, c->x, c->y);
        cairo_paint(cr);
        cairo_surface_destroy(img);
    }
    if (rec->region) {
        // Outside the window's shape nothing is shown.
        cairo_set_operator(cr, CAIRO_OPERATOR_DEST_IN);
        cairo_set_source_rgba(cr, 0, 0, 0, 1);
        int n = cairo_region_num_rectangles(rec->region);
        cairo_new_path(cr);
        for (int i = 0; i < n; ++i) {
            cairo_rectangle_int_t r;
            cairo_region_get_rectangle(rec->region, i, &r);
            cairo_rectangle(cr, r.x, r.y, r.width, r.height);
        }
        cairo_fill(cr);
    }
    cairo_destroy(cr);
    cairo_surface_flush(out);
    return out;
}

namespace {

bool ownedBy(const WindowRecord* rec, HWND owner)
{
    for (int depth = 0; rec && depth < 64; ++depth) {
        if (rec->owner == owner || rec->parent == owner) return true;
        rec = Find(rec->owner ? rec->owner : rec->parent);
    }
    return false;
}

int runRegistered(wxGUIEventLoop& loop)
{
    g_loops.push_back(&loop);
    const int result = g_quit ? IDCANCEL : loop.Run();
    g_loops.erase(std::remove(g_loops.begin(), g_loops.end(), &loop), g_loops.end());
    return result;
}

}  // namespace

int RunModal(HWND hwnd)
{
    WindowRecord* rec = Find(hwnd);
    if (!rec) return -1;
    if (rec->modalResult) return rec->modalResult;  // ended before its loop began
    // Every other top-level window is disabled while the modal one runs,
    // except the windows it owns itself.
    std::vector<wxWeakRef<wxWindow>> disabled;
    {
        std::lock_guard<std::recursive_mutex> lock(g_tableLock);
        for (auto& kv : g_windows) {
            WindowRecord* other = kv.second.get();
            if (other->handle != hwnd && isTopLevel(other) && other->widget && other->widget->IsEnabled() &&
                !ownedBy(other, hwnd))
                disabled.emplace_back(other->widget);
        }
    }
    for (auto& w : disabled)
        if (w) w->Disable();
    wxGUIEventLoop loop;
    rec->modalLoop = &loop;
    int result = runRegistered(loop);
    if (WindowRecord* still = Find(hwnd)) {
        still->modalLoop = nullptr;
        result = still->modalResult;
    }
    for (auto& w : disabled)
        if (w) w->Enable();
    if (g_quit && !g_loops.empty()) wxTheApp->CallAfter([] { PostQuitMessage(0); });
    return result;
}

int RunLoop()
{
    wxGUIEventLoop loop;
    return runRegistered(loop);
}

void EndModal(HWND hwnd, int result)
{
    WindowRecord* rec = Find(hwnd);
    if (!rec) return;
    rec->modalResult = result;
    if (rec->modalLoop && rec->modalLoop->IsRunning()) rec->modalLoop->Exit(result);
}

// ---------------------------------------------------------------- UI start and pumping

namespace {

std::atomic<int> g_toolkitAssertions{0};

// A failed check inside the toolkit is reported on standard error; the user
// never sees the toolkit's own dialog about it.
void onToolkitAssert(const wxString& file, int line, const wxString& func, const wxString& cond, const wxString& msg)
{
    ++g_toolkitAssertions;
    fprintf(stderr, "toolkit check failed: %s:%d %s: %s %s\n", file.utf8_str().data(), line, func.utf8_str().data(),
            cond.utf8_str().data(), msg.utf8_str().data());
}

}  // namespace

int ToolkitAssertions()
{
    return g_toolkitAssertions;
}

namespace {
void startUiQueue();  // below, with the queue
}  // namespace

bool Start(int argc, char** argv)
{
    if (g_started) return true;
    static int s_argc = 1;
    static char s_name[] = "Lum";
    static char* s_argv[] = {s_name, nullptr};
    if (argc <= 0 || !argv) {
        argc = s_argc;
        argv = s_argv;
    }
    if (!wxTheApp) {
        wxApp::SetInstance(new wxApp());
        // The X11 backend, also in a Wayland session (through XWayland):
        // windows place themselves, dock to screen edges and grab the
        // pointer, none of which a Wayland client may do.
        gdk_set_allowed_backends("x11");
        if (!wxEntryStart(argc, argv)) return false;
        wxSetAssertHandler(onToolkitAssert);
        wxTheApp->CallOnInit();
    }
    g_uiThread = std::this_thread::get_id();
    startUiQueue();
    g_started = true;
    return true;
}

bool IsUiThread()
{
    return onUiThread();
}

void Pump(int ms)
{
    if (!onUiThread() || !wxTheApp) return;
    wxEventLoopBase* active = wxEventLoopBase::GetActive();
    std::unique_ptr<wxGUIEventLoop> own;
    if (!active) {
        own = std::make_unique<wxGUIEventLoop>();
        wxEventLoopBase::SetActive(own.get());
        active = own.get();
    }
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    do {
        while (active->Pending()) active->Dispatch();
        wxTheApp->ProcessPendingEvents();
        // Waits for more events at most 5 ms and never past the time asked
        // for: Pump(0) handles what is there and returns.
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
        active->DispatchTimeout(static_cast<unsigned long>(std::max<long long>(0, std::min<long long>(5, left.count()))));
        wxTheApp->ProcessPendingEvents();
    } while (std::chrono::steady_clock::now() < until);
    while (active->Pending()) active->Dispatch();
    wxTheApp->ProcessPendingEvents();
    if (own) wxEventLoopBase::SetActive(nullptr);
}

bool PumpUntil(const std::function<bool()>& done, int timeoutMs)
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() >= until) return done();
        Pump(10);
    }
    return true;
}

// Work handed to the UI thread by other threads (SendMessage, PostMessage,
// RunOnUiThread) runs in arrival order from one queue, dispatched by a GLib
// source of the layer's own, below painting and input. It runs in slices:
// after a few milliseconds the rest waits a moment, so that the toolkit
// handles painting and input and a burst of messages (a heartbeat reply, a
// thousand head images arriving) never freezes the window. Any loop runs it,
// modal loops inside a work item (a message box, a menu) included, except
// the loop that waits for a call into a page (QueuedWorkHold).
namespace {

const auto kUiSlice = std::chrono::milliseconds(8);
const auto kUiBreath = std::chrono::milliseconds(1);

std::mutex g_uiQueueLock;
std::deque<std::function<void()>> g_uiQueue;
std::chrono::steady_clock::time_point g_uiYieldUntil;  // under g_uiQueueLock
GSource* g_uiSource = nullptr;

// The loop depths (g_main_depth) at which the holds under way were taken
// (UI thread only).
std::vector<int> g_uiHolds;

// Whether queued work waits in a loop that dispatches at `depth`: the loop
// a hold's call waits in dispatches one deeper than the hold was taken; a
// loop opened inside that one (by input it handled) dispatches deeper still.
bool heldAt(int depth)
{
    for (int holdDepth : g_uiHolds)
        if (depth <= holdDepth + 1) return true;
    return false;
}

// Whether the queue is due in the loop iteration under way; otherwise how
// long the loop may sleep before it is (-1: until woken).
bool uiQueueDue(gint* timeout)
{
    *timeout = -1;
    if (heldAt(g_main_depth() + 1)) return false;
    std::lock_guard<std::mutex> lock(g_uiQueueLock);
    if (g_uiQueue.empty()) return false;
    const auto now = std::chrono::steady_clock::now();
    if (now < g_uiYieldUntil) {
        const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(g_uiYieldUntil - now).count() + 1;
        *timeout = static_cast<gint>(wait);
        return false;
    }
    return true;
}

void runUiQueue()
{
    const auto start = std::chrono::steady_clock::now();
    for (;;) {
        std::function<void()> work;
        {
            std::lock_guard<std::mutex> lock(g_uiQueueLock);
            if (g_uiQueue.empty()) return;
            const auto now = std::chrono::steady_clock::now();
            if (now - start >= kUiSlice) {
                g_uiYieldUntil = now + kUiBreath;
                return;
            }
            work = std::move(g_uiQueue.front());
            g_uiQueue.pop_front();
        }
        work();
    }
}

gboolean uiQueuePrepare(GSource*, gint* timeout)
{
    return uiQueueDue(timeout);
}

gboolean uiQueueCheck(GSource*)
{
    gint timeout = -1;
    return uiQueueDue(&timeout);
}

gboolean uiQueueDispatch(GSource*, GSourceFunc, gpointer)
{
    runUiQueue();
    return G_SOURCE_CONTINUE;
}

GSourceFuncs g_uiQueueFuncs = {uiQueuePrepare, uiQueueCheck, uiQueueDispatch, nullptr, nullptr, nullptr};

void startUiQueue()
{
    if (g_uiSource) return;
    g_uiSource = g_source_new(&g_uiQueueFuncs, sizeof(GSource));
    g_source_set_name(g_uiSource, "lum-ui-queue");
    // Below the toolkit's layout and painting, above its idle work.
    g_source_set_priority(g_uiSource, G_PRIORITY_DEFAULT_IDLE);
    // A work item that runs a loop of its own (a message box) lets that
    // loop run the work queued meanwhile.
    g_source_set_can_recurse(g_uiSource, TRUE);
    g_source_attach(g_uiSource, nullptr);
}

}  // namespace

QueuedWorkHold::QueuedWorkHold()
{
    g_uiHolds.push_back(g_main_depth());
}

QueuedWorkHold::~QueuedWorkHold()
{
    g_uiHolds.pop_back();
    // The loop looks at the queue again at its next turn.
    g_main_context_wakeup(nullptr);
}

namespace {

// The UI loop's poll, timed (UI thread).
GPollFunc g_loopPoll = nullptr;
double g_loopWaitMs = 0;

gint timedLoopPoll(GPollFD* fds, guint count, gint timeout)
{
    const auto start = std::chrono::steady_clock::now();
    const gint result = g_loopPoll(fds, count, timeout);
    g_loopWaitMs += std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    return result;
}

}  // namespace

double UiLoopWaitMs()
{
    if (!g_loopPoll) {
        g_loopPoll = g_main_context_get_poll_func(nullptr);
        g_main_context_set_poll_func(nullptr, &timedLoopPoll);
    }
    return g_loopWaitMs;
}

void QueueOnUiThread(std::function<void()> work)
{
    bool wasEmpty;
    {
        std::lock_guard<std::mutex> lock(g_uiQueueLock);
        wasEmpty = g_uiQueue.empty();
        g_uiQueue.push_back(std::move(work));
    }
    // Wakes the loop when it may sleep without a look at the queue.
    if (wasEmpty) g_main_context_wakeup(nullptr);
}

void RunOnUiThread(const std::function<void()>& work)
{
    if (onUiThread() || !g_started || !wxTheApp) {
        if (onUiThread()) work();
        return;
    }
    std::promise<void> done;
    auto future = done.get_future();
    QueueOnUiThread([&work, &done] {
        work();
        done.set_value();
    });
    future.wait();
}

}  // namespace lumui

using namespace lumui;

// ---------------------------------------------------------------- CRuntimeClass, CWnd basics

bool CRuntimeClass::IsDerivedFrom(const CRuntimeClass* base) const
{
    for (const CRuntimeClass* c = this; c; c = c->m_pfnGetBaseClass ? c->m_pfnGetBaseClass() : nullptr)
        if (c == base) return true;
    return false;
}

const CRuntimeClass* CWnd::GetThisClass()
{
    static const CRuntimeClass rc = {"CWnd", nullptr};
    return &rc;
}

const CRuntimeClass* CWnd::GetRuntimeClass() const
{
    return GetThisClass();
}

const AFX_MSGMAP* CWnd::GetThisMessageMap()
{
    static const AFX_MSGMAP_ENTRY entries[] = {{0, 0, 0, 0, nullptr}};
    static const AFX_MSGMAP map = {nullptr, entries};
    return &map;
}

const AFX_MSGMAP* CWnd::GetMessageMap() const
{
    return GetThisMessageMap();
}

CWnd::CWnd() = default;

const CWnd CWnd::wndTop(HWND_TOP);
const CWnd CWnd::wndBottom(HWND_BOTTOM);
const CWnd CWnd::wndTopMost(HWND_TOPMOST);
const CWnd CWnd::wndNoTopMost(HWND_NOTOPMOST);

CWnd::~CWnd()
{
    if (m_hWnd && Find(m_hWnd)) {
        // A window must not outlive its object.
        WindowRecord* rec = Find(m_hWnd);
        rec->layerOwnsObject = false;
        DestroyWindow();
    }
}

CWnd* CWnd::FromHandle(HWND hwnd)
{
    return objectOf(hwnd);
}

BOOL CWnd::CreateEx(DWORD exStyle, LPCTSTR className, LPCTSTR windowName, DWORD style, int x, int y, int width,
                    int height, HWND parent, UINT id, void* param)
{
    if (m_hWnd) return FALSE;
    HWND hwnd = CreateWindowRecord(this, exStyle, className, windowName, style, x, y, width, height, parent, id);
    if (!hwnd) return FALSE;
    if (Dispatch(hwnd, WM_CREATE, 0, reinterpret_cast<LPARAM>(param)) == -1) {
        DestroyWindow();
        return FALSE;
    }
    if (!Find(hwnd)) return FALSE;
    Dispatch(hwnd, WM_SIZE, SIZE_RESTORED, MAKELPARAM(width, height));
    if (style & WS_VISIBLE) ShowWindow(SW_SHOW);
    return TRUE;
}

BOOL CWnd::Create(LPCTSTR className, LPCTSTR windowName, DWORD style, const RECT& rect, CWnd* parent, UINT id, void*)
{
    return CreateEx(0, className, windowName, style | WS_CHILD, rect.left, rect.top, rect.right - rect.left,
                    rect.bottom - rect.top, parent ? parent->m_hWnd : nullptr, id);
}

BOOL CWnd::DestroyWindow()
{
    HWND hwnd = m_hWnd;
    WindowRecord* rec = Find(hwnd);
    if (!rec) {
        m_hWnd = nullptr;
        return FALSE;
    }
    if (rec->inDestroy) return FALSE;  // a WM_DESTROY handler asking again
    rec->inDestroy = true;
    Dispatch(hwnd, WM_DESTROY, 0, 0);
    for (HWND child : childrenOf(hwnd))
        if (CWnd* c = objectOf(child)) c->DestroyWindow();
    rec = Find(hwnd);
    if (!rec) return TRUE;
    std::unique_ptr<WindowRecord> owned;
    {
        std::lock_guard<std::recursive_mutex> lock(g_tableLock);
        auto it = g_windows.find(hwnd);
        owned = std::move(it->second);
        g_windows.erase(it);
    }
    for (auto& t : owned->timers) {
        t.second->Stop();
        delete t.second;
    }
    if (owned->hoverTimer) {
        owned->hoverTimer->Stop();
        delete owned->hoverTimer;
    }
    if (owned->modalLoop && owned->modalLoop->IsRunning()) owned->modalLoop->Exit(owned->modalResult);
    if (g_capture == hwnd) g_capture = nullptr;
    if (g_focus == hwnd) g_focus = nullptr;
    if (g_track.hwnd == hwnd) g_track = Tracking();
    ReleaseInput(hwnd);
    if (owned->widget) {
        owned->widget->Hide();
        // The widget may be in the middle of one of its own events: it goes
        // when the event is over.
        wxWeakRef<wxWindow> widget(owned->widget);
        if (owned->widget->IsTopLevel()) {
            owned->widget->Destroy();
        } else {
            wxTheApp->CallAfter([widget] {
                if (widget) widget->Destroy();
            });
        }
    }
    if (owned->back) cairo_surface_destroy(owned->back);
    if (owned->bgImage) cairo_surface_destroy(owned->bgImage);
    if (owned->region) cairo_region_destroy(owned->region);
    CWnd* object = owned->wnd;
    const bool layerOwned = owned->layerOwnsObject;
    object->m_hWnd = nullptr;
    object->PostNcDestroy();
    if (layerOwned) delete object;
    return TRUE;
}

BOOL CWnd::SubclassWindow(HWND hwnd)
{
    WindowRecord* rec = Find(hwnd);
    if (!rec || m_hWnd) return FALSE;
    if (rec->layerOwnsObject && rec->wnd != this) {
        CWnd* old = rec->wnd;
        old->m_hWnd = nullptr;
        delete old;
    }
    rec->wnd = this;
    rec->layerOwnsObject = false;
    m_hWnd = hwnd;
    PreSubclassWindow();
    return TRUE;
}

BOOL CWnd::SubclassDlgItem(UINT id, CWnd* parent)
{
    CWnd* item = parent ? parent->GetDlgItem(static_cast<int>(id)) : nullptr;
    return item ? SubclassWindow(item->m_hWnd) : FALSE;
}

HWND CWnd::UnsubclassWindow()
{
    HWND hwnd = m_hWnd;
    m_hWnd = nullptr;
    return hwnd;
}

// ---------------------------------------------------------------- messages

LRESULT CWnd::SendMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    return ::SendMessage(m_hWnd, message, wParam, lParam);
}

BOOL CWnd::PostMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    return ::PostMessage(m_hWnd, message, wParam, lParam);
}

LRESULT CWnd::Default()
{
    if (t_current.empty()) return 0;
    const MSG m = t_current.back();
    return DefWindowProc(m.message, m.wParam, m.lParam);
}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    LRESULT result = 0;
    if (!OnWndMsg(message, wParam, lParam, &result)) result = DefWindowProc(message, wParam, lParam);
    return result;
}

namespace {

// Finds the first entry of the class's maps (most derived first) that takes
// the message, and runs it.
bool runEntry(CWnd* self, const AFX_MSGMAP* map, UINT message, UINT code, UINT id, bool matchId, WPARAM wParam,
              LPARAM lParam, LRESULT* result)
{
    for (; map; map = map->pfnGetBaseMap ? map->pfnGetBaseMap() : nullptr) {
        for (const AFX_MSGMAP_ENTRY* e = map->lpEntries; e && e->pfn; ++e) {
            if (e->nMessage != message || e->nCode != code) continue;
            if (matchId && (id < e->nID || id > e->nLastID)) continue;
            LRESULT r = 0;
            if (e->pfn(self, message, wParam, lParam, &r)) {
                if (result) *result = r;
                return true;
            }
        }
    }
    return false;
}

}  // namespace

BOOL CWnd::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result)
{
    if (message == WM_COMMAND) {
        if (result) *result = 0;
        return OnCommand(wParam, lParam);
    }
    if (message == WM_NOTIFY) return OnNotify(wParam, lParam, result);
    if (runEntry(this, GetMessageMap(), message, 0, 0, false, wParam, lParam, result)) return TRUE;
    // Owner draw and control colours go back to the control when the parent
    // does not take them.
    HWND control = nullptr;
    if (message == WM_DRAWITEM) control = reinterpret_cast<LPDRAWITEMSTRUCT>(lParam)->hwndItem;
    if (message == WM_MEASUREITEM) {
        CWnd* item = GetDlgItem(static_cast<int>(reinterpret_cast<LPMEASUREITEMSTRUCT>(lParam)->CtlID));
        control = item ? item->m_hWnd : nullptr;
    }
    if (message >= WM_CTLCOLOREDIT && message <= WM_CTLCOLORSTATIC) control = reinterpret_cast<HWND>(lParam);
    if (control && control != m_hWnd) {
        CWnd* child = FromHandle(control);
        if (child && child->OnChildNotify(message, wParam, lParam, result)) return TRUE;
    }
    return FALSE;
}

BOOL CWnd::OnCommand(WPARAM wParam, LPARAM lParam)
{
    const UINT id = LOWORD(wParam), code = HIWORD(wParam);
    HWND control = reinterpret_cast<HWND>(lParam);
    if (control) {
        CWnd* child = FromHandle(control);
        if (child && child != this && child->OnChildNotify(WM_COMMAND, wParam, lParam, nullptr)) return TRUE;
    }
    return runEntry(this, GetMessageMap(), WM_COMMAND, code, id, true, wParam, lParam, nullptr) ? TRUE : FALSE;
}

BOOL CWnd::OnNotify(WPARAM wParam, LPARAM lParam, LRESULT* result)
{
    NMHDR* nm = reinterpret_cast<NMHDR*>(lParam);
    if (!nm) return FALSE;
    CWnd* child = FromHandle(nm->hwndFrom);
    if (child && child != this && child->OnChildNotify(WM_NOTIFY, wParam, lParam, result)) return TRUE;
    return runEntry(this, GetMessageMap(), WM_NOTIFY, nm->code, static_cast<UINT>(nm->idFrom), true, wParam, lParam,
                    result)
               ? TRUE
               : FALSE;
}

BOOL CWnd::OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result)
{
    UINT code = 0;
    if (message == WM_COMMAND) code = HIWORD(wParam);
    if (message == WM_NOTIFY) code = reinterpret_cast<NMHDR*>(lParam)->code;
    return runEntry(this, GetMessageMap(), WM_REFLECT_BASE + message, code, 0, false, wParam, lParam, result) ? TRUE
                                                                                                               : FALSE;
}

BOOL CWnd::PreTranslateMessage(MSG*)
{
    return FALSE;
}

LRESULT CWnd::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    WindowRecord* rec = Find(m_hWnd);
    if (!rec) return 0;
    switch (message) {
    case WM_ERASEBKGND: {
        extern void lumEraseBackground(HWND, HDC);
        lumEraseBackground(m_hWnd, reinterpret_cast<HDC>(wParam));
        return TRUE;
    }
    case WM_NCHITTEST: return HTCLIENT;
    case WM_SETCURSOR: {
        const int hit = static_cast<short>(LOWORD(lParam));
        LPCSTR shape = IDC_ARROW;
        if (hit == HTLEFT || hit == HTRIGHT) shape = IDC_SIZEWE;
        else if (hit == HTTOP || hit == HTBOTTOM) shape = IDC_SIZENS;
        else if (hit == HTTOPLEFT || hit == HTBOTTOMRIGHT) shape = IDC_SIZENWSE;
        else if (hit == HTTOPRIGHT || hit == HTBOTTOMLEFT) shape = IDC_SIZENESW;
        if (rec->className.CompareNoCase("Edit") == 0 && hit == HTCLIENT) shape = IDC_IBEAM;
        ::SetCursor(LoadCursor(nullptr, shape));
        return TRUE;
    }
    case WM_NCLBUTTONDOWN: {
        const int hit = static_cast<int>(wParam);
        CWnd* top = GetTopLevelParent();
        if (hit == HTCAPTION) beginTracking(top ? top->m_hWnd : m_hWnd, Tracking::Move, 0, true);
        else if (hit >= HTLEFT && hit <= HTBOTTOMRIGHT)
            DefWindowProc(WM_SYSCOMMAND, SC_SIZE + (hit - HTLEFT + 1), lParam);
        return 0;
    }
    case WM_SYSCOMMAND: {
        const UINT cmd = static_cast<UINT>(wParam) & 0xFFF0;
        if (cmd == SC_SIZE) beginTracking(m_hWnd, Tracking::Size, static_cast<int>(wParam & 0xF));
        else if (cmd == SC_MOVE) beginTracking(m_hWnd, Tracking::Move, 0);
        else if (cmd == SC_MINIMIZE) ShowWindow(SW_MINIMIZE);
        else if (cmd == SC_RESTORE) ShowWindow(SW_RESTORE);
        else if (cmd == SC_CLOSE) ::SendMessage(m_hWnd, WM_CLOSE, 0, 0);
        return 0;
    }
    case WM_CLOSE: DestroyWindow(); return 0;
    case WM_SETTEXT: {
        rec->text = reinterpret_cast<LPCSTR>(lParam) ? reinterpret_cast<LPCSTR>(lParam) : "";
        const wxString t = wxString::FromUTF8(AnsiToUtf8(rec->text).GetString());
        if (rec->kind == WidgetKind::Edit) {
            auto* edit = static_cast<EditControl*>(rec->widget);
            edit->suppress_ = true;
            edit->ChangeValue(t);
            edit->suppress_ = false;
        } else if (isTopLevel(rec)) {
            static_cast<wxFrame*>(rec->widget)->SetTitle(t);
        }
        Invalidate();
        return TRUE;
    }
    case WM_GETTEXTLENGTH: {
        CString t;
        GetWindowText(t);
        return t.GetLength();
    }
    case WM_GETTEXT: {
        CString t;
        GetWindowText(t);
        char* buffer = reinterpret_cast<char*>(lParam);
        const int size = static_cast<int>(wParam);
        if (!buffer || size <= 0) return 0;
        const int n = std::min(t.GetLength(), size - 1);
        std::copy(t.GetString(), t.GetString() + n, buffer);
        buffer[n] = 0;
        return n;
    }
    case WM_SETFONT:
        rec->font = reinterpret_cast<CFont*>(wParam);
        if (lParam) Invalidate();
        return 0;
    case WM_GETFONT: return reinterpret_cast<LRESULT>(rec->font);
    case WM_LBUTTONDBLCLK:
    default: return 0;
    }
}

// ---------------------------------------------------------------- window state

namespace {

// Shows the widget of a window the program had hidden, also when the
// toolkit believes it shown already (a map that came after a hide).
void showWidget(WindowRecord* rec, bool wasVisible)
{
    if (!wasVisible && rec->widget->IsShown()) rec->widget->Hide();
    if (keptOffScreen(rec)) return;
    rec->widget->Show();
}

}  // namespace

BOOL CWnd::ShowWindow(int cmd)
{
    const HWND hwnd = m_hWnd;
    WindowRecord* rec = Find(hwnd);
    if (!rec || !rec->widget) return FALSE;
    const BOOL wasVisible = rec->visible;
    const bool show = cmd != SW_HIDE;
    nextPaintEpoch();
    if (show != static_cast<bool>(wasVisible)) Dispatch(hwnd, WM_SHOWWINDOW, show, 0);
    // Every handler may destroy the window (and the layer its object): the
    // record is looked up again after each one and `this` is not used.
    rec = Find(hwnd);
    if (!rec) return wasVisible;
    rec->visible = show;
    switch (cmd) {
    case SW_HIDE: rec->widget->Hide(); break;
    case SW_MINIMIZE:
    case SW_SHOWMINIMIZED:
    case SW_SHOWMINNOACTIVE:
        rec->iconic = true;
        showWidget(rec, wasVisible);
        if (isTopLevel(rec)) static_cast<wxFrame*>(rec->widget)->Iconize(true);
        Dispatch(hwnd, WM_SIZE, SIZE_MINIMIZED, 0);
        break;
    default:
        if (isTopLevel(rec) && cmd != SW_SHOWNA && cmd != SW_SHOWNOACTIVATE) {
            g_foreground = hwnd;
            if (!wasVisible) GiveUserTime(rec->widget, g_userTime);
        }
        if (rec->iconic) {
            rec->iconic = false;
            if (isTopLevel(rec)) static_cast<wxFrame*>(rec->widget)->Iconize(false);
            showWidget(rec, wasVisible);
            Dispatch(hwnd, WM_SIZE, SIZE_RESTORED, MAKELPARAM(rec->cx, rec->cy));
        } else if (!wasVisible) {
            showWidget(rec, wasVisible);
            if (isTopLevel(rec)) rec->widget->SetSize(rec->x, rec->y, std::max(rec->cx, 1), std::max(rec->cy, 1));
        }
        break;
    }
    return wasVisible;
}

BOOL CWnd::IsWindowVisible() const
{
    WindowRecord* rec = Find(m_hWnd);
    if (!rec || !rec->widget || !rec->visible) return FALSE;
    return rec->parent ? FromHandle(rec->parent)->IsWindowVisible() : TRUE;
}

BOOL CWnd::IsIconic() const
{
    WindowRecord* rec = Find(m_hWnd);
    return rec && rec->iconic;
}

BOOL CWnd::IsZoomed() const
{
    return FALSE;
}

BOOL CWnd::EnableWindow(BOOL enable)
{
    WindowRecord* rec = Find(m_hWnd);
    if (!rec || !rec->widget) return FALSE;
    const BOOL wasDisabled = !rec->widget->IsEnabled();
    rec->widget->Enable(enable != FALSE);
    if (enable) rec->style &= ~WS_DISABLED;
    else rec->style |= WS_DISABLED;
    Invalidate();
    return wasDisabled;
}

BOOL CWnd::IsWindowEnabled() const
{
    WindowRecord* rec = Find(m_hWnd);
    return rec && rec->widget && rec->widget->IsEnabled();
}

void CWnd::MoveWindow(int x, int y, int width, int height, BOOL repaint)
{
    SetWindowPos(nullptr, x, y, width, height, SWP_NOZORDER | SWP_NOACTIVATE | (repaint ? 0 : SWP_NOREDRAW));
}

void CWnd::MoveWindow(LPCRECT rect, BOOL repaint)
{
    if (rect) MoveWindow(rect->left, rect->top, rect->right - rect->left, rect->bottom - rect->top, repaint);
}

BOOL CWnd::SetWindowPos(const CWnd* insertAfter, int x, int y, int cx, int cy, UINT flags)
{
    WindowRecord* rec = Find(m_hWnd);
    if (!rec || !rec->widget) return FALSE;
    HWND hwnd = m_hWnd;
    wxWindow* w = rec->widget;
    const HWND after = insertAfter ? insertAfter->m_hWnd : HWND_TOP;
    if (!(flags & SWP_NOZORDER) && isTopLevel(rec)) {
        if (after == HWND_TOPMOST || after == HWND_NOTOPMOST) {
            const bool topmost = after == HWND_TOPMOST;
            if (topmost != rec->topmost) {
                rec->topmost = topmost;
                long style = w->GetWindowStyleFlag();
                w->SetWindowStyleFlag(topmost ? (style | wxSTAY_ON_TOP) : (style & ~wxSTAY_ON_TOP));
            }
            if (topmost) rec->exStyle |= WS_EX_TOPMOST;
            else rec->exStyle &= ~WS_EX_TOPMOST;
        }
        if (after == HWND_TOP || after == HWND_TOPMOST) presentTopLevel(rec);
    }
    const wxPoint oldPos(rec->x, rec->y);
    const wxSize oldSize(rec->cx, rec->cy);
    wxPoint pos = (flags & SWP_NOMOVE) ? oldPos : wxPoint(x, y);
    wxSize size = (flags & SWP_NOSIZE) ? oldSize : wxSize(std::max(cx, 0), std::max(cy, 0));
    const bool moved = pos != oldPos, resized = size != oldSize;
    // As on the original system, a move or size request is announced even
    // when nothing changes (windows lay themselves out on WM_SIZE).
    const bool announceMove = !(flags & SWP_NOMOVE), announceSize = !(flags & SWP_NOSIZE);
    if (moved || resized) {
        nextPaintEpoch();
        rec->x = pos.x;
        rec->y = pos.y;
        rec->cx = size.x;
        rec->cy = size.y;
        if (isTopLevel(rec)) {
            updateDockHint(rec);
            rec->moveAskedAt = std::chrono::steady_clock::now();
        }
        w->SetSize(pos.x, pos.y, std::max(size.x, 1), std::max(size.y, 1), wxSIZE_ALLOW_MINUS_ONE);
        if (resized) rec->needErase = rec->dirty = true;
    }
    if (flags & SWP_SHOWWINDOW) ShowWindow(SW_SHOWNA);
    if (flags & SWP_HIDEWINDOW) ShowWindow(SW_HIDE);
    if (announceMove && Find(hwnd)) Dispatch(hwnd, WM_MOVE, 0, MAKELPARAM(pos.x, pos.y));
    if (announceSize && Find(hwnd)) Dispatch(hwnd, WM_SIZE, SIZE_RESTORED, MAKELPARAM(size.x, size.y));
    if ((announceMove || announceSize) && Find(hwnd)) {
        WINDOWPOS wp;
        wp.hwnd = hwnd;
        wp.x = pos.x;
        wp.y = pos.y;
        wp.cx = size.x;
        wp.cy = size.y;
        wp.flags = flags;
        Dispatch(hwnd, WM_WINDOWPOSCHANGED, 0, reinterpret_cast<LPARAM>(&wp));
    }
    if (resized && !(flags & SWP_NOREDRAW) && Find(hwnd)) Invalidate();
    return TRUE;
}

void CWnd::GetWindowRect(LPRECT rect) const
{
    if (rect) *rect = windowRect(Find(m_hWnd));
}

void CWnd::GetClientRect(LPRECT rect) const
{
    if (!rect) return;
    *rect = RECT();
    WindowRecord* rec = Find(m_hWnd);
    if (!rec) return;
    rect->right = rec->cx;
    rect->bottom = rec->cy;
}

void CWnd::ClientToScreen(LPPOINT point) const
{
    if (!point) return;
    wxPoint o = screenOrigin(Find(m_hWnd));
    point->x += o.x;
    point->y += o.y;
}

void CWnd::ClientToScreen(LPRECT rect) const
{
    if (!rect) return;
    wxPoint o = screenOrigin(Find(m_hWnd));
    OffsetRect(rect, o.x, o.y);
}

void CWnd::ScreenToClient(LPPOINT point) const
{
    if (!point) return;
    wxPoint o = screenOrigin(Find(m_hWnd));
    point->x -= o.x;
    point->y -= o.y;
}

void CWnd::ScreenToClient(LPRECT rect) const
{
    if (!rect) return;
    wxPoint o = screenOrigin(Find(m_hWnd));
    OffsetRect(rect, -o.x, -o.y);
}

void CWnd::CenterWindow(CWnd* alternateOwner)
{
    WindowRecord* rec = Find(m_hWnd);
    if (!rec) return;
    RECT me = windowRect(rec);
    RECT area;
    CWnd* owner = alternateOwner ? alternateOwner : GetOwner();
    if (!isTopLevel(rec)) owner = GetParent();
    if (owner && Find(owner->m_hWnd)) {
        owner->GetWindowRect(&area);
    } else {
        area.right = GetSystemMetrics(SM_CXSCREEN);
        area.bottom = GetSystemMetrics(SM_CYSCREEN);
    }
    int x = (area.left + area.right - (me.right - me.left)) / 2;
    int y = (area.top + area.bottom - (me.bottom - me.top)) / 2;
    if (!isTopLevel(rec)) {
        wxPoint po = screenOrigin(Find(rec->parent));
        x -= po.x;
        y -= po.y;
    }
    SetWindowPos(nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void CWnd::SetWindowText(LPCTSTR text)
{
    SendMessage(WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text ? text : ""));
}

int CWnd::GetWindowText(LPTSTR buffer, int size) const
{
    return static_cast<int>(::SendMessage(m_hWnd, WM_GETTEXT, static_cast<WPARAM>(size), reinterpret_cast<LPARAM>(buffer)));
}

void CWnd::GetWindowText(CString& text) const
{
    text.Empty();
    WindowRecord* rec = Find(m_hWnd);
    if (!rec) return;
    if (rec->kind == WidgetKind::Edit) {
        text = Utf8ToAnsi(CString(static_cast<wxTextCtrl*>(rec->widget)->GetValue().utf8_str().data()));
        rec->text = text;
    } else {
        text = rec->text;
    }
}

int CWnd::GetWindowTextLength() const
{
    CString t;
    GetWindowText(t);
    return t.GetLength();
}

void CWnd::SetFont(CFont* font, BOOL redraw)
{
    SendMessage(WM_SETFONT, reinterpret_cast<WPARAM>(font), redraw);
}

CFont* CWnd::GetFont() const
{
    WindowRecord* rec = Find(m_hWnd);
    return rec ? rec->font : nullptr;
}

int CWnd::GetDlgCtrlID() const
{
    WindowRecord* rec = Find(m_hWnd);
    return rec ? static_cast<int>(rec->id) : 0;
}

int CWnd::SetDlgCtrlID(int id)
{
    WindowRecord* rec = Find(m_hWnd);
    if (!rec) return 0;
    int old = static_cast<int>(rec->id);
    rec->id = static_cast<UINT>(id);
    return old;
}

CWnd* CWnd::GetDlgItem(int id) const
{
    for (HWND child : childrenOf(m_hWnd)) {
        WindowRecord* c = Find(child);
        if (c && static_cast<int>(c->id) == id) return c->wnd;
    }
    return nullptr;
}

void CWnd::SetDlgItemText(int id, LPCTSTR text)
{
    if (CWnd* item = GetDlgItem(id)) item->SetWindowText(text);
}

int CWnd::GetDlgItemText(int id, CString& text) const
{
    text.Empty();
    if (CWnd* item = GetDlgItem(id)) item->GetWindowText(text);
    return text.GetLength();
}

#define BM_GETCHECK 0x00F0
#define BM_SETCHECK 0x00F1

UINT CWnd::IsDlgButtonChecked(int id) const
{
    CWnd* item = GetDlgItem(id);
    return item ? static_cast<UINT>(item->SendMessage(BM_GETCHECK)) : 0;
}

void CWnd::CheckDlgButton(int id, UINT check)
{
    if (CWnd* item = GetDlgItem(id)) item->SendMessage(BM_SETCHECK, check);
}

CWnd* CWnd::GetParent() const
{
    WindowRecord* rec = Find(m_hWnd);
    if (!rec) return nullptr;
    return FromHandle(rec->parent ? rec->parent : rec->owner);
}

CWnd* CWnd::SetParent(CWnd* newParent)
{
    WindowRecord* rec = Find(m_hWnd);
    if (!rec) return nullptr;
    CWnd* old = GetParent();
    WindowRecord* np = newParent ? Find(newParent->m_hWnd) : nullptr;
    if (!isTopLevel(rec) && np && np->widget) {
        nextPaintEpoch();
        rec->widget->Reparent(np->widget);
        rec->parent = np->handle;
    } else if (isTopLevel(rec)) {
        rec->owner = np ? np->handle : nullptr;
    }
    return old;
}

CWnd* CWnd::GetOwner() const
{
    WindowRecord* rec = Find(m_hWnd);
    if (!rec) return nullptr;
    return FromHandle(rec->owner ? rec->owner : rec->parent);
}

void CWnd::SetOwner(CWnd* owner)
{
    if (WindowRecord* rec = Find(m_hWnd)) rec->owner = owner ? owner->m_hWnd : nullptr;
}

CWnd* CWnd::GetTopLevelParent() const
{
    WindowRecord* rec = Find(m_hWnd);
    while (rec && !isTopLevel(rec)) rec = Find(rec->parent);
    return rec ? rec->wnd : nullptr;
}

DWORD CWnd::GetStyle() const
{
    WindowRecord* rec = Find(m_hWnd);
    if (!rec) return 0;
    return rec->style | (rec->widget && rec->visible ? WS_VISIBLE : 0);
}

DWORD CWnd::GetExStyle() const
{
    WindowRecord* rec = Find(m_hWnd);
    return rec ? rec->exStyle : 0;
}

BOOL CWnd::ModifyStyle(DWORD remove, DWORD add, UINT)
{
    WindowRecord* rec = Find(m_hWnd);
    if (!rec) return FALSE;
    const DWORD old = rec->style;
    rec->style = (rec->style & ~remove) | (add & ~WS_VISIBLE);
    const BOOL changed = old != rec->style;
    if (add & WS_VISIBLE) ::ShowWindow(rec->handle, SW_SHOWNA);
    else if (remove & WS_VISIBLE) ::ShowWindow(rec->handle, SW_HIDE);
    return changed;
}

BOOL CWnd::ModifyStyleEx(DWORD remove, DWORD add, UINT)
{
    WindowRecord* rec = Find(m_hWnd);
    if (!rec) return FALSE;
    const DWORD old = rec->exStyle;
    rec->exStyle = (rec->exStyle & ~remove) | add;
    if ((old & WS_EX_LAYERED) && !(rec->exStyle & WS_EX_LAYERED) && isTopLevel(rec)) {
        // Leaving the layered style makes the window opaque again.
        rec->alpha = 255;
        applyAlpha(rec);
    }
    if ((rec->exStyle ^ old) & WS_EX_TOOLWINDOW && isTopLevel(rec)) {
        // In the task list or out of it, now.
        const long s = rec->widget->GetWindowStyleFlag();
        const bool isTool = (rec->exStyle & WS_EX_TOOLWINDOW) != 0;
        rec->widget->SetWindowStyleFlag(isTool ? (s | wxFRAME_NO_TASKBAR) : (s & ~wxFRAME_NO_TASKBAR));
        if (GdkWindow* gw = gtk_widget_get_window(rec->widget->GetHandle())) {
            gdk_window_set_skip_taskbar_hint(gw, isTool);
            gdk_window_set_skip_pager_hint(gw, isTool);
        }
    }
    return old != rec->exStyle;
}

int CWnd::SetWindowRgn(HRGN region, BOOL redraw)
{
    WindowRecord* rec = Find(m_hWnd);
    if (!rec) return 0;
    if (rec->region) cairo_region_destroy(rec->region);
    rec->region = nullptr;
    wxRegion shape;
    if (const cairo_region_t* r = region ? RegionOf(region) : nullptr) {
        rec->region = cairo_region_copy(r);
        for (int i = 0; i < cairo_region_num_rectangles(r); ++i) {
            cairo_rectangle_int_t b;
            cairo_region_get_rectangle(r, i, &b);
            shape.Union(b.x, b.y, b.width, b.height);
        }
    }
    if (isTopLevel(rec)) {
        static_cast<wxFrame*>(rec->widget)->SetShape(shape);
        applyInputShape(rec);
    }
    if (redraw) Invalidate();
    return 1;
}

BOOL CWnd::SetLayeredWindowAttributes(COLORREF, BYTE alpha, DWORD flags)
{
    WindowRecord* rec = Find(m_hWnd);
    if (!rec || !(rec->exStyle & WS_EX_LAYERED)) return FALSE;
    if (flags & LWA_ALPHA) {
        rec->alpha = alpha;
        applyAlpha(rec);
    }
    return TRUE;
}

void CWnd::SetIcon(void*, BOOL) {}

BOOL CWnd::SetForegroundWindow()
{
    CWnd* top = GetTopLevelParent();
    WindowRecord* rec = top ? Find(top->m_hWnd) : nullptr;
    if (!rec) return FALSE;
    presentTopLevel(rec);
    g_foreground = rec->handle;
    return TRUE;
}

void CWnd::BringWindowToTop()
{
    WindowRecord* rec = Find(m_hWnd);
    if (rec && rec->widget) {
        if (isTopLevel(rec)) presentTopLevel(rec);
        else rec->widget->Raise();
    }
}

BOOL CWnd::FlashWindow(BOOL)
{
    WindowRecord* rec = Find(m_hWnd);
    if (!rec || !isTopLevel(rec)) return FALSE;
    // The urgency hint stays until the window is activated. (The toolkit's
    // informational request takes the hint back 5 s later from a timer that
    // a window destroyed meanwhile does not cancel: the timer then runs on
    // the freed window.) The request needs a running event loop; outside
    // one it is made as soon as one runs, if the window is still there.
    wxWeakRef<wxFrame> frame(static_cast<wxFrame*>(rec->widget));
    if (wxEventLoopBase::GetActive())
        frame->RequestUserAttention(wxUSER_ATTENTION_ERROR);
    else
        wxTheApp->CallAfter([frame] {
            if (frame) frame->RequestUserAttention(wxUSER_ATTENTION_ERROR);
        });
    return TRUE;
}

CWnd* CWnd::SetFocus()
{
    HWND old = g_focus;
    WindowRecord* rec = Find(m_hWnd);
    if (!rec) return nullptr;
    rec->widget->SetFocus();
    if (g_focus != m_hWnd) {
        g_focus = m_hWnd;
        Dispatch(m_hWnd, WM_SETFOCUS, reinterpret_cast<WPARAM>(old), 0);
    }
    return FromHandle(old);
}

CWnd* CWnd::GetFocus()
{
    return FromHandle(g_focus);
}

CWnd* CWnd::SetCapture()
{
    HWND old = g_capture;
    g_capture = m_hWnd;
    return FromHandle(old);
}

CWnd* CWnd::GetCapture()
{
    return FromHandle(g_capture);
}

CWnd* CWnd::GetForegroundWindow()
{
    return FromHandle(g_foreground);
}

BOOL CWnd::CloseWindow()
{
    return ShowWindow(SW_MINIMIZE), TRUE;
}

BOOL CWnd::EnableToolTips(BOOL)
{
    return TRUE;
}

void CWnd::Invalidate(BOOL erase)
{
    WindowRecord* rec = Find(m_hWnd);
    if (!rec || !rec->widget) return;
    if (erase) rec->needErase = true;
    // Filling a list invalidates it once per row: when nothing has painted
    // since this window's last invalidation, it and its children are still
    // marked and the repaint is still queued.
    const unsigned long long epoch = g_paintEpoch.load(std::memory_order_relaxed);
    if (rec->kind == WidgetKind::Plain && rec->invalidEpoch == epoch) return;
    // Children show their parent's pixels under them: they paint anew too.
    // The subtree is marked under one hold of the table lock, with a work
    // list reused from call to call.
    thread_local std::vector<HWND> pending;
    pending.clear();
    pending.push_back(m_hWnd);
    {
        std::lock_guard<std::recursive_mutex> lock(g_tableLock);
        rec->dirty = true;
        for (size_t next = 0; next < pending.size(); ++next) {
            const HWND h = pending[next];
            for (auto& kv : g_windows)
                if (kv.second->parent == h) {
                    // Erased anew, so that a child showing its parent takes
                    // the parent's new pixels.
                    kv.second->dirty = true;
                    kv.second->needErase = true;
                    pending.push_back(kv.first);
                }
        }
    }
    rec->widget->Refresh(false);
    rec->invalidEpoch = epoch;
}

void CWnd::InvalidateRect(LPCRECT, BOOL erase)
{
    Invalidate(erase);
}

void CWnd::UpdateWindow()
{
    WindowRecord* rec = Find(m_hWnd);
    if (!rec || !rec->widget) return;
    // Paint now into the back buffer, then let the display catch up.
    const HWND hwnd = m_hWnd;
    PaintIntoBackBuffer(rec);
    if ((rec = Find(hwnd))) rec->widget->Refresh(false);
}

BOOL CWnd::RedrawWindow(LPCRECT, HRGN, UINT flags)
{
    if (flags & (RDW_INVALIDATE | RDW_ERASE)) Invalidate(flags & RDW_ERASE ? TRUE : FALSE);
    if (flags & RDW_UPDATENOW) UpdateWindow();
    return TRUE;
}

UINT_PTR CWnd::SetTimer(UINT_PTR id, UINT elapse, void*)
{
    WindowRecord* rec = Find(m_hWnd);
    if (!rec) return 0;
    auto it = rec->timers.find(id);
    if (it != rec->timers.end()) {
        it->second->Stop();
        delete it->second;
        rec->timers.erase(it);
    }
    auto* timer = new LayerTimer(m_hWnd, id, WM_TIMER);
    timer->Start(static_cast<int>(std::max<UINT>(elapse, 1)));
    rec->timers[id] = timer;
    return id;
}

BOOL CWnd::KillTimer(UINT_PTR id)
{
    WindowRecord* rec = Find(m_hWnd);
    if (!rec) return FALSE;
    auto it = rec->timers.find(id);
    if (it == rec->timers.end()) return FALSE;
    it->second->Stop();
    delete it->second;
    rec->timers.erase(it);
    return TRUE;
}

// ---------------------------------------------------------------- default handlers

void CWnd::OnPaint() { Default(); }
BOOL CWnd::OnEraseBkgnd(CDC*) { return static_cast<BOOL>(Default()); }
int CWnd::OnCreate(void*) { return static_cast<int>(Default()); }
void CWnd::OnDestroy() { Default(); }
void CWnd::OnClose() { Default(); }
void CWnd::OnSize(UINT, int, int) { Default(); }
void CWnd::OnMove(int, int) { Default(); }
void CWnd::OnMoving(UINT, LPRECT) { Default(); }
void CWnd::OnShowWindow(BOOL, UINT) { Default(); }
void CWnd::OnGetMinMaxInfo(MINMAXINFO*) { Default(); }
void CWnd::OnTimer(UINT_PTR) { Default(); }
void CWnd::OnMouseMove(UINT, CPoint) { Default(); }
void CWnd::OnLButtonDown(UINT, CPoint) { Default(); }
void CWnd::OnLButtonUp(UINT, CPoint) { Default(); }
void CWnd::OnLButtonDblClk(UINT, CPoint) { Default(); }
void CWnd::OnRButtonDown(UINT, CPoint) { Default(); }
void CWnd::OnRButtonUp(UINT, CPoint) { Default(); }
void CWnd::OnMouseHover(UINT, CPoint) { Default(); }
void CWnd::OnMouseLeave() { Default(); }
BOOL CWnd::OnMouseWheel(UINT, short, CPoint) { return static_cast<BOOL>(Default()); }
LRESULT CWnd::OnNcHitTest(CPoint) { return Default(); }
void CWnd::OnNcLButtonDown(UINT, CPoint) { Default(); }
void CWnd::OnNcCalcSize(BOOL, NCCALCSIZE_PARAMS*) { Default(); }
BOOL CWnd::OnSetCursor(CWnd*, UINT, UINT) { return static_cast<BOOL>(Default()); }
void CWnd::OnSetFocus(CWnd*) { Default(); }
void CWnd::OnKillFocus(CWnd*) { Default(); }
void CWnd::OnKeyDown(UINT, UINT, UINT) { Default(); }
void CWnd::OnSysCommand(UINT, LPARAM) { Default(); }
void CWnd::OnHotKey(UINT, UINT, UINT) { Default(); }
HCURSOR CWnd::OnQueryDragIcon() { return nullptr; }
void CWnd::OnVScroll(UINT, UINT, CScrollBar*) { Default(); }
void CWnd::OnWindowPosChanged(WINDOWPOS*) { Default(); }

HBRUSH CWnd::OnCtlColor(CDC*, CWnd* wnd, UINT)
{
    // The control may answer for itself (reflected).
    if (wnd && wnd != this && !t_current.empty()) {
        const MSG m = t_current.back();
        LRESULT r = 0;
        if (wnd->OnChildNotify(m.message, m.wParam, m.lParam, &r)) return reinterpret_cast<HBRUSH>(r);
    }
    return nullptr;
}

HBRUSH CWnd::CtlColor(CDC*, UINT) { return nullptr; }
void CWnd::MeasureItem(LPMEASUREITEMSTRUCT) {}
void CWnd::DrawItem(LPDRAWITEMSTRUCT) {}

// ---------------------------------------------------------------- free functions

LRESULT SendMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (!hwnd) return 0;
    if (onUiThread()) return Dispatch(hwnd, message, wParam, lParam);
    if (!g_started || !wxTheApp || !IsWindow(hwnd)) return 0;
    auto done = std::make_shared<std::promise<LRESULT>>();
    auto future = done->get_future();
    QueueOnUiThread([done, hwnd, message, wParam, lParam] { done->set_value(Dispatch(hwnd, message, wParam, lParam)); });
    return future.get();
}

BOOL PostMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_QUIT) {
        PostQuitMessage(static_cast<int>(wParam));
        return TRUE;
    }
    if (!hwnd || !IsWindow(hwnd) || !g_started || !wxTheApp) return FALSE;
    QueueOnUiThread([hwnd, message, wParam, lParam] {
        if (!Find(hwnd)) return;
        MSG m;
        m.hwnd = hwnd;
        m.message = message;
        m.wParam = wParam;
        m.lParam = lParam;
        m.pt = g_cursor;
        if (!PreTranslate(m)) Dispatch(hwnd, message, wParam, lParam);
    });
    return TRUE;
}

BOOL IsWindow(HWND hwnd)
{
    return Find(hwnd) != nullptr;
}

BOOL IsWindowVisible(HWND hwnd)
{
    CWnd* w = objectOf(hwnd);
    return w ? w->IsWindowVisible() : FALSE;
}

BOOL ShowWindow(HWND hwnd, int cmd)
{
    CWnd* w = objectOf(hwnd);
    return w ? w->ShowWindow(cmd) : FALSE;
}

BOOL DestroyWindow(HWND hwnd)
{
    CWnd* w = objectOf(hwnd);
    return w ? w->DestroyWindow() : FALSE;
}

BOOL SetWindowPos(HWND hwnd, HWND insertAfter, int x, int y, int cx, int cy, UINT flags)
{
    CWnd* w = objectOf(hwnd);
    if (!w) return FALSE;
    const CWnd* after = insertAfter == HWND_TOPMOST     ? &CWnd::wndTopMost
                        : insertAfter == HWND_NOTOPMOST ? &CWnd::wndNoTopMost
                        : insertAfter == HWND_BOTTOM    ? &CWnd::wndBottom
                        : insertAfter == HWND_TOP       ? &CWnd::wndTop
                                                        : objectOf(insertAfter);
    return w->SetWindowPos(after, x, y, cx, cy, flags);
}

BOOL MoveWindow(HWND hwnd, int x, int y, int width, int height, BOOL repaint)
{
    CWnd* w = objectOf(hwnd);
    if (!w) return FALSE;
    w->MoveWindow(x, y, width, height, repaint);
    return TRUE;
}

BOOL GetWindowRect(HWND hwnd, LPRECT rect)
{
    CWnd* w = objectOf(hwnd);
    if (!w) return FALSE;
    w->GetWindowRect(rect);
    return TRUE;
}

BOOL GetClientRect(HWND hwnd, LPRECT rect)
{
    CWnd* w = objectOf(hwnd);
    if (!w) return FALSE;
    w->GetClientRect(rect);
    return TRUE;
}

BOOL RedrawWindow(HWND hwnd, LPCRECT rect, HRGN region, UINT flags)
{
    CWnd* w = objectOf(hwnd);
    return w ? w->RedrawWindow(rect, region, flags) : FALSE;
}

BOOL InvalidateRect(HWND hwnd, LPCRECT rect, BOOL erase)
{
    CWnd* w = objectOf(hwnd);
    if (!w) return FALSE;
    w->InvalidateRect(rect, erase);
    return TRUE;
}

BOOL UpdateWindow(HWND hwnd)
{
    CWnd* w = objectOf(hwnd);
    if (!w) return FALSE;
    w->UpdateWindow();
    return TRUE;
}

HWND GetParent(HWND hwnd)
{
    CWnd* w = objectOf(hwnd);
    CWnd* p = w ? w->GetParent() : nullptr;
    return p ? p->m_hWnd : nullptr;
}

LONG GetWindowLong(HWND hwnd, int index)
{
    CWnd* w = objectOf(hwnd);
    if (!w) return 0;
    return static_cast<LONG>(index == GWL_EXSTYLE ? w->GetExStyle() : index == GWL_STYLE ? w->GetStyle() : 0);
}

LONG SetWindowLong(HWND hwnd, int index, LONG value)
{
    CWnd* w = objectOf(hwnd);
    if (!w) return 0;
    LONG old = GetWindowLong(hwnd, index);
    if (index == GWL_EXSTYLE) w->ModifyStyleEx(static_cast<DWORD>(old), static_cast<DWORD>(value));
    else if (index == GWL_STYLE) w->ModifyStyle(static_cast<DWORD>(old) & ~WS_VISIBLE, static_cast<DWORD>(value) & ~WS_VISIBLE);
    return old;
}

BOOL SetLayeredWindowAttributes(HWND hwnd, COLORREF key, BYTE alpha, DWORD flags)
{
    CWnd* w = objectOf(hwnd);
    return w ? w->SetLayeredWindowAttributes(key, alpha, flags) : FALSE;
}

BOOL SetForegroundWindow(HWND hwnd)
{
    CWnd* w = objectOf(hwnd);
    return w ? w->SetForegroundWindow() : FALSE;
}

HWND GetForegroundWindow()
{
    return Find(g_foreground) ? g_foreground : nullptr;
}

BOOL FlashWindow(HWND hwnd, BOOL invert)
{
    CWnd* w = objectOf(hwnd);
    return w ? w->FlashWindow(invert) : FALSE;
}

UINT_PTR SetTimer(HWND hwnd, UINT_PTR id, UINT elapse, void* proc)
{
    CWnd* w = objectOf(hwnd);
    return w ? w->SetTimer(id, elapse, proc) : 0;
}

BOOL KillTimer(HWND hwnd, UINT_PTR id)
{
    CWnd* w = objectOf(hwnd);
    return w ? w->KillTimer(id) : FALSE;
}

BOOL TrackMouseEvent(TRACKMOUSEEVENT* track)
{
    if (!track) return FALSE;
    WindowRecord* rec = Find(track->hwndTrack);
    if (!rec) return FALSE;
    if (track->dwFlags & TME_CANCEL) {
        rec->trackFlags &= ~track->dwFlags;
        return TRUE;
    }
    rec->trackFlags |= track->dwFlags & (TME_HOVER | TME_LEAVE);
    if (track->dwFlags & TME_HOVER) {
        rec->hoverTime = track->dwHoverTime == HOVER_DEFAULT ? 400 : track->dwHoverTime;
        if (!rec->hoverTimer) rec->hoverTimer = new LayerTimer(rec->handle, 0, WM_MOUSEHOVER);
        rec->hoverTimer->StartOnce(static_cast<int>(std::max<DWORD>(rec->hoverTime, 1)));
    }
    return TRUE;
}

BOOL ReleaseCapture()
{
    g_capture = nullptr;
    return TRUE;
}

namespace {

}  // namespace

// Where the pointer is, also when it is over another program's window (the
// layer sees motion only over its own windows). Pointer events a test made
// count until the display's pointer moves. Other threads get the last
// position the UI thread saw.
BOOL GetCursorPos(LPPOINT point)
{
    if (!point) return FALSE;
    POINT real;
    if (onUiThread() && realPointer(&real)) {
        if (!g_testPointer || real.x != g_realAtTest.x || real.y != g_realAtTest.y) {
            g_testPointer = false;
            g_cursor = real;
        }
    }
    *point = g_cursor;
    return TRUE;
}

BOOL SetCursorPos(int x, int y)
{
    g_cursor.x = x;
    g_cursor.y = y;
    if (onUiThread())
        if (GdkDevice* pointer = pointerDevice())
            gdk_device_warp(pointer, gdk_display_get_default_screen(gdk_display_get_default()), x, y);
    return TRUE;
}

int GetSystemMetrics(int index)
{
    if (!g_started) return index == SM_CXSCREEN ? 1280 : index == SM_CYSCREEN ? 1024 : 0;
    wxSize s = wxGetDisplaySize();
    if (index == SM_CXSCREEN) return s.x;
    if (index == SM_CYSCREEN) return s.y;
    return 0;
}

COLORREF GetSysColor(int index)
{
    switch (index) {
    case COLOR_WINDOW: return RGB(255, 255, 255);
    case COLOR_MENU: return RGB(240, 240, 240);
    case COLOR_MENUTEXT: return RGB(0, 0, 0);
    case COLOR_WINDOWTEXT: return RGB(0, 0, 0);
    case COLOR_HIGHLIGHT: return RGB(0, 120, 215);
    case COLOR_HIGHLIGHTTEXT: return RGB(255, 255, 255);
    case COLOR_BTNFACE: return RGB(240, 240, 240);
    case COLOR_GRAYTEXT: return RGB(109, 109, 109);
    case COLOR_BTNTEXT: return RGB(0, 0, 0);
    default: return RGB(240, 240, 240);
    }
}

HCURSOR LoadCursor(HINSTANCE, LPCSTR name)
{
    return reinterpret_cast<HCURSOR>(const_cast<char*>(name));
}

HCURSOR SetCursor(HCURSOR cursor)
{
    HCURSOR old = g_currentCursor;
    g_currentCursor = cursor;
    if (onUiThread()) setCursorShape(cursor);
    return old;
}

HCURSOR GetCursor()
{
    return g_currentCursor;
}

void PostQuitMessage(int)
{
    g_quit = true;
    if (!g_started || !wxTheApp) return;
    wxTheApp->CallAfter([] {
        if (g_loops.empty()) return;
        wxGUIEventLoop* loop = g_loops.back();
        if (loop->IsRunning()) loop->Exit(IDCANCEL);
    });
}

BOOL SystemParametersInfo(UINT, UINT, void*, UINT)
{
    return TRUE;
}

SHORT GetKeyState(int vk)
{
    if (!g_started) return 0;
    wxKeyCode code = WXK_NONE;
    switch (vk) {
    case VK_CONTROL:
    case VK_LCONTROL:
    case VK_RCONTROL: code = WXK_CONTROL; break;
    case VK_SHIFT: code = WXK_SHIFT; break;
    case VK_MENU: code = WXK_ALT; break;
    default: return 0;
    }
    return wxGetKeyState(code) ? static_cast<SHORT>(0x8000) : 0;
}
