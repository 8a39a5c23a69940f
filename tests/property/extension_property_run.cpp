// Property run of nxclass.pbx, built with AddressSanitizer and
// UndefinedBehaviorSanitizer: every global function and every method of every
// class that the library's own description declares is called through the
// host with hostile arguments of its declared types, in a seeded random order,
// on objects kept across calls and now and then destroyed and made again.
// Every call must return, answer 0, throw nothing inside the library but
// bad_alloc, and leave only results the class description allows.
//
//   extension_property_run [--seed=N] [--calls=N] [--seconds=N] [--trace]
//                          [--library=PATH]
//
// The seed may also come from NORVEX_PROPERTY_SEED; the run prints it and the
// count of calls, so that a failure can be replayed.
#include <cxxabi.h>
#include <dlfcn.h>
#include <sanitizer/common_interface_defs.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <typeinfo>
#include <vector>

#include "host/host.h"
#include "platform/gbk_text.h"
#include "tests/property/hostile_values.h"
#include "tests/property/sandbox.h"

using host::ValueType;

// fontconfig's FcInit leaves a few hundred bytes of its configuration
// unreachable, whoever calls it. libpam 1.5.2 loses 96 bytes in every
// pam_start_confdir that finds no rules (the sandbox's PAM folder is empty),
// also in a C program that only calls pam_start_confdir.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\nleak:libpam.so\n";
}

namespace {

// ---- Exceptions thrown inside the library --------------------------------
// The frame catches everything at its entry points, so an exception there
// silently drops a result. Only running out of memory may do that.

std::atomic<bool> insideLibrary{false};
std::vector<std::string> thrownInside;

std::string demangled(const char* name) {
  int status = 0;
  char* readable = abi::__cxa_demangle(name, nullptr, nullptr, &status);
  std::string out = status == 0 && readable != nullptr ? readable : name;
  std::free(readable);
  return out;
}

}  // namespace

// The type is a std::type_info; GCC's own declaration says void*.
extern "C" void __cxa_throw(void* object, void* type, void (*destroy)(void*)) {
  using Throw = void (*)(void*, void*, void (*)(void*));
  static const auto next = reinterpret_cast<Throw>(dlsym(RTLD_NEXT, "__cxa_throw"));
  const auto* thrown = static_cast<const std::type_info*>(type);
  void* probe = object;
  if (insideLibrary && !typeid(std::bad_alloc).__do_catch(thrown, &probe, 1))
    thrownInside.push_back(demangled(thrown->name()));
  next(object, type, destroy);
  std::abort();  // the real one never returns
}

