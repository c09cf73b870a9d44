#include "tests/standin/StandinService.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <arpa/inet.h>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <fstream>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sstream>
#include <sys/socket.h>
#include <unistd.h>

namespace standin {

namespace {

// The service's result codes that the stand-in gives.
enum : int32_t {
    SUCCESS = 0,
    LOGIN_NO_REGISTER = 2,
    LOGIN_PWD_ERR = 3,
    LOGIN_IN_OTHER = 6,
    LOGIN_OUT_TIME = 7,
    PARA_ERROR = 10,
    SEARCH_USER_NO_FOUND = 11,
    JOIN_GROUP_IS_MEMEBER = 14,
    JOIN_GROUP_NOT_EXIST = 15,
    ADD_FRIEND_IS_FRIEND = 16,
    ADD_GROUP_USER_IS_EXIST = 18,
    FAIL = 99,
};

// Message kinds.
enum : int32_t {
    IsUserMessage = 0,
    IsGroupMessage = 1,
    IsUserDelete = 2,
    IsUserAdd = 3,
    IsGroupDelete = 4,
    IsGroupQuit = 5,
    IsFriendAdd = 10,
};

constexpr int16_t kOffline = 0;
// A user whose last heartbeat is older than this is offline.
constexpr auto kOnlineFor = std::chrono::seconds(30);
// Frames above this size are refused (the stand-in protects itself too).
constexpr uint32_t kMaxFrame = 16 * 1024 * 1024;

// A field of a struct the client writes: id, wire type, optional.
struct FieldSpec {
    int16_t id;
    uint8_t type;
    bool optional;
};

const std::vector<FieldSpec> kStructUser = {
    {1, kI32, false},    {2, kString, false}, {3, kString, false},  {4, kString, true},  {5, kString, true},
    {6, kString, true},  {7, kString, true},  {8, kString, true},   {9, kString, true},  {10, kString, true},
    {11, kString, true}, {12, kString, true}, {13, kString, true},  {14, kI32, true},    {15, kI32, true},
};
const std::vector<FieldSpec> kStructLogin = {
    {1, kString, false}, {2, kString, false}, {3, kI32, false}, {4, kI32, false}};

struct ArgSpec {
    int16_t id;
    uint8_t type;
    const std::vector<FieldSpec>* nested;  // for struct arguments
};

struct MethodSpec {
    const char* name;
    std::vector<ArgSpec> args;
    bool structResult;
};

// The one argument of most calls: the session key.
const std::vector<ArgSpec> K = {{1, kString, nullptr}};

// The service's methods: name, arguments (id, type), whether the result is a
// struct (else a result code).
const std::vector<MethodSpec>& Methods()
{
    static const std::vector<MethodSpec> table = {
        {"authorize", {{1, kI32, nullptr}}, true},
        {"login", {{1, kStruct, &kStructLogin}}, true},
        {"getFriendList", K, true},
        {"getGroupList", K, true},
        {"resetPassword", K, false},
        {"MaintainOnline", {{1, kString, nullptr}, {2, kI16, nullptr}}, true},
        {"modifyPassword", {{1, kString, nullptr}, {2, kString, nullptr}, {3, kString, nullptr}}, false},
        {"MoveUserToBlack", {{1, kString, nullptr}, {3, kI32, nullptr}}, false},
        {"getBlackList", K, true},
        {"addFriend", {{1, kString, nullptr}, {2, kI32, nullptr}}, false},
        {"deleteFriend", {{1, kString, nullptr}, {2, kI32, nullptr}}, false},
        {"searchUserList", {{1, kString, nullptr}, {2, kString, nullptr}, {3, kI32, nullptr}, {4, kI32, nullptr}}, true},
        {"editUserInfo", {{1, kString, nullptr}, {2, kStruct, &kStructUser}, {3, kI32, nullptr}}, false},
        {"editFriendRemark", {{1, kString, nullptr}, {2, kI32, nullptr}, {3, kString, nullptr}}, false},
        {"createGroup",
         {{1, kString, nullptr}, {2, kString, nullptr}, {3, kString, nullptr}, {4, kI16, nullptr}, {5, kString, nullptr}},
         true},
        {"DeleteGroup", {{1, kString, nullptr}, {2, kI32, nullptr}, {3, kI32, nullptr}}, false},
        {"addGroupUser", {{1, kString, nullptr}, {2, kI32, nullptr}, {3, kStruct, &kStructUser}, {4, kI32, nullptr}}, false},
        {"importGroupUser",
         {{1, kString, nullptr}, {2, kI32, nullptr}, {3, kStruct, &kStructUser}, {4, kI32, nullptr}, {5, kI32, nullptr}},
         false},
        {"DeleteUser", {{1, kString, nullptr}, {2, kI32, nullptr}, {3, kI32, nullptr}}, false},
        {"editGroupStyle", {{1, kString, nullptr}, {2, kI32, nullptr}, {3, kI16, nullptr}}, false},
        {"editGroupInfo",
         {{1, kString, nullptr},
          {2, kI32, nullptr},
          {3, kString, nullptr},
          {4, kString, nullptr},
          {5, kI16, nullptr},
          {6, kString, nullptr}},
         false},
        {"getGroupInfo", {{1, kString, nullptr}, {2, kI32, nullptr}}, true},
        {"SetBotherDay", {{1, kString, nullptr}, {3, kI32, nullptr}, {4, kI32, nullptr}}, false},
        {"joinGroupUser", {{1, kString, nullptr}, {2, kI32, nullptr}}, false},
        {"DealInviteGroupResp",
         {{1, kString, nullptr}, {3, kI32, nullptr}, {4, kI32, nullptr}, {5, kString, nullptr}, {6, kString, nullptr}},
         false},
        {"searchGroupList", {{1, kString, nullptr}, {2, kString, nullptr}, {3, kI32, nullptr}, {4, kI32, nullptr}}, true},
        {"SendUserMsg", {{1, kString, nullptr}, {3, kI32, nullptr}, {4, kI32, nullptr}, {5, kString, nullptr}}, false},
        {"SendGroupMsg", {{1, kString, nullptr}, {3, kI32, nullptr}, {4, kString, nullptr}}, false},
        {"sendFriendNotifyMsg", {{1, kString, nullptr}, {2, kString, nullptr}, {3, kString, nullptr}}, false},
        {"sendGroupNotifyMsg", {{1, kString, nullptr}, {2, kString, nullptr}, {3, kString, nullptr}}, false},
        {"getUnreadedMsgList", K, true},
        {"setMessageReaded", {{1, kString, nullptr}, {2, kString, nullptr}, {3, kString, nullptr}}, false},
        {"GetUserInfo", {{1, kString, nullptr}, {2, kI32, nullptr}, {3, kI32, nullptr}}, true},
        {"DealJoinGroupResp", {{1, kString, nullptr}, {3, kI32, nullptr}, {4, kI32, nullptr}, {5, kString, nullptr}}, false},
        {"editGroupIsMaster", {{1, kString, nullptr}, {2, kI32, nullptr}, {3, kI32, nullptr}, {4, kI16, nullptr}}, false},
        {"GetPwd", K, false},
        {"exit", K, false},
    };
    return table;
}

const MethodSpec* FindMethod(const std::string& name)
{
    for (const auto& m : Methods())
        if (name == m.name) return &m;
    return nullptr;
}

// Checks the fields of a struct against its table; returns the first fault.
std::string CheckFields(const Value& v, const std::vector<FieldSpec>& spec, const std::string& what)
{
    std::set<int16_t> seen;
    for (const auto& f : v.fields) {
        auto it = std::find_if(spec.begin(), spec.end(), [&](const FieldSpec& s) { return s.id == f.first; });
        if (it == spec.end()) return what + ": unexpected field " + std::to_string(f.first);
        if (it->type != f.second.type)
            return what + ": field " + std::to_string(f.first) + " has type " + std::to_string(f.second.type) +
                   ", expected " + std::to_string(it->type);
        if (!seen.insert(f.first).second) return what + ": field " + std::to_string(f.first) + " twice";
    }
    for (const auto& s : spec)
        if (!s.optional && !seen.count(s.id)) return what + ": missing field " + std::to_string(s.id);
    return std::string();
}

std::string CheckArgs(const Value& args, const std::vector<ArgSpec>& spec, const std::string& method)
{
    std::vector<FieldSpec> flat;
    for (const auto& a : spec) flat.push_back({a.id, a.type, false});
    std::string err = CheckFields(args, flat, method);
    if (!err.empty()) return err;
    for (const auto& a : spec)
        if (a.nested) {
            err = CheckFields(*args.Field(a.id), *a.nested, method + " argument " + std::to_string(a.id));
            if (!err.empty()) return err;
        }
    return std::string();
}

int32_t I32Arg(const Value& args, int16_t id)
{
    const Value* v = args.Field(id);
    return v ? static_cast<int32_t>(v->i) : 0;
}

std::string StrArg(const Value& args, int16_t id)
{
    const Value* v = args.Field(id);
    return v ? v->s : std::string();
}

bool SendAll(int fd, const char* p, size_t n)
{
    while (n > 0) {
        ssize_t k = ::send(fd, p, n, MSG_NOSIGNAL);
        if (k < 0 && errno == EINTR) continue;
        if (k <= 0) return false;
        p += k;
        n -= static_cast<size_t>(k);
    }
    return true;
}

bool RecvAll(int fd, char* p, size_t n)
{
    while (n > 0) {
        ssize_t k = ::recv(fd, p, n, 0);
        if (k < 0 && errno == EINTR) continue;
        if (k <= 0) return false;
        p += k;
        n -= static_cast<size_t>(k);
    }
    return true;
}

bool ReadFrame(int fd, std::string& frame)
{
    unsigned char len[4];
    if (!RecvAll(fd, reinterpret_cast<char*>(len), 4)) return false;
    uint32_t n = (uint32_t(len[0]) << 24) | (uint32_t(len[1]) << 16) | (uint32_t(len[2]) << 8) | len[3];
    if (n == 0 || n > kMaxFrame) return false;
    frame.assign(reinterpret_cast<char*>(len), 4);
    frame.resize(4 + n);
    return RecvAll(fd, &frame[4], n);
}

}  // namespace

struct StandinService::Reply {
    bool exception = false;
    int32_t appType = kAppUnknown;
    std::string message;
    std::string result;  // the result struct's bytes, stop byte included
};

namespace {

// A result record holding a result code.
std::string CodeResult(int32_t code)
{
    WireWriter w;
    w.FieldI32(0, code);
    w.Stop();
    return w.Bytes();
}

// A result record holding a reply struct whose only field is its code.
std::string CodeOnlyStructResult(int32_t code)
{
    WireWriter w;
    w.FieldBegin(kStruct, 0);
    w.FieldI32(1, code);
    w.Stop();
    w.Stop();
    return w.Bytes();
}

std::string JsonStr(const nlohmann::json& j, const char* key)
{
    auto it = j.find(key);
    if (it == j.end() || it->is_null()) return std::string();
    if (it->is_string()) return it->get<std::string>();
    return it->dump();
}

int32_t JsonInt(const nlohmann::json& j, const char* key, int32_t dflt = 0)
{
    auto it = j.find(key);
    if (it == j.end() || !it->is_number_integer()) return dflt;
    return it->get<int32_t>();
}

bool Contains(const std::string& text, const std::string& part)
{
    return !part.empty() && text.find(part) != std::string::npos;
}

std::string XmlEscape(const std::string& text)
{
    std::string out;
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&apos;"; break;
        default: out += c;
        }
    }
    return out;
}

