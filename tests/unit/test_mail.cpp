// The mail transport without a server: base64 of attachments, the message
// text row by row, GetToken, the EHLO identity, the server field and the login.

#include "TestFiles.h"
#include "core/LineEnds.h"
#include "core/MailFields.h"
#include "core/MimeMessage.h"
#include "core/SmtpAuth.h"
#include "core/SmtpEndpoint.h"
#include "core/SmtpReply.h"
#include "mail/modSendmail.h"

#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

using namespace mime;
using namespace modSendmail;
using namespace smtp;

namespace {

// What coreutils makes of the file, in the program's form: CR LF after each
// full line of 72 characters, no line break after a shorter last line.
QByteArray referenceBase64(const QString &path, qsizetype size)
{
    QProcess base64;
    base64.start(QStringLiteral("base64"), { QStringLiteral("-w"), QStringLiteral("72"), path });
    if (!base64.waitForFinished(30000) || base64.exitCode() != 0)
        return "base64 failed";
    QByteArray text = base64.readAllStandardOutput();
    text.replace("\n", "\r\n");
    if (size % 54 != 0)
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
    return { "--Unique-Boundary\r\n", "Content-Type: multipart/parallel; boundary=Unique-Boundary-2\r\n\r\n",
        "--Unique-Boundary-2\r\n", "Content-Type: application/octet-stream;\r\n",
        " name=" + fileName + "\r\n", "Content-Transfer-Encoding: base64\r\n",
        "Content-Disposition: inline;\r\n", " filename=" + fileName + "\r\n\r\n", encoded + "\r\n",
        "--Unique-Boundary-2--\r\n--Unique-Boundary--" };
}

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
        for (qsizetype size : { 0, 1, 2, 3, 54, 55, 56, 57, 108, 32767, 100003 })
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
        const QList<QByteArray> top
            = { head, fromRow, toRow, subjectRow, multipart, boundary, garbage, firstDelimiter, asciiBody };

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

        QList<QByteArray> noAt = top;
        noAt[1] = "From: alice <alice>\r\n";
        QTest::newRow("sender without @")
            << QStringLiteral("alice") << subject << QStringLiteral("Hello") << QString() << QByteArray()
            << (noAt + QList<QByteArray> { "Hello\r\n\r\n", closing });
        // A display name that is no atom goes out as a quoted string.
        const std::pair<const char *, QByteArray> names[] = {
            { "first.last@example.org", "From: \"first.last\" <first.last@example.org>\r\n" },
            { "a\"b\\c d@example.org", "From: \"a\\\"b\\\\c d\" <a\"b\\c d@example.org>\r\n" },
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
        QList<QByteArray> latinName = top;
        latinName[1] = "From: =?windows-1252?B?" + QByteArray("J\xfcrgen").toBase64()
            + "?= <J\xfcrgen@example.org>\r\n";
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
        latin[8]
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
        moved[5] = "              boundary=Unique-Boundary-3\r\n\r\n";
        moved[7] = "\r\n--Unique-Boundary-3\r\n";
        QList<QByteArray> movedAttachment = attachmentRows("b.ini", "YQ==");
        movedAttachment[0] = "--Unique-Boundary-3\r\n";
        movedAttachment[9] = "--Unique-Boundary-2--\r\n--Unique-Boundary-3--";
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
        quoted[8] = "Content-type: text/plain; charset=US-ASCII\r\nContent-Transfer-Encoding: "
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

        QList<QByteArray> latinFileName = attachmentRows("x", "YQ==");
        latinFileName[4] = " name*=windows-1252''D%E9j%E0.ini\r\n";
        latinFileName[7] = " filename*=windows-1252''D%E9j%E0.ini\r\n\r\n";
        QTest::newRow("file name beyond ASCII")
            << from << subject << QStringLiteral("Hello") << QStringLiteral("C:\\x\\D\u00e9j\u00e0.ini")
            << QByteArray("YQ==") << (top + QList<QByteArray> { "Hello\r\n\r\n" } + latinFileName);
    }

    void message()
    {
        QFETCH(QString, from);
        QFETCH(QString, subject);
        QFETCH(QString, body);
        QFETCH(QString, path);
        QFETCH(QByteArray, encoded);
        QFETCH(QList<QByteArray>, rows);
        const Message message
            = composeMessage(from, QStringLiteral("bob@example.net"), subject, body, path, &encoded);
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

    void outerBoundary_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("no clash") << QByteArray("a\r\n-Unique-Boundary\r\nx--Unique-Boundary")
                                  << QByteArray("Unique-Boundary");
        QTest::newRow("delimiter") << QByteArray("a\r\n--Unique-Boundary\r\nb")
                                   << QByteArray("Unique-Boundary-3");
        QTest::newRow("closing delimiter")
            << QByteArray("--Unique-Boundary--") << QByteArray("Unique-Boundary-3");
        QTest::newRow("nested delimiter")
            << QByteArray("--Unique-Boundary-2") << QByteArray("Unique-Boundary-3");
        QTest::newRow("candidates taken")
            << QByteArray("--Unique-Boundary-3\r\n--Unique-Boundary-40 x\r\n--Unique-Boundary-5")
            << QByteArray("Unique-Boundary-6");
    }

    void outerBoundary()
    {
        QFETCH(QByteArray, body);
        QFETCH(QByteArray, expected);
        QCOMPARE(mime::outerBoundary(body), expected);
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
        QVERIFY(checkFields(QStringLiteral("a@b.c"), {}, {}, {}, QStringLiteral("C:\\od\nd\\b.ini")).ok);
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
