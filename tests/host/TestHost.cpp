#include "tests/host/TestHost.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <unordered_map>

#include "tests/host/HostModule.h"

namespace testhost {
namespace {

// Effect records the host knows, for routing callbacks to their instance.
std::mutex gRegistryMutex;
std::unordered_map<AEffect*, PluginInstance*> gRegistry;
std::vector<HostCall> gOrphans;

// The instance whose VSTPluginMain is running on this thread. The plug-in
// calls back while it builds itself (loading its factory bank), before the
// host has seen the record's address.
thread_local PluginInstance* tCreating = nullptr;

std::string gPluginPath;

VstIntPtr VSTCALLBACK HostCallback(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                                   void* ptr, float opt) {
  HostCall call;
  call.effect = effect;
  call.opcode = opcode;
  call.index = index;
  call.value = value;
  call.hasPtr = ptr != nullptr;
  call.opt = opt;
  call.thread = std::this_thread::get_id();

  PluginInstance* instance = nullptr;
  {
    std::lock_guard<std::mutex> lock(gRegistryMutex);
    auto it = gRegistry.find(effect);
    if (it != gRegistry.end()) instance = it->second;
  }
  if (tCreating && (!instance || instance == tCreating)) {
    instance = tCreating;
    call.duringCreation = true;
  }
  if (instance) return instance->Answer(call, ptr);

  {
    std::lock_guard<std::mutex> lock(gRegistryMutex);
    gOrphans.push_back(call);
  }
  return opcode == audioMasterVersion ? 2400 : 0;
}

// Hosts hand out buffers of kVstMaxVendorStrLen / kVstMaxProductStrLen (64).
void CopyHostString(const std::string& text, void* ptr) {
  const size_t n = std::min<size_t>(text.size(), 63);
  std::memcpy(ptr, text.data(), n);
  static_cast<char*>(ptr)[n] = '\0';
}

std::string TextFrom(const char* buffer, size_t size) { return std::string(buffer, strnlen(buffer, size)); }

template <typename Sample>
std::vector<Sample*> Pointers(std::vector<std::vector<Sample>>& buffers) {
  std::vector<Sample*> out;
  out.reserve(buffers.size());
  for (auto& b : buffers) out.push_back(b.data());
  return out;
}

template <typename Sample>
VstInt32 FramesOf(const std::vector<std::vector<Sample>>& outputs, VstInt32 frames) {
  if (frames >= 0) return frames;
  return outputs.empty() ? 0 : static_cast<VstInt32>(outputs[0].size());
}

}  // namespace

VstTimeInfo MakeTimeInfo(VstInt32 flags, double tempo, double ppqPos, double samplePos, double sampleRate) {
  VstTimeInfo info{};
  info.samplePos = samplePos;
  info.sampleRate = sampleRate;
  info.ppqPos = ppqPos;
  info.tempo = tempo;
  info.barStartPos = std::floor(ppqPos / 4.0) * 4.0;
  info.cycleStartPos = 0.0;
  info.cycleEndPos = 16.0;
  info.timeSigNumerator = 4;
  info.timeSigDenominator = 4;
  info.flags = flags;
  return info;
}

PluginModule::PluginModule(const std::string& path) : path_(path) {
  if (path.empty()) {
    error_ = "no plug-in path: pass it as the first argument or set VELTRANE_PLUGIN";
    return;
  }
  handle_ = OpenLibrary(path, error_);
  if (!handle_) return;
  pluginMain_ = reinterpret_cast<EntryProc>(FindSymbol(handle_, "VSTPluginMain"));
  void* legacy = FindSymbol(handle_, "main");
  legacyMain_ = reinterpret_cast<LegacyMainProc>(legacy);
  // The legacy entry takes the callback as a pointer-sized integer, which is
  // passed exactly like a pointer.
  entry_ = pluginMain_ ? pluginMain_ : reinterpret_cast<EntryProc>(legacy);
  if (!entry_) error_ = path + " exports neither VSTPluginMain nor main";
}

void SetPluginPathFromCommandLine(const std::string& path) { gPluginPath = path; }

std::string PluginPath() {
  if (!gPluginPath.empty()) return gPluginPath;
  const char* env = std::getenv("VELTRANE_PLUGIN");
  return env ? env : "";
}

const PluginModule& SharedModule() {
  static const PluginModule* module = new PluginModule(PluginPath());
  return *module;
}

std::vector<HostCall> OrphanCalls() {
  std::lock_guard<std::mutex> lock(gRegistryMutex);
  return gOrphans;
}

std::unique_ptr<PluginInstance> PluginInstance::Create(const PluginModule& module, HostScript script,
                                                       Entry entry) {
  std::unique_ptr<PluginInstance> instance(new PluginInstance(std::move(script)));
  PluginInstance* outer = tCreating;
  tCreating = instance.get();
  AEffect* effect = nullptr;
  if (entry == Entry::PluginMain && module.entry()) {
    effect = module.entry()(&HostCallback);
  } else if (entry == Entry::LegacyMain && module.legacyMain()) {
    effect = reinterpret_cast<AEffect*>(module.legacyMain()(reinterpret_cast<VstIntPtr>(&HostCallback)));
  }
  tCreating = outer;
  if (!effect) return nullptr;
  instance->effect_ = effect;
  std::lock_guard<std::mutex> lock(gRegistryMutex);
  gRegistry[effect] = instance.get();
  return instance;
}

PluginInstance::~PluginInstance() {
  if (effect_ && !closed_) Close();
}

void PluginInstance::Close() {
  if (!effect_ || closed_) return;
  effect_->dispatcher(effect_, effClose, 0, 0, nullptr, 0.0f);
  closed_ = true;
  // Only now: the plug-in may still call back while it closes.
  std::lock_guard<std::mutex> lock(gRegistryMutex);
  gRegistry.erase(effect_);
}

VstIntPtr PluginInstance::Dispatch(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
  if (!effect_ || closed_) return 0;
  return effect_->dispatcher(effect_, opcode, index, value, ptr, opt);
}

void PluginInstance::Open() { Dispatch(effOpen); }

void PluginInstance::Start(float sampleRate, VstIntPtr blockSize) {
  Dispatch(effSetSampleRate, 0, 0, nullptr, sampleRate);
  Dispatch(effSetBlockSize, 0, blockSize);
  Dispatch(effMainsChanged, 0, 1);
}

void PluginInstance::Stop() { Dispatch(effMainsChanged, 0, 0); }

float PluginInstance::GetParameter(VstInt32 index) { return effect_->getParameter(effect_, index); }

void PluginInstance::SetParameter(VstInt32 index, float value) { effect_->setParameter(effect_, index, value); }

std::string PluginInstance::ParamName(VstInt32 index) {
  char text[256] = {};
  Dispatch(effGetParamName, index, 0, text);
  return TextFrom(text, sizeof text);
}

std::string PluginInstance::ParamDisplay(VstInt32 index) {
  char text[256] = {};
  Dispatch(effGetParamDisplay, index, 0, text);
  return TextFrom(text, sizeof text);
}

std::string PluginInstance::ParamLabel(VstInt32 index) {
  char text[256] = {};
  Dispatch(effGetParamLabel, index, 0, text);
  return TextFrom(text, sizeof text);
}

VstIntPtr PluginInstance::SetParameterText(VstInt32 index, const std::string& text) {
  std::vector<char> copy(text.begin(), text.end());
  copy.push_back('\0');
  return Dispatch(effString2Parameter, index, 0, copy.data());
}

std::string PluginInstance::ProgramName() {
  char text[512] = {};
  Dispatch(effGetProgramName, 0, 0, text);
  return TextFrom(text, sizeof text);
}

std::string PluginInstance::ProgramNameIndexed(VstInt32 index) {
  char text[512] = {};
  Dispatch(effGetProgramNameIndexed, index, 0, text);
  return TextFrom(text, sizeof text);
}

void PluginInstance::ProcessReplacing(FloatBuffers& inputs, FloatBuffers& outputs, VstInt32 frames) {
  auto in = Pointers(inputs);
  auto out = Pointers(outputs);
  effect_->processReplacing(effect_, in.data(), out.data(), FramesOf(outputs, frames));
}

void PluginInstance::Process(FloatBuffers& inputs, FloatBuffers& outputs, VstInt32 frames) {
  auto in = Pointers(inputs);
  auto out = Pointers(outputs);
  effect_->process(effect_, in.data(), out.data(), FramesOf(outputs, frames));
}

void PluginInstance::ProcessDouble(DoubleBuffers& inputs, DoubleBuffers& outputs, VstInt32 frames) {
  auto in = Pointers(inputs);
  auto out = Pointers(outputs);
  effect_->processDoubleReplacing(effect_, in.data(), out.data(), FramesOf(outputs, frames));
}

std::vector<uint8_t> PluginInstance::GetChunk(bool program) {
  void* data = nullptr;
  const VstIntPtr size = Dispatch(effGetChunk, program ? 1 : 0, 0, &data);
  if (size <= 0 || !data) return {};
  const uint8_t* bytes = static_cast<const uint8_t*>(data);
  return std::vector<uint8_t>(bytes, bytes + size);
}

VstIntPtr PluginInstance::SetChunk(const std::vector<uint8_t>& data, bool program) {
  // The plug-in gets its own copy, as from a host that frees its data after.
  std::vector<uint8_t> copy(data);
  return Dispatch(effSetChunk, program ? 1 : 0, static_cast<VstIntPtr>(copy.size()),
                  copy.empty() ? nullptr : copy.data());
}

void PluginInstance::EditScript(const std::function<void(HostScript&)>& edit) {
  std::lock_guard<std::mutex> lock(mutex_);
  edit(script_);
}

std::vector<HostCall> PluginInstance::Calls() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return calls_;
}

