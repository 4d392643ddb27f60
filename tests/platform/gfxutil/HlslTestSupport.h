#pragma once

// What the high-level compiler's tests share: a compile's whole outcome, kept
// together so a failing check can show the errors or the GLSL beside it, and
// a drawing fixture that owns the programs it makes.

#include "platform/gfxutil/GfxUtilConstantTable.h"
#include "platform/gfxutil/GfxUtilEffect.h"
#include "platform/gfxutil/hlsl/GfxUtilHlsl.h"
#include "platform/gfxutil/GfxUtilShader.h"

#include "platform/gfx/GfxShaderContainer.h"
#include "tests/platform/gfx/GfxProgramFixture.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace gfx::test {

// One compiled program: its code, table and container, or the compiler's errors.
struct Compiled {
    gfx::HRESULT result = gfx::E_FAIL;
    std::vector<std::uint8_t> code;
    std::string errors;
    gfx::ID3DXConstantTable* table = nullptr;
    gfx::ShaderContainer container;

    Compiled() = default;
    Compiled(const Compiled&) = delete;
    Compiled& operator=(const Compiled&) = delete;
    ~Compiled() {
        if (table) table->Release();
    }

    // The code as the device takes it.
    const std::uint32_t* Words() const { return reinterpret_cast<const std::uint32_t*>(code.data()); }
};

// Compiles `source`; code that comes back must read as a container (a test
// failure otherwise).
void Compile(Compiled& out, const std::string& source, const char* profile, const char* entry = "main",
             const gfx::D3DXMACRO* defines = nullptr);
// The same from a file.
void CompileFile(Compiled& out, const std::string& path, const char* profile, const char* entry = "main",
                 const gfx::D3DXMACRO* defines = nullptr);

// The container's record of a constant by name; null when it has none.
const gfx::ShaderConstantRecord* Constant(const gfx::ShaderContainer& c, const std::string& name);

// Whether a call took a text, and what it said when it did not: for the
// tests that only look at refusals.
struct CompileOutcome {
    gfx::HRESULT hr = gfx::E_FAIL;
    std::string errors;
};

// The call's outcome, its code and errors let go of.
CompileOutcome Finish(gfx::HRESULT hr, gfx::ID3DXBuffer* code, gfx::ID3DXBuffer* errors);

// A refusal whose errors say `message`.
void ExpectRefused(const CompileOutcome& r, const std::string& message);

// A vertex function for effects' passes: position, colour and texture
// coordinate handed through (`compile vs_2_0 PassVS()`).
inline constexpr const char* kPassVertexFunction = R"(
struct VOut { float4 pos : POSITION; float4 col : COLOR0; float2 uv : TEXCOORD0; };
VOut PassVS(float4 p : POSITION, float4 c : COLOR0, float2 uv : TEXCOORD0) { VOut o; o.pos = p; o.col = c; o.uv = uv; return o; }
)";

// The same hand-through as an assembled vs_3_0 program, beside ps_3_0 ones.
inline constexpr const char* kVertex3 = "vs_3_0\ndcl_position v0\ndcl_color v1\ndcl_texcoord v2\n"
                                        "dcl_position o0\ndcl_color o1\ndcl_texcoord o2\n"
                                        "mov o0, v0\nmov o1, v1\nmov o2, v2\n";

// An effect made from a text: the effect (null where refused), the call's
// result and what it said; the caller owns the effect.
struct MadeEffect {
    gfx::ID3DXEffect* fx = nullptr;
    gfx::HRESULT hr = gfx::E_FAIL;
    std::string said;
};
MadeEffect MakeEffectFromText(gfx::IDirect3DDevice9* device, const std::string& text);

// Runs `call` on a thread whose stack is `bytes`, as a game's loading thread
// may be made, and waits for it.
void OnASmallStack(std::size_t bytes, const std::function<void()>& call);

// A turn about z by `angle` radians, scaled by `scale`, then moved by (x, y, z):
// a bone of the skinning tests, whose colours show a wrong row or column.
gfx::D3DXMATRIX TurnScaleMove(float angle, float scale, float x, float y, float z);

// Compiled programs made on the device; the fixture releases what it makes.
class HlslDrawTest : public gfxtest::GlProgramTest {
protected:
    // Null (with a failure that shows `what` and the GLSL) when the device refuses the code.
    gfx::IDirect3DVertexShader9* MakeVertex(const Compiled& c, const std::string& what = {});
    gfx::IDirect3DPixelShader9* MakePixel(const Compiled& c, const std::string& what = {});
    // Compiles `source` into `ps` at ps_2_0 and sets it behind the
    // pass-through vertex program; false (with a failure) where any step fails.
    bool UsePixel(Compiled& ps, const std::string& source);
};

} // namespace gfx::test
