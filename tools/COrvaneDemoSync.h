#pragma once

#include <string>

// The player's own files in a game folder: the settings ("setup.xml"), the
// scenario states ("config.bin") and the saves under "maps". A rebuild of
// the data makes them when they are missing and otherwise leaves them be.
[[nodiscard]] bool IsDemoPlayerState(const std::string& kRelativePath);

// Brings the folder kTo up to the freshly written set in kFrom: every
// folder of kFrom is made in kTo; every file is written where kTo lacks it
// or holds other bytes (through a temporary file and a rename, so a reader
// never sees half a file), except player state that kTo already has. A file
// whose bytes are the same is not touched. Files of kTo that kFrom does not
// have are left alone. False (with the reason on standard error) when a
// folder cannot be read or made or a file cannot be written.
[[nodiscard]] bool SyncDemoFolder(const std::string& kFrom, const std::string& kTo);
