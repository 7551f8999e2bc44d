// Compression benchmark: our BlockCodec encoder and decoder against zlib, LZ4, zstd, xz
// and memcpy on the same corpora, in one run.
//   codec_bench [--blocks 1,4,16] [--repeat 3] [--quick] [--only a,b] [--write-blocks dir] corpus_dir...
// --only keeps the codecs whose names contain one of the words (zlib always runs, for the
// ratios).
// Each corpus is the concatenation of the files of its folder (sorted by name), cut into
// blocks; the peers compress the same 16 MiB blocks. Decompress figures are the median of
// --repeat runs; MB is 10^6 bytes of decoded data. Times are the thread's processor time,
// so that other work on a shared machine does not count.
#include <lz4.h>
#include <lz4hc.h>
#include <lzma.h>
#include <zlib.h>
#include <zstd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "block_encoder.h"
#include "cpu_clock.h"
#include "package/block_codec.h"

namespace {

using Bytes = std::vector<uint8_t>;

struct Codec {
  std::string name;
  size_t block_size;
  std::function<Bytes(const Bytes&)> compress;
  std::function<bool(const Bytes&, Bytes&)> decompress;  // output already sized
};

struct Figures {
  double ratio;
  double compress_mbs;
  double decompress_mbs;
};

double seconds_since(double start) { return bench::thread_seconds() - start; }

Bytes read_corpus(const std::filesystem::path& folder) {
  std::vector<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
    if (entry.is_regular_file()) files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  Bytes all;
  for (const auto& file : files) {
    std::ifstream in(file, std::ios::binary);
    all.insert(all.end(), std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  return all;
}

std::vector<Bytes> cut(const Bytes& data, size_t block_size) {
  std::vector<Bytes> blocks;
  for (size_t at = 0; at < data.size(); at += block_size) {
    blocks.emplace_back(data.begin() + at, data.begin() + std::min(data.size(), at + block_size));
  }
  return blocks;
}

Figures measure(const Codec& codec, const std::vector<Bytes>& blocks, int repeat, std::vector<Bytes>* keep) {
  size_t raw = 0, packed = 0;
  std::vector<Bytes> compressed;
  auto start = bench::thread_seconds();
  for (const Bytes& block : blocks) compressed.push_back(codec.compress(block));
  const double compress_time = seconds_since(start);
  for (size_t i = 0; i < blocks.size(); ++i) raw += blocks[i].size(), packed += compressed[i].size();

  std::vector<double> times;
  std::vector<Bytes> outputs;
  for (const Bytes& block : blocks) outputs.emplace_back(block.size());
  for (int r = 0; r < repeat; ++r) {
    start = bench::thread_seconds();
    for (size_t i = 0; i < blocks.size(); ++i) {
      if (!codec.decompress(compressed[i], outputs[i])) {
        std::fprintf(stderr, "%s: decompression failed\n", codec.name.c_str());
        std::exit(1);
      }
    }
    times.push_back(seconds_since(start));
    for (size_t i = 0; i < blocks.size(); ++i) {
      if (outputs[i] != blocks[i]) {
        std::fprintf(stderr, "%s: decompressed data differs\n", codec.name.c_str());
        std::exit(1);
      }
    }
  }
  std::sort(times.begin(), times.end());
  if (keep) *keep = std::move(compressed);
  return {double(packed) / double(raw), double(raw) / 1e6 / compress_time, double(raw) / 1e6 / times[times.size() / 2]};
}

std::vector<Codec> codecs(const std::vector<size_t>& our_blocks, bool quick) {
  constexpr size_t peer_block = size_t(16) << 20;
  std::vector<Codec> list;
  list.push_back({"memcpy", peer_block, [](const Bytes& b) { return b; },
                  [](const Bytes& in, Bytes& out) { std::memcpy(out.data(), in.data(), in.size()); return true; }});
  for (int level : {6, 9}) {
    list.push_back({"zlib " + std::to_string(level), peer_block,
                    [level](const Bytes& b) {
                      uLongf size = compressBound(b.size());
                      Bytes out(size);
                      compress2(out.data(), &size, b.data(), b.size(), level);
                      out.resize(size);
                      return out;
                    },
                    [](const Bytes& in, Bytes& out) {
                      uLongf size = out.size();
                      return uncompress(out.data(), &size, in.data(), in.size()) == Z_OK && size == out.size();
                    }});
  }
  auto lz4_decode = [](const Bytes& in, Bytes& out) {
    return LZ4_decompress_safe(reinterpret_cast<const char*>(in.data()), reinterpret_cast<char*>(out.data()),
                               int(in.size()), int(out.size())) == int(out.size());
  };
  list.push_back({"lz4", peer_block,
                  [](const Bytes& b) {
                    Bytes out(LZ4_compressBound(int(b.size())));
                    out.resize(LZ4_compress_default(reinterpret_cast<const char*>(b.data()),
                                                    reinterpret_cast<char*>(out.data()), int(b.size()), int(out.size())));
                    return out;
                  },
                  lz4_decode});
  list.push_back({"lz4-hc 12", peer_block,
                  [](const Bytes& b) {
                    Bytes out(LZ4_compressBound(int(b.size())));
                    out.resize(LZ4_compress_HC(reinterpret_cast<const char*>(b.data()), reinterpret_cast<char*>(out.data()),
                                               int(b.size()), int(out.size()), 12));
                    return out;
                  },
                  lz4_decode});
  for (int level : {3, 19}) {
    if (quick && level == 19) continue;
    list.push_back({"zstd " + std::to_string(level), peer_block,
                    [level](const Bytes& b) {
                      Bytes out(ZSTD_compressBound(b.size()));
                      out.resize(ZSTD_compress(out.data(), out.size(), b.data(), b.size(), level));
                      return out;
                    },
                    [](const Bytes& in, Bytes& out) {
                      return ZSTD_decompress(out.data(), out.size(), in.data(), in.size()) == out.size();
                    }});
  }
  if (!quick) {
    list.push_back({"xz 6", peer_block,
                    [](const Bytes& b) {
                      Bytes out(lzma_stream_buffer_bound(b.size()));
                      size_t size = 0;
                      lzma_easy_buffer_encode(6, LZMA_CHECK_NONE, nullptr, b.data(), b.size(), out.data(), &size, out.size());
                      out.resize(size);
                      return out;
                    },
                    [](const Bytes& in, Bytes& out) {
                      uint64_t limit = UINT64_MAX;
                      size_t in_pos = 0, out_pos = 0;
                      return lzma_stream_buffer_decode(&limit, 0, nullptr, in.data(), &in_pos, in.size(), out.data(),
                                                       &out_pos, out.size()) == LZMA_OK &&
                             out_pos == out.size();
                    }});
  }
  using halvard::BlockEncodeMode;
  for (auto mode : {BlockEncodeMode::fast, BlockEncodeMode::normal, BlockEncodeMode::best}) {
    const char* level = mode == BlockEncodeMode::fast ? "fast " : mode == BlockEncodeMode::normal ? "normal " : "best ";
    for (size_t block : our_blocks) {
      const std::string name = std::string("ours ") + level + std::to_string(block >> 20) + "M";
      list.push_back({name, block,
                      [mode](const Bytes& b) {
                        Bytes out;
                        halvard::block_encode(b, mode, out);
                        return out;
                      },
                      [](const Bytes& in, Bytes& out) { return bool(halvard::BlockCodec::decode_into(in, out)); }});
    }
  }
  return list;
}

// Blocks for decode_bench: per block, codec (0 ours, 1 zlib), decoded size, encoded size,
// all 32-bit little-endian, then the encoded bytes.
void write_blocks(const std::filesystem::path& file, const std::vector<Bytes>& ours, const std::vector<Bytes>& zlib,
                  const std::vector<Bytes>& raw) {
  std::ofstream out(file, std::ios::binary);
  auto put = [&](uint32_t v) { out.write(reinterpret_cast<const char*>(&v), 4); };
  for (int codec = 0; codec < 2; ++codec) {
    const auto& list = codec == 0 ? ours : zlib;
    for (size_t i = 0; i < list.size(); ++i) {
      put(uint32_t(codec));
      put(uint32_t(raw[i].size()));
      put(uint32_t(list[i].size()));
      out.write(reinterpret_cast<const char*>(list[i].data()), std::streamsize(list[i].size()));
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<size_t> our_blocks = {size_t(1) << 20, size_t(4) << 20, size_t(16) << 20};
  int repeat = 3;
  bool quick = false;
  std::filesystem::path blocks_dir;
  std::vector<std::filesystem::path> corpora;
  std::vector<std::string> only;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--repeat" && i + 1 < argc) {
      repeat = std::max(1, std::atoi(argv[++i]));
    } else if (arg == "--quick") {
      quick = true;
    } else if (arg == "--blocks" && i + 1 < argc) {
      our_blocks.clear();
      for (const char* p = argv[++i]; *p;) {
        our_blocks.push_back(size_t(std::strtoul(p, const_cast<char**>(&p), 10)) << 20);
        if (*p == ',') ++p;
      }
    } else if (arg == "--only" && i + 1 < argc) {
      std::string words = argv[++i];
      for (size_t at = 0; at <= words.size();) {
        const size_t comma = std::min(words.find(',', at), words.size());
        only.push_back(words.substr(at, comma - at));
        at = comma + 1;
      }
    } else if (arg == "--write-blocks" && i + 1 < argc) {
      blocks_dir = argv[++i];
    } else {
      corpora.emplace_back(arg);
    }
  }
  if (corpora.empty()) {
    std::fprintf(stderr, "usage: codec_bench [--blocks 1,4,16] [--repeat 3] [--quick] [--only a,b] [--write-blocks dir] corpus_dir...\n");
    return 2;
  }

  std::vector<Codec> list = codecs(our_blocks, quick);
  if (!only.empty()) {
    std::erase_if(list, [&](const Codec& codec) {
      if (codec.name.rfind("zlib", 0) == 0) return false;
      return std::none_of(only.begin(), only.end(),
                          [&](const std::string& word) { return codec.name.find(word) != std::string::npos; });
    });
  }
  for (const auto& folder : corpora) {
    const Bytes data = read_corpus(folder);
    std::printf("\n%s: %.1f MB\n", folder.filename().c_str(), double(data.size()) / 1e6);
    std::printf("%-16s %8s %10s %12s %10s %10s\n", "codec", "ratio", "comp MB/s", "decomp MB/s", "size/zlib9",
                "dec/zlib");
    Figures zlib9{}, zlib6{};
    std::vector<Bytes> ours_kept, zlib_kept;
    for (const Codec& codec : list) {
      const std::vector<Bytes> blocks = cut(data, codec.block_size);
      const bool keep_ours = !blocks_dir.empty() && codec.name == "ours best 16M";
      const bool keep_zlib = !blocks_dir.empty() && codec.name == "zlib 9";
      const Figures f = measure(codec, blocks, repeat, keep_ours ? &ours_kept : keep_zlib ? &zlib_kept : nullptr);
      if (codec.name == "zlib 9") zlib9 = f;
      if (codec.name == "zlib 6") zlib6 = f;
      std::printf("%-16s %8.4f %10.1f %12.1f", codec.name.c_str(), f.ratio, f.compress_mbs, f.decompress_mbs);
      if (codec.name.rfind("ours", 0) == 0) {
        std::printf(" %10.3f %10.2f", f.ratio / zlib9.ratio, f.decompress_mbs / zlib6.decompress_mbs);
        if (codec.name.find("fast") != std::string::npos) std::printf("  size/zlib6 %.3f", f.ratio / zlib6.ratio);
      }
      std::printf("\n");
      std::fflush(stdout);
    }
    if (!blocks_dir.empty() && !ours_kept.empty()) {
      std::filesystem::create_directories(blocks_dir);
      write_blocks(blocks_dir / (folder.filename().string() + ".blocks"), ours_kept, zlib_kept, cut(data, size_t(16) << 20));
    }
  }
  return 0;
}
