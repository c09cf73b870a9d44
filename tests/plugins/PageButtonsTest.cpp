// The page buttons of the settings, profile, group-creation and invitation
// windows that reach native code, clicked with the display's real pointer
// as a person clicks them, each with what it visibly does: a chooser's
// answer shown in the page, a browser asked to open the password page, a
// black-list removal told to the main window, the head-photo window, a card
// opened from a member row, the invitation sent and its window closed. The
// frames' own buttons (OK, Apply, the member step's buttons) are clicked the
// same way.
//
//   module  page            button                  effect asserted
//   Prefor  sound page      浏览 (three)            chosen file shown (SelectSoundPath)
//   Prefor  trans page      浏览                    chosen folder shown (SelectSavePath)
//   Prefor  password page   修改密码                 the server page opened (new window)
//   Prefor  block page      删除, then 应用          10034 with the id, row gone (SendRemoveBlackToMain)
//   Prefor  frame           确定                     keys stored when 10027 arrives (SetSysProp)
//   Mievo   profile page    更换头像                 the "更换头像" window (OpenDlgHeadPhoto)
//   Mievo   frame           确定 (nothing changed)   the window closes (CloseWindow)
//   Adhor   member page     查找 (empty)             the box "请输入有效的ID号!" (RefreshDialog)
//   Adhor   member page     details                 the user's card "查看资料" (ShowMemberInfo)
//   Adhor   frame           确定 (selection)         the invitation window (GetSelIDs)
//   Adhor   invite page     确定                     the invitation sent, the sent tip (ConfirmSubmit, ShowSendTip)
//   Adhor   sent page       关闭                     the invitation window gone (CloseWindow)
#include "Common/records/Data.h"
#include "Common/stores/FileDbSys.h"
#include "platform/shell.h"
#include "plugins/Adhor/AdhorExports.h"
#include "plugins/Mievo/MievoExports.h"
#include "plugins/Prefor/PreforExports.h"
#include "tests/plugins/PluginTestKit.h"
#include "tests/standin/StandinService.h"
#include "tests/standin/WebApi.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace {

const char* const kKey = "0123456789abcdef0123456789abcdef";

// The main window as the modules see it: what it is told, and the settings
// store as it reads it when told that settings changed.
class MainWindow : public CWnd {
public:
    std::vector<UINT> told;
    std::vector<std::string> removed;
    std::function<void()> onSettingsChanged;

    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        if (message >= 10000 && message < 10300) told.push_back(message);
        if (message == 10027 && onSettingsChanged) onSettingsChanged();
        if (message == 10034) removed.push_back(wParam ? reinterpret_cast<const CString*>(wParam)->GetString() : "");
        return CWnd::WindowProc(message, wParam, lParam);
    }
};

