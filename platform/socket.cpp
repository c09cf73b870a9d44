#include "platform/socket.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

thread_local int t_lastError = 0;

int Fd(SOCKET s)
{
    return static_cast<int>(s);
}

// The system's error as the transfer's error codes.
int Translate(int err)
{
    switch (err) {
    case EAGAIN:
    case EINPROGRESS:
        return WSAEWOULDBLOCK;
    case ECONNRESET:
    case EPIPE:
        return WSAECONNRESET;
    case ECONNABORTED:
        return WSAECONNABORTED;
    case ETIMEDOUT:
        return WSAETIMEDOUT;
    case ECONNREFUSED:
        return WSAECONNREFUSED;
    case EADDRINUSE:
        return WSAEADDRINUSE;
    case EADDRNOTAVAIL:
        return WSAEADDRNOTAVAIL;
    default:
        return err;
    }
}

int Fail(int err)
{
    t_lastError = Translate(err);
    return SOCKET_ERROR;
}

bool Resolve(LPCSTR host, int port, sockaddr_in* out)
{
    std::memset(out, 0, sizeof *out);
    out->sin_family = AF_INET;
    out->sin_port = htons(static_cast<uint16_t>(port));
    if (!host || !*host) return false;
    if (inet_pton(AF_INET, host, &out->sin_addr) == 1) return true;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(host, nullptr, &hints, &found) != 0 || !found) return false;
    out->sin_addr = reinterpret_cast<sockaddr_in*>(found->ai_addr)->sin_addr;
    freeaddrinfo(found);
    return true;
}

bool SetBlocking(int fd, bool blocking)
{
    const int flags = fcntl(fd, F_GETFL, 0);
    if (flags < 0) return false;
    return fcntl(fd, F_SETFL, blocking ? (flags & ~O_NONBLOCK) : (flags | O_NONBLOCK)) == 0;
}

bool PollFor(int fd, short events, DWORD timeoutMs)
{
    pollfd p{fd, events, 0};
    for (;;) {
        const int n = poll(&p, 1, timeoutMs == 0xFFFFFFFFu ? -1 : static_cast<int>(timeoutMs));
        if (n < 0 && errno == EINTR) continue;
        return n > 0;
    }
}

}  // namespace

SOCKET TcpSocket()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
    if (fd < 0) {
        Fail(errno);
        return INVALID_SOCKET;
    }
    return fd;
}

int closesocket(SOCKET s)
{
    if (s == INVALID_SOCKET) return SOCKET_ERROR;
    return ::close(Fd(s)) == 0 ? 0 : Fail(errno);
}

void ShutdownSocket(SOCKET s)
{
    if (s != INVALID_SOCKET) ::shutdown(Fd(s), SHUT_RDWR);
}

BOOL SetReuseAddr(SOCKET s)
{
    const int on = 1;
    if (::setsockopt(Fd(s), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0) return Fail(errno), FALSE;
    // Here a listening port is shared only with SO_REUSEPORT as well.
    if (::setsockopt(Fd(s), SOL_SOCKET, SO_REUSEPORT, &on, sizeof on) != 0) return Fail(errno), FALSE;
    return TRUE;
}

BOOL BindPort(SOCKET s, unsigned short port)
{
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_ANY);
    a.sin_port = htons(port);
    if (::bind(Fd(s), reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) return Fail(errno), FALSE;
    return TRUE;
}

unsigned short SocketLocalPort(SOCKET s)
{
    sockaddr_in a{};
    socklen_t len = sizeof a;
    if (::getsockname(Fd(s), reinterpret_cast<sockaddr*>(&a), &len) != 0) return 0;
    return ntohs(a.sin_port);
}

BOOL ConnectSocket(SOCKET s, LPCSTR host, int port, DWORD timeoutMs)
{
    sockaddr_in a;
    if (!Resolve(host, port, &a)) return Fail(EHOSTUNREACH), FALSE;
    const int fd = Fd(s);
    if (!SetBlocking(fd, false)) return Fail(errno), FALSE;
    int rc = ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    bool ok = rc == 0;
    if (!ok && errno == EINPROGRESS) {
        if (PollFor(fd, POLLOUT, timeoutMs)) {
            int err = 0;
            socklen_t len = sizeof err;
            ok = ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) == 0 && err == 0;
            if (!ok) Fail(err);
        } else {
            Fail(ETIMEDOUT);
        }
    } else if (!ok) {
        Fail(errno);
    }
    SetBlocking(fd, true);
    if (ok) {
        const int on = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    }
    return ok ? TRUE : FALSE;
}

