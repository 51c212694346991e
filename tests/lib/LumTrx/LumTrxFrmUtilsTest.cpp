// The form text model: parse errors, text -> parse -> render byte for byte (every form file of
// the tree and texts that stretch the grammar), paths and owners, and the value converters.
#include "lib/LumTrx/LumTrxFrmUtils.h"

#include "toolkit/base/LumExceptions.h"
#include "toolkit/base/LumShortCuts.h"
#include "toolkit/base/LumStrings.h"
#include "toolkit/persist/LumFormStream.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <sstream>
#include <string>

namespace {

std::string Lines(std::initializer_list<const char*> lines) {
    std::string text;
    for (const char* line : lines) {
        text += line;
        text += "\r\n";
    }
    return text;
}

std::string RoundTrip(const std::string& text) {
    TFrmForm form;
    form.Parse(text);
    return form.Render();
}

template <class E> std::string ParseFailure(const std::string& text) {
    TFrmForm form;
    try {
        form.Parse(text);
    } catch (const E& error) {
        return WideToUtf8(error.Message());
    }
    return "no error";
}

TFrmProperty& PropertyNamed(std::vector<TFrmProperty*>& properties, const std::string& fullName) {
    for (TFrmProperty* property : properties) {
        if (property->FullName == fullName) {
            return *property;
        }
    }
    throw std::runtime_error("no property " + fullName);
}

} // namespace

TEST(FrmUtils, FormFilesOfTheTreeRenderIdentically) {
    int found = 0;
    // Under Wine the host's root is drive Z:.
#ifdef _WIN32
    std::filesystem::path root = std::filesystem::path("Z:" LUM_SOURCE_DIR);
#else
    std::filesystem::path root = LUM_SOURCE_DIR;
#endif
    for (auto it = std::filesystem::recursive_directory_iterator(root);
         it != std::filesystem::recursive_directory_iterator(); ++it) {
        std::string name = it->path().filename().string();
        if (it->is_directory() && (name.starts_with("build") || name.starts_with("."))) {
            it.disable_recursion_pending();
            continue;
        }
        if (it->path().extension() != ".form") {
            continue;
        }
        SCOPED_TRACE(it->path().string());
        std::ifstream file(it->path(), std::ios::binary);
        std::stringstream text;
        text << file.rdbuf();
        EXPECT_EQ(RoundTrip(text.str()), text.str());
        ++found;
    }
    EXPECT_GE(found, 4);
}

TEST(FrmUtils, TrickyTextsRenderIdentically) {
    // Each text is what the toolkit writes for a binary stream, so the texts are checked to be
    // the toolkit's own first.
    std::string longText(70, 'x');
    const std::string texts[] = {
        // Unnamed component, child position, inline frame.
        Lines({"object Form1: TForm1", "  object TLumTimer", "  end", "  inherited B: TB [2]",
               "  end", "  inline Frame1: TFrame1", "    Left = 3", "  end", "end"}),
        // A long string over continuation lines, "#" codes, a wide string, lists, binary data.
        Lines({"object F: TF", "  Caption = ", ("    '" + longText.substr(0, 64) + "' +").c_str(),
               ("    '" + longText.substr(64) + "'").c_str(), "  Hint = 'It'#39's '#8364#13#10'x'",
               "  Items.Strings = (", "    'a'", "    'b')", "  Data = {", "    0102FF}",
               "  Options = [a, b]", "end"}),
        // Collections: empty, two items, items with multi-line values.
        Lines({"object G: TGrid", "  Empty = <>", "  Columns = <", "    item", "      Width = 1",
               "    end", "    item",
               "      Title.Caption = ", ("        '" + longText.substr(0, 64) + "' +").c_str(),
               ("        '" + longText.substr(64) + "'").c_str(), "    end>", "end"}),
    };
    for (const std::string& text : texts) {
        SCOPED_TRACE(text);
        ASSERT_EQ(FormBinaryToText(FormTextToBinary(text)), text);
        EXPECT_EQ(RoundTrip(text), text);
    }
}

