#include "plugin/clap/IPlugCLAP.h"

#include <cmath>
#include <cstring>
#include <vector>

#include "graphics/IGraphics.h"
#include "plugin/clap/ClapWindow.h"

namespace {

// A state stream longer than this is not ours: a whole bank is a few
// kilobytes.
constexpr int64_t kMaxStateBytes = 16 << 20;
// Half the editor's 40 ms repaint period, so timer jitter never skips a tick.
constexpr uint32_t kEditorTimerMs = 20;

bool IsCoreEvent(const clap_event_header_t* event) {
  return event != nullptr && event->space_id == CLAP_CORE_EVENT_SPACE_ID;
}

// The time a CLAP fixed-point position stands for.
double FromFixed(int64_t value) { return static_cast<double>(value) / static_cast<double>(CLAP_BEATTIME_FACTOR); }

}  // namespace

// A CLAP instance opens its own editor.
bool InstanceHasEditor(const HostConnection*) { return true; }

IPlugCLAP::IPlugCLAP(const HostConnection* host, int numParams, const char* channelIOString, int numPresets,
                     const char* effectName, const char* productName, const char* makerName, int32_t version,
                     int32_t uniqueId, int32_t makerId, int latency, bool takesMidi, bool usesChunks,
                     bool isInstrument)
    : IPlugBase(numParams, channelIOString, numPresets, effectName, productName, makerName, version, uniqueId,
                makerId, latency, takesMidi, usesChunks, isInstrument),
      mHost(host != nullptr ? host->host : nullptr) {
  std::memset(&mClapPlugin, 0, sizeof mClapPlugin);
  mClapPlugin.desc = ProductClapDescriptor();
  mClapPlugin.plugin_data = this;
  mClapPlugin.init = &Init;
  mClapPlugin.destroy = &Destroy;
  mClapPlugin.activate = &Activate;
  mClapPlugin.deactivate = &Deactivate;
  mClapPlugin.start_processing = &StartProcessing;
  mClapPlugin.stop_processing = &StopProcessing;
  mClapPlugin.reset = &Reset;
  mClapPlugin.process = &Process;
  mClapPlugin.get_extension = &GetExtension;
  mClapPlugin.on_main_thread = &OnMainThread;
  std::memset(mQueue, 0, sizeof mQueue);
  for (int i = 0; i < NumInputChannels(); ++i) InputAt(i).connected = true;
  for (int i = 0; i < NumOutputChannels(); ++i) OutputAt(i).connected = true;
  ChangeBlockSize(1024);
}

IPlugCLAP::~IPlugCLAP() = default;

IPlugCLAP* IPlugCLAP::From(const clap_plugin_t* plugin) {
  return plugin != nullptr ? static_cast<IPlugCLAP*>(plugin->plugin_data) : nullptr;
}

const void* IPlugCLAP::HostExtension(const char* id) const {
  if (mHost == nullptr || mHost->get_extension == nullptr) return nullptr;
  return mHost->get_extension(mHost, id);
}

// Host services

void IPlugCLAP::Enqueue(uint16_t type, int param, double value) {
  if (mQueued < kQueueCapacity) {
    mQueue[mQueued++] = QueuedEvent{type, static_cast<uint32_t>(param), mInProcess ? mEventTime : 0u, value};
  } else if (param >= 0 && param < 64) {
    // A host that never flushes still gets every parameter's last value.
    mOverflowed |= uint64_t(1) << param;
  }
}

void IPlugCLAP::RequestFlush() {
  // Inside process or flush the events go out when it returns; the host's
  // request_flush is not for the audio thread.
  if (mInProcess || !mInitialised || mHostParams == nullptr || mHostParams->request_flush == nullptr) return;
  mHostParams->request_flush(mHost);
}

// Before init (the factory bank loads in the constructor) the host hears
// of no change: it reads every value when it starts.

void IPlugCLAP::BeginParameterEdit(int index) {
  if (!mInitialised || index < 0 || index >= NumParams() || index >= kMaxGestureParams) return;
  CriticalSectionGuard guard(mLock);
  if (mGesture[index]) return;
  mGesture[index] = true;
  ++mOpenGestures;
  if (mCarried[index]) {
    mCarried[index] = false;  // already begun for a partner; the editor's own now
  } else {
    Enqueue(CLAP_EVENT_PARAM_GESTURE_BEGIN, index, 0.0);
  }
  RequestFlush();
}

void IPlugCLAP::NotifyHostOfParameter(int index, double normalised) {
  const ParamRecord* param = ParamAt(index);
  if (!mInitialised || param == nullptr || index >= kMaxGestureParams) return;
  CriticalSectionGuard guard(mLock);
  // The value stored is the exact one; normalised is its image in 0..1.
  const double value = param->value;
  if (mGesture[index] || mCarried[index]) {
    Enqueue(CLAP_EVENT_PARAM_VALUE, index, value);
  } else if (mOpenGestures > 0) {
    // A linked partner follows the editor's gesture: it begins now and ends
    // with the editor's last one.
    mCarried[index] = true;
    Enqueue(CLAP_EVENT_PARAM_GESTURE_BEGIN, index, 0.0);
    Enqueue(CLAP_EVENT_PARAM_VALUE, index, value);
  } else {
    Enqueue(CLAP_EVENT_PARAM_GESTURE_BEGIN, index, 0.0);
    Enqueue(CLAP_EVENT_PARAM_VALUE, index, value);
    Enqueue(CLAP_EVENT_PARAM_GESTURE_END, index, 0.0);
  }
  if (param->type != kTypeDouble) WantTextRescan();
  RequestFlush();
}

