#pragma once
// CSimpleString: a small counted C string (names and ids of geometry objects).
//
// Ownership: the string owns its text; copies are deep. Not thread-safe.

#include <cstring>

class CSimpleString {
public:
    char* text = nullptr; // owned, null when empty
    int length = 0;

    CSimpleString() = default;
    // See set().
    explicit CSimpleString(const char* s, int len = -1) { set(s, len); }
    CSimpleString(const CSimpleString& other) { set(other.text, other.length); }
    CSimpleString(CSimpleString&& other) noexcept : text(other.text), length(other.length)
    {
        other.text = nullptr;
        other.length = 0;
    }
    CSimpleString& operator=(const CSimpleString& other)
    {
        if (this != &other)
            set(other.text, other.length);
        return *this;
    }
    CSimpleString& operator=(CSimpleString&& other) noexcept
    {
        if (this != &other) {
            delete[] text;
            text = other.text;
            length = other.length;
            other.text = nullptr;
            other.length = 0;
        }
        return *this;
    }
    ~CSimpleString() { delete[] text; }

    // Replaces the text by the first `len` characters of s (a negative len
    // means all of s). The new text has len + 1 characters: when s ends
    // earlier the rest is filled with terminators, and position len always
    // holds one. A null s or a length of 0 leaves the string empty.
    void set(const char* s, int len = -1)
    {
        char* fresh = nullptr;
        int freshLength = 0;
        if (s != nullptr) {
            if (len < 0)
                len = static_cast<int>(std::strlen(s));
            if (len > 0) {
                const std::size_t want = static_cast<std::size_t>(len);
                // Stops at the terminator, so a shorter s is never read beyond it.
                std::size_t have = 0;
                while (have < want && s[have] != '\0')
                    ++have;
                fresh = new char[want + 1];
                std::memcpy(fresh, s, have);
                std::memset(fresh + have, 0, want + 1 - have);
                freshLength = len;
            }
        }
        // s may point into the old text: free it only after copying.
        delete[] text;
        text = fresh;
        length = freshLength;
    }

    bool empty() const { return text == nullptr || length == 0; }
    const char* c_str() const { return text != nullptr ? text : ""; }
};
