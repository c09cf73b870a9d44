// The stand-in rendezvous server: pairs the clients' requests to reach each
// other and tells each the other's address, on loopback, for tests and local
// runs. A test tool, not part of the product.
//
// A client connects, sends one command and keeps the connection open for a
// moment:
//   <q cmd='11'><hole fromid='A' gid='G' toid='B'/></q>   (12 alike)
// The server notes A's address and port as it sees them (the connection's
// far end) under the pair (A, B). When B has asked for A before, it answers
// on A's connection with B's address:
//   <q cmd='11'><hole fromid='B' fromip='1.2.3.4' fromport='P' toid='A' gid='G'/></q>
// (cmd as A sent it, gid as A sent it) and closes the connection; otherwise
// it closes without an answer.
#pragma once

#include <atomic>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace standin {

class RendezvousServer {
public:
    // How the server misbehaves on purpose.
    enum class Fault {
        kNone,
        kSilent,     // accepts and reads, never answers, keeps the connection open
        kCloseAtOnce,  // closes every connection before reading
    };

    struct Request {
        int cmd = 0, fromid = 0, gid = 0, toid = 0;
        std::string ip;
        int port = 0;
    };

    RendezvousServer() = default;
    ~RendezvousServer();
    RendezvousServer(const RendezvousServer&) = delete;
    RendezvousServer& operator=(const RendezvousServer&) = delete;

    // Listens on 127.0.0.1:port (0 picks a free port); the port, or 0.
    int Start(int port);
    // Stops listening (later connections are refused) and ends every
    // connection.
    void Stop();
    int Port() const { return port_; }

    void SetFault(Fault fault) { fault_ = fault; }
    // Answers with this address for `userId` instead of the one seen (a
    // test's relay in between, for instance).
    void SetAnswerAddress(int userId, const std::string& ip, int port);
    // Every request read, in order.
    std::vector<Request> Requests() const;
    // How many connections were accepted, requests or not.
    size_t Accepted() const;

private:
    void AcceptLoop();
    void Serve(int fd);

    int listenFd_ = -1;
    int port_ = 0;
    std::atomic<bool> running_{false};
    std::atomic<Fault> fault_{Fault::kNone};
    std::thread acceptThread_;
    mutable std::mutex mutex_;
    std::vector<std::thread> connections_;
    std::vector<int> openFds_;
    std::vector<Request> requests_;
    std::map<std::pair<int, int>, Request> seen_;  // (from, to) -> the request
    std::map<int, std::pair<std::string, int>> answerAddress_;
};

}  // namespace standin
