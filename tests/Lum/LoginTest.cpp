// The login window, the login-progress window, the remembered-accounts list
// and the main window, driven through the layer against the stand-in service.
#include "Common/controls/GdiPlusBitmap.h"
#include "Common/MD5Crypt.h"
#include "Lum/KivApp.h"
#include "Lum/KivDlg.h"
#include "Lum/KivMessages.h"
#include "Lum/LumResource.h"
#include "Lum/session/ServiceConnection.h"
#include "Lum/session/Workers.h"
#include "platform/config.h"
#include "platform/controls.h"
#include "platform/files.h"
#include "platform/menu.h"
#include "platform/shell.h"
#include "platform/threads.h"
#include "platform/uiapp.h"
#include "tests/platform/TempDir.h"
#include "tests/platform/TestServices.h"
#include "tests/platform/UiWait.h"
#include "tests/standin/StandinService.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <memory>
#include <string>
#include <vector>

using standin::Fault;

namespace {

int Mode(const std::string& path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 ? static_cast<int>(st.st_mode & 0777) : -1;
}

class LoginTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(lumui::Start());
        services_.SetProgramFolder(dir_.path() + "/");
        std::string error;
        ASSERT_TRUE(service_.LoadSeedFile(STANDIN_SEED_FILE, &error)) << error;
        port_ = service_.Start(0);
        ASSERT_GT(port_, 0);
        const std::string ini = dir_.file("Lum.ini");
        WritePrivateProfileString("Service", "Host", "127.0.0.1", ini.c_str());
        WritePrivateProfileString("Service", "Port", std::to_string(port_).c_str(), ini.c_str());
        // Nothing listens there: head downloads fail at once.
        WritePrivateProfileString("Web", "BaseUrl", "http://127.0.0.1:9", ini.c_str());
        SetServiceTimeouts(ServiceTimeouts{1000, 1000, 1000});
        services_.SetExitWaitMs(200);
        app_ = std::make_unique<CKivApp>();
        services_.SetMessageBox([this](HWND, const CString& text, const CString&, UINT) {
            boxes_.push_back(text.str());
            return IDOK;
        });
        services_.SetShellExecute([this](const CString&, const CString& file, const CString&, const CString&, int) {
            opened_.push_back(file.str());
            return true;
        });
    }

    void TearDown() override
    {
        CloseMain();
        app_.reset();
        service_.Stop();
        SetServiceTimeouts(ServiceTimeouts());
    }

    void OpenMain()
    {
        main_ = std::make_unique<CKivDlg>();
        app_->m_pMainWnd = main_.get();
        ASSERT_TRUE(main_->Create(IDD_KIV_DIALOG, nullptr));
        main_->ShowWindow(SW_SHOW);
        ASSERT_TRUE(uiwait::QueuedWorkDone());
    }

    void CloseMain()
    {
        if (!main_) return;
        app_->m_pMainWnd = nullptr;
        main_->DestroyWindow();
        main_.reset();
        uiwait::QueuedWorkDone();
    }

    CKivDlgLogin& Login() { return main_->m_dlgLogin; }
    CKivDlgLogining& Logining() { return main_->m_dlgLogining; }

    void Type(const char* account, const char* password)
    {
        Login().m_editAccount.SetWindowText(account);
        Login().m_editPassword.SetWindowText(password);
    }

    void PressLogin() { Login().SendMessage(WM_COMMAND, MAKEWPARAM(IDC_BTN_LOGIN, BN_CLICKED), 0); }

    CString FailureText()
    {
        CString text;
        Logining().GetDlgItemText(IDC_STATIC_FAILURE, text);
        return text;
    }

    // Logs in through the window and waits for the result; the failure text
    // (empty on success).
    std::string LoginThrough(const char* account, const char* password)
    {
        Type(account, password);
        PressLogin();
        const bool done = lumui::PumpUntil(
            [&] { return !FailureText().IsEmpty() || (!Logining().IsWindowVisible() && main_->m_nLoginsInFlight == 0); },
            10000);
        EXPECT_TRUE(done) << "progress shown " << Logining().IsWindowVisible() << ", logins under way "
                          << main_->m_nLoginsInFlight;
        // The lists a login fetches have come (their calls would otherwise
        // reach the service after what the test does next).
        EXPECT_TRUE(lumui::PumpUntil(
            [] {
                return lumui::RunningThreads(ThreadGetGroupList) == 0 && lumui::RunningThreads(ThreadGetFriendList) == 0 &&
                       lumui::RunningThreads(ThreadGetBlackList) == 0;
            },
            10000));
        EXPECT_TRUE(uiwait::QueuedWorkDone());
        return FailureText().str();
    }

    bool MainOpaque() { return lumui::LayeredAlpha(main_->m_hWnd) == 255; }

    TempDir dir_;
    TestServices services_;
    standin::StandinService service_;
    int port_ = 0;
    std::unique_ptr<CKivApp> app_;
    std::unique_ptr<CKivDlg> main_;
    std::vector<std::string> boxes_;
    std::vector<std::string> opened_;
};

