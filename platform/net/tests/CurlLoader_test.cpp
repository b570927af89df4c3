#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "platform/automation/Error.h"
#include "platform/net/HttpClient.h"
#include "platform/tests/TestEnvironment.h"

namespace net {
namespace {

using testing_support::IsMapped;

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
