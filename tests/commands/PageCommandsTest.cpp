// The buttons of the modules' pages (and of their frames) whose click
// reaches native code, in the real program: what the click changes in the
// program's own windows (a list row, the panel, the black list) or in the
// module's window (it closes, another window opens), and what the service
// or the web server was told.
#include "Lum/DlgChangeSkin.h"
#include "Lum/chat/DlgChatMsgList.h"
#include "Lum/contacts/KivGroupListCtrl.h"
#include "Lum/contacts/KivGroupUsersListCtrl.h"
#include "Lum/contacts/KivUsersListCtrl.h"
#include "base/MenuCommands.h"
#include "platform/commdlg.h"
#include "tests/commands/CommandFixture.h"
#include "tests/e2e/Desktop.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace commands {
namespace {

// The modules' frame buttons (their resource ids).
const int kResultsAddFriend = 7004;  // the user search's "加为好友"
const int kResultsJoinGroup = 7005;  // the group search's "加入该群"
const int kCardOk = 8000, kCardCancel = 8001;
const int kGroupEditorOk = 6000, kGroupEditorCancel = 6001, kGroupEditorApply = 6002;
const int kCreateSubmit = 4000, kCreateReset = 4001, kMembersPass = 4004, kMembersClose = 4005;
const int kMembersPrev = 4006, kMembersNext = 4007;
const int kImportSearchAdd = 1049;  // the member-import window's "搜索添加"
const int kSettingsOk = 1, kSettingsCancel = 2, kSettingsApply = 5000;
const int kProfileApply = 3000, kProfileOk = 3001;

class PageCommandsTest : public CommandTest {
protected:
    CKivUsersListCtrl& Friends() { return Main().m_listFriend; }
    CKivUsersListCtrl& Strangers() { return Main().m_listStranger; }
    CKivGroupListCtrl& Groups() { return Main().m_listGroup; }

    // 赵磊 (10006) wrote: he is in the stranger list.
    void StrangerWrites()
    {
        Receive(kZhao, 2, "<span>你好</span>");
        ASSERT_TRUE(lumui::PumpUntil([&] { return Strangers().GetUser(kZhao) != nullptr; }, 5000));
        Main().SelectTab(IDC_BTN_TAB_STRANGERS);
    }

    // `n` lines of a friend ("第1句" ... ), taken in by one heartbeat and
    // shown (so stored) in the friend's chat.
    void ChatLines(int from, int n)
    {
        for (int i = 1; i <= n; ++i) {
            standin::PendingMessage m;
            m.fromid = from;
            m.toid = kOwn;
            m.gid = 1;
            m.sendTime = "2026-03-04 05:06:" + std::string(i < 10 ? "0" : "") + std::to_string(i);
            m.content = standin::PercentEncode("<span>第" + std::to_string(i) + "句</span>");
            service_.AddPending(kOwn, m);
        }
        Heartbeat();
        Main().SelectTab(IDC_BTN_TAB_FRIENDS);
        DoubleClick(Friends(), RowOf(Friends(), from));
        CKivDlgChatUser* chat = nullptr;
        ASSERT_TRUE(lumui::PumpUntil([&] { return (chat = ChatOf(Friends(), from)) && chat->IsWindowVisible(); }, 10000));
        // The lines are shown, and so stored, once the pane's page is there.
        ASSERT_TRUE(WaitPage(chat->m_dlgMsgList));
        const std::string history = "select count(*) from history_msg where id=" + std::to_string(from);
        ASSERT_TRUE(WaitHistory(chat->m_dlgMsgList, "第" + std::to_string(n) + "句"))
            << "stored: " << StoreCount("MsgRecords.dll", history) << ", waiting: " << chat->m_dlgMsgList.m_lstPending.size()
            << ", shown: " << History(chat->m_dlgMsgList);
        ASSERT_TRUE(lumui::PumpUntil([&] { return StoreCount("MsgRecords.dll", history) == n; }, 10000))
            << StoreCount("MsgRecords.dll", history);
    }

    // Clicks an element of a chat pane's history area (its own document).
    static void ClickInHistory(CDlgChatMsgListBase& pane, const std::string& selector)
    {
        Eval(&pane, "setTimeout(function(){document.getElementById('MsgHistoryIFrame').contentDocument.querySelector(" +
                        Js(selector) + ").click();},0),1");
    }

    // Clicks the first element `selector` matches, as its own click runs
    // (from the page's loop, so that a box it shows does not hold the test).
    static void Click(CDHtmlDialog* page, const std::string& selector)
    {
        Eval(page, "setTimeout(function(){document.querySelector(" + Js(selector) + ").click();},0),1");
    }
    // Sets a form field's value as typed.
    static void Type(CDHtmlDialog* page, const std::string& id, const std::string& text)
    {
        Eval(page, "(function(e){e.value=" + Js(text) + ";e.className='';})(document.getElementById(" + Js(id) +
                       ")),1");
    }
    static std::string Js(const std::string& text)
    {
        std::string out = "\"";
        for (char c : text) {
            if (c == '"' || c == '\\') out += '\\';
            out += c;
        }
        return out + "\"";
    }
    // The frame's own button `id`, clicked as the pointer clicks it.
    static void Press(CWnd* frame, int id)
    {
        CWnd* button = frame ? frame->GetDlgItem(id) : nullptr;
        ASSERT_NE(button, nullptr) << "no button " << id;
        ClickControl(*button);
    }
    // The page's text holds `part`.
    static bool WaitText(CDHtmlDialog* page, const std::string& part, int timeoutMs = 10000)
    {
        return WaitEval(page, "document.body.innerText.indexOf(" + Js(part) + ") >= 0", "true", timeoutMs);
    }
    // Clicks a page element with the display's real pointer (a file input
    // opens its chooser only for a person's click); the chooser is answered
    // with `fileChoice_`.
    static bool PointerClick(CDHtmlDialog* page, const std::string& selector)
    {
        CRect r;
        if (!lumui::PageElementScreenRect(page, selector.c_str(), &r) || r.IsRectEmpty()) return false;
        return e2e::Click(r.CenterPoint().x, r.CenterPoint().y);
    }
    // The page, in any window shown, that defines the script function
    // `marker` (for windows without a caption).
    static CDHtmlDialog* WaitPageWith(const std::string& marker, int timeoutMs = 15000)
    {
        CDHtmlDialog* found = nullptr;
        lumui::PumpUntil(
            [&] {
                for (HWND top : lumui::VisibleTopLevelWindows())
                    for (HWND hwnd : lumui::DescendantWindows(top))
                        if (auto* page = dynamic_cast<CDHtmlDialog*>(CWnd::FromHandle(hwnd)))
                            if (page->m_hWnd && Eval(page, "typeof " + marker) == "function") {
                                found = page;
                                return true;
                            }
                return false;
            },
            timeoutMs);
        return found;
    }
    bool WaitBox(const std::string& text, int timeoutMs = 10000)
    {
        return lumui::PumpUntil([&] { return !boxes_.empty() && boxes_.back() == text; }, timeoutMs);
    }
    std::string RowText(CListCtrl& list, int id)
    {
        const int row = RowOf(list, id);
        return row < 0 ? std::string() : list.GetItemText(row, 0).GetString();
    }
};

}  // namespace

