// NxFtpContrlVc: the FTP control library the launcher loads from sysdll/. One logged-in
// connection per process, for any thread. Each function answers 1 on success, else the server's
// failing reply code (>= 400) when it gave one, else curl's error code; -1 where that would be
// 0 or 1 (not connected, curl error 1).
//
// of_Connect(host, port, user, password, logFolder) ends an earlier connection, logs in (empty
//   port = 21, empty user = anonymous) and starts in the login folder.
// of_ChangeDir(folder): relative, or absolute with a leading "/"; taken only when CWD succeeds.
// of_UpFile / of_DownLoadFile(remoteName, localPath, mode): into or from the current remote
//   folder. mode 0 = ASCII (TYPE A: lines travel as CRLF and are written locally with LF),
//   anything else binary. An upload goes to "<remoteName>.part" and is renamed once the server
//   confirmed it and SIZE gave the local size (in ASCII mode also: one more byte per line
//   feed); a failed one is deleted as far as the connection allows. A download counts only
//   when the bytes written match the size announced. Else 18 if nothing more precise is known.
//   A failed download leaves no local file. A local file that cannot be read gives 26, one that
//   cannot be written 23, an empty remote name (or one ending in "/") 3.
// Texts are GBK bytes, null = empty. Names go percent-escaped into URLs: any byte but control
// characters (curl refuses those in FTP paths). With a log folder, each call appends a line to
// <logFolder>/NxFtpContrl.log: time, operation, user@host:port, remote, local, result; never the
// password.
#include <curl/curl.h>

#include <cstdio>
#include <ctime>
#include <mutex>
#include <string>
#include <vector>

#define NX_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

constexpr int kNotConnected = -1;

struct Session {
  CURLM* multi = nullptr;  // owns the connection, so it outlives each request
  CURL* curl = nullptr;
  std::string host, port, user, password, logFolder;
  bool absolute = false;              // the folder starts at the server's root
  std::vector<std::string> segments;  // the folder, from the login folder or the root
};

std::mutex sessionMutex;
Session session;  // guarded by sessionMutex; never cleaned up at exit (QUIT could wait)

std::string text(const char* value) { return value != nullptr ? value : ""; }

int failure(int code) { return code == 0 || code == 1 ? -1 : code; }

std::string escape(CURL* curl, const std::string& name) {
  char* escaped = curl_easy_escape(curl, name.data(), static_cast<int>(name.size()));
  std::string result = escaped != nullptr ? escaped : "";
  curl_free(escaped);
  return result;
}

// ftp://host:port/ and the folder, ending in "/"; curl sends one CWD per segment, the root
// ("%2F") first for an absolute folder.
std::string folderUrl(const Session& s, bool absolute, const std::vector<std::string>& segments) {
  const bool ipv6 = s.host.find(':') != std::string::npos;
  std::string url = "ftp://" + (ipv6 ? "[" + s.host + "]" : s.host) + ":" + s.port + "/";
  if (absolute) url += "%2F";
  for (const std::string& segment : segments) url += escape(s.curl, segment) + "/";
  return url;
}

std::string fileUrl(const Session& s, const std::string& name) {
  return folderUrl(s, s.absolute, s.segments) + escape(s.curl, name);
}

std::string remotePath(const Session& s, const std::string& name) {
  std::string path = s.absolute ? "/" : "";
  for (const std::string& segment : s.segments) path += segment + "/";
  return path + name;
}

void writeLog(const std::string& folder, const std::string& operation, const Session& s,
              const std::string& remote, const std::string& local, int result) {
  if (folder.empty()) return;
  FILE* log = std::fopen((folder + "/NxFtpContrl.log").c_str(), "ab");
  if (log == nullptr) return;
  char stamp[32];
  const std::time_t now = std::time(nullptr);
  std::tm local_time{};
  localtime_r(&now, &local_time);
  std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &local_time);
  std::fprintf(log, "%s %s %s@%s:%s remote=%s local=%s result=%d\n", stamp, operation.c_str(),
               s.user.c_str(), s.host.c_str(), s.port.c_str(), remote.c_str(), local.c_str(),
               result);
  std::fclose(log);
}

size_t discard(char*, size_t size, size_t count, void*) { return size * count; }

// Runs the prepared request: 1, the server's reply code when it refused something, else curl's.
// Like curl_easy_perform, but waiting at most 20 ms at a time: right after EPSV, libcurl 7.88
// at times has no socket to watch, and curl_easy_perform then sits out a whole second.
int run() {
  CURLM* const multi = session.multi;
  if (curl_multi_add_handle(multi, session.curl) != CURLM_OK) return CURLE_FAILED_INIT;
  int running = 1;
  CURLMcode state = CURLM_OK;
  while (running != 0 && state == CURLM_OK) {
    state = curl_multi_perform(multi, &running);
    if (running != 0 && state == CURLM_OK) state = curl_multi_poll(multi, nullptr, 0, 20, nullptr);
  }
  CURLcode code = state == CURLM_OK ? CURLE_OK : CURLE_FAILED_INIT;
  int left = 0;
  while (CURLMsg* message = curl_multi_info_read(multi, &left)) {
    if (message->msg == CURLMSG_DONE) code = message->data.result;
  }
  curl_multi_remove_handle(multi, session.curl);
  if (code == CURLE_OK) return 1;
  long reply = 0;
  curl_easy_getinfo(session.curl, CURLINFO_RESPONSE_CODE, &reply);
  return reply >= 400 ? static_cast<int>(reply) : failure(code);
}

