// Service calls over loopback against the stand-in service: every method's
// arguments as the stand-in reads them, two clients chatting, and every way
// the stand-in can fail on purpose.
#include "Lum/session/ServiceConnection.h"
#include "tests/Lum/WireBytes.h"
#include "tests/standin/StandinService.h"

#include <thrift/transport/TTransportException.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cctype>
#include <chrono>
#include <functional>
#include <thread>

using apache::thrift::TApplicationException;
using apache::thrift::TException;
using apache::thrift::transport::TTransportException;
using namespace lum_thrift;
using standin::Fault;
using standin::PendingMessage;
using Clock = std::chrono::steady_clock;

namespace {

// Short time-outs so that a silent service costs a second.
const ServiceTimeouts kTestTimeouts{1000, 1000, 1000};

class ServiceCallTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string error;
        ASSERT_TRUE(service_.LoadSeedFile(STANDIN_SEED_FILE, &error)) << error;
        port_ = service_.Start(0);
        ASSERT_GT(port_, 0);
    }

    // One call on a connection of its own, as the workers make them.
    void Call(const std::function<void(LumServiceClient&)>& call)
    {
        CServiceConnection conn("127.0.0.1", port_, kTestTimeouts);
        conn.Open();
        call(conn.Client());
        conn.Close();
    }

    std::string Login(const std::string& account, const std::string& pwd = "123456")
    {
        StructLoginResp r;
        StructLogin l;
        l.name = account;
        l.pwd = pwd;
        l.type = 2;
        l.version = 6;
        Call([&](LumServiceClient& c) { c.login(r, l); });
        EXPECT_EQ(r.code, ResultCode::SUCCESS) << account;
        return r.key;
    }

    // Runs a call that must fail; returns the exception and checks the time.
    template <typename E>
    E Failing(const std::function<void(LumServiceClient&)>& call, double maxSeconds = 5)
    {
        auto start = Clock::now();
        try {
            Call(call);
        } catch (const E& e) {
            EXPECT_LT(std::chrono::duration<double>(Clock::now() - start).count(), maxSeconds);
            return e;
        } catch (const std::exception& e) {
            ADD_FAILURE() << "unexpected exception: " << e.what();
            return E();
        }
        ADD_FAILURE() << "the call did not fail";
        return E();
    }

    standin::StandinService service_;
    int port_ = 0;
};

}  // namespace

