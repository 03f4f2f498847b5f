// loadConfig, saveConfig, configFileExists and configPath on files that are as they should be.
#include "config/config.hpp"

#include "json_assertions.hpp"
#include "scratch_directory.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using json = nlohmann::json;
using namespace configtest;

const std::string kName = "Brickwright";
const std::string kPath = configPath(kName, true);

json parse(const char* text) {
    return json::parse(text);
}

class ConfigFile : public ScratchDirectory {};

TEST_F(ConfigFile, PathIsTheNameWithCfgInsideTheConfigDirectoryOnlyWithTheFlag) {
#if defined(_WIN32)
    EXPECT_EQ(kPath, "config\\Brickwright.cfg");
    EXPECT_EQ(configDirectory, "config\\");
#else
    EXPECT_EQ(kPath, "config/Brickwright.cfg");
    EXPECT_EQ(configDirectory, "config/");
#endif
    EXPECT_EQ(configPath(kName, false), "Brickwright.cfg");
    EXPECT_EQ(configPath("two words.v2", false), "two words.v2.cfg");
    EXPECT_EQ(configPath("", true), std::string(configDirectory) + ".cfg");
}

TEST_F(ConfigFile, FirstRunCreatesTheDirectoryAndTheFourBytesNullAndTheSecondRunWritesTheSame) {
    EXPECT_FALSE(configFileExists(kName, true));
    EXPECT_FALSE(fs::exists("config")) << "the existence test must not create the directory";

    EXPECT_PRED_FORMAT2(Identical, json(), loadConfig(kName, json(), true));
    EXPECT_TRUE(fs::is_directory("config"));
    EXPECT_EQ(readBytes(kPath), "null");
    EXPECT_TRUE(configFileExists(kName, true));

    EXPECT_PRED_FORMAT2(Identical, json(), loadConfig(kName, json(), true));
    EXPECT_EQ(readBytes(kPath), "null");
    EXPECT_EQ(entriesOf("config"), std::vector<std::string>{"Brickwright.cfg"});
    EXPECT_EQ(entriesOf("."), std::vector<std::string>{"config"});
}

TEST_F(ConfigFile, WithoutTheFlagTheFileLiesInTheCurrentDirectoryAndNoDirectoryIsMade) {
    EXPECT_PRED_FORMAT2(Identical, parse(R"({"a": 1})"), loadConfig("Plain", parse(R"({"a": 1})"), false));
    EXPECT_EQ(readBytes("Plain.cfg"), "{\r\n    \"a\": 1\r\n}");
    EXPECT_TRUE(configFileExists("Plain", false));
    EXPECT_FALSE(configFileExists("Plain", true));
    EXPECT_EQ(entriesOf("."), std::vector<std::string>{"Plain.cfg"});
}

TEST_F(ConfigFile, ObjectDefaultsAreWrittenInKeyOrderWithFourSpacesAndCrLfAndNoFinalLineBreak) {
    const json defaults =
        parse(R"({"b": {"c": [1, 2.5, "x"], "a": true}, "a": null, "e": {}, "f": [], "d": -7})");
    EXPECT_PRED_FORMAT2(Identical, defaults, loadConfig(kName, defaults, true));
    EXPECT_EQ(readBytes(kPath), "{\r\n"
                                "    \"a\": null,\r\n"
                                "    \"b\": {\r\n"
                                "        \"a\": true,\r\n"
                                "        \"c\": [\r\n"
                                "            1,\r\n"
                                "            2.5,\r\n"
                                "            \"x\"\r\n"
                                "        ]\r\n"
                                "    },\r\n"
                                "    \"d\": -7,\r\n"
                                "    \"e\": {},\r\n"
                                "    \"f\": []\r\n"
                                "}");
    // Read back, the written file is what was written.
    EXPECT_PRED_FORMAT2(Identical, defaults, loadConfig(kName, defaults, true));
    EXPECT_EQ(readBytes(kPath), crlf(defaults.dump(4)));
}

