#pragma once

// HTTP servers on loopback: the web server and the quote service bind theirs with
// BindLoopback; tests and benchmarks of every layer serve their own answers with
// LocalHttpServer. Header only: a user links cpp-httplib itself.

#include <cerrno>
#include <chrono>
#include <cstring>
#include <netinet/in.h>
#include <stdexcept>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

#include <httplib.h>

namespace net {

// The options of a listening socket of ours: an address left in TIME_WAIT by an earlier run
// may be bound again at once, but never a port that another server listens on. (httplib's
// own default sets SO_REUSEPORT, with which a second server binds the same port and the two
// take turns answering.)
inline void ExclusivePortOptions(int sock) {
  const int yes = 1;
  setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
}

// Why 127.0.0.1:port cannot be bound, found by trying it once more on a socket of our own.
inline std::string LoopbackBindFailure(int port) {
  const std::string address = "127.0.0.1:" + std::to_string(port);
  const int sock = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (sock < 0) return "cannot listen on " + address + ": " + std::strerror(errno);
  ExclusivePortOptions(sock);
  sockaddr_in where{};
  where.sin_family = AF_INET;
  where.sin_port = htons(static_cast<uint16_t>(port));
  where.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const int rc = bind(sock, reinterpret_cast<const sockaddr*>(&where), sizeof where);
  const int error = errno;
  close(sock);
  if (rc == 0) return "cannot listen on " + address;
  if (error == EADDRINUSE) return "cannot listen on " + address + ": the port is already in use";
  return "cannot listen on " + address + ": " + std::strerror(error);
}

// Binds `server` to 127.0.0.1:`port` for itself alone (ExclusivePortOptions); port 0 takes a
// free port. Returns the port really bound. Throws std::runtime_error, one line naming the
// port, when the port is out of range (0 to 65535), in use, or cannot be bound otherwise.
inline int BindLoopback(httplib::Server& server, int port) {
  if (port < 0 || port > 65535) {
    throw std::runtime_error("port " + std::to_string(port) +
                             " is out of range: give 1 to 65535, or 0 for any free port");
  }
  server.set_socket_options(ExclusivePortOptions);
  if (port == 0) {
    const int bound = server.bind_to_any_port("127.0.0.1");
    if (bound <= 0) throw std::runtime_error(LoopbackBindFailure(0));
    return bound;
  }
  if (!server.bind_to_port("127.0.0.1", port)) {
    throw std::runtime_error(LoopbackBindFailure(port));
  }
  return port;
}

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
    port_ = BindLoopback(server_, 0);
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

}  // namespace net
