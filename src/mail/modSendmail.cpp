#include "mail/modSendmail.h"

#include "platform/FileLoader.h"
#include "platform/TextBuffer.h"
#include "platform/Winsock.h"

namespace modSendmail {

QByteArray EncodeGroup(QByteArrayView group)
{
    return group.first(qMin<qsizetype>(3, group.size())).toByteArray().toBase64();
}

Result EncodeAttachment(const QString &path, FileLoader &loader, TextBuffer &output)
{
    output.Clear();
    if (!loader.LoadFile(path))
        return { false, loader.ErrorString() };
    output.SetText(EncodeLines(loader.Text()));
    return {};
}

QByteArray EncodeLines(QByteArrayView bytes)
{
    return bytes.toByteArray().toBase64();
}

QString GetToken(qsizetype, const QString &text, const QString &)
{
    return text;
}

QString DisplayName(const QString &fromAddress)
{
    return GetToken(1, fromAddress, QStringLiteral("@"));
}

QString AttachmentFileName(const QString &attachmentPath)
{
    return attachmentPath.mid(attachmentPath.lastIndexOf(QLatin1Char('\\')) + 1);
}

bool HasAttachment(const QString &attachmentPath)
{
    return !attachmentPath.trimmed().isEmpty();
}

Result CheckHeaderFields(const QString &, const QString &, const QString &, const QString &)
{
    return {};
}

QByteArray Message::joined() const
{
    QByteArray all;
    for (const QByteArray &row : rows)
        all += row;
    return all;
}

Message ComposeMessage(
    const QString &, const QString &, const QString &, const QString &, const QString &, const QByteArray *)
{
    return {};
}

QByteArray DotStuff(QByteArrayView data)
{
    return data.toByteArray();
}

void ConnectToServer(const QString &server, Winsock &socket, const QString &)
{
    socket.SetRemoteHost(server);
    socket.SetRemotePort(25);
    socket.BeginConnect();
}

void Pause(double) { }

QString EhloIdentity(const QString &hostName, const QString &)
{
    return hostName;
}

SendOutcome SendMail(const QString &, const QString &, const QString &, const QString &, Winsock &socket,
    const QString &, const TextBuffer *, const Timeouts &)
{
    socket.Close();
    return {};
}

} // namespace modSendmail
