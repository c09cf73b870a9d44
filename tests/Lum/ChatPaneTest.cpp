// The HTML message panes of the chat windows under a real display: sending
// (limits, markup clean-up, history rows, offline, send keys), queued lines,
// fonts, the card, pictures, page links, and the group member list with its
// menus and commands. The service is the stand-in; the web server a small
// loopback server for head and face pictures.
#include "Common/stores/FileDbMsg.h"
#include "Lum/chat/DlgChatMsgList.h"
#include "Lum/KivApp.h"
#include "Lum/KivDlg.h"
#include "Lum/KivMessages.h"
#include "Lum/chat/MessageBody.h"
#include "Lum/session/ServiceConnection.h"
#include "Lum/session/Workers.h"
#include "platform/commdlg.h"
#include "platform/config.h"
#include "platform/files.h"
#include "platform/menu.h"
#include "platform/uiapp.h"
#include "tests/platform/ScreenPixels.h"
#include "tests/platform/TempDir.h"
#include "tests/platform/TestServices.h"
#include "tests/platform/UiWait.h"
#include "tests/standin/StandinService.h"
#include "tests/platform/ServeInBackground.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

const int kOwnId = 10001;
const char* const kPictureFilter =
    "所有图片文件|*.jpg;*.jpeg;*.gif;*.png;*.bmp|JPEG (*.jpg)|*.jpg|GIF (*.gif)|*.gif|PNG (*.png)|*.png|Bitmap "
    "(*.bmp)|*.bmp||";

// A 2 x 2 PNG, padded with a trailing chunk-free tail to a given size.
std::string PngBytes(size_t size = 0)
{
    static const unsigned char png[] = {
        0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A, 0x00, 0x00, 0x00, 0x0D, 0x49, 0x48, 0x44, 0x52, 0x00, 0x00,
        0x00, 0x02, 0x00, 0x00, 0x00, 0x02, 0x08, 0x02, 0x00, 0x00, 0x00, 0xFD, 0xD4, 0x9A, 0x73, 0x00, 0x00, 0x00,
        0x14, 0x49, 0x44, 0x41, 0x54, 0x78, 0x9C, 0x63, 0xF8, 0xCF, 0xC0, 0xF0, 0x9F, 0x81, 0x81, 0x81, 0xE1, 0x3F,
        0x03, 0x03, 0x00, 0x1D, 0xF6, 0x03, 0xFD, 0x1B, 0x2F, 0x8E, 0x5C, 0x00, 0x00, 0x00, 0x00, 0x49, 0x45, 0x4E,
        0x44, 0xAE, 0x42, 0x60, 0x82};
    std::string bytes(reinterpret_cast<const char*>(png), sizeof png);
    if (size > bytes.size()) bytes.append(size - bytes.size(), '\0');
    return bytes;
}

void WriteFile(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out << bytes;
}

// The chat window as the pane sees it: a parent that records WM_CLOSE.
class ChatFrame : public CWnd {
public:
    int closes = 0;
    LRESULT WindowProc(UINT message, WPARAM w, LPARAM l) override
    {
        if (message == WM_CLOSE) {
            ++closes;
            return 0;
        }
        return CWnd::WindowProc(message, w, l);
    }
};

class ChatPaneTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(lumui::Start());
        services_.SetProgramFolder(dir_.path() + "/");
        std::string error;
        ASSERT_TRUE(service_.LoadSeedFile(STANDIN_SEED_FILE, &error)) << error;
        const int port = service_.Start(0);
        ASSERT_GT(port, 0);
        web_.Get(R"(/upload/(face|group)/(\d+)\.png)", [](const httplib::Request&, httplib::Response& res) {
            res.set_content(PngBytes(), "image/png");
        });
        web_.set_keep_alive_max_count(1);
        const int webPort = web_.bind_to_any_port("127.0.0.1");
        webThread_ = ServeInBackground(web_);
        const std::string ini = dir_.file("Lum.ini");
        WritePrivateProfileString("Service", "Host", "127.0.0.1", ini.c_str());
        WritePrivateProfileString("Service", "Port", std::to_string(port).c_str(), ini.c_str());
        WritePrivateProfileString("Web", "BaseUrl", ("http://127.0.0.1:" + std::to_string(webPort)).c_str(), ini.c_str());
        SetServiceTimeouts(ServiceTimeouts{2000, 2000, 2000});

        app_ = std::make_unique<CKivApp>();
        main_ = std::make_unique<CKivDlg>();
        app_->m_pMainWnd = main_.get();
        LogIn();
        app_->SetUserPath((dir_.path() + "/" + std::to_string(kOwnId) + "/").c_str());
        std::filesystem::create_directories(app_->m_strUserPath.str());
        ASSERT_EQ(main_->m_dbMsg.Connect(kOwnId), 1);
        main_->m_nStatus = 1;

        GetChatFont() = ChatFont{"黑体", 16, "#204060", 1, 0, 0};
        ChatSendKeyMode() = 0;
        CDlgChatMsgListBase::s_isCtrlDown = [this] { return ctrl_; };
        services_.SetMessageBox([this](HWND, const CString& text, const CString& caption, UINT) {
            boxes_.push_back(text.str());
            captions_.push_back(caption.str());
            return answer_;
        });
        ASSERT_TRUE(frame_.CreateEx(0, nullptr, "聊天", WS_POPUP | WS_VISIBLE, 20, 20, 600, 420, nullptr, 0));

        friend_.m_nId = 10002;
        friend_.m_bstrName = "李娜";
        friend_.m_strRemark = "娜娜";
        friend_.m_bstrSign = "今天的作业写完了吗？明天上午八点在图书馆三楼见面讨论课程设计";
        friend_.m_strCity = "武汉";
        friend_.m_strPhone = "13800000002";
        friend_.m_nStatus = 2;
        friend_.m_nGroupId = 1;

        group_.m_nId = 501;
        group_.m_bstrName = "计算机一班";
        group_.m_bstrSign = "班级通知和作业";
        AddMember(10004, "刘洋", "刘老师", 1);
        AddMember(kOwnId, "张伟", "班长张伟", 2);
        AddMember(10002, "李娜", "", 0);
        AddMember(10003, "", "", 0);
    }

    void TearDown() override
    {
        CDlgChatMsgListBase::s_showHistory = nullptr;
        CDlgChatMsgList::s_acceptFile = nullptr;
        CKivUsersListCtrl::s_pluginCommand = nullptr;
        userPane_.reset();
        groupPane_.reset();
        if (frame_.m_hWnd) frame_.DestroyWindow();
        // Workers still running end against the stand-in before it goes.
        lumui::PumpUntil([] { return lumui::RunningThreads() == 0; }, 10000);
        uiwait::QueuedWorkDone();
        app_->m_pMainWnd = nullptr;
        main_.reset();
        app_.reset();
        service_.Stop();
        web_.stop();
        if (webThread_.joinable()) webThread_.join();
        SetServiceTimeouts(ServiceTimeouts());
    }

    void LogIn()
    {
        CServiceConnection connection;
        connection.Open();
        lum_thrift::StructLogin login;
        login.name = "13800000001";
        login.pwd = "123456";
        login.type = 2;
        login.version = 6;
        lum_thrift::StructLoginResp reply;
        connection.Client().login(reply, login);
        connection.Close();
        ASSERT_EQ(reply.code, 0);
        app_->SetSessionKey(reply.key);
        app_->SetOwnUserId(kOwnId);
    }

    void AddMember(int id, const char* name, const char* card, int role)
    {
        auto* m = new CDataUser;
        m->m_nId = id;
        m->m_bstrName = name;
        m->m_strRemark = card;
        m->m_nMemberRole = role;
        m->m_nGroupId = 501;
        group_.m_mapMembers[id] = m;
    }

    CDlgChatMsgList& OpenUserPane(const std::vector<CString>& early = {})
    {
        userPane_ = std::make_unique<CDlgChatMsgList>();
        userPane_->m_pUser = &friend_;
        for (const CString& line : early) userPane_->AppendHistoryLine(line);
        EXPECT_TRUE(userPane_->Create(104, &frame_));
        userPane_->MoveWindow(4, 4, 592, 412);
        userPane_->ShowWindow(SW_SHOW);
        EXPECT_TRUE(lumui::PumpUntil([&] { return userPane_->m_nDocComplete == 1; }, 15000)) << "the page never loaded";
        return *userPane_;
    }

    CDlgChatMsgListGroup& OpenGroupPane()
    {
        groupPane_ = std::make_unique<CDlgChatMsgListGroup>();
        groupPane_->m_pGroup = &group_;
        EXPECT_TRUE(groupPane_->Create(106, &frame_));
        groupPane_->MoveWindow(4, 4, 592, 412);
        groupPane_->ShowWindow(SW_SHOW);
        EXPECT_TRUE(lumui::PumpUntil([&] { return groupPane_->m_nDocComplete == 1; }, 15000)) << "the page never loaded";
        return *groupPane_;
    }

    // Runs script in the page and returns its value as text.
    static CString Eval(CDHtmlDialog& pane, const char* code)
    {
        CString out;
        EXPECT_EQ(pane.InvokeScriptMethod("eval", {code}, &out), S_OK) << code;
        return out;
    }
    static CString History(CDHtmlDialog& pane)
    {
        return Eval(pane, "document.getElementById('MsgHistoryIFrame').contentDocument.body.innerHTML");
    }
    static CString Written(CDHtmlDialog& pane)
    {
        return Eval(pane, "writeBody().innerHTML");
    }
    // Clicks an element of the page as the user would, outside any call
    // into the page; the click's handler runs natively. Returns once the
    // page has made the click and what it asked for has run.
    static void Click(CDHtmlDialog& pane, const char* id)
    {
        const CString before = Eval(pane, "String(window.lumTestClicks || 0)");
        const std::string code = std::string("setTimeout(function () { document.getElementById('") + id +
                                 "').click(); window.lumTestClicks = (window.lumTestClicks || 0) + 1; }, 0)";
        Eval(pane, code.c_str());
        EXPECT_TRUE(lumui::PumpUntil([&] { return Eval(pane, "String(window.lumTestClicks || 0)") != before; }))
            << "the page did not click " << id;
        EXPECT_TRUE(uiwait::QueuedWorkDone());
    }
    // Whether the element shows text on the screen (at least `strokes` dark
    // pixels in its box), waiting up to 10 s for it.
    static bool ShowsText(CDHtmlDialog& pane, const char* selector, int strokes)
    {
        if (!lumui::PumpUntil([&] { return lumui::IsOnScreen(pane.m_hWnd); }, 5000)) return false;
        CRect box;
        return lumui::PumpUntil(
            [&] {
                return lumui::PageElementScreenRect(&pane, selector, &box) && !box.IsRectEmpty() &&
                       screenpixels::Count(box, screenpixels::Dark) >= strokes;
            },
            10000);
    }

    // Messages the stand-in holds for a user.
    std::vector<std::string> PendingFor(int uid)
    {
        std::vector<std::string> out;
        for (const standin::PendingMessage& m : service_.Pending(uid)) out.push_back(m.content);
        return out;
    }
    size_t Calls(const std::string& method)
    {
        size_t n = 0;
        for (const auto& r : service_.Requests()) n += r.method == method;
        return n;
    }
    // Rows of the history whose plain text matches.
    int HistoryRowsWithText(const char* plain)
    {
        char** table = nullptr;
        int rows = 0, cols = 0;
        main_->m_dbMsg.getMsgRecords(0, 0, 0, plain, 0, &table, &rows, &cols);
        CFileDB::FreeRecord(table);
        return rows;
    }
    std::string LastStoredMarkup(int id, int gid)
    {
        char** table = nullptr;
        int rows = 0, cols = 0;
        main_->m_dbMsg.getMsgRecords(id, 0, gid, "", 0, &table, &rows, &cols);
        std::string markup = rows > 0 ? table[cols + 1] : "";
        CFileDB::FreeRecord(table);
        return markup;
    }

    TempDir dir_;
    TestServices services_;
    standin::StandinService service_;
    httplib::Server web_;
    std::thread webThread_;
    std::unique_ptr<CKivApp> app_;
    std::unique_ptr<CKivDlg> main_;
    ChatFrame frame_;
    CDataUser friend_;
    CDataGroup group_;
    std::unique_ptr<CDlgChatMsgList> userPane_;
    std::unique_ptr<CDlgChatMsgListGroup> groupPane_;
    std::vector<std::string> boxes_;
    std::vector<std::string> captions_;
    int answer_ = IDOK;
    bool ctrl_ = false;
};

