#include "block_encoder.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>
#include <memory>

#include "package/block_codec.h"

namespace halvard {
namespace {

constexpr uint32_t min_length = 4;
constexpr uint32_t min_distance = 4;
constexpr uint32_t min_fill = 3;
constexpr uint32_t no_position = 0xFFFFFFFFu;

// The shortest prefix u for a value and the width it gives.
struct NumberShape {
  unsigned prefix;
  unsigned width;
};

constexpr NumberShape number_shape(uint64_t value, unsigned base, unsigned step) {
  const unsigned needed = unsigned(std::bit_width(value));
  if (needed <= base) return {0, base};
  const unsigned prefix = (needed - base + step - 1) / step;
  return {prefix, std::min(base + prefix * step, 32u)};
}

constexpr uint32_t number_bits(uint64_t value, unsigned base, unsigned step) {
  const NumberShape shape = number_shape(value, base, step);
  return shape.prefix + 1 + shape.width;
}

uint32_t literal_header_bits(uint64_t count) { return 1 + number_bits(count - 1, 2, 2); }

class BitWriter {
 public:
  explicit BitWriter(std::vector<uint8_t>& out) : out_(out) {}

  void put(uint64_t value, unsigned count) {  // count <= 32
    accumulator_ |= (value & ((uint64_t(1) << count) - 1)) << used_;
    used_ += count;
    if (used_ >= 32) {
      for (int i = 0; i < 4; ++i) out_.push_back(uint8_t(accumulator_ >> (8 * i)));
      accumulator_ >>= 32;
      used_ -= 32;
    }
  }

  void number(uint64_t value, unsigned base, unsigned step) {
    const NumberShape shape = number_shape(value, base, step);
    put((uint64_t(1) << shape.prefix) - 1, shape.prefix + 1);
    put(value, shape.width);
  }

  void finish() {
    while (used_ > 0) {
      out_.push_back(uint8_t(accumulator_));
      accumulator_ >>= 8;
      used_ = used_ > 8 ? used_ - 8 : 0;
    }
  }

 private:
  std::vector<uint8_t>& out_;
  uint64_t accumulator_ = 0;
  unsigned used_ = 0;
};

// Collects literals into runs and writes items.
class ItemWriter {
 public:
  ItemWriter(std::span<const uint8_t> data, std::vector<uint8_t>& out) : data_(data), bits_(out) {}

  void literal(size_t position) {
    if (pending_ == 0) run_start_ = position;
    ++pending_;
  }
  size_t pending() const { return pending_; }

  void reference(uint32_t length, uint32_t distance) {
    flush();
    bits_.put(1, 2);
    bits_.number(length - min_length, 2, 1);
    bits_.number(distance - min_distance, 12, 2);
  }
  void fill(uint8_t value, uint32_t count) {
    flush();
    bits_.put(3, 2);
    bits_.put(value, 8);
    bits_.number(count - min_fill, 1, 1);
  }
  void finish() {
    flush();
    bits_.finish();
  }

 private:
  void flush() {
    if (pending_ == 0) return;
    bits_.put(0, 1);
    bits_.number(pending_ - 1, 2, 2);
    for (size_t i = 0; i < pending_; ++i) bits_.put(data_[run_start_ + i], 8);
    pending_ = 0;
  }

  std::span<const uint8_t> data_;
  BitWriter bits_;
  size_t run_start_ = 0;
  size_t pending_ = 0;
};

inline uint32_t load32(const uint8_t* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}

inline uint32_t hash4(const uint8_t* p, unsigned hash_bits) { return (load32(p) * 2654435761u) >> (32 - hash_bits); }

unsigned hash_bits_for(size_t size) {
  unsigned bits = 12;
  while (bits < 22 && (size_t(1) << bits) < size) ++bits;
  return bits;
}

size_t common_length(const uint8_t* a, const uint8_t* b, size_t limit) {
  size_t n = 0;
  while (n + 8 <= limit) {
    uint64_t x, y;
    std::memcpy(&x, a + n, 8);
    std::memcpy(&y, b + n, 8);
    if (x != y) return n + size_t(std::countr_zero(x ^ y) >> 3);
    n += 8;
  }
  while (n < limit && a[n] == b[n]) ++n;
  return n;
}

// A match longer than its distance d shows a stretch of period d. The format forbids
// overlapping copies, so the same stretch is tried at multiples of d, doubling, where a
// copy may be as long as its distance.
template <typename Found>
void periodic_candidates(const uint8_t* here, size_t position, size_t distance, size_t length, size_t limit,
                         Found found) {
  if (length <= distance) return;
  size_t multiple = distance;
  while (multiple < 4 || multiple < 2 * distance) multiple += distance;
  for (; multiple <= position; multiple *= 2) {
    const size_t usable = common_length(here, here - multiple, std::min(limit, multiple));
    found(usable, multiple);
    if (usable < multiple) return;
  }
}

// Length of the run of equal bytes that starts at `position`, with the previous answer
// reused inside a run.
class RunLengths {
 public:
  explicit RunLengths(std::span<const uint8_t> data) : data_(data) {}
  size_t at(size_t position) {
    if (position < end_) return end_ - position;
    end_ = position + 1;
    while (end_ < data_.size() && data_[end_] == data_[position]) ++end_;
    return end_ - position;
  }

