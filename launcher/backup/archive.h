// A backup archive written while its dump is still being made: the dump's
// bytes are handed over as they come and deflated (level 6) on a thread of
// its own, the description follows from memory. The archive appears under
// its name only when it is complete and kept (libzip writes it aside and
// renames it into place); an archive already there is updated and keeps
// its other entries, and a discarded one stays exactly as it was.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace launcher {

class TArchiveWriter {
 public:
  // The first entry is fed by Feed() under `streamedName`, the second holds
  // `bufferedBytes` under `bufferedName`; both names are bare file names.
  TArchiveWriter(std::string archivePath, std::string streamedName, std::string bufferedName,
                 std::string bufferedBytes);
  ~TArchiveWriter();  // discards what was not finished
  TArchiveWriter(const TArchiveWriter&) = delete;
  TArchiveWriter& operator=(const TArchiveWriter&) = delete;

  // Opens the archive and starts the compression. False with the reason in
  // *error when the archive cannot be opened or read.
  bool Begin(std::string* error);
  // Bytes of the first entry, in order. Waits while the compression is far
  // behind, so memory stays bounded.
  void Feed(std::string_view bytes);
  // Ends the first entry. With `keep` the archive is written under its name
  // and true returned, or false with the reason in *error when that fails;
  // without it everything is discarded and false returned.
  bool Finish(bool keep, std::string* error);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// Reads the dump of a backup archive, its first entry whose name ends in
// ".sql" (letter case ignored), without unpacking it anywhere: `begin` gets
// its size, then `sink` its bytes piece by piece until it returns false.
// False with the reason in *error when the archive, the entry or a piece
// cannot be read, or the sink stopped.
bool ReadArchiveDump(const std::string& archivePath, const std::function<void(long long)>& begin,
                     const std::function<bool(std::string_view)>& sink, std::string* error);

}  // namespace launcher
