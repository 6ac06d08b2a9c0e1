#!/usr/bin/env python3
"""doxygen with the project's Doxyfile: orv.h as it is documents every export
and member; an export whose comment is gone, a getter split from its setter's
comment by a blank line, or an undocumented macro fails the run.

usage: check_api_reference.py DOXYGEN SOURCE_DIR WORK_DIR
"""
import os
import re
import shutil
import subprocess
import sys
import unittest

DOXYGEN, SOURCE, WORK = sys.argv[1:4] if len(sys.argv) >= 4 else ("", "", "")
FILES = ("Doxyfile", "liborv/include/orv.h", "docs/api/mainpage.md", "docs/api/doc_comments.py")


def reference(header_edit=None):
    """Runs doxygen on a copy of the inputs, orv.h passed through header_edit."""
    shutil.rmtree(WORK, ignore_errors=True)
    for name in FILES:
        os.makedirs(os.path.join(WORK, os.path.dirname(name)), exist_ok=True)
        shutil.copy(os.path.join(SOURCE, name), os.path.join(WORK, name))
    header = os.path.join(WORK, "liborv/include/orv.h")
    if header_edit:
        with open(header, encoding="utf-8") as f:
            text = f.read()
        edited = header_edit(text)
        assert edited != text, "the edit changed nothing"
        with open(header, "w", encoding="utf-8") as f:
            f.write(edited)
    env = dict(os.environ, ORV_API_OUTPUT=os.path.join(WORK, "out"), ORV_API_VERSION="test")
    return subprocess.run([DOXYGEN, "Doxyfile"], cwd=WORK, env=env, capture_output=True,
                          text=True, timeout=300)


class ApiReference(unittest.TestCase):
    def test_the_header_as_it_is_documents_everything(self):
        result = reference()
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(result.stderr.strip(), "")
        with open(os.path.join(WORK, "out/html/orv_8h.html"), encoding="utf-8") as f:
            page = f.read()
        for member in ("orv_version", "orv_device_get_full_spectrum_data", "ORV_ERR_TIMEOUT",
                       "orv_get_integration_time", "ORV_VERSION_PATCH", "orv_device_info"):
            self.assertIn(member, page)
        self.assertNotIn("ORV_LINKAGE", page)

    def test_an_export_without_its_comment_fails(self):
        result = reference(lambda text: text.replace(
            "/* Closes the built-in device; harmless when none is open. */\n", ""))
        self.assertNotEqual(result.returncode, 0)
        self.assertRegex(result.stderr, r"orv_close_device.*not documented")

    def test_a_getter_apart_from_its_setters_comment_fails(self):
        result = reference(lambda text: re.sub(
            r"(ORV_API int orv_set_level_output\(uint8_t level\);\n)", r"\1\n", text))
        self.assertNotEqual(result.returncode, 0)
        self.assertRegex(result.stderr, r"orv_get_level_output.*not documented")

    def test_a_macro_without_a_comment_fails(self):
        result = reference(lambda text: re.sub(
            r"(#define ORV_CAPS_NIR 0x01FFu) +/\*[^\n]*\*/", r"\1", text))
        self.assertNotEqual(result.returncode, 0)
        self.assertRegex(result.stderr, r"ORV_CAPS_NIR.*not documented")


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
