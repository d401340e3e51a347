#include "oxFieldBaseUndoCommand.h"

#include "oxMessage.h"

#include <map>
#include <mutex>

namespace
{
struct NotifyRegistry
{
    std::mutex mutex;
    std::map<int, oxFieldBaseUndoCommand::NotifyHook> hooks;
    int nextHandle = 1;
    quint64 count = 0;
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

QString displayText(const oxUndoString& description, const osg::FieldContainerPtr& container, int fieldId)
{
    if (!description.isEmpty())
        return description.toString();
    const char* name =
        container != osg::NullFC && fieldId >= 0 ? container->getFieldName(osg::UInt32(fieldId)) : nullptr;
    if (name)
        return QStringLiteral("Set %1").arg(QString::fromUtf8(name));
    return QStringLiteral("Set field %1").arg(fieldId);
}
} // namespace

oxFieldBaseUndoCommand::oxFieldBaseUndoCommand(const oxUndoString& description, osg::FieldContainerPtr container,
                                               int fieldId, QUndoCommand* parent)
    : oxUndoCommand(description, parent), m_containerId(container != osg::NullFC ? container->getId() : 0),
      m_fieldId(osg::UInt32(fieldId)), m_fieldMask(maskOf(fieldId))
{
    setText(displayText(description, container, fieldId));
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
    const oxFieldBaseUndoCommand* o = dynamic_cast<const oxFieldBaseUndoCommand*>(other);
    return o && oxUndoCommand::canMergeWith(other) && o->m_containerId == m_containerId && o->m_fieldId == m_fieldId &&
           o->m_fieldMask == m_fieldMask;
}

int oxFieldBaseUndoCommand::addNotifyHook(NotifyHook hook)
{
    NotifyRegistry& registry = notifyRegistry();
    std::lock_guard<std::mutex> lock(registry.mutex);
    const int handle = registry.nextHandle++;
    registry.hooks.emplace(handle, std::move(hook));
    return handle;
}

void oxFieldBaseUndoCommand::removeNotifyHook(int handle)
{
    NotifyRegistry& registry = notifyRegistry();
    std::lock_guard<std::mutex> lock(registry.mutex);
    registry.hooks.erase(handle);
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
    std::map<int, NotifyHook> hooks;
    {
        std::lock_guard<std::mutex> lock(registry.mutex);
        ++registry.count;
        // Called on a copy, so a hook may add or remove hooks.
        hooks = registry.hooks;
    }
    for (const auto& entry : hooks)
        entry.second(m_containerId, m_fieldId, m_fieldMask);
}
