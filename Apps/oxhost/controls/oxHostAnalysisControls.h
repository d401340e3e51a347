#pragma once

#include "oxHostAnalysisModel.h"
#include "oxPanelBindings.h"

#include <QWidget>

#include <vector>

// The kit's controls for rows of the host analyses' table, bound to oxHostAnalysisModel: named
// after the row, labelled with its label, ranged by its domain. A value the model refuses (the
// deviation without a reference) puts the control back.
namespace oxHostAnalysisControls
{
typedef oxHostAnalysisModel M;
typedef oxPanelBindings::Binding Binding;

Binding check(oxPanelBindings& bindings, const oxHostAnalysisRow& row, bool (M::*get)() const,
              bool (M::*set)(bool, std::string*));
Binding count(oxPanelBindings& bindings, const oxHostAnalysisRow& row, unsigned (M::*get)() const,
              bool (M::*set)(unsigned, std::string*));
Binding number(oxPanelBindings& bindings, const oxHostAnalysisRow& row, int decimals, float (M::*get)() const,
               bool (M::*set)(float, std::string*));
// A combo box of named choices for a count row whose values number them (ColourMap).
Binding choice(oxPanelBindings& bindings, const oxHostAnalysisRow& row, const QStringList& names,
               unsigned (M::*get)() const, bool (M::*set)(unsigned, std::string*));
// The colour map's section, shared by every analysis that colours by a value; after the rooms'.
void colourSection(oxPanelBindings& bindings);
// The row's label, translated.
QString label(const oxHostAnalysisRow& row);
// A direction as the panel shows it, "(0, 0, 1)", and as state() gives it, [x, y, z].
QString vectorText(const osg::Vec3f& v);
QVariant vectorValue(const osg::Vec3f& v);

// A room's section of the host analyses' panel: its group of controls, added through bindings.
typedef void (*Section)(oxPanelBindings& bindings);
// The rooms' sections, in the order the rooms added them.
void addSection(Section section);
void removeSection(Section section);
const std::vector<Section>& sections();
} // namespace oxHostAnalysisControls

// The host analyses' section of a panel: every room's section, bound both ways to
// oxHostAnalysisModel; every change signal of the model brings the controls up to date, whoever
// made the change.
class oxHostAnalysesPanel : public QWidget
{
    Q_OBJECT

public:
    explicit oxHostAnalysesPanel(QWidget* parent = nullptr);

    // What the controls show, by property name, as oxPanelBindings::state gives it.
    QVariantMap state() const { return _bindings.state(); }
    // The control bound to a property or a button ("<property>.<axis>"), or null.
    QWidget* control(const QString& name) const { return _bindings.control(name); }

public Q_SLOTS:
    void refresh() { _bindings.refresh(); }

private:
    oxPanelBindings _bindings;
};
