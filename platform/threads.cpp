#include "platform/threads.h"

#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

struct Event {
    std::mutex m;
    std::condition_variable cv;
    bool manualReset = true;
    bool signalled = false;
};

std::mutex g_handlesLock;
std::map<uintptr_t, std::shared_ptr<Event>> g_handles;
uintptr_t g_nextHandle = 0x1000;

HANDLE addHandle(std::shared_ptr<Event> e)
{
    std::lock_guard<std::mutex> lock(g_handlesLock);
    uintptr_t h = g_nextHandle;
    g_nextHandle += 4;
    g_handles.emplace(h, std::move(e));
    return reinterpret_cast<HANDLE>(h);
}

std::shared_ptr<Event> findHandle(HANDLE h)
{
    std::lock_guard<std::mutex> lock(g_handlesLock);
    auto it = g_handles.find(reinterpret_cast<uintptr_t>(h));
    return it == g_handles.end() ? nullptr : it->second;
}

void signal(const std::shared_ptr<Event>& e)
{
    {
        std::lock_guard<std::mutex> lock(e->m);
        e->signalled = true;
    }
    e->cv.notify_all();
}

// Closes the handle first and then wakes whoever already waits on it, so that
// a waiter woken by the end of an auto-deleting thread finds it closed.
void closeAndSignal(HANDLE h)
{
    std::shared_ptr<Event> e;
    {
        std::lock_guard<std::mutex> lock(g_handlesLock);
        auto it = g_handles.find(reinterpret_cast<uintptr_t>(h));
        if (it == g_handles.end()) return;
        e = it->second;
        g_handles.erase(it);
    }
    signal(e);
}

}  // namespace

void InitializeCriticalSection(CRITICAL_SECTION* cs)
{
    if (cs) cs->impl = new std::recursive_mutex;
}

void EnterCriticalSection(CRITICAL_SECTION* cs)
{
    if (cs && cs->impl) static_cast<std::recursive_mutex*>(cs->impl)->lock();
}

void LeaveCriticalSection(CRITICAL_SECTION* cs)
{
    if (cs && cs->impl) static_cast<std::recursive_mutex*>(cs->impl)->unlock();
}

void DeleteCriticalSection(CRITICAL_SECTION* cs)
{
    if (!cs) return;
    delete static_cast<std::recursive_mutex*>(cs->impl);
    cs->impl = nullptr;
}

HANDLE CreateEvent(void*, BOOL manualReset, BOOL initialState, LPCSTR)
{
    auto e = std::make_shared<Event>();
    e->manualReset = manualReset != FALSE;
    e->signalled = initialState != FALSE;
    return addHandle(std::move(e));
}

BOOL SetEvent(HANDLE event)
{
    auto e = findHandle(event);
    if (!e) return FALSE;
    signal(e);
    return TRUE;
}

BOOL ResetEvent(HANDLE event)
{
    auto e = findHandle(event);
    if (!e) return FALSE;
    std::lock_guard<std::mutex> lock(e->m);
    e->signalled = false;
    return TRUE;
}

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds)
{
    auto e = findHandle(handle);
    if (!e) return WAIT_FAILED;
    std::unique_lock<std::mutex> lock(e->m);
    auto ready = [&] { return e->signalled; };
    if (milliseconds == INFINITE) {
        e->cv.wait(lock, ready);
    } else if (!e->cv.wait_for(lock, std::chrono::milliseconds(milliseconds), ready)) {
        return WAIT_TIMEOUT;
    }
    if (!e->manualReset) e->signalled = false;
    return WAIT_OBJECT_0;
}

BOOL CloseHandle(HANDLE handle)
{
    std::lock_guard<std::mutex> lock(g_handlesLock);
    return g_handles.erase(reinterpret_cast<uintptr_t>(handle)) ? TRUE : FALSE;
}

void Sleep(DWORD milliseconds)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

DWORD GetTickCount()
{
    using namespace std::chrono;
    return static_cast<DWORD>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

DWORD GetCurrentThreadId()
{
    return static_cast<DWORD>(::syscall(SYS_gettid));
}

namespace {

// The threads running each procedure started by AfxBeginThread.
std::mutex g_runningLock;
std::map<AFX_THREADPROC, int> g_running;

void countRunning(AFX_THREADPROC proc, int change)
{
    std::lock_guard<std::mutex> lock(g_runningLock);
    if ((g_running[proc] += change) == 0) g_running.erase(proc);
}

}  // namespace

int lumui::RunningThreads(AFX_THREADPROC proc)
{
    std::lock_guard<std::mutex> lock(g_runningLock);
    auto it = g_running.find(proc);
    return it == g_running.end() ? 0 : it->second;
}

int lumui::RunningThreads()
{
    std::lock_guard<std::mutex> lock(g_runningLock);
    int n = 0;
    for (const auto& entry : g_running) n += entry.second;
    return n;
}

CWinThread* AfxBeginThread(AFX_THREADPROC proc, LPVOID param, int, UINT, DWORD flags, void*)
{
    if (!proc || (flags & CREATE_SUSPENDED)) return nullptr;
    auto* t = new CWinThread;
    t->m_hThread = CreateEvent(nullptr, TRUE, FALSE, nullptr);
    HANDLE done = t->m_hThread;
    // Counted from the start, so that the caller sees it at once.
    countRunning(proc, 1);
    // The caller does not wait for the thread to be scheduled: a list that
    // starts a download per contact starts a thousand of them at once. The
    // thread records its own id as its first step.
    try {
        std::thread th([t, proc, param, done] {
            t->m_nThreadID = GetCurrentThreadId();
            proc(param);
            countRunning(proc, -1);
            const bool autoDelete = t->m_bAutoDelete != FALSE;
            // An auto-deleting thread takes its object and handle with it; a
            // caller already waiting on the handle is still woken.
            if (autoDelete) {
                delete t;
                closeAndSignal(done);
            } else {
                SetEvent(done);
            }
        });
        th.detach();
    } catch (...) {
        countRunning(proc, -1);
        CloseHandle(done);
        delete t;
        return nullptr;
    }
    return t;
}
