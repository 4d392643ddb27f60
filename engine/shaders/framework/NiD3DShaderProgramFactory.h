#pragma once
// Where shader programs are made and kept: the directories program files are
// searched in, the creator registered for each file extension, and the
// programs made so far by name.

#include "engine/core/NiHashMap.h"
#include "engine/core/NiRefObject.h"
#include "engine/shaders/framework/NiD3DShaderProgram.h"

#include <cstdint>
#include <list>
#include <string>

namespace gfx
{
class IDirect3DVertexDeclaration9;
} // namespace gfx
class NiD3DShaderProgramCreator;

class NiD3DShaderProgramFactory : public NiRefObject
{
public:
    static constexpr std::uint32_t PROGRAM_BUCKETS = 59;
    static constexpr std::uint32_t CREATOR_BUCKETS = 37;

    // Makes the one factory unless it exists; its programs and directories
    // go with it.
    static NiD3DShaderProgramFactory* Create();
    static void Destroy();
    [[nodiscard]] static NiD3DShaderProgramFactory* GetInstance() { return ms_pkFactory; }

    ~NiD3DShaderProgramFactory() override;

    // "/" becomes "\"; a directory equal to one in the list ignoring case is
    // not added twice; the last added is searched first.
    void AddProgramDirectory(const char* pcDirectory);
    void RemoveProgramDirectory(const char* pcDirectory);
    void RemoveAllProgramDirectories();
    // Position 0 is the head; null at the end.
    const char* GetFirstProgramDirectory(std::uint32_t& uiPos) const;
    const char* GetNextProgramDirectory(std::uint32_t& uiPos) const;

    // The process-wide registry from lower-case extension to creator; it
    // outlives factories.
    static bool RegisterCreator(const char* pcExtension, NiD3DShaderProgramCreator* pkCreator);
    static void UnregisterCreator(NiD3DShaderProgramCreator* pkCreator);
    static void CreateCreatorRegistry();
    static void DestroyCreatorRegistry();
    // By the text after the last dot of the name, else the whole name.
    [[nodiscard]] static NiD3DShaderProgramCreator* GetCreator(const char* pcFileName);

    // The name as given when it exists, else directory by directory.
    static bool FindProgramFile(const char* pcFileName, std::string& kPath);

    NiD3DVertexShader* CreateVertexShaderFromFile(const char* pcFileName, const char* pcShaderName,
                                                  const char* pcEntryPoint, const char* pcShaderTarget,
                                                  gfx::IDirect3DVertexDeclaration9* pkDecl, std::uint32_t uiUsage,
                                                  bool bSoftwareVP);
    NiD3DPixelShader* CreatePixelShaderFromFile(const char* pcFileName, const char* pcShaderName,
                                                const char* pcEntryPoint, const char* pcShaderTarget);
    [[nodiscard]] NiD3DVertexShader* GetVertexShader(const char* pcName) const;
    [[nodiscard]] NiD3DPixelShader* GetPixelShader(const char* pcName) const;
    // Only the program itself leaves its table, not another of its name.
    void RemoveVertexShader(NiD3DVertexShader* pkShader);
    void RemovePixelShader(NiD3DPixelShader* pkShader);
    bool RecreateVertexShader(NiD3DVertexShader* pkShader);
    bool RecreatePixelShader(NiD3DPixelShader* pkShader);
    [[nodiscard]] std::uint32_t GetVertexShaderCount() const { return m_kVertexShaders.GetCount(); }
    [[nodiscard]] std::uint32_t GetPixelShaderCount() const { return m_kPixelShaders.GetCount(); }

private:
    NiD3DShaderProgramFactory() = default;

    std::list<std::string> m_kDirectories;
    NiStringRefMap<NiD3DVertexShader> m_kVertexShaders{PROGRAM_BUCKETS, true};
    NiStringRefMap<NiD3DPixelShader> m_kPixelShaders{PROGRAM_BUCKETS, true};

    static NiD3DShaderProgramFactory* ms_pkFactory;
    static NiStringHashMap<NiD3DShaderProgramCreator>* ms_pkCreators;
};
