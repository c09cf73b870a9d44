// The main window applying the settings of the logged-in account: always on
// top, the read-message hotkey (and one another window holds), message
// sounds, the chat font and send key, the skin on every open window, the
// skin chooser, and the black-list removals of the settings window.
#include "Lum/chat/DlgChatMsgList.h"
#include "Lum/KivApp.h"
#include "Lum/KivDlg.h"
#include "Lum/chat/KivDlgChat.h"
#include "Lum/KivDlgSettings.h"
#include "Lum/KivMessages.h"
#include "Lum/LumResource.h"
#include "Lum/session/ServiceConnection.h"
#include "Lum/session/Workers.h"
#include "Lum/protocol/LumService.h"
#include "base/MenuCommands.h"
#include "platform/config.h"
#include "platform/files.h"
#include "platform/shellapi.h"
#include "platform/sound.h"
#include "platform/uiapp.h"
#include "tests/platform/TempDir.h"
#include "tests/platform/TestServices.h"
#include "tests/platform/UiWait.h"
#include "tests/standin/StandinService.h"
#include "tests/standin/StandinWeb.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>

using namespace lum_thrift;

namespace {

// Sends one-to-one messages as another user, through the service protocol.
void SendAs(int port, const std::string& account, int to, const std::string& text)
{
    CServiceConnection connection("127.0.0.1", port);
    connection.Open();
    StructLogin login;
    login.name = account;
    login.pwd = "123456";
    login.type = 2;
    login.version = 6;
    StructLoginResp reply;
    connection.Client().login(reply, login);
    connection.Client().SendUserMsg(reply.key, to, 1, text);
    connection.Close();
}

class SettingsApplyTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(lumui::Start());
        services_.SetProgramFolder(dir_.path() + "/");
        ASSERT_TRUE(service_.LoadSeedFile(STANDIN_SEED_FILE));
        port_ = service_.Start(0);
        ASSERT_GT(port_, 0);
        const std::string ini = dir_.file("Lum.ini");
        WritePrivateProfileString("Service", "Host", "127.0.0.1", ini.c_str());
        WritePrivateProfileString("Service", "Port", std::to_string(port_).c_str(), ini.c_str());
        // The web server shows the chooser's thumbnails.
        std::filesystem::create_directories(dir_.file("www/upload"));
        std::filesystem::copy(THEME_DIR, dir_.file("www/upload/theme"));
        ASSERT_GT(web_.Start(0, dir_.file("www")), 0);
        WritePrivateProfileString("Web", "BaseUrl", web_.BaseUrl().c_str(), ini.c_str());
        SetServiceTimeouts(ServiceTimeouts{2000, 2000, 2000});
        // The skins beside the program, and one that does not decode.
        std::filesystem::create_directories(dir_.file("theme"));
        for (const char* name : {"skin-01.jpg", "skin-02.jpg"})
            std::filesystem::copy_file(std::string(THEME_DIR) + "/" + name, dir_.file(std::string("theme/") + name));
        std::ofstream(dir_.file("theme/broken.jpg")) << "not a picture";
        services_.SetExitWaitMs(20);
        CKivUsersListCtrl::s_loadHead = [](CDataUser*) {};
        services_.SetSound([this](const char* file) { sounds_.push_back(file); });
        services_.SetMessageBox([this](HWND, const CString& text, const CString&, UINT) {
            boxes_.push_back(text.str());
            return IDOK;
        });
    }

    void TearDown() override
    {
        if (main_) {
            app_->m_pMainWnd = nullptr;
            main_->DestroyWindow();
            main_.reset();
            uiwait::QueuedWorkDone();
        }
        app_.reset();
        CKivUsersListCtrl::s_loadHead = nullptr;
        CDlgBase::m_sBgImgName = "";
        CDlgBase::m_IsAppBgColor = 0;
        CDlgBase::m_R = 255, CDlgBase::m_G = 176, CDlgBase::m_B = 75;
        GetChatFont() = ChatFont();
        ChatSendKeyMode() = 0;
        web_.Stop();
        service_.Stop();
        SetServiceTimeouts(ServiceTimeouts());
    }

    // Settings stored before the program starts, as a former run left them.
    void Store(int user, const char* key, const char* value)
    {
        CFileDbSys store;
        ASSERT_EQ(store.Connect(), 1);
        ASSERT_EQ(store.InsertSysSet(user, key, value), 1);
    }

    void LogIn(const char* account, int id, int friendId = 10002)
    {
        app_ = std::make_unique<CKivApp>();
        main_ = std::make_unique<CKivDlg>();
        app_->m_pMainWnd = main_.get();
        ASSERT_TRUE(main_->Create(IDD_KIV_DIALOG, nullptr));
        main_->ShowWindow(SW_SHOW);
        main_->m_dlgLogin.m_editAccount.SetWindowText(account);
        main_->m_dlgLogin.m_editPassword.SetWindowText("123456");
        main_->m_dlgLogin.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_BTN_LOGIN, BN_CLICKED), 0);
        ASSERT_TRUE(lumui::PumpUntil([&] { return app_->GetOwnUserId() == id && main_->m_listFriend.GetUser(friendId); },
                                     10000));
    }

    void Heartbeat()
    {
        std::atomic<bool> done{false};
        std::thread worker([&] {
            ThreadMaintainOnline(nullptr);
            done = true;
        });
        EXPECT_TRUE(lumui::PumpUntil([&] { return done.load(); }, 10000));
        worker.join();
    }

    bool Topmost() { return (main_->GetExStyle() & WS_EX_TOPMOST) != 0; }

    // The colour of a window's skinned background (just below the title
    // glow, inside the frame's edge lines).
    static DWORD Background(CWnd* wnd) { return lumui::WindowPixel(wnd->m_hWnd, 3, 20) & 0xFFFFFF; }

    void Shot(const char* name)
    {
        std::filesystem::create_directories(SCREENSHOT_DIR);
        EXPECT_TRUE(uiwait::QueuedWorkDone());
        EXPECT_TRUE(lumui::SaveScreenImage((std::string(SCREENSHOT_DIR) + "/" + name).c_str()));
    }

    TempDir dir_;
    TestServices services_;
    standin::StandinService service_;
    standin::StandinWeb web_;
    int port_ = 0;
    std::unique_ptr<CKivApp> app_;
    std::unique_ptr<CKivDlg> main_;
    std::vector<std::string> sounds_;
    std::vector<std::string> boxes_;
};

}  // namespace

