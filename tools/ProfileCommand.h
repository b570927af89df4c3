#pragma once

#include <CLI/CLI.hpp>

namespace tools {

// `kestrova profile TICKER --out FILE.pdf`: writes the one-page company profile through
// Thalmere.PDFProfile; the console answers its Save dialog with FILE. Exit status 1 with one
// line on stderr when no single company has the ticker or the file cannot be written.
void AddProfileCommand(CLI::App& app);

}  // namespace tools
