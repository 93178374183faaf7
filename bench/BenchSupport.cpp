#include "BenchSupport.h"

#include "IniData.h"
#include "TestConfig.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <cstdio>
#include <cstdlib>

namespace bench {

QString scratchFolder()
{
    const QString folder = QStringLiteral(FEROX_BUILD_TESTS_DIR "/../bench-data/scratch");
    QDir().mkpath(folder);
    return QDir(folder).absolutePath();
}

QString generatedFile(qint64 bytes)
{
    const QString folder = QDir(QStringLiteral(FEROX_BUILD_TESTS_DIR "/../bench-data")).absolutePath();
    QDir().mkpath(folder);
    // The generator's own hash is part of the name, so a changed generator makes fresh data.
    QFile generator(QStringLiteral(FEROX_SCRIPTS_DIR "/generate-ini"));
    if (!generator.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "cannot read generate-ini\n");
        std::exit(1);
    }
    const QString version = QString::fromLatin1(
        QCryptographicHash::hash(generator.readAll(), QCryptographicHash::Sha1).toHex().left(8));
    const QString path = QStringLiteral("%1/generated-%2-%3.ini").arg(folder).arg(bytes).arg(version);
    if (!QFileInfo::exists(path)) {
        if (!generateIni(QString::number(bytes), path)) {
            std::fprintf(stderr, "generate-ini failed for %lld bytes\n", static_cast<long long>(bytes));
            std::exit(1);
        }
    }
    return path;
}

QString scratchCopy(const QString &source, const QString &name)
{
    const QString target = scratchFolder() + u'/' + name;
    QFile::remove(target);
    if (!QFile::copy(source, target)) {
        std::fprintf(stderr, "cannot copy %s\n", qPrintable(source));
        std::exit(1);
    }
    QFile(target).setPermissions(
        QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther);
    return target;
}

double runShell(const QString &command)
{
    QElapsedTimer timer;
    timer.start();
    const int rc = QProcess::execute(QStringLiteral("/bin/sh"), { QStringLiteral("-c"), command });
    const double seconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;
    if (rc != 0) {
        std::fprintf(stderr, "command failed (%d): %s\n", rc, qPrintable(command));
        std::exit(1);
    }
    return seconds;
}

void setReference(benchmark::State &state, const std::string &referenceName)
{
    state.SetLabel("reference=" + referenceName);
}

qint64 peakRssBytes()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> lines = status.readAll().split('\n');
    for (const QByteArray &line : lines) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong() * 1024;
    }
    return -1;
}

void resetPeakRss()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
}

} // namespace bench
