#include "library/PDFProfile.h"

#include <array>
#include <cmath>
#include <exception>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "library/CompositeMeasures.h"
#include "library/PDFChart.h"
#include "platform/ado/Connection.h"
#include "platform/ado/DataSources.h"
#include "platform/automation/Convert.h"
#include "platform/automation/Error.h"
#include "platform/automation/Regional.h"
#include "platform/automation/Registry.h"
#include "platform/helpers/library.h"
#include "platform/system/FileIdentity.h"
#include "platform/ui/UiHost.h"

namespace thalmere {

namespace {

using automation::ObjectRef;
using automation::Variant;
using ConnectionRef = std::shared_ptr<ado::Connection>;

constexpr const char* kPdfEngineClassId = "{1DC59A34-1EDD-440A-B21F-CB8857C112E5}";
constexpr const char* kFont = "Verdana";
constexpr int32_t kGrey = 204 + 204 * 256 + 204 * 65536;
constexpr int32_t kWhite = 0xFFFFFF;
constexpr int32_t kRed = 255;
constexpr int32_t kBlack = 0;

enum Align : int32_t { kLeft = 0, kRight = 1, kCentre = 2 };

// A section's half of the page, and the parts of its tables.
constexpr int32_t kSectionWidth = 375;
constexpr int32_t kLabelWidth = 125;
constexpr int32_t kValueWidth = 50;
constexpr int32_t kTitleHeight = 15;
constexpr int32_t kHeadingHeight = 25;
constexpr int32_t kRowHeight = 12;

std::string RightTrimmed(std::string text) {
  text.erase(text.find_last_not_of(' ') + 1);
  return text;
}

// One company's row of a table, or no row at all: every field of a missing row reads Null,
// so a section of a company that a table lacks shows its empty figures.
class Row {
 public:
  Row() = default;
  explicit Row(std::shared_ptr<ado::Recordset> recordset) : recordset_(std::move(recordset)) {}

  const Variant& operator[](const std::string& column) const {
    static const Variant kNull = Variant::Null();
    if (!recordset_ || recordset_->EOF_()) return kNull;
    return recordset_->Field(column);
  }
  float Single(const std::string& column) const { return helpers::NullToSingle((*this)[column]); }
  // Text without the padding of fixed-width columns; Null is "".
  std::string Text(const std::string& column) const {
    const Variant& value = (*this)[column];
    return value.IsNull() ? std::string() : RightTrimmed(automation::CStr(value));
  }
  // The recordset behind the row; nullptr for no table.
  const std::shared_ptr<ado::Recordset>& recordset() const { return recordset_; }

 private:
  std::shared_ptr<ado::Recordset> recordset_;
};

Row Query(const ConnectionRef& connection, const std::string& sql, const std::string& key) {
  return Row(helpers::OpenRecordset(connection, sql, {Variant(key)}));
}

bool HasTable(ado::Connection& connection, const std::string& table) {
  const bool sqlite = connection.engine() == ado::Engine::kSqlite;
  const std::string sql = sqlite ? "select 1 from sqlite_master where type = 'table' and name = ?"
                                 : "select 1 from information_schema.tables "
                                   "where table_schema = current_schema() and table_name = ?";
  const std::vector<Variant> params{Variant(table)};
  return !connection.driver().Run(sql, params).rows.empty();
}

// A query on one of the system's own tables, which a system database that never ran the
// batch calculation lacks: no table reads as no row.
Row QueryOwnTable(const ConnectionRef& connection, const std::string& table, const std::string& sql,
                  const std::string& key) {
  try {
    return Query(connection, sql, key);
  } catch (const automation::Error&) {
    if (HasTable(*connection, table)) throw;
  }
  return Row();
}

// Fixed decimals in the regional format: a missing figure shows as 0, 0.0 or 0.00.
Variant Fixed(float value, int digits) { return Variant(automation::FormatNumber(value, digits)); }

// A figure divided by a share count; no shares (0 or Null) gives 0 rather than a division
// error, so one company without a share count still gets its profile.
float PerShare(float figure, float shares) { return shares == 0 ? 0.0f : figure / shares; }

// A period-end date as a heading, year first ("2025 6-30"); a missing date is an empty
// heading.
Variant PeriodHeading(const Variant& date) {
  if (date.IsNull() || date.IsEmpty()) return Variant("");
  return helpers::ReorderDateText(date, Variant(" "), Variant("-"));
}

// The engine of one document, reached by member names as every caller of the engine does.
// The setting objects are fetched once.
class Sheet {
 public:
  explicit Sheet(ObjectRef engine)
      : engine_(std::move(engine)),
        font_(engine_->Get("Font").Object()),
        table_settings_(engine_->Get("TableSettings").Object()) {}

  automation::Dispatch& engine() { return *engine_; }

