// The host's input queue: the tokens a user would type, waiting to be taken
// by the command line, getters, message boxes and dialogs.
//
// Scripts and CVezadApp::RunScript put their tokens at the front of the
// queue, so the tokens of a nested script are taken before those that follow
// it, and a command run by a nested script goes on to take the tokens after
// the script as typed input would.
//
// Tokens are UTF-8. Token syntax: blanks separate tokens; a double-quoted
// run keeps its blanks (\" inside quotes is a quote); ${NAME} is replaced by
// the value defined for NAME, inside quotes too.
//
// Not thread-safe: the queue belongs to the host's user-interface thread.
#pragma once

#include <cstddef>
#include <deque>
#include <map>
#include <string>
#include <vector>

class CVezadInputQueue {
public:
    // Puts tokens in front of the waiting ones, in their order.
    void pushFront(const std::vector<std::string>& tokens);
    // Takes the next token; false when the queue is empty.
    bool pop(std::string& token);
    // The next token without taking it; null when the queue is empty.
    const std::string* peek() const;
    std::size_t size() const { return m_tokens.size(); }
    bool empty() const { return m_tokens.empty(); }
    void clear() { m_tokens.clear(); }

private:
    std::deque<std::string> m_tokens;
};

namespace VezadHost {

using ScriptDefines = std::map<std::string, std::string>;

// Splits text into tokens (syntax above). Without defines, ${...} stays as
// it is. False, with the reason in error and tokens unchanged, for an
// unterminated quote or a name that is not defined.
bool splitTokens(const std::string& text, const ScriptDefines* defines,
                 std::vector<std::string>& tokens, std::string& error);

} // namespace VezadHost
