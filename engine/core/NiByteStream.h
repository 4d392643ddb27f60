#pragma once

#include <cstddef>
#include <cstdint>

// The engine's one byte-stream abstraction: disk files and memory buffers
// both read and write raw bytes through it.
class NiByteStream
{
public:
    virtual ~NiByteStream() = default;

    // GetBytesLeft when the stream cannot tell without reading.
    static constexpr std::uint64_t UNKNOWN_SIZE = ~0ull;

    [[nodiscard]] virtual bool IsGood() const = 0;
    // What is left to read from the current position, so a reader can check
    // a size its data promises before allocating for it.
    [[nodiscard]] virtual std::uint64_t GetBytesLeft() const { return UNKNOWN_SIZE; }
    // Both return the number of bytes actually moved; a short count is how
    // the end of the data or a failure shows.
    virtual std::uint32_t Read(void* pvBuffer, std::uint32_t uiBytes) = 0;
    virtual std::uint32_t Write(const void* pvBuffer, std::uint32_t uiBytes) = 0;

    // Reads one line into pcBuffer (zero-terminated, at most uiCapacity - 1
    // bytes stored). Carriage returns are dropped, the line feed is consumed
    // but not stored. Returns the number of bytes consumed.
    std::uint32_t ReadLine(char* pcBuffer, std::uint32_t uiCapacity);
    // Writes the text without its terminating zero; returns the bytes written.
    std::uint32_t WriteCString(const char* pcText);
};
