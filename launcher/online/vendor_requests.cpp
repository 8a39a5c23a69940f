#include "launcher/online/vendor_requests.h"

#include <vector>

#include "launcher/core/builtin.h"
#include "launcher/online/delimited_list.h"
#include "launcher/online/http_post.h"
#include "platform/gbk.h"

namespace launcher {
namespace {

void appendEscaped(std::string& out, unsigned char byte, const char* digits) {
  out += '%';
  out += digits[byte >> 4];
  out += digits[byte & 15];
}

bool keptByUrlEncoding(unsigned char byte) {
  if ((byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') ||
      (byte >= '0' && byte <= '9')) {
    return true;
  }
  for (const char kept : std::string_view("!$'()*-.@_")) {
    if (byte == static_cast<unsigned char>(kept)) return true;
  }
  return false;
}

// Name and encoded value of one "name=value" text.
std::string encodedField(std::string_view field) {
  const std::size_t equals = field.find('=');
  if (equals == std::string_view::npos) return std::string(field);
  return std::string(field.substr(0, equals + 1)) + FormEncode(field.substr(equals + 1));
}

}  // namespace

std::string UrlEncodeUtf8(std::string_view gbk) {
  // A text that is not GBK goes out as its own bytes.
  const std::string utf8 = platform::gbkToUtf8(gbk).value_or(std::string(gbk));
  std::string out;
  for (const char c : utf8) {
    const auto byte = static_cast<unsigned char>(c);
    if (keptByUrlEncoding(byte)) {
      out += c;
    } else if (byte == ' ') {
      out += '+';
    } else {
      appendEscaped(out, byte, "0123456789abcdef");
    }
  }
  return out;
}

std::string FormEncode(std::string_view bytes) {
  std::string out;
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 33 || byte > 128 || std::string_view("*#%<>[]").find(c) != std::string_view::npos) {
      appendEscaped(out, byte, "0123456789ABCDEF");
    } else {
      out += c;
    }
  }
  return out;
}

std::string PostFormBody(std::string_view parameters) {
  const std::size_t equals = parameters.find('=');
  if (equals == std::string_view::npos) return std::string(parameters) + "=";
  return encodedField(parameters);
}

std::string VendorGetBody(std::string_view parameters) {
  std::string body;
  bool first = true;
  for (const std::string& piece : SplitDelimited(parameters, '&')) {
    if (!first) body += '&';
    first = false;
    body += encodedField(piece);
  }
  return body;
}

std::string VendorUrl(const std::string& host, const std::string& path) {
  if (host.find('.') != std::string::npos) return "http://" + host + "/" + path;
  return "http://" + host + "." + builtin::VendorDomain() + ":80/" + path;
}

bool ServiceAnswered(const std::string& answer) {
  return answer.starts_with("OK") || answer.starts_with("ER");
}

std::string PostForm(const std::string& url, const std::string& parameters,
                     const std::atomic<bool>* cancel) {
  // Part of an answer could pass for a whole one (a cut branch name): a
  // failed request gives nothing.
  const HttpAnswer answer = HttpPost(url, PostFormBody(parameters), kVendorTimeLimit, cancel);
  return answer.answered ? Trim(answer.body) : std::string();
}

std::string VendorGet(const std::string& host, const std::string& path,
                      const std::string& parameters, const std::atomic<bool>* cancel) {
  const HttpAnswer answer =
      HttpPost(VendorUrl(host, path), VendorGetBody(parameters), kVendorTimeLimit, cancel);
  if (!answer.answered) return answer.error;
  const std::string text = Trim(answer.body);
  return platform::utf8ToGbk(text).value_or(text);
}

std::string VendorRequest(App& app, const std::string& path, const std::string& parameters) {
  const std::vector<std::string> labels = builtin::VendorHostLabels();
  std::string remembered = app.VendorHost.get();
  if (remembered.empty()) remembered = labels[0];
  const std::string hosts[] = {remembered, builtin::VendorFallback(), labels[1], labels[2]};
  std::string answer;
  for (const std::string& host : hosts) {
    answer = VendorGet(host, path, parameters, &app.Closing);
    if (ServiceAnswered(answer)) {
      app.VendorHost.set(host);
      break;
    }
    if (app.Closing) break;
  }
  return answer;
}

}  // namespace launcher
