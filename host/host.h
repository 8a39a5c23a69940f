// A host for an extension library: loads it with dlopen, reads its class
// description, creates objects by class name, calls methods by name (the
// overload chosen by argument count) or by id, and global functions by name,
// collecting the message boxes shown during each call.
#pragma once

#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "host/description.h"
#include "host/host_object.h"
#include "host/session.h"
#include "host/value.h"

namespace host {

struct Message {
  std::string caption;
  std::string text;
  PBMessageIcon icon = PBMessageIcon::None;
};

struct CallResult {
  PBXRESULT code = PBX_OK;
  Value result;             // wasSet() false when the operation set nothing
  std::vector<Value> args;  // every argument after the call
  std::vector<Message> messages;
  std::vector<Received> received;  // calls of scripted host objects, in order
};

// A request the host cannot carry out (unknown object, method, library).
class HostError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

const char* iconName(PBMessageIcon icon);

class Host {
 public:
  // Throws HostError when the library cannot be loaded or lacks an entry
  // point, DescriptionError when its description does not parse.
  explicit Host(const std::string& libraryPath);
  ~Host();
  Host(const Host&) = delete;
  Host& operator=(const Host&) = delete;

  const std::string& descriptionText() const { return descriptionText_; }
  const Description& description() const { return description_; }

  // The entry point's result; an object is kept under `as` only when one was
  // made (an earlier object of that name is destroyed first).
  PBXRESULT create(const std::string& className, const std::string& as);
  bool hasObject(const std::string& name) const { return objects_.count(name) != 0; }
  void destroy(const std::string& name);

  CallResult call(const std::string& object, const std::string& method, std::vector<Value> args);
  CallResult callId(const std::string& object, pbmethodID id, std::vector<Value> args);
  CallResult callFunction(const std::string& name, std::vector<Value> args);

  // Host objects live as long as the host; values of type object name them.
  // A name given again names the new object, while the old one stays alive
  // for extension objects that kept its handle.
  HostObject& addHostObject(const std::string& name, std::unique_ptr<HostObject> object);
  HostObject* hostObject(const std::string& name) const;
  std::map<pbobject, std::string> hostObjectNames() const;
  // A host object whose functions have the signature "SXS" and answer from
  // tables; its calls are listed in the received of the extension call
  // during which they came.
  HostObject& addScriptedObject(const std::string& name, const std::string& className,
                                std::vector<ScriptedFunction> functions);
  bool hasScriptedObjects() const { return scripted_; }

 private:
  struct Loaded;
  struct ExtensionInstance {
    IPBX_NonVisualObject* object = nullptr;
    const ClassBlock* block = nullptr;  // null when the description lacks the class
  };
  class Collector;

  const ExtensionInstance& instance(const std::string& name) const;
  CallResult invoke(const ExtensionInstance& target, pbmethodID id, std::vector<Value> args);

  std::unique_ptr<Loaded> library_;
  std::unique_ptr<Collector> collector_;
  Session session_;
  std::string descriptionText_;
  Description description_;
  std::map<std::string, ExtensionInstance> objects_;
  std::map<std::string, std::unique_ptr<HostObject>> hostObjects_;
  std::vector<std::unique_ptr<HostObject>> replaced_;
  bool scripted_ = false;
  std::vector<Received> received_;
};

}  // namespace host
