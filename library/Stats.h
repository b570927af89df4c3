#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "library/PriceArray.h"
#include "platform/ado/Connection.h"
#include "platform/ado/Recordset.h"
#include "platform/automation/Dispatch.h"

namespace thalmere {

// Thalmere.Stats: valuation-ratio series. For each price of a series it finds the fiscal
// year in force on that day (the latest of seven years whose end, si_date.perend_y<k>, lies
// on or before it) and divides the price by that year's per-share figure from the outside
// fundamentals database. oDbf and oStatic are open connections to the data sources SIPDbf and
// SIPStatic. No state.
//
// A result holds the last 1,560 prices at most and always has as many entries as that: a
// price with no fiscal year in force is skipped, so skipped prices leave entries of value 0
// and date code 0 at the end.
//
// Errors: the ticker's lookup in si_ci and the opening of the figures' table are not trapped
// (database errors reach the caller). Everything after the result is sized is: a failing
// query, a missing or Null figure or a division by zero ends the walk, and the series comes
// back with the entries done so far.
class Stats : public automation::Dispatch {
 public:
  static constexpr int32_t kMaxEntries = 1560;

  std::string_view ClassName() const override { return "Stats"; }
  const automation::MemberTable& Members() const override;

  void Class_Initialize() {}
  void Class_Terminate() {}
  // oPA's Size entries, every value 0 and every date code 0.
  std::shared_ptr<PriceArray> ReturnEmpty(const PriceArray& oPA) const;

  using ConnectionRef = std::shared_ptr<ado::Connection>;
  // si_cfa cash flow per share, si_cfa free cash flow per share, si_isa sales per share
  // (sales ÷ average shares of si_psd), si_bsa book value per share, si_isa diluted earnings
  // from continuing operations and diluted earnings per share. A ticker that si_ci does not
  // hold exactly once gives ReturnEmpty.
  std::shared_ptr<PriceArray> PriceToCashFlow(const ConnectionRef& oDbf,
                                              const ConnectionRef& oStatic,
                                              const std::string& strTicker,
                                              const PriceArray& oPA) const;
  std::shared_ptr<PriceArray> PriceToFreeCashFlow(const ConnectionRef& oDbf,
                                                  const ConnectionRef& oStatic,
                                                  const std::string& strTicker,
                                                  const PriceArray& oPA) const;
  std::shared_ptr<PriceArray> PriceToSales(const ConnectionRef& oDbf, const ConnectionRef& oStatic,
                                           const std::string& strTicker,
                                           const PriceArray& oPA) const;
  std::shared_ptr<PriceArray> PriceToBook(const ConnectionRef& oDbf, const ConnectionRef& oStatic,
                                          const std::string& strTicker,
                                          const PriceArray& oPA) const;
  std::shared_ptr<PriceArray> PriceToEarningsCont(const ConnectionRef& oDbf,
                                                  const ConnectionRef& oStatic,
                                                  const std::string& strTicker,
                                                  const PriceArray& oPA) const;
  std::shared_ptr<PriceArray> PriceToEarnings(const ConnectionRef& oDbf,
                                              const ConnectionRef& oStatic,
                                              const std::string& strTicker,
                                              const PriceArray& oPA) const;

  // The walks over one company: oRS is positioned on the company's row of the figures'
  // table, strDenominator the column stem ("bvps": columns bvps_y1 .. bvps_y7).
  // PriceShareRatio divides by the figure itself; PriceRatio by the figure over si_psd's
  // average shares of the year (shr_ay<k>, on oDbf).
  std::shared_ptr<PriceArray> PriceShareRatio(
      const ConnectionRef& oDbf, const ConnectionRef& oStatic, const std::string& strCompanyId,
      const ado::Recordset& oRS, const std::string& strDenominator, const PriceArray& oPA) const;
  std::shared_ptr<PriceArray> PriceRatio(const ConnectionRef& oDbf, const ConnectionRef& oStatic,
                                         const std::string& strCompanyId, const ado::Recordset& oRS,
                                         const std::string& strDenominator,
                                         const PriceArray& oPA) const;

 private:
  enum class Divisor { kPerShare, kOverShares };
  std::shared_ptr<PriceArray> RatioOf(const ConnectionRef& oDbf, const ConnectionRef& oStatic,
                                      const std::string& strTicker, const char* table,
                                      const char* stem, Divisor divisor,
                                      const PriceArray& oPA) const;
  std::shared_ptr<PriceArray> Walk(const ConnectionRef& oDbf, const ConnectionRef& oStatic,
                                   const std::string& strCompanyId, const ado::Recordset& oRS,
                                   const std::string& strDenominator, Divisor divisor,
                                   const PriceArray& oPA) const;
};

}  // namespace thalmere
