// brickwright-sigcheck --make and --suggest as a maintainer runs them after a game update, on two
// builds of one small program made with the MinGW-w64 compiler: every address the tool names is
// checked against the build's symbol table, and every pattern it prints against a plain masked search
// of the laid-out image.
#include "pe/image.hpp"

#include "command.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using toolstest::Outcome;
using toolstest::readText;
using toolstest::run;

const fs::path kImages = SIGCHECK_TEST_IMAGES;
const fs::path kFirst = kImages / "update-first.exe";
const fs::path kSecond = kImages / "update-second.exe";

Outcome sigcheck(const std::vector<std::string>& arguments) {
    return run(SIGCHECK_EXECUTABLE, arguments);
}

// Symbol RVAs as MinGW's nm gives them.
std::map<std::string, std::uint64_t> symbols(const fs::path& file) {
    std::map<std::string, std::uint64_t> found;
    std::istringstream nm(run(SIGCHECK_NM, {file.string()}).out);
    std::uint64_t imageBase = 0;
    std::istringstream headers(run(PE_TABLES_PYTHON, {PE_TABLES_SCRIPT, "headers", file.string()}).out);
    for (std::string line; std::getline(headers, line);) {
        std::istringstream fields(line);
        std::string key, value;
        if (fields >> key >> value && key == "image-base") {
            imageBase = std::stoull(value, nullptr, 16);
        }
    }
    for (std::string line; std::getline(nm, line);) {
        std::istringstream fields(line);
        std::string address, type, name;
        if (fields >> address >> type >> name) {
            found[name] = std::stoull(address, nullptr, 16) - imageBase;
        }
    }
    return found;
}

std::uint64_t symbol(const std::map<std::string, std::uint64_t>& table, const std::string& name) {
    const auto found = table.find(name);
    EXPECT_NE(found, table.end()) << name;
    return found != table.end() ? found->second : 0;
}

