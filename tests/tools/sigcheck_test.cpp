// brickwright-sigcheck run as a maintainer runs it, on real Windows programs built for the purpose:
// what it reports must agree with what the build's own table reader (tools/pe_tables/pe_tables.py,
// written apart from pe/) and the MinGW-w64 nm say about those same files.
#include "command.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using testsupport::readByteVector;
using toolstest::capture;
using toolstest::Outcome;
using toolstest::quote;
using toolstest::readText;

const fs::path kImages = SIGCHECK_TEST_IMAGES;

void writeBytes(const fs::path& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

class Sigcheck : public toolstest::ScratchSuite {
protected:
    static Outcome run(const std::vector<std::string>& arguments) {
        return toolstest::run(SIGCHECK_EXECUTABLE, arguments);
    }

    // The JSON report of one file: the one element of the one document's "files".
    static json report(const fs::path& file, int expectedStatus) {
        const Outcome result = run({"--json", file.string()});
        EXPECT_EQ(result.status, expectedStatus) << result.err;
        EXPECT_EQ(result.err, "");
        EXPECT_EQ(std::count(result.out.begin(), result.out.end(), '\n'), 1) << result.out;
        const json document = json::parse(result.out);
        EXPECT_EQ(document.size(), 1u);
        EXPECT_EQ(document["files"].size(), 1u);
        return document["files"][0];
    }
};

// What pe_tables.py and nm say about a PE file, with addresses as RVAs.
struct Binutils {
    struct Section {
        std::string name;
        std::uint64_t rva = 0;
        std::uint64_t size = 0;
        std::uint64_t fileOffset = 0;
    };
    std::uint64_t imageBase = 0;
    std::uint64_t sizeOfImage = 0;
    std::vector<Section> sections;
    std::map<std::string, std::uint64_t> symbols;

    explicit Binutils(const fs::path& file) {
        const std::string tables = quote(PE_TABLES_PYTHON) + " " + quote(PE_TABLES_SCRIPT);
        // "image-base 0x..." and "size-of-image N".
        std::istringstream headers(capture(tables + " headers " + quote(file.string())));
        for (std::string line; std::getline(headers, line);) {
            std::istringstream fields(line);
            std::string key, value;
            fields >> key >> value;
            if (key == "image-base") {
                imageBase = std::stoull(value, nullptr, 16);
            } else if (key == "size-of-image") {
                sizeOfImage = std::stoull(value);
            }
        }
        // "NAME 0xRVA VIRTUAL_SIZE 0xFILE_OFFSET RAW_SIZE".
        std::istringstream sectionTable(capture(tables + " sections " + quote(file.string())));
        for (std::string line; std::getline(sectionTable, line);) {
            std::istringstream fields(line);
            std::string name, rva, size, offset;
            if (fields >> name >> rva >> size >> offset) {
                sections.push_back({name, std::stoull(rva, nullptr, 16), std::stoull(size),
                                    std::stoull(offset, nullptr, 16)});
            }
        }
        std::istringstream nm(capture(std::string(SIGCHECK_NM) + " " + quote(file.string())));
        for (std::string line; std::getline(nm, line);) {
            std::istringstream fields(line);
            std::string address, type, name;
            if ((fields >> address >> type >> name) &&
                (name.rfind("sig_", 0) == 0 || name.rfind("engine_", 0) == 0)) {
                symbols[name] = std::stoull(address, nullptr, 16) - imageBase;
            }
        }
    }

    std::uint64_t symbol(const std::string& name) const {
        const auto found = symbols.find(name);
        EXPECT_NE(found, symbols.end()) << name;
        return found != symbols.end() ? found->second : 0;
    }

    const Section* sectionAt(std::uint64_t rva) const {
        for (const Section& section : sections) {
            if (rva >= section.rva && rva < section.rva + section.size) {
                return &section;
            }
        }
        return nullptr;
    }

    json sectionNameAt(std::uint64_t rva) const {
        const Section* section = sectionAt(rva);
        return section != nullptr ? json(section->name) : json(nullptr);
    }

    std::uint64_t fileOffsetOf(std::uint64_t rva) const {
        const Section* section = sectionAt(rva);
        EXPECT_NE(section, nullptr);
        return section != nullptr ? section->fileOffset + (rva - section->rva) : 0;
    }
};

std::size_t read16(const std::vector<std::uint8_t>& file, std::size_t at) {
    return static_cast<std::size_t>(file[at] | file[at + 1] << 8);
}

// Where the "PE\0\0" signature lies, as the DOS header says.
std::size_t peOffset(const std::vector<std::uint8_t>& file) {
    return read16(file, 0x3C) | read16(file, 0x3E) << 16;
}

// Where a section's header lies: after the file header and the optional header.
std::size_t sectionHeaderOffset(const std::vector<std::uint8_t>& file, std::size_t index) {
    const std::size_t pe = peOffset(file);
    return pe + 24 + read16(file, pe + 20) + 40 * index;
}

void put32(std::vector<std::uint8_t>& file, std::size_t at, std::uint32_t value) {
    for (std::size_t i = 0; i < 4; ++i) {
        file[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
}

TEST_F(Sigcheck, FindsBothPatternsWhereTheLinkerPutThemAndTheVariablesTheyReferTo) {
    const fs::path file = kImages / "both.exe";
    const Binutils binutils(file);
    const json document = report(file, 0);
    EXPECT_EQ(document["file"], file.string());
    EXPECT_EQ(document["image_size"], binutils.sizeOfImage);
    ASSERT_EQ(document["patterns"].size(), 2u);

    const struct {
        const char* name;
        const char* code;
        const char* variable;
        std::uint64_t distanceTopByte;
    } expected[] = {{"name-table", "sig_name_table", "engine_name_table", 0x03},
                    {"object-table", "sig_object_table", "engine_object_table", 0x04}};
    for (std::size_t i = 0; i < 2; ++i) {
        SCOPED_TRACE(expected[i].name);
        const json& pattern = document["patterns"][i];
        const std::uint64_t rva = binutils.symbol(expected[i].code);
        const std::uint64_t target = binutils.symbol(expected[i].variable);
        // The test image is shaped as the game's is: the variable lies as far away as the mask demands.
        ASSERT_EQ((target - (rva + 7)) >> 24, expected[i].distanceTopByte);

        EXPECT_EQ(pattern["name"], expected[i].name);
        EXPECT_EQ(pattern["found"], true);
        EXPECT_EQ(pattern["rva"], rva);
        EXPECT_EQ(pattern["section"], ".text");
        EXPECT_EQ(pattern["section"], binutils.sectionNameAt(rva));
        EXPECT_EQ(pattern["matches"], 1);
        EXPECT_EQ(pattern["target_rva"], target);
        EXPECT_EQ(pattern["target_section"], ".bss.engine");
        EXPECT_EQ(pattern["target_section"], binutils.sectionNameAt(target));
    }

    const Outcome table = run({file.string()});
    EXPECT_EQ(table.status, 0);
    EXPECT_THAT(table.out, testing::StartsWith(file.string() + ": image of " +
                                               std::to_string(binutils.sizeOfImage) + " bytes\n"));
    EXPECT_THAT(table.out, testing::Not(testing::HasSubstr("warning")));
    EXPECT_THAT(table.out, testing::Not(testing::HasSubstr("missing")));
}

TEST_F(Sigcheck, TakesTheLowestOfSeveralMatchesAndWarnsThatThereAreMore) {
    const fs::path file = kImages / "twice.exe";
    const Binutils binutils(file);
    const std::uint64_t first = binutils.symbol("sig_name_table_first");
    const std::uint64_t second = binutils.symbol("sig_name_table_second");
    ASSERT_LT(first, second);
    ASSERT_NE(binutils.sectionAt(second), nullptr);
    EXPECT_EQ(binutils.sectionAt(second)->name, ".patch");

    const json document = report(file, 0);
    const json& names = document["patterns"][0];
    EXPECT_EQ(names["rva"], first);
    EXPECT_EQ(names["section"], ".text");
    EXPECT_EQ(names["matches"], 2);
    EXPECT_EQ(names["target_rva"], binutils.symbol("engine_name_table"));
    EXPECT_EQ(document["patterns"][1]["matches"], 1);

    const Outcome table = run({file.string()});
    EXPECT_EQ(table.status, 0);
    EXPECT_THAT(table.out,
                testing::HasSubstr("  warning: name-table matches 2 times; the mod takes the lowest, "
                                   "and a later update may reorder them\n"));
    EXPECT_THAT(table.out, testing::Not(testing::HasSubstr("object-table matches")));

    // Without the lower one, the higher one is what the mod would take.
    std::vector<std::uint8_t> bytes = readByteVector(file);
    bytes[binutils.fileOffsetOf(first)] = 0x90;
    writeBytes(scratch("twice-first-gone.exe"), bytes);
    const json patched = report(scratch("twice-first-gone.exe"), 0);
    EXPECT_EQ(patched["patterns"][0]["rva"], second);
    EXPECT_EQ(patched["patterns"][0]["section"], ".patch");
    EXPECT_EQ(patched["patterns"][0]["matches"], 1);
}

TEST_F(Sigcheck, SaysWhenAnInstructionRefersOutsideEverySection) {
    const fs::path file = kImages / "outside.exe";
    const Binutils binutils(file);
    const json document = report(file, 0);
    const std::uint64_t names = binutils.symbol("sig_name_table");
    const std::uint64_t objects = binutils.symbol("sig_object_table");
    EXPECT_EQ(document["patterns"][0]["rva"], names);
    EXPECT_EQ(document["patterns"][0]["section"], ".probe");
    EXPECT_EQ(document["patterns"][0]["target_rva"], names + 7 + 0x03000000);
    EXPECT_EQ(document["patterns"][0]["target_section"], nullptr);
    EXPECT_EQ(document["patterns"][1]["rva"], objects);
    EXPECT_EQ(document["patterns"][1]["target_rva"], objects + 7 + 0x04000000);
    EXPECT_EQ(document["patterns"][1]["target_section"], nullptr);

    const Outcome table = run({file.string()});
    EXPECT_EQ(table.status, 0);
    EXPECT_THAT(table.out, testing::HasSubstr("(outside every section)"));
    char warning[128];
    std::snprintf(warning, sizeof warning,
                  "  warning: object-table refers to 0x%08llx, outside every section\n",
                  static_cast<unsigned long long>(objects + 7 + 0x04000000));
    EXPECT_THAT(table.out, testing::HasSubstr(warning));
}

TEST_F(Sigcheck, ReportsAnImageWithoutThePatternsWithStatusOne) {
    const json document = report(kImages / "neither.exe", 1);
    for (const json& pattern : document["patterns"]) {
        EXPECT_EQ(pattern["found"], false);
        EXPECT_EQ(pattern["rva"], nullptr);
        EXPECT_EQ(pattern["section"], nullptr);
        EXPECT_EQ(pattern["matches"], 0);
        EXPECT_EQ(pattern["target_rva"], nullptr);
        EXPECT_EQ(pattern["target_section"], nullptr);
    }
    const Outcome table = run({(kImages / "neither.exe").string()});
    EXPECT_EQ(table.status, 1);
    EXPECT_THAT(table.out,
                testing::HasSubstr("  missing: name-table does not match anywhere in the image\n"));
    EXPECT_THAT(table.out,
                testing::HasSubstr("  missing: object-table does not match anywhere in the image\n"));
}

TEST_F(Sigcheck, MissesAMatchWhoseFixedByteDiffersOrThatTheLoaderDoesNotMap) {
    const fs::path file = kImages / "both.exe";
    const Binutils binutils(file);
    const std::vector<std::uint8_t> original = readByteVector(file);
    const std::uint64_t names = binutils.symbol("sig_name_table");
    const std::uint64_t objects = binutils.symbol("sig_object_table");

    // The name-table displacement's top byte is fixed at 03.
    std::vector<std::uint8_t> bytes = original;
    bytes[binutils.fileOffsetOf(names + 6)] = 0x02;
    writeBytes(scratch("names-04.exe"), bytes);
    json document = report(scratch("names-04.exe"), 1);
    EXPECT_EQ(document["patterns"][0]["found"], false);
    EXPECT_EQ(document["patterns"][1]["rva"], objects);

    // The third call's offset must have 01 as its top byte.
    bytes = original;
    bytes[binutils.fileOffsetOf(objects + 21)] = 0x02;
    writeBytes(scratch("objects-call.exe"), bytes);
    document = report(scratch("objects-call.exe"), 1);
    EXPECT_EQ(document["patterns"][0]["rva"], names);
    EXPECT_EQ(document["patterns"][1]["found"], false);

    // A VirtualSize that ends .text before the patterns: their raw bytes stay in the file, unmapped.
    bytes = original;
    ASSERT_EQ(binutils.sections.at(0).name, ".text");
    put32(bytes, sectionHeaderOffset(bytes, 0) + 8,
          static_cast<std::uint32_t>(names - binutils.sections[0].rva));
    writeBytes(scratch("text-short.exe"), bytes);
    document = report(scratch("text-short.exe"), 1);
    EXPECT_EQ(document["patterns"][0]["found"], false);
    EXPECT_EQ(document["patterns"][1]["found"], false);

    // No VirtualSize at all: the whole raw data is mapped.
    put32(bytes, sectionHeaderOffset(bytes, 0) + 8, 0);
    writeBytes(scratch("text-no-virtual-size.exe"), bytes);
    document = report(scratch("text-no-virtual-size.exe"), 0);
    EXPECT_EQ(document["patterns"][0]["rva"], names);
    EXPECT_EQ(document["patterns"][1]["rva"], objects);
}

TEST_F(Sigcheck, RefusesFilesItCannotUseWithStatusTwoAndOneLineSayingWhy) {
    const std::vector<std::uint8_t> good = readByteVector(kImages / "both.exe");
    const std::size_t table = sectionHeaderOffset(good, 0);
    const auto cut = [&](std::size_t size) {
        return std::vector<std::uint8_t>(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(size));
    };
    std::vector<std::uint8_t> pe32 = good;
    const std::size_t pe = peOffset(pe32);
    pe32[pe + 4] = 0x4C; // Machine: i386
    pe32[pe + 5] = 0x01;
    pe32[pe + 24] = 0x0B; // Magic: PE32
    pe32[pe + 25] = 0x01;
    const std::string text = "this is a text file, not a program\n";

    const struct {
        std::string name;
        std::vector<std::uint8_t> bytes;
        std::string message;
    } cases[] = {
        {"empty.exe", {}, "not a PE file"},
        {"text.exe", {text.begin(), text.end()}, "not a PE file"},
        {"headers-cut.exe", cut(peOffset(good) + 24 + 50), "truncated headers"},
        {"table-cut.exe", cut(table + 40 * 2 + 5), "truncated section table"},
        {"half.exe", cut(good.size() / 2), "section data past the end of the file"},
        {"pe32.exe", pe32, "not an x86-64 image"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path path = scratch(c.name);
        writeBytes(path, c.bytes);
        const Outcome result = run({path.string()});
        EXPECT_EQ(result.status, 2);
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(result.err, "brickwright-sigcheck: " + path.string() + ": " + c.message + "\n");
    }

    fs::create_directories(scratch("a-directory.exe"));
    Outcome result = run({scratch("a-directory.exe").string()});
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.err, "brickwright-sigcheck: " + scratch("a-directory.exe").string() +
                              ": cannot read: Is a directory\n");
    result = run({scratch("no-such-file.exe").string()});
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.err, "brickwright-sigcheck: " + scratch("no-such-file.exe").string() +
                              ": cannot read: No such file or directory\n");

    const Binutils binutils(kImages / "both.exe");
    result = run({"--max-image-size=1048576", (kImages / "both.exe").string()});
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "brickwright-sigcheck: " + (kImages / "both.exe").string() +
                              ": image too large: SizeOfImage is " + std::to_string(binutils.sizeOfImage) +
                              " bytes, over the limit of 1048576 bytes\n");
}

TEST_F(Sigcheck, ChecksEveryFileAndExitsWithTheWorstOutcome) {
    const std::string both = (kImages / "both.exe").string();
    const std::string neither = (kImages / "neither.exe").string();
    writeBytes(scratch("worst-empty.exe"), {});
    const std::string empty = scratch("worst-empty.exe").string();

    // One JSON document on one line whatever the number of files, each usable file in it in order.
    Outcome result = run({"--json", both, both});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(std::count(result.out.begin(), result.out.end(), '\n'), 1);
    EXPECT_EQ(json::parse(result.out)["files"].size(), 2u);

    result = run({"--json", neither, both});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(std::count(result.out.begin(), result.out.end(), '\n'), 1);
    EXPECT_EQ(json::parse(result.out)["files"].size(), 2u);

    result = run({"--json", empty, neither, both});
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(std::count(result.out.begin(), result.out.end(), '\n'), 1);
    EXPECT_EQ(result.err, "brickwright-sigcheck: " + empty + ": not a PE file\n");
    const json files = json::parse(result.out)["files"];
    ASSERT_EQ(files.size(), 2u);
    EXPECT_EQ(files[0]["file"], neither);
    EXPECT_EQ(files[1]["file"], both);
}

// A pattern pasted on the command line runs through the very check the engine patterns do: given the
// engine patterns' own text, every file's JSON and table are those of the plain check but for the names.
TEST_F(Sigcheck, ChecksAPastedPatternExactlyAsItChecksTheEnginePatterns) {
    const std::string names = "48 8B 05 ?? ?? ?? 03 48 85 C0 0F 85 B0";
    const std::string objects = "48 8D 0D ?? ?? ?? 04 E8 ?? ?? ?? 00 E8 ?? ?? ?? 00 E8 ?? ?? ?? 01";
    // Pasted as a maintainer might: lower case, single '?', more than one space.
    const std::string namesPasted = "48 8b 05 ? ?? ?  03   48 85 c0 0f 85 b0";
    std::vector<std::string> files;
    for (const char* name : {"both.exe", "twice.exe", "outside.exe", "neither.exe"}) {
        files.push_back((kImages / name).string());
    }
    std::vector<std::string> arguments = {"--json", "--pattern", namesPasted, "--pattern=" + objects};
    arguments.insert(arguments.end(), files.begin(), files.end());
    const Outcome pasted = run(arguments);
    arguments = {"--json"};
    arguments.insert(arguments.end(), files.begin(), files.end());
    const Outcome engine = run(arguments);
    EXPECT_EQ(pasted.status, 1); // neither.exe lacks both
    EXPECT_EQ(pasted.status, engine.status);
    EXPECT_EQ(pasted.err, "");
    const json pastedFiles = json::parse(pasted.out)["files"];
    const json engineFiles = json::parse(engine.out)["files"];
    ASSERT_EQ(pastedFiles.size(), engineFiles.size());
    std::size_t documents = 0;
    for (std::size_t i = 0; i < pastedFiles.size(); ++i) {
        json fromPasted = pastedFiles[i];
        const json& fromEngine = engineFiles[i];
        SCOPED_TRACE(fromEngine["file"].dump());
        ASSERT_EQ(fromPasted["patterns"].size(), 2u);
        EXPECT_EQ(fromPasted["patterns"][0]["name"], names);
        EXPECT_EQ(fromPasted["patterns"][1]["name"], objects);
        fromPasted["patterns"][0]["name"] = "name-table";
        fromPasted["patterns"][1]["name"] = "object-table";
        EXPECT_EQ(fromPasted, fromEngine);
        ++documents;
    }
    EXPECT_EQ(documents, files.size());

    // The table: the same but for the names, which widen the first column.
    const Outcome table = run({"--pattern", names, (kImages / "twice.exe").string()});
    EXPECT_EQ(table.status, 0);
    EXPECT_THAT(table.out, testing::HasSubstr("  " + names + "  yes    0x"));
    EXPECT_THAT(table.out,
                testing::HasSubstr("  warning: " + names + " matches 2 times; the mod takes the lowest"));

    // A short pattern has no target; one that matches nowhere is missing, with status 1.
    const json shortPattern = json::parse(
        run({"--json", "--pattern", "48 8B 05", (kImages / "both.exe").string()}).out)["files"][0];
    EXPECT_GT(shortPattern["patterns"][0]["matches"], 0);
    EXPECT_EQ(shortPattern["patterns"][0]["target_rva"], nullptr);
    const Outcome nowhere =
        run({"--pattern", "0F 0B 0F 0B 0F 0B 0F 0B CC CC", (kImages / "both.exe").string()});
    EXPECT_EQ(nowhere.status, 1);
    EXPECT_THAT(nowhere.out, testing::HasSubstr("  missing: 0F 0B 0F 0B 0F 0B 0F 0B CC CC does not match"));

    for (const std::string& bad : {std::string("48 8B 5"), std::string("48 8B GG"), std::string("?? ??"),
                                   std::string(""), std::string("488B05")}) {
        SCOPED_TRACE(bad);
        const Outcome refused = run({"--pattern", bad, (kImages / "both.exe").string()});
        EXPECT_EQ(refused.status, 2);
        EXPECT_EQ(refused.out, "");
        EXPECT_THAT(refused.err, testing::StartsWith("brickwright-sigcheck: --pattern: "));
    }
    const Outcome withMake = run({"--pattern", names, "--make", "0x1000", (kImages / "both.exe").string()});
    EXPECT_EQ(withMake.status, 2);
    EXPECT_THAT(withMake.err, testing::HasSubstr("exclude each other"));
}

TEST_F(Sigcheck, ExplainsItselfAndRejectsCommandLinesItCannotUse) {
    Outcome result = run({"--help"});
    EXPECT_EQ(result.status, 0);
    EXPECT_THAT(result.out, testing::StartsWith("usage: brickwright-sigcheck [--json]"));
    EXPECT_THAT(result.out, testing::HasSubstr("Exit status, the worst over all files:"));

    result = run({});
    EXPECT_EQ(result.status, 2);
    EXPECT_THAT(result.err, testing::StartsWith("brickwright-sigcheck: no file given\nusage:"));
    result = run({"--jsonl", (kImages / "both.exe").string()});
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.err,
              "brickwright-sigcheck: unknown option '--jsonl'; try 'brickwright-sigcheck --help'\n");
    result = run({"--max-image-size=lots", (kImages / "both.exe").string()});
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.out, "");
    result = run({"--max-image-size", (kImages / "both.exe").string()});
    EXPECT_EQ(result.status, 2);
    EXPECT_THAT(result.err, testing::StartsWith("brickwright-sigcheck: --max-image-size takes a number"));

    // Every option with a value takes it after '=' or as the next argument, to the same effect.
    for (const std::vector<std::string>& pair : std::vector<std::vector<std::string>>{
             {"--max-image-size=1048576", "--max-image-size", "1048576"},
             {"--max-image-size=4294967296", "--max-image-size", "4294967296"},
             {"--pattern=48 8B 05", "--pattern", "48 8B 05"}}) {
        SCOPED_TRACE(pair[0]);
        const Outcome joined = run({pair[0], (kImages / "both.exe").string()});
        const Outcome separate = run({pair[1], pair[2], (kImages / "both.exe").string()});
        EXPECT_EQ(joined.status, separate.status);
        EXPECT_EQ(joined.out, separate.out);
        EXPECT_EQ(joined.err, separate.err);
    }

    // After "--" a name that begins with a dash is a file.
    writeBytes(scratch("-dash.exe"), readByteVector(kImages / "both.exe"));
    const fs::path previous = fs::current_path();
    fs::current_path(scratch(""));
    result = run({"--json", "--", "-dash.exe"});
    fs::current_path(previous);
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(json::parse(result.out)["files"][0]["file"], "-dash.exe");
}

