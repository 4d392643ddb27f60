// The program's entry: make the game factory, then start, run and destroy
// the application. A start that fails (no window, no device, no renderer)
// ends the program with exit status 1 once the user has been told why;
// leaving at the launcher ends it with status 0.
#include "engine/render/NiDX9Renderer.h"
#include "framework/COrvaneApplication.h"
#include "framework/COrvaneRendererFactory.h"
#include "game/shell/CDX9RendererFactory.h"
#include "game/shell/CGame.h"
#include "game/shell/RegisterEngineLibraries.h"
#include "platform/os/OsSystem.h"

#include <memory>

int main()
{
    // Every engine library joins start-up here, before the application starts them.
    RegisterEngineLibraries();
    // The framework makes its renderers through this; it outlives the application.
    CDX9RendererFactory kRenderers;
    COrvaneRendererFactory::Set(&kRenderers);

    auto pkFactory = std::make_unique<CGameFactory>();
    COrvaneApplication* pkApp = COrvaneApplication::Get();
    int iExitCode = 1;
    if (pkApp != nullptr && pkApp->Init(nullptr, *pkFactory, 1024, 768))
    {
        if (pkApp->Start())
            iExitCode = pkApp->Run() ? 1 : 0;
        else if (const auto* pkGame = dynamic_cast<const CGame*>(pkApp->GetGame()))
            // Leaving at the launcher is the player's choice, not a failure.
            iExitCode = pkGame->LeftAtLauncher() ? 0 : 1;
        pkFactory.reset();
    }
    COrvaneApplication::DestroyInstance();
    COrvaneRendererFactory::Set(nullptr);
    NiDX9Renderer::ShutdownDirect3D();
    os::Shutdown();
    return iExitCode;
}
