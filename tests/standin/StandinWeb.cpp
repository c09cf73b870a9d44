#include "tests/standin/StandinWeb.h"
#include "tests/platform/ServeInBackground.h"

#include <httplib.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <sstream>
#include <fstream>
#include <memory>
#include <utility>

namespace standin {

std::string WebRequest::Param(const std::string& name, const std::string& fallback) const
{
    auto it = params.find(name);
    return it == params.end() ? fallback : it->second;
}

WebReply WebReply::Json(std::string body)
{
    WebReply r;
    r.body = std::move(body);
    r.contentType = "application/json; charset=utf-8";
    return r;
}

WebReply WebReply::Number(long long value)
{
    return Text(std::to_string(value));
}

WebReply WebReply::Text(std::string body)
{
    WebReply r;
    r.body = std::move(body);
    return r;
}

WebFault WebFault::Status(int code)
{
    WebFault f;
    f.kind = kStatus;
    f.code = code;
    return f;
}

WebFault WebFault::Timeout(int delayMs)
{
    WebFault f;
    f.kind = kTimeout;
    f.delayMs = delayMs;
    return f;
}

WebFault WebFault::Malformed(std::string body)
{
    WebFault f;
    f.kind = kMalformed;
    f.body = std::move(body);
    return f;
}

WebFault WebFault::Unsized(std::string body)
{
    WebFault f;
    f.kind = kUnsized;
    f.body = std::move(body);
    return f;
}

WebFault WebFault::ChunkedCut(std::string body)
{
    WebFault f;
    f.kind = kChunkedCut;
    f.body = std::move(body);
    return f;
}

struct StandinWeb::Impl {
    httplib::Server server;
    std::thread thread;
    int port = -1;
    StandinService* service = nullptr;

    mutable std::mutex lock;
    std::condition_variable stopCv;  // wakes delayed answers on Stop
    bool stopping = false;
    std::map<std::pair<std::string, std::string>, Handler> handlers;  // (method, path)
    std::map<std::string, WebFault> faults;
    std::vector<WebRequest> requests;
    bool stalled = false;
    std::string stallPrefix;

