// The mail window driven as a user drives it, against a real SMTP server on a
// loopback port: what it sends, what it shows on the way, how it ends a send
// that fails or that the user cancels, the login it asks for and what it
// remembers.

#include "SecretService.h"
#include "SmtpTestServer.h"
#include "TestCa.h"
#include "TestFiles.h"
#include "TestWidgets.h"

#include "forms/ConnectionDialog.h"
#include "forms/LoginDialog.h"
#include "forms/frmDemo.h"
#include "mail/MailSettings.h"
#include "platform/CaptionFit.h"
#include "platform/ClassicLook.h"
#include "platform/Keyring.h"
#include "platform/MessageBox.h"
#include "platform/OpenFileDialog.h"
#include "platform/ShowOnce.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrlQuery>
#include <QtTest>

#include <memory>
#include <optional>

namespace {

const QString caption = QStringLiteral("Send Updated Ferox.ini File To Brask or Moltend");

QByteArray allByteValues(qsizetype size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((i * 7 + i / 256) & 0xff);
    return bytes;
}

// A loopback port with nobody listening on it.
QString closedPort()
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost))
        return {};
    const QString port = QString::number(probe.serverPort());
    probe.close();
    return port;
}

} // namespace

// A send has ended and the window is back where a new one can start.
#define WAIT_FOR_IDLE_AFTER_SEND()                                                                           \
    QTRY_VERIFY_WITH_TIMEOUT(m_window &&m_ended > 0 && m_window->state() == frmDemo::State::Idle             \
            && sendButton()->isEnabled() && sendButton()->text() == QStringLiteral("&Send"),                 \
        15000)

class TestMailDemo : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanup();

    void opensWithDefaults();
    void keyboard();
    void sendsTheMail_data();
    void sendsTheMail();
    void sendsWhatTheFieldsHeldAtTheClick();
    void missingFieldIsRefused_data();
    void missingFieldIsRefused();
    void emptySenderIsRefused();
    void headerLineBreakIsRefused_data();
    void headerLineBreakIsRefused();
    void unreadableAttachment();
    void refusedConnectionFails();
    void refusedRecipientIsReported();
    void brokenDialogueLeavesTheWindowUsable();
    void cancelAndEscape();
    void accessKeysAndEscapeClose();
    void combinationsTypeNothing_data();
    void combinationsTypeNothing();
    void loginDialog();
    void desktopKeyring();
    void untrustedCertificate();
    void rememberedBetweenRuns();
    void connectionSettings();
    void captionsFit_data();
    void captionsFit();
    void handedToTheMailProgram_data();
    void handedToTheMailProgram();
    void closingMidSendEndsTheSend_data();
    void closingMidSendEndsTheSend();
    void dialogCancelKeepsLastPick();
    void notAnAddressIsRefused_data();
    void notAnAddressIsRefused();

private:
    frmDemo *open();
    template <class T> T *control(const char *name) const { return child<T>(m_window.data(), name); }
    QLineEdit *field(const char *name) const { return control<QLineEdit>(name); }
    QPushButton *sendButton() const { return control<QPushButton>("cmdSend"); }
    QString status() const { return control<QLabel>("lblStatus")->text(); }
    void fillForServer(const QString &port);

    QTemporaryDir m_files;
    std::unique_ptr<SmtpTestServer> m_server; // accepts everything; shared by the sends that succeed
    QPointer<frmDemo> m_window;
    QStringList m_statuses;
    int m_ended = 0;
    MailOutcome m_outcome;
    TestCa m_ca;
    QTemporaryDir m_settingsDir;
    std::unique_ptr<SecretService> m_secrets;
};

void TestMailDemo::initTestCase()
{
    prepareWindowTests();
    QApplication::setQuitOnLastWindowClosed(false);
    QVERIFY(m_files.isValid());
    m_server = std::make_unique<SmtpTestServer>();
    QString error;
    QVERIFY2(m_server->start(&error), qPrintable(error));
    QVERIFY2(m_ca.make(&error), qPrintable(error));
    qputenv("SSL_CERT_FILE", m_ca.authorityFile().toLocal8Bit());
    mailsettings::useFileForTesting(m_settingsDir.filePath(QStringLiteral("mail.conf")));
    keyring::useMemoryForTesting(true);
}

void TestMailDemo::cleanup()
{
    if (m_window)
        m_window->close();
    QTRY_VERIFY(!showonce::instance<frmDemo>());
    // Every case starts as on a first run.
    QFile::remove(m_settingsDir.filePath(QStringLiteral("mail.conf")));
    keyring::useMemoryForTesting(true);
    m_ended = 0;
    messagebox::takeRecorded();
    OpenFileDialog::setNextAnswers({});
    m_statuses.clear();
}

// Shows the window as the program does and records every status text it shows.
frmDemo *TestMailDemo::open()
{
    m_window = showonce::show<frmDemo>();
    if (!m_window)
        qFatal("the mail window did not open");
    connect(m_window, &frmDemo::statusChanged, this, [this](const QString &text) {
        QCOMPARE(status(), text);
        m_statuses << text;
    });
    connect(m_window, &frmDemo::sendEnded, this, [this](const MailOutcome &outcome) {
        ++m_ended;
        m_outcome = outcome;
    });
    return m_window;
}

void TestMailDemo::fillForServer(const QString &port)
{
    // The port goes with the server's name, as users type it.
    field("txtServer")->setText(QStringLiteral("127.0.0.1:") + port);
    field("txtFromAddress")->setText(QStringLiteral("tester@ferox64.example"));
}

