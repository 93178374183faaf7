#pragma once

#include <QLockFile>
#include <QPoint>
#include <QString>

#include <memory>

// Editors of several running programs would all open in the same place,
// exactly on top of each other, and look like one. Each open editor holds a
// numbered slot (a lock file in the user's runtime folder, released when the
// window closes or the program ends, however it ends); the first free slot
// says how far down and right of the centre this one opens. The first editor
// holds slot 0 and opens centred.
class WindowSlot {
public:
    explicit WindowSlot(const QString &kind);
    int index() const { return m_index; }
    // The step between two slots, in pixels: about a title bar.
    static QPoint offsetOf(int index) { return QPoint(index * 28, index * 28); }

    static constexpr int kSlots = 8;

private:
    std::unique_ptr<QLockFile> m_lock;
    int m_index = 0;
};
