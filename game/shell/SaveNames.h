#pragma once

#include <string>
#include <string_view>

class COrvaneTagTree;

// Names the player types for saved games and their folders, and the paths
// made of them. Every file panel checks both before it saves, loads,
// creates or deletes anything, so a typed name never reaches outside the
// save folder.

// The folder saved games live in (relative to the working folder).
inline constexpr const char* SAVE_FOLDER = "maps";

// 1 to 32 bytes of printable ASCII (0x20-0x7E) without / \ : * ? " < > |;
// not "." or ".."; neither starting with "." or a space nor ending with
// either.
[[nodiscard]] bool IsValidSaveName(std::string_view kName);

// browse folder + "/" + name + extension, or empty when the name is not
// valid or the folder, with every symbolic link followed, is not the save
// folder or inside it.
[[nodiscard]] std::string MakeSavePath(std::string_view kBrowseFolder, std::string_view kName,
                                       std::string_view kExtension);

// A settings document written beside its file and put in its place whole,
// so a failed write leaves the old file as it was (a line on standard error
// says which).
[[nodiscard]] bool SaveDocumentAtomically(const COrvaneTagTree& kDocument, const char* pcPath);
