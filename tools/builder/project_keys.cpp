#include "project_keys.h"

#include <sstream>

#include "builtin_messages.h"

namespace halvard::builder {
namespace {

using T = KeyType;

constexpr ProjectKey product_keys[] = {
    {"name", T::text, "", "the product's name, as the wizard and Windows' list of programs show it", {}, {}, true},
    {"publisher", T::text, "", "the publisher, shown in Windows' list of programs"},
    {"description", T::text, "", "a description of the product"},
    {"version", T::text, "", "the product's version as shown and compared with an earlier installation"},
    {"install_dir", T::text, "", "the default installation folder, relative to Program Files or a full path"},
    {"start_menu", T::text, "", "the start-menu folder of the product's shortcuts"},
    {"shared_base", T::named, "\"common_files\"", "where shared files go: common_files or common_app_data"},
    {"shared_path", T::text, "", "the folder of shared files under the shared base"},
    {"registry_key", T::text, "", "the product's registry key (under Software)"},
    {"uninstall_key", T::text, "", "the name of the product's key under Windows' Uninstall key"},
    {"install_dir_value", T::text, "", "the registry value that records the installation folder"},
    {"installing_text", T::text, "\"<product>\"", "the text shown while installing"},
    {"password", T::text, "", "a password the user must give before installing"},
    {"minimum_upgrade_version", T::text, "", "the lowest installed version this package upgrades"},
    {"must_uninstall_below", T::text, "", "installed versions below this must be removed first"},
    {"master_product", T::text, "", "a product that must be installed first"},
    {"master_product_message", T::text, "", "the message shown when the master product is missing"},
    {"excluded_systems", T::bits, "[]", "Windows releases the package refuses", excluded_system_names},
    {"admin_requirement", T::named, "\"none\"", "administrator rights: none, required or ask"},
    {"run_mode", T::named, "\"command_line\"", "how the installer runs: command_line, automatic or interactive"},
    {"shortcut_mode", T::named, "\"current_user\"", "whose shortcuts: current_user or all_users"},
};

constexpr ProjectKey options_keys[] = {
    {"product_flags_low", T::bits, "[\"uninstall_support\", \"uninstaller_start_menu_shortcut\", \"directory_page\"]",
     "the low word of the product flags", product_flag_low_names},
    {"product_flags_high", T::bits, "[\"verify_checksums\", \"progress_page\"]", "the high word of the product flags",
     product_flag_high_names},
    {"setup_options", T::bits, "[\"uninstaller_without_package\"]", "the setup options", setup_option_names},
};

constexpr ProjectKey uninstall_keys[] = {
    {"subdir", T::text, "\"Uninstall\"", "the uninstall data folder under the installation folder"},
    {"uninstaller_name", T::text, "\"Uninstall.exe\"", "the uninstaller's file name"},
    {"date", T::date, "", "the uninstaller's date (default: SOURCE_DATE_EPOCH, else none)"},
    {"notify_url", T::text, "", "the address told about an uninstallation"},
};

constexpr ProjectKey batch_keys[] = {
    {"pre_install", T::text, "", "batch lines run before the files are installed"},
    {"post_install", T::text, "", "batch lines run after the files are installed"},
    {"exit", T::text, "", "batch lines run when the installer ends"},
    {"uninstall1", T::text, "", "batch lines run before the uninstallation"},
    {"uninstall2", T::text, "", "batch lines run after the uninstallation"},
    {"upgrade", T::text, "", "batch lines run on an upgrade"},
    {"reinstall", T::text, "", "batch lines run on a reinstallation"},
};

constexpr ProjectKey finish_keys[] = {
    {"view_file", T::text, "", "a file the summary page offers to show"},
    {"launch_program", T::text, "", "a program the summary page offers to start"},
    {"open_file", T::text, "", "a file the summary page offers to open"},
};

constexpr ProjectKey notify_keys[] = {
    {"install", T::text, "", "the address told about an installation"},
    {"upgrade", T::text, "", "the address told about an upgrade"},
    {"downgrade", T::text, "", "the address told about a downgrade"},
    {"reinstall", T::text, "", "the address told about a reinstallation"},
    {"uninstall", T::text, "", "the address told about an uninstallation"},
};

constexpr ProjectKey registry_keys[] = {
    {"script", T::text, "", "registry script lines written after the files"},
    {"firewall", T::texts, "", "firewall exception lines (program;name;... or port;name;...)"},
};

constexpr ProjectKey reserved_keys[] = {
    {"block", T::byte_list, "", "the 20 reserved bytes of the settings"},
    {"shared_folder_text", T::text, "", "the text of the shared-folder item"},
    {"item53", T::text, "", "the old name of shared_folder_text"},
};

constexpr ProjectKey desktop_keys[] = {
    {"folder_name", T::text, "", "a desktop folder for the product's shortcuts"},
    {"icon", T::text, "", "the folder's icon file (relative to the project folder)"},
};

constexpr ProjectKey root_shortcut_keys[] = {
    {"name", T::text, "", "the name of a shortcut in the start menu's top level"},
    {"target", T::text, "", "what that shortcut starts"},
};

constexpr ProjectKey window_keys[] = {
    {"taskbar_text", T::text, "", "the installer's text on the taskbar"},
    {"title", T::text, "", "the background window's title"},
    {"title_size", T::number, "1.0", "the title's size"},
    {"dialog_value", T::integer, "0", "the dialog value of the settings"},
    {"title_color", T::color, "\"#FFFFFF\"", "the title's colour"},
    {"title_shadow", T::integer, "0", "the title's shadow"},
    {"title_position", T::integer, "0", "the title's position"},
    {"title_font", T::text, "\"Arial\"", "the title's font"},
    {"top_color", T::color, "\"#000080\"", "the background's colour at the top"},
    {"bottom_color", T::color, "\"#000000\"", "the background's colour at the bottom"},
    {"bitmap", T::text, "", "a .bmp picture on the background (relative to the project folder)"},
    {"bitmap_tpi", T::integer, "0", "the picture's placement"},
    {"bitmap_size", T::integer, "0", "the picture's size, 0 to 100"},
    {"stretch_mode", T::integer, "0", "how the picture is stretched"},
    {"copyright_pos", T::integer, "0", "the copyright text's position"},
    {"copyright_color", T::color, "0", "the copyright text's colour"},
    {"copyright_size", T::number, "0.0", "the copyright text's size"},
    {"copyright_text", T::text, "", "a copyright text on the background"},
    {"copyright_font", T::text, "", "the copyright text's font"},
    {"step_delay", T::integer, "0", "milliseconds to wait around the data check, 0 to 9999"},
    {"side_picture_frame", T::named, "\"none\"", "the side picture's frame: none, sunken or border"},
};

constexpr ProjectKey wizard_keys[] = {
    {"extra_space", T::integer, "0", "extra room the installation needs, in bytes"},
    {"greeting_style", T::named, "\"side_picture\"", "the greeting page: plain, side_picture or banner"},
    {"language_style", T::named, "\"side_picture\"", "the language page: plain, side_picture or banner"},
    {"license_style", T::named, "\"side_picture\"", "the licence page: plain, side_picture or banner"},
    {"readme_style", T::named, "\"side_picture\"", "the read-me page: plain, side_picture or banner"},
    {"directory_style", T::named, "\"side_picture\"", "the folder page: plain, side_picture or banner"},
    {"start_menu_style", T::named, "\"side_picture\"", "the start-menu page: plain, side_picture or banner"},
    {"progress_style", T::named, "\"side_picture\"", "the progress page: plain, side_picture or banner"},
    {"summary_style", T::named, "\"side_picture\"", "the summary page: plain, side_picture or banner"},
};

constexpr ProjectKey texts_keys[] = {
    {"license", T::text_sources, "", "the licence text of each language: file names or { text = \"...\" }"},
    {"readme", T::text_sources, "", "the read-me text of each language: file names or { text = \"...\" }"},
};

constexpr ProjectKey conditional_delete_keys[] = {
    {"path", T::text, "", "the file or folder to delete", {}, {}, true},
    {"kind", T::integer, "0", "what the condition tests"},
    {"value", T::text, "", "the value the condition compares"},
    {"flags", T::integer, "0", "the entry's flags"},
};

constexpr ProjectKey association_keys[] = {
    {"flags", T::integer, "0", "the association's flags"},
    {"extension", T::text, "", "the file extension, such as \".hello\"", {}, {}, true},
    {"class_name", T::text, "", "the file class's name"},
    {"description", T::text, "", "the file type's description"},
    {"verb", T::text, "", "the verb, such as \"open\"", {}, {}, true},
    {"verb_text", T::text, "", "the verb's text in the context menu"},
    {"command", T::text, "", "the command the verb runs"},
    {"language", T::text, "", "the language the association is for"},
    {"icon", T::text, "", "the file type's icon"},
};

constexpr ProjectKey shortcut_keys[] = {
    {"target", T::text, "", "what the shortcut starts", {}, {}, true},
    {"name", T::text, "", "the shortcut's name"},
    {"icon_file", T::text, "", "the shortcut's icon"},
    {"arguments", T::text, "", "the command-line arguments"},
    {"working_directory", T::text, "", "the working folder"},
    {"desktop", T::flag, "false", "a shortcut on the desktop"},
    {"start_menu", T::flag, "false", "a shortcut in the start menu"},
    {"startup", T::flag, "false", "a shortcut in the startup folder"},
    {"custom_folder", T::text, "", "a shortcut in this folder"},
    {"show_mode", T::integer, "0", "how the window shows"},
    {"keep", T::flag, "false", "leave the shortcut at uninstallation"},
};

constexpr ProjectKey registration_value_keys[] = {
    {"name", T::text, "", "the value's name, with its root (\\HKLM\\...)", {}, {}, true},
    {"type", T::named, "\"string\"", "string, expand_string, dword or a number"},
    {"value", T::text, "", "the value's data"},
};

constexpr ProjectKey close_application_keys[] = {
    {"window_class", T::text, "", "the window class to close"},
    {"window_title", T::text, "", "the window title, exact or *text for one that contains it"},
    {"application_name", T::text, "", "the application's name in messages"},
    {"mode", T::integer, "0", "0 close, 1 quit, 2 ask"},
    {"phases", T::integer, "3", "1 before installing, 2 before uninstalling, 4 after the uninstall question"},
};

constexpr ProjectKey registry_entry_keys[] = {
    {"key", T::text, "", "the key with its root (\\HKLM\\...); alone: a key to create", {}, {}, true},
    {"name", T::text, "", "the value's name"},
    {"type", T::named, "\"string\"", "string, expand_string, binary, dword, qword or a number"},
    {"data", T::text, "", "the value's data"},
    {"only_remove", T::boolean, "false", "only remove the value at uninstallation"},
    {"keep", T::boolean, "false", "leave the value at uninstallation"},
};

constexpr ProjectKey firewall_keys[] = {
    {"program", T::text, "", "the program let through (or port)"},
    {"port", T::integer, "", "the port let through, 1 to 65535 (or program)"},
    {"name", T::text, "", "the exception's name"},
    {"protocols", T::texts, "", "\"tcp\", \"udp\" or both"},
    {"keep", T::boolean, "false", "leave the exception at uninstallation"},
};

constexpr ProjectKey languages_keys[] = {
    {"names", T::texts, "[\"English\"]", "the languages in table order, as the language page shows them"},
};

constexpr ProjectKey build_keys[] = {
    {"output", T::text, "\"setup.exe\"", "the installer's file (relative to the project folder)"},
    {"engine", T::text, "\"x86\"", "\"x86\", \"x64\" or a path to the engine"},
    {"block_size", T::integer, "16777216", "bytes of file data per compressed block, 4096 to 64 MiB"},
    {"compression", T::named, "\"normal\"", "how the file data is compressed: none, fast, normal or best"},
    {"stream_compression", T::named, "\"best\"", "how the settings are compressed: fast, normal or best"},
    {"data_on_disk", T::boolean, "false", "the engine reads the file data from disk, not from memory"},
    {"engine_version", T::integer, "", "the EngineVersion word, in hundredths (default: this builder's)"},
    {"file_order", T::text, "\"compression\"", "compression (files placed for compression) or as-given"},
};

constexpr ProjectKey sign_keys[] = {
    {"command",
     T::text,
     "",
     "the signing command, run through the shell: {file} is the installer, {signed} where a tool writes its signed "
     "copy",
     {},
     {},
     true},
};

constexpr ProjectKey files_keys[] = {
    {"source", T::text, "", "a path or glob relative to the project folder, ** for any folders", {}, {}, true},
    {"base", T::text, "", "the folder stripped from the stored names (default: the glob's fixed folders)"},
    {"into", T::text, "", "a folder put in front of each stored name"},
    {"name", T::text, "", "the stored name, when the source is one file"},
    {"exclude", T::texts, "", "globs left out"},
    {"optional", T::boolean, "false", "no match is not an error"},
    {"kind", T::named, "\"plain\"", "the file's kind", {}, file_kind_names},
    {"overwrite", T::named, "", "when an existing file is replaced", {}, overwrite_mode_names},
    {"flags", T::bits, "[]", "the file's flags", file_flag_names},
    {"attributes", T::bits, "", "the installed file's attributes, or \"unchanged\"", file_attribute_names},
    {"date", T::date, "\"modified\"", "the file's date: \"modified\", \"none\" or a date"},
    {"version", T::text, "", "the file's version text"},
    {"shortcut_text", T::text, "", "the record's shortcut text"},
    {"shortcut_text2", T::text, "", "the record's second shortcut text"},
    {"shortcut_text3", T::text, "", "the record's third shortcut text"},
    {"destination", T::text, "", "a destination folder other than the installation folder"},
    {"msi_value", T::integer, "", "kind msi_package: the raw MsiValue"},
    {"msi_ui_level", T::named, "", "kind msi_package: the installer's user interface", {}, msi_ui_level_names},
    {"msi_remove_at_uninstall", T::boolean, "false", "kind msi_package: removed again at uninstallation"},
    {"font_name", T::text, "", "kind font: the font's name (required for fonts)"},
    {"applet_name", T::text, "", "kind control_panel: the applet's name"},
    {"keep", T::boolean, "false", "leave the file at uninstallation"},
};

constexpr ProjectSection sections[] = {
    {"product", false, "the product and where it goes", product_keys},
    {"options", false, "the option bits by name", options_keys},
    {"uninstall", false, "the uninstaller", uninstall_keys},
    {"batch", false, "batch lines run at points of the installation", batch_keys},
    {"finish", false, "what the summary page offers", finish_keys},
    {"notify", false, "addresses told about the installation", notify_keys},
    {"registry", false, "registry script and firewall lines", registry_keys},
    {"reserved", false, "reserved settings", reserved_keys},
    {"desktop", false, "a desktop folder", desktop_keys},
    {"root_shortcut", false, "a shortcut in the start menu's top level", root_shortcut_keys},
    {"window", false, "the background window", window_keys},
    {"wizard", false, "the wizard's pages", wizard_keys},
    {"texts", false, "licence and read-me texts", texts_keys},
    {"conditional_deletes", true, "files deleted on a condition", conditional_delete_keys},
    {"associations", true, "file associations", association_keys},
    {"shortcuts", true, "shortcuts", shortcut_keys},
    {"registration_values", true, "registry values of the registration", registration_value_keys},
    {"close_applications", true, "windows closed before installing or uninstalling", close_application_keys},
    {"registry_entries", true, "registry values and keys", registry_entry_keys},
    {"firewall", true, "firewall exceptions", firewall_keys},
    {"languages", false, "the languages of the message table", languages_keys},
    {"messages", false, "texts by language: [messages.NAME], a message's name or number = its text", {}},
    {"build", false, "how to build", build_keys},
    {"sign", false, "signing the installer", sign_keys},
    {"files", true, "the files to install", files_keys},
};

std::string quoted(std::string_view text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  return out + "\"";
}

template <typename Table>
std::string enum_of(Table names) {
  std::string out = "[";
  for (size_t i = 0; i < names.size(); ++i) out += (i ? ", " : "") + quoted(names[i].name);
  return out + "]";
}

std::string key_schema(const ProjectKey& k) {
  const std::string integer = R"({"type": "integer"})";
  std::string names;
  if (k.bit_names) names = enum_of(k.bit_names());
  if (k.value_names) names = enum_of(k.value_names());
  const std::string name_schema = names.empty() ? R"({"type": "string"})" : R"({"enum": )" + names + "}";
  std::string type;
  switch (k.type) {
    case T::text:
      type = R"("type": "string")";
      break;
    case T::boolean:
      type = R"("type": "boolean")";
      break;
    case T::integer:
      type = R"("type": "integer")";
      break;
    case T::number:
      type = R"("type": "number")";
      break;
    case T::color:
      type = R"("anyOf": [{"type": "string", "pattern": "^#[0-9A-Fa-f]{6}$"}, {"type": "integer"}])";
      break;
    case T::bits:
      type = R"("anyOf": [)" + name_schema + ", " + integer + R"(, {"type": "array", "items": {"anyOf": [)" +
             name_schema + ", " + integer + "]}}]";
      break;
    case T::named:
      type = R"("anyOf": [)" + name_schema + ", " + integer + "]";
      break;
    case T::date:
      type = R"("type": "string")";
      break;
    case T::texts:
      type = R"("anyOf": [{"type": "string"}, {"type": "array", "items": {"type": "string"}}])";
      break;
    case T::text_sources:
      type = R"("type": "array", "items": {"anyOf": [{"type": "string"}, {"type": "object", )"
             R"("properties": {"text": {"type": "string"}}, "required": ["text"], "additionalProperties": false}]})";
      break;
    case T::byte_list:
      type = R"("type": "array", "minItems": 20, "maxItems": 20, "items": {"type": "integer", "minimum": 0, )"
             R"("maximum": 255})";
      break;
    case T::flag:
      type = R"("anyOf": [{"type": "boolean"}, {"type": "integer", "minimum": 0, "maximum": 255}])";
      break;
  }
  std::string out = "{" + type + R"(, "description": )" + quoted(k.meaning);
  if (!k.default_value.empty()) out += R"(, "default": )" + std::string(k.default_value);
  return out + "}";
}

std::string table_schema(const ProjectSection& s, const std::string& indent) {
  std::string out =
      "{\"type\": \"object\", \"description\": " + quoted(s.meaning) + ", \"additionalProperties\": false";
  std::string required;
  out += ",\n" + indent + "  \"properties\": {";
  for (size_t i = 0; i < s.keys.size(); ++i) {
    const ProjectKey& k = s.keys[i];
    out += (i ? ",\n" : "\n") + indent + "    " + quoted(k.name) + ": " + key_schema(k);
    if (k.required) required += (required.empty() ? "" : ", ") + quoted(k.name);
  }
  out += "\n" + indent + "  }";
  if (!required.empty()) out += ",\n" + indent + "  \"required\": [" + required + "]";
  return out + "}";
}

std::string messages_schema() {
  std::string names;
  for (const BuiltinMessage& m : builtin_messages()) names += (names.empty() ? "" : ", ") + quoted(m.name);
  return R"({"type": "object", "description": "texts by language: [messages.NAME]", )"
         R"("additionalProperties": {"type": "object", "propertyNames": {"anyOf": [{"pattern": "^[0-9]+$"}, )"
         R"({"enum": [)" +
         names + R"(]}]}, "additionalProperties": {"type": "string"}}})";
}

const char* type_name(KeyType t) {
  switch (t) {
    case T::text:
      return "text";
    case T::boolean:
      return "boolean";
    case T::integer:
      return "integer";
    case T::number:
      return "number";
    case T::color:
      return "colour (\"#RRGGBB\" or number)";
    case T::bits:
      return "names or numbers (one or a list)";
    case T::named:
      return "name or number";
    case T::date:
      return "date or word";
    case T::texts:
      return "text or list of texts";
    case T::text_sources:
      return "list of file names or { text = \"...\" }";
    case T::byte_list:
      return "list of 20 numbers 0-255";
    case T::flag:
      return "boolean or number 0-255";
  }
  return "";
}

std::string cell(std::string_view text) {
  std::string out;
  for (char c : text) out += c == '|' ? std::string("\\|") : std::string(1, c);
  return out;
}

}  // namespace

std::span<const ProjectSection> project_sections() { return sections; }

std::span<const ProjectKey> section_keys(std::string_view section) {
  for (const ProjectSection& s : sections)
    if (s.name == section) return s.keys;
  return {};
}

std::string project_schema_json() {
  std::string out =
      "{\n  \"$schema\": \"https://json-schema.org/draft/2020-12/schema\",\n"
      "  \"title\": \"Halvard Setup project file (halvard-build)\",\n"
      "  \"type\": \"object\",\n  \"additionalProperties\": false,\n  \"required\": [\"product\"],\n"
      "  \"properties\": {";
  for (size_t i = 0; i < std::size(sections); ++i) {
    const ProjectSection& s = sections[i];
    out += (i ? ",\n    " : "\n    ") + quoted(s.name) + ": ";
    if (s.name == "messages")
      out += messages_schema();
    else if (s.is_array)
      out += "{\"type\": \"array\", \"items\": " + table_schema(s, "    ") + "}";
    else
      out += table_schema(s, "    ");
  }
  return out + "\n  }\n}\n";
}

std::string project_reference_markdown() {
  std::ostringstream out;
  out << "# The project file: every key\n\n"
         "Generated by `halvard-build reference` from the table the loader checks keys against; "
         "`halvard-build schema` writes the same keys as a JSON Schema. Names that a key takes are "
         "listed by `halvard-build build --help`.\n\n"
         "```toml\n"
         "#:schema ./"
      << schema_file_name
      << "\n"
         "[product]\n"
         "name = \"Reference\"\n"
         "version = \"1.0\"\n"
         "install_dir = \"Reference\"\n\n"
         "[options]\n"
         "product_flags_high = [\"verify_checksums\", \"progress_page\"]\n\n"
         "[[files]]\n"
         "source = \"files/**\"\n"
         "base = \"files\"\n\n"
         "[[shortcuts]]\n"
         "target = \"%InstallDir%\\\\readme.txt\"\n"
         "name = \"Read me\"\n"
         "start_menu = true\n\n"
         "[build]\n"
         "output = \"setup.exe\"\n"
         "file_order = \"as-given\"\n"
         "```\n";
  for (const ProjectSection& s : sections) {
    out << "\n## " << (s.is_array ? "[[" : "[") << s.name << (s.name == "messages" ? ".NAME" : "")
        << (s.is_array ? "]]" : "]") << "\n\n"
        << char(std::toupper(static_cast<unsigned char>(s.meaning[0]))) << s.meaning.substr(1) << ".\n";
    if (s.keys.empty()) continue;
    out << "\n| Key | Type | Default | Meaning |\n|---|---|---|---|\n";
    for (const ProjectKey& k : s.keys) {
      out << "| `" << k.name << "`" << (k.required ? " (required)" : "") << " | " << type_name(k.type) << " | "
          << (k.default_value.empty() ? "" : "`" + cell(k.default_value) + "`") << " | " << cell(k.meaning);
      if (k.bit_names || k.value_names) {
        out << ": ";
        if (k.bit_names)
          for (size_t i = 0; i < k.bit_names().size(); ++i)
            out << (i ? ", " : "") << "`" << k.bit_names()[i].name << "`";
        if (k.value_names)
          for (size_t i = 0; i < k.value_names().size(); ++i)
            out << (i ? ", " : "") << "`" << k.value_names()[i].name << "`";
      }
      out << " |\n";
    }
  }
  return out.str();
}

}  // namespace halvard::builder
