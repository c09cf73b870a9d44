// Windows and messages.
//
// A window is a CWnd object bound to a native widget through an opaque
// handle (HWND). Input, painting, sizing and the rest reach the object as
// numbered messages through its WindowProc: the message map of its class and
// its base classes is searched, and unhandled messages get the layer's
// default handling (DefWindowProc).
//
// Threads: every window belongs to the UI thread. SendMessage from the UI
// thread calls the window procedure directly; from any other thread it runs
// the procedure on the UI thread and returns its result after it ran (0 for a
// window that is gone by then). PostMessage queues the message for the UI
// thread. A handler never runs for a window that was destroyed meanwhile.
//
// Painting: each window paints into a back buffer of its own (a 32-bit
// surface of its client size) that is then shown; WM_PAINT handlers draw on
// it through CPaintDC.
#pragma once

#include "platform/CString.h"
#include "platform/msgdef.h"

#include <functional>

class CWnd;
class CDC;
class CFont;
class CScrollBar;
struct HBRUSH__;
typedef HBRUSH__* HBRUSH;
struct HCURSOR__;
typedef HCURSOR__* HCURSOR;
struct HRGN__;
typedef HRGN__* HRGN;

// ---------------------------------------------------------------- message maps

typedef bool (*AFX_PMSGHANDLER)(CWnd* self, UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);

struct AFX_MSGMAP_ENTRY {
    UINT nMessage;   // message number (WM_COMMAND, WM_NOTIFY, ... or reflected)
    UINT nCode;      // notification code for WM_COMMAND / WM_NOTIFY
    UINT nID;        // first control id
    UINT nLastID;    // last control id (ranges)
    AFX_PMSGHANDLER pfn;
};

struct AFX_MSGMAP {
    const AFX_MSGMAP* (*pfnGetBaseMap)();
    const AFX_MSGMAP_ENTRY* lpEntries;
};

// Messages reflected from a parent back to the control that caused them
// (owner draw, notifications, control colours) carry this offset.
#define WM_REFLECT_BASE 0xBC00

#define DECLARE_MESSAGE_MAP()                                  \
protected:                                                     \
    static const AFX_MSGMAP* GetThisMessageMap();              \
    const AFX_MSGMAP* GetMessageMap() const override;

#define BEGIN_MESSAGE_MAP(theClass, baseClass)                                      \
    const AFX_MSGMAP* theClass::GetMessageMap() const { return GetThisMessageMap(); } \
    const AFX_MSGMAP* theClass::GetThisMessageMap()                                 \
    {                                                                               \
        typedef theClass ThisClass;                                                 \
        typedef baseClass TheBaseClass;                                             \
        static const AFX_MSGMAP_ENTRY _messageEntries[] = {

#define END_MESSAGE_MAP()                                                    \
        {0, 0, 0, 0, nullptr}};                                              \
        static const AFX_MSGMAP messageMap = {&TheBaseClass::GetThisMessageMap, &_messageEntries[0]}; \
        return &messageMap;                                                  \
    }

#define LUM_MSG_ENTRY(msg, code, id, lastId, body)                                            \
    {(msg), (code), (id), (lastId),                                                           \
     [](CWnd* w_, UINT m_, WPARAM wp_, LPARAM lp_, LRESULT* r_) -> bool {                     \
         (void)m_; (void)wp_; (void)lp_; (void)r_;                                            \
         ThisClass* self_ = static_cast<ThisClass*>(w_);                                      \
         body;                                                                                \
         return true;                                                                         \
     }},

