#include "editor/OpenProgress.h"

#include <QApplication>
#include <QProgressDialog>

#include <algorithm>

namespace {

int g_delayMs = 1000;
constexpr int kSteps = 1000;

} // namespace

void OpenProgress::setDelay(int milliseconds)
{
    g_delayMs = milliseconds;
}

OpenProgress::OpenProgress(QWidget *parent, qint64 fileBytes)
    : m_parent(parent), m_fileBytes(std::max<qint64>(fileBytes, 1))
{
    m_clock.start();
}

OpenProgress::~OpenProgress()
{
    delete m_dialog;
}

bool OpenProgress::step(qint64 done)
{
    if (m_cancelled)
        return false;
    if (!m_dialog && m_clock.elapsed() >= g_delayMs) {
        m_dialog = new QProgressDialog(QApplication::translate("OpenProgress", "Opening the file..."),
            QApplication::translate("OpenProgress", "Cancel"), 0, kSteps, m_parent);
        m_dialog->setObjectName(QStringLiteral("openProgress"));
        m_dialog->setWindowModality(Qt::WindowModal);
        m_dialog->setMinimumDuration(0);
        m_dialog->setAutoReset(false);
        m_dialog->setAutoClose(false);
    }
    if (m_dialog) {
        // A window-modal progress dialog lets the events through on each
        // step, so Cancel (and Escape) are heard while the file is read.
        m_dialog->setValue(static_cast<int>(std::min<qint64>(kSteps, done * kSteps / (2 * m_fileBytes))));
        QCoreApplication::processEvents();
        m_cancelled = m_dialog->wasCanceled();
    }
    return !m_cancelled;
}
