// brickwright-sigcheck --loader on a mod that binds by its list of spellings (.bwbind), over PE images
// built here: what it says of each function (found as the header spells it, found by another
// spelling, missing) and its exit status must be what the mod does with that loader.
#include "bind_images.hpp"
#include "command.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using testing::HasSubstr;
using toolstest::Outcome;
using namespace bindimages;

Outcome sigcheck(const std::vector<std::string>& arguments) {
    return toolstest::run(SIGCHECK_EXECUTABLE, arguments);
}

class SigcheckBindList : public toolstest::ScratchSuite {
protected:
    // `bytes` written to `name` below the scratch folder; its path.
    static std::string write(const std::string& name, const std::vector<std::uint8_t>& bytes) {
        const fs::path path = scratch(name);
        fs::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        return path.string();
    }
    static std::string loader(const std::string& folder, const std::vector<std::string>& names,
                              const std::string& dll = "xinput1_3.dll") {
        return write(folder + "/xinput1_3.dll", loaderImage(dll, names));
    }
    static std::string mod(const std::string& folder, const std::string& text) {
        return write(folder + "/Brickwright.dll", modImage(text));
    }
};

json document(const Outcome& outcome) {
    EXPECT_EQ(std::count(outcome.out.begin(), outcome.out.end(), '\n'), 1) << outcome.out;
    return json::parse(outcome.out);
}

TEST_F(SigcheckBindList, SaysOfEachFunctionWhetherItBindsAsTheHeaderSpellsItByAnotherSpellingOrNotAtAll) {
    const std::string theMod = mod("mod", sampleList());

    // A loader with every header spelling: all found, nothing more said, and the mod loads.
    const std::string same = loader("same", {kUnrelated, kLogFile, kLoad, kAddRecipe});
    Outcome outcome = sigcheck({"--loader", same, theMod});
    EXPECT_EQ(outcome.status, 0) << outcome.err;
    EXPECT_EQ(outcome.err, "");
    EXPECT_EQ(outcome.out, theMod + ": 3 functions bound from xinput1_3.dll, checked against " + same +
                               ": 3 found, 0 missing\n"
                               "  found    " +
                               kAddRecipeText + "\n  found    " + kLoadText + "\n  found    " + kLogFileText +
                               "\nBrickwright.dll loads with this loader\n");

    // Every open key the other way: found by the other spellings, the keys named. Of two spellings the
    // loader exports, the mod binds the first in its own order, whatever the loader's.
    const std::string flipped =
        loader("flipped", {kLoadClassStruct, kAddRecipeStruct, kLoadObjectStruct, kLogFile});
    outcome = sigcheck({"--loader", flipped, theMod});
    EXPECT_EQ(outcome.status, 0) << outcome.err;
    EXPECT_EQ(outcome.out, theMod + ": 3 functions bound from xinput1_3.dll, checked against " + flipped +
                               ": 3 found (2 by another spelling), 0 missing\n"
                               "  found    " +
                               kAddRecipeText +
                               "\n"
                               "           by another spelling: SDK::UClass=struct\n"
                               "           decorated: " +
                               kAddRecipeStruct + "\n  found    " + kLoadText +
                               "\n"
                               "           by another spelling: SDK::UObject=struct\n"
                               "           decorated: " +
                               kLoadObjectStruct + "\n  found    " + kLogFileText +
                               "\nBrickwright.dll loads with this loader\n");
    json report = document(sigcheck({"--json", "--loader", flipped, theMod}));
    EXPECT_EQ(report["list"], true);
    EXPECT_EQ(report["loads"], true);
    EXPECT_EQ(report["found"], 3);
    EXPECT_EQ(report["other"], 2);
    EXPECT_EQ(report["missing"], 0);
    ASSERT_EQ(report["functions"].size(), 3u);
    EXPECT_EQ(report["functions"][0]["binding"], "other");
    EXPECT_EQ(report["functions"][0]["bound"],
              (json{{"name", kAddRecipeStruct}, {"changes", {"SDK::UClass=struct"}}}));
    EXPECT_EQ(report["functions"][0]["function"], "SML::Mod::Functions::addRecipe");
    EXPECT_EQ(report["functions"][1]["bound"]["name"], kLoadObjectStruct);
    EXPECT_EQ(report["functions"][1]["spellings"].size(), 4u);
    EXPECT_EQ(report["functions"][1]["spellings"][3]["changes"],
              (json{"SDK::UObject=struct", "SDK::UClass=struct"}));
    EXPECT_EQ(report["functions"][2]["binding"], "header");

    // Without addRecipe in any spelling the mod refuses to load: status 1, the function named.
    const std::string without = loader("without", {kLogFile, kLoadBothStruct});
    outcome = sigcheck({"--loader", without, theMod});
    EXPECT_EQ(outcome.status, 1) << outcome.err;
    EXPECT_THAT(outcome.out, HasSubstr(": 2 found (1 by another spelling), 1 missing\n"));
    EXPECT_THAT(
        outcome.out,
        HasSubstr("  missing  " + kAddRecipeText + "\n           decorated: " + kAddRecipe +
                  "\n"
                  "           none of its 2 spellings is exported (the others differ in class keys only)\n"
                  "           the loader exports nothing named SML::Mod::Functions::addRecipe\n"));
    EXPECT_THAT(outcome.out, HasSubstr("by another spelling: SDK::UObject=struct SDK::UClass=struct\n"));
    EXPECT_THAT(outcome.out,
                testing::EndsWith("\nBrickwright.dll does not load with this loader: 1 function missing\n"));
    report = document(sigcheck({"--json", "--loader", without, theMod}));
    EXPECT_EQ(report["loads"], false);
    EXPECT_EQ(report["missing"], 1);
    EXPECT_EQ(report["functions"][0]["binding"], "missing");
    EXPECT_EQ(report["functions"][0]["found"], false);
    EXPECT_EQ(report["functions"][0]["closest"], nullptr);

    // Another ABI is no spelling: a const UClass binds nothing. The closest export is compared with the
    // spelling it is nearest, and the difference left is the const.
    const std::string constant = loader("const", {kLogFile, kLoad, kAddRecipeConstStruct});
    outcome = sigcheck({"--loader", constant, theMod});
    EXPECT_EQ(outcome.status, 1) << outcome.err;
    EXPECT_THAT(outcome.out,
                HasSubstr("           closest export: void __cdecl SML::Mod::Functions::addRecipe(struct "
                          "SDK::UClass const *)\n"
                          "           decorated: " +
                          kAddRecipeConstStruct +
                          "\n"
                          "           compared with the spelling with SDK::UClass=struct\n"
                          "           differs in parameter 1: a missing const: "));
    report = document(sigcheck({"--json", "--loader", constant, theMod}));
    EXPECT_EQ(report["functions"][0]["closest"]["name"], kAddRecipeConstStruct);
    EXPECT_EQ(report["functions"][0]["closest"]["spelling"], 1);
}

