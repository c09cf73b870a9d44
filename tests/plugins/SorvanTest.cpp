// The search plug-in through its exports, against the stand-in web API over
// the seeded service: user and group results four to a page (forward, back,
// empty, failing server), search words shown and sent as typed, adding a
// friend (accepted, already a friend, refused, not allowed) into the store
// and the main window, asking to join groups, the add-friend window, the
// invitation into an own group, and a missing card module.
#include "Common/records/Data.h"
#include "Common/stores/FileDbUser.h"
#include "plugins/Sorvan/SorvanExports.h"
#include "tests/plugins/FakeVistelExports.h"
#include "tests/plugins/PluginTestKit.h"
#include "tests/standin/StandinService.h"
#include "tests/standin/WebApi.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <string>
#include <tuple>
#include <vector>

namespace {

const UINT kAddContact = WM_USER + 8065;  // 9089
const UINT kUserPage = 7002, kGroupPage = 7005, kAddPage = 7024, kInvitePage = 7020;
const int kOwnId = 10001;
const char* const kAccount = "13800000001";
const char* const kKey = "0123456789abcdef0123456789abcdef";

// The main window as far as the plug-in is concerned: it takes added contacts.
class MainWindow : public CWnd {
public:
    LRESULT OnAddContact(WPARAM wParam, LPARAM)
    {
        const auto* user = reinterpret_cast<const CDataUser*>(wParam);
        if (user) {
            const char* name = static_cast<const char*>(user->m_bstrName);
            const char* sign = static_cast<const char*>(user->m_bstrSign);
            added.push_back({user->m_nId, user->m_nGroupId, name ? name : "", sign ? sign : ""});
        }
        return 0;
    }
    struct Added {
        int id, list;
        std::string name, sign;
    };
    std::vector<Added> added;
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(MainWindow, CWnd)
    ON_MESSAGE(kAddContact, OnAddContact)
END_MESSAGE_MAP()

class SorvanTest : public plugintest::PluginTest {
protected:
    // The id of the row the page has selected ("" for none).
    static std::string SelectedRow(CDHtmlDialog* page)
    {
        CString id;
        page->InvokeScriptMethod("eval", {CString("selectedRow ? selectedRow.id : ''")}, &id);
        return id.GetString();
    }
    // Clicks a row's name, which selects it or, when it was selected,
    // deselects it, and waits until the page has taken the click and the
    // module has been told (a button pressed before that would act on the
    // selection before; the click's helper runs what the page told).
    void ClickRow(CDHtmlDialog* page, const std::string& id)
    {
        const std::string before = SelectedRow(page);
        Click(page, ("[id='" + id + "'] .name").c_str());
        ASSERT_TRUE(lumui::PumpUntil([&] { return SelectedRow(page) != before; }, 5000)) << "row " << id;
    }
    void SetUp() override
    {
        ASSERT_TRUE(OpenProgramFolder());
        std::filesystem::create_directories(dir_.file("www/upload/face"));
        std::filesystem::create_directories(dir_.file("www/upload/group"));
        ASSERT_TRUE(service_.LoadSeedFile(SEED_FILE));
        standin::RegisterSorvanApi(web_, service_);
        ASSERT_TRUE(ServeWeb(web_, dir_.file("www")));
        InstallModule(SORVAN_FILE, "Sorvan");
        ASSERT_EQ(users_.Connect(kOwnId), 1);
        ASSERT_TRUE(main_.CreateEx(0, nullptr, "main", WS_POPUP, 0, 0, 10, 10, nullptr, 0));
        RecordMessageBoxes();
        ASSERT_TRUE(LoadModule("Sorvan"));
    }

    void TearDown() override
    {
        UnloadModule();
        if (main_.m_hWnd) main_.DestroyWindow();
        CloseProgramFolder();
    }

    // The page once its document has loaded (every page has `repaint`).
    CDHtmlDialog* WaitForPage(UINT html)
    {
        CDHtmlDialog* page = nullptr;
        lumui::PumpUntil(
            [&] {
                page = Page(html);
                return page && page->InvokeScriptMethod("repaint") == S_OK;
            },
            20000);
        EXPECT_TRUE(uiwait::QueuedWorkDone());
        return page;
    }

