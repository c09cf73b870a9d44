// Message manager benchmark: the history module opened over a store of N
// lines (default 100,000), against the store's own queries for the same
// pages in the same run.
//
//   open         showQuillon until the window shows its contact tree and the
//                member table of the root folder (what the user sees first),
//                with the processor time the UI thread and the web engine's
//                processes ran meanwhile
//   first page   a contact picked: its first page of ten lines shown
//   page turn    the next page asked for, shown (averaged over 50 turns)
//   store        GetRecordCount + getMsgRecords for the same page, alone
//
// Page calls go in as the page script makes them (window.external by name);
// a page counts as shown when its HTML is in the page's document.
//
//   xvfb-run -a bench_quillon [lines]
#include "Common/records/Data.h"
#include "Common/stores/FileDbMsg.h"
#include "Common/stores/FileDbUser.h"
#include "platform/dhtml.h"
#include "platform/files.h"
#include "platform/module.h"
#include "platform/uiapp.h"
#include "plugins/Quillon/QuillonExports.h"
#include "plugins/common/PluginExports.h"
#include "tests/platform/TestServices.h"
#include "tests/standin/StandinWeb.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

const int kOwnId = 5;
const int kFriends = 40, kGroups = 8;

// Processor time, in milliseconds, that the kernel counted for the UI thread
// (the calling thread) and for the processes this program started (the web
// engine's), every thread of them: where the time of an opening went.
double RanMs(const std::string& schedstat)
{
    std::ifstream in(schedstat);
    unsigned long long ran = 0;
    in >> ran;
    return static_cast<double>(ran) / 1e6;
}

double UiThreadRanMs()
{
    return RanMs("/proc/thread-self/schedstat");
}

double ChildrenRanMs()
{
    double total = 0;
    const std::string self = std::to_string(getpid());
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        const std::string pid = entry.path().filename();
        if (pid.find_first_not_of("0123456789") != std::string::npos) continue;
        std::ifstream stat(entry.path() / "stat");
        std::string line;
        std::getline(stat, line);
        // pid (comm) state ppid ...: the parent follows the state after the
        // last ')'.
        const size_t close = line.rfind(')');
        if (close == std::string::npos) continue;
        std::string state, ppid;
        std::istringstream(line.substr(close + 1)) >> state >> ppid;
        if (ppid != self) continue;
        std::error_code ec;
        for (const auto& task : std::filesystem::directory_iterator(entry.path() / "task", ec))
            total += RanMs(task.path() / "schedstat");
    }
    return total;
}

double ms(Clock::time_point from)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - from).count();
}

std::string TimeOf(time_t when)
{
    struct tm tm;
    localtime_r(&when, &tm);
    char text[32];
    strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &tm);
    return text;
}

// Friends 1001.., groups 5001.. with five members each; lines spread over
// the friends (three in four) and the groups, one a minute back from now.
void Seed(CFileDbUser& users, CFileDbMsg& history, int lines)
{
    for (int i = 0; i < kFriends; ++i) {
        CDataUser u;
        u.m_nId = 1001 + i;
        u.m_nGroupId = 1;
        u.m_bstrName = ("同学" + std::to_string(i)).c_str();
        users.InsertUser(&u);
    }
    for (int g = 0; g < kGroups; ++g) {
        CDataGroup group;
        group.m_nId = 5001 + g;
        group.m_nStyle = 1;
        group.m_bstrName = ("班级群" + std::to_string(g)).c_str();
        users.InsertGroup(&group);
        for (int m = 0; m < 5; ++m) {
            CDataUser u;
            u.m_nId = 1001 + (g * 5 + m) % kFriends;
            u.m_nGroupId = group.m_nId;
            u.m_bstrName = ("同学" + std::to_string((g * 5 + m) % kFriends)).c_str();
            users.InsertUser(&u);
        }
    }
    const time_t now = time(nullptr);
    history.BeginBatch();
    for (int i = 0; i < lines; ++i) {
        const std::string text = "今天下午的实验报告 第" + std::to_string(i) + "条";
        const std::string tag = "<p>" + text + "</p>";
        const std::string when = TimeOf(now - static_cast<time_t>(lines - i) * 60);
        if (i % 4 != 3)
            history.InsertMsg(1001 + i % kFriends, 1, tag.c_str(), i % 2, when.c_str(), 1, text.c_str());
        else
            history.InsertMsg(1001 + i % kFriends, 5001 + i % kGroups, tag.c_str(), 0, when.c_str(), 3, text.c_str());
        if (i % 20000 == 19999) {
            history.EndBatch();
            history.BeginBatch();
        }
    }
    history.EndBatch();
}

CDHtmlDialog* PageOf(HMODULE module, UINT html)
{
    for (HWND hwnd : GetModuleWindows(module))
        if (auto* page = dynamic_cast<CDHtmlDialog*>(CWnd::FromHandle(hwnd)))
            if (page->m_nHtmlResID == html && page->m_hWnd) return page;
    return nullptr;
}

std::string Text(CDHtmlDialog* page, const char* id)
{
    CString value;
    if (!page || page->GetElementProperty(id, DISPID_IHTMLELEMENT_INNERTEXT, value) != S_OK) return std::string();
    return value.GetString();
}

}  // namespace

