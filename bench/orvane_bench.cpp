// Speed of the text services, as ratios that tools/bench-ratios checks:
// Md5 against OpenSSL's MD5 over the same megabyte, and each cipher's time
// per character at a long text against that at 1,024 characters.
#include <benchmark/benchmark.h>
#include <openssl/evp.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "system/automation.h"
#include "system/program_error.h"
#include "system/qor_system.h"

namespace {

using orvane::CodePage;
using orvane::QorSystem;
using orvane::Variant;

constexpr std::size_t kMebibyte = 1 << 20;

std::u16string AsciiText(std::size_t length) {
  std::u16string text(length, u' ');
  for (std::size_t i = 0; i < length; ++i)
    text[i] = static_cast<char16_t>(32 + (i * 7 + i / 95) % 95);
  return text;
}

QorSystem& System() {
  static QorSystem system{CodePage(936)};
  return system;
}

// Times `first` and `second` a moment apart in every iteration of the
// benchmark, which of them goes first alternating, and returns the median
// over the iterations of the time of `second` over that of `first`. Two
// separate cases would compare moments seconds apart, and the speed of a
// virtual machine drifts by as much as half over seconds.
template <typename First, typename Second>
double MedianTimeRatio(benchmark::State& state, First first, Second second) {
  using Clock = std::chrono::steady_clock;
  const auto seconds = [](auto& run) {
    const Clock::time_point start = Clock::now();
    run();
    return std::chrono::duration<double>(Clock::now() - start).count();
  };
  std::vector<double> ratios;
  bool first_first = false;
  for (auto _ : state) {
    first_first = !first_first;
    double first_seconds = first_first ? seconds(first) : 0;
    const double second_seconds = seconds(second);
    if (!first_first) first_seconds = seconds(first);
    ratios.push_back(second_seconds / first_seconds);
  }
  std::nth_element(ratios.begin(), ratios.begin() + ratios.size() / 2, ratios.end());
  return ratios[ratios.size() / 2];
}

// The time per character of `run` on a long text over that on a short
// one, run as many times as makes about as many characters, as the
// counter "per_char_ratio".
template <typename Text, typename Run>
void PerCharacterRatio(benchmark::State& state, const Text& short_text, std::size_t short_length,
                       const Text& long_text, std::size_t long_length, Run run) {
  const std::size_t repeats = std::max<std::size_t>(1, long_length / short_length);
  const auto shorts = [&] {
    for (std::size_t i = 0; i < repeats; ++i) benchmark::DoNotOptimize(run(short_text));
  };
  const auto once = [&] { benchmark::DoNotOptimize(run(long_text)); };
  state.counters["per_char_ratio"] = MedianTimeRatio(state, shorts, once) *
                                     static_cast<double>(short_length * repeats) /
                                     static_cast<double>(long_length);
}

void Md5Mebibyte(benchmark::State& state) {
  const std::u16string text = AsciiText(kMebibyte);
  for (auto _ : state) benchmark::DoNotOptimize(System().Md5(text, 32));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * kMebibyte);
}
BENCHMARK(Md5Mebibyte)->Unit(benchmark::kMicrosecond);

void OpenSslMd5Mebibyte(benchmark::State& state) {
  const std::string bytes(kMebibyte, ' ');
  std::string text = bytes;
  for (std::size_t i = 0; i < kMebibyte; ++i)
    text[i] = static_cast<char>(32 + (i * 7 + i / 95) % 95);
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int size = 0;
  for (auto _ : state) {
    EVP_Digest(text.data(), text.size(), digest, &size, EVP_md5(), nullptr);
    benchmark::DoNotOptimize(digest);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * kMebibyte);
}
BENCHMARK(OpenSslMd5Mebibyte)->Unit(benchmark::kMicrosecond);

// Md5's throughput over OpenSSL's MD5 on the same megabyte, as the
// counter "throughput_ratio".
void Md5AgainstOpenSsl(benchmark::State& state) {
  const std::u16string text = AsciiText(kMebibyte);
  const std::string bytes(text.begin(), text.end());
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int size = 0;
  const auto ours = [&] { benchmark::DoNotOptimize(System().Md5(text, 32)); };
  const auto openssl = [&] {
    EVP_Digest(bytes.data(), bytes.size(), digest, &size, EVP_md5(), nullptr);
    benchmark::DoNotOptimize(digest);
  };
  state.counters["throughput_ratio"] = MedianTimeRatio(state, ours, openssl);
}
BENCHMARK(Md5AgainstOpenSsl)->Iterations(41);

