// HttpGetText, the version check's GET, against a local server: libcurl
// natively, WinINet when built for Windows (under Wine). Both must hand back
// the same body and send the same request.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "platform/HttpClient.h"
#include "tests/support/LocalHttpServer.h"

namespace {

using veltrane_test::HeaderValue;
using veltrane_test::HttpReply;
using veltrane_test::LocalHttpServer;
using veltrane_test::RequestLine;

constexpr const char* kAgent = "Quorvel Veltrane";
constexpr const char* kObject = "music/version/?file=veltrane";

std::string Get(const LocalHttpServer& server) {
  return HttpGetText(kAgent, HttpEndpoint{"127.0.0.1", server.Port()}, kObject);
}

TEST(HttpClient, ReturnsTheBodyOfA200Reply) {
  LocalHttpServer server(HttpReply::Body("2003"));
  EXPECT_EQ(Get(server), "2003");
  EXPECT_EQ(server.Requests().size(), 1u);
}

TEST(HttpClient, KeepsLeadingWhiteSpace) {
  LocalHttpServer server(HttpReply::Body(" 2010"));
  EXPECT_EQ(Get(server), " 2010");
}

TEST(HttpClient, ReturnsTheBodyOfAnErrorPageWithoutItsHeaders) {
  const std::string page = "<html><body>Not here. 2004</body></html>";
  LocalHttpServer server(HttpReply::Raw("HTTP/1.1 404 Not Found\r\nContent-Type: text/html\r\nContent-Length: " +
                                        std::to_string(page.size()) + "\r\nConnection: close\r\n\r\n" + page));
  EXPECT_EQ(Get(server), page);
}

TEST(HttpClient, ReadsABodyThatEndsWhenTheConnectionCloses) {
  LocalHttpServer server(HttpReply::Raw("HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\n2005"));
  EXPECT_EQ(Get(server), "2005");
}

TEST(HttpClient, AnEmptyReplyGivesEmptyText) {
  LocalHttpServer server(HttpReply::Nothing());
  EXPECT_EQ(Get(server), "");
  EXPECT_GE(server.Requests().size(), 1u);  // it did connect and ask
}

TEST(HttpClient, ARefusedConnectionGivesEmptyText) {
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(HttpGetText(kAgent, HttpEndpoint{"127.0.0.1", veltrane_test::UnusedLocalPort()}, kObject), "");
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

TEST(HttpClient, CutsALargeReplyAtTheLimit) {
  std::string body;
  for (size_t i = 0; body.size() < 3 * kMaxHttpReplyBytes; ++i) body += std::to_string(i) + ",";
  LocalHttpServer server(HttpReply::Body(body));
  const std::string reply = Get(server);
  ASSERT_EQ(reply.size(), kMaxHttpReplyBytes);
  EXPECT_EQ(reply, body.substr(0, kMaxHttpReplyBytes));
}

TEST(HttpClient, ASecondCheckGetsTheNewAnswerNotACachedOne) {
  LocalHttpServer server({HttpReply::Body("2003"), HttpReply::Body("2010")});
  EXPECT_EQ(Get(server), "2003");
  EXPECT_EQ(Get(server), "2010");
  EXPECT_EQ(server.Requests().size(), 2u);
}

TEST(HttpClient, SendsAGetWithTheAgentAndAcceptingAnything) {
  LocalHttpServer server(HttpReply::Body("2003"));
  Get(server);
  ASSERT_TRUE(server.WaitForRequests(1, std::chrono::seconds(2)));
  const std::string request = server.Requests().front();
  EXPECT_EQ(RequestLine(request), "GET /music/version/?file=veltrane HTTP/1.1") << request;
  EXPECT_EQ(HeaderValue(request, "User-Agent"), kAgent) << request;
  EXPECT_EQ(HeaderValue(request, "Accept"), "*/*") << request;
  EXPECT_EQ(HeaderValue(request, "Host"), "127.0.0.1:" + std::to_string(server.Port())) << request;
}

// The support pieces the other tests lean on.
TEST(LocalHttpServer, HeaderLookupIgnoresCaseAndStopsAtTheBlankLine) {
  const std::string request = "GET / HTTP/1.1\r\nuser-agent:  A b \r\nX: 1\r\n\r\nAccept: no\r\n";
  EXPECT_EQ(RequestLine(request), "GET / HTTP/1.1");
  EXPECT_EQ(HeaderValue(request, "User-Agent"), "A b");
  EXPECT_TRUE(veltrane_test::HasHeader(request, "x"));
  EXPECT_FALSE(veltrane_test::HasHeader(request, "Accept"));
}

TEST(LocalHttpServer, StopsPromptlyWithoutAnyClient) {
  const auto start = std::chrono::steady_clock::now();
  { LocalHttpServer server(HttpReply::Body("x")); EXPECT_GT(server.Port(), 0); }
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
}

}  // namespace