// "加为好友": its OK adds the stranger as a friend (the friend list gains
// him, the stranger list loses him, the store keeps him) and the window
// closes; its cancel only closes. The invitation's cancel closes it.
TEST_F(PageCommandsTest, AddFriendAndInvitationWindowsButtons)
{
    ASSERT_NO_FATAL_FAILURE(StrangerWrites());
    ASSERT_TRUE(RowCommand(Strangers(), kZhao, IDM_ADD_AS_FRIEND));
    CWnd* add = WaitWindow("加为好友");
    ASSERT_NE(add, nullptr);
    CDHtmlDialog* page = PageOf(add);
    ASSERT_TRUE(WaitEval(page, "friendId", "10006"));
    Click(page, "#ButtonCancel");
    EXPECT_TRUE(WaitGone("加为好友")) << "cancel (onCancel)";
    EXPECT_EQ(RowOf(Friends(), kZhao), -1);

    ASSERT_TRUE(RowCommand(Strangers(), kZhao, IDM_ADD_AS_FRIEND));
    page = PageOf(WaitWindow("加为好友"));
    ASSERT_TRUE(WaitEval(page, "friendId", "10006"));
    Click(page, "#ButtonOK");
    EXPECT_TRUE(lumui::PumpUntil([&] { return RowOf(Friends(), kZhao) >= 0; }, 10000)) << "OK (addFrdSuc)";
    EXPECT_EQ(RowOf(Strangers(), kZhao), -1);
    EXPECT_TRUE(WaitGone("加为好友"));
    EXPECT_EQ(StoreCount("User.dll", "select count(*) from GroupUser where gid=1 and id=10006"), 1);
    EXPECT_TRUE(service_.IsFriend(kOwn, kZhao));

    Main().SelectTab(IDC_BTN_TAB_FRIENDS);
    Friends().SetSelectionMark(RowOf(Friends(), kWang));
    Friends().SendMessage(WM_COMMAND, IDM_INVITE_TO_GROUP, 0);
    page = PageOf(WaitWindow("邀请加入我的群"));
    ASSERT_TRUE(WaitEval(page, "friendId", "10003"));
    Click(page, "#ButtonCancel");
    EXPECT_TRUE(WaitGone("邀请加入我的群")) << "cancel (onCancel)";
    EXPECT_TRUE(boxes_.empty()) << boxes_.front();
}

// The user search's results: a row chosen and the frame's "加为好友" adds
// the user to the friend list; a row's card button opens the card.
TEST_F(PageCommandsTest, UserSearchResultsAddTheChosenUserAndOpenCards)
{
    ASSERT_TRUE(ChooseFromMenu([&] { ClickControl(Main().m_btnMainMenu); }, IDM_ADD_FRIEND));
    CWnd* results = WaitWindow("好友查找结果");
    ASSERT_NE(results, nullptr);
    CDHtmlDialog* page = PageOf(results);
    Eval(page, "search('10006'),1");
    ASSERT_TRUE(WaitEval(page, "document.querySelectorAll('#list .row').length", "1"));

    // Nothing chosen: the page says so.
    Press(results, kResultsAddFriend);
    EXPECT_TRUE(WaitBox("请求选择一个用户!"));
    // The row chosen (getId), then its card button (view_friend_info): the
    // card shows once the page's calls before it were taken too.
    Click(page, "#list .row");
    Click(page, "#list .row .view");
    CWnd* card = WaitWindow("查看资料");
    ASSERT_NE(card, nullptr) << "no card";
    EXPECT_TRUE(WaitText(PageOf(card), "赵磊"));

    // Added (addFrdSuc).
    Press(results, kResultsAddFriend);
    EXPECT_TRUE(WaitBox("恭喜,添加好友10006成功!"));
    EXPECT_TRUE(lumui::PumpUntil([&] { return RowOf(Friends(), kZhao) >= 0; }, 5000));
    EXPECT_EQ(RowText(Friends(), kZhao), "赵磊");
    EXPECT_EQ(StoreCount("User.dll", "select count(*) from GroupUser where gid=1 and id=10006"), 1);
}

// The group search's results: a row chosen and the frame's "加入该群" asks
// the owner; a row's card button opens the group's card.
TEST_F(PageCommandsTest, GroupSearchResultsAskToJoinAndOpenCards)
{
    ASSERT_TRUE(ChooseFromMenu([&] { ClickControl(Main().m_btnMainMenu); }, IDM_FIND_GROUP));
    CWnd* results = WaitWindow("群组查找结果");
    ASSERT_NE(results, nullptr);
    CDHtmlDialog* page = PageOf(results);
    Eval(page, "search('3002'),1");
    ASSERT_TRUE(WaitEval(page, "document.querySelectorAll('#list .row').length", "1"));
    Click(page, "#list .row");
    Click(page, "#list .row .view");
    CWnd* card = WaitWindow("查看资料");
    ASSERT_NE(card, nullptr) << "no card (view_group_info)";
    EXPECT_TRUE(WaitText(PageOf(card), "校园群组002"));

    Press(results, kResultsJoinGroup);
    EXPECT_TRUE(WaitBox("申请已经发送出去,请等待群主审批!"));
    ASSERT_TRUE(WaitWebCall("/api/group/joinGroupUser.jsp"));
    EXPECT_EQ(WebCalls("/api/group/joinGroupUser.jsp")[0].Param("group_id"), "3002");
}

