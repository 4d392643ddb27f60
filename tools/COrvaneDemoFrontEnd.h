#pragma once

#include <string>

// The front end of the demo data, under the data folder: the main menu,
// location and scenario screens (buttons 1-4 each, labelled), the
// completion stamp, one scenario (its save file on level 0 with a goal and
// a failure condition, and its preview) listed in "SCENARIOS" of
// "data.xml"; and the layouts of the options panel (with its three state
// images), the message history (with its separator line) and the parole
// desk (with the photo's back). Every button is a numbered overlay placed by
// the screen's "_p" map; the three screens' buttons, like the panels', have
// hover texts over them ("_h" maps). False (with the reason on standard error) when a
// file cannot be written.
[[nodiscard]] bool WriteDemoFrontEnd(const std::string& kFolder);

// The demo scenario's name as "SCENARIOS" lists it (the save file is this
// + ".fds", the preview this + ".tga").
inline constexpr const char* DEMO_SCENARIO = "scenarios/first_steps";