// Options that differ between requests are all set again before each one.
void prepare(const std::string& url) {
  CURL* const curl = session.curl;
  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl, CURLOPT_UPLOAD, 0L);
  curl_easy_setopt(curl, CURLOPT_NOBODY, 0L);
  curl_easy_setopt(curl, CURLOPT_TRANSFERTEXT, 0L);
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, discard);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, nullptr);
  curl_easy_setopt(curl, CURLOPT_READFUNCTION, nullptr);
  curl_easy_setopt(curl, CURLOPT_READDATA, nullptr);
  curl_easy_setopt(curl, CURLOPT_INFILESIZE_LARGE, curl_off_t{-1});
}

// Logs in and changes into the URL's folders, transferring nothing; for a file URL, also asks
// its size (SIZE in binary type), -1 in *size when the server gives none.
int probe(const std::string& url, curl_off_t* size = nullptr) {
  prepare(url);
  curl_easy_setopt(session.curl, CURLOPT_NOBODY, 1L);
  const int result = run();
  if (size != nullptr) {
    *size = -1;
    if (result == 1) curl_easy_getinfo(session.curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, size);
  }
  return result;
}

// Sends FTP commands in the folder of `url` (a file URL), transferring nothing.
int afterwards(const std::string& url, const std::vector<std::string>& commands) {
  curl_slist* list = nullptr;
  for (const std::string& command : commands) list = curl_slist_append(list, command.c_str());
  prepare(url);
  curl_easy_setopt(session.curl, CURLOPT_NOBODY, 1L);
  curl_easy_setopt(session.curl, CURLOPT_POSTQUOTE, list);
  const int result = run();
  curl_easy_setopt(session.curl, CURLOPT_POSTQUOTE, nullptr);
  curl_slist_free_all(list);
  return result;
}

CURL* newHandle(const Session& s) {
  static std::once_flag global;
  std::call_once(global, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
  CURL* curl = curl_easy_init();
  if (curl == nullptr) return nullptr;
  curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "ftp");
  if (!s.user.empty()) {
    curl_easy_setopt(curl, CURLOPT_USERNAME, s.user.c_str());
    curl_easy_setopt(curl, CURLOPT_PASSWORD, s.password.c_str());
  }
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl, CURLOPT_PROXY, "");  // the servers are reached directly
  curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, 20L);
  curl_easy_setopt(curl, CURLOPT_SERVER_RESPONSE_TIMEOUT, 60L);
  curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, 60L);
  return curl;
}

void endSession() {
  if (session.curl != nullptr) curl_easy_cleanup(session.curl);
  if (session.multi != nullptr) curl_multi_cleanup(session.multi);
  session = Session{};
}

// The file being uploaded, and its line feeds: in ASCII mode curl sends each as CRLF (and turns
// CRLF into LF on download), so a server that keeps CRLF stores one byte more per line feed.
struct Upload {
  FILE* file = nullptr;
  curl_off_t lineFeeds = 0;
};

size_t readUpload(char* buffer, size_t size, size_t count, void* user) {
  Upload& upload = *static_cast<Upload*>(user);
  const size_t n = std::fread(buffer, 1, size * count, upload.file);
  if (n == 0 && std::ferror(upload.file)) return CURL_READFUNC_ABORT;
  for (size_t i = 0; i < n; ++i) upload.lineFeeds += buffer[i] == '\n';
  return n;
}

struct Download {
  FILE* file = nullptr;
  curl_off_t written = 0;
};

size_t writeDownload(char* data, size_t size, size_t count, void* user) {
  Download& download = *static_cast<Download*>(user);
  const size_t n = std::fwrite(data, 1, size * count, download.file);
  download.written += static_cast<curl_off_t>(n);
  return n;
}

// A name that is empty or ends in "/" would make a folder URL, which curl reads as a listing.
bool isFileName(const std::string& name) { return !name.empty() && name.back() != '/'; }

