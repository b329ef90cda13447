#include "effect/editor/IQVOnlineVersionMenu.h"

#include <cstdlib>
#include <exception>
#include <string>
#include <thread>

#include "VeltraneVersion.h"
#include "graphics/IGraphics.h"
#include "platform/Module.h"
#include "plugin/IPlugBase.h"

const char* const kMakerWebDomain = "www.quorvel.com";
const char* const kMakerWebAddress = "http://www.quorvel.com";

HttpEndpoint MakerUpdateServer() { return HttpEndpoint{"www.quorvel.com", 80}; }

namespace {

constexpr const char* kProductName = "Quorvel Veltrane";
constexpr const char* kRunningVersion = kVeltraneVersionText;
// As the server answers: major, minor and a two-digit patch in one number.
constexpr long kRunningRelease = kVeltraneVersionMajor * 1000 + kVeltraneVersionMinor * 100 + kVeltraneVersionMicro;
constexpr const char* kCheckCaption = "Check Online for Update";

void ShowContactError(IGraphics* graphics) {
  const std::string text = std::string("An error occurred while contacting ") + kMakerWebDomain + ".";
  graphics->ShowMessage(text.c_str(), kCheckCaption, kMessageOk | kMessageIconError);
}

// "2004" reads 2.0.4, "2013" 2.0.13, "2100" 2.1.0: a zero third digit only
// pads the patch number. Built from the raw reply, as it came.
std::string ReleaseText(const std::string& reply) {
  return reply.substr(0, 1) + "." + reply.substr(1, 1) + "." + reply.substr(reply.at(2) == '0' ? 3 : 2);
}

}  // namespace

const char* const kVersionQuery = "music/version/?file=veltrane";

namespace {
std::atomic<int> gChecksRunning{0};
}  // namespace

int VersionChecksRunning() { return gChecksRunning.load(); }

int CheckOnlineVersion(IPlugBase* plug, const HttpEndpoint& server) {
  if (plug == nullptr || plug->Editor() == nullptr) return -1;
  return ShowOnlineVersionAnswer(plug, HttpGetText(kProductName, server, kVersionQuery));
}

int ShowOnlineVersionAnswer(IPlugBase* plug, const std::string& reply) {
  IGraphics* graphics = plug != nullptr ? plug->Editor() : nullptr;
  if (graphics == nullptr) return -1;
  if (reply.empty()) {
    ShowContactError(graphics);
    return -1;
  }
  if (reply.find('<') != std::string::npos) {
    const std::string text = std::string("Invalid call to ") + kMakerWebDomain + ".";
    graphics->ShowMessage(text.c_str(), kCheckCaption, kMessageOk | kMessageIconError);
    return -3;
  }
  // strtol takes leading white space and a sign; no number reads 0.
  const long release = std::strtol(reply.c_str(), nullptr, 10);
  if (release <= kRunningRelease) {
    graphics->ShowMessage("Your version is up to date.", kCheckCaption, kMessageOk | kMessageIconInformation);
    return 0;
  }
  std::string text, caption;
  try {
    text = std::string("A new version of ") + kProductName + " is available.\n\n" + "\tYour version: \t" +
           kRunningVersion + "\n" + "\tNew version: \t" + ReleaseText(reply) + "\n" +
           "\nDo you want to go to " + kMakerWebAddress + " to get the new version?";
    caption = std::string("New Version of ") + kProductName + " Detected";
  } catch (const std::exception&) {
    ShowContactError(graphics);
    return -2;
  }
  if (graphics->ShowMessage(text.c_str(), caption.c_str(), kMessageYesNo) != kAnswerNo) {
    const std::string page = std::string(kMakerWebAddress) + "/music/vst.html";
    graphics->LaunchUrl(page.c_str(), nullptr, nullptr, nullptr);
  }
  return 0;
}

IQVOnlineVersionMenu::IQVOnlineVersionMenu(IPlugBase* plug, const PixelRect& rect)
    : IControl(plug, rect, -1, BlendStandard) {
  mStyle.SetFace("Arial");
  mStyle.size = 16;
  mStyle.color = ArgbColor{192, 255, 255, 255};
  mStyle.alignment = kAlignFar;
}

bool IQVOnlineVersionMenu::Paint(IGraphics* graphics) {
  PixelRect r = mRect;
  return graphics->RenderText(mStyle, "VERSION " VELTRANE_VERSION_STRING ".N", r, false);
}

void IQVOnlineVersionMenu::OnPress(int x, int y, const MouseModifiers& mods) {
  IGraphics* graphics = mPlug->Editor();
  if (graphics == nullptr) return;
  PopupMenu menu(0);
  menu.AddItem("Check Online for Update");
  menu.AddItem((std::string("Visit ") + kMakerWebDomain).c_str());
  PopupMenu* chosen = graphics->RunPopupMenu(menu, PixelRect{x, y, x, y});
  if (chosen != nullptr && chosen->ChosenIndex() == 0) {
    StartCheck();
  } else if (chosen != nullptr && chosen->ChosenIndex() == 1) {
    const std::string home = std::string(kMakerWebAddress) + "/";
    graphics->LaunchUrl(home.c_str(), nullptr, nullptr, nullptr);
  }
  graphics->MarkAllDirty();
}

void IQVOnlineVersionMenu::StartCheck() {
  if (mRequest != nullptr) return;  // one check at a time
  auto request = std::make_shared<Request>();
  // The worker may still be waiting for the server when the host unloads
  // the plug-in: its code stays loaded.
  PinPluginModule();
  ++gChecksRunning;
  try {
    std::thread([request, server = mServer] {
      request->reply = HttpGetText(kProductName, server, kVersionQuery);
      request->done.store(true, std::memory_order_release);
      --gChecksRunning;
    }).detach();
  } catch (const std::exception&) {
    --gChecksRunning;
    ShowOnlineVersionAnswer(mPlug, std::string());  // no thread: as no reply
    return;
  }
  mRequest = request;
}

bool IQVOnlineVersionMenu::ShowArrivedAnswer() {
  if (mRequest == nullptr || !mRequest->done.load(std::memory_order_acquire)) return false;
  const std::string reply = mRequest->reply;
  mRequest.reset();
  ShowOnlineVersionAnswer(mPlug, reply);
  if (IGraphics* graphics = mPlug->Editor()) graphics->MarkAllDirty();
  return true;
}