 private:
  std::span<const uint8_t> data_;
  size_t end_ = 0;
};

struct Match {
  uint32_t length;  // already limited to the distance
  uint32_t distance;
};

// ---- fast mode: greedy parse over two one-entry hash tables ----

// The near table hashes 4 bytes and finds the short matches of code and text; the far
// table hashes 8 bytes, where a match pays for a distance field of up to 31 bits. Both
// keep the last position only. After many misses in a row the scan steps faster, so that
// stretches of compressed data cost little.
class FastMatcher {
 public:
  FastMatcher(std::span<const uint8_t> data, unsigned near_bits)
      : data_(data),
        near_bits_(near_bits),
        far_bits_(std::clamp(hash_bits_for(data.size()), 12u, 20u)),
        near_(size_t(1) << near_bits_, no_position),
        far_(size_t(1) << far_bits_, no_position) {}

  // Positions where a match can start.
  size_t limit() const { return data_.size() < min_length ? 0 : data_.size() - min_length + 1; }

  void insert(size_t position) {
    const uint64_t v = load(position);
    near_[near_hash(v)] = uint32_t(position);
    far_[far_hash(v)] = uint32_t(position);
  }

  // The match that saves the most bits over literals at `position`, which it inserts.
  Match best(size_t position, int32_t& gain) {
    const uint8_t* here = data_.data() + position;
    const uint64_t v = load(position);
    uint32_t& near = near_[near_hash(v)];
    uint32_t& far = far_[far_hash(v)];
    const uint32_t candidates[2] = {near, far};
    near = far = uint32_t(position);
    Match best{0, 0};
    gain = 0;
    const size_t remaining = data_.size() - position;
    for (int i = 0; i < 2; ++i) {
      const uint32_t candidate = candidates[i];
      if (candidate == no_position || (i == 1 && candidate == candidates[0])) continue;
      const size_t distance = position - candidate;
      // A nearer repeat than the format allows still leads to its multiples.
      if (load32(data_.data() + candidate) != uint32_t(v)) continue;
      auto found = [&](size_t length, size_t at) {
        if (length < min_length || at < min_distance) return;
        const int32_t saved =
            int32_t(std::min<size_t>(length, 1u << 24) * 8) - int32_t(block_reference_bits(length, at));
        if (saved > gain) {
          gain = saved;
          best = {uint32_t(length), uint32_t(at)};
        }
      };
      const size_t length = common_length(here, data_.data() + candidate, remaining);
      found(std::min(length, distance), distance);
      periodic_candidates(here, position, distance, length, remaining, found);
    }
    return best;
  }

 private:
  // Eight bytes, with zeros past the end of the data.
  uint64_t load(size_t position) const {
    uint64_t v = 0;
    const size_t count = std::min<size_t>(8, data_.size() - position);
    std::memcpy(&v, data_.data() + position, count);
    return v;
  }
  uint32_t near_hash(uint64_t v) const { return uint32_t((uint32_t(v) * 2654435761u) >> (32 - near_bits_)); }
  uint32_t far_hash(uint64_t v) const { return uint32_t((v * 0xC2B2AE3D27D4EB4Full) >> (64 - far_bits_)); }

