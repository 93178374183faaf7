#include "editor/LineNumbers.h"

#include "editor/ByteTextEdit.h"

#include <algorithm>

LineNumbers::LineNumbers(ByteTextEdit *edit) : QObject(edit), m_edit(edit)
{
    m_edit->setMarginType(0, QsciScintilla::NumberMargin);
    m_edit->setMarginLineNumbers(0, true);
    connect(m_edit, &QsciScintilla::linesChanged, this, &LineNumbers::fit);
    connect(m_edit, &ByteTextEdit::documentReplaced, this, &LineNumbers::fit);
    fit();
}

void LineNumbers::fit()
{
    const long lines = m_edit->SendScintilla(QsciScintillaBase::SCI_GETLINECOUNT);
    // Room for three digits at least, so typing the tenth line does not move the text.
    const int digits = std::max(3, static_cast<int>(QString::number(lines).size()));
    if (digits == m_digits)
        return;
    m_digits = digits;
    // One digit more than the numbers need, as padding on either side.
    m_edit->setMarginWidth(0, QString(digits + 1, u'9'));
}
