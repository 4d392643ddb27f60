#include "platform/gfxutil/hlsl/GfxUtilHlslMessage.h"

namespace gfx::hlsl {

// Every field is carried: a field added to one of these types and not here
// would reach the worker as its default. The sizes below stop the build
// until it is added to both sides (and the size updated).
static_assert(sizeof(void*) != 8 || sizeof(HlslMember) == 56, "carry HlslMember's new field");
static_assert(sizeof(void*) != 8 || sizeof(HlslSourceEdit) == 48, "carry HlslSourceEdit's new field");
static_assert(sizeof(void*) != 8 || sizeof(HlslGlobal) == 288, "carry HlslGlobal's new field");

void MessageWriter::Put(const HlslMember& m) {
    Put(m.name);
    for (const std::uint16_t v : {m.cls, m.type, m.rows, m.columns, m.elements, m.registerOffset, m.registerCount,
                                  m.structMembers})
        Put(v);
    Put(m.parent);
}

bool MessageReader::Get(HlslMember& m) {
    return Get(m.name) && Get(m.cls) && Get(m.type) && Get(m.rows) && Get(m.columns) && Get(m.elements) &&
           Get(m.registerOffset) && Get(m.registerCount) && Get(m.structMembers) && Get(m.parent);
}

void MessageWriter::Put(const HlslSourceEdit& e) {
    Put(e.at);
    Put(e.erase);
    Put(e.text);
}

bool MessageReader::Get(HlslSourceEdit& e) { return Get(e.at) && Get(e.erase) && Get(e.text); }

void MessageWriter::Put(const HlslGlobal& g) {
    Put(g.name);
    for (const std::uint16_t v : {g.registerSet, g.cls, g.type, g.rows, g.columns, g.elements, g.registerIndex,
                                  g.registerCount, g.declaredCount, g.shadowIndex})
        Put(v);
    for (const bool v : {g.explicitRegister, g.unsignedWord, g.effectOnly, g.unused, g.staticOk, g.uniformWord,
                         g.aliasType, g.rowsFromPragma, g.oneRowOrColumn, g.shadow})
        Put(v);
    for (const std::size_t v : {g.typeBegin, g.typeEnd, g.nameAt, g.insertAt, g.eraseBegin, g.eraseEnd}) Put(v);
    Put(g.defaults);
    Put(g.packingWord);
    Put(g.registerSpans);
    Put(g.groupOpen);
    Put(g.groupClose);
    Put(g.members);
    Put(g.structEdits);
}

bool MessageReader::Get(HlslGlobal& g) {
    return Get(g.name) && Get(g.registerSet) && Get(g.cls) && Get(g.type) && Get(g.rows) && Get(g.columns) &&
           Get(g.elements) && Get(g.registerIndex) && Get(g.registerCount) && Get(g.declaredCount) &&
           Get(g.shadowIndex) && Get(g.explicitRegister) && Get(g.unsignedWord) && Get(g.effectOnly) &&
           Get(g.unused) && Get(g.staticOk) && Get(g.uniformWord) && Get(g.aliasType) && Get(g.rowsFromPragma) &&
           Get(g.oneRowOrColumn) && Get(g.shadow) && Get(g.typeBegin) && Get(g.typeEnd) && Get(g.nameAt) &&
           Get(g.insertAt) && Get(g.eraseBegin) && Get(g.eraseEnd) && Get(g.defaults) && Get(g.packingWord) &&
           Get(g.registerSpans) && Get(g.groupOpen) && Get(g.groupClose) && Get(g.members) && Get(g.structEdits);
}

void MessageWriter::Put(const PreprocessedText::Origin& o) {
    Put(o.file);
    Put(o.line);
}

bool MessageReader::Get(PreprocessedText::Origin& o) { return Get(o.file) && Get(o.line); }

void MessageWriter::Put(const PreprocessedText& lines) {
    Put(lines.text);
    Put(lines.files);
    Put(lines.origins);
}

bool MessageReader::Get(PreprocessedText& lines) {
    return Get(lines.text) && Get(lines.files) && Get(lines.origins);
}

} // namespace gfx::hlsl
