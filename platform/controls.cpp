// The standard controls. Every control but the edit field is a plain layer
// window that paints itself into its back buffer; its behaviour lives in its
// DefWindowProc, so that classes derived from it keep it when they call the
// default handling from their own message handlers.
#include "platform/controls.h"

#include "platform/codepage.h"
#include "platform/gdi_internal.h"
#include "platform/listctrl.h"
#include "platform/windc.h"
#include "platform/window_internal.h"

#include <wx/textctrl.h>
#include <wx/toplevel.h>

#include <algorithm>
#include <cctype>
#include <cmath>

using namespace lumui;

namespace {

// The palette of the controls.
const COLORREF kAccent = RGB(0, 103, 192);
const COLORREF kAccentHot = RGB(25, 117, 197);
const COLORREF kAccentPressed = RGB(0, 84, 153);
const COLORREF kText = RGB(31, 31, 31);
const COLORREF kDisabledText = RGB(160, 160, 160);
const COLORREF kLink = RGB(0, 102, 204);

void setColor(cairo_t* cr, COLORREF c)
{
    cairo_set_source_rgb(cr, GetRValue(c) / 255.0, GetGValue(c) / 255.0, GetBValue(c) / 255.0);
}

void roundedPath(cairo_t* cr, double x, double y, double w, double h, double r)
{
    r = std::max(0.0, std::min(r, std::min(w, h) / 2));
    cairo_new_sub_path(cr);
    cairo_arc(cr, x + w - r, y + r, r, -M_PI / 2, 0);
    cairo_arc(cr, x + w - r, y + h - r, r, 0, M_PI / 2);
    cairo_arc(cr, x + r, y + h - r, r, M_PI / 2, M_PI);
    cairo_arc(cr, x + r, y + r, r, M_PI, 3 * M_PI / 2);
    cairo_close_path(cr);
}

// A rounded rectangle filled with `fill` and outlined with `border`, drawn
// antialiased inside `r`.
void roundedBox(CDC& dc, const CRect& r, double radius, COLORREF fill, COLORREF border)
{
    cairo_t* cr = CairoOf(dc.m_hDC);
    if (!cr || r.IsRectEmpty()) return;
    cairo_save(cr);
    cairo_set_antialias(cr, CAIRO_ANTIALIAS_DEFAULT);
    roundedPath(cr, r.left + 0.5, r.top + 0.5, r.Width() - 1.0, r.Height() - 1.0, radius);
    setColor(cr, fill);
    cairo_fill_preserve(cr);
    cairo_set_line_width(cr, 1.0);
    setColor(cr, border);
    cairo_stroke(cr);
    cairo_restore(cr);
}

bool disabled(const CWnd* wnd)
{
    return (wnd->GetStyle() & WS_DISABLED) != 0;
}

void selectWindowFont(CWnd* wnd, CDC& dc)
{
    if (CFont* font = wnd->GetFont()) dc.SelectObject(font);
}

// Asks the parent for the colours of a static-like control: the text colour
// and background mode it sets on the DC, and a brush for the background
// (null: the control stays transparent over its parent).
HBRUSH askStaticColors(CWnd* wnd, CDC& dc)
{
    dc.SetTextColor(GetSysColor(COLOR_WINDOWTEXT));
    dc.SetBkColor(GetSysColor(COLOR_BTNFACE));
    dc.SetBkMode(TRANSPARENT);
    HWND parent = ::GetParent(wnd->m_hWnd);
    if (!parent) return nullptr;
    return reinterpret_cast<HBRUSH>(::SendMessage(parent, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc.m_hDC),
                                                  reinterpret_cast<LPARAM>(wnd->m_hWnd)));
}

void notifyCommand(CWnd* wnd, UINT code)
{
    HWND hwnd = wnd->m_hWnd;
    HWND parent = ::GetParent(hwnd);
    if (parent) ::SendMessage(parent, WM_COMMAND, MAKEWPARAM(wnd->GetDlgCtrlID(), code), reinterpret_cast<LPARAM>(hwnd));
}

// Shows a top-level window without taking the focus from the window the
// user works in (tool tips).
void showWithoutActivating(HWND hwnd)
{
    WindowRecord* rec = Find(hwnd);
    if (!rec || !rec->widget || rec->visible) return;
    rec->visible = true;
    if (auto* top = dynamic_cast<wxTopLevelWindow*>(rec->widget)) top->ShowWithoutActivating();
    else rec->widget->Show();
    rec->widget->SetSize(rec->x, rec->y, std::max(rec->cx, 1), std::max(rec->cy, 1));
}

wxTextCtrl* nativeEdit(HWND hwnd)
{
    WindowRecord* rec = Find(hwnd);
    return rec && rec->kind == WidgetKind::Edit ? static_cast<wxTextCtrl*>(rec->widget) : nullptr;
}

// Bytes in the ANSI code page of the first `chars` characters of `text`.
long ansiOffset(const wxString& text, long chars)
{
    chars = std::max(0L, std::min(chars, static_cast<long>(text.length())));
    return Utf8ToAnsi(CString(text.Left(static_cast<size_t>(chars)).utf8_str().data())).GetLength();
}

// The character index at `bytes` bytes of the ANSI form of `text`.
long charIndex(const wxString& text, long bytes)
{
    const long n = static_cast<long>(text.length());
    if (bytes < 0 || bytes >= ansiOffset(text, n)) return n;
    long at = 0;
    for (long i = 0; i < n; ++i) {
        if (at >= bytes) return i;
        at += ansiOffset(wxString(text[static_cast<size_t>(i)]), 1);
    }
    return n;
}

}  // namespace