using Attributes = std::vector<std::pair<std::string, std::string>>;

// A notice: an `info` element naming itself by `cmd`, its data in attributes
// and, when given, child elements; encoded as a message body.
std::string NoticeBody(const std::string& cmd, const Attributes& attributes, const std::string& children = std::string())
{
    std::string xml = "<info cmd=\"" + XmlEscape(cmd) + "\"";
    for (const auto& a : attributes) xml += " " + a.first + "=\"" + XmlEscape(a.second) + "\"";
    xml += children.empty() ? "/>" : ">" + children + "</info>";
    return PercentEncode(xml);
}

}  // namespace

StandinService::StandinService() = default;

StandinService::~StandinService()
{
    Stop();
}

bool StandinService::LoadSeedJson(const std::string& text, std::string* error)
{
    nlohmann::json j;
    try {
        j = nlohmann::json::parse(text);
    } catch (const std::exception& e) {
        if (error) *error = e.what();
        return false;
    }
    if (!j.is_object()) {
        if (error) *error = "seed is not an object";
        return false;
    }
    std::map<int32_t, SeedUser> users;
    std::map<int32_t, std::vector<Friend>> friends;
    std::map<int32_t, SeedGroup> groups;
    std::map<int32_t, std::set<int32_t>> blacks;
    try {
        for (const auto& u : j.value("users", nlohmann::json::array())) {
            SeedUser s;
            s.id = JsonInt(u, "id");
            if (s.id <= 0) throw std::runtime_error("a user without a positive id");
            s.phone = JsonStr(u, "phone");
            s.password = JsonStr(u, "password");
            s.name = JsonStr(u, "name");
            s.note = JsonStr(u, "note");
            s.gender = JsonStr(u, "gender");
            s.birthday = JsonStr(u, "birthday");
            s.province = JsonStr(u, "province");
            s.city = JsonStr(u, "city");
            s.interests = JsonStr(u, "interests");
            s.email = JsonStr(u, "email");
            s.mobile = JsonStr(u, "mobile");
            s.imgTime = JsonStr(u, "img_time");
            s.culdate = JsonStr(u, "culdate");
            users[s.id] = s;
        }
        // Friendship is mutual; each side may carry its own remark.
        for (const auto& f : j.value("friends", nlohmann::json::array())) {
            int32_t a = JsonInt(f, "user"), b = JsonInt(f, "friend");
            if (!users.count(a) || !users.count(b)) throw std::runtime_error("a friend pair names an unknown user");
            friends[a].push_back({b, JsonStr(f, "remark")});
            friends[b].push_back({a, JsonStr(f, "remarkBack")});
        }
        for (const auto& g : j.value("groups", nlohmann::json::array())) {
            SeedGroup s;
            s.gid = JsonInt(g, "gid");
            s.name = JsonStr(g, "name");
            s.note = JsonStr(g, "note");
            s.createTime = JsonStr(g, "createTime");
            s.groupClass = JsonStr(g, "groupClass");
            s.style = JsonInt(g, "style");
            s.groupType = JsonInt(g, "groupType");
            s.capacity = JsonInt(g, "capacity", 200);
            s.masterId = JsonInt(g, "master");
            for (const auto& m : g.value("members", nlohmann::json::array())) {
                SeedMember sm;
                sm.uid = JsonInt(m, "user");
                sm.isMaster = JsonInt(m, "isMaster");
                sm.carte = JsonStr(m, "carte");
                if (!users.count(sm.uid)) throw std::runtime_error("a group member is an unknown user");
                s.members.push_back(sm);
            }
            if (s.gid <= 0) throw std::runtime_error("a group without a positive id");
            groups[s.gid] = s;
        }
        for (const auto& b : j.value("blackLists", nlohmann::json::array()))
            for (const auto& id : b.value("black", nlohmann::json::array())) blacks[JsonInt(b, "user")].insert(id.get<int32_t>());
    } catch (const std::exception& e) {
        if (error) *error = e.what();
        return false;
    }
    std::lock_guard<std::mutex> lock(lock_);
    users_ = std::move(users);
    friends_ = std::move(friends);
    groups_ = std::move(groups);
    blacks_ = std::move(blacks);
    pending_.clear();
    sessions_.clear();
    currentKey_.clear();
    replacedKeys_.clear();
    online_.clear();
    lastSeen_.clear();
    for (const auto& u : users_) nextUserId_ = std::max(nextUserId_, u.first + 1);
    for (const auto& g : groups_) nextGroupId_ = std::max(nextGroupId_, g.first + 1);
    return true;
}

