#pragma once
// What the toolkit binding needs from the program around it: the main window
// in OPCLumbra, a recording stand-in in tests.
#include <string>

namespace opclumbra {

class TTag;

class BindingHost {
 public:
  virtual ~BindingHost() = default;
  virtual void AddLogLine(const std::u16string& line) = 0;
  // The main window's Exit command (which asks for the operation password).
  virtual void RunExit() = 0;
  virtual void RefreshRow(TTag& tag) = 0;
  virtual void StartClock() = 0;
};

}  // namespace opclumbra
