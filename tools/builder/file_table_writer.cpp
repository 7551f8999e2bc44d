#include "file_table_writer.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <condition_variable>
#include <deque>
#include <fstream>
#include <limits>
#include <mutex>
#include <thread>

#include "package/checksum.h"
#include "package/file_table.h"

namespace halvard {
namespace {

void put_le32(std::vector<uint8_t>& out, uint32_t value) {
  for (int i = 0; i < 4; ++i) out.push_back(uint8_t(value >> (8 * i)));
}

void put_text(std::vector<uint8_t>& out, const std::string& text) {
  out.insert(out.end(), text.begin(), text.end());
  out.push_back(0);
}

// Largest piece of a file read at once.
constexpr size_t read_piece = size_t(16) << 20;

}  // namespace

ByteSink ostream_sink(std::ostream& out) {
  return [&out](std::span<const uint8_t> bytes) {
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return bool(out);
  };
}

std::string check_file_record(const FileRecord& record) {
  if (record.Name.empty()) return "the file has no name";
  if (!is_file_kind(record.Kind)) return "kind " + std::to_string(record.Kind) + " is not a destination kind";
  if (!record.has_shortcut_text() && !record.ShortcutText.empty())
    return "ShortcutText is stored only with Flags bit 0 or 1";
  if (!record.has_msi_value() && record.MsiValue != 0) return "MsiValue is stored only for kind 11";
  const std::pair<const char*, const std::string*> texts[] = {
      {"Name", &record.Name},           {"VersionText", &record.VersionText},
      {"ShortcutText", &record.ShortcutText}, {"ShortcutText2", &record.ShortcutText2},
      {"Destination", &record.Destination},   {"ShortcutText3", &record.ShortcutText3}};
  size_t total = 4 * 3 + 24 + 4;
  for (const auto& [field, text] : texts) {
    if (text->find('\0') != std::string::npos) return std::string(field) + " holds a NUL byte";
    total += text->size() + 1;
  }
  if (total > max_record_fields_size)
    return "the record's texts take more than " + std::to_string(max_record_fields_size) + " bytes";
  return {};
}

void encode_record_fields(const FileRecord& record, std::vector<uint8_t>& out) {
  put_text(out, record.Name);
  put_le32(out, record.Kind);
  put_le32(out, record.Flags);
  put_le32(out, record.Attributes);
  const FileDate& date = record.FileDate;
  for (int32_t field : {date.year, date.month, date.day, date.hour, date.minute, date.second})
    put_le32(out, uint32_t(field));
  put_text(out, record.VersionText);
  if (record.has_shortcut_text()) put_text(out, record.ShortcutText);
  put_text(out, record.ShortcutText2);
  put_text(out, record.Destination);
  put_text(out, record.ShortcutText3);
  if (record.has_msi_value()) put_le32(out, record.MsiValue);
}

// Compresses blocks on worker threads and writes them strictly in the order they were
// submitted, so the bytes do not depend on which thread finished first. One block more
// than there are threads is in flight (each holds its output until written, and its data
// until compressed): submit() waits for the oldest when the window is full.
//
// At best a block's match tree is six times its size, so blocks waiting for a worker
// would add to a peak the trees already set: make_room() holds back the next block until
// a worker is about to be free. Filling it takes far less than compressing one.
class FileTableWriter::Pipeline {
 public:
  Pipeline(bool compress, BlockEncodeMode mode, unsigned threads, ByteSink sink)
      : compress_(compress), mode_(mode), sink_(std::move(sink)) {
    if (threads == 0) threads = std::max(1u, std::thread::hardware_concurrency());
    max_in_flight_ = size_t(threads) + 1;
    max_unencoded_ = compress && mode == BlockEncodeMode::best ? size_t(threads) - 1 : max_in_flight_;
    if (threads > 1)
      for (unsigned i = 0; i < threads; ++i) workers_.emplace_back([this] { work(); });
  }

  ~Pipeline() {
    {
      std::lock_guard lock(mutex_);
      stop_ = true;
      queue_.clear();
    }
    work_ready_.notify_all();
    for (auto& worker : workers_) worker.join();
  }

  bool submit(std::vector<uint8_t> raw) {
    auto job = std::make_unique<Job>();
    job->raw = std::move(raw);
    if (workers_.empty()) {
      process(*job);
      return write(*job);
    }
    std::unique_lock lock(mutex_);
    while (window_.size() >= max_in_flight_)
      if (!write_front(lock)) return false;
    queue_.push_back(job.get());
    window_.push_back(std::move(job));
    ++unencoded_;
    work_ready_.notify_one();
    while (!window_.empty() && window_.front()->done)
      if (!write_front(lock)) return false;
    return true;
  }

