#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/ado/Recordset.h"
#include "platform/automation/Dispatch.h"

namespace thalmere {

// Thalmere.PDFProfile: the one-page company profile as a PDF file. OpenProfile looks the
// ticker up in si_ci (trailing blanks ignored), asks for the file through the Save dialog of
// the current UiHost (filter "Adobe Acrobat (*.pdf)|*.pdf"), reads the company's figures from
// SIPStatic, SIPDbf and Ledra and lays the page out in two columns: title, header and business
// description, the composite block, management effectiveness, growth and the weekly chart on
// the left; valuation and per-share data, income statement, balance sheet and cash flow on the
// right. Every value reaches the database as a bound parameter.
//
// Nothing happens (no dialog, no file, no error) when si_ci does not hold the ticker exactly
// once; a cancelled dialog writes nothing either. A company without a row in one of the
// other tables (or a system database without si_composite or si_eva) gets that section with
// empty figures: 0 or 0.0 as the section formats a missing value, blanks in the composite
// block and the EVA row. A per-share figure over a share count of 0 or Null shows 0.00.
//
// An object keeps its data sources open from one profile to the next; one that now leads
// elsewhere (a changed datasources.ini) or whose file was replaced or removed is opened afresh.
//
// Errors: a data source that cannot be opened, a failing query, a missing column and errors
// of the PDF engine (error 75 for a file that cannot be written) reach the caller.
class PDFProfile : public automation::Dispatch {
 public:
  PDFProfile();
  ~PDFProfile() override;

  std::string_view ClassName() const override { return "PDFProfile"; }
  const automation::MemberTable& Members() const override;

  void OpenProfile(const std::string& strTicker);

  // The composite block of one company: a title bar 760 wide at (lStartX, lStartY), the
  // headings of the seven rating factors, the percentiles (those of 80 or more in red) and the
  // scores. oCOMP is the company's si_composite row; nullptr or a recordset at its end draws
  // the block with blank figures. Leaves lStartY 40 below where it was and the engine's text
  // colour black. gtPDFEngine is a PDF engine with a begun document.
  void GenComposite(automation::Dispatch& gtPDFEngine, int32_t& lStartX, int32_t& lStartY,
                    const ado::Recordset* oCOMP);

  // The file the last OpenProfile wrote; empty when it wrote none.
  std::string FileName() const { return file_name_; }

 private:
  void GenCompositeBound(const automation::ObjectRef& gtPDFEngine, automation::Variant& lStartX,
                         automation::Variant& lStartY, const automation::Variant& oCOMP);

  class Sources;

  std::string file_name_;
  std::unique_ptr<Sources> sources_;
};

}  // namespace thalmere
