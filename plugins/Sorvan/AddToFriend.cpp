#include "plugins/Sorvan/AddToFriend.h"

#include "Common/records/Data.h"
#include "Common/stores/FileDbUser.h"
#include "plugins/Sorvan/SorvanApp.h"
#include "plugins/common/PluginUtil.h"

#include <set>

namespace {

// A function, not a constant: the frames are built while the module loads.
CRect Placement()
{
    return CRect(250, 250, 250 + 340, 250 + 200);
}

}  // namespace

// ---------------------------------------------------------------- the pages

BEGIN_DISPATCH_MAP(CHtmlSmallPage, CDHtmlDialog)
    DISP_FUNCTION(CHtmlSmallPage, "onCancel", onCancel, VT_EMPTY, VTS_VARIANT)
    DISP_FUNCTION(CHtmlSmallPage, "updateHtmlDlg", updateHtmlDlg, VT_EMPTY, VTS_VARIANT)
END_DISPATCH_MAP()

void CHtmlSmallPage::onCancel(const VARIANT&)
{
    CloseFrame();
}

void CHtmlSmallPage::updateHtmlDlg(const VARIANT&)
{
    UpdateWindow();
}

void CHtmlSmallPage::CloseFrame()
{
    CWnd* parent = m_hWnd ? GetParent() : nullptr;
    if (parent && parent->m_hWnd) parent->SendMessage(m_nCloseMessage, 0, 0);
}

IMPLEMENT_DYNCREATE(CHtmlAddToFriend, CDHtmlDialog)

BEGIN_DISPATCH_MAP(CHtmlAddToFriend, CHtmlSmallPage)
    DISP_FUNCTION(CHtmlAddToFriend, "addFrdSuc", addFrdSuc, VT_EMPTY, VTS_VARIANT VTS_VARIANT VTS_VARIANT)
END_DISPATCH_MAP()

CHtmlAddToFriend::CHtmlAddToFriend()
    : CHtmlSmallPage(IDD_HTML_ADD_FRIEND, IDR_HTML_ADD_FRIEND, UM_CLOSE_ADD_FRIEND_FRAME)
{
}

void CHtmlAddToFriend::OnDocumentComplete(LPDISPATCH browser, LPCTSTR url)
{
    CHtmlSmallPage::OnDocumentComplete(browser, url);
    const CSorvanApp& app = SorvanApp();
    InvokeScriptMethod("init", {app.m_strVerifyCode, IdText(Sorvan().targetId), app.m_strAccount});
}

void CHtmlAddToFriend::addFrdSuc(const VARIANT&, const VARIANT&, const VARIANT&)
{
    const SorvanGlobals& g = Sorvan();
    if (g.target) {
        CDataUser copy;
        copy.FromUser(g.target);
        copy.m_nGroupId = 1;
        if (g.store) copy.Update(g.store);
        if (g.notify) ::SendMessage(g.notify, UM_ADD_CONTACT, reinterpret_cast<WPARAM>(&copy), 0);
    }
    CloseFrame();
}

IMPLEMENT_DYNCREATE(CHtmlInviteAddGroup, CDHtmlDialog)

CHtmlInviteAddGroup::CHtmlInviteAddGroup()
    : CHtmlSmallPage(IDD_HTML_INVITE, IDR_HTML_INVITE, UM_CLOSE_INVITE_FRAME)
{
}

void CHtmlInviteAddGroup::OnDocumentComplete(LPDISPATCH browser, LPCTSTR url)
{
    CHtmlSmallPage::OnDocumentComplete(browser, url);
    const CSorvanApp& app = SorvanApp();
    InvokeScriptMethod("initGroup",
                       {app.m_strVerifyCode, IdText(Sorvan().targetId), app.m_strAccount, GroupChooser(Sorvan().store)});
}

CString CHtmlInviteAddGroup::GroupChooser(CFileDbUser* store)
{
    CString html = "<select id='group' style='border: 1px solid #C0E3F5;width:150px;'>";
    std::set<CDataGroup*> groups;
    if (store) store->GetGroupList(&groups, 1);
    for (CDataGroup* g : groups) {
        // Only the groups the user owns; names are shown as text.
        if (g->m_nIsMaster == 1)
            html += "<option value='" + IdText(g->m_nId) + "' selected>" + EscapeHtmlText(NameOf(g)) + "</option>";
        delete g;
    }
    return html + "</select>";
}

// ---------------------------------------------------------------- the frames

BEGIN_MESSAGE_MAP(CDlgAddToFriend, CPluginFrame)
    ON_MESSAGE(UM_CLOSE_ADD_FRIEND_FRAME, OnCloseFrame)
END_MESSAGE_MAP()

CDlgAddToFriend::CDlgAddToFriend() : CPluginFrame(IDD_DLG_ADD_FRIEND, m_html, IDB_PNG_TITLE_GROUP, Placement(), 500) {}

LRESULT CDlgAddToFriend::OnCloseFrame(WPARAM, LPARAM)
{
    DestroyWindow();
    return 0;
}

BEGIN_MESSAGE_MAP(CDlgInviteAddGrp, CPluginFrame)
    ON_MESSAGE(UM_CLOSE_INVITE_FRAME, OnCloseFrame)
END_MESSAGE_MAP()

CDlgInviteAddGrp::CDlgInviteAddGrp() : CPluginFrame(IDD_DLG_INVITE, m_html, IDB_PNG_TITLE_GROUP, Placement(), 500) {}

LRESULT CDlgInviteAddGrp::OnCloseFrame(WPARAM, LPARAM)
{
    DestroyWindow();
    return 0;
}

void RegisterAddToFriendTemplates()
{
    RegisterPluginTemplates(IDD_DLG_ADD_FRIEND, IDD_HTML_ADD_FRIEND, Placement(), "加为好友");
    RegisterPluginTemplates(IDD_DLG_INVITE, IDD_HTML_INVITE, Placement(), "邀请加入我的群");
}
