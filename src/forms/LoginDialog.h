#pragma once

#include <QDialog>

class QCheckBox;
class QLabel;
class QLineEdit;

// Asks for the user name and the password when a mail server wants a login.
// It opens with the user name selected, Tab leads to the password, Enter goes
// on with the send.
class LoginDialog : public QDialog {
    Q_OBJECT
public:
    // `reason` says why it asks again (a refused login), or is empty.
    // Without a keyring the password cannot be remembered, and the dialog says so.
    LoginDialog(const QString &server, const QString &userName, const QString &reason, bool keyringAvailable,
        bool rememberPassword, QWidget *parent = nullptr);

    QString userName() const;
    QString password() const;
    bool rememberPassword() const;

Q_SIGNALS:
    // "Send with my mail program" was pressed (the dialog is rejected).
    void mailProgramRequested();

private:
    QLineEdit *m_user;
    QLineEdit *m_password;
    QCheckBox *m_remember;
};
