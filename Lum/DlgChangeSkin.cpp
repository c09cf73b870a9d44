#include "Lum/DlgChangeSkin.h"

#include "Lum/KivMessages.h"
#include "platform/dialog.h"
#include "platform/gdiplus.h"
#include "platform/windc.h"

#include <algorithm>
#include <cmath>

namespace {

const UINT kDlgChangeSkin = 108;
const UINT kHtmlChangeSkin = 109;
const UINT kCtrlHueSat = 1048;
const UINT kCtrlLuminance = 1049;
const int kWidth = 300;
const int kHeight = 230;
// The page above, the colour controls below it.
const int kPageHeight = 128;

void RegisterChangeSkinTemplate()
{
    static bool registered = false;
    if (registered) return;
    registered = true;
    DialogTemplate t;
    t.id = kDlgChangeSkin;
    t.cx = kWidth;
    t.cy = kHeight;
    t.style = WS_POPUP | WS_BORDER;
    t.caption = "皮肤管理器";
    RegisterDialogTemplate(AfxGetInstanceHandle(), t);
}

double Clamp01(double v)
{
    return std::min(1.0, std::max(0.0, v));
}

double HueChannel(double p, double q, double t)
{
    if (t < 0) t += 1;
    if (t > 1) t -= 1;
    if (t < 1.0 / 6) return p + (q - p) * 6 * t;
    if (t < 0.5) return q;
    if (t < 2.0 / 3) return p + (q - p) * (2.0 / 3 - t) * 6;
    return p;
}

}  // namespace

// ---------------------------------------------------------------- colour control

BEGIN_MESSAGE_MAP(CColorPickerCtrl, CWnd)
    ON_WM_PAINT()
    ON_WM_LBUTTONDOWN()
END_MESSAGE_MAP()

COLORREF CColorPickerCtrl::FromHsl(double h, double s, double l)
{
    h = h - std::floor(h);
    s = Clamp01(s);
    l = Clamp01(l);
    double r = l, g = l, b = l;
    if (s > 0) {
        const double q = l < 0.5 ? l * (1 + s) : l + s - l * s;
        const double p = 2 * l - q;
        r = HueChannel(p, q, h + 1.0 / 3);
        g = HueChannel(p, q, h);
        b = HueChannel(p, q, h - 1.0 / 3);
    }
    auto byte = [](double v) { return static_cast<BYTE>(std::lround(Clamp01(v) * 255)); };
    return RGB(byte(r), byte(g), byte(b));
}

void CColorPickerCtrl::ToHsl(COLORREF color, double* h, double* s, double* l)
{
    const double r = GetRValue(color) / 255.0, g = GetGValue(color) / 255.0, b = GetBValue(color) / 255.0;
    const double mx = std::max({r, g, b}), mn = std::min({r, g, b});
    double hh = 0, ss = 0;
    const double ll = (mx + mn) / 2;
    if (mx > mn) {
        const double d = mx - mn;
        ss = ll > 0.5 ? d / (2 - mx - mn) : d / (mx + mn);
        if (mx == r) hh = (g - b) / d + (g < b ? 6 : 0);
        else if (mx == g) hh = (b - r) / d + 2;
        else hh = (r - g) / d + 4;
        hh /= 6;
    }
    if (h) *h = hh;
    if (s) *s = ss;
    if (l) *l = ll;
}

BOOL CColorPickerCtrl::Create(const RECT& rect, CWnd* parent, UINT id)
{
    return CWnd::Create("", "", WS_CHILD | WS_VISIBLE, rect, parent, id);
}

void CColorPickerCtrl::SetColor(COLORREF color)
{
    ToHsl(color, &m_h, &m_s, &m_l);
    if (m_hWnd) Invalidate(FALSE);
}

COLORREF CColorPickerCtrl::GetColor() const
{
    return FromHsl(m_h, m_s, m_l);
}

