// readersweep: damages a file every way one byte can be damaged and reads
// each damaged copy with the reader of its kind, sorting what came of it; or
// reads the valid variants of a file (as other programs and editors write
// it) and compares each with the plain form. For scripts/readersweep.sh.
//
//   readersweep damage KIND FILE [--flips all|none] [--show N]
//   readersweep variants KIND FILE
//   readersweep read KIND FILE
//   readersweep binary stl TEXT.stl OUT.stl
//
// KIND is net (a net text), stl, nastran, vrml or autoform. Damage: every
// byte deleted and (with --flips all, the default) every bit of every byte
// flipped. A net
// text is read into a net that holds a drawn poly-line; a damaged copy is
// either refused (the drawn net kept, the refusal naming a line) or read,
// and a net read is written again: when that text says, token for token,
// what the damaged copy said, the damage made another valid text; when it
// does not, the reader took the copy for what it did not say ("lenient").
// A refusal that names a line more than 3 lines after the damage is a
// fault, unless the damage fell on a number (a count or length, refused
// where it stops fitting).
// A mesh is read whole (as the undamaged file), with facets left out and
// said, with facets left out and nothing said ("silent"), with no facet
// (which the mesh loader refuses), or refused.
// Prints a count per outcome and, for the outcomes that are faults, the
// first N cases (10); exits 1 when there was a fault.
//
// Read: what the reader says, and the net text written or the facets read.
// Binary: the binary form of an STL text, for a binary file to damage.
//
// Variants: CR LF line ends, tabs and runs of blanks between fields, a
// UTF-8 byte-order mark, numbers written with 150 digits; an STL text
// padded with NULs; net texts with CR line ends, blanks and a tab at every
// line's end, a '+' before every unsigned real and knot headers in lower
// case; each must read as the plain file does (the same net text written
// back, the same facets). A binary STL with bytes after its facets, cut
// inside its last facet or with its count field 0 reads its whole facets
// and says so in one line.
#include "geometry/GeoObject.h"
#include "geometry/ParametricGeometry.h"
#include "mesh/AutoFormReader.h"
#include "mesh/FlatMesh.h"
#include "mesh/GridPoint.h"
#include "mesh/NastranReader.h"
#include "mesh/StlFormat.h"
#include "mesh/VrmlReader.h"
#include "net/SurfaceNet.h"
#include "support/GridFixtures.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

// Standard output of the readers, kept while a reader runs
// (the error output, where a few of them write, is dropped).
class QuietOutput {
public:
    QuietOutput()
        : previous(std::cout.rdbuf(kept.rdbuf())), previousErrors(std::cerr.rdbuf(dropped.rdbuf()))
    {
    }
    ~QuietOutput()
    {
        std::cout.rdbuf(previous);
        std::cerr.rdbuf(previousErrors);
    }
    std::string text() const { return kept.str(); }

private:
    std::ostringstream kept, dropped;
    std::streambuf* previous;
    std::streambuf* previousErrors;
};

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

long lineOfByte(const std::string& text, std::size_t at)
{
    long line = 1;
    for (std::size_t i = 0; i < at && i < text.size(); ++i)
        line += text[i] == '\n';
    return line;
}

std::string lastLine(const std::string& text)
{
    std::string t = text;
    while (!t.empty() && t.back() == '\n')
        t.pop_back();
    const std::size_t at = t.rfind('\n');
    return at == std::string::npos ? t : t.substr(at + 1);
}

std::string printable(const std::string& text, std::size_t limit = 160)
{
    std::string out;
    for (char c : text.substr(0, limit))
        out += c == '\n' ? std::string("\\n") : (c >= ' ' && c <= '~') ? std::string(1, c) : "?";
    return out;
}

