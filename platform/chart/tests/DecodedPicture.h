#pragma once

#include <cstdint>
#include <cstdlib>
#include <vector>

#include <gtest/gtest.h>

#include "platform/chart/Chart.h"
#include "platform/graphics/JpegHandles.h"

// What tests read back from a rendered chart: the pixels of a decoded JPEG.
namespace testing_support {

// True when every channel of the two colours is within `tolerance`.
inline bool Near(chart::Color a, chart::Color b, int tolerance) {
  for (int shift : {0, 8, 16}) {
    if (std::abs(static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF)) >
        tolerance) {
      return false;
    }
  }
  return true;
}

struct Picture {
  int width = 0, height = 0;
  std::vector<uint8_t> rgb;

  chart::Color At(int x, int y) const {
    const size_t i = (static_cast<size_t>(y) * width + x) * 3;
    return chart::Rgb(rgb[i], rgb[i + 1], rgb[i + 2]);
  }
  // Pixels within `tolerance` of `color`, in rows top to bottom − 1.
  int Count(chart::Color color, int tolerance, int top, int bottom) const {
    int n = 0;
    for (int y = top; y < bottom; ++y) {
      for (int x = 0; x < width; ++x) n += Near(At(x, y), color, tolerance);
    }
    return n;
  }
};

// Decodes JPEG bytes to RGB pixels; data that is no JPEG is error 5, which fails the test.
inline Picture DecodeJpeg(const std::vector<uint8_t>& bytes) {
  graphics::JpegDecompressor info("the chart is no readable JPEG");
  jpeg_mem_src(info.get(), bytes.data(), static_cast<unsigned long>(bytes.size()));
  EXPECT_EQ(jpeg_read_header(info.get(), TRUE), JPEG_HEADER_OK);
  info->out_color_space = JCS_RGB;
  jpeg_start_decompress(info.get());
  Picture p;
  p.width = static_cast<int>(info->output_width);
  p.height = static_cast<int>(info->output_height);
  p.rgb.resize(static_cast<size_t>(p.width) * p.height * 3);
  while (info->output_scanline < info->output_height) {
    JSAMPROW row = p.rgb.data() + static_cast<size_t>(info->output_scanline) * p.width * 3;
    jpeg_read_scanlines(info.get(), &row, 1);
  }
  jpeg_finish_decompress(info.get());
  return p;
}

}  // namespace testing_support
