#include "platform/ProfileWriter.h"

#include "fileio/FileBytes.h"

// Plans on the file as it is read in pieces (a missing one is empty), then
// replaces it once, copying the bytes outside the edit inside the kernel.
bool writePrivateProfileKeys(const QString &path, const std::function<ProfileKeys(ini::Encoding)> &compose,
    FileError *error, const filebytes::Wait &wait)
{
    // Planned under the file's lock on the file as it is then; planned again
    // if another process replaced the file meanwhile.
    QList<profile::Edit> edits;
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
            // The edits' bytes live in `edits` until update() returns; the
            // rest of the file is copied from it.
            edits = plan.edits;
            pieces->clear();
            qint64 at = 0;
            for (const profile::Edit &edit : std::as_const(edits)) {
                pieces->append({ {}, at, edit.at - at });
                pieces->append({ QByteArrayView(edit.inserted) });
                at = edit.at + edit.removed;
            }
            pieces->append({ {}, at, file.size() - at });
            return true;
        },
        error, wait);
}

bool WritePrivateProfileStringA(
    QByteArrayView section, QByteArrayView key, QByteArrayView value, const QString &path, FileError *error)
{
    const auto compose = [&](ini::Encoding) {
        return ProfileKeys { section.toByteArray(), { { key.toByteArray(), value.toByteArray() } }, {} };
    };
    return writePrivateProfileKeys(path, compose, error);
}
