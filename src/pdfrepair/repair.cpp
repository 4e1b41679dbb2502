// The repair service: load the input whole, refuse encrypted files, discover every object,
// keep one version of each object number, choose the catalog and /Info, sanitise every kept
// dictionary, prune, and write the new file beside the output, which it replaces in one step
// once complete, so a repair that fails anywhere leaves the output as it was.
#include "pdfrepair/repair.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "pdfrepair/analysis.h"
#include "pdfrepair/dict.h"
#include "pdfrepair/filters.h"
#include "pdfrepair/heap.h"
#include "pdfrepair/input.h"
#include "pdfrepair/interface.h"
#include "pdfrepair/pagetree.h"
#include "pdfrepair/prune.h"
#include "pdfrepair/save.h"
#include "pdfrepair/selection.h"
#include "pdfrepair/writer.h"

namespace pdfrepair {
namespace {

// True when some /Encrypt key has an indirect reference or a direct dictionary as its value,
// anywhere in the file.
bool is_encrypted(const byte* buf, int len) {
  for (int p = find_name(buf, len, 0, len, "Encrypt"); p >= 0; p = find_name(buf, len, p + 1, len, "Encrypt")) {
    const int v = skip_ws(buf, p + 8, len);
    if (v < len && (is_digit(buf[v]) || buf[v] == '<')) return true;
  }
  return false;
}

bool has_record(const objvec& objs, int num) {
  for (int i = 0; i < objs.count; ++i)
    if (objs.items[i].num == num) return true;
  return false;
}

// A sanitised dictionary holding the name /Catalog followed by white space, ">" or "]".
bool names_catalog(const char* text) {
  for (const char* p = std::strstr(text, "/Catalog"); p; p = std::strstr(p + 1, "/Catalog")) {
    const int after = static_cast<byte>(p[8]);
    if (is_ascii_ws(after) || after == '>' || after == ']') return true;
  }
  return false;
}

// The trailer's /Root when it names a kept object, else the first kept object whose
// dictionary names /Catalog, else 1.
int choose_catalog(const byte* buf, const objvec& kept, int root_num) {
  if (root_num >= 0 && has_record(kept, root_num)) return root_num;
  for (int i = 0; i < kept.count; ++i) {
    int span_len = 0;
    const byte* span = dict_span(buf, kept.items[i], span_len);
    if (!span) continue;
    heap_ptr<char[]> text(sanitize_dict_text(span, span_len));
    if (text && names_catalog(text.get())) return kept.items[i].num;
  }
  return 1;
}

// A kept dictionary after cleaning; text is null when there is none (also when memory ran
// out, which makes it as unusable as a missing one).
struct cleaned_dict {
  heap_ptr<char[]> text;
  int len = 0;
  const byte* bytes() const { return reinterpret_cast<const byte*>(text.get()); }
};

cleaned_dict clean(const char* dict_text) {
  cleaned_dict d;
  d.text.reset(clean_dict_text(dict_text));
  if (d.text) d.len = static_cast<int>(std::strlen(d.text.get()));
  return d;
}

// The cleaned dictionary of the first kept record numbered num, when that record has one and
// is a stream exactly when `stream` says so.
cleaned_dict clean_record(const objvec& kept, const record_index& index, int num, bool stream) {
  const obj_entry* rec = first_record(kept, index, num);
  if (!rec || !rec->dict_text || (rec->has_stream != 0) != stream) return {};
  return clean(rec->dict_text);
}

// Where the value of the first /name starts (white space and comments passed over), or -1
// without such a name.
int value_of(const cleaned_dict& d, std::string_view name) {
  const int p = find_name(d.bytes(), d.len, 0, d.len, name);
  return p < 0 ? -1 : skip_ws(d.bytes(), p + 1 + static_cast<int>(name.size()), d.len);
}

// The object number of the reference at v, or 0 when none stands there.
int reference_at(const cleaned_dict& d, int v) { return read_reference(d.bytes(), d.len, v); }

// /Count is a reference, or a digit run from 1 to size whose value is read without wrapping.
bool counts_pages(const cleaned_dict& node, int size) {
  const int v = value_of(node, "Count");
  if (v < 0) return false;
  if (reference_at(node, v) > 0) return true;
  std::int64_t value = 0;  // stops growing once past size
  for (int i = v; i < node.len && is_digit(node.text[i]) && value <= size; ++i)
    value = value * 10 + (node.text[i] - '0');
  return value >= 1 && value <= size;
}

// The catalog's /Pages is a direct dictionary, or a reference to a node whose /Count is
// plausible for the output's /Size, or to a node that is itself a page.
bool leads_to_pages(const objvec& kept, const record_index& index, int catalog_num, int size) {
  const cleaned_dict catalog = clean_record(kept, index, catalog_num, false);
  if (!catalog.text) return false;
  const int v = value_of(catalog, "Pages");
  if (v < 0) return false;
  if (byte_at(catalog.bytes(), catalog.len, v) == '<') return true;
  // A catalog that names itself as its page tree (zeroed bytes can merge the two) is none.
  const int node_num = reference_at(catalog, v);
  const cleaned_dict node = node_num > 0 && node_num != catalog_num
                                ? clean_record(kept, index, node_num, false)
                                : cleaned_dict{};
  if (!node.text) return false;
  return counts_pages(node, size) || has_type_name(node.text.get(), node.len, "Page");
}

// num when it names a kept stream whose filter no reader decodes, else 0.
int undecodable_stream(const objvec& kept, const record_index& index, int num) {
  if (num <= 0) return 0;
  const cleaned_dict stream = clean_record(kept, index, num, true);
  return stream.text && has_undecodable_filter(stream.bytes(), stream.len) ? num : 0;
}

// The first stream the page's first /Contents names (one reference, or the references
// before the array's "]") whose filter no reader decodes, or 0.
int undecodable_contents(const objvec& kept, const record_index& index, const cleaned_dict& page) {
  const int v = value_of(page, "Contents");
  if (v < 0) return 0;
  if (byte_at(page.bytes(), page.len, v) != '[')
    return undecodable_stream(kept, index, reference_at(page, v));
  for (int i = v + 1; i < page.len && page.text[i] != ']';) {
    if (!is_digit(page.text[i])) {
      ++i;
      continue;
    }
    const int num = undecodable_stream(kept, index, read_reference(page.bytes(), page.len, i));
    if (num) return num;
  }
  return 0;
}

// Refuses an output that readers would reject although the repair would report success: a
// catalog that does not lead to a page tree with a page, or page content that no reader can
// decode. Returns false after recording why.
bool readers_can_open(const objvec& kept, int catalog_num) {
  int max_num = 0;
  for (int i = 0; i < kept.count; ++i) max_num = std::max(max_num, kept.items[i].num);
  record_index index;
  build_record_index(kept, index);
  if (!leads_to_pages(kept, index, catalog_num, max_num + 1)) {
    set_error("catalog obj %ld does not lead to a page tree with at least one page - refusing to emit a "
              "false-green file",
              static_cast<long>(catalog_num));
    return false;
  }
  for (int i = 0; i < kept.count; ++i) {
    const obj_entry& rec = kept.items[i];
    if (rec.has_stream || !rec.dict_text) continue;
    const cleaned_dict page = clean(rec.dict_text);
    if (!page.text || !has_type_name(page.text.get(), page.len, "Page")) continue;
    if (const int num = undecodable_contents(kept, index, page)) {
      set_error("obj %ld is page content with a /Filter no reader can decode - refusing to emit a "
                "false-green file",
                static_cast<long>(num));
      return false;
    }
  }
  return true;
}

// The repair up to and including the save; its failures are recorded by each step.
int repair_file(const char* input_path, const char* output_path) {
  input_file in;
  switch (load_input(input_path, in)) {
    case load_status::ok:
      break;
    case load_status::cannot_open:
      set_error("cannot open %s", input_path);
      return 0;
    case load_status::empty:
    case load_status::no_size:
      set_error("empty input file");
      return 0;
    case load_status::too_large:
      set_error("file too large (2 GiB or more): %s", input_path);
      return 0;
    case load_status::no_memory:
    case load_status::short_read:
      set_error("read error on %s", input_path);
      return 0;
  }
  const byte* buf = in.data.get();
  if (is_encrypted(buf, in.len)) {
    set_error("encrypted PDFs are not supported: %s", input_path);
    return 0;
  }

  analysis a;
  discover(buf, in.len, a);
  objvec kept;
  // What the last update deleted stays deleted.
  const deleted_numbers deleted = numbers_deleted(buf, in.len, a.objs);
  select_records(buf, in.len, a.objs, kept, deleted);
  if (kept.count == 0) {
    set_error("no PDF objects found \xE2\x80\x94 not a PDF");
    return 0;
  }
  int max_kept_num = 0;
  for (int i = 0; i < kept.count; ++i) max_kept_num = std::max(max_kept_num, kept.items[i].num);

  const int catalog_num = choose_catalog(buf, kept, a.xref.root_num);
  int docinfo_num = a.xref.info_num >= 0 && has_record(kept, a.xref.info_num) ? a.xref.info_num : -1;
  sanitize_kept(buf, in.len, kept);
  if (!prune_and_salvage(kept, max_kept_num, catalog_num, docinfo_num)) return 0;
  if (!readers_can_open(kept, catalog_num)) return 0;

  // A dead information dictionary was removed: the trailer names no /Info then.
  if (docinfo_num >= 0 && !has_record(kept, docinfo_num)) docinfo_num = -1;
  const std::string_view id =
      a.xref.id_off >= 0 ? std::string_view(reinterpret_cast<const char*>(buf) + a.xref.id_off,
                                            static_cast<std::size_t>(a.xref.id_len))
                         : std::string_view();
  const int last_deleted = deleted.count > 0 ? std::min(deleted.nums[deleted.count - 1], 0x7FFFFF) : 0;
  output_file out(output_path);
  if (!write_output(buf, in.len, kept, catalog_num, docinfo_num, out, id, last_deleted)) return 0;
  // A step that ran out of memory went on with less: a record lost, a text left unrepaired.
  if (allocation_failed()) {
    set_error("out of memory");
    return 0;
  }
  return out.finish();
}

}  // namespace

int do_fix(const char* input_path, const char* output_path) {
  if (!input_path || !output_path) {
    set_error("NULL path argument");
    return 0;
  }
  reset_allocation_failures();
  if (!repair_file(input_path, output_path)) {
    // Whatever a step made of the missing memory, the memory is the reason.
    if (allocation_failed()) set_error("out of memory");
    return 0;
  }
  clear_error();
  return 1;
}

}  // namespace pdfrepair
