#include "platform/net/LocalHttpServer.h"

#include <string>

#include <gtest/gtest.h>
#include <httplib.h>

namespace net {
namespace {

std::string BindFailure(httplib::Server& server, int port) {
  try {
    BindLoopback(server, port);
  } catch (const std::runtime_error& e) {
    return e.what();
  }
  return "";
}

// A second server on a port in use is refused, whether the first bound it as ours do or with
// httplib's default options (which would let two share it).
TEST(BindLoopbackTest, APortInUseIsRefused) {
  for (const bool first_is_ours : {true, false}) {
    httplib::Server first;
    int port = 0;
    if (first_is_ours) {
      port = BindLoopback(first, 0);
    } else {
      port = first.bind_to_any_port("127.0.0.1");
    }
    ASSERT_GT(port, 0);
    httplib::Server second;
    EXPECT_EQ(BindFailure(second, port),
              "cannot listen on 127.0.0.1:" + std::to_string(port) + ": the port is already in use")
        << first_is_ours;
  }
}

TEST(BindLoopbackTest, PortsOutOfRangeAreRefused) {
  for (const int port : {-1, 65536, 99999}) {
    httplib::Server server;
    EXPECT_EQ(BindFailure(server, port), "port " + std::to_string(port) +
                                             " is out of range: give 1 to 65535, or 0 for any "
                                             "free port");
  }
}

}  // namespace
}  // namespace net
