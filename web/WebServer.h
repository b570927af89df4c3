#pragma once

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "platform/tc2000/QuoteService.h"

namespace httplib {
class Server;
struct Request;
struct Response;
}  // namespace httplib

namespace web {

class Session;

struct WebServerOptions {
  int port = 8642;  // 0: any free port
  // Holds pages/ (NAME.html served as /Kestrova/NAME.asp, index.html as /Kestrova/) and
  // static/ (served as /Kestrova/static/FILE, and as /Kestrova/static/vVERSION/FILE to be
  // kept by the browser). In a page, {{token}} becomes the server's token, {{session}} a
  // new session for the page, {{company}} the figures of the page's ?ticker= (as
  // /api/company answers, null when they cannot be read) and /Kestrova/static/ the folder
  // of the current version. The controls named in <meta name="kestrova-prepare"
  // content="PROGID ..."> are made for the page's session while it loads.
  std::filesystem::path web_root;
  std::shared_ptr<const tc2000::QuoteSource> quotes;  // /d/quotes.csv; none: not served
  std::chrono::milliseconds grace{10000};  // a page without its stream this long is ended
  size_t max_body = 256 * 1024;
  bool access_log = true;  // one line per request on stderr
};

// kestrova-web: the pages, the quote service and the automation endpoint of one user, on
// 127.0.0.1 only.
//
// The endpoint (JSON bodies; every /api request carries the server's token in the header
// X-Kestrova-Token, which only our pages know, and the page's session in X-Kestrova-Session):
//   POST   /api/sessions                      -> {"session"}
//   GET    /api/sessions/ID/stream?token=T    server-sent events: state, event, error, ui
//   DELETE /api/sessions/ID                   the page is going away
//   POST   /api/objects {"progid"}             -> {"id", "class"}
//   POST   /api/objects/N {"member", "kind": get|let|call, "args": [...]}
//                                             -> {"result", "byref"} or {"error": {number, text}}
//   DELETE /api/objects/N
//   POST   /api/controls {"progid", "attach", "setup": [...]}
//                                             -> {"id", "class", "state", "failed"}
//          with "attach", the page's control of that ProgID if it has one; "setup" runs
//          calls {"member", "kind", "args"} and events {"child", "event", "value",
//          "property"} in order before the state is taken, up to the first that fails
//          ("failed": {"step", "number", "text"})
//   POST   /api/controls/N/events {"child", "event", "value", "property"}
//   POST   /api/ui/N {"answer"}               answers a message box or dialog
//   GET    /api/files?dir=D&patterns=P         the folders and matching files of D
//
// Requests whose Host is not 127.0.0.1:PORT or localhost:PORT are refused (421), /api
// requests without the token (403), state-changing ones without a JSON body (415), bodies
// over max_body (413).
class WebServer {
 public:
  explicit WebServer(WebServerOptions options);
  ~WebServer();
  WebServer(const WebServer&) = delete;
  WebServer& operator=(const WebServer&) = delete;

  // Binds 127.0.0.1 and returns the port; throws when it cannot.
  int Bind();
  // Serves until Stop(); false when serving failed.
  bool Run();
  // Ends every page (running work ends as a failure, open dialogs as cancelled) and stops
  // serving. Safe from any thread, more than once.
  void Stop();

  const std::string& token() const { return token_; }
  int port() const { return port_; }

 private:
  void AddRoutes();
  bool Admit(const httplib::Request& request, httplib::Response& response);
  std::shared_ptr<Session> SessionOf(const httplib::Request& request);
  std::shared_ptr<Session> FindSession(const std::string& id);
  // A new page's session; null once the server is stopping.
  std::shared_ptr<Session> NewSession();
  void ServePage(const std::string& name, const httplib::Request& request,
                 httplib::Response& response);
  void ReapAbandonedSessions();

  WebServerOptions options_;
  std::unique_ptr<httplib::Server> server_;
  std::string token_;
  int port_ = 0;

  std::mutex mutex_;
  std::map<std::string, std::shared_ptr<Session>> sessions_;
  bool stopping_ = false;
  std::condition_variable stop_;
  std::thread reaper_;
};

// A new random token of 32 hex digits, from the system's random source.
std::string RandomToken();

// The version of the pages' files in web_root/static: a hash of their names and contents,
// 16 hex digits, that changes whenever a file does.
std::string StaticVersion(const std::filesystem::path& web_root);

// The folder of the pages: $KESTROVA_WEB_ROOT, else share/kestrova/web beside the program's
// folder, else the source folder this program was built from.
std::filesystem::path DefaultWebRoot();

}  // namespace web
