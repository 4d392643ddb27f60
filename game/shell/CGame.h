#pragma once

#include "engine/core/NiColor.h"
#include "engine/core/NiXform.h"
#include "engine/scene/NiScreenPolygon.h"
#include "framework/COrvaneApplication.h"
#include "framework/COrvaneGame.h"
#include "game/shell/CGameClock.h"
#include "game/simulation/objects/CGameHost.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class CCamera;
class CConditions;
class CFrontEndScreens;
class CLevelManager;
class CLocale;
class CPrisonStatistics;
class CSoundSystem;
class CAIControllerManager;
class CSpawnManager;
class CStartUp;
class CSecurityScreen;
class CSaveFile;
class CWorld;
class CWorldObject;
class COrvaneObject;
class COrvaneWorldPicker;
class NiNodeAttachment;
struct COrvaneKeyEvent;

// The game object: one per process, made by the application through the
// factory. It owns what the running game needs (interface, sound,
// conditions, locale, camera, keys, mouse, level manager, spawn manager,
// clock and speed) and moves between the front end (state 3) and a level
// (state 4). It is also the host the simulation calls upwards.
class CGame : public COrvaneGame, public CGameHost
{
public:
    static constexpr std::int32_t STATE_NONE = 0;
    static constexpr std::int32_t STATE_FRONT_END = 3;
    static constexpr std::int32_t STATE_IN_GAME = 4;

    static constexpr std::int32_t NIGHT_NONE = 0;
    static constexpr std::int32_t NIGHT_FADING_IN = 1;
    static constexpr std::int32_t NIGHT_FADING_OUT = 2;
    // The night starts after 22:00; the morning is 06:00.
    static constexpr float NIGHT_MINUTES = 1320.0f;
    static constexpr float MORNING_MINUTES = 360.0f;
    // A full fade takes five scaled seconds each way.
    static constexpr float FADE_PER_SECOND = 20.0f;
    static constexpr float FADE_FULL = 100.0f;
    // A day's administration before the upgrade and clerical levels.
    static constexpr std::int32_t ADMIN_COST = 2500;
    static constexpr std::uint16_t START_YEAR = 2005;
    static constexpr std::uint16_t ARRIVAL_HOUR = 13;
    static constexpr std::int32_t SAMPLE_LEVEL_START = 7;
    static constexpr std::int32_t SAMPLE_MORNING = 8;
    static constexpr std::int32_t SAMPLE_DEMOLISH = 1;
    static constexpr std::int32_t SAMPLE_ENTER_BUILDING = 0;
    static constexpr std::int32_t SAMPLE_MARKER_REMOVED = 2;
    // "InGameMessages" entry of the demolition question.
    static constexpr std::int32_t MESSAGE_DEMOLISH = 6;

    // The pictures shown at start-up and while loading.
    static constexpr const char* STUDIO_SCREEN = "images/splash1.tga";
    static constexpr const char* RATING_SCREEN = "images/splash2.tga";
    static constexpr const char* TITLE_SCREEN = "images/titlescreen.tga";
    static constexpr const char* LOADING_SCREEN = "images/loading.tga";
    // The loading frame's text: this entry of the in-game messages in this font.
    static constexpr std::int32_t LOADING_MESSAGE = 13;
    static constexpr std::int32_t LOADING_FONT = 1;
    static constexpr const char* DATA_FILE = "./data.xml";
    static constexpr const char* CONFIG_FILE = "./config.bin";

    CGame();
    ~CGame() override;
    CGame(const CGame&) = delete;
    CGame& operator=(const CGame&) = delete;

    // The game object (set by Init), or null.
    [[nodiscard]] static CGame* Get();
    // Layout units (1024 x 768) to screen pixels; set by Start.
    [[nodiscard]] static float GetScreenScaleX();
    [[nodiscard]] static float GetScreenScaleY();
    // No game, scale factors 1 (tests).
    static void ResetStatics();

    // Everything the game made goes; the game's own fields start again.
    void Destroy() override { Shutdown(); }
    virtual void Shutdown();
    // The game's own fields back to their first values; nothing is deleted
    // here (Shutdown deletes first). Clock and fade layer stay.
    void Reset() override;

