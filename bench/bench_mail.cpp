// The mail transport: base64 of a 10 MB attachment beside coreutils' base64
// of the same file, and the processor time that a whole send to a local SMTP
// server takes beside its wall time.

#include "BenchSupport.h"

#include "MailRun.h"
#include "SmtpTestServer.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <cstdio>
#include <ctime>
#include <memory>

namespace {

constexpr qint64 encodeBytes = 10 * 1000 * 1000;
constexpr qint64 sendBytes = 1000 * 1000;

SmtpTestServer *server = nullptr;

double processCpuSeconds()
{
    timespec now {};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

void mail_EncodeAttachment_10MB(benchmark::State &state)
{
    const QString path = bench::generatedFile(encodeBytes);
    for (auto _ : state) {
        QElapsedTimer timer;
        timer.start();
        // What the send's worker thread runs: the read and the encoding.
        const modSendmail::EncodedAttachment encoded = modSendmail::EncodeAttachment(path);
        state.SetIterationTime(static_cast<double>(timer.nsecsElapsed()) / 1e9);
        if (!encoded.ok)
            state.SkipWithError(qPrintable(encoded.error));
    }
    state.counters["file_bytes"] = static_cast<double>(encodeBytes);
    bench::setReference(state, "mail_base64_coreutils_10MB/iterations:5/manual_time");
}

void mail_base64_coreutils_10MB(benchmark::State &state)
{
    const QString path = bench::generatedFile(encodeBytes);
    for (auto _ : state)
        state.SetIterationTime(bench::runShell(QStringLiteral("base64 -w 72 '%1' > /dev/null").arg(path)));
}

struct Measured {
    double wall = 0;
    double cpu = 0;
    bool accepted = false;
};

// One send as the mail window makes it: the attachment encoded on a worker,
// then the dialogue driven by the socket's signals.
Measured sendOnce()
{
    Measured measured;
    mailrun::Mail mail;
    mail.from = QStringLiteral("bench@example.org");
    mail.body = QStringLiteral("Hello");
    mail.attachment = bench::generatedFile(sendBytes);
    const double cpuStart = processCpuSeconds();
    QElapsedTimer wall;
    wall.start();
    const mailrun::Run run = mailrun::send(QStringLiteral("127.0.0.1"), server->port(), mail, {}, -1);
    measured.accepted = run.outcome.kind == MailOutcome::Kind::Sent;
    measured.wall = static_cast<double>(wall.nsecsElapsed()) / 1e9;
    measured.cpu = processCpuSeconds() - cpuStart;
    return measured;
}

void send(benchmark::State &state, bool reportCpu)
{
    for (auto _ : state) {
        const Measured measured = sendOnce();
        if (!measured.accepted)
            state.SkipWithError("the server did not accept the mail");
        state.SetIterationTime(reportCpu ? measured.cpu : measured.wall);
    }
    state.counters["file_bytes"] = static_cast<double>(sendBytes);
}

void mail_send_1MB_wall(benchmark::State &state)
{
    send(state, false);
}

void mail_send_1MB_cpu(benchmark::State &state)
{
    send(state, true);
    bench::setReference(state, "mail_send_1MB_wall/iterations:3/manual_time");
}

} // namespace

BENCHMARK(mail_base64_coreutils_10MB)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);
BENCHMARK(mail_EncodeAttachment_10MB)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);
BENCHMARK(mail_send_1MB_wall)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(mail_send_1MB_cpu)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    auto smtp = std::make_unique<SmtpTestServer>();
    QString error;
    if (!smtp->start(&error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    server = smtp.get();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
