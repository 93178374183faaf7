#pragma once

#include <QObject>

class ByteTextEdit;

// Line numbers in the text area's first margin. The widget draws the numbers
// of the lines on screen only; the margin is widened when the line count gains
// a digit, which is looked up, not counted, so a large file costs nothing more.
class LineNumbers : public QObject {
    Q_OBJECT
public:
    explicit LineNumbers(ByteTextEdit *edit);

private:
    void fit();

    ByteTextEdit *m_edit;
    int m_digits = 0;
};
