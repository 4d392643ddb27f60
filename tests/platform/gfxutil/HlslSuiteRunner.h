#pragma once

// Runs one conformance file (HlslSuiteFile) through the project's own
// compiler and the gl device, as the suite's Direct3D 9 runner does: each
// shader section compiled with D3DXCompileShader at ps_2_0 / vs_2_0 (3.0
// where the file's requirements ask), made with Create*Shader, uniforms
// written from register 0 into the float constants of both stages, "draw
// quad" as one large triangle through a pass-through vertex program into a
// 640 x 480 four-float target, and each probe read back with
// GetRenderTargetData and compared within the file's tolerance.

#include "platform/gfx/Gfx.h"
#include "tests/platform/gfxutil/HlslSuiteFile.h"

#include <memory>
#include <string>
#include <vector>

namespace hlslsuite {

enum class Outcome { Passed, Failed, TodoFailed, NotRun };

// One check: a shader section's compile (or refusal) or one probe.
struct Check {
    std::string id; // "<line>:compile", "<line>:effect", "<line>:probe"
    Outcome outcome = Outcome::NotRun;
    // For a failure: what kind of fault it looks like, and the compiler's,
    // device's or probe's own words.
    std::string cause, message;
};

struct Counts {
    int passed = 0, failed = 0, todoFailed = 0, notRun = 0;
    void Add(const Check& c);
    void Add(const Counts& c);
};

class HlslSuiteRunner {
public:
    static constexpr std::uint32_t kWidth = 640, kHeight = 480;

    // Null (with the reason on standard error) when the device cannot make
    // the float target.
    [[nodiscard]] static std::unique_ptr<HlslSuiteRunner> Create(gfx::IDirect3DDevice9* device);
    ~HlslSuiteRunner();
    HlslSuiteRunner(const HlslSuiteRunner&) = delete;
    HlslSuiteRunner& operator=(const HlslSuiteRunner&) = delete;

    // The file's checks in order. `allAtModel3`: every section that admits
    // 3.0 runs at 3.0 (the second pass); else at 2.0, raised to 3.0 where
    // the requirements ask.
    [[nodiscard]] std::vector<Check> Run(const HlslSuiteFile& file, bool allAtModel3);

private:
    explicit HlslSuiteRunner(gfx::IDirect3DDevice9* device) : m_device(device) {}
    struct FileRun;

    gfx::IDirect3DDevice9* m_device; // link: the caller's device outlives the runner
    gfx::IDirect3DSurface9* m_target = nullptr;
    gfx::IDirect3DSurface9* m_moreTargets[3] = {nullptr, nullptr, nullptr}; // targets 1-3, made when a file asks
    gfx::IDirect3DSurface9* m_readBack = nullptr;
    gfx::IDirect3DVertexDeclaration9* m_declaration = nullptr;
    gfx::IDirect3DVertexShader9* m_passThrough[2] = {nullptr, nullptr}; // 2.0, 3.0
};

// The distance of two floats in units in the last place (0 for equal
// values, either zero, and two NaNs).
[[nodiscard]] std::uint32_t UlpDistance(float a, float b);

} // namespace hlslsuite
