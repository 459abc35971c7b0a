#include "config_file.h"

#include <fstream>
#include <iterator>
#include <vector>

#include "component_stream.h"
#include "config_file_error.h"

namespace opclumbra {
namespace {

std::u16string PathText(const std::filesystem::path& path) { return path.u16string(); }

}  // namespace

std::filesystem::path ConfigFileName(const std::filesystem::path& programPath) {
  return std::filesystem::path(programPath).replace_extension(".dat");
}

std::vector<std::uint8_t> ReadWholeFile(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) throw EConfigFileError(u"Cannot open file " + PathText(path));
  std::vector<std::uint8_t> stream;
  try {
    stream.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
  } catch (const std::ios_base::failure&) {
    // The stream buffer throws past the stream's own state, e.g. for a directory.
    throw EConfigFileError(u"Cannot read file " + PathText(path));
  }
  if (file.bad()) throw EConfigFileError(u"Cannot read file " + PathText(path));
  return stream;
}

void LoadConfigFile(const std::filesystem::path& path, TTagManager& manager, const AnsiCodePage& codePage) {
  ReadComponentStream(ReadWholeFile(path), manager, codePage);
}

void SaveConfigFile(const std::filesystem::path& path, const TTagManager& manager, const AnsiCodePage& codePage) {
  std::vector<std::uint8_t> stream = WriteComponentStream(manager, codePage);
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  if (!file) throw EConfigFileError(u"Cannot create file " + PathText(path));
  file.write(reinterpret_cast<const char*>(stream.data()), static_cast<std::streamsize>(stream.size()));
  file.close();
  if (!file) throw EConfigFileError(u"Cannot write file " + PathText(path));
}

}  // namespace opclumbra