void TestMailDemo::opensWithDefaults()
{
    open();
    QCOMPARE(m_window->windowTitle(), caption);
    QCOMPARE(field("txtServer")->text(), QString());
    QCOMPARE(field("txtFromAddress")->text(), QString());
    QCOMPARE(field("txtToAddress")->text(), QStringLiteral("maintainers@ferox64.example"));
    QCOMPARE(field("txtSubject")->text(), QStringLiteral("Updated Ferox.ini File"));
    QCOMPARE(field("txtAttach")->text(), QString());
    QCOMPARE(control<QPlainTextEdit>("txtBody")->toPlainText(), QString());
    QCOMPARE(status(), QStringLiteral("Status:"));
    QVERIFY(sendButton()->isEnabled());
    QCOMPARE(m_window->size(), QSize(361, 332));
    QCOMPARE(m_window->minimumSize(), m_window->maximumSize());
    QVERIFY(!(m_window->windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
    QCOMPARE(sendButton()->text(), QStringLiteral("&Send"));
    QCOMPARE(control<QPushButton>("cmdClose")->text(), QStringLiteral("&Close"));

    // Showing it again while it is open keeps what the user typed.
    field("txtServer")->setText(QStringLiteral("mail.ferox64.example"));
    QCOMPARE(showonce::show<frmDemo>(), m_window.data());
    QCOMPARE(field("txtServer")->text(), QStringLiteral("mail.ferox64.example"));
}

void TestMailDemo::keyboard()
{
    open();
    m_window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_window));
    // The focus order of the fields and buttons.
    const QStringList order = { QStringLiteral("txtServer"), QStringLiteral("txtFromAddress"),
        QStringLiteral("txtToAddress"), QStringLiteral("txtSubject"), QStringLiteral("txtAttach"),
        QStringLiteral("txtBody"), QStringLiteral("cmdClose"), QStringLiteral("cmdSend"),
        QStringLiteral("cmdSelect"), QStringLiteral("cmdConnection"), QStringLiteral("txtServer") };
    field("txtServer")->setFocus();
    for (qsizetype i = 1; i < order.size(); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget()->objectName(), order[i]);
    }

    // Enter in the message field is a line break; in a single-line field it is Send.
    auto *body = control<QPlainTextEdit>("txtBody");
    body->setFocus();
    QTest::keyClick(body, Qt::Key_Return);
    QCOMPARE(body->toPlainText(), QStringLiteral("\n"));
    QVERIFY(messagebox::takeRecorded().isEmpty());
    field("txtServer")->setFocus();
    QTest::keyClick(field("txtServer"), Qt::Key_Return);
    const QList<messagebox::Record> boxes = messagebox::takeRecorded();
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes[0].text, QStringLiteral("Either the server name or to address were left empty."));
}

void TestMailDemo::sendsTheMail_data()
{
    QTest::addColumn<QByteArray>("attachment");
    QTest::addColumn<QString>("fileName");
    QTest::newRow("no attachment") << QByteArray() << QString();
    QTest::newRow("settings file") << QByteArray("[Kart Rally 64 (U)]\r\n//=Ada Quill\r\nUCode=2\r\n\r\n")
                                   << QStringLiteral("Ferox.ini");
    QTest::newRow("binary, 100,000 bytes") << allByteValues(100000) << QStringLiteral("image.bin");
}

void TestMailDemo::sendsTheMail()
{
    QFETCH(QByteArray, attachment);
    QFETCH(QString, fileName);
    const QString path = fileName.isEmpty() ? QString() : writeFile(m_files, fileName, attachment);
    const int before = m_server->messageCount();

    open();
    fillForServer(m_server->portText());
    field("txtAttach")->setText(path);
    field("txtSubject")->setText(QStringLiteral("New entries for March"));
    const QString body = QStringLiteral("Hello,\nthree new games.\n.\nRegards");
    control<QPlainTextEdit>("txtBody")->setPlainText(body);

    QTest::mouseClick(sendButton(), Qt::LeftButton);
    QCOMPARE(sendButton()->text(), QStringLiteral("Cancel"));
    WAIT_FOR_IDLE_AFTER_SEND();

    QStringList expected = { QStringLiteral("Connecting to POP Server"),
        QStringLiteral("Connected to POP Server"), QStringLiteral("Sending mail") };
    if (!path.isEmpty())
        expected.prepend(QStringLiteral("Encoding file attachment"));
    QCOMPARE(m_statuses.mid(0, expected.size()), expected);
    // The outcome stays in the status line until a field changes.
    QVERIFY2(status().startsWith(QStringLiteral("Mail sent to maintainers@ferox64.example at ")),
        qPrintable(status()));
    QCOMPARE(m_statuses.size(), expected.size() + 1);
    QVERIFY(messagebox::takeRecorded().isEmpty());
    // A send clears no field.
    QCOMPARE(field("txtServer")->text(), QStringLiteral("127.0.0.1:") + m_server->portText());
    QCOMPARE(field("txtFromAddress")->text(), QStringLiteral("tester@ferox64.example"));
    QCOMPARE(field("txtToAddress")->text(), frmDemo::maintainersAddress());
    QCOMPARE(field("txtSubject")->text(), QStringLiteral("New entries for March"));
    QCOMPARE(field("txtAttach")->text(), path);
    QCOMPARE(control<QPlainTextEdit>("txtBody")->toPlainText(), body);

    QCOMPARE(m_server->messageCount(), before + 1);
    const int n = before + 1;
    QCOMPARE(m_server->envelope(n).value(QStringLiteral("mail_from")).toString(),
        QStringLiteral("tester@ferox64.example"));
    QCOMPARE(m_server->envelope(n).value(QStringLiteral("rcpt_tos")).toArray(),
        QJsonArray { frmDemo::maintainersAddress() });
    const QJsonObject message = m_server->inspect(n);
    QCOMPARE(message.value(QStringLiteral("defects")).toArray(), QJsonArray());
    QCOMPARE(message.value(QStringLiteral("subject")).toString(), QStringLiteral("New entries for March"));
    const QJsonArray parts = message.value(QStringLiteral("parts")).toArray();
    QCOMPARE(parts.size(), path.isEmpty() ? 1 : 2);
    // The body as typed, with CR LF line breaks; the one after it belongs to
    // the delimiter that follows.
    QString typed = body;
    typed.replace(QLatin1String("\n"), QLatin1String("\r\n"));
    QCOMPARE(parts[0].toObject().value(QStringLiteral("text")).toString(), typed + QStringLiteral("\r\n"));
    if (!path.isEmpty()) {
        const QJsonObject file = parts[1].toObject();
        QCOMPARE(file.value(QStringLiteral("filename")).toString(), fileName);
        QCOMPARE(
            QByteArray::fromBase64(file.value(QStringLiteral("bytes")).toString().toLatin1()), attachment);
    }

    // Typing clears the outcome.
    QTest::keyClick(field("txtSubject"), Qt::Key_Space);
    QCOMPARE(status(), QStringLiteral("Status:"));
    QTest::keyClick(field("txtSubject"), Qt::Key_Backspace);

    // A further click sends the same mail again over a new connection.
    m_statuses.clear();
    m_ended = 0;
    QTest::mouseClick(sendButton(), Qt::LeftButton);
    WAIT_FOR_IDLE_AFTER_SEND();
    QCOMPARE(m_statuses.mid(0, expected.size()), expected);
    QCOMPARE(m_server->messageCount(), before + 2);
}

