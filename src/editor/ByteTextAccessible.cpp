#include "editor/ByteTextAccessible.h"

#include "core/CodePage.h"
#include "editor/ByteTextEdit.h"

#include <algorithm>

namespace {

QAccessibleInterface *factory(const QString &className, QObject *object)
{
    if (className == QLatin1String("ByteTextEdit"))
        if (auto *edit = qobject_cast<ByteTextEdit *>(object))
            return new ByteTextAccessible(edit);
    return nullptr;
}

} // namespace

void ByteTextAccessible::install()
{
    static const bool installed = [] {
        // Factories installed later are asked first, and the object's own
        // class name before its base classes': this one wins for the text area.
        QAccessible::installFactory(factory);
        return true;
    }();
    Q_UNUSED(installed);
}

ByteTextAccessible::ByteTextAccessible(ByteTextEdit *edit)
    : QAccessibleWidget(edit, QAccessible::EditableText)
{ }

ByteTextEdit *ByteTextAccessible::edit() const
{
    return static_cast<ByteTextEdit *>(widget());
}

void ByteTextAccessible::selectShown(int startOffset, int endOffset)
{
    const qsizetype start = edit()->offsetAt(startOffset);
    edit()->selectBytes(start, edit()->offsetAt(endOffset) - start);
}

long ByteTextAccessible::send(unsigned int message, unsigned long wParam, long lParam) const
{
    return edit()->SendScintilla(message, wParam, lParam);
}

void *ByteTextAccessible::interface_cast(QAccessible::InterfaceType type)
{
    if (type == QAccessible::TextInterface)
        return static_cast<QAccessibleTextInterface *>(this);
    if (type == QAccessible::EditableTextInterface)
        return static_cast<QAccessibleEditableTextInterface *>(this);
    return QAccessibleWidget::interface_cast(type);
}

void ByteTextAccessible::selection(int selectionIndex, int *startOffset, int *endOffset) const
{
    *startOffset = *endOffset = 0;
    if (selectionIndex != 0 || selectionCount() == 0)
        return;
    *startOffset = static_cast<int>(send(QsciScintillaBase::SCI_GETSELECTIONSTART));
    *endOffset = static_cast<int>(send(QsciScintillaBase::SCI_GETSELECTIONEND));
}

int ByteTextAccessible::selectionCount() const
{
    return send(QsciScintillaBase::SCI_GETSELECTIONSTART) != send(QsciScintillaBase::SCI_GETSELECTIONEND) ? 1
                                                                                                          : 0;
}

void ByteTextAccessible::addSelection(int startOffset, int endOffset)
{
    setSelection(0, startOffset, endOffset);
}

void ByteTextAccessible::removeSelection(int selectionIndex)
{
    if (selectionIndex == 0)
        send(QsciScintillaBase::SCI_SETEMPTYSELECTION,
            static_cast<unsigned long>(send(QsciScintillaBase::SCI_GETCURRENTPOS)));
}

void ByteTextAccessible::setSelection(int selectionIndex, int startOffset, int endOffset)
{
    if (selectionIndex == 0)
        selectShown(startOffset, endOffset);
}

int ByteTextAccessible::cursorPosition() const
{
    return static_cast<int>(send(QsciScintillaBase::SCI_GETCURRENTPOS));
}

void ByteTextAccessible::setCursorPosition(int position)
{
    edit()->placeCaret(edit()->offsetAt(position));
}

QString ByteTextAccessible::text(int startOffset, int endOffset) const
{
    const QByteArrayView bytes = edit()->shownBytes();
    const qsizetype start = std::clamp<qsizetype>(startOffset, 0, bytes.size());
    const qsizetype end
        = std::clamp<qsizetype>(endOffset < 0 ? bytes.size() : endOffset, start, bytes.size());
    return codepage::decode(bytes.sliced(start, end - start));
}

int ByteTextAccessible::characterCount() const
{
    return static_cast<int>(send(QsciScintillaBase::SCI_GETLENGTH));
}

QRect ByteTextAccessible::characterRect(int offset) const
{
    const long x = send(QsciScintillaBase::SCI_POINTXFROMPOSITION, 0, offset);
    const long y = send(QsciScintillaBase::SCI_POINTYFROMPOSITION, 0, offset);
    const long next = send(QsciScintillaBase::SCI_POINTXFROMPOSITION, 0, offset + 1);
    const long height = send(QsciScintillaBase::SCI_TEXTHEIGHT, 0);
    const QRect rect(static_cast<int>(x), static_cast<int>(y), static_cast<int>(std::max(next - x, 1L)),
        static_cast<int>(height));
    return rect.translated(edit()->viewport()->mapToGlobal(QPoint(0, 0)));
}

int ByteTextAccessible::offsetAtPoint(const QPoint &point) const
{
    const QPoint at = edit()->viewport()->mapFromGlobal(point);
    return static_cast<int>(send(QsciScintillaBase::SCI_POSITIONFROMPOINTCLOSE,
        static_cast<unsigned long>(std::max(at.x(), 0)), std::max(at.y(), 0)));
}

void ByteTextAccessible::scrollToSubstring(int startIndex, int endIndex)
{
    send(QsciScintillaBase::SCI_SCROLLRANGE, static_cast<unsigned long>(endIndex), startIndex);
}

QString ByteTextAccessible::attributes(int offset, int *startOffset, int *endOffset) const
{
    *startOffset = offset;
    *endOffset = offset;
    return {};
}

void ByteTextAccessible::deleteText(int startOffset, int endOffset)
{
    replaceText(startOffset, endOffset, QString());
}

void ByteTextAccessible::insertText(int offset, const QString &text)
{
    replaceText(offset, offset, text);
}

void ByteTextAccessible::replaceText(int startOffset, int endOffset, const QString &text)
{
    // The same way as typed text: through the code page, refused if it
    // cannot be stored.
    selectShown(startOffset, endOffset);
    edit()->replaceSelectedText(text);
}
