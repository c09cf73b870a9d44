#include "Lum/contacts/KivUsersListCtrl.h"

#include "base/MenuCommands.h"
#include "Common/controls/GdiPlusBitmap.h"
#include "Common/stores/FileDB.h"
#include "Lum/KivApp.h"
#include "Lum/KivMessages.h"
#include "Lum/modules/PluginModule.h"
#include "Lum/session/Workers.h"
#include "base/WndMenu.h"
#include "platform/codepage.h"
#include "platform/threads.h"

#include <string>

namespace {

// Images of the client's resources.
const UINT kPngDefaultHead = 149;
const UINT kPngStateMobile = 207;
const UINT kPngStatePc = 208;
const UINT kPngStateSms = 209;
const UINT kPngStateWap = 210;
const UINT kPngStateWeb = 214;

}  // namespace

CString CKivUsersListCtrl::RowText(const CDataUser* rec)
{
    if (!rec->m_strRemark.IsEmpty()) return rec->m_strRemark;
    const CString name(static_cast<const char*>(rec->m_bstrName));
    if (!name.IsEmpty()) return name;
    return IdText(rec->m_nId);
}

std::function<CWnd*(CKivUsersListCtrl*, CDataUser*)> CKivUsersListCtrl::s_createChat;
std::function<void(CWnd*)> CKivUsersListCtrl::s_sendFile;
std::function<void(CDataUser*)> CKivUsersListCtrl::s_loadHead;
std::function<void(CKivUsersListCtrl*, UINT, int, const CString&)> CKivUsersListCtrl::s_pluginCommand;

IMPLEMENT_DYNAMIC(CKivUsersListCtrl, CListCtrlEx)

BEGIN_MESSAGE_MAP(CKivUsersListCtrl, CListCtrlEx)
    ON_NOTIFY_REFLECT(NM_DBLCLK, OnDblClk)
    ON_NOTIFY_REFLECT(NM_RCLICK, OnRClick)
    ON_COMMAND(IDM_DELETE_FRIEND, OnDeleteFriend)
    ON_COMMAND(IDM_SEND_MESSAGE, OnSendMessage)
    ON_COMMAND(IDM_SMS_NOTICE, OnSmsNotice)
    ON_COMMAND(IDM_SEND_FILE, OnSendFile)
    ON_COMMAND(IDM_ADD_FRIEND, OnAddFriend)
    ON_COMMAND(IDM_VIEW_HISTORY, OnHistory)
    ON_COMMAND(IDM_VIEW_INFO, OnViewInfo)
    ON_COMMAND(IDM_MOVE_TO_BLACK, OnMoveToBlack)
    ON_COMMAND(IDM_INVITE_TO_GROUP, OnInviteToGroup)
    ON_COMMAND(IDM_ADD_AS_FRIEND, OnAddAsFriend)
    ON_COMMAND(IDM_EDIT_REMARK, OnEditRemark)
    ON_COMMAND(IDM_SHOW_BLACK_LIST, OnBlackList)
    ON_COMMAND(IDM_DELETE_STRANGER, OnDeleteStranger)
    ON_MESSAGE(UM_REMARK_CHANGED, OnRemarkChanged)
END_MESSAGE_MAP()

CKivUsersListCtrl::CKivUsersListCtrl()
{
    m_pDefaultHead = LoadPng(kPngDefaultHead);
    const UINT states[5] = {kPngStatePc, kPngStateWeb, kPngStateMobile, kPngStateWap, kPngStateSms};
    for (int i = 0; i < 5; ++i) m_pStateIcons[i] = LoadPng(states[i]);
    m_nHeadListener =
        lumheads::AddHeadListener([this](const std::vector<const lumheads::Head*>& batch) { OnHeadsArrived(batch); });
}

