// The own-profile plug-in through its export, against the stand-in web
// server over the stand-in service: the profile loads into the form, an edit
// counts as saved only on the server's success reply (and then reaches the
// own record, the main window and the service), every other reply keeps the
// old values; the head-photo window uploads through the server's page with a
// file chosen as a person chooses it, and the own head is replaced only by a
// head that the server took and that decodes.
#include "Common/records/Data.h"
#include "Common/stores/FileDbSys.h"
#include "platform/gdiplus.h"
#include "plugins/Mievo/MievoExports.h"
#include "plugins/Vistel/VistelExports.h"
#include "tests/plugins/PluginTestKit.h"
#include "tests/standin/StandinService.h"
#include "tests/standin/WebApi.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

const int kOwnId = 10001;
const char* const kAccount = "13800000001";
const char* const kVerifyCode = "0123456789abcdef0123456789abcdef";
const UINT kOwnHeadChanged = 10035, kOwnInfoChanged = 10036;

// The main window as the plug-in sees it: it records what it is told, with
// the own record's name at the time.
class MainWindow : public CWnd {
public:
    struct Told {
        UINT message;
        WPARAM w;
        LPARAM l;
        std::string name;
    };
    std::vector<Told> told;
    CDataUser* own = nullptr;

    LRESULT WindowProc(UINT message, WPARAM w, LPARAM l) override
    {
        if (message == kOwnHeadChanged || message == kOwnInfoChanged) {
            told.push_back({message, w, l, own ? static_cast<const char*>(own->m_bstrName) : ""});
            return 0;
        }
        return CWnd::WindowProc(message, w, l);
    }
};

using plugintest::ReadFile;

class MievoTest : public plugintest::PluginTest {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(OpenProgramFolder());
        ASSERT_TRUE(service_.LoadSeedFile(STANDIN_SEED_FILE));
        standin::RegisterWebApi(web_, service_);
        ASSERT_TRUE(ServeWeb(web_, STANDIN_WWW));
        InstallModule(MIEVO_FILE, "Mievo");
        ASSERT_EQ(sys_.Connect(), 1);
        own_.m_nId = kOwnId;
        own_.m_strPhone = kAccount;
        own_.m_bstrName = "张伟";
        own_.m_bstrSign = "好好学习，天天向上";
        ASSERT_TRUE(main_.CreateEx(0, nullptr, "main", WS_POPUP, 0, 0, 10, 10, nullptr, 0));
        main_.own = &own_;
        RecordMessageBoxes();
        AnswerFileDialogs(&chosen_);
        ASSERT_TRUE(LoadModule("Mievo"));
    }

    void TearDown() override
    {
        UnloadModule();
        if (main_.m_hWnd) main_.DestroyWindow();
        CloseProgramFolder();
    }

    // Opens the profile window and waits for the form to fill.
    CDHtmlDialog* ShowProfile()
    {
        auto show = Export(MievoExports::Show);
        EXPECT_NE(show, nullptr);
        if (!show) return nullptr;
        EXPECT_EQ(show(&sys_, &own_, main_.m_hWnd, kVerifyCode), 0);
        CDHtmlDialog* page = nullptr;
        EXPECT_TRUE(lumui::PumpUntil(
            [&] {
                page = Page(3003);
                return page && Value(page, "name") != "";
            },
            20000));
        EXPECT_TRUE(uiwait::QueuedWorkDone());
        return page;
    }

    std::string ServiceName() const
    {
        standin::SeedUser u;
        service_.User(kOwnId, &u);
        return u.name;
    }

    // One pixel of the own record's head.
    Gdiplus::ARGB HeadPixel(int x, int y) const
    {
        Gdiplus::Color c;
        if (!own_.m_imgHead) return 0;
        own_.m_imgHead->GetPixel(x, y, &c);
        return c.GetValue();
    }

    standin::StandinService service_;
    standin::StandinWeb web_{&service_};
    CFileDbSys sys_;
    CDataUser own_;
    MainWindow main_;
    std::string chosen_;
};

}  // namespace

