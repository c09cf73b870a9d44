// The cards plug-in through its exports, over the stand-in web API: friend,
// stranger and group cards with Chinese fields shown as text, and the
// remark and group-card editors, whose edits count only when the service
// says they were saved (the friend list shows the new remark then, and
// keeps the old one otherwise).
#include "Common/records/Data.h"
#include "Lum/contacts/KivGroupListCtrl.h"
#include "Lum/contacts/KivUsersListCtrl.h"
#include "Lum/modules/KivVistelHooks.h"
#include "base/MenuCommands.h"
#include "plugins/Vistel/VistelExports.h"
#include "tests/plugins/PluginTestKit.h"
#include "tests/standin/StandinService.h"
#include "tests/standin/WebApi.h"

#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace {

const char* const kAccount = "13900000001";
const char* const kKey = "KEY-7f";
const char* const kTricky = "O'Hara 100% & #1 中文";

const char* const kSeed = R"({
  "users": [
    {"id": 20001, "phone": "13900000001", "password": "1", "name": "张伟"},
    {"id": 20002, "phone": "13900000002", "password": "1", "name": "李娜<b>", "note": "<i>今天</i>也要加油",
     "gender": "女", "birthday": "1990-05-20 00:00:00", "city": "郑州", "email": "lina@example.edu",
     "interests": "0,2,29,,5"},
    {"id": 20003, "phone": "13900000003", "password": "1", "name": "陌生人王", "gender": "男", "city": "洛阳"}
  ],
  "friends": [{"user": 20001, "friend": 20002, "remark": "娜娜"}],
  "groups": [
    {"gid": 701, "name": "计算机一班", "style": 2, "master": 20002, "note": "班级通知 & 作业", "groupClass": "班级",
     "members": [{"user": 20002, "isMaster": 1, "carte": ""}, {"user": 20001, "isMaster": 0, "carte": "班长"}]}
  ]
})";

// Receives the plug-in's reports as a list window does.
class Notify : public CWnd {
public:
    struct Report {
        UINT message;
        int id, gid;
        std::string text;
    };
    LRESULT OnReport(UINT message, WPARAM wParam)
    {
        const auto* rec = reinterpret_cast<const CDataUser*>(wParam);
        if (rec) reports.push_back({message, rec->m_nId, rec->m_nGroupId, rec->m_strRemark.str()});
        return 0;
    }
    LRESULT OnRemark(WPARAM w, LPARAM) { return OnReport(10025, w); }
    LRESULT OnCard(WPARAM w, LPARAM) { return OnReport(10026, w); }
    std::vector<Report> reports;
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(Notify, CWnd)
    ON_MESSAGE(WM_USER + 9001, OnRemark)
    ON_MESSAGE(WM_USER + 9002, OnCard)
END_MESSAGE_MAP()

// Runs the test's steps from a timer while an editor runs modally.
class Driver : public CWnd {
public:
    void OnTimer(UINT_PTR) override
    {
        if (tick) tick();
    }
    std::function<void()> tick;
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(Driver, CWnd)
    ON_WM_TIMER()
END_MESSAGE_MAP()

class VistelTest : public plugintest::PluginTest {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(OpenProgramFolder());
        std::filesystem::create_directories(dir_.file("www/upload/face"));
        std::filesystem::create_directories(dir_.file("www/upload/group"));
        // Only the fall-back heads: every card shows default.png.
        std::filesystem::copy_file(LUM_RES_DIR "/head_default.png", dir_.file("www/upload/face/default.png"));
        std::filesystem::copy_file(LUM_RES_DIR "/head_group.png", dir_.file("www/upload/group/default.png"));
        std::string error;
        ASSERT_TRUE(data_.LoadSeedJson(kSeed, &error)) << error;
        standin::RegisterVistelApi(web_, data_);
        ASSERT_TRUE(ServeWeb(web_, dir_.file("www")));
        InstallModule(VISTEL_FILE, "Vistel");
        ASSERT_TRUE(notify_.CreateEx(0, nullptr, "notify", WS_POPUP, 0, 0, 10, 10, nullptr, 0));
        ASSERT_TRUE(driver_.CreateEx(0, nullptr, "driver", WS_POPUP, 0, 0, 10, 10, nullptr, 0));
        ASSERT_TRUE(LoadModule("Vistel"));
    }

