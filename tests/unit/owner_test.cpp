// The handle owner: what it closes, when, and what it never closes.
#include "base/owner.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace veilmark {
namespace {

std::vector<int> closed;

void CloseNumber(int handle) {
  closed.push_back(handle);
}

// As a descriptor: -1 holds nothing, 0 is a handle like any other.
using Number = OwnerOf<int, &CloseNumber, -1>;

class OwnerTest : public ::testing::Test {
 protected:
  void SetUp() override { closed.clear(); }
};

TEST_F(OwnerTest, ClosesWhatItHoldsOnceWhenItGoes) {
  {
    Number zero(0);
    EXPECT_TRUE(zero);
    EXPECT_EQ(zero.Get(), 0);
    Number none;
    EXPECT_FALSE(none);
    EXPECT_EQ(none.Get(), -1);
    Number failed(-1);  // what a failed open() gives
    EXPECT_FALSE(failed);
  }
  EXPECT_EQ(closed, std::vector<int>{0});
}

TEST_F(OwnerTest, ResetAndPutCloseTheOldHandleFirst) {
  Number owner(3);
  owner.Reset(4);
  EXPECT_EQ(closed, std::vector<int>{3});
  *owner.Put() = 5;
  EXPECT_EQ(closed, (std::vector<int>{3, 4}));
  EXPECT_EQ(owner.Get(), 5);
  owner.Reset();
  EXPECT_FALSE(owner);
  owner.Reset();  // holding nothing: nothing more to close
  EXPECT_EQ(closed, (std::vector<int>{3, 4, 5}));
}

TEST_F(OwnerTest, DetachGivesTheHandleUpUnclosed) {
  Number owner(7);
  EXPECT_EQ(owner.Detach(), 7);
  EXPECT_FALSE(owner);
  EXPECT_TRUE(closed.empty());
}

TEST_F(OwnerTest, MovesHandOverWithoutClosing) {
  Number first(1);
  Number second(std::move(first));
  EXPECT_FALSE(first);
  EXPECT_EQ(second.Get(), 1);
  Number third(2);
  third = std::move(second);  // 2 is closed, 1 moves on
  EXPECT_EQ(closed, std::vector<int>{2});
  EXPECT_EQ(third.Get(), 1);
}

int* freed = nullptr;

void FreePointer(int* pointer) {
  freed = pointer;
}

TEST(OwnerOfPointer, NullHoldsNothing) {
  int value = 0;
  {
    OwnerOf<int*, &FreePointer> none;
    EXPECT_FALSE(none);
  }
  EXPECT_EQ(freed, nullptr);
  { OwnerOf<int*, &FreePointer> owner(&value); }
  EXPECT_EQ(freed, &value);
}

}  // namespace
}  // namespace veilmark