TEST_F(MievoTest, LoadsTheProfileAndSavesItOnlyOnTheServersSuccess)
{
    CDHtmlDialog* page = ShowProfile();
    ASSERT_NE(page, nullptr);
    CWnd* frame = Frame("我的资料");
    ASSERT_NE(frame, nullptr);
    CRect r;
    frame->GetWindowRect(&r);
    EXPECT_EQ(r, CRect(250, 250, 750, 650));

    // The form as the server has it.
    EXPECT_EQ(Value(page, "userid"), "10001");
    EXPECT_EQ(Value(page, "phone"), kAccount);
    EXPECT_EQ(Value(page, "name"), "张伟");
    EXPECT_EQ(Value(page, "note"), "好好学习，天天向上");
    EXPECT_EQ(Value(page, "sex"), "男");
    EXPECT_EQ(Value(page, "email"), "zhangwei@example.edu");
    EXPECT_EQ(Value(page, "province"), "河南省");
    EXPECT_EQ(Value(page, "year") + "-" + Value(page, "month") + "-" + Value(page, "day"), "1992-03-14");
    EXPECT_EQ(Text(page, "animal"), "猴");
    EXPECT_EQ(Text(page, "sign"), "双鱼");
    Shot("mievo_profile.png");

    // Failures keep the old values: the own record, the main window and the
    // service hear nothing, and the form can be saved again later.
    page->SetElementValue("name", "王小明");
    page->SetElementValue("note", "新的签名 <b>加油<b>");
    const std::string path = "/api/user/updateUserInfo.jsp";
    // An error status, then answers other than the success reply (the
    // path answers them in place of the server's own handler).
    web_.SetFault(path, standin::WebFault::Status(500));
    page->InvokeScriptMethod("submitChange", {"1"});
    ASSERT_EQ(WaitBoxes(1).back(), "修改失败!");
    web_.ClearFaults();
    const std::vector<std::pair<std::string, std::string>> failures = {
        {"fail", "修改失败!"},
        {"{\"result\":3}", "修改失败!"},
        {"<html>oops</html>", "修改失败!"},
        {"0", "修改失败!"},
        {"denied", "您无法使用该功能!"},
    };
    size_t expected = 1;
    for (const auto& failure : failures) {
        const std::string body = failure.first;
        web_.Handle("POST", path, [body](const standin::WebRequest&) { return standin::WebReply::Text(body); });
        page->InvokeScriptMethod("submitChange", {"1"});
        ASSERT_EQ(WaitBoxes(++expected).back(), failure.second) << body;
    }
    standin::RegisterMievoApi(web_, service_);
    EXPECT_EQ(RequestCount(path), failures.size() + 1);
    EXPECT_EQ(static_cast<const char*>(own_.m_bstrName), std::string("张伟"));
    EXPECT_TRUE(main_.told.empty());
    EXPECT_EQ(ServiceName(), "张伟");

    // The reply the page waits for: Apply saves and keeps the window.
    page->InvokeScriptMethod("submitChange", {"1"});
    ASSERT_EQ(WaitBoxes(++expected).back(), "修改成功!");
    lumui::PumpUntil([&] { return !main_.told.empty(); });
    const standin::WebRequest post = LastRequest(path);
    EXPECT_EQ(post.Param("userID"), "10001");
    EXPECT_EQ(post.Param("phone"), kAccount);
    EXPECT_EQ(post.Param("key"), kVerifyCode);
    EXPECT_EQ(post.Param("name"), "王小明");
    EXPECT_EQ(post.Param("note"), "新的签名 <b>加油<b>");
    EXPECT_EQ(post.Param("birthday"), "1992-03-14");
    EXPECT_EQ(post.Param("gender"), "男");
    EXPECT_EQ(ServiceName(), "王小明");
    EXPECT_EQ(static_cast<const char*>(own_.m_bstrName), std::string("王小明"));
    EXPECT_EQ(static_cast<const char*>(own_.m_bstrSign), std::string("新的签名 <b>加油<b>"));
    ASSERT_EQ(main_.told.size(), 1u);
    EXPECT_EQ(main_.told[0].message, kOwnInfoChanged);
    EXPECT_EQ(main_.told[0].w, reinterpret_cast<WPARAM>(&own_));
    EXPECT_EQ(main_.told[0].name, "王小明");
    EXPECT_NE(Frame("我的资料"), nullptr);

    // Now unchanged: OK closes without asking the server again.
    page->InvokeScriptMethod("submitChange", {"0"});
    EXPECT_TRUE(lumui::PumpUntil([&] { return Frame("我的资料") == nullptr; }));
    EXPECT_EQ(RequestCount(path), failures.size() + 2);
}

