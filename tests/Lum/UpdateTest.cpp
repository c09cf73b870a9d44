// The update check at start-up: which updater is started, the background
// download of a fresh one from the web server, and starting programs.
#include "Lum/KivApp.h"
#include "platform/config.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/threads.h"
#include "tests/platform/TempDir.h"
#include "tests/platform/ServeInBackground.h"
#include "tests/platform/TestServices.h"

#include <httplib.h>

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <regex>
#include <thread>

namespace fs = std::filesystem;

namespace {

// The start-up without its main window, which would run until closed.
class StartUpApp : public CKivApp {
protected:
    void RunMainWindow() override {}
};

std::string ReadFile(const std::string& path)
{
    std::string out;
    ReadWholeFile(path.c_str(), out);
    return out;
}

class UpdateTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder_ = dir_.path() + "/";
        services_.SetProgramFolder(folder_);
        server_.Get("/download/Updater.exe", [this](const httplib::Request& req, httplib::Response& res) {
            {
                std::lock_guard<std::mutex> lock(lock_);
                queries_.push_back(req.get_param_value("t"));
            }
            std::string body;
            bool unsized = false;
            {
                std::lock_guard<std::mutex> lock(lock_);
                body = served_;
                unsized = unsized_;
            }
            if (!serveUpdater_) {
                res.status = 404;
            } else if (unsized) {
                // No length: the body ends where the connection closes.
                auto sent = std::make_shared<bool>(false);
                res.set_content_provider("application/octet-stream", [body, sent](size_t, httplib::DataSink& sink) {
                    if (*sent) return false;
                    *sent = true;
                    sink.write(body.data(), body.size());
                    return true;
                });
            } else {
                res.set_content(body, "application/octet-stream");
            }
        });
        port_ = server_.bind_to_any_port("127.0.0.1");
        ASSERT_GT(port_, 0);
        thread_ = ServeInBackground(server_);
        const std::string url = "http://127.0.0.1:" + std::to_string(port_);
        WritePrivateProfileString("Web", "BaseUrl", url.c_str(), (folder_ + "Lum.ini").c_str());

        services_.SetStartProgram([this](const CString& commandLine, UINT show) -> UINT {
            std::lock_guard<std::mutex> lock(lock_);
            started_.push_back(commandLine.str());
            EXPECT_EQ(show, static_cast<UINT>(SW_SHOWNORMAL));
            startedCv_.notify_all();
            return 33;
        });
        app_ = std::make_unique<StartUpApp>();
        Serve(ReadFile(UPDATER_CURRENT));
    }

    // What the web server answers for the updater.
    void Serve(const std::string& bytes, bool unsized = false)
    {
        std::lock_guard<std::mutex> lock(lock_);
        served_ = bytes;
        unsized_ = unsized;
    }

    void TearDown() override
    {
        server_.stop();
        if (thread_.joinable()) thread_.join();
        app_.reset();
    }

    void InstallUpdater(const char* stub)
    {
        fs::copy_file(stub, folder_ + "Updater", fs::copy_options::overwrite_existing);
    }

    bool WaitForStart(int ms)
    {
        std::unique_lock<std::mutex> lock(lock_);
        return startedCv_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return !started_.empty(); });
    }

    std::vector<std::string> Started()
    {
        std::lock_guard<std::mutex> lock(lock_);
        return started_;
    }
    std::vector<std::string> Queries()
    {
        std::lock_guard<std::mutex> lock(lock_);
        return queries_;
    }

    std::string served_;
    bool unsized_ = false;
    TempDir dir_;
    std::string folder_;
    TestServices services_;
    httplib::Server server_;
    int port_ = 0;
    std::thread thread_;
    std::atomic<bool> serveUpdater_{true};
    std::mutex lock_;
    std::condition_variable startedCv_;
    std::vector<std::string> started_;
    std::vector<std::string> queries_;
    std::unique_ptr<CKivApp> app_;
};

}  // namespace

TEST_F(UpdateTest, WithoutAnUpdaterAFreshOneIsDownloadedAndStarted)
{
    EXPECT_EQ(app_->GetFileProductVersion("Updater.exe"), "");
    EXPECT_FALSE(app_->InitInstance());  // the start-up goes on without waiting
    ASSERT_TRUE(WaitForStart(10000));

    EXPECT_EQ(Started(), std::vector<std::string>{folder_ + "Updater.exe"});
    ASSERT_EQ(Queries().size(), 1u);
    EXPECT_TRUE(std::regex_match(Queries()[0], std::regex(R"(\d{4}-\d\d-\d\d_\d\d:\d\d:\d\d)"))) << Queries()[0];
    EXPECT_EQ(ReadFile(folder_ + "Updater"), ReadFile(UPDATER_CURRENT));
    EXPECT_EQ(app_->GetFileProductVersion("Updater.exe"), "1.0.0.3");
    EXPECT_EQ(::access((folder_ + "Updater").c_str(), X_OK), 0);
    EXPECT_FALSE(fs::exists(folder_ + "tmpUpdater.exe"));

    // The rest of the start-up state.
    EXPECT_EQ(app_->m_strAppPath, CString(folder_));
    EXPECT_EQ(app_->m_strUserPath, CString(folder_));
    EXPECT_EQ(app_->m_clrButton.GetValue(), 0xFFFFB04Bu);
}

