// The MySQL client layer over a library bound with dlopen: one process-wide binding whose
// entry points are looked up by name on first use, and the connection, statement and
// result classes that call through it. Only <mysql.h> declarations are used, never linked.
#include "launcher/support/mysql_client.h"

#include <dlfcn.h>
#include <mysql.h>
#include <sys/stat.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <mutex>

#include "launcher/support/error.h"

namespace launcher {
namespace {

enum Entry : int {
  kInit,
  kRealConnect,
  kSelectDb,
  kSetCharacterSet,
  kError,
  kRealQuery,
  kStoreResult,
  kFreeResult,
  kAffectedRows,
  kNumRows,
  kNumFields,
  kFetchFieldDirect,
  kDataSeek,
  kFetchRow,
  kGetClientVersion,
  kGetClientInfo,
  kClose,
  kOptions,
  kPing,
  kEntryCount
};

constexpr const char* kEntryNames[kEntryCount] = {
    "mysql_init",
    "mysql_real_connect",
    "mysql_select_db",
    "mysql_set_character_set",
    "mysql_error",
    "mysql_real_query",
    "mysql_store_result",
    "mysql_free_result",
    "mysql_affected_rows",
    "mysql_num_rows",
    "mysql_num_fields",
    "mysql_fetch_field_direct",
    "mysql_data_seek",
    "mysql_fetch_row",
    "mysql_get_client_version",
    "mysql_get_client_info",
    "mysql_close",  // for replaced connections and failed logins, not left open
    "mysql_options",
    "mysql_ping",
};

// The one binding of the process. Never destroyed, so that a connection closed during
// static destruction still finds its library.
struct Binding {
  std::mutex mutex;
  void* library = nullptr;
  std::string fileName;  // the loaded file's full name, for the missing-procedure text
  std::atomic<void*> slots[kEntryCount] = {};
  std::atomic<int> users{0};  // live connections and result sets
};

Binding& binding() {
  static Binding* instance = new Binding;
  return *instance;
}

void* lookupLocked(Binding& b, Entry entry) {
  if (void* address = b.slots[entry].load(std::memory_order_acquire)) return address;
  if (b.library == nullptr) throw LauncherError("MySQL: libmysql not loaded");
  void* address = dlsym(b.library, kEntryNames[entry]);
  if (address == nullptr) {
    throw LauncherError(std::string("MySQL: Procedure \"") + kEntryNames[entry] +
                        "\"  not found in library \"" + b.fileName + "\"");
  }
  b.slots[entry].store(address, std::memory_order_release);
  return address;
}

// The entry point as a typed function pointer; F is decltype(&::mysql_xxx).
template <typename F>
F entryPoint(Entry entry) {
  Binding& b = binding();
  if (void* address = b.slots[entry].load(std::memory_order_acquire)) {
    return reinterpret_cast<F>(address);
  }
  std::lock_guard lock(b.mutex);
  return reinterpret_cast<F>(lookupLocked(b, entry));
}

void releaseLocked(Binding& b) {
  for (auto& slot : b.slots) slot.store(nullptr, std::memory_order_release);
  if (b.library != nullptr) {
    // The client's one-time global state would otherwise be lost with the code that owns it.
    if (void* end = dlsym(b.library, "mysql_server_end")) {
      reinterpret_cast<decltype(&::mysql_server_end)>(end)();
    }
    dlclose(b.library);
  }
  b.library = nullptr;
  b.fileName.clear();
}

bool fileMissing(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) != 0 && (errno == ENOENT || errno == ENOTDIR);
}

// Refuses client versions from 6.1.0 on; leaves the library released when it does.
void checkVersionLocked(Binding& b) {
  try {
    auto version =
        reinterpret_cast<decltype(&::mysql_get_client_version)>(lookupLocked(b, kGetClientVersion));
    if (version() >= 60100) {
      auto info =
          reinterpret_cast<decltype(&::mysql_get_client_info)>(lookupLocked(b, kGetClientInfo));
      const char* text = info();
      throw LauncherError(std::string("MySQL: libmysql ") + (text ? text : "") +
                          " is not compatible");
    }
  } catch (...) {
    releaseLocked(b);
    throw;
  }
}

}  // namespace

