#pragma once

#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QString>

class QSocketNotifier;

namespace kesta {

// Makes a TCP connection to a host's addresses in turn, without blocking, and hands
// the connected descriptor on. Written on the socket calls rather than left to
// QTcpSocket::connectToHost because of a server that accepts, sends and resets at
// once: by the time the connection is looked at, it may already be reset, and
// QTcpSocket then reports "Connection refused" and closes the socket with the data
// unread. Here a connection the server accepted is a connection, whatever happened
// to it since; what it delivered is read from the descriptor before its end.
class TcpConnector : public QObject
{
    Q_OBJECT

public:
    explicit TcpConnector(QObject *parent = nullptr);
    // A connection still being made is given up.
    ~TcpConnector() override;

    void connectToHost(const QString &host, quint16 port);

signals:
    // The server accepted: the descriptor (non-blocking) is now the receiver's.
    void connected(qintptr descriptor);
    // No address could be connected to; the reason of the last attempt.
    void failed(const QString &reason);

private:
    void tryNextAddress();
    void onWritable();
    void closeSocket();

    QList<QHostAddress> m_addresses;
    quint16 m_port = 0;
    int m_fd = -1;
    int m_lookupId = -1;
    QSocketNotifier *m_notifier = nullptr;
    QString m_lastError;
};

} // namespace kesta
