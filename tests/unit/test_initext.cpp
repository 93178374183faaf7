#include "LineModel.h"
#include "SectionKeys.h"
#include "core/IniText.h"

#include <QTest>

using namespace Qt::StringLiterals;

namespace {

QList<QByteArray> lines(const QByteArray &text)
{
    QList<QByteArray> out;
    linemodel::forEachLine(text, [&](const ini::Line &line) {
        out.append(ini::view(text, line).toByteArray());
        return true;
    });
    return out;
}

} // namespace

class TestIniText : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // Line ends: CR LF, a lone LF and a lone CR each end a line.
    void lineEnds_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QList<QByteArray>>("expected");
        QTest::newRow("empty text has no line") << QByteArray() << QList<QByteArray> {};
        QTest::newRow("crlf") << "a\r\nb\r\n"_ba << QList<QByteArray> { "a", "b" };
        QTest::newRow("lone cr") << "a\rb"_ba << QList<QByteArray> { "a", "b" };
        QTest::newRow("lone lf") << "a\nb\n"_ba << QList<QByteArray> { "a", "b" };
        QTest::newRow("mixed") << "a\r\nb\rc\nd\r\n\r\ne"_ba
                               << QList<QByteArray> { "a", "b", "c", "d", "", "e" };
        QTest::newRow("lf first") << "\n[a]"_ba << QList<QByteArray> { "", "[a]" };
        QTest::newRow("utf-8 mark is not part of the first line")
            << "\xEF\xBB\xBF[a]\r\nb"_ba << QList<QByteArray> { "[a]", "b" };
        QTest::newRow("utf-8 mark later is an ordinary byte")
            << "a\n\xEF\xBB\xBF"_ba << QList<QByteArray> { "a", "\xEF\xBB\xBF" };
        QTest::newRow("cr cr is an empty line") << "a\r\rb"_ba << QList<QByteArray> { "a", "", "b" };
        QTest::newRow("lf cr is two line ends") << "a\n\rb"_ba << QList<QByteArray> { "a", "", "b" };
        QTest::newRow("nul is an ordinary byte")
            << QByteArray("a\0b\r\n", 5) << QList<QByteArray> { QByteArray("a\0b", 3) };
        QTest::newRow("long lines") << QByteArray(200000, 'x') + "\n" + QByteArray(300, 'y') + "\r"
                + "z" << QList<QByteArray> { QByteArray(200000, 'x'), QByteArray(300, 'y'), "z" };
        QTest::newRow("last line without end") << "a\r\nb"_ba << QList<QByteArray> { "a", "b" };
    }
    void lineEnds()
    {
        QFETCH(QByteArray, text);
        QFETCH(QList<QByteArray>, expected);
        QCOMPARE(lines(text), expected);
    }

    // Heads: "[" after blanks, the name up to the last "]", blanks trimmed.
    void sectionNames_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QList<QByteArray>>("names");
        QTest::newRow("plain") << "[A]\r\nk=v\r\n\r\n[B C]\r\n"_ba << QList<QByteArray> { "A", "B C" };
        QTest::newRow("empty head") << "[]\r\n"_ba << QList<QByteArray> { "" };
        QTest::newRow("comment after the bracket") << "[A] ; (old)\r\n"_ba << QList<QByteArray> { "A" };
        QTest::newRow("text right after the bracket") << "[A]x\r\n"_ba << QList<QByteArray> { "A" };
        QTest::newRow("name up to the last bracket")
            << "[Kart (U) [!]] [b1\r\n"_ba << QList<QByteArray> { "Kart (U) [!]" };
        QTest::newRow("blanks around the name and after the head")
            << "[ A B\t] \t\r\n"_ba << QList<QByteArray> { "A B" };
        QTest::newRow("no closing bracket is no head") << "[Abc\r\n[B]"_ba << QList<QByteArray> { "B" };
        QTest::newRow("bracket before the opening one is no head") << "]A[\r\n"_ba << QList<QByteArray> {};
        QTest::newRow("blanks before the bracket")
            << " [A]\r\n\t [B]\r\n"_ba << QList<QByteArray> { "A", "B" };
        // Vertical tab, form feed and Ctrl-Z are blanks too, as the emulator reads them.
        QTest::newRow("other blanks before the bracket and around the name")
            << "\v[A]\r\n\x1a[B]\r\n\f\t[\v C \x1a]\f\r\n"_ba << QList<QByteArray> { "A", "B", "C" };
        QTest::newRow("other bytes before the bracket") << "x[A]\r\n"_ba << QList<QByteArray> {};
        QTest::newRow("bracket alone is no head") << "[\r\n"_ba << QList<QByteArray> {};
        QTest::newRow("duplicates kept") << "[A]\r\n[A]\r\n"_ba << QList<QByteArray> { "A", "A" };
        QTest::newRow("lf file") << "[A]\nk=v\n[B]\n"_ba << QList<QByteArray> { "A", "B" };
        QTest::newRow("lf at the start") << "\n[A]\n"_ba << QList<QByteArray> { "A" };
        QTest::newRow("utf-8 mark before the first head")
            << "\xEF\xBB\xBF[A]\r\n"_ba << QList<QByteArray> { "A" };
        QTest::newRow("lone cr") << "[A]\r[B]"_ba << QList<QByteArray> { "A", "B" };
        QTest::newRow("empty file") << QByteArray() << QList<QByteArray> {};
        QTest::newRow("high bytes kept") << "[Caf\xE9 \x80]\r\n"_ba << QList<QByteArray> { "Caf\xE9 \x80" };
    }
    void sectionNames()
    {
        QFETCH(QByteArray, text);
        QFETCH(QList<QByteArray>, names);
        QCOMPARE(linemodel::sectionNames(text), names);
    }

    // The head finder works on pieces of a file; wherever a piece ends, it must
    // find what the line model finds in the whole text.
    void headsAcrossPieceBoundaries_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QList<QByteArray>>("names");
        QTest::newRow("line ends and blanks")
            << "[A]\r\nk=[x]\r\n[B C]\r[]\r\n\n[D]\r\n[\r\n  \t[E]\r\n[F]\n[G]\r\nx [y]\r[H]"_ba
            << QList<QByteArray> { "A", "B C", "", "D", "E", "F", "G", "H" };
        QTest::newRow("utf-8 mark") << "\xEF\xBB\xBF [A] x\n\r[B"_ba << QList<QByteArray> { "A" };
        QTest::newRow("lf first") << "\n[A]\r\n\xEF\xBB\xBF[B]"_ba << QList<QByteArray> { "A" };
        QTest::newRow("other blanks")
            << "k=1\r\n\v\f\x1a[A]\n\x1a x[B]\r\f[C]"_ba << QList<QByteArray> { "A", "C" };
    }
    void headsAcrossPieceBoundaries()
    {
        QFETCH(QByteArray, text);
        QFETCH(QList<QByteArray>, names);
        QCOMPARE(linemodel::sectionNames(text), names);
        // Each head as the line reader sees it: the offset of its "[" and its
        // bytes from there.
        QList<QPair<qsizetype, QByteArray>> expected;
        linemodel::forEachLine(text, [&](const ini::Line &line) {
            const QByteArrayView bytes = ini::view(text, line);
            if (ini::isHead(bytes)) {
                const qsizetype open = bytes.indexOf('[');
                expected.append({ line.begin + open, bytes.sliced(open).toByteArray() });
            }
            return true;
        });
        QCOMPARE(expected.size(), names.size());
        const auto read = [&](const QList<QByteArrayView> &pieces) {
            QList<QPair<qsizetype, QByteArray>> got;
            const auto add = [&](qsizetype at, QByteArrayView line) {
                got.append({ at, line.toByteArray() });
                return true;
            };
            ini::HeadReader reader;
            for (const QByteArrayView piece : pieces)
                reader.feed(piece, add);
            reader.finish(add);
            return got;
        };
        for (qsizetype cut = 0; cut <= text.size(); ++cut)
            QCOMPARE(read({ QByteArrayView(text).first(cut), QByteArrayView(text).sliced(cut) }), expected);
        QList<QByteArrayView> bytes;
        for (qsizetype i = 0; i < text.size(); ++i)
            bytes.append(QByteArrayView(text).sliced(i, 1));
        QCOMPARE(read(bytes), expected);
    }

    // The byte-order mark tells the encoding; only a UTF-8 one is skipped.
    void encodings_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<ini::Encoding>("encoding");
        QTest::addColumn<qsizetype>("start");
        QTest::newRow("none") << "[A]"_ba << ini::Encoding::Ansi << qsizetype(0);
        QTest::newRow("empty") << QByteArray() << ini::Encoding::Ansi << qsizetype(0);
        QTest::newRow("utf-8") << "\xEF\xBB\xBF[A]"_ba << ini::Encoding::Utf8 << qsizetype(3);
        QTest::newRow("utf-8 mark cut short") << "\xEF\xBB"_ba << ini::Encoding::Ansi << qsizetype(0);
        QTest::newRow("utf-16 little-endian") << "\xFF\xFE[\0"_ba << ini::Encoding::Utf16 << qsizetype(0);
        QTest::newRow("utf-16 big-endian") << "\xFE\xFF\0["_ba << ini::Encoding::Utf16 << qsizetype(0);
        QTest::newRow("8-bit text") << "\xFF[A]"_ba << ini::Encoding::Ansi << qsizetype(0);
    }
    void encodings()
    {
        QFETCH(QByteArray, text);
        QFETCH(ini::Encoding, encoding);
        QFETCH(qsizetype, start);
        QCOMPARE(ini::encodingOf(text), encoding);
        QCOMPARE(ini::textStart(text), start);
    }

    void manySectionsHaveNoSixteenBitLimit()
    {
        QByteArray text;
        for (int i = 0; i < 40000; ++i)
            text += "[G" + QByteArray::number(i) + "]\r\nk=v\r\n";
        const QList<QByteArray> names = linemodel::sectionNames(text);
        QCOMPARE(names.size(), 40000);
        QCOMPARE(names.last(), "G39999"_ba);
        QCOMPARE(sectionkeys::values(sectionkeys::of(text, "G39999")), QList<QByteArray> { "v" });
    }

    // Head matching: exact bytes of "[name]" at the start of a line.
    void headMatching_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<bool>("found");
        QTest::addColumn<QList<QByteArray>>("keys");
        QTest::newRow("exact") << "[A]\r\nk=1\r\n"_ba
                               << "A"_ba << true << QList<QByteArray> { "k" };
        QTest::newRow("letter case differs") << "[a]\r\nk=1\r\n"_ba
                                             << "A"_ba << false << QList<QByteArray> {};
        QTest::newRow("case-different section passed over") << "[a]\r\nk=1\r\n[A]\r\nj=2\r\n"_ba
                                                            << "A"_ba << true << QList<QByteArray> { "j" };
        QTest::newRow("text after the bracket") << "[A] old\r\nk=1\r\n"_ba
                                                << "A"_ba << true << QList<QByteArray> { "k" };
        QTest::newRow("the whole head line is no name") << "[A] old\r\nk=1\r\n"_ba
                                                        << "A] old"_ba << false << QList<QByteArray> {};
        QTest::newRow("blanks around the name") << "[ A ]\r\nk=1\r\n"_ba
                                                << "A"_ba << true << QList<QByteArray> { "k" };
        QTest::newRow("longer name is no match") << "[AB]\r\nk=1\r\n"_ba
                                                 << "A"_ba << false << QList<QByteArray> {};
        QTest::newRow("first of duplicates") << "[A]\r\nk=1\r\n[A]\r\nj=2\r\n"_ba
                                             << "A"_ba << true << QList<QByteArray> { "k" };
        QTest::newRow("pattern inside a value is no head") << "[X]\r\nv=[A]\r\n\r\n[A]\r\nk=1\r\n"_ba
                                                           << "A"_ba << true << QList<QByteArray> { "k" };
        QTest::newRow("head after a lone lf") << "[X]\r\nv=1\n[A]\nk=2\n"_ba
                                              << "A"_ba << true << QList<QByteArray> { "k" };
        QTest::newRow("head after a utf-8 mark") << "\xEF\xBB\xBF[A]\r\nk=2"_ba
                                                 << "A"_ba << true << QList<QByteArray> { "k" };
        QTest::newRow("head after a lone cr") << "x\r[A]\rk=1"_ba
                                              << "A"_ba << true << QList<QByteArray> { "k" };
        QTest::newRow("blank before bracket") << " \t[A]\r\nk=1\r\n"_ba
                                              << "A"_ba << true << QList<QByteArray> { "k" };
        QTest::newRow("empty name") << "[]\r\nk=1\r\n"_ba
                                    << ""_ba << true << QList<QByteArray> { "k" };
        QTest::newRow("empty text") << QByteArray() << "A"_ba << false << QList<QByteArray> {};
    }
    void headMatching()
    {
        QFETCH(QByteArray, text);
        QFETCH(QByteArray, name);
        QFETCH(bool, found);
        QFETCH(QList<QByteArray>, keys);
        const ini::Section section = ini::findSection(text, name);
        QCOMPARE(section.found, found);
        QCOMPARE(sectionkeys::names(sectionkeys::of(text, section)), keys);
    }

    // Bodies end at the next head, the first empty line or the end of the text.
    void bodies_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QList<QByteArray>>("keys");
        QTest::addColumn<QList<QByteArray>>("values");
        QTest::newRow("ends at empty line")
            << "[A]\r\na=1\r\nb=2\r\n\r\nc=3\r\n"_ba << QList<QByteArray> { "a", "b" }
            << QList<QByteArray> { "1", "2" };
        QTest::newRow("ends at next head")
            << "[A]\r\na=1\r\n[B]\r\nb=2\r\n"_ba << QList<QByteArray> { "a" } << QList<QByteArray> { "1" };
        QTest::newRow("ends at end of file without line end")
            << "[A]\r\na=1\r\nb=2"_ba << QList<QByteArray> { "a", "b" } << QList<QByteArray> { "1", "2" };
        QTest::newRow("head then empty line")
            << "[A]\r\n\r\na=1\r\n"_ba << QList<QByteArray> {} << QList<QByteArray> {};
        QTest::newRow("head then head")
            << "[A]\r\n[B]\r\na=1\r\n"_ba << QList<QByteArray> {} << QList<QByteArray> {};
        QTest::newRow("head at end") << "x=1\r\n[A]"_ba << QList<QByteArray> {} << QList<QByteArray> {};
        QTest::newRow("blank line is not empty")
            << "[A]\r\na=1\r\n \r\nb=2\r\n"_ba << QList<QByteArray> { "a", " ", "b" }
            << QList<QByteArray> { "1", "", "2" };
        QTest::newRow("value holds =")
            << "[A]\r\nk=a=b=\r\n"_ba << QList<QByteArray> { "k" } << QList<QByteArray> { "a=b=" };
        QTest::newRow("// key") << "[A]\r\n//=Jo Smith\r\n"_ba << QList<QByteArray> { "//" }
                                << QList<QByteArray> { "Jo Smith" };
        QTest::newRow("empty key") << "[A]\r\n=v\r\n"_ba << QList<QByteArray> { "" }
                                   << QList<QByteArray> { "v" };
        QTest::newRow("empty value") << "[A]\r\nk=\r\n"_ba << QList<QByteArray> { "k" }
                                     << QList<QByteArray> { "" };
        QTest::newRow("line without = is a key")
            << "[A]\r\nloose\r\n"_ba << QList<QByteArray> { "loose" } << QList<QByteArray> { "" };
        QTest::newRow("no trimming") << "[A]\r\n k = v \r\n"_ba << QList<QByteArray> { " k " }
                                     << QList<QByteArray> { " v " };
        QTest::newRow("lone lf ends a key line")
            << "[A]\r\nk=a\nb\r\n"_ba << QList<QByteArray> { "k", "b" } << QList<QByteArray> { "a", "" };
        QTest::newRow("line without its closing bracket is a key line")
            << "[A]\r\na=1\r\n[broken\r\nb=2\r\n"_ba << QList<QByteArray> { "a", "[broken", "b" }
            << QList<QByteArray> { "1", "", "2" };
        QTest::newRow("ends at a head after blanks")
            << "[A]\r\na=1\r\n [B] ;x\r\nb=2\r\n"_ba << QList<QByteArray> { "a" }
            << QList<QByteArray> { "1" };
    }
    void bodies()
    {
        QFETCH(QByteArray, text);
        QFETCH(QList<QByteArray>, keys);
        QFETCH(QList<QByteArray>, values);
        const ini::Section section = ini::findSection(text, "A");
        QVERIFY(section.found);
        QCOMPARE(sectionkeys::names(sectionkeys::of(text, section)), keys);
        QCOMPARE(sectionkeys::values(sectionkeys::of(text, section)), values);
    }

    void bodyEndIsTheLineThatStopsIt()
    {
        const QByteArray text = "[A]\r\na=1\r\n\r\n[B]\r\n"_ba;
        const ini::Section section = ini::findSection(text, "A");
        QCOMPARE(section.bodyEnd, text.indexOf("\r\n\r\n") + 2);
        QCOMPARE(ini::findSection(text, "B").bodyEnd, text.size());
    }

    void longKeyHasNoSixteenBitLimit()
    {
        const QByteArray key(40000, 'k');
        const QList<sectionkeys::Key> got = sectionkeys::of(QByteArray("[A]\r\n" + key + "=v\r\n"), "A");
        QCOMPARE(got, (QList<sectionkeys::Key> { { key, "v" } }));
    }
};

QTEST_GUILESS_MAIN(TestIniText)
#include "test_initext.moc"