TEST_F(MievoTest, AnAnswerThatDoesNotComeInTimeIsAFailure)
{
    CDHtmlDialog* page = ShowProfile();
    ASSERT_NE(page, nullptr);
    web_.SetFault("/api/user/updateUserInfo.jsp", standin::WebFault::Timeout(30000));
    page->SetElementValue("name", "王小明");
    page->InvokeScriptMethod("submitChange", {"0"});
    EXPECT_EQ(WaitBoxes(1, 25000).back(), "修改失败!");
    EXPECT_EQ(static_cast<const char*>(own_.m_bstrName), std::string("张伟"));
    EXPECT_TRUE(main_.told.empty());
    // The window stays for another try.
    EXPECT_NE(Frame("我的资料"), nullptr);
}

TEST_F(MievoTest, ChecksTheFormAndPadsTheBirthday)
{
    CDHtmlDialog* page = ShowProfile();
    ASSERT_NE(page, nullptr);
    const std::string path = "/api/user/updateUserInfo.jsp";

    // Refused before any request.
    page->SetElementValue("name", "张#伟");
    page->InvokeScriptMethod("submitChange", {"0"});
    EXPECT_EQ(WaitBoxes(1).back(), "昵称中不能含有特殊字符!");
    page->SetElementValue("name", "");
    page->InvokeScriptMethod("submitChange", {"0"});
    EXPECT_EQ(WaitBoxes(2).back(), "用户名不能为空!");
    page->SetElementValue("name", "张伟");
    page->SetElementValue("email", "not-an-address");
    page->InvokeScriptMethod("submitChange", {"0"});
    EXPECT_EQ(WaitBoxes(3).back(), "请输入有效的E_mail地址!");
    page->SetElementValue("email", "zhangwei@example.edu");
    page->SetElementValue("sex", "未知");
    page->InvokeScriptMethod("submitChange", {"0"});
    EXPECT_EQ(WaitBoxes(4).back(), "性别输入有误!");
    page->SetElementValue("sex", "男");
    EXPECT_EQ(RequestCount(path), 0u);

    // 1990, 5, 1 goes as 1990-05-01.
    page->SetElementValue("year", "1990");
    page->SetElementValue("month", "5");
    page->SetElementValue("day", "1");
    page->InvokeScriptMethod("submitChange", {"0"});
    EXPECT_EQ(WaitBoxes(5).back(), "修改成功!");
    EXPECT_EQ(LastRequest(path).Param("birthday"), "1990-05-01");
    // OK closes after the save.
    EXPECT_TRUE(lumui::PumpUntil([&] { return Frame("我的资料") == nullptr; }));
    standin::SeedUser u;
    service_.User(kOwnId, &u);
    EXPECT_EQ(u.birthday, "1990-05-01");
}

