// The settings plug-in through its exports: the window over a seeded system
// store, what OK and Apply write (only what changed, under the right user),
// the page's rules for hotkeys and reply texts, the choosers, and the black
// list and SMS hours kept on the stand-in web server.
#include "Common/stores/FileDbSys.h"
#include "platform/commdlg.h"
#include "plugins/common/PluginFrame.h"
#include "platform/config.h"
#include "plugins/Prefor/PreforExports.h"
#include "tests/plugins/PluginTestKit.h"
#include "tests/standin/StandinService.h"
#include "tests/standin/WebApi.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace {

const int kOwnId = 10003;
const int kOtherId = 10001;
const UINT kSettingsChanged = 10027;
const UINT kBlackListRemoved = 10034;
const UINT kPage = 5002;

// The main window as the plug-in sees it: counts what it is sent, and reads
// the store the moment it is told that settings changed, as the main window
// does.
class Receiver : public CWnd {
public:
    int settingsChanged = 0;
    std::vector<std::string> removed;
    std::function<void()> onSettingsChanged;

    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        if (message == kSettingsChanged) {
            ++settingsChanged;
            if (onSettingsChanged) onSettingsChanged();
        }
        if (message == kBlackListRemoved)
            removed.push_back(wParam ? reinterpret_cast<const CString*>(wParam)->GetString() : "(null)");
        return CWnd::WindowProc(message, wParam, lParam);
    }
};

class PreforTest : public plugintest::PluginTest {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(OpenProgramFolder());
        ASSERT_TRUE(service_.LoadSeedFile(SEED_FILE));
        service_.AddToBlackList(kOwnId, kOtherId);
        standin::RegisterWebApi(web_, service_);
        std::filesystem::create_directories(dir_.file("www"));
        ASSERT_TRUE(ServeWeb(web_, dir_.file("www")));
        InstallModule(PREFOR_FILE, "Prefor");
        ASSERT_EQ(store_.Connect(), 1);
        ASSERT_TRUE(receiver_.CreateEx(0, "", "main", WS_POPUP, 0, 0, 10, 10, nullptr, 0));
        receiver_.onSettingsChanged = [this] { rowsAtChange_ = Rows(); };
        RecordMessageBoxes();
        ASSERT_TRUE(LoadModule("Prefor"));
    }

    void TearDown() override
    {
        UnloadModule();
        receiver_.DestroyWindow();
        CloseProgramFolder();
    }

    // Opens the settings window through `which` (Show or ShowBlackList).
    void Show(decltype(PreforExports::Show)& which, int userId = kOwnId)
    {
        auto show = Export(which);
        ASSERT_NE(show, nullptr);
        EXPECT_EQ(show(userId, &store_, receiver_.m_hWnd), 0);
        const std::string id = std::to_string(userId);
        ASSERT_TRUE(lumui::PumpUntil([&] { return Page(kPage) && Eval("uID") == id && Eval("typeof current") == "string"; },
                                     20000));
        // The three reads from the web server.
        ASSERT_TRUE(lumui::PumpUntil([&] { return Eval("allowAdd") != "" && Eval("blockStart") != ""; }, 10000));
        ASSERT_TRUE(PageRequestsDone(Page(kPage)));
    }

    // Runs page script (in the page's global scope) and gives its result.
    std::string Eval(const std::string& code)
    {
        CDHtmlDialog* page = Page(kPage);
        if (!page) return std::string();
        CString result;
        if (page->InvokeScriptMethod("eval", {CString(code.c_str())}, &result) != S_OK) return "(failed)";
        return result.GetString();
    }

    void Press(UINT id)
    {
        CWnd* frame = ShownFrame();
        ASSERT_NE(frame, nullptr);
        CDHtmlDialog* page = Page(kPage);
        const HWND pageWindow = page ? page->m_hWnd : nullptr;
        frame->SendMessage(WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0);
        // What the button set off is answered and handled (unless it closed
        // the window).
        if (pageWindow && ::IsWindow(pageWindow))
            EXPECT_TRUE(PageRequestsDone(page));
        else
            EXPECT_TRUE(uiwait::QueuedWorkDone());
    }

    // Every row of the Prefor table: "user/key" -> value.
    std::map<std::string, std::string> Rows()
    {
        std::map<std::string, std::string> out;
        sqlite3* db = nullptr;
        if (sqlite3_open(dir_.file("KivSys.dll").c_str(), &db) != SQLITE_OK) return out;
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(db, "select userid, key, value from Prefor", -1, &st, nullptr);
        while (st && sqlite3_step(st) == SQLITE_ROW) {
            const char* value = reinterpret_cast<const char*>(sqlite3_column_text(st, 2));
            out[std::to_string(sqlite3_column_int(st, 0)) + "/" + reinterpret_cast<const char*>(sqlite3_column_text(st, 1))] =
                value ? value : "";
        }
        sqlite3_finalize(st);
        sqlite3_close(db);
        return out;
    }

    standin::StandinService service_;
    standin::StandinWeb web_{&service_};
    CFileDbSys store_;
    Receiver receiver_;
    // The store as the main window found it when told that settings changed.
    std::map<std::string, std::string> rowsAtChange_;
};

}  // namespace

