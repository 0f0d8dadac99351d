#include "mesh/CharScanner.h"

int characterClass(int c)
{
    // Explicit ranges instead of <cctype>: the classes must not depend on the
    // locale, and bytes above 127 belong to no class.
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'))
        return TokenClassLetter;
    if ((c >= '0' && c <= '9') || c == '+' || c == '-')
        return TokenClassNumber;
    switch (c) {
    case '#':
        return TokenClassHash;
    case '(':
        return TokenClassOpenParen;
    case ')':
        return TokenClassCloseParen;
    case '{':
        return TokenClassOpenBrace;
    case '}':
        return TokenClassCloseBrace;
    case '[':
        return TokenClassOpenBracket;
    case ']':
        return TokenClassCloseBracket;
    case '=':
        return TokenClassEquals;
    case ' ':
    case '\t':
        return TokenClassBlank;
    default:
        return TokenClassOther;
    }
}

int peekTokenClass(std::istream& in, char* next, bool skipBlanks)
{
    if (skipBlanks)
        in >> std::ws;
    const std::istream::int_type c = in.peek();
    if (in.fail() || in.bad())
        return TokenClassOther;
    if (c == std::istream::traits_type::eof()) {
        if (next)
            *next = '\0';
        return TokenClassOther;
    }
    if (next)
        *next = std::istream::traits_type::to_char_type(c);
    return characterClass(static_cast<unsigned char>(std::istream::traits_type::to_char_type(c)));
}
