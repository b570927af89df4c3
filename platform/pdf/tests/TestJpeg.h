#pragma once

#include <cstdint>
#include <vector>

namespace pdf_testing {

// A baseline JPEG of `width` x `height` pixels showing colour gradients, encoded in memory.
std::vector<uint8_t> EncodeTestJpeg(int width, int height);

}  // namespace pdf_testing
