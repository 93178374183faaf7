#pragma once

#include <QString>

// The fields of a mail as the user typed them: what the header makes of them
// and whether they can go out at all.
namespace mime {

// Success, or the reason for a refusal in words for the user. A result that
// nobody filled in is a failure.
struct Result {
    bool ok = false;
    QString error;
};

// Field `index` (from 1) of `text` split at each occurrence of `delimiter`; the
// last field runs to the end of the text; a field beyond the last is empty.
QString GetToken(qsizetype index, const QString &text, const QString &delimiter);

// The sender's display name: the sender address up to its first "@".
QString displayName(const QString &fromAddress);
// The part of the path after its last backslash or slash (the whole path
// without either).
QString attachmentFileName(const QString &attachmentPath);
// True when the path holds more than blanks.
bool hasAttachment(const QString &attachmentPath);

// Refuses what would break the header or the command lines (an empty sender,
// a line break in an address, the subject or the attachment's file name), a
// From or To field that is not a list of addresses (see envelopeOf: one
// sender, at least one recipient), and any character of the subject or the
// body that the 8-bit code page cannot hold. The window calls it before
// connecting; the composition applies it again.
Result checkFields(const QString &fromAddress, const QString &toAddress, const QString &subject,
    const QString &body, const QString &attachmentPath);

} // namespace mime
