// The main panel on a desktop with a window manager, driven with the
// display's own pointer: before login the invisible panel lets clicks through
// to what lies below; after login "_" hides it to the tray, or minimises it
// where the desktop has no tray; dragged to a screen edge it docks, slides
// out of sight when the pointer leaves and back when it returns; the main
// menu opens and closes under the window manager.
#include "Lum/KivApp.h"
#include "Lum/KivDlg.h"
#include "Lum/LumResource.h"
#include "Lum/session/ServiceConnection.h"
#include "platform/config.h"
#include "platform/files.h"
#include "platform/uiapp.h"
#include "tests/e2e/Desktop.h"
#include "tests/platform/TempDir.h"
#include "tests/platform/TestServices.h"
#include "tests/platform/UiWait.h"
#include "tests/standin/StandinService.h"

#include <X11/Xlib.h>
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>

namespace {

const UINT kMinimise = 13000;

class Underneath : public CWnd {
public:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        if (message == WM_LBUTTONDOWN) ++clicks;
        return CWnd::WindowProc(message, wParam, lParam);
    }
    int clicks = 0;
};

// Claims the desktop's tray: the display then has a notification area, as a
// desktop with a tray does (the icons are not drawn).
class FakeTray {
public:
    FakeTray()
    {
        display_ = XOpenDisplay(nullptr);
        if (!display_) return;
        window_ = XCreateSimpleWindow(display_, DefaultRootWindow(display_), 0, 0, 1, 1, 0, 0, 0);
        XSetSelectionOwner(display_, XInternAtom(display_, "_NET_SYSTEM_TRAY_S0", False), window_, CurrentTime);
        XSync(display_, False);
    }
    ~FakeTray()
    {
        if (!display_) return;
        XDestroyWindow(display_, window_);
        XCloseDisplay(display_);
    }

private:
    Display* display_ = nullptr;
    Window window_ = 0;
};

class PanelDesktopTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(lumui::Start());
        assertions_ = lumui::ToolkitAssertions();
        services_.SetProgramFolder(dir_.path() + "/");
        ASSERT_TRUE(service_.LoadSeedFile(STANDIN_SEED_FILE));
        const int port = service_.Start(0);
        ASSERT_GT(port, 0);
        const std::string ini = dir_.file("Lum.ini");
        WritePrivateProfileString("Service", "Host", "127.0.0.1", ini.c_str());
        WritePrivateProfileString("Service", "Port", std::to_string(port).c_str(), ini.c_str());
        WritePrivateProfileString("Web", "BaseUrl", "http://127.0.0.1:9", ini.c_str());
        services_.SetExitWaitMs(50);
        app_ = std::make_unique<CKivApp>();
        main_ = std::make_unique<CKivDlg>();
        app_->m_pMainWnd = main_.get();
        ASSERT_TRUE(main_->Create(IDD_KIV_DIALOG, nullptr));
        main_->ShowWindow(SW_SHOW);
        id_ = lumui::NativeWindowId(main_->m_hWnd);
        ASSERT_NE(id_, 0u);
        ASSERT_TRUE(lumui::PumpUntil([&] { return e2e::IsVisible(id_); }, 5000));
    }

    void TearDown() override
    {
        app_->m_pMainWnd = nullptr;
        main_->DestroyWindow();
        main_.reset();
        uiwait::QueuedWorkDone();
        app_.reset();
        service_.Stop();
        EXPECT_EQ(lumui::ToolkitAssertions(), assertions_) << "the toolkit reported failed checks (stderr)";
    }

    void LogIn()
    {
        const unsigned long login = lumui::NativeWindowId(main_->m_dlgLogin.m_hWnd);
        main_->m_dlgLogin.m_editAccount.SetWindowText("13800000001");
        main_->m_dlgLogin.m_editPassword.SetWindowText("123456");
        main_->m_dlgLogin.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_BTN_LOGIN, BN_CLICKED), 0);
        ASSERT_TRUE(lumui::PumpUntil([&] { return lumui::LayeredAlpha(main_->m_hWnd) == 255; }, 10000))
            << "the login did not finish";
        ASSERT_TRUE(lumui::PumpUntil([&] { return e2e::IsVisible(id_); }, 5000));
        // The login window, which lay over the panel's place, has left the
        // screen: a click there reaches the panel.
        ASSERT_TRUE(lumui::PumpUntil([&] { return !e2e::IsVisible(login); }, 5000)) << "the login window stays";
        // Where the login put it (the login window's place), on the screen.
        ASSERT_TRUE(ShownAt(Place()));
        // And the display hands it the pointer: it no longer lets clicks
        // through as it did while it was invisible.
        const CPoint centre = Place().CenterPoint();
        Drive([&] { e2e::PointAt(centre.x, centre.y); });
        ASSERT_TRUE(lumui::PumpUntil([&] { return e2e::PointerOver(id_); }, 5000))
            << "the display does not hand the visible panel (0x" << std::hex << id_ << std::dec << ", at "
            << Place().left << "," << Place().top << ") the pointer; " << e2e::UnderPointer();
    }

    // Runs `drive` (real input through the display) on another thread while
    // the UI thread goes on handling events.
    void Drive(const std::function<void()>& drive)
    {
        std::atomic<bool> done{false};
        std::thread t([&] {
            drive();
            done = true;
        });
        lumui::PumpUntil([&] { return done.load(); }, 20000);
        t.join();
    }

    CRect Place()
    {
        CRect r;
        main_->GetWindowRect(&r);
        return r;
    }

    // Whether the display shows the panel at the place the program has for
    // it, once the window manager has done the moves asked for.
    bool ShownAt(const CRect& r)
    {
        e2e::ScreenWindow shown;
        const bool there = lumui::PumpUntil(
            [&] {
                for (const e2e::ScreenWindow& w : e2e::VisibleWindows())
                    if (w.id == id_) {
                        shown = w;
                        return w.x == r.left && w.y == r.top;
                    }
                return false;
            },
            3000);
        if (!there) ADD_FAILURE() << "shown at " << shown.x << "," << shown.y << ", not " << r.left << "," << r.top;
        return there;
    }

    // The centre of the frame's minimise button, on the screen.
    CPoint MinimiseButton()
    {
        CRect r;
        main_->GetDlgItem(kMinimise)->GetWindowRect(&r);
        return r.CenterPoint();
    }

    TempDir dir_;
    TestServices services_;
    standin::StandinService service_;
    std::unique_ptr<CKivApp> app_;
    std::unique_ptr<CKivDlg> main_;
    unsigned long id_ = 0;
    int assertions_ = 0;
};

}  // namespace

