// A small CLAP host for tests: loads a built Veltrane.clap through its
// clap_entry export only, offers the host extensions the plug-in asks for
// (params, state, timer and file-descriptor support, thread check) and
// records every call the plug-in makes into it, with the thread and whether
// it came from inside process or flush. It links none of the plug-in's code.
//
// The thread the host was created on is its main thread; the audio thread
// is whichever thread is inside Process or Flush at the time.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "plugin/clap/clap_interface.h"

namespace claphost {

// The loaded module; kept loaded for the life of the process.
class ClapModule {
 public:
  explicit ClapModule(const std::string& path);
  const clap_plugin_entry_t* entry() const { return entry_; }
  const clap_plugin_factory_t* factory() const { return factory_; }
  const std::string& error() const { return error_; }

 private:
  const clap_plugin_entry_t* entry_ = nullptr;
  const clap_plugin_factory_t* factory_ = nullptr;
  std::string error_;
};

// VELTRANE_CLAP, loaded and initialised once per process.
const ClapModule& SharedClapModule();
std::string ClapPath();

// One call the plug-in made into the host.
struct HostCall {
  std::string_view what;  // "request_flush", "rescan", "mark_dirty", "register_timer", ...
  uint32_t arg = 0;
  bool mainThread = false;
  bool insideProcess = false;
};

// An event as the plug-in pushed it.
struct OutEvent {
  uint16_t type = 0;
  uint32_t time = 0;
  uint32_t param = 0;
  double value = 0.0;
};

// Input events for one call, in time order.
class EventList {
 public:
  void Value(uint32_t time, uint32_t param, double value);
  void Transport(uint32_t time, const clap_event_transport_t& transport);
  void Raw(const clap_event_header_t* event);  // copied, `size` bytes
  const clap_input_events_t* list() const { return &list_; }
  size_t size() const { return events_.size(); }
  EventList();
  EventList(const EventList&) = delete;
  EventList& operator=(const EventList&) = delete;

 private:
  static uint32_t CLAP_ABI Size(const clap_input_events_t* list);
  static const clap_event_header_t* CLAP_ABI Get(const clap_input_events_t* list, uint32_t index);
  std::vector<std::vector<uint64_t>> events_;  // 8-byte aligned storage
  clap_input_events_t list_;
};

// A transport record with the given flags; positions in beats and seconds.
clap_event_transport_t MakeTransport(uint32_t flags, double tempo, double beats, double seconds = 0.0);

class ClapInstance {
 public:
  // Creates and initialises the plug-in; null when either step fails.
  static std::unique_ptr<ClapInstance> Create(const std::string& name = "Veltrane test host");
  ~ClapInstance();  // deactivates if needed, then destroys
  ClapInstance(const ClapInstance&) = delete;
  ClapInstance& operator=(const ClapInstance&) = delete;

  const clap_plugin_t* plugin() const { return plugin_; }
  const void* Extension(const char* id) const;
  const clap_plugin_params_t* params() const;
  const clap_plugin_state_t* state() const;
  const clap_plugin_gui_t* gui() const;

  bool Activate(double rate = 44100.0, uint32_t maxFrames = 1024);
  // Destroys the plug-in still active, as a careless host might.
  void DestroyWhileActive();
  void Deactivate();

  // Processes one block on the calling thread; channels are those given
  // (an empty vector gives no buffer for that side). Output events land in
  // OutEvents(). Returns the plug-in's status.
  clap_process_status ProcessFloat(std::vector<std::vector<float>>& in, std::vector<std::vector<float>>& out,
                                   uint32_t frames, const EventList* events = nullptr,
                                   const clap_event_transport_t* transport = nullptr, size_t offset = 0);
  clap_process_status ProcessDouble(std::vector<std::vector<double>>& in, std::vector<std::vector<double>>& out,
                                    uint32_t frames, const EventList* events = nullptr,
                                    const clap_event_transport_t* transport = nullptr, size_t offset = 0);
  // What both do, in either precision.
  template <typename Sample>
  clap_process_status ProcessSamples(std::vector<std::vector<Sample>>& in, std::vector<std::vector<Sample>>& out,
                                     uint32_t frames, const EventList* events, const clap_event_transport_t* transport,
                                     size_t offset);
  void Flush(const EventList* events = nullptr);
  // Processes a block the caller laid out (buffers, frames, transport); the
  // events and the output list are filled in. Allocates nothing, so that
  // the allocation audit counts only the plug-in.
  clap_process_status Run(clap_process_t& process, const EventList* events);

