#pragma once

#include "engine/core/NiRefObject.h"
#include "engine/core/NiRefPtr.h"

#include <string>

class NiByteStream;

// A named, described object: the base of attribute descriptors and of the
// descriptions shader libraries hand to the application.
class NiShaderDescBase : public NiRefObject
{
public:
    NiShaderDescBase() = default;
    ~NiShaderDescBase() override = default;

    // Null while unset.
    [[nodiscard]] virtual const char* GetName() const { return m_kName.empty() ? nullptr : m_kName.c_str(); }
    [[nodiscard]] virtual const char* GetDescription() const
    {
        return m_kDescription.empty() ? nullptr : m_kDescription.c_str();
    }
    // Null or "" leaves the text unset.
    virtual void SetName(const char* pcName) { m_kName = pcName ? pcName : ""; }
    virtual void SetDescription(const char* pcDescription) { m_kDescription = pcDescription ? pcDescription : ""; }

    // Name, then description; stops at the first failure.
    virtual bool SaveBinary(NiByteStream& kStream);
    virtual bool LoadBinary(NiByteStream& kStream);

protected:
    std::string m_kName;
    std::string m_kDescription;
};

using NiShaderDescBasePtr = NiRefPtr<NiShaderDescBase>;