TEST_F(LoginTest, EveryFailureShowsItsTextAndLeadsBackToTheLoginWindow)
{
    OpenMain();
    struct Case {
        Fault fault;
        const char* text;
    };
    std::vector<Case> cases;
    const char* texts[] = {"版本过低,请下载最新版本", "帐号没有注册！", "密码错误！", "你已经注销了Orvane业务",
                           "服务器连接失败，请稍后再试！", "你已正在其它地方登录中"};
    for (int code = 1; code <= 6; ++code) {
        Fault f;
        f.kind = Fault::ResultCode;
        f.code = code;
        cases.push_back({f, texts[code - 1]});
    }
    Fault exception;
    exception.kind = Fault::ApplicationException;
    cases.push_back({exception, "服务器连接失败，请稍后再试！"});
    Fault silent;
    silent.kind = Fault::Slow;
    silent.delayMs = 4000;
    cases.push_back({silent, "服务器连接失败，请稍后再试！"});

    for (const Case& c : cases) {
        service_.SetFault("login", c.fault);
        EXPECT_EQ(LoginThrough("13800000001", "123456"), c.text) << "fault kind " << c.fault.kind << " code " << c.fault.code;
        EXPECT_TRUE(Logining().IsWindowVisible());
        EXPECT_TRUE(Logining().m_btnRelogin.IsWindowVisible());
        EXPECT_FALSE(Logining().m_btnCancel.IsWindowVisible());
        EXPECT_FALSE(MainOpaque());
        // Either button goes back to the login window.
        Logining().SendMessage(WM_COMMAND, MAKEWPARAM(IDC_BTN_LOGIN, BN_CLICKED), 0);
        EXPECT_FALSE(Logining().IsWindowVisible());
        EXPECT_TRUE(Login().IsWindowVisible());
    }
    service_.ClearFaults();

    // A refused connection reads as a failed call.
    service_.SetRefuseConnections(true);
    EXPECT_EQ(LoginThrough("13800000001", "123456"), "服务器连接失败，请稍后再试！");
    service_.SetRefuseConnections(false);
    // A wrong password from the service itself.
    Logining().SendMessage(WM_COMMAND, MAKEWPARAM(IDC_BTN_EXPAND, BN_CLICKED), 0);
    EXPECT_EQ(LoginThrough("13800000001", "wrong"), "密码错误！");
    EXPECT_TRUE(boxes_.empty());
}

TEST_F(LoginTest, EmptyAccountOrPasswordIsRefusedWithoutACall)
{
    OpenMain();
    service_.ClearRequests();
    Type("   ", "123456");
    PressLogin();
    Type("13800000001", "  ");
    PressLogin();
    ASSERT_EQ(boxes_.size(), 2u);
    EXPECT_EQ(boxes_[0], "请输入您的登录手机号或ID号或邮箱地址!");
    EXPECT_EQ(boxes_[1], "请输入您的登录密码!");
    EXPECT_TRUE(Login().IsWindowVisible());
    EXPECT_FALSE(Logining().IsWindowVisible());

    // Forgotten password: empty account, then a request with the account.
    Type(" ", "");
    Login().SendMessage(WM_COMMAND, MAKEWPARAM(IDC_BTN_FINDPWD, BN_CLICKED), 0);
    EXPECT_EQ(boxes_.back(), "请输入您的登录账号!");
    Type("13800000002", "");
    Login().SendMessage(WM_COMMAND, MAKEWPARAM(IDC_BTN_FINDPWD, BN_CLICKED), 0);
    EXPECT_EQ(boxes_.back(), "请稍后，您的密码将以短信发送到您的手机上");
    EXPECT_TRUE(lumui::PumpUntil([&] {
        for (const auto& r : service_.Requests())
            if (r.method == "GetPwd") return true;
        return false;
    }));
    for (const auto& r : service_.Requests()) EXPECT_NE(r.method, "login");
}

