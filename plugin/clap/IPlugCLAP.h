// The CLAP binding: the plug-in record and the extensions it offers (audio
// ports, parameters, state, editor, timer and file-descriptor callbacks),
// and every call the plug-in makes into the host. This is the only layer
// that knows CLAP types.
//
// Threads, as CLAP assigns them:
// - main thread: init, destroy, activate, deactivate, every extension call
//   except the ones below, the editor, timers, descriptors, on_main_thread;
// - audio thread: start_processing, stop_processing, reset, process, and
//   params.flush while active.
// Calls from the host hold the plug-in's critical section for their
// hand-overs; the editor's window calls do not, and the audio thread only
// tries it (IPlugBase::ProcessAudio). On the audio thread nothing allocates
// and no host function is called; changes
// the plug-in makes itself (the editor, a linked partner, a program) wait in
// a fixed queue until the next process or flush hands them to the host as
// gesture begin, value and gesture end events.
//
// Parameter values toward the host are the parameters' own values in their
// own ranges (not 0..1): a value a host sends is stored exactly, the way a
// VST 2.4 host's text entry stores it, so automation replays bit for bit.
#pragma once

#include <cstdint>

#include "plugin/IPlugBase.h"
#include "plugin/PluginEntry.h"
#include "plugin/clap/clap_interface.h"

// What a CLAP host hands the factory: its host record.
struct HostConnection {
  const clap_host_t* host = nullptr;
};

// The product's descriptor (id, name, vendor, features); defined beside the
// module's entry.
const clap_plugin_descriptor_t* ProductClapDescriptor();

class IPlugCLAP : public IPlugBase {
 public:
  // A null host (tests) is a host that offers nothing.
  IPlugCLAP(const HostConnection* host, int numParams, const char* channelIOString, int numPresets,
            const char* effectName, const char* productName, const char* makerName, int32_t version,
            int32_t uniqueId, int32_t makerId, int latency, bool takesMidi, bool usesChunks, bool isInstrument);
  ~IPlugCLAP() override;

  void BeginParameterEdit(int index) override;
  void NotifyHostOfParameter(int index, double normalised) override;
  void EndParameterEdit(int index) override;
  void NotifyHostOfProgramChange() override;
  int HostSamplePosition() override;
  double HostTempo() override;
  void HostTimeSignature(int* numerator, int* denominator) override;
  void ReadTransport(TransportInfo* info) override;
  void ResizeEditor(int width, int height) override;
  bool SendMidiToHost(const MidiMessage& message) override { return false; }

  const clap_plugin_t* ClapPlugin() const { return &mClapPlugin; }

  // Changes the plug-in made that the host has not been handed yet.
  static constexpr int kQueueCapacity = 1024;

 private:
  struct QueuedEvent {
    uint16_t type;  // value, gesture begin or gesture end
    uint32_t param;
    uint32_t time;
    double value;
  };

  static IPlugCLAP* From(const clap_plugin_t* plugin);

  // The plug-in record.
  static bool CLAP_ABI Init(const clap_plugin_t* plugin);
  static void CLAP_ABI Destroy(const clap_plugin_t* plugin);
  static bool CLAP_ABI Activate(const clap_plugin_t* plugin, double sampleRate, uint32_t minFrames,
                                uint32_t maxFrames);
  static void CLAP_ABI Deactivate(const clap_plugin_t* plugin);
  static bool CLAP_ABI StartProcessing(const clap_plugin_t* plugin);
  static void CLAP_ABI StopProcessing(const clap_plugin_t* plugin);
  static void CLAP_ABI Reset(const clap_plugin_t* plugin);
  static clap_process_status CLAP_ABI Process(const clap_plugin_t* plugin, const clap_process_t* process);
  static const void* CLAP_ABI GetExtension(const clap_plugin_t* plugin, const char* id);
  static void CLAP_ABI OnMainThread(const clap_plugin_t* plugin);

