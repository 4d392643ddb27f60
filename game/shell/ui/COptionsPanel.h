#pragma once

#include "game/shell/ui/CBasePanel.h"

#include <cstdint>

// The in-game options: close, load, save, detail, sound effects, music and
// quit to the front end. Three state images, laid over the detail, effects
// and music buttons, show while their setting is off.
class COptionsPanel : public CBasePanel
{
public:
    static constexpr std::int32_t WIDGET_LOAD = 3;
    static constexpr std::int32_t WIDGET_SAVE = 4;
    static constexpr std::int32_t WIDGET_DETAIL = 5;
    static constexpr std::int32_t WIDGET_SOUND = 6;
    static constexpr std::int32_t WIDGET_MUSIC = 7;
    static constexpr std::int32_t WIDGET_QUIT = 8;
    // "InGameMessages" entry of the question before leaving the level.
    static constexpr std::int32_t QUESTION_QUIT = 2;
    static constexpr const char* MUSIC_OFF = "musicoff.tga";
    static constexpr const char* SOUND_OFF = "SFXoff.tga";
    static constexpr const char* DETAIL_LOW = "LODlow.tga";

    COptionsPanel();
    ~COptionsPanel() override;

    // The layout, then the state images from the layout's folder, each at
    // its button and hidden.
    void Create(const char* pcImageName, float fX, float fY, bool bScale) override;
    void OnWidgetEvent(std::int32_t iIndex, std::int32_t iEvent) override;

    // The state images' widget indices; -1 before creation (or when the
    // layout lacks the button).
    [[nodiscard]] std::int32_t GetSoundImage() const { return m_iSoundImage; }
    [[nodiscard]] std::int32_t GetMusicImage() const { return m_iMusicImage; }
    [[nodiscard]] std::int32_t GetDetailImage() const { return m_iDetailImage; }

private:
    std::int32_t AddStateImage(const std::string& kFolder, const char* pcName, std::int32_t iButton);
    // Pauses the game for a file panel and opens it.
    static void OpenFilePanel(std::int16_t sPanel);

    std::int32_t m_iSoundImage = -1;
    std::int32_t m_iMusicImage = -1;
    std::int32_t m_iDetailImage = -1;
};