TEST(FrmUtils, PathsItemsAndInlineOwners) {
    std::string text = Lines({
        "object Main: TMain",
        "  LumInlineClasses.WideStrings = (",
        "    'TFrame1')",
        "  LumTranslatableProps.WideStrings = (",
        "    'Caption'",
        "    'Panel1.Label1.Caption')",
        "  object Panel1: TPanel",
        "    object Label1: TLabel",
        "    end",
        "  end",
        "  inline Frame1: TFrame1",
        "    object Button1: TButton",
        "      Caption = 'Go'",
        "    end",
        "  end",
        "  object Grid: TGrid",
        "    Columns = <",
        "      item",
        "        Width = 1",
        "      end",
        "      item",
        "        Width = 2",
        "      end>",
        "  end",
        "end",
    });
    TFrmForm form;
    std::vector<TFrmProperty*> properties;
    form.Parse(text, &properties);
    EXPECT_EQ(form.Render(), text);

    const TFrmObject& panel = *form.Children[0];
    EXPECT_EQ(panel.Children[0]->Path, "Main.Label1");
    EXPECT_EQ(panel.Children[0]->Owner, &form);
    const TFrmObject& frame = *form.Children[1];
    EXPECT_EQ(frame.Children[0]->Path, "Main.Frame1.Button1");
    EXPECT_EQ(frame.Children[0]->Owner, &frame);

    TFrmProperty& columns = PropertyNamed(properties, "Main.Grid.Columns");
    ASSERT_EQ(columns.Items.size(), 2u);
    EXPECT_EQ(columns.Items[1]->Path, "Main.Grid.Columns[1]");
    EXPECT_EQ(columns.Items[1]->Name, "item");
    EXPECT_EQ(PropertyNamed(properties, "Main.Grid.Columns[1].Width").Value, "2");
    // Items' properties follow the collection property, in text order.
    EXPECT_EQ(properties.back()->FullName, "Main.Grid.Columns[1].Width");

    ASSERT_TRUE(form.TranslatablePaths);
    EXPECT_EQ(*form.TranslatablePaths,
              (std::vector<std::u16string>{u"Main.Caption", u"Main.Panel1.Label1.Caption"}));
    EXPECT_TRUE(form.IsTranslatable("main.caption"));
    EXPECT_FALSE(form.IsTranslatable("Main.Frame1.Button1.Caption"));

    TFrmForm plain;
    plain.Parse(Lines({"object A: TA", "end"}));
    EXPECT_FALSE(plain.TranslatablePaths);
    EXPECT_FALSE(plain.IsTranslatable("A.Caption"));
}

TEST(FrmUtils, ParseErrors) {
    EXPECT_EQ(ParseFailure<ELumInternalError>(Lines({"object A: TA", "  X = 1"})),
              "Form parse error: No more strings to find properties.");
    EXPECT_EQ(ParseFailure<ELumInternalError>(Lines({"object A: TA", "  object B: TB", "  end"})),
              "Form parse error: No more strings to find objects.");
    EXPECT_EQ(ParseFailure<ELumInternalError>(
                  Lines({"object A: TA", "  X = <", "    item", "    end>", "  Y = 1"})),
              "Form parse error: No more strings to find properties.");
    // A line that is not "end" starts another child, which finds nothing after it.
    EXPECT_EQ(ParseFailure<ELumInternalError>(Lines({"object A: TA", "  X = 1", "ende"})),
              "Form parse error: No more strings to find properties.");
    EXPECT_EQ(
        ParseFailure<Exception>(Lines({"object A: TA", "  X = <", "    thing", "    end>", "end"})),
        "Collection Item (X[0]) must be = 'item': thing");
    EXPECT_EQ(ParseFailure<Exception>(Lines({"object A: TA", "  X = <x>", "end"})),
              "Collection Property must have 2 lines (<x>).");
    EXPECT_EQ(
        ParseFailure<Exception>(Lines({"object A: TA", "  X = <<", "    item", "    end>", "end"})),
        "Collection must start with \"<\": '<<'");
    EXPECT_EQ(
        ParseFailure<Exception>(Lines({"object A: TA", "  X = <", "    item", "    end", "end"})),
        "Collection must end with \"end>\": 'end'");
    EXPECT_EQ(ParseFailure<ELumInternalError>(""),
              "Form parse error: No more strings to find properties.");
}

