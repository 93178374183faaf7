#pragma once

#include <QAccessibleWidget>

class ByteTextEdit;

// What assistive technology reads of the editor's text area. The widget
// library's own accessible counts the characters before the caret from the
// start of the text on every caret move, which a large file cannot afford
// (0.4 s per key at the end of 100 MB). The text area holds one byte per
// character, so here an offset is simply a byte position.
class ByteTextAccessible : public QAccessibleWidget,
                           public QAccessibleTextInterface,
                           public QAccessibleEditableTextInterface {
public:
    explicit ByteTextAccessible(ByteTextEdit *edit);

    // Makes this the accessible of every ByteTextEdit (once per program).
    static void install();

    void *interface_cast(QAccessible::InterfaceType type) override;
    // The widget's own texts (name, description) stay beside the text
    // interface's text(start, end).
    using QAccessibleWidget::text;

    // QAccessibleTextInterface
    void selection(int selectionIndex, int *startOffset, int *endOffset) const override;
    int selectionCount() const override;
    void addSelection(int startOffset, int endOffset) override;
    void removeSelection(int selectionIndex) override;
    void setSelection(int selectionIndex, int startOffset, int endOffset) override;
    int cursorPosition() const override;
    void setCursorPosition(int position) override;
    QString text(int startOffset, int endOffset) const override;
    int characterCount() const override;
    QRect characterRect(int offset) const override;
    int offsetAtPoint(const QPoint &point) const override;
    void scrollToSubstring(int startIndex, int endIndex) override;
    QString attributes(int offset, int *startOffset, int *endOffset) const override;

    // QAccessibleEditableTextInterface
    void deleteText(int startOffset, int endOffset) override;
    void insertText(int offset, const QString &text) override;
    void replaceText(int startOffset, int endOffset, const QString &text) override;

private:
    ByteTextEdit *edit() const;
    // Offsets here are the text area's positions: what it shows.
    void selectShown(int startOffset, int endOffset);
    long send(unsigned int message, unsigned long wParam = 0, long lParam = 0) const;
};
