// Times (in thread processor time, medians of --repeat samples) our decoder alone on blocks written by `codec_bench --write-blocks`, so that the
// x86 and x64 engine builds can be measured under Wine. With a zlib1.dll of the same
// architecture beside the program (Windows builds only) zlib's inflate is timed on the
// same data in the same process.
//   decode_bench [--repeat 5] file.blocks...
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#endif

#include "cpu_clock.h"
#include "package/block_codec.h"

namespace {

using Bytes = std::vector<uint8_t>;

struct Block {
  uint32_t codec;  // 0 ours, 1 zlib
  Bytes encoded;
  Bytes decoded;
};

bool read_blocks(const char* path, std::vector<Block>& blocks) {
  FILE* f = std::fopen(path, "rb");
  if (!f) return false;
  uint32_t head[3];
  while (std::fread(head, 4, 3, f) == 3) {
    Block b{head[0], Bytes(head[2]), Bytes(head[1])};
    if (std::fread(b.encoded.data(), 1, b.encoded.size(), f) != b.encoded.size()) break;
    blocks.push_back(std::move(b));
  }
  std::fclose(f);
  return true;
}

using Uncompress = int (*)(uint8_t*, unsigned long*, const uint8_t*, unsigned long);

Uncompress load_zlib() {
#ifdef _WIN32
  HMODULE dll = LoadLibraryA("zlib1.dll");
  if (dll) return reinterpret_cast<Uncompress>(reinterpret_cast<void*>(GetProcAddress(dll, "uncompress")));
#endif
  return nullptr;
}

// Wine's thread times advance in ticks of about 10 ms: each sample decodes whole passes
// until it spans many ticks, or a small corpus times as zero.
constexpr double kMinSampleSeconds = 0.25;

double median_mbs(std::vector<Block>& blocks, uint32_t codec, int repeat, Uncompress zlib) {
  std::vector<double> rates;
  for (int r = 0; r < repeat; ++r) {
    size_t raw = 0;
    double elapsed = 0;
    const double start = bench::thread_seconds();
    do {
      for (Block& b : blocks) {
        if (b.codec != codec) continue;
        raw += b.decoded.size();
        bool ok;
        if (codec == 0) {
          ok = bool(halvard::BlockCodec::decode_into(b.encoded, b.decoded));
        } else {
          unsigned long size = b.decoded.size();
          ok = zlib(b.decoded.data(), &size, b.encoded.data(), b.encoded.size()) == 0 && size == b.decoded.size();
        }
        if (!ok) {
          std::fprintf(stderr, "decode failed\n");
          std::exit(1);
        }
      }
      elapsed = bench::thread_seconds() - start;
    } while (raw && elapsed < kMinSampleSeconds);
    if (!raw) return 0;
    rates.push_back(double(raw) / 1e6 / elapsed);
  }
  std::sort(rates.begin(), rates.end());
  return rates[rates.size() / 2];
}

// Which build ran: the figures of the x86 and x64 engines differ, and a report must say which.
constexpr const char* kBuild =
#if defined(_WIN64)
    "x64 engine build";
#elif defined(_WIN32)
    "x86 engine build";
#else
    "native build";
#endif

}  // namespace

int main(int argc, char** argv) {
  int repeat = 5;
  const Uncompress zlib = load_zlib();
#ifdef _WIN32
  std::printf("decoder: %s; zlib: %s\n", kBuild,
              zlib ? "zlib1.dll beside it" : "no zlib1.dll of this architecture beside it");
#else
  std::printf("decoder: %s; zlib: timed by codec_bench, not here\n", kBuild);
#endif
  std::printf("%-24s %12s %12s %8s\n", "blocks", "ours MB/s", "zlib MB/s", "ratio");
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--repeat") == 0 && i + 1 < argc) {
      repeat = std::max(1, std::atoi(argv[++i]));
      continue;
    }
    std::vector<Block> blocks;
    if (!read_blocks(argv[i], blocks)) {
      std::fprintf(stderr, "cannot read %s\n", argv[i]);
      return 1;
    }
    const double ours = median_mbs(blocks, 0, repeat, zlib);
    const double other = zlib ? median_mbs(blocks, 1, repeat, zlib) : 0;
    std::string name = argv[i];
    name = name.substr(name.find_last_of("/\\") + 1);
    std::printf("%-24s %12.1f %12.1f %8.2f\n", name.c_str(), ours, other, other > 0 ? ours / other : 0.0);
  }
  return 0;
}
