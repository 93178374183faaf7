#pragma once

#include <QString>
#include <QStringList>

#include <optional>

class QWidget;

// The open-file dialog component a window owns. Like the classic common
// dialog it remembers its FileName: a cancelled ShowOpen leaves FileName as it
// was (empty before the first pick), so a caller that copies FileName after a
// cancel gets the last pick back.
//
// The filter is written as pairs of description and pattern joined by "|"
// ("Ferox INI Files|*.ini"); an empty filter shows all files.
class OpenFileDialog {
public:
    QString Filter;
    QString DialogTitle;
    QString FileName;
    // The folder the dialog starts in when no file was picked yet; empty means
    // the current directory.
    QString InitialDir;

    // Shows the modal dialog; true when the user picked a file (FileName holds
    // its full path), false when they cancelled.
    bool ShowOpen(QWidget *parent);

    // Test seam: answers for the next dialogs, in order, instead of showing
    // them. A path is a pick; std::nullopt is a cancel.
    static void setNextAnswers(const QList<std::optional<QString>> &answers);
    // How many dialogs were answered from the seam since the last call.
    static int takeShownCount();
};
