#include "oxInvokeBoolFieldUndoCommand.h"

#include "OSGFieldContainerFactory.h"

#include <QMetaType>

#include <typeinfo>

oxInvokeBoolFieldUndoCommand::oxInvokeBoolFieldUndoCommand(osg::FieldContainerPtr container, int fieldId, bool value,
                                                           QObject* receiver, const char* slot, QUndoCommand* parent)
    : oxFieldBaseUndoCommand(oxUndoString("", QString()), container, fieldId, parent), m_value(value),
      m_slot(receiver, slot)
{
}

void oxInvokeBoolFieldUndoCommand::undo()
{
    swapAndInvoke();
}

void oxInvokeBoolFieldUndoCommand::redo()
{
    swapAndInvoke();
}

int oxInvokeBoolFieldUndoCommand::id() const
{
    static const int id = makeId(typeid(oxInvokeBoolFieldUndoCommand));
    return id;
}

bool oxInvokeBoolFieldUndoCommand::mergeWith(const QUndoCommand* other)
{
    const oxInvokeBoolFieldUndoCommand* o = dynamic_cast<const oxInvokeBoolFieldUndoCommand*>(other);
    if (!o || !canMergeWith(other))
        return false;
    m_mergeStamp = o->m_mergeStamp;
    return true;
}

bool oxInvokeBoolFieldUndoCommand::canMergeWith(const QUndoCommand* other) const
{
    const oxInvokeBoolFieldUndoCommand* o = dynamic_cast<const oxInvokeBoolFieldUndoCommand*>(other);
    return o && oxFieldBaseUndoCommand::canMergeWith(other) && o->m_slot == m_slot;
}

void oxInvokeBoolFieldUndoCommand::swapAndInvoke()
{
    const bool written = m_value;
    // The container is looked up anew: the record may have been replaced since the last run.
    osg::FieldContainerPtr container = osg::FieldContainerFactory::the()->getContainer(m_containerId);
    osg::SField<bool>* field =
        container != osg::NullFC ? dynamic_cast<osg::SField<bool>*>(container->getField(m_fieldId)) : nullptr;
    if (field)
    {
        const bool previous = field->getValue();
        osg::beginEditCP(container, m_fieldMask);
        field->setValue(written);
        osg::endEditCP(container, m_fieldMask);
        notify();
        m_value = previous;
    }
    m_slot.invoke(&written, QMetaType::Bool);
}
