#pragma once

#include "engine/core/NiRefObject.h"
#include "engine/core/NiRefPtr.h"
#include "engine/scene/NiSkinPartition.h"
#include "engine/shaders/framework/NiD3DShaderConstantMapEntry.h"

#include <cstdint>
#include <vector>

namespace gfx
{
class IDirect3DDevice9;
struct D3DMATRIX;
} // namespace gfx
class NiBoundSphere;
class NiDX9GeometryBufferData;
class NiDX9RenderState;
class NiDX9Renderer;
class NiD3DShaderProgram;
class NiEffectSet;
class NiExtraData;
class NiGeometry;
class NiPropertySet;
class NiSCMExtraData;
class NiSkinInstance;
class NiXform;

// Which value goes into which shader constant at every draw, for one
// program: a list of entries whose slots keep their index for life (removal
// leaves a hole). The pixel and vertex maps differ in the program operations
// they call and the predefined names they know.
class NiD3DShaderConstantMap : public NiRefObject
{
public:
    using Partition = NiSkinPartition::Partition;

    // Result codes of adding, removing and setting.
    static constexpr std::uint32_t SCM_OK = 0;
    static constexpr std::uint32_t SCM_FAIL = 1;
    static constexpr std::uint32_t SCM_ERR_ENTRY_NOT_FOUND = 0x80000010;
    static constexpr std::uint32_t SCM_ERR_DUPLICATE_ENTRY_KEY = 0x80000020;
    static constexpr std::uint32_t SCM_ERR_FAILED_ADD = 0x80000030;
    static constexpr std::uint32_t SCM_ERR_INVALID_MAPPING = 0x80000040;
    static constexpr std::uint32_t SCM_ERR_FAILED_SET = 0x80000050;

    // Polynomial coefficients for sine and cosine, sent exactly as stored.
    static constexpr std::uint32_t TAYLOR_SIN[4] = {0x3F800000, 0xBE257EB5, 0x3C088865, 0xB9500C47};
    static constexpr std::uint32_t TAYLOR_COS[4] = {0xBF000000, 0xBD2AAAAA, 0xBAB60B61, 0x37D00D01};

    // Sides of the geometry's attribute records.
    static constexpr std::uint32_t SCM_SIDE_PIXEL = 0;
    static constexpr std::uint32_t SCM_SIDE_VERTEX = 1;

    ~NiD3DShaderConstantMap() override;
    NiD3DShaderConstantMap(const NiD3DShaderConstantMap&) = delete;
    NiD3DShaderConstantMap& operator=(const NiD3DShaderConstantMap&) = delete;

    void SetRenderer(NiDX9Renderer* pkRenderer);
    [[nodiscard]] NiDX9Renderer* GetRenderer() const { return m_pkRenderer; }

