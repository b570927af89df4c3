#include "platform/settings_store/SettingsStore.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <thread>
#include <vector>

#include "platform/automation/Error.h"
#include "platform/tests/TestEnvironment.h"

namespace settings_store {
namespace {

class SettingsStoreTest : public ::testing::Test {
 protected:
  testing_support::ScopedTempHome home_;
  SettingsStore store_{"Kestrova", "1.0"};
};

TEST_F(SettingsStoreTest, LivesInTheUsersConfigFolder) {
  EXPECT_EQ(store_.File(), home_.config() / "Kestrova" / "settings.ini");
  EXPECT_FALSE(store_.Read("SMTP Server").has_value());
  EXPECT_FALSE(std::filesystem::exists(store_.File()));  // reading writes nothing
}

TEST_F(SettingsStoreTest, KeepsTextExactlyAndOnlyForTheOwner) {
  for (const std::string& value :
       {std::string("smtp.example.test:2525"), std::string(""), std::string("  padded  "),
        std::string("multi\nline"), std::string("p@ss=w;rd#[x]\\"), std::string("Zürich")}) {
    store_.Write("SMTP Auth Password", value);
    EXPECT_EQ(store_.Read("SMTP Auth Password"), value);
  }
  struct stat st {};
  ASSERT_EQ(stat(store_.File().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  // The group is the section, as the file shows it.
  std::ifstream in(store_.File());
  std::string first;
  std::getline(in, first);
  EXPECT_EQ(first, "[1.0]");
}

TEST_F(SettingsStoreTest, WritesFromSeveralThreadsAreAllKept) {
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([this, t] {
      SettingsStore store("Kestrova", "1.0");
      for (int i = 0; i < 10; ++i) store.Write("key " + std::to_string(t * 10 + i), "v");
    });
  }
  for (auto& t : threads) t.join();
  for (int k = 0; k < 40; ++k) EXPECT_TRUE(store_.Read("key " + std::to_string(k))) << k;
}

TEST_F(SettingsStoreTest, UnreadableFilesAndValuesAreErrorsNotDefaults) {
  std::filesystem::create_directories(store_.File().parent_path());
  std::ofstream(store_.File()) << "this is [not a key file\n";
  EXPECT_THROW(store_.Read("x"), automation::Error);
  std::ofstream(store_.File()) << "[1.0]\nSMTP Auth Password=p\xE4ss\n";  // not UTF-8
  EXPECT_THROW(store_.Read("SMTP Auth Password"), automation::Error);
  // Text that is not UTF-8 would come back unreadable: it is refused when written.
  std::filesystem::remove(store_.File());
  EXPECT_THROW(store_.Write("SMTP Auth Password", "p\xE4ss"), automation::Error);
  EXPECT_FALSE(store_.Read("SMTP Auth Password").has_value());
}

}  // namespace
}  // namespace settings_store
