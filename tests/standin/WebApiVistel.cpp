// The web API of the contact and group cards: a user's or a group's card,
// and the edits of a friend remark and of the own card in a group, over the
// stand-in service's users, friends and groups. Every reply is JSON with
// `result` 0 on success; an unknown user, group or friendship answers 1, so
// that a page which reports a failure can be shown one.
#include "tests/standin/StandinService.h"
#include "tests/standin/StandinWeb.h"
#include "tests/standin/WebApi.h"

#include <nlohmann/json.hpp>

#include <cstdlib>
#include <string>

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

WebReply UserInfo(StandinService& data, const WebRequest& r)
{
    SeedUser u;
    if (!data.User(IdParam(r, "user_id"), &u)) return Result(1);
    std::string remark;
    const int32_t self = data.UserIdOfAccount(r.Param("phone"));
    for (const auto& f : data.Friends(self))
        if (f.first == u.id) remark = f.second;
    nlohmann::json user = {{"name", u.name},         {"note", u.note},   {"sex", u.gender},
                           {"city", u.city},         {"birthday", u.birthday}, {"frdRemark", remark},
                           {"email", u.email},       {"interests", u.interests}};
    return WebReply::Json(nlohmann::json{{"result", 0}, {"user", user}}.dump());
}

WebReply GroupInfo(StandinService& data, const WebRequest& r)
{
    SeedGroup g;
    if (!data.Group(IdParam(r, "group_id"), &g)) return Result(1);
    SeedUser master;
    data.User(g.masterId, &master);
    nlohmann::json group = {{"name", g.name},
                            {"style", std::to_string(g.style)},
                            {"group_class", g.groupClass},
                            {"master_phone", master.phone},
                            {"master_id", std::to_string(g.masterId)},
                            {"note", g.note}};
    return WebReply::Json(nlohmann::json{{"result", 0}, {"group", group}}.dump());
}

// A remark edit by the user logged in with `account`.
WebReply Remark(StandinService& data, const std::string& account, int32_t friendId, const std::string& remark)
{
    const int32_t self = data.UserIdOfAccount(account);
    return Result(self && data.SetFriendRemark(self, friendId, remark) ? 0 : 1);
}

}  // namespace

void RegisterVistelApi(StandinWeb& web, StandinService& data)
{
    StandinService* d = &data;
    for (const char* method : {"GET", "POST"}) {
        web.Handle(method, "/api/user/getUserInfo.jsp", [d](const WebRequest& r) { return UserInfo(*d, r); });
        web.Handle(method, "/api/group/getGroupInfo.jsp", [d](const WebRequest& r) { return GroupInfo(*d, r); });
        web.Handle(method, "/Chirra_User/edit_frd_remark", [d](const WebRequest& r) {
            return Remark(*d, r.Param("userID"), IdParam(r, "frdID"), r.Param("remark"));
        });
        web.Handle(method, "/api/friend/editFriendRemark.jsp", [d](const WebRequest& r) {
            return Remark(*d, r.Param("phone"), IdParam(r, "friend_id"), r.Param("remark"));
        });
        web.Handle(method, "/api/group/editGroupUserCard.jsp", [d](const WebRequest& r) {
            return Result(d->SetMemberCard(IdParam(r, "group_id"), IdParam(r, "user_id"), r.Param("user_card")) ? 0 : 1);
        });
    }
}

}  // namespace standin
