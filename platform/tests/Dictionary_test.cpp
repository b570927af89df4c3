#include "platform/automation/Dictionary.h"

#include <gtest/gtest.h>

#include "platform/automation/Registry.h"
#include "platform/tests/TestEnvironment.h"

namespace automation {
namespace {

TEST(DictionaryTest, KeepsInsertionOrderAndRefusesDuplicates) {
  Dictionary d;
  d.Add(Variant("MSFT"), Variant(1));
  d.Add(Variant("ABC"), Variant(2));
  d.Add(Variant(7), Variant(3));
  EXPECT_EQ(testing_support::ErrorNumberOf([&] { d.Add(Variant("ABC"), Variant(9)); }),
            err::kDuplicateKey);
  EXPECT_EQ(testing_support::ErrorNumberOf([&] { d.Add(Variant(7.0), Variant(9)); }),
            err::kDuplicateKey);
  d.Add(Variant("abc"), Variant(4));  // text keys compare exactly by default
  const Variant key_list = d.Keys();
  const SafeArray& keys = key_list.Array();
  ASSERT_EQ(keys.Size(), 4u);
  EXPECT_EQ(keys.LowerBound(), 0);
  EXPECT_EQ(keys.Element(0), Variant("MSFT"));
  EXPECT_EQ(keys.Element(2), Variant(7));
  d.Remove(Variant("MSFT"));
  EXPECT_EQ(d.Keys().Array().Element(0), Variant("ABC"));
  EXPECT_EQ(d.Item(Variant(7)), Variant(3));
  EXPECT_EQ(testing_support::ErrorNumberOf([&] { d.Remove(Variant("MSFT")); }),
            err::kElementNotFound);
}

TEST(DictionaryTest, ReadingAMissingItemAddsIt) {
  Dictionary d;
  EXPECT_TRUE(d.Item(Variant("X")).IsEmpty());
  EXPECT_TRUE(d.Exists(Variant("X")));
  EXPECT_EQ(d.Count(), 1);
}

TEST(DictionaryTest, TextCompareModeIgnoresCase) {
  Dictionary d;
  d.SetCompareMode(1);
  d.Add(Variant("Abc"), Variant(1));
  EXPECT_TRUE(d.Exists(Variant("ABC")));
  EXPECT_EQ(testing_support::ErrorNumberOf([&] { d.SetCompareMode(0); }), err::kInvalidArgument);
}

TEST(DictionaryTest, LateBoundThroughTheRegistry) {
  ObjectRef d = CreateObject("Scripting.Dictionary");
  d->CallWith("Add", "k", 5);
  EXPECT_EQ(d->CallWith("Item", "k"), Variant(5));
  EXPECT_EQ(d->Get("Count"), Variant(1));
  Variant value(6);
  Variant key("k");
  d->Let("Item", value, Args(&key, 1));
  EXPECT_EQ(d->CallWith("Item", "k"), Variant(6));
}

TEST(CollectionTest, IsOneBasedWithCaseBlindKeys) {
  Collection c;
  c.Add(Variant("first"));
  c.Add(Variant("second"), Variant("Two"));
  EXPECT_EQ(c.Item(Variant(1)), Variant("first"));
  EXPECT_EQ(c.Item(Variant("two")), Variant("second"));
  EXPECT_EQ(testing_support::ErrorNumberOf([&] { c.Item(Variant(0)); }), err::kInvalidArgument);
  EXPECT_EQ(testing_support::ErrorNumberOf([&] { c.Item(Variant(3)); }), err::kInvalidArgument);
  EXPECT_EQ(testing_support::ErrorNumberOf([&] { c.Item(Variant("three")); }),
            err::kInvalidArgument);
  EXPECT_EQ(testing_support::ErrorNumberOf([&] { c.Add(Variant(3), Variant("TWO")); }),
            err::kDuplicateKey);
  c.Remove(Variant(1));
  EXPECT_EQ(c.Count(), 1);
  EXPECT_EQ(c.Item(Variant(1)), Variant("second"));
}

TEST(SafeArrayTest, BoundsAndTypedElements) {
  Variant v(SafeArray(std::vector<float>{1.5f, 2.5f}, 1));
  EXPECT_EQ(v.Array().Element(1), Variant(1.5f));
  EXPECT_EQ(v.Array().UpperBound(), 2);
  EXPECT_EQ(testing_support::ErrorNumberOf([&] { v.Array().Element(0); }),
            err::kSubscriptOutOfRange);
  Variant copy = v;
  copy.MutableArray().SetElement(2, Variant("7"));
  EXPECT_EQ(copy.Array().Element(2), Variant(7.0f));
  EXPECT_EQ(v.Array().Element(2), Variant(2.5f));  // the original is unchanged
  EXPECT_EQ(v.TypeName(), "Single()");
}

}  // namespace
}  // namespace automation
