#include "tests/commands/CommandFixture.h"

#include "Lum/chat/DlgChatMsgList.h"
#include "Lum/contacts/KivGroupListCtrl.h"
#include "Lum/KivMessages.h"
#include "Lum/LumResource.h"
#include "Lum/session/ServiceConnection.h"
#include "Lum/session/Workers.h"
#include "platform/commdlg.h"
#include "platform/config.h"
#include "platform/files.h"
#include "platform/menu.h"
#include "platform/shell.h"
#include "platform/threads.h"
#include "tests/platform/UiWait.h"
#include "tests/standin/WebApi.h"

#include <sqlite3.h>

#include <algorithm>
#include <atomic>
#include <ctime>
#include <filesystem>
#include <fstream>

namespace commands {

namespace fs = std::filesystem;

namespace {

// The modules the program loads by name, copied beside the program.
const char* const kModules[] = {"Quillon", "Sorvan", "Parlet", "Vistel", "Adhor",
                                "Prefor",  "Bellwick", "Mievo", "Clanor"};

const standin::Value& EmptyValue()
{
    static const standin::Value empty;
    return empty;
}

std::string WindowText(HWND hwnd)
{
    CWnd* wnd = CWnd::FromHandle(hwnd);
    if (!wnd) return std::string();
    CString text;
    wnd->GetWindowText(text);
    return text.GetString();
}

}  // namespace

const standin::Value& ServiceCall::Arg(int16_t id) const
{
    const standin::Value* v = args.Field(id);
    return v ? *v : EmptyValue();
}

void CommandTest::SetUp()
{
    ASSERT_TRUE(lumui::Start());
    services_.SetProgramFolder(dir_.path() + "/");
    for (const char* name : kModules) {
        const std::string file = std::string("lib") + name + ".so";
        fs::copy_file(std::string(LUM_BIN_DIR) + "/" + file, dir_.file(file));
    }
    std::error_code ec;
    fs::copy(std::string(LUM_BIN_DIR) + "/theme", dir_.file("theme"), fs::copy_options::recursive, ec);
    fs::copy(std::string(LUM_BIN_DIR) + "/voice", dir_.file("voice"), fs::copy_options::recursive, ec);

    std::string error;
    ASSERT_TRUE(service_.LoadSeedFile(STANDIN_SEED_FILE, &error)) << error;
    // Somebody the own user does not know.
    standin::SeedUser zhao;
    zhao.id = kZhao;
    zhao.phone = "13800000006";
    zhao.password = "123456";
    zhao.name = "赵磊";
    ASSERT_TRUE(service_.AddUser(zhao));
    // A group the own user owns, with a friend and a member who is none.
    standin::SeedGroup own;
    own.gid = kOwnGroup;
    own.name = "学习小组";
    own.note = "一起学习";
    own.groupClass = "Orvane";
    own.style = 1;
    own.masterId = kOwn;
    own.members = {{kOwn, 1, ""}, {kLina, 0, ""}, {kChen, 0, ""}};
    ASSERT_TRUE(service_.AddGroup(own));
    ASSERT_GT(service_.Start(0), 0);
    web_ = std::make_unique<standin::StandinWeb>(&service_);
    standin::RegisterWebApi(*web_, service_);
    ASSERT_GT(web_->Start(0, LUM_STANDIN_WWW), 0);
    ASSERT_GT(rendezvous_.Start(0), 0);
    {
        std::ofstream ini(dir_.file("Lum.ini"));
        ini << "[Service]\nHost=127.0.0.1\nPort=" << service_.Port() << "\n[Web]\nBaseUrl=" << web_->BaseUrl()
            << "\n[Rendezvous]\nHost=127.0.0.1\nPort=" << rendezvous_.Port() << "\n";
    }
    SetServiceTimeouts(ServiceTimeouts{2000, 2000, 4000});
    services_.SetExitWaitMs(10);

    services_.SetMessageBox([this](HWND, const CString& text, const CString&, UINT) {
        boxes_.push_back(text.GetString());
        return answer_;
    });
    services_.SetShellExecute([this](const CString&, const CString& file, const CString&, const CString&, int) {
        opened_.push_back(file.GetString());
        return true;
    });
    services_.SetFileDialog([this](const CString&, DWORD) { return CString(fileChoice_.c_str()); });

    app_ = std::make_unique<CKivApp>();
    ASSERT_NO_FATAL_FAILURE(OpenMain());
}

void CommandTest::OpenMain()
{
    main_ = std::make_unique<CKivDlg>();
    app_->m_pMainWnd = main_.get();
    ASSERT_TRUE(main_->Create(IDD_KIV_DIALOG, nullptr));
    main_->ShowWindow(SW_SHOW);
    // The test gives the heartbeat itself.
    main_->KillTimer(2023);
    ASSERT_TRUE(uiwait::QueuedWorkDone());
    ASSERT_NO_FATAL_FAILURE(LogIn());
}

void CommandTest::TearDown()
{
    for (auto& timer : timers_)
        if (timer->m_hWnd) timer->DestroyWindow();
    timers_.clear();
    Quit();
    app_.reset();
    rendezvous_.Stop();
    if (web_) web_->Stop();
    service_.Stop();
    SetServiceTimeouts(ServiceTimeouts());
}

void CommandTest::LogIn()
{
    CKivDlgLogin& login = main_->m_dlgLogin;
    login.m_editAccount.SetWindowText("13800000001");
    login.m_editPassword.SetWindowText("123456");
    login.SendMessage(WM_COMMAND, MAKEWPARAM(IDC_BTN_LOGIN, BN_CLICKED), 0);
    ASSERT_TRUE(lumui::PumpUntil(
        [&] {
            return !main_->m_dlgLogining.IsWindowVisible() && main_->m_nLoginsInFlight == 0 &&
                   main_->m_listFriend.GetItemCount() == 3 && main_->m_listGroup.GetItemCount() == 3;
        },
        20000))
        << "not logged in: " << main_->m_listFriend.GetItemCount() << " friends, "
        << main_->m_listGroup.GetItemCount() << " groups";
    ASSERT_EQ(app_->GetOwnUserId(), kOwn);
    // What the login's answers queued has run.
    ASSERT_TRUE(uiwait::QueuedWorkDone());
}

// ---------------------------------------------------------------- windows

CWnd* CommandTest::WaitWindow(const std::string& caption, int timeoutMs)
{
    CWnd* found = nullptr;
    lumui::PumpUntil(
        [&] {
            for (HWND hwnd : lumui::VisibleTopLevelWindows())
                if (WindowText(hwnd) == caption) {
                    found = CWnd::FromHandle(hwnd);
                    return true;
                }
            return false;
        },
        timeoutMs);
    return found;
}

bool CommandTest::Shown(const std::string& caption)
{
    for (HWND hwnd : lumui::VisibleTopLevelWindows())
        if (WindowText(hwnd) == caption) return true;
    return false;
}

bool CommandTest::WaitGone(const std::string& caption, int timeoutMs)
{
    return lumui::PumpUntil([&] { return !Shown(caption); }, timeoutMs);
}

void CommandTest::CloseWindow(const std::string& caption)
{
    for (HWND hwnd : lumui::VisibleTopLevelWindows())
        if (WindowText(hwnd) == caption) ::SendMessage(hwnd, WM_CLOSE, 0, 0);
    EXPECT_TRUE(WaitGone(caption)) << caption;
}

void CommandTest::Shot(const std::string& name)
{
    fs::create_directories(SCREENSHOT_DIR);
    // The windows shown where the program put them, with what was queued
    // for them drawn.
    lumui::PumpUntil([] {
        for (HWND hwnd : lumui::VisibleTopLevelWindows())
            if (!lumui::IsOnScreen(hwnd)) return false;
        return true;
    });
    uiwait::QueuedWorkDone();
    lumui::SaveScreenImage((std::string(SCREENSHOT_DIR) + "/" + name).c_str());
}

CDHtmlDialog* CommandTest::PageOf(CWnd* frame, int timeoutMs)
{
    if (!frame || !frame->m_hWnd) return nullptr;
    CDHtmlDialog* page = nullptr;
    lumui::PumpUntil(
        [&] {
            for (HWND hwnd : lumui::DescendantWindows(frame->m_hWnd))
                if (auto* p = dynamic_cast<CDHtmlDialog*>(CWnd::FromHandle(hwnd)))
                    if (p->m_hWnd && !p->m_strCurrentUrl.IsEmpty()) page = p;
            return page && Eval(page, "document.readyState") == "complete";
        },
        timeoutMs);
    return page;
}

std::string CommandTest::Eval(CDHtmlDialog* page, const std::string& expression)
{
    if (!page || !page->m_hWnd) return std::string();
    CString out;
    const std::string code = "String(" + expression + ")";
    if (page->InvokeScriptMethod("eval", {CString(code.c_str())}, &out) != S_OK) return std::string();
    return out.GetString();
}

bool CommandTest::WaitEval(CDHtmlDialog* page, const std::string& expression, const std::string& expected,
                           int timeoutMs)
{
    return lumui::PumpUntil([&] { return Eval(page, expression) == expected; }, timeoutMs);
}

bool CommandTest::WaitPainted(CDHtmlDialog* page)
{
    Eval(page, "window.framesDrawn = 0, requestAnimationFrame(function () { requestAnimationFrame(function () { "
               "window.framesDrawn = 2; }); }), 1");
    return WaitEval(page, "window.framesDrawn", "2");
}

namespace {

// Runs a step from a timer (timers fire inside modal loops too) until the
// step says it is done; the window goes once the step is done.
class StepTimer : public CWnd {
public:
    explicit StepTimer(std::function<bool()> step) : step_(std::move(step)) {}
    void OnTimer(UINT_PTR) override
    {
        if (!step_ || !step_()) return;
        step_ = nullptr;
        KillTimer(1);
    }
    DECLARE_MESSAGE_MAP()

private:
    std::function<bool()> step_;
};

BEGIN_MESSAGE_MAP(StepTimer, CWnd)
    ON_WM_TIMER()
END_MESSAGE_MAP()

}  // namespace

void CommandTest::WhenModalShows(const std::string& caption, std::function<void(CWnd*)> work, bool* seen)
{
    *seen = false;
    // No deadline: the window's modal loop ends only through `work`, so a
    // window that shows late must still be answered. The step goes at the
    // end of the test if the window never showed.
    auto timer = std::make_shared<StepTimer>([caption, work, seen] {
        for (HWND hwnd : lumui::VisibleTopLevelWindows())
            if (WindowText(hwnd) == caption) {
                *seen = true;
                work(CWnd::FromHandle(hwnd));
                return true;
            }
        return false;
    });
    if (!timer->CreateEx(0, nullptr, "step", WS_POPUP, 0, 0, 1, 1, nullptr, 0)) return;
    timer->SetTimer(1, 50, nullptr);
    timers_.push_back(timer);
}

// ---------------------------------------------------------------- menus and buttons

bool CommandTest::ChooseFromMenu(const std::function<void()>& open, UINT id, std::vector<UINT>* offered)
{
    struct State {
        bool seen = false, chosen = false, late = false;
        std::vector<UINT> ids;
    };
    auto state = std::make_shared<State>();
    // A timer step (timers run inside the popup's own loop) answers the
    // popup once it is open. There is no deadline after which it stops
    // looking: a popup nobody answers would hold the test for good.
    auto timer = std::make_shared<StepTimer>([state, id] {
        if (!lumui::OpenPopupMenu()) return false;
        state->seen = true;
        if (state->late) {
            // A popup that opened after the command was given up on.
            lumui::SendKey(lumui::OpenPopupMenu(), VK_ESCAPE);
            return true;
        }
        state->ids = lumui::OpenPopupMenuCommands();
        state->chosen = lumui::ChooseOpenMenuCommand(id);
        if (!state->chosen) lumui::SendKey(lumui::OpenPopupMenu(), VK_ESCAPE);
        return true;
    });
    if (!timer->CreateEx(0, nullptr, "step", WS_POPUP, 0, 0, 1, 1, nullptr, 0)) return false;
    timer->SetTimer(1, 50, nullptr);
    // `open` shows the popup and returns when it closed, or it posts what
    // shows it: then the popup shows (and is answered) while this pumps.
    open();
    lumui::PumpUntil([&] { return state->seen; }, 5000);
    if (state->seen) {
        timer->DestroyWindow();
    } else {
        state->late = true;
        timers_.push_back(timer);
    }
    // The chosen command has run.
    uiwait::QueuedWorkDone();
    if (offered) *offered = state->ids;
    return state->chosen;
}

void CommandTest::RightClick(CListCtrl& list, int row)
{
    CRect r;
    if (row >= 0) {
        list.GetItemRect(row, &r, LVIR_BOUNDS);
    } else {
        list.GetClientRect(&r);
        r.top = r.bottom - 4;
    }
    CPoint at(r.left + 20, r.top + r.Height() / 2);
    list.ClientToScreen(&at);
    lumui::SendMouse(list.m_hWnd, WM_RBUTTONDOWN, at.x, at.y, MK_RBUTTON);
    lumui::SendMouse(list.m_hWnd, WM_RBUTTONUP, at.x, at.y);
}

void CommandTest::DoubleClick(CListCtrl& list, int row)
{
    CRect r;
    list.GetItemRect(row, &r, LVIR_BOUNDS);
    CPoint at(r.left + 20, r.top + r.Height() / 2);
    list.ClientToScreen(&at);
    lumui::SendMouse(list.m_hWnd, WM_LBUTTONDOWN, at.x, at.y, MK_LBUTTON);
    lumui::SendMouse(list.m_hWnd, WM_LBUTTONUP, at.x, at.y);
    lumui::SendMouse(list.m_hWnd, WM_LBUTTONDBLCLK, at.x, at.y, MK_LBUTTON);
    lumui::SendMouse(list.m_hWnd, WM_LBUTTONUP, at.x, at.y);
    uiwait::QueuedWorkDone();
}

void CommandTest::ClickRow(CListCtrl& list, int row)
{
    CRect r;
    list.GetItemRect(row, &r, LVIR_BOUNDS);
    CPoint at(r.left + 20, r.top + r.Height() / 2);
    list.ClientToScreen(&at);
    lumui::SendMouse(list.m_hWnd, WM_LBUTTONDOWN, at.x, at.y, MK_LBUTTON);
    lumui::SendMouse(list.m_hWnd, WM_LBUTTONUP, at.x, at.y);
    uiwait::QueuedWorkDone();
}

void CommandTest::Quit()
{
    if (!main_) return;
    app_->m_pMainWnd = nullptr;
    if (main_->m_hWnd) main_->DestroyWindow();
    main_.reset();
    uiwait::QueuedWorkDone();
}

void CommandTest::ClickElement(CDHtmlDialog* page, const std::string& id)
{
    // The click runs from the page's own loop once this call into the page
    // has returned, and the page counts it once its handlers have run.
    const HWND hwnd = page->m_hWnd;
    const char kClicked[] = "window.lumTestClicked || 0";
    const std::string before = Eval(page, kClicked);
    Eval(page, "setTimeout(function(){try{document.getElementById('" + id +
                   "').click();}finally{window.lumTestClicked=(window.lumTestClicked||0)+1;}},0),1");
    EXPECT_TRUE(lumui::PumpUntil([&] { return !::IsWindow(hwnd) || Eval(page, kClicked) != before; }, 10000))
        << "the page did not handle the click on " << id;
    // What the handlers asked of the program runs before the test goes on.
    if (::IsWindow(hwnd)) page->DispatchPendingCalls();
    uiwait::QueuedWorkDone();
}

void CommandTest::ClickControl(CWnd& control)
{
    CRect r;
    control.GetWindowRect(&r);
    const CPoint at = r.CenterPoint();
    lumui::SendMouse(control.m_hWnd, WM_MOUSEMOVE, at.x, at.y);
    lumui::SendMouse(control.m_hWnd, WM_LBUTTONDOWN, at.x, at.y, MK_LBUTTON);
    lumui::SendMouse(control.m_hWnd, WM_LBUTTONUP, at.x, at.y);
    uiwait::QueuedWorkDone();
}

int CommandTest::RowOf(CListCtrl& list, int id)
{
    for (int i = 0; i < list.GetItemCount(); ++i)
        if (static_cast<int>(list.GetItemData(i)) == id) return i;
    return -1;
}

bool CommandTest::RowCommand(CListCtrl& list, int itemId, UINT id, std::vector<UINT>* offered)
{
    const int row = RowOf(list, itemId);
    EXPECT_GE(row, 0) << "no row for " << itemId;
    if (row < 0) return false;
    return ChooseFromMenu([&] { RightClick(list, row); }, id, offered);
}

// ---------------------------------------------------------------- chat windows

CKivDlgChatUser* CommandTest::ChatOf(CKivUsersListCtrl& list, int id)
{
    CData* rec = list.GetUser(id);
    return rec ? dynamic_cast<CKivDlgChatUser*>(rec->m_dlgChat) : nullptr;
}

CKivDlgChatGroup* CommandTest::GroupChatOf(int gid)
{
    CDataGroup* group = main_->m_listGroup.GetGroup(gid);
    return group ? dynamic_cast<CKivDlgChatGroup*>(group->m_dlgChat) : nullptr;
}

bool CommandTest::WaitPage(CDlgChatMsgListBase& pane)
{
    return lumui::PumpUntil([&] { return pane.m_hWnd && pane.m_nDocComplete != 0; }, 20000);
}

std::string CommandTest::History(CDlgChatMsgListBase& pane)
{
    if (!WaitPage(pane)) return std::string();
    CString out;
    pane.InvokeScriptMethod("eval", {"document.getElementById('MsgHistoryIFrame').contentDocument.body.innerHTML"},
                            &out);
    return out.GetString();
}

bool CommandTest::WaitHistory(CDlgChatMsgListBase& pane, const std::string& part, int timeoutMs)
{
    return lumui::PumpUntil([&] { return History(pane).find(part) != std::string::npos; }, timeoutMs);
}

// ---------------------------------------------------------------- the stand-ins

std::vector<ServiceCall> CommandTest::ServiceCalls(const std::string& method) const
{
    std::vector<ServiceCall> calls;
    for (const auto& r : service_.Requests()) {
        if (r.method != method || r.frame.size() < 4) continue;
        try {
            const standin::Message m = standin::DecodeMessage(r.frame.substr(4));
            calls.push_back({r.method, m.body});
        } catch (const standin::WireError&) {
            calls.push_back({r.method, standin::Value()});
        }
    }
    return calls;
}

bool CommandTest::WaitServiceCalls(const std::string& method, size_t n, int timeoutMs)
{
    const bool reached = lumui::PumpUntil([&] { return ServiceCalls(method).size() >= n; }, timeoutMs);
    // Every call the service got is answered and its answer handled: a call
    // made once too often would be among them by then.
    lumui::PumpUntil([&] { return static_cast<size_t>(service_.Answered(method)) >= ServiceCalls(method).size(); },
                     timeoutMs);
    uiwait::QueuedWorkDone();
    return reached && ServiceCalls(method).size() == n;
}

std::vector<standin::WebRequest> CommandTest::WebCalls(const std::string& path) const
{
    std::vector<standin::WebRequest> out;
    for (const auto& r : web_->Requests())
        if (r.path == path) out.push_back(r);
    return out;
}

bool CommandTest::WaitWebCall(const std::string& path, int timeoutMs)
{
    return lumui::PumpUntil([&] { return !WebCalls(path).empty(); }, timeoutMs);
}

void CommandTest::Receive(int from, int gid, const std::string& content)
{
    standin::PendingMessage m;
    m.fromid = from;
    m.toid = kOwn;
    m.gid = gid;
    char stamp[32];
    const time_t now = time(nullptr);
    strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", localtime(&now));
    m.sendTime = stamp;
    m.content = standin::PercentEncode(content);
    m.msgType = 0;
    service_.AddPending(kOwn, m);
    Heartbeat();
}

void CommandTest::ReceiveGroup(int from, int gid, const std::string& content)
{
    standin::PendingMessage m;
    m.fromid = from;
    m.toid = kOwn;
    m.gid = gid;
    char stamp[32];
    const time_t now = time(nullptr);
    strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", localtime(&now));
    m.sendTime = stamp;
    m.content = standin::PercentEncode(content);
    m.msgType = 1;
    service_.AddPending(kOwn, m);
    Heartbeat();
}

namespace {

// Heartbeats of the tests that have ended: the client's heartbeat hands
// every item of the reply to the UI thread and waits until it was handled,
// so once it ended the client has taken in what the service delivered.
std::atomic<int> g_heartbeatsEnded{0};

UINT HeartbeatThatTellsItsEnd(LPVOID param)
{
    const UINT result = ThreadMaintainOnline(param);
    ++g_heartbeatsEnded;
    return result;
}

}  // namespace

void CommandTest::Heartbeat()
{
    // The service's handing the messages over is not enough: the client
    // may still be reading the reply while the test goes on.
    const int before = g_heartbeatsEnded;
    AfxBeginThread(HeartbeatThatTellsItsEnd, nullptr);
    EXPECT_TRUE(lumui::PumpUntil([&] { return g_heartbeatsEnded > before; }, 8000));
    EXPECT_TRUE(service_.Pending(kOwn).empty());
}

// ---------------------------------------------------------------- the stores

int CommandTest::StoreCount(const std::string& store, const std::string& sql) const
{
    const std::string path = store == "KivSys.dll" ? dir_.file(store) : dir_.file(std::to_string(kOwn) + "/" + store);
    sqlite3* db = nullptr;
    int value = -1;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr) == SQLITE_OK && sqlite3_step(st) == SQLITE_ROW)
            value = sqlite3_column_int(st, 0);
        sqlite3_finalize(st);
    }
    sqlite3_close(db);
    return value;
}

}  // namespace commands
