#pragma once

#include <benchmark/benchmark.h>

#include <QString>
#include <QStringList>

// Shared pieces of the benchmark programs.
//
// Reporting convention read by scripts/bench: a benchmark that is to be shown
// beside a reference sets its label to "reference=<name of the reference
// benchmark>" (see setReference); the reference is an ordinary benchmark of the
// same program, measured in the same run (cp + sync of the same file, grep, ...).
// Counters named "peak_rss_bytes" are reported as their own figures.
namespace bench {

// A generated settings file of about `bytes` bytes (scripts/generate-ini), made
// once and kept in the build tree's bench-data folder.
QString generatedFile(qint64 bytes);

// A fresh copy of `source` in a scratch folder, for benchmarks that change files.
QString scratchCopy(const QString &source, const QString &name);
QString scratchFolder();

// Runs a command (through /bin/sh -c) and returns its wall time in seconds; aborts
// the benchmark run when the command fails.
double runShell(const QString &command);

void setReference(benchmark::State &state, const std::string &referenceName);

// The process's peak resident set size so far (VmHWM), in bytes.
qint64 peakRssBytes();
// Resets the peak so a later reading covers only what follows (Linux clear_refs).
void resetPeakRss();

} // namespace bench
