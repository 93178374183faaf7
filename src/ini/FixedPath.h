#pragma once

#include <QString>

namespace ini {

// The settings file that add entry writes: the program's own folder, the native
// separator and "Ferox.ini", joined as they are (a folder that already ends with
// a separator gives a doubled one, which the file functions accept). Formed
// afresh on every call and never stored, so it always follows the folder.
QString fixedPath();

} // namespace ini
