#pragma once

#include "engine/shaders/framework/NiD3DShaderLibrary.h"
#include "engine/shaders/nsb/NSBShader.h"

#include <cstdint>
#include <vector>

// The library of binary shaders: every ".NSB" file under its directories,
// loaded at creation and served by the shader name inside the file.
class NSBShaderLib : public NiD3DShaderLibrary
{
public:
    // Null when no directory gave a shader.
    [[nodiscard]] static NSBShaderLib* Create(std::uint32_t uiDirectoryCount, const char* const* ppcDirectories,
                                              bool bRecurse);
    ~NSBShaderLib() override;

    // The renderer shader of the named binary shader; null when no shader
    // has the name (or none can be built).
    NiShader* GetShader(NiRenderer* pkRenderer, const char* pcName, std::uint32_t uiImplementation) override;

    // A shader whose name the library holds is refused; the library's
    // description is widened with the new shader's.
    bool InsertShader(NSBShader* pkShader);
    // Exact name.
    [[nodiscard]] NSBShader* FindShader(const char* pcName) const;
    [[nodiscard]] std::uint32_t GetShaderCount() const { return static_cast<std::uint32_t>(m_kShaders.size()); }
    [[nodiscard]] NSBShader* GetShaderAt(std::uint32_t uiIndex) const
    {
        return uiIndex < m_kShaders.size() ? m_kShaders[uiIndex].Get() : nullptr;
    }

    // The module's start-up pair joins the engine's library registry on the
    // first call only.
    static void RegisterLibrary();
    [[nodiscard]] static bool IsStarted();
    // Back to a fresh process (tests).
    static void ResetRegistration();

private:
    NSBShaderLib();

    std::vector<NSBShaderPtr> m_kShaders;
};

using NSBShaderLibPtr = NiRefPtr<NSBShaderLib>;
