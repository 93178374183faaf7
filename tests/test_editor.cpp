#include "EditorWindowDriver.h"
#include "TestConfig.h"
#include "TestFiles.h"
#include "TestInput.h"

#include "ini/IniText.h"
#include "platform/AppFolder.h"
#include "platform/ClassicLook.h"
#include "platform/CodePage.h"
#include "platform/MessageBox.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace editordriver;

namespace {

const QString kCount = u"Total Number Of ROMS In The Ferox.ini File = "_s;

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
        QProcess gen;
        gen.start(QStringLiteral(FEROX_SYSTEM_PYTHON),
            { QStringLiteral(FEROX_SCRIPTS_DIR "/generate-ini"), size, out, u"--seed"_s,
                QString::number(seed) });
        if (!gen.waitForFinished(30000) || gen.exitCode() != 0)
            qFatal("generate-ini failed: %s", gen.readAllStandardError().constData());
        return out;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        classiclook::apply(*qApp);
        messagebox::setRecording(true);
        appfolder::overrideForTesting(m_dir.path());
    }

    void cleanup()
    {
        if (frmINIEditor *form = showonce::instance<frmINIEditor>())
            form->close();
        QTRY_VERIFY(!showonce::instance<frmINIEditor>());
        messagebox::takeRecorded();
        OpenFileDialog::takeShownCount();
    }

    void windowLayout()
    {
        frmINIEditor *form = open(std::nullopt);
        boxes();
        QCOMPARE(form->windowTitle(), u"Change Existing Ferox INI Entry..."_s);
        QCOMPARE(form->size(), QSize(647, 459));
        QCOMPARE(form->minimumSize(), form->maximumSize());
        QVERIFY(form->windowFlags() & Qt::WindowMinimizeButtonHint);
        QVERIFY(form->windowFlags() & Qt::WindowMaximizeButtonHint);
        QCOMPARE(child<QWidget>(form, "Text1")->geometry(), QRect(8, 64, 361, 89));
        QCOMPARE(child<QWidget>(form, "Text1")->parentWidget()->objectName(), u"Frame3"_s);
        QCOMPARE(child<QWidget>(form, "cmdFindNext")->parentWidget()->objectName(), u"Frame1"_s);
        QCOMPARE(child<QPushButton>(form, "cmdAdd")->text(), u"&Update INI"_s);
        QCOMPARE(child<QPushButton>(form, "Command2")->text(), u"&Close"_s);
        QVERIFY(!child<QPushButton>(form, "cmdFindNext")->isEnabled());
        // The two buttons the window only calls from code lie outside their frame.
        for (const char *hidden : { "Command1", "cmdFindFirst" }) {
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

        QTest::keyClick(form, Qt::Key_U, Qt::AltModifier);
        QTRY_COMPARE(readFile(file), "[A]\r\nk=v\r\n\r\n"_ba);
        QTest::keyClick(form, Qt::Key_C, Qt::AltModifier);
        QTRY_VERIFY(!showonce::instance<frmINIEditor>());
    }

    void opensGeneratedFile()
    {
        const QString file = generated(u"gen.ini"_s, u"40K"_s);
        const QByteArray bytes = readFile(file);
        frmINIEditor *form = open(file);
        QCOMPARE(OpenFileDialog::takeShownCount(), 1);
        QVERIFY(boxes().isEmpty());
        const QStringList names = decoded(ini::sectionNames(bytes));
        QVERIFY(names.size() > 50);
        QCOMPARE(items(form, "ListNames"), names);
        QCOMPARE(child<QLabel>(form, "Label2")->text(), kCount + QString::number(names.size()));
        QCOMPARE(child<QLineEdit>(form, "txtPath")->text(), file);
        QCOMPARE(text1(form)->bytes(), QByteArrayView(bytes));
        QCOMPARE(form->LoadedPath, file);
        QCOMPARE(QDir::currentPath(), QDir(m_dir.path()).canonicalPath());

        // A click on a name lists that section's keys and values.
        const int row = names.size() / 2;
        clickItem(form, "ListNames", row);
        const ini::Section section
            = ini::findSection(bytes, ini::headPattern(codepage::encode(names[row]).bytes));
        QStringList keys, values;
        for (const ini::Line &line : section.keyLines) {
            const ini::KeyValue kv = ini::splitKeyLine(ini::view(bytes, line));
            keys << codepage::decode(kv.key);
            values << codepage::decode(kv.value);
        }
        QCOMPARE(items(form, "ListKey1"), keys);
        QCOMPARE(items(form, "ListKey2"), values);
    }

    void oddHeadsAndCount()
    {
        const QString file = path(u"odd.ini"_s);
        writeFile(file, "[]\r\n[A] note\r\n [B]\r\n[A]\r\n[C\rx=1\n[D]\r\n");
        frmINIEditor *form = open(file);
        QCOMPARE(items(form, "ListNames"), (QStringList { u""_s, u"A] not"_s, u"A"_s, u""_s }));
        QCOMPARE(child<QLabel>(form, "Label2")->text(), kCount + u"4"_s);
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
        QCOMPARE(text1(form)->selectionLength(), value.size() + 2);
        QCOMPARE(text1(form)->bytes(), QByteArrayView(text));
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
        QCOMPARE(boxTexts(), QStringList { u"File Not Found"_s });
        QVERIFY(child<QLineEdit>(form, "txtPath")->text().isEmpty());
        QVERIFY(form->LoadedPath.isEmpty());
    }

    void cancelReloadsLastPick()
    {
        const QString a = path(u"a.ini"_s);
        const QString b = path(u"b.ini"_s);
        writeFile(a, "[A]\r\nk=1\r\n");
        writeFile(b, "[B]\r\n");
        frmINIEditor *form = open(a);
        typeText(text1(form), u"unsaved "_s);
        // A new pick, then a cancel: the cancel reloads the last pick from disk.
        OpenFileDialog::setNextAnswers({ b, std::nullopt });
        clickButton(form, "GetSettings");
        QCOMPARE(items(form, "ListNames"), QStringList { u"B"_s });
        text1(form)->setBytes("changed");
        clickButton(form, "GetSettings");
        QCOMPARE(child<QLineEdit>(form, "txtPath")->text(), b);
        QCOMPARE(text1(form)->bytes(), QByteArrayView("[B]\r\n"));
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

    // Find First selects the first occurrence, also in an earlier section;
    // Find Next walks on, then says "Not Found" and leaves the caret at s + 2.
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
        QCOMPARE(edit->selectionStartOffset(), qsizetype(5));
        QCOMPARE(edit->selectionLength(), qsizetype(3));
        QVERIFY(!edit->hasFocus());
        QCOMPARE(QApplication::focusWidget() == edit, focusBefore == edit);

        clickButton(form, "cmdFindNext");
        QCOMPARE(edit->selectionStartOffset(), qsizetype(17));
        QCOMPARE(edit->selectionLength(), qsizetype(3));
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
        QCOMPARE(readFile(file), "x=\x80\r\n"_ba + before + "\r\n");
        QVERIFY(items(form, "ListKey1").isEmpty());
        QCOMPARE(child<QLabel>(form, "Label2")->text(),
            kCount + QString::number(ini::sectionNames(before).size()));
        // Another update without reloading writes the same again: no growth.
        clickButton(form, "cmdAdd");
        QCOMPARE(readFile(file), "x=\x80\r\n"_ba + before + "\r\n");
        // After the update Find Next searches for "=" alone.
        clickButton(form, "cmdFindNext");
        QCOMPARE(child<QLabel>(form, "lblEntries")->text(), u"="_s);
    }

    void updateBeforeAnyLoad()
    {
        frmINIEditor *form = open(std::nullopt);
        boxes();
        const QString typed = path(u"typed-first.ini"_s);
        child<QLineEdit>(form, "txtPath")->setText(typed);
        clickButton(form, "cmdAdd");
        QVERIFY(QFile::exists(typed));
        QCOMPARE(readFile(typed), QByteArray());
        QCOMPARE(form->LoadedPath, typed);
        QVERIFY(boxes().isEmpty());
    }

    void typedPathTakesEffectOnTheSecondUpdate()
    {
        const QString a = path(u"first.ini"_s);
        const QString b = path(u"second.ini"_s);
        writeFile(a, "[A]\r\n");
        frmINIEditor *form = open(a);
        child<QLineEdit>(form, "txtPath")->setText(b);
        clickButton(form, "cmdAdd");
        QCOMPARE(readFile(a), "[A]\r\n\r\n"_ba);
        QCOMPARE(readFile(b), QByteArray());
        QCOMPARE(form->LoadedPath, b);
        clickButton(form, "cmdAdd");
        QCOMPARE(readFile(b), "[A]\r\n\r\n"_ba);
        QCOMPARE(readFile(a), "[A]\r\n\r\n"_ba);
        QCOMPARE(child<QLabel>(form, "Label2")->text(), kCount + u"1"_s);
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
        QCOMPARE(boxTexts(), QStringList { u"File Not Found"_s });
        QVERIFY(form->LoadedPath.isEmpty());
        QVERIFY(child<QLineEdit>(form, "txtPath")->text().isEmpty());
        QVERIFY(text1(form)->bytes().isEmpty());
        QVERIFY(items(form, "ListKey1").isEmpty());
        QVERIFY(child<QLabel>(form, "lblEntries")->text().isEmpty());
        QVERIFY(!child<QPushButton>(form, "cmdFindNext")->isEnabled());
    }

    // Load then update gives back the file's bytes, whatever they are, plus CR LF.
    void byteExactRoundTrip_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QByteArray all;
        for (int b = 0; b < 256; ++b)
            all.append(static_cast<char>(b));
        QTest::newRow("every byte value") << all + all;
        QTest::newRow("mixed line ends") << "[A]\r\na=1\nb=2\rc=3\r\n\n\r\r\n[B]\n\r"_ba;
        QTest::newRow("nul bytes") << QByteArray("[A]\r\n\0k=\0\0v\r\n\0", 14);
        QTest::newRow("high bytes") << "[Caf\xE9]\r\nk=\x80\x81\x8D\x9F\xA0\xFF\r\n"_ba;
        QTest::newRow("empty") << QByteArray();
    }
    void byteExactRoundTrip()
    {
        QFETCH(QByteArray, bytes);
        const QString file = path(u"roundtrip.ini"_s);
        writeFile(file, bytes);
        frmINIEditor *form = open(file);
        QCOMPARE(text1(form)->bytes(), QByteArrayView(bytes));
        clickButton(form, "cmdAdd");
        QCOMPARE(readFile(file), bytes + "\r\n");
        QVERIFY(boxes().isEmpty());
    }
};

QTEST_MAIN(TestEditor)
#include "test_editor.moc"