void TestMailDemo::sendsWhatTheFieldsHeldAtTheClick()
{
    // A field changed while the send runs changes nothing in the mail on its
    // way: what goes is what the user saw when clicking Send.
    const QString first = writeFile(m_files, QStringLiteral("first.ini"), "[first]\r\n");
    const QString second = writeFile(m_files, QStringLiteral("second.ini"), allByteValues(5000));
    const int before = m_server->messageCount();
    open();
    fillForServer(m_server->portText());
    field("txtAttach")->setText(first);
    connect(m_window, &frmDemo::statusChanged, this, [this, second](const QString &text) {
        if (text == QStringLiteral("Connected to POP Server"))
            field("txtAttach")->setText(second);
    });
    QTest::mouseClick(sendButton(), Qt::LeftButton);
    WAIT_FOR_IDLE_AFTER_SEND();
    QCOMPARE(m_server->messageCount(), before + 1);
    const QJsonObject file
        = m_server->inspect(before + 1).value(QStringLiteral("parts")).toArray()[1].toObject();
    QCOMPARE(file.value(QStringLiteral("filename")).toString(), QStringLiteral("first.ini"));
    QCOMPARE(QByteArray::fromBase64(file.value(QStringLiteral("bytes")).toString().toLatin1()),
        QByteArray("[first]\r\n"));
    QCOMPARE(field("txtAttach")->text(), second);
}

void TestMailDemo::missingFieldIsRefused_data()
{
    QTest::addColumn<QString>("server");
    QTest::addColumn<QString>("recipient");
    QTest::newRow("no server") << QString() << QStringLiteral("a@ferox64.example");
    QTest::newRow("no recipient") << QStringLiteral("127.0.0.1") << QString();
    QTest::newRow("neither") << QString() << QString();
}

void TestMailDemo::missingFieldIsRefused()
{
    QFETCH(QString, server);
    QFETCH(QString, recipient);
    open();
    field("txtServer")->setText(server);
    field("txtToAddress")->setText(recipient);
    // An attachment that would fail to encode shows that nothing was encoded.
    field("txtAttach")->setText(m_files.filePath(QStringLiteral("missing.ini")));
    QTest::mouseClick(sendButton(), Qt::LeftButton);

    const QList<messagebox::Record> boxes = messagebox::takeRecorded();
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes[0].title, caption);
    QCOMPARE(boxes[0].text, QStringLiteral("Either the server name or to address were left empty."));
    QCOMPARE(boxes[0].icon, messagebox::Icon::Critical);
    QVERIFY(sendButton()->isEnabled());
    QCOMPARE(status(), QStringLiteral("Status:"));
    QCOMPARE(m_statuses, QStringList());
    QCOMPARE(m_window->state(), frmDemo::State::Idle);
}

void TestMailDemo::emptySenderIsRefused()
{
    open();
    fillForServer(m_server->portText());
    field("txtFromAddress")->setText(QString());
    field("txtAttach")->setText(m_files.filePath(QStringLiteral("missing.ini")));
    QTest::mouseClick(sendButton(), Qt::LeftButton);

    const QList<messagebox::Record> boxes = messagebox::takeRecorded();
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes[0].title, caption);
    QCOMPARE(
        boxes[0].text, QStringLiteral("The from address was left empty. Enter your own e-mail address."));
    QCOMPARE(boxes[0].icon, messagebox::Icon::Critical);
    QVERIFY(sendButton()->isEnabled());
    QCOMPARE(m_statuses, QStringList());
    QCOMPARE(m_window->state(), frmDemo::State::Idle);
}

void TestMailDemo::headerLineBreakIsRefused_data()
{
    QTest::addColumn<QString>("fieldName");
    QTest::addColumn<QString>("text");
    QTest::newRow("sender") << QStringLiteral("txtFromAddress")
                            << QStringLiteral("me@ferox64.example\r\nRCPT TO:<x@y.example>");
    QTest::newRow("recipient") << QStringLiteral("txtToAddress") << QStringLiteral("a@ferox64.example\nb");
    QTest::newRow("subject") << QStringLiteral("txtSubject") << QStringLiteral("Update\rBcc: x@y.example");
    QTest::newRow("attachment name") << QStringLiteral("txtAttach") << QStringLiteral("/tmp/Fer\nox.ini");
}

void TestMailDemo::headerLineBreakIsRefused()
{
    QFETCH(QString, fieldName);
    QFETCH(QString, text);
    open();
    fillForServer(m_server->portText());
    field(fieldName.toLatin1().constData())->setText(text);
    QCOMPARE(field(fieldName.toLatin1().constData())->text(), text);
    QTest::mouseClick(sendButton(), Qt::LeftButton);

    const QList<messagebox::Record> boxes = messagebox::takeRecorded();
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes[0].title, caption);
    QVERIFY2(boxes[0].text.contains(QLatin1String("line break")), qPrintable(boxes[0].text));
    QVERIFY(sendButton()->isEnabled());
    QCOMPARE(m_statuses, QStringList());
    QCOMPARE(status(), QStringLiteral("Status:"));
}

void TestMailDemo::unreadableAttachment()
{
    const QString path = m_files.filePath(QStringLiteral("gone.ini"));
    open();
    fillForServer(m_server->portText());
    field("txtAttach")->setText(path);
    QTest::mouseClick(sendButton(), Qt::LeftButton);
    WAIT_FOR_IDLE_AFTER_SEND();

    const QList<messagebox::Record> boxes = messagebox::takeRecorded();
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes[0].title, caption);
    QVERIFY2(boxes[0].text.contains(path), qPrintable(boxes[0].text));
    QVERIFY2(boxes[0].text.contains(QLatin1String("No such file")), qPrintable(boxes[0].text));
    QCOMPARE(
        m_statuses, QStringList({ QStringLiteral("Encoding file attachment"), QStringLiteral("Status:") }));
    QVERIFY(sendButton()->isEnabled());
    QCOMPARE(field("txtAttach")->text(), path);
    QCOMPARE(m_window->state(), frmDemo::State::Idle);
}

void TestMailDemo::refusedConnectionFails()
{
    const QString port = closedPort();
    QVERIFY(!port.isEmpty());
    open();
    fillForServer(port);
    QTest::mouseClick(sendButton(), Qt::LeftButton);
    WAIT_FOR_IDLE_AFTER_SEND();

    const QList<messagebox::Record> boxes = messagebox::takeRecorded();
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes[0].title, caption);
    QCOMPARE(boxes[0].icon, messagebox::Icon::Critical);
    const QStringList lines = boxes[0].text.split(QStringLiteral("\r\n"));
    QCOMPARE(lines.size(), 3);
    QCOMPARE(lines[0], QStringLiteral("Error Number: 10061"));
    QVERIFY2(lines[1].contains(QLatin1String("refused"), Qt::CaseInsensitive), qPrintable(lines[1]));
    QCOMPARE(lines[2], QStringLiteral("Winsock1"));
    // Usable again at once, every field as typed.
    QCOMPARE(status(), QStringLiteral("Status:"));
    QCOMPARE(field("txtServer")->text(), QStringLiteral("127.0.0.1:") + port);
    QCOMPARE(field("txtFromAddress")->text(), QStringLiteral("tester@ferox64.example"));

    // A server name that is no server is refused before any connection.
    field("txtServer")->setText(QStringLiteral("mail.ferox64.example:smtp"));
    QTest::mouseClick(sendButton(), Qt::LeftButton);
    const QList<messagebox::Record> refused = messagebox::takeRecorded();
    QCOMPARE(refused.size(), 1);
    QVERIFY2(refused[0].text.contains(QLatin1String("port")), qPrintable(refused[0].text));
    QVERIFY(sendButton()->isEnabled());
}

