#pragma once
// What surrounds one high-level compile: the #include expansion of its source
// and the child process the HLSL front end runs in.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace gfx {

// #include "name" and #include <name> replaced by the file, found beside the
// file that includes it, then in the include folders (GfxUtilShader.h), then
// from the working folder; `#line` keeps the includer's line numbers right
// after it. False with "(line,1): error: text".
[[nodiscard]] bool ExpandHlslIncludes(std::string_view source, const std::string& path, int depth, std::string& out,
                                      std::string& error);

enum class HlslChildOutcome : std::uint8_t {
    Replied,  // the child ran `work` and its reply came back whole
    Stopped,  // the child died or sent no whole reply
    TooLong,  // ended past the time
    NoChild,  // no child could be made: nothing ran
};

// Runs `work` in a child process and returns what it made in `reply`.
[[nodiscard]] HlslChildOutcome RunHlslChild(const std::function<std::vector<std::uint8_t>()>& work, int seconds,
                                            std::vector<std::uint8_t>& reply);

} // namespace gfx
