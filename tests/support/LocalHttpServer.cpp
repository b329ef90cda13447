#include "tests/support/LocalHttpServer.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <condition_variable>
#include <mutex>
#include <stdexcept>
#include <thread>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace veltrane_test {

namespace {

using Clock = std::chrono::steady_clock;

// A client that stops talking must not hold the server thread for long.
constexpr auto kReadTimeout = std::chrono::seconds(3);
constexpr auto kSendTimeout = std::chrono::seconds(5);
constexpr size_t kMaxRequestBytes = 16 * 1024;

#ifdef _WIN32
using Socket = SOCKET;
const Socket kNoSocket = INVALID_SOCKET;
void CloseSocket(Socket s) { closesocket(s); }
constexpr int kSendFlags = 0;
constexpr int kShutSend = SD_SEND;
// Winsock counts its users; each one starts and cleans up once.
struct Winsock {
  Winsock() {
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0) throw std::runtime_error("WSAStartup failed");
  }
  ~Winsock() { WSACleanup(); }
};
#else
using Socket = int;
const Socket kNoSocket = -1;
void CloseSocket(Socket s) { close(s); }
constexpr int kSendFlags = MSG_NOSIGNAL;  // a client that hung up must not kill the test with SIGPIPE
constexpr int kShutSend = SHUT_WR;
struct Winsock {};
#endif

sockaddr_in Loopback(int port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<unsigned short>(port));
  return address;
}

// Binds a fresh socket to 127.0.0.1 on a port of the OS's choosing.
Socket BindLoopback(int* port) {
  Socket s = socket(AF_INET, SOCK_STREAM, 0);
  if (s == kNoSocket) return kNoSocket;
  sockaddr_in address = Loopback(0);
  socklen_t size = sizeof address;
  if (bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      getsockname(s, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
    CloseSocket(s);
    return kNoSocket;
  }
  *port = ntohs(address.sin_port);
  return s;
}

// Waits until the socket can be read (or written) without blocking.
bool WaitReady(Socket s, bool write, Clock::time_point deadline) {
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::microseconds>(deadline - Clock::now());
    if (left.count() <= 0) return false;
    fd_set set;
    FD_ZERO(&set);
    FD_SET(s, &set);
    timeval wait{static_cast<long>(left.count() / 1000000), static_cast<long>(left.count() % 1000000)};
    const int ready = select(static_cast<int>(s) + 1, write ? nullptr : &set, write ? &set : nullptr, nullptr, &wait);
    if (ready > 0) return true;
#ifndef _WIN32
    if (ready < 0 && errno == EINTR) continue;
#endif
    if (ready < 0) return false;
  }
}

bool HeadersComplete(const std::string& text) {
  return text.find("\r\n\r\n") != std::string::npos || text.find("\n\n") != std::string::npos;
}

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

}  // namespace

HttpReply HttpReply::Body(std::string body) {
  std::string head = "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\nContent-Length: " +
                     std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n";
  return {Kind::kBody, head + body};
}

HttpReply HttpReply::Raw(std::string bytes) { return {Kind::kRaw, std::move(bytes)}; }

HttpReply HttpReply::Nothing() { return {Kind::kNothing, std::string()}; }

struct LocalHttpServer::State {
  [[maybe_unused]] Winsock winsock;
  std::vector<HttpReply> replies;
  Socket listener = kNoSocket;
  int port = 0;
  std::atomic<bool> stopping{false};
  mutable std::mutex mutex;
  mutable std::condition_variable arrived;
  std::vector<std::string> requests;
  bool held = false;
  std::condition_variable released;
  std::thread thread;

  void Run() {
    for (;;) {
      Socket client = accept(listener, nullptr, nullptr);
      if (client == kNoSocket) return;
      if (stopping) {
        CloseSocket(client);
        return;
      }
      Serve(client);
      CloseSocket(client);
    }
  }

