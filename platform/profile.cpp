// INI reader/writer with Windows profile semantics on raw GBK bytes (a file saved as
// UTF-8 is read and written in UTF-8). Edits splice the original bytes, so untouched
// lines keep their exact spelling and line endings.
#include "platform/profile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <optional>
#include <vector>

#include "platform/atomic_file.h"
#include "platform/gbk.h"
#include "platform/gbk_text.h"

namespace platform {
namespace {

struct FileText {
  bool readable = false;  // a missing file reads as empty
  bool exists = false;
  mode_t mode = 0;
  std::string bytes;
};

FileText readFile(const std::string& path) {
  FileText f;
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    f.readable = (errno == ENOENT);
    return f;
  }
  f.exists = true;
  struct stat st {};
  bool ok = fstat(fd, &st) == 0;
  f.mode = st.st_mode & 07777;
  char buf[16384];
  while (ok) {
    ssize_t n = read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ok = (n == 0);
      break;
    }
    f.bytes.append(buf, static_cast<std::size_t>(n));
  }
  close(fd);
  f.readable = ok;
  return f;
}

// An existing file keeps its permission bits.
bool writeBack(const std::string& path, std::string_view bytes, const FileText& old) {
  return replaceFileAtomically(path, bytes,
                               old.exists ? std::optional<mode_t>(old.mode) : std::nullopt)
      .empty();
}

std::string_view trimBlanks(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

std::string_view unquote(std::string_view v) {
  if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
    return v.substr(1, v.size() - 2);
  return v;
}

enum class Kind { Other, Section, Key };

struct Line {
  std::size_t begin = 0;       // first byte
  std::size_t contentEnd = 0;  // before CR LF or LF
  std::size_t end = 0;         // after the line break, if any
  Kind kind = Kind::Other;
  std::string_view name;   // section name or key
  std::string_view value;  // key's value, unquoted
};

// The last ']' that is a character of its own: GBK trail bytes include 0x5D.
std::size_t closingBracket(std::string_view t) {
  std::size_t found = std::string_view::npos;
  for (std::size_t i = 1; i < t.size(); i += characterLength(t, i))
    if (t[i] == ']') found = i;
  return found;
}

void classify(Line& line, std::string_view content) {
  std::string_view t = trimBlanks(content);
  if (t.empty() || t.front() == ';') return;
  if (t.front() == '[') {
    if (std::size_t close = closingBracket(t); close != std::string_view::npos) {
      line.kind = Kind::Section;
      line.name = trimBlanks(t.substr(1, close - 1));
      return;
    }
  }
  // '=' (0x3D) is never a GBK trail byte, so a plain search is safe.
  if (std::size_t eq = t.find('='); eq != std::string_view::npos) {
    line.kind = Kind::Key;
    line.name = trimBlanks(t.substr(0, eq));
    line.value = unquote(trimBlanks(t.substr(eq + 1)));
  }
}

// A file saved as UTF-8 may begin with a byte-order mark; it belongs to no
// line's text.
constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";

// The GBK text of a file saved as UTF-8 rather than GBK (by an editor's
// default): it has the mark, or non-ASCII text that is all valid UTF-8 (real
// GBK text of more than a character or two never is). Nothing for a GBK
// file, or when GBK lacks one of its characters.
std::optional<std::string> utf8FileText(std::string_view bytes) {
  const bool mark = bytes.starts_with(kUtf8Mark);
  if (mark) bytes.remove_prefix(kUtf8Mark.size());
  const bool ascii = std::all_of(bytes.begin(), bytes.end(),
                                 [](char c) { return static_cast<unsigned char>(c) < 0x80; });
  if (!mark && ascii) return std::nullopt;
  return utf8ToGbk(bytes);
}

// A text as a write puts it into the file: UTF-8 in a UTF-8 file, so that
// the file keeps one encoding; the bytes as given when they are no GBK text.
std::string inFileEncoding(bool utf8File, std::string_view gbk) {
  if (!utf8File) return std::string(gbk);
  return gbkToUtf8(gbk).value_or(std::string(gbk));
}

std::vector<Line> splitLines(std::string_view text) {
  std::vector<Line> lines;
  for (std::size_t pos = 0; pos < text.size();) {
    Line line;
    line.begin = pos;
    std::size_t lf = text.find('\n', pos);
    line.end = (lf == std::string_view::npos) ? text.size() : lf + 1;
    line.contentEnd = (lf == std::string_view::npos) ? text.size() : lf;
    if (line.contentEnd > pos && text[line.contentEnd - 1] == '\r') --line.contentEnd;
    std::string_view content = text.substr(pos, line.contentEnd - pos);
    if (pos == 0 && content.starts_with(kUtf8Mark)) content.remove_prefix(kUtf8Mark.size());
    // A text ends at a NUL byte, as the platform's profile texts do.
    content = content.substr(0, content.find('\0'));
    classify(line, content);
    lines.push_back(line);
    pos = line.end;
  }
  return lines;
}

// Where a key lives: the first matching section, and the first matching key in it.
struct Location {
  std::vector<Line> lines;
  std::optional<std::size_t> section;  // index of the header line
  std::optional<std::size_t> lastKey;  // last key line of that section
  std::optional<std::size_t> key;
};

Location locate(std::string_view text, std::string_view section, std::string_view key) {
  Location at;
  at.lines = splitLines(text);
  section = trimBlanks(section);
  key = trimBlanks(key);
  for (std::size_t i = 0; i < at.lines.size(); ++i) {
    const Line& l = at.lines[i];
    if (l.kind == Kind::Section) {
      if (at.section) break;  // the first matching section has ended
      if (equalsIgnoreCase(l.name, section)) at.section = i;
    } else if (at.section && l.kind == Kind::Key) {
      at.lastKey = i;
      if (!at.key && equalsIgnoreCase(l.name, key)) at.key = i;
    }
  }
  return at;
}

std::string lineBreakOf(std::string_view text) {
  bool hasLf = text.find('\n') != std::string_view::npos;
  return (hasLf && text.find("\r\n") == std::string_view::npos) ? "\n" : "\r\n";
}

std::string splice(std::string_view text, std::size_t from, std::size_t to,
                   std::string_view insert) {
  std::string out;
  out.reserve(text.size() + insert.size());
  out.append(text.substr(0, from)).append(insert).append(text.substr(to));
  return out;
}

}  // namespace

