#pragma once
// The configuration file: the component stream of the manager, kept beside
// the program under the program's base name with the extension ".dat".
#include <cstdint>
#include <filesystem>
#include <vector>

#include "ansi_codepage.h"

namespace opclumbra {

class TTagManager;

// ProgramPath with its extension replaced by ".dat".
std::filesystem::path ConfigFileName(const std::filesystem::path& programPath);

// The whole file's bytes. Throws EConfigFileError when it cannot be opened or read.
std::vector<std::uint8_t> ReadWholeFile(const std::filesystem::path& path);

// Reads the whole file into Manager, all or nothing. Throws EConfigFileError when
// the file cannot be opened or read, EComponentStreamError when its content is not a
// valid stream; Manager is then left as it was.
void LoadConfigFile(const std::filesystem::path& path, TTagManager& manager, const AnsiCodePage& codePage);

// Writes the whole tree into a file created anew. The stream is composed
// before the file is touched, so a tree that cannot be written (EComponentStreamError)
// leaves an existing file intact; EConfigFileError when the file cannot be written.
void SaveConfigFile(const std::filesystem::path& path, const TTagManager& manager, const AnsiCodePage& codePage);

}  // namespace opclumbra
