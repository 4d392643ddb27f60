#pragma once
// The one preprocessor of high-level sources and effect texts: #include,
// object-like and function-like macros with '#', '##' and variadic
// arguments, #if expressions, #line, #error and #pragma. Its input comes
// from data files: it runs within one compile's bounds (GfxUtilHlslGuard.h),
// takes time in proportion to its input, and reports every problem with the
// file and line it stands on instead of stopping at the first.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace gfx {

struct D3DXMACRO;
class HlslCompileScope;

struct PreprocessedText {
    struct Origin {
        std::int32_t file = 0; // into `files`
        std::int32_t line = 0; // from 1
    };
    std::string text;               // the lines, each ended by '\n'
    std::vector<std::string> files; // [0]: the text's own name; then each file included or named by #line
    std::vector<Origin> origins;    // where each line of `text` stands

    // The origin of line `line` (from 1) of `text`; the nearest line's for
    // one out of range.
    [[nodiscard]] Origin At(std::size_t line) const;
};

// A problem on line `line` of files[file]: an error refuses the text, a
// warning lets it pass.
using PreprocessReport = std::function<void(int file, int line, const std::string& text, bool warning)>;

struct PreprocessOptions {
    const D3DXMACRO* defines = nullptr; // the caller's macros, null-terminated; "NAME(a)" makes a function-like one
    std::string_view what = "source";   // what the messages about its size call the text
};

// A text as far as its first NUL byte when only NUL bytes and white space
// follow it: files saved from C strings end in one or more, which end the
// text. A NUL with more text after it is left to be refused where it stands.
[[nodiscard]] std::string_view TextBeforeTrailingNuls(std::string_view text);

// `source`, named `name` in the messages, preprocessed into `out` within
// `scope`'s deadline and caps: includes counted and nested no deeper than
// 16, the bytes read with the included files and the bytes written both
// within the expansion cap, and macro expansion in steps in proportion to
// the bytes read and written, so its time is in proportion to its input. An
// include is found beside the file that includes it, then beside the first
// file (`name`), then in the include folders (GfxUtilShader.h), then from
// the working folder.
// "#pragma pack_matrix(row_major)" and "(column_major)" stay in `text` as a
// line of their own, in that form, where they stand; "#pragma once" is
// applied, other pragmas let pass (with a warning when unknown). False when
// an error was reported.
[[nodiscard]] bool PreprocessText(std::string_view source, const std::string& name, const PreprocessOptions& options,
                                  const HlslCompileScope& scope, const PreprocessReport& report,
                                  PreprocessedText& out);

// An integer constant expression with C's operators, parentheses and
// literals (decimal, octal, hex, with u and l suffixes). A name takes the
// value `name` gives it; one `name` has no value for fails the expression.
// False with the reason in `error`.
[[nodiscard]] bool EvaluateIntegerExpression(std::string_view text,
                                             const std::function<bool(std::string_view, long long&)>& name,
                                             long long& value, std::string& error);

} // namespace gfx
