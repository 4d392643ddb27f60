#include "tools/COrvaneDemoTooltips.h"

#include "tools/COrvaneDemoLabels.h"
#include "tools/COrvaneDemoPanels.h"

#include <cstdio>

namespace
{
const DemoTooltip CLOSE = {0, "Close", "Schlie\xdf""en", "Fermer"};

DemoTooltip Close(std::size_t uiButton)
{
    DemoTooltip kTip = CLOSE;
    kTip.uiButton = uiButton;
    return kTip;
}

// The file panels: close (1), new folder, up, delete, the action (3-6),
// scroll up and down (7, 8).
std::vector<DemoTooltip> FilePanel(const DemoTooltip& kAction)
{
    return {Close(1),
            {3, "New folder", "Neuer Ordner", "Nouveau dossier"},
            {4, "Up one folder", "Einen Ordner h\xf6her", "Dossier parent"},
            {5, "Delete the chosen entry", "Gew\xe4hlten Eintrag l\xf6schen", "Supprimer l'entr\xe9""e choisie"},
            kAction,
            {7, "Scroll up", "Nach oben bl\xe4ttern", "D\xe9""filer vers le haut"},
            {8, "Scroll down", "Nach unten bl\xe4ttern", "D\xe9""filer vers le bas"}};
}

std::vector<DemoTooltipLayout> ButtonLayouts();

// Every layout's button texts, then over each figure's label its word; the
// management pages without buttons get layouts of their own.
std::vector<DemoTooltipLayout> MakeLayouts()
{
    std::vector<DemoTooltipLayout> kLayouts = ButtonLayouts();
    const auto Layout = [&kLayouts](const char* pcBase) -> DemoTooltipLayout& {
        for (DemoTooltipLayout& kLayout : kLayouts)
            if (std::string(kLayout.pcBase) == pcBase)
                return kLayout;
        kLayouts.push_back({pcBase, {}});
        return kLayouts.back();
    };
    for (const DemoFigureLabel& kLabel : DemoFigureLabels())
        Layout(kLabel.pcBase)
            .kTips.push_back({0, kLabel.pcEnglish, kLabel.pcGerman, kLabel.pcFrench, DemoFigureLabelRect(kLabel)});
    const char* const apcBar[][3] = {{"Time of day", "Uhrzeit", "Heure"},
                                     {"Money", "Geld", "Argent"},
                                     {"Prisoners / beds", "H\xe4""ftlinge / Betten", "D\xe9tenus / lits"},
                                     {"Order", "Ordnung", "Ordre"},
                                     {"Prison level", "Gef\xe4ngnisstufe", "Niveau de la prison"}};
    const std::vector<DemoMark> kMarks = DemoMainPanelMarks();
    for (std::size_t i = 0; i < kMarks.size() && i < std::size(apcBar); ++i)
        Layout("images/panels/main/base/base").kTips.push_back({0, apcBar[i][0], apcBar[i][1], apcBar[i][2],
                                                                kMarks[i].m_kRect});
    // The star sign's square, which the pop-ups draw left of the age, and
    // the mood's, left of its word.
    for (const char* pcBase : {"images/panels/prisoner/prisoner", "images/panels/staff/staff"})
    {
        Layout(pcBase).kTips.push_back({0, "Star sign", "Sternzeichen", "Signe du zodiaque", DEMO_STAR_SIGN_AREA});
        Layout(pcBase).kTips.push_back({0, "Mood", "Stimmung", "Humeur", DEMO_MOOD_AREA});
    }
    // The item's picture turns red when it cannot be bought: both reasons
    // stand right of it, the price and the prison level it needs. The text
    // is the area's whatever the item's state, so it reads right over an
    // item that can be bought too.
    Layout("images/panels/build/page")
        .kTips.push_back({0, "Turns red when it costs too much or needs a higher prison level",
                          "Wird rot, wenn zu teuer oder h\xf6here Gef\xe4ngnisstufe n\xf6tig",
                          "Devient rouge si trop cher ou niveau de prison trop bas", DEMO_BUILD_PICTURE_AREA});
    return kLayouts;
}

std::vector<DemoTooltipLayout> ButtonLayouts()
{
    const DemoTooltip kMainMenu = {0, "Back to the main menu", "Zur\xfc""ck zum Hauptmen\xfc",
                                   "Retour au menu principal"};
    DemoTooltip kLocationBack = kMainMenu;
    kLocationBack.uiButton = 4;
    DemoTooltip kScenarioBack = kMainMenu;
    kScenarioBack.uiButton = 3;
    return {
        // The layout the interface tests use.
        {"images/demo/panel",
         {{1, "First button", "Erster Knopf", "Premier bouton"}, {2, "Second button", "Zweiter Knopf", "Second bouton"}}},
        // The front end's screens, buttons in the order the screens number
        // them: new prison, scenarios, quit, load.
        {"images/mainmenu/mainmenu",
         {{1, "Build a new prison", "Ein neues Gef\xe4ngnis bauen", "Construire une nouvelle prison"},
          {2, "Play a scenario with goals", "Ein Szenario mit Zielen spielen", "Jouer un sc\xe9nario avec des objectifs"},
          {3, "Quit the game", "Das Spiel beenden", "Quitter le jeu"},
          {4, "Load a saved game", "Ein gespeichertes Spiel laden", "Charger une partie sauvegard\xe9""e"}}},
        // The three prisons (levels 0-2), then back.
        {"images/location/location",
         {{1, "Build by the harbour", "Am Hafen bauen", "Construire au port"},
          {2, "Build in the hills", "In den H\xfcgeln bauen", "Construire dans les collines"},
          {3, "Build in the desert", "In der W\xfcste bauen", "Construire dans le d\xe9sert"},
          kLocationBack}},
        // Previous, next, back, start.
        {"images/scenario/scenario",
         {{1, "Previous scenario", "Vorheriges Szenario", "Sc\xe9nario pr\xe9""c\xe9""dent"},
          {2, "Next scenario", "N\xe4""chstes Szenario", "Sc\xe9nario suivant"},
          kScenarioBack,
          {4, "Start this scenario", "Dieses Szenario starten", "Commencer ce sc\xe9nario"}}},
        // The main panel: build, management, options (3, 4), speeds 0-3
        // (5-8), message history (9).
        {"images/panels/main/base/base",
         {{1, "Build and furnish", "Bauen und einrichten", "Construire et am\xe9nager"},
          {2, "Prison management", "Gef\xe4ngnisverwaltung", "Gestion de la prison"},
          {3, "Options", "Optionen", "Options"},
          {4, "Load or save the game", "Spiel laden oder speichern", "Charger ou sauvegarder la partie"},
          {5, "Pause", "Pause", "Pause"},
          {6, "Normal speed", "Normale Geschwindigkeit", "Vitesse normale"},
          {7, "Fast", "Schnell", "Rapide"},
          {8, "Fastest", "Am schnellsten", "Tr\xe8s rapide"},
          {9, "Message history", "Nachrichtenverlauf", "Historique des messages"}}},
        {"images/panels/main/floors/floors",
         {{1, "Up one floor", "Ein Stockwerk h\xf6her", "Monter d'un \xe9tage"},
          {2, "Down one floor", "Ein Stockwerk tiefer", "Descendre d'un \xe9tage"},
          {3, "Leave the building", "Geb\xe4ude verlassen", "Quitter le b\xe2timent"},
          {4, "Next view", "N\xe4""chste Ansicht", "Vue suivante"}}},
        // Base panels: title (1), close (2).
        {"images/panels/build/build", {Close(2)}},
        {"images/panels/build/page",
         {{1, "Previous item", "Vorheriges St\xfc""ck", "\xc9l\xe9ment pr\xe9""c\xe9""dent"},
          {2, "Next item", "N\xe4""chstes St\xfc""ck", "\xc9l\xe9ment suivant"},
          {3, "Demolish", "Abrei\xdf""en", "D\xe9molir"}}},
        // The menus' category rows, in menu order.
        {"images/panels/build/icons_ext",
         {{1, "Cell blocks", "Zellenbl\xf6""cke", "Blocs cellulaires"},
          {2, "Workshops", "Werkst\xe4tten", "Ateliers"},
          {3, "Canteens", "Kantinen", "Cantines"},
          {4, "Hospitals", "Krankenh\xe4user", "H\xf4pitaux"},
          {5, "Administration", "Verwaltung", "Administration"},
          {6, "Fences and towers", "Z\xe4une und T\xfcrme", "Cl\xf4tures et tours"}}},
        {"images/panels/build/icons_int",
         {{1, "Cells", "Zellen", "Cellules"},
          {2, "Kitchen and dining", "K\xfc""che und Speisesaal", "Cuisine et r\xe9""fectoire"},
          {3, "Work", "Arbeit", "Travail"},
          {4, "Health", "Gesundheit", "Sant\xe9"},
          {5, "Offices and staff rooms", "B\xfcros und Personalr\xe4ume", "Bureaux et locaux du personnel"}}},
        {"images/panels/management/management", {Close(2)}},
        {"images/panels/management/icons/00_start",
         {{1, "Finance", "Finanzen", "Finances"},
          {2, "Staff", "Personal", "Personnel"},
          {3, "Prisoners", "H\xe4""ftlinge", "D\xe9tenus"},
          {4, "Scenario", "Szenario", "Sc\xe9nario"}}},
        {"images/panels/management/finance/finance",
         {{1, "Totals so far", "Summen bisher", "Totaux \xe0 ce jour"},
          {2, "Yearly averages", "Jahresmittel", "Moyennes annuelles"}}},
        {"images/panels/building/building", {Close(2)}},
        {"images/panels/prisoner/prisoner", {Close(2)}},
        {"images/panels/staff/staff",
         {Close(2), {3, "Back to duty", "Zur\xfc""ck an die Arbeit", "Retour au travail"}}},
        {"images/confirm/confirm", {{1, "Yes", "Ja", "Oui"}, {2, "No", "Nein", "Non"}}},
        {"images/panels/load/load",
         FilePanel({6, "Load the chosen game", "Gew\xe4hltes Spiel laden", "Charger la partie choisie"})},
        {"images/panels/save/save",
         FilePanel({6, "Save under the typed name", "Unter dem eingegebenen Namen speichern",
                    "Sauvegarder sous le nom saisi"})},
        // Options: title (1), close, load, save, detail, effects, music, quit.
        {"images/panels/options/options",
         {Close(2),
          {3, "Load a game", "Spiel laden", "Charger une partie"},
          {4, "Save the game", "Spiel speichern", "Sauvegarder la partie"},
          {5, "Detail on or off", "Details an oder aus", "D\xe9tails oui ou non"},
          {6, "Sound effects on or off", "Ger\xe4usche an oder aus", "Effets sonores oui ou non"},
          {7, "Music on or off", "Musik an oder aus", "Musique oui ou non"},
          {8, "Quit this game", "Dieses Spiel beenden", "Quitter cette partie"}}},
        {"images/panels/messages/messages",
         {Close(2),
          {3, "Newer messages", "Neuere Nachrichten", "Messages plus r\xe9""cents"},
          {4, "Older messages", "\xc4ltere Nachrichten", "Messages plus anciens"}}},
        {"images/parole/parole",
         {{1, "Grant parole", "Bew\xe4hrung gew\xe4hren", "Accorder la libert\xe9 conditionnelle"},
          {2, "Refuse parole", "Bew\xe4hrung ablehnen", "Refuser la libert\xe9 conditionnelle"},
          {3, "Leave the desk", "Schreibtisch verlassen", "Quitter le bureau"}}},
    };
}

const DemoTooltipLayout* FindLayout(const std::string& kBase)
{
    for (const DemoTooltipLayout& kLayout : DemoTooltipLayouts())
        if (kBase == kLayout.pcBase)
            return &kLayout;
    return nullptr;
}
} // namespace

