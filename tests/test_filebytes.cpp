// Read-modify-replace of a whole file: the kernel copy from a snapshot, and the
// refusal to splice a file that another program changed meanwhile.

#include "TestFiles.h"
#include "platform/FileBytes.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

class TestFileBytes : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void replacesFromSnapshotPieces()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("Ferox.ini"));
        const QByteArray before = randomBytes(3 << 20, 7);
        writeFile(path, before);

        filebytes::Snapshot snapshot;
        QString error;
        QVERIFY2(snapshot.open(path, &error), qPrintable(error));
        QCOMPARE(snapshot.bytes(), QByteArrayView(before));
        const QByteArrayView text = snapshot.bytes();
        const QByteArray inserted("[New]\r\nk=v\r\n");
        QVERIFY2(
            filebytes::replace(path, { text.first(1000), inserted, text.sliced(1000) }, &error, &snapshot),
            qPrintable(error));
        QCOMPARE(readFile(path), before.first(1000) + inserted + before.sliced(1000));
    }

    void refusesAFileChangedMeanwhile_data()
    {
        QTest::addColumn<QByteArray>("changedTo");
        QTest::newRow("rewritten in place, same size") << QByteArray(64 * 1024, 'b');
        QTest::newRow("shortened") << QByteArray("short");
        QTest::newRow("grown") << QByteArray(128 * 1024, 'c');
    }
    void refusesAFileChangedMeanwhile()
    {
        QFETCH(QByteArray, changedTo);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("Ferox.ini"));
        writeFile(path, QByteArray(64 * 1024, 'a'));

        filebytes::Snapshot snapshot;
        QString error;
        QVERIFY(snapshot.open(path, &error));
        QTest::qWait(20); // a later modification time, also on coarse clocks
        writeFile(path, changedTo); // another program rewrites the file in place

        const QByteArrayView text = snapshot.bytes();
        QVERIFY(!filebytes::replace(
            path, { text.first(10), QByteArrayView("x"), text.sliced(10) }, &error, &snapshot));
        QVERIFY(!error.isEmpty());
        QCOMPARE(readFile(path), changedTo); // the other program's content stays
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList { QStringLiteral("Ferox.ini") });
    }
};

QTEST_GUILESS_MAIN(TestFileBytes)
#include "test_filebytes.moc"
