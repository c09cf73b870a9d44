#include "plugins/Sorvan/ShowResult.h"

#include "Common/records/Data.h"
#include "Common/stores/FileDbUser.h"
#include "plugins/Sorvan/SorvanApp.h"
#include "plugins/Vistel/VistelExports.h"
#include "platform/module.h"
#include "platform/resources.h"

#include <cstdlib>

namespace {

const char* const kUserCardFailure = "加载Vistel.dll失败,未能实现查看个人资料功能";
const char* const kGroupCardFailure = "加载Vistel.dll失败,未能实现查看群资料功能";

// A function, not a constant: the frames are built while the module loads.
CRect Placement()
{
    return CRect(250, 250, 250 + 500, 250 + 400);
}

}  // namespace

// ---------------------------------------------------------------- the pages

BEGIN_DISPATCH_MAP(CHtmlResultPage, CDHtmlDialog)
    DISP_FUNCTION(CHtmlResultPage, "getId", getId, VT_EMPTY, VTS_VARIANT)
    DISP_FUNCTION(CHtmlResultPage, "updateHtmlDlg", updateHtmlDlg, VT_EMPTY, VTS_VARIANT)
END_DISPATCH_MAP()

CHtmlResultPage::~CHtmlResultPage()
{
    if (m_hVistel) FreeLibrary(m_hVistel);
}

BOOL CHtmlResultPage::OnInitDialog()
{
    CPluginPage::OnInitDialog();
    m_strSelectedId.Empty();
    return TRUE;
}

void CHtmlResultPage::OnDocumentComplete(LPDISPATCH browser, LPCTSTR url)
{
    CPluginPage::OnDocumentComplete(browser, url);
    const CSorvanApp& app = SorvanApp();
    InvokeScriptMethod("getCurUserId", {app.m_strAccount});
    InvokeScriptMethod("getVerifyCode", {app.m_strVerifyCode});
    InvokeScriptMethod("search", {app.m_strSearch});
}

void CHtmlResultPage::getId(const VARIANT& id)
{
    m_strSelectedId = VariantToText(id);
}

void CHtmlResultPage::updateHtmlDlg(const VARIANT&)
{
    UpdateWindow();
}

void CHtmlResultPage::AddSelected(const char* scriptFunction, const char* kind)
{
    if (m_strSelectedId.IsEmpty()) {
        InvokeScriptMethod("alertWord", {kind});
        return;
    }
    const CSorvanApp& app = SorvanApp();
    InvokeScriptMethod(scriptFunction, {app.m_strVerifyCode, app.m_strAccount, m_strSelectedId});
}

void CHtmlResultPage::OpenCard(int kind, const CString& id, const char* failureText)
{
    if (m_hVistel) FreeLibrary(m_hVistel);
    m_hVistel = LoadLibrary("Vistel.dll");
    if (!m_hVistel) {
        AfxMessageBox(failureText, MB_OK);
        return;
    }
    auto show = PluginExport(m_hVistel, VistelExports::Show);
    if (!show) return;
    const CSorvanApp& app = SorvanApp();
    show(kind, std::atoi(id.GetString()), Sorvan().ownId, app.m_strAccount, Sorvan().notify, app.m_strVerifyCode);
}

// The user page.

IMPLEMENT_DYNCREATE(CHtmlFriendDlg, CDHtmlDialog)

BEGIN_DISPATCH_MAP(CHtmlFriendDlg, CHtmlResultPage)
    DISP_FUNCTION(CHtmlFriendDlg, "addFrdSuc", addFrdSuc, VT_EMPTY, VTS_VARIANT VTS_VARIANT VTS_VARIANT)
    DISP_FUNCTION(CHtmlFriendDlg, "view_friend_info", view_friend_info, VT_EMPTY, VTS_VARIANT)
END_DISPATCH_MAP()

BEGIN_MESSAGE_MAP(CHtmlFriendDlg, CHtmlResultPage)
    ON_MESSAGE(UM_ADD_SELECTED_FRIEND, OnAddSelectedFriend)
END_MESSAGE_MAP()

CHtmlFriendDlg::CHtmlFriendDlg() : CHtmlResultPage(IDD_HTML_FRIEND, IDR_HTML_FRIEND) {}

// A friend the service accepted: into the contact store's friend list and
// the main window's.
void CHtmlFriendDlg::addFrdSuc(const VARIANT& id, const VARIANT& name, const VARIANT& note)
{
    UpdateWindow();
    CDataUser user;
    user.m_nId = std::atoi(VariantToText(id).GetString());
    user.m_bstrName = VariantToText(name).GetString();
    const CString sign = VariantToText(note);
    if (!sign.IsEmpty()) user.m_bstrSign = sign.GetString();
    user.m_nGroupId = 1;
    if (CFileDbUser* store = Sorvan().store) user.Update(store);
    if (HWND notify = Sorvan().notify) ::SendMessage(notify, UM_ADD_CONTACT, reinterpret_cast<WPARAM>(&user), 0);
}

void CHtmlFriendDlg::view_friend_info(const VARIANT& id)
{
    OpenCard(0, VariantToText(id), kUserCardFailure);
}

LRESULT CHtmlFriendDlg::OnAddSelectedFriend(WPARAM, LPARAM)
{
    AddSelected("add_friend", "f");
    return 0;
}

// The group page.

