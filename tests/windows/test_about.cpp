#include "forms/SysInfo.h"
#include "forms/frmAbout.h"
#include "platform/ClassicLook.h"
#include "platform/MessageBox.h"
#include "platform/Registry.h"
#include "platform/ShowOnce.h"

#include "TestConfig.h"
#include "TestFiles.h"
#include "TestWidgets.h"
#include "WindowLayout.h"
#include "core/Version.h"

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include <cstring>

using namespace registry;

namespace {
const QString kKey = QString::fromLatin1(kSysInfoKey);
const QString kPath = QString::fromLatin1(kSysInfoPathValue);
const QString kFolderKey = QString::fromLatin1(kSysInfoFolderKey);
const QString kFolder = QString::fromLatin1(kSysInfoFolderValue);
const QString kUnavailable = QStringLiteral("System Information Is Unavailable At This Time");

// A stand-in system-information program: a shell script that leaves a marker
// file behind when it runs.
QString writeStandIn(const QString &path, const QString &marker)
{
    if (!writeBytes(path, "#!/bin/sh\necho started > '" + QFile::encodeName(marker) + "'\n"))
        return QString();
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return path;
}

frmAbout *openAbout()
{
    frmAbout *about = showonce::show<frmAbout>();
    if (about && !QTest::qWaitForWindowActive(about))
        return nullptr;
    return about;
}
} // namespace

