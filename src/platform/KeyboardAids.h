#pragma once

#include <QObject>

class QKeyEvent;
class QWidget;

// What a window's controls do with the keyboard, beyond each control's own
// handling, so that keys never change a file behind the user's back and the
// user always sees where the keys go.
namespace keyboardaids {

// A key pressed together with Ctrl, Alt or Meta is a command, never text: it
// carries the character of its key all the same (Alt+O carries "o", Ctrl+1
// carries "1"), and a text control with no command for it types that character.
bool isCommandChord(const QKeyEvent *event);
// Takes the character off such a key, so that the control it reaches still
// runs its own commands (copy, paste, undo, select all...) but types nothing.
void dropChordText(QKeyEvent *event);

// Applies the aids to every focusable control of `window` that exists now:
// chords type nothing anywhere; in a list that has nothing chosen, the first
// Up or Down chooses the item with the focus frame instead of the one after it;
// the control with the focus always shows it (a list with a frame around it,
// buttons with their focus mark from the first moment, not only after Tab).
void apply(QWidget *window);

} // namespace keyboardaids
