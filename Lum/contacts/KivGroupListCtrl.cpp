#include "Lum/contacts/KivGroupListCtrl.h"

#include "Common/stores/FileDbUser.h"
#include "Common/controls/GdiPlusBitmap.h"
#include "Lum/KivApp.h"
#include "Lum/chat/KivDlgChat.h"
#include "Lum/KivMessages.h"
#include "Lum/modules/PluginModule.h"
#include "Lum/session/ServiceConnection.h"
#include "Lum/session/Workers.h"
#include "base/MenuCommands.h"
#include "base/WndMenu.h"
#include "platform/codepage.h"
#include "platform/config.h"
#include "platform/heads.h"
#include "platform/threads.h"

#include <condition_variable>
#include <memory>
#include <mutex>
#include <set>
#include <string>

namespace {

// Images of the client's resources.
const UINT kPngDefaultGroupHead = 153;
const UINT kPngDiscussionHead = 191;
const UINT kPngOwnerBadge = 211;

const int kStyleDiscussion = 4;
const int kAlertCapacity = 500;

// FromGroup leaves out the head's time stamp and the unread count; the
// list's copies and the store writes need both.
void CopyGroup(CDataGroup* dst, CDataGroup* src)
{
    dst->FromGroup(src);
    dst->m_strGroupRTime = src->m_strGroupRTime;
    dst->m_nUnreadCount = src->m_nUnreadCount;
}

// ---------------------------------------------------------------- group store writes

// Every access of the group list and its store thread to the user store is
// made under this lock, so that a group's row and its member rows are
// always written as a whole: a write (group row, delete members, insert
// members) is never interleaved with another write of the same group, with
// the removal of the group or with the reading of its members.
std::mutex g_storeLock;

// Bookkeeping of the store threads (taken after g_storeLock when both are
// needed): the writes not yet finished, per group id a count of its
// removals, so that a write queued before the group was removed does not
// put it back into the store, and the writes queued but not yet made.
std::mutex g_pendingLock;
std::condition_variable g_pendingDone;
int g_pendingWrites = 0;
std::map<int, unsigned> g_removals;

struct GroupStoreJob {
    std::unique_ptr<CDataGroup> group;  // the thread's own copy
    CFileDbUser* store = nullptr;
    unsigned removals = 0;              // g_removals of the group when the write was queued
};

// Writes queued and not yet made, by group id. A head that arrives meanwhile
// is written into the store at once; it is also drawn into these copies
// (under g_storeLock, which the writing thread holds while it writes), so
// that a write queued earlier does not put the old head back.
std::multimap<int, GroupStoreJob*> g_queuedWrites;

void ForgetQueuedWrite(GroupStoreJob* job)
{
    auto range = g_queuedWrites.equal_range(job->group->m_nId);
    for (auto it = range.first; it != range.second; ++it) {
        if (it->second == job) {
            g_queuedWrites.erase(it);
            return;
        }
    }
}

// Draws a head that has just arrived into the queued copies of its group
// (a group head) or of every group's member record of that user. Called
// under g_storeLock.
void DrawIntoQueuedWrites(const lumheads::Head* head)
{
    std::lock_guard<std::mutex> lock(g_pendingLock);
    for (auto& entry : g_queuedWrites) {
        CDataGroup* copy = entry.second->group.get();
        if (head->group) {
            if (entry.first == head->id) DrawLoadedHead(copy, head->image);
            continue;
        }
        auto member = copy->m_mapMembers.find(head->id);
        if (member != copy->m_mapMembers.end() && member->second) DrawLoadedHead(member->second, head->image);
    }
}

void FinishStoreWrite()
{
    std::lock_guard<std::mutex> lock(g_pendingLock);
    --g_pendingWrites;
    g_pendingDone.notify_all();
}

// The group was removed: writes queued before now are dropped. Called under
// g_storeLock.
void NoteGroupRemoved(int gid)
{
    std::lock_guard<std::mutex> lock(g_pendingLock);
    ++g_removals[gid];
}

// Waits until no store thread is writing, so that the store may be closed
// or destroyed.
void WaitForStoreWrites()
{
    std::unique_lock<std::mutex> lock(g_pendingLock);
    g_pendingDone.wait(lock, [] { return g_pendingWrites == 0; });
}

UINT ThreadStoreGroup(LPVOID param)
{
    std::unique_ptr<GroupStoreJob> job(static_cast<GroupStoreJob*>(param));
    int done = 0;
    if (job && job->group && job->group->m_nId > 0 && job->store) {
        std::lock_guard<std::mutex> storeLock(g_storeLock);
        bool removed;
        {
            std::lock_guard<std::mutex> lock(g_pendingLock);
            ForgetQueuedWrite(job.get());
            removed = g_removals[job->group->m_nId] != job->removals;
        }
        if (!removed) job->group->Update(job->store, 1);
        done = 1;
    }
    job.reset();
    FinishStoreWrite();
    return done;
}

}  // namespace

