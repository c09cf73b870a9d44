// Memory of the client's pages: the proportional set size (PSS, from
// /proc/<pid>/smaps_rollup) of the client and every process it started (the
// web engine's web and network processes) with 0, 1, 3 and 10 one-to-one chat
// windows open, against a bare program with one web view showing a short
// page (bench_bare_webview), measured in the same run. Each figure is taken
// once the pages have loaded and the sum has settled. Needs an X display
// (run under xvfb-run).
//
//   bench_memory        (BENCH_MEMORY_DETAIL=1: every reading per process on stderr)
#include "bench/BenchMainWindow.h"

#include "Lum/KivApp.h"
#include "Lum/KivDlg.h"
#include "Lum/chat/KivDlgChat.h"
#include "Lum/LumResource.h"
#include "platform/files.h"
#include "platform/uiapp.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const int kOwnId = 10001;
const int kFirstPeer = 20001;

// PSS of one process in kB (0 when it is gone).
long PssOf(pid_t pid)
{
    std::ifstream rollup("/proc/" + std::to_string(pid) + "/smaps_rollup");
    std::string key;
    long value = 0;
    while (rollup >> key) {
        if (key == "Pss:") {
            rollup >> value;
            return value;
        }
        rollup.ignore(1 << 12, '\n');
    }
    return 0;
}

// The process and all its descendants.
std::vector<pid_t> Tree(pid_t root)
{
    std::map<pid_t, std::vector<pid_t>> children;
    std::map<pid_t, std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        const std::string name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos) continue;
        std::ifstream stat(entry.path() / "stat");
        std::string line;
        std::getline(stat, line);
        const size_t close = line.rfind(')');
        if (close == std::string::npos) continue;
        char state = 0;
        int ppid = 0;
        if (std::sscanf(line.c_str() + close + 1, " %c %d", &state, &ppid) == 2)
            children[ppid].push_back(std::atoi(name.c_str()));
    }
    std::vector<pid_t> all = {root};
    for (size_t i = 0; i < all.size(); ++i)
        for (pid_t child : children[all[i]]) all.push_back(child);
    return all;
}

std::string Comm(pid_t pid)
{
    std::ifstream comm("/proc/" + std::to_string(pid) + "/comm");
    std::string name;
    std::getline(comm, name);
    return name;
}

struct Sample {
    long pssKb = 0;
    int webProcesses = 0;
    int processes = 0;
};

Sample Measure(pid_t root)
{
    Sample s;
    for (pid_t pid : Tree(root)) {
        s.pssKb += PssOf(pid);
        if (getenv("BENCH_MEMORY_DETAIL")) std::fprintf(stderr, "  %d %s %ld kB\n", pid, Comm(pid).c_str(), PssOf(pid));
        ++s.processes;
        if (Comm(pid).rfind("WebKitWebProces", 0) == 0) ++s.webProcesses;
    }
    return s;
}

// The sum once it has settled: two readings 300 ms apart within 1 MB of
// each other (at most 6 s), the UI loop running meanwhile when `pump`.
Sample Settled(pid_t root, bool pump)
{
    Sample last = Measure(root);
    for (int i = 0; i < 20; ++i) {
        if (pump) lumui::Pump(300);
        else std::this_thread::sleep_for(std::chrono::milliseconds(300));
        const Sample now = Measure(root);
        const bool steady = std::labs(now.pssKb - last.pssKb) < 1024;
        last = now;
        if (steady) break;
    }
    return last;
}

// The bare baseline in a process of its own.
Sample Bare()
{
    int in[2], out[2];
    if (pipe(in) != 0 || pipe(out) != 0) return Sample();
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(in[0], 0);
        dup2(out[1], 1);
        close(in[1]);
        close(out[0]);
        execl(BENCH_BARE_WEBVIEW, BENCH_BARE_WEBVIEW, static_cast<char*>(nullptr));
        _exit(127);
    }
    close(in[0]);
    close(out[1]);
    std::string said;
    pollfd p{out[0], POLLIN, 0};
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (said.find("ready") == std::string::npos && std::chrono::steady_clock::now() < until) {
        if (poll(&p, 1, 200) > 0) {
            char buffer[64];
            const ssize_t n = read(out[0], buffer, sizeof buffer);
            if (n <= 0) break;
            said.append(buffer, static_cast<size_t>(n));
        }
    }
    Sample s;
    if (said.find("ready") != std::string::npos) s = Settled(pid, false);
    close(in[1]);
    close(out[0]);
    int status = 0;
    for (int i = 0; i < 50 && waitpid(pid, &status, WNOHANG) == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    if (waitpid(pid, &status, WNOHANG) == 0) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
    }
    return s;
}

