#include "toolkit/base/LumScopeGuard.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

TEST(ScopeGuard, AlwaysRunsOnBothPaths) {
    int runs = 0;
    {
        auto guard = OnScopeExit([&] { ++runs; });
    }
    EXPECT_EQ(runs, 1);
    try {
        auto guard = OnScopeExit([&] { ++runs; });
        throw std::runtime_error("failed");
    } catch (const std::runtime_error&) {
    }
    EXPECT_EQ(runs, 2);
}

TEST(ScopeGuard, FailureGuardRunsOnlyWhenAnExceptionLeavesItsScope) {
    std::string log;
    {
        auto undo = OnScopeFailure([&] { log += "undone;"; });
        log += "done;";
    }
    EXPECT_EQ(log, "done;");
    try {
        auto undo = OnScopeFailure([&] { log += "undone;"; });
        throw std::runtime_error("half way");
    } catch (const std::runtime_error& error) {
        EXPECT_STREQ(error.what(), "half way");
    }
    EXPECT_EQ(log, "done;undone;");
}

TEST(ScopeGuard, FailureGuardInsideAHandlerOnlyCountsNewExceptions) {
    // A guard made while an exception is being handled must not mistake that one for its own.
    int undone = 0;
    try {
        throw std::runtime_error("outer");
    } catch (const std::runtime_error&) {
        struct TDuringUnwind {
            int& undone;
            ~TDuringUnwind() {
                auto undo = OnScopeFailure([this] { ++undone; });
            }
        };
        TDuringUnwind probe{undone};
    }
    EXPECT_EQ(undone, 0);
}

TEST(ScopeGuard, DismissedGuardsDoNothing) {
    int runs = 0;
    try {
        auto always = OnScopeExit([&] { ++runs; });
        auto failure = OnScopeFailure([&] { ++runs; });
        always.Dismiss();
        failure.Dismiss();
        throw std::runtime_error("failed");
    } catch (const std::runtime_error&) {
    }
    EXPECT_EQ(runs, 0);
}

TEST(ScopeGuard, RestoreGivesTheOldValueBackOnBothPaths) {
    bool busy = false;
    {
        TRestore<bool> during(busy, true);
        EXPECT_TRUE(busy);
    }
    EXPECT_FALSE(busy);
    std::string mode = "idle";
    try {
        TRestore<std::string> during(mode, "saving");
        EXPECT_EQ(mode, "saving");
        throw std::runtime_error("failed");
    } catch (const std::runtime_error&) {
    }
    EXPECT_EQ(mode, "idle");
}
