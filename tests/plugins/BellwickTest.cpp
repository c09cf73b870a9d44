// The SMS notices plug-in through its exports, against the stand-in web API:
// the fast notice to a friend or a group (recipient names are data, never
// script), its refusals and each failure reply in its own words, and the
// standard notice to the friends and members ticked in a tree.
#include "Common/records/Data.h"
#include "Common/stores/FileDbUser.h"
#include "plugins/Bellwick/BellwickExports.h"
#include "tests/plugins/PluginTestKit.h"
#include "tests/standin/StandinService.h"
#include "tests/standin/WebApi.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

const char* const kFriendPath = "/api/message/sendFriendNotifyMessage.jsp";
const char* const kGroupPath = "/api/message/sendGroupNotifyMessage.jsp";
const char* const kAccount = "13800000001";
const char* const kKey = "e10adc3949ba59abbe56e057f20f883e";
// A name that, evaluated as script inside "['%d','%s','%d']", would run.
const char* const kScriptName = "O'Brien'];alert('pwned');//</script> ";
const char* const kText = "明天下午三点开会，it's important";

const char* const kSeed = R"({
  "users": [
    {"id": 10001, "phone": "13800000001", "password": "123456", "name": "张伟"},
    {"id": 10002, "phone": "13800000002", "password": "123456", "name": "李娜"},
    {"id": 10003, "phone": "13800000003", "password": "123456", "name": ""},
    {"id": 10004, "phone": "13800000004", "password": "123456", "name": "刘洋"}
  ],
  "friends": [{"user": 10001, "friend": 10002, "remark": ""}, {"user": 10001, "friend": 10003, "remark": ""}],
  "groups": [
    {"gid": 501, "name": "计算机一班", "style": 1, "master": 10004,
     "members": [{"user": 10004, "isMaster": 1}, {"user": 10001, "isMaster": 0}, {"user": 10003, "isMaster": 0}]},
    {"gid": 502, "name": "羽毛球", "style": 2, "master": 10002, "members": [{"user": 10002, "isMaster": 1}]}
  ]
})";

class BellwickTest : public plugintest::PluginTest {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(OpenProgramFolder());
        std::filesystem::create_directories(dir_.file("www"));
        std::string error;
        ASSERT_TRUE(data_.LoadSeedJson(kSeed, &error)) << error;
        standin::RegisterBellwickApi(web_, data_);
        ASSERT_TRUE(ServeWeb(web_, dir_.file("www")));
        InstallModule(BELLWICK_FILE, "Bellwick");
        RecordMessageBoxes(&captions_);
        ASSERT_TRUE(LoadModule("Bellwick"));
    }

    void TearDown() override
    {
        UnloadModule();
        CloseProgramFolder();
    }

    // The plug-in's frame of that size, when open.
    CWnd* Frame(int width)
    {
        return FrameWhere([width](CWnd* wnd) {
            if (!wnd->m_hWnd) return false;
            CRect r;
            wnd->GetWindowRect(&r);
            return r.Width() == width;
        });
    }

    // Runs `code` from the page's own loop (as a user's click would run),
    // so that what it closes goes outside the call into the page.
    static void Eval(CDHtmlDialog* page, const std::string& code)
    {
        ASSERT_NE(page, nullptr);
        ASSERT_TRUE(RunLaterInPage(page, code)) << code;
    }

    CDHtmlDialog* ShowFast(int id, const char* name, int type)
    {
        auto show = Export(BellwickExports::showFastSmsNotify);
        EXPECT_NE(show, nullptr);
        if (!show) return nullptr;
        show(10001, kAccount, id, name, type, kKey);
        EXPECT_TRUE(lumui::PumpUntil([&] { return !Text(Page(1012), "recName").empty(); }, 20000));
        EXPECT_TRUE(uiwait::QueuedWorkDone());
        return Page(1012);
    }

    // Types the text and presses the send button; waits for the post (when
    // `posts`) and its answer.
    void Send(CDHtmlDialog* page, const std::string& text, const char* path = nullptr, int waitMs = 8000)
    {
        const size_t before = Count(path);
        const HWND window = page->m_hWnd;
        page->SetElementValue("content", text.c_str());
        Eval(page, "document.getElementById('ButtonOk').click()");
        if (path) {
            EXPECT_TRUE(lumui::PumpUntil([&] { return Count(path) > before; }, waitMs)) << path;
        }
        // The answer is in and handled (a timed-out request counts as
        // answered), unless it closed the window.
        if (::IsWindow(window))
            EXPECT_TRUE(PageRequestsDone(page, 20000));
        else
            EXPECT_TRUE(uiwait::QueuedWorkDone());
    }

    size_t Count(const char* path) { return path ? RequestCount(path) : 0; }

    // The boxes shown since the last call.
    std::vector<std::string> Boxes()
    {
        std::vector<std::string> out;
        out.swap(boxes_);
        return out;
    }

    standin::StandinService data_;
    standin::StandinWeb web_{&data_};
    std::vector<std::string> captions_;
};

}  // namespace

