#include "oxUndoSlot.h"

#include "oxLog.h"

#include <QMetaObject>
#include <QObject>

#include <map>
#include <string>

namespace
{
struct ResolvedSlot
{
    int index = -1;
    QByteArray normalized;
    QByteArray parameterType;
};

// Setters create an edit per slider step, so a signature is looked up once per class and text.
// Keyed by the text, not its address: a signature built at run time may reuse a buffer.
// Per thread, so no lock is taken; every thread finds the same answers.
const ResolvedSlot& resolve(const QMetaObject* metaObject, const char* signature)
{
    static thread_local std::map<const QMetaObject*, std::map<std::string, ResolvedSlot, std::less<>>> cache;
    auto& bySignature = cache[metaObject];
    auto it = bySignature.find(signature);
    if (it != bySignature.end())
        return it->second;
    ResolvedSlot resolved;
    resolved.normalized = QMetaObject::normalizedSignature(signature);
    resolved.index = metaObject->indexOfMethod(resolved.normalized.constData());
    if (resolved.index >= 0)
    {
        const QMetaMethod method = metaObject->method(resolved.index);
        if (method.parameterCount() == 1)
            resolved.parameterType = method.parameterTypes().first();
    }
    return bySignature.emplace(signature, std::move(resolved)).first->second;
}
} // namespace

oxUndoSlot::oxUndoSlot(QObject* receiver, const char* signature) : m_receiver(receiver)
{
    if (!receiver)
        return;
    const QMetaObject* metaObject = receiver->metaObject();
    const ResolvedSlot& resolved = resolve(metaObject, signature ? signature : "");
    if (resolved.index < 0)
    {
        oxLog::error("Method not found: %s::%s", metaObject->className(), resolved.normalized.constData());
        m_receiver = nullptr;
        return;
    }
    m_method = metaObject->method(resolved.index);
    m_parameterType = resolved.parameterType;
}

void oxUndoSlot::invoke(const void* value, int valueType) const
{
    QObject* receiver = m_receiver.data();
    if (!receiver)
        return;
    bool invoked = false;
    if (m_parameterType.isEmpty() || !value)
        invoked = m_method.invoke(receiver, Qt::AutoConnection);
    else
    {
        // A slot whose parameter has another known type would read the value as garbage.
        const int parameterType = m_method.parameterType(0);
        if (valueType == QMetaType::UnknownType || parameterType == QMetaType::UnknownType ||
            parameterType == valueType)
            invoked =
                m_method.invoke(receiver, Qt::AutoConnection, QGenericArgument(m_parameterType.constData(), value));
    }
    if (!invoked)
        oxLog::error("Could not invoke: %s::%s", receiver->metaObject()->className(),
                     m_method.methodSignature().constData());
}
