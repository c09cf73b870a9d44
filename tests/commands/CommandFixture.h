// The command-coverage suite: the real main window, logged in as 张伟 (10001)
// through its login window against the stand-in service, web and rendezvous
// servers, with every feature module built beside the program in its own
// program folder. Each command is given as a person gives it (a menu item
// chosen in the popup that a click opened, a button pressed) and each test
// asserts what the person sees: a window with its caption, a pane line, a
// list row, a request the stand-in logged with its fields, a store row.
//
// Command -> test. One file per area.
//
// Main window tool and panel buttons (MainCommandsTest.cpp)
//   1 search, 1013 EN_SETFOCUS  MainCommandsTest.SearchButtonOpensTheDropDownAndAClickOnThePanelHidesIt
//   1008 message centre         MainCommandsTest.ToolButtonsOpenTheirWindows
//   1009 SMS notice             MainCommandsTest.ToolButtonsOpenTheirWindows
//   1010 settings (hidden)      MainCommandsTest.ToolButtonsOpenTheirWindows
//   1011 message manager        MainCommandsTest.ToolButtonsOpenTheirWindows
//   1012 skin chooser           MainCommandsTest.SkinChooserOpensAndIsDismissedByAClickOrItsButtons
//   1014, 1015, 1016 tabs       MainCommandsTest.TabsShowTheirLists
//   1021 main menu              MainCommandsTest.MainMenuOffersItsCommandsAndEachOpensItsWindow
//   1047 status menu            MainCommandsTest.StatusAndTrayMenusChangeTheOwnStatus
//   3045 focus message          MainCommandsTest.SearchButtonOpensTheDropDownAndAClickOnThePanelHidesIt
//   topic line (3027)           MainCommandsTest.TopicLineShowsOnThePanel
// Main menu, ShowMainMenu (MainCommandsTest.cpp)
//   9036, 9067, 9026, 9035, 9069, 9070, 9064
//                               MainCommandsTest.MainMenuOffersItsCommandsAndEachOpensItsWindow
//   9065 log out                MainCommandsTest.LogOutShowsTheLoginWindowAndEmptiesTheLists
//   9066 exit                   MainCommandsTest.ExitEndsTheSessionAtTheService
// Status and tray menu, ShowTaskBarMenu (MainCommandsTest.cpp)
//   tray left click             MainCommandsTest.TrayClickOpensTheNewestUnreadChat
//   tray right click            MainCommandsTest.StatusAndTrayMenusChangeTheOwnStatus
//   9071, 9072, 9073            MainCommandsTest.StatusAndTrayMenusChangeTheOwnStatus
//   9063 (offered, no handler)  MainCommandsTest.StatusAndTrayMenusChangeTheOwnStatus
//   9074 own profile            MainCommandsTest.StatusMenuOpensTheProfile
// Main window commands no menu of the program offers
//   9075 settings               MainCommandsTest.StatusMenuOpensTheProfile
//   9027 discussion group       MainCommandsTest.CommandsNoMenuOffersStillWork
//   9059 help                   MainCommandsTest.CommandsNoMenuOffersStillWork
// Friend list, ShowFriendMenu and ShowFriendBlankMenu (ContactCommandsTest.cpp)
//   9028, 9035, 9030, 9052      ContactCommandsTest.FriendMenuOpensChatCardHistoryAndSms
//   9044 edit remark            ContactCommandsTest.FriendMenuEditsTheRemark
//   9046 delete friend          ContactCommandsTest.FriendMenuDeletesAFriend
//   9036 (blank area)           ContactCommandsTest.BlankAreaOfTheFriendListAddsAFriend
//   9029, 9051, 9053 (no menu)  ContactCommandsTest.ContactCommandsNoMenuOffersStillWork
//   9037 (no menu)              ChatCommandsTest.ListInviteAndAddAsFriendReachTheSearchModule
//   opening a chat with waiting lines (search drop-down, message centre)
//                               ContactCommandsTest.OpeningAContactFromTheSearchDropDownShowsItsWaitingLines
//                               ContactCommandsTest.LinesRepliedToInTheMessageCentreAreNotShownAgain
//   the list's module at quit   ContactCommandsTest.ACardOpenedFromTheListGoesWithTheMainWindow
// Stranger list, ShowStrangerMenu (ContactCommandsTest.cpp)
//   9028, 9030, 9052            ContactCommandsTest.StrangerMenuOpensChatCardAndHistory
//   9043 add as friend          ChatCommandsTest.ListInviteAndAddAsFriendReachTheSearchModule
//   9077 delete stranger        ContactCommandsTest.StrangerMenuDeletesAStranger
// Group list, ShowGroupBlankMenu, ShowGroupMasterMenu, ShowGroupNoMasterMenu
// (GroupCommandsTest.cpp)
//   9067, 9026 (blank area)     GroupCommandsTest.BlankAreaOfTheGroupListCreatesAndFindsGroups
//   9034, 9035, 9041, 9042      GroupCommandsTest.GroupMenusOpenChatSmsHistoryAndInformation
//   9039, 9040                  GroupCommandsTest.OwnersMenuEditsInformationAndAddsMembers
//   9048, 9049                  GroupCommandsTest.QuittingAndDissolvingAskFirstAndTellTheService
//   9031, 9032, 9033            GroupCommandsTest.SmsBlockingDaysReachTheService
//   9038 (no menu)              GroupCommandsTest.GroupCardEditorOpensFromTheGroupListAndTheMemberList
// Member list of a group chat, ShowGroupMasterMemberMenu and
// ShowGroupNoMasterMemberMenu (GroupCommandsTest.cpp)
//   9028, 9035, 9030, 9052      GroupCommandsTest.MemberMenusOpenChatSmsCardAndHistory
//   9038 edit group card        GroupCommandsTest.GroupCardEditorOpensFromTheGroupListAndTheMemberList
//   9081, 9082 deputy owner     GroupCommandsTest.DeputyOwnerChangeOutlivesARefresh
//   9047 delete member          GroupCommandsTest.OwnerDeletesAMemberButNotHimself
//   9043, 9029 (not the owner)  GroupCommandsTest.MemberMenuOfAnotherOwnersGroupAddsAsFriendAndBlackLists
//   member chats at log-out     GroupCommandsTest.ChatsOpenedFromAMemberListGoAtLogOut
// Chat windows (ChatCommandsTest.cpp)
//   user 1022, 1023             ChatCommandsTest.AddAsFriendAndInviteReachTheSearchModule
//   user 1016, 1024, 1025       ChatCommandsTest.UserChatSmsFileAndBlackList
//   group 1025 + 9031..9033, 1016, 1022 + 9078..9080
//                               ChatCommandsTest.GroupChatBlocksSmsAndChangesItsType
//   a flashed group chat going  GroupCommandsTest.AChatThatFlashedCanGoAtOnce
// Offered by no menu and handled by no window (their items are removed
// before any menu shows): 9045, 9050, 9055-9058, 9060-9062, 9068, 9076.
//
// Page buttons that reach native code (PageCommandsTest.cpp), with the
// native call they make and, where the module's frame has buttons of its
// own, those. P. is PageCommandsTest.
// Chat panes
//   发送 ButtonOK, 图片 ImgSendImage, 消息记录 ImgShowHistory, 粗体 (and the
//   other font choices: updateFontSet), 字体颜色 imgColor, 接收 (TrunFile),
//   关闭 (HTMLCloseDlg)        P.ChatPaneButtons
//   同意 a join request (AccessJoinGroup)
//                               P.GroupPaneAcceptsAJoinRequest
// Skin chooser
//   the pictures (changeSkin), 确定 ButtonOK
//                               P.SkinChooserPictureChangesTheSkin
//   取消 ButtonCancel, the colour fields
//                               MainCommandsTest.SkinChooserOpensAndIsDismissedByAClickOrItsButtons
// Member import window
//   the tree's invitation (确定), 搜索添加 (1049)
//                               P.MemberSearchInvitesTheChosenUser
// Search module (Sorvan)
//   加为好友: 确定 (addFrdSuc), 取消 (onCancel); 邀请加入我的群: 取消 (onCancel)
//                               P.AddFriendAndInvitationWindowsButtons
//   user results: a row (getId), 查看资料 (view_friend_info), 加为好友 (7004,
//   addFrdSuc)                  P.UserSearchResultsAddTheChosenUserAndOpenCards
//   group results: a row (getId), 查看资料 (view_group_info), 加入该群 (7005)
//                               P.GroupSearchResultsAskToJoinAndOpenCards
// Cards and editors (Vistel)
//   card: 确定 (8000: SendRemarkToMain, CloseWindow), 取消 (8001)
//                               P.CardSavesARemarkIntoTheFriendList
//   remark editor: 确定 (SendToMain), 取消 (CloseWindow)
//                               P.RemarkEditorSavesIntoTheFriendList
//   group card editor: 确定 (SendGrpCardToMain)
//                               P.GroupCardEditorSavesIntoTheMemberList
// Group editor (Clanor)
//   应用 (6002, SendGrpEditToMain), 更换群头像 (SendGrpHeadToMain), 确定 (6000,
//   SendGrpCardToMain, CloseWindow), 取消 (6001)
//                               P.GroupEditorRenamesTheGroupAndChangesItsPhotoAndCard
// Group creation and members (Adhor)
//   创建 (4000, SetGroupInfo), 重填 (4001)
//                               P.CreatingAGroupAddsItToTheGroupList
//   查找, 上一页 and 下一页 (4006, 4007), details (ShowMemberInfo), a tick
//   and 确定 (4004, GetSelIDs), 关闭 (4005); invitation 确定 (ConfirmSubmit, ShowSendTip); its tip's
//   关闭 (CloseWindow)          P.MemberSearchInvitesTheChosenUser
// Settings (Prefor)
//   a black-list entry's 删除 and 应用 (5000, SendRemoveBlackToMain), 浏览
//   (SelectSoundPath, SelectSavePath), 修改密码, 确定 (1: SetSysProp, 10027),
//   取消 (2)                    P.SettingsWindowButtons
// Message centre (Parlet)
//   a sender (getId) and 回复 REPLY
//                               P.MessageCentreRepliesToTheChosenSender
//   回复全部 REPLYALL           ContactCommandsTest.LinesRepliedToInTheMessageCentreAreNotShownAgain
// SMS notice to one recipient (Bellwick)
//   发送 ButtonOk (sendSMS)     P.SmsNoticeToAFriendSendsAndCloses
// Profile (Mievo)
//   更换头像 (OpenDlgHeadPhoto), 应用 (3000, ModiUserInfoMain), 确定 (3001,
//   CloseWindow); head photo: 上传 (ConfirmHeadChg), 取消 (CloseDialog)
//                               P.ProfileSavesTheNameAndTheHeadShowsOnThePanel
// History (Quillon)
//   message manager: a folder (showMember), a contact (showChatRecords),
//   下一页 (chanagePage), 查找 (searchConditions), 时间分组 and 刷新
//   (refresh), 删除 (deleteChatRecords)
//                               P.MessageManagerShowsSearchesAndDeletesTheStoredHistory
//   history viewer: 下一页, 上一页 (chanagePage)
//                               P.HistoryViewerTurnsItsPages
// Page buttons that reach only the page or the web server: the tabs of the
// settings, profile and group editor pages, 拒绝 of an offered file or a
// join request, the face and greeting pickers, the invitation's 确定 in the
// search module, the results' 查找 and paging, the standard SMS page's
// 发送, the member-import tree's 添加 and 删除.
// Called by pages as they load or resize, no button: updateHtmlDlg,
// updateHtmlDialog, RefreshWindow, RefreshDialog, ShowCurrentPage,
// ShowTotalPage. Defined and never called by any page: HTMLSendMsg,
// ShowAddSucc (so the creation's success step with its 4002 and 4003 is
// never reached), createCompleted, HideWindow. Not shown (display:none; the
// frames' own buttons do their work): ButtonOK and ButtonCancel of the
// settings, message manager and history viewer pages. No handler at all:
// the chat pane's 截图. Does nothing when clicked: the one-recipient SMS
// page's 取消 (its OnCancel is empty; the close box closes the window).
#pragma once