// The tokens of a net text: split at white space and at the marks of a
// control-point line, numbers compared by value (as a float or a double),
// words without regard to case.
std::vector<std::string> tokensOf(const std::string& text)
{
    std::vector<std::string> tokens;
    std::string token;
    auto flush = [&] {
        if (!token.empty())
            tokens.push_back(token);
        token.clear();
    };
    for (char c : text) {
        if (std::isspace(static_cast<unsigned char>(c)) || c == ',' || c == '[' || c == ']' ||
            c == '=')
            flush();
        else
            token += char(std::tolower(static_cast<unsigned char>(c)));
    }
    flush();
    return tokens;
}

bool sameToken(const std::string& a, const std::string& b)
{
    if (a == b)
        return true;
    double x = 0, y = 0;
    const auto ra = std::from_chars(a.data(), a.data() + a.size(), x);
    const auto rb = std::from_chars(b.data(), b.data() + b.size(), y);
    if (ra.ptr != a.data() + a.size() || rb.ptr != b.data() + b.size())
        return false;
    return x == y || float(x) == float(y);
}

// The first place where two token lists differ, or -1.
long firstDifference(const std::vector<std::string>& a, const std::vector<std::string>& b)
{
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i)
        if (!sameToken(a[i], b[i]))
            return long(i);
    return a.size() == b.size() ? -1 : long(n);
}

struct Outcome {
    bool read = false;
    std::string said;    // what the reader printed
    std::string written; // net: the text written back; mesh: its facet summary
    int facets = 0;
    int pointLists = 0; // net: poly-lines after a refusal (the drawn one)
};

// A net text read into a net that holds a drawn poly-line; a text read is
// read again into an empty net, and that net written.
Outcome readNet(const std::string& text)
{
    Outcome o;
    QuietOutput quiet;
    {
        GB::CSurfaceNet net;
        mwtest::polyLine(net, {mwtest::gridPoint(5.f, 5.f), mwtest::gridPoint(6.f, 5.f)});
        std::istringstream in(text);
        o.read = net.read(in);
        o.said = quiet.text();
        o.pointLists = net.getNumPointLists();
    }
    if (o.read) {
        GB::CSurfaceNet net;
        std::istringstream in(text);
        net.read(in);
        std::ostringstream out;
        net.write(out);
        o.written = out.str();
    }
    return o;
}

std::string scratchFile(const char* kind)
{
    static const std::string dir = [] {
        const char* tmp = std::getenv("TMPDIR");
        std::string d =
            std::string(tmp != nullptr ? tmp : "/tmp") + "/readersweep-" + std::to_string(getpid());
        std::filesystem::create_directories(d);
        return d;
    }();
    return dir + "/input." + kind;
}

