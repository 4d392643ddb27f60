#pragma once

#include "framework/COrvaneBase.h"

#include <cstdint>

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

private:
    std::int32_t m_iLanguage = 0;
};
