#include "Lum/session/KivLoginerList.h"

#include "Lum/session/KivDlgLogin.h"
#include "Lum/LumResource.h"
#include "platform/codepage.h"
#include "platform/windc.h"

#include <string>

IMPLEMENT_DYNAMIC(CKivLoginerList, CListCtrl)

BEGIN_MESSAGE_MAP(CKivLoginerList, CListCtrl)
    ON_WM_PAINT()
    ON_WM_MEASUREITEM_REFLECT()
    ON_WM_MOUSEMOVE()
    ON_WM_LBUTTONDOWN()
    ON_WM_LBUTTONUP()
    ON_NOTIFY_REFLECT(NM_CLICK, OnClick)
END_MESSAGE_MAP()

namespace {

std::wstring Wide(const CString& text)
{
    return MultiByteToWide(CP_ACP, text.str());
}

}  // namespace

CKivLoginerList::CKivLoginerList()
{
    CGdiPlusBitmapResource head(IDB_PNG_HEAD_40, "PNG", AfxGetInstanceHandle());
    m_pDefaultHead = new Gdiplus::Bitmap(22, 22, Gdiplus::PixelFormat32bppARGB);
    if (head.m_pBitmap) {
        Gdiplus::Graphics g(m_pDefaultHead);
        g.DrawImage(head.m_pBitmap, 0, 0, 22, 22);
    }
}

CKivLoginerList::~CKivLoginerList()
{
    if (m_hWnd) DestroyWindow();
    delete m_pBackBuffer;
    delete m_pDeleteStrip;
    delete m_pDefaultHead;
    for (auto& kv : m_mapAccounts) delete kv.second;
    m_mapAccounts.clear();
}

void CKivLoginerList::NewBackBuffer()
{
    delete m_pBackBuffer;
    m_pBackBuffer = nullptr;
    CRect r;
    GetClientRect(&r);
    if (r.Width() > 0 && r.Height() > 0) m_pBackBuffer = new Gdiplus::Bitmap(r.Width(), r.Height(), Gdiplus::PixelFormat32bppARGB);
}

void CKivLoginerList::InitList()
{
    m_nRowHeight = 24;
    CRect r;
    GetWindowRect(&r);
    // The list asks for the row height again on a position change.
    WINDOWPOS pos = {};
    pos.hwnd = m_hWnd;
    pos.cx = r.Width();
    pos.cy = r.Height();
    pos.flags = SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOOWNERZORDER;
    SendMessage(WM_WINDOWPOSCHANGED, 0, reinterpret_cast<LPARAM>(&pos));

    NewBackBuffer();

    delete m_pDeleteStrip;
    m_pDeleteStrip = new CGdiPlusBitmapResource(IDB_PNG_DELETE_ACCOUNT, "PNG", AfxGetInstanceHandle());
    if (m_pDeleteStrip->m_pBitmap) {
        m_nBtnWidth = static_cast<int>(m_pDeleteStrip->m_pBitmap->GetWidth()) / 4;
        m_nBtnHeight = static_cast<int>(m_pDeleteStrip->m_pBitmap->GetHeight());
    }
    m_nBtnX = r.Width() - m_nBtnWidth - 7;
    m_nBtnY = 5;

    InsertColumn(0, "User", LVCFMT_LEFT, r.Width() - 1);
}

int CKivLoginerList::AddAccount(CDataUser* user)
{
    if (!user || m_mapAccounts.count(user->m_nId)) return 0;
    const int row = InsertItem(GetItemCount(), user->m_strPhone);
    SetItemData(row, static_cast<DWORD_PTR>(user->m_nId));
    auto* copy = new CDataUser;
    copy->FromUser(user);
    copy->m_nAux = row;
    m_mapAccounts[user->m_nId] = copy;
    return 0;
}

void CKivLoginerList::MeasureItem(LPMEASUREITEMSTRUCT mis)
{
    if (mis) mis->itemHeight = static_cast<UINT>(m_nRowHeight);
}

void CKivLoginerList::DrawItem(LPDRAWITEMSTRUCT dis)
{
    if (!dis || !m_pBackBuffer) return;
    auto found = m_mapAccounts.find(static_cast<int>(dis->itemData));
    if (found == m_mapAccounts.end()) return;
    const CDataUser* user = found->second;
    const CRect item(dis->rcItem);
    const int item_index = static_cast<int>(dis->itemID);

    Gdiplus::Bitmap row(item.Width(), item.Height(), Gdiplus::PixelFormat32bppARGB);
    Gdiplus::Graphics g(&row);
    if (item_index == m_nHotItem) {
        Gdiplus::SolidBrush hot(Gdiplus::Color(0xFFCFF5FF));
        g.FillRectangle(&hot, 0, 0, item.Width(), item.Height());
        if (m_pDeleteStrip && m_pDeleteStrip->m_pBitmap) {
            const int frame = m_nPressed ? 2 : (m_nHover ? 1 : 0);
            g.DrawImage(m_pDeleteStrip->m_pBitmap, Gdiplus::Rect(m_nBtnX, m_nBtnY, m_nBtnWidth, m_nBtnHeight),
                        frame * m_nBtnWidth, 0, m_nBtnWidth, m_nBtnHeight, Gdiplus::UnitPixel);
        }
    } else {
        const COLORREF window = GetSysColor(COLOR_WINDOW);
        Gdiplus::SolidBrush back(Gdiplus::Color(GetRValue(window), GetGValue(window), GetBValue(window)));
        g.FillRectangle(&back, 0, 0, item.Width(), item.Height());
    }
    if (user->m_imgHead) g.DrawImage(user->m_imgHead, 4, 2, 22, 22);
    else if (m_pDefaultHead) g.DrawImage(m_pDefaultHead, 4, 0, 22, 22);

    const std::wstring text = Wide(GetItemText(item_index, 0));
    Gdiplus::Font font(L"黑体", 16, Gdiplus::FontStyleRegular, Gdiplus::UnitPixel);
    Gdiplus::SolidBrush black(Gdiplus::Color(0xFF000000));
    g.DrawString(text.c_str(), static_cast<Gdiplus::INT>(text.size()), &font,
                 Gdiplus::RectF(35, 4, static_cast<Gdiplus::REAL>(item.Width()), static_cast<Gdiplus::REAL>(item.Height())),
                 nullptr, &black);

    Gdiplus::Graphics back(m_pBackBuffer);
    back.DrawImage(&row, item.left, item.top);
}

