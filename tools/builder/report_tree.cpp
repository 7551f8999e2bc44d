#include "report_tree.h"

#include <cstdio>

namespace halvard::builder {

ReportNode ReportNode::of(bool v) {
  ReportNode n;
  n.type = Type::boolean;
  n.boolean = v;
  return n;
}
ReportNode ReportNode::of(int64_t v) {
  ReportNode n;
  n.type = Type::integer;
  n.integer = v;
  return n;
}
ReportNode ReportNode::of(double v) {
  ReportNode n;
  n.type = Type::real;
  n.real = v;
  return n;
}
ReportNode ReportNode::of(std::string v) {
  ReportNode n;
  n.type = Type::text;
  n.text = std::move(v);
  return n;
}
ReportNode ReportNode::list() {
  ReportNode n;
  n.type = Type::list;
  return n;
}
ReportNode ReportNode::object() {
  ReportNode n;
  n.type = Type::object;
  return n;
}
ReportNode& ReportNode::add(std::string name, ReportNode value) {
  members.push_back(ReportMember{std::move(name), std::move(value)});
  return members.back().value;
}
ReportNode& ReportNode::push(ReportNode value) {
  items.push_back(std::move(value));
  return items.back();
}

namespace {

// Quoted with JSON escapes; also used by the text view, so control characters and
// line ends show as \r\n instead of breaking the layout.
std::string quoted(std::string_view s) {
  std::string out = "\"";
  for (char c : s) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (uint8_t(c) < 0x20) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\u%04x", unsigned(uint8_t(c)));
          out += buf;
        } else {
          out += c;
        }
    }
  }
  return out + "\"";
}

std::string scalar(const ReportNode& n) {
  switch (n.type) {
    case ReportNode::Type::null: return "null";
    case ReportNode::Type::boolean: return n.boolean ? "true" : "false";
    case ReportNode::Type::integer: return std::to_string(n.integer);
    case ReportNode::Type::real: {
      char buf[40];
      std::snprintf(buf, sizeof buf, "%.17g", n.real);
      return buf;
    }
    case ReportNode::Type::text: return quoted(n.text);
    default: return "";
  }
}

bool is_scalar(const ReportNode& n) { return n.type != ReportNode::Type::list && n.type != ReportNode::Type::object; }

void json(const ReportNode& n, std::string& out, int depth) {
  const std::string pad(size_t(depth + 1) * 2, ' '), end_pad(size_t(depth) * 2, ' ');
  if (n.type == ReportNode::Type::list) {
    if (n.items.empty()) return void(out += "[]");
    out += "[\n";
    for (size_t i = 0; i < n.items.size(); ++i) {
      out += pad;
      json(n.items[i], out, depth + 1);
      out += i + 1 < n.items.size() ? ",\n" : "\n";
    }
    out += end_pad + "]";
  } else if (n.type == ReportNode::Type::object) {
    if (n.members.empty()) return void(out += "{}");
    out += "{\n";
    for (size_t i = 0; i < n.members.size(); ++i) {
      out += pad + quoted(n.members[i].name) + ": ";
      json(n.members[i].value, out, depth + 1);
      out += i + 1 < n.members.size() ? ",\n" : "\n";
    }
    out += end_pad + "}";
  } else {
    out += scalar(n);
  }
}

bool all_scalars(const ReportNode& n) {
  for (const auto& i : n.items)
    if (!is_scalar(i)) return false;
  return true;
}

std::string inline_list(const ReportNode& n) {
  std::string out = "[";
  for (size_t i = 0; i < n.items.size(); ++i) out += (i ? ", " : "") + scalar(n.items[i]);
  return out + "]";
}

void text(const ReportNode& n, std::string& out, int depth) {
  const std::string pad(size_t(depth) * 2, ' ');
  if (n.type == ReportNode::Type::object) {
    for (const auto& [name, value] : n.members) {
      out += pad + name + ":";
      if (is_scalar(value)) {
        out += " " + scalar(value) + "\n";
      } else if (value.type == ReportNode::Type::list && all_scalars(value)) {
        out += " " + inline_list(value) + "\n";
      } else if (value.type == ReportNode::Type::list && value.items.empty()) {
        out += " []\n";
      } else {
        out += "\n";
        text(value, out, depth + 1);
      }
    }
  } else if (n.type == ReportNode::Type::list) {
    for (size_t i = 0; i < n.items.size(); ++i) {
      const ReportNode& item = n.items[i];
      if (is_scalar(item)) {
        out += pad + "- " + scalar(item) + "\n";
      } else {
        out += pad + "[" + std::to_string(i) + "]\n";
        text(item, out, depth + 1);
      }
    }
  } else {
    out += pad + scalar(n) + "\n";
  }
}

}  // namespace

std::string to_json(const ReportNode& node) {
  std::string out;
  json(node, out, 0);
  return out + "\n";
}

std::string to_text(const ReportNode& node) {
  std::string out;
  text(node, out, 0);
  return out;
}

}  // namespace halvard::builder
