// The vendor requests: the two encodings, the bodies as the service receives
// them, the delimited-list reading, and the host list with its remembered
// host, against a real HTTP server on loopback.
#include "launcher/online/vendor_requests.h"

#include <gtest/gtest.h>

#include "launcher/online/delimited_list.h"
#include "tests/launcher_online/online_fixture.h"

namespace {

using testsupport::ScopedSetting;
using testsupport::VendorService;

// Literals here are GBK bytes; u8 ones are UTF-8.
std::string utf8(const char8_t* text) { return reinterpret_cast<const char*>(text); }

TEST(VendorEncodings, UrlEncodingKeepsWhatItListsAndWritesTheRestAsUtf8Escapes) {
  const struct {
    std::string text, encoded;
  } rows[] = {
      {"Ab09", "Ab09"},
      {"!$'()*-.@_", "!$'()*-.@_"},
      {"a b", "a+b"},
      {"&=+/~%\"#", "%26%3d%2b%2f%7e%25%22%23"},
      {"会员", "%e4%bc%9a%e5%91%98"},
      {"西湖路1号 A座", "%e8%a5%bf%e6%b9%96%e8%b7%af1%e5%8f%b7+A%e5%ba%a7"},
      {"2024-06-01 10:20:30", "2024-06-01+10%3a20%3a30"},
      {std::string("\t\r\n", 3), "%09%0d%0a"},
      {"", ""},
  };
  for (const auto& row : rows)
    EXPECT_EQ(launcher::UrlEncodeUtf8(row.text), row.encoded) << row.text;
}

TEST(VendorEncodings, FormEncodingEscapesItsListAndBytesOutside33To128) {
  const struct {
    std::string bytes, encoded;
  } rows[] = {
      {"abc=&+/~!'", "abc=&+/~!'"},
      {"*#%<>[] ", "%2A%23%25%3C%3E%5B%5D%20"},
      {std::string("\x7f\x80\x81\xff", 4), std::string("\x7f\x80", 2) + "%81%FF"},
      {std::string("\x00\x01\x1f\x20\x21", 5), "%00%01%1F%20!"},
      {"会员", "%BB%E1%D4%B1"},
      {"%e4%bc", "%25e4%25bc"},
  };
  for (const auto& row : rows) EXPECT_EQ(launcher::FormEncode(row.bytes), row.encoded) << row.bytes;
}

TEST(VendorEncodings, DelimitedListsSplitAtTheDelimiterAndAtBlanksOutsideQuotes) {
  using List = std::vector<std::string>;
  const struct {
    std::string text;
    List items;
  } rows[] = {
      {"a,b,c", {"a", "b", "c"}},
      {"a b,c", {"a", "b", "c"}},
      {"  a , b  ", {"a", "b"}},
      {"a,,b", {"a", "", "b"}},
      {"a,", {"a", ""}},
      {",", {"", ""}},
      {"", {}},
      {"\"a b\",c", {"a b", "c"}},
      {"\"say \"\"hi\"\"\",x", {"say \"hi\"", "x"}},
      {"\"open,rest", {"open,rest"}},
      {"x=\"a b\"", {"x=\"a", "b\""}},
      {std::string("a\tb\x01"
                   "c",
                   6),
       {"a", "b", "c"}},
      {std::string("a,b\0,c", 6), {"a", "b"}},
      {"会员,积分", {"会员", "积分"}},
  };
  for (const auto& row : rows)
    EXPECT_EQ(launcher::SplitDelimited(row.text, ','), row.items) << row.text;
}

TEST(VendorEncodings, HostsWithoutADotAreCompletedWithTheDomainAndPort80) {
  ScopedSetting domain("NORVEX_VENDOR_DOMAIN", "vendor.test");
  EXPECT_EQ(launcher::VendorUrl("ws1", "ywpost/a.aspx"), "http://ws1.vendor.test:80/ywpost/a.aspx");
  EXPECT_EQ(launcher::VendorUrl("192.0.2.10", "ywpost/a.aspx"), "http://192.0.2.10/ywpost/a.aspx");
  EXPECT_EQ(launcher::VendorUrl("svc.example.com:8080", "p"), "http://svc.example.com:8080/p");
}

// What the service receives, byte for byte, for the parameter texts of both
// kinds of request.
TEST(VendorRequests, TheServiceReceivesTheBodiesByteForByte) {
  VendorService service;
  service.reply("/ywpost/p.aspx", "OK");
  const struct {
    std::string parameters, postForm, vendorGet;
  } rows[] = {
      {"driverno=A1B2&com=svc.example&comname=C01", "driverno=A1B2&com=svc.example&comname=C01",
       "driverno=A1B2&com=svc.example&comname=C01"},
      {"comname=门店01&x=会员", "comname=%C3%C5%B5%EA01&x=%BB%E1%D4%B1",
       "comname=%C3%C5%B5%EA01&x=%BB%E1%D4%B1"},
      {"mobile=139 0000&qq=&phone=0571", "mobile=139%200000&qq=&phone=0571",
       "mobile=139&0000&qq=&phone=0571"},
      {"a=*#%<>[]!&b=1", "a=%2A%23%25%3C%3E%5B%5D!&b=1", "a=%2A%23%25%3C%3E%5B%5D!&b=1"},
      {"a=%e4+b&c=d=e", "a=%25e4+b&c=d=e", "a=%25e4+b&c=d=e"},
      {std::string("a=\x7f\x80\x81&b"), std::string("a=\x7f\x80%81&b"),
       std::string("a=\x7f\x80%81&b")},
      {"\"q=x y\"&r=1", "\"q=x%20y\"&r=1", "q=x%20y&r=1"},
      {"name", "name=", "name"},
  };
  const std::string host = service.address();
  for (const auto& row : rows) {
    SCOPED_TRACE(row.parameters);
    const std::size_t before = service.requests().size();
    EXPECT_EQ(launcher::PostForm("http://" + host + "/ywpost/p.aspx", row.parameters), "OK");
    EXPECT_EQ(launcher::VendorGet(host, "ywpost/p.aspx", row.parameters), "OK");
    const std::vector<vendor::HttpRequest> requests = service.requests();
    ASSERT_EQ(requests.size(), before + 2);
    for (std::size_t i = before; i < requests.size(); ++i) {
      EXPECT_EQ(requests[i].method, "POST");
      EXPECT_EQ(requests[i].header("Content-Type"), "application/x-www-form-urlencoded");
    }
    EXPECT_EQ(requests[before].body, row.postForm);
    EXPECT_EQ(requests[before + 1].body, row.vendorGet);
  }
}

TEST(VendorRequests, AnswersAreTrimmedAndOnlyVendorGetConvertsThemFromUtf8) {
  VendorService service;
  service.reply("/p", utf8(u8"  OK012,西湖店\r\n"));
  const std::string host = service.address();
  EXPECT_EQ(launcher::PostForm("http://" + host + "/p", "a=1"), utf8(u8"OK012,西湖店"));
  EXPECT_EQ(launcher::VendorGet(host, "p", "a=1"), "OK012,西湖店");
  // A GBK answer is no UTF-8: it stays as it came.
  service.reply("/p", "OK西湖店");
  EXPECT_EQ(launcher::VendorGet(host, "p", "a=1"), "OK西湖店");
}

TEST(VendorRequests, FailuresGiveNothingToPostFormAndTheReasonToVendorGet) {
  VendorService service;
  vendor::HttpReply closed;
  closed.closeWithoutAnswer = true;
  service.reply("/closed", closed);
  vendor::HttpReply broken;
  broken.status = 500;
  broken.body = "OK but broken";
  service.reply("/broken", broken);
  const std::string host = service.address();
  const std::string nobody = testsupport::freeLoopbackAddress(80);
  EXPECT_EQ(launcher::PostForm("http://" + host + "/closed", "a=1"), "");
  EXPECT_EQ(launcher::PostForm("http://" + nobody + "/p", "a=1"), "");
  EXPECT_EQ(launcher::PostForm("http://" + host + "/broken", "a=1"), "");
  EXPECT_EQ(launcher::VendorGet(host, "broken", "a=1"), "HTTP/1.1 500 Internal Server Error");
  EXPECT_EQ(launcher::VendorGet(host, "missing", "a=1"), "HTTP/1.1 404 Not Found");
  EXPECT_EQ(launcher::VendorGet(nobody, "p", "a=1"), "Couldn't connect to server");
  EXPECT_FALSE(launcher::VendorGet(host, "closed", "a=1").starts_with("OK"));
}

TEST(VendorRequests, ARequestGivesUpWhenTheLauncherCloses) {
  VendorService service;
  vendor::HttpReply slow;
  slow.body = "OK";
  slow.delay = std::chrono::seconds(15);
  service.reply("/slow", slow);
  std::atomic<bool> closing{false};
  std::thread closer([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    closing = true;
  });
  const auto started = std::chrono::steady_clock::now();
  const std::string answer =
      launcher::PostForm("http://" + service.address() + "/slow", "a=1", &closing);
  closer.join();
  EXPECT_EQ(answer, "");
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));
}

