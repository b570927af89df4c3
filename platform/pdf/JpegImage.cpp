#include "platform/pdf/JpegImage.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

// jpeglib.h needs FILE and size_t declared before it.
// clang-format off
#include <jpeglib.h>
// clang-format on

#include "platform/automation/Error.h"

namespace pdf {

namespace {

// libjpeg reports a fatal error by calling error_exit, which must not return; we jump back
// to ReadSize's setjmp with the message.
struct ErrorManager {
  jpeg_error_mgr base;
  std::jmp_buf jump;
  char message[JMSG_LENGTH_MAX];
};

[[noreturn]] void OnJpegError(j_common_ptr info) {
  auto* manager = reinterpret_cast<ErrorManager*>(info->err);
  (*info->err->format_message)(info, manager->message);
  std::longjmp(manager->jump, 1);
}

void IgnoreJpegMessage(j_common_ptr) {}

// The image's size from its header, without decoding; false when it has none.
bool ReadSize(const uint8_t* data, size_t size, int& width, int& height, ErrorManager& errors) {
  jpeg_decompress_struct info;
  info.err = jpeg_std_error(&errors.base);
  errors.base.error_exit = OnJpegError;
  errors.base.output_message = IgnoreJpegMessage;
  if (setjmp(errors.jump)) {
    jpeg_destroy_decompress(&info);
    return false;
  }
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, data, static_cast<unsigned long>(size));
  jpeg_read_header(&info, TRUE);
  width = static_cast<int>(info.image_width);
  height = static_cast<int>(info.image_height);
  jpeg_destroy_decompress(&info);
  return true;
}

[[noreturn]] void ThrowBadImage(const char* message) {
  throw automation::Error::WithDetail(automation::err::kInvalidArgument,
                                      std::string("the image is no readable JPEG: ") + message);
}

}  // namespace

JpegImage JpegImage::Read(std::span<const uint8_t> bytes) {
  if (bytes.empty()) ThrowBadImage("no data");
  ErrorManager errors{};
  JpegImage image;
  if (!ReadSize(bytes.data(), bytes.size(), image.width, image.height, errors)) {
    ThrowBadImage(errors.message);
  }
  // The surface is a one-pixel stand-in that carries the JPEG data: the PDF surface embeds
  // that data, at the size its header gives, and never reads the pixels, since the engine
  // only paints images opaquely with native clipping. A stand-in of the image's own size
  // would cost nothing to draw but would be copied whole when it is destroyed, because the
  // page keeps a snapshot of every surface painted on it; nor is the image decoded.
  image.surface.reset(cairo_image_surface_create(CAIRO_FORMAT_RGB24, 1, 1));
  if (cairo_surface_status(image.surface.get()) != CAIRO_STATUS_SUCCESS) {
    ThrowBadImage(cairo_status_to_string(cairo_surface_status(image.surface.get())));
  }

  auto* copy = static_cast<unsigned char*>(std::malloc(bytes.size()));
  if (!copy) throw std::bad_alloc();
  std::memcpy(copy, bytes.data(), bytes.size());
  cairo_surface_set_mime_data(image.surface.get(), CAIRO_MIME_TYPE_JPEG, copy, bytes.size(),
                              std::free, copy);
  return image;
}

}  // namespace pdf
