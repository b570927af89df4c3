#pragma once

#include <memory>

#include <cairo.h>
#include <glib-object.h>
#include <pango/pango.h>

// One owner for each kind of cairo and Pango handle that the chart component and the PDF
// engine hold; each is released by the call that matches how it was made. Header only: a
// user links cairo and Pango itself.
namespace graphics {

struct CairoSurfaceDeleter {
  void operator()(cairo_surface_t* surface) const { cairo_surface_destroy(surface); }
};
using CairoSurface = std::unique_ptr<cairo_surface_t, CairoSurfaceDeleter>;

struct CairoContextDeleter {
  void operator()(cairo_t* cr) const { cairo_destroy(cr); }
};
using CairoContext = std::unique_ptr<cairo_t, CairoContextDeleter>;

struct CairoPatternDeleter {
  void operator()(cairo_pattern_t* pattern) const { cairo_pattern_destroy(pattern); }
};
using CairoPattern = std::unique_ptr<cairo_pattern_t, CairoPatternDeleter>;

struct CairoFontOptionsDeleter {
  void operator()(cairo_font_options_t* options) const { cairo_font_options_destroy(options); }
};
using CairoFontOptions = std::unique_ptr<cairo_font_options_t, CairoFontOptionsDeleter>;

// Pango's contexts and layouts are GObjects: one reference, dropped.
struct GObjectDeleter {
  void operator()(void* object) const { g_object_unref(object); }
};
using PangoContextHandle = std::unique_ptr<PangoContext, GObjectDeleter>;
using PangoLayoutHandle = std::unique_ptr<PangoLayout, GObjectDeleter>;

struct FontDescriptionDeleter {
  void operator()(PangoFontDescription* description) const {
    pango_font_description_free(description);
  }
};
using FontDescription = std::unique_ptr<PangoFontDescription, FontDescriptionDeleter>;

struct AttrListDeleter {
  void operator()(PangoAttrList* list) const { pango_attr_list_unref(list); }
};
using AttrList = std::unique_ptr<PangoAttrList, AttrListDeleter>;

}  // namespace graphics
