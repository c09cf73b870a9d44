#include "plugins/common/PluginFrame.h"

#include "Common/controls/GdiPlusBitmap.h"
#include "platform/codepage.h"
#include "platform/dialog.h"

#include <set>
#include <string>

BEGIN_MESSAGE_MAP(CPluginFrame, CDlgBase)
    ON_WM_SIZE()
    ON_WM_GETMINMAXINFO()
    ON_WM_CLOSE()
END_MESSAGE_MAP()

CPluginFrame::CPluginFrame(UINT templateId, CDialog& page, UINT titlePng, const CRect& placement, int captionWidth)
    : CDlgBase(templateId, nullptr), m_page(page), m_nTitlePng(titlePng), m_rcPlacement(placement),
      m_nCaptionWidth(captionWidth)
{
    m_pFont = new Gdiplus::Font(L"宋体", 12.0f, Gdiplus::FontStyleRegular, Gdiplus::UnitPixel);
    m_pBrush = new Gdiplus::SolidBrush(Gdiplus::Color(0xFFFFFFFF));
}

CPluginFrame::~CPluginFrame()
{
    delete m_pFont;
    delete m_pBrush;
    delete m_pTitleImage;
    // The page is not touched here: it belongs to the derived frame, whose
    // part has ended already, and its own end destroyed its window.
}

BOOL CPluginFrame::OnInitDialog()
{
    CDlgBase::OnInitDialog();
    delete m_pTitleImage;
    m_pTitleImage = nullptr;
    CGdiPlusBitmapResource png;
    if (png.Load(m_nTitlePng, "PNG", AfxGetInstanceHandle()) && png.m_pBitmap) {
        const int w = static_cast<int>(png.m_pBitmap->GetWidth());
        const int h = static_cast<int>(png.m_pBitmap->GetHeight());
        m_pTitleImage = new Gdiplus::Bitmap(w, h, Gdiplus::PixelFormat32bppARGB);
        Gdiplus::Graphics g(m_pTitleImage);
        g.DrawImage(png.m_pBitmap, 0, 0, w, h);
    }
    m_page.Create(m_page.m_nIDTemplate, this);
    MoveWindow(m_rcPlacement.left, m_rcPlacement.top, m_rcPlacement.Width(), m_rcPlacement.Height());
    PlacePage(m_rcPlacement.Width(), m_rcPlacement.Height());
    m_page.ShowWindow(SW_SHOW);
    return TRUE;
}

void CPluginFrame::PlacePage(int cx, int cy)
{
    if (!m_hWnd || !m_page.m_hWnd) return;
    m_page.MoveWindow(m_nPageLeft, m_nPageTop, cx - 2 * m_nPageLeft, cy - m_nPageTop - 4);
}

void CPluginFrame::DrawOwnerInBackgroud(Gdiplus::Graphics* g)
{
    if (!g) return;
    if (m_pTitleImage)
        g->DrawImage(m_pTitleImage, 8, 3, static_cast<int>(m_pTitleImage->GetWidth()),
                     static_cast<int>(m_pTitleImage->GetHeight()));
    const CString caption = Caption();
    const std::wstring wide = MultiByteToWide(CP_ACP, caption.GetString());
    g->DrawString(wide.c_str(), static_cast<Gdiplus::INT>(wide.size()), m_pFont, CaptionArea(), nullptr, m_pBrush);
    SetWindowText(caption);
}

void CPluginFrame::OnSize(UINT type, int cx, int cy)
{
    CDlgBase::OnSize(type, cx, cy);
    PlacePage(m_rcClient.right - m_rcClient.left, m_rcClient.bottom - m_rcClient.top);
}

void CPluginFrame::OnGetMinMaxInfo(MINMAXINFO* info)
{
    CDlgBase::OnGetMinMaxInfo(info);
    if (!info) return;
    info->ptMinTrackSize.x = m_rcPlacement.Width();
    info->ptMinTrackSize.y = m_rcPlacement.Height();
}

void CPluginFrame::OnClose()
{
    // Closing the window never unloads the plug-in: only the window goes.
    DestroyWindow();
    CDlgBase::OnClose();
}

void RegisterPluginTemplates(UINT frameTemplate, UINT pageTemplate, const CRect& placement, const char* caption)
{
    static std::set<UINT> registered;
    if (!registered.insert(frameTemplate).second) return;
    HINSTANCE module = AfxGetInstanceHandle();
    DialogTemplate frame;
    frame.id = frameTemplate;
    frame.cx = placement.Width();
    frame.cy = placement.Height();
    frame.style = WS_POPUP;
    frame.caption = caption;
    RegisterDialogTemplate(module, frame);
    DialogTemplate page;
    page.id = pageTemplate;
    page.cx = placement.Width() - 8;
    page.cy = placement.Height() - 34;
    page.style = WS_CHILD;
    RegisterDialogTemplate(module, page);
}
