// The SMTP reply reader, fed the received bytes whole and in random pieces as
// the dialogue gets them (each complete reply cut from the front of the
// buffer), against a plain reference reader of the reply syntax: lines
// "ddd-text" up to a last line "ddd text" or "ddd", each ended by LF with or
// without a CR before it, the reply's code that of its last line, a reply of
// more than 64 KiB refused.

#include "FuzzCheck.h"

#include "core/SmtpReply.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <string>
#include <vector>

using namespace smtp;

namespace {

struct Reply {
    int code = 0;
    std::vector<std::string> lines;
    bool operator==(const Reply &) const = default;
};

// What a reader makes of a stream: the replies in order, then either an error
// (bytes that are no reply, or an overlong reply) or an unfinished rest.
struct Outcome {
    std::vector<Reply> replies;
    bool error = false;
    bool operator==(const Outcome &) const = default;
};

bool digit(char c)
{
    return c >= '0' && c <= '9';
}

Outcome referenceRead(const std::string &stream)
{
    Outcome outcome;
    Reply reply;
    size_t replyStart = 0;
    std::string line;
    for (size_t i = 0; i < stream.size(); ++i) {
        if (i + 1 - replyStart > static_cast<size_t>(longestSmtpReply)) {
            outcome.error = true;
            return outcome;
        }
        if (stream[i] != '\n') {
            line += stream[i];
            continue;
        }
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        const bool syntax = line.size() >= 3 && digit(line[0]) && digit(line[1]) && digit(line[2])
            && (line.size() == 3 || line[3] == ' ' || line[3] == '-');
        if (!syntax) {
            outcome.error = true;
            return outcome;
        }
        reply.lines.push_back(line);
        if (line.size() == 3 || line[3] == ' ') {
            reply.code = std::stoi(line.substr(0, 3));
            outcome.replies.push_back(reply);
            reply = {};
            replyStart = i + 1;
        }
        line.clear();
    }
    return outcome;
}

Reply toReply(const SmtpReply &read)
{
    Reply reply;
    reply.code = read.code;
    for (const QByteArray &line : read.lines)
        reply.lines.emplace_back(line.constData(), static_cast<size_t>(line.size()));
    return reply;
}

// The dialogue's way: append what arrives, take complete replies from the
// front, stop at an error.
Outcome readInPieces(const std::string &stream, const std::vector<size_t> &pieces)
{
    Outcome outcome;
    QByteArray buffer;
    size_t at = 0;
    for (size_t piece = 0; at < stream.size(); ++piece) {
        const size_t length = pieces.empty() ? stream.size() : pieces[piece % pieces.size()];
        const size_t take = std::min(length, stream.size() - at);
        buffer.append(stream.data() + at, static_cast<qsizetype>(take));
        at += take;
        for (;;) {
            const ReplyRead read = readReply(buffer);
            if (read.status == ReplyRead::Status::NeedMore) {
                FUZZ_CHECK(read.reply.lines.isEmpty() && read.error.isEmpty());
                break;
            }
            if (read.status == ReplyRead::Status::Error) {
                FUZZ_CHECK(!read.error.isEmpty());
                outcome.error = true;
                return outcome;
            }
            FUZZ_CHECK(read.consumed > 0 && read.consumed <= buffer.size());
            FUZZ_CHECK(read.reply.text() == read.reply.lines.join("\r\n"));
            outcome.replies.push_back(toReply(read.reply));
            buffer.remove(0, read.consumed);
        }
    }
    return outcome;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzedDataProvider input(data, size);
    // Now and then the bytes repeated past the longest reply accepted.
    const int copies = input.ConsumeIntegralInRange(0, 7) == 0 ? input.ConsumeIntegralInRange(1, 200) : 1;
    std::string stream = input.ConsumeRandomLengthString(4096);
    std::vector<size_t> pieces;
    while (input.remaining_bytes() > 0 && pieces.size() < 64)
        pieces.push_back(input.ConsumeIntegralInRange<size_t>(1, copies > 1 ? 20000 : 64));
    const std::string once = stream;
    for (int i = 1; i < copies; ++i)
        stream += once;

    const Outcome expected = referenceRead(stream);
    FUZZ_CHECK(readInPieces(stream, {}) == expected);
    FUZZ_CHECK(readInPieces(stream, pieces) == expected);
    return 0;
}
