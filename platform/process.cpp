#include "platform/process.h"

#include <cerrno>
#include <cstring>
#include <mutex>
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

std::mutex g_hookLock;
WinExecHook g_hook;

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
    WinExecHook hook;
    {
        std::lock_guard<std::mutex> lock(g_hookLock);
        hook = g_hook;
    }
    if (hook) return hook(CString(commandLine), show);
    std::vector<std::string> words = splitCommandLine(commandLine ? commandLine : "");
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

void SetWinExecHookForTests(WinExecHook hook)
{
    std::lock_guard<std::mutex> lock(g_hookLock);
    g_hook = std::move(hook);
}
