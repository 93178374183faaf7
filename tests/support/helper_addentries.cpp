// Adds game entries through the main window's add-entry operation, one after
// the other, and prints the number of each finished entry. Tests run several
// at once on one file, kill it at random moments, or start it from a copy in
// an odd folder.
//
//   helper_addentries FOLDER|- PREFIX COUNT
//
// The entries go to FOLDER's Ferox.ini, or with "-" to the one beside the
// program. Entry i is helperEntry(PREFIX, i) of IniData.h. Exits 1 with the
// message on stderr at the first refused entry.

#include "IniData.h"
#include "fileio/FileSizeLimit.h"
#include "ini/GameEntry.h"
#include "platform/AppFolder.h"

#include <QCoreApplication>
#include <QString>

#include <cstdio>

int main(int argc, char *argv[])
{
    filebytes::ignoreFileSizeSignal(); // as the program does
    QCoreApplication app(argc, argv);
    if (argc != 4) {
        std::fprintf(stderr, "usage: helper_addentries FOLDER|- PREFIX COUNT\n");
        return 2;
    }
    if (QByteArrayView(argv[1]) != "-")
        appfolder::overrideForTesting(QString::fromLocal8Bit(argv[1]));
    const QString prefix = QString::fromLocal8Bit(argv[2]);
    const int count = QByteArray(argv[3]).toInt();
    for (int i = 0; i < count; ++i) {
        const gameentry::Outcome outcome = gameentry::add(helperEntry(prefix, i));
        if (!outcome.ok) {
            std::fprintf(stderr, "%s\n", qPrintable(outcome.message));
            return 1;
        }
        std::printf("%d\n", i);
        std::fflush(stdout);
    }
    return 0;
}