TEST_F(ChatPaneTest, SendLimitsAndEmptyTextShowBoxesAndSendNothing)
{
    CDlgChatMsgList& pane = OpenUserPane();
    pane.OnOK();
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_EQ(boxes_[0], "请输入您要发送的信息");
    EXPECT_EQ(captions_[0], "Orvane");

    pane.InsertWriteText(CString('a', 1001));
    pane.OnOK();
    ASSERT_EQ(boxes_.size(), 2u);
    EXPECT_EQ(boxes_[1], "发送内容不能大于1000个字符!");
    EXPECT_EQ(Written(pane).GetLength(), 1001) << "a refused text stays for the user to shorten";

    Eval(pane, "writeBody().innerHTML = ''");
    pane.InsertWriteText(CString('b', 1000));
    pane.OnOK();
    EXPECT_EQ(boxes_.size(), 2u);
    EXPECT_EQ(Written(pane), "");
    EXPECT_EQ(Eval(pane, "document.getElementById('GetWriteLen').textContent"), "0字");
    ASSERT_TRUE(lumui::PumpUntil([&] { return !PendingFor(10002).empty(); }, 10000));
    const std::string sent = PendingFor(10002)[0];
    EXPECT_NE(sent.find(std::string(1000, 'b') + "</span>"), std::string::npos) << sent;
    EXPECT_EQ(sent.find("<span style=\"font-family:黑体;font-size:16px;color:#204060;font-weight:bold"), 0u) << sent;
    // The own line is in the history area with the time and "我:".
    const CString shown = History(pane);
    EXPECT_NE(shown.Find("我:bbbb"), -1) << shown.GetString();
    EXPECT_EQ(HistoryRowsWithText(std::string(1000, 'b').c_str()), 1);

    // A page that cannot answer.
    Eval(pane, "window.getWriteTxt = undefined");
    pane.OnOK();
    ASSERT_EQ(boxes_.size(), 3u);
    EXPECT_EQ(boxes_[2], "发送信息失败！");
}

TEST_F(ChatPaneTest, SentMarkupIsCleanedStoredWithPathsAndSentWithNames)
{
    CDlgChatMsgList& pane = OpenUserPane();
    const std::string folder = app_->m_strUserPath.str();
    const std::string typed = "<span>上图<IMG id='p.png' src='file://" + folder + "p.png'><br>下一行<IMG src='/upload/face_images/hh.gif'></span>";
    const std::string stub = "window.getWriteTxt = function () { return " + std::string("\"") +
                             [&] {
                                 std::string s;
                                 for (char c : typed) s += c == '"' ? std::string("\\\"") : std::string(1, c);
                                 return s;
                             }() +
                             "\"; }";
    Eval(pane, stub.c_str());
    pane.OnOK();
    EXPECT_TRUE(boxes_.empty());
    const std::string stored = "<span>上图<img id='p.png' src='file://" + folder + "p.png'/><br/>下一行<img src='/upload/face_images/hh.gif'/></span>";
    EXPECT_EQ(LastStoredMarkup(10002, 1), stored);
    EXPECT_EQ(HistoryRowsWithText("上图下一行"), 1);
    ASSERT_TRUE(lumui::PumpUntil([&] { return !PendingFor(10002).empty(); }, 10000));
    EXPECT_EQ(PendingFor(10002)[0],
              "<span>上图<img id='p.png' src='file:///p.png'/><br/>下一行<img src='/upload/face_images/hh.gif'/></span>");
}

