// The version label in the top-right corner and its menu: check the maker's
// update server for a newer release, or visit the maker's site.
#pragma once

#include "graphics/IControl.h"
#include "platform/HttpClient.h"

// Where the maker lives; the update server is the web site's host.
extern const char* const kMakerWebDomain;      // "www.quorvel.com"
extern const char* const kMakerWebAddress;     // "http://www.quorvel.com"
HttpEndpoint MakerUpdateServer();              // www.quorvel.com, port 80

// Asks the update server for the newest release and tells the user through
// the editor's message boxes. 0 when a reply was understood, -1 when none
// arrived, -2 when the texts could not be built, -3 for a reply that is no
// version number. Blocks the window thread while it waits.
int CheckOnlineVersion(IPlugBase* plug, const HttpEndpoint& server = MakerUpdateServer());

class IQVOnlineVersionMenu : public IControl {
 public:
  IQVOnlineVersionMenu(IPlugBase* plug, const PixelRect& rect);
  bool Paint(IGraphics* graphics) override;
  void OnPress(int x, int y, const MouseModifiers& mods) override;

  // Tests point the check at a local server; the plug-in never calls this.
  void SetUpdateServer(const HttpEndpoint& server) { mServer = server; }

 private:
  HttpEndpoint mServer = MakerUpdateServer();
};