// The host list: the remembered host, the fallback address, the two further
// labels; the one that answers goes first next time.
TEST(VendorRequests, TheHostThatAnsweredGoesFirstNextTime) {
  VendorService fallback, third;
  const std::string nobody = testsupport::freeLoopbackAddress(80);
  const std::string alsoNobody = testsupport::freeLoopbackAddress(80);
  ScopedSetting hosts("NORVEX_VENDOR_HOSTS", nobody + "," + alsoNobody + "," + third.address());
  ScopedSetting fallbackHost("NORVEX_VENDOR_FALLBACK", fallback.address());
  TempDir temp;
  testsupport::OnlineLauncher shop(temp.path());
  launcher::App& app = shop.app;

  // The fallback says nothing a service would: the third host answers.
  fallback.reply("/ywpost/x.aspx", "<html>busy</html>");
  third.reply("/ywpost/x.aspx", "ER:no such installation");
  EXPECT_EQ(launcher::VendorRequest(app, "ywpost/x.aspx", "a=1"), "ER:no such installation");
  EXPECT_EQ(app.VendorHost.get(), third.address());
  EXPECT_EQ(fallback.requests().size(), 1u);
  EXPECT_EQ(third.requests().size(), 1u);

  // Next time the third host is asked first.
  third.reply("/ywpost/x.aspx", "OK:1234");
  EXPECT_EQ(launcher::VendorRequest(app, "ywpost/x.aspx", "a=1"), "OK:1234");
  EXPECT_EQ(fallback.requests().size(), 1u);
  EXPECT_EQ(third.requests().size(), 2u);

  // Nobody answers: the last host's answer, and the remembered host stays.
  third.reply("/ywpost/x.aspx", "maintenance");
  EXPECT_EQ(launcher::VendorRequest(app, "ywpost/x.aspx", "a=1"), "maintenance");
  EXPECT_EQ(app.VendorHost.get(), third.address());
  // The remembered host, the fallback, the unreachable label, the third again.
  EXPECT_EQ(third.requests().size(), 4u);
  EXPECT_EQ(fallback.requests().size(), 2u);
}

}  // namespace
