#pragma once

#include "engine/scene/NiObjectNET.h"

// Base of the render-state properties attached to scene objects. Each type
// has a code, the index of its slot in a property set.
class NiProperty : public NiObjectNET
{
    NiDeclareTypeInfo()

public:
    enum PropertyType : int
    {
        ALPHA = 0,
        DITHER = 1,
        FOG = 2,
        MATERIAL = 3,
        REND_SPEC = 4,
        SHADE = 5,
        SPECULAR = 6,
        STENCIL = 7,
        TEXTURING = 8,
        VERTEX_COLOR = 9,
        WIREFRAME = 10,
        ZBUFFER = 11,
        MAX_TYPES = 12,
    };

    NiProperty() = default;

    [[nodiscard]] virtual int GetType() const = 0;
    // Runs the property's controllers at the time, in chain order.
    virtual void UpdateControllers(float fTime);

    // Files before 10.0.1.2 keep the concrete class's flags here; they go to
    // the stream for that class's reader.
    void ReadFromStream(NiObjectStream& kStream) override;
    void AppendViewerStrings(NiViewerStringArray& kStrings) override;

protected:
    void CopyMembers(NiProperty* pkDest, NiCloneContext& kCloning);
};

using NiPropertyPtr = NiRefPtr<NiProperty>;
