#pragma once
// Words of a source the D3D9 compiler reads otherwise than glslang's HLSL
// front end, put in the forms glslang reads as that compiler does: a pass of
// the high-level compile (platform/gfxutil/hlsl/GfxUtilHlsl.h), run after the
// refusals. Each keeps the source's lines where they are. Private to the
// HLSL compiler.

#include <string>
#include <string_view>

namespace gfx::hlsl {

// What a word the source uses as a name and glslang takes for a keyword
// (`precise`) is renamed to: this prefix and the word. The table lists it
// by its own name.
constexpr std::string_view kRenamedWord = "orvWord_";
// What the overloads of an entry point other than the program are renamed to:
// this prefix and the name.
constexpr std::string_view kOverloadedEntry = "orvOverload_";
// What an overload that differs from another only by `half` for `float` is
// renamed to: this prefix, its parameters' pattern ('1' for each `half`, '0'
// for each other), '_' and the name.
constexpr std::string_view kHalfOverload = "orvHalf";
// What a type a namespace defines (a struct, a typedef) is renamed to: this
// prefix, then each part of its qualified name as its size, '_' and the part
// (`A::S` is "orvSpace1_A1_S").
constexpr std::string_view kNamespaceType = "orvSpace";

// The source with
// - `export` before a function blanked (the D3D9 compiler has no libraries);
// - an attribute of a later model's stages given without arguments at file
//   scope (`[numthreads]`) blanked: the D3D9 compiler ignores it, glslang
//   stops on it or refuses it;
// - the entry's declarations without a body blanked where it has one: the
//   body's semantics are the ones that count;
// - `const` blanked from a non-static file-scope declaration without a value
//   (`const float4 c;`): a constant the application sets, where glslang would
//   make it a private variable;
// - `precise` renamed where the source declares it as a name;
// - `texture` written in any case (`teXture t;`) as the type word, where no
//   typedef of that spelling is meant;
// - a `CompileShader(...)` in a constant's value made 0: its shader object
//   is an effect's, and the program keeps no default for it;
// - a `for` loop unrolled with a count (`[unroll(4)]`) running that many
//   times at most, as the D3D9 compiler unrolls it, leaving the runs after
//   those out: a counter declared before it ends the loop there (where the
//   loop is no statement of its own, the body of an `if`, it stays as it is);
// - the value a `switch` tests made an int: an integer constant is held in
//   a float register, and glslang switches on integers only; a float case
//   label (`case 2.1f:`) its whole part;
// - an entry point defined more than once: the definition with the fewest
//   parameters is the program, the others are renamed with the calls of
//   them;
// - a `for` loop's counter that the block reads after the loop: its
//   declaration moved before the loop, where the D3D9 compiler keeps it;
// - overloads that differ only by `half` for `float`: all but one renamed,
//   and a call given the one its arguments' types fit, where the words show
//   those types (variables, numbers, casts, constructors and their sums and
//   products);
// - a semantic's `_centroid` suffix blanked; `const` blanked from a cast's
//   type; `matrix<float, 3, 1>` written `float3x1`; an array's size given
//   as a boolean literal as 1 or 0;
// - a one-component member (`float1`) of a struct no constant is declared
//   with as the scalar type, whose component glslang would not write;
// - a vector constructor as an assignment's target (`float4(a, b) = v;`),
//   of variables declared in its block, as the value held and each
//   variable given its components;
// - a function of one float scalar parameter given overloads that take a
//   vector there and pass its first component, as the D3D9 compiler
//   truncates such an argument;
// - a namespace's own names used unqualified within it written qualified,
//   and the structs and typedefs a namespace defines renamed to names of
//   the file's scope (kNamespaceType), with each use of them, qualified
//   (`A::S`) or not.
std::string ReadWordsAsTheD3D9CompilerDoes(std::string_view source, std::string_view entry);

// A `double` uniform read within an argument of a function with an
// overload taking a double there (`w`, `ws[1]`, `v.y`, `s.d`, `w * 2`),
// each read given as a double: the layout keeps such a uniform in a float
// register, declared `float`, and the front end would then take the float
// overload where the D3D9 compiler takes the one the argument's type
// picks, as for a local double. The double members of the structs the
// uniforms have are declared float, as such a uniform of its own is.
std::string DoubleUniformArguments(std::string_view source);

} // namespace gfx::hlsl
