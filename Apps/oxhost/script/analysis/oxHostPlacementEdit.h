#pragma once

#include "OSGMatrix.h"
#include "OSGNode.h"
#include "oxUndoCommand.h"

// Where the whole model sits in the world: a transform on the scene root, so that every mesh
// moves as one. An edit swaps the placement with its own, so undo and redo are one operation.
class oxHostPlacementEdit : public oxUndoCommand
{
public:
    oxHostPlacementEdit(const osg::Matrix& placement, const char* description);

    void undo() override { redo(); }
    void redo() override;

    // The root's placement; the identity while nothing moved it.
    static osg::Matrix placement();
    static void setPlacement(const osg::Matrix& placement);

private:
    osg::Matrix m_placement;
};
