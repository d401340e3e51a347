#pragma once

#include "oxUndoCommandBase.h"

#include <QtGlobal>

#include <functional>
#include <typeindex>
#include <typeinfo>

class oxMessage;

// An undo edit that may merge with the edit recorded right after it, as long as that one
// was made within the stack's merge window of the last edit merged into this one.
class oxUndoCommand : public oxUndoCommandBase
{
public:
    oxUndoCommand(const oxUndoString& description, QUndoCommand* parent);

    // Fills "undoText" (std::string) and "undoId" (int).
    virtual void makeMessage(oxMessage& message) const;
    // True only for an oxUndoCommand in the window; subclasses add their tests here.
    virtual bool canMergeWith(const QUndoCommand* other) const;
    // The survivor keeps its value from before the series and takes over the newer's stamp,
    // so the window moves along with the series.
    bool mergeWith(const QUndoCommand* other) override;

    // One id per type, the same for the whole run, never -1.
    static int makeId(std::type_index type);

    // The clock that stamps edits, in milliseconds. An empty function restores the steady clock.
    static quint64 now();
    static void setClock(std::function<quint64()> clock);

protected:
    // other as the caller's class C, or null. Edits that merge are mostly of one class, which the
    // type test finds without dynamic_cast's walk of the class tree (the slider path).
    template <class C> static const C* sameKind(const QUndoCommand* other, const C* self)
    {
        if (other && typeid(*other) == typeid(*self))
            return static_cast<const C*>(other);
        return dynamic_cast<const C*>(other);
    }

    // The host merge test for an edit already known to be an oxUndoCommand.
    bool mergeWindowAllows(const oxUndoCommand& newer) const;

    // Creation time, or that of the last edit merged into this one.
    quint64 m_mergeStamp;
};
