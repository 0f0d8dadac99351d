#include "geometry/GeoTokenizer.h"

#include <algorithm>
#include <cstring>
#include <iostream>
#include <limits>
#include <string>

namespace {

bool isSpace(int c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

void skipSpace(std::istream& is)
{
    while (is.good() && isSpace(is.peek()))
        is.get();
}

// Drops the rest of the current line, whatever its length, and the white space
// after it.
void dropLine(std::istream& is)
{
    is.ignore(std::numeric_limits<std::streamsize>::max(), '\n');
    skipSpace(is);
}

int classifyWord(const std::string& word)
{
    if (word == "GeoObject")
        return GeoTokenGeoObject;
    if (word == "CompositeCurve")
        return GeoTokenCompositeCurve;
    if (word == "MultiCONS")
        return GeoTokenMultiCONS;
    if (word == "CONS")
        return GeoTokenCONS;
    if (word == "ListOfCONS")
        return GeoTokenListOfCONS;
    if (word == "null")
        return GeoTokenNull;
    return GeoTokenWord;
}

// The slot of a stream that holds its GeoTextAsWritten.
int asWrittenSlot()
{
    static const int slot = std::ios_base::xalloc();
    return slot;
}

// Longest word compared against the keywords; a longer word is still taken
// whole from the stream but only this many characters are kept.
constexpr std::size_t kMaxKeptWord = 1023;

} // namespace

int GeoTokenizer(std::istream& is, char* buffer, bool skipLine, unsigned bufferSize)
{
    const bool haveBuffer = buffer != nullptr && bufferSize > 0;
    if (haveBuffer)
        buffer[0] = '\0';
    skipSpace(is);
    if (!is.good())
        return GeoTokenNone;
    const int c = is.peek();
    if (c == std::char_traits<char>::eof() || !is.good())
        return GeoTokenNone;
    if (haveBuffer) {
        buffer[0] = static_cast<char>(c);
        if (bufferSize > 1)
            buffer[1] = '\0';
    }

    switch (c) {
    case '#':
    case 'p':
        return GeoTokenHash;
    case 'F':
    case 'B':
    case 'P':
        if (skipLine)
            dropLine(is);
        return c == 'F' ? GeoTokenF : (c == 'B' ? GeoTokenB : GeoTokenP);
    case '(':
        return GeoTokenOpenParen;
    case ')':
        return GeoTokenCloseParen;
    case '{':
        return GeoTokenOpenBrace;
    case '}':
        return GeoTokenCloseBrace;
    case '[':
        return GeoTokenOpenBracket;
    case ']':
        return GeoTokenCloseBracket;
    default:
        break;
    }
    if (c >= '0' && c <= '9')
        return GeoTokenDigit;
    if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')))
        return GeoTokenNone;

    // A word: everything up to the next white space or the end of the stream.
    std::string word;
    bool cut = false;
    while (true) {
        const int w = is.peek();
        if (w == std::char_traits<char>::eof() || isSpace(w))
            break;
        is.get();
        if (word.size() < kMaxKeptWord)
            word.push_back(static_cast<char>(w));
        else
            cut = true;
    }
    if (haveBuffer) {
        const std::size_t keep = std::min<std::size_t>(word.size(), bufferSize - 1);
        std::memcpy(buffer, word.data(), keep);
        buffer[keep] = '\0';
    }
    return cut ? GeoTokenWord : classifyWord(word);
}

int readGeoToken(std::istream& is, bool skipLine)
{
    char buffer[1024];
    return GeoTokenizer(is, buffer, skipLine, sizeof buffer);
}

GeoTextAsWritten::GeoTextAsWritten(std::istream& is) : stream(is), outer(is.pword(asWrittenSlot()))
{
    stream.pword(asWrittenSlot()) = this;
}

GeoTextAsWritten::~GeoTextAsWritten()
{
    stream.pword(asWrittenSlot()) = outer;
}

bool readsAsWritten(std::istream& is)
{
    return is.pword(asWrittenSlot()) != nullptr;
}

void reportGeoTextFault(std::istream& is, const std::string& cause)
{
    auto* holder = static_cast<GeoTextAsWritten*>(is.pword(asWrittenSlot()));
    if (holder == nullptr)
        std::cout << cause << std::endl;
    else if (holder->first.empty())
        holder->first = cause;
}

std::string shownInFault(const std::string& text)
{
    std::string shown = "\"";
    for (std::size_t i = 0; i < text.size() && i < 40; ++i)
        shown += text[i] >= ' ' && text[i] <= '~' ? text[i] : '?';
    return shown + (text.size() > 40 ? "...\"" : "\"");
}
