#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The text of the description being parsed: the file's bytes, its path and
// the scanner's read position. One is current while a file is parsed.
class NSFSourceFile
{
public:
    // 0 on success, 1 when the file cannot be opened or read.
    int Load(const char* pcPath);
    void Release();

    [[nodiscard]] const char* GetPath() const { return m_kPath.c_str(); }
    [[nodiscard]] std::uint32_t GetSize() const { return static_cast<std::uint32_t>(m_kText.size()); }
    [[nodiscard]] std::uint32_t GetPosition() const { return m_uiPosition; }
    // Copies the next bytes, up to uiMax, stopping at the end or at a 0xFF
    // byte (which is not taken, so the input stays ended there); how many.
    std::size_t Read(char* pcBuffer, std::size_t uiMax);

    [[nodiscard]] static NSFSourceFile* GetCurrent() { return ms_pkCurrent; }
    static void SetCurrent(NSFSourceFile* pkSource) { ms_pkCurrent = pkSource; }

private:
    std::string m_kPath;
    std::vector<unsigned char> m_kText;
    std::uint32_t m_uiPosition = 0;

    static NSFSourceFile* ms_pkCurrent;
};