// Every method reaches the stand-in with the argument ids and types of the
// method table; the stand-in refuses anything else with an exception message.
TEST_F(ServiceCallTest, EveryMethodIsUnderstoodByTheService)
{
    const std::string key = Login("13800000001");
    StructUser user;
    user.userid = 10001;
    user.phone = "13900000009";
    user.name = "新同学";
    user.__set_email("new@example.edu");
    user.__set_status(UserStatus::UserStatusWEB);
    user.__set_gid(1);

    std::vector<std::pair<std::string, std::function<void(LumServiceClient&)>>> calls = {
        {"authorize", [&](LumServiceClient& c) { StructAuthorizeResp r; c.authorize(r, 6); }},
        {"getFriendList", [&](LumServiceClient& c) { StructFriendListResp r; c.getFriendList(r, key); }},
        {"getGroupList", [&](LumServiceClient& c) { StructGroupListResp r; c.getGroupList(r, key); }},
        {"resetPassword", [&](LumServiceClient& c) { c.resetPassword(key); }},
        {"MaintainOnline", [&](LumServiceClient& c) { StructOnlineResp r; c.MaintainOnline(r, key, 2); }},
        {"modifyPassword", [&](LumServiceClient& c) { c.modifyPassword(key, "123456", "123456"); }},
        {"MoveUserToBlack", [&](LumServiceClient& c) { c.MoveUserToBlack(key, 10005); }},
        {"getBlackList", [&](LumServiceClient& c) { StructBlackListResp r; c.getBlackList(r, key); }},
        {"addFriend", [&](LumServiceClient& c) { c.addFriend(key, 10005); }},
        {"deleteFriend", [&](LumServiceClient& c) { c.deleteFriend(key, 10005); }},
        {"searchUserList", [&](LumServiceClient& c) { StructUserListResp r; c.searchUserList(r, key, "李", 1, 10); }},
        {"editUserInfo", [&](LumServiceClient& c) { c.editUserInfo(key, user, 1); }},
        {"editFriendRemark", [&](LumServiceClient& c) { c.editFriendRemark(key, 10002, "娜娜"); }},
        {"createGroup", [&](LumServiceClient& c) { StructGroupInfoResp r; c.createGroup(r, key, "新群", "兴趣", 2, ""); }},
        {"DeleteGroup", [&](LumServiceClient& c) { c.DeleteGroup(key, 999, 5); }},
        {"addGroupUser", [&](LumServiceClient& c) { c.addGroupUser(key, 501, user, 1); }},
        {"importGroupUser", [&](LumServiceClient& c) { c.importGroupUser(key, 501, user, 1, 0); }},
        {"DeleteUser", [&](LumServiceClient& c) { c.DeleteUser(key, 10003, 0); }},
        {"editGroupStyle", [&](LumServiceClient& c) { c.editGroupStyle(key, 501, 8); }},
        {"editGroupInfo", [&](LumServiceClient& c) { c.editGroupInfo(key, 501, "计算机一班", "通知", 8, "班级"); }},
        {"getGroupInfo", [&](LumServiceClient& c) { StructGroupInfoResp r; c.getGroupInfo(r, key, 501); }},
        {"SetBotherDay", [&](LumServiceClient& c) { c.SetBotherDay(key, 501, 3); }},
        {"joinGroupUser", [&](LumServiceClient& c) { c.joinGroupUser(key, 502); }},
        {"DealInviteGroupResp", [&](LumServiceClient& c) { c.DealInviteGroupResp(key, 10002, 502, "羽毛球", "李娜"); }},
        {"searchGroupList", [&](LumServiceClient& c) { StructGroupListResp r; c.searchGroupList(r, key, "班", 1, 10); }},
        {"SendUserMsg", [&](LumServiceClient& c) { c.SendUserMsg(key, 10002, 0, "<msg>hi</msg>"); }},
        {"SendGroupMsg", [&](LumServiceClient& c) { c.SendGroupMsg(key, 501, "<msg>hi</msg>"); }},
        {"sendFriendNotifyMsg", [&](LumServiceClient& c) { c.sendFriendNotifyMsg(key, "10002,10003", "通知"); }},
        {"sendGroupNotifyMsg", [&](LumServiceClient& c) { c.sendGroupNotifyMsg(key, "501", "通知"); }},
        {"getUnreadedMsgList", [&](LumServiceClient& c) { StructMsgListResp r; c.getUnreadedMsgList(r, key); }},
        {"setMessageReaded", [&](LumServiceClient& c) { c.setMessageReaded(key, "13800000001", "1"); }},
        {"GetUserInfo", [&](LumServiceClient& c) { StructUserInfoResp r; c.GetUserInfo(r, key, 10002, 1); }},
        {"DealJoinGroupResp", [&](LumServiceClient& c) { c.DealJoinGroupResp(key, 10005, 501, "计算机一班"); }},
        {"editGroupIsMaster", [&](LumServiceClient& c) { c.editGroupIsMaster(key, 501, 10002, 2); }},
        {"GetPwd", [&](LumServiceClient& c) { c.GetPwd("13800000002"); }},
        {"exit", [&](LumServiceClient& c) { c.exit(key); }},
    };
    ASSERT_EQ(calls.size(), 36u);  // and login above
    for (const auto& call : calls) {
        try {
            Call(call.second);
        } catch (const TException& e) {
            ADD_FAILURE() << call.first << ": " << e.what();
        }
    }
    auto requests = service_.Requests();
    ASSERT_EQ(requests.size(), 37u);
    for (size_t k = 1; k < requests.size(); ++k) EXPECT_EQ(requests[k].method, calls[k - 1].first);
}