// The card's OK saves a changed remark: the friend's row shows it and the
// card closes; its cancel leaves the remark as it was.
TEST_F(PageCommandsTest, CardSavesARemarkIntoTheFriendList)
{
    Main().SelectTab(IDC_BTN_TAB_FRIENDS);
    ASSERT_TRUE(RowCommand(Friends(), kWang, IDM_VIEW_INFO));
    CWnd* card = WaitWindow("查看资料");
    ASSERT_NE(card, nullptr);
    CDHtmlDialog* page = PageOf(card);
    ASSERT_TRUE(WaitEval(page, "document.getElementById('loaded').value", "1"));
    Type(page, "remark", "小芳");
    Press(card, kCardCancel);
    EXPECT_TRUE(WaitGone("查看资料")) << "cancel";
    EXPECT_EQ(RowText(Friends(), kWang), "王芳");

    ASSERT_TRUE(RowCommand(Friends(), kWang, IDM_VIEW_INFO));
    card = WaitWindow("查看资料");
    page = PageOf(card);
    ASSERT_TRUE(WaitEval(page, "document.getElementById('loaded').value", "1"));
    Type(page, "remark", "小芳");
    Press(card, kCardOk);
    EXPECT_TRUE(lumui::PumpUntil([&] { return RowText(Friends(), kWang) == "小芳"; }, 10000))
        << "OK (SendRemarkToMain): " << RowText(Friends(), kWang);
    EXPECT_TRUE(WaitGone("查看资料")) << "OK (CloseWindow)";
}

// The remark editor: OK with a text saves it into the friend's row and
// closes the editor; cancel closes it with nothing changed.
TEST_F(PageCommandsTest, RemarkEditorSavesIntoTheFriendList)
{
    Main().SelectTab(IDC_BTN_TAB_FRIENDS);
    bool seen = false;
    WhenModalShows(
        "修改备注",
        [&](CWnd* editor) {
            CDHtmlDialog* page = PageOf(editor);
            Type(page, "text", "不该保存");
            Click(page, "#cancel");
        },
        &seen);
    ASSERT_TRUE(RowCommand(Friends(), kLiu, IDM_EDIT_REMARK));
    // (The menu posts its command: the editor may show after the menu went.)
    ASSERT_TRUE(lumui::PumpUntil([&] { return seen; }, 15000));
    EXPECT_TRUE(WaitGone("修改备注")) << "cancel (CloseWindow)";
    EXPECT_EQ(RowText(Friends(), kLiu), "刘老师");

    WhenModalShows(
        "修改备注",
        [&](CWnd* editor) {
            CDHtmlDialog* page = PageOf(editor);
            Type(page, "text", "刘教授");
            Click(page, "#ok");
        },
        &seen);
    ASSERT_TRUE(RowCommand(Friends(), kLiu, IDM_EDIT_REMARK));
    ASSERT_TRUE(lumui::PumpUntil([&] { return seen; }, 15000));
    EXPECT_TRUE(lumui::PumpUntil([&] { return RowText(Friends(), kLiu) == "刘教授"; }, 10000)) << "OK (SendToMain)";
    EXPECT_TRUE(WaitGone("修改备注"));
    ASSERT_TRUE(WaitWebCall("/api/friend/editFriendRemark.jsp"));
    EXPECT_EQ(WebCalls("/api/friend/editFriendRemark.jsp")[0].Param("remark"), "刘教授");
}

// The group card editor of a group chat's member list: OK shows the card in
// the own member row.
TEST_F(PageCommandsTest, GroupCardEditorSavesIntoTheMemberList)
{
    Main().SelectTab(IDC_BTN_TAB_GROUPS);
    DoubleClick(Groups(), RowOf(Groups(), kOwnGroup));
    CKivDlgChatGroup* chat = nullptr;
    ASSERT_TRUE(lumui::PumpUntil(
        [&] {
            chat = GroupChatOf(kOwnGroup);
            return chat && chat->IsWindowVisible() && chat->m_dlgMsgList.m_listMembers.GetItemCount() == 3;
        },
        5000));
    CKivGroupUsersListCtrl& members = chat->m_dlgMsgList.m_listMembers;
    bool seen = false;
    WhenModalShows(
        "修改群名片",
        [&](CWnd* editor) {
            CDHtmlDialog* page = PageOf(editor);
            Type(page, "text", "组长");
            Click(page, "#ok");
        },
        &seen);
    ASSERT_TRUE(RowCommand(members, kOwn, IDM_EDIT_GROUP_CARD));
    ASSERT_TRUE(lumui::PumpUntil([&] { return seen; }, 15000));
    EXPECT_TRUE(lumui::PumpUntil([&] { return RowText(members, kOwn).find("组长") != std::string::npos; }, 10000))
        << "OK (SendGrpCardToMain): " << RowText(members, kOwn);
    EXPECT_TRUE(WaitGone("修改群名片"));
    ASSERT_TRUE(WaitWebCall("/api/group/editGroupUserCard.jsp"));
}

// The group editor of an own group: "应用" on the information tab renames
// the group in the group list; a new photo is fetched for the list; "确定"
// with a new card shows it in the open group chat's member list and closes
// the editor; "取消" closes it.
TEST_F(PageCommandsTest, GroupEditorRenamesTheGroupAndChangesItsPhotoAndCard)
{
    Main().SelectTab(IDC_BTN_TAB_GROUPS);
    DoubleClick(Groups(), RowOf(Groups(), kOwnGroup));
    CKivDlgChatGroup* chat = nullptr;
    ASSERT_TRUE(lumui::PumpUntil(
        [&] {
            chat = GroupChatOf(kOwnGroup);
            return chat && chat->IsWindowVisible() && chat->m_dlgMsgList.m_listMembers.GetItemCount() == 3;
        },
        5000));

    ASSERT_TRUE(RowCommand(Groups(), kOwnGroup, IDM_EDIT_GROUP_INFO));
    CWnd* editor = WaitWindow("群设置-Kiv群组");
    ASSERT_NE(editor, nullptr);
    CDHtmlDialog* page = PageOf(editor);
    ASSERT_TRUE(WaitEval(page, "document.getElementById('grpName').value", "学习小组"));
    Type(page, "grpName", "学习小组二");
    Press(editor, kGroupEditorApply);
    EXPECT_TRUE(lumui::PumpUntil([&] { return RowText(Groups(), kOwnGroup).find("学习小组二") != std::string::npos; },
                                 10000))
        << "应用 (SendGrpEditToMain): " << RowText(Groups(), kOwnGroup);

    // A new photo: the group list shows it (it had none before).
    const std::string photo = dir_.file("photo.png");
    std::filesystem::copy_file(std::string(LUM_STANDIN_WWW) + "/upload/face/10004.png", photo);
    Gdiplus::Bitmap picture(std::wstring(photo.begin(), photo.end()).c_str());
    ASSERT_GT(picture.GetWidth(), 0u);
    CDataGroup* group = Groups().GetGroup(kOwnGroup);
    ASSERT_EQ(group->m_imgHead, nullptr);
    fileChoice_ = photo;
    ASSERT_TRUE(PointerClick(page, "#file_headPhoto"));
    EXPECT_TRUE(WaitBox("头像修改成功!"));
    EXPECT_TRUE(lumui::PumpUntil(
        [&] { return group->m_imgHead && group->m_imgHead->GetWidth() == picture.GetWidth(); }, 10000))
        << "the group list kept the old photo (SendGrpHeadToMain)";

    Eval(page, "showTab('setting'),1");
    Type(page, "userCard", "小组长");
    Press(editor, kGroupEditorOk);
    // The own row draws its record's card.
    CDataUser* own = static_cast<CDataUser*>(chat->m_dlgMsgList.m_listMembers.GetUser(kOwn));
    ASSERT_NE(own, nullptr);
    EXPECT_TRUE(lumui::PumpUntil([&] { return own->m_strRemark == "小组长"; }, 10000))
        << "确定 (SendGrpCardToMain): " << own->m_strRemark.GetString();
    EXPECT_TRUE(WaitGone("群设置-Kiv群组")) << "确定 (CloseWindow)";

    ASSERT_TRUE(RowCommand(Groups(), kOwnGroup, IDM_EDIT_GROUP_INFO));
    editor = WaitWindow("群设置-Kiv群组");
    ASSERT_NE(editor, nullptr);
    Press(editor, kGroupEditorCancel);
    EXPECT_TRUE(WaitGone("群设置-Kiv群组")) << "取消";
    Shot("commands-group-editor.png");
}

