// The history plug-in through its exports: the message manager over a
// seeded history (browsing by contact and age, paging, keyword search,
// deleting exactly what was asked, names and bodies shown as text, pictures of
// the files folder drawn and no other) and the one-contact history viewer.
#include "Common/records/Data.h"
#include "Common/stores/FileDbMsg.h"
#include "Common/stores/FileDbUser.h"
#include "plugins/Quillon/QuillonExports.h"
#include "tests/Common/FixedClock.h"
#include "tests/plugins/PluginTestKit.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

const int kOwnId = 5;
const char* const kHostileName = "<b>恶意</b><script>alert(1)</script>";
const char* const kHostileBody = "<img src=x onerror=alert(1)>";

// Bucket offsets in days before the start of the local day (as the age
// buckets count), in bucket order.
const int kBucketDays[6] = {0, -3, -20, -100, -300, -700};

std::string TimeAt(int days, int seconds)
{
    const time_t now = time(nullptr);
    struct tm day;
    localtime_r(&now, &day);
    day.tm_hour = day.tm_min = day.tm_sec = 0;
    day.tm_mday += days;
    day.tm_isdst = -1;
    const time_t start = mktime(&day) + seconds;
    struct tm at;
    localtime_r(&start, &at);
    char text[32];
    strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &at);
    return text;
}

