#pragma once

#include <QFont>
#include <QIcon>

class QApplication;

// The look every window of the program shares.
namespace classiclook {

// Tahoma 8.25 pt where the machine has it, else the nearest face it has
// (Liberation Sans, then DejaVu Sans, then the platform default).
QFont dialogFont();

// The 32 x 32 window icon shared by the main window, the editor and the About box.
QIcon windowIcon();

// Makes the program's artwork (":/icons/...", ":/images/...") available; safe to
// call more than once. windowIcon() and apply() call it.
void loadResources();

// Sets the application font and the default window icon.
void apply(QApplication &app);

} // namespace classiclook
