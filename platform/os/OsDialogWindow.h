#pragma once

// A small window of its own for 2-D dialogs drawn from pictures: the caller
// paints pixel rows and text into a back picture, list pickers (the dialog's
// drop-down lists) are drawn over it, and input comes back as events in the
// window's client pixels. Runs on the headless drivers too; there nothing
// is seen, but the presented picture can be read back.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace os
{
struct DialogEvent
{
    enum class Type
    {
        None,
        MouseMove,
        LeftDown,
        LeftUp,
        Key,           // key: the virtual-key code
        Close,         // the window's close button, or the program asked to quit
        PickerChanged, // picker: the list whose selection the user changed
    };
    Type type = Type::None;
    int x = 0;
    int y = 0;
    std::uint32_t key = 0;
    int picker = -1;
};

class DialogWindow
{
public:
    DialogWindow();
    ~DialogWindow();
    DialogWindow(const DialogWindow&) = delete;
    DialogWindow& operator=(const DialogWindow&) = delete;

    // A borderless window of that client size, centred on the first display,
    // with a black back picture. False (with a line on standard error) when
    // SDL or the window cannot be started.
    bool Create(int width, int height);
    void Destroy();
    [[nodiscard]] bool IsOpen() const;
    [[nodiscard]] int GetWidth() const { return m_width; }
    [[nodiscard]] int GetHeight() const { return m_height; }
    // SDL's id of the window, for input injected by tests; 0 when closed.
    [[nodiscard]] std::uint32_t GetWindowId() const;

    // Drawing into the back picture, clipped to it. Colours are 0xAARRGGBB;
    // pictures are opaque.
    void Fill(int x, int y, int width, int height, std::uint32_t colour);
    // rows: width x height pixels, top row first, rowPixels apart.
    void Blit(int x, int y, int width, int height, const std::uint32_t* rows, int rowPixels);
    // One line of text with its top-left corner at (x, y) in the dialog
    // font (DejaVu Sans) at the pixel size; false when the font is missing.
    bool DrawText(int x, int y, std::string_view utf8, std::uint32_t colour, int pixelSize = 13);
    // The pixel width of a line of text; 0 without the font.
    [[nodiscard]] int TextWidth(std::string_view utf8, int pixelSize = 13);
    // Copies the back picture to the shown one, draws the visible pickers
    // over it and shows it.
    void Present();
    // A pixel of the last presented picture; 0 outside it.
    [[nodiscard]] std::uint32_t ReadPixel(int x, int y) const;

    // List pickers: a closed box of closedHeight at (x, y) showing the
    // selected entry, dropping a list of at most listHeight below it when
    // clicked (16-pixel rows; the wheel scrolls a longer list). Returns the
    // picker's number.
    int AddPicker(int x, int y, int width, int closedHeight, int listHeight);
    // Returns the new entry's index; -1 for an unknown picker.
    int AddItem(int picker, std::string text, std::int64_t data);
    void ClearItems(int picker);
    [[nodiscard]] int GetItemCount(int picker) const;
    // -1 clears the selection; an index outside the list is refused.
    bool SetSelection(int picker, int index);
    [[nodiscard]] int GetSelection(int picker) const;
    [[nodiscard]] std::int64_t GetItemData(int picker, int index) const;
    [[nodiscard]] std::string GetItemText(int picker, int index) const;
    void ShowPicker(int picker, bool show);
    [[nodiscard]] bool IsPickerShown(int picker) const;
    [[nodiscard]] bool IsPickerOpen(int picker) const;

    // The next event of this window, waiting at most timeoutMs. Clicks on
    // the pickers are handled here (opening, choosing, closing) and only
    // their result comes out. False when nothing came in time.
    bool WaitEvent(DialogEvent& event, int timeoutMs);

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
    int m_width = 0;
    int m_height = 0;
};

// Called, when set, whenever a dialog window finds no event waiting, so a
// test can act on the open dialog step by step; os::Reset removes it.
using DialogIdleHook = std::function<void(DialogWindow&)>;
void SetDialogIdleHook(DialogIdleHook hook);
} // namespace os
