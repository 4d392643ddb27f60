#pragma once

#include "framework/COrvaneCanvas.h"

#include <cstdint>
#include <list>
#include <memory>

class CAIPrisoner;
class COrvaneImage;

// The parole desk: the first candidate on the left (photo, name, date of
// birth, record), the prison's figures and the scenario's brief on the
// right. The game stands still while it is open; grant and refuse work
// through the candidates one at a time, leave gives the speed back.
class CDeskTopPanel : public COrvaneCanvas
{
public:
    static constexpr const char* IMAGE = "images/parole/parole.tga";
    static constexpr const char* PHOTO_BACK = "images/parole/photoback.tga";
    static constexpr std::int32_t WIDGET_GRANT = 1;
    static constexpr std::int32_t WIDGET_REFUSE = 2;
    static constexpr std::int32_t WIDGET_LEAVE = 3;
    static constexpr std::int32_t FONT = 2;
    // The day of birth shown is the first-name index, at most this.
    static constexpr std::uint16_t LAST_DAY_SHOWN = 28;

    CDeskTopPanel();
    ~CDeskTopPanel() override;

    // The photo's back goes, then the canvas.
    void Destroy() override;
    // No lists, no photo's back.
    void Reset() override;
    void OnWidgetEvent(std::int32_t iIndex, std::int32_t iEvent) override;
    void Draw() override;
    // The layout, the five text lists, the photo's back.
    void Create(const char* pcImageName, float fX, float fY, bool bScale) override;

    // The spawn manager's list: shown from its first prisoner. The game is
    // paused at the saved speed.
    void SetCandidates(std::list<CAIPrisoner*>* pkCandidates);
    [[nodiscard]] std::list<CAIPrisoner*>* GetCandidates() const { return m_pkCandidates; }
    // The number in font 2 at the offset from the panel's corner.
    void DrawNumber(std::int32_t iValue, float fX, float fY);
    // "month/day/year" of the birth of someone of this star sign, first-name
    // index and age in the year.
    [[nodiscard]] static std::string FormatBirthDate(std::uint16_t usStarSign, std::uint16_t usFirstName,
                                                     std::uint16_t usAge, std::int32_t iYear);

private:
    [[nodiscard]] bool HasCandidate() const { return m_pkCandidates != nullptr && !m_pkCandidates->empty(); }
    void DrawCandidate(CAIPrisoner& kPrisoner);
    void DrawPrison();
    void DrawEntry(std::int16_t sList, std::int32_t iEntry, float fX, float fY);

    std::int16_t m_sSecurityList = -1;
    std::int16_t m_sGenderList = -1;
    std::int16_t m_sBuildList = -1;
    std::int16_t m_sGangList = -1;
    std::int16_t m_sBriefList = -1;
    std::list<CAIPrisoner*>* m_pkCandidates = nullptr; // link: the spawn manager owns it
    std::unique_ptr<COrvaneImage> m_pkPhotoBack;
};
