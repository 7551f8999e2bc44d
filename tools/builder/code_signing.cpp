#include "code_signing.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <optional>
#include <span>
#include <vector>

#ifndef _WIN32
#include <sys/wait.h>
#endif

namespace halvard::builder {
namespace fs = std::filesystem;
namespace {

// --- running the tool ---

std::string shell_quoted(const std::string& text) {
#ifdef _WIN32
  return "\"" + text + "\"";
#else
  std::string out = "'";
  for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
#endif
}

std::string replaced(std::string text, std::string_view what, const std::string& with) {
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + with.size()))
    text.replace(at, what.size(), with);
  return text;
}

bool is_name_char(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

// The variables a shell command names: $NAME, ${NAME} and, for cmd, %NAME%.
std::vector<std::string> named_variables(std::string_view command) {
  std::vector<std::string> names;
  for (size_t i = 0; i < command.size(); ++i) {
    size_t start = 0, end = 0;
    if (command[i] == '$' && i + 1 < command.size() && command[i + 1] == '{') {
      start = i + 2;
      end = command.find('}', start);
    } else if (command[i] == '$' || command[i] == '%') {
      start = i + 1;
      end = start;
      while (end < command.size() && is_name_char(command[end])) ++end;
      if (command[i] == '%' && (end >= command.size() || command[end] != '%')) continue;
    } else {
      continue;
    }
    if (end == std::string_view::npos || end <= start) continue;
    names.emplace_back(command.substr(start, end - start));
    i = end;
  }
  return names;
}

struct ToolRun {
  bool started = false;
  int exit_code = 0;
  std::string output;
};

ToolRun run_command(const std::string& command) {
  ToolRun run;
#ifdef _WIN32
  const std::string line = "(" + command + ") 2>&1";
  FILE* pipe = _popen(line.c_str(), "r");
#else
  // Grouped, so that every part of a compound command is captured.
  const std::string line = "{ " + command + "\n} 2>&1";
  FILE* pipe = popen(line.c_str(), "r");
#endif
  if (!pipe) return run;
  run.started = true;
  std::array<char, 4096> buffer;
  while (size_t n = std::fread(buffer.data(), 1, buffer.size(), pipe)) run.output.append(buffer.data(), n);
#ifdef _WIN32
  run.exit_code = _pclose(pipe);
#else
  const int status = pclose(pipe);
  run.exit_code = status == -1 ? 127 : WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
#endif
  return run;
}

// --- reading a signature ---

uint32_t get32(std::span<const uint8_t> b, size_t at) {
  return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}

struct Der {
  uint8_t tag = 0;
  std::span<const uint8_t> content;
};

// The DER element at the start of `in`; `rest` is what follows it.
std::optional<Der> der(std::span<const uint8_t> in, std::span<const uint8_t>* rest = nullptr) {
  if (in.size() < 2) return std::nullopt;
  size_t at = 2, length = in[1];
  if (length & 0x80) {
    const size_t bytes = length & 0x7F;
    if (bytes == 0 || bytes > 4 || in.size() < 2 + bytes) return std::nullopt;
    length = 0;
    for (size_t i = 0; i < bytes; ++i) length = length << 8 | in[2 + i];
    at += bytes;
  }
  if (length > in.size() - at) return std::nullopt;
  if (rest) *rest = in.subspan(at + length);
  return Der{in[0], in.subspan(at, length)};
}

// The n-th element inside `in` (0 first).
std::optional<Der> child(std::span<const uint8_t> in, int n) {
  std::span<const uint8_t> rest = in;
  for (;;) {
    std::optional<Der> element = der(rest, &rest);
    if (!element || n-- == 0) return element;
  }
}

// The digest algorithm's OID and the digest of SpcIndirectDataContent in a PKCS #7
// SignedData.
bool signed_digest(std::span<const uint8_t> pkcs7, std::span<const uint8_t>& oid, std::span<const uint8_t>& digest) {
  auto seq = [](std::optional<Der> d, uint8_t tag) { return d && d->tag == tag ? d : std::nullopt; };
  auto content_info = seq(der(pkcs7), 0x30);
  if (!content_info) return false;
  auto explicit0 = seq(child(content_info->content, 1), 0xA0);
  if (!explicit0) return false;
  auto signed_data = seq(child(explicit0->content, 0), 0x30);
  if (!signed_data) return false;
  auto inner = seq(child(signed_data->content, 2), 0x30);
  if (!inner) return false;
  auto inner0 = seq(child(inner->content, 1), 0xA0);
  if (!inner0) return false;
  auto indirect = seq(child(inner0->content, 0), 0x30);
  if (!indirect) return false;
  auto digest_info = seq(child(indirect->content, 1), 0x30);
  if (!digest_info) return false;
  auto algorithm = seq(child(digest_info->content, 0), 0x30);
  auto value = seq(child(digest_info->content, 1), 0x04);
  if (!algorithm || !value) return false;
  auto algorithm_oid = seq(child(algorithm->content, 0), 0x06);
  if (!algorithm_oid) return false;
  oid = algorithm_oid->content;
  digest = value->content;
  return true;
}

class Sha256 {
 public:
  void add(std::span<const uint8_t> data) {
    for (uint8_t byte : data) {
      block_[fill_++] = byte;
      if (fill_ == 64) compress();
    }
    length_ += data.size();
  }
  std::vector<uint8_t> finish() {
    const uint64_t bits = length_ * 8;
    block_[fill_++] = 0x80;
    if (fill_ > 56) {
      while (fill_ < 64) block_[fill_++] = 0;
      compress();
    }
    while (fill_ < 56) block_[fill_++] = 0;
    for (int i = 7; i >= 0; --i) block_[fill_++] = uint8_t(bits >> (8 * i));
    compress();
    std::vector<uint8_t> out;
    for (uint32_t h : h_)
      for (int i = 3; i >= 0; --i) out.push_back(uint8_t(h >> (8 * i)));
    return out;
  }

 private:
  static uint32_t rotr(uint32_t x, int n) { return x >> n | x << (32 - n); }
  void compress() {
    static constexpr uint32_t k[64] = {
        0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
        0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
        0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
        0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
        0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
        0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
        0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
        0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};
    uint32_t w[64];
    for (int i = 0; i < 16; ++i)
      w[i] = uint32_t(block_[4 * i]) << 24 | uint32_t(block_[4 * i + 1]) << 16 | uint32_t(block_[4 * i + 2]) << 8 |
             block_[4 * i + 3];
    for (int i = 16; i < 64; ++i) {
      const uint32_t s0 = rotr(w[i - 15], 7) ^ rotr(w[i - 15], 18) ^ (w[i - 15] >> 3);
      const uint32_t s1 = rotr(w[i - 2], 17) ^ rotr(w[i - 2], 19) ^ (w[i - 2] >> 10);
      w[i] = w[i - 16] + s0 + w[i - 7] + s1;
    }
    uint32_t a = h_[0], b = h_[1], c = h_[2], d = h_[3], e = h_[4], f = h_[5], g = h_[6], h = h_[7];
    for (int i = 0; i < 64; ++i) {
      const uint32_t t1 = h + (rotr(e, 6) ^ rotr(e, 11) ^ rotr(e, 25)) + ((e & f) ^ (~e & g)) + k[i] + w[i];
      const uint32_t t2 = (rotr(a, 2) ^ rotr(a, 13) ^ rotr(a, 22)) + ((a & b) ^ (a & c) ^ (b & c));
      h = g, g = f, f = e, e = d + t1, d = c, c = b, b = a, a = t1 + t2;
    }
    h_[0] += a, h_[1] += b, h_[2] += c, h_[3] += d, h_[4] += e, h_[5] += f, h_[6] += g, h_[7] += h;
    fill_ = 0;
  }

  uint32_t h_[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a, 0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
  uint8_t block_[64] = {};
  size_t fill_ = 0;
  uint64_t length_ = 0;
};

constexpr uint8_t sha256_oid[] = {0x60, 0x86, 0x48, 0x01, 0x65, 0x03, 0x04, 0x02, 0x01};

}  // namespace

std::string mask_secrets(std::string text, std::string_view command_template, Environment environment) {
  for (const std::string& name : named_variables(command_template)) {
    const std::string value = environment(name.c_str());
    if (!value.empty()) text = replaced(std::move(text), value, "***");
  }
  return text;
}

SignOutcome sign_file(const std::string& command_template, const fs::path& file) {
  SignOutcome outcome;
  const bool separate_output = command_template.find(sign_output_placeholder) != std::string::npos;
  const fs::path signed_copy = fs::path(file.string() + ".signed");
  std::error_code ec;
  fs::remove(signed_copy, ec);
  std::string command = replaced(command_template, sign_file_placeholder, shell_quoted(file.string()));
  command = replaced(std::move(command), sign_output_placeholder, shell_quoted(signed_copy.string()));
  ToolRun run = run_command(command);
  outcome.output = mask_secrets(std::move(run.output), command_template, process_environment);
  if (!run.started) {
    outcome.error = "the signing command could not be started";
    return outcome;
  }
  if (run.exit_code != 0) {
    fs::remove(signed_copy, ec);
    outcome.tool_exit_code = run.exit_code;
    outcome.error = "the signing command failed with exit code " + std::to_string(run.exit_code);
    return outcome;
  }
  if (separate_output) {
    fs::rename(signed_copy, file, ec);
    if (ec) {
      fs::remove(signed_copy, ec);
      outcome.error = "the signing command wrote no signed file where {signed} named it";
      return outcome;
    }
  }
  outcome.ok = true;
  return outcome;
}

SignatureState read_signature(const ReadAt& read, uint64_t file_size, const SetupSectionLocation& headers) {
  SignatureState state;
  const uint64_t table = headers.CertificateTable, size = headers.CertificateSize;
  if (!headers.security_entry || table == 0 || size == 0) return state;
  state.is_signed = true;
  if (table > file_size || size > file_size - table || size < 8) {
    state.note = "the certificate table lies outside the file";
    return state;
  }
  std::vector<uint8_t> certificate(size);
  if (!read(table, certificate.data(), certificate.size())) {
    state.note = "the certificate table cannot be read";
    return state;
  }
  const uint32_t length = get32(certificate, 0);
  const uint16_t type = uint16_t(certificate[6] | certificate[7] << 8);
  std::span<const uint8_t> oid, digest;
  if (type != 2 || length < 8 || length > size ||
      !signed_digest(std::span(certificate).subspan(8, length - 8), oid, digest)) {
    state.note = "the certificate table holds no Authenticode signature";
    return state;
  }
  if (!std::equal(oid.begin(), oid.end(), std::begin(sha256_oid), std::end(sha256_oid))) {
    state.note = "the signature's digest algorithm is not SHA-256; it is not checked";
    return state;
  }
  state.digest_name = "SHA-256";

  // The file up to the table, without the CheckSum field and the security entry.
  const uint64_t checksum_field = uint64_t(headers.e_lfanew) + 88;
  const uint64_t skips[][2] = {{checksum_field, 4}, {headers.security_entry, 8}};
  Sha256 sha;
  std::vector<uint8_t> buffer(1 << 20);
  uint64_t at = 0;
  auto hash_to = [&](uint64_t end) {
    while (at < end) {
      const size_t n = size_t(std::min<uint64_t>(buffer.size(), end - at));
      if (!read(at, buffer.data(), n)) return false;
      sha.add(std::span(buffer).first(n));
      at += n;
    }
    return true;
  };
  for (const auto& skip : skips) {
    if (!hash_to(skip[0])) return state;
    at += skip[1];
  }
  if (!hash_to(table)) return state;
  const std::vector<uint8_t> own = sha.finish();
  state.covers_file = std::equal(own.begin(), own.end(), digest.begin(), digest.end());
  return state;
}

}  // namespace halvard::builder
