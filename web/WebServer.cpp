#include "web/WebServer.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fnmatch.h>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>
#include <sys/socket.h>
#include <system_error>
#include <unistd.h>
#include <vector>

#include <fmt/format.h>
#include <httplib.h>

#include "platform/automation/Error.h"
#include "platform/automation/Registry.h"
#include "platform/automation/Text.h"
#include "platform/net/LocalHttpServer.h"
#include "platform/ui/Control.h"
#include "web/CompanyPages.h"
#include "web/Session.h"
#include "web/VariantJson.h"

#ifndef KESTROVA_WEB_SOURCE_ROOT
#define KESTROVA_WEB_SOURCE_ROOT ""
#endif

namespace web {

namespace fs = std::filesystem;

namespace {

constexpr const char* kTokenHeader = "X-Kestrova-Token";
constexpr const char* kSessionHeader = "X-Kestrova-Session";

// When the request on this thread began, for the access log.
thread_local std::chrono::steady_clock::time_point request_start;

void SendJson(httplib::Response& response, const Json& body, int status = 200) {
  response.status = status;
  response.set_header("Cache-Control", "no-store");
  response.set_content(body.dump(), "application/json");
}

void SendError(httplib::Response& response, int status, int32_t number, const std::string& text) {
  SendJson(response, {{"error", {{"number", number}, {"text", text}}}}, status);
}

// Runs an endpoint's work: an automation error is the page's answer ({"error"} with 200),
// a request the endpoint cannot read is 400.
template <class F>
void Answer(httplib::Response& response, F&& work) {
  try {
    work();
  } catch (const automation::Error& error) {
    SendError(response, 200, error.Number(), error.Description());
  } catch (const Json::exception& error) {
    SendError(response, 400, automation::err::kInvalidArgument,
              std::string("unreadable request: ") + error.what());
  } catch (const std::exception& error) {
    SendError(response, 500, automation::err::kInvalidArgument, error.what());
  }
}

Json Body(const httplib::Request& request) {
  if (request.body.empty()) return Json::object();
  Json body = Json::parse(request.body);
  if (!body.is_object()) throw Json::type_error::create(302, "the body must be an object", nullptr);
  return body;
}

int64_t IdOf(const httplib::Request& request, size_t match = 1) {
  return std::stoll(request.matches[match].str());
}

bool ConstantTimeEquals(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  unsigned char diff = 0;
  for (size_t i = 0; i < a.size(); ++i) diff |= static_cast<unsigned char>(a[i] ^ b[i]);
  return diff == 0;
}

std::string ReadFile(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return {};
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

const char* ContentTypeOf(const fs::path& file) {
  const std::string ext = file.extension().string();
  if (ext == ".css") return "text/css; charset=utf-8";
  if (ext == ".js" || ext == ".mjs") return "text/javascript; charset=utf-8";
  if (ext == ".html") return "text/html; charset=utf-8";
  if (ext == ".svg") return "image/svg+xml";
  if (ext == ".png") return "image/png";
  if (ext == ".ico") return "image/x-icon";
  return "application/octet-stream";
}

// File names of our pages and static files: no folders, nothing hidden.
bool IsPlainName(const std::string& name) {
  if (name.empty() || name[0] == '.') return false;
  return std::all_of(name.begin(), name.end(), [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == '_';
  });
}

void SetPageHeaders(httplib::Response& response) {
  // Our pages run only our own scripts and are never framed by another site.
  response.set_header("Content-Security-Policy",
                      "default-src 'self'; img-src 'self' data: blob:; style-src 'self'; "
                      "frame-ancestors 'none'; form-action 'self'; base-uri 'none'");
  response.set_header("X-Frame-Options", "DENY");
  response.set_header("X-Content-Type-Options", "nosniff");
  response.set_header("Referrer-Policy", "no-referrer");
}

// The folders and the files matching one of `patterns` (";"-separated, as "*.bkp;*.bak")
// of a folder, folders first, each group by name.
Json ListFolder(fs::path dir, const std::string& patterns) {
  if (dir.filename().empty() && dir != dir.root_path()) dir = dir.parent_path();
  std::vector<std::string> masks = automation::SplitAt(patterns.empty() ? "*" : patterns, ';');
  Json folders = Json::array(), files = Json::array();
  std::error_code ec;
  for (const fs::directory_entry& entry : fs::directory_iterator(dir, ec)) {
    const std::string name = entry.path().filename().string();
    if (name.empty() || name[0] == '.') continue;
    std::error_code type_ec;
    if (entry.is_directory(type_ec)) {
      folders.push_back(name);
    } else if (std::any_of(masks.begin(), masks.end(), [&](const std::string& m) {
                 return fnmatch(std::string(automation::TrimBlanks(m)).c_str(), name.c_str(), 0) ==
                        0;
               })) {
      std::error_code size_ec;
      const auto size = entry.file_size(size_ec);
      files.push_back({{"name", name}, {"size", size_ec ? 0 : size}});
    }
  }
  if (ec) {
    throw automation::Error(automation::err::kFileAccess,
                            "cannot read the folder " + dir.string() + ": " + ec.message());
  }
  std::sort(folders.begin(), folders.end());
  std::sort(files.begin(), files.end(),
            [](const Json& a, const Json& b) { return a["name"] < b["name"]; });
  return {
      {"dir", dir.string()},
      {"parent", dir.has_parent_path() && dir != dir.root_path() ? dir.parent_path().string() : ""},
      {"folders", folders},
      {"files", files}};
}

void ReplaceAll(std::string& text, std::string_view from, const std::string& to) {
  for (size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size()) {
    text.replace(at, from.size(), to);
  }
}

// Runs a new control's setup, the steps a page takes before it first shows the control, in
// order: {"member", "kind", "args"} calls a member, {"child", "event", "value", "property"}
// queues an event. Stops at the first error and returns {"step", "number", "text"}; null when
// every step ran.
Json RunSetup(Session& session, int64_t id, ui::Control& control, const Json& setup) {
  if (!setup.is_array()) throw Json::type_error::create(302, "setup must be a list", nullptr);
  for (size_t step = 0; step < setup.size(); ++step) {
    const Json& s = setup[step];
    try {
      if (s.contains("member")) {
        session.CallMember(id, s.at("member").get<std::string>(),
                           s.value("kind", std::string("get")), s.value("args", Json::array()));
      } else {
        control.PostEvent(s.at("child").get<std::string>(), s.at("event").get<std::string>(),
                          FromJson(s.value("value", Json()), session.Objects()),
                          s.value("property", std::string()));
      }
    } catch (const automation::Error& error) {
      return {{"step", step}, {"number", error.Number()}, {"text", error.Description()}};
    }
  }
  return nullptr;
}

// JSON to stand in a page's <script type="application/json">: a "<" (of "</script>" or
// "<!--" in a text) is written as its escape, so nothing in it ends the element.
std::string ScriptData(const Json& value) {
  std::string text = JsonText(value);
  ReplaceAll(text, "<", "\\u003c");
  return text;
}

// The control a page takes when it asks to attach to its `progid` (one a reload left or one
// made while the page loaded, waited for), as the request that creates it answers: {id,
// class, state}; null when the page has none, so it asks for one itself.
Json AttachedControl(Session& session, const std::string& progid) {
  session.WaitPrepared(progid);
  const int64_t id = session.FindControlOf(progid);
  const automation::ObjectRef object = id ? session.FindObject(id) : nullptr;
  ui::Control* control = object ? session.FindControl(id) : nullptr;
  if (!control) return nullptr;
  return {{"id", id},
          {"class", std::string(object->ClassName())},
          {"state", StateJson(control->State())}};
}

std::string StreamText(const StreamMessage& message) {
  return "event: " + message.event + "\ndata: " + JsonText(message.data) + "\n\n";
}

// The HTTP library listens with a queue of five connections, which a page opening several
// requests at once, or a few pages starting together, overflow; connections refused there
// look like a server that hung up. Listening again on the bound socket lengthens the queue.
class LoopbackServer : public httplib::Server {
 public:
  void LengthenListenQueue() { ::listen(svr_sock_, SOMAXCONN); }
};

}  // namespace

std::string RandomToken() {
  std::random_device source;  // the system's random source
  std::string token;
  for (int i = 0; i < 4; ++i) token += fmt::format("{:08x}", source());
  return token;
}

std::string StaticVersion(const fs::path& web_root) {
  std::vector<fs::path> files;
  std::error_code ec;
  for (const fs::directory_entry& entry : fs::directory_iterator(web_root / "static", ec)) {
    if (IsPlainName(entry.path().filename().string())) files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  // FNV-1a over the names and contents: a few hundred kilobytes, well under a millisecond.
  uint64_t hash = 0xcbf29ce484222325ULL;
  auto add = [&hash](const std::string& bytes) {
    for (const char c : bytes) {
      hash ^= static_cast<unsigned char>(c);
      hash *= 0x100000001b3ULL;
    }
    hash ^= 0xff;  // ends the field, so "ab"+"c" and "a"+"bc" differ
    hash *= 0x100000001b3ULL;
  };
  for (const fs::path& file : files) {
    add(file.filename().string());
    add(ReadFile(file));
  }
  return fmt::format("{:016x}", hash);
}

fs::path DefaultWebRoot() {
  if (const char* root = std::getenv("KESTROVA_WEB_ROOT"); root && *root) return root;
  std::error_code ec;
  const fs::path program = fs::read_symlink("/proc/self/exe", ec);
  if (!ec) {
    const fs::path installed = program.parent_path().parent_path() / "share" / "kestrova" / "web";
    if (fs::exists(installed / "pages", ec)) return installed;
  }
  return KESTROVA_WEB_SOURCE_ROOT;
}

WebServer::WebServer(WebServerOptions options)
    : options_(std::move(options)),
      server_(std::make_unique<LoopbackServer>()),
      token_(RandomToken()) {
  // Streams hold a thread each, and a page may have several requests open besides.
  server_->new_task_queue = [] { return new httplib::ThreadPool(64); };
  server_->set_payload_max_length(options_.max_body);
  server_->set_tcp_nodelay(true);
  server_->set_keep_alive_max_count(1000);
  AddRoutes();
  reaper_ = std::thread([this] { ReapAbandonedSessions(); });
}

WebServer::~WebServer() {
  Stop();
  if (reaper_.joinable()) reaper_.join();
}

int WebServer::Bind() {
  // Bound for this server alone: a port in use or out of range is refused, never shared.
  port_ = net::BindLoopback(*server_, options_.port);
  static_cast<LoopbackServer&>(*server_).LengthenListenQueue();
  return port_;
}

bool WebServer::Run() { return server_->listen_after_bind(); }

void WebServer::Stop() {
  std::map<std::string, std::shared_ptr<Session>> sessions;
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
    sessions.swap(sessions_);
  }
  stop_.notify_all();
  for (auto& [id, session] : sessions) {
    session->WaitAllPrepared();
    session->Close();
  }
  server_->stop();
}

void WebServer::ReapAbandonedSessions() {
  std::unique_lock lock(mutex_);
  while (!stopping_) {
    stop_.wait_for(lock, std::chrono::seconds(1));
    std::vector<std::shared_ptr<Session>> ended;
    for (auto it = sessions_.begin(); it != sessions_.end();) {
      if (it->second->Abandoned(options_.grace)) {
        ended.push_back(it->second);
        it = sessions_.erase(it);
      } else {
        ++it;
      }
    }
    lock.unlock();
    for (auto& session : ended) session->Close();
    ended.clear();
    lock.lock();
  }
}

std::shared_ptr<Session> WebServer::FindSession(const std::string& id) {
  std::lock_guard lock(mutex_);
  auto it = sessions_.find(id);
  return it == sessions_.end() ? nullptr : it->second;
}

std::shared_ptr<Session> WebServer::SessionOf(const httplib::Request& request) {
  std::shared_ptr<Session> session = FindSession(request.get_header_value(kSessionHeader));
  if (!session) {
    throw automation::Error::WithDetail(automation::err::kObjectNotSet,
                                        "this page's session has ended; reload the page");
  }
  session->Touch();
  return session;
}

// Checked before any route: the Host names us (a page of another site that made its name
// point at 127.0.0.1 sends its own), and /api requests carry the token, and those that change
// anything a JSON body, which a form of another site cannot send.
bool WebServer::Admit(const httplib::Request& request, httplib::Response& response) {
  const std::string host = request.get_header_value("Host");
  if (host != fmt::format("127.0.0.1:{}", port_) && host != fmt::format("localhost:{}", port_)) {
    response.status = 421;
    response.set_content("This server answers only to 127.0.0.1 and localhost.\n", "text/plain");
    return false;
  }
  if (request.method == "POST" || request.method == "PUT" || request.method == "DELETE") {
    // Bodies come with their length, within the limit.
    const std::string length = request.get_header_value("Content-Length");
    if (request.has_header("Transfer-Encoding")) {
      SendError(response, 411, automation::err::kInvalidArgument, "a body needs its length");
      return false;
    }
    if (!length.empty() &&
        (length.size() > 12 || length.find_first_not_of("0123456789") != std::string::npos ||
         std::stoull(length) > options_.max_body)) {
      SendError(response, 413, automation::err::kInvalidArgument, "the body is too large");
      response.set_header("Connection", "close");
      return false;
    }
  }
  if (request.path.rfind("/api/", 0) != 0) return true;
  std::string token = request.get_header_value(kTokenHeader);
  // An event stream cannot send headers; it brings the token in its address.
  if (token.empty() && request.method == "GET" &&
      request.path.find("/stream") != std::string::npos) {
    token = request.get_param_value("token");
  }
  if (!ConstantTimeEquals(token, token_)) {
    SendError(response, 403, automation::err::kInvalidArgument, "missing or wrong token");
    return false;
  }
  if (request.method == "POST") {
    const std::string type = request.get_header_value("Content-Type");
    if (type.rfind("application/json", 0) != 0) {
      SendError(response, 415, automation::err::kInvalidArgument, "the body must be JSON");
      return false;
    }
  }
  return true;
}

std::shared_ptr<Session> WebServer::NewSession() {
  auto session = std::make_shared<Session>(RandomToken());
  std::lock_guard lock(mutex_);
  if (stopping_) return nullptr;
  sessions_[session->id()] = session;
  return session;
}

void WebServer::ServePage(const std::string& name, const httplib::Request& request,
                          httplib::Response& response) {
  std::string html = ReadFile(options_.web_root / "pages" / (name + ".html"));
  if (html.empty()) {
    response.status = 404;
    response.set_content("No such page.\n", "text/plain");
    return;
  }
  // The token goes only into our own pages, which no other site can read. A page that
  // hosts controls comes with its session, so it need not ask for one before its first
  // request; one that never opens its stream is ended after the grace period.
  ReplaceAll(html, "{{token}}", token_);
  // What a page comes with costs the server work, done only for a page opened from our own
  // pages or by the user: one that another site opens (or has fetched) asks for it itself.
  const std::string site = request.get_header_value("Sec-Fetch-Site");
  const bool ours = site.empty() || site == "same-origin" || site == "none";
  std::shared_ptr<Session> session;
  std::vector<std::string> prepared;
  if (html.find("{{session}}") != std::string::npos) {
    session = ours ? NewSession() : nullptr;
    ReplaceAll(html, "{{session}}", session ? session->id() : std::string());
    // The controls the page names in <meta name="kestrova-prepare" content="PROGID ...">
    // are made while it loads its files.
    constexpr std::string_view kPrepare = "<meta name=\"kestrova-prepare\" content=\"";
    if (const size_t at = html.find(kPrepare); session && at != std::string::npos) {
      const size_t from = at + kPrepare.size();
      for (const std::string& prog_id :
           automation::SplitAt(html.substr(from, html.find('"', from) - from), ' ')) {
        if (prog_id.empty()) continue;
        session->Prepare(prog_id);
        prepared.push_back(prog_id);
      }
    }
  }
  // The page's files by the version of the folder they are in: a browser keeps them until
  // a file changes, and asks for none of them again in the meantime.
  ReplaceAll(html, "/Kestrova/static/",
             "/Kestrova/static/v" + StaticVersion(options_.web_root) + "/");
  // The page may come with the controls made for it, by ProgID, as the requests that would
  // create them answer: what comes before them goes out at once, so the browser fetches the
  // page's files while they are made, and the rest (`tail`) once they are. The page is cut
  // there before anything from the request goes into it.
  constexpr std::string_view kPrepared = "{{prepared}}";
  std::string tail;
  const bool streamed = !prepared.empty() && html.find(kPrepared) != std::string::npos;
  if (streamed) {
    const size_t at = html.find(kPrepared);
    tail = html.substr(at + kPrepared.size());
    html.resize(at);
  } else {
    ReplaceAll(html, kPrepared, "null");
  }
  // The company page comes with its figures (last: nothing in them is replaced). When they cannot
  // be read, the page asks for them itself and shows why not.
  if (html.find("{{company}}") != std::string::npos ||
      tail.find("{{company}}") != std::string::npos) {
    Json company;
    try {
      if (ours) company = CompanyJson(request.get_param_value("ticker"));
    } catch (const std::exception&) {
      company = nullptr;
    }
    ReplaceAll(html, "{{company}}", ScriptData(company));
    ReplaceAll(tail, "{{company}}", ScriptData(company));
  }
  SetPageHeaders(response);
  response.set_header("Cache-Control", "no-store");
  if (!streamed) {
    response.set_content(html, "text/html; charset=utf-8");
    return;
  }
  response.set_chunked_content_provider(
      "text/html; charset=utf-8",
      [head = std::move(html), tail = std::move(tail), session, prepared, head_sent = false](
          size_t, httplib::DataSink& sink) mutable {
        if (!head_sent) {
          head_sent = true;
          return sink.write(head.data(), head.size());
        }
        Json controls = Json::object();
        for (const std::string& prog_id : prepared) {
          try {
            controls[prog_id] = AttachedControl(*session, prog_id);
          } catch (const std::exception&) {
            controls[prog_id] = nullptr;  // the page asks for it, and shows why it cannot be made
          }
        }
        const std::string rest = ScriptData(controls) + tail;
        if (!sink.write(rest.data(), rest.size())) return false;
        sink.done();
        return true;
      });
}

void WebServer::AddRoutes() {
  httplib::Server& s = *server_;
  s.set_pre_routing_handler([this](const httplib::Request& request, httplib::Response& response) {
    request_start = std::chrono::steady_clock::now();
    // Answers go over the loopback device, where compressing them only costs time: the
    // HTTP library would compress every page, script and state patch a browser accepts
    // compressed (brotli at its slowest setting, tens of milliseconds for a small script,
    // hundreds for the navigator's state). The request is the library's own, not const.
    const_cast<httplib::Request&>(request).headers.erase("Accept-Encoding");
    return Admit(request, response) ? httplib::Server::HandlerResponse::Unhandled
                                    : httplib::Server::HandlerResponse::Handled;
  });
  if (options_.access_log) {
    s.set_logger([](const httplib::Request& request, const httplib::Response& response) {
      const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() -
                                                                  request_start)
                            .count();
      std::fprintf(stderr, "%s \"%s %s\" %d %zu %.1fms\n", request.remote_addr.c_str(),
                   request.method.c_str(), request.path.c_str(), response.status,
                   response.body.size(), ms);
    });
  }

