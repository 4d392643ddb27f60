#include "engine/shaders/nsf/NSFParserLib.h"

#include "engine/shaders/framework/NiShaderFactory.h"
#include "engine/shaders/nsb/NSBShader.h"
#include "engine/shaders/nsf/NSFGrammarActions.h"
#include "engine/shaders/nsf/NSFScanner.h"
#include "engine/shaders/nsf/NSFScannerState.h"
#include "engine/shaders/nsf/NSFSourceFile.h"
#include "platform/os/OsFiles.h"

#include <cstdio>
#include <memory>

NSFParserLib* NSFParserLib::ms_pkInstance = nullptr;

namespace
{
std::string s_kLastMessage;
constexpr std::uint32_t ATTRIB_SUBDIR = 0x10;
} // namespace

NSFParserLib* NSFParserLib::Create()
{
    if (ms_pkInstance == nullptr)
        ms_pkInstance = new NSFParserLib;
    return ms_pkInstance;
}

void NSFParserLib::Destroy()
{
    delete ms_pkInstance;
    ms_pkInstance = nullptr;
}

int NSFParserLib::ParseDirectory(const char* pcDirectory, bool bRecurse)
{
    CollectFiles(pcDirectory, ".NSF", bRecurse, m_kFiles);
    return ParseAndStoreFiles();
}

int NSFParserLib::CollectFiles(const char* pcDirectory, const char* pcExtension, bool bRecurse,
                               std::vector<std::string>& kFiles)
{
    if (pcDirectory == nullptr || *pcDirectory == '\0' || pcExtension == nullptr || *pcExtension == '\0')
        return 0;
    std::string kDirectory = pcDirectory;
    if (kDirectory.back() != '\\' && kDirectory.back() != '/')
        kDirectory += '\\';
    os::FindData kFound;
    const os::FindHandle hSearch = os::FindFirst(kDirectory + "*", kFound);
    if (hSearch == -1)
        return 0;
    int iCount = 0;
    do
    {
        const std::string kPath = kDirectory + kFound.name;
        if ((kFound.attributes & ATTRIB_SUBDIR) != 0)
        {
            if (kFound.name == "." || kFound.name == ".." || !bRecurse)
                continue;
            iCount += CollectFiles((kPath + "\\").c_str(), pcExtension, bRecurse, kFiles);
        }
        else if (os::EqualsIgnoreCase(os::SplitPath(kPath).extension, pcExtension))
        {
            kFiles.push_back(kPath);
            ++iCount;
        }
    } while (os::FindNext(hSearch, kFound) == 0);
    os::FindClose(hSearch);
    return iCount;
}

int NSFParserLib::ParseAndStoreFiles()
{
    ResetScanner();
    int iStored = 0;
    for (const std::string& kPath : m_kFiles)
    {
        if (ParseNSFFile(kPath.c_str()) != 0)
        {
            NSFGrammarActions::GetParsedShaders().clear();
            continue;
        }
        const os::PathParts kParts = os::SplitPath(kPath);
        const std::string kDirectory = kParts.drive + kParts.folder;
        for (NiRefPtr<NSBShader>& spShader : NSFGrammarActions::GetParsedShaders())
        {
            const char* pcName = spShader->GetName();
            const std::string kFile = kDirectory + (pcName != nullptr ? pcName : "") + ".NSB";
            if (spShader->SaveToFile(kFile.c_str()))
                ++iStored;
        }
        NSFGrammarActions::GetParsedShaders().clear();
    }
    ReleaseScannerBuffer();
    return iStored;
}

int ParseNSFFile(const char* pcPath)
{
    ResetLineNumber();
    s_kLastMessage.clear();
    if (pcPath == nullptr)
    {
        s_kLastMessage = "err: need input file\n";
        return -1;
    }
    // Each file starts from nothing: no scanner state, no context and no
    // shaders of an earlier file.
    NSFGrammarActions::Reset();
    auto spSource = std::make_unique<NSFSourceFile>();
    if (spSource->Load(pcPath) != 0)
    {
        s_kLastMessage = "err: file not found!\n";
        return -1;
    }
    ResetScanner();
    NSFScannerState::ClearFailure();
    NSFSourceFile::SetCurrent(spSource.get());
    NSFScannerState::SetErrorCount(-1);
    NSFGrammarActions::RunParser();
    int iErrors = 0;
    if (NSFScannerState::GetErrorCount() != -1)
    {
        iErrors = NSFScannerState::GetErrorCount() + 1;
        NSFScannerState::SetErrorCount(iErrors);
        char acMessage[64];
        std::snprintf(acMessage, sizeof(acMessage), "*FAILURE! %d errors found.\n", iErrors);
        std::fputs(acMessage, stdout);
        std::fflush(stdout);
        s_kLastMessage = acMessage;
        NiShaderFactory::ReportError(NiShaderFactory::ERROR_GENERAL, true,
                                     "* PARSE ERROR: %s\n    FAILED - %d errors found\n", pcPath, iErrors);
    }
    // An abandoned parse may leave bytes of this file in the scanner.
    ResetScanner();
    NSFSourceFile::SetCurrent(nullptr);
    return iErrors;
}

int RunNSFParserEntry(const char* pcDirectory, bool bRecurse)
{
    NSFParserLib* pkLib = NSFParserLib::Create();
    if (pkLib == nullptr)
        return 0;
    const int iCount = pkLib->ParseDirectory(pcDirectory, bRecurse);
    NSFParserLib::Destroy();
    return iCount;
}

const char* GetNSFLastMessage()
{
    return s_kLastMessage.c_str();
}
