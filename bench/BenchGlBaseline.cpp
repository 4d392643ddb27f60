#include "bench/BenchGlBaseline.h"

#include "platform/gfx/Gfx.h"

BenchGlWindow::~BenchGlWindow()
{
    if (m_pkContext)
        SDL_GL_DeleteContext(m_pkContext);
    if (m_pkWindow)
        SDL_DestroyWindow(m_pkWindow);
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
}

bool BenchGlWindow::Open(int iWidth, int iHeight)
{
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0)
        return false;
    gfx::SetGlWindowAttributes();
    m_pkWindow = SDL_CreateWindow("plain", 0, 0, iWidth, iHeight, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
    if (!m_pkWindow)
        return false;
    m_pkContext = SDL_GL_CreateContext(m_pkWindow);
    if (!m_pkContext)
        return false;
    SDL_GL_SetSwapInterval(0);
    return true;
}

void BenchGlWindow::MakeCurrent()
{
    if (SDL_GL_GetCurrentContext() != m_pkContext)
        SDL_GL_MakeCurrent(m_pkWindow, m_pkContext);
}

namespace
{
GLuint Compile(GLenum eKind, const char* pcSource)
{
    GLuint uiShader = glCreateShader(eKind);
    glShaderSource(uiShader, 1, &pcSource, nullptr);
    glCompileShader(uiShader);
    return uiShader;
}
} // namespace

GLuint BenchGlProgram(const char* pcVertex, const char* pcFragment)
{
    const GLuint uiProgram = glCreateProgram();
    const GLuint uiVertex = Compile(GL_VERTEX_SHADER, pcVertex);
    const GLuint uiFragment = Compile(GL_FRAGMENT_SHADER, pcFragment);
    glAttachShader(uiProgram, uiVertex);
    glAttachShader(uiProgram, uiFragment);
    glLinkProgram(uiProgram);
    glDeleteShader(uiVertex);
    glDeleteShader(uiFragment);
    GLint iLinked = 0;
    glGetProgramiv(uiProgram, GL_LINK_STATUS, &iLinked);
    if (!iLinked)
    {
        glDeleteProgram(uiProgram);
        return 0;
    }
    return uiProgram;
}
