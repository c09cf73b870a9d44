#include "platform/afx.h"
#include "platform/net.h"
#include "platform/sound.h"

#include "platform/process.h"
#include "platform/services.h"
#include "TempDir.h"
#include "tests/platform/ServeInBackground.h"
#include "tests/platform/TestServices.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <cstring>
#include <fstream>
#include <memory>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

void writeFile(const std::string& path, const std::string& bytes)
{
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f << bytes;
}

std::string readFile(const std::string& path)
{
    std::string s;
    EXPECT_TRUE(ReadWholeFile(path.c_str(), s)) << path;
    return s;
}

std::string moduleFileName()
{
    char buf[MAX_PATH];
    DWORD n = GetModuleFileName(nullptr, buf, sizeof buf);
    return std::string(buf, n);
}

}  // namespace

// ---------------------------------------------------------------- files

TEST(SystemTest, ModuleFileNameFollowsTheTestFolder)
{
    const std::string real = moduleFileName();
    ASSERT_FALSE(real.empty());
    EXPECT_EQ(real.front(), '/');
    const std::string exe = real.substr(real.rfind('/') + 1);
    EXPECT_EQ(exe, "platform_tests");

    TempDir dir;
    {
        TestServices services;
        services.SetProgramFolder(dir.path());  // without the trailing '/'
        EXPECT_EQ(moduleFileName(), dir.path() + "/" + exe);
        EXPECT_EQ(GetProgramFolder().str(), dir.path() + "/");
        services.SetProgramFolder(dir.path() + "/");  // with it
        EXPECT_EQ(moduleFileName(), dir.path() + "/" + exe);
    }
    EXPECT_EQ(moduleFileName(), real);
    EXPECT_EQ(GetProgramFolder().str(), real.substr(0, real.rfind('/') + 1));

    // A short buffer gets a cut, terminated text; other modules are not known.
    char small[5] = {'#', '#', '#', '#', '#'};
    EXPECT_EQ(GetModuleFileName(nullptr, small, 5), 4u);
    EXPECT_EQ(std::string(small), real.substr(0, 4));
    EXPECT_EQ(GetModuleFileName(nullptr, small, 0), 0u);
    char buf[MAX_PATH];
    EXPECT_EQ(GetModuleFileName(reinterpret_cast<HMODULE>(1), buf, sizeof buf), 0u);
}

// ---------------------------------------------------------------- services

TEST(Services, TheSystemsAreInstalledAtStartAndATestsOwnGoWithIt)
{
    const std::shared_ptr<lumui::Services> atStart = lumui::GetServices();
    EXPECT_NE(dynamic_cast<lumui::SystemServices*>(atStart.get()), nullptr);
    const std::string real = moduleFileName();
    const std::string exe = real.substr(real.rfind('/') + 1);

    TempDir fixtureFolder, testFolder;
    std::shared_ptr<lumui::Services> held;
    std::vector<std::string> started;
    {
        TestServices fixture;
        fixture.SetProgramFolder(fixtureFolder.path());
        {
            TestServices test;
            test.SetStartProgram([&](const CString& line, UINT) {
                started.push_back(line.str());
                return 33u;
            });
            // What the test does not answer, the services before it do.
            EXPECT_EQ(moduleFileName(), fixtureFolder.path() + "/" + exe);
            EXPECT_EQ(WinExec("Updater.exe /quiet", SW_SHOW), 33u);
            test.SetProgramFolder(testFolder.path());
            EXPECT_EQ(moduleFileName(), testFolder.path() + "/" + exe);
            held = lumui::GetServices();
        }
        // The test's own answers went with it; the fixture's stay.
        EXPECT_EQ(moduleFileName(), fixtureFolder.path() + "/" + exe);
        EXPECT_EQ(WinExec("/nonexistent/Updater.exe", SW_SHOW), static_cast<UINT>(ERROR_FILE_NOT_FOUND));
        // A caller that still holds them keeps them answering.
        EXPECT_EQ(held->ProgramFolder().str(), testFolder.path() + "/");
    }
    EXPECT_EQ(started, std::vector<std::string>{"Updater.exe /quiet"});
    EXPECT_EQ(lumui::GetServices(), atStart);
    EXPECT_EQ(moduleFileName(), real);
}

