#include "oxHostDeviationPanel.h"

#include "oxHostAnalysisControls.h"

#include <QDoubleSpinBox>
#include <QFormLayout>

namespace C = oxHostAnalysisControls;
typedef oxHostAnalysisModel M;
namespace R = oxHostAnalysisRows;

void oxHostDeviationPanel::section(oxPanelBindings& bindings)
{
    QFormLayout* form = bindings.group(oxHostAnalysesPanel::tr("Deviation"));
    {
        auto b = C::check(bindings, R::DeviationActive, &M::getDeviationActive, &M::setDeviationActive);
        b.widget->setToolTip(
            oxHostAnalysesPanel::tr("Colours the model by its distance to the reference (File > Open reference)"));
        bindings.bind(form, QString(), b);
    }
    {
        auto b = C::number(bindings, R::DeviationTolerance, 5, &M::getDeviationTolerance, &M::setDeviationTolerance);
        auto* spin = static_cast<QDoubleSpinBox*>(b.widget);
        spin->setSpecialValueText(oxHostAnalysesPanel::tr("size / 1000"));
        spin->setToolTip(oxHostAnalysesPanel::tr(
            "Distances within \u00b1 this read as neutral; by default a thousandth of the reference's size"));
        bindings.bind(form, C::label(R::DeviationTolerance), b);
    }
    {
        auto b = C::number(bindings, R::DeviationRange, 5, &M::getDeviationRange, &M::setDeviationRange);
        auto* spin = static_cast<QDoubleSpinBox*>(b.widget);
        spin->setSpecialValueText(oxHostAnalysesPanel::tr("fitted"));
        spin->setToolTip(
            oxHostAnalysesPanel::tr("The distance at the ramp's ends; fitted: 98% of the model lies within it"));
        bindings.bind(form, C::label(R::DeviationRange), b);
    }
}