void CColorPickerCtrl::SetLuminance(double luminance)
{
    m_l = Clamp01(luminance);
    if (m_hWnd) Invalidate(FALSE);
}

COLORREF CColorPickerCtrl::ColorAt(CPoint point) const
{
    CRect r;
    GetClientRect(&r);
    const double w = std::max(1, r.Width() - 1), h = std::max(1, r.Height() - 1);
    if (m_kind == HueSat) return FromHsl(Clamp01(point.x / w), 1 - Clamp01(point.y / h), m_l);
    return FromHsl(m_h, m_s, 1 - Clamp01(point.y / h));
}

void CColorPickerCtrl::OnPaint()
{
    CPaintDC dc(this);
    CRect r;
    GetClientRect(&r);
    const int w = r.Width(), h = r.Height();
    if (w <= 0 || h <= 0) return;
    Gdiplus::Bitmap field(w, h, Gdiplus::PixelFormat32bppARGB);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const COLORREF c = ColorAt(CPoint(x, y));
            field.SetPixel(x, y, Gdiplus::Color(255, GetRValue(c), GetGValue(c), GetBValue(c)));
        }
    Gdiplus::Graphics g(dc.GetSafeHdc());
    g.DrawImage(&field, 0, 0, w, h);
    // The marker of the colour shown.
    Gdiplus::Pen dark(Gdiplus::Color(255, 40, 40, 40), 1);
    Gdiplus::Pen light(Gdiplus::Color(255, 255, 255, 255), 1);
    if (m_kind == HueSat) {
        const int x = static_cast<int>(std::lround(m_h * (w - 1))), y = static_cast<int>(std::lround((1 - m_s) * (h - 1)));
        g.DrawRectangle(&dark, x - 3, y - 3, 6, 6);
        g.DrawRectangle(&light, x - 2, y - 2, 4, 4);
    } else {
        const int y = static_cast<int>(std::lround((1 - m_l) * (h - 1)));
        g.DrawRectangle(&dark, 0, y - 2, w - 1, 4);
        g.DrawRectangle(&light, 1, y - 1, w - 3, 2);
    }
    g.DrawRectangle(&dark, 0, 0, w - 1, h - 1);
}

void CColorPickerCtrl::OnLButtonDown(UINT, CPoint point)
{
    if (m_kind == HueSat) {
        CRect r;
        GetClientRect(&r);
        m_h = Clamp01(point.x / static_cast<double>(std::max(1, r.Width() - 1)));
        m_s = 1 - Clamp01(point.y / static_cast<double>(std::max(1, r.Height() - 1)));
    } else {
        CRect r;
        GetClientRect(&r);
        m_l = 1 - Clamp01(point.y / static_cast<double>(std::max(1, r.Height() - 1)));
    }
    Invalidate(FALSE);
    if (CWnd* parent = GetParent()) parent->SendMessage(WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(), BN_CLICKED),
                                                        reinterpret_cast<LPARAM>(m_hWnd));
}

// ---------------------------------------------------------------- the chooser

BEGIN_MESSAGE_MAP(CDlgChangeSkin, CDHtmlDialog)
    ON_WM_PAINT()
    ON_WM_CTLCOLOR()
    ON_COMMAND(kCtrlHueSat, OnPickHueSat)
    ON_COMMAND(kCtrlLuminance, OnPickLuminance)
END_MESSAGE_MAP()

BEGIN_DISPATCH_MAP(CDlgChangeSkin, CDHtmlDialog)
    DISP_FUNCTION(CDlgChangeSkin, "changeSkin", changeSkin, VT_EMPTY, VTS_VARIANT VTS_VARIANT)
END_DISPATCH_MAP()

BEGIN_DHTML_EVENT_MAP(CDlgChangeSkin)
    DHTML_EVENT_ONCLICK("ButtonOK", OnButtonOK)
    DHTML_EVENT_ONCLICK("ButtonCancel", OnButtonCancel)
END_DHTML_EVENT_MAP()