TEST_F(BellwickTest, FastNoticeToAFriendSendsTheTextAndClosesOnSuccess)
{
    CDHtmlDialog* page = ShowFast(10002, kScriptName, 1);
    ASSERT_NE(page, nullptr);
    CWnd* frame = Frame(370);
    ASSERT_NE(frame, nullptr);
    CRect r;
    frame->GetWindowRect(&r);
    EXPECT_EQ(r, CRect(250, 250, 620, 540));
    CString caption;
    frame->GetWindowText(caption);
    EXPECT_EQ(std::string(caption.GetString()), "通知短信");
    // The name is shown as it is; nothing in it ran.
    EXPECT_EQ(Text(page, "recName"), "O'Brien'];alert('pwned');//</script>");
    EXPECT_TRUE(Boxes().empty());
    page->SetElementValue("content", kText);
    Shot("bellwick_fast.png");

    Send(page, kText, kFriendPath);
    const standin::WebRequest sent = LastRequest(kFriendPath);
    EXPECT_EQ(sent.Param("phone"), kAccount);
    EXPECT_EQ(sent.Param("friendid_list"), "10002");
    EXPECT_EQ(sent.Param("content"), kText);
    EXPECT_EQ(sent.Param("key"), kKey);
    EXPECT_EQ(Count(kGroupPath), 0u);
    EXPECT_TRUE(Boxes().empty());
    // Sent: the window closed itself; the module stays.
    EXPECT_TRUE(lumui::PumpUntil([&] { return Frame(370) == nullptr; }, 3000));
    EXPECT_TRUE(IsModuleLoaded(module_));
}

TEST_F(BellwickTest, FastNoticeToAGroupNamesTheGroupAndAllowsTwoHundredCharacters)
{
    CDHtmlDialog* page = ShowFast(501, "计算机一班 ", 0);
    ASSERT_NE(page, nullptr);
    std::string text;
    for (int i = 0; i < 200; ++i) text += "通";
    Send(page, text, kGroupPath);
    const standin::WebRequest sent = LastRequest(kGroupPath);
    EXPECT_EQ(sent.Param("group_id"), "501");
    EXPECT_EQ(sent.Param("phone"), kAccount);
    EXPECT_EQ(sent.Param("content"), text);
    EXPECT_EQ(sent.Param("key"), kKey);
    EXPECT_EQ(sent.params.count("friendid_list"), 0u);
    EXPECT_TRUE(Boxes().empty());
    EXPECT_TRUE(lumui::PumpUntil([&] { return Frame(370) == nullptr; }, 3000));
}

TEST_F(BellwickTest, FastNoticeShowsEachRefusalAndFailureInItsWordsAndStaysOpen)
{
    CDHtmlDialog* page = ShowFast(10001, "张伟", 1);
    ASSERT_NE(page, nullptr);

    // Nothing typed, or only blanks: nothing is posted.
    Send(page, "   ");
    EXPECT_EQ(Boxes(), std::vector<std::string>{"请输入发送内容!"});
    EXPECT_EQ(captions_.back(), "通知短信");
    std::string text;
    for (int i = 0; i < 201; ++i) text += "长";
    Send(page, text);
    EXPECT_EQ(Boxes(), std::vector<std::string>{"短信内容不能超过200个字!"});
    // Enter runs the same checks as the button.
    page->SetElementValue("content", "");
    lumui::SendKey(page->m_hWnd, VK_RETURN);
    EXPECT_TRUE(lumui::PumpUntil([&] { return !boxes_.empty(); }));
    EXPECT_TRUE(PageRequestsDone(page));
    EXPECT_EQ(Boxes(), std::vector<std::string>{"请输入发送内容!"});
    EXPECT_EQ(Count(kFriendPath), 0u);

    // To oneself (-3).
    Send(page, kText, kFriendPath);
    EXPECT_TRUE(lumui::PumpUntil([&] { return !boxes_.empty(); }, 3000));
    EXPECT_EQ(Boxes(), std::vector<std::string>{"不能给自己发送!"});

    // Any other result.
    web_.SetFault(kFriendPath, standin::WebFault::Malformed("{\"result\":7}"));
    Send(page, kText, kFriendPath);
    EXPECT_TRUE(lumui::PumpUntil([&] { return !boxes_.empty(); }, 3000));
    EXPECT_EQ(Boxes(), std::vector<std::string>{"发送失败,请稍后操作!"});

    // No reply data: an error status, a body that is not JSON, a timeout.
    for (const standin::WebFault& fault :
         {standin::WebFault::Status(500), standin::WebFault::Malformed("<html>busy</html>"),
          standin::WebFault::Malformed("alert('x')"), standin::WebFault::Timeout(12000)}) {
        web_.SetFault(kFriendPath, fault);
        Send(page, kText, fault.kind == standin::WebFault::kTimeout ? nullptr : kFriendPath);
        EXPECT_TRUE(lumui::PumpUntil([&] { return !boxes_.empty(); }, 15000));
        EXPECT_EQ(Boxes(), std::vector<std::string>{"系统繁忙,请稍后操作!"});
    }
    Shot("bellwick_fast_failed.png");
    // Every failure leaves the window open for another try.
    EXPECT_NE(Frame(370), nullptr);
}