TEST_F(LoginTest, SuccessfulLoginShowsTheMainWindowAndPreparesTheUser)
{
    std::filesystem::create_directories(SCREENSHOT_DIR);
    OpenMain();
    EXPECT_FALSE(MainOpaque());
    EXPECT_TRUE(Login().IsWindowVisible());
    lumui::SaveWindowImage(Login().m_hWnd, SCREENSHOT_DIR "/login.png");

    // The progress window while the service takes its time.
    Fault slow;
    slow.kind = Fault::Slow;
    slow.delayMs = 600;
    service_.SetFault("login", slow);
    Type("13800000001", "123456");
    Login().OnToggleAutoLogin();  // ticks remember too
    EXPECT_EQ(Login().m_nRemember, 1);
    PressLogin();
    EXPECT_FALSE(Login().IsWindowVisible());
    EXPECT_TRUE(Logining().IsWindowVisible());
    EXPECT_TRUE(lumui::PumpUntil([&] { return lumui::IsOnScreen(Logining().m_hWnd); }));
    lumui::SaveWindowImage(Logining().m_hWnd, SCREENSHOT_DIR "/logining.png");
    EXPECT_TRUE(lumui::PumpUntil([&] { return MainOpaque(); }, 10000));
    service_.ClearFaults();
    EXPECT_TRUE(lumui::PumpUntil(
        [&] { return !Logining().IsWindowVisible() && main_->m_nLoginsInFlight == 0; }, 10000));

    EXPECT_FALSE(Logining().IsWindowVisible());
    EXPECT_FALSE(Login().IsWindowVisible());
    EXPECT_EQ(app_->GetOwnUserId(), 10001);
    // The own name as the service gave it.
    EXPECT_EQ(CString(static_cast<const char*>(app_->m_userSelf.m_bstrName)), "张伟");
    EXPECT_FALSE(app_->GetSessionKey().empty());
    EXPECT_EQ(main_->m_nStatus, 1);
    CString md5;
    CMD5Crypt().GetMd5String(md5, CString("123456"));
    EXPECT_EQ(app_->m_strVerifyCode, md5);
    EXPECT_EQ(app_->m_strUserPath.str(), dir_.path() + "/10001/");
    EXPECT_TRUE(std::filesystem::is_directory(dir_.path() + "/10001/tmpimage"));

    // Remembered with its password, automatic login for this id, and the
    // stores are their owner's only.
    CDataUser stored;
    ASSERT_TRUE(main_->m_dbSys.GetLoginer("13800000001", &stored));
    EXPECT_EQ(stored.m_strPwd, "123456");
    EXPECT_EQ(main_->m_dbSys.GetSysSet(0, "Basic_AutoLogin"), "10001");
    EXPECT_EQ(Mode(dir_.file("KivSys.dll")), 0600);
    EXPECT_EQ(Mode(dir_.file("10001")), 0700);
    EXPECT_EQ(Mode(dir_.file("10001/User.dll")), 0600);
    EXPECT_EQ(Mode(dir_.file("10001/MsgRecords.dll")), 0600);

    // The own name is drawn on the panel.
    auto white = [&] {
        int n = 0;
        for (int y = 33; y < 47; ++y)
            for (int x = 90; x < 130; ++x)
                if (lumui::WindowPixel(main_->m_hWnd, x, y) == 0xFFFFFFFF) ++n;
        return n;
    };
    EXPECT_TRUE(lumui::PumpUntil([&] { return white() > 10; })) << white() << " white pixels";
    ASSERT_TRUE(lumui::SaveWindowImage(main_->m_hWnd, SCREENSHOT_DIR "/main.png"));

    // Tabs: one list at a time.
    main_->SendMessage(WM_COMMAND, MAKEWPARAM(IDC_BTN_TAB_FRIENDS, BN_CLICKED), 0);
    EXPECT_TRUE(main_->m_listFriend.IsWindowVisible());
    EXPECT_FALSE(main_->m_listGroup.IsWindowVisible());
    EXPECT_FALSE(main_->m_listStranger.IsWindowVisible());

    // Log-out: offline, transparent, the login window back, nobody logged in.
    // (The friends of the login's friend-list reply are there first.)
    EXPECT_TRUE(lumui::PumpUntil([&] { return main_->m_listFriend.GetItemCount() > 0; }, 5000));
    const int listed = main_->m_listFriend.GetItemCount();
    {
        CDataUser friendRec;
        friendRec.m_nId = 5;
        friendRec.m_bstrName = "x";
        main_->m_listFriend.AddUser(&friendRec, 0);
    }
    EXPECT_EQ(main_->m_listFriend.GetItemCount(), listed + 1);
    main_->SendMessage(WM_COMMAND, 9065, 0);
    EXPECT_EQ(main_->m_nStatus, 3);
    EXPECT_FALSE(MainOpaque());
    EXPECT_TRUE(Login().IsWindowVisible());
    EXPECT_EQ(main_->m_listFriend.GetItemCount(), 0);
    EXPECT_EQ(app_->GetOwnUserId(), 0);
    EXPECT_TRUE(app_->GetSessionKey().empty());

    // Logging in again sets the status from the login; another user gets
    // stores of its own.
    EXPECT_EQ(LoginThrough("13800000002", "123456"), "");
    EXPECT_EQ(main_->m_nStatus, 1);
    EXPECT_TRUE(MainOpaque());
    EXPECT_TRUE(std::filesystem::exists(dir_.file("10002/User.dll")));
    EXPECT_EQ(main_->m_nStoreUserId, 10002);
    // The tray shows the online icon again (log-out showed the offline one).
    EXPECT_EQ(lumui::TrayState(main_->m_hWnd, 2023).icon, main_->m_hIcon);

    // Each login keeps the own name as it is: it gains no blanks from the
    // remembered entry, which keeps the one blank of its own format.
    main_->SendMessage(WM_COMMAND, 9065, 0);
    EXPECT_EQ(LoginThrough("13800000001", "123456"), "");
    EXPECT_EQ(CString(static_cast<const char*>(app_->m_userSelf.m_bstrName)), "张伟");
    CDataUser again;
    ASSERT_TRUE(main_->m_dbSys.GetLoginer("13800000001", &again));
    EXPECT_EQ(CString(static_cast<const char*>(again.m_bstrName)), "张伟 ");
}

