// The mail transport without a server: base64 of attachments, the message
// text row by row, GetToken, the EHLO identity, the server field and the login.

#include "TestFiles.h"
#include "core/Base64.h"
#include "core/LineEnds.h"
#include "core/MailAddress.h"
#include "core/MailFields.h"
#include "core/MimeHeader.h"
#include "core/MimeMessage.h"
#include "core/SmtpAuth.h"
#include "core/SmtpEndpoint.h"
#include "core/SmtpReply.h"
#include "mail/modSendmail.h"

#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTimeZone>
#include <QtTest>

#include <cctype>

using namespace mime;
using namespace modSendmail;
using namespace smtp;

namespace {

// What coreutils makes of the file, in the program's form: CR LF after each
// full line of 72 characters (a padded last one too), no line break after a
// shorter last line.
QByteArray referenceBase64(const QString &path, qsizetype size)
{
    QProcess base64;
    base64.start(QStringLiteral("base64"), { QStringLiteral("-w"), QStringLiteral("72"), path });
    if (!base64.waitForFinished(30000) || base64.exitCode() != 0)
        return "base64 failed";
    QByteArray text = base64.readAllStandardOutput();
    text.replace("\n", "\r\n");
    if ((size + 2) / 3 * 4 % 72 != 0)
        text.chop(2);
    return text;
}

const QByteArray head = "MIME-Version: 1.0\r\n";
const QByteArray multipart = "Content-Type: multipart/mixed;\r\n";
const QByteArray boundary = "              boundary=Unique-Boundary\r\n\r\n";
const QByteArray garbage = " [ Random garbage here ]\r\n\r\n";
const QByteArray firstDelimiter = "\r\n--Unique-Boundary\r\n";
const QByteArray asciiBody = "Content-type: text/plain; charset=US-ASCII\r\n\r\n";
const QByteArray closing = "--Unique-Boundary--";

QList<QByteArray> attachmentRows(const QByteArray &fileName, const QByteArray &encoded)
{
    return { "--Unique-Boundary\r\n", "Content-Type: multipart/parallel; boundary=Parallel-Boundary\r\n\r\n",
        "--Parallel-Boundary\r\n", "Content-Type: application/octet-stream;\r\n",
        " name=" + fileName + "\r\n", "Content-Transfer-Encoding: base64\r\n",
        "Content-Disposition: inline;\r\n", " filename=" + fileName + "\r\n\r\n", encoded + "\r\n",
        "--Parallel-Boundary--\r\n--Unique-Boundary--" };
}

// A fixed date and id, so that rows can be compared.
MessageStamp fixedStamp()
{
    return { QDateTime(QDate(2026, 12, 7), QTime(21, 5, 9), QTimeZone(3600)), "id1" };
}

const QByteArray dateRow = "Date: Mon, 07 Dec 2026 21:05:09 +0100\r\n";

// A reader's decoding of quoted-printable text: "=XX", soft breaks "=" CR LF.
QByteArray decodequotedPrintable(const QByteArray &encoded)
{
    QByteArray out;
    for (qsizetype i = 0; i < encoded.size(); ++i) {
        if (encoded[i] != '=') {
            out += encoded[i];
        } else if (encoded.mid(i + 1, 2) == "\r\n") {
            i += 2;
        } else {
            out += char(encoded.mid(i + 1, 2).toInt(nullptr, 16));
            i += 2;
        }
    }
    return out;
}

} // namespace

