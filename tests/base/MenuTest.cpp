// The client's popup menus: what each operation shows, checks and sends.
#include "base/BaseModule.h"
#include "base/WndMenu.h"
#include "platform/uiapp.h"
#include "tests/platform/UiWait.h"

#include <gtest/gtest.h>

namespace {

// The entries of a menu: ids, 0 for separators, -1 for popups.
std::vector<int> entries(CMenu* menu)
{
    std::vector<int> out;
    for (int i = 0; menu && i < menu->GetMenuItemCount(); ++i) out.push_back(static_cast<int>(menu->GetMenuItemID(i)));
    return out;
}

std::vector<int> shown(const CWndMenu::MenuLayout& layout, CMenuEx& menu)
{
    return entries(CWndMenu::Build(menu, layout));
}

bool checked(CMenu* menu, UINT id)
{
    return (menu->GetMenuState(id, MF_BYCOMMAND) & MF_CHECKED) != 0;
}

class Menus : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(lumui::Start()); }
};

}  // namespace

TEST_F(Menus, EachOperationShowsItsItems)
{
    struct Case {
        CWndMenu::MenuLayout layout;
        std::vector<int> items;
    } cases[] = {
        {CWndMenu::LoginLayout(), {9071, 9072}},
        {CWndMenu::TaskBarLayout(), {9071, 9072, 9073, 0, 9074, 0, 9063, 9066}},
        {CWndMenu::MainLayout(), {-1, -1, 0, 9064, 0, 9065, 9066}},
        {CWndMenu::FriendBlankLayout(), {9036, 0, 0}},
        {CWndMenu::FriendLayout(), {9028, 9035, 0, 9044, 9046, 0, 9030, 9052}},
        {CWndMenu::BlackLayout(), {9028, 0, 9045, 0, 9030, 9052}},
        {CWndMenu::StrangerLayout(), {9028, 0, 9043, 9077, 0, 9030, 9052}},
        {CWndMenu::GroupBlankLayout(), {9067, 9026, 0}},
        {CWndMenu::GroupMasterLayout(0), {9034, 9035, 0, 9039, 9040, 9042, 0, -1, 9048}},
        {CWndMenu::GroupNoMasterLayout(0), {9034, 9035, 0, 9041, 9042, 0, -1, 9049}},
        {CWndMenu::AddBlacklistLayout(), {9031, 9032, 9033}},
        {CWndMenu::GroupMasterMemberLayout(0, 0), {9028, 9035, 0, 9038, 9081, 9047, 0, 9030, 9052}},
        {CWndMenu::GroupMasterMemberLayout(0, 1), {9028, 9035, 0, 9038, 9082, 9047, 0, 9030, 9052}},
        {CWndMenu::GroupMasterMemberLayout(1, 1), {9028, 9035, 0, 9038, 9047, 0, 9030, 9052}},
        {CWndMenu::GroupNoMasterMemberLayout(), {9028, 9035, 0, 9043, 9029, 0, 9030, 9052}},
        {CWndMenu::GroupMeetingMemberLayout(), {9028, 9029, 9030, 0}},
        {CWndMenu::GroupMeetingMasterLayout(), {9034, 9035, 0, 9040, 9048}},
        {CWndMenu::GroupMeetingNoMasterLayout(), {9034, 9035, 0, 9049}},
        {CWndMenu::ChangeGroupStyleLayout(9079), {9078, 9079, 9080}},
    };
    int n = 0;
    for (const Case& c : cases) {
        CMenuEx menu;
        EXPECT_EQ(shown(c.layout, menu), c.items) << "case " << n;
        ++n;
    }

    CMenuEx main;
    CMenu* mainPopup = CWndMenu::Build(main, CWndMenu::MainLayout());
    ASSERT_NE(mainPopup, nullptr);
    EXPECT_EQ(entries(mainPopup->GetSubMenu(0)), (std::vector<int>{9036, 0, 9067, 9026}));
    EXPECT_EQ(entries(mainPopup->GetSubMenu(1)), (std::vector<int>{9035, 0, 9069, 9070}));
}

