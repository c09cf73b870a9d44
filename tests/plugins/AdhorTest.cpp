// The group-creation plug-in through its exports, against the stand-in web
// API over the seeded service: the create form's checks in their order, a
// created group reported to the main window and the form emptied, a failing
// server, the member step (search, selection of whole ids, passing it on),
// and the invitation sent with its text checks.
#include "Common/records/Data.h"
#include "plugins/Adhor/AdhorExports.h"
#include "plugins/common/PluginFrame.h"
#include "tests/plugins/PluginTestKit.h"
#include "tests/standin/StandinService.h"
#include "tests/standin/WebApi.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

const UINT kGroupCreated = WM_USER + 9101;  // 10125
const UINT kInvitePage = 4012, kSentPage = 4011;
const char* const kKey = "0123456789abcdef0123456789abcdef";

// The main window as far as the plug-in is concerned: it takes created groups.
class MainWindow : public CWnd {
public:
    struct Created {
        int id, isMaster, style;
        std::string name, note;
    };
    std::vector<Created> created;

    LRESULT OnGroupCreated(WPARAM wParam, LPARAM)
    {
        if (const auto* g = reinterpret_cast<const CDataGroup*>(wParam)) {
            const char* name = static_cast<const char*>(g->m_bstrName);
            const char* note = static_cast<const char*>(g->m_bstrSign);
            created.push_back({g->m_nId, g->m_nIsMaster, g->m_nStyle, name ? name : "", note ? note : ""});
        }
        return 0;
    }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(MainWindow, CWnd)
    ON_MESSAGE(kGroupCreated, OnGroupCreated)
END_MESSAGE_MAP()

class AdhorTest : public plugintest::PluginTest {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(OpenProgramFolder());
        std::filesystem::create_directories(dir_.file("www/upload/face"));
        std::filesystem::create_directories(dir_.file("www/upload/group"));
        ASSERT_TRUE(service_.LoadSeedFile(SEED_FILE));
        standin::RegisterAdhorApi(web_, service_);
        ASSERT_TRUE(ServeWeb(web_, dir_.file("www")));
        InstallModule(ADHOR_FILE, "Adhor");
        ASSERT_TRUE(main_.CreateEx(0, nullptr, "main", WS_POPUP, 0, 0, 10, 10, nullptr, 0));
        RecordMessageBoxes();
        ASSERT_TRUE(LoadModule("Adhor"));
    }

    void TearDown() override
    {
        UnloadModule();
        if (main_.m_hWnd) main_.DestroyWindow();
        CloseProgramFolder();
    }

    // The page once the document `marker` names has loaded (its script has
    // that function).
    CDHtmlDialog* WaitForPage(const char* marker)
    {
        CDHtmlDialog* page = nullptr;
        CString kind;
        lumui::PumpUntil(
            [&] {
                page = AnyPage();
                return page && page->InvokeScriptMethod("eval", {CString("typeof ") + marker}, &kind) == S_OK &&
                       kind == "function";
            },
            20000);
        EXPECT_TRUE(uiwait::QueuedWorkDone());
        return page;
    }

    CString Eval(CDHtmlDialog* page, const std::string& script)
    {
        CString result;
        if (page) page->InvokeScriptMethod("eval", {CString(script)}, &result);
        return result;
    }

    bool Shown(CWnd* frame, int id)
    {
        CWnd* button = frame ? frame->GetDlgItem(id) : nullptr;
        return button && button->IsWindowVisible();
    }

    void Press(int id)
    {
        CWnd* frame = ShownFrame();
        ASSERT_NE(frame, nullptr);
        frame->SendMessage(WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0);
    }

    // Fills the create form as typed (hints gone) and submits it.
    void Submit(CDHtmlDialog* page, const std::string& name, const std::string& note)
    {
        Eval(page, "document.getElementById('grpName').value=" + Js(name) + ";document.getElementById('grpNote').value=" +
                       Js(note) + ";submitGrpInfo();");
    }

    static std::string Js(const std::string& text)
    {
        std::string out = "\"";
        for (char c : text) {
            if (c == '"' || c == '\\') out += '\\';
            out += c;
        }
        return out + "\"";
    }

    standin::StandinService service_;
    standin::StandinWeb web_{&service_};
    MainWindow main_;
};

}  // namespace

