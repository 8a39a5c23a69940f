// The credential file on pugixml, parsed as raw bytes (no entity, line-end or encoding
// conversion) so that untouched parts are written back as read; the declaration is kept
// verbatim beside the tree. Only dbuser and dbpass are decoded and encoded here.
#include "launcher/login/credential_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <pugixml.hpp>
#include <string_view>
#include <vector>

#include "launcher/core/app.h"
#include "launcher/support/error.h"
#include "launcher/support/text_cipher.h"
#include "platform/atomic_file.h"
#include "platform/gbk.h"
#include "platform/gbk_text.h"
#include "platform/paths.h"

namespace launcher {
namespace {

constexpr char kUserElement[] = "dbuser";
constexpr char kPasswordElement[] = "dbpass";

// Without parse_escapes, parse_eol and the attribute conversions pugixml stores every text as
// written, and format_no_escapes writes it back the same way. parse_ws_pcdata keeps the
// blanks and line ends between elements.
constexpr unsigned kStrictParse = pugi::parse_pi | pugi::parse_comments | pugi::parse_cdata |
                                  pugi::parse_declaration | pugi::parse_doctype;
// parse_fragment keeps the line ends outside the document element, which pugixml otherwise
// drops; the declaration is left out of this tree because pugixml would rewrite its spacing
// and quotes.
constexpr unsigned kEditParse = pugi::parse_pi | pugi::parse_comments | pugi::parse_cdata |
                                pugi::parse_doctype | pugi::parse_ws_pcdata | pugi::parse_fragment;
constexpr unsigned kRawFormat =
    pugi::format_raw | pugi::format_no_escapes | pugi::format_no_declaration;

enum class Encoding { Gbk, Utf8 };

[[noreturn]] void fail(const std::string& path, const std::string& what) {
  throw LauncherError(path + ": " + what);
}

[[noreturn]] void failParsing(const std::string& path, const pugi::xml_parse_result& result) {
  fail(path, std::string(result.description()) + " at offset " + std::to_string(result.offset));
}

// The one element at document level (checked on loading).
pugi::xml_node documentElement(const pugi::xml_document& doc) {
  return doc.find_child([](pugi::xml_node n) { return n.type() == pugi::node_element; });
}

std::string readBytes(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) fail(path, std::strerror(errno));
  std::string bytes;
  char buffer[4096];
  for (;;) {
    const ssize_t got = read(fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      const int error = errno;
      close(fd);
      fail(path, std::strerror(error));
    }
    if (got == 0) break;
    bytes.append(buffer, static_cast<std::size_t>(got));
  }
  close(fd);
  return bytes;
}

bool isXmlBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// Length of the UTF-8 byte order mark and the XML declaration at the start, 0 without them.
std::size_t prefixLength(std::string_view bytes) {
  std::size_t at = bytes.starts_with("\xEF\xBB\xBF") ? 3 : 0;
  const std::string_view rest = bytes.substr(at);
  if (rest.size() > 5 && rest.starts_with("<?xml") && isXmlBlank(rest[5])) {
    const std::size_t end = rest.find("?>");
    if (end != std::string_view::npos) at += end + 2;
  }
  return at;
}

Encoding encodingOf(const pugi::xml_document& strict, bool declarationAtStart,
                    const std::string& path) {
  pugi::xml_node declaration;
  for (pugi::xml_node node : strict.children())
    if (node.type() == pugi::node_declaration) {
      // Anywhere but the start it would be lost with the tree that leaves it out.
      if (declaration || !declarationAtStart || node != strict.first_child())
        fail(path, "XML declaration not at the start of the document");
      declaration = node;
    }
  const std::string name = declaration.attribute("encoding").value();
  if (name.empty()) return Encoding::Utf8;  // XML's default
  for (const char* gbk : {"GB2312", "GBK", "GB18030", "CP936"})
    if (platform::equalsIgnoreCase(name, gbk)) return Encoding::Gbk;
  if (platform::equalsIgnoreCase(name, "UTF-8") || platform::equalsIgnoreCase(name, "UTF8"))
    return Encoding::Utf8;
  fail(path, "unsupported encoding " + name);
}

// pugixml accepts several elements and stray text at document level; XML does not.
void checkDocumentLevel(const pugi::xml_document& doc, const std::string& path) {
  int elements = 0;
  for (pugi::xml_node node : doc.children()) {
    if (node.type() == pugi::node_element) ++elements;
    const bool text = node.type() == pugi::node_pcdata || node.type() == pugi::node_cdata;
    if (text &&
        (node.type() == pugi::node_cdata ||
         std::string_view(node.value()).find_first_not_of(" \t\r\n") != std::string_view::npos))
      fail(path, "text outside the document element");
  }
  if (elements != 1)
    fail(path, elements == 0 ? "No document element found" : "more than one document element");
}

// True when the element's start tag at `offset` (its name) ends with "/>".
bool isEmptyElementTag(std::string_view bytes, std::size_t offset) {
  char quote = 0;
  for (std::size_t at = offset; at < bytes.size(); ++at) {
    const char c = bytes[at];
    if (quote) {
      if (c == quote) quote = 0;
    } else if (c == '"' || c == '\'') {
      quote = c;
    } else if (c == '>') {
      return at > 0 && bytes[at - 1] == '/';
    }
  }
  return false;
}

// pugixml writes every childless element as <x/>; an empty text child makes it write
// <x></x> where the file had that. Attributes come back in double quotes, so a '"' of a
// single-quoted value becomes a reference.
void keepTagForms(pugi::xml_document& doc, std::string_view bytes) {
  std::vector<pugi::xml_node> openClose;
  std::vector<pugi::xml_node> elements;
  struct Walker : pugi::xml_tree_walker {
    std::vector<pugi::xml_node>* found;
    bool for_each(pugi::xml_node& node) override {
      if (node.type() == pugi::node_element) found->push_back(node);
      return true;
    }
  } walker;
  walker.found = &elements;
  doc.traverse(walker);
  for (pugi::xml_node element : elements) {
    const std::ptrdiff_t offset = element.offset_debug();
    if (!element.first_child() && offset >= 0 &&
        !isEmptyElementTag(bytes, static_cast<std::size_t>(offset)))
      openClose.push_back(element);
    for (pugi::xml_attribute attribute : element.attributes()) {
      std::string value = attribute.value();
      if (value.find('"') == std::string::npos) continue;
      std::string quoted;
      for (char c : value) quoted += c == '"' ? std::string("&quot;") : std::string(1, c);
      attribute.set_value(quoted.c_str());
    }
  }
  for (pugi::xml_node element : openClose) element.append_child(pugi::node_pcdata);
}

// XML's line-end rule: CR LF and a lone CR read as LF.
std::string normalizeLineEnds(std::string_view text) {
  std::string out;
  for (std::size_t at = 0; at < text.size(); ++at) {
    if (text[at] != '\r') {
      out += text[at];
    } else {
      out += '\n';
      if (at + 1 < text.size() && text[at + 1] == '\n') ++at;
    }
  }
  return out;
}

void appendUtf8(std::string& out, unsigned long cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | cp >> 6);
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | cp >> 12);
    out += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | cp >> 18);
    out += static_cast<char>(0x80 | (cp >> 12 & 0x3F));
    out += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

