// Writes a small demonstration configuration for screenshots of OPCLumbra:
// "demo_config.exe PATH" saves a branch of leaves with Chinese texts as PATH.
#include <windows.h>

#include <cstdio>
#include <filesystem>

#include "ansi_codepage_win.h"
#include "config_file.h"
#include "model_error.h"
#include "tag.h"
#include "tag_manager.h"

namespace {

using opclumbra::TTag;

void AddLeaf(opclumbra::TNamedItem& owner, const char16_t* name, std::uint16_t dataType, const char16_t* init) {
  TTag& tag = TTag::Create(owner);
  tag.SetName(name);
  tag.SetTagType(TTag::Leaf);
  tag.SetDataType(dataType);
  tag.SetInitValue(init);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) {
    std::fputs("usage: demo_config.exe PATH\n", stderr);
    return 2;
  }
  opclumbra::TTagManager manager;
  TTag& area = TTag::Create(manager);
  area.SetName(u"Area1");
  area.SetTagType(TTag::Branch);
  // Indices of the data type table: 0 integer, 1 float, 2 boolean, 3 string.
  AddLeaf(area, u"Greeting", 3, u"你好");
  AddLeaf(area, u"Place", 3, u"车间一号");
  AddLeaf(area, u"Level", 1, u"21.5");
  AddLeaf(area, u"Count", 0, u"42");
  AddLeaf(area, u"Running", 2, u"1");
  TTag& line = TTag::Create(manager);
  line.SetName(u"Line2");
  line.SetTagType(TTag::Branch);
  AddLeaf(line, u"Speed", 1, u"3.75");
  try {
    opclumbra::SaveConfigFile(std::filesystem::path(argv[1]), manager, opclumbra::WindowsAnsiCodePage());
  } catch (const opclumbra::EModelError&) {
    std::fputs("demo_config: the configuration could not be saved\n", stderr);
    return 1;
  }
  return 0;
}