    void TearDown() override
    {
        UnloadModule();
        if (notify_.m_hWnd) notify_.DestroyWindow();
        if (driver_.m_hWnd) driver_.DestroyWindow();
        CloseProgramFolder();
    }

    // Opens a card and waits until its data is in.
    CDHtmlDialog* ShowCard(int kind, int id)
    {
        auto show = Export(VistelExports::Show);
        EXPECT_NE(show, nullptr);
        if (!show) return nullptr;
        EXPECT_EQ(show(kind, id, 20001, kAccount, notify_.m_hWnd, kKey), 0);
        EXPECT_TRUE(lumui::PumpUntil([&] { return Text(Page(8002), "loaded", DISPID_A_VALUE) == "1"; }, 30000));
        EXPECT_TRUE(uiwait::QueuedWorkDone());
        return Page(8002);
    }

    // Runs an editor export (modal) while `steps` work its page from a timer
    // of the UI loop: each step is retried every 50 ms until it returns true.
    // The editor is cancelled when the steps take longer than 40 s.
    using Step = std::function<bool(CDHtmlDialog*)>;
    void RunEditor(UINT html, const std::function<void()>& call, std::vector<Step> steps)
    {
        size_t next = 0;
        const auto started = std::chrono::steady_clock::now();
        // The page is ready once its document has loaded and the editor has
        // told it the verify code, the last thing it tells it (the steps run
        // from a timer, which may tick while the editor is still telling).
        steps.insert(steps.begin(), [](CDHtmlDialog* page) {
            CString code;
            return page && !page->m_strCurrentUrl.IsEmpty() &&
                   page->InvokeScriptMethod("eval", {"verifyCode"}, &code) == S_OK && code == kKey;
        });
        driver_.tick = [&] {
            CDHtmlDialog* page = Page(html);
            if (next < steps.size() && steps[next](page)) ++next;
            if (std::chrono::steady_clock::now() - started > std::chrono::seconds(40) && page) {
                ADD_FAILURE() << "editor still open after step " << next;
                page->InvokeScriptMethod("cancelEdit");
                next = steps.size();
            }
        };
        driver_.SetTimer(1, 50, nullptr);
        call();
        driver_.KillTimer(1);
        driver_.tick = nullptr;
        EXPECT_EQ(next, steps.size());
    }

    // A step that waits until `path` has been asked `count` times.
    Step Asked(const std::string& path, size_t count = 1)
    {
        return [this, path, count](CDHtmlDialog*) { return RequestCount(path) >= count; };
    }

    // A step that types `text` into an editor as the user would and submits it.
    static Step Submit(const char* text)
    {
        return [text](CDHtmlDialog* page) {
            if (!page) return false;
            page->InvokeScriptMethod("onTextFocus");
            page->SetElementValue("text", text);
            page->InvokeScriptMethod("submitEdit");
            return true;
        };
    }

    // A step that waits for the editor's message line and keeps it.
    static Step Said(std::string* said)
    {
        return [said](CDHtmlDialog* page) {
            *said = Text(page, "msg");
            return !said->empty();
        };
    }

    static Step Cancel()
    {
        return [](CDHtmlDialog* page) {
            if (page) page->InvokeScriptMethod("cancelEdit");
            return true;
        };
    }

    static Step ShotNow(const char* name)
    {
        return [name](CDHtmlDialog*) {
            EXPECT_TRUE(plugintest::SaveShot(name));
            return true;
        };
    }

