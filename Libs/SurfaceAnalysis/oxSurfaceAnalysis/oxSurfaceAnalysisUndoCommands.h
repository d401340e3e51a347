#pragma once

#include "oxSurfaceAnalysisMetaTypes.h"

#include "OSGField.h"
#include "OSGFieldContainerFactory.h"
#include "oxFieldBaseUndoCommand.h"
#include "oxLog.h"
#include "oxUndoCommand.h"
#include "oxUndoString.h"

#include <QByteArray>
#include <QMetaMethod>
#include <QMetaObject>
#include <QMetaType>
#include <QObject>
#include <QPointer>

#include <map>
#include <string>
#include <typeinfo>
#include <utility>

// The module's undo edits. Each keeps one value and swaps it with its target, so undo and
// redo are the same operation, and reaches its apply slot by signature through the
// meta-object system, so the edits need no knowledge of the model.

namespace oxSurfaceAnalysisUndo
{
// What the meta-object says about one slot signature of one class.
struct ResolvedSlot
{
    int index = -1;
    QByteArray normalized;
    QByteArray parameterType;
};

// Setters create an edit per slider step; a signature is looked up once per class and text.
// Callers pass literals, so the text's address finds it; the text itself confirms the hit.
inline ResolvedSlot resolveSignature(const QMetaObject* metaObject, const char* slot)
{
    struct Entry
    {
        std::string text;
        ResolvedSlot resolved;
    };
    // Per thread, so no lock is taken; every thread finds the same answers.
    static thread_local std::map<std::pair<const QMetaObject*, const char*>, Entry> threadCache;
    auto* cache = &threadCache;
    const auto key = std::make_pair(metaObject, slot);
    auto it = cache->find(key);
    if (it != cache->end() && it->second.text == slot)
        return it->second.resolved;
    Entry entry{slot, ResolvedSlot()};
    entry.resolved.normalized = QMetaObject::normalizedSignature(slot);
    entry.resolved.index = metaObject->indexOfMethod(entry.resolved.normalized.constData());
    if (entry.resolved.index >= 0)
    {
        const QMetaMethod method = metaObject->method(entry.resolved.index);
        if (method.parameterCount() == 1)
            entry.resolved.parameterType = method.parameterTypes().first();
    }
    (*cache)[key] = entry;
    return entry.resolved;
}

// A missing slot leaves the receiver null: the edit still swaps its value but never invokes anything.
inline void resolveSlot(QObject* receiver, const char* slot, QPointer<QObject>& storedReceiver, QMetaMethod& method,
                        QByteArray& parameterType)
{
    storedReceiver = receiver;
    method = QMetaMethod();
    parameterType.clear();
    if (!receiver)
        return;
    const QMetaObject* metaObject = receiver->metaObject();
    const ResolvedSlot resolved = resolveSignature(metaObject, slot);
    if (resolved.index < 0)
    {
        oxLog::error("Method not found: %s::%s", metaObject->className(), resolved.normalized.constData());
        storedReceiver = nullptr;
        return;
    }
    method = metaObject->method(resolved.index);
    parameterType = resolved.parameterType;
}

// A slot whose parameter has another known type than T would read the value as garbage.
template <class T> bool parameterFits(const QMetaMethod& method)
{
    if constexpr (QMetaTypeId2<T>::Defined)
    {
        const int type = method.parameterType(0);
        return type == QMetaType::UnknownType || type == qMetaTypeId<T>();
    }
    else
    {
        return true;
    }
}

template <class T>
void invokeSlot(QObject* receiver, const QMetaMethod& method, const QByteArray& parameterType, const T& value)
{
    if (!receiver)
        return;
    bool invoked = false;
    if (parameterType.isEmpty())
        invoked = method.invoke(receiver, Qt::AutoConnection);
    else if (parameterFits<T>(method))
        invoked = method.invoke(receiver, Qt::AutoConnection, QGenericArgument(parameterType.constData(), &value));
    if (!invoked)
        oxLog::error("Could not invoke: %s::%s", receiver->metaObject()->className(),
                     method.methodSignature().constData());
}
} // namespace oxSurfaceAnalysisUndo

