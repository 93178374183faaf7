#include "editor/IniColours.h"

#include "editor/ByteTextEdit.h"

#define signals Q_SIGNALS
#define slots Q_SLOTS
#include <Qsci/qscilexerproperties.h>
#undef signals
#undef slots

namespace {

bool g_enabled = true;

QColor mix(const QColor &a, const QColor &b, double share)
{
    return QColor::fromRgbF(static_cast<float>(a.redF() * (1 - share) + b.redF() * share),
        static_cast<float>(a.greenF() * (1 - share) + b.greenF() * share),
        static_cast<float>(a.blueF() * (1 - share) + b.blueF() * share));
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
    : QObject(edit), m_edit(edit), m_lexer(new QsciLexerProperties(this))
{
    const Scheme scheme = schemeFor(edit->palette());
    m_lexer->setDefaultFont(edit->font());
    m_lexer->setFont(edit->font(), -1);
    m_lexer->setDefaultPaper(scheme.paper);
    m_lexer->setPaper(scheme.paper, -1);
    m_lexer->setDefaultColor(scheme.text);
    m_lexer->setColor(scheme.text, -1);
    m_lexer->setColor(scheme.section, QsciLexerProperties::Section);
    m_lexer->setColor(scheme.key, QsciLexerProperties::Key);
    m_lexer->setColor(scheme.comment, QsciLexerProperties::Comment);
    // Values and "=" stay plain: a light touch.
    m_lexer->setColor(scheme.text, QsciLexerProperties::Assignment);
    m_lexer->setColor(scheme.text, QsciLexerProperties::DefaultValue);
    m_lexer->setFoldCompact(false);
    edit->setStyledDocuments(true);
    edit->setLexer(m_lexer);
    // The lexer sets the selection colours of its own; keep the window's.
    edit->setSelectionBackgroundColor(edit->palette().color(QPalette::Active, QPalette::Highlight));
    edit->setSelectionForegroundColor(edit->palette().color(QPalette::Active, QPalette::HighlightedText));
    // The lexer belongs to the document, and every load brings a new one.
    connect(edit, &ByteTextEdit::documentReplaced, this, &IniColours::attach);
}

void IniColours::attach()
{
    // The styles stay with the view; only the new document needs the lexer.
    // Setting the whole lexer again would colour the whole text at once. A
    // text whose very long lines are cut by their style stays uncoloured.
    if (m_edit->hidesTails())
        return;
    m_edit->SendScintilla(QsciScintillaBase::SCI_SETLEXERLANGUAGE, 0UL, m_lexer->lexer());
    m_lexer->refreshProperties();
}
