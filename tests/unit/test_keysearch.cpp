#include "core/KeySearch.h"

#include <QTest>

using namespace Qt::StringLiterals;

class TestKeySearch : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void findFirst_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QByteArray>("needle");
        QTest::addColumn<qsizetype>("at");
        QTest::newRow("first of several") << "[A]\r\nk=1\r\n[B]\r\nk=1\r\n"_ba
                                          << "k=1"_ba << qsizetype(5);
        QTest::newRow("case-sensitive") << "K=1\r\nk=1"_ba
                                        << "k=1"_ba << qsizetype(5);
        QTest::newRow("tail of a longer key") << "xk=1\r\nk=1"_ba
                                              << "k=1"_ba << qsizetype(1);
        QTest::newRow("crlf counts two") << "a\r\nb\r\nk=v"_ba
                                         << "k=v"_ba << qsizetype(6);
        QTest::newRow("across a nul") << QByteArray("\0\0k=v", 5) << "k=v"_ba << qsizetype(2);
        QTest::newRow("missing") << "k=2"_ba
                                 << "k=1"_ba << qsizetype(-1);
        QTest::newRow("empty needle") << "k=2"_ba << QByteArray() << qsizetype(-1);
        QTest::newRow("empty text") << QByteArray() << "="_ba << qsizetype(-1);
        QTest::newRow("at the very end") << "abc=d"_ba
                                         << "c=d"_ba << qsizetype(2);
    }
    void findFirst()
    {
        QFETCH(QByteArray, text);
        QFETCH(QByteArray, needle);
        QFETCH(qsizetype, at);
        QCOMPARE(keysearch::findFirst(text, needle), at);
    }

    // Find First for a chosen section: from its head on, and from the start
    // only when the line is not below the head.
    void findFirstFrom_data()
    {
        QTest::addColumn<qsizetype>("from");
        QTest::addColumn<qsizetype>("at");
        // [A] at 0, [B] at 10, [C] at 20, with "k=1" in each.
        QTest::newRow("first section") << qsizetype(0) << qsizetype(5);
        QTest::newRow("second section") << qsizetype(10) << qsizetype(15);
        QTest::newRow("third section") << qsizetype(20) << qsizetype(25);
        QTest::newRow("no head") << qsizetype(-1) << qsizetype(5);
    }
    void findFirstFrom()
    {
        QFETCH(qsizetype, from);
        QFETCH(qsizetype, at);
        const QByteArray text = "[A]\r\nk=1\r\n[B]\r\nk=1\r\n[C]\r\nk=1\r\n"_ba;
        QCOMPARE(keysearch::findFirstFrom(text, "k=1", from), at);
        // Not below the head: the first in the whole text.
        QCOMPARE(keysearch::findFirstFrom(text, "[A]", from), qsizetype(0));
        QCOMPARE(keysearch::findFirstFrom(text, "x=1", from), qsizetype(-1));
    }

    // Find Next from a selection start s: the caret goes to s + 2 (kept within
    // the text) and the search runs from s + 1, or from the last byte at the end.
    void findNext_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QByteArray>("needle");
        QTest::addColumn<qsizetype>("start");
        QTest::addColumn<qsizetype>("caret");
        QTest::addColumn<qsizetype>("match");
        const QByteArray twice = "k=1\r\nk=1\r\n"_ba;
        QTest::newRow("second occurrence")
            << twice << "k=1"_ba << qsizetype(0) << qsizetype(2) << qsizetype(5);
        QTest::newRow("after the last") << twice << "k=1"_ba << qsizetype(5) << qsizetype(7) << qsizetype(-1);
        QTest::newRow("overlapping") << "aaaa"_ba
                                     << "aa"_ba << qsizetype(0) << qsizetype(2) << qsizetype(1);
        QTest::newRow("overlapping again") << "aaaa"_ba
                                           << "aa"_ba << qsizetype(1) << qsizetype(3) << qsizetype(2);
        QTest::newRow("overlapping done") << "aaaa"_ba
                                          << "aa"_ba << qsizetype(2) << qsizetype(4) << qsizetype(-1);
        QTest::newRow("earlier occurrences are skipped")
            << "k=1 k=1 k=1"_ba
            << "k=1"_ba << qsizetype(4) << qsizetype(6) << qsizetype(8);
        QTest::newRow("caret moved by the user")
            << twice << "k=1"_ba << qsizetype(3) << qsizetype(5) << qsizetype(5);
        QTest::newRow("start beyond end goes to end")
            << "ab="_ba
            << "="_ba << qsizetype(2) << qsizetype(3) << qsizetype(2);
        QTest::newRow("start at end looks at the last byte")
            << "ab="_ba
            << "="_ba << qsizetype(3) << qsizetype(3) << qsizetype(2);
        QTest::newRow("s plus 2 is the end") << "a=b"_ba
                                             << "b"_ba << qsizetype(1) << qsizetype(3) << qsizetype(2);
        QTest::newRow("empty text") << QByteArray() << "="_ba << qsizetype(0) << qsizetype(0)
                                    << qsizetype(-1);
        QTest::newRow("equals sign alone") << "a=1\r\nb=2"_ba
                                           << "="_ba << qsizetype(1) << qsizetype(3) << qsizetype(6);
    }
    void findNext()
    {
        QFETCH(QByteArray, text);
        QFETCH(QByteArray, needle);
        QFETCH(qsizetype, start);
        QFETCH(qsizetype, caret);
        QFETCH(qsizetype, match);
        const keysearch::NextStep step = keysearch::findNext(text, needle, start);
        QCOMPARE(step.caret, caret);
        QCOMPARE(step.match, match);
    }

    // The walk a user makes: Find First, then Find Next until "Not Found",
    // then once more from where the miss left the caret.
    void walkThroughAllOccurrences()
    {
        const QByteArray text = "[A]\r\nk=1\r\n\r\n[B]\r\nk=1\r\nkk=1\r\n"_ba;
        const QByteArray needle = "k=1"_ba;
        QList<qsizetype> seen { keysearch::findFirst(text, needle) };
        qsizetype start = seen.first();
        for (;;) {
            const keysearch::NextStep step = keysearch::findNext(text, needle, start);
            if (step.match < 0) {
                QCOMPARE(step.caret, seen.last() + 2);
                start = step.caret;
                break;
            }
            seen.append(step.match);
            start = step.match;
        }
        QCOMPARE(seen, (QList<qsizetype> { 5, 17, 23 }));
        // The caret after the miss is past the last start: no wrap-around.
        QCOMPARE(keysearch::findNext(text, needle, start).match, qsizetype(-1));
    }

    // Shift+F3: the last occurrence starting before the selection, overlapping
    // ones included; nothing before the first, and a start past the end is the end.
    void findPrevious_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<qsizetype>("start");
        QTest::addColumn<qsizetype>("match");
        const QByteArray thrice = "k=1\r\nk=1\r\nkk=1"_ba;
        QTest::newRow("from the last") << thrice << qsizetype(11) << qsizetype(5);
        QTest::newRow("from the second") << thrice << qsizetype(5) << qsizetype(0);
        QTest::newRow("from the first") << thrice << qsizetype(0) << qsizetype(-1);
        QTest::newRow("from inside one") << thrice << qsizetype(7) << qsizetype(5);
        QTest::newRow("past the end") << thrice << qsizetype(99) << qsizetype(11);
        QTest::newRow("overlapping") << "aaaa"_ba << qsizetype(2) << qsizetype(1);
    }
    void findPrevious()
    {
        QFETCH(QByteArray, text);
        QFETCH(qsizetype, start);
        QFETCH(qsizetype, match);
        const QByteArray needle = text.startsWith('a') ? "aa"_ba : "k=1"_ba;
        QCOMPARE(keysearch::findPrevious(text, needle, start), match);
        QCOMPARE(keysearch::findPrevious(text, {}, start), qsizetype(-1));
    }
};

QTEST_GUILESS_MAIN(TestKeySearch)
#include "test_keysearch.moc"
