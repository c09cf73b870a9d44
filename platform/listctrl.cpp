// The list view control. Its rows, columns and selection live in the object
// and change only through the window's LVM_ messages (on the UI thread); the
// member functions send those messages, so they work from any thread.
#include "platform/listctrl.h"

#include "platform/gdi_internal.h"
#include "platform/windc.h"
#include "platform/window_internal.h"

#include <algorithm>
#include <cmath>
#include <cstring>

using namespace lumui;

namespace {

const COLORREF kBack = RGB(255, 255, 255);
const COLORREF kText = RGB(31, 31, 31);
const COLORREF kSelected = RGB(204, 232, 255);
const COLORREF kSelectedInactive = RGB(224, 224, 224);
const COLORREF kGrid = RGB(226, 226, 226);
const COLORREF kHeaderBack = RGB(247, 247, 247);
const COLORREF kHeaderLine = RGB(213, 213, 213);
const COLORREF kHeaderText = RGB(68, 68, 68);
const COLORREF kBorder = RGB(196, 196, 196);
const COLORREF kTrack = RGB(243, 243, 243);
const COLORREF kThumb = RGB(197, 197, 197);
const COLORREF kThumbHot = RGB(166, 166, 166);
const COLORREF kThumbDrag = RGB(128, 128, 128);

const int kBarWidth = 12;   // the vertical scroll bar
const int kMinThumb = 24;
const int kCellPadding = 6; // text inset of a cell
const int kWheelLines = 3;  // rows per wheel notch

void roundedFill(CDC& dc, const CRect& r, double radius, COLORREF color)
{
    cairo_t* cr = CairoOf(dc.m_hDC);
    if (!cr || r.IsRectEmpty()) return;
    const double x = r.left, y = r.top, w = r.Width(), h = r.Height();
    radius = std::max(0.0, std::min(radius, std::min(w, h) / 2));
    cairo_save(cr);
    cairo_set_antialias(cr, CAIRO_ANTIALIAS_DEFAULT);
    cairo_new_sub_path(cr);
    cairo_arc(cr, x + w - radius, y + radius, radius, -M_PI / 2, 0);
    cairo_arc(cr, x + w - radius, y + h - radius, radius, 0, M_PI / 2);
    cairo_arc(cr, x + radius, y + h - radius, radius, M_PI / 2, M_PI);
    cairo_arc(cr, x + radius, y + radius, radius, M_PI, 3 * M_PI / 2);
    cairo_close_path(cr);
    cairo_set_source_rgb(cr, GetRValue(color) / 255.0, GetGValue(color) / 255.0, GetBValue(color) / 255.0);
    cairo_fill(cr);
    cairo_restore(cr);
}

// Copies `text` into a caller's buffer of `size` bytes; the bytes copied.
int copyText(const CString& text, LPTSTR buffer, int size)
{
    if (!buffer || size <= 0) return 0;
    const int n = std::min(text.GetLength(), size - 1);
    if (n > 0) std::memcpy(buffer, text.GetString(), static_cast<size_t>(n));
    buffer[n] = 0;
    return n;
}

UINT alignOf(int format)
{
    switch (format & LVCFMT_JUSTIFYMASK) {
    case LVCFMT_RIGHT: return DT_RIGHT;
    case LVCFMT_CENTER: return DT_CENTER;
    default: return DT_LEFT;
    }
}

}  // namespace

IMPLEMENT_DYNAMIC(CListCtrl, CWnd)

CListCtrl::~CListCtrl() = default;

BOOL CListCtrl::Create(DWORD style, const RECT& rect, CWnd* parent, UINT id)
{
    if (!CWnd::Create(WC_LISTVIEW, "", style, rect, parent, id)) return FALSE;
    PreSubclassWindow();
    return TRUE;
}

// ---------------------------------------------------------------- member functions

int CListCtrl::InsertColumn(int col, LPCTSTR heading, int format, int width, int subItem)
{
    LVCOLUMN lvc;
    lvc.mask = LVCF_FMT | LVCF_TEXT;
    lvc.fmt = format;
    lvc.pszText = const_cast<LPTSTR>(heading ? heading : "");
    if (width != -1) {
        lvc.mask |= LVCF_WIDTH;
        lvc.cx = width;
    }
    if (subItem != -1) {
        lvc.mask |= LVCF_SUBITEM;
        lvc.iSubItem = subItem;
    }
    return static_cast<int>(::SendMessage(m_hWnd, LVM_INSERTCOLUMN, static_cast<WPARAM>(col), reinterpret_cast<LPARAM>(&lvc)));
}

BOOL CListCtrl::DeleteColumn(int col)
{
    return static_cast<BOOL>(::SendMessage(m_hWnd, LVM_DELETECOLUMN, static_cast<WPARAM>(col), 0));
}

int CListCtrl::GetColumnWidth(int col) const
{
    return static_cast<int>(::SendMessage(m_hWnd, LVM_GETCOLUMNWIDTH, static_cast<WPARAM>(col), 0));
}

BOOL CListCtrl::SetColumnWidth(int col, int width)
{
    return static_cast<BOOL>(
        ::SendMessage(m_hWnd, LVM_SETCOLUMNWIDTH, static_cast<WPARAM>(col), MAKELPARAM(static_cast<WORD>(width), 0)));
}

DWORD CListCtrl::GetExtendedStyle() const
{
    return static_cast<DWORD>(::SendMessage(m_hWnd, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0));
}

DWORD CListCtrl::SetExtendedStyle(DWORD exStyle)
{
    return static_cast<DWORD>(::SendMessage(m_hWnd, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, static_cast<LPARAM>(exStyle)));
}

int CListCtrl::InsertItem(int item, LPCTSTR text)
{
    LVITEM lv;
    lv.mask = LVIF_TEXT;
    lv.iItem = item;
    lv.pszText = const_cast<LPTSTR>(text ? text : "");
    return InsertItem(&lv);
}

