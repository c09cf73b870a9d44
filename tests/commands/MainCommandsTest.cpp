// The main window's buttons, its main menu, the status and tray menus.
#include "Lum/DlgChangeSkin.h"
#include "Lum/KivMessages.h"
#include "Lum/KivSearchList.h"
#include "base/MenuCommands.h"
#include "tests/commands/CommandFixture.h"

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
    lumui::Pump(50);
    CString text;
    Main().m_editSearch.GetWindowText(text);
    EXPECT_EQ(text, "");

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
