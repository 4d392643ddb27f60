#pragma once

#include <cstdint>
#include <string>

class NiByteStream;

// The encoding every record of a binary shader file shares: little-endian
// u32 words (floats as their bits, booleans as 0/1) and strings as a u32
// length followed by the characters without terminator. Each primitive is
// true only when every byte moved.
class NSBStream
{
public:
    // File versions whose fields differ.
    static constexpr std::uint32_t VERSION_1_1 = 0x00010001; // single-name programs, no variable names
    static constexpr std::uint32_t VERSION_1_4 = 0x00010004; // platform lists of constant maps
    static constexpr std::uint32_t VERSION_1_5 = 0x00010005; // implementation class names
    static constexpr std::uint32_t VERSION_1_6 = 0x00010006; // user-data flags
    static constexpr std::uint32_t VERSION_1_7 = 0x00010007; // software vertex processing
    static constexpr std::uint32_t VERSION_CURRENT = VERSION_1_7;

    static bool WriteU32(NiByteStream& kStream, std::uint32_t uiValue);
    [[nodiscard]] static bool ReadU32(NiByteStream& kStream, std::uint32_t& uiValue);
    static bool WriteU32Array(NiByteStream& kStream, const std::uint32_t* puiValues, std::uint32_t uiCount);
    [[nodiscard]] static bool ReadU32Array(NiByteStream& kStream, std::uint32_t* puiValues, std::uint32_t uiCount);
    // An empty string stands for the unset one: both are the length 0.
    static bool WriteString(NiByteStream& kStream, const std::string& kText);
    // A stored length of 0 keeps the old text. A length longer than the
    // bytes the stream still holds fails before anything is allocated.
    [[nodiscard]] static bool ReadString(NiByteStream& kStream, std::string& kText);

    static bool WriteBool(NiByteStream& kStream, bool bValue) { return WriteU32(kStream, bValue ? 1u : 0u); }
    // Non-zero is true.
    [[nodiscard]] static bool ReadBool(NiByteStream& kStream, bool& bValue);

    // Whether uiCount records of at least uiRecordBytes each can still be in
    // the stream: checked before a count read from a file sizes anything.
    [[nodiscard]] static bool CountFits(const NiByteStream& kStream, std::uint32_t uiCount,
                                        std::uint32_t uiRecordBytes);

    // The version of the file being read; every nested record reader
    // consults it. It keeps the value of the last file read.
    [[nodiscard]] static std::uint32_t GetCurrentVersion() { return ms_uiCurrentVersion; }
    static void SetCurrentVersion(std::uint32_t uiVersion) { ms_uiCurrentVersion = uiVersion; }
    // Back to the written version (tests).
    static void Reset() { ms_uiCurrentVersion = VERSION_CURRENT; }

private:
    static std::uint32_t ms_uiCurrentVersion;
};
