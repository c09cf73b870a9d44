// Login against a web server that accepts and never answers: the real main
// window logs in through its login window against the stand-in service, from
// the click on the login button until the main window shows the friend list,
// while a 1 ms timer on the UI thread measures the longest time the loop did
// not come round (busy, less the time the thread waited for a processor or
// its loop for events; see tests/platform/UiProbe.h; and on the wall clock).
// The baseline is the same login in the same run against a web server that
// answers. Needs an X display (run under xvfb-run).
//
//   bench_login [runs, default 5]
#include "Lum/KivApp.h"
#include "Lum/KivDlg.h"
#include "Lum/LumResource.h"
#include "Lum/session/ServiceConnection.h"
#include "platform/config.h"
#include "platform/files.h"
#include "platform/uiapp.h"
#include "tests/platform/TestServices.h"
#include "tests/platform/UiProbe.h"
#include "tests/standin/StandinService.h"
#include "tests/standin/StandinWeb.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

double largest(const std::vector<double>& v)
{
    return v.empty() ? 0 : *std::max_element(v.begin(), v.end());
}

struct Figures {
    std::vector<double> login;  // click to the friend list shown
    std::vector<double> block;  // longest UI block meanwhile (busy)
    std::vector<double> wall;   // the same on the wall clock
};

}  // namespace

int main(int argc, char** argv)
{
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    setenv("WEBKIT_DISABLE_SANDBOX_THIS_IS_DANGEROUS", "1", 1);
    if (!lumui::Start()) {
        std::fprintf(stderr, "no display: run under xvfb-run -a\n");
        return 1;
    }
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("lum-bench-login-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder / "www");
    TestServices services;
    services.SetProgramFolder(folder.string() + "/");
    standin::StandinService service;
    std::string error;
    if (!service.LoadSeedFile(BENCH_SEED_FILE, &error) || service.Start(0) < 0) {
        std::fprintf(stderr, "stand-in service: %s\n", error.c_str());
        return 1;
    }
    standin::StandinWeb web;
    if (web.Start(0, (folder / "www").string()) < 0) return 1;
    const std::string ini = (folder / "Lum.ini").string();
    WritePrivateProfileString("Service", "Host", "127.0.0.1", ini.c_str());
    WritePrivateProfileString("Service", "Port", std::to_string(service.Port()).c_str(), ini.c_str());
    WritePrivateProfileString("Web", "BaseUrl", web.BaseUrl().c_str(), ini.c_str());
    SetServiceTimeouts(ServiceTimeouts{3000, 3000, 3000});
    services.SetExitWaitMs(20);
    services.SetMessageBox([](HWND, const CString&, const CString&, UINT) { return IDOK; });
    auto app = std::make_unique<CKivApp>();
    UiProbe probe;
    probe.Start();

    auto measure = [&](bool stalled, Figures& f, int count) {
        if (stalled) web.Stall("/");
        for (int i = 0; i < count; ++i) {
            auto main = std::make_unique<CKivDlg>();
            app->m_pMainWnd = main.get();
            if (!main->Create(IDD_KIV_DIALOG, nullptr)) {
                std::fprintf(stderr, "cannot create the main window\n");
                std::exit(1);
            }
            main->ShowWindow(SW_SHOW);
            // The program has started and its web engine with it.
            lumui::PumpUntil([] { return lumui::WebEngineStarted(); }, 10000);
            lumui::Pump(50);
            main->m_dlgLogin.m_editAccount.SetWindowText("13800000001");
            main->m_dlgLogin.m_editPassword.SetWindowText("123456");
            probe.Arm();
            const auto t0 = Clock::now();
            main->m_dlgLogin.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_BTN_LOGIN, BN_CLICKED), 0);
            const bool in = lumui::PumpUntil(
                [&] {
                    return !main->m_dlgLogining.IsWindowVisible() && main->m_nLoginsInFlight == 0 &&
                           main->m_listFriend.GetItemCount() == 3;
                },
                120000);
            main->UpdateWindow();
            f.login.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
            lumui::Pump(100);
            f.block.push_back(probe.Longest());
            f.wall.push_back(probe.LongestWall());
            if (!in) std::fprintf(stderr, "run %d: the login did not finish\n", i + 1);
            app->m_pMainWnd = nullptr;
            main->DestroyWindow();
            main.reset();
            lumui::Pump(30);
            // The window's exit call ends the session; the next run logs in afresh.
            lumui::PumpUntil([&] { return !service.IsOnline(10001); }, 10000);
        }
        if (stalled) web.Unstall();
    };
    // A first login warms the process up (fonts, the stores' files) and is
    // not counted.
    Figures warm, answering, stalled;
    measure(false, warm, 1);
    measure(false, answering, runs);
    measure(true, stalled, runs);

    probe.Stop();
    app.reset();
    web.Stop();
    service.Stop();
    SetServiceTimeouts(ServiceTimeouts());
    std::error_code ec;
    std::filesystem::remove_all(folder, ec);

    std::printf("Login from the click to the main window with its friends, median of %d runs\n", runs);
    auto report = [](const char* title, const Figures& f) {
        std::printf("  %s\n", title);
        std::printf("    click to main window:  %8.1f ms (max %.1f)\n", median(f.login), largest(f.login));
        std::printf("    longest UI block:      %8.2f ms (worst of the runs, median %.2f); on the wall clock %.2f ms\n",
                    largest(f.block), median(f.block), largest(f.wall));
    };
    report("web server answering (baseline):", answering);
    report("web server accepting and never answering:", stalled);
    std::printf("  stalled: longest UI block %.2f ms  (target < 50 ms) %s\n", largest(stalled.block),
                largest(stalled.block) < 50 ? "met" : "MISSED");
    return 0;
}
