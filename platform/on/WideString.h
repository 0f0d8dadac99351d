// ON_wString, the wide text of the openNURBS subset, and ON_TextLog, the
// text sink that validity reports are printed to.
//
// wchar_t is 32 bits here, so a wide string holds code points directly.
// Narrow text is UTF-8 in both directions: decoding replaces malformed bytes
// by U+FFFD, encoding never truncates a character to its low byte.
// Not thread-safe: an ON_TextLog writes to its sink without a lock.
#pragma once

#include <cstdarg>
#include <cstdio>
#include <string>

class ON_wString {
public:
    ON_wString() = default;
    ON_wString(const wchar_t* s) : m_s(s ? s : L"") {}
    // Decodes UTF-8.
    ON_wString(const char* utf8);
    ON_wString(const std::wstring& s) : m_s(s) {}

    int Length() const { return static_cast<int>(m_s.size()); }
    bool IsEmpty() const { return m_s.empty(); }
    void Empty() { m_s.clear(); }
    const wchar_t* Array() const { return m_s.c_str(); }
    operator const wchar_t*() const { return m_s.c_str(); }
    const std::wstring& Str() const { return m_s; }
    // The UTF-8 form.
    std::string ToUtf8() const;

    ON_wString& operator+=(const ON_wString& s)
    {
        m_s += s.m_s;
        return *this;
    }
    ON_wString& operator+=(const wchar_t* s)
    {
        m_s += s ? s : L"";
        return *this;
    }
    friend ON_wString operator+(ON_wString a, const ON_wString& b) { return a += b; }

    bool operator==(const ON_wString& o) const { return m_s == o.m_s; }
    bool operator!=(const ON_wString& o) const { return m_s != o.m_s; }
    bool operator<(const ON_wString& o) const { return m_s < o.m_s; }
    bool operator==(const wchar_t* o) const { return m_s == (o ? o : L""); }
    bool operator!=(const wchar_t* o) const { return !(*this == o); }

    // printf-style formatting into this string. In a wide format "%ls" takes
    // a wide string and "%s" a narrow one; a narrow format is formatted as
    // UTF-8 and then decoded. False (string emptied) for a null format or an
    // output the C library rejects.
    bool Format(const wchar_t* format, ...);
    bool Format(const char* format, ...) __attribute__((format(printf, 2, 3)));
    // Format with the arguments of a variadic caller (args is not consumed).
    bool FormatVargs(const wchar_t* format, va_list args);
    bool FormatVargs(const char* format, va_list args) __attribute__((format(printf, 2, 0)));

private:
    std::wstring m_s;
};

namespace OnSubset {

// UTF-8 decoding and encoding. Malformed input and code points that cannot
// be represented (surrogates, beyond U+10FFFF) become U+FFFD.
std::wstring utf8ToWide(const char* bytes, size_t count);
std::string wideToUtf8(const std::wstring& text);

} // namespace OnSubset

// Printed text goes to a FILE (standard output by default; a null FILE
// discards it) or is appended to a wide string the caller owns, which must
// outlive the log.
class ON_TextLog {
public:
    ON_TextLog() : m_file(stdout) {}
    explicit ON_TextLog(FILE* file) : m_file(file) {}
    explicit ON_TextLog(ON_wString& text) : m_text(&text) {}
    ON_TextLog(const ON_TextLog&) = delete;
    ON_TextLog& operator=(const ON_TextLog&) = delete;

    // printf-style narrow (UTF-8) text; each line starts at the current
    // indentation.
    void Print(const char* format, ...) __attribute__((format(printf, 2, 3)));
    void Print(const ON_wString& text);
    void PrintNewLine() { Print("\n"); }
    void PushIndent() { ++m_indent; }
    void PopIndent()
    {
        if (m_indent > 0)
            --m_indent;
    }

private:
    void emit(const std::string& utf8);

    FILE* m_file = nullptr;
    ON_wString* m_text = nullptr;
    int m_indent = 0;
    bool m_atLineStart = true;
};
