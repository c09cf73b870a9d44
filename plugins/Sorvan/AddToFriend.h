// The two small windows of the contact lists: CDlgAddToFriend (page
// CHtmlAddToFriend) confirms and sends a friend request; CDlgInviteAddGrp
// (page CHtmlInviteAddGroup) invites a friend into one of the groups the
// user owns. Each page asks its frame to close with a message of its own.
#pragma once

#include "plugins/Sorvan/SorvanResource.h"
#include "plugins/common/PluginFrame.h"
#include "plugins/common/PluginPage.h"

class CFileDbUser;

// What both pages share: closing the frame and repainting.
class CHtmlSmallPage : public CPluginPage {
public:
    CHtmlSmallPage(UINT pageTemplateId, UINT htmlResourceId, UINT closeMessage)
        : CPluginPage(pageTemplateId, htmlResourceId), m_nCloseMessage(closeMessage)
    {
    }

    void onCancel(const VARIANT& ignored);
    void updateHtmlDlg(const VARIANT& ignored);
    // Sends the close message to the parent frame, when there is one.
    void CloseFrame();

protected:
    UINT m_nCloseMessage;
    DECLARE_DISPATCH_MAP()
};

class CHtmlAddToFriend : public CHtmlSmallPage {
    DECLARE_DYNCREATE(CHtmlAddToFriend)

public:
    CHtmlAddToFriend();
    void OnDocumentComplete(LPDISPATCH browser, LPCTSTR url) override;
    // The service accepted the request: a copy of the target record goes
    // into the friend list of the store and of the main window.
    void addFrdSuc(const VARIANT& id, const VARIANT& name, const VARIANT& note);

protected:
    DECLARE_DISPATCH_MAP()
};

class CHtmlInviteAddGroup : public CHtmlSmallPage {
    DECLARE_DYNCREATE(CHtmlInviteAddGroup)

public:
    CHtmlInviteAddGroup();
    void OnDocumentComplete(LPDISPATCH browser, LPCTSTR url) override;

    // The chooser of the groups the user owns, as the page places it.
    static CString GroupChooser(CFileDbUser* store);
};

class CDlgAddToFriend : public CPluginFrame {
public:
    CDlgAddToFriend();
    CString Caption() const override { return "加为好友"; }
    LRESULT OnCloseFrame(WPARAM, LPARAM);

    CHtmlAddToFriend m_html;

protected:
    DECLARE_MESSAGE_MAP()
};

class CDlgInviteAddGrp : public CPluginFrame {
public:
    CDlgInviteAddGrp();
    CString Caption() const override { return "邀请加入我的群"; }
    LRESULT OnCloseFrame(WPARAM, LPARAM);

    CHtmlInviteAddGroup m_html;

protected:
    DECLARE_MESSAGE_MAP()
};

// Registers the two frames' templates with the plug-in module.
void RegisterAddToFriendTemplates();
