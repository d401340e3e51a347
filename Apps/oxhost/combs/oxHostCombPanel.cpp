#include "oxHostCombPanel.h"

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
// The section normal: the label shows it, the buttons set an axis.
oxPanelBindings::Binding normalControls(QWidget* owner)
{
    auto* normal = new QWidget(owner);
    auto* row = new QHBoxLayout(normal);
    row->setContentsMargins(0, 0, 0, 0);
    auto* shown = new QLabel(normal);
    row->addWidget(shown, 1);
    const std::pair<const char*, osg::Vec3f> axes[] = {
        {"X", osg::Vec3f(1, 0, 0)}, {"Y", osg::Vec3f(0, 1, 0)}, {"Z", osg::Vec3f(0, 0, 1)}};
    for (const auto& axis : axes)
    {
        auto* button = new QPushButton(axis.first, normal);
        button->setObjectName(QString("CombSectionNormal.") + axis.first);
        button->setMinimumWidth(28);
        const osg::Vec3f d = axis.second;
        QObject::connect(button, &QPushButton::clicked, owner, [d] { M::the()->setCombSectionNormal(d); });
        row->addWidget(button);
    }
    oxPanelBindings::Binding b;
    b.name = R::CombSectionNormal.name;
    b.widget = normal;
    b.show = [shown] { shown->setText(C::vectorText(M::the()->getCombSectionNormal())); };
    b.value = [] { return C::vectorValue(M::the()->getCombSectionNormal()); };
    return b;
}
} // namespace

void oxHostCombPanel::section(oxPanelBindings& bindings)
{
    QFormLayout* form = bindings.group(oxHostAnalysesPanel::tr("Combs"));
    bindings.bind(form, QString(), C::check(bindings, R::CombActive, &M::getCombActive, &M::setCombActive));
    bindings.bind(form, QString(), C::check(bindings, R::CombEdges, &M::getCombEdges, &M::setCombEdges));
    bindings.bind(form, C::label(R::CombSections),
                  C::count(bindings, R::CombSections, &M::getCombSections, &M::setCombSections));
    bindings.bind(form, C::label(R::CombSectionNormal), normalControls(form->parentWidget()));
    bindings.bind(form, C::label(R::CombSamples),
                  C::count(bindings, R::CombSamples, &M::getCombSamples, &M::setCombSamples));
    auto scale = C::number(bindings, R::CombScale, 4, &M::getCombScale, &M::setCombScale);
    auto* spin = static_cast<QDoubleSpinBox*>(scale.widget);
    spin->setSpecialValueText(oxHostAnalysesPanel::tr("fitted"));
    spin->setToolTip(
        oxHostAnalysesPanel::tr("Tooth length per unit curvature; fitted: the longest tooth is a tenth of the model"));
    bindings.bind(form, C::label(R::CombScale), scale);
}
