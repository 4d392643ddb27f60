#pragma once

#include <cstdint>
#include <string>

// The places to look for a file named inside a scene file (a texture): the
// name as given, the bare file name, and both again below the scene file's
// own folder. Paths keep the data's backslashes; the file layer resolves
// them when a candidate is opened.
class NiFileSearchPath
{
public:
    static constexpr std::uint32_t MAX_PATH_CHARS = 259;

    NiFileSearchPath() = default;
    virtual ~NiFileSearchPath() = default;

    // Starts again at the first candidate.
    virtual void Reset() { m_uiNextPath = 0; }
    // The candidate of the current index, then the index moves on; false when
    // none is left (after four).
    [[nodiscard]] virtual bool GetNextPath(std::string& kPath);

    // Null or empty clears it; longer paths are cut to 259 characters.
    void SetFilePath(const char* pcPath);
    // Keeps the drive and folder of the given file path (name dropped).
    void SetReferencePath(const char* pcFilePath);

    [[nodiscard]] const std::string& GetFilePath() const { return m_kFilePath; }
    [[nodiscard]] const std::string& GetReferencePath() const { return m_kReferencePath; }

private:
    std::uint32_t m_uiNextPath = 0;
    std::string m_kFilePath;
    std::string m_kReferencePath;
};
