#pragma once

// The demo data for fuzz targets whose input names the game's own files:
// written once per process into a scratch folder under the temporary folder,
// which becomes the current folder, and removed at exit. The name tells the
// targets' folders apart.
bool EnterDemoData(const char* pszName);