    CDHtmlDialog* ShowUser(const char* text, const char* account = kAccount, const char* key = kKey)
    {
        auto show = Export(SorvanExports::showUser);
        EXPECT_NE(show, nullptr);
        if (!show) return nullptr;
        web_.ClearRequests();
        show(text, kOwnId, account, main_.m_hWnd, &users_, key);
        return WaitForPage(kUserPage);
    }

    CDHtmlDialog* ShowGroup(const char* text)
    {
        auto show = Export(SorvanExports::showGroup);
        EXPECT_NE(show, nullptr);
        if (!show) return nullptr;
        web_.ClearRequests();
        show(text, kOwnId, kAccount, &users_, kKey);
        return WaitForPage(kGroupPage);
    }

    bool Until(const std::function<bool()>& done) { return lumui::PumpUntil(done, 10000); }

    // A new page of results arrived: the page number shows `page` and the
    // list holds the row `id`.
    bool ShowsRow(CDHtmlDialog* page, const std::string& id)
    {
        return Until([&] { return Text(page, "list", DISPID_IHTMLELEMENT_INNERHTML).find("id=\"" + id + "\"") !=
                                  std::string::npos; });
    }

    static int Rows(const std::string& html)
    {
        int n = 0;
        for (size_t at = html.find("class=\"row\""); at != std::string::npos; at = html.find("class=\"row\"", at + 1))
            ++n;
        return n;
    }

    // The frame's button, pressed as its click does.
    void PressButton(const char* caption, int id)
    {
        CWnd* frame = Frame(caption);
        ASSERT_NE(frame, nullptr);
        CWnd* button = frame->GetDlgItem(id);
        ASSERT_NE(button, nullptr);
        frame->SendMessage(WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button->m_hWnd));
    }

    std::set<int> Friends()
    {
        std::set<CDataUser*> list;
        users_.GetGroupUserList(1, &list);
        std::set<int> ids;
        for (CDataUser* u : list) {
            ids.insert(u->m_nId);
            delete u;
        }
        return ids;
    }

    standin::StandinService service_;
    standin::StandinWeb web_{&service_};
    CFileDbUser users_;
    MainWindow main_;
};

}  // namespace

