// The editor's aids for daily work on a big file: opening without the dialog,
// the find box, the key and value lists scrolling together, the tooltips, and
// a window that can grow.
#include "EditorWindowDriver.h"
#include "TestFiles.h"
#include "TestInput.h"
#include "TestWidgets.h"
#include "WindowLayout.h"

#include "core/CodePage.h"
#include "core/TextFind.h"
#include "editor/BackgroundWork.h"
#include "editor/CutListModel.h"
#include "editor/FileDrop.h"
#include "editor/GeometryAnchors.h"
#include "editor/IniColours.h"
#include "editor/OpenProgress.h"
#include "platform/AppFolder.h"
#include "platform/ClassicLook.h"
#include "platform/MessageBox.h"

#include <QApplication>
#include <QHelpEvent>
#include <QMimeData>
#include <QProgressDialog>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolTip>
#include <QUrl>

#include <atomic>
#include <chrono>
#include <thread>

using namespace Qt::StringLiterals;
using namespace editordriver;

namespace {

// Eight games with 8-bit names; "Monster" is in three of them, in any case.
const QByteArray kGames = "[Wave World Tour Monster 64 (J)]\r\nk=1\r\n"
                          "[Wave World Tour Monster 64 (U)]\r\nk=2\r\n"
                          "[Kart Racer (E)]\r\nk=3\r\n"
                          "[\xC9t\xE9 Champion (F)]\r\nk=4\r\n"
                          "[MONSTER Truck]\r\nk=5\r\nk2=5b\r\n"
                          "[Star Pilot]\r\nk=6\r\n"
                          "[\xE9t\xE9 Golf (F)]\r\nk=7\r\n"
                          "[Golf Pro]\r\nk=8\r\n";

QStringList shownNames(QWidget *form)
{
    auto *view = child<QListView>(form, "ListNames");
    QStringList out;
    for (int row = 0; row < view->model()->rowCount(); ++row) {
        if (!view->isRowHidden(row))
            out << view->model()->index(row, 0).data().toString();
    }
    return out;
}

QWidget *findBox(QWidget *form)
{
    return child<QWidget>(form, "findBox");
}

QLineEdit *findField(QWidget *form)
{
    return child<QLineEdit>(form, "findField");
}

void press(QWidget *form, QKeyCombination key)
{
    QTest::keyClick(
        QApplication::focusWidget() ? QApplication::focusWidget() : form, key.key(), key.keyboardModifiers());
}

QByteArray selectedBytes(QWidget *form)
{
    ByteTextEdit *text = text1(form);
    return text->bytes().sliced(text->selectionStartOffset(), text->selectionLength()).toByteArray();
}

} // namespace

Q_DECLARE_METATYPE(Anchor)

