// Where the user is in the editor survives what the program does meanwhile: a
// save, a change of the file on disk. Choosing a game shows it in the text.

#include "EditorWindowDriver.h"
#include "TestFiles.h"
#include "TestInput.h"
#include "TestWidgets.h"

#include "editor/DiskWatch.h"
#include "editor/EditorPlace.h"
#include "editor/TextSplit.h"
#include "editor/WindowSlot.h"
#include "platform/AppFolder.h"
#include "platform/MessageBox.h"

#include <QApplication>
#include <QLabel>
#include <QSaveFile>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace editordriver;

namespace {

// Games A to E; C has four keys; enough filler lines that the text scrolls.
QByteArray gamesFile()
{
    QByteArray text;
    for (const char *name : { "A", "B" }) {
        text += "[" + QByteArray(name) + "]\r\n";
        for (int i = 0; i < 30; ++i)
            text += "k" + QByteArray::number(i) + "=" + name + "\r\n";
        text += "\r\n";
    }
    text += "[C]\r\n//=Tess\r\nAltTitle=Sea\r\nComments=Fine\r\nUCode=2\r\n\r\n";
    for (const char *name : { "D", "E" }) {
        text += "[" + QByteArray(name) + "]\r\n";
        for (int i = 0; i < 30; ++i)
            text += "k" + QByteArray::number(i) + "=" + name + "\r\n";
        text += "\r\n";
    }
    return text;
}

long sci(ByteTextEdit *edit, unsigned int message)
{
    return edit->SendScintilla(message);
}

QString chosen(QWidget *form, const char *list)
{
    const int row = selectedRow(form, list);
    return row < 0 ? QString() : items(form, list).at(row);
}

} // namespace

