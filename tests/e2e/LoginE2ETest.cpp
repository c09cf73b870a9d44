// The real program from outside: started from a copy of the build against
// the stand-ins on loopback, the login dialog shows, an account and password
// are typed and the login button clicked, and the main window takes over.
#include "platform/uiapp.h"
#include "tests/e2e/Desktop.h"
#include "tests/standin/StandinService.h"
#include "tests/standin/StandinWeb.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace {

using e2e::kLoginHeight;
using e2e::kLoginWidth;
using e2e::waitFor;

bool visibleOfSize(int w, int h)
{
    return !e2e::VisibleIdsOfSize(w, h).empty();
}

}  // namespace

TEST(EndToEnd, TypingAnAccountLogsInAndShowsTheMainWindow)
{
    standin::StandinService service;
    ASSERT_TRUE(service.LoadSeedFile(LUM_SEED_FILE));
    ASSERT_GT(service.Start(0), 0);
    standin::StandinWeb web;
    const std::string www = e2e::CopyProgramFolder(LUM_STANDIN_WWW);
    ASSERT_GT(web.Start(0, www), 0);

    const std::string folder = e2e::CopyProgramFolder(LUM_BIN_DIR);
    ASSERT_FALSE(folder.empty());
    {
        std::ofstream ini(folder + "/Lum.ini");
        ini << "[Service]\nHost=127.0.0.1\nPort=" << service.Port() << "\n[Web]\nBaseUrl=" << web.BaseUrl() << "\n";
    }
    const pid_t lum = e2e::Start(folder + "/Lum");
    ASSERT_GT(lum, 0);

    e2e::ScreenWindow login;
    ASSERT_TRUE(e2e::WaitForWindow(kLoginWidth, kLoginHeight, 20000, &login)) << "no login dialog";
    ASSERT_TRUE(lumui::Start());
    const std::string shots = LUM_SCREENSHOT_DIR;
    std::filesystem::create_directories(shots);
    lumui::SaveScreenImage((shots + "/e2e-login.png").c_str());

    ASSERT_TRUE(e2e::TypeLogin(login, "13800000001", "123456"));

    EXPECT_TRUE(waitFor([&] { return service.IsOnline(10001); }, 15000)) << "the service saw no login";
    EXPECT_TRUE(waitFor([&] { return !visibleOfSize(kLoginWidth, kLoginHeight) && !visibleOfSize(238, kLoginHeight); },
                        15000))
        << "the login dialogs stayed";
    // The main panel (135 x 321 dialog units) is on screen, where the login
    // window was.
    e2e::ScreenWindow main;
    EXPECT_TRUE(e2e::WaitForWindowWhere(
        [&](const e2e::ScreenWindow& w) {
            return w.width == e2e::kMainWidth && w.height == e2e::kMainHeight && w.x == login.x && w.y == login.y;
        },
        5000, &main))
        << "no main window";
    lumui::SaveScreenImage((shots + "/e2e-main.png").c_str());
    EXPECT_TRUE(e2e::IsRunning(lum));

    e2e::Stop(lum, 500);
    e2e::RemoveFolder(folder);
    std::filesystem::remove_all(www);
}
