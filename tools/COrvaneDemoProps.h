#pragma once

#include <string>

// The demo data's props: "models/props/crate.nif" and "lamp.nif" (a
// "Scene Root" over the model object, which holds a textured box and a
// child node with a text property), their textures, an empty "lamp.kf",
// written with the engine's scene-file writer under the folder.
[[nodiscard]] bool WriteDemoProps(const std::string& kFolder);

// Adds the "TEMPLATES" section (a container, its "plans", one template per
// prop with width, depth and prerequisites) to the document at the path.
[[nodiscard]] bool AddDemoTemplates(const std::string& kDataPath);

// The props' model files as the templates name them.
inline constexpr const char* DEMO_PROP_MODELS[] = {"models/props/crate.nif", "models/props/lamp.nif"};
