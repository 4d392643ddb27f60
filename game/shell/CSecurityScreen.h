#pragma once

// The security-screen overlay shown while the player looks into a building:
// a framed camera picture with a scan line running down it, a flicker now
// and then, the camera's label and the clock.

#include <cstdint>
#include <memory>
#include <string>

class COrvaneCamera;
class COrvaneImage;
class CLocale;

// What one frame of the overlay shows.
struct CSecurityScreenView
{
    float m_fFrameTime = 0.0f;
    float m_fScreenWidth = 1024.0f;
    float m_fScreenHeight = 768.0f;
    // The grid number of the building's first floor, and the letter of the
    // corner the camera stands on (0: none).
    std::int32_t m_iGridNumber = 0;
    char m_cCorner = 0;
    std::string m_kTime;
    std::string m_kYear;
};

class CSecurityScreen
{
public:
    static constexpr const char* FRAME_IMAGE = "images/screen.tga";
    static constexpr const char* SCAN_LINE_IMAGE = "images/scanline.tga";
    static constexpr const char* MESSAGES = "InGameMessages";
    static constexpr std::int32_t FONT = 1;
    static constexpr std::int32_t ENTRY_CAMERA = 66;
    static constexpr std::int32_t ENTRY_CLOCK = 67;
    // Pixels per second.
    static constexpr float SCAN_LINE_SPEED = 140.0f;
    // The text rows from the top, in pixels.
    static constexpr float ROWS[4] = {40.0f, 62.0f, 84.0f, 106.0f};

    CSecurityScreen();
    ~CSecurityScreen();
    CSecurityScreen(const CSecurityScreen&) = delete;
    CSecurityScreen& operator=(const CSecurityScreen&) = delete;

    // Loads both pictures (drawn through the camera; none without one), takes
    // the locale's message list, and starts without flicker, the timer at 2
    // or 3 s.
    void Create(const CLocale* pkLocale, COrvaneCamera* pkCamera);
    // One frame: the texts, the scan line (while flickering only one frame
    // in three) and the frame picture; then the scan line and the flicker
    // timer move on.
    void Draw(const CSecurityScreenView& kView, CLocale* pkLocale);
    // Both pictures go, every other field back to zero.
    void Clear();

    // "A" at the building's origin corner (x, z), "B" at (x, z - depth),
    // "C" at (x + width, z - depth), "D" at (x + width, z); exactly there
    // only, else 0.
    [[nodiscard]] static char CornerLetter(float fCameraX, float fCameraZ, float fOriginX, float fOriginZ,
                                           float fWidth, float fDepth);
    // The grid number in decimal followed by the corner letter, if any.
    [[nodiscard]] static std::string Label(std::int32_t iGridNumber, char cCorner);

    [[nodiscard]] float GetScanLine() const { return m_fScanLine; }
    [[nodiscard]] std::int32_t GetFlicker() const { return m_iFlicker; }
    [[nodiscard]] float GetFlickerTimer() const { return m_fFlickerTimer; }
    [[nodiscard]] std::uint16_t GetMessageList() const { return m_usMessages; }
    [[nodiscard]] bool HasPictures() const { return m_pkFrame != nullptr || m_pkScanLine != nullptr; }
    // Whether the last Draw drew the scan line.
    [[nodiscard]] bool DrewScanLine() const { return m_bDrewScanLine; }

private:
    std::unique_ptr<COrvaneImage> m_pkFrame;
    std::unique_ptr<COrvaneImage> m_pkScanLine;
    float m_fScanLine = 0.0f;
    std::uint8_t m_ucMode = 0;
    std::int32_t m_iFont = 0;
    std::uint16_t m_usMessages = 0;
    std::int32_t m_iFlicker = 0;
    float m_fFlickerTimer = 0.0f;
    bool m_bDrewScanLine = false;
};