#define ON_MESSAGE(msg, fn) LUM_MSG_ENTRY(msg, 0, 0, 0, *r_ = (self_->fn)(wp_, lp_))
#define ON_COMMAND(id, fn) LUM_MSG_ENTRY(WM_COMMAND, 0, id, id, (self_->fn)())
#define ON_COMMAND_RANGE(id, lastId, fn) LUM_MSG_ENTRY(WM_COMMAND, 0, id, lastId, (self_->fn)(LOWORD(wp_)))
#define ON_CONTROL(code, id, fn) LUM_MSG_ENTRY(WM_COMMAND, code, id, id, (self_->fn)())
#define ON_BN_CLICKED(id, fn) ON_CONTROL(BN_CLICKED, id, fn)
#define ON_EN_SETFOCUS(id, fn) ON_CONTROL(EN_SETFOCUS, id, fn)
#define ON_EN_KILLFOCUS(id, fn) ON_CONTROL(EN_KILLFOCUS, id, fn)
#define ON_EN_CHANGE(id, fn) ON_CONTROL(EN_CHANGE, id, fn)
#define ON_STN_CLICKED(id, fn) ON_CONTROL(STN_CLICKED, id, fn)
#define ON_NOTIFY(code, id, fn) \
    LUM_MSG_ENTRY(WM_NOTIFY, code, id, id, (self_->fn)(reinterpret_cast<NMHDR*>(lp_), r_))
#define ON_NOTIFY_REFLECT(code, fn) \
    LUM_MSG_ENTRY(WM_REFLECT_BASE + WM_NOTIFY, code, 0, 0, (self_->fn)(reinterpret_cast<NMHDR*>(lp_), r_))
#define ON_CONTROL_REFLECT(code, fn) LUM_MSG_ENTRY(WM_REFLECT_BASE + WM_COMMAND, code, 0, 0, (self_->fn)())
#define ON_BN_CLICKED_REFLECT(fn) ON_CONTROL_REFLECT(BN_CLICKED, fn)

#define ON_WM_CREATE() LUM_MSG_ENTRY(WM_CREATE, 0, 0, 0, *r_ = self_->OnCreate(reinterpret_cast<void*>(lp_)))
#define ON_WM_DESTROY() LUM_MSG_ENTRY(WM_DESTROY, 0, 0, 0, self_->OnDestroy())
#define ON_WM_PAINT() LUM_MSG_ENTRY(WM_PAINT, 0, 0, 0, self_->OnPaint())
#define ON_WM_ERASEBKGND() \
    LUM_MSG_ENTRY(WM_ERASEBKGND, 0, 0, 0, *r_ = self_->OnEraseBkgnd(CWnd::DCFromHandle(reinterpret_cast<HDC>(wp_))))
