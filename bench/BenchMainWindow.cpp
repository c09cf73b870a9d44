#include "bench/BenchMainWindow.h"

#include "Lum/LumResource.h"
#include "platform/files.h"
#include "platform/uiapp.h"

#include <cstdio>
#include <fstream>

#include <unistd.h>

BenchMainWindow::BenchMainWindow(const std::string& name)
    : folder_(std::filesystem::temp_directory_path() / ("lum-bench-" + name + "-" + std::to_string(getpid())))
{
    std::filesystem::create_directories(folder_);
}

bool BenchMainWindow::Open(const std::string& webBaseUrl, int ownId, Heartbeat heartbeat)
{
    {
        // Nothing listens on port 1: service calls fail at once.
        std::ofstream ini(folder_ / "Lum.ini");
        ini << "[Service]\nHost=127.0.0.1\nPort=1\n[Web]\nBaseUrl=" << webBaseUrl << "\n";
    }
    services_.SetProgramFolder(folder_.string() + "/");
    services_.SetExitWaitMs(20);
    CKivUsersListCtrl::s_loadHead = [](CDataUser*) {};
    CKivGroupListCtrl::s_loadHead = [](CDataGroup*) {};
    CKivGroupListCtrl::s_storeGroup = [](CDataGroup*, void*) {};
    services_.SetMessageBox([](HWND, const CString&, const CString&, UINT) { return IDOK; });

    app = std::make_unique<CKivApp>();
    main = std::make_unique<CKivDlg>();
    app->m_pMainWnd = main.get();
    if (!main->Create(IDD_KIV_DIALOG, nullptr)) {
        std::fprintf(stderr, "cannot create the main window\n");
        return false;
    }
    if (heartbeat == Heartbeat::kStop) main->KillTimer(2023);
    app->SetOwnUserId(ownId);
    app->m_userSelf.m_nId = ownId;
    main->ConnectUserStores(ownId);
    return true;
}

void BenchMainWindow::Show()
{
    if (main->m_dlgLogin.m_hWnd) main->m_dlgLogin.ShowWindow(SW_HIDE);
    main->m_layered.RemoveLayeredStyle(main->m_hWnd);
    main->ShowWindow(SW_SHOW);
}

void BenchMainWindow::Close()
{
    // Workers reach the main window through m_pMainWnd: it is cleared before
    // the window goes.
    app->m_pMainWnd = nullptr;
    main->DestroyWindow();
    main.reset();
    // What was posted meanwhile is handled before the application object
    // goes; message boxes stay answered until then.
    std::error_code ec;
    lumui::Pump(50);
    app.reset();
    std::filesystem::remove_all(folder_, ec);
}
