#pragma once

// Settings-file data that several tests and the benchmarks share.

#include "TestConfig.h"
#include "ini/GameEntry.h"

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>

// What Add Entry writes for a new file when the fields still show their prompts.
inline const QByteArray kPromptEntry = "[Enter Name As Shown In Ferox64]\r\n"
                                       "//=Enter Your Name For Credibility\r\n"
                                       "AltTitle=Enter Alternative Game Name\r\n"
                                       "Comments=Enter Comments\r\n"
                                       "UCode=Enter UCode 0-6\r\n";

// Game `i` of those that helper_addentries adds for `prefix`: section
// PREFIX-i, "//" = PREFIX, "AltTitle" = "Alt PREFIX-i", "Comments" = "Comment i",
// "UCode" = i mod 7.
inline gameentry::Fields helperEntry(const QString &prefix, int i)
{
    const QString name = QStringLiteral("%1-%2").arg(prefix).arg(i);
    return { name, QStringLiteral("Alt ") + name, QStringLiteral("Comment %1").arg(i), QString::number(i % 7),
        prefix };
}

// Writes a realistic, deterministic settings file of about `size` bytes ("40K",
// "3M" or a number) to `path` with scripts/generate-ini, which takes `options`
// besides ("--seed", "7", "--line-end", "lf"). True when the generator succeeded;
// it tells why it did not on the standard error.
inline bool generateIni(const QString &size, const QString &path, const QStringList &options = {})
{
    return QProcess::execute(QStringLiteral(FEROX_SYSTEM_PYTHON),
               QStringList { QStringLiteral(FEROX_SCRIPTS_DIR "/generate-ini"), size, path } + options)
        == 0;
}