class QuillonTest : public plugintest::PluginTest {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(OpenProgramFolder());
        std::filesystem::create_directories(dir_.file("www/upload/face"));
        std::filesystem::create_directories(dir_.file("www/upload/group"));
        std::ofstream(dir_.file("www/upload/face/101.png")) << "png";
        std::ofstream(dir_.file("www/upload/group/5001.png")) << "png";
        ASSERT_TRUE(ServeWeb(web_, dir_.file("www")));
        InstallModule(QUILLON_FILE, "Quillon");
        ASSERT_EQ(users_.Connect(kOwnId), 1);
        ASSERT_EQ(history_.Connect(kOwnId), 1);
        Seed();
        ASSERT_TRUE(LoadModule("Quillon"));
    }

    void TearDown() override
    {
        UnloadModule();
        CloseProgramFolder();
    }

    void AddUser(int id, int list, const char* name)
    {
        CDataUser u;
        u.m_nId = id;
        u.m_nGroupId = list;
        u.m_bstrName = name;
        ASSERT_EQ(users_.InsertUser(&u), 1);
    }

    void AddGroup(int id, int style, const char* name)
    {
        CDataGroup g;
        g.m_nId = id;
        g.m_nStyle = style;
        g.m_bstrName = name;
        ASSERT_EQ(users_.InsertGroup(&g), 1);
    }

    // `count` lines of a conversation in one age bucket.
    void Lines(int id, int gid, int gtype, int bucket, int count, const std::string& body, int type = 0)
    {
        for (int i = 0; i < count; ++i) {
            const std::string text = body + " 第" + std::to_string(i) + "条";
            ASSERT_EQ(history_.InsertMsg(id, gid, ("<p>" + text + "</p>").c_str(), type,
                                         TimeAt(kBucketDays[bucket], 60 + i * 7 + gid).c_str(), gtype, text.c_str()),
                      1);
        }
    }

    // Friends 101 to 103, stranger 201, group 5001 (members 101, 301 and the
    // own user), discussion group 6001; 3 200 lines over every age bucket.
    void Seed()
    {
        AddUser(101, 1, "张三");
        AddUser(102, 1, "O'Brien");
        AddUser(103, 1, kHostileName);
        AddUser(201, 2, "路人甲");
        AddGroup(5001, 1, "一班's 群");
        AddGroup(6001, 4, "讨论<组>");
        AddUser(101, 5001, "张三");
        AddUser(301, 5001, "成员<i>");
        AddUser(kOwnId, 5001, "自己人");
        AddUser(102, 6001, "O'Brien");
        history_.BeginBatch();
        for (int b = 0; b < 5; ++b) Lines(101, 1, 1, b, 300, "你好 O'Reilly");
        Lines(102, 1, 1, 1, 300, "it's fine");
        Lines(102, 1, 1, 5, 300, "old one");
        history_.EndBatch();
        history_.BeginBatch();
        for (int i = 0; i < 200; ++i) {
            const std::string rtime = TimeAt(kBucketDays[2], 100 + i * 11);
            ASSERT_EQ(history_.InsertMsg(103, 1, i % 2 ? kHostileBody : "<script>alert('x')</script>", 0,
                                         rtime.c_str(), 1, kHostileBody),
                      1);
        }
        Lines(201, 2, 2, 3, 300, "陌生的问候");
        Lines(101, 5001, 3, 0, 150, "群里说");
        Lines(301, 5001, 3, 2, 150, "成员说");
        Lines(kOwnId, 5001, 3, 2, 100, "我在群里", 1);
        Lines(102, 6001, 4, 5, 200, "讨论");
        history_.EndBatch();
    }

    int Count(const std::string& where)
    {
        sqlite3_stmt* st = nullptr;
        const std::string sql = "select count(*) from history_msg where " + where;
        if (sqlite3_prepare_v2(history_.db, sql.c_str(), -1, &st, nullptr) != SQLITE_OK) return -1;
        int n = sqlite3_step(st) == SQLITE_ROW ? sqlite3_column_int(st, 0) : -1;
        sqlite3_finalize(st);
        return n;
    }

    // Lines per (id, gid, gtype), as a picture of the whole history.
    std::map<std::string, int> Census()
    {
        std::map<std::string, int> out;
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(history_.db, "select id,gid,gtype,count(*) from history_msg group by id,gid,gtype", -1,
                           &st, nullptr);
        while (sqlite3_step(st) == SQLITE_ROW)
            out[std::to_string(sqlite3_column_int(st, 0)) + "/" + std::to_string(sqlite3_column_int(st, 1)) + "/" +
                std::to_string(sqlite3_column_int(st, 2))] = sqlite3_column_int(st, 3);
        sqlite3_finalize(st);
        return out;
    }

    void ShowQuillon()
    {
        auto show = Export(QuillonExports::showQuillon);
        ASSERT_NE(show, nullptr);
        show(&history_, &users_, kOwnId);
        ASSERT_TRUE(lumui::PumpUntil([&] { return !Text(Page(15002), "treeType").empty(); }, 20000));
        ASSERT_TRUE(uiwait::QueuedWorkDone());
    }

    // `text` as a document's markup shows a text node holding it.
    static std::string AsHtmlText(const std::string& text)
    {
        std::string out;
        for (char c : text) {
            if (c == '&') out += "&amp;";
            else if (c == '<') out += "&lt;";
            else if (c == '>') out += "&gt;";
            else out += c;
        }
        return out;
    }

    static int Occurrences(const std::string& text, const std::string& what)
    {
        int n = 0;
        for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size())) ++n;
        return n;
    }

    standin::StandinWeb web_;
    CFileDbUser users_;
    CFileDbMsg history_;
};

}  // namespace