    bool Init(const char* pcName) override;
    // Runs the launcher; false when the player leaves there or no display
    // can be chosen (LeftAtLauncher tells the two apart).
    bool ChooseDisplayMode(std::uint32_t& uiAdapter, std::uint32_t& uiMode) override;
    // The player left at the launcher (exit, uninstall, Esc, closed): the
    // program ends with status 0, not as a failed start.
    [[nodiscard]] bool LeftAtLauncher() const { return m_ucLeftAtLauncher != 0; }
    // The locale's language once the locale exists, else the game's own
    // language field (which the launcher sets).
    [[nodiscard]] std::int32_t GetLanguage() const;
    bool Start() override;
    void Render() override;
    // The front end, or a paused game whose camera has not moved since the
    // last call.
    [[nodiscard]] bool IsScreenStill() override;
    // The whole frame Render shows, left in the back buffer unpresented (a
    // picture of the screen reads it there); false when nothing was begun.
    bool DrawFrame();
    void Update(float fDeltaTime) override;

    // One step of the running level that needs no window, renderer or
    // mouse: scaled time, night, objects, clock, world, arrivals.
    virtual void StepSimulation(float fFrameTime);
    // Back to the front end (also the first step of loading a save).
    void ResetGame();
    // Starts the level the level manager holds.
    void LoadLevelData();
    // One step of the night fade by scaled seconds.
    void UpdateEventTimer(float fScaled);
    // The jump to 06:00 of the next day.
    void AdvanceToMorning();
    // What the renderer keeps spare and the heap holds free goes back to
    // the system: called where much was let go (a level left, a level
    // built, the night).
    void ReleaseSpareMemory();
    // Draws the world alone through the game camera; the begin result.
    std::int32_t RenderScene() override;

    // Start-up, loading and fade pictures. A timed screen stays for its
    // time, while the messages are pumped, unless a key or a click ends it;
    // a picture that is not there is neither shown nor waited for.
    void ShowTimedScreen(const char* pcPicture, float fSeconds);
    void ShowLoadingScreen();
    bool BuildColourQuad(const NiColorRGBA& kColour);
    void SetFadeLevel(std::uint8_t ucLevel);
    // The fade quad when it belongs to this layer (1 under the interface,
    // 3 over it) and is not fully clear.
    void DrawFadeQuad(std::uint8_t ucLayer);
    // The prison template's fog colour becomes the background colour.
    void LoadPrisonTemplate();
    // "./config.bin" holds a state line for every scenario of the data
    // document: a missing file is created, a short list padded, each with a
    // line on standard error. False when it cannot be written.
    bool EnsureScenarioStates();

    // Saved games. SaveGame writes "<path>.tmp" and puts it in the place of
    // the path only when every byte went out; false (the old save as it
    // was) otherwise. LoadGame reads the whole file before it lets go of the
    // running game: false, nothing changed, for an empty path, a file that
    // does not open, or a damaged one (a box then names the file and line).
    bool SaveGame(const std::string& kPath);
    bool LoadGame(const std::string& kPath);
    // LoadGame's reading alone: true when the save would load; a damaged
    // one shows the same box. Nothing changes either way.
    bool CheckSave(const std::string& kPath);
    static constexpr std::uint16_t SAVE_VERSION = 1;
    // The build's own stamp written in every save ("HH:MM:SS", "Mmm dd yyyy").
    [[nodiscard]] static const char* BuildTime();
    [[nodiscard]] static const char* BuildDate();
    [[nodiscard]] const std::string& GetLoadedBuildTime() const { return m_kBuildTime; }
    [[nodiscard]] const std::string& GetLoadedBuildDate() const { return m_kBuildDate; }

    // In-game settings: "In_Game_Settings" of the settings document.
    // Written (only with a world) when the player leaves a level, applied
    // (by toggling) when one starts.
    static constexpr const char* SETUP_FILE = "./setup.xml";
    bool WriteSettings();
    void ApplySettings();
    // Marks scenario n "COMPLETE" in "./config.bin" (never creating or
    // extending it); false when nothing was written.
    bool MarkScenarioComplete(std::uint32_t uiScenario);
    void ToggleMusic();
    void ToggleSound();
    void ToggleDetail();
    [[nodiscard]] bool IsMusicOn() const;
    [[nodiscard]] bool IsSoundOn() const;
    [[nodiscard]] bool IsDetailOn() const;

