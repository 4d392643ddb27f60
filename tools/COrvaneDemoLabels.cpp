#include "tools/COrvaneDemoLabels.h"

#include <utility>

namespace
{
// Font 0 (the management pages and pop-ups) and font 2 (the desk): the
// label's height, and the width of one symbol.
constexpr std::uint32_t BODY_SIZE = 12;
constexpr std::uint32_t SMALL_SIZE = 10;
constexpr std::uint32_t SQUARE = 8;

const char* const FINANCE = "images/panels/management/finance/finance";
const char* const STAFF_PAGE = "images/panels/management/mstaff";
const char* const PRISONER_PAGE = "images/panels/management/mprisoners";
const char* const BUILDING = "images/panels/building/building";
const char* const PRISONER = "images/panels/prisoner/prisoner";
const char* const STAFF = "images/panels/staff/staff";
const char* const DESK = "images/parole/parole";

// The security levels' colours, as their icons show them.
const DemoRgba LEVEL_COLOURS[4] = {{80, 200, 80, 255}, {220, 200, 60, 255}, {230, 120, 40, 255}, {210, 40, 40, 255}};

std::vector<DemoFigureLabel> MakeLabels()
{
    std::vector<DemoFigureLabel> k;
    const auto Add = [&k](const char* pcBase, std::uint32_t x, std::uint32_t y, std::u16string kIcon,
                          const char* pcEnglish, const char* pcGerman, const char* pcFrench) {
        k.push_back({pcBase, x, y, std::move(kIcon), {0, 0, 0, 0}, false, pcEnglish, pcGerman, pcFrench});
    };
    // A column's heading, above its first figure.
    const auto Heading = [&k](const char* pcBase, std::uint32_t x, std::uint32_t y, std::u16string kIcon,
                              const char* pcEnglish, const char* pcGerman, const char* pcFrench) {
        k.push_back({pcBase, x, y, std::move(kIcon), {0, 0, 0, 0}, true, pcEnglish, pcGerman, pcFrench});
    };
    const auto Levels = [&k](const char* pcBase, const std::uint32_t (&auiX)[4], std::uint32_t y) {
        const char* const apcWords[4][3] = {{"Low security", "Niedrige Sicherheit", "S\xe9""curit\xe9 basse"},
                                            {"Medium security", "Mittlere Sicherheit", "S\xe9""curit\xe9 moyenne"},
                                            {"High security", "Hohe Sicherheit", "Haute s\xe9""curit\xe9"},
                                            {"Maximum security", "H\xf6""chste Sicherheit", "S\xe9""curit\xe9 maximale"}};
        for (std::size_t i = 0; i < 4; ++i)
            k.push_back({pcBase, auiX[i], y, u"", LEVEL_COLOURS[i], false, apcWords[i][0], apcWords[i][1], apcWords[i][2]});
    };

    // Finance: the balance and the expenses on top, income on the left,
    // costs on the right.
    Add(FINANCE, 55, 22, u"\u00A4", "Balance", "Kontostand", "Solde");
    Add(FINANCE, 196, 22, u"\u00A4\u2212", "Expenses", "Ausgaben", "D\xe9penses");
    Add(FINANCE, 60, 68, u"\u00A4+", "Income", "Einnahmen", "Recettes");
    Add(FINANCE, 60, 98, u"\u2692", "Work income", "Arbeitseinnahmen", "Recettes du travail");
    Add(FINANCE, 60, 114, u"\u263A\u00A4", "Payments for prisoners", "Zahlungen f\xfcr H\xe4""ftlinge",
        "Paiements pour les d\xe9tenus");
    Add(FINANCE, 60, 130, u"+", "Other income", "Sonstige Einnahmen", "Autres recettes");
    Add(FINANCE, 200, 50, u"\u2615", "Food", "Essen", "Nourriture");
    Add(FINANCE, 200, 66, u"\u2699", "Running costs", "Betriebskosten", "Frais de fonctionnement");
    Add(FINANCE, 200, 82, u"\u263B", "Wages", "L\xf6hne", "Salaires");
    Add(FINANCE, 200, 98, u"\u2302", "Buildings bought", "Gekaufte Geb\xe4ude", "B\xe2timents achet\xe9s");
    Add(FINANCE, 200, 114, u"\u26A1", "Incidents", "Vorf\xe4lle", "Incidents");
    Add(FINANCE, 200, 130, u"\u270E", "Administration", "Verwaltung", "Administration");

    // Staff: a row per kind (security, medical, other, support) and the
    // totals; the columns' headings above the first row.
    Add(STAFF_PAGE, 95, 34, u"\u265C", "Security staff", "Sicherheitspersonal", "Personnel de s\xe9""curit\xe9");
    Add(STAFF_PAGE, 95, 52, u"\u2695", "Medical staff", "Sanit\xe4tspersonal", "Personnel m\xe9""dical");
    Add(STAFF_PAGE, 95, 70, u"\u2699", "Other staff", "Weiteres Personal", "Autre personnel");
    Add(STAFF_PAGE, 95, 88, u"\u2661", "Support staff", "Betreuungspersonal", "Personnel d'accompagnement");
    Add(STAFF_PAGE, 95, 112, u"\u2211", "All staff", "Alle Mitarbeiter", "Tout le personnel");
    Heading(STAFF_PAGE, 95, 34, u"\u263B", "Number of staff", "Anzahl", "Effectif");
    Heading(STAFF_PAGE, 140, 34, u"\u00A4", "Wages a day", "L\xf6hne pro Tag", "Salaires par jour");
    Heading(STAFF_PAGE, 208, 34, u"\u2713", "Services done", "Erledigte Dienste", "Services rendus");

    // Prisoners: now and received, by security level, then two columns.
    Add(PRISONER_PAGE, 78, 28, u"\u263A", "Prisoners now", "H\xe4""ftlinge jetzt", "D\xe9tenus actuels");
    Add(PRISONER_PAGE, 78, 40, u"\u21E9", "Prisoners received", "Aufgenommene H\xe4""ftlinge", "D\xe9tenus re\xe7us");
    Levels(PRISONER_PAGE, {151, 183, 215, 248}, 41);
    Add(PRISONER_PAGE, 68, 72, u"\u00D8\u25A5", "Average sentence (years)", "Mittlere Strafe (Jahre)",
        "Peine moyenne (ann\xe9""es)");
    Add(PRISONER_PAGE, 68, 90, u"\u271D", "Prisoners gone (died, executed)", "Abg\xe4nge (gestorben, hingerichtet)",
        "D\xe9tenus perdus (morts, ex\xe9""cut\xe9s)");
    Add(PRISONER_PAGE, 68, 108, u"\u2694", "Fights (knockdowns)", "Schl\xe4gereien (Niederschl\xe4ge)",
        "Bagarres (mises au sol)");
    Add(PRISONER_PAGE, 198, 72, u"\u21D7", "Escapes", "Ausbr\xfc""che", "\xc9vasions");
    Add(PRISONER_PAGE, 198, 90, u"\u2295", "Intake", "Zugang", "Admissions");
    Add(PRISONER_PAGE, 198, 108, u"\u2690", "Released", "Entlassen", "Lib\xe9r\xe9s");

    // A building or room.
    Add(BUILDING, 64, 170, u"\u2302", "Year built", "Baujahr", "Ann\xe9""e de construction");
    Add(BUILDING, 64, 186, u"\u00A4", "Price", "Preis", "Prix");
    Add(BUILDING, 64, 201, u"\u25A6", "Size (squares)", "Gr\xf6\xdf""e (Felder)", "Taille (cases)");
    Add(BUILDING, 64, 217, u"\u2630", "Floors", "Stockwerke", "\xc9tages");
    Add(BUILDING, 198, 197, u"\u00A4\u21BB", "Upkeep a day", "Unterhalt pro Tag", "Entretien par jour");
    Add(BUILDING, 198, 216, u"\u2665", "Attraction", "Beliebtheit", "Attrait");
    Add(BUILDING, 190, 160, u"\u263A", "People inside", "Personen darin", "Personnes \xe0 l'int\xe9rieur");
    Add(BUILDING, 260, 160, u"\u25A3", "Places", "Pl\xe4tze", "Places");

    // A prisoner and a member of staff: the same places, their own words.
    for (const bool bStaff : {false, true})
    {
        const char* pcBase = bStaff ? STAFF : PRISONER;
        const std::uint32_t b = bStaff ? 150 : 190;
        Add(pcBase, 218, 65, u"\u263C", "Age", "Alter", "\xc2ge");
        Add(pcBase, 188, 85, u"\u21E9", bStaff ? "Year taken on" : "Year of arrival",
            bStaff ? "Eingestellt im Jahr" : "Ankunftsjahr", bStaff ? "Ann\xe9""e d'embauche" : "Ann\xe9""e d'arriv\xe9""e");
        Add(pcBase, 188, 100, u"\u25A5", bStaff ? "Years employed" : "Sentence in years",
            bStaff ? "Dienstjahre" : "Strafe in Jahren", bStaff ? "Ann\xe9""es de service" : "Peine en ann\xe9""es");
        Add(pcBase, 188, b, u"\u00A4", bStaff ? "Wage a day" : "Earnings", bStaff ? "Lohn pro Tag" : "Verdienst",
            bStaff ? "Salaire par jour" : "Gains");
        Add(pcBase, 248, b + 20, u"\u2692", "Work done", "Geleistete Arbeit", "Travail effectu\xe9");
        if (!bStaff)
            Add(pcBase, 248, 162, u"\u2694", "Fights (knockdowns)", "Schl\xe4gereien (Niederschl\xe4ge)",
                "Bagarres (mises au sol)");
    }

    // The parole desk: the candidate on the left, the prison on the right.
    Add(DESK, 228, 301, u"\u265C", "Security level", "Sicherheitsstufe", "Niveau de s\xe9""curit\xe9");
    Add(DESK, 228, 329, u"\u00A4", "Earnings", "Verdienst", "Gains");
    Add(DESK, 420, 179, u"\u263C", "Age", "Alter", "\xc2ge");
    Add(DESK, 363, 193, u"\u2605", "Date of birth", "Geburtsdatum", "Date de naissance");
    Add(DESK, 353, 219, u"\u21E9", "Year of arrival", "Ankunftsjahr", "Ann\xe9""e d'arriv\xe9""e");
    Add(DESK, 353, 249, u"\u25A5", "Sentence in years", "Strafe in Jahren", "Peine en ann\xe9""es");
    Add(DESK, 348, 273, u"\u2691", "Gang", "Bande", "Bande");
    Add(DESK, 348, 301, u"\u2694", "Fights (knockdowns)", "Schl\xe4gereien (Niederschl\xe4ge)",
        "Bagarres (mises au sol)");
    Add(DESK, 348, 329, u"\u2692", "Work done", "Geleistete Arbeit", "Travail effectu\xe9");
    Add(DESK, 639, 217, u"\u2302\u265C", "Prison level", "Gef\xe4ngnisstufe", "Niveau de la prison");
    Add(DESK, 639, 234, u"\u2696", "Order", "Ordnung", "Ordre");
    Add(DESK, 639, 252, u"\u263C", "Years run", "Jahre im Amt", "Ann\xe9""es en poste");
    Add(DESK, 687, 277, u"\u2694", "Fights (knockdowns)", "Schl\xe4gereien (Niederschl\xe4ge)",
        "Bagarres (mises au sol)");
    Add(DESK, 687, 295, u"\u271D", "Prisoners gone (died, executed)", "Abg\xe4nge (gestorben, hingerichtet)",
        "D\xe9tenus perdus (morts, ex\xe9""cut\xe9s)");
    Add(DESK, 687, 313, u"\u2690", "Released", "Entlassen", "Lib\xe9r\xe9s");
    Add(DESK, 687, 331, u"\u2295", "Intake", "Zugang", "Admissions");
    Add(DESK, 782, 217, u"\u263A", "Prisoners now", "H\xe4""ftlinge jetzt", "D\xe9tenus actuels");
    Levels(DESK, {684, 717, 750, 783}, 252);
    Add(DESK, 734, 286, u"\u00A4", "Balance", "Kontostand", "Solde");
    Add(DESK, 734, 313, u"\u00A4+", "Income", "Einnahmen", "Recettes");
    Add(DESK, 734, 335, u"\u00A4\u2212", "Expenses", "Ausgaben", "D\xe9penses");
    return k;
}
} // namespace