TEST_F(SigcheckBindList, ShowsTheSameClosestExportWhicheverOrderTheLoaderListsThem) {
    // Two exports of addRecipe differ from the header's spelling in one part and one letter each (a
    // const, a volatile): the first in byte order is shown, in either table order.
    const std::string theMod = mod("tie", sampleList());
    for (const std::vector<std::string>& names :
         {std::vector<std::string>{kLoad, kLogFile, kAddRecipeConst, kAddRecipeVolatile},
          std::vector<std::string>{kAddRecipeVolatile, kLoad, kAddRecipeConst, kLogFile},
          std::vector<std::string>{kLogFile, kAddRecipeVolatile, kLoad, kAddRecipeConst}}) {
        SCOPED_TRACE(testing::PrintToString(names));
        const std::string path = loader("tie", names);
        const Outcome outcome = sigcheck({"--json", "--loader", path, theMod});
        EXPECT_EQ(outcome.status, 1) << outcome.err;
        const json report = document(outcome);
        const json& closest = report["functions"][0]["closest"];
        EXPECT_EQ(closest["name"], kAddRecipeConst);
        EXPECT_EQ(closest["spelling"], 0);
        EXPECT_EQ(closest["differences"].size(), 1u);
        EXPECT_THAT(sigcheck({"--loader", path, theMod}).out,
                    HasSubstr("           decorated: " + kAddRecipeConst +
                              "\n           differs in parameter 1: "
                              "a missing const: "));
    }
}

