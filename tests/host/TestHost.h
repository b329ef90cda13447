// A small VST 2.4 host for tests: loads a built plug-in binary through its
// exported entry point, answers the plug-in's host callback from a script the
// test sets up, and records every call the plug-in makes into the host.
//
// Only the published interface is used (plugin/vst2/vst24.h); nothing here links
// against the plug-in's own code, so the tests see exactly what a DAW sees.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "plugin/vst2/vst24.h"

namespace testhost {

// One call the plug-in made into the host callback.
struct HostCall {
  AEffect* effect = nullptr;  // as passed by the plug-in
  VstInt32 opcode = 0;
  VstInt32 index = 0;
  VstIntPtr value = 0;
  bool hasPtr = false;
  float opt = 0.0f;
  std::thread::id thread;
  bool duringCreation = false;  // made inside VSTPluginMain
};

// How the host answers. Fields are read at every call, so a test may change
// them between blocks through PluginInstance::EditScript.
struct HostScript {
  std::string productString;  // audioMasterGetProductString
  std::string vendorString;   // audioMasterGetVendorString
  VstIntPtr vendorVersion = 0;  // audioMasterGetVendorVersion
  std::optional<VstTimeInfo> timeInfo;  // audioMasterGetTime; nullopt answers null
  VstIntPtr processLevel = 0;  // audioMasterGetCurrentProcessLevel
  VstIntPtr hostVstVersion = 2400;  // audioMasterVersion
  // Replaces the built-in answer for one opcode. Called with the host's lock
  // released, on the plug-in's thread.
  std::map<VstInt32, std::function<VstIntPtr(const HostCall&, void* ptr)>> overrides;
};

// A time info with the given flags and otherwise plausible values.
VstTimeInfo MakeTimeInfo(VstInt32 flags, double tempo = 120.0, double ppqPos = 0.0,
                         double samplePos = 0.0, double sampleRate = 44100.0);

// A loaded plug-in binary. Kept loaded for the life of the process: unloading
// a library whose objects may still be referenced by sanitizer reports or
// thread-local destructors helps no test.
class PluginModule {
 public:
  using EntryProc = AEffect*(VSTCALLBACK*)(audioMasterCallback);
  using LegacyMainProc = VstIntPtr(VSTCALLBACK*)(VstIntPtr);

  // Loads the library at path (a unix path is turned into a Windows one under
  // Wine). On failure error() says why and entry() is null.
  explicit PluginModule(const std::string& path);
  PluginModule(const PluginModule&) = delete;
  PluginModule& operator=(const PluginModule&) = delete;

  const std::string& path() const { return path_; }
  const std::string& error() const { return error_; }
  EntryProc entry() const { return entry_; }              // VSTPluginMain, else main
  EntryProc pluginMain() const { return pluginMain_; }    // VSTPluginMain only
  LegacyMainProc legacyMain() const { return legacyMain_; }  // "main", if exported

 private:
  std::string path_;
  std::string error_;
  void* handle_ = nullptr;
  EntryProc entry_ = nullptr;
  EntryProc pluginMain_ = nullptr;
  LegacyMainProc legacyMain_ = nullptr;
};

// The plug-in path for this test run: the command line (set by main) or the
// environment variable VELTRANE_PLUGIN.
void SetPluginPathFromCommandLine(const std::string& path);
std::string PluginPath();
// The module at PluginPath(), loaded once per process.
const PluginModule& SharedModule();

using FloatBuffers = std::vector<std::vector<float>>;
using DoubleBuffers = std::vector<std::vector<double>>;

// One plug-in instance with its scripted host side.
class PluginInstance {
 public:
  enum class Entry { PluginMain, LegacyMain };

  // Calls the module's entry point; null if the plug-in returned null.
  static std::unique_ptr<PluginInstance> Create(const PluginModule& module, HostScript script = {},
                                                Entry entry = Entry::PluginMain);
  ~PluginInstance();  // effClose, unless Close() was called
  PluginInstance(const PluginInstance&) = delete;
  PluginInstance& operator=(const PluginInstance&) = delete;

  AEffect* effect() const { return effect_; }

  VstIntPtr Dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr,
                     float opt = 0.0f);
  // effOpen; then sample rate, block size and effMainsChanged(1).
  void Open();
  void Start(float sampleRate = 44100.0f, VstIntPtr blockSize = 1024);
  void Stop();  // effMainsChanged(0)
  void Close();  // effClose; the effect record is gone afterwards

  float GetParameter(VstInt32 index);
  void SetParameter(VstInt32 index, float value);
  std::string ParamName(VstInt32 index);
  std::string ParamDisplay(VstInt32 index);
  std::string ParamLabel(VstInt32 index);
  // effString2Parameter; returns the dispatcher's answer.
  VstIntPtr SetParameterText(VstInt32 index, const std::string& text);
  std::string ProgramName();
  std::string ProgramNameIndexed(VstInt32 index);

  // Processing through the three record functions. frames < 0 takes the
  // length of the first output buffer. The pointer arrays have exactly one
  // entry per given buffer.
  void ProcessReplacing(FloatBuffers& inputs, FloatBuffers& outputs, VstInt32 frames = -1);
  void Process(FloatBuffers& inputs, FloatBuffers& outputs, VstInt32 frames = -1);
  void ProcessDouble(DoubleBuffers& inputs, DoubleBuffers& outputs, VstInt32 frames = -1);

  // effGetChunk / effSetChunk; program = true asks for one program (index 1).
  std::vector<uint8_t> GetChunk(bool program);
  VstIntPtr SetChunk(const std::vector<uint8_t>& data, bool program);

  // Changes the script under the host's lock.
  void EditScript(const std::function<void(HostScript&)>& edit);

  // The recorded calls, oldest first.
  std::vector<HostCall> Calls() const;
  std::vector<HostCall> CallsWith(VstInt32 opcode) const;
  size_t CountCalls(VstInt32 opcode) const;
  void ClearCalls();

  // Answers one callback; public for the static trampoline only.
  VstIntPtr Answer(HostCall call, void* ptr);

 private:
  PluginInstance(HostScript script) : script_(std::move(script)) {}

  AEffect* effect_ = nullptr;
  bool closed_ = false;
  mutable std::mutex mutex_;
  HostScript script_;
  VstTimeInfo timeInfoStorage_{};  // what audioMasterGetTime points to
  std::vector<HostCall> calls_;
};

// Calls that reached the host callback for no known instance (neither a
// registered effect record nor an instance being created on that thread).
std::vector<HostCall> OrphanCalls();

}  // namespace testhost