  std::span<const uint8_t> data_;
  unsigned near_bits_;
  unsigned far_bits_;
  std::vector<uint32_t> near_;
  std::vector<uint32_t> far_;
};

// Greedy parse; with `lazy`, a match is put off by one literal when the next
// position saves clearly more, and the tables learn more positions inside each
// item.
void encode_greedy(std::span<const uint8_t> data, ItemWriter& items, bool lazy) {
  // More near positions pay off when the parse looks ahead.
  FastMatcher matcher(data, lazy ? std::clamp(hash_bits_for(data.size()), 16u, 20u) : 16u);
  const size_t n = data.size();
  const size_t limit = matcher.limit();
  // The best item at a position, which it inserts: a reference or a fill
  // (distance 0).
  auto item_at = [&](size_t position, int32_t& gain) {
    Match match = matcher.best(position, gain);
    // A fill beats a reference over a run of one byte.
    if (data[position] == data[position + 1] && data[position] == data[position + 2]) {
      size_t run = 3;
      while (position + run < n && data[position + run] == data[position]) ++run;
      const int32_t fill_gain = int32_t(std::min<size_t>(run, 1u << 24) * 8) - int32_t(block_fill_bits(run));
      if (fill_gain > gain) {
        gain = fill_gain;
        match = {uint32_t(run), 0};
      }
    }
    return match;
  };
  size_t position = 0;
  size_t misses = 0;
  bool have_next = false;
  Match next{0, 0};
  int32_t next_gain = 0;
  while (position < limit) {
    int32_t gain = next_gain;
    Match match = next;
    if (!have_next) match = item_at(position, gain);
    have_next = false;
    if (gain <= 0) {
      items.literal(position);
      ++misses;
      const size_t step = 1 + (misses >> 6);
      for (size_t i = 1; i < step && position + i < limit; ++i) items.literal(position + i);
      position = std::min(position + step, limit);
      continue;
    }
    misses = 0;
    if (lazy && match.length < 64 && position + 1 < limit) {
      next = item_at(position + 1, next_gain);
      // One more literal costs about 9 bits.
      if (next_gain > gain + 9) {
        items.literal(position);
        ++position;
        have_next = true;
        continue;
      }
    }
    if (match.distance == 0) {
      items.fill(data[position], match.length);
    } else {
      items.reference(match.length, match.distance);
    }
    const size_t end = position + match.length;
    if (lazy) {
      for (size_t p = position + 2; p < end && p < limit && p < position + 32; ++p) matcher.insert(p);
      for (size_t p : {end - 2, end - 1})
        if (p >= position + 32 && p < limit) matcher.insert(p);
    } else {
      // A few positions inside the item keep the tables fresh at little cost.
      for (size_t p : {position + 1, position + 2, end - 2, end - 1}) {
        if (p > position && p < end && p < limit) matcher.insert(p);
      }
    }
    position = end;
  }
  for (; position < n; ++position) items.literal(position);
}

// ---- best mode: binary-tree match finder and optimal parse ----

// Tree links, 4 bytes each. A position's links are set when it is inserted, before any
// search can reach it, so they start unset: no pass over the whole table up front.
class WideLinks {
 public:
  explicit WideLinks(size_t count) : links_(new uint32_t[count]), count_(count) {}
  uint32_t get(size_t i) const { return links_[i]; }
  void set(size_t i, uint32_t value) { links_[i] = value; }
  void unset_all() { std::fill_n(links_.get(), count_, no_position); }
  const void* address(size_t i) const { return &links_[i]; }

 private:
  std::unique_ptr<uint32_t[]> links_;
  size_t count_;
};

// Tree links (and hash heads), 3 bytes each, for blocks whose positions fit in 24 bits:
// the tree of a 16 MiB block takes 96 MiB instead of 128 MiB and still reaches back over
// the whole block. The last position of a block is never a node, so its number marks
// "none".
class NarrowLinks {
 public:
  static constexpr size_t max_positions = size_t(1) << 24;
  // One spare byte lets every link be read as 4 bytes.
  explicit NarrowLinks(size_t count) : bytes_(new uint8_t[3 * count + 1]), count_(count) {}
  uint32_t get(size_t i) const {
    const uint32_t value = load32(bytes_.get() + 3 * i) & none;
    return value == none ? no_position : value;
  }
  void set(size_t i, uint32_t value) { std::memcpy(bytes_.get() + 3 * i, &value, 3); }
  void unset_all() { std::memset(bytes_.get(), 0xFF, 3 * count_ + 1); }
  const void* address(size_t i) const { return bytes_.get() + 3 * i; }

