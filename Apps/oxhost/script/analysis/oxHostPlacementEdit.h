#pragma once

#include "OSGMatrix.h"
#include "OSGNode.h"
#include "oxUndoCommand.h"

class oxMessage;

// Where the whole model sits in the world: a transform on the scene root, so that every mesh
// moves as one. An edit swaps the placement with its own, so undo and redo are one operation.
// The placement is the model's: a new scene puts it back, and the project keeps it.
class oxHostPlacementEdit : public oxUndoCommand
{
public:
    oxHostPlacementEdit(const osg::Matrix& placement, const char* description);

    void undo() override { redo(); }
    void redo() override;

    // The root's placement; the identity while nothing moved it.
    static osg::Matrix placement();
    static void setPlacement(const osg::Matrix& placement);

    // The project keys: the translation and the rotation vector (the axis times the angle in
    // degrees), written only while the model is moved. Loading a project without them leaves the
    // model where its files put it; a value that is not three finite floats is reported and does
    // the same.
    static constexpr const char* TranslationKey = "Host Model Placement Translation";
    static constexpr const char* RotationKey = "Host Model Placement Rotation";
    static void save(oxMessage& project);
    static void load(const oxMessage& project);

private:
    osg::Matrix m_placement;
};