// "创建群": the frame's "创建" makes the group, which the group list shows
// at once as an own group; "重填" empties the form.
TEST_F(PageCommandsTest, CreatingAGroupAddsItToTheGroupList)
{
    ASSERT_TRUE(ChooseFromMenu([&] { ClickControl(Main().m_btnMainMenu); }, IDM_CREATE_GROUP));
    CWnd* frame = WaitWindow("创建群");
    ASSERT_NE(frame, nullptr);
    CDHtmlDialog* page = PageOf(frame);
    ASSERT_TRUE(WaitEval(page, "typeof submitGrpInfo", "function"));
    Type(page, "grpName", "草稿");
    Press(frame, kCreateReset);
    EXPECT_TRUE(WaitEval(page, "document.getElementById('grpName').value", "")) << "重填";

    Type(page, "grpName", "篮球队");
    Type(page, "grpNote", "周三训练");
    const int rows = Groups().GetItemCount();
    Press(frame, kCreateSubmit);
    EXPECT_TRUE(WaitBox("创建成功"));
    ASSERT_TRUE(lumui::PumpUntil([&] { return Groups().GetItemCount() == rows + 1; }, 10000)) << "创建 (SetGroupInfo)";
    int gid = 0;
    for (const auto& entry : Groups().m_mapGroups)
        if (CString(static_cast<const char*>(entry.second->m_bstrName)) == "篮球队") gid = entry.first;
    ASSERT_GT(gid, 0);
    EXPECT_EQ(Groups().GetGroup(gid)->m_nIsMaster, 1);
    EXPECT_NE(RowText(Groups(), gid).find("篮球队"), std::string::npos);
    EXPECT_EQ(service_.MemberRole(gid, kOwn), 1);
}

// The member-import window of an own group: a friend ticked in its tree
// and confirmed is invited; "搜索添加" opens the member
// search; a user found there, his details button shows his card; ticked and
// passed on, the invitation window sends the invitation, its tip's "关闭"
// closes it.
TEST_F(PageCommandsTest, MemberSearchInvitesTheChosenUser)
{
    Main().SelectTab(IDC_BTN_TAB_GROUPS);
    ASSERT_TRUE(RowCommand(Groups(), kOwnGroup, IDM_ADD_GROUP_MEMBERS));
    CWnd* import = WaitWindow("添加群成员");
    ASSERT_NE(import, nullptr);
    // A friend ticked in the tree, added and confirmed: invited.
    CDHtmlDialog* tree = WaitPageWith("cAddToGroups");
    ASSERT_NE(tree, nullptr);
    ASSERT_TRUE(WaitEval(tree, "document.querySelector('#tree input[data-id=\"10003\"]') !== null", "true"));
    Click(tree, "#tree input[data-id='10003']");
    Click(tree, "#btnAdd");
    ASSERT_TRUE(WaitEval(tree, "document.getElementById('added').innerText.indexOf('王芳') >= 0", "true"));
    Press(import, IDOK);
    EXPECT_TRUE(WaitBox("已经成功发出邀请1人,等他们回复确认加入."));
    ASSERT_TRUE(WaitWebCall("/api/group/batchAddGroupUser.jsp"));
    EXPECT_EQ(WebCalls("/api/group/batchAddGroupUser.jsp")[0].Param("friend_id"), "10003");

    const size_t invited = service_.Pending(kWang).size();
    Press(import, kImportSearchAdd);
    CWnd* frame = WaitWindow("添加成员");
    ASSERT_NE(frame, nullptr) << "搜索添加";
    CDHtmlDialog* page = WaitPageWith("passSelIDs");
    ASSERT_NE(page, nullptr);
    // Four users a page: the frame's page buttons turn them.
    Type(page, "key", "校园用户");
    Click(page, "#go");
    const std::string firstName = "(document.querySelector('.row .name') || {}).textContent || ''";
    ASSERT_TRUE(WaitEval(page, "document.querySelectorAll('.row input').length", "4"));
    const std::string first = Eval(page, firstName);
    Press(frame, kMembersNext);
    EXPECT_TRUE(lumui::PumpUntil(
        [&] {
            const std::string now = Eval(page, firstName);
            return !now.empty() && now != first;
        },
        10000))
        << "下一页 (4007)";
    Press(frame, kMembersPrev);
    EXPECT_TRUE(WaitEval(page, firstName, first)) << "上一页 (4006)";

    Type(page, "key", "10003");
    Click(page, "#go");
    ASSERT_TRUE(WaitEval(page, "document.querySelectorAll('.row input').length", "1"));

    Click(page, ".row img.detail");
    CWnd* card = WaitWindow("查看资料");
    ASSERT_NE(card, nullptr) << "details (ShowMemberInfo)";
    EXPECT_TRUE(WaitText(PageOf(card), "王芳"));
    card->SendMessage(WM_CLOSE, 0, 0);

    Click(page, ".row input");
    ASSERT_TRUE(WaitEval(page, "selection", "10003;"));
    Press(frame, kMembersPass);
    CDHtmlDialog* invite = WaitPageWith("submitInvite");
    ASSERT_NE(invite, nullptr) << "确定 (GetSelIDs)";
    EXPECT_TRUE(WaitGone("添加成员"));
    Eval(invite, "msg.value='一起学习吧',1");
    Click(invite, "#ok");
    EXPECT_TRUE(WaitText(invite, "邀请已发出")) << "确定 (ConfirmSubmit, ShowSendTip)";
    ASSERT_EQ(service_.Pending(kWang).size(), invited + 1);
    EXPECT_EQ(service_.Pending(kWang).back().gid, kOwnGroup);
    CWnd* inviteFrame = invite->GetParent();
    ASSERT_NE(inviteFrame, nullptr);
    const HWND inviteWnd = inviteFrame->m_hWnd;
    Click(invite, "#close");
    EXPECT_TRUE(lumui::PumpUntil([&] { return !::IsWindow(inviteWnd); }, 10000)) << "关闭 (CloseWindow)";

    // The member search's own "关闭".
    Press(import, kImportSearchAdd);
    frame = WaitWindow("添加成员");
    ASSERT_NE(frame, nullptr);
    Press(frame, kMembersClose);
    EXPECT_TRUE(WaitGone("添加成员")) << "关闭 (4005)";
}

