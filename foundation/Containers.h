#pragma once
// Helpers for the standard containers.

// Empties a container and gives its memory back (assigning {} would keep it:
// that assigns an empty list into the same storage).
template <class C> void release(C& container)
{
    C().swap(container);
}
