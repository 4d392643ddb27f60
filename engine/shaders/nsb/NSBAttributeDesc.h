#pragma once

#include "engine/shaders/nsb/NiShaderDescBase.h"

#include <cstdint>
#include <string>

// One typed, named value a shader publishes: its type, its default value,
// an optional range and whether artists see it.
class NSBAttributeDesc : public NiShaderDescBase
{
public:
    // Value types (shared with constant entries and global data).
    enum AttribType : std::uint32_t
    {
        ATTRIB_TYPE_UNDEFINED = 0,
        ATTRIB_TYPE_BOOL = 1,
        ATTRIB_TYPE_STRING = 2,
        ATTRIB_TYPE_UNSIGNEDINT = 3,
        ATTRIB_TYPE_FLOAT = 4,
        ATTRIB_TYPE_POINT2 = 5,
        ATTRIB_TYPE_POINT3 = 6,
        ATTRIB_TYPE_POINT4 = 7,
        ATTRIB_TYPE_MATRIX3 = 8,
        ATTRIB_TYPE_MATRIX4 = 9,
        ATTRIB_TYPE_COLOR = 10,
        ATTRIB_TYPE_TEXTURE = 11,
        ATTRIB_TYPE_COUNT = 12,
    };
    static constexpr std::uint32_t FLAG_RANGED = 0x1;
    static constexpr std::uint32_t FLAG_HIDDEN = 0x2;

    NSBAttributeDesc() = default;
    ~NSBAttributeDesc() override = default;

    [[nodiscard]] std::uint32_t GetType() const { return m_uiType; }
    void SetType(std::uint32_t uiType) { m_uiType = uiType; }
    [[nodiscard]] std::uint32_t GetFlags() const { return m_uiFlags; }
    [[nodiscard]] bool IsRanged() const { return (m_uiFlags & FLAG_RANGED) != 0; }
    [[nodiscard]] bool IsHidden() const { return (m_uiFlags & FLAG_HIDDEN) != 0; }
    void SetRanged(bool bOn) { SetFlag(FLAG_RANGED, bOn); }
    void SetHidden(bool bOn) { SetFlag(FLAG_HIDDEN, bOn); }

    // Setters give the type and the value.
    void SetValue_Bool(bool bValue);
    void SetValue_String(const char* pcValue);
    void SetValue_UnsignedInt(std::uint32_t uiValue);
    void SetValue_Float(float fValue);
    void SetValue_Point2(const float* pfValue);
    void SetValue_Point3(const float* pfValue);
    void SetValue_Point4(const float* pfValue);
    void SetValue_Matrix3(const float* pfValue); // nine, row by row
    void SetValue_Matrix4(const float* pfValue); // sixteen
    void SetValue_Color(const float* pfRGB);     // alpha 1.0
    void SetValue_ColorA(const float* pfRGBA);
    void SetValue_Texture(std::uint32_t uiSlot, const char* pcName);

    // False, the output untouched, unless the descriptor has that type.
    bool GetValue_Bool(bool& bValue) const;
    bool GetValue_String(const char*& pcValue) const; // null for an unset string
    bool GetValue_UnsignedInt(std::uint32_t& uiValue) const;
    bool GetValue_Float(float& fValue) const;
    bool GetValue_Point2(float* pfValue) const;
    bool GetValue_Point3(float* pfValue) const;
    bool GetValue_Point4(float* pfValue) const;
    bool GetValue_Matrix3(float* pfValue) const;
    bool GetValue_Matrix4(float* pfValue) const;
    bool GetValue_Color(float* pfRGBA) const;
    bool GetValue_Texture(std::uint32_t& uiSlot, const char*& pcName) const;

    // Range setters and getters: false unless the type matches; the
    // ranged flag stays as it is. Unsigned ranges serve strings and uints.
    bool SetRange_UnsignedInt(std::uint32_t uiMin, std::uint32_t uiMax);
    bool SetRange_Float(float fMin, float fMax);
    bool SetRange_Point2(const float* pfMin, const float* pfMax);
    bool SetRange_Point3(const float* pfMin, const float* pfMax);
    bool SetRange_Point4(const float* pfMin, const float* pfMax);
    bool SetRange_Color(const float* pfMinRGB, const float* pfMaxRGB); // alphas 1.0
    bool SetRange_ColorA(const float* pfMin, const float* pfMax);
    bool GetRange_UnsignedInt(std::uint32_t& uiMin, std::uint32_t& uiMax) const;
    bool GetRange_Float(float& fMin, float& fMax) const;
    bool GetRange_Point2(float* pfMin, float* pfMax) const;
    bool GetRange_Point3(float* pfMin, float* pfMax) const;
    bool GetRange_Point4(float* pfMin, float* pfMax) const;
    bool GetRange_Color(float* pfMin, float* pfMax) const;

    // Name, description, type and flags as stored, then value and range
    // through the setters of the source's type.
    void CopyFrom(const NSBAttributeDesc& kOther);

    // Base record, flags, type, then the value of the type (and its range
    // when ranged); nothing more for a type outside 1-11.
    bool SaveBinary(NiByteStream& kStream) override;
    bool LoadBinary(NiByteStream& kStream) override;

    // The smallest record: two empty strings, flags and type.
    static constexpr std::uint32_t MIN_RECORD_BYTES = 16;

private:
    void SetFlag(std::uint32_t uiBit, bool bOn)
    {
        if (bOn)
            m_uiFlags |= uiBit;
        else
            m_uiFlags &= ~uiBit;
    }
    void SetFloats(std::uint32_t uiType, const float* pfValue, std::uint32_t uiCount);
    bool GetFloats(std::uint32_t uiType, float* pfValue, std::uint32_t uiCount) const;
    bool SetRangeFloats(std::uint32_t uiType, const float* pfMin, const float* pfMax, std::uint32_t uiCount);
    bool GetRangeFloats(std::uint32_t uiType, float* pfMin, float* pfMax, std::uint32_t uiCount) const;
    // Words of value and range a type stores (0 for bool, string, texture).
    static std::uint32_t ValueWords(std::uint32_t uiType);
    static bool HasStoredRange(std::uint32_t uiType);

    std::uint32_t m_uiType = ATTRIB_TYPE_UNDEFINED;
    std::uint32_t m_uiFlags = 0;
    // Numbers keep their bits as stored, so a file re-saves identical.
    std::uint32_t m_auiValue[16] = {};
    std::uint32_t m_auiMin[16] = {};
    std::uint32_t m_auiMax[16] = {};
    bool m_bValue = false;
    std::string m_kString;      // string value
    std::string m_kTextureName; // texture value
};

using NSBAttributeDescPtr = NiRefPtr<NSBAttributeDesc>;