int CListCtrl::InsertItem(const LVITEM* item)
{
    return static_cast<int>(::SendMessage(m_hWnd, LVM_INSERTITEM, 0, reinterpret_cast<LPARAM>(item)));
}

BOOL CListCtrl::DeleteItem(int item)
{
    return static_cast<BOOL>(::SendMessage(m_hWnd, LVM_DELETEITEM, static_cast<WPARAM>(item), 0));
}

BOOL CListCtrl::DeleteAllItems()
{
    return static_cast<BOOL>(::SendMessage(m_hWnd, LVM_DELETEALLITEMS, 0, 0));
}

int CListCtrl::GetItemCount() const
{
    return static_cast<int>(::SendMessage(m_hWnd, LVM_GETITEMCOUNT, 0, 0));
}

BOOL CListCtrl::SetItemText(int item, int subItem, LPCTSTR text)
{
    LVITEM lv;
    lv.iSubItem = subItem;
    lv.pszText = const_cast<LPTSTR>(text ? text : "");
    return static_cast<BOOL>(::SendMessage(m_hWnd, LVM_SETITEMTEXT, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&lv)));
}

CString CListCtrl::GetItemText(int item, int subItem) const
{
    // The text is copied into a buffer; a full buffer may have cut it short.
    for (int size = 256;; size *= 2) {
        std::vector<char> buffer(static_cast<size_t>(size));
        LVITEM lv;
        lv.iSubItem = subItem;
        lv.pszText = buffer.data();
        lv.cchTextMax = size;
        const int n = static_cast<int>(
            ::SendMessage(m_hWnd, LVM_GETITEMTEXT, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&lv)));
        if (n < size - 1) return CString(buffer.data(), n);
    }
}

BOOL CListCtrl::SetItemData(int item, DWORD_PTR data)
{
    LVITEM lv;
    lv.mask = LVIF_PARAM;
    lv.iItem = item;
    lv.lParam = static_cast<LPARAM>(data);
    return static_cast<BOOL>(::SendMessage(m_hWnd, LVM_SETITEM, 0, reinterpret_cast<LPARAM>(&lv)));
}

DWORD_PTR CListCtrl::GetItemData(int item) const
{
    LVITEM lv;
    lv.mask = LVIF_PARAM;
    lv.iItem = item;
    ::SendMessage(m_hWnd, LVM_GETITEM, 0, reinterpret_cast<LPARAM>(&lv));
    return static_cast<DWORD_PTR>(lv.lParam);
}

BOOL CListCtrl::SetItemState(int item, UINT state, UINT mask)
{
    LVITEM lv;
    lv.mask = LVIF_STATE;
    lv.state = state;
    lv.stateMask = mask;
    return static_cast<BOOL>(::SendMessage(m_hWnd, LVM_SETITEMSTATE, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&lv)));
}

UINT CListCtrl::GetItemState(int item, UINT mask) const
{
    return static_cast<UINT>(::SendMessage(m_hWnd, LVM_GETITEMSTATE, static_cast<WPARAM>(item), static_cast<LPARAM>(mask)));
}

int CListCtrl::GetNextItem(int item, int flags) const
{
    return static_cast<int>(::SendMessage(m_hWnd, LVM_GETNEXTITEM, static_cast<WPARAM>(item), MAKELPARAM(flags, 0)));
}

int CListCtrl::GetSelectionMark() const
{
    return static_cast<int>(::SendMessage(m_hWnd, LVM_GETSELECTIONMARK, 0, 0));
}

int CListCtrl::SetSelectionMark(int item)
{
    return static_cast<int>(::SendMessage(m_hWnd, LVM_SETSELECTIONMARK, 0, static_cast<LPARAM>(item)));
}

int CListCtrl::FindItem(LVFINDINFO* find, int start) const
{
    return static_cast<int>(::SendMessage(m_hWnd, LVM_FINDITEM, static_cast<WPARAM>(start), reinterpret_cast<LPARAM>(find)));
}

BOOL CListCtrl::GetItemRect(int item, LPRECT rect, UINT code) const
{
    if (!rect) return FALSE;
    rect->left = static_cast<LONG>(code);
    return static_cast<BOOL>(::SendMessage(m_hWnd, LVM_GETITEMRECT, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(rect)));
}

int CListCtrl::HitTest(CPoint point, UINT* flags) const
{
    LVHITTESTINFO info;
    info.pt = point;
    const int item = HitTest(&info);
    if (flags) *flags = info.flags;
    return item;
}

int CListCtrl::HitTest(LVHITTESTINFO* info) const
{
    return static_cast<int>(::SendMessage(m_hWnd, LVM_HITTEST, 0, reinterpret_cast<LPARAM>(info)));
}

BOOL CListCtrl::EnsureVisible(int item, BOOL partialOK)
{
    return static_cast<BOOL>(::SendMessage(m_hWnd, LVM_ENSUREVISIBLE, static_cast<WPARAM>(item), partialOK));
}

int CListCtrl::GetTopIndex() const
{
    return static_cast<int>(::SendMessage(m_hWnd, LVM_GETTOPINDEX, 0, 0));
}

int CListCtrl::GetCountPerPage() const
{
    return static_cast<int>(::SendMessage(m_hWnd, LVM_GETCOUNTPERPAGE, 0, 0));
}

BOOL CListCtrl::Scroll(CSize size)
{
    return static_cast<BOOL>(::SendMessage(m_hWnd, LVM_SCROLL, static_cast<WPARAM>(size.cx), static_cast<LPARAM>(size.cy)));
}

void CListCtrl::DrawItem(LPDRAWITEMSTRUCT) {}

void CListCtrl::MeasureItem(LPMEASUREITEMSTRUCT) {}

