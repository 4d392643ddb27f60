#pragma once

// One file of the published HLSL conformance suite (the .shader_test text
// format), read into its sections in file order: requirements, shader
// sources with their expected outcome per shader model, test lines, textures
// and samplers. Reading never fails on odd content: a line or section this
// reader does not know is kept as unsupported, so the runner can count what
// it could not run instead of passing it.

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace hlslsuite {

// A shader model as major * 10 + minor: 20, 30, 40, 41, 50, 51, 60.
using Model = int;

// A marker's condition: absent, always (written without parentheses), or an
// expression such as "sm<4 | msl" or "sm>=4 & sm<6". Names of other runners
// (msl, glsl, mvk, vulkan, ...) never hold here; only shader-model
// comparisons do.
class Condition {
public:
    static Condition Always();
    static Condition When(std::string expression);

    [[nodiscard]] bool Present() const { return m_present; }
    [[nodiscard]] bool At(Model model) const;
    [[nodiscard]] const std::string& Expression() const { return m_expression; }

private:
    bool m_present = false;
    std::string m_expression; // empty: always
};

// "4.0" -> 40; -1 for text that is not a model.
[[nodiscard]] Model ParseModel(std::string_view text);

struct Requirement {
    int line = 0;
    Model minimum = 0;    // inclusive
    Model maximum = 1000; // exclusive
    std::vector<std::string> options; // "row-major", "backcompat", ...
    std::vector<std::string> needs;   // any other line: a capability ("float64", "format r32-uint ...")

    [[nodiscard]] bool Admits(Model model) const { return model >= minimum && model < maximum; }
};

enum class Stage { Pixel, Vertex, Effect, Other };

struct ShaderSection {
    int line = 0;
    Stage stage = Stage::Other;
    std::string header;  // as written between the brackets
    Condition fail, todo, notimpl;
    std::string source;

    [[nodiscard]] bool FailsAt(Model model) const { return fail.At(model); }
    [[nodiscard]] bool TodoAt(Model model) const { return todo.At(model) || notimpl.At(model); }
};

struct TestLine {
    enum class Kind { Uniform, DrawQuad, DrawTriangles, Probe, ShadeMode, AlphaTest, ClearTarget, Unsupported };
    int line = 0;
    Kind kind = Kind::Unsupported;
    Condition todo, onlyIf;
    std::string text; // the command without its markers
    // Uniform: 32-bit words written from component `offset` on.
    std::uint32_t offset = 0;
    std::vector<std::uint32_t> words;
    // Probe: a rectangle (w, h 1 for a point), the channels compared
    // (1: r, 2: rg, 4: rgba) and the tolerance in units in the last place.
    int x = 0, y = 0, w = 1, h = 1;
    int channels = 4;
    int target = 0; // "probe rtv N": render target N
    float expected[4] = {0, 0, 0, 0};
    std::uint32_t ulps = 0;
    // DrawTriangles: a strip or a list of `count` vertices from the vertex buffers.
    bool strip = false;
    std::uint32_t count = 0;
    // ShadeMode: flat or linear.
    bool flat = false;
    // AlphaTest: the comparison (published D3DCMP_* number) and reference.
    std::uint32_t compare = 0;
    float reference = 0;
    // ClearTarget: the colour of target 0 (in `expected`).
};

struct TestSection {
    int line = 0;
    std::vector<TestLine> lines;
};

// A texture read by sampler `index`: floats, four per texel, rows top-down,
// level after level.
struct TextureSection {
    int line = 0;
    int index = 0;
    bool supported = false; // a plain 2-D size with every level's data
    std::uint32_t width = 0, height = 0, levels = 1;
    std::vector<float> texels;
};

// Floats the texture's levels hold together.
[[nodiscard]] std::size_t TexelCount(const TextureSection& t);

struct SamplerSection {
    int line = 0;
    int index = 0;
    bool linear = false;         // "filter linear ..." (else point)
    std::string address = "wrap"; // first word of "address ..."
    bool supported = true;        // false when it asks for a comparison
};

// Where each vertex element comes from: its buffer, its floats (1-4; 0 for
// a format this runner does not read) and its semantic.
struct InputElement {
    std::uint32_t slot = 0, floats = 0, index = 0;
    std::string semantic; // upper case: POSITION, TEXCOORD, COLOR, ...
};

struct InputLayoutSection {
    int line = 0;
    std::vector<InputElement> elements;
};

// A vertex buffer's floats, as written.
struct VertexBufferSection {
    int line = 0;
    bool supported = true; // false when a word is not a float
    std::uint32_t slot = 0;
    std::vector<float> floats;
};

// A render target of the draws: the runner makes four-float ones of its
// own size only.
struct RenderTargetSection {
    int line = 0;
    int index = 0;
    bool supported = false; // "format r32g32b32a32-float", "size (2d, 640, 480)"
};

// Sections of other stages and resources (compute, hull, uav, ...).
struct OtherSection {
    int line = 0;
    std::string header;
};

using Section = std::variant<Requirement, ShaderSection, TestSection, TextureSection, SamplerSection,
                             InputLayoutSection, VertexBufferSection, RenderTargetSection, OtherSection>;

class HlslSuiteFile {
public:
    // False only when the file cannot be read.
    [[nodiscard]] bool Read(const std::string& path);
    void Parse(std::string_view text);

    [[nodiscard]] const std::vector<Section>& Sections() const { return m_sections; }
    // Whether a pixel, vertex or effect section stands under requirements
    // that admit the model: a file with none at 2.0 or 3.0 is written for
    // later models only.
    [[nodiscard]] bool HasProgramAt(Model model) const;

private:
    std::vector<Section> m_sections;
};

} // namespace hlslsuite
