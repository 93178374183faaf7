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
        const editorupdate::Saved saved = editorupdate::write(path, text);
        QVERIFY2(saved.ok, qPrintable(saved.error.text));
        QCOMPARE(readFile(path), written);
        // The stamp describes the file as written: an update right after it
        // finds nothing changed on disk.
        QVERIFY(diskstamp::unchanged(path, saved.stamp));
    }

    void failedWriteSaysWhyAndKeepsNothing()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("missing/Ferox.ini"));
        const editorupdate::Saved saved = editorupdate::write(path, "[A]\r\n");
        QVERIFY(!saved.ok);
        QVERIFY(!saved.error.text.isEmpty());
        QVERIFY(!saved.stamp.taken);
        QVERIFY(!QFile::exists(path));
    }
};

QTEST_MAIN(TestEditorUpdate)
#include "test_editorupdate.moc"
