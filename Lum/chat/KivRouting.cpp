#include "Lum/chat/KivRouting.h"

#include "Lum/KivApp.h"
#include "Lum/KivDlg.h"
#include "Lum/chat/KivDlgChat.h"
#include "Lum/KivMessages.h"
#include "Lum/session/Workers.h"
#include "platform/codepage.h"
#include "platform/config.h"
#include "platform/sound.h"
#include "platform/threads.h"

#include <memory>
#include <string>

namespace {

__StructMessage QueuedCopy(const lum_thrift::StructMessage& msg)
{
    __StructMessage copy;
    copy.fromid = msg.fromid;
    copy.toid = msg.toid;
    copy.gid = msg.gid;
    copy.sendTime = msg.sendTime;
    copy.content = msg.content;
    copy.params = msg.params;
    copy.msgType = MessageKindOf(msg);
    return copy;
}

lum_thrift::StructMessage LineOf(const __StructMessage& q)
{
    lum_thrift::StructMessage m;
    m.fromid = q.fromid;
    m.toid = q.toid;
    m.gid = q.gid;
    m.sendTime = q.sendTime;
    m.content = q.content;
    m.params = q.params;
    m.msgType = static_cast<lum_thrift::MsgType::type>(q.msgType);
    return m;
}

// The received content as the history keeps it: decoded, with pictures
// pointing into the own files folder; and its plain text (the texts of its
// top element, empty when it is not XML).
void HistoryOf(const std::string& content, const CString& filesFolder, CString* stored, CString* plain)
{
    CString text = Utf8ToAnsi(CString(PercentDecode(content).c_str()));
    XMLResults results{};
    XMLNode root = XMLNode::parseString(text, nullptr, &results);
    XMLNode top = root;
    if (!top.isEmpty() && (!top.getName() || !*top.getName())) top = root.getChildNode(0);
    *plain = (results.error == eXMLErrorNone || results.error == eXMLErrorMissingEndTag) ? PlainTextOf(top) : CString();
    text.Replace("file:///", "file:///" + filesFolder);
    *stored = text;
}

// The history row of a long line (beyond what a pane shows), made and
// written on a worker with a connection of its own to the user's history:
// reading a body of megabytes for its text and storing it takes about a
// second, which the window must not wait for.
struct LongLineRow {
    std::string content;
    CString filesFolder;
    int userId = 0;
    int id = 0, gid = 0, gtype = 0;
    CString time;
};

UINT ThreadStoreLongLine(LPVOID param)
{
    std::unique_ptr<LongLineRow> row(static_cast<LongLineRow*>(param));
    CString stored, plain;
    HistoryOf(row->content, row->filesFolder, &stored, &plain);
    CFileDbMsg store;
    if (store.Connect(row->userId)) store.InsertMsg(row->id, row->gid, stored, 0, row->time, row->gtype, plain);
    return 0;
}

void StoreLongLine(int userId, const CString& filesFolder, const std::string& content, int id, int gid, int gtype,
                   const CString& time)
{
    auto* row = new LongLineRow;
    row->content = content;
    row->filesFolder = filesFolder;
    row->userId = userId;
    row->id = id;
    row->gid = gid;
    row->gtype = gtype;
    row->time = time;
    if (!AfxBeginThread(ThreadStoreLongLine, row)) delete row;
}

// A chat window that shows a line while minimised or behind another window
// flashes.
void FlashIfAway(CWnd* chat)
{
    if (!chat || !chat->m_hWnd) return;
    CWnd* top = chat->GetTopLevelParent();
    if (chat->IsIconic() || !top || CWnd::GetForegroundWindow() != top) chat->FlashWindow(TRUE);
}

CString FilesFolder()
{
    CKivApp* app = GetKivApp();
    return app ? app->m_strUserPath : CString();
}

// The "info" element of a group message's notice (a body without the word
// "info" is a chat line and is not parsed: most of a busy heartbeat is lines).
XMLNode NoticeInfo(const std::string& shown)
{
    const bool mayBeNotice = PercentDecode(shown).find("info") != std::string::npos;
    const XMLNode body = mayBeNotice ? ParseMessageBody(shown) : XMLNode::emptyNode();
    return body.getChildNode("info");
}

// Sends WM_SIZE to a list (it lays out and repaints).
void Relayout(CWnd& list)
{
    if (list.m_hWnd) list.SendMessage(WM_SIZE, 0, 0);
}

}  // namespace

// ---------------------------------------------------------------- group messages

