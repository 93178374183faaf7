#include "platform/Winsock.h"

#include "platform/SignalWait.h"

#include <QElapsedTimer>
#include <QHostInfo>
#include <QPointer>
#include <QTcpSocket>
#include <QTimer>

Winsock::Winsock(QObject *parent) : QObject(parent), m_socket(new QTcpSocket(this))
{
    connect(m_socket, &QTcpSocket::connected, this, &Winsock::Connect);
    connect(m_socket, &QTcpSocket::errorOccurred, this, &Winsock::onErrorOccurred);
    connect(
        m_socket, &QTcpSocket::readyRead, this, [this] { Q_EMIT DataArrival(m_socket->bytesAvailable()); });
}

Winsock::~Winsock()
{
    // No signal may reach a half-destroyed owner.
    m_socket->disconnect(this);
    m_socket->abort();
}

void Winsock::BeginConnect()
{
    if (m_socket->state() != QAbstractSocket::UnconnectedState)
        m_socket->abort();
    if (m_remotePort < 1 || m_remotePort > 65535) {
        // Reported like every other failure: later, as an event.
        QTimer::singleShot(0, this, [this, port = m_remotePort] {
            Q_EMIT Error(InvalidPort, QStringLiteral("The port number %1 is not valid.").arg(port), source());
        });
        return;
    }
    m_socket->connectToHost(m_remoteHost, static_cast<quint16>(m_remotePort));
}

bool Winsock::SendData(const QByteArray &bytes)
{
    if (m_socket->state() != QAbstractSocket::ConnectedState) {
        Q_EMIT Error(WrongState, QStringLiteral("The connection is not open."), source());
        return false;
    }
    return m_socket->write(bytes) == bytes.size();
}

bool Winsock::Flush(int msecs)
{
    QPointer<Winsock> self(this);
    QElapsedTimer sinceProgress;
    sinceProgress.start();
    while (self && m_socket->state() == QAbstractSocket::ConnectedState && m_socket->bytesToWrite() > 0) {
        const qint64 pending = m_socket->bytesToWrite();
        const qint64 left = msecs - sinceProgress.elapsed();
        if (left <= 0)
            return false;
        SignalWait()
            .on(m_socket, &QTcpSocket::bytesWritten)
            .on(m_socket, &QTcpSocket::stateChanged)
            .on(this, &QObject::destroyed)
            .run(static_cast<int>(left));
        if (!self)
            return false;
        if (m_socket->bytesToWrite() < pending)
            sinceProgress.restart();
    }
    return self && m_socket->state() == QAbstractSocket::ConnectedState;
}

void Winsock::Close()
{
    if (m_socket->state() == QAbstractSocket::ConnectedState)
        m_socket->disconnectFromHost();
    else
        m_socket->abort();
    Q_EMIT Closed();
}

bool Winsock::IsConnected() const
{
    return m_socket->state() == QAbstractSocket::ConnectedState;
}

QString Winsock::LocalHostName() const
{
    return QHostInfo::localHostName();
}

QString Winsock::LocalIP() const
{
    return m_socket->localAddress().toString();
}

QByteArray Winsock::GetData()
{
    return m_socket->readAll();
}

void Winsock::onErrorOccurred()
{
    int number = OtherError;
    switch (m_socket->error()) {
    case QAbstractSocket::RemoteHostClosedError:
        // An orderly close by the server is no failure of the socket.
        Q_EMIT PeerClosed();
        return;
    case QAbstractSocket::ConnectionRefusedError:
        number = ConnectionRefused;
        break;
    case QAbstractSocket::HostNotFoundError:
        number = HostNotFound;
        break;
    case QAbstractSocket::SocketTimeoutError:
        number = TimedOut;
        break;
    case QAbstractSocket::NetworkError:
        number = ConnectionReset;
        break;
    case QAbstractSocket::OperationError:
        number = WrongState;
        break;
    default:
        break;
    }
    Q_EMIT Error(number, m_socket->errorString(), source());
}

QString Winsock::source() const
{
    return objectName().isEmpty() ? QStringLiteral("Winsock") : objectName();
}