  void Serve(Socket client) {
    std::string request;
    const auto readDeadline = Clock::now() + kReadTimeout;
    char buffer[2048];
    while (request.size() < kMaxRequestBytes && !HeadersComplete(request) && WaitReady(client, false, readDeadline)) {
      const int got = recv(client, buffer, sizeof buffer, 0);
      if (got <= 0) break;
      request.append(buffer, static_cast<size_t>(got));
    }
    size_t index;
    {
      std::lock_guard<std::mutex> lock(mutex);
      index = requests.size();
      requests.push_back(request);
    }
    arrived.notify_all();
    {
      std::unique_lock<std::mutex> lock(mutex);
      released.wait_for(lock, std::chrono::minutes(1), [&] { return !held || stopping; });
    }

    const std::string& bytes = replies[std::min(index, replies.size() - 1)].bytes;
    const auto sendDeadline = Clock::now() + kSendTimeout;
    size_t sent = 0;
    while (sent < bytes.size() && WaitReady(client, true, sendDeadline)) {
      const size_t chunk = std::min<size_t>(bytes.size() - sent, 16 * 1024);
      const int done = send(client, bytes.data() + sent, static_cast<int>(chunk), kSendFlags);
      if (done <= 0) break;  // the client hung up, e.g. after taking as much as it wanted
      sent += static_cast<size_t>(done);
    }
    // A FIN after the last byte marks the end of the reply.
    shutdown(client, kShutSend);
  }
};

LocalHttpServer::LocalHttpServer(HttpReply reply) : LocalHttpServer(std::vector<HttpReply>{std::move(reply)}) {}

LocalHttpServer::LocalHttpServer(std::vector<HttpReply> replies) : state_(new State) {
  if (replies.empty()) replies.push_back(HttpReply::Nothing());
  state_->replies = std::move(replies);
  state_->listener = BindLoopback(&state_->port);
  if (state_->listener == kNoSocket || listen(state_->listener, 8) != 0) {
    if (state_->listener != kNoSocket) CloseSocket(state_->listener);
    throw std::runtime_error("LocalHttpServer: cannot listen on 127.0.0.1");
  }
  state_->thread = std::thread([state = state_.get()] { state->Run(); });
}

LocalHttpServer::~LocalHttpServer() {
  {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->stopping = true;
  }
  state_->released.notify_all();
  // accept() is woken by a connection of our own; closing the socket does
  // not wake it on Linux.
  Socket wake = socket(AF_INET, SOCK_STREAM, 0);
  const sockaddr_in address = Loopback(state_->port);
  const bool woken =
      wake != kNoSocket && connect(wake, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
  if (!woken) {
#ifdef _WIN32
    CloseSocket(state_->listener);
    state_->listener = kNoSocket;
#else
    shutdown(state_->listener, SHUT_RDWR);
#endif
  }
  state_->thread.join();
  if (wake != kNoSocket) CloseSocket(wake);
  if (state_->listener != kNoSocket) CloseSocket(state_->listener);
}

int LocalHttpServer::Port() const { return state_->port; }

void LocalHttpServer::Hold() {
  std::lock_guard<std::mutex> lock(state_->mutex);
  state_->held = true;
}

void LocalHttpServer::Release() {
  {
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->held = false;
  }
  state_->released.notify_all();
}

std::vector<std::string> LocalHttpServer::Requests() const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  return state_->requests;
}

bool LocalHttpServer::WaitForRequests(size_t count, std::chrono::milliseconds timeout) const {
  std::unique_lock<std::mutex> lock(state_->mutex);
  return state_->arrived.wait_for(lock, timeout, [&] { return state_->requests.size() >= count; });
}

int UnusedLocalPort() {
  [[maybe_unused]] Winsock winsock;
  int port = 0;
  const Socket s = BindLoopback(&port);
  if (s == kNoSocket) throw std::runtime_error("UnusedLocalPort: cannot bind 127.0.0.1");
  CloseSocket(s);
  return port;
}

std::string RequestLine(const std::string& request) {
  const std::string line = request.substr(0, request.find('\n'));
  return !line.empty() && line.back() == '\r' ? line.substr(0, line.size() - 1) : line;
}

namespace {

// Finds the header line for `name`; returns false if there is none.
bool FindHeader(const std::string& request, const std::string& name, std::string* value) {
  const std::string wanted = Lower(name);
  size_t start = request.find('\n');
  while (start != std::string::npos && start + 1 < request.size()) {
    ++start;
    const size_t end = request.find('\n', start);
    std::string line = request.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) return false;  // end of the headers
    const size_t colon = line.find(':');
    if (colon != std::string::npos && Lower(line.substr(0, colon)) == wanted) {
      const size_t first = line.find_first_not_of(" \t", colon + 1);
      const size_t last = line.find_last_not_of(" \t");
      *value = first == std::string::npos ? std::string() : line.substr(first, last - first + 1);
      return true;
    }
    start = end;
  }
  return false;
}

}  // namespace

std::string HeaderValue(const std::string& request, const std::string& name) {
  std::string value;
  FindHeader(request, name, &value);
  return value;
}

bool HasHeader(const std::string& request, const std::string& name) {
  std::string value;
  return FindHeader(request, name, &value);
}

}  // namespace veltrane_test