TEST_F(PreforTest, OpensOnTheStoredValuesAndOkWritesOnlyWhatChanged)
{
    // Settings of every page, and of another account on the same computer.
    for (auto kv : std::map<std::string, std::string>{{"Status_IdleTime", "10"},
                                                       {"Status_ReplyTo", "1"},
                                                       {"Status_ReplyIndex", "2"},
                                                       {"Status_ReplyList", "开会|吃饭|<b>睡觉</b>"},
                                                       {"Trans_SavePath", "/home/me/收到的文件"},
                                                       {"Trans_SafeFile", "none"},
                                                       {"Hotkey_ReadMsg", "Ctrl+Alt+Z"},
                                                       {"Hotkey_SendMsg", "1"},
                                                       {"Sound_MsgRemind", "1"},
                                                       {"Basic_PanelClose", "1"}})
        ASSERT_EQ(store_.InsertSysSet(kOwnId, kv.first.c_str(), kv.second.c_str()), 1);
    ASSERT_EQ(store_.InsertSysSet(kOtherId, "Basic_AlwaysTop", "1"), 1);
    const auto before = Rows();

    Show(PreforExports::Show);
    CWnd* frame = ShownFrame();
    ASSERT_NE(frame, nullptr);
    CString caption;
    frame->GetWindowText(caption);
    EXPECT_EQ(caption, "系统设置");
    // The caption has the whole width of the frame to be drawn in.
    EXPECT_EQ(static_cast<CPluginFrame*>(frame)->CaptionArea().Width, 500.0f);
    CRect r;
    frame->GetWindowRect(&r);
    EXPECT_EQ(r, CRect(250, 250, 750, 650));
    CRect pageRect;
    Page(kPage)->GetWindowRect(&pageRect);
    frame->ScreenToClient(&pageRect);
    EXPECT_EQ(pageRect, CRect(4, 30, 496, 370));
    CWnd* ok = frame->GetDlgItem(1);
    ASSERT_NE(ok, nullptr);
    CRect okRect;
    ok->GetWindowRect(&okRect);
    frame->ScreenToClient(&okRect);
    EXPECT_EQ(okRect, CRect(190, 372, 260, 398));
    // Larger: the page grows, the buttons keep to the bottom right.
    frame->MoveWindow(200, 200, 640, 480);
    EXPECT_TRUE(lumui::PumpUntil([&] {
        Page(kPage)->GetWindowRect(&pageRect);
        frame->ScreenToClient(&pageRect);
        return pageRect == CRect(4, 30, 636, 450);
    }));
    EXPECT_EQ(pageRect, CRect(4, 30, 636, 450));
    frame->GetDlgItem(5000)->GetWindowRect(&okRect);
    frame->ScreenToClient(&okRect);
    EXPECT_EQ(okRect, CRect(550, 452, 620, 478));
    frame->MoveWindow(250, 250, 500, 400);
    EXPECT_TRUE(lumui::PumpUntil([&] {
        Page(kPage)->GetWindowRect(&pageRect);
        frame->ScreenToClient(&pageRect);
        return pageRect == CRect(4, 30, 496, 370);
    }));

    // Each page shows what is stored (the status and transfer pages too).
    EXPECT_EQ(Eval("current"), "basic");
    EXPECT_EQ(Eval("byId('chkAlwaysTop').checked"), "false");  // the other account's choice
    EXPECT_EQ(Eval("byId('rdPanelHide').checked"), "true");
    EXPECT_EQ(Eval("byId('rdReadUse').checked && byId('chkReadCtrl').checked && byId('chkReadAlt').checked"), "true");
    EXPECT_EQ(Eval("byId('txtReadKey').value"), "Z");
    EXPECT_EQ(Eval("byId('rdCutNone').checked && byId('txtCutKey').disabled"), "true");
    EXPECT_EQ(Eval("byId('rdSendCtrlEnter').checked"), "true");
    EXPECT_EQ(Eval("byId('chkIdle').checked + ',' + byId('selIdle').value"), "true,10");
    EXPECT_EQ(Eval("byId('rdReplyToSms').checked"), "true");
    EXPECT_EQ(Eval("byId('chkReply').checked + ',' + byId('selReply').value"), "true,2");
    EXPECT_EQ(Eval("byId('replyList').textContent"), "1.开会2.吃饭3.<b>睡觉</b>");
    EXPECT_EQ(Eval("byId('replyList').getElementsByTagName('b').length"), "0");
    EXPECT_EQ(Eval("byId('chkMsgRemind').checked"), "false");
    EXPECT_EQ(Eval("byId('txtSavePath').value"), "/home/me/收到的文件");
    EXPECT_EQ(Eval("byId('rdSafeNone').checked"), "true");
    Shot("prefor_basic.png");

    // One change on the basic page; OK writes that key only.
    Eval("byId('chkAlwaysTop').click()");
    Press(1);
    auto after = before;
    after[std::to_string(kOwnId) + "/Basic_AlwaysTop"] = "1";
    EXPECT_EQ(Rows(), after);
    EXPECT_EQ(receiver_.settingsChanged, 1);
    // The main window reads the new value when it is told.
    EXPECT_EQ(rowsAtChange_, after);
    EXPECT_EQ(Page(kPage), nullptr);
    EXPECT_EQ(ShownFrame(), nullptr);

    // OK with nothing changed writes nothing and still tells the main window.
    Show(PreforExports::Show);
    EXPECT_EQ(Eval("byId('chkAlwaysTop').checked"), "true");
    Press(1);
    EXPECT_EQ(Rows(), after);
    EXPECT_EQ(receiver_.settingsChanged, 2);

    // The other account still sees its own choice.
    Show(PreforExports::Show, kOtherId);
    EXPECT_EQ(Eval("byId('chkAlwaysTop').checked"), "true");
    EXPECT_EQ(Eval("byId('rdReadNone').checked"), "true");
    Press(2);  // Cancel
    EXPECT_EQ(ShownFrame(), nullptr);
    EXPECT_EQ(receiver_.settingsChanged, 2);
}

