// 1,000 received lines appended to an open one-to-one chat window, line by
// line as the main window hands them over (ShowUserMessage with the display
// markup of a percent-encoded body), against appending the same line HTML
// into a div of a bare page in a page window of the same layer, in the same
// run. Each line is one turn of the UI loop. Per line: the time of the call
// (median, p95, max) and the total. A 1 ms timer on the UI thread gives the
// longest stretch the toolkit loop did not come round (paint and input wait
// that long); each tick also posts work to the UI queue, whose longest wait
// is what posted messages wait. A third run appends to the emptied bare page
// and scrolls it to the end after each line, as the pane's page does, to
// show how much of the difference that accounts for. Needs an X display (run
// under xvfb-run).
//
//   bench_pane [lines, default 1000]
#include "bench/BenchMainWindow.h"

#include "Lum/chat/DlgChatMsgList.h"
#include "Lum/KivApp.h"
#include "Lum/KivDlg.h"
#include "Lum/chat/KivDlgChat.h"
#include "Lum/LumResource.h"
#include "Lum/chat/MessageBody.h"
#include "platform/config.h"
#include "platform/dhtml.h"
#include "platform/files.h"
#include "platform/menu.h"
#include "platform/resources.h"
#include "platform/uiapp.h"
#include "tests/standin/WireFormat.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include <unistd.h>

// The module of bench/pane/resources.txt (page_module.cpp).
HINSTANCE BenchPanePageModule();

namespace {

using Clock = std::chrono::steady_clock;

const int kOwnId = 10001;
const int kPeerId = 10002;
const UINT kBarePageTemplate = 61001;
const UINT kBarePage = 1;           // HTML 1 of bench/pane/resources.txt
const double kResponsiveMs = 100;   // longest UI block that still counts as responsive

double ms(Clock::time_point from, Clock::time_point to = Clock::now())
{
    return std::chrono::duration<double, std::milli>(to - from).count();
}

double Quantile(std::vector<double> v, double q)
{
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, static_cast<size_t>(q * static_cast<double>(v.size())))];
}

// A received body as this client's pane sends it: the text in a span with
// the sender's font.
std::string Body(int k)
{
    static const char* lines[] = {"周六下午体育馆见，记得带球拍", "作业第三题怎么做？", "晚上食堂二楼吃饭吗",
                                  "明天的实验课改到八点了", "收到，谢谢！", "图书馆四楼自习室还有位置"};
    return standin::PercentEncode("<span style=\"font-family:宋体;font-size:14px;color:#000000;font-weight:normal;"
                  "font-style:normal;text-decoration:none\">第" +
                  std::to_string(k) + "条：" + lines[k % 6] + "</span>");
}

// The gaps between ticks of a 1 ms timer on the UI thread, and the waits of
// work posted to the UI queue from those ticks.
class Probe : public CWnd {
public:
    void Arm()
    {
        last_ = Clock::now();
        longest_ = longestQueued_ = 0;
        ticks_ = 0;
        armed_ = true;
    }
    void Disarm() { armed_ = false; }
    double Longest() const { return longest_; }
    double LongestQueued() const { return longestQueued_; }
    long Ticks() const { return ticks_; }