    // Waits until the web server answered a request on `path`.
    int WaitFor(const std::string& path, size_t count = 1)
    {
        size_t seen = 0;
        lumui::PumpUntil([&] {
            seen = RequestCount(path);
            return seen >= count;
        }, 10000);
        // Its answer is handled (the card may close on it).
        if (CDHtmlDialog* page = Page(8002))
            EXPECT_TRUE(PageRequestsDone(page));
        else
            EXPECT_TRUE(uiwait::QueuedWorkDone());
        return static_cast<int>(RequestCount(path));
    }

    std::string Remark(int32_t uid, int32_t friendId)
    {
        for (const auto& f : data_.Friends(uid))
            if (f.first == friendId) return f.second;
        return "?";
    }

    standin::StandinService data_;
    standin::StandinWeb web_{&data_};
    Notify notify_;
    Driver driver_;
};

int ThisYear()
{
    const time_t now = time(nullptr);
    struct tm t;
    localtime_r(&now, &t);
    return t.tm_year + 1900;
}

}  // namespace

TEST_F(VistelTest, FriendCardShowsChineseFieldsAsText)
{
    CDHtmlDialog* page = ShowCard(0, 20002);
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(Text(page, "name"), "李娜<b>");
    EXPECT_EQ(Text(page, "uid"), "20002");
    EXPECT_EQ(Text(page, "remark", DISPID_A_VALUE), "娜娜");
    EXPECT_EQ(Text(page, "note"), "<i>今天</i>也要加油");
    EXPECT_EQ(Text(page, "sex"), "女");
    EXPECT_EQ(Text(page, "birthday"), "1990-05-20");
    EXPECT_EQ(Text(page, "age"), std::to_string(ThisYear() - 1990));
    EXPECT_EQ(Text(page, "animal"), "马");
    EXPECT_EQ(Text(page, "star"), "金牛");
    EXPECT_EQ(Text(page, "province"), "河南");
    EXPECT_EQ(Text(page, "city"), "郑州");
    EXPECT_EQ(Text(page, "email"), "lina@example.edu");
    // Indices up to the first empty one.
    EXPECT_EQ(Text(page, "interests"), "上网,交友,其他");
    EXPECT_EQ(Text(page, "userRows", DISPID_IHTMLELEMENT_INNERHTML).find("<b>"), std::string::npos);
    EXPECT_NE(Text(page, "headBox", DISPID_IHTMLELEMENT_INNERHTML).find("/upload/face/default.png"), std::string::npos);

    const standin::WebRequest asked = LastRequest("/api/user/getUserInfo.jsp");
    EXPECT_EQ(asked.Param("phone"), kAccount);
    EXPECT_EQ(asked.Param("user_id"), "20002");
    EXPECT_EQ(asked.Param("key"), kKey);

    CWnd* frame = Frame("查看资料");
    ASSERT_NE(frame, nullptr);
    CRect r;
    frame->GetWindowRect(&r);
    EXPECT_EQ(r, CRect(250, 250, 750, 650));
    page->GetWindowRect(&r);
    frame->ScreenToClient(&r);
    EXPECT_EQ(r, CRect(4, 30, 496, 370));
    Shot("vistel_friend_card.png");

    // Growing the card grows the page; the buttons keep to the corner.
    frame->MoveWindow(250, 250, 600, 500);
    EXPECT_TRUE(lumui::PumpUntil([&] {
        page->GetWindowRect(&r);
        frame->ScreenToClient(&r);
        return r == CRect(4, 30, 596, 470);
    }));
    EXPECT_EQ(r, CRect(4, 30, 596, 470));
    frame->GetDlgItem(8001)->GetWindowRect(&r);
    frame->ScreenToClient(&r);
    EXPECT_EQ(r.TopLeft(), CPoint(510, 472));

    // A second card replaces the first.
    HWND first = frame->m_hWnd;
    page = ShowCard(2, 20003);
    ASSERT_NE(page, nullptr);
    EXPECT_FALSE(::IsWindow(first) && Frame("查看资料")->m_hWnd == first);
}

