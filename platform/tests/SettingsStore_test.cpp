#include "platform/settings_store/SettingsStore.h"

#include <fstream>
#include <sys/stat.h>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

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

// Settings kept elsewhere behind a link (relative or absolute, through a chain of links, or
// to a file not yet made) are written there, and the links stay links.
TEST_F(SettingsStoreTest, WritesThroughSymbolicLinksToTheirTarget) {
  namespace fs = std::filesystem;
  const fs::path elsewhere = home_.config() / "dotfiles";
  fs::create_directories(elsewhere);
  fs::create_directories(store_.File().parent_path());
  struct Case {
    const char* name;
    std::vector<std::pair<fs::path, fs::path>> links;  // link -> what it holds
    fs::path target;
  };
  const Case cases[] = {
      {"absolute", {{store_.File(), elsewhere / "a.ini"}}, elsewhere / "a.ini"},
      {"relative", {{store_.File(), "../dotfiles/b.ini"}}, elsewhere / "b.ini"},
      {"chain",
       {{store_.File(), elsewhere / "link.ini"}, {elsewhere / "link.ini", "c.ini"}},
       elsewhere / "c.ini"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    for (const auto& [link, held] : c.links) {
      fs::remove(link);
      fs::create_symlink(held, link);
    }
    store_.Write("SMTP Server", std::string("mail.") + c.name);
    store_.Write("SMTP Auth User", "alerts");
    for (const auto& [link, held] : c.links) EXPECT_TRUE(fs::is_symlink(link)) << link;
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(c.target)));
    EXPECT_EQ(store_.Read("SMTP Server"), std::string("mail.") + c.name);
    EXPECT_EQ(store_.Read("SMTP Auth User"), "alerts");
    struct stat st {};
    ASSERT_EQ(stat(c.target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
  }
  // Nothing but the lock file was left beside the link.
  for (const auto& entry : fs::directory_iterator(store_.File().parent_path())) {
    const std::string name = entry.path().filename().string();
    EXPECT_TRUE(name == "settings.ini" || name == "settings.ini.lock") << name;
  }

  fs::remove(store_.File());
  fs::create_symlink("settings.ini", store_.File());  // a link to itself
  const automation::Error error = [&] {
    try {
      store_.Write("SMTP Server", "x");
    } catch (const automation::Error& e) {
      return e;
    }
    return automation::Error(0, "no error");
  }();
  EXPECT_EQ(error.Number(), automation::err::kFileAccess) << error.what();
  EXPECT_TRUE(fs::is_symlink(store_.File()));
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