TEST(FrmUtils, NestingIsLimited) {
    std::string text;
    for (int i = 0; i < kFormMaxDepth + 1; ++i) {
        text += "object A: TA\r\n";
    }
    for (int i = 0; i < kFormMaxDepth + 1; ++i) {
        text += "end\r\n";
    }
    EXPECT_EQ(ParseFailure<ELumInternalError>(text), "Form stream nested too deeply");
}

TEST(FrmUtils, StringLiteralConverter) {
    TFrmForm form;
    std::vector<TFrmProperty*> properties;
    form.Parse(Lines({"object A: TA", "  caption = 'It'#39's'", "  Hint = ", "    'ab' +",
                      "    'c'#8364", "  Font.Name = 'Arial'", "  Title.Caption = 1", "end"}),
               &properties);
    EXPECT_EQ(ConvertForReading(*properties[0]), u"It's");
    EXPECT_EQ(ConvertForReading(*properties[1]), u"abc\u20AC");
    try {
        ConvertForReading(*properties[2]);
        ADD_FAILURE();
    } catch (const ELumInternalError& error) {
        EXPECT_EQ(error.Message(), u"Property can not be converted for : Font.Name");
    }
    EXPECT_THROW(ConvertForReading(*properties[3]), EParserError);

    ConvertForWriting(*properties[0], u"");
    EXPECT_EQ(properties[0]->Value, "''");
    ConvertForWriting(*properties[0], u"It's");
    EXPECT_EQ(properties[0]->Value, "'It'#39's'");
    std::u16string long65(65, u'y');
    ConvertForWriting(*properties[1], long65);
    EXPECT_EQ(properties[1]->Value, "\r\n'" + std::string(64, 'y') + "' +\r\n'y'");
    EXPECT_EQ(ConvertForReading(*properties[1]), long65);
    // The form renders with the new value.
    EXPECT_NE(form.Render().find("  caption = 'It'#39's'\r\n"), std::string::npos);
}

TEST(FrmUtils, ShortCutConverter) {
    TFrmForm form;
    std::vector<TFrmProperty*> properties;
    form.Parse(Lines({"object A: TA", "  ShortCut = 16467", "  shortcut = x", "end"}), &properties);
    EXPECT_EQ(ConvertForReading(*properties[0]), u"Ctrl+S");
    EXPECT_THROW(ConvertForReading(*properties[1]), EConvertError);
    ConvertForWriting(*properties[0], u"Shift+Ctrl+F12");
    EXPECT_EQ(properties[0]->Value, std::to_string(scShift | scCtrl | 0x7B));

    EXPECT_EQ(ShortCutToText(scAlt | 0x2E), u"Alt+Del");
    EXPECT_EQ(ShortCutToText(0x07), u"");
    for (std::uint16_t shortCut : {0x41, scCtrl | 0x30, scShift | scAlt | 0x0D, scCtrl | 0x70}) {
        EXPECT_EQ(TextToShortCut(ShortCutToText(shortCut)), shortCut) << shortCut;
    }
    EXPECT_EQ(TextToShortCut(u"ctrl+a"), scCtrl | 0x41);
    EXPECT_EQ(TextToShortCut(u"Ctrl+"), 0);
    EXPECT_EQ(TextToShortCut(u"Ctrl+Nothing"), 0);
}
