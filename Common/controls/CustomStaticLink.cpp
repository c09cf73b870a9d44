#include "Common/controls/CustomStaticLink.h"

#include "platform/shell.h"
#include "platform/windc.h"

BEGIN_MESSAGE_MAP(CCustomStaticLink, CStatic)
    ON_WM_CTLCOLOR_REFLECT()
    ON_WM_MOUSEMOVE()
    ON_WM_LBUTTONDOWN()
END_MESSAGE_MAP()

CCustomStaticLink::CCustomStaticLink()
{
    m_brush.CreateSolidBrush(GetSysColor(COLOR_BTNFACE));
}

CCustomStaticLink::~CCustomStaticLink()
{
    // The window goes before the fonts it may still be using.
    if (m_hWnd) DestroyWindow();
}

void CCustomStaticLink::PreSubclassWindow()
{
    ModifyStyle(0, SS_NOTIFY);
    CStatic::PreSubclassWindow();
}

void CCustomStaticLink::SetLinkText(LPCTSTR text)
{
    m_strLinkText = text;
    SetWindowText(m_strLinkText);
}

void CCustomStaticLink::SetLinkUrl(LPCTSTR url)
{
    m_strLinkUrl = url;
}

void CCustomStaticLink::SetTextColor(COLORREF color)
{
    m_clrLink = color;
    Invalidate();
}

void CCustomStaticLink::SetLinkAttr(int underline, int bold, int italic)
{
    m_bUnderline = underline;
    m_bBold = bold;
    m_bItalic = italic;
    // A control that was never given a font uses the default one.
    CFont* current = GetFont();
    HDC measure = current ? nullptr : ::GetDC(nullptr);
    if (!current && measure) current = CDC::FromHandle(measure)->GetCurrentFont();
    if (current) current->GetLogFont(&m_logFont);
    if (measure) ::ReleaseDC(nullptr, measure);

    m_fontPlain.DeleteObject();
    m_fontPlain.CreateFontIndirect(&m_logFont);
    if (underline) m_logFont.lfUnderline = 1;
    if (bold) m_logFont.lfWeight = FW_BOLD;
    if (italic) m_logFont.lfItalic = 1;
    // The control may be using the previous styled font: it is replaced in
    // place, and painting only happens later.
    m_fontStyled.DeleteObject();
    m_fontStyled.CreateFontIndirect(&m_logFont);
    SetFont(&m_fontStyled, TRUE);
}

HBRUSH CCustomStaticLink::CtlColor(CDC* dc, UINT)
{
    dc->SetTextColor(m_bVisited ? m_clrVisited : m_clrLink);
    dc->SetBkMode(TRANSPARENT);
    return static_cast<HBRUSH>(m_brush);
}

void CCustomStaticLink::OnMouseMove(UINT, CPoint) {}

void CCustomStaticLink::OnLButtonDown(UINT, CPoint)
{
    // A link without an address (a plain text line) opens nothing.
    if (m_strLinkUrl.IsEmpty()) return;
    ShellExecute(nullptr, "OPEN", m_strLinkUrl, nullptr, nullptr, SW_SHOWNORMAL);
    m_bVisited = TRUE;
    RedrawWindow();
}
