#pragma once

#include <CLI/CLI.hpp>

namespace tools {

// `kestrova chart SYMBOL --chart price|pc|pb|ps --days N --frequency daily|weekly --size WxH
// --out FILE`: draws one company's chart through Thalmere.PDFChart and writes it as JPEG,
// PNG or a one-page PDF, by the file's extension (.jpg or .jpeg, .png, .pdf; case ignored).
// Exit status 1 with the error on stderr when the chart cannot be drawn or written.
void AddChartCommand(CLI::App& app);

}  // namespace tools
