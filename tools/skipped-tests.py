#!/usr/bin/env python3
"""Counts the skipped tests of a ctest run and names them.

    skipped-tests.py BUILD_DIR JUNIT_XML [--fail-on-images]

Prints "Skipped tests: N" and each skipped test. With --fail-on-images the
exit status is 1 when any skipped test reads the kernel-made images (its
FIXTURES_REQUIRED holds test_images): such a test must run everywhere.
"""

import json
import subprocess
import sys
import xml.etree.ElementTree as ET


def image_tests(build):
    out = subprocess.run(["ctest", "--show-only=json-v1"], cwd=build, check=True,
                         stdout=subprocess.PIPE, text=True).stdout
    names = set()
    for test in json.loads(out).get("tests", []):
        for prop in test.get("properties", []):
            if prop.get("name") == "FIXTURES_REQUIRED" and "test_images" in prop.get("value", []):
                names.add(test["name"])
    return names


def main():
    build, junit = sys.argv[1], sys.argv[2]
    fail_on_images = "--fail-on-images" in sys.argv[3:]
    skipped = []
    for case in ET.parse(junit).getroot().iter("testcase"):
        if case.get("status") in ("skipped", "notrun") or case.find("skipped") is not None:
            message = case.find("skipped")
            skipped.append((case.get("name"), message.get("message", "") if message is not None else ""))
    needs_images = image_tests(build)
    print("Skipped tests: %d" % len(skipped))
    bad = 0
    for name, why in skipped:
        mark = " (needs the kernel-made images)" if name in needs_images else ""
        bad += bool(mark)
        print("  %s%s %s" % (name, mark, why))
    if fail_on_images and bad:
        print("%d test(s) that read the kernel-made images were skipped" % bad)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
