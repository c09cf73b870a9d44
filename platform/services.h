// What the program asks of the desktop and the machine around it, in one
// place: message boxes, sounds, the common dialogs (folder, file, colour),
// opening documents and addresses, starting programs, the program's own
// folder, and how long the main window waits, when it shuts down, for its
// goodbye to the service to go out.
//
// The system's own services (SystemServices) are installed from the start.
// The layer's functions (MessageBox, PlaySound, BrowseForFolder, CFileDialog,
// CColorDialog, ShellExecute, WinExec, GetModuleFileName) and the client ask
// whichever services are installed at the time of the call. Tests install
// services of their own in one call (InstallServices), which hands back the
// ones they replace, and install those again when they are done.
#pragma once

#include "platform/CString.h"
#include "platform/windef.h"

#include <memory>

class CFileDialog;

namespace lumui {

class Services {
public:
    virtual ~Services() = default;

    // A message box over `owner` with `text`, `caption` and the MB_ flags in
    // `type`; returns the button chosen (IDOK, IDCANCEL, IDYES, IDNO). Asked
    // on the UI thread.
    virtual int ShowMessageBox(HWND owner, const CString& text, const CString& caption, UINT type) = 0;
    // Plays the sound file `file` without waiting for its end; FALSE when it
    // is missing or cannot be played.
    virtual BOOL PlaySoundFile(const char* file) = 0;
    // The folder browser titled `title`: the chosen folder (without a
    // trailing separator), "" when cancelled.
    virtual CString ChooseFolder(HWND owner, const CString& title) = 0;
    // The open or save dialog `dialog` describes: the chosen file's full
    // path, "" when cancelled.
    virtual CString ChooseFile(const CFileDialog& dialog) = 0;
    // The colour dialog showing `color` first: IDOK with the chosen colour
    // in `color`, or IDCANCEL with `color` as it was.
    virtual int ChooseColor(HWND owner, COLORREF& color) = 0;
    // Opens `file`, an address or a path (relative to `dir` when given),
    // with the desktop's handler, without waiting for it: ShellExecute's
    // result (above 32 when it started, SE_ERR_FNF for a missing file,
    // SE_ERR_NOASSOC when it cannot be opened).
    virtual int OpenWithDesktop(const CString& verb, const CString& file, const CString& params, const CString& dir,
                                int show) = 0;
    // Starts the program of `commandLine` without waiting for it: WinExec's
    // result (above 31 when it started).
    virtual UINT StartProgram(const CString& commandLine, UINT show) = 0;
    // The folder of the running program, ending in '/' ("" when it cannot
    // be told). Stores, downloads and Lum.ini live there.
    virtual CString ProgramFolder() = 0;
    // Milliseconds the main window waits, when it shuts down, after starting
    // its goodbye call to the service.
    virtual DWORD ExitWaitMs() = 0;
};

// The desktop's own services: the toolkit's dialogs, the sound server, the
// desktop's handler (xdg-open), real processes, the executable's folder.
class SystemServices : public Services {
public:
    int ShowMessageBox(HWND owner, const CString& text, const CString& caption, UINT type) override;
    BOOL PlaySoundFile(const char* file) override;
    CString ChooseFolder(HWND owner, const CString& title) override;
    CString ChooseFile(const CFileDialog& dialog) override;
    int ChooseColor(HWND owner, COLORREF& color) override;
    int OpenWithDesktop(const CString& verb, const CString& file, const CString& params, const CString& dir,
                        int show) override;
    UINT StartProgram(const CString& commandLine, UINT show) override;
    CString ProgramFolder() override;
    DWORD ExitWaitMs() override;
};

// The services installed now. The caller's pointer keeps them alive for its
// call, even when other services are installed meanwhile.
std::shared_ptr<Services> GetServices();

// Installs `services` in place of the current ones (null: the system's own)
// and returns the ones it replaced.
std::shared_ptr<Services> InstallServices(std::shared_ptr<Services> services);

}  // namespace lumui
