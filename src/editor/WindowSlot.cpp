#include "editor/WindowSlot.h"

#include <QDir>
#include <QFileInfo>

WindowSlot::WindowSlot(const QString &kind)
{
    // The user's runtime folder, which the session empties; else the temporary one.
    QString folder = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        folder = QDir::tempPath();
    for (int index = 0; index < kSlots; ++index) {
        auto lock
            = std::make_unique<QLockFile>(QStringLiteral("%1/ferox-%2-%3.lock").arg(folder, kind).arg(index));
        // A slot left by a program that died is taken over at once.
        lock->setStaleLockTime(0);
        if (lock->tryLock(0)) {
            m_lock = std::move(lock);
            m_index = index;
            return;
        }
    }
    // Every slot taken: the next window opens where the last one does.
    m_index = kSlots - 1;
}
