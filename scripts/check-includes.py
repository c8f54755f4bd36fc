#!/usr/bin/env python3
"""Fails when a folder's sources include a module's headers that its CMakeLists does not link.

Each src/<module> builds lumivex_<module>; an #include "<module>/..." in a folder is allowed only
when that folder's CMakeLists (or the .cmake files beside it) names lumivex_<module>, or it is
the module's own folder. The desktop implementations of src/platform (x11/, dbus/) live in
lumivex_platform_desktop and need that library by name. A subfolder with its own CMakeLists is
checked on its own."""
import pathlib
import re
import sys

ROOT = pathlib.Path(__file__).resolve().parent.parent
MODULES = {p.name for p in (ROOT / "src").iterdir() if (p / "CMakeLists.txt").exists()}
# Include prefixes served by a library other than lumivex_<first folder>.
SUB_LIBRARIES = {"platform/x11/": "platform_desktop", "platform/dbus/": "platform_desktop"}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.MULTILINE)


def sources(folder):
    for path in sorted(folder.rglob("*")):
        if path.suffix not in (".cpp", ".h"):
            continue
        # Files under a nested folder with its own CMakeLists belong to that folder.
        nested = path.parent
        while nested != folder and not (nested / "CMakeLists.txt").exists():
            nested = nested.parent
        if nested == folder:
            yield path


def linked(folder):
    text = "".join(p.read_text() for p in folder.glob("*.cmake")) + (
        folder / "CMakeLists.txt").read_text()
    return set(re.findall(r"\blumivex_([a-z_]+)", text))


def main():
    failures = []
    for cmake in sorted(ROOT.glob("**/CMakeLists.txt")):
        folder = cmake.parent
        if any(part.startswith("build") for part in folder.relative_to(ROOT).parts):
            continue
        own = folder.name if folder.parent == ROOT / "src" else None
        libraries = linked(folder)
        for source in sources(folder):
            for include in INCLUDE.findall(source.read_text(errors="replace")):
                module = include.split("/", 1)[0]
                if "/" not in include or module not in MODULES:
                    continue  # a header of the folder itself or of a test helper
                library = next((lib for prefix, lib in SUB_LIBRARIES.items()
                                if include.startswith(prefix)), module)
                if module == own or library in libraries:
                    continue
                failures.append(f"{source.relative_to(ROOT)}: includes \"{include}\" but "
                                f"{cmake.relative_to(ROOT)} does not link lumivex_{library}")
    for failure in failures:
        print(failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