#include "Common/records/Data.h"
#include "Lum/KivApp.h"
#include "Lum/KivDlg.h"
#include "Lum/chat/KivDlgChat.h"
#include "Lum/LumResource.h"
#include "platform/dhtml.h"
#include "platform/uiapp.h"
#include "platform/uitest.h"
#include "tests/platform/TempDir.h"
#include "tests/platform/TestServices.h"
#include "tests/standin/RendezvousServer.h"
#include "tests/standin/StandinService.h"
#include "tests/standin/StandinWeb.h"
#include "tests/standin/WireFormat.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace commands {

const int kOwn = 10001;     // 张伟, who logs in
const int kLina = 10002;    // friend 李娜 (remark 娜娜)
const int kWang = 10003;    // friend 王芳
const int kLiu = 10004;     // friend 刘洋 (remark 刘老师), owner of group 501
const int kChen = 10005;    // 陈静, in groups 502 and 503 with 10001
const int kZhao = 10006;    // 赵磊, in no list of 10001 (added to the seed): a stranger
const int kClass = 501;     // 计算机一班, owned by 10004
const int kBadminton = 502; // 羽毛球爱好者, owned by 10002
const int kOwnGroup = 503;  // 学习小组, owned by 10001 (added to the seed)

// A service request as the stand-in received it, decoded.
struct ServiceCall {
    std::string method;
    standin::Value args;
    // An argument's field, or the empty value.
    const standin::Value& Arg(int16_t id) const;
};

class CommandTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // ---- the session
    CKivDlg& Main() { return *main_; }
    CKivApp& App() { return *app_; }
    // Logs the own user in through the login window and waits for the lists.
    void LogIn();
    // Starts the program's main window anew (after Quit) and logs in.
    void OpenMain();

    // ---- windows
    // The top-level window shown with this caption, waiting up to `timeoutMs`.
    CWnd* WaitWindow(const std::string& caption, int timeoutMs = 20000);
    // Whether a window with this caption is shown now.
    bool Shown(const std::string& caption);
    // Waits for a window with this caption to go.
    bool WaitGone(const std::string& caption, int timeoutMs = 10000);
    // Closes the window with this caption when one is shown.
    void CloseWindow(const std::string& caption);
    // A screenshot of the screen into the screenshot folder.
    void Shot(const std::string& name);
    // The page inside a module's frame (null when none); waits for its
    // document.
    static CDHtmlDialog* PageOf(CWnd* frame, int timeoutMs = 20000);
    // A script expression evaluated in a page, as text.
    static std::string Eval(CDHtmlDialog* page, const std::string& expression);
    // Waits until the page has drawn two frames since the call (for a
    // picture of it).
    static bool WaitPainted(CDHtmlDialog* page);
    // Pumps until the expression evaluates to `expected` in the page.
    static bool WaitEval(CDHtmlDialog* page, const std::string& expression, const std::string& expected,
                         int timeoutMs = 15000);

    // Arranges for `work` to run, from inside the modal loop of the window
    // with this caption, once that window shows (the command that opens it
    // returns only when it is closed); `work` must close it. `seen` tells
    // whether it ran.
    void WhenModalShows(const std::string& caption, std::function<void(CWnd*)> work, bool* seen);

    // ---- menus and buttons
    // Runs `open` (which shows a popup menu and returns when it closes) and
    // chooses `id` in the menu: true when the menu offered it. The ids the
    // menu offered go to `offered` when given.
    bool ChooseFromMenu(const std::function<void()>& open, UINT id, std::vector<UINT>* offered = nullptr);
    // A right click on a row of a list (-1: below the last row).
    static void RightClick(CListCtrl& list, int row);
    static void DoubleClick(CListCtrl& list, int row);
    static void ClickRow(CListCtrl& list, int row);
    // Quits: the main window and everything it owns go, as at the end of
    // the program.
    void Quit();
    // Clicks a page element through its script (as its onclick runs).
    static void ClickElement(CDHtmlDialog* page, const std::string& id);
    // A click on a control of a window, as the pointer gives it.
    static void ClickControl(CWnd& control);
    // The row of a list whose item data is `id` (-1 when none).
    static int RowOf(CListCtrl& list, int id);
    // Chooses `id` from the popup a right click on the row of `itemId` opens.
    bool RowCommand(CListCtrl& list, int itemId, UINT id, std::vector<UINT>* offered = nullptr);

    // ---- chat windows
    CKivDlgChatUser* ChatOf(CKivUsersListCtrl& list, int id);
    CKivDlgChatGroup* GroupChatOf(int gid);
    // Waits for the chat pane's page, then its history area's markup.
    static std::string History(CDlgChatMsgListBase& pane);
    static bool WaitPage(CDlgChatMsgListBase& pane);
    // Pumps until the history area of the pane holds `part`.
    static bool WaitHistory(CDlgChatMsgListBase& pane, const std::string& part, int timeoutMs = 10000);

    // ---- what the stand-ins saw
    std::vector<ServiceCall> ServiceCalls(const std::string& method) const;
    // Waits for `n` calls of `method` (and a little more, so that one too
    // many shows).
    bool WaitServiceCalls(const std::string& method, size_t n, int timeoutMs = 8000);
    std::vector<standin::WebRequest> WebCalls(const std::string& path) const;
    bool WaitWebCall(const std::string& path, int timeoutMs = 15000);
    // A message sent by another user through the service, taken in by the
    // heartbeat as the service delivers it.
    void Receive(int from, int gid, const std::string& content);
    void ReceiveGroup(int from, int gid, const std::string& content);
    // Runs the heartbeat once and waits until it ended.
    void Heartbeat();

    // ---- the stores
    // The number of rows `sql` counts (-1 on error) in a store of the own
    // user's folder ("User.dll", "MsgRecords.dll") or the system store.
    int StoreCount(const std::string& store, const std::string& sql) const;

    // ---- message boxes and the shell
    // Texts of the boxes shown; `answer_` is what every box answers.
    std::vector<std::string> boxes_;
    int answer_ = IDOK;
    std::vector<std::string> opened_;   // files and addresses the shell was asked to open
    std::string fileChoice_;            // what file dialogs answer ("" cancels)

    std::vector<std::shared_ptr<CWnd>> timers_;  // the steps of WhenModalShows
    TempDir dir_;
    TestServices services_;
    standin::StandinService service_;
    std::unique_ptr<standin::StandinWeb> web_;
    standin::RendezvousServer rendezvous_;
    std::unique_ptr<CKivApp> app_;
    std::unique_ptr<CKivDlg> main_;
};

}  // namespace commands
