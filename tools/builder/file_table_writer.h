#pragma once
// Writes the file-data region: the records of the files joined into one record stream,
// cut into blocks of a chosen size, each block compressed (or stored as it is) behind
// its length and checksum. File data is streamed in pieces, blocks are compressed on
// every core, and the output is the same bytes whatever the number of threads. Memory
// stays within a few blocks per thread; no file is ever held whole.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <ostream>
#include <span>
#include <string>
#include <vector>

#include "block_encoder.h"
#include "package/file_record.h"

namespace halvard {

// Receives the region's bytes in order; false stops the writer.
using ByteSink = std::function<bool(std::span<const uint8_t> bytes)>;
ByteSink ostream_sink(std::ostream& out);

// Fills `out` with the file's next bytes, exactly out.size() of them; false on failure.
using DataReader = std::function<bool(std::span<uint8_t> out)>;

inline constexpr size_t default_block_size = size_t(4) << 20;
inline constexpr size_t max_block_size = size_t(1) << 30;

struct FileTableWriterOptions {
  size_t block_size = default_block_size;  // record-stream bytes per block, 1 to max_block_size
  bool compress = true;                    // ProductFlags low bit 5
  BlockEncodeMode mode = BlockEncodeMode::best;
  unsigned threads = 0;                    // compressing threads; 0: one per core
};

struct FileTableSummary {
  std::vector<int32_t> FileDataSizes;
  int32_t DataSize = 0;
  uint32_t DataChecksum = 0;
  uint64_t record_stream_size = 0;  // decoded bytes of all blocks
  size_t block_count = 0;
};

// A record's fields as stored, without length prefix, data or checksum. Empty text and
// a reason when the record cannot be stored (empty name, no kind, a NUL in a text,
// fields longer than the engine accepts).
std::string check_file_record(const FileRecord& record);
void encode_record_fields(const FileRecord& record, std::vector<uint8_t>& out);

class FileTableWriter {
 public:
  FileTableWriter(const FileTableWriterOptions& options, ByteSink sink);
  ~FileTableWriter();
  FileTableWriter(const FileTableWriter&) = delete;
  FileTableWriter& operator=(const FileTableWriter&) = delete;

  // Adds the next file of the table. On failure error() says why; the writer is then
  // spent and finish() fails too.
  bool add_file(const FileRecord& record, uint64_t size, const DataReader& read);
  bool add_file(const FileRecord& record, std::span<const uint8_t> data);
  bool add_file(const FileRecord& record, const std::filesystem::path& source);

  // Writes the last block and waits for every block to be written.
  bool finish(FileTableSummary& summary);

  const std::string& error() const { return error_; }

 private:
  class Pipeline;
  bool start_block();
  bool append(std::span<const uint8_t> bytes);
  bool fail(std::string reason);

  FileTableWriterOptions options_;
  std::unique_ptr<Pipeline> pipeline_;
  std::vector<uint8_t> block_;
  FileTableSummary summary_;
  std::string error_;
  bool finished_ = false;
};

}  // namespace halvard