void IPlugCLAP::WantTextRescan() {
  // Another parameter's display may follow a stepped one ("Sync to Host"):
  // the host reads the texts again on its main thread.
  if (mTextRescanWanted || mHost == nullptr || mHost->request_callback == nullptr) return;
  mTextRescanWanted = true;
  mHost->request_callback(mHost);
}

void IPlugCLAP::EndParameterEdit(int index) {
  if (!mInitialised || index < 0 || index >= NumParams() || index >= kMaxGestureParams) return;
  CriticalSectionGuard guard(mLock);
  if (!mGesture[index]) return;
  mGesture[index] = false;
  Enqueue(CLAP_EVENT_PARAM_GESTURE_END, index, 0.0);
  if (--mOpenGestures == 0) {
    for (int i = 0; i < kMaxGestureParams; ++i) {
      if (!mCarried[i]) continue;
      mCarried[i] = false;
      Enqueue(CLAP_EVENT_PARAM_GESTURE_END, i, 0.0);
    }
  }
  RequestFlush();
}

void IPlugCLAP::NotifyHostOfProgramChange() {
  // Programs change on the main thread (the editor's menu); the factory
  // bank's load in the constructor comes before the host may be called.
  if (!mInitialised || mInProcess) return;
  if (mHostState != nullptr && mHostState->mark_dirty != nullptr) mHostState->mark_dirty(mHost);
  if (mHostParams != nullptr && mHostParams->rescan != nullptr)
    mHostParams->rescan(mHost, CLAP_PARAM_RESCAN_VALUES | CLAP_PARAM_RESCAN_TEXT);
}

void IPlugCLAP::ReadTransport(TransportInfo* info) {
  if (!mHaveTransport) return;
  const clap_event_transport_t& t = mTransport;
  const bool hasTempo = (t.flags & CLAP_TRANSPORT_HAS_TEMPO) != 0 && t.tempo > 0.0;
  const bool hasBeats = (t.flags & CLAP_TRANSPORT_HAS_BEATS_TIMELINE) != 0;
  const bool playing = (t.flags & CLAP_TRANSPORT_IS_PLAYING) != 0;
  // Pieces after the frame the transport applies at see it moved on.
  const uint32_t piece = static_cast<uint32_t>(PieceOffset());
  const double elapsed = piece > mTransportFrame ? static_cast<double>(piece - mTransportFrame) : 0.0;
  if (t.flags & CLAP_TRANSPORT_HAS_SECONDS_TIMELINE)
    info->samplePosition = FromFixed(t.song_pos_seconds) * SampleRate() + elapsed;
  if (hasBeats) {
    double beats = FromFixed(t.song_pos_beats);
    if (playing && hasTempo && elapsed > 0.0) beats += elapsed * t.tempo / (60.0 * SampleRate());
    if (beats >= 0.0) info->ppqPosition = beats;
    if (t.bar_start >= 0) info->lastBarStart = FromFixed(t.bar_start);
    if (t.loop_start_beats >= 0 && t.loop_end_beats >= 0) {
      info->cycleStart = FromFixed(t.loop_start_beats);
      info->cycleEnd = FromFixed(t.loop_end_beats);
    }
  }
  if (hasTempo) info->tempo = t.tempo;
  if ((t.flags & CLAP_TRANSPORT_HAS_TIME_SIGNATURE) && t.tsig_num > 0 && t.tsig_denom > 0) {
    info->numerator = t.tsig_num;
    info->denominator = t.tsig_denom;
  }
  info->transportRunning = playing;
  info->loopEnabled = (t.flags & CLAP_TRANSPORT_IS_LOOP_ACTIVE) != 0;
}

int IPlugCLAP::HostSamplePosition() {
  TransportInfo info;
  ReadTransport(&info);
  return WholeSamplePosition(info.samplePosition);
}

double IPlugCLAP::HostTempo() {
  if (!mHaveTransport || (mTransport.flags & CLAP_TRANSPORT_HAS_TEMPO) == 0 || !(mTransport.tempo >= 0.0)) return 0.0;
  return mTransport.tempo;
}

void IPlugCLAP::HostTimeSignature(int* numerator, int* denominator) {
  *numerator = 0;
  *denominator = 0;
  if (mHaveTransport && (mTransport.flags & CLAP_TRANSPORT_HAS_TIME_SIGNATURE)) {
    *numerator = mTransport.tsig_num;
    *denominator = mTransport.tsig_denom;
  }
}

// An open editor changed its size (a new scale): the host sizes its frame.
void IPlugCLAP::ResizeEditor(int width, int height) {
  EditorResized(Editor(), width, height);
  if (mEditorOpen && mHostGui != nullptr && mHostGui->request_resize != nullptr && width > 0 && height > 0)
    mHostGui->request_resize(mHost, static_cast<uint32_t>(width), static_cast<uint32_t>(height));
}

// The plug-in record

