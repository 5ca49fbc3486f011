#!/usr/bin/env python3
"""Exit 0 when every test ctest last recorded as failed passed its own checks and then lost
only LeakSanitizer's tracer (the runtime's stop-the-world thread died of a signal), so that
the test may be run once more. Reads LastTestsFailed.log and LastTest.log of a ctest run."""
import pathlib
import re
import sys

TRACER = "LeakSanitizer has encountered a fatal error"
REAL = ("ERROR: AddressSanitizer", "ERROR: LeakSanitizer: detected", "runtime error:", "[  FAILED  ]")


def main(folder: str) -> int:
    temp = pathlib.Path(folder)
    failed = [line.split(":", 1)[1].strip()
              for line in (temp / "LastTestsFailed.log").read_text().splitlines() if ":" in line]
    log = (temp / "LastTest.log").read_text(errors="replace")
    if not failed:
        return 1
    for name in failed:
        found = re.search(r"\d+/\d+ Test: " + re.escape(name) + r"\n(.*?)<end of output>", log, re.S)
        output = found.group(1) if found else ""
        if TRACER not in output or "[  PASSED  ]" not in output or any(r in output for r in REAL):
            print(f"sanitizers: {name} failed on its own account", file=sys.stderr)
            return 1
        print(f"sanitizers: {name} passed, then LeakSanitizer's tracer died: run once more")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