TEST(SystemTest, SplitPath)
{
    char drive[MAX_PATH], dir[MAX_PATH], name[MAX_PATH], ext[MAX_PATH];
    _splitpath("/opt/lum.d/bin/Lum.tar.gz", drive, dir, name, ext);
    EXPECT_STREQ(drive, "");
    EXPECT_STREQ(dir, "/opt/lum.d/bin/");
    EXPECT_STREQ(name, "Lum.tar");
    EXPECT_STREQ(ext, ".gz");

    _splitpath("/opt/lum.d/Updater", drive, dir, name, ext);
    EXPECT_STREQ(dir, "/opt/lum.d/");
    EXPECT_STREQ(name, "Updater");
    EXPECT_STREQ(ext, "");

    _splitpath("file.png", drive, dir, name, ext);
    EXPECT_STREQ(dir, "");
    EXPECT_STREQ(name, "file");
    EXPECT_STREQ(ext, ".png");

    _splitpath("/only/folder/", nullptr, dir, name, ext);
    EXPECT_STREQ(dir, "/only/folder/");
    EXPECT_STREQ(name, "");
    EXPECT_STREQ(ext, "");

    _splitpath(nullptr, drive, dir, name, nullptr);
    EXPECT_STREQ(dir, "");
    EXPECT_STREQ(name, "");
}

