#include "oxUndoCommand.h"
#include "oxUndoStack.h"

#include "oxMessage.h"

#include <chrono>
#include <mutex>
#include <string>
#include <unordered_map>

namespace
{
struct IdRegistry
{
    std::mutex mutex;
    std::unordered_map<std::type_index, int> ids;
    // Well above the small hand-picked ids that plain QUndoCommands tend to use.
    int next = 0x10000;
};

// Immortal: edits may ask for their id while other statics are destroyed.
IdRegistry& idRegistry()
{
    static IdRegistry* registry = new IdRegistry;
    return *registry;
}

std::function<quint64()>& clockOverride()
{
    static std::function<quint64()>* clock = new std::function<quint64()>;
    return *clock;
}
} // namespace

oxUndoCommand::oxUndoCommand(const oxUndoString& description, QUndoCommand* parent)
    : oxUndoCommandBase(description, parent), m_mergeStamp(now())
{
}

void oxUndoCommand::makeMessage(oxMessage& message) const
{
    message.set("undoText", getDescription().toStdString(), true);
    message.set("undoId", id(), true);
}

bool oxUndoCommand::canMergeWith(const QUndoCommand* other) const
{
    const oxUndoCommand* newer = sameKind(other, this);
    return newer && mergeWindowAllows(*newer);
}

bool oxUndoCommand::mergeWith(const QUndoCommand* other)
{
    if (!canMergeWith(other))
        return false;
    m_mergeStamp = static_cast<const oxUndoCommand*>(other)->m_mergeStamp;
    return true;
}

bool oxUndoCommand::mergeWindowAllows(const oxUndoCommand& newer) const
{
    if (&newer == this)
        return false;
    const qint64 window = oxUndoStack::mergeWindow();
    if (window < 0 || newer.m_mergeStamp < m_mergeStamp)
        return false;
    return newer.m_mergeStamp - m_mergeStamp <= quint64(window);
}

int oxUndoCommand::makeId(std::type_index type)
{
    IdRegistry& registry = idRegistry();
    std::lock_guard<std::mutex> lock(registry.mutex);
    auto it = registry.ids.find(type);
    if (it == registry.ids.end())
        it = registry.ids.emplace(type, registry.next++).first;
    return it->second;
}

quint64 oxUndoCommand::now()
{
    const std::function<quint64()>& clock = clockOverride();
    if (clock)
        return clock();
    using namespace std::chrono;
    return quint64(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

void oxUndoCommand::setClock(std::function<quint64()> clock)
{
    clockOverride() = std::move(clock);
}