const std::vector<DemoTooltipLayout>& DemoTooltipLayouts()
{
    static const std::vector<DemoTooltipLayout> s_kLayouts = MakeLayouts();
    return s_kLayouts;
}

std::string DemoTooltipListName(const std::string& kBase)
{
    const std::size_t uiSlash = kBase.rfind('/');
    return uiSlash == std::string::npos ? kBase : kBase.substr(uiSlash + 1);
}

bool WriteDemoHotAreas(const std::string& kFolder, const std::string& kBase, std::uint32_t uiWidth,
                       std::uint32_t uiHeight, const std::vector<DemoRect>& kButtons)
{
    const DemoTooltipLayout* pkLayout = FindLayout(kBase);
    if (pkLayout == nullptr)
        return true;
    COrvaneDemoImage kMap(uiWidth, uiHeight, {0, 0, 0, 255});
    for (std::size_t k = 0; k < pkLayout->kTips.size(); ++k)
    {
        const std::size_t uiButton = pkLayout->kTips[k].uiButton;
        const DemoRect kArea = uiButton == 0 ? pkLayout->kTips[k].kArea
                               : uiButton <= kButtons.size() ? kButtons[uiButton - 1]
                                                             : DemoRect{0, 0, 0, 0};
        // The areas are searched for below the key row.
        if (kArea.y == 0 || kArea.w == 0 || kArea.h == 0)
        {
            std::fprintf(stderr, "demo data: %s: hover text %zu has no area %zu below the key row\n", kBase.c_str(), k,
                         uiButton);
            return false;
        }
        kMap.Set(static_cast<std::uint32_t>(k), 0, DemoKeyColour(k));
        kMap.Fill(kArea, DemoKeyColour(k));
    }
    kMap.Set(static_cast<std::uint32_t>(pkLayout->kTips.size()), 0, {255, 255, 255, 255});
    return kMap.Write(kFolder + "/" + kBase + "_h.tga");
}
