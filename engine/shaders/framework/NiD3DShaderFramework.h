#pragma once

class NiDX9Renderer;

// Hands the renderer, its device and its state cache to every class of the
// shader framework when the renderer gets its device, and takes them back
// when it goes. The order matters: the factory's libraries build shaders
// from passes and stages that must already know the renderer.
class NiD3DShaderFramework
{
public:
    static int SetRenderer(NiDX9Renderer* pkRenderer);
    static int ReleaseRenderer();
};
