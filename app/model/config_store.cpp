#include "config_store.h"

#include <string>
#include <system_error>

#include "config_file.h"
#include "config_file_error.h"

namespace opclumbra {

bool TConfigStore::Load(TTagManager& manager, const AnsiCodePage& codePage) {
  std::error_code error;
  if (!std::filesystem::exists(path_, error)) return false;
  try {
    LoadConfigFile(path_, manager, codePage);
  } catch (...) {
    unreadable_ = true;
    throw;
  }
  unreadable_ = false;
  return true;
}

std::filesystem::path TConfigStore::FreeBackupName() const {
  std::error_code error;
  std::filesystem::path name = path_;
  name += ".bak";
  for (int n = 1; std::filesystem::exists(name, error); ++n) {
    name = path_;
    name += ".";
    name += std::to_string(n);
    name += ".bak";
  }
  return name;
}

void TConfigStore::KeepCopy() {
  std::error_code error;
  // The file may have gone or been mended by hand since: then there is nothing to keep.
  if (std::filesystem::exists(path_, error)) {
    std::filesystem::path backup = FreeBackupName();
    if (!std::filesystem::copy_file(path_, backup, error))
      throw EConfigFileError(u"Cannot keep the file " + path_.u16string() + u" as " + backup.u16string());
    backup_ = backup;
  }
  unreadable_ = false;
}

void TConfigStore::Save(const TTagManager& manager, const AnsiCodePage& codePage) {
  if (unreadable_) KeepCopy();
  SaveConfigFile(path_, manager, codePage);
}

}  // namespace opclumbra
