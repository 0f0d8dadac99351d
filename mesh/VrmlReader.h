// Reading of VRML 1.0 and VRML 2.0 (VRML97) files.
//
// `readVRML` takes the polygon geometry of a VRML file: the points and faces
// of every IndexedFaceSet node become vertices and polygons of a mesh, and
// every polyline of an IndexedLineSet node of a 2.0 file becomes a degree-1
// curve. The scene graph is not interpreted: transforms, materials, geometry
// instanced with USE and every other node type are passed over (transforms
// that would move geometry read are told in one line). A 2.0
// IndexedFaceSet takes the points of its own coord field (a Coordinate node,
// or USE of a Coordinate named with DEF earlier); a 1.0 IndexedFaceSet takes
// the points of the last Coordinate3 node before it.
//
// The whole file is parsed before anything is added, so a file that turns out
// truncated or corrupt leaves the mesh, the curve list and the mesh list as
// they were.
//
// Ownership: the caller owns the mesh; curves appended to the curve list and
// meshes appended to the mesh list are new objects owned by the caller.
// Thread-safety: none; a mesh is filled by one thread at a time.
#pragma once

#include "foundation/KorList.h"
#include "foundation/Vertex.h"
#include "mesh/ReaderReport.h"

#include <fstream>
#include <initializer_list>
#include <string>
#include <vector>

class CFlatMesh;
class CParametricGeometry;
namespace Fenwo {
class NurbsSurf;
}

// Facet-hash cell size given to every mesh the reader fills: VRML models are
// usually larger than the meshes the default size is tuned for.
inline constexpr double kVrmlFacetHashCellSize = 12.0;
// Tolerance of the vertex merge after reading.
inline constexpr double kVrmlMergeTolerance = 1e-8;

// Tokenizer over a VRML file that counts the nesting of braces and brackets.
class CVRMLFile {
public:
    // Token classes (the character classes of peekTokenClass where they
    // coincide).
    enum : int {
        TokenWord = 1,
        TokenComment = 2,
        TokenNumber = 3,
        TokenOpenBrace = 6,
        TokenCloseBrace = 7,
        TokenOpenBracket = 8,
        TokenCloseBracket = 9,
        TokenString = 13, // a quoted string; its text is not kept
        TokenOther = 0    // any other single character
    };

    // Codes returned by nextGeometryNode.
    enum GeometryNode : int {
        NodeBox = 0,
        NodeCone = 1,
        NodeCylinder = 2,
        NodeElevationGrid = 3,
        NodeExtrusion = 4,
        NodeIndexedFaceSet = 5,
        NodeIndexedLineSet = 6,
        NodePointSet = 7,
        NodeSphere = 8,
        NodeText = 9,
        NodeEndOfFile = 10
    };

    static constexpr int kWordLength = 1024;
    // The most characters a token may run to (see readToken).
    static constexpr std::size_t kLongestToken = std::size_t(1) << 20;

    int braceDepth = 0;   // "{" adds one, "}" takes one away
    int bracketDepth = 0; // the same for "[" and "]"
    int tokenClass = TokenOther;
    // last word (letters, digits, '_' and the like), comment line, or the
    // text of the last number
    std::string word;
    double number = 0.0;
    // Set when the last number token is not a number as a whole ("1.2.3",
    // "-", "2x"); its text is in word, number is 0.
    bool badNumber = false;
    long line = 1; // the line the last token stands on, counted from 1
    // The bad numbers met: counted, the first few kept.
    Mesh::CRepeatedWarning badNumbers;
    std::vector<std::string> firstBadNumbers;
    char character = 0; // last single character
    // Set when the input ended inside a quoted string, or a "}" or "]" closed
    // more than was opened, or a token ran past kLongestToken.
    bool corrupt = false;
    // The line of the token that ran past kLongestToken; 0 while none did.
    long overlongLine = 0;

    // Opens the file (binary mode; CR LF line ends are accepted).
    explicit CVRMLFile(const char* path);
    virtual ~CVRMLFile() = default;

    bool isOpen() const { return in.is_open(); }

    // Reads the next token: a word (a letter or '_' and then every character
    // VRML allows in a name), a comment (the rest of the line from '#', CR
    // dropped, at most kWordLength characters kept), a number (starting with
    // a digit, a sign, or a point followed by a digit, and running up to a
    // blank or a delimiter: it is a number only as a whole, decimal, with an
    // exponent, or hexadecimal "0x1F"; otherwise badNumber is set), a quoted
    // string, or a single character ("{", "}", "[", "]" adjust the depths).
    // False at the end of the input (no token read), and from a token that
    // runs past kLongestToken on (the input is read no further).
    bool readToken();

    // Reads tokens until a word names one of the ten geometry nodes (without
    // regard to case) and returns its code; NodeEndOfFile when the input ends
    // first. The name after DEF or USE is passed over, so a node named like a
    // geometry node is not taken for one.
    int nextGeometryNode();

    // True when the last token was the word w, compared without regard to
    // case.
    bool isWord(const char* w) const;