TEST_F(Menus, ChecksFollowTheBlockingDaysAndTheGroupType)
{
    for (auto dc : {std::make_pair(1, 9031u), std::make_pair(3, 9032u), std::make_pair(5, 9033u)}) {
        CMenuEx menu;
        CMenu* popup = CWndMenu::Build(menu, CWndMenu::GroupMasterLayout(dc.first));
        EXPECT_TRUE(checked(popup, dc.second)) << dc.first;
    }
    for (int days : {0, 30}) {
        CMenuEx menu;
        CMenu* popup = CWndMenu::Build(menu, CWndMenu::GroupNoMasterLayout(days));
        for (UINT id : {9031u, 9032u, 9033u}) EXPECT_FALSE(checked(popup, id)) << days;
    }
    CMenuEx style;
    CMenu* popup = CWndMenu::Build(style, CWndMenu::ChangeGroupStyleLayout(9080));
    EXPECT_TRUE(checked(popup, 9080));
    EXPECT_FALSE(checked(popup, 9078));
}

TEST_F(Menus, IconsAndMeasuring)
{
    CMenuEx login;
    CMenu* popup = CWndMenu::Build(login, CWndMenu::LoginLayout());
    ASSERT_NE(popup, nullptr);
    auto* online = reinterpret_cast<CMenuItemRecord*>(popup->GetMenuItemData(0, MF_BYPOSITION));
    ASSERT_NE(online, nullptr);
    EXPECT_EQ(online->m_nImage, 8);  // 9071 is the ninth tool bar button
    EXPECT_EQ(login.m_nIconWidth, 16);

    MEASUREITEMSTRUCT mis;
    mis.itemData = reinterpret_cast<ULONG_PTR>(online);
    static_cast<CMenuEx*>(popup)->MeasureItem(&mis);
    EXPECT_EQ(mis.itemHeight, 20u);  // icon height + 4
    const UINT marked = mis.itemWidth;

    CMenuEx unmarked;  // the no-master group menu skips the check pass
    CMenu* group = CWndMenu::Build(unmarked, CWndMenu::GroupNoMasterLayout(0));
    auto* first = reinterpret_cast<CMenuItemRecord*>(group->GetMenuItemData(0, MF_BYPOSITION));
    EXPECT_EQ(first->m_nMeasure, -1);
    mis.itemData = reinterpret_cast<ULONG_PTR>(online);
    online->m_nMeasure = -1;
    static_cast<CMenuEx*>(popup)->MeasureItem(&mis);
    EXPECT_EQ(mis.itemWidth + 30, marked);

    CMenuItemRecord separator;
    separator.m_nID = 0;
    mis.itemData = reinterpret_cast<ULONG_PTR>(&separator);
    static_cast<CMenuEx*>(popup)->MeasureItem(&mis);
    EXPECT_EQ(mis.itemHeight, 8u);
}

TEST_F(Menus, TheChosenItemReachesTheOwner)
{
    class Owner : public CWnd {
    public:
        BOOL OnCommand(WPARAM wParam, LPARAM) override
        {
            last = LOWORD(wParam);
            return TRUE;
        }
        UINT last = 0;
    } owner;
    ASSERT_TRUE(owner.CreateEx(0, nullptr, nullptr, WS_POPUP | WS_VISIBLE, 10, 10, 50, 50, nullptr, 0));
    SetCursorPos(300, 300);
    lumui::RunLater([] {
        HWND popup = lumui::OpenPopupMenu();
        RECT r;
        GetWindowRect(popup, &r);
        // Friend menu rows of 24 pixels: the fourth entry (after a separator of 8) is 9044.
        const int y = r.top + 3 + 24 + 24 + 8 + 12;
        lumui::SendMouse(popup, WM_MOUSEMOVE, r.left + 40, y);
        lumui::SendMouse(popup, WM_LBUTTONDOWN, r.left + 40, y, MK_LBUTTON);
        lumui::SendMouse(popup, WM_LBUTTONUP, r.left + 40, y);
    });
    const HINSTANCE caller = AfxGetResourceHandle();
    CWndMenu().ShowFriendMenu(&owner, caller);
    EXPECT_EQ(AfxGetResourceHandle(), caller);
    ASSERT_TRUE(uiwait::QueuedWorkDone());
    EXPECT_EQ(owner.last, 9044u);
    owner.DestroyWindow();
}
