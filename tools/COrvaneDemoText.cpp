#include "tools/COrvaneDemoText.h"

#include "framework/COrvaneTagTree.h"
#include "platform/text/TextRaster.h"
#include "tools/COrvaneDemoPrison.h"
#include "tools/COrvaneDemoTooltips.h"
#include "tools/COrvaneTgaWriter.h"

#include <algorithm>
#include <deque>
#include <cstdio>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace
{
// English, German, French; Latin-1 bytes.
struct Message
{
    const char* pcEnglish;
    const char* pcGerman;
    const char* pcFrench;
};

// The ending a counted word takes for every number but 1, in each language.
const std::pair<const char*, Message> PLURAL_ENDING = {"PluralEnding", {"s", "e", "s"}};

// "InGameMessages" 0-83, each at the number the game shows it for. 0-2 and
// 52-54 are the save, load, leave and folder questions (52 and 53 show the
// typed name on their second line, so they keep to one); 3 and 55 greet a new
// game; 7-9 head and close the result screens; from 22 on each statistic
// kind has its goal line (even) and failure line (odd). The day's counts
// (14-20) follow their number: the game adds the language's plural ending
// (PLURAL_ENDING) to the first word, so that word is one whose plural takes
// it: "s" in English and French, "e" in German, whose counts begin with the
// word every other German message names a prisoner by.
const Message MESSAGES[] = {
    {"Overwrite this saved game?", "Diesen Spielstand \xfc""berschreiben?", "\xc9""craser cette sauvegarde ?"},
    {"Unsaved play is lost: load this game?", "Ungespeichertes geht verloren. Laden?",
     "La partie en cours sera perdue : charger ?"},
    {"Leave the prison for the main menu?", "Das Gef\xe4ngnis verlassen und ins Hauptmen\xfc?",
     "Quitter la prison pour le menu principal ?"},
    {"Welcome, Governor.", "Willkommen, Direktor.", "Bienvenue, directeur."},
    {"Some prisoners went to cells of a higher security level.", "Einige H\xe4""ftlinge kamen in sicherere Zellen.",
     "Des d\xe9tenus ont \xe9t\xe9 plac\xe9s dans des cellules plus s\xfb""res."},
    {"Some new prisoners found no cell.", "Einige neue H\xe4""ftlinge fanden keine Zelle.",
     "Des nouveaux d\xe9tenus n'ont pas trouv\xe9 de cellule."},
    {"Demolish this building?", "Dieses Geb\xe4ude abrei\xdf""en?", "D\xe9molir ce b\xe2timent ?"},
    {"SCENARIO FAILED", "SZENARIO GESCHEITERT", "SC\xc9NARIO \xc9""CHOU\xc9"},
    {"SCENARIO COMPLETE", "SZENARIO ERF\xdcLLT", "SC\xc9NARIO R\xc9USSI"},
    {"Press Space to return to the menu", "Leertaste: zur\xfc""ck zum Men\xfc",
     "Espace : retour au menu"},
    {"Night falls over the prison.", "Die Nacht bricht herein.", "La nuit tombe sur la prison."},
    {"Morning: the doors open.", "Morgen: die T\xfcren \xf6""ffnen sich.", "Matin : les portes s'ouvrent."},
    {"Prisoners without a cell have escaped.", "H\xe4""ftlinge ohne Zelle sind geflohen.",
     "Des d\xe9tenus sans cellule se sont \xe9vad\xe9s."},
    {"Loading...", "Laden...", "Chargement..."},
    {"prisoner released today", "H\xe4""ftling heute entlassen", "lib\xe9ration aujourd'hui"},
    {"prisoner died today", "H\xe4""ftling heute gestorben", "mort aujourd'hui"},
    {"prisoner escaped today", "H\xe4""ftling heute ausgebrochen", "\xe9vasion aujourd'hui"},
    {"A cell was demolished with prisoners in it.", "Eine belegte Zelle wurde abgerissen.",
     "Une cellule occup\xe9""e a \xe9t\xe9 d\xe9molie."},
    {"prisoner died of old age today", "H\xe4""ftling heute an Altersschw\xe4""che gestorben",
     "mort de vieillesse aujourd'hui"},
    {"prisoner executed today", "H\xe4""ftling heute hingerichtet", "ex\xe9""cution aujourd'hui"},
    {"sentence ended today", "H\xe4""ftling heute mit der Strafe fertig", "fin de peine aujourd'hui"},
    {"The prisoner has moved to the new cell.", "Der H\xe4""ftling ist in die neue Zelle umgezogen.",
     "Le d\xe9tenu a rejoint sa nouvelle cellule."},
    {"The prison's finances are healthy.", "Die Finanzen sind gesund.", "Les finances sont saines."},
    {"The prison has run out of money.", "Das Gef\xe4ngnis ist pleite.", "La prison est ruin\xe9""e."},
    {"The years of service are complete.", "Die Dienstjahre sind erf\xfcllt.",
     "Les ann\xe9""es de service sont accomplies."},
    {"Time has run out.", "Die Zeit ist abgelaufen.", "Le temps est \xe9""coul\xe9."},
    {"Enough prisoners have been received.", "Genug H\xe4""ftlinge wurden aufgenommen.",
     "Assez de d\xe9tenus ont \xe9t\xe9 accueillis."},
    {"Too many prisoners were received.", "Zu viele H\xe4""ftlinge aufgenommen.",
     "Trop de d\xe9tenus accueillis."},
    {"Order has been kept.", "Die Ordnung wurde gewahrt.", "L'ordre a \xe9t\xe9 maintenu."},
    {"Order has broken down.", "Die Ordnung ist zusammengebrochen.", "L'ordre s'est effondr\xe9."},
    {"The prison holds enough inmates.", "Das Gef\xe4ngnis ist gut belegt.", "La prison est bien remplie."},
    {"The prison population is out of hand.", "Die Belegung ist au\xdf""er Kontrolle.",
     "La population carc\xe9rale d\xe9""borde."},
    {"Minimum security is filled.", "Die leichte Sicherheitsstufe ist voll.",
     "La s\xe9""curit\xe9 minimale est pleine."},
    {"Minimum security has failed.", "Die leichte Sicherheitsstufe versagt.",
     "La s\xe9""curit\xe9 minimale a \xe9""chou\xe9."},
    {"Medium security is filled.", "Die mittlere Sicherheitsstufe ist voll.",
     "La s\xe9""curit\xe9 moyenne est pleine."},
    {"Medium security has failed.", "Die mittlere Sicherheitsstufe versagt.",
     "La s\xe9""curit\xe9 moyenne a \xe9""chou\xe9."},
    {"High security is filled.", "Die hohe Sicherheitsstufe ist voll.", "La haute s\xe9""curit\xe9 est pleine."},
    {"High security has failed.", "Die hohe Sicherheitsstufe versagt.", "La haute s\xe9""curit\xe9 a \xe9""chou\xe9."},
    {"Death row is filled.", "Der Todestrakt ist voll.", "Le couloir de la mort est plein."},
    {"Death row has failed.", "Der Todestrakt versagt.", "Le couloir de la mort a \xe9""chou\xe9."},
    {"Enough prisoners have been released.", "Genug H\xe4""ftlinge wurden entlassen.",
     "Assez de d\xe9tenus ont \xe9t\xe9 lib\xe9r\xe9s."},
    {"Too many prisoners were released.", "Zu viele H\xe4""ftlinge entlassen.", "Trop de d\xe9tenus lib\xe9r\xe9s."},
    {"Justice has been done.", "Der Gerechtigkeit ist Gen\xfcge getan.", "Justice a \xe9t\xe9 rendue."},
    {"Too many prisoners have been lost.", "Zu viele H\xe4""ftlinge verloren.", "Trop de d\xe9tenus perdus."},
    {"The intake target is met.", "Das Aufnahmeziel ist erreicht.", "L'objectif d'accueil est atteint."},
    {"The intake has overwhelmed the prison.", "Die Aufnahme \xfc""berfordert das Gef\xe4ngnis.",
     "L'accueil a d\xe9""bord\xe9 la prison."},
    {"The guards have kept the peace.", "Die Wachen haben den Frieden bewahrt.",
     "Les gardiens ont maintenu la paix."},
    {"Too many fights have broken out.", "Zu viele Schl\xe4gereien.", "Trop de bagarres ont \xe9""clat\xe9."},
    {"No one has escaped.", "Niemand ist geflohen.", "Personne ne s'est \xe9vad\xe9."},
    {"Too many prisoners have escaped.", "Zu viele H\xe4""ftlinge sind geflohen.",
     "Trop de d\xe9tenus se sont \xe9vad\xe9s."},
    {"The prison has reached its level.", "Das Gef\xe4ngnis hat seine Stufe erreicht.",
     "La prison a atteint son niveau."},
    {"The prison has fallen below its level.", "Das Gef\xe4ngnis ist unter seine Stufe gefallen.",
     "La prison est tomb\xe9""e sous son niveau."},
    {"New folder?", "Neuer Ordner?", "Nouveau dossier ?"},
    {"Delete this save?", "Jetzt l\xf6schen?", "Supprimer ?"},
    {"Delete this folder?", "Diesen Ordner l\xf6schen?", "Supprimer ce dossier ?"},
    {"Build cells: new prisoners arrive every day.", "Zellen bauen: t\xe4glich kommen neue H\xe4""ftlinge.",
     "Construisez des cellules : des d\xe9tenus arrivent chaque jour."},
    // A hungry prisoner off the canteen's floor misses now and then even
    // where canteens stand: the words hold with one or without.
    {"Prisoners went hungry: canteens with counters feed them.",
     "H\xe4""ftlinge hungerten: Kantinen mit Essensausgabe helfen.",
     "D\xe9tenus affam\xe9s : cantines et comptoirs les nourrissent."},
    {"The prisoners are bored: they need more to do.",
     "Die H\xe4""ftlinge langweilen sich: sie brauchen Besch\xe4""ftigung.",
     "Les d\xe9tenus s'ennuient : il leur faut des activit\xe9s."},
    {"The sick need a hospital.", "Die Kranken brauchen ein Krankenhaus.", "Les malades ont besoin d'un h\xf4pital."},
    {"The prisoners need work.", "Die H\xe4""ftlinge brauchen Arbeit.", "Les d\xe9tenus ont besoin de travail."},
    {"Evening report: a quiet day.", "Abendbericht: ein ruhiger Tag.", "Rapport du soir : journ\xe9""e calme."},
    {"Evening report: some trouble today.", "Abendbericht: heute gab es \xc4rger.",
     "Rapport du soir : quelques ennuis."},
    // A violent day says what stops the next: the cells' guards, and the
    // one thing a first prison can afford that calms the bored before they
    // turn angry, by its build-menu name.
    {"Violent day: guards stop fights, a games table calms the bored.",
     "Gewaltsamer Tag: Wachen trennen Streit, ein Spieltisch beruhigt.",
     "Journ\xe9""e violente : gardiens et table de jeux ram\xe8nent le calme."},
    {"The prison has no beds: build cells.", "Das Gef\xe4ngnis hat keine Betten: Zellen bauen.",
     "La prison n'a aucun lit : construisez des cellules."},
    // Guards are hired by the rooms that call for them: the words name the
    // first ones a new prison can have, by the build menu's names, and how
    // many guards each brings, in one line of the messages list.
    {"Escape, no guards: serving counter 1, administration guard room 2.",
     "Flucht ohne Wachen: Essensausgabe 1, Verwaltung: Wachraum 2.",
     "\xc9vasion : comptoir de service 1, poste de garde d'administration 2."},
    {"The inspector is coming.", "Der Inspektor kommt.", "L'inspecteur arrive."},
    {"CAMERA", "KAMERA", "CAM\xc9RA"},
    {"REC", "AUFN.", "ENR."},
    // 68-82: the ticker's chatter, at any hour in any prison that holds
    // prisoners: none names a room, a person or a time of day that may not
    // be there.
    {"A prisoner asks for a lawyer.", "Ein H\xe4""ftling verlangt einen Anwalt.", "Un d\xe9tenu demande un avocat."},
    {"A letter arrived for a prisoner.", "Ein Brief kam f\xfcr einen H\xe4""ftling.",
     "Une lettre est arriv\xe9""e pour un d\xe9tenu."},
    {"The weather turns cold.", "Das Wetter wird kalt.", "Le temps se refroidit."},
    {"A prisoner asks to see the governor.", "Ein H\xe4""ftling will den Direktor sprechen.",
     "Un d\xe9tenu demande \xe0 voir le directeur."},
    {"A prisoner complains about the noise.", "Ein H\xe4""ftling beschwert sich \xfc""ber den L\xe4rm.",
     "Un d\xe9tenu se plaint du bruit."},
    {"A prisoner claims to be innocent.", "Ein H\xe4""ftling beteuert seine Unschuld.",
     "Un d\xe9tenu clame son innocence."},
    {"A prisoner asks for another blanket.", "Ein H\xe4""ftling bittet um eine zweite Decke.",
     "Un d\xe9tenu demande une couverture de plus."},
    {"A prisoner asks to be moved elsewhere.", "Ein H\xe4""ftling will verlegt werden.",
     "Un d\xe9tenu demande son transfert."},
    {"A parcel arrived for a prisoner.", "Ein Paket kam f\xfcr einen H\xe4""ftling.",
     "Un colis est arriv\xe9 pour un d\xe9tenu."},
    {"A prisoner is learning to read.", "Ein H\xe4""ftling lernt lesen.", "Un d\xe9tenu apprend \xe0 lire."},
    {"A prisoner asks about early release.", "Ein H\xe4""ftling fragt nach vorzeitiger Entlassung.",
     "Un d\xe9tenu s'informe sur une lib\xe9ration anticip\xe9""e."},
    {"A prisoner files a complaint.", "Ein H\xe4""ftling reicht eine Beschwerde ein.",
     "Un d\xe9tenu d\xe9pose une plainte."},
    {"A prisoner counts the days.", "Ein H\xe4""ftling z\xe4hlt die Tage.", "Un d\xe9tenu compte les jours."},
    {"The wind picks up outside.", "Drau\xdf""en frischt der Wind auf.", "Le vent se l\xe8ve dehors."},
    {"A prisoner writes home.", "Ein H\xe4""ftling schreibt nach Hause.", "Un d\xe9tenu \xe9""crit \xe0 sa famille."},
    // 83: an empty load panel.
    {"No saved games yet.", "Noch keine gespeicherten Spiele.", "Aucune partie sauvegard\xe9""e."},
};
static_assert(sizeof(MESSAGES) / sizeof(MESSAGES[0]) == 84, "InGameMessages holds entries 0 to 83");

// Fonts 0-4: body, line, small, heading, hover text.
struct FontSpec
{
    const char* pcTrueType;
    int iPixels;
    // Digits squeezed to this many columns (0: as drawn). The main panel
    // puts the clock 30 pixels before the year text, so the body font's
    // "hh:mm" must end clear of the year's dash.
    std::uint32_t uiFigureWidth;
    // Every cell filled with this colour under its glyph, with rows of it
    // above and below: a hover text is drawn straight over the scene and
    // the panels, and reads only on a ground of its own.
    std::uint8_t aucBackdrop[4];
};
constexpr std::uint32_t BACKDROP_ROWS = 2;
const FontSpec FONTS[] = {{DEMO_TRUETYPE, 14, 6, {0, 0, 0, 0}},
                          {DEMO_TRUETYPE, 20, 0, {0, 0, 0, 0}},
                          {DEMO_TRUETYPE, 11, 0, {0, 0, 0, 0}},
                          {DEMO_TRUETYPE_BOLD, 30, 0, {0, 0, 0, 0}},
                          {DEMO_TRUETYPE_BOLD, 14, 0, {18, 22, 40, 232}}};

// A glyph's coverage squeezed to fewer columns: each new column averages
// the old columns it spans, in proportion to the part of each it covers.
void SqueezeGlyph(text::GlyphPicture& kGlyph, std::uint32_t uiWidth)
{
    if (uiWidth == 0 || kGlyph.width <= uiWidth)
        return;
    const double dScale = static_cast<double>(kGlyph.width) / uiWidth;
    std::vector<std::uint8_t> kCoverage(static_cast<std::size_t>(uiWidth) * kGlyph.height, 0);
    for (std::uint32_t y = 0; y < kGlyph.height; ++y)
        for (std::uint32_t x = 0; x < uiWidth; ++x)
        {
            const double dFrom = x * dScale;
            const double dTo = dFrom + dScale;
            double dSum = 0.0;
            for (auto uiOld = static_cast<std::uint32_t>(dFrom); uiOld < kGlyph.width && uiOld < dTo; ++uiOld)
            {
                const double dPart = std::min<double>(dTo, uiOld + 1) - std::max<double>(dFrom, uiOld);
                dSum += dPart * kGlyph.coverage[static_cast<std::size_t>(y) * kGlyph.width + uiOld];
            }
            kCoverage[static_cast<std::size_t>(y) * uiWidth + x] =
                static_cast<std::uint8_t>(std::min(255.0, dSum / dScale + 0.5));
        }
    kGlyph.width = uiWidth;
    kGlyph.coverage = std::move(kCoverage);
}

bool WriteBytes(const std::string& kPath, const std::string& kBytes)
{
    std::FILE* pkFile = std::fopen(kPath.c_str(), "wb");
    if (pkFile == nullptr)
    {
        std::fprintf(stderr, "demo data: cannot write %s\n", kPath.c_str());
        return false;
    }
    const bool bWritten = std::fwrite(kBytes.data(), 1, kBytes.size(), pkFile) == kBytes.size();
    return std::fclose(pkFile) == 0 && bWritten;
}

// What a plan is, as the build page and the pop-up describe it, and for a
// room that hires staff whom it hires (the kind the spawning table gives
// it): nothing else tells a player where guards come from. The boxes are 79
// and 94 pixels wide, and their wrap starts the next line's count at the
// letter that crossed the edge, so a line may run past the box by the part
// of the word before that letter: the words are short enough that no line
// reaches past the panel, a staffed room's not past the page's column (the
// data check measures them); a name too long for the column is split after
// a hyphen.
struct PlanWords
{
    const char* pcName;
    Message kWords;
};
const PlanWords PLAN_WORDS[] = {
    {"admin_staff_security_indoor", {"Administration", "Verwaltung", "Administration"}},
    {"balcony_walk", {"Balcony walk", "Laufgang", "Coursive"}},
    {"bench", {"Bench", "Bank", "Banc"}},
    {"canteen_food", {"Canteen", "Kantine", "Cantine"}},
    {"cell_double", {"Twin cell: a guard.", "Doppel- zelle: eine Wache.", "Cellule double. Engage un gardien."}},
    {"cell_double_high",
     {"High twin cell: a guard.", "Doppel- zelle: eine Wache. Hoch.", "Cellule double haute. Un gardien."}},
    {"cell_double_max",
     {"Maximum twin cell: a guard.", "Doppel- zelle: eine Wache. Maximal.",
      "Cellule double. Un gardien. Maximale."}},
    {"cell_double_medium",
     {"Medium twin cell: a guard.", "Doppel- zelle: eine Wache. Mittel.",
      "Cellule double. Un gardien. Moyenne."}},
    {"cell_secure", {"Safe cell: a guard.", "Sichere Zelle: eine Wache.", "Cellule s\xfb""re. Un gardien."}},
    {"cell_single",
     {"Single cell: a guard.", "Einzel- zelle: eine Wache.", "Cellule simple. Engage un gardien."}},
    {"cellblock_large", {"Large cell block", "Gro\xdf""er Zellenblock", "Grand bloc cellulaire"}},
    {"cellblock_secure", {"Secure cell block", "Sicherer Zellenblock", "Bloc cellulaire s\xfb""r"}},
    {"cellblock_small", {"Small cell block", "Kleiner Zellenblock", "Petit bloc cellulaire"}},
    {"chapel", {"Chapel: a chaplain.", "Kapelle. Mit einem Pfarrer.", "Chapelle. Engage un aum\xf4nier."}},
    {"clerical1",
     {"Clerk's office: a guard.", "Schreib- stube: eine Wache.",
      "Bureau du greffe. Engage un gardien."}},
    {"counselling_room",
     {"Counsel- ling room: one guard.", "Beratungs- raum. Stellt eine Wache ein.",
      "Salle de conseil. Engage un gardien."}},
    {"dining_table", {"Dining table", "Esstisch", "Table de repas"}},
    {"execution_room",
     {"Execution room: a guard.", "Richtraum. Stellt eine Wache ein.",
      "Salle des ex\xe9""cutions avec un gardien."}},
    {"fence", {"Fence", "Zaun", "Cl\xf4ture"}},
    {"games_table", {"Games table: calms the bored.", "Spieltisch: beruhigt Gelangweilte.",
                     "Table de jeux. Calme les d\xe9tenus oisifs."}},
    {"guard_room",
     {"Guard room: two guards.", "Wach- raum: zwei Wachen.",
      "Poste de garde. 2 gardiens."}},
    {"hospital_health_therapy", {"Hospital", "Krankenhaus", "H\xf4pital"}},
    {"laundry_press",
     {"Laundry press: a guard.", "W\xe4sche- presse. Stellt eine Wache ein.",
      "Presse \xe0 linge. Engage un gardien."}},
    {"maint_repair_room",
     {"Repair room: a worker.", "Reparatur- raum. Mit einem Arbeiter.",
      "Atelier de r\xe9paration. Engage un ouvrier."}},
    {"medical_room",
     {"Medical room: a doctor.", "Sanit\xe4ts- raum: ein Arzt.",
      "Salle m\xe9""dicale. Engage un m\xe9""decin."}},
    {"planning1",
     {"Planning office: a guard.", "Planungs- b\xfcro. Stellt eine Wache ein.",
      "Bureau d'\xe9tudes. Engage un gardien."}},
    {"planning2",
     {"Large planning office: one guard.", "Gro\xdf""es Planungs- b\xfcro: eine Wache.",
      "Grand bureau d'\xe9tudes. Gardien."}},
    {"serving_counter",
     {"Serving counter: a guard.", "Essens- ausgabe. Stellt eine Wache ein.",
      "Comptoir de service. Engage un gardien."}},
    {"sick_bed",
     {"Sick bed: a doctor.", "Kranken- bett. Stellt einen Arzt ein.",
      "Lit de malade. Engage un m\xe9""decin."}},
    {"therapy_room",
     {"Therapy room: a counsellor.", "Therapie- raum. Mit einem Berater.",
      "Salle de th\xe9rapie. Engage un conseiller."}},
    {"wall_stretch", {"Wall", "Mauer", "Mur"}},
    {"watchtower", {"Watchtower", "Wachturm", "Mirador"}},
    {"work_bench", {"Work- bench: a guard.", "Werkbank. Stellt eine Wache ein.", "\xc9tabli. Engage un gardien."}},
    {"workshop_maint", {"Workshop", "Werkstatt", "Atelier"}},
};

// What a plan's staff cost on the day it is built, after its words: the
// guards, doctors, counsellors, chaplains and workers its room hires and
// the posts its model marks. The page's price is the plan's alone, and a
// new player otherwise finds two or three times it gone. The day and the
// figure are joined by no-break spaces, which the page's wrapping never
// breaks at, so they stand on one line of the 79-pixel column; the figure
// is the game's own reckoning (DemoStaffCostOnBuildDay), never written here.
struct StaffCostWords
{
    const char* pcEnglish;
    const char* pcGerman;
    const char* pcFrench;
};
constexpr StaffCostWords STAFF_COST_DAY = {"1st\xa0""day:\xa0", "1.\xa0Tag:\xa0", "Jour\xa0""1\xa0:\xa0"};

// A deque keeps its strings in place as it grows.
const char* KeptText(std::string kText)
{
    static std::deque<std::string> s_kTexts;
    s_kTexts.push_back(std::move(kText));
    return s_kTexts.back().c_str();
}

Message WithStaffCost(const std::string& kName, const Message& kWords)
{
    const int iCost = DemoStaffCostOnBuildDay(kName);
    if (iCost <= 0)
        return kWords;
    const std::string kFigure = std::to_string(iCost);
    // A bare name (a building's) ends with a stop before the day, so that
    // the name reads as a name.
    const auto Joined = [&kFigure](const std::string& kName, const char* pcDay) {
        const bool bStopped = !kName.empty() && (kName.back() == '.' || kName.back() == ':');
        return KeptText(kName + (bStopped ? " " : ". ") + pcDay + kFigure);
    };
    return {Joined(kWords.pcEnglish, STAFF_COST_DAY.pcEnglish), Joined(kWords.pcGerman, STAFF_COST_DAY.pcGerman),
            Joined(kWords.pcFrench, STAFF_COST_DAY.pcFrench)};
}

// A plan's words, with what its staff cost on the day it is built; one
// without words of its own is named by its name, alike in every language.
Message PlanDescription(const std::string& kName)
{
    for (const PlanWords& kPlan : PLAN_WORDS)
        if (kName == kPlan.pcName)
            return WithStaffCost(kName, kPlan.kWords);
    // A deque keeps its strings in place as it grows.
    static std::deque<std::string> s_kNames;
    std::string kWords = kName;
    for (char& c : kWords)
        c = c == '_' ? ' ' : c;
    if (!kWords.empty() && kWords[0] >= 'a' && kWords[0] <= 'z')
        kWords[0] = static_cast<char>(kWords[0] - 'a' + 'A');
    s_kNames.push_back(kWords);
    const char* pcWords = s_kNames.back().c_str();
    return WithStaffCost(kName, {pcWords, pcWords, pcWords});
}

std::string LanguageFile()
{
    // The layouts' hover-text lists come first: a list is found by a part
    // of its name, and "panel" is part of "build_panel_extra_text". Among
    // them the shorter names go first, so "build" is not found as part of
    // "building".
    std::vector<const DemoTooltipLayout*> kLayouts;
    for (const DemoTooltipLayout& kLayout : DemoTooltipLayouts())
        kLayouts.push_back(&kLayout);
    std::stable_sort(kLayouts.begin(), kLayouts.end(), [](const DemoTooltipLayout* a, const DemoTooltipLayout* b) {
        return DemoTooltipListName(a->pcBase).size() < DemoTooltipListName(b->pcBase).size();
    });
    std::string kText = "<LANGUAGE>\r\n";
    for (const DemoTooltipLayout* pkLayout : kLayouts)
    {
        const std::string kName = DemoTooltipListName(pkLayout->pcBase);
        kText += "<" + kName + ">\r\n";
        for (std::size_t i = 0; i < pkLayout->kTips.size(); ++i)
        {
            const DemoTooltip& kTip = pkLayout->kTips[i];
            const std::string kNumber = std::to_string(i);
            kText += "<" + kNumber + ">\r\n" + kTip.pcEnglish + "\r\n" + kTip.pcGerman + "\r\n" + kTip.pcFrench +
                     "\r\n</" + kNumber + ">\r\n";
        }
        kText += "</" + kName + ">\r\n";
    }
    kText += "<InGameMessages>\r\n";
    int iEntry = 0;
    for (const Message& kMessage : MESSAGES)
    {
        const std::string kNumber = std::to_string(iEntry++);
        kText += "<" + kNumber + ">\r\n" + kMessage.pcEnglish + "\r\n" + kMessage.pcGerman + "\r\n" +
                 kMessage.pcFrench + "\r\n</" + kNumber + ">\r\n";
    }
    kText += "</InGameMessages>\r\n";
    auto List = [&kText](const std::string& kName, const std::vector<Message>& kEntries) {
        kText += "<" + kName + ">\r\n";
        for (std::size_t i = 0; i < kEntries.size(); ++i)
        {
            const std::string kNumber = std::to_string(i);
            kText += "<" + kNumber + ">\r\n" + kEntries[i].pcEnglish + "\r\n" + kEntries[i].pcGerman + "\r\n" +
                     kEntries[i].pcFrench + "\r\n</" + kNumber + ">\r\n";
        }
        kText += "</" + kName + ">\r\n";
    };
    List(PLURAL_ENDING.first, {PLURAL_ENDING.second});
    List("security_level_text", {{"Low", "Niedrig", "Basse"},
                                 {"Medium", "Mittel", "Moyenne"},
                                 {"High", "Hoch", "Haute"},
                                 {"Maximum", "Maximal", "Maximale"}});
    // The price stands 35 pixels after this text: the money sign fits.
    List("build_panel_extra_text", {{"\xa4", "\xa4", "\xa4"}});
    // Moods 0-3 by intensity 2, 1, 0; then hungry, injured, critical.
    List("mood_text", {{"Content", "Zufrieden", "Content"},
                       {"Happy", "Froh", "Heureux"},
                       {"Very happy", "Sehr froh", "Tr\xe8s heureux"},
                       {"Calm", "Ruhig", "Calme"},
                       {"Indifferent", "Gleichg\xfcltig", "Indiff\xe9rent"},
                       {"Uneasy", "Unruhig", "Inquiet"},
                       {"Restless", "Rastlos", "Agit\xe9"},
                       {"Bored", "Gelangweilt", "Ennuy\xe9"},
                       {"Very bored", "Sehr gelangweilt", "Tr\xe8s ennuy\xe9"},
                       {"Irritated", "Gereizt", "Irrit\xe9"},
                       {"Angry", "W\xfctend", "En col\xe8re"},
                       {"Furious", "Rasend", "Furieux"},
                       {"Hungry", "Hungrig", "Affam\xe9"},
                       {"Injured", "Verletzt", "Bless\xe9"},
                       {"Critical", "Kritisch", "Critique"}});
    // The gang's own icon stands before its name: the name alone fits
    // the room to the pop-up's edge.
    List("gang_text", {{"No gang", "Keine Bande", "Sans bande"},
                       {"Crows", "Kr\xe4hen", "Corbeaux"},
                       {"Foxes", "F\xfc""chse", "Renards"}});
    List("jobtitles", {{"Guard", "Wache", "Gardien"},
                       {"Cook", "Koch", "Cuisinier"},
                       {"Doctor", "Arzt", "M\xe9""decin"},
                       {"Worker", "Arbeiter", "Ouvrier"},
                       {"Prisoner", "H\xe4""ftling", "D\xe9tenu"}});
    // The parole desk's words for a candidate.
    List("gender_text", {{"Male", "M\xe4nnlich", "Homme"}, {"Female", "Weiblich", "Femme"}});
    List("build_text", {{"Heavy", "Kr\xe4""ftig", "Costaud"}, {"Slim", "Schlank", "Mince"}});
    // The scenarios' texts by scenario number: first the screen's
    // description, then the brief the desk shows in play. A list is found
    // by a part of its name, so "SCENARIOS" must come first.
    List("SCENARIOS", {{"First steps: run the prison through its first year without going into debt.",
                        "Erste Schritte: das Gef\xe4ngnis ein Jahr lang ohne Schulden f\xfchren.",
                        "Premiers pas : g\xe9rer la prison une ann\xe9""e sans s'endetter."}});
    List("BRIEF_SCENARIOS", {{"Get through the first year. Keep the balance at 0 or above.",
                              "\xdc""bersteh das erste Jahr. Kontostand nicht unter 0.",
                              "Tenez la premi\xe8re ann\xe9""e. Solde jamais sous 0."}});
    // The build menu's descriptions: one list per category, one entry per
    // plan (what it is, in each language), in menu order. The inside menu's
    // first list carries the name its page looks the lists up by.
    std::vector<std::pair<std::string, std::vector<Message>>> kLists;
    for (const DemoBuildPlan& kPlan : DemoBuildPlans())
    {
        const std::string kCategory = kPlan.m_kCategory == "CONTENTSCELLS" ? "CONTENTSCELLBLOCKS" : kPlan.m_kCategory;
        if (kLists.empty() || kLists.back().first != kCategory)
            kLists.push_back({kCategory, {}});
        kLists.back().second.push_back(PlanDescription(kPlan.m_kName));
    }
    // Each prison's lists, one after the other.
    for (int iPrison = 1; iPrison <= DEMO_PRISON_COUNT; ++iPrison)
        for (const auto& [kCategory, kEntries] : kLists)
            List("PRISON" + std::to_string(iPrison) + "TEMPLATESBUILD_OBJECTS" + kCategory, kEntries);
    return kText + "</LANGUAGE>\r\n";
}

// Printable ASCII and every other byte the texts use.
std::string FontCharacters(const std::string& kTexts)
{
    std::set<unsigned char> kBytes;
    for (unsigned char c = 0x20; c < 0x7F; ++c)
        kBytes.insert(c);
    for (const char c : kTexts)
        if (static_cast<unsigned char>(c) >= 0xA0)
            kBytes.insert(static_cast<unsigned char>(c));
    return std::string(kBytes.begin(), kBytes.end());
}

// The bitmap-font format: bands of cells, a key pixel left of each
// separator row and one after each cell's glyph and its two spare columns.
bool WriteFont(const std::string& kFolder, int iIndex, const FontSpec& kSpec, const std::string& kChars)
{
    std::vector<text::GlyphPicture> kGlyphs;
    std::string kError;
    if (!text::RenderGlyphs(kSpec.pcTrueType, kSpec.iPixels, kChars, kGlyphs, kError))
    {
        std::fprintf(stderr, "demo data: %s\n", kError.c_str());
        return false;
    }
    for (text::GlyphPicture& kGlyph : kGlyphs)
        if (kGlyph.character >= '0' && kGlyph.character <= '9')
            SqueezeGlyph(kGlyph, kSpec.uiFigureWidth);
    const bool bBackdrop = kSpec.aucBackdrop[3] != 0;
    const std::uint32_t uiPad = bBackdrop ? BACKDROP_ROWS : 0;
    const std::uint32_t uiGlyphRows = kGlyphs.empty() ? 1 : kGlyphs.front().height;
    const std::uint32_t uiCell = uiGlyphRows + 2 * uiPad;
    constexpr std::uint32_t WIDTH = 512;
    // Place the cells band by band.
    struct Place
    {
        std::uint32_t uiX;
        std::uint32_t uiBand;
    };
    std::vector<Place> kPlaces;
    std::uint32_t uiX = 1;
    std::uint32_t uiBand = 0;
    for (const text::GlyphPicture& kGlyph : kGlyphs)
    {
        if (uiX + kGlyph.width + 3 > WIDTH)
        {
            uiX = 1;
            ++uiBand;
        }
        kPlaces.push_back(Place{uiX, uiBand});
        uiX += kGlyph.width + 3;
    }
    const std::uint32_t uiHeight = (uiBand + 1) * (uiCell + 1) + 1;
    std::vector<std::uint8_t> kPixels(static_cast<std::size_t>(WIDTH) * uiHeight * 4, 0);
    auto Set = [&](std::uint32_t x, std::uint32_t y, std::uint8_t r, std::uint8_t g, std::uint8_t b, std::uint8_t a) {
        std::uint8_t* puc = &kPixels[(static_cast<std::size_t>(y) * WIDTH + x) * 4];
        puc[0] = r;
        puc[1] = g;
        puc[2] = b;
        puc[3] = a;
    };
    for (std::uint32_t b = 0; b <= uiBand + 1; ++b)
        Set(0, b * (uiCell + 1), 255, 0, 255, 255);
    for (std::size_t i = 0; i < kGlyphs.size(); ++i)
    {
        const text::GlyphPicture& kGlyph = kGlyphs[i];
        const std::uint32_t uiTop = kPlaces[i].uiBand * (uiCell + 1);
        Set(kPlaces[i].uiX + kGlyph.width + 2, uiTop, 255, 0, 255, 255);
        if (bBackdrop)
            for (std::uint32_t y = 0; y < uiCell; ++y)
                for (std::uint32_t x = 0; x < kGlyph.width; ++x)
                    Set(kPlaces[i].uiX + x, uiTop + 1 + y, kSpec.aucBackdrop[0], kSpec.aucBackdrop[1],
                        kSpec.aucBackdrop[2], kSpec.aucBackdrop[3]);
        for (std::uint32_t y = 0; y < kGlyph.height && y < uiGlyphRows; ++y)
            for (std::uint32_t x = 0; x < kGlyph.width; ++x)
            {
                const std::uint8_t ucA = kGlyph.coverage[static_cast<std::size_t>(y) * kGlyph.width + x];
                if (ucA == 0)
                    continue;
                const std::uint32_t uiX = kPlaces[i].uiX + x;
                const std::uint32_t uiY = uiTop + 1 + uiPad + y;
                if (!bBackdrop)
                {
                    Set(uiX, uiY, 255, 255, 255, ucA);
                    continue;
                }
                // White over the backdrop, both with their own alpha.
                const double dA = ucA / 255.0;
                const double dBack = kSpec.aucBackdrop[3] / 255.0 * (1.0 - dA);
                const double dOut = dA + dBack;
                auto Mix = [&](std::uint8_t ucBack) {
                    return static_cast<std::uint8_t>((255.0 * dA + ucBack * dBack) / dOut + 0.5);
                };
                Set(uiX, uiY, Mix(kSpec.aucBackdrop[0]), Mix(kSpec.aucBackdrop[1]), Mix(kSpec.aucBackdrop[2]),
                    static_cast<std::uint8_t>(dOut * 255.0 + 0.5));
            }
    }
    const std::string kName = "font" + std::to_string(iIndex);
    if (!WriteTga(kFolder + "/fonts/" + kName + ".tga", static_cast<std::uint16_t>(WIDTH),
                  static_cast<std::uint16_t>(uiHeight), 32, kPixels))
        return false;
    return WriteBytes(kFolder + "/fonts/" + kName + ".txt",
                      "Screen font " + std::to_string(iIndex) + "\r\n" + kName + ".tga\r\ncharacters:\r\n" + kChars +
                          "\r\n");
}

bool AddSection(COrvaneTagTree& kTree, const char* pcName, const std::vector<std::string>& kValues)
{
    const std::string kTag = std::string("<") + pcName + ">";
    if (!kTree.SelectSection("root", true) || !kTree.AddChild(pcName) || !kTree.SelectSection(kTag.c_str(), true))
        return false;
    for (const std::string& kValue : kValues)
        kTree.AddValue(kValue);
    return true;
}
} // namespace

