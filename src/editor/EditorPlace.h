#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

class ByteTextEdit;

// Where the user is in the editor: the chosen item of each list and the
// caret, selection and scroll position of the text area. A save or a reload
// from disk takes the place before and puts it back after, where it still
// exists, so the user goes on where they were.
namespace editorplace {

// A list's chosen item, told by its bytes and how many equal items stand
// before it, so that the same choice is found again in a refilled list even
// when rows were added or removed above it (or names repeat).
struct ListChoice {
    QByteArray item;
    int occurrence = -1; // -1: nothing chosen
};

ListChoice choiceAt(const QList<QByteArray> &items, int row);
// The row holding the same choice, or -1 when it is gone.
int rowOf(const QList<QByteArray> &items, const ListChoice &choice);

// The text area's caret, selection and scroll position.
struct TextPlace {
    qsizetype anchor = 0;
    qsizetype caret = 0;
    long firstLine = 0;
    long xOffset = 0;
};

TextPlace textPlace(const ByteTextEdit *edit);
// Puts the place back, kept within the text as it is now.
void restoreTextPlace(ByteTextEdit *edit, const TextPlace &place);

// The start of the `occurrence`-th head line (0 = first) whose name is
// `name`, or -1.
qsizetype headOffset(QByteArrayView text, QByteArrayView name, int occurrence);
// Scrolls the text so that the line holding `offset` is its top line, seen
// from its left; the caret, the selection and the focus stay.
void showLineAtTop(ByteTextEdit *edit, qsizetype offset);

} // namespace editorplace
