// A feature plug-in for the plug-in host's tests. It exports the functions
// the main window calls (with their argument lists), writes one line per
// call to "plugin.log" in the program folder (the log outlives the module),
// keeps one frame window as a plug-in's application object does, and embeds
// a text resource of its own.
#include "platform/CString.h"
#include "platform/config.h"
#include "platform/resources.h"
#include "platform/window.h"
#include "plugins/Bellwick/BellwickExports.h"
#include "plugins/Parlet/ParletExports.h"
#include "plugins/Prefor/PreforExports.h"
#include "plugins/Quillon/QuillonExports.h"
#include "plugins/common/PluginExports.h"
#include "tests/Lum/TestPluginExports.h"

#include <cstdio>
#include <stdexcept>
#include <string>

namespace {

// Only into a log the test made: nothing is written once a test has ended.
void Log(const CString& line)
{
    const CString path = GetProgramFolder() + "plugin.log";
    FILE* exists = std::fopen(path, "r");
    if (!exists) return;
    std::fclose(exists);
    FILE* f = std::fopen(path, "a");
    if (!f) return;
    std::fprintf(f, "%s\n", line.GetString());
    std::fclose(f);
}

// The plug-in's window class: its code lives in this module.
class CTestPluginWnd : public CWnd {
public:
    explicit CTestPluginWnd(bool heap = false) : m_bHeap(heap) {}
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        if (message == WM_DESTROY) Log("destroyed " + m_strName);
        return CWnd::WindowProc(message, wParam, lParam);
    }
    void PostNcDestroy() override
    {
        if (m_bHeap) delete this;
    }
    CString m_strName;

private:
    bool m_bHeap;
};

// A window that refuses DestroyWindow until it is sent WM_APP + 1.
class CStubbornWnd : public CWnd {
public:
    BOOL DestroyWindow() override { return m_bMayGo ? CWnd::DestroyWindow() : FALSE; }
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        if (message == WM_APP + 1) {
            m_bMayGo = true;
            DestroyWindow();
            return 1;
        }
        return CWnd::WindowProc(message, wParam, lParam);
    }
    void PostNcDestroy() override { delete this; }

private:
    bool m_bMayGo = false;
};

// The frame object lives as long as the module; only its window comes and goes.
CTestPluginWnd g_frame;

struct Lifetime {
    Lifetime() { Log("loaded"); }
    ~Lifetime() { Log("unloaded"); }
} g_lifetime;

void ShowFrame(const CString& name)
{
    AFX_MANAGE_STATE(AfxGetStaticModuleState());
    if (g_frame.m_hWnd) g_frame.DestroyWindow();
    g_frame.m_strName = name;
    g_frame.CreateEx(0, nullptr, name, WS_POPUP | WS_VISIBLE, 10, 10, 200, 100, nullptr, 0);
}

CString Pointer(const void* p)
{
    CString text;
    text.Format("%p", p);
    return text;
}

}  // namespace

#define TEST_EXPORT __attribute__((visibility("default")))

