// HTML pages in dialogs under a real display: a page from this program's
// resources with the web stand-in as its base, window.external, click events,
// calls into page script, element exchange, and keys.
#include "platform/codepage.h"
#include "platform/config.h"
#include "platform/dhtml.h"
#include "platform/files.h"
#include "platform/menu.h"
#include "platform/shell.h"
#include "platform/uiapp.h"
#include "platform/uitest.h"
#include "tests/platform/ScreenPixels.h"
#include "tests/platform/TempDir.h"
#include "tests/platform/TestServices.h"
#include "tests/platform/UiProbe.h"
#include "tests/platform/UiWait.h"
#include "tests/platform/ServeInBackground.h"

#include <glib.h>
#include <gtest/gtest.h>
#include <httplib.h>
#include <wx/app.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace {

const UINT kPageTemplate = 950;

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class TestPage : public CDHtmlDialog {
public:
    explicit TestPage(UINT htmlId = 900) : CDHtmlDialog(kPageTemplate, htmlId) { EnableAutomation(); }

    BOOL OnInitDialog() override
    {
        CDHtmlDialog::OnInitDialog();
        SetExternalDispatch(GetIDispatch(FALSE));
        return TRUE;
    }
    void OnDocumentComplete(LPDISPATCH browser, LPCTSTR url) override
    {
        CDHtmlDialog::OnDocumentComplete(browser, url);
        loads.push_back(url);
    }
    BOOL IsExternalDispatchSafe() override { return safe; }
    HRESULT TranslateAccelerator(LPMSG msg, const GUID* group, DWORD id) override
    {
        if (msg->message == WM_KEYDOWN && msg->wParam == VK_F5) {
            ++f5;
            return S_OK;
        }
        return CDHtmlDialog::TranslateAccelerator(msg, group, id);
    }
    void DoDataExchange(CDataExchange* dx) override
    {
        CDHtmlDialog::DoDataExchange(dx);
        DDX_DHtml_ElementText(dx, "count", DISPID_IHTMLELEMENT_INNERTEXT, count);
    }

    void Echo(const VARIANT& text) { calls.push_back("Echo:" + std::string(VariantToText(text))); }
    void Pair(const VARIANT& a, const VARIANT& b)
    {
        calls.push_back("Pair:" + std::string(VariantToText(a)) + "|" + (b.vt == VT_EMPTY ? "<empty>" : VariantToText(b).GetString()));
    }
    // As the chat panes do: the page asks to send, the pane reads the text.
    void Send()
    {
        CString text;
        sendResult = InvokeScriptMethod("getWriteTxt", {}, &text);
        written = text;
    }
    HRESULT OnButtonOK(IHTMLElement*)
    {
        ++clicks;
        calls.push_back("click");
        return S_OK;
    }

    std::vector<CString> loads;
    std::vector<std::string> calls;
    CString count = "42";
    CString written;
    HRESULT sendResult = E_FAIL;
    BOOL safe = TRUE;
    int f5 = 0;
    int clicks = 0;

    DECLARE_DISPATCH_MAP()
    DECLARE_DHTML_EVENT_MAP()
};

BEGIN_DISPATCH_MAP(TestPage, CDHtmlDialog)
    DISP_FUNCTION(TestPage, "Echo", Echo, VT_EMPTY, VTS_VARIANT)
    DISP_FUNCTION(TestPage, "Pair", Pair, VT_EMPTY, VTS_VARIANT VTS_VARIANT)
    DISP_FUNCTION(TestPage, "Send", Send, VT_EMPTY, VTS_NONE)
END_DISPATCH_MAP()

BEGIN_DHTML_EVENT_MAP(TestPage)
    DHTML_EVENT_ONCLICK("ButtonOK", OnButtonOK)
END_DHTML_EVENT_MAP()

