#pragma once

#include "framework/COrvaneBase.h"

#include <cstdint>

class COrvaneFont;
class COrvaneText;

// Base of the game's locale: the language index from the settings.
class COrvaneLocale : public COrvaneBase
{
public:
    COrvaneLocale() = default;
    ~COrvaneLocale() override = default;

    void Release() override;
    // The game's locale frees its texts here.
    virtual void ReleaseLocale() = 0;

    // "Game_Data" / "Language" of the settings document, read as an
    // integer; the index stays as it was when there is nothing to read.
    bool ReadLanguage();
    [[nodiscard]] std::int32_t GetLanguage() const { return m_iLanguage; }
    void SetLanguage(std::int32_t iLanguage) { m_iLanguage = iLanguage; }

    // The index of the first text list whose name contains the text; -1
    // when none does. The game's locale holds the lists.
    [[nodiscard]] virtual std::int16_t FindList(const char* pcName) const
    {
        (void)pcName;
        return -1;
    }
    // One of the game's bitmap fonts (0: the one text fields measure with);
    // null when there is none.
    [[nodiscard]] virtual COrvaneFont* GetFont(std::int32_t iIndex) const
    {
        (void)iIndex;
        return nullptr;
    }
    // One of the game's text objects (0: the one debug lines are drawn
    // with); null when there is none.
    [[nodiscard]] virtual COrvaneText* GetTextObject(std::int32_t iIndex) const
    {
        (void)iIndex;
        return nullptr;
    }

private:
    std::int32_t m_iLanguage = 0;
};
