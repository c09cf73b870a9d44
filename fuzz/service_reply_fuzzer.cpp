// Service replies, read by the generated client exactly as a connection
// reads them: the binary protocol over a framed transport with the client's
// size limits. The first byte picks the call whose reply the rest is; bit 0
// of the second byte says whether the rest is one whole frame (its length
// first) or the message inside a frame whose length is made here. Whatever
// is read is printed whole, as every field of a reply may be read.
#include "Lum/session/ServiceConnection.h"

#include <thrift/TApplicationException.h>
#include <thrift/transport/TBufferTransports.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <sstream>
#include <string>

namespace {

using Client = lum_thrift::LumServiceClient;
using Read = void (*)(Client&, std::ostream&);

const Read kCalls[] = {
    [](Client& c, std::ostream& out) { lum_thrift::StructAuthorizeResp r; c.recv_authorize(r); r.printTo(out); },
    [](Client& c, std::ostream& out) { lum_thrift::StructLoginResp r; c.recv_login(r); r.printTo(out); },
    [](Client& c, std::ostream& out) { lum_thrift::StructFriendListResp r; c.recv_getFriendList(r); r.printTo(out); },
    [](Client& c, std::ostream& out) { lum_thrift::StructGroupListResp r; c.recv_getGroupList(r); r.printTo(out); },
    [](Client& c, std::ostream& out) { out << c.recv_resetPassword(); },
    [](Client& c, std::ostream& out) { lum_thrift::StructOnlineResp r; c.recv_MaintainOnline(r); r.printTo(out); },
    [](Client& c, std::ostream& out) { out << c.recv_modifyPassword(); },
    [](Client& c, std::ostream& out) { out << c.recv_MoveUserToBlack(); },
    [](Client& c, std::ostream& out) { lum_thrift::StructBlackListResp r; c.recv_getBlackList(r); r.printTo(out); },
    [](Client& c, std::ostream& out) { out << c.recv_addFriend(); },
    [](Client& c, std::ostream& out) { out << c.recv_deleteFriend(); },
    [](Client& c, std::ostream& out) { lum_thrift::StructUserListResp r; c.recv_searchUserList(r); r.printTo(out); },
    [](Client& c, std::ostream& out) { out << c.recv_editUserInfo(); },
    [](Client& c, std::ostream& out) { out << c.recv_editFriendRemark(); },
    [](Client& c, std::ostream& out) { lum_thrift::StructGroupInfoResp r; c.recv_createGroup(r); r.printTo(out); },
    [](Client& c, std::ostream& out) { out << c.recv_DeleteGroup(); },
    [](Client& c, std::ostream& out) { out << c.recv_addGroupUser(); },
    [](Client& c, std::ostream& out) { out << c.recv_importGroupUser(); },
    [](Client& c, std::ostream& out) { out << c.recv_DeleteUser(); },
    [](Client& c, std::ostream& out) { out << c.recv_editGroupStyle(); },
    [](Client& c, std::ostream& out) { out << c.recv_editGroupInfo(); },
    [](Client& c, std::ostream& out) { lum_thrift::StructGroupInfoResp r; c.recv_getGroupInfo(r); r.printTo(out); },
    [](Client& c, std::ostream& out) { out << c.recv_SetBotherDay(); },
    [](Client& c, std::ostream& out) { out << c.recv_joinGroupUser(); },
    [](Client& c, std::ostream& out) { out << c.recv_DealInviteGroupResp(); },
    [](Client& c, std::ostream& out) { lum_thrift::StructGroupListResp r; c.recv_searchGroupList(r); r.printTo(out); },
    [](Client& c, std::ostream& out) { out << c.recv_SendUserMsg(); },
    [](Client& c, std::ostream& out) { out << c.recv_SendGroupMsg(); },
    [](Client& c, std::ostream& out) { out << c.recv_sendFriendNotifyMsg(); },
    [](Client& c, std::ostream& out) { out << c.recv_sendGroupNotifyMsg(); },
    [](Client& c, std::ostream& out) { lum_thrift::StructMsgListResp r; c.recv_getUnreadedMsgList(r); r.printTo(out); },
    [](Client& c, std::ostream& out) { out << c.recv_setMessageReaded(); },
    [](Client& c, std::ostream& out) { lum_thrift::StructUserInfoResp r; c.recv_GetUserInfo(r); r.printTo(out); },
    [](Client& c, std::ostream& out) { out << c.recv_DealJoinGroupResp(); },
    [](Client& c, std::ostream& out) { out << c.recv_editGroupIsMaster(); },
    [](Client& c, std::ostream& out) { out << c.recv_GetPwd(); },
    [](Client& c, std::ostream& out) { out << c.recv_exit(); },
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using apache::thrift::transport::TFramedTransport;
    using apache::thrift::transport::TMemoryBuffer;
    if (size < 2) return 0;
    const size_t call = data[0] % (sizeof kCalls / sizeof kCalls[0]);
    const bool wholeFrame = (data[1] & 1) != 0;
    std::string bytes;
    if (!wholeFrame) {
        const uint32_t length = static_cast<uint32_t>(size - 2);
        const char header[4] = {static_cast<char>(length >> 24), static_cast<char>(length >> 16),
                                static_cast<char>(length >> 8), static_cast<char>(length)};
        bytes.assign(header, 4);
    }
    bytes.append(reinterpret_cast<const char*>(data + 2), size - 2);

    const ServiceLimits limits;
    const auto config = MakeServiceConfiguration(limits);
    auto memory = std::make_shared<TMemoryBuffer>(reinterpret_cast<uint8_t*>(&bytes[0]),
                                                  static_cast<uint32_t>(bytes.size()), TMemoryBuffer::OBSERVE, config);
    auto framed = std::make_shared<TFramedTransport>(memory, config);
    Client client(MakeServiceProtocol(framed, limits));
    std::ostringstream out;
    try {
        kCalls[call](client, out);
    } catch (const apache::thrift::TException&) {
        // Every malformed reply ends the call this way.
    }
    return 0;
}
