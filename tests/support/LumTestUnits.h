#pragma once
// A test suite that starts its units once, before its first test, and stops them after its
// last.

#include "toolkit/base/LumUnits.h"

#include <gtest/gtest.h>

#include <optional>

template <auto& Units> class TUnitsTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { units_.emplace(Units); }
    static void TearDownTestSuite() {
        units_->Stop();
        units_.reset();
    }

  private:
    static inline std::optional<TUnitSequence> units_;
};
