#include "editor/EditorPlace.h"

#include "core/IniText.h"
#include "editor/ByteTextEdit.h"

#include <algorithm>

namespace editorplace {

ListChoice choiceAt(const QList<QByteArray> &items, int row)
{
    if (row < 0 || row >= items.size())
        return {};
    const QByteArray &item = items.at(row);
    return { item, static_cast<int>(std::count(items.begin(), items.begin() + row, item)) };
}

int rowOf(const QList<QByteArray> &items, const ListChoice &choice)
{
    if (choice.occurrence < 0)
        return -1;
    int seen = 0;
    for (int row = 0; row < items.size(); ++row) {
        if (items.at(row) == choice.item && seen++ == choice.occurrence)
            return row;
    }
    return -1;
}

TextPlace textPlace(const ByteTextEdit *edit)
{
    return { edit->SendScintilla(QsciScintillaBase::SCI_GETANCHOR),
        edit->SendScintilla(QsciScintillaBase::SCI_GETCURRENTPOS),
        edit->SendScintilla(QsciScintillaBase::SCI_GETFIRSTVISIBLELINE),
        edit->SendScintilla(QsciScintillaBase::SCI_GETXOFFSET) };
}

void restoreTextPlace(ByteTextEdit *edit, const TextPlace &place)
{
    const qsizetype length = edit->SendScintilla(QsciScintillaBase::SCI_GETLENGTH);
    const auto within
        = [length](qsizetype at) { return static_cast<unsigned long>(std::clamp<qsizetype>(at, 0, length)); };
    edit->SendScintilla(
        QsciScintillaBase::SCI_SETSEL, within(place.anchor), static_cast<long>(within(place.caret)));
    edit->SendScintilla(
        QsciScintillaBase::SCI_SETFIRSTVISIBLELINE, static_cast<unsigned long>(place.firstLine));
    edit->SendScintilla(QsciScintillaBase::SCI_SETXOFFSET, static_cast<unsigned long>(place.xOffset));
}

qsizetype headOffset(QByteArrayView text, QByteArrayView name, int occurrence)
{
    int seen = 0;
    for (std::optional<ini::Line> head = ini::nextHead(text, ini::textStart(text)); head;
         head = ini::nextHead(text, head->next)) {
        if (*ini::headName(ini::view(text, *head)) == name && seen++ == occurrence)
            return head->begin;
    }
    return -1;
}

void showLineAtTop(ByteTextEdit *edit, qsizetype offset)
{
    const long line = edit->SendScintilla(
        QsciScintillaBase::SCI_LINEFROMPOSITION, static_cast<unsigned long>(edit->positionOf(offset)));
    edit->SendScintilla(QsciScintillaBase::SCI_SETFIRSTVISIBLELINE, static_cast<unsigned long>(line));
    edit->SendScintilla(QsciScintillaBase::SCI_SETXOFFSET, 0UL);
}

} // namespace editorplace
