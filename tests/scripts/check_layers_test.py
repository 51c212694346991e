#!/usr/bin/env python3
"""The layering check on small trees: it passes a tree that keeps the layers and names each
kind of offence in one that does not."""

import pathlib
import subprocess
import sys
import tempfile
import unittest

CHECK = pathlib.Path(__file__).resolve().parents[2] / "scripts" / "check-layers.py"


class LayeringCheck(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.TemporaryDirectory()
        self.root = pathlib.Path(self.folder.name)
        self.write("toolkit/base/LumStrings.h", "#pragma once\n")
        self.write("toolkit/base/LumWin.h", "#pragma once\n")
        self.write("toolkit/base/LumSysConst.rstr", "SOne = \"one\"\n")
        self.write("toolkit/ui/LumForms.h", '#include "toolkit/base/LumStrings.h"\n')
        self.write("lib/LumLX/LumLXUtils.h", '#include "toolkit/ui/LumForms.h"\n')
        self.write("lib/LumLX/LumLXUtils.rstr", "STwo = \"two\"\n")
        self.write("errors/ExceptDlg.h", '#include "toolkit/ui/LumForms.h"\n')
        self.write("toolkit/base/LumStringsWin.cpp", '#include "toolkit/base/LumWin.h"\n')
        self.write("tests/Anything.cpp", '#include "app/Ostrin.h"\n')

    def tearDown(self):
        self.folder.cleanup()

    def write(self, path, text):
        file = self.root / path
        file.parent.mkdir(parents=True, exist_ok=True)
        file.write_text(text)

    def run_check(self):
        result = subprocess.run([sys.executable, str(CHECK), str(self.root)],
                                capture_output=True, text=True)
        return result.returncode, result.stdout

    def expect_offence(self, path, text, words):
        self.write(path, text)
        code, output = self.run_check()
        self.assertEqual(code, 1, output)
        self.assertIn(path + ":", output)
        self.assertIn(words, output)

    def test_a_tree_that_keeps_the_layers_passes(self):
        self.assertEqual(self.run_check(), (0, "layers: every include goes down\n"))

    def test_an_include_that_goes_up(self):
        self.expect_offence("errors/LumExceptLogWin.cpp",
                            '#include "lib/LumTrx/LumDbgExceptDlg.h"\n', "of a higher layer")

    def test_siblings_do_not_include_each_other(self):
        self.expect_offence("errors/LumExceptReportWin.cpp",
                            '#include "lib/LumLX/LumLXUtils.h"\n', "of a sibling layer")

    def test_a_generated_string_header_belongs_to_its_rstr_folder(self):
        self.expect_offence("toolkit/base/LumFormat.cpp", '#include "rstr/LumLXUtils.h"\n',
                            "rstr/LumLXUtils.h")
        self.write("toolkit/base/LumFormat.cpp", '#include "rstr/LumSysConst.h"\n')
        self.assertEqual(self.run_check()[0], 0)

    def test_portable_files_keep_to_portable_headers(self):
        self.expect_offence("toolkit/base/LumFormat.cpp", '#include "toolkit/base/LumWin.h"\n',
                            "a portable file includes the Win32")
        self.write("toolkit/base/LumFormat.cpp", "\n")
        self.expect_offence("toolkit/res/LumPeImage.h", "#ifdef _WIN32\n#endif\n",
                            "a Win32-only half")
        self.write("toolkit/res/LumPeImage.h", "\n")
        self.expect_offence("errors/LumStackTrace.h", "#ifdef _WIN32\n#endif\n",
                            "a Win32-only half")
        self.write("errors/LumStackTrace.h", "\n")
        self.write("errors/LumStackTraceWin.h", "#ifdef _WIN32\n#endif\n")
        self.assertEqual(self.run_check()[0], 0)

    def test_product_code_never_includes_tests(self):
        self.expect_offence("app/Ostrin.cpp", '#include "tests/support/LumTestFiles.h"\n',
                            "a test header")

    def test_build_tools_stay_below_the_error_reporting(self):
        self.expect_offence("tools/lumbuild.cpp", '#include "errors/ExceptDlg.h"\n',
                            "tools/ may not include")


if __name__ == "__main__":
    unittest.main()
