#include "oxHostValues.h"

#include "oxHostAnalysisControls.h"
#include "oxHostReportSections.h"
#include "oxHostRoom.h"
#include "oxHostScript.h"

#include <QFormLayout>

namespace
{
typedef oxHostAnalysisModel M;

bool tintOn()
{
    return M::the()->getTintActive();
}

void define()
{
    boost::python::def("tintOn", &tintOn, "tintOn()\n\nWhether the tint colours the model.");
}

QString reportSection(const oxFrame::Request& view)
{
    return view.hostAnalyses.TintActive ? QString("<h2>Tint</h2>\n") : QString();
}

void panelSection(oxPanelBindings& bindings)
{
    QFormLayout* form = bindings.group(oxHostAnalysesPanel::tr("Tint"));
    bindings.bind(
        form, QString(),
        oxHostAnalysisControls::check(bindings, oxHostAnalysisRows::TintActive, &M::getTintActive, &M::setTintActive));
}
} // namespace

OX_HOST_ROOM(tint)
{
    oxHostScript::addExtension(&define);
    oxHostReportSections::add(&reportSection);
    oxHostAnalysisControls::addSection(&panelSection);
}
