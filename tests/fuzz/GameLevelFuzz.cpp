// Level files as the game's world loads them: every placeholder text and
// spline name a file carries becomes outside areas, door runs, connectors,
// the camera start and the arrival road. The input is a level file when it
// starts like one; otherwise its lines are the placeholder texts and spline
// names themselves (the first eight), so the texts are explored directly. Every grid made
// must hold its numbers within bounds and every door and connector cell
// must lie on its grid.

#include "engine/core/NiMessageBox.h"
#include "engine/core/NiObjectStream.h"
#include "engine/core/NiVec3.h"
#include "framework/COrvaneBlock.h"
#include "game/simulation/objects/CBlock.h"
#include "game/simulation/objects/CBlockGrid.h"
#include "game/simulation/objects/CBlockGridManager.h"
#include "game/simulation/objects/CBlockGridStack.h"
#include "game/simulation/objects/CConnector.h"
#include "game/simulation/objects/CWorld.h"
#include "tests/fuzz/FuzzSupport.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

namespace
{
const fuzz::ScratchFile g_kFile(".nif");

void Check(bool bHolds)
{
    if (!bHolds)
        std::abort();
}

void CheckGrids()
{
    for (const auto& pkStack : CBlockGridManager::GetInstance()->GetStacks())
    {
        for (std::size_t i = 0; i < pkStack->GetFloorSlots(); ++i)
        {
            const CBlockGrid* pkGrid = pkStack->GetFloor(i);
            if (!pkGrid)
                continue;
            Check(pkGrid->GetRows() >= 1 && pkGrid->GetRows() <= 512);
            Check(pkGrid->GetColumns() >= 1 && pkGrid->GetColumns() <= 512);
            Check(pkGrid->GetCellCount() == pkGrid->GetRows() * pkGrid->GetColumns());
            for (const auto& pkMarker : pkGrid->GetMarkers())
                Check(CConnector::GetDestination(*pkMarker) != nullptr);
        }
    }
}
} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::StartEngine();
    // A refused level shows a box: without a display that starts a dialog
    // program for every such input.
    NiSetMessageBoxFunction(nullptr);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pucData, std::size_t uiSize)
{
    CBlockGridManager::DestroyInstance();
    {
        CWorld kWorld;
        const std::string kBytes(reinterpret_cast<const char*>(pucData), uiSize);
        const char* pcHeader = NiObjectStream::HEADER_LINE;
        if (kBytes.compare(0, std::strcspn(pcHeader, " "), pcHeader, std::strcspn(pcHeader, " ")) == 0)
        {
            if (!g_kFile.Write(pucData, uiSize))
                return 0;
            (void)kWorld.LoadLevel(g_kFile.GetPath(), nullptr);
        }
        else
        {
            std::size_t uiStart = 0;
            int iLine = 0;
            // A few texts are enough to meet every rule; each may lay out a
            // large grid.
            while (uiStart <= kBytes.size() && iLine < 8)
            {
                std::size_t uiEnd = kBytes.find('\n', uiStart);
                if (uiEnd == std::string::npos)
                    uiEnd = kBytes.size();
                const std::string kLine = kBytes.substr(uiStart, uiEnd - uiStart);
                const NiVec3 kAt(static_cast<float>(iLine), 0.0f, static_cast<float>(-iLine));
                (void)kWorld.CreateFromNode(CWorld::NODE_OBJECT, kLine.c_str(), &kAt);
                (void)kWorld.CreateFromNode(CWorld::NODE_SPLINE, kLine.c_str(), nullptr);
                ++iLine;
                uiStart = uiEnd + 1;
            }
        }
        CheckGrids();
        kWorld.SetUpgradeLevel(kWorld.GetHighestMapNumber());
        kWorld.ToggleDetails();
    }
    CBlockGridManager::DestroyInstance();
    return 0;
}
