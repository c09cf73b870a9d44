// The member-import window: the tree page, the spreadsheet import view with
// its states against the stand-in service, saving the results, files that
// are no workbook, and closing while the import runs.
#include "Common/records/Data.h"
#include "Lum/import/DlgGroupUserAdd.h"
#include "Lum/KivApp.h"
#include "Lum/session/ServiceConnection.h"
#include "Lum/session/Workers.h"
#include "platform/commdlg.h"
#include "platform/config.h"
#include "platform/dhtml.h"
#include "platform/files.h"
#include "platform/module.h"
#include "platform/net.h"
#include "platform/shell.h"
#include "platform/uiapp.h"
#include "tests/platform/SheetFiles.h"
#include "tests/platform/TempDir.h"
#include "tests/platform/TestServices.h"
#include "tests/platform/UiProbe.h"
#include "tests/platform/UiWait.h"
#include "tests/standin/StandinService.h"
#include "tests/standin/StandinWeb.h"
#include "tests/standin/WebApi.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <sys/resource.h>
#include <thread>

using sheetfiles::Rows;
using sheetfiles::Value;
using standin::Fault;

namespace {

class GroupUserImportTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(lumui::Start());
        std::filesystem::create_directories(SCREENSHOT_DIR);
        services_.SetProgramFolder(dir_.path() + "/");
        std::string error;
        ASSERT_TRUE(service_.LoadSeedFile(STANDIN_SEED_FILE, &error)) << error;
        const int port = service_.Start(0);
        ASSERT_GT(port, 0);
        standin::RegisterWebApi(web_, service_);
        std::filesystem::create_directories(dir_.file("www"));
        const int webPort = web_.Start(0, dir_.file("www"));
        ASSERT_GT(webPort, 0);
        const std::string ini = dir_.file("Lum.ini");
        WritePrivateProfileString("Service", "Host", "127.0.0.1", ini.c_str());
        WritePrivateProfileString("Service", "Port", std::to_string(port).c_str(), ini.c_str());
        WritePrivateProfileString("Web", "BaseUrl", ("http://127.0.0.1:" + std::to_string(webPort)).c_str(),
                                  ini.c_str());
        SetServiceTimeouts(ServiceTimeouts{1000, 1000, 1000});
        app_ = std::make_unique<CKivApp>();
        services_.SetMessageBox([this](HWND, const CString& text, const CString&, UINT) {
            std::lock_guard<std::mutex> lock(boxLock_);
            boxes_.push_back(text.str());
            return IDOK;
        });
    }

    void TearDown() override
    {
        window_.reset();
        app_.reset();
        web_.Stop();
        service_.Stop();
        SetServiceTimeouts(ServiceTimeouts());
    }

    // Logs in as the owner of group 502 (李娜), as the login completion does.
    void LogInAsOwner()
    {
        auto* login = new lum_thrift::StructLogin;
        login->name = "13800000002";
        login->pwd = "123456";
        login->type = 2;
        login->version = 6;
        // The login worker hands its reply to a main window; there is none
        // here, so the call is made directly.
        lum_thrift::StructLoginResp reply;
        CServiceConnection connection;
        connection.Open();
        connection.Client().login(reply, *login);
        connection.Close();
        delete login;
        ASSERT_EQ(reply.code, 0);
        app_->SetSessionKey(reply.key);
        app_->SetOwnUserId(reply.user.userid);
        app_->m_userSelf.m_strPhone = "13800000002";
        app_->m_strVerifyCode = "0123456789abcdef0123456789abcdef";
    }

    CDlgGroupUserAddFromExist* Open(int gid = 502, int kind = 9)
    {
        window_ = std::make_unique<CDlgGroupUserAddFromExist>();
        EXPECT_TRUE(window_->CreateFor(gid, kind, nullptr, 570, 370));
        window_->ShowWindow(SW_SHOW);
        EXPECT_TRUE(uiwait::QueuedWorkDone());
        return window_.get();
    }

    // The import view of the window, shown as "从Excel中批量导入" shows it.
    CDlgGroupUserAdd& ImportView()
    {
        window_->SendMessage(WM_COMMAND, MAKEWPARAM(1001, BN_CLICKED), 0);
        EXPECT_TRUE(uiwait::QueuedWorkDone());
        return window_->m_dlgImport;
    }

    static CString ButtonText(CDlgGroupUserAdd& view)
    {
        CString text;
        view.m_btnAction.GetWindowText(text);
        return text;
    }

    static void Click(CWnd& dialog, UINT id)
    {
        dialog.SendMessage(WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0);
    }

    std::vector<std::string> Boxes()
    {
        std::lock_guard<std::mutex> lock(boxLock_);
        return boxes_;
    }

    // Reads a sheet into the view and waits until it was read; false when
    // a message said it could not be.
    bool Read(CDlgGroupUserAdd& view, const std::string& path)
    {
        const size_t boxes = Boxes().size();
        EXPECT_TRUE(view.LoadSheetFile(path.c_str()));
        EXPECT_TRUE(lumui::PumpUntil([&] { return !view.IsReading(); }, 30000));
        return Boxes().size() == boxes;
    }

    TempDir dir_;
    TestServices services_;
    standin::StandinService service_;
    standin::StandinWeb web_;
    std::unique_ptr<CKivApp> app_;
    std::unique_ptr<CDlgGroupUserAddFromExist> window_;
    std::mutex boxLock_;
    std::vector<std::string> boxes_;
};