namespace {

// ---- What the class description allows beyond its declarations ---------

struct Named {
  const char* owner;  // class, or "" for a global function
  const char* name;
};

// Methods declared without an operation: they set nothing at all.
constexpr Named kWithoutOperation[] = {
    {"n_cst_gbtobig5", "of_isgb"},
    {"c_n_form_where", "of_SetDw"},
    {"n_cst_dwsrc", "of_addcolFromtemple"},
    {"n_cst_dwsrc", "of_Settable"},
    {"n_cst_dwsrc", "of_SetWhere"},
    {"n_cst_dwsrc", "of_Add_UpdateSet"},
    {"n_cst_dwsrc", "of_GetUpdateSQL"},
    {"n_cst_dwsrc", "of_GetInsertSQL"},
    {"n_get_sql", "of_Settable"},
    {"n_cst_dbfunc", "of_ConnectServer"},
    {"n_cst_dbfunc", "of_ConnectAccess"},
    {"n_cst_dbfunc", "of_addUser"},
    {"n_cst_dbfunc", "of_delUser"},
    {"n_cst_dbfunc", "of_changePassword"},
    {"n_cst_dbfunc", "of_rename"},
    {"n_cst_dbfunc", "of_restoredb"},
    {"n_cst_dbfunc", "gf_ExportMydwFile"},
    {"n_cst_dbfunc", "gf_ExportMydw"},
    {"n_cst_dbfunc", "gf_ImportMydwFile"},
    {"n_cst_dbfunc", "gf_ImportMydw"},
    {"n_cst_dbfunc", "gf_ImportNewTableToDB"},
    {"n_cst_dbfunc", "gf_UpdateNewTable"},
    {"n_cst_dbfunc", "of_CreateOrAlterObject"},
    {"n_cst_dbfunc", "of_GetPBCreateObjSQL"},
    {"n_cst_dbfunc", "of_GetObjSyntax"},
    {"", "gf_GetPBXVer"},
    {"", "gf_stop_process"},
};

// Declared classes without an entry in the class-name table.
constexpr const char* kNotCreatable[] = {"n_get_sql"};

// Results of another type than the declared one, on purpose: the client
// scripts test them so.
struct Delivered {
  Named method;
  std::size_t arguments;
  ValueType type;
};
constexpr Delivered kDeliveredTypes[] = {
    {{"", "gf_addline"}, 2, ValueType::String},
    {{"", "gf_intToDateTime"}, 4, ValueType::DateTime},
    {{"c_n_form_where", "of_add_havingons"}, 2, ValueType::Int},
    {{"c_n_form_where", "of_replacesq"}, 2, ValueType::Int},
    {{"c_n_form_where", "of_retrieve"}, 3, ValueType::Int},
    {{"n_create_sql", "of_AddUpdateSet"}, 3, ValueType::Int},
};

// A few values the functions promise, checked whenever a result is set.
struct Outcome {
  const host::CallResult& after;
  const host::Value& result() const { return after.result; }
  // Arguments that are not by reference come back as they went.
  const host::Value& argument(std::size_t i) const { return after.args[i]; }
};
using Check = bool (*)(const Outcome&);

template <int... Allowed>
bool oneOf(const Outcome& o) {
  return ((o.result().integer() == Allowed) || ...);
}

template <int Low, int High>
bool between(const Outcome& o) {
  return o.result().integer() >= Low && o.result().integer() <= High;
}

bool isWhite(char c) { return c == ' ' || (c >= 8 && c <= 13); }

struct Invariant {
  Named method;
  Check holds;
  const char* rule;
};
const Invariant kInvariants[] = {
    {{"", "gf_addstring"}, oneOf<1>, "answers 1"},
    {{"", "gf_addstring_and"}, oneOf<1>, "answers 1"},
    {{"", "gf_addstring_list"}, oneOf<1>, "answers 1"},
    {{"", "gf_replace"}, oneOf<0, 1>, "answers 0 or 1"},
    {{"", "gf_replaceall"}, oneOf<0, 1>, "answers 0 or 1"},
    {{"", "gf_writefile"}, oneOf<1, -1, -2>, "answers 1, -1 or -2"},
    {{"", "gf_createfile"}, oneOf<1, -1>, "answers 1 or -1"},
    {{"", "gf_dispdatabytext"}, oneOf<0>, "sets only 0"},
    // The sandbox offers nothing executable.
    {{"", "gf_run_process"}, oneOf<-1>, "starts nothing here"},
    {{"", "gf_is_running"}, between<-1, 32767>, "a 16-bit process id, 0 or -1"},
    {{"", "gf_GetSessionID"}, between<1, 32767>, "a positive 16-bit process id"},
    {{"", "FindWindow"}, oneOf<0>, "finds no window without a display"},
    {{"", "gf_booltochar"},
     [](const Outcome& o) { return o.result().text() == "Y" || o.result().text() == "N"; },
     "answers Y or N"},
    {{"", "gf_trim"},
     [](const Outcome& o) {
       const std::string& t = o.result().text();
       return t.empty() || (!isWhite(t.front()) && !isWhite(t.back()));
     },
     "leaves no white byte at either end"},
    {{"", "gf_getmonthfirstday"},
     [](const Outcome& o) { return o.result().dateValue().day == 1; },
     "answers day 1"},
    {{"", "GetModuleHandle"},
     [](const Outcome& o) { return !o.argument(0).isNull() || o.result().integer() != 0; },
     "finds the program for a null name"},
    {{"c_n_form_where", "of_add_ons"}, oneOf<0, 1>, "answers 0 or 1"},
    {{"c_n_form_where", "of_del_ons"}, oneOf<-1, 0, 1>, "answers -1, 0 or 1"},
    {{"c_n_form_where", "of_add_havingons"}, oneOf<0, 1>, "answers 0 or 1"},
    {{"c_n_form_where", "of_del_havingons"}, oneOf<-1, 1>, "answers -1 or 1"},
    {{"c_n_form_where", "of_addcol"}, oneOf<0, 1>, "answers 0 or 1"},
    {{"c_n_form_where", "of_changecol"}, oneOf<-1, 0, 1>, "answers -1, 0 or 1"},
    {{"n_create_sql", "of_AddUpdateSet"}, oneOf<-1, 0, 1>, "answers -1, 0 or 1"},
    {{"n_cst_textToJpg", "of_SaveBmp"}, oneOf<-1, 1>, "answers 1 or -1"},
    {{"n_cst_textToJpg", "of_SetText"}, oneOf<-1, 1>, "answers 1 or -1"},
    {{"n_cst_textToJpg", "of_GetHeight"}, between<0, 32767>, "a 16-bit height"},
    // Nothing listens where the sandbox lets it connect.
    {{"n_cst_dbfunc", "of_ConnectMySQL"}, oneOf<-2, -3>, "never connects here"},
    {{"n_cst_dbfunc", "of_AutoConnect"}, oneOf<0, -1>, "never connects here"},
};

// Arguments the sandbox supplies, so that nothing reaches past it.
// A picture's width is held to 2000 pixels (0 and negative widths stay): at
// the 16-bit maximum each object could keep two pictures of 4 GB.
enum class Guard { FileName, Program, Server, Port, PictureWidth };
struct Guarded {
  Named method;
  std::size_t position;
  Guard guard;
};
constexpr Guarded kGuarded[] = {
    {{"", "gf_writefile"}, 0, Guard::FileName},
    {{"", "gf_readfiletostring"}, 0, Guard::FileName},
    {{"", "gf_createfile"}, 0, Guard::FileName},
    {{"", "gf_run_process"}, 0, Guard::Program},
    {{"", "gf_RunAs"}, 2, Guard::Program},
    {{"n_cst_textToJpg", "of_SaveBmp"}, 0, Guard::FileName},
    {{"n_cst_textToJpg", "of_SetJpgWidth"}, 0, Guard::PictureWidth},
    {{"n_cst_dbfunc", "of_ConnectMySQL"}, 0, Guard::Server},
    {{"n_cst_dbfunc", "of_ConnectMySQL"}, 4, Guard::Port},
};

// ---- The run -------------------------------------------------------------

class PropertyFailure : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct Options {
  std::uint64_t seed = 20240611;
  std::size_t calls = 16000;
  double seconds = 60;
  bool trace = false;
  std::string library = NXCLASS_PATH;
};

// One declared function or method; `block` is null for a global function.
struct Target {
  const host::ClassBlock* block = nullptr;
  std::size_t id = 0;
  const host::Method* method = nullptr;
  std::string owner;  // class name or ""
  bool withoutOperation = false;
  std::optional<ValueType> resultType;
  std::vector<const Invariant*> invariants;
  std::vector<std::optional<Guard>> guards;  // one per parameter
  std::size_t calls = 0;
};

bool names(const Named& named, const std::string& owner, const std::string& method) {
  return platform::equalsIgnoreCase(named.owner, owner) &&
         platform::equalsIgnoreCase(named.name, method);
}

std::optional<ValueType> declaredType(const std::string& declared) {
  static const std::map<std::string, std::optional<ValueType>> kTypes = {
      {"", std::nullopt},
      {"void", std::nullopt},
      {"string", ValueType::String},
      {"integer", ValueType::Int},
      {"int", ValueType::Int},
      {"long", ValueType::Long},
      {"ulong", ValueType::Ulong},
      {"boolean", ValueType::Boolean},
      {"decimal", ValueType::Decimal},
      {"date", ValueType::Date},
      {"datetime", ValueType::DateTime},
      {"powerobject", ValueType::Object},
  };
  auto found = kTypes.find(platform::lowerAscii(declared));
  if (found == kTypes.end()) throw PropertyFailure("no value type for declared type " + declared);
  return found->second;
}

std::string describeValue(const host::Value& v) {
  if (v.isNull()) return std::string("null ") + host::typeName(v.type());
  switch (v.type()) {
    case ValueType::String:
    case ValueType::Decimal:
      return std::string(host::typeName(v.type())) + "[" + std::to_string(v.text().size()) + "]";
    case ValueType::Int:
    case ValueType::Long:
    case ValueType::Ulong:
    case ValueType::Boolean:
      return std::string(host::typeName(v.type())) + " " + std::to_string(v.integer());
    case ValueType::Date:
      return "date " + host::formatDate(v.dateValue());
    case ValueType::DateTime:
      return "datetime " + host::formatDateTime(v.dateTimeValue());
    case ValueType::Object:
      return "object";
    case ValueType::StringArray:
      return "string[" + std::to_string(v.items().size()) + " items]";
  }
  return "?";
}

class Run {
 public:
  Run(const Options& options, property::Sandbox& sandbox)
      : options_(options),
        rng_(options.seed),
        values_(rng_),
        sandbox_(sandbox),
        host_(options.library) {
    collectTargets();
    for (int i = 0; i < 6; ++i) addScriptedObject("dw" + std::to_string(i));
    sandbox_.writeRemoteConfig(values_);
  }

