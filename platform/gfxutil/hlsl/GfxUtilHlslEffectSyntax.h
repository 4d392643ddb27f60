#pragma once
// The effect syntax a program's source may hold, as the D3D9 compiler reads
// it when it compiles one entry: techniques and their passes, effect groups,
// state blocks after a declarator (of any type, at file scope or in a
// function), `sampler_state` initialisers, `compile` and `CompileShader`
// expressions, string, shader and state objects. Their rules are checked
// (an entry of a state block is a name, maybe with an integer index, given a
// value, or one of the state-setting calls with its count of arguments; a
// list of state blocks gives one to each component; names the effect keeps
// are no variable's), then what only an effect reads is blanked. Also the
// samplers' lookups in the functions the entry reaches: a sampler read by
// lookups of another dimension than its own, or by lookups of two
// dimensions. Private to the HLSL compiler.

#include <cstddef>
#include <string>
#include <string_view>

namespace gfx::hlsl {

// False with the reason in `error` and where in `source` it stands in `at`;
// else true with `out` the source with what only the effect reads blanked
// (lines kept where they are). `entry` names the function compiled; empty,
// the lookups of the whole text are judged.
[[nodiscard]] bool ReadEffectSyntax(std::string_view source, std::string& out, std::size_t& at, std::string& error,
                                    std::string_view entry = {});

} // namespace gfx::hlsl
