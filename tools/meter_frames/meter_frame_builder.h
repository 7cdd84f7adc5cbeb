#pragma once

#include <cstdint>
#include <vector>

// What a conforming meter frame carries; shared by the tests and the meter simulator.
struct MeterFrameFields {
  int value = 0;  // display counts, 0..25599 for a conforming frame
  int rangeCode = 1;
  bool overload = false;
  uint8_t number = 0;
  int year = 2025;  // 2000..2099
  int month = 1;
  int day = 1;
  int hour = 0;
  int minute = 0;
  int second = 0;
};

// AA DD 00, BCD year, filler, BCD month day hour minute second, value / 100, value % 100,
// two fillers, range code (+0x40 on overload), 0x40 on overload, number, two fillers: 19 bytes.
std::vector<uint8_t> BuildMeterFrame(const MeterFrameFields& fields);
