// Root of every geometry object: id, name, layer and the geometry-object text
// block, plus the counted strings ("7Hunknown") of the geometry text formats.
//
// `CProgressFeature` carries the optional progress sink of long operations;
// `CGeoObject` adds an id (see makeUniqueId), a name and a layer. A
// geometry object takes itself out of the registry (`CGeoRef`) when it is
// destroyed.
//
// Ownership: the progress sink is borrowed, never deleted. The id and name
// texts are owned by the object.
// Thread-safety: none. Objects are created, read and destroyed on one thread,
// because construction and destruction touch the process-wide registry and the
// fallback id counter.
#pragma once

#include "foundation/SimpleString.h"

#include <iosfwd>

class CProgress;

// Polymorphic root that lets long computations of derived objects report
// progress and poll cancellation.
class CProgressFeature {
public:
    CProgress* progress = nullptr; // not owned; null when nobody listens

    CProgressFeature() = default;
    // A copy does not inherit the sink: progress belongs to a computation,
    // not to the value.
    CProgressFeature(const CProgressFeature&) {}
    CProgressFeature& operator=(const CProgressFeature&) { return *this; }
    virtual ~CProgressFeature() = default;
};

class CGeoObject : public CProgressFeature {
public:
    CSimpleString name; // empty until set or read
    CSimpleString id;   // unique id, from makeUniqueId
    int layer = -1;

    // Name empty, layer -1, a new id from makeUniqueId.
    CGeoObject();
    // A search key: the id text copied, name empty, layer -1; no id is made.
    explicit CGeoObject(const CSimpleString& keyId);
    CGeoObject& operator=(const CGeoObject&) = delete;
    // Takes this object (and no other object with an equal id) out of the
    // registry.
    ~CGeoObject() override;

    // Reads the block that follows the word "GeoObject" (already taken from
    // the stream): "Begin", id and name as counted strings, then lines up to
    // "GeoObject End" (its words apart by any run of blanks and tabs), of
    // which a "Layer" line sets the layer. While the stream carries a
    // GeoTextAsWritten, the block is read as written: the id and the name
    // each end their line and hold no NUL, then one "Layer" line with its
    // number and the end line; another line is refused where it stands,
    // its cause reported (reportGeoTextFault). Returns false
    // when the first word does not begin with "Begin" (nothing read beyond
    // it), when a counted string cannot be read, or when the stream ends
    // before "GeoObject End"; fields read before the failure keep their new
    // values. The id read is marked taken (Platform::reserveUuid), so no
    // object made later in the process gets it. Does not touch the registry:
    // a caller that wants the object to be found by its new id registers it
    // (CGeoRef::addUnique).
    virtual bool read(std::istream& is);
    // Writes the geometry-object block; false when the stream failed.
    virtual bool write(std::ostream& os) const;

    // The block: "GeoObject Begin", id, name, "Layer <n>", "GeoObject End",
    // each on its own line. False when the stream failed.
    bool writeBlock(std::ostream& os) const;
    // "null" and a line end: the placeholder for a missing object reference.
    static bool writeNull(std::ostream& os);

    // Byte-wise comparison of the id texts (as unsigned characters); true
    // when this id sorts first. An empty id sorts before every other.
    bool idLess(const CGeoObject& other) const;
    // Gives this object the id, name and layer of other: a copy made to
    // stand for other (an undo's record of it) writes other's block. The
    // registry is not touched.
    void takeIdentity(const CGeoObject& other);

protected:
    // A copy is a new geometry object: a new id, empty name, layer -1 and no
    // progress sink, so no two live objects come to share an id by copying.
    // Subclasses copy what they want to carry over.
    CGeoObject(const CGeoObject& other);

private:
    friend class CGeoRef;
    // Number of registries that hold this object; the destructor searches the
    // process registry only when it is not 0.
    int registrations = 0;
};

// Comparator of the registry's set: a->idLess(*b).
bool lessGeoObjectId(const CGeoObject* a, const CGeoObject* b);

// A new id, unique in the process: the next version-4 id of the process's
// stream (Platform::makeUuid) in its 36-character lower-case text form, the
// same in every run of the same work. When no id can be made the id is
// "OID=<k>" with a process-wide counter k that starts at 1.
CSimpleString makeUniqueId();

// Writes a counted string: the length, "H", then the characters ("7Hunknown";
// an empty string is "0H"). Returns whether the stream is good.
bool writeHollerith(const CSimpleString& s, std::ostream& os);

// Longest counted string that readHollerith accepts.
constexpr int maxHollerithLength = 1 << 24;

// Reads a counted string into s: an integer length, a non-blank 'H', then
// exactly that many characters taken raw (blanks and line ends included).
// The old text is dropped first. Returns false, leaving s empty, when the
// length is missing, negative or above maxHollerithLength, when the 'H' is
// missing, or when the stream ends before the last character; storage grows
// only with the characters actually read. "0H" gives an empty string and true.
bool readHollerith(CSimpleString& s, std::istream& is);
