// The group information editor through its export, against the stand-in web
// server over the stand-in service: the owner's edits count only on the
// server's success reply and then reach the window to notify and the
// service; every other reply keeps the old values and shows its text; a
// member who does not own the group edits only the card and the SMS choice
// and is refused by the server otherwise; the group photo is chosen as a
// person chooses it and refused, before any upload, when it is too large or
// does not decode.
#include "Common/records/Data.h"
#include "plugins/Clanor/ClanorExports.h"
#include "tests/plugins/PluginTestKit.h"
#include "tests/standin/StandinService.h"
#include "tests/standin/WebApi.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

const int kGid = 502;  // owned by 10002, 10001 a member
const char* const kVerifyCode = "0123456789abcdef0123456789abcdef";
const UINT kGroupCardChanged = 10026, kGroupHeadChanged = 10028, kGroupInfoChanged = 10225;
const char* const kInfoPath = "/api/group/editGroupInfo.jsp";
const char* const kSettingsPath = "/Chirra_group/edit_groupInfo_pc";
const char* const kPhotoPath = "/Chirra_group/upload_groupPhoto_pc/form_headPhoto";
const UINT kPage = 6002;
const char* const kCaption = "群设置-Kiv群组";

// The group list as the plug-in sees it: what it was told, copied while
// the record was valid.
class GroupList : public CWnd {
public:
    struct Told {
        UINT message;
        int id = 0, groupId = 0, style = 0;
        std::string name, note, remark;
    };
    std::vector<Told> told;

    LRESULT WindowProc(UINT message, WPARAM w, LPARAM l) override
    {
        Told t;
        t.message = message;
        if (message == kGroupInfoChanged) {
            const auto* g = reinterpret_cast<const CDataGroup*>(w);
            t.id = g->m_nId;
            t.style = g->m_nStyle;
            t.name = static_cast<const char*>(g->m_bstrName);
            t.note = static_cast<const char*>(g->m_bstrSign);
        } else if (message == kGroupCardChanged) {
            const auto* u = reinterpret_cast<const CDataUser*>(w);
            t.id = u->m_nId;
            t.groupId = u->m_nGroupId;
            t.remark = u->m_strRemark.GetString();
        } else if (message == kGroupHeadChanged) {
            t.id = static_cast<int>(w);
        } else {
            return CWnd::WindowProc(message, w, l);
        }
        told.push_back(t);
        return 0;
    }
};

using plugintest::ReadFile;

class ClanorTest : public plugintest::PluginTest {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(OpenProgramFolder());
        ASSERT_TRUE(service_.LoadSeedFile(STANDIN_SEED_FILE));
        standin::RegisterWebApi(web_, service_);
        ASSERT_TRUE(ServeWeb(web_, STANDIN_WWW));
        InstallModule(CLANOR_FILE, "Clanor");
        ASSERT_TRUE(list_.CreateEx(0, nullptr, "groups", WS_POPUP, 0, 0, 10, 10, nullptr, 0));
        RecordMessageBoxes();
        AnswerFileDialogs(&chosen_);
        ASSERT_TRUE(LoadModule("Clanor"));
    }

    void TearDown() override
    {
        UnloadModule();
        if (list_.m_hWnd) list_.DestroyWindow();
        CloseProgramFolder();
    }

    // Opens the page of group 502 for a user and waits for it to fill.
    CDHtmlDialog* Show(int uid, const char* account, int isMaster)
    {
        auto show = Export(ClanorExports::Show);
        EXPECT_NE(show, nullptr);
        if (!show) return nullptr;
        EXPECT_EQ(show(uid, account, kGid, isMaster, nullptr, list_.m_hWnd, kVerifyCode), 0);
        CDHtmlDialog* page = nullptr;
        EXPECT_TRUE(lumui::PumpUntil(
            [&] {
                page = Page(kPage);
                return page && Value(page, "grpMaster") != "";
            },
            20000));
        EXPECT_TRUE(uiwait::QueuedWorkDone());
        return page;
    }

    // Runs a page function (the frame's buttons do the same) and waits
    // until its answers have arrived and been handled.
    void Run(CDHtmlDialog* page, const char* function)
    {
        page->InvokeScriptMethod(function);
        EXPECT_TRUE(PageRequestsDone(page));
    }

    standin::SeedGroup Group() const
    {
        standin::SeedGroup g;
        service_.Group(kGid, &g);
        return g;
    }

    standin::StandinService service_;
    standin::StandinWeb web_{&service_};
    GroupList list_;
    std::string chosen_;
};

}  // namespace

