#include "editor/ByteTextEdit.h"
#include "platform/CodePage.h"
#include "TestInput.h"

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;

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
        QByteArray all;
        for (int b = 255; b >= 0; --b)
            all.append(static_cast<char>(b));
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

    void copiedTextUsesTheCodePage()
    {
        edit->setBytes("k=\x80\xE9");
        edit->selectBytes(0, 4);
        edit->copy();
        QCOMPARE(QApplication::clipboard()->text(), u"k=\u20AC\u00E9"_s);
    }

    void highControlBytesHaveRepresentations()
    {
        for (int byte = 0x80; byte <= 0x9F; ++byte) {
            const char key[2] = { static_cast<char>(byte), 0 };
            char shown[16] = {};
            edit->SendScintilla(QsciScintillaBase::SCI_GETREPRESENTATION, key, shown);
            QCOMPARE(QByteArray(shown), "x" + QByteArray::number(byte, 16).toUpper());
        }
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