TEST(GroupUserImportTexts, EachResultCodeInItsWords)
{
    EXPECT_EQ(ImportResultText(0), "成功");
    EXPECT_EQ(ImportResultText(17), "该用户为老师,导入失败");
    EXPECT_EQ(ImportResultText(18), "用户已在该群,导入失败");
    EXPECT_EQ(ImportResultText(19), "非本网用户必须含有邮箱,导入失败");
    EXPECT_EQ(ImportResultText(1), "失败");
    EXPECT_EQ(ImportResultText(-1), "失败");
}

TEST(GroupUserImportTexts, TreeNamesAreEscapedAndEmptyNamesShowTheId)
{
    CDataUser a, b;
    a.m_nId = 7;
    a.m_bstrName = "<b>A&B's \"x\"</b> ";
    b.m_nId = 8;
    b.m_bstrName = " ";
    CDataGroup g;
    g.m_nId = 502;
    g.m_bstrName = "羽毛球&网球 ";
    const CString xml = BuildMemberTreeXml({&a, &b}, {{&g, {&b}}});
    EXPECT_EQ(xml,
              "<item text='我的好友' id='my_friends' open='1' imheight='0' imwidth='0'>"
              "<item text='&lt;b&gt;A&amp;B&#39;s &quot;x&quot;&lt;/b&gt;' id='7' imheight='0' imwidth='0'></item>"
              "<item text='8' id='8' imheight='0' imwidth='0'></item></item>"
              "<item text='羽毛球&amp;网球' id='502' open='1' imheight='0' imwidth='0'>"
              "<item text='8' id='8' imheight='0' imwidth='0'></item></item>");
}

// The page shows the names as typed, ticks move leaves into the list, and
// "确定" invites them through the web API.
TEST_F(GroupUserImportTest, TreePageShowsNamesAsTypedAndInvites)
{
    LogInAsOwner();
    CDataUser a, b, c;
    a.m_nId = 10003;
    a.m_bstrName = "王芳 <&'\"> ";
    b.m_nId = 10004;
    b.m_bstrName = "刘洋 ";
    c.m_nId = 10001;
    c.m_bstrName = "张伟 ";
    CDataGroup g;
    g.m_nId = 501;
    g.m_bstrName = "计算机一班 ";
    window_ = std::make_unique<CDlgGroupUserAddFromExist>();
    ASSERT_TRUE(window_->CreateFor(502, 9, nullptr, 570, 370));
    window_->m_page.m_strTree = BuildMemberTreeXml({&a, &b}, {{&g, {&c, &b}}});
    window_->ShowWindow(SW_SHOW);
    CString labels;
    ASSERT_TRUE(lumui::PumpUntil(
        [&] {
            window_->m_page.InvokeScriptMethod("eval",
                                               {"Array.prototype.map.call(document.querySelectorAll('#tree li>span:nth-of-type(2)'),"
                                                "function(s){return s.textContent;}).join('|')"},
                                               &labels);
            return !labels.IsEmpty();
        },
        10000));
    EXPECT_EQ(labels, "我的好友|王芳 <&'\">|刘洋|计算机一班|张伟|刘洋");

    // Tick the friends' parent and the group's 刘洋 again: ids listed once.
    CString added;
    window_->m_page.InvokeScriptMethod(
        "eval", {"(function(){var b=document.querySelectorAll('#tree input');b[0].click();b[5].click();"
                 "addTicked();return addedIds.join(',');})()"},
        &added);
    EXPECT_EQ(added, "10003,10004");
    EXPECT_TRUE(uiwait::QueuedWorkDone());
    EXPECT_TRUE(lumui::SaveScreenImage(SCREENSHOT_DIR "/member-import-tree.png"));

    Click(*window_, IDOK);
    ASSERT_TRUE(lumui::PumpUntil([&] { return !Boxes().empty(); }, 5000));
    EXPECT_EQ(Boxes().back(), "已经成功发出邀请2人,等他们回复确认加入.");
    // Both got the invitation as a group notice.
    EXPECT_EQ(service_.Pending(10003).size(), 1u);
    EXPECT_EQ(service_.Pending(10004).size(), 1u);

    // A failed call says so.
    web_.SetFault("/api/group/batchAddGroupUser.jsp", standin::WebFault::Status(500));
    Click(*window_, IDOK);
    ASSERT_TRUE(lumui::PumpUntil([&] { return Boxes().size() == 2; }, 5000));
    EXPECT_EQ(Boxes().back(), "邀请失败,请稍后再试");
}

