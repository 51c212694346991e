#include "toolkit/base/LumUnits.h"

#include "toolkit/base/LumExceptions.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string journal;
bool failStartOfB = false;
bool failStopOfB = false;
bool failStartOfC = false;

TUnit unitA(
    "A", [] { journal += "+A"; }, [] { journal += "-A"; });
TUnit unitB(
    "B",
    [] {
        if (failStartOfB) {
            throw ELumGeneralError(u"B cannot start");
        }
        journal += "+B";
    },
    [] {
        journal += "-B";
        if (failStopOfB) {
            throw ELumGeneralError(u"B cannot stop");
        }
    });
TUnit unitC(
    "C",
    [] {
        if (failStartOfC) {
            throw ELumGeneralError(u"C cannot start");
        }
        journal += "+C";
    },
    [] { journal += "-C"; });

TUnit* const kOrder[] = {&unitA, &unitB, &unitC};

class Units : public ::testing::Test {
  protected:
    void SetUp() override {
        journal.clear();
        failStartOfB = failStopOfB = failStartOfC = false;
    }
};

} // namespace

TEST_F(Units, OnlyFirstStartAndLastStopAct) {
    unitA.Start();
    unitA.Start();
    EXPECT_EQ(unitA.StartCount(), 2);
    unitA.Stop();
    EXPECT_EQ(journal, "+A");
    unitA.Stop();
    unitA.Stop(); // a stop without a start does nothing
    EXPECT_EQ(journal, "+A-A");
    EXPECT_EQ(unitA.StartCount(), 0);
}

TEST_F(Units, SequenceStopsInReverse) {
    {
        TUnitSequence sequence(kOrder);
        EXPECT_EQ(journal, "+A+B+C");
        sequence.Stop();
    }
    EXPECT_EQ(journal, "+A+B+C-C-B-A");
}

TEST_F(Units, FailedStartStopsWhatStarted) {
    failStartOfB = true;
    EXPECT_THROW(TUnitSequence sequence(kOrder), ELumGeneralError);
    EXPECT_EQ(journal, "+A-A");
    EXPECT_EQ(unitB.StartCount(), 0);
    EXPECT_EQ(unitC.StartCount(), 0);
}

// The failed start is what the caller hears of, not a stop that fails on the way out.
TEST_F(Units, FailedStartIsReportedOverAFailedStop) {
    failStartOfC = true;
    failStopOfB = true;
    try {
        TUnitSequence sequence(kOrder);
        ADD_FAILURE() << "the sequence started";
    } catch (const ELumGeneralError& error) {
        EXPECT_EQ(error.Message(), u"C cannot start");
    }
    EXPECT_EQ(journal, "+A+B-B-A");
    EXPECT_EQ(unitA.StartCount(), 0);
    EXPECT_EQ(unitB.StartCount(), 0);
}

TEST_F(Units, FailedStopStillStopsTheRest) {
    TUnitSequence sequence(kOrder);
    failStopOfB = true;
    EXPECT_THROW(sequence.Stop(), ELumGeneralError);
    EXPECT_EQ(journal, "+A+B+C-C-B-A");
    EXPECT_EQ(unitA.StartCount(), 0);
}

TEST_F(Units, TheObserverSeesEachActionThatRanAndNoFailedStart) {
    TUnitObserver previous = SetUnitObserver([](const TUnit& unit, bool started) {
        journal += std::string(started ? "<started " : "<stopped ") + unit.Name() + ">";
    });
    unitA.Start();
    {
        TUnitSequence sequence(kOrder);
        sequence.Stop();
    }
    failStartOfC = true;
    EXPECT_THROW(TUnitSequence sequence(kOrder), ELumGeneralError);
    unitA.Stop();
    EXPECT_NE(SetUnitObserver(previous), nullptr);
    EXPECT_EQ(journal, "+A<started A>"
                       "+B<started B>+C<started C>-C<stopped C>-B<stopped B>"
                       "+B<started B>-B<stopped B>"
                       "-A<stopped A>");
}
