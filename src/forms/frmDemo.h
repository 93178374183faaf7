#pragma once

#include "platform/OpenFileDialog.h"

#include <QPointer>
#include <QString>
#include <QWidget>

#include <memory>

class FileLoader;
class QCloseEvent;
class QKeyEvent;
class TextBuffer;
class Winsock;

namespace Ui {
class frmDemo;
}

// The mail window: collects the server, the addresses, the subject, an
// attachment and a message, and sends them with the mail transport over its
// own socket. A send runs in two steps: Send encodes the attachment and starts
// the connection; the socket's Connect event then writes the mail. The status
// line says how far it got; the disabled Send button keeps a second send from
// starting meanwhile.
//
// Besides its visible controls the window owns the hidden helpers the
// transport works on: the loader that reads the attachment (rtfAttach), the
// holder of its base64 text (txtOutput), the open dialog (cmdDialog) and the
// socket (Winsock1).
class frmDemo : public QWidget {
    Q_OBJECT
public:
    // Where a send stands; it decides what Send and the status line show.
    enum class State { Idle, Encoding, Connecting, Sending, Failed };

    explicit frmDemo(QWidget *parent = nullptr);
    ~frmDemo() override;

    // The load step: the field defaults.
    void Form_Load();

    State state() const { return m_state; }

    // The address the mail goes to unless the user types another.
    static QString maintainersAddress();

    // Test seam: the port that sends connect to; empty (the default) means the
    // mail port 25.
    static void setPortForTesting(const QString &port);

Q_SIGNALS:
    // The status line was given a new text (also when it is the same text).
    void statusChanged(const QString &text);

private Q_SLOTS:
    void cmdSelect_Click();
    void cmdSend_Click();
    void cmdClose_Click();
    void Winsock1_Connect();
    void Winsock1_Error(int number, const QString &description, const QString &source);

protected:
    void closeEvent(QCloseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    bool CheckFields() const;
    // Refuses, with a message box (refuseSend), what the transport could not
    // write into a header or the message text; true when everything can go.
    bool fieldsCanBeSent();
    // Says why a send cannot start, then makes Send available again.
    void refuseSend(const QString &why);
    // Encodes the attachment at `path` into txtOutput; false (after telling
    // the user, unless the window closed meanwhile) when that failed.
    bool encodeAttachment(const QString &path);
    void setStatus(const QString &text);
    void backToIdle();
    // Tells the user why the server did not take the mail.
    void reportNotSent(const QString &error);
    // True when the window still exists and its send was ended neither by a
    // close nor by a socket error; handlers ask it after every call that lets
    // events run (the window may be gone then, so this is no member call).
    static bool sendGoesOn(const QPointer<frmDemo> &self);

    std::unique_ptr<Ui::frmDemo> ui;
    FileLoader *rtfAttach;
    TextBuffer *txtOutput;
    Winsock *Winsock1;
    OpenFileDialog cmdDialog;

    State m_state = State::Idle;
    // The attachment path whose base64 text txtOutput holds.
    QString m_encodedPath;
    bool m_closing = false;
};