TEST_F(VistelTest, StrangerAndGroupCards)
{
    // A stranger without birthday: no age, animal or sign; no remark editing.
    CDHtmlDialog* page = ShowCard(2, 20003);
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(Text(page, "name"), "陌生人王");
    EXPECT_EQ(Text(page, "city"), "洛阳");
    EXPECT_EQ(Text(page, "age"), "");
    EXPECT_EQ(Text(page, "animal"), "");
    EXPECT_EQ(Text(page, "star"), "");
    EXPECT_EQ(Text(page, "interests"), "");
    CString disabled;
    page->InvokeScriptMethod("remarkLocked", {}, &disabled);
    EXPECT_EQ(disabled, "1");

    page = ShowCard(1, 701);
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(Text(page, "gname"), "计算机一班");
    EXPECT_EQ(Text(page, "gnote"), "班级通知 & 作业");
    EXPECT_EQ(Text(page, "gclass"), "班级");
    EXPECT_EQ(Text(page, "gtype"), "广播群");
    EXPECT_EQ(Text(page, "gmaster"), "13900000002(20002)");
    EXPECT_EQ(LastRequest("/api/group/getGroupInfo.jsp").Param("group_id"), "701");
    Shot("vistel_group_card.png");

    // OK on a group card posts nothing and closes it.
    CWnd* frame = Frame("查看资料");
    ASSERT_NE(frame, nullptr);
    frame->SendMessage(WM_COMMAND, 8000, 0);
    ASSERT_TRUE(uiwait::QueuedWorkDone());
    EXPECT_EQ(Frame("查看资料"), nullptr);
    EXPECT_EQ(RequestCount("/Chirra_User/edit_frd_remark"), 0u);
}

TEST_F(VistelTest, CardRemarkIsSavedOnlyOnSuccess)
{
    // The service refuses: no report, the card stays with the old remark
    // and says so.
    CDHtmlDialog* page = ShowCard(0, 20002);
    ASSERT_NE(page, nullptr);
    web_.SetFault("/Chirra_User/edit_frd_remark", standin::WebFault::Malformed("{\"result\":1}"));
    page->SetElementValue("remark", kTricky);
    Frame("查看资料")->SendMessage(WM_COMMAND, 8000, 0);
    ASSERT_EQ(WaitFor("/Chirra_User/edit_frd_remark"), 1);
    EXPECT_TRUE(notify_.reports.empty());
    ASSERT_NE(Frame("查看资料"), nullptr);
    page = Page(8002);
    EXPECT_EQ(Text(page, "remark", DISPID_A_VALUE), "娜娜");
    EXPECT_NE(Text(page, "msg").find("失败"), std::string::npos);
    Shot("vistel_card_remark_failed.png");

    // Accepted: the text arrives as typed, the owner hears of it, the card goes.
    web_.ClearFaults();
    page->SetElementValue("remark", kTricky);
    Frame("查看资料")->SendMessage(WM_COMMAND, 8000, 0);
    ASSERT_EQ(WaitFor("/Chirra_User/edit_frd_remark", 2), 2);
    const standin::WebRequest posted = LastRequest("/Chirra_User/edit_frd_remark");
    EXPECT_EQ(posted.Param("userID"), kAccount);
    EXPECT_EQ(posted.Param("frdID"), "20002");
    EXPECT_EQ(posted.Param("remark"), kTricky);
    EXPECT_EQ(Remark(20001, 20002), kTricky);
    ASSERT_EQ(notify_.reports.size(), 1u);
    EXPECT_EQ(notify_.reports[0].message, 10025u);
    EXPECT_EQ(notify_.reports[0].id, 20002);
    EXPECT_EQ(notify_.reports[0].text, kTricky);
    lumui::PumpUntil([&] { return Frame("查看资料") == nullptr; }, 3000);
    EXPECT_EQ(Frame("查看资料"), nullptr);
}

