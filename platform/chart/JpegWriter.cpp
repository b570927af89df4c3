#include "platform/chart/JpegWriter.h"

#include <cstdio>
#include <cstdlib>
#include <string>

// jpeglib.h needs FILE and size_t declared before it.
// clang-format off
#include <jpeglib.h>
// clang-format on

#include "platform/automation/Error.h"

namespace chart {
namespace {

// libjpeg reports a fatal error by calling error_exit, which must not return. Throwing from
// it unwinds through libjpeg's frames, which carry unwind tables on our platforms; the
// compressor's owner below then destroys it.
[[noreturn]] void ThrowJpegError(j_common_ptr info) {
  char message[JMSG_LENGTH_MAX];
  (*info->err->format_message)(info, message);
  throw automation::Error::WithDetail(automation::err::kInvalidArgument,
                                      std::string("JPEG encoding failed: ") + message);
}

struct Compressor {
  jpeg_compress_struct info{};
  jpeg_error_mgr errors{};
  Compressor() {
    info.err = jpeg_std_error(&errors);
    errors.error_exit = ThrowJpegError;
    jpeg_create_compress(&info);
  }
  ~Compressor() { jpeg_destroy_compress(&info); }
  Compressor(const Compressor&) = delete;
  Compressor& operator=(const Compressor&) = delete;
};

// The buffer that libjpeg allocates and grows (updating `data`); ours to free.
struct MemoryBuffer {
  unsigned char* data = nullptr;
  unsigned long size = 0;
  MemoryBuffer() = default;
  ~MemoryBuffer() { std::free(data); }
  MemoryBuffer(const MemoryBuffer&) = delete;
  MemoryBuffer& operator=(const MemoryBuffer&) = delete;
};

}  // namespace

std::vector<uint8_t> EncodeJpeg(const uint8_t* pixels, int width, int height, int stride,
                                int quality) {
  MemoryBuffer buffer;  // outlives the compressor, which points into it
  Compressor c;
  jpeg_mem_dest(&c.info, &buffer.data, &buffer.size);
  c.info.image_width = static_cast<JDIMENSION>(width);
  c.info.image_height = static_cast<JDIMENSION>(height);
#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
  // Cairo's pixel words are B, G, R, X in memory here: libjpeg-turbo reads them as they are.
  c.info.input_components = 4;
  c.info.in_color_space = JCS_EXT_BGRX;
#else
  c.info.input_components = 4;
  c.info.in_color_space = JCS_EXT_XRGB;
#endif
  jpeg_set_defaults(&c.info);
  jpeg_set_quality(&c.info, quality, TRUE);
  jpeg_start_compress(&c.info, TRUE);
  while (c.info.next_scanline < c.info.image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(pixels + static_cast<size_t>(c.info.next_scanline) *
                                                     static_cast<size_t>(stride));
    jpeg_write_scanlines(&c.info, &row, 1);
  }
  jpeg_finish_compress(&c.info);
  return std::vector<uint8_t>(buffer.data, buffer.data + buffer.size);
}

}  // namespace chart
