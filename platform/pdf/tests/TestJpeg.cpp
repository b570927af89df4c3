#include "platform/pdf/tests/TestJpeg.h"

#include "platform/graphics/JpegHandles.h"

namespace pdf_testing {

std::vector<uint8_t> EncodeTestJpeg(int width, int height) {
  graphics::JpegMemory buffer;  // outlives the compressor, which points into it
  graphics::JpegCompressor info("encoding the test image failed");
  jpeg_mem_dest(info.get(), &buffer.data, &buffer.size);
  info->image_width = static_cast<JDIMENSION>(width);
  info->image_height = static_cast<JDIMENSION>(height);
  info->input_components = 3;
  info->in_color_space = JCS_RGB;
  jpeg_set_defaults(info.get());
  jpeg_set_quality(info.get(), 85, TRUE);
  jpeg_start_compress(info.get(), TRUE);
  std::vector<uint8_t> row(static_cast<size_t>(width) * 3);
  while (info->next_scanline < info->image_height) {
    const int y = static_cast<int>(info->next_scanline);
    for (int x = 0; x < width; ++x) {
      row[static_cast<size_t>(x) * 3] = static_cast<uint8_t>(255 * x / width);
      row[static_cast<size_t>(x) * 3 + 1] = static_cast<uint8_t>(255 * y / height);
      row[static_cast<size_t>(x) * 3 + 2] = static_cast<uint8_t>((x + y) % 256);
    }
    JSAMPROW rows[] = {row.data()};
    jpeg_write_scanlines(info.get(), rows, 1);
  }
  jpeg_finish_compress(info.get());
  return std::vector<uint8_t>(buffer.data, buffer.data + buffer.size);
}

}  // namespace pdf_testing