// A frame with the page as its child, and the web stand-in the page's
// relative addresses reach.
class DhtmlTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(lumui::Start());
        services_.SetProgramFolder(dir_.path() + "/");
        server_.Get("/imgs/dot.png", [this](const httplib::Request&, httplib::Response& res) {
            ++remoteHits_;
            res.set_content(readFile(LUM_DHTML_RES_DIR "/mark.png"), "image/png");
        });
        server_.set_keep_alive_max_count(1);  // stopping never waits for an idle connection
        port_ = server_.bind_to_any_port("127.0.0.1");
        thread_ = ServeInBackground(server_);
        base_ = "http://127.0.0.1:" + std::to_string(port_);
        WritePrivateProfileString("Web", "BaseUrl", base_.c_str(), dir_.file("Lum.ini").c_str());

        DialogTemplate t;
        t.id = kPageTemplate;
        t.cx = 480;
        t.cy = 300;
        t.style = WS_CHILD;
        RegisterDialogTemplate(AfxGetInstanceHandle(), t);
        ASSERT_TRUE(frame_.CreateEx(0, nullptr, "页面", WS_POPUP | WS_VISIBLE, 40, 40, 500, 340, nullptr, 0));
        ASSERT_TRUE(page_.Create(kPageTemplate, &frame_));
        page_.MoveWindow(10, 20, 480, 300);
        page_.ShowWindow(SW_SHOW);
        ASSERT_TRUE(lumui::PumpUntil([&] { return !page_.loads.empty(); }, 15000)) << "the page never completed";
    }
    void TearDown() override
    {
        page_.DestroyWindow();
        frame_.DestroyWindow();
        lumui::Pump(0);
        server_.stop();
        if (thread_.joinable()) thread_.join();
        SetAnsiCodePage(CP_UTF8);
    }
    CString script(const char* function, std::initializer_list<CScriptArg> args = {})
    {
        CString out;
        EXPECT_EQ(page_.InvokeScriptMethod(function, args, &out), S_OK) << function;
        return out;
    }
    // Everything the page asked for so far has been handled: a call into
    // the page comes back after the calls and clicks it made before, and
    // those then run from the UI loop.
    void PageCallsHandled()
    {
        script("add", {1, 1});
        ASSERT_TRUE(uiwait::QueuedWorkDone());
    }

    TempDir dir_;
    TestServices services_;
    httplib::Server server_;
    std::thread thread_;
    int port_ = 0;
    std::string base_;
    std::atomic<int> remoteHits_{0};
    CWnd frame_;
    TestPage page_;
};

TEST_F(DhtmlTest, PageFromResourceHasTheWebServerAsBaseAndItsResourcesLoad)
{
    ASSERT_EQ(page_.loads.size(), 1u);
    EXPECT_EQ(std::string(page_.loads[0]), base_ + "/");
    EXPECT_EQ(page_.m_strCurrentUrl, page_.loads[0]);
    EXPECT_EQ(script("getStored"), "");
    CString title;
    ASSERT_EQ(page_.GetElementProperty("title", DISPID_IHTMLELEMENT_INNERTEXT, title), S_OK);
    EXPECT_EQ(title, "你好，世界！消息窗口");
    // lumres: image and script of this module; the relative image from the
    // web server (pictures may still come after the page is complete).
    EXPECT_TRUE(lumui::PumpUntil([&] { return script("imageWidth", {"mark"}) == "7"; }, 10000));
    EXPECT_EQ(script("fromResource"), "资源脚本");
    EXPECT_TRUE(lumui::PumpUntil([&] { return script("imageWidth", {"remote"}) == "7"; }, 10000));
    EXPECT_EQ(remoteHits_.load(), 1);

    // Another resource of the module replaces the document.
    ASSERT_TRUE(page_.LoadFromResource(902));
    ASSERT_TRUE(lumui::PumpUntil([&] { return page_.loads.size() == 2; }, 10000));
    ASSERT_EQ(page_.GetElementProperty("title", DISPID_IHTMLELEMENT_INNERTEXT, title), S_OK);
    EXPECT_EQ(title, "第二页");
    EXPECT_FALSE(page_.LoadFromResource(999));

    // A page window made again shows its own resource again.
    page_.DestroyWindow();
    ASSERT_TRUE(page_.Create(kPageTemplate, &frame_));
    ASSERT_TRUE(lumui::PumpUntil([&] { return page_.loads.size() == 3; }, 10000));
    EXPECT_EQ(script("fromResource"), "资源脚本");
}

TEST_F(DhtmlTest, APictureShownAgainComesFromTheCacheWithoutAnotherRequest)
{
    ASSERT_TRUE(lumui::PumpUntil([&] { return script("imageWidth", {"remote"}) == "7"; }, 10000));
    ASSERT_EQ(remoteHits_.load(), 1);
    // The same picture again, as a chat pane shows a head on every line.
    for (const char* id : {"again1", "again2"}) {
        EXPECT_EQ(page_.InvokeScriptMethod("addImage", {id, "imgs/dot.png"}), S_OK);
        EXPECT_TRUE(lumui::PumpUntil([&] { return script("imageWidth", {id}) == "7"; }, 10000)) << id;
    }
    EXPECT_EQ(remoteHits_.load(), 1);
}

