#pragma once
// A host with a small address space of its own and opcclient.exe run against
// it by class ID.
#include <regex>
#include <string>
#include <vector>

#include "client_process.h"
#include "opc_client.h"

namespace client {

class ClientTest : public e2e::HostedServer {
 protected:
  std::vector<std::string> Tags() const override {
    return {"Tank1.Level 5 3 1.5", "Tank1.Temp 4 1 20",        "Pump 3 3 7",
            "Name 8 3 one\ttwo",   "Flag 11 3 1",              "Boiler.Pressure 5 3 2"};
  }

  // opcclient COMMAND {class ID} ARGS...
  Outcome Opc(const std::string& command, std::vector<std::string> args = {}) {
    args.insert(args.begin(), {command, classId_.text});
    return RunClient(args);
  }

  // What the server itself says about a code: the text opcclient must print.
  std::string ServerText(HRESULT hr) {
    auto common = server_.Query<IOPCCommon>();
    e2e::TaskString text;
    if (!common || FAILED(common->GetErrorString(hr, text.Put()))) return "<none>";
    return e2e::Narrow(text.Get());
  }
};

inline bool IsIsoTime(const std::string& text) {
  static const std::regex kIso(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z)");
  return std::regex_match(text, kIso);
}

// A value line without its timestamp, which must be ISO 8601 UTC.
inline std::vector<std::string> WithoutTime(const std::string& line) {
  auto f = Fields(line);
  if (f.size() != 5 || !IsIsoTime(f[4])) return {"<bad value line: " + line + ">"};
  f.pop_back();
  return f;
}

using Strings = std::vector<std::string>;

}  // namespace client
