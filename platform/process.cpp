#include "platform/process.h"

#include "platform/services.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <cstring>
#include <spawn.h>
#include <string>
#include <strings.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

bool endsWithNoCase(const std::string& text, const char* suffix)
{
    size_t n = std::strlen(suffix);
    return text.size() > n && strcasecmp(text.c_str() + text.size() - n, suffix) == 0;
}

bool exists(const std::string& path)
{
    return !path.empty() && ::access(path.c_str(), F_OK) == 0;
}

// The program and its arguments. A command line that names an existing file
// as a whole is that file without arguments (an unquoted path with blanks);
// otherwise blanks separate the words and double quotes group them.
std::vector<std::string> splitCommandLine(const std::string& line)
{
    std::string whole = line;
    size_t first = whole.find_first_not_of(" \t");
    size_t last = whole.find_last_not_of(" \t");
    if (first == std::string::npos) return {};
    whole = whole.substr(first, last - first + 1);
    if (exists(MapProgramName(whole.c_str()).str())) return {whole};

    std::vector<std::string> words;
    std::string word;
    bool inWord = false, quoted = false;
    for (char ch : whole) {
        if (ch == '"') {
            quoted = !quoted;
            inWord = true;
        } else if ((ch == ' ' || ch == '\t') && !quoted) {
            if (inWord) words.push_back(word);
            word.clear();
            inWord = false;
        } else {
            word += ch;
            inWord = true;
        }
    }
    if (inWord) words.push_back(word);
    return words;
}

}  // namespace

CString MapProgramName(LPCSTR path)
{
    if (!path) return CString();
    std::string p = path;
    if (exists(p)) return CString(p);
    if (endsWithNoCase(p, ".exe")) return CString(p.substr(0, p.size() - 4));
    if (endsWithNoCase(p, ".dll")) {
        size_t slash = p.rfind('/');
        size_t start = slash == std::string::npos ? 0 : slash + 1;
        return CString(p.substr(0, start) + "lib" + p.substr(start, p.size() - start - 4) + ".so");
    }
    return CString(p);
}

UINT WinExec(LPCSTR commandLine, UINT show)
{
    return lumui::GetServices()->StartProgram(CString(commandLine), show);
}

UINT lumui::SystemServices::StartProgram(const CString& commandLine, UINT)
{
    std::vector<std::string> words = splitCommandLine(commandLine.str());
    if (words.empty()) return ERROR_FILE_NOT_FOUND;
    words[0] = MapProgramName(words[0].c_str()).str();
    if (!exists(words[0])) return ERROR_FILE_NOT_FOUND;

    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(&w[0]);
    argv.push_back(nullptr);
    pid_t pid = 0;
    int err = posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ);
    if (err != 0) {
        if (err == ENOENT || err == ENOTDIR) return ERROR_FILE_NOT_FOUND;
        if (err == EACCES || err == EPERM) return ERROR_ACCESS_DENIED;
        if (err == ENOEXEC) return ERROR_BAD_FORMAT;
        return 0;
    }
    // Nobody waits for the program; a thread reaps it when it ends so that
    // it leaves no zombie behind.
    try {
        std::thread([pid] {
            int status = 0;
            while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
            }
        }).detach();
    } catch (...) {
        // Without a thread the ended program stays a zombie until we exit.
    }
    return 33;
}

BOOL MarkProgramExecutable(LPCSTR path)
{
    if (!path) return FALSE;
    struct stat st;
    if (::stat(path, &st) != 0) return FALSE;
    mode_t mode = st.st_mode | S_IXUSR;
    if (st.st_mode & S_IRGRP) mode |= S_IXGRP;
    if (st.st_mode & S_IROTH) mode |= S_IXOTH;
    return ::chmod(path, mode) == 0;
}

namespace {

// The file a /proc entry's executable link names, without the mark the
// kernel appends once the file was deleted or replaced.
std::string processExecutable(const std::string& procDir)
{
    char buf[MAX_PATH];
    ssize_t n = ::readlink((procDir + "/exe").c_str(), buf, sizeof buf - 1);
    if (n <= 0) return std::string();
    std::string link(buf, static_cast<size_t>(n));
    const std::string deleted = " (deleted)";
    if (link.size() > deleted.size() && link.compare(link.size() - deleted.size(), deleted.size(), deleted) == 0)
        link.erase(link.size() - deleted.size());
    return link;
}

// True when the process is gone or only waits to be reaped.
bool processEnded(pid_t pid)
{
    if (::kill(pid, 0) != 0 && errno == ESRCH) return true;
    std::string stat;
    FILE* f = std::fopen(("/proc/" + std::to_string(pid) + "/stat").c_str(), "r");
    if (!f) return true;
    char buf[512];
    size_t n = std::fread(buf, 1, sizeof buf - 1, f);
    std::fclose(f);
    stat.assign(buf, n);
    // "pid (name) S ...": the state follows the last closing parenthesis.
    size_t close = stat.rfind(')');
    if (close == std::string::npos || close + 2 >= stat.size()) return false;
    char state = stat[close + 2];
    return state == 'Z' || state == 'X';
}

bool waitForEnd(pid_t pid, DWORD ms)
{
    for (DWORD waited = 0;; waited += 20) {
        if (processEnded(pid)) return true;
        if (waited >= ms) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

}  // namespace

std::vector<DWORD> FindProgramProcesses(LPCSTR path)
{
    std::vector<DWORD> found;
    if (!path || !*path) return found;
    const std::string program = MapProgramName(path).str();
    struct stat target;
    if (::stat(program.c_str(), &target) != 0) return found;
    char* resolved = ::realpath(program.c_str(), nullptr);
    const std::string real = resolved ? resolved : program;
    std::free(resolved);

    DIR* proc = ::opendir("/proc");
    if (!proc) return found;
    const pid_t self = ::getpid();
    while (dirent* entry = ::readdir(proc)) {
        char* end = nullptr;
        long pid = std::strtol(entry->d_name, &end, 10);
        if (end == entry->d_name || *end != 0 || pid <= 0 || pid == self) continue;
        const std::string dir = std::string("/proc/") + entry->d_name;
        // The link is readable only for processes of this user.
        const std::string exe = processExecutable(dir);
        if (exe.empty()) continue;
        struct stat running;
        bool sameFile = ::stat((dir + "/exe").c_str(), &running) == 0 && running.st_dev == target.st_dev &&
                        running.st_ino == target.st_ino;
        if (sameFile || exe == real) found.push_back(static_cast<DWORD>(pid));
    }
    ::closedir(proc);
    return found;
}

BOOL EndProcessGently(DWORD pid, DWORD graceMs)
{
    if (pid == 0 || static_cast<pid_t>(pid) == ::getpid()) return FALSE;
    const pid_t p = static_cast<pid_t>(pid);
    if (processEnded(p)) return TRUE;
    if (::kill(p, SIGTERM) != 0 && errno != ESRCH) return FALSE;
    if (waitForEnd(p, graceMs)) return TRUE;
    ::kill(p, SIGKILL);
    return waitForEnd(p, 2000) ? TRUE : FALSE;
}
