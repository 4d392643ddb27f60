#pragma once

#include <cstddef>
#include <cstdint>

// The scanner's process-wide state behind NSFScanner.h: the line, the error
// count of the file, the allocations of the generated scanner and the way
// out of it when it fails.
class NSFScannerState
{
public:
    // ---- used by the driver and by tests ----
    // Line 1, no error (-1), no failure, no allocation failing; the scanner
    // itself is dropped.
    static void Reset();
    // -1 while no error was counted; n - 1 after n.
    [[nodiscard]] static int GetErrorCount();
    static void SetErrorCount(int iCount);
    // Whether the current file's scanning failed (unterminated comment or a
    // scanner failure); cleared for each file.
    [[nodiscard]] static bool Failed();
    static void ClearFailure();
    // Blocks the scanner holds now.
    [[nodiscard]] static std::size_t LiveBlocks();
    // The n-th allocation (or reallocation) from now on is refused; 0 none.
    static void FailAllocation(int iNth);
    static void FailReallocation(int iNth);

    // ---- used by the generated scanner ----
    // Up to uiMax bytes of the current source into the scanner's buffer;
    // 0 once it has no more, which marks the input ended.
    static std::size_t ReadSource(char* pcBuffer, std::size_t uiMax);
    // Whether the scanner asked for more than the source holds.
    [[nodiscard]] static bool InputEnded();
    static void CountLine();
    [[noreturn]] static void Fatal(const char* pcMessage);
    [[noreturn]] static void UnterminatedComment();
    static void EchoText(const char* pcText, std::size_t uiLength);
    // A heap copy the grammar owns; the shared empty string when memory
    // runs out.
    [[nodiscard]] static char* CopyText(const char* pcText, std::size_t uiLength);
    // Decimal, held at the int32 limits.
    [[nodiscard]] static int ParseInt(const char* pcText);
    // "v" major "." minor as ((major | 0xFFFFFE00) << 8) | minor.
    [[nodiscard]] static std::uint32_t ParseVersion(const char* pcText);
    static void* Allocate(std::size_t uiSize);
    static void* Reallocate(void* pvBlock, std::size_t uiSize);
    static void Free(void* pvBlock);

    // ---- defined in the generated scanner ----
    static int ScanProtected();
    static void DestroyScanner();
    [[nodiscard]] static const char* TokenText();

    // Drops the scanner and every block it still holds.
    static void DropScanner();
};
