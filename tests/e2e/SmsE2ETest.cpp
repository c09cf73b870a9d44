// SMS notices and the message centre in the real program: a notice typed in
// the fast notice window opened from a friend's and from a group's chat
// window reaches the stand-in web API with the account, the recipient, the
// text (Chinese, with an apostrophe) and the verify code; each failure reply
// is shown in a box of the notice window; and a message queued while no chat
// was open is listed in the message centre, whose reply opens the chat.
#include "tests/e2e/Clipboard.h"
#include "tests/e2e/TwoClients.h"
#include "tests/standin/StandinService.h"
#include "tests/standin/StandinWeb.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace {

using e2e::Client;
using e2e::IsChat;
using e2e::IsVisible;
using e2e::ScreenWindow;
using e2e::Title;
using e2e::waitFor;

const char* const kFriendPath = "/api/message/sendFriendNotifyMessage.jsp";
const char* const kGroupPath = "/api/message/sendGroupNotifyMessage.jsp";
const char kNotice[] = "明天上午九点开会，it's 重要";
// The verify code of an account whose password is "123456" and whose
// service gives no date: the MD5 digest of the password.
const char kVerifyCode[] = "e10adc3949ba59abbe56e057f20f883e";

// In a chat window, a friend's or a group's: the SMS button.
const int kSmsButton = 1016;
// The fast notice window and the message centre.
const int kFastWidth = 370, kFastHeight = 290;
const int kCentreWidth = 500, kCentreHeight = 400;

class SmsTest : public e2e::TwoClientsTest {
protected:
    // A visible window other than those in `except` that `match` accepts.
    static bool WaitForNew(const std::set<unsigned long>& except, ScreenWindow* found,
                           bool (*match)(const ScreenWindow&), int timeoutMs = 10000)
    {
        return e2e::WaitForWindowWhere([&](const ScreenWindow& w) { return !except.count(w.id) && match(w); },
                                       timeoutMs, found);
    }

    static bool IsFast(const ScreenWindow& w) { return w.width == kFastWidth && w.height == kFastHeight; }
    static bool IsCentre(const ScreenWindow& w) { return w.width == kCentreWidth && w.height == kCentreHeight; }
    static bool IsNoticeBox(const ScreenWindow& w)
    {
        return Title(w.id) == "通知短信" && !(w.width == kFastWidth && w.height == kFastHeight);
    }

    // Opens the chat of the first row of a tab of A's main window, its
    // page loaded.
    void OpenFirstChat(int tab, int list, ScreenWindow* chat)
    {
        ASSERT_NO_FATAL_FAILURE(OpenChatOfFirstRow(a_, tab, list, chat));
        ASSERT_TRUE(e2e::PageLoaded(*chat)) << "the chat page did not load";
    }

    // Opens the fast notice from a chat window's SMS button, its page
    // loaded and naming the recipient.
    void OpenFastNotice(const ScreenWindow& chat, ScreenWindow* fast)
    {
        ASSERT_TRUE(e2e::ClickControl(chat, kSmsButton));
        ASSERT_TRUE(WaitForNew({}, fast, IsFast)) << "no notice window opened";
        ASSERT_TRUE(e2e::PageLoaded(*fast)) << "the notice page did not load";
        ASSERT_TRUE(waitFor([&] { return !e2e::ElementText(*fast, "#recName").empty(); }, 10000))
            << "the notice names no recipient";
    }

    // Types the notice into the fast window and, once the page holds it,
    // presses its send button.
    void TypeAndSend(const ScreenWindow& fast, const std::string& text)
    {
        ASSERT_TRUE(e2e::Focus(fast.id));
        ASSERT_TRUE(ClickToTypeInto(fast, "#content"));
        std::string shown;
        ASSERT_TRUE(e2e::TypeLanded(text, &shown)) << "the notice box holds [" << shown << "]";
        ASSERT_TRUE(e2e::ClickElement(fast, "#ButtonOk"));
    }

    size_t Count(const char* path)
    {
        size_t n = 0;
        for (const auto& r : web_.Requests()) n += r.path == path;
        return n;
    }

    standin::WebRequest Last(const char* path)
    {
        standin::WebRequest last;
        for (const auto& r : web_.Requests())
            if (r.path == path) last = r;
        return last;
    }
};

}  // namespace

