#include "app/CommandLine.h"
#include "app/Form1.h"
#include "editor/frmINIEditor.h"
#include "fileio/FileSizeLimit.h"
#include "platform/ClassicLook.h"
#include "platform/ShowOnce.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>

#include <cstdio>

int main(int argc, char *argv[])
{
    filebytes::ignoreFileSizeSignal();
    // The command line is read before the window system is reached, so that
    // --help, --version and a mistyped option answer without a display.
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QFile::decodeName(argv[i]);
    const commandline::Request request = commandline::parse(arguments);
    switch (request.action) {
    case commandline::Request::Action::Help:
        std::fputs(qPrintable(commandline::helpText()), stdout);
        return 0;
    case commandline::Request::Action::Version:
        std::fputs(qPrintable(commandline::versionText()), stdout);
        return 0;
    case commandline::Request::Action::Error:
        std::fprintf(stderr, "ferox-ini-editor: %s\nTry \"ferox-ini-editor --help\" for more.\n",
            qPrintable(request.error));
        return commandline::kUsageError;
    case commandline::Request::Action::Run:
        break;
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Ferox64 INI Editor"));
    QApplication::setApplicationVersion(QStringLiteral("1.0.1"));
    classiclook::apply(app);
    // The program ends when its last window closes, not when Form1 does.
    QApplication::setQuitOnLastWindowClosed(true);
    showonce::show<Form1>();
    // The editor makes its own folder the current one: a relative FILE means
    // one in the folder the program was started from.
    if (!request.file.isEmpty())
        frmINIEditor::showOn(QFileInfo(request.file).absoluteFilePath());
    return QApplication::exec();
}
