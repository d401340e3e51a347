#pragma once

#include "oxUndoCommand.h"
#include "oxUndoSlot.h"

#include "OSGField.h"
#include "OSGFieldContainer.h"
#include "OSGFieldContainerFactory.h"

#include <functional>

// An edit of one field of one container. It keeps the container's id, never a pointer:
// the container may be replaced or die while the edit waits on the stack.
class oxFieldBaseUndoCommand : public oxUndoCommand
{
public:
    // An empty description shows as "Set <field name>".
    oxFieldBaseUndoCommand(const oxUndoString& description, osg::FieldContainerPtr container, int fieldId,
                           QUndoCommand* parent);

    // Adds "containerId", "fieldId" (osg::UInt32) and "fieldMask" (osg::BitVector).
    void makeMessage(oxMessage& message) const override;
    // The time test, and the same container, field and mask.
    bool canMergeWith(const QUndoCommand* other) const override;

    // Host side: observers of every field written by an edit (views, the project's dirty flag).
    typedef std::function<void(osg::UInt32 containerId, osg::UInt32 fieldId, osg::BitVector fieldMask)> NotifyHook;
    static int addNotifyHook(NotifyHook hook);
    static void removeNotifyHook(int handle);
    // Notifications sent since the start of the process.
    static quint64 notifyCount();

    // The text an undo view shows: the description, or "Set <FieldName>" when it is empty.
    QString displayText() const;

protected:
    // Announces that the field has just been written.
    void notify();

    // Writes kept into the field inside edit brackets and keeps the field's previous value
    // instead. Nothing happens when the container is gone or the field holds another type.
    template <class T> void swapField(T& kept)
    {
        // Looked up on every run: the record may have been replaced since the edit was made.
        osg::FieldContainerPtr container = osg::FieldContainerFactory::the()->getContainer(m_containerId);
        if (container == osg::NullFC)
            return;
        osg::SField<T>* field = dynamic_cast<osg::SField<T>*>(container->getField(m_fieldId));
        if (!field)
            return;
        const T previous = field->getValue();
        osg::beginEditCP(container, m_fieldMask);
        field->setValue(kept);
        osg::endEditCP(container, m_fieldMask);
        notify();
        kept = previous;
    }

    // swapField, then the slot gets the value written, even when the container is gone.
    template <class T> void swapFieldAndInvoke(T& kept, const oxUndoSlot& slot)
    {
        const T written = kept;
        swapField(kept);
        slot.invokeWith(written);
    }

    osg::UInt32 m_containerId;
    osg::UInt32 m_fieldId;
    osg::BitVector m_fieldMask;

private:
    const char* m_typeName; // static strings of the container's class
    const char* m_fieldName;
};