 private:
  static constexpr uint32_t none = 0xFFFFFF;
  std::unique_ptr<uint8_t[]> bytes_;
  size_t count_;
};

template <typename Links>
class BinaryTree {
 public:
  BinaryTree(std::span<const uint8_t> data, unsigned cut, unsigned nice)
      : data_(data),
        bits_(std::min(hash_bits_for(data.size()), max_head_bits)),
        cut_(cut),
        nice_(nice),
        head_(size_t(1) << bits_),
        children_(data.size() * 2) {
    head_.unset_all();
  }

  // Inserts `position` and returns in `out` the matches of rising length, each at the
  // nearest distance found for it.
  size_t find(size_t position, Match* out) { return walk(position, out); }
  void skip(size_t position) { walk(position, nullptr); }

 private:
  // Prefixes share a tree beyond this; the tree still orders them by their bytes, so
  // fewer heads only lengthen the walks. 2^20 heads (3 MiB a thread) against 2^22 cost
  // 0 to 38 bytes on 5 to 36 MB and about 8 % more time, and keep two threads at best
  // within 256 MiB.
  static constexpr unsigned max_head_bits = 20;

  size_t walk(size_t position, Match* out) {
    const size_t remaining = data_.size() - position;
    if (remaining < min_length) return 0;
    const uint8_t* here = data_.data() + position;
    const size_t limit = std::min<size_t>(remaining, nice_);
    // The next position's head is a cache miss; fetching it now overlaps it with this search.
    if (remaining > min_length) __builtin_prefetch(head_.address(hash4(here + 1, bits_)));
    const uint32_t slot = hash4(here, bits_);
    uint32_t candidate = head_.get(slot);
    head_.set(slot, uint32_t(position));
    // Slots of the links still to be set: the last node smaller and larger than here.
    size_t smaller = 2 * position;
    size_t larger = smaller + 1;
    size_t smaller_length = 0, larger_length = 0;
    size_t best = min_length - 1;
    size_t count = 0;
    for (unsigned depth = cut_;; --depth) {
      if (candidate == no_position || depth == 0) {
        children_.set(smaller, no_position);
        children_.set(larger, no_position);
        break;
      }
      const uint8_t* there = data_.data() + candidate;
      size_t length = std::min(smaller_length, larger_length);
      length += common_length(here + length, there + length, limit - length);
      const uint32_t distance = uint32_t(position - candidate);
      if (out) {
        auto found = [&](size_t usable, size_t at) {
          if (at >= min_distance && usable > best) {
            best = usable;
            out[count++] = {uint32_t(usable), uint32_t(at)};
          }
        };
        found(std::min<size_t>(length, distance), distance);
        periodic_candidates(here, position, distance, length, limit, found);
      }
      const size_t pair = 2 * size_t(candidate);
      if (length == limit) {
        children_.set(smaller, children_.get(pair));
        children_.set(larger, children_.get(pair + 1));
        break;
      }
      if (there[length] < here[length]) {
        children_.set(smaller, candidate);
        smaller = pair + 1;
        candidate = children_.get(smaller);
        smaller_length = length;
      } else {
        children_.set(larger, candidate);
        larger = pair;
        candidate = children_.get(larger);
        larger_length = length;
      }
    }
    return count;
  }