class TestAbout : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { prepareWindowTests(); }
    void init()
    {
        registry::clear();
        messagebox::takeRecorded();
    }
    void cleanup()
    {
        if (frmAbout *about = showonce::instance<frmAbout>())
            about->close();
        QTRY_VERIFY(!showonce::instance<frmAbout>());
        QCOMPARE(registry::openHandleCount(), 0);
    }

    void artwork()
    {
        const QPixmap icon = classiclook::windowIcon().pixmap(32, 32);
        QCOMPARE(icon.size(), QSize(32, 32));
        QImage picture(QStringLiteral(":/images/about.png"));
        QCOMPARE(picture.size(), QSize(91, 83));
        QVERIFY(!picture.hasAlphaChannel());
    }

    void window()
    {
        frmAbout *about = openAbout();
        QVERIFY(about);
        QCOMPARE(about->windowTitle(), QStringLiteral("About Ferox64 INI Editor..."));
        QCOMPARE(about->minimumSize(), about->maximumSize());
        const Qt::WindowFlags flags = about->windowFlags();
        QCOMPARE(flags & Qt::WindowType_Mask, Qt::Tool);
        QVERIFY(flags & Qt::WindowCloseButtonHint);
        QVERIFY(!(flags & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
        QVERIFY(!about->windowIcon().isNull());
        QCOMPARE(about->font(), classiclook::dialogFont());
        QCOMPARE(QApplication::focusWidget(), child<QPushButton>(about, "cmdOK"));
        auto *ok = child<QPushButton>(about, "cmdOK");
        QVERIFY(ok->isDefault());
        // The focus runs between the two buttons; the labels and the picture take none.
        QCOMPARE(ok->nextInFocusChain(), child<QPushButton>(about, "cmdSysInfo"));
        QCOMPARE(child<QLabel>(about, "picIcon")->pixmap().size(), QSize(91, 83));
    }

    void controls_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("text");
        QTest::newRow("lblTitle") << "lblTitle"
                                  << "Ferox64 INI Editor";
        QTest::newRow("lblVersion")
            << "lblVersion" << QStringLiteral("Version %1").arg(QLatin1StringView(buildinfo::kVersion));
        QTest::newRow("lblDescription")
            << "lblDescription"
            << "Ferox64 INI Editor is designed for INI editors so that they can add new games and make "
               "changes to existing ones.";
        // Invented credits only: the address stays on a reserved example domain.
        QTest::newRow("Label1") << "Label1"
                                << "www.ferox64.example.org";
        QTest::newRow("cmdOK") << "cmdOK"
                               << "OK";
        QTest::newRow("cmdSysInfo") << "cmdSysInfo"
                                    << "&System Info...";
    }
    void controls()
    {
        QFETCH(QString, name);
        QFETCH(QString, text);
        frmAbout *about = openAbout();
        QVERIFY(about);
        QCOMPARE(child<QWidget>(about, name)->property("text").toString(), text);
    }

    // The window is fixed-size, so a font wider than ours would cut a caption
    // off; every control shows whole, on no other.
    void layoutAsSeen()
    {
        frmAbout *about = openAbout();
        QVERIFY(about);
        const QStringList faults = windowlayout::faults(about);
        QVERIFY2(faults.isEmpty(), qPrintable(faults.join(u'\n')));
        QVERIFY(windowlayout::controls(about).contains(child<QWidget>(about, "picIcon")));
        // The credits are the designer's to word; they must be there.
        for (const char *credits : { "Label2", "Label3" })
            QVERIFY(!child<QLabel>(about, credits)->text().isEmpty());
    }

    // Black title and description on a light palette; on a dark one (opened
    // dark, or switched while open) the palette's own light text.
    void textFollowsThePalette()
    {
        const QPalette light = QApplication::palette();
        QPalette dark = light;
        dark.setColor(QPalette::Window, QColor(0x20, 0x20, 0x20));
        dark.setColor(QPalette::WindowText, QColor(0xe0, 0xe0, 0xe0));
        const auto textColours = [](frmAbout *about) {
            QList<QColor> colours;
            for (const char *name : { "lblTitle", "lblDescription", "lblVersion" })
                colours << child<QLabel>(about, name)->palette().color(QPalette::WindowText);
            return colours;
        };
        frmAbout *about = openAbout();
        QVERIFY(about);
        QCOMPARE(textColours(about).first(), QColor(Qt::black));
        QCOMPARE(textColours(about).at(1), QColor(Qt::black));
        QApplication::setPalette(dark);
        QTRY_COMPARE(textColours(about), QList<QColor>(3, dark.color(QPalette::WindowText)));
        about->close();
        QTRY_VERIFY(!showonce::instance<frmAbout>());
        about = openAbout();
        QVERIFY(about);
        QCOMPARE(textColours(about), QList<QColor>(3, dark.color(QPalette::WindowText)));
        QApplication::setPalette(light);
    }

    void closes_data()
    {
        QTest::addColumn<int>("key");
        QTest::newRow("Enter") << int(Qt::Key_Return);
        QTest::newRow("keypad Enter") << int(Qt::Key_Enter);
        QTest::newRow("Escape") << int(Qt::Key_Escape);
        QTest::newRow("OK clicked") << 0;
        QTest::newRow("close box") << -1;
    }

    void closes()
    {
        QFETCH(int, key);
        QPointer<frmAbout> about = openAbout();
        QVERIFY(about);
        if (key > 0)
            QTest::keyClick(QApplication::focusWidget(), Qt::Key(key));
        else if (key == 0)
            QTest::mouseClick(child<QPushButton>(about, "cmdOK"), Qt::LeftButton);
        else
            QVERIFY(about->close());
        QTRY_VERIFY(!about);
        QVERIFY(!showonce::instance<frmAbout>());
    }

    void shownOnceAndLoadedAfresh()
    {
        QPointer<frmAbout> first = openAbout();
        QVERIFY(first);
        QCOMPARE(showonce::show<frmAbout>(), first.data());
        int open = 0;
        for (QWidget *w : QApplication::topLevelWidgets())
            open += qobject_cast<frmAbout *>(w) && w->isVisible() ? 1 : 0;
        QCOMPARE(open, 1);
        first->close();
        QTRY_VERIFY(!first);
        QPointer<frmAbout> second = openAbout();
        QVERIFY(second);
        QCOMPARE(QApplication::focusWidget(), child<QPushButton>(second, "cmdOK"));
    }

    // The box is a tool window, which would not normally keep the program
    // running: closing the main window must leave it (and the program) up, and
    // closing it then must end the program.
    void keepsProgramRunningWithoutMainWindow()
    {
        QProcess program;
        program.start(
            QStringLiteral(FEROX_BUILD_TESTS_DIR "/helper_about_window"), { QStringLiteral("lifetime") });
        QVERIFY(program.waitForFinished(10000));
        QCOMPARE(program.readAllStandardOutput().trimmed(), QByteArray("about open after main closed: yes"));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 0);
    }

    void getKeyValue_data()
    {
        QTest::addColumn<bool>("store");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        QTest::addColumn<quint32>("type");
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<bool>("read");
        QTest::addColumn<QString>("expected");
        const QByteArray path = QByteArrayLiteral("/usr/bin/sysinfo");
        const QByteArray nul(1, '\0');
        QTest::newRow("text with NUL")
            << true << kKey << kPath << REG_SZ << path + nul << true << "/usr/bin/sysinfo";
        QTest::newRow("text without NUL")
            << true << kKey << kPath << REG_SZ << path << true << "/usr/bin/sysinfo";
        QTest::newRow("names in other case")
            << true << kKey.toUpper() << "path" << REG_SZ << path + nul << true << "/usr/bin/sysinfo";
        QTest::newRow("8-bit text") << true << kKey << kPath << REG_SZ
                                    << QByteArray("/opt/caf\xe9\x80", 10) + nul << true
                                    << QString::fromUtf8("/opt/café€");
        QTest::newRow("only a NUL") << true << kKey << kPath << REG_SZ << nul << true << "";
        QTest::newRow("empty value") << true << kKey << kPath << REG_SZ << QByteArray() << true << "";
        QTest::newRow("NUL inside is kept") << true << kKey << kPath << REG_SZ << QByteArray("ab\0c", 4)
                                            << true << QString::fromLatin1("ab\0c", 4);
        QTest::newRow("fills the buffer")
            << true << kKey << kPath << REG_SZ << QByteArray(1024, 'x') << true << QString(1024, u'x');
        QTest::newRow("larger than the buffer")
            << true << kKey << kPath << REG_SZ << QByteArray(1025, 'x') << false << "";
        // Type 4: a 32-bit number.
        QTest::newRow("number") << true << kKey << kPath << quint32(4) << QByteArray("\x01\0\0\0", 4) << false
                                << "";
        QTest::newRow("missing value") << true << kKey << "Other" << REG_SZ << path + nul << false << "";
        QTest::newRow("missing key") << true << kFolderKey << kPath << REG_SZ << path + nul << false << "";
        QTest::newRow("parent key without the value")
            << true << "SOFTWARE\\Microsoft" << kPath << REG_SZ << path + nul << false << "";
        QTest::newRow("empty store") << false << kKey << kPath << REG_SZ << QByteArray() << false << "";
    }

    void getKeyValue()
    {
        QFETCH(bool, store);
        QFETCH(QString, key);
        QFETCH(QString, value);
        QFETCH(quint32, type);
        QFETCH(QByteArray, data);
        QFETCH(bool, read);
        QFETCH(QString, expected);
        if (store)
            registry::setValue(HKEY_LOCAL_MACHINE, kKey, kPath, type, data);
        QString result = QStringLiteral("stale");
        QCOMPARE(GetKeyValue(HKEY_LOCAL_MACHINE, key, value, result), read);
        QCOMPARE(result, expected);
        QCOMPARE(registry::openHandleCount(), 0);
    }

    void registryReadsLikeTheSystem()
    {
        registry::setText(HKEY_LOCAL_MACHINE, kKey, kPath, QStringLiteral("abc"));
        HKEY sub = 0;
        QCOMPARE(
            RegOpenKeyExA(HKEY_LOCAL_MACHINE, "software\\MICROSOFT\\\\Shared Tools\\MSINFO\\", 0, 0, &sub),
            ERROR_SUCCESS);
        std::uint32_t type = 0;
        std::uint32_t size = 0;
        QCOMPARE(RegQueryValueExA(sub, "PATH", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
        QCOMPARE(type, REG_SZ);
        QCOMPARE(size, 4u);
        unsigned char small[2] = { '-', '-' };
        size = sizeof small;
        QCOMPARE(RegQueryValueExA(sub, "PATH", nullptr, &type, small, &size), ERROR_MORE_DATA);
        QCOMPARE(size, 4u);
        QCOMPARE(small[0], '-');
        unsigned char buffer[8] = {};
        size = sizeof buffer;
        QCOMPARE(RegQueryValueExA(sub, "PATH", nullptr, &type, buffer, &size), ERROR_SUCCESS);
        QCOMPARE(QByteArray(reinterpret_cast<char *>(buffer), int(size)), QByteArray("abc", 4));
        QCOMPARE(RegCloseKey(sub), ERROR_SUCCESS);
        QCOMPARE(RegCloseKey(sub), ERROR_INVALID_HANDLE);
        QCOMPARE(RegQueryValueExA(sub, "PATH", nullptr, &type, buffer, &size), ERROR_INVALID_HANDLE);
        QCOMPARE(RegCloseKey(0), ERROR_INVALID_HANDLE);
        HKEY key = 99;
        QCOMPARE(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Other", 0, 0, &key), ERROR_FILE_NOT_FOUND);
        QCOMPARE(key, HKEY(0));
    }

    // On this desktop the registry answers with a system-information program
    // found on the PATH.
    void desktopAnswer()
    {
        QTemporaryDir bin;
        QVERIFY(bin.isValid());
        const QByteArray oldPath = qgetenv("PATH");
        auto restore = qScopeGuard([&] { qputenv("PATH", oldPath); });
        qputenv("PATH", QFile::encodeName(bin.path()));
        registry::fillFromDesktop();
        QString value;
        QVERIFY(!GetKeyValue(HKEY_LOCAL_MACHINE, kKey, kPath, value));

        const QString program
            = writeStandIn(bin.filePath(QStringLiteral("kinfocenter")), bin.filePath("marker"));
        QVERIFY(!program.isEmpty());
        registry::fillFromDesktop();
        QVERIFY(GetKeyValue(HKEY_LOCAL_MACHINE, kKey, kPath, value));
        QCOMPARE(value, program);
        // A better candidate wins over a later one in the list.
        const QString better = writeStandIn(bin.filePath(QStringLiteral("hardinfo")), bin.filePath("marker"));
        registry::fillFromDesktop();
        QVERIFY(GetKeyValue(HKEY_LOCAL_MACHINE, kKey, kPath, value));
        QCOMPARE(value, better);
    }

    void startSysInfo_data()
    {
        QTest::addColumn<QString>("pathValue"); // "@" stands for the stand-in, "" for no value
        QTest::addColumn<QString>("folderValue"); // "@" stands for the folder holding MSINFO32.EXE
        QTest::addColumn<bool>("starts");
        QTest::newRow("program path") << "@"
                                      << "" << true;
        QTest::newRow("program path wins") << "@"
                                           << "/nowhere" << true;
        QTest::newRow("program folder") << ""
                                        << "@" << true;
        QTest::newRow("folder without the program") << ""
                                                    << "/nowhere" << false;
        QTest::newRow("path that does not start") << "/nowhere/sysinfo"
                                                  << "@" << false;
        QTest::newRow("nothing installed") << ""
                                           << "" << false;
    }

    void startSysInfo()
    {
        QFETCH(QString, pathValue);
        QFETCH(QString, folderValue);
        QFETCH(bool, starts);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString marker = dir.filePath(QStringLiteral("marker"));
        const QString standIn = writeStandIn(dir.filePath(QStringLiteral("sysinfo")), marker);
        QVERIFY(!standIn.isEmpty());
        QVERIFY(QFile::copy(standIn, dir.filePath(QStringLiteral("MSINFO32.EXE"))));
        if (!pathValue.isEmpty())
            registry::setText(HKEY_LOCAL_MACHINE, kKey, kPath, pathValue == u'@' ? standIn : pathValue);
        if (!folderValue.isEmpty())
            registry::setText(
                HKEY_LOCAL_MACHINE, kFolderKey, kFolder, folderValue == u'@' ? dir.path() : folderValue);

        QCOMPARE(StartSysInfo(), starts);
        // The launcher tells only its caller; the window shows the message.
        QVERIFY(messagebox::takeRecorded().isEmpty());
        if (starts) {
            QTRY_VERIFY(QFile::exists(marker));
        } else {
            QTest::qWait(100);
            QVERIFY(!QFile::exists(marker));
        }
    }

    void systemInfoButton()
    {
        QTemporaryDir dir;
        const QString marker = dir.filePath(QStringLiteral("marker"));
        registry::setText(
            HKEY_LOCAL_MACHINE, kKey, kPath, writeStandIn(dir.filePath(QStringLiteral("sysinfo")), marker));
        frmAbout *about = openAbout();
        QVERIFY(about);
        QTest::keyClick(about, Qt::Key_S, Qt::AltModifier);
        QTRY_VERIFY(QFile::exists(marker));
        QVERIFY(showonce::instance<frmAbout>());

        registry::clear();
        QTest::mouseClick(child<QPushButton>(about, "cmdSysInfo"), Qt::LeftButton);
        const QList<messagebox::Record> boxes = messagebox::takeRecorded();
        QCOMPARE(boxes.size(), 1);
        QCOMPARE(boxes[0].title, messagebox::programTitle());
        QCOMPARE(boxes[0].text, kUnavailable);
        QCOMPARE(boxes[0].icon, messagebox::Icon::None);
    }
};

QTEST_MAIN(TestAbout)
#include "test_about.moc"