CKivUsersListCtrl::~CKivUsersListCtrl()
{
    lumheads::RemoveHeadListener(m_nHeadListener);
    for (auto& entry : m_mapUsers) {
        if (m_pStackNewMsg && m_pStackNewMsg->Contains(entry.second)) m_pStackNewMsg->Remove(entry.second);
        delete entry.second;
    }
    m_mapUsers.clear();
    delete m_pDefaultHead;
    for (Gdiplus::Bitmap*& icon : m_pStateIcons) {
        delete icon;
        icon = nullptr;
    }
    // The module the list loaded last goes with the list (no export is
    // called; its windows close as it is unloaded), while the window layer
    // is still there to close them.
    HMODULE module = m_hPlugin;
    m_hPlugin = nullptr;
    ReleasePluginModule(module, false);
}

int CKivUsersListCtrl::FindRow(int id) const
{
    auto it = m_mapUsers.find(id);
    return FindRecordRow(id, it != m_mapUsers.end() ? it->second : nullptr);
}

void CKivUsersListCtrl::FetchHead(CDataUser* copy)
{
    CKivApp* app = GetKivApp();
    if (app && copy->m_nId == app->GetOwnUserId()) copy->FromUserHead(&app->m_userSelf);
    else if (s_loadHead) s_loadHead(copy);
}

void CKivUsersListCtrl::OnHeadsArrived(const std::vector<const lumheads::Head*>& batch)
{
    // The friend and stranger lists keep their records' heads in the store;
    // a member list's records are copies of the group list's, which keeps them.
    auto* store = m_nListId == 1 || m_nListId == 2 ? static_cast<CFileDB*>(m_pUserStore) : nullptr;
    bool changed = false;
    for (const lumheads::Head* head : batch) {
        if (head->group || !head->image) continue;
        auto it = m_mapUsers.find(head->id);
        if (it == m_mapUsers.end()) continue;
        if (!changed && store) store->BeginBatch();
        changed = true;
        DrawLoadedHead(it->second, head->image);
        if (store) it->second->Update(store);
    }
    if (!changed) return;
    if (store) store->EndBatch();
    if (m_hWnd) Invalidate();
}

int CKivUsersListCtrl::AddUser(CDataUser* rec, int fromServer)
{
    if (!rec || rec->m_nId <= 0) return 0;
    const int id = rec->m_nId;
    CDataUser* stored = nullptr;
    auto it = m_mapUsers.find(id);
    if (it == m_mapUsers.end()) {
        const int row = InsertItem(GetItemCount(), RowText(rec));
        SetItemData(row, static_cast<DWORD_PTR>(id));
        stored = new CDataUser;
        stored->FromUser(rec);
        stored->m_nAux = row;
        if (HasUnread(stored) && m_pStackNewMsg) {
            // The stack holds the list's copy from now on.
            m_pStackNewMsg->Remove(rec);
            m_pStackNewMsg->Push(stored);
        }
        m_mapUsers[id] = stored;
        if (fromServer == 1 || !stored->m_imgHead) FetchHead(stored);
    } else {
        stored = it->second;
        const int row = FindRow(id);
        const CString name(static_cast<const char*>(rec->m_bstrName));
        if (row >= 0) {
            if (!rec->m_strRemark.IsEmpty())
                SetItemText(row, 0, rec->m_strRemark);
            else if (!name.IsEmpty() && name != CString(static_cast<const char*>(stored->m_bstrName)))
                SetItemText(row, 0, name);
        }
        const bool refetch = rec->m_strRTime != stored->m_strRTime || !rec->m_imgHead;
        // The stored copy keeps its unread messages when the new record
        // has none (a stacked record must not lose what it is stacked for),
        // and its head image until a new one comes.
        std::vector<__StructMessage> unread = stored->m_vecUnread;
        const int unreadCount = stored->m_nUnreadCount;
        Gdiplus::Bitmap* head = stored->m_imgHead;
        stored->m_imgHead = nullptr;
        stored->FromUser(rec);
        if (!stored->m_imgHead) stored->m_imgHead = head;
        else delete head;
        if (!HasUnread(stored)) {
            stored->m_vecUnread = unread;
            stored->m_nUnreadCount = unreadCount;
        }
        stored->m_nAux = row;
        if (refetch) FetchHead(stored);
    }
    stored->m_nFlag = fromServer;
    stored->m_nGroupId = m_nListId;
    if (fromServer == 1) stored->Update(m_pUserStore);
    return 0;
}