// A picture typed into the write area is shown through the page's own
// address for local files; the line stored and sent still names it by its
// file address.
TEST_F(ChatPaneTest, ATypedPictureIsStoredAndSentByItsFileAddress)
{
    CDlgChatMsgList& pane = OpenUserPane();
    const std::string url = FileUrl((app_->m_strUserPath + "a#1.png").GetString()).str();
    pane.InsertWriteText(("<img id='a#1.png' src='" + url + "'>").c_str());
    pane.OnOK();
    const std::string stored = LastStoredMarkup(10002, 1);
    EXPECT_NE(stored.find("src=\"" + url + "\""), std::string::npos) << stored;
    EXPECT_EQ(stored.find("lumfile"), std::string::npos) << stored;
    ASSERT_TRUE(lumui::PumpUntil([&] { return !PendingFor(10002).empty(); }, 10000));
    EXPECT_NE(PendingFor(10002)[0].find("src=\"file:///a%231.png\""), std::string::npos) << PendingFor(10002)[0];
}

TEST_F(ChatPaneTest, OfflineStoresTheLineShowsTheNoticeAndStartsNoWorker)
{
    CDlgChatMsgList& pane = OpenUserPane();
    main_->m_nStatus = 3;
    service_.ClearRequests();
    pane.InsertWriteText("离线时写的话");
    pane.OnOK();
    EXPECT_EQ(HistoryRowsWithText("离线时写的话"), 1);
    EXPECT_NE(History(pane).Find("你处于离线状态,发送信息不能到达对方,请上线后再试"), -1);
    // A send would have been started by now: none runs, none reached the service.
    EXPECT_EQ(lumui::RunningThreads(ThreadSendUserMsg), 0);
    EXPECT_TRUE(uiwait::QueuedWorkDone());
    EXPECT_EQ(Calls("SendUserMsg"), 0u);
    EXPECT_TRUE(boxes_.empty());
}

TEST_F(ChatPaneTest, SendKeyModesAndTheSendButton)
{
    CDlgChatMsgList& pane = OpenUserPane();
    main_->m_nStatus = 3;  // sends only reach the history

    // Ctrl+Enter mode: a plain Enter breaks the line.
    ChatSendKeyMode() = 1;
    pane.InsertWriteText("第一行");
    lumui::SendKey(pane.m_hWnd, VK_RETURN);
    EXPECT_TRUE(lumui::PumpUntil([&] { return Written(pane).Find("第一行<br>") != -1; }))
        << Written(pane).GetString();
    EXPECT_EQ(HistoryRowsWithText("第一行"), 0);
    ctrl_ = true;
    lumui::SendKey(pane.m_hWnd, VK_RETURN);
    EXPECT_EQ(HistoryRowsWithText("第一行"), 1);

    // Enter mode: Ctrl+Enter does nothing, Enter sends.
    ChatSendKeyMode() = 0;
    pane.InsertWriteText("第二行");
    lumui::SendKey(pane.m_hWnd, VK_RETURN);
    EXPECT_EQ(Written(pane), "第二行");
    ctrl_ = false;
    lumui::SendKey(pane.m_hWnd, VK_RETURN);
    EXPECT_EQ(HistoryRowsWithText("第二行"), 1);

    // The send button sends in either mode.
    ChatSendKeyMode() = 1;
    pane.InsertWriteText("按钮发送");
    Click(pane, "ButtonOK");
    EXPECT_EQ(HistoryRowsWithText("按钮发送"), 1);

    // F5 does not reload the page.
    lumui::SendKey(pane.m_hWnd, VK_F5);
    EXPECT_TRUE(uiwait::QueuedWorkDone());
    EXPECT_NE(History(pane).Find("按钮发送"), -1);
    EXPECT_EQ(pane.m_nDocComplete, 1);
}

