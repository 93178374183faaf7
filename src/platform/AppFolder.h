#pragma once

#include <QString>

// The folder that holds the program's executable, as the platform reports it
// (no trailing separator except at the root). Tests point it elsewhere so that
// they never write beside the test binaries.
namespace appfolder {

QString path();

// Test seam: an empty text restores the real folder.
void overrideForTesting(const QString &folder);

} // namespace appfolder
