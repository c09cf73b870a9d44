// The popup menus and the dialog frame on a desktop with a window manager,
// driven with the display's own pointer as a person would: every menu opens
// at the pointer, opens its submenus, closes on a click elsewhere and hands
// the chosen command to its owner; captions drag and edges resize; nothing
// trips a check of the toolkit.
#include "base/DlgBase.h"
#include "base/WndMenu.h"
#include "platform/uiapp.h"
#include "tests/e2e/Desktop.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>

namespace {

const UINT kFrameTemplate = 9210;

struct RegisterFrameTemplate {
    RegisterFrameTemplate()
    {
        DialogTemplate t;
        t.id = kFrameTemplate;
        t.cx = 400;
        t.cy = 300;
        t.style = WS_POPUP;
        RegisterDialogTemplate(nullptr, t);
    }
} g_registerFrame;

class Frame : public CDlgBase {
public:
    Frame() : CDlgBase(kFrameTemplate) {}
};

class Owner : public CWnd {
public:
    BOOL OnCommand(WPARAM wParam, LPARAM) override
    {
        last = LOWORD(wParam);
        return TRUE;
    }
    UINT last = 0;
};

class WindowManagerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(lumui::Start());
        assertionsBefore_ = lumui::ToolkitAssertions();
        ASSERT_TRUE(owner_.CreateEx(0, nullptr, "menus", WS_POPUP | WS_VISIBLE, 100, 100, 300, 200, nullptr, 0));
        ASSERT_TRUE(lumui::PumpUntil([this] { return e2e::IsVisible(lumui::NativeWindowId(owner_.m_hWnd)); }, 5000));
    }

    void TearDown() override
    {
        owner_.DestroyWindow();
        EXPECT_EQ(lumui::ToolkitAssertions(), assertionsBefore_) << "the toolkit reported failed checks (stderr)";
    }

    // Shows a menu at (x, y) with the display's pointer there, while
    // `drive` works the display from another thread as a person would;
    // `drive` must leave the menu closed. Returns what `drive` reported.
    std::string WithMenu(int x, int y, const std::function<void()>& show,
                         const std::function<std::string()>& drive)
    {
        if (!e2e::PointAt(x, y)) return "the pointer did not move";
        std::string problem;
        std::atomic<bool> done{false};
        std::thread driver([&] {
            problem = drive();
            // Whatever happened, the menu goes, so that the test goes on.
            if (!e2e::WaitForPopups(0, 1000)) {
                e2e::Key("Escape");
                e2e::Click(5, 1000);
            }
            done = true;
        });
        show();
        lumui::PumpUntil([&] { return done.load(); }, 20000);
        driver.join();
        return problem;
    }

    Owner owner_;
    int assertionsBefore_ = 0;
};

// Opens, checks and closes one menu: it is on the screen beside the pointer;
// when its first row holds a submenu, resting on it opens that too; a click
// elsewhere on the screen closes them all.
std::string OpenAndDismiss(int x)
{
    e2e::ScreenWindow menu;
    if (!e2e::WaitForPopups(1, 5000, &menu)) return "no menu came on the screen";
    if (x < menu.x - 2 || x > menu.x + menu.width + 2) return "the menu is not beside the pointer";
    e2e::PointAt(menu.x + menu.width / 2, menu.y + 12);
    e2e::PointAt(menu.x + menu.width / 2 + 1, menu.y + 13);
    e2e::ScreenWindow sub;
    const bool opened = e2e::WaitForPopups(2, 700, &sub);
    if (opened && sub.x < menu.x + menu.width - 10) return "the submenu is not beside its menu";
    e2e::Click(5, 1000);
    return e2e::WaitForPopups(0, 5000) ? std::string() : "a click elsewhere left the menu open";
}

}  // namespace

