#include "IniData.h"
#include "TestFiles.h"
#include "TestInput.h"
#include "TestWidgets.h"
#include "WindowLayout.h"
#include "app/Form1.h"
#include "core/Version.h"
#include "editor/frmINIEditor.h"
#include "forms/frmAbout.h"
#include "forms/frmDemo.h"
#include "ini/FixedPath.h"
#include "ini/GameEntry.h"
#include "platform/AppFolder.h"
#include "platform/ClassicLook.h"
#include "platform/MessageBox.h"
#include "platform/OpenFileDialog.h"
#include "platform/ShowOnce.h"

#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

const QStringList fieldNames = { "Text1", "Text2", "Text3", "Text4", "Text5" };
const QStringList prompts = { "Enter Name As Shown In Ferox64", "Enter Alternative Game Name",
    "Enter Comments", "Enter UCode 0-6", "Enter Your Name For Credibility" };

template <class Form> int openCount()
{
    int count = 0;
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (qobject_cast<Form *>(widget) && widget->isVisible())
            ++count;
    }
    return count;
}

// Types into a field the way a user does after giving it the focus: the key
// events replace whatever is selected.
void typeInto(QLineEdit *field, const QString &text)
{
    field->setFocus(Qt::OtherFocusReason);
    typeText(field, text);
}

} // namespace

class TestForm1 : public QObject {
    Q_OBJECT

    QTemporaryDir folder;
    Form1 *form = nullptr;

    QLineEdit *field(const QString &name) { return child<QLineEdit>(form, name); }
    QPushButton *button(const QString &name) { return child<QPushButton>(form, name); }

    QStringList fieldTexts()
    {
        QStringList texts;
        for (const QString &name : fieldNames)
            texts << field(name)->text();
        return texts;
    }

    void fillIn(const QStringList &texts)
    {
        for (int i = 0; i < 5; ++i) {
            field(fieldNames[i])->selectAll();
            typeInto(field(fieldNames[i]), texts[i]);
        }
    }

private Q_SLOTS:
    void initTestCase()
    {
        prepareWindowTests();
        QApplication::setQuitOnLastWindowClosed(false);
        QVERIFY(folder.isValid());
    }

    void init()
    {
        appfolder::overrideForTesting(folder.path());
        QFile::remove(ini::fixedPath());
        form = showonce::show<Form1>();
        QVERIFY(form);
        QVERIFY(QTest::qWaitForWindowActive(form));
    }

