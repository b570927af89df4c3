#pragma once

#include <cairo.h>

#include "platform/chart/Chart.h"

namespace chart {

// Draws the whole chart onto the context at the chart's size: backdrop, header, panes, axes
// and series, in that order. `image` is true for a pixel surface (text hinted to the pixel
// grid) and false for a vector one. Records the plot layout in the chart for XAtPixel and
// PixelOfX. Cairo errors are left in the context's status for the caller to check.
void DrawChart(const Chart& chart, cairo_t* cr, bool image);

}  // namespace chart
