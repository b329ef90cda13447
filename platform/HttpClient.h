// A plain HTTP GET for the editor's version check. Blocks the calling thread
// until the reply is in or the request failed.
#pragma once

#include <string>

struct HttpEndpoint {
  std::string host;
  int port = 80;
};

// GETs `object` (a path without the leading slash) from the endpoint with the
// given agent text and returns the reply body; empty on any failure. Replies
// are cut at kMaxHttpReplyBytes: a version number is a few bytes.
std::string HttpGetText(const char* agent, const HttpEndpoint& endpoint, const char* object);

constexpr size_t kMaxHttpReplyBytes = 64 * 1024;