IMPLEMENT_DYNCREATE(CHtmlGroupDlg, CDHtmlDialog)

BEGIN_DISPATCH_MAP(CHtmlGroupDlg, CHtmlResultPage)
    DISP_FUNCTION(CHtmlGroupDlg, "addGroupSuc", addGroupSuc, VT_EMPTY, VTS_VARIANT)
    DISP_FUNCTION(CHtmlGroupDlg, "view_group_info", view_group_info, VT_EMPTY, VTS_VARIANT)
END_DISPATCH_MAP()

BEGIN_MESSAGE_MAP(CHtmlGroupDlg, CHtmlResultPage)
    ON_MESSAGE(UM_JOIN_SELECTED_GROUP, OnJoinSelectedGroup)
END_MESSAGE_MAP()

CHtmlGroupDlg::CHtmlGroupDlg() : CHtmlResultPage(IDD_HTML_GROUP, IDR_HTML_GROUP) {}

// The own membership of a group, into the contact store; the page offers
// it but joining waits for the owner's approval, so the page does not call it.
void CHtmlGroupDlg::addGroupSuc(const VARIANT& groupId)
{
    UpdateWindow();
    CDataUser user;
    user.m_nId = Sorvan().ownId;
    user.m_nGroupId = std::atoi(VariantToText(groupId).GetString());
    if (CFileDbUser* store = Sorvan().store) user.Update(store);
    if (HWND notify = Sorvan().notify) ::SendMessage(notify, UM_ADD_CONTACT, reinterpret_cast<WPARAM>(&user), 0);
}

void CHtmlGroupDlg::view_group_info(const VARIANT& id)
{
    OpenCard(1, VariantToText(id), kGroupCardFailure);
}

LRESULT CHtmlGroupDlg::OnJoinSelectedGroup(WPARAM, LPARAM)
{
    AddSelected("app_add_group", "g");
    return 0;
}

// ---------------------------------------------------------------- the frames

CDlgResultBase::CDlgResultBase(UINT templateId, CDialog& page, UINT titlePng, UINT buttonId, UINT buttonPng)
    : CPluginFrame(templateId, page, titlePng, Placement(), 500), m_nButtonId(buttonId), m_nButtonPng(buttonPng)
{
}

BOOL CDlgResultBase::OnInitDialog()
{
    CPluginFrame::OnInitDialog();
    const CRect place(0, 0, 70, 26);
    m_btnAction.Create("", WS_CHILD | WS_VISIBLE, place, this, m_nButtonId);
    {
        CResourceScope scope(AfxGetInstanceHandle());
        m_btnAction.SetButtonImage(m_nButtonPng);
    }
    Layout(m_rcPlacement.Width(), m_rcPlacement.Height());
    return TRUE;
}

void CDlgResultBase::OnSize(UINT type, int cx, int cy)
{
    CPluginFrame::OnSize(type, cx, cy);
    Layout(m_rcClient.right - m_rcClient.left, m_rcClient.bottom - m_rcClient.top);
}

void CDlgResultBase::Layout(int cx, int cy)
{
    if (!m_hWnd) return;
    if (m_page.m_hWnd) m_page.MoveWindow(m_nPageLeft, m_nPageTop, cx - 8, cy - 70);
    if (m_btnAction.m_hWnd) {
        m_btnAction.MoveWindow(cx - 87, cy - 33, 70, 26);
        if (m_pBgBitmap) m_btnAction.SetButtonBackImage(m_pBgBitmap, cx - 87, cy - 33);
    }
}

BEGIN_MESSAGE_MAP(CDlgShowResult, CDlgResultBase)
    ON_BN_CLICKED(IDC_BTN_ADD_SELECTED_FRIEND, OnBnClickedAdd)
END_MESSAGE_MAP()

CDlgShowResult::CDlgShowResult()
    : CDlgResultBase(IDD_DLG_SHOW_RESULT, m_html, IDB_PNG_TITLE_USER, IDC_BTN_ADD_SELECTED_FRIEND, IDB_PNG_ADD_FRIEND)
{
}

void CDlgShowResult::OnBnClickedAdd()
{
    if (m_html.m_hWnd) m_html.SendMessage(UM_ADD_SELECTED_FRIEND, 0, 0);
}

BEGIN_MESSAGE_MAP(CDlgShowGroupResult, CDlgResultBase)
    ON_BN_CLICKED(IDC_BTN_JOIN_SELECTED_GROUP, OnBnClickedJoin)
END_MESSAGE_MAP()

CDlgShowGroupResult::CDlgShowGroupResult()
    : CDlgResultBase(IDD_DLG_SHOW_GROUP_RESULT, m_html, IDB_PNG_TITLE_GROUP, IDC_BTN_JOIN_SELECTED_GROUP,
                     IDB_PNG_JOIN_GROUP)
{
}

void CDlgShowGroupResult::OnBnClickedJoin()
{
    if (m_html.m_hWnd) m_html.SendMessage(UM_JOIN_SELECTED_GROUP, 0, 0);
}

void RegisterShowResultTemplates()
{
    RegisterPluginTemplates(IDD_DLG_SHOW_RESULT, IDD_HTML_FRIEND, Placement(), "好友查找结果");
    RegisterPluginTemplates(IDD_DLG_SHOW_GROUP_RESULT, IDD_HTML_GROUP, Placement(), "群组查找结果");
}