std::string readProfileString(const std::string& path, std::string_view section,
                              std::string_view key, std::string_view defaultValue) {
  const FileText f = readFile(path);
  const std::string text = utf8FileText(f.bytes).value_or(f.bytes);
  Location at = locate(text, section, key);
  if (!at.key) return std::string(defaultValue);
  return std::string(at.lines[*at.key].value);
}

bool writeProfileString(const std::string& path, std::string_view section, std::string_view key,
                        std::string_view value) {
  FileText f = readFile(path);
  if (!f.readable) return false;
  const std::string eol = lineBreakOf(f.bytes);
  const bool utf8File = utf8FileText(f.bytes).has_value();
  const std::string sectionText = inFileEncoding(utf8File, section);
  const std::string keyText = inFileEncoding(utf8File, key);
  const std::string entry =
      std::string(trimBlanks(keyText)) + "=" + inFileEncoding(utf8File, value);
  Location at = locate(f.bytes, sectionText, keyText);

  std::string out;
  if (at.key) {
    const Line& l = at.lines[*at.key];
    out = splice(f.bytes, l.begin, l.contentEnd, entry);
  } else if (at.section) {
    // After the section's last key, so blank lines that close the section stay last.
    const Line& l = at.lines[at.lastKey.value_or(*at.section)];
    std::string insert = (l.contentEnd == l.end ? eol : "") + entry + eol;
    out = splice(f.bytes, l.end, l.end, insert);
  } else {
    out = f.bytes;
    if (!out.empty() && out.back() != '\n') out += eol;
    out += "[" + std::string(trimBlanks(sectionText)) + "]" + eol + entry + eol;
  }
  if (f.exists && out == f.bytes) return true;
  return writeBack(path, out, f);
}

bool deleteProfileKey(const std::string& path, std::string_view section, std::string_view key) {
  FileText f = readFile(path);
  if (!f.readable) return false;
  const bool utf8File = utf8FileText(f.bytes).has_value();
  Location at = locate(f.bytes, inFileEncoding(utf8File, section), inFileEncoding(utf8File, key));
  if (!at.key) return true;
  const Line& l = at.lines[*at.key];
  return writeBack(path, splice(f.bytes, l.begin, l.end, ""), f);
}

}  // namespace platform
