#include "platform/mfc/AnswerSource.h"

#include <cstdio>

namespace {

AfxSubset::AnswerSource* g_source = nullptr;

} // namespace

namespace AfxSubset {

void setAnswerSource(AnswerSource* source)
{
    g_source = source;
}

bool takeAnswer(const std::string& promptLine, std::string& token)
{
    if (g_source)
        return g_source->takeAnswer(promptLine, token);
    std::printf("%s: (unanswered)\n", promptLine.c_str());
    return false;
}

const std::string* peekAnswer()
{
    return g_source ? g_source->peekAnswer() : nullptr;
}

void dropAnswer()
{
    if (g_source)
        g_source->dropAnswer();
}

void print(const std::string& line)
{
    if (g_source)
        g_source->print(line);
    else
        std::fputs(line.c_str(), stdout);
}

void logUnanswered(const std::string& prompt)
{
    if (g_source)
        g_source->logUnanswered(prompt);
}

} // namespace AfxSubset