    // Key and mouse handlers the devices call (1: handled; OnMouse 0 outside
    // the front end and a level).
    int OnKey(const COrvaneKeyEvent& kEvent);
    int OnKeyUp(const COrvaneKeyEvent& kEvent);
    int OnMouse(std::int32_t iButton);
    // The answer yes to the quit question: back to the front end.
    void OnQuitConfirmed();
    // Leaves the building view: all floors shown, the view of before the
    // building, panels closed, the building's loop sample stopped.
    void ActOnSelectedBuilding();
    // Opens the building view of the selected building: its interior, the
    // camera at its first corner (the view before remembered), the entry
    // sound and the building's loop sample.
    void EnterBuilding();
    // The object under the mouse as the last pick found it; null for none.
    [[nodiscard]] virtual COrvaneObject* GetPickedObject() const;
    // The staff post's node the last pick passed on its way to the picked
    // object; null when it passed none.
    [[nodiscard]] virtual const NiNodeAttachment* GetPickedPost() const;
    // The world's part of a click: turning or placing what is held,
    // entering, demolishing, picking up or dropping.
    void OnRightClickInWorld();
    void OnLeftClickInWorld();
    // The camera at a corner of the selected building (1 to 4) looking at
    // it, or above it (anything else); -1 takes the next after the corner
    // it stands at. Nothing without a selected building or camera.
    void ChangeFloor(std::int32_t iSide);
    // Demolition: the object is remembered and destroyed (a building once
    // the player has answered the question yes).
    void ConfirmDemolish(COrvaneObject* pkObject);
    void Demolish();
    // The loop sample of a building by its type name.
    [[nodiscard]] static std::int32_t BuildingLoopSample(std::string_view kTypeName);
    [[nodiscard]] static std::int32_t BuildingLoopSample(const CWorldObject& kBuilding);
    // Code entry: idle, typing (after Enter), cheats (for the rest of the run).
    static constexpr std::int32_t CODE_IDLE = 0;
    static constexpr std::int32_t CODE_TYPING = 1;
    static constexpr std::int32_t CODE_CHEATS = 2;
    static constexpr const char* CHEAT_CODE = "copperkites";
    [[nodiscard]] std::int32_t GetCodeEntry() const { return m_iCodeEntry; }
    [[nodiscard]] const std::string& GetTypedCode() const { return m_kTypedCode; }

    [[nodiscard]] COrvaneLevelManager* GetLevelManager() const override;
    [[nodiscard]] CLevelManager* GetGameLevelManager() const { return m_pkLevelManager.get(); }
    [[nodiscard]] CCamera* GetGameCamera() const;
    [[nodiscard]] CGameClock& GetGameClock() { return m_kClock; }
    [[nodiscard]] CSoundSystem* GetSoundSystem() const { return m_pkSoundSystem.get(); }
    [[nodiscard]] CConditions* GetConditions() const { return m_pkConditions.get(); }
    // A scenario's goal or failure result is waiting to be shown.
    [[nodiscard]] bool IsResultPending() const;
    [[nodiscard]] CFrontEndScreens* GetFrontEndScreens() const { return m_pkFrontEnd.get(); }
    // The running scenario's number (its conditions'); -1 outside one.
    [[nodiscard]] std::int32_t GetScenarioNumber() const;
    // Set while a panel (desk top, file panels) holds the game paused at
    // the saved speed.
    [[nodiscard]] bool IsPanelPaused() const { return m_ucPanelPause != 0; }
    void SetPanelPause(bool bPaused) { m_ucPanelPause = bPaused ? 1 : 0; }
    [[nodiscard]] CLocale* GetGameLocale() const;
    // The registry's statistics block, or null.
    [[nodiscard]] CPrisonStatistics* GetStatistics() const;

