// The bytes the generated client writes, compared with bytes written out by
// hand from the field tables, and hand-written replies read back.
#include "Lum/session/ServiceConnection.h"
#include "tests/Lum/WireBytes.h"

#include <thrift/protocol/TBinaryProtocol.h>
#include <thrift/transport/TBufferTransports.h>

#include <gtest/gtest.h>

#include <chrono>

using apache::thrift::TApplicationException;
using apache::thrift::TException;
using apache::thrift::protocol::TProtocolException;
using apache::thrift::transport::TFramedTransport;
using apache::thrift::transport::TMemoryBuffer;
using apache::thrift::transport::TTransportException;
using namespace lum_thrift;
using namespace wire;

namespace {

// A client over a framed transport over a memory buffer, set up exactly as a
// service connection is (same protocol settings and limits).
struct MemoryClient {
    std::shared_ptr<TMemoryBuffer> buffer;
    std::shared_ptr<TFramedTransport> framed;
    std::unique_ptr<LumServiceClient> client;

    explicit MemoryClient(const std::string& incoming = std::string())
    {
        ServiceLimits limits;
        auto config = MakeServiceConfiguration(limits);
        buffer = std::make_shared<TMemoryBuffer>(config);
        if (!incoming.empty())
            buffer->write(reinterpret_cast<const uint8_t*>(incoming.data()), static_cast<uint32_t>(incoming.size()));
        framed = std::make_shared<TFramedTransport>(buffer, config);
        client = std::make_unique<LumServiceClient>(MakeServiceProtocol(framed, limits));
    }
    std::string Written() const { return buffer->getBufferAsString(); }
};

std::string Call(const std::string& method) { return Header(method, 1, 0); }

// A reply frame: versioned header of type reply, then the result record.
std::string Reply(const std::string& method, const std::string& result, int seqid = 0)
{
    return Frame(Header(method, 2, seqid) + result);
}

}  // namespace

TEST(ProtocolWireTest, RequestsMatchTheFieldTables)
{
    {
        MemoryClient m;
        StructLogin login;
        login.name = "13800000001";
        login.pwd = "123456";
        login.type = 2;
        login.version = 6;
        m.client->send_login(login);
        EXPECT_EQ(m.Written(), Frame(Call("login") + F(STRUCT, 1) + F(STRING, 1) + Str("13800000001") +
                                     F(STRING, 2) + Str("123456") + F(I32T, 3) + I32(2) + F(I32T, 4) + I32(6) + STOP +
                                     STOP));
    }
    {
        // The presence travels as i16.
        MemoryClient m;
        m.client->send_MaintainOnline("k3y", UserStatus::UserStatusPC);
        EXPECT_EQ(m.Written(), Frame(Call("MaintainOnline") + F(STRING, 1) + Str("k3y") + F(I16T, 2) + I16(2) + STOP));
    }
    {
        // No field 2: the ids go 1, 3, 4, 5.
        MemoryClient m;
        const std::string text = "<msg>你好</msg>";
        m.client->send_SendUserMsg("k3y", 10002, 0, text);
        EXPECT_EQ(m.Written(), Frame(Call("SendUserMsg") + F(STRING, 1) + Str("k3y") + F(I32T, 3) + I32(10002) +
                                     F(I32T, 4) + I32(0) + F(STRING, 5) + Str(text) + STOP));
    }
    {
        MemoryClient m;
        m.client->send_MoveUserToBlack("k3y", -7);
        EXPECT_EQ(m.Written(), Frame(Call("MoveUserToBlack") + F(STRING, 1) + Str("k3y") + F(I32T, 3) + I32(-7) + STOP));
    }
    {
        // The style travels as i16.
        MemoryClient m;
        m.client->send_createGroup("k3y", "计算机二班", "班级", 3, "");
        EXPECT_EQ(m.Written(), Frame(Call("createGroup") + F(STRING, 1) + Str("k3y") + F(STRING, 2) +
                                     Str("计算机二班") + F(STRING, 3) + Str("班级") + F(I16T, 4) + I16(3) +
                                     F(STRING, 5) + Str("") + STOP));
    }
    {
        // Optional fields go only when set: here note (5) and status (14, i32).
        MemoryClient m;
        StructUser u;
        u.userid = 10001;
        u.phone = "13800000001";
        u.name = "张伟";
        u.city = "not sent";  // assigned but its flag stays false
        u.__set_note("签名");
        u.__set_status(UserStatus::UserStatusPC);
        m.client->send_editUserInfo("k3y", u, 1);
        EXPECT_EQ(m.Written(), Frame(Call("editUserInfo") + F(STRING, 1) + Str("k3y") + F(STRUCT, 2) + F(I32T, 1) +
                                     I32(10001) + F(STRING, 2) + Str("13800000001") + F(STRING, 3) + Str("张伟") +
                                     F(STRING, 5) + Str("签名") + F(I32T, 14) + I32(2) + STOP + F(I32T, 3) + I32(1) +
                                     STOP));
    }
    {
        // Without optional fields: 1 to 3 only, even when empty.
        MemoryClient m;
        StructUser u;
        m.client->send_editUserInfo("", u, 0);
        EXPECT_EQ(m.Written(), Frame(Call("editUserInfo") + F(STRING, 1) + Str("") + F(STRUCT, 2) + F(I32T, 1) +
                                     I32(0) + F(STRING, 2) + Str("") + F(STRING, 3) + Str("") + STOP + F(I32T, 3) +
                                     I32(0) + STOP));
    }
}