#define ON_WM_CLOSE() LUM_MSG_ENTRY(WM_CLOSE, 0, 0, 0, self_->OnClose())
#define ON_WM_SIZE() LUM_MSG_ENTRY(WM_SIZE, 0, 0, 0, self_->OnSize(static_cast<UINT>(wp_), LOWORD(lp_), HIWORD(lp_)))
#define ON_WM_MOVE() LUM_MSG_ENTRY(WM_MOVE, 0, 0, 0, self_->OnMove(GET_X_LPARAM(lp_), GET_Y_LPARAM(lp_)))
#define ON_WM_MOVING() LUM_MSG_ENTRY(WM_MOVING, 0, 0, 0, self_->OnMoving(static_cast<UINT>(wp_), reinterpret_cast<LPRECT>(lp_)))
#define ON_WM_SHOWWINDOW() LUM_MSG_ENTRY(WM_SHOWWINDOW, 0, 0, 0, self_->OnShowWindow(static_cast<BOOL>(wp_), static_cast<UINT>(lp_)))
#define ON_WM_GETMINMAXINFO() LUM_MSG_ENTRY(WM_GETMINMAXINFO, 0, 0, 0, self_->OnGetMinMaxInfo(reinterpret_cast<MINMAXINFO*>(lp_)))
#define ON_WM_TIMER() LUM_MSG_ENTRY(WM_TIMER, 0, 0, 0, self_->OnTimer(static_cast<UINT_PTR>(wp_)))
#define ON_WM_MOUSEMOVE() LUM_MSG_ENTRY(WM_MOUSEMOVE, 0, 0, 0, self_->OnMouseMove(static_cast<UINT>(wp_), CPoint(lp_)))
#define ON_WM_LBUTTONDOWN() LUM_MSG_ENTRY(WM_LBUTTONDOWN, 0, 0, 0, self_->OnLButtonDown(static_cast<UINT>(wp_), CPoint(lp_)))
#define ON_WM_LBUTTONUP() LUM_MSG_ENTRY(WM_LBUTTONUP, 0, 0, 0, self_->OnLButtonUp(static_cast<UINT>(wp_), CPoint(lp_)))
#define ON_WM_LBUTTONDBLCLK() LUM_MSG_ENTRY(WM_LBUTTONDBLCLK, 0, 0, 0, self_->OnLButtonDblClk(static_cast<UINT>(wp_), CPoint(lp_)))
#define ON_WM_RBUTTONDOWN() LUM_MSG_ENTRY(WM_RBUTTONDOWN, 0, 0, 0, self_->OnRButtonDown(static_cast<UINT>(wp_), CPoint(lp_)))
#define ON_WM_RBUTTONUP() LUM_MSG_ENTRY(WM_RBUTTONUP, 0, 0, 0, self_->OnRButtonUp(static_cast<UINT>(wp_), CPoint(lp_)))
#define ON_WM_MOUSEHOVER() LUM_MSG_ENTRY(WM_MOUSEHOVER, 0, 0, 0, self_->OnMouseHover(static_cast<UINT>(wp_), CPoint(lp_)))
#define ON_WM_MOUSELEAVE() LUM_MSG_ENTRY(WM_MOUSELEAVE, 0, 0, 0, self_->OnMouseLeave())
#define ON_WM_MOUSEWHEEL() \
    LUM_MSG_ENTRY(WM_MOUSEWHEEL, 0, 0, 0, *r_ = self_->OnMouseWheel(LOWORD(wp_), static_cast<short>(HIWORD(wp_)), CPoint(lp_)))
#define ON_WM_NCHITTEST() LUM_MSG_ENTRY(WM_NCHITTEST, 0, 0, 0, *r_ = self_->OnNcHitTest(CPoint(lp_)))
#define ON_WM_NCLBUTTONDOWN() LUM_MSG_ENTRY(WM_NCLBUTTONDOWN, 0, 0, 0, self_->OnNcLButtonDown(static_cast<UINT>(wp_), CPoint(lp_)))
#define ON_WM_NCCALCSIZE() \
    LUM_MSG_ENTRY(WM_NCCALCSIZE, 0, 0, 0, self_->OnNcCalcSize(static_cast<BOOL>(wp_), reinterpret_cast<NCCALCSIZE_PARAMS*>(lp_)))
#define ON_WM_SETCURSOR() \
    LUM_MSG_ENTRY(WM_SETCURSOR, 0, 0, 0, *r_ = self_->OnSetCursor(CWnd::FromHandle(reinterpret_cast<HWND>(wp_)), LOWORD(lp_), HIWORD(lp_)))
#define ON_WM_SETFOCUS() LUM_MSG_ENTRY(WM_SETFOCUS, 0, 0, 0, self_->OnSetFocus(CWnd::FromHandle(reinterpret_cast<HWND>(wp_))))
#define ON_WM_KILLFOCUS() LUM_MSG_ENTRY(WM_KILLFOCUS, 0, 0, 0, self_->OnKillFocus(CWnd::FromHandle(reinterpret_cast<HWND>(wp_))))
#define ON_WM_KEYDOWN() \
    LUM_MSG_ENTRY(WM_KEYDOWN, 0, 0, 0, self_->OnKeyDown(static_cast<UINT>(wp_), LOWORD(lp_), HIWORD(lp_)))
