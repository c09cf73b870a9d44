// Shared helpers of the updater's tests: versioned files made from the stub
// program, and starting and watching programs.
#pragma once

#include <cstring>
#include <fstream>
#include <iterator>
#include <signal.h>
#include <spawn.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>

namespace updatertest {

// The version text the stub is built with; a copy gets another version by
// overwriting it in place.
const char kStubVersion[] = "0.0.0.0-slot-for-test-versions";

inline std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteFile(const std::string& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

// The stub's bytes carrying `version` (not longer than the stub's own).
inline std::string VersionedBytes(const std::string& stub, const std::string& version)
{
    std::string bytes = ReadFile(stub);
    const std::string slot(kStubVersion, sizeof kStubVersion);  // with its terminator
    size_t at = bytes.find(slot);
    if (at == std::string::npos || version.size() >= slot.size()) return std::string();
    std::string patched = version;
    patched.resize(slot.size(), '\0');
    bytes.replace(at, slot.size(), patched);
    return bytes;
}

// Writes an executable copy of the stub carrying `version`.
inline bool WriteVersioned(const std::string& stub, const std::string& path, const std::string& version)
{
    std::string bytes = VersionedBytes(stub, version);
    if (bytes.empty()) return false;
    WriteFile(path, bytes);
    return ::chmod(path.c_str(), 0755) == 0;
}

extern "C" char** environ;

// Starts `program` with the given arguments; returns its pid or -1.
inline pid_t Spawn(const std::string& program, const std::string& argument = std::string())
{
    std::string p = program, a = argument;
    char* argv[] = {&p[0], a.empty() ? nullptr : &a[0], nullptr};
    pid_t pid = -1;
    if (posix_spawn(&pid, p.c_str(), nullptr, nullptr, argv, environ) != 0) return -1;
    return pid;
}

// True while the child has not ended (does not reap it).
inline bool ChildRunning(pid_t pid)
{
    siginfo_t info{};
    if (waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) != 0) return false;
    return info.si_pid == 0;
}

inline void KillChild(pid_t pid)
{
    if (pid <= 0) return;
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
}

}  // namespace updatertest
