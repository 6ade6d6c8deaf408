"""The files a desktop installation gets beside the program: the AppStream
metainfo and the desktop entry pass their validators without a hint, and the
release they name is the one of project(VERSION) and debian/changelog."""
import os
import re
import subprocess
import unittest
import xml.etree.ElementTree as ElementTree
from email.utils import parsedate_to_datetime

SOURCE_DIR = os.environ.get("SENDRIX_SOURCE_DIR", os.path.join(os.path.dirname(__file__), "..", ".."))
BUILD_DIR = os.environ.get("SENDRIX_BUILD_DIR", os.path.join(SOURCE_DIR, "build"))
METAINFO = os.path.join(BUILD_DIR, "io.github.sendrix.Sendrix.metainfo.xml")
DESKTOP_ENTRY = os.path.join(SOURCE_DIR, "packaging", "sendrix.desktop")
LIMIT_SECONDS = 60


def project_version():
    with open(os.path.join(SOURCE_DIR, "CMakeLists.txt"), encoding="utf-8") as cmake:
        return re.search(r"^project\(Sendrix VERSION ([0-9.]+)", cmake.read(), re.M).group(1)


def changelog_field(field):
    return subprocess.run(["dpkg-parsechangelog", "-l", os.path.join(SOURCE_DIR, "debian", "changelog"),
                           "-S", field], capture_output=True, check=True, text=True,
                          timeout=LIMIT_SECONDS).stdout.strip()


class DesktopFilesTest(unittest.TestCase):
    def test_metainfo_is_valid_with_pedantic_hints_only(self):
        result = subprocess.run(["appstreamcli", "validate", "--no-net", "--no-color", METAINFO],
                                capture_output=True, text=True, timeout=LIMIT_SECONDS)
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        self.assertIn("Validation was successful", result.stdout)
        self.assertNotRegex(result.stdout, r"(?m)^[EWI]: ")

    def test_desktop_entry_gives_no_hint(self):
        result = subprocess.run(["desktop-file-validate", DESKTOP_ENTRY], capture_output=True,
                                text=True, timeout=LIMIT_SECONDS)
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        self.assertEqual(result.stdout + result.stderr, "")

    def test_one_release_in_metainfo_changelog_and_cmake(self):
        release = ElementTree.parse(METAINFO).getroot().find("releases/release")
        version = project_version()
        self.assertEqual(release.get("version"), version)
        self.assertEqual(changelog_field("Version"), version)
        changelog_date = parsedate_to_datetime(changelog_field("Date")).date().isoformat()
        self.assertEqual(release.get("date"), changelog_date)

    def test_metainfo_summaries_in_english_and_german(self):
        root = ElementTree.parse(METAINFO).getroot()
        languages = {s.get("{http://www.w3.org/XML/1998/namespace}lang") for s in root.findall("summary")}
        self.assertEqual(languages, {None, "de"})
        for image in root.iter("image"):
            name = image.text.rsplit("/", 1)[1]
            self.assertTrue(os.path.isfile(os.path.join(SOURCE_DIR, "docs", name)), name)


if __name__ == "__main__":
    unittest.main()