int upload(const std::string& remote, const std::string& local, bool ascii) {
  if (!isFileName(remote)) return CURLE_URL_MALFORMAT;
  Upload source;
  source.file = std::fopen(local.c_str(), "rb");
  if (source.file == nullptr) return CURLE_READ_ERROR;
  std::fseek(source.file, 0, SEEK_END);
  const curl_off_t size = std::ftell(source.file);
  std::rewind(source.file);
  if (size < 0) {
    std::fclose(source.file);
    return CURLE_READ_ERROR;
  }

  // The file travels under a name of its own and takes its name only once whole, so that a
  // transfer cut short never stands on the server as the file.
  const std::string partial = remote + ".part";
  CURL* const curl = session.curl;
  const std::string url = fileUrl(session, partial);
  prepare(url);
  curl_easy_setopt(curl, CURLOPT_UPLOAD, 1L);
  curl_easy_setopt(curl, CURLOPT_TRANSFERTEXT, ascii ? 1L : 0L);
  curl_easy_setopt(curl, CURLOPT_READFUNCTION, readUpload);
  curl_easy_setopt(curl, CURLOPT_READDATA, &source);
  curl_easy_setopt(curl, CURLOPT_INFILESIZE_LARGE, size);
  int result = run();
  std::fclose(source.file);

  // A server may confirm a file it did not get whole: only its size afterwards tells.
  curl_off_t stored = -1;
  if (result == 1) result = probe(url, &stored);
  if (result == 1 && stored != size && !(ascii && stored == size + source.lineFeeds)) {
    result = CURLE_PARTIAL_FILE;
  }
  if (result == 1) return afterwards(url, {"RNFR " + partial, "RNTO " + remote});
  afterwards(url, {"DELE " + partial});  // as far as the connection still goes
  return result;
}

int download(const std::string& remote, const std::string& local, bool ascii) {
  if (!isFileName(remote)) return CURLE_URL_MALFORMAT;
  Download target;
  target.file = std::fopen(local.c_str(), "wb");
  if (target.file == nullptr) return CURLE_WRITE_ERROR;

  CURL* const curl = session.curl;
  prepare(fileUrl(session, remote));
  curl_easy_setopt(curl, CURLOPT_TRANSFERTEXT, ascii ? 1L : 0L);
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, writeDownload);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &target);
  int result = run();
  if (result == 1) {
    curl_off_t announced = -1;
    curl_easy_getinfo(curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &announced);
    if (announced >= 0 && announced != target.written) result = CURLE_PARTIAL_FILE;
  }
  if (std::fclose(target.file) != 0 && result == 1) result = CURLE_WRITE_ERROR;
  if (result != 1) std::remove(local.c_str());
  return result;
}

// Applies a CWD-style path to the current folder, without asking the server.
void walk(const std::string& folder, bool* absolute, std::vector<std::string>* segments) {
  if (!folder.empty() && folder[0] == '/') {
    *absolute = true;
    segments->clear();
  }
  std::size_t start = 0;
  while (start <= folder.size()) {
    std::size_t end = folder.find('/', start);
    if (end == std::string::npos) end = folder.size();
    const std::string segment = folder.substr(start, end - start);
    start = end + 1;
    if (segment.empty() || segment == ".") continue;
    if (segment == ".." && !segments->empty() && segments->back() != "..") {
      segments->pop_back();
    } else if (segment != ".." || !*absolute) {
      segments->push_back(segment);  // ".." above the login folder is the server's to resolve
    }
  }
}

}  // namespace

NX_EXPORT int of_Connect(const char* host, const char* port, const char* user, const char* password,
                         const char* logFolder) {
  std::lock_guard<std::mutex> lock(sessionMutex);
  endSession();
  session.host = text(host);
  session.port = text(port).empty() ? "21" : text(port);
  session.user = text(user);
  session.password = text(password);
  session.logFolder = text(logFolder);
  session.curl = newHandle(session);
  session.multi = curl_multi_init();
  const int result = session.curl != nullptr && session.multi != nullptr
                         ? probe(folderUrl(session, false, {}))
                         : CURLE_OUT_OF_MEMORY;
  writeLog(session.logFolder, "Connect", session, "", "", result);
  if (result != 1) endSession();
  return result;
}

NX_EXPORT void of_DisConnect(void) {
  std::lock_guard<std::mutex> lock(sessionMutex);
  if (session.curl == nullptr) return;
  writeLog(session.logFolder, "DisConnect", session, remotePath(session, ""), "", 1);
  endSession();
}

NX_EXPORT int of_ChangeDir(const char* folder) {
  std::lock_guard<std::mutex> lock(sessionMutex);
  if (session.curl == nullptr) return kNotConnected;
  bool absolute = session.absolute;
  std::vector<std::string> segments = session.segments;
  walk(text(folder), &absolute, &segments);
  const int result = probe(folderUrl(session, absolute, segments));
  if (result == 1) {
    session.absolute = absolute;
    session.segments = segments;
  }
  writeLog(session.logFolder, "ChangeDir", session, text(folder), "", result);
  return result;
}

NX_EXPORT int of_UpFile(const char* remoteName, const char* localPath, int mode) {
  std::lock_guard<std::mutex> lock(sessionMutex);
  if (session.curl == nullptr) return kNotConnected;
  const int result = upload(text(remoteName), text(localPath), mode == 0);
  writeLog(session.logFolder, "UpFile", session, remotePath(session, text(remoteName)),
           text(localPath), result);
  return result;
}

NX_EXPORT int of_DownLoadFile(const char* remoteName, const char* localPath, int mode) {
  std::lock_guard<std::mutex> lock(sessionMutex);
  if (session.curl == nullptr) return kNotConnected;
  const int result = download(text(remoteName), text(localPath), mode == 0);
  writeLog(session.logFolder, "DownLoadFile", session, remotePath(session, text(remoteName)),
           text(localPath), result);
  return result;
}