// One line for an option it does not know, whatever else the command line holds, naming the option
// as given and where help is; nothing on standard output, status 2.
TEST_F(Sigcheck, RejectsEveryOptionItDoesNotKnowInOneLineNamingIt) {
    const std::string both = (kImages / "both.exe").string();
    for (const std::vector<std::string>& arguments :
         std::vector<std::vector<std::string>>{{"--nonsense", both},
                                               {"--json", both, "-x"},
                                               {"--json=yes", both},
                                               {"--make=0x1000", both},
                                               {"--loaderx", both, both},
                                               {"--suggest", "--old-file=a.exe", both},
                                               {"--pattern", "48 8B 05", "--help=all", both}}) {
        SCOPED_TRACE(testing::PrintToString(arguments));
        const std::string& option =
            *std::find_if(arguments.begin(), arguments.end(), [](const std::string& a) {
                return a.starts_with("-") && a != "--json" && a != "--suggest" && a != "--pattern";
            });
        const Outcome result = run(arguments);
        EXPECT_EQ(result.status, 2);
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(result.err, "brickwright-sigcheck: unknown option '" + option +
                                  "'; try 'brickwright-sigcheck --help'\n");
    }
}

// --make takes RVAs, then one file: a second file, a file before the RVAs, or a word that is neither
// is named for what it is.
TEST_F(Sigcheck, NamesTheArgumentThatIsWrongInAMakeCommandLine) {
    const std::string both = (kImages / "both.exe").string();
    const std::string neither = (kImages / "neither.exe").string();
    Outcome result = run({"--make", "0x20040", both, neither});
    EXPECT_EQ(result.status, 2);
    EXPECT_THAT(result.err,
                testing::StartsWith("brickwright-sigcheck: --make takes one file, after the RVAs, but 2 "
                                    "were given: '" +
                                    both + "', then '" + neither + "'\nusage:"));
    result = run({"--make", both, "0x20040"});
    EXPECT_EQ(result.status, 2);
    EXPECT_THAT(result.err,
                testing::StartsWith("brickwright-sigcheck: --make takes the RVAs first, then the file: '" +
                                    both + "' comes before the RVA '0x20040'\n"));
    result = run({"--make", "0x1000", "0x20zz", both});
    EXPECT_EQ(result.status, 2);
    EXPECT_THAT(result.err,
                testing::StartsWith("brickwright-sigcheck: --make: '0x20zz' is not an RVA (0x-prefixed "
                                    "hex, or decimal); only the last argument, '" +
                                    both + "', is the file\n"));
    EXPECT_EQ(result.out, "");
}

} // namespace
