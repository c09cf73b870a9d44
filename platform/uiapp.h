// The application object and the UI thread.
//
// The program's entry creates the toolkit, makes the calling thread the UI
// thread and runs the application object's InitInstance, which usually runs
// the main window as a modal dialog. Tests start the UI the same way with
// lumui::Start and drive the loop with lumui::Pump.
#pragma once

#include "platform/window.h"

#include <functional>

class CWinApp {
public:
    CWinApp();
    virtual ~CWinApp();
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    virtual BOOL InitInstance() { return TRUE; }
    virtual int ExitInstance() { return 0; }
    virtual BOOL PreTranslateMessage(MSG* msg);
    void SetRegistryKey(LPCTSTR) {}

    CWnd* m_pMainWnd = nullptr;
};

CWinApp* AfxGetApp();
CWnd* AfxGetMainWnd();
BOOL AfxSocketInit();
void AfxEnableControlContainer();
BOOL InitCommonControlsEx(const void* init);

// Runs the program: starts the UI, calls the application object's
// InitInstance and, when it returns TRUE, ExitInstance; returns the exit code.
int AfxWinMain(int argc, char** argv);

namespace lumui {
// Starts the toolkit on the calling thread, which becomes the UI thread.
// Safe to call more than once. False when there is no display.
bool Start(int argc = 0, char** argv = nullptr);
bool IsUiThread();
// Processes pending events and messages for about `ms` milliseconds (0: only
// what is pending now).
void Pump(int ms = 0);
// Pumps until `done` returns true or `timeoutMs` passes; returns done().
bool PumpUntil(const std::function<bool()>& done, int timeoutMs = 5000);
// Runs `work` on the UI thread and waits for it (directly when called there).
void RunOnUiThread(const std::function<void()>& work);
// Queues `work` for the UI thread without waiting. Queued work, posted
// messages and messages sent from other threads run in the order they came,
// a few milliseconds at a time, with painting and input handled in between.
void QueueOnUiThread(std::function<void()> work);
// Milliseconds the UI thread has spent waiting for events in its loop since
// the first call (which starts the count), for probes of the UI thread in
// tests and benchmarks: the time between two ticks of a timer less this time
// is the time the loop was busy, or stopped in a handler.
double UiLoopWaitMs();
}  // namespace lumui

namespace lumui {
// Synthetic input for tests: the same path as the pointer and keyboard take.
// Points are in screen coordinates.
void SendMouse(HWND target, UINT message, int screenX, int screenY, UINT keys = 0);
void SendKey(HWND target, UINT vk);
// The window and its children as shown, composed from their back buffers
// (ARGB). Returns false when the window is gone or the file cannot be written.
bool SaveWindowImage(HWND hwnd, const char* pngPath);
// The whole screen as the display server shows it (PNG), for pictures of
// windows in their place (docking, several windows).
bool SaveScreenImage(const char* pngPath);
// One pixel of the composed window image, as 0xAARRGGBB (0 when outside).
DWORD WindowPixel(HWND hwnd, int x, int y);
// Whether the window's top-level window is on the screen where the program
// put it: mapped by the window manager and at the place the layer has for it
// (a window manager maps and places new windows a little later). Tests wait
// for this before they click with the display's pointer.
bool IsOnScreen(HWND hwnd);
// The display's id of a top-level window (an X window), for tests that drive
// it through the display and its window manager; 0 when there is none.
unsigned long NativeWindowId(HWND hwnd);
// How many of the toolkit's internal checks have failed in this process. The
// layer reports each on standard error instead of stopping the program.
int ToolkitAssertions();
// One pixel of the screen as the display server shows it (with what web
// pages drew), as 0xRRGGBB; 0 when outside the screen.
DWORD ScreenPixel(int x, int y);
}  // namespace lumui