TEST_F(BellwickTest, StandardNoticeSendsTheTickedPeopleNeverAFolder)
{
    CFileDbUser users;
    ASSERT_EQ(users.Connect(10001), 1);
    auto addUser = [&](int id, int list, const char* name) {
        CDataUser u;
        u.m_nId = id;
        u.m_nGroupId = list;
        u.m_bstrName = name;
        ASSERT_EQ(users.InsertUser(&u), 1);
    };
    auto addGroup = [&](int id, const char* name) {
        CDataGroup g;
        g.m_nId = id;
        g.m_nStyle = 1;
        g.m_bstrName = name;
        ASSERT_EQ(users.InsertGroup(&g), 1);
    };
    addUser(10002, 1, "李娜");
    addUser(10003, 1, "");
    addUser(10005, 1, "<刘>'老师' & \"x\"");
    addGroup(501, "计算机一班");
    addGroup(502, "空群 <i>");
    addUser(10004, 501, "刘洋");
    addUser(10001, 501, "张伟");
    addUser(10003, 501, "");

    auto show = Export(BellwickExports::showStandardSmsNotify);
    ASSERT_NE(show, nullptr);
    show(10001, kAccount, &users, kKey);
    ASSERT_TRUE(lumui::PumpUntil([&] { return !Text(Page(1009), "tree").empty(); }, 20000));
    ASSERT_TRUE(uiwait::QueuedWorkDone());
    CDHtmlDialog* page = Page(1009);
    ASSERT_NE(Frame(500), nullptr);

    // Names literally, ids for the nameless, the own user left out.
    const std::string tree = Text(page, "tree");
    for (const char* shown : {"我的好友", "李娜", "10003", "<刘>'老师' & \"x\"", "计算机一班", "刘洋", "空群 <i>"})
        EXPECT_NE(tree.find(shown), std::string::npos) << shown << "\n" << tree;
    EXPECT_EQ(tree.find("张伟"), std::string::npos);
    EXPECT_EQ(Text(page, "tree", DISPID_IHTMLELEMENT_INNERHTML).find("<i>"), std::string::npos);

    // Nothing ticked.
    page->SetElementValue("content", kText);
    Eval(page, "document.getElementById('sendButton').click()");
    EXPECT_EQ(Boxes(), std::vector<std::string>{"请选择好友!"});
    // An empty group alone is no recipient either.
    Eval(page, "document.querySelector(\"#tree li[data-id='502'] > input\").click()");
    Eval(page, "document.getElementById('sendButton').click()");
    EXPECT_EQ(Boxes(), std::vector<std::string>{"请选择好友!"});

    // Two friends and a group: the friends and the group's members, each once
    // (10003 is both).
    Eval(page, "document.querySelector(\"#tree li[data-id='10002'] > input\").click()");
    Eval(page, "document.querySelector(\"#tree li[data-id='10003'] > input\").click()");
    Eval(page, "document.querySelector(\"#tree li[data-id='501'] > input\").click()");
    Shot("bellwick_standard.png");
    Eval(page, "document.getElementById('sendButton').click()");
    ASSERT_TRUE(lumui::PumpUntil([&] { return Count(kFriendPath) == 1; }, 8000));
    lumui::PumpUntil([&] { return Text(page, "history").find("信息已发送!") != std::string::npos; }, 3000);
    const standin::WebRequest sent = LastRequest(kFriendPath);
    EXPECT_EQ(sent.Param("friendid_list"), "10002,10003,10004");
    EXPECT_EQ(sent.Param("content"), kText);
    EXPECT_EQ(sent.Param("phone"), kAccount);
    EXPECT_EQ(sent.Param("key"), kKey);
    EXPECT_NE(Text(page, "history").find("信息已发送!"), std::string::npos);
    EXPECT_TRUE(Boxes().empty());

    // A failed send is noted in the history; the window stays.
    web_.SetFault(kFriendPath, standin::WebFault::Status(503));
    Eval(page, "document.getElementById('sendButton').click()");
    EXPECT_TRUE(lumui::PumpUntil([&] { return Text(page, "history").find("发送失败!") != std::string::npos; }, 8000));
    EXPECT_NE(Frame(500), nullptr);

    // A greeting template goes into the editor.
    page->SetElementValue("content", "");
    Eval(page, "document.getElementById('greetingIcon').click()");
    ASSERT_TRUE(lumui::PumpUntil([&] { return Text(page, "templates").find("新年快乐") != std::string::npos; }, 8000));
    lumui::PumpUntil([&] { return Text(page, "pager") == "1/2"; }, 3000);
    EXPECT_EQ(Text(page, "pager"), "1/2");
    Shot("bellwick_greetings.png");
    Eval(page, "document.querySelector('#templates .template').click()");
    EXPECT_EQ(Text(page, "content", DISPID_A_VALUE), "新年快乐，万事如意！");
}
