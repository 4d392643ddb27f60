#include "engine/shaders/framework/NiD3DShaderProgramFactory.h"

#include "engine/core/NiFile.h"
#include "engine/shaders/framework/NiD3DShaderProgram.h"
#include "engine/shaders/framework/NiD3DShaderProgramCreator.h"
#include "engine/shaders/framework/NiD3DUtility.h"
#include "engine/shaders/framework/NiShaderFactory.h"

#include <algorithm>
#include <cctype>
#include <iterator>
#include <vector>

NiD3DShaderProgramFactory* NiD3DShaderProgramFactory::ms_pkFactory = nullptr;
NiStringHashMap<NiD3DShaderProgramCreator>* NiD3DShaderProgramFactory::ms_pkCreators = nullptr;

namespace
{
std::string Normalised(const char* pcDirectory)
{
    std::string kDirectory(pcDirectory);
    std::replace(kDirectory.begin(), kDirectory.end(), '/', '\\');
    return kDirectory;
}

bool EqualIgnoringCase(const std::string& kA, const std::string& kB)
{
    return kA.size() == kB.size() && std::equal(kA.begin(), kA.end(), kB.begin(), [](char a, char b) {
               return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
           });
}

std::string Lower(std::string kText)
{
    for (char& c : kText)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return kText;
}

// The program's table name: its own name, else the file's.
const char* TableName(const char* pcFileName, const char* pcShaderName)
{
    return pcShaderName && pcShaderName[0] ? pcShaderName : pcFileName;
}
} // namespace

NiD3DShaderProgramFactory* NiD3DShaderProgramFactory::Create()
{
    if (ms_pkFactory == nullptr)
    {
        ms_pkFactory = new NiD3DShaderProgramFactory;
        ms_pkFactory->IncRefCount();
    }
    return ms_pkFactory;
}

void NiD3DShaderProgramFactory::Destroy()
{
    if (ms_pkFactory)
        ms_pkFactory->DecRefCount();
}

NiD3DShaderProgramFactory::~NiD3DShaderProgramFactory()
{
    // The global goes first, so the programs' destructors find no factory
    // to take them out of tables that are being emptied.
    if (ms_pkFactory == this)
        ms_pkFactory = nullptr;
    m_kVertexShaders.RemoveAll();
    m_kPixelShaders.RemoveAll();
    RemoveAllProgramDirectories();
}

void NiD3DShaderProgramFactory::AddProgramDirectory(const char* pcDirectory)
{
    if (pcDirectory == nullptr || pcDirectory[0] == '\0')
        return;
    std::string kDirectory = Normalised(pcDirectory);
    for (const std::string& kKnown : m_kDirectories)
        if (EqualIgnoringCase(kKnown, kDirectory))
            return;
    m_kDirectories.push_front(std::move(kDirectory));
}

void NiD3DShaderProgramFactory::RemoveProgramDirectory(const char* pcDirectory)
{
    if (pcDirectory == nullptr)
        return;
    const std::string kDirectory = Normalised(pcDirectory);
    for (auto it = m_kDirectories.begin(); it != m_kDirectories.end(); ++it)
    {
        if (EqualIgnoringCase(*it, kDirectory))
        {
            m_kDirectories.erase(it);
            return;
        }
    }
}

void NiD3DShaderProgramFactory::RemoveAllProgramDirectories() { m_kDirectories.clear(); }

const char* NiD3DShaderProgramFactory::GetFirstProgramDirectory(std::uint32_t& uiPos) const
{
    uiPos = 0;
    return GetNextProgramDirectory(uiPos);
}

const char* NiD3DShaderProgramFactory::GetNextProgramDirectory(std::uint32_t& uiPos) const
{
    if (uiPos >= m_kDirectories.size())
        return nullptr;
    return std::next(m_kDirectories.begin(), uiPos++)->c_str();
}

bool NiD3DShaderProgramFactory::RegisterCreator(const char* pcExtension, NiD3DShaderProgramCreator* pkCreator)
{
    if (pcExtension == nullptr || std::string(pcExtension).find('.') != std::string::npos)
        return false;
    CreateCreatorRegistry();
    const std::string kKey = Lower(pcExtension);
    ms_pkCreators->SetAt(kKey.c_str(), pkCreator);
    return true;
}

void NiD3DShaderProgramFactory::UnregisterCreator(NiD3DShaderProgramCreator* pkCreator)
{
    if (ms_pkCreators == nullptr)
        return;
    std::vector<std::string> kKeys;
    NiHashMapPos kPos = ms_pkCreators->GetFirstPos();
    while (kPos)
    {
        const char* pcKey = nullptr;
        NiD3DShaderProgramCreator* pkValue = nullptr;
        ms_pkCreators->GetNext(kPos, pcKey, pkValue);
        if (pkValue == pkCreator)
            kKeys.emplace_back(pcKey);
    }
    for (const std::string& kKey : kKeys)
        ms_pkCreators->RemoveAt(kKey.c_str());
}

void NiD3DShaderProgramFactory::CreateCreatorRegistry()
{
    if (ms_pkCreators == nullptr)
        ms_pkCreators = new NiStringHashMap<NiD3DShaderProgramCreator>(CREATOR_BUCKETS, true);
}

void NiD3DShaderProgramFactory::DestroyCreatorRegistry()
{
    delete ms_pkCreators;
    ms_pkCreators = nullptr;
}

NiD3DShaderProgramCreator* NiD3DShaderProgramFactory::GetCreator(const char* pcFileName)
{
    if (ms_pkCreators == nullptr || pcFileName == nullptr || pcFileName[0] == '\0')
        return nullptr;
    const std::string kName(pcFileName);
    const std::size_t uiDot = kName.rfind('.');
    const std::string kKey = Lower(uiDot == std::string::npos ? kName : kName.substr(uiDot + 1));
    NiD3DShaderProgramCreator* pkCreator = nullptr;
    return ms_pkCreators->GetAt(kKey.c_str(), pkCreator) ? pkCreator : nullptr;
}

