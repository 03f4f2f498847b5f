// brickwright-sigcheck: checks the engine patterns against game executables on disk, before a release
// rather than at the game's start.
#include "brickwright/command_line.hpp"
#include "pe/image.hpp"
#include "sigcheck/check.hpp"
#if BRICKWRIGHT_SIGCHECK_LOADER
#include "sigcheck/loader_check.hpp"
#endif
#include "sdk/pattern_text.hpp"
#include "sigcheck/report.hpp"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

namespace {

using brickwright::Error;
using brickwright::fail;
using brickwright::Result;

constexpr std::string_view kProgram = "brickwright-sigcheck";

constexpr std::string_view kHelp =
    R"(usage: brickwright-sigcheck [--json] [--max-image-size=BYTES] FILE...
       brickwright-sigcheck --pattern TEXT [--pattern TEXT...] [--json] FILE...
       brickwright-sigcheck --make [--json] RVA... FILE
       brickwright-sigcheck --suggest [--old=OLDFILE] [--candidates=N] [--json] FILE...
       brickwright-sigcheck --loader LOADER.dll [--json] MOD.dll

Lays each FILE (a PE32+ x86-64 executable or DLL) out as the Windows loader maps it and runs the
mod's own scan for both engine patterns over that image, from its first byte, as the mod does in
the game. Relocations and imports are not applied. For each pattern it prints whether it matches,
the RVA of the lowest match (the one the mod takes) and the section holding it, how many matches
the image holds (a warning when more than one: a later update may reorder them), and the RVA the
matched instruction refers to (match + 7 + displacement) with the section holding that.