TEST_F(SettingsApplyTest, TheAccountsOwnSettingsApplyAtLoginAndOnChange)
{
    // Two accounts on one computer, each with its own settings.
    Store(10001, "Basic_AlwaysTop", "1");
    Store(10001, "Sound_MsgRemind", "1");
    Store(10001, "Hotkey_SendMsg", "1");
    Store(10001, "Font_Family", "WenQuanYi Zen Hei");
    Store(10001, "Font_Size", "18");
    Store(10001, "Font_Color", "#CC0000");
    Store(10001, "Font_Bold", "1");
    Store(10002, "Basic_AlwaysTop", "0");
    Store(10002, "Font_Size", "9");
    LogIn("13800000001", 10001);
    EXPECT_TRUE(Topmost());
    EXPECT_EQ(app_->m_nSoundOff, 1);
    EXPECT_EQ(ChatSendKeyMode(), 1);
    EXPECT_EQ(GetChatFont().family, "WenQuanYi Zen Hei");
    EXPECT_EQ(GetChatFont().size, 18);
    EXPECT_EQ(GetChatFont().color, "#CC0000");
    EXPECT_EQ(GetChatFont().bold, 1);

    // Sounds off: a message comes in and nothing is played.
    SendAs(port_, "13800000002", 10001, "<span>你好</span>");
    Heartbeat();
    ASSERT_FALSE(static_cast<CDataUser*>(main_->m_listFriend.GetUser(10002))->m_vecUnread.empty());
    EXPECT_TRUE(sounds_.empty());

    // The settings window turns sounds on and always-on-top off.
    main_->m_dbSys.InsertSysSet(10001, "Sound_MsgRemind", "0");
    main_->m_dbSys.InsertSysSet(10001, "Basic_AlwaysTop", "0");
    main_->SendMessage(UM_SETTINGS_CHANGED, 0, 0);
    EXPECT_FALSE(Topmost());
    SendAs(port_, "13800000002", 10001, "<span>在吗</span>");
    Heartbeat();
    ASSERT_EQ(sounds_.size(), 1u);
    EXPECT_EQ(sounds_[0], dir_.path() + "/voice/MsgSound.wav");

    // The font the chat panes changed is what is saved at shut-down.
    GetChatFont().size = 20;
    main_->DestroyWindow();
    CFileDbSys store;
    ASSERT_EQ(store.Connect(), 1);
    EXPECT_EQ(store.GetSysSet(10001, "Font_Size"), "20");
    EXPECT_EQ(store.GetSysSet(10001, "Font_Family"), "WenQuanYi Zen Hei");
    EXPECT_EQ(store.GetSysSet(10002, "Font_Size"), "9");
}

