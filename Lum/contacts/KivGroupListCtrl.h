// The main window's list of the groups the user owns or belongs to. Like
// the contact lists it owns a copy of each group record, and each group
// record owns its members, so this list is also where the client looks up
// group members for incoming group messages and online states.
//
// Rows: the group's head (its own image, the discussion-group head for
// style 4, else the default group head), the owner badge for groups the user
// owns, the row text and the group's note.
//
// Head images come from the process's head loader (the s_loadHead hook;
// StartGroupHeadDownload by default); the heads it hands over are drawn into
// the groups and into the member records of their users, and stored. Groups
// from the service are written to the user store on a thread of their own
// (the s_storeGroup hook; StartGroupStoreWrite by default).
#pragma once

#include "Common/records/Data.h"
#include "Lum/contacts/KivRecords.h"
#include "Lum/contacts/ListCtrlEx.h"
#include "Lum/chat/StackNewMsg.h"

#include "platform/heads.h"

#include <functional>
#include <map>
#include <memory>
#include <vector>

class CKivGroupListCtrl : public CListCtrlEx {
    DECLARE_DYNAMIC(CKivGroupListCtrl)

public:
    CKivGroupListCtrl();
    ~CKivGroupListCtrl() override;

    // Adds a group, or refreshes the row and the stored copy of a known one.
    // `fromServer` 1 marks the copy as listed by the service and has it
    // written to the user store with its members; otherwise the members are
    // read from the user store. Returns 0 for ids of 0 or less, else 1.
    int AddGroup(CDataGroup* rec, int fromServer);
    // AddGroup(rec, 0) for every record (after login, from the local store).
    void AddGroups(const std::vector<CDataGroup*>& records);
    void AddGroups(const std::map<int, CDataGroup*>& records);
    // Removes every group the last service reply did not list.
    void RemoveStaleGroups();
    // Removes a group's row, store rows, unread entry and record: 1, or 0
    // for an unknown id.
    int RemoveGroup(int gid);
    // Frees every record and deletes every row (log-out). Returns once no
    // group-store write is running, so that the store may then be closed.
    void DeleteAllGroups();
    // The record of a group (null when none); its row index is brought up to date.
    CDataGroup* GetGroup(int gid);
    // The row text of a group, "" when absent.
    CString GetGroupName(int gid);
    // Updates a member of a group (an empty name becomes the id), creating it
    // unless `onlyExisting` is 1. 0 for gid of 0 or less, else 1.
    int UpdateGroupMember(int userId, int gid, CString name, CString sign, CString text, int status,
                          int onlyExisting);
    // Erases a member from a group: 0 for gid of 0 or less, else 1.
    int RemoveGroupMember(int userId, int gid);
    // Writes a listed group, without its members, to the user store (its
    // head image changed): the store's result, 0 for an unknown group.
    int SaveGroup(int gid);
    // The row showing a group (by item data), -1 when none.
    int FindRow(int gid) const;
    // "name(gid)", or the id alone when the name is empty or the id itself.
    static CString RowText(const CDataGroup* rec);
    // Opens the group's chat window unless it has one (550 x 490, centred,
    // not shown). Returns 1.
    int OpenGroupChat(CDataGroup* group);
    // Resizes and repaints every open chat window of the groups and of
    // their members (after a skin change).
    void RefreshChatWindows();
    // Blocks the group's SMS for the days of command 9031, 9032 or 9033
    // (1, 3, 7): the days are kept in the record and sent to the service.
    // Refused with a box for accounts outside the campus network.
    static void BlockGroupSms(CDataGroup* group, UINT command);

    void DrawItem(LPDRAWITEMSTRUCT dis) override;
    // Heads that arrived: groups and the members of every group take them.
    void OnHeadsArrived(const std::vector<const lumheads::Head*>& batch);

    // Starts the download of a group's head image (the record is list-owned).
    static std::function<void(CDataGroup* rec)> s_loadHead;
    // Starts writing a group and its members to the user store.
    static std::function<void(CDataGroup* rec, void* userStore)> s_storeGroup;
    // A command carried out by the main window's tools or a feature plug-in:
    // the list, the command, the group id, the row text and the command's
    // argument (9035 SMS notice: 0; 9042 history: 4 for a discussion group,
    // else 3; 9039 edit information: the owner flag; 9040 add members: the
    // import kind, 8 for a class group, else 9; 9038, 9041: 0). For 9038,
    // 9039 and 9041 false means the plug-in could not be loaded and the
    // list shows the failure text.
    static std::function<bool(CKivGroupListCtrl* list, UINT command, int gid, const CString& text, int arg)>
        s_pluginCommand;

