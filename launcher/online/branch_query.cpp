#include "launcher/online/branch_query.h"

#include <chrono>

#include "launcher/core/builtin.h"
#include "launcher/online/vendor_requests.h"

namespace launcher {

std::string DataServerHostOf(const std::string& url) {
  if (url.find('.') == std::string::npos) return builtin::VendorDefaultHost();
  return url.substr(0, url.find(':'));
}

TBranchQuery::TBranchQuery(App& app, ui::Form& main,
                           std::function<void(const std::string&)> addStatus,
                           std::function<void()> launchDataSend)
    : app_(app),
      main_(main),
      addStatus_(std::move(addStatus)),
      launchDataSend_(std::move(launchDataSend)) {}

void TBranchQuery::onWindow(const std::function<void()>& task) { app_.desktop.send(task); }

void TBranchQuery::QueryBranchName() {
  app_.BranchQueryDone = false;
  int wait = 120;
  const bool mayWait = !app_.desktop.onWindowThread();
  const std::string url = app_.Url;
  const std::string fallback = builtin::VendorFallback();
  app_.DataServerHost.set(DataServerHostOf(url));
  const std::string parameters =
      "driverno=" + app_.InstallationId + "&com=" + url + "&comname=" + app_.ComName;

  while (!app_.BranchQueryDone && !app_.Closing) {
    const std::string host = app_.DataServerHost.get();
    const std::string answer =
        PostForm("http://" + host + "/ywpost/getsubcomname.aspx", parameters, &app_.Closing);
    if (!ServiceAnswered(answer) && url.find('.') == std::string::npos && host != fallback) {
      app_.DataServerHost.set(fallback);
      continue;
    }
    if (answer.starts_with("OK")) {
      app_.BranchQueryDone = true;
      const std::string rest = answer.substr(2, 1000);
      const std::size_t comma = rest.find(',');
      if (comma != std::string::npos) {
        app_.BranchNo.set(rest.substr(0, comma));
        app_.BranchName.set(rest.substr(comma + 1, 1000));
        const std::string shown = app_.BranchName.get() + "【" + app_.BranchNo.get() + "】在线";
        onWindow([this, &shown] {
          main_.control("ed_subName").setText(shown);
          // The client programs' data transfer needs the shop database.
          if (app_.sharedConnection.Get() != nullptr) launchDataSend_();
        });
      }
      break;
    }
    const std::string refused = answer.starts_with("ER") ? "" : " 联结网络不成功:";
    addStatus_(refused + answer + "\r\n  param: " + parameters);
    onWindow([this, &answer] { main_.control("stat").setText(answer); });
    if (answer.starts_with("ER") || !mayWait) break;
    for (int second = 0; second < wait && !app_.Closing; ++second) {
      app_.clock.sleepFor(std::chrono::seconds(1));
    }
    wait += 5;
  }
  addStatus_("正常访问互联网");
}

}  // namespace launcher
