// Starting the client programs from the main window, against the run's server
// and real stand-in programs: the parameter strings they receive, when login
// is skipped, the branch rows, the locally chosen branch and the version texts.
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <thread>
#include <utility>

#include "launcher/core/app.h"
#include "launcher/core/main_window.h"
#include "launcher/login/credential_file.h"
#include "launcher/login/login_window.h"
#include "launcher/support/text_cipher.h"
#include "platform/desktop_windows.h"
#include "platform/gbk.h"
#include "platform/process.h"
#include "platform/profile.h"
#include "tests/launcher/fake_window_system.h"
#include "tests/launcher_db/client_fixture.h"

extern char** environ;

namespace launcher_db_test {
namespace {

using Lines = std::vector<std::string>;

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream content;
  content << in.rdbuf();
  return content.str();
}

void writeFile(const std::string& path, const std::string& content) {
  std::ofstream(path, std::ios::binary) << content;
}

// What a stand-in program recorded: its arguments and its working folder.
// It writes the folder last, so a complete folder line means both are there.
struct Recorded {
  std::string args;
  std::string cwd;
};

Recorded waitForStandIn(const std::string& program) {
  const auto bound = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  std::string cwd;
  while (std::chrono::steady_clock::now() < bound) {
    cwd = readFile(program + ".cwd");
    if (!cwd.empty() && cwd.back() == '\n') break;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return {readFile(program + ".args"), cwd};
}

void copyStandIn(const std::string& to) {
  std::filesystem::create_directories(std::filesystem::path(to).parent_path());
  std::filesystem::copy_file(CLIENT_STANDIN, to, std::filesystem::copy_options::overwrite_existing);
  std::filesystem::permissions(to, std::filesystem::perms::owner_all);
}

bool contains(const Lines& lines, const std::string& line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

// The real machine's programs, with a note of each start.
class StartedPrograms final : public platform::ProcessesWrapper {
 public:
  struct Start {
    Lines argv;
    std::string workingDir;
  };
  StartedPrograms() : ProcessesWrapper(platform::Processes::Default()) {}
  bool startDetached(const Lines& argv, std::string* error,
                     const std::string& workingDir = std::string()) override {
    starts.push_back({argv, workingDir});
    return ProcessesWrapper::startDetached(argv, error, workingDir);
  }
  std::vector<Start> starts;
};

class ClientLaunch : public ServerTest {
 protected:
  void SetUp() override {
    ServerTest::SetUp();
    // No display: a running process stands for the SQLupdate window.
    if (const char* display = std::getenv("DISPLAY")) display_ = display;
    unsetenv("DISPLAY");
    appDir_ = folder_.path();
    const testsupport::DatabaseServer& server = testsupport::databaseServer();
    writeFile(appDir_ + launcher::kCredentialFileName,
              "<?xml version=\"1.0\" encoding=\"GB2312\"?>\r\n<Root><dbuser>" + server.user +
                  "</dbuser><dbpass>" +
                  launcher::EncryptText(server.password, launcher::kCredentialKey) +
                  "</dbpass></Root>\r\n");

    app_ = std::make_unique<launcher::App>(appDir_, desktop_, programs_);
    main_ = std::make_unique<launcher::TFMain>(*app_);
    // What start-up reads from the configuration and finds on the machine.
    app_->DbName = db_.name();
    app_->ServerIp = server.host;
    app_->Port = server.port;
    app_->InstallationId = "A1B2-C3";
    main_->control("ed_no").setText(app_->InstallationId);
    app_->Exe = {"pos", "收银软件", "pos", ""};
    app_->Jxc = {"jxc", "进销存", "jxc", ""};
    main_->control("BitBtn1").setText(app_->Exe.title);
    main_->control("bt_jxc").setText(app_->Jxc.title);
    main_->control("sp_start").enabled = false;  // the service runs
    desktop_.show(*main_);
  }

  void TearDown() override {
    main_.reset();
    app_.reset();
    if (!display_.empty()) setenv("DISPLAY", display_.c_str(), 1);
    ServerTest::TearDown();
  }

  // The shop tables with the demo rows, as a new installation has them.
  void loadShopTables() {
    const std::optional<std::string> script = platform::utf8ToGbk(readFile(SHOP_SQL));
    ASSERT_TRUE(script.has_value());
    db_.run("drop table if exists subcom, store, mysysset;");
    db_.run(*script);
  }

  // The login window as a user who logs in successfully leaves it.
  void loginSucceeds(const std::string& user, const std::string& password) {
    windows_.onModal = [this, user, password](ui::Form& login) {
      passwordShown_ = login.control("txt_password").text();
      app_->LoginUser = user;
      app_->LoginPassword = password;
      desktop_.close(login);
    };
  }

  Lines memo() { return main_->control("Memo1").lines; }

  std::string appDir_;
  std::string display_;
  testsupport::FakeWindowSystem windows_;
  ui::Desktop desktop_{windows_};
  StartedPrograms programs_;
  std::unique_ptr<launcher::App> app_;
  std::unique_ptr<launcher::TFMain> main_;
  std::string passwordShown_ = "(not shown)";
};

TEST_F(ClientLaunch, HoveringAButtonShowsItsClientsVersionDate) {
  std::filesystem::create_directories(appDir_ + "pos");
  writeFile(appDir_ + "pos/ver.ini", "[VER]\r\nDate=2024-06-01\r\n");
  std::filesystem::create_directories(appDir_ + "clients/jxc");
  writeFile(appDir_ + "clients/jxc/ver.ini", "[ver]\r\ndate=2023-12-31\r\n");
  struct Row {
    const char* button;
    std::string path;
    std::string status;
  };
  const std::vector<Row> rows = {
      {"BitBtn1", "pos", "收银软件  版本日期:2024-06-01"},
      {"bt_jxc", "jxc", "进销存  版本日期:"},  // no ver.ini
      {"bt_jxc", "clients\\jxc", "进销存  版本日期:2023-12-31"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.status);
    (std::string(row.button) == "BitBtn1" ? app_->Exe : app_->Jxc).path = row.path;
    main_->control("stat").setText("");
    main_->control(row.button).onEnter();
    EXPECT_EQ(main_->control("stat").items.at(0), row.status);
  }
}

TEST_F(ClientLaunch, LoginIsSkippedWhileNoServerIsKnownToBeInstalled) {
  struct Row {
    const char* name;
    bool removeVisible;
    int removeTag;
  };
  const std::vector<Row> rows = {{"service not installed", false, 1},
                                 {"service removal begun", true, -1}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    main_->control("sp_del").visible = row.removeVisible;
    main_->control("sp_del").tag = row.removeTag;
    EXPECT_EQ(main_->EnsureLogin(), 0);
    EXPECT_FALSE(contains(windows_.shown, "fLogin"));
    EXPECT_TRUE(memo().empty());
  }
}

TEST_F(ClientLaunch, ClientsReceiveTheirParameterStringInTheirFolder) {
  copyStandIn(appDir_ + "pos/pos");
  copyStandIn(appDir_ + "jxc/jxc");
  writeFile(appDir_ + "pos/ver.ini", "[ver]\r\ndate=2024-06-01\r\n");
  app_->DbUser = "root";
  app_->DbPassword = "s3cret";
  const std::string database = ";dbname=" + db_.name() +
                               ";dbip=127.0.0.1;dbport=" + std::to_string(app_->Port) +
                               ";maindbuser=root;maindbpass=a2fea55b959309c0;";
  struct Row {
    const char* name;
    std::function<void()> arrange;
    const char* click;
    std::string program;  // empty: nothing is started
    std::string parameters;
    Lines messages;
  };
  const std::string pos = appDir_ + "pos/pos";
  const std::string jxc = appDir_ + "jxc/jxc";
  const std::vector<Row> rows = {
      {"online cashier",
       [&] {
         app_->LoginUser = "店长";
         app_->LoginPassword = "123";
         app_->ComName = "C001";
       },
       "BitBtn1",
       pos,
       "loginuser=店长;loginpwd=f3cc64eee976ee2d" + database + "comname=C001;driverno=A1B2-C3",
       {}},
      {"stand-alone stock keeper, empty password, in debug mode",
       [&] {
         app_->LoginUser = "收银员";
         app_->LoginPassword = "";
         app_->DebugMode = true;
       },
       "bt_jxc",
       jxc,
       "loginuser=收银员;loginpwd=" + database + "comname=;driverno=A1B2-C3",
       {"loginuser=收银员;loginpwd=" + database + "comname=;driverno=A1B2-C3",
        jxc + "  " + appDir_ + "jxc/  loginuser=收银员;loginpwd=" + database +
            "comname=;driverno=A1B2-C3"}},
      {"no server installed: started without login",
       [&] {
         app_->LoginUser = "";
         app_->LoginPassword = "";
         main_->control("sp_del").visible = false;
       },
       "BitBtn1",
       pos,
       "loginuser=;loginpwd=" + database + "comname=;driverno=A1B2-C3",
       {}},
      {"the cashier's button disabled",
       [&] {
         app_->LoginUser = "店长";
         main_->control("BitBtn1").enabled = false;
       },
       "BitBtn1",
       "",
       "",
       {}},
      {"the program missing",
       [&] {
         app_->LoginUser = "店长";
         app_->Exe.runexe = "nothere";
       },
       "BitBtn1",
       "",
       "",
       {appDir_ + "pos/nothere 文件不存在"}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    app_->ComName.clear();
    app_->DebugMode = false;
    app_->Exe.runexe = "pos";
    main_->control("BitBtn1").enabled = true;
    main_->control("sp_del").visible = true;
    windows_.messages.clear();
    programs_.starts.clear();
    for (const std::string& file : {pos, jxc}) {
      std::filesystem::remove(file + ".args");
      std::filesystem::remove(file + ".cwd");
    }
    row.arrange();

    main_->control(row.click).onClick();

    EXPECT_EQ(windows_.texts(), row.messages);
    EXPECT_FALSE(contains(windows_.shown, "fLogin"));
    if (row.program.empty()) {
      EXPECT_TRUE(programs_.starts.empty());
      continue;
    }
    ASSERT_EQ(programs_.starts.size(), 1u);
    const Recorded recorded = waitForStandIn(row.program);
    EXPECT_EQ(recorded.args, row.parameters + "\n");
    const std::string folder = std::filesystem::path(row.program).parent_path().string();
    EXPECT_EQ(recorded.cwd, folder + "\n");
  }
  EXPECT_EQ(main_->control("stat").items.at(0), "收银软件  版本日期:2024-06-01");
}

TEST_F(ClientLaunch, BranchRowsFollowTheReportedBranch) {
  struct Row {
    const char* name;
    std::string before;  // statements run first
    std::string no;
    std::string branchName;
    Lines statements;
    std::string subcom;
    std::string store;
  };
  const std::vector<Row> rows = {
      {"no branch reported: nothing", "", "", "东区店", {}, "01\t总店\n", "01\t总店\n"},
      {"a new branch replaces the others",
       "insert into subcom(subno,comName) values('02','二店');",
       "05",
       "东区店",
       {"delete from subcom where subno<>'05'", "SELECT count(*) as count FROM  subcom ",
        " insert into subcom(subno,comname) values('05','东区店')",
        "SELECT count(*) as count FROM  store where sto_code='05'",
        " insert into store(sto_code,sto_name) values('05','东区店')"},
       "05\t东区店\n",
       "01\t总店\n05\t东区店\n"},
      {"a renamed branch, its name with a quote",
       "insert into subcom(subno,comName) values('05','旧名');"
       "insert into store(sto_code,sto_name) values('05','旧名');",
       "05",
       "东区'店",
       {"delete from subcom where subno<>'05'", "SELECT count(*) as count FROM  subcom ",
        " update subcom set comName='东区''店' where subNo='05' and comName<>'东区''店'",
        "SELECT count(*) as count FROM  store where sto_code='05'",
        " update store set sto_name='东区''店' where sto_code='05' and sto_name<>'东区''店'"},
       "05\t东区'店\n",
       "01\t总店\n05\t东区'店\n"},
      // Inserted as it stands, this code would end the text early: the
      // statement would fail and every other branch would stay.
      {"a code with a quote",
       "insert into subcom(subno,comName) values('0''5','老店');",
       "0'5",
       "店",
       {"delete from subcom where subno<>'0''5'", "SELECT count(*) as count FROM  subcom ",
        " update subcom set comName='店' where subNo='0''5' and comName<>'店'",
        "SELECT count(*) as count FROM  store where sto_code='0''5'",
        " insert into store(sto_code,sto_name) values('0''5','店')"},
       "0'5\t店\n",
       "0'5\t店\n01\t总店\n"},
  };
  Lines log;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    loadShopTables();
    if (!row.before.empty()) db_.run(row.before);
    app_->sharedConnection.Replace(connect(db_.name()));
    app_->sharedConnection.Get()->StatementLog = &log;
    log.clear();
    main_->control("Memo1").lines.clear();
    app_->BranchNo.set(row.no);
    app_->BranchName.set(row.branchName);

    main_->SyncBranchRows();

    EXPECT_EQ(log, row.statements);
    EXPECT_EQ(contains(memo(), "分店：" + row.no + "   " + row.branchName), !row.no.empty());
    EXPECT_EQ(db_.query("select subno, comName from subcom order by subno"), row.subcom);
    EXPECT_EQ(db_.query("select sto_code, sto_name from store order by sto_code"), row.store);
  }
  app_->sharedConnection.Replace(nullptr);
}

TEST_F(ClientLaunch, StandAloneLoginChoosesTheLocalBranch) {
  struct Row {
    const char* name;
    std::string before;
    std::string code;
    std::string branchName;
  };
  const std::vector<Row> rows = {
      {"the default branch of the settings", "", "01", "总店"},
      {"no default branch: 01",
       "delete from mysysset where itemName='defaultsubno';"
       "update subcom set comName='旗舰店';",
       "01", "旗舰店"},
      {"a default branch that is not there: the first branch",
       "update mysysset set Itemvalue='09' where itemName='defaultsubno';"
       "delete from subcom; insert into subcom(subno,comName) values('03','三店');",
       "03", "三店"},
      // Between double quotes, as once composed, this code would break the
      // statement and the first branch would be taken instead.
      {"a code with a double quote and a backslash",
       "update mysysset set Itemvalue='a\"b\\\\c' where itemName='defaultsubno';"
       "insert into subcom(subno,comName) values('00','零店'), ('a\"b\\\\c','引号店');",
       "a\"b\\c", "引号店"},
  };
  loginSucceeds("店长", "123");
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    loadShopTables();
    if (!row.before.empty()) db_.run(row.before);
    app_->LoginUser.clear();
    app_->BranchName.set("");
    main_->control("ed_subName").setText("");
    main_->control("etLoginName").setText("");
    main_->control("Memo1").lines.clear();
    if (contains(windows_.shown, "fLogin")) {
      main_->loginWindow().control("txt_password").setText("left over");
    }

    EXPECT_EQ(main_->EnsureLogin(), 1);

    EXPECT_EQ(passwordShown_, "");
    EXPECT_EQ(app_->CurrentBranchCode, row.code);
    EXPECT_EQ(main_->control("ed_subName").text(), row.branchName);
    EXPECT_EQ(app_->BranchName.get(), row.branchName);
    EXPECT_EQ(memo(), Lines{"店长登陆成功！"});
    EXPECT_EQ(main_->control("etLoginName").text(), "店长");
    EXPECT_EQ(platform::readProfileString(appDir_ + "config/name.ini", "Name", "Companyname", ""),
              "店长");
    // Both modes store the branch as it stands, here still empty.
    EXPECT_EQ(db_.query("select ItemType, itemName, Itemvalue from mysysset where ItemType in "
                        "('company', 'driverno', 'goodsno') or itemName='savesql' "
                        "order by ItemType, itemName"),
              "company\tname\t\ncompany\tno\t\ndriverno\t店长\tA1B2-C3\n");
  }
  EXPECT_TRUE(windows_.texts().empty());
}

TEST_F(ClientLaunch, OnlineLoginStoresTheReportedBranch) {
  loadShopTables();
  loginSucceeds("店长", "123");
  app_->Url = "vendor.example.org";
  app_->ComName = "C001";
  app_->BranchNo.set("05");
  app_->BranchName.set("东区店");
  main_->control("ed_subName").setText("东区店(05)");

  EXPECT_EQ(main_->EnsureLogin(), 1);

  EXPECT_EQ(app_->CurrentBranchCode, "05");
  EXPECT_EQ(main_->control("ed_subName").text(), "东区店(05)");
  EXPECT_TRUE(contains(memo(), "分店：05   东区店"));
  EXPECT_EQ(db_.query("select subno, comName from subcom"), "05\t东区店\n");
  EXPECT_EQ(db_.query("select ItemType, itemName, Itemvalue from mysysset where ItemType in "
                      "('company', 'driverno', 'goodsno') or itemName='savesql' "
                      "order by ItemType, itemName"),
            "company\tname\t东区店\ncompany\tno\t05\ndriverno\t店长\tA1B2-C3\n"
            "goodsno\tsubcomlogin\tY\nsysset\tsavesql\tY\n");

  // No branch yet, and the branch query ends at once because the window is
  // closing: without the stored branch there is no login.
  app_->LoginUser.clear();
  app_->BranchNo.set("");
  main_->control("etLoginName").setText("");
  db_.run("delete from mysysset where ItemType='company' and itemName='no';");
  app_->Closing = true;

  EXPECT_EQ(main_->EnsureLogin(), -1);

  EXPECT_EQ(windows_.texts(),
            Lines{"暂未取到分店代码，请稍候! url:vendor.example.org   name:C001"});
  EXPECT_EQ(main_->control("etLoginName").text(), "");
}

// One test for everything that depends on a process named SQLupdate, since
// the process table is the machine's and tests run side by side.
TEST_F(ClientLaunch, DataSendStartsOnceWithItsEncipheredParameters) {
  const std::string program = appDir_ + "DataSend/SQLupdate";
  app_->DbUser = "root";
  app_->DbPassword = "s3cret";
  app_->Url = "vendor.example.org";
  app_->ComName = "C001";
  app_->BranchNo.set("05");
  app_->BranchName.set(reinterpret_cast<const char*>(u8"东区店"));  // as the service sends it
  app_->DataServerHost.set("data.example.org");
  const std::string parameters = launcher::EncryptText(
      "driverno=A1B2-C3;server=127.0.0.1;dbname=" + db_.name() + ";dbuser=root;dbpass=s3cret" +
          ";port=" + std::to_string(app_->Port) +
          ";subno=05;subname=东区店;dataserver=data.example.org;serverport=80"
          ";url=vendor.example.org;comname=C001",
      "p*4417Zr");

  // Without the program nothing happens.
  EXPECT_FALSE(main_->LaunchDataSend(appDir_));
  EXPECT_TRUE(programs_.starts.empty());

  // A client start while the branch is known starts SQLupdate as well.
  copyStandIn(program);
  copyStandIn(appDir_ + "pos/pos");
  std::filesystem::create_directories(appDir_ + "Log");
  app_->LoginUser = "店长";
  app_->BranchQueryDone = true;
  main_->control("BitBtn1").onClick();
  ASSERT_EQ(programs_.starts.size(), 2u);
  EXPECT_EQ(programs_.starts[1].argv, (Lines{program, parameters}));
  EXPECT_EQ(waitForStandIn(program).args, parameters + "\n");
  EXPECT_TRUE(windows_.texts().empty());

  // While a process of that name runs (any letter case), "ok" instead of a
  // second start.
  const auto bound = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (platform::topLevelWindowExists("SQLupdate") && std::chrono::steady_clock::now() < bound) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  ASSERT_FALSE(platform::topLevelWindowExists("SQLupdate")) << "the stand-in did not end";
  const std::string sleeper = appDir_ + "sqlupdate";
  std::filesystem::create_symlink("/bin/sleep", sleeper);
  pid_t pid = 0;
  char* argv[] = {const_cast<char*>(sleeper.c_str()), const_cast<char*>("300"), nullptr};
  ASSERT_EQ(posix_spawn(&pid, sleeper.c_str(), nullptr, nullptr, argv, environ), 0);
  app_->DebugMode = true;
  const bool startedBeside = main_->LaunchDataSend(appDir_);
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
  EXPECT_FALSE(startedBeside);
  EXPECT_EQ(windows_.texts(), Lines{"ok"});
  EXPECT_EQ(programs_.starts.size(), 2u);

  // Once it has gone, the next call starts it; debug mode shows and logs the text.
  std::filesystem::remove(program + ".args");
  std::filesystem::remove(program + ".cwd");
  EXPECT_TRUE(main_->LaunchDataSend(appDir_));
  EXPECT_EQ(programs_.starts.size(), 3u);
  EXPECT_TRUE(contains(memo(), parameters));
  std::string log;
  for (const auto& entry : std::filesystem::directory_iterator(appDir_ + "Log")) {
    log += readFile(entry.path().string());
  }
  EXPECT_NE(log.find("->gf_AutoDataSend " + program + "  " + parameters + "\r\n"),
            std::string::npos);
  EXPECT_EQ(waitForStandIn(program).args, parameters + "\n");
}

}  // namespace
}  // namespace launcher_db_test
