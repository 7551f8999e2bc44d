#pragma once
// A project as the builder understands it once the project file is read: the settings
// the package will carry, the rules that pick its files, the message table's languages
// and how to build. Plain data; project_loader.h fills it, the build reads it.

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "block_encoder.h"
#include "package/file_record.h"
#include "package/install_settings.h"
#include "pe_image.h"

namespace halvard::builder {

// Where something was written in the project file, for error messages.
struct SourcePos {
  std::string file;
  int line = 0;
  int column = 0;
  std::string text() const;  // "file:line:column", or just "file" without a line
};

enum class DateSource : uint8_t { modified_time, none, fixed };

// One [[files]] entry: a glob and the record fields that every file it matches gets.
struct FileRule {
  SourcePos where;          // its 'source' line (the header without one): messages about its files point here
  std::string source;       // glob relative to the project folder, '/' separated, '**' allowed
  std::string base;         // folder stripped from matches; empty: the glob's fixed leading folders
  std::string into;         // relative folder put in front of each name
  std::string name;         // the stored name when the glob matches exactly one file
  bool optional = false;    // no match is not an error
  std::vector<std::string> exclude;  // globs (relative to the project folder) left out
  FileRecord record;        // Kind, Flags, Attributes, texts, Destination, MsiValue
  DateSource date_source = DateSource::modified_time;
};

// The texts of one language, by message number; missing numbers fall back to English.
struct LanguageTexts {
  std::string name;                    // as shown on the language page
  SourcePos where;
  std::map<int, std::string> texts;    // Windows-1252 bytes
  std::map<int, SourcePos> positions;  // where each text was set
};

enum class DataCompression : uint8_t { none, fast, normal, best };

// The encoder's mode for a compressed setting (none is stored, not encoded).
constexpr BlockEncodeMode block_encode_mode(DataCompression c) {
  return c == DataCompression::fast     ? BlockEncodeMode::fast
         : c == DataCompression::normal ? BlockEncodeMode::normal
                                        : BlockEncodeMode::best;
}

// compression: files placed for the block codec (file_order.h); as_given: in the
// order the [[files]] rules and their sorted matches give.
enum class FileOrder : uint8_t { compression, as_given };

struct BuildOptions {
  std::string output = "setup.exe";   // relative to the project folder
  // [build] engine holds either a path (relative to the project folder) or an arch;
  // neither set: the default engine is searched for.
  std::string engine;
  std::optional<EngineArch> engine_arch;
  SourcePos engine_where;
  // Far repeats (the same library in two folders) are found only inside one block, and
  // the engine holds one block at a time: 16 MiB buys ratio for little memory.
  uint32_t block_size = 16u << 20;
  DataCompression compression = DataCompression::normal;
  BlockEncodeMode stream_mode = BlockEncodeMode::best;
  bool data_on_disk = false;
  int32_t engine_version = 0;         // 0: this builder's version
  FileOrder file_order = FileOrder::compression;
};

// [sign]: the publisher's signing command, run on the finished installer.
struct SignOptions {
  std::string command;  // a shell command; {file} is the file to sign, {signed} its signed copy
  SourcePos where;
};

struct Project {
  std::filesystem::path file;         // the project file
  std::filesystem::path folder;       // relative paths start here
  InstallSettings settings;           // every stream item except the message table
  BuildOptions build;
  SignOptions sign;
  std::vector<FileRule> files;
  std::vector<LanguageTexts> languages;  // in LanguageNames order; at least one
  bool uninstaller_date_set = false;  // [uninstaller] date given in the project
};

}  // namespace halvard::builder