const std::vector<DemoFigureLabel>& DemoFigureLabels()
{
    static const std::vector<DemoFigureLabel> s_kLabels = MakeLabels();
    return s_kLabels;
}

std::vector<DemoFigureLabel> DemoFigureLabelsOf(const std::string& kBase)
{
    std::vector<DemoFigureLabel> kOut;
    for (const DemoFigureLabel& kLabel : DemoFigureLabels())
        if (kBase == kLabel.pcBase)
            kOut.push_back(kLabel);
    return kOut;
}

DemoRect DemoFigureLabelRect(const DemoFigureLabel& kLabel)
{
    const bool bSmall = std::string(kLabel.pcBase) == DESK;
    const std::uint32_t uiSize = bSmall ? SMALL_SIZE : BODY_SIZE;
    const std::uint32_t uiY = kLabel.uiY;
    if (kLabel.kIcon.empty())
        return {kLabel.uiX - SQUARE - 2, uiY + (uiSize - SQUARE) / 2 + 2, SQUARE, SQUARE};
    const auto uiWidth = static_cast<std::uint32_t>(kLabel.kIcon.size()) * (uiSize + 1);
    if (kLabel.bAbove)
        return {kLabel.uiX, uiY - uiSize - 2, uiWidth, uiSize};
    return {kLabel.uiX - uiWidth - 2, uiY + 2, uiWidth, uiSize};
}

bool DrawDemoFigureLabels(COrvaneDemoImage& kPicture, const std::string& kBase)
{
    for (const DemoFigureLabel& kLabel : DemoFigureLabelsOf(kBase))
    {
        const DemoRect kRect = DemoFigureLabelRect(kLabel);
        if (kLabel.kIcon.empty())
            kPicture.Box(kRect, kLabel.kColour);
        else if (!kPicture.Symbol(kRect, kLabel.kIcon, static_cast<int>(kRect.h)))
            return false;
    }
    return true;
}