// The settings window: a black-list entry removed and applied leaves the
// main window's black list; the sound and folder choosers show what was
// chosen, and OK stores it and closes; cancel closes.
TEST_F(PageCommandsTest, SettingsWindowButtons)
{
    Main().SelectTab(IDC_BTN_TAB_FRIENDS);
    answer_ = IDOK;
    Friends().SetSelectionMark(RowOf(Friends(), kWang));
    Friends().SendMessage(WM_COMMAND, IDM_MOVE_TO_BLACK, 0);
    ASSERT_TRUE(lumui::PumpUntil([&] { return service_.BlackList(kOwn).count(kWang) == 1; }, 5000));
    ASSERT_TRUE(Main().m_book.BlackList().count(kWang));

    // The black-list page ("显示黑名单").
    Friends().SetSelectionMark(RowOf(Friends(), kLina));
    Friends().SendMessage(WM_COMMAND, IDM_SHOW_BLACK_LIST, 0);
    CWnd* settings = WaitWindow("系统设置");
    ASSERT_NE(settings, nullptr);
    CDHtmlDialog* page = PageOf(settings);
    ASSERT_TRUE(WaitEval(page, "document.getElementById('item10003') !== null", "true"));
    Click(page, "#item10003 a");
    ASSERT_TRUE(WaitEval(page, "document.getElementById('item10003').className", "removing"));
    Press(settings, kSettingsApply);
    EXPECT_TRUE(lumui::PumpUntil([&] { return Main().m_book.BlackList().count(kWang) == 0; }, 10000))
        << "应用 (SendRemoveBlackToMain)";
    EXPECT_TRUE(service_.BlackList(kOwn).empty());

    // The choosers (SelectSoundPath, SelectSavePath).
    const std::string ring = dir_.file("ring.wav");
    fileChoice_ = ring;
    Eval(page, "showPage('sound'),1");
    Click(page, "button[onclick*=FMsgAddress]");
    EXPECT_TRUE(WaitEval(page, "byId('pathFMsgAddress').getAttribute('data-path')", ring));
    const std::string folder = dir_.path();
    services_.SetFolderDialog([&](const CString&) { return CString(folder.c_str()); });
    Eval(page, "showPage('trans'),1");
    Click(page, "button[onclick*=SelectSavePath]");
    EXPECT_TRUE(WaitEval(page, "byId('txtSavePath').value", folder));
    EXPECT_TRUE(WaitPainted(page));
    Shot("commands-settings.png");
    // The password page of the web server, in the browser.
    Eval(page, "showPage('password'),1");
    ASSERT_TRUE(PointerClick(page, "#lnkPassword"));
    ASSERT_TRUE(lumui::PumpUntil([&] { return !opened_.empty(); }, 5000)) << "修改密码";
    EXPECT_NE(opened_.back().find("/Chirra_User/setPassword.gsp?phone=10001"), std::string::npos) << opened_.back();

    Press(settings, kSettingsOk);
    EXPECT_TRUE(WaitGone("系统设置")) << "确定";
    EXPECT_EQ(StoreCount("KivSys.dll", "select count(*) from Prefor where userid=10001 and key='Sound_FMsgAddress' "
                                       "and value='" + ring + "'"),
              1);
    EXPECT_EQ(StoreCount("KivSys.dll", "select count(*) from Prefor where userid=10001 and key='Trans_SavePath' "
                                       "and value='" + folder + "'"),
              1);

    Main().SendMessage(WM_COMMAND, IDM_SETTINGS, 0);
    settings = WaitWindow("系统设置");
    ASSERT_NE(settings, nullptr);
    Press(settings, kSettingsCancel);
    EXPECT_TRUE(WaitGone("系统设置")) << "取消";
}

// The message centre: a sender's lines chosen and "回复" opens that chat
// only, with the lines that waited.
TEST_F(PageCommandsTest, MessageCentreRepliesToTheChosenSender)
{
    Receive(kWang, 1, "<span>王芳的话</span>");
    Receive(kLina, 1, "<span>李娜的话</span>");
    ClickControl(Main().m_btnMessages);
    CWnd* centre = WaitWindow("消息中心");
    ASSERT_NE(centre, nullptr);
    CDHtmlDialog* page = PageOf(centre);
    ASSERT_TRUE(WaitEval(page, "document.getElementById('count').innerText", "2"));
    Click(page, "table#f10002");
    ASSERT_TRUE(WaitEval(page, "document.getElementById('REPLY') !== null", "true"));
    Click(page, "#REPLY");
    CKivDlgChatUser* chat = nullptr;
    ASSERT_TRUE(lumui::PumpUntil([&] { return (chat = ChatOf(Friends(), kLina)) && chat->IsWindowVisible(); }, 10000))
        << "回复 (getId, REPLY)";
    EXPECT_TRUE(WaitHistory(chat->m_dlgMsgList, "李娜的话"));
    EXPECT_TRUE(WaitGone("消息中心"));
    EXPECT_EQ(ChatOf(Friends(), kWang), nullptr);
}

