#pragma once

#include <cairo.h>
#include <glib-object.h>
#include <pango/pango.h>

#include <memory>

namespace pdf {

// One owner for every cairo and Pango handle the engine holds.
struct CairoSurfaceDeleter {
  void operator()(cairo_surface_t* s) const { cairo_surface_destroy(s); }
};
using CairoSurface = std::unique_ptr<cairo_surface_t, CairoSurfaceDeleter>;

struct CairoDeleter {
  void operator()(cairo_t* cr) const { cairo_destroy(cr); }
};
using CairoContext = std::unique_ptr<cairo_t, CairoDeleter>;

struct GObjectDeleter {
  void operator()(void* object) const { g_object_unref(object); }
};
using PangoContextHandle = std::unique_ptr<PangoContext, GObjectDeleter>;
using PangoLayoutHandle = std::unique_ptr<PangoLayout, GObjectDeleter>;

struct FontDescriptionDeleter {
  void operator()(PangoFontDescription* d) const { pango_font_description_free(d); }
};
using FontDescription = std::unique_ptr<PangoFontDescription, FontDescriptionDeleter>;

struct AttrListDeleter {
  void operator()(PangoAttrList* list) const { pango_attr_list_unref(list); }
};
using AttrList = std::unique_ptr<PangoAttrList, AttrListDeleter>;

}  // namespace pdf
