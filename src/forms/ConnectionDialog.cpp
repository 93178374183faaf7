#include "forms/ConnectionDialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

ConnectionDialog::ConnectionDialog(const MailSettings &settings, QWidget *parent)
    : QDialog(parent), m_settings(settings), m_port(new QSpinBox(this)), m_security(new QComboBox(this)),
      m_user(new QLineEdit(this)), m_remember(new QCheckBox(QStringLiteral("&Remember password"), this))
{
    setWindowTitle(QStringLiteral("Connection"));
    m_port->setObjectName(QStringLiteral("spnPort"));
    m_security->setObjectName(QStringLiteral("cboSecurity"));
    m_user->setObjectName(QStringLiteral("txtUser"));
    m_remember->setObjectName(QStringLiteral("chkRemember"));

    // 0 stands for the port the server field names, or the usual one.
    m_port->setRange(0, 65535);
    m_port->setSpecialValueText(QStringLiteral("Automatic"));
    m_port->setValue(settings.connection.port);
    m_security->addItem(QStringLiteral("STARTTLS when the server offers it"),
        static_cast<int>(smtp::Security::StartTlsWhenOffered));
    m_security->addItem(
        QStringLiteral("STARTTLS required"), static_cast<int>(smtp::Security::StartTlsRequired));
    m_security->addItem(QStringLiteral("TLS from the start"), static_cast<int>(smtp::Security::ImplicitTls));
    m_security->addItem(QStringLiteral("None (plain text)"), static_cast<int>(smtp::Security::None));
    m_security->setCurrentIndex(m_security->findData(static_cast<int>(settings.connection.security)));
    m_user->setText(settings.userName);
    m_user->setPlaceholderText(QStringLiteral("only if the server asks for a login"));
    m_remember->setChecked(settings.rememberPassword);

    auto *form = new QFormLayout;
    auto *portLabel = new QLabel(QStringLiteral("&Port:"), this);
    portLabel->setBuddy(m_port);
    auto *securityLabel = new QLabel(QStringLiteral("Connection &security:"), this);
    securityLabel->setBuddy(m_security);
    auto *userLabel = new QLabel(QStringLiteral("&User name:"), this);
    userLabel->setBuddy(m_user);
    form->addRow(portLabel, m_port);
    form->addRow(securityLabel, m_security);
    form->addRow(userLabel, m_user);
    form->addRow(QString(), m_remember);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    auto *mailProgram
        = buttons->addButton(QStringLiteral("Send with my &mail program"), QDialogButtonBox::ActionRole);
    mailProgram->setObjectName(QStringLiteral("cmdMailProgram"));
    mailProgram->setToolTip(QStringLiteral("Hand the message to your own mail program instead, for "
                                           "providers that take mail only from their own programs."));
    mailProgram->setAutoDefault(false);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);

    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(mailProgram, &QPushButton::clicked, this, [this] {
        reject();
        Q_EMIT mailProgramRequested();
    });
    connect(m_port, &QSpinBox::valueChanged, this, &ConnectionDialog::portChanged);
}

void ConnectionDialog::portChanged(int port)
{
    // Port 465 takes TLS from the start; nothing there answers in plain text.
    if (port == smtp::implicitTlsPort)
        m_security->setCurrentIndex(m_security->findData(static_cast<int>(smtp::Security::ImplicitTls)));
}

MailSettings ConnectionDialog::settings() const
{
    MailSettings settings = m_settings;
    settings.connection.port = m_port->value();
    settings.connection.security = static_cast<smtp::Security>(m_security->currentData().toInt());
    settings.userName = m_user->text().trimmed();
    settings.rememberPassword = m_remember->isChecked();
    return settings;
}
