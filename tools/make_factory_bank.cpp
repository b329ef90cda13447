// Writes the factory bank from the program table: the bank resource compiled
// into the plug-in (--chunk FILE) or a bank file users load into a host
// (--fxb FILE). Runs on the build machine, also when cross-compiling.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "FactoryPrograms.h"

namespace {

void PutBigEndian(std::vector<unsigned char>& out, uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<unsigned char>(v >> shift));
}

void PutLittleEndian(std::vector<unsigned char>& out, uint32_t v) {
  for (int shift = 0; shift <= 24; shift += 8) out.push_back(static_cast<unsigned char>(v >> shift));
}

void PutDouble(std::vector<unsigned char>& out, double v) {
  uint64_t bits;
  std::memcpy(&bits, &v, sizeof bits);
  for (int shift = 0; shift < 64; shift += 8) out.push_back(static_cast<unsigned char>(bits >> shift));
}

void PutBytes(std::vector<unsigned char>& out, const char* text) {
  out.insert(out.end(), text, text + std::strlen(text));
}

void PutString(std::vector<unsigned char>& out, const char* text) {
  PutLittleEndian(out, static_cast<uint32_t>(std::strlen(text)));
  PutBytes(out, text);
}

// The bank: a big-endian header, then the framework's chunk of 32 programs.
// `sizeAfterMagic` selects the byte-size convention: the plug-in's resource
// carries its total length, bank files the length after the first 8 bytes.
std::vector<unsigned char> MakeBank(bool sizeAfterMagic) {
  std::vector<unsigned char> chunk;
  PutLittleEndian(chunk, 0x70666674u);  // 'pfft'
  PutLittleEndian(chunk, 0x00010000u);
  for (const FactoryProgram& program : kFactoryPrograms) {
    PutString(chunk, program.name);
    chunk.push_back(1);  // initialised
    PutBytes(chunk, "Quorvel Veltrane_2.0.1");
    PutLittleEndian(chunk, 0);  // the preset current when the bank was written
    PutString(chunk, kFactoryPrograms[0].name);
    for (double v : program.values) PutDouble(chunk, v);
  }

  std::vector<unsigned char> bank;
  const uint32_t total = static_cast<uint32_t>(160 + chunk.size());
  PutBytes(bank, "CcnK");
  PutBigEndian(bank, sizeAfterMagic ? total - 8 : total);
  PutBytes(bank, "FBCh");
  PutBigEndian(bank, 2);
  PutBytes(bank, "QVTR");
  PutBigEndian(bank, 20002);
  PutBigEndian(bank, kNumFactoryPrograms);
  bank.insert(bank.end(), 128, 0);
  PutBigEndian(bank, static_cast<uint32_t>(chunk.size()));
  bank.insert(bank.end(), chunk.begin(), chunk.end());
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
