#pragma once
// The program's configuration file over one run. A file that exists but cannot
// be loaded is never lost: the program keeps its defaults, and before the
// first save writes over the file, the unreadable one is copied beside it as
// "<file>.bak" (or "<file>.<n>.bak" when earlier copies are there).
#include <filesystem>
#include <optional>

#include "ansi_codepage.h"

namespace opclumbra {

class TTagManager;

class TConfigStore {
 public:
  explicit TConfigStore(std::filesystem::path path) : path_(std::move(path)) {}

  const std::filesystem::path& Path() const noexcept { return path_; }

  // Loads the file into Manager when it exists; false when there is none.
  // Throws as LoadConfigFile does, Manager then left as it was.
  bool Load(TTagManager& manager, const AnsiCodePage& codePage);

  // Writes the tree, first keeping a copy of a file that failed to load.
  // Throws EConfigFileError, without touching the file, when that copy
  // cannot be made.
  void Save(const TTagManager& manager, const AnsiCodePage& codePage);

  // Copies the file, when there is one, to the next free backup name (as an
  // unreadable one is kept), before it is replaced. Throws EConfigFileError
  // when the copy cannot be made.
  void KeepCopy();

  // Where the file was kept, once it was.
  const std::optional<std::filesystem::path>& Backup() const noexcept { return backup_; }

 private:
  std::filesystem::path FreeBackupName() const;

  std::filesystem::path path_;
  bool unreadable_ = false;
  std::optional<std::filesystem::path> backup_;
};

}  // namespace opclumbra