// Interests ticked by name in the profile are the interests the card shows
// under those names, to the user and to everyone else.
TEST_F(MievoTest, InterestsTickedInTheProfileShowOnTheCard)
{
    CDHtmlDialog* page = ShowProfile();
    ASSERT_NE(page, nullptr);
    const char* const ticked = "['上网', '摄影', '其他']";
    CString found;
    page->InvokeScriptMethod(
        "eval",
        {CString((std::string("(function(){var n=0,want=") + ticked +
                  ";var labels=document.querySelectorAll('#interests label');"
                  "for(var i=0;i<labels.length;i++){var box=labels[i].querySelector('input');"
                  "box.checked=want.indexOf(labels[i].textContent)>=0;if(box.checked)n++;}return n;})()")
                     .c_str())},
        &found);
    ASSERT_EQ(found, "3");
    page->InvokeScriptMethod("submitChange", {"0"});
    ASSERT_EQ(WaitBoxes(1).back(), "修改成功!");

    // The card of the user, as another user opens it.
    InstallModule(VISTEL_FILE, "Vistel");
    HMODULE vistel = LoadLibrary("Vistel.dll");
    ASSERT_NE(vistel, nullptr);
    auto card = PluginExport(vistel, VistelExports::Show);
    ASSERT_NE(card, nullptr);
    card(2, kOwnId, 10002, "13800000002", nullptr, kVerifyCode);
    CDHtmlDialog* shown = nullptr;
    EXPECT_TRUE(lumui::PumpUntil(
        [&] {
            for (HWND hwnd : GetModuleWindows(vistel))
                if (auto* p = dynamic_cast<CDHtmlDialog*>(CWnd::FromHandle(hwnd)))
                    if (p->m_hWnd && p->m_nHtmlResID == 8002 && Text(p, "loaded", DISPID_A_VALUE) == "1") shown = p;
            return shown != nullptr;
        },
        30000));
    EXPECT_EQ(Text(shown, "interests"), "上网,摄影,其他");
    Shot("mievo_interests_card.png");
    if (auto exit = PluginExport(vistel, PluginExports::ExitInstance)) exit();
    EXPECT_TRUE(uiwait::QueuedWorkDone());
    FreeLibrary(vistel);
}

TEST_F(MievoTest, ServerTextsAreShownAsTextNeverRun)
{
    standin::SeedUser hostile;
    service_.User(kOwnId, &hostile);
    hostile.name = "<img src=x onerror=alert(1)>";
    hostile.note = "\"><script>alert(2)</script>";
    hostile.email = "'); alert(3); ('";
    ASSERT_TRUE(service_.UpdateUserProfile(kOwnId, hostile));
    CDHtmlDialog* page = ShowProfile();
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(Value(page, "note"), hostile.note);
    EXPECT_EQ(Value(page, "email"), hostile.email);
    // The name input holds at most 10 characters.
    EXPECT_EQ(Value(page, "name"), hostile.name.substr(0, 10));
    ASSERT_TRUE(PageRequestsDone(page));
    EXPECT_TRUE(boxes_.empty()) << boxes_.front();
}

