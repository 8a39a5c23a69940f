// The branch query: which branch of the chain this installation is, asked of
// the vendor service until it answers (waits growing from 120 s by 5 s, in
// one-second steps that end early when the window closes), shown in the
// main window as online. On a worker it waits between rounds; on the window
// thread (a login) it makes one round and leaves the waiting to the worker,
// so that an unreachable service never holds the window.
#pragma once

#include <functional>
#include <string>

#include "launcher/core/app.h"
#include "launcher/ui/forms.h"

namespace launcher {

// The host of the branch query for a [db] url: with a ".", the url up to its
// first ":"; without one, the vendor's default host.
std::string DataServerHostOf(const std::string& url);

class TBranchQuery {
 public:
  TBranchQuery(App& app, ui::Form& main, std::function<void(const std::string&)> addStatus,
               std::function<void()> launchDataSend);

  // Any thread; several may run at once and end when one has the answer.
  void QueryBranchName();

 private:
  // Runs on the window thread; the caller waits.
  void onWindow(const std::function<void()>& task);

  App& app_;
  ui::Form& main_;
  std::function<void(const std::string&)> addStatus_;
  std::function<void()> launchDataSend_;
};

}  // namespace launcher