TEST_F(ConfigFile, AtLibraryLoadEachKindOfFileGivesItsDocumentAndIsRewrittenOrLeftAsItWas) {
    struct Case {
        const char* content;
        json expected;
        const char* rewritten;
    };
    const std::vector<Case> usable = {
        {"", json(), "null"},
        {" \r\n\t\n ", json(), "null"},
        {"{\"a\": ", json(), "null"},
        {"nul", json(), "null"},
        {"null", json(), "null"},
        {"\r\n  null  \r\n", json(), "null"},
        {"{\"a\": 1, \"b\": {\"c\": [2]}}", json::object(), "{}"},
        {"{}", json::object(), "{}"},
        {"[]", json::array(), "[]"},
        {"[\r\n\r\n]", json::array(), "[]"},
    };
    for (const Case& c : usable) {
        SCOPED_TRACE(std::string("file: ") + c.content);
        fs::create_directory("config");
        writeBytes(kPath, c.content);
        EXPECT_PRED_FORMAT2(Identical, c.expected, loadConfig(kName, json(), true));
        EXPECT_EQ(readBytes(kPath), c.rewritten);
    }

    const std::vector<std::pair<const char*, const char*>> refused = {
        {"[1, 2]", "array"},  {"[{}]", "array"},   {"\"text\"", "string"}, {"12", "number"},
        {"-1.5e3", "number"}, {"true", "boolean"}, {"false", "boolean"},
    };
    for (const auto& [content, type] : refused) {
        SCOPED_TRACE(std::string("file: ") + content);
        writeBytes(kPath, content);
        try {
            const json result = loadConfig(kName, json(), true);
            ADD_FAILURE() << "loaded as " << describe(result);
        } catch (const json::type_error& e) {
            EXPECT_EQ(e.id, 307);
            EXPECT_EQ(std::string(e.what()),
                      std::string("[json.exception.type_error.307] cannot use erase() with ") + type);
        }
        EXPECT_EQ(readBytes(kPath), content);
    }
    // The rewritten files kept their former text aside; the refused ones were not touched.
    EXPECT_EQ(entriesOf("config"), (std::vector<std::string>{"Brickwright.cfg", "Brickwright.cfg.bak"}));
    EXPECT_EQ(readBytes(kPath + ".bak"), "[\r\n\r\n]");
}

TEST_F(ConfigFile, EmptyObjectDefaultsTreatTheFileAsNullDefaultsDo) {
    fs::create_directory("config");
    writeBytes(kPath, "{\"a\": 1}");
    EXPECT_PRED_FORMAT2(Identical, json::object(), loadConfig(kName, json::object(), true));
    EXPECT_EQ(readBytes(kPath), "{}");
    writeBytes(kPath, "{\"a\": ");
    EXPECT_PRED_FORMAT2(Identical, json(), loadConfig(kName, json::object(), true));
    EXPECT_EQ(readBytes(kPath), "null");
    writeBytes(kPath, "\"s\"");
    EXPECT_THROW(loadConfig(kName, json::object(), true), json::type_error);
    EXPECT_EQ(readBytes(kPath), "\"s\"");
}

TEST_F(ConfigFile, LinesAreJoinedWithNothingBetweenThem) {
    const json defaults = parse(R"({"n": 0, "s": ""})");
    fs::create_directory("config");
    writeBytes(kPath, "{\"n\": 1\n2, \"s\": \"brick\nwright\"}");
    EXPECT_PRED_FORMAT2(Identical, json({{"n", 12u}, {"s", "brickwright"}}),
                        loadConfig(kName, defaults, true));
    EXPECT_EQ(readBytes(kPath), "{\r\n    \"n\": 12,\r\n    \"s\": \"brickwright\"\r\n}");

    writeBytes(kPath, "{\"n\": 3\r\n4\r\n, \"s\": \"a\r\n\r\nb\"\r\n}");
    EXPECT_PRED_FORMAT2(Identical, json({{"n", 34u}, {"s", "ab"}}), loadConfig(kName, defaults, true));

    // A top-level number joined the same way is still refused under the null defaults.
    writeBytes(kPath, "1\r\n2");
    EXPECT_THROW(loadConfig(kName, json(), true), json::type_error);
    EXPECT_EQ(readBytes(kPath), "1\r\n2");
}

