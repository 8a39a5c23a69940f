// The launcher's requests to the vendor's web service: the two text
// encodings, the two kinds of POST (PostForm for the branch query,
// VendorGet for the upload requests) and VendorRequest over the host list,
// whose answering host is remembered for the program's life. Any thread.
#pragma once

#include <atomic>
#include <chrono>
#include <string>
#include <string_view>

#include "launcher/core/app.h"

namespace launcher {

// Both kinds of request give up after this long.
inline constexpr std::chrono::milliseconds kVendorTimeLimit{20000};

// GBK text as UTF-8, with ASCII letters, digits and ! $ ' ( ) * - . @ _ kept,
// a blank as "+", every other byte as "%" and two lower-case hex digits.
std::string UrlEncodeUtf8(std::string_view gbk);
// The form encoding of a field value: * # % < > [ ] and the blank, and bytes
// outside 33 to 128, as "%" and two upper-case hex digits.
std::string FormEncode(std::string_view bytes);

// The bodies as sent. PostForm: the name before the first "=", the whole
// rest encoded as its value. VendorGet: split at "&" like a delimited list,
// each piece's value after its first "=" encoded, joined with "&".
std::string PostFormBody(std::string_view parameters);
std::string VendorGetBody(std::string_view parameters);

// "http://" + host + "/" + path for a host with a ".", otherwise the label
// completed with the vendor's domain and port 80.
std::string VendorUrl(const std::string& host, const std::string& path);

// The answer trimmed; empty when the request failed.
std::string PostForm(const std::string& url, const std::string& parameters,
                     const std::atomic<bool>* cancel = nullptr);
// The answer trimmed and converted from UTF-8 to GBK, or the failure's text.
std::string VendorGet(const std::string& host, const std::string& path,
                      const std::string& parameters, const std::atomic<bool>* cancel = nullptr);
// VendorGet on the host list until an answer begins with "OK" or "ER"; that
// host goes first from then on. Otherwise the last host's answer.
std::string VendorRequest(App& app, const std::string& path, const std::string& parameters);

// True for an answer of the service: it begins with "OK" or "ER".
bool ServiceAnswered(const std::string& answer);

}  // namespace launcher
