#include "platform/os/OsDialogWindow.h"

#include "platform/os/OsDefs.h"
#include "platform/os/OsInput.h"
#include "platform/os/OsLocal.h"
#include "platform/os/OsSystem.h"

#include <SDL.h>
#include <SDL_ttf.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <vector>

#ifndef ORVANE_DIALOG_FONT
#define ORVANE_DIALOG_FONT ""
#endif

namespace os
{
namespace
{
DialogIdleHook& IdleHook()
{
    static DialogIdleHook hook;
    return hook;
}

// Rows of one entry in an open list.
constexpr int ROW_HEIGHT = 16;
constexpr std::uint32_t BOX_FACE = 0xFFFFFFFFu;
constexpr std::uint32_t BOX_EDGE = 0xFF404040u;
constexpr std::uint32_t BOX_TEXT = 0xFF000000u;
constexpr std::uint32_t CHOSEN_FACE = 0xFF30508Cu;
constexpr std::uint32_t CHOSEN_TEXT = 0xFFFFFFFFu;
constexpr std::uint32_t ARROW_FACE = 0xFFD4D0C8u;

struct Picture
{
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;

    void Fill(int x, int y, int w, int h, std::uint32_t colour)
    {
        const int x0 = std::max(x, 0), y0 = std::max(y, 0);
        const int x1 = std::min(x + w, width), y1 = std::min(y + h, height);
        for (int row = y0; row < y1; ++row)
            std::fill(pixels.begin() + row * width + x0, pixels.begin() + row * width + x1, colour);
    }
};

struct Entry
{
    std::string text;
    std::int64_t data = 0;
};

struct Picker
{
    int x = 0, y = 0, width = 0, closedHeight = 0, listHeight = 0;
    std::vector<Entry> entries;
    int selection = -1;
    bool shown = true;
    bool open = false;
    int firstRow = 0; // the top entry of the open list

    [[nodiscard]] int VisibleRows() const { return std::max(1, listHeight / ROW_HEIGHT); }
    [[nodiscard]] int ListHeight() const
    {
        return std::min(static_cast<int>(entries.size()), VisibleRows()) * ROW_HEIGHT + 2;
    }
    [[nodiscard]] bool InBox(int px, int py) const
    {
        return px >= x && px < x + width && py >= y && py < y + closedHeight;
    }
    [[nodiscard]] bool InList(int px, int py) const
    {
        return open && px >= x && px < x + width && py >= y + closedHeight && py < y + closedHeight + ListHeight();
    }
    void ScrollTo(int index)
    {
        const int rows = VisibleRows();
        if (index < firstRow)
            firstRow = std::max(index, 0);
        else if (index >= firstRow + rows)
            firstRow = index - rows + 1;
        firstRow = std::clamp(firstRow, 0, std::max(0, static_cast<int>(entries.size()) - rows));
    }
};

// TTF_Init is counted: every open window holds one start.
struct FontCloser
{
    void operator()(TTF_Font* font) const { TTF_CloseFont(font); }
};
struct SurfaceFreer
{
    void operator()(SDL_Surface* surface) const { SDL_FreeSurface(surface); }
};
} // namespace

struct DialogWindow::Impl
{
    SDL_Window* window = nullptr;
    bool ttfStarted = false;
    bool fontMissingTold = false;
    std::map<int, std::unique_ptr<TTF_Font, FontCloser>> fonts;
    Picture back;
    Picture shown;
    std::vector<Picker> pickers;
    // The release of a press a picker took belongs to the picker too.
    bool swallowRelease = false;

    TTF_Font* Font(int pixelSize)
    {
        if (!ttfStarted)
            return nullptr;
        auto found = fonts.find(pixelSize);
        if (found != fonts.end())
            return found->second.get();
        TTF_Font* font = TTF_OpenFont(ORVANE_DIALOG_FONT, pixelSize);
        if (font == nullptr)
        {
            if (!fontMissingTold)
                std::fprintf(stderr, "dialog: no text, the font \"%s\" cannot be opened\n", ORVANE_DIALOG_FONT);
            fontMissingTold = true;
            return nullptr;
        }
        fonts[pixelSize].reset(font);
        return font;
    }

    // A list entry's text size: 12 pixels, or smaller down to 8 where the
    // entry would not fit its room (long mode and adapter names); what still
    // does not fit is cut at the room's edge.
    int FittingSize(const std::string& text, int room)
    {
        int size = 12;
        for (; size > 8; --size)
        {
            TTF_Font* font = Font(size);
            int width = 0;
            if (font == nullptr || TTF_SizeUTF8(font, text.c_str(), &width, nullptr) != 0 || width <= room)
                break;
        }
        return size;
    }

