#include "app/CommandLine.h"
#include "app/Form1.h"
#include "core/Version.h"
#include "editor/frmINIEditor.h"
#include "fileio/FileSizeLimit.h"
#include "platform/ClassicLook.h"
#include "platform/ShowOnce.h"

#include <QApplication>
#include <QFile>

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
    QApplication::setApplicationVersion(QLatin1StringView(buildinfo::kVersion));
    classiclook::apply(app);
    // The program ends when its last window closes, not when Form1 does.
    QApplication::setQuitOnLastWindowClosed(true);
    showonce::show<Form1>();
    if (!request.file.isEmpty())
        frmINIEditor::showOn(request.file);
    return QApplication::exec();
}
