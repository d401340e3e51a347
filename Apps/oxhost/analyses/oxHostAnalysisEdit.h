#pragma once

#include "oxHostAnalysisModel.h"

#include "oxUndoCommand.h"

#include <QPointer>

#include <typeinfo>

// An edit of one host analysis setting: swaps its value with the model's, so undo and redo are
// the same operation. Edits of one setting within the stack's merge window merge (a slider drag).
template <class T> class oxHostAnalysisEdit : public oxUndoCommand
{
public:
    oxHostAnalysisEdit(const char* name, T oxHostAnalysisSettings::*field, const T& value, oxHostAnalysisModel* model)
        : oxUndoCommand(oxUndoString("Set %1", name), nullptr), m_field(field), m_value(value), m_model(model)
    {
    }

    void undo() override { redo(); }
    void redo() override
    {
        if (m_model)
            m_value = m_model->exchange(m_field, m_value);
    }

    int id() const override
    {
        static const int id = makeId(typeid(oxHostAnalysisEdit<T>));
        return id;
    }

    bool canMergeWith(const QUndoCommand* other) const override
    {
        const auto* o = sameKind(other, this);
        return o && oxUndoCommand::canMergeWith(other) && o->m_field == m_field && o->m_model == m_model;
    }

private:
    T oxHostAnalysisSettings::*m_field;
    T m_value;
    // The model is immortal, but an edit must not outlive a test's stand-in.
    QPointer<oxHostAnalysisModel> m_model;
};