double Mb(long kb)
{
    return static_cast<double>(kb) / 1024.0;
}

}  // namespace

int main()
{
    // WebKitGTK's web process cannot set up its sandbox in this container;
    // the bench (a tool, not the program) turns it off for itself.
    setenv("WEBKIT_DISABLE_SANDBOX_THIS_IS_DANGEROUS", "1", 1);
    const Sample bare = Bare();
    if (bare.pssKb == 0) {
        std::fprintf(stderr, "the bare web view did not come up\n");
        return 1;
    }
    if (!lumui::Start()) {
        std::fprintf(stderr, "no display: run under xvfb-run -a\n");
        return 1;
    }
    // The pages' fetches fail at once: nothing listens on port 1.
    BenchMainWindow bench("memory");
    if (!bench.Open("http://127.0.0.1:1", kOwnId, BenchMainWindow::Heartbeat::kStop)) return 1;
    CKivDlg* main = bench.main.get();
    bench.Show();
    for (int k = 0; k < 10; ++k) {
        CDataUser rec;
        rec.m_nId = kFirstPeer + k;
        rec.m_bstrName = ("同学" + std::to_string(k)).c_str();
        main->m_listFriend.AddUser(&rec, 1);
    }

    std::map<int, Sample> samples;
    samples[0] = Settled(getpid(), true);
    std::vector<CKivDlgChatUser*> chats;
    for (int k = 0; k < 10; ++k) {
        auto* peer = static_cast<CDataUser*>(main->m_listFriend.GetUser(kFirstPeer + k));
        main->m_listFriend.OpenChat(peer);
        auto* chat = dynamic_cast<CKivDlgChatUser*>(peer ? peer->m_dlgChat : nullptr);
        if (!chat) {
            std::fprintf(stderr, "cannot open chat window %d\n", k + 1);
            return 1;
        }
        chat->SetWindowPos(nullptr, 20 + 20 * k, 20 + 10 * k, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
        chat->ShowWindow(SW_SHOW);
        if (!lumui::PumpUntil([&] { return chat->m_dlgMsgList.m_nDocComplete != 0; }, 30000)) {
            std::fprintf(stderr, "the page of chat window %d never loaded\n", k + 1);
            return 1;
        }
        chats.push_back(chat);
        if (k + 1 == 1 || k + 1 == 3 || k + 1 == 10) samples[k + 1] = Settled(getpid(), true);
    }

    for (auto& entry : main->m_listFriend.m_mapUsers) {
        if (CWnd* chat = entry.second->m_dlgChat) {
            // A chat window's object goes with its window.
            entry.second->m_dlgChat = nullptr;
            chat->DestroyWindow();
        }
    }
    bench.Close();

    std::printf("PSS of the client and the processes it started (web engine), settled\n");
    std::printf("  bare web view, one short page:  %8.1f MB  (%d processes, %d web)\n", Mb(bare.pssKb), bare.processes,
                bare.webProcesses);
    for (const auto& entry : samples)
        std::printf("  Lum, %2d chat window%s open:     %8.1f MB  (%d processes, %d web)  ratio to bare %5.2f\n",
                    entry.first, entry.first == 1 ? " " : "s", Mb(entry.second.pssKb), entry.second.processes,
                    entry.second.webProcesses, static_cast<double>(entry.second.pssKb) / bare.pssKb);
    const double further = Mb(samples[10].pssKb - samples[3].pssKb) / 7.0;
    std::printf("  each further window (3 -> 10):  %8.1f MB  (target < 15 MB)  %s\n", further,
                further < 15 ? "met" : "MISSED");
    std::printf("  with 10 windows:                %8.1f MB  (target < 400 MB) %s\n", Mb(samples[10].pssKb),
                Mb(samples[10].pssKb) < 400 ? "met" : "MISSED");
    return 0;
}
