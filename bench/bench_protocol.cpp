// Heartbeat round trips over loopback: a new connection per call, as the
// workers make them, against one connection kept for every call, in the same
// run. Each reply carries 1,000 pending messages and 50 online states.
//
//   bench_protocol [seconds per mode, default 2]
#include "Lum/session/ServiceConnection.h"
#include "tests/standin/StandinService.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

using Clock = std::chrono::steady_clock;

namespace {

// The heartbeat reply, encoded once by the stand-in's own wire code.
std::string HeartbeatReply(int messages)
{
    using namespace standin;
    WireWriter w;
    w.MessageBegin("MaintainOnline", kReply, 0);
    w.FieldBegin(kStruct, 0);
    w.FieldI32(1, 0);
    w.FieldBegin(kList, 2);
    w.ListBegin(kStruct, messages);
    for (int k = 0; k < messages; ++k) {
        w.FieldI32(1, 10000 + k % 50);
        w.FieldI32(2, 10001);
        w.FieldI32(3, k % 3 == 0 ? 501 : 0);
        w.FieldString(4, "2012-09-01 08:00:00");
        w.FieldString(5, "<msg><font>第" + std::to_string(k) + "条消息：周六下午体育馆见</font></msg>");
        w.FieldBegin(kMap, 6);
        w.MapBegin(kString, kString, 0);
        w.FieldI32(7, k % 3 == 0 ? 1 : 0);
        w.FieldI32(8, 0);
        w.FieldString(9, "");
        w.Stop();
    }
    w.FieldBegin(kMap, 3);
    w.MapBegin(kI32, kI16, 50);
    for (int k = 0; k < 50; ++k) {
        w.I32(10000 + k);
        w.I16(static_cast<int16_t>(k % 3 == 0 ? 2 : 0));
    }
    w.Stop();
    w.Stop();
    return w.Frame();
}

struct Result {
    long calls = 0;
    double seconds = 0;
    double PerSecond() const { return calls / seconds; }
    double MicrosPerCall() const { return seconds * 1e6 / calls; }
};

template <typename F>
Result Run(double seconds, F&& call)
{
    for (int k = 0; k < 50; ++k) call();  // warm-up
    Result r;
    auto start = Clock::now();
    auto end = start + std::chrono::duration<double>(seconds);
    while (Clock::now() < end) {
        call();
        ++r.calls;
    }
    r.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    return r;
}

}  // namespace

int main(int argc, char** argv)
{
    double seconds = argc > 1 ? std::atof(argv[1]) : 2.0;
    if (seconds <= 0) seconds = 2.0;

    standin::StandinService service;
    int port = service.Start(0);
    if (port < 0) {
        std::fprintf(stderr, "cannot start the stand-in service\n");
        return 1;
    }
    const std::string reply = HeartbeatReply(1000);
    standin::Fault canned;
    canned.kind = standin::Fault::Raw;
    canned.text = reply;
    service.SetFault("MaintainOnline", canned);

    size_t received = 0;
    auto check = [&](const lum_thrift::StructOnlineResp& r) {
        if (r.msgList.size() != 1000 || r.onlineStatus.size() != 50) {
            std::fprintf(stderr, "unexpected reply\n");
            std::exit(1);
        }
        received += r.msgList.size();
    };

    Result fresh = Run(seconds, [&] {
        CServiceConnection conn("127.0.0.1", port);
        conn.Open();
        lum_thrift::StructOnlineResp r;
        conn.Client().MaintainOnline(r, "bench-key", lum_thrift::UserStatus::UserStatusPC);
        conn.Close();
        check(r);
    });

    CServiceConnection kept("127.0.0.1", port);
    kept.Open();
    Result reused = Run(seconds, [&] {
        lum_thrift::StructOnlineResp r;
        kept.Client().MaintainOnline(r, "bench-key", lum_thrift::UserStatus::UserStatusPC);
        check(r);
    });
    kept.Close();
    service.Stop();

    std::printf("MaintainOnline round trips over loopback, reply of 1,000 messages (%zu bytes)\n", reply.size());
    std::printf("  new connection per call : %8.0f calls/s  %8.1f us/call  (%ld calls)\n", fresh.PerSecond(),
                fresh.MicrosPerCall(), fresh.calls);
    std::printf("  one kept connection     : %8.0f calls/s  %8.1f us/call  (%ld calls)\n", reused.PerSecond(),
                reused.MicrosPerCall(), reused.calls);
    std::printf("  connection cost per call: %8.1f us\n", fresh.MicrosPerCall() - reused.MicrosPerCall());
    std::printf("  ratio new/kept time per call: %.2f\n", fresh.MicrosPerCall() / reused.MicrosPerCall());
    return received > 0 ? 0 : 1;
}
