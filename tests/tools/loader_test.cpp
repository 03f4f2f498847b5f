// brickwright-sigcheck --loader run as a maintainer or player runs it, on MSVC-decorated DLLs built for
// the purpose: a mod that imports the host interface from xinput1_3.dll, a loader that exports all of
// it, one that lacks addRecipe and one that declares ModReturns a class. What it reads must agree with
// what the build's own table reader (tools/pe_tables/pe_tables.py, written apart from pe/) says about
// the same files.
#include "command.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using toolstest::Outcome;

const fs::path kFixtures = SIGCHECK_LOADER_FIXTURES;
const fs::path kMod = kFixtures / "mod" / "fixture-mod.dll";
const fs::path kWhole = kFixtures / "whole" / "xinput1_3.dll";
const fs::path kWithoutAddRecipe = kFixtures / "without-add-recipe" / "xinput1_3.dll";
const fs::path kModReturnsClass = kFixtures / "modreturns-class" / "xinput1_3.dll";

Outcome sigcheck(const std::vector<std::string>& arguments) {
    return toolstest::run(SIGCHECK_EXECUTABLE, arguments);
}

json document(const Outcome& outcome) {
    EXPECT_EQ(std::count(outcome.out.begin(), outcome.out.end(), '\n'), 1) << outcome.out;
    return json::parse(outcome.out);
}

// pe_tables.py's lines about `file`, one string each.
std::vector<std::string> tableLines(const std::string& command, const fs::path& file) {
    const Outcome outcome = toolstest::run(PE_TABLES_PYTHON, {PE_TABLES_SCRIPT, command, file.string()});
    EXPECT_EQ(outcome.status, 0) << outcome.err;
    std::vector<std::string> lines;
    std::istringstream text(outcome.out);
    for (std::string line; std::getline(text, line);) {
        lines.push_back(line);
    }
    return lines;
}

// The names imported from `dll`, in table order ("DLL NAME" lines).
std::vector<std::string> tableImports(const fs::path& file, const std::string& dll) {
    std::vector<std::string> names;
    for (const std::string& line : tableLines("imports", file)) {
        if (line.starts_with(dll + " ")) {
            names.push_back(line.substr(dll.size() + 1));
        }
    }
    return names;
}

std::set<std::string> tableExports(const fs::path& file) {
    std::set<std::string> names;
    for (const std::string& line : tableLines("exports", file)) {
        std::istringstream fields(line);
        std::string ordinal;
        std::string rva;
        std::string name;
        if (fields >> ordinal >> rva >> name && rva.starts_with("0x") && name != "-") {
            names.insert(name);
        }
    }
    return names;
}

void copyFile(const fs::path& from, const fs::path& to) {
    fs::create_directories(to.parent_path());
    fs::copy_file(from, to, fs::copy_options::overwrite_existing);
}

class SigcheckLoader : public toolstest::ScratchSuite {};

TEST_F(SigcheckLoader, FindsEveryImportOfTheModInALoaderThatExportsTheWholeInterface) {
    const Outcome outcome = sigcheck({"--loader", kWhole.string(), "--json", kMod.string()});
    EXPECT_EQ(outcome.status, 0) << outcome.err;
    EXPECT_EQ(outcome.err, "");
    const json report = document(outcome);
    EXPECT_EQ(report["file"], kMod.string());
    EXPECT_EQ(report["loader"], kWhole.string());
    EXPECT_EQ(report["dll"], "xinput1_3.dll");
    EXPECT_EQ(report["missing"], 0);

    // The imports as the table reader lists them, in the same order, each one among the loader's exports.
    const std::vector<std::string> imported = tableImports(kMod, "xinput1_3.dll");
    const std::set<std::string> exported = tableExports(kWhole);
    ASSERT_EQ(imported.size(), 9u);
    ASSERT_EQ(report["functions"].size(), imported.size());
    std::multiset<std::string> functions;
    for (std::size_t i = 0; i < imported.size(); ++i) {
        const json& entry = report["functions"][i];
        EXPECT_EQ(entry["name"], imported[i]);
        EXPECT_TRUE(exported.contains(imported[i])) << imported[i];
        EXPECT_EQ(entry["found"], true);
        EXPECT_EQ(entry["closest"], nullptr);
        EXPECT_TRUE(entry["demangled"].is_string()) << imported[i];
        functions.insert(entry["function"].get<std::string>());
    }
    // The same set of functions that the real mod imports from its host.
    const std::string hook =
        "HookInvoker<void (__cdecl SML::Objects::AFGPlayerController::*)(void), &public: void "
        "__cdecl SML::Objects::AFGPlayerController::BeginPlay(void)>::subscribe";
    EXPECT_EQ(functions,
              (std::multiset<std::string>{
                  "SML::Mod::Mod::Mod", "SML::Mod::Mod::~Mod", "SML::Mod::Functions::loadObjectFromPak",
                  "SML::Mod::Functions::addRecipe", hook, "SML::Utility::writeHeader",
                  "SML::Utility::setConsoleColor", "SML::Utility::log", "SML::Utility::logFile"}));

    const Outcome table = sigcheck({"--loader=" + kWhole.string(), kMod.string()});
    EXPECT_EQ(table.status, 0);
    EXPECT_THAT(table.out,
                testing::StartsWith(kMod.string() + ": 9 imports from xinput1_3.dll, checked against " +
                                    kWhole.string() + ": 9 found, 0 missing\n"));
    EXPECT_THAT(
        table.out,
        testing::HasSubstr("  found    void __cdecl SML::Mod::Functions::addRecipe(class SDK::UClass *)\n"));
    EXPECT_THAT(table.out, testing::Not(testing::HasSubstr("missing  ")));
}

