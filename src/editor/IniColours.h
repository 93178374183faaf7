#pragma once

#include <QColor>
#include <QObject>
#include <QPalette>

#include <memory>
#include <vector>

class ByteTextEdit;
class QsciLexerProperties;
class QsciScintilla;

// Colours the editor's text area as an INI file: section heads, keys and
// comment lines stand out a little from the plain text. Only the display
// changes: the text's bytes are never touched. The colours are taken from the
// window's palette, so they read on a dark palette as on a light one.
//
// Only the lines on screen are coloured, when they are first shown or after
// they were edited. QScintilla's lexer for the format reads those lines in a
// small hidden text area of its own, and its styles are laid over the editor's
// text as indicators. Indicators are stored as runs, so the editor's document
// needs no style byte per text byte, and a large file opens as fast as it
// would without colours.
class IniColours : public QObject {
    Q_OBJECT
public:
    explicit IniColours(ByteTextEdit *edit);
    ~IniColours() override;

    // The colours for a palette: a mix of the text colour with a hue, light
    // enough to read and dark enough to be seen on either kind of background.
    struct Scheme {
        QColor text, paper, section, key, comment;
    };
    static Scheme schemeFor(const QPalette &palette);

    // The indicators that carry the colours (Scintilla's range for containers).
    enum Indicator { SectionIndicator = 8, KeyIndicator, CommentIndicator };

    // Whether editors made from now on colour their text (the benchmarks
    // measure an open without colouring).
    static void setEnabled(bool on);
    static bool enabled();

private:
    void forgetAll();
    void textChanging(int position, int type, const char *text, int length);
    void colourShownLines();
    void colourLines(long first, long last);

    ByteTextEdit *m_edit;
    std::unique_ptr<QsciScintilla> m_scratch; // never shown: it gives the lexer a document
    QsciLexerProperties *m_lexer;
    // Per line of the text: whether its colours are laid and still valid.
    std::vector<bool> m_coloured;
};