    [[nodiscard]] float GetFadeLevel() const { return m_fFadeLevel; }
    [[nodiscard]] std::int32_t GetNightState() const { return m_iNightState; }
    // The interface rests (only an open panel takes the mouse) while the
    // screen darkens into the night. The morning's fade-in is play again:
    // the desk top, when it shows, is a panel of its own, and once it is
    // left the bar answers at once.
    [[nodiscard]] bool IsInterfaceResting() const { return m_iNightState == NIGHT_FADING_OUT; }
    [[nodiscard]] float GetGameTime() const { return m_fGameTime; }
    [[nodiscard]] float GetFrameTimeCopy() const { return m_fFrameTime; }
    [[nodiscard]] bool IsInputBlocked() const { return m_ucInputBlocked != 0; }
    void SetInputBlocked(bool bBlocked) { m_ucInputBlocked = bBlocked ? 1 : 0; }
    [[nodiscard]] std::uint8_t GetFadeAlpha() const { return m_ucFadeAlpha; }
    [[nodiscard]] std::uint8_t GetFadeLayer() const { return m_ucFadeLayer; }
    [[nodiscard]] bool HasFadeQuad() const { return m_spFadeQuad != nullptr; }
    // The whole-screen quad that darkens the night; null before a level starts.
    [[nodiscard]] NiScreenPolygon* GetFadeQuad() const { return m_spFadeQuad; }
    // The security-screen overlay of the running level, or null.
    [[nodiscard]] CSecurityScreen* GetSecurityScreen() const { return m_pkSecurityScreen.get(); }
    // One frame of the overlay for the selected building (nothing without one).
    void DrawSecurityScreen();
    // Depth of the fade quad's corners, and its alpha property's flags
    // (blending on, source alpha over the inverse source alpha).
    static constexpr float FADE_QUAD_DEPTH = 0.05f;
    static constexpr std::uint16_t FADE_QUAD_ALPHA_FLAGS = 237;
    [[nodiscard]] const NiColorRGBA& GetFadeColour() const { return m_kFadeColour; }
    // Every picture shown, in order, with its time (the loading screen 0).
    struct ShownScreen
    {
        std::string m_kPicture;
        float m_fSeconds = 0.0f;
    };
    [[nodiscard]] const std::vector<ShownScreen>& GetShownScreens() const { return m_kShownScreens; }

    // The host.
    [[nodiscard]] CClockState GetClock() const override;
    [[nodiscard]] float GetGameSpeed() const override { return m_fGameSpeed; }
    void SetGameSpeed(float fSpeed) override { m_fGameSpeed = fSpeed; }
    [[nodiscard]] float GetSavedSpeed() const override { return m_fSavedSpeed; }
    void SetSavedSpeed(float fSpeed) override { m_fSavedSpeed = fSpeed; }
    void PostMessage(int iMessage) override;
    void PostNumberedMessage(int iMessage, int iValue) override;
    [[nodiscard]] bool IsMessageShowing() const override;
    void PlaySample(int iSample, int iVolume, bool bLoop) override;
    void StopSample(int iSample) override;
    [[nodiscard]] std::uint32_t GetLevelNumber() const override;
    [[nodiscard]] CWorld* GetWorld() const override;
    [[nodiscard]] CSpawnManager* GetSpawnManager() const override { return m_pkSpawnManager.get(); }
    [[nodiscard]] CWorldObject* GetSelectedBuilding() const override { return m_pkSelectedBuilding; }
    void SetSelectedBuilding(CWorldObject* pkBuilding) override { m_pkSelectedBuilding = pkBuilding; }
    [[nodiscard]] const CBaseObject* GetSelectedBuildingObject() const override;
    [[nodiscard]] std::int32_t GetCameraBoundsSide() const override;
    void SetCameraHeight(float fHeight) override;
    void SetCameraBounds(float fFirst, float fSecond, float fThird, float fFourth) override;
    [[nodiscard]] bool IsHeldForPlacing(const COrvaneObject& kObject) const override;
    std::uint16_t TakePersonNumber() override { return m_usNextPerson++; }
    [[nodiscard]] std::uint16_t GetPersonCounter() const override { return m_usNextPerson; }
    void SetPersonCounter(std::uint16_t usCounter) override { m_usNextPerson = usCounter; }
    [[nodiscard]] std::uint16_t GetSaveVersion() const override { return m_usSaveVersion; }
    void SetSaveVersion(std::uint16_t usVersion) { m_usSaveVersion = usVersion; }
    [[nodiscard]] COrvaneCamera* GetCamera() const override;
    [[nodiscard]] COrvaneAIControllerManager* GetControllerManager() const override;
    void ObjectDestroyed(COrvaneObject* pkObject) override;
    // The item the build page holds for the object being committed, else
    // the item whose picture is named after the object's model.
    bool FindBuildMenuItem(const COrvaneObject& kObject, bool bInternal, CBuildMenuItem& kOut) override;
    void SpawnStaffForRoom(CPathableObject& kRoom) override;
    COrvaneImage* FindOrLoadImage(const char* pcPath) override;
    void SetArrivalPath(std::unique_ptr<COrvaneAnimationSpline> pkSpline, COrvaneObject* pkVehicle) override;

