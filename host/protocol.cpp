// Requests: describe, create, call (method by name or id, or a global
// function), destroy, hostobject. A value is {"type":T,"value":X},
// {"type":T,"null":true} or, for texts, {"type":"string","hex":"..."}; an
// object value names a host object.
#include "host/protocol.h"

#include <cstdio>
#include <limits>
#include <nlohmann/json.hpp>
#include <optional>

#include "platform/des_ecb.h"
#include "platform/gbk.h"

namespace host {
namespace {

// Keys keep the order they are written in, as the protocol shows them.
using json = nlohmann::ordered_json;

class RequestError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

std::string fromHex(const std::string& hex) {
  const auto nibble = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  if (hex.size() % 2 != 0) throw RequestError("hex text of odd length");
  std::string bytes;
  for (std::size_t i = 0; i < hex.size(); i += 2) {
    const int high = nibble(hex[i]), low = nibble(hex[i + 1]);
    if (high < 0 || low < 0) throw RequestError("bad hex digit");
    bytes += static_cast<char>(high * 16 + low);
  }
  return bytes;
}

// UTF-8 for display; bytes that are no GBK character become U+FFFD.
std::string lossyUtf8(const std::string& bytes) {
  std::string out;
  for (std::size_t i = 0; i < bytes.size();) {
    const auto b = static_cast<unsigned char>(bytes[i]);
    const std::size_t width = (b >= 0x81 && b <= 0xfe && i + 1 < bytes.size()) ? 2 : 1;
    if (auto piece = platform::gbkToUtf8(std::string_view(bytes).substr(i, width))) {
      out += *piece;
      i += width;
    } else {
      out += "\xef\xbf\xbd";
      i += 1;
    }
  }
  return out;
}

// Adds "value" and, when the bytes are not exactly GBK, "hex".
void putText(json& out, const std::string& bytes) {
  if (auto utf8 = platform::gbkToUtf8(bytes)) {
    out["value"] = *utf8;
  } else {
    out["value"] = lossyUtf8(bytes);
    out["hex"] = platform::toLowerHex(bytes);
  }
}

std::string textOf(const json& value, const json* hex) {
  if (hex != nullptr) {
    if (!hex->is_string()) throw RequestError("hex must be a text");
    return fromHex(hex->get<std::string>());
  }
  if (!value.is_string()) throw RequestError("value must be a text");
  auto gbk = platform::utf8ToGbk(value.get<std::string>());
  if (!gbk) throw RequestError("value is not GBK text: " + value.get<std::string>());
  return *gbk;
}

std::int64_t integerOf(const json& value, std::int64_t low, std::int64_t high) {
  if (!value.is_number_integer()) throw RequestError("value must be a whole number");
  const std::int64_t n =
      value.is_number_unsigned()
          ? static_cast<std::int64_t>(std::min<std::uint64_t>(
                value.get<std::uint64_t>(),
                static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())))
          : value.get<std::int64_t>();
  if (n < low || n > high) throw RequestError("value out of range: " + value.dump());
  return n;
}

Value dateOf(const json& value, bool withTime) {
  if (!value.is_string()) throw RequestError("value must be a text");
  const std::string text = value.get<std::string>();
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, consumed = 0;
  double second = 0;
  bool ok;
  if (withTime) {
    ok = std::sscanf(text.c_str(), "%4d-%2d-%2d %2d:%2d:%lf%n", &year, &month, &day, &hour, &minute,
                     &second, &consumed) == 6 &&
         static_cast<std::size_t>(consumed) == text.size() && hour >= 0 && hour < 24 &&
         minute >= 0 && minute < 60 && second >= 0 && second < 60;
  } else {
    ok = std::sscanf(text.c_str(), "%4d-%2d-%2d%n", &year, &month, &day, &consumed) == 3 &&
         static_cast<std::size_t>(consumed) == text.size();
  }
  if (!ok || !isCalendarDate(year, month, day)) throw RequestError("bad date: " + text);
  return withTime ? Value::dateTime(year, month, day, hour, minute, second)
                  : Value::date(year, month, day);
}

Value valueOf(const json& request, const Host& host) {
  if (!request.is_object() || !request.contains("type") || !request["type"].is_string()) {
    throw RequestError("a value needs a type");
  }
  ValueType type;
  if (!typeFromName(request["type"].get<std::string>(), &type)) {
    throw RequestError("unknown type " + request["type"].get<std::string>());
  }
  if (request.value("null", false)) return Value::null(type);
  const json* hex = request.contains("hex") ? &request["hex"] : nullptr;
  if (!request.contains("value") && hex == nullptr) throw RequestError("a value needs a value");
  const json& value = request.contains("value") ? request["value"] : request["hex"];
  switch (type) {
    case ValueType::String:
      return Value::string(textOf(value, hex));
    case ValueType::Int:
      return Value::int16(static_cast<pbint>(integerOf(value, -32768, 32767)));
    case ValueType::Long:
      return Value::long32(static_cast<pblong>(integerOf(value, INT32_MIN, INT32_MAX)));
    case ValueType::Ulong:
      return Value::ulong32(static_cast<pbulong>(integerOf(value, 0, UINT32_MAX)));
    case ValueType::Boolean:
      if (!value.is_boolean()) throw RequestError("value must be true or false");
      return Value::boolean(value.get<bool>());
    case ValueType::Decimal:
      if (value.is_number()) return Value::decimal(value.dump());
      if (!value.is_string()) throw RequestError("value must be a decimal text");
      return Value::decimal(value.get<std::string>());
    case ValueType::Date:
      return dateOf(value, false);
    case ValueType::DateTime:
      return dateOf(value, true);
    case ValueType::Object: {
      if (!value.is_string()) throw RequestError("value must name a host object");
      HostObject* object = host.hostObject(value.get<std::string>());
      if (object == nullptr) throw RequestError("no host object named " + value.get<std::string>());
      return Value::object(object->handle());
    }
    case ValueType::StringArray: {
      if (!value.is_array()) throw RequestError("value must be an array of texts");
      std::vector<std::string> items;
      for (const json& item : value)
        items.push_back(textOf(item, hex != nullptr ? &item : nullptr));
      return Value::stringArray(std::move(items));
    }
  }
  throw RequestError("unknown type");
}

json jsonOf(const Value& value, const std::map<pbobject, std::string>& objectNames) {
  json out;
  out["type"] = typeName(value.type());
  if (value.isNull()) {
    out["null"] = true;
    return out;
  }
  switch (value.type()) {
    case ValueType::String:
      putText(out, value.text());
      break;
    case ValueType::Int:
    case ValueType::Long:
    case ValueType::Ulong:
      out["value"] = value.integer();
      break;
    case ValueType::Boolean:
      out["value"] = value.flag();
      break;
    case ValueType::Decimal:
      out["value"] = lossyUtf8(value.text());
      break;
    case ValueType::Date:
      out["value"] = formatDate(value.dateValue());
      break;
    case ValueType::DateTime:
      out["value"] = formatDateTime(value.dateTimeValue());
      break;
    case ValueType::Object: {
      auto found = objectNames.find(value.objectValue());
      out["value"] = found != objectNames.end() ? found->second : "";
      break;
    }
    case ValueType::StringArray: {
      json items = json::array(), hexes = json::array();
      bool exact = true;
      for (const std::string& item : value.items()) {
        auto utf8 = platform::gbkToUtf8(item);
        exact = exact && utf8.has_value();
        items.push_back(utf8 ? *utf8 : lossyUtf8(item));
        hexes.push_back(platform::toLowerHex(item));
      }
      out["value"] = items;
      if (!exact) out["hex"] = hexes;
      break;
    }
  }
  return out;
}

// An answer of a scripted function: a text, or null for the null text.
std::optional<std::string> answerOf(const json& answer) {
  if (answer.is_null()) return std::nullopt;
  return textOf(answer, nullptr);
}

// {"answers":{FUNCTION:{COMMAND:ANSWER,...},...},"default":{FUNCTION:ANSWER,...}}:
// one function per name in either, in the order first named. A command not
// in the table gets the default, and without one the null text.
std::vector<ScriptedFunction> scriptedFunctionsOf(const json& request) {
  std::vector<ScriptedFunction> functions;
  const auto function = [&functions](const std::string& name) -> ScriptedFunction& {
    for (ScriptedFunction& f : functions)
      if (f.name == name) return f;
    functions.push_back({name, {}, std::nullopt});
    return functions.back();
  };
  if (request.contains("answers")) {
    const json& answers = request["answers"];
    if (!answers.is_object()) throw RequestError("answers must map functions to tables");
    for (const auto& [name, table] : answers.items()) {
      if (!table.is_object()) throw RequestError("answers of " + name + " must be an object");
      ScriptedFunction& f = function(name);
      for (const auto& [command, answer] : table.items()) {
        f.answers[textOf(json(command), nullptr)] = answerOf(answer);
      }
    }
  }
  if (request.contains("default")) {
    const json& defaults = request["default"];
    if (!defaults.is_object()) throw RequestError("default must map functions to answers");
    for (const auto& [name, answer] : defaults.items()) function(name).fallback = answerOf(answer);
  }
  if (functions.empty()) throw RequestError("a host object needs answers or a default");
  return functions;
}

json jsonOf(const Received& received) {
  json out;
  out["function"] = received.function;
  if (received.command) {
    json text;
    putText(text, *received.command);
    out["command"] = text["value"];
    if (text.contains("hex")) out["hex"] = text["hex"];
  } else {
    out["command"] = nullptr;
  }
  return out;
}

const std::string& stringField(const json& request, const char* name) {
  if (!request.contains(name) || !request[name].is_string()) {
    throw RequestError(std::string("request needs a text field \"") + name + "\"");
  }
  return request[name].get_ref<const std::string&>();
}

}  // namespace