  --json                   one JSON document on one line, instead of the tables, whatever the
                           number of files: {"files": [...]}, one element per usable file, in
                           order: {"file", "image_size", "patterns": [{"name", "found", "rva",
                           "section", "matches", "target_rva", "target_section"}]}; RVAs are
                           decimal, and sections or targets outside every section are null.
                           --suggest wraps its reports the same way; --make and --loader, which
                           take one file, print that file's document alone
  --max-image-size=BYTES   refuse images whose SizeOfImage exceeds BYTES (default 4 GiB)
  -h, --help               this text
Every option that takes a value takes it as --option=VALUE or as --option VALUE.

--pattern TEXT: checks a pattern written as in sdk/engine_patterns.hpp ("48 8B 05 ?? ?? ?? 03 ...";
hex pairs in either case, ?? or ? for any byte) instead of the engine patterns, before it replaces
one there: the same table and JSON, the pattern's text as its name. The target is the one the mod
would take from it (match + 7 + the displacement at bytes 3 to 6), for patterns of 7 bytes or more.
Given several times, each pattern is a row.

--make RVA... FILE: a pattern for the instruction at each RVA (0x-prefixed hex, or decimal) of
FILE, in the form the engine patterns are written in, ready to paste. It takes whole instructions
from the RVA on until the pattern matches once in the image (at most 64 bytes), with wildcards
exactly where an operand moves when code or data moves: RIP-relative displacements, 32-bit branch
and call offsets, and immediates or displacements holding an address inside the image (or, beside
a register, an RVA inside a section); trailing wildcards are dropped. The matches are found with
the mod's own scan, then narrowed as the pattern grows. A pattern that stays ambiguous names the
other places it matches (the first 16). JSON: {"file", "image_size", "patterns": [{"rva",
"pattern", "length", "instructions", "matches", "unique", "other_rvas" (when not unique)} or
{"rva", "error"}]}.

--suggest FILE...: for each engine pattern that does not match exactly once, the instructions of
the same shape (name table: mov r64, [rip+disp32]; test of that register; jnz; object table: lea
rcx, [rip+disp32]; three near calls), ranked, the first few with a pattern made as by --make.
Without --old the ranking is a guess from the broken pattern alone, and the first candidate is
labelled "likely": each candidate's score (0 to 100%) weighs how near its displacement lies to the
range the pattern's fixed top byte allowed (half), the share of the pattern's other fixed bytes it
shows (40%), and whether its target lies in a writable section (the rest).
  --old=OLDFILE            an earlier build in which the patterns matched: rank by how closely
                           each candidate's surrounding instructions (moving operands masked)
                           resemble those around the old match, then by score; the first is
                           labelled "best". A pattern the old build lacks is ranked by score
                           ("a guess: the old build lacks this pattern too"; in JSON "guess"),
                           with a line on standard error
  --candidates=N           how many candidates to show per pattern (default 5)
JSON, each element of "files": {"file", "image_size", "old_file", "patterns": [{"name", "matches",
"old_rva", "candidate_count", "ranked_by" ("resemblance" or "score"), "best" (the first candidate's
RVA), "guess" (why ranked by score: no old build, or the old build lacks the pattern; else null),
"candidates": [{"rva", "section", "target_rva", "target_section", "instructions", "resemblance",
"score", "pattern", "pattern_matches", "unique"}]}], "old_problems"}.

--loader LOADER.dll MOD.dll: what MOD.dll will do with the host loader LOADER.dll, before it is put
beside the game. The mod binds each host function at load by the first of its spellings that the
loader exports: the list in its .bwbind section, the header's own spelling first, then those that
differ from it only in class keys. A function is "found" when the loader exports the header's
spelling, "found" by another spelling (with the keys that differ, "SDK::UClass=struct") when it
exports one of the others, else "missing": then its decorated name, and the loader's closest export
of the same function (same qualified name, e.g. SML::Mod::Functions::addRecipe) and what differs
from the nearest spelling, part by part: a class/struct key, a parameter's type, a missing const,
the return type, the calling convention, static or virtual; or that the loader exports nothing of
that name. Of two that differ in as many parts, the one whose decorated name differs over fewer
characters (between the start and the end they share) is shown, then the first in byte order.
Names MOD.dll imports from a DLL of the loader's name (in any case) are checked too, each by its
one decorated name. The last line says whether the mod loads. The loader's name is the one its export directory gives, else its file name;
with a list it must be xinput1_3.dll, the module the mod binds from. The mod's side is the host
interface, host/include/sml/sml.hpp: a difference means its declaration there differs from the
loader's (docs/windows.md). JSON: {"file", "loader", "dll", "list", "functions": [{"name",
"ordinal", "demangled", "function", "imported", "spellings": [{"name", "changes"}], "binding"
("header", "other", "missing"), "found", "bound": {"name", "changes"} or null, "closest": {"name",
"demangled", "differences", "spelling"} or null}], "found", "other", "missing", "loads"}. Names are
demangled with LLVM's demangler, or dbghelp's on Windows; a build without either has no --loader.

A file or RVA that cannot be used prints one line on standard error, naming it and why; a file
that cannot be used has no table and no element in "files", and the other files are still checked.

Exit status, the worst over all files:
  0  every file holds every pattern checked; every RVA has a unique pattern; every broken pattern
     has a first candidate with a unique pattern; the mod loads with the loader
  1  some file lacks a pattern, some RVA or broken pattern has no unique answer, the old build
     lacks a pattern, or the mod does not load with the loader: a function binds to none of its
     spellings
  2  some file or RVA cannot be used (unreadable, not a PE32+ x86-64 image, malformed; an RVA
     outside every section, not in executable code, or where no instruction decodes; a loader
     without an export directory or of another name; a mod whose list of spellings is malformed,
     or with neither a list nor imports from the loader), or a usage error. An option it does not
     know is named in one line
)";

enum class Mode { Check, Pattern, Make, Suggest, Loader };

struct Options {
    Mode mode = Mode::Check;
    bool json = false;
    std::uint64_t maxImageSize = pe::kDefaultMaxImageSize;
    std::vector<std::string> files;
    std::vector<std::uint64_t> rvas;
    std::vector<std::pair<std::string, std::vector<SDK::PatternByte>>> patterns; // text, elements
    std::optional<std::string> oldFile;
    std::optional<std::string> loader;
    std::size_t candidates = 5;
    bool help = false;
};

