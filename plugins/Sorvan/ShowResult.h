// The search results: CDlgShowResult with the user page CHtmlFriendDlg and
// CDlgShowGroupResult with the group page CHtmlGroupDlg. The pages search
// the web API four results to a page; the frame's button adds the selected
// user as friend or asks to join the selected group; a row's view button
// opens its card through the card plug-in.
#pragma once

#include "plugins/Sorvan/SorvanResource.h"
#include "plugins/common/PluginFrame.h"
#include "plugins/common/PluginPage.h"

#include "Common/controls/CustomPngButton.h"

// What both result pages share: the selected row's id, the card plug-in's
// handle and the start-up calls into the page.
class CHtmlResultPage : public CPluginPage {
public:
    CHtmlResultPage(UINT pageTemplateId, UINT htmlResourceId) : CPluginPage(pageTemplateId, htmlResourceId) {}
    ~CHtmlResultPage() override;

    BOOL OnInitDialog() override;
    void OnDocumentComplete(LPDISPATCH browser, LPCTSTR url) override;

    void getId(const VARIANT& id);
    void updateHtmlDlg(const VARIANT& ignored);

    // The frame's button: the page's add or join call for the selected row,
    // or the page's hint when none is selected (`kind` "f" or "g").
    void AddSelected(const char* scriptFunction, const char* kind);
    // Opens a card (kind 0 user, 1 group) through Vistel's Show; a load
    // failure shows `failureText`.
    void OpenCard(int kind, const CString& id, const char* failureText);

    CString m_strSelectedId;    // empty when no row is selected
    HMODULE m_hVistel = nullptr;  // freed only when the page loads it again

protected:
    DECLARE_DISPATCH_MAP()
};

class CHtmlFriendDlg : public CHtmlResultPage {
    DECLARE_DYNCREATE(CHtmlFriendDlg)

public:
    CHtmlFriendDlg();

    void addFrdSuc(const VARIANT& id, const VARIANT& name, const VARIANT& note);
    void view_friend_info(const VARIANT& id);
    LRESULT OnAddSelectedFriend(WPARAM, LPARAM);

protected:
    DECLARE_DISPATCH_MAP()
    DECLARE_MESSAGE_MAP()
};

class CHtmlGroupDlg : public CHtmlResultPage {
    DECLARE_DYNCREATE(CHtmlGroupDlg)

public:
    CHtmlGroupDlg();

    void addGroupSuc(const VARIANT& groupId);
    void view_group_info(const VARIANT& id);
    LRESULT OnJoinSelectedGroup(WPARAM, LPARAM);

protected:
    DECLARE_DISPATCH_MAP()
    DECLARE_MESSAGE_MAP()
};

// A result frame: the page over a 70 x 26 button in the bottom right corner.
class CDlgResultBase : public CPluginFrame {
public:
    CDlgResultBase(UINT templateId, CDialog& page, UINT titlePng, UINT buttonId, UINT buttonPng);

    BOOL OnInitDialog() override;

    CCustomPngButton m_btnAction;

protected:
    void OnSize(UINT type, int cx, int cy) override;
    // Page and button for a client area of cx x cy.
    void Layout(int cx, int cy);

    UINT m_nButtonId;
    UINT m_nButtonPng;
};

class CDlgShowResult : public CDlgResultBase {
public:
    CDlgShowResult();
    CString Caption() const override { return "好友查找结果"; }
    void OnBnClickedAdd();

    CHtmlFriendDlg m_html;

protected:
    DECLARE_MESSAGE_MAP()
};

class CDlgShowGroupResult : public CDlgResultBase {
public:
    CDlgShowGroupResult();
    CString Caption() const override { return "群组查找结果"; }
    void OnBnClickedJoin();

    CHtmlGroupDlg m_html;

protected:
    DECLARE_MESSAGE_MAP()
};

// Registers the two result frames' templates with the plug-in module.
void RegisterShowResultTemplates();
