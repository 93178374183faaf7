#include "ini/GameEntry.h"

#include "ini/FixedPath.h"
#include "platform/AppFolder.h"
#include "platform/CodePage.h"
#include "platform/ProfileWriter.h"

#include <QByteArray>
#include <QFileInfo>

#include <cerrno>
#include <cstring>

namespace gameentry {
namespace {

struct Field {
    const QString *text;
    const char *label;
};

// Why a field's text cannot go into the file, or nothing.
QString unfitText(const QString &text, const char *label)
{
    const QString field = QLatin1String(label);
    if (text.contains(u'\r') || text.contains(u'\n'))
        return QStringLiteral("The field \"%1\" holds a line break, which would add stray lines to the "
                              "settings file.")
            .arg(field);
    if (text.contains(QChar(0)))
        return QStringLiteral("The field \"%1\" holds a NUL character, which the settings file cannot "
                              "hold.")
            .arg(field);
    const codepage::Encoded encoded = codepage::encode(text);
    if (!encoded.ok())
        return QStringLiteral("The field \"%1\" holds the character %2, which the settings file's code "
                              "page (Windows-1252) cannot hold.")
            .arg(field, codepage::describe(*encoded.unrepresentable));
    return {};
}

// The file is always the one beside the program, so a refused write most often
// means a folder the user may not write in, such as an installed copy's. The
// message then says what to do about it.
bool deniedByFolderOrFile(const QString &path, const QString &reason)
{
    for (int code : { EACCES, EPERM, EROFS })
        if (reason == QString::fromLocal8Bit(std::strerror(code)))
            return true;
    return !QFileInfo(QFileInfo(path).absolutePath()).isWritable();
}

QString whereTheFileLives(const QString &path)
{
    return QStringLiteral("\n\nFerox.ini is always the file beside the program, in\n%1\nIf you cannot write "
                          "there (an installed copy, say), copy the program into a folder of your own and "
                          "run it from there, or have that folder made writable for you.")
        .arg(QFileInfo(path).absolutePath());
}

QByteArray bytes(const QString &text)
{
    return codepage::encode(text).bytes;
}

} // namespace

Fields prompts()
{
    return { QStringLiteral("Enter Name As Shown In Ferox64"), QStringLiteral("Enter Alternative Game Name"),
        QStringLiteral("Enter Comments"), QStringLiteral("Enter UCode 0-6"),
        QStringLiteral("Enter Your Name For Credibility") };
}

Outcome add(const Fields &fields)
{
    Outcome outcome;
    const Field all[] = { { &fields.name, "Game name" }, { &fields.altTitle, "Alternative game name" },
        { &fields.comments, "Comments" }, { &fields.ucode, "UCode" }, { &fields.submitter, "Your name" } };
    for (const Field &field : all) {
        const QString why = unfitText(*field.text, field.label);
        if (!why.isEmpty()) {
            outcome.message = why + QStringLiteral("\nNothing was written.");
            return outcome;
        }
    }
    if (fields.name.trimmed().isEmpty()) {
        outcome.message
            = QStringLiteral("The game name is empty: enter the game's name as Ferox64 shows it.\n"
                             "Nothing was written.");
        return outcome;
    }

    // Without its folder the path would name another file, such as one at
    // the root.
    QString folder;
    QString why;
    if (!appfolder::resolve(&folder, &why)) {
        outcome.message = QStringLiteral("The entry could not be added: %1\nNothing was written.").arg(why);
        return outcome;
    }

    const struct {
        const char *key;
        const QString *value;
    } writes[] = { { "//", &fields.submitter }, { "AltTitle", &fields.altTitle },
        { "Comments", &fields.comments }, { "UCode", &fields.ucode } };
    int written = 0;
    for (const auto &write : writes) {
        const QString path = ini::fixedPath();
        QString error;
        if (!WritePrivateProfileStringA(bytes(fields.name), write.key, bytes(*write.value), path, &error)) {
            outcome.message = QStringLiteral("The entry could not be added: the file\n%1\ncould not be "
                                             "written (%2).")
                                  .arg(path, error);
            if (written > 0)
                outcome.message += QStringLiteral("\n%1 of its 4 keys were written.").arg(written);
            if (deniedByFolderOrFile(path, error))
                outcome.message += whereTheFileLives(path);
            return outcome;
        }
        ++written;
    }
    outcome.ok = true;
    return outcome;
}

} // namespace gameentry