    virtual std::uint32_t AddEntry(const char* pcKey, std::uint32_t uiFlags, std::uint32_t uiExtra,
                                   std::uint32_t uiRegister, std::uint32_t uiCount, const char* pcVariable,
                                   std::uint32_t uiDataSize, std::uint32_t uiDataStride, const void* pvData,
                                   bool bCopyData);
    virtual std::uint32_t AddDefinedEntry(const char* pcKey, std::uint32_t uiExtra, std::uint32_t uiRegister,
                                          const char* pcVariable);
    virtual std::uint32_t AddAttributeEntry(const char* pcKey, std::uint32_t uiFlags, std::uint32_t uiExtra,
                                            std::uint32_t uiRegister, std::uint32_t uiCount, const char* pcVariable,
                                            std::uint32_t uiDataSize, std::uint32_t uiDataStride,
                                            const void* pvData, bool bCopyData);
    virtual std::uint32_t AddConstantEntry(const char* pcKey, std::uint32_t uiFlags, std::uint32_t uiExtra,
                                           std::uint32_t uiRegister, std::uint32_t uiCount, const char* pcVariable,
                                           std::uint32_t uiDataSize, std::uint32_t uiDataStride,
                                           const void* pvData, bool bCopyData);
    virtual std::uint32_t AddGlobalEntry(const char* pcKey, std::uint32_t uiFlags, std::uint32_t uiExtra,
                                         std::uint32_t uiRegister, std::uint32_t uiCount, const char* pcVariable,
                                         std::uint32_t uiDataSize, std::uint32_t uiDataStride, const void* pvData,
                                         bool bCopyData);
    virtual std::uint32_t AddOperatorEntry(const char* pcKey, std::uint32_t uiFlags, std::uint32_t uiExtra,
                                           std::uint32_t uiRegister, std::uint32_t uiCount,
                                           const char* pcVariable);
    // The slot becomes empty; the last error is returned as it stands.
    virtual std::uint32_t RemoveEntry(const char* pcKey);
    // First match ignoring ASCII case; entries without a key never match.
    [[nodiscard]] virtual NiD3DShaderConstantMapEntry* GetEntry(const char* pcKey) const;
    // Null for an empty slot or an index past the slots.
    [[nodiscard]] virtual NiD3DShaderConstantMapEntry* GetEntryAtIndex(std::uint32_t uiIndex) const;
    // 0 when every entry was set, 1 when one failed (each failure tells the
    // debug log why).
    virtual std::uint32_t SetShaderConstants(NiD3DShaderProgram* pkProgram, NiGeometry* pkGeometry,
                                             const NiSkinInstance* pkSkin, const Partition* pkPartition,
                                             NiDX9GeometryBufferData* pkBuffers, const NiPropertySet* pkState,
                                             const NiEffectSet* pkEffects, const NiXform& kWorld,
                                             const NiBoundSphere& kBound, std::uint32_t uiPass,
                                             bool bShaderLevel);
    // -1 when absent.
    [[nodiscard]] virtual std::int32_t GetEntryIndex(const char* pcKey) const;
    // Into the first empty slot, else appended.
    virtual std::uint32_t InsertEntry(NiD3DShaderConstantMapEntry* pkEntry);

    virtual std::uint32_t SetupDefinedEntry(NiD3DShaderConstantMapEntry* pkEntry) = 0;
    virtual std::uint32_t SetDefinedConstant(NiD3DShaderProgram* pkProgram, NiD3DShaderConstantMapEntry* pkEntry,
                                             NiGeometry* pkGeometry, const NiSkinInstance* pkSkin,
                                             const Partition* pkPartition, NiDX9GeometryBufferData* pkBuffers,
                                             const NiPropertySet* pkState, const NiEffectSet* pkEffects,
                                             const NiXform& kWorld, const NiBoundSphere& kBound,
                                             std::uint32_t uiPass) = 0;
    virtual std::uint32_t SetConstantConstant(NiD3DShaderProgram* pkProgram, NiD3DShaderConstantMapEntry* pkEntry,
                                              std::uint32_t uiPass);
    virtual std::uint32_t SetAttributeConstant(NiD3DShaderProgram* pkProgram, NiD3DShaderConstantMapEntry* pkEntry,
                                               NiGeometry* pkGeometry, const NiSkinInstance* pkSkin,
                                               const Partition* pkPartition, NiDX9GeometryBufferData* pkBuffers,
                                               const NiPropertySet* pkState, const NiEffectSet* pkEffects,
                                               const NiXform& kWorld, const NiBoundSphere& kBound,
                                               std::uint32_t uiPass, bool bShaderLevel, NiSCMExtraData* pkRecords);
    virtual std::uint32_t SetGlobalConstant(NiD3DShaderProgram* pkProgram, NiD3DShaderConstantMapEntry* pkEntry,
                                            std::uint32_t uiPass);
    virtual std::uint32_t SetOperatorConstant(NiD3DShaderProgram* pkProgram, NiD3DShaderConstantMapEntry* pkEntry,
                                              NiGeometry* pkGeometry, const NiSkinInstance* pkSkin,
                                              const NiPropertySet* pkState, const NiXform& kWorld,
                                              const NiBoundSphere& kBound, std::uint32_t uiPass);

    [[nodiscard]] std::uint32_t GetLastError() const { return m_uiLastError; }
    // Slots, empty ones included.
    [[nodiscard]] std::uint32_t GetEntryCount() const { return static_cast<std::uint32_t>(m_kEntries.size()); }
    [[nodiscard]] NiD3DShaderProgram* GetCurrentProgram() const { return m_pkCurrentProgram; }

