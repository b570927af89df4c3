#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

// Reading a PDF back for tests, with poppler's tools: the words and where they stand, and the
// page as pixels.
namespace pdf_testing {

// Page units (1/96 inch) per PDF point is 4/3; a point is 0.75 units.
inline constexpr double kPointsPerUnit = 0.75;

std::vector<uint8_t> ReadFile(const std::filesystem::path& path);

// A word as pdftotext -bbox reports it, in points from the page's top left.
struct Word {
  std::string text;
  double x_min, y_min, x_max, y_max;
};

std::vector<Word> WordsOf(const std::filesystem::path& pdf);
// The first word with that text, or nullptr.
const Word* Find(const std::vector<Word>& words, const std::string& text);
// The words whose middle lies in the box (page units), joined by blanks in reading order.
std::string TextIn(const std::vector<Word>& words, double left, double top, double right,
                   double bottom);

// The page rendered at 96 dots per inch, so that one pixel is one page unit.
struct Raster {
  int width = 0, height = 0;
  std::vector<uint8_t> rgb;

  // Red, green and blue of the pixel at page position (x, y).
  std::array<int, 3> At(int x, int y) const {
    const size_t at = (static_cast<size_t>(y) * width + x) * 3;
    return {rgb[at], rgb[at + 1], rgb[at + 2]};
  }
  // Pixels in the box that are not near white.
  int InkIn(int left, int top, int right, int bottom) const;
  // Pixels in the box that are clearly red (text drawn in RGB 255, 0, 0).
  int RedIn(int left, int top, int right, int bottom) const;
};

// The first page of the PDF; the image goes beside it as "page.ppm".
Raster Render(const std::filesystem::path& pdf);

}  // namespace pdf_testing
