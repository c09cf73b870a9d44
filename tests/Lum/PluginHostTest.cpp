// The plug-in host: modules loaded by their ".dll" name with their own
// resources, the main window's plug-in slot and history plug-in, the
// arguments every call hands over, the failure boxes, the SMS account test,
// message routing, and unloading that never leaves a window without its code.
#include "Lum/KivApp.h"
#include "Lum/KivDlg.h"
#include "Lum/chat/KivDlgChat.h"
#include "Lum/LumResource.h"
#include "Lum/modules/PluginModule.h"
#include "base/MenuCommands.h"
#include "platform/files.h"
#include "platform/module.h"
#include "platform/resources.h"
#include "platform/uiapp.h"
#include "tests/Lum/TestPluginExports.h"
#include "tests/platform/TempDir.h"
#include "tests/platform/TestServices.h"
#include "tests/platform/UiWait.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace {

std::string Ptr(const void* p)
{
    char text[32];
    snprintf(text, sizeof text, "%p", p);
    return text;
}

class PluginHostTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(lumui::Start());
        services_.SetProgramFolder(dir_.path() + "/");
        std::ofstream(dir_.file("plugin.log")).flush();
        services_.SetExitWaitMs(20);
        CKivUsersListCtrl::s_loadHead = [](CDataUser*) {};
        CKivGroupListCtrl::s_loadHead = [](CDataGroup*) {};
        CKivGroupListCtrl::s_storeGroup = [](CDataGroup*, void*) {};
        // The main window routes these to itself when they are unset.
        CKivUsersListCtrl::s_pluginCommand = nullptr;
        CKivGroupListCtrl::s_pluginCommand = nullptr;
        CKivDlgChatUser::s_pluginCommand = nullptr;
        CDlgChatMsgListBase::s_showHistory = nullptr;
        services_.SetMessageBox([this](HWND, const CString& text, const CString&, UINT) {
            boxes_.push_back(text.str());
            return IDOK;
        });
    }

    void TearDown() override
    {
        Close();
        CKivUsersListCtrl::s_loadHead = nullptr;
        CKivGroupListCtrl::s_loadHead = StartGroupHeadDownload;
        CKivGroupListCtrl::s_storeGroup = StartGroupStoreWrite;
        CKivUsersListCtrl::s_pluginCommand = nullptr;
        CKivGroupListCtrl::s_pluginCommand = nullptr;
        CKivDlgChatUser::s_pluginCommand = nullptr;
        CDlgChatMsgListBase::s_showHistory = nullptr;
    }

    // Puts the test plug-in beside the program under a plug-in's file name.
    void Install(const char* file)
    {
        std::filesystem::copy_file(TEST_PLUGIN_FILE, dir_.file(file));
    }

    // The main window, logged in as user 1 with `account`.
    void Open(const char* account = "13800000000")
    {
        app_ = std::make_unique<CKivApp>();
        main_ = std::make_unique<CKivDlg>();
        app_->m_pMainWnd = main_.get();
        ASSERT_TRUE(main_->Create(IDD_KIV_DIALOG, nullptr));
        app_->SetOwnUserId(1);
        app_->m_userSelf.m_nId = 1;
        app_->m_userSelf.m_strPhone = account;
        app_->m_strVerifyCode = "0123456789abcdef0123456789abcdef";
        main_->ConnectUserStores(1);
    }

    void Close()
    {
        if (!main_) return;
        app_->m_pMainWnd = nullptr;
        main_->DestroyWindow();
        main_.reset();
        uiwait::QueuedWorkDone();
        app_.reset();
    }

    void Command(UINT id) { main_->SendMessage(WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0); }

    // The plug-ins' log lines since the last call.
    std::vector<std::string> Log()
    {
        std::vector<std::string> lines;
        std::ifstream in(dir_.file("plugin.log"));
        std::string line;
        while (std::getline(in, line)) lines.push_back(line);
        std::vector<std::string> fresh(lines.begin() + static_cast<long>(std::min(seen_, lines.size())), lines.end());
        seen_ = lines.size();
        return fresh;
    }

    std::string Main() const { return Ptr(main_->m_hWnd); }

    TempDir dir_;
    TestServices services_;
    std::unique_ptr<CKivApp> app_;
    std::unique_ptr<CKivDlg> main_;
    std::vector<std::string> boxes_;
    size_t seen_ = 0;
};

using Lines = std::vector<std::string>;

