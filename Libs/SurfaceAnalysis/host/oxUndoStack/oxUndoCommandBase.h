#pragma once

#include "oxUndoString.h"

#include <QUndoCommand>

// Root of the host's undo edits: a QUndoCommand that remembers its parent and shows its
// description as its text.
class oxUndoCommandBase : public QUndoCommand
{
public:
    oxUndoCommandBase(const oxUndoString& description, QUndoCommand* parent);

    virtual QUndoCommand* parent() const;
    virtual void setDescription(const QString& description);
    virtual QString getDescription() const;

private:
    QUndoCommand* m_parent;
};