std::function<void(CDataGroup*)> CKivGroupListCtrl::s_loadHead = StartGroupHeadDownload;
std::function<void(CDataGroup*, void*)> CKivGroupListCtrl::s_storeGroup = StartGroupStoreWrite;
std::function<bool(CKivGroupListCtrl*, UINT, int, const CString&, int)> CKivGroupListCtrl::s_pluginCommand;

IMPLEMENT_DYNAMIC(CKivGroupListCtrl, CListCtrlEx)

BEGIN_MESSAGE_MAP(CKivGroupListCtrl, CListCtrlEx)
    ON_NOTIFY_REFLECT(NM_DBLCLK, OnDblClk)
    ON_NOTIFY_REFLECT(NM_RCLICK, OnRClick)
    ON_COMMAND(IDM_DISSOLVE_GROUP, OnDissolveGroup)
    ON_COMMAND(IDM_QUIT_GROUP, OnQuitGroup)
    ON_COMMAND(IDM_SEND_GROUP_MESSAGE, OnSendGroupMessage)
    ON_COMMAND(IDM_SMS_NOTICE, OnSmsNotice)
    ON_COMMAND(IDM_VIEW_GROUP_HISTORY, OnHistory)
    ON_COMMAND(IDM_EDIT_GROUP_CARD, OnEditCard)
    ON_COMMAND_RANGE(IDM_BLOCK_1_DAY, IDM_BLOCK_7_DAYS, OnBlockSms)
    ON_COMMAND(IDM_VIEW_GROUP_INFO, OnViewInfo)
    ON_COMMAND(IDM_EDIT_GROUP_INFO, OnEditInfo)
    ON_COMMAND(IDM_ADD_GROUP_MEMBERS, OnAddMembers)
    ON_COMMAND_RANGE(IDM_FIND_GROUP, IDM_CREATE_DISCUSSION, OnMainWindowCommand)
    ON_COMMAND_RANGE(IDM_CREATE_GROUP, IDM_CREATE_GROUP, OnMainWindowCommand)
    ON_MESSAGE(UM_GROUP_LIST_ADD, OnGroupListAdd)
    ON_MESSAGE(UM_GROUP_CARD_CHANGED, OnGroupCardChanged)
    ON_MESSAGE(UM_GROUP_INFO_CHANGED, OnGroupInfoChanged)
    ON_MESSAGE(UM_GROUP_HEAD_CHANGED, OnGroupHeadChanged)
END_MESSAGE_MAP()

CKivGroupListCtrl::CKivGroupListCtrl()
{
    m_pDefaultHead = LoadPng(kPngDefaultGroupHead);
    m_pDiscussionHead = LoadPng(kPngDiscussionHead);
    m_pOwnerBadge = LoadPng(kPngOwnerBadge);
    m_nHeadListener =
        lumheads::AddHeadListener([this](const std::vector<const lumheads::Head*>& batch) { OnHeadsArrived(batch); });
}

CKivGroupListCtrl::~CKivGroupListCtrl()
{
    lumheads::RemoveHeadListener(m_nHeadListener);
    for (auto& entry : m_mapGroups) FreeRecord(entry.second);
    m_mapGroups.clear();
    // The store outlives the list; no write may still run when it goes.
    WaitForStoreWrites();
    delete m_pDefaultHead;
    delete m_pDiscussionHead;
    delete m_pOwnerBadge;
    m_pDefaultHead = m_pDiscussionHead = m_pOwnerBadge = nullptr;
    // The module the list loaded last goes with the list (no export is called).
    HMODULE module = m_hPlugin;
    m_hPlugin = nullptr;
    ReleasePluginModule(module, false);
}

CString CKivGroupListCtrl::RowText(const CDataGroup* rec)
{
    if (!rec) return CString();
    const CString id = IdText(rec->m_nId);
    CString name(static_cast<const char*>(rec->m_bstrName));
    // Names read from the store carry a trailing blank.
    name.Trim();
    if (name.IsEmpty() || name == id) return id;
    return name + "(" + id + ")";
}