TEST_F(PluginHostTest, ModuleIsLoadedByItsDllNameWithItsOwnResources)
{
    Install("libTestPlugin.so");
    EXPECT_EQ(LoadLibrary("Missing.dll"), nullptr);
    HMODULE module = LoadLibrary("TestPlugin.dll");
    ASSERT_NE(module, nullptr);
    EXPECT_EQ(Log(), Lines{"loaded"});

    // The handle is the module's own instance handle, current while its
    // exports run, and finds its resources (and only its own).
    auto handle = PluginExport(module, TestPluginExports::TestModuleHandle);
    auto inside = PluginExport(module, TestPluginExports::TestResourceHandleInside);
    ASSERT_TRUE(handle && inside);
    EXPECT_EQ(handle(), module);
    const HINSTANCE before = AfxGetResourceHandle();
    EXPECT_EQ(inside(), module);
    EXPECT_EQ(AfxGetResourceHandle(), before);
    HRSRC res = FindResource(module, MAKEINTRESOURCE(7001), RT_STRING);
    ASSERT_NE(res, nullptr);
    EXPECT_STREQ(static_cast<const char*>(LockResource(LoadResource(module, res))), "插件自己的资源");
    EXPECT_EQ(FindResource(AfxGetInstanceHandle(), MAKEINTRESOURCE(7001), RT_STRING), nullptr);
    EXPECT_EQ(GetProcAddress(module, "NoSuchExport"), nullptr);

    // A second load counts; the last free unloads and forgets its resources.
    EXPECT_EQ(LoadLibrary("TestPlugin.dll"), module);
    EXPECT_TRUE(FreeLibrary(module));
    EXPECT_TRUE(IsModuleLoaded(module));
    EXPECT_TRUE(FreeLibrary(module));
    EXPECT_FALSE(IsModuleLoaded(module));
    EXPECT_EQ(Log(), Lines{"unloaded"});
    EXPECT_EQ(FindResource(module, MAKEINTRESOURCE(7001), RT_STRING), nullptr);
    EXPECT_FALSE(FreeLibrary(module));

    // Loading again works.
    HMODULE again = LoadLibrary("TestPlugin.dll");
    ASSERT_NE(again, nullptr);
    EXPECT_NE(FindResource(again, MAKEINTRESOURCE(7001), RT_STRING), nullptr);
    EXPECT_TRUE(FreeLibrary(again));
    EXPECT_EQ(Log(), (Lines{"loaded", "unloaded"}));
}

TEST_F(PluginHostTest, EachFeatureWithoutItsFileShowsItsFailureBox)
{
    Open();
    boxes_.clear();
    for (UINT id : std::initializer_list<UINT>{IDC_BTN_SETTINGS, IDM_SETTINGS, IDM_SHOW_BLACK_LIST, IDM_CREATE_GROUP, IDC_BTN_SMS, IDM_SMS_NOTICE,
                    IDC_BTN_MESSAGES, IDM_PROFILE, IDM_ADD_FRIEND, IDM_FIND_GROUP, IDM_CREATE_DISCUSSION, IDC_BTN_HISTORY,
                    IDM_MESSAGE_MANAGER})
        Command(id);
    EXPECT_EQ(boxes_, (Lines{"加载Prefor.dll失败,未能实现系统设置功能", "加载Prefor.dll失败,未能实现系统设置功能",
                             "加载Prefor.dll失败,未能实现系统设置功能", "加载Adhor.dll失败,未能实现创建群功能",
                             "加载Bellwick.dll失败,未能实现通知短信功能", "加载Bellwick.dll失败,未能实现通知短信功能",
                             "加载Parlet.dll失败,未能实现通知短信功能", "加载Mievo.dll失败,未能实现个人资料设置功能",
                             "加载Sorvan.dll失败,未能实现添加好友功能", "加载Sorvan.dll失败,未能实现查找群功能",
                             "加载Confabel.dll失败,未能实现创建讨论组功能",
                             "加载Quillon.dll失败,未能实现查看历史消息功能",
                             "加载Quillon.dll失败,未能实现查看历史消息功能"}));
    EXPECT_EQ(main_->m_hPlugin, nullptr);
    EXPECT_EQ(main_->m_hQuillon, nullptr);

    // The group list's menu reaches the same handler.
    boxes_.clear();
    main_->m_listGroup.SendMessage(WM_COMMAND, IDM_CREATE_DISCUSSION, 0);
    EXPECT_EQ(boxes_, Lines{"加载Confabel.dll失败,未能实现创建讨论组功能"});

    // A file without the export: no box, the module stays in the slot.
    Install("libSorvan.so");
    boxes_.clear();
    Command(IDM_ADD_FRIEND);
    EXPECT_TRUE(boxes_.empty());
    EXPECT_NE(main_->m_hPlugin, nullptr);
    // A load failure ends the plug-in in the slot and leaves the slot empty.
    Command(IDM_CREATE_DISCUSSION);
    EXPECT_EQ(main_->m_hPlugin, nullptr);
    EXPECT_EQ(Log(), (Lines{"loaded", "ExitInstance", "unloaded"}));
}

