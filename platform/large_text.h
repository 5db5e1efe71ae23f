#pragma once

#include <cstddef>
#include <string>

namespace sievetext {

// Makes room for `units` code units in the empty `text` without touching it.
// A long text gets its room on the system's large (2 MiB) pages where they
// are offered: the first touch of fresh memory is what a big conversion
// spends most of its time on, and a large page is one fault instead of 512.
// Room is only paid for when the text grows into it, so asking for more than
// may be needed costs nothing but address space.
void ReserveLargeText(std::u16string& text, std::size_t units);

// Moves the first `length` units of `text` into new room for `units` units
// (made as ReserveLargeText makes it); `text` then holds just those units.
// The old pages are given back as soon as they are copied, so a long text is
// never held twice. Throws std::bad_alloc (or std::length_error) before
// anything changes when the room cannot be had.
void MoveLargeText(std::u16string& text, std::size_t length, std::size_t units);

}  // namespace sievetext
