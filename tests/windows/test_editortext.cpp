#include "TestFiles.h"
#include "TestInput.h"
#include "core/CodePage.h"
#include "core/IniText.h"
#include "core/LongLines.h"
#include "editor/ByteTextEdit.h"

#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QFile>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QSignalSpy>
#include <QTest>

#include <algorithm>
#include <tuple>

using namespace Qt::StringLiterals;

namespace {

// Places around the cut of a text's second line, which is long; the third
// line starts with two blanks.
enum Place { InHead, AtCut, NextLine, NextWord };

// Byte ranges [first, second) of a text.
using Ranges = QList<QPair<qsizetype, qsizetype>>;

qsizetype placeIn(const QByteArray &text, Place place)
{
    const qsizetype cut = text.indexOf("\r\n") + 2 + 64 * 1024;
    const qsizetype lineEnd = text.indexOf("\r\n", cut);
    switch (place) {
    case InHead:
        return cut - 100;
    case AtCut:
        return cut;
    case NextLine:
        return lineEnd + 2;
    case NextWord:
        return lineEnd + 4;
    }
    return -1;
}

} // namespace

// What the user adds to the text area reaches the document as the file's bytes.
class TestEditorText : public QObject {
    Q_OBJECT
    std::unique_ptr<ByteTextEdit> edit;

private Q_SLOTS:
    void init()
    {
        edit = std::make_unique<ByteTextEdit>();
        edit->resize(400, 200);
        edit->show();
        edit->setFocus();
    }
    void cleanup() { edit.reset(); }

    void bytesAreKeptExactly()
    {
        QByteArray all = everyByteValue();
        std::reverse(all.begin(), all.end());
        all += "\r\n\n\r\0end"_ba;
        edit->setBytes(all);
        QCOMPARE(edit->bytes(), QByteArrayView(all));
        QCOMPARE(edit->SendScintilla(QsciScintillaBase::SCI_GETCODEPAGE), 0L);
        // Replacing the document again keeps the 8-bit settings.
        edit->setBytes("x");
        QCOMPARE(edit->SendScintilla(QsciScintillaBase::SCI_GETCODEPAGE), 0L);
        QCOMPARE(edit->SendScintilla(QsciScintillaBase::SCI_GETEOLMODE), long(QsciScintilla::EolWindows));
        // A load is no edit the user can undo.
        QVERIFY(!edit->isUndoAvailable());
    }

