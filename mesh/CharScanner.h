// Character classes of hand-written text scanners.
//
// The text readers that scan numbers and keywords themselves (the mesh text
// readers, the net text reader) look at the next character of the stream
// with `peekTokenClass` and decide from its class what to read next. The
// character is only looked at, never taken.
//
// Ownership: none. Thread-safety: stateless; a stream is used by one thread
// at a time.
#pragma once

#include <istream>

// Classes returned by `peekTokenClass`. 10 is never produced.
enum TokenClass : int {
    TokenClassOther = 0,        // any other character, the end of the stream, a failed stream
    TokenClassLetter = 1,       // a to z, A to Z
    TokenClassHash = 2,         // '#'
    TokenClassNumber = 3,       // '+', '-' or a digit; a leading '.' is not a number start
    TokenClassOpenParen = 4,    // '('
    TokenClassCloseParen = 5,   // ')'
    TokenClassOpenBrace = 6,    // '{'
    TokenClassCloseBrace = 7,   // '}'
    TokenClassOpenBracket = 8,  // '['
    TokenClassCloseBracket = 9, // ']'
    TokenClassEquals = 11,      // '='
    TokenClassBlank = 12        // blank or tab (only seen when blanks are not skipped)
};

// The class of character c (a byte; bytes above 127 are class 0).
int characterClass(int c);

// The class of the next character of in, which stays in the stream. With
// skipBlanks, white space (line ends included) is taken first. When the
// stream is failed or bad after that, the result is 0 and next is not
// written; at the end of the stream the result is 0 and next receives '\0'.
// Otherwise next (when not null) receives the character.
int peekTokenClass(std::istream& in, char* next, bool skipBlanks);