LRESULT CKivRouting::TakeGroupMessage(const lum_thrift::StructMessage& msg)
{
    CKivApp* app = GetKivApp();
    if (!app) return 0;
    // Notices are short; a long body is read as far as it is shown.
    bool cut = false;
    const XMLNode info = NoticeInfo(ShownContent(msg.content, kShownBodyBytes, &cut));
    if (msg.fromid > 0 && msg.gid > 0 && !info.isEmpty()) {
        const CString cmd = AttributeText(info, "cmd");
        const CString fromName = CleanNoticeName(AttributeText(info, "fromname"));
        if (cmd == "invite") {
            const CString groupName = AttributeText(info, "gname");
            CString note;
            if (info.getText()) note.Format("\n注：%s", info.getText());
            CString question;
            question.Format("%s邀请您加入群%s(%d),\n同意请选择是，不同意请选择否%s", fromName.GetString(),
                            groupName.GetString(), msg.gid, note.GetString());
            if (AfxMessageBox(question, MB_YESNO) == IDYES) {
                auto* block = new InviteGroupRespBlock;
                block->toid = msg.fromid;
                block->gid = msg.gid;
                block->gname = groupName;
                block->fromname = static_cast<const char*>(app->m_userSelf.m_bstrName);
                AfxBeginThread(ThreadDealInviteGroupResp, block);
            }
            return 1;
        }
        if (cmd == "join") {
            m_main.m_router.RouteJoinRequest(msg);
            return 1;
        }
        if (cmd == "joined") {
            m_main.SendMessage(UM_GROUP_MEMBER_JOINED, 0, reinterpret_cast<LPARAM>(&msg));
            return 1;
        }
        if (cmd == "newgroup") {
            if (!m_main.m_book.GroupOf(msg.gid)) {
                CDataGroup group;
                group.m_nId = msg.gid;
                group.m_bstrName = fromName.GetString();
                group.m_nIsMaster = atoi(AttributeText(info, "ismaster"));
                group.m_nStyle = atoi(AttributeText(info, "gstyle"));
                auto* self = new CDataUser;
                self->m_nId = app->GetOwnUserId();
                self->m_nMemberRole = group.m_nIsMaster;
                self->m_nFlag = 1;
                self->m_nGroupId = msg.gid;
                group.m_mapMembers[self->m_nId] = self;
                m_main.m_listGroup.AddGroup(&group, 1);
                Relayout(m_main.m_listGroup);
            }
            return 1;
        }
    }
    // A group chat line.
    m_main.m_router.RouteGroupLine(msg);
    return 0;
}

// ---------------------------------------------------------------- what the router asks

bool CKivRouting::ChatShown(const CData* rec)
{
    CWnd* chat = rec->m_dlgChat;
    return chat && chat->m_hWnd && chat->IsWindowVisible();
}

bool CKivRouting::HasWaiting(const CData* rec)
{
    return !rec->m_vecUnread.empty();
}

std::vector<lum_thrift::StructMessage> CKivRouting::WaitingLines(const CData* rec)
{
    std::vector<lum_thrift::StructMessage> lines;
    lines.reserve(rec->m_vecUnread.size());
    for (const __StructMessage& q : rec->m_vecUnread) lines.push_back(LineOf(q));
    return lines;
}

CData* CKivRouting::NewestWaiting()
{
    return m_main.m_stackNewMsg.IsEmpty() ? nullptr : m_main.m_stackNewMsg.Top();
}

// ---------------------------------------------------------------- what the router has decided

void CKivRouting::ListStranger(int id)
{
    CDataUser stranger;
    stranger.m_nId = id;
    CString name;
    name.Format("%d", id);
    stranger.m_bstrName = name.GetString();
    auto* block = new UserInfoBlock;
    block->userid = id;
    block->gid = 2;
    AfxBeginThread(ThreadGetUserInfo, block);
    m_main.m_listStranger.AddUser(&stranger, 1);
    Relayout(m_main.m_listStranger);
}

void CKivRouting::ListMember(CDataGroup* group, int id)
{
    m_main.m_listGroup.UpdateGroupMember(id, group->m_nId, "", "", "", 0, 0);
    auto* block = new UserInfoBlock;
    block->userid = id;
    block->gid = group->m_nId;
    AfxBeginThread(ThreadGetUserInfo, block);
}

void CKivRouting::PlaySound(bool group)
{
    CKivApp* app = GetKivApp();
    if (!app || app->m_nSoundOff != 0) return;
    ::PlaySound(group ? app->m_strGroupSound : app->m_strFriendSound, nullptr, SND_FILENAME | SND_NODEFAULT | SND_ASYNC);
}

DisplayRewrite CKivRouting::Rewrite(int gid)
{
    DisplayRewrite rewrite;
    rewrite.filesFolder = FilesFolder();
    rewrite.webBase = GetEndpointConfig().webBaseUrl;
    rewrite.gid = gid;
    return rewrite;
}

void CKivRouting::ShowLine(CDataUser* rec, const lum_thrift::StructMessage& line)
{
    // The line as shown is made only for a window that shows it; a line
    // queued for later is made when the window opens.
    bool cut = false;
    const std::string shown = ShownContent(line.content, kShownBodyBytes, &cut);
    DisplayRewrite rewrite = Rewrite(line.gid);
    CString display = DisplayMarkupOf(shown, rewrite);
    if (cut) display += kCutBodyNote;
    if (auto* chat = dynamic_cast<CKivDlgChatUser*>(rec->m_dlgChat)) {
        // Pictures the sender's line shows come from the sender; offered
        // files wait for the user to accept them.
        chat->ShowUserMessage(display, CString(line.sendTime.c_str()),
                              rewrite.missingPictures.empty() ? nullptr : &rewrite.missingPictures);
        FlashIfAway(chat);
    }
}