// Every offset of the laid-out image at which the printed pattern matches, by plain comparison.
std::vector<std::uint64_t> matchesOf(const fs::path& file, const std::string& text) {
    const std::string bytes = readText(file);
    const brickwright::Result<pe::LoadedImage> loaded =
        pe::load(std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
    if (!loaded) {
        ADD_FAILURE() << loaded.error().message;
        return {};
    }
    std::vector<int> pattern;
    std::istringstream tokens(text);
    for (std::string token; tokens >> token;) {
        pattern.push_back(token == "??" ? -1 : std::stoi(token, nullptr, 16));
    }
    std::vector<std::uint64_t> offsets;
    const std::uint8_t* image = loaded->image.data();
    for (std::size_t offset = 0; !pattern.empty() && offset + pattern.size() <= loaded->image.size();
         ++offset) {
        bool match = true;
        for (std::size_t i = 0; i < pattern.size() && match; ++i) {
            match = pattern[i] < 0 || image[offset + i] == pattern[i];
        }
        if (match) {
            offsets.push_back(offset);
        }
    }
    return offsets;
}

json document(const Outcome& outcome) {
    EXPECT_EQ(std::count(outcome.out.begin(), outcome.out.end(), '\n'), 1) << outcome.out;
    return json::parse(outcome.out);
}

// --suggest and the check print one document for all their files: the report of the one file given.
json onlyFile(const json& wrapper) {
    EXPECT_EQ(wrapper["files"].size(), 1u) << wrapper.dump();
    return wrapper["files"][0];
}

TEST(SigcheckAfterAnUpdate, TheOldBuildMatchesAndTheNewOneDoesNot) {
    EXPECT_EQ(sigcheck({kFirst.string()}).status, 0);
    const Outcome second = sigcheck({kSecond.string()});
    EXPECT_EQ(second.status, 1);
    EXPECT_THAT(second.out, testing::HasSubstr("missing: name-table"));
    EXPECT_THAT(second.out, testing::HasSubstr("missing: object-table"));

    const Outcome nothingToDo = sigcheck({"--suggest", "--json", kFirst.string()});
    EXPECT_EQ(nothingToDo.status, 0) << nothingToDo.err;
    const json report = onlyFile(document(nothingToDo));
    for (const json& pattern : report["patterns"]) {
        EXPECT_EQ(pattern["matches"], 1);
        EXPECT_EQ(pattern["best"], nullptr);
        EXPECT_TRUE(pattern["candidates"].empty());
    }
}

TEST(SigcheckAfterAnUpdate, SuggestWithTheOldBuildNamesTheInstructionThatRefersToTheSameVariable) {
    const auto first = symbols(kFirst);
    const auto second = symbols(kSecond);
    const Outcome outcome = sigcheck({"--suggest", "--old", kFirst.string(), "--json", kSecond.string()});
    ASSERT_EQ(outcome.status, 0) << outcome.err;
    EXPECT_EQ(outcome.err, "");
    const json report = onlyFile(document(outcome));
    EXPECT_EQ(report["old_file"], kFirst.string());

    const struct {
        const char* name;
        const char* code;
        const char* variable;
        std::size_t competitors;
    } expected[] = {{"name-table", "sig_name_table", "engine_name_table", 2},
                    {"object-table", "sig_object_table", "engine_object_table", 1}};
    for (std::size_t i = 0; i < 2; ++i) {
        SCOPED_TRACE(expected[i].name);
        const json& pattern = report["patterns"][i];
        EXPECT_EQ(pattern["name"], expected[i].name);
        EXPECT_EQ(pattern["matches"], 0);
        EXPECT_EQ(pattern["old_rva"], symbol(first, expected[i].code));
        // The same shape elsewhere: the choice is not trivial.
        EXPECT_GE(pattern["candidate_count"], expected[i].competitors + 1);

        const std::uint64_t code = symbol(second, expected[i].code);
        ASSERT_EQ(pattern["best"], code);
        const json& best = pattern["candidates"][0];
        EXPECT_EQ(best["rva"], code);
        EXPECT_EQ(best["section"], ".text");
        EXPECT_EQ(best["target_rva"], symbol(second, expected[i].variable));
        EXPECT_EQ(best["target_section"], ".bss.engine");
        EXPECT_EQ(best["unique"], true);
        EXPECT_EQ(best["pattern_matches"], 1);
        EXPECT_EQ(matchesOf(kSecond, best["pattern"]), std::vector<std::uint64_t>{code});
        // Ranked below it: the competitors, which resemble the old surroundings less.
        for (std::size_t c = 1; c < pattern["candidates"].size(); ++c) {
            EXPECT_LT(pattern["candidates"][c]["resemblance"], best["resemblance"]);
        }
    }

    for (const json& pattern : report["patterns"]) {
        EXPECT_EQ(pattern["ranked_by"], "resemblance");
    }

    const Outcome table = sigcheck({"--suggest", "--old=" + kFirst.string(), kSecond.string()});
    EXPECT_EQ(table.status, 0);
    EXPECT_THAT(table.out, testing::HasSubstr("name-table: 0 matches; "));
    EXPECT_THAT(table.out, testing::HasSubstr("    best: 0x"));
    EXPECT_THAT(table.out, testing::Not(testing::HasSubstr("likely")));
}

// Without the old build the name table's competitors carry the broken pattern's bytes exactly, and the
// true load uses another register and a short jump; what still points to it is its displacement, which
// grew with the data by less than the window the pattern's fixed top byte allowed.
TEST(SigcheckAfterAnUpdate, SuggestWithoutTheOldBuildRanksTheTrueInstructionFirstButCallsItAGuess) {
    const auto second = symbols(kSecond);
    const Outcome outcome = sigcheck({"--suggest", "--json", kSecond.string()});
    ASSERT_EQ(outcome.status, 0) << outcome.err;
    const json report = onlyFile(document(outcome));
    EXPECT_EQ(report["old_file"], nullptr);
    const struct {
        const char* code;
        const char* variable;
    } expected[] = {{"sig_name_table", "engine_name_table"}, {"sig_object_table", "engine_object_table"}};
    for (std::size_t i = 0; i < 2; ++i) {
        const json& pattern = report["patterns"][i];
        SCOPED_TRACE(pattern["name"].dump());
        EXPECT_EQ(pattern["ranked_by"], "score");
        EXPECT_EQ(pattern["best"], symbol(second, expected[i].code));
        const json& candidates = pattern["candidates"];
        ASSERT_GE(candidates.size(), 2u);
        EXPECT_EQ(candidates[0]["target_rva"], symbol(second, expected[i].variable));
        for (std::size_t c = 0; c < candidates.size(); ++c) {
            EXPECT_EQ(candidates[c]["resemblance"], nullptr);
            EXPECT_GE(candidates[c]["score"], 0.0);
            EXPECT_LE(candidates[c]["score"], 1.0);
            if (c > 0) {
                EXPECT_LT(candidates[c]["score"], candidates[0]["score"]);
            }
        }
    }
    // The competitors that carry the old bytes exactly do share more of them than the true one.
    const json& names = report["patterns"][0]["candidates"];
    EXPECT_THAT(names[1]["pattern"].get<std::string>(),
                testing::StartsWith("48 8B 05 ?? ?? ?? ?? 48 85 C0 0F 85"));
    EXPECT_THAT(names[0]["pattern"].get<std::string>(), testing::StartsWith("48 8B 15 ?? ?? ?? ?? 48 85 D2"));

    const Outcome table = sigcheck({"--suggest", kSecond.string()});
    EXPECT_EQ(table.status, 0);
    EXPECT_THAT(table.out, testing::HasSubstr("ranked by score (a guess: no old build to compare with)"));
    EXPECT_THAT(table.out, testing::HasSubstr("  resemblance  score  "));
    EXPECT_THAT(table.out, testing::HasSubstr("    likely: 0x"));
    EXPECT_THAT(table.out, testing::Not(testing::HasSubstr("best")));
}

// An old build that is a usable image but lacks the patterns only takes the old build's guidance away:
// status 1 with one line naming it per pattern, and the ranking by score, as without it.
TEST(SigcheckAfterAnUpdate, AnOldBuildWithoutThePatternsIsSaidAndGivesStatusOne) {
    const Outcome lacking = sigcheck({"--suggest", "--json", "--old", kSecond.string(), kSecond.string()});
    EXPECT_EQ(lacking.status, 1);
    EXPECT_EQ(lacking.err,
              "brickwright-sigcheck: " + kSecond.string() +
                  ": the name-table pattern does not match there, so it cannot guide the ranking\n"
                  "brickwright-sigcheck: " +
                  kSecond.string() +
                  ": the object-table pattern does not match there, so it cannot guide the ranking\n");
    const json report = onlyFile(document(lacking));
    const json alone = onlyFile(document(sigcheck({"--suggest", "--json", kSecond.string()})));
    EXPECT_EQ(report["old_problems"].size(), 2u);
    for (std::size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(report["patterns"][i]["ranked_by"], "score");
        EXPECT_EQ(report["patterns"][i]["old_rva"], nullptr);
        EXPECT_EQ(report["patterns"][i]["candidates"], alone["patterns"][i]["candidates"]);
    }
    // The ranking is a guess either way, but not for want of an old build: the old build was given and
    // lacks the pattern too, and the table and JSON say that.
    for (std::size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(report["patterns"][i]["guess"], "the old build lacks this pattern too");
        EXPECT_EQ(alone["patterns"][i]["guess"], "no old build to compare with");
    }
    const Outcome table = sigcheck({"--suggest", "--old=" + kSecond.string(), kSecond.string()});
    EXPECT_EQ(table.status, 1);
    EXPECT_THAT(table.out,
                testing::HasSubstr("ranked by score (a guess: the old build lacks this pattern too)"));
    EXPECT_THAT(table.out, testing::Not(testing::HasSubstr("no old build")));
    // A pattern that the old build holds is ranked by resemblance, without a guess.
    const json guided =
        onlyFile(document(sigcheck({"--suggest", "--json", "--old", kFirst.string(), kSecond.string()})));
    EXPECT_EQ(guided["patterns"][0]["guess"], nullptr);

    // Several files, one JSON document: a reader of one file's output reads this too.
    const Outcome both =
        sigcheck({"--suggest", "--json", "--old", kSecond.string(), kSecond.string(), kFirst.string()});
    EXPECT_EQ(both.status, 1);
    const json files = document(both)["files"];
    ASSERT_EQ(files.size(), 2u);
    EXPECT_EQ(files[0], report);
    EXPECT_EQ(files[1]["file"], kFirst.string());

    // An old file that is no image at all is status 2, as any unusable file.
    const Outcome unusable =
        sigcheck({"--suggest", "--old", SIGCHECK_EXECUTABLE ".missing", kSecond.string()});
    EXPECT_EQ(unusable.status, 2);
    EXPECT_EQ(unusable.out, "");
}

// The maintainer's check before editing engine_patterns.hpp: the pattern --suggest made for the new build,
// pasted back, matches the new build once where --suggest said, and the table says so.
TEST(SigcheckAfterAnUpdate, APastedPatternIsCheckedAgainstTheOldAndTheNewBuild) {
    const auto second = symbols(kSecond);
    const json suggested = onlyFile(document(sigcheck({"--suggest", "--json", kSecond.string()})));
    const std::string pattern = suggested["patterns"][0]["candidates"][0]["pattern"];
    const Outcome outcome = sigcheck({"--json", "--pattern", pattern, kFirst.string(), kSecond.string()});
    EXPECT_EQ(outcome.err, "");
    const json documents = document(outcome)["files"];
    ASSERT_EQ(documents.size(), 2u);
    for (std::size_t i = 0; i < 2; ++i) {
        const fs::path& file = i == 0 ? kFirst : kSecond;
        const json& report = documents[i];
        EXPECT_EQ(report["file"], file.string());
        const json& found = report["patterns"][0];
        EXPECT_EQ(found["name"], pattern);
        const std::vector<std::uint64_t> offsets = matchesOf(file, pattern);
        EXPECT_EQ(found["matches"], offsets.size());
        EXPECT_EQ(found["rva"], offsets.empty() ? json(nullptr) : json(offsets.front()));
        EXPECT_EQ(outcome.status, offsets.empty() ? 1 : outcome.status);
    }
    // In the new build it finds the name table's load, and the target is the mod's reading of it.
    const json fresh = documents[1]["patterns"][0];
    EXPECT_EQ(fresh["rva"], symbol(second, "sig_name_table"));
    EXPECT_EQ(fresh["matches"], 1);
    EXPECT_EQ(fresh["target_rva"], symbol(second, "engine_name_table"));
}

TEST(SigcheckMake, PrintsAUniquePatternForTheInstructionAndOnlyThatOne) {
    const auto second = symbols(kSecond);
    const std::uint64_t names = symbol(second, "sig_name_table");
    const std::uint64_t objects = symbol(second, "sig_object_table");
    const std::uint64_t user = symbol(second, "engine_names_user");
    const Outcome outcome = sigcheck({"--make", "--json", std::to_string(names),
                                      "0x" +
                                          [&] {
                                              std::ostringstream hex;
                                              hex << std::hex << objects;
                                              return hex.str();
                                          }(),
                                      std::to_string(user), kSecond.string()});
    ASSERT_EQ(outcome.status, 0) << outcome.err;
    const json report = document(outcome);
    ASSERT_EQ(report["patterns"].size(), 3u);
    for (const json& made : report["patterns"]) {
        SCOPED_TRACE(made.dump());
        EXPECT_EQ(made["unique"], true);
        EXPECT_EQ(made["matches"], 1);
        EXPECT_LE(made["length"], 64);
        EXPECT_EQ(matchesOf(kSecond, made["pattern"]), std::vector<std::uint64_t>{made["rva"]});
        // No trailing wildcards.
        EXPECT_THAT(made["pattern"].get<std::string>(), testing::Not(testing::EndsWith("??")));
    }
    // The load's displacement is a wildcard; its opcode, ModRM and the test stay.
    EXPECT_THAT(report["patterns"][0]["pattern"].get<std::string>(),
                testing::StartsWith("48 8B 15 ?? ?? ?? ?? 48 85 D2"));
}

std::string hex(std::uint64_t value) {
    std::ostringstream text;
    text << "0x" << std::hex << value;
    return text.str();
}

// What the update moved is exactly what the patterns leave open: made in the old build, each finds
// the same function in the new one, and nothing else.
TEST(SigcheckMake, PatternsMadeInTheOldBuildFindTheSameCodeInTheNewOne) {
    const auto first = symbols(kFirst);
    const auto second = symbols(kSecond);
    const std::vector<std::string> functions = {
        "decoy_names_first", "decoy_names_second", "decoy_objects",       "engine_objects_user",
        "sig_object_table",  "image_addresses",    "image_address_imm64", "image_rva_displacement"};
    std::vector<std::string> arguments = {"--make", "--json"};
    for (const std::string& name : functions) {
        arguments.push_back(hex(symbol(first, name)));
    }
    arguments.push_back(kFirst.string());
    const Outcome outcome = sigcheck(arguments);
    ASSERT_EQ(outcome.status, 0) << outcome.err;
    const json report = document(outcome);
    ASSERT_EQ(report["patterns"].size(), functions.size());
    for (std::size_t i = 0; i < functions.size(); ++i) {
        SCOPED_TRACE(functions[i]);
        const json& made = report["patterns"][i];
        EXPECT_EQ(matchesOf(kFirst, made["pattern"]),
                  std::vector<std::uint64_t>{symbol(first, functions[i])});
        EXPECT_EQ(matchesOf(kSecond, made["pattern"]),
                  std::vector<std::uint64_t>{symbol(second, functions[i])});
    }
    // A 64-bit immediate and a displacement beside registers that hold addresses in the image move; the
    // displacement's ModRM and SIB and a small immediate stay.
    EXPECT_THAT(report["patterns"][6]["pattern"].get<std::string>(),
                testing::StartsWith("48 B8 ?? ?? ?? ?? ?? ?? ?? ?? 8B 9C 8A"));
    EXPECT_THAT(report["patterns"][7]["pattern"].get<std::string>(),
                testing::StartsWith("8B 9C 8A ?? ?? ?? ?? B9 34 12 00 00"));
}

TEST(SigcheckMake, CodeThatRepeatsItselfHasNoUniquePatternAndSaysSo) {
    const std::uint64_t repeated = symbol(symbols(kSecond), "repeated_code");
    const Outcome outcome = sigcheck({"--make", "--json", std::to_string(repeated), kSecond.string()});
    EXPECT_EQ(outcome.status, 1) << outcome.err;
    const json made = document(outcome)["patterns"][0];
    EXPECT_EQ(made["unique"], false);
    EXPECT_GT(made["matches"], 1);
    EXPECT_LE(made["length"], 64);
    const std::vector<std::uint64_t> offsets = matchesOf(kSecond, made["pattern"]);
    EXPECT_EQ(offsets.size(), made["matches"]);
    EXPECT_THAT(offsets, testing::Contains(repeated));
    // The other places it matches, by RVA: every match but the one asked for.
    std::vector<std::uint64_t> others = offsets;
    std::erase(others, repeated);
    EXPECT_EQ(made["other_rvas"].get<std::vector<std::uint64_t>>(), others);

    const Outcome table = sigcheck({"--make", std::to_string(repeated), kSecond.string()});
    EXPECT_EQ(table.status, 1);
    EXPECT_THAT(table.out, testing::HasSubstr("not unique: "));
    std::string listed;
    for (const std::uint64_t rva : others) {
        char text[24];
        std::snprintf(text, sizeof text, "0x%08llx", static_cast<unsigned long long>(rva));
        listed += (listed.empty() ? "" : ", ") + std::string(text);
    }
    EXPECT_THAT(table.out, testing::HasSubstr("\n    it also matches at " + listed + "\n"));

    // A unique pattern has no such list.
    const json unique =
        document(sigcheck({"--make", "--json", std::to_string(symbol(symbols(kSecond), "sig_name_table")),
                           kSecond.string()}))["patterns"][0];
    EXPECT_EQ(unique["unique"], true);
    EXPECT_FALSE(unique.contains("other_rvas"));
}

TEST(SigcheckMake, RvasThatCannotBeUsedGiveStatusTwoAndSayWhy) {
    const auto second = symbols(kSecond);
    const std::string file = kSecond.string();
    const std::string data = std::to_string(symbol(second, "decoy_flag"));
    const std::string nowhere = std::to_string(symbol(second, "undecodable"));
    const struct {
        std::string rva;
        std::string why;
    } cases[] = {
        {"0x10", "RVA 0x00000010 lies outside every section"},
        {"0x7fffffff", "RVA 0x7fffffff lies outside every section"},
        {data, "lies in .data, which is not executable code"},
        {nowhere, "no instruction can be decoded at RVA"},
    };
    for (const auto& request : cases) {
        SCOPED_TRACE(request.rva);
        const Outcome outcome = sigcheck({"--make", request.rva, file});
        EXPECT_EQ(outcome.status, 2);
        EXPECT_THAT(outcome.err, testing::StartsWith("brickwright-sigcheck: " + file + ": "));
        EXPECT_THAT(outcome.err, testing::HasSubstr(request.why));
        EXPECT_EQ(std::count(outcome.err.begin(), outcome.err.end(), '\n'), 1) << outcome.err;
    }

    // The usable RVAs of the same request are still answered.
    const Outcome mixed =
        sigcheck({"--make", "--json", nowhere, std::to_string(symbol(second, "sig_name_table")), file});
    EXPECT_EQ(mixed.status, 2);
    const json report = document(mixed);
    EXPECT_THAT(report["patterns"][0]["error"].get<std::string>(), testing::HasSubstr("no instruction"));
    EXPECT_EQ(report["patterns"][1]["unique"], true);

    // Malformed command lines.
    for (const std::vector<std::string>& arguments :
         std::vector<std::vector<std::string>>{{"--make", file},
                                               {"--make", "0xZZ", file},
                                               {"--make", "12abc", file},
                                               {"--old", file, file},
                                               {"--make", "--suggest", "0x10", file},
                                               {"--suggest", "--candidates=0", file}}) {
        const Outcome outcome = sigcheck(arguments);
        EXPECT_EQ(outcome.status, 2) << arguments[1];
        EXPECT_THAT(outcome.err, testing::HasSubstr("usage: "));
        EXPECT_EQ(outcome.out, "");
    }
}

} // namespace