TEST_F(DhtmlTest, APageThatComesWhileTheWebProcessIsBusyShowsWithoutTheUiThreadWaitingForIt)
{
    // The pages share one web process; this one keeps it busy for 1.5 s
    // when it is first to be drawn, after its view shows. Meanwhile the
    // window is drawn again and again, as other windows and the user have it.
    UiProbe probe;
    ASSERT_TRUE(probe.Start());
    CWnd frame;
    ASSERT_TRUE(frame.CreateEx(0, nullptr, "忙碌的页面", WS_POPUP | WS_VISIBLE, 560, 40, 500, 340, nullptr, 0));
    TestPage busy(904);
    ASSERT_TRUE(busy.Create(kPageTemplate, &frame));
    busy.MoveWindow(10, 20, 480, 300);
    busy.ShowWindow(SW_SHOW);
    ASSERT_TRUE(lumui::PumpUntil([&] { return !busy.loads.empty(); }, 15000));
    ASSERT_TRUE(lumui::PumpUntil(
        [&] {
            frame.Invalidate();
            return !busy.calls.empty();
        },
        15000));
    EXPECT_EQ(busy.calls[0], "Echo:idle");
    // The UI thread went on meanwhile, and the page shows its colour.
    EXPECT_LT(probe.LongestStop(), 100);
    probe.Stop();
    CRect place;
    busy.GetWindowRect(&place);
    EXPECT_TRUE(lumui::PumpUntil([&] { return lumui::ScreenPixel(place.left + 240, place.top + 150) == 0x2080c0; }, 10000))
        << std::hex << lumui::ScreenPixel(place.left + 240, place.top + 150);
    busy.DestroyWindow();
    frame.DestroyWindow();
}