  // Calls until the count or the time is reached; false when time ran out first.
  bool execute() {
    const auto started = std::chrono::steady_clock::now();
    auto inTime = [&] {
      return std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count() <
             options_.seconds;
    };
    // Every target once first, so that nothing depends on the draw.
    std::vector<Target*> pass;
    for (Target& t : targets_) pass.push_back(&t);
    std::shuffle(pass.begin(), pass.end(), rng_);
    for (Target* target : pass) {
      if (!inTime()) return false;
      call(*target);
    }
    while (calls_ < options_.calls) {
      if (!inTime()) return false;
      const std::size_t action = values_.below(1000);
      if (action < 15) {
        replaceObject();
      } else if (action < 20) {
        sandbox_.writeRemoteConfig(values_);
      } else if (action < 25) {
        createByOddName();
      } else if (action < 28) {
        addScriptedObject("dw" + std::to_string(values_.below(6)));
      } else {
        call(targets_[values_.below(targets_.size())]);
      }
    }
    return true;
  }

  void requireEveryTargetCalled() const {
    for (const Target& t : targets_)
      if (t.calls == 0) throw PropertyFailure("never called: " + label(t) + "; raise --calls");
  }

  std::size_t calls() const { return calls_; }
  std::size_t creates() const { return creates_; }
  std::size_t targets() const { return targets_.size(); }
  const std::string& current() const { return current_; }
  std::atomic<std::int64_t>& callStarted() { return callStarted_; }

