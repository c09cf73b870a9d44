// A static text that opens an address (a web page) when clicked, drawn in
// the link colour until visited and in the visited colour after.
#pragma once

#include "platform/controls.h"
#include "platform/gdi.h"

class CCustomStaticLink : public CStatic {
public:
    CCustomStaticLink();
    ~CCustomStaticLink() override;

    // Adds SS_NOTIFY, so that the static receives clicks.
    void PreSubclassWindow() override;

    // The text shown (also the window text) and the address opened.
    void SetLinkText(LPCTSTR text);
    void SetLinkUrl(LPCTSTR url);
    void SetTextColor(COLORREF color);
    // Gives the control its current font with underline, weight 700 and
    // italic where the argument is not 0.
    void SetLinkAttr(int underline, int bold, int italic);

    BOOL IsVisited() const { return m_bVisited; }

protected:
    HBRUSH CtlColor(CDC* dc, UINT ctlColor) override;
    void OnMouseMove(UINT flags, CPoint point) override;
    void OnLButtonDown(UINT flags, CPoint point) override;
    DECLARE_MESSAGE_MAP()

    int m_bUnderline = 0;
    int m_bBold = 0;
    int m_bItalic = 0;
    CFont m_fontPlain;   // the control's font as it was
    CFont m_fontStyled;  // with the choices of SetLinkAttr
    LOGFONT m_logFont;
    BOOL m_bVisited = FALSE;
    CString m_strLinkText;
    CString m_strLinkUrl;
    CBrush m_brush;  // button face
    COLORREF m_clrVisited = RGB(255, 0, 255);
    COLORREF m_clrLink = RGB(171, 16, 136);
};