TEST_F(SorvanTest, UserResultsPageForwardAndBack)
{
    CDHtmlDialog* page = ShowUser("校园用户");
    ASSERT_NE(page, nullptr);
    CWnd* frame = Frame("好友查找结果");
    ASSERT_NE(frame, nullptr);
    CRect r;
    frame->GetWindowRect(&r);
    EXPECT_EQ(r, CRect(250, 250, 750, 650));
    ASSERT_TRUE(ShowsRow(page, "20001"));
    EXPECT_EQ(Text(page, "heading"), "搜索结果");
    EXPECT_EQ(Text(page, "count"), "300");
    EXPECT_EQ(Text(page, "cPage"), "1");
    EXPECT_EQ(Text(page, "tPage"), "75");
    std::string html = Text(page, "list", DISPID_IHTMLELEMENT_INNERHTML);
    EXPECT_EQ(Rows(html), 4);
    const std::string list = Text(page, "list");
    EXPECT_NE(list.find("校园用户004"), std::string::npos);
    EXPECT_NE(list.find("第1号同学的签名"), std::string::npos);
    // No note: the page's own words for it.
    ASSERT_EQ(Requests("/api/friend/searchUserList.jsp").size(), 1u);
    const standin::WebRequest first = Requests("/api/friend/searchUserList.jsp")[0];
    EXPECT_EQ(first.method, "POST");
    EXPECT_EQ(first.Param("search_key"), "校园用户");
    EXPECT_EQ(first.Param("page_index"), "1");
    EXPECT_EQ(first.Param("page_size"), "4");
    EXPECT_EQ(first.Param("phone"), kAccount);
    EXPECT_EQ(first.Param("key"), kKey);
    // The button sits in the bottom right corner, the page above it.
    CWnd* button = frame->GetDlgItem(7004);
    ASSERT_NE(button, nullptr);
    button->GetWindowRect(&r);
    EXPECT_EQ(r, CRect(250 + 413, 250 + 367, 250 + 483, 250 + 393));
    page->GetWindowRect(&r);
    EXPECT_EQ(r, CRect(254, 280, 746, 610));
    Shot("sorvan_users.png");
    // Both follow the frame when it grows.
    frame->MoveWindow(250, 250, 700, 500);
    EXPECT_TRUE(lumui::PumpUntil([&] {
        page->GetWindowRect(&r);
        return r == CRect(254, 280, 946, 710);
    })) << r.left << "," << r.top << "," << r.right << "," << r.bottom;
    button->GetWindowRect(&r);
    EXPECT_EQ(r, CRect(250 + 613, 250 + 467, 250 + 683, 250 + 493));
    frame->MoveWindow(250, 250, 500, 400);
    EXPECT_TRUE(lumui::PumpUntil([&] {
        page->GetWindowRect(&r);
        return r == CRect(254, 280, 746, 610);
    }));

    Click(page, "#next");
    ASSERT_TRUE(ShowsRow(page, "20005"));
    EXPECT_EQ(Text(page, "cPage"), "2");
    EXPECT_NE(Text(page, "list").find("这个人很神秘"), std::string::npos);  // 20005 has no note
    EXPECT_EQ(Requests("/api/friend/searchUserList.jsp").back().Param("page_index"), "2");
    EXPECT_EQ(Requests("/api/friend/searchUserList.jsp").back().Param("search_key"), "校园用户");
    Click(page, "#next");
    ASSERT_TRUE(ShowsRow(page, "20009"));
    Click(page, "#prev");
    ASSERT_TRUE(ShowsRow(page, "20005"));
    Click(page, "#prev");
    ASSERT_TRUE(ShowsRow(page, "20001"));
    EXPECT_EQ(Text(page, "cPage"), "1");
    // Nothing before the first page.
    const size_t asked = Requests("/api/friend/searchUserList.jsp").size();
    Click(page, "#prev");
    ASSERT_TRUE(PageRequestsDone(page));
    EXPECT_EQ(Requests("/api/friend/searchUserList.jsp").size(), asked);

    // The last page holds what is left; nothing after it.
    page->InvokeScriptMethod("search", {"2029"});
    ASSERT_TRUE(ShowsRow(page, "20290"));
    EXPECT_EQ(Text(page, "tPage"), "3");
    Click(page, "#next");
    Click(page, "#next");
    ASSERT_TRUE(ShowsRow(page, "20299"));
    EXPECT_EQ(Text(page, "cPage"), "3");
    EXPECT_EQ(Rows(Text(page, "list", DISPID_IHTMLELEMENT_INNERHTML)), 2);
    const size_t atEnd = Requests("/api/friend/searchUserList.jsp").size();
    Click(page, "#next");
    ASSERT_TRUE(PageRequestsDone(page));
    EXPECT_EQ(Requests("/api/friend/searchUserList.jsp").size(), atEnd);
}

// Quotes, per cent, ampersand, hash and Chinese go to the server as typed and
// come back as typed; markup in a name is shown as text.
TEST_F(SorvanTest, SearchWordsAreSentAndShownAsTyped)
{
    CDHtmlDialog* page = ShowUser("");
    ASSERT_NE(page, nullptr);
    // No search text: the page waits for one.
    ASSERT_TRUE(PageRequestsDone(page));
    EXPECT_TRUE(Requests("/api/friend/searchUserList.jsp").empty());
    EXPECT_EQ(Text(page, "searchKey", DISPID_A_VALUE), "请输入关键字");

    // An empty box (or its hint) is not searched for.
    Click(page, "#btnSearch");
    ASSERT_TRUE(BoxSaid("请输入搜索内容!"));
    EXPECT_TRUE(Requests("/api/friend/searchUserList.jsp").empty());

    for (const std::string word : {"张'伟%&#", "100%", "A&B", "#话题#", "O'Neil", "<b>粗</b>"}) {
        web_.ClearRequests();
        page->InvokeScriptMethod("search", {word.c_str()});
        ASSERT_TRUE(Until([&] { return Text(page, "list").find(word) != std::string::npos; })) << word;
        EXPECT_EQ(Text(page, "count"), "1") << word;
        ASSERT_EQ(Requests("/api/friend/searchUserList.jsp").size(), 1u) << word;
        EXPECT_EQ(Requests("/api/friend/searchUserList.jsp")[0].Param("search_key"), word);
        EXPECT_EQ(Text(page, "searchKey", DISPID_A_VALUE), word);
    }
    EXPECT_EQ(Text(page, "list", DISPID_IHTMLELEMENT_INNERHTML).find("<b>"), std::string::npos);

    // Searched again from the page's own box.
    web_.ClearRequests();
    page->SetElementValue("searchKey", "O'Neil");
    Click(page, "#btnSearch");
    ASSERT_TRUE(Until([&] { return !Requests("/api/friend/searchUserList.jsp").empty(); }));
    EXPECT_EQ(Requests("/api/friend/searchUserList.jsp")[0].Param("search_key"), "O'Neil");
    ASSERT_TRUE(ShowsRow(page, "20301"));
    Shot("sorvan_typed_search.png");

    // A user without a name shows the id.
    page->InvokeScriptMethod("search", {"20306"});
    ASSERT_TRUE(ShowsRow(page, "20306"));
    EXPECT_NE(Text(page, "list").find("20306"), std::string::npos);
    EXPECT_NE(Text(page, "list").find("这个人很神秘"), std::string::npos);
}