// ---------------------------------------------------------------- factory

namespace lumui {

CWnd* NewControlObject(const CString& className)
{
    if (className.CompareNoCase("Button") == 0) return new CButton;
    if (className.CompareNoCase("Static") == 0) return new CStatic;
    if (className.CompareNoCase("Edit") == 0) return new CEdit;
    if (className.CompareNoCase("msctls_progress32") == 0) return new CProgressCtrl;
    if (className.CompareNoCase(WC_LINK) == 0) return new CLinkCtrl;
    if (className.CompareNoCase(WC_LISTVIEW) == 0) return new CListCtrl;
    return new CWnd;
}

BYTE LayeredAlpha(HWND hwnd)
{
    WindowRecord* rec = Find(hwnd);
    return rec ? rec->alpha : 255;
}

}  // namespace lumui

// ---------------------------------------------------------------- CButton

IMPLEMENT_DYNAMIC(CButton, CWnd)

CButton::~CButton() = default;

BOOL CButton::Create(LPCTSTR caption, DWORD style, const RECT& rect, CWnd* parent, UINT id)
{
    if (!CWnd::Create("Button", caption, style, rect, parent, id)) return FALSE;
    PreSubclassWindow();
    return TRUE;
}

int CButton::GetCheck() const
{
    return static_cast<int>(::SendMessage(m_hWnd, BM_GETCHECK, 0, 0));
}

void CButton::SetCheck(int check)
{
    ::SendMessage(m_hWnd, BM_SETCHECK, static_cast<WPARAM>(check), 0);
}

UINT CButton::GetState() const
{
    return static_cast<UINT>(::SendMessage(m_hWnd, BM_GETSTATE, 0, 0));
}

void CButton::SetState(BOOL highlight)
{
    ::SendMessage(m_hWnd, BM_SETSTATE, highlight ? 1 : 0, 0);
}

UINT CButton::GetButtonStyle() const
{
    return GetStyle() & 0xFFFF;
}

void CButton::SetButtonStyle(UINT style, BOOL redraw)
{
    ::SendMessage(m_hWnd, BM_SETSTYLE, style, redraw);
}

void CButton::DrawItem(LPDRAWITEMSTRUCT) {}

BOOL CButton::OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result)
{
    if (message == WM_DRAWITEM) {
        DrawItem(reinterpret_cast<LPDRAWITEMSTRUCT>(lParam));
        if (result) *result = TRUE;
        return TRUE;
    }
    return CWnd::OnChildNotify(message, wParam, lParam, result);
}

void CButton::setPressed(bool pressed)
{
    if (m_pressed == pressed) return;
    m_pressed = pressed;
    Invalidate();
}

void CButton::buttonDown()
{
    if (disabled(this)) return;
    if (GetFocus() != this) SetFocus();
    if (!Find(m_hWnd)) return;
    m_captured = true;
    SetCapture();
    setPressed(true);
}

void CButton::notify(UINT code)
{
    notifyCommand(this, code);
}

LRESULT CButton::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    const DWORD type = GetStyle() & BS_TYPEMASK;
    const bool check = type == BS_CHECKBOX || type == BS_AUTOCHECKBOX;
    switch (message) {
    case WM_PAINT: paint(); return 0;
    case WM_LBUTTONDBLCLK:
        // An owner-drawn button reports the double click; the others take it
        // as one more press.
        if (type == BS_OWNERDRAW) {
            if (!disabled(this)) notify(BN_DOUBLECLICKED);
            return 0;
        }
        buttonDown();
        return 0;
    case WM_LBUTTONDOWN: buttonDown(); return 0;
    case WM_MOUSEMOVE: {
        if (m_captured) {
            CRect r;
            GetClientRect(&r);
            setPressed(r.PtInRect(CPoint(lParam)) != FALSE);
        }
        if (!m_hot && type != BS_OWNERDRAW && !disabled(this)) {
            m_hot = true;
            TRACKMOUSEEVENT track;
            track.dwFlags = TME_LEAVE;
            track.hwndTrack = m_hWnd;
            ::TrackMouseEvent(&track);
            Invalidate();
        }
        return 0;
    }
    case WM_MOUSELEAVE:
        if (m_hot) {
            m_hot = false;
            Invalidate();
        }
        return 0;
    case WM_LBUTTONUP: {
        if (!m_captured) return 0;
        m_captured = false;
        ::ReleaseCapture();
        CRect r;
        GetClientRect(&r);
        const bool click = m_pressed && r.PtInRect(CPoint(lParam));
        setPressed(false);
        if (click) {
            if (type == BS_AUTOCHECKBOX) SetCheck(m_check == BST_CHECKED ? BST_UNCHECKED : BST_CHECKED);
            notify(BN_CLICKED);  // the parent may destroy the button: nothing after this
        }
        return 0;
    }
    case WM_SETFOCUS:
    case WM_KILLFOCUS: Invalidate(); return 0;
    case BM_GETCHECK: return check ? m_check : BST_UNCHECKED;
    case BM_SETCHECK:
        if (m_check != static_cast<int>(wParam)) {
            m_check = static_cast<int>(wParam);
            Invalidate();
        }
        return 0;
    case BM_GETSTATE:
        return (check ? m_check : 0) | (m_pressed ? BST_PUSHED : 0) | (GetFocus() == this ? BST_FOCUS : 0);
    case BM_SETSTATE: setPressed(wParam != 0); return 0;
    case BM_SETSTYLE:
        ModifyStyle(0xFFFF, static_cast<DWORD>(wParam) & 0xFFFF);
        if (lParam) Invalidate();
        return 0;
    case BM_CLICK:
        if (disabled(this)) return 0;
        if (type == BS_AUTOCHECKBOX) SetCheck(m_check == BST_CHECKED ? BST_UNCHECKED : BST_CHECKED);
        notify(BN_CLICKED);
        return 0;
    default: break;
    }
    return CWnd::DefWindowProc(message, wParam, lParam);
}