int CKivGroupListCtrl::FindRow(int gid) const
{
    auto it = m_mapGroups.find(gid);
    return FindRecordRow(gid, it != m_mapGroups.end() ? it->second : nullptr);
}

void CKivGroupListCtrl::FetchHead(CDataGroup* copy)
{
    if (s_loadHead) s_loadHead(copy);
}

void CKivGroupListCtrl::DropFromStack(CData* rec)
{
    // The stack must not keep a record that is freed, with or without
    // unread messages.
    if (m_pStackNewMsg && m_pStackNewMsg->Contains(rec)) m_pStackNewMsg->Remove(rec);
}

void CKivGroupListCtrl::FreeMember(CDataUser* member)
{
    if (!member) return;
    DropFromStack(member);
    delete member;
}

void CKivGroupListCtrl::FreeRecord(CDataGroup* rec)
{
    DropFromStack(rec);
    for (auto& entry : rec->m_mapMembers) DropFromStack(entry.second);
    rec->ClearUnreadNews();
    delete rec;
}

void CKivGroupListCtrl::OnHeadsArrived(const std::vector<const lumheads::Head*>& batch)
{
    // Group heads go to their groups, user heads to every group's member
    // record of that user; both are kept in the store, in one transaction.
    auto* store = static_cast<CFileDbUser*>(m_pUserStore);
    std::unique_lock<std::mutex> lock(g_storeLock, std::defer_lock);
    bool rows = false, any = false;
    auto took = [&] {
        if (!any && store) {
            lock.lock();
            store->BeginBatch();
        }
        any = true;
    };
    for (const lumheads::Head* head : batch) {
        if (!head->image) continue;
        if (head->group) {
            auto it = m_mapGroups.find(head->id);
            if (it == m_mapGroups.end()) continue;
            took();
            DrawLoadedHead(it->second, head->image);
            if (store) {
                it->second->Update(store, 0);
                DrawIntoQueuedWrites(head);
            }
            rows = true;
            continue;
        }
        bool memberOfAny = false;
        for (auto& entry : m_mapGroups) {
            auto member = entry.second->m_mapMembers.find(head->id);
            if (member == entry.second->m_mapMembers.end() || !member->second) continue;
            took();
            memberOfAny = true;
            DrawLoadedHead(member->second, head->image);
            if (store) store->InsertUser(member->second);
        }
        if (memberOfAny && store) DrawIntoQueuedWrites(head);
    }
    if (any && store) store->EndBatch();
    if (rows && m_hWnd) Invalidate();
}

int CKivGroupListCtrl::SaveGroup(int gid)
{
    auto it = m_mapGroups.find(gid);
    if (gid <= 0 || it == m_mapGroups.end() || !m_pUserStore) return 0;
    std::lock_guard<std::mutex> lock(g_storeLock);
    return it->second->Update(m_pUserStore, 0);
}

void CKivGroupListCtrl::LoadStoredMembers(CDataGroup* group)
{
    if (!m_pUserStore) return;
    std::set<CDataUser*> members;
    {
        std::lock_guard<std::mutex> lock(g_storeLock);
        static_cast<CFileDbUser*>(m_pUserStore)->GetGroupUserList(group->m_nId, &members);
    }
    for (CDataUser* member : members) {
        member->m_nGroupId = group->m_nId;
        CDataUser*& slot = group->m_mapMembers[member->m_nId];
        delete slot;
        slot = member;
    }
}

void CKivGroupListCtrl::KeepMemberRecords(CDataGroup* group, std::map<int, CDataUser*>& old)
{
    // Member records that stay in the group stay the same objects, so that
    // their chat windows and stack entries keep pointing at live records;
    // they take the new values, but keep their unread messages and head
    // image when the new record has none.
    for (auto& entry : group->m_mapMembers) {
        auto it = old.find(entry.first);
        if (it == old.end() || !it->second) continue;
        CDataUser* keep = it->second;
        CDataUser* fresh = entry.second;
        old.erase(it);
        if (fresh) {
            std::vector<__StructMessage> unread = keep->m_vecUnread;
            const int unreadCount = keep->m_nUnreadCount;
            keep->FromUser(fresh);
            if (!HasUnread(fresh)) {
                keep->m_vecUnread = unread;
                keep->m_nUnreadCount = unreadCount;
            }
            delete fresh;
        }
        keep->m_nGroupId = group->m_nId;
        entry.second = keep;
    }
    for (auto& entry : old) FreeMember(entry.second);
    old.clear();
}