void TestMailDemo::refusedRecipientIsReported()
{
    SmtpTestServer server(SmtpTestServer::Mode::RefuseRecipient);
    QString error;
    QVERIFY2(server.start(&error), qPrintable(error));
    open();
    fillForServer(server.portText());
    QTest::mouseClick(sendButton(), Qt::LeftButton);
    WAIT_FOR_IDLE_AFTER_SEND();

    QVERIFY(!m_statuses.contains(QStringLiteral("Mail sent")));
    const QList<messagebox::Record> boxes = messagebox::takeRecorded();
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes[0].title, caption);
    QVERIFY2(
        boxes[0].text.contains(QLatin1String("550 5.1.1 <maintainers@ferox64.example>: Recipient address "
                                             "rejected")),
        qPrintable(boxes[0].text));
    QCOMPARE(server.messageCount(), 0);
}

void TestMailDemo::brokenDialogueLeavesTheWindowUsable()
{
    SmtpTestServer server(SmtpTestServer::Mode::CloseAfterMail);
    QString error;
    QVERIFY2(server.start(&error), qPrintable(error));
    open();
    fillForServer(server.portText());
    control<QPlainTextEdit>("txtBody")->setPlainText(QStringLiteral("kept"));
    QTest::mouseClick(sendButton(), Qt::LeftButton);
    WAIT_FOR_IDLE_AFTER_SEND();
    const QList<messagebox::Record> boxes = messagebox::takeRecorded();
    QCOMPARE(boxes.size(), 1);
    QVERIFY2(boxes[0].text.contains(QLatin1String("closed the connection")), qPrintable(boxes[0].text));
    QCOMPARE(status(), QStringLiteral("Status:"));
    QCOMPARE(control<QPlainTextEdit>("txtBody")->toPlainText(), QStringLiteral("kept"));
    QVERIFY(control<QPushButton>("cmdConnection")->isEnabled());
}

void TestMailDemo::cancelAndEscape()
{
    SmtpTestServer server(SmtpTestServer::Mode::Silent);
    QString error;
    QVERIFY2(server.start(&error), qPrintable(error));
    open();
    fillForServer(server.portText());
    QTest::mouseClick(sendButton(), Qt::LeftButton);
    // While it runs, Send is Cancel, and Enter in a field does not cancel.
    QCOMPARE(sendButton()->text(), QStringLiteral("Cancel"));
    QVERIFY(sendButton()->isEnabled());
    QVERIFY(!control<QPushButton>("cmdConnection")->isEnabled());
    QTRY_COMPARE(m_window->state(), frmDemo::State::Sending);
    field("txtSubject")->setFocus();
    QTest::keyClick(field("txtSubject"), Qt::Key_Return);
    QTest::qWait(100);
    QCOMPARE(m_ended, 0);
    // The wait is said in words while it lasts.
    QTRY_VERIFY_WITH_TIMEOUT(status().contains(QLatin1String("waiting for the server's greeting")), 5000);

    QTest::mouseClick(sendButton(), Qt::LeftButton);
    WAIT_FOR_IDLE_AFTER_SEND();
    QCOMPARE(m_outcome.kind, MailOutcome::Kind::Cancelled);
    QCOMPARE(status(), QStringLiteral("Cancelled: nothing was sent"));
    QVERIFY(messagebox::takeRecorded().isEmpty());

    // Escape cancels as well, and the window stays.
    m_ended = 0;
    QTest::mouseClick(sendButton(), Qt::LeftButton);
    QTRY_COMPARE(m_window->state(), frmDemo::State::Sending);
    QTest::keyClick(control<QPlainTextEdit>("txtBody"), Qt::Key_Escape);
    WAIT_FOR_IDLE_AFTER_SEND();
    QCOMPARE(m_outcome.kind, MailOutcome::Kind::Cancelled);
    QVERIFY(m_window->isVisible());
    QCOMPARE(server.messageCount(), 0);
}

void TestMailDemo::accessKeysAndEscapeClose()
{
    open();
    m_window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_window));
    field("txtSubject")->setFocus();
    // Alt+S is Send (here refused: no server), and types nothing. Access keys
    // go through the window, as the desktop delivers them.
    QTest::keyClick(m_window, Qt::Key_S, Qt::AltModifier);
    QList<messagebox::Record> boxes;
    QTRY_VERIFY(!(boxes += messagebox::takeRecorded()).isEmpty());
    QCOMPARE(boxes[0].text, QStringLiteral("Either the server name or to address were left empty."));
    QCOMPARE(field("txtSubject")->text(), QStringLiteral("Updated Ferox.ini File"));
    // Escape closes the window when no send runs; so does Alt+C.
    QTest::keyClick(m_window, Qt::Key_Escape);
    QTRY_VERIFY(!showonce::instance<frmDemo>());
    open();
    m_window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_window));
    field("txtServer")->setFocus();
    QTest::keyClick(m_window, Qt::Key_C, Qt::AltModifier);
    QTRY_VERIFY(!showonce::instance<frmDemo>());
}

void TestMailDemo::combinationsTypeNothing_data()
{
    QTest::addColumn<int>("modifier");
    QTest::newRow("Ctrl") << int(Qt::ControlModifier);
    QTest::newRow("Alt") << int(Qt::AltModifier);
    QTest::newRow("Meta") << int(Qt::MetaModifier);
    QTest::newRow("Ctrl+Shift") << int(Qt::ControlModifier | Qt::ShiftModifier);
}

