// The web API of group creation and member invitation, over the stand-in
// service's data: creating a group, searching users four at a time,
// inviting chosen users (the group-creation module's invite page and the
// member-import window's tree page), and the example sheet of the member
// import, a small workbook made here.
//
// Invitations reach the invited users as group notices ("invite") on their
// next heartbeat, so a second client sees them.
#include "tests/platform/SheetFiles.h"
#include "tests/standin/StandinService.h"
#include "tests/standin/StandinWeb.h"
#include "tests/standin/WebApi.h"

#include <nlohmann/json.hpp>

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

namespace standin {

namespace {

int32_t IdParam(const WebRequest& r, const char* name)
{
    return static_cast<int32_t>(std::atol(r.Param(name).c_str()));
}

WebReply Result(int code)
{
    return WebReply::Json(nlohmann::json{{"result", code}}.dump());
}

// The ids of a list separated by `separator` (empty parts skipped).
std::vector<int32_t> Ids(const std::string& text, char separator)
{
    std::vector<int32_t> ids;
    std::stringstream in(text);
    std::string part;
    while (std::getline(in, part, separator))
        if (const int32_t id = static_cast<int32_t>(std::atol(part.c_str())); id > 0) ids.push_back(id);
    return ids;
}

// Creating a group: the caller (`phone`, with a `key`) becomes its owner.
WebReply CreateGroup(StandinService& data, const WebRequest& r)
{
    if (r.Param("key").empty()) return Result(-101);
    const int32_t owner = data.UserIdOfAccount(r.Param("phone"));
    const std::string name = r.Param("name");
    if (!owner || name.empty()) return Result(-1);
    const int32_t gid = data.CreateGroupByWeb(owner, name, r.Param("group_class"), IdParam(r, "style"), r.Param("note"));
    if (!gid) return Result(-1);
    return WebReply::Json(nlohmann::json{{"result", 0}, {"group_id", gid}}.dump());
}

// Searching users: type 0 by id (or account), type 1 by a part of the name;
// `max` rows of page `toPage` (from 1); `total` is the number of pages.
WebReply SearchUsers(StandinService& data, const WebRequest& r)
{
    const std::string param = r.Param("param");
    const bool byId = r.Param("type") == "0";
    int max = std::atoi(r.Param("max", "4").c_str());
    if (max <= 0) max = 4;
    int page = std::atoi(r.Param("toPage", "1").c_str());
    if (page <= 0) page = 1;
    std::vector<SeedUser> found;
    if (!param.empty())
        for (const SeedUser& u : data.Users())
            if (byId ? (std::to_string(u.id) == param || u.phone == param) : u.name.find(param) != std::string::npos)
                found.push_back(u);
    nlohmann::json ls = nlohmann::json::array();
    for (size_t i = static_cast<size_t>((page - 1) * max); i < found.size() && ls.size() < static_cast<size_t>(max); ++i) {
        nlohmann::json row{{"id", found[i].id}, {"user_name", found[i].name}};
        row["user_note"] = found[i].note.empty() ? nlohmann::json(nullptr) : nlohmann::json(found[i].note);
        ls.push_back(row);
    }
    const size_t pages = (found.size() + static_cast<size_t>(max) - 1) / static_cast<size_t>(max);
    return WebReply::Json(nlohmann::json{{"ls", ls}, {"total", pages}}.dump());
}

// The invite page: `memberIDs` "id;id;", from the owner `userID`.
WebReply AddMembers(StandinService& data, const WebRequest& r)
{
    const int32_t gid = IdParam(r, "grpID");
    const int32_t from = IdParam(r, "userID");
    if (data.MemberRole(gid, from) != 1) return Result(-1);
    int sent = 0;
    for (int32_t id : Ids(r.Param("memberIDs"), ';'))
        if (data.InviteToGroup(gid, from, id, r.Param("inviteMsg"))) ++sent;
    return WebReply::Json(nlohmann::json{{"result", 0}, {"suc_count", sent}}.dump());
}

// The member-import window's tree page: `friend_id` "id,id", from the owner
// whose account is `phone`.
WebReply BatchAdd(StandinService& data, const WebRequest& r)
{
    if (r.Param("key").empty()) return Result(-101);
    const int32_t from = data.UserIdOfAccount(r.Param("phone"));
    const int32_t gid = IdParam(r, "group_id");
    if (!from || data.MemberRole(gid, from) != 1) return Result(-1);
    int sent = 0;
    for (int32_t id : Ids(r.Param("friend_id"), ','))
        if (data.InviteToGroup(gid, from, id, std::string())) ++sent;
    return WebReply::Json(nlohmann::json{{"result", 0}, {"suc_count", sent}}.dump());
}

// The example sheet: a header row and two people.
WebReply ExampleSheet()
{
    using sheetfiles::Value;
    WebReply reply;
    reply.body = sheetfiles::XlsBytes({{"Sheet1",
                                        {{"姓名", "手机号", "邮箱"},
                                         {"张三", 13800138000.0, "zhangsan@example.com"},
                                         {"李四", 13900139000.0, "lisi@example.com"}}}});
    reply.contentType = "application/vnd.ms-excel";
    return reply;
}

}  // namespace

void RegisterAdhorApi(StandinWeb& web, StandinService& data)
{
    StandinService* d = &data;
    for (const char* method : {"GET", "POST"}) {
        web.Handle(method, "/api/group/createGroup.jsp", [d](const WebRequest& r) { return CreateGroup(*d, r); });
        web.Handle(method, "/Chirra_User/get_userList_pc", [d](const WebRequest& r) { return SearchUsers(*d, r); });
        web.Handle(method, "/Chirra_group/add_groupMember_pc", [d](const WebRequest& r) { return AddMembers(*d, r); });
        web.Handle(method, "/api/group/batchAddGroupUser.jsp", [d](const WebRequest& r) { return BatchAdd(*d, r); });
    }
    web.Handle("GET", "/lum_example.xls", [](const WebRequest&) { return ExampleSheet(); });
}

}  // namespace standin