    bool Text(Picture& target, int x, int y, std::string_view utf8, std::uint32_t colour, int pixelSize, int clipX,
              int clipRight)
    {
        TTF_Font* font = Font(pixelSize);
        if (font == nullptr)
            return false;
        if (utf8.empty())
            return true;
        const std::string text(utf8);
        const SDL_Color white{255, 255, 255, 255};
        std::unique_ptr<SDL_Surface, SurfaceFreer> drawn(TTF_RenderUTF8_Blended(font, text.c_str(), white));
        std::unique_ptr<SDL_Surface, SurfaceFreer> surface(
            drawn ? SDL_ConvertSurfaceFormat(drawn.get(), SDL_PIXELFORMAT_ARGB8888, 0) : nullptr);
        if (!surface)
            return false;
        // The drawn coverage blends the colour over what is there.
        const std::uint32_t red = (colour >> 16) & 0xFF, green = (colour >> 8) & 0xFF, blue = colour & 0xFF;
        for (int row = 0; row < surface->h; ++row)
        {
            const int ty = y + row;
            if (ty < 0 || ty >= target.height)
                continue;
            const auto* source =
                reinterpret_cast<const std::uint32_t*>(static_cast<const std::uint8_t*>(surface->pixels) +
                                                       row * surface->pitch);
            for (int column = 0; column < surface->w; ++column)
            {
                const int tx = x + column;
                if (tx < std::max(0, clipX) || tx >= std::min(target.width, clipRight))
                    continue;
                const std::uint32_t alpha = source[column] >> 24;
                if (alpha == 0)
                    continue;
                std::uint32_t& pixel = target.pixels[static_cast<std::size_t>(ty) * target.width + tx];
                const auto mix = [alpha](std::uint32_t over, std::uint32_t under) {
                    return (over * alpha + under * (255 - alpha) + 127) / 255;
                };
                pixel = 0xFF000000u | (mix(red, (pixel >> 16) & 0xFF) << 16) | (mix(green, (pixel >> 8) & 0xFF) << 8) |
                        mix(blue, pixel & 0xFF);
            }
        }
        return true;
    }

    void DrawPicker(const Picker& picker)
    {
        Picture& p = shown;
        p.Fill(picker.x, picker.y, picker.width, picker.closedHeight, BOX_EDGE);
        p.Fill(picker.x + 1, picker.y + 1, picker.width - 2, picker.closedHeight - 2, BOX_FACE);
        const int arrow = picker.closedHeight - 2;
        const int arrowX = picker.x + picker.width - 1 - arrow;
        p.Fill(arrowX, picker.y + 1, arrow, arrow, ARROW_FACE);
        // A small downward triangle.
        for (int line = 0; line < 4; ++line)
            p.Fill(arrowX + arrow / 2 - 3 + line, picker.y + picker.closedHeight / 2 - 2 + line, 7 - 2 * line, 1,
                   BOX_TEXT);
        if (picker.selection >= 0)
        {
            const std::string& text = picker.entries[static_cast<std::size_t>(picker.selection)].text;
            (void)Text(p, picker.x + 4, picker.y + (picker.closedHeight - 15) / 2, text, BOX_TEXT,
                       FittingSize(text, arrowX - 1 - (picker.x + 4)), picker.x + 2, arrowX - 1);
        }
        if (!picker.open)
            return;
        const int top = picker.y + picker.closedHeight;
        p.Fill(picker.x, top, picker.width, picker.ListHeight(), BOX_EDGE);
        p.Fill(picker.x + 1, top + 1, picker.width - 2, picker.ListHeight() - 2, BOX_FACE);
        const int rows = std::min(static_cast<int>(picker.entries.size()) - picker.firstRow, picker.VisibleRows());
        for (int row = 0; row < rows; ++row)
        {
            const int index = picker.firstRow + row;
            const int rowY = top + 1 + row * ROW_HEIGHT;
            const bool chosen = index == picker.selection;
            if (chosen)
                p.Fill(picker.x + 1, rowY, picker.width - 2, ROW_HEIGHT, CHOSEN_FACE);
            const std::string& text = picker.entries[static_cast<std::size_t>(index)].text;
            (void)Text(p, picker.x + 4, rowY, text, chosen ? CHOSEN_TEXT : BOX_TEXT,
                       FittingSize(text, picker.width - 6), picker.x + 2, picker.x + picker.width - 2);
        }
    }

