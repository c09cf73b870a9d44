// The client against a web server that accepts and never answers, and one
// that refuses every connection: the login reaches the main window, the
// message manager and the message centre open from it (the real modules
// beside the program), the lists draw their fallback heads, and the UI
// thread never waits on the network: it is never found stopped on a TCP
// connection for 100 ms (NetworkWaitWatch; how long a timer on the UI thread
// goes without a tick is the benchmarks' to measure, bench_login: on a busy
// machine it also holds the waits for the display server and the disk). When
// the stalled server answers at last, the heads take their places.
#include "Lum/KivApp.h"
#include "Lum/KivDlg.h"
#include "Lum/LumResource.h"
#include "Lum/session/ServiceConnection.h"
#include "platform/config.h"
#include "platform/dhtml.h"
#include "platform/files.h"
#include "platform/heads.h"
#include "platform/module.h"
#include "platform/uiapp.h"
#include "tests/Lum/NetworkWaitWatch.h"
#include "tests/platform/TempDir.h"
#include "tests/platform/TestServices.h"
#include "tests/platform/UiWait.h"
#include "tests/standin/StandinService.h"
#include "tests/standin/StandinWeb.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

namespace {

const UINT kQuillonPage = 15002;
const double kResponsiveMs = 100;

class StalledWebTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(lumui::Start());
        services_.SetProgramFolder(dir_.path() + "/");
        std::string error;
        ASSERT_TRUE(service_.LoadSeedFile(STANDIN_SEED_FILE, &error)) << error;
        ASSERT_GT(service_.Start(0), 0);
        // The real message manager and message centre beside the program.
        for (const char* module : {"libQuillon.so", "libParlet.so"})
            std::filesystem::copy_file(std::string(LUM_BIN_DIR) + "/" + module, dir_.file(module));
        SetServiceTimeouts(ServiceTimeouts{3000, 3000, 3000});
        services_.SetExitWaitMs(50);
        app_ = std::make_unique<CKivApp>();
        services_.SetMessageBox([](HWND, const CString&, const CString&, UINT) { return IDOK; });
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
        web_.Stop();
        service_.Stop();
        SetServiceTimeouts(ServiceTimeouts());
    }

    void UseWebServer(const std::string& baseUrl)
    {
        const std::string ini = dir_.file("Lum.ini");
        WritePrivateProfileString("Service", "Host", "127.0.0.1", ini.c_str());
        WritePrivateProfileString("Service", "Port", std::to_string(service_.Port()).c_str(), ini.c_str());
        WritePrivateProfileString("Web", "BaseUrl", baseUrl.c_str(), ini.c_str());
    }

    // The program as it starts: the main window with its login window.
    bool Start()
    {
        main_ = std::make_unique<CKivDlg>();
        app_->m_pMainWnd = main_.get();
        if (!main_->Create(IDD_KIV_DIALOG, nullptr)) return false;
        main_->ShowWindow(SW_SHOW);
        // The web engine starts while the login window waits for the user.
        return lumui::PumpUntil([] { return lumui::WebEngineStarted(); }, 10000);
    }

    // Types the account into the login window and logs in; true once the
    // main window shows its three friends.
    bool LogIn()
    {
        main_->m_dlgLogin.m_editAccount.SetWindowText("13800000001");
        main_->m_dlgLogin.m_editPassword.SetWindowText("123456");
        main_->m_dlgLogin.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_BTN_LOGIN, BN_CLICKED), 0);
        return lumui::PumpUntil(
            [&] {
                return !main_->m_dlgLogining.IsWindowVisible() && main_->m_nLoginsInFlight == 0 &&
                       main_->m_listFriend.m_mapUsers.size() == 3;
            },
            20000);
    }

    // Opens the message manager, then the message centre, as a click on
    // their buttons does; true once both windows are there with their
    // captions.
    bool OpenMessageWindows()
    {
        main_->SendMessage(WM_COMMAND, MAKEWPARAM(IDC_BTN_HISTORY, BN_CLICKED), 0);
        if (!lumui::PumpUntil([&] { return HasFrame(main_->m_hQuillon, "消息管理器"); }, 10000)) return false;
        main_->SendMessage(WM_COMMAND, MAKEWPARAM(IDC_BTN_MESSAGES, BN_CLICKED), 0);
        return lumui::PumpUntil(
            [&] { return HasFrame(main_->m_hQuillon, "消息管理器") && HasFrame(main_->m_hPlugin, "消息中心"); }, 10000);
    }

    static bool HasFrame(HMODULE module, const char* caption)
    {
        if (!module) return false;
        for (HWND hwnd : GetModuleWindows(module)) {
            CWnd* wnd = CWnd::FromHandle(hwnd);
            CString text;
            if (wnd && !wnd->GetParent() && wnd->IsWindowVisible()) wnd->GetWindowText(text);
            if (text == caption) return true;
        }
        return false;
    }

    // For a failure message: what the message manager's page is at (its
    // document's state and address, whether its tree script is there) or
    // that its document never reported itself loaded.
    std::string ManagerPage()
    {
        if (!main_->m_hQuillon) return "no message manager";
        for (HWND hwnd : GetModuleWindows(main_->m_hQuillon))
            if (auto* page = dynamic_cast<CDHtmlDialog*>(CWnd::FromHandle(hwnd)))
                if (page->m_nHtmlResID == kQuillonPage) {
                    CString state;
                    if (page->InvokeScriptMethod(
                            "eval", {"document.readyState + ' ' + location.href + ' ' + typeof initTypeTree"},
                            &state) != S_OK)
                        return "the page has not reported its document";
                    return "page: " + std::string(state.GetString()) + ", tree: " + Tree();
                }
        return "no page of the message manager";
    }

    // The message manager's contact tree as markup ("" while it has none).
    std::string Tree()
    {
        if (!main_->m_hQuillon) return std::string();
        for (HWND hwnd : GetModuleWindows(main_->m_hQuillon))
            if (auto* page = dynamic_cast<CDHtmlDialog*>(CWnd::FromHandle(hwnd)))
                if (page->m_nHtmlResID == kQuillonPage && page->m_hWnd) {
                    CString html;
                    page->GetElementProperty("treeType", DISPID_IHTMLELEMENT_INNERHTML, html);
                    return html.GetString();
                }
        return std::string();
    }

    // How many requests the web server got for `path`.
    int Asked(const std::string& path) const
    {
        int n = 0;
        for (const auto& r : web_.Requests()) n += r.path == path;
        return n;
    }
    // The friends' heads the web server was asked for.
    int HeadsAsked() const
    {
        int n = 0;
        for (const auto& entry : main_->m_listFriend.m_mapUsers)
            n += Asked("/upload/face/" + std::to_string(entry.first) + ".png") > 0;
        return n;
    }

    // Whether every friend's row shows the default head: the pixels of the
    // row's head are those of the default picture.
    bool FriendRowsShowTheDefaultHead()
    {
        CKivUsersListCtrl& list = main_->m_listFriend;
        main_->SelectTab(IDC_BTN_TAB_FRIENDS);
        // Drawn as the list is now.
        uiwait::QueuedWorkDone();
        list.Invalidate();
        list.UpdateWindow();
        Gdiplus::Color expected;
        if (!list.m_pDefaultHead || list.m_pDefaultHead->GetPixel(20, 20, &expected) != Gdiplus::Ok) return false;
        for (int row = 0; row < list.GetItemCount(); ++row) {
            const DWORD shown = lumui::WindowPixel(list.m_hWnd, 12 + 20, row * 52 + 3 + 20);
            if ((shown & 0xFFFFFF) != (expected.GetValue() & 0xFFFFFF)) return false;
        }
        return list.GetItemCount() == 3;
    }

    TempDir dir_;
    TestServices services_;
    standin::StandinService service_;
    standin::StandinWeb web_;
    std::unique_ptr<CKivApp> app_;
    std::unique_ptr<CKivDlg> main_;
    NetworkWaitWatch network_;  // made on the UI thread with the fixture
};

