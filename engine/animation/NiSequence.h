#pragma once

#include "engine/animation/NiTextKeyExtraData.h"
#include "engine/animation/NiTimeController.h"
#include "engine/core/NiObject.h"

#include <cstdint>
#include <memory>
#include <vector>

class NiObjectStream;

// The old form of an animation sequence: a name, text keys and pairs of
// object name and controller. Files before 4.1.0.3 hold it as a stream
// helper object, which CreateFromStream converts.
class NiSequence : public NiObject
{
    NiDeclareTypeInfo()
    NiDeclareClone(NiSequence)

public:
    static constexpr std::uint32_t DEFAULT_SIZE = 12;

    NiSequence() : NiSequence(nullptr, DEFAULT_SIZE, DEFAULT_SIZE) {}
    NiSequence(const char* pcName, std::uint32_t uiInitialSize, std::uint32_t uiGrowBy);
    ~NiSequence() override = default;

    [[nodiscard]] static NiObject* CreateObject() { return new NiSequence; }

    // Top-level object uiIndex of a loaded stream (or of the file) as a
    // sequence, renamed when a name is given; null when it is none.
    [[nodiscard]] static NiRefPtr<NiSequence> CreateFromStream(NiObjectStream& kStream, std::uint32_t uiIndex,
                                                              const char* pcName = nullptr);
    [[nodiscard]] static NiRefPtr<NiSequence> CreateFromFile(const char* pcPath, std::uint32_t uiIndex,
                                                            const char* pcName = nullptr);

    void SetName(const char* pcName);
    [[nodiscard]] const char* GetName() const { return m_spName.get(); }
    std::uint32_t AddNameAndController(const char* pcName, NiTimeController* pkController);
    [[nodiscard]] std::uint32_t GetCount() const { return static_cast<std::uint32_t>(m_kControllers.size()); }
    [[nodiscard]] const char* GetNameAt(std::uint32_t uiIndex) const;
    [[nodiscard]] NiTimeController* GetControllerAt(std::uint32_t uiIndex) const;
    [[nodiscard]] NiTextKeyExtraData* GetTextKeys() const { return m_spTextKeys; }
    void SetTextKeys(NiTextKeyExtraData* pkKeys) { m_spTextKeys = pkKeys; }
    [[nodiscard]] std::uint32_t GetStoredValue() const { return m_uiStoredValue; }

    // Name, a stored u32, the text keys' link, then a count of name and
    // controller-link pairs.
    void ReadFromStream(NiObjectStream& kStream) override;
    void ResolveLinks(NiObjectStream& kStream) override;
    bool RegisterForSave(NiObjectStream& kStream) override;
    void WriteToStream(NiObjectStream& kStream) override;
    bool IsEqual(NiObject* pkOther) override;
    void DropCountedLinks() override;

private:
    std::unique_ptr<char[]> m_spName;
    std::vector<std::unique_ptr<char[]>> m_kNames;
    std::vector<NiTimeControllerPtr> m_kControllers;
    NiTextKeyExtraDataPtr m_spTextKeys;
    std::uint32_t m_uiStoredValue = 0;
    std::uint32_t m_uiGrowBy = DEFAULT_SIZE;
};

using NiSequencePtr = NiRefPtr<NiSequence>;
