#include "runner/meter/meter_frame.h"

#include <gtest/gtest.h>

TEST(DecodeFrame, WorkedExample) {
  const uint8_t frame[] = {0xAA, 0xDD, 0x00, 0x25, 0x00, 0x03, 0x14, 0x09, 0x30, 0x45,
                           0x0C, 0x22, 0x00, 0x00, 0x01, 0x00, 0x07, 0x00, 0x00};
  MeterReading r;
  ASSERT_TRUE(DecodeFrame(frame, sizeof frame, &r));
  EXPECT_EQ(r.raw, 1234);
  EXPECT_EQ(r.rangeLabel, "400 lx");
}