bool NiD3DShaderProgramFactory::FindProgramFile(const char* pcFileName, std::string& kPath)
{
    if (pcFileName == nullptr)
        return false;
    if (NiFileAccessible(pcFileName, 0))
    {
        kPath = pcFileName;
        return true;
    }
    if (ms_pkFactory == nullptr)
    {
        NiShaderFactory::ReportError(NiShaderFactory::ERROR_GENERAL, false, "No valid shader program factory\n");
        return false;
    }
    std::string kDrive, kDirectory, kName, kExtension;
    NiD3DUtility::_splitpath(pcFileName, kDrive, kDirectory, kName, kExtension);
    for (const std::string& kSearched : ms_pkFactory->m_kDirectories)
    {
        if (kSearched.empty())
        {
            NiShaderFactory::ReportError(NiShaderFactory::ERROR_GENERAL, false,
                                         "Invalid or no shader program directory\n");
            continue;
        }
        const char cLast = kSearched.back();
        const std::string kCandidate =
            kSearched + (cLast == '/' || cLast == '\\' ? "" : "\\") + kName + kExtension;
        if (NiFileAccessible(kCandidate.c_str(), 0))
        {
            kPath = kCandidate;
            return true;
        }
        NiShaderFactory::ReportError(NiShaderFactory::ERROR_GENERAL, true,
                                     "Shader program file not found %s in directory %s\n", pcFileName,
                                     kSearched.c_str());
    }
    return false;
}

NiD3DVertexShader* NiD3DShaderProgramFactory::CreateVertexShaderFromFile(
    const char* pcFileName, const char* pcShaderName, const char* pcEntryPoint, const char* pcShaderTarget,
    gfx::IDirect3DVertexDeclaration9* pkDecl, std::uint32_t uiUsage, bool bSoftwareVP)
{
    if (pcFileName == nullptr || pcFileName[0] == '\0')
        return nullptr;
    if (NiD3DVertexShader* pkKnown = GetVertexShader(TableName(pcFileName, pcShaderName)))
        return pkKnown;
    NiD3DShaderProgramCreator* pkCreator = GetCreator(pcFileName);
    if (pkCreator == nullptr)
        return nullptr;
    NiD3DVertexShader* pkShader = pkCreator->CreateVertexShaderFromFile(pcFileName, pcShaderName, pcEntryPoint,
                                                                        pcShaderTarget, pkDecl, uiUsage, bSoftwareVP);
    if (pkShader)
    {
        if (pkShader->GetName() == nullptr)
            pkShader->SetName(pcFileName);
        m_kVertexShaders.SetAt(pkShader->GetName(), pkShader);
    }
    return pkShader;
}

NiD3DPixelShader* NiD3DShaderProgramFactory::CreatePixelShaderFromFile(const char* pcFileName,
                                                                       const char* pcShaderName,
                                                                       const char* pcEntryPoint,
                                                                       const char* pcShaderTarget)
{
    if (pcFileName == nullptr || pcFileName[0] == '\0')
        return nullptr;
    if (NiD3DPixelShader* pkKnown = GetPixelShader(TableName(pcFileName, pcShaderName)))
        return pkKnown;
    NiD3DShaderProgramCreator* pkCreator = GetCreator(pcFileName);
    if (pkCreator == nullptr)
        return nullptr;
    NiD3DPixelShader* pkShader =
        pkCreator->CreatePixelShaderFromFile(pcFileName, pcShaderName, pcEntryPoint, pcShaderTarget);
    if (pkShader)
    {
        if (pkShader->GetName() == nullptr)
            pkShader->SetName(pcFileName);
        m_kPixelShaders.SetAt(pkShader->GetName(), pkShader);
    }
    return pkShader;
}

NiD3DVertexShader* NiD3DShaderProgramFactory::GetVertexShader(const char* pcName) const
{
    NiD3DVertexShader* pkShader = nullptr;
    return pcName && m_kVertexShaders.GetAt(pcName, pkShader) ? pkShader : nullptr;
}

NiD3DPixelShader* NiD3DShaderProgramFactory::GetPixelShader(const char* pcName) const
{
    NiD3DPixelShader* pkShader = nullptr;
    return pcName && m_kPixelShaders.GetAt(pcName, pkShader) ? pkShader : nullptr;
}

void NiD3DShaderProgramFactory::RemoveVertexShader(NiD3DVertexShader* pkShader)
{
    if (pkShader && pkShader->GetName() && GetVertexShader(pkShader->GetName()) == pkShader)
        m_kVertexShaders.RemoveAt(pkShader->GetName());
}

void NiD3DShaderProgramFactory::RemovePixelShader(NiD3DPixelShader* pkShader)
{
    if (pkShader && pkShader->GetName() && GetPixelShader(pkShader->GetName()) == pkShader)
        m_kPixelShaders.RemoveAt(pkShader->GetName());
}

bool NiD3DShaderProgramFactory::RecreateVertexShader(NiD3DVertexShader* pkShader)
{
    if (pkShader == nullptr)
        return false;
    if (pkShader->GetVertexShader())
        return true;
    return pkShader->GetCreator() && pkShader->GetCreator()->RecreateVertexShader(pkShader);
}

bool NiD3DShaderProgramFactory::RecreatePixelShader(NiD3DPixelShader* pkShader)
{
    if (pkShader == nullptr)
        return false;
    if (pkShader->GetPixelShader())
        return true;
    return pkShader->GetCreator() && pkShader->GetCreator()->RecreatePixelShader(pkShader);
}
