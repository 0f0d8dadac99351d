#include "geometry/GeoObject.h"

#include "foundation/TextFields.h"
#include "geometry/GeoRef.h"
#include "geometry/GeoTokenizer.h"
#include "platform/Uuid.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <istream>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

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

// The characters up to the next line end, which stays in the stream.
std::string restOfLine(std::istream& is)
{
    std::string line;
    for (int c = is.peek(); c != std::char_traits<char>::eof() && c != '\n'; c = is.peek())
        line.push_back(static_cast<char>(is.get()));
    return line;
}

// Takes the line end that ends the line read, when there is one (the last
// line of a text may have none).
void takeLineEnd(std::istream& is)
{
    if (is.peek() == '\n')
        is.get();
}

bool isBlankText(const std::string& text)
{
    return text.find_first_not_of(" \t\r") == std::string::npos;
}

// "GeoObject End", its words apart by any run of blanks; as written,
// nothing but blanks may follow it.
bool isEndLine(const std::string& line, bool asWritten)
{
    if (!beginsWith(line, "GeoObject"))
        return false;
    const size_t end = line.find_first_not_of(" \t", 9);
    if (end == 9 || end == std::string::npos || line.compare(end, 3, "End") != 0)
        return false;
    return !asWritten || isBlankText(line.substr(end + 3));
}

// "Layer" and a decimal number, apart by blanks, and nothing else.
bool isWholeLayerLine(const std::string& line, int& value)
{
    const std::vector<std::string_view> fields = blankSeparatedFields(line);
    return fields.size() == 2 && fields[0] == "Layer" && parseWholeField(fields[1], value);
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

void CGeoObject::takeIdentity(const CGeoObject& other)
{
    id = other.id;
    name = other.name;
    layer = other.layer;
}

bool CGeoObject::writeNull(std::ostream& os)
{
    os << "null\n";
    return os.good();
}

bool CGeoObject::read(std::istream& is)
{
    const bool asWritten = readsAsWritten(is);
    std::string word;
    if (!(is >> word) || !beginsWith(word, "Begin") || (asWritten && word != "Begin")) {
        if (asWritten)
            reportGeoTextFault(is, "expected \"Begin\" after \"GeoObject\", found " +
                                       shownInFault(word));
        return false;
    }
    is >> std::ws;
    // As written, the id and the name each stand on a line of their own: a
    // count that does not fit its text leaves characters on the line.
    const char* const strings[2] = {"id", "name"};
    for (CSimpleString* s : {&id, &name}) {
        if (!readHollerith(*s, is)) {
            if (asWritten)
                reportGeoTextFault(is, std::string("the ") + strings[s == &name] +
                                           " of a geometry object is no counted string");
            return false;
        }
        // A counted string holds no NUL: its text would end there.
        if (asWritten && s->text != nullptr && std::strlen(s->text) != size_t(s->length)) {
            reportGeoTextFault(is, std::string("the ") + strings[s == &name] +
                                       " of a geometry object holds a NUL byte");
            return false;
        }
        if (asWritten) {
            const std::string rest = restOfLine(is);
            if (!isBlankText(rest)) {
                reportGeoTextFault(is, std::string("expected the end of the line after the ") +
                                           strings[s == &name] + " " + shownInFault(s->c_str()) +
                                           " of a geometry object, found " + shownInFault(rest));
                return false;
            }
        }
    }
    // The id may be one this process would make later: it is taken.
    if (id.text != nullptr)
        Platform::reserveUuid(std::string(id.text, static_cast<size_t>(id.length)));
    is >> std::ws;

    // Lines up to "GeoObject End" (its words apart by any blanks). As
    // written, they are one "Layer" line with its number and the end line,
    // and a line of any other form is refused with its line end left in
    // the stream (the caller places the refusal by it); otherwise other
    // lines are passed over.
    bool layerRead = false;
    while (is.good()) {
        is >> std::ws;
        if (!is.good())
            break;
        std::string line = restOfLine(is);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        size_t start = line.find_first_not_of(" \t");
        if (start == std::string::npos)
            continue;
        if (start > 0)
            line.erase(0, start);
        if (isEndLine(line, asWritten)) {
            takeLineEnd(is);
            return true;
        }
        if (beginsWith(line, "Layer")) {
            int value = 0;
            const std::string number = secondField(line);
            if (!asWritten) {
                if (scanInteger(number, value))
                    layer = value;
            } else if (!layerRead && isWholeLayerLine(line, value)) {
                layer = value;
                layerRead = true;
                takeLineEnd(is);
                continue;
            }
        }
        if (asWritten) {
            reportGeoTextFault(
                is, std::string("expected ") + (layerRead ? "" : "\"Layer\" and its number or ") +
                        "\"GeoObject End\" in a geometry object, found " + shownInFault(line));
            return false;
        }
        takeLineEnd(is);
    }
    if (asWritten)
        reportGeoTextFault(is, "the text ends before the \"GeoObject End\" of a geometry object");
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