bool StandinService::LoadSeedFile(const std::string& path, std::string* error)
{
    std::ifstream in(path);
    if (!in) {
        if (error) *error = "cannot read " + path;
        return false;
    }
    std::stringstream ss;
    ss << in.rdbuf();
    return LoadSeedJson(ss.str(), error);
}

// --- listening and connections -------------------------------------------

bool StandinService::OpenListener()
{
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<uint16_t>(port_ < 0 ? 0 : port_));
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(fd, 64) != 0) {
        ::close(fd);
        return false;
    }
    socklen_t len = sizeof addr;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    port_ = ntohs(addr.sin_port);
    listenFd_ = fd;
    return true;
}

int StandinService::Start(int port)
{
    if (acceptThread_.joinable()) return port_;
    port_ = port;
    stopping_ = false;
    if (!OpenListener()) {
        port_ = -1;
        return -1;
    }
    {
        std::lock_guard<std::mutex> lock(connLock_);
        listenerOpen_ = true;
    }
    acceptThread_ = std::thread([this] { AcceptLoop(); });
    return port_;
}

void StandinService::Stop()
{
    if (!acceptThread_.joinable()) return;
    stopping_ = true;
    acceptThread_.join();
    {
        std::lock_guard<std::mutex> lock(connLock_);
        // Wakes every connection thread out of its read or wait.
        for (auto& c : conns_) ::shutdown(c->fd, SHUT_RDWR);
    }
    ReapConnections(true);
    if (listenFd_ >= 0) ::close(listenFd_);
    listenFd_ = -1;
}

void StandinService::SetRefuseConnections(bool refuse)
{
    refuse_ = refuse;
    if (!acceptThread_.joinable()) return;
    // Wait until the accept loop has closed or reopened the port.
    std::unique_lock<std::mutex> lock(connLock_);
    refuseCv_.wait_for(lock, std::chrono::seconds(5), [&] { return listenerOpen_ == !refuse; });
}

void StandinService::ReapConnections(bool all)
{
    std::list<std::unique_ptr<Connection>> finished;
    {
        std::lock_guard<std::mutex> lock(connLock_);
        for (auto it = conns_.begin(); it != conns_.end();) {
            if (all || (*it)->done) {
                finished.push_back(std::move(*it));
                it = conns_.erase(it);
            } else {
                ++it;
            }
        }
    }
    for (auto& c : finished) c->thread.join();
}

void StandinService::AcceptLoop()
{
    while (!stopping_) {
        ReapConnections(false);
        if (refuse_ != (listenFd_ < 0)) {
            // Close or reopen the port, and tell SetRefuseConnections.
            if (refuse_) {
                ::close(listenFd_);
                listenFd_ = -1;
            } else if (!OpenListener()) {
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
                continue;
            }
            std::lock_guard<std::mutex> lock(connLock_);
            listenerOpen_ = listenFd_ >= 0;
            refuseCv_.notify_all();
        }
        if (listenFd_ < 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            continue;
        }
        pollfd p{listenFd_, POLLIN, 0};
        if (::poll(&p, 1, 50) <= 0) continue;
        int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) continue;
        int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        auto c = std::make_unique<Connection>();
        c->fd = fd;
        Connection* raw = c.get();
        std::lock_guard<std::mutex> lock(connLock_);
        conns_.push_back(std::move(c));
        raw->thread = std::thread([this, raw] { Serve(raw); });
    }
}

void StandinService::Serve(Connection* c)
{
    ++connections_;
    std::string frame;
    while (!stopping_ && ReadFrame(c->fd, frame))
        if (!HandleFrame(c->fd, frame)) break;
    ::shutdown(c->fd, SHUT_RDWR);
    {
        // Closed under the lock so that Stop never shuts down a reused number.
        std::lock_guard<std::mutex> lock(connLock_);
        ::close(c->fd);
        c->fd = -1;
    }
    --connections_;
    c->done = true;
}

// Waits up to ms; false when the stand-in stops or the client hangs up first.
bool StandinService::WaitOrLeave(int fd, int ms)
{
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!stopping_) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
        if (left.count() <= 0) return true;
        pollfd p{fd, POLLIN, 0};
        int r = ::poll(&p, 1, static_cast<int>(std::min<long long>(left.count(), 50)));
        if (r > 0) {
            char b;
            ssize_t k = ::recv(fd, &b, 1, MSG_PEEK | MSG_DONTWAIT);
            if (k == 0 || (k < 0 && errno != EAGAIN && errno != EWOULDBLOCK)) return false;
            // The client sent more: keep waiting, it will be read afterwards.
            std::this_thread::sleep_for(std::chrono::milliseconds(std::min<long long>(left.count(), 20)));
        }
    }
    return false;
}