std::string Protocol::handle(const std::string& line) {
  json reply;
  try {
    const json request = json::parse(line);
    if (!request.is_object()) throw RequestError("a request is a JSON object");
    const std::string& op = stringField(request, "op");
    if (op == "describe") {
      reply = {{"ok", true}, {"text", lossyUtf8(host_.descriptionText())}};
    } else if (op == "create") {
      const PBXRESULT code =
          host_.create(stringField(request, "class"), stringField(request, "as"));
      reply = {{"ok", true}, {"code", code}};
    } else if (op == "destroy") {
      const std::string& name = stringField(request, "object");
      if (!host_.hasObject(name)) throw RequestError("no object named " + name);
      host_.destroy(name);
      reply = {{"ok", true}};
    } else if (op == "hostobject") {
      const std::string& name = stringField(request, "as");
      const std::string& className = stringField(request, "class");
      host_.addScriptedObject(name, className, scriptedFunctionsOf(request));
      reply = {{"ok", true}};
    } else if (op == "call") {
      std::vector<Value> args;
      if (request.contains("args")) {
        if (!request["args"].is_array()) throw RequestError("args must be an array");
        for (const json& arg : request["args"]) args.push_back(valueOf(arg, host_));
      }
      CallResult result;
      if (request.contains("function")) {
        result = host_.callFunction(stringField(request, "function"), std::move(args));
      } else if (request.contains("id")) {
        result = host_.callId(stringField(request, "object"),
                              static_cast<pbmethodID>(integerOf(request["id"], 0, UINT32_MAX)),
                              std::move(args));
      } else {
        result = host_.call(stringField(request, "object"), stringField(request, "method"),
                            std::move(args));
      }
      std::map<pbobject, std::string> objectNames = host_.hostObjectNames();
      reply["ok"] = true;
      reply["code"] = result.code;
      reply["result"] = result.result.wasSet() ? jsonOf(result.result, objectNames) : json(nullptr);
      reply["args"] = json::array();
      for (const Value& arg : result.args) reply["args"].push_back(jsonOf(arg, objectNames));
      reply["messages"] = json::array();
      for (const Message& m : result.messages) {
        reply["messages"].push_back({{"caption", lossyUtf8(m.caption)},
                                     {"text", lossyUtf8(m.text)},
                                     {"icon", iconName(m.icon)}});
      }
      if (host_.hasScriptedObjects()) {
        reply["received"] = json::array();
        for (const Received& r : result.received) reply["received"].push_back(jsonOf(r));
      }
    } else {
      throw RequestError("unknown op " + op);
    }
  } catch (const std::exception& error) {
    reply = {{"ok", false}, {"error", error.what()}};
  }
  return reply.dump(-1, ' ', false, json::error_handler_t::replace);
}

}  // namespace host
