#pragma once

#include "engine/scene/NiTriShape.h"

#include <cstdint>
#include <memory>
#include <vector>

// A small screen-space vertex set: 2-D positions, colours and texture
// coordinates. Owns its arrays (new[] blocks).
class NiScreenElement
{
public:
    NiScreenElement() = default;
    ~NiScreenElement();
    NiScreenElement(const NiScreenElement&) = delete;
    NiScreenElement& operator=(const NiScreenElement&) = delete;

    // A new vertex count frees all three old arrays first; each array the
    // new one does not reuse is freed.
    void SetElement(std::uint16_t usVertices, NiVec2* pkPositions, NiColorRGBA* pkColors, NiVec2* pkTextures,
                    std::uint16_t usTextureSets);

    [[nodiscard]] bool IsEqual(const NiScreenElement& kOther) const;

    std::uint16_t m_usVertices = 0;
    std::uint16_t m_usTextureSets = 0;
    NiVec2* m_pkPositions = nullptr;
    NiColorRGBA* m_pkColors = nullptr;
    NiVec2* m_pkTextures = nullptr;
};

// The process-wide store screen elements are taken from and returned to;
// made by the engine's start-up, freed by its shut-down. One thread.
class NiScreenElementPool
{
public:
    static constexpr std::uint32_t FIRST_BLOCK_SIZE = 8;

    static void Init();
    static void Shutdown();
    // The top of the free stack, after adding a block when it is empty.
    [[nodiscard]] static NiScreenElement* Take();
    // Resets the element (its arrays are freed) and stacks it again.
    static void Return(NiScreenElement* pkElement);

    [[nodiscard]] static bool IsInitialized();
    [[nodiscard]] static std::uint32_t GetFreeCount();
    [[nodiscard]] static std::uint32_t GetBlockCount();
    [[nodiscard]] static std::uint32_t GetElementCount();
    [[nodiscard]] static std::uint32_t GetNextBlockSize();
};

class NiScreenGeometryData : public NiTriShapeData
{
    NiDeclareTypeInfo()

public:
    NiScreenGeometryData() = default;
    ~NiScreenGeometryData() override;

    static NiObject* CreateObject();

    [[nodiscard]] std::uint16_t GetActiveVertexCount() const override { return m_usActiveVertices; }
    void CalculateNormals() override {}

    [[nodiscard]] bool GetPixelAccurate() const { return m_bPixelAccurate; }
    void SetPixelAccurate(bool b) { m_bPixelAccurate = b; }
    [[nodiscard]] std::uint32_t GetElementSlotCount() const { return static_cast<std::uint32_t>(m_kElements.size()); }
    [[nodiscard]] std::uint32_t GetElementCount() const;
    [[nodiscard]] NiScreenElement* GetElement(std::uint32_t uiSlot) const;
    // Puts a pool element in the slot (growing the array), or empties it.
    void SetElementAt(std::uint32_t uiSlot, NiScreenElement* pkElement);
    // Empties every slot, giving the elements back to the pool.
    void RemoveAllElements();

    void ReadFromStream(NiObjectStream& kStream) override;
    void WriteToStream(NiObjectStream& kStream) override;
    bool IsEqual(NiObject* pkOther) override;
    void AppendViewerStrings(NiViewerStringArray& kStrings) override;

private:
    bool ReadOldTriangles(NiObjectStream& kStream);
    bool ReadElement(NiObjectStream& kStream, std::uint32_t uiSlot);

    bool m_bPixelAccurate = false;
    std::uint16_t m_usActiveVertices = 0;
    std::vector<NiScreenElement*> m_kElements; // from the pool
};

class NiScreenGeometry : public NiTriShape
{
    NiDeclareTypeInfo()
    NiDeclareClone(NiScreenGeometry)

public:
    NiScreenGeometry() = default;
    explicit NiScreenGeometry(NiScreenGeometryData* pkData) : NiTriShape(pkData) {}

    static NiObject* CreateObject();

    void AppendViewerStrings(NiViewerStringArray& kStrings) override;

protected:
    [[nodiscard]] bool IsDataClassValid(const NiGeometryData* pkData) const override;
};