TEST_F(PluginHostTest, OpeningAnotherFeatureEndsAndUnloadsThePluginInTheSlot)
{
    Install("libPrefor.so");
    Install("libParlet.so");
    Open();
    const std::string show = "Show 1 " + Ptr(&main_->m_dbSys) + " " + Main();

    Command(IDC_BTN_SETTINGS);
    EXPECT_EQ(Log(), (Lines{"loaded", show}));
    auto frame = PluginExport(main_->m_hPlugin, TestPluginExports::TestFrameWindow);
    ASSERT_NE(frame, nullptr);
    const HWND first = frame();
    EXPECT_TRUE(IsWindow(first));

    // Settings twice: the first window closes, Prefor is unloaded and loaded again.
    Command(IDM_SETTINGS);
    EXPECT_EQ(Log(), (Lines{"ExitInstance", "destroyed frame", "unloaded", "loaded", show}));
    EXPECT_FALSE(IsWindow(first));

    // The message centre shares the slot: the settings window closes.
    Command(IDC_BTN_MESSAGES);
    EXPECT_EQ(Log(), (Lines{"ExitInstance", "destroyed frame", "unloaded", "loaded",
                            "showMsgCenter " + Ptr(main_->m_stackNewMsg.GetList()) + " " + Main()}));
    EXPECT_TRUE(boxes_.empty());
    // (Its window is the one that refuses to close; see below.)
    for (HWND hwnd : GetModuleWindows(main_->m_hPlugin)) ::SendMessage(hwnd, WM_APP + 1, 0, 0);

    // Shut-down ends the plug-in in the slot.
    Command(IDC_BTN_SETTINGS);
    Log();
    Close();
    EXPECT_EQ(Log(), (Lines{"ExitInstance", "destroyed frame", "unloaded"}));
}

TEST_F(PluginHostTest, NoModuleIsUnloadedWhileOneOfItsWindowsIsOpen)
{
    Install("libPrefor.so");
    Install("libParlet.so");
    Open();

    // A window that ExitInstance does not know is closed before the module goes.
    Command(IDM_SHOW_BLACK_LIST);
    const std::vector<HWND> stray = GetModuleWindows(main_->m_hPlugin);
    ASSERT_EQ(stray.size(), 1u);
    Command(IDC_BTN_SETTINGS);
    EXPECT_FALSE(IsWindow(stray[0]));
    EXPECT_EQ(Log(), (Lines{"loaded", "ShowBlackList 1", "ExitInstance", "destroyed stray", "unloaded", "loaded",
                            "Show 1 " + Ptr(&main_->m_dbSys) + " " + Main()}));

    // A window that will not close keeps its module loaded, and working.
    Command(IDC_BTN_MESSAGES);
    HMODULE parlet = main_->m_hPlugin;
    const std::vector<HWND> stubborn = GetModuleWindows(parlet);
    ASSERT_EQ(stubborn.size(), 1u);
    Log();
    main_->FreeSlotPlugin();
    EXPECT_EQ(main_->m_hPlugin, nullptr);
    EXPECT_TRUE(IsWindow(stubborn[0]));
    EXPECT_TRUE(IsModuleLoaded(parlet));
    EXPECT_EQ(Log(), Lines{"ExitInstance"});
    EXPECT_EQ(::SendMessage(stubborn[0], WM_APP + 1, 0, 0), 1);
    EXPECT_FALSE(IsWindow(stubborn[0]));
}