int CKivUsersListCtrl::AddUsers(const std::set<CDataUser*>& records)
{
    for (CDataUser* rec : records) AddUser(rec, 0);
    return 1;
}

int CKivUsersListCtrl::AddUsers(const std::map<int, CDataUser*>& records)
{
    for (const auto& entry : records) AddUser(entry.second, 0);
    return 1;
}

void CKivUsersListCtrl::DropRecord(std::map<int, CDataUser*>::iterator it, bool store)
{
    CDataUser* rec = it->second;
    DeleteRecordRow(FindRow(it->first));
    if (store) rec->Delete(m_pUserStore);
    // The stack must not keep a record that is freed here, with or without
    // unread messages.
    if (m_pStackNewMsg && m_pStackNewMsg->Contains(rec)) m_pStackNewMsg->Remove(rec);
    rec->ClearUnreadNews();
    delete rec;
    m_mapUsers.erase(it);
}

void CKivUsersListCtrl::RemoveStaleUsers()
{
    RemoveStaleRecords(
        m_mapUsers, [](const CDataUser* rec) { return rec->m_nFlag == 0; },
        [this](std::map<int, CDataUser*>::iterator it) { DropRecord(it); });
}

int CKivUsersListCtrl::RemoveUser(int id)
{
    return RemoveRecord(m_mapUsers, id, [this](std::map<int, CDataUser*>::iterator it) { DropRecord(it); });
}

int CKivUsersListCtrl::DropUser(int id)
{
    auto it = m_mapUsers.find(id);
    if (it == m_mapUsers.end()) return 0;
    DropRecord(it, false);
    return 1;
}

void CKivUsersListCtrl::DeleteAllUsers()
{
    for (auto& entry : m_mapUsers) {
        if (m_pStackNewMsg && m_pStackNewMsg->Contains(entry.second)) m_pStackNewMsg->Remove(entry.second);
        delete entry.second;
    }
    m_mapUsers.clear();
    DeleteAllItems();
    ForgetAllRows();
}

CData* CKivUsersListCtrl::GetUser(int id)
{
    auto it = m_mapUsers.find(id);
    if (it == m_mapUsers.end()) return nullptr;
    it->second->m_nAux = FindRow(id);
    return it->second;
}

void CKivUsersListCtrl::UpdateUserInfo(int id, CString name, CString sign, CString text, int status)
{
    auto it = m_mapUsers.find(id);
    if (it == m_mapUsers.end()) return;
    CDataUser* rec = it->second;
    rec->m_bstrName = name.GetString();
    rec->m_bstrSign = sign.GetString();
    rec->m_strCity = text;
    rec->m_nStatus = status;
}

int CKivUsersListCtrl::OpenChat(CDataUser* rec)
{
    if (rec && !rec->m_dlgChat && s_createChat) rec->m_dlgChat = s_createChat(this, rec);
    return 1;
}

void CKivUsersListCtrl::RefreshChatWindows()
{
    for (auto& entry : m_mapUsers) LayOutAgain(entry.second->m_dlgChat);
}

void CKivUsersListCtrl::ShowChat(CDataUser* rec)
{
    // A contact with queued lines opens the way the tray opens it, so that
    // the lines are shown and stored, and then waits no more (also when the
    // message centre took it off the unread stack already).
    if (m_pRouter) {
        m_pRouter->OpenChat(rec);
        return;
    }
    OpenChat(rec);
    BringForward(rec->m_dlgChat);
}

// ---------------------------------------------------------------- painting