TEST_F(PreforTest, ApplySavesTheShownPageWithTheAutoLoginAndHotkeyRules)
{
    Show(PreforExports::Show);
    // Automatic login: the own id and a blank under user 0, "0" when off.
    Eval("byId('chkAutoLogin').click(); byId('chkAutoStart').click()");
    Press(5000);
    EXPECT_EQ(rowsAtChange_["0/Basic_AutoLogin"], "10003 ");
    EXPECT_EQ(rowsAtChange_["0/Basic_AutoStart"], "1");
    EXPECT_EQ(store_.GetSysSet(0, "Basic_AutoLogin"), "10003 ");
    EXPECT_EQ(store_.GetSysSet(0, "Basic_AutoStart"), "1");
    EXPECT_EQ(store_.GetSysSet(kOwnId, "Basic_AutoLogin"), "");
    EXPECT_EQ(receiver_.settingsChanged, 1);
    ASSERT_NE(ShownFrame(), nullptr);  // Apply keeps the window
    Eval("byId('chkAutoLogin').click()");
    Press(5000);
    EXPECT_EQ(store_.GetSysSet(0, "Basic_AutoLogin"), "0");

    // A hotkey without Ctrl or Alt is refused and leaves the stored one.
    ASSERT_EQ(store_.InsertSysSet(kOwnId, "Hotkey_ReadMsg", "Alt+Q"), 1);
    Eval("showPage('hotkey')");
    Eval("byId('rdReadUse').click(); byId('chkReadCtrl').checked = false; byId('chkReadAlt').checked = false;"
         "byId('txtReadKey').value = 'x'");
    boxes_.clear();
    Press(5000);
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_EQ(boxes_[0], "读取信息热键设置有误,请选择功能键!");
    EXPECT_EQ(store_.GetSysSet(kOwnId, "Hotkey_ReadMsg"), "Alt+Q");
    // Without a letter.
    Eval("byId('chkReadCtrl').checked = true; byId('txtReadKey').value = ''");
    boxes_.clear();
    Press(5000);
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_EQ(boxes_[0], "读取信息热键设置有误,请选择字母键!");
    // A lower-case letter is stored upper-case.
    Eval("byId('txtReadKey').value = 'q'; byId('chkCutCtrl').checked = false");
    boxes_.clear();
    Press(5000);
    EXPECT_TRUE(boxes_.empty());
    EXPECT_EQ(store_.GetSysSet(kOwnId, "Hotkey_ReadMsg"), "Ctrl+Q");

    // Apply saves only the page shown: a change left on the sound page waits
    // for OK.
    Eval("showPage('sound'); byId('chkMsgRemind').click(); showPage('basic')");
    Press(5000);
    EXPECT_EQ(store_.GetSysSet(kOwnId, "Sound_MsgRemind"), "");
    Press(1);
    EXPECT_EQ(store_.GetSysSet(kOwnId, "Sound_MsgRemind"), "1");
}