    // The mouse pick of the level (made at level entry), or null.
    [[nodiscard]] COrvaneWorldPicker* GetPicker() const { return m_pkPicker.get(); }

private:
    // The save read whole and its templates checked as far as they can be
    // before the running game goes; false after the box.
    bool ReadSave(const std::string& kPath, CSaveFile& kSave);
    // The camera frame: begin and clear; end and present.
    // The point under the mouse becomes the grid manager's pick.
    void UpdateMousePick();
    // The end of a frame's input, whether the frame went through or not:
    // its keys and the turn its moves summed go, so that none reaches the
    // next frame that does (the front end's first after a result, say).
    void ClearFrameInput();
    bool BeginCameraFrame();
    void EndCameraFrame();
    // One frame with the picture (false, nothing drawn, when it is not
    // there); the loading frame also draws its text, picture or not.
    bool DrawScreenPicture(const char* pcPicture, bool bLoadingText = false);
    // Pumps the messages until the time passed (true) or a key, a click or
    // the quit message came (false).
    bool WaitOnScreen(float fSeconds);

    float m_fFadeLevel = 0.0f;
    std::int32_t m_iNightState = NIGHT_NONE;
    float m_fFrameTime = 0.0f;
    float m_fGameSpeed = 1.0f;
    float m_fSavedSpeed = 1.0f;
    float m_fGameTime = 0.0f;
    std::uint8_t m_ucInputBlocked = 0;
    std::uint8_t m_ucPanelPause = 0;
    std::unique_ptr<CConditions> m_pkConditions;
    NiScreenPolygonPtr m_spFadeQuad;
    NiColorRGBA m_kFadeColour{0.0f, 0.0f, 0.0f, 1.0f};
    std::uint8_t m_ucFadeAlpha = 0;
    std::uint8_t m_ucFadeLayer = 1;
    // Where the camera stood at the last IsScreenStill.
    NiXform m_kStillCamera;
    std::uint16_t m_usNextPerson = 0;
    std::unique_ptr<CFrontEndScreens> m_pkFrontEnd;
    std::unique_ptr<CSoundSystem> m_pkSoundSystem;
    std::string m_kBuildTime;
    std::string m_kBuildDate;
    std::uint16_t m_usSaveVersion = 0;
    CWorldObject* m_pkSelectedBuilding = nullptr; // link: the registry owns it
    std::int32_t m_iCodeEntry = 0;
    std::string m_kTypedCode;
    COrvaneObject* m_pkDemolishTarget = nullptr; // link: the registry owns it
    CGameClock m_kClock;
    std::unique_ptr<CStartUp> m_pkStartUp;
    // The overlay while a level runs; drawn while a building is selected.
    std::unique_ptr<CSecurityScreen> m_pkSecurityScreen;
    std::int32_t m_iLanguage = 0;
    std::uint8_t m_ucLanguageChosen = 0;
    std::uint8_t m_ucLeftAtLauncher = 0;
    std::unique_ptr<CSpawnManager> m_pkSpawnManager;
    // The seven shared AI controllers, made in the start sequence.
    std::unique_ptr<CAIControllerManager> m_pkControllers;
    std::unique_ptr<CLevelManager> m_pkLevelManager;
    // The demo data's scene, drawn under everything while the file is there.
    std::unique_ptr<COrvaneWorldPicker> m_pkPicker;
    // Where the pointer stood when the pick was last taken.
    float m_afPickedAt[2] = {-1.0f, -1.0f};
    std::vector<ShownScreen> m_kShownScreens;
};

// The factory the entry hands to the application.
class CGameFactory : public COrvaneGameFactory
{
public:
    std::unique_ptr<COrvaneGame> CreateGame() override;
};
