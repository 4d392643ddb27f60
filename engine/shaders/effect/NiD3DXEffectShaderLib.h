#pragma once

#include "engine/shaders/framework/NiD3DShaderLibrary.h"

#include <cstdint>
#include <list>
#include <map>
#include <string>
#include <vector>

class NiD3DXEffectFile;
class NiRenderer;

// The library of effect files: every ".fx" file under its directories,
// compiled, its techniques registered by name.
class NiD3DXEffectShaderLib : public NiD3DShaderLibrary
{
public:
    // Null for a null renderer or when no directory gave a file.
    [[nodiscard]] static NiD3DXEffectShaderLib* Create(NiRenderer* pkRenderer, std::uint32_t uiDirectoryCount,
                                                       const char* const* ppcDirectories, bool bRecurse);
    ~NiD3DXEffectShaderLib() override;

    // The effect shader of the technique of that name (which must also
    // name a technique set of its file), compiled on the renderer's device.
    NiShader* GetShader(NiRenderer* pkRenderer, const char* pcName, std::uint32_t uiImplementation) override;
    void SetRenderer(NiDX9Renderer* pkRenderer) override;

    // False for null or a file already held; registers the file's sets in
    // the description and its techniques by name (a later file wins).
    bool AddEffectFile(NiD3DXEffectFile* pkFile);
    [[nodiscard]] NiD3DXEffectFile* GetFileOfTechnique(const char* pcTechnique) const;
    [[nodiscard]] std::uint32_t GetFileCount() const { return static_cast<std::uint32_t>(m_kFiles.size()); }
    [[nodiscard]] NiD3DXEffectFile* GetFileAt(std::uint32_t ui) const { return ui < m_kFiles.size() ? m_kFiles[ui] : nullptr; }

    // ".fx" files (any case, nothing else) of a directory into the
    // process-wide list; the number added.
    static std::uint32_t FindEffectFiles(const char* pcDirectory, bool bRecurse);
    [[nodiscard]] static const std::list<std::string>* GetEffectFileList() { return ms_pkFileList; }
    // Shut-down: the list goes.
    static void ReleaseEffectFileList();

private:
    NiD3DXEffectShaderLib();
    void LoadFileList();
    static void LetDeviceGoWhenUnused();

    std::vector<NiD3DXEffectFile*> m_kFiles; // owned
    std::map<std::string, NiD3DXEffectFile*> m_kTechniques;
    static std::list<std::string>* ms_pkFileList;
};