TEST_F(SorvanTest, EmptyResultsAndServerFailures)
{
    CDHtmlDialog* page = ShowUser("校园用户");
    ASSERT_NE(page, nullptr);
    ASSERT_TRUE(ShowsRow(page, "20001"));

    // Nothing found: a count of 0, no pager and none of the earlier rows.
    page->InvokeScriptMethod("search", {"没有这个人"});
    ASSERT_TRUE(Until([&] { return Text(page, "count") == "0"; }));
    EXPECT_EQ(Rows(Text(page, "list", DISPID_IHTMLELEMENT_INNERHTML)), 0);
    EXPECT_TRUE(boxes_.empty());
    CRect pager;
    EXPECT_TRUE(!lumui::PageElementScreenRect(page, "#pager", &pager) || pager.Width() == 0);

    // The server fails: the page says so and keeps what it showed.
    page->InvokeScriptMethod("search", {"校园用户"});
    ASSERT_TRUE(ShowsRow(page, "20001"));
    web_.SetFault("/api/friend/searchUserList.jsp", standin::WebFault::Status(500));
    Click(page, "#next");
    ASSERT_TRUE(BoxSaid("查找失败,请重试!"));
    EXPECT_EQ(Text(page, "cPage"), "1");
    EXPECT_TRUE(ShowsRow(page, "20001"));
    // A reply that is not JSON is a failure too.
    web_.SetFault("/api/friend/searchUserList.jsp", standin::WebFault::Malformed("<html>oops</html>"));
    boxes_.clear();
    page->InvokeScriptMethod("search", {"校园"});
    ASSERT_TRUE(BoxSaid("查找失败,请重试!"));
    web_.ClearFaults();

    // An account the web API does not take (no key): result -101.
    boxes_.clear();
    page = ShowUser("校园用户", kAccount, "");
    ASSERT_NE(page, nullptr);
    ASSERT_TRUE(BoxSaid("查找失败,请重试!"));
    EXPECT_EQ(Rows(Text(page, "list", DISPID_IHTMLELEMENT_INNERHTML)), 0);
}