  // ---- pages and their files
  s.Get("/", [](const httplib::Request&, httplib::Response& response) {
    response.set_redirect("/Kestrova/");
  });
  s.Get("/favicon.ico",
        [](const httplib::Request&, httplib::Response& response) { response.status = 204; });
  s.Get("/Kestrova", [](const httplib::Request&, httplib::Response& response) {
    response.set_redirect("/Kestrova/");
  });
  s.Get("/Kestrova/", [this](const httplib::Request& request, httplib::Response& response) {
    ServePage("index", request, response);
  });
  s.Get(R"(/Kestrova/([A-Za-z0-9_-]+)\.asp)",
        [this](const httplib::Request& request, httplib::Response& response) {
          ServePage(request.matches[1].str(), request, response);
        });
  // A file by its name alone is asked again every time; by the folder's version (the one
  // that pages name) it is kept for good, unless the folder has changed since.
  s.Get(R"(/Kestrova/static/(?:v([0-9a-f]+)/)?([^/]+))", [this](const httplib::Request& request,
                                                                httplib::Response& response) {
    const std::string name = request.matches[2].str();
    const std::string content =
        IsPlainName(name) ? ReadFile(options_.web_root / "static" / name) : std::string();
    if (content.empty()) {
      response.status = 404;
      response.set_content("No such file.\n", "text/plain");
      return;
    }
    const bool current =
        request.matches[1].matched && request.matches[1].str() == StaticVersion(options_.web_root);
    SetPageHeaders(response);
    response.set_header("Cache-Control", current ? "max-age=31536000, immutable" : "no-cache");
    response.set_content(content, ContentTypeOf(name));
  });
  if (options_.quotes) AddQuoteService(s, options_.quotes);
  AddCompanyRoutes(s);