void CKivUsersListCtrl::DrawItem(LPDRAWITEMSTRUCT dis)
{
    if (!dis || !m_pRowGraphics || !m_pBackGraphics) return;
    auto it = m_mapUsers.find(static_cast<int>(dis->itemData));
    if (it == m_mapUsers.end()) return;
    const CDataUser* rec = it->second;
    Gdiplus::Graphics* g = m_pRowGraphics;

    Gdiplus::SolidBrush back(RowColor(static_cast<int>(dis->itemID)));
    g->FillRectangle(&back, 0, 0, Width(), m_nRowHeight);

    Gdiplus::Bitmap* head = rec->m_imgHead ? rec->m_imgHead : m_pDefaultHead;
    if (head) g->DrawImage(head, 12, 3);

    // Icons by state: 2, 1, 3, 4, 0 are held in that order.
    Gdiplus::Bitmap* icon = nullptr;
    switch (rec->m_nStatus) {
    case 0: icon = m_pStateIcons[4]; break;
    case 1: icon = m_pStateIcons[1]; break;
    case 2: icon = m_pStateIcons[0]; break;
    case 3: icon = m_pStateIcons[2]; break;
    case 4: icon = m_pStateIcons[3]; break;
    default: break;
    }
    if (icon) g->DrawImage(icon, 60, 6);

    const CString idText = IdText(rec->m_nId);
    CString text = RowText(rec);
    text.Trim();
    if (text != idText) text += "(" + idText + ")";
    if (rec->m_nStatus == 0 || rec->m_nStatus == 7) text += " [离线]";
    if (m_pFont) {
        const std::wstring wide = MultiByteToWide(CP_ACP, text.GetString());
        const Gdiplus::RectF layout(80, 12, static_cast<Gdiplus::REAL>(Width()), static_cast<Gdiplus::REAL>(m_nRowHeight));
        Gdiplus::SolidBrush* brush = rec->m_nReserved3 >= 3 ? m_pAlertBrush : m_pNameBrush;
        if (brush) g->DrawString(wide.c_str(), static_cast<Gdiplus::INT>(wide.size()), m_pFont, layout, nullptr, brush);
        const std::wstring sign = MultiByteToWide(CP_ACP, static_cast<const char*>(rec->m_bstrSign));
        if (m_pSignBrush)
            g->DrawString(sign.c_str(), static_cast<Gdiplus::INT>(sign.size()), m_pFont, Gdiplus::PointF(60, 32),
                          m_pSignBrush);
    }
    m_pBackGraphics->DrawImage(m_pRowBitmap, 0, static_cast<Gdiplus::INT>(dis->rcItem.top));
}

// ---------------------------------------------------------------- mouse

void CKivUsersListCtrl::OnDblClk(NMHDR* nm, LRESULT* result)
{
    if (result) *result = 0;
    const auto* item = reinterpret_cast<NMITEMACTIVATE*>(nm);
    if (!item || item->iItem < 0 || item->iItem >= GetItemCount()) return;
    const int id = static_cast<int>(GetItemData(item->iItem));
    if (id <= 0) return;
    if (id == OwnId()) {
        AfxMessageBox("对不起，不能自己向自己发送信息！", MB_OK);
        return;
    }
    auto it = m_mapUsers.find(id);
    if (it != m_mapUsers.end()) ShowChat(it->second);
}

void CKivUsersListCtrl::OnRClick(NMHDR* nm, LRESULT* result)
{
    if (result) *result = 0;
    const auto* item = reinterpret_cast<NMITEMACTIVATE*>(nm);
    const bool onRow = item && item->iItem >= 0;
    CWndMenu menu;
    if (m_nListId == 1) {
        if (onRow) menu.ShowFriendMenu(this, AfxGetInstanceHandle());
        else menu.ShowFriendBlankMenu(this, AfxGetInstanceHandle());
    } else if (m_nListId == 2) {
        if (onRow) menu.ShowStrangerMenu(this, AfxGetInstanceHandle());
    }
    // Member lists show their own menus.
}

// ---------------------------------------------------------------- commands

int CKivUsersListCtrl::SelectedId(CString* text) const
{
    const int row = GetSelectionMark();
    if (row < 0 || row >= GetItemCount()) return 0;
    if (text) *text = GetItemText(row, 0);
    return static_cast<int>(GetItemData(row));
}

void CKivUsersListCtrl::OnDeleteFriend()
{
    CString text;
    const int id = SelectedId(&text);
    if (id <= 0) return;
    CString ask;
    ask.Format("您确认要删除好友 %s(%d)吗?", text.GetString(), id);
    if (AfxMessageBox(ask, MB_OKCANCEL) != IDOK) return;
    auto* block = new DeleteUserBlock;
    block->deleteid = id;
    block->gid = m_nListId;
    AfxBeginThread(ThreadDeleteUser, block);
    RemoveUser(id);
}

