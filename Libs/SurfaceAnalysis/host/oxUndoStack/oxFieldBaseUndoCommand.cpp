#include "oxFieldBaseUndoCommand.h"

#include "oxMessage.h"

#include <atomic>
#include <map>
#include <mutex>

namespace
{
struct NotifyRegistry
{
    std::mutex mutex;
    std::map<int, oxFieldBaseUndoCommand::NotifyHook> hooks;
    std::atomic<bool> hasHooks{false};
    int nextHandle = 1;
    std::atomic<quint64> count{0};
};

// Immortal: stacks holding edits outlive every module static.
NotifyRegistry& notifyRegistry()
{
    static NotifyRegistry* registry = new NotifyRegistry;
    return *registry;
}

osg::BitVector maskOf(int fieldId)
{
    // A shift by a negative or too large id would be undefined; such an id names no field anyway.
    if (fieldId < 0 || fieldId >= int(sizeof(osg::BitVector) * 8))
        return 0;
    return osg::BitVector(1) << fieldId;
}

QString fieldText(const char* typeName, const char* fieldName, osg::UInt32 fieldId)
{
    if (fieldName)
        return QStringLiteral("Set %1").arg(QString::fromUtf8(fieldName));
    return QStringLiteral("Set field %1 of %2").arg(fieldId).arg(QString::fromUtf8(typeName ? typeName : "?"));
}
} // namespace

oxFieldBaseUndoCommand::oxFieldBaseUndoCommand(const oxUndoString& description, osg::FieldContainerPtr container,
                                               int fieldId, QUndoCommand* parent)
    : oxUndoCommand(description, parent), m_containerId(container != osg::NullFC ? container->getId() : 0),
      m_fieldId(osg::UInt32(fieldId)), m_fieldMask(maskOf(fieldId)),
      m_typeName(container != osg::NullFC ? container->getTypeName() : nullptr),
      m_fieldName(container != osg::NullFC && fieldId >= 0 ? container->getFieldName(osg::UInt32(fieldId)) : nullptr)
{
}

// Built only when someone shows it: a slider creates an edit per step and most are merged away.
QString oxFieldBaseUndoCommand::displayText() const
{
    return text().isEmpty() ? fieldText(m_typeName, m_fieldName, m_fieldId) : text();
}

void oxFieldBaseUndoCommand::makeMessage(oxMessage& message) const
{
    oxUndoCommand::makeMessage(message);
    message.set("containerId", m_containerId, true);
    message.set("fieldId", m_fieldId, true);
    message.set("fieldMask", m_fieldMask, true);
}

bool oxFieldBaseUndoCommand::canMergeWith(const QUndoCommand* other) const
{
    const auto* o = sameKind(other, this);
    return o && oxUndoCommand::canMergeWith(other) && o->m_containerId == m_containerId && o->m_fieldId == m_fieldId &&
           o->m_fieldMask == m_fieldMask;
}

int oxFieldBaseUndoCommand::addNotifyHook(NotifyHook hook)
{
    NotifyRegistry& registry = notifyRegistry();
    std::lock_guard<std::mutex> lock(registry.mutex);
    const int handle = registry.nextHandle++;
    registry.hooks.emplace(handle, std::move(hook));
    registry.hasHooks = true;
    return handle;
}

void oxFieldBaseUndoCommand::removeNotifyHook(int handle)
{
    NotifyRegistry& registry = notifyRegistry();
    std::lock_guard<std::mutex> lock(registry.mutex);
    registry.hooks.erase(handle);
    registry.hasHooks = !registry.hooks.empty();
}

quint64 oxFieldBaseUndoCommand::notifyCount()
{
    NotifyRegistry& registry = notifyRegistry();
    std::lock_guard<std::mutex> lock(registry.mutex);
    return registry.count;
}

void oxFieldBaseUndoCommand::notify()
{
    NotifyRegistry& registry = notifyRegistry();
    ++registry.count;
    // Every slider step notifies; without listeners that must not cost a lock.
    if (!registry.hasHooks)
        return;
    std::map<int, NotifyHook> hooks;
    {
        std::lock_guard<std::mutex> lock(registry.mutex);
        // Called on a copy, so a hook may add or remove hooks.
        hooks = registry.hooks;
    }
    for (const auto& entry : hooks)
        entry.second(m_containerId, m_fieldId, m_fieldMask);
}
