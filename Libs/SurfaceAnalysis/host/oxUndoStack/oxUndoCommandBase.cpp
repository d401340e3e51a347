#include "oxUndoCommandBase.h"

oxUndoCommandBase::oxUndoCommandBase(const oxUndoString& description, QUndoCommand* parent)
    : QUndoCommand(parent), m_parent(parent)
{
    // Most field edits have no description; Qt's setText splits the text, which a slider pays per step.
    if (!description.isEmpty())
        setText(description.toString());
}

QUndoCommand* oxUndoCommandBase::parent() const
{
    return m_parent;
}

void oxUndoCommandBase::setDescription(const QString& description)
{
    setText(description);
}

QString oxUndoCommandBase::getDescription() const
{
    return text();
}