    Gdiplus::Bitmap* m_pDefaultHead = nullptr;     // PNG 153
    Gdiplus::Bitmap* m_pDiscussionHead = nullptr;  // PNG 191
    Gdiplus::Bitmap* m_pOwnerBadge = nullptr;      // PNG 211
    std::map<int, CDataGroup*> m_mapGroups;
    HMODULE m_hPlugin = nullptr;
    // The last member-import window the list opened (9040); goes with the list.
    std::unique_ptr<CWnd> m_pImportWindow;

    // Set by the owner: the local user store and the unread-sender stack
    // (either may be null).
    void* m_pUserStore = nullptr;
    CStackNewMsg* m_pStackNewMsg = nullptr;
    // The contact book and the router of received lines, handed to the
    // member lists of the group chats (their "移至黑名单" adds to the black
    // list); the router opens chats with the lines that waited. Either may
    // be null.
    KivContactBook* m_pBook = nullptr;
    KivRouter* m_pRouter = nullptr;

protected:
    void OnDblClk(NMHDR* nm, LRESULT* result);
    void OnRClick(NMHDR* nm, LRESULT* result);
    void OnDissolveGroup();
    void OnQuitGroup();
    void OnSendGroupMessage();
    void OnSmsNotice();
    void OnHistory();
    void OnEditCard();
    void OnViewInfo();
    void OnEditInfo();
    void OnAddMembers();
    void OnBlockSms(UINT command);
    void OnMainWindowCommand(UINT command);
    LRESULT OnGroupListAdd(WPARAM wParam, LPARAM lParam);
    LRESULT OnGroupCardChanged(WPARAM wParam, LPARAM lParam);
    LRESULT OnGroupInfoChanged(WPARAM wParam, LPARAM lParam);
    LRESULT OnGroupHeadChanged(WPARAM wParam, LPARAM lParam);

    DECLARE_MESSAGE_MAP()

private:
    int m_nHeadListener = 0;
    // The group id of the row at the selection mark (0 when none) and its text.
    int SelectedGid(CString* text = nullptr) const;
    void ShowGroupChat(CDataGroup* group);
    // Dissolve (type 4) or quit (type 5) after the box `ask` was confirmed.
    void LeaveGroup(const char* ask, int type);
    bool PluginCommand(UINT command, int arg);
    // Removes one group: row, store rows, unread entries; frees it.
    void DropRecord(std::map<int, CDataGroup*>::iterator it);
    // Frees a record and whatever points at it (stack entries of the group
    // and its members).
    void FreeRecord(CDataGroup* rec);
    void FreeMember(CDataUser* member);
    void DropFromStack(CData* rec);
    void FetchHead(CDataGroup* copy);
    // Puts the group's members from the user store into its member map.
    void LoadStoredMembers(CDataGroup* group);
    // Keeps the member records of `old` that are still in the group in
    // place of their new copies; frees the others.
    void KeepMemberRecords(CDataGroup* group, std::map<int, CDataUser*>& old);
};

// ---------------------------------------------------------------- SMS blocking

// ThreadSetBotherDay: the days the group's SMS are blocked for.
struct BotherDayBlock {
    int gid = 0;
    int day = 0;
};
// BotherDayBlock* (owned): SetBotherDay(gid, day) on a connection of its
// own; the result is not looked at and a failure is silent.
UINT ThreadSetBotherDay(LPVOID param);

// ---------------------------------------------------------------- background work

// The head of a list-owned group record: drawn into it at once when the head
// loader has it this session, else asked of the head loader (nothing when
// the id is below 1); called on the UI thread.
void StartGroupHeadDownload(CDataGroup* rec);
// Writes a copy of the group (taken on the calling thread) with its members
// to the user store on a thread of its own.
void StartGroupStoreWrite(CDataGroup* rec, void* userStore);
