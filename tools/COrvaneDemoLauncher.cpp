#include "tools/COrvaneDemoLauncher.h"

#include "framework/COrvaneTagTree.h"
#include "platform/os/OsFiles.h"
#include "platform/text/TextRaster.h"
#include "tools/COrvaneDemoText.h"

#include <cstdio>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

namespace
{
constexpr std::uint32_t SCREEN_WIDTH = 640;
constexpr std::uint32_t SCREEN_HEIGHT = 480;
constexpr std::uint32_t BUTTON_WIDTH = 200;
constexpr std::uint32_t BUTTON_HEIGHT = 36;

struct Picture
{
    std::uint32_t uiWidth = 0;
    std::uint32_t uiHeight = 0;
    std::vector<std::uint32_t> kPixels;

    Picture(std::uint32_t w, std::uint32_t h, std::uint32_t uiColour) : uiWidth(w), uiHeight(h), kPixels(w * h, uiColour)
    {
    }
    void Fill(std::uint32_t x, std::uint32_t y, std::uint32_t w, std::uint32_t h, std::uint32_t uiColour)
    {
        for (std::uint32_t row = y; row < y + h && row < uiHeight; ++row)
            for (std::uint32_t column = x; column < x + w && column < uiWidth; ++column)
                kPixels[row * uiWidth + column] = uiColour;
    }
    void Frame(std::uint32_t uiColour, std::uint32_t uiThickness)
    {
        Fill(0, 0, uiWidth, uiThickness, uiColour);
        Fill(0, uiHeight - uiThickness, uiWidth, uiThickness, uiColour);
        Fill(0, 0, uiThickness, uiHeight, uiColour);
        Fill(uiWidth - uiThickness, 0, uiThickness, uiHeight, uiColour);
    }
};

std::uint32_t Mix(std::uint32_t uiUnder, std::uint32_t uiOver, std::uint32_t uiAlpha)
{
    std::uint32_t uiResult = 0;
    for (int shift = 0; shift <= 16; shift += 8)
    {
        const std::uint32_t a = (uiUnder >> shift) & 0xFF, b = (uiOver >> shift) & 0xFF;
        uiResult |= ((b * uiAlpha + a * (255 - uiAlpha) + 127) / 255) << shift;
    }
    return uiResult;
}

// Latin-1 text at the pixel size, its top at y; centred on x when bCentre.
bool Caption(Picture& kPicture, const std::string& kText, int iPixels, std::uint32_t x, std::uint32_t y,
             std::uint32_t uiColour, bool bCentre, const char* pcFont = DEMO_TRUETYPE_BOLD)
{
    std::vector<text::GlyphPicture> kGlyphs;
    std::string kError;
    if (!text::RenderGlyphs(pcFont, iPixels, kText, kGlyphs, kError))
    {
        std::fprintf(stderr, "demo data: %s\n", kError.c_str());
        return false;
    }
    std::uint32_t uiWidth = 0;
    for (const text::GlyphPicture& kGlyph : kGlyphs)
        uiWidth += kGlyph.width;
    std::uint32_t uiX = bCentre ? (x > uiWidth / 2 ? x - uiWidth / 2 : 0) : x;
    for (const text::GlyphPicture& kGlyph : kGlyphs)
    {
        for (std::uint32_t row = 0; row < kGlyph.height; ++row)
            for (std::uint32_t column = 0; column < kGlyph.width; ++column)
            {
                const std::uint32_t px = uiX + column, py = y + row;
                if (px >= kPicture.uiWidth || py >= kPicture.uiHeight)
                    continue;
                std::uint32_t& uiPixel = kPicture.kPixels[py * kPicture.uiWidth + px];
                uiPixel = Mix(uiPixel, uiColour, kGlyph.coverage[row * kGlyph.width + column]);
            }
        uiX += kGlyph.width;
    }
    return true;
}

// A sky-to-floor gradient with the game's name: the back of both screens.
Picture Backdrop()
{
    Picture kPicture(SCREEN_WIDTH, SCREEN_HEIGHT, 0);
    for (std::uint32_t y = 0; y < SCREEN_HEIGHT; ++y)
    {
        const std::uint32_t uiShade = Mix(0x1C2838, 0x3A3226, y * 255 / SCREEN_HEIGHT);
        kPicture.Fill(0, y, SCREEN_WIDTH, 1, uiShade);
    }
    // Bars across the top band, for the prison look.
    for (std::uint32_t x = 20; x < SCREEN_WIDTH; x += 48)
        kPicture.Fill(x, 150, 6, 70, 0x4A5260);
    kPicture.Fill(0, 146, SCREEN_WIDTH, 4, 0x5A6272);
    kPicture.Fill(0, 220, SCREEN_WIDTH, 4, 0x5A6272);
    return kPicture;
}

bool WriteFile(const std::string& kPath, const std::vector<std::uint8_t>& kBytes)
{
    std::ofstream kOut(kPath, std::ios::binary | std::ios::trunc);
    kOut.write(reinterpret_cast<const char*>(kBytes.data()), static_cast<std::streamsize>(kBytes.size()));
    if (!kOut)
    {
        std::fprintf(stderr, "demo data: cannot write %s\n", kPath.c_str());
        return false;
    }
    return true;
}

bool WritePicture(const std::string& kPath, const Picture& kPicture)
{
    return WriteFile(kPath, MakeBmp24(kPicture.uiWidth, kPicture.uiHeight, kPicture.kPixels));
}

// A button's looks: base, highlight (lit) and, for the language buttons,
// selected (marked).
bool WriteButton(const std::string& kStem, const std::string& kCaption, bool bSelectedToo)
{
    struct Look
    {
        const char* pcSuffix;
        std::uint32_t uiFace;
        std::uint32_t uiEdge;
        std::uint32_t uiText;
    };
    const Look akLooks[] = {{"_base.bmp", 0x2E3644, 0x8A92A0, 0xE8E8E8},
                            {"_high.bmp", 0x4F6A96, 0xFFFFFF, 0xFFFFFF},
                            {"_sel.bmp", 0x5C4A1E, 0xF0C040, 0xF8E8B0}};
    for (std::size_t i = 0; i < (bSelectedToo ? 3u : 2u); ++i)
    {
        Picture kButton(BUTTON_WIDTH, BUTTON_HEIGHT, akLooks[i].uiFace);
        kButton.Frame(akLooks[i].uiEdge, 2);
        if (!Caption(kButton, kCaption, 18, BUTTON_WIDTH / 2, 7, akLooks[i].uiText, true) ||
            !WritePicture(kStem + akLooks[i].pcSuffix, kButton))
            return false;
    }
    return true;
}

struct Language
{
    const char* pcFolder;     // images/startup/<folder>
    const char* pcHelpFolder; // help/<folder>
    const char* pcName;       // Latin-1
    const char* pcAdapter;
    const char* pcMode;
    const char* apcButtons[4]; // play, help, back, exit
    const char* pcHelpTitle;
    const char* pcHelpText; // UTF-8 (the page says so)
    const char* pcControlsTitle;
    // The controls as the game binds them (keyboard, mouse, panels): a
    // heading and its lines, one list each.
    std::vector<std::pair<const char*, std::vector<const char*>>> kControls;
};

const Language LANGUAGES[3] = {
    {"english", "eng", "English", "Display adapter", "Video mode", {"Play", "Help", "Language", "Exit"}, "Orvane help",
     "Build a prison, hire staff and keep your prisoners fed, busy and calm. Choose a display adapter and a video "
     "mode in the launcher, or the window entry to play in a window, then press Play.",
     "Controls",
     {{"Camera",
       {"W, A, S, D: move the view forward, left, back and right",
        "Q and Z: raise and lower the view",
        "Shift + arrow keys: turn the view",
        "Pointer at the edge of the screen: move the view that way",
        "Middle button held, or Ctrl, while moving the mouse: turn the view",
        "Shift while moving the mouse: raise or lower the view"}},
      {"Speed",
       {"0: pause; 1, 2, 3: normal, fast and fastest",
        "The pause and speed buttons at the right of the bottom bar do the same"}},
      {"Building",
       {"Build button (bottom bar, left): the build panel; choose a category and an item",
        "Left click: place the item; right click: turn it; red means it cannot stand there",
        "The crossed button of the build panel demolishes what you click next"}},
      {"Buildings",
       {"Left click on a building: go inside, where Build offers cells and rooms",
        "C: the next view inside the building; the floor buttons go up and down",
        "E: leave the building"}},
      {"People and objects",
       {"Right click on a building, room or person: what it is and how it is doing",
        "Left click on a prisoner: pick him up with the hand; left click again: put him down",
        "Space: close every panel; Esc: leave for the main menu (the game asks first)"}}}},
    {"german", "ger", "Deutsch", "Grafikkarte", "Videomodus", {"Spielen", "Hilfe", "Sprache", "Beenden"},
     "Orvane Hilfe",
     "Bauen Sie ein Gefängnis, stellen Sie Personal ein und halten Sie Ihre Gefangenen satt, beschäftigt und ruhig. "
     "Wählen Sie im Startfenster Grafikkarte und Videomodus, oder den Fenster-Eintrag, und drücken Sie Spielen.",
     "Steuerung",
     {{"Kamera",
       {"W, A, S, D: Ansicht vor, nach links, zurück und nach rechts bewegen",
        "Q und Z: Ansicht heben und senken",
        "Umschalt + Pfeiltasten: Ansicht drehen",
        "Zeiger am Bildschirmrand: Ansicht in diese Richtung bewegen",
        "Mittlere Maustaste gedrückt, oder Strg, beim Bewegen der Maus: Ansicht drehen",
        "Umschalt beim Bewegen der Maus: Ansicht heben oder senken"}},
      {"Geschwindigkeit",
       {"0: Pause; 1, 2, 3: normal, schnell und am schnellsten",
        "Die Pause- und Tempoknöpfe rechts in der unteren Leiste tun dasselbe"}},
      {"Bauen",
       {"Bauknopf (untere Leiste, links): das Baufenster; Kategorie und Stück wählen",
        "Linksklick: Stück setzen; Rechtsklick: drehen; rot heißt, es kann dort nicht stehen",
        "Der durchgestrichene Knopf im Baufenster reißt ab, was Sie danach anklicken"}},
      {"Gebäude",
       {"Linksklick auf ein Gebäude: hineingehen; dort bietet Bauen Zellen und Räume",
        "C: die nächste Ansicht im Gebäude; die Stockwerkknöpfe gehen hoch und runter",
        "E: das Gebäude verlassen"}},
      {"Menschen und Dinge",
       {"Rechtsklick auf Gebäude, Raum oder Person: was es ist und wie es ihm geht",
        "Linksklick auf einen Häftling: mit der Hand aufnehmen; erneuter Linksklick: absetzen",
        "Leertaste: alle Fenster schließen; Esc: zum Hauptmenü (das Spiel fragt vorher)"}}}},
    {"french", "fre", "Fran\xE7" "ais", "Carte graphique", "Mode vid\xE9" "o", {"Jouer", "Aide", "Langue", "Quitter"},
     "Aide d'Orvane",
     "Construisez une prison, engagez du personnel et gardez vos détenus nourris, occupés et calmes. Choisissez la "
     "carte graphique et le mode vidéo, ou l'entrée fenêtre, puis appuyez sur Jouer.",
     "Commandes",
     {{"Caméra",
       {"W, A, S, D : avancer, aller à gauche, reculer et aller à droite",
        "Q et Z : monter et descendre la vue",
        "Maj + flèches : tourner la vue",
        "Pointeur au bord de l'écran : déplacer la vue de ce côté",
        "Bouton du milieu enfoncé, ou Ctrl, en bougeant la souris : tourner la vue",
        "Maj en bougeant la souris : monter ou descendre la vue"}},
      {"Vitesse",
       {"0 : pause ; 1, 2, 3 : normale, rapide et très rapide",
        "Les boutons de pause et de vitesse à droite de la barre du bas font de même"}},
      {"Construction",
       {"Bouton Construire (barre du bas, à gauche) : le panneau de construction ; choisir une catégorie et un élément",
        "Clic gauche : poser l'élément ; clic droit : le tourner ; rouge veut dire qu'il ne peut pas être là",
        "Le bouton barré du panneau de construction démolit ce que vous cliquez ensuite"}},
      {"Bâtiments",
       {"Clic gauche sur un bâtiment : y entrer ; Construire y propose cellules et salles",
        "C : la vue suivante dans le bâtiment ; les boutons d'étage montent et descendent",
        "E : quitter le bâtiment"}},
      {"Personnes et objets",
       {"Clic droit sur un bâtiment, une salle ou une personne : ce que c'est et comment ça va",
        "Clic gauche sur un détenu : le prendre avec la main ; nouveau clic gauche : le poser",
        "Espace : fermer tous les panneaux ; Échap : retour au menu principal (le jeu demande d'abord)"}}}},
};

// The help page: the introduction, then every group of controls.
std::string HelpPage(const Language& kLanguage)
{
    std::string kPage = std::string("<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>") +
                        kLanguage.pcHelpTitle + "</title></head>\n<body><h1>" + kLanguage.pcHelpTitle + "</h1>\n<p>" +
                        kLanguage.pcHelpText + "</p>\n<h2>" + kLanguage.pcControlsTitle + "</h2>\n";
    for (const auto& [pcGroup, kLines] : kLanguage.kControls)
    {
        kPage += std::string("<h3>") + pcGroup + "</h3>\n<ul>\n";
        for (const char* pcLine : kLines)
            kPage += std::string("<li>") + pcLine + "</li>\n";
        kPage += "</ul>\n";
    }
    return kPage + "</body></html>\n";
}

// Button rows of both screens: x, y of each button's top-left corner.
constexpr std::uint32_t LANGUAGE_BUTTON_X = 400;
constexpr std::uint32_t LANGUAGE_BUTTON_Y[3] = {280, 330, 380};
constexpr std::uint32_t OPTION_BUTTON_X = 400;
constexpr std::uint32_t OPTION_BUTTON_Y[4] = {260, 310, 360, 410};
constexpr std::int32_t OPTION_ACTIONS[4] = {1, 4, 5, 2};
const char* const OPTION_STEMS[4] = {"play", "help", "back", "exit"};

bool AddNode(COrvaneTagTree& kTree, const char* pcName, const std::vector<std::string>& kValues)
{
    if (!kTree.AddChild(pcName))
        return false;
    (void)kTree.FindChild(nullptr);
    while (kTree.NextSibling(nullptr))
    {
    }
    for (const std::string& kValue : kValues)
        kTree.AddValue(kValue);
    return true;
}

// One button node: its rectangle, action and language, and one image set
// of kind iKind holding the named images (base, highlight, selected).
bool AddButton(COrvaneTagTree& kTree, const char* pcName, std::uint32_t x, std::uint32_t y, std::uint32_t w,
               std::uint32_t h, std::int32_t iAction, std::int32_t iLanguage, std::int32_t iKind,
               const std::vector<std::pair<const char*, std::string>>& kImages)
{
    if (!AddNode(kTree, pcName,
                 {std::to_string(x), std::to_string(y), std::to_string(x + w), std::to_string(y + h),
                  std::to_string(iAction), std::to_string(iLanguage)}) ||
        !AddNode(kTree, "Look", {std::to_string(iKind)}))
        return false;
    for (const auto& [pcSlot, kFile] : kImages)
    {
        if (!AddNode(kTree, pcSlot, {kFile}))
            return false;
        kTree.SelectParent();
    }
    kTree.SelectParent(); // the set
    kTree.SelectParent(); // the button
    return true;
}

bool AddSettings(const std::string& kSetup)
{
    COrvaneTagTree kTree;
    if (!kTree.Load(kSetup.c_str()))
        return false;
    bool bOk = kTree.SelectSection("", true) && AddNode(kTree, "Application_Data", {});
    for (const auto& [pcKey, pcValue] : std::vector<std::pair<const char*, const char*>>{
             {"Windowed", "1"}, {"VideoModeWidth", "1024"}, {"VideoModeHeight", "768"}, {"VideoModeBits", "32"},
             {"ModeIndex", "0"}})
    {
        bOk = bOk && AddNode(kTree, pcKey, {pcValue});
        kTree.SelectParent();
    }
    bOk = bOk && kTree.SelectSection("", true) && AddNode(kTree, "Startup_Screen", {});
    bOk = bOk && AddNode(kTree, "Language_Directories", {"english", "german", "french"});
    kTree.SelectParent();
    // The first button of each screen is never hit: it carries the backdrop.
    bOk = bOk && AddNode(kTree, "Generic", {}) &&
          AddButton(kTree, "Backdrop", 0, 0, SCREEN_WIDTH, SCREEN_HEIGHT, 0, 0, 0, {{"base", "languages.bmp"}});
    for (std::int32_t i = 0; i < 3 && bOk; ++i)
    {
        const std::string kStem = std::string("language") + std::to_string(i);
        bOk = AddButton(kTree, LANGUAGES[i].pcFolder, LANGUAGE_BUTTON_X, LANGUAGE_BUTTON_Y[i], BUTTON_WIDTH,
                        BUTTON_HEIGHT, 6, i, 2,
                        {{"base", kStem + "_base.bmp"}, {"highlight", kStem + "_high.bmp"},
                         {"selected", kStem + "_sel.bmp"}});
    }
    kTree.SelectParent();
    bOk = bOk && AddNode(kTree, "Language_Specific", {}) &&
          AddButton(kTree, "Backdrop", 0, 0, SCREEN_WIDTH, SCREEN_HEIGHT, 0, 0, 0, {{"base", "options.bmp"}});
    for (std::size_t i = 0; i < 4 && bOk; ++i)
        bOk = AddButton(kTree, OPTION_STEMS[i], OPTION_BUTTON_X, OPTION_BUTTON_Y[i], BUTTON_WIDTH, BUTTON_HEIGHT,
                        OPTION_ACTIONS[i], 0, 2,
                        {{"base", std::string(OPTION_STEMS[i]) + "_base.bmp"},
                         {"highlight", std::string(OPTION_STEMS[i]) + "_high.bmp"}});
    if (!bOk || !kTree.Save(kSetup.c_str()))
    {
        std::fprintf(stderr, "demo data: cannot add the launcher settings to %s\n", kSetup.c_str());
        return false;
    }
    return true;
}
} // namespace