bool CLAP_ABI IPlugCLAP::Init(const clap_plugin_t* plugin) {
  IPlugCLAP* plug = From(plugin);
  if (plug == nullptr) return false;
  CriticalSectionGuard guard(plug->mLock);
  if (plug->mInitialised) return true;
  plug->mHostParams = static_cast<const clap_host_params_t*>(plug->HostExtension(CLAP_EXT_PARAMS));
  plug->mHostState = static_cast<const clap_host_state_t*>(plug->HostExtension(CLAP_EXT_STATE));
  plug->mHostTimers = static_cast<const clap_host_timer_support_t*>(plug->HostExtension(CLAP_EXT_TIMER_SUPPORT));
  plug->mHostFds = static_cast<const clap_host_posix_fd_support_t*>(plug->HostExtension(CLAP_EXT_POSIX_FD_SUPPORT));
  plug->mHostGui = static_cast<const clap_host_gui_t*>(plug->HostExtension(CLAP_EXT_GUI));
  if (plug->mHost != nullptr && plug->mHost->name != nullptr) plug->mHostKind = IdentifyHostByName(plug->mHost->name);
  plug->NotifyAllParametersChanged();
  plug->mInitialised = true;
  return true;
}

void CLAP_ABI IPlugCLAP::Destroy(const clap_plugin_t* plugin) {
  IPlugCLAP* plug = From(plugin);
  if (plug == nullptr) return;
  if (plug->mGuiCreated) GuiDestroy(plugin);
  // Whoever still holds the section finishes before the object goes away.
  plug->mLock.Enter();
  plug->mLock.Leave();
  delete plug;
}

bool CLAP_ABI IPlugCLAP::Activate(const clap_plugin_t* plugin, double sampleRate, uint32_t minFrames,
                                  uint32_t maxFrames) {
  IPlugCLAP* plug = From(plugin);
  if (plug == nullptr) return false;
  CriticalSectionGuard guard(plug->mLock);
  // A rate that is not a positive number is kept out of the signal path.
  if (plug->mActive || !(sampleRate > 0.0) || !std::isfinite(sampleRate) || maxFrames < 1) return false;
  plug->ChangeSampleRate(sampleRate);
  plug->ChangeBlockSize(maxFrames > 0x7FFFFFFFu ? 0x7FFFFFFF : static_cast<int>(maxFrames));
  plug->ResetProcessing();  // as any change of rate does
  plug->IPlugBase::Activate(true);
  plug->mActive = true;
  return true;
}

void CLAP_ABI IPlugCLAP::Deactivate(const clap_plugin_t* plugin) {
  IPlugCLAP* plug = From(plugin);
  if (plug == nullptr) return;
  CriticalSectionGuard guard(plug->mLock);
  if (!plug->mActive) return;
  plug->IPlugBase::Activate(false);
  plug->mActive = false;
}

bool CLAP_ABI IPlugCLAP::StartProcessing(const clap_plugin_t* plugin) {
  IPlugCLAP* plug = From(plugin);
  if (plug == nullptr) return false;
  CriticalSectionGuard guard(plug->mLock);
  return plug->mActive;
}

// Nothing to stop: the host's next process call finds everything as it was.
void CLAP_ABI IPlugCLAP::StopProcessing(const clap_plugin_t* plugin) {}

void CLAP_ABI IPlugCLAP::Reset(const clap_plugin_t* plugin) {
  IPlugCLAP* plug = From(plugin);
  if (plug == nullptr) return;
  CriticalSectionGuard guard(plug->mLock);
  plug->ResetProcessing();
}

const void* CLAP_ABI IPlugCLAP::GetExtension(const clap_plugin_t* plugin, const char* id) {
  static const clap_plugin_audio_ports_t audioPorts = {&PortCount, &PortInfo};
  static const clap_plugin_params_t params = {&ParamCount,       &ParamInfo,        &ParamValue,
                                              &ParamValueToText, &ParamTextToValue, &ParamFlush};
  static const clap_plugin_state_t state = {&StateSave, &StateLoad};
  static const clap_plugin_gui_t gui = {&GuiIsApiSupported, &GuiPreferredApi, &GuiCreate,     &GuiDestroy,
                                        &GuiSetScale,       &GuiGetSize,      &GuiCanResize,  &GuiResizeHints,
                                        &GuiAdjustSize,     &GuiSetSize,      &GuiSetParent,  &GuiSetTransient,
                                        &GuiSuggestTitle,   &GuiShow,         &GuiHide};
  static const clap_plugin_timer_support_t timers = {&OnTimer};
  static const clap_plugin_posix_fd_support_t fds = {&OnFd};
  IPlugCLAP* plug = From(plugin);
  if (plug == nullptr || id == nullptr) return nullptr;
  if (std::strcmp(id, CLAP_EXT_AUDIO_PORTS) == 0) return &audioPorts;
  if (std::strcmp(id, CLAP_EXT_PARAMS) == 0) return &params;
  if (std::strcmp(id, CLAP_EXT_STATE) == 0) return &state;
  // The editor's window classes are per OS; a build without one offers none.
  if (plug->Editor() == nullptr) return nullptr;
  if (std::strcmp(id, CLAP_EXT_GUI) == 0) return &gui;
  if (ClapEditorNeedsHostTimer()) {
    if (std::strcmp(id, CLAP_EXT_TIMER_SUPPORT) == 0) return &timers;
    if (std::strcmp(id, CLAP_EXT_POSIX_FD_SUPPORT) == 0) return &fds;
  }
  return nullptr;
}

