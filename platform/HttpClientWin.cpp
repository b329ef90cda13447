#include <windows.h>
#include <wininet.h>

#include "platform/HttpClient.h"

std::string HttpGetText(const char* agent, const HttpEndpoint& endpoint, const char* object) {
  std::string reply;
  HINTERNET internet = InternetOpenA(agent, INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
  HINTERNET connection = nullptr;
  HINTERNET request = nullptr;
  if (internet != nullptr)
    connection = InternetConnectA(internet, endpoint.host.c_str(), static_cast<INTERNET_PORT>(endpoint.port),
                                  nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0);
  if (connection != nullptr) {
    const char* accept[] = {"*/*", nullptr};
    request = HttpOpenRequestA(connection, "GET", object, nullptr, nullptr, accept, 0, 0);
  }
  if (request != nullptr && HttpSendRequestA(request, nullptr, 0, nullptr, 0)) {
    char buffer[1024];
    DWORD got = 0;
    while (InternetReadFile(request, buffer, sizeof buffer, &got) && got > 0) {
      reply.append(buffer, got);
      if (reply.size() >= kMaxHttpReplyBytes) {
        reply.resize(kMaxHttpReplyBytes);
        break;
      }
    }
  }
  if (request != nullptr) InternetCloseHandle(request);
  if (connection != nullptr) InternetCloseHandle(connection);
  if (internet != nullptr) InternetCloseHandle(internet);
  return reply;
}