class PageButtonsTest : public plugintest::PluginTest {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(OpenProgramFolder());
        ASSERT_TRUE(service_.LoadSeedFile(STANDIN_SEED_FILE));
        standin::RegisterWebApi(web_, service_);
        ASSERT_TRUE(ServeWeb(web_, STANDIN_WWW));
        ASSERT_TRUE(main_.CreateEx(0, nullptr, "main", WS_POPUP, 0, 0, 10, 10, nullptr, 0));
        RecordMessageBoxes();
        services_.SetShellExecute([this](const CString&, const CString& file, const CString&, const CString&, int) {
            opened_.push_back(file.GetString());
            return true;
        });
    }

    void TearDown() override
    {
        UnloadModule();
        if (main_.m_hWnd) main_.DestroyWindow();
        CloseProgramFolder();
    }

    void Use(const char* built, const char* name)
    {
        InstallModule(built, name);
        ASSERT_TRUE(LoadModule(name));
    }

    std::string Eval(CDHtmlDialog* page, const std::string& script)
    {
        CString result;
        if (!page || page->InvokeScriptMethod("eval", {CString(script.c_str())}, &result) != S_OK) return "(failed)";
        return result.GetString();
    }

    // Clicks a native button of a frame with the pointer, once the frame
    // takes input and is on the screen (the caller waits for what the
    // button does).
    bool ClickButton(CWnd* frame, int id)
    {
        CWnd* button = frame ? frame->GetDlgItem(id) : nullptr;
        if (!button || !button->IsWindowVisible()) return false;
        if (!lumui::PumpUntil([&] {
                return frame->IsWindowEnabled() && button->IsWindowEnabled() && lumui::IsOnScreen(frame->m_hWnd);
            }))
            return false;
        CRect r;
        button->GetWindowRect(&r);
        return e2e::Click(r.CenterPoint().x + (clicks_++ % 3) - 1, r.CenterPoint().y);
    }

    // A page of `module` whose script has defined `marker` (and, unless
    // `html` is 0, that was made for HTML resource `html`).
    CDHtmlDialog* WaitForPage(HMODULE module, UINT html, const char* marker)
    {
        CDHtmlDialog* found = nullptr;
        lumui::PumpUntil(
            [&] {
                for (HWND hwnd : GetModuleWindows(module))
                    if (auto* page = dynamic_cast<CDHtmlDialog*>(CWnd::FromHandle(hwnd)))
                        if (page->m_hWnd && (html == 0 || page->m_nHtmlResID == html) &&
                            Eval(page, std::string("typeof ") + marker) == "function")
                            found = page;
                return found != nullptr;
            },
            20000);
        EXPECT_TRUE(uiwait::QueuedWorkDone());
        return found;
    }

    // Every row of the Prefor table: "user/key" -> value.
    std::map<std::string, std::string> Settings()
    {
        std::map<std::string, std::string> out;
        sqlite3* db = nullptr;
        if (sqlite3_open(dir_.file("KivSys.dll").c_str(), &db) != SQLITE_OK) return out;
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(db, "select userid, key, value from Prefor", -1, &st, nullptr);
        while (st && sqlite3_step(st) == SQLITE_ROW) {
            const char* value = reinterpret_cast<const char*>(sqlite3_column_text(st, 2));
            out[std::to_string(sqlite3_column_int(st, 0)) + "/" +
                reinterpret_cast<const char*>(sqlite3_column_text(st, 1))] = value ? value : "";
        }
        sqlite3_finalize(st);
        sqlite3_close(db);
        return out;
    }

    standin::StandinService service_;
    standin::StandinWeb web_{&service_};
    MainWindow main_;
    std::vector<std::string> opened_;
    int clicks_ = 0;
};

}  // namespace

