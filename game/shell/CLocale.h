#pragma once

#include "framework/COrvaneLocale.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class COrvaneFont;
class COrvaneTagTree;
class COrvaneText;
struct COrvaneWidgetRect;

// The game's texts in the chosen language (0 English, 1 German, 2 French)
// and its fonts: named text lists from "./language.xml", looked up by list
// and entry index and drawn centred or in a box. Texts are single-byte
// (Latin-1), as the fonts' character lists are.
class CLocale : public COrvaneLocale
{
public:
    static constexpr const char* LANGUAGE_FILE = "./language.xml";
    // The split copy OpenLanguageFile writes: "./language_TAGS.xml" and
    // "./language_DATA.txt".
    static constexpr const char* LANGUAGE_SPLIT = "./language";
    static constexpr std::int32_t ALIGN_CENTRE = 2;

    // One named list: its name is the list's whole tag line.
    struct TextList
    {
        std::string m_kName;
        std::vector<std::string> m_kEntries;
    };

    CLocale();
    ~CLocale() override;
    CLocale(const CLocale&) = delete;
    CLocale& operator=(const CLocale&) = delete;

    // Lists, text objects and fonts go.
    void ReleaseLocale() override;
    void ClearAll();
    void ResetCounts();

    // The language from the settings, then the lists in it.
    bool ReadLanguageAndLoad();
    // Every list of the current language from "./language.xml" (fonts and
    // text objects go too: LoadFontsAndScreenText must follow). True; a
    // missing file or section leaves no lists.
    bool Load();
    // "FONTS" (text objects) and "SCREENTEXT" (bitmap fonts) of the data
    // document, working folder + each value. A file that does not load is
    // still counted, so indices stay those of the document, but is never
    // handed out nor drawn with.
    bool LoadFontsAndScreenText(COrvaneTagTree* pkData);
    // Writes "./language.xml" again in split form; the lists stay.
    bool OpenLanguageFile();

    // Text object / font k; null when k is out of range or its file did
    // not load.
    [[nodiscard]] COrvaneText* GetTextObject(std::int32_t iIndex) const override;
    [[nodiscard]] COrvaneFont* GetFont(std::int32_t iIndex) const override;
    [[nodiscard]] std::uint16_t GetTextObjectCount() const { return static_cast<std::uint16_t>(m_kTextObjects.size()); }
    [[nodiscard]] std::uint16_t GetFontCount() const { return static_cast<std::uint16_t>(m_kFonts.size()); }
    [[nodiscard]] std::uint16_t GetListCount() const { return static_cast<std::uint16_t>(m_kLists.size()); }
    [[nodiscard]] const TextList* GetList(std::int32_t iList) const;

    // The first list whose name contains the text; -1 when none does.
    [[nodiscard]] std::int16_t FindList(const char* pcName) const override;
    // The entry's text, or the text that says why there is none.
    [[nodiscard]] std::string GetEntryText(std::int32_t iList, std::int32_t iEntry) const;
    // Draws one entry with font k at (x, y) (alignment 2: centred on the
    // screen width); with a box, word-wrapped into it and the number of
    // lines is returned, else 0. The texts for a bad list or entry are
    // drawn where the text would stand, never centred.
    std::int32_t DrawText(std::int32_t iFont, std::int32_t iList, std::int32_t iEntry, float fX, float fY,
                          std::int32_t iAlignment, const COrvaneWidgetRect* pkBox);
    // The number, a space and the entry, with the plural ending before the
    // entry's first space (or at its end when it has none) when the number
    // is not 1.
    std::int32_t DrawNumberedText(std::int32_t iNumber, std::int32_t iFont, std::int32_t iList,
                                  std::int32_t iEntry, float fX, float fY, std::int32_t iAlignment,
                                  const COrvaneWidgetRect* pkBox);
    // A text of the game's own (a label, the clock) with font k at (x, y).
    void DrawPlainText(std::int32_t iFont, float fX, float fY, const std::string& kText) { DrawLine(iFont, fX, fY, kText); }
    // A text of the game's own word-wrapped into the box; the line count.
    std::int32_t DrawPlainTextInBox(std::int32_t iFont, const COrvaneWidgetRect& kBox, const std::string& kText)
    {
        return DrawInBox(iFont, kBox, kText);
    }
    // The list whose first entry is the ending a counted word takes for
    // every number but 1 in each language; "s" without it (or with an
    // entry longer than a few letters or holding a space).
    static constexpr const char* PLURAL_ENDING_LIST = "PluralEnding";
    static constexpr std::size_t MAX_PLURAL_ENDING = 4;
    [[nodiscard]] std::string PluralEnding() const;
    // The entry's width in the font; -1 for a missing list or entry (or a
    // font that is not there).
    [[nodiscard]] std::int32_t GetEntryWidth(std::int32_t iFont, std::int32_t iList, std::int32_t iEntry) const;
    // The fonts' batches of the last frame go.
    void ReleaseFontGlyphs();
    [[nodiscard]] std::uint32_t GetGlyphReleases() const { return m_uiGlyphReleases; }

    // A text of the game's own (a number, a name) at (x, y) in font k.
    void DrawTextAt(std::int32_t iFont, float fX, float fY, const std::string& kText) { DrawLine(iFont, fX, fY, kText); }
    // The width of a text in font k (0 without the font).
    [[nodiscard]] virtual float MeasureText(std::int32_t iFont, const std::string& kText) const;
    // Opens and flushes a font's batch (nothing without the font).
    virtual void BeginFont(std::int32_t iFont);
    virtual void FlushFont(std::int32_t iFont);

    // "Invalid language vector. index <i>" and "Text out of range of
    // selected language vector index <i>".
    [[nodiscard]] static std::string InvalidListText(std::int32_t iList);
    [[nodiscard]] static std::string EntryOutOfRangeText(std::int32_t iList);

    // Called, when set, with every text drawn from the lists (the entry, or
    // the text that says why there is none), so a check of the game's data
    // can see what reached the screen. An empty function removes it.
    using DrawnTextRecorder = std::function<void(const std::string&)>;
    static void SetDrawnTextRecorder(DrawnTextRecorder fnRecorder);

protected:
    // Where every string goes on screen; a test's locale records them.
    virtual void DrawLine(std::int32_t iFont, float fX, float fY, const std::string& kText);
    virtual std::int32_t DrawInBox(std::int32_t iFont, const COrvaneWidgetRect& kBox, const std::string& kText);
    // The screen width the centring uses (the game's).
    [[nodiscard]] virtual float ScreenWidth() const;

private:
    std::int32_t DrawString(std::int32_t iFont, std::string kText, bool bCentre, float fX, float fY,
                            std::int32_t iAlignment, const COrvaneWidgetRect* pkBox);

    std::vector<std::unique_ptr<COrvaneText>> m_kTextObjects;
    std::vector<bool> m_kTextObjectLoaded;
    std::vector<std::unique_ptr<COrvaneFont>> m_kFonts;
    std::vector<bool> m_kFontLoaded;
    std::vector<TextList> m_kLists;
    std::uint32_t m_uiGlyphReleases = 0;
};
