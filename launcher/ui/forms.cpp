// Controls and forms of the model.
#include "launcher/ui/forms.h"

#include <algorithm>
#include <stdexcept>

namespace ui {

const char* kindName(Kind kind) {
  switch (kind) {
    case Kind::Label:
      return "label";
    case Kind::Link:
      return "link";
    case Kind::Edit:
      return "edit";
    case Kind::MultiEdit:
      return "multiedit";
    case Kind::Memo:
      return "memo";
    case Kind::Button:
      return "button";
    case Kind::ToolButton:
      return "toolbutton";
    case Kind::SpeedButton:
      return "speedbutton";
    case Kind::CheckBox:
      return "checkbox";
    case Kind::RadioButton:
      return "radiobutton";
    case Kind::ComboBox:
      return "combobox";
    case Kind::StatusBar:
      return "statusbar";
    case Kind::Panel:
      return "panel";
    case Kind::TabBar:
      return "tabbar";
  }
  return "control";
}

bool Control::hasCaption() const {
  switch (kind_) {
    case Kind::Label:
    case Kind::Link:
    case Kind::Button:
    case Kind::ToolButton:
    case Kind::SpeedButton:
    case Kind::CheckBox:
    case Kind::RadioButton:
    case Kind::Panel:
      return true;
    default:
      return false;
  }
}

std::string Control::text() const {
  if (kind_ == Kind::Memo || kind_ == Kind::MultiEdit) {
    std::string joined;
    for (std::size_t i = 0; i < lines.size(); ++i) {
      if (i > 0) joined += "\r\n";
      joined += lines[i];
    }
    return joined;
  }
  if (kind_ == Kind::StatusBar) return items.empty() ? std::string() : items.front();
  if (kind_ == Kind::TabBar)
    return itemIndex >= 0 && std::size_t(itemIndex) < items.size() ? items[std::size_t(itemIndex)]
                                                                   : std::string();
  return caption_;
}

void Control::setText(const std::string& text) {
  if (kind_ == Kind::Memo || kind_ == Kind::MultiEdit) {
    lines.clear();
    std::size_t start = 0;
    while (start <= text.size()) {
      std::size_t end = text.find('\n', start);
      if (end == std::string::npos) end = text.size();
      std::string line = text.substr(start, end - start);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (end < text.size() || !line.empty()) lines.push_back(line);
      start = end + 1;
    }
    return;
  }
  if (kind_ == Kind::StatusBar) {
    if (items.empty()) items.emplace_back();
    items.front() = text;
    return;
  }
  if (kind_ == Kind::TabBar) {
    const auto found = std::find(items.begin(), items.end(), text);
    if (found != items.end()) itemIndex = static_cast<int>(found - items.begin());
    return;
  }
  caption_ = text;
}

Control& Form::add(const std::string& name, Kind kind, Geometry bounds) {
  auto control = std::make_unique<Control>(name, kind);
  control->bounds = bounds;
  Control& added = *control;
  controls_.push_back(std::move(control));
  byName_[name] = &added;
  return added;
}

Timer& Form::addTimer(const std::string& name, int intervalMs, bool enabled,
                      std::function<void()> onTimer) {
  timers_.push_back(std::make_unique<Timer>(name, intervalMs, enabled, std::move(onTimer)));
  return *timers_.back();
}

Control& Form::control(const std::string& name) {
  Control* found = find(name);
  if (found == nullptr) throw std::out_of_range("no control " + name + " in " + name_);
  return *found;
}

const Control& Form::control(const std::string& name) const {
  auto found = byName_.find(name);
  if (found == byName_.end()) throw std::out_of_range("no control " + name + " in " + name_);
  return *found->second;
}

Control* Form::find(const std::string& name) {
  auto found = byName_.find(name);
  return found != byName_.end() ? found->second : nullptr;
}

Timer* Form::findTimer(const std::string& name) {
  for (auto& timer : timers_)
    if (timer->name() == name) return timer.get();
  return nullptr;
}

void Form::onMessage(int, long, const std::string&) {}

}  // namespace ui