  void Font(float size, bool bold = false) {
    font_->Let("name", Variant(kFont));
    font_->Let("Size", Variant(size));
    font_->Let("Underline", Variant(false));
    Bold(bold);
  }
  void FontSize(float size) { font_->Let("Size", Variant(size)); }
  void Bold(bool bold) { font_->Let("Bold", Variant(bold)); }
  void Brush(int32_t rgb) { engine_->Let("BrushColor", Variant(rgb)); }
  void TextColor(int32_t rgb) { engine_->Let("TextColor", Variant(rgb)); }
  void Transparent() { engine_->Get("ImageSettings").Object()->Let("Transparent", Variant(true)); }

  void TableSettings(int32_t row_height, int32_t column_width) {
    RowHeight(row_height);
    table_settings_->Let("AutoAdjustColumnWidth", Variant(false));
    table_settings_->Let("ColumnWidth", Variant(column_width));
    table_settings_->Let("EnableTitle", Variant(false));
    table_settings_->CallWith("SetInternalMargin", 2, 2, 2, 2);
  }
  void RowHeight(int32_t height) { table_settings_->Let("RowHeight", Variant(height)); }

  // A table whose columns have these alignments and widths (0: the ColumnWidth setting).
  void BeginTable(int32_t x, int32_t y, const std::vector<std::pair<Align, int32_t>>& columns) {
    table_ = engine_->CallWith("BeginTable", x, y, static_cast<int32_t>(columns.size())).Object();
    for (size_t i = 0; i < columns.size(); ++i) {
      const ObjectRef column = table_->CallWith("Columns", static_cast<int32_t>(i)).Object();
      column->Let("Alignment", Variant(static_cast<int32_t>(columns[i].first)));
      if (columns[i].second > 0) column->Let("Width", Variant(columns[i].second));
    }
  }
  void NewRow() { engine_->Call("NewRow"); }
  void Cell(int32_t column, const Variant& value) { engine_->CallWith("TextOutC", column, value); }
  void EndTable() {
    engine_->Call("EndTable");
    table_.reset();
  }

