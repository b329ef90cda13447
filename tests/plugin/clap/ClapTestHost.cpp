#include "tests/plugin/clap/ClapTestHost.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "tests/host/HostModule.h"

namespace claphost {

// The module

ClapModule::ClapModule(const std::string& path) {
  void* library = testhost::OpenLibrary(path, error_);
  if (library == nullptr) return;
  entry_ = static_cast<const clap_plugin_entry_t*>(testhost::FindSymbol(library, "clap_entry"));
  if (entry_ == nullptr) {
    error_ = "no clap_entry in " + path;
    return;
  }
  if (entry_->init == nullptr || !entry_->init(path.c_str())) {
    error_ = "clap_entry.init failed";
    entry_ = nullptr;
    return;
  }
  factory_ = static_cast<const clap_plugin_factory_t*>(entry_->get_factory(CLAP_PLUGIN_FACTORY_ID));
  if (factory_ == nullptr) error_ = "no plug-in factory";
}

std::string ClapPath() {
  const char* path = std::getenv("VELTRANE_CLAP");
  return path != nullptr ? path : "";
}

const ClapModule& SharedClapModule() {
  static const ClapModule module(ClapPath());
  return module;
}

// Event lists

EventList::EventList() : list_{this, &Size, &Get} {}

uint32_t CLAP_ABI EventList::Size(const clap_input_events_t* list) {
  return static_cast<uint32_t>(static_cast<const EventList*>(list->ctx)->events_.size());
}

const clap_event_header_t* CLAP_ABI EventList::Get(const clap_input_events_t* list, uint32_t index) {
  const EventList* self = static_cast<const EventList*>(list->ctx);
  if (index >= self->events_.size()) return nullptr;
  return reinterpret_cast<const clap_event_header_t*>(self->events_[index].data());
}

void EventList::Raw(const clap_event_header_t* event) {
  std::vector<uint64_t> storage((event->size + 7) / 8 + 1, 0);
  std::memcpy(storage.data(), event, event->size);
  events_.push_back(std::move(storage));
}

void EventList::Value(uint32_t time, uint32_t param, double value) {
  clap_event_param_value_t e;
  std::memset(&e, 0, sizeof e);
  e.header = {sizeof e, time, CLAP_CORE_EVENT_SPACE_ID, CLAP_EVENT_PARAM_VALUE, 0};
  e.param_id = param;
  e.note_id = -1;
  e.port_index = e.channel = e.key = -1;
  e.value = value;
  Raw(&e.header);
}

void EventList::Transport(uint32_t time, const clap_event_transport_t& transport) {
  clap_event_transport_t e = transport;
  e.header = {sizeof e, time, CLAP_CORE_EVENT_SPACE_ID, CLAP_EVENT_TRANSPORT, 0};
  Raw(&e.header);
}

clap_event_transport_t MakeTransport(uint32_t flags, double tempo, double beats, double seconds) {
  clap_event_transport_t t;
  std::memset(&t, 0, sizeof t);
  t.header = {sizeof t, 0, CLAP_CORE_EVENT_SPACE_ID, CLAP_EVENT_TRANSPORT, 0};
  t.flags = flags;
  t.tempo = tempo;
  t.song_pos_beats = static_cast<clap_beattime>(std::llround(beats * CLAP_BEATTIME_FACTOR));
  t.song_pos_seconds = static_cast<clap_sectime>(std::llround(seconds * CLAP_SECTIME_FACTOR));
  t.tsig_num = 4;
  t.tsig_denom = 4;
  return t;
}

// The host

ClapInstance::ClapInstance() : mainThread_(std::this_thread::get_id()) {
  std::memset(&host_, 0, sizeof host_);
  host_.clap_version = kClapVersion;
  host_.host_data = this;
  host_.vendor = "Quorvel tests";
  host_.url = "";
  host_.version = "1.0";
  host_.get_extension = &HostExtension;
  host_.request_restart = &RequestRestart;
  host_.request_process = &RequestProcess;
  host_.request_callback = &RequestCallback;
  hostParams_ = {&Rescan, &Clear, &RequestFlush};
  hostState_ = {&MarkDirty};
  hostTimers_ = {&RegisterTimer, &UnregisterTimer};
  hostFds_ = {&RegisterFd, &ModifyFd, &UnregisterFd};
  hostThreads_ = {&IsMainThread, &IsAudioThread};
  outList_ = {this, &TryPush};
  // Recording a call or an event allocates nothing while within these.
  calls_.reserve(4096);
  outEvents_.reserve(4096);
}

std::unique_ptr<ClapInstance> ClapInstance::Create(const std::string& name) {
  const ClapModule& module = SharedClapModule();
  if (module.factory() == nullptr) return nullptr;
  std::unique_ptr<ClapInstance> instance(new ClapInstance());
  instance->name_ = name;
  instance->host_.name = instance->name_.c_str();
  const clap_plugin_descriptor_t* desc = module.factory()->get_plugin_descriptor(module.factory(), 0);
  if (desc == nullptr) return nullptr;
  instance->plugin_ = module.factory()->create_plugin(module.factory(), &instance->host_, desc->id);
  if (instance->plugin_ == nullptr) return nullptr;
  if (!instance->plugin_->init(instance->plugin_)) {
    instance->plugin_->destroy(instance->plugin_);
    instance->plugin_ = nullptr;
    return nullptr;
  }
  return instance;
}

ClapInstance::~ClapInstance() {
  if (plugin_ == nullptr) return;
  if (active_) Deactivate();
  plugin_->destroy(plugin_);
}

ClapInstance* ClapInstance::Of(const clap_host_t* host) { return static_cast<ClapInstance*>(host->host_data); }

void ClapInstance::Record(const char* what, uint32_t arg) {
  HostCall call;
  call.what = what;
  call.arg = arg;
  call.mainThread = std::this_thread::get_id() == mainThread_;
  call.insideProcess = inProcess_.load() && std::this_thread::get_id() == audioThread_;
  std::lock_guard<std::mutex> lock(mutex_);
  if (calls_.size() < calls_.capacity()) calls_.push_back(call);
}

const void* CLAP_ABI ClapInstance::HostExtension(const clap_host_t* host, const char* id) {
  ClapInstance* self = Of(host);
  if (std::strcmp(id, CLAP_EXT_PARAMS) == 0) return &self->hostParams_;
  if (std::strcmp(id, CLAP_EXT_STATE) == 0) return &self->hostState_;
  if (std::strcmp(id, CLAP_EXT_TIMER_SUPPORT) == 0) return &self->hostTimers_;
  if (std::strcmp(id, CLAP_EXT_POSIX_FD_SUPPORT) == 0) return &self->hostFds_;
  if (std::strcmp(id, CLAP_EXT_THREAD_CHECK) == 0) return &self->hostThreads_;
  return nullptr;
}

void CLAP_ABI ClapInstance::RequestRestart(const clap_host_t* host) { Of(host)->Record("request_restart"); }
void CLAP_ABI ClapInstance::RequestProcess(const clap_host_t* host) { Of(host)->Record("request_process"); }
void CLAP_ABI ClapInstance::RequestCallback(const clap_host_t* host) {
  Of(host)->Record("request_callback");
  Of(host)->callbackRequested_ = true;
}
void CLAP_ABI ClapInstance::Rescan(const clap_host_t* host, uint32_t flags) { Of(host)->Record("rescan", flags); }
void CLAP_ABI ClapInstance::Clear(const clap_host_t* host, clap_id id, uint32_t) { Of(host)->Record("clear", id); }
void CLAP_ABI ClapInstance::RequestFlush(const clap_host_t* host) {
  Of(host)->Record("request_flush");
  Of(host)->flushRequested_ = true;
}
void CLAP_ABI ClapInstance::MarkDirty(const clap_host_t* host) { Of(host)->Record("mark_dirty"); }

bool CLAP_ABI ClapInstance::RegisterTimer(const clap_host_t* host, uint32_t period, clap_id* id) {
  ClapInstance* self = Of(host);
  self->Record("register_timer", period);
  if (id == nullptr) return false;
  std::lock_guard<std::mutex> lock(self->mutex_);
  self->timerId_ = 7;
  self->timerPeriod_ = period;
  *id = self->timerId_;
  return true;
}

bool CLAP_ABI ClapInstance::UnregisterTimer(const clap_host_t* host, clap_id id) {
  ClapInstance* self = Of(host);
  self->Record("unregister_timer", id);
  std::lock_guard<std::mutex> lock(self->mutex_);
  if (id != self->timerId_) return false;
  self->timerId_ = CLAP_INVALID_ID;
  return true;
}

bool CLAP_ABI ClapInstance::RegisterFd(const clap_host_t* host, int fd, uint32_t flags) {
  ClapInstance* self = Of(host);
  self->Record("register_fd", flags);
  std::lock_guard<std::mutex> lock(self->mutex_);
  self->fd_ = fd;
  return fd >= 0;
}

bool CLAP_ABI ClapInstance::ModifyFd(const clap_host_t* host, int fd, uint32_t flags) {
  Of(host)->Record("modify_fd", flags);
  return true;
}

bool CLAP_ABI ClapInstance::UnregisterFd(const clap_host_t* host, int fd) {
  ClapInstance* self = Of(host);
  self->Record("unregister_fd");
  std::lock_guard<std::mutex> lock(self->mutex_);
  if (fd != self->fd_) return false;
  self->fd_ = -1;
  return true;
}

bool CLAP_ABI ClapInstance::IsMainThread(const clap_host_t* host) {
  return std::this_thread::get_id() == Of(host)->mainThread_;
}

bool CLAP_ABI ClapInstance::IsAudioThread(const clap_host_t* host) {
  ClapInstance* self = Of(host);
  return self->inProcess_.load() && std::this_thread::get_id() == self->audioThread_;
}

bool CLAP_ABI ClapInstance::TryPush(const clap_output_events_t* list, const clap_event_header_t* event) {
  ClapInstance* self = static_cast<ClapInstance*>(list->ctx);
  if (event == nullptr || event->space_id != CLAP_CORE_EVENT_SPACE_ID) return false;
  OutEvent out;
  out.type = event->type;
  out.time = event->time;
  if (event->type == CLAP_EVENT_PARAM_VALUE && event->size >= sizeof(clap_event_param_value_t)) {
    const auto* v = reinterpret_cast<const clap_event_param_value_t*>(event);
    out.param = v->param_id;
    out.value = v->value;
  } else if ((event->type == CLAP_EVENT_PARAM_GESTURE_BEGIN || event->type == CLAP_EVENT_PARAM_GESTURE_END) &&
             event->size >= sizeof(clap_event_param_gesture_t)) {
    out.param = reinterpret_cast<const clap_event_param_gesture_t*>(event)->param_id;
  } else {
    return false;
  }
  std::lock_guard<std::mutex> lock(self->mutex_);
  if (self->outEvents_.size() == self->outEvents_.capacity()) return false;
  self->outEvents_.push_back(out);
  return true;
}

const void* ClapInstance::Extension(const char* id) const { return plugin_->get_extension(plugin_, id); }
const clap_plugin_params_t* ClapInstance::params() const {
  return static_cast<const clap_plugin_params_t*>(Extension(CLAP_EXT_PARAMS));
}
const clap_plugin_state_t* ClapInstance::state() const {
  return static_cast<const clap_plugin_state_t*>(Extension(CLAP_EXT_STATE));
}
const clap_plugin_gui_t* ClapInstance::gui() const {
  return static_cast<const clap_plugin_gui_t*>(Extension(CLAP_EXT_GUI));
}

bool ClapInstance::Activate(double rate, uint32_t maxFrames) {
  if (!plugin_->activate(plugin_, rate, 1, maxFrames)) return false;
  active_ = true;
  inProcess_ = true;
  audioThread_ = std::this_thread::get_id();
  const bool started = plugin_->start_processing(plugin_);
  inProcess_ = false;
  return started;
}

void ClapInstance::DestroyWhileActive() {
  if (plugin_ == nullptr) return;
  plugin_->destroy(plugin_);
  plugin_ = nullptr;
  active_ = false;
}

void ClapInstance::Deactivate() {
  if (!active_) return;
  inProcess_ = true;
  audioThread_ = std::this_thread::get_id();
  plugin_->stop_processing(plugin_);
  inProcess_ = false;
  plugin_->deactivate(plugin_);
  active_ = false;
}

clap_process_status ClapInstance::Run(clap_process_t& process, const EventList* events) {
  static const EventList empty;
  process.in_events = events != nullptr ? events->list() : empty.list();
  process.out_events = &outList_;
  audioThread_ = std::this_thread::get_id();
  inProcess_ = true;
  const clap_process_status status = plugin_->process(plugin_, &process);
  inProcess_ = false;
  return status;
}

// The host's buffers of one precision as a process call's only input and
// output port (none when a side has no channels).
template <typename Sample>
static void Bind(std::vector<std::vector<Sample>>& buffers, size_t offset, std::vector<Sample*>& pointers,
                 clap_audio_buffer_t& buffer) {
  pointers.clear();
  for (auto& b : buffers) pointers.push_back(b.data() + offset);
  std::memset(&buffer, 0, sizeof buffer);
  buffer.channel_count = static_cast<uint32_t>(pointers.size());
  if constexpr (sizeof(Sample) == sizeof(double))
    buffer.data64 = reinterpret_cast<double**>(pointers.data());
  else
    buffer.data32 = reinterpret_cast<float**>(pointers.data());
}

template <typename Sample>
clap_process_status ClapInstance::ProcessSamples(std::vector<std::vector<Sample>>& in,
                                                 std::vector<std::vector<Sample>>& out, uint32_t frames,
                                                 const EventList* events, const clap_event_transport_t* transport,
                                                 size_t offset) {
  std::vector<Sample*> inPointers, outPointers;
  clap_audio_buffer_t inBuffer, outBuffer;
  Bind(in, offset, inPointers, inBuffer);
  Bind(out, offset, outPointers, outBuffer);
  clap_process_t process;
  std::memset(&process, 0, sizeof process);
  process.steady_time = -1;
  process.frames_count = frames;
  process.transport = transport;
  process.audio_inputs = in.empty() ? nullptr : &inBuffer;
  process.audio_inputs_count = in.empty() ? 0 : 1;
  process.audio_outputs = out.empty() ? nullptr : &outBuffer;
  process.audio_outputs_count = out.empty() ? 0 : 1;
  outBuffer.constant_mask = ~uint64_t{0};  // the plug-in sets it
  const clap_process_status status = Run(process, events);
  constantMask_ = outBuffer.constant_mask;
  return status;
}

clap_process_status ClapInstance::ProcessFloat(std::vector<std::vector<float>>& in,
                                               std::vector<std::vector<float>>& out, uint32_t frames,
                                               const EventList* events, const clap_event_transport_t* transport,
                                               size_t offset) {
  return ProcessSamples(in, out, frames, events, transport, offset);
}

clap_process_status ClapInstance::ProcessDouble(std::vector<std::vector<double>>& in,
                                                std::vector<std::vector<double>>& out, uint32_t frames,
                                                const EventList* events, const clap_event_transport_t* transport,
                                                size_t offset) {
  return ProcessSamples(in, out, frames, events, transport, offset);
}

void ClapInstance::Flush(const EventList* events) {
  static const EventList empty;
  // Inactive, flush belongs to the main thread; active, to the audio thread.
  const bool asAudio = active_;
  if (asAudio) {
    audioThread_ = std::this_thread::get_id();
    inProcess_ = true;
  }
  params()->flush(plugin_, events != nullptr ? events->list() : empty.list(), &outList_);
  inProcess_ = false;
}

uint32_t ClapInstance::ParamCount() { return params()->count(plugin_); }

clap_param_info_t ClapInstance::Info(uint32_t index) {
  clap_param_info_t info;
  std::memset(&info, 0xCD, sizeof info);
  if (!params()->get_info(plugin_, index, &info)) std::memset(&info, 0, sizeof info);
  return info;
}

double ClapInstance::Value(uint32_t id) {
  double v = std::nan("");
  params()->get_value(plugin_, id, &v);
  return v;
}

std::string ClapInstance::Text(uint32_t id, double value) {
  char text[256];
  std::memset(text, 'x', sizeof text);
  if (!params()->value_to_text(plugin_, id, value, text, sizeof text)) return "<failed>";
  return text;
}

bool ClapInstance::TextToValue(uint32_t id, const std::string& text, double* value) {
  return params()->text_to_value(plugin_, id, text.c_str(), value);
}

void ClapInstance::SetValue(uint32_t id, double value) {
  EventList events;
  events.Value(0, id, value);
  Flush(&events);
}

namespace {

struct OutStream {
  std::vector<uint8_t>* bytes;
  size_t piece;
};

struct InStream {
  const std::vector<uint8_t>* bytes;
  size_t at;
  size_t piece;
};

int64_t CLAP_ABI WriteStream(const clap_ostream_t* stream, const void* buffer, uint64_t size) {
  OutStream* s = static_cast<OutStream*>(stream->ctx);
  const size_t n = s->piece > 0 && size > s->piece ? s->piece : static_cast<size_t>(size);
  const uint8_t* bytes = static_cast<const uint8_t*>(buffer);
  s->bytes->insert(s->bytes->end(), bytes, bytes + n);
  return static_cast<int64_t>(n);
}

int64_t CLAP_ABI ReadStream(const clap_istream_t* stream, void* buffer, uint64_t size) {
  InStream* s = static_cast<InStream*>(stream->ctx);
  size_t n = s->bytes->size() - s->at;
  if (n > size) n = static_cast<size_t>(size);
  if (s->piece > 0 && n > s->piece) n = s->piece;
  if (n > 0) std::memcpy(buffer, s->bytes->data() + s->at, n);
  s->at += n;
  return static_cast<int64_t>(n);
}

}  // namespace

bool ClapInstance::Save(std::vector<uint8_t>& bytes, size_t piece) {
  bytes.clear();
  OutStream ctx{&bytes, piece};
  const clap_ostream_t stream{&ctx, &WriteStream};
  return state()->save(plugin_, &stream);
}

bool ClapInstance::Load(const std::vector<uint8_t>& bytes, size_t piece) {
  InStream ctx{&bytes, 0, piece};
  const clap_istream_t stream{&ctx, &ReadStream};
  return state()->load(plugin_, &stream);
}

std::vector<HostCall> ClapInstance::Calls() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return calls_;
}

