#pragma once
// Fenwo::CSetElement: abstract base of objects kept in ordered sets and in
// lists searched by equality (the fitting constraints derive it).
//
// Ownership: the container that holds the pointers decides; elements are
// deleted through the virtual destructor. No shared state.

namespace Fenwo {

class CSetElement {
public:
    virtual ~CSetElement() = default;
    // Strict weak ordering of elements of the same family.
    virtual bool operator<(const CSetElement& other) const = 0;
    // Equal when neither element orders before the other.
    virtual bool operator==(const CSetElement& other) const
    {
        return !(*this < other) && !(other < *this);
    }
};

} // namespace Fenwo