#define ON_WM_SYSCOMMAND() LUM_MSG_ENTRY(WM_SYSCOMMAND, 0, 0, 0, self_->OnSysCommand(static_cast<UINT>(wp_), lp_))
#define ON_WM_HOTKEY() LUM_MSG_ENTRY(WM_HOTKEY, 0, 0, 0, self_->OnHotKey(static_cast<UINT>(wp_), LOWORD(lp_), HIWORD(lp_)))
#define ON_WM_QUERYDRAGICON() LUM_MSG_ENTRY(WM_QUERYDRAGICON, 0, 0, 0, *r_ = reinterpret_cast<LRESULT>(self_->OnQueryDragIcon()))
#define ON_WM_VSCROLL() \
    LUM_MSG_ENTRY(WM_VSCROLL, 0, 0, 0, self_->OnVScroll(LOWORD(wp_), HIWORD(wp_), reinterpret_cast<CScrollBar*>(CWnd::FromHandle(reinterpret_cast<HWND>(lp_)))))
#define ON_WM_WINDOWPOSCHANGED() LUM_MSG_ENTRY(WM_WINDOWPOSCHANGED, 0, 0, 0, self_->OnWindowPosChanged(reinterpret_cast<WINDOWPOS*>(lp_)))
#define ON_WM_CTLCOLOR()                                                                                   \
    LUM_MSG_ENTRY(WM_CTLCOLORSTATIC, 0, 0, 0,                                                              \
                  *r_ = reinterpret_cast<LRESULT>(self_->OnCtlColor(CWnd::DCFromHandle(reinterpret_cast<HDC>(wp_)), \
                                                                    CWnd::FromHandle(reinterpret_cast<HWND>(lp_)), 6))) \
    LUM_MSG_ENTRY(WM_CTLCOLOREDIT, 0, 0, 0,                                                                \
                  *r_ = reinterpret_cast<LRESULT>(self_->OnCtlColor(CWnd::DCFromHandle(reinterpret_cast<HDC>(wp_)), \
                                                                    CWnd::FromHandle(reinterpret_cast<HWND>(lp_)), 1))) \
    LUM_MSG_ENTRY(WM_CTLCOLORBTN, 0, 0, 0,                                                                 \
                  *r_ = reinterpret_cast<LRESULT>(self_->OnCtlColor(CWnd::DCFromHandle(reinterpret_cast<HDC>(wp_)), \
                                                                    CWnd::FromHandle(reinterpret_cast<HWND>(lp_)), 3)))
#define CTLCOLOR_EDIT 1
#define CTLCOLOR_BTN 3
#define CTLCOLOR_DLG 4
#define CTLCOLOR_STATIC 6
#define ON_WM_CTLCOLOR_REFLECT() \
    LUM_MSG_ENTRY(WM_REFLECT_BASE + WM_CTLCOLORSTATIC, 0, 0, 0, \
                  *r_ = reinterpret_cast<LRESULT>(self_->CtlColor(CWnd::DCFromHandle(reinterpret_cast<HDC>(wp_)), CTLCOLOR_STATIC)))
#define ON_WM_MEASUREITEM_REFLECT() \
    LUM_MSG_ENTRY(WM_REFLECT_BASE + WM_MEASUREITEM, 0, 0, 0, self_->MeasureItem(reinterpret_cast<LPMEASUREITEMSTRUCT>(lp_)))
#define ON_WM_DRAWITEM_REFLECT() \
    LUM_MSG_ENTRY(WM_REFLECT_BASE + WM_DRAWITEM, 0, 0, 0, self_->DrawItem(reinterpret_cast<LPDRAWITEMSTRUCT>(lp_)))

// Run-time class information, as far as callers ask for it.
struct CRuntimeClass {
    const char* m_lpszClassName;
    const CRuntimeClass* (*m_pfnGetBaseClass)();
    bool IsDerivedFrom(const CRuntimeClass* base) const;
};
#define RUNTIME_CLASS(cls) (cls::GetThisClass())
#define DECLARE_DYNAMIC(cls)                            \
public:                                                 \
    static const CRuntimeClass* GetThisClass();         \
    const CRuntimeClass* GetRuntimeClass() const override;
