#include "oxInvokeBoolFieldUndoCommand.h"

#include <typeinfo>

oxInvokeBoolFieldUndoCommand::oxInvokeBoolFieldUndoCommand(osg::FieldContainerPtr container, int fieldId, bool value,
                                                           QObject* receiver, const char* slot, QUndoCommand* parent)
    : oxFieldBaseUndoCommand(oxUndoString("", QString()), container, fieldId, parent), m_value(value),
      m_slot(receiver, slot)
{
}

void oxInvokeBoolFieldUndoCommand::undo()
{
    redo();
}

void oxInvokeBoolFieldUndoCommand::redo()
{
    swapFieldAndInvoke(m_value, m_slot);
}

int oxInvokeBoolFieldUndoCommand::id() const
{
    static const int id = makeId(typeid(oxInvokeBoolFieldUndoCommand));
    return id;
}

bool oxInvokeBoolFieldUndoCommand::canMergeWith(const QUndoCommand* other) const
{
    const auto* o = sameKind(other, this);
    return o && oxFieldBaseUndoCommand::canMergeWith(other) && o->m_slot == m_slot;
}
