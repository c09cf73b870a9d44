// Serves a bound HTTP server on a thread of its own.
#pragma once

#include <httplib.h>

#include <chrono>
#include <thread>

// Starts `server`, already bound to its port, on a new thread and returns
// once it accepts connections (at most 10 s). A stop() that came before the
// server ran would be lost, and the thread would then never end.
inline std::thread ServeInBackground(httplib::Server& server)
{
    std::thread thread([&server] { server.listen_after_bind(); });
    for (int i = 0; i < 10000 && !server.is_running(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return thread;
}
