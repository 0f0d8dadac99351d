// What the mesh text readers tell of the records they could not use.
//
// A reader that leaves records out (a facet cut off by the end of the file,
// one on a point whose field is not a number, one naming a point the file
// does not define) counts them per cause in a CLeftOutRecords and says at the
// end, in one line per cause, how many it left out and where the first one
// was. A message a reader may give for every record of a kind (a facet of
// four corners, a line it does not know) goes through a CRepeatedWarning:
// the first few are printed as they come, the rest are only counted and told
// in one line at the end, so that a damaged file of a million records does
// not print a million lines.
//
// Ownership: plain values. Thread-safety: one reader uses its own objects.
#pragma once

#include <string>

namespace Mesh {

// The records a reader left out for one cause.
class CLeftOutRecords {
public:
    // what names the records in the plural ("facets", "grids").
    explicit CLeftOutRecords(const char* what = "facets") : what(what) {}

    // Counts one record left out; for the first, describeFirst() is called
    // and its text kept (where the record was and what was wrong with it).
    template <class Describe> void add(Describe&& describeFirst)
    {
        if (count++ == 0)
            first = describeFirst();
    }

    long size() const { return count; }
    const std::string& firstText() const { return first; }

    // Prints "left out 1 facets: <first>" or "left out N facets, the first:
    // <first>" on standard output; nothing when no record was left out.
    void report() const;

private:
    const char* what;
    long count = 0;
    std::string first;
};

// A message given once per record: shown for the first kShown records.
class CRepeatedWarning {
public:
    static constexpr long kShown = 3;

    // Counts one occurrence; true when the caller is to print its message.
    bool show() { return ++count <= kShown; }

    long size() const { return count; }

    // Prints "<text> [N times in all]" on standard output when more
    // occurrences were counted than shown; nothing otherwise.
    void reportHidden(const std::string& text) const;

private:
    long count = 0;
};

} // namespace Mesh