 private:
  static std::string label(const Target& t) {
    return (t.owner.empty() ? std::string() : t.owner + ".") + t.method->name + "/" +
           std::to_string(t.method->parameters.size());
  }

  void collectTargets() {
    const host::Description& d = host_.description();
    for (const host::ClassBlock& block : d.classes) {
      const bool creatable =
          std::none_of(std::begin(kNotCreatable), std::end(kNotCreatable),
                       [&](const char* n) { return platform::equalsIgnoreCase(n, block.name); });
      const PBXRESULT code = host_.create(block.name, "probe");
      ++creates_;
      if (code != (creatable ? PBX_OK : PBX_E_NO_SUCH_CLASS) ||
          host_.hasObject("probe") != creatable)
        throw PropertyFailure("creating " + block.name + " answered " + std::to_string(code));
      host_.destroy("probe");
      if (!creatable) continue;
      for (std::size_t id = 0; id < block.methods.size(); ++id)
        targets_.push_back(makeTarget(&block, id, block.methods[id], block.name));
    }
    for (const host::Method& method : d.globals)
      targets_.push_back(makeTarget(nullptr, 0, method, ""));
    requireTablesDeclared(d);
  }

  Target makeTarget(const host::ClassBlock* block, std::size_t id, const host::Method& method,
                    const std::string& owner) {
    Target t;
    t.block = block;
    t.id = id;
    t.method = &method;
    t.owner = owner;
    for (const Named& n : kWithoutOperation) t.withoutOperation |= names(n, owner, method.name);
    t.resultType = declaredType(method.returnType);
    for (const Delivered& d : kDeliveredTypes)
      if (names(d.method, owner, method.name) && d.arguments == method.parameters.size())
        t.resultType = d.type;
    for (const Invariant& i : kInvariants)
      if (names(i.method, owner, method.name)) t.invariants.push_back(&i);
    t.guards.resize(method.parameters.size());
    for (const Guarded& g : kGuarded)
      if (names(g.method, owner, method.name) && g.position < t.guards.size())
        t.guards[g.position] = g.guard;
    for (const host::Parameter& p : method.parameters) declaredType(p.type);
    return t;
  }

