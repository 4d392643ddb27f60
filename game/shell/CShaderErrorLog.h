#pragma once

#include <cstddef>
#include <cstdint>

// The shader system's error reports on standard error. Without them an
// implementation the device cannot use, a technique that does not validate
// or a program that does not compile leaves its object drawn by the default
// shader without a word. A report seen before is not printed again, so a
// shader asked for every frame does not flood the output.
class CShaderErrorLog
{
public:
    // Makes Report the current shader factory's error callback; false when
    // there is no factory yet.
    static bool Install();
    // Prints the text once per distinct text; the factory's ReportError
    // returns the 0 this gives.
    static int Report(const char* pcText, std::uint32_t uiCode, bool bRecoverable);
    // How many distinct texts were printed.
    [[nodiscard]] static std::size_t GetPrintedCount();
    // Forgets the texts seen (tests).
    static void Reset();
};
