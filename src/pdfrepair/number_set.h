// A set of positive numbers: an open-addressing hash table that grows as it fills; 0 marks a
// free slot.
#pragma once

#include <algorithm>

#include "pdfrepair/heap.h"

namespace pdfrepair {

struct number_set {
  heap_ptr<int[]> slots;
  int cap = 0;
  int size = 0;

  bool init(int initial_cap) {
    slots = heap_array<int>(static_cast<std::size_t>(initial_cap));
    if (!slots) return false;
    std::fill_n(slots.get(), initial_cap, 0);
    cap = initial_cap;
    return true;
  }

  int* slot_of(int* table, int table_cap, int value) const {
    unsigned h = static_cast<unsigned>(value) * 2654435761u;
    for (;; ++h) {
      int* s = &table[h & static_cast<unsigned>(table_cap - 1)];
      if (*s == 0 || *s == value) return s;
    }
  }

  bool contains(int value) const { return slots && *slot_of(slots.get(), cap, value) == value; }

  // Adds value; false when the set could not grow (it then stays as it was).
  bool add(int value) {
    if (2 * (size + 1) > cap) {
      if (cap > (1 << 29)) return false;
      heap_ptr<int[]> grown = heap_array<int>(static_cast<std::size_t>(2 * cap));
      if (!grown) return false;
      std::fill_n(grown.get(), 2 * cap, 0);
      for (int i = 0; i < cap; ++i)
        if (slots[i]) *slot_of(grown.get(), 2 * cap, slots[i]) = slots[i];
      slots = std::move(grown);
      cap *= 2;
    }
    *slot_of(slots.get(), cap, value) = value;
    ++size;
    return true;
  }
};

}  // namespace pdfrepair