TEST_F(DhtmlTest, NativeCallsIntoScriptPassTextVerbatimAndReturnResults)
{
    const CString hostile = "a\"b'c\\d</script><script>x()</script>\n\t中文\xE2\x80\xA8$`${x}";
    EXPECT_EQ(page_.CallScriptFunction("store", hostile), S_OK);
    EXPECT_EQ(script("getStored"), hostile);
    EXPECT_EQ(script("add", {2, 3}), "5");
    EXPECT_EQ(script("add", {"2", 3}), "23");
    EXPECT_EQ(script("getWriteTxt"), "待发送的 \"文字\" & 符号");

    CString out = "unchanged";
    EXPECT_EQ(page_.InvokeScriptMethod("noSuchFunction", {"x"}, &out), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(page_.InvokeScriptMethod("boom", {}, &out), DISP_E_EXCEPTION);
    EXPECT_EQ(out, "unchanged");

    // Texts in GBK go to the page and come back in GBK.
    ASSERT_TRUE(SetAnsiCodePage(CP_GBK));
    const CString gbk = ConvertCodePage(CP_UTF8, CP_GBK, "发送信息").c_str();
    EXPECT_EQ(page_.CallScriptFunction("store", gbk), S_OK);
    EXPECT_EQ(script("getStored"), gbk);
}

TEST_F(DhtmlTest, WindowExternalReachesTheDispatchMapInOrder)
{
    const CString text = "中文 \"引号\" 'q' \\ </script>";
    EXPECT_EQ(page_.CallScriptFunction("callExternal", text), S_OK);
    EXPECT_TRUE(page_.calls.empty()) << "calls run after the native call into the page, never inside it";
    ASSERT_TRUE(lumui::PumpUntil([&] { return page_.calls.size() >= 4; }, 5000));
    ASSERT_NO_FATAL_FAILURE(PageCallsHandled());
    const std::vector<std::string> expected = {"Echo:" + std::string(text), "Pair:12|<empty>", "Pair:1.5|<empty>",
                                               "Pair:true|二"};
    EXPECT_EQ(page_.calls, expected);

    // A method that calls back into the page while the page waits.
    EXPECT_EQ(page_.CallScriptFunction("sendFromPage", ""), S_OK);
    ASSERT_TRUE(lumui::PumpUntil([&] { return page_.sendResult == S_OK; }, 5000));
    EXPECT_EQ(page_.written, "待发送的 \"文字\" & 符号");

    // A page that does not declare its external calls safe gets none through.
    page_.safe = FALSE;
    page_.calls.clear();
    EXPECT_EQ(page_.CallScriptFunction("callExternal", "x"), S_OK);
    ASSERT_NO_FATAL_FAILURE(PageCallsHandled());
    EXPECT_TRUE(page_.calls.empty());
}

// The loop that waits for a call into the page handles input, so the user
// can open a menu meanwhile. While that menu is open, work other threads
// hand to the UI thread runs, as in any menu: a worker waiting on the UI
// thread is not held until the menu closes.
TEST_F(DhtmlTest, AMenuOpenedWhileACallIntoThePageWaitsStillRunsWorkFromOtherThreads)
{
    struct State {
        CWnd* owner = nullptr;
        bool inCall = false;
        bool openedInCall = false;
        std::atomic<bool> ran{false};
        UINT chosen = 0;
        std::chrono::steady_clock::time_point giveUp;
        std::thread worker;
        GSourceFunc closeMenu = nullptr;
    } state;
    state.owner = &frame_;
    // The menu's own loop closes it: with the item "done" once the worker's
    // work has run, with "stuck" when it has not after three seconds.
    auto closeMenu = [](gpointer data) -> gboolean {
        auto* s = static_cast<State*>(data);
        if (lumui::OpenPopupMenuCommands().empty()) return G_SOURCE_CONTINUE;
        if (s->ran) return lumui::ChooseOpenMenuCommand(1) ? G_SOURCE_REMOVE : G_SOURCE_CONTINUE;
        if (std::chrono::steady_clock::now() > s->giveUp)
            return lumui::ChooseOpenMenuCommand(2) ? G_SOURCE_REMOVE : G_SOURCE_CONTINUE;
        return G_SOURCE_CONTINUE;
    };
    // Runs first thing in the loop that waits for the page's answer, as a
    // click on a button of the window would.
    auto openMenu = [](gpointer data) -> gboolean {
        auto* s = static_cast<State*>(data);
        s->openedInCall = s->inCall;
        s->worker = std::thread([s] { lumui::RunOnUiThread([s] { s->ran = true; }); });
        CMenu menu;
        menu.CreatePopupMenu();
        menu.AppendMenu(MF_STRING, 1, "done");
        menu.AppendMenu(MF_STRING, 2, "stuck");
        s->giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(3);
        g_timeout_add(10, s->closeMenu, s);
        s->chosen = menu.TrackPopupMenu(TPM_RETURNCMD, 200, 200, s->owner);
        return G_SOURCE_REMOVE;
    };
    state.closeMenu = closeMenu;
    g_timeout_add(0, openMenu, &state);
    state.inCall = true;
    EXPECT_EQ(script("spin", {300}), "300");
    state.inCall = false;
    ASSERT_TRUE(state.openedInCall) << "the menu opened after the call into the page";
    ASSERT_TRUE(lumui::PumpUntil([&] { return state.ran.load(); }, 5000));
    state.worker.join();
    EXPECT_EQ(state.chosen, 1u) << "the worker's work waited until the menu closed";
}

TEST_F(DhtmlTest, ClicksElementExchangeAndKeys)
{
    // A click inside ButtonOK runs its handler once.
    EXPECT_EQ(page_.CallScriptFunction("clickInner", ""), S_OK);
    ASSERT_TRUE(lumui::PumpUntil([&] { return page_.clicks > 0; }, 5000));
    ASSERT_NO_FATAL_FAILURE(PageCallsHandled());
    EXPECT_EQ(page_.clicks, 1);

    // Element text both ways, and an input's value.
    ASSERT_TRUE(page_.UpdateData(FALSE));
    CString shown;
    page_.GetElementProperty("count", DISPID_IHTMLELEMENT_INNERTEXT, shown);
    EXPECT_EQ(shown, "42");
    page_.SetElementProperty("count", DISPID_IHTMLELEMENT_INNERTEXT, "第 7 页");
    page_.count = "";
    ASSERT_TRUE(page_.UpdateData(TRUE));
    EXPECT_EQ(page_.count, "第 7 页");
    EXPECT_EQ(page_.SetElementValue("hid_userID", "10086"), S_OK);
    EXPECT_EQ(page_.GetElementProperty("hid_userID", DISPID_A_VALUE, shown), S_OK);
    EXPECT_EQ(shown, "10086");
    EXPECT_EQ(page_.SetElementValue("noSuchInput", "1"), DISP_E_UNKNOWNNAME);

    // F5 is offered to TranslateAccelerator, which swallows it: the page
    // keeps what its script holds.
    EXPECT_EQ(page_.CallScriptFunction("store", "before F5"), S_OK);
    lumui::SendKey(page_.m_hWnd, VK_F5);
    ASSERT_NO_FATAL_FAILURE(PageCallsHandled());
    EXPECT_EQ(page_.f5, 1);
    EXPECT_EQ(script("getStored"), "before F5");
    EXPECT_EQ(page_.loads.size(), 1u);
}

// A click that comes in after a call the page made while native code was in
// a call into the page acts after that call: the program knows what the page
// told it before the click's handler runs.
TEST_F(DhtmlTest, AClickActsAfterTheCallsThePageMadeBeforeIt)
{
    EXPECT_EQ(page_.CallScriptFunction("selectThenPressLater", "第 3 行"), S_OK);
    EXPECT_TRUE(page_.calls.empty());
    // The loop's queued work is held, so the call is still waiting when the
    // click comes in, as it is when the click comes in first on a busy loop.
    wxTheApp->SuspendProcessingOfPendingEvents();
    page_.MoveWindow(10, 20, 470, 300);
    const bool clicked = lumui::PumpUntil([&] { return page_.clicks > 0; }, 5000);
    wxTheApp->ResumeProcessingOfPendingEvents();
    ASSERT_TRUE(clicked) << "the click never came";
    EXPECT_TRUE(lumui::PumpUntil([&] { return page_.calls.size() >= 2; }, 5000));
    const std::vector<std::string> expected = {"Echo:第 3 行", "click"};
    EXPECT_EQ(page_.calls, expected);
}

// A page that opens a window of its own, from script or by a link with a
// target, as a person clicks it: the address goes to the user's browser and
// the program goes on (a window asked for from script once aborted it).
TEST_F(DhtmlTest, WindowsThePageOpensGoToTheBrowser)
{
    std::vector<std::string> opened;
    services_.SetShellExecute([&](const CString&, const CString& file, const CString&, const CString&, int) {
        opened.push_back(file.GetString());
        return true;
    });
    ASSERT_TRUE(lumui::PumpUntil([&] { return lumui::IsOnScreen(page_.m_hWnd); }, 5000));
    for (const char* id : {"#openWindow", "#openLink"}) {
        CRect r;
        ASSERT_TRUE(lumui::PumpUntil([&] { return lumui::PageElementScreenRect(&page_, id, &r) && !r.IsRectEmpty(); },
                                     5000));
        const std::string click = "xdotool mousemove --sync " + std::to_string(r.CenterPoint().x) + " " +
                                  std::to_string(r.CenterPoint().y) + " click 1";
        ASSERT_EQ(system(click.c_str()), 0);
        const size_t before = opened.size();
        EXPECT_TRUE(lumui::PumpUntil([&] { return opened.size() > before; }, 5000)) << id;
    }
    ASSERT_EQ(opened.size(), 2u);
    EXPECT_EQ(opened[0], "http://127.0.0.1:9/opened.html?from=script");
    EXPECT_EQ(opened[1], "http://127.0.0.1:9/opened.html?from=link");
    // The page still answers.
    EXPECT_EQ(script("add", {CScriptArg("2"), CScriptArg("3")}), "23");
}

// On the screen, as a person sees it: the Chinese title is drawn in dark
// strokes and the module's red picture fills its box.
TEST_F(DhtmlTest, ThePageShowsItsChineseTextAndPictureOnTheScreen)
{
    ASSERT_TRUE(lumui::PumpUntil([&] { return lumui::IsOnScreen(page_.m_hWnd); }, 5000));
    CRect title, mark;
    ASSERT_TRUE(lumui::PumpUntil(
        [&] { return lumui::PageElementScreenRect(&page_, "#title", &title) && !title.IsRectEmpty(); }, 5000));
    ASSERT_TRUE(lumui::PageElementScreenRect(&page_, "#mark", &mark));
    EXPECT_TRUE(lumui::PumpUntil(
        [&] { return screenpixels::Count(title, screenpixels::Dark) > title.Width() * title.Height() / 20; }, 10000))
        << "no text drawn in the title's box " << title.left << "," << title.top << " " << title.Width() << "x"
        << title.Height();
    EXPECT_TRUE(lumui::PumpUntil(
        [&] {
            return screenpixels::Count(mark, [](uint32_t p) {
                       return ((p >> 16) & 255) > 150 && ((p >> 8) & 255) < 80 && (p & 255) < 80;
                   }) > mark.Width() * mark.Height() / 2;
        },
        10000))
        << "the picture is not drawn";
    std::filesystem::create_directories(LUM_SCREENSHOT_DIR);
    EXPECT_TRUE(lumui::SaveScreenImage(LUM_SCREENSHOT_DIR "/dhtml_page.png"));
}

}  // namespace
