#pragma once

#include <QString>

// The description of an undo edit: a text and an argument, kept apart so that the text
// can stay a fixed key (a property name) while the argument varies.
class oxUndoString
{
public:
    oxUndoString(const char* text, const QString& arg);

    QString text() const { return m_text; }
    QString arg() const { return m_arg; }
    bool isEmpty() const { return m_text.isEmpty() && m_arg.isEmpty(); }
    // The text as shown: the argument replaces "%1", or follows the text after a space.
    QString toString() const;

private:
    QString m_text;
    QString m_arg;
};