// A sheet with Chinese names, numeric mobiles, dates and empty rows fills
// the list; importing it marks each row; saving writes one state per row.
TEST_F(GroupUserImportTest, ImportsASheetAndSavesTheResults)
{
    LogInAsOwner();
    const std::string sheet = dir_.file("people.xls");
    ASSERT_TRUE(sheetfiles::WriteXls(sheet, Rows{
                                                {"张伟", 13800000001.0, ""},
                                                {"新同学", 13912345678.0, "new@example.com"},
                                                {},
                                                {"生日", Value::DateOf(2001, 9, 1), ""},
                                            }));
    Open();
    CDlgGroupUserAdd& view = ImportView();
    EXPECT_TRUE(view.IsWindowVisible());
    EXPECT_EQ(ButtonText(view), "开始导入");
    services_.SetFileDialog([&](const CString& filter, DWORD) {
        EXPECT_EQ(filter, "EXCEL文件t(*.xls;*.xlsx)|*.xls;*.xlsx||");
        return CString(sheet);
    });
    Click(view, 1001);
    ASSERT_TRUE(lumui::PumpUntil([&] { return !view.IsReading(); }, 10000));
    ASSERT_EQ(view.m_list.GetItemCount(), 4);
    EXPECT_EQ(view.m_list.GetItemText(0, 0), "张伟");
    EXPECT_EQ(view.m_list.GetItemText(0, 1), "13800000001");
    EXPECT_EQ(view.m_list.GetItemText(1, 2), "new@example.com");
    EXPECT_EQ(view.m_list.GetItemText(2, 0), "");
    EXPECT_EQ(view.m_list.GetItemText(3, 1), "2001-09-01");
    EXPECT_FALSE(view.m_btnBrowse.IsWindowEnabled());

    view.m_checkFriend.SetCheck(BST_CHECKED);
    Click(view, IDOK);
    EXPECT_EQ(ButtonText(view), "正在导入");
    Click(view, IDOK);  // "正在导入": nothing
    ASSERT_TRUE(lumui::PumpUntil([&] { return ButtonText(view) == "保存结果"; }, 10000));
    EXPECT_EQ(view.m_list.GetItemText(0, 3), "用户已在该群,导入失败");
    EXPECT_EQ(view.m_list.GetItemText(1, 3), "成功");
    EXPECT_EQ(view.m_list.GetItemText(2, 3), "");  // no phone: no call
    EXPECT_EQ(view.m_list.GetItemText(3, 3), "成功");
    EXPECT_EQ(view.m_nIsAddFriend, 1);
    const int32_t newcomer = service_.UserIdOfAccount("13912345678");
    EXPECT_TRUE(service_.GroupHasMember(502, newcomer));
    EXPECT_TRUE(service_.IsFriend(10002, newcomer));
    EXPECT_TRUE(lumui::SaveScreenImage(SCREENSHOT_DIR "/member-import-results.png"));

    const std::string saved = dir_.file("results");
    services_.SetFileDialog([&](const CString& filter, DWORD) {
        EXPECT_EQ(filter, "EXCEL Files (*.xlsx)|*.xlsx|All Files (*.*)|*.*||");
        return CString(saved + ".xls");
    });
    Click(view, IDOK);
    // Back to the start once the workbook was read again and saved.
    ASSERT_TRUE(lumui::PumpUntil([&] { return ButtonText(view) == "开始导入"; }, 10000));
    EXPECT_EQ(view.m_list.GetItemCount(), 0);
    EXPECT_TRUE(view.m_strPath.IsEmpty());
    EXPECT_EQ(view.m_nIsAddFriend, 0);
    EXPECT_TRUE(view.m_btnBrowse.IsWindowEnabled());
    // Saved as .xlsx, one state per list row from sheet row 1.
    ExcelFile back;
    ASSERT_TRUE(back.OpenWorkbook((saved + ".xlsx").c_str()));
    ASSERT_TRUE(back.LoadSheet());
    EXPECT_EQ(back.GetCellText(1, 1), "张伟");
    EXPECT_EQ(back.GetCellText(1, 4), "用户已在该群,导入失败");
    EXPECT_EQ(back.GetCellText(2, 4), "成功");
    EXPECT_EQ(back.GetCellText(3, 4), "");
    EXPECT_EQ(back.GetCellText(4, 2), "2001-09-01");
    EXPECT_EQ(back.GetCellText(4, 4), "成功");
    EXPECT_TRUE(Boxes().empty());
}

