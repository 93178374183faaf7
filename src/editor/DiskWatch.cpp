#include "editor/DiskWatch.h"

#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>

namespace {
// Long enough for a writer's steps to end, short enough to feel immediate.
constexpr int kQuietMs = 150;
} // namespace

DiskWatch::DiskWatch(QObject *parent) : QObject(parent)
{
    m_quiet.setSingleShot(true);
    m_quiet.setInterval(kQuietMs);
    connect(&m_watcher, &QFileSystemWatcher::fileChanged, this, &DiskWatch::noted);
    connect(&m_quiet, &QTimer::timeout, this, [this] {
        follow();
        Q_EMIT changed();
    });
}

void DiskWatch::watch(const QString &path)
{
    const QString absolute = path.isEmpty() ? QString() : QFileInfo(path).absoluteFilePath();
    if (absolute == m_path) {
        follow();
        return;
    }
    if (!m_watcher.files().isEmpty())
        m_watcher.removePaths(m_watcher.files());
    m_quiet.stop();
    m_path = absolute;
    follow();
}

void DiskWatch::noted()
{
    m_quiet.start();
}

// The watch on a file ends with the file (a rename over it, a delete): watch
// the file that stands at the path now.
void DiskWatch::follow()
{
    if (!m_path.isEmpty() && !m_watcher.files().contains(m_path) && QFileInfo::exists(m_path))
        m_watcher.addPath(m_path);
}

bool DiskWatch::looksUnchanged(const QString &path, const diskstamp::Stamp &stamp)
{
    struct stat st { };
    if (!stamp.taken || ::stat(QFile::encodeName(path).constData(), &st) != 0)
        return false;
    const auto ns = [](const timespec &t) { return static_cast<qint64>(t.tv_sec) * 1000000000 + t.tv_nsec; };
    return static_cast<quint64>(st.st_dev) == stamp.device && static_cast<quint64>(st.st_ino) == stamp.inode
        && st.st_size == stamp.size && ns(st.st_mtim) == stamp.mtimeNs && ns(st.st_ctim) == stamp.ctimeNs;
}