  // A table row that names nothing declared would silently check nothing,
  // and a guard that lost its function would let random names through.
  void requireTablesDeclared(const host::Description& d) const {
    auto declared = [&](const Named& n, std::optional<std::size_t> position = {}) {
      const std::vector<host::Method>* methods = &d.globals;
      if (*n.owner != '\0') {
        const host::ClassBlock* block = d.findClass(n.owner);
        if (block == nullptr) return false;
        methods = &block->methods;
      }
      return std::any_of(methods->begin(), methods->end(), [&](const host::Method& m) {
        return platform::equalsIgnoreCase(m.name, n.name) &&
               (!position || *position < m.parameters.size());
      });
    };
    auto require = [](bool holds, const Named& n) {
      if (!holds)
        throw PropertyFailure(std::string("the description lacks ") + n.owner + "." + n.name);
    };
    for (const Named& n : kWithoutOperation) require(declared(n), n);
    for (const Delivered& x : kDeliveredTypes) require(declared(x.method), x.method);
    for (const Invariant& i : kInvariants) require(declared(i.method), i.method);
    for (const Guarded& g : kGuarded) require(declared(g.method, g.position), g.method);
  }

  host::Value argumentFor(const Target& t, std::size_t position) {
    const host::Parameter& p = t.method->parameters[position];
    if (const std::optional<Guard> guard = t.guards[position]) {
      std::optional<std::string> text;
      switch (*guard) {
        case Guard::FileName:
          text = sandbox_.fileName(values_);
          break;
        case Guard::Program:
          text = sandbox_.programName(values_);
          if (text) sandbox_.refuseExecutable(*text);
          break;
        case Guard::Server:
          text = sandbox_.serverName(values_);
          break;
        case Guard::Port:
          return sandbox_.port(values_);
        case Guard::PictureWidth: {
          host::Value width = values_.int16();
          if (width.isNull() || width.integer() <= 2000) return width;
          return host::Value::int16(static_cast<pbint>(1 + width.integer() % 2000));
        }
      }
      return text ? host::Value::string(*text) : host::Value::null(ValueType::String);
    }
    if (platform::equalsIgnoreCase(p.type, "powerobject")) return hostObject();
    std::optional<host::Value> value = values_.of(p.type, p.isArray);
    if (!value) throw PropertyFailure("no hostile values of type " + p.type);
    return std::move(*value);
  }