// A store that is not a database is set aside under a name with the time
// (kept for recovery), a new one takes its place, and the user is told once
// per store; the client then keeps accounts, contacts and lines as usual.
TEST_F(LoginTest, DamagedStoresAreSetAsideAndReplacedWithOneNoticeEach)
{
    namespace fs = std::filesystem;
    const std::string garbage(3000, '\x5A');
    fs::create_directories(dir_.file("10001"));
    for (const char* name : {"KivSys.dll", "10001/User.dll", "10001/MsgRecords.dll"})
        std::ofstream(dir_.file(name), std::ios::binary) << garbage;

    OpenMain();
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_NE(boxes_[0].find("设置"), std::string::npos) << boxes_[0];
    Login().OnToggleAutoLogin();  // remember the account
    ASSERT_EQ(LoginThrough("13800000001", "123456"), "");
    ASSERT_EQ(boxes_.size(), 3u);
    EXPECT_NE(boxes_[1].find("联系人"), std::string::npos) << boxes_[1];
    EXPECT_NE(boxes_[2].find("消息记录"), std::string::npos) << boxes_[2];

    // Each box names the kept file, which holds the old bytes.
    const std::regex kept(R"((KivSys|User|MsgRecords)\.dll\.\d{8}-\d{6}(-\d+)?\.bad)");
    int found = 0;
    for (const std::string& folder : {dir_.path(), dir_.file("10001")})
        for (const auto& entry : fs::directory_iterator(folder)) {
            const std::string name = entry.path().filename().string();
            if (!std::regex_match(name, kept)) continue;
            ++found;
            std::ifstream in(entry.path(), std::ios::binary);
            EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), garbage) << name;
            EXPECT_TRUE(std::any_of(boxes_.begin(), boxes_.end(),
                                    [&](const std::string& box) { return box.find(name) != std::string::npos; }))
                << name;
        }
    EXPECT_EQ(found, 3);

    // The new stores work: the remembered account, the friends, a line.
    CDataUser stored;
    EXPECT_TRUE(main_->m_dbSys.GetLoginer("13800000001", &stored));
    EXPECT_TRUE(lumui::PumpUntil([&] { return main_->m_dbUser.GetCount("GroupUser") > 0; }, 5000));
    EXPECT_EQ(main_->m_dbMsg.InsertMsg(10002, 1, "<span>好</span>", 0, "2024-05-01 08:00:00", 1, "好"), 1);

    // Logging out and in again: nothing more to tell.
    main_->SendMessage(WM_COMMAND, 9065, 0);
    ASSERT_EQ(LoginThrough("13800000001", "123456"), "");
    EXPECT_EQ(boxes_.size(), 3u);
    EXPECT_EQ(main_->m_dbMsg.GetCount("history_msg"), 1);
}