std::vector<HostCall> PluginInstance::CallsWith(VstInt32 opcode) const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<HostCall> out;
  for (const auto& c : calls_) {
    if (c.opcode == opcode) out.push_back(c);
  }
  return out;
}

size_t PluginInstance::CountCalls(VstInt32 opcode) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return static_cast<size_t>(
      std::count_if(calls_.begin(), calls_.end(), [opcode](const HostCall& c) { return c.opcode == opcode; }));
}

void PluginInstance::ClearCalls() {
  std::lock_guard<std::mutex> lock(mutex_);
  calls_.clear();
}

VstIntPtr PluginInstance::Answer(HostCall call, void* ptr) {
  std::function<VstIntPtr(const HostCall&, void*)> scripted;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    calls_.push_back(call);
    auto it = script_.overrides.find(call.opcode);
    if (it != script_.overrides.end()) scripted = it->second;
  }
  if (scripted) return scripted(call, ptr);

  std::lock_guard<std::mutex> lock(mutex_);
  switch (call.opcode) {
    case audioMasterVersion:
      return script_.hostVstVersion;
    case audioMasterGetTime:
      if (!script_.timeInfo) return 0;
      timeInfoStorage_ = *script_.timeInfo;
      return reinterpret_cast<VstIntPtr>(&timeInfoStorage_);
    case audioMasterGetCurrentProcessLevel:
      return script_.processLevel;
    case audioMasterGetVendorString:
    case audioMasterGetProductString: {
      // A host without the text leaves the buffer alone and says so.
      const std::string& text =
          call.opcode == audioMasterGetVendorString ? script_.vendorString : script_.productString;
      if (!ptr || text.empty()) return 0;
      CopyHostString(text, ptr);
      return 1;
    }
    case audioMasterGetVendorVersion:
      return script_.vendorVersion;
    case audioMasterWantMidi:
    case audioMasterProcessEvents:
      return 1;
    default:
      return 0;
  }
}

}  // namespace testhost