// The SMS notice to one friend: "发送" sends the text to the web server for
// that friend, and the window closes.
TEST_F(PageCommandsTest, SmsNoticeToAFriendSendsAndCloses)
{
    Main().SelectTab(IDC_BTN_TAB_FRIENDS);
    ASSERT_TRUE(RowCommand(Friends(), kLina, IDM_SMS_NOTICE));
    CWnd* sms = WaitWindow("通知短信");
    ASSERT_NE(sms, nullptr);
    CDHtmlDialog* page = PageOf(sms);
    ASSERT_TRUE(WaitText(page, "娜娜"));
    Eval(page, "document.getElementById('content').value='明天八点上课',1");
    Click(page, "#ButtonOk");
    ASSERT_TRUE(WaitWebCall("/api/message/sendFriendNotifyMessage.jsp")) << "发送 (OnOK)";
    const standin::WebRequest sent = WebCalls("/api/message/sendFriendNotifyMessage.jsp")[0];
    EXPECT_EQ(sent.Param("friendid_list"), "10002");
    EXPECT_EQ(sent.Param("content"), "明天八点上课");
    EXPECT_TRUE(WaitGone("通知短信")) << "sendSMS";
}

// "我的资料": "应用" with a new name saves it and the panel shows it, OK
// closes; "更换头像"
// opens the head-photo window, whose upload puts the new head on the
// panel and closes it; its "取消" closes it.
TEST_F(PageCommandsTest, ProfileSavesTheNameAndTheHeadShowsOnThePanel)
{
    // The own head as the panel draws it (40 x 40 at (6, 25)).
    auto head = [&] {
        std::vector<DWORD> pixels;
        for (int d = 4; d < 40; d += 6) pixels.push_back(lumui::WindowPixel(Main().m_hWnd, 6 + d, 25 + d));
        return pixels;
    };
    const std::vector<DWORD> before = head();
    ASSERT_TRUE(ChooseFromMenu([&] { ClickControl(Main().m_btnStatus); }, IDM_PROFILE));
    CWnd* profile = WaitWindow("我的资料");
    ASSERT_NE(profile, nullptr);
    CDHtmlDialog* page = PageOf(profile);
    ASSERT_TRUE(WaitEval(page, "document.getElementById('name').value", "张伟"));

    Click(page, "#changeHead");
    CWnd* upload = WaitWindow("更换头像");
    ASSERT_NE(upload, nullptr) << "更换头像 (OpenDlgHeadPhoto)";
    CDHtmlDialog* uploadPage = PageOf(upload);
    ASSERT_TRUE(WaitEval(uploadPage, "document.getElementById('hid_userID').value", "13800000001"));
    Click(uploadPage, "#btnCancel");
    EXPECT_TRUE(WaitGone("更换头像")) << "取消 (CloseDialog)";

    Click(page, "#changeHead");
    upload = WaitWindow("更换头像");
    ASSERT_NE(upload, nullptr);
    uploadPage = PageOf(upload);
    ASSERT_TRUE(WaitEval(uploadPage, "document.getElementById('hid_userID').value", "13800000001"));
    const std::string photo = dir_.file("me.png");
    std::filesystem::copy_file(std::string(LUM_STANDIN_WWW) + "/upload/face/10004.png", photo);
    fileChoice_ = photo;
    ASSERT_TRUE(PointerClick(uploadPage, "#file_headPhoto"));
    ASSERT_TRUE(WaitEval(uploadPage, "document.getElementById('file_headPhoto').files.length", "1"));
    Click(uploadPage, "#btnUpload");
    EXPECT_TRUE(WaitBox("头像修改成功!"));
    EXPECT_TRUE(lumui::PumpUntil([&] { return head() != before; }, 10000)) << "上传 (ConfirmHeadChg)";
    EXPECT_TRUE(WaitGone("更换头像"));

    Type(page, "name", "张大伟");
    Press(profile, kProfileApply);
    EXPECT_TRUE(WaitBox("修改成功!"));
    EXPECT_TRUE(lumui::PumpUntil([&] { return CString(static_cast<const char*>(App().m_userSelf.m_bstrName)) == "张大伟"; },
                                 10000))
        << "应用 (ModiUserInfoMain)";
    EXPECT_TRUE(Shown("我的资料"));
    // Nothing changed since: OK only closes.
    Press(profile, kProfileOk);
    EXPECT_TRUE(WaitGone("我的资料")) << "确定 (CloseWindow)";
    Shot("commands-profile-saved.png");
}

// The message manager over the history the chats stored: a contact picked
// in the tree shows its lines, page by page; the search finds a line; the
// time tree lists the day; "删除", confirmed, deletes the contact's lines
// from the store.
TEST_F(PageCommandsTest, MessageManagerShowsSearchesAndDeletesTheStoredHistory)
{
    ASSERT_NO_FATAL_FAILURE(ChatLines(kLina, 12));
    ClickControl(Main().m_btnHistory);
    CWnd* manager = WaitWindow("消息管理器");
    ASSERT_NE(manager, nullptr);
    CDHtmlDialog* page = PageOf(manager);
    ASSERT_TRUE(WaitEval(page, "document.querySelector('#treeType li[data-id=\"10002\"]') !== null", "true"));

    // A folder lists its contacts (showMember).
    Click(page, "#treeType li[data-id='my_friends'] > span");
    EXPECT_TRUE(WaitEval(page, "byId('pane').innerText.indexOf('10002') >= 0", "true")) << "a folder (showMember)";
    Click(page, "#treeType li[data-id='10002'] > span");
    // The newest lines first.
    EXPECT_TRUE(WaitText(page, "第12句")) << "a contact (showChatRecords)";
    EXPECT_EQ(Eval(page, "byId('tPage').textContent"), "2");
    Click(page, "#next");
    EXPECT_TRUE(WaitEval(page, "byId('cPage').textContent", "2")) << "下一页 (chanagePage)";
    EXPECT_TRUE(WaitText(page, "第1句"));

    Eval(page, "byId('keyword').value='第12句',1");
    Click(page, "#btnSearch");
    EXPECT_TRUE(WaitEval(page, "byId('pane').innerText.indexOf('第11句') < 0 && byId('pane').innerText.indexOf('第12句') >= 0",
                         "true"))
        << "查找 (searchConditions)";

    Click(page, "#tabTime");
    EXPECT_TRUE(WaitEval(page, "byId('treeTime').querySelectorAll('li').length > 1", "true")) << "时间分组 (refresh)";
    // The refresh builds the tree anew (and chooses its root): the tree of
    // before is marked, so that the wait ends with the new one, not before
    // the program's answer comes and changes the choice under later clicks.
    Eval(page, "byId('treeTime').querySelector('li').dataset.before='1',1");
    Click(page, "#btnRefresh");
    EXPECT_TRUE(WaitEval(page,
                         "byId('treeTime').querySelectorAll('li').length > 1 && "
                         "!byId('treeTime').querySelector('li[data-before]')",
                         "true"))
        << "刷新 (refresh)";

    Click(page, "#tabType");
    Click(page, "#treeType li[data-id='10002'] > span");
    answer_ = IDOK;
    Click(page, "#btnDelete");
    // (The tree names the contact as the store keeps the name.)
    EXPECT_TRUE(lumui::PumpUntil(
        [&] { return !boxes_.empty() && boxes_.back().rfind("您确定要删除与李娜", 0) == 0; }, 10000));
    EXPECT_TRUE(lumui::PumpUntil([&] { return StoreCount("MsgRecords.dll", "select count(*) from history_msg where id=10002") == 0; },
                                 10000))
        << "删除 (deleteChatRecords)";
}