TEST_F(AdhorTest, CreateFormChecksInOrderThenCreates)
{
    auto show = Export(AdhorExports::Show);
    ASSERT_NE(show, nullptr);
    EXPECT_EQ(show("13800000001", nullptr, main_.m_hWnd, kKey), 0);
    CDHtmlDialog* page = WaitForPage("submitGrpInfo");
    ASSERT_NE(page, nullptr);
    CWnd* frame = ShownFrame();
    ASSERT_NE(frame, nullptr);
    CRect r;
    frame->GetWindowRect(&r);
    EXPECT_EQ(r, CRect(250, 250, 750, 650));
    EXPECT_TRUE(Shown(frame, 4000));
    EXPECT_TRUE(Shown(frame, 4001));
    EXPECT_FALSE(Shown(frame, 4002));
    EXPECT_FALSE(Shown(frame, 4004));
    CString value;
    page->GetElementProperty("hid_userID", DISPID_A_VALUE, value);
    EXPECT_EQ(value, "13800000001");
    page->GetElementProperty("hid_verifyCode", DISPID_A_VALUE, value);
    EXPECT_EQ(value, kKey);
    EXPECT_EQ(Eval(page, "document.getElementById('grpName').maxLength"), "15");
    Shot("adhor_create.png");
    CString caption;
    frame->GetWindowText(caption);
    EXPECT_EQ(caption, "创建群");
    // The caption has the whole width of the frame to be drawn in.
    EXPECT_EQ(static_cast<CPluginFrame*>(frame)->CaptionArea().Width, 500.0f);

    struct Case {
        std::string name, note, alert;
    };
    const std::string longName(16, 'a');
    for (const Case& c : {Case{"", "简介", "群昵称不能为空!"},
                          Case{"#23456789012345a", "简介", "群昵称中不能含有特殊字符!"},  // before the length
                          Case{"a/b", "简介", "群昵称中不能含有特殊字符!"},
                          Case{"请输入不超过15个汉字或字符", "简介", "请填写群昵称!"},
                          Case{longName, "简介", "群昵称不能超过15个字符!"},
                          Case{"球队", "", "群简介不能为空!"},
                          Case{"球队", "请输入50个以内的汉字或字符", "请填写群简介!"},
                          Case{"球队", "a&b", "群简介中不能含有特殊字符!"},
                          Case{"球队", std::string(51, 'x'), "群简介不能超过50个字符!"}}) {
        const size_t before = boxes_.size();
        Submit(page, c.name, c.note);
        ASSERT_TRUE(lumui::PumpUntil([&] { return boxes_.size() > before; }, 5000)) << c.alert;
        EXPECT_EQ(boxes_.back(), c.alert);
    }
    {
        const auto requests = web_.Requests();
        EXPECT_TRUE(std::none_of(requests.begin(), requests.end(),
                                 [](const standin::WebRequest& q) { return q.path == "/api/group/createGroup.jsp"; }));
    }

    // A valid form: created, reported with the owner flag and the chosen
    // type, and the form empty again with the first type chosen.
    Eval(page, "document.querySelectorAll('input[name=grpStyle]')[1].checked=true;");
    Submit(page, "羽毛球<队>", "每周六下午");
    ASSERT_TRUE(BoxSaid("创建成功"));
    // The page reports the group after its box is answered.
    lumui::PumpUntil([&] { return !main_.created.empty(); }, 5000);
    ASSERT_EQ(main_.created.size(), 1u);
    const auto& g = main_.created[0];
    EXPECT_GT(g.id, 0);
    EXPECT_EQ(g.isMaster, 1);
    EXPECT_EQ(g.style, 2);
    EXPECT_EQ(g.name, "羽毛球<队>");
    EXPECT_EQ(g.note, "每周六下午");
    EXPECT_EQ(service_.MemberRole(g.id, 10001), 1);
    EXPECT_EQ(Eval(page, "document.getElementById('grpName').value + '|' + document.getElementById('grpNote').value"),
              "|");
    EXPECT_EQ(Eval(page, "document.querySelectorAll('input[name=grpStyle]')[0].checked"), "true");
    const auto asked = web_.Requests();
    auto it = std::find_if(asked.begin(), asked.end(),
                           [](const standin::WebRequest& q) { return q.path == "/api/group/createGroup.jsp"; });
    ASSERT_NE(it, asked.end());
    EXPECT_EQ(it->Param("phone"), "13800000001");
    EXPECT_EQ(it->Param("group_class"), "其它");
    EXPECT_EQ(it->Param("key"), kKey);

    // The success page of the group: without a head of its own, the
    // default group head.
    Call(page, "ShowAddSucc");
    CDHtmlDialog* success = WaitForPage("loadGrpInfo");
    ASSERT_NE(success, nullptr);
    ASSERT_TRUE(lumui::PumpUntil(
        [&] { return std::string(Eval(success, "document.getElementById('head').src").GetString()).find("default") != std::string::npos; },
        5000));
    EXPECT_EQ(Eval(success, "new URL(document.getElementById('head').src).pathname"), "/upload/group/default.png");
    EXPECT_NE(Text(success, "grpName").find("羽毛球<队>"), std::string::npos);
    EXPECT_TRUE(Shown(frame, 4002));
    EXPECT_FALSE(Shown(frame, 4000));

    // A failing server.
    show("13800000001", nullptr, main_.m_hWnd, kKey);
    page = WaitForPage("submitGrpInfo");
    ASSERT_NE(page, nullptr);
    web_.SetFault("/api/group/createGroup.jsp", standin::WebFault::Status(500));
    Submit(page, "又一个群", "简介");
    ASSERT_TRUE(BoxSaid("创建失败"));
    web_.SetFault("/api/group/createGroup.jsp", standin::WebFault::Malformed("{\"result\":-1}"));
    Submit(page, "又一个群", "简介");
    ASSERT_TRUE(PageRequestsDone(page));
    EXPECT_EQ(boxes_.back(), "创建失败");
    EXPECT_EQ(main_.created.size(), 1u);
}