void CButton::paint()
{
    CPaintDC dc(this);
    CRect r;
    GetClientRect(&r);
    const DWORD type = GetStyle() & BS_TYPEMASK;
    if (type == BS_OWNERDRAW) {
        DRAWITEMSTRUCT dis;
        dis.CtlType = ODT_BUTTON;
        dis.CtlID = static_cast<UINT>(GetDlgCtrlID());
        dis.itemAction = ODA_DRAWENTIRE;
        dis.itemState = (m_pressed ? ODS_SELECTED : 0) | (disabled(this) ? ODS_DISABLED : 0) |
                        (GetFocus() == this ? ODS_FOCUS : 0);
        dis.hwndItem = m_hWnd;
        dis.hDC = dc.m_hDC;
        dis.rcItem = r;
        // The parent draws it, or hands it back to DrawItem.
        HWND parent = ::GetParent(m_hWnd);
        if (parent) ::SendMessage(parent, WM_DRAWITEM, dis.CtlID, reinterpret_cast<LPARAM>(&dis));
        else DrawItem(&dis);
        return;
    }
    selectWindowFont(this, dc);
    if (type == BS_CHECKBOX || type == BS_AUTOCHECKBOX) paintCheckBox(dc, r);
    else paintPushButton(dc, r);
}

void CButton::paintPushButton(CDC& dc, const CRect& r)
{
    const bool isDefault = (GetStyle() & BS_TYPEMASK) == BS_DEFPUSHBUTTON;
    const bool off = disabled(this);
    const bool focus = GetFocus() == this;
    COLORREF fill, border, text;
    if (off) {
        fill = RGB(245, 245, 245);
        border = RGB(218, 218, 218);
        text = kDisabledText;
    } else if (isDefault) {
        fill = m_pressed ? kAccentPressed : m_hot ? kAccentHot : kAccent;
        border = kAccentPressed;
        text = RGB(255, 255, 255);
    } else {
        fill = m_pressed ? RGB(204, 228, 247) : m_hot ? RGB(229, 241, 251) : RGB(253, 253, 253);
        border = m_pressed ? kAccentPressed : (m_hot || focus) ? RGB(0, 120, 215) : RGB(200, 200, 200);
        text = kText;
    }
    roundedBox(dc, r, 4, fill, border);
    CString caption;
    GetWindowText(caption);
    CRect tr = r;
    if (m_pressed) tr.OffsetRect(0, 1);
    dc.SetBkMode(TRANSPARENT);
    dc.SetTextColor(text);
    dc.DrawText(caption, &tr, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
}

void CButton::paintCheckBox(CDC& dc, const CRect& r)
{
    HWND hwnd = m_hWnd;
    HBRUSH brush = askStaticColors(this, dc);
    if (!Find(hwnd)) return;
    if (brush) ::FillRect(dc.m_hDC, &r, brush);
    const bool off = disabled(this);
    const bool checked = m_check == BST_CHECKED;
    const int box = 14;
    CRect b(r.left + 1, r.top + (r.Height() - box) / 2, r.left + 1 + box, r.top + (r.Height() - box) / 2 + box);
    COLORREF fill, border;
    if (off) {
        fill = checked ? RGB(190, 190, 190) : RGB(245, 245, 245);
        border = checked ? RGB(190, 190, 190) : RGB(200, 200, 200);
    } else if (checked) {
        fill = m_pressed ? kAccentPressed : m_hot ? kAccentHot : kAccent;
        border = fill;
    } else {
        fill = m_pressed ? RGB(204, 228, 247) : RGB(255, 255, 255);
        border = (m_hot || m_pressed) ? RGB(0, 120, 215) : RGB(138, 138, 138);
    }
    roundedBox(dc, b, 3, fill, border);
    if (checked) {
        if (cairo_t* cr = CairoOf(dc.m_hDC)) {
            cairo_save(cr);
            cairo_set_antialias(cr, CAIRO_ANTIALIAS_DEFAULT);
            cairo_set_source_rgb(cr, 1, 1, 1);
            cairo_set_line_width(cr, 1.8);
            cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
            cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
            cairo_move_to(cr, b.left + 3.5, b.top + 7.5);
            cairo_line_to(cr, b.left + 6.0, b.top + 10.0);
            cairo_line_to(cr, b.left + 10.5, b.top + 4.5);
            cairo_stroke(cr);
            cairo_restore(cr);
        }
    }
    if (off) dc.SetTextColor(kDisabledText);
    CString caption;
    GetWindowText(caption);
    CRect tr(b.right + 6, r.top, r.right, r.bottom);
    dc.DrawText(caption, &tr, DT_LEFT | DT_VCENTER | DT_SINGLELINE);
    if (GetFocus() == this && !caption.IsEmpty()) {
        // A thin line under the label marks the focus.
        CRect calc = tr;
        dc.DrawText(caption, &calc, DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_CALCRECT);
        const int y = std::min<int>(r.bottom - 1, (r.top + r.bottom) / 2 + calc.Height() / 2 + 1);
        dc.FillSolidRect(tr.left, y, std::min<int>(calc.Width(), tr.Width()), 1, RGB(0, 120, 215));
    }
}

// ---------------------------------------------------------------- CStatic

IMPLEMENT_DYNAMIC(CStatic, CWnd)

CStatic::~CStatic() = default;

BOOL CStatic::Create(LPCTSTR text, DWORD style, const RECT& rect, CWnd* parent, UINT id)
{
    if (!CWnd::Create("Static", text, style, rect, parent, id)) return FALSE;
    PreSubclassWindow();
    return TRUE;
}

HBITMAP CStatic::SetBitmap(HBITMAP bitmap)
{
    HBITMAP old = m_bitmap;
    m_bitmap = bitmap;
    ModifyStyle(SS_TYPEMASK, SS_BITMAP);
    BITMAP info;
    if (bitmap && !(GetStyle() & SS_CENTERIMAGE) && ::GetObject(bitmap, sizeof(info), &info)) {
        // As the original does, the control takes the picture's size.
        SetWindowPos(nullptr, 0, 0, info.bmWidth, info.bmHeight, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    Invalidate();
    return old;
}

HICON CStatic::SetIcon(HICON icon)
{
    HICON old = m_icon;
    m_icon = icon;
    ModifyStyle(SS_TYPEMASK, SS_ICON);
    int hotX = 0, hotY = 0;
    if (cairo_surface_t* s = icon && !(GetStyle() & SS_CENTERIMAGE) ? IconSurface(icon, &hotX, &hotY) : nullptr)
        SetWindowPos(nullptr, 0, 0, cairo_image_surface_get_width(s), cairo_image_surface_get_height(s),
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    Invalidate();
    return old;
}

LRESULT CStatic::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    const DWORD style = GetStyle();
    switch (message) {
    case WM_PAINT: paint(); return 0;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
        if (style & SS_NOTIFY) {
            notifyCommand(this, message == WM_LBUTTONDOWN ? STN_CLICKED : STN_DBLCLK);
            return 0;
        }
        [[fallthrough]];
    case WM_LBUTTONUP:
    case WM_RBUTTONDOWN:
    case WM_RBUTTONUP:
    case WM_MOUSEMOVE: {
        if (style & SS_NOTIFY) return 0;
        // A static that does not notify is transparent to the mouse: the
        // parent gets the message, in its own coordinates.
        HWND parent = (style & WS_CHILD) ? ::GetParent(m_hWnd) : nullptr;
        CWnd* p = CWnd::FromHandle(parent);
        if (!p) return 0;
        CPoint pt(lParam);
        ClientToScreen(&pt);
        p->ScreenToClient(&pt);
        return ::SendMessage(parent, message, wParam,
                             MAKELPARAM(static_cast<WORD>(static_cast<short>(pt.x)), static_cast<WORD>(static_cast<short>(pt.y))));
    }
    case STM_SETIMAGE:
        if (wParam == IMAGE_BITMAP) return reinterpret_cast<LRESULT>(SetBitmap(reinterpret_cast<HBITMAP>(lParam)));
        if (wParam == IMAGE_ICON) return reinterpret_cast<LRESULT>(SetIcon(reinterpret_cast<HICON>(lParam)));
        return 0;
    case STM_GETIMAGE:
        return wParam == IMAGE_BITMAP ? reinterpret_cast<LRESULT>(m_bitmap)
               : wParam == IMAGE_ICON ? reinterpret_cast<LRESULT>(m_icon)
                                      : 0;
    case STM_SETICON: return reinterpret_cast<LRESULT>(SetIcon(reinterpret_cast<HICON>(wParam)));
    case STM_GETICON: return reinterpret_cast<LRESULT>(m_icon);
    default: break;
    }
    return CWnd::DefWindowProc(message, wParam, lParam);
}

void CStatic::paint()
{
    CPaintDC dc(this);
    HWND hwnd = m_hWnd;
    CRect r;
    GetClientRect(&r);
    const DWORD style = GetStyle();
    const DWORD type = style & SS_TYPEMASK;
    if (type == SS_BITMAP || type == SS_ICON) {
        cairo_t* cr = CairoOf(dc.m_hDC);
        int hotX = 0, hotY = 0;
        cairo_surface_t* s = type == SS_BITMAP ? (m_bitmap ? SurfaceOfBitmap(m_bitmap) : nullptr)
                                               : (m_icon ? IconSurface(m_icon, &hotX, &hotY) : nullptr);
        if (!cr || !s) return;
        int x = 0, y = 0;
        if (style & SS_CENTERIMAGE) {
            x = (r.Width() - cairo_image_surface_get_width(s)) / 2;
            y = (r.Height() - cairo_image_surface_get_height(s)) / 2;
        }
        cairo_save(cr);
        cairo_set_source_surface(cr, s, x, y);
        cairo_paint(cr);
        cairo_restore(cr);
        return;
    }
    selectWindowFont(this, dc);
    HBRUSH brush = askStaticColors(this, dc);
    if (!Find(hwnd)) return;
    if (brush) ::FillRect(dc.m_hDC, &r, brush);
    if (style & WS_DISABLED) dc.SetTextColor(GetSysColor(COLOR_GRAYTEXT));
    CString text;
    GetWindowText(text);
    UINT format = DT_EXPANDTABS;
    if (type == SS_CENTER) format |= DT_CENTER;
    else if (type == SS_RIGHT) format |= DT_RIGHT;
    format |= (style & SS_CENTERIMAGE) ? (DT_VCENTER | DT_SINGLELINE) : DT_WORDBREAK;
    if (style & SS_NOPREFIX) format |= DT_NOPREFIX;
    dc.DrawText(text, &r, format);
}

// ---------------------------------------------------------------- CEdit

IMPLEMENT_DYNAMIC(CEdit, CWnd)

CEdit::~CEdit() = default;

BOOL CEdit::Create(DWORD style, const RECT& rect, CWnd* parent, UINT id)
{
    if (!CWnd::Create("Edit", "", style, rect, parent, id)) return FALSE;
    PreSubclassWindow();
    return TRUE;
}

void CEdit::LimitText(int chars)
{
    ::SendMessage(m_hWnd, EM_LIMITTEXT, static_cast<WPARAM>(std::max(chars, 0)), 0);
}

UINT CEdit::GetLimitText() const
{
    return static_cast<UINT>(::SendMessage(m_hWnd, EM_GETLIMITTEXT, 0, 0));
}

void CEdit::SetSel(int start, int end, BOOL)
{
    ::SendMessage(m_hWnd, EM_SETSEL, static_cast<WPARAM>(start), static_cast<LPARAM>(end));
}

void CEdit::SetSel(DWORD selection, BOOL noScroll)
{
    SetSel(static_cast<short>(LOWORD(selection)), static_cast<short>(HIWORD(selection)), noScroll);
}

void CEdit::GetSel(int& start, int& end) const
{
    DWORD s = 0, e = 0;
    ::SendMessage(m_hWnd, EM_GETSEL, reinterpret_cast<WPARAM>(&s), reinterpret_cast<LPARAM>(&e));
    start = static_cast<int>(s);
    end = static_cast<int>(e);
}

DWORD CEdit::GetSel() const
{
    return static_cast<DWORD>(::SendMessage(m_hWnd, EM_GETSEL, 0, 0));
}

void CEdit::ReplaceSel(LPCTSTR text, BOOL canUndo)
{
    ::SendMessage(m_hWnd, EM_REPLACESEL, canUndo, reinterpret_cast<LPARAM>(text ? text : ""));
}

BOOL CEdit::SetReadOnly(BOOL readOnly)
{
    return static_cast<BOOL>(::SendMessage(m_hWnd, EM_SETREADONLY, readOnly, 0));
}

LRESULT CEdit::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    wxTextCtrl* edit = nativeEdit(m_hWnd);
    if (!edit) return CWnd::DefWindowProc(message, wParam, lParam);
    switch (message) {
    case EM_LIMITTEXT:
        m_limit = static_cast<UINT>(wParam);
        // The toolkit limits typing in single-line fields; typed text is all
        // a limit covers.
        if (!edit->IsMultiLine()) edit->SetMaxLength(m_limit);
        return 0;
    case EM_GETLIMITTEXT: return m_limit ? m_limit : 0x7FFE;
    case EM_SETSEL: {
        const wxString text = edit->GetValue();
        const long start = static_cast<long>(static_cast<int>(wParam));
        const long end = static_cast<long>(static_cast<int>(lParam));
        if (start < 0) {
            const long caret = edit->GetInsertionPoint();
            edit->SetSelection(caret, caret);
            return 0;
        }
        const long from = charIndex(text, start);
        const long to = end < 0 ? static_cast<long>(text.length()) : charIndex(text, end);
        edit->SetSelection(std::min(from, to), std::max(from, to));
        return 0;
    }
    case EM_GETSEL: {
        long from = 0, to = 0;
        edit->GetSelection(&from, &to);
        const wxString text = edit->GetValue();
        const DWORD s = static_cast<DWORD>(ansiOffset(text, from)), e = static_cast<DWORD>(ansiOffset(text, to));
        if (wParam) *reinterpret_cast<DWORD*>(wParam) = s;
        if (lParam) *reinterpret_cast<DWORD*>(lParam) = e;
        return MAKELRESULT(std::min<DWORD>(s, 0xFFFF), std::min<DWORD>(e, 0xFFFF));
    }
    case EM_REPLACESEL: {
        long from = 0, to = 0;
        edit->GetSelection(&from, &to);
        const char* text = reinterpret_cast<const char*>(lParam);
        const wxString value = wxString::FromUTF8(AnsiToUtf8(CString(text ? text : "")).GetString());
        edit->Replace(from, to, value);
        edit->SetInsertionPoint(from + static_cast<long>(value.length()));
        return 0;
    }
    case EM_SETREADONLY:
        edit->SetEditable(wParam == 0);
        ModifyStyle(wParam ? 0 : ES_READONLY, wParam ? ES_READONLY : 0);
        return TRUE;
    default: break;
    }
    return CWnd::DefWindowProc(message, wParam, lParam);
}

// ---------------------------------------------------------------- CProgressCtrl

IMPLEMENT_DYNAMIC(CProgressCtrl, CWnd)

CProgressCtrl::~CProgressCtrl() = default;

BOOL CProgressCtrl::Create(DWORD style, const RECT& rect, CWnd* parent, UINT id)
{
    if (!CWnd::Create("msctls_progress32", "", style, rect, parent, id)) return FALSE;
    PreSubclassWindow();
    return TRUE;
}

namespace {
struct PBRANGE {
    int iLow;
    int iHigh;
};
}  // namespace

void CProgressCtrl::SetRange(short lower, short upper)
{
    ::SendMessage(m_hWnd, PBM_SETRANGE, 0, MAKELPARAM(static_cast<WORD>(lower), static_cast<WORD>(upper)));
}

void CProgressCtrl::SetRange32(int lower, int upper)
{
    ::SendMessage(m_hWnd, PBM_SETRANGE32, static_cast<WPARAM>(lower), static_cast<LPARAM>(upper));
}

void CProgressCtrl::GetRange(int& lower, int& upper)
{
    PBRANGE range{0, 0};
    ::SendMessage(m_hWnd, PBM_GETRANGE, TRUE, reinterpret_cast<LPARAM>(&range));
    lower = range.iLow;
    upper = range.iHigh;
}

int CProgressCtrl::SetPos(int pos)
{
    return static_cast<int>(::SendMessage(m_hWnd, PBM_SETPOS, static_cast<WPARAM>(pos), 0));
}

int CProgressCtrl::GetPos()
{
    return static_cast<int>(::SendMessage(m_hWnd, PBM_GETPOS, 0, 0));
}

int CProgressCtrl::OffsetPos(int delta)
{
    return static_cast<int>(::SendMessage(m_hWnd, PBM_DELTAPOS, static_cast<WPARAM>(delta), 0));
}

int CProgressCtrl::SetStep(int step)
{
    return static_cast<int>(::SendMessage(m_hWnd, PBM_SETSTEP, static_cast<WPARAM>(step), 0));
}

int CProgressCtrl::StepIt()
{
    return static_cast<int>(::SendMessage(m_hWnd, PBM_STEPIT, 0, 0));
}

int CProgressCtrl::clamp(int pos) const
{
    const int lo = std::min(m_lower, m_upper), hi = std::max(m_lower, m_upper);
    return std::max(lo, std::min(pos, hi));
}

LRESULT CProgressCtrl::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    const int old = m_pos;
    switch (message) {
    case WM_PAINT: paint(); return 0;
    case PBM_SETRANGE:
    case PBM_SETRANGE32: {
        const LRESULT previous = MAKELRESULT(static_cast<WORD>(m_lower), static_cast<WORD>(m_upper));
        if (message == PBM_SETRANGE) {
            m_lower = static_cast<short>(LOWORD(lParam));
            m_upper = static_cast<short>(HIWORD(lParam));
        } else {
            m_lower = static_cast<int>(wParam);
            m_upper = static_cast<int>(lParam);
        }
        m_pos = clamp(m_pos);
        Invalidate();
        return previous;
    }
    case PBM_GETRANGE:
        if (PBRANGE* range = reinterpret_cast<PBRANGE*>(lParam)) {
            range->iLow = m_lower;
            range->iHigh = m_upper;
        }
        return wParam ? m_lower : m_upper;
    case PBM_SETPOS: m_pos = clamp(static_cast<int>(wParam)); break;
    case PBM_DELTAPOS: m_pos = clamp(m_pos + static_cast<int>(wParam)); break;
    case PBM_SETSTEP: {
        const int previous = m_step;
        m_step = static_cast<int>(wParam);
        return previous;
    }
    case PBM_STEPIT:
        // Past the end the bar starts again from the beginning.
        m_pos += m_step;
        if (m_pos > m_upper) m_pos = m_lower + (m_pos - m_upper);
        m_pos = clamp(m_pos);
        break;
    case PBM_GETPOS: return m_pos;
    default: return CWnd::DefWindowProc(message, wParam, lParam);
    }
    if (m_pos != old) Invalidate();
    return old;
}

void CProgressCtrl::paint()
{
    CPaintDC dc(this);
    CRect r;
    GetClientRect(&r);
    const double radius = std::min(3, r.Height() / 2);
    roundedBox(dc, r, radius, RGB(230, 230, 230), RGB(204, 204, 204));
    const int range = m_upper - m_lower;
    if (range <= 0 || m_pos <= m_lower) return;
    const int inner = r.Width() - 2;
    const int filled = static_cast<int>(static_cast<long long>(inner) * (m_pos - m_lower) / range);
    if (filled <= 0) return;
    CRect bar(r.left + 1, r.top + 1, r.left + 1 + filled, r.bottom - 1);
    const COLORREF fill = disabled(this) ? RGB(180, 180, 180) : RGB(0, 120, 215);
    roundedBox(dc, bar, std::max(0.0, radius - 1), fill, fill);
}

// ---------------------------------------------------------------- CToolTipCtrl

IMPLEMENT_DYNAMIC(CToolTipCtrl, CWnd)

namespace {
const UINT_PTR kShowTimer = 1;
const UINT_PTR kWatchTimer = 2;
}  // namespace

CToolTipCtrl::~CToolTipCtrl()
{
    if (m_hWnd) DestroyWindow();
}

BOOL CToolTipCtrl::Create(CWnd* parent, DWORD style)
{
    return CreateEx(WS_EX_TOOLWINDOW | WS_EX_TOPMOST, nullptr, nullptr, WS_POPUP | (style & ~WS_VISIBLE), 0, 0, 1, 1,
                    parent ? parent->m_hWnd : nullptr, 0);
}

BOOL CToolTipCtrl::AddTool(CWnd* wnd, LPCTSTR text, LPCRECT, UINT_PTR)
{
    if (!wnd || !wnd->m_hWnd) return FALSE;
    for (Tool& t : m_tools)
        if (t.hwnd == wnd->m_hWnd) {
            t.text = text ? text : "";
            return TRUE;
        }
    m_tools.push_back(Tool{wnd->m_hWnd, text ? text : ""});
    return TRUE;
}

void CToolTipCtrl::DelTool(CWnd* wnd, UINT_PTR)
{
    if (!wnd) return;
    if (m_hotTool == wnd->m_hWnd) Pop();
    m_tools.erase(std::remove_if(m_tools.begin(), m_tools.end(), [&](const Tool& t) { return t.hwnd == wnd->m_hWnd; }),
                  m_tools.end());
}

void CToolTipCtrl::UpdateTipText(LPCTSTR text, CWnd* wnd, UINT_PTR)
{
    for (Tool& t : m_tools)
        if (wnd && t.hwnd == wnd->m_hWnd) t.text = text ? text : "";
}

void CToolTipCtrl::Activate(BOOL activate)
{
    m_active = activate != FALSE;
    if (!m_active) Pop();
}

void CToolTipCtrl::Pop()
{
    if (!m_hWnd) return;
    KillTimer(kShowTimer);
    hide();
    m_hotTool = nullptr;
}

const CToolTipCtrl::Tool* CToolTipCtrl::toolOf(HWND hwnd) const
{
    if (!hwnd) return nullptr;
    for (const Tool& t : m_tools)
        if (t.hwnd == hwnd && IsWindow(hwnd)) return &t;
    return nullptr;
}

bool CToolTipCtrl::pointerOn(HWND tool) const
{
    if (!IsWindow(tool) || !::IsWindowVisible(tool)) return false;
    POINT p;
    GetCursorPos(&p);
    CRect r;
    ::GetWindowRect(tool, &r);
    return r.PtInRect(p) != FALSE;
}

void CToolTipCtrl::RelayEvent(LPMSG msg)
{
    if (!msg || !m_hWnd) return;
    switch (msg->message) {
    case WM_MOUSEMOVE:
    case WM_NCMOUSEMOVE: {
        HWND tool = toolOf(msg->hwnd) ? msg->hwnd : nullptr;
        if (tool == m_hotTool) break;
        Pop();
        m_hotTool = tool;
        m_suppressed = false;
        if (tool && m_active) SetTimer(kShowTimer, kInitialDelay, nullptr);
        break;
    }
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_LBUTTONDBLCLK:
    case WM_RBUTTONDOWN:
    case WM_RBUTTONUP:
    case WM_NCLBUTTONDOWN: {
        // A click ends the tip; it does not come back until the pointer
        // moves to another tool.
        HWND tool = toolOf(msg->hwnd) ? msg->hwnd : nullptr;
        Pop();
        m_hotTool = tool;
        m_suppressed = tool != nullptr;
        break;
    }
    case WM_MOUSELEAVE:
        if (msg->hwnd == m_hotTool) Pop();
        break;
    default: break;
    }
}

void CToolTipCtrl::show()
{
    const Tool* tool = toolOf(m_hotTool);
    if (!tool || tool->text.IsEmpty()) return;
    m_shownText = tool->text;
    HDC measure = ::GetDC(nullptr);
    CSize ext(0, 0);
    if (measure) {
        CDC* dc = CDC::FromHandle(measure);
        selectWindowFont(this, *dc);
        ext = dc->GetTextExtent(m_shownText);
        ::ReleaseDC(nullptr, measure);
    }
    const int w = ext.cx + 16, h = ext.cy + 10;
    POINT p;
    GetCursorPos(&p);
    int x = p.x, y = p.y + 20;
    const int sw = GetSystemMetrics(SM_CXSCREEN), sh = GetSystemMetrics(SM_CYSCREEN);
    if (sw > 0 && x + w > sw) x = std::max(0, sw - w);
    if (sh > 0 && y + h > sh) y = std::max(0, static_cast<int>(p.y) - h - 4);
    SetWindowPos(nullptr, x, y, w, h, SWP_NOZORDER | SWP_NOACTIVATE);
    showWithoutActivating(m_hWnd);
    Invalidate();
    SetTimer(kWatchTimer, 100, nullptr);
}

void CToolTipCtrl::hide()
{
    KillTimer(kWatchTimer);
    if (IsWindowVisible()) ShowWindow(SW_HIDE);
}

LRESULT CToolTipCtrl::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_PAINT: paint(); return 0;
    case WM_ERASEBKGND: return TRUE;
    case WM_TIMER:
        if (wParam == kShowTimer) {
            KillTimer(kShowTimer);
            if (m_active && !m_suppressed && m_hotTool && pointerOn(m_hotTool)) show();
        } else if (wParam == kWatchTimer) {
            // The pointer may have left the tool without a message reaching
            // the owner (out of the window, for instance).
            if (!m_hotTool || !pointerOn(m_hotTool)) Pop();
        }
        return 0;
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN: Pop(); return 0;
    case TTM_RELAYEVENT: RelayEvent(reinterpret_cast<LPMSG>(lParam)); return 0;
    case TTM_ACTIVATE: Activate(static_cast<BOOL>(wParam)); return 0;
    default: break;
    }
    return CWnd::DefWindowProc(message, wParam, lParam);
}

