#include "platform/ProfileWriter.h"

#include "fileio/FileBytes.h"

// Plans on the file as it is read in pieces (a missing one is empty), then
// replaces it once, copying the bytes outside the edit inside the kernel.
bool writePrivateProfileKeys(
    const QString &path, const std::function<ProfileKeys(ini::Encoding)> &compose, FileError *error)
{
    // Planned under the file's lock on the file as it is then; planned again
    // if another process replaced the file meanwhile.
    QByteArray inserted;
    return filebytes::update(
        path,
        [&](const filebytes::Snapshot &file, QList<filebytes::Piece> *pieces, FileError *reason) {
            // The planner keeps only a read's text; the error itself is kept here.
            FileError readError;
            const auto read = [&file, &readError](qint64 offset, qint64 size, QByteArray *out, QString *why) {
                if (file.readAt(offset, size, out, &readError))
                    return true;
                *why = readError.text;
                return false;
            };
            const profile::Plan plan = profile::planOn(file.size(), read, compose, profile::kPieceSize);
            if (!plan.ok) {
                *reason = plan.refused ? FileError { FileError::Kind::Refused, 0, plan.error } : readError;
                return false;
            }
            const profile::Edit &edit = plan.edit;
            const qint64 rest = edit.at + edit.removed;
            // The plan's inserted bytes live in `inserted` until update() returns.
            inserted = edit.inserted;
            *pieces = { { {}, 0, edit.at }, { QByteArrayView(inserted) }, { {}, rest, file.size() - rest } };
            return true;
        },
        error);
}

bool WritePrivateProfileStringA(
    QByteArrayView section, QByteArrayView key, QByteArrayView value, const QString &path, FileError *error)
{
    const auto compose = [&](ini::Encoding) {
        return ProfileKeys { section.toByteArray(), { { key.toByteArray(), value.toByteArray() } }, {} };
    };
    return writePrivateProfileKeys(path, compose, error);
}
