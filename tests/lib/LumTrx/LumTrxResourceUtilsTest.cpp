// String tables held as lists of their strings, resource texts and form stream signatures.
#include "lib/LumTrx/LumTrxResourceUtils.h"

#include "toolkit/base/LumExceptions.h"

#include <gtest/gtest.h>

TEST(ResourceUtils, BlockListsKeepIdsAcrossGaps) {
    TStringBlock block;
    block[1] = u"one";
    block[5] = u"five";
    TStringBlockList list = ReadStringBlockList(3, EncodeStringBlock(block));
    EXPECT_EQ(list, (TStringBlockList{{33, u"one"}, {37, u"five"}}));

    TStringBlockSlots slots = StringBlockSlots(list);
    EXPECT_EQ(slots.Block, 3);
    EXPECT_EQ(slots.Slots, block);
    EXPECT_EQ(StringBlockSlots({}).Block, 0);
    // Numbers where no 16-bit id lies give no strings, rather than ids of other blocks.
    EXPECT_TRUE(ReadStringBlockList(0, EncodeStringBlock(block)).empty());
    EXPECT_TRUE(ReadStringBlockList(4097, EncodeStringBlock(block)).empty());
    EXPECT_EQ(ReadStringBlockList(4096, EncodeStringBlock(block)).front().Id, 65521);
    EXPECT_THROW(StringBlockSlots({{33, u"one"}, {48, u"next block"}}), ELumInternalError);
}

TEST(ResourceUtils, PutStringChangesOnlyExistingStrings) {
    TStringBlockLists blocks{{}, {{33, u"one"}, {37, u"five"}}, {{49, u"x"}}};
    PutString(blocks, 37, u"FIVE");
    PutString(blocks, 38, u"not there");
    PutString(blocks, 80, u"no block");
    PutString(blocks, 49, u"");
    EXPECT_EQ(blocks[1], (TStringBlockList{{33, u"one"}, {37, u"FIVE"}}));
    EXPECT_TRUE(blocks[0].empty());

    // An emptied string stays in its list but leaves its slot empty, so it reads back as gone.
    TStringBlockSlots slots = StringBlockSlots(blocks[2]);
    EXPECT_EQ(slots.Block, 4);
    EXPECT_TRUE(ReadStringBlockList(slots.Block, EncodeStringBlock(slots.Slots)).empty());
}

TEST(ResourceUtils, FormStreamStarts) {
    auto bytes = [](std::string_view text) {
        return std::vector<std::uint8_t>(text.begin(), text.end());
    };
    EXPECT_TRUE(IsFormStreamStart(bytes("LPF0\x06TForm1")));
    EXPECT_TRUE(IsFormStreamStart(bytes("\xFF")));
    EXPECT_FALSE(IsFormStreamStart(bytes("LPF")));
    EXPECT_FALSE(IsFormStreamStart(bytes("{6B1A5C2E-0000}")));
    EXPECT_FALSE(IsFormStreamStart({}));
}

TEST(ResourceUtils, ResourceTexts) {
    std::u16string text = u"1=A\r\n\u20AC";
    std::vector<std::uint8_t> bytes = ResourceTextBytes(text);
    EXPECT_EQ(bytes.size(), 2 * text.size());
    EXPECT_EQ(ResourceTextOf(bytes), text);
    bytes.push_back(7);
    EXPECT_EQ(ResourceTextOf(bytes), text);

    EXPECT_NO_THROW(CheckResourceTextName(u"LUM.RSM"));
    try {
        CheckResourceTextName(u"Lum.Rsm");
        ADD_FAILURE();
    } catch (const Exception& error) {
        EXPECT_EQ(error.Message(), u"Internal Error: SaveRcText.ResName must be upper case.");
    }
}
