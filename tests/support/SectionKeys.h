#pragma once

// What the program's own line model lists as a section's keys: each body line
// split at its first "=", not trimmed. Tests compare it with what the readers,
// the editor's lists and the emulator's rules (PlatformProfile.h) give.

#include "PlatformProfile.h"
#include "core/IniText.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

namespace sectionkeys {

using Key = platformprofile::Key;

inline QList<Key> of(QByteArrayView text, const ini::Section &section)
{
    QList<Key> keys;
    for (const ini::Line &line : section.keyLines) {
        const ini::KeyValue kv = ini::splitKeyLine(ini::view(text, line));
        keys.append({ kv.key.toByteArray(), kv.value.toByteArray() });
    }
    return keys;
}

// The keys of the first section named exactly `name`; none when there is none.
inline QList<Key> of(QByteArrayView text, QByteArrayView name)
{
    return of(text, ini::findSection(text, name));
}

inline QList<QByteArray> names(const QList<Key> &keys)
{
    QList<QByteArray> out;
    for (const Key &key : keys)
        out.append(key.name);
    return out;
}

inline QList<QByteArray> values(const QList<Key> &keys)
{
    QList<QByteArray> out;
    for (const Key &key : keys)
        out.append(key.value);
    return out;
}

} // namespace sectionkeys
