#pragma once

#include <QByteArrayView>

// The key search over the editor's text, on bytes and byte offsets. The text
// area holds the file's bytes one to one, so an offset here is the selection
// offset the window sets (a CR LF counts two).
namespace keysearch {

// The offset of the first occurrence of `needle` at or after `from`, or -1. An
// exact, case-sensitive substring match; an empty needle is never found.
qsizetype indexOf(QByteArrayView text, QByteArrayView needle, qsizetype from);

// Find First: the first occurrence in the whole text, or -1.
inline qsizetype findFirst(QByteArrayView text, QByteArrayView needle)
{
    return indexOf(text, needle, 0);
}

// Find First for a key of a chosen section: the first occurrence from `from`
// (the section's head) on, and only when there is none there, the first in
// the whole text. A negative `from` searches the whole text.
qsizetype findFirstFrom(QByteArrayView text, QByteArrayView needle, qsizetype from);

// What Find Next does from a selection that starts at `selectionStart`.
struct NextStep {
    // Where the caret goes before searching: two past the old start, kept
    // within the text. A miss leaves it there with nothing selected.
    qsizetype caret = 0;
    // The occurrence found, or -1.
    qsizetype match = -1;
};

// Find Next resumes one byte after the previous start, so overlapping
// occurrences are all found; from the end of the text it looks at the last
// byte once more.
NextStep findNext(QByteArrayView text, QByteArrayView needle, qsizetype selectionStart);

// The backward step: the last occurrence that starts before `selectionStart`,
// or -1. Exact and case-sensitive, as the forward search.
qsizetype findPrevious(QByteArrayView text, QByteArrayView needle, qsizetype selectionStart);

} // namespace keysearch