TEST(SystemTest, FoldersAndFiles)
{
    TempDir tmp;
    const std::string sub = tmp.file("sub");
    EXPECT_TRUE(CreateDirectory(sub.c_str(), nullptr));
    EXPECT_FALSE(CreateDirectory(sub.c_str(), nullptr));  // exists
    EXPECT_FALSE(CreateDirectory(tmp.file("no/such/parent").c_str(), nullptr));
    EXPECT_EQ(_mkdir(tmp.file("other").c_str()), 0);
    EXPECT_EQ(_mkdir(tmp.file("other").c_str()), -1);

    struct _stat st;
    ASSERT_EQ(_stat(sub.c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));

    const std::string a = sub + "/a.dat", b = sub + "/b.dat";
    const std::string bytes("x\0y\xFFz", 5);
    writeFile(a, bytes);
    ASSERT_EQ(_stat(a.c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    EXPECT_EQ(st.st_size, 5);
    EXPECT_EQ(readFile(a), bytes);
    EXPECT_NE(_stat(b.c_str(), &st), 0);
    EXPECT_TRUE(PathFileExists(a.c_str()));
    EXPECT_FALSE(PathFileExists(b.c_str()));

    // MoveFile renames, but never replaces an existing file.
    EXPECT_TRUE(MoveFile(a.c_str(), b.c_str()));
    EXPECT_FALSE(PathFileExists(a.c_str()));
    EXPECT_EQ(readFile(b), bytes);
    writeFile(a, "other");
    EXPECT_FALSE(MoveFile(a.c_str(), b.c_str()));
    EXPECT_EQ(readFile(a), "other");
    EXPECT_EQ(readFile(b), bytes);
    EXPECT_FALSE(MoveFile(tmp.file("missing").c_str(), tmp.file("target").c_str()));

    EXPECT_TRUE(DeleteFile(a.c_str()));
    EXPECT_FALSE(DeleteFile(a.c_str()));
    EXPECT_FALSE(PathFileExists(a.c_str()));

    std::string out = "stale";
    EXPECT_FALSE(ReadWholeFile(a.c_str(), out));
    EXPECT_TRUE(out.empty());
    writeFile(a, "");
    EXPECT_TRUE(ReadWholeFile(a.c_str(), out));
    EXPECT_TRUE(out.empty());
}

// ---------------------------------------------------------------- threads

TEST(SystemTest, AutoResetAndManualResetEvents)
{
    HANDLE autoEv = CreateEvent(nullptr, FALSE, FALSE, nullptr);
    HANDLE manual = CreateEvent(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(autoEv, nullptr);
    ASSERT_NE(manual, nullptr);
    EXPECT_NE(autoEv, manual);

    // An unsignalled event times out after about the time asked for.
    DWORD start = GetTickCount();
    EXPECT_EQ(WaitForSingleObject(autoEv, 60), WAIT_TIMEOUT);
    DWORD waited = GetTickCount() - start;
    EXPECT_GE(waited, 55u);
    EXPECT_LT(waited, 5000u);
    EXPECT_EQ(WaitForSingleObject(manual, 0), WAIT_TIMEOUT);

    // Auto reset: one wait consumes the signal.
    EXPECT_TRUE(SetEvent(autoEv));
    EXPECT_EQ(WaitForSingleObject(autoEv, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(autoEv, 0), WAIT_TIMEOUT);

    // Manual reset: stays signalled until reset.
    EXPECT_TRUE(SetEvent(manual));
    EXPECT_EQ(WaitForSingleObject(manual, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(manual, INFINITE), WAIT_OBJECT_0);
    EXPECT_TRUE(ResetEvent(manual));
    EXPECT_EQ(WaitForSingleObject(manual, 0), WAIT_TIMEOUT);

    // An event created signalled.
    HANDLE initially = CreateEvent(nullptr, FALSE, TRUE, nullptr);
    EXPECT_EQ(WaitForSingleObject(initially, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(initially, 0), WAIT_TIMEOUT);

    // A signal from another thread wakes an infinite wait; an auto-reset
    // event releases exactly one of two waiters per signal.
    std::atomic<int> woken{0};
    std::vector<std::thread> waiters;
    for (int i = 0; i < 2; ++i) {
        waiters.emplace_back([&] {
            if (WaitForSingleObject(autoEv, 5000) == WAIT_OBJECT_0) ++woken;
        });
    }
    Sleep(50);
    SetEvent(autoEv);
    Sleep(100);
    EXPECT_EQ(woken.load(), 1);
    SetEvent(autoEv);
    for (auto& t : waiters) t.join();
    EXPECT_EQ(woken.load(), 2);

    // Closed handles are gone.
    EXPECT_TRUE(CloseHandle(autoEv));
    EXPECT_FALSE(CloseHandle(autoEv));
    EXPECT_EQ(WaitForSingleObject(autoEv, 0), WAIT_FAILED);
    EXPECT_FALSE(SetEvent(autoEv));
    EXPECT_FALSE(ResetEvent(autoEv));
    EXPECT_EQ(WaitForSingleObject(nullptr, 0), WAIT_FAILED);
    CloseHandle(manual);
    CloseHandle(initially);
}

namespace {

struct ThreadJob {
    HANDLE go = nullptr;
    std::atomic<int> ran{0};
    std::atomic<DWORD> threadId{0};
    LPVOID seen = nullptr;
};

UINT threadProc(LPVOID param)
{
    auto* job = static_cast<ThreadJob*>(param);
    WaitForSingleObject(job->go, 5000);
    job->seen = param;
    job->threadId = GetCurrentThreadId();
    ++job->ran;
    return 7;
}

}  // namespace

TEST(SystemTest, AfxBeginThreadRunsAndSignalsItsHandle)
{
    ThreadJob job;
    job.go = CreateEvent(nullptr, TRUE, FALSE, nullptr);
    CWinThread* thread = AfxBeginThread(threadProc, &job);
    ASSERT_NE(thread, nullptr);
    // The thread waits for `go`, so the object is still alive here.
    HANDLE handle = thread->m_hThread;
    ASSERT_NE(handle, nullptr);
    EXPECT_EQ(WaitForSingleObject(handle, 50), WAIT_TIMEOUT);
    // Let the thread go while this one already waits on its handle: the
    // waiter is woken though the thread closes the handle as it ends.
    std::thread starter([&job] {
        Sleep(100);
        SetEvent(job.go);
    });
    EXPECT_EQ(WaitForSingleObject(handle, 5000), WAIT_OBJECT_0);
    starter.join();
    EXPECT_EQ(job.ran.load(), 1);
    EXPECT_EQ(job.seen, &job);
    EXPECT_NE(job.threadId.load(), GetCurrentThreadId());
    // An auto-deleting thread took its handle with it.
    EXPECT_EQ(WaitForSingleObject(handle, 0), WAIT_FAILED);
    CloseHandle(job.go);

    // Without auto-delete the object and a signalled handle stay for the caller.
    ThreadJob kept;
    kept.go = CreateEvent(nullptr, TRUE, FALSE, nullptr);
    CWinThread* owned = AfxBeginThread(threadProc, &kept);
    ASSERT_NE(owned, nullptr);
    owned->m_bAutoDelete = FALSE;
    SetEvent(kept.go);
    ASSERT_EQ(WaitForSingleObject(owned->m_hThread, 5000), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(owned->m_hThread, 0), WAIT_OBJECT_0);
    EXPECT_NE(owned->m_nThreadID, 0u);
    EXPECT_TRUE(CloseHandle(owned->m_hThread));
    delete owned;
    CloseHandle(kept.go);

    EXPECT_EQ(AfxBeginThread(nullptr, nullptr), nullptr);
}

// Tests wait on this count for the work they set off to end.
TEST(SystemTest, RunningThreadsCountsAProcedureFromItsStartUntilItReturns)
{
    ThreadJob a, b;
    HANDLE go = CreateEvent(nullptr, TRUE, FALSE, nullptr);
    a.go = b.go = go;
    const int before = lumui::RunningThreads(threadProc), all = lumui::RunningThreads();
    ASSERT_NE(AfxBeginThread(threadProc, &a), nullptr);
    ASSERT_NE(AfxBeginThread(threadProc, &b), nullptr);
    // Counted before either is scheduled; another procedure has its own count.
    EXPECT_EQ(lumui::RunningThreads(threadProc), before + 2);
    EXPECT_EQ(lumui::RunningThreads([](LPVOID) -> UINT { return 0; }), 0);
    EXPECT_EQ(lumui::RunningThreads(), all + 2);
    SetEvent(go);
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (lumui::RunningThreads(threadProc) != before && std::chrono::steady_clock::now() < until)
        std::this_thread::yield();
    EXPECT_EQ(lumui::RunningThreads(threadProc), before);
    // Both had returned by then.
    EXPECT_EQ(a.ran.load(), 1);
    EXPECT_EQ(b.ran.load(), 1);
    CloseHandle(go);
}

TEST(SystemTest, CriticalSectionIsRecursiveAndExcludesOthers)
{
    CRITICAL_SECTION cs;
    InitializeCriticalSection(&cs);
    EnterCriticalSection(&cs);
    EnterCriticalSection(&cs);  // the same thread enters again without blocking

    std::atomic<bool> entered{false};
    std::thread other([&] {
        EnterCriticalSection(&cs);
        entered = true;
        LeaveCriticalSection(&cs);
    });
    Sleep(50);
    EXPECT_FALSE(entered.load());
    LeaveCriticalSection(&cs);
    Sleep(50);
    EXPECT_FALSE(entered.load());  // still held once
    LeaveCriticalSection(&cs);
    other.join();
    EXPECT_TRUE(entered.load());
    DeleteCriticalSection(&cs);
    EXPECT_EQ(cs.impl, nullptr);
}

// ---------------------------------------------------------------- time

TEST(SystemTest, CTimeFieldsAndFormat)
{
    CTime t(2024, 3, 5, 7, 8, 9);
    EXPECT_EQ(t.Format("%Y-%m-%d %H:%M:%S"), "2024-03-05 07:08:09");
    EXPECT_EQ(t.Format("%H%M%S"), "070809");
    EXPECT_EQ(t.Format("%Y%m%d"), "20240305");
    EXPECT_EQ(t.GetYear(), 2024);
    EXPECT_EQ(t.GetMonth(), 3);
    EXPECT_EQ(t.GetDay(), 5);
    EXPECT_EQ(t.GetHour(), 7);
    EXPECT_EQ(t.GetMinute(), 8);
    EXPECT_EQ(t.GetSecond(), 9);
    EXPECT_EQ(t.GetDayOfWeek(), 3);  // Tuesday; Sunday is 1
    EXPECT_EQ(t.Format(""), "");
    EXPECT_EQ(t.Format(nullptr), "");

    // Out-of-range fields roll over.
    CTime rolled(2023, 12, 32, 24, 0, 0);
    EXPECT_EQ(rolled.Format("%Y-%m-%d %H:%M"), "2024-01-02 00:00");

    // The same instant through the two ways of reading the clock.
    SYSTEMTIME st;
    GetLocalTime(&st);
    CTime now = CTime::GetCurrentTime();
    EXPECT_LE(std::abs(now.GetYear() - st.wYear), 1);
    EXPECT_GE(st.wMonth, 1);
    EXPECT_LE(st.wMonth, 12);
    EXPECT_LT(st.wMilliseconds, 1000);
    EXPECT_EQ(CTime(now.GetTime()).GetTime(), now.GetTime());
}

// ---------------------------------------------------------------- settings

TEST(SystemTest, ProfileStringsRoundTrip)
{
    TempDir tmp;
    const std::string ini = tmp.file("settings.ini");
    char buf[64];

    // A missing file gives the default.
    EXPECT_EQ(GetPrivateProfileString("Main", "Name", "none", buf, sizeof buf, ini.c_str()), 4u);
    EXPECT_STREQ(buf, "none");
    EXPECT_EQ(GetPrivateProfileInt("Main", "Count", -3, ini.c_str()), static_cast<UINT>(-3));

    // Writing creates the file; values and numbers read back.
    ASSERT_TRUE(WritePrivateProfileString("Main", "Name", "\xE4\xB8\xAD first", ini.c_str()));
    ASSERT_TRUE(WritePrivateProfileString("Main", "Count", "42", ini.c_str()));
    ASSERT_TRUE(WritePrivateProfileString("Other", "Name", "second", ini.c_str()));
    EXPECT_EQ(GetPrivateProfileString("Main", "Name", "", buf, sizeof buf, ini.c_str()), 9u);
    EXPECT_STREQ(buf, "\xE4\xB8\xAD first");
    EXPECT_EQ(GetPrivateProfileInt("Main", "Count", 0, ini.c_str()), 42u);
    GetPrivateProfileString("Other", "Name", "", buf, sizeof buf, ini.c_str());
    EXPECT_STREQ(buf, "second");

    // Replacing a value keeps one line for it, in its own section.
    ASSERT_TRUE(WritePrivateProfileString("main", "NAME", "changed", ini.c_str()));
    GetPrivateProfileString("MAIN", "name", "", buf, sizeof buf, ini.c_str());
    EXPECT_STREQ(buf, "changed");
    GetPrivateProfileString("Other", "Name", "", buf, sizeof buf, ini.c_str());
    EXPECT_STREQ(buf, "second");
    std::vector<std::pair<CString, CString>> section;
    ASSERT_TRUE(ReadIniSection(ini.c_str(), "Main", section));
    ASSERT_EQ(section.size(), 2u);
    EXPECT_EQ(section[0].second, "changed");
    EXPECT_EQ(section[1].first, "Count");
    const std::string text = readFile(ini);
    EXPECT_EQ(text.find("[Main]"), text.rfind("[Main]"));

    // Hand-written files: blanks, comments, '=' inside values, CR LF lines.
    writeFile(ini, "; comment=not a key\r\n[ Server ]\r\n  Host = example.org  \r\nUrl=http://h/?a=b\r\n"
                   "Port=abc\r\n[Empty]\r\n");
    GetPrivateProfileString("Server", "Host", "", buf, sizeof buf, ini.c_str());
    EXPECT_STREQ(buf, "example.org");
    GetPrivateProfileString("Server", "Url", "", buf, sizeof buf, ini.c_str());
    EXPECT_STREQ(buf, "http://h/?a=b");
    GetPrivateProfileString("", "; comment", "dflt", buf, sizeof buf, ini.c_str());
    EXPECT_STREQ(buf, "dflt");
    EXPECT_EQ(GetPrivateProfileInt("Server", "Port", 21, ini.c_str()), 21u);
    // A key written into an existing empty section lands in that section.
    ASSERT_TRUE(WritePrivateProfileString("Empty", "k", "v", ini.c_str()));
    ASSERT_TRUE(ReadIniSection(ini.c_str(), "Empty", section));
    ASSERT_EQ(section.size(), 1u);
    EXPECT_EQ(section[0].first, "k");
    GetPrivateProfileString("Server", "Host", "", buf, sizeof buf, ini.c_str());
    EXPECT_STREQ(buf, "example.org");

    // A short buffer gets a cut, terminated value.
    char small[4];
    EXPECT_EQ(GetPrivateProfileString("Server", "Host", "", small, sizeof small, ini.c_str()), 3u);
    EXPECT_STREQ(small, "exa");

    EXPECT_FALSE(ReadIniSection(tmp.file("missing.ini").c_str(), "Main", section));
    EXPECT_TRUE(section.empty());
    EXPECT_FALSE(WritePrivateProfileString("A", "b", "c", tmp.file("no/such/dir.ini").c_str()));
}

TEST(SystemTest, EndpointConfigFromLumIniBesideTheProgram)
{
    TempDir tmp;
    TestServices services;
    services.SetProgramFolder(tmp.path());

    EndpointConfig def = GetEndpointConfig();
    EXPECT_EQ(def.serviceHost, "127.0.0.1");
    EXPECT_EQ(def.servicePort, 21);
    EXPECT_EQ(def.webBaseUrl, "http://127.0.0.1");
    EXPECT_EQ(def.rendezvousHost, "127.0.0.1");
    EXPECT_EQ(def.rendezvousPort, 9839);

    writeFile(tmp.file("Lum.ini"), "[Service]\nHost=10.1.2.3\nPort=9090\n[Web]\nBaseUrl=http://127.0.0.1:8080/\n"
                                   "[Rendezvous]\nHost=rv.local\n");
    EndpointConfig c = GetEndpointConfig();
    EXPECT_EQ(c.serviceHost, "10.1.2.3");
    EXPECT_EQ(c.servicePort, 9090);
    EXPECT_EQ(c.webBaseUrl, "http://127.0.0.1:8080");  // no trailing '/'
    EXPECT_EQ(c.rendezvousHost, "rv.local");
    EXPECT_EQ(c.rendezvousPort, 9839);  // missing key: default

    // Read anew on every call.
    writeFile(tmp.file("Lum.ini"), "[Rendezvous]\nPort=1234\n");
    c = GetEndpointConfig();
    EXPECT_EQ(c.serviceHost, "127.0.0.1");
    EXPECT_EQ(c.rendezvousPort, 1234);
}

// ---------------------------------------------------------------- HTTP

namespace {

// An HTTP server on 127.0.0.1 with an ephemeral port, for one test.
class TestServer {
public:
    TestServer()
    {
        server_.Get("/file", [](const httplib::Request&, httplib::Response& res) {
            res.set_content("first line\nsecond\r\n\nlast", "text/plain");
        });
        server_.Get("/binary", [](const httplib::Request&, httplib::Response& res) {
            std::string body(200000, '\0');
            for (size_t i = 0; i < body.size(); ++i) body[i] = static_cast<char>(i * 7);
            res.set_content(body, "application/octet-stream");
        });
        server_.Get("/moved", [](const httplib::Request&, httplib::Response& res) { res.set_redirect("/file"); });
        // The same bytes without a length (the body ends where the connection
        // closes), in chunks, and in chunks cut short.
        for (const char* path : {"/unsized", "/chunked", "/chunkedcut"})
            server_.Get(path, [path](const httplib::Request&, httplib::Response& res) {
                auto sent = std::make_shared<bool>(false);
                const bool cut = std::string(path) == "/chunkedcut";
                auto provider = [sent, cut](size_t, httplib::DataSink& sink) {
                    if (*sent) {
                        if (!cut) sink.done();
                        return !cut;
                    }
                    *sent = true;
                    sink.write("first line\n", 11);
                    return true;
                };
                if (std::string(path) == "/unsized")
                    res.set_content_provider("text/plain", [sent](size_t, httplib::DataSink& sink) {
                        if (*sent) return false;
                        *sent = true;
                        sink.write("first line\n", 11);
                        return true;
                    });
                else
                    res.set_chunked_content_provider("text/plain", provider);
            });
        port_ = server_.bind_to_any_port("127.0.0.1");
        thread_ = ServeInBackground(server_);
    }
    ~TestServer()
    {
        server_.stop();
        thread_.join();
    }
    std::string url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(port_) + path; }
    int port() const { return port_; }

private:
    httplib::Server server_;
    std::thread thread_;
    int port_ = 0;
};

// A socket bound to a loopback port. With listen, connections are accepted
// by the kernel but never answered; without, the port refuses connections.
class SilentSocket {
public:
    explicit SilentSocket(bool listening)
    {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        addr.sin_port = 0;
        EXPECT_EQ(::bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
        socklen_t len = sizeof addr;
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &len);
        port_ = ntohs(addr.sin_port);
        if (listening) {
            EXPECT_EQ(::listen(fd_, 8), 0);
        }
    }
    ~SilentSocket() { ::close(fd_); }
    std::string url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(port_) + path; }

private:
    int fd_ = -1;
    int port_ = 0;
};

class Progress : public IBindStatusCallback {
public:
    explicit Progress(DWORD abortAfterMs = INFINITE) : abortAfter_(abortAfterMs), start_(GetTickCount()) {}
    HRESULT OnProgress(ULONG, ULONG, ULONG status, LPCWSTR) override
    {
        ++calls;
        if (status == BINDSTATUS_ENDDOWNLOADDATA) ++ends;
        if (abortAfter_ != INFINITE && GetTickCount() - start_ >= abortAfter_) return E_ABORT;
        return S_OK;
    }
    int calls = 0;
    int ends = 0;

private:
    DWORD abortAfter_;
    DWORD start_;
};

}  // namespace

TEST(SystemTest, DownloadToFile)
{
    TestServer server;
    TempDir tmp;

    const std::string target = tmp.file("file.txt");
    EXPECT_EQ(URLDownloadToFile(nullptr, server.url("/file").c_str(), target.c_str(), 0, nullptr), S_OK);
    EXPECT_EQ(readFile(target), "first line\nsecond\r\n\nlast");

    // A larger binary answer arrives intact, replacing an existing file, and
    // the callback hears of it.
    const std::string bin = tmp.file("bin.dat");
    writeFile(bin, "old content that is longer than nothing");
    Progress progress;
    EXPECT_EQ(URLDownloadToFile(nullptr, server.url("/binary").c_str(), bin.c_str(), 0, &progress), S_OK);
    const std::string got = readFile(bin);
    ASSERT_EQ(got.size(), 200000u);
    bool same = true;
    for (size_t i = 0; i < got.size(); ++i) same = same && got[i] == static_cast<char>(i * 7);
    EXPECT_TRUE(same);
    EXPECT_GT(progress.calls, 0);
    EXPECT_EQ(progress.ends, 1);

    // An answer whose end the server did not mark is told apart: it may have
    // been cut short. Chunks up to the last one are whole; chunks cut short
    // fail.
    EXPECT_EQ(URLDownloadToFile(nullptr, server.url("/unsized").c_str(), target.c_str(), 0, nullptr), S_FALSE);
    EXPECT_EQ(readFile(target), "first line\n");
    EXPECT_EQ(URLDownloadToFile(nullptr, server.url("/chunked").c_str(), target.c_str(), 0, nullptr), S_OK);
    EXPECT_EQ(readFile(target), "first line\n");
    EXPECT_EQ(URLDownloadToFile(nullptr, server.url("/chunkedcut").c_str(), target.c_str(), 0, nullptr), E_FAIL);

    // Redirects are followed.
    EXPECT_EQ(URLDownloadToFile(nullptr, server.url("/moved").c_str(), target.c_str(), 0, nullptr), S_OK);
    EXPECT_EQ(readFile(target), "first line\nsecond\r\n\nlast");

    // 404 is a failure, not a file holding the error page.
    const std::string missing = tmp.file("missing.png");
    EXPECT_NE(URLDownloadToFile(nullptr, server.url("/nothing.png").c_str(), missing.c_str(), 0, nullptr), S_OK);
    std::string rest;
    if (ReadWholeFile(missing.c_str(), rest)) {
        EXPECT_TRUE(rest.empty());
    }

    // A target that cannot be created, and bad arguments.
    EXPECT_NE(URLDownloadToFile(nullptr, server.url("/file").c_str(), tmp.file("no/dir/x").c_str(), 0, nullptr),
              S_OK);
    EXPECT_NE(URLDownloadToFile(nullptr, nullptr, target.c_str(), 0, nullptr), S_OK);
    EXPECT_NE(URLDownloadToFile(nullptr, server.url("/file").c_str(), nullptr, 0, nullptr), S_OK);
}

TEST(SystemTest, DownloadFromUnreachableOrSilentServer)
{
    TempDir tmp;
    const std::string target = tmp.file("x");

    // Nobody listens: fails at once.
    {
        SilentSocket refused(false);
        DWORD start = GetTickCount();
        EXPECT_NE(URLDownloadToFile(nullptr, refused.url("/x").c_str(), target.c_str(), 0, nullptr), S_OK);
        EXPECT_LT(GetTickCount() - start, 5000u);
    }

    // The server accepts and never answers: a caller's callback can give up,
    // and the download ends with E_ABORT soon after.
    {
        SilentSocket silent(true);
        Progress progress(300);
        DWORD start = GetTickCount();
        EXPECT_EQ(URLDownloadToFile(nullptr, silent.url("/x").c_str(), target.c_str(), 0, &progress), E_ABORT);
        EXPECT_LT(GetTickCount() - start, 5000u);
        EXPECT_EQ(progress.ends, 0);
    }
}

TEST(SystemTest, InternetSessionOpenUrl)
{
    TestServer server;
    CInternetSession session;

    std::unique_ptr<CHttpFile> file(session.OpenURL(server.url("/file").c_str()));
    ASSERT_NE(file, nullptr);
    DWORD status = 0;
    EXPECT_TRUE(file->QueryInfoStatusCode(status));
    EXPECT_EQ(status, 200u);
    CString code;
    EXPECT_TRUE(file->QueryInfo(HTTP_QUERY_STATUS_CODE, code));
    EXPECT_EQ(code, "200");
    // Lines come without their line breaks (LF or CR LF); empty lines count.
    CString line;
    EXPECT_TRUE(file->ReadString(line));
    EXPECT_EQ(line, "first line");
    EXPECT_TRUE(file->ReadString(line));
    EXPECT_EQ(line, "second");
    EXPECT_TRUE(file->ReadString(line));
    EXPECT_EQ(line, "");
    EXPECT_TRUE(file->ReadString(line));
    EXPECT_EQ(line, "last");
    EXPECT_FALSE(file->ReadString(line));
    EXPECT_TRUE(line.IsEmpty());
    char buf[8];
    EXPECT_EQ(file->Read(buf, sizeof buf), 0u);
    file->Close();

    // Read hands out the body in pieces.
    file.reset(session.OpenURL(server.url("/file").c_str()));
    ASSERT_NE(file, nullptr);
    std::string body;
    for (UINT n; (n = file->Read(buf, sizeof buf)) > 0;) body.append(buf, n);
    EXPECT_EQ(body, "first line\nsecond\r\n\nlast");

    // A 404 still opens, with its status.
    file.reset(session.OpenURL(server.url("/nothing").c_str()));
    ASSERT_NE(file, nullptr);
    EXPECT_TRUE(file->QueryInfoStatusCode(status));
    EXPECT_EQ(status, 404u);

    // Nobody listening: no file.
    {
        SilentSocket refused(false);
        DWORD start = GetTickCount();
        EXPECT_EQ(session.OpenURL(refused.url("/x").c_str()), nullptr);
        EXPECT_LT(GetTickCount() - start, 5000u);
    }
    EXPECT_EQ(session.OpenURL(nullptr), nullptr);
    EXPECT_EQ(session.OpenURL("not a url"), nullptr);
    session.Close();
}

TEST(SystemTest, SoundsNeverStopTheCaller)
{
    // A missing file, or a machine without a sound server, only answers FALSE.
    EXPECT_FALSE(PlaySound("/nonexistent/MsgSound.wav", nullptr, SND_FILENAME | SND_NODEFAULT | SND_ASYNC));
    EXPECT_FALSE(PlaySound("/tmp", nullptr, SND_FILENAME | SND_ASYNC));
    TestServices services;
    std::vector<std::string> heard;
    services.SetSound([&](const char* file) { heard.push_back(file); });
    EXPECT_TRUE(PlaySound("/x/voice/MsgSound.wav", nullptr, SND_FILENAME | SND_NODEFAULT | SND_ASYNC));
    EXPECT_EQ(heard, std::vector<std::string>{"/x/voice/MsgSound.wav"});
}