void CKivLoginerList::OnPaint()
{
    // The list paints its rows (into the back buffer) first.
    Default();
    if (!m_pBackBuffer) return;
    {
        Gdiplus::Graphics g(m_pBackBuffer);
        Gdiplus::Pen border(Gdiplus::Color(0xFFD77F7F), 1);
        g.DrawRectangle(&border, 0, 0, static_cast<Gdiplus::INT>(m_pBackBuffer->GetWidth()) - 1,
                        static_cast<Gdiplus::INT>(m_pBackBuffer->GetHeight()) - 1);
    }
    CClientDC dc(this);
    Gdiplus::Graphics screen(dc.GetSafeHdc());
    screen.DrawImage(m_pBackBuffer, 0, 0);
}

BOOL CKivLoginerList::InDeleteButton(CPoint point) const
{
    if (m_nRowHeight <= 0) return FALSE;
    // The hit area starts 10 pixels below the row's top, though the button
    // is drawn from 5.
    const int dy = point.y % m_nRowHeight - 10;
    const int dx = point.x - m_nBtnX;
    return dy >= 0 && dy <= m_nBtnHeight && dx >= 0 && dx <= m_nBtnWidth;
}

void CKivLoginerList::OnMouseMove(UINT flags, CPoint point)
{
    CListCtrl::OnMouseMove(flags, point);
    const int row = HitTest(point);
    if (row != m_nHotItem) {
        m_nHotItem = row;
        Invalidate(FALSE);
    }
    if (m_nHotItem < 0) return;
    const int hover = InDeleteButton(point) ? 1 : 0;
    if (hover && !m_nHover) {
        m_nHover = 1;
        Invalidate(FALSE);
    } else if (!hover && (m_nHover || m_nPressed)) {
        m_nHover = 0;
        m_nPressed = 0;
        m_nPressedItem = -1;
        Invalidate(FALSE);
    }
}

void CKivLoginerList::OnLButtonDown(UINT flags, CPoint point)
{
    const int pressed = InDeleteButton(point) ? 1 : 0;
    if (pressed != m_nPressed) {
        m_nPressed = pressed;
        Invalidate(FALSE);
    }
    if (pressed) {
        // A press on the delete button is not a click on the row: the
        // account goes only when the button is released on it, so the
        // list's own handling (which reports a click at once) is skipped.
        m_nPressedItem = HitTest(point);
        SetCapture();
        return;
    }
    m_nPressedItem = -1;
    CListCtrl::OnLButtonDown(flags, point);
}

void CKivLoginerList::OnLButtonUp(UINT flags, CPoint point)
{
    if (m_nPressed) {
        m_nPressed = 0;
        const int pressedItem = m_nPressedItem;
        m_nPressedItem = -1;
        if (GetCapture() == this) ReleaseCapture();
        Invalidate(FALSE);
        if (InDeleteButton(point) && pressedItem >= 0 && HitTest(point) == pressedItem) {
            DeleteAccountAt(point);
            return;
        }
    }
    CListCtrl::OnLButtonUp(flags, point);
}

void CKivLoginerList::DeleteAccountAt(CPoint point)
{
    const int row = HitTest(point);
    if (row < 0) return;
    auto found = m_mapAccounts.find(static_cast<int>(GetItemData(row)));
    if (found != m_mapAccounts.end()) {
        found->second->Delete(m_pSysStore);
        if (m_pOwner && m_pOwner->m_pSelected == found->second) m_pOwner->m_pSelected = nullptr;
        delete found->second;
        m_mapAccounts.erase(found);
    }
    DeleteItem(row);
    m_nHotItem = -1;
    m_nHover = 0;
    NewBackBuffer();
    Invalidate(FALSE);
}

void CKivLoginerList::OnClick(NMHDR* nmhdr, LRESULT* result)
{
    if (result) *result = 0;
    // Presses on the delete button never get here (see OnLButtonDown).
    if (m_nPressed || !m_pOwner || !nmhdr) return;
    const auto* click = reinterpret_cast<const NMITEMACTIVATE*>(nmhdr);
    const int row = HitTest(CPoint(click->ptAction));
    if (row < 0) return;
    auto found = m_mapAccounts.find(static_cast<int>(GetItemData(row)));
    if (found == m_mapAccounts.end()) return;
    m_pOwner->SelectAccount(found->second, GetItemText(row, 0));
}