  // ---- sessions
  s.Post("/api/sessions", [this](const httplib::Request& request, httplib::Response& response) {
    // A reloaded page asks for its session back, to find its controls and their running work.
    const Json body = Json::parse(request.body.empty() ? "{}" : request.body, nullptr, false);
    if (body.is_object() && body.value("resume", Json()).is_string()) {
      if (std::shared_ptr<Session> old = FindSession(body["resume"].get<std::string>())) {
        old->Resume();
        SendJson(response, {{"session", old->id()}, {"resumed", true}});
        return;
      }
    }
    const std::shared_ptr<Session> session = NewSession();
    if (!session) {
      SendError(response, 503, automation::err::kInvalidArgument, "the server is stopping");
      return;
    }
    SendJson(response, {{"session", session->id()}});
  });
  s.Delete(R"(/api/sessions/([0-9a-f]+))",
           [this](const httplib::Request& request, httplib::Response& response) {
             std::shared_ptr<Session> session;
             {
               std::lock_guard lock(mutex_);
               auto it = sessions_.find(request.matches[1].str());
               if (it != sessions_.end()) {
                 session = it->second;
                 sessions_.erase(it);
               }
             }
             if (session) session->Close();
             SendJson(response, Json::object());
           });
  s.Get(R"(/api/sessions/([0-9a-f]+)/stream)", [this](const httplib::Request& request,
                                                      httplib::Response& response) {
    std::shared_ptr<Session> session = FindSession(request.matches[1].str());
    if (!session) {
      SendError(response, 404, automation::err::kObjectNotSet, "no such session");
      return;
    }
    const int64_t stream = session->StreamOpened();
    response.set_header("Cache-Control", "no-store");
    auto last_write =
        std::make_shared<std::chrono::steady_clock::time_point>(std::chrono::steady_clock::now());
    response.set_chunked_content_provider(
        "text/event-stream",
        [this, session, stream, last_write](size_t offset, httplib::DataSink& sink) {
          if (offset == 0) {
            const std::string hello = "retry: 1000\nevent: hello\ndata: {}\n\n";
            if (!sink.write(hello.data(), hello.size())) return false;
          }
          {
            std::lock_guard lock(mutex_);
            if (stopping_) return false;
          }
          if (session->closed()) return false;
          const std::optional<std::vector<StreamMessage>> messages =
              session->Take(std::chrono::milliseconds(1000), stream);
          if (!messages) return false;  // the page was reloaded and has a stream of its own
          std::string text;
          for (const StreamMessage& m : *messages) text += StreamText(m);
          const auto now = std::chrono::steady_clock::now();
          if (text.empty() && now - *last_write > std::chrono::seconds(10)) {
            text = ": still here\n\n";  // finds a page that went away
          }
          if (!text.empty()) {
            *last_write = now;
            if (!sink.write(text.data(), text.size())) return false;
          }
          return sink.is_writable();
        },
        [session](bool) { session->StreamClosed(); });
  });

