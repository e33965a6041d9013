#include "settings/ini_file.h"

#include <gtest/gtest.h>

namespace tolvane {
namespace {

TEST(IniDocument, ReadRules) {
    const IniDocument ini = IniDocument::Parse(
        "top=1\r\n[Main]\r\n Width = 12px \r\nneg=-7\nplus=+8\nword=abc\nempty=\nbig=99999999999\n"
        "quoted=\"  a \"\nhalf=\"open\nsingle=\"\n; comment=5\n[main]\nlater=3\nWidth=99\n");
    struct Case {
        const char* key;
        std::int32_t value;
    };
    const Case ints[] = {{"WIDTH", 12}, {"neg", -7}, {"plus", 8}, {"word", 0}, {"empty", 42},
                         {"missing", 42}, {"big", INT32_MAX}, {"quoted", 0}, {"comment", 42}, {"later", 3}};
    for (const Case& c : ints) EXPECT_EQ(ini.GetInt("MAIN", c.key, 42), c.value) << c.key;
    EXPECT_EQ(ini.GetInt("Main", "top", 42), 42);  // lines before any section belong to none

    EXPECT_EQ(ini.GetString("main", "width", "d", 255), "12px");
    EXPECT_EQ(ini.GetString("main", "quoted", "d", 255), "  a ");
    EXPECT_EQ(ini.GetString("main", "half", "d", 255), "\"open");
    EXPECT_EQ(ini.GetString("main", "single", "d", 255), "\"");
    EXPECT_EQ(ini.GetString("main", "missing", "d", 255), "d");
    EXPECT_EQ(ini.GetString("main", "empty", "d", 255), "");
    EXPECT_EQ(ini.GetString("main", "width", "d", 2), "12");
    EXPECT_EQ(ini.GetString("nowhere", "width", "", 255), "");
}

TEST(IniDocument, WriteRules) {
    IniDocument ini = IniDocument::Parse("; head\n[A]\nx=1\n\n[B]\ny=2\n");
    ini.Set("a", "X", "10");              // replaces, keeps the stored name
    ini.Set("A", "z", "line\nbreak");     // appended after the last key
    ini.Set("C", "w", "new");             // creates the section
    EXPECT_EQ(ini.Serialize(), "; head\n[A]\nx=10\nz=line break\n\n[B]\ny=2\n[C]\nw=new\n");
    ini.DeleteSection("b");
    EXPECT_FALSE(ini.HasSection("B"));
    EXPECT_EQ(ini.Serialize(), "; head\n[A]\nx=10\nz=line break\n\n[C]\nw=new\n");
    // What is written reads back.
    const IniDocument again = IniDocument::Parse(ini.Serialize());
    EXPECT_EQ(again.GetInt("A", "x", 0), 10);
    EXPECT_EQ(again.GetString("C", "w", "", 255), "new");
}

TEST(IniDocument, LeadingInt) {
    const std::pair<const char*, std::optional<std::int32_t>> cases[] = {
        {"0", 0}, {"  -12x", -12}, {"2147483647", INT32_MAX}, {"-2147483649", INT32_MIN},
        {"", std::nullopt}, {"-", std::nullopt}, {"x1", std::nullopt}, {"0x1F", 0},
    };
    for (const auto& [text, value] : cases) EXPECT_EQ(LeadingInt(text), value) << text;
}

}  // namespace
}  // namespace tolvane
