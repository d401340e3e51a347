#include "oxUndoStack.h"

#include "oxFieldBaseUndoCommand.h"

#include "oxLog.h"

#include <QUndoStack>

#include <atomic>
#include <map>
#include <mutex>

namespace
{
std::atomic<qint64> s_mergeWindow{500};

struct StackRegistry
{
    std::mutex mutex;
    std::map<unsigned int, oxUndoStack*> stacks;
};

// Immortal, like the stacks in it: modules may still hold or record edits during static destruction.
StackRegistry& stackRegistry()
{
    static StackRegistry* registry = new StackRegistry;
    return *registry;
}
} // namespace

oxUndoStack::oxUndoStack(unsigned int index) : m_index(index), m_stack(new QUndoStack) {}

oxUndoStack& oxUndoStack::get(unsigned int index)
{
    StackRegistry& registry = stackRegistry();
    std::lock_guard<std::mutex> lock(registry.mutex);
    oxUndoStack*& stack = registry.stacks[index];
    if (!stack)
        stack = new oxUndoStack(index);
    return *stack;
}

void oxUndoStack::add(QUndoCommand* command)
{
    if (!command)
    {
        oxLog::error("Undo stack %u: cannot add an edit: the edit is null.", m_index);
        return;
    }
    m_stack->push(command);
}

void oxUndoStack::beginMacro(const QString& text)
{
    ++m_macroDepth;
    m_stack->beginMacro(text);
}

void oxUndoStack::endMacro()
{
    if (m_macroDepth == 0)
    {
        oxLog::error("Undo stack %u: cannot end a macro: no macro was begun.", m_index);
        return;
    }
    --m_macroDepth;
    m_stack->endMacro();
}

void oxUndoStack::undo()
{
    if (m_macroDepth > 0)
    {
        oxLog::error("Undo stack %u: cannot undo while a macro is open.", m_index);
        return;
    }
    m_stack->undo();
}

void oxUndoStack::redo()
{
    if (m_macroDepth > 0)
    {
        oxLog::error("Undo stack %u: cannot redo while a macro is open.", m_index);
        return;
    }
    m_stack->redo();
}

int oxUndoStack::count() const
{
    return m_stack->count();
}

int oxUndoStack::index() const
{
    return m_stack->index();
}

QString oxUndoStack::text(int i) const
{
    // Field edits without a description show which field they set.
    if (auto* field = dynamic_cast<const oxFieldBaseUndoCommand*>(m_stack->command(i)))
        return field->displayText();
    return m_stack->text(i);
}

void oxUndoStack::clear()
{
    m_macroDepth = 0;
    m_stack->clear();
}

void oxUndoStack::setMergeWindow(qint64 ms)
{
    s_mergeWindow = ms;
}

qint64 oxUndoStack::mergeWindow()
{
    return s_mergeWindow;
}
