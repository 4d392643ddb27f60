#pragma once
// The text passes of a high-level compile (platform/gfxutil/hlsl/GfxUtilHlsl.h):
// the preprocessed source put in forms glslang's HLSL front end reads as the
// D3D9 compiler reads them. Each keeps the source's lines where they are, so
// that messages name the file's lines. Private to the HLSL compiler.

#include <functional>
#include <set>
#include <string>
#include <string_view>

namespace gfx::hlsl {

// What a uniform parameter of the entry point becomes: a global of this
// name prefix, listed in the table as "$" and the parameter's name, as the
// D3D9 compiler lists it.
constexpr std::string_view kLiftedUniform = "orvUniform_";

// The source with its one-dimensional lookups made 2-D; false when they
// nest too deeply to be rewritten.
bool OneDimensionalAsTwo(const std::string& source, std::string& out);

// Names that are read only as a `for` loop's count: each read is one side of
// a condition comparing it with the loop's variable ("k < Count"). Such a
// uniform int the D3D9 compiler turns into a `loop` on an integer register;
// an int read any other way needs a float register, and stays there. A
// name a bound gives through its namespaces is given so ("N::Count").
std::set<std::string, std::less<>> LoopBounds(std::string_view source);

// Whether a parameter of the entry point has no name ("float4 main(float4)"):
// glslang's HLSL front end crashes mapping such a parameter to an input,
// and it could carry no semantic anyway. Each parameter is read up to its
// semantic, default or array size; "void" alone is an empty list.
bool UnnamedEntryParameter(std::string_view source, std::string_view entry);

// An effect file compiled one entry at a time: what only the effect reads
// (techniques and their passes, annotations, string and shader-object
// globals, `compile` expressions) blanked.
std::string BlankEffectSyntax(std::string_view source);

// Each line of only spaces and tabs made empty, every line kept: what an
// effect's blanked syntax leaves (thousands of spaces a pass in an effect
// of many) costs the front end's preprocessor a step a byte and means
// nothing. Lines, and the columns of every line with a word, stay.
void EmptyBlankLines(std::string& text);

// Arrays of vectors or matrices inside functions, initialised from a flat
// list of numbers, given each element's braces as file-scope ones are.
std::string GroupLocalFlatLists(std::string_view source);

// Whether the source calls the intrinsic `noise`, which the D3D9 compiler
// offers to texture fill programs (tx_1_0) only and glslang's HLSL front end
// stops on. A function of that name the source defines is its own.
bool CallsNoise(std::string_view source);

// The entry point's uniform parameters made globals declared just before
// it, the parameters blanked from its list and its body reading the globals
// (a call passing them would copy a whole array out of the constants, which
// SPIRV-Cross cannot flatten). The source unchanged when it has none.
std::string LiftEntryUniforms(std::string_view source, std::string_view entry);

// `uniform` blanked from the parameters of every function but the entry:
// there it means nothing (the value is the caller's argument), and each
// parameter is the function's own copy, which its body may write; glslang
// refuses writing one still marked `uniform`. Lines and columns stay.
std::string UniformWordsOutsideEntry(std::string_view source, std::string_view entry);

// Type words glslang reads otherwise than the D3D9 compiler. `SamplerState`
// is one of that compiler's sampler types, the same as `sampler`; glslang
// takes it for a separate sampler object no DX9 lookup can use.
// Casts to a matrix type of one row or one column, and its constructors,
// are made of vectors: glslang keeps such a matrix as a type but cannot build
// one. A cast becomes a call of a function overloaded on what it converts
// (a scalar fills it, a vector of its size is it, a matrix gives its first
// row or column up to the size, as the published conversions have it), and
// its value is the vector of the same elements, which is all that HLSL
// does with such a value beside indexing it. The functions go in front of
// the first declaration, on its line, so the lines stay the file's.
std::string DialectTypeWords(std::string_view source);

// A `static` global initialised by a call to a function of the source
// (`static float a = f() + 1;`) initialised instead at the start of the
// entry point's body, in declaration order: glslang's HLSL front end
// refuses such an initialiser at file scope. Its lines stay the file's.
std::string InitialiseStaticsInEntry(std::string_view source, std::string_view entry);

} // namespace gfx::hlsl
