#include <curl/curl.h>

#include <mutex>

#include "platform/HttpClient.h"

namespace {

size_t AppendReply(char* data, size_t size, size_t count, void* target) {
  std::string& reply = *static_cast<std::string*>(target);
  const size_t bytes = size * count;
  if (reply.size() + bytes > kMaxHttpReplyBytes) {
    reply.append(data, kMaxHttpReplyBytes - reply.size());
    return 0;  // stops the transfer; what arrived is kept
  }
  reply.append(data, bytes);
  return bytes;
}

}  // namespace

std::string HttpGetText(const char* agent, const HttpEndpoint& endpoint, const char* object) {
  static std::once_flag initialised;
  std::call_once(initialised, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
  std::string reply;
  CURL* curl = curl_easy_init();
  if (curl == nullptr) return reply;
  const std::string url = "http://" + endpoint.host + ":" + std::to_string(endpoint.port) + "/" + object;
  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl, CURLOPT_USERAGENT, agent);
  curl_easy_setopt(curl, CURLOPT_NOPROXY, "*");  // direct, as on Windows
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, 10L);
  curl_easy_setopt(curl, CURLOPT_TIMEOUT, 20L);
  curl_easy_setopt(curl, CURLOPT_HTTPHEADER, nullptr);
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &AppendReply);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &reply);
  const CURLcode result = curl_easy_perform(curl);
  curl_easy_cleanup(curl);
  if (result != CURLE_OK && result != CURLE_WRITE_ERROR) reply.clear();
  return reply;
}
