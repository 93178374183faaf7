// The mail window driven as a user drives it, against a real SMTP server on a
// loopback port: what it sends, what it shows on the way, and how it ends a
// send that fails or that the user abandons.

#include "SmtpTestServer.h"
#include "TestFiles.h"
#include "TestWidgets.h"

#include "forms/frmDemo.h"
#include "platform/ClassicLook.h"
#include "platform/MessageBox.h"
#include "platform/OpenFileDialog.h"
#include "platform/ShowOnce.h"
#include "platform/Winsock.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <memory>

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
    QTRY_VERIFY_WITH_TIMEOUT(m_window && m_window->state() == frmDemo::State::Idle                           \
            && sendButton()->isEnabled() && !m_statuses.isEmpty()                                            \
            && m_statuses.last() == QStringLiteral("Status:"),                                               \
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
    void sendsTheFileNamedAtConnectTime();
    void missingFieldIsRefused_data();
    void missingFieldIsRefused();
    void emptySenderIsRefused();
    void headerLineBreakIsRefused_data();
    void headerLineBreakIsRefused();
    void unreadableAttachment();
    void refusedConnectionFails();
    void refusedRecipientIsReported();
    void socketErrorWhileSendingEndsTheSend();
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
};

void TestMailDemo::initTestCase()
{
    prepareWindowTests();
    QApplication::setQuitOnLastWindowClosed(false);
    QVERIFY(m_files.isValid());
    m_server = std::make_unique<SmtpTestServer>();
    QString error;
    QVERIFY2(m_server->start(&error), qPrintable(error));
}

void TestMailDemo::cleanup()
{
    if (m_window)
        m_window->close();
    QTRY_VERIFY(!showonce::instance<frmDemo>());
    frmDemo::setPortForTesting(QString());
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
    return m_window;
}

void TestMailDemo::fillForServer(const QString &port)
{
    frmDemo::setPortForTesting(port);
    field("txtServer")->setText(QStringLiteral("127.0.0.1"));
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
    QVERIFY(control<Winsock>("Winsock1"));

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
        QStringLiteral("cmdSelect"), QStringLiteral("txtServer") };
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
    QVERIFY(!sendButton()->isEnabled());
    WAIT_FOR_IDLE_AFTER_SEND();

    QStringList expected
        = { QStringLiteral("Connecting to POP Server"), QStringLiteral("Connected to POP Server"),
              QStringLiteral("Sending mail"), QStringLiteral("Mail sent"), QStringLiteral("Status:") };
    if (!path.isEmpty())
        expected.prepend(QStringLiteral("Encoding file attachment"));
    QCOMPARE(m_statuses, expected);
    QVERIFY(messagebox::takeRecorded().isEmpty());
    // A send clears no field.
    QCOMPARE(field("txtServer")->text(), QStringLiteral("127.0.0.1"));
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

    // A further click sends the same mail again over a new connection.
    m_statuses.clear();
    QTest::mouseClick(sendButton(), Qt::LeftButton);
    WAIT_FOR_IDLE_AFTER_SEND();
    QCOMPARE(m_statuses, expected);
    QCOMPARE(m_server->messageCount(), before + 2);
}

void TestMailDemo::sendsTheFileNamedAtConnectTime()
{
    // A file picked while the connection is being made goes out with its own
    // name and its own content.
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
    QCOMPARE(file.value(QStringLiteral("filename")).toString(), QStringLiteral("second.ini"));
    QCOMPARE(QByteArray::fromBase64(file.value(QStringLiteral("bytes")).toString().toLatin1()),
        allByteValues(5000));
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
    frmDemo::setPortForTesting(m_server->portText());
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

    const QList<messagebox::Record> boxes = messagebox::takeRecorded();
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes[0].title, caption);
    QVERIFY2(boxes[0].text.contains(path), qPrintable(boxes[0].text));
    QVERIFY2(boxes[0].text.contains(QLatin1String("No such file")), qPrintable(boxes[0].text));
    QCOMPARE(
        m_statuses, QStringList({ QStringLiteral("Encoding file attachment"), QStringLiteral("Status:") }));
    QVERIFY(sendButton()->isEnabled());
    QCOMPARE(m_window->state(), frmDemo::State::Idle);
}

