#pragma once

#include "mail/MailSettings.h"
#include "mail/SmtpClient.h"
#include "platform/OpenFileDialog.h"

#include <QPointer>
#include <QString>
#include <QWidget>

#include <memory>

class LoginDialog;
class QCloseEvent;
class QKeyEvent;

namespace Ui {
class frmDemo;
}

// The mail window: collects the server, the addresses, the subject, an
// attachment and a message, and hands them to its SMTP client. It only starts
// a send, shows its steps and its outcome: while a send runs, Send becomes
// Cancel (Escape too); after any outcome Send is available again and every
// field keeps its text. "Connection..." holds the port, the connection
// security and the login; a login the server asks for is asked in a dialog.
class frmDemo : public QWidget {
    Q_OBJECT
public:
    // Where a send stands; it decides what Send and the status line show.
    enum class State { Idle, Encoding, Connecting, Sending };

    explicit frmDemo(QWidget *parent = nullptr);
    ~frmDemo() override;

    // The load step: the field defaults, then what the last successful send
    // left (a first start keeps the empty fields).
    void Form_Load();

    State state() const { return m_state; }

    // The address the mail goes to unless the user types another.
    static QString maintainersAddress();

    // Test seam: the client's waits, shortened.
    void setTimeoutsForTesting(const SmtpClient::Timeouts &timeouts);

Q_SIGNALS:
    // The status line was given a new text (also when it is the same text).
    void statusChanged(const QString &text);
    // A send ended, the window is usable again; for tests and the status line.
    void sendEnded(const MailOutcome &outcome);

private Q_SLOTS:
    void cmdSelect_Click();
    void cmdSend_Click();
    void cmdClose_Click();
    void cmdConnection_Click();

protected:
    void closeEvent(QCloseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    bool CheckFields() const;
    // Refuses, with a message box, what the transport could not write into a
    // header or the message text; true when everything can go.
    bool fieldsCanBeSent();
    void refuseSend(const QString &why);
    void startSend(const MailJob &job);
    MailJob jobFromFields(QString *error) const;
    void onStep(SmtpClient::Step step);
    void onWaiting(const QString &what, int seconds);
    void onLoginNeeded(const QString &userName, const QString &reason);
    void askLogin(const QString &userName, const QString &reason, bool keyringAvailable);
    void onLoginAccepted(const QString &userName);
    void onFinished(const MailOutcome &outcome);
    void offerCertificateTrust(const MailOutcome &outcome);
    void handToMailProgram();
    void setStatus(const QString &text);
    void setRunning(bool running);
    // A shown outcome stays until the user changes a field or sends again.
    void fieldEdited();

    std::unique_ptr<Ui::frmDemo> ui;
    SmtpClient *m_client;
    OpenFileDialog cmdDialog;
    MailSettings m_settings;
    MailJob m_job; // the send under way, or the last one
    QPointer<LoginDialog> m_login;
    // The password the user typed for the send under way, until the server
    // takes it (then to the keyring when asked) or the send ends.
    QString m_typedPassword;
    bool m_rememberTyped = false;
    bool m_keyringTried = false;
    bool m_outcomeShown = false;
    State m_state = State::Idle;
    QString m_stepText;
};
