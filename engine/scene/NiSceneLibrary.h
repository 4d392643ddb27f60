#pragma once

// Joins the scene classes to the core library's start-up: their create
// functions and the old-file update-flag fix come and go with it. Call
// before NiMainLibrary::Init; calling again adds nothing.
void NiSceneLibraryRegister();
