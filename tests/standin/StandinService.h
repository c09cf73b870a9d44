// A stand-in for the messaging service, on loopback, for tests and local runs.
//
// It speaks the service protocol (framed transport, binary protocol) with its
// own wire code (WireFormat.h), keeps users, friends, groups, black lists,
// sessions and pending messages in memory, and so lets two clients log in
// and chat through it. Each connection is served on a thread of its own.
//
// Requests are checked strictly against the method table: an argument with a
// wrong id or type, a missing one or an extra one is answered with an
// exception message naming it, so that a mistake in the client's interface
// file shows up as a failing call.
//
// A test can make it fail on purpose, per method (SetFault) or for every
// connection (SetRefuseConnections).
#pragma once

#include "tests/standin/WireFormat.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace standin {

struct SeedUser {
    int32_t id = 0;
    std::string phone, password, name, note, gender, birthday, province, city, interests, email, mobile, imgTime,
        culdate;
};

struct SeedMember {
    int32_t uid = 0;
    int32_t isMaster = 0;  // 1 owner, 2 deputy, 0 member
    std::string carte;
};

struct SeedGroup {
    int32_t gid = 0;
    std::string name, note, createTime, groupClass;
    int32_t style = 0, groupType = 0, capacity = 0, masterId = 0;
    std::vector<SeedMember> members;
};

struct PendingMessage {
    int32_t fromid = 0, toid = 0, gid = 0;
    std::string sendTime, content;
    std::map<std::string, std::string> params;
    int32_t msgType = 0, extInt = 0;
    std::string extText;
};

// How one method misbehaves.
struct Fault {
    enum Kind {
        None,
        CloseMidReply,         // send part of the reply frame, then close
        ApplicationException,  // answer with an exception message (appType, text)
        WrongMethod,           // answer under another method's name (text, or "exit"/"login")
        WrongSeqId,            // answer with sequence id + 77
        ResultCode,            // answer with this code (code) instead of doing the call
        Slow,                  // wait delayMs before answering (interrupted by Stop or the client leaving)
        Raw,                   // write exactly these bytes (text) instead of a reply
        OldHeader,             // answer with the older header without a version word
    };
    Kind kind = None;
    int32_t code = 0;
    int32_t appType = kAppInternalError;
    int delayMs = 0;
    std::string text;
};

struct ReceivedRequest {
    std::string method;
    int32_t seqid = 0;
    std::string frame;  // the whole frame as received, length included
};

class StandinService {
public:
    StandinService();
    ~StandinService();

    StandinService(const StandinService&) = delete;
    StandinService& operator=(const StandinService&) = delete;

    // Seed data from JSON text or a file: {"users": [...], "friends": [...],
    // "groups": [...], "blackLists": [...]} (see seed.json). Replaces all
    // data. Returns false with a reason on malformed input.
    bool LoadSeedJson(const std::string& json, std::string* error = nullptr);
    bool LoadSeedFile(const std::string& path, std::string* error = nullptr);

    // Listens on 127.0.0.1:port (0: a free port) and serves until Stop.
    // Returns the bound port, or -1.
    int Start(int port = 0);
    void Stop();
    int Port() const { return port_; }

    // Faults: per method name, or "*" for every method.
    void SetFault(const std::string& method, const Fault& fault);
    void ClearFaults();
    // Refused connections: the port is closed while true, reopened when false.
    void SetRefuseConnections(bool refuse);

    // What was received, in order.
    std::vector<ReceivedRequest> Requests() const;
    void ClearRequests();
    // How many calls of `method` were answered (their whole reply written)
    // since the start, for tests that wait until a reply is on its way.
    int Answered(const std::string& method) const;