// Swaps its value with one single-value field of a container found by id.
template <class T> class oxFieldUndoCommand : public oxFieldBaseUndoCommand
{
public:
    oxFieldUndoCommand(osg::FieldContainerPtr container, int fieldId, const T& value, QUndoCommand* parent)
        : oxFieldBaseUndoCommand(oxUndoString("", QString()), container, fieldId, parent), m_value(value)
    {
    }

    void undo() override { redo(); }

    void redo() override
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
        field->setValue(m_value);
        osg::endEditCP(container, m_fieldMask);
        notify();
        m_value = previous;
    }

    int id() const override
    {
        static const int id = makeId(typeid(oxFieldUndoCommand<T>));
        return id;
    }

    // The survivor keeps its value, taken before the first edit of the series, so one undo
    // restores the state from before the series.
    bool mergeWith(const QUndoCommand* other) override
    {
        const oxFieldUndoCommand* o = dynamic_cast<const oxFieldUndoCommand*>(other);
        if (!o || !canMergeWith(other))
            return false;
        m_mergeStamp = o->m_mergeStamp;
        return true;
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
        : Inherited(container, fieldId, value, parent)
    {
        oxSurfaceAnalysisUndo::resolveSlot(receiver, slot, m_receiver, m_method, m_parameterType);
    }

    void undo() override { swapAndInvoke(); }
    void redo() override { swapAndInvoke(); }

    int id() const override
    {
        static const int id = oxUndoCommand::makeId(typeid(oxInvokeFieldUndoCommand<T>));
        return id;
    }

    bool mergeWith(const QUndoCommand* other) override
    {
        if (!canMergeWith(other))
            return false;
        this->m_mergeStamp = static_cast<const oxInvokeFieldUndoCommand*>(other)->m_mergeStamp;
        return true;
    }

    // The same class has the same id, which spares the casts on the slider path.
    bool canMergeWith(const QUndoCommand* other) const override
    {
        if (!other || other->id() != this->id())
            return false;
        const oxInvokeFieldUndoCommand* o = static_cast<const oxInvokeFieldUndoCommand*>(other);
        return this->fieldMergeAllows(*o) && o->m_receiver == m_receiver && o->m_method == m_method;
    }

protected:
    QPointer<QObject> m_receiver; // not owned; guarded because edits may outlive it
    QMetaMethod m_method;
    QByteArray m_parameterType;

private:
    void swapAndInvoke()
    {
        // The copy is what the field holds afterwards; the slot gets it even when the container is gone.
        const T written = this->m_value;
        Inherited::redo();
        oxSurfaceAnalysisUndo::invokeSlot(m_receiver.data(), m_method, m_parameterType, written);
    }
};

// An edit of a value outside the record; subclasses say where the value lives.
template <class T> class oxInvokeValueUndoBase : public oxUndoCommand
{
public:
    oxInvokeValueUndoBase(const oxUndoString& description, const T& value, QObject* receiver, const char* slot,
                          QUndoCommand* parent)
        : oxUndoCommand(description, parent), m_value(value)
    {
        oxSurfaceAnalysisUndo::resolveSlot(receiver, slot, m_receiver, m_method, m_parameterType);
    }

    void undo() override { redo(); }

    void redo() override
    {
        T previous = m_value;
        swapValue(m_value, previous);
        oxSurfaceAnalysisUndo::invokeSlot(m_receiver.data(), m_method, m_parameterType, m_value);
        m_value = previous;
    }

    int id() const override
    {
        static const int id = makeId(typeid(oxInvokeValueUndoBase<T>));
        return id;
    }

    bool mergeWith(const QUndoCommand* other) override
    {
        const oxInvokeValueUndoBase* o = dynamic_cast<const oxInvokeValueUndoBase*>(other);
        if (!o || !canMergeWith(other))
            return false;
        m_mergeStamp = o->m_mergeStamp;
        return true;
    }

    bool canMergeWith(const QUndoCommand* other) const override
    {
        const oxInvokeValueUndoBase* o = dynamic_cast<const oxInvokeValueUndoBase*>(other);
        return o && oxUndoCommand::canMergeWith(other) && o->m_receiver == m_receiver && o->m_method == m_method;
    }

    // Writes value to the target and returns the target's previous value; leaves previous
    // untouched when there is nothing to write to.
    virtual void swapValue(const T& value, T& previous) = 0;

protected:
    T m_value;
    QPointer<QObject> m_receiver; // not owned; guarded because edits may outlive it
    QMetaMethod m_method;
    QByteArray m_parameterType;
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

    bool mergeWith(const QUndoCommand* other) override
    {
        const oxInvokePValUndoCommand* o = dynamic_cast<const oxInvokePValUndoCommand*>(other);
        if (!o || !canMergeWith(other))
            return false;
        this->m_mergeStamp = o->m_mergeStamp;
        return true;
    }

    bool canMergeWith(const QUndoCommand* other) const override
    {
        const oxInvokePValUndoCommand* o = dynamic_cast<const oxInvokePValUndoCommand*>(other);
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