TEST_F(PageButtonsTest, SettingsPageButtons)
{
    Use(PREFOR_FILE, "Prefor");
    CFileDbSys store;
    ASSERT_EQ(store.Connect(), 1);
    std::map<std::string, std::string> atChange;
    main_.onSettingsChanged = [&] { atChange = Settings(); };
    std::string chosenFile = dir_.file("ring.wav");
    AnswerFileDialogs(&chosenFile);
    const std::string folder = dir_.path();
    services_.SetFolderDialog([&](const CString&) { return CString(folder.c_str()); });

    ASSERT_EQ(Export(PreforExports::Show)(10003, &store, main_.m_hWnd), 0);
    CDHtmlDialog* page = WaitForPage(module_, 5002, "submitAllChange");
    ASSERT_NE(page, nullptr);
    // The page's reads from the web server are in.
    ASSERT_TRUE(lumui::PumpUntil([&] { return Eval(page, "allowAdd") != "" && Eval(page, "blockStart") != ""; }, 10000));
    CWnd* frame = Frame("系统设置");
    ASSERT_NE(frame, nullptr);

    // The sound page's three choosers.
    ASSERT_TRUE(ClickElement(page, "#btn_sound"));
    for (const char* type : {"FMsgAddress", "GMsgAddress", "NoticeAddress"}) {
        chosenFile = dir_.file(std::string(type) + ".wav");
        ASSERT_TRUE(ClickElement(page, (std::string("button[onclick*=") + type + "]").c_str())) << type;
        EXPECT_TRUE(lumui::PumpUntil(
            [&] { return Eval(page, std::string("byId('path") + type + "').getAttribute('data-path')") == chosenFile; }))
            << type;
    }
    // The save folder.
    ASSERT_TRUE(ClickElement(page, "#btn_trans"));
    ASSERT_TRUE(ClickElement(page, "button[onclick*=SelectSavePath]"));
    EXPECT_TRUE(lumui::PumpUntil([&] { return Eval(page, "byId('txtSavePath').value") == folder; }));
    // The password page of the server, in the browser.
    ASSERT_TRUE(ClickElement(page, "#btn_password"));
    ASSERT_TRUE(ClickElement(page, "#lnkPassword"));
    ASSERT_TRUE(lumui::PumpUntil([&] { return !opened_.empty(); }));
    EXPECT_NE(opened_[0].find("/Chirra_User/setPassword.gsp?phone=10003"), std::string::npos) << opened_[0];
    // A black-list entry removed, then Apply.
    ASSERT_TRUE(ClickElement(page, "#btn_block"));
    ASSERT_TRUE(ClickElement(page, "#item10005 a"));
    EXPECT_EQ(Eval(page, "byId('item10005').className"), "removing");
    Shot("pagebuttons_blacklist_marked.png");
    ASSERT_TRUE(ClickButton(frame, 5000));
    ASSERT_TRUE(lumui::PumpUntil([&] { return !main_.removed.empty(); }, 10000));
    EXPECT_EQ(main_.removed, std::vector<std::string>{"10005"});
    EXPECT_TRUE(lumui::PumpUntil([&] { return Eval(page, "byId('item10005') === null") == "true"; }));
    EXPECT_TRUE(service_.BlackList(10003).empty());
    Shot("pagebuttons_settings.png");

    // OK: what the choosers gave is stored when the main window is told.
    ASSERT_TRUE(ClickButton(frame, 1));
    ASSERT_TRUE(lumui::PumpUntil([&] { return Frame("系统设置") == nullptr; }, 10000));
    EXPECT_EQ(atChange["10003/Sound_FMsgAddress"], dir_.file("FMsgAddress.wav"));
    EXPECT_EQ(atChange["10003/Sound_NoticeAddress"], dir_.file("NoticeAddress.wav"));
    EXPECT_EQ(atChange["10003/Trans_SavePath"], folder);
}

TEST_F(PageButtonsTest, ProfilePageButtons)
{
    Use(MIEVO_FILE, "Mievo");
    CFileDbSys store;
    ASSERT_EQ(store.Connect(), 1);
    CDataUser own;
    own.m_nId = 10001;
    own.m_strPhone = "13800000001";
    own.m_bstrName = "张伟";
    ASSERT_EQ(Export(MievoExports::Show)(&store, &own, main_.m_hWnd, kKey), 0);
    CDHtmlDialog* page = WaitForPage(module_, 3003, "submitChange");
    ASSERT_NE(page, nullptr);
    ASSERT_TRUE(lumui::PumpUntil([&] { return Value(page, "name") == "张伟"; }, 10000));
    CWnd* frame = Frame("我的资料");
    ASSERT_NE(frame, nullptr);

    ASSERT_TRUE(ClickElement(page, "#changeHead"));
    ASSERT_TRUE(lumui::PumpUntil([&] { return Frame("更换头像") != nullptr; }, 10000));
    CDHtmlDialog* upload = nullptr;
    EXPECT_TRUE(lumui::PumpUntil(
        [&] {
            upload = Page(3005);
            return upload && Value(upload, "hid_userID") == "13800000001";
        },
        20000));
    Shot("pagebuttons_headphoto.png");
    Frame("更换头像")->SendMessage(WM_CLOSE);
    EXPECT_TRUE(lumui::PumpUntil([&] { return Frame("更换头像") == nullptr; }));

    // OK with nothing changed closes the profile without asking the server.
    ASSERT_TRUE(ClickButton(frame, 3001));
    EXPECT_TRUE(lumui::PumpUntil([&] { return Frame("我的资料") == nullptr; }, 10000));
    EXPECT_EQ(RequestCount("/api/user/updateUserInfo.jsp"), 0u);
}

