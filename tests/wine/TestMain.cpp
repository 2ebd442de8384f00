// The main of the test programs run under wine. A run in which a case skipped and none failed
// ends with kSkippedExitCode, which CTest reports as Skipped (SKIP_RETURN_CODE), so that a skip
// is never counted as a pass. Cases that can skip run as CTest tests of their own (see
// tests/wine/CMakeLists.txt), so that their skip hides no passing case.
#include <gtest/gtest.h>

namespace {
constexpr int kSkippedExitCode = 77;
}

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  const int result = RUN_ALL_TESTS();
  const ::testing::UnitTest& run = *::testing::UnitTest::GetInstance();
  if (result == 0 && run.skipped_test_count() > 0) return kSkippedExitCode;
  return result;
}