void CLAP_ABI IPlugCLAP::OnMainThread(const clap_plugin_t* plugin) {
  IPlugCLAP* plug = From(plugin);
  if (plug == nullptr) return;
  bool rescan;
  {
    CriticalSectionGuard guard(plug->mLock);
    rescan = plug->mTextRescanWanted;
    plug->mTextRescanWanted = false;
  }
  if (rescan && plug->mHostParams != nullptr && plug->mHostParams->rescan != nullptr)
    plug->mHostParams->rescan(plug->mHost, CLAP_PARAM_RESCAN_TEXT);
}

// Processing

clap_process_status CLAP_ABI IPlugCLAP::Process(const clap_plugin_t* plugin, const clap_process_t* process) {
  IPlugCLAP* plug = From(plugin);
  if (plug == nullptr || process == nullptr) return CLAP_PROCESS_ERROR;
  return plug->RunProcess(process);
}

clap_process_status IPlugCLAP::RunProcess(const clap_process_t* process) {
  // The audio thread's own: the transport and the host's channels.
  mHaveTransport = process->transport != nullptr;
  if (mHaveTransport) mTransport = *process->transport;
  mTransportFrame = 0;

  // The precision is the outputs'; both ports require the same one.
  clap_audio_buffer_t* out = process->audio_outputs_count > 0 ? process->audio_outputs : nullptr;
  const clap_audio_buffer_t* in = process->audio_inputs_count > 0 ? process->audio_inputs : nullptr;
  const bool useDouble = out != nullptr && out->data32 == nullptr && out->data64 != nullptr;
  bool ok = true;
  if (in != nullptr && in->channel_count > 0) {
    const bool inDouble = in->data32 == nullptr && in->data64 != nullptr;
    ok = inDouble == useDouble && (in->data32 != nullptr || in->data64 != nullptr);
  }
  if (out != nullptr && out->channel_count > 0 && out->data32 == nullptr && out->data64 == nullptr) ok = false;

  // Channels the host does not give read silence and write nowhere.
  float* in32[2] = {nullptr, nullptr};
  float* out32[2] = {nullptr, nullptr};
  double* in64[2] = {nullptr, nullptr};
  double* out64[2] = {nullptr, nullptr};
  for (uint32_t c = 0; c < 2; ++c) {
    if (in != nullptr && c < in->channel_count) {
      if (in->data32 != nullptr) in32[c] = in->data32[c];
      if (in->data64 != nullptr) in64[c] = in->data64[c];
    }
    if (out != nullptr && c < out->channel_count) {
      if (out->data32 != nullptr) out32[c] = out->data32[c];
      if (out->data64 != nullptr) out64[c] = out->data64[c];
    }
  }
  AudioBlock block;
  // Buffers the block cannot be processed with: only its events count.
  block.frames = ok && process->frames_count <= 0x7FFFFFFFu ? static_cast<int>(process->frames_count) : 0;
  block.doubles = useDouble;
  block.in32 = in32;
  block.out32 = out32;
  block.in64 = in64;
  block.out64 = out64;
  mEvents.Start(process->in_events, process->out_events);
  ProcessAudio(block, &mEvents);
  if (!ok) return CLAP_PROCESS_ERROR;
  // Silence out (the tail has died away): the host may let the plug-in
  // sleep until its input is no longer quiet.
  const int channels = out != nullptr ? static_cast<int>(out->channel_count < 2 ? out->channel_count : 2) : 0;
  const uint64_t silent = block.frames > 0 && channels > 0 ? SilentOutputs(block, channels) : 0;
  if (out != nullptr) out->constant_mask = silent;
  return channels > 0 && silent == (uint64_t{1} << channels) - 1 ? CLAP_PROCESS_CONTINUE_IF_NOT_QUIET
                                                                  : CLAP_PROCESS_CONTINUE;
}

void IPlugCLAP::ApplyTransport(const clap_event_header_t* event, uint32_t frame) {
  mTransport = *reinterpret_cast<const clap_event_transport_t*>(event);
  mHaveTransport = true;
  mTransportFrame = frame;
}

// One batch: the host's parameter values at one time. Stepped values are
// whole numbers; CLAP truncates others.
void IPlugCLAP::ApplyHostBatch(const ParamChange* batch, int count, uint32_t frame) {
  mEventTime = frame;
  if (count <= 0) return;
  // The bypass switch is the core's, not one of the effect's values.
  ParamChange changes[kMaxBatch];
  int used = 0;
  for (int i = 0; i < count; ++i) {
    if (batch[i].index == NumParams())
      SetBypassed(batch[i].value >= 0.5);
    else if (used < kMaxBatch)
      changes[used++] = batch[i];
  }
  count = used;
  bool stepped = false;
  double before[kMaxGestureParams];
  for (int i = 0; i < NumParams() && i < kMaxGestureParams; ++i) before[i] = ParamAt(i)->value;
  ChangeParameters(changes, count, ValueSource::kHostText);
  for (int i = 0; i < count; ++i) {
    const ParamRecord* param = ParamAt(changes[i].index);
    if (param->type != kTypeDouble && changes[i].index < kMaxGestureParams && param->value != before[changes[i].index])
      stepped = true;
  }
  if (stepped) WantTextRescan();
}

