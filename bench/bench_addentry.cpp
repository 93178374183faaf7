// One add entry (the four keys of a new game, one replace of the file) on generated settings files,
// beside one copy of the same file followed by sync, measured in the same run.
#include "BenchSupport.h"

#include "ini/FixedPath.h"
#include "ini/GameEntry.h"
#include "platform/AppFolder.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <functional>

#include <cstdio>
#include <cstdlib>

namespace {

constexpr qint64 MB = 1 << 20;

int iterationsFor(qint64 bytes)
{
    return bytes > 10 * MB ? 3 : 20;
}

// The name Google Benchmark gives the reference run of the same size.
std::string referenceName(qint64 bytes)
{
    return "addentry_cp_sync/" + std::to_string(bytes / MB)
        + "MB/iterations:" + std::to_string(iterationsFor(bytes)) + "/manual_time";
}

void addEntry(benchmark::State &state, qint64 bytes)
{
    const QString source = bench::generatedFile(bytes);
    appfolder::overrideForTesting(bench::scratchFolder());
    const gameentry::Fields fields = { QStringLiteral("Bench Kart 64 (U) [!]"), QStringLiteral("Kart"),
        QStringLiteral("Needs CF=1"), QStringLiteral("2"), QStringLiteral("Bench") };
    for (auto _ : state) {
        bench::scratchCopy(source, QStringLiteral("Ferox.ini"));
        bench::runShell(QStringLiteral("sync"));
        QElapsedTimer timer;
        timer.start();
        const gameentry::Outcome outcome = gameentry::add(fields);
        state.SetIterationTime(static_cast<double>(timer.nsecsElapsed()) / 1e9);
        if (!outcome.ok) {
            std::fprintf(stderr, "add entry failed: %s\n", qPrintable(outcome.message));
            std::exit(1);
        }
    }
    state.counters["file_bytes"] = static_cast<double>(QFileInfo(source).size());
    bench::setReference(state, referenceName(bytes));
}

// One copy of the file `makeSource` gives, followed by sync.
void copyAndSync(benchmark::State &state, const std::function<QString()> &makeSource)
{
    const QString source = makeSource();
    const QString target = bench::scratchFolder() + QStringLiteral("/copy.ini");
    bench::runShell(QStringLiteral("sync"));
    for (auto _ : state) {
        bench::runShell(QStringLiteral("rm -f '%1' && sync").arg(target));
        state.SetIterationTime(bench::runShell(QStringLiteral("cp '%1' '%2' && sync").arg(source, target)));
    }
    state.counters["file_bytes"] = static_cast<double>(QFileInfo(source).size());
}

// A file that is one section of about `bytes` bytes, "[Big]" and numbered
// key lines: the shape that makes a planner that holds the section whole
// slow and hungry. Made once in the bench-data folder.
QString oneSectionFile(qint64 bytes)
{
    const QString path = bench::scratchFolder() + QStringLiteral("/../one-section-%1.ini").arg(bytes);
    if (QFileInfo(path).size() >= bytes)
        return path;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        std::exit(1);
    }
    QByteArray block = "[Big]\r\n";
    for (qint64 i = 0, written = 0; written < bytes; ++i) {
        block += "Setting " + QByteArray::number(i) + "=value " + QByteArray::number(i * 7) + "\r\n";
        if (block.size() >= (1 << 20) || written + block.size() >= bytes) {
            file.write(block);
            written += block.size();
            block.clear();
        }
    }
    return path;
}

// Add entry on one huge section, beside cp + sync of the same file; the peak
// memory is the process's growth over the add alone.
void addEntryOneSection(benchmark::State &state, qint64 bytes)
{
    const QString source = oneSectionFile(bytes);
    appfolder::overrideForTesting(bench::scratchFolder());
    const gameentry::Fields fields = { QStringLiteral("Big"), QStringLiteral("Huge"),
        QStringLiteral("One section"), QStringLiteral("2"), QStringLiteral("Bench") };
    qint64 peak = 0;
    for (auto _ : state) {
        bench::scratchCopy(source, QStringLiteral("Ferox.ini"));
        bench::runShell(QStringLiteral("sync"));
        bench::resetPeakRss();
        const qint64 before = bench::peakRssBytes();
        QElapsedTimer timer;
        timer.start();
        const gameentry::Outcome outcome = gameentry::add(fields);
        state.SetIterationTime(static_cast<double>(timer.nsecsElapsed()) / 1e9);
        peak = std::max(peak, bench::peakRssBytes() - before);
        if (!outcome.ok) {
            std::fprintf(stderr, "add entry failed: %s\n", qPrintable(outcome.message));
            std::exit(1);
        }
    }
    state.counters["file_bytes"] = static_cast<double>(QFileInfo(source).size());
    state.counters["added_peak_rss_bytes"] = static_cast<double>(peak);
    bench::setReference(state, "addentry_cp_sync_onesection/500MB/iterations:3/manual_time");
}

void registerAll()
{
    for (const qint64 size : { 1 * MB, 100 * MB }) {
        std::string suffix = "/";
        suffix += std::to_string(size / MB);
        suffix += "MB";
        const int iterations = iterationsFor(size);
        benchmark::RegisterBenchmark(std::string("addentry_cp_sync").append(suffix).c_str(), copyAndSync,
            std::function<QString()>([size] { return bench::generatedFile(size); }))
            ->UseManualTime()
            ->Iterations(iterations)
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(std::string("addentry").append(suffix).c_str(), addEntry, size)
            ->UseManualTime()
            ->Iterations(iterations)
            ->Unit(benchmark::kMillisecond);
    }
    benchmark::RegisterBenchmark("addentry_cp_sync_onesection/500MB", copyAndSync,
        std::function<QString()>([] { return oneSectionFile(500 * MB); }))
        ->UseManualTime()
        ->Iterations(3)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("addentry_onesection/500MB", addEntryOneSection, 500 * MB)
        ->UseManualTime()
        ->Iterations(3)
        ->Unit(benchmark::kMillisecond);
}

} // namespace

int main(int argc, char **argv)
{
    registerAll();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
