#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <string_view>

#include "platform/automation/Error.h"
#include "platform/net/HttpClient.h"

namespace net {
namespace {

bool IsMapped(std::string_view file) {
  std::ifstream maps("/proc/self/maps");
  std::string line;
  while (std::getline(maps, line)) {
    if (line.find("/" + std::string(file)) != std::string::npos) return true;
  }
  return false;
}

// libcurl is not loaded with the program, only by the first transfer; a transfer that fails
// still says why in libcurl's words. Run in a fresh process, so that no earlier test has
// loaded it.
TEST(CurlLoaderDeathTest, LibcurlIsLoadedByTheFirstTransfer) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        if (IsMapped("libcurl.so")) std::_Exit(1);
        TransferLimits limits;
        limits.connect_timeout_ms = 2000;
        std::string message;
        try {
          HttpGet("http://127.0.0.1:1/", limits);  // nothing listens on port 1
        } catch (const automation::Error& e) {
          message = e.Description();
        }
        if (!IsMapped("libcurl.so")) std::_Exit(2);
        if (message.find("onnect") == std::string::npos) std::_Exit(3);  // "Couldn't connect"
        std::_Exit(0);
      },
      testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace net
