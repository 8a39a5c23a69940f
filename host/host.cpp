// Loading an extension and calling into it.
#include "host/host.h"

#include <dlfcn.h>

namespace host {

const char* iconName(PBMessageIcon icon) {
  switch (icon) {
    case PBMessageIcon::Information:
      return "information";
    case PBMessageIcon::Warning:
      return "warning";
    case PBMessageIcon::Error:
      return "error";
    case PBMessageIcon::Question:
      return "question";
    case PBMessageIcon::None:
      break;
  }
  return "none";
}

struct Host::Loaded {
  void* handle = nullptr;
  PBX_GetDescription_t getDescription = nullptr;
  PBX_CreateNonVisualObject_t createObject = nullptr;
  PBX_InvokeGlobalFunction_t invokeGlobal = nullptr;

  explicit Loaded(const std::string& path) {
    handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) throw HostError(std::string("cannot load library: ") + dlerror());
    getDescription = reinterpret_cast<PBX_GetDescription_t>(entry("PBX_GetDescription"));
    createObject =
        reinterpret_cast<PBX_CreateNonVisualObject_t>(entry("PBX_CreateNonVisualObject"));
    invokeGlobal = reinterpret_cast<PBX_InvokeGlobalFunction_t>(entry("PBX_InvokeGlobalFunction"));
  }
  ~Loaded() { dlclose(handle); }
  Loaded(const Loaded&) = delete;
  Loaded& operator=(const Loaded&) = delete;

  void* entry(const char* name) {
    void* symbol = dlsym(handle, name);
    if (symbol == nullptr) {
      dlclose(handle);
      throw HostError(std::string("library lacks entry point ") + name);
    }
    return symbol;
  }
};

class Host::Collector final : public IPB_MessageHook {
 public:
  void Show(const char* caption, const char* text, PBMessageIcon icon) override {
    messages.push_back({caption != nullptr ? caption : "", text != nullptr ? text : "", icon});
  }
  std::vector<Message> messages;
};

Host::Host(const std::string& libraryPath)
    : library_(std::make_unique<Loaded>(libraryPath)), collector_(std::make_unique<Collector>()) {
  session_.setMessageHook(collector_.get());
  const char* text = library_->getDescription();
  descriptionText_ = text != nullptr ? text : "";
  description_ = parseDescription(descriptionText_);
}

Host::~Host() {
  for (auto& [name, instance] : objects_) instance.object->Destroy();
}

PBXRESULT Host::create(const std::string& className, const std::string& as) {
  IPBX_NonVisualObject* object = nullptr;
  const PBXRESULT code = library_->createObject(&session_, nullptr, className.c_str(), &object);
  session_.endCall();
  collector_->messages.clear();
  received_.clear();
  if (object != nullptr) {
    destroy(as);
    objects_[as] = {object, description_.findClass(className)};
  }
  return code;
}

void Host::destroy(const std::string& name) {
  auto found = objects_.find(name);
  if (found == objects_.end()) return;
  found->second.object->Destroy();
  objects_.erase(found);
}

const Host::ExtensionInstance& Host::instance(const std::string& name) const {
  auto found = objects_.find(name);
  if (found == objects_.end()) throw HostError("no object named " + name);
  return found->second;
}

CallResult Host::call(const std::string& object, const std::string& method,
                      std::vector<Value> args) {
  const ExtensionInstance& target = instance(object);
  if (target.block == nullptr) throw HostError("object " + object + " has no class block");
  std::optional<pbmethodID> id = findMethodId(*target.block, method, args.size());
  if (!id) {
    throw HostError("class " + target.block->name + " has no method " + method + " with " +
                    std::to_string(args.size()) + " arguments");
  }
  return invoke(target, *id, std::move(args));
}

CallResult Host::callId(const std::string& object, pbmethodID id, std::vector<Value> args) {
  const ExtensionInstance& target = instance(object);
  const std::size_t position = id & 0xffffu;
  if (target.block != nullptr && position < target.block->methods.size() &&
      target.block->methods[position].parameters.size() != args.size()) {
    throw HostError("method " + target.block->methods[position].name + " takes " +
                    std::to_string(target.block->methods[position].parameters.size()) +
                    " arguments");
  }
  return invoke(target, id, std::move(args));
}

namespace {

CallResult finish(PBXRESULT code, Arguments& arguments, Value& result,
                  std::vector<Message>& messages, std::vector<Received>& received) {
  CallResult out;
  out.code = code;
  out.result = std::move(result);
  out.args = std::move(arguments.values());
  out.messages = std::move(messages);
  messages.clear();
  out.received = std::move(received);
  received.clear();
  return out;
}

}  // namespace

CallResult Host::invoke(const ExtensionInstance& target, pbmethodID id, std::vector<Value> args) {
  Arguments arguments(std::move(args));
  Value result;
  PBCallInfo info{&arguments, &result, nullptr};
  const PBXRESULT code = target.object->Invoke(&session_, nullptr, id, &info);
  session_.endCall();
  return finish(code, arguments, result, collector_->messages, received_);
}

CallResult Host::callFunction(const std::string& name, std::vector<Value> args) {
  if (const Method* declared = description_.findGlobal(name);
      declared != nullptr && declared->parameters.size() != args.size()) {
    throw HostError("function " + declared->name + " takes " +
                    std::to_string(declared->parameters.size()) + " arguments");
  }
  Arguments arguments(std::move(args));
  Value result;
  PBCallInfo info{&arguments, &result, nullptr};
  const PBXRESULT code = library_->invokeGlobal(&session_, name.c_str(), &info);
  session_.endCall();
  return finish(code, arguments, result, collector_->messages, received_);
}

HostObject& Host::addHostObject(const std::string& name, std::unique_ptr<HostObject> object) {
  HostObject& added = *object;
  std::unique_ptr<HostObject>& slot = hostObjects_[name];
  if (slot != nullptr) replaced_.push_back(std::move(slot));
  slot = std::move(object);
  return added;
}

HostObject& Host::addScriptedObject(const std::string& name, const std::string& className,
                                    std::vector<ScriptedFunction> functions) {
  std::vector<HostFunction> bodies;
  for (ScriptedFunction& scripted : functions) {
    std::string functionName = scripted.name;
    auto body = [this, function = std::move(scripted)](std::vector<Value>& arguments,
                                                       Value& result) {
      std::optional<std::string> command;
      if (!arguments.empty() && !arguments[0].isNull()) command = arguments[0].text();
      received_.push_back({function.name, command});
      const std::optional<std::string>* answer = &function.fallback;
      if (command) {
        auto found = function.answers.find(*command);
        if (found != function.answers.end()) answer = &found->second;
      }
      result.SetString(*answer ? (*answer)->c_str() : nullptr);
    };
    bodies.push_back({std::move(functionName), "SXS", 1, std::move(body)});
  }
  scripted_ = true;
  return addHostObject(name, std::make_unique<HostObject>(className, std::move(bodies)));
}

HostObject* Host::hostObject(const std::string& name) const {
  auto found = hostObjects_.find(name);
  return found != hostObjects_.end() ? found->second.get() : nullptr;
}

std::map<pbobject, std::string> Host::hostObjectNames() const {
  std::map<pbobject, std::string> names;
  for (const auto& [name, object] : hostObjects_) names[object->handle()] = name;
  return names;
}

}  // namespace host