  host::Value hostObject() {
    const std::size_t kind = values_.below(10);
    if (kind == 0) return host::Value::object(nullptr);
    if (kind == 1) return host::Value::null(ValueType::Object);
    return host::Value::object(host_.hostObject("dw" + std::to_string(values_.below(6)))->handle());
  }

  // A stand-in for a DataWindow: the extension asks it "describe" and
  // "modify", and it answers anything.
  void addScriptedObject(const std::string& name) {
    auto answer = [this]() -> std::optional<std::string> {
      switch (values_.below(8)) {
        case 0:
          return std::nullopt;
        case 1:
          return "!";
        case 2:
          return "?";
        case 3:
          return std::to_string(static_cast<int>(values_.rng()()));
        default:
          return values_.text();
      }
    };
    std::vector<host::ScriptedFunction> functions;
    static const std::vector<std::vector<std::string>> kFunctionSets = {
        {"describe", "modify"}, {"Describe", "Modify"}, {"describe"}, {}, {"evaluate", "modify2"}};
    for (const std::string& function : values_.pick(kFunctionSets)) {
      host::ScriptedFunction f{function, {}, answer()};
      for (const char* command :
           {"DataWindow.Column.Count", "DataWindow.Table.Filter", "DataWindow.Data", "#1.name"})
        if (values_.chance(0.5)) f.answers[command] = answer();
      functions.push_back(std::move(f));
    }
    host_.addScriptedObject(name, values_.chance(0.8) ? "u_dw" : values_.shortText(),
                            std::move(functions));
  }

  // Runs `body` as one call into the library: timed by the watchdog, and
  // with every exception thrown meanwhile recorded.
  template <class Body>
  auto guarded(Body body) {
    if (options_.trace) std::fprintf(stderr, "%s\n", current_.c_str());
    thrownInside.clear();
    callStarted_ = std::chrono::steady_clock::now().time_since_epoch().count();
    struct Leaving {
      Run& run;
      ~Leaving() {
        insideLibrary = false;
        run.callStarted_ = 0;
      }
    } leaving{*this};
    insideLibrary = true;
    auto result = body();
    if (!thrownInside.empty())
      throw PropertyFailure(current_ + " threw " + thrownInside.front() + " inside the library");
    return result;
  }

  std::string instanceFor(const Target& t) {
    const std::string name = t.owner + "#" + std::to_string(values_.below(3));
    if (!host_.hasObject(name)) create(t.owner, name);
    return name;
  }

  void create(const std::string& className, const std::string& name) {
    current_ = "create " + className;
    const PBXRESULT code = guarded([&] { return host_.create(className, name); });
    ++creates_;
    if (code != PBX_OK || !host_.hasObject(name))
      throw PropertyFailure("creating " + className + " answered " + std::to_string(code));
  }

  // Destroys an object and, half of the time, makes it again at once.
  void replaceObject() {
    const Target& t = targets_[values_.below(targets_.size())];
    if (t.block == nullptr) return;
    const std::string name = t.owner + "#" + std::to_string(values_.below(3));
    current_ = "destroy " + name;
    guarded([&] {
      host_.destroy(name);
      return 0;
    });
    if (values_.chance(0.5)) create(t.owner, name);
  }

  // A class name in other letter case, with something after a NUL (which the
  // library never sees), or with more bytes: created exactly when the text
  // up to a NUL names a creatable class, ignoring case.
  void createByOddName() {
    const host::ClassBlock& block =
        host_.description().classes[values_.below(host_.description().classes.size())];
    std::string name = block.name;
    switch (values_.below(3)) {
      case 0:
        for (char& c : name)
          if (values_.chance(0.5))
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        break;
      case 1:
        name += std::string(1, '\0') + values_.shortText();
        break;
      default:
        name += values_.text().value_or(" ");
        break;
    }
    const std::string seen = name.substr(0, name.find('\0'));
    const host::ClassBlock* named = host_.description().findClass(seen);
    const bool creatable =
        named != nullptr &&
        std::none_of(std::begin(kNotCreatable), std::end(kNotCreatable),
                     [&](const char* n) { return platform::equalsIgnoreCase(n, named->name); });
    current_ = "create by the name " + describeValue(host::Value::string(name));
    const PBXRESULT code = guarded([&] { return host_.create(name, "odd"); });
    ++creates_;
    if (code != (creatable ? PBX_OK : PBX_E_NO_SUCH_CLASS) || host_.hasObject("odd") != creatable)
      throw PropertyFailure(current_ + " answered " + std::to_string(code));
    host_.destroy("odd");
  }