#define DECLARE_DYNCREATE(cls) DECLARE_DYNAMIC(cls)
#define IMPLEMENT_DYNAMIC(cls, base)                                                          \
    const CRuntimeClass* cls::GetThisClass()                                                  \
    {                                                                                         \
        static const CRuntimeClass rc = {#cls, &base::GetThisClass};                          \
        return &rc;                                                                           \
    }                                                                                         \
    const CRuntimeClass* cls::GetRuntimeClass() const { return GetThisClass(); }
#define IMPLEMENT_DYNCREATE(cls, base) IMPLEMENT_DYNAMIC(cls, base)

// ---------------------------------------------------------------- CWnd

class CWnd {
public:
    CWnd();
    virtual ~CWnd();
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;

    static const CRuntimeClass* GetThisClass();
    virtual const CRuntimeClass* GetRuntimeClass() const;
    BOOL IsKindOf(const CRuntimeClass* cls) const { return GetRuntimeClass()->IsDerivedFrom(cls); }

    // The object bound to a handle (null when the handle names no window).
    static CWnd* FromHandle(HWND hwnd);
    static CWnd* FromHandlePermanent(HWND hwnd) { return FromHandle(hwnd); }
    static CDC* DCFromHandle(HDC hdc);
    HWND GetSafeHwnd() const { return m_hWnd; }
    operator HWND() const { return m_hWnd; }

    // Creation. `className` chooses the kind of window: null or "" a plain
    // window painted by its handlers; "Button", "Static", "Edit" and the
    // other control classes the layer knows. WS_CHILD windows need a parent.
    virtual BOOL CreateEx(DWORD exStyle, LPCTSTR className, LPCTSTR windowName, DWORD style, int x, int y, int width,
                          int height, HWND parent, UINT id, void* param = nullptr);
    virtual BOOL Create(LPCTSTR className, LPCTSTR windowName, DWORD style, const RECT& rect, CWnd* parent, UINT id,
                        void* context = nullptr);
    virtual BOOL DestroyWindow();
    // Binds this object to an existing window (a control made from a dialog
    // template): its messages go to this object from now on.
    BOOL SubclassWindow(HWND hwnd);
    BOOL SubclassDlgItem(UINT id, CWnd* parent);
    HWND UnsubclassWindow();
    virtual void PreSubclassWindow() {}

    // Messages
    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
    BOOL PostMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
    LRESULT Default();
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    virtual LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    virtual BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);
    virtual BOOL OnCommand(WPARAM wParam, LPARAM lParam);
    virtual BOOL OnNotify(WPARAM wParam, LPARAM lParam, LRESULT* result);
    virtual BOOL OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);
    virtual BOOL PreTranslateMessage(MSG* msg);
    virtual BOOL ContinueModal() { return FALSE; }

    // Window state
    BOOL ShowWindow(int cmd);
    BOOL IsWindowVisible() const;
    BOOL IsIconic() const;
    BOOL IsZoomed() const;
    BOOL EnableWindow(BOOL enable = TRUE);
    BOOL IsWindowEnabled() const;
    void MoveWindow(int x, int y, int width, int height, BOOL repaint = TRUE);
    void MoveWindow(LPCRECT rect, BOOL repaint = TRUE);
    BOOL SetWindowPos(const CWnd* insertAfter, int x, int y, int cx, int cy, UINT flags);
    void GetWindowRect(LPRECT rect) const;
    void GetClientRect(LPRECT rect) const;
    void ClientToScreen(LPPOINT point) const;
    void ClientToScreen(LPRECT rect) const;
    void ScreenToClient(LPPOINT point) const;
    void ScreenToClient(LPRECT rect) const;
    void CenterWindow(CWnd* alternateOwner = nullptr);
    void SetWindowText(LPCTSTR text);
    int GetWindowText(LPTSTR buffer, int size) const;
    void GetWindowText(CString& text) const;
    int GetWindowTextLength() const;
    void SetFont(CFont* font, BOOL redraw = TRUE);
    CFont* GetFont() const;
    int GetDlgCtrlID() const;
    int SetDlgCtrlID(int id);
    CWnd* GetDlgItem(int id) const;
    void SetDlgItemText(int id, LPCTSTR text);
    int GetDlgItemText(int id, CString& text) const;
    UINT IsDlgButtonChecked(int id) const;
    void CheckDlgButton(int id, UINT check);
    CWnd* GetParent() const;
    CWnd* SetParent(CWnd* newParent);
    CWnd* GetOwner() const;
    void SetOwner(CWnd* owner);
    CWnd* GetTopLevelParent() const;
    DWORD GetStyle() const;
    DWORD GetExStyle() const;
    BOOL ModifyStyle(DWORD remove, DWORD add, UINT flags = 0);
    BOOL ModifyStyleEx(DWORD remove, DWORD add, UINT flags = 0);
    int SetWindowRgn(HRGN region, BOOL redraw);
    // Whole-window opacity for a layered window (0 transparent, 255 opaque).
    BOOL SetLayeredWindowAttributes(COLORREF key, BYTE alpha, DWORD flags);
    void SetIcon(void* icon, BOOL big);
    BOOL SetForegroundWindow();
    void BringWindowToTop();
    BOOL FlashWindow(BOOL invert);
    CWnd* SetFocus();
    static CWnd* GetFocus();
    CWnd* SetCapture();
    static CWnd* GetCapture();
    static CWnd* GetForegroundWindow();
    BOOL CloseWindow();  // minimises
    BOOL EnableToolTips(BOOL enable = TRUE);

    // Painting
    void Invalidate(BOOL erase = TRUE);
    void InvalidateRect(LPCRECT rect, BOOL erase = TRUE);
    void UpdateWindow();
    BOOL RedrawWindow(LPCRECT rect = nullptr, HRGN region = nullptr, UINT flags = RDW_INVALIDATE);
    CDC* GetDC();
    int ReleaseDC(CDC* dc);

    // Timers
    UINT_PTR SetTimer(UINT_PTR id, UINT elapse, void* proc);
    BOOL KillTimer(UINT_PTR id);

    // Handlers with default behaviour, for derived classes to call.
    virtual void OnPaint();
    virtual BOOL OnEraseBkgnd(CDC* dc);
    virtual int OnCreate(void* createStruct);
    virtual void OnDestroy();
    virtual void OnClose();
    virtual void OnSize(UINT type, int cx, int cy);
    virtual void OnMove(int x, int y);
    virtual void OnMoving(UINT edge, LPRECT rect);
    virtual void OnShowWindow(BOOL show, UINT status);
    virtual void OnGetMinMaxInfo(MINMAXINFO* info);
    virtual void OnTimer(UINT_PTR id);
    virtual void OnMouseMove(UINT flags, CPoint point);
    virtual void OnLButtonDown(UINT flags, CPoint point);
    virtual void OnLButtonUp(UINT flags, CPoint point);
    virtual void OnLButtonDblClk(UINT flags, CPoint point);
    virtual void OnRButtonDown(UINT flags, CPoint point);
    virtual void OnRButtonUp(UINT flags, CPoint point);
    virtual void OnMouseHover(UINT flags, CPoint point);
    virtual void OnMouseLeave();
    virtual BOOL OnMouseWheel(UINT flags, short delta, CPoint point);
    virtual LRESULT OnNcHitTest(CPoint point);
    virtual void OnNcLButtonDown(UINT hitTest, CPoint point);
    virtual void OnNcCalcSize(BOOL calcValidRects, NCCALCSIZE_PARAMS* params);
    virtual BOOL OnSetCursor(CWnd* wnd, UINT hitTest, UINT message);
    virtual void OnSetFocus(CWnd* oldWnd);
    virtual void OnKillFocus(CWnd* newWnd);
    virtual void OnKeyDown(UINT ch, UINT repeat, UINT flags);
    virtual void OnSysCommand(UINT id, LPARAM lParam);
    virtual void OnHotKey(UINT id, UINT modifiers, UINT vk);
    virtual HCURSOR OnQueryDragIcon();
    virtual void OnVScroll(UINT code, UINT pos, CScrollBar* bar);
    virtual void OnWindowPosChanged(WINDOWPOS* pos);
    virtual HBRUSH OnCtlColor(CDC* dc, CWnd* wnd, UINT ctlColor);
    virtual HBRUSH CtlColor(CDC* dc, UINT ctlColor);
    virtual void MeasureItem(LPMEASUREITEMSTRUCT mis);
    virtual void DrawItem(LPDRAWITEMSTRUCT dis);

    HWND m_hWnd = nullptr;

    // Stand-ins for the z-order positions of SetWindowPos.
    static const CWnd wndTop;
    static const CWnd wndBottom;
    static const CWnd wndTopMost;
    static const CWnd wndNoTopMost;

