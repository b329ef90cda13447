// libcurl is loaded the first time a check runs, not with the plug-in: a
// version check is rare, and a host that unloads the plug-in must not unload
// curl and its TLS libraries with it (their thread-local data would be left
// dangling). Once loaded it stays for the life of the process.
#define CURL_DISABLE_TYPECHECK 1
#include <curl/curl.h>
#include <dlfcn.h>

#include "platform/HttpClient.h"

namespace {

struct CurlApi {
  decltype(&curl_global_init) globalInit = nullptr;
  decltype(&curl_easy_init) easyInit = nullptr;
  decltype(&curl_easy_setopt) easySetopt = nullptr;
  decltype(&curl_easy_perform) easyPerform = nullptr;
  decltype(&curl_easy_cleanup) easyCleanup = nullptr;
  bool ready = false;
};

template <typename Function>
bool Resolve(void* library, const char* name, Function& function) {
  function = reinterpret_cast<Function>(dlsym(library, name));
  return function != nullptr;
}

CurlApi LoadCurl() {
  CurlApi api;
  void* library = dlopen("libcurl.so.4", RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
  if (library == nullptr) return api;
  api.ready = Resolve(library, "curl_global_init", api.globalInit) &&
              Resolve(library, "curl_easy_init", api.easyInit) &&
              Resolve(library, "curl_easy_setopt", api.easySetopt) &&
              Resolve(library, "curl_easy_perform", api.easyPerform) &&
              Resolve(library, "curl_easy_cleanup", api.easyCleanup) && api.globalInit(CURL_GLOBAL_DEFAULT) == CURLE_OK;
  return api;
}

// Loaded once, by whichever thread asks first.
const CurlApi& Curl() {
  static const CurlApi api = LoadCurl();
  return api;
}

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
  std::string reply;
  const CurlApi& curl = Curl();
  if (!curl.ready) return reply;  // no libcurl on this system: no reply
  CURL* handle = curl.easyInit();
  if (handle == nullptr) return reply;
  const std::string url = "http://" + endpoint.host + ":" + std::to_string(endpoint.port) + "/" + object;
  curl.easySetopt(handle, CURLOPT_URL, url.c_str());
  curl.easySetopt(handle, CURLOPT_USERAGENT, agent);
  curl.easySetopt(handle, CURLOPT_NOPROXY, "*");  // direct, as on Windows
  curl.easySetopt(handle, CURLOPT_NOSIGNAL, 1L);
  curl.easySetopt(handle, CURLOPT_CONNECTTIMEOUT, 10L);
  curl.easySetopt(handle, CURLOPT_TIMEOUT, 20L);
  curl.easySetopt(handle, CURLOPT_HTTPHEADER, static_cast<curl_slist*>(nullptr));
  curl.easySetopt(handle, CURLOPT_WRITEFUNCTION, &AppendReply);
  curl.easySetopt(handle, CURLOPT_WRITEDATA, &reply);
  const CURLcode result = curl.easyPerform(handle);
  curl.easyCleanup(handle);
  if (result != CURLE_OK && result != CURLE_WRITE_ERROR) reply.clear();
  return reply;
}
