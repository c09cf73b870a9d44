// The updater against the stand-in web server: which files the version list
// selects, and the dialog's whole run (download with progress, checks, stop
// of this install's client, replacement, restart) with its failures.
#include "Updater/UpdaterApp.h"
#include "Updater/UpdaterDlg.h"
#include "Updater/UpdaterFiles.h"

#include "platform/files.h"
#include "platform/process.h"
#include "platform/uiapp.h"
#include "tests/Updater/UpdaterFixture.h"
#include "tests/platform/TempDir.h"
#include "tests/platform/TestServices.h"
#include "tests/platform/UiWait.h"
#include "tests/standin/StandinWeb.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <mutex>
#include <set>
#include <sys/stat.h>
#include <vector>

CUpdaterApp theApp;

namespace {

namespace fs = std::filesystem;
using namespace updatertest;

class UpdaterTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(lumui::Start());
        folder_ = dir_.path() + "/";
        services_.SetProgramFolder(folder_);
        fs::create_directories(dir_.file("www/download"));
        ASSERT_GT(web_.Start(0, dir_.file("www")), 0);
        WriteFile(folder_ + "Lum.ini", "[Web]\nBaseUrl=" + web_.BaseUrl() + "\n");
        theApp.m_strAppPath = folder_.c_str();
        services_.SetMessageBox([this](HWND, const CString& text, const CString&, UINT) {
            std::lock_guard<std::mutex> lock(lock_);
            boxes_.push_back(text.str());
            return boxAnswer_;
        });
        services_.SetStartProgram([this](const CString& line, UINT) {
            std::lock_guard<std::mutex> lock(lock_);
            started_.push_back(line.str());
            return 33u;
        });
    }

    void TearDown() override
    {
        dlg_.reset();
        uiwait::QueuedWorkDone();
        for (pid_t pid : children_) KillChild(pid);
        web_.Stop();
    }

    void Install(const std::string& name, const std::string& version)
    {
        ASSERT_TRUE(WriteVersioned(UPDATER_STUB, folder_ + name, version));
    }
    void Serve(const std::string& name, const std::string& version)
    {
        ASSERT_TRUE(WriteVersioned(UPDATER_STUB, dir_.file("www/download/" + name), version));
    }
    void ServeList(const std::string& text) { WriteFile(dir_.file("www/download/updater.ini"), text); }

    // Fetches and reads the list as the program does at start.
    std::set<CString> Select()
    {
        EXPECT_TRUE(theApp.DownloadVersionList());
        theApp.ReadVersionList();
        return theApp.m_setFiles;
    }
    std::string InstalledVersion(const std::string& name) { return theApp.GetFileProductVersion(name.c_str()).str(); }

    // Starts this install's client: the stub as "Lum" in the program folder.
    pid_t StartClient(const std::string& folder)
    {
        if (!fs::exists(folder + "Lum")) {
            EXPECT_TRUE(WriteVersioned(UPDATER_STUB, folder + "Lum", "1.0.0.3"));
        }
        pid_t pid = Spawn(folder + "Lum", folder + "ended-gently");
        EXPECT_GT(pid, 0);
        children_.push_back(pid);
        // Running once its executable shows.
        lumui::PumpUntil([&] { return !FindProgramProcesses((folder + "Lum").c_str()).empty(); }, 5000);
        return pid;
    }

    void OpenDialog()
    {
        dlg_ = std::make_unique<CUpdaterDlg>();
        ASSERT_TRUE(dlg_->Create(CUpdaterDlg::IDD, nullptr));
        dlg_->ShowWindow(SW_SHOW);
        ASSERT_TRUE(uiwait::QueuedWorkDone());
    }
    std::string ButtonText()
    {
        CString text;
        dlg_->m_btnUpdate.GetWindowText(text);
        return text.str();
    }
    std::string FileText()
    {
        CString text;
        dlg_->m_staticFile.GetWindowText(text);
        return text.str();
    }
    void Click()
    {
        ::SendMessage(dlg_->m_hWnd, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    }
    // Clicks the button and waits for the worker it starts.
    void RunUpdate()
    {
        Click();
        ASSERT_TRUE(lumui::PumpUntil([&] { return !dlg_->IsWorkerRunning(); }, 30000));
        ASSERT_TRUE(uiwait::QueuedWorkDone());
    }
    void Screenshot(const std::string& name)
    {
        fs::create_directories(SCREENSHOT_DIR);
        EXPECT_TRUE(lumui::SaveWindowImage(dlg_->m_hWnd, (std::string(SCREENSHOT_DIR) + "/" + name).c_str()));
    }

    TempDir dir_;
    std::string folder_;
    TestServices services_;
    standin::StandinWeb web_;
    std::unique_ptr<CUpdaterDlg> dlg_;
    std::vector<pid_t> children_;
    std::mutex lock_;
    std::vector<std::string> boxes_;
    std::vector<std::string> started_;
    int boxAnswer_ = IDOK;
};