bool CKivRouting::ShowLine(CDataGroup* group, const lum_thrift::StructMessage& line, bool newMember)
{
    bool cut = false;
    const std::string shown = ShownContent(line.content, kShownBodyBytes, &cut);
    DisplayRewrite rewrite = Rewrite(line.gid);
    CString display = DisplayMarkupOf(shown, rewrite);
    if (cut) display += kCutBodyNote;
    if (auto* chat = dynamic_cast<CKivDlgChatGroup*>(group->m_dlgChat)) {
        // The member list changes only when the line brought a new member.
        if (newMember) chat->RefreshMembers();
        chat->ShowGroupMessage(line.fromid, display, CString(line.sendTime.c_str()),
                               rewrite.missingPictures.empty() ? nullptr : &rewrite.missingPictures);
        FlashIfAway(chat);
    }
    return !display.IsEmpty();
}

void CKivRouting::ShowJoinRequest(CDataGroup* group, const lum_thrift::StructMessage& line)
{
    bool cut = false;
    const XMLNode info = NoticeInfo(ShownContent(line.content, kShownBodyBytes, &cut));
    const CString fromName = CleanNoticeName(AttributeText(info, "fromname"));
    const int requester = line.fromid;
    const int stamp = atoi(CTime::GetCurrentTime().Format("%H%M%S"));
    CString text;
    text.Format("%s(%d)申请加入该群，<span id='joinGroup_%d_%d'><a href='#' "
                "onclick='parent.IsAccessJoinGroup(%d,1,%d);'>同意</a>或<a href='#' "
                "onclick='parent.IsAccessJoinGroup(%d,0,%d);'>拒绝</a></span>",
                EscapeHtml(fromName).GetString(), requester, requester, stamp, requester, stamp, requester, stamp);
    if (auto* chat = dynamic_cast<CKivDlgChatGroup*>(group->m_dlgChat)) {
        chat->ShowGroupMessage(0, text, CString(line.sendTime.c_str()));
        FlashIfAway(chat);
    }
}

void CKivRouting::StoreLine(CDataUser* rec, const lum_thrift::StructMessage& line, bool onWorker)
{
    const CString time(line.sendTime.c_str());
    if (onWorker) {
        // The same row UpdateMsgToHistory writes, written on a worker.
        StoreLongLine(m_main.m_nStoreUserId, FilesFolder(), line.content, rec->m_nId, rec->m_nGroupId,
                      rec->m_nGroupId, time);
        return;
    }
    CString stored, plain;
    HistoryOf(line.content, FilesFolder(), &stored, &plain);
    rec->UpdateMsgToHistory(stored, plain, 0, time, &m_main.m_dbMsg);
}

void CKivRouting::StoreLine(CDataGroup* group, const lum_thrift::StructMessage& line, bool onWorker)
{
    const CString time(line.sendTime.c_str());
    if (onWorker) {
        // The same row UpdateMsgToHistory writes, written on a worker.
        StoreLongLine(m_main.m_nStoreUserId, FilesFolder(), line.content, line.fromid, group->m_nId,
                      group->m_nStyle == 4 ? 4 : 3, time);
        return;
    }
    CString stored, plain;
    HistoryOf(line.content, FilesFolder(), &stored, &plain);
    group->UpdateMsgToHistory(line.fromid, stored, plain, 0, time, &m_main.m_dbMsg);
}

void CKivRouting::Wait(CData* rec, const lum_thrift::StructMessage& line)
{
    rec->AddMsgToUnreadNews(QueuedCopy(line));
    m_main.m_stackNewMsg.Push(rec);
}

void CKivRouting::StopWaiting(CData* rec)
{
    m_main.m_stackNewMsg.Remove(rec);
    rec->ClearUnreadNews();
}

bool CKivRouting::OpenChatWindow(CData* rec)
{
    if (!rec->m_dlgChat) {
        if (rec->m_nIsGroup == 1)
            m_main.m_listGroup.OpenGroupChat(static_cast<CDataGroup*>(rec));
        else
            m_main.m_listFriend.OpenChat(static_cast<CDataUser*>(rec));
        // The pane keeps the lines until its page has loaded: no wait here.
    }
    CWnd* chat = rec->m_dlgChat;
    if (!chat || !chat->m_hWnd) return false;
    chat->ShowWindow(SW_SHOW);
    chat->SetForegroundWindow();
    chat->UpdateWindow();
    return true;
}

void CKivRouting::Deliver(const lum_thrift::StructMessage& line)
{
    m_main.SendMessage(MessageKindOf(line) == 0 ? UM_USER_MESSAGE : UM_GROUP_MESSAGE, 0,
                       reinterpret_cast<LPARAM>(const_cast<lum_thrift::StructMessage*>(&line)));
}
