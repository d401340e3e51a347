#pragma once

// What tests of every layer share: files of their own, what the process printed to stderr, and
// the reference host run as a child process.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QTemporaryFile>

#include <cstdio>
#include <unistd.h>

// Writes data to path; false when it cannot be written whole.
inline bool writeTestFile(const QString& path, const QByteArray& data)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(data) == data.size();
}

// A file of the test's own in dir; its path, or an empty string when it cannot be written.
inline QString writeTestFile(const QTemporaryDir& dir, const QString& name, const QByteArray& data)
{
    const QString path = dir.filePath(name);
    return writeTestFile(path, data) ? path : QString();
}

// A file's contents; empty when it cannot be read.
inline QByteArray readTestFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Leftover temporary files of a save that failed or was cut off (oxAtomicFile's ".name.saving-...").
inline QStringList strayFiles(const QString& dir)
{
    return QDir(dir).entryList(QStringList() << ".*saving*", QDir::Files | QDir::Hidden | QDir::System);
}

// Redirects file descriptor 2 into a temporary file, so that what the module and the host print
// with fprintf(stderr) and backtrace_symbols_fd can be compared.
class StderrCapture
{
public:
    StderrCapture()
    {
        if (!m_file.open())
            return;
        std::fflush(stderr);
        m_saved = ::dup(STDERR_FILENO);
        ::dup2(m_file.handle(), STDERR_FILENO);
    }
    ~StderrCapture() { release(); }

    StderrCapture(const StderrCapture&) = delete;
    StderrCapture& operator=(const StderrCapture&) = delete;

    // Stops capturing and returns everything written to stderr meanwhile.
    QString text()
    {
        release();
        return QString::fromLocal8Bit(readTestFile(m_file.fileName()));
    }

    // The captured lines that contain needle.
    QStringList linesWith(const QString& needle)
    {
        QStringList found;
        for (const QString& line : text().split('\n'))
            if (line.contains(needle))
                found << line;
        return found;
    }

private:
    void release()
    {
        if (m_saved < 0)
            return;
        std::fflush(stderr);
        ::dup2(m_saved, STDERR_FILENO);
        ::close(m_saved);
        m_saved = -1;
    }

    QTemporaryFile m_file;
    int m_saved = -1;
};

#ifdef OXHOST
// The reference host run as a child process, the way a user runs it; OXHOST names its binary.
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
#endif
