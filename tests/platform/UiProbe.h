// A probe of the UI thread for tests and benchmarks: a timer on the UI
// thread that ticks every millisecond. A gap between two ticks is a time the
// UI loop did not come round (a click would have waited that long). Three
// measures of the longest gap:
//
//   Longest()      the time the UI thread held its loop: busy in handlers or
//                  stopped in them. The gap less the time the thread waited
//                  for a processor (as the kernel counts it for the thread,
//                  /proc/thread-self/schedstat) and the time its loop waited
//                  for events, so that a machine busy with other programs
//                  does not pass for a held UI thread;
//   LongestStop()  the time the thread was stopped in handlers, waiting on
//                  something (a socket, another process, a lock): the same
//                  less the time it ran, so that only waiting counts, however
//                  slow the machine runs the handlers' own work;
//   LongestWall()  the gap as the clock on the wall shows it.
//
// Start it on the UI thread; it measures while the UI loop runs (a test
// pumping, a benchmark's loop).
#pragma once

#include "platform/uiapp.h"
#include "platform/window.h"

#include <algorithm>
#include <chrono>
#include <fstream>

class UiProbe : public CWnd {
public:
    bool Start()
    {
        if (!CreateEx(0, nullptr, "ui probe", WS_POPUP, 0, 0, 1, 1, nullptr, 0)) return false;
        SetTimer(1, 1, nullptr);
        Arm();
        return true;
    }
    void Stop()
    {
        if (!m_hWnd) return;
        KillTimer(1);
        DestroyWindow();
    }
    // Starts a new measurement.
    void Arm()
    {
        last_ = Read();
        longest_ = longestStop_ = longestWall_ = 0;
    }
    // The longest gaps since Arm, in milliseconds.
    double Longest() const { return longest_; }
    double LongestStop() const { return longestStop_; }
    double LongestWall() const { return longestWall_; }

    void OnTimer(UINT_PTR) override
    {
        const Reading now = Read();
        const double gap = now.wall - last_.wall - (now.waitedForCpu - last_.waitedForCpu) -
                           (now.waitedForEvents - last_.waitedForEvents);
        longest_ = std::max(longest_, gap);
        longestWall_ = std::max(longestWall_, now.wall - last_.wall);
        longestStop_ = std::max(longestStop_, gap - (now.ran - last_.ran));
        last_ = now;
    }

private:
    struct Reading {
        double wall = 0, ran = 0, waitedForCpu = 0, waitedForEvents = 0;  // milliseconds
    };
    static Reading Read()
    {
        Reading r;
        r.wall = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch()).count();
        std::ifstream stat("/proc/thread-self/schedstat");
        unsigned long long running = 0, waiting = 0;
        stat >> running >> waiting;
        r.ran = static_cast<double>(running) / 1e6;
        r.waitedForCpu = static_cast<double>(waiting) / 1e6;
        r.waitedForEvents = lumui::UiLoopWaitMs();
        return r;
    }

    Reading last_;
    double longest_ = 0;
    double longestStop_ = 0;
    double longestWall_ = 0;
    DECLARE_MESSAGE_MAP()
};
