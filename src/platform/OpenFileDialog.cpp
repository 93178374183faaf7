#include "platform/OpenFileDialog.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

namespace {
struct Seam {
    QList<std::optional<QString>> answers;
    int shown = 0;
};
Seam &seam()
{
    static Seam s;
    return s;
}

// "Ferox INI Files|*.ini" -> "Ferox INI Files (*.ini)", as the platform dialog wants it.
QString toQtFilter(const QString &filter)
{
    const QStringList parts = filter.split(u'|');
    QStringList entries;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2)
        entries << QStringLiteral("%1 (%2)").arg(parts[i], QString(parts[i + 1]).replace(u';', u' '));
    return entries.join(QStringLiteral(";;"));
}
} // namespace

bool OpenFileDialog::ShowOpen(QWidget *parent)
{
    std::optional<QString> answer;
    if (!seam().answers.isEmpty()) {
        ++seam().shown;
        answer = seam().answers.takeFirst();
    } else {
        QString start = FileName.isEmpty() ? InitialDir : QFileInfo(FileName).absolutePath();
        if (start.isEmpty())
            start = QDir::currentPath();
        // Like the classic component, the dialog takes a typed name of a file
        // that does not exist; the caller decides what that means.
        QFileDialog dialog(parent, DialogTitle, start, toQtFilter(Filter));
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::AnyFile);
        if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
            answer = QDir::toNativeSeparators(dialog.selectedFiles().constFirst());
    }
    if (!answer)
        return false;
    FileName = *answer;
    return true;
}

void OpenFileDialog::setNextAnswers(const QList<std::optional<QString>> &answers)
{
    seam().answers = answers;
    seam().shown = 0;
}

int OpenFileDialog::takeShownCount()
{
    return std::exchange(seam().shown, 0);
}
