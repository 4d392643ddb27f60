#include "engine/render/NiTexture.h"

NiImplementTypeInfo(NiTexture, NiObject)

namespace
{
NiTexture::FormatPrefs s_kDefaultPrefs;
}

NiTexture::FormatPrefs& NiTexture::GetDefaultFormatPrefs()
{
    return s_kDefaultPrefs;
}

void NiTexture::ResetDefaultFormatPrefs()
{
    s_kDefaultPrefs = FormatPrefs();
}
