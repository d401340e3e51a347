#pragma once

// Redirects file descriptor 2 into a temporary file, so that what the module and the host print
// with fprintf(stderr) and backtrace_symbols_fd can be compared.

#include <QFile>
#include <QString>
#include <QStringList>
#include <QTemporaryFile>

#include <cstdio>
#include <unistd.h>

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
        QFile file(m_file.fileName());
        if (!file.open(QIODevice::ReadOnly))
            return QString();
        return QString::fromLocal8Bit(file.readAll());
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