bool StandinService::HandleFrame(int fd, const std::string& frame)
{
    Message msg;
    try {
        msg = DecodeMessage(frame.substr(4));
    } catch (const WireError&) {
        return false;  // not our protocol: hang up
    }
    Fault fault;
    {
        std::lock_guard<std::mutex> lock(lock_);
        requests_.push_back({msg.name, msg.seqid, frame});
        auto it = faults_.find(msg.name);
        if (it == faults_.end()) it = faults_.find("*");
        if (it != faults_.end()) fault = it->second;
    }
    if (msg.type != kCall) return false;

    const MethodSpec* spec = FindMethod(msg.name);
    Reply reply;
    if (!spec) {
        reply.exception = true;
        reply.appType = kAppUnknownMethod;
        reply.message = "Invalid method name: '" + msg.name + "'";
    } else {
        std::string err = CheckArgs(msg.body, spec->args, msg.name);
        if (!err.empty()) {
            reply.exception = true;
            reply.appType = kAppProtocolError;
            reply.message = "bad arguments: " + err;
        } else if (fault.kind == Fault::ApplicationException) {
            reply.exception = true;
            reply.appType = fault.appType;
            reply.message = fault.text.empty() ? std::string("stand-in failure") : fault.text;
        } else if (fault.kind == Fault::ResultCode) {
            reply.result = spec->structResult ? CodeOnlyStructResult(fault.code) : CodeResult(fault.code);
        } else if (fault.kind != Fault::Raw) {
            std::lock_guard<std::mutex> lock(lock_);
            reply = Dispatch(msg.name, msg.body);
        }
    }

    if (fault.kind == Fault::Raw) return SendAll(fd, fault.text.data(), fault.text.size());
    if (fault.kind == Fault::Slow && !WaitOrLeave(fd, fault.delayMs)) return false;

    std::string name = msg.name;
    int32_t seqid = msg.seqid;
    if (fault.kind == Fault::WrongMethod) name = !fault.text.empty() ? fault.text : (name == "exit" ? "login" : "exit");
    if (fault.kind == Fault::WrongSeqId) seqid += 77;

    WireWriter w;
    w.MessageBegin(name, reply.exception ? kException : kReply, seqid, fault.kind != Fault::OldHeader);
    if (reply.exception) {
        w.FieldString(1, reply.message);
        w.FieldI32(2, reply.appType);
        w.Stop();
    } else {
        w.Raw(reply.result);
    }
    std::string out = w.Frame();
    if (fault.kind == Fault::CloseMidReply) {
        SendAll(fd, out.data(), out.size() / 2);
        return false;
    }
    if (!SendAll(fd, out.data(), out.size())) return false;
    std::lock_guard<std::mutex> lock(lock_);
    ++answered_[msg.name];
    return true;
}

void StandinService::SetFault(const std::string& method, const Fault& fault)
{
    std::lock_guard<std::mutex> lock(lock_);
    if (fault.kind == Fault::None)
        faults_.erase(method);
    else
        faults_[method] = fault;
}

void StandinService::ClearFaults()
{
    std::lock_guard<std::mutex> lock(lock_);
    faults_.clear();
}

std::vector<ReceivedRequest> StandinService::Requests() const
{
    std::lock_guard<std::mutex> lock(lock_);
    return requests_;
}

void StandinService::ClearRequests()
{
    std::lock_guard<std::mutex> lock(lock_);
    requests_.clear();
}

int StandinService::Answered(const std::string& method) const
{
    std::lock_guard<std::mutex> lock(lock_);
    auto it = answered_.find(method);
    return it == answered_.end() ? 0 : it->second;
}

// --- state for tests ------------------------------------------------------

std::vector<PendingMessage> StandinService::Pending(int32_t uid) const
{
    std::lock_guard<std::mutex> lock(lock_);
    auto it = pending_.find(uid);
    return it == pending_.end() ? std::vector<PendingMessage>() : it->second;
}

std::vector<PendingMessage> StandinService::Fetched(int32_t uid) const
{
    std::lock_guard<std::mutex> lock(lock_);
    auto it = fetched_.find(uid);
    return it == fetched_.end() ? std::vector<PendingMessage>() : it->second;
}

void StandinService::AddPending(int32_t uid, const PendingMessage& m)
{
    std::lock_guard<std::mutex> lock(lock_);
    pending_[uid].push_back(m);
}

bool StandinService::IsOnline(int32_t uid) const
{
    std::lock_guard<std::mutex> lock(lock_);
    return StatusOf(uid) != kOffline;
}

bool StandinService::DropSession(int32_t uid, bool elsewhere)
{
    std::lock_guard<std::mutex> lock(lock_);
    auto current = currentKey_.find(uid);
    if (current == currentKey_.end()) return false;
    sessions_.erase(current->second);
    // An unknown key is answered as timed out; a replaced one as taken over.
    if (elsewhere) replacedKeys_.insert(current->second);
    currentKey_.erase(current);
    online_.erase(uid);
    return true;
}

std::set<int32_t> StandinService::BlackList(int32_t uid) const
{
    std::lock_guard<std::mutex> lock(lock_);
    auto it = blacks_.find(uid);
    return it == blacks_.end() ? std::set<int32_t>() : it->second;
}

bool StandinService::AddToBlackList(int32_t uid, int32_t other)
{
    std::lock_guard<std::mutex> lock(lock_);
    return blacks_[uid].insert(other).second;
}

bool StandinService::RemoveFromBlackList(int32_t uid, int32_t other)
{
    std::lock_guard<std::mutex> lock(lock_);
    auto it = blacks_.find(uid);
    return it != blacks_.end() && it->second.erase(other) > 0;
}

bool StandinService::IsFriend(int32_t uid, int32_t other) const
{
    std::lock_guard<std::mutex> lock(lock_);
    auto it = friends_.find(uid);
    if (it == friends_.end()) return false;
    return std::any_of(it->second.begin(), it->second.end(), [&](const Friend& f) { return f.uid == other; });
}

bool StandinService::User(int32_t uid, SeedUser* out) const
{
    std::lock_guard<std::mutex> lock(lock_);
    auto it = users_.find(uid);
    if (it == users_.end()) return false;
    if (out) *out = it->second;
    return true;
}

bool StandinService::Group(int32_t gid, SeedGroup* out) const
{
    std::lock_guard<std::mutex> lock(lock_);
    const SeedGroup* g = FindGroupUnlocked(gid);
    if (!g) return false;
    if (out) *out = *g;
    return true;
}

std::vector<std::pair<int32_t, std::string>> StandinService::Friends(int32_t uid) const
{
    std::lock_guard<std::mutex> lock(lock_);
    std::vector<std::pair<int32_t, std::string>> out;
    auto it = friends_.find(uid);
    if (it != friends_.end())
        for (const Friend& f : it->second) out.emplace_back(f.uid, f.remark);
    return out;
}

int32_t StandinService::UserIdOfAccount(const std::string& account)
{
    std::lock_guard<std::mutex> lock(lock_);
    const SeedUser* u = FindUserByAccount(account);
    return u ? u->id : 0;
}

bool StandinService::SetFriendRemark(int32_t uid, int32_t friendId, const std::string& remark)
{
    std::lock_guard<std::mutex> lock(lock_);
    auto it = friends_.find(uid);
    if (it == friends_.end()) return false;
    for (Friend& f : it->second)
        if (f.uid == friendId) {
            f.remark = remark;
            return true;
        }
    return false;
}

bool StandinService::SetMemberCard(int32_t gid, int32_t uid, const std::string& card)
{
    std::lock_guard<std::mutex> lock(lock_);
    SeedGroup* g = FindGroup(gid);
    SeedMember* m = g ? FindMember(*g, uid) : nullptr;
    if (!m) return false;
    m->carte = card;
    return true;
}

