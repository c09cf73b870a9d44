// Threads, events, critical sections and tick counts.
//
// Handles returned here (events, threads) live in one process-wide table and
// are released with CloseHandle. A thread's handle is signalled when the
// thread ends, so WaitForSingleObject can wait for it.
#pragma once

#include "platform/types.h"

struct CRITICAL_SECTION {
    void* impl = nullptr;
};
void InitializeCriticalSection(CRITICAL_SECTION* cs);
void EnterCriticalSection(CRITICAL_SECTION* cs);
void LeaveCriticalSection(CRITICAL_SECTION* cs);
void DeleteCriticalSection(CRITICAL_SECTION* cs);

#define INFINITE 0xFFFFFFFFu
#define WAIT_OBJECT_0 0u
#define WAIT_TIMEOUT 258u
#define WAIT_FAILED 0xFFFFFFFFu

HANDLE CreateEvent(void* securityAttributes, BOOL manualReset, BOOL initialState, LPCSTR name);
BOOL SetEvent(HANDLE event);
BOOL ResetEvent(HANDLE event);
DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds);
BOOL CloseHandle(HANDLE handle);

void Sleep(DWORD milliseconds);
// Milliseconds since an arbitrary fixed point, wrapping at 2^32.
DWORD GetTickCount();
DWORD GetCurrentThreadId();

typedef UINT (*AFX_THREADPROC)(LPVOID);

#define THREAD_PRIORITY_NORMAL 0
#define CREATE_SUSPENDED 0x4

// A worker thread started by AfxBeginThread. With m_bAutoDelete (the
// default) the object and its handle go when the thread ends; a caller that
// waits on m_hThread must do so before then (or be waiting already).
class CWinThread {
public:
    HANDLE m_hThread = nullptr;
    DWORD m_nThreadID = 0;
    BOOL m_bAutoDelete = TRUE;
};

// Starts `proc(param)` on a new thread. Returns null when no thread could be
// made. Priority, stack size and security are accepted and ignored; a
// suspended start is not offered.
CWinThread* AfxBeginThread(AFX_THREADPROC proc, LPVOID param, int priority = THREAD_PRIORITY_NORMAL,
                           UINT stackSize = 0, DWORD flags = 0, void* securityAttributes = nullptr);

namespace lumui {
// How many threads AfxBeginThread started on `proc` are still running it,
// for tests that wait until the work they set off has ended; without a
// procedure, on any.
int RunningThreads(AFX_THREADPROC proc);
int RunningThreads();
}  // namespace lumui