TEST_F(StalledWebTest, TheClientLogsInAndOpensItsMessageWindowsWhileTheWebServerNeverAnswers)
{
    ASSERT_GT(web_.Start(0, STANDIN_WWW), 0);
    web_.Stall("/");
    UseWebServer(web_.BaseUrl());

    ASSERT_TRUE(Start());
    network_.Arm();
    ASSERT_TRUE(LogIn());
    ASSERT_TRUE(OpenMessageWindows());
    // Heads were asked for and none has come.
    EXPECT_TRUE(lumui::PumpUntil([] { return lumheads::PendingHeads() > 0; }, 5000));
    // The server holds a friend's head it was asked for (the others wait
    // behind the requests it holds).
    EXPECT_TRUE(lumui::PumpUntil([&] { return HeadsAsked() > 0; }, 10000));
    EXPECT_TRUE(uiwait::QueuedWorkDone());
    EXPECT_LT(network_.LongestMs(), kResponsiveMs);
    EXPECT_TRUE(FriendRowsShowTheDefaultHead());

    // The server answers at last: the friends' heads take their places.
    web_.Unstall();
    EXPECT_TRUE(lumui::PumpUntil(
        [&] {
            for (const auto& entry : main_->m_listFriend.m_mapUsers)
                if (!entry.second->m_imgHead) return false;
            return true;
        },
        20000));
    EXPECT_FALSE(FriendRowsShowTheDefaultHead());
}