// Without a main window nothing is sent, and the group is still created.
TEST_F(AdhorTest, NoMainWindowSendsNothing)
{
    auto show = Export(AdhorExports::Show);
    ASSERT_NE(show, nullptr);
    show("13800000001", nullptr, nullptr, kKey);
    CDHtmlDialog* page = WaitForPage("submitGrpInfo");
    ASSERT_NE(page, nullptr);
    Submit(page, "无窗口群", "简介");
    ASSERT_TRUE(BoxSaid("创建成功"));
    ASSERT_TRUE(PageRequestsDone(page));
    EXPECT_TRUE(main_.created.empty());
}

// An invitation the server did not take is said to have failed; the
// invitation page stays for another try.
TEST_F(AdhorTest, AFailedInvitationIsNeverReportedAsSent)
{
    auto addMember = Export(AdhorExports::ShowAddMember);
    ASSERT_NE(addMember, nullptr);
    EXPECT_EQ(addMember("13800000002", 10002, 502, kKey), 0);
    CDHtmlDialog* page = WaitForPage("passSelIDs");
    ASSERT_NE(page, nullptr);
    Eval(page, "key.value='10003';key.classList.remove('hint');search();");
    ASSERT_TRUE(lumui::PumpUntil([&] { return Eval(page, "document.querySelectorAll('.row input').length") == "1"; }, 5000));
    Eval(page, "document.querySelector('.row input').click();");
    Press(4004);
    CDHtmlDialog* invite = WaitForPage("submitInvite");
    ASSERT_NE(invite, nullptr);

    auto says = [&](const char* text) {
        return std::string(Eval(invite, "document.body.innerText").GetString()).find(text) != std::string::npos;
    };
    // The server fails: nothing was sent, and the page says so.
    web_.SetFault("/Chirra_group/add_groupMember_pc", standin::WebFault::Status(500));
    Eval(invite, "msg.value='一起来打球';window.external.ConfirmSubmit();");
    ASSERT_TRUE(BoxSaid("邀请发送失败，请稍后再试！"));
    EXPECT_TRUE(service_.Pending(10003).empty());
    // An answer that the invitation was refused.
    web_.SetFault("/Chirra_group/add_groupMember_pc", standin::WebFault::Malformed("{\"result\":-1}"));
    Eval(invite, "window.external.ConfirmSubmit();");
    ASSERT_TRUE(lumui::PumpUntil([&] { return boxes_.size() >= 2; }, 5000));
    EXPECT_EQ(boxes_.back(), "邀请发送失败，请稍后再试！");
    ASSERT_TRUE(PageRequestsDone(invite));
    EXPECT_FALSE(says("邀请已发出"));
    EXPECT_EQ(Text(invite, "msg", DISPID_A_VALUE), "一起来打球");

    // Taken: the sent tip.
    web_.ClearFaults();
    Eval(invite, "window.external.ConfirmSubmit();");
    ASSERT_TRUE(lumui::PumpUntil([&] { return says("邀请已发出"); }, 5000));
    EXPECT_FALSE(service_.Pending(10003).empty());
}

