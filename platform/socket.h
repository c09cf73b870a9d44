// TCP sockets for the peer-to-peer transfer: IPv4 stream sockets with the
// few operations the transfer uses, and the error codes it tests.
//
// Reusing an address: SetReuseAddr lets several sockets of this process
// bind the same local port (the listener and the outgoing connections that
// open a path through address translators share one port).
//
// Sending never raises a signal when the peer has gone; it fails instead.
#pragma once

#include "platform/CString.h"
#include "platform/types.h"

#include <cstdint>

typedef intptr_t SOCKET;
#define INVALID_SOCKET (static_cast<SOCKET>(-1))
#define SOCKET_ERROR (-1)

// Error codes of WSAGetLastError (the calling thread's last socket error).
#define WSAEWOULDBLOCK 10035
#define WSAECONNABORTED 10053
#define WSAECONNRESET 10054
#define WSAETIMEDOUT 10060
#define WSAECONNREFUSED 10061
#define WSAEADDRINUSE 10048
#define WSAEADDRNOTAVAIL 10049

// A new TCP socket (IPv4); INVALID_SOCKET when none could be made.
SOCKET TcpSocket();
int closesocket(SOCKET s);
// Ends both directions: a thread blocked in a receive on `s` returns at once.
void ShutdownSocket(SOCKET s);
BOOL SetReuseAddr(SOCKET s);
// Binds to 0.0.0.0:port (0: any port).
BOOL BindPort(SOCKET s, unsigned short port);
// The local port of a bound or connected socket; 0 when unknown.
unsigned short SocketLocalPort(SOCKET s);
// Connects to host (dotted IPv4 or a name) and port, waiting at most
// `timeoutMs`; the socket is blocking again afterwards. TRUE when connected
// with no socket error.
BOOL ConnectSocket(SOCKET s, LPCSTR host, int port, DWORD timeoutMs);
BOOL ListenSocket(SOCKET s, int backlog);
// Waits up to `timeoutMs` for a connection; INVALID_SOCKET when none came.
// The peer's dotted address and port are filled when asked for.
SOCKET AcceptSocket(SOCKET listener, DWORD timeoutMs, CString* peerAddress = nullptr, int* peerPort = nullptr);
// Makes closing `s` end its connection at once with a reset, without the
// wait a connection closed from this side first is otherwise held in: its
// local port can connect to the same address again right away.
BOOL SetCloseResets(SOCKET s);
// Receive and send time-outs (0: wait forever). A receive or send that times
// out fails with WSAETIMEDOUT.
BOOL SetSocketTimeouts(SOCKET s, DWORD receiveMs, DWORD sendMs);
// Whether data (or the end of the stream) can be read within `timeoutMs`.
BOOL WaitReadable(SOCKET s, DWORD timeoutMs);
// Receive and send: bytes moved, 0 at the end of the stream (receive),
// SOCKET_ERROR on failure (WSAGetLastError tells why).
int SocketRecv(SOCKET s, char* buffer, int length);
int SocketSend(SOCKET s, const char* buffer, int length);
// Sends the whole buffer; FALSE when any part could not be sent.
BOOL SendAll(SOCKET s, const char* buffer, int length);
int WSAGetLastError();
// Dotted IPv4 text of an address in host order, and back (0 when not dotted).
CString Ipv4Text(uint32_t hostOrder);
uint32_t Ipv4FromText(LPCSTR dotted);
