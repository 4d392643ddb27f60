#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The one TGA writer: the demo-data builder writes its pictures with it and
// the tests build their image files with it.

// Header fields of a TGA file; the defaults describe a 1 x 1 24-bit
// uncompressed true-colour image stored from the top row down.
struct TgaHeader
{
    std::uint8_t ucIDLength = 0;
    std::uint8_t ucMapType = 0;
    std::uint8_t ucType = 2;
    std::uint16_t usMapFirst = 0;
    std::uint16_t usMapLength = 0;
    std::uint8_t ucMapEntrySize = 0;
    std::uint16_t usWidth = 1;
    std::uint16_t usHeight = 1;
    std::uint8_t ucDepth = 24;
    std::uint8_t ucDescriptor = 0x20; // bit 5: the first stored row is the top one
};

// The header followed by an identification field of ucIDLength bytes and
// the given colour map and pixel bytes, exactly as handed over (so a test
// can build any variant, also broken ones).
[[nodiscard]] std::vector<std::uint8_t> TgaFile(const TgaHeader& kHeader, const std::vector<std::uint8_t>& kMapAndPixels);

// An uncompressed true-colour image (type 2), top-left origin, from pixels
// given row by row from the top as R, G, B (24 bits) or R, G, B, A (32
// bits). Empty when the depth is neither or the pixels do not fill the image.
[[nodiscard]] std::vector<std::uint8_t> TgaImage(std::uint16_t usWidth, std::uint16_t usHeight, std::uint8_t ucDepth,
                                                 const std::vector<std::uint8_t>& kPixels);

// TgaImage written to a file; false (with the reason on standard error)
// when the image is not valid or the file cannot be written.
[[nodiscard]] bool WriteTga(const std::string& kPath, std::uint16_t usWidth, std::uint16_t usHeight,
                            std::uint8_t ucDepth, const std::vector<std::uint8_t>& kPixels);
