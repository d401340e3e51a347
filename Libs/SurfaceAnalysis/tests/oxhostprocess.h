#pragma once

// The reference host run as a child process, the way a user runs it.

#include <QProcess>
#include <QString>
#include <QStringList>

struct OxhostResult
{
    int status = -1; // exit code; -2 after a crash, -1 when it never started or hung
    QString out;
    QString err;
};

inline OxhostResult oxhost(const QStringList& args, const QByteArray& input = QByteArray(),
                           QProcessEnvironment env = QProcessEnvironment::systemEnvironment())
{
    if (!env.contains("QT_QPA_PLATFORM"))
        env.insert("QT_QPA_PLATFORM", "offscreen");
    QProcess process;
    process.setProcessEnvironment(env);
    process.start(OXHOST, args);
    OxhostResult result;
    if (!process.waitForStarted())
        return result;
    process.write(input);
    process.closeWriteChannel();
    // A guard against a hung host, not a timing check.
    if (!process.waitForFinished(300000))
    {
        process.kill();
        process.waitForFinished();
        return result;
    }
    result.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -2;
    result.out = QString::fromUtf8(process.readAllStandardOutput());
    result.err = QString::fromUtf8(process.readAllStandardError());
    return result;
}