// The history viewer of one friend turns its pages.
TEST_F(PageCommandsTest, HistoryViewerTurnsItsPages)
{
    ASSERT_NO_FATAL_FAILURE(ChatLines(kLina, 12));
    ASSERT_TRUE(RowCommand(Friends(), kLina, IDM_VIEW_HISTORY));
    CWnd* viewer = WaitWindow("与娜娜的聊天记录");
    ASSERT_NE(viewer, nullptr);
    CDHtmlDialog* page = PageOf(viewer);
    ASSERT_TRUE(WaitEval(page, "document.getElementById('tPage').textContent", "2"));
    Click(page, "#next");
    EXPECT_TRUE(WaitEval(page, "document.getElementById('cPage').textContent", "2")) << "下一页 (chanagePage)";
    EXPECT_TRUE(WaitText(page, "第1句"));
    Click(page, "#prev");
    EXPECT_TRUE(WaitEval(page, "document.getElementById('cPage').textContent", "1")) << "上一页 (chanagePage)";
}

// A received line with a picture of the files folder is stored naming it by
// its whole path; the history viewer and the message manager show the
// picture itself. A picture the line names outside the folder does not load.
TEST_F(PageCommandsTest, HistoryWindowsShowThePicturesOfTheFilesFolderAndNoOtherFile)
{
    const std::string picture = std::string(LUM_STANDIN_WWW) + "/upload/face/10004.png";
    std::filesystem::copy_file(picture, dir_.file(std::to_string(kOwn) + "/seen.png"));
    std::filesystem::create_directories(dir_.file("elsewhere"));
    std::filesystem::copy_file(picture, dir_.file("elsewhere/outside.png"));
    Receive(kLina, 1, "<span>看图<img src='file:///seen.png'/>和<img src='file:///../elsewhere/outside.png'/></span>");
    Main().SelectTab(IDC_BTN_TAB_FRIENDS);
    DoubleClick(Friends(), RowOf(Friends(), kLina));
    CKivDlgChatUser* chat = nullptr;
    ASSERT_TRUE(lumui::PumpUntil([&] { return (chat = ChatOf(Friends(), kLina)) && chat->IsWindowVisible(); }, 10000));
    ASSERT_TRUE(WaitPage(chat->m_dlgMsgList));
    const std::string stored = "select count(*) from history_msg where id=10002 and tagmsg like '%" + dir_.path() +
                               "/" + std::to_string(kOwn) + "/seen.png%'";
    ASSERT_TRUE(lumui::PumpUntil([&] { return StoreCount("MsgRecords.dll", stored) == 1; }, 10000))
        << "the line was not stored with the picture's path";

    // Whether the pane's picture whose address ends with `name` has loaded
    // ("drawn"), failed ("broken"), or is not there.
    auto picture_state = [](CDHtmlDialog* page, const std::string& name) {
        return Eval(page, "(function(){var i=document.querySelector('#pane img[src$=\"" + name +
                              "\"]');if(!i)return 'none';if(!i.complete)return 'loading';"
                              "return i.naturalWidth>0?'drawn':'broken';})()");
    };
    auto settled = [&](CDHtmlDialog* page, const std::string& name) {
        lumui::PumpUntil([&] {
            const std::string s = picture_state(page, name);
            return s == "drawn" || s == "broken";
        }, 10000);
        return picture_state(page, name);
    };

    ASSERT_TRUE(RowCommand(Friends(), kLina, IDM_VIEW_HISTORY));
    CWnd* viewer = WaitWindow("与娜娜的聊天记录");
    ASSERT_NE(viewer, nullptr);
    CDHtmlDialog* page = PageOf(viewer);
    ASSERT_NE(page, nullptr);
    EXPECT_TRUE(WaitText(page, "看图"));
    EXPECT_EQ(settled(page, "seen.png"), "drawn") << "the viewer's picture of the files folder";
    EXPECT_EQ(settled(page, "outside.png"), "broken") << "the viewer loaded a picture from another folder";
    ASSERT_TRUE(WaitPainted(page));
    Shot("commands-history-picture.png");

    ClickControl(Main().m_btnHistory);
    CWnd* manager = WaitWindow("消息管理器");
    ASSERT_NE(manager, nullptr);
    page = PageOf(manager);
    ASSERT_NE(page, nullptr);
    ASSERT_TRUE(WaitEval(page, "document.querySelector('#treeType li[data-id=\"10002\"]') !== null", "true"));
    Click(page, "#treeType li[data-id='my_friends'] > span");
    Click(page, "#treeType li[data-id='10002'] > span");
    EXPECT_TRUE(WaitText(page, "看图"));
    EXPECT_EQ(settled(page, "seen.png"), "drawn") << "the manager's picture of the files folder";
    EXPECT_EQ(settled(page, "outside.png"), "broken") << "the manager loaded a picture from another folder";
    // The store keeps the line as it was received.
    EXPECT_EQ(StoreCount("MsgRecords.dll", "select count(*) from history_msg where tagmsg like '%lumfile:%'"), 0);
}

