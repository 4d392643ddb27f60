// A placeable object's saved record, read from a scratch file the way the
// objects section of a save is read: the two name lines, then the object's
// own lines. A record that does not read must leave the object as it was;
// one that reads must write a record that reads back to the same object.
// Every input goes through a plain object and a building (which adds its
// first floor's number).

#include "framework/COrvaneFile.h"
#include "game/simulation/objects/CBaseObject.h"
#include "game/simulation/objects/CWorldObject.h"
#include "tests/fuzz/FuzzSupport.h"

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

namespace
{
const fuzz::ScratchFile g_kInput(".txt");
const fuzz::ScratchFile g_kOutput(".out");

void Check(bool bHolds)
{
    if (!bHolds)
        std::abort();
}

// The record the object writes, and the restored people it holds when
// asked (they wait for the object's posts and are not written).
std::string Snapshot(CBaseObject& kObject, bool bWithRestored)
{
    COrvaneFile kFile;
    if (kFile.Open(g_kOutput.GetPath(), COrvaneFile::MODE_WRITE) != 1)
        std::abort();
    Check(kObject.SaveState(kFile) == 1);
    Check(kFile.Flush());
    std::ifstream kIn(g_kOutput.GetPath(), std::ios::binary);
    std::ostringstream kBytes;
    kBytes << kIn.rdbuf();
    if (bWithRestored)
        for (const auto& pkPost : kObject.GetRestoredPosts())
            kBytes << pkPost->FormatLine() << "|";
    return kBytes.str();
}

bool Read(CBaseObject& kObject, const char* pcPath)
{
    COrvaneFile kFile;
    if (kFile.Open(pcPath, COrvaneFile::MODE_READ) != 1)
        return false;
    std::string kName;
    kFile.ReadLine(kName);
    kFile.ReadLine(kName);
    return kObject.LoadState(kFile) == 1;
}

template <class TObject>
void Exercise()
{
    TObject kObject;
    const std::string kBefore = Snapshot(kObject, true);
    if (!Read(kObject, g_kInput.GetPath()))
    {
        Check(Snapshot(kObject, true) == kBefore);
        return;
    }
    // Written again and read into a fresh object, it is the same record.
    const std::string kWritten = Snapshot(kObject, false);
    TObject kAgain;
    Check(Read(kAgain, g_kOutput.GetPath()));
    Check(Snapshot(kAgain, false) == kWritten);
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pucData, std::size_t uiSize)
{
    if (!g_kInput.Write(pucData, uiSize))
        return 0;
    Exercise<CBaseObject>();
    Exercise<CWorldObject>();
    return 0;
}
