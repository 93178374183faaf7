#include "TestFiles.h"
#include "core/CodePage.h"

#include <QTest>

class TestCodePage : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void everyByteRoundTrips()
    {
        const QByteArray all = everyByteValue();
        const QString text = codepage::decode(all);
        QCOMPARE(text.size(), 256);
        const codepage::Encoded back = codepage::encode(text);
        QVERIFY(back.ok());
        QCOMPARE(back.bytes, all);
    }

    void windows1252Characters_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("euro") << QStringLiteral("\u20AC") << QByteArray("\x80");
        QTest::newRow("quotes") << QStringLiteral("\u201Cq\u201D") << QByteArray("\x93q\x94");
        QTest::newRow("latin1") << QStringLiteral("Caf\u00E9 \u00FF") << QByteArray("Caf\xE9 \xFF");
        QTest::newRow("undefined byte keeps its C1 control")
            << QStringLiteral("\u0081") << QByteArray("\x81");
        QTest::newRow("nul") << QString(QChar(0)) << QByteArray(1, '\0');
    }
    void windows1252Characters()
    {
        QFETCH(QString, text);
        QFETCH(QByteArray, bytes);
        const codepage::Encoded encoded = codepage::encode(text);
        QVERIFY(encoded.ok());
        QCOMPARE(encoded.bytes, bytes);
        QCOMPARE(codepage::decode(bytes), text);
    }

    void unrepresentableIsReportedNotReplaced_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<uint>("character");
        QTest::addColumn<int>("position");
        QTest::newRow("japanese") << QStringLiteral("Zelda \u65E5\u672C") << 0x65E5u << 6;
        QTest::newRow("C1 control that 1252 maps elsewhere") << QStringLiteral("\u0080") << 0x80u << 0;
        QTest::newRow("astral") << QString::fromUcs4(U"a\U0001F600") << 0x1F600u << 1;
    }
    void unrepresentableIsReportedNotReplaced()
    {
        QFETCH(QString, text);
        QFETCH(uint, character);
        QFETCH(int, position);
        const codepage::Encoded encoded = codepage::encode(text);
        QVERIFY(!encoded.ok());
        QCOMPARE(static_cast<uint>(*encoded.unrepresentable), character);
        QCOMPARE(encoded.position, position);
        QVERIFY(!encoded.bytes.contains('?'));
    }

    void describeNamesTheCharacter()
    {
        QCOMPARE(codepage::describe(0x65E5), QStringLiteral("\"\u65E5\" (U+65E5)"));
    }
};

QTEST_GUILESS_MAIN(TestCodePage)
#include "test_codepage.moc"