bool IPlugCLAP::HostValueOf(const clap_event_header_t* event, ParamChange* change) const {
  if (!IsCoreEvent(event) || event->type != CLAP_EVENT_PARAM_VALUE || event->size < sizeof(clap_event_param_value_t))
    return false;
  const clap_event_param_value_t* value = reinterpret_cast<const clap_event_param_value_t*>(event);
  if (value->param_id == kBypassParamId && std::isfinite(value->value)) {
    *change = ParamChange{NumParams(), value->value};
    return true;
  }
  const ParamRecord* param = value->param_id < static_cast<uint32_t>(NumParams()) ? ParamAt(static_cast<int>(value->param_id)) : nullptr;
  if (param == nullptr || !std::isfinite(value->value)) return false;
  change->index = static_cast<int>(value->param_id);
  change->value = param->type != kTypeDouble ? std::trunc(value->value) : value->value;
  return true;
}

bool IPlugCLAP::IsTransport(const clap_event_header_t* event) {
  return IsCoreEvent(event) && event->type == CLAP_EVENT_TRANSPORT && event->size >= sizeof(clap_event_transport_t);
}

void IPlugCLAP::ProcessEvents::Start(const clap_input_events_t* in, const clap_output_events_t* out) {
  mIn = in != nullptr && in->size != nullptr && in->get != nullptr ? in : nullptr;
  mOut = out;
  mCount = mIn != nullptr ? mIn->size(mIn) : 0;
  mNext = 0;
}

void IPlugCLAP::ProcessEvents::BlockBegins() {
  mPlug.mInProcess = true;
  // What came with blocks processed without the section, at this one's start.
  if (mKeptCount > 0) {
    mPlug.ApplyHostBatch(mKept, mKeptCount, 0);
    mKeptCount = 0;
  }
}

int IPlugCLAP::ProcessEvents::ApplyUntil(int position, int frames) {
  ParamChange batch[kMaxBatch];
  int count = 0;
  const bool atEnd = position >= frames;
  // Events at or past the end (or in an empty block) still count, at its
  // last frame.
  const uint32_t frame = atEnd && frames > 0 ? static_cast<uint32_t>(frames - 1) : static_cast<uint32_t>(position);
  int next = frames;
  for (; mNext < mCount; ++mNext) {
    const clap_event_header_t* event = mIn->get(mIn, mNext);
    const uint32_t time = event != nullptr ? event->time : 0;
    if (!atEnd && time > static_cast<uint32_t>(position)) {
      next = time < static_cast<uint32_t>(frames) ? static_cast<int>(time) : frames;
      break;
    }
    ParamChange change;
    if (IsTransport(event)) {
      mPlug.ApplyTransport(event, static_cast<uint32_t>(position));
    } else if (mPlug.HostValueOf(event, &change)) {
      if (count == kMaxBatch) {
        mPlug.ApplyHostBatch(batch, count, frame);
        count = 0;
      }
      batch[count++] = change;
    }
  }
  mPlug.ApplyHostBatch(batch, count, frame);
  return next;
}

void IPlugCLAP::ProcessEvents::BlockEnds() {
  mPlug.DrainQueue(mOut);
  mPlug.mInProcess = false;
  mPlug.mEventTime = 0;
}

void IPlugCLAP::ProcessEvents::KeepForNextBlock() {
  // The transport is the audio thread's own; of the values, each
  // parameter's last waits for a block whose section is free.
  for (uint32_t i = 0; i < mCount; ++i) {
    const clap_event_header_t* event = mIn->get(mIn, i);
    ParamChange change;
    if (IsTransport(event)) {
      mPlug.ApplyTransport(event, event->time);
    } else if (mPlug.HostValueOf(event, &change)) {
      int slot = 0;
      while (slot < mKeptCount && mKept[slot].index != change.index) ++slot;
      if (slot == mKeptCount) {
        if (mKeptCount == kMaxBatch) continue;
        ++mKeptCount;
      }
      mKept[slot] = change;
    }
  }
  mNext = mCount;
}

void IPlugCLAP::DrainQueue(const clap_output_events_t* out) {
  const bool canPush = out != nullptr && out->try_push != nullptr;
  int kept = 0;
  for (int i = 0; i < mQueued; ++i) {
    const QueuedEvent& e = mQueue[i];
    bool pushed = false;
    if (canPush && e.type == CLAP_EVENT_PARAM_VALUE) {
      clap_event_param_value_t event;
      std::memset(&event, 0, sizeof event);
      event.header = {sizeof event, e.time, CLAP_CORE_EVENT_SPACE_ID, CLAP_EVENT_PARAM_VALUE, 0};
      event.param_id = e.param;
      event.note_id = -1;
      event.port_index = event.channel = event.key = -1;
      event.value = e.value;
      pushed = out->try_push(out, &event.header);
    } else if (canPush) {
      clap_event_param_gesture_t event;
      std::memset(&event, 0, sizeof event);
      event.header = {sizeof event, e.time, CLAP_CORE_EVENT_SPACE_ID, e.type, 0};
      event.param_id = e.param;
      pushed = out->try_push(out, &event.header);
    }
    // What the host could not take waits for the next drain, in order.
    if (!pushed) mQueue[kept++] = e;
  }
  mQueued = kept;
  if (mOverflowed != 0 && mQueued == 0) {
    const uint64_t lost = mOverflowed;
    mOverflowed = 0;
    for (int i = 0; i < NumParams() && i < 64; ++i)
      if (lost & (uint64_t(1) << i)) Enqueue(CLAP_EVENT_PARAM_VALUE, i, ParamAt(i)->value);
    if (mQueued > 0) DrainQueue(out);
  }
}