class TestEditorWork : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;

    QString path(const QString &name) const { return m_dir.filePath(name); }

    frmINIEditor *openGames() { return openOn(path(u"games.ini"_s), kGames); }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        prepareWindowTests();
        appfolder::overrideForTesting(m_dir.path());
    }

    void cleanup() { editordriver::closeEditor(); }

    // The file argument: no dialog, the file as if picked in it, so that a
    // later Open File that is cancelled opens it again.
    void opensAFileWithoutTheDialog()
    {
        frmINIEditor *form = openGames();
        const QString file = path(u"games.ini"_s);
        QCOMPARE(OpenFileDialog::takeShownCount(), 0);
        QCOMPARE(items(form, "ListNames").size(), 8);
        QCOMPARE(child<QLineEdit>(form, "txtPath")->text(), file);
        QCOMPARE(text1(form)->bytes(), QByteArrayView(kGames));
        QCOMPARE(form->LoadedPath, file);

        const QString other = writeFile(m_dir, u"other.ini"_s, "[Other]\r\na=b\r\n");
        QCOMPARE(frmINIEditor::showOn(other), form);
        QCOMPARE(items(form, "ListNames"), QStringList { u"Other"_s });

        OpenFileDialog::setNextAnswers({ std::nullopt });
        clickButton(form, "GetSettings");
        QCOMPARE(OpenFileDialog::takeShownCount(), 1);
        QCOMPARE(form->LoadedPath, other);

        // A missing file says so, as a pick in the dialog does.
        frmINIEditor::showOn(path(u"gone.ini"_s));
        QCOMPARE(messagebox::takeRecorded().value(0).text, u"File Not Found"_s);
        QVERIFY(!QFile::exists(path(u"gone.ini"_s)));
    }

    // Enter in the path field, Ctrl+O and Ctrl+S, and a dropped file.
    void keysAndDropOpenAndWrite()
    {
        frmINIEditor *form = openGames();
        const QString other = writeFile(m_dir, u"typed.ini"_s, "[Typed]\r\nx=1\r\n");
        auto *txtPath = child<QLineEdit>(form, "txtPath");
        txtPath->setFocus();
        txtPath->setText(other);
        QTest::keyClick(txtPath, Qt::Key_Return);
        QCOMPARE(items(form, "ListNames"), QStringList { u"Typed"_s });
        QCOMPARE(form->LoadedPath, other);

        QTest::keyClick(txtPath, Qt::Key_S, Qt::ControlModifier);
        QCOMPARE(readFile(other), "[Typed]\r\nx=1\r\n"_ba);

        OpenFileDialog::setNextAnswers({ path(u"games.ini"_s) });
        QTest::keyClick(txtPath, Qt::Key_O, Qt::ControlModifier);
        QCOMPARE(OpenFileDialog::takeShownCount(), 1);
        QCOMPARE(items(form, "ListNames").size(), 8);

        // A .ini file dropped on the text area opens; text and other files
        // are left to the control.
        const QString dropped = writeFile(m_dir, u"Dropped.INI"_s, "[Dropped]\r\n");
        QWidget *target = text1(form)->viewport();
        QMimeData data;
        data.setUrls({ QUrl::fromLocalFile(dropped) });
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, {});
        QApplication::sendEvent(target, &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, {});
        QApplication::sendEvent(target, &drop);
        QTRY_COMPARE(items(form, "ListNames"), QStringList { u"Dropped"_s });
        QCOMPARE(form->LoadedPath, dropped);
    }

    // A long open shows a progress bar, centred on the editor and naming the
    // file; Cancel or Escape, at its first sight or past its half (where the
    // names are read and the text is still loading), leaves the editor as it
    // was.
    void cancelledOpenChangesNothing_data()
    {
        QTest::addColumn<int>("cancelAt");
        QTest::addColumn<bool>("escape");
        QTest::newRow("first sight") << 0 << false;
        QTest::newRow("Escape, first sight") << 0 << true;
        QTest::newRow("past half") << 500 << false;
        QTest::newRow("Escape, past half") << 500 << true;
    }

    void cancelledOpenChangesNothing()
    {
        QFETCH(int, cancelAt);
        QFETCH(bool, escape);
        QByteArray big;
        for (int i = 0; big.size() < (20 << 20); ++i)
            big += "[Game " + QByteArray::number(i) + "]\r\nUCode=" + QByteArray::number(i % 7) + "\r\n";
        const QString bigFile = writeFile(m_dir, u"big.ini"_s, big);
        frmINIEditor *form = openGames();
        clickItem(form, "ListNames", 4);
        clickItem(form, "ListKey1", 1);
        const QString label = child<QLabel>(form, "Label2")->text();
        const QByteArray selected = selectedBytes(form);

        OpenProgress::setDelay(0);
        int seenAt = -1;
        bool busy = false;
        QString barLabel;
        int offCentre = -1;
        QTimer cancel;
        connect(&cancel, &QTimer::timeout, this, [&] {
            auto *bar = form->findChild<QProgressDialog *>(u"openProgress"_s);
            if (bar && bar->isVisible() && bar->value() >= cancelAt && seenAt < 0) {
                seenAt = bar->value();
                busy = QApplication::overrideCursor()
                    && QApplication::overrideCursor()->shape() == Qt::WaitCursor;
                barLabel = bar->labelText();
                offCentre
                    = (bar->frameGeometry().center() - form->frameGeometry().center()).manhattanLength();
                if (escape)
                    QTest::keyClick(bar, Qt::Key_Escape);
                else
                    bar->cancel();
            }
        });
        cancel.start(0);
        frmINIEditor::showOn(bigFile);
        cancel.stop();
        OpenProgress::setDelay(1000);
        QVERIFY2(seenAt >= cancelAt && seenAt < 1000, qPrintable(QString::number(seenAt)));
        QVERIFY(busy);
        QVERIFY2(barLabel.contains(u"big.ini"_s), qPrintable(barLabel));
        QVERIFY2(offCentre >= 0 && offCentre <= 4, qPrintable(QString::number(offCentre)));
        QVERIFY(!QApplication::overrideCursor());
        QVERIFY(!form->findChild<QProgressDialog *>());
        QCOMPARE(child<QLineEdit>(form, "txtPath")->text(), path(u"games.ini"_s));
        QCOMPARE(items(form, "ListNames").size(), 8);
        QCOMPARE(selectedRow(form, "ListNames"), 4);
        QCOMPARE(items(form, "ListKey1"), (QStringList { u"k"_s, u"k2"_s }));
        QCOMPARE(selectedRow(form, "ListKey1"), 1);
        QCOMPARE(selectedRow(form, "ListKey2"), 1);
        QCOMPARE(child<QLabel>(form, "Label2")->text(), label);
        QCOMPARE(text1(form)->bytes(), QByteArrayView(kGames));
        QCOMPARE(selectedBytes(form), selected);
        QCOMPARE(form->LoadedPath, path(u"games.ini"_s));
        QVERIFY(messagebox::takeRecorded().isEmpty());
        // The dialog's remembered file is the one before, too.
        OpenFileDialog::setNextAnswers({ std::nullopt });
        clickButton(form, "GetSettings");
        QCOMPARE(child<QLineEdit>(form, "txtPath")->text(), path(u"games.ini"_s));
    }

    // Names are twins when their bytes are, whatever else differs; a list
    // shows a later twin with its note.
    void twinNamesByTheirBytes_data()
    {
        QTest::addColumn<QByteArrayList>("names");
        QTest::addColumn<QString>("later"); // '1' where a name repeats an earlier one
        QTest::newRow("none") << QByteArrayList { "A", "B" } << u"00"_s;
        QTest::newRow("twice and thrice") << QByteArrayList { "A", "B", "A", "A", "B" } << u"00111"_s;
        QTest::newRow("case and spaces differ") << QByteArrayList { "A", "a", "A ", " A" } << u"0000"_s;
        QTest::newRow("empty names") << QByteArrayList { "", "" } << u"01"_s;
        QTest::newRow("bytes past a zero")
            << QByteArrayList { QByteArray("A\0B", 3), QByteArray("A\0C", 3) } << u"00"_s;
    }
    void twinNamesByTheirBytes()
    {
        QFETCH(QByteArrayList, names);
        QFETCH(QString, later);
        CutListModel model;
        model.setDuplicateNote(u" (twin)"_s);
        model.setItems(names, [](QByteArrayView bytes) { return QString::fromLatin1(bytes); });
        QString found;
        for (int row = 0; row < names.size(); ++row) {
            found += model.isLaterDuplicate(row) ? u'1' : u'0';
            QCOMPARE(model.index(row).data().toString(),
                QString::fromLatin1(names[row]) + (later[row] == u'1' ? u" (twin)"_s : QString()));
        }
        QCOMPARE(found, later);
    }

    // Work on a worker thread: a wait may end before the work does, once
    // what it waits for holds; a poll that says no stops the work; a job that
    // goes away stops its work and waits for it.
    void workerJobsStopAndAreWaitedFor()
    {
        std::atomic<bool> begun = false;
        std::atomic<bool> ended = false;
        const auto work = [&](const std::atomic<bool> &stop) {
            begun = true;
            while (!stop)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            ended = true;
        };
        {
            backgroundwork::Job job(work);
            job.wait([] { return true; }, [&] { return begun.load(); });
            QVERIFY(begun && !job.done());
        }
        QVERIFY(ended);
        ended = false;
        int polls = 0;
        backgroundwork::Job job(work);
        job.wait([&] { return ++polls < 3; });
        QVERIFY(job.done() && ended);
        QCOMPARE(polls, 3);
    }

    void droppedFileIsOneLocalIni_data()
    {
        QTest::addColumn<QList<QUrl>>("urls");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("taken");
        QTest::newRow("ini") << QList { QUrl::fromLocalFile(u"/tmp/a.ini"_s) } << QString() << true;
        QTest::newRow("upper case") << QList { QUrl::fromLocalFile(u"/tmp/A.INI"_s) } << QString() << true;
        QTest::newRow("other type") << QList { QUrl::fromLocalFile(u"/tmp/a.txt"_s) } << QString() << false;
        QTest::newRow("two files") << QList { QUrl::fromLocalFile(u"/tmp/a.ini"_s),
            QUrl::fromLocalFile(u"/tmp/b.ini"_s) }
                                   << QString() << false;
        QTest::newRow("remote") << QList { QUrl(u"https://example.com/a.ini"_s) } << QString() << false;
        QTest::newRow("text") << QList<QUrl> {} << u"/tmp/a.ini"_s << false;
    }

    void droppedFileIsOneLocalIni()
    {
        QFETCH(QList<QUrl>, urls);
        QFETCH(QString, text);
        QFETCH(bool, taken);
        QMimeData data;
        if (!urls.isEmpty())
            data.setUrls(urls);
        if (!text.isEmpty())
            data.setText(text);
        QCOMPARE(!droppedIniFile(&data).isEmpty(), taken);
    }

    void findBoxFiltersTheNames_data()
    {
        QTest::addColumn<QString>("query");
        QTest::addColumn<QStringList>("shown");
        QTest::newRow("any part, any case") << u"monster"_s
                                            << QStringList { u"Wave World Tour Monster 64 (J)"_s,
                                                   u"Wave World Tour Monster 64 (U)"_s, u"MONSTER Truck"_s };
        QTest::newRow("8-bit letters")
            << u"ÉTÉ"_s << QStringList { u"Été Champion (F)"_s, u"été Golf (F)"_s };
        QTest::newRow("tag") << u"(u)"_s << QStringList { u"Wave World Tour Monster 64 (U)"_s };
        QTest::newRow("none") << u"zzz"_s << QStringList {};
    }

    void findBoxFiltersTheNames()
    {
        QFETCH(QString, query);
        QFETCH(QStringList, shown);
        frmINIEditor *form = openGames();
        QVERIFY(!findBox(form)->isVisible());
        child<QListView>(form, "ListNames")->setFocus();
        press(form, Qt::CTRL | Qt::Key_F);
        QVERIFY(findBox(form)->isVisible());
        QCOMPARE(QApplication::focusWidget(), findField(form));
        typeText(findField(form), query);
        QCOMPARE(shownNames(form), shown);
        QCOMPARE(findField(form)->property("missing").toBool(), shown.isEmpty());

        // Enter chooses the first game shown, as a click on it does.
        QTest::keyClick(findField(form), Qt::Key_Return);
        if (shown.isEmpty()) {
            QVERIFY(findBox(form)->isVisible());
            QCOMPARE(selectedRow(form, "ListNames"), -1);
            QTest::keyClick(findField(form), Qt::Key_Escape);
        } else {
            QCOMPARE(items(form, "ListNames").at(selectedRow(form, "ListNames")), shown.first());
            QCOMPARE(items(form, "ListKey1").size(), shown.first() == u"MONSTER Truck"_s ? 2 : 1);
            QCOMPARE(QApplication::focusWidget()->objectName(), u"ListNames"_s);
        }
        QVERIFY(!findBox(form)->isVisible());
        QCOMPARE(shownNames(form), items(form, "ListNames"));
    }

    // Down in the box chooses the next game shown; Escape shows all again.
    void findBoxStepsThroughTheMatches()
    {
        frmINIEditor *form = openGames();
        child<QListView>(form, "ListNames")->setFocus();
        press(form, Qt::CTRL | Qt::Key_F);
        typeText(findField(form), u"golf"_s);
        QTest::keyClick(findField(form), Qt::Key_Down);
        QTest::keyClick(findField(form), Qt::Key_Down);
        QCOMPARE(items(form, "ListNames").at(selectedRow(form, "ListNames")), u"Golf Pro"_s);
        QCOMPARE(items(form, "ListKey2"), QStringList { u"8"_s });
        QTest::keyClick(findField(form), Qt::Key_Escape);
        QCOMPARE(shownNames(form).size(), 8);
        QCOMPARE(QApplication::focusWidget()->objectName(), u"ListNames"_s);
    }

    // From the text area the box finds text there; F3 and Shift+F3 go on.
    void findBoxFindsTextInTheTextArea()
    {
        frmINIEditor *form = openGames();
        ByteTextEdit *text = text1(form);
        text->setFocus();
        press(form, Qt::CTRL | Qt::Key_F);
        typeText(findField(form), u"GOLF"_s);
        const qsizetype first = QByteArrayView(kGames).indexOf("Golf");
        const qsizetype second = QByteArrayView(kGames).indexOf("Golf", first + 1);
        QCOMPARE(text->selectionStartOffset(), first);
        QCOMPARE(selectedBytes(form), "Golf"_ba);
        press(form, Qt::Key_F3);
        QCOMPARE(text->selectionStartOffset(), second);
        press(form, Qt::Key_F3); // round to the top
        QCOMPARE(text->selectionStartOffset(), first);
        press(form, Qt::SHIFT | Qt::Key_F3);
        QCOMPARE(text->selectionStartOffset(), second);

        QTest::keyClick(findField(form), Qt::Key_Escape);
        QCOMPARE(QApplication::focusWidget(), text);
        press(form, Qt::Key_F3);
        QCOMPARE(text->selectionStartOffset(), first);

        typeText(text, u"x"_s); // the box's text is kept, not the typing
        press(form, Qt::CTRL | Qt::Key_F);
        QCOMPARE(findField(form)->selectedText(), u"GOLF"_s);
        typeText(findField(form), u"Ét"_s);
        QCOMPARE(selectedBytes(form), "\xC9t"_ba); // "Été", the first after the caret
        typeText(findField(form), u"q"_s);
        QVERIFY(findField(form)->property("missing").toBool());
    }

    // F3 in a list is Find Next; in the path field it does nothing.
    void f3InAListIsFindNext()
    {
        frmINIEditor *form = openGames();
        clickItem(form, "ListNames", 4); // MONSTER Truck: k=5, k2=5b
        clickItem(form, "ListKey1", 0);
        const qsizetype at = QByteArrayView(kGames).indexOf("k=5");
        QCOMPARE(text1(form)->selectionStartOffset(), at);
        press(form, Qt::Key_F3);
        QCOMPARE(messagebox::takeRecorded().value(0).text, u"Not Found"_s);
        child<QLineEdit>(form, "txtPath")->setFocus();
        press(form, Qt::Key_F3);
        QVERIFY(messagebox::takeRecorded().isEmpty());
    }

    void textSearchGoesRound_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QByteArray>("needle");
        QTest::addColumn<qsizetype>("from");
        QTest::addColumn<qsizetype>("forward");
        QTest::addColumn<qsizetype>("backward");
        QTest::newRow("between") << "abXab"_ba
                                 << "AB"_ba << qsizetype(1) << qsizetype(3) << qsizetype(0);
        QTest::newRow("at a match") << "abXab"_ba
                                    << "ab"_ba << qsizetype(3) << qsizetype(3) << qsizetype(0);
        QTest::newRow("round") << "abXab"_ba
                               << "ab"_ba << qsizetype(4) << qsizetype(0) << qsizetype(3);
        QTest::newRow("from top") << "abXab"_ba
                                  << "ab"_ba << qsizetype(0) << qsizetype(0) << qsizetype(3);
        QTest::newRow("8-bit case") << "x\xC9t\xE9"_ba
                                    << "\xE9T\xC9"_ba << qsizetype(0) << qsizetype(1) << qsizetype(1);
        QTest::newRow("missing") << "abc"_ba
                                 << "d"_ba << qsizetype(0) << qsizetype(-1) << qsizetype(-1);
        QTest::newRow("longer") << "ab"_ba
                                << "abc"_ba << qsizetype(0) << qsizetype(-1) << qsizetype(-1);
        QTest::newRow("empty") << "ab"_ba
                               << ""_ba << qsizetype(0) << qsizetype(-1) << qsizetype(-1);
    }

    void textSearchGoesRound()
    {
        QFETCH(QByteArray, text);
        QFETCH(QByteArray, needle);
        QFETCH(qsizetype, from);
        QFETCH(qsizetype, forward);
        QFETCH(qsizetype, backward);
        QCOMPARE(textfind::findForward(text, needle, from), forward);
        QCOMPARE(textfind::findBackward(text, needle, from), backward);
    }

    // A key and its value stay on one row, whatever scrolls.
    void keyAndValueListsScrollAsOne()
    {
        QByteArray file = "[Many]\r\n";
        for (int i = 0; i < 60; ++i)
            file += "key" + QByteArray::number(i) + "=" + QByteArray::number(i * 7) + "\r\n";
        const QString name = writeFile(m_dir, u"many.ini"_s, file);
        frmINIEditor *form = frmINIEditor::showOn(name);
        clickItem(form, "ListNames", 0);
        auto *keys = child<QListView>(form, "ListKey1");
        auto *values = child<QListView>(form, "ListKey2");

        values->verticalScrollBar()->setValue(values->verticalScrollBar()->maximum());
        QCOMPARE(keys->verticalScrollBar()->value(), values->verticalScrollBar()->value());
        QCOMPARE(keys->indexAt(QPoint(2, 2)).row(), values->indexAt(QPoint(2, 2)).row());
        QTest::keyClick(keys, Qt::Key_Home);
        QCOMPARE(values->verticalScrollBar()->value(), 0);
        QWheelEvent wheel(QPointF(5, 5), keys->viewport()->mapToGlobal(QPointF(5, 5)), {}, QPoint(0, -120),
            Qt::NoButton, {}, Qt::NoScrollPhase, false);
        QApplication::sendEvent(keys->viewport(), &wheel);
        QVERIFY(keys->verticalScrollBar()->value() > 0);
        QCOMPARE(values->verticalScrollBar()->value(), keys->verticalScrollBar()->value());
    }

    // A name too long for the list shows whole in its tooltip and, chosen,
    // in the count line.
    void longNamesShowWhole()
    {
        const QString longName
            = u"Wave World Tour Monster 64 (J) [Rev 1.1] (Trainer by Tess) [h2C] [f1] [o1]"_s;
        const QString file
            = writeFile(m_dir, u"long.ini"_s, "[Short]\r\nk=1\r\n[" + longName.toLatin1() + "]\r\nk=2\r\n");
        frmINIEditor *form = frmINIEditor::showOn(file);
        auto *view = child<QListView>(form, "ListNames");
        QCoreApplication::processEvents();
        const QRect item = view->visualRect(view->model()->index(1, 0));
        QHelpEvent help(QEvent::ToolTip, item.center(), view->viewport()->mapToGlobal(item.center()));
        QApplication::sendEvent(view->viewport(), &help);
        QTRY_COMPARE(QToolTip::text(), longName);
        QToolTip::hideText();

        const QString count = u"Total Number Of ROMS In The Ferox.ini File = 2"_s;
        clickItem(form, "ListNames", 1);
        QCOMPARE(child<QLabel>(form, "Label2")->text(), count + u": "_s + longName);
        clickItem(form, "ListNames", 0);
        QCOMPARE(child<QLabel>(form, "Label2")->text(), count);
    }

    // Growing the window gives the room to the text area and the lists; the
    // buttons keep their distance from the right and bottom edges.
    void windowGrows()
    {
        frmINIEditor *form = openGames();
        const QSize designed = form->size();
        QMap<QString, QRect> placed;
        for (const QWidget *control : windowlayout::controls(form))
            placed[control->objectName()] = control->geometry();
        const auto fromCorner = [form](const char *name) {
            const QWidget *w = child<QWidget>(form, name);
            const QRect r(w->mapTo(form, QPoint(0, 0)), w->size());
            return QPoint(form->width() - r.right(), form->height() - r.bottom());
        };
        QMap<QString, QPoint> corners;
        for (const char *name : { "cmdAdd", "Command2", "GetSettings", "cmdFindNext" })
            corners[QString::fromLatin1(name)] = fromCorner(name);
        const QSize text = text1(form)->size();

        form->resize(designed + QSize(400, 300));
        for (const char *name : { "cmdAdd", "Command2", "GetSettings", "cmdFindNext" })
            QCOMPARE(fromCorner(name), corners[QString::fromLatin1(name)]);
        QCOMPARE(text1(form)->size(), text + QSize(400, 150));
        int listWidths = 0;
        int designedWidths = 0;
        QRect previous;
        QString previousName;
        for (const char *name : { "ListNames", "ListKey1", "ListKey2" }) {
            const QRect list = child<QWidget>(form, name)->geometry();
            const QRect before = placed.value(QString::fromLatin1(name));
            QCOMPARE(list.height(), before.height() + 150);
            if (previous.isValid()) // the designed gap
                QCOMPARE(list.left() - previous.right(), before.left() - placed.value(previousName).right());
            listWidths += list.width();
            designedWidths += before.width();
            previous = list;
            previousName = QString::fromLatin1(name);
        }
        QCOMPARE(listWidths, designedWidths + 400);
        QVERIFY(!child<QWidget>(form, "Frame3")->geometry().intersects(previous));
        const QStringList faults = windowlayout::faults(form, { u"Command1"_s, u"cmdFindFirst"_s });
        QVERIFY2(faults.isEmpty(), qPrintable(faults.join(u'\n')));

        // Back at its designed size, every control is where it was.
        form->resize(designed);
        for (const QWidget *control : windowlayout::controls(form))
            QCOMPARE(control->geometry(), placed.value(control->objectName()));
    }

    // Heads, keys and comments are coloured where they are shown, the bytes
    // stay as they are, an edited line is coloured afresh, and a file opened
    // later is coloured too, as is the shown part of a file with a long line.
    void textIsColouredAsIni()
    {
        const QByteArray bytes = "; note\r\n[Game \xC9]\r\nKey=Value\r\n";
        const QString first = writeFile(m_dir, u"first.ini"_s, "[Other]\r\n");
        frmINIEditor *form = frmINIEditor::showOn(first);
        frmINIEditor::showOn(writeFile(m_dir, u"coloured.ini"_s, bytes));
        ByteTextEdit *text = text1(form);
        QVERIFY(QTest::qWaitForWindowExposed(form));
        const auto colourAt = [text](qsizetype at) {
            text->viewport()->repaint();
            const long on = text->SendScintilla(
                QsciScintillaBase::SCI_INDICATORALLONFOR, static_cast<unsigned long>(at));
            for (int indicator :
                { IniColours::SectionIndicator, IniColours::KeyIndicator, IniColours::CommentIndicator })
                if (on == (1L << indicator))
                    return indicator;
            return on == 0 ? 0 : -1;
        };
        QCOMPARE(colourAt(bytes.indexOf("; note")), int(IniColours::CommentIndicator));
        QCOMPARE(colourAt(bytes.indexOf("note")), int(IniColours::CommentIndicator));
        QCOMPARE(colourAt(bytes.indexOf("[Game")), int(IniColours::SectionIndicator));
        QCOMPARE(colourAt(bytes.indexOf("\xC9]")), int(IniColours::SectionIndicator));
        QCOMPARE(colourAt(bytes.indexOf("Key")), int(IniColours::KeyIndicator));
        QCOMPARE(colourAt(bytes.indexOf("=")), 0);
        QCOMPARE(colourAt(bytes.indexOf("Value")), 0);
        QCOMPARE(text->bytes(), QByteArrayView(bytes));
        QCOMPARE(text->SendScintilla(QsciScintillaBase::SCI_INDICGETSTYLE, ulong(IniColours::KeyIndicator)),
            long(QsciScintillaBase::INDIC_TEXTFORE));
        QVERIFY(text->SendScintilla(QsciScintillaBase::SCI_INDICGETFORE, ulong(IniColours::KeyIndicator))
            != text->SendScintilla(QsciScintillaBase::SCI_INDICGETFORE, ulong(IniColours::SectionIndicator)));

        // "Key" becomes a comment line; a new line above moves every line down.
        text->placeCaret(bytes.indexOf("Key"));
        QTest::keyClicks(text, "#");
        QCOMPARE(colourAt(bytes.indexOf("Key") + 1), int(IniColours::CommentIndicator));
        text->placeCaret(0);
        QTest::keyClick(text, Qt::Key_Return);
        QCOMPARE(colourAt(2), int(IniColours::CommentIndicator));
        QCOMPARE(colourAt(2 + bytes.indexOf("[Game")), int(IniColours::SectionIndicator));

        // Only the shown part of a long line is read.
        const QByteArray longLine = "[Game]\r\n;" + QByteArray(200 * 1024, 'x') + "\r\nKey=1\r\n";
        text->markSaved();
        frmINIEditor::showOn(writeFile(m_dir, u"long.ini"_s, longLine));
        QVERIFY(text->hidesTails());
        QCOMPARE(colourAt(0), int(IniColours::SectionIndicator));
        QCOMPARE(colourAt(100), int(IniColours::CommentIndicator));
        QCOMPARE(colourAt(text->positionOf(longLine.indexOf("Key"))), int(IniColours::KeyIndicator));
        QCOMPARE(text->bytes(), QByteArrayView(longLine));
    }

    // Each colour stands apart from the background on a light and a dark
    // palette.
    void coloursReadOnEitherPalette_data()
    {
        QTest::addColumn<QColor>("text");
        QTest::addColumn<QColor>("paper");
        QTest::newRow("light") << QColor(Qt::black) << QColor(Qt::white);
        QTest::newRow("dark") << QColor(0xe8, 0xe8, 0xe8) << QColor(0x20, 0x20, 0x24);
    }

    void coloursReadOnEitherPalette()
    {
        QFETCH(QColor, text);
        QFETCH(QColor, paper);
        QPalette palette;
        palette.setColor(QPalette::Text, text);
        palette.setColor(QPalette::Base, paper);
        const IniColours::Scheme scheme = IniColours::schemeFor(palette);
        QCOMPARE(scheme.paper, paper);
        for (const QColor &colour : { scheme.section, scheme.key, scheme.comment }) {
            QVERIFY(std::abs(colour.lightnessF() - paper.lightnessF()) > 0.3);
        }
    }

    void anchoredGeometry_data()
    {
        QTest::addColumn<Anchor>("anchor");
        QTest::addColumn<QRect>("expected");
        QTest::newRow("stays") << Anchor {} << QRect(10, 20, 30, 40);
        QTest::newRow("corner") << Anchor { 1, 1, 0, 0 } << QRect(110, 70, 30, 40);
        QTest::newRow("fills") << Anchor { 0, 0, 1, 1 } << QRect(10, 20, 130, 90);
        QTest::newRow("third") << Anchor { 1.0 / 3, 0, 1.0 / 3, 0.5 } << QRect(43, 20, 64, 65);
    }

    void anchoredGeometry()
    {
        QFETCH(Anchor, anchor);
        QFETCH(QRect, expected);
        QCOMPARE(::anchoredGeometry(QRect(10, 20, 30, 40), QSize(100, 50), anchor), expected);
    }
};

QTEST_MAIN(TestEditorWork)
#include "test_editorwork.moc"
