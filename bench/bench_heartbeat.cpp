// One heartbeat reply of 1,000 pushed messages and 1,000 presence changes
// handed to the real main window: decoding plus dispatch on a worker thread
// while the UI thread runs its loop, against a loop that only decodes the
// same bytes, in the same run. A 1 ms timer on the UI thread measures the
// longest stretch the UI thread was busy (the longest gap between ticks, less
// the time the thread waited for a processor or its loop for events; see
// tests/platform/UiProbe.h), and the same on the wall clock. Needs an X
// display (run under xvfb-run).
//
//   bench_heartbeat [runs, default 5]
#include "bench/BenchMainWindow.h"

#include "Lum/KivApp.h"
#include "Lum/KivDlg.h"
#include "Lum/KivMessages.h"
#include "Lum/LumResource.h"
#include "Lum/session/Workers.h"
#include "Lum/protocol/LumService.h"
#include "platform/files.h"
#include "platform/uiapp.h"
#include "tests/platform/UiProbe.h"
#include "tests/standin/WireFormat.h"

#include <thrift/protocol/TBinaryProtocol.h>
#include <thrift/transport/TBufferTransports.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;
using apache::thrift::protocol::TBinaryProtocol;
using apache::thrift::transport::TMemoryBuffer;

const int kOwnId = 1;
const int kFirstFriend = 20001;
const int kFriends = 1000;
const int kGroups = 5;
const int kFirstGroup = 9001;
const int kMembersPerGroup = 60;
const int kFirstStranger = 40001;  // strangers asking to become friends
const int kFirstNewGroup = 9101;   // groups the own user is added to