    void OnTimer(UINT_PTR) override
    {
        const auto now = Clock::now();
        if (armed_) {
            longest_ = std::max(longest_, ms(last_, now));
            ++ticks_;
            if (!posted_) {
                posted_ = true;
                lumui::RunLater([this, now] {
                    posted_ = false;
                    if (armed_) longestQueued_ = std::max(longestQueued_, ms(now));
                });
            }
        }
        last_ = now;
    }

private:
    Clock::time_point last_;
    double longest_ = 0;
    double longestQueued_ = 0;
    long ticks_ = 0;
    bool armed_ = false;
    bool posted_ = false;
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(Probe, CWnd)
    ON_WM_TIMER()
END_MESSAGE_MAP()

// The bare page: a window of the pane's size showing bench/pane's page.
class BarePage : public CDHtmlDialog {
public:
    BarePage() : CDHtmlDialog(kBarePageTemplate, kBarePage) { m_hHtmlModule = BenchPanePageModule(); }
    void OnDocumentComplete(LPDISPATCH browser, LPCTSTR url) override
    {
        CDHtmlDialog::OnDocumentComplete(browser, url);
        loaded = true;
    }
    bool loaded = false;
};

struct Run {
    std::vector<double> perLine;  // ms a call
    double total = 0;             // first call to the page having taken the last line
    double longest = 0;           // longest gap between probe ticks
    double longestQueued = 0;     // longest wait of posted work
    long ticks = 0;
};

// Appends the lines one per turn of the UI loop, timing each call; `sync`
// returns once the page has taken every line.
template <class Append, class Sync>
Run Measure(Probe& probe, size_t lines, Append append, Sync sync)
{
    Run run;
    probe.Arm();
    const auto t0 = Clock::now();
    for (size_t k = 0; k < lines; ++k) {
        const auto t = Clock::now();
        append(k);
        run.perLine.push_back(ms(t));
        lumui::Pump(0);
    }
    sync();
    run.total = ms(t0);
    // What the lines left to lay out and paint is part of the run too.
    lumui::Pump(200);
    probe.Disarm();
    run.longest = probe.Longest();
    run.longestQueued = probe.LongestQueued();
    run.ticks = probe.Ticks();
    return run;
}

void Print(const char* name, const Run& r)
{
    std::printf("  %-22s %7.3f %7.3f %7.3f %9.1f %9.1f %9.1f\n", name, Quantile(r.perLine, 0.5),
                Quantile(r.perLine, 0.95), *std::max_element(r.perLine.begin(), r.perLine.end()), r.total,
                r.longest, r.longestQueued);
}

}  // namespace