TEST_F(SorvanTest, AddFriendAcceptedAlreadyAFriendAndRefused)
{
    CDHtmlDialog* page = ShowUser("陈静");
    ASSERT_NE(page, nullptr);
    ASSERT_TRUE(ShowsRow(page, "10005"));

    // Nothing selected: the page asks for a row and nothing is posted.
    PressButton("好友查找结果", 7004);
    ASSERT_TRUE(BoxSaid("请求选择一个用户!"));
    EXPECT_TRUE(Requests("/api/friend/addFriend.jsp").empty());

    // A click selects the row, a second click deselects it.
    ClickRow(page, "10005");
    ClickRow(page, "10005");
    boxes_.clear();
    PressButton("好友查找结果", 7004);
    ASSERT_TRUE(BoxSaid("请求选择一个用户!"));
    EXPECT_TRUE(Requests("/api/friend/addFriend.jsp").empty());

    // Accepted: into the store's friend list, the main window's, and the service.
    ClickRow(page, "10005");
    Shot("sorvan_selected.png");
    PressButton("好友查找结果", 7004);
    ASSERT_TRUE(BoxSaid("恭喜,添加好友10005成功!"));
    ASSERT_TRUE(Until([&] { return !main_.added.empty(); }));
    EXPECT_EQ(main_.added[0].id, 10005);
    EXPECT_EQ(main_.added[0].list, 1);
    EXPECT_EQ(main_.added[0].name, "陈静");
    EXPECT_EQ(main_.added[0].sign, "图书馆见");
    EXPECT_EQ(Friends().count(10005), 1u);
    EXPECT_TRUE(service_.IsFriend(kOwnId, 10005));
    EXPECT_TRUE(service_.IsFriend(10005, kOwnId));
    ASSERT_FALSE(service_.Pending(10005).empty());
    EXPECT_EQ(service_.Pending(10005).back().fromid, kOwnId);
    const standin::WebRequest add = Requests("/api/friend/addFriend.jsp").at(0);
    EXPECT_EQ(add.Param("user_id"), "10005");
    EXPECT_EQ(add.Param("phone"), kAccount);
    EXPECT_EQ(add.Param("key"), kKey);

    // Already a friend: the page's general failure, nothing added.
    page->InvokeScriptMethod("search", {"李娜"});
    ASSERT_TRUE(ShowsRow(page, "10002"));
    ClickRow(page, "10002");
    PressButton("好友查找结果", 7004);
    ASSERT_TRUE(BoxSaid("添加失败!"));
    // Oneself.
    page->InvokeScriptMethod("search", {"张伟"});
    ASSERT_TRUE(ShowsRow(page, "10001"));
    ClickRow(page, "10001");
    PressButton("好友查找结果", 7004);
    ASSERT_TRUE(BoxSaid("抱歉,不能添加自己为好友!"));
    ASSERT_TRUE(PageRequestsDone(page));
    EXPECT_EQ(main_.added.size(), 1u);

    // Refused: 10003 keeps 10005 on the black list.
    page = ShowUser("王芳", "13800000005");
    ASSERT_TRUE(ShowsRow(page, "10003"));
    ClickRow(page, "10003");
    PressButton("好友查找结果", 7004);
    ASSERT_TRUE(BoxSaid("抱歉,添加好友10003失败!请稍后重试!"));
    EXPECT_FALSE(service_.IsFriend(10005, 10003));
    EXPECT_EQ(main_.added.size(), 1u);

    // The server fails: the general failure.
    web_.SetFault("/api/friend/addFriend.jsp", standin::WebFault::Status(500));
    PressButton("好友查找结果", 7004);
    ASSERT_TRUE(BoxSaid("添加失败!"));
}

TEST_F(SorvanTest, GroupResultsAndAskingToJoin)
{
    CDHtmlDialog* page = ShowGroup("校园群组");
    ASSERT_NE(page, nullptr);
    ASSERT_TRUE(ShowsRow(page, "3001"));
    EXPECT_EQ(Text(page, "count"), "200");
    EXPECT_EQ(Text(page, "tPage"), "50");
    EXPECT_EQ(Requests("/api/group/searchGroupList.jsp").at(0).Param("search_key"), "校园群组");
    ASSERT_NE(Frame("群组查找结果"), nullptr);
    Shot("sorvan_groups.png");

    PressButton("群组查找结果", 7005);
    ASSERT_TRUE(BoxSaid("请求选择一个群!"));
    EXPECT_TRUE(Requests("/api/group/joinGroupUser.jsp").empty());

    ClickRow(page, "3001");
    PressButton("群组查找结果", 7005);
    ASSERT_TRUE(BoxSaid("申请已经发送出去,请等待群主审批!"));
    EXPECT_EQ(Requests("/api/group/joinGroupUser.jsp").at(0).Param("group_id"), "3001");
    // Joining waits for the owner: nothing changes here.
    EXPECT_FALSE(service_.GroupHasMember(3001, kOwnId));
    EXPECT_TRUE(main_.added.empty());

    ClickRow(page, "3003");
    PressButton("群组查找结果", 7005);
    ASSERT_TRUE(BoxSaid("加入失败,群3003群为班级群，请联系辅导员，进行加入!"));

    Click(page, "#next");
    ASSERT_TRUE(ShowsRow(page, "3007"));
    ClickRow(page, "3007");
    PressButton("群组查找结果", 7005);
    ASSERT_TRUE(BoxSaid("加入失败,群3007已经达到最大人数限制,不能再新增成员了!"));

    page->InvokeScriptMethod("search", {"羽毛球"});
    ASSERT_TRUE(ShowsRow(page, "502"));
    ClickRow(page, "502");
    PressButton("群组查找结果", 7005);
    ASSERT_TRUE(BoxSaid("加入失败,您已经是'502'群的成员了,不需要再加入!"));

    web_.SetFault("/api/group/joinGroupUser.jsp", standin::WebFault::Status(500));
    PressButton("群组查找结果", 7005);
    ASSERT_TRUE(BoxSaid("操作失败,建议稍后再试!"));
}