void printError(std::string_view file, std::string_view why) {
    std::fprintf(stderr, "%.*s: %.*s: %.*s\n", static_cast<int>(kProgram.size()), kProgram.data(),
                 static_cast<int>(file.size()), file.data(), static_cast<int>(why.size()), why.data());
}

// An option the tool does not know: one line, naming it and where help is.
constexpr std::string_view kUnknownOption = "unknown option '";

void printUsageError(std::string_view why) {
    if (why.starts_with(kUnknownOption)) {
        std::fprintf(stderr, "%.*s: %.*s; try '%.*s --help'\n", static_cast<int>(kProgram.size()),
                     kProgram.data(), static_cast<int>(why.size()), why.data(),
                     static_cast<int>(kProgram.size()), kProgram.data());
        return;
    }
    std::fprintf(stderr,
                 "%.*s: %.*s\nusage: %.*s [--json] [--pattern TEXT | --make RVA... | --suggest "
                 "[--old=OLDFILE] | --loader LOADER] FILE... (--help for more)\n",
                 static_cast<int>(kProgram.size()), kProgram.data(), static_cast<int>(why.size()), why.data(),
                 static_cast<int>(kProgram.size()), kProgram.data());
}

// 0x-prefixed hex or decimal, as the checker prints RVAs and as JSON holds them.
bool parseRva(std::string_view text, std::uint64_t& rva) {
    const bool hex = text.starts_with("0x") || text.starts_with("0X");
    const std::optional<std::uint64_t> number =
        brickwright::wholeNumber<std::uint64_t>(hex ? text.substr(2) : text, hex ? 16 : 10);
    rva = number.value_or(rva);
    return number.has_value();
}

std::string inQuotes(const std::string& text) {
    return "'" + text + "'";
}

// --make's arguments: every one but the last an RVA, the last the file. When one is not, say which and
// what it more likely is: a second file, or a file put before the RVAs.
Result<void> makeArguments(Options& options) {
    const std::string& last = options.files.back();
    std::vector<std::string> files;
    for (std::size_t i = 0; i + 1 < options.files.size(); ++i) {
        std::uint64_t rva = 0;
        if (parseRva(options.files[i], rva)) {
            options.rvas.push_back(rva);
        } else {
            files.push_back(options.files[i]);
        }
    }
    if (!files.empty()) {
        std::uint64_t rva = 0;
        std::error_code ec;
        if (parseRva(last, rva)) {
            return fail("--make takes the RVAs first, then the file: " + inQuotes(files.front()) +
                        " comes before the RVA " + inQuotes(last));
        }
        if (std::filesystem::exists(files.front(), ec)) {
            std::string given;
            for (const std::string& file : files) {
                given += inQuotes(file) + ", ";
            }
            return fail("--make takes one file, after the RVAs, but " + std::to_string(files.size() + 1) +
                        " were given: " + given + "then " + inQuotes(last));
        }
        return fail("--make: " + inQuotes(files.front()) +
                    " is not an RVA (0x-prefixed hex, or decimal); only the last argument, " +
                    inQuotes(last) + ", is the file");
    }
    options.files.erase(options.files.begin(), options.files.end() - 1);
    return {};
}