BOOL CListCtrl::OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result)
{
    if (message == WM_DRAWITEM || message == WM_MEASUREITEM) {
        // A reflect entry of the class's map takes it first, else the virtual.
        if (CWnd::OnChildNotify(message, wParam, lParam, result)) return TRUE;
        if (message == WM_DRAWITEM) DrawItem(reinterpret_cast<LPDRAWITEMSTRUCT>(lParam));
        else MeasureItem(reinterpret_cast<LPMEASUREITEMSTRUCT>(lParam));
        if (result) *result = TRUE;
        return TRUE;
    }
    return CWnd::OnChildNotify(message, wParam, lParam, result);
}

// ---------------------------------------------------------------- layout

CRect CListCtrl::inner() const
{
    CRect r;
    GetClientRect(&r);
    if (GetStyle() & WS_BORDER) r.DeflateRect(1, 1);
    return r;
}

int CListCtrl::headerHeight()
{
    const DWORD style = GetStyle();
    if ((style & LVS_TYPEMASK) != LVS_REPORT || (style & LVS_NOCOLUMNHEADER)) return 0;
    return textHeight() + 12;
}

int CListCtrl::textHeight()
{
    CFont* font = GetFont();
    if (m_textHeight > 0 && font == m_textFont) return m_textHeight;
    HDC measure = ::GetDC(nullptr);
    int height = 16;
    if (measure) {
        CDC* dc = CDC::FromHandle(measure);
        if (font) dc->SelectObject(font);
        height = std::max<int>(1, dc->GetTextExtent("Ag\xe5\x9b\xbd", 5).cy);
        ::ReleaseDC(nullptr, measure);
    }
    m_textFont = font;
    m_textHeight = height;
    return height;
}

int CListCtrl::textRowHeight()
{
    return textHeight() + 10;
}

int CListCtrl::rowHeight()
{
    if (!(GetStyle() & LVS_OWNERDRAWFIXED)) return textRowHeight();
    if (m_itemHeight <= 0) measure();
    return std::max(1, m_itemHeight);
}

void CListCtrl::measure()
{
    MEASUREITEMSTRUCT mis;
    mis.CtlType = ODT_LISTVIEW;
    mis.CtlID = static_cast<UINT>(GetDlgCtrlID());
    mis.itemWidth = static_cast<UINT>(std::max<LONG>(0, inner().Width()));
    mis.itemHeight = static_cast<UINT>(textRowHeight());
    // Asked while being asked (the handler looks at rows): the default holds.
    m_itemHeight = static_cast<int>(mis.itemHeight);
    HWND hwnd = m_hWnd;
    if (HWND parent = ::GetParent(hwnd)) ::SendMessage(parent, WM_MEASUREITEM, mis.CtlID, reinterpret_cast<LPARAM>(&mis));
    else OnChildNotify(WM_MEASUREITEM, mis.CtlID, reinterpret_cast<LPARAM>(&mis), nullptr);
    if (!Find(hwnd)) return;
    m_itemHeight = std::max(1, static_cast<int>(mis.itemHeight));
    setTop(m_top);
    Invalidate(FALSE);
}

CRect CListCtrl::rowsArea()
{
    CRect r = inner();
    r.top = std::min<LONG>(r.bottom, r.top + headerHeight());
    if (scrollable()) r.right = std::max<LONG>(r.left, r.right - kBarWidth);
    return r;
}

int CListCtrl::pageRows()
{
    const CRect r = inner();
    const int height = r.Height() - headerHeight();
    return std::max(0, height / rowHeight());
}

int CListCtrl::maxTop()
{
    return std::max(0, static_cast<int>(m_items.size()) - pageRows());
}

bool CListCtrl::scrollable()
{
    return static_cast<int>(m_items.size()) > pageRows();
}

CRect CListCtrl::scrollBarRect()
{
    const CRect r = inner();
    return CRect(std::max<LONG>(r.left, r.right - kBarWidth), r.top, r.right, r.bottom);
}

CRect CListCtrl::thumbRect()
{
    CRect track = scrollBarRect();
    track.DeflateRect(0, 2);
    const int count = std::max(1, static_cast<int>(m_items.size()));
    const int length = std::max(0, track.Height());
    const int thumb = std::min(length, std::max(kMinThumb, static_cast<int>(static_cast<long long>(length) * pageRows() / count)));
    const int top = maxTop();
    const int offset = top > 0 ? static_cast<int>(static_cast<long long>(length - thumb) * m_top / top) : 0;
    return CRect(track.left, track.top + offset, track.right, track.top + offset + thumb);
}

CRect CListCtrl::rowRect(int item)
{
    const CRect area = rowsArea();
    const int h = rowHeight();
    const int top = area.top + (item - m_top) * h;
    return CRect(area.left, top, area.right, top + h);
}

int CListCtrl::columnAt(int x) const
{
    if (m_columns.empty()) return 0;
    int left = inner().left;
    for (size_t c = 0; c < m_columns.size(); ++c) {
        const int right = left + m_columns[c].width;
        if (x >= left && x < right) return static_cast<int>(c);
        left = right;
    }
    return -1;
}

int CListCtrl::itemAt(CPoint point, UINT* flags, int* subItem)
{
    const CRect client = inner();
    const CRect area = rowsArea();
    UINT f = 0;
    int item = -1;
    if (point.y < client.top) f |= LVHT_ABOVE;
    if (point.y >= client.bottom) f |= LVHT_BELOW;
    if (point.x < client.left) f |= LVHT_TOLEFT;
    if (point.x >= client.right) f |= LVHT_TORIGHT;
    if (!f && area.PtInRect(point)) {
        const int at = m_top + (point.y - area.top) / rowHeight();
        if (valid(at)) item = at;
    }
    if (item >= 0) f = LVHT_ONITEM;
    else if (!f) f = LVHT_NOWHERE;
    if (flags) *flags = f;
    if (subItem) *subItem = item >= 0 ? columnAt(point.x) : -1;
    return item;
}