TEST_F(QuillonTest, ManagerShowsTheContactTreeWithNamesAsText)
{
    ShowQuillon();
    CWnd* frame = Frame("消息管理器");
    ASSERT_NE(frame, nullptr);
    CRect r;
    frame->GetWindowRect(&r);
    EXPECT_EQ(r.Width(), 650);
    EXPECT_EQ(r.Height(), 500);

    CDHtmlDialog* page = Page(15002);
    // Closed folders keep their entries out of the shown text: the names are
    // looked for, escaped as text, in the tree's markup.
    const std::string tree = Text(page, "treeType", DISPID_IHTMLELEMENT_INNERHTML);
    for (const char* name : {"所有分组", "我的好友", "张三", "O'Brien", kHostileName, "一班's 群", "成员<i>", "讨论<组>",
                             "路人甲", "系统公告", "我的播报"})
        EXPECT_NE(tree.find(AsHtmlText(name)), std::string::npos) << name;
    // The own user is never listed among a group's members.
    EXPECT_EQ(tree.find("自己人"), std::string::npos);
    // Head images: the web server's own one where it has one, else the
    // default. The tree shows at once; the own heads take the place of the
    // default when the head loader has the web server's answer.
    EXPECT_TRUE(lumui::PumpUntil(
        [&] {
            const std::string html = Text(page, "treeType", DISPID_IHTMLELEMENT_INNERHTML);
            return html.find("upload/face/101.png?") != std::string::npos &&
                   html.find("upload/group/5001.png?") != std::string::npos;
        },
        10000));
    const std::string treeHtml = Text(page, "treeType", DISPID_IHTMLELEMENT_INNERHTML);
    EXPECT_NE(treeHtml.find("upload/face/101.png?"), std::string::npos);
    EXPECT_NE(treeHtml.find("upload/group/5001.png?"), std::string::npos);
    EXPECT_EQ(treeHtml.find("upload/face/102.png"), std::string::npos);
    EXPECT_NE(treeHtml.find("upload/face/default.png?"), std::string::npos);
    EXPECT_NE(treeHtml.find("upload/group/discuss_group.png"), std::string::npos);
    EXPECT_EQ(treeHtml.find("<b>"), std::string::npos);
    EXPECT_EQ(treeHtml.find("<script"), std::string::npos);

    // The root's member table lists every contact, hostile names as text.
    const std::string members = Text(page, "pane");
    EXPECT_NE(members.find("ID号/群号"), std::string::npos);
    EXPECT_NE(members.find(kHostileName), std::string::npos);
    EXPECT_NE(members.find("讨论<组>"), std::string::npos);
    EXPECT_EQ(Text(page, "head"), "所有联系人");
    const std::string paneHtml = Text(page, "pane", DISPID_IHTMLELEMENT_INNERHTML);
    EXPECT_EQ(paneHtml.find("<b>"), std::string::npos);
    EXPECT_EQ(paneHtml.find("<script"), std::string::npos);
    Shot("quillon_members.png");

    // The page grows with the frame: 4 pixels left, right and bottom, 30 on top.
    frame->MoveWindow(100, 100, 800, 600);
    CRect pageRect;
    EXPECT_TRUE(lumui::PumpUntil([&] {
        page->GetWindowRect(&pageRect);
        frame->ScreenToClient(&pageRect);
        return pageRect == CRect(4, 30, 796, 596);
    }));
    EXPECT_EQ(pageRect, CRect(4, 30, 796, 596));

    // A second show replaces the window.
    HWND first = frame->m_hWnd;
    ShowQuillon();
    EXPECT_FALSE(::IsWindow(first) && Frame("消息管理器") && Frame("消息管理器")->m_hWnd == first);
    EXPECT_NE(Frame("消息管理器"), nullptr);
}

// The numbers that keep head pictures out of caches stay in their range
// whatever the C library's random numbers are: with this seed the first
// number drawn is near the top of the library's range.
TEST_F(QuillonTest, HeadPictureNumbersStayInTheirRange)
{
    std::srand(1);
    ShowQuillon();
    const std::string all = Text(Page(15002), "treeType", DISPID_IHTMLELEMENT_INNERHTML);
    // The friends' folder (the groups' members carry the time's milliseconds).
    const size_t from = all.find("我的好友");
    ASSERT_NE(from, std::string::npos);
    const std::string tree = all.substr(from, all.find("我的群", from) - from);
    int seen = 0;
    for (size_t at = tree.find(".png?"); at != std::string::npos; at = tree.find(".png?", at + 5)) {
        const std::string number = tree.substr(at + 5, tree.find_first_not_of("-0123456789", at + 5) - (at + 5));
        ASSERT_FALSE(number.empty()) << tree.substr(at, 40);
        const long long value = std::atoll(number.c_str());
        EXPECT_GE(value, 100) << number;
        EXPECT_LE(value, 1000100) << number;
        ++seen;
    }
    EXPECT_EQ(seen, 3);  // the three friends' heads
}

