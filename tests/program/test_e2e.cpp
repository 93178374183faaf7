// The built program as a user meets it: started from a folder of its own in a
// real X session, driven only by keys typed through xdotool, judged by the files
// it leaves on disk and by the mail a real SMTP server received. Each test saves
// a screenshot of the windows it opens into build/tests/e2e-output/.

#include "IniData.h"
#include "SmtpTestServer.h"
#include "TestCa.h"
#include "TestConfig.h"
#include "TestFiles.h"
#include "XSession.h"
#include "core/Version.h"

#include <QDirIterator>
#include <QFileInfo>
#include <QImageReader>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <functional>
#include <memory>
#include <sys/resource.h>

namespace {

const QString mainTitle = QStringLiteral("^Ferox64 INI Editor v%1$")
                              .arg(QRegularExpression::escape(QLatin1StringView(buildinfo::kVersion)));
// The editor's title names its file first, once one is loaded.
const QString editorTitle = QStringLiteral("Change Existing Ferox INI Entry\\.\\.\\.$");
const QString editorDialogTitle = QStringLiteral("^Open Ferox\\.ini File$");
const QString mailTitle = QStringLiteral("^Send Updated Ferox\\.ini File To ");
const QString aboutTitle = QStringLiteral("^About Ferox64 INI Editor\\.\\.\\.$");
const QString boxTitle = QStringLiteral("^Ferox64 INI Editor$");

QString outputPath(const QString &name)
{
    return QStringLiteral(FEROX_BUILD_TESTS_DIR "/e2e-output/") + name;
}

// The file's content once it equals `expected`, or what it held when the time ran out.
QByteArray waitForContent(const QString &path, const QByteArray &expected, int timeoutMs = 20000)
{
    QByteArray content;
    XSession::waitUntil(
        [&] {
            content = readFile(path);
            return content == expected;
        },
        timeoutMs);
    return content;
}

} // namespace

class TestEndToEnd : public QObject {
    Q_OBJECT

    std::unique_ptr<XSession> x;

    // One run of the program, copied into a fresh folder so that the Ferox.ini
    // beside it is the test's own.
    struct Run {
        QTemporaryDir folder;
        QProcess process;
        ~Run()
        {
            // A failed test leaves the program behind; it goes with the test.
            if (process.state() != QProcess::NotRunning) {
                process.kill();
                process.waitForFinished(5000);
            }
        }
        QString ini() const { return folder.filePath(QStringLiteral("Ferox.ini")); }
        QString log() const
        {
            return QString::fromLocal8Bit(readFile(folder.filePath(QStringLiteral("stderr.txt"))));
        }
    };

    std::unique_ptr<Run> launch(const QString &program = QStringLiteral(FEROX_PROGRAM),
        const QProcessEnvironment &extra = {}, bool copy = true, const QStringList &arguments = {},
        const std::function<void()> &inChild = {})
    {
        auto run = std::make_unique<Run>();
        QString exe = program;
        if (copy) {
            exe = run->folder.filePath(QStringLiteral("ferox-ini-editor"));
            if (!QFile::copy(program, exe))
                return nullptr;
        }
        QProcessEnvironment env = x->environment();
        // The program's remembered settings stay in the run's own folder.
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), run->folder.filePath(QStringLiteral("config")));
        env.insert(extra);
        run->process.setProcessEnvironment(env);
        run->process.setWorkingDirectory(run->folder.path());
        run->process.setStandardOutputFile(QProcess::nullDevice());
        run->process.setStandardErrorFile(run->folder.filePath(QStringLiteral("stderr.txt")));
        if (inChild)
            run->process.setChildProcessModifier(inChild);
        run->process.start(exe, arguments);
        if (!run->process.waitForStarted(10000))
            return nullptr;
        return run;
    }

    // Brings the window up front; the next keys go to it.
    QString focus(const QString &titlePattern)
    {
        const QString window = x->waitForWindow(titlePattern);
        if (!window.isEmpty())
            x->activate(window);
        return window;
    }

    // Closes the window by the keys a user would press, and waits until it is gone.
    bool closeWith(const QString &titlePattern, const QString &keys)
    {
        return !focus(titlePattern).isEmpty() && x->key(keys) && x->waitForNoWindow(titlePattern);
    }

    // True once the program has ended by itself with exit code 0.
    static bool endsCleanly(Run &run, int timeoutMs = 20000)
    {
        return run.process.waitForFinished(timeoutMs) && run.process.exitStatus() == QProcess::NormalExit
            && run.process.exitCode() == 0;
    }

    static bool stillRunning(Run &run)
    {
        return !run.process.waitForFinished(500) && run.process.state() == QProcess::Running;
    }

