#include "ini/GameEntry.h"

#include "core/CodePage.h"
#include "core/LineEnds.h"
#include "ini/FixedPath.h"
#include "platform/AppFolder.h"
#include "platform/ProfileWriter.h"

#include <QByteArray>
#include <QFileInfo>
#include <QLocale>

namespace gameentry {
namespace {

struct Field {
    const QString *text;
    const char *label;
};

// Why a field's text cannot go into any settings file, or nothing.
QString unfitText(const QString &text, const char *label)
{
    const QString field = QLatin1String(label);
    if (text.size() > kMaxFieldLength)
        return QStringLiteral("The field \"%1\" holds more than %2 characters, more than an entry may hold.")
            .arg(field, QLocale(QLocale::English).toString(kMaxFieldLength));
    if (lineends::hasLineBreak(text))
        return QStringLiteral("The field \"%1\" holds a line break, which would add stray lines to the "
                              "settings file.")
            .arg(field);
    if (text.contains(QChar(0)))
        return QStringLiteral("The field \"%1\" holds a NUL character, which the settings file cannot "
                              "hold.")
            .arg(field);
    return {};
}

// The field's bytes in the file's encoding, or why it cannot be written there.
QString encodeField(const Field &field, ini::Encoding encoding, QByteArray *bytes)
{
    const codepage::Encoded encoded = ini::encode(*field.text, encoding);
    if (!encoded.ok())
        return QStringLiteral("The field \"%1\" holds the character %2, which the settings file's code "
                              "page (Windows-1252) cannot hold.")
            .arg(QLatin1String(field.label), codepage::describe(*encoded.unrepresentable));
    *bytes = encoded.bytes;
    return {};
}

// The file is always the one beside the program, so a refused write most often
// means a folder the user may not write in, such as an installed copy's. The
// message then says what to do about it. (A file the user may write is
// written in place even there, so other failures have other causes, which
// their own text names: an immutable file, a backup left, a full disk.)
bool deniedByFolderOrFile(const FileError &error)
{
    return error.accessDenied();
}

QString whereTheFileLives(const QString &path)
{
    return QStringLiteral("\n\nFerox.ini is always the file beside the program, in\n%1\nIf you cannot write "
                          "there (an installed copy, say), copy the program into a folder of your own and "
                          "run it from there, or have that folder made writable for you.")
        .arg(QFileInfo(path).absolutePath());
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

    // The section and the keys in the order they are written. The file says
    // how to encode them: in a UTF-8 file (one with a byte-order mark) as UTF-8,
    // else in the code page, which cannot hold every character.
    const struct {
        const char *key;
        const Field *field;
    } writes[]
        = { { "//", &all[4] }, { "AltTitle", &all[1] }, { "Comments", &all[2] }, { "UCode", &all[3] } };
    const auto compose = [&](ini::Encoding encoding) {
        ProfileKeys keys;
        QByteArray bytes;
        // Checked in the fields' order, so the first unfit field is named.
        for (const Field &field : all) {
            keys.refusal = encodeField(field, encoding, &bytes);
            if (!keys.refusal.isEmpty())
                return keys;
        }
        encodeField(all[0], encoding, &keys.section);
        for (const auto &write : writes) {
            profile::KeyWrite key { write.key, {} };
            encodeField(*write.field, encoding, &key.value);
            keys.writes.append(key);
        }
        return keys;
    };
    const QString path = ini::fixedPath();
    FileError error;
    if (!writePrivateProfileKeys(path, compose, &error)) {
        if (error.kind == FileError::Kind::Refused) {
            outcome.message = QStringLiteral("The entry could not be added to the file\n%1\n%2\nNothing was "
                                             "written.")
                                  .arg(path, error.text);
        } else {
            outcome.message = QStringLiteral("The entry could not be added: the file\n%1\ncould not be "
                                             "written (%2).")
                                  .arg(path, error.text);
            if (deniedByFolderOrFile(error))
                outcome.message += whereTheFileLives(path);
        }
        return outcome;
    }
    outcome.ok = true;
    return outcome;
}

} // namespace gameentry