void CKivUsersListCtrl::OnSendMessage()
{
    const int id = SelectedId();
    if (id <= 0) return;
    auto it = m_mapUsers.find(id);
    if (it != m_mapUsers.end()) ShowChat(it->second);
}

void CKivUsersListCtrl::OnSmsNotice()
{
    const int id = SelectedId();
    if (id <= 0) return;
    const CString account = OwnAccount();
    if (account.Find('@') > 0) {
        AfxMessageBox("此功能目前只对本网用户开放", MB_OK);
        return;
    }
    PluginCommand(IDM_SMS_NOTICE);
}

void CKivUsersListCtrl::OnSendFile()
{
    const int id = SelectedId();
    if (id <= 0) return;
    auto it = m_mapUsers.find(id);
    if (it == m_mapUsers.end()) return;
    CDataUser* rec = it->second;
    OpenChat(rec);
    CWnd* chat = rec->m_dlgChat;
    if (!chat || !chat->m_hWnd) return;
    chat->ShowWindow(SW_SHOW);
    chat->SetForegroundWindow();
    if (s_sendFile) s_sendFile(chat);
}

void CKivUsersListCtrl::OnMoveToBlack()
{
    CString text;
    const int id = SelectedId(&text);
    if (id <= 0) return;
    CString ask;
    ask.Format("您确认要把 %s(%d) 移至黑名单中吗?", text.GetString(), id);
    if (AfxMessageBox(ask, MB_OKCANCEL) != IDOK) return;
    AfxBeginThread(ThreadMoveUserToBlack, reinterpret_cast<LPVOID>(static_cast<intptr_t>(id)));
    if (m_pBook) m_pBook->Block(id);
    RemoveUser(id);
}

void CKivUsersListCtrl::OnDeleteStranger()
{
    const int id = SelectedId();
    if (id <= 0) return;
    if (m_mapUsers.count(id)) RemoveUser(id);
}

void CKivUsersListCtrl::PluginCommand(UINT command)
{
    CString text;
    const int id = SelectedId(&text);
    if (id <= 0) return;
    if (s_pluginCommand) s_pluginCommand(this, command, id, text);
}

void CKivUsersListCtrl::OnHistory()
{
    PluginCommand(IDM_VIEW_HISTORY);
}

void CKivUsersListCtrl::OnViewInfo()
{
    PluginCommand(IDM_VIEW_INFO);
}

void CKivUsersListCtrl::OnInviteToGroup()
{
    PluginCommand(IDM_INVITE_TO_GROUP);
}

void CKivUsersListCtrl::OnAddAsFriend()
{
    const int id = SelectedId();
    if (id <= 0 || !m_mapUsers.count(id)) return;
    PluginCommand(IDM_ADD_AS_FRIEND);
}

void CKivUsersListCtrl::OnEditRemark()
{
    PluginCommand(IDM_EDIT_REMARK);
}

// "添加好友" and "显示黑名单" are the main window's commands: they need no
// row (the blank area's menu offers "添加好友" where no row is selected).
void CKivUsersListCtrl::OnAddFriend()
{
    if (s_pluginCommand) s_pluginCommand(this, IDM_ADD_FRIEND, 0, CString());
}

void CKivUsersListCtrl::OnBlackList()
{
    if (s_pluginCommand) s_pluginCommand(this, IDM_SHOW_BLACK_LIST, 0, CString());
}

LRESULT CKivUsersListCtrl::OnRemarkChanged(WPARAM wParam, LPARAM)
{
    const auto* sender = reinterpret_cast<const CDataUser*>(wParam);
    if (!sender || sender->m_strRemark.IsEmpty()) return 0;
    auto it = m_mapUsers.find(sender->m_nId);
    if (it == m_mapUsers.end()) return 0;
    const int row = GetSelectionMark();
    if (row < 0 || row >= GetItemCount() || static_cast<int>(GetItemData(row)) != sender->m_nId) return 0;
    SetItemText(row, 0, sender->m_strRemark);
    it->second->m_strRemark = sender->m_strRemark;
    SendMessage(WM_SIZE, 0, 0);
    return 0;
}