void LoadClientLibrary(const std::string& path) {
  Binding& b = binding();
  std::lock_guard lock(b.mutex);
  if (b.library != nullptr) return;
  // RTLD_LOCAL keeps the client's symbols out of the global scope; RTLD_NOW reports a
  // library that cannot resolve its own dependencies here rather than at the first call.
  b.library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (b.library == nullptr) {
    const char* reason = dlerror();
    std::string systemText = reason ? reason : "";
    if (fileMissing(path)) throw LauncherError("MySQL: Library \"" + path + "\" not found");
    throw LauncherError(systemText + " - " + path);
  }
  std::error_code ignored;
  b.fileName = std::filesystem::absolute(path, ignored).lexically_normal().string();
  checkVersionLocked(b);
}

bool ReleaseClientLibrary() {
  Binding& b = binding();
  std::lock_guard lock(b.mutex);
  if (b.users.load() != 0) return false;
  releaseLocked(b);
  return true;
}

bool ClientLibraryLoaded() {
  Binding& b = binding();
  std::lock_guard lock(b.mutex);
  return b.library != nullptr;
}

int ClientLibraryVersion() {
  return static_cast<int>(entryPoint<decltype(&::mysql_get_client_version)>(kGetClientVersion)());
}

std::string ClientLibraryInfo() {
  const char* text = entryPoint<decltype(&::mysql_get_client_info)>(kGetClientInfo)();
  return text ? text : "";
}

// ---- TMySqliConn ----

namespace {

// A server that hangs must not hold the window for ever; a statement of the
// launcher never takes long.
constexpr unsigned int kConnectTimeoutSeconds = 10;
constexpr unsigned int kReadWriteTimeoutSeconds = 120;

void limitWaits(st_mysql* handle) {
  try {
    auto options = entryPoint<decltype(&::mysql_options)>(kOptions);
    options(handle, MYSQL_OPT_CONNECT_TIMEOUT, &kConnectTimeoutSeconds);
    options(handle, MYSQL_OPT_READ_TIMEOUT, &kReadWriteTimeoutSeconds);
    options(handle, MYSQL_OPT_WRITE_TIMEOUT, &kReadWriteTimeoutSeconds);
  } catch (const LauncherError&) {
    // A library without mysql_options waits as it always did.
  }
}

// A handle logged in, on `database` when that can be selected (*selected),
// speaking GBK. Raises LauncherError: "mysql_init failed", or the client's
// error text when the login fails (the handle is closed again).
st_mysql* openHandle(const std::string& host, const std::string& user, const std::string& password,
                     const std::string& database, int port, bool* selected) {
  st_mysql* handle = entryPoint<decltype(&::mysql_init)>(kInit)(nullptr);
  if (handle == nullptr) throw LauncherError("mysql_init failed");
  try {
    limitWaits(handle);
    auto connect = entryPoint<decltype(&::mysql_real_connect)>(kRealConnect);
    if (connect(handle, host.c_str(), user.c_str(), password.c_str(), nullptr,
                static_cast<unsigned int>(port), nullptr, 0) == nullptr) {
      const char* text = entryPoint<decltype(&::mysql_error)>(kError)(handle);
      throw LauncherError(text ? text : "");
    }
    *selected = entryPoint<decltype(&::mysql_select_db)>(kSelectDb)(handle, database.c_str()) == 0;
    entryPoint<decltype(&::mysql_set_character_set)>(kSetCharacterSet)(handle, "gbk");
    return handle;
  } catch (...) {
    try {
      entryPoint<decltype(&::mysql_close)>(kClose)(handle);
    } catch (...) {
    }
    throw;
  }
}

}  // namespace

TMySqliConn::TMySqliConn(const std::string& host, const std::string& user,
                         const std::string& password, const std::string& database, int port)
    : host_(host), user_(user), password_(password), database_(database), port_(port) {
  LoadClientLibrary();
  bool selected = false;
  Handle = openHandle(host, user, password, database, port, &selected);
  binding().users.fetch_add(1);
  ErrorText = selected ? "" : "notdb";
  Connected = selected;
}

bool TMySqliConn::Answers() {
  if (!Connected) return false;
  try {
    if (entryPoint<decltype(&::mysql_ping)>(kPing)(Handle) == 0) return true;
    bool selected = false;
    st_mysql* renewed = openHandle(host_, user_, password_, database_, port_, &selected);
    if (!selected) {
      entryPoint<decltype(&::mysql_close)>(kClose)(renewed);
      return false;
    }
    entryPoint<decltype(&::mysql_close)>(kClose)(Handle);
    Handle = renewed;
    return true;
  } catch (const LauncherError&) {
    return false;
  }
}

