// The main window's buttons, its main menu, the status and tray menus.
#include "Lum/DlgChangeSkin.h"
#include "Lum/KivMessages.h"
#include "Lum/contacts/KivSearchList.h"
#include "base/MenuCommands.h"
#include "platform/shellapi.h"
#include "tests/commands/CommandFixture.h"
#include "tests/platform/UiWait.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

namespace commands {
namespace {

class MainCommandsTest : public CommandTest {
protected:
    // The child window of the main panel that shows `text` (null when none).
    CWnd* PanelControlShowing(const std::string& text)
    {
        for (HWND hwnd : lumui::DescendantWindows(Main().m_hWnd)) {
            CWnd* wnd = CWnd::FromHandle(hwnd);
            CString shown;
            if (wnd) wnd->GetWindowText(shown);
            if (wnd && shown.GetString() == text && wnd->IsWindowVisible()) return wnd;
        }
        return nullptr;
    }

    // Types into the quick-search box and presses the search button.
    void Search(const char* text)
    {
        Main().m_editSearch.SetWindowText(text);
        ClickControl(Main().m_btnSearch);
    }

    // Chooses `id` from the main menu that the main-menu button opens.
    bool MainMenu(UINT id, std::vector<UINT>* offered = nullptr)
    {
        return ChooseFromMenu([&] { ClickControl(Main().m_btnMainMenu); }, id, offered);
    }
    // Chooses `id` from the status menu that the status button opens.
    bool StatusMenu(UINT id, std::vector<UINT>* offered = nullptr)
    {
        return ChooseFromMenu([&] { ClickControl(Main().m_btnStatus); }, id, offered);
    }
    // The status button as drawn: a few pixels across it (with the pointer
    // elsewhere, so that it does not show its hover look).
    std::vector<DWORD> StatusPicture()
    {
        CRect list;
        Main().m_listGroup.GetWindowRect(&list);
        lumui::SendMouse(Main().m_listGroup.m_hWnd, WM_MOUSEMOVE, list.CenterPoint().x, list.CenterPoint().y);
        // The button told the pointer left, and drawn as it is now.
        uiwait::QueuedWorkDone();
        Main().m_btnStatus.Invalidate();
        Main().m_btnStatus.UpdateWindow();
        std::vector<DWORD> pixels;
        CRect r;
        Main().m_btnStatus.GetClientRect(&r);
        for (int x = 1; x < r.Width(); x += 2) pixels.push_back(lumui::WindowPixel(Main().m_btnStatus.m_hWnd, x, r.Height() / 2));
        return pixels;
    }
    HICON TrayIcon() { return lumui::TrayState(Main().m_hWnd, 2023).icon; }

