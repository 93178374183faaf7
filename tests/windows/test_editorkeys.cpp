// The editor at the keyboard and at its choices: keys that must not type,
// the lists' first arrow and focus marks, what a new choice or file clears,
// duplicated games, the open and update paths, rows that stay level, and
// captions that fit any font.
#include "EditorWindowDriver.h"
#include "TestFiles.h"
#include "TestInput.h"
#include "TestWidgets.h"

#include "platform/AppFolder.h"
#include "platform/MessageBox.h"

#include <QApplication>
#include <QClipboard>
#include <QGroupBox>
#include <QProcess>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace editordriver;

namespace {

const QByteArray kGames = "[Dragon (I)]\r\nUCode=1\r\nAltTitle=Snow Monster\r\n\r\n"
                          "[Kart Racer (E)]\r\nUCode=2\r\nComments=Fast\r\n\r\n"
                          "[Dragon (I)]\r\nUCode=3\r\n";

QStringList boxTexts()
{
    QStringList out;
    for (const messagebox::Record &r : messagebox::takeRecorded())
        out << r.text;
    return out;
}

// Every letter, digit and punctuation key of a US keyboard, as the characters they type.
const QByteArray kKeys = "abcdefghijklmnopqrstuvwxyz0123456789`-=[]\\;',./";

} // namespace

