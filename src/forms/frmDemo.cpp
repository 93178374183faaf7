#include "forms/frmDemo.h"

#include "ui_frmDemo.h"

#include "core/CodePage.h"
#include "core/MailFields.h"
#include "mail/modSendmail.h"
#include "platform/AppFolder.h"
#include "platform/BusyCursor.h"
#include "platform/ClassicLook.h"
#include "platform/FileLoader.h"
#include "platform/MessageBox.h"
#include "platform/TextBuffer.h"
#include "platform/Winsock.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QPushButton>

namespace {

QString &portForTesting()
{
    static QString port;
    return port;
}

} // namespace

frmDemo::frmDemo(QWidget *parent)
    : QWidget(parent,
        Qt::Window | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint
            | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      ui(std::make_unique<Ui::frmDemo>()), rtfAttach(new FileLoader(this)), txtOutput(new TextBuffer(this)),
      Winsock1(new Winsock(this))
{
    setFont(classiclook::dialogFont());
    ui->setupUi(this);
    setWindowIcon(classiclook::windowIcon());
    setFixedSize(size());

    // The captions keep their places and take the width their text needs in
    // whatever face stands in for the dialog font.
    for (QLabel *label :
        { ui->lblServer, ui->lblFrom, ui->lblToAddress, ui->lblSubject, ui->lblAttach, ui->lblBody })
        label->adjustSize();

    rtfAttach->setObjectName(QStringLiteral("rtfAttach"));
    txtOutput->setObjectName(QStringLiteral("txtOutput"));
    Winsock1->setObjectName(QStringLiteral("Winsock1"));
    // Attaching the settings file that lies beside the program is the usual
    // case, so the dialog starts there.
    cmdDialog.InitialDir = appfolder::path();

    connect(ui->cmdSelect, &QPushButton::clicked, this, &frmDemo::cmdSelect_Click);
    connect(ui->cmdSend, &QPushButton::clicked, this, &frmDemo::cmdSend_Click);
    connect(ui->cmdClose, &QPushButton::clicked, this, &frmDemo::cmdClose_Click);
    // The send runs from the event loop rather than inside the socket's own
    // announcement, so that a close of the window may destroy the socket while
    // the send waits for the server.
    connect(Winsock1, &Winsock::Connect, this, &frmDemo::Winsock1_Connect, Qt::QueuedConnection);
    connect(Winsock1, &Winsock::Error, this, &frmDemo::Winsock1_Error);
}

frmDemo::~frmDemo() = default;

QString frmDemo::maintainersAddress()
{
    return QStringLiteral("maintainers@ferox64.example");
}

void frmDemo::setPortForTesting(const QString &port)
{
    portForTesting() = port;
}

void frmDemo::Form_Load()
{
    ui->txtAttach->setText(QString());
    ui->txtBody->setPlainText(QString());
    ui->txtFromAddress->setText(QString());
    ui->txtServer->setText(QString());
    ui->txtSubject->setText(QStringLiteral("Updated Ferox.ini File"));
    ui->txtToAddress->setText(maintainersAddress());
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
}

bool frmDemo::CheckFields() const
{
    return !ui->txtServer->text().isEmpty() && !ui->txtToAddress->text().isEmpty();
}

void frmDemo::cmdSend_Click()
{
    const QPointer<frmDemo> self(this);
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

    txtOutput->Clear();
    m_encodedPath.clear();
    const QString path = ui->txtAttach->text();
    // A path of blanks names no file; the message goes without an attachment.
    if (mime::hasAttachment(path)) {
        m_state = State::Encoding;
        setStatus(QStringLiteral("Encoding file attachment"));
        if (!encodeAttachment(path))
            return;
    }
    m_state = State::Connecting;
    setStatus(QStringLiteral("Connecting to POP Server"));
    modSendmail::ConnectToServer(ui->txtServer->text(), *Winsock1, portForTesting());
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

bool frmDemo::encodeAttachment(const QString &path)
{
    const QPointer<frmDemo> self(this);
    modSendmail::Result encoded;
    {
        const BusyCursor busy;
        encoded = modSendmail::EncodeAttachment(path, *rtfAttach, *txtOutput);
    }
    if (!sendGoesOn(self))
        return false;
    // The loader's copy of the file is not needed any more.
    rtfAttach->Clear();
    if (!encoded.ok) {
        messagebox::show(this, windowTitle(), encoded.error, messagebox::Icon::Critical);
        if (self)
            backToIdle();
        return false;
    }
    m_encodedPath = path;
    return true;
}

void frmDemo::Winsock1_Connect()
{
    if (m_state != State::Connecting)
        return;
    const QPointer<frmDemo> self(this);
    m_state = State::Sending;
    setStatus(QStringLiteral("Connected to POP Server"));
    modSendmail::Pause(0.5);
    if (!sendGoesOn(self))
        return;
    setStatus(QStringLiteral("Sending mail"));

    // The user may have picked another file while the connection was being
    // made: send what the field names now, with its own content.
    const QString path = ui->txtAttach->text();
    if (mime::hasAttachment(path) && path != m_encodedPath) {
        if (!encodeAttachment(path)) {
            if (self && !m_closing)
                Winsock1->Close();
            return;
        }
    }

    const bool withAttachment = !path.isEmpty();
    const modSendmail::SendOutcome outcome = modSendmail::SendMail(ui->txtFromAddress->text(),
        ui->txtToAddress->text(), ui->txtSubject->text(), ui->txtBody->toPlainText(), *Winsock1,
        withAttachment ? path : QString(), withAttachment ? txtOutput : nullptr);
    if (!self || m_closing)
        return;
    txtOutput->Clear();
    m_encodedPath.clear();
    // After a socket error the Error event has told the user already.
    if (m_state == State::Failed)
        return;
    if (!outcome.accepted) {
        reportNotSent(outcome.error);
        if (self)
            backToIdle();
        return;
    }
    setStatus(QStringLiteral("Mail sent"));
    ui->cmdSend->setEnabled(true);
    m_state = State::Idle;
    setStatus(QStringLiteral("Status:"));
}

void frmDemo::Winsock1_Error(int number, const QString &description, const QString &source)
{
    // The window's own close raises errors on the socket it abandons.
    if (m_closing)
        return;
    if (m_state == State::Connecting || m_state == State::Sending)
        m_state = State::Failed;
    const QString text = QStringLiteral("Error Number: ") + QString::number(number) + QStringLiteral("\r\n")
        + description + QStringLiteral("\r\n") + source;
    messagebox::show(this, windowTitle(), text, messagebox::Icon::Critical);
}

void frmDemo::cmdClose_Click()
{
    close();
}

void frmDemo::closeEvent(QCloseEvent *event)
{
    if (m_state == State::Encoding || m_state == State::Connecting || m_state == State::Sending) {
        m_closing = true;
        // A running encoding stops when its output goes away.
        delete txtOutput;
        txtOutput = new TextBuffer(this);
        txtOutput->setObjectName(QStringLiteral("txtOutput"));
        // The connection ends now; a transport waiting for the server's reply
        // hears of it and stops. The socket itself goes with the window (one of
        // its signals may be on the stack here).
        Winsock1->Close();
    }
    QWidget::closeEvent(event);
}

void frmDemo::keyPressEvent(QKeyEvent *event)
{
    // Enter presses the focused button, else the default button Send; the
    // message field keeps Enter for its line breaks.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        auto *button = qobject_cast<QPushButton *>(focusWidget());
        if (!button)
            button = ui->cmdSend;
        if (button->isEnabled())
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

void frmDemo::backToIdle()
{
    m_state = State::Idle;
    ui->cmdSend->setEnabled(true);
    setStatus(QStringLiteral("Status:"));
}

void frmDemo::reportNotSent(const QString &error)
{
    // The transport's reason quotes the server's refusal, or says that no
    // reply came.
    messagebox::show(this, windowTitle(), QStringLiteral("The mail was not sent.\r\n") + error,
        messagebox::Icon::Critical);
}

bool frmDemo::sendGoesOn(const QPointer<frmDemo> &self)
{
    return self && !self->m_closing && self->m_state != State::Failed;
}