void CipherText(benchmark::State& state) {
  const std::u16string text = AsciiText(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(System().Cipher(u"orvane", text));
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(CipherText)->Arg(1024)->Arg(32766);

void CipherLinearity(benchmark::State& state) {
  PerCharacterRatio(state, AsciiText(1024), 1024, AsciiText(32766), 32766,
                    [](const std::u16string& text) { return System().Cipher(u"orvane", text); });
}
BENCHMARK(CipherLinearity)->Iterations(41);

void DecipherText(benchmark::State& state) {
  const std::u16string text = AsciiText(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(System().Decipher(u"orvane", text));
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(DecipherText)->Arg(1024)->Arg(32766);

void DecipherLinearity(benchmark::State& state) {
  PerCharacterRatio(state, AsciiText(1024), 1024, AsciiText(32766), 32766,
                    [](const std::u16string& text) { return System().Decipher(u"orvane", text); });
}
BENCHMARK(DecipherLinearity)->Iterations(41);

// Under code page 936 a text whose shifted codes are all characters is at
// most 32,576 characters long: a code must stay at or above 0x8140
// (-32448) and reach at most 0x80 at its position. Each character is
// picked so that it and its shifted code are characters, plain ASCII
// first and double-byte characters once positions grow large.
std::u16string EncryptableText(std::size_t length) {
  const CodePage& page = System().code_page_for_testing();
  std::vector<std::int32_t> codes;
  for (std::int32_t code = -32768; code <= 0xFF; ++code) {
    try {
      page.CodeToChar(code);
      codes.push_back(code);
    } catch (const orvane::ProgramError&) {
    }
  }
  std::vector<bool> valid(0x10000 + 0x8000, false);
  for (const std::int32_t code : codes) valid[static_cast<std::size_t>(code + 0x8000)] = true;
  std::u16string text;
  std::size_t next = 0;
  for (std::int32_t position = 1; text.size() < length; ++position) {
    for (std::size_t tried = 0;; ++tried) {
      if (tried == codes.size()) throw std::logic_error("no character fits this position");
      const std::int32_t code = codes[(next + tried) % codes.size()];
      const std::int32_t shifted = code + position;
      if (shifted <= 0xFF && valid[static_cast<std::size_t>(shifted + 0x8000)]) {
        text += page.CodeToChar(code);
        next = (next + tried + 1) % codes.size();
        break;
      }
    }
  }
  return text;
}

const std::u16string& EncryptableText() {
  static const std::u16string text = EncryptableText(32576);
  return text;
}

void EncryptText(benchmark::State& state) {
  const Variant text(EncryptableText().substr(0, static_cast<std::size_t>(state.range(0))));
  for (auto _ : state) benchmark::DoNotOptimize(System().Encrypt(text));
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(EncryptText)->Arg(1024)->Arg(32576);

void EncryptLinearity(benchmark::State& state) {
  PerCharacterRatio(state, Variant(EncryptableText().substr(0, 1024)), 1024,
                    Variant(EncryptableText()), EncryptableText().size(),
                    [](const Variant& text) { return System().Encrypt(text); });
}
BENCHMARK(EncryptLinearity)->Iterations(21);

void DecryptText(benchmark::State& state) {
  const Variant text = System().Encrypt(
      Variant(EncryptableText().substr(0, static_cast<std::size_t>(state.range(0)))));
  for (auto _ : state) benchmark::DoNotOptimize(System().Decrypt(text));
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(DecryptText)->Arg(1024)->Arg(32576);

void DecryptLinearity(benchmark::State& state) {
  PerCharacterRatio(state, System().Encrypt(Variant(EncryptableText().substr(0, 1024))), 1024,
                    System().Encrypt(Variant(EncryptableText())), EncryptableText().size(),
                    [](const Variant& text) { return System().Decrypt(text); });
}
BENCHMARK(DecryptLinearity)->Iterations(21);

}  // namespace

BENCHMARK_MAIN();