Outcome readMesh(const std::string& kind, const std::string& bytes)
{
    const std::string path = scratchFile(kind == "nastran"    ? "nas"
                                         : kind == "autoform" ? "af"
                                         : kind == "vrml"     ? "wrl"
                                                              : kind.c_str());
    std::ofstream(path, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
    Outcome o;
    CFlatMesh mesh;
    {
        QuietOutput quiet;
        Kor::List<CParametricGeometry*> curves;
        o.read = kind == "stl"       ? readSTL(mesh, path.c_str(), false)
                 : kind == "nastran" ? readNastran(mesh, path.c_str())
                 : kind == "vrml"    ? readVRML(mesh, path.c_str(), curves)
                                     : readAutoForm(mesh, path.c_str(), 0, nullptr);
        curves.deleteAll();
        o.said = quiet.text();
    }
    o.facets = mesh.getFacetCount();
    std::ostringstream summary;
    summary.precision(9);
    for (int f = 0; f < o.facets; ++f) {
        CVertex<float, 3> p;
        for (int k = 0; k < mesh.getFacetSize(f); ++k)
            if (mesh.getFacetCorner(f, k, p))
                summary << p.data[0] << ' ' << p.data[1] << ' ' << p.data[2] << ' ';
        summary << '\n';
    }
    o.written = summary.str();
    return o;
}

Outcome readAny(const std::string& kind, const std::string& bytes)
{
    return kind == "net" ? readNet(bytes) : readMesh(kind, bytes);
}

int usage()
{
    std::fprintf(stderr, "usage: readersweep damage|variants|read net|stl|nastran|vrml|autoform "
                         "FILE "
                         "[--flips all|none] [--show N]\n");
    return 2;
}

struct Tally {
    std::map<std::string, long> counts;
    std::map<std::string, std::vector<std::string>> shown;
    std::map<std::string, std::map<long, long>> lines; // of the damage, for the faults
    std::size_t show = 10;
    long line = 0; // of the damage being sorted
    void add(const std::string& outcome, const std::string& what = std::string())
    {
        ++counts[outcome];
        if (what.empty())
            return;
        ++lines[outcome][line];
        if (shown[outcome].size() < show)
            shown[outcome].push_back(what);
    }
};

// The outcome of one damaged copy; what names the damage.
// True when the damage at byte at of the text fell on a number (a digit, or
// the blank between two digits): a count, an index, a version or the
// length of a counted string, which makes the rest of the text read as what
// it is not, and is refused where that stops making sense.
bool damagesNumber(const std::string& text, std::size_t at)
{
    const auto digit = [&](std::size_t i) {
        return i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]));
    };
    return digit(at) || (at > 0 && digit(at - 1) && digit(at + 1));
}

void sortNet(Tally& tally, const Outcome& plain, const std::string& text, const std::string& copy,
             std::size_t at, const std::string& what)
{
    const Outcome o = readNet(copy);
    const long damagedLine = lineOfByte(copy, at);
    // A stored face whose loop the net read does not hold, or whose trimmed
    // face lost a trim curve, is rebuilt from the net: said, and answered
    // as a loss.
    if (!o.read && o.said.find("rebuilt from the net read") != std::string::npos) {
        tally.add("read, a stored face rebuilt from the net and said");
        return;
    }
    if (!o.read) {
        const std::string last = lastLine(o.said);
        const std::size_t place = last.find("line ");
        if (o.pointLists != 1) {
            tally.add("fault: refused, drawn net changed", what);
            return;
        }
        if (place == std::string::npos ||
            last.find(": the text is refused.") == std::string::npos) {
            tally.add("fault: refused without a line", what + ": " + printable(last));
            return;
        }
        const long named = std::atol(last.c_str() + place + 5);
        if (named <= damagedLine + 3)
            tally.add("refused");
        else if (damagesNumber(text, at))
            tally.add("refused where a damaged number stops fitting",
                      what + " (line " + std::to_string(damagedLine) + "): " + printable(last));
        else
            tally.add("fault: refused lines after the damage",
                      what + " (line " + std::to_string(damagedLine) + "): " + printable(last));
        return;
    }
    if (o.written == plain.written) {
        tally.add("read as the undamaged text");
        return;
    }
    // The writer numbers nodes and orders faces anew: the face records are
    // compared when the nodes and poly-lines read back as written.
    const std::size_t topology = copy.find("\nTopology"),
                      topologyBack = o.written.find("\nTopology");
    if (firstDifference(tokensOf(copy.substr(0, topology)),
                        tokensOf(o.written.substr(0, topologyBack))) >= 0) {
        tally.add("read as another valid text (its nodes or poly-lines changed)");
        return;
    }
    const std::vector<std::string> said = tokensOf(copy), back = tokensOf(o.written);
    const long d = firstDifference(said, back);
    if (d < 0) {
        tally.add("read as another valid text");
        return;
    }
    std::string context;
    for (long k = std::max(0L, d - 3); k < d + 3 && k < long(said.size()); ++k)
        context += (k == d ? "[" : "") + said[std::size_t(k)] + (k == d ? "]" : "") + " ";
    context += " / written:";
    for (long k = std::max(0L, d - 3); k < d + 3 && k < long(back.size()); ++k)
        context += (k == d ? " [" : " ") + back[std::size_t(k)] + (k == d ? "]" : "");
    tally.add("fault: read leniently",
              what + " (line " + std::to_string(damagedLine) + "): " + printable(context, 300));
}

