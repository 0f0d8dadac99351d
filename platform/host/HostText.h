// Small text helpers of the headless host: UTF-8 and wide conversion, case-
// insensitive comparison of ASCII names (commands, options, answers, file
// extensions), and parsing of whole-token numbers.
//
// Plain functions without state; safe on any thread.
#pragma once

#include <string>

namespace VezadHost {

std::string toUtf8(const std::wstring& text);
std::string toUtf8(const wchar_t* text);
std::wstring toWide(const std::string& utf8);

// Equal when they differ only in the case of ASCII letters.
bool equalsNoCase(const std::string& a, const std::string& b);
bool equalsNoCase(const std::wstring& a, const std::wstring& b);

// The whole text as a number; false (value unchanged) for empty text, text
// with anything after the number, a non-finite value or one out of range.
bool parseInteger(const std::string& text, int& value);
bool parseNumber(const std::string& text, double& value);

// The text without blanks at either end.
std::string trimmed(const std::string& text);

} // namespace VezadHost