TEST_F(ClanorTest, TheOwnersEditCountsOnlyOnTheServersSuccess)
{
    CDHtmlDialog* page = Show(10002, "13800000002", 1);
    ASSERT_NE(page, nullptr);
    CWnd* frame = Frame(kCaption);
    ASSERT_NE(frame, nullptr);
    CRect r;
    frame->GetWindowRect(&r);
    EXPECT_EQ(r, CRect(250, 250, 750, 650));
    EXPECT_EQ(Value(page, "grpNumber"), "502");
    EXPECT_EQ(Value(page, "grpName"), "羽毛球爱好者");
    EXPECT_EQ(Value(page, "grpMaster"), "李娜(10002)");
    EXPECT_EQ(Value(page, "grpNote"), "每周六下午体育馆");
    EXPECT_EQ(Value(page, "userCard"), "娜娜");
    Shot("clanor_owner.png");

    // Nothing changed: "应用" asks nothing.
    Run(page, "submitCurChange");
    EXPECT_EQ(RequestCount(kInfoPath), 0u);

    // Checked before any request.
    page->SetElementValue("grpName", "羽毛球#俱乐部");
    Run(page, "submitCurChange");
    EXPECT_EQ(WaitBoxes(1).back(), "群昵称中不能含有特殊字符!");
    page->SetElementValue("grpName", "");
    Run(page, "submitAllChange");
    EXPECT_EQ(WaitBoxes(2).back(), "群昵称不能为空!");
    page->SetElementValue("grpName", "羽毛球俱乐部");
    page->SetElementValue("grpNote", "周六 <b>体育馆</b>");
    Run(page, "submitCurChange");
    EXPECT_EQ(WaitBoxes(3).back(), "群简介中不能含有特殊字符!");
    EXPECT_EQ(RequestCount(kInfoPath), 0u);
    page->SetElementValue("grpNote", "每周六下午 <b>体育馆<b>");

    // Other replies: their texts, and the list and the service hear nothing.
    web_.SetFault(kInfoPath, standin::WebFault::Status(503));
    Run(page, "submitCurChange");
    EXPECT_EQ(WaitBoxes(4).back(), "操作失败，请稍后再试!");
    web_.ClearFaults();
    const std::vector<std::pair<std::string, std::string>> replies = {
        {"-1", "当前群成员数大于300,无法设置为互动群!"},
        {"denied", "您无法使用该功能!"},
        {"fail", "操作失败，请稍后再试!"},
        {"{\"result\":0}", "操作失败，请稍后再试!"},
    };
    size_t expected = 4;
    for (const auto& reply : replies) {
        const std::string body = reply.first;
        web_.Handle("POST", kInfoPath, [body](const standin::WebRequest&) { return standin::WebReply::Text(body); });
        Run(page, "submitCurChange");
        ASSERT_EQ(WaitBoxes(++expected).back(), reply.second) << body;
    }
    // "确定" takes only JSON result 0.
    web_.Handle("POST", kInfoPath, [](const standin::WebRequest&) { return standin::WebReply::Text("0"); });
    Run(page, "submitAllChange");
    EXPECT_EQ(WaitBoxes(++expected).back(), "操作失败，请稍后再试!");
    EXPECT_TRUE(list_.told.empty());
    EXPECT_EQ(Group().name, "羽毛球爱好者");
    EXPECT_NE(Frame(kCaption), nullptr);
    standin::RegisterClanorApi(web_, service_);

    // "应用": the server takes it; the list hears of it; the window stays.
    Run(page, "submitCurChange");
    ASSERT_TRUE(lumui::PumpUntil([&] { return !list_.told.empty(); }));
    const standin::WebRequest post = LastRequest(kInfoPath);
    EXPECT_EQ(post.Param("type"), "1");
    EXPECT_EQ(post.Param("group_id"), "502");
    EXPECT_EQ(post.Param("name"), "羽毛球俱乐部");
    EXPECT_EQ(post.Param("grpStyle"), "2");
    EXPECT_EQ(post.Param("grpClass"), "其它");
    EXPECT_EQ(post.Param("verifyCode"), kVerifyCode);
    EXPECT_EQ(post.Param("phone"), "13800000002");
    ASSERT_EQ(list_.told.size(), 1u);
    EXPECT_EQ(list_.told[0].message, kGroupInfoChanged);
    EXPECT_EQ(list_.told[0].id, kGid);
    EXPECT_EQ(list_.told[0].name, "羽毛球俱乐部");
    EXPECT_EQ(list_.told[0].style, 2);
    EXPECT_EQ(list_.told[0].note, "每周六下午 <b>体育馆<b>");
    EXPECT_EQ(Group().name, "羽毛球俱乐部");
    EXPECT_EQ(Group().note, "每周六下午 <b>体育馆<b>");
    EXPECT_NE(Frame(kCaption), nullptr);
    EXPECT_EQ(boxes_.size(), expected);

    // "确定" with a new type: saved through its own form, then the window closes.
    page->InvokeScriptMethod("check", {"grpStyle", "1"});
    Run(page, "submitAllChange");
    ASSERT_TRUE(lumui::PumpUntil([&] { return Frame(kCaption) == nullptr; }));
    EXPECT_EQ(LastRequest(kInfoPath).Param("style"), "1");
    EXPECT_EQ(LastRequest(kInfoPath).Param("key"), kVerifyCode);
    ASSERT_EQ(list_.told.size(), 2u);
    EXPECT_EQ(list_.told[1].style, 1);
    EXPECT_EQ(Group().style, 1);
}

