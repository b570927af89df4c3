#include "platform/automation/Dispatch.h"

#include <atomic>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/automation/Registry.h"

namespace automation {
namespace {

// A small class with every kind of member.
class Account : public Dispatch {
 public:
  std::string_view ClassName() const override { return "Account"; }
  const MemberTable& Members() const override {
    static const MemberTable table = MemberTableBuilder<Account>()
                                         .Property("Owner", &Account::Owner, &Account::SetOwner)
                                         .Get("Balance", &Account::Balance)
                                         .Method("Deposit", &Account::Deposit)
                                         .Method("TrimName", &Account::TrimName)
                                         .Method("Touch", &Account::Touch)
                                         .Build();
    return table;
  }

  std::string Owner() const { return owner_; }
  void SetOwner(const std::string& owner) { owner_ = owner; }
  float Balance() const { return balance_; }
  float Deposit(float amount, int16_t times) {
    balance_ += amount * times;
    return balance_;
  }
  // Changes the caller's argument, as by-reference members may.
  void TrimName(std::string& name) {
    while (!name.empty() && name.back() == ' ') name.pop_back();
  }
  void Touch(Variant& v) { v = Variant(42); }

 private:
  std::string owner_;
  float balance_ = 0;
};

TEST(DispatchTest, MembersAreFoundByNameWithoutRegardToCase) {
  Account account;
  account.Let("owner", Variant("Ann"));
  EXPECT_EQ(account.Get("OWNER"), Variant("Ann"));
  EXPECT_EQ(account.CallWith("deposit", 2.5, "2"), Variant(5.0f));
  EXPECT_EQ(account.Get("Balance"), Variant(5.0f));
}

TEST(DispatchTest, ErrorsOfLateBoundCalls) {
  Account account;
  try {
    account.Get("Withdraw");
    FAIL();
  } catch (const Error& e) {
    EXPECT_EQ(e.Number(), err::kNoSuchMember);
    EXPECT_NE(e.Description().find("Account.Withdraw"), std::string::npos);
  }
  auto number = [&](auto f) {
    try {
      f();
    } catch (const Error& e) {
      return e.Number();
    }
    return 0;
  };
  EXPECT_EQ(number([&] { account.CallWith("Deposit", 1.0); }), err::kWrongArguments);
  EXPECT_EQ(number([&] { account.Let("Balance", Variant(1)); }), err::kWrongArguments);
  EXPECT_EQ(number([&] { account.CallWith("Deposit", "lots", 1); }), err::kTypeMismatch);
  EXPECT_EQ(number([&] { account.CallWith("Deposit", 1.0, 40000); }), err::kOverflow);
}

TEST(DispatchTest, ByReferenceArgumentsReachTheCaller) {
  Account account;
  Variant name("ABC   ");
  account.Get("TrimName", Args(&name, 1));
  EXPECT_EQ(name, Variant("ABC"));
  Variant v;
  account.Get("Touch", Args(&v, 1));
  EXPECT_EQ(v, Variant(42));
}

TEST(RegistryTest, CreatesByProgIdOrClassIdAndRefusesUnknownNames) {
  Registry registry;
  registry.Register({"Test.Account", "{11111111-2222-3333-4444-555555555555}",
                     [] { return std::make_shared<Account>(); }});
  EXPECT_EQ(registry.CreateObject("test.ACCOUNT")->ClassName(), "Account");
  EXPECT_EQ(registry.CreateObject("{11111111-2222-3333-4444-555555555555}")->ClassName(),
            "Account");
  EXPECT_NE(registry.CreateObject("Test.Account"), registry.CreateObject("Test.Account"));
  try {
    registry.CreateObject("Test.Nothing");
    FAIL();
  } catch (const Error& e) {
    EXPECT_EQ(e.Number(), err::kCannotCreateObject);
    EXPECT_NE(e.Description().find("Test.Nothing"), std::string::npos);
  }
}

TEST(RegistryTest, PlatformClassesAreRegistered) {
  EXPECT_EQ(CreateObject("Scripting.Dictionary")->ClassName(), "Dictionary");
  EXPECT_EQ(CreateObject("ADODB.Connection")->ClassName(), "Connection");
  EXPECT_EQ(CreateObject("adodb.recordset")->ClassName(), "Recordset");
}

TEST(RegistryTest, SeveralThreadsCreateAtOnce) {
  Registry registry;
  registry.Register({"Test.Account", "", [] { return std::make_shared<Account>(); }});
  std::atomic<int> created{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 500; ++i) {
        if (registry.CreateObject("Test.Account")) ++created;
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(created.load(), 2000);
}

}  // namespace
}  // namespace automation