// audio-ports

uint32_t CLAP_ABI IPlugCLAP::PortCount(const clap_plugin_t* plugin, bool isInput) {
  IPlugCLAP* plug = From(plugin);
  if (plug == nullptr) return 0;
  return (isInput ? plug->NumInputChannels() : plug->NumOutputChannels()) > 0 ? 1 : 0;
}

bool CLAP_ABI IPlugCLAP::PortInfo(const clap_plugin_t* plugin, uint32_t index, bool isInput,
                                  clap_audio_port_info_t* info) {
  IPlugCLAP* plug = From(plugin);
  if (plug == nullptr || info == nullptr || index >= PortCount(plugin, isInput)) return false;
  const int channels = isInput ? plug->NumInputChannels() : plug->NumOutputChannels();
  std::memset(info, 0, sizeof *info);
  info->id = 0;
  CopyText(info->name, isInput ? "Main In" : "Main Out", CLAP_NAME_SIZE);
  info->flags = CLAP_AUDIO_PORT_IS_MAIN | CLAP_AUDIO_PORT_SUPPORTS_64BITS | CLAP_AUDIO_PORT_REQUIRES_COMMON_SAMPLE_SIZE;
  info->channel_count = static_cast<uint32_t>(channels);
  info->port_type = channels == 2 ? CLAP_PORT_STEREO : channels == 1 ? CLAP_PORT_MONO : nullptr;
  info->in_place_pair = CLAP_INVALID_ID;
  return true;
}

// params

uint32_t CLAP_ABI IPlugCLAP::ParamCount(const clap_plugin_t* plugin) {
  IPlugCLAP* plug = From(plugin);
  return plug != nullptr ? static_cast<uint32_t>(plug->NumParams()) + 1 : 0;
}

bool CLAP_ABI IPlugCLAP::ParamInfo(const clap_plugin_t* plugin, uint32_t index, clap_param_info_t* info) {
  IPlugCLAP* plug = From(plugin);
  if (plug == nullptr || info == nullptr || index >= ParamCount(plugin)) return false;
  CriticalSectionGuard guard(plug->mLock);
  std::memset(info, 0, sizeof *info);
  if (index == static_cast<uint32_t>(plug->NumParams())) {
    info->id = kBypassParamId;
    info->flags = CLAP_PARAM_IS_AUTOMATABLE | CLAP_PARAM_IS_STEPPED | CLAP_PARAM_IS_BYPASS;
    CopyText(info->name, "Bypass", CLAP_NAME_SIZE);
    info->max_value = 1.0;
    return true;
  }
  const ParamRecord* param = plug->ParamAt(static_cast<int>(index));
  info->id = index;
  info->flags = CLAP_PARAM_IS_AUTOMATABLE;
  if (param->type != kTypeDouble) info->flags |= CLAP_PARAM_IS_STEPPED;
  if (param->type != kTypeDouble && param->HasValueTexts()) info->flags |= CLAP_PARAM_IS_ENUM;
  CopyText(info->name, param->name, CLAP_NAME_SIZE);
  CopyText(info->module, param->group, CLAP_PATH_SIZE);
  info->min_value = param->minimum;
  info->max_value = param->maximum;
  info->default_value = param->defaultValue;
  return true;
}

bool CLAP_ABI IPlugCLAP::ParamValue(const clap_plugin_t* plugin, clap_id id, double* value) {
  IPlugCLAP* plug = From(plugin);
  if (plug == nullptr || value == nullptr) return false;
  CriticalSectionGuard guard(plug->mLock);
  if (id == kBypassParamId) {
    *value = plug->Bypassed() ? 1.0 : 0.0;
    return true;
  }
  if (id >= static_cast<clap_id>(plug->NumParams())) return false;
  *value = plug->ParamAt(static_cast<int>(id))->value;
  return true;
}

bool CLAP_ABI IPlugCLAP::ParamValueToText(const clap_plugin_t* plugin, clap_id id, double value, char* text,
                                          uint32_t capacity) {
  IPlugCLAP* plug = From(plugin);
  if (plug == nullptr || text == nullptr || capacity == 0 || !std::isfinite(value)) return false;
  const int bound = capacity > 0x7FFFFFFFu ? 0x7FFFFFFF : static_cast<int>(capacity);
  if (id == kBypassParamId) {
    CopyText(text, BypassText(value >= 0.5), bound);
    return true;
  }
  if (id >= static_cast<clap_id>(plug->NumParams())) return false;
  CriticalSectionGuard guard(plug->mLock);
  const ParamRecord* param = plug->ParamAt(static_cast<int>(id));
  if (param->type != kTypeDouble) value = std::trunc(value);
  char display[kParamTextSize];
  param->FormatForHost(value, display);
  CopyText(text, display, bound);
  return true;
}

