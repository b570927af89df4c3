#pragma once

#include <httplib.h>

#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>

namespace web {

// An httplib server listening on a free port of 127.0.0.1 on its own thread for the object's
// life. Routes are added through server() before Start().
class LocalHttpServer {
 public:
  LocalHttpServer() = default;
  ~LocalHttpServer() { Stop(); }
  LocalHttpServer(const LocalHttpServer&) = delete;
  LocalHttpServer& operator=(const LocalHttpServer&) = delete;

  httplib::Server& server() { return server_; }

  // Binds, starts serving and returns once the server accepts connections (or throws after
  // ten seconds).
  int Start() {
    port_ = server_.bind_to_any_port("127.0.0.1");
    if (port_ <= 0) throw std::runtime_error("cannot bind a loopback port");
    thread_ = std::thread([this] { server_.listen_after_bind(); });
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!server_.is_running()) {
      if (std::chrono::steady_clock::now() > deadline) {
        throw std::runtime_error("the local HTTP server did not start");
      }
      std::this_thread::yield();
    }
    return port_;
  }

  void Stop() {
    if (thread_.joinable()) {
      server_.stop();
      thread_.join();
    }
  }

  int port() const { return port_; }

 private:
  httplib::Server server_;
  std::thread thread_;
  int port_ = 0;
};

}  // namespace web