void CListCtrl::setTop(int top)
{
    top = std::max(0, std::min(top, maxTop()));
    if (top == m_top) return;
    m_top = top;
    Invalidate(FALSE);
}

// ---------------------------------------------------------------- painting

void CListCtrl::selectFont(CDC& dc)
{
    if (CFont* font = GetFont()) dc.SelectObject(font);
}

void CListCtrl::paint()
{
    CPaintDC dc(this);
    HWND hwnd = m_hWnd;
    CRect client;
    GetClientRect(&client);
    dc.FillSolidRect(&client, kBack);
    const CRect area = rowsArea();
    if (!Find(hwnd)) return;
    const bool focused = GetFocus() == this;

    if (GetStyle() & LVS_OWNERDRAWFIXED) {
        // The parent paints each visible row (or hands it back to DrawItem).
        for (int i = m_top; valid(i); ++i) {
            const CRect r = rowRect(i);
            if (r.top >= area.bottom) break;
            DRAWITEMSTRUCT dis;
            dis.CtlType = ODT_LISTVIEW;
            dis.CtlID = static_cast<UINT>(GetDlgCtrlID());
            dis.itemID = static_cast<UINT>(i);
            dis.itemAction = ODA_DRAWENTIRE;
            const UINT state = m_items[static_cast<size_t>(i)].state;
            dis.itemState = ((state & LVIS_SELECTED) ? ODS_SELECTED : 0) |
                            ((state & LVIS_FOCUSED) && focused ? ODS_FOCUS : 0);
            dis.hwndItem = hwnd;
            dis.hDC = dc.m_hDC;
            dis.rcItem = r;
            dis.itemData = m_items[static_cast<size_t>(i)].data;
            const int saved = dc.SaveDC();
            if (HWND parent = ::GetParent(hwnd)) ::SendMessage(parent, WM_DRAWITEM, dis.CtlID, reinterpret_cast<LPARAM>(&dis));
            else OnChildNotify(WM_DRAWITEM, dis.CtlID, reinterpret_cast<LPARAM>(&dis), nullptr);
            if (!Find(hwnd)) return;
            dc.RestoreDC(saved);
        }
        return;
    }

    selectFont(dc);
    dc.SetBkMode(TRANSPARENT);
    const int h = rowHeight();
    for (int i = m_top; valid(i); ++i) {
        const CRect r = rowRect(i);
        if (r.top >= area.bottom) break;
        paintRow(dc, i, r, focused);
    }
    if (m_exStyle & LVS_EX_GRIDLINES) {
        // Lines under every row pitch down to the bottom and right of every
        // column, empty space included, as a table.
        for (int y = area.top + h - 1; y < area.bottom; y += h) dc.FillSolidRect(area.left, y, area.Width(), 1, kGrid);
        int x = area.left;
        for (const Column& c : m_columns) {
            x += c.width;
            if (x - 1 >= area.right) break;
            dc.FillSolidRect(x - 1, area.top, 1, area.Height(), kGrid);
        }
    }
}

void CListCtrl::paintRow(CDC& dc, int item, const CRect& r, bool focused)
{
    const Item& it = m_items[static_cast<size_t>(item)];
    const bool showSelection = (it.state & LVIS_SELECTED) && (focused || (GetStyle() & LVS_SHOWSELALWAYS));
    if (showSelection) {
        CRect sel = r;
        if (!(m_exStyle & LVS_EX_FULLROWSELECT) && !m_columns.empty())
            sel.right = std::min<LONG>(r.right, r.left + m_columns[0].width);
        dc.FillSolidRect(&sel, focused ? kSelected : kSelectedInactive);
    }
    dc.SetTextColor(kText);
    const UINT format = DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS;
    if (m_columns.empty()) {
        CRect tr = r;
        tr.DeflateRect(kCellPadding, 0);
        if (!it.texts.empty()) dc.DrawText(it.texts[0], &tr, format);
        return;
    }
    int x = r.left;
    for (size_t c = 0; c < m_columns.size() && x < r.right; ++c) {
        CRect cell(x, r.top, std::min<LONG>(r.right, x + m_columns[c].width), r.bottom);
        x += m_columns[c].width;
        if (c >= it.texts.size() || it.texts[c].IsEmpty()) continue;
        cell.DeflateRect(kCellPadding, 0);
        if (cell.IsRectEmpty()) continue;
        dc.DrawText(it.texts[c], &cell, format | alignOf(m_columns[c].format));
    }
}

void CListCtrl::paintHeader(CDC& dc)
{
    const int hh = headerHeight();
    if (hh <= 0) return;
    const CRect in = inner();
    const CRect area = rowsArea();
    const CRect header(in.left, in.top, area.right, in.top + hh);
    dc.FillSolidRect(&header, kHeaderBack);
    dc.FillSolidRect(header.left, header.bottom - 1, header.Width(), 1, kHeaderLine);
    selectFont(dc);
    dc.SetBkMode(TRANSPARENT);
    dc.SetTextColor(kHeaderText);
    int x = header.left;
    for (const Column& c : m_columns) {
        if (x >= header.right) break;
        CRect cell(x, header.top, std::min<LONG>(header.right, x + c.width), header.bottom - 1);
        x += c.width;
        if (x - 1 < header.right) dc.FillSolidRect(x - 1, header.top + 4, 1, std::max(0, hh - 9), kHeaderLine);
        cell.DeflateRect(kCellPadding, 0);
        if (!cell.IsRectEmpty())
            dc.DrawText(c.heading, &cell, DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS | alignOf(c.format));
    }
}