 private:
  ObjectRef engine_;
  ObjectRef font_;
  ObjectRef table_settings_;
  ObjectRef table_;
};

// A label column and `count` value columns of 50, aligned by `values`.
std::vector<std::pair<Align, int32_t>> Columns(Align values, int count = 5) {
  std::vector<std::pair<Align, int32_t>> columns{{kLeft, kLabelWidth}};
  for (int i = 0; i < count; ++i) columns.emplace_back(values, kValueWidth);
  return columns;
}

// The grey bar over a section, `width` wide, with its title in bold.
void TitleBar(Sheet& sheet, int32_t x, int32_t y, const std::string& title,
              int32_t width = kSectionWidth, int32_t column_width = kValueWidth) {
  sheet.TableSettings(kTitleHeight, column_width);
  sheet.FontSize(8);
  sheet.Brush(kGrey);
  sheet.Transparent();
  sheet.BeginTable(x, y, {{kCentre, width}});
  sheet.Font(8, true);
  sheet.Cell(0, Variant(title));
  sheet.Bold(false);
  sheet.EndTable();
}

// The headings under a title bar, on its grey fill.
void HeadingRow(Sheet& sheet, int32_t x, int32_t y, int32_t height,
                const std::vector<Variant>& headings) {
  sheet.RowHeight(height);
  sheet.BeginTable(x, y, Columns(kCentre, static_cast<int>(headings.size()) - 1));
  sheet.Font(6);
  for (size_t i = 0; i < headings.size(); ++i) sheet.Cell(static_cast<int32_t>(i), headings[i]);
  sheet.EndTable();
}

// Begins the white table of a section's figures.
void BeginValues(Sheet& sheet, int32_t x, int32_t y, int32_t row_height, int count = 5) {
  sheet.Brush(kWhite);
  sheet.RowHeight(row_height);
  sheet.BeginTable(x, y, Columns(kRight, count));
  sheet.Font(6);
}

void ValueRow(Sheet& sheet, const std::string& label, const std::vector<Variant>& values,
              bool bold = false) {
  sheet.NewRow();
  if (bold) sheet.Bold(true);
  sheet.Cell(0, Variant(label));
  for (size_t i = 0; i < values.size(); ++i) sheet.Cell(static_cast<int32_t>(i + 1), values[i]);
  if (bold) sheet.Bold(false);
}

// One section's title bar and heading row; y ends at the top of its figures.
void SectionHead(Sheet& sheet, int32_t x, int32_t& y, const std::string& title,
                 const std::vector<Variant>& headings) {
  TitleBar(sheet, x, y, title);
  y += kTitleHeight;
  HeadingRow(sheet, x, y, kHeadingHeight, headings);
  y += kHeadingHeight;
}

// "", "TTM" and the ends of fiscal years 1 to 4.
std::vector<Variant> TrailingAndYearHeadings(const Row& dates) {
  std::vector<Variant> headings{Variant(""), Variant("TTM")};
  for (int k = 1; k <= 4; ++k)
    headings.push_back(PeriodHeading(dates["perend_y" + std::to_string(k)]));
  return headings;
}

std::string Y(int k) { return "_y" + std::to_string(k); }

// Everything the page is drawn from: one row of each table for the company.
struct Figures {
  std::string ticker;
  Row company, sector, industry, composite, ratios, growth, dates, bsa, bsq, isa, isq, cfa,
      percentiles, shares, multiples;
  std::map<std::string, float> eva;  // levered EVA by period ("12m", "y1", ...)
};

void ProfileTitle(Sheet& sheet, int32_t x, int32_t y, const Figures& f) {
  automation::Dispatch& engine = sheet.engine();
  const ObjectRef formatting = engine.Get("TextFormatting").Object();
  formatting->Let("Alignment", Variant(static_cast<int32_t>(kCentre)));
  formatting->Let("BeforeSpace", Variant(y));
  formatting->Let("LeftIndent", Variant(x));
  formatting->Let("RightIndent", Variant(x));
  sheet.FontSize(14);
  sheet.Bold(true);
  engine.Call("BeginPara");
  engine.CallWith("TextOut", "Profile for " + f.company.Text("company"));
  engine.Call("EndPara");
}

std::string ExchangeName(const std::string& code) {
  if (code == "M") return "Nasdaq";
  if (code == "N") return "NYSE";
  if (code == "O") return "OTC";
  if (code == "A") return "Amex";
  return "";
}

void CompanyHeader(Sheet& sheet, int32_t x, int32_t y, const Figures& f) {
  sheet.TableSettings(15, 150);
  sheet.BeginTable(x, y, {{kLeft, 0}, {kLeft, 0}, {kLeft, 200}, {kLeft, 260}});
  sheet.Font(7);
  sheet.Cell(0, Variant("Symbol: " + f.company.Text("ticker")));
  sheet.Cell(1, Variant("Exchange: " + ExchangeName(f.company.Text("exchange"))));
  sheet.Cell(2, Variant("Sector: " + f.sector.Text("mg_desc")));
  sheet.Cell(3, Variant("Industry: " + f.industry.Text("mg_desc")));
  sheet.EndTable();

  sheet.TableSettings(70, 760);
  sheet.BeginTable(x, y + 15, {{kCentre, 760}});
  sheet.Font(6);
  sheet.Cell(0, Variant(f.company.Text("business")));
  sheet.EndTable();
}

void ManagementEffectiveness(Sheet& sheet, int32_t x, int32_t y, const Figures& f) {
  auto QuarterAverage = [&](const std::string& stem) {
    float sum = 0;
    for (int q = 1; q <= 4; ++q) sum += f.bsq.Single(stem + "_q" + std::to_string(q));
    return sum / 4;
  };
  auto PriorYear = [&](const std::string& stem) {
    float sum = 0;
    for (int q = 5; q <= 8; ++q) sum += f.isq.Single(stem + "_q" + std::to_string(q));
    return sum;
  };
  const float trailing_capital =
      QuarterAverage("ltdebt") + QuarterAverage("pref") + QuarterAverage("equity");
  auto Ratio = [](float a, float b) { return helpers::SafeRatio(Variant(a), Variant(b)) * 100; };

  SectionHead(sheet, x, y, "Management Effectiveness", TrailingAndYearHeadings(f.dates));
  BeginValues(sheet, x, y, kRowHeight);

  // A row of si_rat figures: the trailing column's own field, then the years'.
  auto Plain = [&](const std::string& label, const std::string& stem, const std::string& ttm) {
    std::vector<Variant> values{Variant(f.ratios.Single(stem + ttm))};
    for (int k = 1; k <= 4; ++k) values.emplace_back(f.ratios.Single(stem + Y(k)));
    ValueRow(sheet, label, values);
  };
  auto Computed = [&](const std::string& label, float ttm, auto year) {
    std::vector<Variant> values{Fixed(ttm, 1)};
    for (int k = 1; k <= 4; ++k) values.push_back(Fixed(year(k), 1));
    ValueRow(sheet, label, values);
  };

  Plain("Return on Equity", "roe", "_12m");
  Plain("Return on Assets", "roa", "_12m");
  Computed("Return on Total Capital", Ratio(f.isa.Single("netinc_12m"), trailing_capital),
           [&](int k) {
             const float capital = f.bsa.Single("ltdebt" + Y(k)) + f.bsa.Single("pref" + Y(k)) +
                                   f.bsa.Single("equity" + Y(k));
             return Ratio(f.isa.Single("netinc" + Y(k)), capital);
           });
  Plain("Gross Margins", "gpm", "_12m");
  Plain("Operating Margins", "opm", "_12m");
  Plain("Net Margins", "npm", "_12m");
  Plain("Current Ratio", "curr", "_q1");
  Plain("Quick Ratio", "quick", "_q1");
  Plain("Tot. Liab. / Tot. Assets", "tl_ta", "_q1");
  Plain("LT Debt / Tot. Cap.", "ltd_tc", "_q1");
  Plain("LT Debt / Equity", "ltd_eq", "_q1");
  Plain("Interest Coverage", "tie", "_12m");
  Plain("Payout Ratio", "payout", "_12m");
  // Net income growth divides by the earlier figure's size, so a rise out of a loss is growth.
  const float prior_income = PriorYear("netinc");
  Computed("Net Inc Gr.", Ratio(f.isa.Single("netinc_12m") - prior_income, std::fabs(prior_income)),
           [&](int k) {
             const float earlier = f.isa.Single("netinc" + Y(k + 1));
             return Ratio(f.isa.Single("netinc" + Y(k)) - earlier, std::fabs(earlier));
           });
  const float prior_sales = PriorYear("sales");
  Computed("Sales Growth", Ratio(f.isa.Single("sales_12m") - prior_sales, prior_sales), [&](int k) {
    const float earlier = f.isa.Single("sales" + Y(k + 1));
    return Ratio(f.isa.Single("sales" + Y(k)) - earlier, earlier);
  });
  sheet.EndTable();
}

void Growth(Sheet& sheet, int32_t x, int32_t y, const Figures& f) {
  TitleBar(sheet, x, y, "Growth");
  sheet.FontSize(6);
  y += kTitleHeight;
  HeadingRow(sheet, x, y, kTitleHeight,
             {Variant("Period"), Variant("TTM"), Variant("1 Year"), Variant("3 Year"),
              Variant("5 Year"), Variant("7 Year")});
  y += kTitleHeight;

  auto Subtitle = [&](const std::string& text, float size) {
    sheet.Brush(kWhite);
    sheet.RowHeight(kRowHeight);
    sheet.BeginTable(x, y, {{kLeft, kSectionWidth}});
    sheet.Font(size, true);
    sheet.Cell(0, Variant(text));
    sheet.Bold(false);
    sheet.EndTable();
  };
  Subtitle("Growth Rates", 6);
  y += kRowHeight;

  struct Rates {
    const char* label;
    std::array<const char*, 5> columns;
  };
  static constexpr Rates kRates[] = {
      {"Sales", {"sales_g1t", "sales_g1f", "sales_g3f", "sales_g5f", "sales_g7f"}},
      {"Gross Income", {"gopin_g1t", "gopinc_g1f", "gopinc_g3f", "gopinc_g5f", "gopinc_g7f"}},
      {"Pre-Tax Income", {"pti_g1t", "pti_g1f", "pti_g3f", "pti_g5f", "pti_g7f"}},
      {"Operating Income", {"opin_g1t", "opinc_g1f", "opinc_g3f", "opinc_g5f", "opinc_g7f"}},
      {"Net Income", {"netin_g1t", "netinc_g1f", "netinc_g3f", "netinc_g5f", "netinc_g7f"}},
      {"EPS Diluted", {"epsd_g1t", "epsd_g1f", "epsd_g3f", "epsd_g5f", "epsd_g7f"}},
      {"EPS Diluted Cont.", {"epsdc_g1t", "epsdc_g1f", "epsdc_g3f", "epsdc_g5f", "epsdc_g7f"}},
      {"Cash Flow", {"cfps_g1t", "cfps_g1f", "cfps_g3f", "cfps_g5f", "cfps_g7f"}},
      {"Free Cash Flow", {"fcfps_g1t", "fcfps_g1f", "fcfps_g3f", "fcfps_g5f", "fcfps_g7f"}},
      {"Dividends", {"dps_g1t", "dps_g1f", "dps_g3f", "dps_g5f", "dps_g7f"}},
  };
  static constexpr Rates kRanks[] = {
      {"Sales Gr.", {"rsales_g1t", "rsales_g1f", "rsales_g3f", "rsales_g5f", "rsales_g7f"}},
      {"EPS", {"reps_g1t", "reps_g1f", "reps_g3f", "reps_g5f", "reps_g7f"}},
      {"EPS Diluted Cont.", {"repsdc_g1t", "repsdc_g1f", "repsdc_g3f", "repsdc_g5f", "repsdc_g7f"}},
      {"Net Income", {nullptr, "rnetinc_g1", "rnetinc_g3", "rnetinc_g5", "rnetinc_g7"}},
      {"Rel. Str. (04, 13, 26, 52, 4q)", {"rrs_04w", "rrs_13w", "rrs_26w", "rrs_52w", "rrsw_4q"}},
  };
  auto Table = [&](const auto& rows, const Row& source, int digits) {
    BeginValues(sheet, x, y, kRowHeight);
    for (const Rates& rates : rows) {
      std::vector<Variant> values;
      for (const char* column : rates.columns) {
        values.push_back(column ? Fixed(source.Single(column), digits) : Variant(""));
      }
      ValueRow(sheet, rates.label, values);
    }
    sheet.EndTable();
  };
  Table(kRates, f.growth, 1);
  y += 10 * kRowHeight;
  Subtitle("Percentile Ranks", 7);
  y += kTitleHeight;
  Table(kRanks, f.percentiles, 0);
}

void WeeklyChart(Sheet& sheet, int32_t x, int32_t y, const Figures& f) {
  PDFChart chart;
  chart.SetDays(520);
  chart.SetFrequency("weekly");
  chart.SetHeight(265);
  chart.SetWidth(375);
  chart.SetSymbol(f.ticker);
  const Variant jpeg = chart.JPEG();
  const auto byte_count = static_cast<int32_t>(jpeg.Array().Size());

  TitleBar(sheet, x, y, "Weekly Chart");
  sheet.Transparent();
  sheet.FontSize(6);
  sheet.TableSettings(265, 50);
  y += kTitleHeight;
  sheet.BeginTable(x, y, {{kLeft, kSectionWidth}});
  sheet.engine().CallWith("DrawImageMemC", 0, 375, 265, jpeg, byte_count, 1);
  sheet.EndTable();
}

void ValuationAndPerShare(Sheet& sheet, int32_t x, int32_t y, const Figures& f) {
  TitleBar(sheet, x, y, "Valuation Ratios");
  sheet.FontSize(6);
  y += kTitleHeight;
  HeadingRow(sheet, x, y, kHeadingHeight,
             {Variant("Price Ratio"), Variant("Prev Yr."), Variant("3 Yr. Avg"), Variant("Current"),
              Variant("1Yr. Est"), Variant("")});
  y += kHeadingHeight;
  BeginValues(sheet, x, y, kRowHeight);
  auto Multiple = [&](const std::string& label, const std::string& stem, bool estimate) {
    std::vector<Variant> values{Fixed(f.multiples.Single(stem + "_1t"), 1),
                                Fixed(f.multiples.Single(stem + "_a3y"), 1),
                                Fixed(f.multiples.Single(stem), 1)};
    values.push_back(estimate ? Fixed(f.multiples.Single(stem + "_ey0"), 1) : Variant(""));
    ValueRow(sheet, label, values);
  };
  Multiple("PE", "pe", true);
  Multiple("PS", "psps", false);
  Multiple("P/B", "pbvps", false);
  Multiple("P/CF", "pcfps", false);
  Multiple("P/FCF", "pfcps", false);
  Multiple("Yield", "yield", false);
  sheet.EndTable();

  // Six rows and one of space. The title bar takes the height of every other title bar:
  // at the figures' 12 its 8-point title would be cut.
  y += 84;
  TitleBar(sheet, x, y, "Per Share Data");
  sheet.FontSize(6);
  y += kTitleHeight;
  std::vector<Variant> headings{Variant(""), PeriodHeading(f.dates["perend_q1"])};
  for (int k = 1; k <= 3; ++k)
    headings.push_back(PeriodHeading(f.dates["perend_y" + std::to_string(k)]));
  headings.emplace_back("");  // the fifth column stays empty, as in the valuation table
  HeadingRow(sheet, x, y, kHeadingHeight, headings);
  y += kHeadingHeight;

  const std::array<float, 4> shares{f.shares.Single("shr_aq1"), f.shares.Single("shr_ay1"),
                                    f.shares.Single("shr_ay2"), f.shares.Single("shr_ay3")};
  BeginValues(sheet, x, y, 15);
  // The EVA run's levered EVA of the trailing year and the fiscal years, per share; blank
  // where the run has no row.
  std::vector<Variant> eva;
  for (int i = 0; i < 4; ++i) {
    const auto found = f.eva.find(i == 0 ? "12m" : "y" + std::to_string(i));
    eva.push_back(found == f.eva.end() ? Variant("")
                                       : Fixed(PerShare(found->second, shares[i]), 2));
  }
  ValueRow(sheet, "EVA", eva);
  auto PerShareRow = [&](const std::string& label, const Row& latest,
                         const std::string& latest_field, const Row& years,
                         const std::string& stem) {
    std::vector<Variant> values{Fixed(PerShare(latest.Single(latest_field), shares[0]), 2)};
    for (int k = 1; k <= 3; ++k)
      values.push_back(Fixed(PerShare(years.Single(stem + Y(k)), shares[k]), 2));
    ValueRow(sheet, label, values);
  };
  PerShareRow("Cash", f.bsq, "cash_q1", f.bsa, "cash");
  PerShareRow("Assets", f.bsq, "assets_q1", f.bsa, "assets");
  PerShareRow("LT Debt.", f.bsq, "ltdebt_q1", f.bsa, "ltdebt");
  PerShareRow("Tot Liab.", f.bsq, "liab_q1", f.bsa, "liab");
  PerShareRow("Equity", f.bsq, "equity_q1", f.bsa, "equity");
  PerShareRow("Net Inc.", f.isa, "netinc_12m", f.isa, "netinc");
  std::vector<Variant> eps{Variant(f.isa.Single("epsdc_12m"))};
  for (int k = 1; k <= 3; ++k) eps.emplace_back(f.isa.Single("epsdc" + Y(k)));
  ValueRow(sheet, "EPS from Continuing Ops", eps);
  sheet.EndTable();
}

struct Line {
  const char* label;
  const char* stem;
  bool bold;
};

// A statement's lines over its periods, one decimal each.
void Statement(Sheet& sheet, int32_t x, int32_t y, const std::string& title,
               std::vector<Variant> headings, const Row& source, const std::vector<Line>& lines,
               const std::vector<std::string>& periods) {
  SectionHead(sheet, x, y, title, headings);
  BeginValues(sheet, x, y, kRowHeight);
  for (const Line& line : lines) {
    std::vector<Variant> values;
    for (const std::string& period : periods) {
      values.push_back(Fixed(source.Single(line.stem + period), 1));
    }
    ValueRow(sheet, line.label, values, line.bold);
  }
  sheet.EndTable();
}

const std::vector<std::string> kTrailingAndYears{"_12m", "_y1", "_y2", "_y3", "_y4"};

void IncomeStatement(Sheet& sheet, int32_t x, int32_t y, const Figures& f) {
  Statement(sheet, x, y, "Income Statement Annual", TrailingAndYearHeadings(f.dates), f.isa,
            {{"Sales", "sales", true},
             {"Cost of Goods Sold", "cgs", false},
             {"Gross Income", "gross", false},
             {"Total Op. Expense", "totexp", false},
             {"Gross Op. Income", "gopinc", false},
             {"Other Income", "othinc", false},
             {"Pre-Tax Income", "pti", false},
             {"Income for Primary EPS", "iac", false},
             {"Nonrecurring Items", "xord", false},
             {"Net Income", "netinc", true},
             {"EPS-Diluted Continuing", "epsdc", false},
             {"Dividend", "dps", false}},
            kTrailingAndYears);
}

void BalanceSheet(Sheet& sheet, int32_t x, int32_t y, const Figures& f) {
  // Five fiscal years, each column headed by its own year end.
  std::vector<Variant> headings{Variant("")};
  for (int k = 1; k <= 5; ++k)
    headings.push_back(PeriodHeading(f.dates["perend_y" + std::to_string(k)]));
  Statement(sheet, x, y, "Balance Sheet Annual", headings, f.bsa,
            {{"Cash", "cash", true},
             {"Current Assets", "ca", false},
             {"Net Fixed Assets", "nppe", false},
             {"Total Assets", "assets", true},
             {"Current Liabilities", "cl", false},
             {"Long Term Debt", "ltdebt", false},
             {"Total Liabilities", "liab", true},
             {"Common Equity", "equity", false},
             {"Liabilities & Equity", "totloe", true}},
            {"_y1", "_y2", "_y3", "_y4", "_y5"});
}

void CashFlow(Sheet& sheet, int32_t x, int32_t y, const Figures& f) {
  SectionHead(sheet, x, y, "Cash Flow Annual", TrailingAndYearHeadings(f.dates));
  BeginValues(sheet, x, y, kRowHeight);
  auto Line = [&](const std::string& label, auto value) {
    std::vector<Variant> values;
    for (const std::string& period : kTrailingAndYears) values.push_back(Fixed(value(period), 1));
    ValueRow(sheet, label, values);
  };
  auto Field = [&](const std::string& stem) {
    return [&f, stem](const std::string& period) { return f.cfa.Single(stem + period); };
  };
  Line("Cash from Operations", Field("tco"));
  Line("Cash Flow", Field("ncc"));
  Line("Capital Expenditures", Field("ce"));
  Line("Free Cash Flow", [&](const std::string& period) {
    return f.cfa.Single("ncc" + period) - f.cfa.Single("ce" + period);
  });
  Line("Cash Flow / Share", Field("cfps"));
  Line("Free Cash Flow / Share", Field("fcfps"));
  sheet.EndTable();
}

void DrawComposite(Sheet& sheet, int32_t x, int32_t& y, const Row& composite) {
  TitleBar(sheet, x, y, "Thalmere Composite", 760, 80);
  sheet.RowHeight(kHeadingHeight);
  y += kTitleHeight;
  const std::vector<std::pair<Align, int32_t>> columns{{kLeft, 125}, {kCentre, 75}, {kCentre, 0},
                                                       {kCentre, 0}, {kCentre, 0},  {kCentre, 0},
                                                       {kCentre, 0}, {kCentre, 0},  {kCentre, 0}};
  sheet.BeginTable(x, y, columns);
  sheet.Font(6);
  sheet.Cell(0, Variant(""));
  for (int32_t i = 0; i < 8; ++i) sheet.Cell(i + 1, Variant(kCompositeMeasures[i].label));
  sheet.EndTable();

  sheet.RowHeight(kRowHeight);
  sheet.Brush(kWhite);
  y += kHeadingHeight;
  sheet.BeginTable(x, y, columns);
  // A figure as it was read; a missing one is a blank cell.
  auto AsRead = [&](const char* column) {
    const Variant& value = composite[column];
    return value.IsNull() ? Variant("") : value;
  };
  sheet.Cell(0, Variant("Composite"));
  for (int32_t i = 0; i < 8; ++i) {
    const char* percentile = kCompositeMeasures[i].percentile;
    if (composite.Single(percentile) >= 80.0f) sheet.TextColor(kRed);
    sheet.Cell(i + 1, AsRead(percentile));
    sheet.TextColor(kBlack);
  }
  sheet.NewRow();
  sheet.Cell(0, Variant("Score"));
  for (int32_t i = 0; i < 8; ++i) sheet.Cell(i + 1, AsRead(kCompositeMeasures[i].score));
  sheet.EndTable();
}

// The company's rows, each table read with the company_id bound as a parameter.
std::optional<Figures> ReadFigures(const std::string& ticker, const ConnectionRef& dbf,
                                   const ConnectionRef& fundamentals, const ConnectionRef& system) {
  Figures f;
  f.ticker = ticker;
  f.company = Query(fundamentals, "select * from si_ci where ticker = ?", ticker);
  if (f.company.recordset()->RecordCount() != 1) return std::nullopt;
  const std::string id = f.company.Text("company_id");
  auto ById = [&](const ConnectionRef& connection, const std::string& table) {
    return Query(connection, "select * from " + table + " where company_id = ?", id);
  };
  f.sector =
      Query(fundamentals, "select * from si_mgdsc where mg_code = ?", f.company.Text("ind_2_dig"));
  f.industry =
      Query(fundamentals, "select * from si_mgdsc where mg_code = ?", f.company.Text("ind_3_dig"));
  f.composite =
      QueryOwnTable(system, "si_composite", "select * from si_composite where company_id = ?", id);
  f.ratios = ById(dbf, "si_rat");
  f.growth = ById(dbf, "si_gr");
  f.dates = ById(fundamentals, "si_date");
  f.bsa = ById(fundamentals, "si_bsa");
  f.bsq = ById(fundamentals, "si_bsq");
  f.isa = ById(fundamentals, "si_isa");
  f.isq = ById(fundamentals, "si_isq");
  f.cfa = ById(fundamentals, "si_cfa");
  f.percentiles = ById(dbf, "si_perc");
  f.shares = ById(dbf, "si_psd");
  f.multiples = ById(dbf, "si_mlt");
  const Row eva =
      QueryOwnTable(system, "si_eva", "select period, leva from si_eva where company_id = ?", id);
  if (const auto& rows = eva.recordset()) {
    for (; !rows->EOF_(); rows->MoveNext()) {
      f.eva[RightTrimmed(automation::CStr(rows->Field("period")))] =
          helpers::NullToSingle(rows->Field("leva"));
    }
  }
  return f;
}

// The file a SQLite data source was opened from, told apart from a file later put in its
// place; {0, 0} for no file.
using kestrova_system::FileIdentity;

// The file a SQLite source leads to; other engines have none.
FileIdentity IdentityOf(const ado::DataSource& source) {
  if (source.driver != ado::Engine::kSqlite) return {};
  return kestrova_system::IdentityOf(source.path);
}

bool SameSource(const ado::DataSource& a, const ado::DataSource& b) {
  return a.driver == b.driver && a.path == b.path && a.conninfo == b.conninfo;
}

}  // namespace

// Opening a SQLite source (its file, its journal mode, its schema) costs more than all the
// queries of a profile, so an object keeps its sources open between profiles. Each use
// resolves the name again and checks the file, so a source is never read from a place it
// no longer leads to.
class PDFProfile::Sources {
 public:
  ConnectionRef Get(const std::string& name) {
    const ado::DataSource source = ado::ResolveDataSource(name);
    Opened& opened = opened_[name];
    if (!opened.connection || !SameSource(opened.source, source) ||
        IdentityOf(source) != opened.file) {
      opened.connection.reset();  // closed before its file is opened again
      opened.connection = ado::Connection::OpenDataSource(name);
      opened.source = source;
      opened.file = IdentityOf(source);
    }
    return opened.connection;
  }