TEST_F(SettingsApplyTest, AHotkeyHeldElsewhereIsReportedAndNoneReleasesIt)
{
    LogIn("13800000001", 10001);
    // Another window holds Ctrl+Alt+K.
    CWnd other;
    ASSERT_TRUE(other.CreateEx(0, "", "other", WS_POPUP, 0, 0, 10, 10, nullptr, 0));
    if (!RegisterHotKey(other.m_hWnd, 7, MOD_CONTROL | MOD_ALT, 'K')) GTEST_SKIP() << "no hotkeys on this display";
    boxes_.clear();
    main_->m_dbSys.InsertSysSet(10001, "Hotkey_ReadMsg", "Ctrl+Alt+K");
    main_->SendMessage(UM_SETTINGS_CHANGED, 0, 0);
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_NE(boxes_[0].find("Ctrl+Alt+K"), std::string::npos);
    EXPECT_NE(boxes_[0].find("已被其他程序占用"), std::string::npos);
    EXPECT_FALSE(lumui::FireHotKey(main_->m_hWnd, 2022));
    UnregisterHotKey(other.m_hWnd, 7);
    other.DestroyWindow();

    // A free combination is registered without a word; "0" releases it.
    main_->SendMessage(UM_SETTINGS_CHANGED, 0, 0);
    EXPECT_EQ(boxes_.size(), 1u);
    EXPECT_TRUE(lumui::FireHotKey(main_->m_hWnd, 2022));
    main_->m_dbSys.InsertSysSet(10001, "Hotkey_ReadMsg", "0");
    main_->SendMessage(UM_SETTINGS_CHANGED, 0, 0);
    EXPECT_FALSE(lumui::FireHotKey(main_->m_hWnd, 2022));
}

TEST_F(SettingsApplyTest, SkinReachesEveryOpenWindowAndAnUndecodablePictureIsRefused)
{
    Store(10001, "skin", "skin-01.jpg");
    LogIn("13800000001", 10001);
    EXPECT_EQ(CDlgBase::m_sBgImgName, CString((dir_.path() + "/theme/skin-01.jpg").c_str()));
    EXPECT_EQ(CDlgBase::m_IsAppBgColor, 0);
    CDataUser* na = static_cast<CDataUser*>(main_->m_listFriend.GetUser(10002));
    main_->m_listFriend.OpenChat(na);
    ASSERT_NE(na->m_dlgChat, nullptr);
    CWnd* chat = na->m_dlgChat;
    chat->ShowWindow(SW_SHOW);
    chat->MoveWindow(300, 80, 520, 460);
    EXPECT_TRUE(lumui::PumpUntil([&] { return lumui::IsOnScreen(chat->m_hWnd); }));
    Shot("skin_picture.png");

    // A colour: low byte red, second green, third blue; stored as numbers.
    main_->SendMessage(UM_SKIN_CHANGE, RGB(153, 102, 51), 0);
    EXPECT_TRUE(lumui::PumpUntil(
        [&] { return Background(main_.get()) == 0x996633u && Background(chat) == 0x996633u; }));
    EXPECT_EQ(CDlgBase::m_R, 153);
    EXPECT_EQ(CDlgBase::m_G, 102);
    EXPECT_EQ(CDlgBase::m_B, 51);
    EXPECT_EQ(CDlgBase::m_IsAppBgColor, 1);
    EXPECT_EQ(main_->m_dbSys.GetSysSet(10001, "skin"), "153,102,51");
    EXPECT_EQ(Background(main_.get()), 0x996633u);
    EXPECT_EQ(Background(chat), 0x996633u);
    Shot("skin_colour.png");

    // A picture that does not decode, or is missing, changes nothing.
    for (const char* name : {"broken.jpg", "missing.jpg"}) {
        CString picture = name;
        main_->SendMessage(UM_SKIN_CHANGE, reinterpret_cast<WPARAM>(&picture), 1);
        EXPECT_TRUE(uiwait::QueuedWorkDone());
        EXPECT_EQ(CDlgBase::m_IsAppBgColor, 1) << name;
        EXPECT_EQ(CDlgBase::m_sBgImgName, "") << name;
        EXPECT_EQ(main_->m_dbSys.GetSysSet(10001, "skin"), "153,102,51") << name;
        EXPECT_EQ(Background(chat), 0x996633u) << name;
    }

    // A good picture replaces the colour on both windows.
    CString picture = "skin-02.jpg";
    main_->SendMessage(UM_SKIN_CHANGE, reinterpret_cast<WPARAM>(&picture), 1);
    EXPECT_TRUE(lumui::PumpUntil(
        [&] { return Background(main_.get()) != 0x996633u && Background(chat) != 0x996633u; }));
    EXPECT_EQ(main_->m_dbSys.GetSysSet(10001, "skin"), "skin-02.jpg");
    EXPECT_NE(Background(main_.get()), 0x996633u);
    EXPECT_NE(Background(chat), 0x996633u);
}

