#pragma once

#include "oxSurfaceAnalysisMetaTypes.h"

#include "oxFieldBaseUndoCommand.h"
#include "oxUndoCommand.h"
#include "oxUndoSlot.h"
#include "oxUndoString.h"

#include <typeinfo>

// The module's undo edits. Each keeps one value and swaps it with its target, so undo and
// redo are the same operation, and reaches its apply slot by signature through the
// meta-object system, so the edits need no knowledge of the model.

// Swaps its value with one single-value field of a container found by id.
template <class T> class oxFieldUndoCommand : public oxFieldBaseUndoCommand
{
public:
    oxFieldUndoCommand(osg::FieldContainerPtr container, int fieldId, const T& value, QUndoCommand* parent)
        : oxFieldBaseUndoCommand(oxUndoString("", QString()), container, fieldId, parent), m_value(value)
    {
    }

    void undo() override { redo(); }
    void redo() override { swapField(m_value); }

    int id() const override
    {
        static const int id = makeId(typeid(oxFieldUndoCommand<T>));
        return id;
    }

protected:
    T m_value;
};

// A field edit that invokes the apply slot with the value the field holds after each run.
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

    bool canMergeWith(const QUndoCommand* other) const override
    {
        const auto* o = this->sameKind(other, this);
        return o && Inherited::canMergeWith(other) && o->m_slot == m_slot;
    }

protected:
    oxUndoSlot m_slot;
};

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
