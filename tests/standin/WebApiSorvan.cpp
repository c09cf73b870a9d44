// The web API of the search plug-in: searching users and groups a page at a
// time, friend requests, asking to join a group and inviting a friend into
// an own group, over the stand-in service's data. Registration adds a larger
// set of users and groups beside the seed (users 20001 to 20307, groups 3001 to
// 3204: "校园用户001"..., "校园群组001"..., and a few names with quotes,
// per cent, ampersand, hash and markup), so that searches have many pages.
//
// The caller is the user whose account is `phone`; an unknown account or an
// empty `key` answers -101 (the account may not use the function).
#include "tests/standin/StandinService.h"
#include "tests/standin/StandinWeb.h"
#include "tests/standin/WebApi.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace standin {

namespace {

const int32_t kFirstSearchUser = 20001;
const int32_t kSearchUsers = 300;
const int32_t kFirstSearchGroup = 3001;
const int32_t kSearchGroups = 200;
// A user may be in at most this many groups.
const size_t kGroupsPerUser = 8;

int32_t IdParam(const WebRequest& r, const char* name)
{
    return static_cast<int32_t>(std::atol(r.Param(name).c_str()));
}

WebReply Result(int code)
{
    return WebReply::Json(nlohmann::json{{"result", code}}.dump());
}

// The caller, or 0 when the account may not use the web API.
int32_t Caller(StandinService& data, const WebRequest& r)
{
    if (r.Param("key").empty()) return 0;
    return data.UserIdOfAccount(r.Param("phone"));
}

std::string Numbered(const char* prefix, int n)
{
    char text[64];
    std::snprintf(text, sizeof text, "%s%03d", prefix, n);
    return text;
}

// The larger set: numbered users and groups, with every fifth note empty,
// and a few names with quotes, per cent, ampersand, hash and no name at all.
void AddSearchSet(StandinService& data)
{
    for (int i = 1; i <= kSearchUsers; ++i) {
        SeedUser u;
        u.id = kFirstSearchUser + i - 1;
        char phone[16];
        std::snprintf(phone, sizeof phone, "139%08d", i);
        u.phone = phone;
        u.password = "123456";
        u.name = Numbered("校园用户", i);
        u.note = i % 5 == 0 ? std::string() : "第" + std::to_string(i) + "号同学的签名";
        u.gender = i % 2 ? "男" : "女";
        data.AddUser(u);
    }
    const char* special[] = {"O'Neil 王", "100% 学霸", "A&B 同学", "#话题# 小李", "<b>粗</b>", "", "张'伟%&#"};
    int32_t id = kFirstSearchUser + kSearchUsers;
    for (const char* name : special) {
        SeedUser u;
        u.id = id++;
        u.phone = "1390000" + std::to_string(u.id).substr(1);
        u.password = "123456";
        u.name = name;
        data.AddUser(u);
    }

    for (int i = 1; i <= kSearchGroups; ++i) {
        SeedGroup g;
        g.gid = kFirstSearchGroup + i - 1;
        g.name = Numbered("校园群组", i);
        g.note = i % 5 == 0 ? std::string() : "第" + std::to_string(i) + "个群的公告";
        g.style = 1 + i % 2;
        g.groupClass = i % 10 == 3 ? "班级" : "兴趣";
        g.masterId = kFirstSearchUser + (i - 1) % kSearchUsers;
        g.members.push_back({g.masterId, 1, std::string()});
        g.members.push_back({kFirstSearchUser + i % kSearchUsers, 0, std::string()});
        // Every tenth group from the seventh on is full.
        g.capacity = i % 10 == 7 ? static_cast<int32_t>(g.members.size()) : 100;
        data.AddGroup(g);
    }
    const char* specialGroups[] = {"O'Neil 的群", "100% 群", "A&B 群", "#话题# 群"};
    int32_t gid = kFirstSearchGroup + kSearchGroups;
    for (const char* name : specialGroups) {
        SeedGroup g;
        g.gid = gid++;
        g.name = name;
        g.style = 1;
        g.groupClass = "兴趣";
        g.capacity = 100;
        g.masterId = kFirstSearchUser;
        g.members.push_back({g.masterId, 1, std::string()});
        data.AddGroup(g);
    }
}

bool Matches(const std::string& name, int32_t id, const std::string& key)
{
    return name.find(key) != std::string::npos || std::to_string(id).find(key) != std::string::npos;
}

nlohmann::json TextOrNull(const std::string& text)
{
    return text.empty() ? nlohmann::json() : nlohmann::json(text);
}

// One page of `rows` (JSON objects) as the pages take it.
WebReply Page(const WebRequest& r, std::vector<nlohmann::json> rows, const char* listName)
{
    int page = std::max(1, IdParam(r, "page_index"));
    int size = IdParam(r, "page_size");
    if (size < 1 || size > 100) size = 4;
    nlohmann::json list = nlohmann::json::array();
    const size_t first = static_cast<size_t>(page - 1) * static_cast<size_t>(size);
    for (size_t i = first; i < rows.size() && i < first + static_cast<size_t>(size); ++i) list.push_back(rows[i]);
    nlohmann::json reply = {{"result", 0}, {"total_count", rows.size()}, {"total", list.size()}, {listName, list}};
    return WebReply::Json(reply.dump());
}

WebReply SearchUsers(StandinService& data, const WebRequest& r)
{
    if (!Caller(data, r)) return Result(-101);
    const std::string key = r.Param("search_key");
    std::vector<nlohmann::json> rows;
    if (!key.empty())
        for (const SeedUser& u : data.Users())
            if (Matches(u.name, u.id, key) || u.phone == key)
                rows.push_back({{"user_id", u.id}, {"name", TextOrNull(u.name)}, {"note", TextOrNull(u.note)}});
    return Page(r, rows, "user_list");
}

WebReply SearchGroups(StandinService& data, const WebRequest& r)
{
    if (!Caller(data, r)) return Result(-101);
    const std::string key = r.Param("search_key");
    std::vector<nlohmann::json> rows;
    if (!key.empty())
        for (const SeedGroup& g : data.Groups())
            if (Matches(g.name, g.gid, key))
                rows.push_back({{"group_id", g.gid}, {"name", TextOrNull(g.name)}, {"note", TextOrNull(g.note)}});
    return Page(r, rows, "group_list");
}

size_t GroupsOf(const std::vector<SeedGroup>& groups, int32_t uid)
{
    size_t n = 0;
    for (const SeedGroup& g : groups)
        for (const SeedMember& m : g.members)
            if (m.uid == uid) ++n;
    return n;
}

bool IsMember(const SeedGroup& g, int32_t uid)
{
    return std::any_of(g.members.begin(), g.members.end(), [&](const SeedMember& m) { return m.uid == uid; });
}

// A friend request: the two become friends at once.
WebReply AddFriend(StandinService& data, const WebRequest& r)
{
    const int32_t me = Caller(data, r);
    if (!me) return Result(-101);
    return Result(data.AddFriendByWeb(me, IdParam(r, "user_id")));
}

// Asking to join: the owner decides later, so nothing changes here.
WebReply JoinGroup(StandinService& data, const WebRequest& r)
{
    const int32_t me = Caller(data, r);
    if (!me) return Result(-101);
    SeedGroup g;
    if (!data.Group(IdParam(r, "group_id"), &g)) return Result(-1);
    if (IsMember(g, me)) return Result(-13);
    if (g.groupClass == "班级") return Result(-15);
    if (g.members.size() >= static_cast<size_t>(g.capacity)) return Result(-14);
    if (GroupsOf(data.Groups(), me) >= kGroupsPerUser) return Result(-12);
    return Result(0);
}

// Inviting a friend into a group the caller owns; the answer is a bare
// number. The invitation waits for the friend, so nothing changes here.
WebReply Invite(StandinService& data, const WebRequest& r)
{
    const int32_t me = Caller(data, r);
    if (!me) return WebReply::Number(-101);
    SeedGroup g;
    const int32_t gid = IdParam(r, "group_id");
    if (!data.Group(gid, &g) || data.MemberRole(gid, me) != 1) return WebReply::Number(-1);
    const int32_t friendId = IdParam(r, "user_param");
    if (!data.User(friendId, nullptr)) return WebReply::Number(-3);
    if (IsMember(g, friendId)) return WebReply::Number(-5);
    if (g.members.size() >= static_cast<size_t>(g.capacity)) return WebReply::Number(-2);
    if (GroupsOf(data.Groups(), friendId) >= kGroupsPerUser) return WebReply::Number(-6);
    return WebReply::Number(0);
}

}  // namespace

void RegisterSorvanApi(StandinWeb& web, StandinService& data)
{
    AddSearchSet(data);
    StandinService* d = &data;
    for (const char* method : {"GET", "POST"}) {
        web.Handle(method, "/api/friend/searchUserList.jsp", [d](const WebRequest& r) { return SearchUsers(*d, r); });
        web.Handle(method, "/api/group/searchGroupList.jsp", [d](const WebRequest& r) { return SearchGroups(*d, r); });
        web.Handle(method, "/api/friend/addFriend.jsp", [d](const WebRequest& r) { return AddFriend(*d, r); });
        web.Handle(method, "/api/group/joinGroupUser.jsp", [d](const WebRequest& r) { return JoinGroup(*d, r); });
        web.Handle(method, "/api/group/addGroupUser.jsp", [d](const WebRequest& r) { return Invite(*d, r); });
    }
}

}  // namespace standin
