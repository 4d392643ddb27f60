#pragma once

#include <string>

// A path split into drive, directory, base name and extension, and joined
// again. Either slash separates directories.
class NiFilePath
{
public:
    NiFilePath() = default;
    explicit NiFilePath(const char* pcPath) { Split(pcPath); }

    void Split(const char* pcPath);
    // With a platform sub-directory, it is appended to the directory.
    [[nodiscard]] std::string GetFullPath() const;

    [[nodiscard]] const std::string& GetDrive() const { return m_kDrive; }
    [[nodiscard]] const std::string& GetDir() const { return m_kDir; }
    [[nodiscard]] const std::string& GetFname() const { return m_kFname; }
    // With its leading point; empty when the name has none.
    [[nodiscard]] const std::string& GetExt() const { return m_kExt; }
    [[nodiscard]] const std::string& GetPlatformSubDir() const { return m_kPlatformSubDir; }
    void SetPlatformSubDir(const std::string& kSubDir) { m_kPlatformSubDir = kSubDir; }

private:
    std::string m_kDir;
    std::string m_kDrive;
    std::string m_kExt;
    std::string m_kFname;
    std::string m_kPlatformSubDir;
};
