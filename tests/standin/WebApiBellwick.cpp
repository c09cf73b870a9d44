// The web API of the SMS notices: a notice to a group or to a list of users,
// and the greeting templates a notice can start from, over the stand-in
// service's users and groups. Notices answer JSON with `result` 0 when sent;
// -3 when a friend notice names the sender; 1 for an unknown account or no
// verify code, 2 for an unknown group or one the sender is not in, 3 for an
// unknown recipient or an empty list, 4 for an empty text, 5 for a text
// over 200 characters. What was sent is read back through the server's
// request log.
#include "tests/standin/StandinService.h"
#include "tests/standin/StandinWeb.h"
#include "tests/standin/WebApi.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdlib>
#include <sstream>
#include <string>

namespace standin {

namespace {

const char* const kTemplates[] = {"新年快乐，万事如意！", "春节愉快，阖家幸福！", "中秋快乐，花好月圆！",
                                  "祝老师节日快乐！", "端午安康！", "圣诞快乐 & 新年好 <3"};
const int kTemplateCount = sizeof kTemplates / sizeof kTemplates[0];

WebReply Result(int code)
{
    return WebReply::Json(nlohmann::json{{"result", code}}.dump());
}

// Characters of UTF-8 text (bytes that do not continue a character).
size_t Characters(const std::string& text)
{
    size_t n = 0;
    for (unsigned char c : text)
        if ((c & 0xC0) != 0x80) ++n;
    return n;
}

// The sender of a notice, 0 when the account or the verify code is missing.
int32_t Sender(StandinService& data, const WebRequest& r)
{
    if (r.Param("key").empty()) return 0;
    return data.UserIdOfAccount(r.Param("phone"));
}

int ContentFault(const WebRequest& r)
{
    const std::string content = r.Param("content");
    if (content.empty()) return 4;
    if (Characters(content) > 200) return 5;
    return 0;
}

WebReply GroupNotice(StandinService& data, const WebRequest& r)
{
    const int32_t sender = Sender(data, r);
    if (!sender) return Result(1);
    const int32_t gid = static_cast<int32_t>(std::atol(r.Param("group_id").c_str()));
    SeedGroup group;
    if (!data.Group(gid, &group) || !data.GroupHasMember(gid, sender)) return Result(2);
    if (const int fault = ContentFault(r)) return Result(fault);
    return Result(0);
}

WebReply FriendNotice(StandinService& data, const WebRequest& r)
{
    const int32_t sender = Sender(data, r);
    if (!sender) return Result(1);
    std::stringstream list(r.Param("friendid_list"));
    std::string item;
    int count = 0;
    while (std::getline(list, item, ',')) {
        const int32_t id = static_cast<int32_t>(std::atol(item.c_str()));
        if (id == sender) return Result(-3);
        SeedUser user;
        if (!data.User(id, &user)) return Result(3);
        ++count;
    }
    if (count == 0) return Result(3);
    if (const int fault = ContentFault(r)) return Result(fault);
    return Result(0);
}

WebReply TemplateList(const WebRequest& r)
{
    const int page = std::max(1, std::atoi(r.Param("toPage", "1").c_str()));
    const int max = std::max(1, std::atoi(r.Param("max", "4").c_str()));
    nlohmann::json list = nlohmann::json::array();
    for (int i = (page - 1) * max; i < page * max && i < kTemplateCount; ++i) list.push_back({{"msg", kTemplates[i]}});
    return WebReply::Json(list.dump());
}

}  // namespace

void RegisterBellwickApi(StandinWeb& web, StandinService& data)
{
    StandinService* d = &data;
    for (const char* method : {"GET", "POST"}) {
        web.Handle(method, "/api/message/sendGroupNotifyMessage.jsp",
                   [d](const WebRequest& r) { return GroupNotice(*d, r); });
        web.Handle(method, "/api/message/sendFriendNotifyMessage.jsp",
                   [d](const WebRequest& r) { return FriendNotice(*d, r); });
        web.Handle(method, "/Chirra_recommendmsg/smsType",
                   [](const WebRequest& r) { return WebReply::Number(r.Param("type") == "节日祝福" ? 1 : 0); });
        web.Handle(method, "/Chirra_recommendmsg/sms_list", [](const WebRequest& r) { return TemplateList(r); });
        web.Handle(method, "/Chirra_recommendmsg/getSmsTotal",
                   [](const WebRequest&) { return WebReply::Number(kTemplateCount); });
    }
}

}  // namespace standin
