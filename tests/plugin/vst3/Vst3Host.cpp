#include "tests/plugin/vst3/Vst3Host.h"

#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "tests/host/HostModule.h"

using namespace vst3;

namespace vst3host {
namespace {

tresult Answer(const TUID iid, void** obj, FUnknown* self, std::initializer_list<const Uid*> iids) {
  if (obj == nullptr) return kInvalidArgument;
  *obj = nullptr;
  for (const Uid* uid : iids) {
    if (SameUid(iid, *uid) || SameUid(iid, kFUnknownIid)) {
      *obj = self;
      self->addRef();
      return kResultOk;
    }
  }
  return kNoInterface;
}

std::string gBundlePath;

}  // namespace

std::string FromUtf16(const char16* text) {
  std::string out;
  for (int i = 0; text != nullptr && i < 128 && text[i] != 0; ++i)
    out += text[i] < 0x80 ? static_cast<char>(text[i]) : '?';
  return out;
}

void ToUtf16(const std::string& text, char16* out, int capacity) {
  int i = 0;
  for (; i < capacity - 1 && i < static_cast<int>(text.size()); ++i)
    out[i] = static_cast<char16>(static_cast<unsigned char>(text[static_cast<size_t>(i)]));
  out[i] = 0;
}

// Streams

tresult MemoryStream::queryInterface(const TUID iid, void** obj) { return Answer(iid, obj, this, {&kIBStreamIid}); }

tresult MemoryStream::read(void* buffer, int32_t numBytes, int32_t* numBytesRead) {
  if (buffer == nullptr || numBytes < 0) return kInvalidArgument;
  int64_t n = std::min<int64_t>({numBytes, mostPerCall, static_cast<int64_t>(bytes.size()) - position});
  if (n < 0) n = 0;
  if (n > 0) std::memcpy(buffer, bytes.data() + position, static_cast<size_t>(n));
  position += n;
  if (numBytesRead != nullptr) *numBytesRead = static_cast<int32_t>(n);
  return kResultOk;
}

tresult MemoryStream::write(void* buffer, int32_t numBytes, int32_t* numBytesWritten) {
  if (buffer == nullptr || numBytes < 0) return kInvalidArgument;
  const int32_t n = std::min(numBytes, mostPerCall);
  if (static_cast<size_t>(position + n) > bytes.size()) bytes.resize(static_cast<size_t>(position + n));
  std::memcpy(bytes.data() + position, buffer, static_cast<size_t>(n));
  position += n;
  if (numBytesWritten != nullptr) *numBytesWritten = n;
  return kResultOk;
}

tresult MemoryStream::seek(int64_t pos, int32_t mode, int64_t* result) {
  const int64_t base = mode == kIBSeekSet ? 0 : mode == kIBSeekCur ? position : static_cast<int64_t>(bytes.size());
  if (base + pos < 0) return kInvalidArgument;
  position = base + pos;
  if (result != nullptr) *result = position;
  return kResultOk;
}

tresult MemoryStream::tell(int64_t* pos) {
  if (pos == nullptr) return kInvalidArgument;
  *pos = position;
  return kResultOk;
}

// Parameter queues

tresult ParamQueue::queryInterface(const TUID iid, void** obj) {
  return Answer(iid, obj, this, {&kIParamValueQueueIid});
}

tresult ParamQueue::getPoint(int32_t index, int32_t& sampleOffset, ParamValue& value) {
  if (index < 0 || index >= getPointCount()) return kInvalidArgument;
  sampleOffset = points[static_cast<size_t>(index)].first;
  value = points[static_cast<size_t>(index)].second;
  return kResultOk;
}

tresult ParamQueue::addPoint(int32_t sampleOffset, ParamValue value, int32_t& index) {
  if (points.size() >= points.capacity()) return kResultFalse;  // never grows on the audio thread
  index = getPointCount();
  points.emplace_back(sampleOffset, value);
  return kResultOk;
}

tresult ParamChanges::queryInterface(const TUID iid, void** obj) {
  return Answer(iid, obj, this, {&kIParameterChangesIid});
}

IParamValueQueue* ParamChanges::getParameterData(int32_t index) {
  return index >= 0 && index < used ? &queues[index] : nullptr;
}

IParamValueQueue* ParamChanges::addParameterData(const ParamID& id, int32_t& index) {
  for (int i = 0; i < used; ++i) {
    if (queues[i].id != id) continue;
    index = i;
    return &queues[i];
  }
  if (used >= kCapacity) return nullptr;
  index = used;
  queues[used].id = id;
  queues[used].points.clear();
  return &queues[used++];
}

void ParamChanges::Add(ParamID id, int32_t offset, double value) {
  int32_t index = 0, point = 0;
  if (IParamValueQueue* queue = addParameterData(id, index)) queue->addPoint(offset, value, point);
}

const ParamQueue* ParamChanges::Find(ParamID id) const {
  for (int i = 0; i < used; ++i)
    if (queues[i].id == id) return &queues[i];
  return nullptr;
}

void ParamChanges::Clear() {
  for (int i = 0; i < used; ++i) queues[i].points.clear();
  used = 0;
}

tresult EventList::queryInterface(const TUID iid, void** obj) { return Answer(iid, obj, this, {&kIEventListIid}); }

// The application and the handler

tresult HostApplication::queryInterface(const TUID iid, void** obj) {
  return Answer(iid, obj, this, {&kIHostApplicationIid});
}

tresult HostApplication::getName(String128 name) {
  ToUtf16("Veltrane VST3 test host", name, 128);
  return kResultOk;
}

tresult HostApplication::createInstance(TUID, TUID, void** obj) {
  if (obj != nullptr) *obj = nullptr;
  return kResultFalse;
}

tresult Handler::queryInterface(const TUID iid, void** obj) {
  if (SameUid(iid, kIUnitHandlerIid)) {
    *obj = static_cast<IUnitHandler*>(this);
    addRef();
    return kResultOk;
  }
  return Answer(iid, obj, static_cast<IComponentHandler*>(this), {&kIComponentHandlerIid});
}

tresult Handler::Note(char kind, ParamID id, double value) {
  std::lock_guard<std::mutex> lock(mutex_);
  calls_.push_back(Call{kind, id, value, std::this_thread::get_id()});
  return kResultOk;
}

std::vector<Handler::Call> Handler::Calls() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return calls_;
}

