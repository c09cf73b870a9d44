// How long the UI thread holds back work queued on it while a test runs:
// a probe thread queues a small task on the UI thread again and again and
// measures, for each, the processor time the UI thread spent between the
// queueing and the run. That is the time its handlers kept the loop from
// coming round; time the thread merely waited for a processor, on a machine
// busy with other programs, does not count.
#pragma once

#include "platform/uiapp.h"

#include <pthread.h>
#include <time.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

class UiHoldProbe {
public:
    // To be made on the UI thread.
    UiHoldProbe()
    {
        if (pthread_getcpuclockid(pthread_self(), &uiClock_) != 0) uiClock_ = CLOCK_THREAD_CPUTIME_ID;
        probe_ = std::thread([this] { Run(); });
    }
    ~UiHoldProbe() { Stop(); }
    void Stop()
    {
        done_ = true;
        if (probe_.joinable()) probe_.join();
    }
    // The longest hold seen, in milliseconds.
    long long LongestMs() const { return longestMs_.load(); }

private:
    double UiCpuMs() const
    {
        timespec ts{};
        clock_gettime(uiClock_, &ts);
        return static_cast<double>(ts.tv_sec) * 1e3 + static_cast<double>(ts.tv_nsec) / 1e6;
    }
    void Run()
    {
        while (!done_) {
            const double queued = UiCpuMs();
            auto ran = std::make_shared<std::atomic<bool>>(false);
            lumui::QueueOnUiThread([ran] { *ran = true; });
            while (!*ran && !done_) std::this_thread::sleep_for(std::chrono::milliseconds(1));
            const auto held = static_cast<long long>(UiCpuMs() - queued);
            if (*ran) longestMs_ = std::max(longestMs_.load(), held);
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }

    clockid_t uiClock_{};
    std::atomic<bool> done_{false};
    std::atomic<long long> longestMs_{0};
    std::thread probe_;
};