int CKivGroupListCtrl::AddGroup(CDataGroup* rec, int fromServer)
{
    if (!rec || rec->m_nId <= 0) return 0;
    const int gid = rec->m_nId;
    CDataGroup* stored = nullptr;
    std::map<int, CDataUser*> oldMembers;
    auto it = m_mapGroups.find(gid);
    if (it == m_mapGroups.end()) {
        const int row = InsertItem(GetItemCount(), RowText(rec));
        SetItemData(row, static_cast<DWORD_PTR>(gid));
        stored = new CDataGroup;
        CopyGroup(stored, rec);
        stored->m_nAux = row;
        if (HasUnread(stored) && m_pStackNewMsg) {
            // The stack holds the list's copy from now on.
            m_pStackNewMsg->Remove(rec);
            m_pStackNewMsg->Push(stored);
        }
        m_mapGroups[gid] = stored;
        if (fromServer == 1 || !stored->m_imgHead) FetchHead(stored);
    } else {
        stored = it->second;
        const int row = FindRow(gid);
        const CString text = RowText(rec);
        if (row >= 0 && GetItemText(row, 0) != text) SetItemText(row, 0, text);
        const bool refetch = rec->m_strGroupRTime != stored->m_strGroupRTime || !rec->m_imgHead;
        // The stored copy keeps its unread messages when the new record has
        // none (a stacked record must not lose what it is stacked for), its
        // head image until a new one comes (FromGroup keeps it), its chat
        // window and the member records that stay.
        oldMembers.swap(stored->m_mapMembers);
        if (rec != stored) {
            std::vector<__StructMessage> unread = stored->m_vecUnread;
            const int unreadCount = stored->m_nUnreadCount;
            CopyGroup(stored, rec);
            if (!HasUnread(rec)) {
                stored->m_vecUnread = unread;
                stored->m_nUnreadCount = unreadCount;
            }
        } else {
            // The list's own record again: its members are the new values.
            for (const auto& entry : oldMembers) {
                auto* copy = new CDataUser;
                if (entry.second) copy->FromUser(entry.second);
                copy->m_nGroupId = gid;
                stored->m_mapMembers[entry.first] = copy;
            }
        }
        stored->m_nAux = row;
        if (refetch) FetchHead(stored);
    }
    stored->m_nClientFlag = fromServer;
    if (fromServer != 1) LoadStoredMembers(stored);
    KeepMemberRecords(stored, oldMembers);
    if (fromServer == 1 && s_storeGroup) s_storeGroup(stored, m_pUserStore);
    return 1;
}

void CKivGroupListCtrl::AddGroups(const std::vector<CDataGroup*>& records)
{
    for (CDataGroup* rec : records) AddGroup(rec, 0);
}

void CKivGroupListCtrl::AddGroups(const std::map<int, CDataGroup*>& records)
{
    for (const auto& entry : records) AddGroup(entry.second, 0);
}

void CKivGroupListCtrl::DropRecord(std::map<int, CDataGroup*>::iterator it)
{
    CDataGroup* rec = it->second;
    DeleteRecordRow(FindRow(it->first));
    {
        std::lock_guard<std::mutex> lock(g_storeLock);
        NoteGroupRemoved(it->first);
        rec->Delete(m_pUserStore);
    }
    FreeRecord(rec);
    m_mapGroups.erase(it);
}

void CKivGroupListCtrl::RemoveStaleGroups()
{
    RemoveStaleRecords(
        m_mapGroups, [](const CDataGroup* rec) { return rec->m_nClientFlag == 0; },
        [this](std::map<int, CDataGroup*>::iterator it) { DropRecord(it); });
}

int CKivGroupListCtrl::RemoveGroup(int gid)
{
    return RemoveRecord(m_mapGroups, gid, [this](std::map<int, CDataGroup*>::iterator it) { DropRecord(it); });
}

void CKivGroupListCtrl::DeleteAllGroups()
{
    for (auto& entry : m_mapGroups) FreeRecord(entry.second);
    m_mapGroups.clear();
    DeleteAllItems();
    ForgetAllRows();
    // After log-out the owner may close the store: the writes still running
    // finish first.
    WaitForStoreWrites();
}

CDataGroup* CKivGroupListCtrl::GetGroup(int gid)
{
    auto it = m_mapGroups.find(gid);
    if (it == m_mapGroups.end()) return nullptr;
    it->second->m_nAux = FindRow(gid);
    return it->second;
}

