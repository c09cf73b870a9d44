// The window layer's own state (not for modules): one record per window,
// the handle table, and the functions the layer's parts share.
#pragma once

#include "platform/window.h"

#include <cairo.h>
#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

class wxWindow;
class wxTimer;
struct _GtkWidget;
class wxGUIEventLoop;

namespace lumui {

// What kind of widget carries a window.
enum class WidgetKind { Plain, Edit };

struct WindowRecord {
    HWND handle = nullptr;
    CWnd* wnd = nullptr;           // the object its messages go to
    bool layerOwnsObject = false;  // the layer made `wnd` and deletes it
    wxWindow* widget = nullptr;
    WidgetKind kind = WidgetKind::Plain;
    CString className;
    HWND parent = nullptr;
    HWND owner = nullptr;
    UINT id = 0;
    DWORD style = 0;
    DWORD exStyle = 0;
    CString text;
    CFont* font = nullptr;
    // Geometry as the layer set it: position in screen coordinates for a
    // top-level window, in the parent's client coordinates for a child; size.
    // Borderless windows have no frame, so the client area is the window.
    int x = 0, y = 0, cx = 0, cy = 0;
    bool inDestroy = false;  // DestroyWindow under way (a second call does nothing)
    HCURSOR cursor = nullptr;  // the shape last given to the widget
    // Shown by the program (ShowWindow). The toolkit's own idea can lag:
    // under a window manager a window may report itself mapped after the
    // program hid it again.
    bool visible = false;
    bool iconic = false;
    bool topmost = false;
    BYTE alpha = 255;
    // Under a window manager (top-level windows): typed as a dock while the
    // program keeps it partly beyond the screen's edge, with the type it had
    // before; when the program last asked for a move; a second look at a
    // position the window manager reported is due.
    bool dockHint = false;
    int normalHint = 0;
    std::chrono::steady_clock::time_point moveAskedAt;
    bool recheckDue = false;

    // Painting
    cairo_surface_t* back = nullptr;  // retained back buffer, client size
    HDC paintDC = nullptr;            // the DC of the paint cycle under way
    bool needErase = true;
    bool dirty = true;                // the back buffer must be painted anew
    // The paint epoch of this window's last full invalidation (0: none):
    // while it is still the current epoch, the window and its children are
    // marked dirty and a repaint is queued, so another Invalidate has
    // nothing to add.
    unsigned long long invalidEpoch = 0;
    cairo_region_t* region = nullptr; // window shape (top-level), null = rectangle

    // Background of dialogs (CDialogEx): a tiled bitmap or a colour.
    cairo_surface_t* bgImage = nullptr;
    bool bgTile = true;
    COLORREF bgColor = 0xFFFFFFFF;  // 0xFFFFFFFF: none set (system face colour)

    // Input
    DWORD trackFlags = 0;  // TME_HOVER | TME_LEAVE armed
    DWORD hoverTime = 0;
    bool mouseInside = false;
    std::map<UINT_PTR, wxTimer*> timers;
    wxTimer* hoverTimer = nullptr;

    // Dialogs
    wxGUIEventLoop* modalLoop = nullptr;
    int modalResult = 0;
    bool isDialog = false;
    UINT defaultId = IDOK;
};

// The window class of popup menus: the layer shows them as windows no window
// manager handles (placed exactly, on screen at once, never given a frame).
constexpr const char kMenuClass[] = "#32768";

// The live record of a handle, or null (UI thread; from other threads only
// to ask whether it exists).
WindowRecord* Find(HWND hwnd);
WindowRecord* Find(const CWnd* wnd);
// Every live window with the object its messages go to, in creation order.
std::vector<std::pair<HWND, CWnd*>> LiveWindows();

// Creates the widget and record for a new window; returns its handle.
HWND CreateWindowRecord(CWnd* wnd, DWORD exStyle, LPCTSTR className, LPCTSTR text, DWORD style, int x, int y, int w,
                        int h, HWND parent, UINT id);
// Runs a window procedure on the UI thread (the caller is on it).
LRESULT Dispatch(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
// Offers an input or posted message to PreTranslateMessage of the window
// and its ancestors; true when one consumed it.
bool PreTranslate(MSG& msg);

// Mouse input in screen coordinates, from the toolkit or from tests.
void DeliverMouse(HWND target, UINT message, POINT screen, UINT keys);
// Mouse input a test makes: the pointer is then where the test says, not
// where the display has it, until the display reports pointer input again.
void DeliverTestMouse(HWND target, UINT message, POINT screen, UINT keys);
// A key from the toolkit or a test; true when consumed (not for the widget).
bool DeliverKey(HWND target, UINT message, UINT vk);

// Lets a test that drives the program from outside ask a top-level window
// where its controls and page elements are (only when the program runs with
// LUM_TEST_QUERIES in its environment).
void AnswerTestQueries(HWND hwnd, _GtkWidget* topLevel);

// The entries of an open popup menu window, for those questions: each with
// its command id (0 for a separator, -1 for a submenu), the text it was
// given (owner-drawn entries may have none) and its place in the window.
struct PopupMenuEntry {
    UINT id = 0;
    CString text;
    CRect place;
};
bool PopupMenuEntries(HWND popup, std::vector<PopupMenuEntry>* entries);

// Tells the window manager that a top-level window about to be shown comes
// from the user's latest input to this program (its time stamp), so that it
// is shown on top and takes the focus, not held below the active window.
void GiveUserTime(wxWindow* topLevel, unsigned int time);

// Grabs the pointer (and the keyboard) for a window, so that input outside
// the program reaches it too; made when the window maps when it is not yet
// on screen. One grab at a time: a new one ends the old.
void GrabInput(HWND hwnd, bool keyboard);
// Ends the grab of `hwnd` (of any window when null).
void ReleaseInput(HWND hwnd);
// The window holding a keyboard grab (an open menu), or null.
HWND KeyboardGrabWindow();

// Painting: runs a paint cycle of the window into its back buffer.
void PaintIntoBackBuffer(WindowRecord* rec);
// The window's back buffer, after painting it when it has none yet.
cairo_surface_t* BackBuffer(HWND hwnd);
// The window and its children composed into one ARGB image (caller destroys).
cairo_surface_t* Compose(HWND hwnd);

// Holds back the work other threads queue for the UI thread (posted and
// sent messages, RunOnUiThread) while it lives: the loop that waits for a
// call into a page runs none of it. A loop opened inside that wait (a menu
// or a message box the user opens meanwhile) runs it as any loop does.
// UI thread; holds nest.
class QueuedWorkHold {
public:
    QueuedWorkHold();
    ~QueuedWorkHold();
    QueuedWorkHold(const QueuedWorkHold&) = delete;
    QueuedWorkHold& operator=(const QueuedWorkHold&) = delete;
};

// Modal loops. RunLoop runs a loop that PostQuitMessage can end.
int RunModal(HWND hwnd);
int RunLoop();
void EndModal(HWND hwnd, int result);

}  // namespace lumui