TEST_F(LoginTest, GoingOfflineAndOnlineAgainLogsInAgain)
{
    OpenMain();
    ASSERT_EQ(LoginThrough("13800000001", "123456"), "");
    const HICON online = lumui::TrayState(main_->m_hWnd, 2023).icon;
    ASSERT_NE(online, nullptr);

    // Offline by menu: no call, the session key is dropped, the tray shows
    // the offline icon.
    const size_t calls = service_.Requests().size();
    main_->SendMessage(WM_COMMAND, 9073, 0);
    EXPECT_EQ(main_->m_nStatus, 3);
    EXPECT_TRUE(app_->GetSessionKey().empty());
    EXPECT_EQ(lumui::TrayState(main_->m_hWnd, 2023).icon, main_->m_hIconOffline);
    EXPECT_EQ(service_.Requests().size(), calls);
    // The 18th tick starts no heartbeat while offline: the next call the
    // service sees is the login below.
    for (int i = 0; i < 18; ++i) main_->SendMessage(WM_TIMER, 2023, 0);

    // Away from offline logs in again with the remembered account.
    main_->SendMessage(WM_COMMAND, 9072, 0);
    EXPECT_TRUE(lumui::PumpUntil([&] { return !app_->GetSessionKey().empty() && main_->m_nLoginsInFlight == 0; }, 10000));
    EXPECT_TRUE(lumui::PumpUntil([&] { return main_->m_nStatus == 2; }));
    {
        const auto requests = service_.Requests();
        ASSERT_GT(requests.size(), calls);
        EXPECT_EQ(requests[calls].method, "login");
    }

    // Online from offline shows the default head until the login answers,
    // whatever head the own record held.
    {
        // A point of the default head whose colour its grey offline look
        // changes most.
        CGdiPlusBitmapResource head(IDB_PNG_HEAD_DEFAULT, "PNG", AfxGetInstanceHandle());
        ASSERT_NE(head.m_pBitmap, nullptr);
        auto greyOf = [](DWORD c) {
            const DWORD g = (7 * ((c >> 8) & 0xFF) + 3 * ((c >> 16) & 0xFF)) / 10;
            return (g << 16) | (g << 8) | g;
        };
        int px = 0, py = 0;
        DWORD colour = 0;
        int best = -1;
        for (int y = 0; y < 40; ++y)
            for (int x = 0; x < 40; ++x) {
                Gdiplus::Color c;
                head.m_pBitmap->GetPixel(x, y, &c);
                const DWORD v = c.GetValue() & 0xFFFFFF;
                const int diff = std::abs(static_cast<int>(v & 0xFF) - static_cast<int>(greyOf(v) & 0xFF));
                if (c.GetA() == 255 && diff > best) best = diff, px = x, py = y, colour = v;
            }
        ASSERT_GT(best, 8);
        auto shown = [&] { return lumui::WindowPixel(main_->m_hWnd, 6 + px, 25 + py) & 0xFFFFFF; };

        delete app_->m_userSelf.m_imgHead;
        app_->m_userSelf.m_imgHead = new Gdiplus::Bitmap(40, 40, Gdiplus::PixelFormat32bppARGB);
        Gdiplus::Graphics(app_->m_userSelf.m_imgHead).Clear(Gdiplus::Color(0xFFFF0000));
        main_->SendMessage(WM_COMMAND, 9073, 0);
        ASSERT_TRUE(lumui::PumpUntil([&] { return shown() == greyOf(colour); }, 5000)) << std::hex << shown();
        Fault refused;
        refused.kind = Fault::ResultCode;
        refused.code = 3;
        service_.SetFault("login", refused);
        main_->SendMessage(WM_COMMAND, 9071, 0);
        ASSERT_TRUE(lumui::PumpUntil([&] { return shown() != greyOf(colour); }, 5000));
        EXPECT_EQ(shown(), colour) << std::hex << shown();
        EXPECT_TRUE(lumui::PumpUntil([&] { return main_->m_nLoginsInFlight == 0; }, 10000));
        EXPECT_TRUE(uiwait::QueuedWorkDone());
        service_.ClearFaults();
        main_->m_dlgLogining.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_BTN_LOGIN, BN_CLICKED), 0);
        main_->SendMessage(WM_COMMAND, 9073, 0);
        main_->SendMessage(WM_COMMAND, 9072, 0);
        EXPECT_TRUE(lumui::PumpUntil([&] { return !app_->GetSessionKey().empty() && main_->m_nLoginsInFlight == 0; }, 10000));
        EXPECT_TRUE(uiwait::QueuedWorkDone());
    }

    // Online from away is local only; the heartbeat then runs.
    main_->SendMessage(WM_COMMAND, 9073, 0);
    main_->SendMessage(WM_COMMAND, 9071, 0);
    EXPECT_EQ(main_->m_nStatus, 1);
    EXPECT_EQ(lumui::TrayState(main_->m_hWnd, 2023).icon, online);
    EXPECT_TRUE(lumui::PumpUntil([&] { return !app_->GetSessionKey().empty() && main_->m_nLoginsInFlight == 0; }, 10000));
    const size_t beforeTicks = service_.Requests().size();
    for (int i = 0; i < 18; ++i) main_->SendMessage(WM_TIMER, 2023, 0);
    EXPECT_TRUE(lumui::PumpUntil(
        [&] {
            const auto requests = service_.Requests();
            for (size_t i = beforeTicks; i < requests.size(); ++i)
                if (requests[i].method == "MaintainOnline") return true;
            return false;
        },
        5000));
    EXPECT_TRUE(service_.IsOnline(10001));
}