  void CloseAll() { opened_.clear(); }

 private:
  struct Opened {
    ado::DataSource source;
    FileIdentity file;
    ConnectionRef connection;
  };
  std::map<std::string, Opened> opened_;
};

PDFProfile::PDFProfile() : sources_(std::make_unique<Sources>()) {}
PDFProfile::~PDFProfile() = default;

void PDFProfile::OpenProfile(const std::string& strTicker) {
  file_name_.clear();
  const ObjectRef engine = automation::CreateObject(kPdfEngineClassId);
  // A profile that fails part-way closes the sources: a broken session (a database server
  // that restarted) is opened afresh by the next profile instead of failing it as well.
  struct CloseOnError {
    Sources& sources;
    const int unwinding = std::uncaught_exceptions();
    ~CloseOnError() {
      if (std::uncaught_exceptions() > unwinding) sources.CloseAll();
    }
  } close_on_error{*sources_};
  const ConnectionRef dbf = sources_->Get("SIPDbf");
  const ConnectionRef fundamentals = sources_->Get("SIPStatic");
  const ConnectionRef system = sources_->Get("Ledra");
  const std::optional<Figures> figures =
      ReadFigures(RightTrimmed(strTicker), dbf, fundamentals, system);
  if (!figures) return;

  ui::FileDialog dialog;
  dialog.filter = "Adobe Acrobat (*.pdf)|*.pdf";
  const std::string file = ui::CurrentUiHost()->SaveFileName(dialog).value_or("");
  if (file.empty()) return;  // cancelled: nothing to write

  engine->Let("OutputFileName", Variant(file));
  engine->Call("BeginDocument");
  Sheet sheet(engine);
  const Figures& f = *figures;
  ProfileTitle(sheet, 25, 40, f);
  CompanyHeader(sheet, 25, 65, f);
  int32_t x = 25, y = 150;
  DrawComposite(sheet, x, y, f.composite);
  sheet.FontSize(8);
  sheet.Bold(false);
  ManagementEffectiveness(sheet, 25, 218, f);
  Growth(sheet, 25, 468, f);
  WeeklyChart(sheet, 25, 720, f);
  ValuationAndPerShare(sheet, 410, 218, f);
  IncomeStatement(sheet, 410, 502, f);
  BalanceSheet(sheet, 410, 710, f);
  CashFlow(sheet, 410, 876, f);
  engine->Call("EndDocument");
  file_name_ = file;
}

void PDFProfile::GenComposite(automation::Dispatch& gtPDFEngine, int32_t& lStartX, int32_t& lStartY,
                              const ado::Recordset* oCOMP) {
  Sheet sheet(gtPDFEngine.shared_from_this());
  // The row is the caller's: borrowed, and read where it stands.
  const Row composite(
      std::shared_ptr<ado::Recordset>(const_cast<ado::Recordset*>(oCOMP), [](ado::Recordset*) {}));
  DrawComposite(sheet, lStartX, lStartY, composite);
}

void PDFProfile::GenCompositeBound(const ObjectRef& gtPDFEngine, Variant& lStartX, Variant& lStartY,
                                   const Variant& oCOMP) {
  if (!gtPDFEngine) {
    throw automation::Error::WithDetail(automation::err::kObjectNotSet,
                                        "GenComposite needs a PDF engine");
  }
  // Nothing, Empty or Null stand for no row.
  std::shared_ptr<ado::Recordset> composite;
  if (oCOMP.IsObject() && std::get<ObjectRef>(oCOMP.storage())) {
    composite = automation::detail::ObjectOfClass<ado::Recordset>(oCOMP);
  } else if (!oCOMP.IsObject() && !oCOMP.IsEmpty() && !oCOMP.IsNull()) {
    throw automation::Error::WithDetail(automation::err::kTypeMismatch,
                                        "GenComposite needs a recordset, not " + oCOMP.TypeName());
  }
  int32_t x = automation::CLng(lStartX);
  int32_t y = automation::CLng(lStartY);
  GenComposite(*gtPDFEngine, x, y, composite.get());
  lStartX = Variant(x);
  lStartY = Variant(y);
}

const automation::MemberTable& PDFProfile::Members() const {
  static const automation::MemberTable table =
      automation::MemberTableBuilder<PDFProfile>()
          .Method("OpenProfile", &PDFProfile::OpenProfile)
          .Method("GenComposite", &PDFProfile::GenCompositeBound)
          .Get("FileName", &PDFProfile::FileName)
          .Build();
  return table;
}

}  // namespace thalmere
