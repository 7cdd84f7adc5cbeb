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

// Sends from the interface side and lets the message loop deliver it until the host answered.
inline uint64_t Deliver(const std::string& channel, const std::vector<uint8_t>& bytes) {
  const uint64_t id = StandInSend(channel, bytes);
  EXPECT_EQ(StandInWaitForReply(id, kDeadlineMs), 1) << "still waiting for an answer";
  return id;
}

// Sends and pumps until the host's callback ran, answered or not.
inline uint64_t DeliverAndKeep(const std::string& channel, const std::vector<uint8_t>& bytes) {
  const uint64_t id = StandInSend(channel, bytes);
  for (int i = 0; i < 500 && StandInMessageState(id) == kStandInQueued; ++i) StandInPump(10);
  EXPECT_NE(StandInMessageState(id), kStandInQueued);
  return id;
}

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
