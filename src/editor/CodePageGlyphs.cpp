#include "editor/CodePageGlyphs.h"

#include "core/CodePage.h"
#include "editor/ByteTextEdit.h"

#define signals Q_SIGNALS
#define slots Q_SLOTS
#include <Qsci/qscilexer.h>
#undef signals
#undef slots

#include <QPainter>

#include <algorithm>

namespace codepageglyphs {

namespace {

QColor colourOf(long bgr)
{
    return QColor(bgr & 0xFF, (bgr >> 8) & 0xFF, (bgr >> 16) & 0xFF);
}

bool isHigh(unsigned char byte)
{
    return byte >= 0x80 && byte <= 0x9F;
}

// The text's colour at `at`: its style's, unless an indicator colours it.
QColor foreAt(ByteTextEdit *edit, long at, int style)
{
    const long indicators
        = edit->SendScintilla(QsciScintillaBase::SCI_INDICATORALLONFOR, static_cast<unsigned long>(at));
    for (unsigned long indicator = 0; indicator < 32; ++indicator) {
        if ((indicators & (1L << indicator))
            && edit->SendScintilla(QsciScintillaBase::SCI_INDICGETSTYLE, indicator)
                == QsciScintillaBase::INDIC_TEXTFORE)
            return colourOf(edit->SendScintilla(QsciScintillaBase::SCI_INDICGETFORE, indicator));
    }
    return colourOf(
        edit->SendScintilla(QsciScintillaBase::SCI_STYLEGETFORE, static_cast<unsigned long>(style)));
}

} // namespace

bool drawnOver(unsigned char byte)
{
    return isHigh(byte) && byte != 0x81 && byte != 0x8D && byte != 0x8F && byte != 0x90 && byte != 0x9D;
}

QByteArray standIn(unsigned char byte)
{
    // In byte order from 0x80: each character's look-alike of about its width.
    static const char *const table[32]
        = { "C", nullptr, ",", "f", ",,", "...", "+", "+", "^", "%", "S", "<", "OE", nullptr, "Z", nullptr,
              nullptr, "'", "'", "\"", "\"", "o", "-", "M", "~", "TM", "s", ">", "oe", nullptr, "z", "Y" };
    if (!isHigh(byte))
        return {};
    if (const char *shown = table[byte - 0x80])
        return shown;
    return "x" + QByteArray::number(byte, 16).toUpper();
}

void paint(ByteTextEdit *edit, QPainter &painter)
{
    const auto send = [edit](unsigned int message, unsigned long w = 0, long l = 0) {
        return edit->SendScintilla(message, w, l);
    };
    const long first = send(QsciScintillaBase::SCI_GETFIRSTVISIBLELINE);
    const long last = std::min(first + send(QsciScintillaBase::SCI_LINESONSCREEN) + 1,
        send(QsciScintillaBase::SCI_GETLINECOUNT) - 1);
    const long selectionStart = send(QsciScintillaBase::SCI_GETSELECTIONSTART);
    const long selectionEnd = send(QsciScintillaBase::SCI_GETSELECTIONEND);
    const long caret = send(QsciScintillaBase::SCI_GETCURRENTPOS);
    const int width = edit->viewport()->width();
    const int margin = send(QsciScintillaBase::SCI_GETMARGINLEFT)
        + static_cast<int>(send(QsciScintillaBase::SCI_GETMARGINWIDTHN, 0));
    painter.setClipRect(QRect(margin, 0, width - margin, edit->viewport()->height()));
    for (long line = first; line <= last; ++line) {
        const long start = send(QsciScintillaBase::SCI_POSITIONFROMLINE, static_cast<unsigned long>(line));
        const long end = send(QsciScintillaBase::SCI_GETLINEENDPOSITION, static_cast<unsigned long>(line));
        // Only the part of the line from the left edge of the view to its right.
        const long from = std::max(start,
            send(QsciScintillaBase::SCI_CHARPOSITIONFROMPOINT, static_cast<unsigned long>(margin),
                send(QsciScintillaBase::SCI_POINTYFROMPOSITION, 0, start)));
        const long to = std::min(end,
            send(QsciScintillaBase::SCI_CHARPOSITIONFROMPOINT, static_cast<unsigned long>(width),
                send(QsciScintillaBase::SCI_POINTYFROMPOSITION, 0, start))
                + 1);
        if (to <= from)
            continue;
        const auto *text = reinterpret_cast<const unsigned char *>(static_cast<quintptr>(
            send(QsciScintillaBase::SCI_GETRANGEPOINTER, static_cast<unsigned long>(from), to - from)));
        const int height
            = static_cast<int>(send(QsciScintillaBase::SCI_TEXTHEIGHT, static_cast<unsigned long>(line)));
        for (long at = from; at < to; ++at) {
            const unsigned char byte = text[at - from];
            if (!drawnOver(byte))
                continue;
            const int style
                = static_cast<int>(send(QsciScintillaBase::SCI_GETSTYLEAT, static_cast<unsigned long>(at)));
            if (!send(QsciScintillaBase::SCI_STYLEGETVISIBLE, static_cast<unsigned long>(style)))
                continue;
            const int left = static_cast<int>(send(QsciScintillaBase::SCI_POINTXFROMPOSITION, 0, at));
            const int right = static_cast<int>(send(QsciScintillaBase::SCI_POINTXFROMPOSITION, 0, at + 1));
            const int top = static_cast<int>(send(QsciScintillaBase::SCI_POINTYFROMPOSITION, 0, at));
            const bool selected = at >= selectionStart && at < selectionEnd;
            const QColor back = selected
                ? edit->palette().color(QPalette::Active, QPalette::Highlight)
                : colourOf(send(QsciScintillaBase::SCI_STYLEGETBACK, static_cast<unsigned long>(style)));
            const QColor fore = selected ? edit->palette().color(QPalette::Active, QPalette::HighlightedText)
                                         : foreAt(edit, at, style);
            // The stand-in's box may reach a pixel beyond its cell's rounded
            // edges; the first column stays when the caret stands there.
            const int from = at == caret ? left + 1 : left;
            const QRect cell(from, top, std::max(right + 1 - from, 1), height);
            painter.fillRect(cell, back);
            painter.setPen(fore);
            painter.setFont(edit->lexer() ? edit->lexer()->font(style) : edit->font());
            painter.drawText(cell, Qt::AlignCenter, codepage::decode(QByteArray(1, static_cast<char>(byte))));
        }
    }
}

} // namespace codepageglyphs