TEST_F(SigcheckBindList, KnowsTheLoaderByTheNameItsExportDirectoryGivesEveryCharacterCounting) {
    const std::string theMod = mod("names", sampleList());
    const std::vector<std::string> all = {kAddRecipe, kLoad, kLogFile};
    // Case aside, and whatever the file is called.
    EXPECT_EQ(sigcheck({"--loader", loader("upper", all, "XINPUT1_3.DLL"), theMod}).status, 0);
    EXPECT_EQ(
        sigcheck({"--loader", write("renamed/sml-3.dll", loaderImage("xinput1_3.dll", all)), theMod}).status,
        0);
    // A name as long as the loader's that is not the loader's.
    for (const std::string dll : {"xinput1_4.dll", "xinput1_3.dlx", "Xinput9_1.dll"}) {
        SCOPED_TRACE(dll);
        const std::string path = loader("other", all, dll);
        const Outcome outcome = sigcheck({"--loader", path, theMod});
        EXPECT_EQ(outcome.status, 2);
        EXPECT_EQ(outcome.out, "");
        EXPECT_EQ(outcome.err, "brickwright-sigcheck: " + path + ": its export directory names it " + dll +
                                   ", not xinput1_3.dll, the module the mod binds its host functions from\n");
    }
    // A directory without a name leaves the file's name.
    EXPECT_EQ(sigcheck({"--loader", loader("unnamed", all, ""), theMod}).status, 0);
    const std::string unnamed = write("unnamed/loader.dll", loaderImage("", all));
    EXPECT_EQ(
        sigcheck({"--loader", unnamed, theMod}).err,
        "brickwright-sigcheck: " + unnamed +
            ": its file name is loader.dll, not xinput1_3.dll, the module the mod binds its host functions "
            "from\n");
    // A DLL that exports nothing is no loader.
    const std::string exportless = write("exportless/xinput1_3.dll", exportlessImage());
    const Outcome outcome = sigcheck({"--loader", exportless, theMod});
    EXPECT_EQ(outcome.status, 2);
    EXPECT_EQ(outcome.err, "brickwright-sigcheck: " + exportless +
                               ": has no export directory: it exports nothing, so it is no loader\n");
}

TEST_F(SigcheckBindList, RefusesAModWhoseListIsMissingOrMalformedNamingTheLine) {
    const std::string whole = loader("whole", {kAddRecipe, kLoad, kLogFile});
    // The text ends at its first NUL, whatever follows.
    std::vector<std::uint8_t> padded = modImage(sampleList() + std::string(1, '\0') + "spelling junk\n");
    EXPECT_EQ(sigcheck({"--loader", whole, write("padded/Brickwright.dll", padded)}).status, 0);

    const std::string without = write("none/Brickwright.dll", modImage("", false));
    Outcome outcome = sigcheck({"--loader", whole, without});
    EXPECT_EQ(outcome.status, 2);
    EXPECT_EQ(outcome.err,
              "brickwright-sigcheck: " + without +
                  ": carries no list of spellings (.bwbind) and imports nothing from xinput1_3.dll (the "
                  "loader's DLL name); it imports no DLL at all\n");

    const std::string good = sampleList();
    const std::string add = "spelling " + kAddRecipeStruct + " SDK::UClass=struct\n";
    const struct {
        std::string text;
        std::string why;
    } cases[] = {
        {"", "its list of spellings (.bwbind) is empty"},
        {"brickwright-bind 2\n" + good.substr(19), "line 1: version 2; this checker reads version 1"},
        {"bind 1\n", "line 1: not \"brickwright-bind 1\""},
        {good.substr(0, good.size() - 4), "line 12: the list stops without its end line"},
        {good + "function x\n", "line 13: text after the end line"},
        {std::string(good).replace(good.find(add), add.size(),
                                   "spelling " + kAddRecipeStruct + " SDK::UClass=union\n"),
         "line 4: \"SDK::UClass=union\" is no change of a class key (Type=class or Type=struct)"},
        {std::string(good).replace(good.find(add), add.size(), "spelling " + kAddRecipeStruct + "\n"),
         "line 4: a spelling after the header's own that names no changed key"},
        {"brickwright-bind 1\nfunction f\nspelling ?f@@YAXXZ SDK::UClass=struct\nend\n",
         "line 3: the first spelling of a function is the header's own and changes no key"},
        {"brickwright-bind 1\nfunction f\nfunction g\nspelling ?g@@YAXXZ\nend\n",
         "line 3: a function line where the previous function has no spelling"},
        {"brickwright-bind 1\nspelling ?g@@YAXXZ\nend\n",
         "line 2: a spelling before the first function line"},
        {"brickwright-bind 1\nend\n", "line 2: the list names no function"},
        {"brickwright-bind 1\r\nend\r\n", "line 1: a control character"},
        {"brickwright-bind 1\nfunction f\nspelling ?f@@YAXXZ\n\nend\n", "line 4: an empty line"},
    };
    for (const auto& [text, why] : cases) {
        SCOPED_TRACE(text);
        const std::string path = write("malformed/Brickwright.dll", modImage(text));
        outcome = sigcheck({"--loader", whole, path});
        EXPECT_EQ(outcome.status, 2);
        EXPECT_EQ(outcome.out, "");
        const std::string expected =
            why.starts_with("line ") ? "its list of spellings (.bwbind) is malformed: " + why : why;
        EXPECT_EQ(outcome.err, "brickwright-sigcheck: " + path + ": " + expected + "\n");
    }
}

} // namespace
