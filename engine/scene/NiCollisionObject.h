#pragma once

#include "engine/core/NiObject.h"

#include <cstdint>

class NiAVObject;

// What a positioned object asks of its collision object. No collision
// class is made by this engine's files; the base keeps the owner link.
class NiCollisionObject : public NiObject
{
    NiDeclareTypeInfo()

public:
    NiCollisionObject() = default;

    [[nodiscard]] NiAVObject* GetSceneGraphObject() const { return m_pkSceneObject; }
    // A link only: the owner holds the collision object, not the reverse.
    virtual void SetSceneGraphObject(NiAVObject* pkObject) { m_pkSceneObject = pkObject; }
    // Follows the owner's world transform.
    virtual void UpdateWorldData() {}
    // Brings data of an older file version up to date.
    virtual void Convert(std::uint32_t uiVersion, void* pvData) { (void)uiVersion, (void)pvData; }

protected:
    NiAVObject* m_pkSceneObject = nullptr;
};

using NiCollisionObjectPtr = NiRefPtr<NiCollisionObject>;
