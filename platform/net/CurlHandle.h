#pragma once

// One owner for each kind of libcurl object this folder makes, so that each is released on
// every path by its owner and never by hand. For the sources of this folder only: the
// libcurl headers are on no one else's include path.

#include <memory>
#include <string>
#include <string_view>

#include <curl/curl.h>

namespace net::detail {

struct CurlDeleter {
  void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
using CurlHandle = std::unique_ptr<CURL, CurlDeleter>;

struct CurlListDeleter {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using CurlList = std::unique_ptr<curl_slist, CurlListDeleter>;

struct CurlUrlDeleter {
  void operator()(CURLU* url) const { curl_url_cleanup(url); }
};
using CurlUrl = std::unique_ptr<CURLU, CurlUrlDeleter>;

// Text that libcurl allocated and hands over, such as a part of a parsed URL.
struct CurlTextDeleter {
  void operator()(char* text) const { curl_free(text); }
};
using CurlText = std::unique_ptr<char, CurlTextDeleter>;

// Initialises libcurl for the process, once, whichever thread comes first.
// Throws automation::Error with err::kNetwork, at every call, when that fails.
void InitialiseCurlOnce();

// A new transfer handle, with libcurl initialised first. Throws automation::Error with
// err::kNetwork when there is none: "no transfer handle", followed by " for " and
// `purpose` when that is not empty.
CurlHandle NewCurlHandle(std::string_view purpose = {});

// Adds `line` at the end of `list`, which may be empty. Throws std::bad_alloc when libcurl
// cannot allocate; `list` is then unchanged.
void AppendLine(CurlList& list, const std::string& line);

// The `part` of `url` (CURLUPART_PASSWORD, ...), or null when the URL has no such part or
// it cannot be read.
CurlText UrlPart(const CurlUrl& url, CURLUPart part);

}  // namespace net::detail
