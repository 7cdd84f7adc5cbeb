#pragma once

// Shared by the tests that run the host's channel code against the stand-in engine (Windows).

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "channels/binary_messenger_impl.h"
#include "tools/stand_in_engine/stand_in_api.h"

namespace stand_in_test {

constexpr unsigned kDeadlineMs = 5000;

// A freshly reset stand-in engine and the host's messenger over it.
class EngineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    StandInReset();
    FlutterDesktopEngineProperties properties = {};
    properties.dart_entrypoint = "";
    engine = FlutterDesktopEngineCreate(&properties);
    ASSERT_NE(engine, nullptr);
    messenger =
        std::make_unique<flutter::BinaryMessengerImpl>(FlutterDesktopEngineGetMessenger(engine));
  }
  // Whatever the test did, the host kept to the engine's contract.
  void TearDown() override {
    DestroyEngine();
    messenger.reset();
    EXPECT_EQ(StandInContractErrors(), std::vector<std::string>{});
  }
  void DestroyEngine() {
    if (engine != nullptr) FlutterDesktopEngineDestroy(engine);
    engine = nullptr;
  }

  FlutterDesktopEngineRef engine = nullptr;
  std::unique_ptr<flutter::BinaryMessengerImpl> messenger;
};

}  // namespace stand_in_test
