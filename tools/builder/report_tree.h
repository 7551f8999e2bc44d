#pragma once
// A small ordered tree of named values: `inspect` builds one and prints it either as
// JSON or as indented text, so both views always show the same fields.

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace halvard::builder {

struct ReportMember;

struct ReportNode {
  enum class Type : uint8_t { null, boolean, integer, real, text, list, object };
  Type type = Type::null;
  bool boolean = false;
  int64_t integer = 0;
  double real = 0;
  std::string text;  // UTF-8
  std::vector<ReportNode> items;
  // A vector may hold a type that is still incomplete; a pair may not.
  std::vector<ReportMember> members;

  static ReportNode of(bool v);
  static ReportNode of(int64_t v);
  static ReportNode of(double v);
  static ReportNode of(std::string v);  // already UTF-8
  static ReportNode list();
  static ReportNode object();

  ReportNode& add(std::string name, ReportNode value);  // to an object
  ReportNode& push(ReportNode value);                   // to a list
};

struct ReportMember {
  std::string name;
  ReportNode value;
};

std::string to_json(const ReportNode& node);
std::string to_text(const ReportNode& node);

}  // namespace halvard::builder
