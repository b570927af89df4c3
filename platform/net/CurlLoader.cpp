// libcurl, loaded on the first transfer instead of with the program. A program or library
// that carries this archive but never fetches or mails does not load libcurl and the thirty
// libraries it pulls in. The curl functions the archive calls are defined here, hidden
// (inside the library or program only, never seen by libcurl or anyone else), each passing
// the call on to the same function of the loaded library. When the library cannot be loaded,
// every call fails as libcurl's own do when they cannot go on.

#include <dlfcn.h>

#pragma GCC visibility push(hidden)
#include <curl/curl.h>
#pragma GCC visibility pop

#include <cstdarg>
#include <mutex>

namespace {

struct Curl {
  decltype(&::curl_global_init) global_init = nullptr;
  decltype(&::curl_easy_init) easy_init = nullptr;
  decltype(&::curl_easy_cleanup) easy_cleanup = nullptr;
  decltype(&::curl_easy_perform) easy_perform = nullptr;
  decltype(&::curl_easy_setopt) easy_setopt = nullptr;
  decltype(&::curl_easy_getinfo) easy_getinfo = nullptr;
  decltype(&::curl_easy_strerror) easy_strerror = nullptr;
  decltype(&::curl_free) free = nullptr;
  decltype(&::curl_slist_append) slist_append = nullptr;
  decltype(&::curl_slist_free_all) slist_free_all = nullptr;
  decltype(&::curl_url) url = nullptr;
  decltype(&::curl_url_cleanup) url_cleanup = nullptr;
  decltype(&::curl_url_get) url_get = nullptr;
  decltype(&::curl_url_set) url_set = nullptr;
};

template <typename F>
bool Find(void* library, const char* name, F& function) {
  function = reinterpret_cast<F>(dlsym(library, name));
  return function != nullptr;
}

// The library's functions, or nullptr when it cannot be loaded (then it is not tried again).
// It stays loaded for the life of the process.
const Curl* Library() {
  static const Curl* const loaded = []() -> const Curl* {
    void* library = dlopen("libcurl.so.4", RTLD_NOW | RTLD_LOCAL);
    if (!library) return nullptr;
    static Curl curl;
    const bool complete = Find(library, "curl_global_init", curl.global_init) &&
                          Find(library, "curl_easy_init", curl.easy_init) &&
                          Find(library, "curl_easy_cleanup", curl.easy_cleanup) &&
                          Find(library, "curl_easy_perform", curl.easy_perform) &&
                          Find(library, "curl_easy_setopt", curl.easy_setopt) &&
                          Find(library, "curl_easy_getinfo", curl.easy_getinfo) &&
                          Find(library, "curl_easy_strerror", curl.easy_strerror) &&
                          Find(library, "curl_free", curl.free) &&
                          Find(library, "curl_slist_append", curl.slist_append) &&
                          Find(library, "curl_slist_free_all", curl.slist_free_all) &&
                          Find(library, "curl_url", curl.url) &&
                          Find(library, "curl_url_cleanup", curl.url_cleanup) &&
                          Find(library, "curl_url_get", curl.url_get) &&
                          Find(library, "curl_url_set", curl.url_set);
    return complete ? &curl : nullptr;
  }();
  return loaded;
}

}  // namespace

CURLcode curl_global_init(long flags) {
  const Curl* c = Library();
  return c ? c->global_init(flags) : CURLE_FAILED_INIT;
}

CURL* curl_easy_init() {
  const Curl* c = Library();
  return c ? c->easy_init() : nullptr;
}

void curl_easy_cleanup(CURL* curl) {
  if (const Curl* c = Library(); c && curl) c->easy_cleanup(curl);
}

CURLcode curl_easy_perform(CURL* curl) {
  const Curl* c = Library();
  return c ? c->easy_perform(curl) : CURLE_FAILED_INIT;
}

// The value's type follows from the option's number, as in libcurl itself: a long, an object
// or function pointer, a curl_off_t, or a blob's pointer.
CURLcode(curl_easy_setopt)(CURL* curl, CURLoption option, ...) {
  const Curl* c = Library();
  if (!c) return CURLE_FAILED_INIT;
  va_list args;
  va_start(args, option);
  CURLcode rc;
  if (option < CURLOPTTYPE_OBJECTPOINT) {
    rc = c->easy_setopt(curl, option, va_arg(args, long));
  } else if (option < CURLOPTTYPE_OFF_T) {
    rc = c->easy_setopt(curl, option, va_arg(args, void*));
  } else if (option < CURLOPTTYPE_BLOB) {
    rc = c->easy_setopt(curl, option, va_arg(args, curl_off_t));
  } else {
    rc = c->easy_setopt(curl, option, va_arg(args, void*));
  }
  va_end(args);
  return rc;
}

// Every piece of information is written through a pointer.
CURLcode(curl_easy_getinfo)(CURL* curl, CURLINFO info, ...) {
  const Curl* c = Library();
  if (!c) return CURLE_FAILED_INIT;
  va_list args;
  va_start(args, info);
  void* where = va_arg(args, void*);
  va_end(args);
  return c->easy_getinfo(curl, info, where);
}

const char* curl_easy_strerror(CURLcode code) {
  const Curl* c = Library();
  return c ? c->easy_strerror(code) : "the transfer library (libcurl) could not be loaded";
}

void curl_free(void* p) {
  if (const Curl* c = Library(); c && p) c->free(p);
}

curl_slist* curl_slist_append(curl_slist* list, const char* text) {
  const Curl* c = Library();
  return c ? c->slist_append(list, text) : nullptr;
}

void curl_slist_free_all(curl_slist* list) {
  if (const Curl* c = Library(); c && list) c->slist_free_all(list);
}

CURLU* curl_url() {
  const Curl* c = Library();
  return c ? c->url() : nullptr;
}

void curl_url_cleanup(CURLU* url) {
  if (const Curl* c = Library(); c && url) c->url_cleanup(url);
}

CURLUcode curl_url_get(CURLU* url, CURLUPart part, char** text, unsigned int flags) {
  const Curl* c = Library();
  return c ? c->url_get(url, part, text, flags) : CURLUE_OUT_OF_MEMORY;
}

CURLUcode curl_url_set(CURLU* url, CURLUPart part, const char* text, unsigned int flags) {
  const Curl* c = Library();
  return c ? c->url_set(url, part, text, flags) : CURLUE_OUT_OF_MEMORY;
}
