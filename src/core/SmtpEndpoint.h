#pragma once

#include <QString>

// Where a send connects to and how it protects the connection, from what the
// user typed into the server field and chose in the connection settings.
namespace smtp {

// How the connection to the server is protected.
enum class Security {
    StartTlsWhenOffered, // STARTTLS when the server offers it, plain text otherwise
    StartTlsRequired, // STARTTLS, or no send at all
    ImplicitTls, // TLS from the first byte (the usual choice for port 465)
    None, // plain text, as mail went before these settings existed
};

// The plain SMTP port, and the one where TLS starts with the connection.
constexpr int smtpPort = 25;
constexpr int implicitTlsPort = 465;

// The server field: "host", "host:port", "[IPv6-address]:port" or an IPv6
// address alone. Blanks around the text are ignored. `port` is 0 when the text
// names none; `error` says, for the user, why a text is no server.
struct ServerAddress {
    QString host;
    int port = 0;
    QString error;

    bool ok() const { return error.isEmpty(); }
};

ServerAddress parseServerAddress(const QString &text);

// What the user chose in the connection settings; a port of 0 means "the one
// the server field names, or the usual one".
struct ConnectionChoice {
    int port = 0;
    Security security = Security::StartTlsWhenOffered;
};

struct Endpoint {
    QString host;
    int port = smtpPort;
    Security security = Security::StartTlsWhenOffered;
    QString error; // why the server field cannot be used

    bool ok() const { return error.isEmpty(); }
};

// The port from the server field wins over the settings; without either it is
// 25, or 465 for TLS from the start. The default security on port 465 is TLS
// from the start, since nothing there answers in plain text.
Endpoint resolveEndpoint(const QString &serverField, const ConnectionChoice &choice);

} // namespace smtp
