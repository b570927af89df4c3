#include "library/StockNotes.h"

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "library/StockNote.h"
#include "platform/ado/Recordset.h"
#include "platform/automation/Convert.h"
#include "platform/automation/DateTime.h"
#include "platform/automation/Error.h"
#include "platform/system/Clock.h"
#include "platform/tc2000/PriceStore.h"
#include "platform/tests/PgTestSupport.h"
#include "platform/tests/TestClock.h"
#include "platform/tests/TestEnvironment.h"

namespace thalmere {
namespace {

using automation::Date;
using automation::Variant;
using testing_support::ErrorNumberOf;
using testing_support::TestEngine;
using testing_support::TickingClock;

// A system database with an empty stocknotes table on each engine, and a price server that
// knows ACME, O'NEIL and a lapsed symbol.
class StockNotesTest : public testing_support::EngineTest {
 protected:
  void SetUp() override {
    if (!UseDataSources({"Ledra"})) GTEST_SKIP() << "KESTROVA_TEST_PG is not set";
    ledra_ = sources_->Open("Ledra");
    StockNote().CreateTable(ledra_);
    auto store = tc2000::PriceStore::OpenForWriting(tc2000::PriceStore::DefaultPath());
    store->UpsertSecurity("ACME", "Acme Anvils", true);
    store->UpsertSecurity("O'NEIL", "O'Neil & Sons", true);
    store->UpsertSecurity("OLD", "Old Corp", false);
    acme_ = CompanyIdForSymbol("ACME");
    oneil_ = CompanyIdForSymbol("O'NEIL");
    kestrova_system::SetClock(std::make_shared<TickingClock>());
  }
  void TearDown() override { kestrova_system::SetClock(nullptr); }

  int32_t Rows() const {
    auto rows = ado::Recordset::Create();
    rows->Open("select count(*) from stocknotes", ledra_);
    return automation::CLng(rows->Field(0));
  }

  static std::shared_ptr<StockNote> Note(const std::string& symbol, const std::string& text,
                                         const std::string& type = "User") {
    auto note = std::make_shared<StockNote>();
    note->SetSymbol(symbol);
    note->SetNoteText(text);
    note->SetNoteType(type);
    return note;
  }

  static std::vector<std::string> Texts(const StockNotes& notes) {
    std::vector<std::string> texts;
    for (const auto& note : notes) texts.push_back(note->NoteText());
    return texts;
  }

