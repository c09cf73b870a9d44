// The client's real main window, offline, for the benchmarks that drive it
// in-process: a program folder of its own in the temporary folder, a Lum.ini
// that points the service at a port nobody listens on (1) and the web at a
// given address, head loading and group store writes turned off, message
// boxes answered with OK, and the application object and main window made.
#pragma once

#include "Lum/KivApp.h"
#include "Lum/KivDlg.h"
#include "tests/platform/TestServices.h"

#include <filesystem>
#include <memory>
#include <string>

class BenchMainWindow {
public:
    // Makes the folder "lum-bench-<name>-<pid>" in the temporary folder.
    explicit BenchMainWindow(const std::string& name);

    // Whether the main window keeps its heartbeat timer (its calls fail at
    // once) or has it stopped, for a benchmark that wants no calls at all.
    enum class Heartbeat { kKeep, kStop };
    // Writes Lum.ini with `webBaseUrl`, makes the folder the program folder,
    // answers message boxes, shortens the exit wait and creates the main
    // window with `ownId` as the own user id, its stores connected. False
    // (after a line on stderr) when the window cannot be made.
    bool Open(const std::string& webBaseUrl, int ownId, Heartbeat heartbeat = Heartbeat::kKeep);
    // Hides the login window, drops the layered style and shows the main
    // window, as it is after a login.
    void Show();
    // Destroys the main window and the application object and removes the
    // folder.
    void Close();

    const std::filesystem::path& Folder() const { return folder_; }

    std::unique_ptr<CKivApp> app;
    std::unique_ptr<CKivDlg> main;

private:
    std::filesystem::path folder_;
    TestServices services_;
};
