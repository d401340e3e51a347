#pragma once

#include <QByteArray>
#include <QMetaMethod>
#include <QMetaType>
#include <QPointer>

class QObject;

// A receiver's slot, looked up by its signature and invoked by the invoking edits.
// A missing slot is logged and leaves the receiver null: the edit still writes, but invokes nothing.
class oxUndoSlot
{
public:
    oxUndoSlot(QObject* receiver, const char* signature);

    QObject* receiver() const { return m_receiver.data(); }
    const QMetaMethod& method() const { return m_method; }
    // The one parameter's type name; empty when the slot does not take exactly one.
    const QByteArray& parameterType() const { return m_parameterType; }

    // A one-parameter slot gets value, unless both types are known and differ (logged);
    // a slot without parameter is called without it.
    template <class T> void invokeWith(const T& value) const { invoke(&value, knownType<T>()); }
    // For a slot without parameter.
    void invoke() const { invoke(nullptr, QMetaType::UnknownType); }

    bool operator==(const oxUndoSlot& other) const
    {
        return m_receiver == other.m_receiver && m_method == other.m_method;
    }

private:
    // valueType is value's meta type id, or QMetaType::UnknownType when it has none.
    void invoke(const void* value, int valueType) const;

    template <class T> static int knownType()
    {
        if constexpr (QMetaTypeId2<T>::Defined)
            return qMetaTypeId<T>();
        else
            return QMetaType::UnknownType;
    }

    // Guarded: an edit may wait on the stack longer than its receiver lives.
    QPointer<QObject> m_receiver;
    QMetaMethod m_method;
    QByteArray m_parameterType;
};
