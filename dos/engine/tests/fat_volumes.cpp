#include "dos/engine/tests/fat_volumes.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <random>
#include <sstream>

namespace orvane::dos::testing {

int Shell(const std::string& command, std::string* output) {
  std::FILE* pipe = popen(("MTOOLS_SKIP_CHECK=1 " + command + " 2>&1").c_str(), "r");
  if (!pipe) return -1;
  std::string text;
  char buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) text.append(buffer, n);
  const int status = pclose(pipe);
  if (output) *output = text;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

ScratchDir::ScratchDir() {
  std::string pattern = ::testing::TempDir() + "orvane-XXXXXX";
  path_ = mkdtemp(pattern.data());
}

ScratchDir::~ScratchDir() {
  if (!getenv("ORVANE_KEEP_SCRATCH")) Shell("rm -rf '" + path_ + "'");
}

std::vector<uint8_t> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

namespace {

void Check(const std::string& command) {
  std::string output;
  ASSERT_EQ(Shell(command, &output), 0) << command << "\n" << output;
}

std::string Hex(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "%08X", value);
  return text;
}

uint64_t FreeBytes(const std::string& path) {
  std::string out;
  Shell("mdir -i '" + path + "' ::", &out);
  const size_t at = out.rfind("bytes free");
  if (at == std::string::npos) return 0;
  size_t start = out.rfind('\n', at);
  std::string digits;
  for (size_t i = start == std::string::npos ? 0 : start; i < at; ++i) {
    if (out[i] >= '0' && out[i] <= '9') digits += out[i];
  }
  return std::stoull(digits);
}

}  // namespace

void MakeVolume(const std::string& path, int fat_bits, int cluster_bytes, uint32_t kib, Fill fill,
                const std::string& files_dir, uint32_t seed) {
  std::mt19937 random(seed);
  const int per_cluster = cluster_bytes / 512;
  Check("rm -f '" + path + "' && mkfs.fat -C -F " + std::to_string(fat_bits) + " -S 512 -s " +
        std::to_string(per_cluster) + " -i " + Hex(0x1000 + seed) + " '" + path + "' " +
        std::to_string(kib));
  Check("mkdir -p '" + files_dir + "/SUB/DEEP'");

  int made = 0;
  auto put = [&](const std::string& name, size_t size) {
    std::vector<uint8_t> bytes(size);
    for (auto& b : bytes) b = static_cast<uint8_t>(random());
    WriteFile(files_dir + "/" + name, bytes);
    Check("mcopy -o -i '" + path + "' '" + files_dir + "/" + name + "' '::/" + name + "'");
    ++made;
  };
  Check("mmd -i '" + path + "' ::/SUB ::/SUB/DEEP");
  for (size_t size : {size_t{0}, size_t{1}, size_t(cluster_bytes - 1), size_t(cluster_bytes + 1),
                      size_t{70000}}) {
    put("F" + std::to_string(made) + ".BIN", size);
  }
  put("SUB/DEEP/NESTED.BIN", 5000);

  if (fill == Fill::kFragmented || fill == Fill::kNearlyFull) {
    // Small files with every other one deleted leave holes that a large
    // file then runs through.
    for (int i = 0; i < 40; ++i) put("SUB/S" + std::to_string(i) + ".BIN", cluster_bytes * 2);
    for (int i = 0; i < 40; i += 2) {
      Check("mdel -i '" + path + "' ::/SUB/S" + std::to_string(i) + ".BIN");
      std::remove((files_dir + "/SUB/S" + std::to_string(i) + ".BIN").c_str());
    }
    put("SUB/SPREAD.BIN", size_t(cluster_bytes) * 50 + 123);
  }
  if (fill == Fill::kNearlyFull) {
    const uint64_t free_bytes = FreeBytes(path);
    if (free_bytes > uint64_t(cluster_bytes) * 3) {
      put("FILLER.BIN", static_cast<size_t>(free_bytes - cluster_bytes * 2));
    }
    ASSERT_LE(FreeBytes(path), uint64_t(cluster_bytes) * 3);
  }
}

void ActivateSecondFat(const std::string& path) {
  std::vector<uint8_t> bytes = ReadFile(path);
  ASSERT_GE(bytes.size(), 65536u);
  const auto load16 = [&](size_t at) { return uint32_t(bytes[at] | bytes[at + 1] << 8); };
  const auto load32 = [&](size_t at) { return load16(at) | load16(at + 2) << 16; };
  const size_t fat0 = size_t{load16(0x0E)} * 512, fat_bytes = size_t{load32(0x24)} * 512;
  const uint32_t root = load32(0x2C);
  ASSERT_EQ(bytes[0x10], 2) << "two FATs";
  ASSERT_EQ(load16(0x16), 0u) << "FAT32";
  // Entries 0 and 1 hold the media byte and flags; the root's first
  // cluster ends its chain.
  std::fill(bytes.begin() + ptrdiff_t(fat0 + 8), bytes.begin() + ptrdiff_t(fat0 + fat_bytes), 0);
  for (int i = 0; i < 4; ++i) bytes[fat0 + root * 4 + i] = i < 3 ? 0xFF : 0x0F;
  // The flags word, in the boot sector and in its backup.
  for (size_t boot : {size_t{0}, size_t{load16(0x32)} * 512}) {
    bytes[boot + 0x28] = 0x81;
    bytes[boot + 0x29] = 0x00;
  }
  WriteFile(path, bytes);
}

uint64_t AllocatedBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  const uint64_t size = static_cast<uint64_t>(in.tellg());
  return size - FreeBytes(path);
}

Status MemoryDisk::Read(uint32_t lba, uint16_t count, uint8_t* buffer) {
  for (uint32_t s = lba; s < lba + count; ++s) {
    if (std::find(bad_reads.begin(), bad_reads.end(), s) != bad_reads.end() || s >= SectorCount()) {
      return Status::Fail(Fault::kDiskRead, s, 0x10);
    }
  }
  std::copy_n(bytes_.begin() + ptrdiff_t{lba} * kSectorSize, size_t{count} * kSectorSize, buffer);
  return Status::Ok();
}

Status MemoryDisk::Write(uint32_t lba, uint16_t count, const uint8_t* buffer) {
  for (uint32_t s = lba; s < lba + count; ++s) {
    if (std::find(bad_writes.begin(), bad_writes.end(), s) != bad_writes.end() ||
        s >= SectorCount()) {
      return Status::Fail(Fault::kDiskWrite, s, 0x03);
    }
  }
  ++writes;
  std::copy_n(buffer, size_t{count} * kSectorSize, bytes_.begin() + ptrdiff_t{lba} * kSectorSize);
  return Status::Ok();
}

}  // namespace orvane::dos::testing
