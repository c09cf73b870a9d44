#include "Lum/KivGroupListCtrl.h"

#include "Common/FileDbUser.h"
#include "Common/GdiPlusBitmap.h"
#include "Lum/KivMessages.h"
#include "Lum/Workers.h"
#include "platform/codepage.h"
#include "platform/config.h"
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

// A copy of a PNG resource of the client's module (null when missing).
Gdiplus::Bitmap* LoadPng(UINT id)
{
    return CopyPngResource(id, AfxGetInstanceHandle());
}

bool HasUnread(const CData* rec)
{
    return rec->m_nUnreadCount > 0 || !rec->m_vecUnread.empty();
}

CString IdText(int id)
{
    CString text;
    text.Format("%d", id);
    return text;
}

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
// needed): the writes not yet finished, and per group id a count of its
// removals, so that a write queued before the group was removed does not
// put it back into the store.
std::mutex g_pendingLock;
std::condition_variable g_pendingDone;
int g_pendingWrites = 0;
std::map<int, unsigned> g_removals;

struct GroupStoreJob {
    std::unique_ptr<CDataGroup> group;  // the thread's own copy
    CFileDbUser* store = nullptr;
    unsigned removals = 0;              // g_removals of the group when the write was queued
};

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
            removed = g_removals[job->group->m_nId] != job->removals;
        }
        if (!removed) job->group->Update(job->store, 1);
        done = 1;
    }
    job.reset();
    FinishStoreWrite();
    return done;
}

// ---------------------------------------------------------------- group head downloads

struct GroupHeadJob {
    const CDataGroup* rec = nullptr;  // the list record: only compared, never read, off the UI thread
    int id = 0;
};

struct DownloadedGroupHead {
    int id = 0;
    Gdiplus::Bitmap* image = nullptr;
};

std::mutex g_headsLock;
std::map<const CDataGroup*, DownloadedGroupHead> g_heads;

UINT ThreadLoadGroupHead(LPVOID param)
{
    std::unique_ptr<GroupHeadJob> job(static_cast<GroupHeadJob*>(param));
    if (!job || job->id < 1) return 0;
    CDataGroup head;
    head.m_nId = job->id;
    const int result = head.UpdateHead(GetProgramFolder());
    const bool loaded = result == 1 && head.m_imgHead;
    if (loaded) {
        std::lock_guard<std::mutex> lock(g_headsLock);
        DownloadedGroupHead& slot = g_heads[job->rec];
        // A later download of the same record replaces an earlier one.
        delete slot.image;
        slot.id = job->id;
        slot.image = head.m_imgHead;
        head.m_imgHead = nullptr;
    }
    if (HWND hwnd = GetMainWindowHandle())
        ::PostMessage(hwnd, UM_GROUP_HEAD_LOADED, reinterpret_cast<WPARAM>(job->rec), loaded ? 1 : 0);
    return 1;
}

}  // namespace

std::function<void(CDataGroup*)> CKivGroupListCtrl::s_loadHead = StartGroupHeadDownload;
std::function<void(CDataGroup*, void*)> CKivGroupListCtrl::s_storeGroup = StartGroupStoreWrite;

IMPLEMENT_DYNAMIC(CKivGroupListCtrl, CListCtrlEx)

CKivGroupListCtrl::CKivGroupListCtrl()
{
    m_pDefaultHead = LoadPng(kPngDefaultGroupHead);
    m_pDiscussionHead = LoadPng(kPngDiscussionHead);
    m_pOwnerBadge = LoadPng(kPngOwnerBadge);
}

CKivGroupListCtrl::~CKivGroupListCtrl()
{
    for (auto& entry : m_mapGroups) FreeRecord(entry.second);
    m_mapGroups.clear();
    // The store outlives the list; no write may still run when it goes.
    WaitForStoreWrites();
    delete m_pDefaultHead;
    delete m_pDiscussionHead;
    delete m_pOwnerBadge;
    m_pDefaultHead = m_pDiscussionHead = m_pOwnerBadge = nullptr;
    m_hPlugin = nullptr;
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
    const int count = GetItemCount();
    for (int i = 0; i < count; ++i)
        if (static_cast<int>(GetItemData(i)) == gid) return i;
    return -1;
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
    // A head downloaded for the record and not yet taken goes with it.
    delete TakeDownloadedGroupHead(rec, 0);
    delete rec;
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
    const int row = FindRow(it->first);
    if (row >= 0) {
        DeleteItem(row);
        ForgetRow(row);
    }
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
    bool removed = false;
    for (auto it = m_mapGroups.begin(); it != m_mapGroups.end();) {
        auto next = std::next(it);
        if (it->second->m_nClientFlag == 0) {
            DropRecord(it);
            removed = true;
        }
        it = next;
    }
    if (removed) SendMessage(WM_SIZE, 0, 0);
}

int CKivGroupListCtrl::RemoveGroup(int gid)
{
    SendMessage(WM_VSCROLL, 0, 0);
    auto it = m_mapGroups.find(gid);
    if (it == m_mapGroups.end()) return 0;
    DropRecord(it);
    SendMessage(WM_SIZE, 0, 0);
    return 1;
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

void CKivGroupListCtrl::SetMemberStatus(int userId, int status)
{
    for (auto& entry : m_mapGroups) {
        auto member = entry.second->m_mapMembers.find(userId);
        if (member != entry.second->m_mapMembers.end() && member->second) member->second->m_nStatus = status;
    }
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

Gdiplus::Bitmap* TakeDownloadedGroupHead(const CDataGroup* rec, int gid)
{
    std::lock_guard<std::mutex> lock(g_headsLock);
    auto it = g_heads.find(rec);
    if (it == g_heads.end()) return nullptr;
    DownloadedGroupHead head = it->second;
    g_heads.erase(it);
    if (gid != 0 && head.id != gid) {
        delete head.image;
        return nullptr;
    }
    return head.image;
}

void DropDownloadedGroupHeads()
{
    std::lock_guard<std::mutex> lock(g_headsLock);
    for (auto& entry : g_heads) delete entry.second.image;
    g_heads.clear();
}

void StartGroupHeadDownload(CDataGroup* rec)
{
    if (!rec) return;
    auto* job = new GroupHeadJob;
    job->rec = rec;
    job->id = rec->m_nId;
    if (!AfxBeginThread(ThreadLoadGroupHead, job)) delete job;
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
    }
    if (!AfxBeginThread(ThreadStoreGroup, job)) {
        delete job;
        FinishStoreWrite();
    }
}
