#pragma once
// The service runs while a client holds one of its objects: each object holds
// a ProcessReference, and the last one to go ends the message loop of the
// thread that registered the class.
#include <windows.h>

namespace serverlist {

// The thread whose message loop ends when the last reference goes.
void SetServiceThread(DWORD threadId);
// True once any object has been made: an idle process that never served one
// may end on its own.
bool EverReferenced();

// One hold on the process, and its end; the last end stops the loop.
void HoldProcess();
void ReleaseProcess();

class ProcessReference {
 public:
  ProcessReference() { HoldProcess(); }
  ProcessReference(const ProcessReference&) = delete;
  ProcessReference& operator=(const ProcessReference&) = delete;
  ~ProcessReference() { ReleaseProcess(); }
};

}  // namespace serverlist