  void call(Target& t) {
    std::vector<host::Value> args;
    for (std::size_t i = 0; i < t.method->parameters.size(); ++i) args.push_back(argumentFor(t, i));
    std::string target;
    std::function<host::CallResult()> invoke;
    if (t.block != nullptr) {
      target = instanceFor(t);
      // Only the low 16 bits of an id count.
      const pbmethodID id = static_cast<pbmethodID>(t.id) | (values_.chance(0.05) ? 0x50000u : 0u);
      invoke = [&, id] { return host_.callId(target, id, std::move(args)); };
    } else {
      target = t.method->name;
      if (values_.chance(0.1))
        for (char& c : target) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
      invoke = [&] { return host_.callFunction(target, std::move(args)); };
    }
    current_ = "#" + std::to_string(calls_) + " " + label(t) + " on " + target + " (";
    for (std::size_t i = 0; i < args.size(); ++i)
      current_ += (i > 0 ? ", " : "") + describeValue(args[i]);
    current_ += ")";
    const host::CallResult r = guarded(invoke);
    ++calls_;
    ++t.calls;
    checkOutcome(t, Outcome{r});
    if (std::any_of(t.guards.begin(), t.guards.end(),
                    [](const std::optional<Guard>& g) { return g == Guard::FileName; }))
      sandbox_.dropLargeFiles();
  }

  void checkOutcome(const Target& t, const Outcome& o) {
    auto fail = [&](const std::string& what) { throw PropertyFailure(current_ + ": " + what); };
    const host::CallResult& r = o.after;
    if (r.code != PBX_OK) fail("the entry point answered " + std::to_string(r.code));
    if (r.args.size() != t.method->parameters.size()) fail("the argument count changed");
    const bool setsNothing = t.withoutOperation || !t.resultType;
    if (r.result.wasSet()) {
      if (setsNothing) fail("a result was set");
      if (r.result.type() != *t.resultType)
        fail(std::string("the result is of type ") + host::typeName(r.result.type()) + ", not " +
             host::typeName(*t.resultType));
      for (const Invariant* i : t.invariants)
        if (!i->holds(o))
          fail(std::string("the result ") + describeValue(r.result) +
               " breaks the rule: " + i->rule);
    }
    for (std::size_t i = 0; i < r.args.size(); ++i) {
      const host::Parameter& p = t.method->parameters[i];
      if (!r.args[i].wasSet()) continue;
      if (!p.byReference || setsNothing) fail("argument " + p.name + " was written");
      const ValueType expected = p.isArray ? ValueType::StringArray : *declaredType(p.type);
      if (r.args[i].type() != expected)
        fail("argument " + p.name + " was written as " + host::typeName(r.args[i].type()));
    }
  }

