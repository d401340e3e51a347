#pragma once

#include <QString>
#include <QtGlobal>

class QUndoCommand;
class QUndoStack;

// The host's numbered undo stacks, each a QUndoStack. Stacks live until the process ends,
// so edits recorded by a module stay valid while other statics are destroyed.
class oxUndoStack
{
public:
    // The stack with this index, created on first use.
    static oxUndoStack& get(unsigned int index);

    // Takes ownership, runs the edit's redo, then merges it into the newest edit when both
    // have the same id (not -1) and that one accepts; a merged edit is deleted.
    void add(QUndoCommand* command);
    // Edits added between these two form one undo step; macros may nest.
    void beginMacro(const QString& text);
    void endMacro();

    void undo();
    void redo();
    int count() const;
    int index() const;
    QString text(int i) const;
    void clear();

    // For host user interfaces (undo view, undo and redo actions).
    QUndoStack* undoStack() const { return m_stack; }

    // How close in time (ms) consecutive edits must be to merge; default 500, negative: never.
    static void setMergeWindow(qint64 ms);
    static qint64 mergeWindow();

    oxUndoStack(const oxUndoStack&) = delete;
    oxUndoStack& operator=(const oxUndoStack&) = delete;

private:
    explicit oxUndoStack(unsigned int index);

    unsigned int m_index;
    QUndoStack* m_stack;
    int m_macroDepth = 0;
};
