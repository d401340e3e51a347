#pragma once

#include "oxSurfaceAnalysisMetaTypes.h"

#include "oxInvokeFieldUndoCommand.h"
#include "oxUndoCommand.h"
#include "oxUndoSlot.h"
#include "oxUndoString.h"

#include <typeinfo>

// The module's undo edits of values outside the record; the record's fields are edited with the
// host's oxFieldUndoCommand<T>, oxInvokeFieldUndoCommand<T> and, for bool fields,
// oxInvokeBoolFieldUndoCommand. Each keeps one value and swaps it with its target, so undo and
// redo are the same operation, and reaches its apply slot by signature through the
// meta-object system, so the edits need no knowledge of the model.

// An edit of a value outside the record; subclasses say where the value lives.
template <class T> class oxInvokeValueUndoBase : public oxUndoCommand
{
public:
    oxInvokeValueUndoBase(const oxUndoString& description, const T& value, QObject* receiver, const char* slot,
                          QUndoCommand* parent)
        : oxUndoCommand(description, parent), m_value(value), m_slot(receiver, slot)
    {
    }

    void undo() override { redo(); }

    void redo() override
    {
        T previous = m_value;
        swapValue(m_value, previous);
        m_slot.invokeWith(m_value);
        m_value = previous;
    }

    int id() const override
    {
        static const int id = makeId(typeid(oxInvokeValueUndoBase<T>));
        return id;
    }

    bool canMergeWith(const QUndoCommand* other) const override
    {
        const auto* o = this->sameKind(other, this);
        return o && oxUndoCommand::canMergeWith(other) && o->m_slot == m_slot;
    }

    // Writes value to the target and returns the target's previous value; leaves previous
    // untouched when there is nothing to write to.
    virtual void swapValue(const T& value, T& previous) = 0;

protected:
    T m_value;
    oxUndoSlot m_slot;
};

// A value edit of a variable reached through a pointer (a module-side switch).
// It keeps the id of oxInvokeValueUndoBase<T>; the target test keeps different switches apart.
template <class T> class oxInvokePValUndoCommand : public oxInvokeValueUndoBase<T>
{
    typedef oxInvokeValueUndoBase<T> Inherited;

public:
    oxInvokePValUndoCommand(const oxUndoString& description, const T& value, QObject* receiver, const char* slot,
                            QUndoCommand* parent, T* target)
        : Inherited(description, value, receiver, slot, parent), m_target(target)
    {
    }

    bool canMergeWith(const QUndoCommand* other) const override
    {
        const auto* o = this->sameKind(other, this);
        return o && Inherited::canMergeWith(other) && o->m_target == m_target;
    }

    void swapValue(const T& value, T& previous) override
    {
        if (!m_target)
            return;
        previous = *m_target;
        *m_target = value;
    }

protected:
    T* m_target; // not owned
};
