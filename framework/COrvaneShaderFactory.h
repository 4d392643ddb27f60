#pragma once

#include <cstdint>

class NiRenderer;
class NiShaderLibraryBase;

// The shader system as the start-up sees it: program folders, the shader
// description parsers and the shader libraries. The calls go to the engine's
// shader factory; with no engine factory there is no shader system, and the
// start-up goes on without shaders. Tests install their own.
class COrvaneShaderFactory
{
public:
    virtual ~COrvaneShaderFactory() = default;

    virtual void AddProgramDirectory(const char* pcDirectory);
    // The number of shaders the named parser library parsed.
    virtual std::uint32_t RunParser(const char* pcLibrary, const char* pcDirectory, bool bRecurse);
    // False when the library cannot be made or registered.
    virtual bool LoadAndRegisterShaderLibrary(const char* pcLibrary, std::uint32_t uiDirectoryCount,
                                              const char* const* ppcDirectories, bool bRecurse);

    // The installed one; else the one over the engine's factory, with the
    // library and parser dispatchers set; null when the engine has none.
    [[nodiscard]] static COrvaneShaderFactory* Get();
    // The caller keeps ownership; null goes back to the engine's.
    static void Set(COrvaneShaderFactory* pkFactory);

    // The dispatchers the engine's factory calls: they make the library or
    // run the parser of that name. Libraries and parsers this build does not
    // have make nothing.
    static bool CreateShaderLibraryEntry(const char* pcLibrary, NiRenderer* pkRenderer,
                                         std::uint32_t uiDirectoryCount, const char* const* ppcDirectories,
                                         bool bRecurse, NiShaderLibraryBase** ppkLibrary);
    static std::uint32_t RunNSFParserEntry(const char* pcLibrary, NiRenderer* pkRenderer,
                                           const char* pcDirectory, bool bRecurse);
};
