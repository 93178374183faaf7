#pragma once

#include "core/MailAddress.h"
#include "core/MimeMessage.h"
#include "core/SmtpEndpoint.h"
#include "core/SmtpReply.h"
#include "mail/modSendmail.h"

#include <QByteArray>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFutureWatcher>
#include <QList>
#include <QObject>
#include <QSslError>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <optional>

class QSslSocket;

// One send, as the mail window starts it: where to, how, and what.
struct MailJob {
    smtp::Endpoint endpoint;
    // Log in with this name when the server offers AUTH; empty: only when the
    // server asks for a login.
    QString userName;
    // The SHA-256 fingerprint of a certificate the user chose to trust for
    // this server although its check fails.
    QString trustedFingerprint;
    // The user allowed plain text after a failed certificate check (STARTTLS
    // when offered, without a login).
    bool plainAfterTlsFailure = false;

    QString fromAddress;
    QString toAddress;
    QString subject;
    QString body;
    QString attachmentPath; // blanks only: no attachment
};

// How a send ended.
struct MailOutcome {
    enum class Kind {
        Sent,
        Cancelled,
        Failed, // refused, unanswered or broken off; `message` says which
        ConnectionFailed, // no connection: `socketError` and `socketErrorText`
        CertificateRejected, // `certificateProblem`, `fingerprint`
        AttachmentUnreadable,
    };
    Kind kind = Kind::Failed;
    QString message; // for the user
    QString serverReply; // the last reply, all its lines
    bool mayHaveBeenDelivered = false; // the end of data went out before the end
    int socketError = 0;
    QString socketErrorText;
    QString certificateProblem;
    QString fingerprint;
    // A failed check in "STARTTLS when offered" without a login: the user may
    // choose to send in plain text instead.
    bool plainFallbackPossible = false;
    QStringList recipients; // who the server took the mail for
    QDateTime when; // when the server took it
};

// The SMTP client: one send at a time as a state machine driven by the
// socket's signals (connect, greeting, EHLO, STARTTLS, AUTH, MAIL, RCPT, DATA,
// end of data, QUIT). It reports its steps, what it waits for and its one
// outcome by signals, never waits in a loop of its own, and can be cancelled
// at any step. The attachment is read and encoded on a worker thread first.
class SmtpClient : public QObject {
    Q_OBJECT
public:
    enum class Step {
        Encoding, // reading and encoding the attachment
        Connecting,
        Connected, // the connection stands, the dialogue begins
        Securing, // TLS handshake
        LoggingIn,
        Sending, // the envelope and the message
    };

    // How long a reply may take: RFC 5321 4.5.3.2's generous values where the
    // server may be working, since the user can always cancel.
    struct Timeouts {
        int connectMs = 60000;
        int greetingMs = 300000;
        int commandMs = 300000;
        int dataStartMs = 120000;
        int uploadStallMs = 180000; // the message: no byte taken for this long
        int dataEndMs = 600000;
        int quitMs = 10000;
    };

    explicit SmtpClient(QObject *parent = nullptr);
    ~SmtpClient() override;

    void setTimeouts(const Timeouts &timeouts) { m_timeouts = timeouts; }

    // Starts a send; one that is still running is cancelled first.
    void start(const MailJob &job);
    // Answers loginNeeded: goes on with AUTH.
    void provideLogin(const QString &user, const QString &password);
    // Ends the send at once: a QUIT where the dialogue allows, otherwise the
    // connection is dropped. finished(Cancelled) follows before it returns.
    void cancel();
    bool isRunning() const { return m_state != State::Idle; }

Q_SIGNALS:
    void stepChanged(SmtpClient::Step step);
    // A wait that lasts: what the client waits for and for how long so far.
    // Emitted every second from the third second of a wait.
    void waiting(const QString &what, int seconds);
    // The server wants a login and the connection is encrypted: answer with
    // provideLogin() or cancel(). `reason` is empty at the first request and
    // says why the last login failed afterwards.
    void loginNeeded(const QString &userName, const QString &reason);
    // The server took the login given by provideLogin().
    void loginAccepted(const QString &userName);
    void finished(const MailOutcome &outcome);

private:
    enum class State {
        Idle,
        Encoding,
        Connecting,
        Greeting,
        Ehlo,
        Helo,
        StartTls,
        Handshake,
        AwaitingLogin,
        AuthPlain,
        AuthLogin,
        AuthLoginUser,
        AuthLoginPassword,
        MailFrom,
        RcptTo,
        Data,
        Upload,
        DataEnd,
    };

    void onEncoded();
    void connectToServer();
    void onConnected();
    void onEncrypted();
    void onSslErrors(const QList<QSslError> &errors);
    void onSocketError();
    void onReadyRead();
    void onBytesWritten();
    void onReply(const smtp::SmtpReply &reply);
    void afterEhlo();
    void beginLoginOrMail();
    void sendMailFrom();
    void sendRcptTo();
    void upload();

    void send(const QByteArray &command, State next, int timeoutMs, const QString &waitingFor);
    void expect(State next, int timeoutMs, const QString &waitingFor);
    // Tells the step; false when the send ended or another began meanwhile.
    bool setStep(Step step);
    void onTimeout();
    void onTick();
    void fail(const QString &message);
    void finish(MailOutcome outcome);
    // Ends the connection: a QUIT where the dialogue allows, then closes.
    void dropConnection(bool quitFirst);
    bool encrypted() const;
    QString refusal(const QString &what) const;
    QByteArray greeting(const QByteArray &verb) const;

    Timeouts m_timeouts;
    State m_state = State::Idle;
    MailJob m_job;
    QSslSocket *m_socket = nullptr;
    QFutureWatcher<modSendmail::EncodedAttachment> *m_encoding = nullptr;
    QByteArray m_encoded;
    QByteArray m_received;
    std::optional<smtp::SmtpReply> m_ehlo; // none after HELO
    mime::Message m_message;
    mime::MessageStamp m_stamp;
    mime::Envelope m_envelope;
    mime::EnvelopeCommands m_commands;
    qsizetype m_nextRecipient = 0;
    QString m_user;
    QString m_password;
    bool m_loggedIn = false;
    bool m_loginRequired = false;
    bool m_tlsStarted = false;
    bool m_dataEndQueued = false;
    QString m_tlsProblem;
    QString m_tlsFingerprint;
    QString m_lastReply;
    QTimer m_deadline;
    QTimer m_tick;
    QElapsedTimer m_waited;
    QString m_waitingFor;
    quint64 m_run = 0;
    std::optional<Step> m_lastStep;
};
