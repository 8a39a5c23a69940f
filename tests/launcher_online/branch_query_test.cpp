// The branch query against a real HTTP server on loopback: the answers the
// service gives, the fallback address, the growing waits, closing during a
// wait, two queries at once, and the window-thread round of a login.
#include "launcher/online/branch_query.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "launcher/support/text_cipher.h"
#include "tests/launcher_online/online_fixture.h"

namespace {

using testsupport::ScopedSetting;
using testsupport::VendorService;

constexpr char kPath[] = "/ywpost/getsubcomname.aspx";

class BranchQuery : public ::testing::Test {
 protected:
  BranchQuery() {
    shop.app.Url = service.address();
    shop.app.ComName = "C01";
  }

  // Runs a query on a thread of its own, as the worker does, with the
  // window thread (this one) answering its sends.
  void queryOnWorker() {
    std::atomic<bool> ended{false};
    std::thread worker([&] {
      query.QueryBranchName();
      ended = true;
      shop.windows.wake();
    });
    const bool done = shop.pumpUntil([&] { return ended.load(); });
    if (!done) shop.app.Closing = true;
    shop.pumpUntil([&] { return ended.load(); });
    worker.join();
    ASSERT_TRUE(done) << "the query did not end";
  }
  std::string parameters() const {
    return "driverno=A1B2-C3D4&com=" + shop.app.Url + "&comname=C01";
  }
  testsupport::OnlineFolder folder;
  VendorService service;
  testsupport::OnlineLauncher shop{folder.dir};
  int dataSends = 0;
  launcher::TBranchQuery query{shop.app, *shop.main,
                               [this](const std::string& text) { shop.main->AddStatus(text); },
                               [this] { ++dataSends; }};
};

TEST_F(BranchQuery, AnAnswerNamesTheBranchAndShowsItOnline) {
  const struct {
    const char* answer;
    const char* no;
    const char* name;
    const char* shown;
  } rows[] = {
      {"OK012,西湖店", "012", "西湖店", "西湖店【012】在线"},
      {"OK012,", "012", "", "【012】在线"},
      {"OK007,一店,二楼", "007", "一店,二楼", "一店,二楼【007】在线"},
      // Without a comma the query counts as answered and nothing changes.
      {"OK", "009", "旧名", "before"},
      {"OK012", "009", "旧名", "before"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.answer);
    shop.app.BranchNo.set("009");
    shop.app.BranchName.set("旧名");
    shop.main->control("ed_subName").setText("before");
    shop.main->control("Memo1").lines.clear();
    service.reply(kPath, row.answer);
    queryOnWorker();
    EXPECT_TRUE(shop.app.BranchQueryDone);
    EXPECT_EQ(shop.app.BranchNo.get(), row.no);
    EXPECT_EQ(shop.app.BranchName.get(), row.name);
    EXPECT_EQ(shop.main->control("ed_subName").text(), row.shown);
    EXPECT_EQ(shop.blocks(), std::vector<std::string>{"正常访问互联网"});
    EXPECT_EQ(shop.app.DataServerHost.get(), service.address());
  }
  EXPECT_TRUE(shop.clock.sleeps().empty());
  // No shop database yet: the data transfer waits for the login.
  EXPECT_EQ(dataSends, 0);
  const std::vector<std::string> bodies = service.bodies(kPath);
  ASSERT_EQ(bodies.size(), std::size(rows));
  EXPECT_EQ(bodies[0], parameters());
}

TEST_F(BranchQuery, ARefusalIsReportedOnceAndNotRetried) {
  service.reply(kPath, "ER:未注册的门店");
  queryOnWorker();
  EXPECT_FALSE(shop.app.BranchQueryDone);
  EXPECT_EQ(shop.blocks(), (std::vector<std::string>{"ER:未注册的门店\n  param: " + parameters(),
                                                     "正常访问互联网"}));
  EXPECT_EQ(shop.main->control("stat").text(), "ER:未注册的门店");
  EXPECT_EQ(service.requests().size(), 1u);
  EXPECT_TRUE(shop.clock.sleeps().empty());
}

TEST_F(BranchQuery, WithoutAnAnswerTheWaitsGrowBy5SecondsFrom120) {
  std::atomic<int> asked{0};
  service.server().setHandler([&](const vendor::HttpRequest&) {
    vendor::HttpReply reply;
    reply.body = ++asked < 4 ? "<html>maintenance</html>" : "OK012,西湖店";
    return reply;
  });
  queryOnWorker();
  EXPECT_EQ(asked, 4);
  int steps = 0;
  for (const auto step : shop.clock.sleeps()) {
    EXPECT_EQ(step, std::chrono::seconds(1));
    ++steps;
  }
  EXPECT_EQ(steps, 120 + 125 + 130);
  const std::string failed = " 联结网络不成功:<html>maintenance</html>\n  param: " + parameters();
  EXPECT_EQ(shop.blocks(), (std::vector<std::string>{failed, failed, failed, "正常访问互联网"}));
  EXPECT_TRUE(shop.app.BranchQueryDone);
  EXPECT_EQ(shop.main->control("ed_subName").text(), "西湖店【012】在线");
}

TEST_F(BranchQuery, AUrlWithAPortAsksTheHostOnPort80) {
  shop.app.Url = service.address() + ":8080";
  service.reply(kPath, "OK1,一店");
  queryOnWorker();
  EXPECT_EQ(shop.app.DataServerHost.get(), service.address());
  EXPECT_EQ(service.bodies(kPath), std::vector<std::string>{parameters()});
}

TEST_F(BranchQuery, AUrlWithoutADotSwitchesToTheFallbackAtOnceAndStaysThere) {
  VendorService fallback;
  ScopedSetting defaultHost("NORVEX_VENDOR_DEFAULT_HOST", testsupport::freeLoopbackAddress(80));
  ScopedSetting fallbackHost("NORVEX_VENDOR_FALLBACK", fallback.address());
  shop.app.Url = "shopchain";
  std::atomic<int> asked{0};
  fallback.server().setHandler([&](const vendor::HttpRequest&) {
    vendor::HttpReply reply;
    reply.body = ++asked < 2 ? "" : "OK3,三店";
    return reply;
  });
  queryOnWorker();
  // The default host failed and the fallback took over without a wait; its
  // own failure then waited once, and it was asked again.
  EXPECT_EQ(asked, 2);
  EXPECT_EQ(shop.clock.sleeps().size(), 120u);
  EXPECT_EQ(shop.app.DataServerHost.get(), fallback.address());
  EXPECT_EQ(shop.blocks(), (std::vector<std::string>{" 联结网络不成功:\n  param: " + parameters(),
                                                     "正常访问互联网"}));
  EXPECT_EQ(shop.app.BranchNo.get(), "3");
}

TEST_F(BranchQuery, ClosingDuringAWaitEndsItWithinASecond) {
  service.reply(kPath, "busy");
  shop.clock.onSleep = [this] {
    if (shop.clock.sleeps().size() == 3) shop.app.Closing = true;
  };
  queryOnWorker();
  EXPECT_EQ(shop.clock.sleeps().size(), 3u);
  EXPECT_EQ(service.requests().size(), 1u);
  EXPECT_EQ(shop.blocks(),
            (std::vector<std::string>{" 联结网络不成功:busy\n  param: " + parameters(),
                                      "正常访问互联网"}));
}

// A login asks while the worker waits: the login's answer ends the worker
// after its current wait, without another request.
TEST_F(BranchQuery, TwoQueriesAtOnceEndWithTheFirstAnswer) {
  service.reply(kPath, "busy");
  std::thread second;
  std::atomic<bool> secondEnded{false};
  shop.clock.onSleep = [&] {
    if (shop.clock.sleeps().size() != 1) return;
    service.reply(kPath, "OK012,西湖店");
    second = std::thread([&] {
      query.QueryBranchName();
      secondEnded = true;
      shop.windows.wake();
    });
    // The window thread runs the second query's sends meanwhile.
    while (!shop.app.BranchQueryDone) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  };
  queryOnWorker();
  ASSERT_TRUE(shop.pumpUntil([&] { return secondEnded.load(); }));
  second.join();
  EXPECT_EQ(service.requests().size(), 2u);
  EXPECT_EQ(shop.clock.sleeps().size(), 120u);
  EXPECT_EQ(shop.app.BranchNo.get(), "012");
  const std::vector<std::string> blocks = shop.blocks();
  EXPECT_EQ(std::count(blocks.begin(), blocks.end(), "正常访问互联网"), 2);
}

// On the window thread (a login) one round is made and nothing waits; the
// worker that the start-up queued goes on asking.
TEST_F(BranchQuery, TheWindowThreadMakesOneRoundAndDoesNotWait) {
  service.reply(kPath, "busy");
  query.QueryBranchName();
  EXPECT_EQ(service.requests().size(), 1u);
  EXPECT_TRUE(shop.clock.sleeps().empty());
  EXPECT_EQ(shop.blocks(),
            (std::vector<std::string>{" 联结网络不成功:busy\n  param: " + parameters(),
                                      "正常访问互联网"}));
  EXPECT_EQ(shop.main->control("stat").text(), "busy");
}

// The start-up step queues the query; with the shop database open the data
// transfer program starts with the branch it learnt.
TEST_F(BranchQuery, TheStartUpQueryStartsTheDataTransferOnceTheShopIsOpen) {
  testsupport::ScratchDatabase db("branch");
  shop.app.sharedConnection.Replace(testsupport::connectTo(db.name()));
  shop.app.ServerIp = "127.0.0.1";
  shop.app.DbName = db.name();
  shop.app.Port = 3309;
  service.reply(kPath, "OK012,西湖店");
  shop.main->Timer_checkodbcTimer();
  ASSERT_TRUE(shop.pumpUntil([&] { return shop.blocks().size() >= 2; }));
  EXPECT_EQ(shop.blocks()[0], "开始登录:" + shop.app.Url + "   C01");
  EXPECT_EQ(shop.blocks()[1], "正常访问互联网");
  ASSERT_TRUE(shop.pumpUntil([&] { return !shop.processes.startedSoFar().empty(); }));
  const std::vector<std::string> started = shop.processes.startedSoFar().front();
  ASSERT_EQ(started.size(), 2u);
  EXPECT_EQ(started[0], folder.dir + "DataSend/SQLupdate");
  const std::string parameters = launcher::DecryptText(started[1], "p*4417Zr");
  EXPECT_NE(parameters.find(";subno=012;subname=西湖店;dataserver=" + service.address() + ";"),
            std::string::npos)
      << parameters;
}

}  // namespace