// The card module is not beside the program: the page says so.
TEST_F(SorvanTest, MissingCardModuleIsReported)
{
    CDHtmlDialog* page = ShowUser("陈静");
    ASSERT_TRUE(ShowsRow(page, "10005"));
    Click(page, "[id='10005'] .view");
    ASSERT_TRUE(BoxSaid("加载Vistel.dll失败,未能实现查看个人资料功能"));
    page = ShowGroup("羽毛球");
    ASSERT_TRUE(ShowsRow(page, "502"));
    Click(page, "[id='502'] .view");
    ASSERT_TRUE(BoxSaid("加载Vistel.dll失败,未能实现查看群资料功能"));
    // The view button does not select its row.
    PressButton("群组查找结果", 7005);
    ASSERT_TRUE(BoxSaid("请求选择一个群!"));
}

TEST_F(SorvanTest, AddFriendWindow)
{
    auto add = Export(SorvanExports::addToFriend);
    ASSERT_NE(add, nullptr);
    CDataUser target;
    target.m_nId = 10005;
    target.m_bstrName = "陈静";
    target.m_bstrSign = "图书馆见";
    target.m_nGroupId = 2;

    // Not allowed: the window says so and stays.
    add(&target, kOwnId, kAccount, main_.m_hWnd, &users_, "");
    CDHtmlDialog* page = WaitForPage(kAddPage);
    ASSERT_NE(page, nullptr);
    CWnd* frame = Frame("加为好友");
    ASSERT_NE(frame, nullptr);
    CRect r;
    frame->GetWindowRect(&r);
    EXPECT_EQ(r, CRect(250, 250, 590, 450));
    Shot("sorvan_add_friend.png");
    Click(page, "#ButtonOK");
    ASSERT_TRUE(BoxSaid("您无法使用该功能!"));
    EXPECT_NE(Frame("加为好友"), nullptr);

    // Accepted: the copy of the record goes to the friends and the window closes.
    add(&target, kOwnId, kAccount, main_.m_hWnd, &users_, kKey);
    page = WaitForPage(kAddPage);
    ASSERT_NE(page, nullptr);
    Click(page, "#ButtonOK");
    ASSERT_TRUE(Until([&] { return Frame("加为好友") == nullptr; }));
    ASSERT_EQ(main_.added.size(), 1u);
    EXPECT_EQ(main_.added[0].id, 10005);
    EXPECT_EQ(main_.added[0].list, 1);
    EXPECT_EQ(main_.added[0].name, "陈静");
    EXPECT_EQ(target.m_nGroupId, 2);  // the caller's record is left alone
    EXPECT_EQ(Friends().count(10005), 1u);
    EXPECT_TRUE(service_.IsFriend(kOwnId, 10005));
    EXPECT_EQ(Requests("/api/friend/addFriend.jsp").back().Param("user_id"), "10005");

    // Already friends: the window stays, nothing is added.
    add(&target, kOwnId, kAccount, main_.m_hWnd, &users_, kKey);
    page = WaitForPage(kAddPage);
    Click(page, "#ButtonOK");
    ASSERT_TRUE(Until([&] { return Requests("/api/friend/addFriend.jsp").size() == 3; }));
    ASSERT_TRUE(PageRequestsDone(page));
    EXPECT_NE(Frame("加为好友"), nullptr);
    EXPECT_EQ(main_.added.size(), 1u);

    // Refused (-99): the window closes without a word.
    target.m_nId = 10003;
    add(&target, 10005, "13800000005", main_.m_hWnd, &users_, kKey);
    page = WaitForPage(kAddPage);
    boxes_.clear();
    Click(page, "#ButtonOK");
    ASSERT_TRUE(Until([&] { return Frame("加为好友") == nullptr; }));
    EXPECT_TRUE(boxes_.empty());
    EXPECT_EQ(main_.added.size(), 1u);

    // Cancel closes it.
    add(&target, kOwnId, kAccount, main_.m_hWnd, &users_, kKey);
    page = WaitForPage(kAddPage);
    Click(page, "#ButtonCancel");
    ASSERT_TRUE(Until([&] { return Frame("加为好友") == nullptr; }));
}