    void typedTextGoesThroughTheCodePage_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("ascii") << u"k=v"_s << "k=v"_ba;
        QTest::newRow("euro sign") << u"\u20AC"_s << "\x80"_ba;
        QTest::newRow("latin-1") << u"\u00E9\u00FF"_s << "\xE9\xFF"_ba;
        QTest::newRow("typographic quotes") << u"\u201Cx\u201D"_s << "\x93x\x94"_ba;
    }
    void typedTextGoesThroughTheCodePage()
    {
        QFETCH(QString, typed);
        QFETCH(QByteArray, bytes);
        edit->setBytes("[]");
        edit->placeCaret(1);
        typeText(edit.get(), typed);
        QCOMPARE(edit->bytes(), QByteArrayView(QByteArray("[" + bytes + "]")));
    }

    void typingReplacesTheSelection()
    {
        edit->setBytes("k=old\r\n");
        edit->selectBytes(2, 3);
        typeText(edit.get(), u"new"_s);
        QCOMPARE(edit->bytes(), QByteArrayView("k=new\r\n"));
    }

    void unrepresentableCharacterIsRefused()
    {
        edit->setBytes("ab");
        edit->placeCaret(1);
        QSignalSpy refused(edit.get(), &ByteTextEdit::inputRefused);
        typeText(edit.get(), u"\u65E5"_s);
        QCOMPARE(edit->bytes(), QByteArrayView("ab"));
        QCOMPARE(refused.size(), 1);
        QVERIFY2(edit->lastRefusal().contains(u"U+65E5"_s), qPrintable(edit->lastRefusal()));

        QApplication::clipboard()->setText(u"x\u65E5y"_s);
        edit->selectBytes(0, 1);
        edit->paste();
        QCOMPARE(edit->bytes(), QByteArrayView("ab"));
        QCOMPARE(refused.size(), 2);
        // The context menu's Paste takes the same way; the selection survives.
        std::unique_ptr<QMenu> menu(edit->createStandardContextMenu());
        QAction *paste = nullptr;
        for (QAction *action : menu->actions())
            if (action->text().remove(u'&').startsWith(u"Paste"_s))
                paste = action;
        QVERIFY(paste);
        paste->trigger();
        QCOMPARE(edit->bytes(), QByteArrayView("ab"));
        QCOMPARE(edit->selectionLength(), qsizetype(1));
        QCOMPARE(refused.size(), 3);
    }

    void enterInsertsCrLf()
    {
        edit->setBytes("ab");
        edit->placeCaret(1);
        QTest::keyClick(edit.get(), Qt::Key_Return);
        QCOMPARE(edit->bytes(), QByteArrayView("a\r\nb"));
    }

    void pastedLineEndsBecomeCrLf()
    {
        edit->setBytes("<>");
        edit->placeCaret(1);
        QApplication::clipboard()->setText(u"a\nb\rc\r\nd\u20AC"_s);
        QTest::keyClick(edit.get(), Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(edit->bytes(), QByteArrayView("<a\r\nb\r\nc\r\nd\x80>"));
    }

    // The text area holds NUL bytes, so pasted or dropped text keeps what
    // stands after a NUL, too.
    void pastedTextWithNulIsInsertedWhole()
    {
        edit->setBytes("<>");
        edit->placeCaret(1);
        QApplication::clipboard()->setText(u"a\0b\n\0\u20AC"_s);
        QTest::keyClick(edit.get(), Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(edit->bytes(), QByteArrayView("<a\0b\r\n\0\x80>"_ba));
        QCOMPARE(edit->selectionStartOffset(), qsizetype(8));
        edit->undo();
        QCOMPARE(edit->bytes(), QByteArrayView("<>"));

        // A paste replaces the selection, and so does a drop on it.
        edit->selectBytes(0, 2);
        edit->paste();
        QCOMPARE(edit->bytes(), QByteArrayView("a\0b\r\n\0\x80"_ba));
        edit->setBytes("<>");
        QMimeData dropped;
        dropped.setText(u"x\0y"_s);
        const QPoint at(edit->SendScintilla(QsciScintillaBase::SCI_POINTXFROMPOSITION, 0UL, 1L),
            edit->SendScintilla(QsciScintillaBase::SCI_POINTYFROMPOSITION, 0UL, 1L));
        QDragEnterEvent enter(at, Qt::CopyAction, &dropped, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(edit->viewport(), &enter);
        QDragMoveEvent move(at, Qt::CopyAction, &dropped, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(edit->viewport(), &move);
        QDropEvent drop(at, Qt::CopyAction, &dropped, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(edit->viewport(), &drop);
        QCOMPARE(edit->bytes(), QByteArrayView("<x\0y>"_ba));
    }

    void copiedTextUsesTheCodePage()
    {
        edit->setBytes("k=\x80\xE9");
        edit->selectBytes(0, 4);
        edit->copy();
        QCOMPARE(QApplication::clipboard()->text(), u"k=\u20AC\u00E9"_s);
    }

    // The code page's characters at 0x80-0x9F (euro sign, curly quotes) are
    // drawn as characters, not as boxes with the byte's value; the bytes it
    // leaves undefined still show their value. A text with a UTF-8 byte-order
    // mark is shown and typed as UTF-8. The bytes stay as they are.
    void codePageShownAsText()
    {
        const QByteArray bytes = "\x93"
                                 "Caf\xE9\x94 \x80 \x81\r\n";
        edit->setBytes(bytes);
        QCOMPARE(edit->encoding(), ini::Encoding::Ansi);
        for (int byte = 0x80; byte <= 0x9F; ++byte) {
            const char key[2] = { static_cast<char>(byte), 0 };
            char shown[16] = {};
            edit->SendScintilla(QsciScintillaBase::SCI_GETREPRESENTATION, key, shown);
            const bool undefined = codepage::decode(QByteArray(key)).at(0).unicode() == byte;
            QCOMPARE(QByteArray(shown).startsWith('x'), undefined);
        }
        QCOMPARE(edit->bytes(), bytes);

        const QByteArray utf8 = "\xEF\xBB\xBF[Caf\xC3\xA9]\r\n";
        edit->setBytes(utf8);
        QCOMPARE(edit->encoding(), ini::Encoding::Utf8);
        QCOMPARE(
            edit->SendScintilla(QsciScintillaBase::SCI_GETCODEPAGE), long(QsciScintillaBase::SC_CP_UTF8));
        edit->placeCaret(utf8.size());
        typeText(edit.get(), u"\u20AC\u201C"_s);
        QCOMPARE(edit->bytes(), QByteArray(utf8 + "\xE2\x82\xAC\xE2\x80\x9C"));
        // Back to a code-page text: typed as the code page again.
        edit->setBytes("a");
        edit->placeCaret(1);
        typeText(edit.get(), u"\u20AC"_s);
        QCOMPARE(edit->bytes(), "a\x80");
    }

    // A code-page character looks as the same character does in a UTF-8
    // text: no trace of the box it is laid out as (in its line or the lines
    // around it), about its own width, in the text's own colours, selected or
    // not, with the caret beside it shown.
    void codePageCharactersLookLikeText_data()
    {
        QTest::addColumn<bool>("selected");
        QTest::addColumn<int>("caretWidth");
        QTest::newRow("plain") << false << 1;
        QTest::newRow("selected") << true << 1;
        QTest::newRow("the caret in its blink's dark phase") << false << 0;
    }
    void codePageCharactersLookLikeText()
    {
        QFETCH(bool, selected);
        QFETCH(int, caretWidth);
        const QByteArray special = "\x93\x94\x80\x96\x97\x85\x99\x8A\x9C";
        const QByteArray ansi = "\r\nk=\x93Snow\x94 \x80 \x96\x97\x85\x99\x8A\x9C\r\n\r\n";
        const QByteArray utf8 = "\xEF\xBB\xBF" + codepage::decode(ansi).toUtf8();
        edit->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(edit.get()));
        QTRY_VERIFY(edit->hasFocus());
        struct Shown {
            QImage image;
            QList<int> left, right; // each special character's cell
            int top = 0, height = 0, caret = 0;
        };
        const auto show = [&](const QByteArray &bytes, bool isUtf8) {
            edit->setBytes(bytes);
            edit->SendScintilla(QsciScintillaBase::SCI_SETCARETPERIOD, 0UL); // the caret always shown
            edit->SendScintilla(QsciScintillaBase::SCI_SETCARETWIDTH, static_cast<unsigned long>(caretWidth));
            const auto x = [&](qsizetype at) {
                return static_cast<int>(edit->SendScintilla(
                    QsciScintillaBase::SCI_POINTXFROMPOSITION, 0UL, static_cast<long>(at)));
            };
            const qsizetype lineStart = bytes.indexOf('k');
            const qsizetype lineEnd = bytes.indexOf('\r', lineStart);
            if (selected)
                edit->selectBytes(lineStart, lineEnd - lineStart);
            else
                edit->placeCaret(lineEnd);
            Shown shown;
            for (qsizetype at = lineStart; at < lineEnd; ++at) {
                const auto byte = static_cast<unsigned char>(bytes[at]);
                if (isUtf8 ? byte >= 0xC0 : special.contains(static_cast<char>(byte))) {
                    const qsizetype next = isUtf8 ? at + (byte >= 0xE0 ? 3 : 2) : at + 1;
                    shown.left << x(at);
                    shown.right << x(next);
                }
            }
            shown.caret = x(lineEnd);
            shown.top = static_cast<int>(edit->SendScintilla(
                QsciScintillaBase::SCI_POINTYFROMPOSITION, 0UL, static_cast<long>(lineStart)));
            shown.height = static_cast<int>(edit->SendScintilla(QsciScintillaBase::SCI_TEXTHEIGHT, 1UL));
            shown.image = edit->viewport()->grab().toImage();
            return shown;
        };
        const Shown text = show(utf8, true);
        const Shown code = show(ansi, false);
        QCOMPARE(edit->bytes(), QByteArrayView(ansi));
        QCOMPARE(text.left.size(), special.size());
        QCOMPARE(code.left.size(), special.size());

        // The empty lines above and below are paper only.
        const QRgb paper = code.image.pixel(code.image.width() / 2, code.top - 2);
        for (const int y : { code.top - 1, code.top + code.height })
            for (int x = code.left.first() - 4; x < code.right.last() + 4; ++x)
                QVERIFY2(code.image.pixel(x, y) == paper, qPrintable(u"trace at %1,%2"_s.arg(x).arg(y)));

        // Ink: how far the pixels are from the cell's background, the caret's
        // columns left out.
        const auto ink = [](const Shown &shown, int left, int right, bool withCaret = false) {
            const QImage &image = shown.image;
            const int top = shown.top;
            const int height = shown.height;
            const QRgb back = image.pixel(left, top);
            double sum = 0;
            QRgb strongest = back;
            int farthest = 0;
            for (int y = top; y < top + height; ++y)
                for (int x = left; x < right; ++x) {
                    if (!withCaret && std::abs(x - shown.caret) <= 1)
                        continue;
                    const QRgb c = image.pixel(x, y);
                    const int far = std::abs(qRed(c) - qRed(back)) + std::abs(qGreen(c) - qGreen(back))
                        + std::abs(qBlue(c) - qBlue(back));
                    sum += far;
                    if (far > farthest) {
                        farthest = far;
                        strongest = c;
                    }
                }
            return std::tuple { sum, back, strongest };
        };
        for (qsizetype i = 0; i < special.size(); ++i) {
            const QString what = codepage::decode(special.mid(i, 1));
            const int codeWidth = code.right[i] - code.left[i];
            const int textWidth = text.right[i] - text.left[i];
            QVERIFY2(std::abs(codeWidth - textWidth) <= 2,
                qPrintable(u"%1: %2 pixels wide, as text %3"_s.arg(what).arg(codeWidth).arg(textWidth)));
            const auto [codeInk, codeBack, codeFore] = ink(code, code.left[i], code.right[i]);
            const auto [textInk, textBack, textFore] = ink(text, text.left[i], text.right[i]);
            QCOMPARE(codeBack, textBack);
            for (const int shift : { 16, 8, 0 })
                QVERIFY2(std::abs(int(codeFore >> shift & 0xFF) - int(textFore >> shift & 0xFF)) <= 48,
                    qPrintable(
                        u"%1: colour %2, as text %3"_s.arg(what).arg(codeFore, 0, 16).arg(textFore, 0, 16)));
        }
        // As much ink in the line as in the text: no box, nor a character lost.
        const double codeInk = std::get<0>(ink(code, 0, code.caret + 4));
        const double textInk = std::get<0>(ink(text, 0, text.caret + 4));
        QVERIFY2(codeInk > textInk * 0.9 && codeInk < textInk * 1.1,
            qPrintable(u"ink %1, as text %2"_s.arg(codeInk).arg(textInk)));
        if (caretWidth == 0) {
            // Nothing where the caret would be: the last character and the
            // caret's place hold as much ink as in the text.
            const double codeLast = std::get<0>(ink(code, code.left.last(), code.caret + 2, true));
            const double textLast = std::get<0>(ink(text, text.left.last(), text.caret + 2, true));
            QVERIFY2(
                codeLast < textLast * 1.15, qPrintable(u"ink %1, as text %2"_s.arg(codeLast).arg(textLast)));
            return;
        }
        // The caret after the last character: a column of its colour over the
        // line's height, as in the text.
        const auto caretShown = [](const Shown &shown) {
            for (int x = shown.caret - 1; x <= shown.caret + 1; ++x) {
                bool whole = true;
                for (int y = shown.top; y < shown.top + shown.height && whole; ++y)
                    whole = qGray(shown.image.pixel(x, y)) < 64;
                if (whole)
                    return true;
            }
            return false;
        };
        QVERIFY(caretShown(text));
        QVERIFY(caretShown(code));
    }

    // Lines longer than shown lose their tails, whatever the pieces the text
    // comes in.
    void longLinesAreCut_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<Ranges>("tails");
        using T = Ranges;
        QTest::newRow("short lines") << "ab\r\ncdef\nghij\rk"_ba << T {};
        QTest::newRow("exactly as long as shown") << "abcd\r\nefgh"_ba << T {};
        QTest::newRow("one byte longer, at each end")
            << "abcde\r\nxy\nfghij"_ba << T { { 4, 5 }, { 14, 15 } };
        QTest::newRow("long lines between short ones, lone CR and LF")
            << "a\rbcdefgh\n\nijklmnop\r\nq"_ba << T { { 6, 9 }, { 15, 19 } };
        QTest::newRow("only line ends") << "\r\n\r\n\n\r\r"_ba << T {};
        QTest::newRow("NUL and high bytes in a tail") << "ab\0\xff\x80\0\r\n"_ba << T { { 4, 6 } };
    }
    void longLinesAreCut()
    {
        QFETCH(QByteArray, text);
        QFETCH(Ranges, tails);
        for (const qsizetype pieceSize : { 1, 2, 3, 5, 1000 }) {
            longlines::Cutter cutter(4);
            Ranges seen;
            QByteArray all;
            bool lastHidden = false;
            for (qsizetype at = 0; at < text.size(); at += pieceSize) {
                const QByteArrayView piece
                    = QByteArrayView(text).sliced(at, std::min(pieceSize, text.size() - at));
                for (const longlines::Part &part : cutter.feed(piece)) {
                    QVERIFY(!part.bytes.isEmpty());
                    QCOMPARE(part.bytes.data(), piece.data() + (all.size() - at));
                    if (part.hidden && lastHidden)
                        seen.last().second += part.bytes.size();
                    else if (part.hidden)
                        seen.append({ all.size(), all.size() + part.bytes.size() });
                    lastHidden = part.hidden;
                    all += part.bytes;
                }
            }
            QCOMPARE(all, text);
            QCOMPARE(seen, tails);
        }
    }

    // A load reads on a worker thread and reports its progress all the way;
    // stopped at any moment, it leaves the text, the caret and the view as
    // they were, and the text area loads again (or goes) at once.
    void loadReportsProgressAndStopsAnyTime_data()
    {
        QTest::addColumn<int>("stopAtPercent"); // -1: never
        QTest::newRow("whole load") << -1;
        QTest::newRow("at the first report") << 0;
        QTest::newRow("half-way") << 50;
    }
    void loadReportsProgressAndStopsAnyTime()
    {
        QFETCH(int, stopAtPercent);
        QTemporaryDir dir;
        QByteArray file;
        for (int i = 0; file.size() < (40 << 20); ++i)
            file += "[Game " + QByteArray::number(i) + "]\r\nUCode=" + QByteArray::number(i % 7) + "\r\n";
        const QString path = writeFile(dir, u"big.ini"_s, file);
        const QByteArray before = "[Old]\r\nk=v\r\n"_ba;
        edit->setBytes(before);
        edit->selectBytes(2, 3);

        QList<qint64> reports;
        FileError error;
        const bool loaded = edit->loadFile(path, &error, [&](qint64 bytes) {
            reports.append(bytes);
            return stopAtPercent < 0 || bytes * 100 < file.size() * stopAtPercent;
        });
        QVERIFY(!reports.isEmpty());
        QVERIFY(std::is_sorted(reports.begin(), reports.end()));
        if (stopAtPercent < 0) {
            QVERIFY(loaded);
            QCOMPARE(reports.last(), file.size());
            QCOMPARE(edit->bytes(), QByteArrayView(file));
            QVERIFY(!edit->changedSinceSave());
            return;
        }
        QVERIFY(!loaded);
        QCOMPARE(error.kind, FileError::Kind::Cancelled);
        QVERIFY(reports.last() < file.size());
        QCOMPARE(edit->bytes(), QByteArrayView(before));
        QCOMPARE(edit->selectionStartOffset(), 2);
        QCOMPARE(edit->selectionLength(), 3);
        // The stopped load may still be freeing its text: neither a new load
        // nor the text area's end waits on it or trips over it.
        QVERIFY(edit->loadFile(path, &error));
        QCOMPARE(edit->bytes(), QByteArrayView(file));
        QVERIFY(!edit->loadFile(path, &error, [](qint64) { return false; }));
        edit.reset();
    }

    // The room for a large text is backed by 2 MB pages where the system
    // gives them when asked: page by page, a gigabyte took seconds to clear.
    void largeTextLiesInLargePages()
    {
#if defined(__SANITIZE_ADDRESS__)
        QSKIP("the sanitizer's own allocator is in use");
#endif
        QFile mode(u"/sys/kernel/mm/transparent_hugepage/enabled"_s);
        if (!mode.open(QIODevice::ReadOnly) || mode.readAll().contains("[never]"))
            QSKIP("this system has no 2 MB pages for programs");
        QTemporaryDir dir;
        // Lines, as a settings file has: a long line's tail would be kept aside.
        const QByteArray file = QByteArray("key=").append(QByteArray(59, 'x')).append('\n').repeated(1 << 20);
        FileError error;
        QVERIFY(edit->loadFile(writeFile(dir, u"big.ini"_s, file), &error));
        // Past the block's first, unaligned 2 MB.
        const auto inside = reinterpret_cast<quintptr>(edit->bytes().data()) + (8 << 20);
        QFile maps(u"/proc/self/smaps"_s);
        QVERIFY(maps.open(QIODevice::ReadOnly));
        bool found = false;
        qint64 hugeKb = -1;
        for (const QByteArray &line : maps.readAll().split('\n')) {
            const int dash = line.indexOf('-');
            const int space = line.indexOf(' ');
            if (dash > 0 && space > dash && !line.left(space).endsWith(':')) {
                found = line.left(dash).toULongLong(nullptr, 16) <= inside
                    && inside < line.mid(dash + 1, space - dash - 1).toULongLong(nullptr, 16);
            } else if (found && line.startsWith("AnonHugePages:")) {
                hugeKb = line.mid(14).trimmed().split(' ').value(0).toLongLong();
                break;
            }
        }
        QVERIFY2(hugeKb > 0, qPrintable(QString::number(hugeKb)));
    }

    // What a closed text held goes back to the system: memory one large file
    // left in the heap would weigh on every later open.
    void replacedTextGivesItsMemoryBack()
    {
#if defined(__SANITIZE_ADDRESS__)
        QSKIP("the sanitizer's own allocator is in use");
#endif
        const auto residentKb = [] {
            QFile status(u"/proc/self/status"_s);
            if (!status.open(QIODevice::ReadOnly))
                return qint64(-1);
            for (const QByteArray &line : status.readAll().split('\n')) {
                if (line.startsWith("VmRSS:"))
                    return line.mid(6).trimmed().split(' ').value(0).toLongLong();
            }
            return qint64(-1);
        };
        QTemporaryDir dir;
        const QString path = writeFile(dir, u"big.ini"_s,
            QByteArray("[G]\nk=").append(QByteArray(12, 'v')).append('\n').repeated(3 << 20));
        QList<qint64> after;
        for (int round = 0; round < 4; ++round) {
            FileError error;
            QVERIFY(edit->loadFile(path, &error));
            edit->setBytes("[G]\n");
            after.append(residentKb());
        }
        QVERIFY2(after.last() - after.first() < 8 * 1024,
            qPrintable(QString::number(after.last() - after.first())));
    }

    // A file with a very long line opens about as quickly as others: only
    // the line's first 64 KiB reach the widget, the rest is kept aside, and
    // the whole text stays exact through edits around it.
    void veryLongLineOpensQuicklyAndStaysExact()
    {
        constexpr qsizetype shown = 64 * 1024;
        QTemporaryDir dir;
        QByteArray text = "[Game]\r\nk=" + QByteArray(20 << 20, 'v') + "\r\nlast=1\r\n";
        const QString path = writeFile(dir, u"long.ini"_s, text);
        QVERIFY(!path.isEmpty());
        QElapsedTimer timer;
        timer.start();
        FileError error;
        QVERIFY(edit->loadFile(path, &error));
        edit->grab();
        QCoreApplication::processEvents();
        // Laying out the whole line took over 20 s here; an ordinary file of
        // that size opens in well under a second.
        QVERIFY2(timer.elapsed() < 8000, qPrintable(QString::number(timer.elapsed())));
        QVERIFY(edit->hidesTails());
        const qsizetype line = 8; // where the long line starts
        const qsizetype tail = text.indexOf("\r\nlast") - line - shown;
        QCOMPARE(edit->shownBytes(),
            QByteArrayView(QByteArray(text.left(line + shown) + text.mid(line + shown + tail))));
        QCOMPARE(edit->bytes(), QByteArrayView(text));
        QVERIFY(!edit->isUndoAvailable());

        // Typing in the shown part, Enter in it, undo: the tail stays behind
        // the line's shown bytes.
        edit->placeCaret(line + 2);
        typeText(edit.get(), u"w"_s);
        text.insert(line + 2, 'w');
        QCOMPARE(edit->bytes(), QByteArrayView(text));
        edit->placeCaret(line + 100);
        QTest::keyClick(edit.get(), Qt::Key_Return);
        QCOMPARE(edit->bytes(), QByteArrayView(QByteArray(text).insert(line + 100, "\r\n")));
        edit->undo();
        QCOMPARE(edit->bytes(), QByteArrayView(text));
        // The whole text was put together once; reading it again costs nothing.
        QCOMPARE(edit->bytes().data(), edit->bytes().data());

        // A blinking caret would draw the long line twice a second.
        QCOMPARE(edit->SendScintilla(QsciScintillaBase::SCI_GETCARETPERIOD), 0L);

        // Other files look as before.
        edit->setBytes("k=v\r\n");
        QVERIFY(!edit->hidesTails());
        QVERIFY(edit->SendScintilla(QsciScintillaBase::SCI_GETCARETPERIOD) > 0);
    }

    // The text area tells its listeners about an edit once the edit is done,
    // whoever made it: the line count they read is already the new one.
    void editsAreAnnouncedWhenDone()
    {
        edit->setBytes("a\r\nb");
        QList<long> linesSeen;
        connect(edit.get(), &QsciScintilla::linesChanged, edit.get(),
            [&] { linesSeen.append(edit->SendScintilla(QsciScintillaBase::SCI_GETLINECOUNT)); });
        QSignalSpy changed(edit.get(), &QsciScintilla::textChanged);
        edit->placeCaret(1);
        QTest::keyClick(edit.get(), Qt::Key_X);
        QCOMPARE(changed.size(), 1);
        QCOMPARE(linesSeen, QList<long> {});
        QTest::keyClick(edit.get(), Qt::Key_Return);
        QCOMPARE(linesSeen, QList<long> { 3 });
        edit->undo();
        QCOMPARE(linesSeen, (QList<long> { 3, 2 }));
        QCOMPARE(changed.size(), 3);
        // A change made from elsewhere is announced from the event loop.
        edit->SendScintilla(QsciScintillaBase::SCI_INSERTTEXT, 0UL, "\r\n");
        QTRY_COMPARE(linesSeen, (QList<long> { 3, 2, 3 }));
    }

    // Keys, clicks and searches keep the caret in the shown part of a cut
    // line; typing or deleting at the cut is refused, and the hidden bytes
    // stay exact.
    void caretStaysInTheShownPartOfACutLine()
    {
        constexpr qsizetype shown = 64 * 1024;
        const qsizetype line = 8; // where the long line starts
        const qsizetype cut = line + shown;
        QByteArray text = "[Game]\r\nk=" + QByteArray(200 * 1024, 'v') + "\r\nlast=1\r\n";
        const qsizetype lineEnd = text.indexOf("\r\nlast");
        edit->setBytes(text);
        const auto caret
            = [this] { return edit->offsetAt(edit->SendScintilla(QsciScintillaBase::SCI_GETCURRENTPOS)); };

        edit->placeCaret(line);
        QTest::keyClick(edit.get(), Qt::Key_End);
        QCOMPARE(caret(), cut);
        QSignalSpy refused(edit.get(), &ByteTextEdit::inputRefused);
        typeText(edit.get(), u"x"_s);
        QTest::keyClick(edit.get(), Qt::Key_Delete);
        QApplication::clipboard()->setText(u"pasted"_s);
        edit->paste();
        QCOMPARE(refused.size(), 3);
        QCOMPARE(edit->bytes(), QByteArrayView(text));
        // Right from the cut goes on to the next line, Left comes back.
        QTest::keyClick(edit.get(), Qt::Key_Right);
        QCOMPARE(caret(), lineEnd + 2);
        QTest::keyClick(edit.get(), Qt::Key_Left);
        QCOMPARE(caret(), cut);
        QTest::keyClick(edit.get(), Qt::Key_Down);
        QTest::keyClick(edit.get(), Qt::Key_Up);
        QVERIFY(caret() <= cut);
        // A click right of the shown part lands at the cut.
        QTest::keyClick(edit.get(), Qt::Key_End);
        const QPoint atCut(edit->SendScintilla(QsciScintillaBase::SCI_POINTXFROMPOSITION, 0UL, long(cut)),
            edit->SendScintilla(QsciScintillaBase::SCI_POINTYFROMPOSITION, 0UL, long(cut)) + 2);
        QTest::mouseClick(edit->viewport(), Qt::LeftButton, {}, atCut + QPoint(30, 0));
        QCOMPARE(caret(), cut);
        // A match in the hidden part shows at the cut; a search goes on from the match.
        edit->selectBytes(lineEnd - 10, 3);
        QCOMPARE(caret(), cut);
        QCOMPARE(edit->selectionLength(), qsizetype(0));
        QCOMPARE(edit->selectionStartOffset(), lineEnd - 10);

        // Typing before the cut works as ever: one byte moves into the hidden part.
        edit->placeCaret(line + 2);
        typeText(edit.get(), u"w"_s);
        text.insert(line + 2, 'w');
        QCOMPARE(edit->bytes(), QByteArrayView(text));

        // Ctrl+End on a text that ends in a long line stops at its cut.
        edit->setBytes(QByteArray("k=" + QByteArray(100 * 1024, 'v')));
        QTest::keyClick(edit.get(), Qt::Key_End, Qt::ControlModifier);
        QCOMPARE(caret(), shown);
    }

    // Every way of changing the text that would reach over a cut, start at
    // it or join the next line to it is refused; the text stays exact.
    void editsAtTheCutAreRefused_data()
    {
        QTest::addColumn<int>("anchor");
        QTest::addColumn<int>("caret");
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        const int ctrl = Qt::ControlModifier;
        QTest::newRow("Enter at the cut") << int(AtCut) << int(AtCut) << int(Qt::Key_Return) << 0;
        QTest::newRow("Delete at the cut") << int(AtCut) << int(AtCut) << int(Qt::Key_Delete) << 0;
        QTest::newRow("Ctrl+Delete at the cut") << int(AtCut) << int(AtCut) << int(Qt::Key_Delete) << ctrl;
        QTest::newRow("Backspace at the next line")
            << int(NextLine) << int(NextLine) << int(Qt::Key_Backspace) << 0;
        QTest::newRow("Ctrl+Backspace after blanks on the next line")
            << int(NextWord) << int(NextWord) << int(Qt::Key_Backspace) << ctrl;
        QTest::newRow("Delete over the cut") << int(InHead) << int(NextLine) << int(Qt::Key_Delete) << 0;
        QTest::newRow("typing over the cut") << int(InHead) << int(NextLine) << int(Qt::Key_X) << 0;
        QTest::newRow("Ctrl+X over the cut") << int(NextWord) << int(InHead) << int(Qt::Key_X) << ctrl;
        QTest::newRow("Enter over the cut") << int(InHead) << int(NextWord) << int(Qt::Key_Return) << 0;
        QTest::newRow("Ctrl+V over the cut") << int(InHead) << int(NextLine) << int(Qt::Key_V) << ctrl;
    }
    void editsAtTheCutAreRefused()
    {
        QFETCH(int, anchor);
        QFETCH(int, caret);
        QFETCH(int, key);
        QFETCH(int, modifiers);
        const QByteArray text = "[Game]\r\nk=" + QByteArray(100 * 1024, 'v') + "\r\n  next=1\r\n";
        edit->setBytes(text);
        QApplication::clipboard()->setText(u"pasted"_s);
        const auto at = [&](int place) { return edit->positionOf(placeIn(text, Place(place))); };
        edit->SendScintilla(
            QsciScintillaBase::SCI_SETSEL, static_cast<unsigned long>(at(anchor)), long(at(caret)));
        QSignalSpy refused(edit.get(), &ByteTextEdit::inputRefused);
        QTest::keyClick(edit.get(), Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        QCOMPARE(refused.size(), 1);
        QCOMPARE(edit->bytes(), QByteArrayView(text));
        // The slots of the menu and the window do the same.
        if (anchor != caret) {
            edit->cut();
            edit->removeSelectedText();
            edit->replaceSelectedText(u"typed"_s);
            QCOMPARE(refused.size(), 4);
            QCOMPARE(edit->bytes(), QByteArrayView(text));
        }
    }

    // Next to the cut the text is edited as anywhere: Backspace takes the
    // last shown byte, and a copy over the cut holds the hidden bytes.
    void editsBesideTheCut()
    {
        QByteArray text = "[Game]\r\nk=" + QByteArray(100 * 1024, 'v') + "\r\n" + QByteArray(100 * 1024, 'w');
        edit->setBytes(text);
        const qsizetype cut = placeIn(text, AtCut);
        edit->placeCaret(cut);
        QTest::keyClick(edit.get(), Qt::Key_Backspace);
        text.remove(cut - 1, 1);
        QCOMPARE(edit->bytes(), QByteArrayView(text));
        edit->undo();
        text.insert(cut - 1, 'v');
        QCOMPARE(edit->bytes(), QByteArrayView(text));
        // Shift+Right at the first cut reaches the next line; Ctrl+Shift+End
        // the second cut, the text's end.
        edit->placeCaret(cut - 2);
        QTest::keyClick(edit.get(), Qt::Key_Right, Qt::ShiftModifier);
        QTest::keyClick(edit.get(), Qt::Key_Right, Qt::ShiftModifier);
        QTest::keyClick(edit.get(), Qt::Key_Right, Qt::ShiftModifier);
        QTest::keyClick(edit.get(), Qt::Key_End, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(edit->selectionStartOffset(), cut - 2);
        QCOMPARE(edit->selectionLength(), 2 + text.indexOf("\r\nwww") - cut + 2 + 64 * 1024);
        QTest::keyClick(edit.get(), Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QApplication::clipboard()->text().toLatin1(), text.mid(cut - 2, edit->selectionLength()));

        // A deletion over the cut from elsewhere (a selection dragged out to
        // another program) takes the hidden bytes; undo brings them back.
        const qsizetype lineEnd = text.indexOf("\r\nwww");
        edit->SendScintilla(QsciScintillaBase::SCI_DELETERANGE, static_cast<unsigned long>(cut - 2), 4L);
        QByteArray without = text;
        without.remove(cut - 2, lineEnd + 2 - (cut - 2));
        QCOMPARE(edit->bytes(), QByteArrayView(without));
        edit->undo();
        QCOMPARE(edit->bytes(), QByteArrayView(text));
        edit->redo();
        QCOMPARE(edit->bytes(), QByteArrayView(without));
        // A later deletion at the same place is undone first, without them.
        edit->SendScintilla(QsciScintillaBase::SCI_DELETERANGE, static_cast<unsigned long>(cut - 2), 4L);
        edit->undo();
        QCOMPARE(edit->bytes(), QByteArrayView(without));
        edit->undo();
        QCOMPARE(edit->bytes(), QByteArrayView(text));
        QVERIFY(edit->hidesTails());
    }

    void tabMovesTheFocus()
    {
        QWidget window;
        auto *first = new ByteTextEdit(&window);
        auto *second = new QWidget(&window);
        second->setFocusPolicy(Qt::StrongFocus);
        window.show();
        QApplication::setActiveWindow(&window);
        first->setFocus();
        first->setBytes("a");
        QTest::keyClick(first, Qt::Key_Tab);
        QCOMPARE(first->bytes(), QByteArrayView("a"));
        QCOMPARE(QApplication::focusWidget(), second);
    }
};

QTEST_MAIN(TestEditorText)
#include "test_editortext.moc"
