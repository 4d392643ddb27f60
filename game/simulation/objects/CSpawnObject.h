#pragma once

#include "engine/core/NiVec3.h"
#include "framework/COrvaneObject.h"

class NiNode;

// The vehicle at the end of the level's arrival road. It plays "arrive"
// when prisoners come, and two nodes of its model place and aim the
// camera while the camera follows it.
class CSpawnObject : public COrvaneObject
{
public:
    CSpawnObject();
    ~CSpawnObject() override;

    // Only forgets the nodes: the registry owns the object.
    void Destroy() override;
    void Reset() override;
    // The factory's load: the object from its template, then its nodes.
    int Load(COrvaneObjectDesc& kDesc) override;
    int Create(COrvaneObjectDesc& kDesc);

    // The node's world position; false when the model has no such node.
    bool GetCameraPosition(NiVec3& kOut) const;
    bool GetTargetPosition(NiVec3& kOut) const;

    [[nodiscard]] NiNode* GetCameraNode() const { return m_pkCameraNode; }
    [[nodiscard]] NiNode* GetTargetNode() const { return m_pkTargetNode; }

private:
    NiNode* m_pkCameraNode = nullptr; // link: a node of the model
    NiNode* m_pkTargetNode = nullptr; // link: a node of the model
};