size_t ClapInstance::Count(const std::string& what) const {
  std::lock_guard<std::mutex> lock(mutex_);
  size_t n = 0;
  for (const HostCall& c : calls_) n += c.what == what ? 1 : 0;
  return n;
}

void ClapInstance::ClearCalls() {
  std::lock_guard<std::mutex> lock(mutex_);
  calls_.clear();
}

std::vector<OutEvent> ClapInstance::OutEvents() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return outEvents_;
}

void ClapInstance::ClearOutEvents() {
  std::lock_guard<std::mutex> lock(mutex_);
  outEvents_.clear();
}

void ClapInstance::ClearRequests() {
  flushRequested_ = false;
  callbackRequested_ = false;
}

bool ClapInstance::TimerRegistered(clap_id* id, uint32_t* period) const {
  std::lock_guard<std::mutex> lock(mutex_);
  if (id != nullptr) *id = timerId_;
  if (period != nullptr) *period = timerPeriod_;
  return timerId_ != CLAP_INVALID_ID;
}

int ClapInstance::RegisteredFd() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return fd_;
}

void ClapInstance::FireTimer() {
  clap_id id;
  if (!TimerRegistered(&id, nullptr)) return;
  const auto* timers = static_cast<const clap_plugin_timer_support_t*>(Extension(CLAP_EXT_TIMER_SUPPORT));
  if (timers != nullptr) timers->on_timer(plugin_, id);
}

void ClapInstance::FireFd() {
  const int fd = RegisteredFd();
  const auto* fds = static_cast<const clap_plugin_posix_fd_support_t*>(Extension(CLAP_EXT_POSIX_FD_SUPPORT));
  if (fd >= 0 && fds != nullptr) fds->on_fd(plugin_, fd, CLAP_POSIX_FD_READ);
}

}  // namespace claphost
