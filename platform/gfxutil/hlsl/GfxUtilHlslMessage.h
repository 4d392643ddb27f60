#pragma once
// A compile's state as bytes, carried to a warm worker (GfxUtilHlslWorkers.h)
// and read there: the worker is the helper program of this build (its
// greeting names the protocol it speaks), so the bytes are this build's own,
// in its own byte order; they are never stored.

#include "platform/gfxutil/GfxUtilPreprocess.h"
#include "platform/gfxutil/hlsl/GfxUtilHlsl.h"

#include <bit>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace gfx::hlsl {

class MessageWriter {
public:
    template <class T>
        requires std::is_integral_v<T>
    void Put(T v) {
        const auto word = static_cast<std::uint64_t>(v);
        Raw(&word, sizeof word);
    }
    void Put(float v) { Put(std::bit_cast<std::uint32_t>(v)); }
    void Put(std::string_view s) {
        Put(s.size());
        Raw(s.data(), s.size());
    }
    template <class T>
    void Put(const std::vector<T>& items) {
        Put(items.size());
        for (const T& item : items) Put(item);
    }
    template <class A, class B>
    void Put(const std::pair<A, B>& p) {
        Put(p.first);
        Put(p.second);
    }
    void Put(const HlslMember& m);
    void Put(const HlslSourceEdit& e);
    void Put(const HlslGlobal& g);
    void Put(const PreprocessedText::Origin& o);
    void Put(const PreprocessedText& lines);

    [[nodiscard]] std::vector<std::uint8_t>& Bytes() { return m_bytes; }

private:
    void Raw(const void* p, std::size_t n) {
        const auto* b = static_cast<const std::uint8_t*>(p);
        m_bytes.insert(m_bytes.end(), b, b + n);
    }
    std::vector<std::uint8_t> m_bytes;
};

// Reads what MessageWriter wrote, in the same order; false, and false from
// then on, past the end of the bytes.
class MessageReader {
public:
    explicit MessageReader(const std::vector<std::uint8_t>& bytes) : m_bytes(bytes) {}

    template <class T>
        requires std::is_integral_v<T>
    bool Get(T& v) {
        std::uint64_t word = 0;
        if (!Raw(&word, sizeof word)) return false;
        v = static_cast<T>(word);
        return true;
    }
    bool Get(float& v) {
        std::uint32_t bits = 0;
        if (!Get(bits)) return false;
        v = std::bit_cast<float>(bits);
        return true;
    }
    bool Get(std::string& s) {
        std::size_t n = 0;
        if (!Get(n) || n > Left()) return Fail();
        s.assign(reinterpret_cast<const char*>(m_bytes.data() + m_at), n);
        m_at += n;
        return true;
    }
    template <class T>
    bool Get(std::vector<T>& items) {
        std::size_t n = 0;
        // Each item takes a word at least.
        if (!Get(n) || n > Left() / sizeof(std::uint64_t)) return Fail();
        items.assign(n, T{});
        for (T& item : items)
            if (!Get(item)) return false;
        return true;
    }
    template <class A, class B>
    bool Get(std::pair<A, B>& p) {
        return Get(p.first) && Get(p.second);
    }
    bool Get(HlslMember& m);
    bool Get(HlslSourceEdit& e);
    bool Get(HlslGlobal& g);
    bool Get(PreprocessedText::Origin& o);
    bool Get(PreprocessedText& lines);

    [[nodiscard]] bool Ok() const { return m_ok; }
    [[nodiscard]] bool AtEnd() const { return m_ok && m_at == m_bytes.size(); }

private:
    std::size_t Left() const { return m_bytes.size() - m_at; }
    bool Fail() {
        m_ok = false;
        return false;
    }
    bool Raw(void* p, std::size_t n) {
        if (!m_ok || n > Left()) return Fail();
        std::memcpy(p, m_bytes.data() + m_at, n);
        m_at += n;
        return true;
    }
    const std::vector<std::uint8_t>& m_bytes;
    std::size_t m_at = 0;
    bool m_ok = true;
};

} // namespace gfx::hlsl
