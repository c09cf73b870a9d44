// The message manager: the frame CDlgShowQuillon and its page CHtmlQuillon.
// The page shows a tree of the contacts by type or by the age of their
// lines, the member table of a folder and the records of a contact, ten to
// a page; it searches by keyword and deletes by contact, folder or age.
#pragma once

#include "plugins/Quillon/QuillonResource.h"
#include "plugins/common/PluginFrame.h"
#include "plugins/common/PluginPage.h"
#include "plugins/common/PluginUtil.h"

#include <set>

class CDataGroup;
class CDataUser;

class CHtmlQuillon : public CPluginPage {
    DECLARE_DYNCREATE(CHtmlQuillon)

public:
    CHtmlQuillon();
    ~CHtmlQuillon() override;

    BOOL OnInitDialog() override;
    void DoDataExchange(CDataExchange* dx) override;
    void OnDocumentComplete(LPDISPATCH browser, LPCTSTR url) override;

    // Methods the page reaches through window.external.
    void showChatRecords(const VARIANT& folderText, const VARIANT& nodeId, const VARIANT& nodeText,
                         const VARIANT& scopeText, const VARIANT& groupId);
    void showMember(const VARIANT& folderText);
    void searchConditions(const VARIANT& range, const VARIANT& content, const VARIANT& scopeText);
    void deleteChatRecords(const VARIANT& pDel, const VARIANT& cDel, const VARIANT& type, const VARIANT& selected);
    void refresh(const VARIANT& which);
    void chanagePage(const VARIANT& page);
    void updateHtmlDialog(const VARIANT& ignored);

    // The trees as the page takes them.
    CString BuildTypeTree();
    CString BuildTimeTree();
    // The record pane of the current query and page.
    void BuildRecords();
    // The category code of a folder text (-1 when it is none of them).
    static int CodeOfFolder(const CString& folderText);
    // 3 group, 4 discussion group, 1 friend, 2 stranger (a later match wins), 0.
    int KindOf(int id) const;

    CString m_strTime[6];
    CString m_strHead;
    CString m_strCPage = "1";
    CString m_strTPage = "1";
    CString m_strHtml;
    // The current query.
    CString m_strNodeId, m_strFolder, m_strKeyword, m_strScope, m_strGroupId, m_strNodeText;

    // Lists filled while building the trees; the page owns the records of
    // the four contact lists and of the member scratch list, the buckets
    // point into the contact lists.
    std::set<CDataUser*> m_friends, m_strangers, m_members;
    std::set<CDataGroup*> m_groups, m_discussions;
    std::set<CDataUser*> m_bucketUsers[6];
    std::set<CDataGroup*> m_bucketGroups[6];

protected:
    // Refills the contact lists from the contact store (the buckets, which
    // point into them, are emptied).
    void LoadContacts();
    void ClearContacts();
    // The members of a group, without the own user, into m_members.
    void LoadMembers(int groupId);
    CString ConversationName(int nodeId, const CString& nodeText, int rowId, int rowGid) const;
    CString MemberRow(const CString& name, int id, const char* listText) const;
    // Heads that came after the trees were built take the place of the
    // default pictures of their entries.
    void ShowArrivedHeads(const CPageHeads::Entries& arrived);

    CPageHeads m_heads;

    DECLARE_DISPATCH_MAP()
    DECLARE_DHTML_EVENT_MAP()
};

class CDlgShowQuillon : public CPluginFrame {
public:
    CDlgShowQuillon();
    CString Caption() const override { return "消息管理器"; }

    CHtmlQuillon m_html;
};

// Registers the manager's templates with the plug-in module.
void RegisterQuillonTemplates();
