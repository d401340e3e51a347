#pragma once

// The host analyses' settings by name, through the model's generated accessors, as QVariants (a
// Vec3f as three numbers, a text as a QString); and a reference to measure the deviation against.
#include "oxHostAnalysisModel.h"
#include "oxRenderer.h"

#include <QMap>
#include <QVariant>

#include <boost/any.hpp>

#include <functional>
#include <memory>

template <class T> inline QVariant toVariant(const T& v)
{
    if constexpr (std::is_same_v<T, osg::Vec3f>)
        return QVariantList{double(v[0]), double(v[1]), double(v[2])};
    else if constexpr (std::is_same_v<T, std::string>)
        return QString::fromStdString(v);
    else if constexpr (std::is_same_v<T, float>)
        return double(v);
    else
        return v;
}

template <class T> inline T fromVariant(const QVariant& v)
{
    if constexpr (std::is_same_v<T, osg::Vec3f>)
    {
        const QVariantList l = v.toList();
        return osg::Vec3f(l.value(0).toFloat(), l.value(1).toFloat(), l.value(2).toFloat());
    }
    else if constexpr (std::is_same_v<T, std::string>)
        return v.toString().toStdString();
    else
        return v.value<T>();
}

// Each property by name, read and written through the model's generated accessors.
struct HostAccess
{
    std::function<QVariant()> get;
    std::function<bool(const QVariant&, std::string*)> set;
    std::function<QVariant()> record;
    std::function<boost::any(const QVariant&)> stored;
};

inline const QMap<QString, HostAccess>& accessors()
{
    typedef oxHostAnalysisModel M;
    static const QMap<QString, HostAccess> map = []
    {
        QMap<QString, HostAccess> m;
#define ACCESS(Name, Type, ...)                                                                                        \
    m[#Name] =                                                                                                         \
        HostAccess{[] { return toVariant(M::the()->get##Name()); },                                                    \
                   [](const QVariant& v, std::string* e) { return M::the()->set##Name(fromVariant<Type>(v), e); },     \
                   [] { return toVariant(M::the()->settings().Name); },                                                \
                   [](const QVariant& v) { return boost::any(fromVariant<Type>(v)); }};
        OX_HOST_ANALYSIS_PROPERTIES(ACCESS)
#undef ACCESS
        return m;
    }();
    return map;
}

// One triangle, as the reference the deviation needs to come on.
inline std::shared_ptr<const oxRenderMesh> referenceTriangle()
{
    auto triangle = std::make_shared<oxRenderMesh>();
    triangle->positions = {osg::Pnt3f(0, 0, 0), osg::Pnt3f(1, 0, 0), osg::Pnt3f(0, 1, 0)};
    triangle->indices = {0, 1, 2};
    return triangle;
}
