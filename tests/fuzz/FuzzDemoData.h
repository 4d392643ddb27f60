#pragma once

// The demo data for fuzz targets whose input names the game's own files:
// written once per process into a scratch folder under the temporary folder,
// which becomes the current folder, and removed at exit. The name tells the
// targets' folders apart.
bool EnterDemoData(const char* pszName);

// Back to the folder that was current before the demo data was first
// entered: a target that sets up in its start-up step leaves the folder
// between inputs, so libFuzzer finds the corpus and input paths it was
// given relative to where it started.
void LeaveDemoData();
