#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <vector>

class NSBShaderLib;

// Finds the binary shader files of one directory tree and loads them into
// a library. Exists only while one directory is loaded.
class NSBLoader
{
public:
    // Created with an empty list when absent.
    static NSBLoader* GetInstance();
    static void Destroy();

    // Every ".NSB" file of the directory (and below when recursing) is
    // loaded, skipping a file named like a shader the library holds. True
    // when a shader was loaded, else false when any file failed.
    bool LoadNSBShaders(NSBShaderLib* pkLibrary, const char* pcDirectory, bool bRecurse);

    // The files with the extension (any case) into the list; their number.
    // Each real folder is walked once, so a link to an ancestor ends.
    std::uint32_t FindFiles(const char* pcDirectory, const char* pcExtension, bool bRecurse,
                            std::vector<std::string>& kList);
    // Appends the path when its extension is the wanted one, ignoring case.
    static bool ProcessFile(const char* pcPath, const char* pcExtension, std::vector<std::string>& kList);

private:
    NSBLoader() = default;
    std::uint32_t Walk(const std::string& kDirectory, const char* pcExtension, bool bRecurse,
                       std::vector<std::string>& kList);

    std::vector<std::string> m_kFiles;
    std::set<std::string> m_kWalked;
    static NSBLoader* ms_pkLoader;
};