    // State for tests.
    std::vector<PendingMessage> Pending(int32_t uid) const;
    // The messages the user's heartbeats have taken, in order: unlike
    // Pending, a message sent once stays here.
    std::vector<PendingMessage> Fetched(int32_t uid) const;
    void AddPending(int32_t uid, const PendingMessage& m);
    bool IsOnline(int32_t uid) const;
    // Ends the user's session as the service does when the account logs in
    // elsewhere (`elsewhere`) or its session times out: calls with the old
    // key are then answered with 6 or 7, and the user shows offline to
    // others. False when the user had no session.
    bool DropSession(int32_t uid, bool elsewhere);
    std::set<int32_t> BlackList(int32_t uid) const;
    // The black list changed from outside the service (the web API): adds
    // or removes `other` on `uid`'s list. False when nothing changed.
    bool AddToBlackList(int32_t uid, int32_t other);
    bool RemoveFromBlackList(int32_t uid, int32_t other);
    bool IsFriend(int32_t uid, int32_t other) const;
    // Copies of the data under the lock, for the web server's API handlers
    // (which run on the web server's threads). False when there is no such
    // user or group.
    bool User(int32_t uid, SeedUser* out) const;
    bool Group(int32_t gid, SeedGroup* out) const;
    // The user's friends with the user's remark for each, in list order.
    std::vector<std::pair<int32_t, std::string>> Friends(int32_t uid) const;
    bool GroupHasMember(int32_t gid, int32_t uid) const;
    int32_t GroupStyle(int32_t gid) const;
    int32_t MemberRole(int32_t gid, int32_t uid) const;
    // The id of the user who logs in with `account` (phone, e-mail or id
    // text), 0 when none.
    int32_t UserIdOfAccount(const std::string& account);
    // The remark `uid` keeps for friend `friendId`; false when not friends.
    bool SetFriendRemark(int32_t uid, int32_t friendId, const std::string& remark);
    // A member's card in a group; false when the user is not a member.
    bool SetMemberCard(int32_t gid, int32_t uid, const std::string& card);
    // A user's own profile as edited on the profile page: name, note,
    // gender, birthday, interests and e-mail. False when there is no such user.
    bool UpdateUserProfile(int32_t uid, const SeedUser& profile);
    // A group's information as its owner edits it. False when there is no
    // such group.
    bool UpdateGroupInfo(int32_t gid, const std::string& name, const std::string& groupClass, int32_t style,
                         const std::string& note);
    // Users and groups added beside the seed (the web search's larger set);
    // false when the id is taken.
    bool AddUser(const SeedUser& user);
    bool AddGroup(const SeedGroup& group);
    // Copies of every user and group, in id order, for the web search.
    std::vector<SeedUser> Users() const;
    std::vector<SeedGroup> Groups() const;
    // A friend request made on the web: both become friends at once, as the
    // service's addFriend does, and `other` learns it on its next
    // heartbeat. 0 done, 1 already friends, -2 oneself, -99 no such user or
    // refused (`other` has `uid` on its black list).
    int32_t AddFriendByWeb(int32_t uid, int32_t other);
    // A group created on the web by `owner` (its only member, the owner):
    // the new group id, 0 for an unknown owner.
    int32_t CreateGroupByWeb(int32_t owner, const std::string& name, const std::string& groupClass, int32_t style,
                             const std::string& note);
    // An invitation into `gid` from its owner `from` to `to`, with a note:
    // `to` gets it on its next heartbeat as a group notice ("invite"). False
    // for an unknown group or user, or when `to` is already a member.
    bool InviteToGroup(int32_t gid, int32_t from, int32_t to, const std::string& note);
    int ConnectionCount() const { return connections_.load(); }

private:
    struct Connection {
        int fd = -1;
        std::thread thread;
        std::atomic<bool> done{false};
    };
    struct Friend {
        int32_t uid;
        std::string remark;
    };
    struct Reply;

    void AcceptLoop();
    void Serve(Connection* c);
    bool HandleFrame(int fd, const std::string& frame);
    bool WaitOrLeave(int fd, int ms);
    void ReapConnections(bool all);
    bool OpenListener();

    // Handlers run under lock_.
    Reply Dispatch(const std::string& method, const Value& args);
    int32_t SessionUser(const std::string& key, int32_t* code) const;
    void WriteUser(WireWriter& w, const SeedUser& u, int32_t gid, bool withGid) const;
    void WriteGroup(WireWriter& w, const SeedGroup& g, int32_t forUid) const;
    void WriteMessage(WireWriter& w, const PendingMessage& m) const;
    int16_t StatusOf(int32_t uid) const;
    std::string Now() const;
    void Notify(int32_t to, int32_t from, int32_t gid, int32_t type, const std::string& content);
    void NotifyJoined(const SeedGroup& g, int32_t uid);
    void RemoveMember(SeedGroup& g, int32_t uid);
    SeedGroup* FindGroup(int32_t gid);
    const SeedGroup* FindGroupUnlocked(int32_t gid) const;
    SeedMember* FindMember(SeedGroup& g, int32_t uid);
    SeedUser* FindUserByAccount(const std::string& account);
    void AddFriendPair(int32_t a, int32_t b);
    void RemoveFriend(int32_t a, int32_t b);

    mutable std::mutex lock_;
    std::map<int32_t, SeedUser> users_;
    std::map<int32_t, std::vector<Friend>> friends_;
    std::map<int32_t, SeedGroup> groups_;
    std::map<int32_t, std::set<int32_t>> blacks_;
    std::map<int32_t, std::vector<PendingMessage>> pending_;
    std::map<int32_t, std::vector<PendingMessage>> fetched_;
    std::map<std::string, int32_t> sessions_;      // key -> user
    std::map<int32_t, std::string> currentKey_;    // user -> key
    std::set<std::string> replacedKeys_;           // keys of sessions taken over by a later login
    std::map<int32_t, int16_t> online_;            // user -> presence
    std::map<int32_t, std::chrono::steady_clock::time_point> lastSeen_;
    std::map<std::string, Fault> faults_;
    std::vector<ReceivedRequest> requests_;
    std::map<std::string, int> answered_;  // method -> replies written
    int32_t nextUserId_ = 90000;
    int32_t nextGroupId_ = 9000;
    uint64_t keyCounter_ = 0;

    std::atomic<bool> stopping_{false};
    std::atomic<bool> refuse_{false};
    std::atomic<int> connections_{0};
    int port_ = -1;
    int listenFd_ = -1;
    std::thread acceptThread_;
    std::mutex connLock_;
    std::list<std::unique_ptr<Connection>> conns_;
    std::condition_variable refuseCv_;
    bool listenerOpen_ = false;  // under connLock_
};

}  // namespace standin