TEST_F(PreforTest, AutomaticReplyTextsKeepTheirLimits)
{
    Show(PreforExports::Show);
    Eval("showPage('status')");
    EXPECT_EQ(Eval("replyTexts.length"), "1");
    // The last text cannot be deleted; nothing selected cannot be deleted.
    boxes_.clear();
    Eval("deleteReply()");
    Eval("replySelected = 0; deleteReply()");
    ASSERT_TRUE(uiwait::QueuedWorkDone());
    ASSERT_EQ(boxes_.size(), 2u);
    EXPECT_EQ(boxes_[0], "请选择要删除的选项!");
    EXPECT_EQ(boxes_[1], "回复内容不能为空，无法删除该项!");

    // A bar in a new text becomes a capital I (the first one only).
    for (const char* text : {"a|b|c", "二", "三", "四"}) Eval(std::string("addReply(); acceptReply('") + text + "')");
    EXPECT_EQ(Eval("replyTexts.join('/')"), "有事离开,请您留言!/aIb|c/二/三/四");
    EXPECT_EQ(Eval("byId('selReply').options.length"), "5");
    boxes_.clear();
    Eval("addReply()");
    Eval("acceptReply('123456789012345678901')");  // not reached: five texts stand
    ASSERT_GE(boxes_.size(), 1u);
    EXPECT_EQ(boxes_[0], "回复语已达最大值,请删除后再进行添加!");
    EXPECT_EQ(Eval("replyTexts.length"), "5");

    // Deleting renumbers and selects index 1.
    Eval("replySelected = 1; deleteReply()");
    EXPECT_EQ(Eval("byId('replyList').textContent"), "1.有事离开,请您留言!2.二3.三4.四");
    EXPECT_EQ(Eval("byId('selReply').value"), "1");
    Shot("prefor_status.png");
    boxes_.clear();
    Eval("addReply(); acceptReply('123456789012345678901')");
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_EQ(boxes_[0], "回复内容不能超过20个字符!");
    Eval("byId('chkReply').click(); byId('selReply').value = '3'; byId('chkIdle').click(); byId('selIdle').value = '15'");
    Press(1);
    EXPECT_EQ(store_.GetSysSet(kOwnId, "Status_ReplyList"), "有事离开,请您留言!|二|三|四");
    EXPECT_EQ(store_.GetSysSet(kOwnId, "Status_ReplyIndex"), "3");
    EXPECT_EQ(store_.GetSysSet(kOwnId, "Status_IdleTime"), "15");
}