  std::shared_ptr<ado::Connection> ledra_;
  std::string acme_, oneil_;
};

TEST_P(StockNotesTest, SaveFindsTheCompanyAndStampsTheTime) {
  ASSERT_FALSE(oneil_.empty());
  auto note = Note("O'NEIL", "Don't buy 'em yet", "Mgr's view");
  note->SetNoteDate(automation::DateOf(2001, 1, 1));
  note->Save(ledra_);
  EXPECT_EQ(note->CompanyId(), oneil_);
  EXPECT_EQ(note->NoteDate(), TickingClock::At(0));
  EXPECT_TRUE(note->Saved());

  StockNotes notes;
  notes.Load(oneil_);
  ASSERT_EQ(notes.Count(), 1);
  const auto loaded = notes.item(Variant(1));
  EXPECT_EQ(automation::TrimBlanks(loaded->Symbol()), "O'NEIL");
  EXPECT_EQ(loaded->NoteText(), "Don't buy 'em yet");
  EXPECT_EQ(loaded->NoteType(), "Mgr's view");
  EXPECT_EQ(loaded->NoteDate(), TickingClock::At(0));
  EXPECT_TRUE(loaded->Saved());

  // A symbol the server does not know writes nothing and stays unsaved.
  auto unknown = Note("NOPE", "x");
  unknown->Save(ledra_);
  EXPECT_FALSE(unknown->Saved());
  EXPECT_EQ(unknown->NoteDate(), Date{});
  EXPECT_EQ(Rows(), 1);
}

TEST_P(StockNotesTest, NotesLoadNewestFirstAndSaveOnlyWhatIsNew) {
  auto first = Note("ACME", "first");
  first->Save(ledra_);
  first->Save(ledra_);  // every save is a row of its own
  Note("ACME", "second")->Save(ledra_);
  Note("O'NEIL", "other company")->Save(ledra_);
  EXPECT_EQ(Rows(), 4);

  StockNotes notes;
  notes.Load(acme_);
  EXPECT_EQ(Texts(notes), (std::vector<std::string>{"second", "first", "first"}));
  notes.Save();  // everything loaded is saved already
  EXPECT_EQ(Rows(), 4);

  auto third = Note("ACME", "third");
  third->SetSaved(true);
  EXPECT_EQ(notes.Add(third), third);
  EXPECT_FALSE(third->Saved());  // Add marks it unsaved
  auto lapsed = notes.Add(Note("NOPE", "no company"));
  notes.Save();
  EXPECT_EQ(Rows(), 5);
  EXPECT_TRUE(third->Saved());
  EXPECT_FALSE(lapsed->Saved());  // tried again by a later Save

  // Loading again appends; a padded identifier finds the same notes on every engine.
  StockNotes again;
  again.Load(acme_ + "   ");
  EXPECT_EQ(Texts(again), (std::vector<std::string>{"third", "second", "first", "first"}));
  again.Load("no such company");
  EXPECT_EQ(again.Count(), 4);
}

TEST_P(StockNotesTest, RemoveTakesANoteOutOfTheCollectionOnly) {
  Note("ACME", "older")->Save(ledra_);
  Note("ACME", "newer")->Save(ledra_);
  StockNotes notes;
  notes.Load(acme_);
  notes.Remove(Variant(1));
  EXPECT_EQ(Texts(notes), std::vector<std::string>{"older"});
  EXPECT_EQ(Rows(), 2);
  notes.Load(acme_);
  EXPECT_EQ(Texts(notes), (std::vector<std::string>{"older", "newer", "older"}));

  for (const Variant& bad : {Variant(0), Variant(4), Variant(-1), Variant("1"), Variant("key")}) {
    EXPECT_EQ(ErrorNumberOf([&] { notes.item(bad); }), automation::err::kInvalidArgument)
        << bad.TypeName();
    EXPECT_EQ(ErrorNumberOf([&] { notes.Remove(bad); }), automation::err::kInvalidArgument);
  }
  EXPECT_EQ(notes.Count(), 3);
  EXPECT_EQ(ErrorNumberOf([&] { notes.Add(nullptr); }), automation::err::kObjectNotSet);
}

TEST_P(StockNotesTest, LateBoundCallersReachItemByDefaultAndEnumerate) {
  Note("ACME", "a")->Save();  // without a connection of the caller's: its own
  Note("ACME", "b")->Call("Save");
  auto notes = std::make_shared<StockNotes>();
  notes->CallWith("Load", acme_);
  Variant index(2);
  EXPECT_EQ(notes->Get("", automation::Args(&index, 1)).Object()->Get("NoteText"), Variant("a"));
  const Variant all = notes->Get("NewEnum");
  ASSERT_EQ(all.Array().Size(), 2u);
  EXPECT_EQ(all.Array().Element(0).Object()->Get("NoteText"), Variant("b"));
  notes->Call("CreateTable");
  EXPECT_EQ(Rows(), 0);
}

TEST_P(StockNotesTest, StoredNullsLoadAsEmpty) {
  ledra_->Execute(
      "insert into stocknotes (company_id, symbol, notedate, notetype, notetext) "
      "values (?, null, null, null, null)",
      {Variant(acme_)});
  Note("ACME", "kept")->Save(ledra_);
  StockNotes notes;
  notes.Load(acme_);
  ASSERT_EQ(notes.Count(), 2);
  // Null dates sort first on one engine and last on the other.
  const auto empty = notes.item(Variant(notes.item(Variant(1))->NoteText().empty() ? 1 : 2));
  EXPECT_EQ(empty->NoteText(), "");
  EXPECT_EQ(empty->NoteType(), "");
  EXPECT_EQ(empty->Symbol(), "");
  EXPECT_EQ(empty->NoteDate(), Date{});
  EXPECT_TRUE(empty->Saved());
}

TEST_P(StockNotesTest, TextsTooLongForTheirColumnsAreRefusedOnEveryEngine) {
  std::string accented;  // 1024 characters of two bytes each
  for (int i = 0; i < 1024; ++i) accented += "\xC3\xA9";
  Note("ACME", accented, "twelve chars")->Save(ledra_);
  for (const auto& bad : {Note("ACME", accented + "x"), Note("ACME", "x", "thirteen char")}) {
    EXPECT_EQ(ErrorNumberOf([&] { bad->Save(ledra_); }), ado::errors::kDatabase);
    EXPECT_FALSE(bad->Saved());
  }
  EXPECT_EQ(Rows(), 1);
}

INSTANTIATE_TEST_SUITE_P(Engines, StockNotesTest, testing_support::BothEngines(),
                         testing_support::EngineParamName());

}  // namespace
}  // namespace thalmere
