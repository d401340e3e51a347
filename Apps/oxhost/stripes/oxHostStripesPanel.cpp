#include "oxHostStripesPanel.h"

#include "oxHostAnalysisControls.h"

#include <QFormLayout>
#include <QPushButton>

namespace C = oxHostAnalysisControls;
typedef oxHostAnalysisModel M;
namespace R = oxHostAnalysisRows;

namespace
{
// In the order of StripesAxis's values.
const char* const AxisNames[] = {"Model X", "Model Y", "Model Z", "View vertical", "View horizontal", "Axis vector"};

void addAxis(oxPanelBindings& bindings, QFormLayout* form)
{
    QStringList names;
    for (const char* name : AxisNames)
        names << oxHostAnalysesPanel::tr(name);
    bindings.bind(form, C::label(R::StripesAxis),
                  C::choice(bindings, R::StripesAxis, names, &M::getStripesAxis, &M::setStripesAxis));
}

// Locks the stripes to the model as they lie in the current view.
void addLockButton(QFormLayout* form)
{
    auto* lock = new QPushButton(oxHostAnalysesPanel::tr("Lock to this view"), form->parentWidget());
    lock->setObjectName("StripesView.Lock");
    lock->setToolTip(oxHostAnalysesPanel::tr("Keep the stripes on the part as they lie now while the view turns"));
    QObject::connect(lock, &QPushButton::clicked, lock,
                     []
                     {
                         M::the()->setStripesView(M::viewDirection());
                         M::the()->setStripesLocked(true);
                     });
    form->addRow(lock);
}
} // namespace

void oxHostStripesPanel::section(oxPanelBindings& bindings)
{
    QFormLayout* form = bindings.group(oxHostAnalysesPanel::tr("Zebra stripes"));
    bindings.bind(form, QString(), C::check(bindings, R::StripesActive, &M::getStripesActive, &M::setStripesActive));
    addAxis(bindings, form);
    bindings.bind(form, C::label(R::StripesCount),
                  C::count(bindings, R::StripesCount, &M::getStripesCount, &M::setStripesCount));
    bindings.bind(form, C::label(R::StripesDistance),
                  C::number(bindings, R::StripesDistance, 2, &M::getStripesDistance, &M::setStripesDistance));
    bindings.bind(form, C::label(R::StripesWidth),
                  C::number(bindings, R::StripesWidth, 2, &M::getStripesWidth, &M::setStripesWidth));
    bindings.bind(form, C::label(R::StripesSharpness),
                  C::number(bindings, R::StripesSharpness, 2, &M::getStripesSharpness, &M::setStripesSharpness));
    bindings.bind(form, QString(), C::check(bindings, R::StripesLocked, &M::getStripesLocked, &M::setStripesLocked));
    addLockButton(form);
}
