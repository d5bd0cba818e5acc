// Checked arrays: an access outside the extent is a fault carrying the
// two-line subscript report, naming the source line of the access.
#include "recordio/checked_array.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <utility>

namespace recordio {
namespace {

constexpr std::string_view label_main = "tamorin/MAIN";

// Runs `access` and returns the report of the fault it raised.
template <typename Access>
std::pair<std::string, bool> fault_of(Access access) {
  try {
    access();
  } catch (const subscript_fault& fault) {
    return {fault.report(), true};
  }
  return {"(no fault)", false};
}

TEST(CheckedArray, AccessesWithinTheExtentAreFine) {
  fixed_array<double, 25> rsr{"rsr", label_main};
  rsr(1) = 0.5;
  rsr(25) = 0.25;
  EXPECT_EQ(rsr(1), 0.5);
  EXPECT_EQ(rsr.slice(1, 25).size(), 25u);
  EXPECT_TRUE(rsr.slice(1, 0).empty());
  EXPECT_TRUE(rsr.slice(30, -2).empty());
}

TEST(CheckedArray, TwentySixthElementNamesTheArrayAndTheLine) {
  fixed_array<double, 25> rsr{"rsr", label_main};
  unsigned line = 0;
  const auto [err, faulted] = fault_of([&] {
    line = __LINE__ + 1;
    rsr(26) = 1;
  });
  EXPECT_TRUE(faulted);
  EXPECT_EQ(err, "Subscript out of range on file line " + std::to_string(line) +
                     ", procedure tamorin/MAIN.\n"
                     "Attempt to access the 26-th element of variable rsr.\n");
}

TEST(CheckedArray, ZeroAndNegativeSubscriptsAreOutOfRange) {
  fixed_array<double, 30> wep{"wep", label_main};
  EXPECT_NE(fault_of([&] { (void)wep(0); }).first.find("the 0-th element of variable wep."),
            std::string::npos);
  EXPECT_NE(fault_of([&] { (void)wep(-4); }).first.find("the -4-th element of variable wep."),
            std::string::npos);
}

TEST(CheckedArray, LabelStopsAtUnderscoreAndNameAtBlank) {
  fixed_array<int, 2> a{"pv2 extra", "tamorin/regwei_inner"};
  const std::string err = fault_of([&] { (void)a(3); }).first;
  EXPECT_NE(err.find(", procedure tamorin/regwei.\n"), std::string::npos);
  EXPECT_NE(err.find("-th element of variable pv2.\n"), std::string::npos);
}

TEST(CheckedMatrix, EachSubscriptIsCheckedAgainstItsOwnExtent) {
  fixed_matrix<double, 30, 30> corin{"corin[subscript-1-of-2]", "corin[subscript-2-of-2]",
                                     label_main};
  corin(30, 30) = 1;
  // Row 2, column 31 lies inside the 900 elements but outside the columns.
  EXPECT_NE(fault_of([&] { (void)corin(2, 31); })
                .first.find("Attempt to access the 31-th element of variable "
                            "corin[subscript-2-of-2].\n"),
            std::string::npos);
  // The row is checked first.
  EXPECT_NE(fault_of([&] {
              (void)corin(31, 40);
            }).first.find("the 31-th element of variable corin[subscript-1-of-2].\n"),
            std::string::npos);
  EXPECT_EQ(corin.row(30, 30).size(), 30u);
  EXPECT_NE(fault_of([&] { (void)corin.row(1, 31); }).first.find("the 31-th element"),
            std::string::npos);
}

// Where a deck may ask for too many elements, the caller asks first.
TEST(CheckedArray, SlotSaysWhetherAnElementExists) {
  fixed_array<double, 25> rsr{"rsr", label_main};
  ASSERT_NE(rsr.slot(25), nullptr);
  *rsr.slot(25) = 0.5;
  EXPECT_EQ(rsr(25), 0.5);
  EXPECT_EQ(rsr.slot(26), nullptr);
  EXPECT_EQ(rsr.slot(0), nullptr);
  EXPECT_EQ(rsr.fault_report(26, 35),
            "Subscript out of range on file line 35, procedure tamorin/MAIN.\n"
            "Attempt to access the 26-th element of variable rsr.\n");
}

}  // namespace
}  // namespace recordio