std::vector<std::uint8_t> MakeBmp24(std::uint32_t uiWidth, std::uint32_t uiHeight,
                                    const std::vector<std::uint32_t>& kPixels)
{
    const std::uint32_t uiRow = (uiWidth * 3 + 3) & ~3u;
    const std::uint32_t uiData = uiRow * uiHeight;
    std::vector<std::uint8_t> kBytes;
    const auto Put = [&kBytes](std::uint32_t uiValue, int iBytes) {
        for (int i = 0; i < iBytes; ++i)
            kBytes.push_back(static_cast<std::uint8_t>(uiValue >> (8 * i)));
    };
    kBytes.push_back('B');
    kBytes.push_back('M');
    Put(14 + 40 + uiData, 4);
    Put(0, 4);
    Put(14 + 40, 4);
    Put(40, 4);
    Put(uiWidth, 4);
    Put(uiHeight, 4); // positive: the bottom row comes first
    Put(1, 2);
    Put(24, 2);
    Put(0, 4); // no compression
    Put(uiData, 4);
    Put(2835, 4);
    Put(2835, 4);
    Put(0, 4);
    Put(0, 4);
    for (std::uint32_t y = uiHeight; y-- > 0;)
    {
        for (std::uint32_t x = 0; x < uiWidth; ++x)
        {
            const std::uint32_t uiPixel = kPixels[static_cast<std::size_t>(y) * uiWidth + x];
            kBytes.push_back(static_cast<std::uint8_t>(uiPixel));
            kBytes.push_back(static_cast<std::uint8_t>(uiPixel >> 8));
            kBytes.push_back(static_cast<std::uint8_t>(uiPixel >> 16));
        }
        for (std::uint32_t i = uiWidth * 3; i < uiRow; ++i)
            kBytes.push_back(0);
    }
    return kBytes;
}