TEST(ProtocolWireTest, LoginReplyWithUnknownCodeAndExtraFields)
{
    const std::string user = F(I32T, 1) + I32(10001) + F(STRING, 2) + Str("13800000001") + F(STRING, 3) +
                             Str("张伟") + F(STRING, 5) + Str("好好学习") + F(I32T, 99) + I32(5) /* unknown */ +
                             F(I32T, 14) + I32(7) + STOP;
    const std::string resp = F(I32T, 1) + I32(20) /* not in the enum */ + F(STRUCT, 2) + user +
                             F(LIST, 9) + I8(I32T) + I32(2) + I32(1) + I32(2) /* unknown list */ + F(STRING, 3) +
                             Str("session-key") + STOP;
    // An unknown field in the result record before the result.
    MemoryClient m(Reply("login", F(STRING, 4) + Str("extra") + F(STRUCT, 0) + resp + STOP, 12345));
    StructLoginResp r;
    m.client->recv_login(r);
    EXPECT_EQ(static_cast<int>(r.code), 20);
    EXPECT_TRUE(r.__isset.code);
    EXPECT_EQ(r.key, "session-key");
    EXPECT_EQ(r.user.userid, 10001);
    EXPECT_EQ(r.user.name, "张伟");
    EXPECT_EQ(r.user.note, "好好学习");
    EXPECT_TRUE(r.user.__isset.note);
    EXPECT_FALSE(r.user.__isset.city);
    EXPECT_TRUE(r.user.__isset.status);
    EXPECT_EQ(r.user.status, UserStatus::UserStatusNoFeeUserOffLine);
    EXPECT_FALSE(r.user.__isset.gid);
}

