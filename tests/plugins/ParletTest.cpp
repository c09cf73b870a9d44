// The message-centre plug-in through its export: the host's unread senders
// listed with their queued messages (names and texts shown as text), the
// host's list emptied, and the chats asked of the main window for the entry
// chosen or for all of them.
#include "Common/records/Data.h"
#include "plugins/Parlet/ParletExports.h"
#include "tests/plugins/PluginTestKit.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <list>
#include <memory>
#include <string>
#include <vector>

namespace {

const char* const kHostileName = "李娜<b>粗</b>";
const char* const kHostileText = "<img src=x onerror=alert(1)>";
const UINT kPage = 14002;
const char* const kCaption = "消息中心";

// Receives the chats asked for, as the main window does.
class MainWindow : public CWnd {
public:
    LRESULT OnOpenChat(WPARAM wParam, LPARAM)
    {
        opened.push_back(reinterpret_cast<CData*>(wParam));
        return 0;
    }
    std::vector<CData*> opened;
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(MainWindow, CWnd)
    ON_MESSAGE(WM_USER + 8172, OnOpenChat)
END_MESSAGE_MAP()

// Text as the service carries a chat line: percent-encoded UTF-8 markup.
std::string Carried(const std::string& markup)
{
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : markup) {
        if (std::isalnum(c)) {
            out.push_back(static_cast<char>(c));
        } else {
            out.push_back('%');
            out.push_back(hex[c >> 4]);
            out.push_back(hex[c & 15]);
        }
    }
    return out;
}

void Queue(CData* record, const std::string& markup, const char* time)
{
    __StructMessage m;
    m.fromid = record->m_nId;
    m.sendTime = time;
    m.content = Carried(markup);
    record->AddMsgToUnreadNews(m);
}

class ParletTest : public plugintest::PluginTest {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(OpenProgramFolder());
        std::filesystem::create_directories(dir_.file("www/upload/face"));
        std::filesystem::create_directories(dir_.file("www/upload/group"));
        std::ofstream(dir_.file("www/upload/face/10002.png")) << "png";
        ASSERT_TRUE(ServeWeb(web_, dir_.file("www")));
        InstallModule(PARLET_FILE, "Parlet");
        ASSERT_TRUE(main_.CreateEx(0, nullptr, "main", WS_POPUP, 0, 0, 10, 10, nullptr, 0));
        ASSERT_TRUE(LoadModule("Parlet"));

        // A user and a group with the same number; the user's lines are
        // newer, so the user is on top.
        user_.m_nId = 10002;
        user_.m_bstrName = kHostileName;
        group_.m_nId = 10002;
        group_.m_bstrName = "计算机一班 & 'x'";
        Queue(&user_, "<font color='red'>你好，it's me</font>", "2026-12-09 08:01:00");
        // Markup typed as text arrives escaped; markup itself is formatting.
        Queue(&user_, "&lt;img src=x onerror=alert(1)&gt;<img src=x onerror=alert(2)>", "2026-12-09 08:02:00");
        Queue(&user_, "第三条", "2026-12-09 08:03:00");
        Queue(&group_, "<font>明天上课</font>", "2026-12-09 07:00:00");
        Queue(&group_, "收到 &lt;ok&gt;", "2026-12-09 07:01:00");
        unread_ = {&user_, &group_};
    }

    void TearDown() override
    {
        UnloadModule();
        if (main_.m_hWnd) main_.DestroyWindow();
        CloseProgramFolder();
    }

    // Opens the centre over the list and waits for its entries.
    CDHtmlDialog* Show(HWND notify)
    {
        auto show = Export(ParletExports::showMsgCenter);
        EXPECT_NE(show, nullptr);
        if (!show) return nullptr;
        show(&unread_, notify);
        EXPECT_TRUE(lumui::PumpUntil([&] { return Page(kPage) && unread_.empty() && !Text("count").empty(); }, 20000));
        EXPECT_TRUE(uiwait::QueuedWorkDone());
        return Page(kPage);
    }

    // A property of an element of the centre's page.
    std::string Text(const char* id, DISPID what = DISPID_IHTMLELEMENT_INNERTEXT)
    {
        return PluginTest::Text(Page(kPage), id, what);
    }

    // A click on an element of the page, as the user's click reaches it:
    // made by the page's own loop, so that a click that closes the window
    // does so outside the call into the page.
    void Click(const std::string& id)
    {
        CDHtmlDialog* page = Page(kPage);
        ASSERT_NE(page, nullptr);
        ASSERT_TRUE(RunLaterInPage(page, "document.getElementById('" + id + "').click()")) << id;
    }

    standin::StandinWeb web_;
    MainWindow main_;
    CDataUser user_;
    CDataGroup group_;
    std::list<CData*> unread_;
};

}  // namespace

