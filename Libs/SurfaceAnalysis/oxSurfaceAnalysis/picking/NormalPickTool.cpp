#include "NormalPickTool.h"

#include "MultimodeInteractionContext.h"
#include "OSGGeometry.h"
#include "Picker.h"
#include "oxNodeUtils.h"
#include "oxOSGWidget.h"

#include <QCoreApplication>
#include <QCursor>

#include <iomanip>
#include <sstream>

namespace oxk
{
namespace modules
{
namespace surfaceanalysis
{
bool NormalPickTool::selectToolMode(interaction::InteractionContext*, const std::string& mode)
{
    Qt::CursorShape shape;
    if (mode.empty())
        shape = Qt::ArrowCursor;
    else if (mode == "tool")
        shape = Qt::CrossCursor;
    else
        return false;
    if (oxOSGWidget* widget = oxOSGWidget::getMGLW(-1))
        widget->setCursor(QCursor(shape));
    return true;
}

void NormalPickTool::activateTool(interaction::InteractionContext* context)
{
    AbstractInteractionTool::activateTool(context);
}

void NormalPickTool::deactivateTool(interaction::InteractionContext* context)
{
    AbstractInteractionTool::deactivateTool(context);
}

bool NormalPickTool::handlePointerMove(interaction::InteractionContext* context, const std::string& hint)
{
    return handlePickHint(context, hint);
}

bool NormalPickTool::handlePointerPress(interaction::InteractionContext* context, const std::string& hint)
{
    return handlePickHint(context, hint);
}

bool NormalPickTool::handlePointerRelease(interaction::InteractionContext* context, const std::string& hint)
{
    return handlePickHint(context, hint);
}

bool NormalPickTool::handlePickHint(interaction::InteractionContext* context, const std::string& hint)
{
    if (!isPickHint(hint))
        return false;
    pick(context);
    return true;
}

// A miss, or a hit on something that is not a surface, keeps the previous hit.
bool NormalPickTool::pick(interaction::InteractionContext* context)
{
    auto* multimode = dynamic_cast<interaction::MultimodeInteractionContext*>(context);
    interaction::Picker* picker = multimode ? multimode->getPicker() : nullptr;
    if (!picker)
        return false;
    osg::NodePtr node;
    osg::Vec3f point, normal;
    picker->getHitNode(node, 0);
    picker->getHitPoint(point, 0);
    picker->getHitNormal(normal, 0);
    if (node == osg::NullFC || osg::GeometryPtr::dcast(node->getCore()) == osg::NullFC)
        return false;
    m_pickedNode = node;
    m_pickedPoint = point;
    m_pickedNormal = normal;

    std::ostringstream text;
    text << std::fixed << std::setprecision(2)
         << QCoreApplication::translate("oxForegroundTextContext", "Normal on ").toUtf8().constData() << "["
         << oxNodeUtils::getName(node) << "] " << normal[0] << ", " << normal[1] << ", " << normal[2];
    setDescription(text.str());
    return true;
}
} // namespace surfaceanalysis
} // namespace modules
} // namespace oxk