TEST_F(UpdateTest, ACurrentUpdaterIsStartedAtOnce)
{
    InstallUpdater(UPDATER_CURRENT);
    EXPECT_EQ(app_->GetFileProductVersion("Updater.exe"), "1.0.0.3");
    app_->CheckUpdater();
    // Started before the check returns, without a download.
    EXPECT_EQ(Started(), std::vector<std::string>{folder_ + "Updater.exe"});
    // A download would run on a worker of its own: once none runs, any
    // download there was has asked the web server.
    for (int i = 0; i < 1000 && lumui::RunningThreads(ThreadDownloadUpdater) > 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(lumui::RunningThreads(ThreadDownloadUpdater), 0);
    EXPECT_TRUE(Queries().empty());
}

TEST_F(UpdateTest, AFailedDownloadKeepsTheOldUpdater)
{
    InstallUpdater(UPDATER_OLD);
    const std::string old = ReadFile(folder_ + "Updater");
    EXPECT_EQ(app_->GetFileProductVersion("Updater.exe"), "1.0.0.2");

    serveUpdater_ = false;
    EXPECT_EQ(ThreadDownloadUpdater(nullptr), 0u);
    EXPECT_EQ(ReadFile(folder_ + "Updater"), old);
    EXPECT_TRUE(Started().empty());

    // With the web server gone as well.
    server_.stop();
    thread_.join();
    EXPECT_EQ(ThreadDownloadUpdater(nullptr), 0u);
    EXPECT_EQ(ReadFile(folder_ + "Updater"), old);
    EXPECT_TRUE(Started().empty());
}

// The fresh updater goes to a temporary file and replaces the old one only
// when it is known whole (the server marked its end) and is the version the
// client asks for; otherwise the old updater stays and nothing is started.
TEST_F(UpdateTest, ADownloadedUpdaterIsCheckedBeforeItReplacesTheOldOne)
{
    InstallUpdater(UPDATER_OLD);
    const std::string old = ReadFile(folder_ + "Updater");
    const std::string fresh = ReadFile(UPDATER_CURRENT);

    // Cut short by a server that sends no length.
    Serve(fresh.substr(0, fresh.size() / 2), true);
    EXPECT_EQ(ThreadDownloadUpdater(nullptr), 0u);
    EXPECT_EQ(ReadFile(folder_ + "Updater"), old);
    // Whole, but still without a length: nothing tells it from a cut one.
    Serve(fresh, true);
    EXPECT_EQ(ThreadDownloadUpdater(nullptr), 0u);
    EXPECT_EQ(ReadFile(folder_ + "Updater"), old);
    // Whole and sized, but not the version asked for.
    Serve(old);
    EXPECT_EQ(ThreadDownloadUpdater(nullptr), 0u);
    EXPECT_EQ(app_->GetFileProductVersion("Updater.exe"), "1.0.0.2");
    EXPECT_TRUE(Started().empty());
    EXPECT_FALSE(fs::exists(folder_ + "tmpUpdater.exe"));
    EXPECT_FALSE(fs::exists(folder_ + "tmpUpdater"));

    // Whole, sized and current: installed and started.
    Serve(fresh);
    EXPECT_EQ(ThreadDownloadUpdater(nullptr), 1u);
    EXPECT_EQ(ReadFile(folder_ + "Updater"), fresh);
    EXPECT_EQ(::access((folder_ + "Updater").c_str(), X_OK), 0);
    EXPECT_EQ(Started(), std::vector<std::string>{folder_ + "Updater.exe"});
    EXPECT_FALSE(fs::exists(folder_ + "tmpUpdater.exe"));
}

TEST(WinExec, StartsProgramsByTheirWindowsNames)
{
    TempDir dir;
    const std::string folder = dir.path() + "/with blank/";
    fs::create_directories(folder);
    fs::copy_file(UPDATER_CURRENT, folder + "Updater");
    const std::string marker = dir.file("started.txt");

    // A quoted program path with blanks, then one argument.
    const std::string line = "\"" + folder + "Updater.exe\" " + marker;
    EXPECT_GT(WinExec(line.c_str(), SW_SHOWNORMAL), 31u);
    for (int i = 0; i < 100 && ReadFile(marker) != "started"; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(ReadFile(marker), "started");

    // The whole command line as one unquoted path.
    EXPECT_GT(WinExec((folder + "Updater.exe").c_str(), SW_SHOWNORMAL), 31u);

    EXPECT_EQ(WinExec((folder + "Missing.exe").c_str(), SW_SHOWNORMAL), static_cast<UINT>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(WinExec("", SW_SHOWNORMAL), static_cast<UINT>(ERROR_FILE_NOT_FOUND));

    EXPECT_EQ(MapProgramName((folder + "Updater.exe").c_str()), CString(folder + "Updater"));
    EXPECT_EQ(MapProgramName((folder + "Quillon.dll").c_str()), CString(folder + "libQuillon.so"));
}
