#pragma once

#include <string>

// The error box of the game: owner-less, "Application Error", error icon,
// task-modal and top-most. The program carries on after it.
void ShowErrorBox(const char* pcText);

// The current folder, and its last component (everything up to and with
// the last "/" or "\" removed; empty for the root folder).
void GetWorkingDirectory(std::string& kText);
[[nodiscard]] std::string GetWorkingDirectoryName();
[[nodiscard]] std::string GetLastPathComponent(const std::string& kPath);

// True when the file can be read and is not empty.
[[nodiscard]] bool FileExistsNonEmpty(const char* pcName);

// "Debug_Data" / "DebugFile" of the settings document; the value changes
// nothing and is only handed back. Empty when absent.
std::string ReadDebugFileSetting();

void GetEmptyText(std::string& kText);
