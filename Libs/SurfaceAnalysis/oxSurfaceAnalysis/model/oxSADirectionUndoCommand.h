#pragma once

#include "OSGVector.h"
#include "oxUndoCommand.h"

class oxSurfaceAnalysisModel;

// The light direction edit: swaps the model's own direction (and the record's normalised copy)
// with the one it holds, so undo and redo are the same step.
class oxSADirectionUndoCommand : public oxUndoCommand
{
public:
    typedef void (oxSurfaceAnalysisModel::*Handler)(osg::Vec3f direction);

    oxSADirectionUndoCommand(const osg::Vec3f& direction, Handler handler, oxSurfaceAnalysisModel* target);

    void undo() override;
    void redo() override;
    // The window test, and the same handler.
    bool canMergeWith(const QUndoCommand* other) const override;

private:
    osg::Vec3f m_value;
    Handler m_handler;
    oxSurfaceAnalysisModel* m_target;
};