    // ---- the geometry's attribute records ----
    // A record's key: the entry at this index of the pass's map (shader
    // level or pass level) in that pass.
    [[nodiscard]] static std::uint32_t MakeSCMKey(std::uint32_t uiPass, bool bShaderLevel, std::uint32_t uiIndex)
    {
        return ((uiPass & 0x7FFF) << 17) | (bShaderLevel ? 0x10000u : 0u) | (uiIndex & 0xFFFF);
    }
    [[nodiscard]] virtual std::uint32_t GetSCMSide() const = 0;
    // Attribute entries that are set (a register or a variable name).
    [[nodiscard]] std::uint32_t GetAttributeEntryCount() const;
    // Appends, on this map's side, a record for each attribute entry the
    // geometry has extra data for: the order in which the entries are read
    // at draw time (per pass the pass's map, then the shader's).
    void AppendSCMRecords(NiSCMExtraData* pkRecords, NiGeometry* pkGeometry, std::uint32_t uiPass,
                          bool bShaderLevel) const;
    // Both cursors to the pass's first record.
    static void ResetSCMCursors(NiSCMExtraData* pkRecords, std::uint32_t uiPass);

    // The text of a failure goes to the debug log.
    static void ReportFailure(const NiD3DShaderConstantMapEntry* pkEntry, std::uint32_t uiResult);

protected:
    explicit NiD3DShaderConstantMap(NiDX9Renderer* pkRenderer);

    // Hand a value to the program: values null means the entry's own data,
    // count 0 the entry's count; uiValueRegisters is how many whole
    // registers (boolean: words) the values hold.
    virtual bool SendConstant(NiD3DShaderProgram* pkProgram, NiD3DShaderConstantMapEntry* pkEntry,
                              const void* pvValues, std::uint32_t uiCount, std::uint32_t uiValueRegisters) = 0;

    // ---- value forming shared by both maps (no allocation) ----
    // The widened value of a constant entry's own data into pfOut (16
    // words); the number of registers, 0 when it forms none.
    static std::uint32_t WidenConstant(const NiD3DShaderConstantMapEntry* pkEntry, std::uint32_t* puiOut,
                                       std::uint32_t& uiWords);
    // An extra data of the class the entry's type asks for, converted into
    // puiOut (16 words); false for another class or too few values.
    static bool ConvertExtraData(const NiD3DShaderConstantMapEntry* pkEntry, const NiExtraData* pkExtra,
                                 std::uint32_t* puiOut, std::uint32_t& uiWords);

    // Time values of the geometry's "ZRB_UpdateTime" (0 t, 1 sin, 2 cos,
    // 3 tan, 4 all four); false when it has none.
    static bool FormTimeValue(const NiGeometry* pkGeometry, std::uint32_t uiWhich, float* pfOut);
    // Material values (0 diffuse, 1 ambient, 2 specular, 3 emissive, each
    // with the alpha; 4 the shininess); false without a material.
    static bool FormMaterialValue(const NiPropertySet* pkState, std::uint32_t uiWhich, float* pfOut);

    // Operand slots of operator entries.
    struct Operand
    {
        std::uint32_t m_uiType = 0;
        float m_afVector[4] = {0, 0, 0, 0};
        float m_afMatrix[16] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    };
    // A defined operand's value into its slot (and its type; none when it
    // yields nothing).
    virtual void FillDefinedOperand(NiD3DShaderConstantMapEntry* pkEntry, NiGeometry* pkGeometry,
                                    const NiSkinInstance* pkSkin, const NiPropertySet* pkState,
                                    Operand& kSlot) = 0;
    void FillOperand(NiD3DShaderConstantMapEntry* pkEntry, NiGeometry* pkGeometry, const NiSkinInstance* pkSkin,
                     const NiPropertySet* pkState, Operand& kSlot);

    std::vector<NiD3DShaderConstantMapEntryPtr> m_kEntries;
    NiD3DShaderProgram* m_pkCurrentProgram = nullptr;
    std::uint32_t m_uiLastError = SCM_OK;
    std::uint32_t m_uiCurrentIndex = 0; // the entry being set
    gfx::IDirect3DDevice9* m_pkD3DDevice = nullptr; // one reference
    NiDX9Renderer* m_pkRenderer = nullptr;
    NiDX9RenderState* m_pkRenderState = nullptr;

private:
    std::uint32_t AddNewEntry(NiD3DShaderConstantMapEntry* pkEntry);
};

using NiD3DShaderConstantMapPtr = NiRefPtr<NiD3DShaderConstantMap>;