TEST_F(ChatPaneTest, EarlyLinesFontsAndCardArriveWithTheDocument)
{
    CDlgChatMsgList& pane = OpenUserPane({"第一条<b>消息</b>", "第二条消息"});
    EXPECT_TRUE(pane.m_lstPending.empty());
    const CString shown = History(pane);
    const int first = shown.Find("第一条<b>消息</b>"), second = shown.Find("第二条消息");
    EXPECT_NE(first, -1);
    EXPECT_GT(second, first);
    pane.AppendHistoryLine("第三条");
    EXPECT_NE(History(pane).Find("第三条"), -1);

    // Fonts as the process holds them.
    const CString style = Eval(pane, "writeBody().getAttribute('style')");
    EXPECT_NE(style.Find("font-family:黑体;font-size:16px;color:#204060;font-weight:bold"), -1) << style.GetString();

    // The card: first 20 characters of the note, state name, city, name.
    EXPECT_EQ(Eval(pane, "document.getElementById('cardNote').textContent"), "今天的作业写完了吗？明天上午八点在图书馆");
    EXPECT_EQ(Eval(pane, "document.getElementById('cardState').textContent"), "PC端");
    EXPECT_EQ(Eval(pane, "document.getElementById('cardCity').textContent"), "武汉");
    EXPECT_EQ(Eval(pane, "document.getElementById('cardName').textContent"), "娜娜");
    ASSERT_TRUE(lumui::PumpUntil([&] { return Eval(pane, "document.getElementById('cardHead').naturalWidth") == "2"; }, 5000))
        << "the head comes from the web server";

    // The font bar tells the pane.
    Eval(pane, "changeFont('fontsize', '18px'); changeFont('fontitalic', '1')");
    Eval(pane, "window.external.updateFontSet('fontcolor', '   '); window.external.updateFontSet('other', 'x');"
               "window.external.updateFontSet('fontbold', ' 0 ')");
    EXPECT_TRUE(lumui::PumpUntil([&] { return GetChatFont().size == 18 && GetChatFont().bold == 0; }));
    EXPECT_TRUE(uiwait::QueuedWorkDone());
    EXPECT_EQ(GetChatFont().size, 18);
    EXPECT_EQ(GetChatFont().italic, 1);
    EXPECT_EQ(GetChatFont().bold, 0);
    EXPECT_EQ(GetChatFont().color, "#204060");
    EXPECT_EQ(GetChatFont().family, "黑体");

    // The colour dialog: a chosen colour reaches the page and the font; a
    // cancelled one changes nothing.
    services_.SetColorDialog([](COLORREF& c) {
        c = RGB(0x12, 0x34, 0xAB);
        return IDOK;
    });
    Click(pane, "imgColor");
    EXPECT_EQ(GetChatFont().color, "#1234AB");
    services_.SetColorDialog([](COLORREF& c) {
        c = RGB(1, 2, 3);
        return IDCANCEL;
    });
    Click(pane, "imgColor");
    EXPECT_EQ(GetChatFont().color, "#1234AB");
}

TEST_F(ChatPaneTest, StateNames)
{
    CDataUser u;
    const std::pair<int, const char*> states[] = {{0, "短信"}, {1, "网站"}, {2, "PC端"}, {3, "手机"},
                                                  {4, "WAP"},  {5, "未知"}, {7, "离线"}, {9, "未知"}};
    for (const auto& s : states) {
        u.m_nStatus = s.first;
        EXPECT_EQ(CDlgChatMsgList::StateName(&u), s.second) << s.first;
    }
    u.m_nStatus = 0;
    u.m_strPhone = "li@school.edu";
    EXPECT_EQ(CDlgChatMsgList::StateName(&u), "未知");
}

TEST_F(ChatPaneTest, PicturesBelowOneMegabyteAreCopiedAndShownWhateverTheirNames)
{
    // A files folder whose path holds blanks, "#", "%", quotes and "<".
    app_->SetUserPath((dir_.path() + "/我的 文件 #1 %20 'q\" <b>/").c_str());
    std::filesystem::create_directories(app_->m_strUserPath.str());
    CDlgChatMsgList& pane = OpenUserPane();
    const std::string small = dir_.file("小图 #1.png"), large = dir_.file("大图.png");
    WriteFile(small, PngBytes(1048575));
    WriteFile(large, PngBytes(1048576));
    std::string offered;
    services_.SetFileDialog([&](const CString& filter, DWORD flags) {
        EXPECT_EQ(filter, kPictureFilter);
        EXPECT_TRUE(flags & OFN_FILEMUSTEXIST);
        return CString(offered.c_str());
    });

    offered = large;
    Click(pane, "ImgSendImage");
    ASSERT_TRUE(lumui::PumpUntil([&] { return boxes_.size() == 1; }, 5000));
    EXPECT_EQ(boxes_[0], "请选择小于1M的图片!");
    offered = dir_.file("不存在.png");
    Click(pane, "ImgSendImage");
    ASSERT_TRUE(lumui::PumpUntil([&] { return boxes_.size() == 2; }, 5000));
    EXPECT_EQ(boxes_[1], "提取" + offered + "失败!");
    EXPECT_EQ(Written(pane), "");

    offered = small;
    Click(pane, "ImgSendImage");
    EXPECT_EQ(boxes_.size(), 2u);
    std::vector<std::filesystem::path> copies;
    for (const auto& e : std::filesystem::directory_iterator(app_->m_strUserPath.str())) copies.push_back(e.path());
    ASSERT_EQ(copies.size(), 1u);
    EXPECT_EQ(std::filesystem::file_size(copies[0]), 1048575u);
    const std::string name = copies[0].filename().string();
    EXPECT_NE(name.find('#'), std::string::npos) << "unique names hold '#'";
    // The picture in the write area names the copy: its address leads to
    // the file whatever the folder and name hold, its id is the name.
    const std::string copy = copies[0].string();
    EXPECT_EQ(Eval(pane, "decodeURIComponent(new URL(writeBody().querySelector('img').src).pathname)"), copy.c_str());
    EXPECT_EQ(Eval(pane, "new URL(writeBody().querySelector('img').src).hash"), "");
    EXPECT_EQ(Eval(pane, "writeBody().querySelector('img').id"), name.c_str());

    // Sent, the picture travels by its name; the history keeps the path.
    pane.OnOK();
    ASSERT_TRUE(lumui::PumpUntil([&] { return !PendingFor(10002).empty(); }, 10000));
    const std::string sent = PendingFor(10002)[0];
    EXPECT_EQ(sent.find(app_->m_strUserPath.str()), std::string::npos) << sent;
    EXPECT_NE(sent.find("src=\"file:///" + std::string(FileUrl(name.c_str()).Mid(7).GetString()) + "\"/>"),
              std::string::npos)
        << sent;
    // The own line shows the same picture.
    EXPECT_EQ(Eval(pane, "decodeURIComponent(new URL(document.getElementById('MsgHistoryIFrame').contentDocument."
                         "querySelector('img').src).pathname)"),
              copy.c_str());

    // A picture that arrives later is shown again from the folder by name.
    CString line;
    line.Format("<img id='%s' src='/upload/imgloading.gif'>", EscapeHtml(name.c_str()).GetString());
    pane.AppendHistoryLine(line);
    pane.ShowNoticeLine(name.c_str());
    EXPECT_EQ(Eval(pane, "(function(){var i=document.getElementById('MsgHistoryIFrame').contentDocument."
                         "getElementsByTagName('img');return decodeURIComponent(new URL(i[i.length-1].src).pathname);})()"),
              copy.c_str());
}