CString CKivGroupListCtrl::GetGroupName(int gid)
{
    const int row = FindRow(gid);
    return row >= 0 ? GetItemText(row, 0) : CString();
}

int CKivGroupListCtrl::UpdateGroupMember(int userId, int gid, CString name, CString sign, CString text, int status,
                                         int onlyExisting)
{
    if (gid <= 0) return 0;
    auto it = m_mapGroups.find(gid);
    if (it == m_mapGroups.end()) return 1;
    if (name.IsEmpty()) name = IdText(userId);
    auto& members = it->second->m_mapMembers;
    auto found = members.find(userId);
    CDataUser* member = found != members.end() ? found->second : nullptr;
    if (!member) {
        // No real user has an id below 1.
        if (onlyExisting == 1 || userId <= 0) return 1;
        member = new CDataUser;
        member->m_nGroupId = gid;
        members[userId] = member;
    }
    member->m_nId = userId;
    member->m_bstrName = name.GetString();
    member->m_bstrSign = sign.GetString();
    member->m_strCity = text;
    member->m_nStatus = status;
    return 1;
}

int CKivGroupListCtrl::RemoveGroupMember(int userId, int gid)
{
    if (gid <= 0) return 0;
    auto it = m_mapGroups.find(gid);
    if (it == m_mapGroups.end()) return 1;
    auto& members = it->second->m_mapMembers;
    auto found = members.find(userId);
    if (found != members.end()) {
        // The group owns its members: the record is freed, not only unlisted.
        FreeMember(found->second);
        members.erase(found);
    }
    return 1;
}

// ---------------------------------------------------------------- painting

void CKivGroupListCtrl::DrawItem(LPDRAWITEMSTRUCT dis)
{
    if (!dis || !m_pRowGraphics || !m_pBackGraphics) return;
    auto it = m_mapGroups.find(static_cast<int>(dis->itemData));
    if (it == m_mapGroups.end()) return;
    const CDataGroup* rec = it->second;
    Gdiplus::Graphics* g = m_pRowGraphics;

    Gdiplus::SolidBrush back(RowColor(static_cast<int>(dis->itemID)));
    g->FillRectangle(&back, 0, 0, Width(), m_nRowHeight);

    Gdiplus::Bitmap* head = rec->m_imgHead;
    if (!head) head = rec->m_nStyle == kStyleDiscussion ? m_pDiscussionHead : m_pDefaultHead;
    if (head) g->DrawImage(head, 12, 3);
    if (rec->m_nIsMaster == 1 && m_pOwnerBadge) g->DrawImage(m_pOwnerBadge, 60, 6);

    if (m_pFont) {
        const int row = static_cast<int>(dis->itemID);
        const CString text = row >= 0 && row < GetItemCount() ? GetItemText(row, 0) : RowText(rec);
        const std::wstring wide = MultiByteToWide(CP_ACP, text.GetString());
        const Gdiplus::RectF layout(80, 12, static_cast<Gdiplus::REAL>(Width()), static_cast<Gdiplus::REAL>(m_nRowHeight));
        Gdiplus::SolidBrush* brush = rec->m_nCapacity == kAlertCapacity ? m_pAlertBrush : m_pNameBrush;
        if (brush) g->DrawString(wide.c_str(), static_cast<Gdiplus::INT>(wide.size()), m_pFont, layout, nullptr, brush);
        const std::wstring note = MultiByteToWide(CP_ACP, static_cast<const char*>(rec->m_bstrSign));
        if (m_pSignBrush)
            g->DrawString(note.c_str(), static_cast<Gdiplus::INT>(note.size()), m_pFont, Gdiplus::PointF(60, 32),
                          m_pSignBrush);
    }
    m_pBackGraphics->DrawImage(m_pRowBitmap, 0, static_cast<Gdiplus::INT>(dis->rcItem.top));
}

// ---------------------------------------------------------------- background work

void StartGroupHeadDownload(CDataGroup* rec)
{
    if (!rec || rec->m_nId < 1) return;
    if (const lumheads::Head* head = lumheads::FindHead(true, rec->m_nId)) {
        // Known this session: no second fetch.
        if (head->image) DrawLoadedHead(rec, head->image);
        return;
    }
    lumheads::RequestHead(true, rec->m_nId);
}

