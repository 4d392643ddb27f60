#pragma once

#include <cstdint>

// The description scanner as the grammar and the driver see it. All of its
// state is process-wide: one file is scanned at a time.

// The next token of the current source file, its value in the grammar's
// token value; 0 at the end of the input, and from then on for a file whose
// scanning failed.
int NextToken();

void ResetLineNumber();
[[nodiscard]] int GetLineNumber();

// The grammar's error routine: counts one error for the file and prints
// the token, the line and the message; nothing once the file's scanning
// failed (that failure is its one error).
void ReportParseError(const char* pcMessage);

// Both drop the scanner and everything it allocated; the next token starts
// a fresh one on the current source.
void ResetScanner();
void ReleaseScannerBuffer();

// Hexadecimal digits after the x, read from the last backwards; wraps
// modulo 2^32. Null, "" or a text ending in x give 0.
[[nodiscard]] std::uint32_t ParseHexValue(const char* pcText);