// The code point of a character reference body ("#65", "#x41"), 0 when it is not one.
unsigned long characterReference(std::string_view body) {
  if (body.size() < 2 || body[0] != '#') return 0;
  const bool hex = body[1] == 'x';
  const std::string_view digits = body.substr(hex ? 2 : 1);
  if (digits.empty() || digits.size() > 8) return 0;
  unsigned long cp = 0;
  for (char c : digits) {
    int v = -1;
    if (c >= '0' && c <= '9')
      v = c - '0';
    else if (hex && c >= 'a' && c <= 'f')
      v = c - 'a' + 10;
    else if (hex && c >= 'A' && c <= 'F')
      v = c - 'A' + 10;
    if (v < 0) return 0;
    cp = cp * (hex ? 16 : 10) + static_cast<unsigned long>(v);
  }
  const bool surrogate = cp >= 0xD800 && cp <= 0xDFFF;
  return cp <= 0x10FFFF && !surrogate ? cp : 0;
}

// The predefined entities and character references of UTF-8 text; anything else stays as
// written, as pugixml's own unescaping leaves it.
std::string decodeReferences(std::string_view text) {
  static constexpr std::pair<std::string_view, char> kEntities[] = {
      {"lt", '<'}, {"gt", '>'}, {"amp", '&'}, {"quot", '"'}, {"apos", '\''}};
  std::string out;
  for (std::size_t at = 0; at < text.size(); ++at) {
    const std::size_t semicolon = text[at] == '&' ? text.find(';', at) : std::string_view::npos;
    if (semicolon == std::string_view::npos) {
      out += text[at];
      continue;
    }
    const std::string_view body = text.substr(at + 1, semicolon - at - 1);
    bool decoded = false;
    for (const auto& [name, c] : kEntities) {
      if (body != name) continue;
      out += c;
      decoded = true;
    }
    if (const unsigned long cp = decoded ? 0 : characterReference(body)) {
      appendUtf8(out, cp);
      decoded = true;
    }
    if (decoded) {
      at = semicolon;
    } else {
      out += '&';
    }
  }
  return out;
}