void StartGroupStoreWrite(CDataGroup* rec, void* userStore)
{
    if (!rec || !userStore) return;
    auto* job = new GroupStoreJob;
    job->group = std::make_unique<CDataGroup>();
    CopyGroup(job->group.get(), rec);
    job->store = static_cast<CFileDbUser*>(userStore);
    {
        std::lock_guard<std::mutex> lock(g_pendingLock);
        job->removals = g_removals[rec->m_nId];
        ++g_pendingWrites;
        g_queuedWrites.emplace(rec->m_nId, job);
    }
    if (!AfxBeginThread(ThreadStoreGroup, job)) {
        {
            std::lock_guard<std::mutex> lock(g_pendingLock);
            ForgetQueuedWrite(job);
        }
        delete job;
        FinishStoreWrite();
    }
}

// ---------------------------------------------------------------- chat windows

int CKivGroupListCtrl::OpenGroupChat(CDataGroup* group)
{
    if (!group || group->m_dlgChat) return 1;
    RegisterChatWindowTemplates();
    // The window lives as long as the group's record, and the object as the
    // window.
    auto* chat = new CKivDlgChatGroup(group);
    chat->m_dlgMsgList.m_pGroup = group;
    chat->m_dlgMsgList.m_listMembers.m_nListId = group->m_nId;
    chat->m_dlgMsgList.m_listMembers.m_bIsMaster = group->m_nIsMaster;
    chat->m_dlgMsgList.m_listMembers.m_pUserStore = m_pUserStore;
    chat->m_dlgMsgList.m_listMembers.m_pBook = m_pBook;
    chat->m_dlgMsgList.m_listMembers.m_pRouter = m_pRouter;
    group->m_dlgChat = chat;
    if (!chat->Create(IDD_DLG_CHAT_GROUP, nullptr)) {
        group->m_dlgChat = nullptr;
        delete chat;
        return 1;
    }
    chat->m_bDeleteWithWindow = true;
    chat->SetWindowPos(nullptr, 0, 0, 550, 490, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    chat->CenterWindow();
    return 1;
}

void CKivGroupListCtrl::ShowGroupChat(CDataGroup* group)
{
    // A group with queued lines opens the way the tray opens it, so that the
    // lines are shown and stored, and then waits no more (also when the
    // message centre took it off the unread stack already).
    if (m_pRouter) {
        m_pRouter->OpenChat(group);
        return;
    }
    OpenGroupChat(group);
    BringForward(group->m_dlgChat);
}

void CKivGroupListCtrl::RefreshChatWindows()
{
    for (auto& entry : m_mapGroups) {
        LayOutAgain(entry.second->m_dlgChat);
        for (auto& member : entry.second->m_mapMembers)
            if (member.second) LayOutAgain(member.second->m_dlgChat);
    }
}

// ---------------------------------------------------------------- mouse

void CKivGroupListCtrl::OnDblClk(NMHDR* nm, LRESULT* result)
{
    if (result) *result = 0;
    const auto* item = reinterpret_cast<NMITEMACTIVATE*>(nm);
    if (!item || item->iItem < 0 || item->iItem >= GetItemCount()) return;
    auto it = m_mapGroups.find(static_cast<int>(GetItemData(item->iItem)));
    if (it != m_mapGroups.end()) ShowGroupChat(it->second);
}

void CKivGroupListCtrl::OnRClick(NMHDR* nm, LRESULT* result)
{
    if (result) *result = 0;
    const auto* item = reinterpret_cast<NMITEMACTIVATE*>(nm);
    CWndMenu menu;
    if (!item || item->iItem < 0 || item->iItem >= GetItemCount()) {
        menu.ShowGroupBlankMenu(this, AfxGetInstanceHandle());
        return;
    }
    auto it = m_mapGroups.find(static_cast<int>(GetItemData(item->iItem)));
    if (it == m_mapGroups.end()) return;
    const CDataGroup* group = it->second;
    const bool owned = group->m_nIsMaster == 1;
    if (group->m_nStyle == kStyleDiscussion) {
        if (owned) menu.ShowGroupMeetingMasterMenu(this, AfxGetInstanceHandle());
        else menu.ShowGroupMeetingNoMasterMenu(this, AfxGetInstanceHandle());
    } else {
        // The SMS-blocking days are kept in the group's type field.
        if (owned) menu.ShowGroupMasterMenu(this, AfxGetInstanceHandle(), group->m_nGroupType);
        else menu.ShowGroupNoMasterMenu(this, AfxGetInstanceHandle(), group->m_nGroupType);
    }
}

// ---------------------------------------------------------------- commands

int CKivGroupListCtrl::SelectedGid(CString* text) const
{
    const int row = GetSelectionMark();
    if (row < 0 || row >= GetItemCount()) return 0;
    if (text) *text = GetItemText(row, 0);
    return static_cast<int>(GetItemData(row));
}

void CKivGroupListCtrl::LeaveGroup(const char* format, int type)
{
    CString text;
    const int gid = SelectedGid(&text);
    if (gid <= 0) return;
    CString ask;
    ask.Format(format, text.GetString());
    if (AfxMessageBox(ask, MB_OKCANCEL) != IDOK) return;
    auto* block = new DeleteGroupBlock;
    block->gid = gid;
    block->type = type;
    if (!AfxBeginThread(ThreadDeleteGroup, block)) delete block;
    // The group leaves the list at once; the service's answer is not awaited.
    // Its chat window keeps nothing pointing at the freed record.
    auto it = m_mapGroups.find(gid);
    if (it != m_mapGroups.end() && it->second->m_dlgChat) {
        CWnd* chat = it->second->m_dlgChat;
        if (chat->m_hWnd) chat->SendMessage(WM_CLOSE, 0, 0);
        if (chat->IsKindOf(RUNTIME_CLASS(CKivDlgChatGroup))) {
            auto* groupChat = static_cast<CKivDlgChatGroup*>(chat);
            groupChat->m_pGroup = nullptr;
            groupChat->m_dlgMsgList.m_pGroup = nullptr;
        }
    }
    RemoveGroup(gid);
}

void CKivGroupListCtrl::OnDissolveGroup()
{
    LeaveGroup("您确认要解散群 %s吗?", 4);
}

void CKivGroupListCtrl::OnQuitGroup()
{
    LeaveGroup("您确认要退出群 %s吗?", 5);
}

void CKivGroupListCtrl::OnSendGroupMessage()
{
    const int gid = SelectedGid();
    if (gid <= 0) return;
    auto it = m_mapGroups.find(gid);
    if (it != m_mapGroups.end()) ShowGroupChat(it->second);
}

bool CKivGroupListCtrl::PluginCommand(UINT command, int arg)
{
    CString text;
    const int gid = SelectedGid(&text);
    if (gid <= 0) return true;
    return s_pluginCommand && s_pluginCommand(this, command, gid, text, arg);
}

namespace {

bool OutsideCampus()
{
    CKivApp* app = GetKivApp();
    const CString account = app ? app->m_userSelf.m_strPhone : CString();
    if (account.Find('@') <= 0) return false;
    AfxMessageBox("此功能目前只对本网用户开放", MB_OK);
    return true;
}

const char* const kVistelFailure = "加载Vistel.dll失败,未能实现查看个人资料功能";
const char* const kClanorFailure = "加载Clanor.dll失败,未能实现修改群资料功能";

}  // namespace

void CKivGroupListCtrl::OnSmsNotice()
{
    if (SelectedGid() <= 0 || OutsideCampus()) return;
    PluginCommand(IDM_SMS_NOTICE, 0);
}

void CKivGroupListCtrl::OnHistory()
{
    const int gid = SelectedGid();
    auto it = m_mapGroups.find(gid);
    if (gid <= 0 || it == m_mapGroups.end()) return;
    PluginCommand(IDM_VIEW_GROUP_HISTORY, it->second->m_nStyle == kStyleDiscussion ? 4 : 3);
}

void CKivGroupListCtrl::OnEditCard()
{
    if (SelectedGid() <= 0) return;
    if (!PluginCommand(IDM_EDIT_GROUP_CARD, 0)) AfxMessageBox(kVistelFailure, MB_OK);
}

void CKivGroupListCtrl::OnViewInfo()
{
    if (SelectedGid() <= 0) return;
    if (!PluginCommand(IDM_VIEW_GROUP_INFO, 0)) AfxMessageBox(kVistelFailure, MB_OK);
}

void CKivGroupListCtrl::OnEditInfo()
{
    const int gid = SelectedGid();
    auto it = m_mapGroups.find(gid);
    if (gid <= 0 || it == m_mapGroups.end()) return;
    if (!PluginCommand(IDM_EDIT_GROUP_INFO, it->second->m_nIsMaster)) AfxMessageBox(kClanorFailure, MB_OK);
}

void CKivGroupListCtrl::OnAddMembers()
{
    const int gid = SelectedGid();
    auto it = m_mapGroups.find(gid);
    if (gid <= 0 || it == m_mapGroups.end()) return;
    PluginCommand(IDM_ADD_GROUP_MEMBERS, it->second->m_nStyle == 8 ? 8 : 9);
}

void CKivGroupListCtrl::BlockGroupSms(CDataGroup* group, UINT command)
{
    if (OutsideCampus() || !group || group->m_nId <= 0) return;
    int days = 0;
    switch (command) {
    case IDM_BLOCK_1_DAY: days = 1; break;
    case IDM_BLOCK_3_DAYS: days = 3; break;
    case IDM_BLOCK_7_DAYS: days = 7; break;
    default: return;
    }
    group->m_nGroupType = days;
    auto* block = new BotherDayBlock;
    block->gid = group->m_nId;
    block->day = days;
    if (!AfxBeginThread(ThreadSetBotherDay, block)) delete block;
}

void CKivGroupListCtrl::OnBlockSms(UINT command)
{
    const int gid = SelectedGid();
    if (gid <= 0) return;
    auto it = m_mapGroups.find(gid);
    if (it == m_mapGroups.end()) {
        // Unknown group: only the account check applies.
        OutsideCampus();
        return;
    }
    BlockGroupSms(it->second, command);
}

void CKivGroupListCtrl::OnMainWindowCommand(UINT command)
{
    // Create a group, find a group, create a discussion group: the main
    // window's own commands.
    CWinApp* app = AfxGetApp();
    CWnd* main = app ? app->m_pMainWnd : nullptr;
    if (main && main->m_hWnd && main != this) main->SendMessage(WM_COMMAND, command, 0);
}

// ---------------------------------------------------------------- notices

LRESULT CKivGroupListCtrl::OnGroupListAdd(WPARAM wParam, LPARAM)
{
    AddGroup(reinterpret_cast<CDataGroup*>(wParam), 1);
    SendMessage(WM_SIZE, 0, 0);
    return 0;
}

LRESULT CKivGroupListCtrl::OnGroupCardChanged(WPARAM wParam, LPARAM)
{
    const auto* card = reinterpret_cast<const CDataUser*>(wParam);
    if (!card || card->m_strRemark.IsEmpty()) return 0;
    auto it = m_mapGroups.find(card->m_nGroupId);
    if (it == m_mapGroups.end()) return 0;
    CDataGroup* group = it->second;
    CKivApp* app = GetKivApp();
    const int ownId = app ? app->GetOwnUserId() : 0;
    if (!group->m_mapMembers.count(ownId) || !group->m_dlgChat || !group->m_dlgChat->m_hWnd) return 0;
    if (!group->m_dlgChat->IsKindOf(RUNTIME_CLASS(CKivDlgChatGroup))) return 0;
    static_cast<CKivDlgChatGroup*>(group->m_dlgChat)->SetOwnCard(card->m_strRemark);
    return 0;
}

LRESULT CKivGroupListCtrl::OnGroupInfoChanged(WPARAM wParam, LPARAM)
{
    const auto* info = reinterpret_cast<const CDataGroup*>(wParam);
    if (!info) return 0;
    auto it = m_mapGroups.find(info->m_nId);
    if (it == m_mapGroups.end()) return 0;
    CDataGroup* group = it->second;
    group->m_bstrName = info->m_bstrName;
    group->m_nStyle = info->m_nStyle;
    group->m_bstrSign = info->m_bstrSign;
    const int row = FindRow(info->m_nId);
    if (row >= 0) SetItemText(row, 0, RowText(group));
    SendMessage(WM_SIZE, 0, 0);
    return 0;
}

LRESULT CKivGroupListCtrl::OnGroupHeadChanged(WPARAM wParam, LPARAM)
{
    const int gid = static_cast<int>(wParam);
    auto it = m_mapGroups.find(gid);
    if (it == m_mapGroups.end()) return 0;
    // The new photo is on the web server now: the head loader fetches it
    // anew (the head it holds is the old photo), and its arrival is drawn
    // into the list.
    lumheads::RequestHead(true, gid, true);
    return 0;
}

// ---------------------------------------------------------------- SMS blocking

UINT ThreadSetBotherDay(LPVOID param)
{
    std::unique_ptr<BotherDayBlock> block(static_cast<BotherDayBlock*>(param));
    if (!block) return 0;
    CKivApp* app = GetKivApp();
    const std::string key = app ? app->GetSessionKey() : std::string();
    try {
        CServiceConnection connection;
        connection.Open();
        connection.Client().SetBotherDay(key, block->gid, block->day);
        connection.Close();
    } catch (const std::exception&) {
        // A failure is silent: the days stay set in the group record.
    }
    return 0;
}