void CToolTipCtrl::paint()
{
    CPaintDC dc(this);
    CRect r;
    GetClientRect(&r);
    dc.FillSolidRect(&r, RGB(255, 255, 255));
    dc.Draw3dRect(&r, RGB(160, 160, 160), RGB(160, 160, 160));
    selectWindowFont(this, dc);
    dc.SetBkMode(TRANSPARENT);
    dc.SetTextColor(RGB(40, 40, 40));
    CRect tr = r;
    tr.DeflateRect(8, 5);
    dc.DrawText(m_shownText, &tr, DT_LEFT | DT_TOP | DT_SINGLELINE | DT_NOPREFIX);
}

// ---------------------------------------------------------------- CLinkCtrl

IMPLEMENT_DYNAMIC(CLinkCtrl, CWnd)

CLinkCtrl::~CLinkCtrl() = default;

BOOL CLinkCtrl::Create(LPCTSTR text, DWORD style, const RECT& rect, CWnd* parent, UINT id)
{
    if (!CWnd::Create(WC_LINK, text, style, rect, parent, id)) return FALSE;
    PreSubclassWindow();
    return TRUE;
}

std::vector<CLinkCtrl::Run> CLinkCtrl::Parse(const CString& markup)
{
    std::vector<Run> runs;
    const std::string& s = markup.str();
    std::string current;
    int link = -1, links = 0;
    auto flush = [&] {
        if (current.empty()) return;
        Run run;
        run.text = current;
        run.link = link;
        runs.push_back(run);
        current.clear();
    };
    auto startsWith = [&](size_t at, const char* tag) {
        const size_t n = std::char_traits<char>::length(tag);
        if (at + n > s.size()) return false;
        for (size_t k = 0; k < n; ++k)
            if (std::tolower(static_cast<unsigned char>(s[at + k])) != tag[k]) return false;
        return true;
    };
    for (size_t i = 0; i < s.size();) {
        if (startsWith(i, "<a") && i + 2 < s.size() && (s[i + 2] == '>' || std::isspace(static_cast<unsigned char>(s[i + 2])))) {
            const size_t close = s.find('>', i);
            if (close != std::string::npos) {
                flush();
                link = links++;
                i = close + 1;
                continue;
            }
        }
        if (link >= 0 && startsWith(i, "</a>")) {
            flush();
            link = -1;
            i += 4;
            continue;
        }
        current += s[i++];
    }
    flush();
    return runs;
}

