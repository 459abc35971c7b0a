// A client process connects to a host process's server through real
// out-of-process COM.
#include <gtest/gtest.h>
#include <objbase.h>

#include <string>

#include "com_ptr.h"
#include "host_process.h"

namespace {

using quillon::ComPtr;

class ServerLifecycle : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    e2e::StartWatchdog(240000);
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  }
  // Each host serves a class of its own, so tests may run in parallel.
  const e2e::ClassId id_ = e2e::ClassId::New();
};

// The handle the host saw for the first "server <handle> 0" line.
std::string CreatedHandle(const e2e::HostProcess& host) {
  for (const auto& l : host.Events())
    if (l.rfind("server ", 0) == 0 && l.size() > 2 && l.compare(l.size() - 2, 2, " 0") == 0)
      return l.substr(7, l.size() - 9);
  return {};
}

}  // namespace

TEST_F(ServerLifecycle, ConnectingAndReleasingReachTheHost) {
  e2e::HostProcess host(id_.text);
  ASSERT_TRUE(host.WaitReady(30000));
  ComPtr<IUnknown> server;
  ASSERT_EQ(CoCreateInstance(id_.clsid, nullptr, CLSCTX_LOCAL_SERVER, IID_IUnknown, server.PutVoid()), S_OK);
  ASSERT_NE(server.Get(), nullptr);
  std::string handle = CreatedHandle(host);
  ASSERT_FALSE(handle.empty());
  server.Reset();
  EXPECT_TRUE(host.WaitForEvent("server " + handle + " 1", 10000));
  ASSERT_TRUE(host.Quit(10000));
  EXPECT_EQ(host.Events().back(), "exit");
}

TEST_F(ServerLifecycle, FreeServerDisconnectsAClientStillHoldingItsObject) {
  e2e::HostProcess host(id_.text);
  ASSERT_TRUE(host.WaitReady(30000));
  ComPtr<IUnknown> server;
  ASSERT_EQ(CoCreateInstance(id_.clsid, nullptr, CLSCTX_LOCAL_SERVER, IID_IUnknown, server.PutVoid()), S_OK);
  ComPtr<IUnknown> other;
  EXPECT_EQ(server->QueryInterface(IID_IPersist, other.PutVoid()), E_NOINTERFACE);
  std::string handle = CreatedHandle(host);

  host.RequestFree();
  ASSERT_TRUE(host.WaitForEvent("free -1", 10000));
  EXPECT_TRUE(host.WaitForEvent("server " + handle + " 1", 1000));
  EXPECT_TRUE(FAILED(server->QueryInterface(IID_IPersistStream, other.PutVoid())));
  // The class object is revoked: nobody new can connect.
  ComPtr<IUnknown> late;
  EXPECT_TRUE(FAILED(CoCreateInstance(id_.clsid, nullptr, CLSCTX_LOCAL_SERVER, IID_IUnknown, late.PutVoid())));
  // Releasing the stale reference must not reach the destroyed object.
  server.Reset();
  ASSERT_TRUE(host.Quit(10000));
  EXPECT_EQ(host.Events().back(), "exit");
}

TEST_F(ServerLifecycle, EachClientGetsItsOwnServerObject) {
  e2e::HostProcess host(id_.text);
  ASSERT_TRUE(host.WaitReady(30000));
  ComPtr<IUnknown> a, b;
  ASSERT_EQ(CoCreateInstance(id_.clsid, nullptr, CLSCTX_LOCAL_SERVER, IID_IUnknown, a.PutVoid()), S_OK);
  ASSERT_EQ(CoCreateInstance(id_.clsid, nullptr, CLSCTX_LOCAL_SERVER, IID_IUnknown, b.PutVoid()), S_OK);
  int created = 0;
  for (const auto& l : host.Events()) created += l.rfind("server ", 0) == 0 && l.back() == '0';
  EXPECT_EQ(created, 2);
  a.Reset();
  b.Reset();
  ASSERT_TRUE(host.Quit(10000));
}
