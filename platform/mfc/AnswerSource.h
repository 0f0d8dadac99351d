// Where the headless dialogs, menus and file dialogs take their answers: the
// host installs its input queue here; without one every question goes
// unanswered and takes its safe default (cancel, dismiss).
//
// Ownership: the installed source is not owned; the installer keeps it alive
// until it installs another one or null. Not thread-safe.
#pragma once

#include <string>

namespace AfxSubset {

class AnswerSource {
public:
    virtual ~AnswerSource() = default;
    // Prints promptLine and takes the next answer; false (the prompt logged
    // as unanswered) when none waits.
    virtual bool takeAnswer(const std::string& promptLine, std::string& token) = 0;
    // The next answer without taking it; null when none waits.
    virtual const std::string* peekAnswer() = 0;
    virtual void dropAnswer() = 0;
    // A line for the user (the host's command line).
    virtual void print(const std::string& line) = 0;
    // A question the script did not answer as it must: a failure for it.
    virtual void logUnanswered(const std::string& prompt) = 0;
};

void setAnswerSource(AnswerSource* source);

// The installed source's calls, or their defaults without one (no answer;
// lines go to standard output).
bool takeAnswer(const std::string& promptLine, std::string& token);
const std::string* peekAnswer();
void dropAnswer();
void print(const std::string& line);
void logUnanswered(const std::string& prompt);

} // namespace AfxSubset