    void Show()
    {
        shown.pixels = back.pixels;
        for (const Picker& picker : pickers)
            if (picker.shown)
                DrawPicker(picker);
        if (window == nullptr)
            return;
        SDL_Surface* surface = SDL_GetWindowSurface(window);
        if (surface == nullptr)
            return;
        std::unique_ptr<SDL_Surface, SurfaceFreer> source(SDL_CreateRGBSurfaceWithFormatFrom(
            shown.pixels.data(), shown.width, shown.height, 32, shown.width * 4, SDL_PIXELFORMAT_ARGB8888));
        if (source && SDL_BlitSurface(source.get(), nullptr, surface, nullptr) == 0)
            (void)SDL_UpdateWindowSurface(window);
    }

    // A press of the left button: true when a picker took it.
    bool PressOnPickers(int x, int y, DialogEvent& event)
    {
        for (std::size_t i = 0; i < pickers.size(); ++i)
        {
            Picker& picker = pickers[i];
            if (!picker.shown)
                continue;
            if (picker.InList(x, y))
            {
                const int index = picker.firstRow + (y - picker.y - picker.closedHeight - 1) / ROW_HEIGHT;
                picker.open = false;
                if (index >= 0 && index < static_cast<int>(picker.entries.size()))
                {
                    const bool changed = index != picker.selection;
                    picker.selection = index;
                    if (changed)
                    {
                        event.type = DialogEvent::Type::PickerChanged;
                        event.picker = static_cast<int>(i);
                    }
                }
                Show();
                return true;
            }
            if (picker.InBox(x, y))
            {
                picker.open = !picker.open;
                if (picker.open)
                    picker.ScrollTo(picker.selection);
                for (std::size_t other = 0; other < pickers.size(); ++other)
                    if (other != i)
                        pickers[other].open = false;
                Show();
                return true;
            }
        }
        // A press elsewhere only closes an open list.
        bool closed = false;
        for (Picker& picker : pickers)
        {
            closed |= picker.open;
            picker.open = false;
        }
        if (closed)
            Show();
        return closed;
    }

