#include "tests/framework/FrameworkTestSupport.h"

#include "engine/core/NiCloneContext.h"
#include "engine/core/NiLibraryRegistry.h"
#include "engine/core/NiMainLibrary.h"
#include "engine/animation/NiAnimationLibrary.h"
#include "engine/scene/NiSceneGraphLibrary.h"
#include "engine/scene/NiSceneLibrary.h"
#include "engine/core/NiMessageBox.h"
#include "engine/render/NiRenderLibrary.h"
#include "engine/render/NiRenderer.h"
#include "engine/render/image/NiImageConverter.h"
#include "framework/COrvaneApplication.h"
#include "framework/COrvaneCamera.h"
#include "framework/COrvaneComposite.h"
#include "framework/COrvaneDebugOptions.h"
#include "framework/COrvaneInterface.h"
#include "framework/COrvaneRendererFactory.h"
#include "framework/COrvaneShaderFactory.h"
#include "framework/COrvaneWidget.h"
#include "framework/COrvaneWindow.h"
#include "platform/os/OsSystem.h"

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>

void ResetFrameworkState()
{
    COrvaneApplication::DestroyInstance();
    COrvaneWindow::ResetInstance();
    COrvaneApplication::ResetSettings();
    COrvaneDebugOptions::ResetInstance();
    COrvaneCamera::ResetScreenRootFlag();
    COrvaneWidget::ResetScreenScale();
    COrvaneInterface::ReleaseActivePanel();
    COrvaneRendererFactory::Set(nullptr);
    COrvaneShaderFactory::Set(nullptr);
    NiRenderer::ResetRenderer();
    NiImageConverter::ReleaseCurrent();
    NiLibraryRegistry::Reset();
    COrvaneComposite::ResetProcessState(); // owner handles, camera game
    NiCloneContext::ResetDefaults();       // the model clones set copy mode 1
    NiResetMessageBoxFunction();
    os::Reset(); // windows, queue, key state, cursor, clock, message-box hook
}

void FrameworkTest::SetUp()
{
    ASSERT_TRUE(os::Startup());
    ResetFrameworkState();
    m_kPrevious = std::filesystem::current_path();
    std::string kTemplate = (std::filesystem::temp_directory_path() / "orvane-fw-XXXXXX").string();
    ASSERT_NE(mkdtemp(kTemplate.data()), nullptr);
    m_kFolder = kTemplate;
    std::filesystem::current_path(m_kFolder);
}

void FrameworkTest::TearDown()
{
    ResetFrameworkState();
    std::error_code kError;
    std::filesystem::current_path(m_kPrevious, kError);
    std::filesystem::remove_all(m_kFolder, kError);
}

void EngineFrameworkTest::SetUp()
{
    FrameworkTest::SetUp();
    NiMainLibrary::Reset();
    NiSceneLibraryRegister();
    NiSceneGraphRegister();
    NiRenderLibraryRegister();
    NiMainLibrary::Init();
    NiAnimationLibrary::Init();
}

void EngineFrameworkTest::TearDown()
{
    NiAnimationLibrary::Shutdown();
    NiMainLibrary::Reset();
    FrameworkTest::TearDown();
}

void WriteFileBytes(const std::filesystem::path& kPath, const std::string& kBytes)
{
    std::ofstream kOut(kPath, std::ios::binary | std::ios::trunc);
    kOut.write(kBytes.data(), static_cast<std::streamsize>(kBytes.size()));
    ASSERT_TRUE(kOut.good()) << kPath;
}

std::string ReadFileBytes(const std::filesystem::path& kPath)
{
    std::ifstream kIn(kPath, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(kIn), std::istreambuf_iterator<char>());
}

void WriteSetupFile(int iRed, int iGreen, int iBlue, int iAlpha)
{
    std::ostringstream kText;
    kText << "<Game_Data>\r\n<BGr>\r\n" << iRed << "\r\n</BGr>\r\n<BGg>\r\n" << iGreen << "\r\n</BGg>\r\n<BGb>\r\n"
          << iBlue << "\r\n</BGb>\r\n<BGa>\r\n" << iAlpha << "\r\n</BGa>\r\n</Game_Data>\r\n";
    WriteFileBytes("setup.xml", kText.str());
}
