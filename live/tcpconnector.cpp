#include "tcpconnector.h"

#include <QHostInfo>
#include <QSocketNotifier>
#include <QTimer>
#include <cerrno>
#include <cstring>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace kesta {

TcpConnector::TcpConnector(QObject *parent) : QObject(parent) {}

TcpConnector::~TcpConnector()
{
    if (m_lookupId >= 0)
        QHostInfo::abortHostLookup(m_lookupId);
    closeSocket();
}

void TcpConnector::connectToHost(const QString &host, quint16 port)
{
    m_port = port;
    QHostAddress literal;
    if (literal.setAddress(host)) {
        m_addresses = {literal};
        // As a name lookup does, the outcome arrives from the event loop.
        QTimer::singleShot(0, this, &TcpConnector::tryNextAddress);
        return;
    }
    m_lookupId = QHostInfo::lookupHost(host, this, [this](const QHostInfo &info) {
        m_lookupId = -1;
        if (info.error() != QHostInfo::NoError || info.addresses().isEmpty()) {
            emit failed(info.errorString());
            return;
        }
        m_addresses = info.addresses();
        tryNextAddress();
    });
}

void TcpConnector::tryNextAddress()
{
    closeSocket();
    while (!m_addresses.isEmpty()) {
        const QHostAddress address = m_addresses.takeFirst();
        sockaddr_storage storage{};
        socklen_t length = 0;
        if (address.protocol() == QAbstractSocket::IPv6Protocol) {
            auto *in6 = reinterpret_cast<sockaddr_in6 *>(&storage);
            in6->sin6_family = AF_INET6;
            in6->sin6_port = htons(m_port);
            const Q_IPV6ADDR bytes = address.toIPv6Address();
            std::memcpy(&in6->sin6_addr, &bytes, sizeof bytes);
            const QString scope = address.scopeId();
            if (!scope.isEmpty()) {
                bool numeric = false;
                in6->sin6_scope_id = scope.toUInt(&numeric);
                if (!numeric)
                    in6->sin6_scope_id = ::if_nametoindex(scope.toLocal8Bit().constData());
            }
            length = sizeof(sockaddr_in6);
        } else {
            auto *in4 = reinterpret_cast<sockaddr_in *>(&storage);
            in4->sin_family = AF_INET;
            in4->sin_port = htons(m_port);
            in4->sin_addr.s_addr = htonl(address.toIPv4Address());
            length = sizeof(sockaddr_in);
        }
        m_fd = ::socket(storage.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (m_fd < 0) {
            m_lastError = QString::fromLocal8Bit(std::strerror(errno));
            continue;
        }
        if (::connect(m_fd, reinterpret_cast<const sockaddr *>(&storage), length) == 0 ||
            errno == EINPROGRESS) {
            // Writable once the handshake has ended, either way.
            m_notifier = new QSocketNotifier(m_fd, QSocketNotifier::Write, this);
            connect(m_notifier, &QSocketNotifier::activated, this, &TcpConnector::onWritable);
            return;
        }
        m_lastError = QString::fromLocal8Bit(std::strerror(errno));
        closeSocket();
    }
    emit failed(m_lastError.isEmpty() ? QStringLiteral("no address") : m_lastError);
}

void TcpConnector::onWritable()
{
    m_notifier->setEnabled(false);
    int error = 0;
    socklen_t size = sizeof error;
    if (::getsockopt(m_fd, SOL_SOCKET, SO_ERROR, &error, &size) != 0)
        error = errno;
    int waiting = 0;
    ::ioctl(m_fd, FIONREAD, &waiting);
    // A refusal is the answer to the handshake itself; anything after it (a reset, a
    // close) came from a server that accepted, and what it sent is still to be read.
    const bool accepted = error == 0 || error == ECONNRESET || error == EPIPE || waiting > 0;
    if (!accepted) {
        m_lastError = QString::fromLocal8Bit(std::strerror(error));
        tryNextAddress();
        return;
    }
    delete m_notifier;
    m_notifier = nullptr;
    const int fd = m_fd;
    m_fd = -1;
    emit connected(fd);
}

void TcpConnector::closeSocket()
{
    delete m_notifier;
    m_notifier = nullptr;
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

} // namespace kesta