TEST_F(ChatPaneTest, PageLinksProgressHistoryAndClose)
{
    CDlgChatMsgList& pane = OpenUserPane();
    pane.AppendHistoryLine(
        "<span>传送文件:报告.doc,<span id='F1_span'>您可以选择<a name='F1' href='#' onclick='parent.AcceptFile(this.name,1);'>"
        "接收</a>,或<a name='F1' href='#' onclick='parent.RefuseFile(this.name);'>拒绝</a>.</span> "
        "<div id='F1_out' style='display:none;'><div id='F1_pro'></div></div><div id='F1_file' style='display:none;'>"
        "C:\\docs\\报告.doc</div></span>");
    std::vector<std::string> accepted;
    CDlgChatMsgList::s_acceptFile = [&](CDlgChatMsgList* p, const CString& id, const CString& path, int gid) {
        EXPECT_EQ(p, &pane);
        accepted.push_back(id.str() + "|" + path.str() + "|" + std::to_string(gid));
    };
    Eval(pane, "document.getElementById('MsgHistoryIFrame').contentDocument.getElementsByTagName('a')[0].click()");
    ASSERT_TRUE(lumui::PumpUntil([&] { return !accepted.empty(); }, 3000));
    EXPECT_EQ(accepted[0], "F1|C:\\docs\\报告.doc|1");

    const CString id = "F1";
    pane.SendMessage(UM_FILE_PROGRESS, reinterpret_cast<WPARAM>(&id), 42);
    EXPECT_EQ(Eval(pane, "document.getElementById('MsgHistoryIFrame').contentDocument.getElementById('F1_pro').textContent"),
              "42%");

    std::vector<std::string> history;
    CDlgChatMsgListBase::s_showHistory = [&](int uid, const CString& name, int kind) {
        history.push_back(std::to_string(uid) + name.str() + std::to_string(kind));
    };
    Click(pane, "ImgShowHistory");
    ASSERT_EQ(history.size(), 1u);
    EXPECT_EQ(history[0], "10002娜娜1");

    Click(pane, "ButtonClose");
    ASSERT_TRUE(lumui::PumpUntil([&] { return frame_.closes == 1; }, 3000));
}