// The options, or why the command line is unusable.
Result<Options> parseArguments(int argc, char** argv) {
    Options options;
    bool modeGiven = false;
    const auto setMode = [&](Mode mode) {
        if (modeGiven && options.mode != mode) {
            return false;
        }
        modeGiven = true;
        options.mode = mode;
        return true;
    };
    constexpr const char* kModesExclusive = "--pattern, --make, --suggest and --loader exclude each other";
    brickwright::CommandLine line(argc, argv);
    while (line.next()) {
        std::optional<std::string_view> value;
        if (!line.isOption()) {
            options.files.emplace_back(line.argument());
        } else if (line.isFlag("--json")) {
            options.json = true;
        } else if (line.isFlag("--make") || line.isFlag("--suggest")) {
            if (!setMode(line.isFlag("--make") ? Mode::Make : Mode::Suggest)) {
                return fail(kModesExclusive);
            }
        } else if (line.is("--pattern")) {
            if (!setMode(Mode::Pattern)) {
                return fail(kModesExclusive);
            }
            if (value = line.value(); !value) {
                return fail("--pattern takes a pattern such as \"48 8B 05 ?? ?? ?? ??\"");
            }
            Result<std::vector<SDK::PatternByte>> elements = SDK::parsePatternText(*value);
            if (!elements) {
                return fail("--pattern: " + elements.error().message);
            }
            options.patterns.emplace_back(SDK::patternText(*elements), std::move(*elements));
        } else if (line.is("--loader")) {
            if (!setMode(Mode::Loader)) {
                return fail(kModesExclusive);
            }
            if (value = line.value(); !value || value->empty()) {
                return fail("--loader takes the loader's DLL, then the mod's");
            }
            options.loader = std::string(*value);
        } else if (line.is("--old")) {
            if (value = line.value(); !value || value->empty()) {
                return fail("--old takes the file of an earlier build");
            }
            options.oldFile = std::string(*value);
        } else if (line.is("--candidates")) {
            value = line.value();
            const std::optional<std::size_t> count =
                value ? brickwright::wholeNumber<std::size_t>(*value) : std::nullopt;
            if (!count || *count == 0) {
                return fail("--candidates takes a number above 0");
            }
            options.candidates = *count;
        } else if (line.is("--max-image-size")) {
            value = line.value();
            const std::optional<std::uint64_t> bytes =
                value ? brickwright::wholeNumber<std::uint64_t>(*value) : std::nullopt;
            if (!bytes) {
                return fail("--max-image-size takes a number of bytes");
            }
            options.maxImageSize = *bytes;
        } else if (line.isFlag("-h") || line.isFlag("--help")) {
            options.help = true;
            return options;
        } else {
            return fail(std::string(kUnknownOption) + std::string(line.argument()) + "'");
        }
    }
    if (options.oldFile && options.mode != Mode::Suggest) {
        return fail("--old goes with --suggest");
    }
    if (options.mode == Mode::Make) {
        if (options.files.size() < 2) {
            return fail("--make takes one or more RVAs, then the file");
        }
        if (Result<void> rvas = makeArguments(options); !rvas) {
            return tl::unexpected(std::move(rvas.error()));
        }
    }
    if (options.mode == Mode::Loader && options.files.size() != 1) {
        return fail("--loader takes the loader's DLL, then one mod DLL; " +
                    (options.files.empty() ? std::string("no mod given")
                                           : std::to_string(options.files.size()) + " files given"));
    }
    if (options.files.empty()) {
        return fail("no file given");
    }
    return options;
}

struct CloseFile {
    void operator()(std::FILE* file) const noexcept { std::fclose(file); }
};

// The whole file, or why it cannot be read (the text after "cannot read: ").
Result<std::vector<std::uint8_t>> readFile(const std::string& path) {
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) {
        return fail(std::make_error_code(std::errc::is_a_directory).message());
    }
    errno = 0;
    const std::unique_ptr<std::FILE, CloseFile> file(std::fopen(path.c_str(), "rb"));
    if (!file) {
        return fail(errno != 0 ? std::generic_category().message(errno) : "cannot open the file");
    }
    std::vector<std::uint8_t> bytes;
    std::uint8_t buffer[1 << 16];
    for (;;) {
        const std::size_t count = std::fread(buffer, 1, sizeof buffer, file.get());
        bytes.insert(bytes.end(), buffer, buffer + count);
        if (count < sizeof buffer) {
            break;
        }
    }
    if (std::ferror(file.get()) != 0) {
        return fail(errno != 0 ? std::generic_category().message(errno) : "read error");
    }
    return bytes;
}

