#include "library/Stats.h"

#include <algorithm>
#include <array>
#include <exception>
#include <optional>
#include <vector>

#include "platform/automation/Convert.h"
#include "platform/helpers/library.h"

namespace thalmere {

namespace {

using automation::Variant;

constexpr int kYears = 7;

// The per-year values a walk needs, read from the company's rows when a price first needs
// that year. Reading is what can fail (no row, a missing column, Null where a number must
// be), and a failure ends the walk at the price that needed it.
class FiscalYears {
 public:
  FiscalYears(const ado::Recordset& dates, const ado::Recordset& figures, std::string stem,
              const ado::Recordset* shares)
      : dates_(dates), figures_(figures), stem_(std::move(stem)), shares_(shares) {}

  // The first year from 1 to 7 that had ended by `day`, or 0. A Null end never matches.
  int InForceOn(double day) {
    for (int k = 1; k <= kYears; ++k) {
      std::optional<double>& end = ends_[k];
      if (!end_read_[k]) {
        const Variant& value = dates_.Field("perend_y" + std::to_string(k));
        if (!value.IsNull()) end = automation::CDate(value).value;
        end_read_[k] = true;
      }
      if (end && *end <= day) return k;
    }
    return 0;
  }

  // The figure of year k, or the figure over the year's average shares.
  float Divisor(int k) {
    if (!divisors_[k]) {
      const float figure = automation::CSng(figures_.Field(stem_ + "_y" + std::to_string(k)));
      divisors_[k] =
          shares_ ? automation::DivideSingle(
                        figure, automation::CSng(shares_->Field("shr_ay" + std::to_string(k))))
                  : figure;
    }
    return *divisors_[k];
  }

