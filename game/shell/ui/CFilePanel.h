#pragma once

#include "framework/COrvaneFileIOCanvas.h"

#include <cstdint>
#include <string>

// The two file panels over the save folder: the player browses "maps" and
// its sub-folders, picks or types a name, and saves, loads, makes a folder
// or deletes a save or an empty folder; every step that changes or loses
// something is asked first. Every typed name passes the save-name rule and
// every path is made inside the save folder before anything is touched.
class CFilePanel : public COrvaneFileIOCanvas
{
public:
    static constexpr std::int32_t WIDGET_CLOSE = 1;
    static constexpr std::int32_t WIDGET_TITLE = 2;
    static constexpr std::int32_t WIDGET_NEW_FOLDER = 3;
    static constexpr std::int32_t WIDGET_UP = 4;
    static constexpr std::int32_t WIDGET_DELETE = 5;
    static constexpr std::int32_t WIDGET_ACTION = 6;
    static constexpr std::int32_t WIDGET_SCROLL_UP = 7;
    static constexpr std::int32_t WIDGET_SCROLL_DOWN = 8;
    static constexpr std::int32_t WIDGET_FIRST_ROW = 9;
    static constexpr std::int32_t ROWS = 5;
    // Questions of "InGameMessages".
    static constexpr std::int32_t QUESTION_OVERWRITE = 0;
    static constexpr std::int32_t QUESTION_LOAD = 1;
    static constexpr std::int32_t QUESTION_NEW_FOLDER = 52;
    static constexpr std::int32_t QUESTION_DELETE_SAVE = 53;
    static constexpr std::int32_t QUESTION_DELETE_FOLDER = 54;
    static constexpr float PREVIEW_X = 184.0f;
    static constexpr float PREVIEW_Y = 96.0f;
    static constexpr float NAME_WIDTH = 100.0f;
    // The rows of the list, ROW_HEIGHT apart from (ROW_X, ROW_Y) inside the
    // panel.
    static constexpr float ROW_X = 55.0f;
    static constexpr float ROW_Y = 96.0f;
    static constexpr float ROW_HEIGHT = 15.0f;
    // The typed name has a line of its own under the rows and the line
    // below them (where the load panel says it has no saves): drawn in
    // among the rows, it overprinted the third and fourth names. Beside the
    // rows, clear of the scroll button under them.
    static constexpr float NAME_X = ROW_X;
    static constexpr float NAME_Y = ROW_Y + ROW_HEIGHT * static_cast<float>(ROWS + 1);

    // The file canvas, the preview place and the name field's width.
    void Create(const char* pcImageName, float fX, float fY, bool bScale) override;
    void OnWidgetEvent(std::int32_t iIndex, std::int32_t iEvent) override;
    // Widgets and preview, the five rows (folders red), the typed name.
    void Draw() override;

    // The interface opened the panel: the game's keys blocked, into the
    // save folder (made when it is missing).
    void Open();
    // Every way off the stack: back to the start folder, the game speed the
    // opener saved, the input block lifted.
    virtual void Leave();
    // Leave and off the stack.
    virtual void Close() = 0;

    // The name field's text.
    [[nodiscard]] std::string GetTypedName() const;
    void SetTypedName(const std::string& kName);
    // The path of name + extension in the browsed folder, absolute; empty
    // when the name breaks the save-name rule or the folder lies outside
    // the save folder.
    [[nodiscard]] std::string PathFor(const std::string& kName, const char* pcExtension) const;

    // Confirmed steps shared by both panels.
    void MakeFolderNow();
    void DeleteSelectedNow();

protected:
    virtual void OnAction() = 0;
    // The opening code's pause undone.
    static void RestoreGame();
    static void ReleaseLeftButton();
    void AskDelete();
    void Ask(std::int32_t iQuestion, bool bCloseBelow, bool bWithName, void (*pfnYes)());
    // The empty browsed folder below the save folder that delete removes;
    // empty when there is none.
    [[nodiscard]] std::string EmptyFolderPath() const;
    virtual void (*MakeFolderCallback())() = 0;
    virtual void (*DeleteCallback())() = 0;

private:
    void MarkSelectedRow();
    // The title-bar drag, kept on screen and off the main panel.
    void Drag();
};

// Panel 5: loads the chosen save (asking first during play).
class CLoadPanel : public CFilePanel
{
public:
    CLoadPanel() = default;
    ~CLoadPanel() override;

    // The in-game message a load panel shows while its folder holds no
    // saved game.
    static constexpr std::int32_t MESSAGE_NO_SAVES = 83;

    void Create(const char* pcImageName, float fX, float fY, bool bScale) override;
    // Leave, off the stack, and the interface's load-panel flag down.
    void Close() override;
    // The file panel's rows; where there is no saved game to load, a line
    // that says so in the rows' place.
    void Draw() override;

    // The confirmation's answers act on the last load panel made.
    static void LoadSelected();
    static void MakeFolder();
    static void DeleteSelected();
    [[nodiscard]] static CLoadPanel* GetExisting() { return s_pkPanel; }

    // Back to the start folder; a save that exists, is not empty and reads
    // whole is loaded (the front end's screens and music go first); the
    // panel closes in every case.
    void LoadSelectedNow();

protected:
    void OnAction() override;
    void (*MakeFolderCallback())() override { return &CLoadPanel::MakeFolder; }
    void (*DeleteCallback())() override { return &CLoadPanel::DeleteSelected; }

private:
    static CLoadPanel* s_pkPanel;
};

// Panel 6: saves the running game with its preview picture.
class CSavePanel : public CFilePanel
{
public:
    static constexpr std::int32_t PREVIEW_SIZE = 64;

    CSavePanel() = default;
    ~CSavePanel() override;

    void Create(const char* pcImageName, float fX, float fY, bool bScale) override;
    void Close() override;

    static void SaveConfirmed();
    static void MakeFolder();
    static void DeleteSelected();
    [[nodiscard]] static CSavePanel* GetExisting() { return s_pkPanel; }

    // The game to name + ".fds", then its preview; false (with a box naming
    // the file, no preview) when the game could not be saved or the name
    // may not be used.
    bool WriteSave();
    // Written: the panel closes; not written: it stays open.
    void SaveConfirmedNow();

protected:
    void OnAction() override;
    void (*MakeFolderCallback())() override { return &CSavePanel::MakeFolder; }
    void (*DeleteCallback())() override { return &CSavePanel::DeleteSelected; }

private:
    static CSavePanel* s_pkPanel;
};
