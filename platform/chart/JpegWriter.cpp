#include "platform/chart/JpegWriter.h"

#include "platform/graphics/JpegHandles.h"

namespace chart {

std::vector<uint8_t> EncodeJpeg(const uint8_t* pixels, int width, int height, int stride,
                                int quality) {
  graphics::JpegMemory buffer;  // outlives the compressor, which points into it
  graphics::JpegCompressor c("JPEG encoding failed");
  jpeg_mem_dest(c.get(), &buffer.data, &buffer.size);
  c->image_width = static_cast<JDIMENSION>(width);
  c->image_height = static_cast<JDIMENSION>(height);
#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
  // Cairo's pixel words are B, G, R, X in memory here: libjpeg-turbo reads them as they are.
  c->input_components = 4;
  c->in_color_space = JCS_EXT_BGRX;
#else
  c->input_components = 4;
  c->in_color_space = JCS_EXT_XRGB;
#endif
  jpeg_set_defaults(c.get());
  jpeg_set_quality(c.get(), quality, TRUE);
  jpeg_start_compress(c.get(), TRUE);
  while (c->next_scanline < c->image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(pixels + static_cast<size_t>(c->next_scanline) *
                                                     static_cast<size_t>(stride));
    jpeg_write_scanlines(c.get(), &row, 1);
  }
  jpeg_finish_compress(c.get());
  return std::vector<uint8_t>(buffer.data, buffer.data + buffer.size);
}

}  // namespace chart