bool WriteDemoLauncher(const std::string& kFolder)
{
    const std::string kImages = kFolder + "/images/startup/";
    if (!os::CreateFolderTree(kImages))
    {
        std::fprintf(stderr, "demo data: cannot make the folder %s\n", kImages.c_str());
        return false;
    }
    Picture kLanguages = Backdrop();
    if (!Caption(kLanguages, "ORVANE", 56, SCREEN_WIDTH / 2, 40, 0xF0C040, true) ||
        !Caption(kLanguages, "English  \xB7  Deutsch  \xB7  Fran\xE7" "ais", 18, LANGUAGE_BUTTON_X + BUTTON_WIDTH / 2,
                 248, 0xD0D4DC, true, DEMO_TRUETYPE) ||
        !WritePicture(kImages + "languages.bmp", kLanguages))
        return false;
    for (std::size_t i = 0; i < 3; ++i)
        if (!WriteButton(kImages + "language" + std::to_string(i), LANGUAGES[i].pcName, true))
            return false;

    for (const Language& kLanguage : LANGUAGES)
    {
        const std::string kFolderPath = kImages + kLanguage.pcFolder + "/";
        if (!os::CreateFolderTree(kFolderPath))
            return false;
        Picture kOptions = Backdrop();
        // The two lists sit at (39, 44) and (38, 96): their labels above them.
        kOptions.Fill(30, 14, 160, 112, 0x141C28);
        if (!Caption(kOptions, kLanguage.pcAdapter, 13, 39, 24, 0xD0D4DC, false, DEMO_TRUETYPE) ||
            !Caption(kOptions, kLanguage.pcMode, 13, 38, 76, 0xD0D4DC, false, DEMO_TRUETYPE) ||
            !Caption(kOptions, "ORVANE", 56, 420, 40, 0xF0C040, true) || !WritePicture(kFolderPath + "options.bmp", kOptions))
            return false;
        for (std::size_t b = 0; b < 4; ++b)
            if (!WriteButton(kFolderPath + OPTION_STEMS[b], kLanguage.apcButtons[b], false))
                return false;

        const std::string kHelp = kFolder + "/help/" + kLanguage.pcHelpFolder;
        const std::string kPage = HelpPage(kLanguage);
        if (!os::CreateFolderTree(kHelp) ||
            !WriteFile(kHelp + "/Help.htm", std::vector<std::uint8_t>(kPage.begin(), kPage.end())))
            return false;
    }
    return AddSettings(kFolder + "/setup.xml");
}
