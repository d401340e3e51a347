#include "oxUndoCommandBase.h"

oxUndoCommandBase::oxUndoCommandBase(const oxUndoString& description, QUndoCommand* parent)
    : QUndoCommand(description.toString(), parent), m_parent(parent)
{
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