TEST_F(VistelTest, RemarkEditReflectedInTheFriendList)
{
    // The friend list of the main window, with the friend's row selected.
    CKivUsersListCtrl list;
    ASSERT_TRUE(list.Create(WS_CHILD | WS_VISIBLE | LVS_REPORT | LVS_SINGLESEL | LVS_OWNERDRAWFIXED | LVS_NOCOLUMNHEADER,
                            CRect(0, 0, 230, 180), &notify_, 1017));
    list.SetRowHeight(52);
    list.m_nListId = 1;
    CDataUser rec;
    rec.m_nId = 20002;
    rec.m_bstrName = "李娜";
    rec.m_strRemark = "娜娜";
    list.AddUser(&rec, 0);
    list.SetSelectionMark(0);
    auto edit = Export(VistelExports::EditFrdRemark);
    ASSERT_NE(edit, nullptr);

    // Refused by the service: the list keeps the old remark, the dialog says so.
    web_.SetFault("/api/friend/editFriendRemark.jsp", standin::WebFault::Status(500));
    std::string said;
    RunEditor(8009, [&] { edit(20002, kAccount, list.m_hWnd, kKey); },
              {Submit("新备注"), Said(&said), ShotNow("vistel_remark_failed.png"), Cancel()});
    EXPECT_NE(said.find("失败"), std::string::npos);
    EXPECT_EQ(list.GetItemText(0, 0).str(), "娜娜");
    EXPECT_EQ(Remark(20001, 20002), "娜娜");

    // Saved: the text as typed reaches the service and the list.
    web_.ClearFaults();
    RunEditor(8009, [&] { edit(20002, kAccount, list.m_hWnd, kKey); }, {Submit("O'Hara 中文")});
    const standin::WebRequest posted = LastRequest("/api/friend/editFriendRemark.jsp");
    EXPECT_EQ(posted.Param("phone"), kAccount);
    EXPECT_EQ(posted.Param("friend_id"), "20002");
    EXPECT_EQ(posted.Param("remark"), "O'Hara 中文");
    EXPECT_EQ(posted.Param("key"), kKey);
    EXPECT_EQ(Remark(20001, 20002), "O'Hara 中文");
    EXPECT_EQ(list.GetItemText(0, 0).str(), "O'Hara 中文");
    list.DestroyWindow();
}

TEST_F(VistelTest, RemarkEditorHintCountsAsEmpty)
{
    auto edit = Export(VistelExports::EditFrdRemark);
    ASSERT_NE(edit, nullptr);
    std::string hint;
    RunEditor(8009, [&] { edit(20002, kAccount, notify_.m_hWnd, kKey); },
              {[&](CDHtmlDialog* page) {
                   hint = Text(page, "text", DISPID_A_VALUE);
                   return !hint.empty();
               },
               ShotNow("vistel_remark_editor.png"),
               [](CDHtmlDialog* page) {
                   // Submitted untouched.
                   page->InvokeScriptMethod("submitEdit");
                   return true;
               }});
    EXPECT_EQ(hint, "10个字符以内");
    EXPECT_EQ(LastRequest("/api/friend/editFriendRemark.jsp").Param("remark"), "");
    ASSERT_EQ(notify_.reports.size(), 1u);
    EXPECT_EQ(notify_.reports[0].text, "");
}

