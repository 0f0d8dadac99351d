#include "geometry/GeoObject.h"

#include "geometry/GeoRef.h"
#include "platform/Uuid.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <istream>
#include <ostream>
#include <string>

namespace {

// Counter of the fallback ids "OID=<k>"; the first one handed out is 1.
int& fallbackIdCounter()
{
    static int counter = 0;
    return counter;
}

bool beginsWith(const std::string& line, const char* prefix)
{
    return line.compare(0, std::strlen(prefix), prefix) == 0;
}

// The second field of a line split at blanks, tabs, '=' and ':' (empty
// fields skipped), or an empty string when the line has fewer fields.
std::string secondField(const std::string& line)
{
    auto isSeparator = [](char c) { return c == ' ' || c == '\t' || c == '=' || c == ':'; };
    size_t pos = 0;
    for (int field = 0; field < 2; ++field) {
        while (pos < line.size() && isSeparator(line[pos]))
            ++pos;
        size_t end = pos;
        while (end < line.size() && !isSeparator(line[end]))
            ++end;
        if (field == 1)
            return line.substr(pos, end - pos);
        pos = end;
    }
    return std::string();
}

// Scans an integer the way "%i" does (decimal, 0x hexadecimal, 0 octal).
// False when the text does not start with a number or it does not fit an int.
bool scanInteger(const std::string& text, int& value)
{
    if (text.empty())
        return false;
    errno = 0;
    char* end = nullptr;
    long v = std::strtol(text.c_str(), &end, 0);
    if (end == text.c_str() || errno == ERANGE || v < INT_MIN || v > INT_MAX)
        return false;
    value = static_cast<int>(v);
    return true;
}

} // namespace

CSimpleString makeUniqueId()
{
    std::string uuid = Platform::makeUuid();
    if (!uuid.empty())
        return CSimpleString(uuid.c_str(), static_cast<int>(uuid.size()));
    std::string fallback = "OID=" + std::to_string(++fallbackIdCounter());
    return CSimpleString(fallback.c_str(), static_cast<int>(fallback.size()));
}

CGeoObject::CGeoObject() : id(makeUniqueId()) {}

CGeoObject::CGeoObject(const CSimpleString& keyId) : id(keyId) {}

CGeoObject::CGeoObject(const CGeoObject& other) : CProgressFeature(other), id(makeUniqueId()) {}

CGeoObject::~CGeoObject()
{
    // Removal by identity: a search key or a copy that happens to carry a
    // registered id must not take the registered object out.
    if (registrations > 0)
        geoRegistry()->forget(this);
}

bool CGeoObject::idLess(const CGeoObject& other) const
{
    const int na = id.text != nullptr ? id.length : 0;
    const int nb = other.id.text != nullptr ? other.id.length : 0;
    const int n = na < nb ? na : nb;
    if (n > 0) {
        int c = std::memcmp(id.text, other.id.text, static_cast<size_t>(n));
        if (c != 0)
            return c < 0;
    }
    return na < nb;
}

bool lessGeoObjectId(const CGeoObject* a, const CGeoObject* b)
{
    return a->idLess(*b);
}

bool CGeoObject::write(std::ostream& os) const
{
    return writeBlock(os);
}

bool CGeoObject::writeBlock(std::ostream& os) const
{
    os << "GeoObject Begin\n";
    writeHollerith(id, os);
    os << '\n';
    writeHollerith(name, os);
    os << '\n';
    os << "Layer " << layer << '\n';
    os << "GeoObject End\n";
    return os.good();
}

bool CGeoObject::writeNull(std::ostream& os)
{
    os << "null\n";
    return os.good();
}

bool CGeoObject::read(std::istream& is)
{
    std::string word;
    if (!(is >> word) || !beginsWith(word, "Begin"))
        return false;
    is >> std::ws;
    if (!readHollerith(id, is) || !readHollerith(name, is))
        return false;
    // The id may be one this process would make later: it is taken.
    if (id.text != nullptr)
        Platform::reserveUuid(std::string(id.text, static_cast<size_t>(id.length)));
    is >> std::ws;

    std::string line;
    while (std::getline(is, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        size_t start = line.find_first_not_of(" \t");
        if (start == std::string::npos)
            continue;
        if (start > 0)
            line.erase(0, start);
        if (beginsWith(line, "GeoObject End"))
            return true;
        if (beginsWith(line, "Layer"))
            scanInteger(secondField(line), layer);
    }
    return false;
}

bool writeHollerith(const CSimpleString& s, std::ostream& os)
{
    const int length = s.text != nullptr ? s.length : 0;
    os.width(1);
    os << length << 'H';
    if (length > 0)
        os.write(s.text, length);
    return os.good();
}

bool readHollerith(CSimpleString& s, std::istream& is)
{
    s.set(nullptr);
    long length = 0;
    char h = 0;
    if (!(is >> length) || !(is >> h) || h != 'H')
        return false;
    if (length < 0 || length > maxHollerithLength)
        return false;
    if (length == 0)
        return is.good();

    // Read in chunks, so a length that promises more than the stream holds
    // costs no more memory than the characters that are there.
    std::string chars;
    const long chunk = 4096;
    while (static_cast<long>(chars.size()) < length) {
        long want = length - static_cast<long>(chars.size());
        if (want > chunk)
            want = chunk;
        size_t old = chars.size();
        chars.resize(old + static_cast<size_t>(want));
        is.read(&chars[old], want);
        if (is.gcount() != want)
            return false;
    }
    char* text = new char[static_cast<size_t>(length) + 1];
    std::memcpy(text, chars.data(), static_cast<size_t>(length));
    text[length] = '\0';
    s.text = text;
    s.length = static_cast<int>(length);
    return is.good();
}