 private:
  const ado::Recordset& dates_;
  const ado::Recordset& figures_;
  const std::string stem_;
  const ado::Recordset* shares_;
  std::array<std::optional<double>, kYears + 1> ends_;
  std::array<bool, kYears + 1> end_read_{};
  std::array<std::optional<float>, kYears + 1> divisors_;
};

std::shared_ptr<PriceArray> SeriesOf(const std::vector<float>& values,
                                     const std::vector<int32_t>& codes) {
  auto result = std::make_shared<PriceArray>();
  result->AssignPrices(values);
  result->AssignDates(codes);
  return result;
}

}  // namespace

std::shared_ptr<PriceArray> Stats::ReturnEmpty(const PriceArray& oPA) const {
  const size_t n = static_cast<size_t>(std::max(oPA.Size(), 0));
  return SeriesOf(std::vector<float>(n, 0.0f), std::vector<int32_t>(n, 0));
}

std::shared_ptr<PriceArray> Stats::Walk(const ConnectionRef& oDbf, const ConnectionRef& oStatic,
                                        const std::string& strCompanyId, const ado::Recordset& oRS,
                                        const std::string& strDenominator, Divisor divisor,
                                        const PriceArray& oPA) const {
  const int32_t n = oPA.Size();
  const int32_t count = std::clamp(n, 0, kMaxEntries);
  const int32_t first = n - count + 1;
  std::vector<float> values(static_cast<size_t>(count), 0.0f);
  std::vector<int32_t> codes(static_cast<size_t>(count), 0);
  size_t out = 0;
  // Whatever fails from here on ends the walk; the series keeps the entries done so far.
  try {
    const auto dates = helpers::OpenRecordset(oStatic, "select * from si_date where company_id = ?",
                                              {Variant(strCompanyId)});
    std::shared_ptr<ado::Recordset> shares;
    if (divisor == Divisor::kOverShares) {
      shares = helpers::OpenRecordset(oDbf, "select * from si_psd where company_id = ?",
                                      {Variant(strCompanyId)});
    }
    FiscalYears years(*dates, oRS, strDenominator, shares.get());
    for (int32_t i = first; i <= n; ++i) {
      const int32_t code = oPA.DateAt(i);
      const int k = years.InForceOn(helpers::DateFromLong(code).value);
      if (k == 0) continue;  // older than the seventh year: skipped
      values[out] = automation::DivideSingle(oPA.ValueAt(i), years.Divisor(k));
      codes[out] = code;
      ++out;
    }
  } catch (const std::exception&) {
  }
  return SeriesOf(values, codes);
}

std::shared_ptr<PriceArray> Stats::PriceShareRatio(
    const ConnectionRef& oDbf, const ConnectionRef& oStatic, const std::string& strCompanyId,
    const ado::Recordset& oRS, const std::string& strDenominator, const PriceArray& oPA) const {
  return Walk(oDbf, oStatic, strCompanyId, oRS, strDenominator, Divisor::kPerShare, oPA);
}

std::shared_ptr<PriceArray> Stats::PriceRatio(
    const ConnectionRef& oDbf, const ConnectionRef& oStatic, const std::string& strCompanyId,
    const ado::Recordset& oRS, const std::string& strDenominator, const PriceArray& oPA) const {
  return Walk(oDbf, oStatic, strCompanyId, oRS, strDenominator, Divisor::kOverShares, oPA);
}

std::shared_ptr<PriceArray> Stats::RatioOf(const ConnectionRef& oDbf, const ConnectionRef& oStatic,
                                           const std::string& strTicker, const char* table,
                                           const char* stem, Divisor divisor,
                                           const PriceArray& oPA) const {
  const auto company = helpers::OpenRecordset(
      oStatic, "select ticker, company_id from si_ci where ticker = ?", {Variant(strTicker)});
  if (company->RecordCount() != 1) return ReturnEmpty(oPA);
  const std::string company_id = automation::CStr(company->Field("company_id"));
  const auto figures = helpers::OpenRecordset(
      oStatic, std::string("select * from ") + table + " where company_id = ?",
      {Variant(company_id)});
  return Walk(oDbf, oStatic, company_id, *figures, stem, divisor, oPA);
}

std::shared_ptr<PriceArray> Stats::PriceToCashFlow(const ConnectionRef& oDbf,
                                                   const ConnectionRef& oStatic,
                                                   const std::string& strTicker,
                                                   const PriceArray& oPA) const {
  return RatioOf(oDbf, oStatic, strTicker, "si_cfa", "cfps", Divisor::kPerShare, oPA);
}

std::shared_ptr<PriceArray> Stats::PriceToFreeCashFlow(const ConnectionRef& oDbf,
                                                       const ConnectionRef& oStatic,
                                                       const std::string& strTicker,
                                                       const PriceArray& oPA) const {
  return RatioOf(oDbf, oStatic, strTicker, "si_cfa", "fcfps", Divisor::kPerShare, oPA);
}

std::shared_ptr<PriceArray> Stats::PriceToSales(const ConnectionRef& oDbf,
                                                const ConnectionRef& oStatic,
                                                const std::string& strTicker,
                                                const PriceArray& oPA) const {
  return RatioOf(oDbf, oStatic, strTicker, "si_isa", "sales", Divisor::kOverShares, oPA);
}

std::shared_ptr<PriceArray> Stats::PriceToBook(const ConnectionRef& oDbf,
                                               const ConnectionRef& oStatic,
                                               const std::string& strTicker,
                                               const PriceArray& oPA) const {
  return RatioOf(oDbf, oStatic, strTicker, "si_bsa", "bvps", Divisor::kPerShare, oPA);
}

std::shared_ptr<PriceArray> Stats::PriceToEarningsCont(const ConnectionRef& oDbf,
                                                       const ConnectionRef& oStatic,
                                                       const std::string& strTicker,
                                                       const PriceArray& oPA) const {
  return RatioOf(oDbf, oStatic, strTicker, "si_isa", "epsdc", Divisor::kPerShare, oPA);
}

std::shared_ptr<PriceArray> Stats::PriceToEarnings(const ConnectionRef& oDbf,
                                                   const ConnectionRef& oStatic,
                                                   const std::string& strTicker,
                                                   const PriceArray& oPA) const {
  return RatioOf(oDbf, oStatic, strTicker, "si_isa", "epsd", Divisor::kPerShare, oPA);
}

const automation::MemberTable& Stats::Members() const {
  static const automation::MemberTable table =
      automation::MemberTableBuilder<Stats>()
          .Method("Class_Initialize", &Stats::Class_Initialize)
          .Method("Class_Terminate", &Stats::Class_Terminate)
          .Method("ReturnEmpty", &Stats::ReturnEmpty)
          .Method("PriceToCashFlow", &Stats::PriceToCashFlow)
          .Method("PriceToSales", &Stats::PriceToSales)
          .Method("PriceToBook", &Stats::PriceToBook)
          .Method("PriceRatio", &Stats::PriceRatio)
          .Method("PriceShareRatio", &Stats::PriceShareRatio)
          .Method("PriceToEarningsCont", &Stats::PriceToEarningsCont)
          .Method("PriceToEarnings", &Stats::PriceToEarnings)
          .Method("PriceToFreeCashFlow", &Stats::PriceToFreeCashFlow)
          .Build();
  return table;
}

}  // namespace thalmere
