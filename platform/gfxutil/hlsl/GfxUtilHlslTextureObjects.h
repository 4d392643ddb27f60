#pragma once
// Texture objects of shader model 4 (`Texture2D t; SamplerState s; ...
// t.Sample(s, uv)`) at shader models 2 and 3, as the D3D9 compiler takes
// them: each pair of a texture and the sampler it is read with becomes one
// combined sampler, read by the matching tex* intrinsic, bound to the
// sampler state's `register(sN)` or else the texture's `register(tN)`, and
// otherwise allocated before the program's other samplers. Private to the
// HLSL compiler.

#include <string>
#include <string_view>

namespace gfx::hlsl {

// A combined sampler's word in the text: the prefix, the sampler's name,
// the joint, the texture's name. The table names it "<sampler>+<texture>",
// as the D3D9 compiler does, which no word of the language can spell.
constexpr std::string_view kCombinedSampler = "orvPair_";
constexpr std::string_view kCombinedJoint = "_orvWith_";

// `source` with every read of a global texture object through a sampler
// named by its word (Sample, SampleLevel, SampleBias, SampleGrad) made a
// read of a combined sampler, one for each pair of texture and sampler.
// The texture's declaration is blanked and the samplers are declared before
// the first global sampler. Lines stay where they were. Reads of other
// forms (an offset, an array of textures, a sampler expression) are left as
// they are.
[[nodiscard]] std::string CombineTextureObjects(std::string_view source);

// The table's name of the constant whose word is `word`: "samp+img" for a
// combined sampler's, else the word itself.
[[nodiscard]] std::string CombinedSamplerTableName(std::string_view word);

} // namespace gfx::hlsl
