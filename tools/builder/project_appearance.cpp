// [window], [wizard] and [texts]: the background window, the wizard pages' styles and
// the licence and read-me texts.

#include <string>
#include <vector>

#include "foundation/text.h"
#include "project_sections.h"
#include "ui/background_paint.h"

namespace halvard::builder {
namespace {

constexpr NamedValue page_styles[] = {{"plain", 0}, {"side_picture", 1}, {"banner", 2}};
constexpr NamedValue frames[] = {{"none", 0}, {"sunken", 1}, {"border", 2}};
constexpr std::string_view page_keys[] = {"greeting_style",   "language_style", "license_style",
                                          "readme_style",     "directory_style", "start_menu_style",
                                          "progress_style",   "summary_style"};

std::string_view picture_problem_text(PictureProblem problem) {
  switch (problem) {
    case PictureProblem::none:
      break;
    case PictureProblem::truncated_header:
      return "its header is cut short";
    case PictureProblem::unknown_header:
      return "its header is not one of a .bmp file";
    case PictureProblem::bad_size:
      return "its width or height is 0 or above 32768";
    case PictureProblem::unsupported_format:
      return "it is compressed or has a bit count the engine cannot draw (use an uncompressed .bmp)";
    case PictureProblem::bad_palette:
      return "its palette has more colours than its bit count can index";
    case PictureProblem::truncated_palette:
      return "its palette is cut short";
    case PictureProblem::truncated_pixels:
      return "its pixels are cut short";
    case PictureProblem::index_beyond_palette:
      return "a pixel names a colour beyond its palette";
  }
  return "";
}

// A device-independent bitmap: a .bmp file's 14-byte "BM" file header is dropped. The
// engine would leave a picture it cannot read out of the window; the publisher hears why.
void bitmap(TomlReader& r, const toml::table& t, Project& p) {
  std::string path;
  if (!r.text(t, "bitmap", path)) return;
  std::string bytes;
  if (!read_project_file_bytes(r, *t.get("bitmap"), p, path, bytes)) return;
  if (bytes.size() >= 14 && bytes[0] == 'B' && bytes[1] == 'M') bytes.erase(0, 14);
  const std::vector<uint8_t> picture(bytes.begin(), bytes.end());
  const PictureLayout layout = read_picture(picture);
  if (!layout.ok()) {
    r.error(*t.get("bitmap"), "\"" + path + "\" is not a picture the engine can show: " +
                                  std::string(picture_problem_text(layout.problem)));
    return;
  }
  p.settings.BackgroundBitmap = picture;
  if (const toml::node* index = t.get("bitmap_tpi"); index && index->is_integer()) {
    const int64_t value = index->as_integer()->get();
    if (value != -1 && (value < 0 || value >= layout.palette_entries)) {
      r.error(*index, "'bitmap_tpi' " + std::to_string(value) + " is not an entry of the picture's palette (" +
                          std::to_string(layout.palette_entries) + " entries; -1 for none)");
    }
  }
}

void window(TomlReader& r, const toml::table& t, Project& p) {
  InstallSettings& s = p.settings;
  r.unknown_keys(t, "[window]", section_keys("window"));
  r.text(t, "taskbar_text", s.TaskbarText);
  r.text(t, "title", s.DisplayTitle);
  r.f64(t, "title_size", s.TitleSize);
  r.u32(t, "dialog_value", s.DialogValue);
  r.color(t, "title_color", s.TitleColor);
  r.u8(t, "title_shadow", s.TitleShadow);
  r.u8(t, "title_position", s.TitlePosition);
  r.text(t, "title_font", s.TitleFont);
  r.color(t, "top_color", s.TopColor);
  r.color(t, "bottom_color", s.BottomColor);
  bitmap(r, t, p);
  r.i32(t, "bitmap_tpi", s.BitmapTPI);
  int64_t size = 0;
  if (r.number(t, "bitmap_size", 0, 100, size)) s.BitmapSize = int32_t(size);
  r.i32(t, "stretch_mode", s.StretchMode);
  r.u8(t, "copyright_pos", s.CopyrightPos);
  r.color(t, "copyright_color", s.CopyrightColor);
  r.f64(t, "copyright_size", s.CopyrightSize);
  r.text(t, "copyright_text", s.CopyrightText);
  r.text(t, "copyright_font", s.CopyrightFont);
  r.u16(t, "step_delay", 9999, s.StepDelay);
  uint32_t frame = 0;
  if (r.named(t, "side_picture_frame", frames, frame)) {
    if (frame > 255)
      r.error(*t.get("side_picture_frame"), "'side_picture_frame' must be between 0 and 255");
    else
      s.SidePictureFrame = uint8_t(frame);
  }
  if (s.CopyrightPos == 0 && (t.contains("copyright_text") || t.contains("copyright_font")))
    r.error(*t.get(t.contains("copyright_text") ? "copyright_text" : "copyright_font"),
            "a copyright line needs 'copyright_pos' other than 0 (0 means no copyright line)");
}

void wizard(TomlReader& r, const toml::table& t, InstallSettings& s) {
  r.unknown_keys(t, "[wizard]", section_keys("wizard"));
  r.i32(t, "extra_space", s.DialogOptions[0]);
  for (size_t i = 0; i < std::size(page_keys); ++i) {
    uint32_t v = 0;
    if (r.named(t, page_keys[i], page_styles, v)) s.DialogOptions[i + 1] = int32_t(v);
  }
}

// A list of texts, one per language: a file name, or { text = "..." } inline.
void language_texts(TomlReader& r, const toml::table& t, std::string_view key, Project& p,
                    std::vector<std::string>& out) {
  const toml::node* node = t.get(key);
  if (!node) return;
  const auto* a = node->as_array();
  if (!a) {
    r.error(*node, "'" + std::string(key) + "' must be a list: [\"file.txt\", { text = \"...\" }]");
    return;
  }
  if (a->size() > 20) r.error(*node, "'" + std::string(key) + "' holds more than 20 texts");
  out.clear();
  for (const toml::node& item : *a) {
    std::string text;
    if (const auto* s = item.as_string()) {
      if (!read_project_file_bytes(r, item, p, s->get(), text)) continue;
    } else if (const auto* inline_text = item.as_table()) {
      r.unknown_keys(*inline_text, "an inline text", {"text"});
      if (!r.text(*inline_text, "text", text)) r.error(item, "an inline text needs 'text'");
    } else {
      r.error(item, "'" + std::string(key) + "' takes file names or { text = \"...\" }");
      continue;
    }
    // The page would show nothing: almost always a file that was meant to be filled in.
    if (is_blank_text(text))
      r.warning(r.position(item), std::string(key == "license" ? "the licence" : "the read-me") +
                                      " text is empty; its page will show nothing");
    out.push_back(std::move(text));
  }
}

}  // namespace

void read_appearance_sections(TomlReader& reader, const toml::table& root, Project& project) {
  if (const auto* t = reader.table(root, "window")) window(reader, *t, project);
  if (const auto* t = reader.table(root, "wizard")) wizard(reader, *t, project.settings);
  if (const auto* t = reader.table(root, "texts")) {
    reader.unknown_keys(*t, "[texts]", section_keys("texts"));
    language_texts(reader, *t, "license", project, project.settings.LicenseTexts);
    language_texts(reader, *t, "readme", project, project.settings.ReadmeTexts);
  }
}

}  // namespace halvard::builder
