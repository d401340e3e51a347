#pragma once

#include "OSGChunkMaterial.h"
#include "OSGVector.h"

namespace osg
{
// Fixed-function surface colours on top of the chunks.
class SimpleMaterial : public ChunkMaterial
{
public:
    typedef ChunkMaterial Inherited;
    enum
    {
        AmbientFieldId = Inherited::NextFieldId,
        DiffuseFieldId,
        SpecularFieldId,
        ShininessFieldId,
        EmissionFieldId,
        TransparencyFieldId,
        LitFieldId,
        NextFieldId
    };
    static const BitVector AmbientFieldMask = BitVector(1) << AmbientFieldId;
    static const BitVector DiffuseFieldMask = BitVector(1) << DiffuseFieldId;
    static const BitVector SpecularFieldMask = BitVector(1) << SpecularFieldId;
    static const BitVector ShininessFieldMask = BitVector(1) << ShininessFieldId;
    static const BitVector EmissionFieldMask = BitVector(1) << EmissionFieldId;
    static const BitVector TransparencyFieldMask = BitVector(1) << TransparencyFieldId;
    static const BitVector LitFieldMask = BitVector(1) << LitFieldId;

    static FCPtr<SimpleMaterial> create();
    const char* getTypeName() const override { return "SimpleMaterial"; }
    Field* getField(UInt32 fieldId) override;
    const char* getFieldName(UInt32 fieldId) const override;
    UInt32 getNumFields() const override { return NextFieldId - 1; }

    const Color3f& getAmbient() const { return _ambient.getValue(); }
    void setAmbient(const Color3f& color) { _ambient.setValue(color); }
    const Color3f& getDiffuse() const { return _diffuse.getValue(); }
    void setDiffuse(const Color3f& color) { _diffuse.setValue(color); }
    const Color3f& getSpecular() const { return _specular.getValue(); }
    void setSpecular(const Color3f& color) { _specular.setValue(color); }
    Real32 getShininess() const { return _shininess.getValue(); }
    void setShininess(Real32 shininess) { _shininess.setValue(shininess); }
    const Color3f& getEmission() const { return _emission.getValue(); }
    void setEmission(const Color3f& color) { _emission.setValue(color); }
    // 0 is opaque, 1 invisible.
    Real32 getTransparency() const { return _transparency.getValue(); }
    void setTransparency(Real32 transparency) { _transparency.setValue(transparency); }
    bool getLit() const { return _lit.getValue(); }
    void setLit(bool lit) { _lit.setValue(lit); }

    bool isTransparent() const override { return getTransparency() > Eps; }

protected:
    SimpleMaterial();

private:
    SField<Color3f> _ambient;
    SField<Color3f> _diffuse;
    SField<Color3f> _specular;
    SField<Real32> _shininess;
    SField<Color3f> _emission;
    SField<Real32> _transparency;
    SField<bool> _lit;
};

typedef FCPtr<SimpleMaterial> SimpleMaterialPtr;
} // namespace osg