    bool WheelOnPickers(int notches)
    {
        for (Picker& picker : pickers)
        {
            if (!picker.open)
                continue;
            picker.firstRow -= notches;
            picker.ScrollTo(std::clamp(picker.firstRow, 0, static_cast<int>(picker.entries.size()) - 1));
            Show();
            return true;
        }
        return false;
    }
};

DialogWindow::DialogWindow() : m_impl(std::make_unique<Impl>()) {}

DialogWindow::~DialogWindow()
{
    Destroy();
}

bool DialogWindow::Create(int width, int height)
{
    Destroy();
    if (width <= 0 || height <= 0 || !detail::EnsureStarted())
    {
        std::fprintf(stderr, "dialog: cannot open a window (%s)\n", SDL_GetError());
        return false;
    }
    // The dialog draws in software. Left to itself SDL may give the window's
    // surface an accelerated renderer with a GL context of its own; on EGL
    // drivers (offscreen) the game's device made after the dialog then gets
    // no current context. An explicit choice in the environment still wins.
    SDL_SetHintWithPriority(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0", SDL_HINT_DEFAULT);
    m_impl->window = SDL_CreateWindow("", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, width, height,
                                      SDL_WINDOW_BORDERLESS | SDL_WINDOW_SHOWN);
    if (m_impl->window == nullptr)
    {
        std::fprintf(stderr, "dialog: cannot open a window (%s)\n", SDL_GetError());
        return false;
    }
    m_impl->ttfStarted = TTF_Init() == 0;
    m_width = width;
    m_height = height;
    for (Picture* picture : {&m_impl->back, &m_impl->shown})
    {
        picture->width = width;
        picture->height = height;
        picture->pixels.assign(static_cast<std::size_t>(width) * height, 0xFF000000u);
    }
    SDL_RaiseWindow(m_impl->window);
    return true;
}

void DialogWindow::Destroy()
{
    m_impl->fonts.clear();
    if (m_impl->ttfStarted)
        TTF_Quit();
    m_impl->ttfStarted = false;
    if (m_impl->window != nullptr)
        SDL_DestroyWindow(m_impl->window);
    m_impl->window = nullptr;
    m_impl->pickers.clear();
    m_impl->back = Picture{};
    m_impl->shown = Picture{};
    m_width = 0;
    m_height = 0;
}

bool DialogWindow::IsOpen() const
{
    return m_impl->window != nullptr;
}

std::uint32_t DialogWindow::GetWindowId() const
{
    return m_impl->window != nullptr ? SDL_GetWindowID(m_impl->window) : 0;
}

void DialogWindow::Fill(int x, int y, int width, int height, std::uint32_t colour)
{
    m_impl->back.Fill(x, y, width, height, colour | 0xFF000000u);
}

void DialogWindow::Blit(int x, int y, int width, int height, const std::uint32_t* rows, int rowPixels)
{
    Picture& back = m_impl->back;
    if (rows == nullptr || width <= 0 || height <= 0 || rowPixels < width)
        return;
    const int x0 = std::max(x, 0);
    const int x1 = std::min(x + width, back.width);
    if (x0 >= x1)
        return;
    for (int row = 0; row < height; ++row)
    {
        const int ty = y + row;
        if (ty < 0 || ty >= back.height)
            continue;
        const std::uint32_t* source = rows + static_cast<std::size_t>(row) * rowPixels + (x0 - x);
        std::uint32_t* target = back.pixels.data() + static_cast<std::size_t>(ty) * back.width + x0;
        std::transform(source, source + (x1 - x0), target, [](std::uint32_t pixel) { return pixel | 0xFF000000u; });
    }
}

bool DialogWindow::DrawText(int x, int y, std::string_view utf8, std::uint32_t colour, int pixelSize)
{
    return m_impl->Text(m_impl->back, x, y, utf8, colour, pixelSize, 0, m_width);
}

int DialogWindow::TextWidth(std::string_view utf8, int pixelSize)
{
    TTF_Font* font = m_impl->Font(pixelSize);
    int width = 0;
    const std::string text(utf8);
    if (font == nullptr || TTF_SizeUTF8(font, text.c_str(), &width, nullptr) != 0)
        return 0;
    return width;
}

void DialogWindow::Present()
{
    m_impl->Show();
}

std::uint32_t DialogWindow::ReadPixel(int x, int y) const
{
    const Picture& shown = m_impl->shown;
    if (x < 0 || y < 0 || x >= shown.width || y >= shown.height)
        return 0;
    return shown.pixels[static_cast<std::size_t>(y) * shown.width + x];
}

int DialogWindow::AddPicker(int x, int y, int width, int closedHeight, int listHeight)
{
    Picker picker;
    picker.x = x;
    picker.y = y;
    picker.width = width;
    picker.closedHeight = closedHeight;
    picker.listHeight = std::max(listHeight, ROW_HEIGHT);
    m_impl->pickers.push_back(picker);
    return static_cast<int>(m_impl->pickers.size()) - 1;
}

int DialogWindow::AddItem(int picker, std::string text, std::int64_t data)
{
    if (picker < 0 || picker >= static_cast<int>(m_impl->pickers.size()))
        return -1;
    auto& entries = m_impl->pickers[static_cast<std::size_t>(picker)].entries;
    entries.push_back(Entry{std::move(text), data});
    return static_cast<int>(entries.size()) - 1;
}

void DialogWindow::ClearItems(int picker)
{
    if (picker < 0 || picker >= static_cast<int>(m_impl->pickers.size()))
        return;
    Picker& p = m_impl->pickers[static_cast<std::size_t>(picker)];
    p.entries.clear();
    p.selection = -1;
    p.firstRow = 0;
    p.open = false;
}

int DialogWindow::GetItemCount(int picker) const
{
    if (picker < 0 || picker >= static_cast<int>(m_impl->pickers.size()))
        return 0;
    return static_cast<int>(m_impl->pickers[static_cast<std::size_t>(picker)].entries.size());
}

bool DialogWindow::SetSelection(int picker, int index)
{
    if (picker < 0 || picker >= static_cast<int>(m_impl->pickers.size()))
        return false;
    Picker& p = m_impl->pickers[static_cast<std::size_t>(picker)];
    if (index < -1 || index >= static_cast<int>(p.entries.size()))
        return false;
    p.selection = index;
    p.ScrollTo(index);
    return true;
}

int DialogWindow::GetSelection(int picker) const
{
    if (picker < 0 || picker >= static_cast<int>(m_impl->pickers.size()))
        return -1;
    return m_impl->pickers[static_cast<std::size_t>(picker)].selection;
}

std::int64_t DialogWindow::GetItemData(int picker, int index) const
{
    if (index < 0 || index >= GetItemCount(picker))
        return -1;
    return m_impl->pickers[static_cast<std::size_t>(picker)].entries[static_cast<std::size_t>(index)].data;
}

std::string DialogWindow::GetItemText(int picker, int index) const
{
    if (index < 0 || index >= GetItemCount(picker))
        return {};
    return m_impl->pickers[static_cast<std::size_t>(picker)].entries[static_cast<std::size_t>(index)].text;
}

void DialogWindow::ShowPicker(int picker, bool show)
{
    if (picker < 0 || picker >= static_cast<int>(m_impl->pickers.size()))
        return;
    Picker& p = m_impl->pickers[static_cast<std::size_t>(picker)];
    p.shown = show;
    if (!show)
        p.open = false;
}

bool DialogWindow::IsPickerShown(int picker) const
{
    return picker >= 0 && picker < static_cast<int>(m_impl->pickers.size()) &&
           m_impl->pickers[static_cast<std::size_t>(picker)].shown;
}

bool DialogWindow::IsPickerOpen(int picker) const
{
    return picker >= 0 && picker < static_cast<int>(m_impl->pickers.size()) &&
           m_impl->pickers[static_cast<std::size_t>(picker)].open;
}

bool DialogWindow::WaitEvent(DialogEvent& event, int timeoutMs)
{
    event = DialogEvent{};
    if (m_impl->window == nullptr)
        return false;
    const std::uint32_t own = SDL_GetWindowID(m_impl->window);
    const std::uint64_t deadline = SDL_GetTicks64() + static_cast<std::uint64_t>(std::max(timeoutMs, 0));
    bool idleCalled = false;
    for (;;)
    {
        // The other layers' per-pass work (a stream's end) goes on meanwhile.
        if (auto hook = detail::PumpHookSlot())
            hook();
        SDL_Event sdl;
        if (SDL_PollEvent(&sdl) == 0)
        {
            if (IdleHook() && !idleCalled)
            {
                // The hook may push the next events; look again before waiting.
                idleCalled = true;
                IdleHook()(*this);
                continue;
            }
            const std::uint64_t now = SDL_GetTicks64();
            if (now >= deadline)
                return false;
            idleCalled = false;
            (void)SDL_WaitEventTimeout(nullptr, static_cast<int>(std::min<std::uint64_t>(deadline - now, 50)));
            continue;
        }
        switch (sdl.type)
        {
        case SDL_QUIT:
            event.type = DialogEvent::Type::Close;
            return true;
        case SDL_WINDOWEVENT:
            if (sdl.window.windowID == own && sdl.window.event == SDL_WINDOWEVENT_CLOSE)
            {
                event.type = DialogEvent::Type::Close;
                return true;
            }
            if (sdl.window.windowID == own && sdl.window.event == SDL_WINDOWEVENT_EXPOSED)
                Present();
            break;
        case SDL_MOUSEMOTION:
            if (sdl.motion.windowID == own)
            {
                event.type = DialogEvent::Type::MouseMove;
                event.x = sdl.motion.x;
                event.y = sdl.motion.y;
                return true;
            }
            break;
        case SDL_MOUSEBUTTONDOWN:
        case SDL_MOUSEBUTTONUP:
            if (sdl.button.windowID == own && sdl.button.button == SDL_BUTTON_LEFT)
            {
                event.x = sdl.button.x;
                event.y = sdl.button.y;
                if (sdl.type == SDL_MOUSEBUTTONDOWN)
                {
                    m_impl->swallowRelease = m_impl->PressOnPickers(event.x, event.y, event);
                    if (m_impl->swallowRelease)
                    {
                        if (event.type == DialogEvent::Type::PickerChanged)
                            return true;
                        break;
                    }
                    event.type = DialogEvent::Type::LeftDown;
                    return true;
                }
                if (m_impl->swallowRelease)
                {
                    m_impl->swallowRelease = false;
                    event = DialogEvent{};
                    break;
                }
                event.type = DialogEvent::Type::LeftUp;
                return true;
            }
            break;
        case SDL_MOUSEWHEEL:
            if (sdl.wheel.windowID == own)
                (void)m_impl->WheelOnPickers(sdl.wheel.direction == SDL_MOUSEWHEEL_FLIPPED ? -sdl.wheel.y
                                                                                          : sdl.wheel.y);
            break;
        case SDL_KEYDOWN:
            if (sdl.key.windowID == own)
            {
                event.type = DialogEvent::Type::Key;
                event.key = VirtualKeyFromSdl(sdl.key.keysym.scancode, sdl.key.keysym.sym);
                return true;
            }
            break;
        default:
            break;
        }
    }
}

void SetDialogIdleHook(DialogIdleHook hook)
{
    IdleHook() = std::move(hook);
}
} // namespace os