TEST_F(QuillonTest, BrowsesPagesBucketsAndSearchesByKeyword)
{
    ShowQuillon();
    CDHtmlDialog* page = Page(15002);

    Call(page, "showChatRecords", {"我的好友", "101", "张三", "所有分组", ""});
    EXPECT_EQ(Text(page, "head"), "与张三的聊天记录");
    EXPECT_EQ(Text(page, "cPage"), "1");
    EXPECT_EQ(Text(page, "tPage"), "150");
    std::string pane = Text(page, "pane");
    EXPECT_EQ(Occurrences(pane, "张三："), 10);
    EXPECT_NE(pane.find("你好 O'Reilly 第299条"), std::string::npos);  // newest first
    EXPECT_NE(pane.find("所有分组->我的好友->张三"), std::string::npos);
    Shot("quillon_records.png");

    Call(page, "chanagePage", {"2"});
    EXPECT_EQ(Text(page, "cPage"), "2");
    pane = Text(page, "pane");
    EXPECT_NE(pane.find("你好 O'Reilly 第289条"), std::string::npos);
    EXPECT_EQ(pane.find("你好 O'Reilly 第299条"), std::string::npos);

    // One age bucket of one contact.
    Call(page, "showChatRecords", {"1周以内", "101", "张三", "时间分组", ""});
    EXPECT_EQ(Text(page, "tPage"), "30");

    // Hostile bodies are shown as text, never as markup.
    Call(page, "showChatRecords", {"我的好友", "103", kHostileName, "所有分组", ""});
    pane = Text(page, "pane");
    EXPECT_NE(pane.find(kHostileBody), std::string::npos);
    const std::string paneHtml = Text(page, "pane", DISPID_IHTMLELEMENT_INNERHTML);
    EXPECT_EQ(paneHtml.find("<img"), std::string::npos);
    EXPECT_EQ(paneHtml.find("<script"), std::string::npos);
    EXPECT_EQ(paneHtml.find("<b>"), std::string::npos);

    // A group's lines name their senders; the user's own are "我说".
    Call(page, "showChatRecords", {"我的群", "5001", "一班's 群", "所有分组", ""});
    Call(page, "chanagePage", {"40"});
    pane = Text(page, "pane");
    // Names are shown as the store keeps them, with their trailing blank.
    EXPECT_NE(pane.find("成员<i> ：成员说"), std::string::npos) << pane;
    EXPECT_NE(pane.find("我说：我在群里"), std::string::npos) << pane;

    // Keyword search, Chinese and with an apostrophe, over everything.
    Call(page, "searchConditions", {"所有分组", "问候", "所有分组"});
    EXPECT_EQ(Text(page, "head"), "已搜索到300条记录");
    EXPECT_EQ(Text(page, "tPage"), "30");
    EXPECT_NE(Text(page, "pane").find("路人甲"), std::string::npos);
    Shot("quillon_search.png");
    Call(page, "searchConditions", {"所有分组", "it's", "所有分组"});
    EXPECT_EQ(Text(page, "head"), "已搜索到300条记录");
    Call(page, "searchConditions", {"所有分组", "O'Reilly", "所有分组"});
    EXPECT_EQ(Text(page, "head"), "已搜索到1500条记录");
    // The search is bounded by the folder.
    Call(page, "searchConditions", {"陌生人", "O'Reilly", "所有分组"});
    EXPECT_EQ(Text(page, "head"), "已搜索到0条记录");
    EXPECT_EQ(Text(page, "tPage"), "1");
}

