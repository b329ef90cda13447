// A stand-in for the module's resources (the platform seam), filled by the
// test, recording each lookup.
#pragma once

#include <string>
#include <vector>

namespace fake_resources {

void Reset();
void Add(const std::string& type, int id, std::vector<unsigned char> bytes);
int Lookups();
std::string LastType();
int LastId();

}  // namespace fake_resources