TEST(ProtocolWireTest, HeartbeatReplyWithMessagesAndI16States)
{
    const std::string msg1 = F(I32T, 1) + I32(10002) + F(I32T, 2) + I32(10001) + F(I32T, 3) + I32(0) +
                             F(STRING, 4) + Str("2012-09-01 08:00:00") + F(STRING, 5) + Str("<msg>你好</msg>") +
                             F(MAP, 6) + I8(STRING) + I8(STRING) + I32(2) + Str("a") + Str("1") + Str("b") + Str("2") +
                             F(I32T, 7) + I32(0) + F(I32T, 8) + I32(42) + F(STRING, 9) + Str("附加") + STOP;
    // MsgType 12 is not in the enum; the sender field comes twice (last wins);
    // field 8 comes with the wrong type and is skipped.
    const std::string msg2 = F(I32T, 1) + I32(1) + F(I32T, 1) + I32(10005) + F(I32T, 7) + I32(12) + F(STRING, 8) +
                             Str("x") + STOP;
    const std::string states = F(MAP, 3) + I8(I32T) + I8(I16T) + I32(3) + I32(10003) + I16(-1) + I32(10002) + I16(2) +
                               I32(10003) + I16(0) /* repeated key: last wins */;
    const std::string resp = F(I32T, 1) + I32(0) + F(LIST, 2) + I8(STRUCT) + I32(2) + msg1 + msg2 + states + STOP;
    MemoryClient m(Reply("MaintainOnline", F(STRUCT, 0) + resp + STOP));
    StructOnlineResp r;
    m.client->recv_MaintainOnline(r);
    ASSERT_EQ(r.msgList.size(), 2u);
    EXPECT_EQ(r.msgList[0].fromid, 10002);
    EXPECT_EQ(r.msgList[0].content, "<msg>你好</msg>");
    EXPECT_EQ(r.msgList[0].params.at("b"), "2");
    EXPECT_EQ(r.msgList[0].msgType, MsgType::IsUserMessage);
    EXPECT_EQ(r.msgList[0].toid, 10001);
    EXPECT_EQ(r.msgList[0].sendTime, "2012-09-01 08:00:00");
    EXPECT_EQ(r.msgList[0].extInt, 42);
    EXPECT_EQ(r.msgList[0].extText, "附加");
    EXPECT_EQ(r.msgList[1].fromid, 10005);
    EXPECT_EQ(static_cast<int>(r.msgList[1].msgType), 12);
    EXPECT_FALSE(r.msgList[1].__isset.extInt);
    EXPECT_EQ(r.msgList[1].extInt, 0);
    ASSERT_EQ(r.onlineStatus.size(), 2u);
    EXPECT_EQ(r.onlineStatus.at(10002), 2);
    EXPECT_EQ(r.onlineStatus.at(10003), 0);

    // Sign extension of a 16-bit state, and empty containers with their flags set.
    const std::string resp2 = F(LIST, 2) + I8(STRUCT) + I32(0) + F(MAP, 3) + I8(I32T) + I8(I16T) + I32(1) + I32(7) +
                              I16(-1) + STOP;
    MemoryClient m2(Reply("MaintainOnline", F(STRUCT, 0) + resp2 + STOP));
    StructOnlineResp r2;
    m2.client->recv_MaintainOnline(r2);
    EXPECT_TRUE(r2.__isset.msgList);
    EXPECT_TRUE(r2.msgList.empty());
    EXPECT_FALSE(r2.__isset.code);
    EXPECT_EQ(static_cast<int32_t>(r2.onlineStatus.at(7)), -1);
}

TEST(ProtocolWireTest, ValuesOutsideTheEnumsAreKeptAsSent)
{
    // A service may send any 32-bit number where an enum travels: codes far
    // outside the known ones are read and handed on as sent.
    for (const int32_t code : {-1, 5000, 70000, INT32_MIN}) {
        MemoryClient m(Reply("exit", F(I32T, 0) + I32(code) + STOP));
        EXPECT_EQ(static_cast<int32_t>(m.client->recv_exit()), code);
    }
    const std::string user = F(I32T, 1) + I32(10001) + F(I32T, 14) + I32(99) + STOP;
    MemoryClient login(Reply("login", F(STRUCT, 0) + F(I32T, 1) + I32(-7) + F(STRUCT, 2) + user + STOP + STOP));
    StructLoginResp r;
    login.client->recv_login(r);
    EXPECT_EQ(static_cast<int32_t>(r.code), -7);
    EXPECT_EQ(static_cast<int32_t>(r.user.status), 99);

    const std::string msg = F(I32T, 1) + I32(10002) + F(I32T, 7) + I32(42) + STOP;
    MemoryClient beat(Reply("MaintainOnline", F(STRUCT, 0) + F(LIST, 2) + I8(STRUCT) + I32(1) + msg + STOP + STOP));
    StructOnlineResp online;
    beat.client->recv_MaintainOnline(online);
    ASSERT_EQ(online.msgList.size(), 1u);
    EXPECT_EQ(static_cast<int32_t>(online.msgList[0].msgType), 42);
}

