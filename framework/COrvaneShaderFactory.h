#pragma once

#include <cstdint>

// The shader system as the start-up sees it: program folders, the shader
// description parsers and the shader libraries. Until a shader system is
// installed there is none, and the start-up goes on without shaders.
class COrvaneShaderFactory
{
public:
    virtual ~COrvaneShaderFactory() = default;

    virtual void AddProgramDirectory(const char* pcDirectory) = 0;
    // The number of shaders the named parser library parsed.
    virtual std::uint32_t RunParser(const char* pcLibrary, const char* pcDirectory, bool bRecurse) = 0;
    // False when the library cannot be made or registered.
    virtual bool LoadAndRegisterShaderLibrary(const char* pcLibrary, std::uint32_t uiDirectoryCount,
                                              const char* const* ppcDirectories, bool bRecurse) = 0;

    // Null when no shader system is installed.
    [[nodiscard]] static COrvaneShaderFactory* Get();
    // The caller keeps ownership; null removes it.
    static void Set(COrvaneShaderFactory* pkFactory);
};
