#include "oxSADirectionUndoCommand.h"

#include "oxSurfaceAnalysisLightFrame.h"
#include "oxSurfaceAnalysisModel.h"

oxSADirectionUndoCommand::oxSADirectionUndoCommand(const osg::Vec3f& direction, Handler handler,
                                                   oxSurfaceAnalysisModel* target)
    : oxUndoCommand(oxUndoString("LightDirection", QString()), nullptr), m_value(direction), m_handler(handler),
      m_target(target)
{
}

void oxSADirectionUndoCommand::undo()
{
    redo();
}

void oxSADirectionUndoCommand::redo()
{
    const osg::Vec3f previous = m_target->m_lightDirection;
    m_target->m_lightDirection = m_value;
    osg::SurfaceAnalysisAttachmentPtr record = oxSurfaceAnalysisModel::getAttachment();
    if (record != osg::NullFC)
    {
        osg::beginEditCP(record, osg::SurfaceAnalysisAttachment::LinearLightDirectionFieldMask);
        record->setLinearLightDirection(oxSurfaceAnalysisLightFrame::normalized(m_value));
        osg::endEditCP(record, osg::SurfaceAnalysisAttachment::LinearLightDirectionFieldMask);
    }
    (m_target->*m_handler)(m_value);
    m_value = previous;
}

bool oxSADirectionUndoCommand::canMergeWith(const QUndoCommand* other) const
{
    const auto* o = sameKind(other, this);
    return o && oxUndoCommand::canMergeWith(other) && o->m_handler == m_handler;
}
