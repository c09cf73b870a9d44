// The web API of the settings window: the black list of a user (read from
// and removed in the stand-in service's black lists, so a removal shows in
// the client's next black-list reply), the SMS blocking hours and the
// friend-verification choice (kept here, per user).
#include "tests/standin/StandinService.h"
#include "tests/standin/StandinWeb.h"
#include "tests/standin/WebApi.h"

#include <nlohmann/json.hpp>

#include <cstdlib>
#include <map>
#include <memory>
#include <mutex>
#include <string>

namespace standin {

namespace {

struct PreforState {
    std::mutex lock;
    // uID -> start and end hour of the SMS blocking (0 0: no blocking).
    std::map<int32_t, std::pair<std::string, std::string>> hours;
    // uID -> "0" allow everybody, "1" ask me, "2" refuse everybody.
    std::map<int32_t, std::string> allowAdd;
};

int32_t Uid(const WebRequest& r)
{
    return static_cast<int32_t>(std::atol(r.Param("uID").c_str()));
}

}  // namespace

void RegisterPreforApi(StandinWeb& web, StandinService& data)
{
    auto state = std::make_shared<PreforState>();
    StandinService* service = &data;

    web.Handle("POST", "/Chirra_User/get_blackList_pc", [service](const WebRequest& r) {
        nlohmann::json list = nlohmann::json::array();
        for (int32_t id : service->BlackList(Uid(r))) {
            SeedUser u;
            if (!service->User(id, &u)) u.id = id;
            list.push_back({{"id", std::to_string(id)}, {"name", u.name}, {"note", u.note}});
        }
        return WebReply::Json(list.dump());
    });

    web.Handle("POST", "/Chirra_User/del_blackList_pc", [service](const WebRequest& r) {
        const int32_t uid = Uid(r);
        const std::string ids = r.Param("blackIDs") + ",";
        int removed = 0;
        for (size_t start = 0, comma; (comma = ids.find(',', start)) != std::string::npos; start = comma + 1) {
            const std::string item = ids.substr(start, comma - start);
            if (!item.empty() && service->RemoveFromBlackList(uid, static_cast<int32_t>(std::atol(item.c_str()))))
                ++removed;
        }
        return WebReply::Json(nlohmann::json{{"result", 0}, {"removed", removed}}.dump());
    });

    web.Handle("POST", "/Chirra_User/get_msgBlock_pc", [state](const WebRequest& r) {
        std::lock_guard<std::mutex> lock(state->lock);
        auto it = state->hours.find(Uid(r));
        const std::pair<std::string, std::string> hours =
            it == state->hours.end() ? std::make_pair(std::string("0"), std::string("0")) : it->second;
        return WebReply::Json(
            nlohmann::json{{"sTime", hours.first}, {"eTime", hours.second}, {"handler", "mobile"}}.dump());
    });

    web.Handle("POST", "/Chirra_User/set_msgBlock_pc", [state](const WebRequest& r) {
        std::lock_guard<std::mutex> lock(state->lock);
        state->hours[Uid(r)] = {r.Param("startTime"), r.Param("endTime")};
        return WebReply::Json(nlohmann::json{{"result", 0}}.dump());
    });

    web.Handle("POST", "/Chirra_User/get_allowAdd_pc", [state](const WebRequest& r) {
        std::lock_guard<std::mutex> lock(state->lock);
        auto it = state->allowAdd.find(Uid(r));
        return WebReply::Json(
            nlohmann::json{{"allowAdd", it == state->allowAdd.end() ? std::string("1") : it->second}}.dump());
    });

    web.Handle("POST", "/Chirra_User/set_allowAdd_pc", [state](const WebRequest& r) {
        std::lock_guard<std::mutex> lock(state->lock);
        state->allowAdd[Uid(r)] = r.Param("allowIndex");
        return WebReply::Json(nlohmann::json{{"result", 0}}.dump());
    });
}

}  // namespace standin
