#pragma once

#include "engine/core/NiFile.h"
#include "engine/core/NiFileSearchPath.h"

#include <string>

// Looks for an image named inside a scene file where the scene file's
// textures are: points the search at the name and gives the first candidate
// that can be opened. False (kFound untouched) when none can.
[[nodiscard]] inline bool NiFindTextureFile(NiFileSearchPath& kSearch, const std::string& kName, std::string& kFound)
{
    kSearch.SetFilePath(kName.c_str());
    kSearch.Reset();
    std::string kCandidate;
    while (kSearch.GetNextPath(kCandidate))
    {
        if (NiFileAccessible(kCandidate.c_str(), 0))
        {
            kFound = kCandidate;
            return true;
        }
    }
    return false;
}
