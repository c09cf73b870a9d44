// The contact lists of the main window: friends (list id 1) and strangers
// (list id 2); a group chat's member list derives from it with the group id.
// The list owns a copy of every contact record it shows, paints each row
// with head image, online-state icon, name and signature, keeps the records
// and the local user store in step, opens chat windows and carries out the
// commands of the friend and stranger popup menus.
//
// Chat windows, the head loader and the feature plug-ins are reached through
// the hooks below; without a hook the step is skipped. Heads that the head
// loader hands over are drawn into the records they belong to, one repaint
// per batch; the friend and stranger lists also store them.
#pragma once

#include "Common/records/Data.h"
#include "Lum/contacts/KivRecords.h"
#include "Lum/contacts/ListCtrlEx.h"
#include "Lum/chat/StackNewMsg.h"

#include "platform/heads.h"

#include <functional>
#include <map>
#include <set>
#include <vector>

class CKivUsersListCtrl : public CListCtrlEx {
    DECLARE_DYNAMIC(CKivUsersListCtrl)

public:
    CKivUsersListCtrl();
    ~CKivUsersListCtrl() override;

    // Adds a contact, or refreshes the row and the stored copy of a known
    // one. `fromServer` 1 marks the copy as listed by the service and writes
    // it to the user store. Returns 0.
    int AddUser(CDataUser* rec, int fromServer);
    // AddUser(rec, 0) for every record. Returns 1.
    int AddUsers(const std::set<CDataUser*>& records);
    int AddUsers(const std::map<int, CDataUser*>& records);
    // Removes every contact whose refresh mark is 0 (not in the last reply).
    void RemoveStaleUsers();
    // Removes a contact's row, store row, unread entry and record: 1, or 0
    // for an unknown id.
    int RemoveUser(int id);
    // Removes a contact's row, unread entry and record, leaving its store row
    // (a member who left a group): 1, or 0 for an unknown id.
    int DropUser(int id);
    // Frees every record and deletes every row (log-out).
    void DeleteAllUsers();
    // The record of an id (null when none); its row index is brought up to date.
    CData* GetUser(int id);
    void UpdateUserInfo(int id, CString name, CString sign, CString text, int status);
    // Opens the record's chat window unless it has one. Returns 1.
    int OpenChat(CDataUser* rec);
    // Resizes and repaints every open chat window (after a skin change).
    void RefreshChatWindows();
    // The row showing an id (by item data), -1 when none.
    int FindRow(int id) const;

    void DrawItem(LPDRAWITEMSTRUCT dis) override;

    // Creates the chat window of a contact (not shown); null when none was made.
    static std::function<CWnd*(CKivUsersListCtrl* list, CDataUser* rec)> s_createChat;
    // Starts the chat window's send-file command.
    static std::function<void(CWnd* chat)> s_sendFile;
    // Starts the download of a contact's head image (the record is list-owned).
    static std::function<void(CDataUser* rec)> s_loadHead;
    // A command carried out by a feature plug-in: the command id, the contact
    // id, the row text and the list. Each module's hook wraps the one before
    // and knows itself by its type (std::function::target), so every hook
    // type needs a name of its own in the whole program: with clang, the
    // type information of a type in an unnamed namespace equals that of a
    // type of the same name in another file's.
    static std::function<void(CKivUsersListCtrl* list, UINT command, int id, const CString& text)> s_pluginCommand;

    Gdiplus::Bitmap* m_pDefaultHead = nullptr;
    Gdiplus::Bitmap* m_pStateIcons[5] = {};  // states 2, 1, 3, 4, 0
    std::map<int, CDataUser*> m_mapUsers;
    int m_nListId = 0;
    int m_bIsMaster = 0;
    HMODULE m_hPlugin = nullptr;

    // Set by the owner: the local user store, the unread-sender stack, the
    // contact book, whose black list "移至黑名单" adds to, and the router
    // of received lines, which opens chats with the lines that waited (any
    // may be null; without a router a chat opens without them).
    void* m_pUserStore = nullptr;
    CStackNewMsg* m_pStackNewMsg = nullptr;
    KivContactBook* m_pBook = nullptr;
    KivRouter* m_pRouter = nullptr;

protected:
    // A contact's row text: its remark, else its name, else its id.
    static CString RowText(const CDataUser* rec);

    void OnDblClk(NMHDR* nm, LRESULT* result);
    void OnRClick(NMHDR* nm, LRESULT* result);
    void OnDeleteFriend();
    void OnSendMessage();
    void OnSmsNotice();
    void OnSendFile();
    void OnHistory();
    void OnViewInfo();
    void OnMoveToBlack();
    void OnInviteToGroup();
    void OnAddAsFriend();
    void OnEditRemark();
    void OnAddFriend();
    void OnBlackList();
    void OnDeleteStranger();
    LRESULT OnRemarkChanged(WPARAM wParam, LPARAM lParam);
    // The id of the row at the selection mark (and its text), 0 when none.
    int SelectedId(CString* text = nullptr) const;

    DECLARE_MESSAGE_MAP()

    // Heads that arrived: the records of their ids take them.
    void OnHeadsArrived(const std::vector<const lumheads::Head*>& batch);

private:
    int m_nHeadListener = 0;
    // Removes one record: row, store row (unless `store` is false), unread
    // entry; frees it.
    void DropRecord(std::map<int, CDataUser*>::iterator it, bool store = true);
    void ShowChat(CDataUser* rec);
    void PluginCommand(UINT command);
    void FetchHead(CDataUser* copy);
};