bool StandinService::UpdateUserProfile(int32_t uid, const SeedUser& profile)
{
    std::lock_guard<std::mutex> lock(lock_);
    auto it = users_.find(uid);
    if (it == users_.end()) return false;
    SeedUser& u = it->second;
    u.name = profile.name;
    u.note = profile.note;
    u.gender = profile.gender;
    u.birthday = profile.birthday;
    u.interests = profile.interests;
    u.email = profile.email;
    return true;
}

bool StandinService::UpdateGroupInfo(int32_t gid, const std::string& name, const std::string& groupClass,
                                     int32_t style, const std::string& note)
{
    std::lock_guard<std::mutex> lock(lock_);
    SeedGroup* g = FindGroup(gid);
    if (!g) return false;
    g->name = name;
    g->groupClass = groupClass;
    g->style = style;
    g->note = note;
    return true;
}

const SeedGroup* StandinService::FindGroupUnlocked(int32_t gid) const
{
    auto it = groups_.find(gid);
    return it == groups_.end() ? nullptr : &it->second;
}

bool StandinService::GroupHasMember(int32_t gid, int32_t uid) const
{
    std::lock_guard<std::mutex> lock(lock_);
    const SeedGroup* g = FindGroupUnlocked(gid);
    return g && std::any_of(g->members.begin(), g->members.end(), [&](const SeedMember& m) { return m.uid == uid; });
}

int32_t StandinService::GroupStyle(int32_t gid) const
{
    std::lock_guard<std::mutex> lock(lock_);
    const SeedGroup* g = FindGroupUnlocked(gid);
    return g ? g->style : -1;
}

int32_t StandinService::MemberRole(int32_t gid, int32_t uid) const
{
    std::lock_guard<std::mutex> lock(lock_);
    const SeedGroup* g = FindGroupUnlocked(gid);
    if (!g) return -1;
    for (const auto& m : g->members)
        if (m.uid == uid) return m.isMaster;
    return -1;
}

bool StandinService::AddUser(const SeedUser& user)
{
    std::lock_guard<std::mutex> lock(lock_);
    return users_.emplace(user.id, user).second;
}

bool StandinService::AddGroup(const SeedGroup& group)
{
    std::lock_guard<std::mutex> lock(lock_);
    return groups_.emplace(group.gid, group).second;
}

std::vector<SeedUser> StandinService::Users() const
{
    std::lock_guard<std::mutex> lock(lock_);
    std::vector<SeedUser> out;
    out.reserve(users_.size());
    for (const auto& u : users_) out.push_back(u.second);
    return out;
}

std::vector<SeedGroup> StandinService::Groups() const
{
    std::lock_guard<std::mutex> lock(lock_);
    std::vector<SeedGroup> out;
    out.reserve(groups_.size());
    for (const auto& g : groups_) out.push_back(g.second);
    return out;
}

int32_t StandinService::AddFriendByWeb(int32_t uid, int32_t other)
{
    std::lock_guard<std::mutex> lock(lock_);
    if (uid == other) return -2;
    if (!users_.count(uid) || !users_.count(other)) return -99;
    auto black = blacks_.find(other);
    if (black != blacks_.end() && black->second.count(uid)) return -99;
    const auto& list = friends_[uid];
    if (std::any_of(list.begin(), list.end(), [&](const Friend& f) { return f.uid == other; })) return 1;
    AddFriendPair(uid, other);
    const SeedUser& self = users_[uid];
    Notify(other, uid, 0, IsFriendAdd,
           NoticeBody("addfriend", {{"fromid", std::to_string(uid)}, {"fromphone", self.phone}, {"fromname", self.name}}));
    return 0;
}

int32_t StandinService::CreateGroupByWeb(int32_t owner, const std::string& name, const std::string& groupClass,
                                         int32_t style, const std::string& note)
{
    std::lock_guard<std::mutex> lock(lock_);
    if (!users_.count(owner)) return 0;
    SeedGroup g;
    g.gid = nextGroupId_++;
    g.name = name;
    g.groupClass = groupClass;
    g.style = style;
    g.note = note;
    g.capacity = 200;
    g.masterId = owner;
    g.createTime = Now();
    g.members.push_back({owner, 1, std::string()});
    groups_[g.gid] = g;
    return g.gid;
}

bool StandinService::InviteToGroup(int32_t gid, int32_t from, int32_t to, const std::string& note)
{
    std::lock_guard<std::mutex> lock(lock_);
    const SeedGroup* g = FindGroupUnlocked(gid);
    if (!g || !users_.count(from) || !users_.count(to)) return false;
    for (const auto& m : g->members)
        if (m.uid == to) return false;
    Notify(to, from, gid, IsGroupMessage,
           NoticeBody("invite", {{"fromid", std::to_string(from)}, {"fromname", users_[from].name},
                                 {"gid", std::to_string(gid)}, {"gname", g->name}},
                      XmlEscape(note)));
    return true;
}

// --- helpers under lock_ ---------------------------------------------------

int16_t StandinService::StatusOf(int32_t uid) const
{
    auto it = online_.find(uid);
    if (it == online_.end()) return kOffline;
    auto seen = lastSeen_.find(uid);
    if (seen == lastSeen_.end() || std::chrono::steady_clock::now() - seen->second > kOnlineFor) return kOffline;
    return it->second;
}

std::string StandinService::Now() const
{
    std::time_t t = std::time(nullptr);
    std::tm tm{};
    localtime_r(&t, &tm);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &tm);
    return buf;
}

void StandinService::Notify(int32_t to, int32_t from, int32_t gid, int32_t type, const std::string& content)
{
    PendingMessage m;
    m.fromid = from;
    m.toid = to;
    m.gid = gid;
    m.sendTime = Now();
    m.content = content;
    m.msgType = type;
    pending_[to].push_back(m);
}

// A user joined a group (already in its members): the others learn the new
// member ("joined"); the user gets the same notice under its own id, with the
// group's name and members, and so learns the whole group.
void StandinService::NotifyJoined(const SeedGroup& g, int32_t uid)
{
    std::string members;
    for (const auto& m : g.members) {
        auto u = users_.find(m.uid);
        members += "<user id=\"" + std::to_string(m.uid) + "\" name=\"" +
                   XmlEscape(u == users_.end() ? std::string() : u->second.name) + "\" carte=\"" + XmlEscape(m.carte) +
                   "\"/>";
    }
    auto joiner = users_.find(uid);
    const std::string body = NoticeBody("joined",
                                        {{"fromid", std::to_string(uid)},
                                         {"fromname", joiner == users_.end() ? std::string() : joiner->second.name},
                                         {"gid", std::to_string(g.gid)},
                                         {"gname", g.name}},
                                        members);
    for (const auto& m : g.members) Notify(m.uid, uid, g.gid, IsUserAdd, body);
}

// A member leaves a group (quits or is removed): the members who stay see
// the member go ("delgroupuser"); the member sees the group go ("delgroup").
void StandinService::RemoveMember(SeedGroup& g, int32_t uid)
{
    g.members.erase(std::remove_if(g.members.begin(), g.members.end(), [&](const SeedMember& m) { return m.uid == uid; }),
                    g.members.end());
    for (const auto& m : g.members)
        Notify(m.uid, uid, g.gid, IsUserDelete, NoticeBody("delgroupuser", {{"fromid", std::to_string(uid)}}));
    Notify(uid, uid, g.gid, IsGroupQuit, NoticeBody("delgroup", {}));
}

