#pragma once
// The high-level compile (platform/gfxutil/hlsl/GfxUtilHlsl.h) of a text the
// preprocessor has already made, for the effect reader, which preprocesses
// the effect once for itself and all its passes. Private to this library.

#include "platform/gfxutil/GfxUtilPreprocess.h"

#include <cstdint>
#include <string>
#include <vector>

namespace gfx::hlsl {

// As CompileHlsl, of `lines` as the preprocessor made them (GfxUtilPreprocess.h)
// with no macros of the caller's: messages name the file and line each line
// came from, and the compile runs within the current scope's deadline and
// caps, the text itself within the expansion cap.
[[nodiscard]] bool CompilePreprocessed(const PreprocessedText& lines, const char* name, const char* entry,
                                       const char* profile, std::vector<std::uint8_t>& code, std::string& errors,
                                       std::uint8_t majority = 0);

} // namespace gfx::hlsl
