#include "TestFiles.h"
#include "editor/EditorUpdate.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

// The editor's update below its window: what it writes, and what it reports.
class TestEditorUpdate : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Only a text whose last line is open gets CR LF; a closed one, whatever
    // its line end, is written as it is, so saving never adds blank lines.
    void writesTheTextAndClosesItsLastLine_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QByteArray>("written");
        QTest::newRow("empty") << QByteArray() << QByteArray("\r\n");
        QTest::newRow("open last line") << QByteArray("[A]\nk=v") << QByteArray("[A]\nk=v\r\n");
        QTest::newRow("closed by LF") << QByteArray("[A]\nk=v\n") << QByteArray("[A]\nk=v\n");
        QTest::newRow("closed by CR") << QByteArray("[A]\rk=v\r") << QByteArray("[A]\rk=v\r");
        QTest::newRow("closed by CR LF") << QByteArray("[A]\r\n\r\n") << QByteArray("[A]\r\n\r\n");
    }
    void writesTheTextAndClosesItsLastLine()
    {
        QFETCH(QByteArray, text);
        QFETCH(QByteArray, written);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("Ferox.ini"));
        writeFile(path, "old");
        const editorupdate::Saved saved = editorupdate::write(path, text, nullptr);
        QVERIFY2(saved.ok, qPrintable(saved.error.text));
        QCOMPARE(readFile(path), written);
        // The stamp describes the file as written: an update right after it
        // finds nothing changed on disk.
        QVERIFY(diskstamp::unchanged(path, saved.stamp));
    }

    // The check against the stamp is the write's own: a file that is not
    // the one stamped is left as it is, and the update says so. A change made
    // right after a save, of the same size and as quick as the file system's
    // clock allows, still shows against the save's stamp.
    void writesOnlyOverTheStampedFile()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("Ferox.ini"));
        writeFile(path, "[A]\r\nk=1\r\n");
        const editorupdate::Saved first = editorupdate::write(path, "[A]\r\nk=2\r\n", nullptr);
        QVERIFY(first.ok);
        const editorupdate::Saved second = editorupdate::write(path, "[A]\r\nk=3\r\n", &first.stamp);
        QVERIFY2(second.ok && !second.changedOnDisk, qPrintable(second.error.text));
        writeFile(path, "[A]\r\nk=4\r\n"); // another program, in place, at once
        const editorupdate::Saved third = editorupdate::write(path, "[A]\r\nk=5\r\n", &second.stamp);
        QVERIFY(!third.ok && third.changedOnDisk);
        QCOMPARE(readFile(path), QByteArray("[A]\r\nk=4\r\n"));
        QVERIFY(editorupdate::write(path, "[A]\r\nk=5\r\n", nullptr).ok);
        QCOMPARE(readFile(path), QByteArray("[A]\r\nk=5\r\n"));
    }

    void failedWriteSaysWhyAndKeepsNothing()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("missing/Ferox.ini"));
        const editorupdate::Saved saved = editorupdate::write(path, "[A]\r\n", nullptr);
        QVERIFY(!saved.ok);
        QVERIFY(!saved.error.text.isEmpty());
        QVERIFY(!saved.stamp.taken);
        QVERIFY(!QFile::exists(path));
    }
};

QTEST_MAIN(TestEditorUpdate)
#include "test_editorupdate.moc"
