// The one sentence writer: each fault says what became of the files, and names
// are kept as they are.

#include "base/fault_message.h"

#include <gtest/gtest.h>

namespace {

struct Row {
  Fault fault;
  const char* says;  // what the sentence must hold besides the reason
  bool wroteNothing;
};

class FaultMessage : public testing::TestWithParam<Row> {};

TEST_P(FaultMessage, SaysWhatWasWrittenAndWhy) {
  const Attempt a{"the import of x.bmp", "bitmap 3 of panel.gau", "panel.gau", "x.bmp"};
  const std::string m = faultMessage(a, GetParam().fault, "Its reason.");
  EXPECT_NE(m.find(GetParam().says), std::string::npos) << m;
  EXPECT_EQ(m.find("nothing was written") != std::string::npos, GetParam().wroteNothing) << m;
  if (GetParam().fault != Fault::ReadOnly && GetParam().fault != Fault::TargetExists) {
    EXPECT_NE(m.find("Its reason."), std::string::npos) << m;
  }
}

INSTANTIATE_TEST_SUITE_P(
    EveryFault, FaultMessage,
    testing::Values(Row{Fault::Bitmap, "Bitmap 3 of panel.gau cannot be worked on", true},
                    Row{Fault::Source, "The import of x.bmp was not done", true},
                    Row{Fault::DoesNotFit, "The file x.bmp does not fit bitmap 3", true},
                    Row{Fault::Target, "Any older file of that name is as it was", false},
                    Row{Fault::TargetExists, "x.bmp already exists and was kept", false},
                    Row{Fault::OutOfMemory, "not enough memory", true},
                    Row{Fault::GaugeWrite, "may have been written", false},
                    Row{Fault::NotWritten, "the gauge file panel.gau is as it was", false},
                    Row{Fault::ReadOnly, "panel.gau is read-only", true}));

TEST(FaultMessage, NoneSaysNothingAndNamesKeepTheirCase) {
  EXPECT_EQ(faultMessage({}, Fault::None, "x"), "");
  // Without a gauge's name, no gap where it would stand.
  for (const Fault f : {Fault::NotWritten, Fault::ReadOnly})
    EXPECT_EQ(faultMessage({.action = "import"}, f, "").find("  "), std::string::npos);
  const std::string m = faultMessage({.action = "Send", .file = "lower.bmp"}, Fault::Target, "");
  EXPECT_NE(m.find("lower.bmp"), std::string::npos) << m;
}

}  // namespace
