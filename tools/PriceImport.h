#pragma once

#include <cstdint>
#include <filesystem>
#include <ostream>

#include "platform/tc2000/PriceStore.h"
#include "tools/PriceCsv.h"

// Imports a folder of CSV files into the price store:
//
//   securities.csv   Symbol,Name,Active: adds securities or updates their names and flags
//   <SYMBOL>.csv     Date,Open,High,Low,Close,Volume[,Adj Close]: one security's daily bars
//   chartlists.csv   List,Type,Symbol: every chart list, one row per member in list order
//
// Columns are found by their header names without regard to case, blanks or underscores;
// other columns are ignored. Fields may be quoted ("..." with "" for a quote) but a record
// is one line. The files are taken in that order, the price files sorted by name.
namespace tools {

struct PriceImportSummary {
  int32_t securities = 0;       // rows of securities.csv stored
  int32_t price_files = 0;      // price files stored
  int64_t bars = 0;             // bars stored from them
  int32_t chart_lists = 0;      // chart lists stored
  int32_t list_members = 0;     // their members
  int32_t bad_lines = 0;        // lines reported and skipped
  int32_t clamped_volumes = 0;  // volumes beyond the 32-bit range, stored as its maximum
  int32_t failed_files = 0;     // files reported and not imported at all

  bool Failed() const { return failed_files > 0; }
};

struct PriceImportOptions {
  // A price file in which more than a tenth of the data lines are bad is taken for a wrong
  // or broken file and refused, unless this is set: then its good lines are imported.
  bool accept_bad_lines = false;
};

// Imports the folder's files into the store. Each file goes in whole, in one transaction,
// or not at all: a bar file replaces all bars of its symbol, chartlists.csv all chart lists.
// Every problem is reported to `messages` on a line of its own, "FILE:LINE: reason" for a
// line that is skipped, "FILE: reason" for a file that is not imported (a header that
// lacks a needed column, no good rows, too many bad lines, a store error). A bar is good
// when its prices are above zero and at most kMaxPrice (PriceCsv.h), Open and Close lie within
// Low..High, and its day is not after today (the platform clock's). Nothing is thrown for
// the files' contents; a folder that cannot be listed is error 75.
PriceImportSummary ImportPrices(const std::filesystem::path& folder, tc2000::PriceStore& store,
                                std::ostream& messages, const PriceImportOptions& options = {});

}  // namespace tools
