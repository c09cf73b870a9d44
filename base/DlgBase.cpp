#include "base/DlgBase.h"

#include "base/BaseModule.h"
#include "platform/codepage.h"
#include "platform/gdi.h"

#include <string>

int CDlgBase::m_R = 255;
int CDlgBase::m_G = 176;
int CDlgBase::m_B = 75;
int CDlgBase::m_IsAppBgColor = 0;
CString CDlgBase::m_sBgImgName;

IMPLEMENT_DYNAMIC(CDlgBase, CDialogEx)

BEGIN_MESSAGE_MAP(CDlgBase, CDialogEx)
    ON_WM_SIZE()
    ON_WM_LBUTTONDOWN()
    ON_WM_NCHITTEST()
    ON_WM_SETCURSOR()
    ON_WM_NCLBUTTONDOWN()
    ON_BN_CLICKED(IDC_BTN_DLG_MIN, OnBnClickedButtonDlgMin)
    ON_BN_CLICKED(IDC_BTN_DLG_CLOSE, OnBnClickedButtonDlgClose)
    ON_WM_CLOSE()
END_MESSAGE_MAP()

CDlgBase::CDlgBase(UINT templateId, CWnd* parent) : CDialogEx(templateId, parent)
{
    m_rcClient = RECT();
}

CDlgBase::~CDlgBase()
{
    // The buttons and the window go before the images they paint from.
    if (m_hWnd) DestroyWindow();
    delete m_pBgBitmap;
    m_pBgBitmap = nullptr;
    delete m_pSkinImage;
    m_pSkinImage = nullptr;
}

BOOL CDlgBase::OnInitDialog()
{
    CDialogEx::OnInitDialog();
    const CRect placeholder(0, 0, 24, 18);
    m_btnMin.Create("", WS_CHILD | WS_VISIBLE, placeholder, this, IDC_BTN_DLG_MIN);
    m_btnClose.Create("", WS_CHILD | WS_VISIBLE, placeholder, this, IDC_BTN_DLG_CLOSE);
    {
        // The strips always come from base's own resources.
        CResourceScope scope(GetBaseModuleHandle());
        m_btnMin.SetButtonImage(IDB_PNG_DLG_MIN);
        m_btnClose.SetButtonImage(IDB_PNG_DLG_CLOSE);
    }
    return TRUE;
}

void CDlgBase::OnSize(UINT type, int cx, int cy)
{
    CDialogEx::OnSize(type, cx, cy);
    if (cx > 0 && cy > 0) InitSize(cx, cy);
}

void CDlgBase::CreateRoundRectRgn(Gdiplus::GraphicsPath* path, int l, int t, int r, int b, int d)
{
    if (!path) return;
    if (d < 0) d = 0;
    path->AddArc(l, t, d, d, 180.0f, 90.0f);
    path->AddArc(r - d, t, d, d, 270.0f, 90.0f);
    path->AddArc(r - d, b - d, d, d, 0.0f, 90.0f);
    path->AddArc(l, b - d, d, d, 90.0f, 90.0f);
    path->CloseFigure();
}

