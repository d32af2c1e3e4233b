// Speed of the imaging engine's LZ4 blocks on what a disk holds: 64 MiB
// of Windows program files (the PE DLLs of Wine, every so many of them in
// name order, so that no few large ones make up the whole), cut into
// blocks of 32 KiB as the image's chunks are. Throughput counts the bytes
// before compression. Compress also reports the ratio (the blocks' bytes
// over the data's, a block that does not shrink counted as stored) and the
// share of blocks stored; Decompress and DecompressInPlace decode the
// blocks that shrank.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <vector>

#include "dos/engine/lz4.h"

namespace {

using namespace orvane::dos;

constexpr size_t kCorpusBytes = size_t{64} << 20;
constexpr uint32_t kBlock = 32 * 1024;

std::vector<uint8_t> ReadCorpus() {
  std::vector<std::filesystem::path> dlls;
  for (const char* dir : {"/usr/lib/x86_64-linux-gnu/wine/x86_64-windows",
                          "/usr/lib/i386-linux-gnu/wine/i386-windows"}) {
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(dir, error)) {
      if (entry.path().extension() == ".dll" && entry.is_regular_file()) {
        dlls.push_back(entry.path());
      }
    }
  }
  std::sort(dlls.begin(), dlls.end());
  uintmax_t total = 0;
  for (const auto& dll : dlls) total += std::filesystem::file_size(dll);
  const size_t stride = std::max<size_t>(1, static_cast<size_t>(total / kCorpusBytes));
  std::vector<uint8_t> corpus;
  corpus.reserve(kCorpusBytes);
  // Every stride-th file, then those after them, until the corpus is full.
  for (size_t first = 0; first < stride && corpus.size() < kCorpusBytes; ++first) {
    for (size_t i = first; i < dlls.size() && corpus.size() < kCorpusBytes; i += stride) {
      std::ifstream file(dlls[i], std::ios::binary);
      corpus.insert(corpus.end(), std::istreambuf_iterator<char>(file), {});
    }
  }
  corpus.resize(std::min(corpus.size(), kCorpusBytes) / kBlock * kBlock);
  return corpus;
}

const std::vector<uint8_t>& Corpus() {
  static const std::vector<uint8_t> corpus = ReadCorpus();
  return corpus;
}

// The blocks that shrank.
struct Packed {
  std::vector<uint32_t> size;
  std::vector<std::vector<uint8_t>> blocks;
};

const Packed& PackedCorpus() {
  static const Packed packed = [] {
    Packed p;
    const std::vector<uint8_t>& corpus = Corpus();
    auto table = std::make_unique<Lz4Table>();
    std::vector<uint8_t> out(kBlock);
    for (uint32_t at = 0; at < corpus.size(); at += kBlock) {
      const uint32_t n = Lz4Compress(&corpus[at], kBlock, out.data(), kBlock - 1, *table);
      if (!n) continue;
      p.size.push_back(n);
      p.blocks.emplace_back(out.begin(), out.begin() + n);
    }
    return p;
  }();
  return packed;
}

void Compress(benchmark::State& state) {
  const std::vector<uint8_t>& corpus = Corpus();
  if (corpus.empty()) return state.SkipWithError("no Wine DLLs in /usr/lib");
  auto table = std::make_unique<Lz4Table>();
  std::vector<uint8_t> out(kBlock);
  uint64_t written = 0, stored = 0;
  for (auto _ : state) {
    written = stored = 0;
    for (uint32_t at = 0; at < corpus.size(); at += kBlock) {
      const uint32_t n = Lz4Compress(&corpus[at], kBlock, out.data(), kBlock - 1, *table);
      benchmark::DoNotOptimize(out.data());
      written += n ? n : kBlock;
      stored += n == 0;
    }
  }
  const uint64_t blocks = corpus.size() / kBlock;
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * corpus.size()));
  state.counters["ratio"] = static_cast<double>(written) / static_cast<double>(corpus.size());
  state.counters["stored"] = static_cast<double>(stored) / static_cast<double>(blocks);
  state.counters["MiB"] = static_cast<double>(corpus.size() >> 20);
}
BENCHMARK(Compress)->Unit(benchmark::kMillisecond)->UseRealTime();

void Decompress(benchmark::State& state) {
  const Packed& packed = PackedCorpus();
  if (packed.blocks.empty()) return state.SkipWithError("no Wine DLLs in /usr/lib");
  std::vector<uint8_t> out(kBlock);
  for (auto _ : state) {
    for (size_t i = 0; i < packed.blocks.size(); ++i) {
      if (!Lz4Decompress(packed.blocks[i].data(), packed.size[i], out.data(), kBlock)) {
        return state.SkipWithError("a block does not decode");
      }
      benchmark::DoNotOptimize(out.data());
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * packed.blocks.size() * kBlock));
}
BENCHMARK(Decompress)->Unit(benchmark::kMillisecond)->UseRealTime();

// As the image reader decodes: each block read to the end of one buffer
// and decoded into its start. The copy of the block into place is timed
// too, as the reader's read would be.
void DecompressInPlace(benchmark::State& state) {
  const Packed& packed = PackedCorpus();
  if (packed.blocks.empty()) return state.SkipWithError("no Wine DLLs in /usr/lib");
  std::vector<uint8_t> buffer(kBlock + Lz4InPlaceMargin(kBlock));
  for (auto _ : state) {
    for (size_t i = 0; i < packed.blocks.size(); ++i) {
      const uint32_t n = packed.size[i];
      uint8_t* const in = buffer.data() + kBlock + Lz4InPlaceMargin(n) - n;
      std::memcpy(in, packed.blocks[i].data(), n);
      if (!Lz4Decompress(in, n, buffer.data(), kBlock)) {
        return state.SkipWithError("a block does not decode in place");
      }
      benchmark::DoNotOptimize(buffer.data());
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * packed.blocks.size() * kBlock));
}
BENCHMARK(DecompressInPlace)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