void sortMesh(Tally& tally, const std::string& kind, const Outcome& plain, const std::string& copy,
              const std::string& what)
{
    const Outcome o = readAny(kind, copy);
    const bool said = !o.said.empty();
    if (!o.read) {
        tally.add(std::string("refused: ") + printable(lastLine(o.said), 40));
        return;
    }
    if (o.facets == 0 && plain.facets > 0)
        tally.add("read no facet (the mesh loader refuses the file)");
    else if (o.facets < plain.facets)
        tally.add(said ? "read, facets left out and said" : "fault: facets left out silently",
                  what + ": " + std::to_string(o.facets) + " of " + std::to_string(plain.facets));
    else if (o.facets > plain.facets)
        tally.add("read, more facets than the undamaged file");
    else if (o.written == plain.written)
        tally.add(said ? "read whole, something said" : "read whole");
    else
        tally.add(said ? "read, coordinates changed, something said" : "read, coordinates changed");
}

int damage(const std::string& kind, const std::string& file, bool flips, std::size_t show)
{
    std::string text = readFile(file);
    // A net text is damaged as the writer writes it, so that a copy read
    // whole writes back what it says.
    if (kind == "net" && readNet(text).read)
        text = readNet(text).written;
    const Outcome plain = readAny(kind, text);
    if (!plain.read) {
        std::fprintf(stderr, "%s: the undamaged file is not read\n%s", file.c_str(),
                     plain.said.c_str());
        return 2;
    }
    Tally tally;
    tally.show = show;
    long copies = 0;
    auto sort = [&](const std::string& copy, std::size_t at, const std::string& what) {
        ++copies;
        tally.line = lineOfByte(text, at);
        if (kind == "net")
            sortNet(tally, plain, text, copy, at, what);
        else
            sortMesh(tally, kind, plain, copy, what);
    };
    for (std::size_t at = 0; at < text.size(); ++at) {
        std::string copy = text;
        copy.erase(at, 1);
        sort(copy, at, "byte " + std::to_string(at) + " deleted");
        for (int bit = 0; flips && bit < 8; ++bit) {
            copy = text;
            copy[at] = char(static_cast<unsigned char>(copy[at]) ^ (1u << bit));
            sort(copy, at, "bit " + std::to_string(bit) + " of byte " + std::to_string(at));
        }
    }
    std::printf("%s (%s): %ld damaged copies\n", file.c_str(), kind.c_str(), copies);
    bool fault = false;
    for (const auto& [outcome, count] : tally.counts) {
        std::printf("  %7ld  %s\n", count, outcome.c_str());
        fault = fault || outcome.rfind("fault", 0) == 0;
        for (const std::string& s : tally.shown[outcome])
            std::printf("             %s\n", s.c_str());
        if (outcome.rfind("fault", 0) == 0) {
            std::printf("             by damaged line:");
            for (const auto& [line, n] : tally.lines[outcome])
                std::printf(" %ldx%ld", line, n);
            std::printf("\n");
        }
    }
    return fault ? 1 : 0;
}

// A binary STL image: its size is that of the facets its count declares.
bool isBinaryStlImage(const std::string& bytes)
{
    if (bytes.size() < 84)
        return false;
    std::uint32_t count = 0;
    for (int i = 3; i >= 0; --i)
        count = (count << 8) | static_cast<unsigned char>(bytes[std::size_t(80 + i)]);
    return 84 + 50 * std::uint64_t(count) == bytes.size();
}

