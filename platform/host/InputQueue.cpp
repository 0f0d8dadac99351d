#include "platform/host/InputQueue.h"

void CVezadInputQueue::pushFront(const std::vector<std::string>& tokens)
{
    m_tokens.insert(m_tokens.begin(), tokens.begin(), tokens.end());
}

bool CVezadInputQueue::pop(std::string& token)
{
    if (m_tokens.empty())
        return false;
    token = std::move(m_tokens.front());
    m_tokens.pop_front();
    return true;
}

const std::string* CVezadInputQueue::peek() const
{
    return m_tokens.empty() ? nullptr : &m_tokens.front();
}

namespace VezadHost {

namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// Expands the ${NAME} that starts at text[i] into out and moves i past it.
bool expandName(const std::string& text, std::size_t& i, const ScriptDefines& defines,
                std::string& out, std::string& error)
{
    std::size_t close = text.find('}', i + 2);
    if (close == std::string::npos) {
        error = "unterminated ${ in: " + text;
        return false;
    }
    std::string name = text.substr(i + 2, close - i - 2);
    auto it = defines.find(name);
    if (it == defines.end()) {
        error = "undefined name ${" + name + "}";
        return false;
    }
    out += it->second;
    i = close + 1;
    return true;
}

} // namespace

bool splitTokens(const std::string& text, const ScriptDefines* defines,
                 std::vector<std::string>& tokens, std::string& error)
{
    std::vector<std::string> out;
    std::size_t i = 0;
    const std::size_t n = text.size();
    while (i < n) {
        while (i < n && isBlank(text[i]))
            ++i;
        if (i >= n)
            break;
        std::string token;
        bool quoted = false;
        while (i < n && (quoted || !isBlank(text[i]))) {
            char c = text[i];
            if (c == '"') {
                quoted = !quoted;
                ++i;
            } else if (quoted && c == '\\' && i + 1 < n && text[i + 1] == '"') {
                token += '"';
                i += 2;
            } else if (defines && c == '$' && i + 1 < n && text[i + 1] == '{') {
                if (!expandName(text, i, *defines, token, error))
                    return false;
            } else {
                token += c;
                ++i;
            }
        }
        if (quoted) {
            error = "unterminated quote in: " + text;
            return false;
        }
        out.push_back(std::move(token));
    }
    tokens = std::move(out);
    return true;
}

} // namespace VezadHost