bool CLAP_ABI IPlugCLAP::ParamTextToValue(const clap_plugin_t* plugin, clap_id id, const char* text, double* value) {
  IPlugCLAP* plug = From(plugin);
  if (plug == nullptr || text == nullptr || value == nullptr) return false;
  if (id == kBypassParamId) {
    bool on = false;
    if (!BypassFromText(text, &on)) return false;
    *value = on ? 1.0 : 0.0;
    return true;
  }
  if (id >= static_cast<clap_id>(plug->NumParams())) return false;
  CriticalSectionGuard guard(plug->mLock);
  const ParamRecord* param = plug->ParamAt(static_cast<int>(id));
  double v;
  if (!param->ValueFromHostText(text, &v) || !std::isfinite(v)) return false;
  *value = v < param->minimum ? param->minimum : v > param->maximum ? param->maximum : v;
  return true;
}

void CLAP_ABI IPlugCLAP::ParamFlush(const clap_plugin_t* plugin, const clap_input_events_t* in,
                                    const clap_output_events_t* out) {
  IPlugCLAP* plug = From(plugin);
  if (plug == nullptr) return;
  // While active this is the audio thread's call: it never waits for the
  // section, and what it could not apply waits for the next block.
  ProcessEvents& events = plug->mEvents;
  events.Start(in, out);
  if (plug->mActive ? plug->mLock.TryEnter() : (plug->mLock.Enter(), true)) {
    events.BlockBegins();
    events.ApplyUntil(0, 0);
    events.BlockEnds();
    plug->mLock.Leave();
  } else {
    events.KeepForNextBlock();
  }
}

// state: the core's session state, which every format reads, as it reads
// the VST 2.4 build's program and bank chunks.

bool CLAP_ABI IPlugCLAP::StateSave(const clap_plugin_t* plugin, const clap_ostream_t* stream) {
  IPlugCLAP* plug = From(plugin);
  if (plug == nullptr || stream == nullptr || stream->write == nullptr) return false;
  CriticalSectionGuard guard(plug->mLock);
  return plug->SaveState(stream);
}

bool CLAP_ABI IPlugCLAP::StateLoad(const clap_plugin_t* plugin, const clap_istream_t* stream) {
  IPlugCLAP* plug = From(plugin);
  if (plug == nullptr || stream == nullptr || stream->read == nullptr) return false;
  CriticalSectionGuard guard(plug->mLock);
  return plug->LoadState(stream);
}

bool IPlugCLAP::SaveState(const clap_ostream_t* stream) {
  ChunkBuffer chunk(4096);
  if (!WriteHostState(chunk, StateKind::kSession)) return false;
  for (int at = 0; at < chunk.Size();) {
    const int64_t written = stream->write(stream, chunk.Data() + at, static_cast<uint64_t>(chunk.Size() - at));
    if (written <= 0 || written > chunk.Size() - at) return false;
    at += static_cast<int>(written);
  }
  return true;
}

bool IPlugCLAP::LoadState(const clap_istream_t* stream) {
  std::vector<unsigned char> bytes;
  unsigned char block[4096];
  for (;;) {
    const int64_t got = stream->read(stream, block, sizeof block);
    if (got == 0) break;
    if (got < 0 || got > static_cast<int64_t>(sizeof block)) return false;
    if (static_cast<int64_t>(bytes.size()) + got > kMaxStateBytes) return false;
    bytes.insert(bytes.end(), block, block + got);
  }
  ChunkBuffer chunk(4096);
  if (bytes.empty() || chunk.AppendBytes(bytes.data(), static_cast<int>(bytes.size())) != static_cast<int>(bytes.size()))
    return false;
  return LoadChunkBytes(chunk);
}

// A session, a program chunk or a VST 2.4 bank, by the core's rules.
bool IPlugCLAP::LoadChunkBytes(const ChunkBuffer& chunk) {
  if (!ReadHostState(chunk, StateAccepts::kAny)) return false;
  RefreshEditorControls();
  return true;
}

// gui

bool CLAP_ABI IPlugCLAP::GuiIsApiSupported(const clap_plugin_t* plugin, const char* api, bool floating) {
  IPlugCLAP* plug = From(plugin);
  return plug != nullptr && plug->Editor() != nullptr && !floating && api != nullptr &&
         std::strcmp(api, ClapWindowApi()) == 0;
}

bool CLAP_ABI IPlugCLAP::GuiPreferredApi(const clap_plugin_t* plugin, const char** api, bool* floating) {
  if (From(plugin) == nullptr || api == nullptr || floating == nullptr) return false;
  *api = ClapWindowApi();
  *floating = false;
  return true;
}

bool CLAP_ABI IPlugCLAP::GuiCreate(const clap_plugin_t* plugin, const char* api, bool floating) {
  IPlugCLAP* plug = From(plugin);
  if (!GuiIsApiSupported(plugin, api, floating)) return false;
  CriticalSectionGuard guard(plug->mLock);
  if (plug->mGuiCreated) return false;
  plug->mGuiCreated = true;
  return true;
}

// The editor's window calls run on the main thread without the section:
// window work never holds up the audio.
void CLAP_ABI IPlugCLAP::GuiDestroy(const clap_plugin_t* plugin) {
  IPlugCLAP* plug = From(plugin);
  if (plug == nullptr) return;
  plug->CloseEditor();
  plug->mGuiCreated = false;
}

// The host's scale is one of the editor's sources (the user's zoom comes
// first); scales outside what the panel draws are limited, and said so.
bool CLAP_ABI IPlugCLAP::GuiSetScale(const clap_plugin_t* plugin, double scale) {
  IPlugCLAP* plug = From(plugin);
  if (plug == nullptr || plug->Editor() == nullptr || !std::isfinite(scale) || !(scale > 0.0)) return false;
  plug->SetHostScale(scale);
  return scale >= IGraphics::kMinScale && scale <= IGraphics::kMaxScale;
}

