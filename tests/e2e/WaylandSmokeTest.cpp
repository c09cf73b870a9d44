// The client started from a Wayland session, as on GNOME's default session:
// GNOME's compositor runs headless with XWayland, and the client, started
// with WAYLAND_DISPLAY set, must come up on XWayland (its windows are X
// windows there), show its login window, log in against the stand-ins, and
// be placed where it places itself.
//
// The program runs itself a second time inside the compositor's session:
// the outer run starts the compositor with the inner run as its command and
// reports the inner run's result.
#include "tests/e2e/Desktop.h"
#include "tests/platform/ProgramSpeed.h"
#include "tests/standin/StandinService.h"
#include "tests/standin/StandinWeb.h"
#include "tests/standin/WebApi.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const char kResultVariable[] = "LUM_WAYLAND_SMOKE_RESULT";

class WaylandSmokeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(service_.LoadSeedFile(LUM_SEED_FILE));
        ASSERT_GT(service_.Start(0), 0);
        standin::RegisterWebApi(web_, service_);
        ASSERT_GT(web_.Start(0, LUM_STANDIN_WWW), 0);
        folder_ = e2e::CopyProgramFolder(LUM_BIN_DIR);
        ASSERT_FALSE(folder_.empty());
        std::ofstream ini(folder_ + "/Lum.ini");
        ini << "[Service]\nHost=127.0.0.1\nPort=" << service_.Port() << "\n[Web]\nBaseUrl=" << web_.BaseUrl() << "\n";
    }

    void TearDown() override
    {
        e2e::Stop(pid_, 500);
        e2e::RemoveFolder(folder_);
        web_.Stop();
    }

    standin::StandinService service_;
    standin::StandinWeb web_;
    std::string folder_;
    pid_t pid_ = -1;
};

}  // namespace

TEST_F(WaylandSmokeTest, StartedFromAWaylandSessionTheClientRunsOnXWaylandAndPlacesItsWindows)
{
    ASSERT_NE(getenv("WAYLAND_DISPLAY"), nullptr) << "not in a Wayland session";
    ASSERT_NE(getenv("DISPLAY"), nullptr) << "the session has no XWayland";
    pid_ = e2e::Start(folder_ + "/Lum");
    ASSERT_GT(pid_, 0);

    // The login window is an X window on XWayland: the client chose X11.
    e2e::ScreenWindow login;
    ASSERT_TRUE(e2e::WaitForWindowWhere([](const e2e::ScreenWindow& w) { return w.title == "登录" && w.width == e2e::kLoginWidth; },
                                        30000, &login))
        << "no login window on XWayland";
    // The invisible panel behind the login window takes no keyboard: the
    // login window has it.
    EXPECT_TRUE(e2e::waitFor([&] { return e2e::HasFocus(login.id); }, 5000)) << "the login window has no keyboard";
    ASSERT_TRUE(e2e::TypeLogin(login, "13800000001", "123456"));

    // After login the panel takes the login window's place, where the
    // program put it.
    e2e::ScreenWindow panel;
    ASSERT_TRUE(e2e::WaitForWindowWhere([](const e2e::ScreenWindow& w) { return w.width == e2e::kMainWidth && w.height == e2e::kMainHeight; },
                                        20000, &panel))
        << "the panel did not come up";
    EXPECT_TRUE(e2e::WaitForGone(login.id, 5000)) << "the login window stayed";
    EXPECT_TRUE(e2e::waitFor(
        [&] {
            for (const e2e::ScreenWindow& w : e2e::VisibleWindows())
                if (w.id == panel.id) {
                    panel = w;
                    return w.x == login.x && w.y == login.y;
                }
            return false;
        },
        5000))
        << "the panel is at " << panel.x << "," << panel.y << ", the login window was at " << login.x << "," << login.y;

    // Dragged by its caption to the top edge it docks there, at the top of
    // the screen, and the compositor leaves it where the program puts it.
    ASSERT_TRUE(e2e::Drag(panel.x + 100, panel.y + 8, 500, 2));
    EXPECT_TRUE(e2e::waitFor(
        [&] {
            for (const e2e::ScreenWindow& w : e2e::VisibleWindows())
                if (w.id == panel.id) {
                    panel = w;
                    return w.y == 0 && w.x == 500 - 100;
                }
            return false;
        },
        5000))
        << "the panel is at " << panel.x << "," << panel.y << " after the drag";
    ASSERT_TRUE(e2e::PointAt(900, 900));
    EXPECT_TRUE(e2e::waitFor(
        [&] {
            for (const e2e::ScreenWindow& w : e2e::VisibleWindows())
                if (w.id == panel.id) {
                    panel = w;
                    return w.y == 5 - w.height;
                }
            return false;
        },
        lumtest::ProgramMs(8000)))
        << "the docked panel did not slide out of sight: at " << panel.x << "," << panel.y;
}

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    // Listing the tests (as the build does to register them) needs no session.
    if (GTEST_FLAG_GET(list_tests)) return RUN_ALL_TESTS();
    if (const char* result = getenv(kResultVariable)) {
        // Inside the compositor's session.
        const int code = RUN_ALL_TESTS();
        std::ofstream(result) << code << "\n";
        return code;
    }

    // The outer run: a session bus and GNOME's compositor, headless, with
    // XWayland, running this program inside.
    char runtime[] = "/tmp/lum-wayland-XXXXXX";
    if (!mkdtemp(runtime)) return 1;
    const std::string resultFile = std::string(runtime) + "/result";
    setenv("XDG_RUNTIME_DIR", runtime, 1);
    setenv(kResultVariable, resultFile.c_str(), 1);
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    setenv("NO_AT_BRIDGE", "1", 1);
    setenv("WEBKIT_DISABLE_SANDBOX_THIS_IS_DANGEROUS", "1", 1);
    char self[4096];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) return 1;
    self[n] = '\0';
    std::string command = std::string("dbus-run-session -- mutter --headless --wayland --virtual-monitor 1280x1024 -- '") +
                          self + "'";
    for (int i = 1; i < argc; ++i) command += std::string(" '") + argv[i] + "'";
    const int status = system(command.c_str());
    int code = 1;
    std::ifstream in(resultFile);
    if (!(in >> code)) {
        fprintf(stderr, "the compositor's session ended without a result (status %d)\n", status);
        code = 1;
    }
    std::filesystem::remove_all(runtime);
    return code;
}