class TestEditorPlace : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;

    QString path(const QString &name) const { return m_dir.filePath(name); }

    // Opens `file`, chooses game C and its key "AltTitle" (whose line the text
    // selects), and scrolls the text a little further.
    frmINIEditor *openAtC(const QString &file)
    {
        frmINIEditor *form = open(file);
        clickItem(form, "ListNames", 2);
        clickItem(form, "ListKey1", 1);
        ByteTextEdit *edit = text1(form);
        edit->SendScintilla(QsciScintillaBase::SCI_SETFIRSTVISIBLELINE, 40UL);
        return form;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QStandardPaths::setTestModeEnabled(true);
        QSettings().clear();
        prepareWindowTests();
        appfolder::overrideForTesting(m_dir.path());
    }

    void cleanup() { closeEditor(); }

    // A save writes the file and leaves the user where they were: the same
    // game and key chosen (found again when rows above them came or went),
    // the caret, the selection and the scroll position; the title names the
    // file and marks edits, the status tells when it was saved.
    void saveKeepsThePlace_data()
    {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QByteArray>("after");
        QTest::addColumn<QString>("game");
        QTest::addColumn<QString>("key");
        QTest::newRow("text of another game") << "k3=D\r\n"_ba
                                              << "k3=D, edited\r\n"_ba << u"C"_s << u"AltTitle"_s;
        QTest::newRow("a game added above") << "[A]\r\n"_ba
                                            << "[New]\r\nx=1\r\n\r\n[A]\r\n"_ba << u"C"_s << u"AltTitle"_s;
        QTest::newRow("a key added above") << "//=Tess\r\n"_ba
                                           << "Extra=1\r\n//=Tess\r\n"_ba << u"C"_s << u"AltTitle"_s;
        QTest::newRow("the key renamed") << "AltTitle=Sea"_ba
                                         << "Alt=Sea"_ba << u"C"_s << QString();
        QTest::newRow("the game renamed") << "[C]"_ba
                                          << "[Sea]"_ba << QString() << QString();
    }

    void saveKeepsThePlace()
    {
        QFETCH(QByteArray, before);
        QFETCH(QByteArray, after);
        QFETCH(QString, game);
        QFETCH(QString, key);
        const QString file = path(u"games.ini"_s);
        writeFile(file, gamesFile());
        frmINIEditor *form = openAtC(file);
        ByteTextEdit *edit = text1(form);
        QCOMPARE(form->windowTitle(), u"games.ini[*] - Change Existing Ferox INI Entry..."_s);
        QVERIFY(!form->isWindowModified());

        // The edit is made where the text says, as a user would, and the
        // caret put back on the chosen key line.
        const QByteArray text = edit->bytes().toByteArray();
        const qsizetype at = text.indexOf(before);
        QVERIFY(at >= 0);
        edit->selectBytes(at, before.size());
        edit->SendScintilla(QsciScintillaBase::SCI_REPLACESEL, 0UL, after.constData());
        QVERIFY(form->isWindowModified());
        const qsizetype line = edit->bytes().toByteArray().indexOf("Comments=Fine");
        edit->selectBytes(line, 8);
        edit->SendScintilla(QsciScintillaBase::SCI_SETFIRSTVISIBLELINE, 40UL);
        const editorplace::TextPlace place = editorplace::textPlace(edit);
        const QByteArray edited = edit->bytes().toByteArray();

        clickButton(form, "cmdAdd");
        QCOMPARE(readFile(file), edited);
        QCOMPARE(chosen(form, "ListNames"), game);
        QCOMPARE(chosen(form, "ListKey1"), key);
        QCOMPARE(selectedRow(form, "ListKey2"), selectedRow(form, "ListKey1"));
        if (!game.isEmpty())
            QCOMPARE(items(form, "ListKey1").size(), items(form, "ListKey2").size());
        const editorplace::TextPlace now = editorplace::textPlace(edit);
        QCOMPARE(now.anchor, place.anchor);
        QCOMPARE(now.caret, place.caret);
        QCOMPARE(now.firstLine, place.firstLine);
        QVERIFY(!form->isWindowModified());
        auto *status = child<QLabel>(form, "lblStatus");
        QVERIFY(status->isVisible());
        QVERIFY(status->text().startsWith(u"Saved "_s));
        QVERIFY(messagebox::takeRecorded().isEmpty());
        // The names list counts what the file holds now.
        const int names = items(form, "ListNames").size();
        QVERIFY(child<QLabel>(form, "Label2")->text().endsWith(u" = "_s + QString::number(names)));

        // The next edit marks the title again and takes the status away.
        typeText(edit, u"x"_s);
        QVERIFY(form->isWindowModified());
        QVERIFY(!status->isVisible());
    }

    // Choosing a game scrolls its head to the top of the text; the keyboard
    // stays in the list and the text's selection (Find Next's start) stays.
    // The text has line numbers; the bar above it gives it room, and the room
    // is remembered for the next window.
    void chosenGameIsShownInTheText()
    {
        const QString file = path(u"scroll.ini"_s);
        writeFile(file, gamesFile());
        frmINIEditor *form = open(file);
        QApplication::setActiveWindow(form);
        ByteTextEdit *edit = text1(form);
        edit->selectBytes(3, 2);
        auto *names = child<QListView>(form, "ListNames");
        names->setFocus();
        for (const int row : { 3, 1, 4 }) {
            clickItem(form, "ListNames", row);
            const QByteArray head = "[" + items(form, "ListNames").at(row).toLatin1() + "]";
            const long line = edit->SendScintilla(QsciScintillaBase::SCI_LINEFROMPOSITION,
                static_cast<unsigned long>(edit->bytes().toByteArray().indexOf(head)));
            QCOMPARE(sci(edit, QsciScintillaBase::SCI_GETFIRSTVISIBLELINE), line);
            QCOMPARE(QApplication::focusWidget(), names);
            QCOMPARE(edit->selectionStartOffset(), 3);
            QCOMPARE(edit->selectionLength(), 2);
        }
        // By keyboard too.
        QTest::keyClick(names, Qt::Key_Up);
        QCOMPARE(sci(edit, QsciScintillaBase::SCI_GETFIRSTVISIBLELINE), 70L);

        QVERIFY(edit->marginLineNumbers(0));
        QVERIFY(edit->marginWidth(0) > 0);

        auto *split = child<TextSplit>(form, "TextSplit");
        const QRect text = edit->geometry();
        const QRect list = names->geometry();
        QTest::mousePress(split, Qt::LeftButton, {}, split->rect().center());
        QTest::mouseMove(split, split->rect().center() - QPoint(0, 60));
        QTest::mouseRelease(split, Qt::LeftButton, {}, split->rect().center() - QPoint(0, 60));
        QCOMPARE(edit->height(), text.height() + 60);
        QCOMPARE(names->height(), list.height() - 60);
        QVERIFY(split->geometry().bottom() < child<QWidget>(form, "Frame3")->geometry().top());
        // Not beyond the lists' least height, at any window size.
        form->resize(900, 700);
        split->setShare(1);
        QCOMPARE(names->height(), TextSplit::kMinimumListHeight);
        form->resize(form->minimumSize());
        QCOMPARE(names->height(), TextSplit::kMinimumListHeight);
        split->setShare(0.5);
        const int shared = edit->height();
        closeEditor();

        form = open(file);
        QCOMPARE(text1(form)->height(), shared);
        child<TextSplit>(form, "TextSplit")->setShare(0);
        QCOMPARE(text1(form)->geometry(), text);
    }

    // A change on disk by someone else reloads a text without edits at once,
    // keeping the place; a text with edits makes the editor ask at once, and
    // the answer Keep leaves the edits (the update asks again before writing).
    void changeOnDiskIsTakenInAtOnce()
    {
        const QString file = path(u"shared.ini"_s);
        writeFile(file, gamesFile());
        frmINIEditor *form = openAtC(file);
        ByteTextEdit *edit = text1(form);
        const editorplace::TextPlace place = editorplace::textPlace(edit);

        // Another program replaces the file, as the main window's Add Entry does.
        QByteArray changed = gamesFile();
        changed.replace("UCode=2", "UCode=5");
        changed.prepend("[Zeta]\r\nUCode=1\r\n\r\n");
        QSaveFile save(file);
        QVERIFY(save.open(QIODevice::WriteOnly));
        save.write(changed);
        QVERIFY(save.commit());
        QTRY_COMPARE(edit->bytes().toByteArray(), changed);
        QCOMPARE(chosen(form, "ListNames"), u"C"_s);
        QCOMPARE(chosen(form, "ListKey1"), u"AltTitle"_s);
        QVERIFY(items(form, "ListKey2").contains(u"5"_s));
        QCOMPARE(editorplace::textPlace(edit).firstLine, place.firstLine);
        QVERIFY(!form->isWindowModified());
        QVERIFY(child<QLabel>(form, "lblStatus")->text().startsWith(u"Reloaded"_s));
        QVERIFY(messagebox::takeRecorded().isEmpty());

        // Written in place this time, while the text holds an edit.
        edit->placeCaret(0);
        typeText(edit, u"; mine "_s);
        messagebox::setNextAnswers({ messagebox::Answer::Cancel });
        writeFile(file, changed + "[Omega]\r\n");
        QList<messagebox::Record> asked;
        QTRY_COMPARE((asked += messagebox::takeRecorded()).size(), 1);
        QVERIFY(edit->bytes().startsWith("; mine"));
        // The same change is not asked about twice; the update still asks.
        QTest::qWait(400);
        QVERIFY(messagebox::takeRecorded().isEmpty());
        messagebox::setNextAnswers({ messagebox::Answer::Reload });
        clickButton(form, "cmdAdd");
        QCOMPARE(messagebox::takeRecorded().size(), 1);
        QCOMPARE(edit->bytes().toByteArray(), changed + "[Omega]\r\n");
        QCOMPARE(chosen(form, "ListNames"), u"C"_s);
        QCOMPARE(items(form, "ListNames").last(), u"Omega"_s);

        // Asked again at the next change; Reload takes it in.
        typeText(edit, u"y"_s);
        messagebox::setNextAnswers({ messagebox::Answer::Reload });
        writeFile(file, changed);
        QTRY_COMPARE(edit->bytes().toByteArray(), changed);
        QCOMPARE(messagebox::takeRecorded().size(), 1);
        QVERIFY(!form->isWindowModified());
    }

    // Our own save is no change on disk: nothing is reloaded or asked.
    void ownSaveIsNoChangeOnDisk()
    {
        const QString file = path(u"own.ini"_s);
        writeFile(file, gamesFile());
        frmINIEditor *form = openAtC(file);
        ByteTextEdit *edit = text1(form);
        typeText(edit, u"z"_s);
        clickButton(form, "cmdAdd");
        typeText(edit, u"w"_s);
        QTest::qWait(500);
        QVERIFY(messagebox::takeRecorded().isEmpty());
        QVERIFY(form->isWindowModified());
    }

    // Editors open at the same time step aside from each other; a slot is
    // free again once its editor is gone.
    void secondEditorStepsAside()
    {
        const WindowSlot first(u"test-slots"_s);
        {
            const WindowSlot second(u"test-slots"_s);
            QCOMPARE(second.index(), first.index() + 1);
        }
        const WindowSlot again(u"test-slots"_s);
        QCOMPARE(again.index(), first.index() + 1);
        QVERIFY(WindowSlot::offsetOf(1) != QPoint());
    }
};

QTEST_MAIN(TestEditorPlace)
#include "test_editorplace.moc"