// ---------------------------------------------------------------- the list

TEST_F(UpdaterTest, OnlyFilesWhoseVersionTextDiffersAreSelected)
{
    Install("same", "1.0.0.3");
    Install("cased", "1.0.0.3-beta");
    Install("newer", "1.0.0.4");
    Install("blank", "1.0.0.3");
    WriteFile(folder_ + "plain.txt", "no version");
    ServeList("[Kiv_PC]\nsame=1.0.0.3\ncased=1.0.0.3-BETA\nnewer=1.0.0.3\nmissing=1.0\nplain.txt=1.0\n"
              "blank=1.0.0.3.\n");
    // Letter case alone is no change; an older server version, a missing
    // file and a file without a version are.
    EXPECT_EQ(Select(), (std::set<CString>{"blank", "missing", "newer", "plain.txt"}));
    EXPECT_EQ(theApp.m_nFilesCount, 4);
    // The list is used up.
    EXPECT_FALSE(fs::exists(folder_ + "updater.ini"));

    // Nothing differs: nothing to do.
    ServeList("[Kiv_PC]\nsame=1.0.0.3\ncased=1.0.0.3-BETA\n");
    EXPECT_TRUE(Select().empty());
    // An empty version ends the list.
    ServeList("[Kiv_PC]\nfirst=1.0\nstop=\nafter=1.0\n");
    EXPECT_EQ(Select(), (std::set<CString>{"first"}));
}

TEST_F(UpdaterTest, FilesInFoldersOfTheInstallAreOfferedNamesThatLeaveItNever)
{
    ServeList("[Kiv_PC]\n../evil=1.0\n/tmp/abs=1.0\nsub\\file=1.0\n..=1.0\n.=1.0\nok=1.0\n"
              "theme/skin-01.jpg=1.0\nvoice/MsgSound.wav=1.0\na/b/c.txt=1.0\n"
              "theme/../../evil=1.0\ntheme//x=1.0\ntheme/=1.0\n./x=1.0\ntheme/./x=1.0\ntheme/..=1.0\n");
    EXPECT_EQ(Select(), (std::set<CString>{"a/b/c.txt", "ok", "theme/skin-01.jpg", "voice/MsgSound.wav"}));
    EXPECT_FALSE(IsSafeFileName("a\nb"));
    EXPECT_FALSE(IsSafeFileName("theme/a\nb"));
    EXPECT_TRUE(IsSafeFileName("lib base.so"));
    // A name goes into the address segment by segment, each encoded.
    EXPECT_EQ(EncodeUrlName("a b?#%.so"), CString("a%20b%3F%23%25.so"));
    EXPECT_EQ(EncodeUrlName("theme/春 天.jpg"), CString("theme/%E6%98%A5%20%E5%A4%A9.jpg"));
}

TEST_F(UpdaterTest, AMissingListEndsQuietly)
{
    EXPECT_FALSE(theApp.DownloadVersionList());
    EXPECT_FALSE(fs::exists(folder_ + "updater.ini"));
}

// ---------------------------------------------------------------- the dialog

