#include "forms/frmDemo.h"

#include "ui_frmDemo.h"

#include "core/MailAddress.h"
#include "core/MailFields.h"
#include "forms/ConnectionDialog.h"
#include "forms/LoginDialog.h"
#include "platform/AppFolder.h"
#include "platform/CaptionFit.h"
#include "platform/ClassicLook.h"
#include "platform/KeyboardAids.h"
#include "platform/Keyring.h"
#include "platform/MailProgram.h"
#include "platform/MessageBox.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QLocale>
#include <QPushButton>

namespace {

const QString idleStatus = QStringLiteral("Status:");
const QString sendCaption = QStringLiteral("&Send");
// Escape cancels too; the caption carries no access key of its own, since
// Alt+C belongs to Close.
const QString cancelCaption = QStringLiteral("Cancel");

} // namespace

frmDemo::frmDemo(QWidget *parent)
    : QWidget(parent,
        Qt::Window | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint
            | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      ui(std::make_unique<Ui::frmDemo>()), m_client(new SmtpClient(this))
{
    setFont(classiclook::dialogFont());
    ui->setupUi(this);
    setWindowIcon(classiclook::windowIcon());
    setFixedSize(size());

    // A field's caption may take the room up to its field: the face that
    // stands in for the dialog font is a little wider than the one the
    // window was drawn for. Beyond that, a larger font grows the window.
    const int fieldsLeft = ui->txtServer->x();
    for (QLabel *label :
        { ui->lblServer, ui->lblFrom, ui->lblToAddress, ui->lblSubject, ui->lblAttach, ui->lblBody })
        label->resize(fieldsLeft - 4 - label->x(), label->height());
    // Send turns into Cancel while a send runs: the button is fitted for the
    // longer caption.
    ui->cmdSend->setText(cancelCaption);
    (new CaptionFit(this))->fit();
    ui->cmdSend->setText(sendCaption);

    m_client->setObjectName(QStringLiteral("Winsock1"));
    // Attaching the settings file that lies beside the program is the usual
    // case, so the dialog starts there.
    cmdDialog.InitialDir = appfolder::path();

    // Keys with Ctrl, Alt or Meta type nothing into the fields (Alt+S would
    // type "s"), and the focus is always seen.
    keyboardaids::apply(this);
    for (QLineEdit *field :
        { ui->txtServer, ui->txtFromAddress, ui->txtToAddress, ui->txtSubject, ui->txtAttach })
        connect(field, &QLineEdit::textEdited, this, &frmDemo::fieldEdited);
    connect(ui->txtBody, &QPlainTextEdit::textChanged, this, &frmDemo::fieldEdited);

    connect(ui->cmdSelect, &QPushButton::clicked, this, &frmDemo::cmdSelect_Click);
    connect(ui->cmdSend, &QPushButton::clicked, this, &frmDemo::cmdSend_Click);
    connect(ui->cmdClose, &QPushButton::clicked, this, &frmDemo::cmdClose_Click);
    connect(ui->cmdConnection, &QPushButton::clicked, this, &frmDemo::cmdConnection_Click);

    connect(m_client, &SmtpClient::stepChanged, this, &frmDemo::onStep);
    connect(m_client, &SmtpClient::waiting, this, &frmDemo::onWaiting);
    connect(m_client, &SmtpClient::loginNeeded, this, &frmDemo::onLoginNeeded);
    connect(m_client, &SmtpClient::loginAccepted, this, &frmDemo::onLoginAccepted);
    // The outcome is shown once the client's socket has unwound its stack,
    // since it may open a message box.
    connect(m_client, &SmtpClient::finished, this, &frmDemo::onFinished, Qt::QueuedConnection);
}

frmDemo::~frmDemo() = default;

QString frmDemo::maintainersAddress()
{
    return QStringLiteral("maintainers@ferox64.example");
}

void frmDemo::setTimeoutsForTesting(const SmtpClient::Timeouts &timeouts)
{
    m_client->setTimeouts(timeouts);
}

void frmDemo::Form_Load()
{
    ui->txtAttach->setText(QString());
    ui->txtBody->setPlainText(QString());
    ui->txtFromAddress->setText(QString());
    ui->txtServer->setText(QString());
    ui->txtSubject->setText(QStringLiteral("Updated Ferox.ini File"));
    ui->txtToAddress->setText(maintainersAddress());
    m_settings = mailsettings::load();
    ui->txtServer->setText(m_settings.server);
    ui->txtFromAddress->setText(m_settings.fromAddress);
    m_outcomeShown = false;
}

void frmDemo::cmdSelect_Click()
{
    const QPointer<frmDemo> self(this);
    cmdDialog.ShowOpen(this);
    if (!self)
        return;
    // A cancel keeps the last pick (or the empty text): the field follows the
    // dialog either way.
    ui->txtAttach->setText(cmdDialog.FileName);
    fieldEdited();
}

bool frmDemo::CheckFields() const
{
    return !ui->txtServer->text().isEmpty() && !ui->txtToAddress->text().isEmpty();
}

void frmDemo::cmdSend_Click()
{
    if (m_state != State::Idle) {
        m_client->cancel();
        return;
    }
    m_outcomeShown = false;
    ui->cmdSend->setEnabled(false);
    if (!CheckFields()) {
        refuseSend(QStringLiteral("Either the server name or to address were left empty."));
        return;
    }
    // Without a sender the mail would go out as from nobody, which servers
    // refuse or cannot answer.
    if (ui->txtFromAddress->text().trimmed().isEmpty()) {
        refuseSend(QStringLiteral("The from address was left empty. Enter your own e-mail address."));
        return;
    }
    if (!fieldsCanBeSent())
        return;
    QString error;
    const MailJob job = jobFromFields(&error);
    if (!error.isEmpty()) {
        refuseSend(error);
        return;
    }
    startSend(job);
}

MailJob frmDemo::jobFromFields(QString *error) const
{
    MailJob job;
    job.endpoint = smtp::resolveEndpoint(ui->txtServer->text(), m_settings.connection);
    *error = job.endpoint.error;
    job.userName = m_settings.userName;
    job.trustedFingerprint = mailsettings::trustedFingerprint(job.endpoint.host, job.endpoint.port);
    job.fromAddress = ui->txtFromAddress->text();
    job.toAddress = ui->txtToAddress->text();
    job.subject = ui->txtSubject->text();
    job.body = ui->txtBody->toPlainText();
    job.attachmentPath = ui->txtAttach->text();
    return job;
}

void frmDemo::startSend(const MailJob &job)
{
    m_job = job;
    m_keyringTried = false;
    m_typedPassword.clear();
    setRunning(true);
    m_state = State::Connecting;
    m_client->start(job);
}

void frmDemo::refuseSend(const QString &why)
{
    const QPointer<frmDemo> self(this);
    messagebox::show(this, windowTitle(), why, messagebox::Icon::Critical);
    // The box lets events run: the window may have been closed meanwhile.
    if (self)
        ui->cmdSend->setEnabled(true);
}

bool frmDemo::fieldsCanBeSent()
{
    const mime::Result check = mime::checkFields(ui->txtFromAddress->text(), ui->txtToAddress->text(),
        ui->txtSubject->text(), ui->txtBody->toPlainText(), ui->txtAttach->text());
    if (!check.ok)
        refuseSend(check.error);
    return check.ok;
}

void frmDemo::onStep(SmtpClient::Step step)
{
    switch (step) {
    case SmtpClient::Step::Encoding:
        m_state = State::Encoding;
        m_stepText = QStringLiteral("Encoding file attachment");
        break;
    case SmtpClient::Step::Connecting:
        m_state = State::Connecting;
        m_stepText = QStringLiteral("Connecting to POP Server");
        break;
    case SmtpClient::Step::Connected:
        m_state = State::Sending;
        m_stepText = QStringLiteral("Connected to POP Server");
        break;
    case SmtpClient::Step::Securing:
        m_stepText = QStringLiteral("Securing the connection (TLS)");
        break;
    case SmtpClient::Step::LoggingIn:
        m_stepText = QStringLiteral("Logging in to POP Server");
        break;
    case SmtpClient::Step::Sending:
        m_stepText = QStringLiteral("Sending mail");
        break;
    }
    setStatus(m_stepText);
}

void frmDemo::onWaiting(const QString &what, int seconds)
{
    setStatus(QStringLiteral("%1: waiting for %2 (%3 s)").arg(m_stepText, what).arg(seconds));
}

void frmDemo::onLoginNeeded(const QString &userName, const QString &reason)
{
    QString user = userName;
    if (user.isEmpty())
        user = m_settings.userName.isEmpty() ? ui->txtFromAddress->text().trimmed() : m_settings.userName;
    const QString account = mailsettings::keyringAccount(user, m_job.endpoint.host);
    // A remembered password is tried once; a refusal asks the user.
    const bool tryKeyring = reason.isEmpty() && !m_keyringTried;
    m_keyringTried = true;
    keyring::read(account, this, [this, user, reason, tryKeyring](const keyring::Answer &answer) {
        if (!m_client->isRunning())
            return;
        if (tryKeyring && answer.ok) {
            m_client->provideLogin(user, answer.password);
            return;
        }
        askLogin(user, reason, answer.available);
    });
}

void frmDemo::askLogin(const QString &userName, const QString &reason, bool keyringAvailable)
{
    auto *dialog = new LoginDialog(
        m_job.endpoint.host, userName, reason, keyringAvailable, m_settings.rememberPassword, this);
    dialog->setObjectName(QStringLiteral("LoginDialog"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    m_login = dialog;
    connect(dialog, &QDialog::accepted, this, [this, dialog] {
        m_typedPassword = dialog->password();
        m_rememberTyped = dialog->rememberPassword();
        m_client->provideLogin(dialog->userName(), dialog->password());
    });
    connect(dialog, &QDialog::rejected, m_client, &SmtpClient::cancel);
    connect(dialog, &LoginDialog::mailProgramRequested, this, &frmDemo::handToMailProgram);
    dialog->open();
}

void frmDemo::onLoginAccepted(const QString &userName)
{
    m_settings.userName = userName;
    if (m_typedPassword.isEmpty())
        return;
    const QString account = mailsettings::keyringAccount(userName, m_job.endpoint.host);
    m_settings.rememberPassword = m_rememberTyped;
    if (m_rememberTyped)
        keyring::write(account, m_typedPassword, this, [](const keyring::Answer &) {});
    else
        keyring::remove(account, this, [](const keyring::Answer &) {});
    m_typedPassword.clear();
}

void frmDemo::onFinished(const MailOutcome &outcome)
{
    if (m_login)
        m_login->close();
    m_typedPassword.clear();
    setRunning(false);
    m_state = State::Idle;
    const QString reply = outcome.serverReply;
    switch (outcome.kind) {
    case MailOutcome::Kind::Sent: {
        m_settings.server = ui->txtServer->text();
        m_settings.fromAddress = m_job.fromAddress;
        mailsettings::save(m_settings);
        const QString when = QLocale().toString(outcome.when.time(), QLocale::ShortFormat);
        setStatus(
            QStringLiteral("Mail sent to %1 at %2").arg(outcome.recipients.join(QStringLiteral(", ")), when));
        m_outcomeShown = true;
        break;
    }
    case MailOutcome::Kind::Cancelled:
        setStatus(outcome.mayHaveBeenDelivered ? QStringLiteral("Cancelled: the server may have the message")
                                               : QStringLiteral("Cancelled: nothing was sent"));
        m_outcomeShown = true;
        break;
    case MailOutcome::Kind::ConnectionFailed:
        setStatus(idleStatus);
        messagebox::show(this, windowTitle(),
            QStringLiteral("Error Number: ") + QString::number(outcome.socketError) + QStringLiteral("\r\n")
                + outcome.socketErrorText + QStringLiteral("\r\n") + m_client->objectName(),
            messagebox::Icon::Critical);
        break;
    case MailOutcome::Kind::CertificateRejected:
        setStatus(idleStatus);
        offerCertificateTrust(outcome);
        break;
    case MailOutcome::Kind::AttachmentUnreadable:
        setStatus(idleStatus);
        messagebox::show(this, windowTitle(), outcome.message, messagebox::Icon::Critical);
        break;
    case MailOutcome::Kind::Failed:
        setStatus(idleStatus);
        messagebox::show(this, windowTitle(),
            QStringLiteral("The mail was not sent.\r\n") + outcome.message
                + (outcome.mayHaveBeenDelivered
                        ? QStringLiteral("\r\nThe whole message had gone out: the server may have it.")
                        : QString()),
            messagebox::Icon::Critical);
        break;
    }
    Q_EMIT sendEnded(outcome);
}

void frmDemo::offerCertificateTrust(const MailOutcome &outcome)
{
    const QString where = QStringLiteral("%1:%2").arg(m_job.endpoint.host).arg(m_job.endpoint.port);
    QString text = QStringLiteral("The certificate of the mail server %1 failed its check, so nothing was "
                                  "sent:\n%2\n\nIts SHA-256 fingerprint:\n%3\n\n")
                       .arg(where, outcome.certificateProblem, outcome.fingerprint);
    QList<messagebox::Answer> answers;
    if (!outcome.fingerprint.isEmpty()) {
        text += QStringLiteral("Trust this one certificate for this server from now on and send again? "
                               "Compare the fingerprint with the one your provider publishes first.");
        answers << messagebox::Answer::TrustAndSend;
    }
    if (outcome.plainFallbackPossible) {
        text += QStringLiteral("\n\nOr send without encryption, as mail went before, this once.");
        answers << messagebox::Answer::SendUnencrypted;
    }
    answers << messagebox::Answer::MailProgram;
    const QPointer<frmDemo> self(this);
    const messagebox::Answer answer = messagebox::ask(this, text, answers);
    if (!self)
        return;
    MailJob job = m_job;
    switch (answer) {
    case messagebox::Answer::TrustAndSend:
        mailsettings::trustCertificate(job.endpoint.host, job.endpoint.port, outcome.fingerprint);
        job.trustedFingerprint = outcome.fingerprint;
        startSend(job);
        break;
    case messagebox::Answer::SendUnencrypted:
        job.plainAfterTlsFailure = true;
        startSend(job);
        break;
    case messagebox::Answer::MailProgram:
        handToMailProgram();
        break;
    default:
        break;
    }
}

void frmDemo::handToMailProgram()
{
    // The recipients are read as a send reads them: a comma inside a quoted
    // name ("Name, Inc." <x@example.org>) separates nothing, and the mail
    // program is given the addresses alone.
    const mime::AddressList to
        = mime::parseAddresses(ui->txtToAddress->text(), QStringLiteral("recipient address"));
    if (!to.ok) {
        messagebox::show(this, windowTitle(), to.error, messagebox::Icon::Critical);
        return;
    }
    mailprogram::Message message;
    for (const mime::Mailbox &mailbox : to.mailboxes)
        message.to << mailbox.typed;
    message.subject = ui->txtSubject->text();
    message.body = ui->txtBody->toPlainText();
    message.attachment = ui->txtAttach->text();
    setStatus(QStringLiteral("Handing the mail to your mail program"));
    mailprogram::open(message, this, [this](bool ok, const QString &why) {
        if (ok) {
            setStatus(QStringLiteral("Mail handed to your mail program"));
            m_outcomeShown = true;
            return;
        }
        setStatus(idleStatus);
        messagebox::show(this, windowTitle(), why, messagebox::Icon::Critical);
    });
}

void frmDemo::cmdConnection_Click()
{
    const QString host = smtp::parseServerAddress(ui->txtServer->text()).host;
    const QString oldAccount = mailsettings::keyringAccount(m_settings.userName, host);
    ConnectionDialog dialog(m_settings, this);
    dialog.setObjectName(QStringLiteral("ConnectionDialog"));
    bool mailProgram = false;
    connect(&dialog, &ConnectionDialog::mailProgramRequested, this, [&mailProgram] { mailProgram = true; });
    const QPointer<frmDemo> self(this);
    const int result = dialog.exec();
    if (!self)
        return;
    if (result == QDialog::Accepted) {
        const MailSettings chosen = dialog.settings();
        // A password the user no longer wants remembered leaves the keyring.
        if (m_settings.rememberPassword
            && (!chosen.rememberPassword || chosen.userName != m_settings.userName))
            keyring::remove(oldAccount, this, [](const keyring::Answer &) {});
        m_settings = chosen;
        mailsettings::save(m_settings);
    }
    if (mailProgram)
        handToMailProgram();
}

void frmDemo::cmdClose_Click()
{
    close();
}

void frmDemo::closeEvent(QCloseEvent *event)
{
    // The window goes: the send goes with it, without a word.
    m_client->disconnect(this);
    m_client->cancel();
    QWidget::closeEvent(event);
}

void frmDemo::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        if (m_state != State::Idle)
            m_client->cancel();
        else
            close();
        event->accept();
        return;
    }
    // Enter presses the focused button, else the default button Send; the
    // message field keeps Enter for its line breaks. While a send runs Enter
    // cancels only when Cancel itself has the focus.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        auto *button = qobject_cast<QPushButton *>(focusWidget());
        if (!button && m_state == State::Idle)
            button = ui->cmdSend;
        if (button && button->isEnabled())
            button->click();
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
}

void frmDemo::setStatus(const QString &text)
{
    ui->lblStatus->setText(text);
    Q_EMIT statusChanged(text);
}

void frmDemo::setRunning(bool running)
{
    ui->cmdSend->setText(running ? cancelCaption : sendCaption);
    ui->cmdSend->setEnabled(true);
    ui->cmdConnection->setEnabled(!running);
}

void frmDemo::fieldEdited()
{
    if (m_outcomeShown && m_state == State::Idle) {
        m_outcomeShown = false;
        setStatus(idleStatus);
    }
}
