#include "platform/pdf/tests/PdfReadBack.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <fstream>
#include <iterator>

#include "platform/tests/Shell.h"

namespace pdf_testing {

namespace fs = std::filesystem;
using testing_support::Shell;

std::vector<uint8_t> ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

namespace {

double Attribute(const std::string& tag, const std::string& name) {
  const size_t at = tag.find(name + "=\"");
  return std::stod(tag.substr(at + name.size() + 2));
}

// pdftotext writes its words as XHTML: "&amp;" and its kin stand for the characters.
std::string Unescaped(std::string text) {
  static constexpr std::pair<const char*, char> kEntities[] = {
      {"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&apos;", '\''}};
  for (const auto& [entity, c] : kEntities) {
    for (size_t at = text.find(entity); at != std::string::npos; at = text.find(entity, at + 1)) {
      text.replace(at, std::char_traits<char>::length(entity), 1, c);
    }
  }
  return text;
}

}  // namespace

std::vector<Word> WordsOf(const fs::path& pdf) {
  const std::string html = Shell("pdftotext -bbox '" + pdf.string() + "' -");
  std::vector<Word> words;
  for (size_t at = html.find("<word "); at != std::string::npos; at = html.find("<word ", at + 1)) {
    const size_t tag_end = html.find('>', at);
    const size_t text_end = html.find("</word>", tag_end);
    const std::string tag = html.substr(at, tag_end - at);
    words.push_back(Word{Unescaped(html.substr(tag_end + 1, text_end - tag_end - 1)),
                         Attribute(tag, "xMin"), Attribute(tag, "yMin"), Attribute(tag, "xMax"),
                         Attribute(tag, "yMax")});
  }
  return words;
}

const Word* Find(const std::vector<Word>& words, const std::string& text) {
  for (const Word& w : words) {
    if (w.text == text) return &w;
  }
  return nullptr;
}

std::string TextIn(const std::vector<Word>& words, double left, double top, double right,
                   double bottom) {
  std::vector<const Word*> inside;
  for (const Word& w : words) {
    const double x = (w.x_min + w.x_max) / 2 / kPointsPerUnit;
    const double y = (w.y_min + w.y_max) / 2 / kPointsPerUnit;
    if (x >= left && x < right && y >= top && y < bottom) inside.push_back(&w);
  }
  // Lines from the top, words of a line from the left.
  std::sort(inside.begin(), inside.end(), [](const Word* a, const Word* b) {
    if (std::abs(a->y_min - b->y_min) > 2) return a->y_min < b->y_min;
    return a->x_min < b->x_min;
  });
  std::string text;
  for (const Word* w : inside) text += (text.empty() ? "" : " ") + w->text;
  return text;
}

int Raster::InkIn(int left, int top, int right, int bottom) const {
  int ink = 0;
  for (int y = top; y < bottom; ++y) {
    for (int x = left; x < right; ++x) {
      const auto [r, g, b] = At(x, y);
      if (r + g + b < 600) ++ink;
    }
  }
  return ink;
}

int Raster::RedIn(int left, int top, int right, int bottom) const {
  int red = 0;
  for (int y = top; y < bottom; ++y) {
    for (int x = left; x < right; ++x) {
      const auto [r, g, b] = At(x, y);
      if (r > 150 && g < 120 && b < 120) ++red;
    }
  }
  return red;
}

Raster Render(const fs::path& pdf) {
  const fs::path out = pdf.parent_path() / "page";
  Shell("pdftoppm -r 96 -singlefile '" + pdf.string() + "' '" + out.string() + "'");
  const std::vector<uint8_t> ppm = ReadFile(out.string() + ".ppm");
  // "P6\n<width> <height>\n255\n" then the pixels.
  Raster raster;
  size_t at = 2;
  auto Number = [&] {
    while (at < ppm.size() && !std::isdigit(ppm[at])) ++at;
    int value = 0;
    while (at < ppm.size() && std::isdigit(ppm[at])) value = value * 10 + (ppm[at++] - '0');
    return value;
  };
  raster.width = Number();
  raster.height = Number();
  Number();  // the maximum value
  if (at + 1 <= ppm.size()) {
    raster.rgb.assign(ppm.begin() + static_cast<std::ptrdiff_t>(at + 1), ppm.end());
  }
  return raster;
}

}  // namespace pdf_testing