TEST_F(ServiceCallTest, TwoClientsChatThroughTheService)
{
    // Both log in and keep calling at the same time.
    std::string keyA, keyB;
    std::thread a([&] { keyA = Login("13800000001"); });
    std::thread b([&] { keyB = Login("10002"); });  // by id
    a.join();
    b.join();
    ASSERT_FALSE(keyA.empty());
    ASSERT_FALSE(keyB.empty());

    const std::string hello = "<msg><font>你好，李娜</font></msg>";
    Call([&](LumServiceClient& c) { EXPECT_EQ(c.SendUserMsg(keyA, 10002, 0, hello), ResultCode::SUCCESS); });
    Call([&](LumServiceClient& c) { EXPECT_EQ(c.SendGroupMsg(keyB, 502, "<msg>周六打球</msg>"), ResultCode::SUCCESS); });

    StructOnlineResp forB, forA;
    Call([&](LumServiceClient& c) { c.MaintainOnline(forB, keyB, UserStatus::UserStatusPC); });
    ASSERT_EQ(forB.msgList.size(), 1u);
    EXPECT_EQ(forB.msgList[0].fromid, 10001);
    EXPECT_EQ(forB.msgList[0].toid, 10002);
    EXPECT_EQ(forB.msgList[0].content, hello);
    EXPECT_EQ(forB.msgList[0].msgType, MsgType::IsUserMessage);
    EXPECT_EQ(forB.onlineStatus.at(10001), UserStatus::UserStatusPC);
    EXPECT_EQ(forB.onlineStatus.at(10005), 0);  // never logged in

    Call([&](LumServiceClient& c) { c.MaintainOnline(forA, keyA, UserStatus::UserStatusPC); });
    ASSERT_EQ(forA.msgList.size(), 1u);
    EXPECT_EQ(forA.msgList[0].msgType, MsgType::IsGroupMessage);
    EXPECT_EQ(forA.msgList[0].gid, 502);
    EXPECT_EQ(forA.msgList[0].fromid, 10002);

    // Delivered once: the next heartbeat is empty.
    Call([&](LumServiceClient& c) { c.MaintainOnline(forB, keyB, 2); });
    EXPECT_TRUE(forB.msgList.empty());

    // Lists as seeded.
    StructFriendListResp friends;
    Call([&](LumServiceClient& c) { c.getFriendList(friends, keyA); });
    ASSERT_EQ(friends.friendList.size(), 3u);
    EXPECT_EQ(friends.friendList[0].user.name, "李娜");
    EXPECT_EQ(friends.friendList[0].remark, "娜娜");
    StructGroupListResp groups;
    Call([&](LumServiceClient& c) { c.getGroupList(groups, keyA); });
    ASSERT_EQ(groups.groupList.size(), 2u);
    EXPECT_EQ(groups.groupList[0].name, "计算机一班");
    EXPECT_EQ(groups.groupList[0].isMaster, 2);
    EXPECT_EQ(groups.groupList[0].userList.size(), 4u);
    const StructGroup& g = groups.groupList[0];
    EXPECT_EQ(g.gid, 501);
    EXPECT_EQ(g.style, 1);
    EXPECT_EQ(g.groupType, 1);
    EXPECT_EQ(g.capacity, 200);
    EXPECT_EQ(g.note, "班级通知和作业");
    EXPECT_EQ(g.masterName, "刘洋");
    EXPECT_EQ(g.createTime, "2012-09-01 08:00:00");
    EXPECT_EQ(g.masterID, 10004);
    EXPECT_EQ(g.groupClass, "班级");
    EXPECT_EQ(g.userList[1].carte, "班长张伟");
    EXPECT_EQ(g.userList[1].user.status, UserStatus::UserStatusPC);
    EXPECT_EQ(g.userList[0].isMaster, 1);
    StructBlackListResp black;
    Call([&](LumServiceClient& c) { EXPECT_EQ(c.MoveUserToBlack(keyA, 10003), ResultCode::SUCCESS); });
    Call([&](LumServiceClient& c) { c.getBlackList(black, keyA); });
    EXPECT_EQ(black.blackList, std::vector<int32_t>{10003});
    StructUserInfoResp info;
    Call([&](LumServiceClient& c) { c.GetUserInfo(info, keyA, 10002, 1); });
    EXPECT_EQ(info.user.city, "上海");
    EXPECT_EQ(info.user.email, "lina@example.edu");
    EXPECT_EQ(info.user.gid, 1);
    EXPECT_FALSE(info.user.__isset.mobile);

    // A second login of the same account takes over: the old key now gets 6.
    const std::string keyA2 = Login("zhangwei@example.edu");
    Call([&](LumServiceClient& c) { EXPECT_EQ(c.SendUserMsg(keyA, 10002, 0, hello), ResultCode::LOGIN_IN_OTHER); });
    Call([&](LumServiceClient& c) { EXPECT_EQ(c.SendUserMsg("no-such-key", 10002, 0, hello), ResultCode::LOGIN_OUT_TIME); });
    Call([&](LumServiceClient& c) { EXPECT_EQ(c.SendUserMsg(keyA2, 10002, 0, hello), ResultCode::SUCCESS); });
}

