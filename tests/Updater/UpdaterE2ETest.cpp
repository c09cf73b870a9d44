// The real client and updater from a copy of the build: the client starts the
// updater, which finds the client out of date, downloads the new one, stops
// the running client, puts the new one in place and starts it again.
#include "Updater/UpdaterFiles.h"

#include "platform/process.h"
#include "platform/uiapp.h"
#include "platform/version.h"
#include "tests/Updater/UpdaterFixture.h"
#include "tests/e2e/Desktop.h"
#include "tests/platform/TempDir.h"
#include "tests/standin/StandinWeb.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <set>
#include <thread>

namespace {

namespace fs = std::filesystem;
using namespace updatertest;

const int kDialogWidth = 320, kDialogHeight = 330;

using e2e::kLoginHeight;
using e2e::kLoginWidth;
using e2e::waitFor;

// The program's bytes with its product version text replaced by another of
// the same length.
std::string WithVersion(const std::string& program, const std::string& from, const std::string& to)
{
    std::string bytes = ReadFile(program);
    const std::string record = std::string("LUMV\x04\x08\xb0\x04", 8) + from + std::string(1, '\0');
    size_t at = bytes.find(record);
    if (at == std::string::npos || from.size() != to.size()) return std::string();
    bytes.replace(at + 8, to.size(), to);
    return bytes;
}

std::string VersionOf(const std::string& path)
{
    return ReadFileProductVersion(path.c_str()).GetString();
}

class UpdaterE2ETest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(lumui::Start());
        fs::create_directories(LUM_SCREENSHOT_DIR);
        fs::create_directories(www_.file("download"));
        ASSERT_GT(web_.Start(0, www_.path()), 0);
    }
    void TearDown() override
    {
        // Whatever still runs from the copy: the restarted client and the
        // updater it started.
        if (!folder_.empty()) {
            for (const char* program : {"/Lum", "/Updater"})
                for (DWORD pid : FindProgramProcesses((folder_ + program).c_str())) EndProcessGently(pid, 1000);
        }
        e2e::Stop(client_, 500);
        web_.Stop();
        if (!folder_.empty()) fs::remove_all(folder_);
    }
    void Screenshot(const std::string& name)
    {
        EXPECT_TRUE(lumui::SaveScreenImage((std::string(LUM_SCREENSHOT_DIR) + "/" + name).c_str()));
    }

    TempDir www_;
    standin::StandinWeb web_;
    std::string folder_;
    pid_t client_ = -1;
};

TEST_F(UpdaterE2ETest, AnOutdatedClientIsReplacedAndStartedAgain)
{
    const std::string current = std::string(LUM_BIN_DIR) + "/Lum";
    ASSERT_EQ(VersionOf(current), "1.0.0.3");
    // The server has this build's client; the installed copy is one version older.
    fs::copy_file(current, www_.file("download/Lum"));
    const std::string fresh = ReadFile(current);
    WriteFile(www_.file("download/updater.ini"), "[Kiv_PC]\nLum=1.0.0.3\n[Kiv_PC_Size]\nLum=" +
                                                     std::to_string(fresh.size()) + "\n[Kiv_PC_MD5]\nLum=" +
                                                     FileMd5(current.c_str()).str() + "\n");
    folder_ = e2e::CopyProgramFolder(LUM_BIN_DIR);
    ASSERT_FALSE(folder_.empty());
    ASSERT_TRUE(fs::exists(folder_ + "/Updater"));
    const std::string old = WithVersion(current, "1.0.0.3", "1.0.0.2");
    ASSERT_FALSE(old.empty());
    WriteFile(folder_ + "/Lum", old);
    fs::permissions(folder_ + "/Lum", fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec);
    ASSERT_EQ(VersionOf(folder_ + "/Lum"), "1.0.0.2");
    WriteFile(folder_ + "/Lum.ini", "[Service]\nHost=127.0.0.1\nPort=1\n[Web]\nBaseUrl=" + web_.BaseUrl() + "\n");

    // The client starts the updater, which shows the one file to update.
    client_ = e2e::Start(folder_ + "/Lum");
    ASSERT_GT(client_, 0);
    e2e::ScreenWindow dialog;
    ASSERT_TRUE(e2e::WaitForWindow(kDialogWidth, kDialogHeight, 20000, &dialog));
    EXPECT_EQ(e2e::Title(dialog.id), "Orvane更新");
    ASSERT_TRUE(e2e::WaitForWindow(kLoginWidth, kLoginHeight, 20000, nullptr));
    ASSERT_TRUE(e2e::MoveWindow(dialog, 400, 100));
    Screenshot("updater_e2e_start.png");

    // Start: the running client is named; OK lets the update stop it.
    const std::set<unsigned long> before = e2e::VisibleIds();
    ASSERT_TRUE(e2e::ClickControl(dialog, IDOK));
    e2e::ScreenWindow box;
    ASSERT_TRUE(e2e::WaitForWindowWhere([&](const e2e::ScreenWindow& w) { return !before.count(w.id); }, 10000, &box));
    Screenshot("updater_e2e_question.png");
    // The keyboard goes to the box, as the window manager gives it.
    ASSERT_TRUE(e2e::Focus(box.id));
    ASSERT_TRUE(e2e::waitFor([&] { return e2e::HasFocus(box.id); }, 5000));
    ASSERT_TRUE(e2e::Key("Return"));

    // Downloaded, checked, the client stopped and replaced.
    ASSERT_TRUE(waitFor([&] { return !e2e::IsRunning(client_); }, 20000));
    client_ = -1;
    ASSERT_TRUE(waitFor([&] { return VersionOf(folder_ + "/Lum") == "1.0.0.3"; }, 10000));
    EXPECT_EQ(ReadFile(folder_ + "/Lum"), fresh);
    Screenshot("updater_e2e_done.png");

    // "升级完成" starts the new client and ends the updater; the new client's
    // own updater finds nothing to do.
    ASSERT_TRUE(e2e::ClickControl(dialog, IDOK));
    ASSERT_TRUE(waitFor([&] { return !FindProgramProcesses((folder_ + "/Lum").c_str()).empty(); }, 10000));
    ASSERT_TRUE(e2e::WaitForWindow(kLoginWidth, kLoginHeight, 20000, nullptr));
    ASSERT_TRUE(waitFor([&] { return FindProgramProcesses((folder_ + "/Updater").c_str()).empty(); }, 10000));
    // The updater has ended: its dialog is gone.
    EXPECT_FALSE(e2e::WaitForWindow(kDialogWidth, kDialogHeight, 0, nullptr));
    Screenshot("updater_e2e_restarted.png");
}

}  // namespace
