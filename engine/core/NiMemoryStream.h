#pragma once

#include "engine/core/NiByteStream.h"

#include <cstdint>
#include <memory>

// A byte stream over memory: either a read-only view of a caller's buffer
// or an owned buffer that grows while it is written.
class NiMemoryStream : public NiByteStream
{
public:
    static constexpr std::uint32_t INITIAL_CAPACITY = 1024;

    // Growable and owned, empty.
    NiMemoryStream();
    // Read-only view; nothing is owned and no write is taken.
    NiMemoryStream(const void* pvBuffer, std::uint32_t uiSize);
    ~NiMemoryStream() override;
    NiMemoryStream(const NiMemoryStream&) = delete;
    NiMemoryStream& operator=(const NiMemoryStream&) = delete;

    [[nodiscard]] bool IsGood() const override { return true; }
    std::uint32_t Read(void* pvBuffer, std::uint32_t uiBytes) override;
    std::uint32_t Write(const void* pvBuffer, std::uint32_t uiBytes) override;

    // Hands the owned buffer (GetSize bytes used) to the caller; the stream
    // keeps no claim on it. A read-only view gives null.
    [[nodiscard]] std::unique_ptr<std::uint8_t[]> Detach();

    [[nodiscard]] std::uint32_t GetSize() const { return m_uiSize; }
    [[nodiscard]] std::uint32_t GetCapacity() const { return m_uiCapacity; }
    [[nodiscard]] std::uint32_t GetPosition() const { return m_uiPos; }
    [[nodiscard]] std::uint64_t GetBytesLeft() const override { return m_uiSize - m_uiPos; }
    [[nodiscard]] const std::uint8_t* GetBuffer() const { return m_pucBuffer; }

private:
    std::uint8_t* m_pucBuffer = nullptr;
    std::uint32_t m_uiPos = 0;
    std::uint32_t m_uiSize = 0;
    std::uint32_t m_uiCapacity = 0; // 0 marks the read-only view
    bool m_bDetached = false;
};
