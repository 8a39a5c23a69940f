// The streamed entry is a libzip source callback that takes its bytes from
// a bounded queue; zip_close runs on the compression thread and pulls them.
// A discarded archive makes the callback fail, so zip_close gives up and
// removes its temporary file, leaving the old archive untouched.
#include "launcher/backup/archive.h"

#include <zip.h>

#include <condition_variable>
#include <cstring>
#include <ctime>
#include <deque>
#include <mutex>
#include <thread>

namespace launcher {
namespace {

constexpr std::size_t kQueueBytes = 8 << 20;

}  // namespace

struct TArchiveWriter::Impl {
  std::string path, streamedName, bufferedName, bufferedBytes;
  zip_t* archive = nullptr;
  std::thread compressor;
  bool begun = false, finished = false;

  std::mutex mutex;
  std::condition_variable changed;
  std::deque<std::string> chunks;
  std::size_t queued = 0;  // bytes in chunks
  std::size_t offset = 0;  // read from the front chunk
  bool ended = false;      // no more bytes will come
  bool keep = false;       // with ended: finish the entry, else fail it
  bool closed = false;     // zip_close has returned
  bool written = false;    // ... and wrote the archive
  std::string problem;     // why it did not

  zip_int64_t read(void* data, zip_uint64_t length) {
    std::unique_lock lock(mutex);
    changed.wait(lock, [this] { return !chunks.empty() || ended; });
    if (chunks.empty()) return keep ? 0 : -1;
    const std::string& front = chunks.front();
    const std::size_t count = std::min<std::size_t>(length, front.size() - offset);
    std::memcpy(data, front.data() + offset, count);
    offset += count;
    if (offset == front.size()) {
      queued -= front.size();
      chunks.pop_front();
      offset = 0;
      changed.notify_all();
    }
    return static_cast<zip_int64_t>(count);
  }

  static zip_int64_t callback(void* state, void* data, zip_uint64_t length, zip_source_cmd_t cmd) {
    auto* self = static_cast<Impl*>(state);
    switch (cmd) {
      case ZIP_SOURCE_OPEN:
      case ZIP_SOURCE_CLOSE:
      case ZIP_SOURCE_FREE:
        return 0;
      case ZIP_SOURCE_READ:
        return self->read(data, length);
      case ZIP_SOURCE_STAT: {
        // The size is known only at the end; libzip copes with that.
        auto* stat = static_cast<zip_stat_t*>(data);
        zip_stat_init(stat);
        stat->mtime = std::time(nullptr);
        stat->valid |= ZIP_STAT_MTIME;
        return sizeof(zip_stat_t);
      }
      case ZIP_SOURCE_ERROR: {
        auto* codes = static_cast<int*>(data);
        codes[0] = ZIP_ER_CANCELLED;
        codes[1] = 0;
        return 2 * sizeof(int);
      }
      case ZIP_SOURCE_SUPPORTS:
        return zip_source_make_command_bitmap(ZIP_SOURCE_OPEN, ZIP_SOURCE_READ, ZIP_SOURCE_CLOSE,
                                              ZIP_SOURCE_STAT, ZIP_SOURCE_ERROR, ZIP_SOURCE_FREE,
                                              -1);
      default:
        return -1;
    }
  }

  static std::string errorOf(zip_t* archive) { return zip_strerror(archive); }

  bool add(zip_source_t* source, const std::string& name, std::string* error) {
    const zip_int64_t index = zip_file_add(archive, name.c_str(), source, ZIP_FL_OVERWRITE);
    if (index < 0) {
      zip_source_free(source);
      *error = path + ": " + errorOf(archive);
      return false;
    }
    zip_set_file_compression(archive, static_cast<zip_uint64_t>(index), ZIP_CM_DEFLATE, 6);
    return true;
  }