TEST_F(AdhorTest, MemberStepSearchesSelectsAndInvites)
{
    auto addMember = Export(AdhorExports::ShowAddMember);
    ASSERT_NE(addMember, nullptr);
    // 李娜 (10002) owns group 502.
    EXPECT_EQ(addMember("13800000002", 10002, 502, kKey), 0);
    CDHtmlDialog* page = WaitForPage("passSelIDs");
    ASSERT_NE(page, nullptr);
    CWnd* frame = ShownFrame();
    ASSERT_NE(frame, nullptr);
    for (int id : {4000, 4001, 4002, 4003}) EXPECT_FALSE(Shown(frame, id)) << id;
    for (int id : {4004, 4005, 4006, 4007}) EXPECT_TRUE(Shown(frame, id)) << id;
    ASSERT_TRUE(uiwait::QueuedWorkDone());
    CString caption;
    frame->GetWindowText(caption);
    EXPECT_EQ(caption, "添加成员");
    // Before a search the page shows its four rows, empty.
    EXPECT_EQ(Eval(page, "document.querySelectorAll('.row').length"), "4");
    EXPECT_EQ(Eval(page, "document.querySelectorAll('.row input, .row img.detail').length"), "0");

    // Searching nothing, then a name part and an id.
    Eval(page, "search();");
    ASSERT_TRUE(BoxSaid("请输入有效的ID号!"));
    Eval(page, "key.value='没有这个人';key.classList.remove('hint');search();");
    ASSERT_TRUE(BoxSaid("没有找到你要查询的好友！"));
    EXPECT_EQ(Eval(page, "document.querySelectorAll('.row').length"), "4");
    Eval(page, "key.value='10003';search();");
    ASSERT_TRUE(lumui::PumpUntil([&] { return Eval(page, "document.querySelectorAll('.row').length") == "1"; }, 5000));
    EXPECT_EQ(Eval(page, "document.querySelector('.row .name').textContent"), "王芳");
    const std::vector<standin::WebRequest> searches = Requests("/Chirra_User/get_userList_pc");
    ASSERT_EQ(searches.size(), 2u);
    EXPECT_EQ(searches[0].Param("type"), "1");
    EXPECT_EQ(searches[1].Param("type"), "0");
    EXPECT_EQ(searches[1].Param("param"), "10003");
    EXPECT_EQ(searches[1].Param("max"), "4");
    EXPECT_EQ(searches[1].Param("toPage"), "1");
    Shot("adhor_members.png");

    // Whole ids only: 11 selected does not select 1.
    EXPECT_EQ(Eval(page, "selection='';select('11',true);isSelected('1')"), "false");
    EXPECT_EQ(Eval(page, "select('1',true);select('11',false);selection"), "1;");
    Eval(page, "selection='';");
    Press(4004);
    ASSERT_TRUE(BoxSaid("请选择用户"));

    // Pass the selection: the invitation frame replaces the group frame.
    Eval(page, "document.querySelector('.row input').click();");
    EXPECT_EQ(Eval(page, "selection"), "10003;");
    Press(4004);
    CDHtmlDialog* invite = WaitForPage("submitInvite");
    ASSERT_NE(invite, nullptr);
    EXPECT_EQ(invite->m_nHtmlResID, kInvitePage);
    ASSERT_TRUE(lumui::PumpUntil([&] { return !::IsWindow(frame->m_hWnd) || !frame->IsWindowVisible(); }, 5000));
    Shot("adhor_invite.png");

    Eval(invite, "window.external.ConfirmSubmit();");
    ASSERT_TRUE(BoxSaid("请输入邀请语！"));
    Eval(invite, "msg.value='" + std::string(21, 'x') + "';window.external.ConfirmSubmit();");
    ASSERT_TRUE(BoxSaid("邀请语长度大于20个字符！"));
    Eval(invite, "msg.value='一起来打球';window.external.ConfirmSubmit();");
    ASSERT_TRUE(lumui::PumpUntil([&] { return invite->m_nHtmlResID == kSentPage || service_.Pending(10003).size() == 1; },
                                 5000));
    ASSERT_TRUE(lumui::PumpUntil([&] { return service_.Pending(10003).size() == 1; }, 5000));
    const auto pending = service_.Pending(10003);
    EXPECT_EQ(pending[0].gid, 502);
    EXPECT_EQ(pending[0].fromid, 10002);
    Shot("adhor_sent.png");
}