TMySqliConn::~TMySqliConn() {
  try {
    entryPoint<decltype(&::mysql_close)>(kClose)(Handle);
  } catch (...) {
    // A library without mysql_close leaves the handle to process exit.
  }
  binding().users.fetch_sub(1);
}

// ---- TMySqliQueryResult ----

TMySqliQueryResult::TMySqliQueryResult(st_mysql_res* resultSet) : ResultSet(resultSet) {
  if (ResultSet != nullptr) binding().users.fetch_add(1);
}

TMySqliQueryResult::~TMySqliQueryResult() {
  try {
    Close();
  } catch (...) {
  }
}

int TMySqliQueryResult::RowCount() const {
  if (ResultSet == nullptr) return 0;
  return static_cast<int>(entryPoint<decltype(&::mysql_num_rows)>(kNumRows)(ResultSet));
}

int TMySqliQueryResult::FieldCount() const {
  if (ResultSet == nullptr) return 0;
  return static_cast<int>(entryPoint<decltype(&::mysql_num_fields)>(kNumFields)(ResultSet));
}

void TMySqliQueryResult::Next() {
  if (!Eof()) ++RowIndex;
}

std::string TMySqliQueryResult::GetFieldNameByIndex(int index) const {
  if (index < 0 || index >= FieldCount()) {
    throw LauncherError("TMysqliQueryResult GetFieldNameByIndex unknow index");
  }
  const MYSQL_FIELD* field = entryPoint<decltype(&::mysql_fetch_field_direct)>(kFetchFieldDirect)(
      ResultSet, static_cast<unsigned int>(index));
  return field && field->name ? std::string(field->name) : std::string();
}

int TMySqliQueryResult::GetFieldIndexByName(const std::string& name) const {
  const int count = FieldCount();
  for (int index = 0; index < count; ++index) {
    if (GetFieldNameByIndex(index) == name) return index;
  }
  return -1;
}

std::string TMySqliQueryResult::GetDataByFieldName(const std::string& name) const {
  if (ResultSet == nullptr) throw LauncherError("TMysqli GetDataByFieldName qryResult = nil");
  if (Bof() || Eof()) throw LauncherError("TMysqli GetDataByFieldName BOF or EOF");
  const int column = GetFieldIndexByName(name);
  if (column == -1) throw LauncherError("TMysqli GetDataByFieldName Field not exist");
  entryPoint<decltype(&::mysql_data_seek)>(kDataSeek)(ResultSet,
                                                      static_cast<my_ulonglong>(RowIndex));
  MYSQL_ROW row = entryPoint<decltype(&::mysql_fetch_row)>(kFetchRow)(ResultSet);
  if (row == nullptr || row[column] == nullptr) return std::string();
  return row[column];
}

void TMySqliQueryResult::Close() {
  if (ResultSet == nullptr) return;
  st_mysql_res* resultSet = ResultSet;
  ResultSet = nullptr;
  binding().users.fetch_sub(1);
  entryPoint<decltype(&::mysql_free_result)>(kFreeResult)(resultSet);
}

// ---- TMySqli ----

TMySqli::TMySqli(TMySqliConn& connection)
    : Connection(connection), Handle(connection.GetHandle()) {}

std::unique_ptr<TMySqliQueryResult> TMySqli::Open() {
  if (Connection.StatementLog != nullptr) Connection.StatementLog->push_back(SQL);
  if (entryPoint<decltype(&::mysql_real_query)>(kRealQuery)(Handle, SQL.data(), SQL.size()) != 0) {
    return nullptr;
  }
  return std::make_unique<TMySqliQueryResult>(
      entryPoint<decltype(&::mysql_store_result)>(kStoreResult)(Handle));
}

int TMySqli::Execute() {
  std::unique_ptr<TMySqliQueryResult> result = Open();
  if (!result) return -1;
  result->Close();
  return static_cast<int>(entryPoint<decltype(&::mysql_affected_rows)>(kAffectedRows)(Handle));
}

// ---- SharedConnection ----

void SharedConnection::Replace(std::unique_ptr<TMySqliConn> connection) {
  std::unique_ptr<TMySqliConn> previous = std::move(connection_);
  connection_ = std::move(connection);
  previous.reset();  // closes it
}

}  // namespace launcher