void CListCtrl::paintScrollBar(CDC& dc)
{
    if (!scrollable()) return;
    const CRect bar = scrollBarRect();
    dc.FillSolidRect(&bar, kTrack);
    CRect thumb = thumbRect();
    thumb.DeflateRect(3, 0);
    const COLORREF color = m_drag == Drag::Thumb ? kThumbDrag : m_thumbHot ? kThumbHot : kThumb;
    roundedFill(dc, thumb, 3, color);
}

void CListCtrl::paintChrome()
{
    CPaintDC dc(this);
    paintHeader(dc);
    paintScrollBar(dc);
    if (GetStyle() & WS_BORDER) {
        CRect client;
        GetClientRect(&client);
        dc.Draw3dRect(&client, kBorder, kBorder);
    }
}

LRESULT CListCtrl::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message != WM_PAINT) return CWnd::WindowProc(message, wParam, lParam);
    HWND hwnd = m_hWnd;
    const LRESULT result = CWnd::WindowProc(message, wParam, lParam);
    if (Find(hwnd)) paintChrome();
    return result;
}

// ---------------------------------------------------------------- input

void CListCtrl::selectOnly(int item)
{
    for (size_t i = 0; i < m_items.size(); ++i) {
        UINT& state = m_items[i].state;
        if (static_cast<int>(i) == item) state |= LVIS_SELECTED | LVIS_FOCUSED;
        else if (valid(item)) state &= ~(LVIS_SELECTED | LVIS_FOCUSED);
        else state &= ~LVIS_SELECTED;  // a click on nothing keeps the focused row
    }
    Invalidate(FALSE);
}

void CListCtrl::notify(UINT code, int item, int subItem, CPoint point, UINT keys)
{
    NMITEMACTIVATE nm;
    nm.hdr.hwndFrom = m_hWnd;
    nm.hdr.idFrom = static_cast<UINT_PTR>(GetDlgCtrlID());
    nm.hdr.code = code;
    nm.iItem = item;
    nm.iSubItem = subItem;
    nm.ptAction = point;
    if (valid(item)) nm.lParam = static_cast<LPARAM>(m_items[static_cast<size_t>(item)].data);
    nm.uKeyFlags = ((keys & MK_CONTROL) ? LVKF_CONTROL : 0) | ((keys & MK_SHIFT) ? LVKF_SHIFT : 0);
    // The parent offers it to the list's reflect handlers first.
    if (HWND parent = ::GetParent(m_hWnd)) ::SendMessage(parent, WM_NOTIFY, nm.hdr.idFrom, reinterpret_cast<LPARAM>(&nm));
    else OnChildNotify(WM_NOTIFY, nm.hdr.idFrom, reinterpret_cast<LPARAM>(&nm), nullptr);
}

void CListCtrl::sendScroll(UINT code, int pos)
{
    ::SendMessage(m_hWnd, WM_VSCROLL, MAKEWPARAM(code, static_cast<WORD>(pos)), 0);
}

void CListCtrl::clickAt(UINT message, UINT keys, CPoint point)
{
    HWND hwnd = m_hWnd;
    if (GetFocus() != this) SetFocus();
    if (!Find(hwnd)) return;
    if (scrollable() && scrollBarRect().PtInRect(point)) {
        if (message != WM_RBUTTONDOWN) scrollBarDown(point);
        return;
    }
    int subItem = -1;
    const int item = itemAt(point, nullptr, &subItem);
    if (message == WM_RBUTTONDOWN && valid(item) && (m_items[static_cast<size_t>(item)].state & LVIS_SELECTED)) {
        // A right click on a selected row keeps the selection.
    } else {
        selectOnly(item);
    }
    if (valid(item)) m_mark = item;
    switch (message) {
    case WM_LBUTTONDOWN: notify(NM_CLICK, item, subItem, point, keys); break;
    case WM_LBUTTONDBLCLK: notify(NM_DBLCLK, item, subItem, point, keys); break;
    default:
        // The menu that usually follows comes on release.
        m_rightDown = true;
        m_rightItem = item;
        break;
    }
}

void CListCtrl::scrollBarDown(CPoint point)
{
    const CRect thumb = thumbRect();
    SetCapture();
    if (point.y >= thumb.top && point.y < thumb.bottom) {
        m_drag = Drag::Thumb;
        m_dragOffset = point.y - thumb.top;
        Invalidate(FALSE);
        return;
    }
    m_drag = Drag::Page;
    sendScroll(point.y < thumb.top ? SB_PAGEUP : SB_PAGEDOWN);
}

void CListCtrl::dragThumb(CPoint point)
{
    CRect track = scrollBarRect();
    track.DeflateRect(0, 2);
    const int travel = track.Height() - thumbRect().Height();
    const int top = maxTop();
    if (travel <= 0 || top <= 0) return;
    const int offset = std::max(0, std::min(travel, static_cast<int>(point.y - m_dragOffset - track.top)));
    const int pos = static_cast<int>((static_cast<long long>(offset) * top + travel / 2) / travel);
    if (pos != m_top) sendScroll(SB_THUMBTRACK, pos);
}

void CListCtrl::endDrag()
{
    const Drag drag = m_drag;
    m_drag = Drag::None;
    ::ReleaseCapture();
    HWND hwnd = m_hWnd;
    if (drag == Drag::Thumb) sendScroll(SB_THUMBPOSITION, m_top);
    if (Find(hwnd)) sendScroll(SB_ENDSCROLL);
    if (Find(hwnd)) Invalidate(FALSE);
}

