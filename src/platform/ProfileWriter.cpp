#include "platform/ProfileWriter.h"

#include "platform/FileBytes.h"

namespace {

// Plans on the file as it is read in pieces (a missing one is empty), then
// replaces it once, copying the bytes outside the edit inside the kernel.
bool writeKeys(const QString &path, const std::function<ProfileKeys(ini::Encoding)> &compose, QString *error,
    bool *refused)
{
    // Planned under the file's lock on the file as it is then; planned again
    // if another process replaced the file meanwhile.
    bool refusedHere = false;
    QByteArray inserted;
    const bool ok = filebytes::update(
        path,
        [&](const filebytes::Snapshot &file, QList<filebytes::Piece> *pieces, QString *reason) {
            const auto read = [&file](qint64 offset, qint64 size, QByteArray *out, QString *why) {
                return file.readAt(offset, size, out, why);
            };
            const profile::Plan plan = profile::planOn(file.size(), read, compose, profile::kPieceSize);
            refusedHere = plan.refused;
            if (!plan.ok) {
                *reason = plan.error;
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
    if (refused)
        *refused = !ok && refusedHere;
    return ok;
}

} // namespace

bool WritePrivateProfileStringA(
    QByteArrayView section, QByteArrayView key, QByteArrayView value, const QString &path, QString *error)
{
    const auto compose = [&](ini::Encoding) {
        return ProfileKeys { section.toByteArray(), { { key.toByteArray(), value.toByteArray() } }, {} };
    };
    return writeKeys(path, compose, error, nullptr);
}

bool WritePrivateProfileKeys(const QString &path, const std::function<ProfileKeys(ini::Encoding)> &compose,
    QString *error, bool *refused)
{
    return writeKeys(path, compose, error, refused);
}
