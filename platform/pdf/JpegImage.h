#pragma once

#include <cstdint>
#include <span>

#include "platform/graphics/CairoHandles.h"

namespace pdf {

// A JPEG image ready to be placed on a PDF page: a one-pixel surface that carries the
// original bytes as its JPEG data, so the PDF embeds them unchanged; painted scaled to the
// box it should fill. Only the header is read; the surface's pixel is not the image's, so it
// serves PDF output only.
struct JpegImage {
  graphics::CairoSurface surface;
  int width = 0;  // of the image, from its header
  int height = 0;

  // Reads the header of `bytes` (copied; the caller keeps its own). Data that is not a JPEG
  // image libjpeg can read, or an empty span, is error 5 naming the decoder's complaint.
  static JpegImage Read(std::span<const uint8_t> bytes);
};

}  // namespace pdf
