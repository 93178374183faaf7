#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

// The profile-string writer: sets one key of one section of a settings file and
// leaves every other byte of the file as it was, line ends included.
//
// It reads the text with the same line model as the editor (ini/IniText.h), so
// what it writes is what the editor lists:
//
// - Lines end at CR LF or a lone CR; a lone LF is an ordinary byte. Lines the
//   writer adds end with CR LF.
// - The section is the first head line ("[" first, "]" last) whose name, without
//   the brackets and without blanks (spaces, tabs) around it, equals the section
//   name without blanks around it, letter case ignored (Unicode case folding of
//   the code page's characters). A head with text after its "]" names something
//   else and is left alone.
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
//   that line gets CR LF first.
// - Section, key and value are written as given, blanks included. Refused, with
//   the file untouched: an empty (or all-blank) section name or key, a CR, LF or
//   NUL byte in any of the three (it would add lines), a key holding "=" (it
//   would read back as another key) or beginning with "[" (it would read back
//   as a head). An empty value writes "key=".
namespace profile {

// One change to a text: `removed` bytes at `at` give way to `inserted`.
struct Edit {
    qsizetype at = 0;
    qsizetype removed = 0;
    QByteArray inserted;
};

struct Plan {
    bool ok = false;
    Edit edit;
    QString error; // why the write is refused
};

// What setting the key in `text` changes.
Plan planWrite(QByteArrayView text, QByteArrayView section, QByteArrayView key, QByteArrayView value);

struct Updated {
    bool ok = false;
    QByteArray text;
    QString error;
};

// The whole new text after setting the key.
Updated updatedText(QByteArrayView text, QByteArrayView section, QByteArrayView key, QByteArrayView value);

// Equal section or key names: blanks around them ignored, letter case folded.
bool sameName(QByteArrayView a, QByteArrayView b);

} // namespace profile

// Sets the key in the file at `path` (created when missing) by replacing the file
// atomically; its permissions are kept. All four texts are 8-bit bytes in the
// program's code page. Returns false and the reason in `error` (when given) if
// the write was refused or failed; the file is then unchanged.
bool WritePrivateProfileStringA(QByteArrayView section, QByteArrayView key, QByteArrayView value,
    const QString &path, QString *error = nullptr);
