#include "engine/core/NiMessageBox.h"

#include "platform/os/OsDefs.h"
#include "platform/os/OsDialog.h"

namespace
{
int DefaultMessageBox(const char* pcText, const char* pcCaption)
{
    (void)os::MessageBox(nullptr, pcText ? pcText : "", pcCaption ? pcCaption : "", os::MB_TOPMOST);
    return 0;
}

NiMessageBoxFunction s_pfnMessageBox = DefaultMessageBox;
} // namespace

NiMessageBoxFunction NiGetMessageBoxFunction()
{
    return s_pfnMessageBox;
}

void NiSetMessageBoxFunction(NiMessageBoxFunction pfnMessageBox)
{
    s_pfnMessageBox = pfnMessageBox;
}

void NiResetMessageBoxFunction()
{
    s_pfnMessageBox = DefaultMessageBox;
}

int NiMessageBox(const char* pcText, const char* pcCaption)
{
    return s_pfnMessageBox ? s_pfnMessageBox(pcText, pcCaption) : 0;
}
