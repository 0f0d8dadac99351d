#include "platform/on/WideString.h"

#include <cstdarg>
#include <cstdint>
#include <cstring>
#include <cwchar>
#include <vector>

namespace OnSubset {

namespace {

constexpr wchar_t replacementCharacter = 0xFFFD;

// Length of the sequence that the lead byte c starts, 0 for a byte that
// cannot lead one.
int sequenceLength(unsigned char c)
{
    if (c < 0x80)
        return 1;
    if (c >= 0xC2 && c <= 0xDF)
        return 2;
    if (c >= 0xE0 && c <= 0xEF)
        return 3;
    if (c >= 0xF0 && c <= 0xF4)
        return 4;
    return 0;
}

} // namespace

std::wstring utf8ToWide(const char* bytes, size_t count)
{
    std::wstring out;
    out.reserve(count);
    const unsigned char* s = reinterpret_cast<const unsigned char*>(bytes);
    size_t i = 0;
    while (i < count) {
        int len = sequenceLength(s[i]);
        if (len == 0 || i + static_cast<size_t>(len) > count) {
            out.push_back(replacementCharacter);
            ++i;
            continue;
        }
        if (len == 1) {
            out.push_back(static_cast<wchar_t>(s[i++]));
            continue;
        }
        unsigned long cp = s[i] & (0x7F >> len);
        bool good = true;
        for (int k = 1; k < len; ++k) {
            unsigned char c = s[i + static_cast<size_t>(k)];
            if ((c & 0xC0) != 0x80) {
                good = false;
                break;
            }
            cp = (cp << 6) | (c & 0x3F);
        }
        // Overlong forms, surrogates and values past U+10FFFF are malformed.
        static const unsigned long minimum[5] = {0, 0, 0x80, 0x800, 0x10000};
        if (!good || cp < minimum[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
            out.push_back(replacementCharacter);
            ++i;
            continue;
        }
        out.push_back(static_cast<wchar_t>(cp));
        i += static_cast<size_t>(len);
    }
    return out;
}

std::string wideToUtf8(const std::wstring& text)
{
    std::string out;
    out.reserve(text.size());
    for (wchar_t wc : text) {
        unsigned long cp = static_cast<unsigned long>(static_cast<std::uint32_t>(wc));
        if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            cp = replacementCharacter;
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    }
    return out;
}

} // namespace OnSubset

namespace {

// vsnprintf into a string; false when the C library reports an error.
bool formatNarrow(std::string& out, const char* format, va_list args)
{
    va_list copy;
    va_copy(copy, args);
    int n = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    if (n < 0)
        return false;
    std::vector<char> buffer(static_cast<size_t>(n) + 1);
    std::vsnprintf(buffer.data(), buffer.size(), format, args);
    out.assign(buffer.data(), static_cast<size_t>(n));
    return true;
}

} // namespace

ON_wString::ON_wString(const char* utf8)
{
    if (utf8)
        m_s = OnSubset::utf8ToWide(utf8, std::strlen(utf8));
}

std::string ON_wString::ToUtf8() const
{
    return OnSubset::wideToUtf8(m_s);
}

bool ON_wString::Format(const wchar_t* format, ...)
{
    va_list args;
    va_start(args, format);
    bool ok = FormatVargs(format, args);
    va_end(args);
    return ok;
}

bool ON_wString::FormatVargs(const wchar_t* format, va_list args)
{
    m_s.clear();
    if (!format)
        return false;
    // vswprintf reports a too small buffer and a conversion error alike (-1),
    // so the buffer grows up to a bound and an error stays an error.
    constexpr size_t maximumLength = size_t(1) << 24;
    for (size_t size = 256; size <= maximumLength; size *= 4) {
        std::vector<wchar_t> buffer(size);
        va_list copy;
        va_copy(copy, args);
        int n = std::vswprintf(buffer.data(), size, format, copy);
        va_end(copy);
        if (n >= 0) {
            m_s.assign(buffer.data(), static_cast<size_t>(n));
            return true;
        }
    }
    return false;
}

bool ON_wString::Format(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    bool ok = FormatVargs(format, args);
    va_end(args);
    return ok;
}

bool ON_wString::FormatVargs(const char* format, va_list args)
{
    m_s.clear();
    if (!format)
        return false;
    std::string narrow;
    va_list copy;
    va_copy(copy, args);
    bool ok = formatNarrow(narrow, format, copy);
    va_end(copy);
    if (ok)
        m_s = OnSubset::utf8ToWide(narrow.data(), narrow.size());
    return ok;
}

void ON_TextLog::Print(const char* format, ...)
{
    if (!format)
        return;
    std::string text;
    va_list args;
    va_start(args, format);
    bool ok = formatNarrow(text, format, args);
    va_end(args);
    if (ok)
        emit(text);
}

void ON_TextLog::Print(const ON_wString& text)
{
    emit(text.ToUtf8());
}

void ON_TextLog::emit(const std::string& utf8)
{
    std::string out;
    for (char c : utf8) {
        if (m_atLineStart && c != '\n')
            out.append(static_cast<size_t>(m_indent) * 2, ' ');
        m_atLineStart = false;
        out.push_back(c);
        if (c == '\n')
            m_atLineStart = true;
    }
    if (m_text)
        *m_text += ON_wString(out.c_str());
    else if (m_file)
        std::fwrite(out.data(), 1, out.size(), m_file);
}
