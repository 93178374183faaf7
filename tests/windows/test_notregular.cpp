// Paths that name a FIFO, a device, a socket or a folder: every place that
// opens a settings file refuses them with a reason, at once, instead of
// blocking in the open or reading for ever.

#include "EditorWindowDriver.h"
#include "fileio/FileBytes.h"
#include "fileio/FileRead.h"
#include "ini/GameEntry.h"
#include "ini/SettingsFile.h"
#include "mail/modSendmail.h"
#include "platform/AppFolder.h"
#include "platform/MessageBox.h"
#include "platform/ProfileWriter.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

class TestNotRegular : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;
    int m_socket = -1;

    QString odd(const QString &kind) const
    {
        if (kind == u"device")
            return QStringLiteral("/dev/zero");
        return m_dir.filePath(kind + QStringLiteral(".ini"));
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QCOMPARE(::mkfifo(QFile::encodeName(odd(QStringLiteral("FIFO"))).constData(), 0644), 0);
        QVERIFY(QDir(m_dir.path()).mkdir(QStringLiteral("folder.ini")));
        m_socket = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address {};
        address.sun_family = AF_UNIX;
        const QByteArray socketPath = QFile::encodeName(odd(QStringLiteral("socket")));
        QVERIFY(socketPath.size() < qsizetype(sizeof address.sun_path));
        std::copy(socketPath.begin(), socketPath.end(), address.sun_path);
        QCOMPARE(::bind(m_socket, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
        messagebox::setRecording(true);
    }
    // A reader that blocks ends the test program instead of hanging it.
    void init() { ::alarm(30); }
    void cleanup()
    {
        ::alarm(0);
        appfolder::overrideForTesting({});
    }
    void cleanupTestCase() { ::close(m_socket); }

    void everyOpenerRefuses_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("reason");
        QTest::newRow("FIFO") << "FIFO"
                              << "a named pipe (FIFO), not a regular file";
        QTest::newRow("device") << "device"
                                << "a device, not a regular file";
        QTest::newRow("socket") << "socket"
                                << "a socket, not a regular file";
        QTest::newRow("folder") << "folder"
                                << "Is a directory";
    }
    void everyOpenerRefuses()
    {
        QFETCH(QString, kind);
        QFETCH(QString, reason);
        const QString path = odd(kind);
        FileError error;
        QByteArray bytes;
        QVERIFY(!filebytes::read(path, &bytes, &error));
        QCOMPARE(error.kind, FileError::Kind::NotRegular);
        QCOMPARE(error.text, reason);
        // The profile writer, and the editor's update.
        error = {};
        QVERIFY(!WritePrivateProfileStringA("G", "k", "v", path, &error));
        QCOMPARE(error.kind, FileError::Kind::NotRegular);
        QCOMPARE(error.text, reason);
        error = {};
        QVERIFY(!filebytes::replace(path, { "[G]\r\n" }, &error));
        QCOMPARE(error.kind, FileError::Kind::NotRegular);
        QCOMPARE(error.text, reason);
        // The editor's readers and its text area.
        QList<QByteArray> names;
        settingsfile::ReadResult result = settingsfile::readSectionNames(path, &names);
        QVERIFY(!result.ok);
        QCOMPARE(result.error.kind, FileError::Kind::NotRegular);
        QCOMPARE(result.error.text, reason);
        settingsfile::KeyLines lines;
        QVERIFY(!settingsfile::readSectionKeys(path, "G", &lines).ok);
        ByteTextEdit text;
        error = {};
        QVERIFY(!text.loadFile(path, &error));
        QCOMPARE(error.kind, FileError::Kind::NotRegular);
        QCOMPARE(error.text, reason);
        // The mail window's attachment.
        const modSendmail::EncodedAttachment attachment = modSendmail::EncodeAttachment(path);
        QVERIFY(!attachment.ok);
        QVERIFY2(attachment.error.contains(reason), qPrintable(attachment.error));
        // Add entry, with Ferox.ini a link to it.
        QTemporaryDir folder;
        QVERIFY(QFile::link(path, folder.filePath(QStringLiteral("Ferox.ini"))));
        appfolder::overrideForTesting(folder.path());
        const gameentry::Outcome outcome = gameentry::add(gameentry::prompts());
        QVERIFY(!outcome.ok);
        QVERIFY2(outcome.message.contains(QStringLiteral("could not be written (%1)").arg(reason)),
            qPrintable(outcome.message));
    }

    // Opened in the editor, it gets a message box with the program's title
    // and the reason, and nothing is listed or loaded.
    void editorSaysWhy_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("FIFO") << "FIFO";
        QTest::newRow("device") << "device";
    }
    void editorSaysWhy()
    {
        QFETCH(QString, kind);
        messagebox::takeRecorded();
        frmINIEditor *form = editordriver::open(odd(kind));
        const QList<messagebox::Record> shown = messagebox::takeRecorded();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown[0].title, messagebox::programTitle());
        QVERIFY2(shown[0].text.startsWith(QStringLiteral("Could not open \"%1\": ").arg(odd(kind))),
            qPrintable(shown[0].text));
        QVERIFY(editordriver::items(form, "ListNames").isEmpty());
        QVERIFY(editordriver::text1(form)->bytes().isEmpty());
        QCOMPARE(form->LoadedPath, QString());
        form->close();
    }
};

QTEST_MAIN(TestNotRegular)
#include "test_notregular.moc"
