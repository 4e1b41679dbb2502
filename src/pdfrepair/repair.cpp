// The repair service: load the input whole, refuse encrypted files, discover every object,
// keep one version of each object number, choose the catalog and /Info, sanitise every kept
// dictionary, prune, write the new file into memory, and only then save it. The output path
// is replaced in one step, so a repair that fails anywhere leaves it as it was.
#include "pdfrepair/repair.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

#include "pdfrepair/analysis.h"
#include "pdfrepair/dict.h"
#include "pdfrepair/heap.h"
#include "pdfrepair/input.h"
#include "pdfrepair/interface.h"
#include "pdfrepair/prune.h"
#include "pdfrepair/writer.h"

namespace pdfrepair {
namespace {

constexpr int max_kept_object = 0x7FFFFF;  // larger object numbers are never written

// True when some /Encrypt key has an indirect reference or a direct dictionary as its value,
// anywhere in the file.
bool is_encrypted(const byte* buf, int len) {
  for (int p = find_name(buf, len, 0, len, "Encrypt"); p >= 0; p = find_name(buf, len, p + 1, len, "Encrypt")) {
    const int v = skip_ws(buf, p + 8, len);
    if (v < len && (is_digit(buf[v]) || buf[v] == '<')) return true;
  }
  return false;
}

// The text a record's dictionary is taken from, or null: an object-stream record's own text,
// or the file bytes from its dictionary up to its "endobj" (stream keyword and data included).
const byte* dict_span(const byte* buf, const obj_entry& rec, int& span_len) {
  const byte* span = nullptr;
  span_len = 0;
  if (rec.in_objstm) {
    span = rec.own_text;
    span_len = rec.own_len;
  } else if (rec.dict_off >= 0) {
    span = buf + rec.dict_off;
    span_len = rec.endobj_off - rec.dict_off;
  }
  return span && span_len >= 1 && span_len <= max_dict_span ? span : nullptr;
}

bool has_record(const objvec& objs, int num) {
  for (int i = 0; i < objs.count; ++i)
    if (objs.items[i].num == num) return true;
  return false;
}

// For every object number up to 0x7FFFFF, the last record that is neither an object-stream
// container nor taken from one; when there is none, the last record taken from an object
// stream. Containers are never kept: their objects were expanded.
void select_records(const byte* buf, int len, const objvec& all, objvec& kept) {
  int max_num = 0;
  for (int i = 0; i < all.count; ++i)
    if (all.items[i].num <= max_kept_object && all.items[i].num > max_num) max_num = all.items[i].num;

  heap_ptr<int[]> plain = heap_array<int>(max_num + 1u);
  heap_ptr<int[]> packed = heap_array<int>(max_num + 1u);
  if (plain && packed) {
    std::fill_n(plain.get(), max_num + 1, -1);
    std::fill_n(packed.get(), max_num + 1, -1);
    for (int i = 0; i < all.count; ++i) {
      const obj_entry& e = all.items[i];
      if (e.num > max_num) continue;
      if (e.in_objstm)
        packed[e.num] = i;
      else if (!is_objstm_container(buf, len, e))
        plain[e.num] = i;
    }
    for (int j = 0; j < all.count; ++j) {
      const obj_entry& e = all.items[j];
      if (e.num > max_num) continue;
      if (e.in_objstm ? plain[e.num] == -1 && packed[e.num] == j : plain[e.num] == j)
        objvec_push(kept, e);
    }
    return;
  }
  // Without memory for the indexes: every plain record, and a packed one unless some plain
  // record has its number.
  for (int j = 0; j < all.count; ++j) {
    const obj_entry& e = all.items[j];
    if (e.num > max_kept_object) continue;
    bool keep = !e.in_objstm && !is_objstm_container(buf, len, e);
    if (e.in_objstm) {
      keep = true;
      for (int i = 0; i < all.count && keep; ++i)
        keep = !(all.items[i].num == e.num && !all.items[i].in_objstm);
    }
    if (keep) objvec_push(kept, e);
  }
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

// Sanitises every kept dictionary and records what it references.
void sanitize_kept(const byte* buf, objvec& kept) {
  for (int i = 0; i < kept.count; ++i) {
    obj_entry& rec = kept.items[i];
    int span_len = 0;
    const byte* span = dict_span(buf, rec, span_len);
    if (!span) continue;
    char* text = sanitize_dict_text(span, span_len);
    if (!text) continue;
    const int text_len = static_cast<int>(std::strlen(text));
    if (!collect_refs(text, text_len, rec.refs, rec.ref_count, rec.ref_cap)) set_error("out of memory");
    std::free(rec.dict_text);
    rec.dict_text = text;
    rec.dict_len = text_len;
  }
}

// Writes the output beside its final path and renames it into place once every byte is on
// disk, so that a failure never creates, truncates or damages what is at output_path (which
// may be the input itself).
int save_output(const out_buf& out, const char* output_path) {
  const std::filesystem::path target(output_path);
  std::filesystem::path temp;
  std::FILE* f = nullptr;
  for (int attempt = 0; attempt < 100 && !f; ++attempt) {
    temp = target;
    temp += ".pdfrepair-" + std::to_string(attempt) + ".tmp";
    std::error_code ec;
    if (!std::filesystem::exists(temp, ec) && !ec) f = std::fopen(temp.string().c_str(), "wb");
  }
  if (!f) {
    set_error("cannot write %s", output_path);
    return 0;
  }
  const bool written = std::fwrite(out.data, 1, out.len, f) == out.len;
  const bool closed = std::fclose(f) == 0;
  std::error_code ec;
  if (!written || !closed) {
    std::filesystem::remove(temp, ec);
    set_error("write error on %s", output_path);
    return 0;
  }
  std::filesystem::rename(temp, target, ec);
  if (ec) {
    std::filesystem::remove(temp, ec);
    set_error("cannot write %s", output_path);
    return 0;
  }
  return 1;
}

}  // namespace

int do_fix(const char* input_path, const char* output_path) {
  if (!input_path || !output_path) {
    set_error("NULL path argument");
    return 0;
  }
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
  select_records(buf, in.len, a.objs, kept);
  if (kept.count == 0) {
    set_error("no PDF objects found \xE2\x80\x94 not a PDF");
    return 0;
  }
  int max_kept_num = 0;
  for (int i = 0; i < kept.count; ++i) max_kept_num = std::max(max_kept_num, kept.items[i].num);

  const int catalog_num = choose_catalog(buf, kept, a.xref.root_num);
  const int docinfo_num = a.xref.info_num >= 0 && has_record(kept, a.xref.info_num) ? a.xref.info_num : -1;
  sanitize_kept(buf, kept);
  if (!prune_and_salvage(kept, max_kept_num, catalog_num, docinfo_num)) return 0;

  out_buf out;
  if (!write_output(buf, in.len, kept, catalog_num, docinfo_num, out)) return 0;
  if (!save_output(out, output_path)) return 0;
  clear_error();
  return 1;
}

}  // namespace pdfrepair
