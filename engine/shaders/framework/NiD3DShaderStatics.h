#pragma once

// The framework's pools of passes and texture stages, made at the renderer
// library's start-up (after the render-state group and stage group pools)
// and freed at its shut-down.
class NiD3DShaderStatics
{
public:
    // The pass pool, then the texture-stage pool.
    static void InitPools();
    static void ShutdownPools();
};