private Q_SLOTS:
    void initTestCase()
    {
        const QStringList missing = XSession::missingPrograms();
        if (!missing.isEmpty())
            QSKIP(qPrintable(
                QStringLiteral("the end-to-end tests need a real X session, and %1 cannot be found "
                               "(Debian packages xvfb, openbox, xdotool, x11-utils, imagemagick; "
                               "scripts/test installs them)")
                    .arg(missing.join(QStringLiteral(", ")))));
        x = std::make_unique<XSession>();
        QString why;
        QVERIFY2(x->start(&why), qPrintable(why));
        QDir(outputPath({})).removeRecursively();
    }

    void cleanupTestCase() { x.reset(); }

    // The prompts are no data: Add Entry at once is refused as an empty game
    // name, and with only a name typed the other keys are written empty.
    void promptsAreNotWritten()
    {
        auto run = launch();
        QVERIFY(run);
        const QString window = focus(mainTitle);
        QVERIFY2(!window.isEmpty(), qPrintable(run->log()));
        QVERIFY(x->screenshot(window, outputPath(QStringLiteral("form1-at-launch.png"))));
        QVERIFY(x->key(QStringLiteral("alt+d")));
        QVERIFY2(!focus(boxTitle).isEmpty(), qPrintable(run->log()));
        QVERIFY(x->key(QStringLiteral("Return")));
        QVERIFY(x->waitForNoWindow(boxTitle));
        QVERIFY(!QFile::exists(run->ini()));
        QVERIFY(!focus(mainTitle).isEmpty());
        QVERIFY(x->key(QStringLiteral("Tab Tab Tab Tab")));
        QVERIFY(x->type(QStringLiteral("Comet Rally 64 (E)")));
        QVERIFY(x->key(QStringLiteral("alt+d")));
        const QByteArray expected = "[Comet Rally 64 (E)]\r\n//=\r\nAltTitle=\r\nComments=\r\nUCode=\r\n";
        QCOMPARE(waitForContent(run->ini(), expected), expected);
        QVERIFY(closeWith(mainTitle, QStringLiteral("alt+c")));
        QVERIFY2(endsCleanly(*run), qPrintable(run->log()));
    }

    void typedGameBecomesItsSection()
    {
        auto run = launch();
        QVERIFY(run);
        const QString window = focus(mainTitle);
        QVERIFY(!window.isEmpty());
        // The focus starts on "Add Entry"; the fields follow the four buttons,
        // and a field reached by Tab has its prompt selected, so typing replaces it.
        QVERIFY(x->key(QStringLiteral("Tab Tab Tab Tab")));
        const QStringList typed { QStringLiteral("Comet Rally 64 (E) [!]"), QStringLiteral("Comet Rally"),
            QStringLiteral("Needs the 4 KB save; intro = slow"), QStringLiteral("2"),
            QStringLiteral("Tess Tester") };
        for (qsizetype i = 0; i < typed.size(); ++i) {
            if (i > 0)
                QVERIFY(x->key(QStringLiteral("Tab")));
            QVERIFY(x->type(typed[i]));
        }
        QVERIFY(x->screenshot(window, outputPath(QStringLiteral("form1.png"))));
        QVERIFY(x->key(QStringLiteral("alt+d")));
        const QByteArray expected = "[Comet Rally 64 (E) [!]]\r\n"
                                    "//=Tess Tester\r\n"
                                    "AltTitle=Comet Rally\r\n"
                                    "Comments=Needs the 4 KB save; intro = slow\r\n"
                                    "UCode=2\r\n";
        QCOMPARE(waitForContent(run->ini(), expected), expected);
        QVERIFY(closeWith(mainTitle, QStringLiteral("alt+c")));
        QVERIFY2(endsCleanly(*run), qPrintable(run->log()));
    }

    void editorWritesTheEditedText()
    {
        auto run = launch();
        QVERIFY(run);
        // Two sections of our own first, so that the keys below pick known lines,
        // then a generated file's worth of ordinary sections.
        const QString generated = run->folder.filePath(QStringLiteral("generated.ini"));
        QVERIFY(
            generateIni(QStringLiteral("32K"), generated, { QStringLiteral("--seed"), QStringLiteral("9") }));
        const QByteArray original = "[Alpha Racer (E)]\r\n//=Tess\r\nAltTitle=Alpha\r\nComments=Runs well\r\n"
                                    "UCode=1\r\n\r\n[Beta Quest (U)]\r\n//=Tess\r\nAltTitle=Beta\r\n"
                                    "Comments=Slow intro\r\nUCode=2\r\n\r\n"
            + readFile(generated);
        const QString path = run->folder.filePath(QStringLiteral("games.ini"));
        writeFile(path, original);

        QVERIFY(!focus(mainTitle).isEmpty());
        QVERIFY(x->key(QStringLiteral("alt+e")));
        const QString dialog = focus(editorDialogTitle);
        QVERIFY2(!dialog.isEmpty(), qPrintable(run->log()));
        QVERIFY(x->type(path));
        QVERIFY(x->screenshot(dialog, outputPath(QStringLiteral("editor-open-dialog.png"))));
        QVERIFY(x->key(QStringLiteral("Return")));
        QVERIFY(x->waitForNoWindow(editorDialogTitle));
        const QString editor = focus(editorTitle);
        QVERIFY(!editor.isEmpty());
        // "Update INI" has the focus; Tab passes Close, the disabled Find Next and
        // the path to the names. The first Down chooses the first game, the next
        // the second; then its second key, whose line the text area selects;
        // typing replaces that line.
        QVERIFY(x->key(QStringLiteral("Tab Tab Tab Down Down Tab Down Down")));
        QVERIFY(x->screenshot(editor, outputPath(QStringLiteral("editor.png"))));
        QVERIFY(x->key(QStringLiteral("Tab Tab")));
        QVERIFY(x->type(QStringLiteral("AltTitle=Beta, edited")));
        QVERIFY(x->key(QStringLiteral("alt+u")));

        QByteArray expected = original;
        expected.replace("AltTitle=Beta\r\n", "AltTitle=Beta, edited\r\n");
        // A text that ends with a line end is written as it is.
        if (!expected.endsWith('\n') && !expected.endsWith('\r'))
            expected += "\r\n";
        QCOMPARE(waitForContent(path, expected), expected);

        // The save keeps the place: the second game and its key stay chosen.
        // The keyboard is still in the text; two Shift+Tabs reach the keys,
        // Down chooses the next one, whose line the text selects; the typed
        // line replaces it.
        QVERIFY(x->key(QStringLiteral("shift+Tab shift+Tab Down Tab Tab")));
        QVERIFY(x->type(QStringLiteral("Comments=Fast intro")));
        QVERIFY(x->key(QStringLiteral("ctrl+s")));
        expected.replace("Comments=Slow intro\r\n", "Comments=Fast intro\r\n");
        QCOMPARE(waitForContent(path, expected), expected);

        // Closing the main window first leaves the program running for the editor.
        QVERIFY(closeWith(mainTitle, QStringLiteral("alt+c")));
        QVERIFY(stillRunning(*run));

        // Edits not yet written: closing asks first. Escape keeps the editor
        // and its text; Discard then closes it without writing.
        QVERIFY(!focus(editorTitle).isEmpty());
        QVERIFY(x->type(QStringLiteral(" (unsaved)")));
        QVERIFY(x->key(QStringLiteral("alt+c")));
        QString box = focus(boxTitle);
        QVERIFY2(!box.isEmpty(), qPrintable(run->log()));
        QVERIFY(x->screenshot(box, outputPath(QStringLiteral("unsaved-question.png"))));
        QVERIFY(x->key(QStringLiteral("Escape")));
        QVERIFY(x->waitForNoWindow(boxTitle));
        QVERIFY(!x->waitForWindow(editorTitle).isEmpty());
        QVERIFY(stillRunning(*run));
        QVERIFY(!focus(editorTitle).isEmpty());
        QVERIFY(x->key(QStringLiteral("alt+c")));
        box = focus(boxTitle);
        QVERIFY2(!box.isEmpty(), qPrintable(run->log()));
        QVERIFY(x->key(QStringLiteral("alt+d")));
        QVERIFY(x->waitForNoWindow(editorTitle));
        QVERIFY2(endsCleanly(*run), qPrintable(run->log()));
        QCOMPARE(readFile(path), expected);
    }

    // The file argument opens the editor at once; the find box chooses a game;
    // the window grows and its text area with it.
    void editorOnTheFileArgumentFindsAGame()
    {
        auto prepared = std::make_unique<QTemporaryDir>();
        const QString path = prepared->filePath(QStringLiteral("games.ini"));
        const QByteArray original
            = "; Ferox64 settings, kept by hand\r\n"
              "[Alpha Racer (E)]\r\n//=Tess\r\nAltTitle=Alpha\r\nComments=Runs well\r\n"
              "UCode=1\r\n\r\n[Beta Quest (U)]\r\n//=Tess\r\nAltTitle=Beta\r\n"
              "Comments=Slow intro\r\nUCode=2\r\n\r\n"
              "[Wave World Tour Monster 64 (J)]\r\nUCode=3\r\n\r\n"
              "[Wave World Tour Monster 64 (U)]\r\nUCode=3\r\nComments=Clean dump\r\n\r\n"
              "[\xC9t\xE9 Golf (F)]\r\nUCode=4"; // no line end: each save adds one CR LF
        writeFile(path, original);
        auto run = launch(QStringLiteral(FEROX_PROGRAM), {}, true, { path });
        QVERIFY(run);
        QVERIFY2(!x->waitForWindow(mainTitle).isEmpty(), qPrintable(run->log()));
        const QString editor = focus(editorTitle);
        QVERIFY2(!editor.isEmpty(), qPrintable(run->log()));
        QVERIFY(x->visibleWindows(editorDialogTitle).isEmpty());

        // From the names list, Ctrl+F filters the names as they are typed.
        QVERIFY(x->key(QStringLiteral("Tab Tab Tab ctrl+f")));
        QVERIFY(x->type(QStringLiteral("monster")));
        QVERIFY(x->key(QStringLiteral("Down Down")));
        QVERIFY(x->screenshot(editor, outputPath(QStringLiteral("editor-find.png"))));
        QVERIFY(x->key(QStringLiteral("Return")));
        // The chosen game's keys: Tab to them, Down to "Comments", Ctrl+S writes.
        QVERIFY(x->key(QStringLiteral("Tab Down")));
        QVERIFY(x->key(QStringLiteral("ctrl+s")));
        QCOMPARE(waitForContent(path, original + "\r\n"), original + "\r\n");

        QVERIFY(x->resize(editor, 900, 640));
        QVERIFY(XSession::waitUntil([&] { return x->windowSize(editor) == QSize(900, 640); }, 10000));
        QVERIFY(x->screenshot(editor, outputPath(QStringLiteral("editor-grown.png"))));
        // Still at work: the file went away meanwhile, so the update asks
        // first, and Overwrite writes the text again.
        QVERIFY(QFile::remove(path));
        QVERIFY(x->key(QStringLiteral("ctrl+s")));
        QVERIFY2(!focus(boxTitle).isEmpty(), qPrintable(run->log()));
        QVERIFY(x->key(QStringLiteral("alt+o")));
        QVERIFY(x->waitForNoWindow(boxTitle));
        QCOMPARE(waitForContent(path, original + "\r\n"), original + "\r\n");

        QVERIFY(closeWith(editorTitle, QStringLiteral("alt+c")));
        QVERIFY(closeWith(mainTitle, QStringLiteral("alt+c")));
        QVERIFY2(endsCleanly(*run), qPrintable(run->log()));
    }

    // Every letter, digit and punctuation key with Ctrl, Alt, Ctrl+Alt and
    // Alt+Shift, through the real X server: in the editor's text area (then
    // saved) and in the mail window's fields (then sent), nothing is typed.
    void strayChordsNeverType_data()
    {
        QTest::addColumn<bool>("mail");
        QTest::newRow("editor text area") << false;
        QTest::newRow("mail fields") << true;
    }

    void strayChordsNeverType()
    {
        QFETCH(bool, mail);
        const QStringList keys
            = QStringLiteral("a b c d e f g h i j k l m n o p q r s t u v w x y z 0 1 2 3 4 5 6 7 "
                             "8 9 grave minus equal bracketleft bracketright backslash "
                             "semicolon apostrophe comma period slash")
                  .split(u' ');
        // The window's own shortcuts and the fields' editing keys act.
        const QStringList acting = mail
            ? QStringList { QStringLiteral("ctrl+v"), QStringLiteral("ctrl+x"), QStringLiteral("ctrl+z"),
                  QStringLiteral("ctrl+y"), QStringLiteral("alt+s"), QStringLiteral("alt+c"),
                  QStringLiteral("alt+o") }
            : QStringList { QStringLiteral("ctrl+s"), QStringLiteral("ctrl+o"), QStringLiteral("ctrl+f"),
                  QStringLiteral("ctrl+v"), QStringLiteral("ctrl+x"), QStringLiteral("ctrl+z"),
                  QStringLiteral("ctrl+y"), QStringLiteral("alt+u"), QStringLiteral("alt+c"),
                  QStringLiteral("alt+o"), QStringLiteral("alt+n") };
        auto sweep = [&] {
            for (const QString &modifiers : { QStringLiteral("ctrl"), QStringLiteral("alt"),
                     QStringLiteral("ctrl+alt"), QStringLiteral("alt+shift") }) {
                QStringList chords;
                for (const QString &key : keys) {
                    const QString chord = modifiers + u'+' + key;
                    if (!acting.contains(chord))
                        chords << chord;
                }
                if (!x->key(chords.join(u' ')))
                    return false;
            }
            return true;
        };

        if (mail) {
            SmtpTestServer server;
            QString why;
            QVERIFY2(server.start(&why), qPrintable(why));
            auto run = launch();
            QVERIFY(run);
            QVERIFY(!focus(mainTitle).isEmpty());
            QVERIFY(x->key(QStringLiteral("ctrl+m")));
            const QString window = focus(mailTitle);
            QVERIFY2(!window.isEmpty(), qPrintable(run->log()));
            // The server field, then the message field, each swept empty.
            QVERIFY(sweep());
            QVERIFY(x->type(QStringLiteral("127.0.0.1:") + server.portText()));
            QVERIFY(x->key(QStringLiteral("Tab")));
            QVERIFY(x->type(QStringLiteral("tess@players.example")));
            QVERIFY(x->key(QStringLiteral("Tab Tab Tab Tab")));
            QVERIFY(sweep());
            QVERIFY(x->type(QStringLiteral("checked")));
            QVERIFY(x->key(QStringLiteral("alt+s")));
            QVERIFY2(XSession::waitUntil([&] { return server.messageCount() == 1; }, 30000),
                qPrintable(run->log()));
            const QJsonObject message = server.inspect(1);
            QCOMPARE(message.value(QStringLiteral("from_address")).toString(),
                QStringLiteral("tess@players.example"));
            QCOMPARE(message.value(QStringLiteral("subject")).toString(),
                QStringLiteral("Updated Ferox.ini File"));
            QCOMPARE(message.value(QStringLiteral("parts"))
                         .toArray()
                         .at(0)
                         .toObject()
                         .value(QStringLiteral("text")),
                QStringLiteral("checked\r\n"));
            QVERIFY(closeWith(mailTitle, QStringLiteral("alt+c")));
            QVERIFY(closeWith(mainTitle, QStringLiteral("alt+c")));
            QVERIFY2(endsCleanly(*run), qPrintable(run->log()));
            return;
        }

        auto prepared = std::make_unique<QTemporaryDir>();
        const QString path = prepared->filePath(QStringLiteral("stray.ini"));
        const QByteArray original = "[Alpha Racer (E)]\r\nUCode=1\r\n\r\n[Beta Quest (U)]\r\nUCode=2\r\n";
        writeFile(path, original);
        auto run = launch(QStringLiteral(FEROX_PROGRAM), {}, true, { path });
        QVERIFY(run);
        QVERIFY2(!focus(editorTitle).isEmpty(), qPrintable(run->log()));
        // From Update INI to the text area, past the disabled Find Next.
        QVERIFY(x->key(QStringLiteral("Tab Tab Tab Tab Tab Tab")));
        QVERIFY(sweep());
        QVERIFY(x->key(QStringLiteral("ctrl+Home")));
        QVERIFY(x->type(QStringLiteral("; checked")));
        QVERIFY(x->key(QStringLiteral("Return ctrl+s")));
        const QByteArray expected = "; checked\r\n" + original;
        QCOMPARE(waitForContent(path, expected), expected);
        QVERIFY(closeWith(editorTitle, QStringLiteral("alt+c")));
        QVERIFY(closeWith(mainTitle, QStringLiteral("alt+c")));
        QVERIFY2(endsCleanly(*run), qPrintable(run->log()));
    }

    void mailWindowSendsTheFile()
    {
        // A submission server as providers run them: STARTTLS and a login,
        // with a certificate of the test's own authority.
        TestCa ca;
        QString why;
        QVERIFY2(ca.make(&why), qPrintable(why));
        SmtpTestServer server;
        server.setTls(ca.good().certificate, ca.good().key, false, true);
        server.setLogin(QStringLiteral("tess@players.example"), QStringLiteral("comet"), true);
        QVERIFY2(server.start(&why), qPrintable(why));
        QProcessEnvironment trust;
        trust.insert(QStringLiteral("SSL_CERT_FILE"), ca.authorityFile());
        auto run = launch(QStringLiteral(FEROX_PROGRAM), trust);
        QVERIFY(run);

        // The file to send.
        writeFile(run->ini(), kPromptEntry);
        QVERIFY(!focus(mainTitle).isEmpty());

        QVERIFY(x->key(QStringLiteral("ctrl+m")));
        const QString mail = focus(mailTitle);
        QVERIFY2(!mail.isEmpty(), qPrintable(run->log()));
        // Server, sender; recipient and subject keep their presets; the body; then
        // Close, Send and "...", whose dialog opens in the program's folder.
        QVERIFY(x->type(QStringLiteral("127.0.0.1:") + server.portText()));
        QVERIFY(x->key(QStringLiteral("Tab")));
        QVERIFY(x->type(QStringLiteral("tess@players.example")));
        QVERIFY(x->key(QStringLiteral("Tab Tab Tab Tab")));
        QVERIFY(x->type(QStringLiteral("Comet Rally added.")));
        QVERIFY(x->key(QStringLiteral("Tab Tab Tab space")));
        const QString dialog = x->waitForWindow(QStringLiteral("^Open$"));
        QVERIFY2(!dialog.isEmpty(), qPrintable(run->log()));
        QVERIFY(x->activate(dialog));
        QVERIFY(x->type(QStringLiteral("Ferox.ini")));
        QVERIFY(x->key(QStringLiteral("Return")));
        QVERIFY(x->waitForNoWindow(QStringLiteral("^Open$")));
        QVERIFY(x->activate(mail));
        QVERIFY(x->key(QStringLiteral("shift+Tab Return")));

        // The server asks for a login: the dialog opens on the user name (the
        // From address), Tab leads to the password, Enter goes on.
        const QString login = focus(QStringLiteral("^Login$"));
        QVERIFY2(!login.isEmpty(), qPrintable(run->log()));
        QVERIFY(x->screenshot(login, outputPath(QStringLiteral("mail-login.png"))));
        QVERIFY(x->key(QStringLiteral("Tab")));
        QVERIFY(x->type(QStringLiteral("comet")));
        QVERIFY(x->key(QStringLiteral("Return")));

        QVERIFY2(
            XSession::waitUntil([&] { return server.messageCount() == 1; }, 30000), qPrintable(run->log()));
        const QJsonObject message = server.inspect(1);
        QCOMPARE(message.value(QStringLiteral("defects")).toArray().size(), 0);
        QCOMPARE(
            message.value(QStringLiteral("from")).toString(), QStringLiteral("tess <tess@players.example>"));
        QCOMPARE(
            message.value(QStringLiteral("to")).toString(), QStringLiteral("maintainers@ferox64.example"));
        QCOMPARE(
            message.value(QStringLiteral("subject")).toString(), QStringLiteral("Updated Ferox.ini File"));
        bool attached = false;
        for (const QJsonValue part : message.value(QStringLiteral("parts")).toArray()) {
            const QJsonObject o = part.toObject();
            if (o.value(QStringLiteral("filename")).toString() == QStringLiteral("Ferox.ini")) {
                attached = true;
                QCOMPARE(QByteArray::fromBase64(o.value(QStringLiteral("bytes")).toString().toLatin1()),
                    kPromptEntry);
            }
        }
        QVERIFY2(attached, QJsonDocument(message).toJson().constData());
        QCOMPARE(server.envelope(1).value(QStringLiteral("rcpt_tos")).toArray().at(0).toString(),
            QStringLiteral("maintainers@ferox64.example"));
        // The window shows the outcome once the server has answered, and keeps it.
        QTest::qWait(1000);
        QVERIFY(x->activate(mail));
        QVERIFY(x->screenshot(mail, outputPath(QStringLiteral("mail.png"))));

        // The mail window closed by the window manager, then the main window.
        QVERIFY(closeWith(mailTitle, QStringLiteral("alt+F4")));
        QVERIFY(closeWith(mainTitle, QStringLiteral("alt+c")));
        QVERIFY2(endsCleanly(*run), qPrintable(run->log()));
    }

    void aboutBoxAndClosingInAnyOrder()
    {
        auto run = launch();
        QVERIFY(run);
        QVERIFY(!focus(mainTitle).isEmpty());
        QVERIFY(x->key(QStringLiteral("alt+a")));
        const QString about = focus(aboutTitle);
        QVERIFY2(!about.isEmpty(), qPrintable(run->log()));
        QVERIFY(x->screenshot(about, outputPath(QStringLiteral("about.png"))));
        QVERIFY(closeWith(aboutTitle, QStringLiteral("Escape")));

        // About box and mail window open, then: main window, About box, mail window.
        QVERIFY(!focus(mainTitle).isEmpty());
        QVERIFY(x->key(QStringLiteral("alt+a")));
        QVERIFY(!x->waitForWindow(aboutTitle).isEmpty());
        QVERIFY(!focus(mainTitle).isEmpty());
        QVERIFY(x->key(QStringLiteral("alt+m")));
        QVERIFY(!x->waitForWindow(mailTitle).isEmpty());
        QCOMPARE(x->visibleWindows(aboutTitle).size(), 1);
        QVERIFY(closeWith(mainTitle, QStringLiteral("alt+c")));
        QVERIFY(stillRunning(*run));
        QVERIFY(closeWith(aboutTitle, QStringLiteral("Escape")));
        QVERIFY(stillRunning(*run));
        QVERIFY(closeWith(mailTitle, QStringLiteral("alt+F4")));
        QVERIFY2(endsCleanly(*run), qPrintable(run->log()));
    }

    void refusedWriteSaysWhereTheFileLives()
    {
        auto run = launch();
        QVERIFY(run);
        const QByteArray kept = "[Kept]\r\nUCode=1\r\n";
        writeFile(run->ini(), kept);
        QVERIFY(QFile::setPermissions(run->ini(), QFileDevice::ReadOwner | QFileDevice::ReadOther));
        QVERIFY(!focus(mainTitle).isEmpty());
        QVERIFY(x->key(QStringLiteral("Tab Tab Tab Tab")));
        QVERIFY(x->type(QStringLiteral("Comet")));
        QVERIFY(x->key(QStringLiteral("alt+d")));
        const QString box = focus(boxTitle);
        QVERIFY2(!box.isEmpty(), qPrintable(run->log()));
        QVERIFY(x->screenshot(box, outputPath(QStringLiteral("write-refused.png"))));
        QVERIFY(x->key(QStringLiteral("Return")));
        QVERIFY(x->waitForNoWindow(boxTitle));
        QCOMPARE(readFile(run->ini()), kept);
        QVERIFY(closeWith(mainTitle, QStringLiteral("alt+c")));
        QVERIFY2(endsCleanly(*run), qPrintable(run->log()));
    }

    // Under a file size limit (ulimit -f) smaller than the new file, add entry
    // fails with a message, as on a full disk; the program goes on, the file
    // is as it was and nothing is left beside it.
    void fileSizeLimitIsAFailureNotAnEnd()
    {
        const QByteArray kept = "[Kept]\r\nUCode=1\r\n" + QByteArray(3 << 20, ';') + "\r\n";
        const rlim_t limit = kept.size() + 16;
        auto run = launch(QStringLiteral(FEROX_PROGRAM), {}, true, {}, [limit] {
            const struct rlimit size {
                limit, limit
            };
            ::setrlimit(RLIMIT_FSIZE, &size);
        });
        QVERIFY(run);
        writeFile(run->ini(), kept);
        const QStringList before = QDir(run->folder.path()).entryList(QDir::Files | QDir::Hidden);
        QVERIFY2(!focus(mainTitle).isEmpty(), qPrintable(run->log()));
        QVERIFY(x->key(QStringLiteral("alt+d")));
        const QString box = focus(boxTitle);
        QVERIFY2(!box.isEmpty(), qPrintable(run->log()));
        QVERIFY(x->screenshot(box, outputPath(QStringLiteral("file-size-limit.png"))));
        QVERIFY(x->key(QStringLiteral("Return")));
        QVERIFY(x->waitForNoWindow(boxTitle));
        QVERIFY(stillRunning(*run));
        QCOMPARE(readFile(run->ini()), kept);
        QCOMPARE(QDir(run->folder.path()).entryList(QDir::Files | QDir::Hidden), before);
        QVERIFY(closeWith(mainTitle, QStringLiteral("alt+c")));
        QVERIFY2(endsCleanly(*run), qPrintable(run->log()));
    }

    void installedProgramRuns()
    {
        QTemporaryDir prefix;
        QProcess install;
        install.setProcessChannelMode(QProcess::MergedChannels);
        install.start(QStringLiteral(FEROX_CMAKE_COMMAND),
            { QStringLiteral("--install"), QStringLiteral(FEROX_BUILD_DIR), QStringLiteral("--prefix"),
                prefix.path() });
        QVERIFY(install.waitForFinished(60000));
        QVERIFY2(install.exitCode() == 0, install.readAll().constData());

        const QString desktop
            = prefix.filePath(QStringLiteral("share/applications/ferox-ini-editor.desktop"));
        for (const QString &file : { QStringLiteral("bin/ferox-ini-editor"),
                 QStringLiteral("share/icons/hicolor/scalable/apps/ferox-ini-editor.svg"),
                 QStringLiteral("share/mime/packages/ferox-ini-editor.xml") })
            QVERIFY2(QFileInfo(prefix.filePath(file)).size() > 0, qPrintable(file));
        // Each bitmap icon has the size its folder promises.
        for (int size : { 16, 24, 32, 48, 64, 128, 256 }) {
            const QString file
                = QStringLiteral("share/icons/hicolor/%1x%1/apps/ferox-ini-editor.png").arg(size);
            QCOMPARE(QImageReader(prefix.filePath(file)).size(), QSize(size, size));
        }
        QVERIFY2(readFile(desktop).contains("\nExec=ferox-ini-editor %f\n"), readFile(desktop).constData());
        QVERIFY(readFile(prefix.filePath(QStringLiteral("share/mime/packages/ferox-ini-editor.xml")))
                    .contains("<glob pattern=\"*.ini\"/>"));

        const QString validator = QStandardPaths::findExecutable(QStringLiteral("desktop-file-validate"));
        QVERIFY2(
            !validator.isEmpty(), "desktop-file-validate is missing (Debian package desktop-file-utils)");
        QProcess validate;
        validate.setProcessChannelMode(QProcess::MergedChannels);
        validate.start(validator, { desktop });
        QVERIFY(validate.waitForFinished(20000));
        const QByteArray complaints = validate.readAll();
        QVERIFY2(validate.exitCode() == 0 && complaints.trimmed().isEmpty(), complaints.constData());

        // The installed copy writes the Ferox.ini beside itself.
        const QString installed = prefix.filePath(QStringLiteral("bin/ferox-ini-editor"));
        auto run = launch(installed, {}, false);
        QVERIFY(run);
        QVERIFY2(!focus(mainTitle).isEmpty(), qPrintable(run->log()));
        QVERIFY(x->key(QStringLiteral("Tab Tab Tab Tab")));
        QVERIFY(x->type(QStringLiteral("Comet")));
        QVERIFY(x->key(QStringLiteral("alt+d")));
        const QString ini = prefix.filePath(QStringLiteral("bin/Ferox.ini"));
        const QByteArray expected = "[Comet]\r\n//=\r\nAltTitle=\r\nComments=\r\nUCode=\r\n";
        QCOMPARE(waitForContent(ini, expected), expected);
        QVERIFY(closeWith(mainTitle, QStringLiteral("alt+c")));
        QVERIFY2(endsCleanly(*run), qPrintable(run->log()));
    }
};

QTEST_GUILESS_MAIN(TestEndToEnd)
#include "test_e2e.moc"