    // Reads tokens until the word w (without regard to case) stands at the
    // nesting where the search began, and returns true. False when the input
    // ends first, or when the node the search began in closes first (its "}"
    // is then the last token, and braceDepth has dropped).
    bool findKeyword(const char* w);

    // The same for several words: the index in `words` of the one found, -1
    // when none is found.
    int findKeyword(std::initializer_list<const char*> words);

    // The transform nodes the reader passes over: Transform, and in a 1.0
    // file Translation, Rotation, Scale and MatrixTransform (in the order of
    // the bits of `kinds`). A 2.0 Transform moves the nodes inside it; a 1.0
    // transform the nodes after it in the node it stands in.
    static constexpr int kTransformKinds = 5;
    static const char* const transformNames[kTransformKinds];
    struct PassedTransforms {
        long count = 0;     // transforms that would move geometry read
        unsigned kinds = 0; // bit k: one of them is of kind k
        long firstLine = 0; // where the first of them opens
        long sets = 0;      // the face and line sets they would move
    };
    // Follows the transform nodes of the tokens read from now on (after the
    // header line). A transform would move what it applies to when one of
    // its fields is off its default (a translation, a rotation's angle, a
    // scale, a matrix other than the identity) or holds a value that is not
    // a number.
    void followTransforms(bool version1);
    // Notes an IndexedFaceSet or IndexedLineSet read at the current token.
    void noteGeometryRead();
    // Once the input is read: the transforms that would move geometry read.
    PassedTransforms passedTransforms();

private:
    std::ifstream in;
    // The file's characters, taken from its buffer without a stream call
    // each.
    std::streambuf* chars = nullptr;

    // A transform node open, or in force, at the current token.
    struct TransformScope {
        int depth;        // it ends when the brace depth drops below this
        int bracketDepth; // where its own fields stand
        long line;
        int kind;
        bool ownBody; // its own fields are being read
        bool moves = false;
        long sets = 0;      // the face and line sets read while it applies
        long setsMoved = 0; // of them, those a transform inside it moves
    };
    bool following = false;
    bool version1 = false;
    int transformNode = -1; // the last token named a transform node of this kind
    int fieldKind = -1;     // a field of the innermost transform whose value is read
    int fieldValues = 0;    // its values read so far
    std::vector<TransformScope> scopes;
    PassedTransforms passed;

    bool readTokenText();
    void followToken();
    void judgeFieldValue();
    void closeScope();
};

// Reads a VRML 1.0 or 2.0 file. The faces go into mesh, or, with a mesh
// list, each IndexedFaceSet (2.0) or each Coordinate3 block (1.0) after the
// first into a new CFlatMesh appended to *meshes. The last face of a
// coordIndex list is added also without a closing -1; index values are
// rounded toward zero. A face is left out, and told at the end in one line
// per cause with the count and the first place (Mesh::CLeftOutRecords), when
// it has one or two corners, when it refers to a point number the node does
// not have (also printed as "referenced Vertex: " k " at " position " not
// found." for the first few), when one of its index values is not a number,
// or when it uses a point with a coordinate that is not a number. Every
// value of a point or index list keeps its place: a word or a malformed
// number there ("abc", "1.2.3", a lone "-"; "bad stream sfter dVal =" and
// its text for the first few) spoils only its own point or face, and a list
// whose count of numbers is not a multiple of three is told. A face with a
// corner whose coordinates are not all finite (a number beyond the range of
// a float, "nan", "inf") is left out, and so is that point (their count in
// one line, Mesh::reportNonFiniteFacets). Every filled mesh, and
// mesh itself always, is finished: vertices merged within
// kVrmlMergeTolerance, topology built, bounding box computed, modified flag
// set; its facet-hash cell size is kVrmlFacetHashCellSize.
// Each polyline of an IndexedLineSet becomes a curve appended to curves
// (one through a point that is not finite is left out).
// Returns true for a readable file, also one without any geometry. Returns
// false, with mesh and lists unchanged, when the file cannot be opened, has
// no "#VRML" comment line, contains a NUL byte, holds a token (a word,
// number, comment or string) of more than CVRMLFile::kLongestToken
// characters (read no further: a text of one such token costs a megabyte),
// or ends inside a node or list (truncated) or closes more braces or
// brackets than it opens; one line on standard output then says why.
// Geometry under transforms is read where its own coordinates put it: when
// a transform would move a face or line set read, one line says how many
// such transforms were passed over, of which kinds, where the first is, and
// how many sets they would move.
bool readVRML(CFlatMesh& mesh, const char* path, Kor::List<CParametricGeometry*>& curves,
              Kor::List<CFlatMesh*>* meshes = nullptr);

// The degree-1 curve through points[indices[0]], points[indices[1]], ...:
// closed on cyclic knots when the first index equals the last and there are
// at least four indices, else open on clamped uniform knots of range [0, 1].
// A new curve owned by the caller; null for fewer than two indices or an
// index outside the point list.
Fenwo::NurbsSurf* indexedPolylineToCurve(const Kor::List<CVertex<float, 3>>& points,
                                         const Kor::List<int>& indices);