TEST_F(UpdaterTest, OneFileIsReplacedOnlyTheOwnClientIsStoppedGentlyAndRestarted)
{
    Install("Lum", "1.0.0.2");
    Serve("Lum", "1.0.0.3");
    const std::string fresh = ReadFile(dir_.file("www/download/Lum"));
    ServeList("[Kiv_PC]\nLum=1.0.0.3\n[Kiv_PC_Size]\nLum=" + std::to_string(fresh.size()) + "\n[Kiv_PC_MD5]\nLum=" +
              FileMd5(dir_.file("www/download/Lum").c_str()).str() + "\n");
    ASSERT_EQ(Select().size(), 1u);
    const pid_t own = StartClient(folder_);
    // The same program installed in another folder is another install.
    TempDir other;
    const pid_t foreign = StartClient(other.path() + "/");

    OpenDialog();
    EXPECT_EQ(ButtonText(), "开始更新");
    EXPECT_EQ(dlg_->m_listFiles.GetItemCount(), 1);
    EXPECT_EQ(dlg_->m_listFiles.GetItemText(0, 0), CString("Lum"));
    Screenshot("updater_start.png");

    RunUpdate();
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_EQ(boxes_[0], "Orvane已在运行！\n请先关闭程序才能进行更新！\n如果选择确定将强行关闭程序！");
    EXPECT_EQ(ButtonText(), "升级完成");
    EXPECT_EQ(dlg_->m_progressFile.GetPos(), 100);
    EXPECT_EQ(dlg_->m_progressTotal.GetPos(), 100);
    Screenshot("updater_done.png");

    // Replaced, still a program; the download folder is gone.
    EXPECT_EQ(ReadFile(folder_ + "Lum"), fresh);
    EXPECT_EQ(InstalledVersion("Lum"), "1.0.0.3");
    EXPECT_EQ(::access((folder_ + "Lum").c_str(), X_OK), 0);
    EXPECT_FALSE(fs::exists(folder_ + "update"));
    // This install's client was asked to end and did; the other runs on.
    EXPECT_FALSE(ChildRunning(own));
    EXPECT_TRUE(fs::exists(folder_ + "ended-gently"));
    EXPECT_TRUE(ChildRunning(foreign));

    Click();
    EXPECT_EQ(started_, std::vector<std::string>{folder_ + "Lum.exe"});
    EXPECT_FALSE(dlg_->IsWindowVisible());
}

TEST_F(UpdaterTest, FilesInFoldersAreReplacedAndNewFoldersMade)
{
    fs::create_directories(folder_ + "theme");
    WriteFile(folder_ + "theme/skin-01.jpg", "old skin");
    fs::create_directories(dir_.file("www/download/theme"));
    fs::create_directories(dir_.file("www/download/voice/new"));
    WriteFile(dir_.file("www/download/theme/skin-01.jpg"), "new skin");
    WriteFile(dir_.file("www/download/voice/new/Ring.wav"), "new sound");
    ServeList("[Kiv_PC]\ntheme/skin-01.jpg=2.0\nvoice/new/Ring.wav=2.0\n");
    ASSERT_EQ(Select().size(), 2u);
    OpenDialog();
    EXPECT_EQ(dlg_->m_listFiles.GetItemText(0, 0), CString("theme/skin-01.jpg"));
    RunUpdate();
    EXPECT_EQ(ButtonText(), "升级完成");
    EXPECT_EQ(ReadFile(folder_ + "theme/skin-01.jpg"), "new skin");
    EXPECT_EQ(ReadFile(folder_ + "voice/new/Ring.wav"), "new sound");
    EXPECT_FALSE(fs::exists(folder_ + "update"));
    const auto asked = web_.Requests();
    std::set<std::string> paths;
    for (const auto& r : asked) paths.insert(r.path);
    EXPECT_TRUE(paths.count("/download/theme/skin-01.jpg"));
    EXPECT_TRUE(paths.count("/download/voice/new/Ring.wav"));
}