TEST_F(PanelDesktopTest, BeforeLoginTheInvisiblePanelLetsClicksThrough)
{
    // Nor does it take the keyboard: the login window has it.
    const unsigned long login = lumui::NativeWindowId(main_->m_dlgLogin.m_hWnd);
    EXPECT_TRUE(lumui::PumpUntil([&] { return e2e::HasFocus(login); }, 5000)) << "the login window has no keyboard";
    EXPECT_FALSE(e2e::HasFocus(id_));

    // A window of another program's place, under the panel's rectangle.
    const CRect panel = Place();
    Underneath below;
    ASSERT_TRUE(below.CreateEx(0, nullptr, "below", WS_POPUP | WS_VISIBLE, panel.left - 20, panel.top - 20,
                               panel.Width() + 40, panel.Height() + 40, nullptr, 0));
    ASSERT_TRUE(lumui::PumpUntil([&] { return e2e::IsVisible(lumui::NativeWindowId(below.m_hWnd)); }, 5000));
    // The panel above it again, as before.
    main_->SetWindowPos(&CWnd::wndTop, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    ASSERT_EQ(lumui::LayeredAlpha(main_->m_hWnd), 0);
    Drive([&] { e2e::Click(panel.CenterPoint().x, panel.CenterPoint().y); });
    EXPECT_TRUE(lumui::PumpUntil([&] { return below.clicks == 1; }, 3000)) << "the click went to the invisible panel";
    EXPECT_FALSE(e2e::PointerOver(id_)) << "the display hands the invisible panel the pointer";
    below.DestroyWindow();
}

TEST_F(PanelDesktopTest, WithoutATrayMinimiseKeepsThePanelInTheTaskList)
{
    ASSERT_FALSE(IsTrayAvailable());
    LogIn();
    const CPoint button = MinimiseButton();
    Drive([&] { e2e::Click(button.x, button.y); });
    ASSERT_TRUE(lumui::PumpUntil([&] { return e2e::IsMinimised(id_); }, 5000)) << "the panel was not minimised";
    EXPECT_FALSE(e2e::SkipsTaskList(id_)) << "a minimised panel outside the task list cannot be found again";
    EXPECT_TRUE(lumui::PumpUntil([&] { return main_->IsIconic() != FALSE; }, 2000));

    // Chosen in the task list, it comes back.
    Drive([&] { e2e::Activate(id_); });
    EXPECT_TRUE(lumui::PumpUntil([&] { return !e2e::IsMinimised(id_) && e2e::IsVisible(id_); }, 5000));
    EXPECT_TRUE(lumui::PumpUntil([&] { return !main_->IsIconic(); }, 2000));
}

TEST_F(PanelDesktopTest, WithATrayMinimiseHidesThePanelToIt)
{
    FakeTray tray;
    ASSERT_TRUE(IsTrayAvailable());
    LogIn();
    const CPoint button = MinimiseButton();
    Drive([&] { e2e::Click(button.x, button.y); });
    EXPECT_TRUE(lumui::PumpUntil([&] { return !e2e::IsVisible(id_); }, 5000));
    EXPECT_FALSE(main_->IsWindowVisible());
}

TEST_F(PanelDesktopTest, DraggedToAnEdgeThePanelDocksSlidesAwayAndComesBack)
{
    LogIn();
    const CRect start = Place();
    const int sw = GetSystemMetrics(SM_CXSCREEN);
    struct Edge {
        const char* name;
        CPoint to;                                 // where the caption's grab point is dragged
        std::function<bool(const CRect&)> docked;  // the rectangle held against the edge
        std::function<bool(const CRect&)> hidden;  // the rectangle slid away
        std::function<CPoint(const CRect&)> back;  // a point amid the strip left on the screen
    };
    // The caption is grabbed 60 pixels right of the window's left and 10
    // below its top, and dragged a little beyond each edge.
    const Edge edges[] = {
        {"top", CPoint(460, 2), [](const CRect& r) { return r.top == 0; },
         [](const CRect& r) { return r.top == 5 - r.Height(); },
         [](const CRect& r) { return CPoint(r.CenterPoint().x, 0); }},
        {"left", CPoint(30, 310), [](const CRect& r) { return r.left == 0; },
         [](const CRect& r) { return r.left == 5 - r.Width(); },
         [](const CRect& r) { return CPoint(0, r.CenterPoint().y); }},
        {"right", CPoint(sw - start.Width() + 90, 310), [sw](const CRect& r) { return r.right == sw; },
         [sw](const CRect& r) { return r.left == sw - 5; },
         [sw](const CRect& r) { return CPoint(sw - 1, r.CenterPoint().y); }},
    };
    // Waits until the program places the panel so; `r` is where it is then.
    CRect r;
    auto placedSo = [&](const std::function<bool(const CRect&)>& so) {
        return lumui::PumpUntil(
            [&] {
                r = Place();
                return so(r);
            },
            8000);
    };
    for (const Edge& e : edges) {
        // Back to the middle of the screen, undocked.
        main_->m_autoHide.m_nDockState = 0;
        main_->SetWindowPos(nullptr, 400, 300, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
        const CRect before = Place();
        ASSERT_TRUE(ShownAt(before)) << e.name;
        // As a person drags: the button goes down on the caption and the
        // panel follows the pointer to the edge, where it is seen held
        // before the button goes up, and the pointer leaves only then. (A
        // person does not leave before the panel has followed: a pointer
        // already elsewhere when the drag is handled is a pull away from the
        // edge.)
        const CPoint grab(before.left + 60, before.top + 10);
        Drive([&] {
            e2e::ButtonDown(grab.x, grab.y);
            e2e::PointAt(grab.x + 8, grab.y + 8);
        });
        ASSERT_TRUE(placedSo([&](const CRect& at) { return at.left == before.left + 8 && at.top == before.top + 8; }))
            << e.name << ": the panel did not follow the pointer, at " << r.left << "," << r.top;
        Drive([&] {
            for (int i = 1; i <= 8; ++i)
                e2e::PointAt(grab.x + 8 + (e.to.x - grab.x - 8) * i / 8, grab.y + 8 + (e.to.y - grab.y - 8) * i / 8);
        });
        ASSERT_TRUE(placedSo(e.docked)) << e.name << ": not held against the edge, at " << r.left << "," << r.top;
        Drive([] { e2e::ButtonUp(); });
        ASSERT_TRUE(lumui::PumpUntil([] { return !e2e::PointerHeld(); }, 8000)) << e.name << ": the drag did not end";
        Drive([] { e2e::PointAt(640, 900); });  // the pointer leaves the panel
        ASSERT_TRUE(placedSo(e.hidden)) << e.name << ": not slid away, at " << r.left << "," << r.top;
        // The display agrees with the program: the window manager left the
        // panel beyond the edge.
        EXPECT_TRUE(ShownAt(r)) << e.name;

        // The pointer on the strip brings it back on the screen.
        const CPoint strip = e.back(r);
        Drive([&] { e2e::PointAt(strip.x, strip.y); });
        EXPECT_TRUE(placedSo([sw](const CRect& at) { return at.left >= 0 && at.top >= 0 && at.right <= sw; }))
            << e.name << ": did not come back, at " << r.left << "," << r.top;
        EXPECT_TRUE(ShownAt(r)) << e.name;
    }
}

TEST_F(PanelDesktopTest, MainMenuOpensAndClosesUnderTheWindowManager)
{
    LogIn();
    std::filesystem::create_directories(SCREENSHOT_DIR);
    CRect button;
    main_->m_btnMainMenu.GetWindowRect(&button);
    std::string problem;
    Drive([&] {
        e2e::Click(button.CenterPoint().x, button.CenterPoint().y);
        e2e::ScreenWindow menu;
        if (!e2e::WaitForPopups(1, 5000, &menu)) {
            problem = "no menu came on the screen";
            return;
        }
        // Resting on 服务 opens its submenu beside the menu.
        e2e::PointAt(menu.x + 40, menu.y + 12);
        e2e::PointAt(menu.x + 41, menu.y + 13);
        e2e::ScreenWindow sub;
        if (!e2e::WaitForPopups(2, 3000, &sub)) problem = "the 服务 submenu did not open";
        else if (sub.x < menu.x + menu.width - 10) problem = "the submenu is not beside the menu";
        lumui::SaveScreenImage(SCREENSHOT_DIR "/main-menu-under-window-manager.png");
        e2e::Click(20, 1000);
        if (problem.empty() && !e2e::WaitForPopups(0, 5000)) problem = "a click elsewhere left the menu open";
    });
    EXPECT_EQ(problem, "");
    // The caption still drags afterwards (the menu's grab is gone).
    const CRect before = Place();
    Drive([&] { e2e::Drag(before.left + 100, before.top + 8, before.left + 40, before.top + 108); });
    CRect after;
    EXPECT_TRUE(lumui::PumpUntil(
        [&] {
            after = Place();
            return after.left == before.left - 60 && after.top == before.top + 100;
        },
        5000))
        << "the panel is at " << after.left << "," << after.top;
}