// The window's size in pixels at the scale in effect.
bool CLAP_ABI IPlugCLAP::GuiGetSize(const clap_plugin_t* plugin, uint32_t* width, uint32_t* height) {
  IPlugCLAP* plug = From(plugin);
  int w = 0, h = 0;
  if (plug == nullptr || width == nullptr || height == nullptr || !plug->EditorPixelSize(&w, &h)) return false;
  *width = static_cast<uint32_t>(w);
  *height = static_cast<uint32_t>(h);
  return true;
}

bool CLAP_ABI IPlugCLAP::GuiCanResize(const clap_plugin_t* plugin) { return false; }

// Hosts ask before embedding (Qtractor logs a failure): the answer is "no
// resizing".
bool CLAP_ABI IPlugCLAP::GuiResizeHints(const clap_plugin_t* plugin, clap_gui_resize_hints_t* hints) {
  if (From(plugin) == nullptr || hints == nullptr) return false;
  std::memset(hints, 0, sizeof *hints);
  return true;
}

// The panel has one size at a scale: every request is answered with it.
bool CLAP_ABI IPlugCLAP::GuiAdjustSize(const clap_plugin_t* plugin, uint32_t* width, uint32_t* height) {
  return GuiGetSize(plugin, width, height);
}

bool CLAP_ABI IPlugCLAP::GuiSetSize(const clap_plugin_t* plugin, uint32_t width, uint32_t height) {
  uint32_t w = 0, h = 0;
  return GuiGetSize(plugin, &w, &h) && w == width && h == height;
}

bool CLAP_ABI IPlugCLAP::GuiSetParent(const clap_plugin_t* plugin, const clap_window_t* window) {
  IPlugCLAP* plug = From(plugin);
  if (plug == nullptr) return false;
  void* parent = ClapParentWindow(window);
  if (!plug->mGuiCreated || parent == nullptr) return false;
  return plug->OpenEditor(parent);
}

bool CLAP_ABI IPlugCLAP::GuiSetTransient(const clap_plugin_t* plugin, const clap_window_t* window) { return false; }

void CLAP_ABI IPlugCLAP::GuiSuggestTitle(const clap_plugin_t* plugin, const char* title) {}

bool CLAP_ABI IPlugCLAP::GuiShow(const clap_plugin_t* plugin) {
  IPlugCLAP* plug = From(plugin);
  return plug != nullptr && plug->mEditorOpen;
}

// The editor lives inside the host's window, which the host hides itself.
bool CLAP_ABI IPlugCLAP::GuiHide(const clap_plugin_t* plugin) {
  IPlugCLAP* plug = From(plugin);
  return plug != nullptr && plug->mEditorOpen;
}

bool IPlugCLAP::OpenEditor(void* parent) {
  IGraphics* editor = Editor();
  if (editor == nullptr) return false;
  if (mEditorOpen) CloseEditor();
  if (editor->OpenEditorWindow(parent) == nullptr) return false;
  mEditorOpen = true;
  EditorOpened();
  if (ClapEditorNeedsHostTimer()) {
    if (mHostTimers != nullptr && mHostTimers->register_timer != nullptr) {
      clap_id id = CLAP_INVALID_ID;
      if (mHostTimers->register_timer(mHost, kEditorTimerMs, &id)) mTimerId = id;
    }
    const int fd = ClapEditorEventFd(editor);
    if (fd >= 0 && mHostFds != nullptr && mHostFds->register_fd != nullptr &&
        mHostFds->register_fd(mHost, fd, CLAP_POSIX_FD_READ))
      mEventFd = fd;
  }
  return true;
}

void IPlugCLAP::CloseEditor() {
  if (mTimerId != CLAP_INVALID_ID && mHostTimers != nullptr && mHostTimers->unregister_timer != nullptr)
    mHostTimers->unregister_timer(mHost, mTimerId);
  mTimerId = CLAP_INVALID_ID;
  if (mEventFd >= 0 && mHostFds != nullptr && mHostFds->unregister_fd != nullptr)
    mHostFds->unregister_fd(mHost, mEventFd);
  mEventFd = -1;
  if (!mEditorOpen) return;
  mEditorOpen = false;
  EditorClosed();
  if (Editor() != nullptr) Editor()->CloseEditorWindow();
}

void IPlugCLAP::EditorIdle() {
  if (!mEditorOpen || Editor() == nullptr) return;
  Editor()->PumpEvents();
}

void CLAP_ABI IPlugCLAP::OnTimer(const clap_plugin_t* plugin, clap_id timer) {
  IPlugCLAP* plug = From(plugin);
  if (plug == nullptr || timer != plug->mTimerId || timer == CLAP_INVALID_ID) return;
  plug->EditorIdle();
  if (plug->mEditorOpen) plug->IdleTick();
}

void CLAP_ABI IPlugCLAP::OnFd(const clap_plugin_t* plugin, int fd, uint32_t flags) {
  IPlugCLAP* plug = From(plugin);
  if (plug == nullptr || fd < 0 || fd != plug->mEventFd) return;
  plug->EditorIdle();
}