TEST_F(SorvanTest, InvitationIntoAnOwnGroup)
{
    auto invite = Export(SorvanExports::inviteAddGrp);
    ASSERT_NE(invite, nullptr);

    // No own group: an empty chooser, and OK asks for one.
    invite(&users_, 10005, kOwnId, kAccount, kKey);
    CDHtmlDialog* page = WaitForPage(kInvitePage);
    ASSERT_NE(page, nullptr);
    Click(page, "#ButtonOK");
    ASSERT_TRUE(BoxSaid("请选择群"));
    EXPECT_TRUE(Requests("/api/group/addGroupUser.jsp").empty());

    // Two own groups (names as text) and one of someone else's.
    standin::SeedGroup own;
    own.gid = 601;
    own.name = "我的'群<1>";
    own.capacity = 100;
    own.masterId = kOwnId;
    own.members = {{kOwnId, 1, ""}, {10002, 0, ""}};
    ASSERT_TRUE(service_.AddGroup(own));
    for (auto [id, name, master] : {std::tuple<int, const char*, int>{601, "我的'群<1>", 1}, {602, "别人的群", 0},
                                    {603, "第二个群", 1}}) {
        CDataGroup g;
        g.m_nId = id;
        g.m_nStyle = 1;
        g.m_nIsMaster = master;
        g.m_bstrName = name;
        ASSERT_EQ(users_.InsertGroup(&g), 1);
    }
    invite(&users_, 10005, kOwnId, kAccount, kKey);
    page = WaitForPage(kInvitePage);
    ASSERT_NE(page, nullptr);
    ASSERT_NE(Frame("邀请加入我的群"), nullptr);
    const std::string chooser = Text(page, "chooser", DISPID_IHTMLELEMENT_INNERHTML);
    EXPECT_NE(chooser.find("我的'群&lt;1&gt;"), std::string::npos);
    EXPECT_NE(chooser.find("第二个群"), std::string::npos);
    EXPECT_EQ(chooser.find("别人的群"), std::string::npos);
    // Every option carries the chosen mark, so the last one shows.
    int marks = 0;
    for (size_t at = chooser.find("selected"); at != std::string::npos; at = chooser.find("selected", at + 1)) ++marks;
    EXPECT_EQ(marks, 2);
    Shot("sorvan_invite.png");
    // Every option is marked chosen, so the last one shows.
    page->SetElementValue("group", "601");
    Click(page, "#ButtonOK");
    ASSERT_TRUE(BoxSaid("您的邀请已发出!"));
    const standin::WebRequest sent = Requests("/api/group/addGroupUser.jsp").at(0);
    EXPECT_EQ(sent.Param("user_param"), "10005");
    EXPECT_EQ(sent.Param("group_id"), "601");
    EXPECT_EQ(sent.Param("condition"), "1");
    EXPECT_EQ(sent.Param("phone"), kAccount);
    EXPECT_EQ(sent.Param("key"), kKey);
    // The window stays for another try.
    EXPECT_NE(Frame("邀请加入我的群"), nullptr);

    // Already in the group.
    invite(&users_, 10002, kOwnId, kAccount, kKey);
    page = WaitForPage(kInvitePage);
    page->SetElementValue("group", "601");
    Click(page, "#ButtonOK");
    ASSERT_TRUE(BoxSaid("该好友已经加入此群!"));
    // No such user.
    invite(&users_, 99999, kOwnId, kAccount, kKey);
    page = WaitForPage(kInvitePage);
    page->SetElementValue("group", "601");
    Click(page, "#ButtonOK");
    ASSERT_TRUE(BoxSaid("该好友不存在!"));
    // A group the service does not know the user owns.
    page->SetElementValue("group", "603");
    Click(page, "#ButtonOK");
    ASSERT_TRUE(BoxSaid("邀请失败,请稍后再试!"));
    // Cancel closes the window.
    Click(page, "#ButtonCancel");
    ASSERT_TRUE(Until([&] { return Frame("邀请加入我的群") == nullptr; }));
}