TEST_F(PluginHostTest, CallsHandOverTheirArgumentsInOrder)
{
    Install("libQuillon.so");
    Install("libBellwick.so");
    Open("测试账号");
    ASSERT_NE(main_->m_hQuillon, nullptr);
    const std::string stores = Ptr(&main_->m_dbMsg) + " " + Ptr(&main_->m_dbUser);
    const std::string verify = "[0123456789abcdef0123456789abcdef]";

    // History: the message manager and the views of the lists and chat panes.
    Command(IDC_BTN_HISTORY);
    Command(IDM_MESSAGE_MANAGER);
    CDlgChatMsgListBase::s_showHistory(9, "王五", 1);
    CKivUsersListCtrl::s_pluginCommand(&main_->m_listStranger, IDM_VIEW_HISTORY, 12, "赵六");
    CKivGroupListCtrl::s_pluginCommand(&main_->m_listGroup, IDM_VIEW_GROUP_HISTORY, 30, "讨论组", 4);
    EXPECT_EQ(Log(), (Lines{"loaded", "showQuillon " + stores + " 1", "showQuillon " + stores + " 1",
                            "showHisMsg " + stores + " 9 [王五] 1", "showHisMsg " + stores + " 12 [赵六] 2",
                            "showHisMsg " + stores + " 30 [讨论组] 4"}));

    // One-recipient SMS notices: the name with one blank, the receiver type.
    CKivUsersListCtrl::s_pluginCommand(&main_->m_listFriend, IDM_SMS_NOTICE, 42, "张三");
    CKivGroupListCtrl::s_pluginCommand(&main_->m_listGroup, IDM_SMS_NOTICE, 77, "同学群", 0);
    EXPECT_TRUE(CKivDlgChatUser::s_pluginCommand(nullptr, 1016, 5, "李四 ", 1));
    EXPECT_EQ(Log(), (Lines{"loaded", "showFastSmsNotify 1 [测试账号] 42 [张三 ] 1 " + verify, "ExitInstance",
                            "unloaded", "loaded", "showFastSmsNotify 1 [测试账号] 77 [同学群 ] 0 " + verify,
                            "ExitInstance", "unloaded", "loaded",
                            "showFastSmsNotify 1 [测试账号] 5 [李四 ] 1 " + verify}));
    EXPECT_TRUE(boxes_.empty());

    // Shut-down frees the history plug-in without its ExitInstance.
    Close();
    const Lines last = Log();
    EXPECT_EQ(std::count(last.begin(), last.end(), "ExitInstance"), 1);  // Bellwick's only
    EXPECT_EQ(std::count(last.begin(), last.end(), "unloaded"), 2);
}

TEST_F(PluginHostTest, HistoryPluginIsLoadedAgainWhenAskedAndKeptAcrossTheSlot)
{
    Open();
    Command(IDC_BTN_HISTORY);
    EXPECT_EQ(boxes_, Lines{"加载Quillon.dll失败,未能实现查看历史消息功能"});
    Install("libQuillon.so");
    boxes_.clear();
    Command(IDM_MESSAGE_MANAGER);
    EXPECT_TRUE(boxes_.empty());
    HMODULE quillon = main_->m_hQuillon;
    ASSERT_NE(quillon, nullptr);
    Command(IDC_BTN_SETTINGS);  // Prefor is missing: a box, Quillon stays
    EXPECT_EQ(main_->m_hQuillon, quillon);
    EXPECT_EQ(Log(), (Lines{"loaded", "showQuillon " + Ptr(&main_->m_dbMsg) + " " + Ptr(&main_->m_dbUser) + " 1"}));
}

TEST_F(PluginHostTest, MessagesGoToTheSlotPluginThenTheHistoryPlugin)
{
    Install("libQuillon.so");
    Install("libPrefor.so");
    Open();
    auto offer = [this](UINT message) {
        MSG msg;
        msg.hwnd = main_->m_hWnd;
        msg.message = message;
        return main_->PreTranslateMessage(&msg);
    };
    // Quillon alone, then with Prefor in the slot; a throwing plug-in does
    // not stop the message.
    EXPECT_TRUE(offer(WM_APP + 7));
    EXPECT_FALSE(offer(WM_APP + 9));
    Command(IDC_BTN_SETTINGS);
    EXPECT_TRUE(offer(WM_APP + 7));
    EXPECT_FALSE(offer(WM_APP + 8));
    EXPECT_FALSE(offer(WM_APP + 9));
}

TEST_F(PluginHostTest, SmsIsRefusedForAnAccountWithAnAtSignAfterItsFirstCharacter)
{
    Install("libBellwick.so");
    Open("someone@example.com");
    Command(IDC_BTN_SMS);
    Command(IDM_SMS_NOTICE);
    EXPECT_FALSE(main_->ShowFastSmsNotify(3, "张三 ", 1));
    EXPECT_EQ(boxes_, Lines(3, "此功能目前只对本网用户开放"));
    EXPECT_EQ(main_->m_hPlugin, nullptr);
    EXPECT_TRUE(Log().empty());

    // An at sign as the first character is allowed.
    app_->m_userSelf.m_strPhone = "@13800000000";
    boxes_.clear();
    Command(IDC_BTN_SMS);
    EXPECT_TRUE(boxes_.empty());
    EXPECT_NE(main_->m_hPlugin, nullptr);  // loaded; the standard notice export is missing
    EXPECT_TRUE(main_->ShowFastSmsNotify(3, "张三 ", 1));
    const Lines log = Log();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back(), "showFastSmsNotify 1 [@13800000000] 3 [张三 ] 1 [0123456789abcdef0123456789abcdef]");
}

}  // namespace
