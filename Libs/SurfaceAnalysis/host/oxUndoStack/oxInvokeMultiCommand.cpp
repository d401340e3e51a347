#include "oxInvokeMultiCommand.h"

oxInvokeMultiCommand::oxInvokeMultiCommand(const oxUndoString& description, QObject* receiver, const char* slot)
    : oxUndoCommand(description, nullptr), m_slot(receiver, slot)
{
}

void oxInvokeMultiCommand::undo()
{
    QUndoCommand::undo();
    m_slot.invoke();
}

void oxInvokeMultiCommand::redo()
{
    QUndoCommand::redo();
    m_slot.invoke();
}