TEST_F(QuillonTest, DeletesExactlyTheContactFolderOrBucketAsked)
{
    ShowQuillon();
    CDHtmlDialog* page = Page(15002);
    std::map<std::string, int> expected = Census();

    // One friend from the type tree.
    Call(page, "showChatRecords", {"我的好友", "102", "O'Brien", "所有分组", ""});
    Call(page, "deleteChatRecords", {"我的好友", "102", "0", "0"});
    expected.erase("102/1/1");
    EXPECT_EQ(Census(), expected);
    // The pane is redrawn empty for the deleted contact.
    EXPECT_EQ(Text(page, "tPage"), "1");
    EXPECT_EQ(Text(page, "pane").find("O'Brien："), std::string::npos);

    // The strangers' folder.
    Call(page, "deleteChatRecords", {"陌生人", "0", "0", "0"});
    expected.erase("201/2/2");
    EXPECT_EQ(Census(), expected);

    // One age bucket from the time tree: only its lines go.
    Call(page, "refresh", {"time"});
    const int before = Count("1=1");
    const int inMonth = Count(history_.m_strTime[2].GetString());
    ASSERT_GT(inMonth, 0);
    Call(page, "deleteChatRecords", {"1月以内", "0", "1", "0"});
    EXPECT_EQ(Count(history_.m_strTime[2].GetString()), 0);
    EXPECT_EQ(Count("1=1"), before - inMonth);
    EXPECT_EQ(Count("id=101 and gid=1"), 1200);
    EXPECT_EQ(Count("gid=5001"), 150);

    // One group from the time tree: all its lines, nothing else.
    expected = Census();
    Call(page, "deleteChatRecords", {"1年以前", "6001", "1", "0"});
    expected.erase("102/6001/4");
    EXPECT_EQ(Census(), expected);
    // The time tree, rebuilt on switching to it, no longer lists a contact
    // whose lines were all in the deleted bucket.
    page->InvokeScriptMethod("switchTree", {"time"});
    ASSERT_TRUE(lumui::PumpUntil([&] { return Text(page, "treeTime").find("1月以内") != std::string::npos; }, 10000));
    ASSERT_TRUE(uiwait::QueuedWorkDone());
    const std::string timeTree = Text(page, "treeTime", DISPID_IHTMLELEMENT_INNERHTML);
    EXPECT_NE(timeTree.find("1月以内"), std::string::npos);
    EXPECT_NE(timeTree.find("张三"), std::string::npos);
    EXPECT_EQ(timeTree.find(AsHtmlText(kHostileName)), std::string::npos);
    EXPECT_EQ(timeTree.find(AsHtmlText("讨论<组>")), std::string::npos);
    Shot("quillon_after_delete.png");
}

TEST_F(QuillonTest, ViewerShowsOneContactTenToAPage)
{
    auto show = Export(QuillonExports::showHisMsg);
    ASSERT_NE(show, nullptr);
    show(&history_, &users_, 5001, "一班's 群", 3);
    ASSERT_TRUE(lumui::PumpUntil([&] { return !Text(Page(15021), "pane").empty(); }, 20000));
    CWnd* frame = Frame("与一班's 群的聊天记录");
    ASSERT_NE(frame, nullptr);
    CRect r;
    frame->GetWindowRect(&r);
    EXPECT_EQ(r.Width(), 500);
    EXPECT_EQ(r.Height(), 400);
    CDHtmlDialog* page = Page(15021);
    EXPECT_EQ(Text(page, "tPage"), "40");
    std::string pane = Text(page, "pane");
    EXPECT_NE(pane.find("我的群->一班's 群"), std::string::npos) << pane;
    EXPECT_NE(pane.find("张三 ：群里说 第149条"), std::string::npos) << pane;
    Shot("quillon_viewer.png");
    Call(page, "chanagePage", {"40"});
    pane = Text(page, "pane");
    EXPECT_EQ(Text(page, "cPage"), "40");
    EXPECT_NE(pane.find("我说：我在群里"), std::string::npos) << pane;

    // A contact without lines, in a second call that replaces the window.
    show(&history_, &users_, 999, "无人", 1);
    ASSERT_TRUE(lumui::PumpUntil([&] { return Frame("与无人的聊天记录") != nullptr; }, 5000));
    ASSERT_TRUE(lumui::PumpUntil([&] { return Text(Page(15021), "pane").find("当前没有聊天记录!") != std::string::npos; }, 20000));
    EXPECT_EQ(Frame("与一班's 群的聊天记录"), nullptr);
    EXPECT_EQ(Text(Page(15021), "tPage"), "1");

    // ExitInstance closes the plug-in's windows; the module stays loaded.
    Export(PluginExports::ExitInstance)();
    ASSERT_TRUE(uiwait::QueuedWorkDone());
    EXPECT_EQ(Frame("与无人的聊天记录"), nullptr);
    EXPECT_TRUE(IsModuleLoaded(module_));
}