// The service ends a session on its own: the old key gets 6 after a login
// elsewhere and 7 after a time-out, and friends see the user go offline.
TEST_F(ServiceCallTest, DroppedSessionsAnswerWithTheirCodeAndShowOffline)
{
    const std::string keyA = Login("13800000001"), keyB = Login("13800000002");
    StructOnlineResp forB;
    Call([&](LumServiceClient& c) { c.MaintainOnline(forB, keyB, 2); });
    EXPECT_EQ(forB.onlineStatus.at(10001), UserStatus::UserStatusPC);

    ASSERT_TRUE(service_.DropSession(10001, true));
    EXPECT_FALSE(service_.IsOnline(10001));
    Call([&](LumServiceClient& c) { EXPECT_EQ(c.SendUserMsg(keyA, 10002, 0, "x"), ResultCode::LOGIN_IN_OTHER); });
    StructOnlineResp forA;
    Call([&](LumServiceClient& c) { c.MaintainOnline(forA, keyA, 2); });
    EXPECT_EQ(forA.code, ResultCode::LOGIN_IN_OTHER);
    // The refused heartbeat did not bring the user back.
    Call([&](LumServiceClient& c) { c.MaintainOnline(forB, keyB, 2); });
    EXPECT_EQ(forB.onlineStatus.at(10001), 0);
    EXPECT_FALSE(service_.DropSession(10001, true));  // nothing left to drop

    const std::string keyA2 = Login("13800000001");
    ASSERT_TRUE(service_.DropSession(10001, false));
    Call([&](LumServiceClient& c) { EXPECT_EQ(c.SendUserMsg(keyA2, 10002, 0, "x"), ResultCode::LOGIN_OUT_TIME); });
    // The other user's session is untouched.
    Call([&](LumServiceClient& c) { EXPECT_EQ(c.SendUserMsg(keyB, 10001, 0, "x"), ResultCode::SUCCESS); });
}

namespace {

// A notice body as the client reads it: percent-decoded.
std::string Decoded(const std::string& body)
{
    std::string out;
    for (size_t k = 0; k < body.size(); ++k) {
        if (body[k] == '%' && k + 2 < body.size() && std::isxdigit(static_cast<unsigned char>(body[k + 1])) &&
            std::isxdigit(static_cast<unsigned char>(body[k + 2]))) {
            out += static_cast<char>(std::stoi(body.substr(k + 1, 2), nullptr, 16));
            k += 2;
        } else {
            out += body[k] == '+' ? ' ' : body[k];
        }
    }
    return out;
}

}  // namespace