// The file laid out, or nothing after printing why it cannot be used.
std::optional<pe::LoadedImage> loadFile(const std::string& path, const Options& options) {
    Result<pe::LoadedImage> loaded =
        readFile(path)
            .map_error([](Error error) { return Error{"cannot read: " + error.message}; })
            .and_then([&](const std::vector<std::uint8_t>& bytes) {
                return pe::load(bytes, options.maxImageSize);
            });
    if (!loaded) {
        printError(path, loaded.error().message);
        return std::nullopt;
    }
    return std::move(*loaded);
}

void print(const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
}

#if BRICKWRIGHT_SIGCHECK_DECODER

int makeFile(const std::string& path, const Options& options) {
    const std::optional<pe::LoadedImage> loaded = loadFile(path, options);
    if (!loaded) {
        return sigcheck::kStatusUnusable;
    }
    const sigcheck::PatternMaker maker(loaded->headers, loaded->image.bytes());
    sigcheck::MakeReport report;
    report.file = path;
    report.imageSize = loaded->image.size();
    for (const std::uint64_t rva : options.rvas) {
        sigcheck::MakeResult result = maker.make(rva);
        if (!result) {
            printError(path, result.error().message);
        }
        report.results.emplace_back(rva, std::move(result));
    }
    print(options.json ? sigcheck::toJson(report) + '\n' : sigcheck::toTable(report));
    return report.status();
}

int suggestFiles(const Options& options, std::vector<std::string>& documents) {
    std::optional<pe::LoadedImage> old;
    if (options.oldFile) {
        old = loadFile(*options.oldFile, options);
        if (!old) {
            return sigcheck::kStatusUnusable;
        }
    }
    int status = sigcheck::kStatusComplete;
    for (const std::string& path : options.files) {
        const std::optional<pe::LoadedImage> loaded = loadFile(path, options);
        if (!loaded) {
            status = sigcheck::kStatusUnusable;
            continue;
        }
        sigcheck::OldBuild oldBuild;
        if (old) {
            oldBuild = {*options.oldFile, &old->headers, old->image.bytes()};
        }
        const sigcheck::SuggestReport report = sigcheck::suggest(
            path, loaded->headers, loaded->image.bytes(), old ? &oldBuild : nullptr, options.candidates);
        // A usable old build that lacks a pattern only leaves the ranking to the score.
        for (const brickwright::Error& problem : report.oldProblems) {
            printError(*options.oldFile, problem.message);
            status = std::max(status, sigcheck::kStatusPatternMissing);
        }
        if (options.json) {
            documents.push_back(sigcheck::toJson(report));
        } else {
            print(sigcheck::toTable(report));
        }
        status = std::max(status, sigcheck::suggestStatus(report));
    }
    return status;
}

#endif

int checkFile(const std::string& path, const Options& options, std::vector<std::string>& documents) {
    const std::optional<pe::LoadedImage> loaded = loadFile(path, options);
    if (!loaded) {
        return sigcheck::kStatusUnusable;
    }
    sigcheck::FileReport report;
    if (options.mode == Mode::Pattern) {
        report.file = path;
        report.imageSize = loaded->image.size();
        for (const auto& [text, elements] : options.patterns) {
            report.patterns.push_back(sigcheck::scanPattern(text, elements, loaded->headers, loaded->image));
        }
    } else {
        report = sigcheck::checkImage(path, loaded->headers, loaded->image);
    }
    if (options.json) {
        documents.push_back(sigcheck::toJson(report));
    } else {
        print(sigcheck::toTable(report));
    }
    return report.complete() ? sigcheck::kStatusComplete : sigcheck::kStatusPatternMissing;
}

#if BRICKWRIGHT_SIGCHECK_LOADER

