#pragma once

// Joins the image library's start-up to the core's: the core start-up
// installs the default image converter and its shut-down releases the
// current one. Safe to call more than once.
void NiRenderImageLibraryRegister();