// A stored line's pictures of the files folder (the folder of the user's
// stores) draw in the viewer, with nothing of the line's markup but their
// addresses; pictures from elsewhere, or from the web, are not loaded. The
// stored line stays as it was.
TEST_F(QuillonTest, ViewerDrawsOnlyThePicturesOfTheFilesFolder)
{
    const std::string files = dir_.file(std::to_string(kOwnId)) + "/";
    std::filesystem::copy_file(PICTURE_FILE, files + "a b#1.png");
    std::filesystem::create_directories(dir_.file("other"));
    std::filesystem::copy_file(PICTURE_FILE, dir_.file("other/c.png"));
    std::ofstream(files + "page.html") << "<html><body>x</body></html>";
    AddUser(104, 1, "画家");
    const std::string body = "<span>看<img src=\"file:///" + files +
                             "a b%231.png\" onload=\"document.title='ran'\" width=\"1\"/>"
                             "<img src=\"file://" + dir_.file("other/c.png") +
                             "\"/><img src=\"FILE:///" + files + "page.html\"/><img src=\"" + web_.BaseUrl() +
                             "/upload/face/101.png\"/></span>";
    ASSERT_EQ(history_.InsertMsg(104, 1, body.c_str(), 0, "2026-03-04 05:06:07", 1, "看"), 1);

    Export(QuillonExports::showHisMsg)(&history_, &users_, 104, "画家", 1);
    ASSERT_TRUE(lumui::PumpUntil([&] { return Text(Page(15021), "pane").find("画家") != std::string::npos; }, 20000));
    CDHtmlDialog* page = Page(15021);
    auto eval = [&](const std::string& script) {
        CString out;
        page->InvokeScriptMethod("eval", {CString(script.c_str())}, &out);
        return out.str();
    };
    const std::string states =
        "Array.prototype.map.call(document.querySelectorAll('#pane img'),function(i){"
        "return !i.complete?'loading':i.naturalWidth>0?'drawn':'broken';}).join(',')";
    EXPECT_TRUE(lumui::PumpUntil([&] { return eval(states).find("loading") == std::string::npos; }, 10000));
    EXPECT_EQ(eval(states), "drawn,broken,broken");
    const std::string html = Text(page, "pane", DISPID_IHTMLELEMENT_INNERHTML);
    EXPECT_EQ(html.find("onload"), std::string::npos) << html;
    EXPECT_EQ(html.find("width=\"1\""), std::string::npos) << html;
    EXPECT_EQ(html.find("upload/face"), std::string::npos) << html;
    EXPECT_NE(eval("document.title"), "ran");
    EXPECT_EQ(Count("tagmsg like '%lumfile:%'"), 0);
    sqlite3_stmt* st = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(history_.db, "select tagmsg from history_msg where id=104", -1, &st, nullptr),
              SQLITE_OK);
    ASSERT_EQ(sqlite3_step(st), SQLITE_ROW);
    EXPECT_EQ(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)), body);
    sqlite3_finalize(st);
}