TEST_F(SigcheckLoader, NamesTheImportALoaderLacksAndSaysItHasNothingOfThatName) {
    const Outcome outcome = sigcheck({"--json", "--loader", kWithoutAddRecipe.string(), kMod.string()});
    EXPECT_EQ(outcome.status, 1) << outcome.err;
    const json report = document(outcome);
    EXPECT_EQ(report["missing"], 1);
    for (const json& entry : report["functions"]) {
        const bool addRecipe = entry["function"] == "SML::Mod::Functions::addRecipe";
        EXPECT_EQ(entry["found"], !addRecipe) << entry["name"];
        EXPECT_EQ(entry["closest"], nullptr);
    }
    EXPECT_FALSE(
        tableExports(kWithoutAddRecipe).contains("?addRecipe@Functions@Mod@SML@@YAXPEAVUClass@SDK@@@Z"));

    const Outcome table = sigcheck({"--loader", kWithoutAddRecipe.string(), kMod.string()});
    EXPECT_EQ(table.status, 1);
    EXPECT_THAT(table.out, testing::HasSubstr(": 8 found, 1 missing\n"));
    EXPECT_THAT(
        table.out,
        testing::HasSubstr("  missing  void __cdecl SML::Mod::Functions::addRecipe(class SDK::UClass *)\n"
                           "           decorated: ?addRecipe@Functions@Mod@SML@@YAXPEAVUClass@SDK@@@Z\n"
                           "           the loader exports nothing named SML::Mod::Functions::addRecipe\n"));
}

TEST_F(SigcheckLoader, NamesTheClassKeyThatSetsTheLoadersHookApart) {
    const Outcome outcome = sigcheck({"--json", "--loader", kModReturnsClass.string(), kMod.string()});
    EXPECT_EQ(outcome.status, 1) << outcome.err;
    const json report = document(outcome);
    EXPECT_EQ(report["missing"], 1);
    const auto missing = std::find_if(report["functions"].begin(), report["functions"].end(),
                                      [](const json& entry) { return entry["found"] == false; });
    ASSERT_NE(missing, report["functions"].end());
    EXPECT_THAT((*missing)["name"].get<std::string>(), testing::StartsWith("?subscribe@?$HookInvoker@"));
    const json& closest = (*missing)["closest"];
    ASSERT_TRUE(closest.is_object());
    // The loader's own export of subscribe, as the table reader lists it: the one with V (class) for U.
    std::string expected = (*missing)["name"];
    expected.replace(expected.find("PEAUModReturns"), 14, "PEAVModReturns");
    EXPECT_EQ(closest["name"], expected);
    EXPECT_TRUE(tableExports(kModReturnsClass).contains(expected));
    EXPECT_THAT(closest["demangled"].get<std::string>(),
                testing::HasSubstr(
                    "(class SML::Mod::Functions::ModReturns *, class SML::Objects::AFGPlayerController *)"));
    EXPECT_EQ(closest["differences"],
              json::array({"parameter 1: class/struct key of SML::Mod::Functions::ModReturns: "
                           "struct in the mod, class in the loader"}));

    const Outcome table = sigcheck({"--loader", kModReturnsClass.string(), kMod.string()});
    EXPECT_EQ(table.status, 1);
    EXPECT_THAT(table.out,
                testing::HasSubstr("           closest export: public: static void __cdecl HookInvoker<"));
    EXPECT_THAT(table.out,
                testing::HasSubstr("           differs in parameter 1: class/struct key of "
                                   "SML::Mod::Functions::ModReturns: struct in the mod, class in the "
                                   "loader\n"));
}

