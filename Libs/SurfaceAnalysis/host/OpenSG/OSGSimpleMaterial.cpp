#include "OSGSimpleMaterial.h"

namespace osg
{
// OpenGL's fixed-function material defaults.
SimpleMaterial::SimpleMaterial()
    : _ambient(Color3f(0.2f, 0.2f, 0.2f)), _diffuse(Color3f(0.8f, 0.8f, 0.8f)), _specular(Color3f(0.f, 0.f, 0.f)),
      _shininess(1.f), _emission(Color3f(0.f, 0.f, 0.f)), _transparency(0.f), _lit(true)
{
}

FCPtr<SimpleMaterial> SimpleMaterial::create()
{
    return FCPtr<SimpleMaterial>(new SimpleMaterial);
}

Field* SimpleMaterial::getField(UInt32 fieldId)
{
    switch (fieldId)
    {
    case AmbientFieldId:
        return &_ambient;
    case DiffuseFieldId:
        return &_diffuse;
    case SpecularFieldId:
        return &_specular;
    case ShininessFieldId:
        return &_shininess;
    case EmissionFieldId:
        return &_emission;
    case TransparencyFieldId:
        return &_transparency;
    case LitFieldId:
        return &_lit;
    default:
        return Inherited::getField(fieldId);
    }
}

const char* SimpleMaterial::getFieldName(UInt32 fieldId) const
{
    switch (fieldId)
    {
    case AmbientFieldId:
        return "ambient";
    case DiffuseFieldId:
        return "diffuse";
    case SpecularFieldId:
        return "specular";
    case ShininessFieldId:
        return "shininess";
    case EmissionFieldId:
        return "emission";
    case TransparencyFieldId:
        return "transparency";
    case LitFieldId:
        return "lit";
    default:
        return Inherited::getFieldName(fieldId);
    }
}
} // namespace osg
