#include "error_texts.h"

#include <gtest/gtest.h>

#include "eopc.h"
#include "opc_error.h"

using namespace quillon;

TEST(ErrorTexts, TableTextsAreExact) {
  EXPECT_EQ(ErrorText(OPC_E_BADTYPE),
            L"The server cannot convert the data between the requested data type and the canonical data type.");
  EXPECT_EQ(ErrorText(E_INVALIDARG), L"One or more arguments are invalid.");
  EXPECT_EQ(ErrorText(OPC_S_INUSE),
            L"The operation cannot be completed because the object still has references that exist.");
  EXPECT_EQ(ErrorText(HRESULT(0x00040200)), L"The condition has already been acknowleged.");
  EXPECT_EQ(ErrorText(OPC_E_INVALID_PID), L"The server does not recognise the passed property ID.");
}

TEST(ErrorTexts, UnknownCodesGetTheDefaultText) {
  EXPECT_EQ(ErrorText(E_FAIL), L"Error: 80004005 not Found");
  EXPECT_EQ(ErrorText(HRESULT(0x1F)), L"Error: 1F not Found");
  EXPECT_EQ(ErrorText(OPC_E_DEADBANDNOTSET), L"Error: C0040400 not Found");
}

TEST(EOPC, CarriesCodeAndSymbolicName) {
  try {
    RaiseOPC(OPC_E_BADTYPE);
  } catch (const EOPC& e) {
    EXPECT_EQ(e.ErrorCode, OPC_E_BADTYPE);
    EXPECT_STREQ(e.what(), "OPC_E_BADTYPE");
  }
  EOPC inUse(OPC_S_INUSE);
  EXPECT_EQ(inUse.ErrorCode, OPC_S_INUSE);
  EXPECT_STREQ(inUse.what(), "OPC_S_INUSE");
  EXPECT_STREQ(EOPC(HRESULT(0x12345678)).what(), "0x12345678");
}
