// The web API of the group information editor: the group's information with
// the asking member's card and SMS choice, the owner's edit of name, class,
// type and introduction, a member's edit of card and SMS choice, and the
// group photo upload, over the stand-in service's groups, so that an edit
// shows in every client that asks the service afterwards.
//
// Replies as the editor's page expects them: the information edit answers
// the text "0" for the "应用" form (field `type` 1) and JSON {"result":0}
// for the "确定" form; "-1" (JSON result -1) when an interactive group would
// have more than 300 members; "denied" when the verify code is missing or
// the asking account does not own the group; "fail" (JSON result 1) for a
// name that is empty, longer than 15 characters or holds a forbidden
// character, or a note longer than 50 characters. The settings edit answers
// "0", "denied" or "fail". The photo upload answers "success", "oversize",
// "photoFail" or "fail", and only "success" replaces the group's photo.
#include "tests/standin/StandinService.h"
#include "tests/standin/StandinWeb.h"
#include "tests/standin/WebApi.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <cstdlib>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>

namespace standin {

// Defined with the head upload (WebApiMievo.cpp).
bool IsWholeImage(const std::string& bytes);
void ServeImage(StandinWeb& web, const std::string& path, const std::string& bytes);

namespace {

const size_t kMaxPhotoBytes = 1024 * 1024;

// Whether group SMS are blocked, per (group, member); the seed blocks none.
struct Settings {
    std::mutex lock;
    std::map<std::pair<int32_t, int32_t>, std::string> bother;

    std::string Bother(int32_t gid, int32_t uid)
    {
        std::lock_guard<std::mutex> g(lock);
        auto it = bother.find({gid, uid});
        return it == bother.end() ? "0" : it->second;
    }
    void SetBother(int32_t gid, int32_t uid, const std::string& value)
    {
        std::lock_guard<std::mutex> g(lock);
        bother[{gid, uid}] = value == "1" ? "1" : "0";
    }
};

int32_t IdParam(const WebRequest& r, const char* name)
{
    return static_cast<int32_t>(std::atol(r.Param(name).c_str()));
}

bool IsVerifyCode(const std::string& key)
{
    if (key.size() != 32) return false;
    for (char c : key)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
    return true;
}

size_t Characters(const std::string& text)
{
    size_t n = 0;
    for (char c : text)
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++n;
    return n;
}

WebReply GroupInfo(StandinService& data, Settings& settings, const WebRequest& r)
{
    SeedGroup g;
    if (!data.Group(IdParam(r, "group_id"), &g)) return WebReply::Json(nlohmann::json{{"result", 1}}.dump());
    SeedUser master;
    data.User(g.masterId, &master);
    const std::string account = r.Param("phone");
    const int32_t self = data.UserIdOfAccount(account);
    std::string card;
    for (const SeedMember& m : g.members)
        if (m.uid == self) card = m.carte;
    nlohmann::json group = {{"ID", std::to_string(g.gid)},
                            {"name", g.name},
                            {"master_id", std::to_string(g.masterId)},
                            {"master_name", master.name},
                            {"master_phone", master.phone},
                            {"group_class", g.groupClass},
                            {"style", std::to_string(g.style)},
                            {"note", g.note},
                            {"isMaster", self && self == g.masterId ? "1" : "0"},
                            {"isbother", settings.Bother(g.gid, self)},
                            {"userCard", card},
                            {"userPhone", account}};
    return WebReply::Json(nlohmann::json{{"result", 0}, {"group", group}}.dump());
}

// "0", "-1", "denied" or "fail" for an information edit.
std::string EditInfo(StandinService& data, const WebRequest& r, bool applyForm)
{
    const int32_t gid = IdParam(r, "group_id");
    SeedGroup g;
    const std::string key = r.Param(applyForm ? "verifyCode" : "key");
    if (!data.Group(gid, &g)) return "fail";
    const int32_t self = data.UserIdOfAccount(r.Param("phone"));
    if (!IsVerifyCode(key) || self <= 0 || self != g.masterId) return "denied";
    const std::string name = r.Param("name"), note = r.Param("note");
    const std::string groupClass = r.Param(applyForm ? "grpClass" : "group_class");
    const int32_t style = IdParam(r, applyForm ? "grpStyle" : "style");
    if (name.empty() || Characters(name) > 15 || name.find_first_of("@/'\\\"#$%&^*") != std::string::npos ||
        Characters(note) > 50)
        return "fail";
    if (style == 1 && g.members.size() > 300) return "-1";
    return data.UpdateGroupInfo(gid, name, groupClass, style, note) ? "0" : "fail";
}

WebReply EditSettings(StandinService& data, Settings& settings, const WebRequest& r)
{
    const int32_t gid = IdParam(r, "grpID");
    const int32_t self = data.UserIdOfAccount(r.Param("userPhone"));
    if (!IsVerifyCode(r.Param("verifyCode")) || self <= 0) return WebReply::Text("denied");
    if (Characters(r.Param("userCard")) > 15 || !data.SetMemberCard(gid, self, r.Param("userCard")))
        return WebReply::Text("fail");
    settings.SetBother(gid, self, r.Param("isBother"));
    return WebReply::Text("0");
}

WebReply UploadPhoto(StandinWeb& web, StandinService& data, const WebRequest& r)
{
    const int32_t gid = IdParam(r, "hid_grpID");
    auto file = r.files.find("file_headPhoto");
    if (!data.Group(gid, nullptr) || file == r.files.end() || file->second.empty()) return WebReply::Text("fail");
    if (file->second.size() > kMaxPhotoBytes) return WebReply::Text("oversize");
    if (!IsWholeImage(file->second)) return WebReply::Text("photoFail");
    ServeImage(web, "/upload/group/" + std::to_string(gid) + ".png", file->second);
    return WebReply::Text("success");
}

}  // namespace

void RegisterClanorApi(StandinWeb& web, StandinService& data)
{
    StandinService* d = &data;
    StandinWeb* w = &web;
    auto settings = std::make_shared<Settings>();
    for (const char* method : {"GET", "POST"}) {
        web.Handle(method, "/api/group/getGroupInfo.jsp",
                   [d, settings](const WebRequest& r) { return GroupInfo(*d, *settings, r); });
        web.Handle(method, "/api/group/editGroupInfo.jsp", [d](const WebRequest& r) {
            const bool applyForm = r.Param("type") == "1";
            const std::string result = EditInfo(*d, r, applyForm);
            if (applyForm || result == "denied") return WebReply::Text(result);
            return WebReply::Json(nlohmann::json{{"result", result == "fail" ? 1 : std::atoi(result.c_str())}}.dump());
        });
        web.Handle(method, "/Chirra_group/edit_groupInfo_pc",
                   [d, settings](const WebRequest& r) { return EditSettings(*d, *settings, r); });
    }
    for (const char* path : {"/Chirra_group/upload_groupPhoto_pc/form_headPhoto", "/Chirra_group/upload_groupPhoto_pc"})
        web.Handle("POST", path, [w, d](const WebRequest& r) { return UploadPhoto(*w, *d, r); });
}

}  // namespace standin