// Group and friend changes queue notices for everyone concerned, as encoded
// "info" elements that the heartbeat delivers.
TEST_F(ServiceCallTest, MembershipChangesQueueNotices)
{
    const std::string keyA = Login("13800000001"), keyB = Login("13800000002");
    // The deputy removes a member: those who stay see the member go, the
    // member sees the group go.
    Call([&](LumServiceClient& c) { EXPECT_EQ(c.DeleteUser(keyA, 10003, 501), ResultCode::SUCCESS); });
    for (int32_t uid : {10004, 10001, 10002}) {
        auto p = service_.Pending(uid);
        ASSERT_EQ(p.size(), 1u) << uid;
        EXPECT_EQ(p[0].msgType, MsgType::IsUserDelete);
        EXPECT_EQ(p[0].fromid, 10003);
        EXPECT_EQ(p[0].gid, 501);
        EXPECT_EQ(Decoded(p[0].content), "<info cmd=\"delgroupuser\" fromid=\"10003\"/>");
    }
    auto removed = service_.Pending(10003);
    ASSERT_EQ(removed.size(), 1u);
    EXPECT_EQ(removed[0].msgType, MsgType::IsGroupQuit);
    EXPECT_EQ(removed[0].gid, 501);
    EXPECT_EQ(Decoded(removed[0].content), "<info cmd=\"delgroup\"/>");
    // The body is encoded: no markup travels as it is.
    EXPECT_EQ(removed[0].content.find('<'), std::string::npos);

    // A new member is imported into 502: the member gets the group with its
    // members, under its own id; the others see who joined. The heartbeat
    // carries them.
    StructUser user;
    user.phone = "13900000009";
    user.name = "新同学 & <友>";  // markup in a name stays text
    Call([&](LumServiceClient& c) { EXPECT_EQ(c.importGroupUser(keyB, 502, user, 0, 0), ResultCode::SUCCESS); });
    StructOnlineResp forA;
    Call([&](LumServiceClient& c) { c.MaintainOnline(forA, keyA, 2); });
    ASSERT_EQ(forA.msgList.size(), 2u);  // the removal above, then the join
    const StructMessage& joined = forA.msgList[1];
    EXPECT_EQ(joined.msgType, MsgType::IsUserAdd);
    EXPECT_EQ(joined.gid, 502);
    const int32_t newId = joined.fromid;
    EXPECT_NE(newId, 10001);
    const std::string body = Decoded(joined.content);
    EXPECT_EQ(body.rfind("<info cmd=\"joined\" fromid=\"" + std::to_string(newId) +
                             "\" fromname=\"新同学 &amp; &lt;友&gt;\" gid=\"502\" gname=\"羽毛球爱好者\">",
                         0),
              0u)
        << body;
    auto added = service_.Pending(newId);
    ASSERT_EQ(added.size(), 1u);
    EXPECT_EQ(added[0].fromid, newId);  // own id: added to a group
    const std::string roster = Decoded(added[0].content);
    EXPECT_NE(roster.find("<user id=\"10002\" name=\"李娜\" carte=\"娜娜\"/>"), std::string::npos) << roster;
    EXPECT_NE(roster.find("<user id=\"" + std::to_string(newId) + "\" name=\"新同学 &amp; &lt;友&gt;\" carte=\"\"/>"),
              std::string::npos);

    // A member quits 501; the owner dissolves 502.
    Call([&](LumServiceClient& c) { EXPECT_EQ(c.DeleteGroup(keyB, 501, 5), ResultCode::SUCCESS); });
    auto forOwner = service_.Pending(10004);
    ASSERT_EQ(forOwner.size(), 2u);
    EXPECT_EQ(forOwner[1].msgType, MsgType::IsUserDelete);
    EXPECT_EQ(Decoded(forOwner[1].content), "<info cmd=\"delgroupuser\" fromid=\"10002\"/>");
    EXPECT_FALSE(service_.GroupHasMember(501, 10002));
    Call([&](LumServiceClient& c) { EXPECT_EQ(c.DeleteGroup(keyB, 502, 4), ResultCode::SUCCESS); });
    auto forMember = service_.Pending(10005);
    ASSERT_FALSE(forMember.empty());
    EXPECT_EQ(forMember.back().msgType, MsgType::IsGroupDelete);
    EXPECT_EQ(forMember.back().gid, 502);
    EXPECT_EQ(Decoded(forMember.back().content), "<info cmd=\"delgroup\"/>");

    // A friend request: the other side is told who asks.
    Call([&](LumServiceClient& c) { EXPECT_EQ(c.addFriend(keyA, 10005), ResultCode::SUCCESS); });
    forMember = service_.Pending(10005);
    EXPECT_EQ(forMember.back().msgType, MsgType::IsFriendAdd);
    EXPECT_EQ(forMember.back().fromid, 10001);
    EXPECT_EQ(Decoded(forMember.back().content),
              "<info cmd=\"addfriend\" fromid=\"10001\" fromphone=\"13800000001\" fromname=\"张伟\"/>");
    EXPECT_TRUE(service_.IsFriend(10005, 10001));
}

