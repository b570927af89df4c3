#include "platform/pdf/JpegImage.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "platform/automation/Error.h"
#include "platform/graphics/JpegHandles.h"

namespace pdf {

namespace {

constexpr const char* kNotReadable = "the image is no readable JPEG";

struct FreeDeleter {
  void operator()(unsigned char* data) const { std::free(data); }
};

}  // namespace

JpegImage JpegImage::Read(std::span<const uint8_t> bytes) {
  if (bytes.empty()) {
    throw automation::Error::WithDetail(automation::err::kInvalidArgument,
                                        std::string(kNotReadable) + ": no data");
  }
  JpegImage image;
  {
    // The size from the header, without decoding.
    graphics::JpegDecompressor info(kNotReadable);
    jpeg_mem_src(info.get(), bytes.data(), static_cast<unsigned long>(bytes.size()));
    jpeg_read_header(info.get(), TRUE);
    image.width = static_cast<int>(info->image_width);
    image.height = static_cast<int>(info->image_height);
  }
  // The surface is a one-pixel stand-in that carries the JPEG data: the PDF surface embeds
  // that data, at the size its header gives, and never reads the pixels, since the engine
  // only paints images opaquely with native clipping. A stand-in of the image's own size
  // would cost nothing to draw but would be copied whole when it is destroyed, because the
  // page keeps a snapshot of every surface painted on it; nor is the image decoded.
  image.surface.reset(cairo_image_surface_create(CAIRO_FORMAT_RGB24, 1, 1));
  if (cairo_surface_status(image.surface.get()) != CAIRO_STATUS_SUCCESS) {
    throw automation::Error::WithDetail(
        automation::err::kInvalidArgument,
        std::string(kNotReadable) + ": " +
            cairo_status_to_string(cairo_surface_status(image.surface.get())));
  }

  // The copy is ours until cairo takes it with the surface, which frees it with std::free.
  std::unique_ptr<unsigned char, FreeDeleter> copy(
      static_cast<unsigned char*>(std::malloc(bytes.size())));
  if (!copy) throw std::bad_alloc();
  std::memcpy(copy.get(), bytes.data(), bytes.size());
  if (cairo_surface_set_mime_data(image.surface.get(), CAIRO_MIME_TYPE_JPEG, copy.get(),
                                  bytes.size(), std::free, copy.get()) != CAIRO_STATUS_SUCCESS) {
    throw std::bad_alloc();
  }
  copy.release();
  return image;
}

}  // namespace pdf