TEST_F(WindowManagerTest, EveryMenuOpensAtThePointerAndClosesOnAClickElsewhere)
{
    const HINSTANCE caller = AfxGetResourceHandle();
    const struct {
        const char* name;
        std::function<void(CWndMenu&)> show;
    } menus[] = {
        {"login", [&](CWndMenu& m) { m.ShowLoginMenu(&owner_, caller); }},
        {"tray", [&](CWndMenu& m) { m.ShowTaskBarMenu(&owner_, caller); }},
        {"main", [&](CWndMenu& m) { m.ShowMainMenu(&owner_, caller); }},
        {"friend list", [&](CWndMenu& m) { m.ShowFriendBlankMenu(&owner_, caller); }},
        {"friend", [&](CWndMenu& m) { m.ShowFriendMenu(&owner_, caller); }},
        {"black list", [&](CWndMenu& m) { m.ShowBlackMenu(&owner_, caller); }},
        {"stranger", [&](CWndMenu& m) { m.ShowStrangerMenu(&owner_, caller); }},
        {"group list", [&](CWndMenu& m) { m.ShowGroupBlankMenu(&owner_, caller); }},
        {"own group", [&](CWndMenu& m) { m.ShowGroupMasterMenu(&owner_, caller, 3); }},
        {"group", [&](CWndMenu& m) { m.ShowGroupNoMasterMenu(&owner_, caller, 0); }},
        {"blocking days", [&](CWndMenu& m) { m.ShowAddBlacklist(&owner_, caller); }},
        {"member of own group", [&](CWndMenu& m) { m.ShowGroupMasterMemberMenu(&owner_, caller, 0, 0); }},
        {"member", [&](CWndMenu& m) { m.ShowGroupNoMasterMemberMenu(&owner_, caller); }},
        {"meeting member", [&](CWndMenu& m) { m.ShowGroupMeetingMemberMenu(&owner_, caller); }},
        {"own meeting group", [&](CWndMenu& m) { m.ShowGroupMeetingMasterMenu(&owner_, caller); }},
        {"meeting group", [&](CWndMenu& m) { m.ShowGroupMeetingNoMasterMenu(&owner_, caller); }},
        {"group type", [&](CWndMenu& m) { m.ShowChangeGroupStyle(&owner_, caller, 9079); }},
    };
    for (const auto& m : menus) {
        CWndMenu menu;
        const std::string problem =
            WithMenu(600, 400, [&] { m.show(menu); }, [] { return OpenAndDismiss(600); });
        EXPECT_EQ(problem, "") << "the " << m.name << " menu";
        EXPECT_EQ(owner_.last, 0u) << "the " << m.name << " menu sent a command nobody chose";
    }
}

TEST_F(WindowManagerTest, TheItemClickedReachesTheOwner)
{
    CWndMenu menu;
    const std::string problem = WithMenu(
        500, 300, [&] { menu.ShowFriendMenu(&owner_, AfxGetResourceHandle()); },
        [] {
            e2e::ScreenWindow popup;
            if (!e2e::WaitForPopups(1, 5000, &popup)) return std::string("no menu came on the screen");
            // Rows of 24 pixels after a 3-pixel border: the first is 9028.
            e2e::Click(popup.x + 40, popup.y + 3 + 12);
            return e2e::WaitForPopups(0, 5000) ? std::string() : std::string("the menu stayed open");
        });
    EXPECT_EQ(problem, "");
    lumui::PumpUntil([this] { return owner_.last != 0; }, 2000);
    EXPECT_EQ(owner_.last, 9028u);
}

