// Watches one thread (the UI thread) for waits on the network: a watcher
// thread looks every millisecond at the system call the thread is stopped in
// (/proc/self/task/<tid>/syscall) and, when it is a wait on descriptors (a
// read, a receive, a connect, a poll or a select), whether one of them is a
// TCP connection. The longest stretch the thread was found so is the longest
// time it waited on the network. Waits for the display server (reached
// through a local socket on the test desktops), for the disk or for a
// processor are none: a machine busy with other programs does not pass for a
// UI thread waiting on a web server.
#pragma once

#include <poll.h>
#include <sys/select.h>
#include <sys/syscall.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

class NetworkWaitWatch {
public:
    // To be made on the thread to watch.
    NetworkWaitWatch() : tid_(static_cast<pid_t>(::syscall(SYS_gettid)))
    {
        watcher_ = std::thread([this] { Run(); });
    }
    ~NetworkWaitWatch()
    {
        done_ = true;
        watcher_.join();
    }
    // Starts a new measurement.
    void Arm()
    {
        armed_ = true;
        longestMs_ = 0;
        ++arms_;
    }
    // The longest wait on a TCP connection since Arm, in milliseconds.
    double LongestMs() const { return longestMs_.load(); }

private:
    using Clock = std::chrono::steady_clock;

    // The descriptors the thread waits on, when it is stopped in a system
    // call that waits on descriptors.
    std::vector<int> WaitedDescriptors() const
    {
        std::ifstream in("/proc/self/task/" + std::to_string(tid_) + "/syscall");
        std::string first;
        if (!(in >> first) || first == "running") return {};
        const long nr = std::strtol(first.c_str(), nullptr, 10);
        unsigned long long args[6] = {};
        for (auto& arg : args) {
            std::string text;
            if (!(in >> text)) return {};
            arg = std::strtoull(text.c_str(), nullptr, 16);
        }
        switch (nr) {
        case SYS_read:
        case SYS_readv:
        case SYS_recvfrom:
        case SYS_recvmsg:
        case SYS_connect:
            return {static_cast<int>(args[0])};
        case SYS_poll:
        case SYS_ppoll: {
            const size_t count = std::min<unsigned long long>(args[1], 256);
            std::vector<pollfd> fds(count);
            iovec local{fds.data(), count * sizeof(pollfd)};
            iovec remote{reinterpret_cast<void*>(args[0]), count * sizeof(pollfd)};
            if (process_vm_readv(getpid(), &local, 1, &remote, 1, 0) != static_cast<ssize_t>(local.iov_len)) return {};
            std::vector<int> out;
            for (const pollfd& p : fds) out.push_back(p.fd);
            return out;
        }
        case SYS_select:
        case SYS_pselect6: {
            fd_set set;
            iovec local{&set, sizeof set};
            iovec remote{reinterpret_cast<void*>(args[1]), sizeof set};
            if (!args[1] || process_vm_readv(getpid(), &local, 1, &remote, 1, 0) != sizeof set) return {};
            std::vector<int> out;
            for (int fd = 0; fd < static_cast<int>(std::min<unsigned long long>(args[0], FD_SETSIZE)); ++fd)
                if (FD_ISSET(fd, &set)) out.push_back(fd);
            return out;
        }
        default:
            return {};
        }
    }

    // The inodes of this machine's TCP sockets.
    static std::set<unsigned long> TcpInodes()
    {
        std::set<unsigned long> inodes;
        for (const char* table : {"/proc/net/tcp", "/proc/net/tcp6"}) {
            std::ifstream in(table);
            std::string line;
            std::getline(in, line);  // the heading
            while (std::getline(in, line)) {
                std::istringstream fields(line);
                std::string skip;
                for (int i = 0; i < 9; ++i) fields >> skip;
                unsigned long inode = 0;
                if (fields >> inode && inode) inodes.insert(inode);
            }
        }
        return inodes;
    }

    static unsigned long SocketInode(int fd)
    {
        char target[64] = {};
        const std::string link = "/proc/self/fd/" + std::to_string(fd);
        if (fd < 0 || readlink(link.c_str(), target, sizeof target - 1) <= 0) return 0;
        unsigned long inode = 0;
        return std::sscanf(target, "socket:[%lu]", &inode) == 1 ? inode : 0;
    }

    bool WaitsOnTcp() const
    {
        std::vector<unsigned long> sockets;
        for (int fd : WaitedDescriptors())
            if (const unsigned long inode = SocketInode(fd)) sockets.push_back(inode);
        if (sockets.empty()) return false;
        const std::set<unsigned long> tcp = TcpInodes();
        return std::any_of(sockets.begin(), sockets.end(), [&](unsigned long s) { return tcp.count(s) > 0; });
    }

    void Run()
    {
        bool waiting = false;
        int arm = 0;
        Clock::time_point since;
        while (!done_) {
            // A wait under way when the measurement starts counts from then.
            if (arm != arms_) waiting = false;
            arm = arms_;
            const bool now = armed_ && WaitsOnTcp();
            if (now && !waiting) since = Clock::now();
            if (now) {
                const double ms = std::chrono::duration<double, std::milli>(Clock::now() - since).count();
                longestMs_ = std::max(longestMs_.load(), ms);
            }
            waiting = now;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }

    const pid_t tid_;
    std::atomic<bool> done_{false}, armed_{false};
    std::atomic<int> arms_{0};
    std::atomic<double> longestMs_{0};
    std::thread watcher_;
};
