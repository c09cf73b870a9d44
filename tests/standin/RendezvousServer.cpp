#include "tests/standin/RendezvousServer.h"

#include <arpa/inet.h>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <regex>
#include <sys/socket.h>
#include <unistd.h>

namespace standin {

namespace {

// The decimal value of attribute `name` (quoted with ' or "), or -1.
int Attribute(const std::string& text, const std::string& name)
{
    const std::regex re("\\b" + name + "\\s*=\\s*['\"](-?[0-9]+)['\"]");
    std::smatch m;
    if (!std::regex_search(text, m, re)) return -1;
    return std::atoi(m[1].str().c_str());
}

}  // namespace

RendezvousServer::~RendezvousServer()
{
    Stop();
}

int RendezvousServer::Start(int port)
{
    listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listenFd_ < 0) return 0;
    const int on = 1;
    ::setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<uint16_t>(port));
    socklen_t len = sizeof a;
    if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(listenFd_, 16) != 0 ||
        ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
        ::close(listenFd_);
        listenFd_ = -1;
        return 0;
    }
    port_ = ntohs(a.sin_port);
    running_ = true;
    acceptThread_ = std::thread([this] { AcceptLoop(); });
    return port_;
}

void RendezvousServer::Stop()
{
    if (!running_.exchange(false)) return;
    ::shutdown(listenFd_, SHUT_RDWR);
    if (acceptThread_.joinable()) acceptThread_.join();
    ::close(listenFd_);
    listenFd_ = -1;
    std::vector<std::thread> threads;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (int fd : openFds_) ::shutdown(fd, SHUT_RDWR);
        threads.swap(connections_);
    }
    for (std::thread& t : threads) t.join();
}

void RendezvousServer::SetAnswerAddress(int userId, const std::string& ip, int port)
{
    std::lock_guard<std::mutex> lock(mutex_);
    answerAddress_[userId] = {ip, port};
}

std::vector<RendezvousServer::Request> RendezvousServer::Requests() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
}

size_t RendezvousServer::Accepted() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return connections_.size();
}

void RendezvousServer::AcceptLoop()
{
    while (running_) {
        pollfd p{listenFd_, POLLIN, 0};
        if (::poll(&p, 1, 50) <= 0) continue;
        const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) continue;
        std::lock_guard<std::mutex> lock(mutex_);
        openFds_.push_back(fd);
        connections_.emplace_back([this, fd] { Serve(fd); });
    }
}

void RendezvousServer::Serve(int fd)
{
    auto finish = [&] {
        std::lock_guard<std::mutex> lock(mutex_);
        openFds_.erase(std::remove(openFds_.begin(), openFds_.end(), fd), openFds_.end());
        ::close(fd);
    };
    if (fault_ == Fault::kCloseAtOnce) return finish();
    sockaddr_in peer{};
    socklen_t len = sizeof peer;
    ::getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &len);
    char ip[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &peer.sin_addr, ip, sizeof ip);

    // One command, read until its end tag (at most 4 KiB, 5 s).
    std::string text;
    char buffer[1024];
    while (running_ && text.find("</q>") == std::string::npos && text.size() < 4096) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 5000) <= 0) break;
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0) break;
        text.append(buffer, static_cast<size_t>(n));
    }
    Request r;
    r.cmd = Attribute(text, "cmd");
    r.fromid = Attribute(text, "fromid");
    r.gid = Attribute(text, "gid");
    r.toid = Attribute(text, "toid");
    r.ip = ip;
    r.port = ntohs(peer.sin_port);
    const bool valid = text.find("<hole") != std::string::npos && (r.cmd == 11 || r.cmd == 12) && r.fromid > 0 &&
                       r.toid > 0;
    std::string answer;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (valid) {
            requests_.push_back(r);
            seen_[{r.fromid, r.toid}] = r;
            auto other = seen_.find({r.toid, r.fromid});
            if (other != seen_.end()) {
                std::pair<std::string, int> address{other->second.ip, other->second.port};
                auto given = answerAddress_.find(r.toid);
                if (given != answerAddress_.end()) address = given->second;
                answer = "<q cmd='" + std::to_string(r.cmd) + "'><hole fromid='" + std::to_string(r.toid) +
                         "' fromip='" + address.first + "' fromport='" + std::to_string(address.second) +
                         "' toid='" + std::to_string(r.fromid) + "' gid='" + std::to_string(r.gid) + "'/></q>";
            }
        }
    }
    if (fault_ == Fault::kSilent) {
        // Holds the connection open without a word until the client leaves.
        while (running_) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 50) > 0 && ::recv(fd, buffer, sizeof buffer, 0) <= 0) break;
        }
        return finish();
    }
    if (!answer.empty()) ::send(fd, answer.data(), answer.size(), MSG_NOSIGNAL);
    finish();
}

}  // namespace standin