  // Waits, writing what is done, until the next block may be filled, and gives it the
  // buffer of a block already compressed when there is one.
  bool make_room(std::vector<uint8_t>& block) {
    std::unique_lock lock(mutex_);
    for (; !workers_.empty();) {
      while (!window_.empty() && window_.front()->done)
        if (!write_front(lock)) return false;
      if (unencoded_ <= max_unencoded_) break;
      done_.wait(lock);
    }
    if (!spare_.empty()) {
      block = std::move(spare_.back());
      spare_.pop_back();
    }
    return true;
  }

  bool drain() {
    std::unique_lock lock(mutex_);
    while (!window_.empty())
      if (!write_front(lock)) return false;
    spare_.clear();
    return true;
  }

  uint64_t written() const { return written_; }
  uint32_t checksum() const { return checksum_.result(); }
  size_t blocks() const { return blocks_; }
  const std::string& error() const { return error_; }

 private:
  struct Job {
    std::vector<uint8_t> raw;
    std::vector<uint8_t> stored;
    bool encoded = true;
    bool done = false;
  };

  void process(Job& job) {
    if (compress_) {
      job.encoded = block_encode(job.raw, mode_, job.stored);
      // Handed back whole: freed, a block's buffer would be split by small allocations
      // and the next block would take fresh memory beside it.
      job.raw.clear();
      std::lock_guard lock(mutex_);
      spare_.push_back(std::move(job.raw));
    } else {
      job.stored = std::move(job.raw);
    }
    job.raw = {};
  }

  void work() {
    for (;;) {
      Job* job = nullptr;
      {
        std::unique_lock lock(mutex_);
        work_ready_.wait(lock, [this] { return stop_ || !queue_.empty(); });
        if (stop_) return;
        job = queue_.front();
        queue_.pop_front();
      }
      process(*job);
      {
        std::lock_guard lock(mutex_);
        job->done = true;
        --unencoded_;
      }
      done_.notify_all();
    }
  }

  // Waits for the oldest block and writes it, outside the lock.
  bool write_front(std::unique_lock<std::mutex>& lock) {
    done_.wait(lock, [this] { return window_.front()->done; });
    std::unique_ptr<Job> job = std::move(window_.front());
    window_.pop_front();
    lock.unlock();
    bool ok = write(*job);
    lock.lock();
    return ok;
  }

  bool write(const Job& job) {
    if (!error_.empty()) return false;
    if (!job.encoded) return fail("a block cannot be compressed");
    const uint64_t length = job.stored.size();
    if (length > uint64_t(std::numeric_limits<int32_t>::max()) - 8 ||
        written_ + 8 + length > uint64_t(std::numeric_limits<int32_t>::max()))
      return fail("the file data is larger than a package can hold (2 GiB)");
    std::vector<uint8_t> head;
    put_le32(head, uint32_t(length));
    put_le32(head, Checksum32(job.stored));
    checksum_.add(head);
    checksum_.add(job.stored);
    if (!sink_(head) || !sink_(job.stored)) return fail("the file data cannot be written");
    written_ += 8 + length;
    ++blocks_;
    return true;
  }

  bool fail(std::string reason) {
    error_ = std::move(reason);
    return false;
  }

