#pragma once
// OPCLumbra's use of the toolkit: starting the server and publishing the tag
// tree, answering device reads, echoing client writes back into the toolkit,
// logging, counting connections, and ending the server.
#include <windows.h>
#include <oleauto.h>

#include <string>

#include "binding_host.h"
#include "quillon.h"

namespace opclumbra {

class TTag;
class TTagManager;

class TToolkitBinding {
 public:
  // One binding per process: the toolkit's callbacks reach it through a
  // process-wide pointer while it lives.
  TToolkitBinding(TTagManager& manager, BindingHost& host);
  TToolkitBinding(const TToolkitBinding&) = delete;
  TToolkitBinding& operator=(const TToolkitBinding&) = delete;
  ~TToolkitBinding();

  void Start();
  void End();
  void RegisterTagTree(TTag& tag, TagHandle parent);
  void ApplyClientWrite(TTag& tag, const VARIANT& value);

  // Registration commands: false when ClassID or ProgID is empty, else the
  // toolkit's answer; the reasons of a failure reach the host's log.
  bool Register(const std::wstring& programPath);
  bool Unregister();

  int ConnectionCount() const { return connectionCount_; }
  bool Ending() const { return ending_; }

  // The callbacks the toolkit calls (installed by Start).
  static void __stdcall OnRead(TagHandle tag, VARIANT* value, WORD* quality, FILETIME* timeStamp, HRESULT* result);
  static void __stdcall OnWrite(TagHandle tag, VARIANT value, HRESULT* result);
  static void __stdcall OnServer(ServerHandle server, LONG action);
  static void __stdcall OnLog(BSTR text);

 private:
  // Texts as the toolkit takes them; a text the code page cannot hold is
  // reported in the log and replaced by an empty one.
  std::string Ansi(const std::u16string& text);
  bool ReadyToRegister();

  TTagManager& manager_;
  BindingHost& host_;
  int connectionCount_ = 0;
  bool ending_ = false;
};

}  // namespace opclumbra
