#pragma once

#include <QByteArray>
#include <QMetaMethod>
#include <QPointer>

class QObject;

// A receiver's slot, looked up once by its signature and invoked by the host's invoking edits.
// A missing slot is logged and leaves the receiver null: the edit still writes, but invokes nothing.
class oxUndoSlot
{
public:
    oxUndoSlot(QObject* receiver, const char* signature);

    QObject* receiver() const { return m_receiver.data(); }
    const QMetaMethod& method() const { return m_method; }
    // The one parameter's type name; empty when the slot does not take exactly one.
    const QByteArray& parameterType() const { return m_parameterType; }

    // With a one-parameter slot, value (of meta type valueType) is its argument; otherwise none is passed.
    void invoke(const void* value, int valueType) const;

    bool operator==(const oxUndoSlot& other) const
    {
        return m_receiver == other.m_receiver && m_method == other.m_method;
    }

private:
    // Guarded: an edit may wait on the stack longer than its receiver lives.
    QPointer<QObject> m_receiver;
    QMetaMethod m_method;
    QByteArray m_parameterType;
};
