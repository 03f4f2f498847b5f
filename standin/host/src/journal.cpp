// The journal: host calls and the mods' stream traffic, in the order they happened.
#include <cstdint>
#include <cstdio>
#include <iostream>
#include <memory>
#include <string_view>

#include "host_state.hpp"

namespace standin::detail {
namespace {

struct Journal {
    bool recording = false;
    std::vector<std::string> entries;
    // The stream whose write the last entry is, so that the next write to it joins that entry.
    const void* openWrite = nullptr;
};

Journal& theJournal() {
    static Journal journal;
    return journal;
}

void recordWrite(const void* stream, std::string_view name, std::string_view text) {
    Journal& journal = theJournal();
    if (!journal.recording || text.empty()) {
        return;
    }
    if (journal.openWrite == stream && !journal.entries.empty()) {
        std::string& last = journal.entries.back();
        last.insert(last.size() - 1, text);
        return;
    }
    journal.entries.push_back(std::string(name) + ".write(" + std::string(text) + ")");
    journal.openWrite = stream;
}

// Passes everything on to the buffer it replaces and records it. It has no put area, so every write
// and every flush reaches it.
class RecordingBuffer : public std::streambuf {
public:
    RecordingBuffer(std::string name, std::streambuf* target) : name_(std::move(name)), target_(target) {}

    std::streambuf* target() const noexcept { return target_; }

protected:
    int_type overflow(int_type c) override {
        if (traits_type::eq_int_type(c, traits_type::eof())) {
            return traits_type::not_eof(c);
        }
        const char ch = traits_type::to_char_type(c);
        recordWrite(this, name_, std::string_view(&ch, 1));
        return target_->sputc(ch);
    }

    std::streamsize xsputn(const char* text, std::streamsize count) override {
        recordWrite(this, name_, std::string_view(text, static_cast<std::size_t>(count)));
        return target_->sputn(text, count);
    }

    int sync() override {
        record(name_ + ".flush");
        return target_->pubsync();
    }

private:
    std::string name_;
    std::streambuf* target_;
};

std::unique_ptr<RecordingBuffer> coutRecorder;
std::unique_ptr<RecordingBuffer> logFileRecorder;

} // namespace

void record(std::string entry) {
    Journal& journal = theJournal();
    if (!journal.recording) {
        return;
    }
    journal.entries.push_back(std::move(entry));
    journal.openWrite = nullptr;
}

std::streambuf* consoleBuffer() {
    return coutRecorder ? coutRecorder->target() : std::cout.rdbuf();
}

// The file stream's own buffer, whatever its stream currently writes through.
std::streambuf* logFileBuffer() {
    return SML::Utility::logFile.rdbuf();
}

} // namespace standin::detail

namespace standin {

void startJournal() {
    using namespace detail;
    stopJournal();
    clearJournal();
    // The log file's stream is switched through its std::ostream base: that swaps the buffer the
    // stream writes through while the file buffer itself stays put and keeps the file.
    std::ostream& logStream = SML::Utility::logFile;
    const std::ios_base::iostate logState = logStream.rdstate();
    coutRecorder = std::make_unique<RecordingBuffer>("cout", std::cout.rdbuf());
    logFileRecorder = std::make_unique<RecordingBuffer>("logFile", SML::Utility::logFile.rdbuf());
    std::cout.rdbuf(coutRecorder.get());
    logStream.rdbuf(logFileRecorder.get());
    // rdbuf() clears the state; a log file that is not open must keep failing as it did.
    logStream.clear(logState);
    theJournal().recording = true;
}

void stopJournal() {
    using namespace detail;
    theJournal().recording = false;
    theJournal().openWrite = nullptr;
    if (coutRecorder) {
        std::cout.rdbuf(coutRecorder->target());
        coutRecorder.reset();
    }
    if (logFileRecorder) {
        std::ostream& logStream = SML::Utility::logFile;
        const std::ios_base::iostate logState = logStream.rdstate();
        logStream.rdbuf(logFileRecorder->target());
        logStream.clear(logState);
        logFileRecorder.reset();
    }
}

std::vector<std::string> journal() {
    return detail::theJournal().entries;
}

void clearJournal() {
    detail::theJournal().entries.clear();
    detail::theJournal().openWrite = nullptr;
}

std::string describePointer(const void* pointer) {
    if (pointer == nullptr) {
        return "null";
    }
    char text[2 + 2 * sizeof(void*) + 1];
    std::snprintf(text, sizeof text, "0x%llx",
                  static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(pointer)));
    return text;
}

} // namespace standin
