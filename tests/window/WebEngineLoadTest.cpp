// The web engine is no part of a program when it starts: no program or
// module beside it links it, and the layer loads it when pages need it, on a
// worker when the program starts the engine early (lumui::StartWebEngineSoon)
// or for the first page that opens. A loaded engine stays for the process,
// so each fixture below runs in a process of its own (as ctest runs them).
#include "platform/dhtml.h"
#include "platform/dhtml_internal.h"
#include "platform/resources.h"
#include "platform/uiapp.h"
#include "tests/platform/TempDir.h"
#include "tests/platform/TestServices.h"
#include "tests/platform/UiWait.h"

#include <gmodule.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <set>
#include <string>
#include <thread>

namespace {

const char kWebEngine[] = "libwebkit2gtk-";
const char kEngineLibrary[] = "libplatform_web.so";
const UINT kPageTemplate = 950;
const UINT kShownPage = 905;  // dhtml/shown.html

// Whether a library whose file name starts with `name` is loaded in this
// process.
bool loaded(const char* name)
{
    std::ifstream maps("/proc/self/maps");
    std::string line;
    while (std::getline(maps, line))
        if (line.find(std::string("/") + name) != std::string::npos) return true;
    return false;
}

// The tests that open pages or start the engine need a process that has
// not loaded it yet.
#define SKIP_WHEN_THE_ENGINE_IS_LOADED()                                                                   \
    if (loaded(kWebEngine))                                                                               \
    GTEST_SKIP() << "the web engine is loaded in this process already: run each fixture in a process of " \
                    "its own, as ctest does"

// The libraries the dynamic loader loads for the file at `path`, as ldd lists
// them.
std::string librariesOf(const std::string& path)
{
    std::string out;
    if (FILE* pipe = popen(("ldd '" + path + "' 2>&1").c_str(), "r")) {
        char buf[4096];
        for (size_t n; (n = fread(buf, 1, sizeof buf, pipe)) > 0;) out.append(buf, n);
        pclose(pipe);
    }
    return out;
}

bool isElfFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    char magic[4] = {};
    return in.read(magic, 4) && std::string(magic, 4) == "\x7f" "ELF";
}

TEST(WebEngineLinking, NoProgramOrModuleLinksTheWebEngineOnlyItsOwnLibraryDoes)
{
    std::set<std::string> checked;
    for (const auto& entry : std::filesystem::directory_iterator(LUM_BIN_DIR)) {
        if (!entry.is_regular_file() || !isElfFile(entry.path())) continue;
        const std::string name = entry.path().filename().string();
        const std::string libraries = librariesOf(entry.path().string());
        if (name == kEngineLibrary) {
            EXPECT_NE(libraries.find(kWebEngine), std::string::npos) << libraries;
            continue;
        }
        for (const char* engine : {kWebEngine, "libjavascriptcoregtk-", "libwx_gtk3u_webview-"})
            EXPECT_EQ(libraries.find(engine), std::string::npos) << name << " links " << engine << ":\n" << libraries;
        checked.insert(name);
    }
    EXPECT_TRUE(checked.count("Lum"));
    EXPECT_TRUE(checked.count("Updater"));
    EXPECT_TRUE(checked.count("libplatform.so"));
    EXPECT_TRUE(checked.count("libQuillon.so"));
    // This test program links the layer too, and nothing has loaded the
    // engine into it.
    EXPECT_FALSE(loaded(kWebEngine));
}

class ShownPage : public CDHtmlDialog {
public:
    ShownPage() : CDHtmlDialog(kPageTemplate, kShownPage) {}
    void OnDocumentComplete(LPDISPATCH browser, LPCTSTR url) override
    {
        CDHtmlDialog::OnDocumentComplete(browser, url);
        ++loads;
    }
    int loads = 0;
};

// A page in a frame of its own, at `x` on the screen.
struct PageWindow {
    explicit PageWindow(int x)
    {
        EXPECT_TRUE(frame.CreateEx(0, nullptr, "页面", WS_POPUP | WS_VISIBLE, x, 40, 500, 340, nullptr, 0));
    }
    ~PageWindow()
    {
        page.DestroyWindow();
        frame.DestroyWindow();
    }
    bool Open()
    {
        if (!page.Create(kPageTemplate, &frame)) return false;
        page.MoveWindow(10, 20, 480, 300);
        page.ShowWindow(SW_SHOW);
        return true;
    }
    // What a person sees of it: its document's title, drawn on its green.
    void ExpectShown()
    {
        ASSERT_TRUE(lumui::PumpUntil([&] { return page.loads > 0; }, 20000)) << "the page never completed";
        CString title;
        ASSERT_EQ(page.GetElementProperty("title", DISPID_IHTMLELEMENT_INNERTEXT, title), S_OK);
        EXPECT_EQ(title, "页面已显示");
        CString answer;
        EXPECT_EQ(page.InvokeScriptMethod("answer", {"问"}, &answer), S_OK);
        EXPECT_EQ(answer, "got 问");
        CRect place;
        page.GetWindowRect(&place);
        EXPECT_TRUE(lumui::PumpUntil(
            [&] { return lumui::ScreenPixel(place.left + 240, place.top + 250) == 0x30a050; }, 10000))
            << std::hex << lumui::ScreenPixel(place.left + 240, place.top + 250);
    }
    CWnd frame;
    ShownPage page;
};