TEST_F(MievoTest, HeadUploadReplacesTheHeadOnlyWhenTheServerTookAWholeImage)
{
    CDHtmlDialog* profile = ShowProfile();
    ASSERT_NE(profile, nullptr);
    // The head shown before: the seed's own head.
    ASSERT_EQ(own_.UpdateHead((dir_.path() + "/").c_str()), 1);
    const Gdiplus::ARGB before = HeadPixel(20, 20);

    // Files a person might choose: a whole image of another look, one
    // larger than the server takes, one that is no image.
    const std::string good = dir_.file("new-head.png");
    std::filesystem::copy_file(std::string(STANDIN_WWW) + "/upload/face/10004.png", good);
    const std::string large = dir_.file("large.png");
    std::ofstream(large, std::ios::binary) << ReadFile(good) << std::string(1100 * 1024, '\0');
    const std::string broken = dir_.file("broken.png");
    std::ofstream(broken, std::ios::binary) << ReadFile(good).substr(0, 60);

    Call(profile, "OpenDlgHeadPhoto");
    ASSERT_TRUE(lumui::PumpUntil([&] { return Frame("更换头像") != nullptr; }));
    CDHtmlDialog* upload = nullptr;
    ASSERT_TRUE(lumui::PumpUntil(
        [&] {
            upload = Page(3005);
            return upload && Value(upload, "hid_userID") == kAccount;
        },
        20000));

    // Each file is chosen through the page's file input, then sent once
    // the input holds it.
    auto send = [&](const std::string& file, size_t boxes) {
        chosen_ = file;
        if (!ClickElement(upload, "#file_headPhoto")) return std::string("no file input");
        const std::string name = std::filesystem::path(file).filename().string();
        if (!lumui::PumpUntil([&] {
                CString held;
                upload->InvokeScriptMethod(
                    "eval", {"(function(f){return f.files.length ? f.files[0].name : '';})(document.getElementById('file_headPhoto'))"},
                    &held);
                return held == name.c_str();
            }))
            return std::string("the input did not take the file");
        if (!ClickElement(upload, "#btnUpload")) return std::string("no upload button");
        const std::vector<std::string> shown = WaitBoxes(boxes);
        return shown.size() >= boxes ? shown[boxes - 1] : std::string("no box");
    };
    EXPECT_EQ(send(large, 1), "图片大小不能超过1M!");
    EXPECT_EQ(send(broken, 2), "图片无法识别，头像未更换!");
    Shot("mievo_head_refused.png");
    // Nothing changed: the server still serves the old head, the record
    // and the main window were not touched.
    EXPECT_TRUE(main_.told.empty());
    EXPECT_EQ(HeadPixel(20, 20), before);
    EXPECT_NE(Frame("更换头像"), nullptr);

    EXPECT_EQ(send(good, 3), "头像修改成功!");
    ASSERT_TRUE(lumui::PumpUntil([&] { return main_.told.size() >= 1 && Frame("更换头像") == nullptr; }, 10000));
    const standin::WebRequest sent = LastRequest("/Chirra_User/uploadHeadPhoto_pc");
    EXPECT_EQ(sent.Param("hid_userID"), kAccount);
    EXPECT_EQ(sent.files.at("file_headPhoto"), ReadFile(good));
    // The new head is the record's, stored, and the main window redraws it.
    EXPECT_NE(HeadPixel(20, 20), before);
    ASSERT_EQ(main_.told.size(), 1u);
    EXPECT_EQ(main_.told[0].message, kOwnHeadChanged);
    EXPECT_EQ(main_.told[0].l, 1);
    CDataUser stored;
    EXPECT_EQ(sys_.GetLoginer(kAccount, &stored), 1);
    Shot("mievo_head_taken.png");
}

TEST_F(MievoTest, AHeadThatDoesNotDecodeNeverReplacesTheStoredOne)
{
    CDHtmlDialog* profile = ShowProfile();
    ASSERT_NE(profile, nullptr);
    ASSERT_EQ(own_.UpdateHead((dir_.path() + "/").c_str()), 1);
    const Gdiplus::ARGB before = HeadPixel(20, 20);
    Call(profile, "OpenDlgHeadPhoto");
    CDHtmlDialog* upload = nullptr;
    ASSERT_TRUE(lumui::PumpUntil(
        [&] {
            upload = Page(3005);
            return upload && Value(upload, "hid_userID") == kAccount;
        },
        20000));

    // The server says it took a head but serves bytes that are no image.
    web_.SetFault("/upload/face/10001.png", standin::WebFault::Malformed("not a picture"));
    Call(upload, "ConfirmHeadChg");
    EXPECT_EQ(WaitBoxes(1).back(), "新头像无法读取，仍使用原来的头像!");
    EXPECT_EQ(HeadPixel(20, 20), before);
    // The main window is not told to redraw a head; the window closes.
    for (const auto& t : main_.told) EXPECT_NE(t.l, 1);
    EXPECT_TRUE(lumui::PumpUntil([&] { return Frame("更换头像") == nullptr; }));
    CDataUser stored;
    EXPECT_EQ(sys_.GetLoginer(kAccount, &stored), 0);
}
