// The one way a message of the mod reaches the host's console and log file.
#include <iostream>
#include <utility>

#include "brickwright.hpp"

// The host's calls and the stream writes in this exact order: the header at the line's level, the message
// colour, the text on both streams, log() between text and line end, the line ends, the colour back. The log
// file is flushed after its text, with its line end and once more; standard output only with its line end.
void logModLine(std::string name, const char* message) {
    logModLine(std::move(name), message, SML::Utility::LogType::Info);
}

void logModLine(std::string name, const char* message, SML::Utility::LogType type) {
    using SML::Utility::ConsoleColor;
    SML::Utility::writeHeader(std::move(name), type);
    SML::Utility::setConsoleColor(ConsoleColor::Blue);
    std::cout << message;
    SML::Utility::logFile << message;
    SML::Utility::logFile.flush();
    SML::Utility::log(type);
    std::cout << std::endl;
    SML::Utility::logFile << std::endl;
    SML::Utility::logFile.flush();
    SML::Utility::setConsoleColor(ConsoleColor::Yellow);
}
