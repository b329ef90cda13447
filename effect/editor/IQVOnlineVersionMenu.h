// The version label in the top-right corner and its menu: check the maker's
// update server for a newer release, or visit the maker's site.
#pragma once

#include <atomic>
#include <memory>
#include <string>

#include "graphics/IControl.h"
#include "platform/HttpClient.h"

// Where the maker lives; the update server is the web site's host.
extern const char* const kMakerWebDomain;      // "www.quorvel.com"
extern const char* const kMakerWebAddress;     // "http://www.quorvel.com"
HttpEndpoint MakerUpdateServer();              // www.quorvel.com, port 80

// Tells the user through the editor's message boxes what the update
// server's reply (empty: none arrived) says. 0 when the reply was
// understood, -1 when none arrived, -2 when the texts could not be built,
// -3 for a reply that is no version number. Window thread.
int ShowOnlineVersionAnswer(IPlugBase* plug, const std::string& reply);

// Asks the update server for the newest release and answers as above.
// Blocks the calling thread while it waits (the menu asks on a worker).
int CheckOnlineVersion(IPlugBase* plug, const HttpEndpoint& server = MakerUpdateServer());

// Checks whose worker has not finished yet, in this process.
int VersionChecksRunning();

class IQVOnlineVersionMenu : public IControl {
 public:
  IQVOnlineVersionMenu(IPlugBase* plug, const PixelRect& rect);
  bool Paint(IGraphics* graphics) override;
  void OnPress(int x, int y, const MouseModifiers& mods) override;

  // The check asks the server on a worker thread, so the window stays
  // responsive; at its idle calls the window thread shows the answer once
  // it is in (false until then, and when no check is out).
  bool ShowArrivedAnswer();
  bool CheckPending() const { return mRequest != nullptr; }
  // The window closed: an answer still to come is not shown.
  void ForgetPendingCheck() { mRequest.reset(); }

  // Tests point the check at a local server; the plug-in never calls this.
  void SetUpdateServer(const HttpEndpoint& server) { mServer = server; }

 private:
  // Shared by the window thread and the worker, which may outlive the
  // control, the editor and every instance of the plug-in.
  struct Request {
    std::atomic<bool> done{false};
    std::string reply;
  };
  void StartCheck();

  HttpEndpoint mServer = MakerUpdateServer();
  std::shared_ptr<Request> mRequest;
};