TEST_F(StalledWebTest, TheClientLogsInAndOpensItsMessageWindowsWhileTheWebServerRefusesConnections)
{
    standin::RefusingPort refusing;
    ASSERT_GT(refusing.Port(), 0);
    UseWebServer(refusing.BaseUrl());

    ASSERT_TRUE(Start());
    network_.Arm();
    ASSERT_TRUE(LogIn());
    ASSERT_TRUE(OpenMessageWindows());
    // The manager's tree is built with the default pictures.
    EXPECT_TRUE(lumui::PumpUntil([&] { return Tree().find("upload/face/default.png") != std::string::npos; }, 10000))
        << ManagerPage();
    EXPECT_TRUE(lumui::PumpUntil([] { return lumheads::PendingHeads() == 0; }, 10000));
    EXPECT_LT(network_.LongestMs(), kResponsiveMs);
    EXPECT_TRUE(FriendRowsShowTheDefaultHead());
    EXPECT_EQ(Tree().find("upload/face/10002.png"), std::string::npos);
}

TEST_F(StalledWebTest, TheMessageManagerShowsItsTreeAtOnceWhileHeadsStallAndTheHeadsFollow)
{
    ASSERT_GT(web_.Start(0, STANDIN_WWW), 0);
    UseWebServer(web_.BaseUrl());
    ASSERT_TRUE(Start());
    ASSERT_TRUE(LogIn());
    // The heads asked for at the login have come.
    ASSERT_TRUE(lumui::PumpUntil([] { return lumheads::PendingHeads() == 0; }, 10000));

    // Pages and their scripts come; head pictures never answer.
    web_.Stall("/upload/");
    lumheads::ForgetHeads();
    network_.Arm();
    ASSERT_TRUE(OpenMessageWindows());
    EXPECT_TRUE(lumui::PumpUntil([&] { return Tree().find("upload/face/default.png") != std::string::npos; }, 10000));
    // The server holds the head the tree would show.
    EXPECT_TRUE(lumui::PumpUntil([&] { return Asked("/upload/face/10002.png") > 0; }, 10000));
    EXPECT_TRUE(uiwait::QueuedWorkDone());
    EXPECT_LT(network_.LongestMs(), kResponsiveMs);
    EXPECT_EQ(Tree().find("upload/face/10002.png"), std::string::npos);

    // The heads come: the tree shows them in place of the default.
    web_.Unstall();
    EXPECT_TRUE(lumui::PumpUntil([&] { return Tree().find("upload/face/10002.png") != std::string::npos; }, 20000))
        << Tree();
}

}  // namespace