void TestMailDemo::refusedConnectionFails()
{
    const QString port = closedPort();
    QVERIFY(!port.isEmpty());
    open();
    fillForServer(port);
    QTest::mouseClick(sendButton(), Qt::LeftButton);

    QTRY_COMPARE(m_window->state(), frmDemo::State::Failed);
    const QList<messagebox::Record> boxes = messagebox::takeRecorded();
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes[0].title, caption);
    QCOMPARE(boxes[0].icon, messagebox::Icon::Critical);
    const QStringList lines = boxes[0].text.split(QStringLiteral("\r\n"));
    QCOMPARE(lines.size(), 3);
    QCOMPARE(lines[0], QStringLiteral("Error Number: 10061"));
    QVERIFY2(lines[1].contains(QLatin1String("refused"), Qt::CaseInsensitive), qPrintable(lines[1]));
    QCOMPARE(lines[2], QStringLiteral("Winsock1"));
    // Failed keeps Send disabled and the last status until the window closes.
    QTest::qWait(300);
    QVERIFY(!sendButton()->isEnabled());
    QCOMPARE(m_statuses, QStringList({ QStringLiteral("Connecting to POP Server") }));

    m_window->close();
    QTRY_VERIFY(!showonce::instance<frmDemo>());
    open();
    QCOMPARE(field("txtServer")->text(), QString());
    QCOMPARE(field("txtFromAddress")->text(), QString());
    QVERIFY(sendButton()->isEnabled());
    QCOMPARE(status(), QStringLiteral("Status:"));
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

void TestMailDemo::socketErrorWhileSendingEndsTheSend()
{
    // Slow replies keep the dialogue going long enough to break into it.
    SmtpTestServer server(SmtpTestServer::Mode::Accept, 0.3);
    QString error;
    QVERIFY2(server.start(&error), qPrintable(error));
    open();
    fillForServer(server.portText());
    QPointer<Winsock> socket = control<Winsock>("Winsock1");
    connect(m_window, &frmDemo::statusChanged, this, [socket](const QString &text) {
        if (text == QStringLiteral("Sending mail"))
            QTimer::singleShot(400, socket, [socket] {
                Q_EMIT socket->Error(Winsock::ConnectionReset, QStringLiteral("Connection reset by peer"),
                    QStringLiteral("Winsock1"));
            });
    });
    QTest::mouseClick(sendButton(), Qt::LeftButton);
    QTRY_COMPARE(m_window->state(), frmDemo::State::Failed);
    const QByteArray sentAtError = server.clientBytes();

    QTest::qWait(1500);
    const QList<messagebox::Record> boxes = messagebox::takeRecorded();
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes[0].text, QStringLiteral("Error Number: 10054\r\nConnection reset by peer\r\nWinsock1"));
    QVERIFY(!sendButton()->isEnabled());
    QCOMPARE(status(), QStringLiteral("Sending mail"));
    QCOMPARE(server.clientBytes(), sentAtError);
    QVERIFY(!server.clientBytes().contains("DATA"));
    QCOMPARE(server.messageCount(), 0);
}

void TestMailDemo::closingMidSendEndsTheSend_data()
{
    QTest::addColumn<QString>("closeAt");
    QTest::addColumn<int>("attachmentSize");
    QTest::addColumn<int>("delayMs");
    // Large enough that the encoder lets events run before it is done.
    QTest::newRow("while encoding") << QStringLiteral("Encoding file attachment") << 24 * 1024 * 1024 << 0;
    QTest::newRow("during the pause") << QStringLiteral("Connected to POP Server") << 12 << 100;
    QTest::newRow("waiting for the server") << QStringLiteral("Sending mail") << 12 << 100;
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
    QPointer<Winsock> socket = control<Winsock>("Winsock1");
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
