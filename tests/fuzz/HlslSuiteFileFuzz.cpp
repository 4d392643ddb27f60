// The conformance runner's reader of .shader_test files: whatever the text,
// it ends, and what it keeps holds together (probes inside a positive
// rectangle with one value per channel compared, textures marked supported
// only with every level's texels, uniforms with at least one word).

#include "tests/platform/gfxutil/HlslSuiteFile.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <variant>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pucData, std::size_t uiSize)
{
    hlslsuite::HlslSuiteFile kFile;
    kFile.Parse(std::string_view(reinterpret_cast<const char*>(pucData), uiSize));
    for (const hlslsuite::Section& kSection : kFile.Sections())
    {
        if (const auto* pkTest = std::get_if<hlslsuite::TestSection>(&kSection))
        {
            for (const hlslsuite::TestLine& kLine : pkTest->lines)
            {
                using Kind = hlslsuite::TestLine::Kind;
                if (kLine.kind == Kind::Probe &&
                    (kLine.w <= 0 || kLine.h <= 0 || (kLine.channels != 1 && kLine.channels != 2 && kLine.channels != 4)))
                    std::abort();
                if (kLine.kind == Kind::Uniform && kLine.words.empty())
                    std::abort();
                (void)kLine.todo.At(20);
                (void)kLine.onlyIf.At(30);
            }
        }
        else if (const auto* pkTexture = std::get_if<hlslsuite::TextureSection>(&kSection))
        {
            if (pkTexture->supported && pkTexture->texels.size() != hlslsuite::TexelCount(*pkTexture))
                std::abort();
        }
        else if (const auto* pkShader = std::get_if<hlslsuite::ShaderSection>(&kSection))
        {
            (void)pkShader->FailsAt(20);
            (void)pkShader->TodoAt(30);
        }
    }
    return 0;
}