// The one-to-one chat pane: 发送 sends what was typed; the picture button
// puts the chosen picture into the typed text; the font bar's bold and
// colour take effect for what is typed; "消息记录" opens the history; a
// file offered by the contact, accepted, asks the rendezvous server for the
// contact; 关闭 puts the window away.
TEST_F(PageCommandsTest, ChatPaneButtons)
{
    Main().SelectTab(IDC_BTN_TAB_FRIENDS);
    DoubleClick(Friends(), RowOf(Friends(), kWang));
    CKivDlgChatUser* chat = nullptr;
    ASSERT_TRUE(lumui::PumpUntil([&] { return (chat = ChatOf(Friends(), kWang)) && chat->IsWindowVisible(); }, 5000));
    CDlgChatMsgList& pane = chat->m_dlgMsgList;
    ASSERT_TRUE(WaitPage(pane));
    auto typed = [&] { return Eval(&pane, "document.getElementById('MsgWriteIFrame').contentDocument.body.innerHTML"); };

    pane.InsertWriteText("下午见");
    Click(&pane, "#ButtonOK");
    ASSERT_TRUE(WaitServiceCalls("SendUserMsg", 1)) << "发送 (ButtonOK)";
    EXPECT_NE(ServiceCalls("SendUserMsg")[0].Arg(5).s.find("下午见"), std::string::npos);
    EXPECT_TRUE(WaitHistory(pane, "下午见"));

    const std::string picture = dir_.file("pic.png");
    std::filesystem::copy_file(std::string(LUM_STANDIN_WWW) + "/upload/face/10004.png", picture);
    fileChoice_ = picture;
    Click(&pane, "#ImgSendImage");
    EXPECT_TRUE(lumui::PumpUntil([&] { return typed().find("<img") != std::string::npos; }, 5000))
        << "图片 (ImgSendImage): " << typed();

    ChatFont& font = GetChatFont();
    const int bold = font.bold;
    Click(&pane, "#fontBold");
    EXPECT_TRUE(lumui::PumpUntil([&] { return font.bold != bold; }, 5000)) << "粗体 (updateFontSet)";
    services_.SetColorDialog([](COLORREF& color) {
        color = RGB(0xCC, 0x00, 0x33);
        return IDOK;
    });
    Click(&pane, "#imgColor");
    EXPECT_TRUE(lumui::PumpUntil([&] { return font.color == "#CC0033"; }, 5000))
        << "字体颜色 (imgColor): " << font.color.GetString();

    Click(&pane, "#ImgShowHistory");
    EXPECT_NE(WaitWindow("与王芳的聊天记录"), nullptr) << "消息记录 (ImgShowHistory)";

    // A file the contact offers, accepted into a folder.
    Receive(kWang, 1, "<file id='F7'>/home/wang/report.txt</file>");
    ASSERT_TRUE(WaitHistory(pane, "F7_span"));
    const std::string folder = dir_.path();
    services_.SetFolderDialog([&](const CString&) { return CString(folder.c_str()); });
    ClickInHistory(pane, "#F7_span a");
    EXPECT_TRUE(lumui::PumpUntil(
        [&] {
            for (const auto& r : rendezvous_.Requests())
                if (r.cmd == 11 && r.fromid == kOwn && r.toid == kWang) return true;
            return false;
        },
        10000))
        << "接收 (TrunFile)";

    Click(&pane, "#ButtonClose");
    EXPECT_TRUE(lumui::PumpUntil([&] { return !chat->IsWindowVisible(); }, 5000)) << "关闭 (HTMLCloseDlg)";
}

// A request to join the own group, shown in its chat: "同意" tells the
// service and the requester joins the member list.
TEST_F(PageCommandsTest, GroupPaneAcceptsAJoinRequest)
{
    Main().SelectTab(IDC_BTN_TAB_GROUPS);
    DoubleClick(Groups(), RowOf(Groups(), kOwnGroup));
    CKivDlgChatGroup* chat = nullptr;
    ASSERT_TRUE(lumui::PumpUntil(
        [&] {
            chat = GroupChatOf(kOwnGroup);
            return chat && chat->IsWindowVisible() && chat->m_dlgMsgList.m_listMembers.GetItemCount() == 3;
        },
        5000));
    ASSERT_TRUE(WaitPage(chat->m_dlgMsgList));
    ReceiveGroup(kZhao, kOwnGroup, "<info cmd='join' fromname='赵磊'/>");
    ASSERT_TRUE(WaitHistory(chat->m_dlgMsgList, "申请加入该群"));
    ClickInHistory(chat->m_dlgMsgList, "span[id^=joinGroup_10006] a");
    ASSERT_TRUE(WaitServiceCalls("DealJoinGroupResp", 1)) << "同意 (AccessJoinGroup)";
    EXPECT_EQ(ServiceCalls("DealJoinGroupResp")[0].Arg(3).i, kZhao);
    EXPECT_EQ(ServiceCalls("DealJoinGroupResp")[0].Arg(4).i, kOwnGroup);
    EXPECT_GE(RowOf(chat->m_dlgMsgList.m_listMembers, kZhao), 0);
    EXPECT_TRUE(WaitHistory(chat->m_dlgMsgList, "已经同意申请！"));
}

// The skin chooser: a picture makes the panel's skin (kept for the next
// start) and puts the chooser away; its OK puts it away too.
TEST_F(PageCommandsTest, SkinChooserPictureChangesTheSkin)
{
    ClickControl(Main().m_btnSkin);
    ASSERT_TRUE(lumui::PumpUntil([&] { return Main().m_pDlgSkin && Main().m_pDlgSkin->IsWindowVisible(); }, 5000));
    CDHtmlDialog* page = Main().m_pDlgSkin.get();
    ASSERT_TRUE(WaitEval(page, "document.readyState", "complete"));
    Click(page, "#skin2");
    EXPECT_TRUE(lumui::PumpUntil([&] { return !Main().m_pDlgSkin->IsWindowVisible(); }, 5000));
    const std::string skin = CDlgBase::m_sBgImgName.GetString();
    const std::string chosen = "theme/skin-02.jpg";
    EXPECT_TRUE(skin.size() > chosen.size() && skin.compare(skin.size() - chosen.size(), chosen.size(), chosen) == 0)
        << "a picture (changeSkin): " << skin;
    EXPECT_EQ(StoreCount("KivSys.dll", "select count(*) from Prefor where userid=10001 and key='skin' and "
                                       "value='skin-02.jpg'"),
              1);

    ClickControl(Main().m_btnSkin);
    ASSERT_TRUE(lumui::PumpUntil([&] { return Main().m_pDlgSkin->IsWindowVisible(); }, 5000));
    Click(page, "#ButtonOK");
    EXPECT_TRUE(lumui::PumpUntil([&] { return !Main().m_pDlgSkin->IsWindowVisible(); }, 5000)) << "确定 (ButtonOK)";
}

}  // namespace commands
