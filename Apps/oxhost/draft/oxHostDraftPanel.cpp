#include "oxHostDraftPanel.h"

#include "oxHostAnalysisControls.h"

#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

#include <utility>

namespace C = oxHostAnalysisControls;
typedef oxHostAnalysisModel M;
namespace R = oxHostAnalysisRows;

namespace
{
// The pull direction: the axes, the view, or a face's normal; the label shows the value.
void addDirectionControls(oxPanelBindings& bindings, QFormLayout* form)
{
    QWidget* owner = form->parentWidget();
    auto* shown = new QLabel(owner);
    oxPanelBindings::Binding direction;
    direction.name = R::DraftDirection.name;
    direction.widget = shown;
    direction.show = [shown] { shown->setText(C::vectorText(M::the()->getDraftDirection())); };
    direction.value = [] { return C::vectorValue(M::the()->getDraftDirection()); };
    bindings.bind(form, C::label(R::DraftDirection), direction);

    auto* axes = new QWidget(owner);
    auto* grid = new QHBoxLayout(axes);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setSpacing(2);
    const std::pair<const char*, osg::Vec3f> directions[] = {
        {"+X", osg::Vec3f(1, 0, 0)},  {"+Y", osg::Vec3f(0, 1, 0)},  {"+Z", osg::Vec3f(0, 0, 1)},
        {"-X", osg::Vec3f(-1, 0, 0)}, {"-Y", osg::Vec3f(0, -1, 0)}, {"-Z", osg::Vec3f(0, 0, -1)}};
    for (const auto& axis : directions)
    {
        auto* button = new QPushButton(axis.first, axes);
        button->setObjectName(QString("DraftDirection.") + axis.first);
        button->setMinimumWidth(28);
        const osg::Vec3f d = axis.second;
        QObject::connect(button, &QPushButton::clicked, owner, [d] { M::the()->setDraftDirection(d); });
        grid->addWidget(button);
    }
    form->addRow(axes);

    auto* more = new QWidget(owner);
    auto* row = new QHBoxLayout(more);
    row->setContentsMargins(0, 0, 0, 0);
    auto* view = new QPushButton(oxHostAnalysesPanel::tr("View direction"), more);
    view->setObjectName("DraftDirection.View");
    view->setToolTip(oxHostAnalysesPanel::tr("Pull towards the viewer: faces facing you read +90\u00b0"));
    QObject::connect(view, &QPushButton::clicked, owner, [] { M::the()->setDraftDirection(M::viewDirection()); });
    auto* pick = new QPushButton(oxHostAnalysesPanel::tr("Pick a face"), more);
    pick->setCheckable(true);
    pick->setToolTip(oxHostAnalysesPanel::tr("Click the model: the pull direction becomes the surface normal there"));
    QObject::connect(pick, &QPushButton::toggled, owner,
                     [&bindings](bool on)
                     {
                         if (!bindings.refreshing())
                             M::the()->setFacePick(on);
                     });
    row->addWidget(view);
    row->addWidget(pick);
    form->addRow(more);
    oxPanelBindings::Binding picking;
    picking.name = "FacePick";
    picking.widget = pick;
    picking.show = [pick] { pick->setChecked(M::the()->facePick()); };
    picking.value = [pick] { return QVariant(pick->isChecked()); };
    bindings.add(picking);
    // Named after the button, as before, not after its binding.
    pick->setObjectName("DraftDirection.Pick");
}
} // namespace

void oxHostDraftPanel::section(oxPanelBindings& bindings)
{
    QFormLayout* form = bindings.group(oxHostAnalysesPanel::tr("Draft"));
    bindings.bind(form, QString(), C::check(bindings, R::DraftActive, &M::getDraftActive, &M::setDraftActive));
    {
        auto b = C::number(bindings, R::DraftAngle, 2, &M::getDraftAngle, &M::setDraftAngle);
        auto* spin = static_cast<QDoubleSpinBox*>(b.widget);
        spin->setSuffix(QString::fromUtf8("\u00b0"));
        spin->setToolTip(oxHostAnalysesPanel::tr("The least draft a face needs, in degrees"));
        bindings.bind(form, C::label(R::DraftAngle), b);
    }
    bindings.bind(form, QString(), C::check(bindings, R::DraftRamp, &M::getDraftRamp, &M::setDraftRamp));
    addDirectionControls(bindings, form);
}