int main(int argc, char** argv)
{
    const int lines = argc > 1 ? std::atoi(argv[1]) : 100000;
    if (lines < 1000) {
        std::fprintf(stderr, "usage: bench_quillon [lines >= 1000]\n");
        return 2;
    }
    if (!lumui::Start()) {
        std::fprintf(stderr, "bench_quillon: no display (run it under xvfb-run)\n");
        return 1;
    }
    const std::string folder = std::filesystem::temp_directory_path() / ("bench_quillon_" + std::to_string(getpid()));
    std::filesystem::create_directories(folder + "/www/upload/face");
    std::filesystem::create_directories(folder + "/www/upload/group");
    TestServices services;
    services.SetProgramFolder(folder + "/");
    standin::StandinWeb web;
    if (web.Start(0, folder + "/www") < 0) return 1;
    std::ofstream(folder + "/Lum.ini") << "[Web]\nBaseUrl=" << web.BaseUrl() << "\n";
    std::filesystem::copy_file(BENCH_QUILLON_FILE, folder + "/libQuillon.so");

    CFileDbUser users;
    CFileDbMsg history;
    if (users.Connect(kOwnId) != 1 || history.Connect(kOwnId) != 1) return 1;
    std::printf("seeding %d lines...\n", lines);
    Seed(users, history, lines);

    HMODULE module = LoadLibrary("Quillon.dll");
    auto show = PluginExport(module, QuillonExports::showQuillon);
    if (!show) {
        std::fprintf(stderr, "bench_quillon: cannot load the history module\n");
        return 1;
    }

    // A first opening warms the web view's process up; the second is timed.
    show(&history, &users, kOwnId);
    lumui::PumpUntil([&] { return Text(PageOf(module, 15002), "pane").find("ID号/群号") != std::string::npos; }, 30000);
    lumui::Pump(200);

    const double uiBefore = UiThreadRanMs(), webBefore = ChildrenRanMs();
    Clock::time_point t = Clock::now();
    show(&history, &users, kOwnId);
    const double showCallMs = ms(t);
    lumui::PumpUntil([&] { return !Text(PageOf(module, 15002), "treeType").empty(); }, 30000);
    const double treeMs = ms(t);
    const bool opened =
        lumui::PumpUntil([&] { return Text(PageOf(module, 15002), "pane").find("ID号/群号") != std::string::npos; }, 30000);
    const double openMs = ms(t);
    const double uiRanMs = UiThreadRanMs() - uiBefore, webRanMs = ChildrenRanMs() - webBefore;
    CDHtmlDialog* page = PageOf(module, 15002);
    if (!opened || !page) {
        std::fprintf(stderr, "bench_quillon: the window did not open\n");
        return 1;
    }
    lumui::Pump(200);

    // The friend with the most lines: 1001 (every 40th line, three in four).
    t = Clock::now();
    lumui::CallPageMethod(page, "showChatRecords", {"我的好友", "1001", "同学0", "所有分组", ""});
    const double firstMs = ms(t);
    const int pages = std::atoi(Text(page, "tPage").c_str());
    const bool firstShown = Text(page, "cPage") == "1" && Text(page, "pane").find("同学0") != std::string::npos;

    const int turns = 50;
    double turnMs = 0;
    bool turnsShown = true;
    for (int i = 0; i < turns; ++i) {
        const std::string next = std::to_string(2 + i * (pages - 2) / turns);
        t = Clock::now();
        lumui::CallPageMethod(page, "chanagePage", {next.c_str()});
        turnMs += ms(t);
        turnsShown = turnsShown && Text(page, "cPage") == next;
    }
    turnMs /= turns;

    // The store alone, for the same pages.
    double storeMs = 0;
    for (int i = 0; i < turns; ++i) {
        t = Clock::now();
        history.GetRecordCount(1001, 1, 1, "");
        char** table = nullptr;
        int rows = 0, cols = 0;
        history.getMsgRecords(1001, 1, 1, "", 1 + i * (pages - 2) / turns, &table, &rows, &cols);
        CFileDB::FreeRecord(table);
        storeMs += ms(t);
    }
    storeMs /= turns;

    std::printf("history lines:            %d (contact 1001: %d pages)\n", lines, pages);
    std::printf("open (tree + members):    %8.1f ms   target < 200 ms\n", openMs);
    std::printf("  of which window made:   %8.1f ms, tree shown at %.1f ms\n", showCallMs, treeMs);
    std::printf("  processor time meanwhile: UI thread %.1f ms, web engine's processes %.1f ms\n", uiRanMs, webRanMs);
    std::printf("first page of a contact:  %8.1f ms   target < 300 ms\n", firstMs);
    std::printf("page turn:                %8.2f ms   target < 50 ms\n", turnMs);
    std::printf("store query, same page:   %8.2f ms\n", storeMs);
    std::printf("page turn / store query:  %8.2f x\n", turnMs / storeMs);
    std::printf("pages shown as asked:     %s\n", firstShown && turnsShown ? "yes" : "NO");

    if (auto exit = PluginExport(module, PluginExports::ExitInstance)) exit();
    lumui::Pump(50);
    FreeLibrary(module);
    web.Stop();
    std::filesystem::remove_all(folder);
    return firstShown && turnsShown ? 0 : 1;
}
