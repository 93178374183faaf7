#pragma once

#include <QByteArray>

class ByteTextEdit;
class QPainter;

// The text area holds a file's bytes as they are and its widget draws them as
// Latin-1, where 0x80-0x9F are control codes without a glyph. In the code page
// those bytes are the euro sign, curly quotes, dashes and the like. They are
// laid out as a stand-in (a Latin-1 text the widget draws as a small box) of
// about the character's width and drawn over with the code page's own
// character after the widget has painted; the five bytes the code page leaves
// undefined keep showing their value.
namespace codepageglyphs {

// Sets up `edit` for the stand-ins: the widget's font for boxed bytes a
// little smaller than the text's, so that a box stays within its line and
// is covered whole by the character drawn over it, and a stand-in of about
// the character's width for each byte of 0x80-0x9F. Again after the text's
// font or the document's code page changed.
void setUp(ByteTextEdit *edit);

// Whether `byte` is one the code page gives a character of its own to draw.
bool drawnOver(unsigned char byte);

// Before the widget paints: the box of a character just before the caret is
// coloured as its background, because the caret's column of it cannot be
// drawn over without hiding the caret. `marked` holds the position so
// coloured (-1 for none) between calls, for this document.
void hideBoxBeforeCaret(ByteTextEdit *edit, long *marked);

// Draws the code page's characters over their stand-ins on the lines that
// are on screen.
void paint(ByteTextEdit *edit, QPainter &painter);

} // namespace codepageglyphs