TEST_F(VistelTest, GroupCardEditReportsUserGroupAndCard)
{
    auto edit = Export(VistelExports::EditGrpCard);
    ASSERT_NE(edit, nullptr);
    // Not a member: refused, nothing reported.
    std::string said;
    RunEditor(8011, [&] { edit(701, 20003, notify_.m_hWnd, kKey); }, {Submit("路人"), Said(&said), Cancel()});
    EXPECT_NE(said.find("失败"), std::string::npos);
    EXPECT_TRUE(notify_.reports.empty());

    RunEditor(8011, [&] { edit(701, 20001, notify_.m_hWnd, kKey); },
              {ShotNow("vistel_group_card_editor.png"), Submit("班长 & #2")});
    const standin::WebRequest posted = LastRequest("/api/group/editGroupUserCard.jsp");
    EXPECT_EQ(posted.Param("group_id"), "701");
    EXPECT_EQ(posted.Param("user_id"), "20001");
    EXPECT_EQ(posted.Param("user_card"), "班长 & #2");
    ASSERT_EQ(notify_.reports.size(), 1u);
    EXPECT_EQ(notify_.reports[0].message, 10026u);
    EXPECT_EQ(notify_.reports[0].id, 20001);
    EXPECT_EQ(notify_.reports[0].gid, 701);
    EXPECT_EQ(notify_.reports[0].text, "班长 & #2");
    standin::SeedGroup g;
    ASSERT_TRUE(data_.Group(701, &g));
    EXPECT_EQ(g.members[1].carte, "班长 & #2");
}

TEST_F(VistelTest, ListCommandsOpenCardsWithTheirOwnModule)
{
    // The lists' hooks as the main window installs them: commands that are
    // not Vistel's still reach the hook installed before.
    std::vector<UINT> passedOn;
    CKivUsersListCtrl::s_pluginCommand = [&](CKivUsersListCtrl*, UINT command, int, const CString&) {
        passedOn.push_back(command);
    };
    CKivGroupListCtrl::s_pluginCommand = nullptr;
    InstallVistelHooks();
    InstallVistelHooks();

    CKivUsersListCtrl list;
    ASSERT_TRUE(list.Create(WS_CHILD | WS_VISIBLE | LVS_REPORT | LVS_SINGLESEL | LVS_OWNERDRAWFIXED | LVS_NOCOLUMNHEADER,
                            CRect(0, 0, 230, 180), &notify_, 1017));
    CKivUsersListCtrl::s_pluginCommand(&list, IDM_VIEW_HISTORY, 20002, "李娜");
    EXPECT_EQ(passedOn, std::vector<UINT>{IDM_VIEW_HISTORY});

    // View info: the friend's card, from the list's own Vistel.
    CKivUsersListCtrl::s_pluginCommand(&list, IDM_VIEW_INFO, 20002, "李娜");
    EXPECT_NE(list.m_hPlugin, nullptr);
    EXPECT_TRUE(lumui::PumpUntil([&] { return Text(Page(8002), "name") == "李娜<b>"; }, 30000));
    EXPECT_EQ(LastRequest("/api/user/getUserInfo.jsp").Param("user_id"), "20002");
    EXPECT_EQ(passedOn.size(), 1u);

    // The group list: view the group's card.
    CKivGroupListCtrl groups;
    ASSERT_TRUE(groups.Create(WS_CHILD | WS_VISIBLE | LVS_REPORT | LVS_SINGLESEL | LVS_OWNERDRAWFIXED |
                                  LVS_NOCOLUMNHEADER,
                              CRect(0, 0, 230, 180), &notify_, 1019));
    EXPECT_TRUE(CKivGroupListCtrl::s_pluginCommand(&groups, IDM_VIEW_GROUP_INFO, 701, "计算机一班", 0));
    EXPECT_NE(groups.m_hPlugin, nullptr);
    EXPECT_TRUE(lumui::PumpUntil([&] { return Text(Page(8002), "gname") == "计算机一班"; }, 30000));
    // Commands of other plug-ins are not Vistel's.
    EXPECT_FALSE(CKivGroupListCtrl::s_pluginCommand(&groups, IDM_EDIT_GROUP_INFO, 701, "计算机一班", 1));

    if (auto exit = Export(PluginExports::ExitInstance)) exit();
    ASSERT_TRUE(uiwait::QueuedWorkDone());
    CKivUsersListCtrl::s_pluginCommand = nullptr;
    CKivGroupListCtrl::s_pluginCommand = nullptr;
    groups.DestroyWindow();
    list.DestroyWindow();
}
