#include "oxMaterialWidget.h"

#include <QApplication>

namespace
{
int s_constructions = 0;
}

oxMaterialWidget::oxMaterialWidget(QWidget* parent, const char* name, Qt::WindowFlags f, bool flag, int w, int h)
    : QWidget(parent, f), _flag(flag)
{
    setObjectName(QString::fromUtf8(name ? name : ""));
    resize(w, h);
    ++s_constructions;
}

oxMaterialWidget::~oxMaterialWidget() = default;

void oxMaterialWidget::prepareRender()
{
    ++_prepareRenders;
}

int oxMaterialWidget::constructionCount()
{
    return s_constructions;
}

int oxMaterialWidget::deleteUnparented()
{
    // Collect first: deleting a widget deletes its children, which the list also holds.
    QList<oxMaterialWidget*> unparented;
    for (QWidget* widget : QApplication::allWidgets())
    {
        oxMaterialWidget* preview = qobject_cast<oxMaterialWidget*>(widget);
        if (preview && !preview->parent())
            unparented.append(preview);
    }
    qDeleteAll(unparented);
    return unparented.size();
}
