"""--help and --version of the real program answer on the console with and
without a display, and the manual page built from the same source reads
without a warning from man(1) and gives its one-line description to
whatis."""
import os
import subprocess
import tempfile
import unittest

BUILD_DIR = os.environ.get("SENDRIX_BUILD_DIR", os.path.join(os.path.dirname(__file__), "..", "..", "build"))
PROGRAM = os.path.join(BUILD_DIR, "src", "sendrix")
MANUAL = os.path.join(BUILD_DIR, "sendrix.1")
LIMIT_SECONDS = 30


def environment(display):
    env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
    if display:
        # A display that does not exist: the window must not even be tried.
        env["DISPLAY"] = ":997"
    return env


class InformationSwitchTest(unittest.TestCase):
    def run_program(self, args, display):
        with tempfile.TemporaryDirectory() as home:
            env = environment(display)
            env["SENDRIX_HOME"] = home
            result = subprocess.run([PROGRAM] + args, env=env, capture_output=True,
                                    timeout=LIMIT_SECONDS)
            self.assertEqual(os.listdir(home), [], "--help/--version write no file")
        return result

    def test_help_and_version_answer_on_the_console(self):
        for display in (False, True):
            for args, first_line in ((["--help"], "Aufruf: sendrix [EMPFÄNGERLISTE] [SCHALTER ...]"),
                                     (["-h"], "Aufruf: sendrix [EMPFÄNGERLISTE] [SCHALTER ...]"),
                                     (["--version"], "Sendrix "),
                                     (["liste.csv", "/sofort", "-V"], "Sendrix ")):
                with self.subTest(args=args, display=display):
                    result = self.run_program(args, display)
                    self.assertEqual(result.returncode, 0, result.stderr)
                    self.assertEqual(result.stderr, b"")
                    out = result.stdout.decode("utf-8")
                    self.assertTrue(out.startswith(first_line), out)

    def test_version_names_the_project_version(self):
        with open(os.path.join(BUILD_DIR, "CMakeCache.txt"), encoding="utf-8") as cache:
            version = next(line.split("=", 1)[1].strip() for line in cache
                           if line.startswith("CMAKE_PROJECT_VERSION:"))
        result = self.run_program(["--version"], False)
        self.assertEqual(result.stdout.decode("utf-8").splitlines()[0], "Sendrix " + version)

    def test_manual_page_reads_without_warnings(self):
        # The check lintian makes of an installed manual page.
        result = subprocess.run(["man", "--warnings", "-E", "UTF-8", "-l", "-Tutf8", "-Z", MANUAL],
                                capture_output=True, timeout=LIMIT_SECONDS,
                                env=dict(os.environ, LC_ALL="C.UTF-8", MANWIDTH="80"))
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(result.stderr.decode("utf-8"), "")
        text = subprocess.run(["man", "-l", MANUAL], capture_output=True, timeout=LIMIT_SECONDS,
                              env=dict(os.environ, LC_ALL="C.UTF-8", MANWIDTH="80",
                                       MAN_KEEP_FORMATTING="")).stdout.decode("utf-8")
        for heading in ("OPTIONEN", "UNBEAUFSICHTIGTER BETRIEB", "RÜCKGABEWERT", "PROGRAMMORDNER",
                        "DATEIEN", "BEISPIELE"):
            self.assertIn("\n" + heading + "\n", text)
        self.assertIn("--version", text)

    def test_whatis_finds_the_description(self):
        result = subprocess.run(["lexgrog", MANUAL], capture_output=True, timeout=LIMIT_SECONDS)
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        self.assertIn(b"sendrix - Serienmails mit pers", result.stdout)


if __name__ == "__main__":
    unittest.main()