class TestMail : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void encodeAttachment_data()
    {
        QTest::addColumn<qsizetype>("size");
        for (qsizetype size : { 0, 1, 2, 3, 52, 53, 54, 55, 56, 57, 107, 108, 109, 32767, 100003, 110593 })
            QTest::addRow("%lld bytes", static_cast<long long>(size)) << size;
    }

    // Against coreutils, for the edge sizes of groups and lines and for files
    // past every 16-bit limit.
    void encodeAttachment()
    {
        QFETCH(qsizetype, size);
        QTemporaryDir dir;
        const QByteArray bytes = randomBytes(size, static_cast<quint32>(size) + 7);
        const QString path = writeFile(dir, QStringLiteral("attach.bin"), bytes);
        const EncodedAttachment encoded = EncodeAttachment(path);
        QVERIFY2(encoded.ok, qPrintable(encoded.error));
        QCOMPARE(encoded.text, referenceBase64(path, size));
        QCOMPARE(QByteArray::fromBase64(encoded.text), bytes);
    }

    // Pieces of any size, as a file is read, give the text of the whole.
    void encodePieces_data()
    {
        QTest::addColumn<qsizetype>("size");
        QTest::addColumn<qsizetype>("piece");
        for (qsizetype size : { 0, 2, 53, 54, 107, 109, 1000 })
            for (qsizetype piece : { 1, 2, 53, 54, 55, 200 })
                QTest::addRow("%lld bytes in pieces of %lld", static_cast<long long>(size),
                    static_cast<long long>(piece))
                    << size << piece;
    }
    void encodePieces()
    {
        QFETCH(qsizetype, size);
        QFETCH(qsizetype, piece);
        const QByteArray bytes = randomBytes(size, static_cast<quint32>(size) + 11);
        base64::Writer writer(piece); // a wrong guess of the size only costs time
        writer.add(QByteArrayView()); // nothing, not even a pointer
        for (qsizetype at = 0; at < size; at += piece)
            writer.add(QByteArrayView(bytes).sliced(at, std::min(piece, size - at)));
        QCOMPARE(writer.finish(), base64::lines(bytes));
        QCOMPARE(writer.finish(), QByteArray()); // and starts afresh
    }

    void encodeAttachmentUnreadable()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("missing.ini"));
        const EncodedAttachment missing = EncodeAttachment(path);
        QVERIFY(!missing.ok);
        QVERIFY2(missing.error.contains(path), qPrintable(missing.error));
        QVERIFY2(missing.error.contains(QStringLiteral("No such file")), qPrintable(missing.error));
        QVERIFY(missing.text.isEmpty());

        const EncodedAttachment folder = EncodeAttachment(dir.path());
        QVERIFY(!folder.ok);
        QVERIFY2(folder.error.contains(dir.path()), qPrintable(folder.error));
    }

    void getToken_data()
    {
        QTest::addColumn<qsizetype>("index");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        QTest::newRow("name before @") << qsizetype(1) << QStringLiteral("alice@example.org") << "alice";
        QTest::newRow("after @") << qsizetype(2) << QStringLiteral("alice@example.org") << "example.org";
        QTest::newRow("beyond the last") << qsizetype(3) << QStringLiteral("alice@example.org") << "";
        QTest::newRow("no @") << qsizetype(1) << QStringLiteral("alice") << "alice";
        QTest::newRow("no @, field 2") << qsizetype(2) << QStringLiteral("alice") << "";
        QTest::newRow("empty") << qsizetype(1) << QString() << "";
        QTest::newRow("leading @") << qsizetype(1) << QStringLiteral("@example.org") << "";
        QTest::newRow("trailing @") << qsizetype(2) << QStringLiteral("alice@") << "";
        QTest::newRow("middle field") << qsizetype(2) << QStringLiteral("a@b@c") << "b";
        QTest::newRow("last field") << qsizetype(3) << QStringLiteral("a@b@c") << "c";
        QTest::newRow("index 0") << qsizetype(0) << QStringLiteral("a@b") << "";
        const QString longText
            = QString(40000, QLatin1Char('x')) + QLatin1Char('@') + QString(40000, QLatin1Char('y'));
        QTest::newRow("past 16 bits") << qsizetype(2) << longText << QString(40000, QLatin1Char('y'));
    }

    void getToken()
    {
        QFETCH(qsizetype, index);
        QFETCH(QString, text);
        QFETCH(QString, expected);
        QCOMPARE(GetToken(index, text, QStringLiteral("@")), expected);
    }

    void message_data()
    {
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("subject");
        QTest::addColumn<QString>("body");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QByteArray>("encoded");
        QTest::addColumn<QList<QByteArray>>("rows");

        const QString from = QStringLiteral("alice@example.org");
        const QString subject = QStringLiteral("Updated Ferox.ini File");
        const QByteArray fromRow = "From: alice <alice@example.org>\r\n";
        const QByteArray toRow = "To: <bob@example.net>\r\n";
        const QByteArray subjectRow = "Subject: Updated Ferox.ini File\r\n";
        const QByteArray idRow = "Message-ID: <id1@example.org>\r\n";
        const QList<QByteArray> top = { head, fromRow, toRow, subjectRow, dateRow, idRow, multipart, boundary,
            garbage, firstDelimiter, asciiBody };

        QTest::newRow("attachment") << from << subject << QStringLiteral("Hello\r\nWorld")
                                    << QStringLiteral("C:\\Games\\Ferox.ini") << QByteArray("YWJj")
                                    << (top + QList<QByteArray> { "Hello\r\nWorld\r\n\r\n" }
                                           + attachmentRows("Ferox.ini", "YWJj"));
        QTest::newRow("no attachment")
            << from << subject << QStringLiteral("Hello") << QString() << QByteArray()
            << (top + QList<QByteArray> { "Hello\r\n\r\n", closing });
        QTest::newRow("path of blanks")
            << from << subject << QStringLiteral("Hello") << QStringLiteral("   ") << QByteArray("YWJj")
            << (top + QList<QByteArray> { "Hello\r\n\r\n", closing });
        QTest::newRow("path without backslash")
            << from << subject << QStringLiteral("Hello") << QStringLiteral("Ferox.ini") << QByteArray("YQ==")
            << (top + QList<QByteArray> { "Hello\r\n\r\n" } + attachmentRows("Ferox.ini", "YQ=="));

        QList<QByteArray> typed = top;
        typed[1] = "From: \"Alice Example\" <alice@example.org>\r\n";
        QTest::newRow("sender with a name, blanks around")
            << QStringLiteral(" Alice Example <alice@example.org> ") << subject << QStringLiteral("Hello")
            << QString() << QByteArray() << (typed + QList<QByteArray> { "Hello\r\n\r\n", closing });
        // A display name that is no atom goes out as a quoted string.
        const std::pair<const char *, QByteArray> names[] = {
            { "first.last@example.org", "From: \"first.last\" <first.last@example.org>\r\n" },
            { "\"o'neil x\"@example.org", "From: \"\\\"o'neil x\\\"\" <\"o'neil x\"@example.org>\r\n" },
            { "o'neil+x@example.org", "From: o'neil+x <o'neil+x@example.org>\r\n" },
            { "=?utf-8?q?Boss?=@example.org",
                "From: \"=?utf-8?q?Boss?=\" <=?utf-8?q?Boss?=@example.org>\r\n" },
        };
        for (const auto &[address, row] : names) {
            QList<QByteArray> named = top;
            named[1] = row;
            QTest::addRow("sender %s", address)
                << QString::fromLatin1(address) << subject << QStringLiteral("Hello") << QString()
                << QByteArray() << (named + QList<QByteArray> { "Hello\r\n\r\n", closing });
        }
        // A local part beyond ASCII goes in UTF-8 (the envelope then needs
        // SMTPUTF8); the name taken from it as an encoded word.
        QList<QByteArray> latinName = top;
        latinName[1] = "From: =?UTF-8?B?" + QByteArray("J\xc3\xbcrgen").toBase64()
            + "?= <J\xc3\xbcrgen@example.org>\r\n";
        QTest::newRow("sender beyond ASCII")
            << QStringLiteral("J\u00fcrgen@example.org") << subject << QStringLiteral("Hello") << QString()
            << QByteArray() << (latinName + QList<QByteArray> { "Hello\r\n\r\n", closing });

        const QByteArray fullLine = QByteArray(72, 'Q') + "\r\n";
        QTest::newRow("encoded text ending in a full line")
            << from << subject << QStringLiteral("Hello") << QStringLiteral("C:\\a\\b.ini") << fullLine
            << (top + QList<QByteArray> { "Hello\r\n\r\n" } + attachmentRows("b.ini", fullLine));

        QTest::newRow("body with dot lines")
            << from << subject << QStringLiteral(".\r\nmiddle\r\n.\r\n..two\r\nend.") << QString()
            << QByteArray()
            << (top + QList<QByteArray> { "..\r\nmiddle\r\n..\r\n...two\r\nend.\r\n\r\n", closing });
        QTest::newRow("body with a dot on its first line only")
            << from << subject << QStringLiteral(".ini file attached\r\nsee below") << QString()
            << QByteArray()
            << (top + QList<QByteArray> { "..ini file attached\r\nsee below\r\n\r\n", closing });

        QTest::newRow("body with other line ends")
            << from << subject << QStringLiteral("lf\nlone cr\rcrlf\r\nend") << QString() << QByteArray()
            << (top + QList<QByteArray> { "lf\r\nlone cr\r\ncrlf\r\nend\r\n\r\n", closing });

        QList<QByteArray> latin = top;
        latin[10]
            = "Content-type: text/plain; charset=windows-1252\r\nContent-Transfer-Encoding: 8bit\r\n\r\n";
        QTest::newRow("body beyond ASCII")
            << from << subject << QStringLiteral("Gr\u00fc\u00dfe, 5 \u20ac") << QString() << QByteArray()
            << (latin
                   + QList<QByteArray> { "Gr\xfc\xdf"
                                         "e, 5 \x80\r\n\r\n",
                       closing });

        QList<QByteArray> encodedSubject = top;
        encodedSubject[3]
            = "Subject: =?windows-1252?B?" + QByteArray("Neue Eintr\xe4ge").toBase64() + "?=\r\n";
        QTest::newRow("subject beyond ASCII")
            << from << QStringLiteral("Neue Eintr\u00e4ge") << QStringLiteral("Hello") << QString()
            << QByteArray() << (encodedSubject + QList<QByteArray> { "Hello\r\n\r\n", closing });
        // An ASCII subject that a reader would decode goes out as a word of its own.
        const QString lookalike = QStringLiteral("=?windows-1252?B?SGFsbG8=?=");
        encodedSubject[3] = "Subject: =?windows-1252?B?" + lookalike.toLatin1().toBase64() + "?=\r\n";
        QTest::newRow("subject like an encoded word")
            << from << lookalike << QStringLiteral("Hello") << QString() << QByteArray()
            << (encodedSubject + QList<QByteArray> { "Hello\r\n\r\n", closing });

        // A text line that is a delimiter of the usual boundary moves it.
        QList<QByteArray> moved = top;
        moved[7] = "              boundary=Unique-Boundary-3\r\n\r\n";
        moved[9] = "\r\n--Unique-Boundary-3\r\n";
        QList<QByteArray> movedAttachment = attachmentRows("b.ini", "YQ==");
        movedAttachment[0] = "--Unique-Boundary-3\r\n";
        movedAttachment[9] = "--Parallel-Boundary--\r\n--Unique-Boundary-3--";
        QTest::newRow("body line equal to the boundary")
            << from << subject << QStringLiteral("a\n--Unique-Boundary--\nb") << QStringLiteral("b.ini")
            << QByteArray("YQ==")
            << (moved + QList<QByteArray> { "a\r\n--Unique-Boundary--\r\nb\r\n\r\n" } + movedAttachment);
        QTest::newRow("body line equal to the boundary, no attachment")
            << from << subject << QStringLiteral("--Unique-Boundary") << QString() << QByteArray()
            << (moved + QList<QByteArray> { "--Unique-Boundary\r\n\r\n", "--Unique-Boundary-3--" });

        // A line longer than SMTP carries goes out quoted-printable.
        const QString longLine = QString(1000, QLatin1Char('x'));
        QList<QByteArray> quoted = top;
        quoted[10] = "Content-type: text/plain; charset=US-ASCII\r\nContent-Transfer-Encoding: "
                     "quoted-printable\r\n\r\n";
        QTest::newRow("body with a long line")
            << from << subject << longLine << QString() << QByteArray()
            << (quoted
                   + QList<QByteArray> { mime::quotedPrintable(longLine.toLatin1()) + "\r\n\r\n", closing });
        QTest::newRow("body with a line of 998")
            << from << subject << QString(998, QLatin1Char('x')) << QString() << QByteArray()
            << (top + QList<QByteArray> { QByteArray(998, 'x') + "\r\n\r\n", closing });

        QList<QByteArray> quotedName = attachmentRows("x", "YQ==");
        quotedName[4] = " name=\"Ferox backup.ini\"\r\n";
        quotedName[7] = " filename=\"Ferox backup.ini\"\r\n\r\n";
        QTest::newRow("file name with a blank")
            << from << subject << QStringLiteral("Hello") << QStringLiteral("C:\\x\\Ferox backup.ini")
            << QByteArray("YQ==") << (top + QList<QByteArray> { "Hello\r\n\r\n" } + quotedName);

        // Beyond ASCII: the plain name for older readers, the exact one in
        // RFC 2231 form; a character beyond the code page is no obstacle.
        QList<QByteArray> wideFileName = attachmentRows("x", "YQ==");
        wideFileName[4] = " name=\"Deja vu _.ini\"\r\n";
        wideFileName[7] = " filename*=UTF-8''D%C3%A9j%C3%A0%20vu%20%E6%97%A5.ini\r\n\r\n";
        QTest::newRow("file name beyond ASCII")
            << from << subject << QStringLiteral("Hello") << QStringLiteral("/x/D\u00e9j\u00e0 vu \u65e5.ini")
            << QByteArray("YQ==") << (top + QList<QByteArray> { "Hello\r\n\r\n" } + wideFileName);
    }

    void message()
    {
        QFETCH(QString, from);
        QFETCH(QString, subject);
        QFETCH(QString, body);
        QFETCH(QString, path);
        QFETCH(QByteArray, encoded);
        QFETCH(QList<QByteArray>, rows);
        const Message message = composeMessage(
            from, QStringLiteral("bob@example.net"), subject, body, path, &encoded, true, fixedStamp());
        QVERIFY2(message.ok, qPrintable(message.error));
        QCOMPARE(message.rows.size(), rows.size());
        for (qsizetype i = 0; i < rows.size(); ++i)
            QVERIFY2(message.rows[i] == rows[i],
                qPrintable(
                    QStringLiteral("row %1: %2").arg(i + 1).arg(QString::fromLatin1(message.rows[i]))));
    }

    void longSubjectIsFolded()
    {
        const QString subject = QString(100, QChar(0xe9));
        const Message message
            = composeMessage(QStringLiteral("a@b.c"), QStringLiteral("d@e.f"), subject, {}, {}, nullptr);
        QVERIFY(message.ok);
        const QList<QByteArray> lines = message.rows[3].split('\n');
        QCOMPARE(lines.size(), 4); // three encoded words, and the empty rest after the last CR LF
        for (const QByteArray &line : lines)
            QVERIFY(line.size() <= 78);
        QByteArray decoded;
        for (QByteArray line : lines.first(3)) {
            line = line.trimmed();
            QVERIFY(line.contains("=?windows-1252?B?"));
            decoded += QByteArray::fromBase64(line.mid(line.indexOf("?B?") + 3).chopped(2));
        }
        QCOMPARE(decoded, QByteArray(100, '\xe9'));
    }

    void dotStuff_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("first line only")
            << QByteArray(".ini file attached\r\nok") << QByteArray("..ini file attached\r\nok");
        QTest::newRow("lone dot first") << QByteArray(".\r\nrest") << QByteArray("..\r\nrest");
        QTest::newRow("only a dot") << QByteArray(".") << QByteArray("..");
        QTest::newRow("two dots") << QByteArray("..") << QByteArray("...");
        QTest::newRow("last line") << QByteArray("a\r\n.") << QByteArray("a\r\n..");
        QTest::newRow("every line") << QByteArray(".a\r\n.\r\n.") << QByteArray("..a\r\n..\r\n..");
        QTest::newRow("not at a line start") << QByteArray("a.\r\nb. .") << QByteArray("a.\r\nb. .");
        QTest::newRow("empty") << QByteArray() << QByteArray();
    }

    void dotStuff()
    {
        QFETCH(QByteArray, data);
        QFETCH(QByteArray, expected);
        QCOMPARE(mime::dotStuff(data), expected);
    }

    void quotedPrintable_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("plain") << QByteArray("Hello,\r\nworld") << QByteArray("Hello,\r\nworld");
        QTest::newRow("equals sign") << QByteArray("a=b") << QByteArray("a=3Db");
        QTest::newRow("high bytes") << QByteArray("Gr\xfc\xdf"
                                                  "e \x80")
                                    << QByteArray("Gr=FC=DFe =80");
        QTest::newRow("blanks at line ends")
            << QByteArray("a \r\nb\t\r\n ") << QByteArray("a=20\r\nb=09\r\n=20");
        QTest::newRow("lone line feed and return") << QByteArray("a\nb\rc") << QByteArray("a=0Ab=0Dc");
        QTest::newRow("76 fit") << QByteArray(76, 'x') << QByteArray(76, 'x');
        QTest::newRow("77 break") << QByteArray(77, 'x') << QByteArray(75, 'x') + "=\r\nxx";
        QTest::newRow("no code split") << QByteArray(74, 'x') + "\xe9y" << QByteArray(74, 'x') + "=\r\n=E9y";
    }

    void quotedPrintable()
    {
        QFETCH(QByteArray, text);
        QFETCH(QByteArray, expected);
        QCOMPARE(mime::quotedPrintable(text), expected);
    }

    // Any bytes: short lines of printable ASCII only, and a reader gets the
    // bytes back.
    void quotedPrintableRoundTrip()
    {
        QByteArray text = randomBytes(20000, 11);
        text += "\r\n" + QByteArray(3000, 'z') + " \r\n\r\n.\r\n";
        const QByteArray encoded = mime::quotedPrintable(text);
        for (const QByteArray &line : encoded.split('\n')) {
            QVERIFY(line.size() <= 77); // 76 and the CR
            QVERIFY(std::all_of(line.begin(), line.end(),
                [](char c) { return c == '\r' || c == '\t' || (c >= 32 && c < 127); }));
        }
        QCOMPARE(decodequotedPrintable(encoded), text);
    }

    void boundaries_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QByteArray>("outer");
        QTest::addColumn<QByteArray>("nested");
        QTest::newRow("no clash") << QByteArray("a\r\n-Unique-Boundary\r\nx--Unique-Boundary")
                                  << QByteArray("Unique-Boundary") << QByteArray("Parallel-Boundary");
        QTest::newRow("delimiter") << QByteArray("a\r\n--Unique-Boundary\r\nb")
                                   << QByteArray("Unique-Boundary-3") << QByteArray("Parallel-Boundary");
        QTest::newRow("closing delimiter")
            << QByteArray("--Unique-Boundary--") << QByteArray("Unique-Boundary-3")
            << QByteArray("Parallel-Boundary");
        QTest::newRow("old nested delimiter")
            << QByteArray("--Unique-Boundary-2") << QByteArray("Unique-Boundary-3")
            << QByteArray("Parallel-Boundary");
        QTest::newRow("candidates taken")
            << QByteArray("--Unique-Boundary-3\r\n--Unique-Boundary-40 x\r\n--Unique-Boundary-5")
            << QByteArray("Unique-Boundary-6") << QByteArray("Parallel-Boundary");
        QTest::newRow("nested delimiters in the text")
            << QByteArray("--Parallel-Boundary\r\n--Parallel-Boundary-2--") << QByteArray("Unique-Boundary")
            << QByteArray("Parallel-Boundary-3");
    }

    // Neither boundary begins with the other, and no text line starts with
    // either delimiter.
    void boundaries()
    {
        QFETCH(QByteArray, body);
        QFETCH(QByteArray, outer);
        QFETCH(QByteArray, nested);
        QCOMPARE(mime::outerBoundary(body), outer);
        QCOMPARE(mime::nestedBoundary(body), nested);
        QVERIFY(!outer.startsWith(nested) && !nested.startsWith(outer));
    }

    void readReply_data()
    {
        QTest::addColumn<QByteArray>("received");
        QTest::addColumn<int>("status");
        QTest::addColumn<int>("code");
        QTest::addColumn<QList<QByteArray>>("lines");
        QTest::addColumn<qsizetype>("consumed");
        const int complete = int(ReplyRead::Status::Complete);
        const int more = int(ReplyRead::Status::NeedMore);
        const int error = int(ReplyRead::Status::Error);
        QTest::newRow("one line") << QByteArray("250 OK\r\n") << complete << 250
                                  << QList<QByteArray> { "250 OK" } << qsizetype(8);
        QTest::newRow("code alone, bare LF, more after it")
            << QByteArray("354\n250 x") << complete << 354 << QList<QByteArray> { "354" } << qsizetype(4);
        QTest::newRow("several lines")
            << QByteArray("250-test.invalid\r\n250-SIZE 100\r\n250 HELP\r\n") << complete << 250
            << QList<QByteArray> { "250-test.invalid", "250-SIZE 100", "250 HELP" } << qsizetype(42);
        QTest::newRow("nothing yet") << QByteArray() << more << 0 << QList<QByteArray>() << qsizetype(0);
        QTest::newRow("half a line") << QByteArray("250 O") << more << 0 << QList<QByteArray>()
                                     << qsizetype(0);
        QTest::newRow("half a reply")
            << QByteArray("250-a\r\n250") << more << 0 << QList<QByteArray>() << qsizetype(0);
        QTest::newRow("no code") << QByteArray("hello\r\n") << error << 0 << QList<QByteArray>()
                                 << qsizetype(0);
        QTest::newRow("sign for a digit")
            << QByteArray("+25 x\r\n") << error << 0 << QList<QByteArray>() << qsizetype(0);
        QTest::newRow("short code") << QByteArray("25\r\n") << error << 0 << QList<QByteArray>()
                                    << qsizetype(0);
        QTest::newRow("bad separator")
            << QByteArray("250x\r\n") << error << 0 << QList<QByteArray>() << qsizetype(0);
        QTest::newRow("bad later line")
            << QByteArray("250-a\r\nxyz\r\n") << error << 0 << QList<QByteArray>() << qsizetype(0);
        QTest::newRow("overlong, unfinished") << "250-" + QByteArray(longestSmtpReply, 'a') << error << 0
                                              << QList<QByteArray>() << qsizetype(0);
        QTest::newRow("overlong, finished") << "250 " + QByteArray(longestSmtpReply, 'a') + "\r\n"
                                            << error << 0 << QList<QByteArray>() << qsizetype(0);
    }

    void readReply()
    {
        QFETCH(QByteArray, received);
        QFETCH(int, status);
        QFETCH(int, code);
        QFETCH(QList<QByteArray>, lines);
        QFETCH(qsizetype, consumed);
        const ReplyRead read = smtp::readReply(received);
        QCOMPARE(int(read.status), status);
        QCOMPARE(read.reply.code, code);
        QCOMPARE(read.reply.lines, lines);
        QCOMPARE(read.consumed, consumed);
        QCOMPARE(read.error.isEmpty(), status != int(ReplyRead::Status::Error));
    }

    void headerFieldsRefused_data()
    {
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("to");
        QTest::addColumn<QString>("subject");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("word");
        const QString ok = QStringLiteral("a@b.c");
        QTest::newRow("sender") << QStringLiteral("a@b.c\r\nRCPT TO:<x@y>") << ok << "s"
                                << ""
                                << "sender";
        QTest::newRow("recipient") << ok << QStringLiteral("x@y\nBcc: z@w") << "s"
                                   << ""
                                   << "recipient";
        QTest::newRow("subject") << ok << ok << QStringLiteral("Hi\r\nBcc: z@w") << ""
                                 << "subject";
        QTest::newRow("subject lone cr") << ok << ok << QStringLiteral("Hi\rthere") << ""
                                         << "subject";
        QTest::newRow("file name") << ok << ok << "s" << QStringLiteral("C:\\a\\b\r\nX-Evil: 1")
                                   << "file name";
        QTest::newRow("beyond the code page") << ok << ok << QStringLiteral("\u65e5\u672c") << ""
                                              << "U+65E5";
        QTest::newRow("empty sender") << QString() << ok << "s"
                                      << ""
                                      << "sender";
        QTest::newRow("sender of blanks") << QStringLiteral("  ") << ok << "s"
                                          << ""
                                          << "sender";
    }

    void headerFieldsRefused()
    {
        QFETCH(QString, from);
        QFETCH(QString, to);
        QFETCH(QString, subject);
        QFETCH(QString, path);
        QFETCH(QString, word);
        const Result check = checkFields(from, to, subject, QStringLiteral("body"), path);
        QVERIFY(!check.ok);
        QVERIFY2(check.error.contains(word), qPrintable(check.error));
        const Message message = composeMessage(from, to, subject, QStringLiteral("body"), path, nullptr);
        QVERIFY(!message.ok);
        QVERIFY(message.rows.isEmpty());
    }

    void lineBreakBeforeTheFileNameIsNoHeader()
    {
        // Only the file name goes into the mail, not the folders before it.
        QVERIFY(checkFields(
            QStringLiteral("a@b.c"), QStringLiteral("d@e.f"), {}, {}, QStringLiteral("C:\\od\nd\\b.ini"))
                    .ok);
    }

    void bodyBeyondTheCodePageRefused()
    {
        const Message message = composeMessage(
            QStringLiteral("a@b.c"), QStringLiteral("a@b.c"), {}, QStringLiteral("ok \u65e5"), {}, nullptr);
        QVERIFY(!message.ok);
        QVERIFY(message.error.contains(QStringLiteral("U+65E5")));
        // The window refuses it before connecting, with the same words.
        const Result check = checkFields(
            QStringLiteral("a@b.c"), QStringLiteral("a@b.c"), {}, QStringLiteral("ok \u65e5"), {});
        QVERIFY(!check.ok);
        QCOMPARE(check.error, message.error);
    }

    // Addresses as people type them: each address on the wire, its name
    // apart; what is no address is refused naming the field and the text.
    void addresses_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QList<QByteArray>>("wire");
        QTest::addColumn<bool>("smtpUtf8");
        QTest::addColumn<QString>("refusal"); // words of the refusal; empty when accepted
        const QString none;
        QTest::newRow("blanks around") << QStringLiteral(" alice@example.org\t") << QStringList { none }
                                       << QList<QByteArray> { "alice@example.org" } << false << none;
        QTest::newRow("display name") << QStringLiteral("Team <team@example.net>") << QStringList { "Team" }
                                      << QList<QByteArray> { "team@example.net" } << false << none;
        QTest::newRow("quoted name with a comma")
            << QStringLiteral("\"Name, Inc.\" < x@example.org >") << QStringList { "Name, Inc." }
            << QList<QByteArray> { "x@example.org" } << false << none;
        QTest::newRow("several, by comma and semicolon")
            << QStringLiteral("a@x.org, B. Smith <b@y.org>;c@z.org ; ")
            << QStringList { none, "B. Smith", none } << QList<QByteArray> { "a@x.org", "b@y.org", "c@z.org" }
            << false << none;
        QTest::newRow("quoted local part with @ and blank")
            << QStringLiteral("\"o'neil @home\"@example.org") << QStringList { none }
            << QList<QByteArray> { "\"o'neil @home\"@example.org" } << false << none;
        QTest::newRow("domain beyond ASCII")
            << QStringLiteral("info@B\u00fccher.example") << QStringList { none }
            << QList<QByteArray> { "info@xn--bcher-kva.example" } << false << none;
        QTest::newRow("local part beyond ASCII")
            << QStringLiteral("Zo\u00eb <zo\u00eb@b\u00fccher.example>") << QStringList { "Zo\u00eb" }
            << QList<QByteArray> { "zo\xc3\xab@xn--bcher-kva.example" } << true << none;
        QTest::newRow("quoted local part with brackets in angle brackets")
            << QStringLiteral("X <\"a>b<c\"@example.org>") << QStringList { "X" }
            << QList<QByteArray> { "\"a>b<c\"@example.org" } << false << none;
        QTest::newRow("address literal") << QStringLiteral("root@[192.0.2.1]") << QStringList { none }
                                         << QList<QByteArray> { "root@[192.0.2.1]" } << false << none;
        const std::pair<const char *, const char *> refused[] = {
            { "alice", "no \"@\"" },
            { "a@", "nothing after" },
            { "@b.org", "nothing before" },
            { "a@b@c.org", "more than one" },
            { "alice smith@example.org", "blank" },
            { "alice@exa mple.org", "blank" },
            { "a..b@x.org", "dot" },
            { "a(b)@x.org", "\"(\"" },
            { "Team <team@example.net", "not closed" },
            { "Team team@example.net>", "without a \"<\"" },
            { "Team <team@example.net> x", "more after" },
            { "\"open@example.org", "quote" },
            { "a@-x.org", "host name" },
            { "a@x_y.org", "host name" },
            { "a@x.org.", "host name" },
            { "a@[1.2.3.4", "brackets" },
            { "good@x.org, bad", "\"bad\"" },
        };
        for (const auto &[field, words] : refused)
            QTest::addRow("refused: %s", field) << QString::fromUtf8(field) << QStringList()
                                                << QList<QByteArray>() << false << QString::fromUtf8(words);
        QTest::newRow("refused: local part of 65") << QString(65, QLatin1Char('a')) + QStringLiteral("@x.org")
                                                   << QStringList() << QList<QByteArray>() << false << "64";
    }

    void addresses()
    {
        QFETCH(QString, field);
        QFETCH(QStringList, names);
        QFETCH(QList<QByteArray>, wire);
        QFETCH(bool, smtpUtf8);
        QFETCH(QString, refusal);
        const AddressList list = parseAddresses(field, QStringLiteral("recipient address"));
        if (!refusal.isEmpty()) {
            QVERIFY(!list.ok);
            QVERIFY(list.mailboxes.isEmpty());
            for (const QString &word : { QStringLiteral("recipient address"), refusal })
                QVERIFY2(list.error.contains(word), qPrintable(list.error));
            return;
        }
        QVERIFY2(list.ok, qPrintable(list.error));
        QCOMPARE(list.mailboxes.size(), wire.size());
        for (qsizetype i = 0; i < wire.size(); ++i) {
            QCOMPARE(list.mailboxes[i].name, names[i]);
            QCOMPARE(list.mailboxes[i].wire, wire[i]);
            QCOMPARE(list.mailboxes[i].needsSmtpUtf8, smtpUtf8 && i == 0);
        }
    }

    // The commands of the envelope for what the server offers: SMTPUTF8 only
    // when an address needs it, and a refusal before the upload when the
    // server cannot take it.
    void envelopeCommands_data()
    {
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("to");
        QTest::addColumn<bool>("eightBit");
        QTest::addColumn<bool>("offersSmtpUtf8");
        QTest::addColumn<QByteArray>("mailFrom");
        QTest::addColumn<QList<QByteArray>>("rcptTo");
        QTest::addColumn<QString>("refusal");
        const QString alice = QStringLiteral("Alice <alice@example.org>");
        const QList<QByteArray> bob = { "RCPT TO:<bob@example.net>\r\n" };
        QTest::newRow("plain") << alice << "bob@example.net" << false << false
                               << QByteArray("MAIL FROM:<alice@example.org> SIZE=1234\r\n") << bob << "";
        QTest::newRow("8-bit") << alice << "bob@example.net" << true << false
                               << QByteArray("MAIL FROM:<alice@example.org> BODY=8BITMIME SIZE=1234\r\n")
                               << bob << "";
        QTest::newRow("several recipients")
            << alice << "bob@example.net; Carol <carol@example.com>, dave@b\u00fccher.example" << false
            << false << QByteArray("MAIL FROM:<alice@example.org> SIZE=1234\r\n")
            << QList<QByteArray> { "RCPT TO:<bob@example.net>\r\n", "RCPT TO:<carol@example.com>\r\n",
                   "RCPT TO:<dave@xn--bcher-kva.example>\r\n" }
            << "";
        QTest::newRow("UTF-8 sender, offered")
            << QStringLiteral("zo\u00eb@example.org") << "bob@example.net" << true << true
            << QByteArray("MAIL FROM:<zo\xc3\xab@example.org> BODY=8BITMIME SMTPUTF8 SIZE=1234\r\n") << bob
            << "";
        QTest::newRow("UTF-8 recipient, not offered")
            << alice << QStringLiteral("bob@example.net, j\u00fcrgen@example.de") << true << false
            << QByteArray() << QList<QByteArray>() << QStringLiteral("\"j\u00fcrgen@example.de\"");
        QTest::newRow("two senders") << "a@x.org, b@y.org"
                                     << "bob@example.net" << false << true << QByteArray()
                                     << QList<QByteArray>() << "sender";
        QTest::newRow("recipients of blanks and separators")
            << alice << " ; , " << false << true << QByteArray() << QList<QByteArray>()
            << "recipient address is empty";
        QTest::newRow("sender no address") << "alice"
                                           << "bob@example.net" << false << true << QByteArray()
                                           << QList<QByteArray>() << "sender address \"alice\"";
    }

    void envelopeCommands()
    {
        QFETCH(QString, from);
        QFETCH(QString, to);
        QFETCH(bool, eightBit);
        QFETCH(bool, offersSmtpUtf8);
        QFETCH(QByteArray, mailFrom);
        QFETCH(QList<QByteArray>, rcptTo);
        QFETCH(QString, refusal);
        const Envelope envelope = envelopeOf(from, to);
        const EnvelopeCommands commands
            = mime::envelopeCommands(envelope, 1234, eightBit, ServerOffers { true, offersSmtpUtf8, true });
        if (!refusal.isEmpty()) {
            const QString error = envelope.ok ? commands.error : envelope.error;
            QVERIFY(!commands.ok);
            QVERIFY2(error.contains(refusal), qPrintable(error));
            // The window refuses what the envelope refuses, before connecting.
            QCOMPARE(checkFields(from, to, {}, {}, {}).ok, envelope.ok);
            return;
        }
        QVERIFY2(commands.ok, qPrintable(envelope.error + commands.error));
        QCOMPARE(commands.mailFrom, mailFrom);
        QCOMPARE(commands.rcptTo, rcptTo);
        // Without SIZE offered, no SIZE parameter.
        QVERIFY(!mime::envelopeCommands(envelope, 1, eightBit, ServerOffers { true, true, false })
                     .mailFrom.contains("SIZE="));
    }

    // The header as readers need it: every recipient with its name, names
    // beyond ASCII as encoded words, long lines folded at blanks.
    void headerRows_data()
    {
        QTest::addColumn<QString>("to");
        QTest::addColumn<QString>("subject");
        QTest::addColumn<int>("row");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("recipients with names")
            << "Team <team@example.net>, \"Name, Inc.\" <x@example.org>; bob@example.net"
            << "s" << 2
            << QByteArray(
                   "To: Team <team@example.net>, \"Name, Inc.\" <x@example.org>, <bob@example.net>\r\n");
        QTest::newRow("many recipients, folded")
            << "first.recipient@example.net, second.recipient@example.net, third.recipient@example.net"
            << "s" << 2
            << QByteArray("To: <first.recipient@example.net>, <second.recipient@example.net>,\r\n"
                          " <third.recipient@example.net>\r\n");
        QTest::newRow("name beyond ASCII")
            << QStringLiteral("Zo\u00eb M\u00fcller <zoe@example.org>") << "s" << 2
            << "To: =?UTF-8?B?" + QByteArray("Zo\xc3\xab M\xc3\xbcller").toBase64()
                + "?= <zoe@example.org>\r\n";
        QTest::newRow("domain beyond ASCII") << QStringLiteral("info@b\u00fccher.example") << "s" << 2
                                             << QByteArray("To: <info@xn--bcher-kva.example>\r\n");
        const QString words = QStringLiteral("Updated entries for the games of the northern collection, %1")
                                  .arg(QStringLiteral("with notes ").repeated(12).trimmed());
        QTest::newRow("long subject, folded at blanks")
            << "bob@example.net" << words << 3
            << QByteArray("Subject: Updated entries for the games of the northern collection, with notes\r\n"
                          " with notes with notes with notes with notes with notes with notes with notes\r\n"
                          " with notes with notes with notes with notes\r\n");
        QTest::newRow("long word stays, blanks after it fold")
            << "bob@example.net" << QString(90, QLatin1Char('x')) + QStringLiteral(" y") << 3
            << "Subject: " + QByteArray(90, 'x') + "\r\n y\r\n";
        QTest::newRow("blanks at the end stay")
            << "bob@example.net" << QString(75, QLatin1Char('x')) + QStringLiteral("    ") << 3
            << "Subject: " + QByteArray(75, 'x') + "    \r\n";
    }

    void headerRows()
    {
        QFETCH(QString, to);
        QFETCH(QString, subject);
        QFETCH(int, row);
        QFETCH(QByteArray, expected);
        const Message message = composeMessage(
            QStringLiteral("alice@example.org"), to, subject, {}, {}, nullptr, true, fixedStamp());
        QVERIFY2(message.ok, qPrintable(message.error));
        QCOMPARE(message.rows[row], expected);
    }

    // Date and Message-ID: the local time with its offset, and an id of its
    // own for every message, on the sender's domain.
    void dateAndMessageId_data()
    {
        QTest::addColumn<QDateTime>("time");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("UTC") << QDateTime(QDate(2027, 1, 4), QTime(0, 0, 1), QTimeZone::utc())
                             << QByteArray("Mon, 04 Jan 2027 00:00:01 +0000");
        QTest::newRow("behind UTC, half hour") << QDateTime(QDate(2026, 3, 1), QTime(9, 7, 5),
            QTimeZone(-(3 * 3600 + 1800))) << QByteArray("Sun, 01 Mar 2026 09:07:05 -0330");
        QTest::newRow("ahead, quarter hour") << QDateTime(QDate(2026, 12, 31), QTime(23, 59, 59),
            QTimeZone(5 * 3600 + 2700)) << QByteArray("Thu, 31 Dec 2026 23:59:59 +0545");
    }

    void dateAndMessageId()
    {
        QFETCH(QDateTime, time);
        QFETCH(QByteArray, expected);
        QCOMPARE(dateValue(time), expected);

        const MessageStamp first = newStamp();
        const MessageStamp second = newStamp();
        QVERIFY(first.unique != second.unique);
        QCOMPARE(first.date.offsetFromUtc(), QDateTime::currentDateTime().offsetFromUtc());
        QVERIFY(std::all_of(first.unique.begin(), first.unique.end(),
            [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '.'; }));
        const Message message = composeMessage(QStringLiteral("Zo\u00eb <zoe@B\u00fccher.example>"),
            QStringLiteral("b@example.net"), {}, {}, {}, nullptr, true, first);
        QVERIFY(message.rows.contains("Message-ID: <" + first.unique + "@xn--bcher-kva.example>\r\n"));
    }

    // SIZE= declares the message itself, before its dots are doubled.
    void sizeBeforeDotStuffing()
    {
        const Message message = composeMessage(QStringLiteral("a@b.org"), QStringLiteral("c@d.org"), {},
            QStringLiteral(".\n..x\nmid.dle\n.y"), {}, nullptr, true, fixedStamp());
        QVERIFY(message.ok);
        QByteArray wire;
        for (const QByteArray &row : message.rows)
            wire += row;
        QCOMPARE(message.doubledDots, 3);
        QCOMPARE(message.size(), wire.size() - 3 + 2);
    }

    // The attachment's name: plain when short and ASCII; otherwise RFC 2231
    // in UTF-8 (continued within 78 octets, no character split between lines)
    // beside a plain ASCII name.
    void fileNameLines_data()
    {
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<QByteArray>("filename"); // empty: only checked by decoding
        QTest::newRow("short ASCII") << "Ferox.ini" << QByteArray(" name=Ferox.ini")
                                     << QByteArray(" filename=Ferox.ini");
        QTest::newRow("long ASCII") << QString(76, QLatin1Char('a')) + QStringLiteral(".ini")
                                    << " name=" + QByteArray(76, 'a') + ".ini"
                                    << " filename*0*=UTF-8''" + QByteArray(57, 'a')
                + ";\r\n filename*1*=" + QByteArray(19, 'a') + ".ini";
        QTest::newRow("long with blanks, plain name folded")
            << QStringLiteral("Ferox settings ").repeated(6) + QStringLiteral("end.ini")
            << QByteArray(" name=\"Ferox settings Ferox settings Ferox settings Ferox settings Ferox\r\n"
                          " settings Ferox settings end.ini\"")
            << QByteArray();
        QTest::newRow("long beyond ASCII")
            << QStringLiteral("\u00e9t\u00e9 \u65e5\u672c ").repeated(8) << QByteArray() << QByteArray();
    }

    void fileNameLines()
    {
        QFETCH(QString, fileName);
        QFETCH(QByteArray, name);
        QFETCH(QByteArray, filename);
        const FileNameLines lines = mime::fileNameLines(fileName);
        if (!name.isEmpty())
            QCOMPARE(lines.name, name);
        if (!filename.isEmpty())
            QCOMPARE(lines.filename, filename);
        // Over 78 octets only where no blank allows a fold.
        for (const QByteArray &line : lines.name.split('\n') + lines.filename.split('\n'))
            QVERIFY2(line.size() <= 79 || !line.trimmed().contains(' '), line.constData()); // 78 and the CR
        QVERIFY(isAscii(lines.name) && isAscii(lines.filename));
        if (lines.filename.startsWith(" filename="))
            return;
        // Each line decodes on its own, as readers do.
        QString decoded;
        for (QByteArray line : lines.filename.split('\n')) {
            line = line.trimmed();
            line = line.mid(line.indexOf('=') + 1);
            if (line.endsWith(';'))
                line.chop(1);
            if (line.startsWith("UTF-8''"))
                line = line.mid(7);
            const QByteArray bytes = QByteArray::fromPercentEncoding(line);
            QVERIFY(QString::fromUtf8(bytes).toUtf8() == bytes);
            decoded += QString::fromUtf8(bytes);
        }
        QCOMPARE(decoded, fileName);
    }

    void ehloIdentity_data()
    {
        QTest::addColumn<QString>("host");
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("expected");
        QTest::newRow("domain name") << "mail.example.org"
                                     << "10.0.0.1"
                                     << "mail.example.org";
        QTest::newRow("single label") << "buildhost"
                                      << "127.0.0.1"
                                      << "[127.0.0.1]";
        QTest::newRow("underscore") << "my_host.example.org"
                                    << "192.168.1.2"
                                    << "[192.168.1.2]";
        QTest::newRow("label with leading hyphen") << "a.-b.org"
                                                   << "10.1.1.1"
                                                   << "[10.1.1.1]";
        QTest::newRow("digits") << "10.0.0.1"
                                << "10.0.0.1"
                                << "[10.0.0.1]";
        QTest::newRow("empty") << ""
                               << "::1"
                               << "[IPv6:::1]";
        QTest::newRow("mapped IPv4") << "x"
                                     << "::ffff:127.0.0.1"
                                     << "[127.0.0.1]";
        QTest::newRow("label too long") << QString(64, QLatin1Char('a')) + ".org"
                                        << "10.2.2.2"
                                        << "[10.2.2.2]";
    }

    void ehloIdentity()
    {
        QFETCH(QString, host);
        QFETCH(QString, address);
        QFETCH(QString, expected);
        QCOMPARE(modSendmail::ehloIdentity(host, address), expected);
    }

    // What the server field may hold, and the port and security it leads to
    // with the connection settings' port and security.
    void serverField_data()
    {
        using smtp::Security;
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("settingsPort");
        QTest::addColumn<int>("settingsSecurity");
        QTest::addColumn<QString>("host");
        QTest::addColumn<int>("port");
        QTest::addColumn<int>("security");
        QTest::addColumn<QString>("error");
        const int offered = int(Security::StartTlsWhenOffered);
        const int implicit = int(Security::ImplicitTls);
        const int required = int(Security::StartTlsRequired);
        QTest::newRow("host alone") << "smtp.example.org" << 0 << offered << "smtp.example.org" << 25
                                    << offered << "";
        QTest::newRow("blanks around")
            << "  smtp.example.org " << 0 << offered << "smtp.example.org" << 25 << offered << "";
        QTest::newRow("host:port") << "smtp.example.org:587" << 0 << offered << "smtp.example.org" << 587
                                   << offered << "";
        QTest::newRow("field port wins")
            << "smtp.example.org:2525" << 587 << required << "smtp.example.org" << 2525 << required << "";
        QTest::newRow("settings port")
            << "smtp.example.org" << 587 << offered << "smtp.example.org" << 587 << offered << "";
        QTest::newRow("465 means TLS")
            << "smtp.example.org:465" << 0 << offered << "smtp.example.org" << 465 << implicit << "";
        QTest::newRow("465 keeps a chosen STARTTLS")
            << "smtp.example.org:465" << 0 << required << "smtp.example.org" << 465 << required << "";
        QTest::newRow("TLS without a port")
            << "smtp.example.org" << 0 << implicit << "smtp.example.org" << 465 << implicit << "";
        QTest::newRow("IPv4:port") << "127.0.0.1:2525" << 0 << offered << "127.0.0.1" << 2525 << offered
                                   << "";
        QTest::newRow("IPv6 alone") << "2001:db8::1" << 0 << offered << "2001:db8::1" << 25 << offered << "";
        QTest::newRow("IPv6 loopback") << "::1" << 0 << offered << "::1" << 25 << offered << "";
        QTest::newRow("[IPv6]:port") << "[2001:db8::1]:587" << 0 << offered << "2001:db8::1" << 587 << offered
                                     << "";
        QTest::newRow("[IPv6]") << "[::1]" << 0 << offered << "::1" << 25 << offered << "";
        QTest::newRow("empty port") << "smtp.example.org:" << 0 << offered << "" << 0 << offered << "port";
        QTest::newRow("port 0") << "smtp.example.org:0" << 0 << offered << "" << 0 << offered << "port";
        QTest::newRow("port too large")
            << "smtp.example.org:65536" << 0 << offered << "" << 0 << offered << "port";
        QTest::newRow("port with text")
            << "smtp.example.org:25x" << 0 << offered << "" << 0 << offered << "port";
        QTest::newRow("signed port") << "smtp.example.org:+25" << 0 << offered << "" << 0 << offered
                                     << "port";
        QTest::newRow("unclosed [") << "[::1:25" << 0 << offered << "" << 0 << offered << "[";
        QTest::newRow("text after ]") << "[::1]25" << 0 << offered << "" << 0 << offered << "]";
        QTest::newRow("port alone") << ":25" << 0 << offered << "" << 0 << offered << "host";
        QTest::newRow("blank inside") << "smtp example.org" << 0 << offered << "" << 0 << offered << "blank";
        QTest::newRow("blank only") << " " << 0 << offered << "" << 0 << offered << "host";
    }

    void serverField()
    {
        QFETCH(QString, typed);
        QFETCH(int, settingsPort);
        QFETCH(int, settingsSecurity);
        QFETCH(QString, host);
        QFETCH(int, port);
        QFETCH(int, security);
        QFETCH(QString, error);
        const smtp::Endpoint endpoint
            = smtp::resolveEndpoint(typed, { settingsPort, static_cast<smtp::Security>(settingsSecurity) });
        if (!error.isEmpty()) {
            QVERIFY(!endpoint.ok());
            QVERIFY2(endpoint.error.contains(error), qPrintable(endpoint.error));
            return;
        }
        QVERIFY2(endpoint.ok(), qPrintable(endpoint.error));
        QCOMPARE(endpoint.host, host);
        QCOMPARE(endpoint.port, port);
        QCOMPARE(int(endpoint.security), security);
    }

    void authMechanism_data()
    {
        QTest::addColumn<QByteArray>("ehlo");
        QTest::addColumn<int>("mechanism");
        QTest::newRow("none") << QByteArray("250-x\r\n250 8BITMIME\r\n") << int(smtp::AuthMechanism::None);
        QTest::newRow("PLAIN first") << QByteArray("250-x\r\n250 AUTH LOGIN PLAIN\r\n")
                                     << int(smtp::AuthMechanism::Plain);
        QTest::newRow("LOGIN only") << QByteArray("250-x\r\n250-AUTH CRAM-MD5 LOGIN\r\n250 SIZE\r\n")
                                    << int(smtp::AuthMechanism::Login);
        QTest::newRow("old AUTH=") << QByteArray("250-x\r\n250 AUTH=LOGIN\r\n")
                                   << int(smtp::AuthMechanism::Login);
        QTest::newRow("lower case") << QByteArray("250-x\r\n250 auth plain\r\n")
                                    << int(smtp::AuthMechanism::Plain);
        QTest::newRow("other mechanisms")
            << QByteArray("250-x\r\n250 AUTH XOAUTH2 CRAM-MD5\r\n") << int(smtp::AuthMechanism::None);
        QTest::newRow("greeting line is no extension")
            << QByteArray("250 AUTH PLAIN\r\n") << int(smtp::AuthMechanism::None);
    }

    void authMechanism()
    {
        QFETCH(QByteArray, ehlo);
        QFETCH(int, mechanism);
        const smtp::ReplyRead read = smtp::readReply(ehlo);
        QCOMPARE(read.status, smtp::ReplyRead::Status::Complete);
        QCOMPARE(int(smtp::chooseAuthMechanism(read.reply)), mechanism);
    }

    void authResponses()
    {
        // RFC 4954's example, and a name and password beyond ASCII in UTF-8.
        QCOMPARE(smtp::authPlainCommand(QStringLiteral("tim"), QStringLiteral("tanstaaftanstaaf")),
            QByteArray("AUTH PLAIN AHRpbQB0YW5zdGFhZnRhbnN0YWFm\r\n"));
        const QByteArray plain
            = smtp::authPlainCommand(QStringLiteral("zo\u00eb"), QStringLiteral("p\u20ac ss"));
        QCOMPARE(QByteArray::fromBase64(plain.mid(11).chopped(2)),
            QByteArray("\0zo\xc3\xab\0p\xe2\x82\xac ss", 13));
        QCOMPARE(smtp::authLoginLine(QStringLiteral("tim")), QByteArray("dGlt\r\n"));
    }
};

QTEST_GUILESS_MAIN(TestMail)
#include "test_mail.moc"