class TestEditorKeys : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;
    QFont m_font; // the program's own, put back after each test

    QString path(const QString &name) const { return m_dir.filePath(name); }

    frmINIEditor *openGames() { return openOn(path(u"games.ini"_s), kGames); }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        prepareWindowTests();
        m_font = QApplication::font();
        appfolder::overrideForTesting(m_dir.path());
    }

    void cleanup()
    {
        closeEditor();
        QApplication::setFont(m_font);
    }

    // A key with Ctrl, Alt or Meta types nothing into any control; the
    // shortcuts that exist are passed over here and tried on their own.
    void chordsTypeNothing_data()
    {
        QTest::addColumn<QString>("target");
        QTest::addColumn<int>("modifiers");
        const QList<QPair<const char *, Qt::KeyboardModifiers>> chords
            = { { "ctrl", Qt::ControlModifier }, { "alt", Qt::AltModifier }, { "meta", Qt::MetaModifier },
                  { "ctrl+shift", Qt::ControlModifier | Qt::ShiftModifier },
                  { "alt+shift", Qt::AltModifier | Qt::ShiftModifier },
                  { "ctrl+alt", Qt::ControlModifier | Qt::AltModifier } };
        for (const char *target : { "Text1", "txtPath", "ListNames", "findField" }) {
            for (const auto &[name, modifiers] : chords)
                QTest::newRow(QByteArray(target).append(", ").append(name).constData())
                    << QString::fromLatin1(target) << int(modifiers);
        }
    }
    void chordsTypeNothing()
    {
        QFETCH(QString, target);
        QFETCH(int, modifiers);
        const auto held = Qt::KeyboardModifiers(modifiers);
        frmINIEditor *form = openGames();
        clickItem(form, "ListNames", 1);
        if (target == u"findField") {
            QTest::keyClick(form, Qt::Key_F, Qt::ControlModifier);
            typeText(child<QLineEdit>(form, "findField"), u"Kart"_s);
        }
        QWidget *control = child<QWidget>(form, target);
        control->setFocus();
        const auto fieldText = [&] {
            auto *field = qobject_cast<QLineEdit *>(control);
            return field ? field->text() : QString();
        };
        const QString fieldBefore = fieldText();
        const QByteArray textBefore = text1(form)->bytes().toByteArray();
        // What the window and the text area do with these keys is theirs.
        const QList<QKeyCombination> shortcuts = { Qt::CTRL | Qt::Key_S, Qt::CTRL | Qt::Key_O,
            Qt::CTRL | Qt::Key_F, Qt::CTRL | Qt::Key_V, Qt::CTRL | Qt::Key_X, Qt::CTRL | Qt::Key_Z,
            Qt::CTRL | Qt::Key_Y, Qt::CTRL | Qt::SHIFT | Qt::Key_Z, Qt::CTRL | Qt::SHIFT | Qt::Key_V,
            Qt::ALT | Qt::Key_U, Qt::ALT | Qt::Key_C, Qt::ALT | Qt::Key_O, Qt::ALT | Qt::Key_N };
        for (const char c : kKeys) {
            const QKeyCombination chord(held, Qt::Key(QChar::toUpper(uint(c))));
            if (shortcuts.contains(chord))
                continue;
            QTest::keyClick(control, c, held);
            QVERIFY2(text1(form)->bytes() == QByteArrayView(textBefore), qPrintable(QString(QChar(c))));
            QVERIFY2(fieldText() == fieldBefore, qPrintable(QString(QChar(c)) + u": "_s + fieldText()));
            QVERIFY2(selectedRow(form, "ListNames") == 1, qPrintable(QString(QChar(c))));
        }
        QVERIFY(showonce::instance<frmINIEditor>());
        QVERIFY(boxTexts().isEmpty());
        // Keys without a chord still type.
        if (target == u"txtPath" || target == u"Text1") {
            QTest::keyClick(control, 'q');
            QVERIFY(fieldText() != fieldBefore || text1(form)->bytes() != QByteArrayView(textBefore));
        }
    }

    // The text area's own editing keys still work, and its line commands
    // that no text field has (duplicate, swap, re-case a line) are gone.
    void textAreaKeepsItsEditingKeys()
    {
        frmINIEditor *form = openGames();
        ByteTextEdit *edit = text1(form);
        edit->setFocus();
        edit->selectBytes(0, 5);
        QTest::keyClick(edit, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QApplication::clipboard()->text(), u"[Drag"_s);
        for (const QKeyCombination chord : { Qt::CTRL | Qt::Key_D, Qt::CTRL | Qt::Key_T, Qt::CTRL | Qt::Key_U,
                 Qt::CTRL | Qt::SHIFT | Qt::Key_U, Qt::CTRL | Qt::Key_L, Qt::CTRL | Qt::SHIFT | Qt::Key_L })
            QTest::keyClick(edit, chord.key(), chord.keyboardModifiers());
        QCOMPARE(edit->bytes(), QByteArrayView(kGames));
        edit->placeCaret(0);
        QTest::keyClick(edit, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(edit->bytes(), QByteArrayView(QByteArray("[Drag" + kGames)));
        QTest::keyClick(edit, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(edit->bytes(), QByteArrayView(kGames));
        QTest::keyClick(edit, Qt::Key_Y, Qt::ControlModifier);
        QCOMPARE(edit->bytes(), QByteArrayView(QByteArray("[Drag" + kGames)));
        QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
        QCOMPARE(edit->selectionLength(), edit->bytes().size());
    }

    // Cancel at the question about unsaved edits, after a path was typed and
    // Enter pressed, puts the loaded file's path back: the lists and the
    // next update go on with the file the text belongs to.
    void cancelledSwitchPutsThePathBack()
    {
        frmINIEditor *form = openGames();
        const QString games = path(u"games.ini"_s);
        const QString other = writeFile(m_dir, u"other.ini"_s, "[Other]\r\nk=9\r\n");
        text1(form)->placeCaret(text1(form)->bytes().size());
        typeText(text1(form), u"x=1"_s);
        auto *txtPath = child<QLineEdit>(form, "txtPath");
        txtPath->setText(other);
        messagebox::setNextAnswers({ messagebox::Answer::Cancel });
        QTest::keyClick(txtPath, Qt::Key_Return);
        QCOMPARE(messagebox::takeRecorded().size(), 1);
        QCOMPARE(txtPath->text(), games);
        QCOMPARE(form->LoadedPath, games);
        clickItem(form, "ListNames", 1);
        QCOMPARE(items(form, "ListKey1"), (QStringList { u"UCode"_s, u"Comments"_s }));
        clickButton(form, "cmdAdd");
        QCOMPARE(readFile(games), kGames + "x=1\r\n");
        QCOMPARE(readFile(other), "[Other]\r\nk=9\r\n"_ba);
        QCOMPARE(form->LoadedPath, games);
    }

    // Choosing another game or opening another file clears the key lists,
    // the search captions and Find Next, which belonged to the old choice.
    void newChoiceClearsTheOldOne_data()
    {
        QTest::addColumn<QString>("route");
        QTest::newRow("another game") << u"game"_s;
        QTest::newRow("another file") << u"file"_s;
        QTest::newRow("typed path, Update INI") << u"update"_s;
    }
    void newChoiceClearsTheOldOne()
    {
        QFETCH(QString, route);
        frmINIEditor *form = openGames();
        clickItem(form, "ListNames", 0);
        clickItem(form, "ListKey1", 1);
        QCOMPARE(child<QLabel>(form, "lblFindNext")->text(), u"Find AltTitle=Snow Monster"_s);
        QVERIFY(child<QPushButton>(form, "cmdFindNext")->isEnabled());
        const QString other = writeFile(m_dir, u"next.ini"_s, "[Next]\r\nk=1\r\n");
        if (route == u"game") {
            clickItem(form, "ListNames", 1);
            QCOMPARE(items(form, "ListKey1"), (QStringList { u"UCode"_s, u"Comments"_s }));
        } else if (route == u"file") {
            OpenFileDialog::setNextAnswers({ other });
            clickButton(form, "GetSettings");
            QCOMPARE(items(form, "ListNames"), QStringList { u"Next"_s });
            QVERIFY(items(form, "ListKey1").isEmpty());
            QVERIFY(items(form, "ListKey2").isEmpty());
        } else {
            child<QLineEdit>(form, "txtPath")->setText(other);
            clickButton(form, "cmdAdd");
            QCOMPARE(form->LoadedPath, other);
        }
        QVERIFY(child<QLabel>(form, "lblEntries")->text().isEmpty());
        QVERIFY(child<QLabel>(form, "lblFindNext")->text().isEmpty());
        QVERIFY(!child<QPushButton>(form, "cmdFindNext")->isEnabled());
        // F3 has nothing to find again.
        const qsizetype selected = text1(form)->selectionStartOffset();
        QTest::keyClick(child<QWidget>(form, "ListNames"), Qt::Key_F3);
        QCOMPARE(text1(form)->selectionStartOffset(), selected);
        QVERIFY(boxTexts().isEmpty());
    }

    // Later sections of a name that stands earlier are marked, and choosing
    // one says whose keys are shown; the count and the lookups are unchanged.
    void duplicatesAreMarked()
    {
        frmINIEditor *form = openGames();
        QCOMPARE(items(form, "ListNames"),
            (QStringList { u"Dragon (I)"_s, u"Kart Racer (E)"_s, u"Dragon (I) (duplicate, not read)"_s }));
        const QString count = u"Total Number Of ROMS In The Ferox.ini File = 3"_s;
        QCOMPARE(child<QLabel>(form, "Label2")->text(), count);
        clickItem(form, "ListNames", 2);
        QCOMPARE(items(form, "ListKey2"), (QStringList { u"1"_s, u"Snow Monster"_s }));
        const QString said = child<QLabel>(form, "Label2")->text();
        QVERIFY2(said.startsWith(count) && said.contains(u"duplicate"_s), qPrintable(said));
        clickItem(form, "ListNames", 0);
        QCOMPARE(child<QLabel>(form, "Label2")->text(), count);
    }

    // The first Down in a list that has nothing chosen chooses its first
    // item; Shift+F3 in a list steps back through the key line's occurrences.
    void listsAtTheKeyboard()
    {
        const QString file = path(u"twice.ini"_s);
        writeFile(file, "[A]\r\nk=1\r\nj=2\r\n\r\n[B]\r\nk=1\r\n\r\n[C]\r\nk=1\r\n");
        frmINIEditor *form = frmINIEditor::showOn(file);
        QApplication::setActiveWindow(form);
        auto *names = child<QListView>(form, "ListNames");
        names->setFocus(Qt::TabFocusReason);
        QCOMPARE(selectedRow(form, "ListNames"), -1);
        QTest::keyClick(names, Qt::Key_Down);
        QCOMPARE(selectedRow(form, "ListNames"), 0);
        QTest::keyClick(names, Qt::Key_Down);
        QCOMPARE(selectedRow(form, "ListNames"), 1);
        auto *keys = child<QListView>(form, "ListKey1");
        keys->setFocus(Qt::TabFocusReason);
        QTest::keyClick(keys, Qt::Key_Down);
        QCOMPARE(selectedRow(form, "ListKey1"), 0);
        const qsizetype inB = readFile(file).indexOf("[B]") + 5;
        QCOMPARE(text1(form)->selectionStartOffset(), inB);
        QTest::keyClick(keys, Qt::Key_F3);
        QCOMPARE(text1(form)->selectionStartOffset(), readFile(file).lastIndexOf("k=1"));
        QTest::keyClick(keys, Qt::Key_F3, Qt::ShiftModifier);
        QCOMPARE(text1(form)->selectionStartOffset(), inB);
        QTest::keyClick(keys, Qt::Key_F3, Qt::ShiftModifier);
        QCOMPARE(text1(form)->selectionStartOffset(), qsizetype(5));
        QCOMPARE(text1(form)->selectionLength(), qsizetype(3));
        QTest::keyClick(keys, Qt::Key_F3, Qt::ShiftModifier);
        QCOMPARE(boxTexts(), QStringList { u"Not Found"_s });
        QCOMPARE(text1(form)->selectionStartOffset(), qsizetype(5));
    }

    // Every control the focus can reach shows that it has it, from the
    // first moment; Open File and Find Next have access keys.
    void focusIsSeenAndAccessKeys()
    {
        frmINIEditor *form = openGames();
        QVERIFY(QTest::qWaitForWindowActive(form));
        clickItem(form, "ListNames", 0);
        clickItem(form, "ListKey1", 0);
        text1(form)->SendScintilla(QsciScintillaBase::SCI_SETCARETPERIOD, 0UL);
        const auto around = [form](QWidget *w) {
            QCoreApplication::processEvents();
            const QRect r(w->mapTo(form, QPoint(0, 0)), w->size());
            return form->grab(r.adjusted(-3, -3, 3, 3)).toImage();
        };
        auto *parking = child<QWidget>(form, "txtPath");
        for (const char *name :
            { "cmdAdd", "Command2", "cmdFindNext", "ListNames", "ListKey1", "ListKey2", "GetSettings" }) {
            QWidget *control = child<QWidget>(form, name);
            parking->setFocus(Qt::OtherFocusReason);
            const QImage without = around(control);
            control->setFocus(Qt::OtherFocusReason);
            QVERIFY2(around(control) != without, name);
        }
        clickItem(form, "ListNames", 1);
        clickItem(form, "ListKey1", 0);
        QTest::keyClick(form, Qt::Key_N, Qt::AltModifier);
        // An access key reaches its button a moment later.
        QStringList shown;
        QTRY_VERIFY(!(shown += boxTexts()).isEmpty());
        QCOMPARE(shown, QStringList { u"Not Found"_s });

        // An empty list shows its focus too.
        OpenFileDialog::setNextAnswers({ writeFile(m_dir, u"none.ini"_s, "[N]\r\n") });
        QTest::keyClick(form, Qt::Key_O, Qt::AltModifier);
        QTRY_COMPARE(items(form, "ListNames"), QStringList { u"N"_s });
        auto *values = child<QWidget>(form, "ListKey2");
        parking->setFocus(Qt::OtherFocusReason);
        const QImage without = around(values);
        values->setFocus(Qt::OtherFocusReason);
        QVERIFY(around(values) != without);
    }

    // Cancel in the open dialog changes nothing, at the first use too; Update
    // INI refuses a folder as Enter does, and asks before creating a file.
    void openAndUpdateWithoutSurprises_data()
    {
        QTest::addColumn<QString>("route");
        QTest::newRow("first dialog cancelled") << u"first cancel"_s;
        QTest::newRow("later dialog cancelled") << u"later cancel"_s;
        QTest::newRow("update to a folder") << u"folder"_s;
        QTest::newRow("update to a missing file, cancel") << u"missing cancel"_s;
        QTest::newRow("update to a missing file, create") << u"missing create"_s;
    }
    void openAndUpdateWithoutSurprises()
    {
        QFETCH(QString, route);
        if (route == u"first cancel") {
            frmINIEditor *form = open(std::nullopt);
            QVERIFY(boxTexts().isEmpty());
            QVERIFY(child<QLineEdit>(form, "txtPath")->text().isEmpty());
            QVERIFY(form->LoadedPath.isEmpty());
            return;
        }
        frmINIEditor *form = openGames();
        const QString games = path(u"games.ini"_s);
        clickItem(form, "ListNames", 1);
        typeText(text1(form), u"x"_s);
        const QByteArray edited = text1(form)->bytes().toByteArray();
        auto *txtPath = child<QLineEdit>(form, "txtPath");
        const QString missing = path(u"typo.ini"_s);
        if (route == u"later cancel") {
            OpenFileDialog::setNextAnswers({ std::nullopt });
            clickButton(form, "GetSettings");
        } else if (route == u"folder") {
            txtPath->setText(m_dir.path());
            clickButton(form, "cmdAdd");
            const QStringList shown = boxTexts();
            QCOMPARE(shown.size(), 1);
            QVERIFY2(shown[0].startsWith(u"Could not open"_s), qPrintable(shown[0]));
            QCOMPARE(readFile(games), kGames);
            QCOMPARE(form->LoadedPath, games);
            // The same refusal as Enter in the path field gives.
            QTest::keyClick(txtPath, Qt::Key_Return);
            QCOMPARE(boxTexts(), shown);
            QCOMPARE(text1(form)->bytes(), QByteArrayView(edited));
            return;
        } else {
            QFile::remove(missing);
            txtPath->setText(missing);
            const bool create = route == u"missing create";
            messagebox::setNextAnswers({ create ? messagebox::Answer::Create : messagebox::Answer::Cancel });
            clickButton(form, "cmdAdd");
            const QList<messagebox::Record> asked = messagebox::takeRecorded();
            QCOMPARE(asked.size(), 1);
            QVERIFY2(asked[0].text.contains(u"does not exist"_s), qPrintable(asked[0].text));
            QCOMPARE(asked[0].answers,
                (QList<messagebox::Answer> { messagebox::Answer::Create, messagebox::Answer::Cancel }));
            QCOMPARE(QFile::exists(missing), create);
            if (create) {
                QCOMPARE(readFile(games), edited);
                QCOMPARE(form->LoadedPath, missing);
                return;
            }
        }
        QCOMPARE(readFile(games), kGames);
        QCOMPARE(text1(form)->bytes(), QByteArrayView(edited));
        QCOMPARE(form->LoadedPath, games);
        QCOMPARE(selectedRow(form, "ListNames"), 1);
        QVERIFY(boxTexts().isEmpty());
    }

    // Scrolled to the end, the key and value lists show the same rows
    // however long the values; at twice the scale, too (a child run).
    void keysAndValuesStayLevel_data()
    {
        QTest::addColumn<QByteArray>("scale");
        QTest::newRow("1x") << QByteArray();
        QTest::newRow("2x") << "2"_ba;
    }
    void keysAndValuesStayLevel()
    {
        QFETCH(QByteArray, scale);
        if (!scale.isEmpty() && qgetenv("QT_SCALE_FACTOR") != scale) {
            QProcess child;
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert(u"QT_SCALE_FACTOR"_s, QString::fromLatin1(scale));
            child.setProcessEnvironment(env);
            child.setProcessChannelMode(QProcess::MergedChannels);
            child.start(QCoreApplication::applicationFilePath(), { u"keysAndValuesStayLevel:1x"_s });
            QVERIFY(child.waitForFinished(120000));
            QVERIFY2(child.exitCode() == 0, child.readAll().constData());
            return;
        }
        QByteArray file = "[Many]\r\n";
        for (int i = 0; i < 60; ++i)
            file += "key" + QByteArray::number(i) + "=" + QByteArray(i % 7 == 3 ? 300 : 4, 'v') + "\r\n";
        frmINIEditor *form = frmINIEditor::showOn(writeFile(m_dir, u"wide.ini"_s, file));
        clickItem(form, "ListNames", 0);
        auto *keys = child<QListView>(form, "ListKey1");
        auto *values = child<QListView>(form, "ListKey2");
        QTRY_VERIFY(values->verticalScrollBar()->maximum() > 0);
        QVERIFY(!values->horizontalScrollBar()->isVisible());
        QCOMPARE(values->viewport()->height(), keys->viewport()->height());
        const auto lastShown = [](QListView *list) {
            for (int y = list->viewport()->height() - 1; y >= 0; --y) {
                const QModelIndex index = list->indexAt(QPoint(2, y));
                if (index.isValid())
                    return index.row();
            }
            return -1;
        };
        for (QListView *scrolled : { values, keys }) {
            scrolled->verticalScrollBar()->setValue(scrolled->verticalScrollBar()->maximum());
            QCoreApplication::processEvents();
            QCOMPARE(keys->indexAt(QPoint(2, 2)).row(), values->indexAt(QPoint(2, 2)).row());
            QCOMPARE(lastShown(keys), 59);
            QCOMPARE(lastShown(values), 59);
        }
        // A long value ends where the list does; its tooltip reads it whole.
        const QModelIndex longValue = values->model()->index(3, 0);
        QTRY_VERIFY(values->visualRect(longValue).right() < values->viewport()->width());
    }

    // A larger font grows the window and its controls so that every caption
    // fits; today's font keeps today's size. A font arriving later refits.
    void captionsFitAnyFont_data()
    {
        QTest::addColumn<double>("points");
        QTest::addColumn<bool>("later");
        QTest::newRow("today's font") << 0.0 << false;
        QTest::newRow("12 pt") << 12.0 << false;
        QTest::newRow("16 pt, arriving after start-up") << 16.0 << true;
    }
    void captionsFitAnyFont()
    {
        QFETCH(double, points);
        QFETCH(bool, later);
        const QFont today = QApplication::font();
        QFont big = today;
        if (points > 0)
            big.setPointSizeF(points);
        if (!later)
            QApplication::setFont(big);
        frmINIEditor *form = openGames();
        if (later) {
            QCOMPARE(form->size(), QSize(647, 459));
            QApplication::setFont(big);
            QTRY_VERIFY(form->width() > 647);
        }
        const QSize size = form->size();
        QApplication::setFont(today);
        if (points == 0) {
            QCOMPARE(size, QSize(647, 459));
            return;
        }
        QApplication::setFont(big);
        QTRY_COMPARE(form->size(), size);
        QVERIFY(size.width() > 647 && size.height() >= 459);
        QCOMPARE(form->minimumSize(), size);
        for (QWidget *control : form->findChildren<QWidget *>()) {
            QString caption;
            if (auto *button = qobject_cast<QPushButton *>(control))
                caption = button->text().remove(u'&');
            else if (auto *frame = qobject_cast<QGroupBox *>(control))
                caption = frame->title();
            else if (control->objectName() == u"Label1" || control->objectName() == u"Label2")
                caption = qobject_cast<QLabel *>(control)->text();
            // The two buttons the window only calls from code lie outside their frame.
            if (caption.isEmpty() || !control->isVisible() || control->focusPolicy() == Qt::NoFocus)
                continue;
            // Not clipped: the whole caption and a line's height inside the control.
            const QFontMetrics metrics(control->font());
            QVERIFY2(metrics.horizontalAdvance(caption) <= control->width()
                    && metrics.height() <= control->height(),
                qPrintable(control->objectName()));
            const QRect inParent = control->parentWidget()->rect();
            QVERIFY2(inParent.contains(control->geometry()), qPrintable(control->objectName()));
        }
        QApplication::setFont(today);
    }
};

QTEST_MAIN(TestEditorKeys)
#include "test_editorkeys.moc"