TEST_F(LoginTest, RememberedAccountIsOfferedAndLogsInAutomatically)
{
    OpenMain();
    Type("13800000001", "123456");
    Login().OnToggleAutoLogin();
    EXPECT_EQ(LoginThrough("13800000001", "123456"), "");
    CloseMain();

    // A second start: the account and its password are in the boxes and the
    // automatic login runs.
    OpenMain();
    CString account, password;
    Login().m_editAccount.GetWindowText(account);
    Login().m_editPassword.GetWindowText(password);
    EXPECT_EQ(account, "13800000001");
    EXPECT_EQ(password, "123456");
    EXPECT_EQ(Login().m_nRemember, 1);
    EXPECT_TRUE(lumui::PumpUntil([&] { return MainOpaque(); }, 10000));

    // Toggles: unticking remember unticks automatic login.
    Login().m_nAutoLogin = 1;
    Login().OnToggleRemember();
    EXPECT_EQ(Login().m_nRemember, 0);
    EXPECT_EQ(Login().m_nAutoLogin, 0);

    // Logging in with automatic login unticked turns it off: the next start
    // waits in the login window.
    main_->SendMessage(WM_COMMAND, 9065, 0);
    ASSERT_TRUE(Login().IsWindowVisible());
    Login().OnToggleRemember();  // remember the password, not the login
    EXPECT_EQ(Login().m_nAutoLogin, 0);
    EXPECT_EQ(LoginThrough("13800000001", "123456"), "");
    EXPECT_EQ(main_->m_dbSys.GetSysSet(0, "Basic_AutoLogin"), "0");
    CloseMain();
    service_.ClearRequests();
    OpenMain();
    EXPECT_TRUE(Login().IsWindowVisible());
    EXPECT_FALSE(Logining().IsWindowVisible());
    EXPECT_FALSE(MainOpaque());
    for (const auto& r : service_.Requests()) EXPECT_NE(r.method, "login");
}

