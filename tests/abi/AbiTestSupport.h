#pragma once
#include <gtest/gtest.h>

#include "tests/support/TestHost.h"

namespace tessaron::test {

// A loaded and opened instance, as a host has it after effOpen.
class OpenedInstance : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(LoadedModule::Get().Entry(), nullptr) << LoadedModule::Get().Error();
    Configure(host);
    ASSERT_TRUE(host.Load());
    host.Dispatch(vst::effOpen);
    host.Dispatch(vst::effSetSampleRate, 0, 0, nullptr, 44100.0f);
    host.Dispatch(vst::effSetBlockSize, 0, 512);
    host.Dispatch(vst::effMainsChanged, 0, 1);
  }
  virtual void Configure(TestHost&) {}
  TestHost host;
};

}  // namespace tessaron::test
