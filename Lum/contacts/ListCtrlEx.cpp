#include "Lum/contacts/ListCtrlEx.h"

#include "Common/controls/GdiPlusBitmap.h"
#include "Lum/session/Workers.h"
#include "platform/codepage.h"
#include "platform/resources.h"
#include "platform/windc.h"

#include <string>

IMPLEMENT_DYNAMIC(CListCtrlEx, CListCtrl)

BEGIN_MESSAGE_MAP(CListCtrlEx, CListCtrl)
    ON_WM_PAINT()
    ON_WM_MOUSEMOVE()
    ON_WM_LBUTTONDOWN()
    ON_WM_MEASUREITEM_REFLECT()
    ON_WM_SIZE()
    ON_WM_VSCROLL()
    ON_WM_NCCALCSIZE()
END_MESSAGE_MAP()

Gdiplus::Bitmap* CListCtrlEx::LoadPng(UINT id)
{
    return CopyPngResource(id, AfxGetInstanceHandle());
}

bool CListCtrlEx::HasUnread(const CData* rec)
{
    return rec->m_nUnreadCount > 0 || !rec->m_vecUnread.empty();
}

void CListCtrlEx::BringForward(CWnd* chat)
{
    if (!chat || !chat->m_hWnd) return;
    chat->ShowWindow(SW_SHOW);
    chat->SetForegroundWindow();
    chat->UpdateWindow();
}

void CListCtrlEx::LayOutAgain(CWnd* chat)
{
    if (!chat || !chat->m_hWnd) return;
    CRect r;
    chat->GetWindowRect(&r);
    chat->SendMessage(WM_SIZE, SIZE_RESTORED, MAKELPARAM(r.Width(), r.Height()));
    if (chat->IsWindowVisible()) {
        chat->ShowWindow(SW_HIDE);
        chat->ShowWindow(SW_SHOW);
        chat->UpdateWindow();
    }
}

CListCtrlEx::CListCtrlEx()
{
    m_rcList = RECT{0, 0, 0, 0};
}

CListCtrlEx::~CListCtrlEx()
{
    FreeBuffers();
    delete m_pFont;
    delete m_pNameBrush;
    delete m_pSignBrush;
    delete m_pAlertBrush;
}

void CListCtrlEx::SetRowHeight(int height)
{
    m_nRowHeight = height;
    GetWindowRect(&m_rcList);
    // The list asks for the row height again on a position change.
    WINDOWPOS pos;
    pos.hwnd = m_hWnd;
    pos.cx = Width();
    pos.cy = Height();
    pos.flags = SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOOWNERZORDER;
    SendMessage(WM_WINDOWPOSCHANGED, 0, reinterpret_cast<LPARAM>(&pos));
    FreeBuffers();
    CreateBuffers();
    delete m_pNameBrush;
    delete m_pFont;
    delete m_pSignBrush;
    delete m_pAlertBrush;
    m_pNameBrush = new Gdiplus::SolidBrush(Gdiplus::Color(0xFF383838));
    m_pFont = new Gdiplus::Font(L"宋体", 12, Gdiplus::FontStyleRegular, Gdiplus::UnitPixel);
    m_pSignBrush = new Gdiplus::SolidBrush(Gdiplus::Color(0xFF8C8C8C));
    m_pAlertBrush = new Gdiplus::SolidBrush(Gdiplus::Color(0xFFFF0000));
    InsertColumn(0, "User", LVCFMT_LEFT, Width() - 2);
}

void CListCtrlEx::CreateBuffers()
{
    const int w = Width() > 0 ? Width() : 1;
    const int h = Height() > 0 ? Height() : 1;
    const int row = m_nRowHeight > 0 ? m_nRowHeight : 1;
    m_pBackBitmap = new Gdiplus::Bitmap(w, h, Gdiplus::PixelFormat32bppARGB);
    m_pRowBitmap = new Gdiplus::Bitmap(w, row, Gdiplus::PixelFormat32bppARGB);
    m_pBackGraphics = Gdiplus::Graphics::FromImage(m_pBackBitmap);
    m_pRowGraphics = Gdiplus::Graphics::FromImage(m_pRowBitmap);
    m_pBackGraphics->Clear(Gdiplus::Color(m_clrBack));
    if (m_hWnd) Invalidate(TRUE);
}

void CListCtrlEx::FreeBuffers()
{
    // The surfaces go before the bitmaps they draw on.
    delete m_pBackGraphics;
    m_pBackGraphics = nullptr;
    delete m_pRowGraphics;
    m_pRowGraphics = nullptr;
    delete m_pBackBitmap;
    m_pBackBitmap = nullptr;
    delete m_pRowBitmap;
    m_pRowBitmap = nullptr;
}

Gdiplus::Color CListCtrlEx::RowColor(int item) const
{
    if (item == m_nSelItem) return Gdiplus::Color(m_clrSelect);
    if (item == m_nHoverItem) return Gdiplus::Color(m_clrHover);
    return Gdiplus::Color(m_clrBack);
}

void CListCtrlEx::ForgetRow(int row)
{
    for (int* index : {&m_nHoverItem, &m_nSelItem}) {
        if (*index == row) *index = -1;
        else if (*index > row) --*index;
    }
    const int count = GetItemCount();
    if (m_nHoverItem >= count) m_nHoverItem = -1;
    if (m_nSelItem >= count) m_nSelItem = -1;
}

void CListCtrlEx::ForgetAllRows()
{
    m_nHoverItem = -1;
    m_nSelItem = -1;
}