void CListCtrl::moveSelection(UINT vk)
{
    const int count = static_cast<int>(m_items.size());
    if (count == 0) return;
    int current = static_cast<int>(getNextItem(-1, LVNI_FOCUSED));
    if (current < 0) current = m_mark;
    const int page = std::max(1, pageRows());
    int next = current;
    switch (vk) {
    case VK_UP: next = current < 0 ? 0 : current - 1; break;
    case VK_DOWN: next = current < 0 ? 0 : current + 1; break;
    case VK_PRIOR: next = current < 0 ? 0 : current - page; break;
    case VK_NEXT: next = current < 0 ? 0 : current + page; break;
    case VK_HOME: next = 0; break;
    case VK_END: next = count - 1; break;
    default: return;
    }
    next = std::max(0, std::min(next, count - 1));
    selectOnly(next);
    m_mark = next;
    ::SendMessage(m_hWnd, LVM_ENSUREVISIBLE, static_cast<WPARAM>(next), FALSE);
}

// ---------------------------------------------------------------- messages

LRESULT CListCtrl::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_PAINT: paint(); return 0;
    case WM_ERASEBKGND: {
        CRect client;
        GetClientRect(&client);
        if (CDC* dc = CDC::FromHandle(reinterpret_cast<HDC>(wParam))) dc->FillSolidRect(&client, kBack);
        return TRUE;
    }
    case WM_NCCALCSIZE: return 0;  // no frame and no horizontal scroll bar
    case WM_SIZE: {
        HWND hwnd = m_hWnd;
        setTop(m_top);
        if (Find(hwnd)) Invalidate(FALSE);
        return 0;
    }
    case WM_WINDOWPOSCHANGED:
        // Owner-drawn rows are measured again: callers send this on purpose.
        if (GetStyle() & LVS_OWNERDRAWFIXED) measure();
        return 0;
    case WM_SETFONT:
        m_textHeight = 0;
        return CWnd::DefWindowProc(message, wParam, lParam);
    case WM_SETFOCUS:
    case WM_KILLFOCUS: Invalidate(FALSE); return 0;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
    case WM_RBUTTONDOWN: clickAt(message, static_cast<UINT>(wParam), CPoint(lParam)); return 0;
    case WM_LBUTTONUP:
        if (m_drag != Drag::None) endDrag();
        return 0;
    case WM_RBUTTONUP:
        if (m_rightDown) {
            m_rightDown = false;
            const CPoint point(lParam);
            notify(NM_RCLICK, m_rightItem, valid(m_rightItem) ? columnAt(point.x) : -1, point, static_cast<UINT>(wParam));
        }
        return 0;
    case WM_MOUSEMOVE: {
        const CPoint point(lParam);
        if (m_drag == Drag::Thumb) {
            dragThumb(point);
            return 0;
        }
        const bool hot = m_drag == Drag::None && scrollable() && scrollBarRect().PtInRect(point);
        if (hot != m_thumbHot) {
            m_thumbHot = hot;
            if (hot) {
                TRACKMOUSEEVENT track;
                track.dwFlags = TME_LEAVE;
                track.hwndTrack = m_hWnd;
                ::TrackMouseEvent(&track);
            }
            Invalidate(FALSE);
        }
        return 0;
    }
    case WM_MOUSELEAVE:
        if (m_thumbHot) {
            m_thumbHot = false;
            Invalidate(FALSE);
        }
        return 0;
    case WM_MOUSEWHEEL: {
        if (!scrollable()) return 0;
        const int delta = static_cast<short>(HIWORD(wParam));
        if (delta == 0) return 0;
        const UINT code = delta > 0 ? SB_LINEUP : SB_LINEDOWN;
        const int lines = std::max(1, kWheelLines * std::abs(delta) / 120);
        HWND hwnd = m_hWnd;
        bool moved = false;
        for (int k = 0; k < lines && Find(hwnd); ++k) {
            if (code == SB_LINEUP ? m_top <= 0 : m_top >= maxTop()) break;
            sendScroll(code);
            moved = true;
        }
        if (moved && Find(hwnd)) sendScroll(SB_ENDSCROLL);
        return 0;
    }
    case WM_VSCROLL: {
        const int page = std::max(1, pageRows());
        switch (LOWORD(wParam)) {
        case SB_LINEUP: setTop(m_top - 1); break;
        case SB_LINEDOWN: setTop(m_top + 1); break;
        case SB_PAGEUP: setTop(m_top - page); break;
        case SB_PAGEDOWN: setTop(m_top + page); break;
        case SB_THUMBTRACK:
        case SB_THUMBPOSITION: setTop(HIWORD(wParam)); break;
        case SB_TOP: setTop(0); break;
        case SB_BOTTOM: setTop(maxTop()); break;
        default: break;
        }
        return 0;
    }
    case WM_KEYDOWN:
        switch (wParam) {
        case VK_UP:
        case VK_DOWN:
        case VK_PRIOR:
        case VK_NEXT:
        case VK_HOME:
        case VK_END: moveSelection(static_cast<UINT>(wParam)); return 0;
        default: break;
        }
        break;

    case LVM_GETITEMCOUNT: return static_cast<LRESULT>(m_items.size());
    case LVM_INSERTITEM: return insertItem(reinterpret_cast<const LVITEM*>(lParam));
    case LVM_SETITEM: return setItem(reinterpret_cast<const LVITEM*>(lParam));
    case LVM_GETITEM: return getItem(reinterpret_cast<LVITEM*>(lParam));
    case LVM_DELETEITEM: {
        const int item = static_cast<int>(wParam);
        if (!valid(item)) return FALSE;
        m_items.erase(m_items.begin() + item);
        if (m_mark == item) m_mark = -1;
        else if (m_mark > item) --m_mark;
        if (m_rightItem == item) m_rightItem = -1;
        else if (m_rightItem > item) --m_rightItem;
        setTop(m_top);
        Invalidate(FALSE);
        return TRUE;
    }
    case LVM_DELETEALLITEMS:
        m_items.clear();
        m_top = 0;
        m_mark = -1;
        m_rightItem = -1;
        Invalidate(FALSE);
        return TRUE;
    case LVM_GETNEXTITEM: return getNextItem(static_cast<int>(wParam), LOWORD(lParam));
    case LVM_FINDITEM: return findItem(static_cast<int>(wParam), reinterpret_cast<const LVFINDINFO*>(lParam));
    case LVM_GETITEMRECT: return getItemRect(static_cast<int>(wParam), reinterpret_cast<RECT*>(lParam));
    case LVM_HITTEST: return hitTest(reinterpret_cast<LVHITTESTINFO*>(lParam));
    case LVM_ENSUREVISIBLE: {
        const int item = static_cast<int>(wParam);
        if (!valid(item)) return FALSE;
        const int page = pageRows();
        if (item < m_top || page <= 0) setTop(item);
        else if (item >= m_top + page) setTop(item - page + 1);
        return TRUE;
    }
    case LVM_SCROLL: {
        const int dy = static_cast<int>(lParam), h = rowHeight();
        int lines = dy / h;
        if (dy % h) lines += dy > 0 ? 1 : -1;
        setTop(m_top + lines);
        return TRUE;
    }
    case LVM_INSERTCOLUMN: return insertColumn(static_cast<int>(wParam), reinterpret_cast<const LVCOLUMN*>(lParam));
    case LVM_DELETECOLUMN: {
        const int col = static_cast<int>(wParam);
        if (col < 0 || col >= static_cast<int>(m_columns.size())) return FALSE;
        m_columns.erase(m_columns.begin() + col);
        for (Item& it : m_items)
            if (static_cast<int>(it.texts.size()) > col) it.texts.erase(it.texts.begin() + col);
        Invalidate(FALSE);
        return TRUE;
    }
    case LVM_GETCOLUMNWIDTH: {
        const int col = static_cast<int>(wParam);
        return col >= 0 && col < static_cast<int>(m_columns.size()) ? m_columns[static_cast<size_t>(col)].width : 0;
    }
    case LVM_SETCOLUMNWIDTH: {
        const int col = static_cast<int>(wParam);
        if (col < 0 || col >= static_cast<int>(m_columns.size())) return FALSE;
        m_columns[static_cast<size_t>(col)].width = std::max(0, static_cast<int>(static_cast<short>(LOWORD(lParam))));
        Invalidate(FALSE);
        return TRUE;
    }
    case LVM_GETTOPINDEX: return m_top;
    case LVM_GETCOUNTPERPAGE: return pageRows();
    case LVM_SETITEMSTATE: return setItemState(static_cast<int>(wParam), reinterpret_cast<const LVITEM*>(lParam));
    case LVM_GETITEMSTATE: {
        const int item = static_cast<int>(wParam);
        return valid(item) ? static_cast<LRESULT>(m_items[static_cast<size_t>(item)].state & static_cast<UINT>(lParam)) : 0;
    }
    case LVM_GETITEMTEXT: {
        LVITEM* lv = reinterpret_cast<LVITEM*>(lParam);
        const int item = static_cast<int>(wParam);
        if (!lv) return 0;
        if (!valid(item) || lv->iSubItem < 0) return copyText(CString(), lv->pszText, lv->cchTextMax);
        const Item& it = m_items[static_cast<size_t>(item)];
        const size_t sub = static_cast<size_t>(lv->iSubItem);
        return copyText(sub < it.texts.size() ? it.texts[sub] : CString(), lv->pszText, lv->cchTextMax);
    }
    case LVM_SETITEMTEXT: {
        const LVITEM* lv = reinterpret_cast<const LVITEM*>(lParam);
        if (!lv) return FALSE;
        LVITEM set = *lv;
        set.mask = LVIF_TEXT;
        set.iItem = static_cast<int>(wParam);
        return setItem(&set);
    }
    case LVM_SETEXTENDEDLISTVIEWSTYLE: {
        const DWORD old = m_exStyle;
        const DWORD mask = wParam ? static_cast<DWORD>(wParam) : 0xFFFFFFFFu;
        m_exStyle = (m_exStyle & ~mask) | (static_cast<DWORD>(lParam) & mask);
        Invalidate(FALSE);
        return static_cast<LRESULT>(old);
    }
    case LVM_GETEXTENDEDLISTVIEWSTYLE: return static_cast<LRESULT>(m_exStyle);
    case LVM_GETSELECTIONMARK: return m_mark;
    case LVM_SETSELECTIONMARK: {
        const int old = m_mark;
        m_mark = static_cast<int>(lParam);
        return old;
    }
    default: break;
    }
    return CWnd::DefWindowProc(message, wParam, lParam);
}