CDlgChangeSkin::CDlgChangeSkin() : CDHtmlDialog(kDlgChangeSkin, kHtmlChangeSkin, nullptr)
{
    EnableAutomation();
    m_brushWhite.CreateSolidBrush(RGB(255, 255, 255));
}

BOOL CDlgChangeSkin::CreateChooser(CWnd* parent)
{
    if (m_hWnd) return TRUE;
    RegisterChangeSkinTemplate();
    return Create(kDlgChangeSkin, parent);
}

BOOL CDlgChangeSkin::OnInitDialog()
{
    CDHtmlDialog::OnInitDialog();
    SetExternalDispatch(GetIDispatch(FALSE));
    const int top = kPageHeight + 4;
    m_ctrlHueSat.Create(CRect(10, top, 10 + 240, kHeight - 8), this, kCtrlHueSat);
    m_ctrlLuminance.Create(CRect(260, top, 260 + 28, kHeight - 8), this, kCtrlLuminance);
    // Both start at pure green.
    m_ctrlHueSat.SetColor(RGB(0, 255, 0));
    m_ctrlLuminance.SetColor(RGB(0, 255, 0));
    return TRUE;
}

CRect CDlgChangeSkin::PageRect(int cx, int)
{
    return CRect(0, 0, cx, kPageHeight);
}

HRESULT CDlgChangeSkin::ShowContextMenu(DWORD, POINT*, IUnknown*, IDispatch*)
{
    return S_OK;
}

HRESULT CDlgChangeSkin::TranslateAccelerator(LPMSG msg, const GUID* cmdGroup, DWORD cmdId)
{
    if (msg && msg->message == WM_KEYDOWN && msg->wParam == VK_F5) return S_OK;
    return CDHtmlDialog::TranslateAccelerator(msg, cmdGroup, cmdId);
}

HBRUSH CDlgChangeSkin::OnCtlColor(CDC* dc, CWnd*, UINT)
{
    if (dc) dc->SetBkColor(RGB(255, 255, 255));
    return m_brushWhite;
}

void CDlgChangeSkin::OnPaint()
{
    // White under the colour controls, as the page above.
    CPaintDC dc(this);
    CRect r;
    GetClientRect(&r);
    dc.FillSolidRect(&r, RGB(255, 255, 255));
}

void CDlgChangeSkin::changeSkin(const VARIANT& name, const VARIANT& type)
{
    CString picture = VariantToText(name);
    const CString kind = VariantToText(type);
    if (kind == "0") ShowWindow(SW_HIDE);
    if (CWnd* parent = GetParent()) parent->SendMessage(UM_SKIN_CHANGE, reinterpret_cast<WPARAM>(&picture), 1);
}

void CDlgChangeSkin::OnPickHueSat()
{
    m_ctrlLuminance.SetColor(m_ctrlHueSat.GetColor());
    m_ctrlHueSat.Invalidate(FALSE);
    m_ctrlLuminance.Invalidate(FALSE);
    SendColor(m_ctrlHueSat.GetColor());
}

void CDlgChangeSkin::OnPickLuminance()
{
    m_ctrlHueSat.SetLuminance(m_ctrlLuminance.GetLuminance());
    m_ctrlHueSat.Invalidate(FALSE);
    m_ctrlLuminance.Invalidate(FALSE);
    SendColor(m_ctrlLuminance.GetColor());
}

void CDlgChangeSkin::SendColor(COLORREF color)
{
    ShowWindow(SW_HIDE);
    if (CWnd* parent = GetParent()) parent->SendMessage(UM_SKIN_CHANGE, static_cast<WPARAM>(color), 0);
}

HRESULT CDlgChangeSkin::OnButtonOK(IHTMLElement*)
{
    OnOK();
    return S_OK;
}

HRESULT CDlgChangeSkin::OnButtonCancel(IHTMLElement*)
{
    OnCancel();
    return S_OK;
}
