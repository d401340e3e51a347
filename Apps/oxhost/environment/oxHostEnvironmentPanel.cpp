#include "oxHostEnvironmentPanel.h"

#include "oxHostAnalysisControls.h"

#include "oxUndoStack.h"

#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>

namespace C = oxHostAnalysisControls;
typedef oxHostAnalysisModel M;
namespace R = oxHostAnalysisRows;

namespace
{
void addMap(oxPanelBindings& bindings, QFormLayout* form)
{
    QStringList names;
    for (const char* name : oxEnvironmentNames)
        names << oxHostAnalysesPanel::tr(name);
    bindings.bind(form, C::label(R::EnvironmentMap),
                  C::choice(bindings, R::EnvironmentMap, names, &M::getEnvironmentMap, &M::setEnvironmentMap));
}

// The path as typed (set when editing ends) and a button that chooses a file and shows the image.
oxPanelBindings::Binding imageBinding(QWidget* parent)
{
    oxPanelBindings::Binding b;
    b.name = R::EnvironmentImage.name;
    auto* box = new QWidget(parent);
    auto* row = new QHBoxLayout(box);
    row->setContentsMargins(0, 0, 0, 0);
    auto* path = new QLineEdit(box);
    path->setObjectName("EnvironmentImage.Path");
    path->setPlaceholderText(oxHostAnalysesPanel::tr("PNG or JPEG, equirectangular"));
    auto* choose = new QPushButton(oxHostAnalysesPanel::tr("Choose\u2026"), box);
    choose->setObjectName("EnvironmentImage.Choose");
    row->addWidget(path, 1);
    row->addWidget(choose);
    b.widget = box;
    b.show = [path] { path->setText(QString::fromStdString(M::the()->getEnvironmentImage())); };
    b.value = [path] { return QVariant(path->text()); };
    QObject::connect(path, &QLineEdit::editingFinished, path,
                     [path]
                     {
                         if (path->text().toStdString() != M::the()->getEnvironmentImage())
                             M::the()->setEnvironmentImage(path->text().toStdString());
                     });
    QObject::connect(choose, &QPushButton::clicked, choose,
                     [box]
                     {
                         const QString file =
                             QFileDialog::getOpenFileName(box, oxHostAnalysesPanel::tr("Environment image"),
                                                          QString::fromStdString(M::the()->getEnvironmentImage()),
                                                          oxHostAnalysesPanel::tr("Images (*.png *.jpg *.jpeg)"));
                         if (file.isEmpty())
                             return;
                         // The path and the choice of the image are one step to undo.
                         oxUndoStack& stack = oxUndoStack::get(0);
                         stack.beginMacro(oxHostAnalysesPanel::tr("Choose the environment image"));
                         M::the()->setEnvironmentImage(file.toStdString());
                         M::the()->setEnvironmentMap(oxEnvironmentImage);
                         stack.endMacro();
                     });
    return b;
}
} // namespace

void oxHostEnvironmentPanel::section(oxPanelBindings& bindings)
{
    QFormLayout* form = bindings.group(oxHostAnalysesPanel::tr("Environment"));
    bindings.bind(form, QString(),
                  C::check(bindings, R::EnvironmentActive, &M::getEnvironmentActive, &M::setEnvironmentActive));
    addMap(bindings, form);
    bindings.bind(form, C::label(R::EnvironmentImage), imageBinding(form->parentWidget()));
    bindings.bind(form, C::label(R::EnvironmentTurn),
                  C::number(bindings, R::EnvironmentTurn, 0, &M::getEnvironmentTurn, &M::setEnvironmentTurn));
    bindings.bind(form, C::label(R::EnvironmentBlend),
                  C::number(bindings, R::EnvironmentBlend, 2, &M::getEnvironmentBlend, &M::setEnvironmentBlend));
    bindings.bind(
        form, QString(),
        C::check(bindings, R::EnvironmentFollowsView, &M::getEnvironmentFollowsView, &M::setEnvironmentFollowsView));
}