SeedGroup* StandinService::FindGroup(int32_t gid)
{
    auto it = groups_.find(gid);
    return it == groups_.end() ? nullptr : &it->second;
}

SeedMember* StandinService::FindMember(SeedGroup& g, int32_t uid)
{
    for (auto& m : g.members)
        if (m.uid == uid) return &m;
    return nullptr;
}

SeedUser* StandinService::FindUserByAccount(const std::string& account)
{
    if (account.empty()) return nullptr;
    for (auto& u : users_)
        if (u.second.phone == account || u.second.email == account || std::to_string(u.first) == account)
            return &u.second;
    return nullptr;
}

void StandinService::AddFriendPair(int32_t a, int32_t b)
{
    auto add = [&](int32_t x, int32_t y) {
        auto& list = friends_[x];
        if (std::none_of(list.begin(), list.end(), [&](const Friend& f) { return f.uid == y; }))
            list.push_back({y, std::string()});
    };
    add(a, b);
    add(b, a);
}

void StandinService::RemoveFriend(int32_t a, int32_t b)
{
    auto& list = friends_[a];
    list.erase(std::remove_if(list.begin(), list.end(), [&](const Friend& f) { return f.uid == b; }), list.end());
}

int32_t StandinService::SessionUser(const std::string& key, int32_t* code) const
{
    auto it = sessions_.find(key);
    if (it != sessions_.end()) {
        *code = SUCCESS;
        return it->second;
    }
    // A key taken over by a later login of the same account: logged in elsewhere.
    *code = replacedKeys_.count(key) ? LOGIN_IN_OTHER : LOGIN_OUT_TIME;
    return 0;
}

void StandinService::WriteUser(WireWriter& w, const SeedUser& u, int32_t gid, bool withGid) const
{
    w.FieldI32(1, u.id);
    w.FieldString(2, u.phone);
    w.FieldString(3, u.name);
    const std::pair<int16_t, const std::string*> optional[] = {
        {4, &u.culdate},  {5, &u.note},       {6, &u.gender}, {7, &u.birthday}, {8, &u.province},
        {9, &u.city},     {10, &u.interests}, {11, &u.email}, {12, &u.mobile},  {13, &u.imgTime},
    };
    for (const auto& f : optional)
        if (!f.second->empty()) w.FieldString(f.first, *f.second);
    w.FieldI32(14, StatusOf(u.id));
    if (withGid) w.FieldI32(15, gid);
    w.Stop();
}

void StandinService::WriteGroup(WireWriter& w, const SeedGroup& g, int32_t forUid) const
{
    int32_t role = 0;
    for (const auto& m : g.members)
        if (m.uid == forUid) role = m.isMaster;
    std::string masterName;
    auto master = users_.find(g.masterId);
    if (master != users_.end()) masterName = master->second.name;

    w.FieldI32(1, g.gid);
    w.FieldString(2, g.name);
    w.FieldI32(3, role);
    w.FieldI32(4, g.style);
    w.FieldI32(5, g.groupType);
    w.FieldI32(6, g.capacity);
    w.FieldBegin(kList, 7);
    int32_t known = 0;
    for (const auto& m : g.members) known += users_.count(m.uid) ? 1 : 0;
    w.ListBegin(kStruct, known);
    for (const auto& m : g.members) {
        auto u = users_.find(m.uid);
        if (u == users_.end()) continue;
        w.FieldBegin(kStruct, 1);
        WriteUser(w, u->second, g.gid, true);
        w.FieldI32(2, m.isMaster);
        w.FieldString(3, m.carte);
        w.Stop();
    }
    w.FieldString(8, g.note);
    w.FieldString(9, masterName);
    w.FieldString(10, g.createTime);
    w.FieldI32(11, g.masterId);
    w.FieldString(12, g.groupClass);
    w.Stop();
}

void StandinService::WriteMessage(WireWriter& w, const PendingMessage& m) const
{
    w.FieldI32(1, m.fromid);
    w.FieldI32(2, m.toid);
    w.FieldI32(3, m.gid);
    w.FieldString(4, m.sendTime);
    w.FieldString(5, m.content);
    w.FieldBegin(kMap, 6);
    w.MapBegin(kString, kString, static_cast<int32_t>(m.params.size()));
    for (const auto& p : m.params) {
        w.String(p.first);
        w.String(p.second);
    }
    w.FieldI32(7, m.msgType);
    w.FieldI32(8, m.extInt);
    w.FieldString(9, m.extText);
    w.Stop();
}

// --- the calls ---------------------------------------------------------------

