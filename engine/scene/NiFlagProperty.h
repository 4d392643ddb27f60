#pragma once

#include "engine/scene/NiProperty.h"

#include <cstdint>

// The properties whose whole state is one switch in bit 0 of a flags word
// share one record, one equality test and one copy.
class NiFlagProperty : public NiProperty
{
public:
    [[nodiscard]] std::uint16_t GetFlags() const { return m_uFlags; }
    void SetFlags(std::uint16_t u) { m_uFlags = u; }
    [[nodiscard]] bool GetSwitch() const { return (m_uFlags & 1) != 0; }
    void SetSwitch(bool b) { m_uFlags = static_cast<std::uint16_t>((m_uFlags & ~1u) | (b ? 1u : 0u)); }

    void ReadFromStream(NiObjectStream& kStream) override;
    void WriteToStream(NiObjectStream& kStream) override;
    bool IsEqual(NiObject* pkOther) override;

protected:
    explicit NiFlagProperty(std::uint16_t uFlags) : m_uFlags(uFlags) {}
    void CopyMembers(NiFlagProperty* pkDest, NiCloneContext& kCloning);
    // The class header and the switch under its own name.
    void AppendFlagStrings(NiViewerStringArray& kStrings, const char* pcClass, const char* pcName);

    std::uint16_t m_uFlags;
};

class NiDitherProperty : public NiFlagProperty
{
    NiDeclareTypeInfo()
    NiDeclareClone(NiDitherProperty)

public:
    NiDitherProperty() : NiFlagProperty(0) {}
    static NiObject* CreateObject() { return new NiDitherProperty; }
    [[nodiscard]] int GetType() const override { return DITHER; }
    [[nodiscard]] bool GetDithering() const { return GetSwitch(); }
    void SetDithering(bool b) { SetSwitch(b); }
    void AppendViewerStrings(NiViewerStringArray& kStrings) override;
};

class NiShadeProperty : public NiFlagProperty
{
    NiDeclareTypeInfo()
    NiDeclareClone(NiShadeProperty)

public:
    NiShadeProperty() : NiFlagProperty(1) {}
    static NiObject* CreateObject() { return new NiShadeProperty; }
    [[nodiscard]] int GetType() const override { return SHADE; }
    [[nodiscard]] bool GetSmooth() const { return GetSwitch(); }
    void SetSmooth(bool b) { SetSwitch(b); }
    void AppendViewerStrings(NiViewerStringArray& kStrings) override;
};

class NiSpecularProperty : public NiFlagProperty
{
    NiDeclareTypeInfo()
    NiDeclareClone(NiSpecularProperty)

public:
    NiSpecularProperty() : NiFlagProperty(0) {}
    static NiObject* CreateObject() { return new NiSpecularProperty; }
    [[nodiscard]] int GetType() const override { return SPECULAR; }
    [[nodiscard]] bool GetSpecular() const { return GetSwitch(); }
    void SetSpecular(bool b) { SetSwitch(b); }
    void AppendViewerStrings(NiViewerStringArray& kStrings) override;
};

class NiWireframeProperty : public NiFlagProperty
{
    NiDeclareTypeInfo()
    NiDeclareClone(NiWireframeProperty)

public:
    NiWireframeProperty() : NiFlagProperty(0) {}
    static NiObject* CreateObject() { return new NiWireframeProperty; }
    [[nodiscard]] int GetType() const override { return WIREFRAME; }
    [[nodiscard]] bool GetWireframe() const { return GetSwitch(); }
    void SetWireframe(bool b) { SetSwitch(b); }
    void AppendViewerStrings(NiViewerStringArray& kStrings) override;
};
