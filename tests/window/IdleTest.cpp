// The user's idle time on a display without the screen-saver extension, as
// under XWayland in a Wayland session: the desktop is asked over the session
// bus (GNOME's idle monitor, else the freedesktop screen saver), and only when
// nobody answers does the program's own input count. The desktop services
// are small stand-ins on the suite's own bus.
#include "platform/shellapi.h"
#include "platform/threads.h"
#include "platform/uiapp.h"
#include "tests/desktop/TestDesktop.h"

#include <gio/gio.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace {

// A desktop service answering one method with an idle time.
class IdleService {
public:
    IdleService(const char* name, const char* path, const char* iface, const char* method, const char* type)
        : name_(name), path_(path), iface_(iface), method_(method), type_(type)
    {
    }
    ~IdleService() { Stop(); }

    // Registers the object and takes the bus name; true once the name is ours.
    bool Start()
    {
        bus_ = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
        if (!bus_) return false;
        const std::string xml = "<node><interface name='" + iface_ + "'><method name='" + method_ +
                                "'><arg type='" + type_ + "' direction='out'/></method></interface></node>";
        GDBusNodeInfo* node = g_dbus_node_info_new_for_xml(xml.c_str(), nullptr);
        static const GDBusInterfaceVTable vtable = {&IdleService::onCall, nullptr, nullptr, {}};
        object_ = g_dbus_connection_register_object(bus_, path_.c_str(), node->interfaces[0], &vtable, this, nullptr,
                                                    nullptr);
        g_dbus_node_info_unref(node);
        owner_ = g_bus_own_name_on_connection(bus_, name_.c_str(), G_BUS_NAME_OWNER_FLAGS_NONE, &IdleService::onName,
                                              nullptr, this, nullptr);
        return lumui::PumpUntil([this] { return owned_; }, 5000);
    }

    void Stop()
    {
        if (owner_) g_bus_unown_name(owner_);
        if (object_) g_dbus_connection_unregister_object(bus_, object_);
        if (bus_) g_dbus_connection_flush_sync(bus_, nullptr, nullptr);
        owner_ = object_ = 0;
        owned_ = false;
        if (bus_) g_object_unref(bus_);
        bus_ = nullptr;
    }

    // The idle time answered, in the unit the service speaks (ms or s).
    guint64 value = 0;
    int calls = 0;

private:
    static void onName(GDBusConnection*, const gchar*, gpointer self) { static_cast<IdleService*>(self)->owned_ = true; }

    static void onCall(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*, GVariant*,
                       GDBusMethodInvocation* call, gpointer data)
    {
        auto* self = static_cast<IdleService*>(data);
        ++self->calls;
        if (self->type_ == "t")
            g_dbus_method_invocation_return_value(call, g_variant_new("(t)", self->value));
        else
            g_dbus_method_invocation_return_value(call, g_variant_new("(u)", static_cast<guint32>(self->value)));
    }

    std::string name_, path_, iface_, method_, type_;
    GDBusConnection* bus_ = nullptr;
    guint object_ = 0, owner_ = 0;
    bool owned_ = false;
};

// Milliseconds since the last input, by GetLastInputInfo.
long IdleMs()
{
    LASTINPUTINFO info;
    EXPECT_TRUE(GetLastInputInfo(&info));
    return static_cast<long>(GetTickCount() - info.dwTime);
}

// Reads the idle time, letting the background questions run, until `ok`
// holds for it.
template <class F> bool IdleBecomes(F ok, long* last)
{
    return lumui::PumpUntil(
        [&] {
            *last = IdleMs();
            return ok(*last);
        },
        8000);
}

class IdleTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(lumui::Start()); }
};

// The tests share one process and one bus connection of the layer's, so they
// run in order: the idle monitor, then the screen saver alone, then nobody.
TEST_F(IdleTest, DesktopIdleMonitorIsAskedWhenTheDisplayCannotTell)
{
    IdleService monitor("org.gnome.Mutter.IdleMonitor", "/org/gnome/Mutter/IdleMonitor/Core",
                        "org.gnome.Mutter.IdleMonitor", "GetIdletime", "t");
    monitor.value = 120000;  // two minutes without input anywhere
    ASSERT_TRUE(monitor.Start());
    long idle = 0;
    EXPECT_TRUE(IdleBecomes([](long ms) { return ms >= 120000 && ms < 130000; }, &idle)) << "idle " << idle << " ms";

    // Typing in another program: the desktop says the user was just active,
    // although this program saw no input at all.
    monitor.value = 500;
    EXPECT_TRUE(IdleBecomes([](long ms) { return ms < 5000; }, &idle)) << "idle " << idle << " ms";
    EXPECT_GT(monitor.calls, 1);
    monitor.Stop();
}

TEST_F(IdleTest, FreedesktopScreenSaverAnswersWhereThereIsNoIdleMonitor)
{
    IdleService saver("org.freedesktop.ScreenSaver", "/org/freedesktop/ScreenSaver", "org.freedesktop.ScreenSaver",
                      "GetSessionIdleTime", "u");
    saver.value = 300;  // seconds
    ASSERT_TRUE(saver.Start());
    long idle = 0;
    EXPECT_TRUE(IdleBecomes([](long ms) { return ms >= 300000 && ms < 310000; }, &idle)) << "idle " << idle << " ms";
    saver.Stop();
}

TEST_F(IdleTest, OwnInputCountsWhenNobodyAnswers)
{
    // With no service left the desktop's answers stop counting, and the
    // program's own input is what counts: a click on a window of its own
    // makes the user active.
    CWnd window;
    ASSERT_TRUE(window.CreateEx(0, nullptr, "idle", WS_POPUP | WS_VISIBLE, 100, 100, 200, 100, nullptr, 0));
    long idle = 0;
    ASSERT_TRUE(IdleBecomes([](long ms) { return ms < 300000; }, &idle)) << "idle " << idle << " ms";
    // The click lands on the window once the display shows it there.
    ASSERT_TRUE(lumui::PumpUntil([&] { return lumui::IsOnScreen(window.m_hWnd); }, 10000));
    // The last input is the click: not before it (the program's start counts
    // until input comes, and may be as recent as the click).
    const DWORD clicked = GetTickCount();
    ASSERT_EQ(system("xdotool mousemove --sync 150 150 click 1"), 0);
    LASTINPUTINFO info;
    EXPECT_TRUE(lumui::PumpUntil([&] { return GetLastInputInfo(&info) && static_cast<LONG>(info.dwTime - clicked) >= 0; }, 8000))
        << "last input " << static_cast<LONG>(clicked - info.dwTime) << " ms before the click";
    window.DestroyWindow();
}

}  // namespace

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    if (GTEST_FLAG_GET(list_tests)) return RUN_ALL_TESTS();
    static testdesktop::Desktop desktop;
    const std::string failed = desktop.Start(false, false);
    if (!failed.empty()) {
        fprintf(stderr, "no test desktop: %s\n", failed.c_str());
        return 1;
    }
    return RUN_ALL_TESTS();
}
