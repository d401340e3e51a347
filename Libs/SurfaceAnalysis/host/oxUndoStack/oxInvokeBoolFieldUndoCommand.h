#pragma once

#include "oxInvokeFieldUndoCommand.h"

// The invoking field edit of a bool field: oxInvokeFieldUndoCommand<bool> under an id of its own,
// the one the host's bool edits have always had.
class oxInvokeBoolFieldUndoCommand : public oxInvokeFieldUndoCommand<bool>
{
public:
    oxInvokeBoolFieldUndoCommand(osg::FieldContainerPtr container, int fieldId, bool value, QObject* receiver,
                                 const char* slot, QUndoCommand* parent);

    int id() const override;
};