TEST_F(ConfigFile, CrLfAndLfFilesLoadAlikeAndOnlyTheCrOfACrLfPairIsALineEnd) {
    const json defaults = parse(R"({"list": [0], "name": "", "size": 1.5, "$free": null})");
    const std::string lf =
        "{\n  \"size\": 2,\n  \"name\": \"long\n  name\",\n  \"list\": [1,\n 2],\n  \"$free\": true\n}";
    const json expected = parse(R"({"list": [1, 2], "name": "long  name", "size": 2, "$free": true})");
    writeBytes("Lf.cfg", lf);
    writeBytes("CrLf.cfg", crlf(lf));
    EXPECT_PRED_FORMAT2(Identical, expected, loadConfig("Lf", defaults, false));
    EXPECT_PRED_FORMAT2(Identical, expected, loadConfig("CrLf", defaults, false));
    EXPECT_EQ(readBytes("Lf.cfg"), readBytes("CrLf.cfg"));

    // A CR that does not end a line stays: outside strings it is whitespace, inside one it is not allowed.
    writeBytes("Cr.cfg", "{\r\"name\":\r\"x\"\r\r\n}");
    EXPECT_PRED_FORMAT2(Identical, parse(R"({"list": [0], "name": "x", "size": 1.5, "$free": null})"),
                        loadConfig("Cr", defaults, false));
    writeBytes("Cr.cfg", "{\"name\": \"x\r\r\n\ny\"}");
    EXPECT_PRED_FORMAT2(Identical, defaults, loadConfig("Cr", defaults, false));
}

TEST_F(ConfigFile, MalformedFilesAreRewrittenFromTheDefaults) {
    const json defaults = parse(R"({"a": 1, "b": {"c": "d"}})");
    fs::create_directory("config");
    for (const char* malformed : {"", "   ", "{", "{\"a\": 1,}", "{\"a\": 1} {}", "{\"a\": 1}x",
                                  "// note\n{}", "{'a': 1}", "{\"a\": 01}", "[1, 2"}) {
        SCOPED_TRACE(std::string("file: ") + malformed);
        writeBytes(kPath, malformed);
        EXPECT_PRED_FORMAT2(Identical, defaults, loadConfig(kName, defaults, true));
        EXPECT_EQ(readBytes(kPath), crlf(defaults.dump(4)));
    }
}

TEST_F(ConfigFile, AHandEditedFileIsRewrittenInKeyOrderWithFourSpacesThoughNothingChanged) {
    const json defaults = parse(R"({"alpha": 1, "beta": "b", "gamma": true})");
    fs::create_directory("config");
    writeBytes(kPath, "{\n  \"gamma\" :  false,\n  \"alpha\":2,\n\t\"beta\": \"x\"   }\n");
    EXPECT_PRED_FORMAT2(Identical, parse(R"({"alpha": 2, "beta": "x", "gamma": false})"),
                        loadConfig(kName, defaults, true));
    EXPECT_EQ(readBytes(kPath),
              "{\r\n    \"alpha\": 2,\r\n    \"beta\": \"x\",\r\n    \"gamma\": false\r\n}");

    // Some editors put a byte order mark in front; the library reads past it, and it is not written back.
    writeBytes(kPath, "\xEF\xBB\xBF{\"beta\": \"y\"}");
    EXPECT_PRED_FORMAT2(Identical, parse(R"({"alpha": 1, "beta": "y", "gamma": true})"),
                        loadConfig(kName, defaults, true));
    EXPECT_EQ(readBytes(kPath), "{\r\n    \"alpha\": 1,\r\n    \"beta\": \"y\",\r\n    \"gamma\": true\r\n}");
}

