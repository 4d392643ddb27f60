#pragma once

// The shader libraries' place in the engine's start-up: the first call of
// Register adds their start-up and shut-down pair to the library registry.
class NiD3DShaderLibraryStatics
{
public:
    static void Register();
    // Marks the libraries started; the previous mark.
    static bool Startup();
    // Clears the mark when set.
    static void Shutdown();
    [[nodiscard]] static bool IsStarted();
    // Back to a fresh process (tests).
    static void Reset();

    // The effect library's releases, run by Shutdown in this order: the
    // shared bone palette, the effect file list, the effect factory. Null
    // entries are skipped.
    using ReleaseFunction = void (*)();
    static void SetEffectReleases(ReleaseFunction pfnPalette, ReleaseFunction pfnFileList,
                                  ReleaseFunction pfnFactory);
};
