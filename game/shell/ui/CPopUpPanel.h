#pragma once

#include "game/shell/ui/CBasePanel.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>

class COrvaneImage;
class COrvaneObject;
class CCharacterStats;
class NiNodeAttachment;

// The information pop-ups about what the player clicked: a building or
// object, a prisoner, a staff member or an object's staff post. The subject
// belongs to the registry: the pop-up reads it each frame and is closed by
// the game when the subject is destroyed.
class CPopUpPanel : public CBasePanel
{
public:
    CPopUpPanel();
    ~CPopUpPanel() override;

    void Destroy() override;
    void Reset() override;
    // The camera follows nothing any more.
    void Close() override;

    // A new subject; a post node is held by a second reference of its own.
    void SetSubject(COrvaneObject* pkSubject, const NiNodeAttachment* pkPost);
    [[nodiscard]] COrvaneObject* GetSubject() const { return m_pkSubject; }
    [[nodiscard]] const NiNodeAttachment* GetPostNode() const { return m_pkPostNode.get(); }

protected:
    // Font 0 at the panel plus (dx, dy), in the open batch.
    void DrawFigure(const std::string& kText, float fDx, float fDy) const;

    COrvaneObject* m_pkSubject = nullptr; // link: the registry owns it
    std::unique_ptr<NiNodeAttachment> m_pkPostNode;
};

// Pop-up 7: an object's or building's label, description and figures.
class CPopUpPanelBuilding : public CPopUpPanel
{
public:
    static constexpr std::int32_t WIDGET_INERT = 3;

    void Reset() override;
    void OnWidgetEvent(std::int32_t iIndex, std::int32_t iEvent) override;
    void Draw() override;
    bool Populate(COrvaneTagTree* pkData, bool bRecreate) override;

    void DrawNumber(std::int32_t iValue, float fDx, float fDy) const;
    void DrawPercent(std::int32_t iValue, float fDx, float fDy) const;

private:
    std::uint16_t m_usSecurityTexts = 0;
    std::uint16_t m_usExtraTexts = 0;
};

// Pop-ups 8 and 9: a person's portrait, name, texts and figures; for idle
// staff the duty button calls them back to their post.
class CPopUpPanelCharacter : public CPopUpPanel
{
public:
    static constexpr std::int32_t WIDGET_DUTY = 3;
    static constexpr std::int32_t MOOD_HUNGRY = 4;
    static constexpr std::int32_t MOOD_INJURED = 5;
    static constexpr std::int32_t PRISONER_JOB = 4;
    static const std::array<const char*, 6> MOOD_ICONS;
    static constexpr const char* NO_CELL_ICON = "images/panels/prisoner/nocell.tga";
    static constexpr const char* URGENT_ICON = "images/panels/prisoner/urgent.tga";

    CPopUpPanelCharacter();
    ~CPopUpPanelCharacter() override;

    void Destroy() override;
    void Reset() override;
    void Create(const char* pcImageName, float fX, float fY, bool bScale) override;
    void OnWidgetEvent(std::int32_t iIndex, std::int32_t iEvent) override;
    void Draw() override;
    bool Populate(COrvaneTagTree* pkData, bool bRecreate) override;

    void DrawNumber(std::int32_t iValue, float fDx, float fDy) const;
    // The "mood_text" entry of a mood, its intensity and the health.
    [[nodiscard]] static std::int32_t MoodTextEntry(std::uint32_t uiMood, std::uint32_t uiIntensity,
                                                    std::uint32_t uiHealth);
    [[nodiscard]] COrvaneImage* GetMoodIcon(std::uint32_t uiMood) const;
    [[nodiscard]] COrvaneImage* GetNoCellIcon() const { return m_pkNoCellIcon.get(); }
    [[nodiscard]] COrvaneImage* GetUrgentIcon() const { return m_pkUrgentIcon.get(); }
    // What the last Draw showed: staff mode, the job title entry.
    [[nodiscard]] bool WasStaffShown() const { return m_bStaffShown; }

private:
    void DrawPerson(const CCharacterStats& kStats, std::int32_t iJob, bool bStaff, bool bPrisoner);

    std::array<std::unique_ptr<COrvaneImage>, 6> m_akMoodIcons;
    std::unique_ptr<COrvaneImage> m_pkNoCellIcon;
    std::unique_ptr<COrvaneImage> m_pkUrgentIcon;
    std::uint16_t m_usMoodTexts = 0;
    std::uint16_t m_usSecurityTexts = 0;
    std::uint16_t m_usGangTexts = 0;
    std::uint16_t m_usJobTitles = 0;
    bool m_bStaffShown = false;
};

// The prisoner page's figures: a signed decimal at the page plus (dx, dy).
void DrawPanelNumber(const COrvaneCanvas& kPage, std::int32_t iValue, float fDx, float fDy);
// The value per prisoner now (integer division), or with both "value/that";
// with no prisoners "0", or the value alone with both.
[[nodiscard]] std::string PerPrisonerText(std::int32_t iValue, std::int32_t iPrisoners, bool bBoth);
void DrawPerPrisoner(const COrvaneCanvas& kPage, std::int32_t iValue, float fDx, float fDy, bool bBoth);