TEST_F(ConfigFile, NonAsciiTextRoundTripsUnescaped) {
    const json defaults = parse(R"({"name": "", "$note": null})");
    fs::create_directory("config");
    const std::string text = "{\"$note\": \"\\u00fcber \\ud83e\\uddf1\", \"name\": \"Gr\xC3\xBC\xC3\x9F"
                             "e, \xE4\xB8\x96\xE7\x95\x8C \xF0\x9F\xA7\xB1\"}";
    writeBytes(kPath, text);
    const json loaded = loadConfig(kName, defaults, true);
    EXPECT_EQ(loaded["name"], "Gr\xC3\xBC\xC3\x9F"
                              "e, \xE4\xB8\x96\xE7\x95\x8C \xF0\x9F\xA7\xB1");
    EXPECT_EQ(readBytes(kPath), "{\r\n    \"$note\": \"\xC3\xBC"
                                "ber \xF0\x9F\xA7\xB1\",\r\n    \"name\": \"Gr\xC3\xBC"
                                "\xC3\x9F"
                                "e, \xE4\xB8\x96\xE7\x95\x8C \xF0\x9F\xA7\xB1\"\r\n}");
}

TEST_F(ConfigFile, SaveConfigReplacesTheFileAndLeavesNoTemporaryBehind) {
    saveConfig(kName, parse(R"({"k": [true]})"), true);
    EXPECT_EQ(readBytes(kPath), "{\r\n    \"k\": [\r\n        true\r\n    ]\r\n}");
    saveConfig(kName, json::array(), true);
    EXPECT_EQ(readBytes(kPath), "[]");
    // A temporary left by an interrupted write is replaced, not appended to.
    writeBytes(kPath + ".tmp", "left over from a crash, and longer than what comes next");
    saveConfig(kName, json("s\n"), true);
    EXPECT_EQ(readBytes(kPath), "\"s\\n\"");
    EXPECT_EQ(entriesOf("config"), std::vector<std::string>{"Brickwright.cfg"});
}

TEST_F(ConfigFile, ADocumentThatCannotBeSerialisedLeavesTheOldFileIntact) {
    fs::create_directory("config");
    writeBytes(kPath, "{\"s\": \"mine\"}");
    saveConfig(kName, json{{"s", "\xFF"}}, true);
    EXPECT_EQ(readBytes(kPath), "{\"s\": \"mine\"}");

    // Through loadConfig: the file's value is kept, but a default added beside it is not UTF-8.
    const json defaults = {{"s", "ok"}, {"t", "\xC3"}};
    const json loaded = loadConfig(kName, defaults, true);
    EXPECT_PRED_FORMAT2(Identical, json({{"s", "mine"}, {"t", "\xC3"}}), loaded);
    EXPECT_EQ(readBytes(kPath), "{\"s\": \"mine\"}");

    // Without a file nothing is created.
    EXPECT_PRED_FORMAT2(Identical, defaults, loadConfig("Other", defaults, true));
    EXPECT_EQ(entriesOf("config"), std::vector<std::string>{"Brickwright.cfg"});
}

TEST_F(ConfigFile, LoadingLeavesTheDefaultsAsTheyWere) {
    const json defaults = parse(R"({"a": 1, "$b": {"c": [1]}})");
    const json before = defaults;
    loadConfig(kName, defaults, true);
    writeBytes(kPath, R"({"a": 2.5, "$b": {"c": "x", "d": 1}})");
    EXPECT_PRED_FORMAT2(Identical, parse(R"({"a": 1, "$b": {"c": [1]}})"), loadConfig(kName, defaults, true));
    EXPECT_PRED_FORMAT2(Identical, before, defaults);
}

} // namespace
