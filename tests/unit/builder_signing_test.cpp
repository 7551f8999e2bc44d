// Signing: a project with [sign] is signed by a real Authenticode tool (osslsigncode
// with a throw-away certificate made by openssl), and the signed setup.exe still
// passes every check the engine makes, with the file data in the section and on disk,
// for both engines; its uninstaller carries no signature; a changed byte breaks both
// the signature and the package. A signing command that fails stops the build.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "builder_test_files.h"
#include "package/engine_copy.h"
#include "package_builder.h"
#include "package_inspector.h"
#include "pe_fixture.h"

namespace halvard::builder {
namespace {

namespace fs = std::filesystem;
using builder_test::fixed_epoch;
using builder_test::read_all;
using builder_test::write_file;
using testing_pe::Image;

constexpr char secret[] = "pass-Rk8uX2";

uint32_t get32(const std::vector<uint8_t>& b, size_t at) {
  return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}

int shell(const std::string& command) {
  const int status = std::system((command + " >/dev/null 2>&1").c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class BuilderSigning : public ::testing::Test {
 protected:
  // One certificate for the suite: made once, as a publisher's CI would hold it.
  static void SetUpTestSuite() {
    // Per process: ctest runs each test as a process of its own, side by side.
    keys_ = fs::temp_directory_path() / ("hv_signing_keys_" + std::to_string(getpid()));
    fs::remove_all(keys_);
    fs::create_directories(keys_);
    const std::string k = keys_.string();
    have_tools_ = shell(
                      "openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=Halvard-Test -addext "
                      "extendedKeyUsage=codeSigning -keyout " +
                      k + "/key.pem -out " + k + "/cert.pem") == 0 &&
                  shell("openssl pkcs12 -export -inkey " + k + "/key.pem -in " + k +
                        "/cert.pem -passout pass:" + secret + " -out " + k + "/cert.p12") == 0 &&
                  shell("osslsigncode --version") != 127;
    setenv("HV_TEST_SIGN_PASS", secret, 1);
  }
  static void TearDownTestSuite() { fs::remove_all(keys_); }

  void SetUp() override {
    if (!have_tools_) GTEST_SKIP() << "openssl and osslsigncode are needed (scripts/install-deps.sh)";
    dir_ = builder_test::fresh_test_folder("hv_signing_");
    write_file(dir_ / "files/a.txt", std::string(5000, 'a') + "some text that is the first file");
    write_file(dir_ / "files/b.bin", std::string(777, '\x7f'));
  }
  void TearDown() override { fs::remove_all(dir_); }

  static std::string sign_command() {
    return "osslsigncode sign -pkcs12 " + (keys_ / "cert.p12").string() +
           " -pass \"$HV_TEST_SIGN_PASS\" -h sha256 -n Test -in {file} -out {signed}";
  }

  BuildOutcome build(Image image, bool on_disk, std::string sign_section, std::optional<bool> sign = {}) {
    const auto engine = testing_pe::small_engine(image);
    write_file(dir_ / "engine.exe", std::string_view(reinterpret_cast<const char*>(engine.data()), engine.size()));
    std::string project =
        "[product]\nname = \"Signed\"\n[options]\nproduct_flags_high = [\"verify_checksums\"]\n"
        "[[files]]\nsource = \"files/**\"\n[build]\nengine = \"engine.exe\"\ndata_on_disk = " +
        std::string(on_disk ? "true" : "false") + "\n" + sign_section;
    write_file(dir_ / "project.toml", project);
    BuildRequest request;
    request.project_file = dir_ / "project.toml";
    request.environment = fixed_epoch;
    request.sign = sign;
    return build_package(request);
  }

  static inline fs::path keys_;
  static inline bool have_tools_ = false;
  fs::path dir_;
};

TEST_F(BuilderSigning, SignedInstallerPassesTheEngineChecksAndItsUninstallerIsUnsigned) {
  struct Case {
    Image image;
    bool on_disk;
  };
  for (const Case c : {Case{Image::pe32, false}, Case{Image::pe32, true}, Case{Image::pe32_plus, false},
                       Case{Image::pe32_plus, true}}) {
    SCOPED_TRACE(std::string(c.image == Image::pe32 ? "x86" : "x64") + (c.on_disk ? ", data on disk" : ""));
    const BuildOutcome unsigned_build =
        build(c.image, c.on_disk, "[sign]\ncommand = '" + sign_command() + "'\n", false);
    ASSERT_EQ(unsigned_build.exit_code, 0) << (unsigned_build.errors.empty() ? "" : unsigned_build.errors[0]);
    const std::vector<uint8_t> plain = read_all(dir_ / "setup.exe");
    const BuildOutcome signed_build = build(c.image, c.on_disk, "[sign]\ncommand = '" + sign_command() + "'\n");
    ASSERT_EQ(signed_build.exit_code, 0) << (signed_build.errors.empty() ? "" : signed_build.errors[0]);
    EXPECT_TRUE(signed_build.is_signed);
    const fs::path setup = dir_ / "setup.exe";
    EXPECT_EQ(signed_build.output_size, fs::file_size(setup));
    EXPECT_EQ(shell("osslsigncode verify -CAfile " + (keys_ / "cert.pem").string() + " -in " + setup.string()), 0);

    // Signing adds behind the file and changes only the CheckSum field and the security
    // entry: everything the build wrote is still there.
    const std::vector<uint8_t> file = read_all(setup);
    ASSERT_GT(file.size(), plain.size());
    const Inspection in = inspect_package(setup);
    ASSERT_TRUE(in.sound()) << in.failure;
    EXPECT_TRUE(in.signature.is_signed);
    EXPECT_TRUE(in.signature.covers_file) << in.signature.note;
    EXPECT_EQ(in.signature.digest_name, "SHA-256");
    size_t differing = 0;
    for (size_t i = 0; i < plain.size(); ++i) differing += plain[i] != file[i];
    EXPECT_LE(differing, 12u);
    EXPECT_EQ(in.section.CertificateTable, (plain.size() + 7) / 8 * 8);

    // The uninstaller: the unsigned build's copy, with the CheckSum made right for it.
    const uint32_t behind = in.section.PointerToRawData + in.section.SizeOfRawData;
    const uint64_t tail_end = engine_copy_tail_end(in.section, in.header.DataOffset, c.on_disk, file.size());
    std::vector<uint8_t> copy;
    ASSERT_TRUE(build_engine_copy(std::span(file).first(in.section.PointerToRawData),
                                  std::span(file).subspan(behind, tail_end > behind ? tail_end - behind : 0),
                                  in.section, copy));
    const std::vector<uint8_t> engine = testing_pe::small_engine(c.image);
    ASSERT_EQ(copy.size(), engine.size());
    const uint32_t e_lfanew = 128;
    EXPECT_EQ(get32(copy, in.section.security_entry), 0u);
    EXPECT_EQ(get32(copy, in.section.security_entry + 4), 0u);
    EXPECT_NE(get32(copy, e_lfanew + 88), 0u);
    std::fill_n(copy.begin() + e_lfanew + 88, 4, 0);
    EXPECT_TRUE(copy == engine);

    // One changed byte in the package: the signature no longer covers the file and the
    // engine refuses the package.
    std::vector<uint8_t> damaged = file;
    damaged[in.section.PointerToRawData + in.header.DataOffset + 3] ^= 0x40;
    builder_test::write_file(dir_ / "damaged.exe",
                             std::string_view(reinterpret_cast<const char*>(damaged.data()), damaged.size()));
    const Inspection broken = inspect_package(dir_ / "damaged.exe");
    EXPECT_FALSE(broken.sound());
    EXPECT_EQ(broken.package_error, 55);
    EXPECT_TRUE(broken.signature.is_signed);
    EXPECT_FALSE(broken.signature.covers_file);
    EXPECT_NE(shell("osslsigncode verify -CAfile " + (keys_ / "cert.pem").string() + " -in " +
                    (dir_ / "damaged.exe").string()),
              0);
  }
}

TEST_F(BuilderSigning, FailedOrMissingSigningWritesNoInstaller) {
  struct Case {
    const char* what;
    std::string sign_section;
    std::optional<bool> sign;
    int exit_code;
    std::string error;  // a part of the first error
  };
  const Case cases[] = {
      {"the tool fails",
       "[sign]\ncommand = 'echo \"bad password $HV_TEST_SIGN_PASS\" >&2; exit 7 {file}'\n",
       {},
       exit_code::sign_failed,
       "the signing command failed with exit code 7"},
      {"the tool signs nothing",
       "[sign]\ncommand = 'true {file}'\n",
       {},
       exit_code::sign_failed,
       "exited with 0 but the file carries no signature"},
      {"no {file}",
       "\n[sign]\ncommand = 'signtool sign setup.exe'\n",
       {},
       exit_code::input_error,
       "project.toml:12:11: 'command' must name the file to sign as {file}"},
      {"--sign without [sign]", "", true, exit_code::input_error, "--sign asks for signing"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const BuildOutcome outcome = build(Image::pe32, false, c.sign_section, c.sign);
    EXPECT_EQ(outcome.exit_code, c.exit_code);
    ASSERT_FALSE(outcome.errors.empty());
    EXPECT_NE(outcome.errors[0].find(c.error), std::string::npos) << outcome.errors[0];
    EXPECT_EQ(outcome.errors[0].find(secret), std::string::npos) << outcome.errors[0];
    EXPECT_FALSE(fs::exists(dir_ / "setup.exe"));
    for (const auto& entry : fs::directory_iterator(dir_))
      EXPECT_EQ(entry.path().string().find(".tmp"), std::string::npos) << entry.path();
  }
  // The tool's own output is passed on, with the secret masked.
  const BuildOutcome failed = build(Image::pe32, false, cases[0].sign_section);
  ASSERT_FALSE(failed.errors.empty());
  EXPECT_NE(failed.errors[0].find("bad password ***"), std::string::npos) << failed.errors[0];
}

}  // namespace
}  // namespace halvard::builder
