#include "editor/CodePageGlyphs.h"

#include "core/CodePage.h"
#include "editor/ByteTextEdit.h"

#define signals Q_SIGNALS
#define slots Q_SLOTS
#include <Qsci/qscilexer.h>
#undef signals
#undef slots

#include <QPainter>

#include <QFontMetricsF>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <optional>

namespace codepageglyphs {

namespace {

QColor colourOf(long bgr)
{
    return QColor(bgr & 0xFF, (bgr >> 8) & 0xFF, (bgr >> 16) & 0xFF);
}

// What the widget adds to a stand-in's width for the edges of its box.
constexpr qreal boxEdges = 3;

// The boxes' font: smaller than the text's, because the widget places a box's
// top at the font's cap height above the baseline, which in the text's own
// font reaches a pixel into the line above, where nothing covers it.
QFont boxFont(QFont font)
{
    font.setPointSizeF(font.pointSizeF() * 0.8);
    return font;
}

bool isHigh(unsigned char byte)
{
    return byte >= 0x80 && byte <= 0x9F;
}

// Colours the box before the caret as its background (hideBoxBeforeCaret).
constexpr unsigned long boxIndicator = 11;

// The text's colour at `at`: its style's, unless an indicator colours it.
QColor foreAt(ByteTextEdit *edit, long at, int style)
{
    const long indicators
        = edit->SendScintilla(QsciScintillaBase::SCI_INDICATORALLONFOR, static_cast<unsigned long>(at));
    for (unsigned long indicator = 0; indicator < 32; ++indicator) {
        if (indicator != boxIndicator && (indicators & (1L << indicator))
            && edit->SendScintilla(QsciScintillaBase::SCI_INDICGETSTYLE, indicator)
                == QsciScintillaBase::INDIC_TEXTFORE)
            return colourOf(edit->SendScintilla(QsciScintillaBase::SCI_INDICGETFORE, indicator));
    }
    return colourOf(
        edit->SendScintilla(QsciScintillaBase::SCI_STYLEGETFORE, static_cast<unsigned long>(style)));
}

// The widths of the printable ASCII characters in the boxes' font.
using Advances = std::array<qreal, 0x7F - 0x21>;

// The widget makes a stand-in as wide as its text in the boxes' font plus a
// fixed edge: of the printable characters and their pairs, the one whose box
// comes closest to `wanted`, the character's own width.
QByteArray closestStandIn(const Advances &advances, qreal wanted)
{
    const qreal text = wanted - boxEdges;
    size_t bestFirst = 0;
    std::optional<size_t> bestSecond;
    qreal bestMiss = std::numeric_limits<qreal>::max();
    for (size_t first = 0; first < advances.size(); ++first) {
        if (const qreal miss = std::abs(advances[first] - text); miss < bestMiss) {
            bestMiss = miss;
            bestFirst = first;
            bestSecond.reset();
        }
        for (size_t second = 0; second < advances.size(); ++second) {
            if (const qreal miss = std::abs(advances[first] + advances[second] - text); miss < bestMiss) {
                bestMiss = miss;
                bestFirst = first;
                bestSecond = second;
            }
        }
    }
    QByteArray shown(1, static_cast<char>(0x21 + bestFirst));
    if (bestSecond)
        shown += static_cast<char>(0x21 + *bestSecond);
    return shown;
}

} // namespace

bool drawnOver(unsigned char byte)
{
    return isHigh(byte) && byte != 0x81 && byte != 0x8D && byte != 0x8F && byte != 0x90 && byte != 0x9D;
}

void setUp(ByteTextEdit *edit)
{
    const QFont font = boxFont(edit->font());
    edit->SendScintilla(QsciScintillaBase::SCI_STYLESETFONT,
        static_cast<unsigned long>(QsciScintillaBase::STYLE_CONTROLCHAR), font.family().toUtf8().constData());
    edit->SendScintilla(QsciScintillaBase::SCI_STYLESETSIZEFRACTIONAL,
        static_cast<unsigned long>(QsciScintillaBase::STYLE_CONTROLCHAR),
        static_cast<long>(std::lround(font.pointSizeF() * 100)));
    if (edit->encoding() != ini::Encoding::Ansi)
        return;
    const QFontMetricsF text(edit->font(), edit->viewport());
    const QFontMetricsF box(font, edit->viewport());
    Advances advances {};
    for (size_t i = 0; i < advances.size(); ++i)
        advances[i] = box.horizontalAdvance(QLatin1Char(static_cast<char>(0x21 + i)));
    for (int byte = 0x80; byte <= 0x9F; ++byte) {
        const char key[2] = { static_cast<char>(byte), 0 };
        const QByteArray shown = drawnOver(static_cast<unsigned char>(byte))
            ? closestStandIn(advances, text.horizontalAdvance(codepage::decode(QByteArray(key, 1))))
            : "x" + QByteArray::number(byte, 16).toUpper();
        edit->SendScintilla(QsciScintillaBase::SCI_SETREPRESENTATION, key, shown.constData());
    }
}

void hideBoxBeforeCaret(ByteTextEdit *edit, long *marked)
{
    const auto send = [edit](unsigned int message, unsigned long w = 0, long l = 0) {
        return edit->SendScintilla(message, w, l);
    };
    const long caret = send(QsciScintillaBase::SCI_GETCURRENTPOS);
    long wanted = -1;
    if (edit->encoding() == ini::Encoding::Ansi && caret > 0 && send(QsciScintillaBase::SCI_GETSELECTIONEMPTY)
        && drawnOver(static_cast<unsigned char>(send(QsciScintillaBase::SCI_GETCHARAT, caret - 1))))
        wanted = caret - 1;
    if (wanted == *marked)
        return;
    send(QsciScintillaBase::SCI_SETINDICATORCURRENT, boxIndicator);
    // Edits move a mark with its text: clear it wherever it went.
    if (*marked >= 0)
        send(QsciScintillaBase::SCI_INDICATORCLEARRANGE, 0, send(QsciScintillaBase::SCI_GETLENGTH));
    *marked = wanted;
    if (wanted < 0)
        return;
    const long style = send(QsciScintillaBase::SCI_GETSTYLEAT, static_cast<unsigned long>(wanted));
    send(QsciScintillaBase::SCI_INDICSETSTYLE, boxIndicator, QsciScintillaBase::INDIC_TEXTFORE);
    send(QsciScintillaBase::SCI_INDICSETFORE, boxIndicator,
        send(QsciScintillaBase::SCI_STYLEGETBACK, static_cast<unsigned long>(style)));
    send(QsciScintillaBase::SCI_INDICATORFILLRANGE, static_cast<unsigned long>(wanted), 1);
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
            // The box may reach the pixel column where the cell's rounded
            // right edge lies. The widget draws the caret over the first
            // column of the cell after it and the last of the cell before
            // it: that column stays as the widget drew it (the box before the
            // caret is coloured as its background, so only the caret shows).
            const int from = at == caret ? left + 1 : left;
            const int until = at + 1 == caret ? right - 1 : right + 1;
            painter.fillRect(QRect(from, top, std::max(until - from, 0), height), back);
            const QFont font = edit->lexer() ? edit->lexer()->font(style) : edit->font();
            const QFontMetricsF metrics(font, edit->viewport());
            const QString shown = codepage::decode(QByteArray(1, static_cast<char>(byte)));
            painter.setPen(fore);
            painter.setFont(font);
            painter.drawText(QPointF(left + (right - left - metrics.horizontalAdvance(shown)) / 2,
                                 top + std::round(metrics.ascent())),
                shown);
        }
    }
}

} // namespace codepageglyphs
