// A friend list of 1,000 (or more) in the real main window: time from the
// service's reply to the list drawn with every friend, and the repaint of one
// scroll step, against a bare list control of the same size filled with the
// same texts as plain rows, in the same run. The reply is measured twice:
// with the real head loader (against a web stand-in that has no heads) and
// with head downloads off. A 1 ms timer on the UI thread gives the longest
// time the loop did not come round from the reply until every head was
// handled (less the time the UI thread waited for a processor or its loop for
// events; see tests/platform/UiProbe.h), and the same on the wall clock.
// Needs an X display (run under xvfb-run).
//
//   bench_friendlist [runs, default 5] [friends, default 1000]
#include "Lum/KivApp.h"
#include "Lum/KivDlg.h"
#include "Lum/KivMessages.h"
#include "Lum/LumResource.h"
#include "Lum/protocol/LumService.h"
#include "platform/files.h"
#include "platform/heads.h"
#include "platform/listctrl.h"
#include "platform/menu.h"
#include "platform/uiapp.h"
#include "platform/windc.h"
#include "tests/platform/UiProbe.h"
#include "tests/standin/StandinWeb.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

const int kOwnId = 1;
const int kFirstFriend = 20001;
int kFriends = 1000;
const int kScrollSteps = 100;

double ms(Clock::time_point from, Clock::time_point to = Clock::now())
{
    return std::chrono::duration<double, std::milli>(to - from).count();
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

double largest(const std::vector<double>& v)
{
    return v.empty() ? 0 : *std::max_element(v.begin(), v.end());
}

std::string Name(int k)
{
    static const char* family[] = {"张", "王", "李", "赵", "刘", "陈", "杨", "黄", "周", "吴", "徐", "孙"};
    static const char* given[] = {"伟", "芳", "娜", "敏", "静", "丽", "强", "磊", "洋", "艳", "勇",
                                  "军", "杰", "娟", "涛", "明", "超", "秀", "霞", "平", "刚", "桂"};
    return std::string(family[k % 12]) + given[(k / 12) % 22] + given[(k / 264 + k) % 22];
}

lum_thrift::StructFriendListResp BuildReply()
{
    static const char* signs[] = {"今天也要加油", "考研倒计时100天", "在图书馆，有事留言", "",
                                  "周末回家", "篮球队招人啦，有兴趣的私聊", "忙，勿扰"};
    static const char* cities[] = {"北京", "上海", "武汉", "成都", "西安"};
    lum_thrift::StructFriendListResp reply;
    reply.code = lum_thrift::ResultCode::SUCCESS;
    for (int k = 0; k < kFriends; ++k) {
        lum_thrift::StructFriend f;
        f.user.userid = kFirstFriend + k;
        f.user.phone = "139" + std::to_string(10000000 + k);
        f.user.name = Name(k);
        f.user.__set_note(signs[k % 7]);
        f.user.__set_city(cities[k % 5]);
        f.user.__set_img_time(k % 3 == 0 ? "20120901080000" : "");
        const int d = k % 10;
        f.user.__set_status(static_cast<lum_thrift::UserStatus::type>(d < 4 ? 2 : d < 6 ? 3 : d == 6 ? 1 : 0));
        if (k % 4 == 0) f.remark = "同学" + Name(k);
        reply.friendList.push_back(f);
    }
    return reply;
}

// The text a row of the friend list shows, for the bare list.
std::string RowText(const lum_thrift::StructFriend& f)
{
    return (f.remark.empty() ? f.user.name : f.remark) + "(" + std::to_string(f.user.userid) + ")";
}

class Host : public CWnd {
public:
    void OnPaint() override
    {
        CPaintDC dc(this);
        CRect r;
        GetClientRect(&r);
        dc.FillSolidRect(&r, RGB(255, 255, 255));
    }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(Host, CWnd)
    ON_WM_PAINT()
END_MESSAGE_MAP()

struct Figures {
    std::vector<double> shown;   // reply to drawn
    std::vector<double> scroll;  // one step to repainted
    std::vector<double> heads;   // reply to every head download handled
    std::vector<double> block;   // longest UI block from the reply until then (busy)
    std::vector<double> blockWall;  // the same on the wall clock
};

// Scrolls one row at a time from the top, timing each step to the repaint.
void Scroll(CListCtrl& list, std::vector<double>& out)
{
    list.SendMessage(WM_VSCROLL, SB_TOP, 0);
    list.UpdateWindow();
    lumui::Pump(0);
    for (int i = 0; i < kScrollSteps; ++i) {
        const auto t0 = Clock::now();
        list.SendMessage(WM_VSCROLL, SB_LINEDOWN, 0);
        list.UpdateWindow();
        out.push_back(ms(t0));
        lumui::Pump(0);
    }
}

}  // namespace

int main(int argc, char** argv)
{
    int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    if (argc > 2) kFriends = std::max(1, std::atoi(argv[2]));
    if (!lumui::Start()) {
        std::fprintf(stderr, "no display: run under xvfb-run -a\n");
        return 1;
    }
    const lum_thrift::StructFriendListResp reply = BuildReply();

    // The program folder, and a web stand-in with no head images.
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("lum-bench-friendlist-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder / "www");
    standin::StandinWeb web;
    if (web.Start(0, (folder / "www").string()) < 0) {
        std::fprintf(stderr, "cannot start the web stand-in\n");
        return 1;
    }
    {
        std::ofstream ini(folder / "Lum.ini");
        ini << "[Service]\nHost=127.0.0.1\nPort=1\n[Web]\nBaseUrl=" << web.BaseUrl() << "\n";
    }
    SetProgramFolderForTests((folder.string() + "/").c_str());
    CKivDlg::s_nExitWaitMs = 20;
    CKivUsersListCtrl::s_loadHead = [](CDataUser*) {};
    CKivGroupListCtrl::s_loadHead = [](CDataGroup*) {};
    CKivGroupListCtrl::s_storeGroup = [](CDataGroup*, void*) {};
    lumui::SetMessageBoxHook([](HWND, const CString&, const CString&, UINT) { return IDOK; });

    auto app = std::make_unique<CKivApp>();
    auto main = std::make_unique<CKivDlg>();
    app->m_pMainWnd = main.get();
    if (!main->Create(IDD_KIV_DIALOG, nullptr)) {
        std::fprintf(stderr, "cannot create the main window\n");
        return 1;
    }
    app->SetOwnUserId(kOwnId);
    if (main->m_dlgLogin.m_hWnd) main->m_dlgLogin.ShowWindow(SW_HIDE);
    main->m_layered.RemoveLayeredStyle(main->m_hWnd);
    main->ShowWindow(SW_SHOW);
    main->SelectTab(IDC_BTN_TAB_FRIENDS);
    lumui::Pump(100);
    CKivUsersListCtrl& list = main->m_listFriend;
    CRect listRect;
    list.GetWindowRect(&listRect);

    UiProbe probe;
    probe.Start();

    // Each run fills the list from empty into a fresh user store, as the
    // first reply after a login does.
    int store = 100;
    auto measure = [&](bool heads, Figures& f) {
        CKivUsersListCtrl::s_loadHead = heads ? std::function<void(CDataUser*)>(StartUserHeadDownload)
                                              : std::function<void(CDataUser*)>([](CDataUser*) {});
        for (int i = 0; i < runs; ++i) {
            list.DeleteAllUsers();
            main->ConnectUserStores(++store);
            // A new session: no head is known yet, as after a login.
            lumheads::ForgetHeads();
            list.SendMessage(WM_SIZE, 0, 0);
            list.UpdateWindow();
            lumui::Pump(50);
            probe.Arm();
            const auto t0 = Clock::now();
            main->SendMessage(UM_FRIEND_LIST, 0, reinterpret_cast<LPARAM>(&reply));
            // Drawn: every friend has a row and the list has painted.
            if (!lumui::PumpUntil([&] { return list.GetItemCount() == kFriends; }, 120000)) {
                std::fprintf(stderr, "the list holds %d rows\n", list.GetItemCount());
                std::exit(1);
            }
            list.UpdateWindow();
            f.shown.push_back(ms(t0));
            // Every head has been answered and handed to the list.
            lumui::PumpUntil([&] { return lumheads::PendingHeads() == 0; }, 120000);
            f.heads.push_back(ms(t0));
            lumui::Pump(20);
            f.block.push_back(probe.Longest());
            f.blockWall.push_back(probe.LongestWall());
            Scroll(list, f.scroll);
        }
    };
    // A first run warms the process up (fonts, the list's buffers, the
    // store's files) and is not counted.
    Figures off, on, warm;
    const int counted = runs;
    runs = 1;
    measure(false, warm);
    runs = counted;
    measure(false, off);
    measure(true, on);
    CKivUsersListCtrl::s_loadHead = [](CDataUser*) {};
    const int pageRows = list.GetCountPerPage();

    // Baseline: a plain list of the same size with the same texts.
    Figures bare;
    {
        Host host;
        host.CreateEx(0, nullptr, "bare", WS_POPUP | WS_VISIBLE, listRect.left, listRect.top, listRect.Width(),
                      listRect.Height(), nullptr, 0);
        CListCtrl plain;
        plain.Create(WS_CHILD | WS_VISIBLE | LVS_REPORT | LVS_SINGLESEL | LVS_NOCOLUMNHEADER,
                     CRect(0, 0, listRect.Width(), listRect.Height()), &host, 1017);
        plain.InsertColumn(0, "User", LVCFMT_LEFT, listRect.Width() - 2);
        lumui::Pump(50);
        for (int i = 0; i < runs; ++i) {
            plain.DeleteAllItems();
            plain.UpdateWindow();
            lumui::Pump(50);
            const auto t0 = Clock::now();
            for (const lum_thrift::StructFriend& f : reply.friendList) {
                const int row = plain.InsertItem(plain.GetItemCount(), RowText(f).c_str());
                plain.SetItemData(row, static_cast<DWORD_PTR>(f.user.userid));
            }
            plain.UpdateWindow();
            bare.shown.push_back(ms(t0));
            Scroll(plain, bare.scroll);
        }
        plain.DestroyWindow();
        host.DestroyWindow();
    }

    // The probe's floor: the longest gap while the loop has nothing to do.
    probe.Arm();
    lumui::Pump(500);
    const double idle = probe.LongestWall();
    probe.Stop();
    lumui::SetMessageBoxHook(nullptr);
    app->m_pMainWnd = nullptr;
    main->DestroyWindow();
    main.reset();
    lumui::Pump(30);
    app.reset();
    web.Stop();
    SetProgramFolderForTests("");
    std::error_code ec;
    std::filesystem::remove_all(folder, ec);

    const double bareShown = median(bare.shown), bareScroll = median(bare.scroll);
    auto verdict = [](bool ok) { return ok ? "met" : "MISSED"; };
    std::printf("Friend list of %d (%ld x %ld, %d rows to a page), median of %d runs, %d scroll steps each\n",
                kFriends, static_cast<long>(listRect.Width()), static_cast<long>(listRect.Height()), pageRows, runs,
                kScrollSteps);
    std::printf("  bare list, reply to drawn:             %8.2f ms\n", bareShown);
    std::printf("  bare list, scroll step:                %8.2f ms median, %6.2f ms max\n", bareScroll,
                largest(bare.scroll));
    const double drawnTarget = kFriends <= 1000 ? 100 : 500;
    auto report = [&](const char* title, const Figures& f, bool heads) {
        const double shown = median(f.shown), scroll = median(f.scroll), worst = largest(f.scroll);
        std::printf("  %s\n", title);
        std::printf("    reply to drawn:    %8.2f ms  (max %.2f)  ratio to bare %6.2f  (target < %.0f ms) %s\n", shown,
                    largest(f.shown), bareShown > 0 ? shown / bareShown : 0, drawnTarget,
                    verdict(largest(f.shown) < drawnTarget));
        std::printf("    scroll step:       %8.2f ms median, %6.2f ms max  ratio to bare %6.2f  (target < 16 ms) %s\n",
                    scroll, worst, bareScroll > 0 ? scroll / bareScroll : 0, verdict(worst < 16));
        if (heads)
            std::printf("    reply to every head handled: %8.2f ms\n", median(f.heads));
        std::printf("    longest UI block from the reply on:  %6.2f ms  (target < 16 ms) %s; on the wall clock %.2f ms\n",
                    largest(f.block), verdict(largest(f.block) < 16), largest(f.blockWall));
    };
    report("Lum friend list, head downloads off:", off, false);
    report("Lum friend list, real head downloads (the head loader; no heads on the web stand-in):", on, true);
    std::printf("  longest gap while idle:  %6.2f ms (500 ms of the UI loop with nothing to do: the probe's floor)\n", idle);
    return 0;
}
