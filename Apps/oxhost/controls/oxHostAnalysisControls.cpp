#include "oxHostAnalysisControls.h"

#include <QComboBox>
#include <QFormLayout>
#include <QMetaMethod>
#include <QVBoxLayout>

#include <algorithm>
#include <cstring>
#include <type_traits>

namespace C = oxHostAnalysisControls;

namespace
{
C::M* model()
{
    return C::M::the();
}

// The default a row's open end may show as "not set".
template <class T> T defaultOf(const oxHostAnalysisRow& row)
{
    static const oxHostAnalysisSettings defaults;
#define OX_HOST_ANALYSIS_DEFAULT(Name, Type, ...)                                                                      \
    if constexpr (std::is_convertible_v<Type, T>)                                                                      \
        if (std::strcmp(row.name, #Name) == 0)                                                                         \
            return T(defaults.Name);
    OX_HOST_ANALYSIS_PROPERTIES(OX_HOST_ANALYSIS_DEFAULT)
#undef OX_HOST_ANALYSIS_DEFAULT
    return T();
}

C::Binding named(C::Binding b, const oxHostAnalysisRow& row)
{
    b.name = row.name;
    return b;
}

std::vector<C::Section>& sectionList()
{
    static std::vector<C::Section> list;
    return list;
}
} // namespace

C::Binding C::check(oxPanelBindings& bindings, const oxHostAnalysisRow& row, bool (M::*get)() const,
                    bool (M::*set)(bool, std::string*))
{
    return named(
        bindings.check(
            label(row), [get] { return (model()->*get)(); }, [set](bool on) { return (model()->*set)(on, nullptr); }),
        row);
}

C::Binding C::count(oxPanelBindings& bindings, const oxHostAnalysisRow& row, unsigned (M::*get)() const,
                    bool (M::*set)(unsigned, std::string*))
{
    return named(bindings.count(
                     row.domain, defaultOf<unsigned>(row), [get] { return (model()->*get)(); },
                     [set](unsigned n) { return (model()->*set)(n, nullptr); }),
                 row);
}

C::Binding C::number(oxPanelBindings& bindings, const oxHostAnalysisRow& row, int decimals, float (M::*get)() const,
                     bool (M::*set)(float, std::string*))
{
    return named(bindings.number(
                     row.domain, defaultOf<float>(row), decimals, [get] { return (model()->*get)(); },
                     [set](float v) { return (model()->*set)(v, nullptr); }),
                 row);
}

C::Binding C::choice(oxPanelBindings& bindings, const oxHostAnalysisRow& row, const QStringList& names,
                     unsigned (M::*get)() const, bool (M::*set)(unsigned, std::string*))
{
    Binding b;
    b.name = row.name;
    auto* box = new QComboBox;
    box->addItems(names);
    b.widget = box;
    b.show = [box, get] { box->setCurrentIndex(int((model()->*get)())); };
    b.value = [box] { return QVariant(box->currentIndex()); };
    QObject::connect(box, QOverload<int>::of(&QComboBox::currentIndexChanged), box,
                     [box, get, set, &bindings](int index)
                     {
                         if (!bindings.refreshing() && index >= 0 && !(model()->*set)(unsigned(index), nullptr))
                             box->setCurrentIndex(int((model()->*get)()));
                     });
    return b;
}

void C::colourSection(oxPanelBindings& bindings)
{
    namespace R = oxHostAnalysisRows;
    QFormLayout* form = bindings.group(oxHostAnalysesPanel::tr("Colours"));
    QStringList names;
    for (const char* name : oxColourMapNames)
        names << QString::fromLatin1(name);
    bindings.bind(form, label(R::ColourMap), choice(bindings, R::ColourMap, names, &M::getColourMap, &M::setColourMap));
    bindings.bind(form, QString(),
                  check(bindings, R::ColourMapReversed, &M::getColourMapReversed, &M::setColourMapReversed));
    bindings.bind(form, label(R::ColourMapSteps),
                  count(bindings, R::ColourMapSteps, &M::getColourMapSteps, &M::setColourMapSteps));
    bindings.bind(form, QString(), check(bindings, R::ColoursLit, &M::getColoursLit, &M::setColoursLit));
    bindings.bind(form, QString(),
                  check(bindings, R::CurvatureLogScale, &M::getCurvatureLogScale, &M::setCurvatureLogScale));
    bindings.bind(form, label(R::CurvatureRangeLow),
                  number(bindings, R::CurvatureRangeLow, 4, &M::getCurvatureRangeLow, &M::setCurvatureRangeLow));
    bindings.bind(form, label(R::CurvatureRangeHigh),
                  number(bindings, R::CurvatureRangeHigh, 4, &M::getCurvatureRangeHigh, &M::setCurvatureRangeHigh));
}

QString C::label(const oxHostAnalysisRow& row)
{
    return oxHostAnalysesPanel::tr(row.label);
}

QString C::vectorText(const osg::Vec3f& v)
{
    return QString("(%1, %2, %3)")
        .arg(double(v[0]), 0, 'g', 4)
        .arg(double(v[1]), 0, 'g', 4)
        .arg(double(v[2]), 0, 'g', 4);
}

QVariant C::vectorValue(const osg::Vec3f& v)
{
    return QVariantList{double(v[0]), double(v[1]), double(v[2])};
}

void C::addSection(Section section)
{
    if (section && std::find(sectionList().begin(), sectionList().end(), section) == sectionList().end())
        sectionList().push_back(section);
}

void C::removeSection(Section section)
{
    auto& list = sectionList();
    list.erase(std::remove(list.begin(), list.end(), section), list.end());
}

const std::vector<C::Section>& C::sections()
{
    return sectionList();
}

oxHostAnalysesPanel::oxHostAnalysesPanel(QWidget* parent) : QWidget(parent), _bindings(this)
{
    setObjectName("hostAnalysisControls");
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    for (C::Section section : C::sections())
        section(_bindings);
    C::colourSection(_bindings);

    const QMetaObject& mo = C::M::staticMetaObject;
    const int refreshSlot = metaObject()->indexOfSlot("refresh()");
    for (int i = mo.methodOffset(); i < mo.methodCount(); ++i)
        if (mo.method(i).methodType() == QMetaMethod::Signal && mo.method(i).name().endsWith("Changed"))
            connect(model(), mo.method(i), this, metaObject()->method(refreshSlot));
    refresh();
}
