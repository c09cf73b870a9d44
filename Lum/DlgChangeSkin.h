// The skin chooser: a small page of theme pictures with a colour picker
// under it. A choice goes to the parent window as UM_SKIN_CHANGE (9225):
// wParam a CString* picture name and lParam 1, or wParam a COLORREF and
// lParam 0; the chooser hides itself after every choice.
#pragma once

#include "platform/dhtml.h"
#include "platform/gdi.h"

// A colour control: a hue and saturation field (kind HueSat) or a luminance
// bar (kind Luminance). A click picks a colour and sends WM_COMMAND with the
// control's id to the parent.
class CColorPickerCtrl : public CWnd {
public:
    enum Kind { HueSat, Luminance };
    explicit CColorPickerCtrl(Kind kind) : m_kind(kind) {}

    BOOL Create(const RECT& rect, CWnd* parent, UINT id);
    // The colour shown (hue, saturation and luminance in 0..1).
    void SetColor(COLORREF color);
    COLORREF GetColor() const;
    void SetLuminance(double luminance);
    double GetLuminance() const { return m_l; }
    // The colour of a point of the control, as a click there picks it.
    COLORREF ColorAt(CPoint point) const;

    static COLORREF FromHsl(double h, double s, double l);
    static void ToHsl(COLORREF color, double* h, double* s, double* l);

protected:
    void OnPaint() override;
    void OnLButtonDown(UINT flags, CPoint point) override;

    DECLARE_MESSAGE_MAP()

private:
    Kind m_kind;
    double m_h = 1.0 / 3, m_s = 1.0, m_l = 0.5;  // pure green
};

class CDlgChangeSkin : public CDHtmlDialog {
public:
    CDlgChangeSkin();

    // Creates the window (once) as a popup owned by `parent`.
    BOOL CreateChooser(CWnd* parent);

    BOOL OnInitDialog() override;
    BOOL IsExternalDispatchSafe() override { return TRUE; }
    CRect PageRect(int cx, int cy) override;
    HRESULT ShowContextMenu(DWORD id, POINT* pt, IUnknown* cmdTarget, IDispatch* object) override;
    HRESULT TranslateAccelerator(LPMSG msg, const GUID* cmdGroup, DWORD cmdId) override;
    HBRUSH OnCtlColor(CDC* dc, CWnd* wnd, UINT ctlColor) override;
    void OnPaint() override;

    // window.external: a theme picture was clicked.
    void changeSkin(const VARIANT& name, const VARIANT& type);
    // The colour controls' picks.
    void OnPickHueSat();
    void OnPickLuminance();
    HRESULT OnButtonOK(IHTMLElement*);
    HRESULT OnButtonCancel(IHTMLElement*);

    CColorPickerCtrl m_ctrlHueSat{CColorPickerCtrl::HueSat};      // 1048
    CColorPickerCtrl m_ctrlLuminance{CColorPickerCtrl::Luminance};  // 1049
    CBrush m_brushWhite;

    DECLARE_DISPATCH_MAP()
    DECLARE_DHTML_EVENT_MAP()
    DECLARE_MESSAGE_MAP()

private:
    void SendColor(COLORREF color);
};