TEST_F(ChatPaneTest, GroupPaneListsMembersBesideThePageAndApprovesJoins)
{
    CDlgChatMsgListGroup& pane = OpenGroupPane();
    CKivGroupUsersListCtrl& list = pane.m_listMembers;
    ASSERT_EQ(list.GetItemCount(), 4);
    EXPECT_EQ(list.m_nListId, 501);
    EXPECT_EQ(list.m_bIsMaster, 0);
    EXPECT_EQ(list.m_nRowHeight, 27);
    CRect paneRect, listRect;
    pane.GetWindowRect(&paneRect);
    list.GetWindowRect(&listRect);
    EXPECT_EQ(listRect.left - paneRect.left, 592 - 140);
    EXPECT_EQ(listRect.top - paneRect.top, 205);
    EXPECT_EQ(listRect.Width(), 140);
    EXPECT_EQ(listRect.Height(), 412 - 205);
    pane.MoveWindow(4, 4, 560, 380);
    list.GetWindowRect(&listRect);
    pane.GetWindowRect(&paneRect);
    EXPECT_EQ(listRect.left - paneRect.left, 560 - 140);
    EXPECT_EQ(listRect.Height(), 380 - 205);
    pane.MoveWindow(4, 4, 592, 412);
    EXPECT_EQ(Eval(pane, "document.getElementById('cardName').textContent"), "计算机一班");
    EXPECT_EQ(Eval(pane, "document.getElementById('cardNote').textContent"), "班级通知和作业");

    // A join request approved from its link: the member is added and listed.
    pane.AppendHistoryLine("赵敏(10005)申请加入该群，<span id='joinGroup_10005_93000'><a href='#' "
                           "onclick='parent.IsAccessJoinGroup(10005,1,93000);'>同意</a>或<a href='#' "
                           "onclick='parent.IsAccessJoinGroup(10005,0,93000);'>拒绝</a></span>");
    Eval(pane, "document.getElementById('MsgHistoryIFrame').contentDocument.getElementsByTagName('a')[0].click()");
    ASSERT_TRUE(lumui::PumpUntil([&] { return list.GetItemCount() == 5; }, 3000));
    EXPECT_EQ(group_.m_mapMembers.count(10005), 1u);
    EXPECT_EQ(Eval(pane, "document.getElementById('MsgHistoryIFrame').contentDocument.getElementById('joinGroup_10005_93000').textContent"),
              "已经同意申请！");
    ASSERT_TRUE(lumui::PumpUntil([&] { return Calls("DealJoinGroupResp") == 1; }, 5000));

    // Offline: only the notice.
    main_->m_nStatus = 3;
    pane.AppendHistoryLine("<span id='joinGroup_10006_1'><a href='#' onclick='parent.IsAccessJoinGroup(10006,1,1);'>同意</a></span>");
    Eval(pane, "(function(){var a=document.getElementById('MsgHistoryIFrame').contentDocument.getElementsByTagName('a');a[a.length-1].click();})()");
    EXPECT_TRUE(lumui::PumpUntil([&] { return History(pane).Find("你处于离线状态,请上线后再试") != -1; }));
    EXPECT_TRUE(uiwait::QueuedWorkDone());
    EXPECT_EQ(group_.m_mapMembers.count(10006), 0u);

    // A group line is stored under the group with the own id as sender.
    pane.InsertWriteText("大家好");
    pane.OnOK();
    EXPECT_EQ(HistoryRowsWithText("大家好"), 1);
}

TEST_F(ChatPaneTest, MemberMenusAndCommands)
{
    group_.m_nIsMaster = 1;
    CDlgChatMsgListGroup& pane = OpenGroupPane();
    CKivGroupUsersListCtrl& list = pane.m_listMembers;
    ASSERT_EQ(list.m_bIsMaster, 1);
    const int own = list.FindRow(kOwnId), lina = list.FindRow(10002);
    EXPECT_EQ(list.GetItemText(list.FindRow(10004), 0), "刘老师");
    EXPECT_EQ(list.GetItemText(lina, 0), "李娜");
    EXPECT_EQ(list.GetItemText(list.FindRow(10003), 0), "10003");

    // Right click on a row; the fifth item of the menu is chosen.
    auto pickFifth = [&](int row) {
        lumui::RunLater([] {
            if (HWND popup = lumui::OpenPopupMenu()) {
                for (int i = 0; i < 4; ++i) lumui::SendKey(popup, VK_DOWN);
                lumui::SendKey(popup, VK_RETURN);
            }
        });
        CRect r;
        list.GetWindowRect(&r);
        const CPoint p(r.left + 70, r.top + row * 27 + 13);
        lumui::SendMouse(list.m_hWnd, WM_RBUTTONDOWN, p.x, p.y, MK_RBUTTON);
        lumui::SendMouse(list.m_hWnd, WM_RBUTTONUP, p.x, p.y);
        EXPECT_TRUE(uiwait::QueuedWorkDone());
    };
    // Own row: 9028, 9035, 9038, 9047: deleting oneself is refused.
    pickFifth(own);
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_EQ(boxes_[0], "您是此群的群主，不能删除自己！");
    // Another member: the fourth command sets a deputy owner, then the same
    // place cancels it.
    pickFifth(lina);
    EXPECT_EQ(list.m_mapUsers.at(10002)->m_nMemberRole, 2);
    pickFifth(lina);
    EXPECT_EQ(list.m_mapUsers.at(10002)->m_nMemberRole, 0);
    ASSERT_TRUE(lumui::PumpUntil([&] { return Calls("editGroupIsMaster") == 2; }, 5000));
    // The stand-in refuses a deputy that only the owner may set; the worker
    // says so itself.
    EXPECT_TRUE(lumui::PumpUntil([] { return lumui::RunningThreads(ThreadEditGroupIsMaster) == 0; }));
    EXPECT_TRUE(uiwait::QueuedWorkDone());
    boxes_.erase(std::remove(boxes_.begin(), boxes_.end(), "副群主设置失败，请稍后再试"), boxes_.end());

    // Removal asks first.
    list.SetSelectionMark(lina);
    answer_ = IDCANCEL;
    list.SendMessage(WM_COMMAND, 9047, 0);
    ASSERT_EQ(boxes_.size(), 2u);
    EXPECT_EQ(boxes_[1], "您确认要删除成员 李娜(10002)吗?");
    EXPECT_EQ(list.GetItemCount(), 4);
    answer_ = IDOK;
    list.SendMessage(WM_COMMAND, 9047, 0);
    EXPECT_EQ(list.FindRow(10002), -1);
    ASSERT_TRUE(lumui::PumpUntil([&] { return Calls("DeleteUser") == 1; }, 5000));

    // The card editor and a changed card.
    std::vector<std::pair<UINT, int>> plugins;
    CKivUsersListCtrl::s_pluginCommand = [&](CKivUsersListCtrl*, UINT command, int id, const CString&) {
        plugins.push_back({command, id});
    };
    list.SetSelectionMark(list.FindRow(10003));
    list.SendMessage(WM_COMMAND, 9038, 0);
    ASSERT_EQ(plugins.size(), 1u);
    EXPECT_EQ(plugins[0], std::make_pair(9038u, 10003));
    CDataUser card;
    card.m_nId = 10003;
    card.m_strRemark = "学习委员";
    list.SendMessage(UM_GROUP_CARD_CHANGED, reinterpret_cast<WPARAM>(&card), 0);
    EXPECT_EQ(list.m_mapUsers.at(10003)->m_strRemark, "学习委员");
    EXPECT_EQ(list.GetItemText(list.FindRow(10003), 0), "学习委员");

    // Not the owner: the member menu without removal (9028, 9035, 9043, 9029).
    list.m_bIsMaster = 0;
    plugins.clear();
    lumui::RunLater([] {
        if (HWND popup = lumui::OpenPopupMenu()) {
            for (int i = 0; i < 3; ++i) lumui::SendKey(popup, VK_DOWN);
            lumui::SendKey(popup, VK_RETURN);
        }
    });
    CRect r;
    list.GetWindowRect(&r);
    const int row = list.FindRow(10004);
    lumui::SendMouse(list.m_hWnd, WM_RBUTTONDOWN, r.left + 70, r.top + row * 27 + 13, MK_RBUTTON);
    lumui::SendMouse(list.m_hWnd, WM_RBUTTONUP, r.left + 70, r.top + row * 27 + 13);
    ASSERT_TRUE(uiwait::QueuedWorkDone());
    ASSERT_EQ(plugins.size(), 1u);
    EXPECT_EQ(plugins[0], std::make_pair(9043u, 10004));
}