// Codes the stand-in does not give by itself, and a call that fails: each
// row gets its words, and the import goes on.
TEST_F(GroupUserImportTest, EveryCodeAndFailedCallsMarkTheirRows)
{
    LogInAsOwner();
    Rows rows;
    for (int i = 0; i < 500; ++i) rows.push_back({"用户" + std::to_string(i), 13500000000.0 + i, ""});
    const std::string sheet = dir_.file("many.xlsx");
    ASSERT_TRUE(sheetfiles::WriteXlsx(sheet, rows));
    Open();
    CDlgGroupUserAdd& view = ImportView();
    ASSERT_TRUE(Read(view, sheet));
    ASSERT_EQ(view.m_list.GetItemCount(), 500);
    EXPECT_EQ(view.m_list.GetItemText(499, 1), "13500000499");

    struct Case {
        Fault::Kind kind;
        int code;
        const char* text;
    };
    for (const Case& c : {Case{Fault::ResultCode, 17, "该用户为老师,导入失败"},
                          Case{Fault::ResultCode, 19, "非本网用户必须含有邮箱,导入失败"},
                          Case{Fault::ResultCode, 5, "失败"}, Case{Fault::CloseMidReply, 0, "失败"}}) {
        Fault f;
        f.kind = c.kind;
        f.code = c.code;
        service_.SetFault("importGroupUser", f);
        // Three rows are enough per code.
        view.Reset();
        view.m_nGroupId = 502;
        for (int i = 0; i < 3; ++i) {
            view.m_list.InsertItem(i, "某人");
            view.m_list.SetItemText(i, 1, CString(std::to_string(13700000000LL + i)));
        }
        Click(view, IDOK);
        ASSERT_TRUE(lumui::PumpUntil([&] { return ButtonText(view) == "保存结果"; }, 15000)) << c.text;
        for (int i = 0; i < 3; ++i) EXPECT_EQ(view.m_list.GetItemText(i, 3), c.text);
    }
}

// Files that are no workbook: the message, the window stays, the program
// goes on; a good file can still be chosen.
TEST_F(GroupUserImportTest, FilesThatAreNoWorkbookKeepTheWindowOpen)
{
    Open();
    CDlgGroupUserAdd& view = ImportView();
    const std::string text = dir_.file("list.xls");
    {
        std::ofstream(text) << "姓名,手机号\n张三,13800138000\n";
    }
    std::string damaged = sheetfiles::XlsBytes({{"Sheet1", {{"张三", 1.0}}}});
    for (size_t i = 600; i < damaged.size() - 1100; ++i) damaged[i] = static_cast<char>(i * 7);
    const std::string broken = dir_.file("broken.xls");
    {
        std::ofstream(broken, std::ios::binary) << damaged;
    }
    const std::string empty = dir_.file("empty.xlsx");
    ASSERT_TRUE(sheetfiles::WriteXlsx(empty, Rows{}));

    EXPECT_FALSE(Read(view, text));
    EXPECT_FALSE(Read(view, broken));
    EXPECT_FALSE(Read(view, dir_.file("missing.xlsx")));
    const auto boxes = Boxes();
    ASSERT_EQ(boxes.size(), 3u);
    for (const std::string& b : boxes) EXPECT_TRUE(b == "读取Excel失败，请确认您的Excel格式正确!" || b == "读取Excel失败") << b;
    EXPECT_TRUE(::IsWindow(view.m_hWnd));
    EXPECT_TRUE(view.m_btnBrowse.IsWindowEnabled());
    EXPECT_EQ(view.m_list.GetItemCount(), 0);

    // An empty sheet fills no rows.
    EXPECT_TRUE(Read(view, empty));
    EXPECT_EQ(view.m_list.GetItemCount(), 0);
    EXPECT_TRUE(lumui::SaveScreenImage(SCREENSHOT_DIR "/member-import-view.png"));
}

