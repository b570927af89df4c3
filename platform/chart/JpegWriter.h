#pragma once

#include <cstdint>
#include <vector>

namespace chart {

// Encodes pixels in cairo's 32-bit layout (a native-endian 0xXXRRGGBB word per pixel, rows
// `stride` bytes apart) as a baseline JPEG of `quality` 1 to 100. A libjpeg failure is
// error 5 with libjpeg's message.
std::vector<uint8_t> EncodeJpeg(const uint8_t* pixels, int width, int height, int stride,
                                int quality);

}  // namespace chart
