#include "editor/IniColours.h"

#include "editor/ByteTextEdit.h"

#define signals Q_SIGNALS
#define slots Q_SLOTS
#include <Qsci/qscilexerproperties.h>
#include <Qsci/qsciscintilla.h>
#undef signals
#undef slots

#include <algorithm>

namespace {

bool g_enabled = true;

// Of a longer line the lexer reads this much; the rest of the line keeps the
// style its read part ends in (keys and section heads are short).
constexpr long kLexedOfLine = 4096;

QColor mix(const QColor &a, const QColor &b, double share)
{
    return QColor::fromRgbF(static_cast<float>(a.redF() * (1 - share) + b.redF() * share),
        static_cast<float>(a.greenF() * (1 - share) + b.greenF() * share),
        static_cast<float>(a.blueF() * (1 - share) + b.blueF() * share));
}

long colourRef(const QColor &colour)
{
    return colour.red() | (colour.green() << 8) | (colour.blue() << 16);
}

// The indicator that shows a style of the lexer; -1: the style stays plain
// (values, "=" and the default text: a light touch).
int indicatorFor(int style)
{
    switch (style) {
    case QsciLexerProperties::Section:
        return IniColours::SectionIndicator;
    case QsciLexerProperties::Key:
        return IniColours::KeyIndicator;
    case QsciLexerProperties::Comment:
        return IniColours::CommentIndicator;
    default:
        return -1;
    }
}

} // namespace

IniColours::Scheme IniColours::schemeFor(const QPalette &palette)
{
    Scheme scheme;
    scheme.text = palette.color(QPalette::Active, QPalette::Text);
    scheme.paper = palette.color(QPalette::Active, QPalette::Base);
    const bool dark = scheme.paper.lightnessF() < 0.5;
    // A hue pulled towards the text colour keeps the contrast the text has.
    const auto tinted = [&](const QColor &hue) { return mix(hue, scheme.text, 0.35); };
    scheme.section = tinted(dark ? QColor(0x6c, 0xb6, 0xff) : QColor(0x00, 0x3c, 0xb4));
    scheme.key = tinted(dark ? QColor(0xe0, 0xa0, 0x50) : QColor(0x8a, 0x3c, 0x00));
    scheme.comment = mix(scheme.text, scheme.paper, 0.45);
    return scheme;
}

void IniColours::setEnabled(bool on)
{
    g_enabled = on;
}

bool IniColours::enabled()
{
    return g_enabled;
}

IniColours::IniColours(ByteTextEdit *edit)
    : QObject(edit), m_edit(edit), m_scratch(new QsciScintilla), m_lexer(new QsciLexerProperties(this))
{
    m_scratch->setUtf8(false);
    m_lexer->setFoldCompact(false);
    m_scratch->setLexer(m_lexer);

    const Scheme scheme = schemeFor(edit->palette());
    const std::pair<Indicator, QColor> colours[] = { { SectionIndicator, scheme.section },
        { KeyIndicator, scheme.key }, { CommentIndicator, scheme.comment } };
    for (const auto &[indicator, colour] : colours) {
        const auto number = static_cast<unsigned long>(indicator);
        edit->SendScintilla(QsciScintillaBase::SCI_INDICSETSTYLE, number,
            static_cast<long>(QsciScintillaBase::INDIC_TEXTFORE));
        edit->SendScintilla(QsciScintillaBase::SCI_INDICSETFORE, number, colourRef(colour));
    }

    // Before a paint the view asks for the styles of what it is about to show
    // (the text keeps no styles, so it always asks); after it, lines that
    // only came into view by then are caught up.
    connect(edit, &QsciScintillaBase::SCN_STYLENEEDED, this, &IniColours::colourShownLines);
    connect(edit, &QsciScintillaBase::SCN_PAINTED, this, &IniColours::colourShownLines);
    // The text area passes on the announcements made before a change (see
    // ByteTextEdit): what they say is enough to know which lines to colour again.
    connect(edit, &QsciScintillaBase::SCN_MODIFIED, this,
        [this](int position, int type, const char *text, int length) {
            textChanging(position, type, text, length);
        });
    connect(edit, &ByteTextEdit::documentReplaced, this, &IniColours::forgetAll);
}

IniColours::~IniColours() = default;

void IniColours::forgetAll()
{
    m_coloured.clear();
}

