#pragma once
// Output of the tool. Bytes go to the standard handles with WriteFile so that Wine hands the
// UTF-8 through unchanged instead of converting it to a console code page.
#include <string>

namespace ombrix::automate {

enum ExitCode : int { Ok = 0, Failed = 1, Usage = 2, TimedOut = 3 };

// The reason a command gave up; main() prints it to stderr and exits with `code`.
struct Failure {
    ExitCode code;
    std::wstring message;
};

void writeLine(const std::string& utf8);
void writeError(const std::wstring& message);

}  // namespace ombrix::automate