TEST_F(PageButtonsTest, GroupMemberAndInvitationPageButtons)
{
    Use(ADHOR_FILE, "Adhor");
    InstallModule(VISTEL_FILE, "Vistel");
    // 李娜 (10002) owns group 502.
    ASSERT_EQ(Export(AdhorExports::ShowAddMember)("13800000002", 10002, 502, kKey), 0);
    // (The group frame's one page shows the member search here.)
    CDHtmlDialog* page = WaitForPage(module_, 0, "passSelIDs");
    ASSERT_NE(page, nullptr);
    CWnd* frame = ShownFrame();
    ASSERT_NE(frame, nullptr);

    Shot("pagebuttons_members.png");
    // 查找 with nothing typed.
    ASSERT_TRUE(ClickElement(page, "#go"));
    ASSERT_TRUE(BoxSaid("请输入有效的ID号!"));
    Eval(page, "key.value='10003';key.classList.remove('hint');");
    ASSERT_TRUE(ClickElement(page, "#go"));
    ASSERT_TRUE(lumui::PumpUntil([&] { return Eval(page, "document.querySelectorAll('.row input').length") == "1"; }));

    // The details button opens the user's card from the card module.
    ASSERT_TRUE(ClickElement(page, ".row img.detail"));
    // (The module the group window loaded; this reference goes at once.)
    HMODULE vistel = LoadLibrary("Vistel.dll");
    ASSERT_NE(vistel, nullptr);
    FreeLibrary(vistel);
    CDHtmlDialog* card = WaitForPage(vistel, 8002, "initStrangerInfo");
    ASSERT_NE(card, nullptr);
    EXPECT_TRUE(lumui::PumpUntil([&] { return Text(card, "name") == "王芳"; }, 10000));
    const HWND cardWindow = card->m_hWnd;
    if (CWnd* cardFrame = card->GetParent()) cardFrame->SendMessage(WM_CLOSE);
    EXPECT_TRUE(lumui::PumpUntil([&] { return !::IsWindow(cardWindow); }));

    // Tick the row, then the frame's 确定: the invitation window.
    ASSERT_TRUE(ClickElement(page, ".row input"));
    EXPECT_EQ(Eval(page, "selection"), "10003;");
    ASSERT_TRUE(ClickButton(frame, 4004));
    CDHtmlDialog* invite = WaitForPage(module_, 4012, "submitInvite");
    ASSERT_NE(invite, nullptr);

    // 确定 with the hint still there is refused; with a text it sends.
    const size_t before = boxes_.size();
    ASSERT_TRUE(ClickElement(invite, "#ok"));
    ASSERT_TRUE(lumui::PumpUntil([&] { return boxes_.size() > before; }));
    EXPECT_EQ(boxes_.back(), "请输入邀请语！");
    Eval(invite, "msg.value='一起来打球';");
    ASSERT_TRUE(ClickElement(invite, "#ok"));
    ASSERT_TRUE(lumui::PumpUntil([&] { return Eval(invite, "document.body.innerText").find("邀请已发出") != std::string::npos; },
                                 10000));
    ASSERT_EQ(service_.Pending(10003).size(), 1u);
    EXPECT_EQ(service_.Pending(10003)[0].gid, 502);
    Shot("pagebuttons_sent.png");
    CWnd* inviteFrame = invite->GetParent();
    ASSERT_NE(inviteFrame, nullptr);
    const HWND inviteWnd = inviteFrame->m_hWnd;

    // 关闭 on the sent tip.
    ASSERT_TRUE(ClickElement(invite, "#close"));
    EXPECT_TRUE(lumui::PumpUntil([&] { return !::IsWindow(inviteWnd); }, 10000));
}
