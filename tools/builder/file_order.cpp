#include "file_order.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <map>
#include <numeric>
#include <tuple>

namespace halvard::builder {
namespace fs = std::filesystem;
namespace {

// A 64-bit hash of a file's bytes: equal contents meet, and different contents of one
// size fall into a fixed order. A collision only places two files side by side.
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

struct SortKey {
  std::string type;  // the extension of the first source path with these contents
  uint64_t size = 0;
  uint64_t hash = 0;
  std::string source;
  size_t index = 0;  // two rules may gather one file into two places

  friend bool operator<(const SortKey& a, const SortKey& b) {
    return std::tie(a.type, a.size, a.hash, a.source, a.index) < std::tie(b.type, b.size, b.hash, b.source, b.index);
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
  std::map<std::pair<uint64_t, uint64_t>, std::string> type_of_contents;
  for (size_t i = 0; i < files.size(); ++i) {
    const GatheredFile& f = files[i];
    SortKey& key = keys[i];
    key.size = f.size;
    key.source = f.source.generic_string();
    key.index = i;
    if (keeps_its_place(f.record)) continue;
    if (per_size[f.size] > 1 && !content_hash(f.source, buffer, key.hash, error)) return false;
  }
  // Identical contents take one type, that of their first source path, so that a
  // README.txt and its copy named LICENSE stay next to each other.
  std::vector<size_t> by_source(files.size());
  std::iota(by_source.begin(), by_source.end(), size_t(0));
  std::sort(by_source.begin(), by_source.end(),
            [&](size_t a, size_t b) { return std::tie(keys[a].source, a) < std::tie(keys[b].source, b); });
  for (size_t i : by_source) {
    if (keeps_its_place(files[i].record)) continue;
    keys[i].type =
        type_of_contents.try_emplace({keys[i].size, keys[i].hash}, extension_of(files[i].source)).first->second;
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