std::vector<CLinkCtrl::Run> CLinkCtrl::layout(CDC& dc)
{
    CString text;
    GetWindowText(text);
    std::vector<Run> runs = Parse(text);
    CFont* normal = GetFont() ? GetFont() : dc.GetCurrentFont();
    LOGFONT lf;
    if (normal) normal->GetLogFont(&lf);
    lf.lfUnderline = 1;
    CFont underlined;
    underlined.CreateFontIndirect(&lf);
    int x = 0;
    for (Run& run : runs) {
        dc.SelectObject(run.link >= 0 && underlined.m_hObject ? &underlined : normal);
        const CSize ext = dc.GetTextExtent(run.text);
        run.rect = CRect(x, 0, x + ext.cx, ext.cy);
        x += ext.cx;
    }
    if (normal) dc.SelectObject(normal);
    return runs;
}

int CLinkCtrl::linkAt(CPoint point)
{
    HDC measure = ::GetDC(nullptr);
    if (!measure) return -1;
    std::vector<Run> runs = layout(*CDC::FromHandle(measure));
    ::ReleaseDC(nullptr, measure);
    for (const Run& run : runs)
        if (run.link >= 0 && run.rect.PtInRect(point)) return run.link;
    return -1;
}

LRESULT CLinkCtrl::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_PAINT: paint(); return 0;
    case WM_LBUTTONDOWN: m_pressedLink = linkAt(CPoint(lParam)); return 0;
    case WM_LBUTTONUP: {
        const int pressed = m_pressedLink;
        m_pressedLink = -1;
        if (pressed < 0 || linkAt(CPoint(lParam)) != pressed) return 0;
        NMHDR nm;
        nm.hwndFrom = m_hWnd;
        nm.idFrom = static_cast<UINT_PTR>(GetDlgCtrlID());
        nm.code = NM_CLICK;
        HWND parent = ::GetParent(m_hWnd);
        if (parent) ::SendMessage(parent, WM_NOTIFY, nm.idFrom, reinterpret_cast<LPARAM>(&nm));
        return 0;
    }
    case WM_SETCURSOR: {
        POINT p;
        GetCursorPos(&p);
        ScreenToClient(&p);
        if (LOWORD(lParam) == HTCLIENT && linkAt(p) >= 0) {
            ::SetCursor(LoadCursor(nullptr, IDC_HAND));
            return TRUE;
        }
        break;
    }
    default: break;
    }
    return CWnd::DefWindowProc(message, wParam, lParam);
}

void CLinkCtrl::paint()
{
    CPaintDC dc(this);
    HWND hwnd = m_hWnd;
    CRect r;
    GetClientRect(&r);
    selectWindowFont(this, dc);
    HBRUSH brush = askStaticColors(this, dc);
    if (!Find(hwnd)) return;
    if (brush) ::FillRect(dc.m_hDC, &r, brush);
    const bool off = disabled(this);
    const COLORREF text = off ? GetSysColor(COLOR_GRAYTEXT) : dc.GetTextColor();
    std::vector<Run> runs = layout(dc);
    CFont* normal = dc.GetCurrentFont();
    LOGFONT lf;
    if (normal) normal->GetLogFont(&lf);
    lf.lfUnderline = 1;
    CFont underlined;
    underlined.CreateFontIndirect(&lf);
    for (const Run& run : runs) {
        const bool isLink = run.link >= 0;
        dc.SelectObject(isLink && underlined.m_hObject ? &underlined : normal);
        dc.SetTextColor(isLink && !off ? kLink : text);
        dc.TextOut(run.rect.left, run.rect.top, run.text);
    }
    if (normal) dc.SelectObject(normal);
}
