#pragma once

#include "oxFieldUndoCommand.h"
#include "oxUndoSlot.h"

#include <typeinfo>

class QObject;

// A field edit that invokes the receiver's slot, found by its signature, with the value the
// field holds after each run. The invoking edit for a field of any type (oxInvokeBoolFieldUndoCommand
// is this edit of a bool field under its own id); one id per T.
template <class T> class oxInvokeFieldUndoCommand : public oxFieldUndoCommand<T>
{
    typedef oxFieldUndoCommand<T> Inherited;

public:
    oxInvokeFieldUndoCommand(osg::FieldContainerPtr container, int fieldId, const T& value, QObject* receiver,
                             const char* slot, QUndoCommand* parent)
        : Inherited(container, fieldId, value, parent), m_slot(receiver, slot)
    {
    }

    void undo() override { redo(); }
    void redo() override { this->swapFieldAndInvoke(this->m_value, m_slot); }

    int id() const override
    {
        static const int id = oxUndoCommand::makeId(typeid(oxInvokeFieldUndoCommand<T>));
        return id;
    }

    // The field test, and the same receiver and slot.
    bool canMergeWith(const QUndoCommand* other) const override
    {
        const auto* o = this->sameKind(other, this);
        return o && Inherited::canMergeWith(other) && o->m_slot == m_slot;
    }

protected:
    oxUndoSlot m_slot;
};