// Small files that describe huge sheets: one value in the last column on
// each of 3,000 rows, or one 8 MB text shown in 300 cells. The window keeps
// answering while they are read, both fill the list without taking much
// memory, and a sheet beyond the stated limit is refused with the message.
TEST_F(GroupUserImportTest, SheetsThatDescribeHugeGridsAreReadAwayFromTheWindow)
{
    const std::string wide = dir_.file("wide.xlsx");
    ASSERT_TRUE(sheetfiles::WriteHandMadeXlsx(wide, sheetfiles::FarApartCells(3000)));
    std::string cells;
    for (int r = 1; r <= 300; ++r)
        cells += "<row r='" + std::to_string(r) + "'><c r='A" + std::to_string(r) + "' t='s'><v>0</v></c><c r='B" +
                 std::to_string(r) + "'><v>" + std::to_string(13800000000LL + r) + "</v></c></row>";
    const std::string shared = dir_.file("shared.xlsx");
    ASSERT_TRUE(sheetfiles::WriteHandMadeXlsx(shared, cells, "<si><t>" + std::string(8u << 20, 'x') + "</t></si>"));
    const std::string beyond = dir_.file("beyond.xlsx");
    ASSERT_TRUE(sheetfiles::WriteHandMadeXlsx(beyond, sheetfiles::FarApartCells(1, 70000)));
    Open();
    CDlgGroupUserAdd& view = ImportView();

    // How long the UI thread holds back other work while the sheets are read.
    UiProbe probe;
    ASSERT_TRUE(probe.Start());
    struct rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    const long before = usage.ru_maxrss / 1024;
    EXPECT_TRUE(Read(view, wide));
    EXPECT_EQ(view.m_list.GetItemCount(), 3000);
    view.Reset();
    EXPECT_TRUE(Read(view, shared));
    ASSERT_EQ(view.m_list.GetItemCount(), 300);
    // A text no name is long: the list shows its beginning.
    EXPECT_EQ(view.m_list.GetItemText(299, 0), CString(std::string(kImportTextChars, 'x').c_str()));
    EXPECT_EQ(view.m_list.GetItemText(299, 1), "13800000300");
    probe.Stop();
    getrusage(RUSAGE_SELF, &usage);
    EXPECT_LT(usage.ru_maxrss / 1024 - before, 400) << "megabytes taken";
    EXPECT_LT(probe.Longest(), 500) << "the UI thread was held for " << probe.Longest() << " ms";

    view.Reset();
    EXPECT_FALSE(Read(view, beyond));
    EXPECT_EQ(Boxes().back(), "读取Excel失败");
    EXPECT_EQ(view.m_list.GetItemCount(), 0);
    EXPECT_TRUE(view.m_btnBrowse.IsWindowEnabled());
}

// Closing the window, or starting over, while the worker runs: nothing
// touches the gone view, and the worker stops calling.
TEST_F(GroupUserImportTest, ClosingWhileImportingIsSafe)
{
    LogInAsOwner();
    Fault slow;
    slow.kind = Fault::Slow;
    slow.delayMs = 150;
    service_.SetFault("importGroupUser", slow);
    Open();
    CDlgGroupUserAdd& view = ImportView();
    for (int i = 0; i < 20; ++i) {
        view.m_list.InsertItem(i, "某人");
        view.m_list.SetItemText(i, 1, CString(std::to_string(13600000000LL + i)));
    }
    const auto imports = [&] {
        size_t n = 0;
        for (const auto& r : service_.Requests()) n += r.method == "importGroupUser";
        return n;
    };
    Click(view, IDOK);
    // The import is under way: its first call reached the service.
    ASSERT_TRUE(lumui::PumpUntil([&] { return imports() > 0; }));
    // Starting over: the old import's reports are dropped, and it stops.
    view.Reset();
    EXPECT_EQ(ButtonText(view), "开始导入");
    EXPECT_TRUE(lumui::PumpUntil([] { return lumui::RunningThreads(ThreadImportGroupUser) == 0; }));
    EXPECT_TRUE(uiwait::QueuedWorkDone());
    EXPECT_EQ(ButtonText(view), "开始导入");

    view.m_nGroupId = 502;
    view.m_list.InsertItem(0, "某人");
    view.m_list.SetItemText(0, 1, "13600000099");
    Click(view, IDOK);
    window_->SendMessage(WM_CLOSE, 0, 0);
    EXPECT_FALSE(::IsWindow(view.m_hWnd));
    window_.reset();
    const size_t calls = service_.Requests().size();
    EXPECT_TRUE(lumui::PumpUntil([] { return lumui::RunningThreads(ThreadImportGroupUser) == 0; }));
    // At most the call under way when the window went.
    EXPECT_LE(service_.Requests().size(), calls + 1);
}

