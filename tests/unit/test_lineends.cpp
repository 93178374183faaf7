// The one normaliser of line ends, shared by the mail's text part and the
// editor's paste and drop.

#include "core/LineEnds.h"

#include <QtTest>

class TestLineEnds : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void withCrLf_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        QTest::newRow("none") << QStringLiteral("abc") << QStringLiteral("abc");
        QTest::newRow("empty") << QString() << QString();
        QTest::newRow("crlf stays") << QStringLiteral("a\r\nb") << QStringLiteral("a\r\nb");
        QTest::newRow("lone lf") << QStringLiteral("a\nb") << QStringLiteral("a\r\nb");
        QTest::newRow("lone cr") << QStringLiteral("a\rb") << QStringLiteral("a\r\nb");
        QTest::newRow("lf cr is two") << QStringLiteral("a\n\rb") << QStringLiteral("a\r\n\r\nb");
        QTest::newRow("cr crlf") << QStringLiteral("a\r\r\nb") << QStringLiteral("a\r\n\r\nb");
        QTest::newRow("at both ends") << QStringLiteral("\nx\r") << QStringLiteral("\r\nx\r\n");
        QTest::newRow("mixed, beyond Latin-1")
            << QStringLiteral("\u65e5\r\u20ac\n\r\n") << QStringLiteral("\u65e5\r\n\u20ac\r\n\r\n");
    }

    void withCrLf()
    {
        QFETCH(QString, text);
        QFETCH(QString, expected);
        QCOMPARE(lineends::withCrLf(text), expected);
    }
};

QTEST_APPLESS_MAIN(TestLineEnds)
#include "test_lineends.moc"
