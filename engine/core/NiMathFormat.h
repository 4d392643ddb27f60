#pragma once

// Formatting helper shared by the math viewer strings.

// printf-style formatting into a new heap string sized to fit; the caller
// frees it with delete[]. Never returns null.
[[nodiscard]] char* NiMathFormat(const char* pcFormat, ...) __attribute__((format(printf, 1, 2)));

// Viewer labels may be null; they print as an empty label.
inline const char* NiMathLabel(const char* pcName)
{
    return pcName ? pcName : "";
}