StandinService::Reply StandinService::Dispatch(const std::string& method, const Value& args)
{
    Reply reply;
    auto code = [&](int32_t c) {
        reply.result = CodeResult(c);
        return reply;
    };
    // Writes a result record holding a struct that body() fills.
    auto structReply = [&](auto body) {
        WireWriter w;
        w.FieldBegin(kStruct, 0);
        body(w);
        w.Stop();
        reply.result = w.Bytes();
        return reply;
    };
    auto codeOnly = [&](int32_t c) {
        reply.result = CodeOnlyStructResult(c);
        return reply;
    };

    if (method == "authorize")
        return structReply([&](WireWriter& w) {
            w.FieldI32(1, SUCCESS);
            w.FieldString(2, std::string());
            w.Stop();
        });

    if (method == "login") {
        const Value& login = *args.Field(1);
        SeedUser* u = FindUserByAccount(StrArg(login, 1));
        if (!u) return codeOnly(LOGIN_NO_REGISTER);
        if (u->password != StrArg(login, 2)) return codeOnly(LOGIN_PWD_ERR);
        auto old = currentKey_.find(u->id);
        if (old != currentKey_.end()) {
            sessions_.erase(old->second);
            replacedKeys_.insert(old->second);
        }
        char key[40];
        std::snprintf(key, sizeof key, "%08x%016llx", static_cast<unsigned>(u->id),
                      static_cast<unsigned long long>(++keyCounter_ * 0x9E3779B97F4A7C15ull));
        sessions_[key] = u->id;
        currentKey_[u->id] = key;
        online_[u->id] = 2;
        lastSeen_[u->id] = std::chrono::steady_clock::now();
        const SeedUser& user = *u;
        return structReply([&](WireWriter& w) {
            w.FieldI32(1, SUCCESS);
            w.FieldBegin(kStruct, 2);
            WriteUser(w, user, 0, false);
            w.FieldString(3, key);
            w.Stop();
        });
    }

    if (method == "GetPwd") return code(FindUserByAccount(StrArg(args, 1)) ? SUCCESS : LOGIN_NO_REGISTER);

    // Every other call carries the session key first.
    int32_t status = SUCCESS;
    int32_t me = SessionUser(StrArg(args, 1), &status);
    const MethodSpec* spec = FindMethod(method);
    if (status != SUCCESS) return spec->structResult ? codeOnly(status) : code(status);
    lastSeen_[me] = std::chrono::steady_clock::now();

    if (method == "getFriendList") {
        const auto& list = friends_[me];
        return structReply([&](WireWriter& w) {
            w.FieldI32(1, SUCCESS);
            w.FieldBegin(kList, 2);
            int32_t n = 0;
            for (const auto& f : list) n += users_.count(f.uid) ? 1 : 0;
            w.ListBegin(kStruct, n);
            for (const auto& f : list) {
                auto u = users_.find(f.uid);
                if (u == users_.end()) continue;
                w.FieldBegin(kStruct, 1);
                WriteUser(w, u->second, 1, true);
                w.FieldString(2, f.remark);
                w.Stop();
            }
            w.Stop();
        });
    }

    if (method == "getGroupList" || method == "searchGroupList") {
        std::vector<const SeedGroup*> found;
        std::string search = method == "searchGroupList" ? StrArg(args, 2) : std::string();
        for (const auto& g : groups_) {
            bool member = std::any_of(g.second.members.begin(), g.second.members.end(),
                                      [&](const SeedMember& m) { return m.uid == me; });
            if (method == "getGroupList" ? member
                                         : (Contains(g.second.name, search) || std::to_string(g.first) == search))
                found.push_back(&g.second);
        }
        return structReply([&](WireWriter& w) {
            w.FieldI32(1, SUCCESS);
            w.FieldI32(2, static_cast<int32_t>(found.size()));
            w.FieldBegin(kList, 3);
            w.ListBegin(kStruct, static_cast<int32_t>(found.size()));
            for (const SeedGroup* g : found) WriteGroup(w, *g, me);
            w.Stop();
        });
    }

    if (method == "getBlackList") {
        const auto& black = blacks_[me];
        return structReply([&](WireWriter& w) {
            w.FieldI32(1, SUCCESS);
            w.FieldBegin(kList, 2);
            w.ListBegin(kI32, static_cast<int32_t>(black.size()));
            for (int32_t id : black) w.I32(id);
            w.Stop();
        });
    }

    if (method == "MaintainOnline") {
        online_[me] = static_cast<int16_t>(args.Field(2)->i);
        std::vector<PendingMessage> msgs;
        msgs.swap(pending_[me]);
        fetched_[me].insert(fetched_[me].end(), msgs.begin(), msgs.end());
        // The states of the user's friends and fellow group members.
        std::set<int32_t> contacts;
        for (const auto& f : friends_[me]) contacts.insert(f.uid);
        for (const auto& g : groups_)
            if (std::any_of(g.second.members.begin(), g.second.members.end(),
                            [&](const SeedMember& m) { return m.uid == me; }))
                for (const auto& m : g.second.members)
                    if (m.uid != me) contacts.insert(m.uid);
        return structReply([&](WireWriter& w) {
            w.FieldI32(1, SUCCESS);
            w.FieldBegin(kList, 2);
            w.ListBegin(kStruct, static_cast<int32_t>(msgs.size()));
            for (const auto& m : msgs) WriteMessage(w, m);
            w.FieldBegin(kMap, 3);
            w.MapBegin(kI32, kI16, static_cast<int32_t>(contacts.size()));
            for (int32_t id : contacts) {
                w.I32(id);
                w.I16(StatusOf(id));
            }
            w.Stop();
        });
    }

    if (method == "exit") {
        sessions_.erase(StrArg(args, 1));
        currentKey_.erase(me);
        online_.erase(me);
        return code(SUCCESS);
    }

    if (method == "SendUserMsg") {
        int32_t to = I32Arg(args, 3);
        if (!users_.count(to)) return code(PARA_ERROR);
        // A recipient who has black-listed the sender never sees the message.
        if (!blacks_[to].count(me)) {
            PendingMessage m;
            m.fromid = me;
            m.toid = to;
            m.gid = I32Arg(args, 4);
            m.sendTime = Now();
            m.content = StrArg(args, 5);
            m.msgType = IsUserMessage;
            pending_[to].push_back(m);
        }
        return code(SUCCESS);
    }

    if (method == "SendGroupMsg") {
        SeedGroup* g = FindGroup(I32Arg(args, 3));
        if (!g || !FindMember(*g, me)) return code(PARA_ERROR);
        for (const auto& member : g->members)
            if (member.uid != me) {
                PendingMessage m;
                m.fromid = me;
                m.toid = member.uid;
                m.gid = g->gid;
                m.sendTime = Now();
                m.content = StrArg(args, 4);
                m.msgType = IsGroupMessage;
                pending_[member.uid].push_back(m);
            }
        return code(SUCCESS);
    }

    if (method == "MoveUserToBlack") {
        int32_t other = I32Arg(args, 3);
        blacks_[me].insert(other);
        RemoveFriend(me, other);
        return code(SUCCESS);
    }

    if (method == "GetUserInfo") {
        auto u = users_.find(I32Arg(args, 2));
        if (u == users_.end()) return codeOnly(SEARCH_USER_NO_FOUND);
        int32_t gid = I32Arg(args, 3);
        return structReply([&](WireWriter& w) {
            w.FieldI32(1, SUCCESS);
            w.FieldBegin(kStruct, 2);
            WriteUser(w, u->second, gid, true);
            w.Stop();
        });
    }

    // A member joins a group: the owner accepted a request (DealJoinGroupResp,
    // toid the requester) or the user accepted an invitation (DealInviteGroupResp).
    auto join = [&](int32_t uid, int32_t gid) {
        SeedGroup* g = FindGroup(gid);
        if (!g || !users_.count(uid)) return PARA_ERROR;
        if (FindMember(*g, uid)) return JOIN_GROUP_IS_MEMEBER;
        g->members.push_back({uid, 0, std::string()});
        NotifyJoined(*g, uid);
        return SUCCESS;
    };
    if (method == "DealJoinGroupResp") return code(join(I32Arg(args, 3), I32Arg(args, 4)));
    if (method == "DealInviteGroupResp") return code(join(me, I32Arg(args, 4)));

    if (method == "DeleteGroup") {
        int32_t gid = I32Arg(args, 2);
        SeedGroup* g = FindGroup(gid);
        if (!g || !FindMember(*g, me)) return code(PARA_ERROR);
        if (I32Arg(args, 3) == 4) {  // dissolve: the owner only
            if (g->masterId != me) return code(FAIL);
            for (const auto& m : g->members)
                if (m.uid != me) Notify(m.uid, me, gid, IsGroupDelete, NoticeBody("delgroup", {}));
            groups_.erase(gid);
        } else {  // quit: the others see a member leave
            RemoveMember(*g, me);
        }
        return code(SUCCESS);
    }

    if (method == "DeleteUser") {
        int32_t other = I32Arg(args, 2);
        SeedGroup* g = FindGroup(I32Arg(args, 3));
        if (!g) {  // not a group: a friend is removed
            RemoveFriend(me, other);
            return code(SUCCESS);
        }
        SeedMember* self = FindMember(*g, me);
        if (!self || self->isMaster == 0 || !FindMember(*g, other)) return code(FAIL);
        RemoveMember(*g, other);
        return code(SUCCESS);
    }

    if (method == "importGroupUser" || method == "addGroupUser") {
        SeedGroup* g = FindGroup(I32Arg(args, 2));
        if (!g) return code(JOIN_GROUP_NOT_EXIST);
        const Value& user = *args.Field(3);
        std::string phone = StrArg(user, 2);
        if (phone.empty()) return code(PARA_ERROR);
        SeedUser* u = FindUserByAccount(phone);
        if (!u) {
            SeedUser n;
            n.id = nextUserId_++;
            n.phone = phone;
            n.name = StrArg(user, 3);
            n.email = StrArg(user, 11);
            n.password = phone;
            u = &(users_[n.id] = n);
        }
        if (FindMember(*g, u->id)) return code(ADD_GROUP_USER_IS_EXIST);
        g->members.push_back({u->id, 0, std::string()});
        NotifyJoined(*g, u->id);
        if (method == "importGroupUser" && I32Arg(args, 5) == 1) AddFriendPair(me, u->id);
        return code(SUCCESS);
    }

    if (method == "editGroupStyle" || method == "editGroupInfo") {
        SeedGroup* g = FindGroup(I32Arg(args, 2));
        if (!g) return code(JOIN_GROUP_NOT_EXIST);
        SeedMember* self = FindMember(*g, me);
        if (!self || self->isMaster == 0) return code(FAIL);
        if (method == "editGroupStyle") {
            g->style = static_cast<int16_t>(args.Field(3)->i);
        } else {
            g->name = StrArg(args, 3);
            g->note = StrArg(args, 4);
            g->style = static_cast<int16_t>(args.Field(5)->i);
            g->groupClass = StrArg(args, 6);
        }
        return code(SUCCESS);
    }

    if (method == "editGroupIsMaster") {
        SeedGroup* g = FindGroup(I32Arg(args, 2));
        if (!g || g->masterId != me) return code(FAIL);
        SeedMember* m = FindMember(*g, I32Arg(args, 3));
        if (!m) return code(PARA_ERROR);
        m->isMaster = static_cast<int16_t>(args.Field(4)->i);
        return code(SUCCESS);
    }

    if (method == "createGroup") {
        SeedGroup g;
        g.gid = nextGroupId_++;
        g.name = StrArg(args, 2);
        g.groupClass = StrArg(args, 3);
        g.style = static_cast<int16_t>(args.Field(4)->i);
        g.note = StrArg(args, 5);
        g.capacity = 200;
        g.masterId = me;
        g.createTime = Now();
        g.members.push_back({me, 1, std::string()});
        const SeedGroup& stored = groups_[g.gid] = g;
        return structReply([&](WireWriter& w) {
            w.FieldI32(1, SUCCESS);
            w.FieldBegin(kStruct, 2);
            WriteGroup(w, stored, me);
            w.Stop();
        });
    }

    if (method == "getGroupInfo") {
        const SeedGroup* g = FindGroup(I32Arg(args, 2));
        if (!g) return codeOnly(JOIN_GROUP_NOT_EXIST);
        return structReply([&](WireWriter& w) {
            w.FieldI32(1, SUCCESS);
            w.FieldBegin(kStruct, 2);
            WriteGroup(w, *g, me);
            w.Stop();
        });
    }

    if (method == "joinGroupUser") {
        SeedGroup* g = FindGroup(I32Arg(args, 2));
        if (!g) return code(JOIN_GROUP_NOT_EXIST);
        if (FindMember(*g, me)) return code(JOIN_GROUP_IS_MEMEBER);
        return code(SUCCESS);  // the owner decides later
    }

    if (method == "addFriend") {
        int32_t other = I32Arg(args, 2);
        if (!users_.count(other)) return code(SEARCH_USER_NO_FOUND);
        auto& list = friends_[me];
        if (std::any_of(list.begin(), list.end(), [&](const Friend& f) { return f.uid == other; }))
            return code(ADD_FRIEND_IS_FRIEND);
        AddFriendPair(me, other);
        // The other side takes the requester as a friend on its next heartbeat.
        const SeedUser& self = users_[me];
        Notify(other, me, 0, IsFriendAdd,
               NoticeBody("addfriend", {{"fromid", std::to_string(me)}, {"fromphone", self.phone}, {"fromname", self.name}}));
        return code(SUCCESS);
    }

    if (method == "deleteFriend") {
        RemoveFriend(me, I32Arg(args, 2));
        return code(SUCCESS);
    }

    if (method == "editFriendRemark") {
        for (auto& f : friends_[me])
            if (f.uid == I32Arg(args, 2)) f.remark = StrArg(args, 3);
        return code(SUCCESS);
    }

    if (method == "editUserInfo") {
        SeedUser& u = users_[me];
        const Value& user = *args.Field(2);
        if (!StrArg(user, 3).empty()) u.name = StrArg(user, 3);
        const std::pair<int16_t, std::string*> optional[] = {
            {4, &u.culdate},  {5, &u.note},       {6, &u.gender}, {7, &u.birthday}, {8, &u.province},
            {9, &u.city},     {10, &u.interests}, {11, &u.email}, {12, &u.mobile},  {13, &u.imgTime},
        };
        for (const auto& f : optional)
            if (user.Field(f.first)) *f.second = StrArg(user, f.first);
        return code(SUCCESS);
    }

    if (method == "modifyPassword") {
        SeedUser& u = users_[me];
        if (u.password != StrArg(args, 2)) return code(LOGIN_PWD_ERR);
        u.password = StrArg(args, 3);
        return code(SUCCESS);
    }

    if (method == "searchUserList") {
        std::string key = StrArg(args, 2);
        int32_t page = std::max(1, I32Arg(args, 3)), size = std::max(1, I32Arg(args, 4));
        std::vector<const SeedUser*> found;
        for (const auto& u : users_)
            if (Contains(u.second.name, key) || u.second.phone == key || std::to_string(u.first) == key ||
                (!u.second.email.empty() && u.second.email == key))
                found.push_back(&u.second);
        size_t from = std::min(found.size(), static_cast<size_t>(page - 1) * static_cast<size_t>(size));
        size_t to = std::min(found.size(), from + static_cast<size_t>(size));
        return structReply([&](WireWriter& w) {
            w.FieldI32(1, found.empty() ? SEARCH_USER_NO_FOUND : SUCCESS);
            w.FieldI32(2, static_cast<int32_t>(found.size()));
            w.FieldBegin(kList, 3);
            w.ListBegin(kStruct, static_cast<int32_t>(to - from));
            for (size_t k = from; k < to; ++k) WriteUser(w, *found[k], 0, false);
            w.Stop();
        });
    }

    if (method == "getUnreadedMsgList") {
        const auto& msgs = pending_[me];
        return structReply([&](WireWriter& w) {
            w.FieldI32(1, SUCCESS);
            w.FieldBegin(kList, 2);
            w.ListBegin(kStruct, static_cast<int32_t>(msgs.size()));
            for (const auto& m : msgs) WriteMessage(w, m);
            w.Stop();
        });
    }

    // resetPassword, SetBotherDay, sendFriendNotifyMsg, sendGroupNotifyMsg,
    // setMessageReaded: accepted and done.
    return code(SUCCESS);
}

}  // namespace standin