TEST_F(PreforTest, SoundAndFolderChoosers)
{
    std::vector<std::string> filters;
    std::string chosen;
    services_.SetFileDialog([&](const CString& filter, DWORD) {
        filters.push_back(filter.GetString());
        return CString(chosen.c_str());
    });
    std::string folder;
    services_.SetFolderDialog([&](const CString&) { return CString(folder.c_str()); });
    Show(PreforExports::Show);
    Eval("showPage('sound')");
    // The default sound shows while nothing is stored.
    EXPECT_NE(Eval("byId('pathFMsgAddress').title").find("/voice/MsgSound.wav"), std::string::npos);

    chosen = "/home/someone/sounds/very-long-name.wav";
    Eval("window.external.SelectSoundPath('FMsgAddress')");
    ASSERT_TRUE(lumui::PumpUntil([&] { return Eval("byId('pathFMsgAddress').getAttribute('data-path')") == chosen; }));
    ASSERT_EQ(filters.size(), 1u);
    EXPECT_EQ(filters[0], "Sound Files (*.mp3;*.wav)|*.mp3;*.wav||");
    EXPECT_EQ(Eval("byId('pathFMsgAddress').textContent"), "/home/s...g-name.wav");
    // A cancelled dialog changes nothing.
    chosen = "";
    Eval("window.external.SelectSoundPath('FMsgAddress')");
    ASSERT_TRUE(uiwait::QueuedWorkDone());
    EXPECT_EQ(Eval("byId('pathFMsgAddress').getAttribute('data-path')"), "/home/someone/sounds/very-long-name.wav");

    // A cancelled folder browser is reported and leaves the folder.
    Eval("showPage('trans')");
    boxes_.clear();
    Eval("window.external.SelectSavePath()");
    ASSERT_TRUE(lumui::PumpUntil([&] { return !boxes_.empty(); }));
    EXPECT_EQ(boxes_[0], "无效的目录，请重新选择");
    EXPECT_EQ(Eval("byId('txtSavePath').value"), "");
    folder = dir_.path();
    Eval("window.external.SelectSavePath()");
    ASSERT_TRUE(lumui::PumpUntil([&] { return Eval("byId('txtSavePath').value") == folder; }));
    Eval("byId('rdSafeExe').click()");
    Press(1);
    EXPECT_EQ(store_.GetSysSet(kOwnId, "Sound_FMsgAddress"), "/home/someone/sounds/very-long-name.wav");
    EXPECT_EQ(store_.GetSysSet(kOwnId, "Sound_GMsgAddress"), "");  // the default is not written
    EXPECT_EQ(store_.GetSysSet(kOwnId, "Trans_SavePath"), folder.c_str());
    EXPECT_EQ(store_.GetSysSet(kOwnId, "Trans_SafeFile"), "exe,html");
}

TEST_F(PreforTest, BlackListAndSmsHoursOnTheWebServer)
{
    Show(PreforExports::ShowBlackList);
    EXPECT_EQ(Eval("current"), "block");
    EXPECT_EQ(Eval("byId('blackBody').rows.length"), "2");
    EXPECT_EQ(Eval("byId('item10005').textContent"), "陈静10005图书馆见删除");
    EXPECT_EQ(Eval("byId('item10001').cells[0].textContent"), "张伟");
    EXPECT_EQ(Eval("byId('chkBlockSms').checked + ',' + byId('selStart').disabled"), "false,true");
    Shot("prefor_blacklist.png");

    // Remove both rows: they are marked, and stay listed until the server
    // took the removal. Apply posts the ids and tells the main window.
    Eval("byId('item10005').cells[3].firstChild.click()");
    Eval("byId('item10001').cells[3].firstChild.click()");
    EXPECT_EQ(Eval("byId('blackBody').rows.length"), "2");
    EXPECT_EQ(Eval("byId('item10001').className"), "removing");
    Eval("byId('chkBlockSms').click()");
    EXPECT_EQ(Eval("byId('selStart').value + '-' + byId('selEnd').value"), "21-7");
    Press(5000);
    ASSERT_TRUE(lumui::PumpUntil([&] { return !receiver_.removed.empty(); }, 5000));
    EXPECT_TRUE(lumui::PumpUntil([&] { return Eval("byId('blackBody').rows.length") == "0"; }, 5000));
    const auto deletes = Requests("/Chirra_User/del_blackList_pc");
    ASSERT_EQ(deletes.size(), 1u);
    EXPECT_EQ(deletes[0].Param("blackIDs"), "10005,10001");
    EXPECT_EQ(deletes[0].Param("uID"), "10003");
    EXPECT_EQ(receiver_.removed, std::vector<std::string>{"10005,10001"});
    EXPECT_TRUE(service_.BlackList(kOwnId).empty());
    const auto hours = Requests("/Chirra_User/set_msgBlock_pc");
    ASSERT_EQ(hours.size(), 1u);
    EXPECT_EQ(hours[0].Param("startTime"), "21");
    EXPECT_EQ(hours[0].Param("endTime"), "7");
    // Nothing changed since: nothing more is posted. No settings key is
    // written by this page.
    const auto rows = Rows();
    Press(5000);
    EXPECT_EQ(Requests("/Chirra_User/set_msgBlock_pc").size(), 1u);
    EXPECT_EQ(Requests("/Chirra_User/del_blackList_pc").size(), 1u);
    EXPECT_EQ(Rows(), rows);

    // Choosing 00:00 turns the blocking off; friend verification changes
    // on the password page; OK waits for the answers before closing.
    Eval("byId('selEnd').value = '0'; blockHourChanged(byId('selEnd'))");
    EXPECT_EQ(Eval("byId('chkBlockSms').checked + ',' + byId('selStart').value"), "false,0");
    Eval("showPage('password'); byId('rdAllow2').click()");
    EXPECT_EQ(Eval("byId('lnkPassword').textContent"), "修改密码");
    Press(1);
    EXPECT_EQ(ShownFrame(), nullptr);
    ASSERT_EQ(Requests("/Chirra_User/set_allowAdd_pc").size(), 1u);
    EXPECT_EQ(Requests("/Chirra_User/set_allowAdd_pc")[0].Param("allowIndex"), "2");
    EXPECT_EQ(Requests("/Chirra_User/set_msgBlock_pc").back().Param("startTime"), "0");
}