// The example sheet link opens the web server's example file in the
// desktop's browser; the file is a workbook.
TEST_F(GroupUserImportTest, ExampleLinkOpensTheServersSheet)
{
    Open();
    CDlgGroupUserAdd& view = ImportView();
    CString opened;
    services_.SetShellExecute([&](const CString&, const CString& file, const CString&, const CString&, int) {
        opened = file;
        return true;
    });
    NMHDR nm{};
    nm.hwndFrom = view.m_link.m_hWnd;
    nm.idFrom = 1052;
    nm.code = NM_CLICK;
    view.SendMessage(WM_NOTIFY, 1052, reinterpret_cast<LPARAM>(&nm));
    EXPECT_EQ(opened, GetEndpointConfig().webBaseUrl + "/lum_example.xls");

    const std::string path = dir_.file("example.xls");
    ASSERT_EQ(URLDownloadToFile(nullptr, GetEndpointConfig().webBaseUrl + "/lum_example.xls", path.c_str(), 0, nullptr),
              S_OK);
    ExcelFile example;
    ASSERT_TRUE(example.OpenWorkbook(path.c_str()));
    ASSERT_TRUE(example.LoadSheet());
    EXPECT_EQ(example.GetCellText(1, 1), "姓名");
    EXPECT_EQ(example.GetCellText(2, 2), "13800138000");
}


// "搜索添加" opens the group-creation module's member search for the window's
// group, as its owner: an invitation sent from there reaches the invitee as
// one into that group.
TEST_F(GroupUserImportTest, SearchAddInvitesIntoTheWindowsGroup)
{
    std::filesystem::copy_file(ADHOR_FILE, dir_.file("libAdhor.so"));
    std::filesystem::copy_file(VISTEL_FILE, dir_.file("libVistel.so"));
    LogInAsOwner();
    Open(502);
    Click(*window_, 1049);
    const HMODULE adhor = window_->m_hAdhor;
    ASSERT_NE(adhor, nullptr);
    // The module's page whose script has the function `marker`.
    auto pageWith = [adhor](const char* marker) {
        CDHtmlDialog* found = nullptr;
        lumui::PumpUntil(
            [&] {
                for (HWND hwnd : GetModuleWindows(adhor)) {
                    auto* page = dynamic_cast<CDHtmlDialog*>(CWnd::FromHandle(hwnd));
                    CString kind;
                    if (page && page->m_hWnd &&
                        page->InvokeScriptMethod("eval", {CString("typeof ") + marker}, &kind) == S_OK &&
                        kind == "function")
                        found = page;
                }
                return found != nullptr;
            },
            20000);
        return found;
    };
    auto eval = [](CDHtmlDialog* page, const char* script) {
        CString result;
        page->InvokeScriptMethod("eval", {CString(script)}, &result);
        return result;
    };

    // 王芳 (10003) found, ticked and passed on.
    CDHtmlDialog* search = pageWith("passSelIDs");
    ASSERT_NE(search, nullptr);
    eval(search, "key.value='10003';key.classList.remove('hint');search();");
    ASSERT_TRUE(lumui::PumpUntil([&] { return eval(search, "document.querySelectorAll('.row input').length") == "1"; },
                                 10000));
    eval(search, "document.querySelector('.row input').click();passSelIDs();");
    CDHtmlDialog* invite = pageWith("submitInvite");
    ASSERT_NE(invite, nullptr);
    eval(invite, "msg.value='一起来打球';window.external.ConfirmSubmit();");
    ASSERT_TRUE(lumui::PumpUntil([&] { return !service_.Pending(10003).empty() || !Boxes().empty(); }, 10000));
    EXPECT_EQ(Boxes(), std::vector<std::string>());
    ASSERT_EQ(service_.Pending(10003).size(), 1u);
    EXPECT_EQ(service_.Pending(10003)[0].gid, 502);
    EXPECT_EQ(service_.Pending(10003)[0].fromid, 10002);
}

}  // namespace
