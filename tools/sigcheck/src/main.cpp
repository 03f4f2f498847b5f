// brickwright-sigcheck: checks the engine patterns against game executables on disk, before a release
// rather than at the game's start.
#include "pe/image.hpp"
#include "sigcheck/check.hpp"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace {

constexpr std::string_view kProgram = "brickwright-sigcheck";

constexpr std::string_view kHelp =
    R"(usage: brickwright-sigcheck [--json] [--max-image-size=BYTES] FILE...

Lays each FILE (a PE32+ x86-64 executable or DLL) out as the Windows loader maps it and runs the
mod's own scan for both engine patterns over that image, from its first byte, as the mod does in
the game. Relocations and imports are not applied. For each pattern it prints whether it matches,
the RVA of the lowest match (the one the mod takes) and the section holding it, how many matches
the image holds (a warning when more than one: a later update may reorder them), and the RVA the
matched instruction refers to (match + 7 + displacement) with the section holding that.

  --json                   one JSON document per file, one per line, instead of the table:
                           {"file", "image_size", "patterns": [{"name", "found", "rva", "section",
                           "matches", "target_rva", "target_section"}]}; RVAs are decimal, and
                           sections or targets outside every section are null
  --max-image-size=BYTES   refuse images whose SizeOfImage exceeds BYTES (default 4 GiB)
  -h, --help               this text

A file that cannot be used prints one line on standard error, naming it and why, and nothing on
standard output; the other files are still checked.

Exit status, the worst over all files:
  0  every file holds both patterns
  1  some file lacks a pattern (and every file could be used)
  2  some file cannot be used (unreadable, not a PE32+ x86-64 image, malformed), or a usage error
)";

struct Options {
    bool json = false;
    std::uint64_t maxImageSize = PE::kDefaultMaxImageSize;
    std::vector<std::string> files;
};

void printError(std::string_view file, std::string_view why) {
    std::fprintf(stderr, "%.*s: %.*s: %.*s\n", static_cast<int>(kProgram.size()), kProgram.data(),
                 static_cast<int>(file.size()), file.data(), static_cast<int>(why.size()), why.data());
}

void printUsageError(std::string_view why) {
    std::fprintf(stderr,
                 "%.*s: %.*s\nusage: %.*s [--json] [--max-image-size=BYTES] FILE... (--help for more)\n",
                 static_cast<int>(kProgram.size()), kProgram.data(), static_cast<int>(why.size()), why.data(),
                 static_cast<int>(kProgram.size()), kProgram.data());
}

// Returns false after printing why the command line is unusable; sets `help` for --help.
bool parseArguments(int argc, char** argv, Options& options, bool& help) {
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (optionsEnded || argument.empty() || argument[0] != '-' || argument == "-") {
            options.files.emplace_back(argument);
        } else if (argument == "--") {
            optionsEnded = true;
        } else if (argument == "--json") {
            options.json = true;
        } else if (argument == "-h" || argument == "--help") {
            help = true;
            return true;
        } else if (argument.starts_with("--max-image-size=")) {
            const std::string_view value = argument.substr(argument.find('=') + 1);
            const auto* end = value.data() + value.size();
            const auto [last, ec] = std::from_chars(value.data(), end, options.maxImageSize);
            if (value.empty() || ec != std::errc{} || last != end) {
                printUsageError("--max-image-size takes a number of bytes");
                return false;
            }
        } else {
            printUsageError("unknown option " + std::string(argument));
            return false;
        }
    }
    if (options.files.empty()) {
        printUsageError("no file given");
        return false;
    }
    return true;
}

struct CloseFile {
    void operator()(std::FILE* file) const noexcept { std::fclose(file); }
};

// The whole file, or why it cannot be read (the text after "cannot read: ").
bool readFile(const std::string& path, std::vector<std::uint8_t>& bytes, std::string& why) {
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) {
        why = std::make_error_code(std::errc::is_a_directory).message();
        return false;
    }
    errno = 0;
    const std::unique_ptr<std::FILE, CloseFile> file(std::fopen(path.c_str(), "rb"));
    if (!file) {
        why = errno != 0 ? std::generic_category().message(errno) : "cannot open the file";
        return false;
    }
    std::uint8_t buffer[1 << 16];
    for (;;) {
        const std::size_t count = std::fread(buffer, 1, sizeof buffer, file.get());
        bytes.insert(bytes.end(), buffer, buffer + count);
        if (count < sizeof buffer) {
            break;
        }
    }
    if (std::ferror(file.get()) != 0) {
        why = errno != 0 ? std::generic_category().message(errno) : "read error";
        return false;
    }
    return true;
}

int checkFile(const std::string& path, const Options& options) {
    std::vector<std::uint8_t> bytes;
    std::string why;
    if (!readFile(path, bytes, why)) {
        printError(path, "cannot read: " + why);
        return Sigcheck::kStatusUnusable;
    }
    const PE::LoadResult loaded = PE::load(bytes, options.maxImageSize);
    if (loaded.error) {
        printError(path, loaded.error->message);
        return Sigcheck::kStatusUnusable;
    }
    const Sigcheck::FileReport report = Sigcheck::checkImage(path, *loaded.headers, loaded.image);
    const std::string text = options.json ? Sigcheck::toJson(report) + '\n' : Sigcheck::toTable(report);
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
    return report.complete() ? Sigcheck::kStatusComplete : Sigcheck::kStatusPatternMissing;
}

} // namespace

int main(int argc, char** argv) {
    Options options;
    bool help = false;
    if (!parseArguments(argc, argv, options, help)) {
        return Sigcheck::kStatusUnusable;
    }
    if (help) {
        std::fwrite(kHelp.data(), 1, kHelp.size(), stdout);
        return 0;
    }
    int status = Sigcheck::kStatusComplete;
    for (const std::string& file : options.files) {
        status = std::max(status, checkFile(file, options));
    }
    return status;
}
