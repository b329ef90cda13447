// The module as a host scanning it meets it: one entry, one factory, one
// descriptor, creation rules, the extensions offered and the audio ports.
#include <cstring>
#include <set>
#include <string>

#include "tests/plugin/clap/ClapTestSupport.h"

namespace claphost {
namespace {

using Module = ClapTest;

TEST_F(Module, EntryFactoryAndDescriptor) {
  const ClapModule& module = SharedClapModule();
  EXPECT_EQ(module.entry()->clap_version.major, 1u);
  EXPECT_EQ(module.entry()->get_factory("clap.preset-discovery-factory"), nullptr);
  EXPECT_EQ(module.entry()->get_factory(nullptr), nullptr);
  const clap_plugin_factory_t* factory = module.factory();
  ASSERT_EQ(factory->get_plugin_count(factory), 1u);
  EXPECT_EQ(factory->get_plugin_descriptor(factory, 1), nullptr);
  const clap_plugin_descriptor_t* d = factory->get_plugin_descriptor(factory, 0);
  ASSERT_NE(d, nullptr);
  EXPECT_GE(d->clap_version.major, 1u);
  EXPECT_STREQ(d->id, "com.quorvel.veltrane");
  EXPECT_STREQ(d->name, "Quorvel Veltrane");
  EXPECT_STREQ(d->vendor, "Quorvel");
  EXPECT_STREQ(d->url, "http://www.quorvel.com");
  EXPECT_STREQ(d->version, "2.0.3");
  std::set<std::string> features;
  for (const char* const* f = d->features; *f != nullptr; ++f) features.insert(*f);
  EXPECT_EQ(features, (std::set<std::string>{"audio-effect", "frequency-shifter", "pitch-shifter", "stereo"}));
}

TEST_F(Module, CreationRefusesWhatIsNotOurs) {
  const clap_plugin_factory_t* factory = SharedClapModule().factory();
  auto probe = ClapInstance::Create();
  ASSERT_TRUE(probe);
  clap_host_t host = *probe->host();
  EXPECT_EQ(factory->create_plugin(factory, &host, "com.quorvel.other"), nullptr);
  EXPECT_EQ(factory->create_plugin(factory, &host, nullptr), nullptr);
  EXPECT_EQ(factory->create_plugin(factory, nullptr, "com.quorvel.veltrane"), nullptr);
  host.clap_version = {0, 9, 0};  // a development version of the interface
  EXPECT_EQ(factory->create_plugin(factory, &host, "com.quorvel.veltrane"), nullptr);
  // A plug-in destroyed before init, as a scanning host may do.
  host.clap_version = kClapVersion;
  const clap_plugin_t* plugin = factory->create_plugin(factory, &host, "com.quorvel.veltrane");
  ASSERT_NE(plugin, nullptr);
  EXPECT_STREQ(plugin->desc->id, "com.quorvel.veltrane");
  plugin->destroy(plugin);
}

TEST_F(Module, ExtensionsAndPorts) {
  auto plugin = ClapInstance::Create();
  ASSERT_TRUE(plugin);
  for (const char* id : {CLAP_EXT_AUDIO_PORTS, CLAP_EXT_PARAMS, CLAP_EXT_STATE, CLAP_EXT_GUI})
    EXPECT_NE(plugin->Extension(id), nullptr) << id;
#if defined(_WIN32)
  EXPECT_EQ(plugin->Extension(CLAP_EXT_TIMER_SUPPORT), nullptr);
#else
  EXPECT_NE(plugin->Extension(CLAP_EXT_TIMER_SUPPORT), nullptr);
  EXPECT_NE(plugin->Extension(CLAP_EXT_POSIX_FD_SUPPORT), nullptr);
#endif
  EXPECT_EQ(plugin->Extension("clap.note-ports"), nullptr);
  EXPECT_EQ(plugin->Extension(nullptr), nullptr);

  const auto* ports = static_cast<const clap_plugin_audio_ports_t*>(plugin->Extension(CLAP_EXT_AUDIO_PORTS));
  for (bool input : {true, false}) {
    ASSERT_EQ(ports->count(plugin->plugin(), input), 1u);
    clap_audio_port_info_t info;
    std::memset(&info, 0xCD, sizeof info);
    ASSERT_TRUE(ports->get(plugin->plugin(), 0, input, &info));
    EXPECT_EQ(info.id, 0u);
    EXPECT_EQ(info.channel_count, 2u);
    EXPECT_STREQ(info.port_type, CLAP_PORT_STEREO);
    EXPECT_EQ(info.flags, CLAP_AUDIO_PORT_IS_MAIN | CLAP_AUDIO_PORT_SUPPORTS_64BITS |
                              CLAP_AUDIO_PORT_REQUIRES_COMMON_SAMPLE_SIZE);
    EXPECT_EQ(info.in_place_pair, CLAP_INVALID_ID);
    EXPECT_STREQ(info.name, input ? "Main In" : "Main Out");
    EXPECT_FALSE(ports->get(plugin->plugin(), 1, input, &info));
    EXPECT_FALSE(ports->get(plugin->plugin(), 0, input, nullptr));
  }
}

TEST_F(Module, ActivationRefusesNonsenseRates) {
  auto plugin = ClapInstance::Create();
  ASSERT_TRUE(plugin);
  const clap_plugin_t* p = plugin->plugin();
  EXPECT_FALSE(p->activate(p, 0.0, 1, 512));
  EXPECT_FALSE(p->activate(p, -44100.0, 1, 512));
  EXPECT_FALSE(p->activate(p, std::nan(""), 1, 512));
  EXPECT_FALSE(p->activate(p, 44100.0, 1, 0));
  EXPECT_FALSE(p->start_processing(p));  // not active
  EXPECT_TRUE(plugin->Activate(48000.0, 256));
  EXPECT_FALSE(p->activate(p, 48000.0, 1, 256));  // already active
}

}  // namespace
}  // namespace claphost
