#pragma once

#include <QString>

// The folder that holds the program's executable, taken from the executable's
// real path (no trailing separator except at the root). Tests point it
// elsewhere so that they never write beside the test binaries.
namespace appfolder {

// The folder, or an empty text when it cannot be resolved (see resolve()).
QString path();

// The folder in `folder`; false, with why in `error` (sentences that go
// after "The entry could not be added: "), when the executable's path cannot
// be read or its folder's name is not text in the system's encoding (a name
// that does not survive the round trip would name another folder, or none).
bool resolve(QString *folder, QString *error);

// A path as the program's windows take it: a relative one names a file in the
// program's folder (whatever folder the program was started from); an absolute
// or empty one stays as it is.
QString besideProgram(const QString &path);

// Test seam: an empty text restores the real folder.
void overrideForTesting(const QString &folder);

} // namespace appfolder