TEST(ProtocolWireTest, ResultCodesHeadersAndMissingResults)
{
    {
        // Any sequence id, and the older header without a version word.
        MemoryClient m(Frame(OldHeader("SendUserMsg", 2, -9) + F(I32T, 0) + I32(6) + STOP));
        EXPECT_EQ(m.client->recv_SendUserMsg(), ResultCode::LOGIN_IN_OTHER);
    }
    {
        MemoryClient m(Reply("exit", F(I32T, 0) + I32(20) + STOP, 99));
        EXPECT_EQ(static_cast<int>(m.client->recv_exit()), 20);
    }
    {
        // Field 0 with another type than i32: no result.
        MemoryClient m(Reply("GetPwd", F(STRING, 0) + Str("0") + STOP));
        try {
            m.client->recv_GetPwd();
            FAIL() << "no exception";
        } catch (const TApplicationException& e) {
            EXPECT_EQ(e.getType(), TApplicationException::MISSING_RESULT);
            EXPECT_STREQ(e.what(), "GetPwd failed: unknown result");
        }
    }
    {
        // A result record without field 0.
        MemoryClient m(Reply("MaintainOnline", F(I32T, 1) + I32(0) + STOP));
        StructOnlineResp r;
        try {
            m.client->recv_MaintainOnline(r);
            FAIL() << "no exception";
        } catch (const TApplicationException& e) {
            EXPECT_EQ(e.getType(), TApplicationException::MISSING_RESULT);
            EXPECT_STREQ(e.what(), "MaintainOnline failed: unknown result");
        }
    }
    {
        // An exception message from the server: text (1) and type (2).
        MemoryClient m(Frame(Header("login", 3, 0) + F(STRING, 1) + Str("server broke") + F(I32T, 2) + I32(6) + STOP));
        StructLoginResp r;
        try {
            m.client->recv_login(r);
            FAIL() << "no exception";
        } catch (const TApplicationException& e) {
            EXPECT_EQ(e.getType(), TApplicationException::INTERNAL_ERROR);
            EXPECT_STREQ(e.what(), "server broke");
        }
    }
    {
        // A reply for another method is skipped, and the result record is then
        // read from what follows on the connection, without a message header.
        MemoryClient m(Reply("exit", F(I32T, 0) + I32(0) + STOP) + Frame(F(I32T, 0) + I32(10) + STOP));
        EXPECT_EQ(m.client->recv_SendGroupMsg(), ResultCode::PARA_ERROR);
    }
}

TEST(ProtocolWireTest, MalformedAndOversizedRepliesFailWithoutHugeAllocations)
{
    auto expectFailure = [](const std::string& bytes, const char* what) {
        MemoryClient m(bytes);
        StructOnlineResp r;
        auto start = std::chrono::steady_clock::now();
        EXPECT_THROW(m.client->recv_MaintainOnline(r), TException) << what;
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2)) << what;
    };
    const std::string head = Header("MaintainOnline", 2, 0) + F(STRUCT, 0);
    // A frame that announces 2 GB.
    expectFailure(I32(0x7ffffff0) + head, "oversized frame");
    expectFailure(I32(-5) + head, "negative frame");
    // A list of two billion messages in a small frame.
    expectFailure(Frame(head + F(LIST, 2) + I8(STRUCT) + I32(0x7fffffff) + STOP + STOP), "huge list");
    expectFailure(Frame(head + F(LIST, 2) + I8(STRUCT) + I32(-1) + STOP + STOP), "negative list");
    // A map just above the element limit.
    expectFailure(Frame(head + F(MAP, 3) + I8(I32T) + I8(I16T) + I32(ServiceLimits().maxContainerElements + 1) + STOP +
                        STOP),
                  "map over the limit");
    // A string of 2 GB inside a message.
    expectFailure(Frame(head + F(LIST, 2) + I8(STRUCT) + I32(1) + F(STRING, 5) + I32(0x7fffff00) + "abc" + STOP + STOP),
                  "huge string");
    // An unknown type code to skip.
    expectFailure(Frame(head + F(99, 5) + I32(0) + STOP + STOP), "bad type code");
    // Unknown structs nested far too deep.
    std::string deep;
    for (int k = 0; k < 200; ++k) deep += F(STRUCT, 50);
    expectFailure(Frame(head + deep), "nesting");
    // Cut short.
    expectFailure(Frame(head + F(LIST, 2) + I8(STRUCT) + I32(3)), "truncated");
}