TEST_F(ServiceCallTest, ServesTwoConnectionsAtOnce)
{
    const std::string key = Login("13800000001");
    // One call waits 800 ms in the service; another connection is served meanwhile.
    Fault slow;
    slow.kind = Fault::Slow;
    slow.delayMs = 800;
    service_.SetFault("getGroupList", slow);
    std::atomic<bool> slowDone{false};
    std::thread waiting([&] {
        StructGroupListResp r;
        Call([&](LumServiceClient& c) { c.getGroupList(r, key); });
        EXPECT_EQ(r.groupList.size(), 2u);
        slowDone = true;
    });
    // Once the service holds the slow call, the other is made.
    auto received = [&] {
        for (const auto& r : service_.Requests())
            if (r.method == "getGroupList") return true;
        return false;
    };
    for (int i = 0; i < 500 && !received(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    EXPECT_TRUE(received());
    Call([&](LumServiceClient& c) { EXPECT_EQ(c.GetPwd("13800000001"), ResultCode::SUCCESS); });
    EXPECT_FALSE(slowDone.load());
    waiting.join();
    EXPECT_TRUE(slowDone.load());
}

TEST_F(ServiceCallTest, FailuresOfTheConnection)
{
    // Refused: the port is closed.
    service_.SetRefuseConnections(true);
    auto refused = Failing<TTransportException>([](LumServiceClient& c) { c.GetPwd("x"); });
    EXPECT_EQ(refused.getType(), TTransportException::NOT_OPEN);
    service_.SetRefuseConnections(false);
    Call([](LumServiceClient& c) { EXPECT_EQ(c.GetPwd("13800000001"), ResultCode::SUCCESS); });

    // The connection closes in the middle of the reply.
    Fault fault;
    fault.kind = Fault::CloseMidReply;
    service_.SetFault("getFriendList", fault);
    auto cut = Failing<TTransportException>([](LumServiceClient& c) {
        StructFriendListResp r;
        c.getFriendList(r, "k");
    });
    EXPECT_EQ(cut.getType(), TTransportException::END_OF_FILE);

    // Accepted, then nothing: the receive time-out ends the call.
    fault.kind = Fault::Slow;
    fault.delayMs = 60000;
    service_.SetFault("MaintainOnline", fault);
    auto silent = Failing<TTransportException>([](LumServiceClient& c) {
        StructOnlineResp r;
        c.MaintainOnline(r, "k", 2);
    });
    EXPECT_EQ(silent.getType(), TTransportException::TIMED_OUT);

    // Slow but within the time-out: fine.
    fault.delayMs = 300;
    service_.SetFault("MaintainOnline", fault);
    Call([](LumServiceClient& c) {
        StructOnlineResp r;
        c.MaintainOnline(r, "k", 2);
        EXPECT_EQ(r.code, ResultCode::LOGIN_OUT_TIME);
    });

    // A frame larger than the limit: refused at once, nothing allocated.
    fault.kind = Fault::Raw;
    fault.text = wire::I32(0x7ffffff0) + std::string(64, 'x');
    service_.SetFault("exit", fault);
    Failing<TTransportException>([](LumServiceClient& c) { c.exit("k"); });
}

TEST_F(ServiceCallTest, FailuresOfTheReply)
{
    Fault fault;
    // An exception message from the service.
    fault.kind = Fault::ApplicationException;
    fault.appType = 6;
    fault.text = "数据库不可用";
    service_.SetFault("login", fault);
    auto app = Failing<TApplicationException>([](LumServiceClient& c) {
        StructLoginResp r;
        c.login(r, StructLogin());
    });
    EXPECT_EQ(app.getType(), TApplicationException::INTERNAL_ERROR);
    EXPECT_EQ(std::string(app.what()), "数据库不可用");

    // A reply for another method: skipped, then the wait for a result ends in
    // the time-out.
    fault = Fault();
    fault.kind = Fault::WrongMethod;
    service_.SetFault("GetPwd", fault);
    auto other = Failing<TTransportException>([](LumServiceClient& c) { c.GetPwd("13800000001"); });
    EXPECT_EQ(other.getType(), TTransportException::TIMED_OUT);

    // Another sequence id, and the older header: accepted.
    fault.kind = Fault::WrongSeqId;
    service_.SetFault("GetPwd", fault);
    Call([](LumServiceClient& c) { EXPECT_EQ(c.GetPwd("13800000001"), ResultCode::SUCCESS); });
    fault.kind = Fault::OldHeader;
    service_.SetFault("GetPwd", fault);
    Call([](LumServiceClient& c) { EXPECT_EQ(c.GetPwd("nobody"), ResultCode::LOGIN_NO_REGISTER); });

    // A send answered with the session-loss codes.
    for (int code : {6, 7, 10}) {
        fault.kind = Fault::ResultCode;
        fault.code = code;
        service_.SetFault("SendUserMsg", fault);
        service_.SetFault("SendGroupMsg", fault);
        Call([&](LumServiceClient& c) { EXPECT_EQ(static_cast<int>(c.SendUserMsg("k", 10002, 0, "m")), code); });
        Call([&](LumServiceClient& c) { EXPECT_EQ(static_cast<int>(c.SendGroupMsg("k", 501, "m")), code); });
    }

    // A reply without a result.
    using namespace wire;
    fault.kind = Fault::Raw;
    fault.text = Frame(Header("SendUserMsg", 2, 0) + F(I32T, 1) + I32(0) + STOP);
    service_.SetFault("SendUserMsg", fault);
    auto missing = Failing<TApplicationException>([](LumServiceClient& c) { c.SendUserMsg("k", 1, 0, "m"); });
    EXPECT_EQ(missing.getType(), TApplicationException::MISSING_RESULT);
    EXPECT_EQ(std::string(missing.what()), "SendUserMsg failed: unknown result");

    // Malformed: a list announcing more messages than the limit.
    fault.text = Frame(Header("MaintainOnline", 2, 0) + F(STRUCT, 0) + F(LIST, 2) + I8(STRUCT) + I32(50000000) + STOP);
    service_.SetFault("MaintainOnline", fault);
    Failing<TException>([](LumServiceClient& c) {
        StructOnlineResp r;
        c.MaintainOnline(r, "k", 2);
    });

    // Every fault cleared: the service answers normally again.
    service_.ClearFaults();
    Call([](LumServiceClient& c) { EXPECT_EQ(c.GetPwd("13800000001"), ResultCode::SUCCESS); });
}