// The DLL name the loader goes by: its export directory's, else its file name; or nothing, after
// printing why, for a file that exports nothing or calls itself another DLL than the mod binds from.
std::optional<std::string> loaderDllName(const std::string& path, const pe::LoadedImage& loader, bool list) {
    if (loader.headers.exportDirectory.rva == 0) {
        printError(path, "has no export directory: it exports nothing, so it is no loader");
        return std::nullopt;
    }
    const std::optional<std::string> exported = pe::exportedDllName(loader.headers, loader.image.bytes());
    const std::string name = exported ? *exported : std::filesystem::path(path).filename().string();
    if (list && !sigcheck::sameDllName(name, sigcheck::kHostModule)) {
        printError(path, std::string(exported ? "its export directory names it " : "its file name is ") +
                             name + ", not " + std::string(sigcheck::kHostModule) +
                             ", the module the mod binds its host functions from");
        return std::nullopt;
    }
    return name;
}

int checkLoader(const Options& options) {
    const std::string& modPath = options.files.front();
    const std::optional<pe::LoadedImage> loader = loadFile(*options.loader, options);
    const std::optional<pe::LoadedImage> mod = loadFile(modPath, options);
    if (!loader || !mod) {
        return sigcheck::kStatusUnusable;
    }
    std::optional<std::vector<sigcheck::BindFunction>> list;
    if (const auto section = pe::sectionBytes(mod->headers, mod->image.bytes(), sigcheck::kBindSection)) {
        Result<std::vector<sigcheck::BindFunction>> parsed = sigcheck::parseBindList(*section);
        if (!parsed) {
            printError(modPath, parsed.error().message);
            return sigcheck::kStatusUnusable;
        }
        list = std::move(*parsed);
    }
    const std::optional<std::string> dll = loaderDllName(*options.loader, *loader, list.has_value());
    if (!dll) {
        return sigcheck::kStatusUnusable;
    }
    const Result<sigcheck::LoaderReport> report =
        sigcheck::checkLoader(modPath, list, pe::imports(mod->headers, mod->image.bytes()), *options.loader,
                              *dll, pe::exports(loader->headers, loader->image.bytes()));
    if (!report) {
        printError(modPath, report.error().message);
        return sigcheck::kStatusUnusable;
    }
    print(options.json ? sigcheck::toJson(*report) + '\n' : sigcheck::toTable(*report));
    return report->loads() ? sigcheck::kStatusComplete : sigcheck::kStatusPatternMissing;
}

#endif

} // namespace

int main(int argc, char** argv) {
    const Result<Options> parsed = parseArguments(argc, argv);
    if (!parsed) {
        printUsageError(parsed.error().message);
        return sigcheck::kStatusUnusable;
    }
    const Options& options = *parsed;
    if (options.help) {
        std::fwrite(kHelp.data(), 1, kHelp.size(), stdout);
        return 0;
    }
    if (options.mode == Mode::Loader) {
#if BRICKWRIGHT_SIGCHECK_LOADER
        return checkLoader(options);
#else
        printUsageError(
            "--loader needs an MSVC demangler (LLVM's, from llvm-19-dev), which this build lacks");
        return sigcheck::kStatusUnusable;
#endif
    }
    if (options.mode == Mode::Make) {
#if BRICKWRIGHT_SIGCHECK_DECODER
        return makeFile(options.files.front(), options);
#else
        printUsageError("--make needs the x86-64 decoder, which this build lacks");
        return sigcheck::kStatusUnusable;
#endif
    }
    // With --json, one document for all the files, whatever their number: {"files": [...]}.
    std::vector<std::string> documents;
    int status = sigcheck::kStatusComplete;
    if (options.mode == Mode::Suggest) {
#if BRICKWRIGHT_SIGCHECK_DECODER
        status = suggestFiles(options, documents);
#else
        printUsageError("--suggest needs the x86-64 decoder, which this build lacks");
        return sigcheck::kStatusUnusable;
#endif
    } else {
        for (const std::string& file : options.files) {
            status = std::max(status, checkFile(file, options, documents));
        }
    }
    if (options.json) {
        print(sigcheck::filesDocument(documents) + '\n');
    }
    return status;
}
