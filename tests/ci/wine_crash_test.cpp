// A program that faults on purpose, for the Wine launcher's own check (CTest WILL_FAIL): a crash
// must fail the test whatever exit status Wine reports.
//   no argument       faults inside a test, after GoogleTest's first lines;
//   --after-summary   the test passes and the summary is printed, then it faults on its way out.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

namespace {

bool gFaultAfterSummary = false;

void Fault() {
  std::fflush(stdout);
  volatile int* volatile target = nullptr;
  *target = 1;
}

TEST(WineCrash, FaultsOnPurpose) {
  std::puts("about to fault");
  if (!gFaultAfterSummary) Fault();
}

}  // namespace

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  gFaultAfterSummary = argc > 1 && std::strcmp(argv[1], "--after-summary") == 0;
  const int result = RUN_ALL_TESTS();
  if (gFaultAfterSummary) Fault();
  return result;
}