protected:
    explicit CWnd(HWND pseudo) : m_hWnd(pseudo) {}
    static const AFX_MSGMAP* GetThisMessageMap();
    virtual const AFX_MSGMAP* GetMessageMap() const;
    // Called after the window is gone; the object may delete itself here.
    virtual void PostNcDestroy() {}

    friend class WindowLayer;
};

// ---------------------------------------------------------------- free functions

LRESULT SendMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
BOOL PostMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
BOOL IsWindow(HWND hwnd);
BOOL IsWindowVisible(HWND hwnd);
BOOL ShowWindow(HWND hwnd, int cmd);
BOOL DestroyWindow(HWND hwnd);
BOOL SetWindowPos(HWND hwnd, HWND insertAfter, int x, int y, int cx, int cy, UINT flags);
BOOL MoveWindow(HWND hwnd, int x, int y, int width, int height, BOOL repaint);
BOOL GetWindowRect(HWND hwnd, LPRECT rect);
BOOL GetClientRect(HWND hwnd, LPRECT rect);
BOOL RedrawWindow(HWND hwnd, LPCRECT rect, HRGN region, UINT flags);
BOOL InvalidateRect(HWND hwnd, LPCRECT rect, BOOL erase);
BOOL UpdateWindow(HWND hwnd);
HWND GetParent(HWND hwnd);
LONG GetWindowLong(HWND hwnd, int index);
LONG SetWindowLong(HWND hwnd, int index, LONG value);
BOOL SetLayeredWindowAttributes(HWND hwnd, COLORREF key, BYTE alpha, DWORD flags);
BOOL SetForegroundWindow(HWND hwnd);
HWND GetForegroundWindow();
BOOL FlashWindow(HWND hwnd, BOOL invert);
UINT_PTR SetTimer(HWND hwnd, UINT_PTR id, UINT elapse, void* proc);
BOOL KillTimer(HWND hwnd, UINT_PTR id);
BOOL TrackMouseEvent(TRACKMOUSEEVENT* track);
// Ends the mouse capture of CWnd::SetCapture.
BOOL ReleaseCapture();
// The last pointer position the layer saw, in screen coordinates.
BOOL GetCursorPos(LPPOINT point);
BOOL SetCursorPos(int x, int y);
int GetSystemMetrics(int index);
COLORREF GetSysColor(int index);
HCURSOR LoadCursor(HINSTANCE instance, LPCSTR name);
HCURSOR SetCursor(HCURSOR cursor);
// The cursor last set with SetCursor (for tests and the layer).
HCURSOR GetCursor();
void PostQuitMessage(int exitCode);
BOOL SystemParametersInfo(UINT action, UINT param, void* data, UINT winIni);
#define SPI_SETDRAGFULLWINDOWS 0x0025
SHORT GetKeyState(int vk);
int MessageBox(HWND owner, LPCTSTR text, LPCTSTR caption, UINT type);
int AfxMessageBox(LPCTSTR text, UINT type = MB_OK, UINT helpId = 0);
int AfxMessageBox(UINT stringId, UINT type = MB_OK, UINT helpId = 0);