// "取消" between the last download and the replacement: either the update
// stops there and nothing changes, or, once the files are being put in
// place, the button cannot be pressed.
TEST_F(UpdaterTest, CancelAfterTheLastDownloadStopsEverything)
{
    Install("Lum", "1.0.0.2");
    Serve("Lum", "1.0.0.3");
    ServeList("[Kiv_PC]\nLum=1.0.0.3\n");
    ASSERT_EQ(Select().size(), 1u);
    const pid_t client = StartClient(folder_);
    OpenDialog();
    std::string shown;
    dlg_->m_onMoment = [&](const char* moment) {
        if (std::string(moment) != "downloaded") return;
        CString text;
        lumui::RunOnUiThread([&] { dlg_->m_btnUpdate.GetWindowText(text); });
        shown = text.str();
        // The person presses the button now.
        ::SendMessage(dlg_->m_hWnd, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    };
    RunUpdate();
    EXPECT_EQ(shown, "取消");
    EXPECT_EQ(ButtonText(), "开始更新");
    EXPECT_TRUE(dlg_->m_btnUpdate.IsWindowEnabled());
    EXPECT_EQ(InstalledVersion("Lum"), "1.0.0.2");
    EXPECT_TRUE(ChildRunning(client));
    EXPECT_FALSE(fs::exists(folder_ + "update"));
    EXPECT_TRUE(started_.empty());

    // Once the files are being replaced, the button is off and a press
    // changes nothing.
    bool enabled = true;
    dlg_->m_onMoment = [&](const char* moment) {
        if (std::string(moment) != "replacing") return;
        CString text;
        lumui::RunOnUiThread([&] {
            enabled = dlg_->m_btnUpdate.IsWindowEnabled() != FALSE;
            dlg_->m_btnUpdate.GetWindowText(text);
        });
        shown = text.str();
        ::SendMessage(dlg_->m_hWnd, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    };
    RunUpdate();
    EXPECT_FALSE(enabled);
    EXPECT_EQ(shown, "升级完成");
    EXPECT_EQ(ButtonText(), "升级完成");
    EXPECT_EQ(InstalledVersion("Lum"), "1.0.0.3");
    EXPECT_FALSE(ChildRunning(client));
    EXPECT_TRUE(started_.empty());
}

TEST_F(UpdaterTest, ThreeFilesMoveTheTotalBarInThirds)
{
    std::string list = "[Kiv_PC]\n";
    for (const char* name : {"a", "b", "c"}) {
        Install(name, "1.0");
        Serve(name, "2.0");
        list += std::string(name) + "=2.0\n";
    }
    ServeList(list);
    ASSERT_EQ(Select().size(), 3u);
    OpenDialog();

    // What the total bar shows as each later file is asked for.
    std::vector<int> seen;
    for (const char* name : {"b", "c"}) {
        const std::string bytes = ReadFile(dir_.file(std::string("www/download/") + name));
        web_.Handle("GET", std::string("/download/") + name, [this, bytes, &seen](const standin::WebRequest&) {
            seen.push_back(dlg_->m_progressTotal.GetPos());
            standin::WebReply reply;
            reply.body = bytes;
            reply.contentType = "application/octet-stream";
            return reply;
        });
    }
    RunUpdate();
    // No client runs: nothing to ask.
    EXPECT_TRUE(boxes_.empty());
    EXPECT_EQ(ButtonText(), "升级完成");
    EXPECT_EQ(seen, (std::vector<int>{33, 66}));
    EXPECT_EQ(dlg_->m_progressTotal.GetPos(), 100);
    for (const char* name : {"a", "b", "c"}) EXPECT_EQ(InstalledVersion(name), "2.0") << name;
}

TEST_F(UpdaterTest, AFailedDownloadChangesNothingAndCanBeRetried)
{
    std::string list = "[Kiv_PC]\n";
    for (const char* name : {"a", "b", "c"}) {
        Install(name, "1.0");
        Serve(name, "2.0");
        list += std::string(name) + "=2.0\n";
    }
    ServeList(list);
    ASSERT_EQ(Select().size(), 3u);
    const pid_t client = StartClient(folder_);
    web_.SetFault("/download/b", standin::WebFault::Status(500));
    OpenDialog();

    RunUpdate();
    EXPECT_EQ(FileText(), "b 下载失败！");
    EXPECT_EQ(ButtonText(), "重新升级");
    Screenshot("updater_failed.png");
    for (const char* name : {"a", "b", "c"}) EXPECT_EQ(InstalledVersion(name), "1.0") << name;
    EXPECT_TRUE(ChildRunning(client));
    EXPECT_FALSE(fs::exists(folder_ + "update"));

    Click();
    EXPECT_EQ(ButtonText(), "开始更新");
    web_.ClearFaults();
    RunUpdate();
    EXPECT_EQ(ButtonText(), "升级完成");
    for (const char* name : {"a", "b", "c"}) EXPECT_EQ(InstalledVersion(name), "2.0") << name;
    EXPECT_FALSE(ChildRunning(client));
}

TEST_F(UpdaterTest, ADownloadThatDoesNotMatchTheListIsRefused)
{
    Install("a", "1.0");
    Install("b", "1.0");
    Serve("a", "2.0");
    Serve("b", "2.0");
    const std::string a = dir_.file("www/download/a");
    ServeList("[Kiv_PC]\na=2.0\nb=2.0\n[Kiv_PC_Size]\na=" + std::to_string(ReadFile(a).size()) +
              "\n[Kiv_PC_MD5]\nb=" + FileMd5(dir_.file("www/download/b").c_str()).str() + "\n");
    ASSERT_EQ(Select().size(), 2u);
    OpenDialog();

    // Cut short: the size is wrong.
    web_.SetFault("/download/a", standin::WebFault::Malformed(ReadFile(a).substr(0, 1000)));
    RunUpdate();
    EXPECT_EQ(FileText(), "a 下载失败！");
    EXPECT_EQ(InstalledVersion("a"), "1.0");

    // Same size, other bytes: the digest is wrong.
    web_.ClearFaults();
    std::string b = ReadFile(dir_.file("www/download/b"));
    b[b.size() / 2] ^= 0x5A;
    web_.SetFault("/download/b", standin::WebFault::Malformed(b));
    Click();
    RunUpdate();
    EXPECT_EQ(FileText(), "b 下载失败！");
    EXPECT_EQ(InstalledVersion("a"), "1.0");
    EXPECT_EQ(InstalledVersion("b"), "1.0");
}

// Without a size or digest in the list, only a download whose end the
// server marked (its length, or the last chunk) is installed: a body that
// simply stops where the connection closes, or a chunked one cut short, is
// refused; with the list's size and digest the same unmarked body passes.
TEST_F(UpdaterTest, ADownloadNotKnownToBeWholeIsNotInstalled)
{
    Install("a", "1.0");
    Serve("a", "2.0");
    const std::string whole = ReadFile(dir_.file("www/download/a"));
    ServeList("[Kiv_PC]\na=2.0\n");
    ASSERT_EQ(Select().size(), 1u);
    const pid_t client = StartClient(folder_);
    OpenDialog();

    web_.SetFault("/download/a", standin::WebFault::Unsized(whole.substr(0, whole.size() / 2)));
    RunUpdate();
    EXPECT_EQ(FileText(), "a 下载失败！");
    EXPECT_EQ(ButtonText(), "重新升级");
    EXPECT_EQ(InstalledVersion("a"), "1.0");
    EXPECT_TRUE(ChildRunning(client));

    Click();
    web_.SetFault("/download/a", standin::WebFault::ChunkedCut(whole.substr(0, whole.size() / 2)));
    RunUpdate();
    EXPECT_EQ(FileText(), "a 下载失败！");
    EXPECT_EQ(InstalledVersion("a"), "1.0");

    // Whole but unmarked: without the list's checks it cannot be told apart
    // from a cut one.
    Click();
    web_.SetFault("/download/a", standin::WebFault::Unsized(whole));
    RunUpdate();
    EXPECT_EQ(FileText(), "a 下载失败！");
    EXPECT_EQ(InstalledVersion("a"), "1.0");
    EXPECT_TRUE(ChildRunning(client));

    // The list gives size and digest: the unmarked body is checked by them.
    dlg_.reset();
    ServeList("[Kiv_PC]\na=2.0\n[Kiv_PC_Size]\na=" + std::to_string(whole.size()) + "\n[Kiv_PC_MD5]\na=" +
              FileMd5(dir_.file("www/download/a").c_str()).str() + "\n");
    ASSERT_EQ(Select().size(), 1u);
    OpenDialog();
    RunUpdate();
    EXPECT_EQ(ButtonText(), "升级完成");
    EXPECT_EQ(InstalledVersion("a"), "2.0");
}

TEST_F(UpdaterTest, AFileThatCannotBeReplacedPutsTheOthersBack)
{
    Install("a", "1.0");
    Serve("a", "2.0");
    Serve("b", "2.0");
    // "b" is a folder in the install: no file can take its place.
    fs::create_directories(folder_ + "b/inside");
    ServeList("[Kiv_PC]\na=2.0\nb=2.0\n");
    ASSERT_EQ(Select().size(), 2u);
    OpenDialog();

    RunUpdate();
    EXPECT_EQ(ButtonText(), "更新文件失败");
    EXPECT_EQ(InstalledVersion("a"), "1.0");
    EXPECT_TRUE(fs::is_directory(folder_ + "b/inside"));
    EXPECT_FALSE(fs::exists(folder_ + "update"));
    Click();
    EXPECT_EQ(ButtonText(), "开始更新");
    EXPECT_TRUE(started_.empty());
}

TEST_F(UpdaterTest, AnAnsweredNoLeavesEverythingAlone)
{
    Install("Lum", "1.0.0.2");
    Serve("Lum", "1.0.0.3");
    ServeList("[Kiv_PC]\nLum=1.0.0.3\n");
    ASSERT_EQ(Select().size(), 1u);
    const pid_t client = StartClient(folder_);
    OpenDialog();
    boxAnswer_ = IDCANCEL;
    Click();
    ASSERT_TRUE(uiwait::QueuedWorkDone());
    EXPECT_EQ(boxes_.size(), 1u);
    EXPECT_FALSE(dlg_->IsWorkerRunning());
    EXPECT_EQ(ButtonText(), "开始更新");
    EXPECT_TRUE(ChildRunning(client));
    EXPECT_EQ(InstalledVersion("Lum"), "1.0.0.2");
}

}  // namespace