  std::span<const uint8_t> data_;
  unsigned bits_;
  unsigned cut_;
  unsigned nice_;
  Links head_;
  Links children_;
};

constexpr int64_t infinite = std::numeric_limits<int64_t>::max() / 4;
// The run that reaches a node continues the one pending from the last segment.
constexpr uint32_t continued_run = no_position;

// One position of the parse: the cheapest way to reach it with a reference or fill (then
// `length` and `distance`, 0 for a fill, and whether it followed a literal run), and the
// cheapest way with a literal run (then where the run starts).
struct Node {
  int64_t item_price;
  int64_t literal_price;
  uint32_t run_start;
  uint32_t length;
  uint32_t distance;
  bool item_after_literal;
};

struct ParseSettings {
  unsigned cut;   // tree nodes visited per position
  uint32_t nice;  // match length taken as it stands
};

struct Step {
  uint32_t length;  // 0: one literal
  uint32_t distance;
};

// Literal runs of lo..hi bytes, whose headers all cost `header` bits.
struct RunClass {
  uint32_t lo;
  uint32_t hi;
  uint32_t header;
};

template <typename Links>
class OptimalParser {
 public:
  OptimalParser(std::span<const uint8_t> data, ItemWriter& items, const ParseSettings& settings)
      : data_(data),
        items_(items),
        nice_length(std::min(settings.nice, max_nice)),
        tree_(data, settings.cut, nice_length),
        runs_(data),
        nodes_(segment + nice_length + 1) {
    // A run's header costs the same bits over each range of counts, so the
    // cheapest run that ends at a position comes from one sliding-window
    // minimum per range.
    for (unsigned u = 0;; ++u) {
      const uint64_t lo = u == 0 ? 1 : (uint64_t(1) << (2 * u)) + 1;
      if (lo > nodes_.size()) break;
      const uint64_t hi = uint64_t(1) << (2 * u + 2);
      classes_.push_back({uint32_t(lo), uint32_t(std::min<uint64_t>(hi, nodes_.size())), literal_header_bits(lo)});
    }
    windows_.resize(classes_.size());
    length_bits_.resize(nice_length + 1);
    for (uint32_t length = min_length; length <= nice_length; ++length)
      length_bits_[length] = uint8_t(number_bits(length - min_length, 2, 1));
    bases_.resize(nodes_.size());
    for (auto& window : windows_) window.slots.resize(nodes_.size());
  }

  void run() {
    size_t position = 0;
    while (position < data_.size()) position = parse_segment(position);
  }

 private:
  static constexpr uint32_t segment = 16384;
  static constexpr uint32_t max_nice = 128;
  static constexpr size_t max_matches = max_nice + 1;

  // Monotone queue of run starts s, rising in item_price[s] - 8 s.
  struct Window {
    std::vector<uint32_t> slots;
    size_t head = 0;
    size_t tail = 0;
  };

  // The cheapest literal run that ends at node j: starts at a node reached by an item, or
  // continues the pending run of `pending` bytes.
  void close_literals(size_t j, size_t pending) {
    Node& node = nodes_[j];
    if (pending > 0 && j > 0) {
      node.literal_price = 8 * int64_t(j) + literal_header_bits(pending + j);
      node.run_start = continued_run;
    }
    for (size_t k = 0; k < classes_.size(); ++k) {
      const RunClass& c = classes_[k];
      if (j < c.lo) break;
      Window& w = windows_[k];
      const uint32_t start = uint32_t(j - c.lo);
      if (c.lo == 1) bases_[start] = nodes_[start].item_price - 8 * int64_t(start);
      const int64_t base = bases_[start];
      while (w.tail > w.head && bases_[w.slots[w.tail - 1]] >= base) --w.tail;
      w.slots[w.tail++] = start;
      // The window moves by one start per node, so at most one leaves it.
      if (size_t(w.slots[w.head]) + c.hi < j) ++w.head;
      const uint32_t best = w.slots[w.head];
      const int64_t price = bases_[best] + 8 * int64_t(j) + c.header;
      if (price < node.literal_price) {
        node.literal_price = price;
        node.run_start = best;
      }
    }
  }

  size_t parse_segment(size_t start) {
    const size_t span = std::min<size_t>(segment, data_.size() - start);
    const size_t last = std::min<size_t>(span + nice_length, data_.size() - start);
    for (size_t i = 0; i <= last; ++i) nodes_[i] = Node{infinite, infinite, 0, 0, 0, false};
    for (auto& window : windows_) window.head = window.tail = 0;
    // Literals pending from the last segment continue the same run; prices count the
    // bits from here on, with that run closed at its current length.
    const size_t pending = items_.pending();
    nodes_[0].item_price = pending > 0 ? literal_header_bits(pending) : 0;

    Match matches[max_matches];
    size_t end = span;
    Step forced{0, 0};
    for (size_t i = 0; i < span; ++i) {
      const size_t position = start + i;
      close_literals(i, pending);
      Node& node = nodes_[i];
      const bool from_literal = node.literal_price < node.item_price;
      const int64_t price = from_literal ? node.literal_price : node.item_price;

      const size_t found = tree_.find(position, matches);
      const size_t run = runs_.at(position);
      // A long item is taken as it stands: parse up to here, then write it.
      if (run >= nice_length) {
        forced = {uint32_t(run), 0};
        end = i;
        break;
      }
      if (found > 0 && matches[found - 1].length >= nice_length) {
        Match m = matches[found - 1];
        const size_t limit = std::min<size_t>(data_.size() - position, m.distance);
        m.length = uint32_t(nice_length + common_length(data_.data() + position + nice_length,
                                                        data_.data() + position + nice_length - m.distance,
                                                        limit - nice_length));
        forced = {m.length, m.distance};
        end = i;
        break;
      }
      uint32_t length = min_length;
      for (size_t k = 0; k < found; ++k) {
        const uint32_t distance = matches[k].distance;
        const int64_t base = price + 2 + number_bits(distance - min_distance, 12, 2);
        for (; length <= matches[k].length; ++length) {
          relax(i + length, base + length_bits_[length], length, distance, from_literal);
        }
      }
      for (uint32_t count = min_fill; count <= run; ++count) {
        relax(i + count, price + block_fill_bits(count), count, 0, from_literal);
      }
    }
    if (end == span) close_literals(end, pending);
    write_path(start, end);
    size_t position = start + end;
    if (forced.length > 0) {
      if (forced.distance == 0) {
        items_.fill(data_[position], forced.length);
      } else {
        items_.reference(forced.length, forced.distance);
      }
      for (size_t p = position + 1; p < position + forced.length; ++p) tree_.skip(p);
      position += forced.length;
    }
    return position;
  }

