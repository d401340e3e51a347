#pragma once

#include "oxFieldBaseUndoCommand.h"

#include <typeinfo>

// Swaps its value with one single-value field of a container found by id. Undo and redo are the
// same swap. The edit for a field of any type; one id per T.
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