    // Answers the request when a fault or a handler is registered for its
    // path; false leaves it to the file server.
    bool Dispatch(const httplib::Request& req, httplib::Response& res);
};

bool StandinWeb::Impl::Dispatch(const httplib::Request& req, httplib::Response& res)
{
    WebRequest r;
    r.method = req.method;
    r.path = req.path;
    for (const auto& p : req.params) r.params.emplace(p.first, p.second);
    for (const auto& f : req.files) {
        if (!f.second.filename.empty()) r.files.emplace(f.first, f.second.content);
        r.params.emplace(f.first, f.second.filename.empty() ? f.second.content : f.second.filename);
    }

    const std::string method = r.method == "HEAD" ? "GET" : r.method;
    bool hasFault = false;
    WebFault fault;
    Handler handler;
    {
        std::lock_guard<std::mutex> g(lock);
        requests.push_back(r);
        auto f = faults.find(r.path);
        if (f != faults.end()) {
            hasFault = true;
            fault = f->second;
        }
        auto h = handlers.find({method, r.path});
        if (h != handlers.end()) handler = h->second;
    }

    {
        // Stalled: held, without an answer, until the stall ends or the
        // server stops.
        std::unique_lock<std::mutex> g(lock);
        if (stalled && r.path.compare(0, stallPrefix.size(), stallPrefix) == 0) {
            stopCv.wait(g, [&] { return stopping || !stalled || r.path.compare(0, stallPrefix.size(), stallPrefix) != 0; });
            if (stopping) {
                res.status = 503;
                return true;
            }
        }
    }

    if (hasFault && fault.kind == WebFault::kStatus) {
        res.status = fault.code;
        return true;
    }
    if (hasFault && (fault.kind == WebFault::kUnsized || fault.kind == WebFault::kChunkedCut)) {
        // The bytes go out in one piece; asked for more, the provider fails,
        // which ends the connection there.
        auto body = std::make_shared<std::string>(fault.body);
        auto sent = std::make_shared<bool>(false);
        auto provider = [body, sent](size_t, httplib::DataSink& sink) {
            if (*sent) return false;
            *sent = true;
            sink.write(body->data(), body->size());
            return true;
        };
        res.status = 200;
        if (fault.kind == WebFault::kUnsized)
            res.set_content_provider("application/octet-stream", provider);
        else
            res.set_chunked_content_provider("application/octet-stream", provider);
        return true;
    }
    if (hasFault && fault.kind == WebFault::kTimeout) {
        std::unique_lock<std::mutex> g(lock);
        if (stopCv.wait_for(g, std::chrono::milliseconds(fault.delayMs), [this] { return stopping; })) {
            res.status = 503;
            return true;
        }
    }

    WebReply reply;
    if (handler) {
        reply = handler(r);
    } else if (hasFault && fault.kind == WebFault::kMalformed) {
        reply = WebReply::Text(std::string());
    } else if (method == "POST") {
        reply.status = 404;
    } else {
        return false;
    }
    if (hasFault && fault.kind == WebFault::kMalformed) reply.body = fault.body;
    res.status = reply.status;
    res.set_content(reply.body, reply.contentType.c_str());
    return true;
}

StandinWeb::StandinWeb(StandinService* service) : impl_(std::make_unique<Impl>())
{
    impl_->service = service;
    // An answer goes out whole at once, as web servers send theirs: without
    // this, every answer on a kept connection waits for the client's delayed
    // acknowledgement of its headers.
    impl_->server.set_tcp_nodelay(true);
    // Faults and GET handlers come before the file server; the body of a
    // POST is read only after routing starts, so POSTs go through a route.
    impl_->server.set_pre_routing_handler([this](const httplib::Request& req, httplib::Response& res) {
        if (req.method == "POST") return httplib::Server::HandlerResponse::Unhandled;
        return impl_->Dispatch(req, res) ? httplib::Server::HandlerResponse::Handled
                                         : httplib::Server::HandlerResponse::Unhandled;
    });
    impl_->server.Post(".*", [this](const httplib::Request& req, httplib::Response& res) { impl_->Dispatch(req, res); });
}

StandinWeb::~StandinWeb()
{
    Stop();
}

int StandinWeb::Start(int port, const std::string& root)
{
    if (impl_->port >= 0) return impl_->port;
    if (!impl_->server.set_mount_point("/", root)) return -1;
    {
        std::lock_guard<std::mutex> g(impl_->lock);
        impl_->stopping = false;
    }
    // Pages load jQuery from the web server under the name of the version
    // they were written for; Debian's copy answers for it.
    for (const char* path : {"/js/jquery-1.3.2.min.js", "/js/jquery.min.js"})
        Handle("GET", path, [](const WebRequest&) {
            std::ifstream file("/usr/share/javascript/jquery/jquery.min.js", std::ios::binary);
            WebReply reply;
            if (!file) {
                reply.status = 404;
                return reply;
            }
            std::ostringstream bytes;
            bytes << file.rdbuf();
            reply.body = bytes.str();
            reply.contentType = "application/javascript";
            return reply;
        });
    // Query strings only defeat caches; the files are served whatever they say.
    impl_->port = port == 0 ? impl_->server.bind_to_any_port("127.0.0.1")
                            : (impl_->server.bind_to_port("127.0.0.1", port) ? port : -1);
    if (impl_->port < 0) return -1;
    impl_->thread = ServeInBackground(impl_->server);
    return impl_->port;
}

void StandinWeb::Stop()
{
    if (impl_->port < 0) return;
    {
        std::lock_guard<std::mutex> g(impl_->lock);
        impl_->stopping = true;
    }
    impl_->stopCv.notify_all();
    impl_->server.stop();
    if (impl_->thread.joinable()) impl_->thread.join();
    impl_->port = -1;
}

std::string StandinWeb::BaseUrl() const
{
    return "http://127.0.0.1:" + std::to_string(impl_->port);
}

StandinService* StandinWeb::Service() const
{
    return impl_->service;
}

void StandinWeb::Handle(const std::string& method, const std::string& path, Handler handler)
{
    std::lock_guard<std::mutex> g(impl_->lock);
    impl_->handlers[{method, path}] = std::move(handler);
}

void StandinWeb::SetFault(const std::string& path, const WebFault& fault)
{
    std::lock_guard<std::mutex> g(impl_->lock);
    impl_->faults[path] = fault;
}

void StandinWeb::ClearFaults()
{
    std::lock_guard<std::mutex> g(impl_->lock);
    impl_->faults.clear();
}

void StandinWeb::Stall(const std::string& prefix)
{
    std::lock_guard<std::mutex> g(impl_->lock);
    impl_->stalled = true;
    impl_->stallPrefix = prefix;
}

void StandinWeb::Unstall()
{
    {
        std::lock_guard<std::mutex> g(impl_->lock);
        impl_->stalled = false;
    }
    impl_->stopCv.notify_all();
}

std::vector<WebRequest> StandinWeb::Requests() const
{
    std::lock_guard<std::mutex> g(impl_->lock);
    return impl_->requests;
}

void StandinWeb::ClearRequests()
{
    std::lock_guard<std::mutex> g(impl_->lock);
    impl_->requests.clear();
}

RefusingPort::RefusingPort()
{
    // Bound and never listening: the kernel refuses every connection.
    fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd_ < 0) return;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (::bind(fd_, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &size) != 0)
        return;
    port_ = ntohs(address.sin_port);
}

RefusingPort::~RefusingPort()
{
    if (fd_ >= 0) ::close(fd_);
}

std::string RefusingPort::BaseUrl() const
{
    return "http://127.0.0.1:" + std::to_string(port_);
}

}  // namespace standin