TEST_F(PreforTest, FailedSavesOnTheWebServerAreSaidAndLeaveTheOldState)
{
    Show(PreforExports::ShowBlackList);
    const std::string allowed = Eval("allowAdd");
    ASSERT_NE(allowed, "2");
    for (const char* path : {"/Chirra_User/del_blackList_pc", "/Chirra_User/set_msgBlock_pc",
                             "/Chirra_User/set_allowAdd_pc"})
        web_.SetFault(path, standin::WebFault::Status(500));

    // The black list and the SMS hours: both said, both as before.
    Eval("byId('item10001').cells[3].firstChild.click()");
    Eval("byId('chkBlockSms').click()");
    boxes_.clear();
    Press(5000);
    ASSERT_TRUE(lumui::PumpUntil([&] { return boxes_.size() >= 2; }, 10000));
    ASSERT_TRUE(uiwait::QueuedWorkDone());
    // The two answers come in either order.
    std::sort(boxes_.begin(), boxes_.end());
    EXPECT_EQ(boxes_, (std::vector<std::string>{"短信屏蔽设置失败，请稍后再试!", "黑名单保存失败，请稍后再试!"}));
    EXPECT_EQ(Eval("byId('blackBody').rows.length"), "2");
    EXPECT_EQ(Eval("byId('item10001').className"), "");
    EXPECT_TRUE(receiver_.removed.empty());
    EXPECT_EQ(service_.BlackList(kOwnId).size(), 2u);
    EXPECT_EQ(Eval("byId('chkBlockSms').checked + ',' + byId('selStart').value + ',' + byId('selStart').disabled"),
              "false,0,true");

    // The same choice again, once the server takes it, is posted again.
    web_.ClearFaults();
    web_.SetFault("/Chirra_User/set_allowAdd_pc", standin::WebFault::Status(500));
    Eval("byId('chkBlockSms').click()");
    Press(5000);
    ASSERT_TRUE(lumui::PumpUntil([&] { return Requests("/Chirra_User/set_msgBlock_pc").size() == 2; }, 10000));
    EXPECT_EQ(Requests("/Chirra_User/set_msgBlock_pc").back().Param("startTime"), "21");

    // Friend verification: said, and the server's choice shows again.
    boxes_.clear();
    Eval("showPage('password'); byId('rdAllow2').click()");
    Press(5000);
    ASSERT_TRUE(lumui::PumpUntil([&] { return !boxes_.empty(); }, 10000));
    EXPECT_EQ(boxes_[0], "好友验证设置失败，请稍后再试!");
    EXPECT_EQ(Eval("checkedRadio('allowAdd')"), allowed);
    Shot("prefor_failed_save.png");
}

TEST_F(PreforTest, AFailedRemovalSendsNoMessage)
{
    web_.SetFault("/Chirra_User/del_blackList_pc", standin::WebFault::Status(500));
    Show(PreforExports::ShowBlackList);
    Eval("byId('item10001').cells[3].firstChild.click()");
    Press(1);
    EXPECT_EQ(ShownFrame(), nullptr);
    EXPECT_EQ(Requests("/Chirra_User/del_blackList_pc").size(), 1u);
    EXPECT_TRUE(receiver_.removed.empty());
    EXPECT_EQ(service_.BlackList(kOwnId).size(), 2u);
}
