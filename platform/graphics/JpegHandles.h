#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>
#include <type_traits>

// jpeglib.h needs FILE and size_t declared before it.
// clang-format off
#include <jpeglib.h>
// clang-format on

#include "platform/automation/Error.h"

// Owners of libjpeg's decompressor and compressor, for the chart's JPEG export, the PDF
// engine's images and the tests that write and read JPEG data. Header only: a user links
// libjpeg itself.
//
// libjpeg reports a fatal error by calling error_exit, which must not return. Ours throws
// error 5, "<what>: <libjpeg's message>". libjpeg's frames carry unwind tables on our
// platforms, so the exception passes through them to the owner's caller, and the owner's
// destructor then destroys the half-used object. Warnings are dropped: a library prints
// nothing.
namespace graphics {

class JpegErrors {
 public:
  explicit JpegErrors(const char* what) : what_(what) {
    jpeg_std_error(&manager_);
    manager_.error_exit = Throw;
    manager_.output_message = [](j_common_ptr) {};
  }
  JpegErrors(const JpegErrors&) = delete;
  JpegErrors& operator=(const JpegErrors&) = delete;

  jpeg_error_mgr* manager() { return &manager_; }

 private:
  [[noreturn]] static void Throw(j_common_ptr info) {
    // The manager is the first member, so libjpeg's pointer to it is one to us.
    const auto* errors = reinterpret_cast<const JpegErrors*>(info->err);
    char message[JMSG_LENGTH_MAX];
    (*info->err->format_message)(info, message);
    throw automation::Error::WithDetail(automation::err::kInvalidArgument,
                                        std::string(errors->what_) + ": " + message);
  }

  jpeg_error_mgr manager_{};  // first: libjpeg hands it back to Throw
  const char* what_;
};

// A decompressor or compressor, destroyed with its owner; `what` begins the message of its
// errors.
template <typename Info>
class JpegCodec {
 public:
  explicit JpegCodec(const char* what) : errors_(what) {
    info_.err = errors_.manager();
    if constexpr (std::is_same_v<Info, jpeg_compress_struct>) {
      jpeg_create_compress(&info_);
    } else {
      jpeg_create_decompress(&info_);
    }
  }
  ~JpegCodec() { jpeg_destroy(reinterpret_cast<j_common_ptr>(&info_)); }
  JpegCodec(const JpegCodec&) = delete;
  JpegCodec& operator=(const JpegCodec&) = delete;

  Info* get() { return &info_; }
  Info* operator->() { return &info_; }

 private:
  JpegErrors errors_;
  Info info_{};
};

using JpegDecompressor = JpegCodec<jpeg_decompress_struct>;
using JpegCompressor = JpegCodec<jpeg_compress_struct>;

// The memory that jpeg_mem_dest allocates and grows (through `data` and `size`), freed with
// its owner. Declare it before the compressor that writes into it, so it outlives it.
struct JpegMemory {
  unsigned char* data = nullptr;
  unsigned long size = 0;

  JpegMemory() = default;
  ~JpegMemory() { std::free(data); }
  JpegMemory(const JpegMemory&) = delete;
  JpegMemory& operator=(const JpegMemory&) = delete;
};

}  // namespace graphics