// With the card module beside the program, a row's view button opens the
// card with the six arguments: kind, id, own id, account, notify window, key.
TEST_F(SorvanTest, ViewButtonOpensTheCard)
{
    std::filesystem::copy_file(FAKE_VISTEL_FILE, dir_.file("libVistel.so"));
    CDHtmlDialog* page = ShowUser("陈静");
    ASSERT_TRUE(ShowsRow(page, "10005"));
    Click(page, "[id='10005'] .view");
    HMODULE vistel = LoadLibrary("Vistel.dll");
    ASSERT_NE(vistel, nullptr);
    auto calls = PluginExport(vistel, FakeVistelExports::ShowCalls);
    ASSERT_NE(calls, nullptr);
    const char* last = nullptr;
    ASSERT_TRUE(Until([&] { return calls(&last) == 1; }));
    EXPECT_EQ(std::string(last), std::string("0|10005|10001|") + kAccount + "|notify|" + kKey);

    // The group page: kind 1. Its module is freed and loaded again per
    // opening, so the count starts anew unless this test still holds it.
    CDHtmlDialog* groups = ShowGroup("羽毛球");
    ASSERT_TRUE(ShowsRow(groups, "502"));
    Click(groups, "[id='502'] .view");
    ASSERT_TRUE(Until([&] { return calls(&last) == 2; }));
    EXPECT_EQ(std::string(last), std::string("1|502|10001|") + kAccount + "|notify|" + kKey);
    EXPECT_TRUE(boxes_.empty());
    FreeLibrary(vistel);
}

// One window of each kind: a second show replaces the first; the group
// results use the notify window an earlier user search gave; ExitInstance
// closes every window and the module stays usable.
TEST_F(SorvanTest, WindowsAreReplacedAndClosedByTheModule)
{
    CDHtmlDialog* page = ShowUser("陈静");
    ASSERT_TRUE(ShowsRow(page, "10005"));
    const HWND first = Frame("好友查找结果")->m_hWnd;
    page = ShowUser("李娜");
    ASSERT_TRUE(ShowsRow(page, "10002"));
    EXPECT_NE(Frame("好友查找结果")->m_hWnd, first);
    EXPECT_FALSE(::IsWindow(first));
    EXPECT_EQ(Text(page, "searchKey", DISPID_A_VALUE), "李娜");

    // The group window keeps the notify window of the user search: a group
    // page reporting a membership reaches it.
    CDHtmlDialog* groups = ShowGroup("羽毛球");
    ASSERT_TRUE(ShowsRow(groups, "502"));
    ASSERT_NE(Frame("好友查找结果"), nullptr);
    // addGroupSuc, as the page may call it.
    lumui::CallPageMethod(groups, "addGroupSuc", {"502"});
    ASSERT_EQ(main_.added.size(), 1u);
    EXPECT_EQ(main_.added[0].id, kOwnId);
    EXPECT_EQ(main_.added[0].list, 502);

    auto exit = Export(PluginExports::ExitInstance);
    ASSERT_NE(exit, nullptr);
    exit();
    ASSERT_TRUE(uiwait::QueuedWorkDone());
    EXPECT_EQ(Frame("好友查找结果"), nullptr);
    EXPECT_EQ(Frame("群组查找结果"), nullptr);
    page = ShowUser("陈静");
    ASSERT_TRUE(ShowsRow(page, "10005"));
}