TEST_F(LoginTest, RememberedAccountsListSelectsAndForgets)
{
    // Three remembered accounts, one without a password.
    {
        CFileDbSys sys;
        ASSERT_TRUE(sys.Connect());
        const struct {
            int id;
            const char* phone;
            const char* pwd;
        } rows[] = {{10003, "13800000003", ""}, {10002, "13800000002", "pw2"}, {10001, "13800000001", "pw1"}};
        for (const auto& r : rows) {
            CDataUser u;
            u.m_nId = r.id;
            u.m_strPhone = r.phone;
            u.m_strPwd = r.pwd;
            u.m_bstrName = "n";
            ASSERT_TRUE(sys.InsertUser(&u));
        }
    }
    OpenMain();
    CKivLoginerList& list = Login().m_listLoginer;
    ASSERT_EQ(list.GetItemCount(), 3);
    // Adding a listed account again shows no second row.
    list.AddAccount(Login().m_listUsers.front());
    EXPECT_EQ(list.GetItemCount(), 3);

    Login().SendMessage(WM_COMMAND, MAKEWPARAM(IDC_BTN_EXPAND, BN_CLICKED), 0);
    ASSERT_TRUE(list.IsWindowVisible());
    EXPECT_FALSE(Login().m_editPassword.IsWindowVisible());

    auto screen = [&](int x, int y) {
        CPoint p(x, y);
        list.ClientToScreen(&p);
        return p;
    };
    auto press = [&](CPoint down, CPoint up) {
        lumui::SendMouse(list.m_hWnd, WM_MOUSEMOVE, down.x, down.y);
        lumui::SendMouse(list.m_hWnd, WM_LBUTTONDOWN, down.x, down.y, MK_LBUTTON);
        lumui::SendMouse(list.m_hWnd, WM_MOUSEMOVE, up.x, up.y, MK_LBUTTON);
        lumui::SendMouse(list.m_hWnd, WM_LBUTTONUP, up.x, up.y);
        EXPECT_TRUE(uiwait::QueuedWorkDone());
    };
    auto rowOf = [&](const char* phone) {
        for (int i = 0; i < list.GetItemCount(); ++i)
            if (list.GetItemText(i, 0) == phone) return i;
        return -1;
    };
    CString before;
    Login().m_editAccount.GetWindowText(before);
    // The delete button of the second account's row (its hit area starts 10
    // pixels below the row's top).
    const int row = rowOf("13800000002");
    ASSERT_GE(row, 0);
    const int bx = list.m_nBtnX + 3, by = row * list.m_nRowHeight + 12;
    // Pressed on the button and released on the row's text: nothing goes.
    press(screen(bx, by), screen(40, by));
    EXPECT_EQ(list.GetItemCount(), 3);
    press(screen(bx, by), screen(bx, by));
    ASSERT_EQ(list.GetItemCount(), 2);
    {
        CFileDbSys sys;
        ASSERT_TRUE(sys.Connect());
        CDataUser gone;
        EXPECT_FALSE(sys.GetLoginer("13800000002", &gone));
        EXPECT_TRUE(sys.GetLoginer("13800000003", &gone));
    }
    // The boxes keep what they showed; the list stays open.
    CString account;
    Login().m_editAccount.GetWindowText(account);
    EXPECT_EQ(account, before);
    EXPECT_TRUE(list.IsWindowVisible());

    // A click on a row's text selects it: no stored password, both unticked.
    Login().m_nAutoLogin = 1;
    Login().m_nRemember = 1;
    const int third = rowOf("13800000003") * list.m_nRowHeight + 12;
    press(screen(40, third), screen(40, third));
    Login().m_editAccount.GetWindowText(account);
    EXPECT_EQ(account, "13800000003");
    CString password;
    Login().m_editPassword.GetWindowText(password);
    EXPECT_EQ(password, "");
    EXPECT_EQ(Login().m_nRemember, 0);
    EXPECT_EQ(Login().m_nAutoLogin, 0);
    EXPECT_FALSE(list.IsWindowVisible());
    EXPECT_TRUE(Login().m_editPassword.IsWindowVisible());
}