  Options options_;
  property::Rng rng_;
  property::HostileValues values_;
  property::Sandbox& sandbox_;
  host::Host host_;
  std::vector<Target> targets_;
  std::size_t calls_ = 0;
  std::size_t creates_ = 0;
  std::string current_ = "loading the library";
  std::atomic<std::int64_t> callStarted_{0};
};

Run* running = nullptr;
std::uint64_t runningSeed = 0;

void reportCurrentCall() {
  if (running != nullptr)
    std::fprintf(stderr, "during %s (seed %llu)\n", running->current().c_str(),
                 static_cast<unsigned long long>(runningSeed));
}

Options parseOptions(int argc, char** argv) {
  Options options;
  if (const char* seed = std::getenv("NORVEX_PROPERTY_SEED"); seed != nullptr && *seed != '\0')
    options.seed = std::strtoull(seed, nullptr, 10);
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&](const char* prefix) -> const char* {
      return arg.rfind(prefix, 0) == 0 ? arg.c_str() + std::strlen(prefix) : nullptr;
    };
    if (const char* seed = value("--seed=")) {
      options.seed = std::strtoull(seed, nullptr, 10);
    } else if (const char* calls = value("--calls=")) {
      options.calls = std::strtoull(calls, nullptr, 10);
    } else if (const char* seconds = value("--seconds=")) {
      options.seconds = std::strtod(seconds, nullptr);
    } else if (const char* library = value("--library=")) {
      options.library = library;
    } else if (arg == "--trace") {
      options.trace = true;
    } else {
      std::fprintf(stderr,
                   "usage: %s [--seed=N] [--calls=N] [--seconds=N] [--trace] "
                   "[--library=PATH]\n",
                   argv[0]);
      std::exit(2);
    }
  }
  return options;
}

}  // namespace

int main(int argc, char** argv) {
  const Options options = parseOptions(argc, argv);
  runningSeed = options.seed;
  std::printf("seed %llu, at most %zu calls in %.0f s\n",
              static_cast<unsigned long long>(options.seed), options.calls, options.seconds);
  std::fflush(stdout);
  __sanitizer_set_death_callback(reportCurrentCall);
  // GCC's UBSan runtime is a library of its own, with its own callback.
  if (void* ubsan = dlopen("libubsan.so.1", RTLD_NOW | RTLD_NOLOAD)) {
    using SetCallback = void (*)(void (*)());
    if (auto set = reinterpret_cast<SetCallback>(dlsym(ubsan, "__sanitizer_set_death_callback")))
      set(reportCurrentCall);
  }
  // Kept mapped to the end, so that the leak check can name the frames of the
  // library, of what it links and of libpam, which it loads at each check.
  dlopen(options.library.c_str(), RTLD_NOW | RTLD_NODELETE);
  dlopen("libpam.so.0", RTLD_NOW | RTLD_NODELETE);

  constexpr auto kLongestCall = std::chrono::seconds(60);
  int status = 0;
  const auto started = std::chrono::steady_clock::now();
  {
    property::Sandbox sandbox;
    try {
      Run run(options, sandbox);
      running = &run;
      std::jthread watchdog([&run, kLongestCall](std::stop_token stop) {
        while (!stop.stop_requested()) {
          std::this_thread::sleep_for(std::chrono::milliseconds(200));
          const std::int64_t since = run.callStarted();
          if (since != 0 && std::chrono::steady_clock::now().time_since_epoch().count() - since >
                                std::chrono::nanoseconds(kLongestCall).count()) {
            std::fprintf(stderr, "a call did not return within %lld s\n",
                         static_cast<long long>(kLongestCall.count()));
            reportCurrentCall();
            std::abort();
          }
        }
      });
      const bool finished = run.execute();
      run.requireEveryTargetCalled();
      if (sandbox.programRan()) throw PropertyFailure("a program of the sandbox was started");
      const double seconds =
          std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
      std::printf(
          "seed %llu: %zu calls of %zu functions and methods, %zu objects created, "
          "in %.1f s%s\n",
          static_cast<unsigned long long>(options.seed), run.calls(), run.targets(), run.creates(),
          seconds, finished ? "" : " (stopped at the time limit)");
      std::fflush(stdout);  // the leak check ends the process with _exit
      running = nullptr;
    } catch (const PropertyFailure& failure) {
      std::fprintf(stderr, "property failed (seed %llu): %s\n",
                   static_cast<unsigned long long>(options.seed), failure.what());
      running = nullptr;
      status = 1;
    }
  }
  return status;
}
