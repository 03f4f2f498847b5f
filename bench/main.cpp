// brickwright-bench: builds the shared image, runs every registered benchmark, then prints the
// fast-versus-reference table and, with --json PATH, writes it as JSON.
//
//   brickwright-bench [--image FILE] [--json PATH] [Google Benchmark options...]
//   brickwright-bench [--image FILE] --byte-frequencies   (prints kCodeByteFrequency for the image)
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#if defined(_WIN32)
#include <io.h>
#else
#include <unistd.h>
#endif

#include "brickwright/command_line.hpp"
#include "code_image.hpp"
#include "comparison.hpp"
#include "sdk/pattern_scan.hpp"

namespace bench {

namespace {

std::vector<Comparison>& registry() {
    static std::vector<Comparison> all;
    return all;
}

Image& sharedImage() {
    static Image shared;
    return shared;
}

} // namespace

bool addComparison(Comparison comparison) {
    registry().push_back(std::move(comparison));
    return true;
}

const std::vector<Comparison>& comparisons() {
    return registry();
}

const Image& image() {
    return sharedImage();
}

} // namespace bench

namespace {

struct Result {
    double secondsPerIteration = 0;
    std::optional<double> bytesPerSecond;
};

// Passes every run to the console and keeps the numbers the comparisons need, under the full name
// Google Benchmark reports ("x/8") and under the name it was registered with ("x"). Times are CPU
// times, as are Google Benchmark's byte rates unless a benchmark asks for real time: the machine
// these run on is often shared, and a single-threaded run's CPU time is what it costs.
class CapturingReporter : public benchmark::ConsoleReporter {
public:
    explicit CapturingReporter(OutputOptions options) : ConsoleReporter(options) {}

    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.error_occurred) {
                continue;
            }
            const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            if (run.run_type == Run::RT_Aggregate && !median) {
                continue;
            }
            Result result;
            result.secondsPerIteration =
                run.GetAdjustedCPUTime() / benchmark::GetTimeUnitMultiplier(run.time_unit);
            if (const auto counter = run.counters.find("bytes_per_second"); counter != run.counters.end()) {
                result.bytesPerSecond = counter->second.value;
            }
            std::string name = run.benchmark_name();
            if (median && name.size() > 7 && name.ends_with("_median")) {
                name.resize(name.size() - 7);
            }
            results[name] = result;
            results[run.run_name.function_name] = result;
        }
        ConsoleReporter::ReportRuns(runs);
    }

    std::map<std::string, Result> results;
};

struct Row {
    const bench::Comparison* comparison;
    std::optional<double> fast;
    std::optional<double> reference;
    std::optional<double> ratio;
    const char* unit;
};

std::optional<double> valueOf(const std::map<std::string, Result>& results, const std::string& name,
                              bench::Measure measure) {
    const auto found = results.find(name);
    if (found == results.end()) {
        return std::nullopt;
    }
    if (measure == bench::Measure::Throughput) {
        if (!found->second.bytesPerSecond) {
            return std::nullopt;
        }
        return *found->second.bytesPerSecond / 1e9;
    }
    return found->second.secondsPerIteration * 1e3;
}

std::string jsonString(const std::string& text) {
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
            out += escaped;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::string jsonNumber(const std::optional<double>& value) {
    if (!value || !std::isfinite(*value)) {
        return "null";
    }
    char text[64];
    std::snprintf(text, sizeof text, "%.6g", *value);
    return text;
}

std::string cell(const std::optional<double>& value, const char* format) {
    if (!value) {
        return "-";
    }
    char text[64];
    std::snprintf(text, sizeof text, format, *value);
    return text;
}

bool standardOutputIsTerminal() {
#if defined(_WIN32)
    return _isatty(_fileno(stdout)) != 0;
#else
    const char* term = std::getenv("TERM");
    return isatty(STDOUT_FILENO) != 0 && term != nullptr && *term != '\0' && std::strcmp(term, "dumb") != 0;
#endif
}

// Google Benchmark chooses colour only for a console reporter it makes itself; a reporter handed to
// it prints in colour unless told otherwise. So the choice is made here as the library makes it:
// --benchmark_color=VALUE (the last one given), else the BENCHMARK_COLOR variable, else "auto", which
// means colour on a terminal only. Any other value is true unless it reads as false.
bool colourWanted(int argc, char** argv) {
    std::string value = "auto";
    if (const char* variable = std::getenv("BENCHMARK_COLOR")) {
        value = variable;
    }
    constexpr std::string_view kFlag = "--benchmark_color=";
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (argument.starts_with(kFlag)) {
            value = argument.substr(kFlag.size());
        }
    }
    std::transform(value.begin(), value.end(), value.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (value == "auto") {
        return standardOutputIsTerminal();
    }
    return !(value == "false" || value == "no" || value == "off" || value == "0" || value == "f" ||
             value == "n");
}

} // namespace