BOOL ListenSocket(SOCKET s, int backlog)
{
    if (::listen(Fd(s), backlog) != 0) return Fail(errno), FALSE;
    return TRUE;
}

SOCKET AcceptSocket(SOCKET listener, DWORD timeoutMs, CString* peerAddress, int* peerPort)
{
    if (!PollFor(Fd(listener), POLLIN, timeoutMs)) return INVALID_SOCKET;
    sockaddr_in a{};
    socklen_t len = sizeof a;
    const int fd = ::accept4(Fd(listener), reinterpret_cast<sockaddr*>(&a), &len, SOCK_CLOEXEC);
    if (fd < 0) {
        Fail(errno);
        return INVALID_SOCKET;
    }
    if (peerAddress) *peerAddress = Ipv4Text(ntohl(a.sin_addr.s_addr));
    if (peerPort) *peerPort = ntohs(a.sin_port);
    return fd;
}

BOOL SetCloseResets(SOCKET s)
{
    const linger now{1, 0};
    if (::setsockopt(Fd(s), SOL_SOCKET, SO_LINGER, &now, sizeof now) != 0) return Fail(errno), FALSE;
    return TRUE;
}

BOOL SetSocketTimeouts(SOCKET s, DWORD receiveMs, DWORD sendMs)
{
    timeval r{static_cast<time_t>(receiveMs / 1000), static_cast<suseconds_t>((receiveMs % 1000) * 1000)};
    timeval w{static_cast<time_t>(sendMs / 1000), static_cast<suseconds_t>((sendMs % 1000) * 1000)};
    if (::setsockopt(Fd(s), SOL_SOCKET, SO_RCVTIMEO, &r, sizeof r) != 0) return Fail(errno), FALSE;
    if (::setsockopt(Fd(s), SOL_SOCKET, SO_SNDTIMEO, &w, sizeof w) != 0) return Fail(errno), FALSE;
    return TRUE;
}

BOOL WaitReadable(SOCKET s, DWORD timeoutMs)
{
    return PollFor(Fd(s), POLLIN, timeoutMs) ? TRUE : FALSE;
}

int SocketRecv(SOCKET s, char* buffer, int length)
{
    for (;;) {
        const ssize_t n = ::recv(Fd(s), buffer, static_cast<size_t>(length), 0);
        if (n >= 0) return static_cast<int>(n);
        if (errno == EINTR) continue;
        // A receive time-out reports "would block"; it is a time-out here.
        return Fail(errno == EAGAIN ? ETIMEDOUT : errno);
    }
}

int SocketSend(SOCKET s, const char* buffer, int length)
{
    for (;;) {
        const ssize_t n = ::send(Fd(s), buffer, static_cast<size_t>(length), MSG_NOSIGNAL);
        if (n >= 0) return static_cast<int>(n);
        if (errno == EINTR) continue;
        return Fail(errno == EAGAIN ? ETIMEDOUT : errno);
    }
}

BOOL SendAll(SOCKET s, const char* buffer, int length)
{
    while (length > 0) {
        const int n = SocketSend(s, buffer, length);
        if (n <= 0) return FALSE;
        buffer += n;
        length -= n;
    }
    return TRUE;
}

int WSAGetLastError()
{
    return t_lastError;
}

CString Ipv4Text(uint32_t hostOrder)
{
    CString text;
    text.Format("%u.%u.%u.%u", (hostOrder >> 24) & 0xFF, (hostOrder >> 16) & 0xFF, (hostOrder >> 8) & 0xFF,
                hostOrder & 0xFF);
    return text;
}

uint32_t Ipv4FromText(LPCSTR dotted)
{
    in_addr a{};
    if (!dotted || inet_pton(AF_INET, dotted, &a) != 1) return 0;
    return ntohl(a.s_addr);
}