// The variants of a text as other programs write it.
std::vector<std::pair<std::string, std::string>> variantsOf(const std::string& kind,
                                                            const std::string& text)
{
    std::vector<std::pair<std::string, std::string>> v;
    std::string crlf, tabs, blanks, longNumbers;
    for (char c : text) {
        if (c == '\n')
            crlf += '\r';
        crlf += c;
    }
    if (kind == "stl" && isBinaryStlImage(text))
        return v; // a binary file has no text variants
    v.emplace_back("CR LF", crlf);
    v.emplace_back("byte-order mark", "\xef\xbb\xbf" + text);
    bool countedString = false; // a line of a net text's id or name
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (i == 0 || text[i - 1] == '\n') {
            std::size_t d = i;
            while (d < text.size() && std::isdigit(static_cast<unsigned char>(text[d])))
                ++d;
            countedString = d > i && d < text.size() && text[d] == 'H';
        }
        // Blanks between fields; not inside a counted string's text, and
        // not in the fixed columns of a Nastran card.
        const bool field = c == ' ' && kind != "nastran" && !countedString;
        tabs += field ? '\t' : c;
        blanks += field ? std::string("   ") : std::string(1, c);
    }
    if (kind != "nastran") {
        v.emplace_back("tabs", tabs);
        v.emplace_back("runs of blanks", blanks);
    }
    // Every number with a decimal point gets zeros up to 150 characters.
    for (std::size_t i = 0; i < text.size();) {
        std::size_t j = i;
        while (j < text.size() && (std::isdigit(static_cast<unsigned char>(text[j])) ||
                                   text[j] == '.' || text[j] == '-'))
            ++j;
        const std::string number = text.substr(i, j - i);
        const bool real = number.find('.') != std::string::npos && j > i &&
                          (j == text.size() || std::isspace(static_cast<unsigned char>(text[j])) ||
                           text[j] == ',' || text[j] == ']');
        const bool fixedColumns = kind == "nastran" && text.find(',') == std::string::npos;
        if (real && !fixedColumns) {
            longNumbers +=
                number + std::string(150 - std::min<std::size_t>(150, number.size()), '0');
        } else {
            longNumbers += text.substr(i, std::max<std::size_t>(1, j - i));
        }
        i = std::max(j, i + 1);
    }
    v.emplace_back("numbers of 150 characters", longNumbers);
    if (kind == "stl")
        v.emplace_back("NUL padding", text + std::string(512, '\0'));
    if (kind != "net")
        return v;
    // A net text with CR line ends, blanks and a tab at the end of every
    // line, a '+' before every unsigned real, knot headers in lower case.
    std::string cr = text, trailing, plus, lower;
    std::replace(cr.begin(), cr.end(), '\n', '\r');
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n')
            trailing += " \t";
        trailing += text[i];
    }
    countedString = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const bool lineStart = i == 0 || text[i - 1] == '\n';
        if (lineStart) {
            std::size_t d = i;
            while (d < text.size() && std::isdigit(static_cast<unsigned char>(text[d])))
                ++d;
            countedString = d > i && d < text.size() && text[d] == 'H';
        }
        std::size_t j = i;
        while (j < text.size() && (std::isdigit(static_cast<unsigned char>(text[j])) || text[j] == '.'))
            ++j;
        const bool atStart = lineStart || std::isspace(static_cast<unsigned char>(text[i - 1])) ||
                             text[i - 1] == '[' || text[i - 1] == ',';
        const bool real = j > i && atStart && !countedString &&
                          text.substr(i, j - i).find('.') != std::string::npos;
        plus += real ? "+" + text.substr(i, j - i) : std::string(1, text[i]);
        i = real ? j - 1 : i;
    }
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t end = std::min(text.find('\n', i), text.size());
        std::string line = text.substr(i, end - i);
        if (line.compare(0, 2, "p=") == 0)
            for (char& c : line)
                c = char(std::tolower(static_cast<unsigned char>(c)));
        lower += line + (end < text.size() ? "\n" : "");
        i = end + 1;
    }
    v.emplace_back("CR line ends", cr);
    v.emplace_back("blanks and a tab at line ends", trailing);
    v.emplace_back("a plus before unsigned reals", plus);
    v.emplace_back("knot headers in lower case", lower);
    return v;
}