TEST_F(LoginTest, ReplyAfterTheWindowWentOrTheUserLoggedOutChangesNothing)
{
    Fault slow;
    slow.kind = Fault::Slow;
    slow.delayMs = 800;
    service_.SetFault("login", slow);

    // Log-out while a login runs: the late reply does not log the user in.
    OpenMain();
    Type("13800000001", "123456");
    PressLogin();
    main_->SendMessage(WM_COMMAND, 9065, 0);
    EXPECT_TRUE(lumui::PumpUntil([&] { return main_->m_nLoginsInFlight == 0; }, 10000));
    EXPECT_TRUE(uiwait::QueuedWorkDone());
    EXPECT_FALSE(MainOpaque());
    EXPECT_TRUE(Login().IsWindowVisible());
    EXPECT_EQ(app_->GetOwnUserId(), 0);
    EXPECT_TRUE(app_->GetSessionKey().empty());

    // The window closes while a login runs: the worker's reply finds no
    // window and nothing is touched.
    PressLogin();
    CloseMain();
    // Once the service has answered it and the worker has had the reply.
    EXPECT_TRUE(lumui::PumpUntil([&] { return service_.Answered("login") == 2; }, 10000));
    EXPECT_TRUE(uiwait::QueuedWorkDone());
    EXPECT_EQ(app_->GetOwnUserId(), 0);

    // A cancelled login still completes when the service then answers 0.
    OpenMain();
    Type("13800000001", "123456");
    PressLogin();
    Logining().SendMessage(WM_COMMAND, MAKEWPARAM(IDC_BTN_EXPAND, BN_CLICKED), 0);
    EXPECT_TRUE(Login().IsWindowVisible());
    EXPECT_TRUE(lumui::PumpUntil([&] { return MainOpaque(); }, 10000));
}

TEST_F(LoginTest, MainWindowLoopLeavesTheLoginWindowUsable)
{
    bool loginEnabled = false, editEnabled = false, accepted = false;
    lumui::RunLater([&] {
        uiwait::QueuedWorkDone();
        CKivDlg* main = static_cast<CKivDlg*>(app_->m_pMainWnd);
        if (!main) return;
        loginEnabled = main->m_dlgLogin.IsWindowEnabled();
        editEnabled = main->m_dlgLogin.m_editAccount.IsWindowEnabled();
        // A click on the login button with empty boxes answers with a box.
        CRect r;
        main->m_dlgLogin.m_btnLogin.GetWindowRect(&r);
        lumui::SendMouse(main->m_dlgLogin.m_btnLogin.m_hWnd, WM_LBUTTONDOWN, r.left + 5, r.top + 5, MK_LBUTTON);
        lumui::SendMouse(main->m_dlgLogin.m_btnLogin.m_hWnd, WM_LBUTTONUP, r.left + 5, r.top + 5);
        accepted = lumui::PumpUntil([&] { return !boxes_.empty(); });
        main->SendMessage(WM_COMMAND, 9066, 0);  // exit
    });
    // The application's own main window step, which returns when the window
    // has ended.
    struct App : CKivApp {
        void Run() { RunMainWindow(); }
    };
    app_.reset();
    auto app = std::make_unique<App>();
    app_.reset(app.release());
    static_cast<App*>(app_.get())->Run();
    EXPECT_TRUE(loginEnabled);
    EXPECT_TRUE(editEnabled);
    EXPECT_TRUE(accepted);
    EXPECT_EQ(app_->m_pMainWnd, nullptr);
    // The exit call of the shut-down reached the service.
    EXPECT_TRUE(lumui::PumpUntil([&] {
        for (const auto& r : service_.Requests())
            if (r.method == "exit") return true;
        return false;
    }));
}

}  // namespace
