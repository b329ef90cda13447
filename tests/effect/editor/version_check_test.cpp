// The version label and its menu, and the online check against a local
// HTTP server: each kind of reply ends in its message box (answered by the
// headless window's script), the request is the one the update server
// expects, and the browser opens only where it should.
#include <chrono>
#include <thread>

#include "effect/editor/IQVOnlineVersionMenu.h"
#include "tests/effect/editor/EditorTestSupport.h"
#include "tests/support/LocalHttpServer.h"

namespace edtest {
namespace {

using veltrane_test::HttpReply;
using veltrane_test::LocalHttpServer;

class VersionCheck : public EditorTest {
 protected:
  void SetUp() override {
    EditorTest::SetUp();
    Open();
  }
  IQVOnlineVersionMenu* Menu() { return static_cast<IQVOnlineVersionMenu*>(Control(kVersionMenu)); }
  // Picks "Check Online for Update" from the menu, against a server on port.
  // The request runs on a worker; the answer shows at an idle call after
  // it is in.
  void CheckThroughTheMenu(int port) {
    Menu()->SetUpdateServer(HttpEndpoint{"127.0.0.1", port});
    editor->GetScript().menuChoices.push_back(0);
    const size_t before = editor->Messages().size();
    Click(500, 25);
    EXPECT_EQ(editor->Messages().size(), before) << "the window does not wait for the server";
    for (auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
         Menu()->CheckPending() && std::chrono::steady_clock::now() < until;) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
      plug->IdleTick();
    }
    EXPECT_FALSE(Menu()->CheckPending());
  }
  const IGraphicsHeadless::MessageRecord& OnlyMessage() {
    EXPECT_EQ(editor->Messages().size(), 1u);
    static const IGraphicsHeadless::MessageRecord none{"", "", -1};
    return editor->Messages().empty() ? none : editor->Messages().back();
  }
};

TEST_F(VersionCheck, MenuOffersTheCheckAndTheMakersSite) {
  editor->GetScript().menuChoices.push_back(1);  // "Visit"
  Click(560, 30);
  ASSERT_EQ(editor->Menus().size(), 1u);
  const auto& menu = editor->Menus()[0];
  ASSERT_EQ(menu.entries.size(), 2u);
  EXPECT_EQ(menu.entries[0].label, "Check Online for Update");
  EXPECT_EQ(menu.entries[1].label, "Visit www.quorvel.com");
  EXPECT_EQ(menu.entries[0].flags, 0);
  EXPECT_TRUE(SameRect(menu.rect, PixelRect{560, 30, 560, 30})) << "opens at the pointer";
  ASSERT_EQ(editor->Urls().size(), 1u);
  EXPECT_EQ(editor->Urls()[0].address, "http://www.quorvel.com/");
  EXPECT_TRUE(editor->Messages().empty()) << "visiting asks nothing";
  for (int i = 0; i < editor->NumControls(); ++i) EXPECT_TRUE(Control(i)->NeedsPaint()) << i;

  Click(500, 25);  // dismissed: nothing
  EXPECT_EQ(editor->Urls().size(), 1u);
  EXPECT_TRUE(editor->Messages().empty());
}

TEST_F(VersionCheck, SameReleaseIsUpToDateAndTheRequestIsTheOneTheServerExpects) {
  LocalHttpServer server(HttpReply::Body("2003"));
  CheckThroughTheMenu(server.Port());
  const auto& m = OnlyMessage();
  EXPECT_EQ(m.text, "Your version is up to date.");
  EXPECT_EQ(m.caption, "Check Online for Update");
  EXPECT_EQ(m.type, 64);
  EXPECT_TRUE(editor->Urls().empty());
  const std::vector<std::string> requests = server.Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(veltrane_test::RequestLine(requests[0]).rfind("GET /music/version/?file=veltrane HTTP/1.", 0), 0u)
      << requests[0];
  EXPECT_EQ(veltrane_test::HeaderValue(requests[0], "User-Agent"), "Quorvel Veltrane");
  EXPECT_EQ(veltrane_test::HeaderValue(requests[0], "Accept"), "*/*");
}

TEST_F(VersionCheck, NewerReleaseAsksAndOpensTheDownloadPageUnlessTheAnswerIsNo) {
  LocalHttpServer server(HttpReply::Body("2004"));
  editor->GetScript().messageAnswers.push_back(6);  // Yes
  CheckThroughTheMenu(server.Port());
  const auto& m = OnlyMessage();
  EXPECT_EQ(m.text,
            "A new version of Quorvel Veltrane is available.\n\n\tYour version: \t2.0.3\n\tNew version: \t2.0.4\n"
            "\nDo you want to go to http://www.quorvel.com to get the new version?");
  EXPECT_EQ(m.caption, "New Version of Quorvel Veltrane Detected");
  EXPECT_EQ(m.type, 4);
  ASSERT_EQ(editor->Urls().size(), 1u);
  EXPECT_EQ(editor->Urls()[0].address, "http://www.quorvel.com/music/vst.html");

  editor->GetScript().messageAnswers.push_back(7);  // No
  CheckThroughTheMenu(server.Port());
  EXPECT_EQ(editor->Messages().size(), 2u);
  EXPECT_EQ(editor->Urls().size(), 1u) << "No opens nothing";

  editor->GetScript().messageAnswers.push_back(2);  // closed some other way
  CheckThroughTheMenu(server.Port());
  EXPECT_EQ(editor->Urls().size(), 2u);
}

TEST_F(VersionCheck, ReleaseTextsComeFromTheRawReply) {
  const struct {
    const char* reply;
    const char* shown;
  } cases[] = {{" 2010", " .2.10"}, {"2013", "2.0.13"}, {"2100", "2.1.0"}, {"3000\n", "3.0.0\n"}};
  for (const auto& c : cases) {
    LocalHttpServer server(HttpReply::Body(c.reply));
    editor->GetScript().messageAnswers.push_back(7);
    EXPECT_EQ(CheckOnlineVersion(plug, HttpEndpoint{"127.0.0.1", server.Port()}), 0) << c.reply;
    ASSERT_FALSE(editor->Messages().empty());
    EXPECT_NE(editor->Messages().back().text.find(std::string("\tNew version: \t") + c.shown + "\n"),
              std::string::npos)
        << c.reply << " -> " << editor->Messages().back().text;
    EXPECT_EQ(editor->Messages().back().type, 4);
  }
}

TEST_F(VersionCheck, RepliesThatAreNoVersionAndFailuresEachHaveTheirMessage) {
  const std::string contactError = "An error occurred while contacting www.quorvel.com.";
  {
    // An error page carries markup: rejected even with a number in it.
    LocalHttpServer server(HttpReply::Raw(
        "HTTP/1.0 404 Not Found\r\nContent-Type: text/html\r\nConnection: close\r\n\r\n"
        "<html><body>2004 not here</body></html>"));
    EXPECT_EQ(CheckOnlineVersion(plug, HttpEndpoint{"127.0.0.1", server.Port()}), -3);
    EXPECT_EQ(editor->Messages().back().text, "Invalid call to www.quorvel.com.");
    EXPECT_EQ(editor->Messages().back().caption, "Check Online for Update");
    EXPECT_EQ(editor->Messages().back().type, 16);
  }
  {
    LocalHttpServer server(HttpReply::Nothing());
    EXPECT_EQ(CheckOnlineVersion(plug, HttpEndpoint{"127.0.0.1", server.Port()}), -1);
    EXPECT_EQ(editor->Messages().back().text, contactError);
    EXPECT_EQ(editor->Messages().back().type, 16);
  }
  {
    EXPECT_EQ(CheckOnlineVersion(plug, HttpEndpoint{"127.0.0.1", veltrane_test::UnusedLocalPort()}), -1);
    EXPECT_EQ(editor->Messages().back().text, contactError);
  }
  {
    // No number at the start counts as release 0: up to date.
    LocalHttpServer server(HttpReply::Body("latest"));
    EXPECT_EQ(CheckOnlineVersion(plug, HttpEndpoint{"127.0.0.1", server.Port()}), 0);
    EXPECT_EQ(editor->Messages().back().text, "Your version is up to date.");
  }
  EXPECT_EQ(editor->Messages().size(), 4u);
  EXPECT_TRUE(editor->Urls().empty());
}

TEST_F(VersionCheck, LabelReadsTheFullVersion) {
  // Measured where the label is drawn: right-aligned inside its rectangle.
  TextStyle style = Control(kVersionMenu)->Style();
  PixelRect r = Control(kVersionMenu)->Rect();
  ASSERT_TRUE(editor->MeasureText(style, "VERSION 2.0.3.N", r));
  EXPECT_EQ(r.right, 570);
  EXPECT_GT(r.left, 420);
  bool drawn = false;
  for (int y = 12; y < 40 && !drawn; ++y)
    for (int x = r.left; x < 570 && !drawn; ++x) drawn = (editor->WindowPixel(x, y) & 0xFF) > 150;
  EXPECT_TRUE(drawn) << "light text on the dark title bar";
}

}  // namespace
}  // namespace edtest