std::string Handler::Script() const {
  std::string text;
  for (const Call& call : Calls()) {
    if (!text.empty()) text += ' ';
    text += call.kind;
    text += ' ' + std::to_string(call.id);
  }
  return text;
}

void Handler::Clear() {
  std::lock_guard<std::mutex> lock(mutex_);
  calls_.clear();
}

tresult Frame::queryInterface(const TUID iid, void** obj) {
#if !defined(_WIN32)
  if (SameUid(iid, kIRunLoopIid)) {
    *obj = static_cast<IRunLoop*>(this);
    addRef();
    return kResultOk;
  }
#endif
  return Answer(iid, obj, static_cast<IPlugFrame*>(this), {&kIPlugFrameIid});
}

tresult Frame::resizeView(IPlugView* view, ViewRect* newSize) {
  if (view == nullptr || newSize == nullptr) return kInvalidArgument;
  ViewRect granted = *newSize;
  resizes.push_back(Resize{granted.right - granted.left, granted.bottom - granted.top, view->onSize(&granted)});
  return kResultTrue;
}

// The module

Module::Module(const std::string& bundle) {
#if defined(_WIN32)
  const std::string binary = bundle + "/Contents/x86_64-win/Veltrane.vst3";
#elif defined(__aarch64__)
  const std::string binary = bundle + "/Contents/aarch64-linux/Veltrane.so";
#else
  const std::string binary = bundle + "/Contents/x86_64-linux/Veltrane.so";
#endif
  void* library = testhost::OpenLibrary(binary, error_);
  if (library == nullptr) return;
#if defined(_WIN32)
  auto enter = reinterpret_cast<bool (*)()>(testhost::FindSymbol(library, "InitDll"));
  const bool entered = enter != nullptr && enter();
#else
  auto enter = reinterpret_cast<bool (*)(void*)>(testhost::FindSymbol(library, "ModuleEntry"));
  const bool entered = enter != nullptr && enter(library);
#endif
  auto get = reinterpret_cast<IPluginFactory* (*)()>(testhost::FindSymbol(library, "GetPluginFactory"));
  if (!entered || get == nullptr) {
    error_ = binary + ": no module entry or GetPluginFactory";
    return;
  }
  factory_ = get();
  if (factory_ == nullptr) error_ = binary + ": GetPluginFactory answered null";
}

void SetBundlePath(const std::string& path) { gBundlePath = path; }