  const bool compress_;
  const BlockEncodeMode mode_;
  ByteSink sink_;
  size_t max_in_flight_ = 2;
  size_t max_unencoded_ = 2;  // submitted blocks not yet compressed, when the next one starts
  size_t unencoded_ = 0;
  std::vector<std::thread> workers_;
  std::mutex mutex_;
  std::condition_variable work_ready_;
  std::condition_variable done_;
  bool stop_ = false;
  std::deque<std::unique_ptr<Job>> window_;  // submitted, not yet written, oldest first
  std::deque<Job*> queue_;                    // submitted, not yet taken by a worker
  std::vector<std::vector<uint8_t>> spare_;   // empty buffers of compressed blocks
  // Touched by the submitting thread only.
  Checksum32Builder checksum_;
  uint64_t written_ = 0;
  size_t blocks_ = 0;
  std::string error_;
};

FileTableWriter::FileTableWriter(const FileTableWriterOptions& options, ByteSink sink)
    : options_(options),
      pipeline_(std::make_unique<Pipeline>(options.compress, options.mode, options.threads, std::move(sink))) {
  if (options_.block_size == 0 || options_.block_size > max_block_size)
    error_ = "the block size must be 1 to " + std::to_string(max_block_size) + " bytes";
}

FileTableWriter::~FileTableWriter() = default;

bool FileTableWriter::fail(std::string reason) {
  if (error_.empty()) error_ = std::move(reason);
  return false;
}

bool FileTableWriter::start_block() {
  if (!block_.empty()) return true;
  if (!pipeline_->make_room(block_)) return fail(pipeline_->error());
  block_.reserve(options_.block_size);
  return true;
}

bool FileTableWriter::append(std::span<const uint8_t> bytes) {
  while (!bytes.empty()) {
    if (!start_block()) return false;
    size_t take = std::min(options_.block_size - block_.size(), bytes.size());
    block_.insert(block_.end(), bytes.begin(), bytes.begin() + take);
    bytes = bytes.subspan(take);
    if (block_.size() == options_.block_size) {
      if (!pipeline_->submit(std::move(block_))) return fail(pipeline_->error());
      block_ = {};
    }
  }
  return true;
}

bool FileTableWriter::add_file(const FileRecord& record, uint64_t size, const DataReader& read) {
  if (!error_.empty() || finished_) return fail("the file table is already finished");
  const std::string which = "file " + std::to_string(summary_.FileDataSizes.size() + 1) + " (" + record.Name + "): ";
  if (std::string reason = check_file_record(record); !reason.empty()) return fail(which + reason);
  if (size > uint64_t(max_file_record_data))
    return fail(which + "larger than " + std::to_string(max_file_record_data) + " bytes");
  if (summary_.FileDataSizes.size() >= size_t(std::numeric_limits<int32_t>::max()))
    return fail(which + "too many files");

  std::vector<uint8_t> fields;
  encode_record_fields(record, fields);
  const uint64_t record_length = fields.size() + size + 4;
  std::vector<uint8_t> prefix;
  put_le32(prefix, uint32_t(record_length));
  if (!append(prefix) || !append(fields)) return false;

  // The data goes straight into the block being filled, a piece at a time.
  Checksum32Builder checksum;
  for (uint64_t left = size; left > 0;) {
    if (!start_block()) return false;
    const size_t room = options_.block_size - block_.size();
    const size_t piece = size_t(std::min<uint64_t>({left, room, read_piece}));
    const size_t start = block_.size();
    block_.resize(start + piece);
    std::span<uint8_t> target(block_.data() + start, piece);
    if (!read(target)) return fail(which + "cannot be read");
    checksum.add(target);
    left -= piece;
    if (block_.size() == options_.block_size) {
      if (!pipeline_->submit(std::move(block_))) return fail(pipeline_->error());
      block_ = {};
    }
  }
  std::vector<uint8_t> suffix;
  put_le32(suffix, checksum.result());
  if (!append(suffix)) return false;

  summary_.FileDataSizes.push_back(int32_t(size));
  summary_.record_stream_size += 4 + record_length;
  return true;
}

bool FileTableWriter::add_file(const FileRecord& record, std::span<const uint8_t> data) {
  size_t position = 0;
  return add_file(record, data.size(), [&](std::span<uint8_t> out) {
    std::copy_n(data.begin() + position, out.size(), out.begin());
    position += out.size();
    return true;
  });
}

bool FileTableWriter::add_file(const FileRecord& record, const std::filesystem::path& source) {
  std::error_code error;
  const uint64_t size = std::filesystem::file_size(source, error);
  if (error) return fail("cannot open the file: " + error.message());
  errno = 0;
  std::ifstream in(source, std::ios::binary);
  if (!in) return fail(std::string("cannot open the file: ") + std::strerror(errno ? errno : EIO));
  return add_file(record, size, [&in](std::span<uint8_t> out) {
    in.read(reinterpret_cast<char*>(out.data()), std::streamsize(out.size()));
    return in.gcount() == std::streamsize(out.size());
  });
}

bool FileTableWriter::finish(FileTableSummary& summary) {
  if (!error_.empty() || finished_) return fail("the file table is already finished");
  finished_ = true;
  if (!block_.empty() && !pipeline_->submit(std::move(block_))) return fail(pipeline_->error());
  block_ = {};
  if (!pipeline_->drain()) return fail(pipeline_->error());
  summary_.DataSize = int32_t(pipeline_->written());
  summary_.DataChecksum = pipeline_->checksum();
  summary_.block_count = pipeline_->blocks();
  summary = summary_;
  return true;
}

}  // namespace halvard
