#include "toolkit/base/LumDateTime.h"

#include "toolkit/base/LumStrings.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

TEST(LumDateTime, DatesAsTexts) {
    struct Case {
        double date;
        const char16_t* text;
    };
    const Case cases[] = {
        {0, u"12/30/1899"},
        {36526, u"1/1/2000"},
        {36526.5, u"1/1/2000 12:00:00 PM"},
        {36526.75, u"1/1/2000 6:00:00 PM"},
        // Before 1899-12-30 the fraction still counts forward from midnight.
        {-1.25, u"12/29/1899 6:00:00 AM"},
        {-693593, u"1/1/0001"},
        {2958465, u"12/31/9999"},
        // A time that rounds to the next midnight is that day.
        {36526.9999999999, u"1/2/2000"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(WideToUtf8(c.text));
        EXPECT_EQ(DateTimeToText(c.date), c.text);
    }
    // Outside the years 1 to 9999 there is no text.
    for (double date : {-693594.0, 2958466.0, 1e10, std::nan("")}) {
        SCOPED_TRACE(date);
        EXPECT_FALSE(DateTimeToText(date));
    }
}

TEST(LumDateTime, TextsAsDates) {
    struct Case {
        const char16_t* text;
        double date;
    };
    const Case cases[] = {
        {u"1/2/2000", 36527},
        {u" 2/29/2000 00:30 ", 36585 + 1800 / 86400.0},
        {u"12:00 AM", 0},
        {u"6:00:00 am", 0.25},
        {u"12:00 PM", 0.5},
        {u"12/29/1899 6:00 AM", -1.25},
        {u"12/31/1999 11:59:59 PM", 36525 + 86399 / 86400.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(WideToUtf8(c.text));
        ASSERT_TRUE(DateTimeFromText(c.text));
        EXPECT_DOUBLE_EQ(*DateTimeFromText(c.text), c.date);
    }
    for (const char16_t* text :
         {u"", u"abc", u"2/30/2000", u"2/29/1900", u"13/1/2000", u"1/1/10000", u"1/1/0",
          u"13:00 PM", u"0:30 AM", u"24:00", u"12:60", u"1/1/2000 noon", u"12/31"}) {
        SCOPED_TRACE(WideToUtf8(text));
        EXPECT_FALSE(DateTimeFromText(text));
    }
}
