#include "config_store.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "component_stream_error.h"
#include "config_file_error.h"
#include "tag.h"
#include "tag_manager.h"
#include "test_code_page.h"
#include "tree_dump.h"

namespace opclumbra {
namespace {

namespace fs = std::filesystem;
using test::TestCodePage;

class ConfigStore : public testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("config_store_tests_" + std::to_string(std::random_device()()));
    fs::create_directories(dir_);
    path_ = dir_ / "OPCLumbra.dat";
  }
  void TearDown() override { fs::remove_all(dir_); }

  static std::string Content(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }
  void Write(const fs::path& path, const std::string& bytes) const {
    std::ofstream(path, std::ios::binary) << bytes;
  }

  fs::path dir_, path_;
};

TEST_F(ConfigStore, NoFileMeansDefaultsAndSaveCreatesIt) {
  TConfigStore store(path_);
  TTagManager manager;
  EXPECT_FALSE(store.Load(manager, TestCodePage()));
  TTag::Create(manager).SetName(u"A");
  store.Save(manager, TestCodePage());
  TTagManager loaded;
  EXPECT_TRUE(TConfigStore(path_).Load(loaded, TestCodePage()));
  EXPECT_EQ(test::StoredDump(loaded), test::StoredDump(manager));
  EXPECT_FALSE(store.Backup());
  EXPECT_FALSE(fs::exists(dir_ / "OPCLumbra.dat.bak"));
}

TEST_F(ConfigStore, AnUnreadableFileIsKeptBeforeTheFirstSaveOnly) {
  const std::string corrupt = "TPF0\x08TTagManager\x0bOPCLumbra\x04";  // cut inside the first property
  Write(path_, corrupt);
  TConfigStore store(path_);
  TTagManager manager;
  const std::string defaults = test::StoredDump(manager);
  EXPECT_THROW(store.Load(manager, TestCodePage()), EComponentStreamError);
  EXPECT_EQ(test::StoredDump(manager), defaults);

  store.Save(manager, TestCodePage());
  ASSERT_TRUE(store.Backup());
  EXPECT_EQ(*store.Backup(), dir_ / "OPCLumbra.dat.bak");
  EXPECT_EQ(Content(dir_ / "OPCLumbra.dat.bak"), corrupt);
  TTagManager loaded;
  EXPECT_TRUE(TConfigStore(path_).Load(loaded, TestCodePage()));

  // The saved file is this run's own: saving again writes no second copy.
  store.Save(manager, TestCodePage());
  EXPECT_FALSE(fs::exists(dir_ / "OPCLumbra.dat.1.bak"));
}

TEST_F(ConfigStore, EarlierCopiesAreNotOverwritten) {
  Write(dir_ / "OPCLumbra.dat.bak", "first");
  Write(dir_ / "OPCLumbra.dat.1.bak", "second");
  Write(path_, "garbage");
  TConfigStore store(path_);
  TTagManager manager;
  EXPECT_ANY_THROW(store.Load(manager, TestCodePage()));
  store.Save(manager, TestCodePage());
  EXPECT_EQ(Content(dir_ / "OPCLumbra.dat.bak"), "first");
  EXPECT_EQ(Content(dir_ / "OPCLumbra.dat.1.bak"), "second");
  EXPECT_EQ(Content(dir_ / "OPCLumbra.dat.2.bak"), "garbage");
}

TEST_F(ConfigStore, ACopyThatCannotBeMadeStopsTheSave) {
  // A directory in the file's place cannot be read as a file, nor copied.
  fs::create_directories(path_);
  TConfigStore store(path_);
  TTagManager manager;
  EXPECT_THROW(store.Load(manager, TestCodePage()), EConfigFileError);
  EXPECT_THROW(store.Save(manager, TestCodePage()), EConfigFileError);
  EXPECT_FALSE(store.Backup());
  EXPECT_TRUE(fs::is_directory(path_));
}

}  // namespace
}  // namespace opclumbra
