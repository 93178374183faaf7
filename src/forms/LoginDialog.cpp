#include "forms/LoginDialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

LoginDialog::LoginDialog(const QString &server, const QString &userName, const QString &reason,
    bool keyringAvailable, bool rememberPassword, QWidget *parent)
    : QDialog(parent), m_user(new QLineEdit(userName, this)), m_password(new QLineEdit(this)),
      m_remember(new QCheckBox(QStringLiteral("&Remember password"), this))
{
    setWindowTitle(QStringLiteral("Login"));
    m_user->setObjectName(QStringLiteral("txtUser"));
    m_password->setObjectName(QStringLiteral("txtPassword"));
    m_remember->setObjectName(QStringLiteral("chkRemember"));
    m_password->setEchoMode(QLineEdit::Password);

    auto *layout = new QVBoxLayout(this);
    auto *asks = new QLabel(
        reason.isEmpty() ? QStringLiteral("The mail server %1 asks for a login.").arg(server) : reason, this);
    asks->setObjectName(QStringLiteral("lblReason"));
    asks->setWordWrap(true);
    asks->setTextFormat(Qt::PlainText);
    layout->addWidget(asks);

    auto *form = new QFormLayout;
    auto *userLabel = new QLabel(QStringLiteral("&User name:"), this);
    userLabel->setBuddy(m_user);
    auto *passwordLabel = new QLabel(QStringLiteral("&Password:"), this);
    passwordLabel->setBuddy(m_password);
    form->addRow(userLabel, m_user);
    form->addRow(passwordLabel, m_password);
    form->addRow(QString(), m_remember);
    layout->addLayout(form);
    m_remember->setChecked(keyringAvailable && rememberPassword);
    if (!keyringAvailable) {
        m_remember->setEnabled(false);
        auto *note = new QLabel(
            QStringLiteral("No desktop keyring answers, so the password cannot be remembered."), this);
        note->setObjectName(QStringLiteral("lblNoKeyring"));
        note->setWordWrap(true);
        layout->addWidget(note);
    }

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    if (!reason.isEmpty()) {
        auto *mailProgram
            = buttons->addButton(QStringLiteral("Send with my &mail program"), QDialogButtonBox::ActionRole);
        mailProgram->setObjectName(QStringLiteral("cmdMailProgram"));
        mailProgram->setAutoDefault(false);
        connect(mailProgram, &QPushButton::clicked, this, [this] {
            reject();
            Q_EMIT mailProgramRequested();
        });
    }
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    setTabOrder(m_user, m_password);
    m_user->setFocus();
    m_user->selectAll();
}

QString LoginDialog::userName() const
{
    return m_user->text().trimmed();
}

QString LoginDialog::password() const
{
    return m_password->text();
}

bool LoginDialog::rememberPassword() const
{
    return m_remember->isEnabled() && m_remember->isChecked();
}
