#pragma once

#include "oxFieldBaseUndoCommand.h"
#include "oxUndoSlot.h"

class QObject;

// Writes a bool field inside edit brackets, then invokes the receiver's slot with the value
// written. Undo and redo are the same swap of the kept value with the field.
class oxInvokeBoolFieldUndoCommand : public oxFieldBaseUndoCommand
{
public:
    oxInvokeBoolFieldUndoCommand(osg::FieldContainerPtr container, int fieldId, bool value, QObject* receiver,
                                 const char* slot, QUndoCommand* parent);

    void undo() override;
    void redo() override;
    int id() const override;
    // The field test, and the same receiver and slot.
    bool canMergeWith(const QUndoCommand* other) const override;

private:
    bool m_value;
    oxUndoSlot m_slot;
};
