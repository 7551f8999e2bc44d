#include "file_order.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <map>
#include <numeric>
#include <string_view>
#include <tuple>

namespace halvard::builder {
namespace fs = std::filesystem;
namespace {

// A 64-bit hash of a file's bytes: equal contents meet. A collision only places two
// different files side by side.
bool content_hash(const fs::path& path, std::vector<char>& buffer, uint64_t& hash, std::string& error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = path.string() + ": cannot read it to compare its contents";
    return false;
  }
  uint64_t h = 0xcbf29ce484222325ull;
  while (in) {
    in.read(buffer.data(), std::streamsize(buffer.size()));
    const size_t n = size_t(in.gcount());
    size_t i = 0;
    for (; i + 8 <= n; i += 8) {
      uint64_t word;
      std::memcpy(&word, buffer.data() + i, 8);
      h = (h ^ word) * 0x100000001b3ull;
      h ^= h >> 29;
    }
    for (; i < n; ++i) h = (h ^ uint8_t(buffer[i])) * 0x100000001b3ull;
  }
  if (in.bad()) {
    error = path.string() + ": cannot read it to compare its contents";
    return false;
  }
  hash = h;
  return true;
}

std::string extension_of(const fs::path& path) {
  std::string name = path.filename().string();
  const size_t dot = name.rfind('.');
  if (dot == std::string::npos || dot == 0) return {};
  std::string ext = name.substr(dot + 1);
  for (char& c : ext)
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
  return ext;
}

// Data already compressed gains nothing from the codec and only pushes text and code
// out of its reach; code compresses best next to code.
enum FileGroup : int { other_group = 0, code_group = 1, compressed_group = 2 };

FileGroup group_of(const std::string& extension) {
  static constexpr std::array<std::string_view, 25> compressed = {
      "gz",  "tgz", "xz",  "bz2",  "zst", "lz",   "lzma", "z",   "zip",  "7z",   "cab",   "jar", "deb",
      "rpm", "png", "jpg", "jpeg", "gif", "webp", "mp3",  "ogg", "svgz", "woff", "woff2", "msi"};
  static constexpr std::array<std::string_view, 16> code = {"exe", "dll", "sys", "drv", "ocx", "cpl", "acm", "ax",
                                                            "tlb", "efi", "scr", "mui", "com", "so",  "tsp", "ds"};
  if (std::find(compressed.begin(), compressed.end(), extension) != compressed.end()) return compressed_group;
  if (std::find(code.begin(), code.end(), extension) != code.end()) return code_group;
  return other_group;
}

struct SortKey {
  int group = other_group;  // of the first file with these contents
  size_t first = 0;         // where the first file with these contents was given
  size_t index = 0;         // where this file was given

  friend bool operator<(const SortKey& a, const SortKey& b) {
    return std::tie(a.group, a.first, a.index) < std::tie(b.group, b.first, b.index);
  }
};

}  // namespace

bool keeps_its_place(const FileRecord& record) {
  if (record.has_shortcut_text()) return true;
  return record.Kind != file_kind::plain && record.Kind != file_kind::versioned;
}

bool order_for_compression(std::vector<GatheredFile>& files, std::string& error) {
  // Only files that share their size with another movable file can share contents.
  std::map<uint64_t, size_t> per_size;
  for (const GatheredFile& f : files)
    if (!keeps_its_place(f.record)) ++per_size[f.size];

  std::vector<SortKey> keys(files.size());
  std::vector<char> buffer(size_t(1) << 20);
  // By size and hash: the first file given with those contents, and its group.
  std::map<std::pair<uint64_t, uint64_t>, SortKey> first_of_contents;
  for (size_t i = 0; i < files.size(); ++i) {
    const GatheredFile& f = files[i];
    keys[i].index = i;
    if (keeps_its_place(f.record)) continue;
    uint64_t hash = 0;
    if (per_size[f.size] > 1 && !content_hash(f.source, buffer, hash, error)) return false;
    const SortKey first{group_of(extension_of(f.source)), i, i};
    const SortKey& found = first_of_contents.try_emplace({f.size, hash}, first).first->second;
    keys[i].group = found.group;
    keys[i].first = found.first;
  }

  std::vector<GatheredFile> ordered;
  ordered.reserve(files.size());
  size_t start = 0;
  while (start < files.size()) {
    if (keeps_its_place(files[start].record)) {
      ordered.push_back(std::move(files[start++]));
      continue;
    }
    size_t end = start;
    while (end < files.size() && !keeps_its_place(files[end].record)) ++end;
    std::vector<size_t> run(end - start);
    std::iota(run.begin(), run.end(), start);
    std::sort(run.begin(), run.end(), [&](size_t a, size_t b) { return keys[a] < keys[b]; });
    for (size_t i : run) ordered.push_back(std::move(files[i]));
    start = end;
  }
  files = std::move(ordered);
  return true;
}

}  // namespace halvard::builder
