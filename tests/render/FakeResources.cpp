#include "tests/render/FakeResources.h"

#include <map>
#include <utility>

#include "platform/Resources.h"

namespace {

std::map<std::pair<std::string, int>, std::vector<unsigned char>> g_table;
int g_lookups = 0;
std::string g_lastType;
int g_lastId = -1;

}  // namespace

void fake_resources::Reset() {
  g_table.clear();
  g_lookups = 0;
  g_lastType.clear();
  g_lastId = -1;
}

void fake_resources::Add(const std::string& type, int id, std::vector<unsigned char> bytes) {
  g_table[{type, id}] = std::move(bytes);
}

int fake_resources::Lookups() { return g_lookups; }
std::string fake_resources::LastType() { return g_lastType; }
int fake_resources::LastId() { return g_lastId; }

bool FindModuleResource(const char* type, int id, const char* name, const void** data, size_t* size) {
  ++g_lookups;
  g_lastType = type ? type : "";
  g_lastId = id;
  if (!type || name) return false;
  auto it = g_table.find({type, id});
  if (it == g_table.end()) return false;
  *data = it->second.data();
  *size = it->second.size();
  return true;
}