  // Parameters as the host sees them.
  uint32_t ParamCount();
  clap_param_info_t Info(uint32_t index);
  double Value(uint32_t id);
  std::string Text(uint32_t id, double value);
  bool TextToValue(uint32_t id, const std::string& text, double* value);
  // Sets a value through a flush, as a host does while not processing.
  void SetValue(uint32_t id, double value);

  // State through streams; `piece` bounds each read or write (0: no bound).
  bool Save(std::vector<uint8_t>& bytes, size_t piece = 0);
  bool Load(const std::vector<uint8_t>& bytes, size_t piece = 0);

  // What the plug-in did to the host.
  std::vector<HostCall> Calls() const;
  size_t Count(const std::string& what) const;
  void ClearCalls();
  std::vector<OutEvent> OutEvents() const;
  void ClearOutEvents();
  bool FlushRequested() const { return flushRequested_.load(); }
  // The output port's constant_mask after the last process call.
  uint64_t ConstantMask() const { return constantMask_; }
  bool CallbackRequested() const { return callbackRequested_.load(); }
  void ClearRequests();
  // The timer and descriptor the plug-in registered (0 / -1 when none).
  bool TimerRegistered(clap_id* id, uint32_t* period) const;
  int RegisteredFd() const;
  // Runs the registered timer or descriptor callback once.
  void FireTimer();
  void FireFd();

  const clap_host_t* host() const { return &host_; }

 private:
  ClapInstance();
  void Record(const char* what, uint32_t arg = 0);

  static ClapInstance* Of(const clap_host_t* host);
  static const void* CLAP_ABI HostExtension(const clap_host_t* host, const char* id);
  static void CLAP_ABI RequestRestart(const clap_host_t* host);
  static void CLAP_ABI RequestProcess(const clap_host_t* host);
  static void CLAP_ABI RequestCallback(const clap_host_t* host);
  static void CLAP_ABI Rescan(const clap_host_t* host, uint32_t flags);
  static void CLAP_ABI Clear(const clap_host_t* host, clap_id id, uint32_t flags);
  static void CLAP_ABI RequestFlush(const clap_host_t* host);
  static void CLAP_ABI MarkDirty(const clap_host_t* host);
  static bool CLAP_ABI RegisterTimer(const clap_host_t* host, uint32_t period, clap_id* id);
  static bool CLAP_ABI UnregisterTimer(const clap_host_t* host, clap_id id);
  static bool CLAP_ABI RegisterFd(const clap_host_t* host, int fd, uint32_t flags);
  static bool CLAP_ABI ModifyFd(const clap_host_t* host, int fd, uint32_t flags);
  static bool CLAP_ABI UnregisterFd(const clap_host_t* host, int fd);
  static bool CLAP_ABI IsMainThread(const clap_host_t* host);
  static bool CLAP_ABI IsAudioThread(const clap_host_t* host);
  static bool CLAP_ABI TryPush(const clap_output_events_t* list, const clap_event_header_t* event);

  std::string name_;
  clap_host_t host_;
  clap_host_params_t hostParams_;
  clap_host_state_t hostState_;
  clap_host_timer_support_t hostTimers_;
  clap_host_posix_fd_support_t hostFds_;
  clap_host_thread_check_t hostThreads_;
  clap_output_events_t outList_;
  const clap_plugin_t* plugin_ = nullptr;
  bool active_ = false;
  std::thread::id mainThread_;
  std::atomic<bool> inProcess_{false};
  std::atomic<std::thread::id> audioThread_{};
  std::atomic<bool> flushRequested_{false};
  uint64_t constantMask_ = 0;
  std::atomic<bool> callbackRequested_{false};

  mutable std::mutex mutex_;
  std::vector<HostCall> calls_;
  std::vector<OutEvent> outEvents_;
  clap_id timerId_ = CLAP_INVALID_ID;
  uint32_t timerPeriod_ = 0;
  int fd_ = -1;
};

}  // namespace claphost
