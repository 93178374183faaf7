#include "editor/OpenProgress.h"

#include "platform/MessageBox.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QProgressDialog>
#include <QScreen>

#include <algorithm>
#include <utility>

namespace {

int g_delayMs = 1000;
constexpr int kSteps = 1000;

} // namespace

void OpenProgress::setDelay(int milliseconds)
{
    g_delayMs = milliseconds;
}

OpenProgress::OpenProgress(QWidget *parent, const QString &path, qint64 fileBytes)
    : m_parent(parent), m_path(path), m_fileBytes(std::max<qint64>(fileBytes, 1))
{
    m_clock.start();
}

OpenProgress::~OpenProgress()
{
    delete m_dialog;
}

void OpenProgress::showDialog()
{
    m_dialog = new QProgressDialog(
        QApplication::translate("OpenProgress", "Opening %1...").arg(QFileInfo(m_path).fileName()),
        QApplication::translate("OpenProgress", "Cancel"), 0, kSteps, m_parent);
    m_dialog->setObjectName(QStringLiteral("openProgress"));
    m_dialog->setWindowTitle(messagebox::programTitle());
    m_dialog->setToolTip(QDir::toNativeSeparators(m_path));
    m_dialog->setWindowModality(Qt::WindowModal);
    m_dialog->setMinimumDuration(0);
    m_dialog->setAutoReset(false);
    m_dialog->setAutoClose(false);
    // Escape rejects the dialog, which only hides it: it stops the open too.
    QObject::connect(m_dialog, &QDialog::rejected, m_dialog, &QProgressDialog::cancel);
    // Wide enough for its title.
    m_dialog->setMinimumWidth(
        m_dialog->fontMetrics().horizontalAdvance(m_dialog->windowTitle()) * 3 / 2 + 120);
}

// In the middle of the editor (of the screen while the editor is not shown
// yet), not where the window system puts a new window; once the dialog has
// its size, which it takes when it shows.
void OpenProgress::centreDialog()
{
    const QRect around = m_parent && m_parent->isVisible() ? m_parent->frameGeometry()
        : m_parent && m_parent->screen()                   ? m_parent->screen()->availableGeometry()
                                         : QApplication::primaryScreen()->availableGeometry();
    QRect placed = m_dialog->frameGeometry();
    placed.moveCenter(around.center());
    m_dialog->move(placed.topLeft());
}

bool OpenProgress::step(qint64 done)
{
    if (m_cancelled)
        return false;
    if (!m_dialog && m_clock.elapsed() >= g_delayMs)
        showDialog();
    if (m_dialog) {
        // A window-modal progress dialog lets the events through on each
        // step, so Cancel (and Escape) are heard while the file is read.
        m_dialog->setValue(static_cast<int>(std::min<qint64>(kSteps, done * kSteps / (2 * m_fileBytes))));
        if (!std::exchange(m_centred, true))
            centreDialog();
        QCoreApplication::processEvents();
        m_cancelled = m_dialog->wasCanceled();
    }
    return !m_cancelled;
}
