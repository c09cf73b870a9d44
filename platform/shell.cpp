#include "platform/shell.h"

#include "platform/codepage.h"
#include "platform/services.h"

#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>

extern char** environ;

namespace {

HINSTANCE result(intptr_t code)
{
    return reinterpret_cast<HINSTANCE>(code);
}

// "scheme:..." with a scheme of letters, digits, '+', '-' or '.' (at least two
// characters, so that no path is taken for one).
bool isAddress(const std::string& s)
{
    const size_t colon = s.find(':');
    if (colon == std::string::npos || colon < 2) return false;
    for (size_t i = 0; i < colon; ++i) {
        const char c = s[i];
        if (!(isalnum(static_cast<unsigned char>(c)) || c == '+' || c == '-' || c == '.')) return false;
    }
    return true;
}

}  // namespace

HINSTANCE ShellExecute(HWND, LPCSTR verb, LPCSTR file, LPCSTR params, LPCSTR dir, int show)
{
    if (!file || !*file) return result(SE_ERR_FNF);
    if (verb && *verb && CString(verb).CompareNoCase("open") != 0) return result(SE_ERR_NOASSOC);
    return result(
        lumui::GetServices()->OpenWithDesktop(verb ? verb : "", file, params ? params : "", dir ? dir : "", show));
}

int lumui::SystemServices::OpenWithDesktop(const CString&, const CString& file, const CString&, const CString& dir, int)
{
    std::string target = AnsiToUtf8(file).str();
    if (target.empty()) return SE_ERR_FNF;
    if (!isAddress(target)) {
        if (target[0] != '/' && !dir.IsEmpty()) {
            std::string base = AnsiToUtf8(dir).str();
            if (base.back() != '/') base += '/';
            target = base + target;
        }
        struct stat st;
        if (stat(target.c_str(), &st) != 0) return SE_ERR_FNF;
    }
    // Started directly (no shell sees the text); a thread of its own reaps
    // the handler when it ends, so that nobody waits for it here.
    char program[] = "xdg-open";
    char* argv[] = {program, const_cast<char*>(target.c_str()), nullptr};
    pid_t pid = 0;
    if (posix_spawnp(&pid, program, nullptr, nullptr, argv, environ) != 0) return SE_ERR_NOASSOC;
    std::thread([pid] { waitpid(pid, nullptr, 0); }).detach();
    return 42;
}