const Module& SharedModule() {
  static const Module module([] {
    if (!gBundlePath.empty()) return gBundlePath;
    const char* env = std::getenv("VELTRANE_VST3");
    return std::string(env != nullptr ? env : "");
  }());
  return module;
}

// Instances

std::unique_ptr<Instance> Instance::Create(const Module& module) {
  if (module.factory() == nullptr) return nullptr;
  PClassInfo info{};
  if (module.factory()->getClassInfo(0, &info) != kResultOk) return nullptr;
  void* obj = nullptr;
  if (module.factory()->createInstance(info.cid, kIComponentIid.bytes, &obj) != kResultOk || obj == nullptr)
    return nullptr;
  std::unique_ptr<Instance> plugin(new Instance());
  plugin->component = static_cast<IComponent*>(obj);
  void* found = nullptr;
  plugin->component->queryInterface(kIAudioProcessorIid.bytes, &found);
  plugin->processor = static_cast<IAudioProcessor*>(found);
  found = nullptr;
  plugin->component->queryInterface(kIEditControllerIid.bytes, &found);
  plugin->controller = static_cast<IEditController*>(found);
  found = nullptr;
  plugin->component->queryInterface(kIUnitInfoIid.bytes, &found);
  plugin->units = static_cast<IUnitInfo*>(found);
  if (plugin->processor == nullptr || plugin->controller == nullptr || plugin->units == nullptr) return nullptr;
  plugin->component->initialize(&plugin->application);
  plugin->controller->setComponentHandler(&plugin->handler);
  return plugin;
}

Instance::~Instance() {
  if (started_) Stop();
  if (controller != nullptr) controller->setComponentHandler(nullptr);
  if (component != nullptr) component->terminate();
  for (FUnknown* held : std::initializer_list<FUnknown*>{units, controller, processor, component})
    if (held != nullptr) held->release();
}

void Instance::Start(double sampleRate, int maxBlock, int32_t sampleSize) {
  ProcessSetup setup{kRealtime, sampleSize, maxBlock, sampleRate};
  processor->setupProcessing(setup);
  component->setActive(1);
  processor->setProcessing(1);
  started_ = true;
}

void Instance::Stop() {
  processor->setProcessing(0);
  component->setActive(0);
  started_ = false;
}

template <typename Sample>
tresult Instance::Process(Sample** inputs, int inChannels, Sample** outputs, int outChannels, int frames) {
  AudioBusBuffers in{}, out{};
  in.numChannels = inChannels;
  out.numChannels = outChannels;
  out.silenceFlags = ~uint64_t{0};  // the plug-in sets them
  if constexpr (sizeof(Sample) == sizeof(double)) {
    in.channelBuffers64 = inputs;
    out.channelBuffers64 = outputs;
  } else {
    in.channelBuffers32 = inputs;
    out.channelBuffers32 = outputs;
  }
  ProcessData data{};
  data.processMode = kRealtime;
  data.symbolicSampleSize = sizeof(Sample) == sizeof(double) ? kSample64 : kSample32;
  data.numSamples = frames;
  data.numInputs = 1;
  data.numOutputs = 1;
  data.inputs = &in;
  data.outputs = &out;
  data.inputParameterChanges = &input;
  data.outputParameterChanges = &output;
  data.inputEvents = &events;
  data.processContext = sendContext ? &context : nullptr;
  output.Clear();
  const tresult result = processor->process(data);
  silenceFlags = out.silenceFlags;
  input.Clear();
  return result;
}

template tresult Instance::Process<float>(float**, int, float**, int, int);
template tresult Instance::Process<double>(double**, int, double**, int, int);

Bytes Instance::GetState() {
  MemoryStream stream;
  if (component->getState(&stream) != kResultOk) return {};
  return stream.bytes;
}

tresult Instance::SetState(const Bytes& bytes) {
  MemoryStream stream(bytes);
  return component->setState(&stream);
}

std::string Instance::ParamText(ParamID id, double normalised) {
  String128 text{};
  if (controller->getParamStringByValue(id, normalised, text) != kResultOk) return "(error)";
  return FromUtf16(text);
}

double Instance::ParamValueOf(ParamID id, const std::string& text) {
  String128 wide{};
  ToUtf16(text, wide, 128);
  double value = -1.0;
  if (controller->getParamValueByString(id, wide, value) != kResultOk) return -1.0;
  return value;
}

}  // namespace vst3host
