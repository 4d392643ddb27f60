#pragma once

#include "framework/COrvaneCanvas.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class COrvaneImage;

// A canvas listing the save files (".fds") and sub-folders of the current
// folder with a selection and the selected file's preview picture (".fdp");
// walking into a folder changes the process's working directory, so the
// panels open names relative to it.
class COrvaneFileIOCanvas : public COrvaneCanvas
{
public:
    static constexpr std::uint32_t KIND_FILE = 1;
    static constexpr std::uint32_t KIND_FOLDER = 2;

    struct Entry
    {
        std::string m_kName;
        std::uint32_t m_uiKind = 0;
    };

    COrvaneFileIOCanvas();
    ~COrvaneFileIOCanvas() override;

    void Destroy() override;
    void Reset() override;
    void Draw() override;
    // The canvas, the name field, the start folder (the working directory)
    // and the current folder "./".
    void Create(const char* pcImageName, float fX, float fY, bool bScale) override;
    // Changes into "maps".
    virtual void OpenSaveFolder();

    // Lists the working directory: files first, then folders, each by name;
    // the first file ends selected with its preview.
    void ScanFolder();
    // Into a folder relative to the working directory; false when the
    // change fails (the folder is rescanned all the same).
    bool ChangeFolder(const std::string& kPath);
    bool ChangeFolderTo(const std::string& kPath) { return ChangeFolder(kPath); }
    void GoToStartFolder();
    // A file entry becomes the selection and shows its preview; a folder
    // entry is entered unless asked to stay.
    void LoadPreview(std::int32_t iIndex, bool bStayInFolder);
    void ShowPreview(const std::string& kFileName);
    // The preview goes; the game's camera draws the current view and stores
    // it as the named preview picture (the two sizes are the save panel's
    // and not used). False when no picture was written.
    bool CapturePreview(const std::string& kFileName, std::int32_t iWidth, std::int32_t iHeight);

    [[nodiscard]] bool HasFiles() const { return m_iHasFiles != 0; }
    [[nodiscard]] const std::string& GetStartFolder() const { return m_kStartFolder; }
    [[nodiscard]] const std::string& GetCurrentFolder() const { return m_kCurrentFolder; }
    [[nodiscard]] std::int16_t GetSelected() const { return m_sSelected; }
    [[nodiscard]] std::int16_t GetNameField() const { return m_sNameField; }
    [[nodiscard]] std::int16_t GetScroll() const { return m_sScroll; }
    [[nodiscard]] COrvaneImage* GetPreview() const { return m_pkPreview.get(); }
    [[nodiscard]] const std::vector<Entry>& GetEntries() const { return m_kEntries; }

protected:
    std::int32_t m_iHasFiles = 0;
    std::int32_t m_iPreviewX = 200;
    std::int32_t m_iPreviewY = 160;
    std::string m_kStartFolder;
    std::string m_kCurrentFolder;
    std::int16_t m_sNameField = -1;
    std::int16_t m_sScroll = 0;
    std::int16_t m_sSelected = -1;
    std::unique_ptr<COrvaneImage> m_pkPreview;
    std::vector<Entry> m_kEntries;

private:
    void SetNameText(const std::string& kText);
};
