#include "plugins/Mievo/UserInfo.h"

#include "Common/records/Data.h"
#include "plugins/Mievo/MievoApp.h"
#include "platform/resources.h"

namespace {

CRect Placement()
{
    return CRect(250, 250, 250 + 500, 250 + 400);
}

}  // namespace

// ---------------------------------------------------------------- page

IMPLEMENT_DYNCREATE(CHTMLUserInfo, CDHtmlDialog)

BEGIN_DISPATCH_MAP(CHTMLUserInfo, CDHtmlDialog)
    DISP_FUNCTION(CHTMLUserInfo, "SetUserInfo", SetUserInfo, VT_EMPTY, VTS_NONE)
    DISP_FUNCTION(CHTMLUserInfo, "OpenDlgHeadPhoto", OpenDlgHeadPhoto, VT_EMPTY, VTS_NONE)
    DISP_FUNCTION(CHTMLUserInfo, "ModiUserInfoMain", ModiUserInfoMain, VT_EMPTY, VTS_VARIANT VTS_VARIANT)
    DISP_FUNCTION(CHTMLUserInfo, "RefreshWindow", RefreshWindow, VT_EMPTY, VTS_NONE)
    DISP_FUNCTION(CHTMLUserInfo, "CloseWindow", CloseProfileWindow, VT_EMPTY, VTS_NONE)
END_DISPATCH_MAP()

CHTMLUserInfo::CHTMLUserInfo() : CPluginPage(IDD_HTML_USERINFO, IDR_HTML_USERINFO) {}

BOOL CHTMLUserInfo::OnInitDialog()
{
    m_bLoadPending = false;
    return CPluginPage::OnInitDialog();
}

void CHTMLUserInfo::OnDocumentComplete(LPDISPATCH browser, LPCTSTR url)
{
    CPluginPage::OnDocumentComplete(browser, url);
    if (m_bLoadPending) m_bLoadPending = !LoadUserInfo();
}

bool CHTMLUserInfo::LoadUserInfo()
{
    CDataUser* own = Mievo().own;
    return InvokeScriptMethod("load_userInfo", {own ? own->m_nId : 0, MievoApp().m_strAccount,
                                                MievoApp().m_strVerifyCode}) == S_OK;
}

void CHTMLUserInfo::SetUserInfo()
{
    // The page asks from its load event, which may come before the document
    // counts as loaded here; the call is then made once it does.
    m_bLoadPending = !LoadUserInfo();
}

void CHTMLUserInfo::OpenDlgHeadPhoto()
{
    RegisterHeadPhotoTemplates();
    ReplacePluginFrame(MievoApp().m_dlgHeadPhoto, IDD_DIALOG_HEADPHOTO);
}

void CHTMLUserInfo::ModiUserInfoMain(const VARIANT& name, const VARIANT& note)
{
    CDataUser* own = Mievo().own;
    if (!own) return;
    own->m_bstrName = VariantToText(name).GetString();
    own->m_bstrSign = VariantToText(note).GetString();
    if (Mievo().mainWnd && ::IsWindow(Mievo().mainWnd))
        ::SendMessage(Mievo().mainWnd, kMsgOwnInfoChanged, reinterpret_cast<WPARAM>(own), 0);
}

void CHTMLUserInfo::RefreshWindow()
{
    Invalidate();
    UpdateWindow();
}

void CHTMLUserInfo::CloseProfileWindow()
{
    // Posted: the page's own call must return before its window goes.
    CWnd* frame = GetParent();
    if (frame && frame->m_hWnd) frame->PostMessage(WM_CLOSE, 0, 0);
}

// ---------------------------------------------------------------- frame

BEGIN_MESSAGE_MAP(CDialogUserInfo, CPluginFrame)
    ON_BN_CLICKED(IDC_BTN_MIEVO_OK, OnOk)
    ON_BN_CLICKED(IDC_BTN_MIEVO_APPLY, OnApply)
    ON_MESSAGE(kMsgOwnHeadChanged, OnHeadChanged)
END_MESSAGE_MAP()

CDialogUserInfo::CDialogUserInfo() : CPluginFrame(IDD_DIALOG_USERINFO, m_html, IDB_PNG_MIEVO_TITLE, Placement(), 500)
{
}

CString CDialogUserInfo::Caption() const
{
    return "我的资料";
}

BOOL CDialogUserInfo::OnInitDialog()
{
    CPluginFrame::OnInitDialog();
    const CRect placeholder(0, 0, 70, 26);
    m_btnOk.Create("确定", WS_CHILD | WS_VISIBLE | WS_TABSTOP, placeholder, this, IDC_BTN_MIEVO_OK);
    m_btnApply.Create("应用", WS_CHILD | WS_VISIBLE | WS_TABSTOP, placeholder, this, IDC_BTN_MIEVO_APPLY);
    {
        CResourceScope scope(AfxGetInstanceHandle());
        m_btnOk.SetButtonImage(IDB_PNG_MIEVO_OK);
        m_btnApply.SetButtonImage(IDB_PNG_MIEVO_APPLY);
    }
    CRect r;
    GetClientRect(&r);
    Layout(r.Width(), r.Height());
    return TRUE;
}

void CDialogUserInfo::OnSize(UINT type, int cx, int cy)
{
    CPluginFrame::OnSize(type, cx, cy);
    Layout(m_rcClient.right - m_rcClient.left, m_rcClient.bottom - m_rcClient.top);
}

void CDialogUserInfo::Layout(int cx, int cy)
{
    if (!m_hWnd || cx <= 0 || cy <= 0) return;
    if (m_html.m_hWnd) m_html.MoveWindow(m_nPageLeft, m_nPageTop, cx - 8, cy - 60);
    const int y = cy - 28;
    int x = cx - 180;
    for (CCustomPngButton* button : {&m_btnOk, &m_btnApply}) {
        if (button->m_hWnd) {
            button->SetWindowPos(nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
            button->SetButtonBackImage(m_pBgBitmap, x, y);
        }
        x += 90;
    }
}

void CDialogUserInfo::OnOk()
{
    m_html.InvokeScriptMethod("submitChange", {"0"});
}

void CDialogUserInfo::OnApply()
{
    m_html.InvokeScriptMethod("submitChange", {"1"});
}

LRESULT CDialogUserInfo::OnHeadChanged(WPARAM, LPARAM)
{
    m_html.InvokeScriptMethod("refreshUserHead");
    return 0;
}

void RegisterUserInfoTemplates()
{
    RegisterPluginTemplates(IDD_DIALOG_USERINFO, IDD_HTML_USERINFO, Placement(), "我的资料");
}
