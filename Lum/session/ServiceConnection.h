// One connection to the messaging service, built for exactly one call.
//
// Every service call runs on a connection of its own: a TCP socket to the
// service address, a framed transport over it, a binary protocol over that and
// a LumServiceClient over the protocol. CServiceConnection builds the four,
// opens the transport, hands out the client for the one call, and closes and
// releases everything when it goes out of scope.
//
//   CServiceConnection conn;            // address and port from Lum.ini
//   conn.Open();                        // throws TTransportException
//   lum_thrift::StructOnlineResp reply;
//   conn.Client().MaintainOnline(reply, key, lum_thrift::UserStatus::UserStatusPC);
//   conn.Close();
//
// Every failure (refused connection, time-out, a reply cut short, a reply too
// large or malformed, an exception sent by the server, a reply without a
// result) reaches the caller as an exception derived from
// apache::thrift::TException.
#pragma once

#include "Lum/protocol/LumService.h"

#include <memory>
#include <string>

namespace apache { namespace thrift {
class TConfiguration;
namespace transport { class TSocket; class TTransport; }
namespace protocol { class TProtocol; }
}}  // namespace apache::thrift

// Socket time-outs of a service call, in milliseconds (0 waits forever).
struct ServiceTimeouts {
    // Connecting: the service is one address on the campus network, where a
    // connection is made in milliseconds; 5 s covers a slow network, and
    // without a limit a silently dropped connection attempt would hang the
    // worker for the system's TCP retry time (minutes).
    int connectMs = 5000;
    // Sending one request frame (a few hundred bytes): only a peer that stops
    // reading fills the socket buffer, so 5 s is ample.
    int sendMs = 5000;
    // Waiting for the reply: 10 s. The heartbeat runs every 7.2 s and a new
    // one starts whether or not the last has ended, so a service that accepts
    // and then says nothing keeps at most two heartbeat workers waiting, and
    // eight silent heartbeats still switch the client offline in about a
    // minute. A real reply, even one with a thousand pending messages, comes
    // back in well under a second.
    int recvMs = 10000;
};

// Limits on what a reply may announce, so that a corrupted or hostile reply
// ends the call with an exception instead of a huge allocation.
struct ServiceLimits {
    // One reply is one frame. 16 MB is far above any real reply (a heartbeat
    // with a thousand messages is about 100 KB) and is the library's own
    // default frame limit; the message limit is the same, as a message is one
    // frame.
    int maxFrameBytes = 16 * 1024 * 1024;
    // No string can be longer than its frame; without this limit a string
    // length that runs past the end of the frame is allocated in full first.
    int maxStringBytes = 16 * 1024 * 1024;
    // Lists and maps are sized before their elements are read; 100,000
    // elements is far above any real list (friends, group members, pending
    // messages) and bounds that allocation to some tens of megabytes.
    int maxContainerElements = 100000;
};

// Time-outs used by connections built without explicit ones. The defaults are
// the ones above; tests shorten them so that a silent server costs a second.
ServiceTimeouts GetServiceTimeouts();
void SetServiceTimeouts(const ServiceTimeouts& timeouts);

class CServiceConnection {
public:
    // The service address and port of Lum.ini beside the program, with the
    // current default time-outs.
    CServiceConnection();
    CServiceConnection(const std::string& host, int port);
    CServiceConnection(const std::string& host, int port, const ServiceTimeouts& timeouts,
                       const ServiceLimits& limits = ServiceLimits());
    ~CServiceConnection();

    CServiceConnection(const CServiceConnection&) = delete;
    CServiceConnection& operator=(const CServiceConnection&) = delete;

    // Connects. Throws TTransportException when the service cannot be reached.
    void Open();
    // Closes the connection; harmless when it is not open.
    void Close();
    bool IsOpen() const;

    lum_thrift::LumServiceClient& Client() { return *m_client; }
    const std::shared_ptr<apache::thrift::transport::TTransport>& Transport() const { return m_transport; }

private:
    explicit CServiceConnection(const struct EndpointConfig& config);

    std::shared_ptr<apache::thrift::transport::TSocket> m_socket;
    std::shared_ptr<apache::thrift::transport::TTransport> m_transport;
    std::shared_ptr<apache::thrift::protocol::TProtocol> m_protocol;
    std::unique_ptr<lum_thrift::LumServiceClient> m_client;
};

// The binary protocol over a framed transport, with the limits above applied
// to both; exposed so that a request can be encoded into a memory buffer
// exactly as a connection encodes it.
std::shared_ptr<apache::thrift::protocol::TProtocol> MakeServiceProtocol(
    const std::shared_ptr<apache::thrift::transport::TTransport>& framed, const ServiceLimits& limits);
std::shared_ptr<apache::thrift::TConfiguration> MakeServiceConfiguration(const ServiceLimits& limits);