    CDlgSearchListctrl* DropDown() { return FindSearchDropDown(&Main()); }
    bool DropDownShown()
    {
        CDlgSearchListctrl* drop = DropDown();
        return drop && drop->m_hWnd && drop->IsWindowVisible();
    }
    bool ChooserShown() { return Main().m_pDlgSkin && Main().m_pDlgSkin->IsWindowVisible(); }
};

}  // namespace

// The skin chooser opens under its button; a click elsewhere on the panel,
// or its own cancel button, puts it away without choosing a skin.
TEST_F(MainCommandsTest, SkinChooserOpensAndIsDismissedByAClickOrItsButtons)
{
    ClickControl(Main().m_btnSkin);
    ASSERT_TRUE(lumui::PumpUntil([&] { return ChooserShown(); }, 5000)) << "no skin chooser";
    CDHtmlDialog* page = Main().m_pDlgSkin.get();
    ASSERT_TRUE(WaitEval(page, "document.readyState", "complete"));
    // The picture once the theme pictures are in and drawn.
    EXPECT_TRUE(WaitEval(page, "Array.prototype.every.call(document.images, function (i) { return i.naturalWidth > 0; })",
                         "true"));
    EXPECT_TRUE(WaitPainted(page));
    Shot("commands-skin-chooser.png");

    // A click on the panel's list puts it away.
    ClickControl(Main().m_listGroup);
    EXPECT_TRUE(lumui::PumpUntil([&] { return !ChooserShown(); }, 3000)) << "a click on the panel left the chooser open";

    // Its cancel button is there to be clicked, and puts it away too; the
    // skin stays as it was.
    const CString skinBefore = CDlgBase::m_sBgImgName;
    Main().SendMessage(WM_COMMAND, IDM_SKIN, 0);
    ASSERT_TRUE(lumui::PumpUntil([&] { return ChooserShown(); }, 5000));
    EXPECT_TRUE(WaitEval(page, "document.getElementById('ButtonCancel').offsetWidth > 0", "true"))
        << "the cancel button is not shown";
    Eval(page, "setTimeout(function(){document.getElementById('ButtonCancel').click();},50),1");
    EXPECT_TRUE(lumui::PumpUntil([&] { return !ChooserShown(); }, 3000)) << "cancel left the chooser open";
    EXPECT_EQ(CDlgBase::m_sBgImgName, skinBefore);

    // A click in the chooser's own colour field still chooses the colour.
    ClickControl(Main().m_btnSkin);
    ASSERT_TRUE(lumui::PumpUntil([&] { return ChooserShown(); }, 5000));
    const COLORREF before = RGB(CDlgBase::m_R, CDlgBase::m_G, CDlgBase::m_B);
    ClickControl(Main().m_pDlgSkin->m_ctrlHueSat);
    EXPECT_TRUE(lumui::PumpUntil([&] { return !ChooserShown(); }, 3000));
    EXPECT_EQ(CDlgBase::m_IsAppBgColor, 1);
    EXPECT_NE(RGB(CDlgBase::m_R, CDlgBase::m_G, CDlgBase::m_B), before);
}

// The search button opens the drop-down with the matches; a click on the
// panel or the focus moving elsewhere (3045) puts it away, while the
// focus inside the drop-down keeps it.
TEST_F(MainCommandsTest, SearchButtonOpensTheDropDownAndAClickOnThePanelHidesIt)
{
    // The box empties when it gets the focus (1013 EN_SETFOCUS).
    Main().m_editSearch.SetFocus();
    CString text;
    EXPECT_TRUE(lumui::PumpUntil(
        [&] {
            Main().m_editSearch.GetWindowText(text);
            return text.IsEmpty();
        },
        3000))
        << text.GetString();

    Search("娜");
    ASSERT_TRUE(lumui::PumpUntil([&] { return DropDownShown(); }, 3000)) << "no drop-down";
    EXPECT_EQ(DropDown()->m_list.GetItemCount(), 1);
    EXPECT_EQ(DropDown()->m_list.GetItemText(0, 0), "李娜");
    Shot("commands-search-dropdown.png");

    ClickControl(Main().m_listGroup);
    EXPECT_TRUE(lumui::PumpUntil([&] { return !DropDownShown(); }, 3000)) << "a click on the panel left it open";

    // The focus message: a window inside the drop-down keeps it, the
    // panel's box does not.
    Search("娜");
    ASSERT_TRUE(lumui::PumpUntil([&] { return DropDownShown(); }, 3000));
    EXPECT_EQ(Main().SendMessage(UM_SEARCH_FOCUS, reinterpret_cast<WPARAM>(DropDown()->m_list.m_hWnd), 0), 1);
    EXPECT_TRUE(DropDownShown());
    EXPECT_EQ(Main().SendMessage(UM_SEARCH_FOCUS, reinterpret_cast<WPARAM>(Main().m_editSearch.m_hWnd), 0), 1);
    EXPECT_FALSE(DropDownShown());

    // Moving the panel puts it away; a request that leaves the panel where
    // it is does not.
    Search("娜");
    ASSERT_TRUE(lumui::PumpUntil([&] { return DropDownShown(); }, 3000));
    CRect panel;
    Main().GetWindowRect(&panel);
    Main().SetWindowPos(nullptr, panel.left, panel.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    EXPECT_TRUE(DropDownShown());
    Main().SetWindowPos(nullptr, panel.left - 40, panel.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    EXPECT_FALSE(DropDownShown());
}

// The topic line the web server gives shows on the panel.
TEST_F(MainCommandsTest, TopicLineShowsOnThePanel)
{
    std::ifstream in(std::string(LUM_STANDIN_WWW) + "/topic.txt");
    std::string topic;
    std::getline(in, topic);
    ASSERT_FALSE(topic.empty());
    EXPECT_TRUE(lumui::PumpUntil([&] { return PanelControlShowing(topic) != nullptr; }, 10000))
        << "the topic is not shown";
    Shot("commands-main-topic.png");
}

}  // namespace commands

namespace commands {

// The tool buttons: the message centre, the SMS notice, the message manager
// and (by its command only, the button is never shown) the settings. The
// centre and the notice share the main window's slot: one replaces the other.
TEST_F(MainCommandsTest, ToolButtonsOpenTheirWindows)
{
    ClickControl(Main().m_btnMessages);
    ASSERT_NE(WaitWindow("消息中心"), nullptr) << "1008 opened no message centre";
    ClickControl(Main().m_btnSms);
    CWnd* sms = WaitWindow("通知短信");
    ASSERT_NE(sms, nullptr) << "1009 opened no SMS notice";
    EXPECT_TRUE(WaitGone("消息中心")) << "the slot's previous module kept its window";
    // The notice lists the friends to choose from.
    CDHtmlDialog* page = PageOf(sms);
    EXPECT_NE(page, nullptr);
    ClickControl(Main().m_btnHistory);
    ASSERT_NE(WaitWindow("消息管理器"), nullptr) << "1011 opened no message manager";
    EXPECT_FALSE(Main().m_btnSettings.IsWindowVisible());
    Main().SendMessage(WM_COMMAND, IDC_BTN_SETTINGS, 0);
    ASSERT_NE(WaitWindow("系统设置"), nullptr) << "1010 opened no settings";
    EXPECT_TRUE(Shown("消息管理器"));  // the history module is no slot module
    Shot("commands-tool-buttons.png");
}

// The three tabs show their lists, one at a time.
TEST_F(MainCommandsTest, TabsShowTheirLists)
{
    struct Tab {
        CCustomPngButton* button;
        CListCtrl* list;
    };
    const Tab tabs[] = {{&Main().m_btnTabFriends, &Main().m_listFriend},
                        {&Main().m_btnTabStrangers, &Main().m_listStranger},
                        {&Main().m_btnTabGroups, &Main().m_listGroup}};
    for (const Tab& tab : tabs) {
        ClickControl(*tab.button);
        for (const Tab& other : tabs) EXPECT_EQ(other.list->IsWindowVisible() != FALSE, other.list == tab.list);
    }
}

// The main menu offers what it should, and each command opens its window or
// page.
TEST_F(MainCommandsTest, MainMenuOffersItsCommandsAndEachOpensItsWindow)
{
    std::vector<UINT> offered;
    ASSERT_TRUE(MainMenu(IDM_ADD_FRIEND, &offered));
    EXPECT_EQ(offered, (std::vector<UINT>{IDM_ADD_FRIEND, IDM_CREATE_GROUP, IDM_FIND_GROUP, IDM_SMS_NOTICE,
                                          IDM_MESSAGE_MANAGER, IDM_SKIN, IDM_CHANGE_PASSWORD, IDM_LOGOUT, IDM_EXIT}));
    EXPECT_NE(WaitWindow("好友查找结果"), nullptr) << "9036";
    ASSERT_TRUE(MainMenu(IDM_CREATE_GROUP));
    EXPECT_NE(WaitWindow("创建群"), nullptr) << "9067";
    ASSERT_TRUE(MainMenu(IDM_FIND_GROUP));
    EXPECT_NE(WaitWindow("群组查找结果"), nullptr) << "9026";
    ASSERT_TRUE(MainMenu(IDM_SMS_NOTICE));
    EXPECT_NE(WaitWindow("通知短信"), nullptr) << "9035";
    ASSERT_TRUE(MainMenu(IDM_MESSAGE_MANAGER));
    EXPECT_NE(WaitWindow("消息管理器"), nullptr) << "9069";
    ASSERT_TRUE(MainMenu(IDM_SKIN));
    EXPECT_TRUE(lumui::PumpUntil([&] { return ChooserShown(); }, 5000)) << "9070";
    ASSERT_TRUE(MainMenu(IDM_CHANGE_PASSWORD));
    ASSERT_EQ(opened_.size(), 1u);
    EXPECT_EQ(opened_[0], web_->BaseUrl() + "/modify_pwd.jsp");
    EXPECT_TRUE(boxes_.empty());
}

// Log-out: the login window over the panel, the lists empty, offline.
TEST_F(MainCommandsTest, LogOutShowsTheLoginWindowAndEmptiesTheLists)
{
    ASSERT_TRUE(MainMenu(IDM_LOGOUT));
    EXPECT_TRUE(Main().m_dlgLogin.IsWindowVisible());
    EXPECT_EQ(Main().m_listFriend.GetItemCount(), 0);
    EXPECT_EQ(Main().m_listGroup.GetItemCount(), 0);
    EXPECT_EQ(Main().m_listStranger.GetItemCount(), 0);
    EXPECT_EQ(lumui::LayeredAlpha(Main().m_hWnd), 0);
    EXPECT_EQ(TrayIcon(), Main().m_hIconOffline);
    // No call tells the service.
    EXPECT_TRUE(ServiceCalls("exit").empty());
    Shot("commands-logged-out.png");
}

// Exit: the panel ends, and the end tells the service.
TEST_F(MainCommandsTest, ExitEndsTheSessionAtTheService)
{
    const std::string key = App().GetSessionKey();
    ASSERT_TRUE(MainMenu(IDM_EXIT));
    EXPECT_TRUE(lumui::PumpUntil([&] { return !Main().IsWindowVisible(); }, 3000)) << "the panel stayed";
    // The program's modal loop ends here and the window goes.
    Quit();
    ASSERT_TRUE(WaitServiceCalls("exit", 1));
    EXPECT_EQ(ServiceCalls("exit")[0].Arg(1).s, key);
}

// The status menu, from the status button and from the tray: away changes
// the status picture, offline the tray icon, online again logs in again;
// its "屏蔽群短信" changes nothing.
TEST_F(MainCommandsTest, StatusAndTrayMenusChangeTheOwnStatus)
{
    const std::vector<DWORD> online = StatusPicture();
    std::vector<UINT> offered;
    ASSERT_TRUE(StatusMenu(IDM_AWAY, &offered));
    EXPECT_EQ(offered,
              (std::vector<UINT>{IDM_ONLINE, IDM_AWAY, IDM_OFFLINE, IDM_PROFILE, IDM_BLOCK_GROUP_SMS, IDM_EXIT}));
    const std::vector<DWORD> away = StatusPicture();
    EXPECT_NE(away, online);
    ASSERT_TRUE(StatusMenu(IDM_ONLINE));
    EXPECT_NE(StatusPicture(), away);

    // The tray's menu is the same menu.
    ASSERT_TRUE(ChooseFromMenu([&] { lumui::ClickTray(Main().m_hWnd, 2023, WM_RBUTTONUP); }, IDM_OFFLINE, &offered));
    EXPECT_EQ(offered.size(), 6u);
    EXPECT_EQ(TrayIcon(), Main().m_hIconOffline);
    EXPECT_TRUE(App().GetSessionKey().empty());
    const size_t logins = ServiceCalls("login").size();
    ASSERT_TRUE(ChooseFromMenu([&] { lumui::ClickTray(Main().m_hWnd, 2023, WM_RBUTTONUP); }, IDM_ONLINE));
    EXPECT_TRUE(WaitServiceCalls("login", logins + 1)) << "going online did not log in again";
    EXPECT_TRUE(lumui::PumpUntil([&] { return !App().GetSessionKey().empty(); }, 10000));
    EXPECT_EQ(TrayIcon(), Main().m_hIcon);

    // Offered, handled by nobody: nothing happens.
    const std::vector<DWORD> before = StatusPicture();
    ASSERT_TRUE(StatusMenu(IDM_BLOCK_GROUP_SMS));
    EXPECT_EQ(StatusPicture(), before);
    EXPECT_TRUE(boxes_.empty());
}

// The status menu's own profile; the settings it carries in its template
// are offered by no menu (the hidden button and its command open them).
TEST_F(MainCommandsTest, StatusMenuOpensTheProfile)
{
    ASSERT_TRUE(StatusMenu(IDM_PROFILE));
    ASSERT_NE(WaitWindow("我的资料"), nullptr) << "9074";
    Main().SendMessage(WM_COMMAND, IDM_SETTINGS, 0);
    ASSERT_NE(WaitWindow("系统设置"), nullptr) << "9075";
    EXPECT_TRUE(WaitGone("我的资料"));  // one slot
}

// A click on the tray opens the newest unread chat with its lines.
TEST_F(MainCommandsTest, TrayClickOpensTheNewestUnreadChat)
{
    Receive(kLina, 1, "<span>你在哪？</span>");
    ASSERT_TRUE(lumui::PumpUntil([&] { return !Main().m_stackNewMsg.IsEmpty(); }, 5000));
    lumui::ClickTray(Main().m_hWnd, 2023, WM_LBUTTONDOWN);
    CWnd* chat = WaitWindow("与 好友 李娜 聊天...");
    ASSERT_NE(chat, nullptr);
    EXPECT_TRUE(WaitHistory(static_cast<CKivDlgChatUser*>(chat)->m_dlgMsgList, "你在哪？"));
    EXPECT_TRUE(Main().m_stackNewMsg.IsEmpty());
}

// Commands the main window carries out that no menu of this program offers.
TEST_F(MainCommandsTest, CommandsNoMenuOffersStillWork)
{
    // The discussion-group module is not part of the client.
    Main().SendMessage(WM_COMMAND, IDM_CREATE_DISCUSSION, 0);
    EXPECT_EQ(boxes_, std::vector<std::string>{"加载Confabel.dll失败,未能实现创建讨论组功能"});
    // Help opens the service's site.
    Main().SendMessage(WM_COMMAND, IDM_HELP, 0);
    EXPECT_EQ(opened_.size(), 1u);
}

}  // namespace commands