class PageWhileTheEngineLoads : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(lumui::Start());
        services_.SetProgramFolder(dir_.path() + "/");
        DialogTemplate t;
        t.id = kPageTemplate;
        t.cx = 480;
        t.cy = 300;
        t.style = WS_CHILD;
        RegisterDialogTemplate(AfxGetInstanceHandle(), t);
    }
    void TearDown() override { lumui::Pump(0); }
    TempDir dir_;
    TestServices services_;
};

TEST_F(PageWhileTheEngineLoads, APageOpenedBeforeTheWorkerHasLoadedTheEngineShows)
{
    SKIP_WHEN_THE_ENGINE_IS_LOADED();
    PageWindow first(40);
    lumui::StartWebEngineSoon();
    // The worker is loading the engine's libraries as the page opens: the
    // page loads the rest itself and starts the engine.
    ASSERT_EQ(lumweb::LoadedEngine(), nullptr);
    ASSERT_TRUE(first.Open());
    first.ExpectShown();

    // The start the worker asked for comes when its load is over and leaves
    // the page as it was; a page opened after it shows as well.
    ASSERT_TRUE(lumui::PumpUntil([] { return lumui::WebEngineStarted(); }, 20000));
    PageWindow second(560);
    ASSERT_TRUE(second.Open());
    second.ExpectShown();
    first.page.loads = 0;
    ASSERT_TRUE(first.page.LoadFromResource(kShownPage));
    first.ExpectShown();
}

// Ends the test program when the UI thread has not come back within a
// minute: it and the loading worker would be waiting for each other.
class Watchdog {
public:
    explicit Watchdog(const char* what)
        : thread_([this, what] {
              std::unique_lock<std::mutex> lock(mutex_);
              if (!done_.wait_for(lock, std::chrono::minutes(1), [this] { return over_; })) {
                  std::fprintf(stderr, "%s\n", what);
                  std::_Exit(1);
              }
          })
    {
    }
    ~Watchdog()
    {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            over_ = true;
        }
        done_.notify_all();
        thread_.join();
    }

private:
    std::mutex mutex_;
    std::condition_variable done_;
    bool over_ = false;
    std::thread thread_;
};

double msSince(std::chrono::steady_clock::time_point from)
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - from).count();
}

// While the worker loads the engine's libraries, the UI thread asks the
// loader what the program and the toolkit ask it: the module of the code
// (every resource lookup does) and symbols by name through GModule (as GTK
// does when it first makes a widget of a template). Neither waits for the
// whole load, and the two threads never wait for each other.
TEST(LoaderWhileTheEngineLoads, TheUiThreadNeverWaitsForTheWholeLoad)
{
    ASSERT_TRUE(lumui::Start());
    SKIP_WHEN_THE_ENGINE_IS_LOADED();
    GModule* program = g_module_open(nullptr, G_MODULE_BIND_LAZY);
    ASSERT_NE(program, nullptr);
    double longest = 0, load = 0;
    int calls = 0;
    {
        Watchdog watchdog("the UI thread and the worker loading the web engine wait for each other");
        const auto start = std::chrono::steady_clock::now();
        lumui::StartWebEngineSoon();
        while (!lumweb::LoadedEngine()) {
            const auto asked = std::chrono::steady_clock::now();
            EXPECT_NE(AfxGetInstanceHandle(), nullptr);
            gpointer symbol = nullptr;
            EXPECT_TRUE(g_module_symbol(program, "gtk_widget_get_type", &symbol));
            longest = std::max(longest, msSince(asked));
            ++calls;
        }
        load = msSince(start);
    }
    EXPECT_LT(longest, load / 2) << "the longest wait was " << longest << " ms of a load of " << load << " ms ("
                                 << calls << " questions)";
    g_module_close(program);
    EXPECT_TRUE(lumui::PumpUntil([] { return lumui::WebEngineStarted(); }, 20000));
}

}  // namespace