TEST_F(SigcheckLoader, RefusesWhatItCannotUseWithStatusTwoAndALineSayingWhy) {
    // The loader goes by the name its export directory gives it, in any case; the file name does not
    // count. A mod that imports nothing of that name and carries no list has nothing to check.
    copyFile(kWhole, scratch("upper/XINPUT1_3.DLL"));
    EXPECT_EQ(sigcheck({"--loader", scratch("upper/XINPUT1_3.DLL").string(), kMod.string()}).status, 0);
    copyFile(kWhole, scratch("renamed/loader.dll"));
    Outcome outcome = sigcheck({"--loader", scratch("renamed/loader.dll").string(), kMod.string()});
    EXPECT_EQ(outcome.status, 0) << outcome.err;
    EXPECT_THAT(outcome.out,
                testing::HasSubstr(": 9 imports from xinput1_3.dll, checked against " +
                                   scratch("renamed/loader.dll").string() + ": 9 found, 0 missing\n"));
    // The name of a DLL that is not the loader, as long as its own: every character counts.
    std::string bytes = toolstest::readText(kWhole);
    const std::size_t name = bytes.find(std::string("xinput1_3.dll") + '\0');
    ASSERT_NE(name, std::string::npos);
    bytes.replace(name, 13, "xinput1_4.dll");
    fs::create_directories(scratch("other"));
    std::ofstream(scratch("other/xinput1_3.dll"), std::ios::binary) << bytes;
    outcome = sigcheck({"--loader", scratch("other/xinput1_3.dll").string(), kMod.string()});
    EXPECT_EQ(outcome.status, 2);
    EXPECT_EQ(outcome.out, "");
    EXPECT_EQ(outcome.err,
              "brickwright-sigcheck: " + kMod.string() +
                  ": carries no list of spellings (.bwbind) and imports nothing from xinput1_4.dll (the "
                  "loader's DLL name); it imports from xinput1_3.dll\n");
    // The two files the wrong way round: the loader imports no DLL at all.
    outcome = sigcheck({"--loader", kMod.string(), kWhole.string()});
    EXPECT_EQ(outcome.status, 2);
    EXPECT_EQ(outcome.err,
              "brickwright-sigcheck: " + kWhole.string() +
                  ": carries no list of spellings (.bwbind) and imports nothing from fixture-mod.dll (the "
                  "loader's DLL name); it imports no DLL at all\n");

    // A loader or a mod that is no PE file, or no file at all.
    fs::create_directories(scratch("text"));
    std::ofstream(scratch("text/xinput1_3.dll")) << "not a DLL\n";
    outcome = sigcheck({"--json", "--loader", scratch("text/xinput1_3.dll").string(), kMod.string()});
    EXPECT_EQ(outcome.status, 2);
    EXPECT_EQ(outcome.out, "");
    EXPECT_EQ(outcome.err,
              "brickwright-sigcheck: " + scratch("text/xinput1_3.dll").string() + ": not a PE file\n");
    outcome = sigcheck({"--loader", kWhole.string(), scratch("no-such-mod.dll").string()});
    EXPECT_EQ(outcome.status, 2);
    EXPECT_EQ(outcome.err, "brickwright-sigcheck: " + scratch("no-such-mod.dll").string() +
                               ": cannot read: No such file or directory\n");

    // Command lines that do not say one loader and one mod.
    for (const std::vector<std::string>& arguments :
         std::vector<std::vector<std::string>>{{"--loader", kWhole.string()},
                                               {"--loader", kWhole.string(), kMod.string(), kMod.string()},
                                               {"--loader"},
                                               {"--loader", kWhole.string(), "--suggest", kMod.string()}}) {
        SCOPED_TRACE(testing::PrintToString(arguments));
        outcome = sigcheck(arguments);
        EXPECT_EQ(outcome.status, 2);
        EXPECT_EQ(outcome.out, "");
        EXPECT_THAT(outcome.err, testing::StartsWith("brickwright-sigcheck: --"));
    }
}

} // namespace