LRESULT CListCtrl::insertItem(const LVITEM* lv)
{
    if (!lv || lv->iItem < 0 || lv->iSubItem != 0) return -1;
    const int at = std::min(lv->iItem, static_cast<int>(m_items.size()));
    Item item;
    // Room for every column's text at once: filling the row's sub-items
    // then does not grow the vector again and again.
    item.texts.reserve(std::max<size_t>(1, m_columns.size()));
    item.texts.emplace_back((lv->mask & LVIF_TEXT) && lv->pszText ? lv->pszText : "");
    if (lv->mask & LVIF_PARAM) item.data = static_cast<DWORD_PTR>(lv->lParam);
    if (lv->mask & LVIF_STATE) item.state = lv->state & lv->stateMask & (LVIS_SELECTED | LVIS_FOCUSED);
    if (item.state & LVIS_FOCUSED)
        for (Item& other : m_items) other.state &= ~LVIS_FOCUSED;
    m_items.insert(m_items.begin() + at, std::move(item));
    if (m_mark >= at) ++m_mark;
    if (m_rightItem >= at) ++m_rightItem;
    Invalidate(FALSE);
    return at;
}

LRESULT CListCtrl::setItem(const LVITEM* lv)
{
    if (!lv || !valid(lv->iItem)) return FALSE;
    Item& it = m_items[static_cast<size_t>(lv->iItem)];
    if (lv->mask & LVIF_TEXT) {
        // Sub-items exist only for the columns there are.
        const int sub = lv->iSubItem;
        if (sub < 0 || (sub > 0 && sub >= static_cast<int>(m_columns.size()))) return FALSE;
        if (static_cast<int>(it.texts.size()) <= sub) {
            it.texts.reserve(std::max<size_t>(m_columns.size(), static_cast<size_t>(sub) + 1));
            it.texts.resize(static_cast<size_t>(sub) + 1);
        }
        it.texts[static_cast<size_t>(sub)] = lv->pszText ? lv->pszText : "";
    }
    if (lv->mask & LVIF_PARAM) it.data = static_cast<DWORD_PTR>(lv->lParam);
    if (lv->mask & LVIF_STATE) {
        LVITEM state = *lv;
        setItemState(lv->iItem, &state);
    }
    Invalidate(FALSE);
    return TRUE;
}

