#include "tests/standin/StandinWeb.h"

#include <httplib.h>

#include <thread>

namespace standin {

struct StandinWeb::Impl {
    httplib::Server server;
    std::thread thread;
    int port = -1;
};

StandinWeb::StandinWeb() : impl_(std::make_unique<Impl>()) {}

StandinWeb::~StandinWeb()
{
    Stop();
}

int StandinWeb::Start(int port, const std::string& root)
{
    if (impl_->port >= 0) return impl_->port;
    if (!impl_->server.set_mount_point("/", root)) return -1;
    // Query strings only defeat caches; the files are served whatever they say.
    impl_->port = port == 0 ? impl_->server.bind_to_any_port("127.0.0.1")
                            : (impl_->server.bind_to_port("127.0.0.1", port) ? port : -1);
    if (impl_->port < 0) return -1;
    impl_->thread = std::thread([this] { impl_->server.listen_after_bind(); });
    return impl_->port;
}

void StandinWeb::Stop()
{
    if (impl_->port < 0) return;
    impl_->server.stop();
    if (impl_->thread.joinable()) impl_->thread.join();
    impl_->port = -1;
}

std::string StandinWeb::BaseUrl() const
{
    return "http://127.0.0.1:" + std::to_string(impl_->port);
}

}  // namespace standin
