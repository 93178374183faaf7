#pragma once

#include <QString>
#include <QStringList>

// What the program was asked to do on its command line:
//
//   ferox-ini-editor [FILE]    the main window, and the editor on FILE
//   ferox-ini-editor --help    the usage, then exit
//   ferox-ini-editor --version the name and version, then exit
//
// The options of the window system that every Qt program takes (-platform,
// -style, -display, ...) are passed over here and left to Qt.
namespace commandline {

struct Request {
    enum class Action { Run, Help, Version, Error };
    Action action = Action::Error;
    QString file; // Run: the file to open in the editor, empty for none
    QString error; // Error: what was wrong, for standard error
};

// `arguments` as the program received them, the program's own name first.
Request parse(const QStringList &arguments);

QString helpText();
QString versionText();

// The exit status for a command line the program does not understand.
inline constexpr int kUsageError = 2;

} // namespace commandline
