#pragma once

#include "engine/core/NiObject.h"

#include <cstdint>
#include <memory>

// The hardware partitions of a skin: each with its own bones, vertex map,
// weights, bone indices and triangles or strips.
class NiSkinPartition : public NiObject
{
    NiDeclareTypeInfo()

public:
    class Partition
    {
    public:
        Partition() = default;
        virtual ~Partition() = default;

        // Strips one after another, or three indices per triangle.
        [[nodiscard]] std::uint32_t GetIndexCount() const;

        std::unique_ptr<std::uint16_t[]> m_pusBones;
        std::unique_ptr<float[]> m_pfWeights;
        std::unique_ptr<std::uint16_t[]> m_pusVertexMap;
        std::unique_ptr<std::uint8_t[]> m_pucBonePalette;
        std::unique_ptr<std::uint16_t[]> m_pusTriList;
        std::unique_ptr<std::uint16_t[]> m_pusStripLengths;
        std::uint16_t m_usVertices = 0;
        std::uint16_t m_usTriangles = 0;
        std::uint16_t m_usBones = 0;
        std::uint16_t m_usStrips = 0;
        std::uint16_t m_usBonesPerVertex = 0;
        void* m_pvRendererData = nullptr;
    };

    NiSkinPartition() = default;
    ~NiSkinPartition() override;

    static NiObject* CreateObject();

    [[nodiscard]] std::uint32_t GetPartitionCount() const { return m_uiPartitions; }
    [[nodiscard]] Partition* GetPartitions() const { return m_spPartitions.get(); }
    void SetPartitions(std::uint32_t uiCount, std::unique_ptr<Partition[]> spPartitions);

    // Checks every index against the geometry's vertices and the skin's
    // bones; false names the first fault in kWhy.
    [[nodiscard]] bool IsValidFor(std::uint32_t uiVertexCount, std::uint32_t uiSkinBones, const char*& pcWhy) const;

    void ReadFromStream(NiObjectStream& kStream) override;
    void WriteToStream(NiObjectStream& kStream) override;
    bool IsEqual(NiObject* pkOther) override;

private:
    std::uint32_t m_uiPartitions = 0;
    std::unique_ptr<Partition[]> m_spPartitions;
};

using NiSkinPartitionPtr = NiRefPtr<NiSkinPartition>;
