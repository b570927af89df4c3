#include "platform/net/CurlHandle.h"

#include <mutex>
#include <new>
#include <string>
#include <string_view>

#include "platform/automation/Error.h"

namespace net::detail {

void InitialiseCurlOnce() {
  static std::once_flag once;
  std::call_once(once, [] {
    if (curl_global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) {
      // Without it no transfer can work; report it at each attempt instead of once.
      throw automation::Error::WithDetail(automation::err::kNetwork,
                                          "the transfer library could not be initialised");
    }
  });
}

CurlHandle NewCurlHandle(std::string_view purpose) {
  InitialiseCurlOnce();
  CurlHandle handle(curl_easy_init());
  if (!handle) {
    std::string detail = "no transfer handle";
    if (!purpose.empty()) detail.append(" for ").append(purpose);
    throw automation::Error::WithDetail(automation::err::kNetwork, detail);
  }
  return handle;
}

void AppendLine(CurlList& list, const std::string& line) {
  // libcurl returns the head of the list, the same one when the list was not empty, and
  // null, leaving the list as it was, when it cannot allocate.
  curl_slist* head = curl_slist_append(list.get(), line.c_str());
  if (head == nullptr) throw std::bad_alloc();
  if (head != list.get()) list.reset(head);
}

CurlText UrlPart(const CurlUrl& url, CURLUPart part) {
  char* text = nullptr;
  if (curl_url_get(url.get(), part, &text, 0) != CURLUE_OK) return nullptr;
  return CurlText(text);
}

}  // namespace net::detail
