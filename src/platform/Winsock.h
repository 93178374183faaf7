#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

class QTcpSocket;

// The TCP client socket component of the mail window: set the remote host and
// port, connect, send, close. It reports an open connection with the signal
// Connect() and a failed or broken one with Error(number, description, source);
// what the server sends is collected and announced with DataArrival(), and an
// orderly close by the server with PeerClosed().
//
// Error numbers are those of the sockets API that the component's users know
// (10061 connection refused, 11001 host not found, ...); the source is the
// object's name ("Winsock1" in the mail window), or "Winsock" when it has none.
//
// The operation that starts a connection is called BeginConnect because a
// member function may not share the name and signature of the Connect() signal.
class Winsock : public QObject {
    Q_OBJECT
public:
    enum ErrorNumber {
        WrongState = 40006, // a connect or send in the wrong connection state
        ConnectionAborted = 10053,
        ConnectionReset = 10054,
        TimedOut = 10060,
        ConnectionRefused = 10061,
        HostNotFound = 11001,
        InvalidPort = 10049,
        OtherError = 10050, // anything else the network layer reports
    };

    explicit Winsock(QObject *parent = nullptr);
    ~Winsock() override;

    QString RemoteHost() const { return m_remoteHost; }
    void SetRemoteHost(const QString &host) { m_remoteHost = host; }
    int RemotePort() const { return m_remotePort; }
    void SetRemotePort(int port) { m_remotePort = port; }

    // Starts a connection to RemoteHost:RemotePort and returns at once; a
    // connection still open or under way is dropped first. The result arrives
    // as Connect() or Error().
    void BeginConnect();
    // Queues the bytes after everything queued before and returns without
    // waiting. False (and an Error signal) when no connection is open.
    bool SendData(const QByteArray &bytes);
    // Waits (processing events) until everything queued has been handed to the
    // network, up to `msecs`; false when the connection broke first.
    bool Flush(int msecs);
    // Closes the connection after what is queued has been written; an
    // unfinished connection attempt is abandoned.
    void Close();

    bool IsConnected() const;
    // The names of the local end of the open connection: the machine's host
    // name, and the local address in text form ("127.0.0.1", "::1").
    QString LocalHostName() const;
    QString LocalIP() const;

    // Returns and removes everything received and not yet taken.
    QByteArray GetData();

Q_SIGNALS:
    void Connect();
    void Error(int number, const QString &description, const QString &source);
    void DataArrival(qint64 bytesTotal);
    void PeerClosed();
    // Close() ended the connection: lets whoever waits for the server stop waiting.
    void Closed();

private:
    void onErrorOccurred();
    QString source() const;

    QTcpSocket *m_socket;
    QString m_remoteHost;
    int m_remotePort = 0;
};
