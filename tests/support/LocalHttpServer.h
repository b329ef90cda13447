// A tiny HTTP server on 127.0.0.1 for tests: one canned answer per connection,
// on its own thread, on a port the OS picks. Every wait is bounded, so a
// misbehaving client can fail a test but never hang it.
#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <vector>

namespace veltrane_test {

// What the server sends back after reading a request.
struct HttpReply {
  enum class Kind { kBody, kRaw, kNothing };
  Kind kind = Kind::kNothing;
  std::string bytes;

  // "HTTP/1.0 200 OK" with Content-Length and Connection: close, then `body`.
  static HttpReply Body(std::string body);
  // `bytes` exactly as given (status line, headers and body are the caller's).
  static HttpReply Raw(std::string bytes);
  // Reads the request, then closes without sending a byte.
  static HttpReply Nothing();
};

class LocalHttpServer {
 public:
  explicit LocalHttpServer(HttpReply reply);
  // Connection i gets replies[i]; connections past the end get the last one.
  explicit LocalHttpServer(std::vector<HttpReply> replies);
  ~LocalHttpServer();  // stops and joins the server thread
  LocalHttpServer(const LocalHttpServer&) = delete;
  LocalHttpServer& operator=(const LocalHttpServer&) = delete;

  int Port() const;
  // The raw requests so far (request line and headers, "\r\n"-separated), in
  // arrival order. A request is recorded before its reply is sent.
  std::vector<std::string> Requests() const;
  // Waits until at least `count` requests are recorded; false on timeout.
  bool WaitForRequests(size_t count, std::chrono::milliseconds timeout) const;
  // While held, a request is read and recorded but its reply waits (at most
  // a minute) until Release: a server that keeps its client waiting.
  void Hold();
  void Release();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// A port on 127.0.0.1 where nothing listens (the OS just handed it out and it
// was closed again): connecting to it is refused.
int UnusedLocalPort();

// The first line of a raw request, without its line ending.
std::string RequestLine(const std::string& request);
// The value of header `name` (case-insensitive, spaces trimmed); empty if absent.
std::string HeaderValue(const std::string& request, const std::string& name);
// Whether header `name` occurs in the request at all.
bool HasHeader(const std::string& request, const std::string& name);

}  // namespace veltrane_test
