// Whole saved games: the input is the ".fds" file, read as the game reads
// it before it lets go of a running game (header sections, then every
// object record over the demo prison's templates). A refused file names a
// line within it; an accepted header written out reads back to the same
// bytes when written again.

#include "engine/core/NiMessageBox.h"
#include "framework/COrvaneComposite.h"
#include "framework/COrvaneFile.h"
#include "framework/COrvaneGridObject.h"
#include "framework/COrvaneTagTree.h"
#include "game/shell/CSaveFile.h"
#include "game/simulation/objects/CDynamicObjectManager.h"
#include "game/simulation/objects/CGameFactories.h"
#include "tests/fuzz/FuzzDemoData.h"
#include "tests/fuzz/FuzzSupport.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

namespace
{
void Check(bool bHolds)
{
    if (!bHolds)
        std::abort();
}

class Furniture : public COrvaneGridObject
{
public:
    std::int32_t GetEntityKind() const override { return 2; }
};

class Walker : public COrvaneGridEntity
{
public:
    std::int32_t GetEntityKind() const override { return 1; }
};

std::string Bytes(const char* pcPath)
{
    std::ifstream kIn(pcPath, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(kIn), std::istreambuf_iterator<char>());
}

bool WriteHeader(const CSaveHeader& kHeader, const char* pcPath)
{
    COrvaneFile kFile;
    return kFile.Open(pcPath, COrvaneFile::MODE_WRITE) == 1 && CSaveFile::WriteHeader(kFile, kHeader) && kFile.Flush();
}

const fuzz::ScratchFile g_kSave(".fds");
const fuzz::ScratchFile g_kFirst(".fds");
const fuzz::ScratchFile g_kSecond(".fds");
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pucData, std::size_t uiSize)
{
    fuzz::StartEngine();
    NiSetMessageBoxFunction(nullptr);
    if (!EnterDemoData("save") || !g_kSave.Write(pucData, uiSize))
        return 0;
    COrvaneTagTree kDocument;
    Check(kDocument.Load("data.xml"));
    {
        CDynamicObjectManager kRegistry;
        kRegistry.RegisterFactories();
        kRegistry.LoadPrisonTemplates(kDocument);
        static_cast<CGameObjectFactory*>(kRegistry.FactoryNamed("CellFactory"))
            ->SetMaker([]() -> std::unique_ptr<COrvaneObject> { return std::make_unique<Furniture>(); });
        static_cast<CGameObjectFactory*>(kRegistry.FactoryNamed("SecurityGuardFactory"))
            ->SetMaker([]() -> std::unique_ptr<COrvaneObject> { return std::make_unique<Walker>(); });

        const std::size_t uiLines = static_cast<std::size_t>(std::count(pucData, pucData + uiSize, '\n')) + 1;
        CSaveFile kSave;
        if (!kSave.Parse(g_kSave.GetPath(), kRegistry))
        {
            // Nothing made; an opened file names a line of it (or the one
            // after its end).
            Check(kRegistry.GetLiveCount() == 0);
            Check(uiSize == 0 || (kSave.GetBadLine() > 0 && kSave.GetBadLine() <= uiLines + 1));
        }
        else
        {
            Check(kRegistry.GetLiveCount() == 0);
            if (kRegistry.ResolveTemplates(kSave.GetObjects()))
            {
                kRegistry.MakeObjects(kSave.GetObjects());
                Check(kRegistry.GetLiveCount() == kSave.GetObjects().m_kRecords.size());
            }
            // The build texts are free lines: one holding a later section's
            // marker would be found first once written (the game writes
            // only its own stamp there).
            const CSaveHeader& kHeader = kSave.GetHeader();
            if (kHeader.m_kBuildTime.find('<') != std::string::npos ||
                kHeader.m_kBuildDate.find('<') != std::string::npos)
                return 0;
            Check(WriteHeader(kHeader, g_kFirst.GetPath()));
            CSaveFile kAgain;
            COrvaneFile kFile;
            Check(kFile.Open(g_kFirst.GetPath(), COrvaneFile::MODE_READ) == 1);
            Check(kAgain.ParseHeader(kFile));
            Check(WriteHeader(kAgain.GetHeader(), g_kSecond.GetPath()));
            Check(Bytes(g_kFirst.GetPath()) == Bytes(g_kSecond.GetPath()));
        }
    }
    COrvaneComposite::ResetProcessState();
    return 0;
}
