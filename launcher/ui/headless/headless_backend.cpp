// The headless window system: a reader thread hands request lines to the
// window thread, which answers them between queued tasks; modal windows run
// the same loop nested, so requests that drive them are answered inside.
#include "launcher/ui/headless/headless_backend.h"

#include <algorithm>
#include <nlohmann/json.hpp>
#include <thread>

#include "platform/gbk.h"

namespace ui {
namespace {

// Keys keep the order they are written in.
using json = nlohmann::ordered_json;
using Clock = std::chrono::steady_clock;

class RequestError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

std::string utf8(const std::string& gbk) {
  if (auto text = platform::gbkToUtf8(gbk)) return *text;
  std::string printable;
  for (unsigned char c : gbk) printable += c < 0x80 ? static_cast<char>(c) : '?';
  return printable;
}

std::string gbk(const std::string& utf8Text) {
  auto text = platform::utf8ToGbk(utf8Text);
  if (!text) throw RequestError("text is not GBK: " + utf8Text);
  return *text;
}

json linesOf(const std::vector<std::string>& lines) {
  json out = json::array();
  for (const std::string& line : lines) out.push_back(utf8(line));
  return out;
}

json dumpControl(const Control& c) {
  json out;
  out["kind"] = kindName(c.kind());
  out[c.hasCaption() ? "caption" : "text"] = utf8(c.text());
  out["visible"] = c.visible;
  out["enabled"] = c.enabled;
  out["tag"] = c.tag;
  out["left"] = c.bounds.left;
  out["checked"] = c.checked;
  if (c.kind() == Kind::Memo || c.kind() == Kind::MultiEdit) out["lines"] = linesOf(c.lines);
  if (c.kind() == Kind::ComboBox || c.kind() == Kind::StatusBar || c.kind() == Kind::TabBar)
    out["items"] = linesOf(c.items);
  if (c.kind() == Kind::TabBar) out["itemIndex"] = c.itemIndex;
  out["color"] = c.color;
  out["background"] = c.background;
  return out;
}

const std::string& field(const json& request, const char* name) {
  if (!request.contains(name) || !request[name].is_string()) {
    throw RequestError(std::string("request needs a text field \"") + name + "\"");
  }
  return request[name].get_ref<const std::string&>();
}

long long number(const json& request, const char* name) {
  if (!request.contains(name) || !request[name].is_number_integer()) {
    throw RequestError(std::string("request needs a whole number \"") + name + "\"");
  }
  return request[name].get<long long>();
}

}  // namespace

HeadlessBackend::HeadlessBackend(std::istream& in, std::ostream& out)
    : out_(out), input_(std::make_shared<Input>()) {
  std::thread([input = input_, &in] {
    for (std::string line; std::getline(in, line);) {
      if (line.find_first_not_of(" \t\r") == std::string::npos) continue;
      std::lock_guard lock(input->mutex);
      input->requests.push_back(line);
      input->wakeup.notify_all();
    }
    std::lock_guard lock(input->mutex);
    input->ended = true;
    input->wakeup.notify_all();
  }).detach();
}

HeadlessBackend::~HeadlessBackend() = default;

void HeadlessBackend::emitEvent(const std::string& line) {
  std::lock_guard lock(outputMutex_);
  out_ << line << '\n' << std::flush;
}

void HeadlessBackend::wake() {
  std::lock_guard lock(input_->mutex);
  input_->woken = true;
  input_->wakeup.notify_all();
}

void HeadlessBackend::progress(const std::string& what, long long done, long long total) {
  emitEvent(json{{"event", "progress"}, {"what", what}, {"done", done}, {"total", total}}.dump());
}

void HeadlessBackend::register_(Form& form) {
  for (Form* known : forms_)
    if (known == &form) return;
  forms_.push_back(&form);
}

Form& HeadlessBackend::window(const std::string& name) {
  for (Form* form : forms_)
    if (form->name() == name || form->className() == name) return *form;
  throw RequestError("no window " + name);
}

void HeadlessBackend::show(Form& form) {
  register_(form);
  emitEvent(json{{"event", "show"}, {"window", form.name()}, {"modal", false}}.dump());
}

void HeadlessBackend::hide(Form& form) {
  emitEvent(json{{"event", "hide"}, {"window", form.name()}}.dump());
}

void HeadlessBackend::runModal(Form& form) {
  register_(form);
  emitEvent(json{{"event", "show"}, {"window", form.name()}, {"modal", true}}.dump());
  pump([&form] { return form.closed; }, true, false, Clock::time_point::max());
  // A modal window may be destroyed by its opener once it has closed.
  std::erase(forms_, &form);
  for (const auto& timer : form.timers()) due_.erase(timer.get());
}

void HeadlessBackend::run(Form& main) {
  register_(main);
  pump([&main] { return main.closed; }, true, false, Clock::time_point::max());
}

void HeadlessBackend::pump(const std::function<bool()>& done, bool requests, bool timers,
                           Clock::time_point deadline) {
  for (;;) {
    desktop_->drain();
    if (done()) return;
    const Clock::time_point now = Clock::now();
    if (now >= deadline) return;
    if (timers) fireDueTimers(now);

    std::string request;
    bool ended = false;
    {
      std::unique_lock lock(input_->mutex);
      if (!input_->woken && !(requests && (!input_->requests.empty() || input_->ended))) {
        const Clock::time_point until = std::min(deadline, timers ? nextTimer() : deadline);
        if (until == Clock::time_point::max()) {
          input_->wakeup.wait(lock);
        } else {
          input_->wakeup.wait_until(lock, until);
        }
      }
      input_->woken = false;
      if (requests && !input_->requests.empty()) {
        request = std::move(input_->requests.front());
        input_->requests.pop_front();
      } else if (requests) {
        ended = input_->ended;
      }
    }
    if (!request.empty()) {
      handle(request);
    } else if (ended) {
      // No more requests: the innermost open window closes as by the user,
      // then the next one out, until the main window has closed.
      for (auto it = forms_.rbegin(); it != forms_.rend(); ++it) {
        if (!(*it)->closed && (*it)->visible) {
          desktop_->close(**it);
          break;
        }
      }
      if (!done()) desktop_->drain();
      if (done()) return;
    }
  }
}

Clock::time_point HeadlessBackend::nextTimer() const {
  Clock::time_point next = Clock::time_point::max();
  for (const auto& [timer, when] : due_) next = std::min(next, when);
  return next;
}

void HeadlessBackend::fireDueTimers(Clock::time_point now) {
  // Track the enabled timers of shown windows; a timer counts from the
  // moment it is first seen enabled.
  std::vector<Timer*> live;
  for (Form* form : forms_) {
    if (!form->visible || form->closed) continue;
    for (const auto& timer : form->timers()) {
      if (!timer->enabled) continue;
      live.push_back(timer.get());
      due_.try_emplace(timer.get(), now + std::chrono::milliseconds(timer->interval));
    }
  }
  for (auto it = due_.begin(); it != due_.end();) {
    if (std::find(live.begin(), live.end(), it->first) == live.end()) {
      it = due_.erase(it);
    } else {
      ++it;
    }
  }
  for (Timer* timer : live) {
    auto found = due_.find(timer);
    if (found == due_.end() || found->second > now) continue;
    found->second = now + std::chrono::milliseconds(timer->interval);
    if (timer->onTimer) timer->onTimer();
  }
}

void HeadlessBackend::handle(const std::string& line) {
  json reply;
  json request;
  try {
    request = json::parse(line);
    if (!request.is_object()) throw RequestError("a request is a JSON object");
  } catch (const std::exception& error) {
    emitEvent(json{{"ok", false}, {"error", error.what()}}.dump(-1, ' ', false,
                                                                json::error_handler_t::replace));
    return;
  }
  if (request.contains("id")) reply["id"] = request["id"];
  try {
    const std::string& op = field(request, "op");
    if (op == "answer") {
      answers_.push_back(field(request, "reply"));
    } else if (op == "wait") {
      const auto until = Clock::now() + std::chrono::milliseconds(number(request, "ms"));
      pump([] { return false; }, false, true, until);
    } else {
      Form& form = window(field(request, "window"));
      if (op == "dump") {
        json controls = json::object();
        for (const auto& control : form.controls())
          controls[control->name()] = dumpControl(*control);
        reply["window"] = {{"name", form.name()},
                           {"caption", utf8(form.caption)},
                           {"visible", form.visible},
                           {"focus", form.focus},
                           {"controls", controls}};
      } else if (op == "timer") {
        Timer* timer = form.findTimer(field(request, "name"));
        if (timer == nullptr) throw RequestError("no timer " + field(request, "name"));
        if (timer->onTimer) timer->onTimer();
      } else if (op == "post") {
        const std::string text = request.contains("text") ? gbk(field(request, "text")) : "";
        desktop_->postMessage(form, static_cast<int>(number(request, "message")),
                              static_cast<long>(number(request, "wparam")), text);
      } else if (op == "close") {
        desktop_->close(form);
      } else {
        Control* control = form.find(field(request, "control"));
        if (control == nullptr) throw RequestError("no control " + field(request, "control"));
        if (op == "hover") {
          if (control->onEnter) control->onEnter();
        } else {
          if (!control->visible || !control->enabled) {
            throw RequestError("control " + control->name() + " is hidden or disabled");
          }
          if (op == "click") {
            if (control->kind() == Kind::CheckBox) control->checked = !control->checked;
            if (control->kind() == Kind::RadioButton) control->checked = true;
            if (control->onClick) control->onClick();
          } else if (op == "set") {
            control->setText(gbk(field(request, "text")));
            if (control->onChange) control->onChange();
          } else if (op == "check") {
            if (!request.contains("checked") || !request["checked"].is_boolean()) {
              throw RequestError("request needs \"checked\": true or false");
            }
            const bool checked = request["checked"].get<bool>();
            const bool changed = control->checked != checked;
            control->checked = checked;
            if (changed && control->onClick) control->onClick();
          } else if (op == "key") {
            if (control->onKey) control->onKey(static_cast<int>(number(request, "key")));
          } else {
            throw RequestError("unknown op " + op);
          }
        }
      }
    }
    reply["ok"] = true;
  } catch (const std::exception& error) {
    reply["ok"] = false;
    reply["error"] = error.what();
  }
  // "ok" first, then what the request asked for.
  json ordered;
  ordered["ok"] = reply["ok"];
  if (reply.contains("id")) ordered["id"] = reply["id"];
  for (auto& [key, value] : reply.items())
    if (key != "ok" && key != "id") ordered[key] = value;
  emitEvent(ordered.dump(-1, ' ', false, json::error_handler_t::replace));
}

std::string HeadlessBackend::takeAnswer() {
  if (answers_.empty()) return std::string();
  std::string answer = answers_.front();
  answers_.pop_front();
  return answer;
}

Answer HeadlessBackend::messageBox(const std::string& caption, const std::string& text, Icon icon,
                                   Buttons buttons) {
  const std::string queued = takeAnswer();
  Answer answer = buttons == Buttons::YesNo ? Answer::No : Answer::Ok;
  const bool hasYes = buttons == Buttons::YesNo || buttons == Buttons::YesNoCancel;
  const bool hasCancel = buttons == Buttons::OkCancel || buttons == Buttons::YesNoCancel;
  if (queued == "yes" && hasYes) answer = Answer::Yes;
  if (queued == "no" && hasYes) answer = Answer::No;
  if (queued == "cancel" && hasCancel) answer = Answer::Cancel;
  if (queued == "ok" && !hasYes) answer = Answer::Ok;
  emitEvent(json{{"event", "message"},
                 {"caption", utf8(caption)},
                 {"text", utf8(text)},
                 {"icon", iconName(icon)},
                 {"buttons", buttonsName(buttons)},
                 {"answer", answerName(answer)}}
                .dump(-1, ' ', false, json::error_handler_t::replace));
  return answer;
}

std::optional<std::string> HeadlessBackend::fileDialog(const char* kind, const std::string& folder,
                                                       const std::string& file) {
  const std::string queued = takeAnswer();
  const bool chosen =
      !queued.empty() && queued != "cancel" && queued != "ok" && queued != "yes" && queued != "no";
  std::optional<std::string> path;
  if (chosen) {
    if (auto converted = platform::utf8ToGbk(queued)) path = *converted;
  } else if (queued == "ok" && !file.empty()) {
    // The proposed folder and file, as they stand.
    path = folder.empty() || folder.ends_with('/') ? folder + file : folder + "/" + file;
  }
  emitEvent(json{{"event", "dialog"},
                 {"kind", kind},
                 {"folder", utf8(folder)},
                 {"file", utf8(file)},
                 {"answer", path ? json(utf8(*path)) : json(nullptr)}}
                .dump(-1, ' ', false, json::error_handler_t::replace));
  return path;
}

std::optional<std::string> HeadlessBackend::openFile(const std::string&, const std::string& folder,
                                                     const std::string& file) {
  return fileDialog("open", folder, file);
}

std::optional<std::string> HeadlessBackend::saveFile(const std::string&, const std::string& folder,
                                                     const std::string& file) {
  return fileDialog("save", folder, file);
}

namespace {

void reportProcess(HeadlessBackend& backend, const std::vector<std::string>& argv) {
  nlohmann::ordered_json args = nlohmann::ordered_json::array();
  for (const std::string& arg : argv) args.push_back(utf8(arg));
  backend.emitEvent(nlohmann::ordered_json{{"event", "process"}, {"argv", args}}.dump(
      -1, ' ', false, nlohmann::ordered_json::error_handler_t::replace));
}

}  // namespace

bool HeadlessProcesses::startDetached(const std::vector<std::string>& argv, std::string* error,
                                      const std::string& workingDir) {
  reportProcess(backend_, argv);
  return ProcessesWrapper::startDetached(argv, error, workingDir);
}

bool HeadlessProcesses::runAndWait(
    const std::vector<std::string>& argv,
    const std::vector<std::pair<std::string, std::string>>& environment,
    const std::string& inputFile, int* status, std::string* error) {
  reportProcess(backend_, argv);
  return ProcessesWrapper::runAndWait(argv, environment, inputFile, status, error);
}

std::unique_ptr<platform::CapturedChild> HeadlessProcesses::startCaptured(
    const std::vector<std::string>& argv, const platform::Environment& environment,
    std::string* error) {
  reportProcess(backend_, argv);
  return ProcessesWrapper::startCaptured(argv, environment, error);
}

std::unique_ptr<platform::CapturedChild> HeadlessProcesses::startFeeding(
    const std::vector<std::string>& argv, const platform::Environment& environment,
    std::string* error) {
  reportProcess(backend_, argv);
  return ProcessesWrapper::startFeeding(argv, environment, error);
}

std::unique_ptr<platform::CapturedChild> HeadlessProcesses::startReading(
    const std::vector<std::string>& argv, const platform::Environment& environment,
    std::string* error) {
  reportProcess(backend_, argv);
  return ProcessesWrapper::startReading(argv, environment, error);
}

int HeadlessProcesses::startDaemon(const std::vector<std::string>& argv,
                                   const platform::Environment& environment,
                                   const std::string& logFile, std::string* error) {
  reportProcess(backend_, argv);
  return ProcessesWrapper::startDaemon(argv, environment, logFile, error);
}

}  // namespace ui
