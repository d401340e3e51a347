#include "oxUndoString.h"

oxUndoString::oxUndoString(const char* text, const QString& arg)
    : m_text(text && *text ? QString::fromUtf8(text) : QString()), m_arg(arg)
{
}

QString oxUndoString::toString() const
{
    if (m_arg.isEmpty())
        return m_text;
    if (m_text.contains(QLatin1String("%1")))
        return m_text.arg(m_arg);
    if (m_text.isEmpty())
        return m_arg;
    return m_text + QLatin1Char(' ') + m_arg;
}
