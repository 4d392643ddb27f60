#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Compiles every shader description (".NSF") of a folder tree into binary
// shader files: each shader of a description is stored as "<name>.NSB"
// beside it, where the binary library finds it afterwards.
class NSFParserLib
{
public:
    // The one instance while a run lasts; the existing one when there is.
    static NSFParserLib* Create();
    static void Destroy();
    [[nodiscard]] static NSFParserLib* GetInstance() { return ms_pkInstance; }

    // Collects and compiles; the number of files stored.
    int ParseDirectory(const char* pcDirectory, bool bRecurse);
    // Adds the files of the extension (any case) to the list, depth first
    // when recursing; the number added.
    int CollectFiles(const char* pcDirectory, const char* pcExtension, bool bRecurse,
                     std::vector<std::string>& kFiles);
    // Parses every listed file and stores the shaders of those without
    // errors; the number of shaders stored.
    int ParseAndStoreFiles();

    [[nodiscard]] const std::vector<std::string>& GetFiles() const { return m_kFiles; }

private:
    NSFParserLib() = default;

    std::vector<std::string> m_kFiles;
    static NSFParserLib* ms_pkInstance;
};

// 0 when the description parsed without errors, the number of errors, or
// -1 without a path or when the file cannot be read. The shaders begun are
// left in the grammar's list of parsed shaders.
int ParseNSFFile(const char* pcPath);

// The parser library's entry for the shader start-up: the number of binary
// shader files written.
int RunNSFParserEntry(const char* pcDirectory, bool bRecurse);

// The driver's last failure text ("" when the last parse went well).
[[nodiscard]] const char* GetNSFLastMessage();
