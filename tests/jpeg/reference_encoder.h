// A plain encoder for the tests, written from the file format alone.
#pragma once

#include <cstdint>
#include <vector>

// The file for a picture of 0xAARRGGBB pixels, row by row.
std::vector<std::uint8_t> ReferenceEncode(int width, int height, const std::vector<std::uint32_t>& pixels);