// The element's character data (its text and CDATA children) as GBK.
std::string elementText(pugi::xml_node element, Encoding encoding, const std::string& path) {
  std::string utf8;
  for (pugi::xml_node child : element.children()) {
    if (child.type() != pugi::node_pcdata && child.type() != pugi::node_cdata) continue;
    std::string raw = child.value();
    if (encoding == Encoding::Gbk) {
      const auto converted = platform::gbkToUtf8(raw);
      if (!converted) fail(path, std::string(element.name()) + " is not GBK text");
      raw = *converted;
    }
    raw = normalizeLineEnds(raw);
    utf8 += child.type() == pugi::node_pcdata ? decodeReferences(raw) : raw;
  }
  const auto gbk = platform::utf8ToGbk(utf8);
  if (!gbk) fail(path, std::string(element.name()) + " does not convert to GBK");
  return *gbk;
}

// GBK text as element content of the file: escaped (a CR as a reference, so that it reads
// back as CR) and in the file's encoding. Trail bytes of GBK are never '&', '<', '>' or CR.
std::string encodeText(const std::string& gbk, Encoding encoding, const std::string& path) {
  std::string escaped;
  for (char c : gbk) {
    if (c == '&')
      escaped += "&amp;";
    else if (c == '<')
      escaped += "&lt;";
    else if (c == '>')
      escaped += "&gt;";
    else if (c == '\r')
      escaped += "&#13;";
    else
      escaped += c;
  }
  // Refused even where it would be stored as it stands: the next read could not decode it.
  const auto utf8 = platform::gbkToUtf8(escaped);
  if (!utf8) fail(path, "the text to store is not GBK");
  return encoding == Encoding::Gbk ? escaped : *utf8;
}

// The element's content becomes the text alone; an empty text keeps the tag form it had.
void setElementText(pugi::xml_node element, const std::string& text) {
  const bool hadContent = static_cast<bool>(element.first_child());
  while (element.first_child()) element.remove_child(element.first_child());
  if (!text.empty() || hadContent) element.append_child(pugi::node_pcdata).set_value(text.c_str());
}

std::string decipherOrEmpty(const std::string& hex) {
  try {
    return DecryptText(hex, kCredentialKey);
  } catch (const LauncherError&) {
    return {};
  }
}

