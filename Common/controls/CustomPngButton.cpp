#include "Common/controls/CustomPngButton.h"

IMPLEMENT_DYNAMIC(CCustomPngButton, CButton)

BEGIN_MESSAGE_MAP(CCustomPngButton, CButton)
    ON_WM_MOUSEMOVE()
    ON_WM_MOUSEHOVER()
    ON_WM_MOUSELEAVE()
    ON_WM_LBUTTONDOWN()
    ON_WM_LBUTTONUP()
    ON_WM_ERASEBKGND()
END_MESSAGE_MAP()

CCustomPngButton::~CCustomPngButton()
{
    delete m_pStripImage;
    delete m_pBackImage;
}

void CCustomPngButton::SetButtonImage(UINT id)
{
    auto* strip = new CGdiPlusBitmapResource;
    if (!strip->Load(id, "PNG", AfxGetResourceHandle())) {
        delete strip;
        return;
    }
    useStrip(strip);
}

void CCustomPngButton::SetButtonImage(const wchar_t* path)
{
    Gdiplus::Bitmap* image = path ? Gdiplus::Bitmap::FromFile(path) : nullptr;
    if (!image || image->GetLastStatus() != Gdiplus::Ok) {
        delete image;
        return;
    }
    auto* strip = new CGdiPlusBitmap;
    strip->m_pBitmap = image;
    useStrip(strip);
}

void CCustomPngButton::useStrip(CGdiPlusBitmap* strip)
{
    delete m_pStripImage;
    m_pStripImage = strip;
    m_nImageWidth = static_cast<int>(strip->m_pBitmap->GetWidth());
    m_nImageHeight = static_cast<int>(strip->m_pBitmap->GetHeight());
    m_nFrameWidth = m_nImageWidth / 4;
    if (!m_hWnd) return;
    ModifyStyle(0, BS_OWNERDRAW);
    GetWindowRect(&m_rect);
    if (CWnd* parent = GetParent()) parent->ScreenToClient(&m_rect);
    m_rect.right = m_rect.left + m_nFrameWidth;
    m_rect.bottom = m_rect.top + m_nImageHeight;
    MoveWindow(m_rect.left, m_rect.top, m_nFrameWidth, m_nImageHeight, TRUE);
}

void CCustomPngButton::SetButtonBackImage(Gdiplus::Bitmap* background, int x, int y)
{
    if (!background) return;
    int w = m_nFrameWidth, h = m_nImageHeight;
    if (w <= 0 || h <= 0) {
        // No strip yet: the button's own size.
        CRect r;
        GetClientRect(&r);
        w = r.Width();
        h = r.Height();
    }
    if (w <= 0 || h <= 0) return;
    delete m_pBackImage;
    m_pBackImage = new Gdiplus::Bitmap(w, h, Gdiplus::PixelFormat32bppARGB);
    Gdiplus::Graphics g(m_pBackImage);
    g.DrawImage(background, Gdiplus::Rect(0, 0, w, h), x, y, w, h, Gdiplus::UnitPixel);
}

void CCustomPngButton::SetButtonBackColor(COLORREF color)
{
    m_backColor = Gdiplus::Color::MakeARGB(255, GetRValue(color), GetGValue(color), GetBValue(color));
}

void CCustomPngButton::SetIsClick(int click)
{
    m_nRestFrame = click == 1 ? 2 : 0;
}

void CCustomPngButton::DrawItem(LPDRAWITEMSTRUCT dis)
{
    if (!dis) return;
    Gdiplus::Graphics g(dis->hDC);
    const CRect item(dis->rcItem);
    if (m_pBackImage) {
        g.DrawImage(m_pBackImage, 0, 0);
    } else {
        Gdiplus::SolidBrush brush{Gdiplus::Color(m_backColor)};
        g.FillRectangle(&brush, 0, 0, item.Width(), item.Height());
    }
    if (!m_pStripImage || !m_pStripImage->m_pBitmap) return;
    int frame = m_nRestFrame;
    if (m_bDisabled == 1) frame = 3;
    else if (dis->itemState & ODS_SELECTED) frame = 2;
    else if (m_bHover) frame = 1;
    g.DrawImage(m_pStripImage->m_pBitmap, Gdiplus::Rect(0, 0, m_nFrameWidth, m_nImageHeight), frame * m_nFrameWidth, 0,
                m_nFrameWidth, m_nImageHeight, Gdiplus::UnitPixel);
}

LRESULT CCustomPngButton::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_LBUTTONDBLCLK) message = WM_LBUTTONDOWN;
    return CButton::DefWindowProc(message, wParam, lParam);
}

void CCustomPngButton::OnMouseMove(UINT flags, CPoint point)
{
    if (!m_bTracking) {
        TRACKMOUSEEVENT track;
        track.cbSize = sizeof(track);
        track.hwndTrack = m_hWnd;
        track.dwFlags = TME_LEAVE | TME_HOVER;
        track.dwHoverTime = 1;
        m_bTracking = TrackMouseEvent(&track);
    }
    CButton::OnMouseMove(flags, point);
}

void CCustomPngButton::OnMouseHover(UINT, CPoint)
{
    m_bHover = 1;
    Invalidate();
}

void CCustomPngButton::OnMouseLeave()
{
    m_bTracking = 0;
    m_bHover = 0;
    Invalidate();
}

void CCustomPngButton::OnLButtonDown(UINT flags, CPoint point)
{
    Invalidate();
    CButton::OnLButtonDown(flags, point);
}

void CCustomPngButton::OnLButtonUp(UINT flags, CPoint point)
{
    Invalidate();
    CButton::OnLButtonUp(flags, point);
}

BOOL CCustomPngButton::OnEraseBkgnd(CDC*)
{
    return TRUE;
}
