"""The Python binding against the built library: its answers and errors, where it finds the
library, calls from many threads, and python3 -m pdfrepair against the tool.

Usage: python_test.py PACKAGE_FOLDER LIBRARY TOOL EXAMPLES
"""

import ctypes.util
import os
import pathlib
import shutil
import subprocess
import sys
import tempfile
import threading
import unittest

PACKAGE_FOLDER, LIBRARY, TOOL, EXAMPLES = sys.argv[1:5]
sys.path.insert(0, PACKAGE_FOLDER)

import pdfrepair  # noqa: E402  (found through the path above)

DAMAGED = os.path.join(EXAMPLES, "wrong-length.pdf")


def run(command, **options):
    done = subprocess.run(command, capture_output=True, **options)
    return done.returncode, done.stdout, done.stderr


class Binding(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        pdfrepair.load(LIBRARY)

    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="pdfrepair-python-")
        self.addCleanup(shutil.rmtree, self.dir)

    def path(self, name, data=None):
        path = os.path.join(self.dir, name)
        if data is not None:
            with open(path, "wb") as f:
                f.write(data)
        return path

    def test_check_answers_the_report_or_raises(self):
        report = pdfrepair.check(DAMAGED)
        self.assertEqual(list(report), ["valid", "issues", "objects", "pages", "header"])
        self.assertEqual((report["valid"], report["issues"]), (False, ["wrong /Length at obj 4"]))
        missing = self.path("missing.pdf")
        for path in (missing, missing.encode(), pathlib.Path(missing)):
            self.assertEqual(pdfrepair.check(path)["issues"], ["cannot open file"])
        huge = self.path("huge.pdf", b"%PDF-1.4\n")
        os.truncate(huge, 1 << 31)  # sparse: no gigabytes written
        with self.assertRaises(pdfrepair.RepairError) as raised:
            pdfrepair.check(huge)
        self.assertEqual(str(raised.exception), "file too large (2 GiB or more): " + huge)

    def test_fix_writes_the_repair_or_raises_and_leaves_the_output(self):
        out = self.path("out.pdf")
        pdfrepair.fix(DAMAGED, pathlib.Path(out))
        self.assertTrue(pdfrepair.check(out)["valid"])
        text = self.path("text.pdf", b"just words\n")
        kept = self.path("kept.pdf", b"as it was")
        cases = [
            (text, kept, "no PDF objects found \u2014 not a PDF"),
            (self.path("missing.pdf"), kept, "cannot open " + self.path("missing.pdf")),
            (DAMAGED, self.dir, "cannot write " + self.dir),
        ]
        for source, target, reason in cases:
            with self.subTest(reason=reason), self.assertRaises(pdfrepair.RepairError) as raised:
                pdfrepair.fix(source, target)
            self.assertEqual(str(raised.exception), reason)
        with open(kept, "rb") as f:
            self.assertEqual(f.read(), b"as it was")

    def test_threads_are_served_one_at_a_time(self):
        text = self.path("text.pdf", b"just words\n")
        failures = []

        def work(number):
            for round in range(10):
                out = self.path("out-%d-%d.pdf" % (number, round))
                try:
                    pdfrepair.fix(text, out)
                    failures.append("a repair of text succeeded")
                except pdfrepair.RepairError as error:
                    if str(error) != "no PDF objects found \u2014 not a PDF":
                        failures.append(str(error))
                pdfrepair.fix(DAMAGED, out)
                if pdfrepair.check(out)["issues"] != [] or pdfrepair.check(DAMAGED)["valid"]:
                    failures.append("a report of another file")

        threads = [threading.Thread(target=work, args=(number,)) for number in range(8)]
        for thread in threads:
            thread.start()
        for thread in threads:
            thread.join()
        self.assertEqual(failures, [])

    def test_the_library_is_found_given_then_beside_the_package_then_by_the_loader(self):
        package = os.path.join(self.dir, "package")
        shutil.copytree(os.path.join(PACKAGE_FOLDER, "pdfrepair"), os.path.join(package, "pdfrepair"))
        beside = os.path.join(package, "pdfrepair", "libtovalund-pdfrepair.so.0")
        loaded = "import sys, pdfrepair; %s; print(pdfrepair.load()._name); pdfrepair.check(sys.argv[1])"
        loader_path = {"LD_LIBRARY_PATH": os.path.dirname(LIBRARY)}
        cases = [
            ("given", "pdfrepair.load(%r)" % LIBRARY, True, {}, LIBRARY),
            ("beside the package", "pass", True, loader_path, beside),
            ("by the loader", "pass", False, loader_path, "libtovalund-pdfrepair.so.0"),
        ]
        for name, first, copied, environment, expected in cases:
            with self.subTest(name):
                if copied:
                    shutil.copy(LIBRARY, beside)
                elif os.path.exists(beside):
                    os.remove(beside)
                status, out, err = run([sys.executable, "-c", loaded % first, DAMAGED], cwd=package,
                                       env=dict(os.environ, **environment))
                self.assertEqual((status, out.decode().strip()), (0, expected), err)
        if ctypes.util.find_library("tovalund-pdfrepair") is None:  # not installed on this machine
            status, _, err = run([sys.executable, "-c", loaded % "pass", DAMAGED], cwd=package,
                                 env=dict(os.environ, LD_LIBRARY_PATH=self.dir))
            self.assertNotEqual(status, 0)
            self.assertIn(b"give its path to pdfrepair.load()", err)

    def test_the_module_prints_what_the_tool_prints(self):
        text = self.path("text.pdf", b"just words\n")
        # Bytes outside valid UTF-8 sequences: a cut one, and an encoded surrogate.
        odd_name = self.path(os.fsdecode(b"cut\xe2\x82 \xed\xa0\x80.pdf"), b"just words\n")
        inputs = os.path.join(self.dir, "in")
        os.makedirs(os.path.join(inputs, "sub"))
        damaged = os.path.join(inputs, "sub", "Scan.PDF")
        shutil.copy(DAMAGED, damaged)
        for name in sorted(os.listdir(EXAMPLES)):
            if name.endswith(".pdf"):
                shutil.copy(os.path.join(EXAMPLES, name), inputs)
        out = self.path("out")
        cases = [
            ["check", DAMAGED, text, self.path("missing.pdf"), inputs],
            ["check", odd_name],
            ["check", "-r", inputs, text],
            ["fix", "-o", out, "-r", inputs, text, self.path("missing.pdf")],
            ["fix", "-q", text, self.path("fixed.pdf")],
            ["fix", damaged, damaged],
            ["fix", "-o", os.path.join(inputs, "sub"), damaged],
            ["fix", "--in-place", damaged],
            ["fix", "-o", out, DAMAGED, os.path.join(inputs, "wrong-length.pdf")],
        ]
        module = [sys.executable, "-m", "pdfrepair"]
        for arguments in cases:
            with self.subTest(" ".join(arguments)):
                shutil.copy(DAMAGED, damaged)
                expected = run([TOOL] + arguments, cwd=self.dir)
                shutil.copy(DAMAGED, damaged)
                answered = run(module + arguments, cwd=self.dir, env=dict(os.environ, PYTHONPATH=PACKAGE_FOLDER,
                                                                         LD_LIBRARY_PATH=os.path.dirname(LIBRARY)))
                if expected[0] == 2 and arguments[0] == "fix":
                    self.assertEqual(answered[:2], expected[:2])  # the usage texts differ
                else:
                    self.assertEqual(answered, expected)


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1])
