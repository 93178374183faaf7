#pragma once

#include "fileio/FileBytes.h"

#include <QString>

// Adding a game entry to the settings file beside the program: four keys of
// the section named after the game, in a fixed order.
namespace gameentry {

struct Fields {
    QString name; // the section: the game's name as the emulator shows it
    QString altTitle; // AltTitle
    QString comments; // Comments
    QString ucode; // UCode, written as typed
    QString submitter; // "//": who submits the entry
};

// The longest text a field may hold. Far beyond any real entry, and short
// enough for a text field to show and edit without stalling.
constexpr qsizetype kMaxFieldLength = 1 << 20;

// What the main window's fields hold before anything is typed.
Fields prompts();

// The fields with every one that still holds its own prompt emptied: a prompt
// is no data, so an untouched game name is refused as an empty one and an
// untouched value is written as an empty one.
Fields withoutPrompts(Fields fields);

struct Outcome {
    bool ok = false;
    QString message; // for the user, when not ok
};

// Checks every field first and refuses, writing nothing, a field that holds a
// line break or NUL (it would add stray lines to a shared file), a text longer
// than kMaxFieldLength, or an empty game name. Then sets "//", "AltTitle",
// "Comments" and "UCode" in the section named after the game, in that order,
// in one replacement of the fixed file: all four keys are written or none. A
// file with a UTF-8 byte-order mark gets the texts in UTF-8; any other gets
// them in the code page, and a character the code page cannot hold is refused,
// as is a UTF-16 file. The message names the file and the reason. Texts go to
// the file as typed: no trimming. While another program writes the file the
// add waits as `wait` says, then gives up, nothing written.
Outcome add(const Fields &fields, const filebytes::Wait &wait = {});

} // namespace gameentry
