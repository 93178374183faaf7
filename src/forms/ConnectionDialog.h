#pragma once

#include "mail/MailSettings.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QSpinBox;

// The connection settings behind the mail window's "Connection..." button:
// port, connection security, user name, "Remember password", and the way out
// to the user's own mail program.
class ConnectionDialog : public QDialog {
    Q_OBJECT
public:
    explicit ConnectionDialog(const MailSettings &settings, QWidget *parent = nullptr);

    // The settings as the dialog shows them; the server and the From address
    // pass through unchanged.
    MailSettings settings() const;

Q_SIGNALS:
    // "Send with my mail program" was pressed (the dialog closes).
    void mailProgramRequested();

private:
    void portChanged(int port);

    MailSettings m_settings;
    QSpinBox *m_port;
    QComboBox *m_security;
    QLineEdit *m_user;
    QCheckBox *m_remember;
};
