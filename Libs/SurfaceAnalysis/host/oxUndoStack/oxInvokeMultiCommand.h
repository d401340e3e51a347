#pragma once

#include "oxUndoCommand.h"
#include "oxUndoSlot.h"

class QObject;

// A composite of the edits created with it as their parent: redo runs them in order, undo in
// reverse order, and both then invoke the receiver's argument-less slot once.
class oxInvokeMultiCommand : public oxUndoCommand
{
public:
    oxInvokeMultiCommand(const oxUndoString& description, QObject* receiver, const char* slot);

    void undo() override;
    void redo() override;

private:
    oxUndoSlot m_slot;
};
