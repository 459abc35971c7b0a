#include "config_file.h"

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

class ConfigFile : public testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("app_model_tests_" + std::to_string(std::random_device()()));
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string Content(const fs::path& path) const {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }

  fs::path dir_;
};

TEST(ConfigFileName, ReplacesTheProgramsExtension) {
  EXPECT_EQ(ConfigFileName(fs::path("opt") / "app" / "OPCLumbra.exe"), fs::path("opt") / "app" / "OPCLumbra.dat");
  EXPECT_EQ(ConfigFileName(fs::path("dir") / "prog"), fs::path("dir") / "prog.dat");
  EXPECT_EQ(ConfigFileName(fs::path("a.b") / "x.y.exe"), fs::path("a.b") / "x.y.dat");
}

TEST_F(ConfigFile, SaveThenLoad) {
  TTagManager original;
  original.SetDescription(u"中文");
  TTag& tag = TTag::Create(original);
  tag.SetName(u"T1");
  tag.SetTagType(TTag::Leaf);
  tag.SetInitValue(u"12");
  fs::path path = dir_ / "OPCLumbra.dat";
  SaveConfigFile(path, original, TestCodePage());
  TTagManager loaded;
  LoadConfigFile(path, loaded, TestCodePage());
  EXPECT_EQ(test::StoredDump(loaded), test::StoredDump(original));
}

TEST_F(ConfigFile, SaveReplacesAnExistingFile) {
  fs::path path = dir_ / "c.dat";
  std::ofstream(path, std::ios::binary) << std::string(10000, 'z');
  TTagManager manager;
  SaveConfigFile(path, manager, TestCodePage());
  EXPECT_LT(fs::file_size(path), 200u);
  TTagManager loaded;
  LoadConfigFile(path, loaded, TestCodePage());
  EXPECT_EQ(test::StoredDump(loaded), test::StoredDump(manager));
}

TEST_F(ConfigFile, ATreeThatCannotBeWrittenLeavesTheFileIntact) {
  fs::path path = dir_ / "c.dat";
  TTagManager manager;
  SaveConfigFile(path, manager, TestCodePage());
  const std::string saved = Content(path);
  TTag::Create(manager);  // unnamed
  EXPECT_THROW(SaveConfigFile(path, manager, TestCodePage()), EComponentStreamError);
  EXPECT_EQ(Content(path), saved);
}

TEST_F(ConfigFile, SaveIntoAMissingFolderIsAFileError) {
  TTagManager manager;
  EXPECT_THROW(SaveConfigFile(dir_ / "missing" / "c.dat", manager, TestCodePage()), EConfigFileError);
}

TEST_F(ConfigFile, LoadOfAMissingFileIsAFileErrorAndChangesNothing) {
  TTagManager manager;
  manager.SetProgID(u"Kept.1");
  try {
    LoadConfigFile(dir_ / "none.dat", manager, TestCodePage());
    FAIL();
  } catch (const EConfigFileError& e) {
    EXPECT_NE(std::string(e.what()).find("Cannot open file"), std::string::npos) << e.what();
  }
  EXPECT_EQ(manager.ProgID(), u"Kept.1");
}

TEST_F(ConfigFile, LoadOfACorruptFileIsAStreamErrorAndChangesNothing) {
  fs::path path = dir_ / "c.dat";
  std::ofstream(path, std::ios::binary) << "TPF0\xF4";
  TTagManager manager;
  manager.SetProgID(u"Kept.1");
  EXPECT_THROW(LoadConfigFile(path, manager, TestCodePage()), EComponentStreamError);
  EXPECT_EQ(manager.ProgID(), u"Kept.1");
}

}  // namespace
}  // namespace opclumbra