void CDlgBase::InitSize(int w, int h)
{
    if (!m_hWnd || !m_btnMin.m_hWnd) return;
    m_rcClient.right = m_rcClient.left + w;
    m_rcClient.bottom = m_rcClient.top + h;

    CRgn region;
    region.CreateRoundRectRgn(0, 0, w, h, 4, 4);
    SetWindowRgn(region, TRUE);

    delete m_pBgBitmap;
    m_pBgBitmap = new Gdiplus::Bitmap(m_rcClient.right - m_rcClient.left, m_rcClient.bottom - m_rcClient.top,
                                      Gdiplus::PixelFormat32bppARGB);
    if (m_pBgBitmap->GetLastStatus() != Gdiplus::Ok) {
        delete m_pBgBitmap;
        m_pBgBitmap = nullptr;
        return;
    }
    Gdiplus::Graphics graphics(m_pBgBitmap);
    graphics.SetSmoothingMode(Gdiplus::SmoothingModeNone);

    if (!m_sBgImgName.IsEmpty()) {
        const std::wstring path = MultiByteToWide(CP_ACP, m_sBgImgName.str());
        Gdiplus::Image* image = Gdiplus::Image::FromFile(path.c_str());
        delete m_pSkinImage;
        m_pSkinImage = nullptr;
        // A skin file that no longer loads leaves the frame on its colour.
        if (image && image->GetLastStatus() == Gdiplus::Ok) m_pSkinImage = image;
        else delete image;
    }
    const int width = m_rcClient.right - m_rcClient.left, height = m_rcClient.bottom - m_rcClient.top;
    if (!m_pSkinImage || m_IsAppBgColor) {
        m_clrBg = Gdiplus::Color::MakeARGB(255, static_cast<BYTE>(m_R), static_cast<BYTE>(m_G), static_cast<BYTE>(m_B));
        Gdiplus::SolidBrush brush((Gdiplus::Color(m_clrBg)));
        graphics.FillRectangle(&brush, 0, 0, width, height);
    } else {
        Gdiplus::TextureBrush brush(m_pSkinImage, Gdiplus::WrapModeTile);
        graphics.FillRectangle(&brush, 0, 0, width, height);
    }

    Gdiplus::Rect top(0, 0, width, 17);
    Gdiplus::LinearGradientBrush gradient(top, Gdiplus::Color(0x70FFFFFF), Gdiplus::Color(0x00FFFFFF),
                                          Gdiplus::LinearGradientModeVertical);
    gradient.SetWrapMode(Gdiplus::WrapModeTile);
    graphics.FillRectangle(&gradient, top);

    DrawOwnerInBackgroud(&graphics);

    Gdiplus::GraphicsPath outer;
    CreateRoundRectRgn(&outer, 0, 0, w - 2, h - 2, 4);
    Gdiplus::Pen outerPen(Gdiplus::Color(0x66000000), 1);
    graphics.DrawPath(&outerPen, &outer);
    Gdiplus::GraphicsPath inner;
    CreateRoundRectRgn(&inner, 1, 1, w - 3, h - 3, 4);
    Gdiplus::Pen innerPen(Gdiplus::Color(0x1FFFFFFF), 1);
    graphics.DrawPath(&innerPen, &inner);

    CRect r;
    m_btnMin.GetWindowRect(&r);
    const int minWidth = r.Width();
    m_btnClose.GetWindowRect(&r);
    const int closeWidth = r.Width();
    const int minX = w - 2 * minWidth - 5, closeX = w - closeWidth - 4;
    m_btnMin.SetWindowPos(nullptr, minX, 3, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    m_btnMin.SetButtonBackImage(m_pBgBitmap, minX, 3);
    m_btnClose.SetWindowPos(nullptr, closeX, 3, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    m_btnClose.SetButtonBackImage(m_pBgBitmap, closeX, 3);

    HBITMAP background = nullptr;
    m_pBgBitmap->GetHBITMAP(Gdiplus::Color(0xFF000000), &background);
    SetBackgroundImage(background, BACKGR_TILE, TRUE, TRUE);
    m_btnMin.Invalidate();
    m_btnClose.Invalidate();
}

void CDlgBase::OnBnClickedButtonDlgMin()
{
    ShowWindow(SW_MINIMIZE);
}

void CDlgBase::OnBnClickedButtonDlgClose()
{
    PostMessage(WM_CLOSE, 0, 0);
}

void CDlgBase::DrawOwnerInBackgroud(Gdiplus::Graphics*) {}

void CDlgBase::OnLButtonDown(UINT flags, CPoint point)
{
    // A press on the client area that no child takes drags the window.
    CPoint screen = point;
    ClientToScreen(&screen);
    PostMessage(WM_NCLBUTTONDOWN, HTCAPTION, MAKELPARAM(screen.x, screen.y));
    CDialogEx::OnLButtonDown(flags, point);
}

LRESULT CDlgBase::OnNcHitTest(CPoint point)
{
    CRect r;
    GetWindowRect(&r);
    if (point.x <= r.left + 3) return HTLEFT;
    if (point.x >= r.right - 3) return HTRIGHT;
    if (point.y <= r.top + 3) return HTTOP;
    if (point.y >= r.bottom - 3) return HTBOTTOM;
    if (point.x <= r.left + 10 && point.y <= r.top + 10) return HTTOPLEFT;
    if (point.x >= r.right - 10 && point.y <= r.top + 10) return HTTOPRIGHT;
    if (point.x <= r.left + 10 && point.y >= r.bottom - 10) return HTBOTTOMLEFT;
    if (point.x >= r.right - 10 && point.y >= r.bottom - 10) return HTBOTTOMRIGHT;
    return CDialogEx::OnNcHitTest(point);
}

BOOL CDlgBase::OnSetCursor(CWnd* wnd, UINT hitTest, UINT message)
{
    LPCSTR shape = IDC_ARROW;
    switch (static_cast<int>(static_cast<short>(hitTest))) {
    case HTLEFT:
    case HTRIGHT: shape = IDC_SIZEWE; break;
    case HTTOP:
    case HTBOTTOM: shape = IDC_SIZENS; break;
    case HTTOPLEFT:
    case HTBOTTOMRIGHT: shape = IDC_SIZENWSE; break;
    case HTTOPRIGHT:
    case HTBOTTOMLEFT: shape = IDC_SIZENESW; break;
    default: break;
    }
    SetCursor(LoadCursor(nullptr, shape));
    return CDialogEx::OnSetCursor(wnd, hitTest, message);
}

void CDlgBase::OnNcLButtonDown(UINT hitTest, CPoint point)
{
    const int hit = static_cast<int>(hitTest);
    if (hit >= HTLEFT && hit <= HTBOTTOMRIGHT) {
        SystemParametersInfo(SPI_SETDRAGFULLWINDOWS, 0, nullptr, 0);
        SendMessage(WM_SYSCOMMAND, SC_SIZE + static_cast<WPARAM>(hit - HTLEFT + 1), MAKELPARAM(point.x, point.y));
        SystemParametersInfo(SPI_SETDRAGFULLWINDOWS, 1, nullptr, 0);
        return;
    }
    CDialogEx::OnNcLButtonDown(hitTest, point);
}

void CDlgBase::OnClose()
{
    CDialogEx::OnClose();
}