LRESULT CListCtrl::getItem(LVITEM* lv)
{
    if (!lv || !valid(lv->iItem)) return FALSE;
    const Item& it = m_items[static_cast<size_t>(lv->iItem)];
    if (lv->mask & LVIF_TEXT) {
        const size_t sub = static_cast<size_t>(std::max(0, lv->iSubItem));
        copyText(sub < it.texts.size() ? it.texts[sub] : CString(), lv->pszText, lv->cchTextMax);
    }
    if (lv->mask & LVIF_PARAM) lv->lParam = static_cast<LPARAM>(it.data);
    if (lv->mask & LVIF_STATE) lv->state = it.state & lv->stateMask;
    return TRUE;
}

LRESULT CListCtrl::insertColumn(int col, const LVCOLUMN* lvc)
{
    if (!lvc || col < 0) return -1;
    col = std::min(col, static_cast<int>(m_columns.size()));
    Column c;
    if ((lvc->mask & LVCF_TEXT) && lvc->pszText) c.heading = lvc->pszText;
    if (lvc->mask & LVCF_FMT) c.format = lvc->fmt & LVCFMT_JUSTIFYMASK;
    if (lvc->mask & LVCF_WIDTH) {
        c.width = std::max(0, lvc->cx);
    } else {
        // No width given: wide enough for the heading.
        HDC measure = ::GetDC(nullptr);
        if (measure) {
            CDC* dc = CDC::FromHandle(measure);
            if (CFont* font = GetFont()) dc->SelectObject(font);
            c.width = dc->GetTextExtent(c.heading).cx + 2 * kCellPadding + 4;
            ::ReleaseDC(nullptr, measure);
        }
    }
    // The first column takes the items' own texts; later ones move the
    // sub-item texts at and after it along.
    if (!m_columns.empty())
        for (Item& it : m_items)
            if (static_cast<int>(it.texts.size()) > col) it.texts.insert(it.texts.begin() + col, CString());
    m_columns.insert(m_columns.begin() + col, c);
    Invalidate(FALSE);
    return col;
}

LRESULT CListCtrl::findItem(int start, const LVFINDINFO* find)
{
    if (!find) return -1;
    const int count = static_cast<int>(m_items.size());
    auto matches = [&](int i) {
        const Item& it = m_items[static_cast<size_t>(i)];
        if (find->flags & LVFI_PARAM) return it.data == static_cast<DWORD_PTR>(find->lParam);
        if (find->flags & (LVFI_STRING | LVFI_PARTIAL)) {
            const CString text = it.texts.empty() ? CString() : it.texts[0];
            const CString wanted = find->psz ? find->psz : "";
            if (find->flags & LVFI_PARTIAL) return text.Left(wanted.GetLength()).CompareNoCase(wanted) == 0;
            return text.CompareNoCase(wanted) == 0;
        }
        return false;
    };
    const int from = std::max(0, start + 1);
    for (int i = from; i < count; ++i)
        if (matches(i)) return i;
    if (find->flags & LVFI_WRAP)
        for (int i = 0; i < std::min(from, count); ++i)
            if (matches(i)) return i;
    return -1;
}

LRESULT CListCtrl::getItemRect(int item, RECT* rect)
{
    if (!rect || !valid(item)) return FALSE;
    const UINT code = static_cast<UINT>(rect->left);
    CRect r = rowRect(item);
    if (code == LVIR_LABEL && !m_columns.empty()) r.right = std::min<LONG>(r.right, r.left + m_columns[0].width);
    if (code == LVIR_ICON) r.right = r.left;
    *rect = r;
    return TRUE;
}

LRESULT CListCtrl::hitTest(LVHITTESTINFO* info)
{
    if (!info) return -1;
    info->iItem = itemAt(CPoint(info->pt), &info->flags, &info->iSubItem);
    return info->iItem;
}

LRESULT CListCtrl::setItemState(int item, const LVITEM* lv)
{
    if (!lv || (item != -1 && !valid(item))) return FALSE;
    const UINT mask = lv->stateMask & (LVIS_SELECTED | LVIS_FOCUSED);
    const UINT state = lv->state & mask;
    if ((state & LVIS_FOCUSED) && item != -1)
        for (Item& other : m_items) other.state &= ~LVIS_FOCUSED;
    for (int i = 0; i < static_cast<int>(m_items.size()); ++i) {
        if (item != -1 && i != item) continue;
        UINT& s = m_items[static_cast<size_t>(i)].state;
        s = (s & ~mask) | state;
    }
    Invalidate(FALSE);
    return TRUE;
}

LRESULT CListCtrl::getNextItem(int start, UINT flags)
{
    for (int i = std::max(0, start + 1); valid(i); ++i) {
        const UINT state = m_items[static_cast<size_t>(i)].state;
        if ((flags & LVNI_SELECTED) && !(state & LVIS_SELECTED)) continue;
        if ((flags & LVNI_FOCUSED) && !(state & LVIS_FOCUSED)) continue;
        return i;
    }
    return -1;
}