TEST_F(ClanorTest, UnchangedOkClosesWithoutARequest)
{
    CDHtmlDialog* page = Show(10002, "13800000002", 1);
    ASSERT_NE(page, nullptr);
    Run(page, "submitAllChange");
    EXPECT_TRUE(lumui::PumpUntil([&] { return Frame(kCaption) == nullptr; }));
    EXPECT_EQ(RequestCount(kInfoPath) + RequestCount(kSettingsPath), 0u);
    EXPECT_TRUE(list_.told.empty());
}

TEST_F(ClanorTest, AMemberChangesOnlyTheCardAndIsRefusedTheRest)
{
    CDHtmlDialog* page = Show(10001, "13800000001", 0);
    ASSERT_NE(page, nullptr);
    // The photo cannot be changed by a member.
    CRect pick;
    EXPECT_TRUE(lumui::PageElementScreenRect(page, "#photoPick", &pick));
    EXPECT_TRUE(pick.IsRectEmpty());
    Shot("clanor_member.png");

    // The card and the SMS choice on the settings tab.
    page->InvokeScriptMethod("showTab", {"setting"});
    page->SetElementValue("userCard", "羽球新手");
    page->InvokeScriptMethod("check", {"isBother", "1"});
    Shot("clanor_settings.png");
    Run(page, "submitCurChange");
    ASSERT_TRUE(lumui::PumpUntil([&] { return !list_.told.empty(); }));
    const standin::WebRequest post = LastRequest(kSettingsPath);
    EXPECT_EQ(post.Param("type"), "2");
    EXPECT_EQ(post.Param("userCard"), "羽球新手");
    EXPECT_EQ(post.Param("isBother"), "1");
    EXPECT_EQ(post.Param("userPhone"), "13800000001");
    EXPECT_EQ(post.Param("grpID"), "502");
    ASSERT_EQ(list_.told.size(), 1u);
    EXPECT_EQ(list_.told[0].message, kGroupCardChanged);
    EXPECT_EQ(list_.told[0].id, kGid);
    EXPECT_EQ(list_.told[0].groupId, kGid);
    EXPECT_EQ(list_.told[0].remark, "羽球新手");
    bool carded = false;
    for (const auto& m : Group().members)
        if (m.uid == 10001) carded = m.carte == "羽球新手";
    EXPECT_TRUE(carded);
    EXPECT_TRUE(boxes_.empty());

    // A page opened with a stale owner flag lets the member type; the server
    // refuses the information all the same.
    CDHtmlDialog* again = Show(10001, "13800000001", 1);
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(Value(again, "userCard"), "羽球新手");
    again->SetElementValue("grpName", "不是我的群");
    Run(again, "submitAllChange");
    EXPECT_EQ(WaitBoxes(1).back(), "您无法使用该功能!");
    EXPECT_EQ(Group().name, "羽毛球爱好者");
    EXPECT_EQ(list_.told.size(), 1u);
    EXPECT_NE(Frame(kCaption), nullptr);
}