void TestMailDemo::combinationsTypeNothing()
{
    QFETCH(int, modifier);
    open();
    // Send stays out of reach: a combination that is an access key must not
    // start a mail while this sweep runs.
    sendButton()->setEnabled(false);
    control<QPushButton>("cmdClose")->setEnabled(false);
    control<QPushButton>("cmdConnection")->setEnabled(false);
    control<QPushButton>("cmdSelect")->setEnabled(false);
    const QString keys = QStringLiteral("abcdefghijklmnopqrstuvwxyz0123456789`-=[]\\;',./");
    const char *names[] = { "txtServer", "txtFromAddress", "txtToAddress", "txtSubject", "txtAttach" };
    auto *body = control<QPlainTextEdit>("txtBody");
    body->setPlainText(QStringLiteral("body"));
    QList<QWidget *> fields { body };
    for (const char *name : names)
        fields << field(name);
    for (QWidget *w : fields) {
        const QString before = w == body ? body->toPlainText() : static_cast<QLineEdit *>(w)->text();
        for (QChar c : keys) {
            // The editing commands (select all, copy, paste, cut, undo, redo)
            // change text on purpose; they are tried below.
            if ((modifier & Qt::ControlModifier) && QStringLiteral("acvxyz").contains(c))
                continue;
            // The text the desktop delivers with such a key is the key's own
            // character, as on X11.
            const int key = c.isLetter() ? Qt::Key_A + (c.unicode() - 'a') : c.unicode();
            QKeyEvent press(QEvent::KeyPress, key, Qt::KeyboardModifiers(modifier), QString(c));
            QApplication::sendEvent(w, &press);
            QKeyEvent release(QEvent::KeyRelease, key, Qt::KeyboardModifiers(modifier), QString(c));
            QApplication::sendEvent(w, &release);
            const QString after = w == body ? body->toPlainText() : static_cast<QLineEdit *>(w)->text();
            QVERIFY2(after == before,
                qPrintable(QStringLiteral("%1 took %2: \"%3\"").arg(w->objectName(), c, after)));
        }
    }
    // Copy and paste still work by keyboard.
    field("txtSubject")->selectAll();
    QTest::keyClick(field("txtSubject"), Qt::Key_C, Qt::ControlModifier);
    field("txtServer")->clear();
    QTest::keyClick(field("txtServer"), Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(field("txtServer")->text(), QStringLiteral("Updated Ferox.ini File"));
}

void TestMailDemo::loginDialog()
{
    SmtpTestServer server;
    server.setTls(m_ca.good().certificate, m_ca.good().key);
    server.setLogin(QStringLiteral("tester@ferox64.example"), QStringLiteral("pa55"), true);
    QString error;
    QVERIFY2(server.start(&error), qPrintable(error));
    open();
    fillForServer(server.portText());
    QTest::mouseClick(sendButton(), Qt::LeftButton);

    // The server asks; the dialog opens with the From address selected.
    QPointer<LoginDialog> login;
    QTRY_VERIFY((login = m_window->findChild<LoginDialog *>()) && login->isVisible());
    auto *user = child<QLineEdit>(login, "txtUser");
    QCOMPARE(user->text(), QStringLiteral("tester@ferox64.example"));
    QCOMPARE(user->selectedText(), user->text());
    QCOMPARE(login->focusWidget(), user);
    QTest::keyClick(user, Qt::Key_Tab);
    auto *password = child<QLineEdit>(login, "txtPassword");
    QCOMPARE(login->focusWidget(), password);
    // A wrong password: asked again, saying so.
    QTest::keyClicks(password, QStringLiteral("wrong"));
    QTest::keyClick(password, Qt::Key_Return);
    QTRY_VERIFY(!login);
    QPointer<LoginDialog> again;
    QTRY_VERIFY((again = m_window->findChild<LoginDialog *>()) && again->isVisible());
    QVERIFY(child<QLabel>(again, "lblReason")->text().contains(QLatin1String("535")));
    child<QCheckBox>(again, "chkRemember")->setChecked(true);
    QTest::keyClicks(child<QLineEdit>(again, "txtPassword"), QStringLiteral("pa55"));
    QTest::keyClick(child<QLineEdit>(again, "txtPassword"), Qt::Key_Return);
    WAIT_FOR_IDLE_AFTER_SEND();
    QCOMPARE(m_outcome.kind, MailOutcome::Kind::Sent);
    QTRY_COMPARE(server.messageCount(), 1);
    // The password went to the keyring, and nowhere else.
    QTRY_COMPARE(keyring::memoryPasswordForTesting(QStringLiteral("tester@ferox64.example@127.0.0.1")),
        QStringLiteral("pa55"));
    QFile settings(m_settingsDir.filePath(QStringLiteral("mail.conf")));
    QVERIFY(settings.open(QIODevice::ReadOnly));
    QVERIFY(!settings.readAll().contains("pa55"));

    // The next send takes it from there without asking.
    m_ended = 0;
    QTest::mouseClick(sendButton(), Qt::LeftButton);
    WAIT_FOR_IDLE_AFTER_SEND();
    QCOMPARE(m_outcome.kind, MailOutcome::Kind::Sent);
    QVERIFY(!m_window->findChild<LoginDialog *>());

    // Without a keyring the dialog says the password cannot be remembered.
    keyring::useMemoryForTesting(false);
    m_ended = 0;
    QTest::mouseClick(sendButton(), Qt::LeftButton);
    QPointer<LoginDialog> third;
    QTRY_VERIFY((third = m_window->findChild<LoginDialog *>()) && third->isVisible());
    QVERIFY(child<QLabel>(third, "lblNoKeyring")->isVisible());
    QVERIFY(!child<QCheckBox>(third, "chkRemember")->isEnabled());
    // Cancel in the dialog cancels the send.
    third->reject();
    WAIT_FOR_IDLE_AFTER_SEND();
    QCOMPARE(m_outcome.kind, MailOutcome::Kind::Cancelled);
}

// The same login against a real Secret Service: the password ticked to be
// remembered is kept there and used by the next send without asking; when the
// server no longer takes it the dialog asks again; with the keyring gone the
// dialog says it cannot remember. No password ever reaches the settings file.
void TestMailDemo::desktopKeyring()
{
    // The bus outlives the case: the keyring library ends the process when
    // its session bus goes away.
    m_secrets = std::make_unique<SecretService>();
    QString error;
    QVERIFY2(m_secrets->start(&error), qPrintable(error));
    qputenv("DBUS_SESSION_BUS_ADDRESS", m_secrets->address().toLocal8Bit());
    keyring::useDesktop();
    const QString user = QStringLiteral("tester@ferox64.example");
    auto startServer = [&](SmtpTestServer &server, const QString &password) {
        server.setTls(m_ca.good().certificate, m_ca.good().key);
        server.setLogin(user, password, true);
        QString why;
        QVERIFY2(server.start(&why), qPrintable(why));
    };
    // Answers the login dialog the next send opens; false when none opened.
    auto answerLogin = [&](const QString &password, bool remember, QString *reason) {
        QPointer<LoginDialog> login;
        if (!QTest::qWaitFor(
                [&] { return (login = m_window->findChild<LoginDialog *>()) && login->isVisible(); }, 15000))
            return false;
        *reason = child<QLabel>(login, "lblReason")->text();
        child<QCheckBox>(login, "chkRemember")->setChecked(remember);
        auto *field = child<QLineEdit>(login, "txtPassword");
        QTest::keyClicks(field, password);
        QTest::keyClick(field, Qt::Key_Return);
        return true;
    };
    auto send = [&] {
        m_ended = 0;
        QTest::mouseClick(sendButton(), Qt::LeftButton);
    };
    const QString settingsFile = m_settingsDir.filePath(QStringLiteral("mail.conf"));
    auto settingsHold = [&](const QByteArray &text) {
        QFile settings(settingsFile);
        return settings.open(QIODevice::ReadOnly) && settings.readAll().contains(text);
    };

    // The first server's password is kept and used again without asking; the
    // second wants another, so the kept one is refused and the user asked.
    SmtpTestServer servers[2];
    const QString passwords[2] = { QStringLiteral("first pa55"), QStringLiteral("second pa55") };
    open();
    for (int i = 0; i < 2; ++i) {
        startServer(servers[i], passwords[i]);
        fillForServer(servers[i].portText());
        send();
        QString reason;
        QVERIFY(answerLogin(passwords[i], true, &reason));
        if (i > 0)
            QVERIFY2(reason.contains(QLatin1String("535")), qPrintable(reason));
        WAIT_FOR_IDLE_AFTER_SEND();
        QCOMPARE(m_outcome.kind, MailOutcome::Kind::Sent);
        send();
        WAIT_FOR_IDLE_AFTER_SEND();
        QCOMPARE(m_outcome.kind, MailOutcome::Kind::Sent);
        QCOMPARE(servers[i].messageCount(), 2);
    }
    QVERIFY(!settingsHold("pa55"));

    // No keyring answers any more: the dialog says so and cannot remember.
    m_secrets->stopKeyring();
    send();
    QPointer<LoginDialog> login;
    QTRY_VERIFY_WITH_TIMEOUT((login = m_window->findChild<LoginDialog *>()) && login->isVisible(), 15000);
    QVERIFY(child<QLabel>(login, "lblNoKeyring")->isVisible());
    QVERIFY(!child<QCheckBox>(login, "chkRemember")->isEnabled());
    QTest::keyClicks(child<QLineEdit>(login, "txtPassword"), QStringLiteral("second pa55"));
    QTest::keyClick(child<QLineEdit>(login, "txtPassword"), Qt::Key_Return);
    WAIT_FOR_IDLE_AFTER_SEND();
    QCOMPARE(m_outcome.kind, MailOutcome::Kind::Sent);
    QVERIFY(!settingsHold("pa55"));
}

void TestMailDemo::untrustedCertificate()
{
    SmtpTestServer server;
    server.setTls(m_ca.unknownIssuer().certificate, m_ca.unknownIssuer().key);
    QString error;
    QVERIFY2(server.start(&error), qPrintable(error));
    open();
    fillForServer(server.portText());
    messagebox::setNextAnswers({ messagebox::Answer::TrustAndSend });
    QTest::mouseClick(sendButton(), Qt::LeftButton);
    // The question names the reason and the fingerprint; trusted, it sends.
    QTRY_COMPARE_WITH_TIMEOUT(server.messageCount(), 1, 15000);
    const QList<messagebox::Record> boxes = messagebox::takeRecorded();
    QCOMPARE(boxes.size(), 1);
    const QString fingerprint = m_ca.fingerprint(m_ca.unknownIssuer());
    QVERIFY2(boxes[0].text.contains(QLatin1String("unknown issuer")), qPrintable(boxes[0].text));
    QVERIFY2(boxes[0].text.contains(fingerprint), qPrintable(boxes[0].text));
    QVERIFY(boxes[0].answers.contains(messagebox::Answer::SendUnencrypted));
    QCOMPARE(mailsettings::trustedFingerprint(QStringLiteral("127.0.0.1"), server.port()), fingerprint);
}

void TestMailDemo::rememberedBetweenRuns()
{
    open();
    fillForServer(m_server->portText());
    QTest::mouseClick(sendButton(), Qt::LeftButton);
    WAIT_FOR_IDLE_AFTER_SEND();
    QCOMPARE(m_outcome.kind, MailOutcome::Kind::Sent);
    m_window->close();
    QTRY_VERIFY(!showonce::instance<frmDemo>());
    open();
    QCOMPARE(field("txtServer")->text(), QStringLiteral("127.0.0.1:") + m_server->portText());
    QCOMPARE(field("txtFromAddress")->text(), QStringLiteral("tester@ferox64.example"));
    QCOMPARE(status(), QStringLiteral("Status:"));
}

void TestMailDemo::connectionSettings()
{
    open();
    auto *button = control<QPushButton>("cmdConnection");
    QCOMPARE(button->text(), QStringLiteral("C&onnection..."));
    QTimer::singleShot(0, this, [] {
        auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        auto *port = child<QSpinBox>(dialog, "spnPort");
        QCOMPARE(port->value(), 0);
        QCOMPARE(child<QComboBox>(dialog, "cboSecurity")->currentText(),
            QStringLiteral("STARTTLS when the server offers it"));
        port->setValue(465);
        // Port 465 speaks TLS from the start.
        QCOMPARE(
            child<QComboBox>(dialog, "cboSecurity")->currentText(), QStringLiteral("TLS from the start"));
        child<QLineEdit>(dialog, "txtUser")->setText(QStringLiteral("tess"));
        dialog->accept();
    });
    QTest::mouseClick(button, Qt::LeftButton);
    const MailSettings saved = mailsettings::load();
    QCOMPARE(saved.connection.port, 465);
    QCOMPARE(saved.connection.security, smtp::Security::ImplicitTls);
    QCOMPARE(saved.userName, QStringLiteral("tess"));
    QVERIFY(!saved.rememberPassword);
}

// Every caption of the window and its dialogs is seen whole at today's font,
// where the window keeps its designed size, and at one and a half times it
// (a desktop at 144 dpi), where the window grows; Send's Cancel too.
void TestMailDemo::captionsFit_data()
{
    QTest::addColumn<double>("scale");
    QTest::newRow("today's font") << 1.0;
    QTest::newRow("144 dpi") << 1.5;
}

void TestMailDemo::captionsFit()
{
    QFETCH(double, scale);
    // Controls at fixed places must hold what their caption needs; those in
    // a layout are given at least the size their style asks for.
    auto captionsSeen = [](QWidget *window) {
        for (QWidget *control : window->findChildren<QWidget *>()) {
            QString caption;
            if (auto *button = qobject_cast<QAbstractButton *>(control))
                caption = button->text().remove(QLatin1Char('&'));
            else if (auto *label = qobject_cast<QLabel *>(control))
                caption = label->text().remove(QLatin1Char('&'));
            if (caption.isEmpty() || !control->isVisible())
                continue;
            const bool laidOut = control->parentWidget()->layout();
            const auto *label = qobject_cast<QLabel *>(control);
            const QSize needs = !laidOut     ? captionNeeds(control, caption, control->width())
                : label && label->wordWrap() ? QSize(0, label->heightForWidth(control->width()))
                                             : control->sizeHint();
            if (needs.width() > control->width() || needs.height() > control->height())
                return QStringLiteral("%1 \"%2\" needs %3x%4 in %5x%6")
                    .arg(control->objectName(), caption)
                    .arg(needs.width())
                    .arg(needs.height())
                    .arg(control->width())
                    .arg(control->height());
        }
        return QString();
    };
    open();
    const QSize designed(361, 332);
    QCOMPARE(m_window->size(), designed);
    QFont font = m_window->font();
    font.setPointSizeF(font.pointSizeF() * scale);
    m_window->setFont(font);
    if (scale > 1)
        QTRY_VERIFY(m_window->width() > designed.width());
    QCOMPARE(captionsSeen(m_window), QString());
    sendButton()->setText(QStringLiteral("Cancel"));
    QCOMPARE(captionsSeen(m_window), QString());
    sendButton()->setText(QStringLiteral("&Send"));

    // The dialogs are laid out by their text.
    ConnectionDialog connection(MailSettings(), m_window);
    LoginDialog login(QStringLiteral("mail.example.org"), QStringLiteral("tess"),
        QStringLiteral("535 5.7.8 Authentication credentials invalid"), false, false, m_window);
    for (QDialog *dialog : { static_cast<QDialog *>(&connection), static_cast<QDialog *>(&login) }) {
        dialog->setFont(font);
        dialog->show();
        QVERIFY(QTest::qWaitForWindowExposed(dialog));
        QCOMPARE(captionsSeen(dialog), QString());
        dialog->hide();
    }
}

// "Send with my mail program" through the real xdg-email, on a desktop made
// here: its default mail program is a script that writes down the address it
// was given. Recipients, subject, body and attachment arrive as typed; with no
// mail program set up the user is told so.
void TestMailDemo::handedToTheMailProgram_data()
{
    QTest::addColumn<QByteArray>("mailerExit"); // the mail program's exit status; empty: none set up
    QTest::addColumn<QString>("report"); // the box's first words; empty: none
    QTest::newRow("a mail program is set up") << QByteArray("0") << QString();
    QTest::newRow("the mail program fails")
        << QByteArray("1") << QStringLiteral("The mail program could not take the message.");
    QTest::newRow("no mail program") << QByteArray()
                                     << QStringLiteral("No mail program is set up on this computer.");
}

void TestMailDemo::handedToTheMailProgram()
{
    QFETCH(QByteArray, mailerExit);
    QFETCH(QString, report);
    QTemporaryDir desktop;
    QVERIFY(desktop.isValid());
    const QString received = desktop.filePath(QStringLiteral("received.txt"));
    const QString mailer = writeFile(desktop, QStringLiteral("mailer"),
        "#!/bin/sh\nprintf '%s\\n' \"$@\" > '" + received.toUtf8() + "'\nexit " + mailerExit + "\n");
    QFile::setPermissions(mailer, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QDir(desktop.path()).mkpath(QStringLiteral("data/applications"));
    QDir(desktop.path()).mkpath(QStringLiteral("config"));
    QDir(desktop.path()).mkpath(QStringLiteral("system"));
    if (!mailerExit.isEmpty()) {
        writeFile(desktop, QStringLiteral("data/applications/test-mailer.desktop"),
            "[Desktop Entry]\nType=Application\nName=Test Mailer\nExec=" + mailer.toUtf8()
                + " %u\nMimeType=x-scheme-handler/mailto;\n");
        writeFile(desktop, QStringLiteral("config/mimeapps.list"),
            "[Default Applications]\nx-scheme-handler/mailto=test-mailer.desktop\n");
    }
    // The desktop of this test alone: a generic one, with a display, and no
    // web browser to fall back to.
    const QList<QPair<const char *, QByteArray>> environment {
        { "XDG_CONFIG_HOME", desktop.filePath(QStringLiteral("config")).toLocal8Bit() },
        { "XDG_DATA_HOME", desktop.filePath(QStringLiteral("data")).toLocal8Bit() },
        { "XDG_CONFIG_DIRS", desktop.filePath(QStringLiteral("system")).toLocal8Bit() },
        { "XDG_DATA_DIRS", desktop.filePath(QStringLiteral("system")).toLocal8Bit() },
        { "XDG_CURRENT_DESKTOP", "X-Generic" },
        { "DISPLAY", ":0" },
        { "BROWSER", "false" },
    };
    QList<QPair<const char *, std::optional<QByteArray>>> saved;
    for (const auto &[name, value] : environment) {
        saved.append({ name, qEnvironmentVariableIsSet(name) ? std::optional(qgetenv(name)) : std::nullopt });
        qputenv(name, value);
    }
    const auto restore = qScopeGuard([&saved] {
        for (const auto &[name, value] : saved)
            value ? qputenv(name, *value) : qunsetenv(name);
    });
    for (const char *name : { "MAILER", "KDE_FULL_SESSION", "GNOME_DESKTOP_SESSION_ID", "WAYLAND_DISPLAY" })
        qunsetenv(name);

    const QString attachment = writeFile(m_files, QStringLiteral("Ferox 64.ini"), "[Kart Rally 64 (U)]\r\n");
    const QString subject = QStringLiteral("Neue Einträge & 100% \"sicher\"?");
    const QString body = QStringLiteral("Hello,\nthe files are in C:\\new\\cfg; a=b&c=d #1\n\\cut here");
    open();
    field("txtToAddress")
        ->setText(QStringLiteral("\"Quill, Ada\" <ada@ferox64.example>; bo@players.example"));
    field("txtSubject")->setText(subject);
    field("txtAttach")->setText(attachment);
    control<QPlainTextEdit>("txtBody")->setPlainText(body);
    QTimer::singleShot(0, this, [] {
        auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        QTest::mouseClick(child<QPushButton>(dialog, "cmdMailProgram"), Qt::LeftButton);
    });
    QTest::mouseClick(control<QPushButton>("cmdConnection"), Qt::LeftButton);

    if (!report.isEmpty()) {
        QTRY_COMPARE_WITH_TIMEOUT(status(), QStringLiteral("Status:"), 15000);
        const QList<messagebox::Record> boxes = messagebox::takeRecorded();
        QCOMPARE(boxes.size(), 1);
        QVERIFY2(boxes[0].text.startsWith(report), qPrintable(boxes[0].text));
        // The box does not repeat the whole message as an address.
        QVERIFY2(!boxes[0].text.contains(QLatin1String("body=")), qPrintable(boxes[0].text));
        QCOMPARE(QFile::exists(received), !mailerExit.isEmpty());
        return;
    }
    QTRY_COMPARE_WITH_TIMEOUT(status(), QStringLiteral("Mail handed to your mail program"), 15000);
    QFile file(received);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QUrl url(QString::fromUtf8(file.readAll()).trimmed());
    QCOMPARE(url.scheme(), QStringLiteral("mailto"));
    QStringList to { url.path(QUrl::FullyDecoded) };
    const QUrlQuery query(url);
    to += query.allQueryItemValues(QStringLiteral("to"), QUrl::FullyDecoded);
    QCOMPARE(
        to, (QStringList { QStringLiteral("ada@ferox64.example"), QStringLiteral("bo@players.example") }));
    QCOMPARE(query.queryItemValue(QStringLiteral("subject"), QUrl::FullyDecoded), subject);
    // Mail bodies break their lines with CR LF.
    QCOMPARE(query.queryItemValue(QStringLiteral("body"), QUrl::FullyDecoded),
        QString(body).replace(QLatin1Char('\n'), QLatin1String("\r\n")));
    QCOMPARE(query.queryItemValue(QStringLiteral("attach"), QUrl::FullyDecoded), attachment);
    QVERIFY(messagebox::takeRecorded().isEmpty());
}

void TestMailDemo::closingMidSendEndsTheSend_data()
{
    QTest::addColumn<QString>("closeAt");
    QTest::addColumn<int>("attachmentSize");
    QTest::addColumn<int>("delayMs");
    // Large enough that the encoder lets events run before it is done.
    QTest::newRow("while encoding") << QStringLiteral("Encoding file attachment") << 24 * 1024 * 1024 << 0;
    QTest::newRow("connected") << QStringLiteral("Connected to POP Server") << 12 << 0;
    QTest::newRow("waiting for the greeting") << QStringLiteral("Connected to POP Server") << 12 << 300;
}

void TestMailDemo::closingMidSendEndsTheSend()
{
    QFETCH(QString, closeAt);
    QFETCH(int, attachmentSize);
    QFETCH(int, delayMs);
    // A peer that accepts and never answers, so the send is still under way
    // when the window closes, and that sees the connection end.
    QTcpServer peer;
    QVERIFY(peer.listen(QHostAddress::LocalHost));
    QPointer<QTcpSocket> accepted;
    connect(&peer, &QTcpServer::newConnection, this, [&] { accepted = peer.nextPendingConnection(); });

    open();
    fillForServer(QString::number(peer.serverPort()));
    field("txtAttach")
        ->setText(writeFile(m_files, QStringLiteral("Ferox.ini"), allByteValues(attachmentSize)));
    QPointer<SmtpClient> socket = control<SmtpClient>("Winsock1");
    connect(m_window, &frmDemo::statusChanged, this, [this, closeAt, delayMs](const QString &text) {
        if (text == closeAt)
            QTimer::singleShot(delayMs, m_window, [this] { m_window->close(); });
    });
    QTest::mouseClick(sendButton(), Qt::LeftButton);

    QTRY_VERIFY(!showonce::instance<frmDemo>());
    QVERIFY(!socket);
    if (attachmentSize > 1000) {
        // Closed before the connection was asked for.
        QTest::qWait(200);
        QVERIFY(!accepted);
    } else {
        QVERIFY(accepted);
        QTRY_COMPARE(accepted->state(), QAbstractSocket::UnconnectedState);
    }
    QVERIFY(messagebox::takeRecorded().isEmpty());
    QCOMPARE(m_statuses.last(), closeAt);

    // The next opening starts afresh.
    m_statuses.clear();
    open();
    QCOMPARE(field("txtServer")->text(), QString());
    QCOMPARE(field("txtAttach")->text(), QString());
    QVERIFY(sendButton()->isEnabled());
    QCOMPARE(status(), QStringLiteral("Status:"));
}

void TestMailDemo::dialogCancelKeepsLastPick()
{
    const QString picked = writeFile(m_files, QStringLiteral("picked.ini"), "[x]\r\n");
    open();
    auto *select = control<QPushButton>("cmdSelect");

    // Cancel before any pick empties the field, also a typed path.
    field("txtAttach")->setText(QStringLiteral("/typed/by/hand.ini"));
    OpenFileDialog::setNextAnswers({ std::nullopt });
    QTest::mouseClick(select, Qt::LeftButton);
    QCOMPARE(field("txtAttach")->text(), QString());

    // A pick fills it; a later cancel puts the last pick back.
    OpenFileDialog::setNextAnswers({ picked, std::nullopt });
    QTest::mouseClick(select, Qt::LeftButton);
    QCOMPARE(field("txtAttach")->text(), picked);
    field("txtAttach")->setText(QStringLiteral("/typed/again.ini"));
    QTest::mouseClick(select, Qt::LeftButton);
    QCOMPARE(field("txtAttach")->text(), picked);
    QCOMPARE(OpenFileDialog::takeShownCount(), 2);
}

void TestMailDemo::notAnAddressIsRefused_data()
{
    QTest::addColumn<QString>("fieldName");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("words");
    QTest::newRow("recipient") << QStringLiteral("txtToAddress") << QStringLiteral("alice")
                               << QStringLiteral("recipient address \"alice\"");
    QTest::newRow("sender") << QStringLiteral("txtFromAddress") << QStringLiteral("me at ferox64.example")
                            << QStringLiteral("sender address");
}

// Refused before anything is encoded or connected, naming the field; the
// window stays as it was.
void TestMailDemo::notAnAddressIsRefused()
{
    QFETCH(QString, fieldName);
    QFETCH(QString, text);
    QFETCH(QString, words);
    open();
    fillForServer(m_server->portText());
    field(fieldName.toLatin1().constData())->setText(text);
    QTest::mouseClick(sendButton(), Qt::LeftButton);

    const QList<messagebox::Record> boxes = messagebox::takeRecorded();
    QCOMPARE(boxes.size(), 1);
    QVERIFY2(boxes[0].text.contains(words), qPrintable(boxes[0].text));
    QVERIFY(sendButton()->isEnabled());
    QCOMPARE(m_statuses, QStringList());
    QCOMPARE(field(fieldName.toLatin1().constData())->text(), text);
}

QTEST_MAIN(TestMailDemo)
#include "test_maildemo.moc"