  // audio-ports
  static uint32_t CLAP_ABI PortCount(const clap_plugin_t* plugin, bool isInput);
  static bool CLAP_ABI PortInfo(const clap_plugin_t* plugin, uint32_t index, bool isInput,
                                clap_audio_port_info_t* info);
  // params
  static uint32_t CLAP_ABI ParamCount(const clap_plugin_t* plugin);
  static bool CLAP_ABI ParamInfo(const clap_plugin_t* plugin, uint32_t index, clap_param_info_t* info);
  static bool CLAP_ABI ParamValue(const clap_plugin_t* plugin, clap_id id, double* value);
  static bool CLAP_ABI ParamValueToText(const clap_plugin_t* plugin, clap_id id, double value, char* text,
                                        uint32_t capacity);
  static bool CLAP_ABI ParamTextToValue(const clap_plugin_t* plugin, clap_id id, const char* text, double* value);
  static void CLAP_ABI ParamFlush(const clap_plugin_t* plugin, const clap_input_events_t* in,
                                  const clap_output_events_t* out);
  // state
  static bool CLAP_ABI StateSave(const clap_plugin_t* plugin, const clap_ostream_t* stream);
  static bool CLAP_ABI StateLoad(const clap_plugin_t* plugin, const clap_istream_t* stream);
  // gui
  static bool CLAP_ABI GuiIsApiSupported(const clap_plugin_t* plugin, const char* api, bool floating);
  static bool CLAP_ABI GuiPreferredApi(const clap_plugin_t* plugin, const char** api, bool* floating);
  static bool CLAP_ABI GuiCreate(const clap_plugin_t* plugin, const char* api, bool floating);
  static void CLAP_ABI GuiDestroy(const clap_plugin_t* plugin);
  static bool CLAP_ABI GuiSetScale(const clap_plugin_t* plugin, double scale);
  static bool CLAP_ABI GuiGetSize(const clap_plugin_t* plugin, uint32_t* width, uint32_t* height);
  static bool CLAP_ABI GuiCanResize(const clap_plugin_t* plugin);
  static bool CLAP_ABI GuiResizeHints(const clap_plugin_t* plugin, clap_gui_resize_hints_t* hints);
  static bool CLAP_ABI GuiAdjustSize(const clap_plugin_t* plugin, uint32_t* width, uint32_t* height);
  static bool CLAP_ABI GuiSetSize(const clap_plugin_t* plugin, uint32_t width, uint32_t height);
  static bool CLAP_ABI GuiSetParent(const clap_plugin_t* plugin, const clap_window_t* window);
  static bool CLAP_ABI GuiSetTransient(const clap_plugin_t* plugin, const clap_window_t* window);
  static void CLAP_ABI GuiSuggestTitle(const clap_plugin_t* plugin, const char* title);
  static bool CLAP_ABI GuiShow(const clap_plugin_t* plugin);
  static bool CLAP_ABI GuiHide(const clap_plugin_t* plugin);
  // timer-support, posix-fd-support
  static void CLAP_ABI OnTimer(const clap_plugin_t* plugin, clap_id timer);
  static void CLAP_ABI OnFd(const clap_plugin_t* plugin, int fd, uint32_t flags);

  // After the effect's parameters (ids 0 ..), the host's bypass switch.
  static constexpr clap_id kBypassParamId = 0x42797073;  // 'Byps'
  static constexpr int kMaxBatch = 64;
  // The host's events of one process or flush call, for the core's block
  // loop. Audio thread (main thread for a flush while inactive).
  class ProcessEvents : public BlockEvents {
   public:
    explicit ProcessEvents(IPlugCLAP& plug) : mPlug(plug) {}
    void Start(const clap_input_events_t* in, const clap_output_events_t* out);
    void BlockBegins() override;
    int ApplyUntil(int position, int frames) override;
    void BlockEnds() override;
    void KeepForNextBlock() override;

   private:
    IPlugCLAP& mPlug;
    const clap_input_events_t* mIn = nullptr;
    const clap_output_events_t* mOut = nullptr;
    uint32_t mCount = 0;
    uint32_t mNext = 0;
    // Last values of blocks processed without the section.
    ParamChange mKept[kMaxBatch];
    int mKeptCount = 0;
  };

  const void* HostExtension(const char* id) const;
  clap_process_status RunProcess(const clap_process_t* process);
  static bool IsTransport(const clap_event_header_t* event);
  void ApplyTransport(const clap_event_header_t* event, uint32_t frame);
  bool HostValueOf(const clap_event_header_t* event, ParamChange* change) const;
  void ApplyHostBatch(const ParamChange* changes, int count, uint32_t frame);
  void Enqueue(uint16_t type, int param, double value);
  void DrainQueue(const clap_output_events_t* out);
  void RequestFlush();
  void WantTextRescan();
  bool SaveState(const clap_ostream_t* stream);
  bool LoadState(const clap_istream_t* stream);
  bool LoadChunkBytes(const ChunkBuffer& chunk);
  bool OpenEditor(void* parent);
  void CloseEditor();
  void EditorIdle();

  clap_plugin_t mClapPlugin;
  const clap_host_t* mHost;
  const clap_host_params_t* mHostParams = nullptr;
  const clap_host_state_t* mHostState = nullptr;
  const clap_host_timer_support_t* mHostTimers = nullptr;
  const clap_host_posix_fd_support_t* mHostFds = nullptr;
  const clap_host_gui_t* mHostGui = nullptr;
  bool mInitialised = false;
  bool mActive = false;
  // Inside process or flush with the section held: changes go out through
  // its event list.
  bool mInProcess = false;
  uint32_t mEventTime = 0;

  // The audio thread's own: the host's transport as last given (at block
  // start or by an event), and the frame of the current block it applies at.
  clap_event_transport_t mTransport{};
  bool mHaveTransport = false;
  uint32_t mTransportFrame = 0;
  ProcessEvents mEvents{*this};

  QueuedEvent mQueue[kQueueCapacity];
  int mQueued = 0;
  // Parameters whose latest value did not fit the queue: sent at the next drain.
  uint64_t mOverflowed = 0;
  static constexpr int kMaxGestureParams = 64;
  bool mGesture[kMaxGestureParams] = {};     // the editor's own, begun and not ended
  bool mCarried[kMaxGestureParams] = {};     // partners' changes during one of the editor's
  int mOpenGestures = 0;
  bool mTextRescanWanted = false;

  bool mGuiCreated = false;
  bool mEditorOpen = false;
  clap_id mTimerId = CLAP_INVALID_ID;
  int mEventFd = -1;
};
