"""python3 -m pdfrepair check|fix ...: the pdfrepair tool's lines, messages and exit statuses
(without -j and without "-" for the standard streams)."""

import argparse
import os
import sys

from . import RepairError, _check, fix

# The library's fixed reply for a file it cannot open; the path is in the last-error text.
_UNOPENABLE = '{"valid":false,"issues":["cannot open file"],"objects":0,"pages":0,"header":""}'


def _json_string(name):
    """A JSON string of the path's bytes as the tool writes it: UTF-8, a byte outside a valid
    sequence as U+FFFD, control characters as \\u00XX."""
    # Each byte outside a valid sequence on its own, as the tool counts them ("replace" would
    # give one U+FFFD for a cut sequence of several bytes).
    text = "".join("\ufffd" if "\udc80" <= c <= "\udcff" else c
                   for c in os.fsencode(name).decode("utf-8", "surrogateescape"))
    escaped = ("\\" + c if c in '"\\' else "\\u%04x" % ord(c) if ord(c) < 0x20 or c == "\x7f" else c for c in text)
    return '"' + "".join(escaped) + '"'


def _error_line(name, reason):
    return '{"file":%s,"error":%s}' % (_json_string(name), _json_string(reason))


def _pdf_files_under(folder, relative=""):
    """(path, path below the top folder, error) of every regular file whose name ends in .pdf,
    depth first, in byte order of the names, links not followed."""
    try:
        entries = sorted(os.scandir(folder), key=lambda entry: os.fsencode(entry.name))
    except OSError:
        yield folder, relative, "cannot open " + folder
        return
    for entry in entries:
        path, below = os.path.join(folder, entry.name), os.path.join(relative, entry.name)
        if entry.is_dir(follow_symlinks=False):
            yield from _pdf_files_under(path, below)
        elif entry.is_file(follow_symlinks=False) and entry.name.lower().endswith(".pdf"):
            yield path, below, ""


def _inputs(files, recursive):
    for name in files:
        if not os.path.isdir(name):
            yield name, os.path.basename(name), ""
        elif not recursive:
            yield name, "", "is a directory"
        else:
            yield from _pdf_files_under(name)


def _identity(path):
    try:
        status = os.stat(path)
    except OSError:
        return None
    return status.st_dev, status.st_ino


def _facts(path):
    """The issues and the two counts of the check's report, as JSON text; [] and null
    without one."""
    reply, _ = _check(path)
    if not reply or reply == _UNOPENABLE:
        return "[]", "null", "null"
    issues = reply[reply.index('"issues":') + 9:reply.rindex(',"objects":')]
    objects = reply[reply.rindex(',"objects":') + 11:reply.rindex(',"pages":')]
    pages = reply[reply.rindex(',"pages":') + 9:reply.rindex(',"header":')]
    return issues, objects, pages


def _check_all(args):
    status = 0
    for name, _, error in _inputs(args.files, args.recursive):
        reply, reason = ("", error) if error else _check(name)
        if not reply or reply == _UNOPENABLE:
            print(_error_line(name, reason), flush=True)
            status = 2
            continue
        print('{"file":%s,%s' % (_json_string(name), reply[1:]), flush=True)
        status = max(status, 0 if reply.startswith('{"valid":true,') else 1)
    return status


def _fix_all(args, usage_error):
    if args.output_dir is None and not args.in_place:
        if len(args.files) != 2:
            usage_error("fix needs INPUT and OUTPUT, --output-dir DIR or --in-place")
        if args.recursive:
            usage_error("-r needs --output-dir or --in-place")
        inputs = list(_inputs(args.files[:1], False))
    else:
        inputs = list(_inputs(args.files, args.recursive))
    tasks, taken = [], {}
    for name, relative, error in inputs:
        output = None
        if not error:
            if args.output_dir is not None:
                if os.path.basename(relative) in ("", ".", ".."):
                    usage_error("'%s' names no file" % name)
                output = os.path.join(args.output_dir, relative)
            else:
                output = name if args.in_place else args.files[1]
            if output in taken:
                usage_error("'%s' and '%s' would both be written to %s" % (taken[output], name, output))
            taken[output] = name
        tasks.append((name, output, error))
    identities = {_identity(name) for name, _, error in tasks if not error} - {None}
    standard_output = os.fstat(sys.stdout.fileno())
    status = 0
    for name, output, error in tasks:
        identity = _identity(output) if output else None
        lines = sys.stderr if identity == (standard_output.st_dev, standard_output.st_ino) else sys.stdout
        if not error and identity in identities and not args.in_place:
            error = "output is the input (use --in-place)"
        if not error:
            if args.output_dir is not None:
                try:
                    os.makedirs(os.path.dirname(output) or ".", exist_ok=True)
                except OSError:
                    pass  # the repair fails with the reason
            before = _facts(name)
            written = os.path.realpath(output)
            try:
                fix(name, output)
            except RepairError as failure:
                error = str(failure)
        if error:
            if not args.quiet:
                print('{"file":%s,"repaired":false,"error":%s}' % (_json_string(name), _json_string(error)),
                      file=lines, flush=True)
            print("pdfrepair: %s: %s" % (name, error), file=sys.stderr, flush=True)
            status = 1
            continue
        after = _facts(written) if os.path.isfile(written) else ("[]", "null", "null")
        if not args.quiet:
            print('{"file":%s,"output":%s,"repaired":true,"issues":%s,"objects":[%s,%s],"pages":[%s,%s]}'
                  % (_json_string(name), _json_string(output), before[0], before[1], after[1], before[2], after[2]),
                  file=lines, flush=True)
    return status


def main(argv=None):
    parser = argparse.ArgumentParser(prog="python3 -m pdfrepair", description="Validates and repairs damaged PDF files.")
    commands = parser.add_subparsers(dest="command", required=True)
    check_parser = commands.add_parser("check", help="report the health of each FILE as a line of JSON")
    fix_parser = commands.add_parser("fix", help="repair files, and report each as a line of JSON")
    for command in (check_parser, fix_parser):
        command.add_argument("-r", "--recursive", action="store_true",
                             help="a folder stands for every file under it whose name ends in .pdf")
    fix_parser.add_argument("-o", "--output-dir", metavar="DIR", help="the folder for the repaired files of a batch")
    fix_parser.add_argument("--in-place", action="store_true", help="repair every FILE where it is")
    fix_parser.add_argument("-q", "--quiet", action="store_true", help="print no JSON lines, only the failures")
    for command in (check_parser, fix_parser):
        command.add_argument("files", nargs="+", metavar="FILE")
    args = parser.parse_args(argv)
    if args.command == "check":
        return _check_all(args)
    return _fix_all(args, fix_parser.error)


if __name__ == "__main__":
    sys.exit(main())