TEST_F(SettingsApplyTest, TheSkinChooserSendsThePictureNameOrTheColour)
{
    LogIn("13800000001", 10001);
    main_->SendMessage(WM_COMMAND, MAKEWPARAM(IDC_BTN_SKIN, BN_CLICKED), 0);
    ASSERT_TRUE(main_->m_pDlgSkin);
    CDlgChangeSkin& chooser = *main_->m_pDlgSkin;
    ASSERT_TRUE(chooser.m_hWnd);
    ASSERT_TRUE(chooser.IsWindowVisible());
    CRect r, button;
    chooser.GetWindowRect(&r);
    main_->m_btnSkin.GetWindowRect(&button);
    EXPECT_EQ(r, CRect(button.right - 300, button.top + 26, button.right, button.top + 26 + 230));
    // Both colour controls start at pure green.
    EXPECT_EQ(chooser.m_ctrlHueSat.GetColor(), RGB(0, 255, 0));
    EXPECT_EQ(chooser.m_ctrlLuminance.GetColor(), RGB(0, 255, 0));
    ASSERT_TRUE(lumui::PumpUntil([&] {
        CString loaded;
        chooser.InvokeScriptMethod("eval", {"document.images.length + ':' + document.images[4].complete"}, &loaded);
        return loaded == "5:true";
    }, 10000));
    CString src;
    chooser.InvokeScriptMethod("eval", {"document.images[0].getAttribute('src')"}, &src);
    EXPECT_EQ(src, "/upload/theme/skin-01.jpg");
    Shot("skin_chooser.png");

    // A thumbnail: the bare file name, and the chooser hides.
    chooser.InvokeScriptMethod("eval", {"document.getElementById('skin2').click()"});
    ASSERT_TRUE(lumui::PumpUntil([&] { return main_->m_dbSys.GetSysSet(10001, "skin") == "skin-02.jpg"; }));
    EXPECT_FALSE(chooser.IsWindowVisible());
    EXPECT_EQ(CDlgBase::m_sBgImgName, CString((dir_.path() + "/theme/skin-02.jpg").c_str()));

    // A pick in the hue field, then in the luminance bar.
    main_->SendMessage(WM_COMMAND, MAKEWPARAM(IDM_SKIN, 0), 0);
    ASSERT_TRUE(chooser.IsWindowVisible());
    CRect field;
    chooser.m_ctrlHueSat.GetClientRect(&field);
    const CPoint at(field.Width() * 2 / 3, field.Height() / 4);
    const COLORREF picked = chooser.m_ctrlHueSat.ColorAt(at);
    chooser.m_ctrlHueSat.SendMessage(WM_LBUTTONDOWN, 0, MAKELPARAM(at.x, at.y));
    EXPECT_FALSE(chooser.IsWindowVisible());
    EXPECT_EQ(CDlgBase::m_IsAppBgColor, 1);
    EXPECT_EQ(RGB(CDlgBase::m_R, CDlgBase::m_G, CDlgBase::m_B), picked);
    EXPECT_EQ(chooser.m_ctrlLuminance.GetColor(), picked);
    chooser.ShowWindow(SW_SHOW);
    chooser.m_ctrlLuminance.SendMessage(WM_LBUTTONDOWN, 0, MAKELPARAM(5, 2));
    EXPECT_FALSE(chooser.IsWindowVisible());
    const COLORREF light = RGB(CDlgBase::m_R, CDlgBase::m_G, CDlgBase::m_B);
    EXPECT_GT(GetRValue(light) + GetGValue(light) + GetBValue(light), GetRValue(picked) + GetGValue(picked) + GetBValue(picked));
    CString stored;
    stored.Format("%d,%d,%d", CDlgBase::m_R, CDlgBase::m_G, CDlgBase::m_B);
    EXPECT_EQ(main_->m_dbSys.GetSysSet(10001, "skin"), stored);
}

TEST_F(SettingsApplyTest, BlackListRemovalsLeaveTheSet)
{
    std::set<int> black = {5, 7, 9};
    RemoveBlackListIds(black, "5,,7");
    EXPECT_EQ(black, (std::set<int>{9}));
    LogIn("13800000003", 10003, 10001);
    ASSERT_TRUE(lumui::PumpUntil([&] { return main_->m_book.BlackList().count(10005) == 1; }));
    main_->SendMessage(UM_BLACKLIST_REMOVED, 0, 0);
    EXPECT_EQ(main_->m_book.BlackList().count(10005), 1u);
    CString ids = "10005";
    main_->SendMessage(UM_BLACKLIST_REMOVED, reinterpret_cast<WPARAM>(&ids), 0);
    EXPECT_TRUE(main_->m_book.BlackList().empty());
}
