#include "Lum/session/ServiceConnection.h"

#include "platform/config.h"

#include <thrift/TConfiguration.h>
#include <thrift/protocol/TBinaryProtocol.h>
#include <thrift/transport/TBufferTransports.h>
#include <thrift/transport/TSocket.h>

#include <mutex>

using apache::thrift::TConfiguration;
using apache::thrift::protocol::TBinaryProtocol;
using apache::thrift::protocol::TProtocol;
using apache::thrift::transport::TFramedTransport;
using apache::thrift::transport::TSocket;
using apache::thrift::transport::TTransport;

namespace {

std::mutex g_timeoutsLock;
ServiceTimeouts g_timeouts;

}  // namespace

ServiceTimeouts GetServiceTimeouts()
{
    std::lock_guard<std::mutex> lock(g_timeoutsLock);
    return g_timeouts;
}

void SetServiceTimeouts(const ServiceTimeouts& timeouts)
{
    std::lock_guard<std::mutex> lock(g_timeoutsLock);
    g_timeouts = timeouts;
}

std::shared_ptr<TConfiguration> MakeServiceConfiguration(const ServiceLimits& limits)
{
    return std::make_shared<TConfiguration>(limits.maxFrameBytes, limits.maxFrameBytes);
}

std::shared_ptr<TProtocol> MakeServiceProtocol(const std::shared_ptr<TTransport>& framed,
                                               const ServiceLimits& limits)
{
    // Strict writing (versioned message header), lenient reading (both header
    // forms accepted), with the size limits.
    return std::make_shared<TBinaryProtocol>(framed, limits.maxStringBytes, limits.maxContainerElements,
                                             /*strict_read=*/false, /*strict_write=*/true);
}

CServiceConnection::CServiceConnection() : CServiceConnection(GetEndpointConfig()) {}

CServiceConnection::CServiceConnection(const EndpointConfig& config)
    : CServiceConnection(config.serviceHost.GetString(), config.servicePort)
{
}

CServiceConnection::CServiceConnection(const std::string& host, int port)
    : CServiceConnection(host, port, GetServiceTimeouts())
{
}

CServiceConnection::CServiceConnection(const std::string& host, int port, const ServiceTimeouts& timeouts,
                                       const ServiceLimits& limits)
{
    std::shared_ptr<TConfiguration> config = MakeServiceConfiguration(limits);
    m_socket = std::make_shared<TSocket>(host, port, config);
    m_socket->setConnTimeout(timeouts.connectMs);
    m_socket->setSendTimeout(timeouts.sendMs);
    m_socket->setRecvTimeout(timeouts.recvMs);
    m_transport = std::make_shared<TFramedTransport>(m_socket, config);
    m_protocol = MakeServiceProtocol(m_transport, limits);
    m_client = std::make_unique<lum_thrift::LumServiceClient>(m_protocol);
}

CServiceConnection::~CServiceConnection()
{
    // Release in the reverse order of construction; the client never closes
    // the transport itself.
    try {
        Close();
    } catch (...) {
        // Closing a broken connection may fail; there is nothing left to do.
    }
    m_client.reset();
    m_protocol.reset();
    m_transport.reset();
    m_socket.reset();
}

void CServiceConnection::Open()
{
    m_transport->open();
}

void CServiceConnection::Close()
{
    if (m_transport && m_transport->isOpen()) m_transport->close();
}

bool CServiceConnection::IsOpen() const
{
    return m_transport && m_transport->isOpen();
}