TEST_F(ParletTest, ListsEverySenderWithItsMessagesAsTextAndEmptiesTheHostList)
{
    ASSERT_NE(Show(main_.m_hWnd), nullptr);
    CWnd* frame = Frame(kCaption);
    ASSERT_NE(frame, nullptr);
    CRect r;
    frame->GetWindowRect(&r);
    EXPECT_EQ(r, CRect(250, 250, 750, 650));

    // The total counts messages, not senders.
    EXPECT_EQ(Text("count"), "5");
    EXPECT_NE(Text("top").find("共5条"), std::string::npos);
    const std::string list = Text("list");
    for (const std::string& line :
         {std::string(kHostileName) + ":你好，it's me", std::string(kHostileName) + ":" + kHostileText,
          std::string("计算机一班 & 'x':明天上课"), std::string("计算机一班 & 'x':收到 <ok>"),
          std::string("2026-12-09 08:02:00")})
        EXPECT_NE(list.find(line), std::string::npos) << line << "\n" << list;
    // The user before the group, each line under its sender in queue order.
    EXPECT_LT(list.find("你好"), list.find("第三条"));
    EXPECT_LT(list.find("第三条"), list.find("明天上课"));
    // Own head images where the web server has one, else the default; the
    // list shows at once and an own head takes the place of the default when
    // the head loader has the web server's answer.
    EXPECT_TRUE(lumui::PumpUntil(
        [&] { return Text("list", DISPID_IHTMLELEMENT_INNERHTML).find("/upload/face/10002.png?") != std::string::npos; },
        10000));
    const std::string html = Text("list", DISPID_IHTMLELEMENT_INNERHTML);
    EXPECT_EQ(html.find("<b>"), std::string::npos);
    EXPECT_EQ(html.find("<img src=\"x\""), std::string::npos);
    EXPECT_EQ(html.find("<font"), std::string::npos);
    EXPECT_NE(html.find("/upload/face/10002.png?"), std::string::npos) << html;
    EXPECT_NE(html.find("/upload/group/default.png?"), std::string::npos) << html;
    EXPECT_NE(html.find("id=\"f10002\""), std::string::npos);
    EXPECT_NE(html.find("id=\"g10002\""), std::string::npos);

    // The host's list is empty; its records are untouched.
    EXPECT_TRUE(unread_.empty());
    EXPECT_EQ(user_.m_vecUnread.size(), 3u);
    EXPECT_EQ(group_.m_nUnreadCount, 2);
    Shot("parlet_centre.png");

    // A second opening shows nothing new: the first emptied the list.
    ASSERT_NE(Show(main_.m_hWnd), nullptr);
    EXPECT_EQ(Text("count"), "0");
    EXPECT_EQ(Text("list"), "");
    // Reply to all with nothing listed asks for nothing and keeps the window.
    Click("REPLYALL");
    EXPECT_TRUE(main_.opened.empty());
    EXPECT_NE(Frame(kCaption), nullptr);
}

// A line of megabytes is listed by its beginning, as the chat panes show
// it: a person types at most 1,000 characters.
TEST_F(ParletTest, AHugeLineIsListedCut)
{
    std::string huge = "开头";
    while (huge.size() < 2u * 1024 * 1024) huge += "很长的一句话，<b>加粗</b>。";
    huge += "结尾";
    Queue(&user_, huge, "2026-12-09 08:04:00");
    ASSERT_NE(Show(main_.m_hWnd), nullptr);
    EXPECT_EQ(Text("count"), "6");
    const std::string list = Text("list");
    EXPECT_NE(list.find("开头很长的一句话，加粗。"), std::string::npos);
    EXPECT_NE(list.find("……"), std::string::npos);
    EXPECT_EQ(list.find("结尾"), std::string::npos);
    EXPECT_LT(list.size(), 128u * 1024);
}

TEST_F(ParletTest, ChoosingTheGroupOpensOnlyTheGroupsChat)
{
    ASSERT_NE(Show(main_.m_hWnd), nullptr);
    // Choosing an entry turns the button into a reply to it.
    Click("g10002");
    EXPECT_EQ(Text("REPLY"), "回复");
    Shot("parlet_selected.png");
    Click("REPLY");
    ASSERT_TRUE(lumui::PumpUntil([&] { return !main_.opened.empty(); }, 5000));
    ASSERT_EQ(main_.opened.size(), 1u);
    EXPECT_EQ(main_.opened[0], &group_);
    // The centre closed itself before asking.
    EXPECT_EQ(Frame(kCaption), nullptr);
}

TEST_F(ParletTest, ReplyToAllOpensEveryEntryInOrderAndAChosenEntryCanBeLetGo)
{
    ASSERT_NE(Show(main_.m_hWnd), nullptr);
    // Choosing the user and then letting it go again: the button replies to all.
    Click("f10002");
    Click("f10002");
    EXPECT_EQ(Text("REPLYALL"), "回复全部");
    Click("REPLYALL");
    ASSERT_TRUE(lumui::PumpUntil([&] { return main_.opened.size() == 2; }, 5000));
    EXPECT_EQ(main_.opened[0], &user_);
    EXPECT_EQ(main_.opened[1], &group_);
    EXPECT_EQ(Frame(kCaption), nullptr);
}

TEST_F(ParletTest, WithoutAWindowToAskNoChatIsAskedFor)
{
    ASSERT_NE(Show(nullptr), nullptr);
    Click("f10002");
    Click("REPLY");
    EXPECT_TRUE(main_.opened.empty());
    EXPECT_EQ(Frame(kCaption), nullptr);
}
