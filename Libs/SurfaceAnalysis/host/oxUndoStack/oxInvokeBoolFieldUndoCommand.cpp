#include "oxInvokeBoolFieldUndoCommand.h"

#include <typeinfo>

oxInvokeBoolFieldUndoCommand::oxInvokeBoolFieldUndoCommand(osg::FieldContainerPtr container, int fieldId, bool value,
                                                           QObject* receiver, const char* slot, QUndoCommand* parent)
    : oxInvokeFieldUndoCommand<bool>(container, fieldId, value, receiver, slot, parent)
{
}

int oxInvokeBoolFieldUndoCommand::id() const
{
    static const int id = makeId(typeid(oxInvokeBoolFieldUndoCommand));
    return id;
}
