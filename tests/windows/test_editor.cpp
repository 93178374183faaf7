#include "EditorWindowDriver.h"
#include "IniData.h"
#include "SectionKeys.h"
#include "TestFiles.h"
#include "TestInput.h"
#include "TestWidgets.h"
#include "WindowLayout.h"

#include "LineModel.h"
#include "app/Form1.h"
#include "core/CodePage.h"
#include "core/IniText.h"
#include "platform/AppFolder.h"
#include "platform/ClassicLook.h"
#include "platform/MessageBox.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using namespace editordriver;

namespace {

const QString kCount = u"Total Number Of ROMS In The Ferox.ini File = "_s;
// The two buttons that the window only calls from code, out of the user's sight.
const QStringList kOutOfSight = { u"Command1"_s, u"cmdFindFirst"_s };

QStringList decoded(const QList<QByteArray> &items)
{
    QStringList out;
    for (const QByteArray &item : items)
        out << codepage::decode(item);
    return out;
}

QList<messagebox::Record> boxes()
{
    return messagebox::takeRecorded();
}

QStringList boxTexts()
{
    QStringList out;
    for (const messagebox::Record &r : messagebox::takeRecorded())
        out << r.text;
    return out;
}

} // namespace

class TestEditor : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;

    QString path(const QString &name) const { return m_dir.filePath(name); }

    QString generated(const QString &name, const QString &size, int seed = 1)
    {
        const QString out = path(name);
        if (!generateIni(size, out, { u"--seed"_s, QString::number(seed) }))
            qFatal("generate-ini failed");
        return out;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        prepareWindowTests();
        appfolder::overrideForTesting(m_dir.path());
    }

    void cleanup()
    {
        if (Form1 *main = showonce::instance<Form1>())
            main->close();
        QTRY_VERIFY(!showonce::instance<Form1>());
        editordriver::closeEditor();
    }

    // Types `text` at the start of the text area, as the user edits it.
    static void edit(frmINIEditor *form, const QString &text)
    {
        ByteTextEdit *edit = text1(form);
        edit->placeCaret(0);
        typeText(edit, text);
    }

    void windowLayout()
    {
        frmINIEditor *form = open(std::nullopt);
        boxes();
        QCOMPARE(form->windowTitle(), u"Change Existing Ferox INI Entry..."_s);
        // It opens at its designed size, and can grow (and be maximised) but
        // not shrink below it.
        QCOMPARE(form->minimumSize(), form->size());
        QVERIFY(form->windowFlags() & Qt::WindowMinimizeButtonHint);
        QVERIFY(form->windowFlags() & Qt::WindowMaximizeButtonHint);
        // Every control shows whole, on no other, its caption whole too.
        const QStringList faults = windowlayout::faults(form, kOutOfSight);
        QVERIFY2(faults.isEmpty(), qPrintable(faults.join(u'\n')));
        QCOMPARE(child<QWidget>(form, "Text1")->parentWidget()->objectName(), u"Frame3"_s);
        QCOMPARE(child<QWidget>(form, "cmdFindNext")->parentWidget()->objectName(), u"Frame1"_s);
        QCOMPARE(child<QPushButton>(form, "cmdAdd")->text(), u"&Update INI"_s);
        QCOMPARE(child<QPushButton>(form, "Command2")->text(), u"&Close"_s);
        QVERIFY(!child<QPushButton>(form, "cmdFindNext")->isEnabled());
        // The two buttons the window only calls from code lie outside their frame.
        for (const QString &hidden : kOutOfSight) {
            QWidget *button = child<QWidget>(form, hidden);
            QVERIFY(!button->parentWidget()->rect().intersects(button->geometry()));
        }
    }

    void tabOrderAndAccessKeys()
    {
        const QString file = path(u"keys.ini"_s);
        writeFile(file, "[A]\r\nk=v\r\n");
        frmINIEditor *form = open(file);
        QApplication::setActiveWindow(form);
        child<QWidget>(form, "cmdAdd")->setFocus();
        QStringList order { QApplication::focusWidget()->objectName() };
        for (int i = 0; i < 8; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            order << QApplication::focusWidget()->objectName();
        }
        // The focus arriving in a list chooses nothing.
        QVERIFY(items(form, "ListKey1").isEmpty());
        // cmdFindNext is disabled until a key is clicked, so Tab passes it over.
        QCOMPARE(order,
            (QStringList { u"cmdAdd"_s, u"Command2"_s, u"txtPath"_s, u"ListNames"_s, u"ListKey1"_s,
                u"ListKey2"_s, u"Text1"_s, u"GetSettings"_s, u"cmdAdd"_s }));

        text1(form)->placeCaret(text1(form)->bytes().size());
        typeText(text1(form), u"j=w"_s);
        QTest::keyClick(form, Qt::Key_U, Qt::AltModifier);
        QTRY_COMPARE(readFile(file), "[A]\r\nk=v\r\nj=w\r\n"_ba);
        QTest::keyClick(form, Qt::Key_C, Qt::AltModifier);
        QTRY_VERIFY(!showonce::instance<frmINIEditor>());
    }

    // The editor leaves the process's current folder alone (other windows
    // and a file named on the command line rely on it). Its open dialog starts
    // beside the program, where Ferox.ini is, and a relative path typed into
    // txtPath names a file there; a relative file handed over from the
    // command line is one in the folder the program was started from.
    void foldersOfItsOwn()
    {
        QTemporaryDir folder;
        const QDir started(QDir(folder.path()).canonicalPath());
        const QString before = QDir::currentPath();
        QVERIFY(QDir::setCurrent(started.path()));
        const auto restore = qScopeGuard([&] { QDir::setCurrent(before); });
        writeFile(started.filePath(u"same.ini"_s), "[Started]\r\n");
        writeFile(path(u"same.ini"_s), "[Beside]\r\n");

        // The real dialog, as the user sees it, then cancelled.
        QString dialogFolder;
        QTimer poll;
        connect(&poll, &QTimer::timeout, this, [&] {
            if (auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget())) {
                dialogFolder = dialog->directory().absolutePath();
                dialog->reject();
            }
        });
        poll.start(20);
        OpenFileDialog::setNextAnswers({});
        frmINIEditor *form = showonce::show<frmINIEditor>();
        poll.stop();
        boxes();
        QCOMPARE(dialogFolder, m_dir.path());
        QCOMPARE(QDir::currentPath(), started.path());

        frmINIEditor::showOn(u"same.ini"_s);
        QCOMPARE(items(form, "ListNames"), QStringList { u"Started"_s });
        QCOMPARE(form->LoadedPath, started.filePath(u"same.ini"_s));

        auto *txtPath = child<QLineEdit>(form, "txtPath");
        txtPath->setText(u"same.ini"_s);
        QTest::keyClick(txtPath, Qt::Key_Return);
        QCOMPARE(items(form, "ListNames"), QStringList { u"Beside"_s });
        QCOMPARE(form->LoadedPath, path(u"same.ini"_s));
        QCOMPARE(text1(form)->bytes(), QByteArrayView("[Beside]\r\n"));
        QCOMPARE(QDir::currentPath(), started.path());
        QVERIFY(boxes().isEmpty());
    }

    void opensGeneratedFile()
    {
        const QString file = generated(u"gen.ini"_s, u"40K"_s);
        const QByteArray bytes = readFile(file);
        frmINIEditor *form = open(file);
        QCOMPARE(OpenFileDialog::takeShownCount(), 1);
        QVERIFY(boxes().isEmpty());
        const QStringList names = decoded(linemodel::sectionNames(bytes));
        QVERIFY(names.size() > 50);
        QCOMPARE(items(form, "ListNames"), names);
        QCOMPARE(child<QLabel>(form, "Label2")->text(), kCount + QString::number(names.size()));
        QCOMPARE(child<QLineEdit>(form, "txtPath")->text(), file);
        QCOMPARE(text1(form)->bytes(), QByteArrayView(bytes));
        QCOMPARE(form->LoadedPath, file);

        // A click on a name lists that section's keys and values.
        const int row = names.size() / 2;
        clickItem(form, "ListNames", row);
        const QList<sectionkeys::Key> keys = sectionkeys::of(bytes, codepage::encode(names[row]).bytes);
        QCOMPARE(items(form, "ListKey1"), decoded(sectionkeys::names(keys)));
        QCOMPARE(items(form, "ListKey2"), decoded(sectionkeys::values(keys)));
    }

    void oddHeadsAndCount()
    {
        const QString file = path(u"odd.ini"_s);
        writeFile(file, "[]\r\n[A] note\r\n [B]\r\n[A]\r\n[C\rx=1\n[D]\r\n");
        frmINIEditor *form = open(file);
        QCOMPARE(items(form, "ListNames"),
            (QStringList { u""_s, u"A"_s, u"B"_s, u"A (duplicate, not read)"_s, u"D"_s }));
        QCOMPARE(child<QLabel>(form, "Label2")->text(), kCount + u"5"_s);
        // A head with a note after it lists its keys by the name shown.
        writeFile(file, "[Z]\r\n\r\n [A] ; note\nk=1\n[C\nj=2\n");
        form = open(file);
        clickItem(form, "ListNames", 1);
        QCOMPARE(items(form, "ListKey1"), (QStringList { u"k"_s, u"[C"_s, u"j"_s }));
    }

    // A file with a UTF-8 byte-order mark lists its names as UTF-8 and finds
    // them again; a UTF-16 text is not written back.
    void byteOrderMarks()
    {
        const QString file = path(u"utf8.ini"_s);
        const QByteArray text = "\xEF\xBB\xBF[Caf\xC3\xA9]\r\nN\xC3\xA4me=W\xC3\xB6rt\r\n"_ba;
        writeFile(file, text);
        frmINIEditor *form = open(file);
        QCOMPARE(items(form, "ListNames"), QStringList { u"Caf\u00E9"_s });
        clickItem(form, "ListNames", 0);
        QCOMPARE(items(form, "ListKey1"), QStringList { u"N\u00E4me"_s });
        QCOMPARE(items(form, "ListKey2"), QStringList { u"W\u00F6rt"_s });
        clickItem(form, "ListKey1", 0);
        QVERIFY(boxes().isEmpty());
        QCOMPARE(text1(form)->selectionStartOffset(), text.indexOf("N\xC3\xA4me"));

        const QString wide = path(u"utf16.ini"_s);
        const QByteArray utf16("\xFF\xFE[\0A\0]\0", 8);
        writeFile(wide, utf16);
        form = open(wide);
        text1(form)->setBytes(QByteArray(utf16 + "x=1"));
        clickButton(form, "cmdAdd");
        const QStringList shown = boxTexts();
        QCOMPARE(shown.size(), 1);
        QVERIFY2(shown[0].contains(u"UTF-16"_s) && shown[0].contains(u"still in the editor"_s),
            qPrintable(shown[0]));
        QCOMPARE(readFile(wide), utf16);
    }

    void manySections()
    {
        QByteArray text;
        for (int i = 0; i < 33000; ++i)
            text += "[G" + QByteArray::number(i) + "]\r\nk=" + QByteArray::number(i) + "\r\n";
        const QString file = path(u"many.ini"_s);
        writeFile(file, text);
        frmINIEditor *form = open(file);
        QCOMPARE(child<QLabel>(form, "Label2")->text(), kCount + u"33000"_s);
        clickItem(form, "ListNames", 32999);
        QCOMPARE(items(form, "ListKey2"), QStringList { u"32999"_s });
    }

    // Huge names, keys and values are shown cut, while the lookups, the
    // search and the file keep them whole.
    void longTextsAreShownCut()
    {
        const QByteArray name = QByteArray(20 << 20, 'N') + "\xE9";
        const QByteArray value = QByteArray(20 << 20, 'v');
        const QByteArray text = "[" + name + "]\r\nk=1\r\n[" + name.chopped(1) + "]\r\nk=" + value + "\r\n";
        const QString file = path(u"long.ini"_s);
        writeFile(file, text);
        frmINIEditor *form = open(file);
        const QString shown = QString(1024, u'N') + u"..."_s;
        QCOMPARE(items(form, "ListNames"), (QStringList { shown, shown }));
        QCOMPARE(child<QLabel>(form, "Label2")->text(), kCount + u"2"_s);
        clickItem(form, "ListNames", 0);
        QCOMPARE(items(form, "ListKey2"), QStringList { u"1"_s });
        clickItem(form, "ListNames", 1);
        QCOMPARE(items(form, "ListKey2"), QStringList { QString(1024, u'v') + u"..."_s });
        clickItem(form, "ListKey1", 0);
        QCOMPARE(child<QLabel>(form, "lblEntries")->text(), u"k="_s + QString(1022, u'v') + u"..."_s);
        QVERIFY(boxes().isEmpty());
        QCOMPARE(text1(form)->selectionStartOffset(), text.indexOf("k=v"));
        // The line is longer than the text area shows: the selection ends
        // at its cut, the caret never goes into the hidden part.
        QCOMPARE(text1(form)->selectionLength(), qsizetype(64 * 1024));
        QCOMPARE(text1(form)->bytes(), QByteArrayView(text));
    }

    // Lines too long to be shown whole keep their hidden bytes through the
    // lists, the key search, the choice of a game, an edit before, between
    // or after them and Update INI, byte for byte.
    void cutLinesStayExact_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QByteArray>("editBefore"); // where "x" is typed
        const QByteArray tail = QByteArray("v\x80\xff\0w", 5).repeated(30 * 1024);
        // Enough lines after [B] to scroll its head to the top.
        const QByteArray b = "[B]\r\n" + "f=1\r\n"_ba.repeated(100);
        const QByteArray two = "; top\r\n[A]\r\nk=" + tail + "\r\nj=" + tail + "\r\nm=1\r\n" + b;
        QTest::newRow("before two cut lines") << two << "[A]"_ba;
        QTest::newRow("between them") << two << "j="_ba;
        QTest::newRow("after them") << two << "m=1"_ba;
        QTest::newRow("a cut line last, without a line end")
            << "[A]\r\nm=1\r\n" + b + "long=" + tail << "m=1"_ba;
        QTest::newRow("lone LF and CR") << "[A]\nk=" + tail + "\rj=" + tail + "\nm=1\r" + b << "m=1"_ba;
    }
    void cutLinesStayExact()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QByteArray, editBefore);
        const QString file = path(u"cut.ini"_s);
        writeFile(file, bytes);
        frmINIEditor *form = open(file);
        ByteTextEdit *edit = text1(form);
        QVERIFY(edit->hidesTails());
        QCOMPARE(edit->bytes(), QByteArrayView(bytes));
        clickItem(form, "ListNames", 1);
        QCOMPARE(edit->SendScintilla(QsciScintilla::SCI_GETFIRSTVISIBLELINE),
            edit->SendScintilla(QsciScintilla::SCI_LINEFROMPOSITION,
                static_cast<unsigned long>(edit->positionOf(bytes.indexOf("[B]")))));
        clickItem(form, "ListNames", 0);
        const int row = static_cast<int>(items(form, "ListKey1").indexOf(u"m"_s));
        QVERIFY(row >= 0);
        clickItem(form, "ListKey1", row);
        QCOMPARE(edit->selectionStartOffset(), bytes.indexOf("m=1"));
        QCOMPARE(edit->selectionLength(), 3);

        edit->placeCaret(bytes.indexOf(editBefore));
        edit->setFocus();
        typeText(edit, u"x"_s);
        QByteArray expected = bytes;
        expected.insert(bytes.indexOf(editBefore), 'x');
        QCOMPARE(edit->bytes(), QByteArrayView(expected));
        clickButton(form, "cmdAdd");
        QVERIFY(boxes().isEmpty());
        if (!expected.endsWith('\n') && !expected.endsWith('\r'))
            expected += "\r\n";
        QCOMPARE(readFile(file), expected);
        // Saved again after an edit at the start: still every hidden byte.
        edit->placeCaret(0);
        typeText(edit, u"y"_s);
        clickButton(form, "cmdAdd");
        QCOMPARE(readFile(file), "y" + expected);
    }

    void emptyFile()
    {
        const QString file = path(u"empty.ini"_s);
        writeFile(file, {});
        frmINIEditor *form = open(file);
        QVERIFY(boxes().isEmpty());
        QVERIFY(items(form, "ListNames").isEmpty());
        QCOMPARE(child<QLabel>(form, "Label2")->text(), kCount + u"0"_s);
        QVERIFY(text1(form)->bytes().isEmpty());
        QCOMPARE(form->LoadedPath, file);
    }

    void missingFileIsNotCreated()
    {
        const QString file = path(u"missing.ini"_s);
        frmINIEditor *form = open(file);
        const QList<messagebox::Record> shown = boxes();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown[0].text, u"File Not Found"_s);
        QCOMPARE(shown[0].title, u"Ferox64 INI Editor"_s);
        QCOMPARE(shown[0].icon, messagebox::Icon::None);
        QVERIFY(!QFile::exists(file));
        QCOMPARE(child<QLineEdit>(form, "txtPath")->text(), file);
        QCOMPARE(child<QLabel>(form, "Label2")->text(), kCount + u"0"_s);
        QVERIFY(form->LoadedPath.isEmpty());
    }

    void cancelAtFirstUseLoadsNothing()
    {
        frmINIEditor *form = open(std::nullopt);
        QVERIFY(boxTexts().isEmpty());
        QVERIFY(child<QLineEdit>(form, "txtPath")->text().isEmpty());
        QVERIFY(form->LoadedPath.isEmpty());
    }

    void cancelKeepsLastPick()
    {
        const QString a = path(u"a.ini"_s);
        const QString b = path(u"b.ini"_s);
        writeFile(a, "[A]\r\nk=1\r\n");
        writeFile(b, "[B]\r\n");
        frmINIEditor *form = open(a);
        // A new pick, then a cancel: the cancel changes nothing.
        OpenFileDialog::setNextAnswers({ b, std::nullopt });
        clickButton(form, "GetSettings");
        QCOMPARE(items(form, "ListNames"), QStringList { u"B"_s });
        text1(form)->setBytes("changed");
        clickButton(form, "GetSettings");
        QCOMPARE(child<QLineEdit>(form, "txtPath")->text(), b);
        QCOMPARE(text1(form)->bytes(), QByteArrayView("changed"));
        QCOMPARE(form->LoadedPath, b);
        QVERIFY(boxes().isEmpty());
    }

    void failedOpenKeepsTextAndKeys()
    {
        const QString a = path(u"keep.ini"_s);
        writeFile(a, "[A]\r\nk=1\r\n");
        frmINIEditor *form = open(a);
        clickItem(form, "ListNames", 0);
        OpenFileDialog::setNextAnswers({ path(u"gone.ini"_s) });
        clickButton(form, "GetSettings");
        QCOMPARE(boxTexts(), QStringList { u"File Not Found"_s });
        QVERIFY(items(form, "ListNames").isEmpty());
        QCOMPARE(items(form, "ListKey1"), QStringList { u"k"_s });
        QCOMPARE(text1(form)->bytes(), QByteArrayView("[A]\r\nk=1\r\n"));
        QCOMPARE(form->LoadedPath, a);
    }

    void failedTextLoadKeepsTextAndLoadedPath()
    {
        const QString a = path(u"kept.ini"_s);
        writeFile(a, "[A]\r\nk=1\r\n");
        frmINIEditor *form = open(a);
        text1(form)->selectBytes(5, 3);
        // A folder cannot be opened as a file; /proc/self/mem opens and then
        // fails on the first read. Neither is created, as both exist.
        for (const QString &bad : { m_dir.path(), u"/proc/self/mem"_s }) {
            child<QLineEdit>(form, "txtPath")->setText(bad);
            form->Command1_Click();
            QCOMPARE(text1(form)->bytes(), QByteArrayView("[A]\r\nk=1\r\n"));
            QCOMPARE(text1(form)->selectionStartOffset(), qsizetype(5));
            QCOMPARE(text1(form)->selectionLength(), qsizetype(3));
            QCOMPARE(form->LoadedPath, a);
        }
        QVERIFY(boxes().isEmpty());
    }

    void keyReaderReportsMissingFile()
    {
        const QString a = path(u"vanish.ini"_s);
        writeFile(a, "[A]\r\nk=1\r\n[B]\r\nj=2\r\n");
        frmINIEditor *form = open(a);
        QVERIFY(QFile::remove(a));
        clickItem(form, "ListNames", 1);
        QCOMPARE(boxTexts(), QStringList { u"File Not Found"_s });
        QVERIFY(items(form, "ListKey1").isEmpty());
    }

    // Find First selects the chosen section's line, not the same line in an
    // earlier section; Find Next walks on, then says "Not Found" and leaves
    // the caret at s + 2.
    void keySearch()
    {
        const QByteArray text = "[A]\r\nk=1\r\n\r\n[B]\r\nk=1\r\nj=\r\n"_ba;
        const QString file = path(u"search.ini"_s);
        writeFile(file, text);
        frmINIEditor *form = open(file);
        ByteTextEdit *edit = text1(form);
        auto *findNext = child<QPushButton>(form, "cmdFindNext");
        clickItem(form, "ListNames", 1);
        QCOMPARE(items(form, "ListKey1"), (QStringList { u"k"_s, u"j"_s }));
        QWidget *focusBefore = QApplication::focusWidget();
        clickItem(form, "ListKey1", 0);
        QCOMPARE(child<QLabel>(form, "lblEntries")->text(), u"k=1"_s);
        QCOMPARE(child<QLabel>(form, "lblFindNext")->text(), u"Find k=1"_s);
        QCOMPARE(selectedRow(form, "ListKey2"), 0);
        QVERIFY(findNext->isEnabled());
        // The line of the chosen section [B], not the same line of [A] above.
        QCOMPARE(edit->selectionStartOffset(), qsizetype(17));
        QCOMPARE(edit->selectionLength(), qsizetype(3));
        QVERIFY(!edit->hasFocus());
        QCOMPARE(QApplication::focusWidget() == edit, focusBefore == edit);

        clickButton(form, "cmdFindNext");
        QCOMPARE(boxTexts(), QStringList { u"Not Found"_s });
        QCOMPARE(edit->selectionStartOffset(), qsizetype(19));
        QCOMPARE(edit->selectionLength(), qsizetype(0));

        // A key with an empty value searches for the key and "=".
        clickItem(form, "ListKey1", 1);
        QCOMPARE(child<QLabel>(form, "lblEntries")->text(), u"j="_s);
        QCOMPARE(edit->selectionStartOffset(), text.indexOf("j="));

        // The search runs over the edited text, not the file.
        edit->setBytes("nothing here");
        clickItem(form, "ListKey1", 0);
        QCOMPARE(boxTexts(), QStringList { u"Not found"_s });
    }

    void updateWritesTheEditedText()
    {
        const QString file = generated(u"update.ini"_s, u"8K"_s, 7);
        const QByteArray before = readFile(file);
        frmINIEditor *form = open(file);
        ByteTextEdit *edit = text1(form);
        clickItem(form, "ListNames", 0);
        QVERIFY(!items(form, "ListKey1").isEmpty());
        clickItem(form, "ListKey1", 0);
        QVERIFY(edit->selectionLength() > 0);
        edit->placeCaret(0);
        edit->setFocus();
        typeText(edit, u"x=\u20AC"_s);
        QTest::keyClick(edit, Qt::Key_Return);
        clickButton(form, "cmdAdd");
        QVERIFY(boxes().isEmpty());
        QVERIFY(before.endsWith("\r\n"));
        QCOMPARE(readFile(file), "x=\x80\r\n"_ba + before);
        // The chosen game and key stay chosen.
        QCOMPARE(selectedRow(form, "ListNames"), 0);
        QCOMPARE(selectedRow(form, "ListKey1"), 0);
        QCOMPARE(child<QLabel>(form, "Label2")->text(),
            kCount + QString::number(linemodel::sectionNames(before).size()));
        // Another update without reloading writes the same again: no growth.
        clickButton(form, "cmdAdd");
        QCOMPARE(readFile(file), "x=\x80\r\n"_ba + before);
        // After the update Find Next goes on with the chosen key's line.
        clickButton(form, "cmdFindNext");
        QCOMPARE(child<QLabel>(form, "lblEntries")->text(),
            items(form, "ListKey1").at(0) + u'=' + items(form, "ListKey2").at(0));
    }

    void updateBeforeAnyLoad()
    {
        frmINIEditor *form = open(std::nullopt);
        boxes();
        const QString typed = path(u"typed-first.ini"_s);
        child<QLineEdit>(form, "txtPath")->setText(typed);
        messagebox::setNextAnswers({ messagebox::Answer::Create });
        clickButton(form, "cmdAdd");
        QCOMPARE(boxes().size(), 1);
        QVERIFY(QFile::exists(typed));
        QCOMPARE(readFile(typed), QByteArray());
        QCOMPARE(form->LoadedPath, typed);
        QVERIFY(boxes().isEmpty());
    }

    // The text area always holds the text of the file that an update writes:
    // typing another path and updating makes that file the loaded one, text and
    // all, so neither file ever gets the other's text.
    void typedPathWritesOnlyItsOwnText_data()
    {
        QTest::addColumn<QByteArray>("second");
        QTest::newRow("existing file") << "[Other]\r\nk=2\r\n"_ba;
        QTest::newRow("new file") << QByteArray();
    }
    void typedPathWritesOnlyItsOwnText()
    {
        QFETCH(QByteArray, second);
        const QString a = path(u"first.ini"_s);
        const QString b = path(u"second.ini"_s);
        QFile::remove(b);
        writeFile(a, "[A]\r\n");
        if (!second.isEmpty())
            writeFile(b, second);
        frmINIEditor *form = open(a);
        edit(form, u"x=1"_s);
        QTest::keyClick(text1(form), Qt::Key_Return);
        child<QLineEdit>(form, "txtPath")->setText(b);
        messagebox::setNextAnswers({ messagebox::Answer::Create });
        clickButton(form, "cmdAdd");
        QCOMPARE(boxes().size(), second.isEmpty() ? 1 : 0);
        QCOMPARE(readFile(a), "x=1\r\n[A]\r\n"_ba);
        QVERIFY(QFile::exists(b));
        QCOMPARE(readFile(b), second);
        QCOMPARE(form->LoadedPath, b);
        QCOMPARE(text1(form)->bytes(), QByteArrayView(second));
        clickButton(form, "cmdAdd");
        // An empty text is written as one line end, as an update always did.
        QCOMPARE(readFile(b), second.isEmpty() ? "\r\n"_ba : second);
        QCOMPARE(readFile(a), "x=1\r\n[A]\r\n"_ba);
        QCOMPARE(child<QLabel>(form, "Label2")->text(), kCount + (second.isEmpty() ? u"0"_s : u"1"_s));
        QVERIFY(boxes().isEmpty());
    }

    // The file changed on disk after it was loaded: by another program (in
    // place, same size, at once) or by the main window's Add Entry (a new
    // file). The update asks before writing; each answer does what it says.
    void changedOnDiskIsNotOverwrittenSilently_data()
    {
        QTest::addColumn<bool>("byMainWindow");
        QTest::addColumn<messagebox::Answer>("answer");
        for (const bool main : { false, true }) {
            const char *route = main ? "add entry" : "other program";
            QTest::addRow("%s, overwrite", route) << main << messagebox::Answer::Overwrite;
            QTest::addRow("%s, reload", route) << main << messagebox::Answer::Reload;
            QTest::addRow("%s, cancel", route) << main << messagebox::Answer::Cancel;
        }
    }
    void changedOnDiskIsNotOverwrittenSilently()
    {
        QFETCH(bool, byMainWindow);
        QFETCH(messagebox::Answer, answer);
        const QString file = path(u"Ferox.ini"_s);
        writeFile(file, "[Old Game]\r\nUCode=1\r\n");
        frmINIEditor *form = open(file);
        edit(form, u"k=edited"_s);
        const QByteArray edited = text1(form)->bytes().toByteArray();
        if (byMainWindow) {
            Form1 *main = showonce::show<Form1>();
            child<QLineEdit>(main, "Text1")->setText(u"New Game"_s);
            clickButton(main, "Command1");
        } else {
            writeFile(file, "[New Game]\r\nUCode=2\r\n");
        }
        const QByteArray onDisk = readFile(file);
        QVERIFY(onDisk != "[Old Game]\r\nUCode=1\r\n");
        QVERIFY(boxes().isEmpty());

        messagebox::setNextAnswers({ answer });
        clickButton(form, "cmdAdd");
        const QList<messagebox::Record> asked = boxes();
        QCOMPARE(asked.size(), 1);
        QCOMPARE(asked[0].title, u"Ferox64 INI Editor"_s);
        QVERIFY2(asked[0].text.contains(u"changed on disk"_s), qPrintable(asked[0].text));
        QCOMPARE(asked[0].answers,
            (QList<messagebox::Answer> {
                messagebox::Answer::Overwrite, messagebox::Answer::Reload, messagebox::Answer::Cancel }));
        switch (answer) {
        case messagebox::Answer::Overwrite:
            QCOMPARE(readFile(file), edited);
            QVERIFY(!text1(form)->changedSinceSave());
            break;
        case messagebox::Answer::Reload:
            QCOMPARE(readFile(file), onDisk);
            QCOMPARE(text1(form)->bytes(), QByteArrayView(onDisk));
            QCOMPARE(items(form, "ListNames"), decoded(linemodel::sectionNames(onDisk)));
            break;
        default:
            QCOMPARE(readFile(file), onDisk);
            QCOMPARE(text1(form)->bytes(), QByteArrayView(edited));
            QVERIFY(text1(form)->changedSinceSave());
            break;
        }
        // Once settled, the next update writes without asking again.
        if (answer != messagebox::Answer::Cancel) {
            clickButton(form, "cmdAdd");
            QVERIFY(boxes().isEmpty());
        }
    }

    // Another program holds the file: Update INI waits a few seconds with the
    // window answering, then says nothing was written; the text and its
    // unsaved state stay. A change made while the update waited is seen by
    // the check under the lock: the question comes, nothing is overwritten.
    void heldFileIsWaitedForBriefly_data()
    {
        QTest::addColumn<bool>("changedWhileHeld");
        QTest::addColumn<bool>("edited");
        QTest::newRow("wait ends") << false << true;
        QTest::newRow("changed while held") << true << true;
        // The change is noticed while the write waits: a text without edits
        // would be reloaded then, from under the write that holds it.
        QTest::newRow("changed while held, no edits") << true << false;
    }
    void heldFileIsWaitedForBriefly()
    {
        QFETCH(bool, changedWhileHeld);
        QFETCH(bool, edited);
        const QString file = path(u"Ferox.ini"_s);
        writeFile(file, "[Old Game]\r\nUCode=1\r\n");
        frmINIEditor *form = open(file);
        if (edited)
            edit(form, u"k=edited"_s);
        const QByteArray before = text1(form)->bytes().toByteArray();
        const int holder = ::open(QFile::encodeName(file).constData(), O_RDWR | O_CLOEXEC);
        QVERIFY(holder >= 0);
        QCOMPARE(::flock(holder, LOCK_EX), 0);
        int ticks = 0;
        QTimer ticker;
        connect(&ticker, &QTimer::timeout, this, [&] { ++ticks; });
        ticker.start(50);
        const QByteArray other = "[Old Game]\r\nUCode=1\r\n[New Game]\r\nUCode=2\r\n";
        if (changedWhileHeld) {
            // The holder writes its entry in place, and lets go well after
            // the window has been told of the change.
            QTimer::singleShot(100, this,
                [&] { QCOMPARE(::pwrite(holder, other.constData(), other.size(), 0), other.size()); });
            QTimer::singleShot(1200, this, [&] { ::close(holder); });
        }
        QElapsedTimer clock;
        clock.start();
        clickButton(form, "cmdAdd");
        const qint64 waited = clock.elapsed();
        if (!changedWhileHeld)
            ::close(holder);
        const QList<messagebox::Record> shown = boxes();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(text1(form)->changedSinceSave(), edited);
        QCOMPARE(text1(form)->bytes(), QByteArrayView(before));
        if (changedWhileHeld) {
            QVERIFY2(shown[0].text.contains(u"changed on disk"_s), qPrintable(shown[0].text));
            QCOMPARE(readFile(file), other);
            return;
        }
        QVERIFY2(shown[0].text.contains(u"another program is writing"_s), qPrintable(shown[0].text));
        QVERIFY2(waited >= 4000 && waited < 20000, qPrintable(QString::number(waited)));
        QVERIFY2(ticks >= 20, qPrintable(QString::number(ticks)));
        QCOMPARE(readFile(file), "[Old Game]\r\nUCode=1\r\n"_ba);
    }

    // Edits in the text area are never dropped without a question: closing,
    // opening another file, and cancelling the dialog (which reloads) ask to
    // save, discard or cancel. Undoing the edits leaves nothing to ask about.
    void unsavedEditsAreNotDiscardedSilently_data()
    {
        QTest::addColumn<QString>("route");
        QTest::addColumn<messagebox::Answer>("answer");
        for (const QString &route : { u"close"_s, u"alt+c"_s, u"open other"_s }) {
            for (const messagebox::Answer answer :
                { messagebox::Answer::Save, messagebox::Answer::Discard, messagebox::Answer::Cancel }) {
                const char *name = answer == messagebox::Answer::Save ? "save"
                    : answer == messagebox::Answer::Discard           ? "discard"
                                                                      : "cancel";
                QTest::addRow("%s, %s", qPrintable(route), name) << route << answer;
            }
        }
        QTest::newRow("close, edit undone") << u"close undone"_s << messagebox::Answer::Cancel;
        QTest::newRow("open cancelled") << u"open cancel"_s << messagebox::Answer::Discard;
    }
    void unsavedEditsAreNotDiscardedSilently()
    {
        QFETCH(QString, route);
        QFETCH(messagebox::Answer, answer);
        const QByteArray original = "[A]\r\nk=1\r\n";
        const QString a = path(u"unsaved-a.ini"_s);
        const QString b = path(u"unsaved-b.ini"_s);
        writeFile(a, original);
        writeFile(b, "[B]\r\n");
        frmINIEditor *form = open(a);
        edit(form, u"j=2"_s);
        const QByteArray edited = text1(form)->bytes().toByteArray();
        QCOMPARE(edited, "j=2" + original);
        if (route == u"close undone") {
            while (text1(form)->isUndoAvailable())
                text1(form)->undo();
            QVERIFY(!text1(form)->changedSinceSave());
        }

        messagebox::setNextAnswers({ answer });
        const bool closing = route.startsWith(u"close") || route == u"alt+c";
        if (route.startsWith(u"close")) {
            clickButton(form, "Command2");
        } else if (route == u"alt+c") {
            QApplication::setActiveWindow(form);
            QTest::keyClick(form, Qt::Key_C, Qt::AltModifier);
        } else {
            OpenFileDialog::setNextAnswers(
                { route == u"open other" ? std::optional<QString>(b) : std::nullopt });
            clickButton(form, "GetSettings");
        }

        if (route == u"open cancel") {
            // The dialog's Cancel asks nothing and keeps the edits.
            messagebox::setNextAnswers({});
            QVERIFY(boxes().isEmpty());
            QCOMPARE(text1(form)->bytes(), QByteArrayView(edited));
            QCOMPARE(form->LoadedPath, a);
            return;
        }
        if (route == u"close undone") {
            messagebox::setNextAnswers({});
            QVERIFY(boxes().isEmpty());
            QTRY_VERIFY(!showonce::instance<frmINIEditor>());
            QCOMPARE(readFile(a), original);
            return;
        }
        QList<messagebox::Record> asked;
        // An access key reaches its button a moment later.
        QTRY_VERIFY(!(asked += boxes()).isEmpty());
        messagebox::setNextAnswers({});
        QCOMPARE(asked.size(), 1);
        QCOMPARE(asked[0].title, u"Ferox64 INI Editor"_s);
        QCOMPARE(asked[0].answers,
            (QList<messagebox::Answer> {
                messagebox::Answer::Save, messagebox::Answer::Discard, messagebox::Answer::Cancel }));
        if (answer == messagebox::Answer::Cancel) {
            QVERIFY(showonce::instance<frmINIEditor>());
            QCOMPARE(text1(form)->bytes(), QByteArrayView(edited));
            QCOMPARE(form->LoadedPath, a);
            QCOMPARE(child<QLineEdit>(form, "txtPath")->text(), a);
            QCOMPARE(readFile(a), original);
            // The dialog still remembers the file that is loaded.
            OpenFileDialog::setNextAnswers({ std::nullopt });
            clickButton(form, "GetSettings");
            QCOMPARE(form->LoadedPath, a);
            boxes();
            return;
        }
        QCOMPARE(readFile(a), answer == messagebox::Answer::Save ? edited : original);
        if (closing) {
            QTRY_VERIFY(!showonce::instance<frmINIEditor>());
            return;
        }
        const QString expected = route == u"open other" ? b : a;
        QCOMPARE(form->LoadedPath, expected);
        QCOMPARE(text1(form)->bytes(), QByteArrayView(readFile(expected)));
        QVERIFY(!text1(form)->changedSinceSave());
    }

    // The main window closed first, the editor with edits is the last window:
    // closing it asks, and Cancel keeps the program running with the edits.
    void lastWindowWithEditsAsksBeforeTheProgramEnds()
    {
        const QString file = path(u"Ferox.ini"_s);
        writeFile(file, "[A]\r\nk=1\r\n");
        Form1 *main = showonce::show<Form1>();
        frmINIEditor *form = open(file);
        edit(form, u"j=2"_s);
        const auto openWindows = [] {
            QList<QWidget *> out;
            for (QWidget *w : QApplication::topLevelWidgets()) {
                if (w->isVisible())
                    out << w;
            }
            return out;
        };
        main->close();
        QTRY_VERIFY(!showonce::instance<Form1>());
        QVERIFY(boxes().isEmpty());
        QCOMPARE(openWindows(), QList<QWidget *> { form });

        messagebox::setNextAnswers({ messagebox::Answer::Cancel });
        QVERIFY(!form->close());
        QCOMPARE(boxes().size(), 1);
        QCOMPARE(openWindows(), QList<QWidget *> { form });
        QCOMPARE(text1(form)->bytes(), QByteArrayView("j=2[A]\r\nk=1\r\n"));

        messagebox::setNextAnswers({ messagebox::Answer::Save });
        QVERIFY(form->close());
        QCOMPARE(readFile(file), "j=2[A]\r\nk=1\r\n"_ba);
        QTRY_VERIFY(!showonce::instance<frmINIEditor>());
        QVERIFY(openWindows().isEmpty());
    }

    // The same key line stands in three games: choosing it in the second or
    // the third selects that game's line, scrolled into view, focus unmoved.
    // Only a line not found below the head is looked for from the start.
    void keyClickSelectsTheChosenSectionsLine_data()
    {
        QTest::addColumn<int>("section");
        QTest::addColumn<QByteArray>("key");
        QTest::newRow("second") << 1 << "Status=Good"_ba;
        QTest::newRow("third") << 2 << "Status=Good"_ba;
        QTest::newRow("duplicate name: the first of them") << 3 << "Status=Good"_ba;
        QTest::newRow("line edited away below the head") << 2 << "Only=Here"_ba;
    }
    void keyClickSelectsTheChosenSectionsLine()
    {
        QFETCH(int, section);
        QFETCH(QByteArray, key);
        QByteArray text;
        QList<qsizetype> lines;
        const QByteArray filler = "Comments=" + QByteArray(40, 'x') + "\r\n";
        for (const QByteArray &name : { "One"_ba, "Two"_ba, "Three"_ba, "Two"_ba }) {
            text += "[" + name + "]\r\n";
            for (int i = 0; i < 100; ++i)
                text += filler;
            lines << text.size();
            text += "Status=Good\r\n";
            if (name == "One")
                text += "Only=Here\r\n";
            text += "\r\n";
        }
        // The key list reads the file, where the third game also has
        // "Only=Here"; the text area holds the text without that line.
        QByteArray onDisk = text;
        onDisk.replace("[Three]", "[Three]\r\nOnly=Here");
        const QString file = path(u"three.ini"_s);
        writeFile(file, onDisk);
        frmINIEditor *form = open(file);
        text1(form)->setBytes(text);
        // The second "[Two]" lists the keys of the first, and finds its line.
        const qsizetype expected = key == "Only=Here" ? text.indexOf(key) : lines[section == 3 ? 1 : section];
        clickItem(form, "ListNames", section);
        const int row
            = static_cast<int>(items(form, "ListKey1").indexOf(codepage::decode(key.split('=')[0])));
        QVERIFY(row >= 0);
        clickItem(form, "ListKey1", row);
        QVERIFY(boxes().isEmpty());
        ByteTextEdit *edit = text1(form);
        QCOMPARE(edit->selectionStartOffset(), expected);
        QCOMPARE(edit->selectionLength(), key.size());
        QCOMPARE(QApplication::focusWidget(), child<QWidget>(form, "ListKey1"));
        const long line = edit->SendScintilla(
            QsciScintilla::SCI_LINEFROMPOSITION, static_cast<unsigned long>(edit->selectionStartOffset()));
        const long first = edit->SendScintilla(QsciScintilla::SCI_GETFIRSTVISIBLELINE);
        const long shown = edit->SendScintilla(QsciScintilla::SCI_LINESONSCREEN);
        QVERIFY2(line >= first && line < first + shown,
            qPrintable(u"line %1, visible %2..%3"_s.arg(line).arg(first).arg(first + shown - 1)));
        QCOMPARE(edit->SendScintilla(QsciScintilla::SCI_GETXOFFSET), 0L);
        // Find Next goes on in text order from there.
        if (section == 1) {
            clickButton(form, "cmdFindNext");
            QCOMPARE(edit->selectionStartOffset(), lines[2]);
        }
    }

    void readOnlyTargetIsReported()
    {
        const QString file = path(u"readonly.ini"_s);
        writeFile(file, "[A]\r\nk=1\r\n");
        QVERIFY(QFile::setPermissions(file, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
        frmINIEditor *form = open(file);
        text1(form)->setBytes("[A]\r\nk=2\r\n");
        clickButton(form, "cmdAdd");
        const QList<messagebox::Record> shown = boxes();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown[0].title, u"Ferox64 INI Editor"_s);
        QVERIFY2(shown[0].text.contains(QDir::toNativeSeparators(file)), qPrintable(shown[0].text));
        QVERIFY2(shown[0].text.contains(u"Permission denied"_s), qPrintable(shown[0].text));
        QCOMPARE(readFile(file), "[A]\r\nk=1\r\n"_ba);
        QCOMPARE(text1(form)->bytes(), QByteArrayView("[A]\r\nk=2\r\n"));
        // The remaining steps still ran.
        QCOMPARE(items(form, "ListNames"), QStringList { u"A"_s });
        QVERIFY(!(QFile::permissions(file) & (QFile::WriteOwner | QFile::WriteGroup | QFile::WriteOther)));
    }

    // A backup left beside the file by an interrupted update: the open says
    // where it is and what to do, and Update INI refuses to write over it.
    void leftoverBackupIsToldAndKept()
    {
        const QString file = path(u"torn.ini"_s);
        const QString backup = file + u".ferox-backup"_s;
        writeFile(file, "[A]\r\nk=1\r\n[B]\r\nk=");
        writeFile(backup, "[A]\r\nk=1\r\n[B]\r\nk=2\r\n");
        frmINIEditor *form = open(file);
        QList<messagebox::Record> shown = boxes();
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown[0].icon, messagebox::Icon::Warning);
        QVERIFY2(shown[0].text.contains(QDir::toNativeSeparators(backup)), qPrintable(shown[0].text));
        QVERIFY2(shown[0].text.contains(u"remove the copy"_s), qPrintable(shown[0].text));
        text1(form)->setBytes("[A]\r\nk=3\r\n");
        clickButton(form, "cmdAdd");
        shown = boxes();
        QCOMPARE(shown.size(), 1);
        QVERIFY2(shown[0].text.contains(QDir::toNativeSeparators(backup)), qPrintable(shown[0].text));
        QCOMPARE(readFile(file), "[A]\r\nk=1\r\n[B]\r\nk="_ba);
        QCOMPARE(readFile(backup), "[A]\r\nk=1\r\n[B]\r\nk=2\r\n"_ba);
        QVERIFY(QFile::remove(backup));
    }

    void closingAndReopeningStartsAfresh()
    {
        const QString file = path(u"again.ini"_s);
        writeFile(file, "[A]\r\nk=1\r\n");
        frmINIEditor *form = open(file);
        clickItem(form, "ListNames", 0);
        clickItem(form, "ListKey1", 0);
        clickButton(form, "Command2");
        QTRY_VERIFY(!showonce::instance<frmINIEditor>());
        form = open(std::nullopt);
        // The dialog forgot the last pick with the old window: a cancel loads nothing.
        QVERIFY(boxTexts().isEmpty());
        QVERIFY(form->LoadedPath.isEmpty());
        QVERIFY(child<QLineEdit>(form, "txtPath")->text().isEmpty());
        QVERIFY(text1(form)->bytes().isEmpty());
        QVERIFY(items(form, "ListKey1").isEmpty());
        QVERIFY(child<QLabel>(form, "lblEntries")->text().isEmpty());
        QVERIFY(!child<QPushButton>(form, "cmdFindNext")->isEnabled());
    }

    // Load then update gives back the file's bytes, whatever they are; a last
    // line without a line end gets one CR LF, once, however often it is saved.
    void byteExactRoundTrip_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("every byte value") << everyByteValue() + everyByteValue();
        QTest::newRow("mixed line ends") << "[A]\r\na=1\nb=2\rc=3\r\n\n\r\r\n[B]\n\r"_ba;
        QTest::newRow("nul bytes") << QByteArray("[A]\r\n\0k=\0\0v\r\n\0", 14);
        QTest::newRow("high bytes") << "[Caf\xE9]\r\nk=\x80\x81\x8D\x9F\xA0\xFF\r\n"_ba;
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("ends in CR LF") << "[A]\r\nk=1\r\n"_ba;
        QTest::newRow("ends in LF") << "[A]\nk=1\n"_ba;
        QTest::newRow("ends in CR") << "[A]\rk=1\r"_ba;
        QTest::newRow("ends in a blank line") << "[A]\r\nk=1\r\n\r\n"_ba;
    }
    void byteExactRoundTrip()
    {
        QFETCH(QByteArray, bytes);
        const QString file = path(u"roundtrip.ini"_s);
        writeFile(file, bytes);
        frmINIEditor *form = open(file);
        QCOMPARE(text1(form)->bytes(), QByteArrayView(bytes));
        const bool open = bytes.isEmpty() || (!bytes.endsWith('\n') && !bytes.endsWith('\r'));
        const QByteArray expected = open ? bytes + "\r\n" : bytes;
        clickButton(form, "cmdAdd");
        QCOMPARE(readFile(file), expected);
        clickButton(form, "cmdAdd");
        QCOMPARE(readFile(file), expected);
        QVERIFY(boxes().isEmpty());
    }
};

QTEST_MAIN(TestEditor)
#include "test_editor.moc"