// Owner-only from the first byte on, since the file holds the database account.
void replaceFile(const std::string& path, const std::string& bytes) {
  const std::string error = platform::replaceFileAtomically(path, bytes, S_IRUSR | S_IWUSR);
  if (!error.empty()) fail(path, error);
}

struct StringWriter : pugi::xml_writer {
  std::string out;
  void write(const void* data, std::size_t size) override {
    out.append(static_cast<const char*>(data), size);
  }
};

}  // namespace

struct TCredentialFile::Impl {
  std::string path;
  std::string prefix;  // byte order mark and declaration, written back verbatim
  Encoding encoding = Encoding::Utf8;
  pugi::xml_document doc;
  std::string user;      // decoded texts of the elements, empty when absent
  std::string password;  // still enciphered

  // Looking an element up adds it, empty, when it is missing.
  pugi::xml_node element(const char* name) {
    pugi::xml_node root = documentElement(doc);
    pugi::xml_node found = root.child(name);
    return found ? found : root.append_child(name);
  }
};

std::string CredentialFilePath(const std::string& appDir) {
  return platform::joinPath(appDir, kCredentialFileName);
}

TCredentialFile::TCredentialFile(const std::string& appDir) : impl_(std::make_unique<Impl>()) {
  Impl& d = *impl_;
  d.path = CredentialFilePath(appDir);
  const std::string bytes = readBytes(d.path);

  // The strict parse reports what pugixml finds not well-formed and reads the declaration.
  pugi::xml_document strict;
  const pugi::xml_parse_result checked =
      strict.load_buffer(bytes.data(), bytes.size(), kStrictParse, pugi::encoding_utf8);
  if (!checked) failParsing(d.path, checked);
  const std::size_t prefix = prefixLength(bytes);
  d.prefix = bytes.substr(0, prefix);
  d.encoding = encodingOf(strict, d.prefix.ends_with("?>"), d.path);

  const pugi::xml_parse_result edited =
      d.doc.load_buffer(bytes.data(), bytes.size(), kEditParse, pugi::encoding_utf8);
  if (!edited) failParsing(d.path, edited);
  checkDocumentLevel(d.doc, d.path);
  keepTagForms(d.doc, bytes);

  // Decoded now, so that every unreadable file is reported by loading.
  const pugi::xml_node root = documentElement(d.doc);
  if (pugi::xml_node user = root.child(kUserElement))
    d.user = elementText(user, d.encoding, d.path);
  if (pugi::xml_node pass = root.child(kPasswordElement))
    d.password = elementText(pass, d.encoding, d.path);
}

TCredentialFile::~TCredentialFile() = default;
TCredentialFile::TCredentialFile(TCredentialFile&&) noexcept = default;
TCredentialFile& TCredentialFile::operator=(TCredentialFile&&) noexcept = default;

const std::string& TCredentialFile::path() const { return impl_->path; }

StoredCredentials TCredentialFile::Read() {
  impl_->element(kUserElement);
  impl_->element(kPasswordElement);
  return {impl_->user, decipherOrEmpty(impl_->password)};
}

void TCredentialFile::Rewrite(const std::string& user, const std::string& password) {
  Impl& d = *impl_;
  const std::string userText = encodeText(user, d.encoding, d.path);
  const std::string passwordText = EncryptText(password, kCredentialKey);  // hex: ASCII
  setElementText(d.element(kUserElement), userText);
  setElementText(d.element(kPasswordElement), passwordText);
  d.user = user;
  d.password = passwordText;

  StringWriter writer;
  d.doc.save(writer, "", kRawFormat, pugi::encoding_utf8);
  replaceFile(d.path, d.prefix + writer.out);
}

StoredCredentials LoadStoredCredentials(const std::string& appDir) {
  TCredentialFile file(appDir);
  return {Trim(file.impl_->user), decipherOrEmpty(Trim(file.impl_->password))};
}

}  // namespace launcher