double ms(Clock::time_point from, Clock::time_point to = Clock::now())
{
    return std::chrono::duration<double, std::milli>(to - from).count();
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

std::string Name(int k)
{
    static const char* family[] = {"张", "王", "李", "赵", "刘", "陈", "杨", "黄", "周", "吴"};
    static const char* given[] = {"伟", "芳", "娜", "敏", "静", "丽", "强", "磊", "洋", "艳",
                                  "勇", "军", "杰", "娟", "涛", "明", "超", "秀", "霞", "平"};
    return std::string(family[k % 10]) + given[(k / 10) % 20] + given[(k / 200 + k) % 20];
}

int FriendId(int k) { return kFirstFriend + k % kFriends; }
int GroupId(int k) { return kFirstGroup + k % kGroups; }
// Members of group g are the friends g*150 .. g*150+59.
int MemberId(int gid, int k) { return kFirstFriend + (gid - kFirstGroup) * 150 + k % kMembersPerGroup; }

lum_thrift::StructMessage Chat(int k)
{
    static const char* lines[] = {"周六下午体育馆见，记得带球拍", "作业第三题怎么做？", "晚上食堂二楼吃饭吗",
                                  "明天的实验课改到八点了", "收到，谢谢！", "图书馆四楼自习室还有位置"};
    lum_thrift::StructMessage m;
    m.toid = kOwnId;
    m.sendTime = "2012-09-01 08:" + std::to_string(10 + k % 50) + ":00";
    m.content = standin::PercentEncode("<font face=\"宋体\" size=\"9\" color=\"0\">第" + std::to_string(k) + "条：" +
                       lines[k % 6] + "</font>");
    return m;
}

lum_thrift::StructMessage Notice(lum_thrift::MsgType::type type, int from, int gid, const std::string& xml)
{
    lum_thrift::StructMessage m;
    m.fromid = from;
    m.toid = kOwnId;
    m.gid = gid;
    m.sendTime = "2012-09-01 09:00:00";
    m.msgType = type;
    m.content = standin::PercentEncode(xml);
    return m;
}

// 1,000 items: every 25th a notice (members joining and leaving, friend
// requests, the own user added to a group), the others one-to-one and group
// chat messages, six to four.
lum_thrift::StructOnlineResp BuildReply()
{
    lum_thrift::StructOnlineResp r;
    r.code = lum_thrift::ResultCode::SUCCESS;
    int notices = 0;
    for (int k = 0; k < 1000; ++k) {
        if (k % 25 == 24) {
            const int gid = GroupId(notices);
            switch (notices % 4) {
            case 0: {
                const int joiner = 30001 + notices;
                r.msgList.push_back(Notice(lum_thrift::MsgType::IsUserAdd, joiner, gid,
                                           "<info cmd=\"joined\" fromid=\"" + std::to_string(joiner) + "\" fromname=\"" +
                                               Name(joiner) + "\"/>"));
                break;
            }
            case 1: {
                const int leaver = MemberId(gid, notices);
                r.msgList.push_back(Notice(lum_thrift::MsgType::IsUserDelete, leaver, gid,
                                           "<info cmd=\"delgroupuser\" fromid=\"" + std::to_string(leaver) + "\"/>"));
                break;
            }
            case 2: {
                const int asker = kFirstStranger + notices;
                r.msgList.push_back(Notice(lum_thrift::MsgType::IsFriendAdd, asker, 0,
                                           "<info cmd=\"addfriend\" fromid=\"" + std::to_string(asker) +
                                               "\" fromphone=\"139" + std::to_string(10000000 + asker) + "\" fromname=\"" +
                                               Name(asker) + "\"/>"));
                break;
            }
            default: {
                const int newGid = kFirstNewGroup + notices;
                std::string users = "<user id=\"1\" name=\"我\"/>";
                for (int u = 0; u < 8; ++u)
                    users += "<user id=\"" + std::to_string(FriendId(u * 37 + notices)) + "\" name=\"" +
                             Name(u * 37 + notices) + "\" carte=\"组员\"/>";
                r.msgList.push_back(Notice(lum_thrift::MsgType::IsUserAdd, kOwnId, newGid,
                                           "<info cmd=\"addgroup\" gid=\"" + std::to_string(newGid) +
                                               "\" gname=\"学习小组" + std::to_string(notices) + "\">" + users + "</info>"));
                break;
            }
            }
            ++notices;
        } else if (k % 5 < 3) {
            lum_thrift::StructMessage m = Chat(k);
            m.fromid = FriendId(k * 7);
            m.gid = 1;  // the list the sender files the recipient under, as clients send it
            m.msgType = lum_thrift::MsgType::IsUserMessage;
            r.msgList.push_back(m);
        } else {
            lum_thrift::StructMessage m = Chat(k);
            m.gid = GroupId(k);
            m.fromid = MemberId(m.gid, k);
            m.msgType = lum_thrift::MsgType::IsGroupMessage;
            r.msgList.push_back(m);
        }
    }
    // Every friend changes state: PC, mobile, web and the no-fee offline.
    for (int k = 0; k < kFriends; ++k) {
        const int d = k % 10;
        r.onlineStatus[kFirstFriend + k] = static_cast<int16_t>(d < 6 ? 2 : d < 8 ? 3 : d == 8 ? 1 : 7);
    }
    r.__isset.msgList = r.__isset.onlineStatus = r.__isset.code = true;
    return r;
}

std::string EncodeReply(const lum_thrift::StructOnlineResp& reply)
{
    auto buffer = std::make_shared<TMemoryBuffer>();
    TBinaryProtocol protocol(buffer);
    reply.write(&protocol);
    return buffer->getBufferAsString();
}

void DecodeReply(const std::string& bytes, lum_thrift::StructOnlineResp& reply)
{
    auto buffer = std::make_shared<TMemoryBuffer>(reinterpret_cast<uint8_t*>(const_cast<char*>(bytes.data())),
                                                  static_cast<uint32_t>(bytes.size()), TMemoryBuffer::OBSERVE);
    TBinaryProtocol protocol(buffer);
    reply.read(&protocol);
}

// Whether the main window's class has a handler of its own for a message.
class HandlerCheck : public CKivDlg {
public:
    static bool Handles(UINT message)
    {
        for (const AFX_MSGMAP* map = CKivDlg::GetThisMessageMap(); map;
             map = map->pfnGetBaseMap ? map->pfnGetBaseMap() : nullptr) {
            for (const AFX_MSGMAP_ENTRY* e = map->lpEntries; e->pfn; ++e)
                if (e->nMessage == message) return true;
        }
        return false;
    }
};

class Bench {
public:
    bool Setup()
    {
        // The topic fetch fails at once: nothing listens on port 1. No head
        // downloads and no store writes on threads.
        if (!window_.Open("http://127.0.0.1:1", kOwnId)) return false;
        main_ = window_.main.get();
        // Logged in: the panel opaque and shown, the login window gone, the
        // friends tab chosen.
        window_.Show();
        main_->SelectTab(IDC_BTN_TAB_FRIENDS);

        for (int k = 0; k < kFriends; ++k) {
            CDataUser rec;
            rec.m_nId = kFirstFriend + k;
            rec.m_bstrName = Name(k).c_str();
            if (k % 4 == 0) rec.m_strRemark = ("同学" + Name(k)).c_str();
            rec.m_bstrSign = "今天也要加油";
            main_->m_listFriend.AddUser(&rec, 0);
        }
        probe_.Start();
        return true;
    }

    // The window as it was before the reply: every friend offline, the
    // groups with their first members, strangers not yet friends, no groups
    // the own user was added to.
    void Reset()
    {
        for (auto& entry : main_->m_listFriend.m_mapUsers) entry.second->m_nStatus = 0;
        for (int n = 0; n < 40; ++n) {
            main_->m_listGroup.RemoveGroup(kFirstNewGroup + n);
            main_->m_listFriend.RemoveUser(kFirstStranger + n);
            main_->m_listStranger.RemoveUser(kFirstStranger + n);
        }
        for (int n = 0; n < 40; n += 4) {
            CDataUser rec;
            rec.m_nId = kFirstStranger + n + 2;
            rec.m_bstrName = Name(rec.m_nId).c_str();
            main_->m_listStranger.AddUser(&rec, 0);
        }
        for (int g = 0; g < kGroups; ++g) {
            const int gid = kFirstGroup + g;
            main_->m_listGroup.RemoveGroup(gid);
            CDataGroup group;
            group.m_nId = gid;
            group.m_bstrName = ("班级群" + std::to_string(g + 1)).c_str();
            for (int k = 0; k < kMembersPerGroup; ++k) {
                auto* rec = new CDataUser;
                rec->m_nId = MemberId(gid, k);
                rec->m_nGroupId = gid;
                rec->m_bstrName = Name(rec->m_nId).c_str();
                group.m_mapMembers[rec->m_nId] = rec;
            }
            main_->m_listGroup.AddGroup(&group, 1);
        }
        main_->SelectTab(IDC_BTN_TAB_FRIENDS);
        lumui::Pump(100);
    }

    struct Run {
        double total = 0;    // decode + dispatch, on the worker
        double longest = 0;  // longest gap between probe ticks, busy
        double wall = 0;     // the same on the wall clock
    };

    Run Measure(const std::string& bytes)
    {
        Reset();
        Run run;
        std::atomic<bool> done{false};
        probe_.Arm();
        std::thread worker([&] {
            const auto t0 = Clock::now();
            lum_thrift::StructOnlineResp reply;
            DecodeReply(bytes, reply);
            DispatchHeartbeatReply(reply);
            run.total = ms(t0);
            done = true;
        });
        lumui::PumpUntil([&] { return done.load(); }, 600000);
        worker.join();
        // What the reply left to repaint is UI work of the reply too.
        lumui::Pump(100);
        run.longest = probe_.Longest();
        run.wall = probe_.LongestWall();
        return run;
    }

    // Each item of the reply sent to the main window directly on the UI
    // thread, timed one by one and summed by kind; then the repaint.
    struct Cost {
        int count = 0;
        double total = 0;
        double longest = 0;
    };
    std::map<UINT, Cost> Breakdown(const lum_thrift::StructOnlineResp& reply, double* paint)
    {
        Reset();
        std::map<UINT, Cost> costs;
        auto add = [&](UINT message, Clock::time_point t0) {
            const double d = ms(t0);
            Cost& c = costs[message];
            ++c.count;
            c.total += d;
            c.longest = std::max(c.longest, d);
        };
        for (const lum_thrift::StructMessage& m : reply.msgList) {
            const UINT message = HeartbeatMessageFor(m, kOwnId);
            if (!message) continue;
            const auto t0 = Clock::now();
            main_->SendMessage(message, 0, reinterpret_cast<LPARAM>(&m));
            add(message, t0);
        }
        for (const auto& state : reply.onlineStatus) {
            const auto t0 = Clock::now();
            main_->SendMessage(UM_CONTACT_STATUS, static_cast<WPARAM>(state.first), state.second);
            add(UM_CONTACT_STATUS, t0);
        }
        const auto t0 = Clock::now();
        lumui::Pump(0);
        *paint = ms(t0);
        return costs;
    }

    double IdleGap()
    {
        probe_.Arm();
        lumui::Pump(500);
        return probe_.LongestWall();
    }

    void Teardown()
    {
        probe_.Stop();
        main_ = nullptr;
        window_.Close();
    }

    CKivDlg& Main() { return *main_; }

private:
    BenchMainWindow window_{"heartbeat"};
    CKivDlg* main_ = nullptr;
    UiProbe probe_;
};

}  // namespace