    void cleanup()
    {
        for (QWidget *widget : QApplication::topLevelWidgets())
            widget->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!showonce::instance<Form1>());
        messagebox::takeRecorded();
        OpenFileDialog::setNextAnswers({});
        appfolder::overrideForTesting({});
    }

    void controls_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("caption");
        QTest::newRow("Label1") << "Label1"
                                << "A basic INI editor / updater for Ferox64 which should make it easier to "
                                   "update and make changes to the Ferox.ini file.";
        for (int i = 0; i < 5; ++i)
            QTest::newRow(qPrintable(fieldNames[i])) << fieldNames[i] << prompts[i];
        QTest::newRow("Command1") << "Command1"
                                  << "A&dd Entry";
        QTest::newRow("Command2") << "Command2"
                                  << "&Edit Entry";
        QTest::newRow("Command3") << "Command3"
                                  << "&Close";
        QTest::newRow("Command4") << "Command4"
                                  << "&About";
        QTest::newRow("cmdMail") << "cmdMail"
                                 << "Send &Mail...";
    }
    void controls()
    {
        QFETCH(QString, name);
        QFETCH(QString, caption);
        QWidget *control = form->findChild<QWidget *>(name);
        QVERIFY(control);
        QVERIFY(control->isVisible());
        QCOMPARE(control->property("text").toString(), caption);
    }

    void window()
    {
        QCOMPARE(form->windowTitle(),
            QStringLiteral("Ferox64 INI Editor v%1").arg(QLatin1StringView(buildinfo::kVersion)));
        QCOMPARE(form->minimumSize(), form->maximumSize());
        // Every control shows whole, inside the window and on no other; every
        // caption fits.
        const QStringList faults = windowlayout::faults(form);
        QVERIFY2(faults.isEmpty(), qPrintable(faults.join(u'\n')));
        QVERIFY(!(form->windowFlags() & Qt::WindowMinimizeButtonHint));
        QVERIFY(!(form->windowFlags() & Qt::WindowMaximizeButtonHint));
        QVERIFY(form->windowFlags() & Qt::WindowCloseButtonHint);
        const QRect screen = form->screen()->availableGeometry();
        // Centred before the frame is known: within the frame's width.
        QVERIFY(qAbs(form->frameGeometry().center().x() - screen.center().x()) <= 8);
        QVERIFY(qAbs(form->frameGeometry().center().y() - screen.center().y()) <= 8);
    }

    void launchStateSelectsPromptsAndFocusesAddEntry()
    {
        QCOMPARE(QApplication::focusWidget(), button("Command1"));
        for (int i = 0; i < 5; ++i) {
            QLineEdit *edit = field(fieldNames[i]);
            QCOMPARE(edit->text(), prompts[i]);
            QCOMPARE(edit->selectionStart(), 0);
            QCOMPARE(edit->selectedText(), prompts[i]);
        }
        // Typing into a field whose selection is untouched replaces the prompt.
        typeInto(field("Text3"), "Works");
        QCOMPARE(field("Text3")->text(), QStringLiteral("Works"));
    }

    void tabOrder()
    {
        const QStringList order = { "Command2", "Command3", "Command4", "Text1", "Text2", "Text3", "Text4",
            "Text5", "cmdMail", "Command1" };
        QCOMPARE(QApplication::focusWidget(), button("Command1"));
        for (const QString &next : order) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget()->objectName(), next);
        }
    }

    // A field that still holds its prompt counts as empty: an untouched game
    // name is refused as an empty one, untouched values are written empty.
    void promptsAreNoData_data()
    {
        QTest::addColumn<QStringList>("typed"); // by field; empty: the prompt stays
        QTest::addColumn<QByteArray>("written"); // empty: refused
        QTest::newRow("all prompts") << QStringList { "", "", "", "", "" } << QByteArray();
        QTest::newRow("name typed only") << QStringList { "Comet Rally (E)", "", "", "", "" }
                                         << QByteArray("[Comet Rally (E)]\r\n//=\r\nAltTitle=\r\n"
                                                       "Comments=\r\nUCode=\r\n");
        QTest::newRow("name and ucode") << QStringList { "Comet", "", "", "2", "Tess" }
                                        << QByteArray("[Comet]\r\n//=Tess\r\nAltTitle=\r\n"
                                                      "Comments=\r\nUCode=2\r\n");
    }
    void promptsAreNoData()
    {
        QFETCH(QStringList, typed);
        QFETCH(QByteArray, written);
        for (int i = 0; i < 5; ++i) {
            if (!typed[i].isEmpty())
                typeInto(field(fieldNames[i]), typed[i]);
        }
        const QStringList shown = fieldTexts();
        QTest::mouseClick(button("Command1"), Qt::LeftButton);
        const QList<messagebox::Record> boxes = messagebox::takeRecorded();
        if (written.isEmpty()) {
            QCOMPARE(boxes.size(), 1);
            QVERIFY2(boxes[0].text.contains("game name is empty"), qPrintable(boxes[0].text));
            QVERIFY(!QFile::exists(ini::fixedPath()));
            QCOMPARE(fieldTexts(), shown);
            return;
        }
        QVERIFY(boxes.isEmpty());
        QCOMPARE(readFile(ini::fixedPath()), written);
        QCOMPARE(fieldTexts(), prompts);
        for (const QString &name : fieldNames)
            QCOMPARE(field(name)->selectedText(), field(name)->text());
    }

    void sameGameTwiceKeepsOneSection()
    {
        fillIn({ " Kart 64 (U) [!] ", "Kart", "Slow = sometimes", "9", "Ada" });
        QTest::mouseClick(button("Command1"), Qt::LeftButton);
        QCOMPARE(fieldTexts(), prompts);
        fillIn({ " Kart 64 (U) [!] ", "Kart Two", "Fine", "x", "Bo" });
        QTest::mouseClick(button("Command1"), Qt::LeftButton);
        QCOMPARE(readFile(ini::fixedPath()),
            QByteArray("[ Kart 64 (U) [!] ]\r\n"
                       "//=Bo\r\n"
                       "AltTitle=Kart Two\r\n"
                       "Comments=Fine\r\n"
                       "UCode=x\r\n"));
        QVERIFY(messagebox::takeRecorded().isEmpty());
        QCOMPARE(field("Text1")->selectedText(), prompts[0]);
    }

    void codePageTextIsWrittenAsItsBytes()
    {
        fillIn({ "Caf\u00e9 \u20ac", "A", "B", "1", "C" });
        QTest::mouseClick(button("Command1"), Qt::LeftButton);
        QVERIFY(readFile(ini::fixedPath()).startsWith("[Caf\xe9 \x80]\r\n//=C\r\n"));
    }

    // A field takes a long pasted text whole, and add entry writes all of it
    // (a line edit cuts at 32,767 characters unless told otherwise).
    void longPastedTextIsWrittenWhole()
    {
        const QString name = QString(40000, u'N') + u'!';
        const QString comments = QString(100000, u'c') + u'.';
        QApplication::clipboard()->setText(name);
        field("Text1")->setFocus(Qt::OtherFocusReason);
        field("Text1")->selectAll();
        QTest::keyClick(field("Text1"), Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(field("Text1")->text(), name);
        field("Text3")->setText(comments);
        QCOMPARE(field("Text3")->text(), comments);
        QTest::mouseClick(button("Command1"), Qt::LeftButton);
        QVERIFY(messagebox::takeRecorded().isEmpty());
        const QByteArray written = readFile(ini::fixedPath());
        QVERIFY(written.startsWith(QByteArray("[" + name.toLatin1() + "]\r\n//=")));
        QVERIFY(written.contains(QByteArray("\r\nComments=" + comments.toLatin1() + "\r\nUCode=")));
    }

    void writeFailureKeepsFieldsAndSaysWhy_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("folder is a file") << "under-file";
        QTest::newRow("missing folder") << "missing";
        QTest::newRow("read-only file") << "read-only";
    }
    void writeFailureKeepsFieldsAndSaysWhy()
    {
        QFETCH(QString, kind);
        QByteArray before;
        if (kind == u"under-file") {
            writeFile(folder.filePath("plain"), {});
            appfolder::overrideForTesting(folder.filePath("plain"));
        } else if (kind == u"missing") {
            appfolder::overrideForTesting(folder.filePath("no/such"));
        } else {
            before = "[Other]\r\nk=1\r\n";
            writeFile(ini::fixedPath(), before);
            QVERIFY(QFile::setPermissions(ini::fixedPath(), QFileDevice::ReadOwner | QFileDevice::ReadOther));
        }
        const QStringList typed = { "Game", "Alt", "Note", "3", "Me" };
        fillIn(typed);
        QTest::mouseClick(button("Command1"), Qt::LeftButton);
        const QList<messagebox::Record> boxes = messagebox::takeRecorded();
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes[0].title, QStringLiteral("Ferox64 INI Editor"));
        QVERIFY2(boxes[0].text.contains(ini::fixedPath()), qPrintable(boxes[0].text));
        QVERIFY2(boxes[0].text.contains(kind == u"read-only" ? "Permission denied" : "("),
            qPrintable(boxes[0].text));
        QCOMPARE(fieldTexts(), typed);
        if (kind == u"read-only") {
            QCOMPARE(readFile(ini::fixedPath()), before);
            QFile::setPermissions(ini::fixedPath(), QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        } else {
            QVERIFY(!QFile::exists(ini::fixedPath()));
        }
    }

    // Another program holds Ferox.ini (a hung or stopped instance): Add Entry
    // waits a few seconds, with the window painting and answering meanwhile,
    // then says that nothing was written and keeps the fields. A close asked
    // for meanwhile ends the wait at once, and the window closes once told.
    void heldFileIsWaitedForBriefly_data()
    {
        QTest::addColumn<bool>("closeMeanwhile");
        QTest::newRow("wait ends") << false;
        QTest::newRow("closed meanwhile") << true;
    }
    void heldFileIsWaitedForBriefly()
    {
        QFETCH(bool, closeMeanwhile);
        const QByteArray before = "[Other]\r\nk=1\r\n";
        writeFile(ini::fixedPath(), before);
        const int holder = ::open(QFile::encodeName(ini::fixedPath()).constData(), O_RDWR | O_CLOEXEC);
        QVERIFY(holder >= 0);
        QCOMPARE(::flock(holder, LOCK_EX), 0);
        const QStringList typed = { "Game", "Alt", "Note", "3", "Me" };
        fillIn(typed);
        int ticks = 0;
        QTimer ticker;
        connect(&ticker, &QTimer::timeout, this, [&] { ++ticks; });
        ticker.start(50);
        const QPointer<Form1> window = form;
        if (closeMeanwhile)
            QTimer::singleShot(300, form, [this] { form->close(); });
        QElapsedTimer clock;
        clock.start();
        QTest::mouseClick(button("Command1"), Qt::LeftButton);
        const qint64 waited = clock.elapsed();
        ::close(holder);
        QVERIFY2(ticks >= (closeMeanwhile ? 3 : 20), qPrintable(QString::number(ticks)));
        if (closeMeanwhile)
            QVERIFY2(waited < 2000, qPrintable(QString::number(waited)));
        else
            QVERIFY2(waited >= 4000 && waited < 20000, qPrintable(QString::number(waited)));
        const QList<messagebox::Record> boxes = messagebox::takeRecorded();
        QCOMPARE(boxes.size(), 1);
        QVERIFY2(boxes[0].text.contains("another program is writing")
                && boxes[0].text.contains("Nothing was written"),
            qPrintable(boxes[0].text));
        QCOMPARE(readFile(ini::fixedPath()), before);
        QCOMPARE(fieldTexts(), typed);
        if (closeMeanwhile)
            QTRY_VERIFY(!window || !window->isVisible());
        else
            QVERIFY(form->isVisible());
    }

    void badInputIsRefusedBeforeAnyWrite_data()
    {
        QTest::addColumn<QString>("fieldName");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("named"); // what the message must name
        QTest::newRow("LF in the game name") << "Text1"
                                             << "Game\n[Other]"
                                             << "line break";
        QTest::newRow("CR in the comments") << "Text3"
                                            << "one\rtwo"
                                            << "line break";
        QTest::newRow("NUL in the UCode") << "Text4" << QString("1") + QChar(0) << "NUL";
        QTest::newRow("character beyond the code page") << "Text2"
                                                        << "\u65e5\u672c"
                                                        << "\"\u65e5\" (U+65E5)";
        QTest::newRow("text longer than a field may hold")
            << "Text3" << QString(gameentry::kMaxFieldLength + 10, u'c') << "more than 1,048,576 characters";
        QTest::newRow("empty game name") << "Text1"
                                         << ""
                                         << "empty";
    }
    void badInputIsRefusedBeforeAnyWrite()
    {
        QFETCH(QString, fieldName);
        QFETCH(QString, text);
        QFETCH(QString, named);
        const QByteArray before = "[Game]\r\nk=1\r\n";
        writeFile(ini::fixedPath(), before);
        field("Text1")->setText("Game");

        if (text.contains(QChar(0)) || text.contains(u'\r') || text.contains(u'\n') || text.isEmpty()
            || text.size() > 1000)
            field(fieldName)->setText(text); // what a paste or another program could leave there
        else
            typeInto(field(fieldName), text);
        const QStringList typed = fieldTexts();
        QTest::mouseClick(button("Command1"), Qt::LeftButton);
        const QList<messagebox::Record> boxes = messagebox::takeRecorded();
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes[0].title, QStringLiteral("Ferox64 INI Editor"));
        QVERIFY2(boxes[0].text.contains(named), qPrintable(boxes[0].text));
        QCOMPARE(readFile(ini::fixedPath()), before);
        QCOMPARE(fieldTexts(), typed);
    }

    // A key with Ctrl, Alt or Meta types nothing into a field; the window's
    // access keys and Ctrl+M are passed over here.
    void chordsTypeNothing_data()
    {
        QTest::addColumn<int>("modifiers");
        QTest::newRow("ctrl") << int(Qt::ControlModifier);
        QTest::newRow("alt") << int(Qt::AltModifier);
        QTest::newRow("meta") << int(Qt::MetaModifier);
        QTest::newRow("ctrl+alt") << int(Qt::ControlModifier | Qt::AltModifier);
        QTest::newRow("alt+shift") << int(Qt::AltModifier | Qt::ShiftModifier);
    }
    void chordsTypeNothing()
    {
        QFETCH(int, modifiers);
        const QList<QKeyCombination> shortcuts = { Qt::ALT | Qt::Key_D, Qt::ALT | Qt::Key_E,
            Qt::ALT | Qt::Key_C, Qt::ALT | Qt::Key_A, Qt::ALT | Qt::Key_M, Qt::CTRL | Qt::Key_M,
            Qt::CTRL | Qt::Key_V, Qt::CTRL | Qt::Key_X, Qt::CTRL | Qt::Key_Z, Qt::CTRL | Qt::Key_Y };
        for (const QString &name : fieldNames) {
            QLineEdit *edit = field(name);
            edit->setFocus(Qt::OtherFocusReason);
            edit->setCursorPosition(0);
            const QString before = edit->text();
            for (const char c : QByteArray("abcdefghijklmnopqrstuvwxyz0123456789`-=[]\\;',./")) {
                const QKeyCombination chord(
                    Qt::KeyboardModifiers(modifiers), Qt::Key(QChar::toUpper(uint(c))));
                if (shortcuts.contains(chord))
                    continue;
                QTest::keyClick(edit, c, Qt::KeyboardModifiers(modifiers));
                QVERIFY2(edit->text() == before, qPrintable(name + QStringLiteral(": ") + edit->text()));
            }
        }
        QVERIFY(showonce::instance<Form1>());
        QVERIFY(!QFile::exists(ini::fixedPath()));
    }

    // The focused button shows its focus mark from the first moment, not
    // only after Tab; the focus starts on Add Entry as before.
    void focusIsSeen()
    {
        QCOMPARE(QApplication::focusWidget(), button("Command1"));
        // Nothing else is drawn for it: the window shows only its controls.
        for (QWidget *child : form->findChildren<QWidget *>(Qt::FindDirectChildrenOnly)) {
            if (child->isVisible())
                QVERIFY2(!child->objectName().isEmpty() && child->objectName() != u"focusRing",
                    child->metaObject()->className());
        }
        for (const char *name : { "Command1", "Command2", "Command3", "Command4", "cmdMail" }) {
            QWidget *control = button(name);
            field("Text1")->setFocus(Qt::OtherFocusReason);
            QCoreApplication::processEvents();
            const QImage without = control->grab().toImage();
            control->setFocus(Qt::OtherFocusReason);
            QCoreApplication::processEvents();
            QVERIFY2(control->grab().toImage() != without, name);
        }
    }

    // A larger font grows the window and its buttons until every caption
    // fits; at today's font the window keeps its size (see window()).
    void captionsFitALargerFont()
    {
        form->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        const QFont today = QApplication::font();
        QFont big = today;
        big.setPointSizeF(14);
        QApplication::setFont(big);
        form = showonce::show<Form1>();
        const QSize grown = form->size();
        QApplication::setFont(today);
        QTRY_COMPARE(form->size(), QSize(367, 336));
        QApplication::setFont(big);
        QTRY_COMPARE(form->size(), grown);
        QVERIFY(grown.width() > 367 && grown.height() > 336);
        QCOMPARE(form->minimumSize(), form->maximumSize());
        const QFontMetrics metrics(big);
        for (QPushButton *push : form->findChildren<QPushButton *>()) {
            QVERIFY2(metrics.horizontalAdvance(push->text().remove(u'&')) + 4 <= push->width()
                    && metrics.height() <= push->height(),
                qPrintable(push->objectName()));
            QVERIFY(form->rect().contains(push->geometry()));
        }
        auto *label = child<QLabel>(form, "Label1");
        QVERIFY(metrics.boundingRect(label->contentsRect(), Qt::TextWordWrap, label->text()).height()
            <= label->contentsRect().height());
        QApplication::setFont(today);
    }

    void editorAboutAndMailShowOnce()
    {
        OpenFileDialog::setNextAnswers({ std::nullopt, std::nullopt, std::nullopt });
        QTest::mouseClick(button("Command2"), Qt::LeftButton);
        QTest::mouseClick(button("Command2"), Qt::LeftButton);
        QCOMPARE(openCount<frmINIEditor>(), 1);
        QTest::mouseClick(button("Command4"), Qt::LeftButton);
        QTest::mouseClick(button("Command4"), Qt::LeftButton);
        QCOMPARE(openCount<frmAbout>(), 1);
        QTest::mouseClick(button("cmdMail"), Qt::LeftButton);
        form->showMailWindow();
        QCOMPARE(openCount<frmDemo>(), 1);
        QCOMPARE(openCount<Form1>(), 1);

        // Closed windows load afresh on the next press.
        const QPointer<frmAbout> about = showonce::instance<frmAbout>();
        about->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!about);
        QTest::mouseClick(button("Command4"), Qt::LeftButton);
        QCOMPARE(openCount<frmAbout>(), 1);
    }

    void accessKeys()
    {
        OpenFileDialog::setNextAnswers({ std::nullopt });
        field("Text1")->setText("Comet");
        QTest::keyClick(form, Qt::Key_D, Qt::AltModifier);
        QTRY_VERIFY(readFile(ini::fixedPath()).startsWith("[Comet]\r\n"));
        QTest::keyClick(form, Qt::Key_A, Qt::AltModifier);
        QTRY_COMPARE(openCount<frmAbout>(), 1);
        form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(form));
        QTest::keyClick(form, Qt::Key_M, Qt::AltModifier);
        QTRY_COMPARE(openCount<frmDemo>(), 1);
        showonce::instance<frmDemo>()->close();
        QTRY_VERIFY(!showonce::instance<frmDemo>());
        form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(form));
        QTest::keyClick(form, Qt::Key_M, Qt::ControlModifier);
        QTRY_COMPARE(openCount<frmDemo>(), 1);
        form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(form));
        QTest::keyClick(form, Qt::Key_E, Qt::AltModifier);
        QTRY_COMPARE(openCount<frmINIEditor>(), 1);
        form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(form));
        const QPointer<Form1> main = form;
        QTest::keyClick(form, Qt::Key_C, Qt::AltModifier);
        QTRY_VERIFY(!main);
        QCOMPARE(openCount<frmAbout>(), 1);
    }

    // Closing the main window leaves the editor open and the program running;
    // closing the editor then ends it.
    void programEndsWithItsLastWindow()
    {
        OpenFileDialog::setNextAnswers({ std::nullopt });
        QTest::mouseClick(button("Command2"), Qt::LeftButton);
        QPointer<frmINIEditor> editor = showonce::instance<frmINIEditor>();
        QVERIFY(editor);

        QApplication::setQuitOnLastWindowClosed(true);
        bool editorOpenAfterMainClosed = false;
        bool endedEarly = false;
        int lastWindowClosed = 0;
        const QMetaObject::Connection counting
            = connect(qApp, &QGuiApplication::lastWindowClosed, this, [&] { ++lastWindowClosed; });
        QTimer closeMain, closeEditor, giveUp;
        for (QTimer *timer : { &closeMain, &closeEditor, &giveUp })
            timer->setSingleShot(true);
        connect(&closeMain, &QTimer::timeout, this,
            [&] { QTest::mouseClick(button("Command3"), Qt::LeftButton); });
        connect(&closeEditor, &QTimer::timeout, this, [&] {
            editorOpenAfterMainClosed = editor && editor->isVisible() && !showonce::instance<Form1>();
            endedEarly = lastWindowClosed > 0;
            if (editor)
                editor->close();
        });
        connect(&giveUp, &QTimer::timeout, this, [] { QCoreApplication::exit(1); });
        closeMain.start(0);
        closeEditor.start(300);
        giveUp.start(5000);
        const int code = QApplication::exec();
        disconnect(counting);
        QApplication::setQuitOnLastWindowClosed(false);
        QCOMPARE(code, 0);
        QVERIFY(editorOpenAfterMainClosed);
        QVERIFY(!endedEarly);
        QCOMPARE(lastWindowClosed, 1);
    }
};

QTEST_MAIN(TestForm1)
#include "test_form1.moc"