// The page's own controls clicked with the pointer, as a user does: tree
// entries, pager arrows, the tabs, the delete button and its confirmation,
// the search button's refusal of an empty keyword.
TEST_F(QuillonTest, PageControlsWorkWhenClicked)
{
    std::vector<std::string> boxes;
    int answer = IDCANCEL;
    TestServices services;
    services.SetMessageBox([&](HWND, const CString& text, const CString&, UINT) {
        boxes.push_back(text.GetString());
        return answer;
    });

    ShowQuillon();
    CDHtmlDialog* page = Page(15002);
    ASSERT_NE(page, nullptr);
    auto until = [&](auto done) { return lumui::PumpUntil(done, 10000); };

    // Folders open when picked; then the friend.
    Click(page, "#treeType li[data-text='我的好友'] > span");
    Click(page, "#treeType li[data-text='我的好友'] li[data-id='101'] > span");
    ASSERT_TRUE(until([&] { return Text(page, "head").rfind("与张三", 0) == 0; })) << Text(page, "head");
    EXPECT_EQ(Text(page, "tPage"), "150");
    Click(page, "#next");
    ASSERT_TRUE(until([&] { return Text(page, "cPage") == "2"; }));
    EXPECT_NE(Text(page, "pane").find("你好 O'Reilly 第289条"), std::string::npos);
    Click(page, "#prev");
    ASSERT_TRUE(until([&] { return Text(page, "cPage") == "1"; }));
    // Before the first page there is nothing to go to.
    Click(page, "#prev");
    EXPECT_EQ(Text(page, "cPage"), "1");

    // Delete, refused in the confirmation box: nothing goes.
    const std::map<std::string, int> before = Census();
    Click(page, "#btnDelete");
    ASSERT_TRUE(until([&] { return boxes.size() == 1; }));
    // The name as the store gives it, with its trailing blank.
    EXPECT_EQ(boxes[0], "您确定要删除与张三 的聊天记录吗?");
    ASSERT_TRUE(uiwait::QueuedWorkDone());
    EXPECT_EQ(Census(), before);
    // Confirmed: the friend's lines go, nothing else.
    answer = IDOK;
    Click(page, "#btnDelete");
    ASSERT_TRUE(until([&] { return Count("id=101 and gid=1") == 0; }));
    std::map<std::string, int> expected = before;
    expected.erase("101/1/1");
    EXPECT_EQ(Census(), expected);

    // An empty keyword is refused by the page.
    Click(page, "#btnSearch");
    ASSERT_TRUE(until([&] { return boxes.size() == 3; }));
    EXPECT_EQ(boxes[2], "查找内容不能为空");

    // The time tab shows the age buckets.
    Click(page, "#tabTime");
    ASSERT_TRUE(until([&] { return Text(page, "treeTime").find("1周以内") != std::string::npos; }));
    Click(page, "#treeTime li[data-text='6月以内'] > span");
    Click(page, "#treeTime li[data-text='6月以内'] li[data-id='201'] > span");
    ASSERT_TRUE(until([&] { return Text(page, "head").rfind("与路人甲", 0) == 0; })) << Text(page, "head");
    // The records of a time-tree entry are headed like every other contact's.
    EXPECT_NE(Text(page, "pane").find("所有分组->6月以内->路人甲"), std::string::npos) << Text(page, "pane");
    Shot("quillon_clicked.png");
}

// The age buckets are local days: at 03:00 local time east of UTC (still the
// day before in UTC), a line written just after local midnight is today's,
// and one just before it is in the week before.
TEST_F(QuillonTest, TodayIsTheLocalDay)
{
    struct tm at = {};
    at.tm_year = 2026 - 1900;
    at.tm_mon = 2;
    at.tm_mday = 9;
    at.tm_hour = 19;
    FixedClock clock(timegm(&at), "CST-8");
    // The stores as the program opens them, under that clock.
    history_.Close();
    ASSERT_EQ(history_.Connect(kOwnId), 1);
    AddUser(104, 1, "夜猫子");
    AddUser(105, 1, "早睡的");
    ASSERT_EQ(history_.InsertMsg(104, 1, "<p>零点刚过</p>", 0, "2026-03-10 00:00:05", 1, "零点刚过"), 1);
    ASSERT_EQ(history_.InsertMsg(105, 1, "<p>昨天最后</p>", 0, "2026-03-09 23:59:59", 1, "昨天最后"), 1);

    ShowQuillon();
    CDHtmlDialog* page = Page(15002);
    ASSERT_NE(page, nullptr);
    Call(page, "refresh", {"time"});
    auto inBucket = [&](const char* bucket, int id) {
        CString n;
        page->InvokeScriptMethod(
            "eval",
            {CString(("document.querySelectorAll(\"#treeTime li[data-text='" + std::string(bucket) +
                      "'] li[data-id='" + std::to_string(id) + "']\").length")
                         .c_str())},
            &n);
        return n == "1";
    };
    ASSERT_TRUE(lumui::PumpUntil([&] { return !Text(page, "treeTime").empty(); }, 10000));
    EXPECT_TRUE(inBucket("今天", 104));
    EXPECT_FALSE(inBucket("1周以内", 104));
    EXPECT_TRUE(inBucket("1周以内", 105));
    EXPECT_FALSE(inBucket("今天", 105));
    // Its records, by bucket, as the page asks for them.
    Call(page, "showChatRecords", {"今天", "104", "夜猫子", "所有分组", ""});
    EXPECT_NE(Text(page, "pane").find("零点刚过"), std::string::npos);
}