int main(int argc, char** argv)
{
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    if (!lumui::Start()) {
        std::fprintf(stderr, "no display: run under xvfb-run -a\n");
        return 1;
    }

    const lum_thrift::StructOnlineResp built = BuildReply();
    const std::string bytes = EncodeReply(built);
    std::map<UINT, int> kinds;
    for (const lum_thrift::StructMessage& m : built.msgList) ++kinds[HeartbeatMessageFor(m, kOwnId)];

    // Baseline: decoding alone.
    std::vector<double> bare;
    for (int k = 0; k < 20; ++k) {
        lum_thrift::StructOnlineResp r;
        DecodeReply(bytes, r);
    }
    for (int k = 0; k < 200; ++k) {
        const auto t0 = Clock::now();
        lum_thrift::StructOnlineResp r;
        DecodeReply(bytes, r);
        bare.push_back(ms(t0));
        if (r.msgList.size() != 1000 || r.onlineStatus.size() != 1000) {
            std::fprintf(stderr, "bad decode\n");
            return 1;
        }
    }

    Bench bench;
    if (!bench.Setup()) return 1;
    const double idle = bench.IdleGap();
    std::vector<double> totals, longest, wall;
    int online = 0;
    for (int i = 0; i < runs; ++i) {
        Bench::Run r = bench.Measure(bytes);
        totals.push_back(r.total);
        longest.push_back(r.longest);
        wall.push_back(r.wall);
    }
    double paint = 0;
    const std::map<UINT, Bench::Cost> costs = bench.Breakdown(built, &paint);
    for (const auto& entry : bench.Main().m_listFriend.m_mapUsers) online += entry.second->m_nStatus != 0;
    const int joinedGroups = static_cast<int>(bench.Main().m_listGroup.m_mapGroups.size());
    bench.Teardown();

    const double bareMs = median(bare);
    const double totalMs = median(totals);
    const double worst = *std::max_element(longest.begin(), longest.end());
    const double ratio = bareMs > 0 ? totalMs / bareMs : 0;

    std::printf("Heartbeat reply of 1,000 messages and 1,000 states (%zu bytes) into the main window\n", bytes.size());
    std::printf("  (1,000 friends, %d groups; after the last run %d friends online, %d groups listed)\n", kGroups,
                online, joinedGroups);
    auto kind = [&](const char* name, UINT message) {
        std::printf("    %-26s %4d  %s\n", name, kinds[message],
                    message == 0 ? "(not dispatched)" : HandlerCheck::Handles(message) ? "" : "(no handler in the main window)");
    };
    kind("one-to-one messages", UM_USER_MESSAGE);
    kind("group messages", UM_GROUP_MESSAGE);
    kind("member joined notices", UM_GROUP_MEMBER_JOINED);
    kind("member removed notices", UM_GROUP_MEMBER_REMOVED);
    kind("friend requests", UM_FRIEND_REQUEST);
    kind("added-to-group notices", UM_GROUP_ADDED);
    std::printf("  bare decode:              %8.2f ms (median of %zu)\n", bareMs, bare.size());
    std::printf("  decode + dispatch:        %8.2f ms (median of %d runs; min %.2f, max %.2f)\n", totalMs, runs,
                *std::min_element(totals.begin(), totals.end()), *std::max_element(totals.begin(), totals.end()));
    std::printf("  ratio dispatch/bare:      %8.2f   (target <= 3)      %s\n", ratio, ratio <= 3 ? "met" : "MISSED");
    std::printf("  longest UI block:         %8.2f ms (worst of %d runs, median %.2f)   (target < 8)  %s\n", worst,
                runs, median(longest), worst < 8 ? "met" : "MISSED");
    std::printf("    on the wall clock:      %8.2f ms (worst of %d runs, median %.2f)\n",
                *std::max_element(wall.begin(), wall.end()), runs, median(wall));
    std::printf("  where the UI time goes (each item sent on the UI thread, one by one):\n");
    const std::map<UINT, const char*> names = {{UM_USER_MESSAGE, "one-to-one messages"},
                                               {UM_GROUP_MESSAGE, "group messages"},
                                               {UM_GROUP_MEMBER_JOINED, "member joined"},
                                               {UM_GROUP_MEMBER_REMOVED, "member removed"},
                                               {UM_FRIEND_REQUEST, "friend requests"},
                                               {UM_GROUP_ADDED, "added to a group"},
                                               {UM_CONTACT_STATUS, "presence changes"}};
    for (const auto& entry : costs)
        std::printf("    %-26s %4d items %8.2f ms in all, longest item %6.3f ms\n",
                    names.count(entry.first) ? names.at(entry.first) : "?", entry.second.count, entry.second.total,
                    entry.second.longest);
    std::printf("    %-26s            %8.2f ms\n", "repaint afterwards", paint);
    std::printf("  longest gap while idle:   %8.2f ms (500 ms of the UI loop with no reply: the probe's floor)\n", idle);
    return 0;
}
