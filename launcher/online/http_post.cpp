#include "launcher/online/http_post.h"

#include <curl/curl.h>

#include <memory>
#include <mutex>

namespace launcher {
namespace {

void initialiseOnce() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct Transfer {
  std::string body;
  std::string statusLine;
  bool inHeaders = true;
  const std::atomic<bool>* cancel = nullptr;
};

size_t onBody(char* data, size_t size, size_t count, void* user) {
  static_cast<Transfer*>(user)->body.append(data, size * count);
  return size * count;
}

size_t onHeader(char* data, size_t size, size_t count, void* user) {
  auto& transfer = *static_cast<Transfer*>(user);
  std::string line(data, size * count);
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
  // The last status line wins: an interim "100 Continue" comes first.
  if (line.starts_with("HTTP/")) transfer.statusLine = line;
  return size * count;
}

int onProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  const auto& transfer = *static_cast<const Transfer*>(user);
  return transfer.cancel != nullptr && *transfer.cancel ? 1 : 0;
}

}  // namespace

HttpAnswer HttpPost(const std::string& url, const std::string& body,
                    std::chrono::milliseconds limit, const std::atomic<bool>* cancel) {
  initialiseOnce();
  HttpAnswer answer;
  std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> curl(curl_easy_init(), curl_easy_cleanup);
  if (!curl) {
    answer.error = "curl_easy_init failed";
    return answer;
  }
  Transfer transfer;
  transfer.cancel = cancel;
  curl_slist* headers =
      curl_slist_append(nullptr, "Content-Type: application/x-www-form-urlencoded");
  // The body goes at once; no round trip to ask whether it may.
  headers = curl_slist_append(headers, "Expect:");
  CURL* handle = curl.get();
  curl_easy_setopt(handle, CURLOPT_URL, url.c_str());
  curl_easy_setopt(handle, CURLOPT_POST, 1L);
  curl_easy_setopt(handle, CURLOPT_POSTFIELDS, body.data());
  curl_easy_setopt(handle, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
  curl_easy_setopt(handle, CURLOPT_HTTPHEADER, headers);
  curl_easy_setopt(handle, CURLOPT_TIMEOUT_MS, static_cast<long>(limit.count()));
  curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(handle, CURLOPT_PROXY, "");  // the service is reached directly
  curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, onBody);
  curl_easy_setopt(handle, CURLOPT_WRITEDATA, &transfer);
  curl_easy_setopt(handle, CURLOPT_HEADERFUNCTION, onHeader);
  curl_easy_setopt(handle, CURLOPT_HEADERDATA, &transfer);
  curl_easy_setopt(handle, CURLOPT_XFERINFOFUNCTION, onProgress);
  curl_easy_setopt(handle, CURLOPT_XFERINFODATA, &transfer);
  curl_easy_setopt(handle, CURLOPT_NOPROGRESS, 0L);
  const CURLcode code = curl_easy_perform(handle);
  curl_slist_free_all(headers);

  long status = 0;
  curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &status);
  answer.status = static_cast<int>(status);
  answer.body = std::move(transfer.body);
  if (code != CURLE_OK) {
    answer.error = curl_easy_strerror(code);
  } else if (status >= 400) {
    answer.error = transfer.statusLine;
  } else {
    answer.answered = true;
  }
  return answer;
}

}  // namespace launcher
