#pragma once

// Small files the game needs to start, written by the shell's tests.

#include <string>

// A 1 x 1 true-colour TGA.
inline std::string TinyTgaBytes()
{
    std::string kBytes(18, '\0');
    kBytes[2] = 2;   // uncompressed true colour
    kBytes[12] = 1;  // width
    kBytes[14] = 1;  // height
    kBytes[16] = 32; // bits per pixel
    kBytes[17] = 8;  // alpha bits
    kBytes += std::string("\xff\xff\xff\xff", 4);
    return kBytes;
}