  void relax(size_t target, int64_t price, uint32_t length, uint32_t distance, bool after_literal) {
    Node& node = nodes_[target];
    if (price < node.item_price) {
      node.item_price = price;
      node.length = length;
      node.distance = distance;
      node.item_after_literal = after_literal;
    }
  }

  void write_path(size_t start, size_t end) {
    path_.clear();
    size_t i = end;
    bool literal = nodes_[i].literal_price < nodes_[i].item_price;
    while (i > 0) {
      const Node& node = nodes_[i];
      if (literal) {
        const size_t run_start = node.run_start == continued_run ? 0 : node.run_start;
        for (; i > run_start; --i) path_.push_back({0, 0});
        literal = false;
      } else {
        path_.push_back({node.length, node.distance});
        literal = node.item_after_literal;
        i -= node.length;
      }
    }
    size_t position = start;
    for (auto step = path_.rbegin(); step != path_.rend(); ++step) {
      if (step->length == 0) {
        items_.literal(position);
        ++position;
      } else if (step->distance == 0) {
        items_.fill(data_[position], step->length);
        position += step->length;
      } else {
        items_.reference(step->length, step->distance);
        position += step->length;
      }
    }
  }

  std::span<const uint8_t> data_;
  ItemWriter& items_;
  const uint32_t nice_length;  // a match this long is taken without parsing past it
  BinaryTree<Links> tree_;
  RunLengths runs_;
  std::vector<Node> nodes_;
  std::vector<RunClass> classes_;
  std::vector<Window> windows_;
  std::vector<int64_t> bases_;  // item_price - 8 s of each run start s
  std::vector<Step> path_;
  std::vector<uint8_t> length_bits_;  // of each length a match found here can have
};

}  // namespace

uint32_t block_literal_run_bits(uint64_t count) { return literal_header_bits(count) + uint32_t(8 * count); }

uint32_t block_reference_bits(uint64_t length, uint64_t distance) {
  return 2 + number_bits(length - min_length, 2, 1) + number_bits(distance - min_distance, 12, 2);
}

uint32_t block_fill_bits(uint64_t count) { return 10 + number_bits(count - min_fill, 1, 1); }

bool block_encode(std::span<const uint8_t> data, BlockEncodeMode mode, std::vector<uint8_t>& encoded) {
  encoded.clear();
  if (data.size() > block_codec_max_size) return false;
  encoded.reserve(data.size() + data.size() / 32 + 16);
  for (int i = 0; i < 4; ++i) encoded.push_back(uint8_t(block_codec_magic >> (8 * i)));
  for (int i = 0; i < 4; ++i) encoded.push_back(uint8_t(uint32_t(data.size()) >> (8 * i)));
  ItemWriter items(data, encoded);
  if (mode == BlockEncodeMode::fast || mode == BlockEncodeMode::normal) {
    encode_greedy(data, items, mode == BlockEncodeMode::normal);
  } else {
    const ParseSettings settings{128, 128};
    if (data.size() <= NarrowLinks::max_positions) {
      OptimalParser<NarrowLinks>(data, items, settings).run();
    } else {
      OptimalParser<WideLinks>(data, items, settings).run();
    }
  }
  items.finish();
  return true;
}

}  // namespace halvard