  void close() {
    const bool ok = zip_close(archive) == 0;
    std::string why;
    if (!ok) {
      why = path + ": " + errorOf(archive);
      zip_discard(archive);
    }
    archive = nullptr;
    std::lock_guard lock(mutex);
    closed = true;
    written = ok;
    problem = why;
    changed.notify_all();
  }
};

TArchiveWriter::TArchiveWriter(std::string archivePath, std::string streamedName,
                               std::string bufferedName, std::string bufferedBytes)
    : impl_(std::make_unique<Impl>()) {
  impl_->path = std::move(archivePath);
  impl_->streamedName = std::move(streamedName);
  impl_->bufferedName = std::move(bufferedName);
  impl_->bufferedBytes = std::move(bufferedBytes);
}

TArchiveWriter::~TArchiveWriter() {
  std::string ignored;
  if (impl_->begun && !impl_->finished) Finish(false, &ignored);
}

bool TArchiveWriter::Begin(std::string* error) {
  Impl& d = *impl_;
  int code = 0;
  d.archive = zip_open(d.path.c_str(), ZIP_CREATE, &code);
  if (d.archive == nullptr) {
    zip_error_t reason;
    zip_error_init_with_code(&reason, code);
    *error = d.path + ": " + zip_error_strerror(&reason);
    zip_error_fini(&reason);
    return false;
  }
  zip_source_t* streamed = zip_source_function(d.archive, &Impl::callback, &d);
  zip_source_t* buffered =
      zip_source_buffer(d.archive, d.bufferedBytes.data(), d.bufferedBytes.size(), 0);
  if (streamed == nullptr || buffered == nullptr || !d.add(streamed, d.streamedName, error) ||
      !d.add(buffered, d.bufferedName, error)) {
    if (error->empty()) *error = d.path + ": " + Impl::errorOf(d.archive);
    zip_discard(d.archive);
    d.archive = nullptr;
    return false;
  }
  d.begun = true;
  d.compressor = std::thread([&d] { d.close(); });
  return true;
}

void TArchiveWriter::Feed(std::string_view bytes) {
  Impl& d = *impl_;
  if (!d.begun || bytes.empty()) return;
  std::unique_lock lock(d.mutex);
  // A compressor that has given up takes nothing more.
  d.changed.wait(lock, [&d] { return d.queued < kQueueBytes || d.closed; });
  if (d.closed) return;
  d.chunks.emplace_back(bytes);
  d.queued += bytes.size();
  d.changed.notify_all();
}

bool TArchiveWriter::Finish(bool keep, std::string* error) {
  Impl& d = *impl_;
  if (!d.begun || d.finished) return false;
  d.finished = true;
  {
    std::lock_guard lock(d.mutex);
    d.ended = true;
    d.keep = keep;
    if (!keep) {
      d.chunks.clear();
      d.queued = 0;
    }
    d.changed.notify_all();
  }
  d.compressor.join();
  if (!keep) return false;
  if (!d.written) *error = d.problem;
  return d.written;
}

bool ReadArchiveDump(const std::string& archivePath, const std::function<void(long long)>& begin,
                     const std::function<bool(std::string_view)>& sink, std::string* error) {
  int code = 0;
  zip_t* archive = zip_open(archivePath.c_str(), ZIP_RDONLY, &code);
  if (archive == nullptr) {
    zip_error_t reason;
    zip_error_init_with_code(&reason, code);
    *error = archivePath + ": " + zip_error_strerror(&reason);
    zip_error_fini(&reason);
    return false;
  }
  const zip_int64_t count = zip_get_num_entries(archive, 0);
  zip_int64_t dump = -1;
  for (zip_int64_t i = 0; i < count && dump < 0; ++i) {
    std::string name = zip_get_name(archive, static_cast<zip_uint64_t>(i), ZIP_FL_ENC_RAW);
    for (char& c : name)
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (name.ends_with(".sql")) dump = i;
  }
  bool read = false;
  zip_stat_t stat;
  zip_file_t* entry = nullptr;
  if (dump < 0) {
    *error = archivePath + ": 压缩包里没有数据库备份文件（.SQL）";
  } else if (zip_stat_index(archive, static_cast<zip_uint64_t>(dump), 0, &stat) != 0 ||
             (entry = zip_fopen_index(archive, static_cast<zip_uint64_t>(dump), 0)) == nullptr) {
    *error = archivePath + ": " + zip_strerror(archive);
  } else {
    begin((stat.valid & ZIP_STAT_SIZE) != 0 ? static_cast<long long>(stat.size) : 0);
    std::string buffer(1 << 20, '\0');
    read = true;
    for (;;) {
      const zip_int64_t n = zip_fread(entry, buffer.data(), buffer.size());
      if (n < 0) {
        *error = archivePath + ": " + zip_file_strerror(entry);
        read = false;
        break;
      }
      if (n == 0) break;
      if (!sink(std::string_view(buffer.data(), static_cast<std::size_t>(n)))) {
        read = false;
        break;
      }
    }
    zip_fclose(entry);
  }
  zip_discard(archive);
  return read;
}

}  // namespace launcher