int variants(const std::string& kind, const std::string& file)
{
    const std::string text = readFile(file);
    const Outcome plain = readAny(kind, text);
    if (!plain.read) {
        std::fprintf(stderr, "%s: the plain file is not read\n%s", file.c_str(),
                     plain.said.c_str());
        return 2;
    }
    bool fault = false;
    if (kind == "stl" && isBinaryStlImage(text)) {
        // Bytes after the last facet are passed over, and a file cut inside
        // a facet gives its whole facets: either way in one line.
        const std::pair<std::string, std::string> tails[] = {
            {"a byte after the last facet", text + "x"},
            {"CR LF after the last facet", text + "\r\n"},
            {"80 blanks after the last facet", text + std::string(80, ' ')},
            {"cut inside the last facet", text.substr(0, text.size() - 20)},
            {"its count field 0", text.substr(0, 80) + std::string(4, '\0') + text.substr(84)},
        };
        for (const auto& [name, copy] : tails) {
            const Outcome o = readAny(kind, copy);
            const bool cut = copy.size() < text.size();
            const bool sound = o.read && o.facets == plain.facets - (cut ? 1 : 0) &&
                               std::count(o.said.begin(), o.said.end(), '\n') == 1;
            std::printf(
                "%s (%s) %s: %s\n", file.c_str(), kind.c_str(), name.c_str(),
                sound ? ("read, said in one line: " + printable(lastLine(o.said))).c_str()
                      : ("fault: " + std::to_string(o.facets) + " facets, " + printable(o.said))
                            .c_str());
            fault = fault || !sound;
        }
    }
    for (const auto& [name, copy] : variantsOf(kind, text)) {
        const Outcome o = readAny(kind, copy);
        const bool same = o.read && o.written == plain.written && o.said == plain.said;
        std::printf("%s (%s) %s: %s\n", file.c_str(), kind.c_str(), name.c_str(),
                    same
                        ? "read as the plain file"
                        : ("differs: " + printable(lastLine(o.said)) + (o.read ? "" : " (refused)"))
                              .c_str());
        fault = fault || !same;
    }
    return fault ? 1 : 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 4)
        return usage();
    const std::string mode = argv[1], kind = argv[2], file = argv[3];
    if (kind != "net" && kind != "stl" && kind != "nastran" && kind != "vrml" && kind != "autoform")
        return usage();
    bool flips = true;
    std::size_t show = 10;
    for (int a = 4; a + 1 < argc; a += 2) {
        if (std::strcmp(argv[a], "--flips") == 0)
            flips = std::strcmp(argv[a + 1], "none") != 0;
        else if (std::strcmp(argv[a], "--show") == 0)
            show = std::size_t(std::atol(argv[a + 1]));
        else
            return usage();
    }
    if (mode == "binary" && kind == "stl" && argc == 5) { // the binary form of an STL text
        CFlatMesh mesh;
        QuietOutput quiet;
        return readSTL(mesh, file.c_str(), false) && mesh.writeBinarySTL(argv[4], nullptr, -1) ? 0
                                                                                               : 1;
    }
    if (mode == "read") { // what the reader says and gives, for a look at one case
        const Outcome o = readAny(kind, readFile(file));
        std::printf("%s%s\n%s", o.said.c_str(), o.read ? "read" : "refused", o.written.c_str());
        return o.read ? 0 : 1;
    }
    const int result = mode == "damage"     ? damage(kind, file, flips, show)
                       : mode == "variants" ? variants(kind, file)
                                            : usage();
    std::error_code ignored;
    std::filesystem::remove_all(std::filesystem::path(scratchFile("x")).parent_path(), ignored);
    return result;
}