TEST_F(SmsTest, NoticesToAFriendAndToAGroupReachTheWebApiAndFailuresAreShown)
{
    ASSERT_NO_FATAL_FAILURE(LogIn(a_, "13800000001", 10001));

    // To the first friend, from the friend's chat window.
    ScreenWindow chat, fast;
    ASSERT_NO_FATAL_FAILURE(OpenFirstChat(IDC_BTN_TAB_FRIENDS, IDC_LIST_FRIENDS, &chat));
    Screenshot("sms-e2e-chat.png");
    ASSERT_NO_FATAL_FAILURE(OpenFastNotice(chat, &fast));
    ASSERT_NO_FATAL_FAILURE(TypeAndSend(fast, kNotice));
    Screenshot("sms-e2e-typed.png");
    ASSERT_TRUE(waitFor([&] { return Count(kFriendPath) == 1; }, 8000)) << "the notice did not reach the web API";
    standin::WebRequest sent = Last(kFriendPath);
    EXPECT_EQ(sent.method, "POST");
    EXPECT_EQ(sent.Param("phone"), "13800000001");
    EXPECT_EQ(sent.Param("content"), kNotice);
    EXPECT_EQ(sent.Param("key"), kVerifyCode);
    const std::set<std::string> friends = {"10002", "10003", "10004"};
    EXPECT_TRUE(friends.count(sent.Param("friendid_list"))) << sent.Param("friendid_list");
    // Sent: the notice window closes itself.
    EXPECT_TRUE(e2e::WaitForGone(fast.id, 5000)) << "the notice window stayed";

    // Each failure reply shows its box, and the window stays for another try.
    ASSERT_NO_FATAL_FAILURE(OpenFastNotice(chat, &fast));
    struct Case {
        standin::WebFault fault;
        const char* shot;
    };
    const Case cases[] = {
        {standin::WebFault::Malformed("{\"result\":-3}"), "sms-e2e-self.png"},
        {standin::WebFault::Malformed("{\"result\":7}"), "sms-e2e-failed.png"},
        {standin::WebFault::Status(500), "sms-e2e-busy.png"},
        {standin::WebFault::Timeout(12000), "sms-e2e-timeout.png"},
    };
    for (const Case& c : cases) {
        web_.SetFault(kFriendPath, c.fault);
        const std::set<unsigned long> before = e2e::VisibleIds();
        ASSERT_NO_FATAL_FAILURE(TypeAndSend(fast, kNotice));
        ScreenWindow box;
        ASSERT_TRUE(WaitForNew(before, &box, IsNoticeBox, 16000)) << "no box for " << c.shot;
        Screenshot(c.shot);
        EXPECT_TRUE(IsVisible(fast.id));
        ASSERT_TRUE(e2e::Key("Return"));
        ASSERT_TRUE(e2e::WaitForGone(box.id, 5000)) << "the box stayed";
    }
    web_.ClearFaults();
    ASSERT_TRUE(e2e::CloseWindow(fast.id));
    ASSERT_TRUE(e2e::CloseWindow(chat.id));

    // To the first group, from the group's chat window.
    ASSERT_NO_FATAL_FAILURE(OpenFirstChat(IDC_BTN_TAB_GROUPS, IDC_LIST_GROUPS, &chat));
    ASSERT_NO_FATAL_FAILURE(OpenFastNotice(chat, &fast));
    Screenshot("sms-e2e-group.png");
    ASSERT_NO_FATAL_FAILURE(TypeAndSend(fast, kNotice));
    ASSERT_TRUE(waitFor([&] { return Count(kGroupPath) == 1; }, 8000)) << "the group notice did not reach the web API";
    sent = Last(kGroupPath);
    EXPECT_EQ(sent.Param("phone"), "13800000001");
    EXPECT_EQ(sent.Param("content"), kNotice);
    EXPECT_EQ(sent.Param("key"), kVerifyCode);
    EXPECT_TRUE(sent.Param("group_id") == "501" || sent.Param("group_id") == "502") << sent.Param("group_id");
    EXPECT_TRUE(e2e::WaitForGone(fast.id, 5000)) << "the notice window stayed";
}

TEST_F(SmsTest, TheMessageCentreOpensTheChatOfAQueuedMessage)
{
    ASSERT_NO_FATAL_FAILURE(LogIn(a_, "13800000001", 10001));
    // A line from 10002 while A has no chat open: A's heartbeat queues it.
    standin::PendingMessage m;
    m.fromid = 10002;
    m.toid = 10001;
    m.gid = 1;  // a friend's line
    m.msgType = 0;
    m.sendTime = "2026-12-09 09:30:00";
    m.content = "%E4%BD%A0%E5%A5%BD%EF%BC%8Cit%27s%20queued";  // 你好，it's queued
    service_.AddPending(10001, m);
    ASSERT_TRUE(waitFor([&] { return service_.Pending(10001).empty(); }, 12000)) << "A did not fetch the line";

    const std::set<unsigned long> before = e2e::VisibleIds();
    ASSERT_TRUE(e2e::ClickControl(a_.main, IDC_BTN_MESSAGES));
    ScreenWindow centre;
    // The first web page of the program may take a while to start.
    ASSERT_TRUE(WaitForNew(before, &centre, IsCentre, 20000)) << "no message centre";
    EXPECT_EQ(Title(centre.id), "消息中心");
    // It lists the queued line's sender, once.
    ASSERT_TRUE(e2e::PageLoaded(centre));
    ASSERT_TRUE(waitFor([&] { return e2e::ElementText(centre, "#count") == "1"; }, 10000))
        << "the centre lists " << e2e::ElementText(centre, "#count");
    Screenshot("sms-e2e-centre.png");

    // The entry is chosen (the button becomes a reply to it) and replied
    // to: the centre goes, the chat opens.
    ASSERT_TRUE(e2e::ClickElement(centre, "#f10002"));
    ScreenWindow reply;
    ASSERT_TRUE(e2e::ElementRect(centre, "#REPLY", &reply, 5000)) << "the entry was not chosen";
    Screenshot("sms-e2e-centre-chosen.png");
    ASSERT_TRUE(e2e::ClickElement(centre, "#REPLY"));
    ScreenWindow chat;
    ASSERT_TRUE(WaitForNew(before, &chat, IsChat)) << "the reply opened no chat";
    EXPECT_TRUE(e2e::WaitForGone(centre.id, 5000)) << "the centre stayed";
    EXPECT_NE(Title(chat.id).find("李娜"), std::string::npos) << Title(chat.id);
    // The chat shows the queued line.
    EXPECT_TRUE(PageShows(chat, "#MsgHistoryIFrame >>> body", "it's queued")) << "the chat does not show the line";
    Screenshot("sms-e2e-centre-chat.png");
}
