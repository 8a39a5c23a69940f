#include "launcher/online/delimited_list.h"

namespace launcher {
namespace {

bool separates(unsigned char byte) { return byte >= 1 && byte <= ' '; }

}  // namespace

std::vector<std::string> SplitDelimited(std::string_view text, char delimiter) {
  text = text.substr(0, text.find('\0'));
  std::vector<std::string> items;
  std::size_t at = 0;
  const auto skipBlanks = [&] {
    while (at < text.size() && separates(static_cast<unsigned char>(text[at]))) ++at;
  };
  skipBlanks();
  while (at < text.size()) {
    std::string item;
    if (text[at] == '"') {
      ++at;
      while (at < text.size()) {
        if (text[at] == '"') {
          if (at + 1 < text.size() && text[at + 1] == '"') {
            item += '"';
            at += 2;
            continue;
          }
          ++at;
          break;
        }
        item += text[at++];
      }
    } else {
      const std::size_t start = at;
      while (at < text.size() && !separates(static_cast<unsigned char>(text[at])) &&
             text[at] != delimiter) {
        ++at;
      }
      item.assign(text.substr(start, at - start));
    }
    items.push_back(std::move(item));
    skipBlanks();
    if (at < text.size() && text[at] == delimiter) {
      if (at + 1 == text.size()) items.emplace_back();
      ++at;
      skipBlanks();
    }
  }
  return items;
}

}  // namespace launcher
