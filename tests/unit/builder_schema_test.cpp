// The key table is what the loader checks: every example the Markdown reference gives
// builds, and a key the table lacks is refused with the table's key list.

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <string>

#include "builder_test_files.h"
#include "package_builder.h"
#include "package_inspector.h"
#include "pe_fixture.h"
#include "project_keys.h"

namespace halvard::builder {
namespace {

namespace fs = std::filesystem;
using builder_test::write_file;

TEST(BuilderSchema, TheReferenceExamplesBuild) {
  const fs::path dir = builder_test::fresh_test_folder("hv_schema_");
  const auto engine = testing_pe::small_engine();
  write_file(dir / "engine.exe", std::string_view(reinterpret_cast<const char*>(engine.data()), engine.size()));
  write_file(dir / "files/readme.txt", "read me\r\n");
  const std::string reference = project_reference_markdown();
  const std::regex block("```toml\n([^`]*)```");
  int built = 0;
  for (std::sregex_iterator it(reference.begin(), reference.end(), block), end; it != end; ++it, ++built) {
    write_file(dir / "project.toml", (*it)[1].str());
    BuildRequest request;
    request.project_file = dir / "project.toml";
    request.engine = (dir / "engine.exe").string();
    request.environment = builder_test::fixed_epoch;
    const BuildOutcome outcome = build_package(request);
    ASSERT_EQ(outcome.exit_code, 0) << (outcome.errors.empty() ? "" : outcome.errors[0]);
    EXPECT_TRUE(inspect_package(outcome.output).sound());
  }
  EXPECT_GT(built, 0);
  fs::remove_all(dir);
}

TEST(BuilderSchema, TheLoaderKnowsExactlyTheTablesKeys) {
  const fs::path dir = builder_test::fresh_test_folder("hv_schema_");
  write_file(dir / "project.toml", "[product]\nname = \"X\"\n[build]\nbild_size = 4096\n");
  BuildRequest request;
  request.project_file = dir / "project.toml";
  const BuildOutcome outcome = build_package(request);
  ASSERT_EQ(outcome.errors.size(), 1u);
  std::string known;
  for (const ProjectKey& k : section_keys("build")) known += (known.empty() ? "" : ", ") + std::string(k.name);
  EXPECT_NE(outcome.errors[0].find("unknown key 'bild_size' in [build]; known keys: " + known), std::string::npos)
      << outcome.errors[0];
  fs::remove_all(dir);
}

}  // namespace
}  // namespace halvard::builder