// Printed for --help before Google Benchmark's own flags, which it then prints and exits on.
constexpr const char* kUsage =
    "usage: brickwright-bench [--image FILE] [--json PATH] [Google Benchmark options...]\n"
    "       brickwright-bench [--image FILE] --byte-frequencies\n"
    "       brickwright-bench [--image FILE] --save-image PATH\n"
    "\n"
    "Runs every benchmark over one code image, then prints the table of fast against reference.\n"
    "\n"
    "  --image FILE         scan this executable's code instead of the generated image\n"
    "  --json PATH          also write the table and every benchmark's numbers to PATH as JSON\n"
    "  --byte-frequencies   print the image's byte frequency table (kCodeByteFrequency) and stop\n"
    "  --save-image PATH    write the image's bytes to PATH and stop (for brickwright-scan-timing,\n"
    "                       which times the same scan built by another compiler)\n"
    "  -h, --help           this text, then Google Benchmark's options\n"
    "\n"
    "Google Benchmark's options:\n";

int main(int argc, char** argv) {
    std::string imageFile;
    std::string jsonPath;
    std::string savePath;
    bool byteFrequencies = false;
    bool help = false;
    // What is not the bench's own goes to Google Benchmark, which takes only the long form of --help.
    std::vector<std::string> passed = {argc > 0 ? argv[0] : "brickwright-bench"};
    brickwright::CommandLine line(argc, argv);
    while (line.next()) {
        std::string* own = line.is("--image")        ? &imageFile
                           : line.is("--json")       ? &jsonPath
                           : line.is("--save-image") ? &savePath
                                                     : nullptr;
        if (own != nullptr) {
            const std::optional<std::string_view> value = line.value();
            if (!value) {
                const std::string name(line.name());
                std::fprintf(stderr, "brickwright-bench: %s needs a value\n", name.c_str());
                return 2;
            }
            *own = std::string(*value);
        } else if (line.isFlag("--byte-frequencies")) {
            byteFrequencies = true;
        } else {
            help = help || line.isFlag("-h") || line.isFlag("--help");
            passed.emplace_back(line.isFlag("-h") ? "--help" : line.argument());
        }
    }
    if (help) {
        std::fputs(kUsage, stdout);
        std::fflush(stdout);
    }
    std::vector<char*> rest;
    for (std::string& argument : passed) {
        rest.push_back(argument.data());
    }
    const bool colour = colourWanted(static_cast<int>(rest.size()), rest.data());
    int restCount = static_cast<int>(rest.size());
    benchmark::Initialize(&restCount, rest.data());
    if (benchmark::ReportUnrecognizedArguments(restCount, rest.data())) {
        std::fputs("Try 'brickwright-bench --help' for the options.\n", stderr);
        return 2;
    }

    brickwright::Result<bench::Image> built = bench::buildImage(imageFile);
    if (!built) {
        std::fprintf(stderr, "brickwright-bench: %s\n", built.error().message.c_str());
        return 2;
    }
    bench::sharedImage() = std::move(*built);
    const bench::Image& image = bench::image();
    if (byteFrequencies) {
        std::printf("%s", bench::byteFrequencyTable(image.code).c_str());
        return 0;
    }
    if (!savePath.empty()) {
        std::ofstream out(savePath, std::ios::binary);
        out.write(reinterpret_cast<const char*>(image.code.data()),
                  static_cast<std::streamsize>(image.code.size()));
        if (!out.flush()) {
            std::fprintf(stderr, "brickwright-bench: cannot write %s\n", savePath.c_str());
            return 1;
        }
        std::printf("wrote %s: %zu bytes, %s\n", savePath.c_str(), image.code.size(),
                    image.description.c_str());
        return 0;
    }
    const char* kernel = SDK::scanKernelName(SDK::bestScanKernel());
    std::printf("image: %.1f MB, %s\n", static_cast<double>(image.code.size()) / 1e6,
                image.description.c_str());
    std::string others;
    for (const SDK::ScanKernel other :
         {SDK::ScanKernel::Avx512, SDK::ScanKernel::Avx2, SDK::ScanKernel::Sse2, SDK::ScanKernel::Scalar}) {
        others += std::string(others.empty() ? "" : ", ") + SDK::scanKernelName(other) +
                  (SDK::scanKernelSupported(other) ? "" : " (not on this CPU)");
    }
    std::printf("scan kernel: %s (of %s)\n\n", kernel, others.c_str());
    std::fflush(stdout);

    CapturingReporter reporter(colour ? benchmark::ConsoleReporter::OO_ColorTabular
                                      : benchmark::ConsoleReporter::OO_Tabular);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    std::vector<Row> rows;
    for (const bench::Comparison& comparison : bench::comparisons()) {
        Row row{&comparison, valueOf(reporter.results, comparison.fast, comparison.measure),
                valueOf(reporter.results, comparison.reference, comparison.measure), std::nullopt,
                comparison.measure == bench::Measure::Throughput ? "GB/s" : "ms"};
        if (row.fast && row.reference && *row.fast > 0 && *row.reference > 0) {
            row.ratio = comparison.measure == bench::Measure::Throughput ? *row.fast / *row.reference
                                                                         : *row.reference / *row.fast;
        }
        rows.push_back(row);
    }

    // The table holds the comparisons whose two runs were both measured; a filtered run leaves the
    // others out (the JSON keeps them, as null).
    std::vector<const Row*> measured;
    for (const Row& row : rows) {
        if (row.fast && row.reference) {
            measured.push_back(&row);
        }
    }
    std::size_t width = 10;
    for (const Row* row : measured) {
        width = std::max(width, row->comparison->name.size());
    }
    if (measured.empty()) {
        std::printf("\nno comparison had both of its runs measured\n");
    } else {
        std::printf("\nscan kernel in use: %s\n%-*s %12s %12s %6s %9s\n", kernel, static_cast<int>(width),
                    "comparison", "fast", "reference", "unit", "ratio");
    }
    for (const Row* row : measured) {
        std::printf("%-*s %12s %12s %6s %9s\n", static_cast<int>(width), row->comparison->name.c_str(),
                    cell(row->fast, "%.3f").c_str(), cell(row->reference, "%.3f").c_str(), row->unit,
                    cell(row->ratio, "%.2fx").c_str());
    }

    if (!jsonPath.empty()) {
        std::string json = "{\n  \"comparisons\": [";
        for (std::size_t i = 0; i < rows.size(); ++i) {
            const Row& row = rows[i];
            json += i == 0 ? "\n" : ",\n";
            json += "    {\"name\": " + jsonString(row.comparison->name) +
                    ", \"fast\": " + jsonNumber(row.fast) + ", \"reference\": " + jsonNumber(row.reference) +
                    ", \"unit\": " + jsonString(row.unit) + ", \"ratio\": " + jsonNumber(row.ratio) +
                    ", \"fast_benchmark\": " + jsonString(row.comparison->fast) +
                    ", \"reference_benchmark\": " + jsonString(row.comparison->reference) + "}";
        }
        json += "\n  ],\n  \"benchmarks\": [";
        bool first = true;
        for (const auto& [name, result] : reporter.results) {
            json += first ? "\n" : ",\n";
            first = false;
            json += "    {\"name\": " + jsonString(name) +
                    ", \"seconds_per_iteration\": " + jsonNumber(result.secondsPerIteration) +
                    ", \"bytes_per_second\": " + jsonNumber(result.bytesPerSecond) + "}";
        }
        json += "\n  ],\n  \"image\": {\"description\": " + jsonString(image.description) +
                ", \"bytes\": " + std::to_string(image.code.size()) +
                "},\n  \"scan_kernel\": " + jsonString(kernel) + "\n}\n";
        std::ofstream out(jsonPath, std::ios::binary);
        out << json;
        if (!out) {
            std::fprintf(stderr, "brickwright-bench: cannot write %s\n", jsonPath.c_str());
            return 1;
        }
        std::printf("\nwrote %s\n", jsonPath.c_str());
    }
    return 0;
}
