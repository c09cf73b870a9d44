// The web engine's start never has the UI thread wait for the desktop's
// accessibility bus: the web process is given the bus's address, which the
// session bus has to look up (and may first have to start the accessibility
// service for). Here the accessibility bus is a stand-in on the suite's own
// session bus that takes two seconds to answer; the UI thread is never
// stopped for a quarter of that (the engine's own start, threads made and
// libraries loaded, stops it briefly, the longer the busier the machine).
#include "platform/dhtml.h"
#include "platform/uiapp.h"
#include "tests/platform/UiProbe.h"
#include "tests/desktop/TestDesktop.h"

#include <gio/gio.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <string>
#include <thread>

namespace {

// org.a11y.Bus answering GetAddress late, on a thread and bus connection of
// its own (so that it answers whatever the UI thread does meanwhile).
class SlowAccessibilityBus {
public:
    ~SlowAccessibilityBus() { Stop(); }

    bool Start()
    {
        thread_ = std::thread([this] { Run(); });
        while (!ready_ && !failed_) std::this_thread::yield();
        return ready_;
    }

    void Stop()
    {
        if (!thread_.joinable()) return;
        if (loop_) g_main_loop_quit(loop_);
        thread_.join();
    }

    std::atomic<int> calls{0};

private:
    void Run()
    {
        context_ = g_main_context_new();
        g_main_context_push_thread_default(context_);
        gchar* address = g_dbus_address_get_for_bus_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
        GDBusConnection* bus =
            address ? g_dbus_connection_new_for_address_sync(
                          address,
                          static_cast<GDBusConnectionFlags>(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                                            G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
                          nullptr, nullptr, nullptr)
                    : nullptr;
        g_free(address);
        GDBusNodeInfo* node = g_dbus_node_info_new_for_xml(
            "<node><interface name='org.a11y.Bus'><method name='GetAddress'>"
            "<arg type='s' direction='out'/></method></interface></node>",
            nullptr);
        static const GDBusInterfaceVTable vtable = {&SlowAccessibilityBus::OnCall, nullptr, nullptr, {}};
        const guint object = bus ? g_dbus_connection_register_object(bus, "/org/a11y/bus", node->interfaces[0], &vtable,
                                                                     this, nullptr, nullptr)
                                 : 0;
        g_dbus_node_info_unref(node);
        GVariant* owned =
            object ? g_dbus_connection_call_sync(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                                                 "org.freedesktop.DBus", "RequestName",
                                                 g_variant_new("(su)", "org.a11y.Bus", 0u), G_VARIANT_TYPE("(u)"),
                                                 G_DBUS_CALL_FLAGS_NONE, 5000, nullptr, nullptr)
                   : nullptr;
        guint32 result = 0;
        if (owned) {
            g_variant_get(owned, "(u)", &result);
            g_variant_unref(owned);
        }
        if (result != 1) {  // DBUS_REQUEST_NAME_REPLY_PRIMARY_OWNER
            failed_ = true;
        } else {
            loop_ = g_main_loop_new(context_, FALSE);
            ready_ = true;
            g_main_loop_run(loop_);
            g_main_loop_unref(loop_);
        }
        if (object) g_dbus_connection_unregister_object(bus, object);
        if (bus) {
            g_dbus_connection_close_sync(bus, nullptr, nullptr);
            g_object_unref(bus);
        }
        g_main_context_pop_thread_default(context_);
        g_main_context_unref(context_);
    }

    static void OnCall(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*, GVariant*,
                       GDBusMethodInvocation* invocation, gpointer self)
    {
        auto* bus = static_cast<SlowAccessibilityBus*>(self);
        ++bus->calls;
        // The answer comes two seconds later.
        GSource* later = g_timeout_source_new(2000);
        g_source_set_callback(
            later,
            [](gpointer data) -> gboolean {
                g_dbus_method_invocation_return_value(static_cast<GDBusMethodInvocation*>(data),
                                                      g_variant_new("(s)", "unix:path=/nonexistent/a11y-bus"));
                return G_SOURCE_REMOVE;
            },
            invocation, nullptr);
        g_source_attach(later, bus->context_);
        g_source_unref(later);
    }

    std::thread thread_;
    GMainContext* context_ = nullptr;
    GMainLoop* loop_ = nullptr;
    std::atomic<bool> ready_{false}, failed_{false};
};

TEST(WebEngineStartTest, TheEngineStartsWithoutTheUiThreadWaitingForTheAccessibilityBus)
{
    SlowAccessibilityBus a11y;
    ASSERT_TRUE(a11y.Start());
    ASSERT_TRUE(lumui::Start());
    UiProbe probe;
    ASSERT_TRUE(probe.Start());

    lumui::StartWebEngineSoon();
    ASSERT_TRUE(lumui::PumpUntil([] { return lumui::WebEngineStarted(); }, 20000));
    // The bus was asked for its address, and the UI thread went on meanwhile.
    EXPECT_GE(a11y.calls.load(), 1);
    EXPECT_LT(probe.LongestStop(), 500);
    probe.Stop();
}

}  // namespace

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    static testdesktop::Desktop desktop;
    const std::string failed = desktop.Start(false);
    if (!failed.empty()) {
        fprintf(stderr, "no test desktop: %s\n", failed.c_str());
        return 1;
    }
    // The toolkit's own accessibility bridge stays out: only the engine asks.
    setenv("NO_AT_BRIDGE", "1", 1);
    unsetenv("AT_SPI_BUS_ADDRESS");
    unsetenv("WEBKIT_A11Y_BUS_ADDRESS");
    setenv("WEBKIT_DISABLE_SANDBOX_THIS_IS_DANGEROUS", "1", 1);
    return RUN_ALL_TESTS();
}