int main(int argc, char** argv)
{
    // WebKitGTK's web process cannot set up its sandbox in this container;
    // the bench (a tool, not the program) turns it off for itself.
    setenv("WEBKIT_DISABLE_SANDBOX_THIS_IS_DANGEROUS", "1", 1);
    const size_t lines = argc > 1 ? static_cast<size_t>(std::max(1, std::atoi(argv[1]))) : 1000;
    if (!lumui::Start()) {
        std::fprintf(stderr, "no display: run under xvfb-run -a\n");
        return 1;
    }

    // The pages' fetches (head pictures) fail at once: nothing listens on port 1.
    BenchMainWindow bench("pane");
    if (!bench.Open("http://127.0.0.1:1", kOwnId, BenchMainWindow::Heartbeat::kStop)) return 1;
    CKivApp* app = bench.app.get();
    CKivDlg* main = bench.main.get();

    CDataUser friendRec;
    friendRec.m_nId = kPeerId;
    friendRec.m_bstrName = "李娜";
    friendRec.m_nGroupId = 1;
    main->m_listFriend.AddUser(&friendRec, 1);
    auto* peer = static_cast<CDataUser*>(main->m_listFriend.GetUser(kPeerId));
    main->m_listFriend.OpenChat(peer);
    auto* chat = dynamic_cast<CKivDlgChatUser*>(peer ? peer->m_dlgChat : nullptr);
    if (!chat) {
        std::fprintf(stderr, "cannot open the chat window\n");
        return 1;
    }

    // The display markup as the main window makes it for each body.
    std::vector<CString> display;
    for (size_t k = 0; k < lines; ++k) {
        DisplayRewrite rewrite;
        rewrite.filesFolder = app->m_strUserPath;
        rewrite.webBase = GetEndpointConfig().webBaseUrl;
        rewrite.gid = 1;
        display.push_back(DisplayMarkupOf(Body(static_cast<int>(k)), rewrite));
    }
    const CString time = "2024-03-01 14:05:10";
    // The line HTML the window makes of each, for the bare page: shown before
    // the pane's page has loaded, the lines wait in the pane's pending list.
    std::vector<CString> html;
    if (chat->m_dlgMsgList.m_nDocComplete == 0) {
        for (const CString& d : display) chat->ShowUserMessage(d, time);
        html.assign(chat->m_dlgMsgList.m_lstPending.begin(), chat->m_dlgMsgList.m_lstPending.end());
        chat->m_dlgMsgList.m_lstPending.clear();
    }
    if (html.size() != lines) {
        std::fprintf(stderr, "could not capture the line HTML (%zu of %zu)\n", html.size(), lines);
        return 1;
    }

    chat->SetWindowPos(nullptr, 20, 20, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    chat->ShowWindow(SW_SHOW);
    if (!lumui::PumpUntil([&] { return chat->m_dlgMsgList.m_nDocComplete != 0; }, 20000)) {
        std::fprintf(stderr, "the chat pane's page never loaded\n");
        return 1;
    }

    DialogTemplate tmpl;
    tmpl.id = kBarePageTemplate;
    tmpl.cx = 592;  // the pane's size
    tmpl.cy = 412;
    tmpl.style = WS_POPUP;
    tmpl.caption = "bare";
    RegisterDialogTemplate(AfxGetInstanceHandle(), tmpl);
    BarePage bare;
    if (!bare.Create(kBarePageTemplate, nullptr)) {
        std::fprintf(stderr, "cannot create the bare page window\n");
        return 1;
    }
    bare.SetWindowPos(nullptr, 640, 20, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    bare.ShowWindow(SW_SHOW);
    if (!lumui::PumpUntil([&] { return bare.loaded; }, 20000)) {
        std::fprintf(stderr, "the bare page never loaded\n");
        return 1;
    }

    Probe probe;
    probe.CreateEx(0, nullptr, "probe", WS_POPUP, 0, 0, 1, 1, nullptr, 0);
    probe.SetTimer(1, 1, nullptr);
    lumui::Pump(500);
    probe.Arm();
    lumui::Pump(500);
    probe.Disarm();
    const double idle = probe.Longest();

    // The bare page first, so that the pane does not run with a page already
    // holding 1,000 lines beside it.
    CString count;
    const Run base = Measure(
        probe, lines, [&](size_t k) { bare.CallScriptFunction("appendLine", html[k]); },
        [&] { bare.InvokeScriptMethod("lineCount", {}, &count); });
    // The bare page again, emptied, scrolling to the end after each line as
    // the pane's page does: how much of the difference that explains.
    bare.InvokeScriptMethod("clearLog");
    lumui::Pump(200);
    CString scrolledCount;
    const Run scrolled = Measure(
        probe, lines, [&](size_t k) { bare.CallScriptFunction("appendLineScrolled", html[k]); },
        [&] { bare.InvokeScriptMethod("lineCount", {}, &scrolledCount); });
    const Run pane = Measure(
        probe, lines, [&](size_t k) { chat->ShowUserMessage(display[k], time); },
        // A call the page does not know: returns once the page has run
        // everything before it.
        [&] { chat->m_dlgMsgList.InvokeScriptMethod("benchSync"); });

    std::printf("Appending %zu received lines to an open one-to-one chat pane, one per turn of the UI loop\n",
                lines);
    std::printf("  (line HTML %d bytes, e.g. %s)\n", html[0].GetLength(), html[0].GetString());
    std::printf("  %-22s %7s %7s %7s %9s %9s %9s\n", "", "median", "p95", "max", "total", "UI block", "queued");
    std::printf("  %-22s %7s %7s %7s %9s %9s %9s\n", "", "ms/line", "ms/line", "ms/line", "ms", "ms", "ms");
    Print("bare page (baseline)", base);
    Print("bare page + scroll", scrolled);
    Print("chat pane", pane);
    if (std::atoi(count.GetString()) != static_cast<int>(lines) ||
        std::atoi(scrolledCount.GetString()) != static_cast<int>(lines))
        std::printf("  the bare page held %s and %s lines, not %zu\n", count.GetString(), scrolledCount.GetString(),
                    lines);
    const double ratio = Quantile(base.perLine, 0.5) > 0 ? Quantile(pane.perLine, 0.5) / Quantile(base.perLine, 0.5) : 0;
    std::printf("  ratio pane/bare: median per line %.2f, total %.2f\n", ratio,
                base.total > 0 ? pane.total / base.total : 0);
    std::printf("  longest UI block: bare %.1f ms, pane %.1f ms (%ld and %ld probe ticks; idle floor %.1f ms)\n",
                base.longest, pane.longest, base.ticks, pane.ticks, idle);
    std::printf("  longest wait of posted work: bare %.1f ms, pane %.1f ms\n", base.longestQueued,
                pane.longestQueued);
    std::printf("  pane window stays responsive (longest UI block < %.0f ms): %s\n", kResponsiveMs,
                pane.longest < kResponsiveMs ? "yes" : "NO");

    probe.KillTimer(1);
    probe.DestroyWindow();
    bare.DestroyWindow();
    // The record takes its chat window, and the window its object, with it.
    main->m_listFriend.DeleteAllUsers();
    bench.Close();
    return 0;
}
