#pragma once

#include "engine/core/NiRefObject.h"
#include "engine/core/NiRefPtr.h"

#include <cstdint>

class NiGeometry;
class NiRenderer;
class NiShader;
class NiShaderLibraryBase;

// The registry through which the engine finds shaders: geometry names its
// shader by name and implementation, the current factory turns that into a
// live shader, asking its libraries when it has none cached. The static
// entry points are what the engine core and the start-up call; each is a
// failure when no factory exists.
class NiShaderFactory : public NiRefObject
{
public:
    // Makes the named library for the renderer over the directories.
    using ClassCreateCallback = bool (*)(const char* pcLibrary, NiRenderer* pkRenderer, std::uint32_t uiDirectoryCount,
                                         const char* const* ppcDirectories, bool bRecurse,
                                         NiShaderLibraryBase** ppkLibrary);
    // Runs the named parser over a directory; the number of shaders parsed.
    using RunParserCallback = std::uint32_t (*)(const char* pcLibrary, NiRenderer* pkRenderer,
                                                const char* pcDirectory, bool bRecurse);
    // Shown an error; its result is ReportError's.
    using ErrorCallback = int (*)(const char* pcText, std::uint32_t uiCode, bool bRecoverable);

    // Codes of ReportError.
    static constexpr std::uint32_t ERROR_GENERAL = 1;
    static constexpr std::uint32_t ERROR_SHADER_NOT_FOUND = 0x100;

    NiShaderFactory() = default;
    // Empties the current factory's shaders and libraries.
    ~NiShaderFactory() override;

    virtual bool AttachShader(NiGeometry* pkGeometry, NiShader* pkShader);
    virtual bool AttachShaderByName(NiGeometry* pkGeometry, const char* pcName, std::uint32_t uiImplementation);
    virtual bool DetachGeometry(NiGeometry* pkGeometry);
    virtual NiShader* RetrieveShader(const char* pcName, std::uint32_t uiImplementation, bool bReportErrors);
    virtual void InsertShader(NiShader* pkShader, std::uint32_t uiImplementation);
    virtual NiShader* FindShader(const char* pcName, std::uint32_t uiImplementation);
    virtual void RemoveShader(const char* pcName, std::uint32_t uiImplementation);
    virtual void RemoveAllShaders();
    virtual void InsertLibrary(NiShaderLibraryBase* pkLibrary);
    virtual NiShaderLibraryBase* FindLibrary(const char* pcName);
    virtual void RemoveLibrary(const char* pcName);
    virtual void RemoveAllLibraries();
    virtual NiShaderLibraryBase* GetFirstLibrary();
    virtual NiShaderLibraryBase* GetNextLibrary();
    [[nodiscard]] virtual std::uint32_t GetMinorPixelShaderVersion(std::uint32_t uiVersion) = 0;
    [[nodiscard]] virtual std::uint32_t GetMajorPixelShaderVersion(std::uint32_t uiVersion) = 0;
    [[nodiscard]] virtual std::uint32_t CreatePixelShaderVersion(std::uint32_t uiMajor, std::uint32_t uiMinor) = 0;
    [[nodiscard]] virtual std::uint32_t GetMinorVertexShaderVersion(std::uint32_t uiVersion) = 0;
    [[nodiscard]] virtual std::uint32_t GetMajorVertexShaderVersion(std::uint32_t uiVersion) = 0;
    [[nodiscard]] virtual std::uint32_t CreateVertexShaderVersion(std::uint32_t uiMajor, std::uint32_t uiMinor) = 0;
    [[nodiscard]] virtual const char* GetPlatformName() = 0;
    virtual const char* GetFirstProgramDirectory(std::uint32_t& uiPos) = 0;
    virtual const char* GetNextProgramDirectory(std::uint32_t& uiPos) = 0;
    virtual void AddProgramDirectory(const char* pcDirectory) = 0;
    virtual void RemoveProgramDirectory(const char* pcDirectory) = 0;
    virtual void RemoveAllProgramDirectories() = 0;

    // ---- entry points ----
    [[nodiscard]] static NiShaderFactory* GetInstance() { return ms_pkFactory; }
    // Makes the factory current (null: none). The caller keeps it.
    static void SetInstance(NiShaderFactory* pkFactory) { ms_pkFactory = pkFactory; }
    // False without a factory.
    static bool SetClassCreateCallback(ClassCreateCallback pfnCallback);
    static bool SetRunParserCallback(RunParserCallback pfnCallback);
    static bool SetErrorCallback(ErrorCallback pfnCallback);
    [[nodiscard]] static ClassCreateCallback GetClassCreateCallback();
    [[nodiscard]] static RunParserCallback GetRunParserCallback();
    // The callback's result; the library it made is registered.
    static bool LoadAndRegisterShaderLibrary(const char* pcLibrary, std::uint32_t uiDirectoryCount,
                                             const char* const* ppcDirectories, bool bRecurse);
    // The number of shaders parsed; 0 without a factory or callback.
    static std::uint32_t RunParser(const char* pcLibrary, const char* pcDirectory, bool bRecurse);
    // The error callback's result for the formatted text, else 0.
    static int ReportError(std::uint32_t uiCode, bool bRecoverable, const char* pcFormat, ...)
        __attribute__((format(printf, 3, 4)));
    static bool AttachShaderByNameToGeometry(NiGeometry* pkGeometry, const char* pcName,
                                             std::uint32_t uiImplementation);
    static bool ReleaseGeometry(NiGeometry* pkGeometry);

protected:
    ClassCreateCallback m_pfnClassCreate = nullptr;
    RunParserCallback m_pfnRunParser = nullptr;
    ErrorCallback m_pfnError = nullptr;

    static NiShaderFactory* ms_pkFactory;
};

using NiShaderFactoryPtr = NiRefPtr<NiShaderFactory>;
