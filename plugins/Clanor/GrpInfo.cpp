#include "plugins/Clanor/GrpInfo.h"

#include "plugins/Clanor/ClanorApp.h"
#include "platform/resources.h"

#include <cstdlib>

namespace {

CRect Placement()
{
    return CRect(250, 250, 250 + 500, 250 + 400);
}

int Integer(const VARIANT& v)
{
    return std::atoi(VariantToText(v).GetString());
}

// The window to notify, when one was given and is still there.
HWND Notify()
{
    HWND notify = ClanorApp().m_hNotify;
    return notify && ::IsWindow(notify) ? notify : nullptr;
}

}  // namespace

// ---------------------------------------------------------------- page

IMPLEMENT_DYNCREATE(CHTMLGrpInfo, CDHtmlDialog)

BEGIN_DISPATCH_MAP(CHTMLGrpInfo, CDHtmlDialog)
    DISP_FUNCTION(CHTMLGrpInfo, "SendGrpEditToMain", SendGrpEditToMain, VT_EMPTY,
                  VTS_VARIANT VTS_VARIANT VTS_VARIANT VTS_VARIANT)
    DISP_FUNCTION(CHTMLGrpInfo, "SendGrpCardToMain", SendGrpCardToMain, VT_EMPTY, VTS_VARIANT)
    DISP_FUNCTION(CHTMLGrpInfo, "SendGrpHeadToMain", SendGrpHeadToMain, VT_EMPTY, VTS_VARIANT)
    DISP_FUNCTION(CHTMLGrpInfo, "CloseWindow", CloseFrame, VT_EMPTY, VTS_NONE)
    DISP_FUNCTION(CHTMLGrpInfo, "HideWindow", HideFrame, VT_EMPTY, VTS_NONE)
END_DISPATCH_MAP()

CHTMLGrpInfo::CHTMLGrpInfo() : CPluginPage(IDD_HTML_GRPINFO, IDR_HTML_GRPINFO) {}

void CHTMLGrpInfo::OnDocumentComplete(LPDISPATCH browser, LPCTSTR url)
{
    CPluginPage::OnDocumentComplete(browser, url);
    const CClanorApp& app = ClanorApp();
    InvokeScriptMethod("setGrpID", {IdText(app.m_nIsMaster), app.m_strAccount, app.m_strGroupId, app.m_strVerifyCode});
}

void CHTMLGrpInfo::SendGrpEditToMain(const VARIANT& id, const VARIANT& name, const VARIANT& style,
                                     const VARIANT& note)
{
    m_group.m_nId = Integer(id);
    m_group.m_bstrName = VariantToText(name).GetString();
    m_group.m_nStyle = Integer(style);
    m_group.m_bstrSign = VariantToText(note).GetString();
    if (HWND notify = Notify()) ::SendMessage(notify, kMsgGroupInfoChanged, reinterpret_cast<WPARAM>(&m_group), 0);
}

void CHTMLGrpInfo::SendGrpCardToMain(const VARIANT& card)
{
    // The group in the record's id, and in its group field, where the group
    // list looks for it.
    m_user.m_nId = std::atoi(ClanorApp().m_strGroupId.GetString());
    m_user.m_nGroupId = m_user.m_nId;
    m_user.m_strRemark = VariantToText(card);
    if (HWND notify = Notify()) ::SendMessage(notify, kMsgGroupCardChanged, reinterpret_cast<WPARAM>(&m_user), 0);
}

void CHTMLGrpInfo::SendGrpHeadToMain(const VARIANT& id)
{
    if (HWND notify = Notify()) ::SendMessage(notify, kMsgGroupHeadChanged, static_cast<WPARAM>(Integer(id)), 0);
}

void CHTMLGrpInfo::CloseFrame()
{
    // Posted: the page's own call must return before its window goes.
    CWnd* frame = GetParent();
    if (frame && frame->m_hWnd) frame->PostMessage(WM_CLOSE, 0, 0);
}

void CHTMLGrpInfo::HideFrame()
{
    CWnd* frame = GetParent();
    if (frame && frame->m_hWnd) frame->ShowWindow(SW_HIDE);
}

// ---------------------------------------------------------------- frame

BEGIN_MESSAGE_MAP(CDialogGrpInfo, CPluginFrame)
    ON_BN_CLICKED(IDC_BTN_CLANOR_OK, OnOk)
    ON_BN_CLICKED(IDC_BTN_CLANOR_CANCEL, OnCancelButton)
    ON_BN_CLICKED(IDC_BTN_CLANOR_APPLY, OnApply)
END_MESSAGE_MAP()

CDialogGrpInfo::CDialogGrpInfo() : CPluginFrame(IDD_DIALOG_GRPINFO, m_html, IDB_PNG_CLANOR_TITLE, Placement(), 500)
{
}

CString CDialogGrpInfo::Caption() const
{
    return "群设置-Kiv群组";
}

BOOL CDialogGrpInfo::OnInitDialog()
{
    CPluginFrame::OnInitDialog();
    const CRect placeholder(0, 0, 70, 26);
    m_btnOk.Create("确定", WS_CHILD | WS_VISIBLE | WS_TABSTOP, placeholder, this, IDC_BTN_CLANOR_OK);
    m_btnCancel.Create("取消", WS_CHILD | WS_VISIBLE | WS_TABSTOP, placeholder, this, IDC_BTN_CLANOR_CANCEL);
    m_btnApply.Create("应用", WS_CHILD | WS_VISIBLE | WS_TABSTOP, placeholder, this, IDC_BTN_CLANOR_APPLY);
    {
        CResourceScope scope(AfxGetInstanceHandle());
        m_btnOk.SetButtonImage(IDB_PNG_CLANOR_OK);
        m_btnCancel.SetButtonImage(IDB_PNG_CLANOR_CANCEL);
        m_btnApply.SetButtonImage(IDB_PNG_CLANOR_APPLY);
    }
    CRect r;
    GetClientRect(&r);
    Layout(r.Width(), r.Height());
    return TRUE;
}

void CDialogGrpInfo::OnSize(UINT type, int cx, int cy)
{
    CPluginFrame::OnSize(type, cx, cy);
    Layout(m_rcClient.right - m_rcClient.left, m_rcClient.bottom - m_rcClient.top);
}

void CDialogGrpInfo::Layout(int cx, int cy)
{
    if (!m_hWnd || cx <= 0 || cy <= 0) return;
    if (m_html.m_hWnd) m_html.MoveWindow(m_nPageLeft, m_nPageTop, cx - 8, cy - 60);
    const int y = cy - 28;
    int x = cx - 270;
    for (CCustomPngButton* button : {&m_btnOk, &m_btnCancel, &m_btnApply}) {
        if (button->m_hWnd) {
            button->SetWindowPos(nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
            button->SetButtonBackImage(m_pBgBitmap, x, y);
        }
        x += 90;
    }
}

void CDialogGrpInfo::OnOk()
{
    m_html.InvokeScriptMethod("submitAllChange");
}

void CDialogGrpInfo::OnCancelButton()
{
    // Posted: the button's click must return before its window goes.
    PostMessage(WM_CLOSE, 0, 0);
}

void CDialogGrpInfo::OnApply()
{
    m_html.InvokeScriptMethod("submitCurChange");
}

void RegisterGrpInfoTemplates()
{
    RegisterPluginTemplates(IDD_DIALOG_GRPINFO, IDD_HTML_GRPINFO, Placement(), "群设置-Kiv群组");
}
