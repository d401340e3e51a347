#include "oxUndoSlot.h"

#include "oxLog.h"

#include <QMetaObject>
#include <QObject>

oxUndoSlot::oxUndoSlot(QObject* receiver, const char* signature) : m_receiver(receiver)
{
    if (!receiver)
        return;
    const QByteArray normalized = QMetaObject::normalizedSignature(signature);
    const int index = receiver->metaObject()->indexOfMethod(normalized.constData());
    if (index < 0)
    {
        oxLog::error("Method not found: %s::%s", receiver->metaObject()->className(), normalized.constData());
        m_receiver = nullptr;
        return;
    }
    m_method = receiver->metaObject()->method(index);
    if (m_method.parameterCount() == 1)
        m_parameterType = m_method.parameterTypes().first();
}

void oxUndoSlot::invoke(const void* value, int valueType) const
{
    QObject* receiver = m_receiver.data();
    if (!receiver)
        return;
    bool invoked = false;
    if (m_parameterType.isEmpty() || !value)
        invoked = m_method.invoke(receiver, Qt::AutoConnection);
    else if (m_method.parameterType(0) == valueType) // a slot of another type would read the value as garbage
        invoked = m_method.invoke(receiver, Qt::AutoConnection, QGenericArgument(m_parameterType.constData(), value));
    if (!invoked)
        oxLog::error("Could not invoke: %s::%s", receiver->metaObject()->className(),
                     m_method.methodSignature().constData());
}
