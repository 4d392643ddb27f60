#pragma once

#include "game/simulation/objects/CBaseObject.h"

// An outdoor object stretched along its width, height and depth; its
// footprint grows with the stretch.
class CScalableObject : public CBaseObject
{
public:
    CScalableObject();
    ~CScalableObject() override;

    void Reset() override;
    [[nodiscard]] std::int32_t GetWidth() const override;
    [[nodiscard]] std::int32_t GetDepth() const override;
    int ComputeFootprint() override;
    // Blocks its cells, except a balcony, which others walk under.
    int OccupyFootprint() override;

    void SetScale(float fWidth, float fHeight, float fDepth);
    [[nodiscard]] float GetWidthScale() const { return m_fWidthScale; }
    [[nodiscard]] float GetHeightScale() const { return m_fHeightScale; }
    [[nodiscard]] float GetDepthScale() const { return m_fDepthScale; }

private:
    float m_fWidthScale = 1.0f;
    float m_fHeightScale = 1.0f;
    float m_fDepthScale = 1.0f;
};