// What a person sees of both panes on the screen: the history's lines, the
// text being written, and the group's font bar opened.
TEST_F(ChatPaneTest, BothPanesShowTheirLinesAndTheWrittenTextOnTheScreen)
{
    std::filesystem::create_directories(SCREENSHOT_DIR);
    CDlgChatMsgList& pane = OpenUserPane({"<span style='color:#0a6e2f'>娜娜 2024-05-01 09:30:12</span><br/>娜娜:早上好！今天下午的实验课改到三点了。",
                                          "<span style='color:#0a6e2f'>娜娜 2024-05-01 09:31:40</span><br/>娜娜:记得带上实验报告。"});
    pane.InsertWriteText("收到，谢谢提醒！");
    pane.OnOK();
    pane.InsertWriteText("下午见 <b>图书馆</b>");
    EXPECT_TRUE(ShowsText(pane, "#MsgHistoryIFrame", 200)) << "the history shows no lines";
    EXPECT_TRUE(ShowsText(pane, "#MsgWriteIFrame", 30)) << "the write box shows no text";
    EXPECT_TRUE(lumui::SaveScreenImage(SCREENSHOT_DIR "/chat_user_pane.png"));
    userPane_->DestroyWindow();

    CDlgChatMsgListGroup& group = OpenGroupPane();
    group.AppendHistoryLine("<span style='color:#0a6e2f'>刘老师 2024-05-01 10:00:00</span><br/>刘老师:明天上午八点在三教204考试，请大家准时到场。");
    group.AppendHistoryLine("<span style='color:#0a6e2f'>李娜 2024-05-01 10:01:13</span><br/>李娜:好的，老师！");
    Eval(group, "toggleFontBar()");
    EXPECT_TRUE(ShowsText(group, "#MsgHistoryIFrame", 200)) << "the group's history shows no lines";
    CRect fontBar;
    EXPECT_TRUE(lumui::PumpUntil(
        [&] { return lumui::PageElementScreenRect(&group, "#fontbar", &fontBar) && fontBar.Height() > 0; }))
        << "the font bar did not open";
    EXPECT_TRUE(lumui::SaveScreenImage(SCREENSHOT_DIR "/chat_group_pane.png"));
}

// The template's member list stays above the page's view on the screen.
TEST_F(ChatPaneTest, MemberListShowsAboveThePageOnScreen)
{
    std::filesystem::create_directories(SCREENSHOT_DIR);
    CDlgChatMsgListGroup& group = OpenGroupPane();
    ASSERT_TRUE(lumui::PumpUntil([&] { return lumui::IsOnScreen(group.m_hWnd); }));
    // The first row's background is white; the page's column under it is not.
    CRect list;
    group.m_listMembers.GetWindowRect(&list);
    const CRect rowPoint(list.left + 130, list.top + 13, list.left + 131, list.top + 14);
    std::vector<uint32_t> pixel;
    EXPECT_TRUE(lumui::PumpUntil([&] {
        pixel = screenpixels::Grab(rowPoint);
        return pixel.size() == 1 && pixel[0] == 0xFFFFFF;
    })) << std::hex << (pixel.empty() ? 0u : pixel[0]);
    EXPECT_TRUE(lumui::SaveScreenImage(SCREENSHOT_DIR "/chat_group_list.png"));
}

}  // namespace
