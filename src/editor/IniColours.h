#pragma once

#include <QColor>
#include <QObject>
#include <QPalette>

class ByteTextEdit;
class QsciLexerProperties;

// Colours the editor's text area as an INI file: section heads, keys and
// comment lines stand out a little from the plain text. Only the display
// changes: the text's bytes are never touched. The colours are taken from the
// window's palette, so they read on a dark palette as on a light one. The
// lexer styles what is shown (and what lies before it), never the whole file
// at load time.
class IniColours : public QObject {
    Q_OBJECT
public:
    explicit IniColours(ByteTextEdit *edit);

    // The colours for a palette: a mix of the text colour with a hue, light
    // enough to read and dark enough to be seen on either kind of background.
    struct Scheme {
        QColor text, paper, section, key, comment;
    };
    static Scheme schemeFor(const QPalette &palette);

    // Whether editors made from now on colour their text (the benchmarks
    // measure an open without colouring).
    static void setEnabled(bool on);
    static bool enabled();

private:
    void attach();

    ByteTextEdit *m_edit;
    QsciLexerProperties *m_lexer;
};
