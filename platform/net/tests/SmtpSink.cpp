#include "platform/net/tests/SmtpSink.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sstream>
#include <stdexcept>
#include <string>
#include <sys/wait.h>
#include <system_error>
#include <unistd.h>

#include "platform/tests/TestEnvironment.h"

extern char** environ;

namespace testing_support {

namespace fs = std::filesystem;

namespace {

// Reads the first line `fd` gives within `timeout`; empty when none comes.
std::string ReadLine(int fd, std::chrono::milliseconds timeout) {
  std::string line;
  pollfd ready{fd, POLLIN, 0};
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (line.find('\n') == std::string::npos) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    char buffer[64];
    ssize_t n = 0;
    if (left.count() <= 0 || poll(&ready, 1, static_cast<int>(left.count())) <= 0 ||
        (n = read(fd, buffer, sizeof buffer)) <= 0) {
      return {};
    }
    line.append(buffer, static_cast<size_t>(n));
  }
  return line;
}

}  // namespace

SmtpSink::SmtpSink(const std::string& address) {
  std::string directory = (fs::temp_directory_path() / "kestrova-smtp-XXXXXX").string();
  if (mkdtemp(directory.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  directory_ = directory;

  int to_server[2];
  int from_server[2];
  if (pipe2(to_server, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  if (pipe2(from_server, O_CLOEXEC) != 0) {
    close(to_server[0]);
    close(to_server[1]);
    throw std::runtime_error("pipe failed");
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, to_server[0], STDIN_FILENO);
  posix_spawn_file_actions_adddup2(&actions, from_server[1], STDOUT_FILENO);
  std::string python = KESTROVA_SYSTEM_PYTHON;
  std::string script = KESTROVA_SMTP_SINK_SCRIPT;
  std::string user = kUser;
  std::string password = kPassword;
  std::string listen = address;
  char* argv[] = {python.data(),   script.data(), directory.data(), user.data(),
                  password.data(), listen.data(), nullptr};
  const int spawned = posix_spawn(&pid_, python.c_str(), &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  close(to_server[0]);
  close(from_server[1]);
  input_ = to_server[1];
  if (spawned != 0) pid_ = 0;

  // The server prints its port once it listens.
  const std::string line =
      spawned == 0 ? ReadLine(from_server[0], std::chrono::seconds(10)) : std::string();
  close(from_server[0]);
  port_ = std::atoi(line.c_str());
  if (port_ <= 0) {
    Stop();
    throw std::runtime_error("the SMTP sink did not start: " + python + " " + script +
                             " (it needs the python3-aiosmtpd package)");
  }
}

SmtpSink::~SmtpSink() { Stop(); }

void SmtpSink::Stop() {
  if (input_ >= 0) close(input_);
  input_ = -1;
  if (pid_ > 0) waitpid(pid_, nullptr, 0);
  pid_ = 0;
  std::error_code ignored;
  fs::remove_all(directory_, ignored);
}

size_t SmtpSink::MailCount() const {
  size_t count = 0;
  for (const auto& entry : fs::directory_iterator(directory_)) {
    count += entry.path().extension() == ".decoded" ? 1 : 0;
  }
  return count;
}

size_t SmtpSink::LoginAttempts() const {
  std::error_code missing;
  if (!fs::exists(directory_ / "logins", missing)) return 0;
  const std::string logins = FileBytes(directory_ / "logins");
  return static_cast<size_t>(std::count(logins.begin(), logins.end(), '\n'));
}

ReceivedMail SmtpSink::LastMail() const {
  const size_t count = MailCount();
  if (count == 0) throw std::runtime_error("the SMTP sink has received no mail");
  const std::string n = std::to_string(count);
  ReceivedMail mail;
  mail.raw = FileBytes(directory_ / (n + ".eml"));
  const std::string decoded = FileBytes(directory_ / (n + ".decoded"));
  const size_t blank = decoded.find("\n\n");
  std::istringstream head(decoded.substr(0, blank));
  for (std::string line; std::getline(head, line);) {
    const size_t colon = line.find(": ");
    if (line.starts_with("Date-Epoch ")) {
      mail.headers["Date-Epoch"] = line.substr(11);
    } else if (colon != std::string::npos) {
      mail.headers[line.substr(0, colon)] = line.substr(colon + 2);
    } else {
      mail.envelope += line + "\n";
    }
  }
  if (blank != std::string::npos) mail.html = decoded.substr(blank + 2);
  if (mail.html.ends_with("\r\n"))
    mail.html.resize(mail.html.size() - 2);
  else if (mail.html.ends_with("\n"))
    mail.html.pop_back();
  return mail;
}

}  // namespace testing_support