extern "C" {

// Declared from the modules' headers: the stand-ins have the types the
// client calls the real modules' functions through.
TEST_EXPORT decltype(PreforExports::Show)::Function Show;
TEST_EXPORT decltype(PreforExports::ShowBlackList)::Function ShowBlackList;
TEST_EXPORT decltype(QuillonExports::showQuillon)::Function showQuillon;
TEST_EXPORT decltype(QuillonExports::showHisMsg)::Function showHisMsg;
TEST_EXPORT decltype(BellwickExports::showFastSmsNotify)::Function showFastSmsNotify;
TEST_EXPORT decltype(ParletExports::showMsgCenter)::Function showMsgCenter;
TEST_EXPORT decltype(PluginExports::ExitInstance)::Function ExitInstance;
TEST_EXPORT decltype(PluginExports::DllPreTranslateMessage)::Function DllPreTranslateMessage;
TEST_EXPORT decltype(TestPluginExports::TestModuleHandle)::Function TestModuleHandle;
TEST_EXPORT decltype(TestPluginExports::TestResourceHandleInside)::Function TestResourceHandleInside;
TEST_EXPORT decltype(TestPluginExports::TestFrameWindow)::Function TestFrameWindow;

// Prefor's settings: own id, system store, main window.
TEST_EXPORT int Show(int ownId, CFileDbSys* sysStore, HWND main)
{
    CString line;
    line.Format("Show %d %s %s", ownId, Pointer(sysStore).GetString(), Pointer(main).GetString());
    Log(line);
    ShowFrame("frame");
    return 0;
}

// Prefor's black list: leaves a window that ExitInstance does not know.
TEST_EXPORT int ShowBlackList(int ownId, CFileDbSys*, HWND)
{
    AFX_MANAGE_STATE(AfxGetStaticModuleState());
    Log("ShowBlackList " + CString(std::to_string(ownId).c_str()));
    auto* stray = new CTestPluginWnd(true);
    stray->m_strName = "stray";
    stray->CreateEx(0, nullptr, "stray", WS_POPUP | WS_VISIBLE, 20, 20, 100, 50, nullptr, 0);
    return 0;
}

// Quillon.
TEST_EXPORT void showQuillon(CFileDbMsg* msgStore, CFileDbUser* userStore, int ownId)
{
    Log("showQuillon " + Pointer(msgStore) + " " + Pointer(userStore) + " " + CString(std::to_string(ownId).c_str()));
}

TEST_EXPORT void showHisMsg(CFileDbMsg* msgStore, CFileDbUser* userStore, int id, CString name, int kind)
{
    CString line;
    line.Format("showHisMsg %s %s %d [%s] %d", Pointer(msgStore).GetString(), Pointer(userStore).GetString(), id,
                name.GetString(), kind);
    Log(line);
}

// Bellwick.
TEST_EXPORT void showFastSmsNotify(int ownId, CString account, int id, CString name, int type, CString verify)
{
    CString line;
    line.Format("showFastSmsNotify %d [%s] %d [%s] %d [%s]", ownId, account.GetString(), id, name.GetString(), type,
                verify.GetString());
    Log(line);
}

// Parlet: a window that only goes when asked, to show that the host never
// unloads code a window still runs.
TEST_EXPORT void showMsgCenter(std::list<CData*>* list, HWND main)
{
    AFX_MANAGE_STATE(AfxGetStaticModuleState());
    Log("showMsgCenter " + Pointer(list) + " " + Pointer(main));
    auto* stubborn = new CStubbornWnd;
    stubborn->CreateEx(0, nullptr, "stubborn", WS_POPUP, 30, 30, 100, 50, nullptr, 0);
}

// The contract's fixed exports.
TEST_EXPORT void ExitInstance()
{
    AFX_MANAGE_STATE(AfxGetStaticModuleState());
    Log("ExitInstance");
    if (g_frame.m_hWnd) {
        g_frame.CloseWindow();
        g_frame.DestroyWindow();
    }
}

// Consumes WM_APP + 7; throws for WM_APP + 8.
TEST_EXPORT BOOL DllPreTranslateMessage(MSG* msg)
{
    AFX_MANAGE_STATE(AfxGetStaticModuleState());
    if (msg && msg->message == WM_APP + 8) throw std::runtime_error("plug-in failure");
    return msg && msg->message == WM_APP + 7 ? 1 : 0;
}

// For the tests: the module's own handle and its resource handle while an
// export runs.
TEST_EXPORT HMODULE TestModuleHandle()
{
    return AfxGetInstanceHandle();
}

TEST_EXPORT HINSTANCE TestResourceHandleInside()
{
    AFX_MANAGE_STATE(AfxGetStaticModuleState());
    return AfxGetResourceHandle();
}

TEST_EXPORT HWND TestFrameWindow()
{
    return g_frame.m_hWnd;
}

}  // extern "C"