TEST_F(ClanorTest, APhotoIsCheckedBeforeItGoesAndReplacedOnlyWhenTaken)
{
    CDHtmlDialog* page = Show(10002, "13800000002", 1);
    ASSERT_NE(page, nullptr);
    const std::string good = dir_.file("photo.PNG");
    std::filesystem::copy_file(std::string(STANDIN_WWW) + "/upload/face/10004.png", good);
    const std::string large = dir_.file("large.png");
    std::ofstream(large, std::ios::binary) << ReadFile(good) << std::string(1100 * 1024, '\0');
    const std::string broken = dir_.file("broken.jpg");
    std::ofstream(broken, std::ios::binary) << "\xFF\xD8\xFF\xE0 this is not a picture";
    const std::string text = dir_.file("notes.txt");
    std::ofstream(text) << "hello";

    auto choose = [&](const std::string& file, size_t boxes) {
        chosen_ = file;
        if (!ClickElement(page, "#file_headPhoto")) return std::string("no file input");
        const std::vector<std::string> shown = WaitBoxes(boxes);
        return shown.size() >= boxes ? shown[boxes - 1] : std::string("no box");
    };
    EXPECT_EQ(choose(text, 1), "文件格式不正确 !");
    EXPECT_EQ(choose(large, 2), "图片大小不能超过1M!");
    EXPECT_EQ(choose(broken, 3), "图片无法识别,请选择有效的图片文件!");
    EXPECT_EQ(RequestCount(kPhotoPath), 0u);
    EXPECT_TRUE(list_.told.empty());

    // The server's own refusals, should a file get past the page.
    web_.SetFault(kPhotoPath, standin::WebFault::Malformed("photoFail"));
    EXPECT_EQ(choose(good, 4), "头像上传失败!");
    web_.SetFault(kPhotoPath, standin::WebFault::Malformed("oversize"));
    EXPECT_EQ(choose(good, 5), "图片大小不能超过1M!");
    web_.ClearFaults();
    EXPECT_TRUE(list_.told.empty());

    EXPECT_EQ(choose(good, 6), "头像修改成功!");
    ASSERT_TRUE(lumui::PumpUntil([&] { return !list_.told.empty(); }));
    const standin::WebRequest sent = LastRequest(kPhotoPath);
    EXPECT_EQ(sent.Param("hid_grpID"), "502");
    EXPECT_EQ(sent.files.at("file_headPhoto"), ReadFile(good));
    ASSERT_EQ(list_.told.size(), 1u);
    EXPECT_EQ(list_.told[0].message, kGroupHeadChanged);
    EXPECT_EQ(list_.told[0].id, kGid);
    Shot("clanor_photo.png");
}