int CListCtrlEx::FindRecordRow(int id, const CData* rec) const
{
    const int count = GetItemCount();
    if (rec) {
        const int row = rec->m_nAux;
        if (row >= 0 && row < count && static_cast<int>(GetItemData(row)) == id) return row;
    }
    for (int i = 0; i < count; ++i)
        if (static_cast<int>(GetItemData(i)) == id) return i;
    return -1;
}

void CListCtrlEx::DeleteRecordRow(int row)
{
    if (row < 0) return;
    DeleteItem(row);
    ForgetRow(row);
}

void CListCtrlEx::MeasureItem(LPMEASUREITEMSTRUCT mis)
{
    if (mis) mis->itemHeight = static_cast<UINT>(m_nRowHeight);
}

void CListCtrlEx::DrawItem(LPDRAWITEMSTRUCT dis)
{
    if (!dis || !m_pRowGraphics || !m_pBackGraphics) return;
    const int item = static_cast<int>(dis->itemID);
    Gdiplus::SolidBrush back(RowColor(item));
    m_pRowGraphics->FillRectangle(&back, 0, 0, Width(), m_nRowHeight);
    if (m_pFont && m_pNameBrush) {
        const std::wstring text = MultiByteToWide(CP_ACP, GetItemText(item, 0).GetString());
        const Gdiplus::RectF layout(0, 0, static_cast<Gdiplus::REAL>(Width()), static_cast<Gdiplus::REAL>(m_nRowHeight));
        m_pRowGraphics->DrawString(text.c_str(), static_cast<Gdiplus::INT>(text.size()), m_pFont, layout, nullptr,
                                   m_pNameBrush);
    }
    m_pBackGraphics->DrawImage(m_pRowBitmap, 0, static_cast<Gdiplus::INT>(dis->rcItem.top));
}

void CListCtrlEx::OnPaint()
{
    HWND hwnd = m_hWnd;
    // Every paint composes the back bitmap afresh, so that no row that moved
    // or went away stays in it.
    if (m_pBackGraphics) m_pBackGraphics->Clear(Gdiplus::Color(m_clrBack));
    // The list's own painting: DrawItem for every visible row.
    CListCtrl::OnPaint();
    if (!::IsWindow(hwnd)) return;
    CPaintDC validate(this);
    if (!m_pBackBitmap || !m_pBackGraphics) return;
    Gdiplus::Pen border{Gdiplus::Color(m_clrBorder), 1.0f};
    m_pBackGraphics->DrawRectangle(&border, 0, 0, Width() - 1, Height() - 1);
    CDC* dc = GetDC();
    if (!dc) return;
    {
        Gdiplus::Graphics screen(dc->m_hDC);
        screen.DrawImage(m_pBackBitmap, 0, 0);
    }
    ReleaseDC(dc);
}

void CListCtrlEx::OnMouseMove(UINT flags, CPoint point)
{
    // The main window hears of every move over the list.
    if (HWND main = GetMainWindowHandle()) ::PostMessage(main, WM_MOUSEMOVE, 0, 0);
    CListCtrl::OnMouseMove(flags, point);
    const int item = HitTest(point);
    if (item >= 0 && item != m_nHoverItem) {
        m_nHoverItem = item;
        Invalidate(FALSE);
    }
}

void CListCtrlEx::OnLButtonDown(UINT flags, CPoint point)
{
    HWND hwnd = m_hWnd;
    CListCtrl::OnLButtonDown(flags, point);
    if (!::IsWindow(hwnd)) return;
    const int item = HitTest(point);
    if (item >= 0 && item != m_nSelItem) {
        m_nSelItem = item;
        Invalidate(FALSE);
    }
}

void CListCtrlEx::OnSize(UINT type, int cx, int cy)
{
    CListCtrl::OnSize(type, cx, cy);
    // The size is read from the window itself: the lists send themselves
    // WM_SIZE (0, 0) to have the buffers rebuilt after rows changed.
    CRect r;
    GetWindowRect(&r);
    ScreenToClient(&r);
    const bool resized = r.Width() != Width() || r.Height() != Height();
    m_rcList = r;
    SetColumnWidth(0, Width() - 1);
    // The buffers are rebuilt only for a new size: the lists send this after
    // every change of a row (a state change of each contact in a heartbeat),
    // and the next paint clears the back bitmap anyway.
    if (resized || !m_pBackBitmap || !m_pRowBitmap) {
        FreeBuffers();
        CreateBuffers();
    } else {
        Invalidate(TRUE);
    }
}

void CListCtrlEx::OnVScroll(UINT code, UINT pos, CScrollBar* bar)
{
    CListCtrl::OnVScroll(code, pos, bar);
    switch (code) {
    case SB_LINEUP:
    case SB_LINEDOWN:
    case SB_PAGEUP:
    case SB_PAGEDOWN:
    case SB_THUMBTRACK:
        // No stale rows may remain in the buffer once the rows moved.
        if (m_pBackGraphics) m_pBackGraphics->Clear(Gdiplus::Color(m_clrBack));
        Invalidate(TRUE);
        break;
    default: break;
    }
}

void CListCtrlEx::OnNcCalcSize(BOOL calcValidRects, NCCALCSIZE_PARAMS* params)
{
    ModifyStyle(WS_HSCROLL, 0);
    CListCtrl::OnNcCalcSize(calcValidRects, params);
}

void DrawLoadedHead(CData* rec, const Gdiplus::Bitmap* head)
{
    if (!rec || !head) return;
    if (!rec->m_imgHead) rec->m_imgHead = new Gdiplus::Bitmap(40, 40, Gdiplus::PixelFormat32bppARGB);
    Gdiplus::Graphics g(rec->m_imgHead);
    g.DrawImage(const_cast<Gdiplus::Bitmap*>(head), 0, 0);
}
