// Writes the factory bank from the program table: the bank resource compiled
// into the plug-in (--chunk FILE) or a bank file users load into a host
// (--fxb FILE). Runs on the build machine, also when cross-compiling; it is
// built with the framework's chunk code and the effect's record layout, so
// the bytes are the plug-in's own.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "FactoryPrograms.h"
#include "effect/VeltraneStateLayout.h"
#include "plugin/ChunkBuffer.h"

namespace {

// The version the bank's programs were saved with, as hosts read it.
constexpr uint32_t kBankEffectVersion = 20002;

void PutBigEndian(std::vector<unsigned char>& out, uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<unsigned char>(v >> shift));
}

void PutBytes(std::vector<unsigned char>& out, const char* text) {
  out.insert(out.end(), text, text + std::strlen(text));
}

// The bank: a big-endian header, then the framework's chunk of 32 programs
// as the preset list writes them. `sizeAfterMagic` selects the byte-size
// convention: the plug-in's resource carries its total length, bank files
// the length after the first 8 bytes.
std::vector<unsigned char> MakeBank(bool sizeAfterMagic) {
  static_assert(sizeof FactoryProgram::values / sizeof(double) == kStateValues, "one value per parameter");
  ChunkBuffer chunk;
  WriteVersionHeader(chunk);
  for (const FactoryProgram& program : kFactoryPrograms) {
    chunk.AppendString(program.name);
    chunk.AppendBool(true);  // initialised
    // Every record names the preset current when the bank was written.
    AppendStateRecord(chunk, 0, kFactoryPrograms[0].name, program.values);
  }

  std::vector<unsigned char> bank;
  const uint32_t total = static_cast<uint32_t>(kBankChunkStart + chunk.Size());
  PutBytes(bank, "CcnK");
  PutBigEndian(bank, sizeAfterMagic ? total - 8 : total);
  PutBytes(bank, "FBCh");
  PutBigEndian(bank, 2);
  PutBytes(bank, "QVTR");
  PutBigEndian(bank, kBankEffectVersion);
  PutBigEndian(bank, kNumFactoryPrograms);
  bank.insert(bank.end(), 128, 0);
  PutBigEndian(bank, static_cast<uint32_t>(chunk.Size()));
  if (bank.size() != static_cast<size_t>(kBankChunkStart)) return {};
  bank.insert(bank.end(), chunk.Data(), chunk.Data() + chunk.Size());
  return bank;
}

int Usage() {
  std::fprintf(stderr,
               "usage: make_factory_bank --chunk FILE   write the bank resource of the plug-in\n"
               "       make_factory_bank --fxb FILE     write the bank as a file for hosts\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) return Usage();
  const std::string mode = argv[1];
  if (mode != "--chunk" && mode != "--fxb") return Usage();
  const std::vector<unsigned char> bank = MakeBank(mode == "--fxb");
  if (bank.empty()) {
    std::fprintf(stderr, "make_factory_bank: the bank header does not match its layout\n");
    return 1;
  }
  std::FILE* file = std::fopen(argv[2], "wb");
  if (file == nullptr) {
    std::fprintf(stderr, "make_factory_bank: cannot write %s\n", argv[2]);
    return 1;
  }
  const bool ok = std::fwrite(bank.data(), 1, bank.size(), file) == bank.size();
  if (std::fclose(file) != 0 || !ok) {
    std::fprintf(stderr, "make_factory_bank: writing %s failed\n", argv[2]);
    return 1;
  }
  return 0;
}
