#include "app/CommandLine.h"
#include "app/Form1.h"
#include "core/Version.h"
#include "forms/frmAbout.h"

#include "TestConfig.h"
#include "TestFiles.h"
#include "TestWidgets.h"

#include <QLabel>
#include <QProcess>
#include <QRegularExpression>
#include <QtTest>

using Action = commandline::Request::Action;
using namespace Qt::StringLiterals;

class TestCommandLine : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void parse_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("action");
        QTest::addColumn<QString>("file");
        const auto row
            = [](const char *name, const QStringList &args, Action action, const QString &file = {}) {
                  QTest::newRow(name)
                      << (QStringList { QStringLiteral("ferox-ini-editor") } + args) << int(action) << file;
              };
        row("nothing", {}, Action::Run);
        row("file", { "Ferox.ini" }, Action::Run, "Ferox.ini");
        row("file with blanks", { "/tmp/my games/Ferox.ini" }, Action::Run, "/tmp/my games/Ferox.ini");
        row("help", { "--help" }, Action::Help);
        row("help wins over a file", { "a.ini", "-h" }, Action::Help);
        row("version", { "--version" }, Action::Version);
        row("short version", { "-v" }, Action::Version);
        row("unknown option", { "--frobnicate" }, Action::Error);
        row("unknown short option", { "-x", "a.ini" }, Action::Error);
        row("two files", { "a.ini", "b.ini" }, Action::Error);
        row("Qt's options pass", { "-platform", "offscreen", "-style=fusion", "-reverse", "a.ini" },
            Action::Run, "a.ini");
        row("Qt option without its value", { "-style" }, Action::Error);
        row("after -- a dash is a file", { "--", "-odd.ini" }, Action::Run, "-odd.ini");
        row("a lone dash is a file", { "-" }, Action::Run, "-");
    }
    void parse()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, action);
        QFETCH(QString, file);
        const commandline::Request request = commandline::parse(arguments);
        QCOMPARE(int(request.action), action);
        QCOMPARE(request.file, file);
        QCOMPARE(request.error.isEmpty(), action != int(Action::Error));
    }

    // The built program answers without a window system: no display is set.
    void programAnswersWithoutADisplay_data()
    {
        QTest::addColumn<QString>("argument");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("stdoutStart");
        QTest::addColumn<QByteArray>("stderrStart");
        QTest::newRow("help") << "--help" << 0 << QByteArray("Usage: ferox-ini-editor [FILE]\n")
                              << QByteArray();
        QTest::newRow("version") << "--version" << 0
                                 << QByteArray("Ferox64 INI Editor ") + buildinfo::kVersion + "\n"
                                 << QByteArray();
        QTest::newRow("unknown") << "--bogus" << 2 << QByteArray()
                                 << QByteArray("ferox-ini-editor: unknown option \"--bogus\"\n");
    }
    void programAnswersWithoutADisplay()
    {
        QFETCH(QString, argument);
        QFETCH(int, status);
        QFETCH(QByteArray, stdoutStart);
        QFETCH(QByteArray, stderrStart);
        QProcess program;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char *name : { "DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM" })
            environment.remove(QLatin1String(name));
        program.setProcessEnvironment(environment);
        program.start(QStringLiteral(FEROX_BUILD_DIR "/src/ferox-ini-editor"), { argument });
        QVERIFY(program.waitForFinished(10000));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), status);
        const QByteArray out = program.readAllStandardOutput();
        const QByteArray err = program.readAllStandardError();
        QVERIFY2(out.startsWith(stdoutStart), out.constData());
        QVERIFY2(err.startsWith(stderrStart), err.constData());
        QCOMPARE(out.isEmpty(), stdoutStart.isEmpty());
    }

    // One version everywhere: the one the Debian package is stamped with is
    // the one --version prints, the main window's caption ends in and the
    // About box shows.
    void versionAgreesWithThePackage()
    {
        const QString config
            = QString::fromUtf8(readFile(QStringLiteral(FEROX_BUILD_DIR "/CPackConfig.cmake")));
        // The Debian version, where one is set apart from the package's.
        const auto setting = [&](const char *name) {
            return QRegularExpression(QStringLiteral("set\\(%1 \"([^\"]*)\"\\)").arg(QLatin1String(name)))
                .match(config);
        };
        QRegularExpressionMatch match = setting("CPACK_DEBIAN_PACKAGE_VERSION");
        if (!match.hasMatch())
            match = setting("CPACK_PACKAGE_VERSION");
        QVERIFY(match.hasMatch());
        const QString version = match.captured(1);
        QVERIFY(!version.isEmpty());

        QProcess program;
        program.start(QStringLiteral(FEROX_PROGRAM), { QStringLiteral("--version") });
        QVERIFY(program.waitForFinished(10000));
        QCOMPARE(QString::fromLocal8Bit(program.readAllStandardOutput()),
            u"Ferox64 INI Editor "_s + version + u'\n');

        prepareWindowTests();
        const Form1 form;
        QCOMPARE(form.windowTitle(), u"Ferox64 INI Editor v"_s + version);
        const frmAbout about;
        QCOMPARE(child<QLabel>(&about, "lblVersion")->text(), u"Version "_s + version);
    }
};

QTEST_MAIN(TestCommandLine)
#include "test_commandline.moc"