  // ---- objects
  s.Post("/api/objects", [this](const httplib::Request& request, httplib::Response& response) {
    Answer(response, [&] {
      std::shared_ptr<Session> session = SessionOf(request);
      const Json body = Body(request);
      const automation::ObjectRef object =
          automation::CreateObject(body.at("progid").get<std::string>());
      const int64_t id = session->AddObject(object);
      SendJson(response, {{"id", id}, {"class", std::string(object->ClassName())}});
    });
  });
  s.Post(R"(/api/objects/([0-9]+))", [this](const httplib::Request& request,
                                            httplib::Response& response) {
    Answer(response, [&] {
      std::shared_ptr<Session> session = SessionOf(request);
      const Json body = Body(request);
      SendJson(response, session->CallMember(IdOf(request), body.at("member").get<std::string>(),
                                             body.value("kind", std::string("get")),
                                             body.value("args", Json::array())));
    });
  });
  s.Delete(R"(/api/objects/([0-9]+))",
           [this](const httplib::Request& request, httplib::Response& response) {
             Answer(response, [&] {
               std::shared_ptr<Session> session = SessionOf(request);
               SendJson(response, {{"released", session->ReleaseObject(IdOf(request))}});
             });
           });

  // ---- controls
  s.Post("/api/controls", [this](const httplib::Request& request, httplib::Response& response) {
    Answer(response, [&] {
      std::shared_ptr<Session> session = SessionOf(request);
      const Json body = Body(request);
      const std::string progid = body.at("progid").get<std::string>();
      // A reloaded page takes the control it had, with its current state; so does a page
      // whose control was made while it loaded.
      const bool attach = body.value("attach", false);
      if (attach) session->WaitPrepared(progid);
      int64_t id = attach ? session->FindControlOf(progid) : 0;
      automation::ObjectRef object = id ? session->FindObject(id) : nullptr;
      if (!object) {
        object = automation::CreateObject(progid);
        auto* created = dynamic_cast<ui::Control*>(object.get());
        if (!created) {
          throw automation::Error::WithDetail(automation::err::kTypeMismatch,
                                              progid + " is not a control");
        }
        id = session->AddControl(object, *created, progid);
      }
      ui::Control& control = *session->FindControl(id);
      Json answer = {{"id", id}, {"class", std::string(object->ClassName())}};
      const Json setup = body.value("setup", Json::array());
      if (setup.empty()) {
        answer["state"] = StateJson(control.State());
      } else {
        if (Json failed = RunSetup(*session, id, control, setup); !failed.is_null()) {
          answer["failed"] = std::move(failed);
        }
        // The answer brings the state the setup left: the patches it queued for the stream
        // go, so the page does not draw older pictures after it. On the control's thread,
        // after the setup's events, so no patch comes between.
        ui::ControlState state;
        control.Invoke([&] {
          session->DropQueuedState(id);
          state = control.State();
          return automation::Variant();
        });
        answer["state"] = StateJson(state);
      }
      SendJson(response, answer);
    });
  });
  s.Post(R"(/api/controls/([0-9]+)/events)", [this](const httplib::Request& request,
                                                    httplib::Response& response) {
    Answer(response, [&] {
      std::shared_ptr<Session> session = SessionOf(request);
      ui::Control* control = session->FindControl(IdOf(request));
      if (!control) {
        throw automation::Error::WithDetail(automation::err::kObjectNotSet,
                                            "no such control on this page");
      }
      const Json body = Body(request);
      control->PostEvent(body.at("child").get<std::string>(), body.at("event").get<std::string>(),
                         FromJson(body.value("value", Json()), session->Objects()),
                         body.value("property", std::string()));
      SendJson(response, {{"queued", true}});
    });
  });

  // ---- message boxes and dialogs
  s.Post(
      R"(/api/ui/([0-9]+))", [this](const httplib::Request& request, httplib::Response& response) {
        Answer(response, [&] {
          std::shared_ptr<Session> session = SessionOf(request);
          const Json body = Body(request);
          const bool taken = session->ui_host().Answer(IdOf(request), body.value("answer", Json()));
          SendJson(response, {{"taken", taken}});
        });
      });
  s.Get("/api/files", [this](const httplib::Request& request, httplib::Response& response) {
    Answer(response, [&] {
      SessionOf(request);
      fs::path dir = request.get_param_value("dir");
      if (dir.empty() || dir.is_relative()) dir = fs::current_path() / dir;
      SendJson(response, ListFolder(dir.lexically_normal(), request.get_param_value("patterns")));
    });
  });
}

}  // namespace web
