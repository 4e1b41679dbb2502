// Reference prune and page salvage. Prune passes mark every number a remaining record refers
// to and drop the rest, so chains of unreferenced objects go one link per pass; page-tree
// /Kids and /Count are refreshed between passes. Dictionaries that stay dead after cleaning
// are removed when only /Pages nodes refer to them; anything else referring to one refuses
// the repair rather than write a file that readers would reject.
#include "pdfrepair/prune.h"

#include <cstdlib>
#include <cstring>

#include "pdfrepair/dict.h"
#include "pdfrepair/digits.h"
#include "pdfrepair/heap.h"
#include "pdfrepair/interface.h"
#include "pdfrepair/pagetree.h"

namespace pdfrepair {
namespace {

constexpr int max_passes = 8;
constexpr int max_dead = 64;

bool append_ref(int value, int*& refs, int& ref_count, int& ref_cap) {
  if (ref_count == ref_cap) {
    if (ref_cap > (1 << 29)) return false;
    const int cap = ref_cap == 0 ? 8 : 2 * ref_cap;
    int* grown = static_cast<int*>(mem_realloc(refs, static_cast<std::size_t>(cap) * sizeof(int)));
    if (!grown) return false;
    refs = grown;
    ref_cap = cap;
  }
  refs[ref_count++] = value;
  return true;
}

// Removes records[i] from the table, releasing what it owns; later records move up.
void remove_record(objvec& kept, int i) {
  obj_entry_release(kept.items[i]);
  std::memmove(&kept.items[i], &kept.items[i + 1], sizeof(obj_entry) * (kept.count - i - 1));
  --kept.count;
}

bool has_record(const objvec& kept, int num) {
  for (int i = 0; i < kept.count; ++i)
    if (kept.items[i].num == num) return true;
  return false;
}

enum class pass_result { kept_all, removed, out_of_memory };

// One prune pass: drops every record whose number no remaining record references.
pass_result prune_pass(objvec& kept, int max_kept_num, int catalog_num, int docinfo_num) {
  heap_ptr<unsigned char[]> marked(static_cast<unsigned char*>(mem_calloc(max_kept_num + 1u, 1)));
  if (!marked) return pass_result::out_of_memory;
  for (int i = 0; i < kept.count; ++i)
    for (int k = 0; k < kept.items[i].ref_count; ++k)
      if (kept.items[i].refs[k] <= max_kept_num) marked[kept.items[i].refs[k]] = 1;
  if (catalog_num >= 0 && catalog_num <= max_kept_num) marked[catalog_num] = 1;
  if (docinfo_num >= 0 && docinfo_num <= max_kept_num) marked[docinfo_num] = 1;

  int out = 0;
  for (int i = 0; i < kept.count; ++i) {
    if (marked[kept.items[i].num])
      kept.items[out++] = kept.items[i];
    else
      obj_entry_release(kept.items[i]);
  }
  const bool removed = out < kept.count;
  kept.count = out;
  return removed ? pass_result::removed : pass_result::kept_all;
}

// Brings every node's /Kids and /Count in line with the records that remain. Returns whether
// any dictionary was rewritten.
bool refresh_kids(objvec& kept) {
  bool rewritten = false;
  // Rewriting a dictionary changes no record's number, so one index serves the whole pass.
  record_index index;
  build_record_index(kept, index);
  for (int i = 0; i < kept.count; ++i) {
    obj_entry& rec = kept.items[i];
    if (!rec.dict_text) continue;
    char* fixed = fix_kids_counts(rec.dict_text, rec.dict_len, kept.items, kept.count, index);
    if (!fixed) continue;
    obj_entry_release(rec);
    rec.dict_text = fixed;
    rec.dict_len = static_cast<int>(std::strlen(fixed));
    if (!collect_refs(rec.dict_text, rec.dict_len, rec.refs, rec.ref_count, rec.ref_cap))
      set_error("out of memory");
    rewritten = true;
  }
  return rewritten;
}

bool is_dead(const obj_entry& rec) {
  heap_ptr<char[]> cleaned(clean_dict_text(rec.dict_text));
  return cleaned && dict_is_dead(cleaned.get(), static_cast<int>(std::strlen(cleaned.get())));
}

bool is_pages_node(const obj_entry& rec) {
  heap_ptr<char[]> cleaned(clean_dict_text(rec.dict_text));
  return cleaned && has_type_name(cleaned.get(), static_cast<int>(std::strlen(cleaned.get())), "Pages");
}

bool references(const obj_entry& rec, int num) {
  for (int k = 0; k < rec.ref_count; ++k)
    if (rec.refs[k] == num) return true;
  return false;
}

// Removes the first 64 dead dictionaries (dead_count tells how many were found), each only
// when nothing but /Pages nodes refer to it. Returns false after recording the refusal.
bool remove_dead_dictionaries(objvec& kept, int& dead_count) {
  int dead[max_dead];
  dead_count = 0;
  for (int i = 0; i < kept.count && dead_count < max_dead; ++i)
    if (kept.items[i].dict_text && is_dead(kept.items[i])) dead[dead_count++] = kept.items[i].num;

  for (int d = 0; d < dead_count; ++d) {
    for (int i = 0; i < kept.count; ++i) {
      const obj_entry& rec = kept.items[i];
      // A record without dictionary text is no page-tree node.
      if (references(rec, dead[d]) && (!rec.dict_text || !is_pages_node(rec))) {
        set_error("obj %ld dict cannot be sanitized to valid PDF and is referenced by a non-page "
                  "object - refusing to emit a false-green file",
                  static_cast<long>(dead[d]));
        return false;
      }
    }
    for (int i = 0; i < kept.count; ++i) {
      if (kept.items[i].num == dead[d]) {
        remove_record(kept, i);
        break;
      }
    }
  }
  return true;
}

}  // namespace

int collect_refs(const char* text, int length, int*& refs, int& ref_count, int& ref_cap) {
  const byte* t = reinterpret_cast<const byte*>(text);
  // Only digits and white space stand between a reference's number and its "R", so the digit
  // walk needs to run only over such a run that ends in an "R"; it reaches every run at its
  // start, since no reference read before it can end inside it.
  for (int r = 0; r < length; ++r) {
    const void* found = std::memchr(t + r, 'R', static_cast<std::size_t>(length - r));
    if (!found) break;
    r = static_cast<int>(static_cast<const byte*>(found) - t);
    int i = r;
    while (i > 0 && (is_digit(t[i - 1]) || is_ascii_ws(t[i - 1]))) --i;
    while (i < r) {
      if (!is_digit(t[i])) {
        ++i;
        continue;
      }
      const int num = read_reference(t, length, i);
      if (num > 0 && !append_ref(num, refs, ref_count, ref_cap)) return 0;
    }
  }
  return 1;
}

int read_reference(const byte* text, int length, int& i) {
  const int num = wrap_int32(accumulate_digits(text, length, i));
  bool has_gen = false;
  const int r = reference_keyword(text, length, i, has_gen);
  if (r >= 0 && has_gen) i = r + 1;  // otherwise scanning goes on after the first digits
  return r >= 0 && num > 0 ? num : 0;
}

int prune_and_salvage(objvec& kept, int max_kept_num, int catalog_num, int docinfo_num) {
  for (int iteration = 0; iteration < max_passes; ++iteration) {
    const pass_result pass = prune_pass(kept, max_kept_num, catalog_num, docinfo_num);
    if (pass == pass_result::out_of_memory) {
      set_error("out of memory");
      return 0;
    }
    if (kept.count == 0) {
      set_error("no PDF objects remain after graph prune");
      return 0;
    }
    const bool rewritten = refresh_kids(kept);
    if (pass == pass_result::kept_all && !rewritten) break;
  }

  int dead_count = 0;
  if (!remove_dead_dictionaries(kept, dead_count)) return 0;
  if (dead_count > 0) {
    refresh_kids(kept);
    for (int series = 0; series < 2; ++series) {
      for (int pass = 0; pass < max_passes; ++pass) {
        const pass_result result = prune_pass(kept, max_kept_num, catalog_num, docinfo_num);
        if (result == pass_result::out_of_memory) {
          set_error("out of memory");
          return 0;
        }
        if (series == 0 && kept.count == 0) {
          set_error("page salvage left no objects");
          return 0;
        }
        if (result == pass_result::kept_all) break;
      }
    }
    if (!has_record(kept, catalog_num)) {
      set_error("page salvage left no catalog - refusing");
      return 0;
    }
  }

  if (!has_record(kept, catalog_num)) {
    set_error("/Root does not resolve to a kept object - refusing to emit a false-green file");
    return 0;
  }
  return 1;
}

}  // namespace pdfrepair