void IniColours::textChanging(int position, int type, const char *text, int length)
{
    if (!(type & (QsciScintillaBase::SC_MOD_BEFOREINSERT | QsciScintillaBase::SC_MOD_BEFOREDELETE)))
        return;
    const auto lineOf = [this](qsizetype at) {
        return m_edit->SendScintilla(QsciScintillaBase::SCI_LINEFROMPOSITION, static_cast<unsigned long>(at));
    };
    const long line = lineOf(position);
    // A line end inserted or deleted moves the lines after it: which are
    // coloured is no longer known. Colouring a line again is harmless, and
    // only the shown ones are coloured. (A change that joins or splits a CR LF
    // changes the line count, which colourShownLines notices.)
    const bool insertsLineEnd = (type & QsciScintillaBase::SC_MOD_BEFOREINSERT) && text
        && std::any_of(text, text + length, [](char c) { return c == '\r' || c == '\n'; });
    const bool deletesLineEnd
        = (type & QsciScintillaBase::SC_MOD_BEFOREDELETE) && lineOf(position + length) != line;
    if (insertsLineEnd || deletesLineEnd) {
        forgetAll();
        return;
    }
    if (line >= 0 && static_cast<size_t>(line) < m_coloured.size())
        m_coloured[static_cast<size_t>(line)] = false;
}

void IniColours::colourShownLines()
{
    const long lines = m_edit->SendScintilla(QsciScintillaBase::SCI_GETLINECOUNT);
    if (m_coloured.size() != static_cast<size_t>(lines))
        m_coloured.assign(static_cast<size_t>(lines), false);
    const long top = m_edit->SendScintilla(QsciScintillaBase::SCI_DOCLINEFROMVISIBLE,
        static_cast<unsigned long>(m_edit->SendScintilla(QsciScintillaBase::SCI_GETFIRSTVISIBLELINE)));
    const long bottom
        = std::min(lines - 1, top + m_edit->SendScintilla(QsciScintillaBase::SCI_LINESONSCREEN) + 1);
    for (long line = top; line <= bottom;) {
        if (m_coloured[static_cast<size_t>(line)]) {
            ++line;
            continue;
        }
        long last = line;
        while (last < bottom && !m_coloured[static_cast<size_t>(last + 1)])
            ++last;
        colourLines(line, last);
        line = last + 1;
    }
}

// The lexer reads the lines [first, last] in the scratch area; each run of a
// style it colours becomes a run of that style's indicator in the editor.
void IniColours::colourLines(long first, long last)
{
    struct Line {
        long start; // in the editor
        long end;
        qsizetype read; // where the line starts in `text`
        qsizetype length; // how much of it the lexer reads
    };
    std::vector<Line> shown;
    QByteArray text;
    for (long line = first; line <= last; ++line) {
        const auto number = static_cast<unsigned long>(line);
        Line part { m_edit->SendScintilla(QsciScintillaBase::SCI_POSITIONFROMLINE, number),
            m_edit->SendScintilla(QsciScintillaBase::SCI_GETLINEENDPOSITION, number), text.size(), 0 };
        part.length = std::min(part.end - part.start, kLexedOfLine);
        if (part.length > 0) {
            const auto *bytes = reinterpret_cast<const char *>(m_edit->SendScintilla(
                QsciScintillaBase::SCI_GETRANGEPOINTER, static_cast<unsigned long>(part.start), part.length));
            text.append(bytes, part.length);
        }
        text += '\n';
        shown.push_back(part);
        m_coloured[static_cast<size_t>(line)] = true;
    }
    m_scratch->SendScintilla(QsciScintillaBase::SCI_CLEARALL);
    m_scratch->SendScintilla(
        QsciScintillaBase::SCI_APPENDTEXT, static_cast<unsigned long>(text.size()), text.constData());
    m_scratch->SendScintilla(QsciScintillaBase::SCI_COLOURISE, 0UL, -1L);

    const auto fill = [this](int indicator, long from, long length, bool on) {
        if (indicator < 0 || length <= 0)
            return;
        m_edit->SendScintilla(
            QsciScintillaBase::SCI_SETINDICATORCURRENT, static_cast<unsigned long>(indicator));
        m_edit->SendScintilla(
            on ? QsciScintillaBase::SCI_INDICATORFILLRANGE : QsciScintillaBase::SCI_INDICATORCLEARRANGE,
            static_cast<unsigned long>(from), length);
    };
    for (const Line &line : shown) {
        for (int indicator : { SectionIndicator, KeyIndicator, CommentIndicator })
            fill(indicator, line.start, line.end - line.start, false);
        qsizetype runStart = 0;
        int runStyle = -1;
        for (qsizetype at = 0; at <= line.length; ++at) {
            const int style = at < line.length
                ? static_cast<int>(m_scratch->SendScintilla(
                    QsciScintillaBase::SCI_GETSTYLEAT, static_cast<unsigned long>(line.read + at)))
                : -2;
            if (style == runStyle)
                continue;
            // A line the lexer read only in part keeps its last style to its end.
            const long end = at == line.length ? line.end : line.start + at;
            fill(indicatorFor(runStyle), line.start + runStart, end - line.start - runStart, true);
            runStart = at;
            runStyle = style;
        }
    }
}