TEST_F(WindowManagerTest, CaptionsDragAndEdgesResizeTheFrame)
{
    Frame frame;
    ASSERT_TRUE(frame.Create(kFrameTemplate));
    frame.MoveWindow(200, 150, 400, 300);
    frame.ShowWindow(SW_SHOW);
    const unsigned long id = lumui::NativeWindowId(frame.m_hWnd);
    ASSERT_TRUE(lumui::PumpUntil([&] { return e2e::IsVisible(id); }, 5000));
    CRect before;
    frame.GetWindowRect(&before);

    // The caption: a drag of (150, 100) moves the window as far, on the
    // screen and in what the program reads.
    // A drag by the pointer, while the program handles what it does.
    const auto dragWhilePumping = [](int fromX, int fromY, int toX, int toY) {
        std::atomic<bool> finished{false};
        std::thread t([&] {
            e2e::Drag(fromX, fromY, toX, toY);
            finished = true;
        });
        lumui::PumpUntil([&] { return finished.load(); }, 10000);
        t.join();
    };
    dragWhilePumping(before.left + 100, before.top + 10, before.left + 250, before.top + 110);
    CRect moved;
    ASSERT_TRUE(lumui::PumpUntil(
        [&] {
            frame.GetWindowRect(&moved);
            return moved.left == before.left + 150 && moved.top == before.top + 100;
        },
        5000))
        << "the window is at " << moved.left << "," << moved.top;
    e2e::ScreenWindow shown;
    ASSERT_TRUE(e2e::WaitForWindowWhere([&](const e2e::ScreenWindow& w) { return w.id == id; }, 2000, &shown));
    EXPECT_EQ(shown.x, moved.left);
    EXPECT_EQ(shown.y, moved.top);

    // The right edge (60 wider), then, once the window is that wide, the
    // bottom-right corner (30 wider, 40 taller).
    CRect sized;
    dragWhilePumping(moved.right - 2, moved.top + 150, moved.right + 58, moved.top + 150);
    ASSERT_TRUE(lumui::PumpUntil(
        [&] {
            frame.GetWindowRect(&sized);
            return sized.Width() == moved.Width() + 60 && sized.Height() == moved.Height();
        },
        5000))
        << "the window is " << sized.Width() << "x" << sized.Height();
    dragWhilePumping(sized.right - 6, sized.bottom - 6, sized.right + 30 - 6, sized.bottom + 40 - 6);
    EXPECT_TRUE(lumui::PumpUntil(
        [&] {
            frame.GetWindowRect(&sized);
            return sized.Width() == moved.Width() + 90 && sized.Height() == moved.Height() + 40;
        },
        5000))
        << "the window is " << sized.Width() << "x" << sized.Height();
    frame.DestroyWindow();
}

namespace lumui {
// Input as the display would deliver it (the layer's own entry for tests).
void DeliverTestMouse(HWND target, UINT message, POINT screen, UINT keys);
}  // namespace lumui

// The window ends where the button went up, also when no motion reached the
// program between the last move and the release (motion is merged, or still
// on its way, on a busy machine).
TEST_F(WindowManagerTest, ADragEndsWhereTheButtonWentUp)
{
    Frame frame;
    ASSERT_TRUE(frame.Create(kFrameTemplate));
    frame.MoveWindow(200, 150, 400, 300);
    frame.ShowWindow(SW_SHOW);
    ASSERT_TRUE(lumui::PumpUntil([&] { return e2e::IsVisible(lumui::NativeWindowId(frame.m_hWnd)); }, 5000));
    CRect r;
    frame.GetWindowRect(&r);
    const POINT press{r.left + 100, r.top + 10};
    lumui::DeliverTestMouse(frame.m_hWnd, WM_LBUTTONDOWN, press, MK_LBUTTON);
    // The first move shows the drag has begun.
    ASSERT_TRUE(lumui::PumpUntil(
        [&] {
            lumui::DeliverTestMouse(frame.m_hWnd, WM_MOUSEMOVE, POINT{press.x + 20, press.y + 20}, MK_LBUTTON);
            CRect now;
            frame.GetWindowRect(&now);
            return now.left == r.left + 20 && now.top == r.top + 20;
        },
        5000));
    lumui::DeliverTestMouse(frame.m_hWnd, WM_LBUTTONUP, POINT{press.x + 100, press.y + 100}, 0);
    CRect after;
    EXPECT_TRUE(lumui::PumpUntil(
        [&] {
            frame.GetWindowRect(&after);
            return after.left == r.left + 100 && after.top == r.top + 100;
        },
        3000))
        << "the window is at " << after.left - r.left << "," << after.top - r.top << " from where it was";
    frame.DestroyWindow();
}
