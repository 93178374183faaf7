#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

#include "core/IniText.h"

#include <functional>

// What the profile-string writer changes in a settings file's text to set keys
// of one section, leaving every other byte as it was, line ends included. Pure
// planning over bytes: the writer (platform/ProfileWriter.h) reads the file and
// applies the plan.
//
// It reads the text with the line model and head rule of core/IniText.h, which
// are those of the emulator's profile functions, so what it writes is what the
// editor lists and what the emulator reads:
//
// - Lines end at CR LF, LF or CR. Lines the writer adds end like the file's
//   own: with its first line end, or CR LF in a new file or one without any;
//   CR LF also where a lone CR and an LF beside it would become one line end.
// - A UTF-8 byte-order mark is kept; names are then compared as UTF-8 text.
//   A UTF-16 file is refused, untouched.
// - The section is the first head whose name (between "[" and the line's last
//   "]", blanks around it trimmed) equals the section name without blanks
//   around it, letter case ignored (Unicode case folding of the file's
//   characters). The head line itself is never rewritten.
// - The key is looked for in the whole section, down to the next head (empty
//   lines included), so that a key is never added twice. A key line's key is
//   what stands before its first "=" (a line without "=" is all key), compared
//   like section names. The first such line is replaced in place by
//   key "=" value and keeps its own line end.
// - A key the section lacks goes right after the last line of the section's body
//   as the editor reads it (up to the next head or the first empty line), or
//   right after the head when the body is empty.
// - A missing section goes at the end of the file as "[" + section + "]" and the
//   key line, after one empty line unless the file is empty or new, or already
//   ends with an empty line.
// - Whenever something is appended to a file whose last line has no line end,
//   that line gets one first.
// - Section, key and value are written as given, blanks included. Refused, with
//   the file untouched: an empty (or all-blank) section name or key, a CR, LF or
//   NUL byte in any of the three (it would add lines), a key holding "=" (it
//   would read back as another key) or beginning with "[" after blanks (its
//   line could read back as a head). An empty value writes "key=".
namespace profile {

// One change to a text: `removed` bytes at `at` give way to `inserted`.
struct Edit {
    qsizetype at = 0;
    qsizetype removed = 0;
    QByteArray inserted;
};

struct Plan {
    bool ok = false;
    // Ordered by place, none overlapping: the lines replaced and the lines
    // added (one place for those), each its own edit, so that the bytes
    // between them stay in the file and out of memory.
    QList<Edit> edits;
    QString error; // why the write is refused, or the text could not be read
    bool refused = false; // not ok for what was to be written, or a UTF-16 text
};

// The size of the pieces in which the writer reads a file.
constexpr qsizetype kPieceSize = 256 * 1024;

// What setting the key in `text` changes.
Plan planWrite(QByteArrayView text, QByteArrayView section, QByteArrayView key, QByteArrayView value);

struct KeyWrite {
    QByteArray key;
    QByteArray value;
};

// What setting the keys one after the other changes, as one plan: the same
// bytes as planning and applying each write in turn. When any of them is
// refused, none is planned. The text is scanned in pieces of `pieceSize`, as
// the writer reads a file.
Plan planWrites(QByteArrayView text, QByteArrayView section, const QList<KeyWrite> &writes,
    qsizetype pieceSize = kPieceSize);

// The text with the edits made.
QByteArray applied(QByteArrayView text, const QList<Edit> &edits);

struct Updated {
    bool ok = false;
    QByteArray text;
    QString error;
};

// The whole new text after setting the key.
Updated updatedText(QByteArrayView text, QByteArrayView section, QByteArrayView key, QByteArrayView value);

// Equal section or key names: blanks around them ignored, letter case folded
// (of the characters the bytes stand for in `encoding`).
bool sameName(QByteArrayView a, QByteArrayView b, ini::Encoding encoding = ini::Encoding::Ansi);

} // namespace profile

// The section and keys of a multi-key write, made once the file's encoding is
// known; `refusal` says why they cannot be written (nothing is then).
struct ProfileKeys {
    QByteArray section;
    QList<profile::KeyWrite> writes;
    QString refusal;
};

namespace profile {

// Reads [offset, offset + size) of the text being planned on.
using ReadAt = std::function<bool(qint64 offset, qint64 size, QByteArray *out, QString *error)>;

// Plans the writes that `compose` gives on a text of `size` bytes read through
// `read` in pieces of `pieceSize`, holding one piece at a time whatever the
// size of the section written.
Plan planOn(qint64 size, const ReadAt &read, const std::function<ProfileKeys(ini::Encoding)> &compose,
    qint64 pieceSize);

} // namespace profile