bool WriteDemoTexts(const std::string& kFolder)
{
    const std::string kLanguage = LanguageFile();
    if (!WriteBytes(kFolder + "/language.xml", kLanguage) ||
        !WriteBytes(kFolder + "/config.bin", "<SCENARIO_STATES>\r\nOPEN\r\n</SCENARIO_STATES>\r\n"))
        return false;
    const std::string kChars = FontCharacters(kLanguage);
    std::vector<std::string> kScreenText;
    for (int i = 0; i < 5; ++i)
    {
        if (!WriteFont(kFolder, i, FONTS[i], kChars))
            return false;
        kScreenText.push_back("fonts/font" + std::to_string(i) + ".txt");
    }

    COrvaneTagTree kData;
    if (!kData.Load((kFolder + "/data.xml").c_str()) || !AddSection(kData, "FONTS", {"fonts/demo.nff"}) ||
        !AddSection(kData, "SCREENTEXT", kScreenText) || !kData.Save((kFolder + "/data.xml").c_str()))
    {
        std::fprintf(stderr, "demo data: cannot add the fonts to %s/data.xml\n", kFolder.c_str());
        return false;
    }
    COrvaneTagTree kSetup;
    bool bOk = kSetup.Load((kFolder + "/setup.xml").c_str()) && kSetup.SelectSection("root", true) &&
               kSetup.AddChild("In_Game_Settings");
    for (const char* pcName : {"Music", "SFX", "Detail"})
    {
        const std::string kTag = std::string("<") + pcName + ">";
        bOk = bOk && kSetup.SelectSection("<In_Game_Settings>", true) && kSetup.AddChild(pcName) &&
              kSetup.FindChild(kTag.c_str());
        if (bOk)
            kSetup.AddValue("1");
    }
    if (!bOk || !kSetup.Save((kFolder + "/setup.xml").c_str()))
    {
        std::fprintf(stderr, "demo data: cannot add the in-game settings to %s/setup.xml\n", kFolder.c_str());
        return false;
    }
    return true;
}
